// Selection: the handle geometry, the marquee's operations on a real engine, the
// floating selection and open shapes with their handles, saving the selection, the
// commands and the overlay.
#include "ArtFile.h"
#include "CanvasProbe.h"
#include "CommandDispatch.h"
#include "ErrorMessages.h"
#include "LayerOperations.h"
#include "Pins.h"
#include "Selection.h"
#include "ShapeTransform.h"
#include "ToolTestSupport.h"

#include <GL/glew.h>

#include <sys/stat.h>

#include <cmath>

namespace {

// ---------------------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------------------
// Centre (100, 100), 80 x 40: corners at (60..140, 80..120).
constexpr TransformRect kRect{100, 100, 80, 40, 0};

TEST(ShapeTransformGeometry, CornerWithin5PixelsEitherSideRotateTo15Outside)
{
    struct Case {
        float x, y;
        int32_t handle;
    };
    const Case cases[] = {
        {140, 120, HANDLE_CORNER},    // on the corner
        {144.9f, 124.9f, HANDLE_CORNER}, // just under 5 outside both edges
        {135.1f, 115.1f, HANDLE_CORNER}, // just under 5 inside
        {145, 120, HANDLE_ROTATE},    // 5 outside: past the corner zone
        {135, 115, HANDLE_INSIDE},    // 5 inside: plain inside
        {154.9f, 134.9f, HANDLE_ROTATE},
        {155, 135, HANDLE_NONE},      // 15 outside
        {150, 100, HANDLE_NONE},      // beside an edge, far from the corners
        {100, 100, HANDLE_INSIDE},
        {61, 81, HANDLE_CORNER},      // the bottom-left corner, from inside
        {52, 72, HANDLE_ROTATE},
        {300, 300, HANDLE_NONE},
    };
    for (const Case& test : cases)
        EXPECT_EQ(hitHandle(kRect, test.x, test.y), test.handle) << test.x << ", " << test.y;
}

TEST(ShapeTransformGeometry, TheZonesTurnWithTheRectangle)
{
    TransformRect turned = kRect;
    turned.angle = 90;  // the 80-pixel side now runs upwards: corners at (80..120, 60..140)
    EXPECT_EQ(hitHandle(turned, 120, 140), HANDLE_CORNER);
    EXPECT_EQ(hitHandle(turned, 140, 120), HANDLE_NONE) << "the unturned corner is outside now";
    EXPECT_EQ(hitHandle(turned, 100, 135), HANDLE_INSIDE);
    EXPECT_EQ(hitHandle(turned, 130, 150), HANDLE_ROTATE);
}

TEST(ShapeTransformGeometry, EachHandleShowsItsCursor)
{
    struct Case {
        int32_t handle;
        float x, y;
        bool showCursor;
        CursorKind cursor;
    };
    const Case cases[] = {
        {HANDLE_INSIDE, 110, 90, true, CursorKind::Move},
        {HANDLE_CORNER, 140, 120, true, CursorKind::ResizeDiagonalRising},  // above right: 8
        {HANDLE_CORNER, 60, 80, true, CursorKind::ResizeDiagonalRising},    // below left: 8
        {HANDLE_CORNER, 60, 120, true, CursorKind::ResizeDiagonalFalling},  // above left: 9
        {HANDLE_CORNER, 140, 80, true, CursorKind::ResizeDiagonalFalling},  // below right: 9
        {HANDLE_ROTATE, 150, 130, true, CursorKind::RotateAboveRight},      // 13
        {HANDLE_ROTATE, 50, 130, true, CursorKind::RotateAboveLeft},        // 12
        {HANDLE_ROTATE, 150, 70, true, CursorKind::RotateBelowRight},       // 10
        {HANDLE_ROTATE, 50, 70, true, CursorKind::RotateBelowLeft},         // 11
        {HANDLE_NONE, 300, 300, true, CursorKind::Arrow},
        {HANDLE_NONE, 300, 300, false, CursorKind::Invisible},
    };
    for (const Case& test : cases)
        EXPECT_EQ(handleCursor(test.handle, kRect, test.x, test.y, test.showCursor), test.cursor)
            << "handle " << test.handle << " at " << test.x << ", " << test.y;
    EXPECT_EQ(static_cast<int>(CursorKind::ResizeDiagonalRising), 8);
    EXPECT_EQ(static_cast<int>(CursorKind::RotateAboveRight), 13);
}

TEST(ShapeTransformGeometry, MoveFollowsThePointerFromThePress)
{
    const HandleDrag drag = beginHandleDrag(kRect, HANDLE_INSIDE, 110, 95);
    const TransformRect moved = dragHandle(drag, false, 160, 75);
    EXPECT_EQ(moved.centreX, 150);
    EXPECT_EQ(moved.centreY, 80);
    EXPECT_EQ(moved.width, 80);
    EXPECT_EQ(moved.angle, 0);
}

TEST(ShapeTransformGeometry, TheCornerScalesAboutTheCentreAndShiftKeepsTheAspectAtThePress)
{
    struct Case {
        float x, y;
        bool shift;
        float width, height;
    };
    const Case cases[] = {
        {180, 125, false, 160, 50},
        {180, 125, true, 160, 80},  // the width grew more: the height follows it
        {110, 160, false, 20, 120},
        {110, 160, true, 240, 120},  // the height grew more: the width follows it
        {60, 80, false, 80, 40},     // the opposite corner is as good as its own
    };
    const HandleDrag drag = beginHandleDrag(kRect, HANDLE_CORNER, 140, 120);
    for (const Case& test : cases) {
        const TransformRect scaled = dragHandle(drag, test.shift, test.x, test.y);
        EXPECT_FLOAT_EQ(scaled.width, test.width) << test.x << ", " << test.y << " shift " << test.shift;
        EXPECT_FLOAT_EQ(scaled.height, test.height) << test.x << ", " << test.y << " shift " << test.shift;
        EXPECT_EQ(scaled.centreX, 100);
        EXPECT_EQ(scaled.centreY, 100);
        if (test.shift) {
            EXPECT_FLOAT_EQ(scaled.width / scaled.height, 2.0f);
        }
    }
}

TEST(ShapeTransformGeometry, ShiftOnAFlatRectangleScalesWithoutDividingByZero)
{
    const TransformRect flat{100, 100, 0, 0, 0};  // a square clicked without a drag
    const TransformRect scaled = dragHandle(beginHandleDrag(flat, HANDLE_CORNER, 100, 100), true, 130, 110);
    EXPECT_FLOAT_EQ(scaled.width, 60);
    EXPECT_FLOAT_EQ(scaled.height, 20);
}

TEST(ShapeTransformGeometry, AFullTurnOfTheRotateHandleEndsAtTheStartAngle)
{
    TransformRect start = kRect;
    start.angle = 30;
    const float radius = 60;
    const HandleDrag drag = beginHandleDrag(start, HANDLE_ROTATE, 100 + radius, 100);
    float largestTurn = 0;
    for (int step = 1; step <= 72; ++step) {  // anticlockwise once round, 5 degrees a step
        const double a = step * 5.0 / 57.29577951308232;
        const TransformRect turned =
            dragHandle(drag, false, 100 + radius * static_cast<float>(std::cos(a)),
                       100 + radius * static_cast<float>(std::sin(a)));
        largestTurn = std::max(largestTurn, std::fabs(turned.angle - start.angle));
        if (step == 18) {
            EXPECT_NEAR(turned.angle, 120, 1e-3);  // a quarter turn
        } else if (step == 54) {
            EXPECT_NEAR(turned.angle, -60, 1e-3);  // three quarters: -90 from the start
        } else if (step == 72) {
            EXPECT_NEAR(turned.angle, 30, 1e-3) << "not 390";
        }
        EXPECT_EQ(turned.width, 80);
        EXPECT_EQ(turned.centreX, 100);
    }
    EXPECT_LE(largestTurn, 180.001f);
}

// ---------------------------------------------------------------------------------------
// On the controller
// ---------------------------------------------------------------------------------------
class Selection : public RenderedToolTest {
protected:
    // A canvas with a black 8-pixel marker, drawn into a framebuffer the tests read.
    DocumentController& begin()
    {
        DocumentController& controller = startRendering();
        GfxSketchAttributes pen;
        pen.flags = GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_OPACITY | GFX_SKETCH_PEN_COLOUR |
                    GFX_SKETCH_PEN_WIDTH_SENSITIVITY | GFX_SKETCH_PEN_OPACITY_SENSITIVITY | GFX_SKETCH_PEN_NOISE;
        pen.penType = 0;
        pen.penWidth = 8;
        pen.penOpacity = 1;
        pen.penWidthSensitivity = 0;
        pen.penOpacitySensitivity = 0;
        pen.penNoise = 0;
        gfxSetSketchAttributes(sketch(), &pen);
        return controller;
    }
    // A horizontal stroke from (x, y), 40 pixels long.
    void stroke(float x, float y)
    {
        probe::drawStroke(c(), x, y);
        c().markChanged();
    }
    void selectWithMarquee(float x, float y, float width, float height)
    {
        c().setTool(TOOL_MARQUEE, false);
        dragLine(x, y, x + width, y + height);
    }
    bool inkAt(int x, int y) { return renderedPixel(x, y)[0] < 100; }
    int32_t layers() { return layerCount(c()); }
    int32_t undoKind() { return attributes(GFX_SKETCH_UNDO_KIND).undoKind; }
    bool clipboardValid()
    {
        GfxSystemAttributes a;
        a.flags = GFX_SYSTEM_CLIPBOARD_VALID;
        gfxGetSystemAttributes(c().engine(), &a);
        return a.clipboardValid != 0;
    }
    std::vector<std::string> messageTexts()
    {
        std::vector<std::string> texts;
        for (const auto& message : window_.messages) texts.push_back(message.text);
        return texts;
    }

};

TEST_F(Selection, CopyNeedsAShownMarqueeAVisibleLayerAndSomethingInIt)
{
    begin();
    stroke(100, 100);
    c().markClean();
    copySelection(c());  // no marquee: nothing at all
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_FALSE(clipboardValid());

    selectWithMarquee(300, 300, 50, 50);  // nothing there
    copySelection(c());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kSelectionRectangleEmptyMessage});
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    EXPECT_FALSE(clipboardValid());

    window_.messages.clear();
    selectWithMarquee(90, 90, 60, 20);
    probe::setVisible(c(), 0, false);
    copySelection(c());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kHiddenLayerMessage});
    EXPECT_FALSE(clipboardValid());

    window_.messages.clear();
    probe::setVisible(c(), 0, true);
    const int32_t undoBefore = undoKind();
    const int drawnBefore = window_.framesDrawnNow;
    copySelection(c());
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(clipboardValid());
    const Marquee copied = c().tools().copied;
    EXPECT_TRUE(copied.shown);
    EXPECT_EQ(copied.x, 90);
    EXPECT_EQ(copied.width, 60);
    EXPECT_TRUE(c().tools().marquee.shown) << "copying keeps the marquee";
    EXPECT_TRUE(c().isClean()) << "copying changes nothing in the document";
    EXPECT_EQ(undoKind(), undoBefore);
    EXPECT_GT(window_.framesDrawnNow, drawnBefore) << "the result is drawn at once";
    EXPECT_TRUE(std::find(window_.cursorHistory.begin(), window_.cursorHistory.end(), CursorKind::Busy) !=
                window_.cursorHistory.end());
    EXPECT_EQ(window_.cursor, c().toolCursor());
}

