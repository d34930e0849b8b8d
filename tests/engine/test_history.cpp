// Undo, redo and redo-all: every kind of history entry goes back and forth
// exactly, the redraw marking, discarding the future and releasing layers.
#include "EngineTestSupport.h"
#include "GlTestContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

// What the user can see of a sketch: the order, the current layer, and per layer its
// settings, transform and live elements; also every layer's reference count.
struct Snapshot {
    std::vector<int32_t> order;
    int32_t current = -1;
    struct Layer {
        int32_t slot, baseIndex, visible;
        float opacity, scale, translateX;
        std::vector<int32_t> elements;
        bool operator==(const Layer&) const = default;
    };
    std::vector<Layer> layers;
    std::vector<int32_t> refCounts;  // by table slot
    // Equal views; a layer made since (a new or pasted layer) must be unreachable.
    bool operator==(const Snapshot& other) const
    {
        if (order != other.order || current != other.current || !(layers == other.layers)) return false;
        const size_t common = std::min(refCounts.size(), other.refCounts.size());
        for (size_t i = 0; i < common; ++i)
            if (refCounts[i] != other.refCounts[i]) return false;
        for (const Snapshot* longer : {this, &other})
            for (size_t i = common; i < longer->refCounts.size(); ++i)
                if (longer->refCounts[i] > 0) return false;
        return true;
    }
};

// The live records of a layer that are not state records.
std::vector<int32_t> liveContent(const GfxLayer* layer)
{
    std::vector<int32_t> content;
    for (int32_t i = layer->baseIndex; i < layer->records.cursor; ++i)
        if (!gfxIsStateType(gfxRecordAt(layer, i)->type)) content.push_back(i);
    return content;
}

Snapshot snapshotOf(const GfxSketch* sketch)
{
    Snapshot s;
    s.order = orderSlots(sketch);
    s.current = sketch->attributes.currentLayer;
    for (int32_t p = 0; p < sketch->layerCount; ++p) {
        const GfxLayer* layer = gfxLayerAtPosition(sketch, p);
        s.layers.push_back({layer->slot, layer->baseIndex, layer->visible, layer->opacity, layer->scale,
                            layer->matrix.m[12], liveContent(layer)});
    }
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) {
        const GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
        s.refCounts.push_back(layer ? layer->refCount : -99);
    }
    return s;
}

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(glTestContextMakeCurrent());
        system = gfxCreateSystem();
        sketch = gfxCreateSketch(system, nullptr);
        gfxSetViewport(sketch, 0, 0, 200, 200);
        gfxAddLayer(sketch, nullptr);
    }
    void TearDown() override { gfxDestroySystem(system); }

    int32_t error() { return gfxGetLastError(system); }
    int32_t undoKind()
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_UNDO_KIND | GFX_SKETCH_REDO_KIND;
        gfxGetSketchAttributes(sketch, &a);
        return a.undoKind;
    }
    int32_t redoKind()
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_REDO_KIND;
        gfxGetSketchAttributes(sketch, &a);
        return a.redoKind;
    }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

TEST_F(HistoryTest, AFreshSketchHasOnlyItsFirstLayerToUndo)
{
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_UNDO_KIND | GFX_SKETCH_REDO_KIND | GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(sketch, &a);
    EXPECT_EQ(a.undoKind, GFX_HISTORY_LAYER_ADDED);
    EXPECT_EQ(a.redoKind, 0);
    EXPECT_EQ(a.layerCount, 1);
    drawStrokeAt(sketch, 10, 10);
    EXPECT_EQ(undoKind(), GFX_RECORD_FREEHAND);
    gfxUndo(sketch);
    EXPECT_EQ(redoKind(), GFX_RECORD_FREEHAND);
    EXPECT_EQ(undoKind(), GFX_HISTORY_LAYER_ADDED);
}

