// Off-screen images: one pass or tiles (both equal to one large render), the four
// modes, the mirrored view form, the window left as it was, bad requests and
// memory failures.
#include "RenderTestSupport.h"

namespace {

const Rgba WHITE{255, 255, 255, 255};

struct ImageView {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    const uint8_t* pixels = nullptr;
    explicit ImageView(const GfxImage* image)
    {
        std::memcpy(&width, image->data, 4);
        std::memcpy(&height, image->data + 4, 4);
        channels = image->format == GFX_IMAGE_FORMAT_RGBA ? 4 : 3;
        pixels = image->data + 8;
    }
    Rgba at(int x, int y) const
    {
        const uint8_t* p = pixels + (static_cast<size_t>(y) * width + x) * channels;
        return Rgba{p[0], p[1], p[2], channels == 4 ? p[3] : uint8_t{255}};
    }
};

class RenderOffscreenTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        GfxSystemAttributes hooks;
        hooks.flags = GFX_SYSTEM_FREE | GFX_SYSTEM_USER_DATA;
        gfxGetSystemAttributes(system, &hooks);
        freeHook = hooks.free;
        userData = hooks.userData;
    }
    void release(GfxImage* image) { freeHook(image, userData); }

    GfxImage* region(int32_t mode, float x, float y, float sourceWidth, int32_t width, int32_t height, int32_t layer = 0)
    {
        GfxImageRequest request;
        request.mode = mode;
        request.layer = layer;
        request.sourceX = x;
        request.sourceY = y;
        request.sourceWidth = sourceWidth;
        request.width = width;
        request.height = height;
        target->bind();
        return gfxRenderRegionToImage(sketch, &request);
    }

    // Strokes in several colours reaching over the tile seams at 64 and 128.
    void drawAcross()
    {
        setPen(marker(200, 30, 30, 6, 1.0f));
        drawLine(2, 2, 150, 80);
        setPen(marker(30, 160, 30, 5, 0.6f));
        drawLine(60, 10, 70, 120);
        setPen(marker(20, 20, 200, 9, 0.8f));
        drawLine(0, 63, 140, 66);
    }

    GfxFreeFn freeHook = nullptr;
    int32_t userData = 0;
};

TEST_F(RenderOffscreenTest, TilesAndOnePassEqualOneLargeRender)
{
    drawAcross();
    GlTestFramebuffer large(160, 160);
    large.bind();
    gfxSetViewport(sketch, 0, 0, 160, 160);
    gfxRenderSketch(sketch);
    const std::vector<uint8_t> reference = large.readPixels();
    gfxSetViewport(sketch, 0, 0, SIZE, SIZE);

    const struct {
        int32_t width, height;
        int64_t renders;
    } cases[] = {{64, 64, 1}, {40, 20, 1}, {65, 64, 2}, {65, 65, 4}, {150, 70, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const int64_t renders = stats().offscreenRenders;
        GfxImage* image = region(GFX_IMAGE_MODE_SKETCH, 0, 0, static_cast<float>(c.width), c.width, c.height);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(error(), GFX_OK);
        EXPECT_EQ(stats().offscreenRenders - renders, c.renders);
        const ImageView view(image);
        EXPECT_EQ(image->format, GFX_IMAGE_FORMAT_RGB);
        EXPECT_EQ(image->byteSize, 8 + c.width * c.height * 3);
        ASSERT_EQ(view.width, c.width);
        ASSERT_EQ(view.height, c.height);
        int mismatches = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const uint8_t* expected = &reference[(static_cast<size_t>(y) * 160 + x) * 4];
                const Rgba actual = view.at(x, y);
                if (!near(actual, Rgba{expected[0], expected[1], expected[2], 255}, 0)) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0);
        release(image);
    }
}

TEST_F(RenderOffscreenTest, ARegionIsScaledToTheImageWidth)
{
    setPen(marker(0, 0, 0, 2, 1.0f));
    drawLine(20, 30, 40, 30);
    // The region 16..48 x 24..40 at twice the size: the line lands at y 12, x 8..48.
    GfxImage* image = region(GFX_IMAGE_MODE_SKETCH, 16, 24, 32, 64, 32);
    ASSERT_NE(image, nullptr);
    const ImageView view(image);
    EXPECT_TRUE(near(view.at(30, 12), Rgba{0, 0, 0, 255}, 0));
    EXPECT_TRUE(near(view.at(30, 15), WHITE, 0));  // 4 wide at this size
    EXPECT_TRUE(near(view.at(2, 12), WHITE, 0));
    release(image);
}

