// View navigation: tool gestures on the canvas and the layer, steps, the wheel,
// arrows, mirror, reset and fit with pen scaling, and touch gestures.
#include "ToolTestSupport.h"

#include <climits>
#include <cmath>

namespace {

using ViewNavigation = ToolTest;

constexpr float kTolerance = 1e-4f;

void expectMatrixNear(const std::vector<float>& actual, const std::vector<float>& expected, float tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
}

TEST_F(ViewNavigation, CanvasToolDragsZoomPanAndRotateAboutThePress)
{
    struct Case {
        int32_t tool;
        float toX, toY;
        float scale;
        float m0, m1;  // cos and sin of the rotation times the scale
    };
    const float zoom = std::exp2(0.75f);
    const Case cases[] = {
        {TOOL_ZOOM_CANVAS, 200, 130, zoom, zoom, 0},  // 100 pixels right: 2^0.75, vertical ignored
        {TOOL_ROTATE_CANVAS, 200, 100, 1, std::cos(-1.0f), std::sin(-1.0f)},  // 100 px right: -1 radian
        {TOOL_PAN_CANVAS, 130, 80, 1, 1, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.tool);
        start();
        c().setTool(test.tool, false);
        dragLine(100, 100, test.toX, test.toY);
        EXPECT_NEAR(viewScale(), test.scale, kTolerance);
        const std::vector<float> m = viewMatrix();
        EXPECT_NEAR(m[0], test.m0, kTolerance);
        EXPECT_NEAR(m[1], test.m1, kTolerance);
        float x = 0, y = 0;
        onScreen(100, 100, &x, &y);
        if (test.tool == TOOL_PAN_CANVAS) {
            EXPECT_NEAR(x, 130, kTolerance);
            EXPECT_NEAR(y, 80, kTolerance);
        } else {
            EXPECT_NEAR(x, 100, kTolerance) << "the press position stays put";
            EXPECT_NEAR(y, 100, kTolerance);
        }
        EXPECT_FALSE(c().isClean());
        EXPECT_TRUE(c().interfaceState().navigationChanged);
        EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
        controller_.reset();
        setTheController(nullptr);
    }
}

TEST_F(ViewNavigation, LayerToolsMoveTheLayerAsOneUndoableStep)
{
    start();
    c().setTool(TOOL_ZOOM_LAYER, false);
    dragLine(100, 100, 200, 100);
    EXPECT_EQ(viewScale(), 1.0f) << "the view stays";
    EXPECT_NEAR(layer()->scale, std::exp2(0.75f), kTolerance);
    EXPECT_EQ(attributes(GFX_SKETCH_UNDO_KIND).undoKind, GFX_RECORD_LAYER_TRANSFORMED);
    key('z', CTRL);
    EXPECT_NEAR(layer()->scale, 1.0f, kTolerance);
}

TEST_F(ViewNavigation, WheelZoomsOneAndAHalfPerWholeNotchAboutTheWindowCentre)
{
    struct Case {
        int32_t delta;
        float scale;
    };
    const Case cases[] = {{120, 1.5f},       {240, 2.25f},      {360, 3.375f},       {100, 1.0f}, {119, 1.0f},
                          {-120, 2 / 3.0f}, {-239, 2 / 3.0f}, {-240, 4 / 9.0f}, {0, 1.0f}};
    start();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.delta);
        c().resetView();
        special(WINDOW_KEY_WHEEL, 0, test.delta);
        EXPECT_NEAR(viewScale(), test.scale, kTolerance);
        float x = 0, y = 0;
        onScreen(400, 300, &x, &y);
        EXPECT_NEAR(x, 400, 1e-3);
        EXPECT_NEAR(y, 300, 1e-3);
    }
}

TEST(WheelSteps, WholeNotchesOnlyAndNeverAnEndlessZoom)
{
    const struct {
        int32_t delta;
        int32_t steps;
    } cases[] = {{120, 1}, {239, 1}, {240, 2}, {119, 0}, {-119, 0}, {-120, -1}, {-361, -3},
                 {120 * 64, 64}, {INT32_MAX, 64}, {INT32_MIN, -64}};
    for (const auto& test : cases) EXPECT_EQ(wheelScaleSteps(test.delta), test.steps) << test.delta;
}

