// A saved and reloaded canvas looks as it did: every kind of element, two layers with
// an opacity, erasing and a cut, rendered before saving and after loading, in both
// blob formats.
#include "RenderTestSupport.h"

#include <cstdlib>

namespace {

using SerializeRenderTest = RenderTest;

// How many pixels differ by more than `tolerance` in any channel.
int differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance)
{
    int count = 0;
    for (size_t i = 0; i + 3 < a.size(); i += 4) {
        for (size_t c = 0; c < 4; ++c) {
            if (std::abs(int(a[i + c]) - int(b[i + c])) > tolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

TEST_F(SerializeRenderTest, AReloadedCanvasRendersAsItWasSaved)
{
    setPen(marker(200, 30, 30, 6, 0.7f));
    drawLine(6, 10, 58, 20);
    setPen(pencil(4, 0.9f));
    drawPath({{8, 40, 0.4f}, {20, 52, 1}, {34, 44, 0.7f}, {50, 56, 1}});
    setPen(marker(20, 90, 200, 3, 1));
    drawShape(GFX_ELEMENT_RECTANGLE, 40, 34, 16, 10, 20);
    drawShape(GFX_ELEMENT_ELLIPSE, 16, 24, 14, 8, 0);
    drawImage(48, 46, 10, 8, Rgba{30, 160, 60, 255});
    PenSettings eraser = marker(0, 0, 0, 5, 1);
    eraser.erase = 1;
    setPen(eraser);
    drawLine(30, 4, 30, 60);
    gfxCutRegion(sketch, 2, 2, 10, 10);
    ASSERT_EQ(error(), GFX_OK);
    gfxAddLayer(sketch, nullptr);
    setLayerOpacity(1, 0.5f);
    setPen(marker(0, 0, 0, 10, 1));
    drawLine(4, 32, 60, 32);

    render();
    const std::vector<uint8_t> before = pixels();

    for (int32_t format : {0, 1}) {
        SCOPED_TRACE(format == 0 ? "format 0" : "format 1");
        uint8_t* blob = gfxSerializeSketch(sketch, format);
        ASSERT_NE(blob, nullptr);
        int32_t bytes = 0;
        std::memcpy(&bytes, blob, sizeof bytes);
        GfxSketch* loaded = gfxCreateSketchFromBlob(system, blob, bytes + 4);
        GfxSystemAttributes hooks;
        hooks.flags = GFX_SYSTEM_FREE | GFX_SYSTEM_USER_DATA;
        gfxGetSystemAttributes(system, &hooks);
        hooks.free(blob, hooks.userData);
        ASSERT_NE(loaded, nullptr) << "load failed with " << error();

        // Poison the target so nothing of the first render can pass for the second.
        target->bind();
        glClearColor(1, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        gfxSetViewport(loaded, 0, 0, SIZE, SIZE);
        gfxRenderSketch(loaded);
        ASSERT_EQ(error(), GFX_OK);
        const std::vector<uint8_t> after = pixels();
        // Positions come back within 1/32 px (format 0) or 1/4 px (format 1): only
        // anti-aliased edges may move a little.
        EXPECT_EQ(differingPixels(before, after, 40), 0);
        EXPECT_LT(differingPixels(before, after, 8), format == 0 ? SIZE * SIZE / 100 : SIZE * SIZE / 20);
        gfxDestroySketch(loaded);
    }
}

}  // namespace