TEST_F(Selection, MarqueeOperationsEndAnOpenShapeFirstAndLeaveAFloatingSelectionAlone)
{
    begin();
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    c().setTool(TOOL_SQUARE, false);
    dragLine(300, 300, 360, 340);
    ASSERT_TRUE(elementOpen());
    ASSERT_TRUE(c().tools().marquee.shown) << "the marquee stays across tool switches";
    copySelection(c());  // the engine copies nothing while an element is open
    EXPECT_FALSE(elementOpen());
    EXPECT_TRUE(clipboardValid());

    selectWithMarquee(90, 90, 60, 20);
    transformSelection(c());
    ASSERT_TRUE(c().tools().transform.active);
    for (void (*operation)(DocumentController&) : {copySelection, cutSelection, transformSelection}) {
        operation(c());
        EXPECT_TRUE(c().tools().transform.active) << "no marquee: the selection keeps floating";
        EXPECT_EQ(c().tool(), TOOL_TRANSFORM_SELECTION);
    }
}

TEST_F(Selection, CutErasesTheRegionHidesTheMarqueeAndMarksTheDocument)
{
    begin();
    stroke(100, 100);
    stroke(100, 200);
    c().markClean();
    ASSERT_TRUE(inkAt(120, 100));

    selectWithMarquee(90, 90, 0, 30);  // no width: nothing happens
    cutSelection(c());
    EXPECT_TRUE(c().tools().marquee.shown);
    EXPECT_TRUE(c().isClean());

    selectWithMarquee(300, 300, 40, 40);  // nothing there: the clipboard stays as it was
    cutSelection(c());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kSelectionRectangleEmptyMessage});
    EXPECT_FALSE(c().tools().copied.shown);
    EXPECT_TRUE(c().isClean());

    window_.messages.clear();
    selectWithMarquee(90, 90, 60, 20);
    cutSelection(c());
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_FALSE(c().tools().marquee.shown);
    EXPECT_FALSE(c().isClean());
    EXPECT_TRUE(clipboardValid());
    EXPECT_EQ(c().tools().copied.y, 90);
    EXPECT_FALSE(inkAt(120, 100)) << "the cut stroke is gone";
    EXPECT_TRUE(inkAt(120, 200)) << "the other stays";
}

