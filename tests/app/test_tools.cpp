// The tools: routing of press, drag and release by ToolId and InteractionState, the
// multi-line and polygon rules, temporary tools, pen keys, colour picking, cursors
// and the brush-outline picture.
#include "ToolTestSupport.h"

#include "Fatal.h"

#include <GL/glew.h>

namespace {

using Tools = ToolTest;

// ---------------------------------------------------------------------------------------
// Routing
// ---------------------------------------------------------------------------------------
TEST_F(Tools, EachDrawingToolMakesItsElementThroughPressDragAndRelease)
{
    struct Case {
        int32_t tool;
        int32_t afterPress;
        int32_t afterRelease;
        int32_t recordType;
    };
    const Case cases[] = {
        {TOOL_BRUSH, INTERACTION_FREEHAND, INTERACTION_IDLE, GFX_RECORD_FREEHAND},
        {TOOL_LINE, INTERACTION_LINE, INTERACTION_IDLE, GFX_RECORD_LINE},
        {TOOL_MULTI_LINE, INTERACTION_PLACING_VERTICES, INTERACTION_PLACING_VERTICES, GFX_RECORD_MULTI_LINE},
        {TOOL_POLYGON, INTERACTION_PLACING_VERTICES, INTERACTION_PLACING_VERTICES, GFX_RECORD_POLYGON},
        {TOOL_SQUARE, INTERACTION_SHAPE_DRAG, INTERACTION_IDLE, GFX_RECORD_RECTANGLE},
        {TOOL_CIRCLE, INTERACTION_SHAPE_DRAG, INTERACTION_IDLE, GFX_RECORD_ELLIPSE},
    };
    start();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.tool);
        c().setTool(test.tool, false);
        c().markClean();
        window_.seconds += 1;
        down(100, 100);
        EXPECT_EQ(c().interaction(), test.afterPress);
        EXPECT_TRUE(elementOpen());
        move(130, 120);
        up(160, 140);
        EXPECT_EQ(c().interaction(), test.afterRelease);
        c().finishInteraction();
        EXPECT_FALSE(elementOpen());
        EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
        ASSERT_GE(lastElement(), 0);
        EXPECT_EQ(gfxRecordAt(layer(), lastElement())->type, test.recordType);
        EXPECT_FALSE(c().isClean());
    }
    EXPECT_EQ(strokeCount(), 6);
}

TEST_F(Tools, LineRunsFromThePressToTheRelease)
{
    start();
    c().setTool(TOOL_LINE, false);
    dragLine(100, 100, 160, 140);
    const GfxLineRecord line = lastPayload<GfxLineRecord>();
    EXPECT_TRUE(samePosition(line.start, 100, 100));
    EXPECT_TRUE(samePosition(line.end, 160, 140));
    EXPECT_EQ(line.bounds[2], 60);
    EXPECT_EQ(line.bounds[3], 40);
}

TEST_F(Tools, SquareAndCircleRectanglesWithAndWithoutShift)
{
    struct Case {
        int32_t tool;
        int32_t modifiers;
        float centreX, centreY, width, height;
    };
    // Dragged from (100, 100) to (160, 140).
    const Case cases[] = {
        {TOOL_SQUARE, 0, 130, 120, 60, 40},     // spans anchor to pointer
        {TOOL_SQUARE, SHIFT, 130, 130, 60, 60}, // the larger side, from the anchor
        {TOOL_CIRCLE, 0, 100, 100, 120, 80},    // centred on the anchor
        {TOOL_CIRCLE, SHIFT, 100, 100, 120, 120},
    };
    start();
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.tool << " modifiers " << test.modifiers);
        c().setTool(test.tool, false);
        dragLine(100, 100, 160, 140, test.modifiers);
        EXPECT_TRUE(c().tools().transform.active) << "the shape stays open after the release";
        click(500, 500);  // a press elsewhere ends it
        EXPECT_FALSE(c().tools().transform.active);
        EXPECT_FALSE(elementOpen());
        const GfxShapeRecord shape = lastPayload<GfxShapeRecord>();
        EXPECT_EQ(shape.centreX, test.centreX);
        EXPECT_EQ(shape.centreY, test.centreY);
        EXPECT_EQ(shape.width, test.width);
        EXPECT_EQ(shape.height, test.height);
    }
    EXPECT_EQ(strokeCount(), 4) << "the ending press starts no new shape";
}

