// Undo and Redo as the user reaches them ("menuUndo", "menuRedo", the undo/redo
// panel) and the developer commands Undo All, Redo All and Redo 10 Operations.
//
// The history itself is the engine's; here are the rules around it: while
// multi-line or polygon vertices are being placed, Undo and Redo hide and show the
// last vertex instead; the first layer's creation is never undone; a paste or an
// imported image goes together with the layer made for it; the layers panel hears
// of layer additions, deletions, moves and merges.
#include "DocumentController.h"

namespace {

// History entry kinds as the engine reports them in undoKind and redoKind.
enum : int32_t {
    HISTORY_NOTHING = 0,
    HISTORY_IMAGE = 7,
    HISTORY_LAYER_ADDED = 8,
    HISTORY_LAYER_DELETED = 9,
    HISTORY_LAYERS_MERGED = 12,
    HISTORY_PASTED = 15,
    HISTORY_LAYER_MOVED = 16,
};

bool isLayerEntry(int32_t kind)
{
    return kind == HISTORY_LAYER_ADDED || kind == HISTORY_LAYER_DELETED || kind == HISTORY_LAYER_MOVED;
}

bool goesWithItsLayer(int32_t kind) { return kind == HISTORY_PASTED || kind == HISTORY_IMAGE; }

// The first layer's creation stays: a canvas always has a layer.
bool undoAllowed(const GfxSketchAttributes& state)
{
    return state.undoKind != HISTORY_NOTHING && !(state.undoKind == HISTORY_LAYER_ADDED && state.layerCount == 1);
}

}  // namespace

GfxSketchAttributes DocumentController::historyState()
{
    GfxSketchAttributes state;
    state.flags = GFX_SKETCH_UNDO_KIND | GFX_SKETCH_REDO_KIND | GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(canvas_, &state);
    return state;
}

// Hides the last shown vertex; false when the whole element is to be undone instead
// (one vertex left: all of them are shown again, so the element ends as placed).
bool DocumentController::undoVertex()
{
    if (tools_.interaction != INTERACTION_PLACING_VERTICES) return false;
    VertexPlacement& p = tools_.placement;
    if (p.shown > 1) {
        --p.shown;
        rebuildPlacedElement(nullptr);
        requestRedraw();
        return true;
    }
    p.shown = static_cast<int32_t>(p.vertices.size());
    return false;
}

// Shows one more of the placed vertices; true whenever vertices are being placed.
bool DocumentController::redoVertex()
{
    if (tools_.interaction != INTERACTION_PLACING_VERTICES) return false;
    VertexPlacement& p = tools_.placement;
    if (p.shown < static_cast<int32_t>(p.vertices.size())) {
        ++p.shown;
        rebuildPlacedElement(nullptr);
    }
    requestRedraw();
    return true;
}

void DocumentController::undoOnce()
{
    const int32_t kind = historyState().undoKind;
    if (isLayerEntry(kind)) interfaceState_.layerHistoryKind = kind;
    gfxUndo(canvas_);
    checkEngine();
    markChanged();
}

void DocumentController::redoOnce()
{
    const int32_t kind = historyState().redoKind;
    if (isLayerEntry(kind)) interfaceState_.layerHistoryKind = kind;
    gfxRedo(canvas_);
    checkEngine();
    markChanged();
}

void DocumentController::undo()
{
    if (undoVertex()) return;
    finishInteraction();
    const GfxSketchAttributes before = historyState();
    if (!undoAllowed(before)) return;
    undoOnce();
    GfxSketchAttributes after = historyState();
    // The first-layer rule holds here too: a paste onto the first layer keeps it.
    if (goesWithItsLayer(before.undoKind) && after.undoKind == HISTORY_LAYER_ADDED && undoAllowed(after)) {
        undoOnce();
        after = historyState();
    }
    if (after.undoKind == HISTORY_LAYERS_MERGED || before.undoKind == HISTORY_LAYERS_MERGED)
        interfaceState_.layersPanelRebuild = true;
    interfaceState_.layersChanged = true;
    requestRedraw();
}

void DocumentController::redo()
{
    if (redoVertex()) return;
    finishInteraction();
    const GfxSketchAttributes before = historyState();
    if (before.redoKind == HISTORY_NOTHING) return;
    redoOnce();
    if (before.redoKind == HISTORY_LAYERS_MERGED) interfaceState_.layersPanelRebuild = true;
    if (before.redoKind == HISTORY_LAYER_ADDED && goesWithItsLayer(historyState().redoKind)) redoOnce();
    interfaceState_.layersChanged = true;
    requestRedraw();
}

void DocumentController::undoAll()
{
    finishInteraction();
    while (undoAllowed(historyState())) undoOnce();
    interfaceState_.layersChanged = interfaceState_.layersPanelRebuild = true;
    requestRedraw();
}

void DocumentController::redoAll()
{
    finishInteraction();
    if (historyState().redoKind == HISTORY_NOTHING) return;
    gfxRedoAll(canvas_);
    checkEngine();
    markChanged();
    interfaceState_.layersChanged = interfaceState_.layersPanelRebuild = true;
    requestRedraw();
}

void DocumentController::redoSeveral(int32_t count)
{
    finishInteraction();
    for (int32_t i = 0; i < count && historyState().redoKind != HISTORY_NOTHING; ++i) redoOnce();
    interfaceState_.layersChanged = interfaceState_.layersPanelRebuild = true;
    requestRedraw();
}
