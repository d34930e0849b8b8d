// The append-only model: records, history entries, lazy state records and the
// discarding of the redoable future.
#include "GfxInternal.h"

#include <GL/glew.h>

#include <cmath>
#include <cstddef>

int32_t gfxRecordPayloadBytes(int32_t type)
{
    switch (type) {
    case GFX_RECORD_FREEHAND:
    case GFX_RECORD_MULTI_LINE:
    case GFX_RECORD_POLYGON: return sizeof(GfxPointListRecord);
    case GFX_RECORD_LINE: return sizeof(GfxLineRecord);
    case GFX_RECORD_RECTANGLE:
    case GFX_RECORD_ELLIPSE: return sizeof(GfxShapeRecord);
    case GFX_RECORD_IMAGE: return sizeof(GfxImageRecord);
    case GFX_RECORD_LAYER_CLEARED:
    case GFX_RECORD_CANVAS_CLEARED: return sizeof(GfxClearRecord);
    case GFX_RECORD_LAYER_MERGED: return sizeof(GfxMergeRecord);
    case GFX_RECORD_LAYER_TRANSFORMED: return sizeof(GfxTransformRecord);
    case GFX_RECORD_REGION_CUT: return sizeof(GfxCutRecord);
    case GFX_RECORD_CLIPBOARD_PASTED: return sizeof(GfxPasteRecord);
    case GFX_RECORD_FRAME: return sizeof(GfxFrameRecord);
    case GFX_RECORD_PEN: return sizeof(GfxPenRecord);
    case GFX_RECORD_COLOUR: return sizeof(GfxColourRecord);
    case GFX_RECORD_ERASE: return sizeof(GfxEraseRecord);
    default: return 0;
    }
}

// ----------------------------------------------------------------------------------
// [SECTION] Marks and roll-back
// ----------------------------------------------------------------------------------
GfxLayerMark gfxLayerMarkNow(const GfxLayer* layer)
{
    return GfxLayerMark{layer->records.count, layer->heap.write, layer->penStateWritten, layer->colourStateWritten,
                        layer->eraseStateWritten, layer->frameWritten};
}

void gfxLayerRollBack(GfxLayer* layer, const GfxLayerMark& mark)
{
    gfxChunkArrayTruncate(&layer->records, mark.recordCount);
    gfxRecordHeapTruncate(&layer->heap, mark.heap);
    layer->penStateWritten = mark.penStateWritten;
    layer->colourStateWritten = mark.colourStateWritten;
    layer->eraseStateWritten = mark.eraseStateWritten;
    layer->frameWritten = mark.frameWritten;
}

// ----------------------------------------------------------------------------------
// [SECTION] Appending
// ----------------------------------------------------------------------------------
int32_t gfxAppendRecord(GfxLayer* layer, int32_t type, const void* payload, int32_t bytes)
{
    GfxSystem* system = layer->sketch->system;
    const GfxHeapPosition before = layer->heap.write;
    GfxHeapPosition at;
    if (!gfxRecordHeapAppend(&layer->heap, payload, bytes, &at)) {
        system->lastError = GFX_ERR_FAILED;
        return -1;
    }
    const GfxRecordEntry entry{type, at.chunk, at.offset};
    const int32_t index = gfxChunkArrayAppend(&layer->records, &entry);
    if (index < 0) {
        gfxRecordHeapTruncate(&layer->heap, before);
        system->lastError = GFX_ERR_FAILED;
        return -1;
    }
    return index;
}

bool gfxAppendHistory(GfxSketch* sketch, int32_t kind, int32_t slot, int32_t value)
{
    const GfxHistoryEntry entry{kind, slot, value};
    if (gfxChunkArrayAppend(&sketch->history, &entry) < 0) {
        sketch->system->lastError = GFX_ERR_FAILED;
        return false;
    }
    return true;
}

int32_t gfxAppendRecordWithHistory(GfxLayer* layer, int32_t type, const void* payload, int32_t bytes)
{
    const GfxLayerMark mark = gfxLayerMarkNow(layer);
    const int32_t index = gfxAppendRecord(layer, type, payload, bytes);
    if (index < 0) return -1;
    if (!gfxAppendHistory(layer->sketch, type, layer->slot, index)) {
        gfxLayerRollBack(layer, mark);
        return -1;
    }
    return index;
}

// ----------------------------------------------------------------------------------
// [SECTION] Lazy state records
// ----------------------------------------------------------------------------------
GfxFrameRecord gfxCurrentFrame(const GfxLayer* layer)
{
    const GfxSketch* sketch = layer->sketch;
    GfxFrameRecord frame;
    frame.matrix = gfxMatrixMultiply(layer->inverse, sketch->viewInverse);
    frame.widthFactor = 1.0f / (sketch->viewScale * layer->scale);
    return frame;
}

