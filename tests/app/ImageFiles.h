// Small JPEG and PNG files made in the test, written into the test's folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace image_files {

// A w x h RGB JPEG of one colour.
inline std::vector<uint8_t> jpeg(int width, int height, uint8_t r = 200, uint8_t g = 40, uint8_t b = 40)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[3 * x] = r;
        row[3 * x + 1] = g;
        row[3 * x + 2] = b;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

inline void pngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
inline void pngFlush(png_structp) {}

// A w x h RGBA PNG of one colour.
inline std::vector<uint8_t> png(int width, int height, uint8_t r = 40, uint8_t g = 40, uint8_t b = 200,
                                uint8_t a = 255)
{
    std::vector<uint8_t> bytes;
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(writer);
    png_set_write_fn(writer, &bytes, pngWrite, pngFlush);
    png_set_IHDR(writer, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer, info);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
    for (int x = 0; x < width; ++x) {
        row[4 * x] = r;
        row[4 * x + 1] = g;
        row[4 * x + 2] = b;
        row[4 * x + 3] = a;
    }
    for (int y = 0; y < height; ++y) png_write_row(writer, row.data());
    png_write_end(writer, info);
    png_destroy_write_struct(&writer, &info);
    return bytes;
}

// The signature and chunks libpng writes before any pixel (IHDR with its CRC) of a
// w x h RGBA image: the head of a file whose pixels are never made.
inline std::vector<uint8_t> pngHead(int width, int height)
{
    std::vector<uint8_t> bytes;
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(writer);
    png_set_write_fn(writer, &bytes, pngWrite, pngFlush);
    png_set_IHDR(writer, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer, info);
    png_destroy_write_struct(&writer, &info);
    return bytes;
}

inline void write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    std::fclose(file);
}

// Offset of the first byte after the JPEG's start-of-scan header (the entropy data).
inline size_t scanDataOffset(const std::vector<uint8_t>& jpeg)
{
    for (size_t i = 0; i + 3 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
    }
    return jpeg.size();
}

// The JPEG with the size in its frame header replaced (the scan data stays as it was).
inline std::vector<uint8_t> withFrameSize(std::vector<uint8_t> jpeg, uint16_t width, uint16_t height)
{
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            break;
        }
    }
    return jpeg;
}

}  // namespace image_files
