// GfxImageCodec — JPEG (libjpeg), PNG (libpng) and raw RGBA into pixels.
//
// [SECTION] Pixel buffers
// [SECTION] JPEG
// [SECTION] PNG
// [SECTION] Raw RGBA and dispatch
// [SECTION] Premultiplication and halving
//
// Both libraries report fatal errors through a callback that must not return: ours
// long-jumps back to the decoding function, which releases what it holds. Between
// setjmp and the jump only plain data lives in the frame (no destructors skipped),
// and the buffers freed after the jump are held in volatile locals.
#include "GfxImageCodec.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

// ----------------------------------------------------------------------------------
// [SECTION] Pixel buffers
// ----------------------------------------------------------------------------------
namespace {

bool dimensionsAcceptable(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX &&
           width <= GFX_IMAGE_MAX_PIXELS / height;
}

// Allocates width x height x channels bytes; false on memory failure.
bool allocatePixels(const GfxAllocator& allocator, int32_t width, int32_t height, int32_t channels,
                    GfxImagePixels* image)
{
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels);
    auto* pixels = static_cast<uint8_t*>(allocator.allocate(bytes));
    if (!pixels) return false;
    image->pixels = pixels;
    image->width = width;
    image->height = height;
    image->channels = channels;
    return true;
}

bool validBytes(const uint8_t* data, int32_t length) { return data && length > 0; }

}  // namespace

void gfxReleaseImagePixels(const GfxAllocator& allocator, GfxImagePixels* image)
{
    if (!image) return;
    allocator.release(image->pixels);
    *image = GfxImagePixels{};
}

