// Renderer benchmarks on the EGL test context (Mesa llvmpipe where there is no GPU):
//   BM_CachedFrame/N          a frame with nothing new to draw, N strokes on the canvas
//   BM_FullRedrawAfterZoom/N  a frame after a zoom: every layer walked from its start
//   BM_Offscreen8000          an 8000 x 8000 export of a 1,000-stroke canvas in tiles
// Strokes are 50-point multi-lines (exactly 50 stored points each) drawn with the
// pencil, 6 pixels wide, spread over a 1024 x 768 viewport, all visible.
// Counters: recordsWalked and elementsDrawn per frame; for the export the tiles, the
// engine's peak allocation (through its hooks) and the process's peak resident size.
#include "GfxInternal.h"
#include "GlTestContext.h"

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int VIEW_WIDTH = 1024;
constexpr int VIEW_HEIGHT = 768;
constexpr int POINTS_PER_STROKE = 50;

// Engine memory with a running peak (the hooks are plain functions: one instance).
struct PeakAllocator {
    static inline int64_t live = 0;
    static inline int64_t peak = 0;
    static inline std::map<void*, int64_t> sizes;
    static void* alloc(int32_t size, int32_t)
    {
        void* p = std::malloc(static_cast<size_t>(size));
        if (p) track(p, size);
        return p;
    }
    static void free(void* p, int32_t)
    {
        if (!p) return;
        untrack(p);
        std::free(p);
    }
    static void* realloc(void* p, int32_t size, int32_t)
    {
        const int64_t old = p && sizes.count(p) ? sizes[p] : 0;
        void* q = std::realloc(p, static_cast<size_t>(size));
        if (!q) return nullptr;
        if (p) {
            sizes.erase(p);  // by address only: the block itself may be gone
            live -= old;
        }
        track(q, size);
        return q;
    }
    static void track(void* p, int64_t size)
    {
        sizes[p] = size;
        live += size;
        if (live > peak) peak = live;
    }
    static void untrack(void* p)
    {
        auto it = sizes.find(p);
        if (it == sizes.end()) return;
        live -= it->second;
        sizes.erase(it);
    }
};

// Peak resident set of the process since the last reset, in bytes.
int64_t peakResidentBytes()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    int64_t kilobytes = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %lld kB", reinterpret_cast<long long*>(&kilobytes)) == 1) break;
    std::fclose(status);
    return kilobytes * 1024;
}

