// Image decoding, probing, premultiplication, halving and the texture fallback.
//
// Valid JPEG and PNG files are made here with libjpeg and libpng (the engine library
// brings both to the link), then cut and corrupted; the files in fixtures/bad/ are
// kept cases listed in fixtures/bad/expected.txt with the result each must give.
#include "GfxImageCodec.h"
#include "GfxImageTexture.h"

#include "GlTestContext.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

// ----------------------------------------------------------------------------------
// Memory hooks that count and can refuse
// ----------------------------------------------------------------------------------
struct MemoryWatch {
    int32_t budget = -1;       // allocations left, < 0 unlimited
    int64_t largest = 0;       // largest request seen
    int64_t outstanding = 0;   // allocations not yet released
};
MemoryWatch memoryWatch;

bool spendAllocation(int32_t size)
{
    memoryWatch.largest = std::max<int64_t>(memoryWatch.largest, size);
    if (memoryWatch.budget < 0) return true;
    if (memoryWatch.budget == 0) return false;
    --memoryWatch.budget;
    return true;
}
void* watchedAlloc(int32_t size, int32_t)
{
    if (!spendAllocation(size)) return nullptr;
    void* pointer = std::malloc(static_cast<size_t>(size));
    if (pointer) ++memoryWatch.outstanding;
    return pointer;
}
void watchedFree(void* pointer, int32_t)
{
    if (pointer) --memoryWatch.outstanding;
    std::free(pointer);
}
void* watchedRealloc(void* pointer, int32_t size, int32_t)
{
    if (!spendAllocation(size)) return nullptr;
    void* grown = std::realloc(pointer, static_cast<size_t>(size));
    if (grown && !pointer) ++memoryWatch.outstanding;
    return grown;
}
GfxAllocator allocator() { return GfxAllocator{watchedAlloc, watchedFree, watchedRealloc, 0}; }

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { memoryWatch = MemoryWatch{}; }
    void TearDown() override
    {
        EXPECT_EQ(memoryWatch.outstanding, 0) << "every decoder allocation is released";
        gfxSetImageTextureSizeLimit(GFX_IMAGE_TEXTURE_NO_LIMIT);
    }
};

// ----------------------------------------------------------------------------------
// Making test images
// ----------------------------------------------------------------------------------
std::vector<uint8_t> pattern(int width, int height, int channels)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[(static_cast<size_t>(y) * width + x) * channels + c] =
                    static_cast<uint8_t>(c == 3 ? 40 + (x * 7 + y * 3) % 200 : (x * 11 + y * 5 + c * 70) % 256);
    return pixels;
}

struct PngLayout {
    int width, height, colourType, bitDepth;
    bool interlaced = false;
};

void appendToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// `rows` holds the file's samples (bytes per row as the colour type and depth need).
std::vector<uint8_t> encodePng(const PngLayout& layout, const std::vector<uint8_t>& samples,
                               const std::vector<png_color>& palette = {}, const std::vector<uint8_t>& paletteAlpha = {})
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "test PNG could not be written";
        return {};
    }
    png_set_write_fn(png, &out, appendToVector, nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!paletteAlpha.empty())
        png_set_tRNS(png, info, paletteAlpha.data(), static_cast<int>(paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    size_t stride = samples.size() / layout.height;
    std::vector<png_bytep> rows(layout.height);
    for (int y = 0; y < layout.height; ++y) rows[y] = const_cast<png_bytep>(samples.data() + stride * y);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> encodeRgbaPng(int width, int height, const std::vector<uint8_t>& rgba)
{
    return encodePng({width, height, PNG_COLOR_TYPE_RGBA, 8}, rgba);
}

std::vector<uint8_t> encodeJpeg(int width, int height, int components, J_COLOR_SPACE space,
                                const std::vector<uint8_t>& samples, bool progressive = false)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;  // no chroma subsampling: colour edges stay sharp
        info.comp_info[c].v_samp_factor = 1;
    }
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + static_cast<size_t>(info.next_scanline) * width * components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

// Flat colour blocks survive JPEG at quality 100 nearly unchanged.
std::vector<uint8_t> rgbBlocks(int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            bool left = x < width / 2, top = y < height / 2;
            p[0] = left ? 220 : 30;
            p[1] = top ? 200 : 60;
            p[2] = (left == top) ? 90 : 180;
        }
    return pixels;
}

