#include "ShapeTransform.h"

#include <cmath>

namespace {

// The point's offsets from the rectangle's edges in its own frame: negative inside.
void edgeDistances(const TransformRect& rect, float x, float y, float* fromSide, float* fromTop)
{
    const float dx = x - rect.centreX;
    const float dy = y - rect.centreY;
    const float d = std::sqrt(dx * dx + dy * dy);
    const float phi = std::atan2(dy, dx) - rect.angle * RADIANS_PER_DEGREE;
    *fromSide = std::fabs(d * std::cos(phi)) - rect.width / 2;
    *fromTop = std::fabs(d * std::sin(phi)) - rect.height / 2;
}

}  // namespace

int32_t hitHandle(const TransformRect& rect, float x, float y)
{
    float ex = 0, ey = 0;
    edgeDistances(rect, x, y, &ex, &ey);
    if (std::fabs(ey) < HANDLE_CORNER_ZONE && std::fabs(ex) < HANDLE_CORNER_ZONE) return HANDLE_CORNER;
    if (ey < 0 && ex < 0) return HANDLE_INSIDE;
    if (std::fabs(ey) < HANDLE_ROTATE_ZONE && std::fabs(ex) < HANDLE_ROTATE_ZONE) return HANDLE_ROTATE;
    return HANDLE_NONE;
}

CursorKind handleCursor(int32_t handle, const TransformRect& rect, float x, float y, bool showCursor)
{
    const bool right = x > rect.centreX;
    const bool above = y > rect.centreY;
    switch (handle) {
    case HANDLE_INSIDE: return CursorKind::Move;
    case HANDLE_CORNER: return right == above ? CursorKind::ResizeDiagonalRising : CursorKind::ResizeDiagonalFalling;
    case HANDLE_ROTATE:
        if (above) return right ? CursorKind::RotateAboveRight : CursorKind::RotateAboveLeft;
        return right ? CursorKind::RotateBelowRight : CursorKind::RotateBelowLeft;
    default: return showCursor ? CursorKind::Arrow : CursorKind::Invisible;
    }
}

HandleDrag beginHandleDrag(const TransformRect& rect, int32_t handle, float x, float y)
{
    HandleDrag drag;
    drag.active = true;
    drag.handle = handle;
    drag.start = rect;
    drag.pressX = x;
    drag.pressY = y;
    drag.offsetX = x - rect.centreX;
    drag.offsetY = y - rect.centreY;
    return drag;
}

TransformRect dragHandle(const HandleDrag& drag, bool shift, float x, float y)
{
    const TransformRect& start = drag.start;
    TransformRect rect = start;
    switch (drag.handle) {
    case HANDLE_INSIDE:
        rect.centreX = start.centreX + (x - drag.pressX);
        rect.centreY = start.centreY + (y - drag.pressY);
        break;
    case HANDLE_CORNER: {
        const float dx = x - start.centreX;
        const float dy = y - start.centreY;
        const float d = std::sqrt(dx * dx + dy * dy);
        const float phi = std::atan2(dy, dx) - start.angle * RADIANS_PER_DEGREE;
        rect.width = std::fabs(2 * d * std::cos(phi));
        rect.height = std::fabs(2 * d * std::sin(phi));
        // A rectangle flat in one direction has no aspect to keep (it would divide by 0).
        if (shift && start.width != 0 && start.height != 0) {
            if (std::fabs(rect.width / start.width) > std::fabs(rect.height / start.height))
                rect.height = start.height * rect.width / start.width;
            else
                rect.width = start.width * rect.height / start.height;
        }
        break;
    }
    case HANDLE_ROTATE: {
        // The turn from the press direction to the current one, in -180..180: dragging
        // round the centre once comes back to the start angle, not 360 degrees on.
        const float ax = drag.offsetX, ay = drag.offsetY;
        const float bx = x - start.centreX, by = y - start.centreY;
        const float cross = ax * by - ay * bx;
        const float dot = ax * bx + ay * by;
        rect.angle = start.angle + std::atan2(cross, dot) * DEGREES_PER_RADIAN;
        break;
    }
    default: break;
    }
    return rect;
}
