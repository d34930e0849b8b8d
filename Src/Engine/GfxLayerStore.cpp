// Layer lifetime: creation into the layer table, release, and the layer order.
#include "GfxInternal.h"

#include <GL/glew.h>

#include <new>

namespace {

void initialiseCachedPen(GfxCachedPen* pen)
{
    pen->colour[0] = pen->colour[1] = pen->colour[2] = 0;
    pen->colour[3] = 204;
    pen->eraseMode = 0;
    pen->pen = GfxPenRecord{1, 0.5f, 2.0f, 1.0f, 0.8f, 1.0f};
    pen->frame = gfxMatrixIdentity();
    pen->widthFactor = 1.0f;
}

void releaseImages(GfxSketch* sketch, GfxLayer* layer)
{
    for (int32_t i = 0; i < layer->records.count; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        if (entry.type != GFX_RECORD_IMAGE) continue;
        GfxImageRecord image = gfxReadPayload<GfxImageRecord>(layer, entry);
        sketch->system->allocator.release(image.encodedBytes);
        if (image.texture) glDeleteTextures(1, &image.texture);
    }
}

}  // namespace

GfxLayer* gfxCreateLayer(GfxSketch* sketch)
{
    GfxSystem* system = sketch->system;
    void* memory = system->allocator.allocate(sizeof(GfxLayer));
    if (!memory) {
        system->lastError = GFX_ERR_FAILED;
        return nullptr;
    }
    GfxLayer* layer = new (memory) GfxLayer{};
    layer->sketch = sketch;
    layer->matrix = layer->inverse = gfxMatrixIdentity();
    initialiseCachedPen(&layer->cachedPen);
    bool built = gfxChunkArrayCreate(&layer->records, system->allocator, sizeof(GfxRecordEntry),
                                     GFX_RECORD_LIST_CHUNK_BYTES, GFX_RECORD_LIST_CHUNKS) &&
                 gfxRecordHeapCreate(&layer->heap, system->allocator);
    if (built) {
        layer->slot = gfxChunkArrayAppend(&sketch->layerTable, &layer);
        built = layer->slot >= 0;
    }
    if (!built) {
        gfxChunkArrayDestroy(&layer->records);
        gfxRecordHeapDestroy(&layer->heap);
        layer->~GfxLayer();
        system->allocator.release(memory);
        system->lastError = GFX_ERR_FAILED;
        return nullptr;
    }
    ++system->layersCreated;
    return layer;
}

void gfxReleaseLayer(GfxSketch* sketch, GfxLayer* layer)
{
    if (!layer) return;
    GfxSystem* system = sketch->system;
    // The slot goes first, so a layer reached twice (through several records) is
    // released once.
    *gfxChunkArrayGet<GfxLayer*>(&sketch->layerTable, layer->slot) = nullptr;
    for (int32_t i = 0; i < layer->records.cursor; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        int32_t heldSlot = -1;
        if (entry.type == GFX_RECORD_LAYER_MERGED) heldSlot = gfxReadPayload<GfxMergeRecord>(layer, entry).mergedSlot;
        else if (entry.type == GFX_RECORD_CLIPBOARD_PASTED)
            heldSlot = gfxReadPayload<GfxPasteRecord>(layer, entry).pastedSlot;
        if (GfxLayer* held = gfxLayerAtSlot(sketch, heldSlot)) gfxDropLayerHold(sketch, held);
    }
    releaseImages(sketch, layer);
    gfxReleaseVertexBuffer(layer);
    if (layer->texture) glDeleteTextures(1, &layer->texture);
    if (sketch->layerGestureSlot == layer->slot) sketch->layerGestureSlot = -1;
    gfxChunkArrayDestroy(&layer->records);
    gfxRecordHeapDestroy(&layer->heap);
    layer->~GfxLayer();
    system->allocator.release(layer);
    ++system->layersReleased;
}

void gfxDropLayerHold(GfxSketch* sketch, GfxLayer* layer)
{
    if (--layer->refCount <= 0) gfxReleaseLayer(sketch, layer);
}

bool gfxOrderInsert(GfxSketch* sketch, int32_t position, int32_t slot)
{
    if (position < 0 || position > sketch->layerCount) return false;
    if (sketch->layerCount == sketch->layerOrderCapacity) {
        const int64_t capacity = static_cast<int64_t>(sketch->layerOrderCapacity) + GFX_LAYER_ORDER_GROWTH;
        void* grown = sketch->system->allocator.resize(sketch->layerOrder, sizeof(int32_t) * static_cast<size_t>(capacity));
        if (!grown) {
            sketch->system->lastError = GFX_ERR_FAILED;
            return false;
        }
        sketch->layerOrder = static_cast<int32_t*>(grown);
        sketch->layerOrderCapacity = static_cast<int32_t>(capacity);
    }
    std::memmove(sketch->layerOrder + position + 1, sketch->layerOrder + position,
                 sizeof(int32_t) * static_cast<size_t>(sketch->layerCount - position));
    sketch->layerOrder[position] = slot;
    ++sketch->layerCount;
    return true;
}

void gfxOrderRemove(GfxSketch* sketch, int32_t position)
{
    if (position < 0 || position >= sketch->layerCount) return;
    std::memmove(sketch->layerOrder + position, sketch->layerOrder + position + 1,
                 sizeof(int32_t) * static_cast<size_t>(sketch->layerCount - position - 1));
    --sketch->layerCount;
}
