// WindowKeys: the keys and buttons as the window layer hands them to the shell.
//
// freeglut delivers character keys, GLUT special keys (F1 = 1 .. F12 = 12, arrows
// 100 to 103, ...) and mouse buttons. The program also relies on events freeglut
// does not deliver in this form on X11; the layer makes them:
//   the mouse wheel     special key WINDOW_KEY_WHEEL with the signed delta (one
//                       notch = WINDOW_WHEEL_NOTCH) in place of x
//   the modifier keys   special keys WINDOW_KEY_SHIFT / _CTRL / _ALT, for the left
//                       and the right key alike, pressed and released
//   menu commands       special keys from WINDOW_MENU_FIRST on, the menu identifier
#pragma once

#include <cstdint>

inline constexpr int32_t WINDOW_KEY_F1 = 1;
inline constexpr int32_t WINDOW_KEY_F3 = 3;
inline constexpr int32_t WINDOW_KEY_WHEEL = 60;
inline constexpr int32_t WINDOW_KEY_LEFT = 100;
inline constexpr int32_t WINDOW_KEY_UP = 101;
inline constexpr int32_t WINDOW_KEY_RIGHT = 102;
inline constexpr int32_t WINDOW_KEY_DOWN = 103;
inline constexpr int32_t WINDOW_KEY_SHIFT = 120;
inline constexpr int32_t WINDOW_KEY_CTRL = 121;
inline constexpr int32_t WINDOW_KEY_ALT = 122;
inline constexpr int32_t WINDOW_MENU_FIRST = 10000;

inline constexpr int32_t WINDOW_WHEEL_NOTCH = 120;

// Mouse buttons and their states as the mouse callback reports them (GLUT's numbers).
inline constexpr int32_t WINDOW_BUTTON_LEFT = 0;
inline constexpr int32_t WINDOW_BUTTON_MIDDLE = 1;
inline constexpr int32_t WINDOW_BUTTON_RIGHT = 2;
inline constexpr int32_t WINDOW_BUTTON_DOWN = 0;
inline constexpr int32_t WINDOW_BUTTON_UP = 1;

// freeglut's special key for a modifier key (Shift_L 112, Shift_R 113, Control_L 114,
// Control_R 115, Alt_L 116, Alt_R 117) becomes the program's modifier key; every
// other key is passed on as it is.
int32_t windowSpecialKeyFromGlut(int32_t glutKey);

// freeglut reports the wheel as buttons 3 (away from the user) and 4 (towards): the
// signed wheel delta of one notch for those, 0 for every other button (5 and 6 are
// the sideways wheel, which the program does not use).
int32_t wheelDeltaFromGlutButton(int32_t glutButton);