TEST_F(Selection, PasteWithNothingCopiedOrTwentyLayersIsRefusedAndCreatesNothing)
{
    begin();
    pasteSelection(c());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kSelectionBufferEmptyMessage});
    EXPECT_EQ(layers(), 1);

    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    copySelection(c());
    while (layers() < kMaxLayers) ASSERT_TRUE(newLayer(c()));
    window_.messages.clear();
    c().markClean();
    pasteSelection(c());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kLayerLimitMessage});
    EXPECT_EQ(layers(), kMaxLayers);
    EXPECT_TRUE(c().isClean());
    EXPECT_NE(c().tool(), TOOL_PAN_LAYER);
}

TEST_F(Selection, PasteLandsInTheMiddleOfTheWindowOnANewLayerThenTheLayerPanTool)
{
    begin();
    stroke(100, 100);  // 100..140 at y 100
    selectWithMarquee(90, 90, 60, 20);
    copySelection(c());
    probe::setVisible(c(), 0, false);  // only the pasted copy shows
    c().markClean();
    pasteSelection(c());
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(layers(), 2);
    EXPECT_EQ(probe::sketch(c(), GFX_SKETCH_CURRENT_LAYER).currentLayer, 1);
    EXPECT_EQ(c().tool(), TOOL_PAN_LAYER);
    EXPECT_FALSE(c().tools().marquee.shown);
    EXPECT_FALSE(c().isClean());
    // The copied rectangle's centre (120, 100) lands on the window centre (400, 300).
    EXPECT_TRUE(inkAt(400, 300));
    EXPECT_TRUE(inkAt(385, 300));
    EXPECT_FALSE(inkAt(400, 320));
    EXPECT_FALSE(inkAt(120, 100));

    // Undo takes the paste and its layer together.
    c().undo();
    EXPECT_EQ(layers(), 1);
}

