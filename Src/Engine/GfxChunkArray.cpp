#include "GfxChunkArray.h"

#include <cstring>

bool gfxChunkArrayCreate(GfxChunkArray* array, const GfxAllocator& allocator, int32_t elementSize,
                         int32_t chunkBytes, int32_t chunkLimit)
{
    *array = GfxChunkArray{};
    if (elementSize <= 0 || chunkBytes < elementSize || chunkLimit <= 0) return false;
    array->allocator = allocator;
    array->elementSize = elementSize;
    array->chunkBytes = chunkBytes;
    array->elementsPerChunk = chunkBytes / elementSize;
    array->chunkLimit = chunkLimit;
    array->chunks = static_cast<uint8_t**>(allocator.allocate(sizeof(uint8_t*) * static_cast<size_t>(chunkLimit)));
    if (!array->chunks) return false;
    array->chunks[0] = static_cast<uint8_t*>(allocator.allocate(static_cast<size_t>(chunkBytes)));
    if (!array->chunks[0]) {
        allocator.release(array->chunks);
        array->chunks = nullptr;
        return false;
    }
    array->chunksAllocated = 1;
    return true;
}

void gfxChunkArrayDestroy(GfxChunkArray* array)
{
    if (array->chunks) {
        for (int32_t i = 0; i < array->chunksAllocated; ++i) array->allocator.release(array->chunks[i]);
        array->allocator.release(array->chunks);
    }
    *array = GfxChunkArray{};
}

int32_t gfxChunkArrayAppend(GfxChunkArray* array, const void* element)
{
    if (!array->chunks) return -1;
    const int32_t index = array->cursor;
    const int32_t chunk = index / array->elementsPerChunk;
    if (chunk >= array->chunkLimit) return -1;
    if (chunk >= array->chunksAllocated) {
        // Appends are sequential, so at most the next chunk is ever missing.
        uint8_t* fresh = static_cast<uint8_t*>(array->allocator.allocate(static_cast<size_t>(array->chunkBytes)));
        if (!fresh) return -1;
        array->chunks[array->chunksAllocated++] = fresh;
    }
    std::memcpy(gfxChunkArrayAt(array, index), element, static_cast<size_t>(array->elementSize));
    array->cursor = index + 1;
    array->count = index + 1;
    return index;
}

void gfxChunkArrayTruncate(GfxChunkArray* array, int32_t count)
{
    if (!array->chunks || count < 0 || count > array->count) return;
    int32_t chunksNeeded = (count + array->elementsPerChunk - 1) / array->elementsPerChunk;
    if (chunksNeeded < 1) chunksNeeded = 1;
    while (array->chunksAllocated > chunksNeeded) {
        array->allocator.release(array->chunks[--array->chunksAllocated]);
        array->chunks[array->chunksAllocated] = nullptr;
    }
    array->count = count;
    if (array->cursor > count) array->cursor = count;
}
