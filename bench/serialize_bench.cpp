// Canvas serialization: save and load time, file bytes per point, and the engine's
// peak memory while loading, for documents of 100,000 points (and, with
// VELLUMIN_BENCH_LARGE=1, 10,000,000 points), in both blob versions.
//   build/bin/serialize_bench
//   VELLUMIN_BENCH_LARGE=1 build/bin/serialize_bench --benchmark_filter=10000000
// Documents are strokes of 500 points, drawn like a hand would (small steps,
// pressure changing slowly), built straight from a raw blob so that making them
// does not dominate the run.
#include "GfxBlobFormat.h"
#include "GfxInternal.h"
#include "GfxLzma.h"
#include "GlTestContext.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

namespace {

// Engine memory with a running peak.
struct PeakAllocator {
    static inline int64_t live = 0;
    static inline int64_t peak = 0;
    static inline std::map<uintptr_t, int64_t> sizes;  // by address value: a moved block's old key stays usable
    static void* alloc(int32_t size, int32_t)
    {
        void* p = std::malloc(static_cast<size_t>(size));
        if (p) track(p, size);
        return p;
    }
    static void free(void* p, int32_t)
    {
        if (!p) return;
        untrack(reinterpret_cast<uintptr_t>(p));
        std::free(p);
    }
    static void* realloc(void* p, int32_t size, int32_t)
    {
        // Forget the old block first: after a successful realloc it is gone.
        const int64_t oldSize = p ? sizes[reinterpret_cast<uintptr_t>(p)] : 0;
        if (p) untrack(reinterpret_cast<uintptr_t>(p));
        void* grown = std::realloc(p, static_cast<size_t>(size));
        if (!grown) {
            if (p) track(p, oldSize);  // a failed realloc leaves the old block as it was
            return nullptr;
        }
        track(grown, size);
        return grown;
    }
    static void track(void* p, int64_t size)
    {
        sizes[reinterpret_cast<uintptr_t>(p)] = size;
        live += size;
        peak = std::max(peak, live);
    }
    static void untrack(uintptr_t key)
    {
        live -= sizes[key];
        sizes.erase(key);
    }
};

constexpr int32_t kPointsPerStroke = 500;

// A raw blob of one layer holding `points` points in strokes of 500, marker pen.
std::vector<uint8_t> handDrawnRawBlob(const GfxAllocator& allocator, int64_t points)
{
    GfxPool<GfxSample> scratch;
    scratch.create(allocator, 1024, 1024);
    GfxBlobBuffer b(allocator);
    b.putInt32(GFX_BLOB_VERSION_DELTA5);
    GfxSketchAttributes attributes;
    attributes.currentLayer = 0;
    gfxBlobPutAttributes(&b, attributes);
    const float identity[17] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1};
    b.putFloats(identity, 17);
    b.putInt32(1);
    b.putInt32(0);
    b.putInt32(1);
    gfxBlobPutLayer(&b, GfxBlobLayer{});
    b.putInt32(0);
    const int64_t strokes = (points + kPointsPerStroke - 1) / kPointsPerStroke;
    b.putInt32(static_cast<int32_t>(2 + strokes));
    b.putInt32(0);
    b.putInt32(GFX_BLOB_OPERATION_LAYER_ADDED);
    b.putInt32(0);
    GfxBlobRecord pen;
    pen.type = GFX_RECORD_PEN;
    pen.penType = 0;
    b.putInt32(0);
    gfxBlobPutRecord(&b, pen, GFX_BLOB_VERSION_DELTA5, &scratch);

