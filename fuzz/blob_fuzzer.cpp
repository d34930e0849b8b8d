// libFuzzer target: a raw (uncompressed) canvas blob from arbitrary bytes, loaded
// into a sketch by the engine's real reader on a Mesa context, then saved again.
// Fuzzing the raw form reaches the record decoders directly instead of through
// LZMA; the .art container and the framing have art_fuzzer.
#include "GfxBlobFormat.h"
#include "GlTestContext.h"

#include <cstdlib>

namespace {

GfxSystem* fuzzSystem = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!glTestContextMakeCurrent()) std::abort();
    fuzzSystem = gfxCreateSystem();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GfxSketch* sketch = gfxCreateSketchFromRawBlob(fuzzSystem, data, size);
    if (!sketch) {
        if (gfxGetLastError(fuzzSystem) == GFX_OK) std::abort();  // a failure must say why
        return 0;
    }
    // What loaded must save again (in one of the formats, chosen by the input; only
    // for some inputs, since compressing is the slowest part of a run).
    if (size % 8 < 2) {
        uint8_t* blob = gfxSerializeSketch(sketch, static_cast<int32_t>(size % 2));
        if (!blob && gfxGetLastError(fuzzSystem) != GFX_ERR_FAILED) std::abort();
        GfxSystemAttributes hooks;
        hooks.flags = GFX_SYSTEM_FREE | GFX_SYSTEM_USER_DATA;
        gfxGetSystemAttributes(fuzzSystem, &hooks);
        if (blob) hooks.free(blob, hooks.userData);
    }
    gfxDestroySketch(sketch);
    return 0;
}
