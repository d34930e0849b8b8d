// Helpers shared by the engine tests: a counting (and optionally failing)
// allocator for the engine's memory hooks, and small model builders.
#pragma once

#include "GfxInternal.h"

#include <cstdint>
#include <cstdlib>
#include <map>

// Counts every allocation through the hooks; can be told to fail from the n-th
// allocation on. One instance at a time (the hooks are plain functions).
struct CountingAllocator {
    static inline int64_t allocations = 0;
    static inline int64_t releases = 0;
    static inline int64_t liveBytes = 0;
    static inline int64_t failAfter = -1;  // allocations left before failing; -1 never
    static inline std::map<void*, int64_t>* sizes = nullptr;

    static void reset()
    {
        allocations = releases = liveBytes = 0;
        failAfter = -1;
        delete sizes;
        sizes = new std::map<void*, int64_t>();
    }
    static bool shouldFail()
    {
        if (failAfter < 0) return false;
        if (failAfter == 0) return true;
        --failAfter;
        return false;
    }
    static void* alloc(int32_t size, int32_t)
    {
        if (shouldFail()) return nullptr;
        void* p = std::malloc(static_cast<size_t>(size));
        if (p) {
            ++allocations;
            liveBytes += size;
            (*sizes)[p] = size;
        }
        return p;
    }
    static void free(void* pointer, int32_t)
    {
        if (!pointer) return;
        ++releases;
        liveBytes -= (*sizes)[pointer];
        sizes->erase(pointer);
        std::free(pointer);
    }
    static void* realloc(void* pointer, int32_t size, int32_t)
    {
        if (shouldFail()) return nullptr;
        void* p = std::realloc(pointer, static_cast<size_t>(size));
        if (!p) return nullptr;
        if (pointer) {
            liveBytes -= (*sizes)[pointer];
            sizes->erase(pointer);
        } else {
            ++allocations;
        }
        liveBytes += size;
        (*sizes)[p] = size;
        return p;
    }
    static GfxAllocator allocator()
    {
        GfxAllocator a;
        a.alloc = &CountingAllocator::alloc;
        a.free = &CountingAllocator::free;
        a.realloc = &CountingAllocator::realloc;
        a.userData = 7;
        return a;
    }
};