    std::mt19937 generator(11);
    std::normal_distribution<float> turn(0.0f, 0.25f);
    std::vector<GfxSample> stroke(kPointsPerStroke);
    for (int64_t s = 0; s < strokes; ++s) {
        float x = static_cast<float>(s % 40) * 25.0f, y = static_cast<float>(s % 97) * 8.0f;
        float heading = static_cast<float>(s), pressure = 0.5f;
        for (GfxSample& p : stroke) {
            heading += turn(generator);
            x += 1.8f * std::cos(heading);
            y += 1.8f * std::sin(heading);
            pressure = std::clamp(pressure + turn(generator) * 0.05f, 0.05f, 1.0f);
            p = {x, y, pressure};
        }
        GfxBlobRecord record;
        record.type = GFX_RECORD_FREEHAND;
        record.points = stroke.data();
        record.pointCount = kPointsPerStroke;
        b.putInt32(0);
        gfxBlobPutRecord(&b, record, GFX_BLOB_VERSION_DELTA5, &scratch);
    }
    b.putInt32(0);
    return std::vector<uint8_t>(b.data(), b.data() + b.size());
}

struct Document {
    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
    int64_t points = 0;
};

// One document per size, kept for the whole run (building the 10M one takes a while).
Document& document(int64_t points)
{
    static std::map<int64_t, Document> documents;
    Document& d = documents[points];
    if (d.sketch) return d;
    if (!glTestContextMakeCurrent()) std::abort();
    d.system = gfxCreateSystemWithAllocator(
        GfxAllocator{PeakAllocator::alloc, PeakAllocator::free, PeakAllocator::realloc, 0});
    std::vector<uint8_t> raw = handDrawnRawBlob(d.system->allocator, points);
    d.sketch = gfxCreateSketchFromRawBlob(d.system, raw.data(), raw.size());
    if (!d.sketch) std::abort();
    d.points = points;
    return d;
}

void releaseBlob(GfxSystem* system, uint8_t* blob) { system->allocator.release(blob); }

void BM_Save(benchmark::State& state)
{
    Document& d = document(state.range(0));
    const int32_t format = static_cast<int32_t>(state.range(1));
    size_t bytes = 0;
    for (auto _ : state) {
        uint8_t* blob = gfxSerializeSketch(d.sketch, format);
        if (!blob) {
            state.SkipWithError("serialize failed");
            break;
        }
        bytes = gfxReadLittleEndian32(blob) + 4;
        releaseBlob(d.system, blob);
    }
    state.counters["fileBytesPerPoint"] = static_cast<double>(bytes) / static_cast<double>(d.points);
    state.counters["pointsPerSecond"] =
        benchmark::Counter(static_cast<double>(d.points), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Load(benchmark::State& state)
{
    Document& d = document(state.range(0));
    const int32_t format = static_cast<int32_t>(state.range(1));
    uint8_t* blob = gfxSerializeSketch(d.sketch, format);
    if (!blob) {
        state.SkipWithError("serialize failed");
        return;
    }
    const int32_t blobBytes = static_cast<int32_t>(gfxReadLittleEndian32(blob) + 4);
    int64_t peakAbove = 0;
    for (auto _ : state) {
        const int64_t before = PeakAllocator::live;
        PeakAllocator::peak = before;
        GfxSketch* loaded = gfxCreateSketchFromBlob(d.system, blob, blobBytes);
        if (!loaded) {
            state.SkipWithError("load failed");
            break;
        }
        peakAbove = std::max(peakAbove, PeakAllocator::peak - before);
        state.PauseTiming();
        gfxDestroySketch(loaded);
        state.ResumeTiming();
    }
    releaseBlob(d.system, blob);
    state.counters["peakEngineMiB"] = static_cast<double>(peakAbove) / (1024.0 * 1024.0);
    state.counters["pointsPerSecond"] =
        benchmark::Counter(static_cast<double>(d.points), benchmark::Counter::kIsIterationInvariantRate);
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t format : {0, 1}) b->Args({100'000, format});
    if (std::getenv("VELLUMIN_BENCH_LARGE"))
        for (int64_t format : {0, 1}) b->Args({10'000'000, format});
    b->ArgNames({"points", "format"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Save)->Apply(sizes);
BENCHMARK(BM_Load)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
