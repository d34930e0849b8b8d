// The stroke and layer model: layer operations, records and lazy state records,
// the heap layout of points, elements of every kind, cells in the vertex buffer,
// gestures and the view.
#include "EngineTestSupport.h"
#include "GlTestContext.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(glTestContextMakeCurrent());
        system = gfxCreateSystem();
        sketch = gfxCreateSketch(system, nullptr);
        ASSERT_NE(sketch, nullptr);
        gfxSetViewport(sketch, 0, 0, 200, 100);
        gfxAddLayer(sketch, nullptr);
        ASSERT_EQ(gfxGetLastError(system), GFX_OK);
    }
    void TearDown() override { gfxDestroySystem(system); }

    GfxLayer* current() { return gfxCurrentLayer(sketch); }
    int32_t currentPosition() { return sketch->attributes.currentLayer; }
    int32_t error() { return gfxGetLastError(system); }
    void setAttributes(const GfxSketchAttributes& in) { gfxSetSketchAttributes(sketch, &in); }
    GfxHistoryEntry newestEntry() { return *gfxHistoryAt(sketch, sketch->history.cursor - 1); }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

// ----------------------------------------------------------------------------------
// Layer operations
// ----------------------------------------------------------------------------------
TEST_F(ModelTest, AddInsertsAboveTheCurrentLayerAndMakesItCurrent)
{
    gfxAddLayer(sketch, nullptr);  // slots 0, 1
    GfxSketchAttributes select;
    select.flags = GFX_SKETCH_CURRENT_LAYER;
    select.currentLayer = 0;
    setAttributes(select);
    gfxLayerAtPosition(sketch, 0)->renderState = GFX_RENDER_CLEAN;
    GfxLayerAttributes named;
    named.flags = GFX_LAYER_NAME | GFX_LAYER_VISIBLE;
    std::strcpy(named.name, "Inked");
    named.visible = 0;
    gfxAddLayer(sketch, &named);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(orderSlots(sketch), (std::vector<int32_t>{0, 2, 1}));
    EXPECT_EQ(currentPosition(), 1);
    EXPECT_STREQ(current()->name, "Inked");
    EXPECT_EQ(current()->visible, 0);
    EXPECT_EQ(current()->refCount, 1);
    EXPECT_EQ(gfxLayerAtPosition(sketch, 0)->renderState, GFX_RENDER_REDRAW);  // the old current layer
    const GfxHistoryEntry entry = newestEntry();
    EXPECT_EQ(entry.kind, GFX_HISTORY_LAYER_ADDED);
    EXPECT_EQ(entry.slot, 2);
    EXPECT_EQ(entry.value, 1);
}

TEST_F(ModelTest, TheLayerOrderGrowsPastItsFirstCapacity)
{
    for (int i = 0; i < 200; ++i) gfxAddLayer(sketch, nullptr);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->layerCount, 201);
    EXPECT_EQ(sketch->layerOrderCapacity, 256);
    for (int32_t p = 0; p < 201; ++p) EXPECT_EQ(sketch->layerOrder[p], p);
}

TEST_F(ModelTest, DeletingTheOnlyLayerLeavesNoneAndTheNextGoesToTheBottom)
{
    GfxLayer* only = current();
    gfxDeleteLayer(sketch);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->layerCount, 0);
    EXPECT_EQ(currentPosition(), -1);
    EXPECT_EQ(only->refCount, 0);
    EXPECT_EQ(gfxGetLayerBySlot(sketch, 0), only);  // kept in the table for undo
    gfxDeleteLayer(sketch);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    gfxAddLayer(sketch, nullptr);
    EXPECT_EQ(currentPosition(), 0);
    EXPECT_EQ(orderSlots(sketch), (std::vector<int32_t>{1}));
}

TEST_F(ModelTest, DeleteMakesTheLayerBelowCurrent)
{
    gfxAddLayer(sketch, nullptr);
    gfxAddLayer(sketch, nullptr);  // order 0 1 2, current 2
    struct {
        int32_t select;
        std::vector<int32_t> order;
        int32_t current;
    } cases[] = {{1, {0, 2}, 0}, {0, {2}, 0}};
    for (const auto& c : cases) {
        GfxSketchAttributes select;
        select.flags = GFX_SKETCH_CURRENT_LAYER;
        select.currentLayer = c.select;
        setAttributes(select);
        gfxDeleteLayer(sketch);
        EXPECT_EQ(orderSlots(sketch), c.order);
        EXPECT_EQ(currentPosition(), c.current);
    }
}

TEST_F(ModelTest, MoveClampsToTheTopAndRefusesNegativeTargets)
{
    gfxAddLayer(sketch, nullptr);
    gfxAddLayer(sketch, nullptr);
    GfxSketchAttributes select;
    select.flags = GFX_SKETCH_CURRENT_LAYER;
    select.currentLayer = 0;
    setAttributes(select);
    gfxMoveLayer(sketch, 99);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(orderSlots(sketch), (std::vector<int32_t>{1, 2, 0}));
    EXPECT_EQ(currentPosition(), 2);
    EXPECT_EQ(newestEntry().kind, GFX_HISTORY_LAYER_MOVED);
    EXPECT_EQ(newestEntry().value, 0);
    const int32_t entries = sketch->history.count;
    gfxMoveLayer(sketch, -1);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    gfxMoveLayer(sketch, 2);  // where it is: no step
    EXPECT_EQ(sketch->history.count, entries);
    select.currentLayer = -1;
    setAttributes(select);
    gfxMoveLayer(sketch, 0);  // no current layer: nothing
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(orderSlots(sketch), (std::vector<int32_t>{1, 2, 0}));
}