TEST_F(Tools, ThePressThatEndsAShapeStartsNothingAndTheNextOneDrawsAgain)
{
    start();
    c().setTool(TOOL_SQUARE, false);
    dragLine(100, 100, 160, 140);
    click(500, 500);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    dragLine(200, 200, 260, 260);
    c().setTool(TOOL_BRUSH, false);  // the tool switch ends the second one
    EXPECT_EQ(elementTypes(), (std::vector<int32_t>{GFX_RECORD_RECTANGLE, GFX_RECORD_RECTANGLE}));
}

TEST_F(Tools, MarqueeWithShiftIsASquareOnThePointersSideAndArrowsMoveIt)
{
    start();
    c().setTool(TOOL_MARQUEE, false);
    window_.seconds += 1;
    down(100, 100);
    move(130, 80, SHIFT);
    EXPECT_EQ(c().tools().marquee.width, 30);
    EXPECT_EQ(c().tools().marquee.height, -30);
    up(130, 80, SHIFT);
    const Marquee m = c().tools().marquee;
    EXPECT_TRUE(m.shown);
    EXPECT_EQ(m.x, 100);
    EXPECT_EQ(m.y, 70);
    EXPECT_EQ(m.width, 30);
    EXPECT_EQ(m.height, 30);
    EXPECT_EQ(strokeCount(), 0);

    // Even in the pan tool the arrows move the shown marquee, not the canvas.
    const std::vector<float> view = viewMatrix();
    c().setTool(TOOL_PAN_CANVAS, false);
    special(WINDOW_KEY_LEFT);
    special(WINDOW_KEY_UP);
    EXPECT_EQ(c().tools().marquee.x, 99);
    EXPECT_EQ(c().tools().marquee.y, 71);
    EXPECT_EQ(viewMatrix(), view);
}

TEST_F(Tools, HiddenLayerRefusesDrawingWithTheWarningButNotTheCanvasTools)
{
    start();
    GfxLayerAttributes hidden;
    hidden.flags = GFX_LAYER_VISIBLE;
    hidden.visible = 0;
    gfxSetLayerAttributes(sketch(), 0, &hidden);
    for (int32_t tool : {TOOL_BRUSH, TOOL_LINE, TOOL_POLYGON, TOOL_CIRCLE, TOOL_PAN_LAYER}) {
        c().setTool(tool, false);
        window_.messages.clear();
        dragLine(100, 100, 150, 150);
        ASSERT_EQ(window_.messages.size(), 1u) << "tool " << tool;
        EXPECT_EQ(window_.messages[0].text,
                  "The requested operation cannot be performed in the selected layer because it is not visible");
        EXPECT_EQ(window_.messages[0].caption, "Warning");
        EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    }
    EXPECT_EQ(strokeCount(), 0);
    EXPECT_TRUE(c().isClean());
    window_.messages.clear();
    c().setTool(TOOL_PAN_CANVAS, false);
    dragLine(100, 100, 150, 150);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(viewMatrix()[12], 50);
}

TEST_F(Tools, APressTheInterfaceTakesNeverReachesTheTool)
{
    start();
    std::vector<PointerPhase> offered;
    c().interfacePointer = [&](PointerPhase phase, const GfxSample& sample) {
        offered.push_back(phase);
        return sample.x < 50;  // a panel along the left edge
    };
    dragLine(10, 100, 40, 100);
    EXPECT_EQ(strokeCount(), 0);
    EXPECT_EQ(offered, (std::vector<PointerPhase>{PointerPhase::Press, PointerPhase::Drag, PointerPhase::Drag,
                                                  PointerPhase::Release}));
    dragLine(100, 100, 140, 100);
    EXPECT_EQ(strokeCount(), 1);
}