TEST_F(HistoryTest, NothingToUndoOrRedoIsNotAnError)
{
    gfxRedo(sketch);
    EXPECT_EQ(error(), GFX_OK);
    gfxUndo(sketch);
    gfxUndo(sketch);  // cursor at 0
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->history.cursor, 0);
    EXPECT_EQ(sketch->layerCount, 0);
    gfxRedoAll(sketch);
    EXPECT_EQ(sketch->layerCount, 1);
    EXPECT_EQ(sketch->attributes.currentLayer, 0);
}

// Every operation: undo restores exactly what was there before, redo what came after.
struct OperationCase {
    const char* name;
    std::function<void(GfxSketch*)> run;
    int32_t entries;             // history entries it adds
    int32_t currentPosition = 1; // the current layer before it runs
};

class UndoRedoTest : public HistoryTest, public ::testing::WithParamInterface<OperationCase> {
protected:
    void SetUp() override
    {
        HistoryTest::SetUp();
        // Two layers with strokes, a moved layer, a clipboard to paste.
        drawStrokeAt(sketch, 10, 10);
        drawStrokeAt(sketch, 60, 10);
        gfxAddLayer(sketch, nullptr);
        drawStrokeAt(sketch, 10, 50);
        GfxGesture pan;
        pan.kind = GFX_GESTURE_PAN;
        pan.translateX = 4;
        gfxBeginLayerGesture(sketch, &pan);
        gfxEndLayerGesture(sketch, &pan);
        GfxLayerAttributes opacity;
        opacity.flags = GFX_LAYER_OPACITY;
        opacity.opacity = 0.5f;
        gfxSetLayerAttributes(sketch, 0, &opacity);
        ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 100, 100), 1);
        ASSERT_EQ(error(), GFX_OK);
    }
};

void setCurrent(GfxSketch* sketch, int32_t position);

TEST_P(UndoRedoTest, UndoRestoresAndRedoReapplies)
{
    setCurrent(sketch, GetParam().currentPosition);
    const Snapshot before = snapshotOf(sketch);
    const int32_t cursor = sketch->history.cursor;
    GetParam().run(sketch);
    ASSERT_EQ(error(), GFX_OK) << GetParam().name;
    ASSERT_EQ(sketch->history.cursor, cursor + GetParam().entries) << GetParam().name;
    const Snapshot after = snapshotOf(sketch);
    ASSERT_FALSE(after == before) << GetParam().name << " changed nothing";

    gfxUndo(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->history.cursor, cursor) << GetParam().name << ": one undo is one step";
    EXPECT_TRUE(snapshotOf(sketch) == before) << GetParam().name;
    EXPECT_EQ(sketch->redoPending, 1);

    gfxRedo(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->history.cursor, cursor + GetParam().entries) << GetParam().name;
    EXPECT_TRUE(snapshotOf(sketch) == after) << GetParam().name;

    gfxUndo(sketch);  // and once more the same way, with the positions found before
    EXPECT_TRUE(snapshotOf(sketch) == before) << GetParam().name;
    gfxRedoAll(sketch);
    EXPECT_TRUE(snapshotOf(sketch) == after) << GetParam().name;
    EXPECT_EQ(sketch->history.cursor, sketch->history.count);
}

