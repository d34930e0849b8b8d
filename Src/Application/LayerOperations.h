// LayerOperations: the user-level layer operations of the document.
//
// Layers live in the engine's sketch; these operations check what the user may do,
// finish the interaction in progress, call the engine, stop the program on an engine
// error (DocumentController::checkEngine), mark the document changed and raise the
// interface's layers-changed flag. Refusals are "Warning" boxes that change nothing.
//
// Selecting the current layer and toggling visibility are the layers panel's own
// business, done directly through the engine's layer attributes.
//
// Commands (registerLayerAndPinCommands, called once by the shell at start-up):
//   "menuNewLayer" 10040, "menuDeleteLayer" 10041, "menuFlipLayerHorizontally" 10042,
//   "menuFlipLayerVertically" 10043, "menuMoveLayerUp" 10044, "menuMoveLayerDown" 10045,
//   "menuMergeLayerDown" 10046, and the pin commands of Pins.h.
#pragma once

#include "ListenerList.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CommandRegistry;
class DocumentController;

inline constexpr int32_t kMaxLayers = 20;
// Bytes of a layer name the engine keeps (its field holds 255 and the terminator).
inline constexpr std::size_t kLayerNameMaxBytes = 255;

inline constexpr const char* kLayerLimitMessage = "The number of available layers has been exceeded";
inline constexpr const char* kHiddenLayerMessage =
    "The requested operation cannot be performed in the selected layer because it is not visible";

// What the layers panel is told after an operation, by layer position (0 = bottom).
enum class LayerChangeKind : int32_t {
    Added,    // position: the new layer
    Deleted,  // position: the layer that went away
    Cleared,  // position: the layer whose strokes went (also deleting the only layer)
    Moved,    // position → target
    Merged,   // position: the layer merged into the one below it
};
struct LayerChange {
    LayerChangeKind kind = LayerChangeKind::Added;
    int32_t position = -1;
    int32_t target = -1;
};

// Observers of layer changes (the layers panel).
using LayerChangeListeners = ListenerList<const LayerChange&>;

// The engine's layer count and current position.
int32_t layerCount(DocumentController& controller);
int32_t currentLayerPosition(DocumentController& controller);
// Shows the hidden-layer warning and answers true when the current layer is hidden.
bool refuseHiddenCurrentLayer(DocumentController& controller);

// A layer named "Layer %d" with the name counter, above the current one, made current.
// False (with the warning) when the canvas already holds kMaxLayers.
bool newLayer(DocumentController& controller);
// Deletes the current layer; the only layer is cleared instead and keeps its name.
void deleteLayer(DocumentController& controller);
void clearLayer(DocumentController& controller);
void renameLayer(DocumentController& controller, const std::string& name);
void moveLayerUp(DocumentController& controller);
void moveLayerDown(DocumentController& controller);
void mergeLayerDown(DocumentController& controller);

enum class FlipAxis : int32_t { Horizontal, Vertical };
// Mirrors the current layer about the window centre, as one undoable layer gesture.
void flipLayer(DocumentController& controller, FlipAxis axis);

enum : int32_t { LAYER_OPACITY_DONE = 0, LAYER_OPACITY_REFUSED = 1 };
// `value` 0..1 (clamped). LAYER_OPACITY_REFUSED for a hidden current layer.
int32_t setLayerOpacity(DocumentController& controller, float value);

// Runs the layer operation of a menu identifier (10040..10046); false for any other.
bool runLayerMenuItem(DocumentController& controller, int32_t identifier);

// Registers the layer and pin commands with handlers acting on theController().
void registerLayerAndPinCommands(CommandRegistry& registry);