// ----------------------------------------------------------------------------------
// [SECTION] JPEG
// ----------------------------------------------------------------------------------
namespace {

struct JpegErrors {
    jpeg_error_mgr library;
    jmp_buf jump;
    bool endedEarly;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// Warnings are counted, never printed; only "premature end of data" matters to us.
void jpegEmitMessage(j_common_ptr info, int level)
{
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    if (level < 0) {
        errors->library.num_warnings++;
        if (errors->library.msg_code == JWRN_JPEG_EOF) errors->endedEarly = true;
    }
}

void jpegOutputMessage(j_common_ptr) {}

void prepareJpeg(jpeg_decompress_struct* info, JpegErrors* errors)
{
    std::memset(info, 0, sizeof *info);
    info->err = jpeg_std_error(&errors->library);
    errors->library.error_exit = jpegErrorExit;
    errors->library.emit_message = jpegEmitMessage;
    errors->library.output_message = jpegOutputMessage;
    errors->endedEarly = false;
}

// CMYK or YCCK as libjpeg returns it. Adobe writes the inks inverted (255 = none),
// which is what nearly every CMYK JPEG in the wild is.
void cmykRowToRgb(const uint8_t* cmyk, uint8_t* rgb, int32_t width, bool inverted)
{
    for (int32_t x = 0; x < width; ++x) {
        int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        rgb[3 * x] = static_cast<uint8_t>(c * k / 255);
        rgb[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
        rgb[3 * x + 2] = static_cast<uint8_t>(y * k / 255);
    }
}

}  // namespace

int32_t gfxProbeJpegSize(const uint8_t* data, int32_t length, int32_t* width, int32_t* height)
{
    if (width) *width = 0;
    if (height) *height = 0;
    if (!validBytes(data, length)) return GFX_ERR_INVALID;
    jpeg_decompress_struct info;
    JpegErrors errors;
    prepareJpeg(&info, &errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return GFX_ERR_FAILED;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
    int headerResult = jpeg_read_header(&info, TRUE);
    bool known = headerResult == JPEG_HEADER_OK && !errors.endedEarly && info.image_width > 0 && info.image_height > 0;
    int32_t probedWidth = static_cast<int32_t>(info.image_width);
    int32_t probedHeight = static_cast<int32_t>(info.image_height);
    jpeg_destroy_decompress(&info);
    if (!known) return GFX_ERR_FAILED;
    if (width) *width = probedWidth;
    if (height) *height = probedHeight;
    return GFX_OK;
}

int32_t gfxDecodeJpeg(const GfxAllocator& allocator, const uint8_t* data, int32_t length, GfxImagePixels* out)
{
    if (!out) return GFX_ERR_INVALID;
    *out = GfxImagePixels{};
    if (!validBytes(data, length)) return GFX_ERR_INVALID;
    jpeg_decompress_struct info;
    JpegErrors errors;
    // Held across the long jump: plain volatile locals (GCC can keep volatile members
    // of a local struct in registers, which loses them at the jump).
    uint8_t* volatile pixels = nullptr;
    uint8_t* volatile cmykRow = nullptr;
    prepareJpeg(&info, &errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        allocator.release(pixels);
        allocator.release(cmykRow);
        return GFX_ERR_FAILED;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || errors.endedEarly ||
        !dimensionsAcceptable(info.image_width, info.image_height))
        jpegErrorExit(reinterpret_cast<j_common_ptr>(&info));

    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    int32_t width = static_cast<int32_t>(info.output_width);
    int32_t height = static_cast<int32_t>(info.output_height);
    if (!dimensionsAcceptable(width, height) || info.output_components != (cmyk ? 4 : 3))
        jpegErrorExit(reinterpret_cast<j_common_ptr>(&info));

    size_t stride = static_cast<size_t>(width) * 3;
    pixels = static_cast<uint8_t*>(allocator.allocate(stride * static_cast<size_t>(height)));
    if (cmyk) cmykRow = static_cast<uint8_t*>(allocator.allocate(static_cast<size_t>(width) * 4));
    if (!pixels || (cmyk && !cmykRow)) jpegErrorExit(reinterpret_cast<j_common_ptr>(&info));

    while (info.output_scanline < info.output_height && !errors.endedEarly) {
        uint8_t* target = pixels + stride * info.output_scanline;
        JSAMPROW row = cmyk ? cmykRow : target;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
        if (cmyk) cmykRowToRgb(cmykRow, target, width, info.saw_Adobe_marker);
    }
    if (info.output_scanline < info.output_height || errors.endedEarly)
        jpegErrorExit(reinterpret_cast<j_common_ptr>(&info));
    jpeg_finish_decompress(&info);
    if (errors.endedEarly) jpegErrorExit(reinterpret_cast<j_common_ptr>(&info));
    jpeg_destroy_decompress(&info);
    allocator.release(cmykRow);

    out->pixels = pixels;
    out->width = width;
    out->height = height;
    out->channels = 3;
    return GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] PNG
// ----------------------------------------------------------------------------------
namespace {

constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t readBigEndian32(const uint8_t* bytes)
{
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

struct PngSource {
    const uint8_t* data;
    size_t length;
    size_t offset;
};

void pngRead(png_structp png, png_bytep target, png_size_t count)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->length - source->offset) png_error(png, "truncated");
    std::memcpy(target, source->data + source->offset, count);
    source->offset += count;
}

[[noreturn]] void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

png_voidp pngAllocate(png_structp png, png_alloc_size_t bytes)
{
    return static_cast<const GfxAllocator*>(png_get_mem_ptr(png))->allocate(bytes);
}

void pngRelease(png_structp png, png_voidp pointer)
{
    static_cast<const GfxAllocator*>(png_get_mem_ptr(png))->release(pointer);
}

// Every colour type and depth to 8-bit RGBA.
void requestRgba8(png_structp png, png_infop info)
{
    int colourType = png_get_color_type(png, info);
    int bitDepth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (transparency) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colourType & PNG_COLOR_MASK_ALPHA) && !transparency) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

}  // namespace

int32_t gfxProbePngSize(const uint8_t* data, int32_t length, int32_t* width, int32_t* height)
{
    if (width) *width = 0;
    if (height) *height = 0;
    if (!validBytes(data, length)) return GFX_ERR_INVALID;
    // Signature, then the IHDR chunk: length 13, type, width, height.
    constexpr int32_t HEADER_BYTES = 8 + 4 + 4 + 8;
    if (length < HEADER_BYTES || std::memcmp(data, PNG_SIGNATURE, 8) != 0) return GFX_ERR_FAILED;
    if (readBigEndian32(data + 8) != 13 || std::memcmp(data + 12, "IHDR", 4) != 0) return GFX_ERR_FAILED;
    uint32_t probedWidth = readBigEndian32(data + 16);
    uint32_t probedHeight = readBigEndian32(data + 20);
    if (probedWidth == 0 || probedHeight == 0 || probedWidth > INT32_MAX || probedHeight > INT32_MAX)
        return GFX_ERR_FAILED;
    if (width) *width = static_cast<int32_t>(probedWidth);
    if (height) *height = static_cast<int32_t>(probedHeight);
    return GFX_OK;
}

int32_t gfxDecodePng(const GfxAllocator& allocator, const uint8_t* data, int32_t length, GfxImagePixels* out)
{
    if (!out) return GFX_ERR_INVALID;
    *out = GfxImagePixels{};
    if (!validBytes(data, length)) return GFX_ERR_INVALID;
    if (length < 8 || std::memcmp(data, PNG_SIGNATURE, 8) != 0) return GFX_ERR_FAILED;

    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning,
                                               const_cast<GfxAllocator*>(&allocator), pngAllocate, pngRelease);
    if (!png) return GFX_ERR_FAILED;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return GFX_ERR_FAILED;
    }
    PngSource source = {data, static_cast<size_t>(length), 0};
    // Held across the long jump: plain volatile locals, see gfxDecodeJpeg.
    uint8_t* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        allocator.release(rows);
        allocator.release(pixels);
        return GFX_ERR_FAILED;
    }
    png_set_read_fn(png, &source, pngRead);
    png_read_info(png, info);
    int64_t width = png_get_image_width(png, info);
    int64_t height = png_get_image_height(png, info);
    if (!dimensionsAcceptable(width, height)) png_error(png, "image too large");
    requestRgba8(png, info);
    size_t stride = static_cast<size_t>(width) * 4;
    if (png_get_rowbytes(png, info) != stride) png_error(png, "unexpected row size");

    pixels = static_cast<uint8_t*>(allocator.allocate(stride * static_cast<size_t>(height)));
    rows = static_cast<png_bytep*>(allocator.allocate(sizeof(png_bytep) * static_cast<size_t>(height)));
    if (!pixels || !rows) png_error(png, "out of memory");
    for (int64_t row = 0; row < height; ++row) rows[row] = pixels + stride * static_cast<size_t>(row);
    png_read_image(png, rows);
    png_read_end(png, nullptr);  // checks the rest of the file, so a cut-off file is refused

    png_destroy_read_struct(&png, &info, nullptr);
    allocator.release(rows);
    out->pixels = pixels;
    out->width = static_cast<int32_t>(width);
    out->height = static_cast<int32_t>(height);
    out->channels = 4;
    return GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Raw RGBA and dispatch