uint32_t crc32Of(const uint8_t* data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void writeBigEndian32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

// The PNG with its IHDR claiming another size (CRC kept valid, so only the size is wrong).
std::vector<uint8_t> withPngSize(std::vector<uint8_t> png, uint32_t width, uint32_t height)
{
    writeBigEndian32(&png[16], width);
    writeBigEndian32(&png[20], height);
    writeBigEndian32(&png[29], crc32Of(&png[12], 17));
    return png;
}

// The JPEG with its frame header claiming another size.
std::vector<uint8_t> withJpegSize(std::vector<uint8_t> jpeg, uint16_t width, uint16_t height)
{
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

int32_t decodePng(const std::vector<uint8_t>& bytes, GfxImagePixels* out)
{
    return gfxDecodePng(allocator(), bytes.data(), static_cast<int32_t>(bytes.size()), out);
}
int32_t decodeJpeg(const std::vector<uint8_t>& bytes, GfxImagePixels* out)
{
    return gfxDecodeJpeg(allocator(), bytes.data(), static_cast<int32_t>(bytes.size()), out);
}

std::vector<uint8_t> pixelsOf(const GfxImagePixels& image)
{
    return {image.pixels, image.pixels + static_cast<size_t>(image.width) * image.height * image.channels};
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

// ----------------------------------------------------------------------------------
// PNG
// ----------------------------------------------------------------------------------
TEST_F(ImageTest, PngDecodesEveryColourTypeToRgba)
{
    const int w = 5, h = 3;
    std::vector<uint8_t> rgba = pattern(w, h, 4);
    std::vector<uint8_t> rgb = pattern(w, h, 3);
    std::vector<uint8_t> grey = pattern(w, h, 1);
    std::vector<uint8_t> greyAlpha = pattern(w, h, 2);
    std::vector<uint8_t> rgba16;
    for (uint8_t v : rgba) {
        rgba16.push_back(v);
        rgba16.push_back(static_cast<uint8_t>(255 - v));  // low byte is dropped
    }
    std::vector<uint8_t> indices(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i % 3);
    const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const std::vector<uint8_t> paletteAlpha = {255, 128, 0};

    auto expectedFrom = [&](auto sampleToRgba) {
        std::vector<uint8_t> out;
        for (int i = 0; i < w * h; ++i) {
            std::array<uint8_t, 4> px = sampleToRgba(i);
            out.insert(out.end(), px.begin(), px.end());
        }
        return out;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {"RGBA 8", encodeRgbaPng(w, h, rgba), rgba},
        {"RGBA 8 interlaced", encodePng({w, h, PNG_COLOR_TYPE_RGBA, 8, true}, rgba), rgba},
        {"RGBA 16", encodePng({w, h, PNG_COLOR_TYPE_RGBA, 16}, rgba16), rgba},
        {"RGB gets opaque alpha", encodePng({w, h, PNG_COLOR_TYPE_RGB, 8}, rgb),
         expectedFrom([&](int i) { return std::array<uint8_t, 4>{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255}; })},
        {"grey is spread to RGB", encodePng({w, h, PNG_COLOR_TYPE_GRAY, 8}, grey),
         expectedFrom([&](int i) { return std::array<uint8_t, 4>{grey[i], grey[i], grey[i], 255}; })},
        {"grey with alpha", encodePng({w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 8}, greyAlpha),
         expectedFrom([&](int i) {
             return std::array<uint8_t, 4>{greyAlpha[2 * i], greyAlpha[2 * i], greyAlpha[2 * i], greyAlpha[2 * i + 1]};
         })},
        {"palette with transparency", encodePng({w, h, PNG_COLOR_TYPE_PALETTE, 8}, indices, palette, paletteAlpha),
         expectedFrom([&](int i) {
             const png_color& c = palette[indices[i]];
             return std::array<uint8_t, 4>{c.red, c.green, c.blue, paletteAlpha[indices[i]]};
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GfxImagePixels image;
        ASSERT_EQ(decodePng(c.file, &image), GFX_OK);
        EXPECT_EQ(image.width, w);
        EXPECT_EQ(image.height, h);
        EXPECT_EQ(image.channels, 4);
        EXPECT_EQ(pixelsOf(image), c.expected);
        gfxReleaseImagePixels(allocator(), &image);
        EXPECT_EQ(image.pixels, nullptr);
    }
}

TEST_F(ImageTest, PngEveryTruncationAndEveryByteFlipIsRefused)
{
    std::vector<uint8_t> file = encodeRgbaPng(6, 4, pattern(6, 4, 4));
    for (size_t length = 1; length < file.size(); ++length) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        GfxImagePixels image;
        ASSERT_EQ(decodePng(cut, &image), GFX_ERR_FAILED) << "cut to " << length << " bytes";
        EXPECT_EQ(image.pixels, nullptr);
    }
    // Every chunk is critical and checked by CRC, so any changed byte is caught.
    for (size_t at = 0; at < file.size(); ++at) {
        std::vector<uint8_t> bad = file;
        bad[at] ^= 0x5A;
        GfxImagePixels image;
        ASSERT_EQ(decodePng(bad, &image), GFX_ERR_FAILED) << "byte " << at << " changed";
    }
}

TEST_F(ImageTest, PngAbsurdSizeIsRefusedBeforeAllocating)
{
    std::vector<uint8_t> file = encodeRgbaPng(4, 4, pattern(4, 4, 4));
    struct Case {
        uint32_t width, height;
    } cases[] = {{100000, 100000}, {(1u << 28) + 1, 1}, {1u << 15, (1u << 13) + 1}};
    for (const Case& c : cases) {
        memoryWatch.largest = 0;
        GfxImagePixels image;
        EXPECT_EQ(decodePng(withPngSize(file, c.width, c.height), &image), GFX_ERR_FAILED) << c.width << "x" << c.height;
        EXPECT_LT(memoryWatch.largest, 1 << 20) << "no pixel buffer was asked for";
    }
    // Exactly 2^28 pixels is allowed by size (and then fails on the missing data).
    int32_t width = 0, height = 0;
    EXPECT_EQ(gfxProbePngSize(withPngSize(file, 1u << 14, 1u << 14).data(), static_cast<int32_t>(file.size()), &width,
                              &height),
              GFX_OK);
    EXPECT_EQ(width, 1 << 14);
}

TEST_F(ImageTest, MemoryFailureIsCleanAtEveryAllocation)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        int32_t encoding;
        int32_t leastAllocations;
    } cases[] = {
        {"PNG", encodeRgbaPng(8, 8, pattern(8, 8, 4)), GFX_IMAGE_PNG, 3},  // libpng's own memory uses the hooks too
        {"JPEG", encodeJpeg(8, 8, 3, JCS_RGB, rgbBlocks(8, 8)), GFX_IMAGE_JPEG, 1},
        {"CMYK JPEG", encodeJpeg(8, 8, 4, JCS_CMYK, pattern(8, 8, 4)), GFX_IMAGE_JPEG, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t allocationsNeeded = -1;
        for (int32_t budget = 0; budget < 64 && allocationsNeeded < 0; ++budget) {
            memoryWatch.budget = budget;
            GfxImagePixels image;
            int32_t result =
                gfxDecodeImage(allocator(), c.encoding, c.file.data(), static_cast<int32_t>(c.file.size()), 0, 0, &image);
            memoryWatch.budget = -1;
            if (result == GFX_OK) {
                allocationsNeeded = budget;
                gfxReleaseImagePixels(allocator(), &image);
                continue;
            }
            EXPECT_EQ(result, GFX_ERR_FAILED) << "budget " << budget;
            EXPECT_EQ(image.pixels, nullptr);
            EXPECT_EQ(memoryWatch.outstanding, 0) << "budget " << budget;
        }
        EXPECT_GE(allocationsNeeded, c.leastAllocations);
    }
}

// ----------------------------------------------------------------------------------
// JPEG
// ----------------------------------------------------------------------------------
TEST_F(ImageTest, JpegDecodesToRgb)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::vector<uint8_t> expected;
        int width, height;
    };
    const int w = 33, h = 17;  // odd sizes: rows are not multiples of 4 bytes
    std::vector<uint8_t> rgb = rgbBlocks(w, h);
    std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[3 * i + 1];
    std::vector<uint8_t> greyAsRgb;
    for (uint8_t g : grey) greyAsRgb.insert(greyAsRgb.end(), {g, g, g});
    // libjpeg writes CMYK with an Adobe marker, and readers take Adobe CMYK as inverted
    // (255 = no ink): pure red is C 255, M 0, Y 0, K 255 in that convention.
    std::vector<uint8_t> cmyk, red;
    for (int i = 0; i < w * h; ++i) {
        cmyk.insert(cmyk.end(), {255, 0, 0, 255});
        red.insert(red.end(), {255, 0, 0});
    }
    const Case cases[] = {
        {"baseline RGB", encodeJpeg(w, h, 3, JCS_RGB, rgb), rgb, w, h},
        {"progressive RGB", encodeJpeg(w, h, 3, JCS_RGB, rgb, true), rgb, w, h},
        {"greyscale", encodeJpeg(w, h, 1, JCS_GRAYSCALE, grey), greyAsRgb, w, h},
        {"Adobe CMYK", encodeJpeg(w, h, 4, JCS_CMYK, cmyk), red, w, h},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GfxImagePixels image;
        ASSERT_EQ(decodeJpeg(c.file, &image), GFX_OK);
        ASSERT_EQ(image.width, c.width);
        ASSERT_EQ(image.height, c.height);
        ASSERT_EQ(image.channels, 3);
        std::vector<uint8_t> actual = pixelsOf(image);
        int worst = 0;
        for (size_t i = 0; i < actual.size(); ++i) worst = std::max(worst, std::abs(actual[i] - c.expected[i]));
        EXPECT_LE(worst, 12) << "lossy, but close";
        gfxReleaseImagePixels(allocator(), &image);

        int32_t probedWidth = 0, probedHeight = 0;
        EXPECT_EQ(gfxProbeJpegSize(c.file.data(), static_cast<int32_t>(c.file.size()), &probedWidth, &probedHeight), GFX_OK);
        EXPECT_EQ(probedWidth, c.width);
        EXPECT_EQ(probedHeight, c.height);
    }
}

TEST_F(ImageTest, JpegEveryTruncationIsRefusedAndCorruptionNeverCrashes)
{
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        std::vector<uint8_t> file = encodeJpeg(24, 16, 3, JCS_RGB, rgbBlocks(24, 16), progressive);
        for (size_t length = 1; length < file.size(); ++length) {
            std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
            GfxImagePixels image;
            ASSERT_EQ(decodeJpeg(cut, &image), GFX_ERR_FAILED) << "cut to " << length << " bytes";
            EXPECT_EQ(image.pixels, nullptr);
        }
        // Damaged entropy data may still decode (to garbage); damaged headers must not
        // crash. Either way the result is a clean code and, on success, a whole image.
        for (size_t at = 0; at < file.size(); at += 3) {
            std::vector<uint8_t> bad = file;
            bad[at] ^= 0xA5;
            GfxImagePixels image;
            int32_t result = decodeJpeg(bad, &image);
            ASSERT_TRUE(result == GFX_OK || result == GFX_ERR_FAILED) << "byte " << at;
            if (result == GFX_OK) {
                EXPECT_GT(image.width, 0);
                EXPECT_NE(image.pixels, nullptr);
            }
            gfxReleaseImagePixels(allocator(), &image);
        }
    }
}

TEST_F(ImageTest, JpegAbsurdSizeIsRefusedBeforeAllocating)
{
    std::vector<uint8_t> file = encodeJpeg(16, 16, 3, JCS_RGB, rgbBlocks(16, 16));
    memoryWatch.largest = 0;
    GfxImagePixels image;
    EXPECT_EQ(decodeJpeg(withJpegSize(file, 65000, 65000), &image), GFX_ERR_FAILED);
    EXPECT_LT(memoryWatch.largest, 1 << 20);
    int32_t width = 0, height = 0;
    std::vector<uint8_t> huge = withJpegSize(file, 65000, 65000);
    EXPECT_EQ(gfxProbeJpegSize(huge.data(), static_cast<int32_t>(huge.size()), &width, &height), GFX_OK)
        << "probing reports the claimed size; import decides";
    EXPECT_EQ(width, 65000);
}

// ----------------------------------------------------------------------------------
// Probing, raw pixels, bad arguments
// ----------------------------------------------------------------------------------
TEST_F(ImageTest, ProbesReadSizesAndRefuseOtherBytes)
{
    std::vector<uint8_t> png = encodeRgbaPng(7, 9, pattern(7, 9, 4));
    std::vector<uint8_t> jpeg = encodeJpeg(7, 9, 3, JCS_RGB, rgbBlocks(7, 9));
    const uint8_t text[] = "this is not an image at all, just some words";
    int32_t width = -1, height = -1;
    EXPECT_EQ(gfxProbePngSize(png.data(), static_cast<int32_t>(png.size()), &width, &height), GFX_OK);
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 9);
    struct Case {
        const char* what;
        int32_t (*probe)(const uint8_t*, int32_t, int32_t*, int32_t*);
        const uint8_t* data;
        int32_t length;
        int32_t result;
    } cases[] = {
        {"PNG probe on a JPEG", gfxProbePngSize, jpeg.data(), static_cast<int32_t>(jpeg.size()), GFX_ERR_FAILED},
        {"JPEG probe on a PNG", gfxProbeJpegSize, png.data(), static_cast<int32_t>(png.size()), GFX_ERR_FAILED},
        {"PNG probe on text", gfxProbePngSize, text, sizeof text, GFX_ERR_FAILED},
        {"JPEG probe on text", gfxProbeJpegSize, text, sizeof text, GFX_ERR_FAILED},
        {"PNG cut inside IHDR", gfxProbePngSize, png.data(), 20, GFX_ERR_FAILED},
        {"JPEG cut before the frame", gfxProbeJpegSize, jpeg.data(), 30, GFX_ERR_FAILED},
        {"PNG null", gfxProbePngSize, nullptr, 10, GFX_ERR_INVALID},
        {"JPEG empty", gfxProbeJpegSize, jpeg.data(), 0, GFX_ERR_INVALID},
    };
    for (const Case& c : cases) {
        width = height = -1;
        EXPECT_EQ(c.probe(c.data, c.length, &width, &height), c.result) << c.what;
        EXPECT_EQ(width, 0) << c.what;
    }
}