TEST_F(ModelTest, MergeKeepsTheUpperLayerWholeInARecord)
{
    ASSERT_EQ(drawStrokeAt(sketch, 10, 10), GFX_OK);
    GfxLayer* lower = current();
    gfxAddLayer(sketch, nullptr);
    GfxLayer* upper = current();
    ASSERT_EQ(drawStrokeAt(sketch, 30, 30), GFX_OK);
    GfxLayerAttributes opacity;
    opacity.flags = GFX_LAYER_OPACITY;
    opacity.opacity = 0.25f;
    gfxSetLayerAttributes(sketch, 0, &opacity);
    opacity.opacity = 0.5f;
    gfxSetLayerAttributes(sketch, 1, &opacity);
    gfxMergeLayerDown(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->layerCount, 1);
    EXPECT_EQ(currentPosition(), 0);
    EXPECT_EQ(upper->refCount, 1);  // now held by the record
    EXPECT_FLOAT_EQ(lower->opacity, 1.0f);
    EXPECT_EQ(lower->renderState, GFX_RENDER_REDRAW_ALL);
    ASSERT_EQ(liveTypes(lower).back(), GFX_RECORD_LAYER_MERGED);
    const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(lower, *gfxRecordAt(lower, lower->records.count - 1));
    EXPECT_EQ(merge.mergedSlot, upper->slot);
    EXPECT_FLOAT_EQ(merge.mergedOpacity, 0.5f);
    EXPECT_FLOAT_EQ(merge.lowerOpacity, 0.25f);
    EXPECT_EQ(newestEntry().kind, GFX_RECORD_LAYER_MERGED);

    gfxMergeLayerDown(sketch);  // at position 0: nothing
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(newestEntry().kind, GFX_RECORD_LAYER_MERGED);
    GfxSketchAttributes stats;
    stats.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &stats);
    EXPECT_EQ(stats.stats.strokeCount, 2);  // merged strokes count
}

TEST_F(ModelTest, MergeWritesAFrameOnTheLowerLayerWhenItHasNone)
{
    gfxAddLayer(sketch, nullptr);
    gfxMergeLayerDown(sketch);
    GfxLayer* lower = current();
    EXPECT_EQ(liveTypes(lower), (std::vector<int32_t>{GFX_RECORD_FRAME, GFX_RECORD_LAYER_MERGED}));
}

TEST_F(ModelTest, ClearLayerMovesTheStartAndResetsTheTransform)
{
    drawStrokeAt(sketch, 10, 10);
    drawStrokeAt(sketch, 20, 20);
    GfxLayer* layer = current();
    layer->matrix = gfxMatrixTranslate(5, 5);
    layer->scale = 2;
    layer->penStateWritten = layer->colourStateWritten = layer->frameWritten = 1;
    gfxClearLayer(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(layer->baseIndex, layer->records.count);
    EXPECT_TRUE(liveTypes(layer).empty());
    EXPECT_TRUE(gfxMatrixIsIdentity(layer->matrix, 0));
    EXPECT_FLOAT_EQ(layer->scale, 1);
    EXPECT_EQ(layer->penStateWritten + layer->colourStateWritten + layer->frameWritten, 0);
    EXPECT_EQ(layer->eraseStateWritten, -1);
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW_ALL);
    const GfxClearRecord clear = gfxReadPayload<GfxClearRecord>(layer, *gfxRecordAt(layer, layer->baseIndex - 1));
    EXPECT_EQ(clear.previousBaseIndex, 0);
    EXPECT_FLOAT_EQ(clear.previousMatrix.m[12], 5);
    EXPECT_FLOAT_EQ(clear.previousScale, 2);

    gfxUndo(sketch);  // nothing was released: every element is back
    EXPECT_EQ(liveElements(layer).size(), 2u);
    EXPECT_EQ(layer->baseIndex, 0);
    EXPECT_FLOAT_EQ(layer->matrix.m[12], 5);
}

TEST_F(ModelTest, ClearCanvasIsOneHistoryEntryAndARecordOnEveryLayer)
{
    drawStrokeAt(sketch, 10, 10);
    gfxAddLayer(sketch, nullptr);
    drawStrokeAt(sketch, 20, 20);
    const int32_t entries = sketch->history.count;
    gfxClearCanvas(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->history.count, entries + 1);
    EXPECT_EQ(newestEntry().kind, GFX_HISTORY_CANVAS_CLEARED);
    for (int32_t p = 0; p < 2; ++p) {
        const GfxLayer* layer = gfxLayerAtPosition(sketch, p);
        EXPECT_TRUE(liveElements(layer).empty());
        EXPECT_EQ(gfxRecordAt(layer, layer->baseIndex - 1)->type, GFX_RECORD_CANVAS_CLEARED);
    }
    gfxUndo(sketch);
    for (int32_t p = 0; p < 2; ++p) EXPECT_EQ(liveElements(gfxLayerAtPosition(sketch, p)).size(), 1u);
}