TEST_F(Selection, TransformLiftsMovesAndCommitsAndOneUndoBringsTheRegionBack)
{
    begin();
    stroke(100, 100);
    stroke(100, 300);
    selectWithMarquee(90, 90, 60, 20);
    c().markClean();
    transformSelection(c());
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(c().tool(), TOOL_TRANSFORM_SELECTION);
    EXPECT_EQ(c().tools().previousTool, TOOL_MARQUEE);
    EXPECT_FALSE(c().tools().marquee.shown);
    EXPECT_FALSE(c().isClean());
    const TransformInProgress& t = c().tools().transform;
    ASSERT_TRUE(t.active);
    EXPECT_TRUE(t.selection);
    EXPECT_EQ(t.centreX, 120);
    EXPECT_EQ(t.centreY, 100);
    EXPECT_EQ(t.width, 60);
    EXPECT_EQ(t.height, 20);
    EXPECT_EQ(t.angle, 0);
    EXPECT_TRUE(inkAt(120, 100)) << "lifted in place";

    // The move handle: press inside, drag by (200, 100).
    window_.seconds += 1;
    down(110, 95);
    EXPECT_EQ(c().interaction(), INTERACTION_SELECTION_TRANSFORM);
    move(200, 150);
    EXPECT_EQ(window_.cursor, CursorKind::Move) << "the cursor follows the handle under the pointer";
    move(310, 195);
    up(310, 195);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_EQ(t.centreX, 320);
    EXPECT_EQ(t.centreY, 200);
    EXPECT_TRUE(inkAt(320, 200));
    EXPECT_FALSE(inkAt(120, 100));

    click(700, 550);  // outside the handles: committed, back to the marquee
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_EQ(c().tool(), TOOL_MARQUEE);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_TRUE(inkAt(320, 200));
    EXPECT_FALSE(elementOpen());

    c().undo();
    EXPECT_TRUE(inkAt(120, 100)) << "one undo brings the region back";
    EXPECT_FALSE(inkAt(320, 200));
    EXPECT_TRUE(inkAt(120, 300)) << "and leaves the other stroke";
    c().redo();
    EXPECT_TRUE(inkAt(320, 200)) << "one redo moves it again";
    EXPECT_FALSE(inkAt(120, 100));
}