TEST_F(ImageTest, RawRgbaIsCheckedAndCopied)
{
    std::vector<uint8_t> rgba = pattern(3, 2, 4);
    GfxImagePixels image;
    ASSERT_EQ(gfxCopyRawRgba(allocator(), rgba.data(), 24, 3, 2, &image), GFX_OK);
    EXPECT_EQ(pixelsOf(image), rgba);
    EXPECT_NE(image.pixels, rgba.data());
    gfxReleaseImagePixels(allocator(), &image);
    struct Case {
        const char* what;
        int32_t length, width, height, result;
    } cases[] = {
        {"length short by one", 23, 3, 2, GFX_ERR_INVALID},
        {"zero width", 24, 0, 2, GFX_ERR_INVALID},
        {"negative height", 24, 3, -2, GFX_ERR_INVALID},
        {"product overflows 32 bits", 24, 65536, 65536, GFX_ERR_INVALID},
        {"product wraps to the length in 32 bits", 24, 1073741830, 1, GFX_ERR_INVALID},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gfxCopyRawRgba(allocator(), rgba.data(), c.length, c.width, c.height, &image), c.result) << c.what;
    EXPECT_EQ(gfxDecodeImage(allocator(), 1, rgba.data(), 24, 3, 2, &image), GFX_ERR_INVALID) << "encoding 1";
    EXPECT_EQ(gfxDecodeImage(allocator(), 5, rgba.data(), 24, 3, 2, &image), GFX_ERR_INVALID) << "5 is only stored";
    EXPECT_EQ(gfxDecodeImage(allocator(), GFX_IMAGE_RAW_RGBA, rgba.data(), 24, 3, 2, &image), GFX_OK);
    gfxReleaseImagePixels(allocator(), &image);
}

