// Helpers shared by the renderer's pixel tests: a sketch with one layer drawn into a
// small framebuffer object, pen settings, elements drawn through the public calls,
// and pixel comparisons.
#pragma once

#include "EngineTestSupport.h"
#include "GlTestContext.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

using Rgba = std::array<uint8_t, 4>;

struct PenSettings {
    int32_t type = 0;  // marker
    uint8_t colour[3] = {0, 0, 0};
    float width = 8.0f;
    float opacity = 1.0f;
    float widthSensitivity = 0.0f;
    float opacitySensitivity = 0.0f;
    float noise = 0.0f;
    int32_t erase = 0;
};

inline PenSettings marker(uint8_t r, uint8_t g, uint8_t b, float width, float opacity)
{
    PenSettings pen;
    pen.colour[0] = r;
    pen.colour[1] = g;
    pen.colour[2] = b;
    pen.width = width;
    pen.opacity = opacity;
    return pen;
}

inline PenSettings pencil(float width, float opacity)
{
    PenSettings pen = marker(0, 0, 0, width, opacity);
    pen.type = 1;
    return pen;
}

class RenderTest : public ::testing::Test {
protected:
    static constexpr int SIZE = 64;

    void SetUp() override
    {
        ASSERT_TRUE(glTestContextMakeCurrent());
        target = std::make_unique<GlTestFramebuffer>(SIZE, SIZE);
        ASSERT_TRUE(target->complete());
        system = gfxCreateSystem();
        sketch = gfxCreateSketch(system, nullptr);
        ASSERT_NE(sketch, nullptr);
        gfxAddLayer(sketch, nullptr);
        gfxSetViewport(sketch, 0, 0, SIZE, SIZE);
    }
    void TearDown() override
    {
        gfxDestroySystem(system);
        target.reset();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    int32_t error() const { return gfxGetLastError(system); }

    void setPaperColour(uint8_t r, uint8_t g, uint8_t b)
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_PAPER_COLOUR;
        a.paperColour[0] = r;
        a.paperColour[1] = g;
        a.paperColour[2] = b;
        gfxSetSketchAttributes(sketch, &a);
    }

