// The view: viewport, view and layer gestures, reset, and the gesture maths.
#include "GfxInternal.h"

#include <GL/glew.h>

#include <cmath>

// ----------------------------------------------------------------------------------
// [SECTION] Gesture maths
// ----------------------------------------------------------------------------------
GfxMatrix gfxGestureMatrix(const GfxGesture& g)
{
    const GfxMatrix toCentre = gfxMatrixTranslate(g.centreX, g.centreY);
    const GfxMatrix fromCentre = gfxMatrixTranslate(-g.centreX, -g.centreY);
    GfxMatrix about = gfxMatrixIdentity();  // the part applied about the centre
    switch (g.kind) {
    case GFX_GESTURE_ZOOM: about = gfxMatrixScale(g.scaleX, g.scaleX); break;
    case GFX_GESTURE_PAN: return gfxMatrixTranslate(g.translateX, g.translateY);
    case GFX_GESTURE_ROTATE: about = gfxMatrixRotate(g.angle); break;
    case GFX_GESTURE_SCALE: about = gfxMatrixScale(g.scaleX, g.scaleY); break;
    case GFX_GESTURE_COMBINED: {
        about = gfxMatrixMultiply(gfxMatrixRotate(g.angle), gfxMatrixScale(g.scaleX, g.scaleX));
        const GfxMatrix centred = gfxMatrixMultiply(toCentre, gfxMatrixMultiply(about, fromCentre));
        return gfxMatrixMultiply(gfxMatrixTranslate(g.translateX, g.translateY), centred);
    }
    default: return gfxMatrixIdentity();
    }
    return gfxMatrixMultiply(toCentre, gfxMatrixMultiply(about, fromCentre));
}

float gfxGestureScaleFactor(const GfxGesture& g)
{
    switch (g.kind) {
    case GFX_GESTURE_ZOOM:
    case GFX_GESTURE_COMBINED: return g.scaleX;
    case GFX_GESTURE_SCALE: return 0.5f * (std::fabs(g.scaleX) + std::fabs(g.scaleY));
    default: return 1.0f;
    }
}

void gfxGestureFromMatrix(const float* matrix, GfxGesture* gesture)
{
    if (!matrix || !gesture) return;
    const double a = matrix[0];
    const double b = matrix[1];
    *gesture = GfxGesture{};
    gesture->kind = GFX_GESTURE_COMBINED;
    gesture->centreX = gesture->centreY = 0;
    gesture->scaleX = gesture->scaleY = static_cast<float>(std::sqrt(a * a + b * b));
    gesture->translateX = matrix[12];
    gesture->translateY = matrix[13];
    gesture->angle = static_cast<float>(std::atan2(b, a) * 180.0 / 3.14159265358979323846);
}

namespace {

bool validGestureKind(int32_t kind) { return kind >= GFX_GESTURE_ZOOM && kind <= GFX_GESTURE_COMBINED; }

float finiteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

// Input from touch drivers can carry NaN or infinity; such a value would poison
// the view for good, so it falls back to "no change".
GfxGesture sanitisedGesture(const GfxGesture& in)
{
    GfxGesture g = in;
    g.centreX = finiteOr(g.centreX, 0);
    g.centreY = finiteOr(g.centreY, 0);
    g.scaleX = finiteOr(g.scaleX, 1);
    g.scaleY = finiteOr(g.scaleY, 1);
    g.translateX = finiteOr(g.translateX, 0);
    g.translateY = finiteOr(g.translateY, 0);
    g.angle = finiteOr(g.angle, 0);
    return g;
}

// Keeps |accumulated x factor| within the view scale limits, keeping the sign.
float clampViewFactor(float factor, float accumulated)
{
    const double base = std::fabs(static_cast<double>(accumulated));
    if (base == 0) return factor;
    const double magnitude = std::fabs(static_cast<double>(factor));
    double clamped = magnitude;
    if (base * magnitude < GFX_VIEW_SCALE_MIN) clamped = GFX_VIEW_SCALE_MIN / base;
    if (base * magnitude > GFX_VIEW_SCALE_MAX) clamped = GFX_VIEW_SCALE_MAX / base;
    return static_cast<float>(factor < 0 ? -clamped : clamped);
}

GfxGesture clampedViewGesture(const GfxGesture& in, float viewScale)
{
    GfxGesture g = sanitisedGesture(in);
    g.scaleX = clampViewFactor(g.scaleX, viewScale);
    g.scaleY = clampViewFactor(g.scaleY, viewScale);
    return g;
}

// Negative factors become 0, except for the non-uniform scale, where a negative
// factor is a mirror (flipping a layer) and keeps its sign. The magnitude is kept
// above the smallest scale so the layer matrix stays invertible (a zero scale would
// lose the layer for good).
float clampLayerFactor(float factor, float accumulated, bool mayMirror)
{
    const bool mirror = mayMirror && factor < 0;
    float magnitude = mirror ? -factor : factor;
    if (!(magnitude >= 0)) magnitude = 0;
    const double base = std::fabs(static_cast<double>(accumulated));
    if (base > 0 && base * magnitude < GFX_VIEW_SCALE_MIN) magnitude = static_cast<float>(GFX_VIEW_SCALE_MIN / base);
    if (base > 0 && base * magnitude > GFX_VIEW_SCALE_MAX) magnitude = static_cast<float>(GFX_VIEW_SCALE_MAX / base);
    return mirror ? -magnitude : magnitude;
}

// `kind` is the kind the gesture was begun with (update and end keep it).
GfxGesture clampedLayerGesture(const GfxGesture& in, int32_t kind, float layerScale)
{
    GfxGesture g = sanitisedGesture(in);
    g.kind = kind;
    const bool mayMirror = kind == GFX_GESTURE_SCALE;
    g.scaleX = clampLayerFactor(g.scaleX, layerScale, mayMirror);
    g.scaleY = clampLayerFactor(g.scaleY, layerScale, mayMirror);
    return g;
}

void markAllFramesStale(GfxSketch* sketch)
{
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot)
        if (GfxLayer* layer = gfxLayerAtSlot(sketch, slot)) layer->frameWritten = 0;
}

}  // namespace

