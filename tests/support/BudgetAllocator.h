// Plain malloc hooks that can be told to run out: once `budget` allocations and
// resizes have been spent, every further one fails until the budget is lifted.
// For tests of what a builder leaves behind when memory runs out part-way.
#pragma once

#include "GfxMemory.h"

#include <cstdint>
#include <cstdlib>

struct BudgetAllocator {
    static inline int32_t budget = -1;  // < 0: unlimited

    static GfxAllocator hooks() { return GfxAllocator{allocate, release, resize, 0}; }

    static void* allocate(int32_t size, int32_t) { return spend() ? std::malloc(static_cast<size_t>(size)) : nullptr; }
    static void release(void* pointer, int32_t) { std::free(pointer); }
    static void* resize(void* pointer, int32_t size, int32_t)
    {
        return spend() ? std::realloc(pointer, static_cast<size_t>(size)) : nullptr;
    }

private:
    static bool spend()
    {
        if (budget < 0) return true;
        if (budget == 0) return false;
        --budget;
        return true;
    }
};