TEST_F(ModelTest, LayersBySlot)
{
    gfxAddLayer(sketch, nullptr);
    EXPECT_EQ(gfxGetLayerBySlot(sketch, 1), current());
    EXPECT_EQ(error(), GFX_OK);
    for (int32_t bad : {-1, 2, 1000}) {
        EXPECT_EQ(gfxGetLayerBySlot(sketch, bad), nullptr);
        EXPECT_EQ(error(), GFX_ERR_INVALID);
    }
}

TEST_F(ModelTest, OperationsNeedingACurrentLayerReportSix)
{
    GfxSketchAttributes select;
    select.flags = GFX_SKETCH_CURRENT_LAYER;
    select.currentLayer = -1;
    setAttributes(select);
    gfxClearLayer(sketch);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    gfxDeleteLayer(sketch);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    EXPECT_EQ(drawStrokeAt(sketch, 1, 1), GFX_ERR_INVALID);
    EXPECT_EQ(gfxCopyRegion(sketch, 0, 0, 10, 10), 0);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    GfxGesture gesture;
    gfxBeginLayerGesture(sketch, &gesture);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
}

// ----------------------------------------------------------------------------------
// Records, state records and the heap
// ----------------------------------------------------------------------------------
TEST_F(ModelTest, StateRecordsAreWrittenLazilyBeforeElements)
{
    GfxLayer* layer = current();
    drawStrokeAt(sketch, 10, 10);
    EXPECT_EQ(liveTypes(layer), (std::vector<int32_t>{51, 52, 53, 54, 1}));
    drawStrokeAt(sketch, 10, 20);
    EXPECT_EQ(liveTypes(layer).size(), 6u);  // no view or pen change: the element alone

    struct {
        int32_t flags;
        std::vector<int32_t> written;
    } cases[] = {{GFX_SKETCH_PEN_WIDTH, {52, 1}},
                 {GFX_SKETCH_PEN_COLOUR, {53, 1}},
                 {GFX_SKETCH_ERASE_MODE, {54, 1}},
                 {GFX_SKETCH_PAPER_COLOUR, {1}},
                 {GFX_SKETCH_PEN_OPACITY | GFX_SKETCH_PEN_COLOUR, {52, 53, 1}}};
    GfxSketchAttributes in;
    in.penWidth = 5;
    in.penColour[0] = 9;
    in.eraseMode = 1;
    in.penOpacity = 0.5f;
    for (const auto& c : cases) {
        in.flags = c.flags;
        setAttributes(in);
        const int32_t before = layer->records.count;
        drawStrokeAt(sketch, 10, 30);
        std::vector<int32_t> written;
        for (int32_t i = before; i < layer->records.count; ++i) written.push_back(gfxRecordAt(layer, i)->type);
        EXPECT_EQ(written, c.written) << std::hex << c.flags;
    }
    // Setting the same erase mode again writes nothing.
    in.flags = GFX_SKETCH_ERASE_MODE;
    setAttributes(in);
    const int32_t before = layer->records.count;
    drawStrokeAt(sketch, 10, 40);
    EXPECT_EQ(layer->records.count, before + 1);
    // State records never enter the history.
    for (int32_t i = 0; i < sketch->history.count; ++i) EXPECT_LT(gfxHistoryAt(sketch, i)->kind, 51);
}

TEST_F(ModelTest, ANewFrameFollowsAZoomAndNothingElse)
{
    GfxLayer* bottom = current();
    drawStrokeAt(sketch, 10, 10);
    gfxAddLayer(sketch, nullptr);
    GfxLayer* top = current();
    drawStrokeAt(sketch, 10, 10);
    const int32_t bottomCount = bottom->records.count;

    GfxGesture zoom;
    zoom.kind = GFX_GESTURE_ZOOM;
    zoom.centreX = 50;
    zoom.centreY = 50;
    zoom.scaleX = 2;
    gfxBeginViewGesture(sketch, &zoom);
    gfxEndViewGesture(sketch, &zoom);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_FLOAT_EQ(sketch->viewScale, 2);

    const int32_t before = top->records.count;
    drawStrokeAt(sketch, 10, 10);
    EXPECT_EQ(gfxRecordAt(top, before)->type, GFX_RECORD_FRAME);
    EXPECT_EQ(gfxRecordAt(top, before + 1)->type, GFX_RECORD_FREEHAND);
    const GfxFrameRecord frame = gfxReadPayload<GfxFrameRecord>(top, *gfxRecordAt(top, before));
    EXPECT_FLOAT_EQ(frame.widthFactor, 0.5f);
    // view x layer x frame maps the element back to where it was drawn.
    const GfxMatrix full = gfxMatrixMultiply(sketch->view, gfxMatrixMultiply(top->matrix, frame.matrix));
    EXPECT_TRUE(gfxMatrixIsIdentity(full, 1e-5f));

    const int32_t after = top->records.count;
    drawStrokeAt(sketch, 10, 10);
    EXPECT_EQ(top->records.count, after + 1);  // no view change: no frame
    EXPECT_EQ(bottom->records.count, bottomCount);
    EXPECT_EQ(bottom->frameWritten, 0);  // the bottom layer's next element gets one too
}