void setCurrent(GfxSketch* sketch, int32_t position)
{
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_CURRENT_LAYER;
    a.currentLayer = position;
    gfxSetSketchAttributes(sketch, &a);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, UndoRedoTest,
    ::testing::Values(
        OperationCase{"stroke", [](GfxSketch* s) { drawStrokeAt(s, 30, 30); }, 1},
        OperationCase{"line", [](GfxSketch* s) { drawElement(s, GFX_ELEMENT_LINE, {{1, 1, 1}, {50, 9, 1}}); }, 1},
        OperationCase{"addLayer", [](GfxSketch* s) { gfxAddLayer(s, nullptr); }, 1},
        OperationCase{"addLayerInTheMiddle", [](GfxSketch* s) { gfxAddLayer(s, nullptr); }, 1, 0},
        OperationCase{"deleteTopLayer", [](GfxSketch* s) { gfxDeleteLayer(s); }, 1},
        OperationCase{"deleteBottomLayer", [](GfxSketch* s) { gfxDeleteLayer(s); }, 1, 0},
        OperationCase{"strokeOnTheBottomLayer", [](GfxSketch* s) { drawStrokeAt(s, 5, 90); }, 1, 0},
        OperationCase{"moveLayer", [](GfxSketch* s) { gfxMoveLayer(s, 0); }, 1},
        OperationCase{"mergeDown", [](GfxSketch* s) { gfxMergeLayerDown(s); }, 1},
        OperationCase{"clearLayer", [](GfxSketch* s) { gfxClearLayer(s); }, 1},
        OperationCase{"clearCanvas", [](GfxSketch* s) { gfxClearCanvas(s); }, 1},
        OperationCase{"cut", [](GfxSketch* s) { gfxCutRegion(s, 0, 0, 100, 100); }, 1},
        OperationCase{"paste", [](GfxSketch* s) { gfxPasteClipboard(s, 30, 30); }, 1},
        OperationCase{"layerGesture",
                      [](GfxSketch* s) {
                          GfxGesture zoom;
                          zoom.kind = GFX_GESTURE_ZOOM;
                          zoom.scaleX = 2;
                          zoom.centreX = 50;
                          gfxBeginLayerGesture(s, &zoom);
                          gfxEndLayerGesture(s, &zoom);
                      },
                      1},
        OperationCase{"movedSelection",
                      [](GfxSketch* s) {
                          gfxLiftRegion(s, 0, 0, 100, 100, 0, 0);
                          const GfxPastePlacement moved{80, 70, 100, 100, 10};
                          gfxUpdatePaste(s, &moved);
                          gfxCommitPaste(s, &moved);
                      },
                      2}),
    [](const ::testing::TestParamInfo<OperationCase>& param) { return std::string(param.param.name); });

TEST_F(HistoryTest, UndoOfTheNewestStrokeStaysInsideTheHeldBackWindow)
{
    GfxLayer* layer = gfxCurrentLayer(sketch);
    drawStrokeAt(sketch, 10, 10);
    layer->renderState = GFX_RENDER_CLEAN;  // as a render leaves it: everything cached
    layer->heldBack = 0;
    drawStrokeAt(sketch, 10, 20);
    EXPECT_EQ(layer->heldBack, 1);
    layer->renderState = GFX_RENDER_CLEAN;
    sketch->needsRedraw = 0;
    gfxUndo(sketch);
    EXPECT_EQ(layer->renderState, GFX_RENDER_NEW_RECORDS);  // no full redraw
    EXPECT_EQ(layer->heldBack, 0);
    EXPECT_EQ(sketch->needsRedraw, 0);
}

TEST_F(HistoryTest, TwelveUndosInARowRedrawTheLayer)
{
    GfxLayer* layer = gfxCurrentLayer(sketch);
    drawStrokeAt(sketch, 10, 0);
    layer->renderState = GFX_RENDER_CLEAN;
    layer->heldBack = 0;
    for (int i = 1; i <= 12; ++i) drawStrokeAt(sketch, 10, static_cast<float>(i));
    EXPECT_EQ(layer->heldBack, GFX_HELD_BACK_MAX);
    for (int i = 0; i < 10; ++i) {
        gfxUndo(sketch);
        EXPECT_NE(layer->renderState, GFX_RENDER_REDRAW_ALL) << i;
    }
    gfxUndo(sketch);
    gfxUndo(sketch);
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW_ALL);
}

