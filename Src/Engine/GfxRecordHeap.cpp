#include "GfxRecordHeap.h"

#include <cstring>

bool gfxRecordHeapCreate(GfxRecordHeap* heap, const GfxAllocator& allocator)
{
    *heap = GfxRecordHeap{};
    heap->allocator = allocator;
    heap->chunks = static_cast<uint8_t**>(allocator.allocate(sizeof(uint8_t*) * GFX_HEAP_CHUNK_LIMIT));
    if (!heap->chunks) return false;
    heap->chunks[0] = static_cast<uint8_t*>(allocator.allocate(GFX_HEAP_CHUNK_BYTES));
    if (!heap->chunks[0]) {
        allocator.release(heap->chunks);
        heap->chunks = nullptr;
        return false;
    }
    heap->chunksAllocated = 1;
    return true;
}

void gfxRecordHeapDestroy(GfxRecordHeap* heap)
{
    if (heap->chunks) {
        for (int32_t i = 0; i < heap->chunksAllocated; ++i) heap->allocator.release(heap->chunks[i]);
        heap->allocator.release(heap->chunks);
    }
    *heap = GfxRecordHeap{};
}

bool gfxRecordHeapPlace(const GfxRecordHeap* heap, int32_t bytes, GfxHeapPosition* at)
{
    if (bytes < 0 || bytes > GFX_HEAP_CHUNK_BYTES) return false;
    GfxHeapPosition position = heap->write;
    if (position.offset + bytes > GFX_HEAP_CHUNK_BYTES) position = {position.chunk + 1, 0};
    if (position.chunk >= GFX_HEAP_CHUNK_LIMIT) return false;
    *at = position;
    return true;
}

bool gfxRecordHeapAppend(GfxRecordHeap* heap, const void* data, int32_t bytes, GfxHeapPosition* at)
{
    if (!heap->chunks) return false;
    GfxHeapPosition position;
    if (!gfxRecordHeapPlace(heap, bytes, &position)) return false;
    // Chunks kept by a rewind are reused; only a chunk never allocated is made.
    while (position.chunk >= heap->chunksAllocated) {
        uint8_t* fresh = static_cast<uint8_t*>(heap->allocator.allocate(GFX_HEAP_CHUNK_BYTES));
        if (!fresh) return false;
        heap->chunks[heap->chunksAllocated++] = fresh;
    }
    if (bytes > 0) std::memcpy(gfxRecordHeapAt(heap, position), data, static_cast<size_t>(bytes));
    heap->write = {position.chunk, position.offset + bytes};
    if (at) *at = position;
    return true;
}

void gfxRecordHeapTruncate(GfxRecordHeap* heap, GfxHeapPosition position)
{
    if (!heap->chunks || position.chunk < 0 || position.chunk >= heap->chunksAllocated) return;
    while (heap->chunksAllocated > position.chunk + 1) {
        heap->allocator.release(heap->chunks[--heap->chunksAllocated]);
        heap->chunks[heap->chunksAllocated] = nullptr;
    }
    heap->write = position;
}

void gfxRecordHeapRewind(GfxRecordHeap* heap, GfxHeapPosition position)
{
    if (!heap->chunks || position.chunk < 0 || position.chunk >= heap->chunksAllocated) return;
    heap->write = position;
}