TEST_F(Selection, UndoingATransformLeavesACutMadeBeforeIt)
{
    begin();
    stroke(100, 100);
    stroke(100, 300);
    selectWithMarquee(90, 290, 60, 20);
    cutSelection(c());
    selectWithMarquee(90, 90, 60, 20);
    transformSelection(c());
    for (int i = 0; i < 40; ++i) special(WINDOW_KEY_UP);
    c().finishInteraction();
    ASSERT_TRUE(inkAt(120, 140));
    c().undo();
    EXPECT_TRUE(inkAt(120, 100)) << "the lifted region is back";
    EXPECT_FALSE(inkAt(120, 300)) << "the earlier cut is another step";
    c().undo();
    EXPECT_TRUE(inkAt(120, 300));
}

TEST_F(Selection, ASelectionCommittedWithoutMovingLeavesNoTraceInTheHistory)
{
    begin();
    stroke(100, 100);
    const int32_t undoBefore = undoKind();
    selectWithMarquee(90, 90, 60, 20);
    transformSelection(c());
    ASSERT_TRUE(c().tools().transform.active);
    c().finishInteraction();  // Escape
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_EQ(c().tool(), TOOL_MARQUEE);
    EXPECT_EQ(undoKind(), undoBefore);
    EXPECT_TRUE(inkAt(120, 100));
}

TEST_F(Selection, TransformRefusesAHiddenLayerAndAnEmptyRegion)
{
    begin();
    stroke(100, 100);
    transformSelection(c());  // no marquee
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_TRUE(window_.messages.empty());

    selectWithMarquee(400, 400, 30, 30);
    transformSelection(c());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kSelectionRegionEmptyMessage});
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_EQ(c().tool(), TOOL_MARQUEE);
    EXPECT_TRUE(c().tools().marquee.shown);

    window_.messages.clear();
    selectWithMarquee(90, 90, 60, 20);
    probe::setVisible(c(), 0, false);
    transformSelection(c());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{kHiddenLayerMessage});
    EXPECT_FALSE(c().tools().transform.active);
}

TEST_F(Selection, RotatingTheSelectionAFullTurnEndsWhereItStarted)
{
    begin();
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);  // centre (120, 100); top-right corner (150, 110)
    transformSelection(c());
    window_.seconds += 1;
    down(160, 120);  // 10 pixels outside the corner
    ASSERT_EQ(c().interaction(), INTERACTION_SELECTION_TRANSFORM);
    ASSERT_EQ(c().tools().handleDrag.handle, HANDLE_ROTATE);
    const float radius = std::hypot(40.0f, 20.0f);
    const float start = std::atan2(20.0f, 40.0f);
    for (int step = 1; step <= 36; ++step) {
        const float a = start + static_cast<float>(step) * 10.0f * RADIANS_PER_DEGREE;
        move(std::round(120 + radius * std::cos(a)), std::round(100 + radius * std::sin(a)));
        EXPECT_LE(std::fabs(c().tools().transform.angle), 180.5f);
    }
    up(160, 120);
    EXPECT_NEAR(c().tools().transform.angle, 0, 1e-3);
}

