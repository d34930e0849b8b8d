// libFuzzer target: an .art file from arbitrary bytes, through the container reader
// and the blob's framing and decompression. Whatever the input, the reader must
// end cleanly: no crash, no hang, no huge allocation.
#include "ArtFile.h"
#include "GfxLzma.h"

#include <cstdlib>

namespace {

void* fuzzAllocate(int32_t size, int32_t) { return std::malloc(static_cast<size_t>(size)); }
void fuzzRelease(void* pointer, int32_t) { std::free(pointer); }
void* fuzzResize(void* pointer, int32_t size, int32_t) { return std::realloc(pointer, static_cast<size_t>(size)); }

// Opens the blob the way the engine's loader starts: framing, then the stream.
class DecompressingSink : public ArtBlobSink {
public:
    int32_t load(const uint8_t* blob, size_t blobBytes) override
    {
        GfxAllocator allocator{fuzzAllocate, fuzzRelease, fuzzResize, 0};
        size_t rawBytes = 0;
        uint8_t* raw = gfxBlobDecompress(allocator, blob, blobBytes, &rawBytes);
        allocator.release(raw);
        return raw ? 0 : 1;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecompressingSink sink;
    ArtReadResult result = readArtBytes(data, size, sink);
    if (result.status == ArtReadStatus::Ok && result.header.pins.size() > ART_MAX_PINS) std::abort();
    return 0;
}
