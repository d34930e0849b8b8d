// WindowOpacity: the see-through window (Ctrl+W, "." and ","), so the user can
// trace over whatever lies behind it.
//
// The switch and the value live in MainWindowState (value 0.5 at start). Switching
// on makes the window translucent at the value and enables the increase and
// decrease items; switching off makes it opaque and greys them again. Steps are
// 0.05 within [0.4, 1.0] and only while the switch is on. The window-opacity panel
// is told the opacity it should show after every change (1.0 while switched off).
#pragma once

#include <functional>

class MenuModel;
class WindowLayer;
struct MainWindowState;

inline constexpr float WINDOW_OPACITY_MIN = 0.4f;
inline constexpr float WINDOW_OPACITY_MAX = 1.0f;
inline constexpr float WINDOW_OPACITY_STEP = 0.05f;

class WindowOpacity {
public:
    WindowOpacity(WindowLayer& window, MainWindowState& state, MenuModel& menus)
        : window_(window), state_(state), menus_(menus) {}

    void toggle();
    void increase();
    void decrease();
    // The window-opacity panel's slider: switches on (when off) with `value`.
    void switchOnWith(float value);

    // Receives the opacity the window-opacity panel should show.
    std::function<void(float opacity)> showOnPanel;

private:
    void switchOn();
    void switchOff();
    void apply();
    void tellPanel(float opacity);

    WindowLayer& window_;
    MainWindowState& state_;
    MenuModel& menus_;
};
