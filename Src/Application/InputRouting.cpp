// The controller's side of the window callbacks: character keys through the key
// bindings, special keys (wheel, arrows, modifier keys, developer shortcuts), mouse
// buttons with double clicks, motion and the pointer entering or leaving.
//
// The shell asks its ScreenMode first and calls these only when it lets the event
// through; positions are window pixels from the bottom-left corner.
#include "DocumentController.h"
#include "KeyBindings.h"
#include "KeyCombos.h"
#include "Tools.h"
#include "WindowKeys.h"

// The shell and the key combos read the window layer's special keys.
static_assert(WINDOW_SPECIAL_SHIFT == WINDOW_KEY_SHIFT && WINDOW_SPECIAL_CTRL == WINDOW_KEY_CTRL &&
                  WINDOW_SPECIAL_ALT == WINDOW_KEY_ALT,
              "KeyCombos.h and WindowKeys.h must agree on the modifier keys");

namespace {
constexpr int32_t kRedoDeveloperSteps = 10;
}

// Closes whichever of the interface's overlays is open; true when one was.
bool DocumentController::closeOverlays()
{
    bool closed = false;
    for (int i = 0; i < 3; ++i) {
        if (!interfaceState_.overlayOpen[i]) continue;
        interfaceState_.overlayOpen[i] = false;
        interfaceState_.dismissOverlay[i] = true;
        closed = true;
    }
    if (closed) {
        restoreToolCursor();
        requestRedraw();
    }
    return closed;
}

// ---- keys ------------------------------------------------------------------------------
void DocumentController::keyDown(uint8_t key, int32_t windowModifiers)
{
    closeOverlays();  // the key goes on all the same
    const WindowKeyEvent event{WindowKeyKind::Character, key, windowModifiers};
    if (const std::optional<KeyCombo> combo = keyComboFromWindowKey(event)) keyBindings().runBinding(*combo);
    if (isPlainEscape(event)) finishInteraction();
}

void DocumentController::keyUp(uint8_t key, int32_t windowModifiers)
{
    (void)windowModifiers;
    if (key != KEY_SPACE) return;
    tools_.spaceHeld = false;
    if (tools_.temporaryKey == TemporaryKey::Space) endTemporaryTool();
    window_.setKeyRepeatIgnored(false);
    window_.drawFrameNow();
    restoreToolCursor();
}

void DocumentController::specialKeyDown(int32_t key, int32_t x, int32_t y, int32_t windowModifiers)
{
    (void)y;
    closeOverlays();
    switch (key) {
    case WINDOW_KEY_WHEEL: mouseWheel(x); return;  // x carries the wheel delta
    case WINDOW_KEY_LEFT:
    case WINDOW_KEY_UP:
    case WINDOW_KEY_RIGHT:
    case WINDOW_KEY_DOWN: arrowKey(key); return;
    case WINDOW_KEY_SHIFT:
    case WINDOW_KEY_CTRL:
        // With Space held, Shift turns the temporary pan into rotate and Ctrl into zoom.
        if (tools_.spaceHeld && tools_.temporaryKey == TemporaryKey::Space) {
            const int32_t target = key == WINDOW_KEY_SHIFT ? rotateToolFor(tools_.tool) : zoomToolFor(tools_.tool);
            if (target != tools_.tool) {
                endTemporaryTool();
                startTemporaryTool(target, TemporaryKey::Space);
            }
        }
        return;
    case WINDOW_KEY_ALT: startTemporaryTool(TOOL_COLOUR_PICKER, TemporaryKey::Alt); return;
    default: break;
    }
    // Developer shortcuts.
    if ((windowModifiers & WINDOW_MODIFIER_SHIFT) == 0) return;
    if (key == WINDOW_KEY_F1) undoAll();
    else if (key == WINDOW_KEY_F1 + 1) redoAll();
    else if (key == WINDOW_KEY_F3) redoSeveral(kRedoDeveloperSteps);
}

void DocumentController::specialKeyUp(int32_t key, int32_t windowModifiers)
{
    (void)windowModifiers;
    if (key == WINDOW_KEY_SHIFT || key == WINDOW_KEY_CTRL) {
        // Back to pan while Space is still held.
        if (tools_.spaceHeld && tools_.temporaryKey == TemporaryKey::Space) {
            const int32_t target = panToolFor(tools_.tool);
            if (target != tools_.tool) {
                endTemporaryTool();
                startTemporaryTool(target, TemporaryKey::Space);
            }
        }
        return;
    }
    if (key == WINDOW_KEY_ALT && tools_.temporaryKey == TemporaryKey::Alt) endTemporaryTool();
}

// ---- pointer ---------------------------------------------------------------------------
void DocumentController::mouseButton(int32_t button, int32_t buttonState, int32_t x, int32_t y,
                                     int32_t windowModifiers)
{
    if (closeOverlays()) return;  // the click only closed the overlay
    // The right button opens the menu bar's pop-up menu (the menu bar's business).
    if (button == WINDOW_BUTTON_RIGHT) return;
    const GfxSample sample{static_cast<float>(x), static_cast<float>(y), 1.0f};
    const int32_t modifiers = pointerModifiersFromWindow(windowModifiers);
    if (buttonState == WINDOW_BUTTON_DOWN) {
        const double now = window_.monotonicSeconds();
        const bool doubleClick = now - tools_.lastPressSeconds < windowState_.doubleClickSeconds;
        tools_.lastPressSeconds = now;
        press(modifiers, doubleClick, sample);
    } else {
        release(modifiers, sample);
    }
}

void DocumentController::mouseMotion(int32_t x, int32_t y, int32_t windowModifiers)
{
    const GfxSample sample{static_cast<float>(x), static_cast<float>(y), 1.0f};
    drag(pointerModifiersFromWindow(windowModifiers), &sample, 1);
}

void DocumentController::passiveMotion(int32_t x, int32_t y)
{
    if (!windowState_.pointerInside) return;
    hover(GfxSample{static_cast<float>(x), static_cast<float>(y), 1.0f});
}

void DocumentController::pointerEntry(bool entered, int32_t windowModifiers)
{
    windowState_.pointerInside = entered;
    if ((windowModifiers & WINDOW_MODIFIER_ALT) == 0) return;
    if (entered) startTemporaryTool(TOOL_COLOUR_PICKER, TemporaryKey::Alt);
    else endTemporaryTool();
}
