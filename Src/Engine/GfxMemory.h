// Engine-internal memory: the allocator every engine allocation goes through, and
// the growable scratch pool used while building elements.
#pragma once

#include "Gfx.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The system's hooks with their user value. Every engine allocation uses one.
struct GfxAllocator {
    GfxAllocFn alloc = nullptr;
    GfxFreeFn free = nullptr;
    GfxReallocFn realloc = nullptr;
    int32_t userData = 0;

    // Sizes are int32 at the hook boundary: refuse anything larger.
    void* allocate(size_t bytes) const
    {
        if (bytes == 0 || bytes > INT32_MAX) return nullptr;
        return alloc(static_cast<int32_t>(bytes), userData);
    }
    void* resize(void* pointer, size_t bytes) const
    {
        if (bytes == 0 || bytes > INT32_MAX) return nullptr;
        return realloc(pointer, static_cast<int32_t>(bytes), userData);
    }
    void release(void* pointer) const
    {
        if (pointer) free(pointer, userData);
    }
};

// One vertex of a pen cell.
// IMPORTANT: 20 bytes: position, pressure (s) and the offset from the centre line
// divided by the maximum pen radius (t, p). The shaders and stored size hints rely on it.
struct GfxVertex {
    float x = 0;
    float y = 0;
    float s = 0;
    float t = 0;
    float p = 0;
};
static_assert(sizeof(GfxVertex) == 20, "a cell vertex is 20 bytes");

// A scratch pool: starts with `room` elements and grows by `growth`, or by half its
// size once that is more, so building one huge element copies it a few times rather
// than thousands; reset, never shrunk. Holds trivially copyable elements only.
template <typename T>
class GfxPool {
public:
    GfxPool() = default;
    GfxPool(const GfxPool&) = delete;
    GfxPool& operator=(const GfxPool&) = delete;
    ~GfxPool() { destroy(); }

    bool create(const GfxAllocator& allocator, int32_t room, int32_t growth)
    {
        allocator_ = allocator;
        growth_ = growth;
        data_ = static_cast<T*>(allocator_.allocate(sizeof(T) * static_cast<size_t>(room)));
        capacity_ = data_ ? room : 0;
        count_ = 0;
        return data_ != nullptr;
    }
    void destroy()
    {
        if (data_) allocator_.release(data_);
        data_ = nullptr;
        capacity_ = count_ = 0;
    }
    void reset() { count_ = 0; }
    // Makes room for `extra` more elements; false when memory runs out (contents kept).
    bool reserveMore(int32_t extra)
    {
        if (extra < 0 || count_ > INT32_MAX - extra) return false;
        if (count_ + extra <= capacity_) return true;
        const int64_t limit = INT32_MAX / static_cast<int64_t>(sizeof(T));
        const int64_t needed = static_cast<int64_t>(count_) + extra;
        if (needed > limit) return false;
        int64_t wanted = needed + std::max<int64_t>(growth_, capacity_ / 2);
        if (wanted > limit) wanted = limit;
        T* grown = static_cast<T*>(allocator_.resize(data_, sizeof(T) * static_cast<size_t>(wanted)));
        if (!grown) return false;
        data_ = grown;
        capacity_ = static_cast<int32_t>(wanted);
        return true;
    }
    bool push(const T& value)
    {
        if (!reserveMore(1)) return false;
        data_[count_++] = value;
        return true;
    }
    void truncate(int32_t count) { if (count >= 0 && count < count_) count_ = count; }

    T* data() { return data_; }
    const T* data() const { return data_; }
    int32_t count() const { return count_; }
    int32_t capacity() const { return capacity_; }
    T& operator[](int32_t i) { return data_[i]; }
    const T& operator[](int32_t i) const { return data_[i]; }
    T& back() { return data_[count_ - 1]; }

private:
    GfxAllocator allocator_;
    T* data_ = nullptr;
    int32_t capacity_ = 0;
    int32_t count_ = 0;
    int32_t growth_ = 0;
};
