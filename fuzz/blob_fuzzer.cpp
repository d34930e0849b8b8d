// libFuzzer target: a raw (uncompressed) canvas blob from arbitrary bytes, through
// the parser that the sketch loader and the tools use. Fuzzing the raw form reaches
// the record decoders directly instead of through LZMA.
#include "GfxBlobFormat.h"

#include <cstdlib>

namespace {

void* fuzzAllocate(int32_t size, int32_t) { return std::malloc(static_cast<size_t>(size)); }
void fuzzRelease(void* pointer, int32_t) { std::free(pointer); }
void* fuzzResize(void* pointer, int32_t size, int32_t) { return std::realloc(pointer, static_cast<size_t>(size)); }

// Touches what it is handed, so reads past the blob's end would show.
class CheckingVisitor : public GfxBlobVisitor {
public:
    int32_t header(const GfxBlobHeader& header) override
    {
        for (int32_t i = 0; i < header.orderCount; ++i)
            if (header.order[i] < 0 || header.order[i] >= header.layerCount) std::abort();
        for (int32_t i = 0; i < header.layerCount; ++i) sum += static_cast<unsigned char>(header.layers[i].name[255]);
        return 0;
    }
    int32_t image(int32_t, int32_t, const uint8_t* bytes, int32_t length) override
    {
        if (length > 0) sum += bytes[0] + bytes[length - 1];
        return 0;
    }
    int32_t layerAdded(int32_t, int32_t position) override
    {
        sum += static_cast<unsigned>(position);
        return 0;
    }
    int32_t record(int32_t, const GfxBlobRecord& record, bool) override
    {
        if (record.pointCount > 0) sum += record.points[record.pointCount - 1].pressure > 0.5f;
        if (record.pointCount > 0 && !(record.points[0].pressure >= 0 && record.points[0].pressure <= 1)) std::abort();
        return 0;
    }
    unsigned sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GfxAllocator allocator{fuzzAllocate, fuzzRelease, fuzzResize, 0};
    CheckingVisitor visitor;
    gfxBlobParse(data, size, allocator, &visitor);
    return 0;
}