TEST_F(Tools, EscapeAndEveryModelChangeFindNoElementLeftOpen)
{
    start();
    // A stroke in progress when Escape arrives is ended as drawn.
    window_.seconds += 1;
    down(100, 100);
    move(120, 110);
    key(KEY_ESCAPE);
    EXPECT_FALSE(elementOpen());
    EXPECT_EQ(strokeCount(), 1);
    up(130, 120);  // the late release finds nothing to do
    EXPECT_EQ(strokeCount(), 1);
    // Undo in the middle of a stroke ends it, then removes it.
    down(200, 200);
    move(220, 210);
    key('z', CTRL);
    EXPECT_FALSE(elementOpen());
    EXPECT_EQ(strokeCount(), 1);
}

// ---------------------------------------------------------------------------------------
// Multi-line and polygon
// ---------------------------------------------------------------------------------------
TEST_F(Tools, MultiLineEndsAtTheDoubleClickedVertexWithoutTheRubberBand)
{
    start();
    c().setTool(TOOL_MULTI_LINE, false);
    click(100, 100);
    c().passiveMotion(150, 130);  // rubber band
    EXPECT_EQ(lastPoints().size(), 2u);
    click(200, 100);
    click(101, 101);  // near the first vertex: a multi-line does not close
    EXPECT_EQ(c().interaction(), INTERACTION_PLACING_VERTICES);
    c().passiveMotion(300, 300);
    click(200, 200);
    EXPECT_EQ(c().interaction(), INTERACTION_PLACING_VERTICES);
    click(200, 200, 0.1);  // the second click of a double click
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_FALSE(elementOpen());
    const std::vector<GfxSample> points = lastPoints();
    ASSERT_EQ(points.size(), 4u);
    EXPECT_TRUE(samePosition(points[0], 100, 100));
    EXPECT_TRUE(samePosition(points[1], 200, 100));
    EXPECT_TRUE(samePosition(points[2], 101, 101));
    EXPECT_TRUE(samePosition(points[3], 200, 200));
    EXPECT_EQ(elementTypes(), std::vector<int32_t>{GFX_RECORD_MULTI_LINE}) << "the rebuilt copies are gone";
    EXPECT_FALSE(c().isClean());
}

TEST_F(Tools, PolygonClosesOnAClickWithinMaxOf5PixelsAndHalfThePenWidth)
{
    struct Case {
        float penWidth;
        float clickX;  // on the x axis from the first vertex (100, 100)
        bool closes;
    };
    const Case cases[] = {
        {2, 104.5f, true},   // d² 20.25 < 25
        {2, 105.5f, false},  // d² 30.25
        {40, 119, true},     // d² 361 < 400
        {40, 121, false},    // d² 441
    };
    start();
    c().setTool(TOOL_POLYGON, false);
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << "width " << test.penWidth << " click " << test.clickX);
        GfxSketchAttributes width;
        width.flags = GFX_SKETCH_PEN_WIDTH;
        width.penWidth = test.penWidth;
        gfxSetSketchAttributes(sketch(), &width);
        click(100, 100);
        click(200, 100);
        click(200, 200);
        c().tools().lastPressSeconds = -1e9;
        window_.seconds += 1;
        c().press(0, false, GfxSample{test.clickX, 100, 1});
        c().release(0, GfxSample{test.clickX, 100, 1});
        EXPECT_EQ(c().interaction() == INTERACTION_IDLE, test.closes);
        c().finishInteraction();
        const std::vector<GfxSample> points = lastPoints();
        // Closed on the spot: the three vertices and the first again. Not closed: the
        // click is a fourth vertex, and ending closes after it.
        ASSERT_EQ(points.size(), test.closes ? 4u : 5u);
        EXPECT_TRUE(samePosition(points.back(), 100, 100));
    }
}

