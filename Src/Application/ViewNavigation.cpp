// View navigation: the gestures of the zoom, pan and rotate tools (canvas and layer),
// discrete steps, the wheel, arrow nudges, mirror, reset, fitting all strokes and the
// two-finger touch gestures.
//
// [SECTION] Gesture arithmetic
// [SECTION] Tool gestures
// [SECTION] Steps, wheel and arrows
// [SECTION] Mirror, reset and fit
// [SECTION] Touch gestures
#include "DocumentController.h"
#include "Fatal.h"
#include "Selection.h"
#include "ViewNavigation.h"
#include "WindowKeys.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const char* kMaximumPointMessage =
    "Maximum point reached. Pan around to find strokes or choose a pin from the list.";
// kHiddenLayerMessage: LayerOperations.h.

GfxGesture gestureOfKind(int32_t kind, float centreX, float centreY)
{
    GfxGesture g;
    g.kind = kind;
    g.centreX = centreX;
    g.centreY = centreY;
    return g;
}

int32_t toolGestureKind(int32_t tool)
{
    switch (tool) {
    case TOOL_ZOOM_CANVAS:
    case TOOL_ZOOM_LAYER: return GFX_GESTURE_ZOOM;
    case TOOL_ROTATE_CANVAS:
    case TOOL_ROTATE_LAYER: return GFX_GESTURE_ROTATE;
    default: return GFX_GESTURE_PAN;
    }
}

GfxSketchStats strokeStats(GfxSketch* canvas)
{
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(canvas, &a);
    return a.stats;
}

float strokesDiagonal(GfxSketch* canvas)
{
    const GfxSketchStats stats = strokeStats(canvas);
    return std::sqrt(stats.bounds[2] * stats.bounds[2] + stats.bounds[3] * stats.bounds[3]);
}

bool scalesPen(int32_t gestureKind) { return gestureKind == GFX_GESTURE_ZOOM || gestureKind == GFX_GESTURE_COMBINED; }

}  // namespace

// ---------------------------------------------------------------------------------------
// [SECTION] Gesture arithmetic
// ---------------------------------------------------------------------------------------
GfxGesture toolDragGesture(int32_t gestureKind, float anchorX, float anchorY, float x, float y)
{
    GfxGesture g = gestureOfKind(gestureKind, anchorX, anchorY);
    switch (gestureKind) {
    case GFX_GESTURE_ZOOM: g.scaleX = std::exp2((x - anchorX) * DRAG_ZOOM_RATE); break;
    case GFX_GESTURE_ROTATE: g.angle = (anchorX - x) * DRAG_ROTATE_RATE * DEGREES_PER_RADIAN; break;
    default:
        g.translateX = x - anchorX;
        g.translateY = y - anchorY;
        break;
    }
    return g;
}

GfxGesture viewStepGesture(int32_t step, float centreX, float centreY)
{
    GfxGesture g = gestureOfKind(GFX_GESTURE_PAN, centreX, centreY);
    switch (step) {
    case VIEW_STEP_SCALE_UP:
        g.kind = GFX_GESTURE_ZOOM;
        g.scaleX = STEP_ZOOM_IN;
        break;
    case VIEW_STEP_SCALE_DOWN:
        g.kind = GFX_GESTURE_ZOOM;
        g.scaleX = STEP_ZOOM_OUT;
        break;
    case VIEW_STEP_ROTATE_LEFT:
        g.kind = GFX_GESTURE_ROTATE;
        g.angle = -STEP_ROTATE_DEGREES;
        break;
    case VIEW_STEP_ROTATE_RIGHT:
        g.kind = GFX_GESTURE_ROTATE;
        g.angle = STEP_ROTATE_DEGREES;
        break;
    case VIEW_STEP_PAN_LEFT: g.translateX = -STEP_PAN_PIXELS; break;
    case VIEW_STEP_PAN_RIGHT: g.translateX = STEP_PAN_PIXELS; break;
    case VIEW_STEP_PAN_UP: g.translateY = STEP_PAN_PIXELS; break;
    case VIEW_STEP_PAN_DOWN: g.translateY = -STEP_PAN_PIXELS; break;
    default: break;  // an unknown step pans by nothing
    }
    return g;
}