void gfxViewChanged(GfxSketch* sketch)
{
    gfxMatrixInvert(sketch->view, &sketch->viewInverse);
    markAllFramesStale(sketch);
    sketch->needsRedraw = 1;
}

void gfxApplyViewTransform(GfxSketch* sketch, const GfxMatrix& transform, float scaleFactor)
{
    sketch->view = gfxMatrixMultiply(transform, sketch->view);
    sketch->viewScale *= scaleFactor;
    // The paper moves, turns and zooms with the canvas.
    sketch->paper.textureMatrix = gfxMatrixMultiply(transform, sketch->paper.textureMatrix);
    gfxViewChanged(sketch);
}

// ----------------------------------------------------------------------------------
// [SECTION] View
// ----------------------------------------------------------------------------------
void gfxResetView(GfxSketch* sketch)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    sketch->view = sketch->frameMatrix = sketch->viewInverse = gfxMatrixIdentity();
    sketch->viewScale = 1.0f;
    sketch->paper.textureMatrix = gfxMatrixIdentity();
    markAllFramesStale(sketch);
    sketch->needsRedraw = 1;
    sketch->system->lastError = GFX_OK;
}

void gfxGetView(GfxSketch* sketch, float* matrix, float* viewScale)
{
    if (!sketch) return;
    if (matrix) std::memcpy(matrix, sketch->view.m, sizeof sketch->view.m);
    if (viewScale) *viewScale = sketch->viewScale;
    sketch->system->lastError = GFX_OK;
}

void gfxBeginViewGesture(GfxSketch* sketch, const GfxGesture* gesture)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    if (!gesture || !validGestureKind(gesture->kind)) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    sketch->viewGesture.kind = gesture->kind + 1;
    sketch->viewGesture.gesture = clampedViewGesture(*gesture, sketch->viewScale);
    sketch->needsRedraw = 1;
    sketch->system->lastError = GFX_OK;
}

void gfxUpdateViewGesture(GfxSketch* sketch, const GfxGesture* gesture)
{
    if (!sketch) return;
    if (!gesture || sketch->viewGesture.kind == 0) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    GfxGesture g = clampedViewGesture(*gesture, sketch->viewScale);
    g.kind = sketch->viewGesture.kind - 1;  // the kind is the one begun
    sketch->viewGesture.gesture = g;
    sketch->needsRedraw = 1;
    sketch->system->lastError = GFX_OK;
}

