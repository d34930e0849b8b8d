// Stroke construction costs.
//
//   BM_ExtendPerSample/<samples>/<level>: a freehand stroke fed one sample per extend
//     call, as begin/extend do it (filter, rebuild rule, rebuild from all kept
//     samples); the "per_sample" counter is the mean cost of one extend sample.
//   BM_EndCells/<samples>/<pen type>: what end does after the final rebuild: the
//     centre-line refit and the pen cells; "cells" is cells built per second.
#include "GfxPenCells.h"
#include "GfxStrokeBuilder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

void* benchAlloc(int32_t size, int32_t) { return std::malloc(static_cast<size_t>(size)); }
void benchFree(void* pointer, int32_t) { std::free(pointer); }
void* benchRealloc(void* pointer, int32_t size, int32_t) { return std::realloc(pointer, static_cast<size_t>(size)); }
GfxAllocator benchAllocator() { return GfxAllocator{benchAlloc, benchFree, benchRealloc, 0}; }

// A hand-drawn-looking path inside a 1920x1080 window: a slow Lissajous sweep with a
// wobble, samples 2 to 4 pixels apart (every one passes the filter), pressure waving.
std::vector<GfxSample> freehandSamples(int count)
{
    std::vector<GfxSample> samples;
    samples.reserve(static_cast<size_t>(count));
    double t = 0;
    for (int i = 0; i < count; ++i) {
        double x = 960 + 800 * std::sin(t * 0.9) + 6 * std::sin(t * 31);
        double y = 540 + 450 * std::sin(t * 1.3 + 0.5) + 6 * std::cos(t * 27);
        double pressure = 0.55 + 0.4 * std::sin(t * 5);
        samples.push_back({static_cast<float>(x), static_cast<float>(y), static_cast<float>(pressure)});
        t += 3.0 / 1000.0;  // about 3 pixels per step at the sweep's speed
    }
    return samples;
}

struct StrokePools {
    GfxPool<GfxSample> raw, copy, points, centreLine;
    GfxPool<GfxVertex> vertices;
    StrokePools()
    {
        raw.create(benchAllocator(), 1024, 1024);
        copy.create(benchAllocator(), 1024, 1024);
        points.create(benchAllocator(), 4096, 4096);
        centreLine.create(benchAllocator(), 4096, 4096);
        vertices.create(benchAllocator(), 65536, 65536);
    }
};

void BM_ExtendPerSample(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const GfxSmoothing smoothing = gfxSmoothingForLevel(static_cast<int32_t>(state.range(1)));
    const std::vector<GfxSample> samples = freehandSamples(count);
    StrokePools pools;
    int64_t rebuilds = 0;
    for (auto _ : state) {
        pools.raw.reset();
        pools.raw.push(samples[0]);  // begin
        for (int i = 1; i < count; ++i) {
            int32_t before = pools.raw.count();
            int32_t kept = 0;
            gfxStrokeFilterSamples(pools.raw, &samples[i], 1, &kept);
            if (gfxStrokeShouldRebuild(kept, before)) {
                GfxStrokeBounds bounds;
                gfxRebuildStroke(pools.raw, nullptr, smoothing, pools.copy, pools.points, &bounds);
                benchmark::DoNotOptimize(bounds);
                ++rebuilds;
            }
        }
    }
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(count - 1), benchmark::Counter::kIsIterationInvariantRate |
                                                               benchmark::Counter::kInvert);
    state.counters["points"] = static_cast<double>(pools.points.count());
    state.counters["rebuilds"] = benchmark::Counter(static_cast<double>(rebuilds), benchmark::Counter::kAvgIterations);
}

void extendArguments(benchmark::internal::Benchmark* benchmark)
{
    for (int level = 0; level <= 4; ++level) {
        benchmark->Args({100, level});
        benchmark->Args({1000, level});
    }
}
void longExtendArguments(benchmark::internal::Benchmark* benchmark)
{
    for (int level = 0; level <= 4; ++level) benchmark->Args({10000, level});
}

BENCHMARK(BM_ExtendPerSample)->Apply(extendArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtendPerSample)->Apply(longExtendArguments)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_EndCells(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    GfxCellPen pen;
    pen.penType = static_cast<int32_t>(state.range(1));
    pen.penWidth = 6.0f;
    pen.penWidthSensitivity = 1.0f;
    StrokePools pools;
    // The stored stroke as end leaves it.
    for (const GfxSample& sample : freehandSamples(count)) pools.raw.push(sample);
    gfxRebuildStroke(pools.raw, nullptr, gfxSmoothingForLevel(0), pools.copy, pools.points, nullptr);
    int64_t cells = 0;
    for (auto _ : state) {
        pools.vertices.reset();
        int32_t vertexCount = 0;
        gfxBuildElementCells(GFX_ELEMENT_FREEHAND, pools.points.data(), pools.points.count(), nullptr, 1.0f, pen, nullptr,
                             pools.centreLine, pools.vertices, nullptr, &vertexCount);
        cells += vertexCount / 4;
    }
    state.counters["cells"] = benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsRate);
    state.counters["cells_per_stroke"] = benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_EndCells)
    ->ArgsProduct({{100, 1000, 10000}, {GFX_CELL_PEN_MARKER, GFX_CELL_PEN_PENCIL, GFX_CELL_PEN_WIDE_MARKER}})
    ->Unit(benchmark::kMicrosecond);

// A pencil line far longer than any drawn one, as a damaged file can hold: its
// stamps are thinned to the limit, so the build costs what the limit allows.
void BM_PencilLineBeyondTheStampLimit(benchmark::State& state)
{
    GfxCellPen pen;
    pen.penType = GFX_CELL_PEN_PENCIL;
    pen.penWidth = 1.0f;
    pen.penWidthSensitivity = 1.0f;
    StrokePools pools;
    const GfxSample line[] = {{0, 0, 0}, {1e9f, 0, 0}};
    int64_t cells = 0;
    for (auto _ : state) {
        pools.vertices.reset();
        gfxBuildPenCells(pen, line, 2, nullptr, pools.vertices);
        cells += pools.vertices.count() / 4;
    }
    state.counters["cells_per_line"] = benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_PencilLineBeyondTheStampLimit)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
