// Records that combine with what was drawn before them: images (under later strokes,
// over earlier ones), cuts, merged layers, pastes, and a layer moved by its gesture.
#include "RenderTestSupport.h"

namespace {

const Rgba WHITE{255, 255, 255, 255};
const Rgba BLACK{0, 0, 0, 255};
const Rgba RED{255, 0, 0, 255};
const Rgba GREEN{0, 255, 0, 255};
const Rgba BLUE{0, 0, 255, 255};

using RenderRecordsTest = RenderTest;

TEST_F(RenderRecordsTest, AnImageGoesOverEarlierStrokesAndUnderLaterOnes)
{
    const struct {
        float width, height, angle;
        int imageX, imageY;   // inside the image, away from both strokes
        int outsideX, outsideY;  // on the red stroke, outside the image
    } cases[] = {{24, 24, 0, 26, 26, 8, 32}, {24, 12, 90, 35, 40, 42, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.angle);
        gfxClearLayer(sketch);
        setPen(marker(255, 0, 0, 8, 1.0f));
        drawLine(4, 32, 60, 32);
        drawImage(32, 32, c.width, c.height, GREEN, c.angle);
        setPen(marker(0, 0, 255, 4, 1.0f));
        drawLine(32, 4, 32, 60);
        render();
        EXPECT_TRUE(near(pixel(c.imageX, c.imageY), GREEN, 0));
        EXPECT_TRUE(near(pixel(c.imageX, 32), GREEN, 0));  // the red stroke is beneath the image
        EXPECT_TRUE(near(pixel(32, c.imageY), BLUE, 0));   // the blue one above it
        EXPECT_TRUE(near(pixel(c.outsideX, c.outsideY), RED, 0));
    }
}

TEST_F(RenderRecordsTest, AnImageHasSoftenedEdges)
{
    drawImage(32, 32, 24, 24, GREEN);  // x and y 20 .. 44
    render();
    EXPECT_TRUE(near(pixel(26, 26), GREEN, 0));
    const Rgba edge = pixel(20, 26);  // half a pixel inside the edge
    EXPECT_GT(edge[0], 40);           // partly erased: white paper shows through
    EXPECT_GT(edge[1], 200);
    EXPECT_TRUE(near(pixel(18, 26), WHITE, 0));
}

TEST_F(RenderRecordsTest, ACutRemovesEarlierContentInsideItsRectangleOnly)
{
    setPen(marker(0, 0, 0, 8, 1.0f));
    drawLine(4, 32, 60, 32);
    ASSERT_EQ(gfxCutRegion(sketch, 20, 20, 24, 24), 1);
    drawLine(32, 4, 32, 60);
    render();
    EXPECT_TRUE(near(pixel(26, 32), WHITE, 0));  // cut
    EXPECT_TRUE(near(pixel(10, 32), BLACK, 0));  // outside the rectangle
    EXPECT_TRUE(near(pixel(32, 26), BLACK, 0));  // drawn after the cut
    gfxUndo(sketch);                             // the later stroke
    gfxUndo(sketch);                             // the cut
    render();
    EXPECT_TRUE(near(pixel(26, 32), BLACK, 0));
    EXPECT_TRUE(near(pixel(32, 50), WHITE, 0));
}

TEST_F(RenderRecordsTest, AMergedLayerLooksAsItDidAndAHiddenOneStaysHidden)
{
    const struct {
        const char* name;
        int32_t upperVisible;
        float lowerOpacity, upperOpacity;
    } cases[] = {{"visible", 1, 0.5f, 0.5f}, {"hidden", 0, 1.0f, 1.0f}, {"opaque", 1, 1.0f, 0.8f}};
    // The whole image, as it is and zoomed in (where widths inside the merged layer
    // must follow the zoom like everything else).
    auto views = [this]() {
        std::vector<std::vector<uint8_t>> images;
        render();
        images.push_back(pixels());
        zoomView(2.0f, 16, 16);
        render();
        images.push_back(pixels());
        zoomView(0.5f, 16, 16);
        return images;
    };
    auto closeEnough = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        int far = 0;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::abs(a[i] - b[i]) > 2) ++far;
        return far;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GfxSketch* fresh = gfxCreateSketch(system, nullptr);
        std::swap(fresh, sketch);
        gfxDestroySketch(fresh);
        gfxAddLayer(sketch, nullptr);
        gfxSetViewport(sketch, 0, 0, SIZE, SIZE);
        setPen(marker(255, 0, 0, 8, 1.0f));
        drawLine(4, 32, 60, 32);
        gfxAddLayer(sketch, nullptr);
        setPen(marker(0, 0, 255, 8, 0.7f));
        drawLine(32, 4, 32, 60);
        setLayerOpacity(0, c.lowerOpacity);
        setLayerOpacity(1, c.upperOpacity);
        setLayerVisible(1, c.upperVisible);
        const auto before = views();
        gfxMergeLayerDown(sketch);
        ASSERT_EQ(error(), GFX_OK);
        ASSERT_EQ(sketch->layerCount, 1);
        const auto after = views();
        EXPECT_EQ(closeEnough(after[0], before[0]), 0);
        EXPECT_EQ(closeEnough(after[1], before[1]), 0);
        if (!c.upperVisible) {
            const uint8_t* hidden = &after[0][(50 * SIZE + 32) * 4];
            EXPECT_TRUE(near(Rgba{hidden[0], hidden[1], hidden[2], hidden[3]}, WHITE, 0));
        }
    }
}

