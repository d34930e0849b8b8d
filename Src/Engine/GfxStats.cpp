// GfxSketchStats: stroke count, memory estimates by fixed rules, and the bounds of
// everything drawn.
#include "GfxInternal.h"

#include <algorithm>
#include <cfloat>

namespace {

// IMPORTANT: these constants are part of the estimate's stated rules.
constexpr int64_t STATS_SKETCH_BYTES = 512;
constexpr int64_t STATS_LAYER_BYTES = 608;
constexpr int32_t STATS_MAX_NESTING = 64;  // merged and pasted layers inside each other

struct BoundsWalk {
    int32_t strokeCount = 0;
    float minX = FLT_MAX, minY = FLT_MAX, maxX = -FLT_MAX, maxY = -FLT_MAX;
};

void addCorners(BoundsWalk* walk, const GfxMatrix& transform, const float corners[8])
{
    for (int i = 0; i < 4; ++i) {
        float x, y;
        gfxMatrixTransformPoint(transform, corners[2 * i], corners[2 * i + 1], &x, &y);
        walk->minX = std::min(walk->minX, x);
        walk->minY = std::min(walk->minY, y);
        walk->maxX = std::max(walk->maxX, x);
        walk->maxY = std::max(walk->maxY, y);
    }
}

// `outer` maps the layer's own space to viewport pixels of the current view.
void walkLayer(const GfxSketch* sketch, const GfxLayer* layer, const GfxMatrix& outer, int32_t depth,
               BoundsWalk* walk)
{
    if (!layer || depth > STATS_MAX_NESTING) return;
    GfxMatrix frame = gfxMatrixIdentity();
    for (int32_t i = layer->baseIndex; i < layer->records.cursor; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        float corners[8];
        switch (entry.type) {
        case GFX_RECORD_FRAME: frame = gfxReadPayload<GfxFrameRecord>(layer, entry).matrix; break;
        case GFX_RECORD_LAYER_MERGED: {
            const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(layer, entry);
            const GfxLayer* merged = gfxLayerAtSlot(sketch, merge.mergedSlot);
            if (!merged) break;
            const GfxMatrix inner = gfxMatrixMultiply(gfxMatrixMultiply(outer, frame),
                                                      gfxMatrixMultiply(merge.view, merged->matrix));
            walkLayer(sketch, merged, inner, depth + 1, walk);
            break;
        }
        case GFX_RECORD_CLIPBOARD_PASTED: {
            const GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(layer, entry);
            const GfxLayer* pasted = gfxLayerAtSlot(sketch, paste.pastedSlot);
            if (!pasted) break;
            const GfxMatrix placed = gfxMatrixMultiply(paste.placement, paste.clipView);
            const GfxMatrix inner =
                gfxMatrixMultiply(gfxMatrixMultiply(outer, frame), gfxMatrixMultiply(placed, pasted->matrix));
            walkLayer(sketch, pasted, inner, depth + 1, walk);
            break;
        }
        default:
            if (!gfxElementCorners(layer, entry, 0.0f, corners)) break;
            if (gfxIsStrokeType(entry.type)) ++walk->strokeCount;
            addCorners(walk, gfxMatrixMultiply(outer, frame), corners);
            break;
        }
    }
}

}  // namespace

GfxSketchStats gfxComputeSketchStats(GfxSketch* sketch)
{
    GfxSketchStats stats;
    int64_t inUse = 4 * static_cast<int64_t>(sketch->layerCount) + gfxChunkArrayBytesUsed(&sketch->history) +
                    gfxChunkArrayBytesUsed(&sketch->layerTable) + STATS_SKETCH_BYTES;
    int64_t allocated = 4 * static_cast<int64_t>(sketch->layerOrderCapacity) +
                        gfxChunkArrayBytesAllocated(&sketch->history) +
                        gfxChunkArrayBytesAllocated(&sketch->layerTable) + STATS_SKETCH_BYTES;
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) {
        const GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
        if (!layer) continue;
        stats.gpuMemoryInUse += static_cast<int64_t>(GFX_VERTEX_BYTES) * layer->verticesUsed;
        stats.gpuMemoryAllocated += static_cast<int64_t>(GFX_VERTEX_BYTES) * layer->verticesReserved;
        if (layer->refCount <= 0) continue;
        inUse += STATS_LAYER_BYTES + gfxChunkArrayBytesUsed(&layer->records) + gfxRecordHeapBytesUsed(&layer->heap);
        allocated += STATS_LAYER_BYTES + gfxChunkArrayBytesAllocated(&layer->records) +
                     gfxRecordHeapBytesAllocated(&layer->heap);
    }
    stats.memoryInUse = inUse;
    stats.memoryAllocated = allocated;

    BoundsWalk walk;
    for (int32_t position = 0; position < sketch->layerCount; ++position) {
        const GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        if (layer) walkLayer(sketch, layer, gfxMatrixMultiply(sketch->view, layer->matrix), 0, &walk);
    }
    stats.strokeCount = walk.strokeCount;
    if (walk.minX <= walk.maxX) {
        stats.bounds[0] = walk.minX;
        stats.bounds[1] = walk.minY;
        stats.bounds[2] = walk.maxX - walk.minX;
        stats.bounds[3] = walk.maxY - walk.minY;
    }
    return stats;
}
