// Tools: the numbering of tools, pointer interactions and cursors, and the tool state
// the document controller keeps.
//
// Where the code is:
//   Tools.cpp          press / drag / release / hover by ToolId and InteractionState,
//                      finishInteraction, the tool switch, temporary tools, pens and
//                      pen scaling, colour picking, the cursor of each tool
//   InputRouting.cpp   the controller's side of the window callbacks (keys, buttons,
//                      motion, entry)
//   ViewNavigation.cpp gestures, wheel, arrows, mirror, reset, fit (ViewNavigation.h)
//   UndoRedoFlow.cpp   Undo, Redo and the developer undo/redo commands
//   ToolCommands.cpp   the menu and hotkey commands of all of the above
//
// Every pointer event is offered to the interface first (DocumentController::
// interfacePointer); only what it declines reaches the tool.
#pragma once

#include "Gfx.h"
#include "ShapeTransform.h"
#include "WindowLayer.h"

#include <cstdint>
#include <vector>

// ---------------------------------------------------------------------------------
// Numbering
// ---------------------------------------------------------------------------------
// IMPORTANT: the numbers are shared with the panels (toolbar, shape panel) and the
// selection work; they never change.
enum ToolId : int32_t {
    TOOL_MARQUEE = 0,
    TOOL_BRUSH = 1,  // brush or eraser, freehand
    TOOL_LINE = 2,
    TOOL_MULTI_LINE = 3,
    TOOL_POLYGON = 4,
    TOOL_SQUARE = 5,
    TOOL_CIRCLE = 6,
    TOOL_COLOUR_PICKER = 7,
    TOOL_ZOOM_CANVAS = 8,
    TOOL_PAN_CANVAS = 9,
    TOOL_ROTATE_CANVAS = 10,
    TOOL_ZOOM_LAYER = 11,
    TOOL_PAN_LAYER = 12,
    TOOL_ROTATE_LAYER = 13,
    TOOL_IMAGE_PLACEMENT = 14,  // after an image import
    TOOL_TRANSFORM_SELECTION = 15,
};
inline constexpr int32_t TOOL_COUNT = 16;

// What the pointer is doing now.
enum InteractionState : int32_t {
    INTERACTION_IDLE = 0,
    INTERACTION_MARQUEE = 1,
    INTERACTION_FREEHAND = 2,
    INTERACTION_LINE = 3,
    INTERACTION_SHAPE_DRAG = 4,        // dragging out a square or circle
    INTERACTION_PLACING_VERTICES = 5,  // multi-line or polygon, over several clicks
    INTERACTION_SHAPE_TRANSFORM = 6,   // by handle or by touch
    INTERACTION_GESTURE = 7,           // view or layer gesture of a navigation tool
    INTERACTION_PICKING = 8,
    INTERACTION_TOUCH_GESTURE = 9,
    INTERACTION_SELECTION_TRANSFORM = 10,
};

// CursorKind 0 to 15 is the window layer's cursor numbering (WindowLayer.h).

// The modifier mask passed with every pointer event.
enum : int32_t {
    POINTER_MODIFIER_CTRL = 1 << 0,
    POINTER_MODIFIER_ALT = 1 << 1,
    POINTER_MODIFIER_SHIFT = 1 << 2,
};
// From the window layer's modifierState() bits.
int32_t pointerModifiersFromWindow(int32_t windowModifiers);

// What the interface is offered before the tool sees it.
enum class PointerPhase : int32_t { Press, Drag, Release, Hover };

// ---------------------------------------------------------------------------------
// Pens
// ---------------------------------------------------------------------------------
// The fields of a brush preset the tools hand to the engine. Preset id: low byte the
// group, high byte the index in the group; groups 1 and 3 are erasers.
struct PenPreset {
    int32_t penType = 1;  // 0 marker, 1 pencil, 2 wide marker
    float noise = 0;
    float minimumWidth = 0;
    float width = 2;
    float widthSensitivity = 1;
    float opacity = 1;
    float opacitySensitivity = 1;
};
inline constexpr int32_t DEFAULT_PEN_PRESET_ID = 514;     // group 2, index 2
inline constexpr int32_t DEFAULT_ERASER_PRESET_ID = 771;  // group 3, index 3
inline constexpr float PEN_WIDTH_MIN = 2.0f;              // range of a scaled pen
inline constexpr float PEN_WIDTH_MAX = 128.0f;
inline constexpr float PEN_OPACITY_STEP = 0.1f;
inline constexpr float PEN_OPACITY_LOWEST = 0.1f;
inline constexpr int32_t PEN_TYPE_WIDE_MARKER = 2;

// The docked presets the defaults name, until the brush library hands over others.
PenPreset defaultPenPreset();
PenPreset defaultEraserPreset();
bool isEraserPreset(int32_t presetId);
// The preset as pen scaling makes it: minimum and width times `factor`, the minimum
// capped at 128, the width clamped to 2..128, the width sensitivity recomputed.
PenPreset scaledPenPreset(const PenPreset& preset, float factor);