TEST_F(HistoryTest, DrawingAfterAnUndoDiscardsTheFutureAndReleasesItsLayers)
{
    drawStrokeAt(sketch, 10, 10);
    gfxAddLayer(sketch, nullptr);
    GfxLayer* added = gfxCurrentLayer(sketch);
    const int32_t addedSlot = added->slot;
    drawStrokeAt(sketch, 20, 20);
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 50, 50), 1);
    gfxPasteClipboard(sketch, 5, 5);
    const GfxPasteRecord paste =
        gfxReadPayload<GfxPasteRecord>(added, *gfxRecordAt(added, added->records.count - 1));
    const int32_t pastedSlot = paste.pastedSlot;
    gfxUndo(sketch);  // paste
    gfxUndo(sketch);  // stroke
    gfxUndo(sketch);  // layer
    EXPECT_EQ(added->refCount, 0);
    ASSERT_NE(gfxLayerAtSlot(sketch, addedSlot), nullptr);  // kept: it can be redone
    const int64_t released = system->layersReleased;
    GfxLayer* bottom = gfxCurrentLayer(sketch);
    const int32_t bottomRecords = bottom->records.count;
    drawStrokeAt(sketch, 30, 30);
    EXPECT_EQ(gfxLayerAtSlot(sketch, addedSlot), nullptr);
    EXPECT_EQ(gfxLayerAtSlot(sketch, pastedSlot), nullptr);
    EXPECT_EQ(system->layersReleased, released + 2);
    EXPECT_EQ(redoKind(), 0);
    EXPECT_EQ(sketch->history.count, sketch->history.cursor);
    EXPECT_EQ(bottom->records.count, bottomRecords + 1);  // no state records needed again
    gfxRedo(sketch);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->layerCount, 1);
}

TEST_F(HistoryTest, DiscardingCutsTheRecordsHeapAndVerticesBack)
{
    GfxLayer* layer = gfxCurrentLayer(sketch);
    drawStrokeAt(sketch, 10, 10);
    const GfxLayerMark kept = gfxLayerMarkNow(layer);
    const int32_t vertices = layer->verticesUsed;
    std::vector<GfxSample> longStroke;
    for (int i = 0; i < 2000; ++i) longStroke.push_back({static_cast<float>(i % 200), static_cast<float>(i / 10), 1});
    drawElement(sketch, GFX_ELEMENT_MULTI_LINE, longStroke);
    EXPECT_GT(layer->heap.chunksAllocated, 2);
    gfxUndo(sketch);
    EXPECT_EQ(layer->records.count, kept.recordCount + 1);  // undone, not yet discarded
    gfxAddLayer(sketch, nullptr);  // anything entered discards
    EXPECT_EQ(layer->records.count, kept.recordCount);
    EXPECT_EQ(layer->heap.write.chunk, kept.heap.chunk);
    EXPECT_EQ(layer->heap.write.offset, kept.heap.offset);
    EXPECT_EQ(layer->heap.chunksAllocated, kept.heap.chunk + 1);
    EXPECT_EQ(layer->verticesUsed, vertices);
}

TEST_F(HistoryTest, AnEntryNamingAMissingRecordOrLayerGivesSeven)
{
    drawStrokeAt(sketch, 10, 10);
    drawStrokeAt(sketch, 20, 10);
    GfxHistoryEntry* newest = gfxHistoryAt(sketch, sketch->history.cursor - 1);
    const GfxHistoryEntry saved = *newest;
    struct {
        const char* name;
        GfxHistoryEntry damaged;
    } cases[] = {{"record beyond the list", {saved.kind, saved.slot, 9999}},
                 {"record not the last live one", {saved.kind, saved.slot, saved.value - 1}},
                 {"layer not in the table", {saved.kind, 42, saved.value}},
                 {"deleted layer missing", {GFX_HISTORY_LAYER_DELETED, 42, 0}},
                 {"added layer not in the order", {GFX_HISTORY_LAYER_ADDED, 42, 0}}};
    for (const auto& c : cases) {
        *newest = c.damaged;
        sketch->history.cursor = sketch->history.count;
        gfxUndo(sketch);
        EXPECT_EQ(error(), GFX_ERR_INTERNAL) << c.name;
    }
    *newest = saved;
    sketch->history.cursor = sketch->history.count;
    gfxUndo(sketch);
    EXPECT_EQ(error(), GFX_OK);
    *gfxHistoryAt(sketch, sketch->history.cursor) = {saved.kind, saved.slot, 9999};
    gfxRedo(sketch);
    EXPECT_EQ(error(), GFX_ERR_INTERNAL);
}