TEST_F(ImageTest, BadFixturesGiveTheirListedResults)
{
    const std::string folder = std::string(VELLUMIN_FIXTURES) + "/bad/";
    std::ifstream manifest(folder + "expected.txt");
    ASSERT_TRUE(manifest.good()) << "fixtures/bad/expected.txt";
    const std::map<std::string, int32_t> encodings = {{"jpeg", GFX_IMAGE_JPEG}, {"png", GFX_IMAGE_PNG}};
    int32_t checked = 0;
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, decoder;
        int32_t expected = -1;
        fields >> name >> decoder >> expected;
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = readFile(folder + name);
        ASSERT_FALSE(bytes.empty());
        ASSERT_EQ(encodings.count(decoder), 1u);
        GfxImagePixels image;
        EXPECT_EQ(gfxDecodeImage(allocator(), encodings.at(decoder), bytes.data(), static_cast<int32_t>(bytes.size()), 0, 0,
                                 &image),
                  expected);
        gfxReleaseImagePixels(allocator(), &image);
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

// ----------------------------------------------------------------------------------
// Premultiplication and halving
// ----------------------------------------------------------------------------------
TEST_F(ImageTest, PremultiplyTruncates)
{
    std::vector<uint8_t> rgba = {255, 255, 255, 128, 51, 0, 200, 5, 90, 80, 70, 0, 9, 8, 7, 255};
    GfxImagePixels image{rgba.data(), 4, 1, 4};
    gfxPremultiplyAlpha(&image);
    // 255 x 128 / 255 = 128; 51 x 5 / 255 = 1; 200 x 5 / 255 = 3.92 → 3.
    EXPECT_EQ(rgba, (std::vector<uint8_t>{128, 128, 128, 128, 1, 0, 3, 5, 0, 0, 0, 0, 9, 8, 7, 255}));
    std::vector<uint8_t> rgb = {10, 20, 30};
    GfxImagePixels opaque{rgb.data(), 1, 1, 3};
    gfxPremultiplyAlpha(&opaque);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{10, 20, 30}));
}