TEST_F(Selection, AnOpenShapeShowsHandleCursorsAndItsHandlesScaleAndRotateIt)
{
    begin();
    c().setTool(TOOL_SQUARE, false);
    dragLine(150, 170, 250, 230);  // centre (200, 200), 100 x 60
    ASSERT_TRUE(c().tools().transform.active);

    struct Hover {
        float x, y;
        CursorKind cursor;
    };
    const Hover hovers[] = {
        {200, 200, CursorKind::Move},
        {250, 230, CursorKind::ResizeDiagonalRising},
        {150, 230, CursorKind::ResizeDiagonalFalling},
        {260, 240, CursorKind::RotateAboveRight},
        {140, 160, CursorKind::RotateBelowLeft},
        {500, 500, CursorKind::Arrow},
    };
    for (const Hover& hover : hovers) {
        c().passiveMotion(static_cast<int32_t>(hover.x), static_cast<int32_t>(hover.y));
        EXPECT_EQ(window_.cursor, hover.cursor) << hover.x << ", " << hover.y;
    }
    c().toggleCursor();  // the cursor hidden: nothing outside the rectangle
    c().passiveMotion(500, 500);
    EXPECT_EQ(window_.cursor, CursorKind::Invisible);
    c().toggleCursor();

    // Scale with Shift from the top-right corner: the 5:3 rectangle keeps its shape.
    window_.seconds += 1;
    down(250, 230, SHIFT);
    EXPECT_EQ(c().interaction(), INTERACTION_SHAPE_TRANSFORM);
    move(300, 235, SHIFT);
    up(300, 235, SHIFT);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_TRUE(c().tools().transform.active) << "still open after the drag";
    EXPECT_TRUE(elementOpen());
    EXPECT_FLOAT_EQ(c().tools().transform.width, 200);
    EXPECT_FLOAT_EQ(c().tools().transform.height, 120);

    // A quarter turn from outside the new corner (300, 260).
    window_.seconds += 1;
    down(310, 270);
    ASSERT_EQ(c().tools().handleDrag.handle, HANDLE_ROTATE);
    const CursorKind rotating = window_.cursor;
    move(200 - 70, 200 + 110);  // (110, 70) turned a quarter: (-70, 110)
    EXPECT_EQ(window_.cursor, rotating) << "the cursor stays while rotating";
    up(200 - 70, 200 + 110);
    EXPECT_NEAR(c().tools().transform.angle, 90, 1e-3);

    click(700, 50);  // outside: the square is ended with its rectangle
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_FALSE(elementOpen());
    EXPECT_EQ(c().tool(), TOOL_SQUARE);
    const GfxShapeRecord shape = lastPayload<GfxShapeRecord>();
    EXPECT_FLOAT_EQ(shape.width, 200);
    EXPECT_FLOAT_EQ(shape.height, 120);
    EXPECT_NEAR(shape.angle, 90, 1e-3);
    EXPECT_EQ(shape.centreX, 200);
}

TEST_F(Selection, ArrowKeysMoveTheOpenSelection)
{
    begin();
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    transformSelection(c());
    for (int i = 0; i < 30; ++i) special(WINDOW_KEY_RIGHT);
    EXPECT_EQ(c().tools().transform.centreX, 150);
    c().finishInteraction();
    EXPECT_TRUE(inkAt(165, 100));
    EXPECT_FALSE(inkAt(105, 100));
}

TEST_F(Selection, DeselectHidesTheMarqueeAndCommitsOrEndsWhatIsOpen)
{
    begin();
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    command("menuDeselectSelection");
    EXPECT_FALSE(c().tools().marquee.shown);

    selectWithMarquee(90, 90, 60, 20);
    transformSelection(c());
    special(WINDOW_KEY_UP);
    command("menuDeselectSelection");
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_EQ(c().tool(), TOOL_MARQUEE);
    EXPECT_EQ(undoKind(), GFX_RECORD_CLIPBOARD_PASTED) << "the moved selection is placed";

    c().setTool(TOOL_CIRCLE, false);
    dragLine(300, 300, 340, 330);
    ASSERT_TRUE(elementOpen());
    command("menuDeselectSelection");
    EXPECT_FALSE(elementOpen());
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_EQ(undoKind(), GFX_RECORD_ELLIPSE);
}