bool gfxWriteFrameIfNeeded(GfxLayer* layer)
{
    if (layer->frameWritten) return true;
    const GfxFrameRecord frame = gfxCurrentFrame(layer);
    if (gfxAppendRecord(layer, GFX_RECORD_FRAME, &frame, sizeof frame) < 0) return false;
    layer->frameWritten = 1;
    return true;
}

bool gfxWriteStateRecords(GfxLayer* layer)
{
    const GfxSketchAttributes& a = layer->sketch->attributes;
    if (!gfxWriteFrameIfNeeded(layer)) return false;
    if (!layer->penStateWritten) {
        const GfxPenRecord pen{a.penType, a.penNoise, a.penWidth, a.penWidthSensitivity, a.penOpacity,
                               a.penOpacitySensitivity};
        if (gfxAppendRecord(layer, GFX_RECORD_PEN, &pen, sizeof pen) < 0) return false;
        layer->penStateWritten = 1;
    }
    if (!layer->colourStateWritten) {
        GfxColourRecord colour;
        std::memcpy(colour.rgb, a.penColour, 3);
        if (gfxAppendRecord(layer, GFX_RECORD_COLOUR, &colour, sizeof colour) < 0) return false;
        layer->colourStateWritten = 1;
    }
    if (layer->eraseStateWritten != a.eraseMode) {
        const GfxEraseRecord erase{a.eraseMode};
        if (gfxAppendRecord(layer, GFX_RECORD_ERASE, &erase, sizeof erase) < 0) return false;
        layer->eraseStateWritten = a.eraseMode;
    }
    return true;
}

// ----------------------------------------------------------------------------------
// [SECTION] Points and vertex ranges
// ----------------------------------------------------------------------------------
GfxHeapPosition gfxPointPosition(const GfxRecordEntry& header, int32_t index)
{
    // Points follow the header back to back; one that would cross the end of a
    // chunk starts the next one instead. The layout is regular, so the position can
    // be computed: skip to the first point, then whole chunks of points.
    constexpr int32_t pointBytes = sizeof(GfxSample);
    constexpr int32_t perChunk = GFX_HEAP_CHUNK_BYTES / pointBytes;
    GfxHeapPosition position = gfxFirstPointPosition(header);
    const int32_t roomInFirst = (GFX_HEAP_CHUNK_BYTES - position.offset) / pointBytes;
    if (index < roomInFirst) return {position.chunk, position.offset + index * pointBytes};
    index -= roomInFirst;
    return {position.chunk + 1 + index / perChunk, (index % perChunk) * pointBytes};
}

namespace {

// Offset of the vertex range inside an element payload, -1 for types without one.
int32_t vertexRangeOffset(int32_t type)
{
    switch (type) {
    case GFX_RECORD_FREEHAND:
    case GFX_RECORD_MULTI_LINE:
    case GFX_RECORD_POLYGON: return offsetof(GfxPointListRecord, vertices);
    case GFX_RECORD_LINE: return offsetof(GfxLineRecord, vertices);
    case GFX_RECORD_RECTANGLE:
    case GFX_RECORD_ELLIPSE: return offsetof(GfxShapeRecord, vertices);
    default: return -1;
    }
}

}  // namespace

bool gfxElementVertexRange(const GfxLayer* layer, const GfxRecordEntry& entry, GfxVertexRange* range)
{
    const int32_t offset = vertexRangeOffset(entry.type);
    if (offset < 0) return false;
    std::memcpy(range, gfxPayloadAt(layer, entry) + offset, sizeof *range);
    return true;
}

void gfxSetElementVertexRange(GfxLayer* layer, const GfxRecordEntry& entry, GfxVertexRange range)
{
    const int32_t offset = vertexRangeOffset(entry.type);
    if (offset >= 0) std::memcpy(gfxPayloadAt(layer, entry) + offset, &range, sizeof range);
}