TEST_F(ImageTest, HalvingAveragesBlocksAndFoldsInTheOddEdge)
{
    struct Case {
        const char* what;
        int width, height;
        std::vector<uint8_t> grey;  // one channel keeps the tables readable
        int halfWidth, halfHeight;
        std::vector<uint8_t> expected;
    } cases[] = {
        {"2x2 blocks", 4, 2, {0, 4, 10, 20, 8, 4, 30, 40}, 2, 1, {4, 25}},
        {"rounding to nearest", 2, 2, {1, 2, 2, 2}, 1, 1, {2}},
        {"odd width: last block 3 wide", 5, 2, {0, 0, 3, 6, 9, 0, 0, 3, 6, 9}, 2, 1, {0, 6}},
        {"odd height: last block 3 tall", 2, 3, {0, 0, 0, 0, 30, 30}, 1, 1, {10}},
        {"3x3 is one block", 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, 1, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> pixels = c.grey;
        GfxImagePixels source{pixels.data(), c.width, c.height, 1};
        GfxImagePixels half;
        ASSERT_EQ(gfxHalveImage(allocator(), source, &half), GFX_OK);
        EXPECT_EQ(half.width, c.halfWidth);
        EXPECT_EQ(half.height, c.halfHeight);
        EXPECT_EQ(pixelsOf(half), c.expected);
        gfxReleaseImagePixels(allocator(), &half);
    }
    std::vector<uint8_t> rgba = {10, 20, 30, 40, 30, 40, 50, 60, 50, 60, 70, 80, 70, 80, 90, 100};
    GfxImagePixels square{rgba.data(), 2, 2, 4};
    GfxImagePixels half;
    ASSERT_EQ(gfxHalveImage(allocator(), square, &half), GFX_OK);
    EXPECT_EQ(pixelsOf(half), (std::vector<uint8_t>{40, 50, 60, 70})) << "channels averaged separately";
    gfxReleaseImagePixels(allocator(), &half);
    GfxImagePixels column{rgba.data(), 1, 4, 4};
    EXPECT_EQ(gfxHalveImage(allocator(), column, &half), GFX_ERR_INVALID) << "1 pixel wide cannot halve";
}

// ----------------------------------------------------------------------------------
// Textures (real Mesa)
// ----------------------------------------------------------------------------------
namespace {

std::vector<uint8_t> readTexture(uint32_t texture, int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

GLint textureParameter(uint32_t texture, GLenum name)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

std::vector<uint8_t> solidRgba(int width, int height, std::array<uint8_t, 4> colour)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), colour.begin(), colour.end());
    return pixels;
}

}  // namespace