// ---------------------------------------------------------------------------------
// Cursors
// ---------------------------------------------------------------------------------
// ToolIds 1 to 6 show the configured cursor mode while the cursor is shown (none
// otherwise); 7 the picker; the zoom, pan and rotate tools theirs; the rest the arrow.
CursorKind cursorForTool(int32_t tool, bool showCursor, CursorKind cursorMode);
// The outline's diameter: the pen width times the global pen scale, three times that
// for a wide-marker pen (the eraser never counts as one).
float brushOutlineDiameter(float penWidth, float widthScale, bool wideMarker);
// The brush-outline picture: a ring about 1.6 pixels wide on each side of the circle
// of `diameter`, white inside and black outside it, transparent elsewhere.
CursorImage brushOutlineImage(float diameter);

// ---------------------------------------------------------------------------------
// Tool families and geometry
// ---------------------------------------------------------------------------------
bool isShapeTool(int32_t tool);   // 2 to 6
bool isLayerTool(int32_t tool);   // 11 to 13
// The tools that change the current layer, refused on a hidden one.
bool actsOnCurrentLayer(int32_t tool);
// The pan, zoom or rotate tool of the family of `current` (the layer tools when a
// layer tool is current, else the canvas tools).
int32_t panToolFor(int32_t current);
int32_t zoomToolFor(int32_t current);
int32_t rotateToolFor(int32_t current);
// 2 → 3 → 4 → 5 → 6 → 2.
int32_t nextShapeTool(int32_t shapeTool);
// A click this near the first vertex (squared distance below) closes a polygon: at
// least 5 pixels even with a thin pen.
float polygonClosingDistanceSquared(float penWidth);
// The rectangle (centre x, centre y, width, height) a square or circle drag gives
// from the anchor to the pointer; Shift makes both sides the larger one.
void shapeDragRectangle(int32_t tool, float anchorX, float anchorY, float x, float y, bool shift, float rect[4]);
// The marquee's signed size from the anchor to the pointer; Shift makes both sides
// the larger absolute value, each keeping its sign.
void marqueeDragSize(float anchorX, float anchorY, float x, float y, bool shift, float* width, float* height);

// ---------------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------------
struct Marquee {
    bool shown = false;
    bool dragging = false;  // the drag indicator is shown while the marquee is dragged
    float x = 0, y = 0;     // origin (a corner), window pixels
    float width = 0, height = 0;
};

// A shape, image or selection rectangle that stays open over several clicks.
struct TransformInProgress {
    bool active = false;
    bool selection = false;  // a floating selection (placed with gfxCommitPaste), else an element
    int32_t elementKind = GFX_ELEMENT_RECTANGLE;
    float centreX = 0, centreY = 0, width = 0, height = 0, angle = 0;
    float anchorX = 0, anchorY = 0;  // the press that began the shape
    // The rectangle a touch gesture started from.
    float startCentreX = 0, startCentreY = 0, startWidth = 0, startHeight = 0, startAngle = 0;
};

// The vertices of a multi-line or polygon being placed. Undo hides the last shown
// vertex and redo shows it again; a new vertex replaces the hidden ones.
struct VertexPlacement {
    int32_t kind = GFX_ELEMENT_MULTI_LINE;
    std::vector<GfxSample> vertices;
    int32_t shown = 0;
};

// Which held key made the current tool temporary.
enum class TemporaryKey : int32_t { None, Space, Alt };

struct ToolState {
    int32_t tool = TOOL_BRUSH;
    int32_t previousTool = TOOL_BRUSH;
    int32_t interaction = INTERACTION_IDLE;
    int32_t lastShapeTool = TOOL_LINE;
    TemporaryKey temporaryKey = TemporaryKey::None;  // None: the tool is not temporary
    bool spaceHeld = false;
    double lastPressSeconds = -1.0e9;  // for double clicks
    Marquee marquee;
    TransformInProgress transform;
    VertexPlacement placement;

    int32_t penPresetId = DEFAULT_PEN_PRESET_ID;
    int32_t eraserPresetId = DEFAULT_ERASER_PRESET_ID;
    PenPreset pen = defaultPenPreset();
    PenPreset eraser = defaultEraserPreset();
    bool eraserInUse = false;   // the current preset is an eraser preset
    bool eraserChosen = false;  // the user chose the eraser (not the stylus's eraser end)
    bool stylusEraser = false;  // the stylus's eraser end is in proximity

    uint8_t pickedColour[3] = {0, 0, 0};  // the last colour picked, for the colour panel
    float outlineDiameter = -1;           // of the outline the window layer holds; -1 none
    bool suppressShapeReset = false;
    bool finishing = false;               // finishInteraction is running

    // ---- [BEGIN selection] (Selection.h, ShapeTransform.h) ------------------------------
    HandleDrag handleDrag;                    // the handle drag in progress (states 6 and 10)
    int32_t handleUnderPointer = HANDLE_NONE; // of the open rectangle, from the last hover or drag
    Marquee copied;                           // the marquee at the last copy or cut (shown: there was one)
    // ---- [END selection] ----------------------------------------------------------------
};