TEST_F(RenderRecordsTest, APasteShowsTheCopiedRectangleWhereItWasPlaced)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(4, 16, 28, 16);   // inside the copied rectangle
    drawLine(16, 0, 16, 30);   // reaching out of it: copied whole, clipped when pasted
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 8, 32, 16), 1);
    gfxPasteClipboard(sketch, 32, 40);  // the rectangle's corner goes to (32, 40): moved by (32, 32)
    ASSERT_EQ(error(), GFX_OK);
    render();
    EXPECT_TRUE(near(pixel(44, 48), BLACK, 0));  // the first line, moved
    EXPECT_TRUE(near(pixel(48, 52), BLACK, 0));  // the second, inside the rectangle
    EXPECT_TRUE(near(pixel(48, 36), WHITE, 0));  // and outside it: clipped
    EXPECT_TRUE(near(pixel(16, 4), BLACK, 0));   // the original stays
    EXPECT_TRUE(near(pixel(40, 51), WHITE, 0));  // 3.5 pixels from the moved line, 4 wide
    zoomView(2.0f, 40, 48);
    render();
    EXPECT_TRUE(near(pixel(40, 50), BLACK, 0));  // 8 wide now, like everything else
    zoomView(0.5f, 40, 48);
    gfxUndo(sketch);
    render();
    EXPECT_TRUE(near(pixel(44, 48), WHITE, 0));
}

TEST_F(RenderRecordsTest, ALayerGestureMovesTheLayerWhileItLasts)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(10, 10, 10, 54);
    GfxGesture pan;
    pan.kind = GFX_GESTURE_PAN;
    gfxBeginLayerGesture(sketch, &pan);
    pan.translateX = 20;
    gfxUpdateLayerGesture(sketch, &pan);
    render();
    EXPECT_TRUE(near(pixel(30, 32), BLACK, 0));
    EXPECT_TRUE(near(pixel(10, 32), WHITE, 0));
    gfxEndLayerGesture(sketch, &pan);
    render();
    EXPECT_TRUE(near(pixel(30, 32), BLACK, 0));
    drawLine(10, 10, 10, 54);  // drawn where the pen is, in the moved layer's frame
    render();
    EXPECT_TRUE(near(pixel(10, 32), BLACK, 0));
    EXPECT_TRUE(near(pixel(30, 32), BLACK, 0));
}

}  // namespace