TEST_F(Tools, EscapeEndsAMultiLineAsPlaced)
{
    start();
    c().setTool(TOOL_MULTI_LINE, false);
    click(100, 100);
    click(200, 100);
    c().passiveMotion(300, 300);
    key(KEY_ESCAPE);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_EQ(lastPoints().size(), 2u);
}

// ---------------------------------------------------------------------------------------
// Tool switch and temporary tools
// ---------------------------------------------------------------------------------------
TEST_F(Tools, SpaceAndItsModifiersHoldATemporaryToolOfTheCurrentFamily)
{
    struct Case {
        int32_t tool;
        int32_t modifiers;
        int32_t temporary;
    };
    const Case cases[] = {
        {TOOL_BRUSH, 0, TOOL_PAN_CANVAS},
        {TOOL_BRUSH, SHIFT, TOOL_ROTATE_CANVAS},
        {TOOL_BRUSH, CTRL, TOOL_ZOOM_CANVAS},
        {TOOL_ZOOM_LAYER, 0, TOOL_PAN_LAYER},  // layer zoom: Space gives layer pan
        {TOOL_PAN_LAYER, SHIFT, TOOL_ROTATE_LAYER},
        {TOOL_MARQUEE, CTRL, TOOL_ZOOM_CANVAS},
    };
    start();
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << "tool " << test.tool << " modifiers " << test.modifiers);
        c().setTool(test.tool, false);
        key(' ', test.modifiers);
        EXPECT_EQ(c().tool(), test.temporary);
        EXPECT_TRUE(window_.keyRepeatIgnored);
        key(' ', test.modifiers);  // a repeat changes nothing
        EXPECT_EQ(c().tool(), test.temporary);
        keyRelease(' ', test.modifiers);
        EXPECT_EQ(c().tool(), test.tool);
        EXPECT_FALSE(window_.keyRepeatIgnored);
        EXPECT_EQ(c().tools().temporaryKey, TemporaryKey::None);
    }
}

TEST_F(Tools, ShiftAndCtrlWhileSpaceIsHeldSwitchTheTemporaryToolAndBack)
{
    start();
    c().setTool(TOOL_LINE, false);
    key(' ');
    EXPECT_EQ(c().tool(), TOOL_PAN_CANVAS);
    special(WINDOW_KEY_SHIFT);
    EXPECT_EQ(c().tool(), TOOL_ROTATE_CANVAS);
    specialRelease(WINDOW_KEY_SHIFT);
    EXPECT_EQ(c().tool(), TOOL_PAN_CANVAS);
    special(WINDOW_KEY_CTRL);
    EXPECT_EQ(c().tool(), TOOL_ZOOM_CANVAS);
    specialRelease(WINDOW_KEY_CTRL);
    EXPECT_EQ(c().tool(), TOOL_PAN_CANVAS);
    keyRelease(' ');
    EXPECT_EQ(c().tool(), TOOL_LINE);
    // Without Space held the modifier keys leave the tool alone.
    special(WINDOW_KEY_SHIFT);
    special(WINDOW_KEY_CTRL);
    EXPECT_EQ(c().tool(), TOOL_LINE);
}

TEST_F(Tools, ReleasingSpaceEndsTheTemporaryGestureWhereItWas)
{
    start();
    key(' ');
    window_.seconds += 1;
    down(100, 100);
    move(140, 130);
    EXPECT_EQ(c().interaction(), INTERACTION_GESTURE);
    keyRelease(' ');
    EXPECT_EQ(c().tool(), TOOL_BRUSH);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_EQ(viewMatrix()[12], 40);
    EXPECT_EQ(viewMatrix()[13], 30);
    up(200, 200);  // the late release changes nothing
    EXPECT_EQ(viewMatrix()[12], 40);
    EXPECT_EQ(strokeCount(), 0);
}

