// A controller with an 800 x 600 viewport, the tool commands and default keys, and
// helpers that drive it the way the window callbacks do and read back the model.
#pragma once

#include "../engine/EngineTestSupport.h"
#include "CommandRegistry.h"
#include "ControllerFixture.h"
#include "KeyBindings.h"
#include "KeyCombos.h"
#include "Selection.h"
#include "ToolCommands.h"
#include "WindowKeys.h"

#include <array>
#include <cmath>
#include <memory>
#include <vector>

class ToolTest : public ControllerTest {
protected:
    static constexpr int32_t kWidth = 800;
    static constexpr int32_t kHeight = 600;
    static constexpr int32_t CTRL = WINDOW_MODIFIER_CTRL;
    static constexpr int32_t SHIFT = WINDOW_MODIFIER_SHIFT;
    static constexpr int32_t ALT = WINDOW_MODIFIER_ALT;

    void SetUp() override
    {
        ControllerTest::SetUp();
        // The registry and the binding table are process-wide; the defaults go in once
        // (each addDefaultBindings would take new records from the fixed pool).
        static const bool registered = [] {
            registerToolCommands(commandRegistry());
            addDefaultBindings(keyBindings());
            return true;
        }();
        (void)registered;
    }

    DocumentController& start()
    {
        DocumentController& c = create();
        c.windowState().clientWidth = kWidth;
        c.windowState().clientHeight = kHeight;
        gfxSetViewport(c.canvas(), 0, 0, kWidth, kHeight);
        c.markClean();
        return c;
    }
    DocumentController& c() { return *controller_; }
    GfxSketch* sketch() { return controller_->canvas(); }
    GfxLayer* layer() { return gfxCurrentLayer(sketch()); }

    // ---- input as the window callbacks deliver it ----
    void down(float x, float y, int32_t modifiers = 0)
    {
        window_.modifiers = modifiers;
        c().mouseButton(WINDOW_BUTTON_LEFT, WINDOW_BUTTON_DOWN, static_cast<int32_t>(x), static_cast<int32_t>(y),
                        modifiers);
    }
    void move(float x, float y, int32_t modifiers = 0)
    {
        c().mouseMotion(static_cast<int32_t>(x), static_cast<int32_t>(y), modifiers);
    }
    void up(float x, float y, int32_t modifiers = 0)
    {
        c().mouseButton(WINDOW_BUTTON_LEFT, WINDOW_BUTTON_UP, static_cast<int32_t>(x), static_cast<int32_t>(y),
                        modifiers);
    }
    // A click a second after the last one (never a double click) unless `after` says.
    void click(float x, float y, double after = 1.0)
    {
        window_.seconds += after;
        down(x, y);
        up(x, y);
    }
    void dragLine(float x0, float y0, float x1, float y1, int32_t modifiers = 0)
    {
        window_.seconds += 1.0;
        down(x0, y0, modifiers);
        move((x0 + x1) / 2, (y0 + y1) / 2, modifiers);
        move(x1, y1, modifiers);
        up(x1, y1, modifiers);
    }
    void key(char character, int32_t modifiers = 0)
    {
        c().keyDown(static_cast<uint8_t>(character), modifiers);
    }
    void keyRelease(char character, int32_t modifiers = 0)
    {
        c().keyUp(static_cast<uint8_t>(character), modifiers);
    }
    void special(int32_t key, int32_t modifiers = 0, int32_t x = 0) { c().specialKeyDown(key, x, 0, modifiers); }
    void specialRelease(int32_t key, int32_t modifiers = 0) { c().specialKeyUp(key, modifiers); }
    void command(const char* name) { commandRegistry().runLine(name); }

    // ---- reading back ----
    GfxSketchAttributes attributes(int32_t flags)
    {
        GfxSketchAttributes a;
        a.flags = flags;
        gfxGetSketchAttributes(sketch(), &a);
        return a;
    }
    int32_t strokeCount() { return attributes(GFX_SKETCH_STATS).stats.strokeCount; }
    std::vector<int32_t> elementTypes()
    {
        std::vector<int32_t> types;
        for (int32_t index : liveElements(layer())) types.push_back(gfxRecordAt(layer(), index)->type);
        return types;
    }
    int32_t lastElement()
    {
        const std::vector<int32_t> elements = liveElements(layer());
        return elements.empty() ? -1 : elements.back();
    }
    std::vector<GfxSample> lastPoints() { return pointsOf(layer(), lastElement()); }
    template <typename T>
    T lastPayload()
    {
        return gfxReadPayload<T>(layer(), *gfxRecordAt(layer(), lastElement()));
    }
    float viewScale()
    {
        float scale = 0;
        gfxGetView(sketch(), nullptr, &scale);
        return scale;
    }
    std::vector<float> viewMatrix()
    {
        std::vector<float> m(16);
        gfxGetView(sketch(), m.data(), nullptr);
        return m;
    }
    // Where the view puts canvas point (x, y) on screen.
    void onScreen(float x, float y, float* sx, float* sy)
    {
        const std::vector<float> m = viewMatrix();
        *sx = m[0] * x + m[4] * y + m[12];
        *sy = m[1] * x + m[5] * y + m[13];
    }
    bool elementOpen() { return sketch()->elementOpen != 0; }
};

// A ToolTest with the selection and image-import commands too, whose canvas is drawn
// into a framebuffer the tests read back.
class RenderedToolTest : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        static const bool registered = [] {
            registerSelectionCommands(commandRegistry());
            return true;
        }();
        (void)registered;
    }
    DocumentController& startRendering()
    {
        DocumentController& controller = start();
        target_ = std::make_unique<GlTestFramebuffer>(kWidth, kHeight);
        EXPECT_TRUE(target_->complete());
        return controller;
    }
    // The canvas as it is drawn now, at window pixel (x, y).
    std::array<uint8_t, 4> renderedPixel(int x, int y)
    {
        target_->bind();
        gfxRenderSketch(sketch());
        EXPECT_EQ(gfxGetLastError(c().engine()), GFX_OK);
        return target_->pixel(x, y);
    }

    std::unique_ptr<GlTestFramebuffer> target_;
};

// Samples compare as positions.
inline bool samePosition(const GfxSample& a, float x, float y) { return a.x == x && a.y == y; }