TEST_F(ModelTest, AThousandPointStrokeContinuesInTheNextHeapChunk)
{
    std::vector<GfxSample> points;
    for (int i = 0; i < 1000; ++i) points.push_back({static_cast<float>(i), static_cast<float>(i % 7), 0.001f * i});
    ASSERT_EQ(drawElement(sketch, GFX_ELEMENT_MULTI_LINE, points), GFX_OK);
    const GfxLayer* layer = current();
    const int32_t index = liveElements(layer).back();
    const GfxRecordEntry entry = *gfxRecordAt(layer, index);
    EXPECT_EQ(entry.chunk, 0);
    EXPECT_GE(layer->heap.write.chunk, 1);  // 28 + 12000 bytes cannot fit in one chunk
    const std::vector<GfxSample> read = pointsOf(layer, index);
    ASSERT_EQ(read.size(), points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(read[i].x, points[i].x) << i;
        EXPECT_EQ(read[i].y, points[i].y) << i;
        EXPECT_EQ(read[i].pressure, points[i].pressure) << i;
    }
    const GfxPointListRecord header = gfxReadPayload<GfxPointListRecord>(layer, entry);
    EXPECT_FLOAT_EQ(header.bounds[2], 999);
    EXPECT_FLOAT_EQ(header.bounds[3], 6);
    // The last point of the first chunk ends within it; the next starts at offset 0.
    const GfxHeapPosition split = gfxPointPosition(entry, (10000 - gfxFirstPointPosition(entry).offset) / 12);
    EXPECT_EQ(split.chunk, entry.chunk + 1);
    EXPECT_EQ(split.offset, 0);
}

TEST_F(ModelTest, APayloadLargerThanAChunkFailsAndChangesNothing)
{
    drawStrokeAt(sketch, 10, 10);
    GfxLayer* layer = current();
    const GfxLayerMark before = gfxLayerMarkNow(layer);
    const int32_t entries = sketch->history.count;
    std::vector<uint8_t> payload(10001, 0xAB);
    EXPECT_EQ(gfxAppendRecordWithHistory(layer, GFX_RECORD_REGION_CUT, payload.data(), 10001), -1);
    EXPECT_EQ(error(), GFX_ERR_FAILED);
    EXPECT_EQ(layer->records.count, before.recordCount);
    EXPECT_EQ(layer->heap.write.chunk, before.heap.chunk);
    EXPECT_EQ(layer->heap.write.offset, before.heap.offset);
    EXPECT_EQ(sketch->history.count, entries);
    EXPECT_NE(gfxAppendRecordWithHistory(layer, GFX_RECORD_REGION_CUT, payload.data(), 10000), -1);
}

TEST_F(ModelTest, AFullHistoryRollsTheRecordBack)
{
    GfxLayer* layer = current();
    drawStrokeAt(sketch, 10, 10);
    const GfxLayerMark before = gfxLayerMarkNow(layer);
    const int32_t limit = sketch->history.chunkLimit;
    sketch->history.chunkLimit = sketch->history.chunksAllocated;  // as if every chunk were used
    sketch->history.cursor = sketch->history.count = sketch->history.chunkLimit * sketch->history.elementsPerChunk;
    EXPECT_EQ(drawStrokeAt(sketch, 10, 10), GFX_ERR_FAILED);
    EXPECT_EQ(layer->records.count, before.recordCount);
    EXPECT_EQ(layer->heap.write.offset, before.heap.offset);
    EXPECT_EQ(sketch->elementOpen, 0);
    sketch->history.chunkLimit = limit;
    sketch->history.cursor = sketch->history.count = 4;
}

// ----------------------------------------------------------------------------------
// Elements
// ----------------------------------------------------------------------------------
TEST_F(ModelTest, ElementRecordsOfEveryKind)
{
    GfxLayer* layer = current();
    const float rect[4] = {50, 40, 30, 20};
    ASSERT_EQ(drawElement(sketch, GFX_ELEMENT_LINE, {{80, 10, 1}, {60, 30, 1}, {20, 50, 0.5f}}), GFX_OK);
    const GfxLineRecord line = gfxReadPayload<GfxLineRecord>(layer, *gfxRecordAt(layer, liveElements(layer).back()));
    // Drawn right to left and downwards: normalised to a positive box.
    EXPECT_FLOAT_EQ(line.bounds[0], 20);
    EXPECT_FLOAT_EQ(line.bounds[1], 10);
    EXPECT_FLOAT_EQ(line.bounds[2], 60);
    EXPECT_FLOAT_EQ(line.bounds[3], 40);
    EXPECT_FLOAT_EQ(line.end.x, 20);
    EXPECT_GE(line.vertices.first, 0);

    ASSERT_EQ(drawElement(sketch, GFX_ELEMENT_POLYGON, {{0, 0, 1}, {10, 0, 1}, {10, 10, 1}}), GFX_OK);
    const std::vector<GfxSample> polygon = pointsOf(layer, liveElements(layer).back());
    ASSERT_EQ(polygon.size(), 4u);
    EXPECT_EQ(polygon.back().x, 0);  // closed with its first point
    EXPECT_EQ(polygon.back().y, 0);

    ASSERT_EQ(drawElement(sketch, GFX_ELEMENT_MULTI_LINE, {{0, 0, 1}, {5, 5, 1}, {10, 0, 1}}), GFX_OK);
    EXPECT_EQ(pointsOf(layer, liveElements(layer).back()).size(), 3u);

    for (int32_t kind : {GFX_ELEMENT_RECTANGLE, GFX_ELEMENT_ELLIPSE}) {
        GfxElementInput input;
        input.kind = kind;
        std::memcpy(input.rect, rect, sizeof rect);
        gfxBeginElement(sketch, &input);
        input.rect[2] = 60;  // resized while open
        input.angle = 30;
        gfxExtendElement(sketch, &input);
        input.rect[0] = 55;
        gfxEndElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
        const GfxShapeRecord shape =
            gfxReadPayload<GfxShapeRecord>(layer, *gfxRecordAt(layer, liveElements(layer).back()));
        EXPECT_FLOAT_EQ(shape.centreX, 55);
        EXPECT_FLOAT_EQ(shape.width, 60);
        EXPECT_FLOAT_EQ(shape.angle, 30);
        EXPECT_GT(shape.vertices.count, 0);
    }
    EXPECT_EQ(sketch->elementOpen, 0);
}