TEST_F(Tools, AltHoldsTheColourPickerAlsoWhenThePointerEntersWithIt)
{
    start();
    c().setTool(TOOL_CIRCLE, false);
    special(WINDOW_KEY_ALT);
    EXPECT_EQ(c().tool(), TOOL_COLOUR_PICKER);
    EXPECT_EQ(window_.cursor, CursorKind::ColourPicker);
    specialRelease(WINDOW_KEY_ALT);
    EXPECT_EQ(c().tool(), TOOL_CIRCLE);

    c().pointerEntry(false, 0);
    EXPECT_FALSE(c().windowState().pointerInside);
    c().pointerEntry(true, ALT);
    EXPECT_TRUE(c().windowState().pointerInside);
    EXPECT_EQ(c().tool(), TOOL_COLOUR_PICKER);
    c().pointerEntry(false, ALT);
    EXPECT_EQ(c().tool(), TOOL_CIRCLE);
}

TEST_F(Tools, ToolKeysAndTheShapeCycle)
{
    start();
    struct Step {
        char key;
        int32_t tool;
    };
    const Step steps[] = {{'i', TOOL_COLOUR_PICKER}, {'h', TOOL_PAN_CANVAS}, {'z', TOOL_ZOOM_CANVAS},
                          {'r', TOOL_ROTATE_CANVAS}, {'b', TOOL_BRUSH}};
    for (const Step& step : steps) {
        key(step.key);
        EXPECT_EQ(c().tool(), step.tool) << step.key;
    }
    c().setTool(TOOL_ROTATE_LAYER, false);
    key('h');
    EXPECT_EQ(c().tool(), TOOL_PAN_LAYER) << "the layer family stays";

    c().setTool(TOOL_BRUSH, false);
    command("hotkeyShape");
    EXPECT_EQ(c().tool(), TOOL_LINE) << "the line at first";
    const int32_t cycle[] = {TOOL_MULTI_LINE, TOOL_POLYGON, TOOL_SQUARE, TOOL_CIRCLE, TOOL_LINE, TOOL_MULTI_LINE};
    for (int32_t next : cycle) {
        command("hotkeyShape");
        EXPECT_EQ(c().tool(), next);
    }
    command("hotkeyMarquee");
    command("hotkeyShape");
    EXPECT_EQ(c().tool(), TOOL_MULTI_LINE) << "the shape tool used last";
}

// ---------------------------------------------------------------------------------------
// Pens
// ---------------------------------------------------------------------------------------
TEST_F(Tools, PenAndEraserKeysSwitchPresetAndEraseMode)
{
    start();
    GfxSketchAttributes a = attributes(GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_ERASE_MODE | GFX_SKETCH_PEN_OPACITY);
    EXPECT_EQ(a.penWidth, 40);  // the default pen, docked brush 2
    EXPECT_FLOAT_EQ(a.penOpacity, 0.2f);
    EXPECT_EQ(a.eraseMode, 0);
    c().setTool(TOOL_PAN_CANVAS, false);
    key('e');
    a = attributes(GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_ERASE_MODE);
    EXPECT_EQ(c().tool(), TOOL_BRUSH);
    EXPECT_EQ(a.eraseMode, 1);
    EXPECT_EQ(a.penWidth, 12);  // docked eraser 3
    EXPECT_TRUE(c().tools().eraserInUse);
    EXPECT_TRUE(c().tools().eraserChosen);
    key('b');
    a = attributes(GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_ERASE_MODE);
    EXPECT_EQ(a.eraseMode, 0);
    EXPECT_EQ(a.penWidth, 40);
    EXPECT_FALSE(c().tools().eraserInUse);
}

