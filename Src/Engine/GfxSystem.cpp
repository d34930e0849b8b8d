// The system handle: memory hooks, lastError, the sketch registry and the
// clipboard registry.
#include "GfxInternal.h"

#include <cstdlib>
#include <new>

namespace {

void* defaultAlloc(int32_t size, int32_t) { return std::malloc(static_cast<size_t>(size)); }
void defaultFree(void* pointer, int32_t) { std::free(pointer); }
void* defaultRealloc(void* pointer, int32_t size, int32_t) { return std::realloc(pointer, static_cast<size_t>(size)); }

}  // namespace

GfxSystem* gfxCreateSystemWithAllocator(const GfxAllocator& allocator)
{
    void* memory = allocator.allocate(sizeof(GfxSystem));
    if (!memory) return nullptr;
    GfxSystem* system = new (memory) GfxSystem{};
    system->allocator = allocator;
    system->clipView = gfxMatrixIdentity();
    if (!gfxChunkArrayCreate(&system->sketches, allocator, sizeof(GfxSketch*),
                             GFX_SKETCH_REGISTRY_PER_CHUNK * static_cast<int32_t>(sizeof(GfxSketch*)),
                             GFX_SKETCH_REGISTRY_CHUNKS) ||
        !gfxChunkArrayCreate(&system->clipRegistry, allocator, sizeof(GfxClipRegistryEntry),
                             GFX_CLIP_REGISTRY_PER_CHUNK * static_cast<int32_t>(sizeof(GfxClipRegistryEntry)),
                             GFX_CLIP_REGISTRY_CHUNKS)) {
        gfxChunkArrayDestroy(&system->sketches);
        gfxChunkArrayDestroy(&system->clipRegistry);
        system->~GfxSystem();
        allocator.release(memory);
        return nullptr;
    }
    system->lastError = GFX_OK;
    return system;
}

GfxSystem* gfxCreateSystem()
{
    GfxAllocator allocator;
    allocator.alloc = defaultAlloc;
    allocator.free = defaultFree;
    allocator.realloc = defaultRealloc;
    allocator.userData = 0;
    return gfxCreateSystemWithAllocator(allocator);
}

void gfxDestroySystem(GfxSystem* system)
{
    if (!system) return;
    for (int32_t i = 0; i < system->sketches.count; ++i) {
        GfxSketch* sketch = *gfxChunkArrayGet<GfxSketch*>(&system->sketches, i);
        if (sketch) gfxDestroySketch(sketch);
    }
    gfxChunkArrayDestroy(&system->sketches);
    gfxChunkArrayDestroy(&system->clipRegistry);
    const GfxAllocator allocator = system->allocator;
    system->~GfxSystem();
    allocator.release(system);
}

int32_t gfxGetLastError(GfxSystem* system)
{
    return system ? system->lastError : GFX_ERR_INVALID;
}

void gfxGetSystemAttributes(GfxSystem* system, GfxSystemAttributes* attributes)
{
    if (!system) return;
    if (!attributes) {
        system->lastError = GFX_ERR_INVALID;
        return;
    }
    const int32_t flags = attributes->flags;
    if (flags & GFX_SYSTEM_ALLOC) attributes->alloc = system->allocator.alloc;
    if (flags & GFX_SYSTEM_FREE) attributes->free = system->allocator.free;
    if (flags & GFX_SYSTEM_REALLOC) attributes->realloc = system->allocator.realloc;
    if (flags & GFX_SYSTEM_USER_DATA) attributes->userData = system->allocator.userData;
    if (flags & GFX_SYSTEM_CLIPBOARD_VALID)
        attributes->clipboardValid = (system->clipSketch >= 0 && system->clipLayer >= 0) ? 1 : 0;
    system->lastError = GFX_OK;
}

GfxSketch* gfxSketchById(const GfxSystem* system, int32_t id)
{
    if (id < 0 || id >= system->sketches.count) return nullptr;
    return *gfxChunkArrayGet<GfxSketch*>(&system->sketches, id);
}
