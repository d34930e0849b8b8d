// ShapeTransform: the geometry of an open transform rectangle and its handles.
//
// A square, a circle, a placed image and a floating selection all stay open as a
// rotated rectangle (centre, width, height, angle) that the user moves, scales and
// rotates with three handles:
//   inside the rectangle           move
//   within 5 pixels of a corner    scale, symmetric about the centre (Shift keeps the
//                                  aspect of the rectangle at the press)
//   5 to 15 pixels outside a corner rotate, by the turn between the press direction
//                                  and the current one (always -180..180 degrees, so
//                                  a full turn ends where it started)
// Distances are measured in the rectangle's own frame, so the zones turn with it.
// Window pixels, y upwards. Nothing here touches the controller or the engine: the
// selection code (Selection.h) sends the result on.
#pragma once

#include "ViewNavigation.h"  // DEGREES_PER_RADIAN
#include "WindowLayer.h"

#include <cstdint>

struct TransformRect {
    float centreX = 0, centreY = 0;
    float width = 0, height = 0;
    float angle = 0;  // degrees, counter-clockwise
};

// What lies under a point. IMPORTANT: the numbers are the handle kinds the tools and
// the cursors share.
enum HandleKind : int32_t {
    HANDLE_NONE = 0,
    HANDLE_INSIDE = 1,  // move
    HANDLE_CORNER = 2,  // scale
    HANDLE_ROTATE = 3,  // near a corner, outside
};
inline constexpr float HANDLE_CORNER_ZONE = 5.0f;   // pixels either side of a corner
inline constexpr float HANDLE_ROTATE_ZONE = 15.0f;  // pixels around a corner
inline constexpr float RADIANS_PER_DEGREE = 0.017453292f;

int32_t hitHandle(const TransformRect& rect, float x, float y);

// The cursor for the handle under (x, y): move inside; a diagonal resize cursor at a
// corner (8 on the rising diagonal through the centre, 9 on the falling one); a corner
// rotation cursor outside (13 above right, 12 above left, 10 below right, 11 below
// left); elsewhere the arrow, or no cursor while the user has hidden it.
CursorKind handleCursor(int32_t handle, const TransformRect& rect, float x, float y, bool showCursor);

// A handle drag: the rectangle, the press and its offset from the centre at the press.
struct HandleDrag {
    bool active = false;
    int32_t handle = HANDLE_NONE;
    TransformRect start;
    float pressX = 0, pressY = 0;
    float offsetX = 0, offsetY = 0;
};

HandleDrag beginHandleDrag(const TransformRect& rect, int32_t handle, float x, float y);
// The rectangle the drag gives with the pointer at (x, y).
TransformRect dragHandle(const HandleDrag& drag, bool shift, float x, float y);
