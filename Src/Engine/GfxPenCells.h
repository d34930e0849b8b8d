// GfxPenCells — pen cells: the textured quads the marker and pencil programs draw.
//
// A cell is four GfxVertex in quad order (x, y, s = pressure, t and p = the vertex's
// offset from the centre line divided by the maximum pen radius R, so length(t, p)
// is 0 on the centre line and 1 at R). Cells are appended to a GfxPool<GfxVertex>;
// on failure the pool is cut back to where it was, so a caller never sees half an
// element. Arithmetic is float, as the vertices are.
//
//   R     = 0.5 x penWidth x widthScale                    (maximum radius)
//   r(p)  = R (1 - penWidthSensitivity)(1 - p) + R p        (negative p counts as 0)
//   h(r)  = r + 0.8 when r > 0.8, else 2 r                  (room for the 0.8-pixel filter)
//
// A pen whose R is not a positive finite number draws nothing: no cells, GFX_OK.
#pragma once

#include "GfxMemory.h"

#include <cstdint>

// ----------------------------------------------------------------------------------
// [SECTION] Pen
// ----------------------------------------------------------------------------------
enum : int32_t {
    GFX_CELL_PEN_MARKER = 0,       // penType 0
    GFX_CELL_PEN_PENCIL = 1,       // penType 1
    GFX_CELL_PEN_WIDE_MARKER = 2,  // penType 2, drawn by the marker program
};

constexpr float GFX_CELL_FILTER_ROOM = 0.8f;            // the shaders' anti-alias filter, pixels
constexpr float GFX_WIDE_MARKER_NIB_ANGLE = 0.7853975f; // radians: the nib lies on this diagonal
constexpr float GFX_WIDE_MARKER_MIN_EDGE = 0.01f;       // shorter joining edges keep an unnormalised normal
constexpr float GFX_PENCIL_SPACING_FACTOR = 0.2f;       // stamp spacing base = penWidth x this x widthScale
constexpr float GFX_PENCIL_MIN_SPACING = 0.1f;
constexpr float GFX_PENCIL_MIN_STEP = 0.1f;             // relative widths at or below this step 0.1 x S
constexpr float GFX_PENCIL_DOT_LENGTH = 0.05f;          // x S: the length given to a lone zero-length segment
// A damaged or hand-made document can hold a pencil line millions of spacings long;
// stamping it whole would take gigabytes and minutes. An element whose line needs
// more stamps than this (84 MB of cells) gets its spacing stretched evenly to fit, so
// it still shows along its whole length. Drawn strokes stay far below it.
constexpr int64_t GFX_PENCIL_MAX_STAMPS = int64_t{1} << 20;

// The pen state in force for an element (from the layer's pen record) and the
// sketch's widthScale.
struct GfxCellPen {
    int32_t penType = GFX_CELL_PEN_PENCIL;
    float penWidth = 2.0f;
    float penWidthSensitivity = 1.0f;
    float widthScale = 1.0f;
};

// ----------------------------------------------------------------------------------
// [SECTION] Cells by pen type
// ----------------------------------------------------------------------------------
// Marker: one line cell per segment of non-zero length (A - h n, B - h n, B + h n,
// A + h n with n the unit normal (A.y - B.y, B.x - A.x) / length), then one
// axis-aligned corner square per point.
int32_t gfxBuildMarkerCells(const GfxCellPen& pen, const GfxSample* line, int32_t count, GfxPool<GfxVertex>& out);

// Wide marker: a flat nib along the 45-degree diagonal d at every point (cap beyond
// E1, body, cap beyond E0) and, from the second point on, three quads joining it to
// the previous nib (outer strip of edge 1, swept parallelogram, outer strip of edge 0).
// Order: point 0's nib, then for each later point its nib and its join.
// `clipRect` (x, y, width, height, or null for none) skips a nib whose box grown by
// the margin misses it, and a join when both nibs' boxes together miss it; the margin
// is max(R, h) so that a cap's anti-aliased rim reaching into the rectangle is kept.
int32_t gfxBuildWideMarkerCells(const GfxCellPen& pen, const GfxSample* line, int32_t count, const float* clipRect,
                                GfxPool<GfxVertex>& out);

// Pencil: square stamps walked along the line. Spacing base S = max(0.1, penWidth x
// 0.2 x widthScale); each stamp at fraction o of its segment has q = lerp(pA, pB, o),
// g = (1 - penWidthSensitivity)(1 - q) + q, half-side g R, (t, p) = (±1, ±1); the next
// stamp is g S further (0.1 S when g <= 0.1) and the remainder carries over. Stamps
// sit at running distances in [0, length) of each segment. A zero-length segment is
// skipped in a line of more than two points, else given the length 0.05 S so a dot
// is still stamped; a line of one point is stamped as that dot too (a tap), and so is
// a line whose points all lie on one spot (a still pen changing pressure), at the
// point of highest pressure.
int32_t gfxBuildPencilStamps(const GfxCellPen& pen, const GfxSample* line, int32_t count, GfxPool<GfxVertex>& out);

// Dispatches on pen.penType. GFX_ERR_INVALID for an unknown type; GFX_ERR_FAILED when
// `out` cannot grow (then cut back to its count on entry).
int32_t gfxBuildPenCells(const GfxCellPen& pen, const GfxSample* line, int32_t count, const float* clipRect,
                         GfxPool<GfxVertex>& out);

// ----------------------------------------------------------------------------------
// [SECTION] Whole element
// ----------------------------------------------------------------------------------
// The centre line of an element (gfxBuildCentreLine, into `centreLine`) and its cells
// (appended to `vertices`) in one call; `*firstVertex` (may be null) receives where
// they start in `vertices`, `*vertexCount` (may be null) how many were added
// (0 for an image). On failure nothing is added.
int32_t gfxBuildElementCells(int32_t kind, const GfxSample* points, int32_t pointCount, const float* rect,
                             float buildScale, const GfxCellPen& pen, const float* clipRect,
                             GfxPool<GfxSample>& centreLine, GfxPool<GfxVertex>& vertices, int32_t* firstVertex,
                             int32_t* vertexCount);
