// The model's cost: appending elements, undoing and redoing them, and the memory
// an element takes (the statistics estimate against what really went through the
// memory hooks).
//
//   build/bin/engine_model_bench
//
// The big runs use a pen of zero width, so no cells are built and only the model is
// measured; BM_AppendWithCells shows what building and storing cells adds.
#include "GfxInternal.h"
#include "GlTestContext.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

// Live bytes through the hooks (a size header in front of every block).
struct Counted {
    static inline int64_t live = 0;
    static inline int64_t peak = 0;
    static void note(int64_t delta)
    {
        live += delta;
        if (live > peak) peak = live;
    }
    static void* alloc(int32_t size, int32_t)
    {
        auto* block = static_cast<int64_t*>(std::malloc(static_cast<size_t>(size) + 16));
        if (!block) return nullptr;
        block[0] = size;
        note(size);
        return block + 2;
    }
    static void free(void* pointer, int32_t)
    {
        if (!pointer) return;
        int64_t* block = static_cast<int64_t*>(pointer) - 2;
        note(-block[0]);
        std::free(block);
    }
    static void* realloc(void* pointer, int32_t size, int32_t)
    {
        if (!pointer) return alloc(size, 0);
        int64_t* block = static_cast<int64_t*>(pointer) - 2;
        const int64_t old = block[0];
        auto* grown = static_cast<int64_t*>(std::realloc(block, static_cast<size_t>(size) + 16));
        if (!grown) return nullptr;
        grown[0] = size;
        note(size - old);
        return grown + 2;
    }
    static GfxAllocator allocator()
    {
        GfxAllocator a;
        a.alloc = &Counted::alloc;
        a.free = &Counted::free;
        a.realloc = &Counted::realloc;
        return a;
    }
};

struct Canvas {
    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;

    explicit Canvas(float penWidth)
    {
        system = gfxCreateSystemWithAllocator(Counted::allocator());
        GfxSketchAttributes attributes;
        attributes.flags = GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_TYPE;
        attributes.penWidth = penWidth;
        attributes.penType = 0;
        sketch = gfxCreateSketch(system, &attributes);
        gfxSetViewport(sketch, 0, 0, 1024, 768);
        gfxAddLayer(sketch, nullptr);
    }
    ~Canvas() { gfxDestroySystem(system); }

    // A four-sample freehand stroke, as a short flick of the pen.
    void stroke(int64_t i)
    {
        const float x = static_cast<float>(i % 1000);
        const float y = static_cast<float>((i / 1000) % 700);
        const GfxSample samples[4] = {{x, y, 0.3f}, {x + 4, y + 3, 0.6f}, {x + 9, y + 4, 0.8f}, {x + 15, y, 0.4f}};
        GfxElementInput input;
        input.kind = GFX_ELEMENT_FREEHAND;
        input.sampleCount = 1;
        input.samples = samples;
        gfxBeginElement(sketch, &input);
        input.sampleCount = 2;
        input.samples = samples + 1;
        gfxExtendElement(sketch, &input);
        input.sampleCount = 1;
        input.samples = samples + 3;
        gfxEndElement(sketch, &input);
    }
    GfxSketchStats stats()
    {
        GfxSketchAttributes attributes;
        attributes.flags = GFX_SKETCH_STATS;
        gfxGetSketchAttributes(sketch, &attributes);
        return attributes.stats;
    }
};

void reportMemory(benchmark::State& state, Canvas& canvas, int64_t elements, int64_t liveBefore)
{
    const GfxSketchStats stats = canvas.stats();
    const double n = static_cast<double>(elements);
    state.counters["statsInUseBytesPerElement"] = static_cast<double>(stats.memoryInUse) / n;
    state.counters["statsAllocatedBytesPerElement"] = static_cast<double>(stats.memoryAllocated) / n;
    state.counters["hookBytesPerElement"] = static_cast<double>(Counted::live - liveBefore) / n;
    state.counters["gpuBytesPerElement"] = static_cast<double>(stats.gpuMemoryInUse) / n;
}

void BM_AppendElements(benchmark::State& state)
{
    const int64_t elements = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        Canvas canvas(0.0f);
        const int64_t liveBefore = Counted::live;
        state.ResumeTiming();
        for (int64_t i = 0; i < elements; ++i) canvas.stroke(i);
        state.PauseTiming();
        if (gfxGetLastError(canvas.system) != GFX_OK) state.SkipWithError("append failed");
        reportMemory(state, canvas, elements, liveBefore);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * elements);
}

void BM_UndoRedoElements(benchmark::State& state)
{
    const int64_t elements = state.range(0);
    Canvas canvas(0.0f);
    for (int64_t i = 0; i < elements; ++i) canvas.stroke(i);
    for (auto _ : state) {
        for (int64_t i = 0; i < elements; ++i) gfxUndo(canvas.sketch);
        for (int64_t i = 0; i < elements; ++i) gfxRedo(canvas.sketch);
    }
    if (gfxGetLastError(canvas.system) != GFX_OK) state.SkipWithError("undo or redo failed");
    state.SetItemsProcessed(state.iterations() * elements * 2);  // one undo and one redo each
}

void BM_UndoAllRedoAll(benchmark::State& state)
{
    const int64_t elements = state.range(0);
    Canvas canvas(0.0f);
    for (int64_t i = 0; i < elements; ++i) canvas.stroke(i);
    for (auto _ : state) {
        for (int64_t i = 0; i < elements; ++i) gfxUndo(canvas.sketch);
        gfxRedoAll(canvas.sketch);
    }
    state.SetItemsProcessed(state.iterations() * elements);
}

void BM_DiscardAfterUndo(benchmark::State& state)
{
    const int64_t elements = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        Canvas canvas(0.0f);
        for (int64_t i = 0; i < elements; ++i) canvas.stroke(i);
        for (int64_t i = 0; i < elements; ++i) gfxUndo(canvas.sketch);
        state.ResumeTiming();
        canvas.stroke(0);  // the first element after the undos discards them all
    }
    state.SetItemsProcessed(state.iterations() * elements);
}

void BM_AppendWithCells(benchmark::State& state)
{
    const int64_t elements = state.range(0);
    if (!glTestContextMakeCurrent()) {
        state.SkipWithError("no GL context");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        Canvas canvas(4.0f);
        const int64_t liveBefore = Counted::live;
        state.ResumeTiming();
        for (int64_t i = 0; i < elements; ++i) canvas.stroke(i);
        state.PauseTiming();
        if (gfxGetLastError(canvas.system) != GFX_OK) state.SkipWithError("append failed");
        reportMemory(state, canvas, elements, liveBefore);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * elements);
}

}  // namespace

BENCHMARK(BM_AppendElements)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRedoElements)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoAllRedoAll)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiscardAfterUndo)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendWithCells)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
