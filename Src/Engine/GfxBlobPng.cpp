#include "GfxBlobPng.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

struct PngOutput {
    const GfxAllocator* allocator;
    uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    bool failed = false;
};

png_voidp pngAllocate(png_structp png, png_alloc_size_t size)
{
    auto* output = static_cast<PngOutput*>(png_get_mem_ptr(png));
    return output->allocator->allocate(size);
}

void pngRelease(png_structp png, png_voidp pointer)
{
    auto* output = static_cast<PngOutput*>(png_get_mem_ptr(png));
    output->allocator->release(pointer);
}

void pngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
    if (output->failed) return;
    if (length > output->capacity - output->size) {
        size_t wanted = (output->capacity + length) * 2;
        void* grown = output->bytes ? output->allocator->resize(output->bytes, wanted)
                                    : output->allocator->allocate(wanted);
        if (!grown) {
            output->failed = true;
            return;
        }
        output->bytes = static_cast<uint8_t*>(grown);
        output->capacity = wanted;
    }
    std::memcpy(output->bytes + output->size, data, length);
    output->size += length;
}

void pngFlush(png_structp) {}

// libpng reports errors by longjmp; warnings are not worth a word.
void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

// Runs the libpng calls that may jump back; false when they did.
bool writeRows(png_structp png, png_infop info, const uint8_t* pixels, int32_t width, int32_t height)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Speed over size: the blob is compressed with LZMA afterwards anyway.
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int32_t row = 0; row < height; ++row)
        png_write_row(png, const_cast<png_bytep>(pixels + stride * static_cast<size_t>(row)));
    png_write_end(png, info);
    return true;
}

}  // namespace

int32_t gfxEncodePngRgba(const GfxAllocator& allocator, const uint8_t* pixels, int32_t width, int32_t height,
                         uint8_t** png, int32_t* length)
{
    *png = nullptr;
    *length = 0;
    if (!pixels || width <= 0 || height <= 0 || width > PNG_USER_WIDTH_MAX || height > PNG_USER_HEIGHT_MAX)
        return GFX_ERR_INVALID;

    PngOutput output{&allocator};
    png_structp writer = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &output, pngError, pngWarning, &output,
                                                   pngAllocate, pngRelease);
    if (!writer) return GFX_ERR_FAILED;
    png_infop info = png_create_info_struct(writer);
    bool written = false;
    if (info) {
        png_set_write_fn(writer, &output, pngWrite, pngFlush);
        written = writeRows(writer, info, pixels, width, height);
    }
    png_destroy_write_struct(&writer, info ? &info : nullptr);
    if (!written || output.failed || output.size > INT32_MAX) {
        allocator.release(output.bytes);
        return GFX_ERR_FAILED;
    }
    *png = output.bytes;
    *length = static_cast<int32_t>(output.size);
    return GFX_OK;
}
