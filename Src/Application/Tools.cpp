// The tools: pointer input routed by ToolId and InteractionState, finishInteraction,
// the tool switch and the temporary tools, pens and pen scaling, colour picking and
// the cursor of each tool.
//
// [SECTION] Numbering, families and geometry
// [SECTION] Pens
// [SECTION] Cursors and the brush outline
// [SECTION] Set-up
// [SECTION] press
// [SECTION] drag, release, hover
// [SECTION] Multi-line and polygon vertices
// [SECTION] Transforms in progress
// [SECTION] finishInteraction
// [SECTION] Tool switch and temporary tools
// [SECTION] Presets, width, opacity and pen scaling
// [SECTION] Colour picking
#include "DocumentController.h"
#include "Fatal.h"
#include "KeyCombos.h"
#include "Selection.h"
#include "Tools.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

// kHiddenLayerMessage: LayerOperations.h, shared with the layer operations.

namespace {

GfxSketchAttributes readAttributes(GfxSketch* canvas, int32_t flags)
{
    GfxSketchAttributes attributes;
    attributes.flags = flags;
    gfxGetSketchAttributes(canvas, &attributes);
    return attributes;
}

int32_t elementKindOfTool(int32_t tool)
{
    switch (tool) {
    case TOOL_LINE: return GFX_ELEMENT_LINE;
    case TOOL_MULTI_LINE: return GFX_ELEMENT_MULTI_LINE;
    case TOOL_POLYGON: return GFX_ELEMENT_POLYGON;
    case TOOL_SQUARE: return GFX_ELEMENT_RECTANGLE;
    case TOOL_CIRCLE: return GFX_ELEMENT_ELLIPSE;
    case TOOL_IMAGE_PLACEMENT: return GFX_ELEMENT_IMAGE;
    default: return GFX_ELEMENT_FREEHAND;
    }
}

GfxElementInput samplesInput(int32_t kind, const GfxSample* samples, int32_t count)
{
    GfxElementInput input;
    input.kind = kind;
    input.sampleCount = samples ? count : 0;
    input.samples = samples;
    return input;
}

GfxElementInput rectangleInput(int32_t kind, const TransformInProgress& t)
{
    GfxElementInput input;
    input.kind = kind;
    input.rect[0] = t.centreX;
    input.rect[1] = t.centreY;
    input.rect[2] = t.width;
    input.rect[3] = t.height;
    input.angle = t.angle;
    return input;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// [SECTION] Numbering, families and geometry
// ---------------------------------------------------------------------------------------
int32_t pointerModifiersFromWindow(int32_t windowModifiers)
{
    int32_t modifiers = 0;
    if (windowModifiers & WINDOW_MODIFIER_CTRL) modifiers |= POINTER_MODIFIER_CTRL;
    if (windowModifiers & WINDOW_MODIFIER_ALT) modifiers |= POINTER_MODIFIER_ALT;
    if (windowModifiers & WINDOW_MODIFIER_SHIFT) modifiers |= POINTER_MODIFIER_SHIFT;
    return modifiers;
}

bool isShapeTool(int32_t tool) { return tool >= TOOL_LINE && tool <= TOOL_CIRCLE; }
bool isLayerTool(int32_t tool) { return tool >= TOOL_ZOOM_LAYER && tool <= TOOL_ROTATE_LAYER; }

bool actsOnCurrentLayer(int32_t tool)
{
    return (tool >= TOOL_BRUSH && tool <= TOOL_CIRCLE) || (tool >= TOOL_ZOOM_LAYER && tool <= TOOL_TRANSFORM_SELECTION);
}

int32_t panToolFor(int32_t current) { return isLayerTool(current) ? TOOL_PAN_LAYER : TOOL_PAN_CANVAS; }
int32_t zoomToolFor(int32_t current) { return isLayerTool(current) ? TOOL_ZOOM_LAYER : TOOL_ZOOM_CANVAS; }
int32_t rotateToolFor(int32_t current) { return isLayerTool(current) ? TOOL_ROTATE_LAYER : TOOL_ROTATE_CANVAS; }

int32_t nextShapeTool(int32_t shapeTool) { return shapeTool >= TOOL_CIRCLE ? TOOL_LINE : shapeTool + 1; }

float polygonClosingDistanceSquared(float penWidth) { return std::max(25.0f, penWidth * penWidth / 4.0f); }

void shapeDragRectangle(int32_t tool, float anchorX, float anchorY, float x, float y, bool shift, float rect[4])
{
    const float dx = x - anchorX;
    const float dy = y - anchorY;
    if (tool == TOOL_CIRCLE) {
        float width = 2 * std::fabs(dx);
        float height = 2 * std::fabs(dy);
        if (shift) width = height = std::max(width, height);
        rect[0] = anchorX;
        rect[1] = anchorY;
        rect[2] = width;
        rect[3] = height;
        return;
    }
    float width = std::fabs(dx);
    float height = std::fabs(dy);
    if (shift) width = height = std::max(width, height);
    // The square spans from the anchor towards the pointer (the midpoint without Shift).
    rect[0] = anchorX + std::copysign(width / 2, dx);
    rect[1] = anchorY + std::copysign(height / 2, dy);
    rect[2] = width;
    rect[3] = height;
}

void marqueeDragSize(float anchorX, float anchorY, float x, float y, bool shift, float* width, float* height)
{
    float dx = x - anchorX;
    float dy = y - anchorY;
    if (shift) {
        const float side = std::max(std::fabs(dx), std::fabs(dy));
        dx = std::copysign(side, dx);
        dy = std::copysign(side, dy);
    }
    *width = dx;
    *height = dy;
}

// ---------------------------------------------------------------------------------------
// [SECTION] Pens
// ---------------------------------------------------------------------------------------
PenPreset defaultPenPreset() { return PenPreset{1, 0.2f, 40, 40, 0, 0.2f, 1}; }      // docked brush 2
PenPreset defaultEraserPreset() { return PenPreset{0, 0, 8, 12, 0.33f, 1, 0}; }     // docked eraser 3

bool isEraserPreset(int32_t presetId)
{
    const int32_t group = presetId & 0xFF;
    return group == 1 || group == 3;
}

PenPreset scaledPenPreset(const PenPreset& preset, float factor)
{
    PenPreset scaled = preset;
    scaled.minimumWidth = std::min(preset.minimumWidth * factor, PEN_WIDTH_MAX);
    scaled.width = std::clamp(preset.width * factor, PEN_WIDTH_MIN, PEN_WIDTH_MAX);
    scaled.widthSensitivity = std::clamp((scaled.width - scaled.minimumWidth) / scaled.width, 0.0f, 1.0f);
    return scaled;
}

// ---------------------------------------------------------------------------------------
// [SECTION] Cursors and the brush outline
// ---------------------------------------------------------------------------------------
CursorKind cursorForTool(int32_t tool, bool showCursor, CursorKind cursorMode)
{
    switch (tool) {
    case TOOL_BRUSH:
    case TOOL_LINE:
    case TOOL_MULTI_LINE:
    case TOOL_POLYGON:
    case TOOL_SQUARE:
    case TOOL_CIRCLE: return showCursor ? cursorMode : CursorKind::Invisible;
    case TOOL_COLOUR_PICKER: return CursorKind::ColourPicker;
    case TOOL_ZOOM_CANVAS:
    case TOOL_ZOOM_LAYER: return CursorKind::Zoom;
    case TOOL_PAN_CANVAS:
    case TOOL_PAN_LAYER: return CursorKind::Move;
    case TOOL_ROTATE_CANVAS:
    case TOOL_ROTATE_LAYER: return CursorKind::Rotate;
    default: return CursorKind::Arrow;
    }
}

float brushOutlineDiameter(float penWidth, float widthScale, bool wideMarker)
{
    return penWidth * widthScale * (wideMarker ? 3.0f : 1.0f);
}

CursorImage brushOutlineImage(float diameter)
{
    const float radius = std::max(0.0f, diameter) / 2;
    const int32_t b = static_cast<int32_t>(radius + 2.6f);
    CursorImage image;
    image.side = 2 * b + 3;
    image.hotX = image.hotY = b + 1;
    image.rgba.assign(static_cast<size_t>(image.side) * image.side * 4, 0);
    for (int32_t row = 0; row < image.side; ++row) {
        for (int32_t column = 0; column < image.side; ++column) {
            const float x = static_cast<float>(column - (b + 1));
            const float y = static_cast<float>((b + 1) - row);
            const float diff = radius - std::sqrt(x * x + y * y);
            const float grey = std::clamp((diff / 0.6f * 0.5f + 0.5f) * 255.0f, 0.0f, 255.0f);
            const float alpha = std::clamp((0.6f - std::fabs(diff) + 1.0f) * 255.0f, 0.0f, 255.0f);
            uint8_t* pixel = &image.rgba[(static_cast<size_t>(row) * image.side + column) * 4];
            pixel[0] = pixel[1] = pixel[2] = static_cast<uint8_t>(grey);
            pixel[3] = static_cast<uint8_t>(alpha);  // 0 is the mask
        }
    }
    return image;
}

void DocumentController::setToolCursor()
{
    toolCursor_ = cursorForTool(tools_.tool, windowState_.showCursor, static_cast<CursorKind>(windowState_.cursorMode));
    if (toolCursor_ == CursorKind::BrushOutline) refreshBrushOutline();
    windowState_.cursor = toolCursor_;
    window_.setCursor(toolCursor_);
}

void DocumentController::toggleCursor()
{
    windowState_.showCursor = !windowState_.showCursor;
    setToolCursor();
}

// Rebuilds the outline when it is the tool's cursor and the pen's width or scale
// changed since the window layer got the last one.
void DocumentController::refreshBrushOutline()
{
    if (toolCursor_ != CursorKind::BrushOutline) return;
    const GfxSketchAttributes a =
        readAttributes(canvas_, GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_WIDTH_SCALE | GFX_SKETCH_PEN_TYPE);
    // The wide marker's cells reach three radii each way; its outline says so. (Going by
    // the pen type rather than by the preset's index also covers the docked wide marker.)
    const bool wide = a.penType == PEN_TYPE_WIDE_MARKER && !tools_.eraserInUse;
    const float diameter = brushOutlineDiameter(a.penWidth, a.widthScale, wide);
    if (diameter == tools_.outlineDiameter) return;
    tools_.outlineDiameter = diameter;
    window_.setBrushOutlineCursor(brushOutlineImage(diameter));
}

// ---------------------------------------------------------------------------------------
// [SECTION] Set-up
// ---------------------------------------------------------------------------------------
void DocumentController::initialiseTools()
{
    tools_ = ToolState{};
    view_ = ViewManipulation{};
    // A jump to a pin rescales the view; with pen scaling on, the pen follows it.
    pins().hooks.viewScaled = [this](float ratio) {
        if (ratio > 0) penScaleAfterZoom(currentViewScale() / ratio);
    };
    usePreset(tools_.penPresetId, tools_.pen);
    setToolCursor();
}

void DocumentController::toolsAfterNewCanvas()
{
    GfxSketchAttributes scale;
    scale.flags = GFX_SKETCH_WIDTH_SCALE;
    scale.widthScale = 1.0f;
    gfxSetSketchAttributes(canvas_, &scale);
    // Nothing of the old canvas's selection or vertices belongs to the new one.
    view_ = ViewManipulation{};
    tools_.marquee = Marquee{};
    tools_.transform = TransformInProgress{};
    tools_.placement = VertexPlacement{};
    tools_.interaction = INTERACTION_IDLE;
    usePreset(tools_.penPresetId, tools_.pen);
}

// ---------------------------------------------------------------------------------------
// [SECTION] press
// ---------------------------------------------------------------------------------------
bool DocumentController::currentLayerVisible()
{
    const GfxSketchAttributes a = readAttributes(canvas_, GFX_SKETCH_CURRENT_LAYER);
    if (a.currentLayer < 0) return false;
    GfxLayerAttributes layer;
    layer.flags = GFX_LAYER_VISIBLE;
    gfxGetLayerAttributes(canvas_, a.currentLayer, &layer);
    return layer.visible != 0;
}

bool DocumentController::refusedOnHiddenLayer()
{
    if (!actsOnCurrentLayer(tools_.tool) || currentLayerVisible()) return false;
    showMessage(this, kHiddenLayerMessage, "Warning", MESSAGE_WARNING);
    return true;
}

void DocumentController::press(int32_t modifiers, bool doubleClick, const GfxSample& sample)
{
    (void)modifiers;  // no tool reads the modifiers on a press
    if (interfacePointer && interfacePointer(PointerPhase::Press, sample)) return;
    if (refusedOnHiddenLayer()) return;
    switch (tools_.tool) {
    case TOOL_MARQUEE:
        tools_.marquee = Marquee{true, true, sample.x, sample.y, 0, 0};
        tools_.interaction = INTERACTION_MARQUEE;
        break;
    case TOOL_BRUSH:
    case TOOL_LINE: {
        finishInteraction();
        const GfxElementInput input = samplesInput(elementKindOfTool(tools_.tool), &sample, 1);
        gfxBeginElement(canvas_, &input);
        checkEngine();
        tools_.interaction = tools_.tool == TOOL_BRUSH ? INTERACTION_FREEHAND : INTERACTION_LINE;
        break;
    }
    case TOOL_MULTI_LINE:
    case TOOL_POLYGON: pressVertex(doubleClick, sample); break;
    case TOOL_SQUARE:
    case TOOL_CIRCLE:
    case TOOL_IMAGE_PLACEMENT: pressShape(sample); break;
    case TOOL_COLOUR_PICKER:
        pickColour(sample);
        tools_.interaction = INTERACTION_PICKING;
        break;
    case TOOL_ZOOM_CANVAS:
    case TOOL_PAN_CANVAS:
    case TOOL_ROTATE_CANVAS:
    case TOOL_ZOOM_LAYER:
    case TOOL_PAN_LAYER:
    case TOOL_ROTATE_LAYER: beginToolGesture(sample); break;
    case TOOL_TRANSFORM_SELECTION: pressSelectionTransform(sample); break;
    default: break;
    }
    interfaceState_.documentChanged = true;
    window_.drawFrameNow();
}

// ---------------------------------------------------------------------------------------
// [SECTION] drag, release, hover
// ---------------------------------------------------------------------------------------
void DocumentController::drag(int32_t modifiers, const GfxSample* samples, int32_t count)
{
    if (!samples || count <= 0) return;
    const GfxSample& last = samples[count - 1];
    if (interfacePointer && interfacePointer(PointerPhase::Drag, last)) return;
    const bool shift = (modifiers & POINTER_MODIFIER_SHIFT) != 0;
    switch (tools_.interaction) {
    case INTERACTION_MARQUEE: {
        Marquee& m = tools_.marquee;
        marqueeDragSize(m.x, m.y, last.x, last.y, shift, &m.width, &m.height);
        break;
    }
    case INTERACTION_FREEHAND: {
        const GfxElementInput input = samplesInput(GFX_ELEMENT_FREEHAND, samples, count);
        gfxExtendElement(canvas_, &input);
        checkEngine();
        break;
    }
    case INTERACTION_LINE: {
        const GfxElementInput input = samplesInput(GFX_ELEMENT_LINE, &last, 1);
        gfxExtendElement(canvas_, &input);
        checkEngine();
        break;
    }
    case INTERACTION_SHAPE_DRAG: dragShapeTo(last, shift); break;
    case INTERACTION_PLACING_VERTICES: rebuildPlacedElement(&last); break;
    case INTERACTION_GESTURE: updateToolGesture(last); break;
    case INTERACTION_PICKING: pickColour(last); break;
    // ---- selection: handle drags (Selection.h); a touch transform has no handle drag ----
    case INTERACTION_SHAPE_TRANSFORM:
    case INTERACTION_SELECTION_TRANSFORM: dragTransformHandle(*this, modifiers, last); break;
    default: break;
    }
    requestRedraw();
}

void DocumentController::release(int32_t modifiers, const GfxSample& sample)
{
    if (interfacePointer && interfacePointer(PointerPhase::Release, sample)) return;
    const bool shift = (modifiers & POINTER_MODIFIER_SHIFT) != 0;
    switch (tools_.interaction) {
    case INTERACTION_MARQUEE: {
        Marquee& m = tools_.marquee;
        marqueeDragSize(m.x, m.y, sample.x, sample.y, shift, &m.width, &m.height);
        // The origin moves to the other corner so the size is never negative.
        if (m.width < 0) {
            m.x += m.width;
            m.width = -m.width;
        }
        if (m.height < 0) {
            m.y += m.height;
            m.height = -m.height;
        }
        m.dragging = false;
        tools_.interaction = INTERACTION_IDLE;
        break;
    }
    case INTERACTION_FREEHAND:
    case INTERACTION_LINE: {
        const int32_t kind = tools_.interaction == INTERACTION_FREEHAND ? GFX_ELEMENT_FREEHAND : GFX_ELEMENT_LINE;
        tools_.interaction = INTERACTION_IDLE;
        const GfxElementInput input = samplesInput(kind, &sample, 1);
        gfxEndElement(canvas_, &input);
        checkEngine();
        markChanged();
        break;
    }
    case INTERACTION_SHAPE_DRAG: {
        // The element stays open: the rectangle is the transform in progress until a
        // press outside it, a tool switch or finishInteraction ends it.
        tools_.interaction = INTERACTION_IDLE;
        dragShapeTo(sample, shift);
        markChanged();
        break;
    }
    case INTERACTION_SHAPE_TRANSFORM:
    case INTERACTION_SELECTION_TRANSFORM:
        endTransformHandleDrag(*this, modifiers, sample);  // selection (Selection.h)
        tools_.interaction = INTERACTION_IDLE;
        markChanged();
        break;
    case INTERACTION_GESTURE:
        endToolGesture(&sample);
        tools_.interaction = INTERACTION_IDLE;
        break;
    case INTERACTION_PICKING: pickColour(sample); break;  // picking lasts until another tool
    default: break;
    }
    requestRedraw();
}

void DocumentController::hover(const GfxSample& sample)
{
    if (interfacePointer && interfacePointer(PointerPhase::Hover, sample)) return;
    // With a transform in progress the cursor shows the handle under the pointer.
    if (tools_.transform.active) hoverTransform(*this, sample);  // selection (Selection.h)
    if (tools_.interaction == INTERACTION_PLACING_VERTICES) {
        rebuildPlacedElement(&sample);
        requestRedraw();
    }
}

// ---------------------------------------------------------------------------------------
// [SECTION] Multi-line and polygon vertices
// ---------------------------------------------------------------------------------------
void DocumentController::pressVertex(bool doubleClick, const GfxSample& sample)
{
    VertexPlacement& p = tools_.placement;
    if (tools_.interaction == INTERACTION_PLACING_VERTICES) {
        const float dx = sample.x - p.vertices[0].x;
        const float dy = sample.y - p.vertices[0].y;
        const bool closes =
            tools_.tool == TOOL_POLYGON && dx * dx + dy * dy < polygonClosingDistanceSquared(currentPenWidth());
        if (doubleClick || closes) {
            tools_.interaction = INTERACTION_IDLE;
            endPlacedElement();
            markChanged();
            return;
        }
        // A vertex placed after an undo replaces the hidden ones.
        p.vertices.resize(static_cast<size_t>(p.shown));
        p.vertices.push_back(sample);
        p.shown = static_cast<int32_t>(p.vertices.size());
        rebuildPlacedElement(nullptr);
        return;
    }
    finishInteraction();
    p.kind = elementKindOfTool(tools_.tool);
    p.vertices.assign(1, sample);
    p.shown = 1;
    const GfxElementInput input = samplesInput(p.kind, &sample, 1);
    gfxBeginElement(canvas_, &input);
    checkEngine();
    tools_.interaction = INTERACTION_PLACING_VERTICES;
}

// The dragged square or circle to the rectangle from its anchor to `corner`.
void DocumentController::dragShapeTo(const GfxSample& corner, bool shift)
{
    TransformInProgress& t = tools_.transform;
    float rect[4];
    shapeDragRectangle(tools_.tool, t.anchorX, t.anchorY, corner.x, corner.y, shift, rect);
    t.centreX = rect[0];
    t.centreY = rect[1];
    t.width = rect[2];
    t.height = rect[3];
    const GfxElementInput input = rectangleInput(t.elementKind, t);
    gfxExtendElement(canvas_, &input);
    checkEngine();
}

// The open element again from the shown vertices (and the rubber band to the pointer):
// closed, taken back out of the history, begun anew. Begin discards the undone copy.
void DocumentController::rebuildPlacedElement(const GfxSample* rubberBand)
{
    VertexPlacement& p = tools_.placement;
    if (p.vertices.empty() || p.shown <= 0) return;
    const GfxElementInput none = samplesInput(p.kind, nullptr, 0);
    gfxEndElement(canvas_, &none);
    checkEngine();
    gfxUndo(canvas_);
    checkEngine();
    const GfxElementInput first = samplesInput(p.kind, &p.vertices[0], 1);
    gfxBeginElement(canvas_, &first);
    checkEngine();
    std::vector<GfxSample> rest(p.vertices.begin() + 1, p.vertices.begin() + p.shown);
    if (rubberBand) rest.push_back(*rubberBand);
    if (rest.empty()) return;
    const GfxElementInput more = samplesInput(p.kind, rest.data(), static_cast<int32_t>(rest.size()));
    gfxExtendElement(canvas_, &more);
    checkEngine();
}

// Ends the element with exactly the shown vertices (a polygon closes on its first).
void DocumentController::endPlacedElement()
{
    rebuildPlacedElement(nullptr);
    const GfxElementInput none = samplesInput(tools_.placement.kind, nullptr, 0);
    gfxEndElement(canvas_, &none);
    checkEngine();
    tools_.placement = VertexPlacement{};
}

// ---------------------------------------------------------------------------------------
// [SECTION] Transforms in progress
// ---------------------------------------------------------------------------------------
void DocumentController::pressShape(const GfxSample& sample)
{
    TransformInProgress& t = tools_.transform;
    if (!t.active) {
        // An image placement without its image has nothing to place.
        if (tools_.tool == TOOL_IMAGE_PLACEMENT) {
            returnToPreviousTool();
            return;
        }
        t = TransformInProgress{};
        t.active = true;
        t.elementKind = elementKindOfTool(tools_.tool);
        t.centreX = t.anchorX = sample.x;
        t.centreY = t.anchorY = sample.y;
        const GfxElementInput input = rectangleInput(t.elementKind, t);
        gfxBeginElement(canvas_, &input);
        checkEngine();
        tools_.interaction = INTERACTION_SHAPE_DRAG;
        return;
    }
    // A press on one of the rectangle's handles drags it (selection, Selection.h);
    // every other press ends the shape.
    if (pressTransformHandle(*this, sample, INTERACTION_SHAPE_TRANSFORM)) return;
    commitTransform();
    tools_.interaction = INTERACTION_IDLE;
    setToolCursor();
}

void DocumentController::pressSelectionTransform(const GfxSample& sample)
{
    // A press on a handle drags it (selection, Selection.h); elsewhere it commits.
    if (pressTransformHandle(*this, sample, INTERACTION_SELECTION_TRANSFORM)) return;
    commitTransform();
    tools_.interaction = INTERACTION_IDLE;
    if (tools_.tool == TOOL_TRANSFORM_SELECTION) returnToPreviousTool();  // nothing was open
}

// Ends the shape or image element with its rectangle, or places the floating
// selection; an image placement returns to the tool used before the import.
void DocumentController::commitTransform()
{
    const TransformInProgress t = tools_.transform;
    tools_.transform.active = false;
    tools_.handleDrag = HandleDrag{};  // selection: no handle drag outlives its rectangle
    if (!t.active) return;
    if (t.selection) {
        const GfxPastePlacement placement{t.centreX, t.centreY, t.width, t.height, t.angle};
        gfxCommitPaste(canvas_, &placement);
        checkEngine();
        markChanged();
        // selection: the floating selection's tool gives way to the one it came from
        if (tools_.tool == TOOL_TRANSFORM_SELECTION) returnToPreviousTool();
        return;
    }
    const GfxElementInput input = rectangleInput(t.elementKind, t);
    gfxEndElement(canvas_, &input);
    checkEngine();
    markChanged();
    if (t.elementKind == GFX_ELEMENT_IMAGE && tools_.tool == TOOL_IMAGE_PLACEMENT) returnToPreviousTool();
}

void DocumentController::returnToPreviousTool()
{
    tools_.tool = tools_.previousTool;
    interfaceState_.toolChanged = true;
    setToolCursor();
    requestRedraw();
}

// ---------------------------------------------------------------------------------------
// [SECTION] finishInteraction
// ---------------------------------------------------------------------------------------
void DocumentController::finishInteraction()
{
    // A fatal error inside may offer to save, and saving finishes the interaction.
    if (tools_.finishing) return;
    tools_.finishing = true;
    const int32_t interaction = tools_.interaction;
    tools_.interaction = INTERACTION_IDLE;
    switch (interaction) {
    case INTERACTION_MARQUEE:
        // A marquee being dragged goes; a finished one stays shown across tool switches
        // (the arrow keys still move it in the pan tool).
        tools_.marquee = Marquee{};
        break;
    case INTERACTION_FREEHAND:
    case INTERACTION_LINE: {
        // Ended as drawn: an open element would make the next model change fail.
        const int32_t kind = interaction == INTERACTION_FREEHAND ? GFX_ELEMENT_FREEHAND : GFX_ELEMENT_LINE;
        const GfxElementInput none = samplesInput(kind, nullptr, 0);
        gfxEndElement(canvas_, &none);
        checkEngine();
        markChanged();
        break;
    }
    case INTERACTION_PLACING_VERTICES:
        endPlacedElement();
        markChanged();
        break;
    case INTERACTION_GESTURE: endToolGesture(nullptr); break;
    case INTERACTION_TOUCH_GESTURE: endTouchGesture(); break;
    case INTERACTION_SHAPE_TRANSFORM: restoreToolCursor(); break;  // a touch hid it
    default: break;
    }
    if (tools_.transform.active) commitTransform();
    tools_.finishing = false;
}

// ---------------------------------------------------------------------------------------
// [SECTION] Tool switch and temporary tools
// ---------------------------------------------------------------------------------------
void DocumentController::setTool(int32_t tool, bool ignoreIfSame)
{
    if (tool < 0 || tool >= TOOL_COUNT) return;
    if (ignoreIfSame && tool == tools_.tool) return;
    finishInteraction();
    tools_.previousTool = tools_.tool;
    tools_.tool = tool;
    if (!interfaceState_.keepCursor) setToolCursor();
    if (tool >= TOOL_BRUSH && tool <= TOOL_CIRCLE && !tools_.suppressShapeReset) {
        interfaceState_.shapeDismiss = false;
        interfaceState_.shapeRefresh = true;
    }
    if (isShapeTool(tool)) tools_.lastShapeTool = tool;
    interfaceState_.toolChanged = true;
    requestRedraw();
}

void DocumentController::startTemporaryTool(int32_t tool, TemporaryKey key)
{
    if (tools_.temporaryKey != TemporaryKey::None) {
        if (tools_.tool == tool) return;  // the key repeats
        endTemporaryTool();
    }
    finishInteraction();
    setTool(tool, false);
    tools_.temporaryKey = key;
    if (key == TemporaryKey::Space) window_.setKeyRepeatIgnored(true);
}

void DocumentController::endTemporaryTool()
{
    if (tools_.temporaryKey == TemporaryKey::None) return;
    tools_.temporaryKey = TemporaryKey::None;
    setTool(tools_.previousTool, false);  // ends the gesture first
}

void DocumentController::choosePen()
{
    if (tools_.tool == TOOL_BRUSH && !tools_.eraserChosen) return;
    selectPreset(tools_.penPresetId, tools_.pen);
}

void DocumentController::chooseEraser()
{
    if (tools_.tool == TOOL_BRUSH && tools_.eraserChosen) return;
    selectPreset(tools_.eraserPresetId, tools_.eraser);
}

void DocumentController::stylusEndChanged(bool eraserEnd)
{
    if (eraserEnd && !tools_.stylusEraser && !tools_.eraserChosen) {
        tools_.suppressShapeReset = true;
        selectPreset(tools_.eraserPresetId, tools_.eraser);
        tools_.suppressShapeReset = false;
        tools_.eraserChosen = false;  // the stylus chose it, not the user
    } else if (!eraserEnd && tools_.stylusEraser && !tools_.eraserChosen) {
        selectPreset(tools_.penPresetId, tools_.pen);
    }
    interfaceState_.penChanged = true;  // the brush panel shows the end in use
    tools_.stylusEraser = eraserEnd;
}

void DocumentController::chooseShapeTool()
{
    setTool(isShapeTool(tools_.tool) ? nextShapeTool(tools_.tool) : tools_.lastShapeTool, false);
}

// ---------------------------------------------------------------------------------------
// [SECTION] Presets, width, opacity and pen scaling
// ---------------------------------------------------------------------------------------
const PenPreset& DocumentController::currentPreset() const { return tools_.eraserInUse ? tools_.eraser : tools_.pen; }
PenPreset& DocumentController::currentPreset() { return tools_.eraserInUse ? tools_.eraser : tools_.pen; }

float DocumentController::currentPenWidth() { return readAttributes(canvas_, GFX_SKETCH_PEN_WIDTH).penWidth; }

void DocumentController::applyPresetToEngine(const PenPreset& preset, float scale)
{
    const PenPreset pen = penScaleWithZoom_ ? scaledPenPreset(preset, scale) : preset;
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_NOISE | GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_WIDTH_SENSITIVITY |
              GFX_SKETCH_PEN_OPACITY | GFX_SKETCH_PEN_OPACITY_SENSITIVITY | GFX_SKETCH_ERASE_MODE;
    a.penType = pen.penType;
    a.penNoise = pen.noise;
    a.penWidth = pen.width;
    a.penWidthSensitivity = pen.widthSensitivity;
    a.penOpacity = pen.opacity;
    a.penOpacitySensitivity = pen.opacitySensitivity;
    a.eraseMode = tools_.eraserInUse ? 1 : 0;
    gfxSetSketchAttributes(canvas_, &a);
    interfaceState_.penChanged = true;
    refreshBrushOutline();
}

// Records the preset as the current pen or eraser and gives it to the engine (the
// colour stays the colour panel's).
void DocumentController::usePreset(int32_t presetId, const PenPreset& preset)
{
    const bool eraser = isEraserPreset(presetId);
    if (eraser) {
        tools_.eraserPresetId = presetId;
        tools_.eraser = preset;
    } else {
        tools_.penPresetId = presetId;
        tools_.pen = preset;
    }
    tools_.eraserInUse = tools_.eraserChosen = eraser;
    applyPresetToEngine(preset, penScaleFactor_);
}

void DocumentController::selectPreset(int32_t presetId, const PenPreset& preset)
{
    usePreset(presetId, preset);
    setTool(TOOL_BRUSH, true);
}

void DocumentController::stepPenWidth(int32_t step)
{
    // The preset's own width moves by one pixel: stepping the engine's width, which pen
    // scaling has already multiplied, would scale it a second time.
    const bool eraser = readAttributes(canvas_, GFX_SKETCH_ERASE_MODE).eraseMode != 0;
    PenPreset& preset = eraser ? tools_.eraser : tools_.pen;
    preset.width = std::clamp(std::floor(preset.width) + static_cast<float>(step), 0.0f, PEN_WIDTH_MAX);
    usePreset(eraser ? tools_.eraserPresetId : tools_.penPresetId, preset);
}

void DocumentController::stepPenOpacity(float step)
{
    PenPreset& preset = currentPreset();
    preset.opacity = std::clamp(preset.opacity + step, PEN_OPACITY_LOWEST, 1.0f);
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_PEN_OPACITY;
    a.penOpacity = preset.opacity;
    gfxSetSketchAttributes(canvas_, &a);
    interfaceState_.penChanged = true;
    markChanged();
}

void DocumentController::setPenOpacityDigit(int32_t digit)
{
    if (digit < 0 || digit > 9) return;
    PenPreset& preset = currentPreset();
    preset.opacity = digit == 0 ? 1.0f : 0.1f * static_cast<float>(digit);
    usePreset(tools_.eraserInUse ? tools_.eraserPresetId : tools_.penPresetId, preset);
}

void DocumentController::setPenScaleWithZoom(bool on)
{
    if (on) {
        penScaleWithZoom_ = true;
        applyPenScale(1.0f);
        return;
    }
    if (penScaleFactor_ != 1.0f) markChanged();
    penScaleWithZoom_ = false;
    applyPenScale(1.0f);
}

void DocumentController::applyPenScale(float scale)
{
    penScaleFactor_ = scale;
    previewPenScale(scale);
}

void DocumentController::previewPenScale(float scale)
{
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_PEN_WIDTH;
    const float factor = penScaleWithZoom_ ? scale : 1.0f;
    a.penWidth = std::clamp(currentPreset().width * factor, PEN_WIDTH_MIN, PEN_WIDTH_MAX);
    gfxSetSketchAttributes(canvas_, &a);
    interfaceState_.penChanged = true;
    refreshBrushOutline();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Colour picking
// ---------------------------------------------------------------------------------------
// The pixel under the sample, from the front buffer (from the bound framebuffer
// object when one is bound, as in off-screen work), becomes the pen colour, or the
// paper colour while the paper is the colour target.
void DocumentController::pickColour(const GfxSample& sample)
{
    float viewport[4] = {0, 0, 0, 0};
    gfxGetViewport(canvas_, viewport);
    const int32_t x = static_cast<int32_t>(std::floor(sample.x));
    const int32_t y = static_cast<int32_t>(std::floor(sample.y));
    // Off the canvas there is nothing to pick (a drag may leave the window).
    if (x < 0 || y < 0 || x >= static_cast<int32_t>(viewport[2]) || y >= static_cast<int32_t>(viewport[3])) return;
    GLint framebuffer = 0;
    GLint readBuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    if (framebuffer == 0) glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pickScratch_.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    if (framebuffer == 0) glReadBuffer(static_cast<GLenum>(readBuffer));
    std::copy(pickScratch_.begin(), pickScratch_.begin() + 3, tools_.pickedColour);
    interfaceState_.colourPicked = true;

    GfxSketchAttributes a;
    if (interfaceState_.paperColourTarget) {
        a.flags = GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TINT;
        std::copy(tools_.pickedColour, tools_.pickedColour + 3, a.paperColour);
        a.paperTint = 1;
    } else {
        a.flags = GFX_SKETCH_PEN_COLOUR;
        std::copy(tools_.pickedColour, tools_.pickedColour + 3, a.penColour);
    }
    gfxSetSketchAttributes(canvas_, &a);
    markChanged();
    requestRedraw();
}
