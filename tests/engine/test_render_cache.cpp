// The layer cache: frames that walk nothing new, the held-back window that makes
// undoing the newest strokes cheap, depth bands running out, and the textures'
// life across viewport changes.
#include "RenderTestSupport.h"

namespace {

const Rgba WHITE{255, 255, 255, 255};
const Rgba BLACK{0, 0, 0, 255};

using RenderCacheTest = RenderTest;

TEST_F(RenderCacheTest, AFrameWithoutChangesWalksNoRecords)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    for (int i = 0; i < 5; ++i) drawLine(8, 8 + 10.0f * i, 56, 8 + 10.0f * i);
    render();
    render();  // the held-back newest record joins the cache
    const std::vector<uint8_t> before = pixels();
    const GfxRenderStats was = stats();
    render();
    EXPECT_EQ(stats().recordsWalked, was.recordsWalked);
    EXPECT_EQ(stats().layerPasses, was.layerPasses);
    EXPECT_EQ(pixels(), before);
    // One more stroke walks only itself (and the held-back window above the cache).
    drawLine(8, 54, 56, 54);
    render();
    EXPECT_EQ(stats().fullLayerRedraws, was.fullLayerRedraws);
    EXPECT_LE(stats().recordsWalked - was.recordsWalked, 2);
    EXPECT_TRUE(near(pixel(32, 54), BLACK, 0));
    EXPECT_TRUE(near(pixel(32, 8), BLACK, 0));
}

TEST_F(RenderCacheTest, UndoingTheNewestStrokeNeedsNoFullRedraw)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(8, 16, 56, 16);
    render();
    render();
    drawLine(8, 32, 56, 32);
    drawLine(8, 48, 56, 48);
    render();
    const GfxLayer* layer = gfxLayerAtPosition(sketch, 0);
    EXPECT_EQ(layer->cachedIndex, layer->records.cursor - 3);  // the two newest are held back
    const GfxRenderStats was = stats();
    gfxUndo(sketch);
    render();
    EXPECT_EQ(stats().fullLayerRedraws, was.fullLayerRedraws);
    EXPECT_TRUE(near(pixel(32, 48), WHITE, 0));
    EXPECT_TRUE(near(pixel(32, 32), BLACK, 0));
    gfxUndo(sketch);
    render();
    EXPECT_EQ(stats().fullLayerRedraws, was.fullLayerRedraws);
    EXPECT_TRUE(near(pixel(32, 32), WHITE, 0));
    EXPECT_TRUE(near(pixel(32, 16), BLACK, 0));
    gfxRedo(sketch);
    render();
    EXPECT_EQ(stats().fullLayerRedraws, was.fullLayerRedraws);
    EXPECT_TRUE(near(pixel(32, 32), BLACK, 0));
    // Undoing into the cache itself redraws the layer.
    gfxUndo(sketch);
    gfxUndo(sketch);
    render();
    EXPECT_EQ(stats().fullLayerRedraws, was.fullLayerRedraws + 1);
    EXPECT_TRUE(near(pixel(32, 16), WHITE, 0));
}

TEST_F(RenderCacheTest, TheLiveTextureHoldsTheCurrentLayerWithItsHeldBackRecords)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(8, 16, 56, 16);
    render();
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_TEXTURE;
    gfxGetLayerAttributes(sketch, 0, &attributes);
    EXPECT_EQ(attributes.texture, sketch->liveTexture);
    EXPECT_NE(attributes.texture, gfxLayerAtPosition(sketch, 0)->texture);
    gfxAddLayer(sketch, nullptr);  // layer 0 is no longer current: its own texture
    render();
    gfxGetLayerAttributes(sketch, 0, &attributes);
    EXPECT_EQ(attributes.texture, gfxLayerAtPosition(sketch, 0)->texture);
    EXPECT_TRUE(near(pixel(32, 16), BLACK, 0));
    setCurrentLayer(0);
    render();
    EXPECT_TRUE(near(pixel(32, 16), BLACK, 0));
}

TEST_F(RenderCacheTest, AfterAllDepthBandsTheDepthIsClearedAndNothingChanges)
{
    // 32768 bands fill the depth range: one walk with more elements than that clears
    // the depth buffer and starts again, and the strokes after it still show.
    setPen(marker(0, 0, 0, 1, 1.0f));
    for (int32_t i = 0; i < 32766; ++i) drawLine(2, 2, 3, 2);
    // The last two bands lie where the strokes after the wrap go: erasing an empty
    // layer changes no colour but leaves their depth there, which a depth buffer that
    // was not cleared would hold against the new strokes.
    PenSettings eraser = marker(0, 0, 0, 12, 1.0f);
    eraser.erase = 1;
    setPen(eraser);
    drawLine(4, 32, 60, 32);
    drawLine(32, 4, 32, 60);
    setPen(marker(0, 0, 0, 8, 0.5f));
    drawLine(8, 32, 56, 32);
    drawLine(32, 8, 32, 56);
    render();
    EXPECT_EQ(stats().bandWraps, 1);
    const Rgba single = pixel(16, 32);
    const Rgba both = pixel(32, 32);
    EXPECT_TRUE(near(single, over(WHITE, BLACK, 127 / 255.0f), 1));
    EXPECT_TRUE(near(pixel(32, 48), single, 0));
    const float alpha = 127 / 255.0f;
    EXPECT_TRUE(near(both, over(WHITE, BLACK, 1 - (1 - alpha) * (1 - alpha)), 2));
}

TEST_F(RenderCacheTest, GrowingTheViewportRecreatesTheTexturesShrinkingKeepsThem)
{
    GlTestFramebuffer large(96, 96);
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(8, 16, 90, 16);
    render();
    GfxLayer* layer = gfxLayerAtPosition(sketch, 0);
    const uint32_t texture = layer->texture;
    auto textureWidth = [](uint32_t name) {
        GLint width = 0;
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glBindTexture(GL_TEXTURE_2D, 0);
        return width;
    };
    EXPECT_EQ(textureWidth(texture), 64);

    gfxSetViewport(sketch, 0, 0, 48, 48);
    render();
    EXPECT_EQ(layer->texture, texture);
    EXPECT_EQ(textureWidth(layer->texture), 64);
    EXPECT_TRUE(near(pixel(40, 16), BLACK, 0));

    large.bind();
    gfxSetViewport(sketch, 0, 0, 96, 96);
    const int64_t fullRedraws = stats().fullLayerRedraws;
    gfxRenderSketch(sketch);
    ASSERT_EQ(error(), GFX_OK);
    EXPECT_EQ(textureWidth(layer->texture), 96);
    EXPECT_EQ(textureWidth(sketch->liveTexture), 96);
    EXPECT_EQ(stats().fullLayerRedraws, fullRedraws + 1);
    EXPECT_TRUE(near(large.pixel(85, 16), BLACK, 0));  // beyond the old size: redrawn
    EXPECT_TRUE(near(large.pixel(85, 80), WHITE, 0));
}

}  // namespace
