#include "WindowOpacity.h"

#include "DocumentController.h"
#include "MenuModel.h"
#include "WindowLayer.h"

#include <algorithm>
#include <cmath>

namespace {
// Whole percent, so repeated steps land on 0.4 and 1.0 instead of drifting past them.
float step(float value, float by)
{
    return std::round((value + by) * 100.0f) / 100.0f;
}
}  // namespace

void WindowOpacity::toggle()
{
    if (state_.opacityEnabled) switchOff();
    else switchOn();
}

void WindowOpacity::switchOn()
{
    state_.opacityEnabled = true;
    apply();
    menus_.setCaption(MENU_TOGGLE_OPACITY, CAPTION_DEACTIVATE_OPACITY);
    menus_.setEnabled(MENU_INCREASE_OPACITY, true);
    menus_.setEnabled(MENU_DECREASE_OPACITY, true);
    tellPanel(state_.opacity);
}

void WindowOpacity::switchOff()
{
    state_.opacityEnabled = false;
    window_.setWindowOpacity(false, 1.0f);
    window_.postRedisplay();
    menus_.setCaption(MENU_TOGGLE_OPACITY, CAPTION_ACTIVATE_OPACITY);
    menus_.setEnabled(MENU_INCREASE_OPACITY, false);
    menus_.setEnabled(MENU_DECREASE_OPACITY, false);
    tellPanel(1.0f);
}

void WindowOpacity::increase()
{
    if (!state_.opacityEnabled) return;
    state_.opacity = std::min(step(state_.opacity, WINDOW_OPACITY_STEP), WINDOW_OPACITY_MAX);
    apply();
    tellPanel(state_.opacity);
}

void WindowOpacity::decrease()
{
    if (!state_.opacityEnabled) return;
    state_.opacity = std::max(step(state_.opacity, -WINDOW_OPACITY_STEP), WINDOW_OPACITY_MIN);
    apply();
    tellPanel(state_.opacity);
}

void WindowOpacity::switchOnWith(float value)
{
    // The slider's own range is the same; a value outside it is the panel's mistake.
    state_.opacity = std::clamp(value, WINDOW_OPACITY_MIN, WINDOW_OPACITY_MAX);
    if (!state_.opacityEnabled) {
        switchOn();
        return;
    }
    apply();
    tellPanel(state_.opacity);
}

void WindowOpacity::apply()
{
    window_.setWindowOpacity(true, state_.opacity);
    window_.postRedisplay();
}

void WindowOpacity::tellPanel(float opacity)
{
    if (showOnPanel) showOnPanel(opacity);
}
