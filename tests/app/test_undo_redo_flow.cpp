// Undo and Redo as the user reaches them: the first-layer rule, vertices of a
// multi-line being placed, an image going with its layer, the layers panel's notices
// and the developer commands.
#include "ToolTestSupport.h"

namespace {

using UndoRedoFlow = ToolTest;

// A 2 x 2 picture placed on the current layer, as an image placement ends.
void placeImage(GfxSketch* sketch)
{
    static const uint8_t pixels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    GfxElementInput input;
    input.kind = GFX_ELEMENT_IMAGE;
    input.imageEncoding = GFX_IMAGE_RAW_RGBA;
    input.imageData = pixels;
    input.imageLength = sizeof pixels;
    input.imageWidth = 2;
    input.imageHeight = 2;
    input.rect[0] = 400;
    input.rect[1] = 300;
    input.rect[2] = input.rect[3] = 100;
    gfxBeginElement(sketch, &input);
    ASSERT_EQ(gfxGetLastError(gfxGetSketchSystem(sketch)), GFX_OK);
    gfxEndElement(sketch, &input);
    ASSERT_EQ(gfxGetLastError(gfxGetSketchSystem(sketch)), GFX_OK);
}

void addLayer(GfxSketch* sketch)
{
    gfxAddLayer(sketch, nullptr);
    ASSERT_EQ(gfxGetLastError(gfxGetSketchSystem(sketch)), GFX_OK);
}

TEST_F(UndoRedoFlow, TheFirstLayerIsNeverUndone)
{
    start();
    key('z', CTRL);
    special(WINDOW_KEY_F1, SHIFT);  // undo all
    const GfxSketchAttributes a = attributes(GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_UNDO_KIND);
    EXPECT_EQ(a.layerCount, 1);
    EXPECT_EQ(a.undoKind, 8);
    EXPECT_TRUE(c().isClean()) << "nothing happened";
}

TEST_F(UndoRedoFlow, StrokesGoAndComeBack)
{
    start();
    dragLine(100, 100, 200, 150);
    dragLine(100, 200, 200, 250);
    c().markClean();
    key('z', CTRL);
    EXPECT_EQ(strokeCount(), 1);
    EXPECT_FALSE(c().isClean());
    key('Z', CTRL | SHIFT);
    EXPECT_EQ(strokeCount(), 2);
    key('z', CTRL);
    key('z', CTRL);
    key('z', CTRL);  // only the first layer is left: nothing more
    EXPECT_EQ(strokeCount(), 0);
    EXPECT_EQ(attributes(GFX_SKETCH_LAYER_COUNT).layerCount, 1);
}

TEST_F(UndoRedoFlow, WhilePlacingVerticesUndoAndRedoHideAndShowTheLastOne)
{
    start();
    c().setTool(TOOL_MULTI_LINE, false);
    click(100, 100);
    click(200, 100);
    click(200, 200);
    ASSERT_EQ(lastPoints().size(), 3u);
    key('z', CTRL);
    EXPECT_EQ(lastPoints().size(), 2u);
    EXPECT_EQ(c().interaction(), INTERACTION_PLACING_VERTICES);
    key('z', CTRL | SHIFT);
    EXPECT_EQ(lastPoints().size(), 3u);
    key('z', CTRL | SHIFT);  // all shown already
    EXPECT_EQ(lastPoints().size(), 3u);
    EXPECT_EQ(c().interaction(), INTERACTION_PLACING_VERTICES);

    key('z', CTRL);
    key('z', CTRL);
    EXPECT_EQ(lastPoints().size(), 1u);
    // With one vertex left the whole element is ended as placed and undone.
    key('z', CTRL);
    EXPECT_EQ(c().interaction(), INTERACTION_IDLE);
    EXPECT_FALSE(elementOpen());
    EXPECT_TRUE(elementTypes().empty());
    key('z', CTRL | SHIFT);
    ASSERT_EQ(elementTypes(), std::vector<int32_t>{GFX_RECORD_MULTI_LINE});
    EXPECT_EQ(lastPoints().size(), 3u);
}

TEST_F(UndoRedoFlow, AVertexPlacedAfterAnUndoReplacesTheHiddenOne)
{
    start();
    c().setTool(TOOL_POLYGON, false);
    click(100, 100);
    click(200, 100);
    click(200, 200);
    key('z', CTRL);
    click(100, 300);
    key(KEY_ESCAPE);
    const std::vector<GfxSample> points = lastPoints();
    ASSERT_EQ(points.size(), 4u);  // three vertices and the closing one
    EXPECT_TRUE(samePosition(points[1], 200, 100));
    EXPECT_TRUE(samePosition(points[2], 100, 300));
    EXPECT_TRUE(samePosition(points[3], 100, 100));
    key('z', CTRL | SHIFT);  // no longer placing: a plain redo, with nothing to redo
    EXPECT_EQ(elementTypes().size(), 1u);
}

TEST_F(UndoRedoFlow, AnImageGoesAndComesBackWithTheLayerMadeForIt)
{
    start();
    dragLine(100, 100, 200, 200);
    addLayer(sketch());
    placeImage(sketch());
    ASSERT_EQ(attributes(GFX_SKETCH_LAYER_COUNT).layerCount, 2);
    key('z', CTRL);
    GfxSketchAttributes a = attributes(GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_UNDO_KIND);
    EXPECT_EQ(a.layerCount, 1);
    EXPECT_EQ(a.undoKind, GFX_RECORD_FREEHAND);
    EXPECT_EQ(c().interfaceState().layerHistoryKind, 8) << "the layers panel heard of the layer";
    EXPECT_TRUE(c().interfaceState().layersChanged);
    key('z', CTRL | SHIFT);
    a = attributes(GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_UNDO_KIND);
    EXPECT_EQ(a.layerCount, 2);
    EXPECT_EQ(a.undoKind, GFX_RECORD_IMAGE);
    EXPECT_EQ(elementTypes(), std::vector<int32_t>{GFX_RECORD_IMAGE});
}

TEST_F(UndoRedoFlow, AnImageOnTheFirstLayerLeavesTheLayer)
{
    start();
    placeImage(sketch());
    key('z', CTRL);
    const GfxSketchAttributes a = attributes(GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_UNDO_KIND);
    EXPECT_EQ(a.layerCount, 1);
    EXPECT_EQ(a.undoKind, 8);
    EXPECT_TRUE(elementTypes().empty());
}

TEST_F(UndoRedoFlow, UndoingOrRedoingAMergeRebuildsTheLayersPanel)
{
    start();
    addLayer(sketch());
    dragLine(100, 100, 200, 200);
    gfxMergeLayerDown(sketch());
    ASSERT_EQ(gfxGetLastError(c().engine()), GFX_OK);
    key('z', CTRL);
    EXPECT_TRUE(c().interfaceState().layersPanelRebuild);
    EXPECT_EQ(attributes(GFX_SKETCH_LAYER_COUNT).layerCount, 2);
    c().interfaceState().layersPanelRebuild = false;
    key('z', CTRL | SHIFT);
    EXPECT_TRUE(c().interfaceState().layersPanelRebuild);
    EXPECT_EQ(attributes(GFX_SKETCH_LAYER_COUNT).layerCount, 1);
}

TEST_F(UndoRedoFlow, DeveloperCommandsUndoAllRedoAllAndRedoTen)
{
    start();
    for (int i = 0; i < 6; ++i) dragLine(100, 10.0f + 20 * i, 200, 20.0f + 20 * i);
    addLayer(sketch());
    for (int i = 0; i < 6; ++i) dragLine(300, 10.0f + 20 * i, 400, 20.0f + 20 * i);
    ASSERT_EQ(strokeCount(), 12);

    special(WINDOW_KEY_F1, SHIFT);
    GfxSketchAttributes a = attributes(GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_UNDO_KIND | GFX_SKETCH_STATS);
    EXPECT_EQ(a.layerCount, 1);
    EXPECT_EQ(a.undoKind, 8);
    EXPECT_EQ(a.stats.strokeCount, 0);

    special(WINDOW_KEY_F3, SHIFT);  // ten entries: six strokes, the layer, three strokes
    a = attributes(GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_STATS);
    EXPECT_EQ(a.layerCount, 2);
    EXPECT_EQ(a.stats.strokeCount, 9);

    special(WINDOW_KEY_F1 + 1, SHIFT);
    EXPECT_EQ(strokeCount(), 12);
    EXPECT_EQ(attributes(GFX_SKETCH_REDO_KIND).redoKind, 0);

    special(WINDOW_KEY_F1);  // without Shift: not a developer shortcut
    EXPECT_EQ(strokeCount(), 12);
}

}  // namespace