void resetPeakResident()
{
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

struct Canvas {
    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
    std::unique_ptr<GlTestFramebuffer> target;
    ~Canvas() { gfxDestroySystem(system); }
};

void addStrokes(GfxSketch* sketch, int count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> x(10, VIEW_WIDTH - 40), y(10, VIEW_HEIGHT - 40), turn(-0.4f, 0.4f);
    std::vector<GfxSample> points(POINTS_PER_STROKE);
    for (int s = 0; s < count; ++s) {
        float px = x(random), py = y(random), heading = turn(random) * 8;
        for (GfxSample& p : points) {
            p = GfxSample{px, py, 0.8f};
            heading += turn(random);
            px += 0.5f * std::cos(heading);
            py += 0.5f * std::sin(heading);
        }
        GfxElementInput input;
        input.kind = GFX_ELEMENT_MULTI_LINE;
        input.sampleCount = 1;
        input.samples = points.data();
        gfxBeginElement(sketch, &input);
        input.sampleCount = POINTS_PER_STROKE - 2;
        input.samples = points.data() + 1;
        gfxExtendElement(sketch, &input);
        input.sampleCount = 1;
        input.samples = &points.back();
        gfxEndElement(sketch, &input);
    }
}

// One canvas per stroke count, built once for all benchmarks that use it.
Canvas* canvasWith(int strokes, bool countingAllocator = false)
{
    static std::map<std::pair<int, bool>, std::unique_ptr<Canvas>> canvases;
    auto& slot = canvases[{strokes, countingAllocator}];
    if (slot) return slot.get();
    if (!glTestContextMakeCurrent()) return nullptr;
    auto canvas = std::make_unique<Canvas>();
    canvas->target = std::make_unique<GlTestFramebuffer>(VIEW_WIDTH, VIEW_HEIGHT);
    if (countingAllocator) {
        GfxAllocator hooks{&PeakAllocator::alloc, &PeakAllocator::free, &PeakAllocator::realloc, 0};
        canvas->system = gfxCreateSystemWithAllocator(hooks);
    } else {
        canvas->system = gfxCreateSystem();
    }
    canvas->sketch = gfxCreateSketch(canvas->system, nullptr);
    gfxAddLayer(canvas->sketch, nullptr);
    gfxSetViewport(canvas->sketch, 0, 0, VIEW_WIDTH, VIEW_HEIGHT);
    GfxSketchAttributes pen;
    pen.flags = GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_OPACITY | GFX_SKETCH_PEN_COLOUR;
    pen.penType = 1;
    pen.penWidth = 6;
    pen.penOpacity = 0.6f;
    pen.penColour[0] = 40;
    pen.penColour[1] = 40;
    pen.penColour[2] = 90;
    gfxSetSketchAttributes(canvas->sketch, &pen);
    addStrokes(canvas->sketch, strokes, 1234u + static_cast<uint32_t>(strokes));
    if (gfxGetLastError(canvas->system) != GFX_OK) return nullptr;
    canvas->target->bind();
    gfxRenderSketch(canvas->sketch);
    gfxRenderSketch(canvas->sketch);  // the held-back newest records join the cache
    glFinish();
    slot = std::move(canvas);
    return slot.get();
}

void BM_CachedFrame(benchmark::State& state)
{
    Canvas* canvas = canvasWith(static_cast<int>(state.range(0)));
    if (!canvas) {
        state.SkipWithError("no canvas");
        return;
    }
    canvas->target->bind();
    const GfxRenderStats before = canvas->sketch->render.stats;
    for (auto _ : state) {
        gfxRenderSketch(canvas->sketch);
        glFinish();
    }
    const GfxRenderStats& after = canvas->sketch->render.stats;
    const double frames = static_cast<double>(state.iterations());
    state.counters["recordsWalked"] = static_cast<double>(after.recordsWalked - before.recordsWalked) / frames;
    state.counters["strokes"] = static_cast<double>(state.range(0));
}

void BM_FullRedrawAfterZoom(benchmark::State& state)
{
    Canvas* canvas = canvasWith(static_cast<int>(state.range(0)));
    if (!canvas) {
        state.SkipWithError("no canvas");
        return;
    }
    canvas->target->bind();
    GfxGesture zoom;
    zoom.kind = GFX_GESTURE_ZOOM;
    zoom.centreX = VIEW_WIDTH / 2.0f;
    zoom.centreY = VIEW_HEIGHT / 2.0f;
    const GfxRenderStats before = canvas->sketch->render.stats;
    bool in = true;
    for (auto _ : state) {
        zoom.scaleX = zoom.scaleY = in ? 1.01f : 1 / 1.01f;
        in = !in;
        gfxBeginViewGesture(canvas->sketch, &zoom);
        gfxEndViewGesture(canvas->sketch, &zoom);
        gfxRenderSketch(canvas->sketch);
        glFinish();
    }
    const GfxRenderStats& after = canvas->sketch->render.stats;
    const double frames = static_cast<double>(state.iterations());
    state.counters["recordsWalked"] = static_cast<double>(after.recordsWalked - before.recordsWalked) / frames;
    state.counters["elementsDrawn"] = static_cast<double>(after.elementsDrawn - before.elementsDrawn) / frames;
    state.counters["strokes"] = static_cast<double>(state.range(0));
}

void BM_Offscreen8000(benchmark::State& state)
{
    Canvas* canvas = canvasWith(1000, true);
    if (!canvas) {
        state.SkipWithError("no canvas");
        return;
    }
    canvas->target->bind();
    GfxImageRequest request;
    request.mode = GFX_IMAGE_MODE_SKETCH;
    request.sourceWidth = VIEW_WIDTH;
    request.width = 8000;
    request.height = 8000;
    int64_t enginePeak = 0, residentPeak = 0, tiles = 0;
    for (auto _ : state) {
        const int64_t renders = canvas->sketch->render.stats.offscreenRenders;
        PeakAllocator::peak = PeakAllocator::live;
        const int64_t liveBefore = PeakAllocator::live;
        resetPeakResident();
        const int64_t residentBefore = peakResidentBytes();
        GfxImage* image = gfxRenderRegionToImage(canvas->sketch, &request);
        glFinish();
        residentPeak = std::max(residentPeak, peakResidentBytes() - residentBefore);
        enginePeak = std::max(enginePeak, PeakAllocator::peak - liveBefore);
        tiles = canvas->sketch->render.stats.offscreenRenders - renders;
        if (!image) {
            state.SkipWithError("export failed");
            break;
        }
        PeakAllocator::free(image, 0);
    }
    state.counters["tiles"] = static_cast<double>(tiles);
    state.counters["enginePeakMiB"] = static_cast<double>(enginePeak) / (1024.0 * 1024.0);
    state.counters["residentGrowthMiB"] = static_cast<double>(residentPeak) / (1024.0 * 1024.0);
}

}  // namespace

BENCHMARK(BM_CachedFrame)->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullRedrawAfterZoom)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
// llvmpipe on 2 cores: a few frames are enough to measure the largest canvas.
BENCHMARK(BM_FullRedrawAfterZoom)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Offscreen8000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