TEST_F(Tools, TheStylusEraserEndErasesUntilTheTipReturnsUnlessTheUserChoseTheEraser)
{
    start();
    c().setTool(TOOL_LINE, false);
    c().stylusEndChanged(true);
    EXPECT_EQ(attributes(GFX_SKETCH_ERASE_MODE).eraseMode, 1);
    EXPECT_EQ(c().tool(), TOOL_BRUSH);
    EXPECT_FALSE(c().tools().eraserChosen);
    c().stylusEndChanged(false);
    EXPECT_EQ(attributes(GFX_SKETCH_ERASE_MODE).eraseMode, 0);

    key('e');  // the user's own choice survives the tip
    c().stylusEndChanged(true);
    c().stylusEndChanged(false);
    EXPECT_EQ(attributes(GFX_SKETCH_ERASE_MODE).eraseMode, 1);
}

TEST_F(Tools, WidthKeysStepThePresetWithinItsRange)
{
    start();
    const struct {
        char key;
        float width;
    } steps[] = {{']', 41}, {'c', 42}, {'[', 41}, {'x', 40}};
    for (const auto& step : steps) {
        key(step.key);
        EXPECT_EQ(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, step.width) << step.key;
    }
    c().tools().pen.width = 127.5f;
    key(']');
    key(']');
    EXPECT_EQ(c().tools().pen.width, 128);
    c().tools().pen.width = 1;
    key('[');
    key('[');
    EXPECT_EQ(c().tools().pen.width, 0);
    key('e');
    key(']');
    EXPECT_EQ(c().tools().eraser.width, 13) << "the eraser's own width while erasing";
    EXPECT_EQ(c().tools().pen.width, 0);
}

TEST_F(Tools, OpacityDigitsAndSteps)
{
    start();
    key('3');
    EXPECT_FLOAT_EQ(attributes(GFX_SKETCH_PEN_OPACITY).penOpacity, 0.3f);
    key('0');
    EXPECT_FLOAT_EQ(attributes(GFX_SKETCH_PEN_OPACITY).penOpacity, 1.0f) << "0 is full opacity";
    c().markClean();
    command("hotkeyIncreasePenOpacity");
    EXPECT_FLOAT_EQ(attributes(GFX_SKETCH_PEN_OPACITY).penOpacity, 1.0f);
    EXPECT_FALSE(c().isClean());
    key('2');
    command("hotkeyDecreasePenOpacityAlt");
    command("hotkeyDecreasePenOpacity");
    EXPECT_FLOAT_EQ(attributes(GFX_SKETCH_PEN_OPACITY).penOpacity, 0.1f) << "never below 0.1";
    EXPECT_FLOAT_EQ(c().tools().pen.opacity, 0.1f);
}

TEST_F(Tools, PenScalingOffRestoresThePresetWidth)
{
    start();
    key('o');
    EXPECT_TRUE(c().penScalesWithZoom());
    c().applyPenScale(2.5f);
    EXPECT_EQ(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, 100);
    c().applyPenScale(4.0f);
    EXPECT_EQ(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, 128) << "clamped to 128";
    c().markClean();
    key('f');
    EXPECT_FALSE(c().penScalesWithZoom());
    EXPECT_EQ(c().penScaleFactor(), 1.0f);
    EXPECT_EQ(attributes(GFX_SKETCH_PEN_WIDTH).penWidth, 40);
    EXPECT_FALSE(c().isClean()) << "a factor other than 1 was dropped";
}

TEST_F(Tools, ANewDocumentStartsWithThePenAndNoSelection)
{
    start();
    key(']');  // the pen preset is 41 wide now
    c().setTool(TOOL_MARQUEE, false);
    dragLine(100, 100, 200, 200);
    ASSERT_TRUE(c().tools().marquee.shown);
    key('e');
    window_.messageAnswers.push_back(MessageAnswer::No);  // "Save changes?"
    c().newDocument();
    const GfxSketchAttributes a =
        attributes(GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_ERASE_MODE | GFX_SKETCH_WIDTH_SCALE | GFX_SKETCH_PEN_OPACITY);
    EXPECT_EQ(a.eraseMode, 0);
    EXPECT_EQ(a.penWidth, 41);
    EXPECT_FLOAT_EQ(a.penOpacity, 0.2f);
    EXPECT_EQ(a.widthScale, 1.0f);
    EXPECT_FALSE(c().tools().marquee.shown);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
}

