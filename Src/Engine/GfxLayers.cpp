// Layer operations: add, delete, move, merge down, clear, clear canvas.
#include "GfxInternal.h"

namespace {

// Empties the layer's visible content: what a clear record stands for.
void clearLayerContent(GfxLayer* layer)
{
    layer->baseIndex = layer->records.count;
    layer->matrix = layer->inverse = gfxMatrixIdentity();
    layer->scale = 1.0f;
    gfxMarkLayerStateStale(layer);
    gfxMarkLayerRedrawAll(layer);
}

GfxClearRecord clearRecordOf(const GfxLayer* layer)
{
    return GfxClearRecord{layer->baseIndex, layer->matrix, layer->scale};
}

}  // namespace

void gfxAddLayer(GfxSketch* sketch, const GfxLayerAttributes* attributes)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    gfxDiscardFutureIfPending(sketch);
    GfxLayer* layer = gfxCreateLayer(sketch);
    if (!layer) return;
    const int32_t position = gfxHasCurrentLayer(sketch) ? sketch->attributes.currentLayer + 1 : sketch->layerCount;
    const int32_t slot = layer->slot;
    const bool entered = gfxAppendHistory(sketch, GFX_HISTORY_LAYER_ADDED, slot, position);
    if (!entered || !gfxOrderInsert(sketch, position, slot)) {
        if (entered) gfxChunkArrayTruncate(&sketch->history, sketch->history.count - 1);
        gfxReleaseLayer(sketch, layer);
        gfxChunkArrayTruncate(&sketch->layerTable, slot);  // nobody has seen the slot
        sketch->system->lastError = GFX_ERR_FAILED;
        return;
    }
    layer->refCount = 1;
    if (attributes) gfxApplyLayerAttributes(layer, *attributes);
    gfxSetCurrentLayer(sketch, position);
    sketch->system->lastError = GFX_OK;
}

void gfxDeleteLayer(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    gfxDiscardFutureIfPending(sketch);
    const int32_t position = sketch->attributes.currentLayer;
    if (!gfxAppendHistory(sketch, GFX_HISTORY_LAYER_DELETED, layer->slot, position)) return;
    --layer->refCount;  // the layer stays in the table for undo
    gfxOrderRemove(sketch, position);
    int32_t below = position - 1;
    if (below < 0) below = sketch->layerCount > 0 ? 0 : -1;
    sketch->attributes.currentLayer = below;
    if (GfxLayer* now = gfxCurrentLayer(sketch)) gfxMarkLayerRedraw(now);
    sketch->system->lastError = GFX_OK;
}

void gfxMoveLayer(GfxSketch* sketch, int32_t target)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    if (target < 0) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    sketch->system->lastError = GFX_OK;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer) return;
    const int32_t from = sketch->attributes.currentLayer;
    if (target > sketch->layerCount - 1) target = sketch->layerCount - 1;
    // A move to where the layer already is would be an undo step that does nothing.
    if (target == from) return;
    gfxDiscardFutureIfPending(sketch);
    if (!gfxAppendHistory(sketch, GFX_HISTORY_LAYER_MOVED, layer->slot, from)) return;
    gfxOrderRemove(sketch, from);
    gfxOrderInsert(sketch, target, layer->slot);  // room is there: one was just freed
    sketch->attributes.currentLayer = target;
}

void gfxMergeLayerDown(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    sketch->system->lastError = GFX_OK;
    const int32_t position = sketch->attributes.currentLayer;
    if (!gfxHasCurrentLayer(sketch) || position == 0) return;
    GfxLayer* upper = gfxLayerAtPosition(sketch, position);
    GfxLayer* lower = gfxLayerAtPosition(sketch, position - 1);
    if (!upper || !lower) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    gfxDiscardFutureIfPending(sketch);
    const GfxLayerMark mark = gfxLayerMarkNow(lower);
    // The merged layer is drawn inside the lower layer's frame, which must be current.
    if (!gfxWriteFrameIfNeeded(lower)) return;
    const GfxMergeRecord merge{upper->slot, upper->opacity, lower->opacity, sketch->view, sketch->viewScale};
    if (gfxAppendRecordWithHistory(lower, GFX_RECORD_LAYER_MERGED, &merge, sizeof merge) < 0) {
        gfxLayerRollBack(lower, mark);
        return;
    }
    gfxOrderRemove(sketch, position);  // the record now holds the upper layer's reference
    sketch->attributes.currentLayer = position - 1;
    lower->opacity = 1.0f;
    gfxMarkLayerRedrawAll(lower);
    sketch->system->lastError = GFX_OK;
}

void gfxClearLayer(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    gfxDiscardFutureIfPending(sketch);
    const GfxClearRecord clear = clearRecordOf(layer);
    if (gfxAppendRecordWithHistory(layer, GFX_RECORD_LAYER_CLEARED, &clear, sizeof clear) < 0) return;
    clearLayerContent(layer);
    sketch->system->lastError = GFX_OK;
}

void gfxClearCanvas(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    gfxDiscardFutureIfPending(sketch);
    if (!gfxAppendHistory(sketch, GFX_HISTORY_CANVAS_CLEARED, 0, 0)) return;
    for (int32_t position = 0; position < sketch->layerCount; ++position) {
        GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        if (!layer) continue;
        const GfxClearRecord clear = clearRecordOf(layer);
        if (gfxAppendRecord(layer, GFX_RECORD_CANVAS_CLEARED, &clear, sizeof clear) >= 0) {
            clearLayerContent(layer);
            continue;
        }
        // Undo what was done on the layers below, so the canvas is as it was.
        for (int32_t done = position - 1; done >= 0; --done) {
            GfxLayer* cleared = gfxLayerAtPosition(sketch, done);
            if (!cleared) continue;
            const GfxRecordEntry last = *gfxRecordAt(cleared, cleared->records.count - 1);
            const GfxClearRecord previous = gfxReadPayload<GfxClearRecord>(cleared, last);
            gfxChunkArrayTruncate(&cleared->records, cleared->records.count - 1);
            gfxRecordHeapTruncate(&cleared->heap, {last.chunk, last.offset});
            cleared->baseIndex = previous.previousBaseIndex;
            cleared->matrix = previous.previousMatrix;
            cleared->scale = previous.previousScale;
            gfxMatrixInvert(cleared->matrix, &cleared->inverse);
        }
        gfxChunkArrayTruncate(&sketch->history, sketch->history.count - 1);
        sketch->system->lastError = GFX_ERR_FAILED;
        return;
    }
    sketch->system->lastError = GFX_OK;
}

GfxLayer* gfxGetLayerBySlot(GfxSketch* sketch, int32_t slot)
{
    if (!sketch) return nullptr;
    GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
    sketch->system->lastError = layer ? GFX_OK : GFX_ERR_INVALID;
    return layer;
}
