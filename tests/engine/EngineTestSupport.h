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

// ----------------------------------------------------------------------------------
// Drawing and reading back through the public interface and the model
// ----------------------------------------------------------------------------------
#include <vector>

// A freehand stroke through the given points (pressure 0.5); returns lastError.
inline int32_t drawStroke(GfxSketch* sketch, const std::vector<GfxSample>& points)
{
    GfxElementInput input;
    input.kind = GFX_ELEMENT_FREEHAND;
    input.sampleCount = 1;
    input.samples = &points[0];
    gfxBeginElement(sketch, &input);
    if (gfxGetLastError(sketch->system) != GFX_OK) return gfxGetLastError(sketch->system);
    if (points.size() > 2) {
        input.sampleCount = static_cast<int32_t>(points.size() - 2);
        input.samples = &points[1];
        gfxExtendElement(sketch, &input);
    }
    input.sampleCount = points.size() > 1 ? 1 : 0;
    input.samples = &points.back();
    gfxEndElement(sketch, &input);
    return gfxGetLastError(sketch->system);
}

// A short stroke from (x, y) to (x + 20, y).
inline int32_t drawStrokeAt(GfxSketch* sketch, float x, float y)
{
    return drawStroke(sketch, {{x, y, 0.5f}, {x + 10, y + 1, 0.6f}, {x + 20, y, 0.5f}});
}

// A shape element (rectangle, ellipse) or a two-point kind (line, multi-line, polygon).
inline int32_t drawElement(GfxSketch* sketch, int32_t kind, const std::vector<GfxSample>& points,
                           const float rect[4] = nullptr, float angle = 0)
{
    GfxElementInput input;
    input.kind = kind;
    if (rect) std::memcpy(input.rect, rect, sizeof input.rect);
    input.angle = angle;
    input.sampleCount = points.empty() ? 0 : 1;
    input.samples = points.empty() ? nullptr : &points[0];
    gfxBeginElement(sketch, &input);
    if (gfxGetLastError(sketch->system) != GFX_OK) return gfxGetLastError(sketch->system);
    for (size_t i = 1; i + 1 < points.size(); ++i) {
        input.samples = &points[i];
        gfxExtendElement(sketch, &input);
    }
    input.sampleCount = points.size() > 1 ? 1 : 0;
    input.samples = points.size() > 1 ? &points.back() : nullptr;
    gfxEndElement(sketch, &input);
    return gfxGetLastError(sketch->system);
}

// The live record types of a layer (baseIndex .. cursor - 1).
inline std::vector<int32_t> liveTypes(const GfxLayer* layer)
{
    std::vector<int32_t> types;
    for (int32_t i = layer->baseIndex; i < layer->records.cursor; ++i) types.push_back(gfxRecordAt(layer, i)->type);
    return types;
}

// The record indices of the live elements of a layer.
inline std::vector<int32_t> liveElements(const GfxLayer* layer)
{
    std::vector<int32_t> elements;
    for (int32_t i = layer->baseIndex; i < layer->records.cursor; ++i)
        if (gfxIsElementType(gfxRecordAt(layer, i)->type)) elements.push_back(i);
    return elements;
}

// The points of a point-list record, read through the heap layout.
inline std::vector<GfxSample> pointsOf(const GfxLayer* layer, int32_t index)
{
    const GfxRecordEntry entry = *gfxRecordAt(layer, index);
    const int32_t count = gfxReadPayload<GfxPointListRecord>(layer, entry).pointCount;
    std::vector<GfxSample> points(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(&points[i], gfxRecordHeapAt(&layer->heap, gfxPointPosition(entry, i)), sizeof(GfxSample));
    return points;
}

inline std::vector<int32_t> orderSlots(const GfxSketch* sketch)
{
    return std::vector<int32_t>(sketch->layerOrder, sketch->layerOrder + sketch->layerCount);
}
