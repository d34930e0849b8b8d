// gfxRenderSketch's first-use GL checks, the paper clear and the default state it
// leaves behind, and gfxSetViewport.
#include "EngineTestSupport.h"
#include "GlTestContext.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

namespace {

class RenderSetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(glTestContextMakeCurrent());
        system = gfxCreateSystem();
        sketch = gfxCreateSketch(system, nullptr);
        ASSERT_NE(sketch, nullptr);
        gfxAddLayer(sketch, nullptr);
        gfxSetViewport(sketch, 0, 0, 64, 48);
    }
    void TearDown() override { gfxDestroySystem(system); }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

// Turns one GLEW extension flag off for a scope, as on a GL that lacks it.
class MissingExtension {
public:
    explicit MissingExtension(GLboolean& flag) : flag_(flag), saved_(flag) { flag_ = GL_FALSE; }
    ~MissingExtension() { flag_ = saved_; }

private:
    GLboolean& flag_;
    GLboolean saved_;
};

TEST_F(RenderSetupTest, MissingShaderExtensionsGiveFourUntilTheyArePresent)
{
    GlTestFramebuffer target(64, 48);
    ASSERT_TRUE(target.complete());
    GLboolean* flags[] = {&__GLEW_ARB_fragment_shader, &__GLEW_ARB_vertex_shader, &__GLEW_ARB_shader_objects,
                          &__GLEW_ARB_shading_language_100};
    for (GLboolean* flag : flags) {
        MissingExtension missing(*flag);
        gfxRenderSketch(sketch);
        EXPECT_EQ(gfxGetLastError(system), GFX_ERR_GPU_SUPPORT);
        EXPECT_EQ(system->glReady, 0);
    }
    {
        MissingExtension missing(__GLEW_ARB_texture_non_power_of_two);
        gfxRenderSketch(sketch);
        EXPECT_EQ(gfxGetLastError(system), GFX_ERR_GL_SUPPORT);
        EXPECT_EQ(system->glReady, 0);
    }
    gfxRenderSketch(sketch);  // checked again, and now it passes
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    EXPECT_EQ(system->glReady, 1);
}

TEST_F(RenderSetupTest, ClearsToThePaperColourOrTransparentBlack)
{
    GlTestFramebuffer target(64, 48);
    GfxSketchAttributes paper;
    paper.flags = GFX_SKETCH_PAPER_COLOUR;
    paper.paperColour[0] = 200;
    paper.paperColour[1] = 100;
    paper.paperColour[2] = 50;
    gfxSetSketchAttributes(sketch, &paper);
    gfxRenderSketch(sketch);
    ASSERT_EQ(gfxGetLastError(system), GFX_OK);
    const auto pixel = target.pixel(10, 10);
    EXPECT_EQ(pixel[0], 200);
    EXPECT_EQ(pixel[1], 100);
    EXPECT_EQ(pixel[2], 50);
    EXPECT_EQ(pixel[3], 255);
    EXPECT_EQ(sketch->needsRedraw, 0);

    sketch->paperVisible = 0;
    gfxRenderSketch(sketch);
    const auto cleared = target.pixel(63, 47);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(cleared[c], 0);
}

TEST_F(RenderSetupTest, LeavesTheDefaultStateBehind)
{
    GlTestFramebuffer target(64, 48);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDepthFunc(GL_ALWAYS);
    glStencilOp(GL_ZERO, GL_INCR, GL_DECR);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gfxRenderSketch(sketch);
    GLint value = 0;
    const struct {
        GLenum name;
        GLint expected;
    } cases[] = {{GL_BLEND_SRC, GL_ONE},           {GL_BLEND_DST, GL_ZERO},
                 {GL_BLEND_EQUATION, GL_FUNC_ADD}, {GL_DEPTH_FUNC, GL_LESS},
                 {GL_STENCIL_FUNC, GL_ALWAYS},     {GL_STENCIL_REF, 1},
                 {GL_STENCIL_VALUE_MASK, 1},       {GL_STENCIL_FAIL, GL_KEEP},
                 {GL_STENCIL_PASS_DEPTH_FAIL, GL_KEEP}, {GL_STENCIL_PASS_DEPTH_PASS, GL_KEEP},
                 {GL_PACK_ALIGNMENT, 4}};
    for (const auto& c : cases) {
        glGetIntegerv(c.name, &value);
        EXPECT_EQ(value, c.expected) << std::hex << c.name;
    }
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    EXPECT_EQ(value, GL_MODULATE);
    GLfloat depthClear = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depthClear);
    EXPECT_FLOAT_EQ(depthClear, 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderSetupTest, MissingLayerInTheOrderGivesSeven)
{
    GlTestFramebuffer target(64, 48);
    sketch->layerOrder[0] = 57;  // a slot with no layer
    gfxRenderSketch(sketch);
    EXPECT_EQ(gfxGetLastError(system), GFX_ERR_INTERNAL);
    sketch->layerOrder[0] = 0;
}

TEST_F(RenderSetupTest, HiddenLayersAreMarkedForRedrawOnAFullRedraw)
{
    GlTestFramebuffer target(64, 48);
    GfxLayer* layer = gfxLayerAtPosition(sketch, 0);
    layer->visible = 0;
    layer->renderState = GFX_RENDER_CLEAN;
    gfxRenderSketch(sketch);  // the viewport asked for a full redraw
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW_ALL);
}

TEST_F(RenderSetupTest, ViewportStoresTheRectangleAndGrowsTheTextureSize)
{
    float rect[4];
    gfxGetViewport(sketch, rect);
    EXPECT_FLOAT_EQ(rect[2], 64);
    EXPECT_FLOAT_EQ(rect[3], 48);
    EXPECT_EQ(sketch->layerTextureSize[0], 64);
    EXPECT_EQ(sketch->layerTextureSize[1], 48);
    EXPECT_TRUE(gfxMatrixIsIdentity(sketch->view, 0));  // the first viewport does not pan

    GfxLayer* layer = gfxLayerAtPosition(sketch, 0);
    glGenTextures(1, &layer->texture);
    layer->renderState = GFX_RENDER_CLEAN;
    sketch->needsRedraw = 0;
    gfxSetViewport(sketch, 0, 0, 32.9f, 20);  // shrinking keeps the textures
    EXPECT_NE(layer->texture, 0u);
    EXPECT_EQ(layer->renderState, GFX_RENDER_CLEAN);
    EXPECT_EQ(sketch->needsRedraw, 1);
    gfxSetViewport(sketch, 0, 0, 100.7f, 20);  // growing re-creates them
    EXPECT_EQ(layer->texture, 0u);
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW_ALL);
    EXPECT_EQ(sketch->layerTextureSize[0], 100);
    EXPECT_EQ(sketch->layerTextureSize[1], 48);
}

TEST_F(RenderSetupTest, MovingTheOriginPansTheViewBack)
{
    gfxLayerAtPosition(sketch, 0)->frameWritten = 1;
    gfxSetViewport(sketch, 10, 4, 64, 48);
    float view[16];
    float scale = 0;
    gfxGetView(sketch, view, &scale);
    // A canvas point at viewport position p sits at window origin + p: moving the
    // origin by (10, 4) moves the view by (-10, -4), so it stays put.
    EXPECT_FLOAT_EQ(view[12], -10);
    EXPECT_FLOAT_EQ(view[13], -4);
    EXPECT_FLOAT_EQ(scale, 1);
    EXPECT_EQ(gfxLayerAtPosition(sketch, 0)->frameWritten, 0);  // a new frame before the next element
}

}  // namespace