// ---------------------------------------------------------------------------------------
// Saving the selection
// ---------------------------------------------------------------------------------------
bool fileExists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

TEST_F(Selection, SavingRefusesAMissingOrFlatRectangle)
{
    begin();
    stroke(100, 100);
    saveSelection(c());
    selectWithMarquee(90, 90, 60, 0);
    saveSelection(c());
    EXPECT_EQ(messageTexts(),
              (std::vector<std::string>{kSaveSelectionEmptyMessage, kSaveSelectionEmptyMessage}));
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    EXPECT_TRUE(window_.fileDialogs.empty());
}

TEST_F(Selection, SavingWithPinsShowsTheNoticeAndStillSavesTheRegionOnly)
{
    begin();
    stroke(100, 100);
    ASSERT_TRUE(newLayer(c()));
    stroke(100, 300);
    probe::selectLayer(c(), 0);
    createPin(c());
    c().markClean();
    selectWithMarquee(90, 90, 60, 20);
    const std::string path = root_ + "/part.art";
    window_.fileAnswers.push_back(path);
    runSelectionMenuItem(c(), 10006);

    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, kSaveSelectionPinsNotice);
    EXPECT_EQ(window_.messages[0].caption, "Info");
    EXPECT_EQ(window_.messages[0].icon, MessageIcon::NoIcon);
    EXPECT_FALSE(window_.messages[0].yesNo);
    ASSERT_EQ(window_.fileDialogs.size(), 1u);
    EXPECT_TRUE(window_.fileDialogs[0].save);
    EXPECT_EQ(window_.fileDialogs[0].request.title, "Save Canvas Selection As");

    ArtBlobBytes blob;
    const ArtReadResult read = readArtFile(path, blob);
    ASSERT_EQ(read.status, ArtReadStatus::Ok);
    EXPECT_EQ(read.header.kind, ART_KIND_DOCUMENT) << "a selection carries no pins";
    EXPECT_TRUE(read.header.pins.empty());
    EXPECT_EQ(read.header.layerCounter, c().layerNameCounter());

    ArtSketchSink sink(c().engine());
    ASSERT_EQ(readArtFile(path, sink).status, ArtReadStatus::Ok);
    GfxSketch* saved = sink.takeSketch();
    ASSERT_NE(saved, nullptr);
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_STATS | GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(saved, &a);
    EXPECT_EQ(a.layerCount, 2);
    EXPECT_EQ(a.stats.strokeCount, 1) << "only the stroke inside the marquee";
    gfxDestroySketch(saved);

    EXPECT_EQ(c().recentFiles()[0], path);
    EXPECT_EQ(c().recentFileCount(), 1);
    EXPECT_FALSE(c().hasFileName()) << "the document keeps its own name";
    EXPECT_TRUE(c().isClean()) << "and its clean state";
    EXPECT_EQ(probe::sketch(c(), GFX_SKETCH_CURRENT_LAYER).currentLayer, 0) << "and its current layer";
    EXPECT_TRUE(c().tools().marquee.shown);
}

TEST_F(Selection, ASelectionThatCannotBeWrittenIsReportedAndTheWorkGoesOn)
{
    begin();
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    window_.fileAnswers.push_back(root_ + "/no-such-folder/part.art");
    saveSelection(c());
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, messageFor(ART_ERROR_CANNOT_WRITE));
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    EXPECT_EQ(c().recentFileCount(), 0);
    EXPECT_TRUE(c().tools().marquee.shown);
    EXPECT_EQ(window_.cursor, c().toolCursor());
}

TEST_F(Selection, ACancelledSaveDialogWritesNothing)
{
    begin();
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    window_.fileAnswers.push_back("");
    saveSelection(c());
    EXPECT_TRUE(window_.messages.empty()) << "no pins, no notice";
    EXPECT_EQ(window_.fileDialogs.size(), 1u);
    EXPECT_EQ(c().recentFileCount(), 0);
    EXPECT_FALSE(fileExists(root_ + "/part.art"));
}

