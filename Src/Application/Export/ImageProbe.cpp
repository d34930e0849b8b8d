// ImageProbe: image sizes from headers, whole-file PNG checks, and the decoder check
// behind the import's messages.
//
// libjpeg reports fatal errors through a callback that must not return: ours jumps
// back to the probe, which destroys the decompressor and closes the file. Between
// setjmp and the jump only plain data lives in the frame (no destructors skipped).
#include "ImageProbe.h"

#include "GfxImageCodec.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t
#include <cstdlib>
#include <new>
#include <sys/stat.h>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// ---- libjpeg's error manager: jump back, never print --------------------------------
struct JpegErrors {
    jpeg_error_mgr library;
    jmp_buf jump;
    bool endedEarly;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info) { longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

// A header cut short makes libjpeg insert a fake end marker and warn: that is a
// damaged file, not a size.
void jpegEmitMessage(j_common_ptr info, int level)
{
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    if (level < 0 && errors->library.msg_code == JWRN_JPEG_EOF) errors->endedEarly = true;
}

void jpegOutputMessage(j_common_ptr) {}

// ---- an allocator for the engine's decoder that notes when memory ran out -----------
bool allocationRefused = false;  // main thread only, like the import

void* noteAllocate(int32_t size, int32_t)
{
    void* pointer = std::malloc(static_cast<size_t>(size));
    if (!pointer) allocationRefused = true;
    return pointer;
}
void noteRelease(void* pointer, int32_t) { std::free(pointer); }
void* noteResize(void* pointer, int32_t size, int32_t)
{
    void* grown = std::realloc(pointer, static_cast<size_t>(size));
    if (!grown) allocationRefused = true;
    return grown;
}

GfxAllocator noteAllocator() { return GfxAllocator{noteAllocate, noteRelease, noteResize, 0}; }

int32_t encodingOf(int32_t kind) { return kind == IMAGE_KIND_PNG ? GFX_IMAGE_PNG : GFX_IMAGE_JPEG; }

// ---- the PNG header: signature, then the IHDR chunk with its CRC --------------------
constexpr size_t kPngHeaderBytes = 8 + 4 + 4 + 13 + 4;

uint32_t crc32Of(const uint8_t* data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The size an intact header gives. A damaged one (its IHDR CRC is wrong) is refused
// here, so a flipped byte in the size reads as a bad file, not as a huge image.
ImageProbeResult pngHeaderSize(const uint8_t* header, size_t length, int32_t* width, int32_t* height)
{
    if (length < kPngHeaderBytes) return ImageProbeResult::Unsupported;
    int32_t headerWidth = 0, headerHeight = 0;
    if (gfxProbePngSize(header, static_cast<int32_t>(length), &headerWidth, &headerHeight) != GFX_OK)
        return ImageProbeResult::Unsupported;
    const uint8_t* stored = header + kPngHeaderBytes - 4;
    const uint32_t storedCrc = (uint32_t{stored[0]} << 24) | (uint32_t{stored[1]} << 16) |
                               (uint32_t{stored[2]} << 8) | stored[3];
    if (crc32Of(header + 12, 4 + 13) != storedCrc) return ImageProbeResult::Unsupported;  // type and data
    // Too many pixels for the engine: no point in decoding (or in trying to allocate) it.
    if (!imageSizeFitsEngine(headerWidth, headerHeight)) return ImageProbeResult::TooLargeForMemory;
    *width = headerWidth;
    *height = headerHeight;
    return ImageProbeResult::Ok;
}

}  // namespace

bool imageSizeFitsEngine(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= GFX_IMAGE_MAX_PIXELS / height;
}

// ---------------------------------------------------------------------------------------
// JPEG header
// ---------------------------------------------------------------------------------------
ImageProbeResult probeJpegFile(const std::string& path, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    uint64_t bytes = 0;
    if (!regularFileSize(path, &bytes) || bytes == 0) return ImageProbeResult::Unsupported;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return ImageProbeResult::Unsupported;
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.library);
    errors.library.error_exit = jpegErrorExit;
    errors.library.emit_message = jpegEmitMessage;
    errors.library.output_message = jpegOutputMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return ImageProbeResult::Unsupported;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    const int header = jpeg_read_header(&info, TRUE);
    const bool known = header == JPEG_HEADER_OK && !errors.endedEarly && info.image_width > 0 && info.image_height > 0;
    const int64_t probedWidth = info.image_width;
    const int64_t probedHeight = info.image_height;
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    if (!known) return ImageProbeResult::Unsupported;
    *width = static_cast<int32_t>(probedWidth);
    *height = static_cast<int32_t>(probedHeight);
    return ImageProbeResult::Ok;
}

