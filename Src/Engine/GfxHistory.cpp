// Undo and redo: moving the history cursor and the layers' record cursors.
//
// [SECTION] Popping and pushing records
// [SECTION] Undo by kind
// [SECTION] Redo by kind
// [SECTION] Public operations
//
// Nothing is released here: undone material stays until something new is entered
// (gfxDiscardFutureIfPending) or the sketch is destroyed.
#include "GfxInternal.h"

#include <algorithm>

namespace {

// ----------------------------------------------------------------------------------
// [SECTION] Popping and pushing records
// ----------------------------------------------------------------------------------
void markStateKindStale(GfxLayer* layer, int32_t type)
{
    switch (type) {
    case GFX_RECORD_FRAME: layer->frameWritten = 0; break;
    case GFX_RECORD_PEN: layer->penStateWritten = 0; break;
    case GFX_RECORD_COLOUR: layer->colourStateWritten = 0; break;
    case GFX_RECORD_ERASE: layer->eraseStateWritten = -1; break;
    default: break;
    }
}

// Moves the layer's cursor back over record `index` (which must be its last live
// record) and the state records before it. The number popped, or -1.
int32_t popRecord(GfxLayer* layer, int32_t index)
{
    GfxChunkArray& records = layer->records;
    if (index < 0 || records.cursor != index + 1) return -1;
    records.cursor = index;
    int32_t popped = 1;
    while (records.cursor > 0) {
        const int32_t type = gfxRecordAt(layer, records.cursor - 1)->type;
        if (!gfxIsStateType(type)) break;
        markStateKindStale(layer, type);
        --records.cursor;
        ++popped;
    }
    return popped;
}

// Moves the cursor forward over state records and the next record, which must be
// record `index`. The number pushed, or -1.
int32_t pushRecord(GfxLayer* layer, int32_t index)
{
    GfxChunkArray& records = layer->records;
    int32_t cursor = records.cursor;
    while (cursor < records.count && gfxIsStateType(gfxRecordAt(layer, cursor)->type)) ++cursor;
    if (cursor != index || cursor >= records.count) return -1;
    const int32_t pushed = cursor + 1 - records.cursor;
    records.cursor = cursor + 1;
    return pushed;
}

// The live record of an entry's layer that the entry names, checked.
bool entryRecord(GfxSketch* sketch, const GfxHistoryEntry& entry, GfxLayer** layer, GfxRecordEntry* record)
{
    *layer = gfxLayerAtSlot(sketch, entry.slot);
    if (!*layer || entry.value < 0 || entry.value >= (*layer)->records.count) return false;
    *record = *gfxRecordAt(*layer, entry.value);
    return record->type == entry.kind;
}

int32_t internalError(GfxSketch* sketch) { return gfxFail(sketch, GFX_ERR_INTERNAL); }

// How a step asks for its redraw.
enum class Redraw { Sketch, LayerFull, HeldBack };

void markRedraw(GfxSketch* sketch, GfxLayer* layer, Redraw redraw, int32_t records, bool undo)
{
    if (redraw == Redraw::Sketch || !layer) {
        sketch->needsRedraw = 1;
        return;
    }
    if (redraw == Redraw::LayerFull) {
        gfxMarkLayerRedrawAll(layer);
        return;
    }
    if (undo) {
        // Records still held out of the cache can simply stop being drawn.
        if (records > layer->heldBack) {
            gfxMarkLayerRedrawAll(layer);
            layer->heldBack = 0;
        } else {
            layer->heldBack -= records;
            gfxMarkLayerNewRecords(layer);
        }
    } else {
        layer->heldBack = std::min(GFX_HELD_BACK_MAX, layer->heldBack + records);
        gfxMarkLayerNewRecords(layer);
    }
}

void restoreFromClear(GfxLayer* layer, const GfxClearRecord& clear)
{
    layer->baseIndex = clear.previousBaseIndex;
    layer->matrix = clear.previousMatrix;
    layer->scale = clear.previousScale;
    gfxMatrixInvert(layer->matrix, &layer->inverse);
}

void clearAgain(GfxLayer* layer)
{
    layer->baseIndex = layer->records.cursor;
    layer->matrix = layer->inverse = gfxMatrixIdentity();
    layer->scale = 1.0f;
    gfxMarkLayerStateStale(layer);
}

void exchangeTransform(GfxLayer* layer, const GfxRecordEntry& record)
{
    GfxTransformRecord transform = gfxReadPayload<GfxTransformRecord>(layer, record);
    const GfxMatrix matrix = layer->matrix;
    const float scale = layer->scale;
    layer->matrix = transform.previousMatrix;
    layer->scale = transform.previousScale;
    transform.previousMatrix = matrix;
    transform.previousScale = scale;
    gfxWritePayload(layer, record, transform);
    gfxMatrixInvert(layer->matrix, &layer->inverse);
    layer->frameWritten = 0;
}

// Inserts `layer` at `position` (clamped to the top) and makes it current.
void reinsertLayer(GfxSketch* sketch, GfxLayer* layer, int32_t position)
{
    if (position > sketch->layerCount) position = sketch->layerCount;
    if (position < 0) position = 0;
    gfxOrderInsert(sketch, position, layer->slot);
    gfxSetCurrentLayer(sketch, position);
}

// Removes the layer at `position`; the one below becomes current.
void removeLayerAt(GfxSketch* sketch, int32_t position)
{
    gfxOrderRemove(sketch, position);
    int32_t below = position - 1;
    if (below < 0) below = sketch->layerCount > 0 ? 0 : -1;
    gfxSetCurrentLayer(sketch, below);
}

bool pasteIsMoved(const GfxLayer* layer, const GfxRecordEntry& record)
{
    return !gfxPlacementIsIdentity(gfxReadPayload<GfxPasteRecord>(layer, record).placement);
}

// ----------------------------------------------------------------------------------
// [SECTION] Undo by kind
// ----------------------------------------------------------------------------------
int32_t undoEntry(GfxSketch* sketch, GfxHistoryEntry* entry)
{
    const int32_t kind = entry->kind;
    if (kind == GFX_HISTORY_LAYER_ADDED || kind == GFX_HISTORY_LAYER_DELETED || kind == GFX_HISTORY_LAYER_MOVED) {
        GfxLayer* layer = gfxLayerAtSlot(sketch, entry->slot);
        if (!layer) return internalError(sketch);
        const int32_t found = gfxFindLayerPosition(sketch, entry->slot);
        if (kind == GFX_HISTORY_LAYER_ADDED) {
            if (found < 0) return internalError(sketch);
            entry->value = found;
            removeLayerAt(sketch, found);
            --layer->refCount;
        } else if (kind == GFX_HISTORY_LAYER_DELETED) {
            if (found >= 0) return internalError(sketch);
            reinsertLayer(sketch, layer, entry->value);
            ++layer->refCount;
        } else {
            if (found < 0) return internalError(sketch);
            const int32_t back = entry->value;
            entry->value = found;
            gfxOrderRemove(sketch, found);
            reinsertLayer(sketch, layer, back);
        }
        markRedraw(sketch, layer, Redraw::Sketch, 0, true);
        return GFX_OK;
    }
    if (kind == GFX_HISTORY_CANVAS_CLEARED) {
        for (int32_t position = 0; position < sketch->layerCount; ++position) {
            GfxLayer* layer = gfxLayerAtPosition(sketch, position);
            if (!layer || layer->records.cursor == 0) return internalError(sketch);
            const int32_t last = layer->records.cursor - 1;
            const GfxRecordEntry record = *gfxRecordAt(layer, last);
            if (record.type != GFX_RECORD_CANVAS_CLEARED) return internalError(sketch);
            popRecord(layer, last);
            restoreFromClear(layer, gfxReadPayload<GfxClearRecord>(layer, record));
        }
        markRedraw(sketch, nullptr, Redraw::Sketch, 0, true);
        return GFX_OK;
    }

    GfxLayer* layer = nullptr;
    GfxRecordEntry record;
    if (!entryRecord(sketch, *entry, &layer, &record)) return internalError(sketch);
    const int32_t popped = popRecord(layer, entry->value);
    if (popped < 0) return internalError(sketch);
    switch (kind) {
    case GFX_RECORD_LAYER_CLEARED:
        restoreFromClear(layer, gfxReadPayload<GfxClearRecord>(layer, record));
        markRedraw(sketch, layer, Redraw::LayerFull, popped, true);
        break;
    case GFX_RECORD_LAYER_MERGED: {
        const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(layer, record);
        GfxLayer* merged = gfxLayerAtSlot(sketch, merge.mergedSlot);
        const int32_t lower = gfxFindLayerPosition(sketch, layer->slot);
        if (!merged || lower < 0) return internalError(sketch);
        gfxOrderInsert(sketch, lower + 1, merged->slot);  // the order takes the hold back
        gfxSetCurrentLayer(sketch, lower + 1);
        layer->opacity = merge.lowerOpacity;
        markRedraw(sketch, layer, Redraw::Sketch, popped, true);
        break;
    }
    case GFX_RECORD_LAYER_TRANSFORMED:
        exchangeTransform(layer, record);
        markRedraw(sketch, layer, Redraw::LayerFull, popped, true);
        break;
    case GFX_RECORD_CLIPBOARD_PASTED: {
        const GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(layer, record);
        GfxLayer* pasted = gfxLayerAtSlot(sketch, paste.pastedSlot);
        if (!pasted) return internalError(sketch);
        --pasted->refCount;
        markRedraw(sketch, layer, Redraw::LayerFull, popped, true);
        // A moved selection (lift, move, commit) is undone in one step.
        GfxChunkArray& history = sketch->history;
        if (pasteIsMoved(layer, record) && history.cursor > 0) {
            GfxHistoryEntry* before = gfxHistoryAt(sketch, history.cursor - 1);
            if (before->kind == GFX_RECORD_REGION_CUT) {
                --history.cursor;
                return undoEntry(sketch, before);
            }
        }
        break;
    }
    default:  // elements and cuts
        markRedraw(sketch, layer, kind == GFX_RECORD_REGION_CUT ? Redraw::LayerFull : Redraw::HeldBack, popped, true);
        break;
    }
    return GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Redo by kind
// ----------------------------------------------------------------------------------
int32_t redoEntry(GfxSketch* sketch, GfxHistoryEntry* entry, bool marking)
{
    const int32_t kind = entry->kind;
    if (kind == GFX_HISTORY_LAYER_ADDED || kind == GFX_HISTORY_LAYER_DELETED || kind == GFX_HISTORY_LAYER_MOVED) {
        GfxLayer* layer = gfxLayerAtSlot(sketch, entry->slot);
        if (!layer) return internalError(sketch);
        const int32_t found = gfxFindLayerPosition(sketch, entry->slot);
        if (kind == GFX_HISTORY_LAYER_ADDED) {
            if (found >= 0) return internalError(sketch);
            reinsertLayer(sketch, layer, entry->value);
            ++layer->refCount;
        } else if (kind == GFX_HISTORY_LAYER_DELETED) {
            if (found < 0) return internalError(sketch);
            entry->value = found;
            removeLayerAt(sketch, found);
            --layer->refCount;
        } else {
            if (found < 0) return internalError(sketch);
            const int32_t to = entry->value;
            entry->value = found;
            gfxOrderRemove(sketch, found);
            reinsertLayer(sketch, layer, to);
        }
        sketch->needsRedraw = 1;
        return GFX_OK;
    }
    if (kind == GFX_HISTORY_CANVAS_CLEARED) {
        for (int32_t position = 0; position < sketch->layerCount; ++position) {
            GfxLayer* layer = gfxLayerAtPosition(sketch, position);
            if (!layer) return internalError(sketch);
            int32_t next = layer->records.cursor;
            while (next < layer->records.count && gfxIsStateType(gfxRecordAt(layer, next)->type)) ++next;
            if (next >= layer->records.count || gfxRecordAt(layer, next)->type != GFX_RECORD_CANVAS_CLEARED)
                return internalError(sketch);
            pushRecord(layer, next);
            clearAgain(layer);
            gfxMarkLayerRedrawAll(layer);
        }
        sketch->needsRedraw = 1;
        return GFX_OK;
    }

    GfxLayer* layer = nullptr;
    GfxRecordEntry record;
    if (!entryRecord(sketch, *entry, &layer, &record)) return internalError(sketch);
    const int32_t pushed = pushRecord(layer, entry->value);
    if (pushed < 0) return internalError(sketch);
    switch (kind) {
    case GFX_RECORD_LAYER_CLEARED:
        clearAgain(layer);
        if (marking) markRedraw(sketch, layer, Redraw::LayerFull, pushed, false);
        break;
    case GFX_RECORD_LAYER_MERGED: {
        const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(layer, record);
        const int32_t upper = gfxFindLayerPosition(sketch, merge.mergedSlot);
        const int32_t lower = gfxFindLayerPosition(sketch, layer->slot);
        if (upper < 0 || lower < 0) return internalError(sketch);
        gfxOrderRemove(sketch, upper);  // the record holds the upper layer again
        gfxSetCurrentLayer(sketch, gfxFindLayerPosition(sketch, layer->slot));
        layer->opacity = 1.0f;
        gfxMarkLayerRedrawAll(layer);
        sketch->needsRedraw = 1;
        break;
    }
    case GFX_RECORD_LAYER_TRANSFORMED:
        exchangeTransform(layer, record);
        gfxMarkLayerRedrawAll(layer);
        break;
    case GFX_RECORD_CLIPBOARD_PASTED: {
        GfxLayer* pasted = gfxLayerAtSlot(sketch, gfxReadPayload<GfxPasteRecord>(layer, record).pastedSlot);
        if (!pasted) return internalError(sketch);
        ++pasted->refCount;
        gfxMarkLayerRedrawAll(layer);
        break;
    }
    case GFX_RECORD_REGION_CUT: {
        gfxMarkLayerRedrawAll(layer);
        // A moved selection comes back in one step, as it went.
        GfxChunkArray& history = sketch->history;
        if (history.cursor < history.count) {
            GfxHistoryEntry* next = gfxHistoryAt(sketch, history.cursor);
            GfxLayer* pasteLayer = nullptr;
            GfxRecordEntry pasteRecord;
            if (next->kind == GFX_RECORD_CLIPBOARD_PASTED && entryRecord(sketch, *next, &pasteLayer, &pasteRecord) &&
                pasteIsMoved(pasteLayer, pasteRecord)) {
                ++history.cursor;
                return redoEntry(sketch, next, marking);
            }
        }
        break;
    }
    default:  // elements
        if (marking) markRedraw(sketch, layer, Redraw::HeldBack, pushed, false);
        break;
    }
    return GFX_OK;
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Public operations
// ----------------------------------------------------------------------------------
int32_t gfxUndoStep(GfxSketch* sketch)
{
    GfxChunkArray& history = sketch->history;
    sketch->system->lastError = GFX_OK;
    if (history.cursor == 0) return GFX_OK;
    --history.cursor;  // moved first: an inconsistent entry leaves it moved (error 7)
    sketch->redoPending = 1;
    const int32_t code = undoEntry(sketch, gfxHistoryAt(sketch, history.cursor));
    sketch->system->lastError = code;
    return code;
}

int32_t gfxRedoStep(GfxSketch* sketch)
{
    GfxChunkArray& history = sketch->history;
    sketch->system->lastError = GFX_OK;
    if (history.cursor >= history.count) return GFX_OK;
    ++history.cursor;
    const int32_t code = redoEntry(sketch, gfxHistoryAt(sketch, history.cursor - 1), true);
    sketch->system->lastError = code;
    return code;
}

void gfxUndo(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    gfxUndoStep(sketch);
}

void gfxRedo(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    gfxRedoStep(sketch);
}

void gfxRedoAll(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    GfxChunkArray& history = sketch->history;
    int32_t code = GFX_OK;
    while (code == GFX_OK && history.cursor < history.count) {
        ++history.cursor;
        code = redoEntry(sketch, gfxHistoryAt(sketch, history.cursor - 1), false);
    }
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) {
        GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
        if (!layer) continue;
        gfxMarkLayerStateStale(layer);
        gfxMarkLayerRedrawAll(layer);
        layer->heldBack = 0;
    }
    sketch->needsRedraw = 1;
    sketch->system->lastError = code;
}
