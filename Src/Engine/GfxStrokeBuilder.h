// GfxStrokeBuilder — from pointer samples to the stored points of a freehand stroke,
// and from stored elements to the centre lines that pen cells are built along.
//
// Nothing here knows the model: the caller owns the pools (the sketch's scratch
// pools, created with an allocator before use) and writes the results into its
// records. All coordinates are viewport pixels, pressure runs from 0 to 1.
//
// HOW begin / extend / end USE IT
//   begin:  raw.reset(); raw.push(first sample)
//   extend: n = raw.count();
//           gfxStrokeFilterSamples(raw, samples, count, &kept);
//           if (gfxStrokeShouldRebuild(kept, n))
//               gfxRebuildStroke(raw, nullptr, smoothing, copy, points, &bounds);
//   end:    gfxRebuildStroke(raw, &final sample (or nullptr), smoothing, copy, points, &bounds);
//           gfxBuildCentreLine(...) then the cells (GfxPenCells.h).
//
// Unusable input points (NaN or infinite values, coordinates beyond
// GFX_STROKE_COORDINATE_LIMIT, pressures beyond GFX_STROKE_PRESSURE_LIMIT) are
// skipped everywhere: a bad sample from a driver must neither poison the curve nor
// make the subdivision run away.
#pragma once

#include "GfxMemory.h"

#include <cstdint>

// ----------------------------------------------------------------------------------
// [SECTION] Constants
// ----------------------------------------------------------------------------------
constexpr float GFX_STROKE_KEEP_DISTANCE_SQUARED = 1.0f;   // keep when farther than this (pixels squared)
constexpr float GFX_STROKE_KEEP_PRESSURE_CHANGE = 0.2f;    // ... or when pressure moved more than this
constexpr float GFX_STROKE_REBUILD_DISTANCE_TOLERANCE = 0.25f;
constexpr float GFX_STROKE_REBUILD_PRESSURE_TOLERANCE = 1.0f;
constexpr float GFX_CENTRE_LINE_DISTANCE_TOLERANCE = 0.25f;  // divided by the build scale
constexpr float GFX_CENTRE_LINE_MIN_DISTANCE_TOLERANCE = 0.0002f;
constexpr float GFX_CENTRE_LINE_PRESSURE_TOLERANCE = 0.1f;
constexpr double GFX_CURVE_MAX_EXTENT = 500.0;       // a piece wider or taller than this is always split
constexpr int32_t GFX_CURVE_ZERO_ULPS = 10;          // "zero" and "coincide" tests, in float units in the last place
constexpr double GFX_CURVE_CORNER_DOT = 0.2;         // direction change below this dot product is a corner
constexpr int32_t GFX_CURVE_UNIFORM_MAX_STEPS = 10;  // uniform sampler: at most this many points per segment
constexpr int32_t GFX_CURVE_MAX_DEPTH = 48;          // subdivision safety net; real input never gets near it
constexpr float GFX_STROKE_COORDINATE_LIMIT = 1.0e6f;  // viewport pixels; far beyond any window
constexpr float GFX_STROKE_PRESSURE_LIMIT = 1.0e3f;
constexpr int32_t GFX_ELLIPSE_CENTRE_LINE_STEPS = 120;  // 3-degree steps, then the first point again

// ----------------------------------------------------------------------------------
// [SECTION] Settings
// ----------------------------------------------------------------------------------
// What the sketch's smoothingLevel means: 1 → 8 passes, 2 → 16, 3 → 24,
// 4 → 16 with the uniform sampler, anything else → 4.
struct GfxSmoothing {
    int32_t passes = 4;
    bool uniform = false;
};
GfxSmoothing gfxSmoothingForLevel(int32_t smoothingLevel);

struct GfxCurveSettings {
    double distanceTolerance = GFX_STROKE_REBUILD_DISTANCE_TOLERANCE;  // control points farther from the chord split the piece
    double pressureTolerance = GFX_STROKE_REBUILD_PRESSURE_TOLERANCE;  // a pressure change this large splits the piece
    int32_t smoothingPasses = 4;  // 0: no smoothing and no pressure clamping (the centre-line fit)
    bool uniform = false;         // uniform sampler and whole-stroke sweeps instead of adaptive subdivision
};

