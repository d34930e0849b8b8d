// The paper object: which paper images are decoded, into colour or luma, and what
// is kept when decoding is not asked for or fails.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

// A flat-coloured RGB JPEG.
std::vector<uint8_t> flatJpeg(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {r, g, b});
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = pixels.data() + static_cast<size_t>(info.next_scanline) * width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

class PaperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        system = gfxCreateSystem();
        sketch = gfxCreateSketch(system, nullptr);
    }
    void TearDown() override { gfxDestroySystem(system); }

    void setPaper(int32_t mode, const std::vector<uint8_t>& bytes, int32_t flags)
    {
        GfxSketchAttributes in;
        in.flags = flags;
        in.paperTextureMode = mode;
        in.paperImage.length = static_cast<int32_t>(bytes.size());
        in.paperImage.data = bytes.data();
        gfxSetSketchAttributes(sketch, &in);
    }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

TEST_F(PaperTest, ModeOneDecodesColourAndModeTwoLuma)
{
    const std::vector<uint8_t> jpeg = flatJpeg(16, 8, 200, 100, 50);
    struct {
        int32_t mode;
        int32_t channels;
        int first;  // expected first byte
    } cases[] = {{1, 3, 200}, {2, 1, 118}};  // 0.2126 x 200 + 0.7152 x 100 + 0.0722 x 50
    for (const auto& c : cases) {
        setPaper(c.mode, jpeg, GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_IMAGE);
        ASSERT_EQ(gfxGetLastError(system), GFX_OK);
        const GfxPaper& paper = sketch->paper;
        ASSERT_NE(paper.pixels, nullptr);
        EXPECT_EQ(paper.width, 16);
        EXPECT_EQ(paper.height, 8);
        EXPECT_EQ(paper.channels, c.channels);
        EXPECT_NEAR(paper.pixels[0], c.first, 3) << c.mode;
        EXPECT_EQ(paper.textureMode, c.mode);
        EXPECT_TRUE(gfxMatrixIsIdentity(paper.textureMatrix, 0));
    }
}

TEST_F(PaperTest, ModeZeroStoresTheBytesWithoutDecodingUntilSetAgain)
{
    const std::vector<uint8_t> jpeg = flatJpeg(8, 8, 10, 20, 30);
    setPaper(0, jpeg, GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_IMAGE);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    EXPECT_EQ(sketch->paper.pixels, nullptr);
    EXPECT_EQ(sketch->attributes.paperImage.length, static_cast<int32_t>(jpeg.size()));
    setPaper(1, jpeg, GFX_SKETCH_PAPER_TEXTURE_MODE);  // the mode alone: still nothing decoded
    EXPECT_EQ(sketch->paper.pixels, nullptr);
    EXPECT_EQ(sketch->paper.textureMode, 1);
    setPaper(1, jpeg, GFX_SKETCH_PAPER_IMAGE);
    EXPECT_NE(sketch->paper.pixels, nullptr);
}

TEST_F(PaperTest, OtherEncodingsAndBadBytesShowNoTexture)
{
    const std::vector<uint8_t> jpeg = flatJpeg(8, 8, 10, 20, 30);
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_IMAGE;
    in.paperTextureMode = 1;
    in.paperImage.encoding = 4;
    in.paperImage.length = static_cast<int32_t>(jpeg.size());
    in.paperImage.data = jpeg.data();
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    EXPECT_EQ(sketch->paper.pixels, nullptr);

    const std::vector<uint8_t> garbage(64, 0x5A);
    setPaper(1, garbage, GFX_SKETCH_PAPER_IMAGE);
    EXPECT_EQ(gfxGetLastError(system), GFX_ERR_FAILED);
    EXPECT_EQ(sketch->paper.pixels, nullptr);
    EXPECT_EQ(sketch->attributes.paperImage.length, 64);  // the bytes are kept all the same
}

TEST_F(PaperTest, PaperSettingsReachThePaperObjectAndKeepItsImage)
{
    setPaper(1, flatJpeg(8, 8, 1, 2, 3), GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_IMAGE);
    const uint8_t* pixels = sketch->paper.pixels;
    sketch->paper.textureMatrix = gfxMatrixTranslate(3, 4);
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TEXTURE_STRENGTH | GFX_SKETCH_PAPER_TINT |
               GFX_SKETCH_PAPER_MULTI_SCALE;
    in.paperColour[1] = 7;
    in.paperTextureStrength = 0.5f;
    in.paperTint = 0;
    in.paperMultiScale = 0;
    gfxSetSketchAttributes(sketch, &in);
    const GfxPaper& paper = sketch->paper;
    EXPECT_EQ(paper.colour[1], 7);
    EXPECT_FLOAT_EQ(paper.textureStrength, 0.5f);
    EXPECT_EQ(paper.tint, 0);
    EXPECT_EQ(paper.multiScale, 0);
    EXPECT_EQ(paper.pixels, pixels);
    EXPECT_FLOAT_EQ(paper.textureMatrix.m[12], 3);
}

}  // namespace