TEST_F(ModelTest, ATapIsAOnePointStroke)
{
    ASSERT_EQ(drawStroke(sketch, {{40, 40, 0.5f}}), GFX_OK);
    const GfxLayer* layer = current();
    const int32_t index = liveElements(layer).back();
    EXPECT_EQ(pointsOf(layer, index).size(), 1u);
    GfxVertexRange range;
    gfxElementVertexRange(layer, *gfxRecordAt(layer, index), &range);
    EXPECT_EQ(range.count, 4);  // one pencil stamp
}

TEST_F(ModelTest, FreehandPointsAreTheSmoothedCurveThroughTheKeptSamples)
{
    std::vector<GfxSample> points;
    for (int i = 0; i <= 40; ++i) points.push_back({10.0f + 3 * i, 50 + 20 * std::sin(i * 0.2f), 0.5f});
    ASSERT_EQ(drawStroke(sketch, points), GFX_OK);
    const GfxLayer* layer = current();
    const int32_t index = liveElements(layer).back();
    const std::vector<GfxSample> stored = pointsOf(layer, index);
    ASSERT_GT(stored.size(), 2u);
    EXPECT_FLOAT_EQ(stored.front().x, 10);
    EXPECT_NEAR(stored.back().x, 130, 1e-3);
    const GfxPointListRecord header = gfxReadPayload<GfxPointListRecord>(layer, *gfxRecordAt(layer, index));
    float minX = 1e9f, maxX = -1e9f;
    for (const GfxSample& p : stored) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
    }
    EXPECT_FLOAT_EQ(header.bounds[0], minX);
    EXPECT_FLOAT_EQ(header.bounds[2], maxX - minX);
    EXPECT_EQ(header.pointCount, static_cast<int32_t>(stored.size()));
}

TEST_F(ModelTest, BeginRefusesBadKindsAndMissingSamples)
{
    GfxElementInput input;
    for (int32_t kind : {-1, 7, 100}) {
        input.kind = kind;
        gfxBeginElement(sketch, &input);
        EXPECT_EQ(error(), GFX_ERR_INVALID) << kind;
    }
    input.kind = GFX_ELEMENT_FREEHAND;
    input.sampleCount = 0;
    gfxBeginElement(sketch, &input);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    EXPECT_EQ(sketch->history.count, 1);
    EXPECT_EQ(current()->records.count, 0);
}

TEST_F(ModelTest, AnOpenElementRefusesModelChangesWithEight)
{
    const GfxSample start{10, 10, 1};
    GfxElementInput input;
    input.sampleCount = 1;
    input.samples = &start;
    current()->renderState = GFX_RENDER_CLEAN;
    gfxBeginElement(sketch, &input);
    ASSERT_EQ(error(), GFX_OK);
    const int32_t entries = sketch->history.count;
    gfxAddLayer(sketch, nullptr);
    EXPECT_EQ(error(), GFX_ERR_ELEMENT_ACTIVE);
    gfxUndo(sketch);
    EXPECT_EQ(error(), GFX_ERR_ELEMENT_ACTIVE);
    gfxBeginElement(sketch, &input);
    EXPECT_EQ(error(), GFX_ERR_ELEMENT_ACTIVE);
    GfxGesture gesture;
    gfxBeginViewGesture(sketch, &gesture);
    EXPECT_EQ(error(), GFX_ERR_ELEMENT_ACTIVE);
    EXPECT_EQ(sketch->history.count, entries);
    GfxSketchAttributes read;
    read.flags = GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(sketch, &read);
    EXPECT_EQ(error(), GFX_OK);
    gfxEndElement(sketch, &input);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(current()->heldBack, 1);
    EXPECT_EQ(current()->renderState, GFX_RENDER_NEW_RECORDS);
}

TEST_F(ModelTest, ExtendAndEndNeedAnOpenElementNamedByTheNewestEntry)
{
    const GfxSample sample{1, 1, 1};
    GfxElementInput input;
    input.sampleCount = 1;
    input.samples = &sample;
    gfxExtendElement(sketch, &input);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    gfxEndElement(sketch, &input);
    EXPECT_EQ(error(), GFX_ERR_INVALID);

    gfxBeginElement(sketch, &input);
    gfxHistoryAt(sketch, sketch->history.cursor - 1)->kind = GFX_HISTORY_LAYER_ADDED;  // damaged
    gfxExtendElement(sketch, &input);
    EXPECT_EQ(error(), GFX_ERR_INTERNAL);
    EXPECT_EQ(sketch->elementOpen, 0);  // the element is closed
}