// ---------------------------------------------------------------------------------------
// Colour picking
// ---------------------------------------------------------------------------------------
TEST_F(Tools, PickerTakesThePixelUnderThePointerForPenOrPaper)
{
    start();
    GlTestFramebuffer target(kWidth, kHeight);
    ASSERT_TRUE(target.complete());
    glClearColor(10 / 255.0f, 200 / 255.0f, 30 / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(700, 500, 1, 1);  // one pixel of another colour
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);

    c().setTool(TOOL_COLOUR_PICKER, false);
    click(5, 5);
    EXPECT_EQ(c().interaction(), INTERACTION_PICKING);
    GfxSketchAttributes a = attributes(GFX_SKETCH_PEN_COLOUR);
    EXPECT_EQ(a.penColour[0], 10);
    EXPECT_EQ(a.penColour[1], 200);
    EXPECT_EQ(a.penColour[2], 30);
    EXPECT_FALSE(c().isClean());
    EXPECT_TRUE(c().interfaceState().colourPicked);

    c().interfaceState().paperColourTarget = true;
    click(700, 500);
    a = attributes(GFX_SKETCH_PEN_COLOUR | GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TINT);
    EXPECT_EQ(a.paperColour[0], 255);
    EXPECT_EQ(a.paperColour[1], 0);
    EXPECT_EQ(a.paperColour[2], 255);
    EXPECT_EQ(a.paperTint, 1);
    EXPECT_EQ(a.penColour[1], 200) << "the pen keeps its colour";

    click(900, 700);  // outside the canvas: nothing is read
    a = attributes(GFX_SKETCH_PAPER_COLOUR);
    EXPECT_EQ(a.paperColour[1], 0);
    GLint alignment = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
}

// ---------------------------------------------------------------------------------------
// Cursors
// ---------------------------------------------------------------------------------------
TEST_F(Tools, EveryToolHasItsCursor)
{
    start();
    const CursorKind expected[TOOL_COUNT] = {
        CursorKind::Arrow,        CursorKind::BrushOutline, CursorKind::BrushOutline, CursorKind::BrushOutline,
        CursorKind::BrushOutline, CursorKind::BrushOutline, CursorKind::BrushOutline, CursorKind::ColourPicker,
        CursorKind::Zoom,         CursorKind::Move,         CursorKind::Rotate,       CursorKind::Zoom,
        CursorKind::Move,         CursorKind::Rotate,       CursorKind::Arrow,        CursorKind::Arrow,
    };
    for (int32_t tool = 0; tool < TOOL_COUNT; ++tool) {
        c().setTool(tool, false);
        EXPECT_EQ(window_.cursor, expected[tool]) << "tool " << tool;
        EXPECT_EQ(c().toolCursor(), expected[tool]);
    }
    c().setTool(TOOL_LINE, false);
    command("hotkeyToggleCursor");
    EXPECT_EQ(window_.cursor, CursorKind::Invisible);
    command("hotkeyToggleCursor");
    EXPECT_EQ(window_.cursor, CursorKind::BrushOutline);
    // A message box shows the arrow and gives the tool's cursor back.
    showMessage(&c(), "text", "Warning", MESSAGE_WARNING);
    EXPECT_EQ(window_.messages.back().cursorWhileShown, CursorKind::Arrow);
    EXPECT_EQ(window_.cursor, CursorKind::BrushOutline);
}

