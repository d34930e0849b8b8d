// Raw RGBA images are kept in the blob as PNG: the pixels must come back exactly.
#include "GfxBlobPng.h"
#include "TestAllocator.h"

#include <gtest/gtest.h>
#include <png.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> decodeWithLibpng(const uint8_t* bytes, int32_t length, png_uint_32* width, png_uint_32* height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, static_cast<size_t>(length))) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    *width = image.width;
    *height = image.height;
    return pixels;
}

TEST(BlobPng, RawPixelsComeBackExactlyIncludingTransparentOnes)
{
    TestAllocator::reset();
    GfxAllocator allocator = TestAllocator::hooks();
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {37, 23}, {300, 2}};
    for (auto [width, height] : sizes) {
        std::mt19937 generator(static_cast<uint32_t>(width * 31 + height));
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        for (auto& p : pixels) p = static_cast<uint8_t>(generator());
        pixels[3] = 0;  // a fully transparent pixel keeps its colour too (straight alpha)
        uint8_t* png = nullptr;
        int32_t length = 0;
        ASSERT_EQ(gfxEncodePngRgba(allocator, pixels.data(), width, height, &png, &length), GFX_OK);
        png_uint_32 w = 0, h = 0;
        std::vector<uint8_t> decoded = decodeWithLibpng(png, length, &w, &h);
        allocator.release(png);
        EXPECT_EQ(w, static_cast<png_uint_32>(width));
        EXPECT_EQ(h, static_cast<png_uint_32>(height));
        EXPECT_EQ(decoded, pixels);
    }
    EXPECT_EQ(TestAllocator::liveBlocks, 0);
    EXPECT_GT(TestAllocator::calls, 0) << "libpng's memory goes through the hooks";
}

TEST(BlobPng, BadSizesAndFailingMemoryGiveCodes)
{
    TestAllocator::reset();
    GfxAllocator allocator = TestAllocator::hooks();
    uint8_t pixel[4] = {1, 2, 3, 4};
    uint8_t* png = nullptr;
    int32_t length = 0;
    EXPECT_EQ(gfxEncodePngRgba(allocator, pixel, 0, 1, &png, &length), GFX_ERR_INVALID);
    EXPECT_EQ(gfxEncodePngRgba(allocator, nullptr, 1, 1, &png, &length), GFX_ERR_INVALID);
    for (int64_t failing = 0; failing < 4; ++failing) {
        TestAllocator::reset();
        TestAllocator::failAtCall = failing;
        EXPECT_EQ(gfxEncodePngRgba(allocator, pixel, 1, 1, &png, &length), GFX_ERR_FAILED) << failing;
        EXPECT_EQ(png, nullptr);
        EXPECT_EQ(TestAllocator::liveBlocks, 0) << failing;
    }
    TestAllocator::reset();
}

}  // namespace
