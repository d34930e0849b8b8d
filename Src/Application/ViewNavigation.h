// ViewNavigation: pan, zoom, rotate and mirror of the canvas view and of the current
// layer, as the controller builds them.
//
// The controller never edits a matrix: every navigation is a GfxGesture handed to
// the engine's view gestures (gfxBegin/Update/EndViewGesture) or, for the layer
// tools, to the layer gestures (the engine bakes them into the layer's matrix as
// one undoable step). The controller's operations are defined in ViewNavigation.cpp;
// this header holds the record of the gesture in progress and the arithmetic.
#pragma once

#include "Gfx.h"

#include <cstdint>

// Interactive gestures: only horizontal motion drives zoom and rotation.
inline constexpr float DRAG_ZOOM_RATE = 0.0075f;           // zoom = 2^(dx x rate)
inline constexpr float DRAG_ROTATE_RATE = 0.01f;           // radians per pixel
inline constexpr float DEGREES_PER_RADIAN = 57.295776f;
// Discrete steps.
inline constexpr float STEP_ZOOM_IN = 1.5f;
inline constexpr float STEP_ZOOM_OUT = 0.6666667f;
inline constexpr float STEP_ROTATE_DEGREES = 45.0f;
inline constexpr float STEP_PAN_PIXELS = 100.0f;
inline constexpr int32_t WHEEL_NOTCH = 120;
// Steps one wheel event may make: 1.5^64 is far past the view's scale limits, and a
// bogus delta must not keep the program zooming for minutes.
inline constexpr int32_t WHEEL_STEPS_LIMIT = 64;
// The view scales the controller reports as reachable after fitting.
inline constexpr double FIT_SCALE_LOWEST = 1e-9;
inline constexpr double FIT_SCALE_HIGHEST = 50000.0;
// Touch gestures.
inline constexpr float TOUCH_PAN_RATE = 10.0f;
inline constexpr float TOUCH_ZOOM_EXPONENT = 0.75f;

enum ViewStep : int32_t {
    VIEW_STEP_SCALE_UP = 0,
    VIEW_STEP_SCALE_DOWN = 1,
    VIEW_STEP_ROTATE_LEFT = 2,   // -45 degrees
    VIEW_STEP_ROTATE_RIGHT = 3,  // +45 degrees
    VIEW_STEP_PAN_LEFT = 4,
    VIEW_STEP_PAN_RIGHT = 5,
    VIEW_STEP_PAN_UP = 6,
    VIEW_STEP_PAN_DOWN = 7,
};

// The gesture in progress (InteractionState 7 for the tools, 9 for touch).
struct ViewManipulation {
    bool active = false;
    bool onLayer = false;        // the current layer, else the canvas view
    GfxGesture gesture;
    float viewScaleBefore = 1;   // when the gesture began, for pen scaling
    int32_t touchKind = -1;      // the touch record's kind while a touch gesture runs
};

// A two-finger gesture as the touch back-ends' gesture sink reports it.
enum : int32_t {
    TOUCH_GESTURE_PAN = 0,
    TOUCH_GESTURE_ZOOM = 1,
    TOUCH_GESTURE_ROTATE = 2,
    TOUCH_GESTURE_COMBINED = 6,
};
struct TouchGestureInput {
    int32_t kind = TOUCH_GESTURE_PAN;
    float centreX = 0, centreY = 0;  // window pixels, y upwards
    float amount = 0;                // zoom amount (combined: the scale itself)
    float dx = 0, dy = 0;            // translation since the last report
    float angle = 0;                 // degrees
};

// The gesture of a zoom, pan or rotate tool dragged from `anchor` to the pointer.
GfxGesture toolDragGesture(int32_t gestureKind, float anchorX, float anchorY, float x, float y);
// The gesture of one discrete step about (centreX, centreY).
GfxGesture viewStepGesture(int32_t step, float centreX, float centreY);
// Signed number of scale steps a wheel delta gives: +n scale up, -n scale down; the
// remainder of a notch is dropped; at most WHEEL_STEPS_LIMIT either way.
int32_t wheelScaleSteps(int32_t delta);
// The zoom that fits a box of w x h into a window of W x H in its tighter direction.
float fitZoom(float boxWidth, float boxHeight, float windowWidth, float windowHeight);