int32_t wheelScaleSteps(int32_t delta)
{
    int64_t steps = 0;
    if (delta >= WHEEL_NOTCH) steps = delta / WHEEL_NOTCH;
    else if (delta <= -WHEEL_NOTCH) steps = -(-static_cast<int64_t>(delta) / WHEEL_NOTCH);
    return static_cast<int32_t>(std::clamp<int64_t>(steps, -WHEEL_STEPS_LIMIT, WHEEL_STEPS_LIMIT));
}

float fitZoom(float boxWidth, float boxHeight, float windowWidth, float windowHeight)
{
    return boxWidth / windowWidth > boxHeight / windowHeight ? windowWidth / boxWidth : windowHeight / boxHeight;
}

// ---------------------------------------------------------------------------------------
// [SECTION] Tool gestures
// ---------------------------------------------------------------------------------------
float DocumentController::currentViewScale()
{
    float scale = 1.0f;
    gfxGetView(canvas_, nullptr, &scale);
    return scale;
}

// The canvas view moved: no pin is current any more, and the pin list shows it.
void DocumentController::noteCanvasViewChanged()
{
    interfaceState_.navigationChanged = true;
    clearCurrentPin(*this);
}

void DocumentController::penScaleAfterZoom(float viewScaleBefore)
{
    if (!penScaleWithZoom_ || viewScaleBefore == 0) return;
    applyPenScale(penScaleFactor_ * currentViewScale() / viewScaleBefore);
}

void DocumentController::beginInstantGesture(const GfxGesture& gesture, bool onLayer)
{
    if (onLayer) {
        gfxBeginLayerGesture(canvas_, &gesture);
        checkEngine();
        gfxEndLayerGesture(canvas_, &gesture);
    } else {
        gfxBeginViewGesture(canvas_, &gesture);
        checkEngine();
        gfxEndViewGesture(canvas_, &gesture);
    }
    checkEngine();
}

void DocumentController::beginToolGesture(const GfxSample& sample)
{
    view_ = ViewManipulation{};
    view_.onLayer = isLayerTool(tools_.tool);
    view_.gesture = toolDragGesture(toolGestureKind(tools_.tool), sample.x, sample.y, sample.x, sample.y);
    view_.viewScaleBefore = currentViewScale();
    if (view_.onLayer) gfxBeginLayerGesture(canvas_, &view_.gesture);
    else gfxBeginViewGesture(canvas_, &view_.gesture);
    checkEngine();
    view_.active = true;
    tools_.interaction = INTERACTION_GESTURE;
}

void DocumentController::updateToolGesture(const GfxSample& sample)
{
    if (!view_.active) return;
    GfxGesture& g = view_.gesture;
    g = toolDragGesture(g.kind, g.centreX, g.centreY, sample.x, sample.y);
    if (view_.onLayer) {
        gfxUpdateLayerGesture(canvas_, &g);
        checkEngine();
        return;
    }
    gfxUpdateViewGesture(canvas_, &g);
    checkEngine();
    if (g.kind == GFX_GESTURE_ZOOM && penScaleWithZoom_) previewPenScale(penScaleFactor_ * g.scaleX);
    noteCanvasViewChanged();
}

// Ends the tool's gesture at `sample` (the release, shown at once), or where it last
// was when the interaction is finished from elsewhere.
void DocumentController::endToolGesture(const GfxSample* sample)
{
    if (!view_.active) return;
    if (sample) {
        updateToolGesture(*sample);
        window_.drawFrameNow();
    }
    const ViewManipulation v = view_;
    view_.active = false;
    if (v.onLayer) gfxEndLayerGesture(canvas_, &v.gesture);
    else gfxEndViewGesture(canvas_, &v.gesture);
    checkEngine();
    markChanged();
    if (v.onLayer) return;
    noteCanvasViewChanged();
    if (v.gesture.kind == GFX_GESTURE_ZOOM) penScaleAfterZoom(v.viewScaleBefore);
}