TEST_F(ImageTest, PngTooLargeForTheLimitIsHalvedUntilItFits)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    std::vector<uint8_t> file = encodeRgbaPng(300, 200, solidRgba(300, 200, {200, 100, 50, 128}));
    gfxSetImageTextureSizeLimit(64);
    GfxImageTexture texture;
    ASSERT_EQ(gfxCreateImageTexture(allocator(), GFX_IMAGE_PNG, file.data(), static_cast<int32_t>(file.size()), 0, 0,
                                    &texture),
              GFX_OK);
    // 300x200 → 150x100 → 75x50 → 37x25, the first with both sides within 64.
    EXPECT_EQ(texture.width, 37);
    EXPECT_EQ(texture.height, 25);
    ASSERT_NE(texture.texture, 0u);
    EXPECT_EQ(glIsTexture(texture.texture), GL_TRUE);
    std::vector<uint8_t> texels = readTexture(texture.texture, 37, 25);
    EXPECT_EQ(texels, solidRgba(37, 25, {100, 50, 25, 128})) << "premultiplied: 200 x 128 / 255 = 100";
    EXPECT_EQ(textureParameter(texture.texture, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(textureParameter(texture.texture, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(textureParameter(texture.texture, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(texture.texture, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    gfxDeleteImageTexture(&texture);
    EXPECT_EQ(texture.texture, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageTest, RealGlRefusalIsHalvedToo)
{
    // No forced limit: one texel wider than the GL's maximum makes the GL itself
    // report an error, and one halving fixes it.
    ASSERT_TRUE(glTestContextMakeCurrent());
    GLint maximum = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maximum);
    ASSERT_GT(maximum, 0);
    std::vector<uint8_t> rgba = solidRgba(maximum + 1, 2, {9, 9, 9, 255});
    GfxImageTexture texture;
    ASSERT_EQ(gfxCreateImageTexture(allocator(), GFX_IMAGE_RAW_RGBA, rgba.data(), static_cast<int32_t>(rgba.size()),
                                    maximum + 1, 2, &texture),
              GFX_OK);
    EXPECT_EQ(texture.width, (maximum + 1) / 2);
    EXPECT_EQ(texture.height, 1);
    gfxDeleteImageTexture(&texture);
}

TEST_F(ImageTest, TextureImpossibleAtAnySizeIsError2AndLeavesNothing)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    GLuint mine = 0;
    glGenTextures(1, &mine);
    glBindTexture(GL_TEXTURE_2D, mine);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    std::vector<uint8_t> rgba = solidRgba(16, 4, {1, 2, 3, 4});
    gfxSetImageTextureSizeLimit(0);
    GfxImageTexture texture;
    EXPECT_EQ(gfxCreateImageTexture(allocator(), GFX_IMAGE_RAW_RGBA, rgba.data(), 256, 16, 4, &texture),
              GFX_ERR_TEXTURE_TOO_LARGE);
    EXPECT_EQ(texture.texture, 0u);
    // A 1-pixel-tall image over the limit cannot be halved at all.
    gfxSetImageTextureSizeLimit(8);
    EXPECT_EQ(gfxCreateImageTexture(allocator(), GFX_IMAGE_RAW_RGBA, rgba.data(), 64, 16, 1, &texture),
              GFX_ERR_TEXTURE_TOO_LARGE);
    GLint binding = 0, alignment = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(binding, static_cast<GLint>(mine)) << "the caller's binding is restored";
    EXPECT_EQ(alignment, 8) << "the caller's unpack alignment is restored";
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &mine);
}

TEST_F(ImageTest, JpegWithOddRowsUploadsExactly)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    std::vector<uint8_t> file = encodeJpeg(33, 17, 3, JCS_RGB, rgbBlocks(33, 17));
    GfxImagePixels decoded;
    ASSERT_EQ(decodeJpeg(file, &decoded), GFX_OK);
    GfxImageTexture texture;
    ASSERT_EQ(gfxUploadImageTexture(allocator(), decoded, &texture), GFX_OK);
    EXPECT_EQ(texture.width, 33);
    std::vector<uint8_t> texels = readTexture(texture.texture, 33, 17);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 33 * 17; ++i)
        expected.insert(expected.end(), {decoded.pixels[3 * i], decoded.pixels[3 * i + 1], decoded.pixels[3 * i + 2], 255});
    EXPECT_EQ(texels, expected) << "RGB rows of 99 bytes are read unpadded";
    gfxReleaseImagePixels(allocator(), &decoded);
    gfxDeleteImageTexture(&texture);
}

TEST_F(ImageTest, CreateTextureReportsDecoderAndEncodingErrors)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    std::vector<uint8_t> png = encodeRgbaPng(4, 4, pattern(4, 4, 4));
    std::vector<uint8_t> cut(png.begin(), png.end() - 10);
    GfxImageTexture texture;
    EXPECT_EQ(gfxCreateImageTexture(allocator(), GFX_IMAGE_PNG, cut.data(), static_cast<int32_t>(cut.size()), 0, 0,
                                    &texture),
              GFX_ERR_FAILED);
    EXPECT_EQ(gfxCreateImageTexture(allocator(), 3, png.data(), static_cast<int32_t>(png.size()), 0, 0, &texture),
              GFX_ERR_INVALID);
    EXPECT_EQ(gfxCreateImageTexture(allocator(), GFX_IMAGE_JPEG, png.data(), static_cast<int32_t>(png.size()), 0, 0,
                                    &texture),
              GFX_ERR_FAILED)
        << "a PNG given as JPEG";
    EXPECT_EQ(texture.texture, 0u);
}