void gfxEndViewGesture(GfxSketch* sketch, const GfxGesture* gesture)
{
    if (!sketch) return;
    if (!gesture || sketch->viewGesture.kind == 0 || !validGestureKind(gesture->kind)) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    GfxGesture g = clampedViewGesture(*gesture, sketch->viewScale);
    g.kind = sketch->viewGesture.kind - 1;
    sketch->viewGesture = GfxGestureState{};
    gfxApplyViewTransform(sketch, gfxGestureMatrix(g), gfxGestureScaleFactor(g));
    sketch->system->lastError = GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Layer gestures
// ----------------------------------------------------------------------------------
namespace {

GfxLayer* gestureLayer(GfxSketch* sketch)
{
    return sketch->layerGestureSlot >= 0 ? gfxLayerAtSlot(sketch, sketch->layerGestureSlot) : nullptr;
}

}  // namespace

void gfxBeginLayerGesture(GfxSketch* sketch, const GfxGesture* gesture)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer || !gesture || !validGestureKind(gesture->kind)) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    layer->gesture.kind = gesture->kind + 1;
    layer->gesture.gesture = clampedLayerGesture(*gesture, gesture->kind, layer->scale);
    sketch->layerGestureSlot = layer->slot;
    gfxMarkLayerRedrawAll(layer);
    sketch->system->lastError = GFX_OK;
}

void gfxUpdateLayerGesture(GfxSketch* sketch, const GfxGesture* gesture)
{
    if (!sketch) return;
    GfxLayer* layer = gestureLayer(sketch);
    if (!layer || !gesture) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    layer->gesture.gesture = clampedLayerGesture(*gesture, layer->gesture.kind - 1, layer->scale);
    gfxMarkLayerRedrawAll(layer);
    sketch->system->lastError = GFX_OK;
}

void gfxEndLayerGesture(GfxSketch* sketch, const GfxGesture* gesture)
{
    if (!sketch) return;
    GfxLayer* layer = gestureLayer(sketch);
    if (!layer || !gesture || !validGestureKind(gesture->kind)) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    const GfxGesture g = clampedLayerGesture(*gesture, layer->gesture.kind - 1, layer->scale);
    // The gesture ends whatever happens next, so the busy rule releases the sketch.
    layer->gesture = GfxGestureState{};
    sketch->layerGestureSlot = -1;
    gfxMarkLayerRedrawAll(layer);
    gfxDiscardFutureIfPending(sketch);
    const GfxTransformRecord previous{layer->matrix, layer->scale};
    if (gfxAppendRecordWithHistory(layer, GFX_RECORD_LAYER_TRANSFORMED, &previous, sizeof previous) < 0) return;
    const GfxMatrix screen = gfxMatrixMultiply(gfxGestureMatrix(g), sketch->view);
    layer->matrix = gfxMatrixMultiply(sketch->viewInverse, gfxMatrixMultiply(screen, layer->matrix));
    gfxMatrixInvert(layer->matrix, &layer->inverse);
    layer->scale *= gfxGestureScaleFactor(g);
    layer->frameWritten = 0;
    sketch->system->lastError = GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Viewport
// ----------------------------------------------------------------------------------
void gfxSetViewport(GfxSketch* sketch, float x, float y, float width, float height)
{
    if (!sketch) return;
    // The first viewport only places the canvas; later moves of the origin pan the
    // view back so the drawing stays where it was on screen.
    if (sketch->viewportSet && (x != sketch->viewport[0] || y != sketch->viewport[1]))
        gfxApplyViewTransform(sketch, gfxMatrixTranslate(sketch->viewport[0] - x, sketch->viewport[1] - y), 1.0f);
    sketch->viewport[0] = x;
    sketch->viewport[1] = y;
    sketch->viewport[2] = width;
    sketch->viewport[3] = height;
    sketch->viewportSet = 1;
    const int32_t w = width > 0 ? static_cast<int32_t>(width) : 0;
    const int32_t h = height > 0 ? static_cast<int32_t>(height) : 0;
    if (w > sketch->layerTextureSize[0] || h > sketch->layerTextureSize[1]) {
        // Cached textures are re-created at the new size when next drawn.
        for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) {
            GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
            if (!layer) continue;
            if (layer->texture) glDeleteTextures(1, &layer->texture);
            layer->texture = 0;
            layer->cachedIndex = -1;
            gfxMarkLayerRedrawAll(layer);
        }
        if (sketch->liveTexture) glDeleteTextures(1, &sketch->liveTexture);
        sketch->liveTexture = 0;
        if (w > sketch->layerTextureSize[0]) sketch->layerTextureSize[0] = w;
        if (h > sketch->layerTextureSize[1]) sketch->layerTextureSize[1] = h;
    }
    sketch->needsRedraw = 1;
    sketch->system->lastError = GFX_OK;
}

void gfxGetViewport(GfxSketch* sketch, float* rect)
{
    if (!sketch) return;
    if (rect) std::memcpy(rect, sketch->viewport, sizeof sketch->viewport);
    sketch->system->lastError = GFX_OK;
}