TEST_F(RenderOffscreenTest, TheFourModes)
{
    setPaperColour(10, 20, 30);
    setPen(marker(200, 100, 50, 8, 0.5f));
    drawLine(8, 32, 56, 32);
    struct Case {
        int32_t mode;
        int32_t format;
        Rgba onStroke;
        Rgba offStroke;
    };
    const float alpha = 127 / 255.0f;
    const Case cases[] = {
        {GFX_IMAGE_MODE_SKETCH, GFX_IMAGE_FORMAT_RGB, over(Rgba{10, 20, 30, 255}, Rgba{200, 100, 50, 255}, alpha),
         Rgba{10, 20, 30, 255}},
        // Un-premultiplied: the stroke's own colour, half covering.
        {GFX_IMAGE_MODE_SKETCH_TRANSPARENT, GFX_IMAGE_FORMAT_RGBA, Rgba{200, 100, 50, 127}, Rgba{0, 0, 0, 0}},
        {GFX_IMAGE_MODE_LAYER, GFX_IMAGE_FORMAT_RGBA, Rgba{200, 100, 50, 127}, Rgba{0, 0, 0, 0}},
        {GFX_IMAGE_MODE_PAPER, GFX_IMAGE_FORMAT_RGB, Rgba{10, 20, 30, 255}, Rgba{10, 20, 30, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        GfxImage* image = region(c.mode, 0, 0, SIZE, SIZE, SIZE);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->format, c.format);
        const ImageView view(image);
        const Rgba on = view.at(32, 32);
        EXPECT_TRUE(near(on, c.onStroke, c.mode == GFX_IMAGE_MODE_SKETCH ? 1 : 0));
        if (c.format == GFX_IMAGE_FORMAT_RGBA) {
            EXPECT_TRUE(on[3] == 127 || on[3] == 128) << int(on[3]);
        }
        EXPECT_TRUE(near(view.at(32, 56), c.offStroke, 0));
        release(image);
    }
}

TEST_F(RenderOffscreenTest, ALayerAloneShowsEvenWhenHidden)
{
    setPen(marker(0, 0, 255, 8, 1.0f));
    drawLine(8, 32, 56, 32);
    gfxAddLayer(sketch, nullptr);
    setPen(marker(255, 0, 0, 8, 1.0f));
    drawLine(32, 8, 32, 56);
    setLayerVisible(0, 0);
    setLayerOpacity(0, 0.3f);
    GfxImage* image = region(GFX_IMAGE_MODE_LAYER, 0, 0, SIZE, SIZE, SIZE, 0);
    ASSERT_NE(image, nullptr);
    const ImageView view(image);
    EXPECT_TRUE(near(view.at(16, 32), Rgba{0, 0, 255, 255}, 0));
    EXPECT_TRUE(near(view.at(32, 32), Rgba{0, 0, 255, 255}, 0));  // the layer above is not in it
    EXPECT_EQ(view.at(32, 50)[3], 0);
    release(image);
}

TEST_F(RenderOffscreenTest, TheViewFormAppliesTheGestureAndMirrors)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(8, 8, 20, 8);
    drawLine(8, 8, 8, 40);
    GfxImageRequest request;
    request.width = 48;
    request.height = 48;
    GfxGesture gesture;
    gesture.kind = GFX_GESTURE_COMBINED;
    gesture.scaleX = 1;
    gesture.scaleY = 0;
    target->bind();
    GfxImage* plain = gfxRenderViewToImage(sketch, &gesture, &request);
    ASSERT_NE(plain, nullptr);
    const ImageView p(plain);
    EXPECT_TRUE(near(p.at(14, 8), Rgba{0, 0, 0, 255}, 0));
    const struct {
        float flag;
        bool horizontal;
    } mirrors[] = {{GFX_MIRROR_HORIZONTAL, true}, {GFX_MIRROR_VERTICAL, false}};
    for (const auto& m : mirrors) {
        SCOPED_TRACE(m.flag);
        gesture.scaleY = m.flag;
        GfxImage* mirrored = gfxRenderViewToImage(sketch, &gesture, &request);
        ASSERT_NE(mirrored, nullptr);
        const ImageView q(mirrored);
        int mismatches = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                const Rgba expected = m.horizontal ? p.at(47 - x, y) : p.at(x, 47 - y);
                if (!near(q.at(x, y), expected, 0)) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0);
        release(mirrored);
    }
    // A zoom about the origin and a move.
    gesture.scaleX = 2;
    gesture.scaleY = 0;
    gesture.translateX = 4;
    GfxImage* zoomed = gfxRenderViewToImage(sketch, &gesture, &request);
    ASSERT_NE(zoomed, nullptr);
    const ImageView z(zoomed);
    EXPECT_TRUE(near(z.at(32, 16), Rgba{0, 0, 0, 255}, 0));  // (14, 8) x 2 + (4, 0)
    EXPECT_TRUE(near(z.at(14, 8), WHITE, 0));
    release(zoomed);
    release(plain);
}

