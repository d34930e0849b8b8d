// GfxChunkArray: the engine's growable list. Elements live in fixed-size chunks
// reached through a chunk table whose length (the chunk limit) is fixed at
// creation, so an element never moves once stored and a full list is an error,
// never a reallocation.
#pragma once

#include "GfxMemory.h"

#include <cstdint>

struct GfxChunkArray {
    GfxAllocator allocator;
    int32_t elementSize = 0;
    int32_t elementsPerChunk = 0;  // chunkBytes / elementSize
    int32_t chunkBytes = 0;
    int32_t chunkLimit = 0;        // length of `chunks`
    int32_t chunksAllocated = 0;   // chunks [0, chunksAllocated) exist
    uint8_t** chunks = nullptr;
    int32_t count = 0;             // elements stored
    int32_t cursor = 0;            // append position; below count after an undo
};

// Allocates the chunk table and the first chunk. False (nothing kept) when memory
// runs out or the sizes make no sense.
bool gfxChunkArrayCreate(GfxChunkArray* array, const GfxAllocator& allocator, int32_t elementSize,
                         int32_t chunkBytes, int32_t chunkLimit);
void gfxChunkArrayDestroy(GfxChunkArray* array);

// Copies one element to index `cursor`; afterwards count = cursor = old cursor + 1.
// Returns the index, or -1 when a chunk would exceed the limit or memory runs out
// (nothing changes then).
int32_t gfxChunkArrayAppend(GfxChunkArray* array, const void* element);

// Releases the chunks wholly beyond `count` elements (the first chunk always stays)
// and sets count = count, cursor = min(cursor, count).
void gfxChunkArrayTruncate(GfxChunkArray* array, int32_t count);

// Address of element `index` (< count), stable for the element's lifetime.
inline void* gfxChunkArrayAt(const GfxChunkArray* array, int32_t index)
{
    return array->chunks[index / array->elementsPerChunk] +
           static_cast<size_t>(index % array->elementsPerChunk) * static_cast<size_t>(array->elementSize);
}

template <typename T>
inline T* gfxChunkArrayGet(const GfxChunkArray* array, int32_t index)
{
    return static_cast<T*>(gfxChunkArrayAt(array, index));
}

// Memory figures used by the sketch statistics.
inline int64_t gfxChunkArrayBytesUsed(const GfxChunkArray* array)
{
    return static_cast<int64_t>(array->count) * array->elementSize;
}
inline int64_t gfxChunkArrayBytesAllocated(const GfxChunkArray* array)
{
    return static_cast<int64_t>(array->chunksAllocated) * array->chunkBytes;
}
