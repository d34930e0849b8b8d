// The paper: flat colour, colour and grey textures with their tint, the strength
// blend, the octave selection of the multi-scale mode, and the paper moving,
// turning and mirroring with the view.
//
// The fixture quadrants.jpg is 32 x 32: red top left, green top right, white bottom
// left, blue bottom right. Zoomed by 64 / 950 with the simple mode (4 repeats per
// 3800 pixels), one repeat covers the 64-pixel viewport exactly.
#include "GfxPaper.h"
#include "RenderTestSupport.h"

#include <fstream>
#include <iterator>

namespace {

const Rgba RED{254, 0, 0, 255};
const Rgba GREEN{0, 255, 1, 255};
const Rgba WHITE{255, 255, 255, 255};
const Rgba BLUE{0, 0, 254, 255};

std::vector<uint8_t> readFixture(const char* name)
{
    std::ifstream file(std::string(VELLUMIN_FIXTURES) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

Rgba modulate(Rgba texel, const uint8_t paper[3])
{
    Rgba r{};
    for (int c = 0; c < 3; ++c) r[c] = static_cast<uint8_t>(texel[c] * paper[c] / 255.0f + 0.5f);
    r[3] = 255;
    return r;
}

Rgba luma(Rgba texel)
{
    const float value = 0.2126f * texel[0] + 0.7152f * texel[1] + 0.0722f * texel[2];
    const uint8_t l = static_cast<uint8_t>(value + 0.5f);
    return Rgba{l, l, l, 255};
}

class RenderPaperTest : public RenderTest {
protected:
    void setPaper(int32_t mode, int32_t tint, int32_t multiScale, float strength, const uint8_t colour[3])
    {
        jpeg = readFixture("paper/quadrants.jpg");
        ASSERT_FALSE(jpeg.empty());
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_TINT | GFX_SKETCH_PAPER_MULTI_SCALE |
                  GFX_SKETCH_PAPER_TEXTURE_STRENGTH | GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_IMAGE;
        a.paperTextureMode = mode;
        a.paperTint = tint;
        a.paperMultiScale = multiScale;
        a.paperTextureStrength = strength;
        std::memcpy(a.paperColour, colour, 3);
        a.paperImage.source = 0;
        a.paperImage.encoding = 0;
        a.paperImage.length = static_cast<int32_t>(jpeg.size());
        a.paperImage.data = jpeg.data();
        gfxSetSketchAttributes(sketch, &a);
        ASSERT_EQ(error(), GFX_OK);
    }
    // One simple-mode repeat over the viewport.
    void zoomToOneRepeat() { zoomView(64.0f / 950.0f); }

    // The four quadrant probes: bottom left, bottom right, top left, top right.
    std::array<Rgba, 4> probes() const { return {pixel(16, 16), pixel(48, 16), pixel(16, 48), pixel(48, 48)}; }

    std::vector<uint8_t> jpeg;
};

TEST_F(RenderPaperTest, AFlatPaperIsThePaperColour)
{
    const uint8_t colour[3] = {90, 140, 200};
    setPaper(0, 1, 1, 1.0f, colour);  // an image, but no texture mode
    render();
    for (const Rgba& p : probes()) EXPECT_TRUE(near(p, Rgba{90, 140, 200, 255}, 0));
}

TEST_F(RenderPaperTest, TexturesInColourAndGreyWithTheirTint)
{
    const uint8_t colour[3] = {255, 128, 64};
    const Rgba quadrants[4] = {WHITE, BLUE, RED, GREEN};
    const struct {
        const char* name;
        int32_t mode, tint;
    } cases[] = {{"colour", 1, 0}, {"colour tinted", 1, 1}, {"grey, always tinted", 2, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setPaper(c.mode, c.tint, 0, 1.0f, colour);
        gfxResetView(sketch);
        zoomToOneRepeat();
        render();
        const auto seen = probes();
        for (int q = 0; q < 4; ++q) {
            Rgba expected = quadrants[q];
            if (c.mode == 2) expected = modulate(luma(expected), colour);
            else if (c.tint) expected = modulate(expected, colour);
            EXPECT_TRUE(near(seen[q], expected, 3)) << "quadrant " << q;
        }
    }
}

TEST_F(RenderPaperTest, StrengthFadesTheGrainToOneUniformColour)
{
    const uint8_t colour[3] = {255, 255, 255};
    const Rgba quadrants[4] = {WHITE, BLUE, RED, GREEN};
    const Rgba mean{127, 127, 127, 255};  // the average of the four quadrants
    for (float strength : {1.0f, 0.5f, 0.0f}) {
        SCOPED_TRACE(strength);
        setPaper(1, 0, 0, strength, colour);
        gfxResetView(sketch);
        zoomToOneRepeat();
        render();
        const auto seen = probes();
        for (int q = 0; q < 4; ++q) {
            Rgba expected{};
            for (int ch = 0; ch < 3; ++ch)
                expected[ch] = static_cast<uint8_t>(quadrants[q][ch] * strength + mean[ch] * (1 - strength) + 0.5f);
            expected[3] = 255;
            EXPECT_TRUE(near(seen[q], expected, 4)) << "quadrant " << q;
        }
    }
}

TEST_F(RenderPaperTest, ThePaperMovesTurnsAndMirrorsWithTheView)
{
    const uint8_t colour[3] = {255, 255, 255};
    setPaper(1, 0, 0, 1.0f, colour);
    zoomToOneRepeat();
    render();
    const std::vector<uint8_t> before = pixels();
    auto at = [](const std::vector<uint8_t>& image, int x, int y) {
        const uint8_t* p = &image[(static_cast<size_t>(y) * SIZE + x) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
    };
    struct Case {
        const char* name;
        GfxGesture gesture;
        int (*mapX)(int x, int y);  // where the paper under (x, y) goes
        int (*mapY)(int x, int y);
    };
    GfxGesture pan;
    pan.kind = GFX_GESTURE_PAN;
    pan.translateX = 16;
    GfxGesture mirror;
    mirror.kind = GFX_GESTURE_SCALE;
    mirror.centreX = mirror.centreY = 32;
    mirror.scaleX = -1;
    mirror.scaleY = 1;
    GfxGesture turn;
    turn.kind = GFX_GESTURE_ROTATE;
    turn.centreX = turn.centreY = 32;
    turn.angle = 90;
    const Case cases[] = {
        {"pan", pan, [](int x, int) { return x + 16; }, [](int, int y) { return y; }},
        {"mirror", mirror, [](int x, int) { return 63 - x; }, [](int, int y) { return y; }},
        {"turn", turn, [](int, int y) { return 63 - y; }, [](int x, int) { return x; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gfxResetView(sketch);
        zoomToOneRepeat();
        gfxBeginViewGesture(sketch, &c.gesture);
        render();  // the open gesture moves the paper as well
        int mismatches = 0;
        for (int y = 2; y < 62; y += 3)
            for (int x = 2; x < 46; x += 3) {
                const int toX = c.mapX(x, y), toY = c.mapY(x, y);
                if (!near(pixel(toX, toY), at(before, x, y), 2)) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0);
        gfxEndViewGesture(sketch, &c.gesture);
        const std::vector<uint8_t> during = pixels();
        render();
        EXPECT_EQ(pixels(), during);  // and so does the finished one
    }
}

TEST_F(RenderPaperTest, MultiScaleCopiesBlendByTheirWeights)
{
    // The multi-scale copies are the simple mode's single copy (scale 4) at other
    // zooms: a copy at scale k under zoom Z samples as the simple mode under zoom
    // 4 Z / k. At zoom 1.6 (g = 2) the base copy (1.5) is covered half by octave 0
    // (3, weight 0.5); octave 1 has weight 0.
    const uint8_t colour[3] = {255, 255, 255};
    const float zoom = 1.6f;
    const float pan = -(3800.0f * zoom / 3.0f / 4.0f - 32.0f);  // a quadrant edge of octave 0 at x = 32
    auto renderAt = [&](int32_t multiScale, float viewZoom) {
        setPaper(1, 0, multiScale, 1.0f, colour);
        gfxResetView(sketch);
        zoomView(viewZoom);
        panView(pan, 0);
        render();
        return pixels();
    };
    const std::vector<uint8_t> multi = renderAt(1, zoom);
    const std::vector<uint8_t> base = renderAt(0, 4 * zoom / 1.5f);
    const std::vector<uint8_t> octave = renderAt(0, 4 * zoom / 3.0f);
    EXPECT_NE(base, octave);  // the two copies differ here
    int mismatches = 0;
    for (size_t i = 0; i < multi.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            if (std::abs(multi[i + c] - (base[i + c] + octave[i + c]) / 2.0f) > 2) ++mismatches;
    EXPECT_EQ(mismatches, 0);
}

TEST_F(RenderPaperTest, OctavesFadeInAndOutWithTheZoom)
{
    struct Draws {
        float g;
        std::vector<GfxPaperDraw> expected;
    };
    const Draws cases[] = {
        {1.0f, {{1.5f, 1, 0}, {3, 0, 1}}},
        {2.0f, {{1.5f, 1, 0}, {3, 0.5f, 1}, {6, 0, 1}}},
        {3.0f, {{1.5f, 1, 0}, {3, 1, 1}, {6, 0.25f, 1}}},
        {5.0f, {{3, 2, 1}, {6, 0.75f, 1}, {12, 0.125f, 1}}},
        {100.0f, {{96, 1.0625f, 1}, {192, 0.28125f, 1}}},   // far in: octave copies only
        {0.5f, {{1.5f, 1, 0}, {0.5f, 0.5f, 1}, {0.2f, 0, 1}}},
        {0.25f, {{0.5f, 1.5f, 1}, {0.2f, 0.5f, 1}, {0.1f, 0, 1}}},  // far out
        {0.0f, {}},
    };
    for (const Draws& c : cases) {
        SCOPED_TRACE(c.g);
        GfxPaperDraw draws[GFX_PAPER_MAX_DRAWS];
        const int32_t count = gfxPaperOctaves(c.g, draws, GFX_PAPER_MAX_DRAWS);
        ASSERT_EQ(count, static_cast<int32_t>(c.expected.size()));
        for (int32_t i = 0; i < count; ++i) {
            EXPECT_FLOAT_EQ(draws[i].scale, c.expected[i].scale) << i;
            EXPECT_NEAR(draws[i].weight, c.expected[i].weight, 1e-6) << i;
            EXPECT_EQ(draws[i].blended, c.expected[i].blended) << i;
        }
    }
    GfxPaperDraw few[2];
    EXPECT_EQ(gfxPaperOctaves(2.0f, few, 2), 2);  // never beyond the capacity
}

}  // namespace