// ----------------------------------------------------------------------------------
// [SECTION] Discarding the future
// ----------------------------------------------------------------------------------
namespace {

// Drops what undone records own that nothing else can reach any more: pasted
// layers without a holder, image bytes and textures.
void releaseDiscardedRecords(GfxSketch* sketch, GfxLayer* layer)
{
    for (int32_t i = layer->records.cursor; i < layer->records.count; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        if (entry.type == GFX_RECORD_CLIPBOARD_PASTED) {
            const int32_t slot = gfxReadPayload<GfxPasteRecord>(layer, entry).pastedSlot;
            GfxLayer* pasted = gfxLayerAtSlot(sketch, slot);
            if (pasted && pasted->refCount <= 0) gfxReleaseLayer(sketch, pasted);
        } else if (entry.type == GFX_RECORD_IMAGE) {
            GfxImageRecord image = gfxReadPayload<GfxImageRecord>(layer, entry);
            sketch->system->allocator.release(image.encodedBytes);
            if (image.texture) glDeleteTextures(1, &image.texture);
        }
    }
}

int32_t lastVertexBefore(const GfxLayer* layer, int32_t cursor)
{
    for (int32_t i = cursor - 1; i >= 0; --i) {
        GfxVertexRange range;
        if (gfxElementVertexRange(layer, *gfxRecordAt(layer, i), &range) && range.first >= 0)
            return range.first + range.count;
    }
    return 0;
}

void discardLayerFuture(GfxSketch* sketch, GfxLayer* layer)
{
    const int32_t cursor = layer->records.cursor;
    if (cursor >= layer->records.count) return;
    releaseDiscardedRecords(sketch, layer);
    const GfxRecordEntry first = *gfxRecordAt(layer, cursor);
    layer->verticesUsed = lastVertexBefore(layer, cursor);
    gfxChunkArrayTruncate(&layer->records, cursor);
    gfxRecordHeapTruncate(&layer->heap, {first.chunk, first.offset});
}

}  // namespace

void gfxDiscardFutureIfPending(GfxSketch* sketch)
{
    if (!sketch->redoPending) return;
    // Pasted layers can be released while walking, so the table is read slot by slot.
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot)
        if (GfxLayer* layer = gfxLayerAtSlot(sketch, slot)) discardLayerFuture(sketch, layer);
    GfxChunkArray& history = sketch->history;
    for (int32_t i = history.cursor; i < history.count; ++i) {
        const GfxHistoryEntry entry = *gfxHistoryAt(sketch, i);
        if (entry.kind != GFX_HISTORY_LAYER_ADDED) continue;
        GfxLayer* layer = gfxLayerAtSlot(sketch, entry.slot);
        if (layer && layer->refCount <= 0) gfxReleaseLayer(sketch, layer);
    }
    gfxChunkArrayTruncate(&history, history.cursor);
    sketch->redoPending = 0;
}

// ----------------------------------------------------------------------------------
// [SECTION] Element geometry
// ----------------------------------------------------------------------------------
bool gfxElementCorners(const GfxLayer* layer, const GfxRecordEntry& entry, float margin, float corners[8])
{
    float x0, y0, x1, y1;
    float centreX = 0, centreY = 0, angle = 0;
    switch (entry.type) {
    case GFX_RECORD_FREEHAND:
    case GFX_RECORD_MULTI_LINE:
    case GFX_RECORD_POLYGON:
    case GFX_RECORD_LINE: {
        float bounds[4];
        std::memcpy(bounds, gfxPayloadAt(layer, entry), sizeof bounds);  // both start with the box
        x0 = bounds[2] < 0 ? bounds[0] + bounds[2] : bounds[0];
        y0 = bounds[3] < 0 ? bounds[1] + bounds[3] : bounds[1];
        x1 = x0 + std::fabs(bounds[2]);
        y1 = y0 + std::fabs(bounds[3]);
        break;
    }
    case GFX_RECORD_RECTANGLE:
    case GFX_RECORD_ELLIPSE:
    case GFX_RECORD_IMAGE: {
        float shape[5];  // centre x, y, width, height, angle: the same start for all three
        std::memcpy(shape, gfxPayloadAt(layer, entry), sizeof shape);
        centreX = shape[0];
        centreY = shape[1];
        angle = shape[4];
        x0 = shape[0] - std::fabs(shape[2]) * 0.5f;
        x1 = shape[0] + std::fabs(shape[2]) * 0.5f;
        y0 = shape[1] - std::fabs(shape[3]) * 0.5f;
        y1 = shape[1] + std::fabs(shape[3]) * 0.5f;
        break;
    }
    default: return false;
    }
    x0 -= margin;
    y0 -= margin;
    x1 += margin;
    y1 += margin;
    const float local[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    std::memcpy(corners, local, sizeof local);
    if (angle != 0) {
        const GfxMatrix rotation = gfxMatrixMultiply(
            gfxMatrixTranslate(centreX, centreY),
            gfxMatrixMultiply(gfxMatrixRotate(angle), gfxMatrixTranslate(-centreX, -centreY)));
        for (int i = 0; i < 4; ++i)
            gfxMatrixTransformPoint(rotation, local[2 * i], local[2 * i + 1], &corners[2 * i], &corners[2 * i + 1]);
    }
    return true;
}
