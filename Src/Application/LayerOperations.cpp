#include "LayerOperations.h"

#include "CommandRegistry.h"
#include "DocumentController.h"
#include "Fatal.h"
#include "MenuModel.h"
#include "Pins.h"
#include "Utf8Text.h"

#include <cstdio>
#include <limits>

namespace {

void warn(DocumentController& controller, const char* text)
{
    showMessage(&controller, text, "Warning", MESSAGE_WARNING);
}

// The document changed in a way the layers panel shows.
void markLayersChanged(DocumentController& controller)
{
    controller.markChanged();
    controller.interfaceState().layersChanged = true;
    controller.requestRedraw();
}

void reportLayerChange(DocumentController& controller, LayerChangeKind kind, int32_t position, int32_t target = -1)
{
    markLayersChanged(controller);
    controller.layerListeners().notify(LayerChange{kind, position, target});
}

bool currentLayerVisible(DocumentController& controller, int32_t position)
{
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_VISIBLE;
    gfxGetLayerAttributes(controller.canvas(), position, &attributes);
    return attributes.visible != 0;
}

// The window centre as the engine's viewport knows it (the shell keeps the viewport
// at the client area; unlike the client size it is never 0 while minimised).
void windowCentre(DocumentController& controller, float* x, float* y)
{
    float viewport[4] = {0, 0, 0, 0};
    gfxGetViewport(controller.canvas(), viewport);
    *x = viewport[0] + viewport[2] / 2;
    *y = viewport[1] + viewport[3] / 2;
}

}  // namespace

int32_t layerCount(DocumentController& controller)
{
    GfxSketchAttributes attributes;
    attributes.flags = GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(controller.canvas(), &attributes);
    return attributes.layerCount;
}

int32_t currentLayerPosition(DocumentController& controller)
{
    GfxSketchAttributes attributes;
    attributes.flags = GFX_SKETCH_CURRENT_LAYER;
    gfxGetSketchAttributes(controller.canvas(), &attributes);
    return attributes.currentLayer;
}

bool refuseHiddenCurrentLayer(DocumentController& controller)
{
    int32_t position = currentLayerPosition(controller);
    if (position < 0 || currentLayerVisible(controller, position)) return false;
    warn(controller, kHiddenLayerMessage);
    return true;
}

bool newLayer(DocumentController& controller)
{
    if (layerCount(controller) >= kMaxLayers) {
        warn(controller, kLayerLimitMessage);
        return false;
    }
    controller.finishInteraction();
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_NAME;
    std::snprintf(attributes.name, sizeof attributes.name, "Layer %d", static_cast<int>(controller.layerNameCounter()));
    gfxAddLayer(controller.canvas(), &attributes);
    controller.checkEngine();
    controller.countAddedLayer();
    reportLayerChange(controller, LayerChangeKind::Added, currentLayerPosition(controller));
    return true;
}

void deleteLayer(DocumentController& controller)
{
    int32_t count = layerCount(controller);
    if (count <= 0) return;
    controller.finishInteraction();
    int32_t position = currentLayerPosition(controller);
    if (position < 0) return;
    if (count == 1) {
        // The canvas never goes without a layer: the only one loses its strokes, not its name.
        gfxClearLayer(controller.canvas());
        controller.checkEngine();
        reportLayerChange(controller, LayerChangeKind::Cleared, position);
        return;
    }
    gfxDeleteLayer(controller.canvas());
    controller.checkEngine();
    reportLayerChange(controller, LayerChangeKind::Deleted, position);
}

void clearLayer(DocumentController& controller)
{
    int32_t position = currentLayerPosition(controller);
    if (position < 0 || refuseHiddenCurrentLayer(controller)) return;
    controller.finishInteraction();
    gfxClearLayer(controller.canvas());
    controller.checkEngine();
    reportLayerChange(controller, LayerChangeKind::Cleared, position);
}

void renameLayer(DocumentController& controller, const std::string& name)
{
    int32_t position = currentLayerPosition(controller);
    if (position < 0) return;
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_NAME;
    // Cut on a character boundary: the engine would cut a long name mid-character.
    std::string kept = utf8Prefix(name, kLayerNameMaxBytes, std::numeric_limits<std::size_t>::max());
    std::snprintf(attributes.name, sizeof attributes.name, "%s", kept.c_str());
    gfxSetLayerAttributes(controller.canvas(), position, &attributes);
    controller.checkEngine();
    markLayersChanged(controller);
}