// x, y, width, height of a point list (all zero for an empty list).
struct GfxStrokeBounds {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};

// ----------------------------------------------------------------------------------
// [SECTION] Sample filter and rebuild rule
// ----------------------------------------------------------------------------------
// True when the point can take part in a curve (finite, within the limits above).
bool gfxStrokePointUsable(const GfxSample& point);

// True when `sample` is worth keeping after `lastKept`: squared distance above 1 or
// pressure change above 0.2.
bool gfxStrokeSampleKept(const GfxSample& lastKept, const GfxSample& sample);

// Appends to `raw` every sample the filter keeps, each compared with the last kept
// one (an empty pool keeps the first usable sample). `*keptCount` (may be null)
// receives how many were kept. GFX_ERR_FAILED when the pool cannot grow (the samples
// kept so far stay), GFX_ERR_INVALID for a negative count or null samples with a
// positive count.
int32_t gfxStrokeFilterSamples(GfxPool<GfxSample>& raw, const GfxSample* samples, int32_t count,
                               int32_t* keptCount);

// The rebuild rule: with k samples kept in this call and n in the pool before it,
// rebuild when k + (n mod 2) >= 2, i.e. on every second kept sample.
bool gfxStrokeShouldRebuild(int32_t keptCount, int32_t poolCountBefore);

// ----------------------------------------------------------------------------------
// [SECTION] Curve builder
// ----------------------------------------------------------------------------------
// Fits cubic Bezier segments through points[0..count-1] (runs split at corners),
// subdivides them adaptively (or samples them uniformly) and smooths the result.
// `out` is reset and receives the curve, starting with the first usable point.
// Arithmetic is done in double and stored as float. GFX_ERR_FAILED when `out` cannot
// grow (it then holds a partial curve: keep the previous one), GFX_ERR_INVALID for
// bad arguments.
int32_t gfxBuildCurve(const GfxSample* points, int32_t count, const GfxCurveSettings& settings,
                      GfxPool<GfxSample>& out);

GfxStrokeBounds gfxStrokeBoundsOf(const GfxSample* points, int32_t count);

// Rebuilds a freehand stroke from all kept samples: copies `raw` into `copy`, adds
// `finalSample` when given (the end of the stroke, not filtered by distance), runs the
// curve builder with tolerances 0.25 / 1.0 and `smoothing`, leaves the new point list
// in `points` and its bounding box in `*bounds` (may be null).
// A final sample identical to the last kept one is not added again: a tap stays a
// single point instead of a point and its zero-length echo.
// `raw` is never changed. Errors as gfxBuildCurve.
int32_t gfxRebuildStroke(const GfxPool<GfxSample>& raw, const GfxSample* finalSample, GfxSmoothing smoothing,
                         GfxPool<GfxSample>& copy, GfxPool<GfxSample>& points, GfxStrokeBounds* bounds);

// ----------------------------------------------------------------------------------
// [SECTION] Centre lines for cells
// ----------------------------------------------------------------------------------
// The line pen cells are built along, by element kind (GFX_ELEMENT_*):
//   freehand      `points` fitted again without smoothing, distance tolerance
//                 0.25 / buildScale (never below 0.0002), pressure tolerance 0.1;
//   line          points[0] (start) and points[1] (end);
//   multi-line,
//   polygon       `points` as they are (a polygon's stored list already ends with
//                 its first point);
//   rectangle     the closed outline of `rect` (centre x, y, width, height), pressure 1;
//   ellipse       120 points at 3-degree steps on the ellipse inscribed in `rect`,
//                 pressure 1, then the first point again;
//   image         nothing.
// Rotation by the element's angle is applied when drawing, not here.
// `out` is reset first. A non-finite or non-positive buildScale counts as 1.
// GFX_ERR_INVALID for an unknown kind, a line with fewer than 2 points or a missing
// rect; GFX_ERR_FAILED when `out` cannot grow.
int32_t gfxBuildCentreLine(int32_t kind, const GfxSample* points, int32_t pointCount, const float* rect,
                           float buildScale, GfxPool<GfxSample>& out);
