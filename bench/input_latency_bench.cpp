// Input-to-screen latency of one pointer motion while drawing a stroke on a canvas of
// 10,000 strokes: from the controller's drag (the motion callback's road: tool,
// gfxExtendElement with the filter and the curve rebuild) to the end of the frame
// that shows it (gfxRenderSketch, then glFinish so the GPU work is inside the time).
//
// The stroke being drawn is kept near the given length (samples so far), because the
// freehand rebuild grows with the stroke. "controller" measures the drag alone.
#include "DocumentController.h"
#include "GlTestContext.h"
#include "ScriptedWindowLayer.h"
#include "WindowKeys.h"

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 800;
constexpr int32_t kCanvasStrokes = 10000;
constexpr int32_t kStrokeSlack = 64;  // drags measured per stroke before it starts again

struct Canvas {
    ScriptedWindowLayer window;
    std::unique_ptr<DocumentController> controller;
    std::unique_ptr<GlTestFramebuffer> frame;
    int32_t samplesInStroke = 0;
    float phase = 0;
};

void fillCanvas(GfxSketch* sketch)
{
    for (int32_t i = 0; i < kCanvasStrokes; ++i) {
        const float x = static_cast<float>((i * 97) % (kWidth - 60));
        const float y = static_cast<float>((i * 61) % (kHeight - 60));
        GfxSample points[8];
        for (int k = 0; k < 8; ++k) points[k] = {x + 7.0f * k, y + 20.0f * std::sin(k * 0.7f), 0.5f + 0.05f * k};
        GfxElementInput input;
        input.kind = GFX_ELEMENT_FREEHAND;
        input.sampleCount = 1;
        input.samples = &points[0];
        gfxBeginElement(sketch, &input);
        input.sampleCount = 6;
        input.samples = &points[1];
        gfxExtendElement(sketch, &input);
        input.sampleCount = 1;
        input.samples = &points[7];
        gfxEndElement(sketch, &input);
    }
}

Canvas& canvas()
{
    static Canvas* shared = [] {
        auto* c = new Canvas;
        c->window.glExtensionLoader = [] { return glTestContextMakeCurrent(); };
        c->window.width = kWidth;
        c->window.height = kHeight;
        setWindowLayer(&c->window);
        c->controller = DocumentController::create(c->window, VELLUMIN_RESOURCES);
        if (!c->controller) std::abort();
        setTheController(c->controller.get());
        c->frame = std::make_unique<GlTestFramebuffer>(kWidth, kHeight);
        DocumentController& d = *c->controller;
        d.windowState().clientWidth = kWidth;
        d.windowState().clientHeight = kHeight;
        GfxSketchAttributes smoothing;
        smoothing.flags = GFX_SKETCH_SMOOTHING_LEVEL;
        smoothing.smoothingLevel = 4;
        gfxSetSketchAttributes(d.canvas(), &smoothing);
        gfxSetViewport(d.canvas(), 0, 0, kWidth, kHeight);
        fillCanvas(d.canvas());
        gfxRenderSketch(d.canvas());
        glFinish();
        if (gfxGetLastError(d.engine()) != GFX_OK) std::abort();
        return c;
    }();
    return *shared;
}

// The pointer's path: a wide loop over the canvas, one sample per motion event.
void pointerAt(Canvas& c, int32_t* x, int32_t* y)
{
    c.phase += 0.02f;
    *x = static_cast<int32_t>(640 + 400 * std::cos(c.phase));
    *y = static_cast<int32_t>(400 + 250 * std::sin(1.3f * c.phase));
}

// Ends the stroke (and takes it back, so the canvas stays at 10,000) and starts a new
// one already `length` samples long.
void restartStroke(Canvas& c, int32_t length)
{
    DocumentController& d = *c.controller;
    int32_t x = 0, y = 0;
    if (d.interaction() == INTERACTION_FREEHAND) {
        pointerAt(c, &x, &y);
        d.mouseButton(WINDOW_BUTTON_LEFT, WINDOW_BUTTON_UP, x, y, 0);
        d.undo();
    }
    c.window.seconds += 1;
    pointerAt(c, &x, &y);
    d.mouseButton(WINDOW_BUTTON_LEFT, WINDOW_BUTTON_DOWN, x, y, 0);
    for (int32_t i = 0; i < length; ++i) {
        pointerAt(c, &x, &y);
        d.mouseMotion(x, y, 0);
    }
    c.samplesInStroke = length;
}

void dragToFrame(benchmark::State& state, bool render)
{
    Canvas& c = canvas();
    DocumentController& d = *c.controller;
    const int32_t length = static_cast<int32_t>(state.range(0));
    restartStroke(c, length);
    for (auto _ : state) {
        if (c.samplesInStroke >= length + kStrokeSlack) {
            state.PauseTiming();
            restartStroke(c, length);
            state.ResumeTiming();
        }
        int32_t x = 0, y = 0;
        pointerAt(c, &x, &y);
        d.mouseMotion(x, y, 0);
        ++c.samplesInStroke;
        if (render) {
            gfxRenderSketch(d.canvas());
            glFinish();
        }
    }
    if (gfxGetLastError(d.engine()) != GFX_OK) state.SkipWithError("engine error");
    state.counters["canvas_strokes"] = kCanvasStrokes;
}

void BM_DragToEndOfFrame(benchmark::State& state) { dragToFrame(state, true); }
void BM_DragControllerAndEngine(benchmark::State& state) { dragToFrame(state, false); }

BENCHMARK(BM_DragToEndOfFrame)->Arg(16)->Arg(256)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DragControllerAndEngine)->Arg(16)->Arg(256)->Arg(2048)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