TEST_F(ViewNavigation, DiscreteStepsFromKeysAndThePanel)
{
    start();
    key('=');
    EXPECT_NEAR(viewScale(), 1.5f, kTolerance);
    key('+');
    EXPECT_NEAR(viewScale(), 2.25f, kTolerance);
    key('-');
    EXPECT_NEAR(viewScale(), 1.5f, kTolerance);
    c().resetView();
    c().viewStep(VIEW_STEP_ROTATE_LEFT);
    EXPECT_NEAR(viewMatrix()[0], std::sqrt(0.5f), kTolerance);
    EXPECT_NEAR(viewMatrix()[1], -std::sqrt(0.5f), kTolerance);
    c().resetView();
    c().viewStep(VIEW_STEP_PAN_UP);
    c().viewStep(VIEW_STEP_PAN_LEFT);
    EXPECT_EQ(viewMatrix()[12], -100);
    EXPECT_EQ(viewMatrix()[13], 100);
}

TEST_F(ViewNavigation, MirroringTwiceRestoresTheView)
{
    start();
    c().viewStep(VIEW_STEP_ROTATE_RIGHT);
    c().setTool(TOOL_PAN_CANVAS, false);
    dragLine(100, 100, 170, 140);
    const std::vector<float> before = viewMatrix();
    for (char letter : {'f', 'u'}) {
        SCOPED_TRACE(letter);
        key(letter, CTRL);
        const std::vector<float> mirrored = viewMatrix();
        EXPECT_LT(mirrored[0] * mirrored[5] - mirrored[1] * mirrored[4], 0) << "mirrored";
        c().markClean();
        key(letter, CTRL);
        EXPECT_FALSE(c().isClean());
        expectMatrixNear(viewMatrix(), before, 1e-3f);
    }
}

TEST_F(ViewNavigation, PenScalingFollowsZoomAndResetGivesTheFactorBack)
{
    start();
    key('o');
    dragLine(300, 300, 500, 400);  // something to measure
    special(WINDOW_KEY_WHEEL, 0, 240);
    EXPECT_NEAR(c().penScaleFactor(), 2.25f, kTolerance);
    EXPECT_NEAR(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, 90, 1e-3);
    key('r', CTRL);
    EXPECT_NEAR(viewScale(), 1.0f, kTolerance);
    EXPECT_NEAR(c().penScaleFactor(), 1.0f, kTolerance);
    EXPECT_NEAR(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, 40, 1e-3);

    // The zoom tool previews the pen while it drags and keeps the factor on release.
    c().setTool(TOOL_ZOOM_CANVAS, false);
    window_.seconds += 1;
    down(100, 100);
    move(200, 100);
    EXPECT_NEAR(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, 40 * std::exp2(0.75f), 1e-3);
    EXPECT_NEAR(c().penScaleFactor(), 1.0f, kTolerance);
    up(200, 100);
    EXPECT_NEAR(c().penScaleFactor(), std::exp2(0.75f), kTolerance);
}

TEST_F(ViewNavigation, ResetOnAnEmptyCanvasSetsThePenFactorToOne)
{
    start();
    key('o');
    special(WINDOW_KEY_WHEEL, 0, 120);
    EXPECT_NEAR(c().penScaleFactor(), 1.5f, kTolerance);
    key('r', CTRL);
    EXPECT_EQ(c().penScaleFactor(), 1.0f);
}

TEST_F(ViewNavigation, FitPutsTheStrokesInTheMiddleFillingTheTighterDirection)
{
    start();
    c().setTool(TOOL_LINE, false);
    dragLine(100, 100, 300, 200);  // 200 x 100: width is the tighter direction
    c().markClean();
    key('r', CTRL | SHIFT);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_NEAR(viewScale(), 4.0f, kTolerance);
    const GfxSketchStats stats = attributes(GFX_SKETCH_STATS).stats;
    EXPECT_NEAR(stats.bounds[0] + stats.bounds[2] / 2, 400, 1e-2);
    EXPECT_NEAR(stats.bounds[1] + stats.bounds[3] / 2, 300, 1e-2);
    EXPECT_NEAR(stats.bounds[2], 800, 1e-2);
    EXPECT_FALSE(c().isClean());
}