    void setPen(const PenSettings& pen)
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_COLOUR | GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_OPACITY |
                  GFX_SKETCH_PEN_WIDTH_SENSITIVITY | GFX_SKETCH_PEN_OPACITY_SENSITIVITY | GFX_SKETCH_PEN_NOISE |
                  GFX_SKETCH_ERASE_MODE;
        a.penType = pen.type;
        std::memcpy(a.penColour, pen.colour, 3);
        a.penWidth = pen.width;
        a.penOpacity = pen.opacity;
        a.penWidthSensitivity = pen.widthSensitivity;
        a.penOpacitySensitivity = pen.opacitySensitivity;
        a.penNoise = pen.noise;
        a.eraseMode = pen.erase;
        gfxSetSketchAttributes(sketch, &a);
    }

    void setCurrentLayer(int32_t position)
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_CURRENT_LAYER;
        a.currentLayer = position;
        gfxSetSketchAttributes(sketch, &a);
    }

    void setLayerVisible(int32_t position, int32_t visible)
    {
        GfxLayerAttributes a;
        a.flags = GFX_LAYER_VISIBLE;
        a.visible = visible;
        gfxSetLayerAttributes(sketch, position, &a);
    }

    void setLayerOpacity(int32_t position, float opacity)
    {
        GfxLayerAttributes a;
        a.flags = GFX_LAYER_OPACITY;
        a.opacity = opacity;
        gfxSetLayerAttributes(sketch, position, &a);
    }

    // A straight line at full pressure (record type 2).
    void drawLine(float x0, float y0, float x1, float y1)
    {
        const GfxSample start{x0, y0, 1.0f};
        const GfxSample end{x1, y1, 1.0f};
        GfxElementInput input;
        input.kind = GFX_ELEMENT_LINE;
        input.sampleCount = 1;
        input.samples = &start;
        gfxBeginElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
        input.samples = &end;
        gfxEndElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
    }

    // A multi-line through the points at full pressure (record type 3).
    void drawPath(const std::vector<GfxSample>& points)
    {
        GfxElementInput input;
        input.kind = GFX_ELEMENT_MULTI_LINE;
        input.sampleCount = 1;
        input.samples = &points.front();
        gfxBeginElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
        input.sampleCount = static_cast<int32_t>(points.size()) - 2;
        input.samples = points.data() + 1;
        if (input.sampleCount > 0) gfxExtendElement(sketch, &input);
        input.sampleCount = 1;
        input.samples = &points.back();
        gfxEndElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
    }

    // A rectangle or ellipse outline about (x, y).
    void drawShape(int32_t kind, float x, float y, float width, float height, float angle)
    {
        GfxElementInput input;
        input.kind = kind;
        const float rect[4] = {x, y, width, height};
        std::memcpy(input.rect, rect, sizeof rect);
        input.angle = angle;
        gfxBeginElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
        gfxEndElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
    }

    // A raw RGBA image of one colour, centred on (x, y).
    void drawImage(float x, float y, float width, float height, Rgba colour, float angle = 0)
    {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), colour.begin(), colour.end());
        GfxElementInput input;
        input.kind = GFX_ELEMENT_IMAGE;
        const float rect[4] = {x, y, width, height};
        std::memcpy(input.rect, rect, sizeof rect);
        input.angle = angle;
        input.imageEncoding = GFX_IMAGE_RAW_RGBA;
        input.imageLength = static_cast<int32_t>(pixels.size());
        input.imageWidth = 4;
        input.imageHeight = 4;
        input.imageData = pixels.data();
        gfxBeginElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
        gfxEndElement(sketch, &input);
        ASSERT_EQ(error(), GFX_OK);
    }

    void zoomView(float factor, float centreX = 0, float centreY = 0)
    {
        GfxGesture g;
        g.kind = GFX_GESTURE_ZOOM;
        g.centreX = centreX;
        g.centreY = centreY;
        g.scaleX = g.scaleY = factor;
        gfxBeginViewGesture(sketch, &g);
        gfxEndViewGesture(sketch, &g);
        ASSERT_EQ(error(), GFX_OK);
    }

    void panView(float dx, float dy)
    {
        GfxGesture g;
        g.kind = GFX_GESTURE_PAN;
        g.translateX = dx;
        g.translateY = dy;
        gfxBeginViewGesture(sketch, &g);
        gfxEndViewGesture(sketch, &g);
        ASSERT_EQ(error(), GFX_OK);
    }

    void render()
    {
        target->bind();
        gfxRenderSketch(sketch);
        ASSERT_EQ(error(), GFX_OK);
    }

    Rgba pixel(int x, int y) const { return target->pixel(x, y); }
    std::vector<uint8_t> pixels() const { return target->readPixels(); }
    const GfxRenderStats& stats() const { return sketch->render.stats; }

    std::unique_ptr<GlTestFramebuffer> target;
    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

// Within `tolerance` in every channel.
inline ::testing::AssertionResult near(Rgba actual, Rgba expected, int tolerance)
{
    for (int c = 0; c < 4; ++c) {
        if (std::abs(actual[c] - expected[c]) > tolerance) {
            return ::testing::AssertionFailure()
                   << "(" << int(actual[0]) << ", " << int(actual[1]) << ", " << int(actual[2]) << ", "
                   << int(actual[3]) << ") is not within " << tolerance << " of (" << int(expected[0]) << ", "
                   << int(expected[1]) << ", " << int(expected[2]) << ", " << int(expected[3]) << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// The paper colour under a layer value of premultiplied density `alpha` of `colour`.
inline Rgba over(Rgba paper, Rgba colour, float alpha)
{
    Rgba r{};
    for (int c = 0; c < 3; ++c) r[c] = static_cast<uint8_t>(colour[c] * alpha + paper[c] * (1 - alpha) + 0.5f);
    r[3] = 255;
    return r;
}