bool probeJpegSize(const std::string& path, int32_t* width, int32_t* height)
{
    return probeJpegFile(path, width, height) == ImageProbeResult::Ok;
}

// ---------------------------------------------------------------------------------------
// PNG, decoded whole
// ---------------------------------------------------------------------------------------
ImageProbeResult probePngBytes(const uint8_t* data, size_t length, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    if (!data || length == 0 || length > INT32_MAX) return ImageProbeResult::Unsupported;
    int32_t headerWidth = 0, headerHeight = 0;
    const ImageProbeResult header = pngHeaderSize(data, length, &headerWidth, &headerHeight);
    if (header != ImageProbeResult::Ok) return header;
    const ImageProbeResult decoded = checkImageDecodes(IMAGE_KIND_PNG, data, length);
    if (decoded != ImageProbeResult::Ok) return decoded;
    *width = headerWidth;
    *height = headerHeight;
    return ImageProbeResult::Ok;
}

ImageProbeResult probePngFileHeader(const std::string& path, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    uint8_t header[kPngHeaderBytes];
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return ImageProbeResult::Unsupported;
    const size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    return pngHeaderSize(header, got, width, height);
}

bool probePngSize(const std::string& path, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    uint64_t bytes = 0;
    std::vector<uint8_t> data;
    if (!regularFileSize(path, &bytes) || bytes == 0 || bytes > INT32_MAX) return false;
    try {
        if (!readWholeFile(path, bytes, &data)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return probePngBytes(data.data(), data.size(), width, height) == ImageProbeResult::Ok;
}

// ---------------------------------------------------------------------------------------
// The engine's decoder on the bytes
// ---------------------------------------------------------------------------------------
ImageProbeResult checkImageDecodes(int32_t kind, const uint8_t* data, size_t length)
{
    if (!data || length == 0 || length > INT32_MAX) return ImageProbeResult::Unsupported;
    const auto count = static_cast<int32_t>(length);
    // The size in the header decides first: the decoder refuses a huge image before it
    // allocates, and that is a matter of memory, not of a bad file.
    int32_t width = 0, height = 0;
    const int32_t probed = kind == IMAGE_KIND_PNG ? gfxProbePngSize(data, count, &width, &height)
                                                  : gfxProbeJpegSize(data, count, &width, &height);
    if (probed != GFX_OK) return ImageProbeResult::Unsupported;
    if (!imageSizeFitsEngine(width, height)) return ImageProbeResult::TooLargeForMemory;
    const GfxAllocator allocator = noteAllocator();
    allocationRefused = false;
    GfxImagePixels pixels;
    const int32_t decoded = gfxDecodeImage(allocator, encodingOf(kind), data, count, 0, 0, &pixels);
    gfxReleaseImagePixels(allocator, &pixels);
    if (decoded == GFX_OK) return ImageProbeResult::Ok;
    return allocationRefused ? ImageProbeResult::TooLargeForMemory : ImageProbeResult::Unsupported;
}

// ---------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------
bool regularFileSize(const std::string& path, uint64_t* bytes)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) return false;
    *bytes = static_cast<uint64_t>(status.st_size);
    return true;
}

bool readWholeFile(const std::string& path, uint64_t expectedBytes, std::vector<uint8_t>* bytes)
{
    bytes->clear();
    if (expectedBytes > SIZE_MAX) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    struct stat status {};
    // The file opened must be the regular file of the size measured before.
    bool good = ::fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
                static_cast<uint64_t>(status.st_size) == expectedBytes;
    if (good) {
        bytes->resize(static_cast<size_t>(expectedBytes));
        good = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    }
    std::fclose(file);
    if (!good) bytes->clear();
    return good;
}
