// A counting allocator for tests: hooks in the engine's shape that record live and
// peak bytes and can be told to fail, so a test can see that every allocation went
// through the hooks, that nothing leaked, and what happens when memory runs out.
#pragma once

#include "GfxMemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

struct TestAllocator {
    static inline int64_t liveBytes = 0;
    static inline int64_t peakBytes = 0;
    static inline int64_t liveBlocks = 0;
    static inline int64_t calls = 0;       // allocations and resizes
    static inline int64_t failAtCall = -1; // the call with this number (from 0) fails; -1 never

    static void reset()
    {
        liveBytes = peakBytes = liveBlocks = calls = 0;
        failAtCall = -1;
    }

    static GfxAllocator hooks() { return GfxAllocator{allocate, release, resize, 0}; }

    static void* allocate(int32_t size, int32_t)
    {
        if (size <= 0 || calls++ == failAtCall) return nullptr;
        auto* block = static_cast<unsigned char*>(std::malloc(kHeader + static_cast<size_t>(size)));
        if (!block) return nullptr;
        std::memcpy(block, &size, sizeof size);
        account(size);
        ++liveBlocks;
        return block + kHeader;
    }
    static void release(void* pointer, int32_t)
    {
        if (!pointer) return;
        unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
        int32_t size = 0;
        std::memcpy(&size, block, sizeof size);
        account(-static_cast<int64_t>(size));
        --liveBlocks;
        std::free(block);
    }
    static void* resize(void* pointer, int32_t size, int32_t userData)
    {
        if (!pointer) return allocate(size, userData);
        if (size <= 0 || calls++ == failAtCall) return nullptr;
        unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
        int32_t old = 0;
        std::memcpy(&old, block, sizeof old);
        auto* grown = static_cast<unsigned char*>(std::realloc(block, kHeader + static_cast<size_t>(size)));
        if (!grown) return nullptr;
        std::memcpy(grown, &size, sizeof size);
        account(static_cast<int64_t>(size) - old);
        return grown + kHeader;
    }

private:
    static constexpr size_t kHeader = 16;
    static void account(int64_t delta)
    {
        liveBytes += delta;
        if (liveBytes > peakBytes) peakBytes = liveBytes;
    }
};