TEST_F(ViewNavigation, FitOnAnEmptyCanvasDoesNothingAndOnADegenerateBoxWarns)
{
    start();
    command("menuCenterAndScale");
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(viewScale(), 1.0f);
    EXPECT_TRUE(c().isClean());

    c().setTool(TOOL_LINE, false);
    dragLine(100, 100, 300, 100);  // no height
    const std::vector<float> before = viewMatrix();
    command("menuCenterAndScale");
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text,
              "Maximum point reached. Pan around to find strokes or choose a pin from the list.");
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    EXPECT_EQ(viewMatrix(), before);
}

TEST_F(ViewNavigation, FitBeyondTheZoomLimitWarnsAfterZooming)
{
    start();
    special(WINDOW_KEY_WHEEL, 0, 23 * 120);  // 1.5^23, about 11223
    dragLine(400, 300, 410, 310);            // a hundredth of a pixel at scale 1
    key('r', CTRL);
    key('r', CTRL | SHIFT);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text,
              "Maximum point reached. Pan around to find strokes or choose a pin from the list.");
    EXPECT_LE(viewScale(), 50000.0f);
    EXPECT_GT(viewScale(), 1000.0f) << "it still zoomed as far as it could";
}

TEST_F(ViewNavigation, ArrowsNudgeThePanToolsOnlyAndMoveAnOpenShape)
{
    start();
    special(WINDOW_KEY_LEFT);
    EXPECT_EQ(viewMatrix()[12], 0) << "the brush tool does not pan";
    c().setTool(TOOL_PAN_CANVAS, false);
    special(WINDOW_KEY_LEFT);
    special(WINDOW_KEY_LEFT);
    special(WINDOW_KEY_RIGHT);
    special(WINDOW_KEY_DOWN);
    EXPECT_EQ(viewMatrix()[12], -1);
    EXPECT_EQ(viewMatrix()[13], -1);

    c().setTool(TOOL_PAN_LAYER, false);
    special(WINDOW_KEY_UP);
    EXPECT_EQ(layer()->matrix.m[13], 1);
    EXPECT_EQ(viewMatrix()[13], -1);

    c().setTool(TOOL_SQUARE, false);
    dragLine(100, 100, 160, 140);
    special(WINDOW_KEY_RIGHT);
    special(WINDOW_KEY_UP);
    c().finishInteraction();
    const GfxShapeRecord shape = lastPayload<GfxShapeRecord>();
    EXPECT_EQ(shape.centreX, 131);
    EXPECT_EQ(shape.centreY, 121);
}

TEST_F(ViewNavigation, TouchPanAndZoomGesturesHideTheCursorWhileTheyRun)
{
    start();
    TouchGestureInput pan;
    pan.kind = TOUCH_GESTURE_PAN;
    pan.dx = 1;
    pan.dy = 2;
    c().touchGestureBegin(pan);
    EXPECT_EQ(c().interaction(), INTERACTION_TOUCH_GESTURE);
    EXPECT_EQ(window_.cursor, CursorKind::Invisible);
    pan.dy = 1;
    c().touchGestureUpdate(pan);
    c().touchGestureEnd(pan);
    EXPECT_EQ(viewMatrix()[12], 20);
    EXPECT_EQ(viewMatrix()[13], -30);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_EQ(window_.cursor, CursorKind::BrushOutline);

    c().resetView();
    key('o');
    TouchGestureInput zoom;
    zoom.kind = TOUCH_GESTURE_ZOOM;
    zoom.centreX = 400;
    zoom.centreY = 300;
    zoom.amount = 1;
    c().touchGestureBegin(zoom);
    c().touchGestureUpdate(zoom);
    EXPECT_NEAR(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, 40 * std::exp2(1.5f), 1e-3) << "previewed";
    // A press of another tool ends the gesture where it was.
    c().finishInteraction();
    EXPECT_NEAR(viewScale(), std::exp2(1.5f), kTolerance);
    EXPECT_NEAR(c().penScaleFactor(), std::exp2(1.5f), kTolerance);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
}

}  // namespace