TEST_F(ModelTest, ImagesKeepTheirBytesAndGetATexture)
{
    const uint8_t pixels[16] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 10, 20, 30, 0};
    GfxElementInput input;
    input.kind = GFX_ELEMENT_IMAGE;
    input.rect[0] = 50;
    input.rect[1] = 50;
    input.rect[2] = 20;
    input.rect[3] = 20;
    input.imageEncoding = GFX_IMAGE_RAW_RGBA;
    input.imageLength = 16;
    input.imageWidth = 2;
    input.imageHeight = 2;
    input.imageData = pixels;
    gfxBeginElement(sketch, &input);
    ASSERT_EQ(error(), GFX_OK);
    input.angle = 15;
    gfxEndElement(sketch, &input);
    ASSERT_EQ(error(), GFX_OK);
    GfxLayer* layer = current();
    const GfxImageRecord image =
        gfxReadPayload<GfxImageRecord>(layer, *gfxRecordAt(layer, liveElements(layer).back()));
    EXPECT_EQ(image.encoding, GFX_IMAGE_RAW_RGBA);
    EXPECT_EQ(image.encodedLength, 16);
    ASSERT_NE(image.encodedBytes, nullptr);
    EXPECT_NE(image.encodedBytes, pixels);
    EXPECT_EQ(image.encodedBytes[5], 255);
    EXPECT_EQ(image.textureWidth, 2);
    EXPECT_NE(image.texture, 0u);
    EXPECT_FLOAT_EQ(image.angle, 15);
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW);

    for (int32_t encoding : {1, 3, 5, 9}) {
        input.imageEncoding = encoding;
        const int32_t count = layer->records.count;
        gfxBeginElement(sketch, &input);
        EXPECT_EQ(error(), GFX_ERR_INVALID) << encoding;
        EXPECT_EQ(layer->records.count, count);
    }
    const uint8_t garbage[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    input.imageEncoding = GFX_IMAGE_PNG;
    input.imageData = garbage;
    input.imageLength = 8;
    gfxBeginElement(sketch, &input);
    EXPECT_EQ(error(), GFX_ERR_FAILED);
    EXPECT_EQ(sketch->elementOpen, 0);
}

// ----------------------------------------------------------------------------------
// Cells and vertex buffers
// ----------------------------------------------------------------------------------
TEST_F(ModelTest, CellsGoToTheLayerBufferOneElementAfterTheOther)
{
    GfxLayer* layer = current();
    drawStrokeAt(sketch, 10, 10);
    drawStrokeAt(sketch, 10, 30);
    const std::vector<int32_t> elements = liveElements(layer);
    GfxVertexRange first, second;
    gfxElementVertexRange(layer, *gfxRecordAt(layer, elements[0]), &first);
    gfxElementVertexRange(layer, *gfxRecordAt(layer, elements[1]), &second);
    EXPECT_EQ(first.first, 0);
    EXPECT_GT(first.count, 0);
    EXPECT_EQ(second.first, first.count);
    EXPECT_EQ(layer->verticesUsed, first.count + second.count);
    EXPECT_EQ(layer->verticesReserved, GFX_VERTEX_BUFFER_FIRST);
    EXPECT_EQ(system->vertexBytes, GFX_VERTEX_BUFFER_FIRST * 20);
    GfxSketchAttributes stats;
    stats.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &stats);
    EXPECT_EQ(stats.stats.gpuMemoryInUse, 20 * layer->verticesUsed);
    EXPECT_EQ(stats.stats.gpuMemoryAllocated, 20 * GFX_VERTEX_BUFFER_FIRST);
}

TEST_F(ModelTest, AGrownBufferKeepsItsContent)
{
    GfxLayer* layer = current();
    layer->vertexSizeHint = 8;  // a small first buffer, as a load may leave
    drawStrokeAt(sketch, 10, 10);
    ASSERT_EQ(layer->verticesReserved, layer->verticesUsed + GFX_VERTEX_BUFFER_GROWTH);  // did not fit in 8
    const int32_t firstCount = layer->verticesUsed;
    std::vector<GfxVertex> before(static_cast<size_t>(firstCount));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(layer->vertexBuffer));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, firstCount * 20, before.data());
    layer->verticesReserved = layer->verticesUsed + 1;  // pretend it is nearly full
    system->vertexBytes = layer->verticesReserved * 20;
    drawStrokeAt(sketch, 10, 30);
    EXPECT_GT(layer->verticesReserved, layer->verticesUsed);
    EXPECT_EQ(system->vertexBytes, layer->verticesReserved * 20);
    std::vector<GfxVertex> after(static_cast<size_t>(firstCount));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(layer->vertexBuffer));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, firstCount * 20, after.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(std::memcmp(before.data(), after.data(), before.size() * sizeof(GfxVertex)), 0);
}

