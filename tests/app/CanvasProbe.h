// Small helpers for controller tests that draw on the canvas and read the engine's
// state back through its attribute calls.
#pragma once

#include "DocumentController.h"
#include "Gfx.h"

#include <array>
#include <string>
#include <vector>

namespace probe {

// One freehand stroke from (x, y) to (x + length, y).
inline void drawStroke(DocumentController& controller, float x, float y, float length = 40)
{
    GfxSample samples[3] = {{x, y, 0.8f}, {x + length / 2, y, 0.8f}, {x + length, y, 0.8f}};
    GfxElementInput input;
    input.kind = GFX_ELEMENT_FREEHAND;
    input.sampleCount = 1;
    input.samples = &samples[0];
    gfxBeginElement(controller.canvas(), &input);
    input.samples = &samples[1];
    gfxExtendElement(controller.canvas(), &input);
    input.samples = &samples[2];
    gfxEndElement(controller.canvas(), &input);
}

inline GfxSketchAttributes sketch(DocumentController& controller, int32_t flags)
{
    GfxSketchAttributes attributes;
    attributes.flags = flags;
    gfxGetSketchAttributes(controller.canvas(), &attributes);
    return attributes;
}

inline GfxLayerAttributes layer(DocumentController& controller, int32_t position)
{
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_NAME | GFX_LAYER_OPACITY | GFX_LAYER_VISIBLE;
    gfxGetLayerAttributes(controller.canvas(), position, &attributes);
    return attributes;
}

// Layer names from the bottom up.
inline std::vector<std::string> layerNames(DocumentController& controller)
{
    std::vector<std::string> names;
    const int32_t count = sketch(controller, GFX_SKETCH_LAYER_COUNT).layerCount;
    for (int32_t position = 0; position < count; ++position) names.push_back(layer(controller, position).name);
    return names;
}

inline void selectLayer(DocumentController& controller, int32_t position)
{
    GfxSketchAttributes attributes;
    attributes.flags = GFX_SKETCH_CURRENT_LAYER;
    attributes.currentLayer = position;
    gfxSetSketchAttributes(controller.canvas(), &attributes);
}

inline void setVisible(DocumentController& controller, int32_t position, bool visible)
{
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_VISIBLE;
    attributes.visible = visible ? 1 : 0;
    gfxSetLayerAttributes(controller.canvas(), position, &attributes);
}

// What a user sees of the layers: names by position, the current one, strokes and where they are.
struct LayerPicture {
    std::vector<std::string> names;
    int32_t current = -1;
    int32_t strokes = 0;
    std::array<float, 4> bounds{};
};
inline LayerPicture picture(DocumentController& controller)
{
    LayerPicture p;
    p.names = layerNames(controller);
    GfxSketchAttributes a = sketch(controller, GFX_SKETCH_CURRENT_LAYER | GFX_SKETCH_STATS);
    p.current = a.currentLayer;
    p.strokes = a.stats.strokeCount;
    for (int i = 0; i < 4; ++i) p.bounds[static_cast<size_t>(i)] = a.stats.bounds[i];
    return p;
}

using Matrix = std::array<float, 16>;
inline Matrix view(DocumentController& controller)
{
    Matrix m{};
    float scale = 0;
    gfxGetView(controller.canvas(), m.data(), &scale);
    return m;
}

// A view gesture begun and ended at once.
inline void viewGesture(DocumentController& controller, GfxGesture gesture)
{
    gfxBeginViewGesture(controller.canvas(), &gesture);
    gfxEndViewGesture(controller.canvas(), &gesture);
}
inline void pan(DocumentController& controller, float dx, float dy)
{
    GfxGesture g;
    g.kind = GFX_GESTURE_PAN;
    g.translateX = dx;
    g.translateY = dy;
    viewGesture(controller, g);
}
inline void zoom(DocumentController& controller, float factor, float x, float y)
{
    GfxGesture g;
    g.kind = GFX_GESTURE_ZOOM;
    g.scaleX = factor;
    g.centreX = x;
    g.centreY = y;
    viewGesture(controller, g);
}
inline void rotate(DocumentController& controller, float degrees, float x, float y)
{
    GfxGesture g;
    g.kind = GFX_GESTURE_ROTATE;
    g.angle = degrees;
    g.centreX = x;
    g.centreY = y;
    viewGesture(controller, g);
}
inline void mirror(DocumentController& controller, float scaleX, float scaleY, float x, float y)
{
    GfxGesture g;
    g.kind = GFX_GESTURE_SCALE;
    g.scaleX = scaleX;
    g.scaleY = scaleY;
    g.centreX = x;
    g.centreY = y;
    viewGesture(controller, g);
}

// Where the 2-D part of `m` takes (x, y), and the point it takes to (x, y).
inline std::array<double, 2> apply(const Matrix& m, double x, double y)
{
    return {m[0] * x + m[4] * y + m[12], m[1] * x + m[5] * y + m[13]};
}
inline std::array<double, 2> unapply(const Matrix& m, double x, double y)
{
    const double det = static_cast<double>(m[0]) * m[5] - static_cast<double>(m[1]) * m[4];
    const double px = x - m[12];
    const double py = y - m[13];
    return {(m[5] * px - m[4] * py) / det, (-m[1] * px + m[0] * py) / det};
}

}  // namespace probe
