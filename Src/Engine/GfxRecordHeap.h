// GfxRecordHeap: a layer's payload store. Chunks of GFX_HEAP_CHUNK_BYTES reached
// through a fixed table; a payload never straddles two chunks, so consecutive
// payloads may leave a gap at the end of a chunk.
#pragma once

#include "GfxMemory.h"

#include <cstdint>

constexpr int32_t GFX_HEAP_CHUNK_BYTES = 10000;
constexpr int32_t GFX_HEAP_CHUNK_LIMIT = 100000;

struct GfxHeapPosition {
    int32_t chunk = 0;
    int32_t offset = 0;
};

struct GfxRecordHeap {
    GfxAllocator allocator;
    uint8_t** chunks = nullptr;     // GFX_HEAP_CHUNK_LIMIT entries
    int32_t chunksAllocated = 0;    // chunks [0, chunksAllocated) exist
    GfxHeapPosition write;          // where the next payload goes
};

bool gfxRecordHeapCreate(GfxRecordHeap* heap, const GfxAllocator& allocator);
void gfxRecordHeapDestroy(GfxRecordHeap* heap);

// Where a payload of `bytes` appended now would start (moving to the next chunk
// when it does not fit in the rest of the current one). False when it can never
// be stored: larger than a chunk, or past the chunk limit.
bool gfxRecordHeapPlace(const GfxRecordHeap* heap, int32_t bytes, GfxHeapPosition* at);

// Copies `bytes` to the heap and reports where they went. False (nothing changes)
// when the payload is larger than a chunk, the chunk limit is reached or memory
// runs out.
bool gfxRecordHeapAppend(GfxRecordHeap* heap, const void* data, int32_t bytes, GfxHeapPosition* at);

// Releases the chunks after `position.chunk` and sets the write position.
void gfxRecordHeapTruncate(GfxRecordHeap* heap, GfxHeapPosition position);

// Moves the write position back without releasing anything (a stroke rewriting its
// own points reuses the chunks it already has).
void gfxRecordHeapRewind(GfxRecordHeap* heap, GfxHeapPosition position);

inline uint8_t* gfxRecordHeapAt(const GfxRecordHeap* heap, GfxHeapPosition position)
{
    return heap->chunks[position.chunk] + position.offset;
}

// The position following a payload of `bytes` at `position`, by the same rule as
// appending: what a reader uses to walk a list of equal-sized payloads.
inline GfxHeapPosition gfxRecordHeapNext(GfxHeapPosition position, int32_t bytes, int32_t nextBytes)
{
    GfxHeapPosition next{position.chunk, position.offset + bytes};
    if (next.offset + nextBytes > GFX_HEAP_CHUNK_BYTES) next = {next.chunk + 1, 0};
    return next;
}

inline int64_t gfxRecordHeapBytesUsed(const GfxRecordHeap* heap)
{
    return static_cast<int64_t>(heap->write.chunk) * GFX_HEAP_CHUNK_BYTES + heap->write.offset;
}
inline int64_t gfxRecordHeapBytesAllocated(const GfxRecordHeap* heap)
{
    return static_cast<int64_t>(heap->chunksAllocated) * GFX_HEAP_CHUNK_BYTES;
}