TEST_F(ModelTest, TheTotalVertexLimitLeavesTheElementWithoutCells)
{
    system->vertexBytes = static_cast<int32_t>(GFX_VERTEX_BYTES_LIMIT) - 100;  // other layers use it all
    EXPECT_EQ(drawStrokeAt(sketch, 10, 10), GFX_ERR_FAILED);
    GfxLayer* layer = current();
    const std::vector<int32_t> elements = liveElements(layer);
    ASSERT_EQ(elements.size(), 1u);  // the element stays
    GfxVertexRange range;
    gfxElementVertexRange(layer, *gfxRecordAt(layer, elements[0]), &range);
    EXPECT_EQ(range.first, -1);
    EXPECT_EQ(range.count, 0);
    EXPECT_EQ(sketch->elementOpen, 0);
    system->vertexBytes = 0;
}

TEST_F(ModelTest, AWidthScaleChangeRebuildsEveryCellAtTheNextRender)
{
    GlTestFramebuffer target(200, 100);
    GfxSketchAttributes marker;
    marker.flags = GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_WIDTH;
    marker.penType = 1;
    marker.penWidth = 4;
    setAttributes(marker);
    drawStrokeAt(sketch, 10, 10);
    gfxAddLayer(sketch, nullptr);
    drawStrokeAt(sketch, 10, 30);
    const int32_t before = gfxLayerAtPosition(sketch, 0)->verticesUsed;
    GfxSketchAttributes scale;
    scale.flags = GFX_SKETCH_WIDTH_SCALE;
    scale.widthScale = 4;  // pencil stamps are spaced by the width: fewer of them
    setAttributes(scale);
    gfxRenderSketch(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->rebuildCells, 0);
    for (int32_t p = 0; p < 2; ++p) {
        GfxLayer* layer = gfxLayerAtPosition(sketch, p);
        GfxVertexRange range;
        gfxElementVertexRange(layer, *gfxRecordAt(layer, liveElements(layer).back()), &range);
        EXPECT_EQ(range.first, 0);
        EXPECT_EQ(range.count, layer->verticesUsed);
    }
    EXPECT_LT(gfxLayerAtPosition(sketch, 0)->verticesUsed, before);
}

// ----------------------------------------------------------------------------------
// View and layer gestures
// ----------------------------------------------------------------------------------
TEST_F(ModelTest, ViewGestureScaleIsClamped)
{
    struct {
        int32_t kind;
        float scaleX, scaleY;
        float expectedScale;
    } cases[] = {{GFX_GESTURE_ZOOM, 1e6f, 1, 50000},
                 {GFX_GESTURE_ZOOM, 1e-12f, 1, 1e-9f},
                 {GFX_GESTURE_COMBINED, 3, 1, 3},
                 {GFX_GESTURE_PAN, 1e6f, 1, 1},
                 {GFX_GESTURE_SCALE, -1e7f, 2, 0.5f * (50000 + 2)}};
    for (const auto& c : cases) {
        gfxResetView(sketch);
        GfxGesture gesture;
        gesture.kind = c.kind;
        gesture.scaleX = c.scaleX;
        gesture.scaleY = c.scaleY;
        gfxBeginViewGesture(sketch, &gesture);
        gfxUpdateViewGesture(sketch, &gesture);
        gfxEndViewGesture(sketch, &gesture);
        ASSERT_EQ(error(), GFX_OK);
        EXPECT_NEAR(sketch->viewScale, c.expectedScale, c.expectedScale * 1e-5) << c.kind << " " << c.scaleX;
    }
    // The mirror keeps its sign.
    EXPECT_LT(sketch->view.m[0], 0);
}

TEST_F(ModelTest, ViewGestureComposesAboutItsCentre)
{
    GfxGesture rotate;
    rotate.kind = GFX_GESTURE_ROTATE;
    rotate.centreX = 100;
    rotate.centreY = 50;
    rotate.angle = 90;
    gfxBeginViewGesture(sketch, &rotate);
    EXPECT_EQ(sketch->viewGesture.kind, GFX_GESTURE_ROTATE + 1);
    gfxEndViewGesture(sketch, &rotate);
    float x, y;
    gfxMatrixTransformPoint(sketch->view, 110, 50, &x, &y);  // 10 right of the centre goes 10 up
    EXPECT_NEAR(x, 100, 1e-4);
    EXPECT_NEAR(y, 60, 1e-4);
    EXPECT_EQ(sketch->viewGesture.kind, 0);

    GfxGesture bad;
    bad.kind = 9;
    gfxBeginViewGesture(sketch, &bad);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    gfxEndViewGesture(sketch, &rotate);  // none open
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    gfxBeginViewGesture(sketch, &rotate);
    gfxEndViewGesture(sketch, &bad);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
}

TEST_F(ModelTest, ResetViewGoesBackToIdentity)
{
    GfxGesture combined;
    combined.kind = GFX_GESTURE_COMBINED;
    combined.scaleX = 3;
    combined.translateX = 7;
    combined.angle = 20;
    gfxBeginViewGesture(sketch, &combined);
    gfxEndViewGesture(sketch, &combined);
    current()->frameWritten = 1;
    gfxResetView(sketch);
    EXPECT_TRUE(gfxMatrixIsIdentity(sketch->view, 0));
    EXPECT_TRUE(gfxMatrixIsIdentity(sketch->viewInverse, 0));
    EXPECT_TRUE(gfxMatrixIsIdentity(sketch->paper.textureMatrix, 0));
    EXPECT_FLOAT_EQ(sketch->viewScale, 1);
    EXPECT_EQ(current()->frameWritten, 0);
}