TEST(BrushOutline, RingPixelsForSeveralDiameters)
{
    struct Pixel {
        int dx, dy;  // from the centre, y upwards
        int grey, alpha;
    };
    struct Case {
        float diameter;
        int side, hot;
        std::vector<Pixel> pixels;
    };
    // grey = (diff / 0.6 x 0.5 + 0.5) x 255, alpha = (1.6 - |diff|) x 255, both clamped,
    // with diff = r - distance from the centre.
    const Case cases[] = {
        {10, 17, 8, {{5, 0, 127, 255}, {0, 5, 127, 255}, {4, 0, 255, 153}, {6, 0, 0, 153}, {0, 0, 255, 0},
                     {8, 8, 0, 0}, {3, 4, 127, 255}}},
        {40, 47, 23, {{20, 0, 127, 255}, {-20, 0, 127, 255}, {0, -21, 0, 153}, {0, 0, 255, 0}}},
        {3, 11, 5, {{0, 0, 255, 25}, {1, 0, 233, 255}, {2, 0, 21, 255}, {3, 0, 0, 25}, {4, 0, 0, 0}}},
        {0, 7, 3, {{0, 0, 127, 255}, {1, 0, 0, 153}, {2, 2, 0, 0}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.diameter);
        const CursorImage image = brushOutlineImage(test.diameter);
        ASSERT_EQ(image.side, test.side);
        EXPECT_EQ(image.hotX, test.hot);
        EXPECT_EQ(image.hotY, test.hot);
        ASSERT_EQ(image.rgba.size(), static_cast<size_t>(test.side * test.side * 4));
        for (const Pixel& p : test.pixels) {
            const size_t row = static_cast<size_t>(test.hot - p.dy);
            const size_t column = static_cast<size_t>(test.hot + p.dx);
            const uint8_t* rgba = &image.rgba[(row * test.side + column) * 4];
            EXPECT_NEAR(rgba[0], p.grey, 1) << p.dx << "," << p.dy;
            EXPECT_EQ(rgba[0], rgba[1]);
            EXPECT_EQ(rgba[0], rgba[2]);
            EXPECT_NEAR(rgba[3], p.alpha, 1) << p.dx << "," << p.dy;
        }
    }
}

TEST_F(Tools, TheOutlineFollowsWidthScaleAndTheWideMarker)
{
    start();
    ASSERT_FALSE(window_.brushOutlines.empty());
    EXPECT_EQ(window_.brushOutlines.back().side, 47);  // width 40
    const size_t built = window_.brushOutlines.size();
    key(']');
    EXPECT_EQ(window_.brushOutlines.back().side, 49);  // 41
    key('[');
    key('[');
    key(']');
    EXPECT_EQ(window_.brushOutlines.size(), built + 4) << "one picture per change";
    GfxSketchAttributes scale;
    scale.flags = GFX_SKETCH_WIDTH_SCALE;
    scale.widthScale = 0.5f;
    gfxSetSketchAttributes(sketch(), &scale);
    key(']');  // 41 x 0.5
    EXPECT_EQ(window_.brushOutlines.back().side, 2 * static_cast<int>(20.5f / 2 + 2.6f) + 3);
    scale.widthScale = 1;
    gfxSetSketchAttributes(sketch(), &scale);

    // A wide marker shows three times as wide, unless it is the eraser.
    const PenPreset wideMarker{2, 0, 6, 10, 0.4f, 1, 0};
    c().selectPreset(0x0D00, wideMarker);  // brush presets, index 13
    EXPECT_EQ(window_.brushOutlines.back().side, 2 * static_cast<int>(15 + 2.6f) + 3);
    c().selectPreset(0x0D01, wideMarker);  // eraser presets, index 13
    EXPECT_EQ(window_.brushOutlines.back().side, 2 * static_cast<int>(5 + 2.6f) + 3);

    // Tools without the outline leave the picture alone.
    c().setTool(TOOL_PAN_CANVAS, false);
    const size_t now = window_.brushOutlines.size();
    c().tools().eraser.width = 60;
    c().selectPreset(0x0D01, c().tools().eraser);  // selects the brush tool: rebuilt for it
    EXPECT_EQ(window_.brushOutlines.size(), now + 1);
}

}  // namespace