namespace {

void moveCurrentLayerBy(DocumentController& controller, int32_t step)
{
    controller.finishInteraction();
    int32_t count = layerCount(controller);
    int32_t position = currentLayerPosition(controller);
    int32_t target = position + step;
    // At the top (or bottom) nothing moves and the document stays as it was.
    if (position < 0 || target < 0 || target >= count) return;
    gfxMoveLayer(controller.canvas(), target);
    controller.checkEngine();
    reportLayerChange(controller, LayerChangeKind::Moved, position, target);
}

}  // namespace

void moveLayerUp(DocumentController& controller) { moveCurrentLayerBy(controller, +1); }

void moveLayerDown(DocumentController& controller) { moveCurrentLayerBy(controller, -1); }

void mergeLayerDown(DocumentController& controller)
{
    int32_t position = currentLayerPosition(controller);
    if (position < 0 || refuseHiddenCurrentLayer(controller)) return;
    controller.finishInteraction();
    // The bottom layer has nothing below it: the engine merges nothing, so the
    // document is not marked changed either.
    if (position == 0) return;
    gfxMergeLayerDown(controller.canvas());
    controller.checkEngine();
    reportLayerChange(controller, LayerChangeKind::Merged, position);
}

void flipLayer(DocumentController& controller, FlipAxis axis)
{
    controller.finishInteraction();
    if (currentLayerPosition(controller) < 0 || refuseHiddenCurrentLayer(controller)) return;
    GfxGesture flip;
    flip.kind = GFX_GESTURE_SCALE;
    windowCentre(controller, &flip.centreX, &flip.centreY);
    flip.scaleX = axis == FlipAxis::Horizontal ? -1.0f : 1.0f;
    flip.scaleY = axis == FlipAxis::Horizontal ? 1.0f : -1.0f;
    gfxBeginLayerGesture(controller.canvas(), &flip);
    controller.checkEngine();
    gfxEndLayerGesture(controller.canvas(), &flip);
    controller.checkEngine();
    markLayersChanged(controller);
}

int32_t setLayerOpacity(DocumentController& controller, float value)
{
    int32_t position = currentLayerPosition(controller);
    if (position < 0 || refuseHiddenCurrentLayer(controller)) return LAYER_OPACITY_REFUSED;
    if (!(value >= 0.0f)) value = 0.0f;  // NaN too
    if (value > 1.0f) value = 1.0f;
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_OPACITY;
    attributes.opacity = value;
    gfxSetLayerAttributes(controller.canvas(), position, &attributes);
    controller.checkEngine();
    markLayersChanged(controller);
    return LAYER_OPACITY_DONE;
}

bool runLayerMenuItem(DocumentController& controller, int32_t identifier)
{
    switch (identifier) {
    case MENU_NEW_LAYER: newLayer(controller); return true;
    case MENU_DELETE_LAYER: deleteLayer(controller); return true;
    case MENU_FLIP_LAYER_HORIZONTALLY: flipLayer(controller, FlipAxis::Horizontal); return true;
    case MENU_FLIP_LAYER_VERTICALLY: flipLayer(controller, FlipAxis::Vertical); return true;
    case MENU_MOVE_LAYER_UP: moveLayerUp(controller); return true;
    case MENU_MOVE_LAYER_DOWN: moveLayerDown(controller); return true;
    case MENU_MERGE_LAYER_DOWN: mergeLayerDown(controller); return true;
    default: return false;
    }
}

void registerLayerAndPinCommands(CommandRegistry& registry)
{
    static constexpr struct {
        const char* name;
        int32_t identifier;
    } kLayerCommands[] = {
        {"menuNewLayer", MENU_NEW_LAYER},
        {"menuDeleteLayer", MENU_DELETE_LAYER},
        {"menuFlipLayerHorizontally", MENU_FLIP_LAYER_HORIZONTALLY},
        {"menuFlipLayerVertically", MENU_FLIP_LAYER_VERTICALLY},
        {"menuMoveLayerUp", MENU_MOVE_LAYER_UP},
        {"menuMoveLayerDown", MENU_MOVE_LAYER_DOWN},
        {"menuMergeLayerDown", MENU_MERGE_LAYER_DOWN},
    };
    for (const auto& command : kLayerCommands) {
        int32_t identifier = command.identifier;
        registry.registerCommand(command.name, [identifier](const char*) {
            if (DocumentController* controller = theController()) runLayerMenuItem(*controller, identifier);
        });
    }
    registerPinCommands(registry);
}