TEST_F(ModelTest, GestureFromMatrixRecoversTheSimilarity)
{
    GfxGesture source;
    source.kind = GFX_GESTURE_COMBINED;
    source.scaleX = 2.5f;
    source.angle = -35;
    source.translateX = 12;
    source.translateY = -4;
    const GfxMatrix matrix = gfxGestureMatrix(source);
    GfxGesture out;
    gfxGestureFromMatrix(matrix.m, &out);
    EXPECT_EQ(out.kind, GFX_GESTURE_COMBINED);
    EXPECT_FLOAT_EQ(out.centreX, 0);
    EXPECT_NEAR(out.scaleX, 2.5f, 1e-5);
    EXPECT_NEAR(out.angle, -35, 1e-4);
    EXPECT_FLOAT_EQ(out.translateX, 12);
    EXPECT_FLOAT_EQ(out.translateY, -4);
    const GfxMatrix again = gfxGestureMatrix(out);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(again.m[i], matrix.m[i], 1e-4) << i;
}

TEST_F(ModelTest, LayerGestureIsOneRecordAndMovesTheLayer)
{
    drawStrokeAt(sketch, 10, 10);
    GfxLayer* layer = current();
    GfxGesture pan;
    pan.kind = GFX_GESTURE_PAN;
    pan.translateX = 30;
    gfxBeginLayerGesture(sketch, &pan);
    ASSERT_EQ(error(), GFX_OK);
    gfxAddLayer(sketch, nullptr);
    EXPECT_EQ(error(), GFX_ERR_TRANSFORM_ACTIVE);
    gfxUpdateLayerGesture(sketch, &pan);
    gfxEndLayerGesture(sketch, &pan);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(newestEntry().kind, GFX_RECORD_LAYER_TRANSFORMED);
    EXPECT_FLOAT_EQ(layer->matrix.m[12], 30);
    EXPECT_EQ(layer->frameWritten, 0);
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW_ALL);
    GfxSketchAttributes stats;
    stats.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &stats);
    EXPECT_NEAR(stats.stats.bounds[0], 40, 0.5f);  // the stroke started at 10

    GfxGesture shrink;
    shrink.kind = GFX_GESTURE_ZOOM;
    shrink.scaleX = -2;  // negative factors are not mirrors for layers
    gfxBeginLayerGesture(sketch, &shrink);
    gfxEndLayerGesture(sketch, &shrink);
    EXPECT_GT(layer->scale, 0);
    EXPECT_TRUE(std::isfinite(layer->inverse.m[0]));
}

TEST_F(ModelTest, NonUniformLayerScaleMirrorsTheLayerAndUndoRestoresIt)
{
    drawStrokeAt(sketch, 10, 10);  // x 10 .. 30
    GfxLayer* layer = current();
    GfxGesture flip;
    flip.kind = GFX_GESTURE_SCALE;
    flip.centreX = 100;
    flip.centreY = 50;
    flip.scaleX = -1;
    gfxBeginLayerGesture(sketch, &flip);
    gfxUpdateLayerGesture(sketch, &flip);
    gfxEndLayerGesture(sketch, &flip);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_FLOAT_EQ(layer->matrix.m[0], -1);
    EXPECT_FLOAT_EQ(layer->matrix.m[5], 1);
    EXPECT_FLOAT_EQ(layer->scale, 1);
    GfxSketchAttributes stats;
    stats.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &stats);
    const float right = stats.stats.bounds[0] + stats.stats.bounds[2];
    EXPECT_NEAR(right, 190, 2.5f);  // mirrored about x = 100: 170 .. 190 plus the pen
    EXPECT_GT(stats.stats.bounds[0], 160);

    gfxUndo(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_FLOAT_EQ(layer->matrix.m[0], 1);
    gfxGetSketchAttributes(sketch, &stats);
    EXPECT_LT(stats.stats.bounds[0], 12);
}

// ----------------------------------------------------------------------------------
// Statistics
// ----------------------------------------------------------------------------------
TEST_F(ModelTest, StatsCountStrokesButNotImagesAndBoundTheDrawing)
{
    drawStrokeAt(sketch, 10, 10);
    const float rect[4] = {100, 50, 20, 10};
    drawElement(sketch, GFX_ELEMENT_RECTANGLE, {}, rect);
    const uint8_t pixel[4] = {1, 2, 3, 255};
    GfxElementInput image;
    image.kind = GFX_ELEMENT_IMAGE;
    image.rect[0] = 150;
    image.rect[1] = 80;
    image.rect[2] = 10;
    image.rect[3] = 10;
    image.imageEncoding = GFX_IMAGE_RAW_RGBA;
    image.imageLength = 4;
    image.imageWidth = image.imageHeight = 1;
    image.imageData = pixel;
    gfxBeginElement(sketch, &image);
    gfxEndElement(sketch, &image);
    GfxSketchAttributes stats;
    stats.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &stats);
    EXPECT_EQ(stats.stats.strokeCount, 2);
    EXPECT_NEAR(stats.stats.bounds[0], 10, 0.5f);
    EXPECT_NEAR(stats.stats.bounds[1], 10, 0.5f);
    EXPECT_NEAR(stats.stats.bounds[0] + stats.stats.bounds[2], 155, 1e-3);
    EXPECT_NEAR(stats.stats.bounds[1] + stats.stats.bounds[3], 85, 1e-3);
}

}  // namespace