// ---------------------------------------------------------------------------------------
// Commands and the overlay
// ---------------------------------------------------------------------------------------
TEST_F(Selection, CommandsAndMenuItemsReachTheOperations)
{
    begin();
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    command("menuCopySelection");
    EXPECT_TRUE(clipboardValid());
    command("menuPasteSelection");
    EXPECT_EQ(layers(), 2);
    c().setTool(TOOL_MARQUEE, false);
    dragLine(380, 290, 420, 310);
    EXPECT_TRUE(runSelectionMenuItem(c(), 10032));  // transform
    EXPECT_EQ(c().tool(), TOOL_TRANSFORM_SELECTION);
    EXPECT_TRUE(runSelectionMenuItem(c(), 10028));  // deselect
    EXPECT_EQ(c().tool(), TOOL_MARQUEE);
    dragLine(380, 290, 420, 310);
    command("menuCutSelection");
    EXPECT_FALSE(c().tools().marquee.shown);
    EXPECT_FALSE(runSelectionMenuItem(c(), 10040)) << "a layer item is not ours";
    for (const char* name : {"menuImportImage", "menuDeselectSelection", "menuCutSelection", "menuCopySelection",
                             "menuPasteSelection", "menuTransformSelection"})
        EXPECT_NE(commandRegistry().findCommand(name), nullptr) << name;
}

TEST_F(Selection, TheMenuDispatchRunsTheSelectionItems)
{
    begin();
    MenuCommands menus(window_);
    stroke(100, 100);
    selectWithMarquee(90, 90, 60, 20);
    menus.dispatch(10030);  // copy
    EXPECT_TRUE(clipboardValid());
    const std::string path = root_ + "/from-menu.art";
    window_.fileAnswers.push_back(path);
    menus.dispatch(10006);  // save selection
    EXPECT_TRUE(fileExists(path));
    EXPECT_EQ(c().recentFiles()[0], path);
    menus.dispatch(10031);  // paste
    EXPECT_EQ(layers(), 2);
    window_.fileAnswers.push_back("");
    menus.dispatch(10008);  // import image: the dialog, cancelled
    EXPECT_EQ(window_.fileDialogs.back().request.title, "Open Image");
}

TEST_F(Selection, TheOverlayDrawsTheMarqueeInWhiteAndBlackDashesAroundIt)
{
    begin();
    target_->bind();
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    selectWithMarquee(100, 100, 60, 40);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    drawSelectionOverlay(c());

    // The outline runs on the pixels just outside the marquee: columns 99 and 160, rows 99 and 140.
    int white = 0, black = 0, other = 0;
    auto count = [&](int x, int y) {
        const auto p = target_->pixel(x, y);
        if (p[0] > 240 && p[1] > 240 && p[2] > 240) ++white;
        else if (p[0] < 15 && p[1] < 15 && p[2] < 15) ++black;
        else {
            ++other;
            ADD_FAILURE() << "outline pixel " << x << ", " << y << " is " << int(p[0]) << "," << int(p[1]);
        }
    };
    // (The four corner pixels follow the rasterizer's end-point rule and are left out.)
    for (int x = 100; x < 160; ++x) {
        count(x, 99);
        count(x, 140);
    }
    for (int y = 100; y < 140; ++y) {
        count(99, y);
        count(160, y);
    }
    EXPECT_EQ(other, 0) << "every outline pixel is white or black";
    EXPECT_GT(white, 80);
    EXPECT_GT(black, 80);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{130, 120}, {100, 100}, {98, 98}, {161, 141}})
        EXPECT_NEAR(target_->pixel(x, y)[0], 128, 1) << "untouched at " << x << ", " << y;

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_FALSE(glIsEnabled(GL_LINE_STIPPLE));
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_EQ(projection[0], 1) << "the projection is given back";

    // A lifted selection shows its (turnable) frame instead.
    stroke(110, 120);
    selectWithMarquee(100, 100, 60, 40);
    transformSelection(c());
    glClear(GL_COLOR_BUFFER_BIT);
    drawSelectionOverlay(c());
    // Its bottom edge runs along y = 100, between rows 99 and 100.
    int edge = 0;
    for (int y = 99; y <= 100; ++y)
        for (int x = 110; x < 150; ++x) edge += std::abs(target_->pixel(x, y)[0] - 128) > 100 ? 1 : 0;
    EXPECT_GE(edge, 35);
}

}  // namespace