TEST_F(RenderOffscreenTest, TheWindowShowsTheSameViewAfterwards)
{
    setPen(marker(50, 50, 200, 6, 0.7f));
    drawLine(4, 10, 60, 50);
    zoomView(1.5f, 10, 10);
    render();
    const std::vector<uint8_t> before = pixels();
    float viewBefore[16], scaleBefore = 0, viewportBefore[4];
    gfxGetView(sketch, viewBefore, &scaleBefore);
    gfxGetViewport(sketch, viewportBefore);

    GfxImage* images[] = {region(GFX_IMAGE_MODE_SKETCH, 5, 5, 13, 200, 150),
                          region(GFX_IMAGE_MODE_LAYER, 0, 0, 64, 32, 32),
                          region(GFX_IMAGE_MODE_PAPER, 0, 0, 64, 100, 10)};
    GfxGesture gesture;
    gesture.kind = GFX_GESTURE_COMBINED;
    gesture.scaleX = 3;
    gesture.scaleY = GFX_MIRROR_VERTICAL;
    GfxImageRequest request;
    request.mode = GFX_IMAGE_MODE_SKETCH_TRANSPARENT;
    request.width = request.height = 90;
    GfxImage* view = gfxRenderViewToImage(sketch, &gesture, &request);
    for (GfxImage* image : images) ASSERT_NE(image, nullptr);
    ASSERT_NE(view, nullptr);

    float viewAfter[16], scaleAfter = 0, viewportAfter[4];
    gfxGetView(sketch, viewAfter, &scaleAfter);
    gfxGetViewport(sketch, viewportAfter);
    EXPECT_EQ(std::memcmp(viewBefore, viewAfter, sizeof viewBefore), 0);
    EXPECT_EQ(scaleBefore, scaleAfter);
    EXPECT_EQ(std::memcmp(viewportBefore, viewportAfter, sizeof viewportBefore), 0);
    EXPECT_EQ(pixels(), before);  // drawn again without being asked
    for (GfxImage* image : images) release(image);
    release(view);
}

TEST_F(RenderOffscreenTest, BadRequestsGiveNoImage)
{
    const struct {
        const char* name;
        int32_t mode, layer;
        float sourceWidth;
        int32_t width, height;
        int32_t error;  // GFX_ERR_INTERNAL: lastError is left as it was
    } cases[] = {
        {"layer below 0", GFX_IMAGE_MODE_LAYER, -1, 64, 64, 64, GFX_ERR_INTERNAL},
        {"layer above the top", GFX_IMAGE_MODE_LAYER, 1, 64, 64, 64, GFX_ERR_INTERNAL},
        {"no source width", GFX_IMAGE_MODE_SKETCH, 0, 0, 64, 64, GFX_ERR_INTERNAL},
        {"no width", GFX_IMAGE_MODE_SKETCH, 0, 64, 0, 64, GFX_ERR_INVALID},
        {"negative height", GFX_IMAGE_MODE_SKETCH, 0, 64, 64, -3, GFX_ERR_INVALID},
        {"unknown mode", 4, 0, 64, 64, 64, GFX_ERR_INVALID},
        {"too large for the hooks", GFX_IMAGE_MODE_SKETCH, 0, 64, 40000, 40000, GFX_ERR_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        system->lastError = GFX_ERR_INTERNAL;
        EXPECT_EQ(region(c.mode, 0, 0, c.sourceWidth, c.width, c.height, c.layer), nullptr);
        EXPECT_EQ(error(), c.error);
    }
    EXPECT_EQ(gfxRenderRegionToImage(sketch, nullptr), nullptr);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    GfxImageRequest request;
    request.width = request.height = 8;
    EXPECT_EQ(gfxRenderViewToImage(sketch, nullptr, &request), nullptr);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    EXPECT_EQ(gfxRenderRegionToImage(nullptr, &request), nullptr);
}

TEST_F(RenderOffscreenTest, MemoryFailuresLeaveTheViewAndFreeEverything)
{
    gfxDestroySystem(system);
    CountingAllocator::reset();
    system = gfxCreateSystemWithAllocator(CountingAllocator::allocator());
    freeHook = &CountingAllocator::free;
    userData = CountingAllocator::allocator().userData;
    sketch = gfxCreateSketch(system, nullptr);
    gfxAddLayer(sketch, nullptr);
    gfxSetViewport(sketch, 0, 0, SIZE, SIZE);
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(8, 8, 56, 56);
    render();
    float viewBefore[16];
    gfxGetView(sketch, viewBefore, nullptr);
    const int64_t live = CountingAllocator::liveBytes;
    const struct {
        const char* name;
        int64_t allocationsBeforeFailure;
        int32_t width;
    } cases[] = {{"the image", 0, 64}, {"the tile buffer", 1, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CountingAllocator::failAfter = c.allocationsBeforeFailure;
        EXPECT_EQ(region(GFX_IMAGE_MODE_SKETCH, 0, 0, 64, c.width, 64), nullptr);
        CountingAllocator::failAfter = -1;
        EXPECT_EQ(error(), GFX_ERR_FAILED);
        EXPECT_EQ(CountingAllocator::liveBytes, live);
        float viewAfter[16];
        gfxGetView(sketch, viewAfter, nullptr);
        EXPECT_EQ(std::memcmp(viewBefore, viewAfter, sizeof viewBefore), 0);
    }
    GfxImage* image = region(GFX_IMAGE_MODE_SKETCH, 0, 0, 64, 100, 64);
    ASSERT_NE(image, nullptr);
    EXPECT_GT(CountingAllocator::liveBytes, live);
    release(image);  // one block: the image with its pixels
    EXPECT_EQ(CountingAllocator::liveBytes, live);
}

}  // namespace
