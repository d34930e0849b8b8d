#include "WindowKeys.h"

namespace {
// freeglut's numbers for the modifier keys (GLUT_KEY_SHIFT_L .. GLUT_KEY_ALT_R).
constexpr int32_t GLUT_SHIFT_LEFT = 112;
constexpr int32_t GLUT_SHIFT_RIGHT = 113;
constexpr int32_t GLUT_CTRL_LEFT = 114;
constexpr int32_t GLUT_CTRL_RIGHT = 115;
constexpr int32_t GLUT_ALT_LEFT = 116;
constexpr int32_t GLUT_ALT_RIGHT = 117;
constexpr int32_t GLUT_WHEEL_AWAY = 3;
constexpr int32_t GLUT_WHEEL_TOWARDS = 4;
}  // namespace

int32_t windowSpecialKeyFromGlut(int32_t glutKey)
{
    switch (glutKey) {
    case GLUT_SHIFT_LEFT:
    case GLUT_SHIFT_RIGHT: return WINDOW_KEY_SHIFT;
    case GLUT_CTRL_LEFT:
    case GLUT_CTRL_RIGHT: return WINDOW_KEY_CTRL;
    case GLUT_ALT_LEFT:
    case GLUT_ALT_RIGHT: return WINDOW_KEY_ALT;
    default: return glutKey;
    }
}

int32_t wheelDeltaFromGlutButton(int32_t glutButton)
{
    if (glutButton == GLUT_WHEEL_AWAY) return WINDOW_WHEEL_NOTCH;
    if (glutButton == GLUT_WHEEL_TOWARDS) return -WINDOW_WHEEL_NOTCH;
    return 0;
}