// ---------------------------------------------------------------------------------------
// [SECTION] Steps, wheel and arrows
// ---------------------------------------------------------------------------------------
void DocumentController::viewStep(int32_t step)
{
    finishInteraction();
    const float centreX = static_cast<float>(windowState_.clientWidth) / 2;
    const float centreY = static_cast<float>(windowState_.clientHeight) / 2;
    noteCanvasViewChanged();
    const float before = currentViewScale();
    const GfxGesture gesture = viewStepGesture(step, centreX, centreY);
    beginInstantGesture(gesture, false);
    markChanged();
    requestRedraw();
    if (gesture.kind == GFX_GESTURE_ZOOM) penScaleAfterZoom(before);
}

void DocumentController::mouseWheel(int32_t delta)
{
    const int32_t steps = wheelScaleSteps(delta);
    for (int32_t i = 0; i < std::abs(steps); ++i) viewStep(steps > 0 ? VIEW_STEP_SCALE_UP : VIEW_STEP_SCALE_DOWN);
}

void DocumentController::arrowKey(int32_t key)
{
    float dx = 0;
    float dy = 0;
    switch (key) {
    case WINDOW_KEY_LEFT: dx = -1; break;
    case WINDOW_KEY_UP: dy = 1; break;
    case WINDOW_KEY_RIGHT: dx = 1; break;
    case WINDOW_KEY_DOWN: dy = -1; break;
    default: return;
    }
    Marquee& marquee = tools_.marquee;
    TransformInProgress& t = tools_.transform;
    if (marquee.shown) {
        marquee.x += dx;
        marquee.y += dy;
    } else if (t.active) {
        t.centreX += dx;
        t.centreY += dy;
        sendTransform(*this);
    } else if (tools_.tool == TOOL_PAN_CANVAS || tools_.tool == TOOL_PAN_LAYER) {
        const bool onLayer = tools_.tool == TOOL_PAN_LAYER;
        if (onLayer && refusedOnHiddenLayer()) return;
        finishInteraction();
        GfxGesture g = gestureOfKind(GFX_GESTURE_PAN, 0, 0);
        g.translateX = dx;
        g.translateY = dy;
        if (onLayer) {
            gfxBeginLayerGesture(canvas_, &g);
            checkEngine();
            gfxUpdateLayerGesture(canvas_, &g);
            checkEngine();
            gfxEndLayerGesture(canvas_, &g);
        } else {
            gfxBeginViewGesture(canvas_, &g);
            checkEngine();
            gfxUpdateViewGesture(canvas_, &g);
            checkEngine();
            gfxEndViewGesture(canvas_, &g);
            noteCanvasViewChanged();
        }
        checkEngine();
        markChanged();
    }
    requestRedraw();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Mirror, reset and fit
// ---------------------------------------------------------------------------------------
void DocumentController::flipCanvas(bool horizontally)
{
    finishInteraction();
    GfxGesture g = gestureOfKind(GFX_GESTURE_SCALE, static_cast<float>(windowState_.clientWidth) / 2,
                                 static_cast<float>(windowState_.clientHeight) / 2);
    g.scaleX = horizontally ? -1.0f : 1.0f;
    g.scaleY = horizontally ? 1.0f : -1.0f;
    beginInstantGesture(g, false);
    markChanged();
    noteCanvasViewChanged();
    requestRedraw();
}

void DocumentController::resetView()
{
    finishInteraction();
    const float before = penScaleWithZoom_ ? strokesDiagonal(canvas_) : 0.0f;
    gfxResetView(canvas_);
    checkEngine();
    markChanged();
    noteCanvasViewChanged();
    if (penScaleWithZoom_) {
        // The strokes' size on screen changed by after / before; the pen follows it.
        const float after = strokesDiagonal(canvas_);
        applyPenScale(before == 0 ? 1.0f : penScaleFactor_ * after / before);
    }
    requestRedraw();
}

void DocumentController::fitAllStrokes()
{
    // The usage event "Center And Scale Artwork" is sent here once usage analytics exist.
    const GfxSketchStats stats = strokeStats(canvas_);
    const float x = stats.bounds[0];
    const float y = stats.bounds[1];
    const float w = stats.bounds[2];
    const float h = stats.bounds[3];
    if (w <= 0 && h <= 0) return;  // nothing drawn
    const float windowWidth = static_cast<float>(windowState_.clientWidth);
    const float windowHeight = static_cast<float>(windowState_.clientHeight);
    // A box without width or height, or a window without size, has no fitting zoom.
    if (w <= 0 || h <= 0 || windowWidth <= 0 || windowHeight <= 0) {
        showMessage(this, kMaximumPointMessage, "Warning", MESSAGE_WARNING);
        return;
    }
    const float zoom = fitZoom(w, h, windowWidth, windowHeight);
    finishInteraction();
    const float before = currentViewScale();
    const double resulting = static_cast<double>(before) * zoom;
    const bool reachable = resulting > FIT_SCALE_LOWEST && resulting < FIT_SCALE_HIGHEST;

    const float centreX = x + w / 2;
    const float centreY = y + h / 2;
    GfxGesture scale = gestureOfKind(GFX_GESTURE_ZOOM, centreX, centreY);
    scale.scaleX = zoom;
    beginInstantGesture(scale, false);
    GfxGesture toOrigin = gestureOfKind(GFX_GESTURE_PAN, 0, 0);
    toOrigin.translateX = -centreX;
    toOrigin.translateY = -centreY;
    beginInstantGesture(toOrigin, false);
    GfxGesture toCentre = gestureOfKind(GFX_GESTURE_PAN, 0, 0);
    toCentre.translateX = windowWidth / 2;
    toCentre.translateY = windowHeight / 2;
    beginInstantGesture(toCentre, false);

    markChanged();
    noteCanvasViewChanged();
    penScaleAfterZoom(before);
    requestRedraw();
    if (!reachable) showMessage(this, kMaximumPointMessage, "Warning", MESSAGE_WARNING);
}

// ---------------------------------------------------------------------------------------
// [SECTION] Touch gestures
// ---------------------------------------------------------------------------------------
void DocumentController::touchGestureBegin(const TouchGestureInput& input)
{
    const bool transforming = tools_.tool == TOOL_IMAGE_PLACEMENT || tools_.tool == TOOL_TRANSFORM_SELECTION;
    if (!transforming) finishInteraction();
    TransformInProgress& t = tools_.transform;
    if (transforming && t.active && input.kind == TOUCH_GESTURE_COMBINED) {
        // Two fingers move, size and turn the open rectangle itself.
        t.startCentreX = t.centreX;
        t.startCentreY = t.centreY;
        t.startWidth = t.width;
        t.startHeight = t.height;
        t.startAngle = t.angle;
        tools_.interaction = INTERACTION_SHAPE_TRANSFORM;
        window_.setCursor(CursorKind::Invisible);
        return;
    }
    // An image being placed keeps its element open, which no view gesture may cross.
    if (t.active && !t.selection) return;
    const bool onLayer = isLayerTool(tools_.tool);
    if (onLayer && !currentLayerVisible()) {
        showMessage(this, kHiddenLayerMessage, "Warning", MESSAGE_WARNING);
        return;
    }
    GfxGesture g = gestureOfKind(GFX_GESTURE_PAN, input.centreX, input.centreY);
    switch (input.kind) {
    case TOUCH_GESTURE_PAN:
        // The same sense as every update (y upwards), so the first report does not jump.
        g.translateX = TOUCH_PAN_RATE * input.dx;
        g.translateY = -TOUCH_PAN_RATE * input.dy;
        break;
    case TOUCH_GESTURE_ZOOM:
        g.kind = GFX_GESTURE_ZOOM;
        g.scaleX = std::exp2(input.amount * TOUCH_ZOOM_EXPONENT);
        break;
    case TOUCH_GESTURE_ROTATE:
        g.kind = GFX_GESTURE_ROTATE;
        g.angle = input.angle;
        break;
    case TOUCH_GESTURE_COMBINED:
        g.kind = GFX_GESTURE_COMBINED;
        g.scaleX = g.scaleY = input.amount;
        g.translateX = input.dx;
        g.translateY = input.dy;
        g.angle = input.angle;
        break;
    default: return;
    }
    view_ = ViewManipulation{};
    view_.onLayer = onLayer;
    view_.gesture = g;
    view_.touchKind = input.kind;
    view_.viewScaleBefore = currentViewScale();
    if (onLayer) gfxBeginLayerGesture(canvas_, &g);
    else gfxBeginViewGesture(canvas_, &g);
    checkEngine();
    view_.active = true;
    tools_.interaction = INTERACTION_TOUCH_GESTURE;
    window_.setCursor(CursorKind::Invisible);
}

void DocumentController::touchGestureUpdate(const TouchGestureInput& input)
{
    TransformInProgress& t = tools_.transform;
    if (tools_.interaction == INTERACTION_SHAPE_TRANSFORM && t.active) {
        const float sizeFactor = (input.amount - 1) * 0.5f + 1;
        t.centreX = t.startCentreX + input.dx;
        t.centreY = t.startCentreY + input.dy;
        t.width = t.startWidth * sizeFactor;
        t.height = t.startHeight * sizeFactor;
        t.angle = t.startAngle + input.angle;
        sendTransform(*this);
        requestRedraw();
        return;
    }
    if (tools_.interaction != INTERACTION_TOUCH_GESTURE || !view_.active) return;
    GfxGesture& g = view_.gesture;
    switch (view_.touchKind) {
    case TOUCH_GESTURE_PAN:
        g.translateX += TOUCH_PAN_RATE * input.dx;
        g.translateY -= TOUCH_PAN_RATE * input.dy;
        break;
    case TOUCH_GESTURE_ZOOM:
        g.centreX = input.centreX;
        g.centreY = input.centreY;
        g.scaleX *= std::exp2(input.amount * TOUCH_ZOOM_EXPONENT);
        break;
    case TOUCH_GESTURE_ROTATE:
        g.centreX = input.centreX;
        g.centreY = input.centreY;
        g.angle += input.angle;
        break;
    case TOUCH_GESTURE_COMBINED:
        g.centreX = input.centreX;
        g.centreY = input.centreY;
        g.scaleX = g.scaleY = input.amount;
        g.translateX = input.dx;
        g.translateY = input.dy;
        g.angle = input.angle;
        break;
    default: break;
    }
    if (view_.onLayer) {
        gfxUpdateLayerGesture(canvas_, &g);
        checkEngine();
    } else {
        gfxUpdateViewGesture(canvas_, &g);
        checkEngine();
        if (scalesPen(g.kind) && penScaleWithZoom_) previewPenScale(penScaleFactor_ * g.scaleX);
        noteCanvasViewChanged();
    }
    requestRedraw();
}

void DocumentController::touchGestureEnd(const TouchGestureInput& input)
{
    (void)input;  // the last update already carried the gesture's values
    if (tools_.interaction == INTERACTION_SHAPE_TRANSFORM) {
        tools_.interaction = INTERACTION_IDLE;
        restoreToolCursor();
        return;
    }
    if (tools_.interaction != INTERACTION_TOUCH_GESTURE) return;
    tools_.interaction = INTERACTION_IDLE;
    endTouchGesture();
}

void DocumentController::endTouchGesture()
{
    if (!view_.active) return;
    const ViewManipulation v = view_;
    view_.active = false;
    if (v.onLayer) gfxEndLayerGesture(canvas_, &v.gesture);
    else gfxEndViewGesture(canvas_, &v.gesture);
    checkEngine();
    if (!v.onLayer) {
        if (scalesPen(v.gesture.kind)) penScaleAfterZoom(v.viewScaleBefore);
        noteCanvasViewChanged();
    }
    markChanged();
    restoreToolCursor();
    requestRedraw();
}