TEST_F(HistoryTest, BusySketchesRefuseUndoAndNothingMoves)
{
    drawStrokeAt(sketch, 10, 10);
    const GfxSample start{5, 5, 1};
    GfxElementInput input;
    input.sampleCount = 1;
    input.samples = &start;
    gfxBeginElement(sketch, &input);
    const int32_t cursor = sketch->history.cursor;
    gfxUndo(sketch);
    EXPECT_EQ(error(), GFX_ERR_ELEMENT_ACTIVE);
    gfxRedoAll(sketch);
    EXPECT_EQ(error(), GFX_ERR_ELEMENT_ACTIVE);
    EXPECT_EQ(sketch->history.cursor, cursor);
    gfxEndElement(sketch, &input);
    GfxGesture pan;
    gfxBeginLayerGesture(sketch, &pan);
    gfxRedo(sketch);
    EXPECT_EQ(error(), GFX_ERR_TRANSFORM_ACTIVE);
    gfxEndLayerGesture(sketch, &pan);
}

TEST_F(HistoryTest, AMovedSelectionComesBackInOneStepAndAPlainPasteAfterACutToo)
{
    drawStrokeAt(sketch, 10, 10);
    const Snapshot before = snapshotOf(sketch);
    gfxCutRegion(sketch, 0, 0, 50, 50);
    gfxPasteClipboard(sketch, 100, 100);  // a moved placement right after a cut
    gfxUndo(sketch);
    EXPECT_TRUE(snapshotOf(sketch) == before);
    EXPECT_EQ(redoKind(), GFX_RECORD_REGION_CUT);
    gfxRedo(sketch);
    EXPECT_EQ(sketch->history.cursor, sketch->history.count);
}

TEST_F(HistoryTest, UndoOfALayerDeletionPutsItBackWithItsStrokes)
{
    drawStrokeAt(sketch, 10, 10);
    gfxAddLayer(sketch, nullptr);
    drawStrokeAt(sketch, 20, 20);
    gfxAddLayer(sketch, nullptr);
    setCurrent(sketch, 1);
    GfxLayer* middle = gfxCurrentLayer(sketch);
    gfxDeleteLayer(sketch);
    EXPECT_EQ(sketch->layerCount, 2);
    gfxUndo(sketch);
    EXPECT_EQ(gfxLayerAtPosition(sketch, 1), middle);
    EXPECT_EQ(sketch->attributes.currentLayer, 1);
    EXPECT_EQ(liveElements(middle).size(), 1u);
    EXPECT_EQ(middle->refCount, 1);
    EXPECT_EQ(sketch->needsRedraw, 1);
    gfxRedo(sketch);
    EXPECT_EQ(gfxFindLayerPosition(sketch, middle->slot), -1);
    EXPECT_EQ(sketch->attributes.currentLayer, 0);
}

TEST(HistoryMemory, EveryLayerIsReleasedOnceAndNothingLeaks)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    CountingAllocator::reset();
    GfxSystem* system = gfxCreateSystemWithAllocator(CountingAllocator::allocator());
    GfxSketch* sketch = gfxCreateSketch(system, nullptr);
    gfxSetViewport(sketch, 0, 0, 100, 100);
    for (int i = 0; i < 4; ++i) {
        gfxAddLayer(sketch, nullptr);
        drawStrokeAt(sketch, 10, 10 + i);
    }
    gfxCopyRegion(sketch, 0, 0, 50, 50);
    gfxPasteClipboard(sketch, 3, 3);
    gfxMergeLayerDown(sketch);
    gfxDeleteLayer(sketch);
    gfxUndo(sketch);
    gfxUndo(sketch);
    gfxUndo(sketch);
    gfxAddLayer(sketch, nullptr);  // discards
    gfxLiftRegion(sketch, 0, 0, 50, 50, 0, 0);
    gfxDestroySketch(sketch);
    gfxDestroySketch(gfxClipboardSketch(system));
    EXPECT_GT(system->layersCreated, 6);
    EXPECT_EQ(system->layersCreated, system->layersReleased);
    gfxDestroySystem(system);
    EXPECT_EQ(CountingAllocator::liveBytes, 0);
    EXPECT_EQ(CountingAllocator::allocations, CountingAllocator::releases);
}

}  // namespace