// ----------------------------------------------------------------------------------
int32_t gfxCopyRawRgba(const GfxAllocator& allocator, const uint8_t* data, int32_t length, int32_t width,
                       int32_t height, GfxImagePixels* out)
{
    if (!out) return GFX_ERR_INVALID;
    *out = GfxImagePixels{};
    if (!validBytes(data, length) || width <= 0 || height <= 0) return GFX_ERR_INVALID;
    if (static_cast<int64_t>(width) * height * 4 != length) return GFX_ERR_INVALID;
    if (!dimensionsAcceptable(width, height)) return GFX_ERR_FAILED;
    if (!allocatePixels(allocator, width, height, 4, out)) return GFX_ERR_FAILED;
    std::memcpy(out->pixels, data, static_cast<size_t>(length));
    return GFX_OK;
}

int32_t gfxDecodeImage(const GfxAllocator& allocator, int32_t encoding, const uint8_t* data, int32_t length,
                       int32_t rawWidth, int32_t rawHeight, GfxImagePixels* out)
{
    switch (encoding) {
    case GFX_IMAGE_JPEG: return gfxDecodeJpeg(allocator, data, length, out);
    case GFX_IMAGE_RAW_RGBA: return gfxCopyRawRgba(allocator, data, length, rawWidth, rawHeight, out);
    case GFX_IMAGE_PNG: return gfxDecodePng(allocator, data, length, out);
    default:
        if (out) *out = GfxImagePixels{};
        return GFX_ERR_INVALID;
    }
}

// ----------------------------------------------------------------------------------
// [SECTION] Premultiplication and halving
// ----------------------------------------------------------------------------------
void gfxPremultiplyAlpha(GfxImagePixels* image)
{
    if (!image || !image->pixels || image->channels != 4) return;
    size_t count = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
    uint8_t* pixel = image->pixels;
    for (size_t i = 0; i < count; ++i, pixel += 4) {
        unsigned alpha = pixel[3];
        pixel[0] = static_cast<uint8_t>(pixel[0] * alpha / 255);
        pixel[1] = static_cast<uint8_t>(pixel[1] * alpha / 255);
        pixel[2] = static_cast<uint8_t>(pixel[2] * alpha / 255);
    }
}

namespace {

// Source rows (or columns) feeding output index i: 2i and 2i + 1, and for the last
// output of an odd size also the odd one out, 2i + 2.
int32_t blockSpan(int32_t outputIndex, int32_t outputSize, int32_t sourceSize)
{
    return (outputIndex == outputSize - 1 && sourceSize % 2 == 1) ? 3 : 2;
}

}  // namespace

int32_t gfxHalveImage(const GfxAllocator& allocator, const GfxImagePixels& source, GfxImagePixels* out)
{
    if (!out) return GFX_ERR_INVALID;
    *out = GfxImagePixels{};
    if (!source.pixels || source.width < 2 || source.height < 2 || source.channels < 1 || source.channels > 4)
        return GFX_ERR_INVALID;
    const int32_t width = source.width / 2;
    const int32_t height = source.height / 2;
    const int32_t channels = source.channels;
    if (!allocatePixels(allocator, width, height, channels, out)) return GFX_ERR_FAILED;
    const size_t sourceStride = static_cast<size_t>(source.width) * channels;
    for (int32_t y = 0; y < height; ++y) {
        int32_t rows = blockSpan(y, height, source.height);
        for (int32_t x = 0; x < width; ++x) {
            int32_t columns = blockSpan(x, width, source.width);
            uint32_t samples = static_cast<uint32_t>(rows * columns);
            for (int32_t c = 0; c < channels; ++c) {
                uint32_t sum = 0;
                for (int32_t dy = 0; dy < rows; ++dy) {
                    const uint8_t* row = source.pixels + sourceStride * static_cast<size_t>(2 * y + dy);
                    for (int32_t dx = 0; dx < columns; ++dx) sum += row[static_cast<size_t>(2 * x + dx) * channels + c];
                }
                out->pixels[(static_cast<size_t>(y) * width + x) * channels + c] =
                    static_cast<uint8_t>((sum + samples / 2) / samples);
            }
        }
    }
    return GFX_OK;
}
