// Marker cells, wide-marker nibs and pencil stamps: counts and vertex values worked
// out by hand for small inputs.
#include "GfxPenCells.h"

#include "BudgetAllocator.h"
#include "GfxStrokeBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

GfxAllocator testAllocator() { return BudgetAllocator::hooks(); }

struct Vertices {
    GfxPool<GfxVertex> pool;
    Vertices() { pool.create(testAllocator(), 4, 64); }
};

GfxCellPen pen(int32_t type, float width, float sensitivity, float widthScale = 1.0f)
{
    GfxCellPen p;
    p.penType = type;
    p.penWidth = width;
    p.penWidthSensitivity = sensitivity;
    p.widthScale = widthScale;
    return p;
}

void expectVertices(const GfxPool<GfxVertex>& pool, int32_t first, const std::vector<GfxVertex>& expected,
                    float tolerance = 1e-5f)
{
    ASSERT_GE(pool.count(), first + static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const GfxVertex& v = pool[first + static_cast<int32_t>(i)];
        const GfxVertex& e = expected[i];
        SCOPED_TRACE("vertex " + std::to_string(first + i));
        EXPECT_NEAR(v.x, e.x, tolerance);
        EXPECT_NEAR(v.y, e.y, tolerance);
        EXPECT_NEAR(v.s, e.s, tolerance);
        EXPECT_NEAR(v.t, e.t, tolerance);
        EXPECT_NEAR(v.p, e.p, tolerance);
    }
}

// Centre of a stamp or square cell starting at vertex `first`.
GfxSample cellCentre(const GfxPool<GfxVertex>& pool, int32_t first)
{
    return {(pool[first].x + pool[first + 2].x) / 2, (pool[first].y + pool[first + 2].y) / 2, pool[first].s};
}

}  // namespace

// ----------------------------------------------------------------------------------
// Marker
// ----------------------------------------------------------------------------------
TEST(MarkerCells, TapIsOneCornerSquare)
{
    // R = 2, sensitivity 1: r(0.5) = 1, h = 1.8, h / R = 0.9.
    Vertices out;
    const GfxSample tap[] = {{10, 10, 0.5f}};
    ASSERT_EQ(gfxBuildMarkerCells(pen(0, 4, 1), tap, 1, out.pool), GFX_OK);
    ASSERT_EQ(out.pool.count(), 4);
    expectVertices(out.pool, 0,
                   {{8.2f, 8.2f, 0.5f, -0.9f, -0.9f},
                    {11.8f, 8.2f, 0.5f, 0.9f, -0.9f},
                    {11.8f, 11.8f, 0.5f, 0.9f, 0.9f},
                    {8.2f, 11.8f, 0.5f, -0.9f, 0.9f}});
}

TEST(MarkerCells, SegmentGivesLineCellThenCornerSquares)
{
    // R = 2, sensitivity 0.5: r(1) = 2 → h 2.8; r(0) = 1 → h 1.8. n = (0, 1).
    Vertices out;
    const GfxSample line[] = {{0, 0, 1.0f}, {10, 0, 0.0f}};
    ASSERT_EQ(gfxBuildMarkerCells(pen(0, 4, 0.5f), line, 2, out.pool), GFX_OK);
    ASSERT_EQ(out.pool.count(), 12);
    expectVertices(out.pool, 0,
                   {{0, -2.8f, 1, 0, -1.4f},
                    {10, -1.8f, 0, 0, -0.9f},
                    {10, 1.8f, 0, 0, 0.9f},
                    {0, 2.8f, 1, 0, 1.4f},
                    {-2.8f, -2.8f, 1, -1.4f, -1.4f},
                    {2.8f, -2.8f, 1, 1.4f, -1.4f},
                    {2.8f, 2.8f, 1, 1.4f, 1.4f},
                    {-2.8f, 2.8f, 1, -1.4f, 1.4f},
                    {8.2f, -1.8f, 0, -0.9f, -0.9f},
                    {11.8f, -1.8f, 0, 0.9f, -0.9f},
                    {11.8f, 1.8f, 0, 0.9f, 0.9f},
                    {8.2f, 1.8f, 0, -0.9f, 0.9f}});
}

TEST(MarkerCells, HalfWidthRulesAndPressureFloor)
{
    // One point each; the corner square's first vertex is (x - h, y - h) with t = -h / R.
    struct Case {
        const char* what;
        float width, sensitivity, widthScale, pressure;
        float half, s;
    } cases[] = {
        {"thin: r 0.5 <= 0.8 gives 2 r", 1, 1, 1, 1.0f, 1.0f, 1.0f},
        {"r exactly 0.8 is not above it", 1.6f, 1, 1, 1.0f, 1.6f, 1.0f},
        {"widthScale multiplies R", 2, 1, 3, 1.0f, 3.8f, 1.0f},
        {"negative pressure counts as 0", 4, 1, 1, -0.5f, 0.0f, 0.0f},
        {"sensitivity 0 ignores pressure", 4, 0, 1, 0.1f, 2.8f, 0.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Vertices out;
        const GfxSample point[] = {{0, 0, c.pressure}};
        ASSERT_EQ(gfxBuildMarkerCells(pen(0, c.width, c.sensitivity, c.widthScale), point, 1, out.pool), GFX_OK);
        ASSERT_EQ(out.pool.count(), 4);
        float R = 0.5f * c.width * c.widthScale;
        EXPECT_NEAR(out.pool[0].x, -c.half, 1e-5);
        EXPECT_NEAR(out.pool[0].t, -c.half / R, 1e-5);
        EXPECT_NEAR(out.pool[0].s, c.s, 1e-6);
    }
}

TEST(MarkerCells, CountsSkipZeroLengthSegments)
{
    struct Case {
        const char* what;
        std::vector<GfxSample> line;
        int32_t vertices;
    } cases[] = {
        {"empty", {}, 0},
        {"two points", {{0, 0, 1}, {5, 0, 1}}, 12},
        {"repeated point", {{0, 0, 1}, {0, 0, 1}, {5, 5, 1}}, 16},
        {"all the same point", {{3, 3, 1}, {3, 3, 1}, {3, 3, 1}}, 12},
        {"closed triangle", {{0, 0, 1}, {5, 0, 1}, {0, 5, 1}, {0, 0, 1}}, 28},
    };
    for (const Case& c : cases) {
        Vertices out;
        ASSERT_EQ(gfxBuildMarkerCells(pen(0, 4, 1), c.line.data(), static_cast<int32_t>(c.line.size()), out.pool), GFX_OK);
        EXPECT_EQ(out.pool.count(), c.vertices) << c.what;
    }
}

// ----------------------------------------------------------------------------------
// Wide marker
// ----------------------------------------------------------------------------------
TEST(WideMarkerCells, SingleNibCapsAndBody)
{
    // R = 2, r = 2: L = 6, h = 2.8, m = 1.4; d ≈ (0.70711, 0.70711), n = (d.y, -d.x).
    // E1 = (54.2426, 54.2426), E0 = (45.7574, 45.7574); h n = (1.9799, -1.9799),
    // h (d + n) = (3.9598, 0), h (d - n) = (0, 3.9598).
    Vertices out;
    const GfxSample point[] = {{50, 50, 1.0f}};
    ASSERT_EQ(gfxBuildWideMarkerCells(pen(2, 4, 1), point, 1, nullptr, out.pool), GFX_OK);
    ASSERT_EQ(out.pool.count(), 12);
    expectVertices(out.pool, 0,
                   {
                       {54.2426f, 58.2024f, 1, 0, -1.9799f},            // E1 + h (d - n)
                       {58.2024f, 54.2426f, 1, -1.9799f, 0},            // E1 + h (d + n)
                       {56.2225f, 52.2627f, 1, -0.98995f, 0.98995f},    // E1 + h n
                       {52.2627f, 56.2225f, 1, 0.98995f, -0.98995f},    // E1 - h n
                       {52.2627f, 56.2225f, 1, 0.98995f, -0.98995f},    // body: E1 - h n, m n
                       {56.2225f, 52.2627f, 1, -0.98995f, 0.98995f},    // E1 + h n, -m n
                       {47.7373f, 43.7775f, 1, -0.98995f, 0.98995f},    // E0 + h n, -m n
                       {43.7775f, 47.7373f, 1, 0.98995f, -0.98995f},    // E0 - h n, m n
                       {43.7775f, 47.7373f, 1, 0.98995f, -0.98995f},    // E0 - h n
                       {47.7373f, 43.7775f, 1, -0.98995f, 0.98995f},    // E0 + h n
                       {45.7574f, 41.7976f, 1, 0, 1.9799f},             // E0 + h (n - d)
                       {41.7976f, 45.7574f, 1, 1.9799f, 0},             // E0 - h (n + d)
                   },
                   2e-4f);
}

TEST(WideMarkerCells, NibSizeByRadius)
{
    // R = 2, sensitivity 1, so r = 2 p. The body's first two vertices are E1 ∓ h n:
    // their midpoint is E1 (L from the centre), half their distance is h.
    struct Case {
        float pressure;
        float halfLength, half;
    } cases[] = {
        {1.0f, 6.0f, 2.8f},   // r 2 >= 0.8: L = 3 r, h = r + 0.8
        {0.4f, 2.4f, 1.6f},   // r 0.8 exactly: still the first rule
        {0.25f, 0.9f, 1.6f},  // r 0.5: 2.5 r = 1.25 > 0.8, L = 5 r - 1.6, h = 1.6
        {0.15f, 0.0f, 0.6f},  // r 0.3: 2.5 r = 0.75 <= 0.8, L = 0, h = 2 r
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("pressure " + std::to_string(c.pressure));
        Vertices out;
        const GfxSample point[] = {{0, 0, c.pressure}};
        ASSERT_EQ(gfxBuildWideMarkerCells(pen(2, 4, 1), point, 1, nullptr, out.pool), GFX_OK);
        const GfxVertex& a = out.pool[4];
        const GfxVertex& b = out.pool[5];
        float e1x = (a.x + b.x) / 2, e1y = (a.y + b.y) / 2;
        EXPECT_NEAR(std::sqrt(e1x * e1x + e1y * e1y), c.halfLength, 1e-4);
        EXPECT_NEAR(std::hypot(b.x - a.x, b.y - a.y) / 2, c.half, 1e-4);
        EXPECT_NEAR(std::hypot(a.t, a.p), c.half / 2, 1e-4) << "m = h / R";
        EXPECT_NEAR(e1x, e1y, 1e-5) << "the nib lies on the diagonal";
    }
}

TEST(WideMarkerCells, JoinBetweenTwoNibs)
{
    // Q' = (0, 0), Q = (10, 0), r = 2: E1' = (4.2426, 4.2426), E0' = (-4.2426, -4.2426),
    // E1 = (14.2426, 4.2426), E0 = (5.7574, -4.2426). Both edges run along +x, left
    // normal (0, 1); movement x d = 10 d.y > 0, so no flip. h = 2.8, m = 1.4.
    Vertices out;
    const GfxSample line[] = {{0, 0, 1.0f}, {10, 0, 1.0f}};
    ASSERT_EQ(gfxBuildWideMarkerCells(pen(2, 4, 1), line, 2, nullptr, out.pool), GFX_OK);
    ASSERT_EQ(out.pool.count(), 36) << "two nibs, then the join";
    expectVertices(out.pool, 24,
                   {
                       {14.2426f, 7.0426f, 1, 0, -1.4f},  // E1 + h N1
                       {4.2426f, 7.0426f, 1, 0, -1.4f},   // E1' + h' N1
                       {4.2426f, 4.2426f, 1, 0, 0},       // E1'
                       {14.2426f, 4.2426f, 1, 0, 0},      // E1
                       {14.2426f, 4.2426f, 1, 0, 0},      // parallelogram E1, E1', E0', E0
                       {4.2426f, 4.2426f, 1, 0, 0},
                       {-4.2426f, -4.2426f, 1, 0, 0},
                       {5.7574f, -4.2426f, 1, 0, 0},
                       {5.7574f, -4.2426f, 1, 0, 0},      // E0
                       {-4.2426f, -4.2426f, 1, 0, 0},     // E0'
                       {-4.2426f, -7.0426f, 1, 0, 1.4f},  // E0' - h' N0
                       {5.7574f, -7.0426f, 1, 0, 1.4f},   // E0 - h N0
                   },
                   2e-4f);
}

TEST(WideMarkerCells, JoinBetweenNibsOfDifferentSizes)
{
    // Q' = (10, 0) at pressure 1 (r 2: L' = 6, h' = 2.8, m' = 1.4) to Q = (0, 0) at 0.5
    // (r 1: L = 3, h = 1.8, m = 0.9). E1' = (14.2426, 4.2426), E1 = (2.1213, 2.1213):
    // edge (-12.1213, -2.1213), left normal (0.17238, -0.98503), flipped (movement x d
    // < 0) to N1 = (-0.17238, 0.98503). E0' = (5.7574, -4.2426), E0 = (-2.1213, -2.1213):
    // N0 = (0.25999, 0.96562) after the flip.
    Vertices out;
    const GfxSample line[] = {{10, 0, 1.0f}, {0, 0, 0.5f}};
    ASSERT_EQ(gfxBuildWideMarkerCells(pen(2, 4, 1), line, 2, nullptr, out.pool), GFX_OK);
    ASSERT_EQ(out.pool.count(), 36);
    expectVertices(out.pool, 24, {{1.81102f, 3.89437f, 0.5f, 0.15515f, -0.88653f},    // E1 + h N1
                                  {13.75996f, 7.00072f, 1.0f, 0.24134f, -1.37904f}},  // E1' + h' N1
                   2e-4f);
    expectVertices(out.pool, 34, {{5.02939f, -6.94635f, 1.0f, 0.36398f, 1.35186f},    // E0' - h' N0
                                  {-2.58930f, -3.85942f, 0.5f, 0.23399f, 0.86905f}},  // E0 - h N0
                   2e-4f);
}

TEST(WideMarkerCells, JoinNormalsFlipWithMovementAndStayRawWhenTiny)
{
    // Moving in -x: the edges' left normal is (0, -1), negated to (0, 1) because the
    // movement crosses the diagonal the other way; the outer strip stays above E1.
    {
        Vertices out;
        const GfxSample line[] = {{10, 0, 1.0f}, {0, 0, 0.5f}};
        ASSERT_EQ(gfxBuildWideMarkerCells(pen(2, 4, 0), line, 2, nullptr, out.pool), GFX_OK);
        ASSERT_EQ(out.pool.count(), 36);
        const GfxVertex& outer = out.pool[24];  // E1 + h N1, with E1 = (4.2426, 4.2426)
        EXPECT_NEAR(outer.x, 4.2426f, 2e-4);
        EXPECT_NEAR(outer.y, 4.2426f + 2.8f, 2e-4);
        EXPECT_NEAR(outer.p, -1.4f, 1e-5);
        EXPECT_FLOAT_EQ(outer.s, 0.5f) << "this point's pressure";
        EXPECT_FLOAT_EQ(out.pool[25].s, 1.0f) << "the previous point's pressure";
    }
    // Moving 0.005 along +x: the edges are shorter than 0.01, N1 = (0, 0.005) unnormalised.
    {
        Vertices out;
        const GfxSample line[] = {{0, 0, 1.0f}, {0.005f, 0, 1.0f}};
        ASSERT_EQ(gfxBuildWideMarkerCells(pen(2, 4, 1), line, 2, nullptr, out.pool), GFX_OK);
        const GfxVertex& outer = out.pool[24];
        const GfxVertex& e1 = out.pool[27];
        EXPECT_NEAR(outer.y - e1.y, 2.8f * 0.005f, 1e-5);
        EXPECT_NEAR(outer.p, -1.4f * 0.005f, 1e-6);
    }
}

TEST(WideMarkerCells, ClipRectangleSkipsNibsAndJoins)
{
    // Nibs at (0, 0) and (100, 0), R 2, h 2.8: boxes [-7.04, 7.04]^2 and
    // [92.96, 107.04] x [-7.04, 7.04] (E0..E1 grown by max(R, h)).
    const GfxSample line[] = {{0, 0, 1.0f}, {100, 0, 1.0f}};
    struct Case {
        const char* what;
        float rect[4];
        int32_t vertices;
    } cases[] = {
        {"everything inside", {-50, -50, 200, 100}, 36},
        {"only the join's box", {50, -5, 10, 10}, 12},
        {"second nib and the join", {90, -5, 20, 10}, 24},
        {"nothing", {200, 200, 10, 10}, 0},
        {"cap rim beyond R but within h", {6.5f, 4.0f, 1, 0.5f}, 24},
        {"negative width and height", {60, 5, -10, -10}, 12},
    };
    for (const Case& c : cases) {
        Vertices out;
        ASSERT_EQ(gfxBuildWideMarkerCells(pen(2, 4, 1), line, 2, c.rect, out.pool), GFX_OK);
        EXPECT_EQ(out.pool.count(), c.vertices) << c.what;
    }
}

// ----------------------------------------------------------------------------------
// Pencil
// ----------------------------------------------------------------------------------
TEST(PencilStamps, TapIsOneStamp)
{
    // R = 2, sensitivity 0.5, q 0.5: g = 0.5 x 0.5 + 0.5 = 0.75, half-side 1.5.
    const std::vector<GfxSample> taps[] = {{{5, 5, 0.5f}}, {{5, 5, 0.5f}, {5, 5, 0.5f}}};
    for (const std::vector<GfxSample>& tap : taps) {
        Vertices out;
        ASSERT_EQ(gfxBuildPencilStamps(pen(1, 4, 0.5f), tap.data(), static_cast<int32_t>(tap.size()), out.pool), GFX_OK);
        ASSERT_EQ(out.pool.count(), 4) << tap.size() << " points";
        expectVertices(out.pool, 0,
                       {{3.5f, 3.5f, 0.5f, -1, -1}, {6.5f, 3.5f, 0.5f, 1, -1}, {6.5f, 6.5f, 0.5f, 1, 1}, {3.5f, 6.5f, 0.5f, -1, 1}});
    }
}

TEST(PencilStamps, SpacingCarriesOverSegments)
{
    // penWidth 5: S = 1, R = 2.5; sensitivity 0 so g = 1 and every step is 1.
    // Segment 1 (length 2.5): stamps at 0, 1, 2; 0.5 carries into segment 2 (length
    // 2.5): stamps at 0.5 and 1.5.
    Vertices out;
    const GfxSample line[] = {{0, 0, 0.3f}, {2.5f, 0, 0.3f}, {2.5f, 2.5f, 0.3f}};
    ASSERT_EQ(gfxBuildPencilStamps(pen(1, 5, 0), line, 3, out.pool), GFX_OK);
    const GfxSample centres[] = {{0, 0, 0.3f}, {1, 0, 0.3f}, {2, 0, 0.3f}, {2.5f, 0.5f, 0.3f}, {2.5f, 1.5f, 0.3f}};
    ASSERT_EQ(out.pool.count(), 20);
    for (int i = 0; i < 5; ++i) {
        GfxSample centre = cellCentre(out.pool, 4 * i);
        EXPECT_NEAR(centre.x, centres[i].x, 1e-5) << i;
        EXPECT_NEAR(centre.y, centres[i].y, 1e-5) << i;
        EXPECT_NEAR(out.pool[4 * i + 1].x - out.pool[4 * i].x, 5.0f, 1e-5) << "half-side g R = 2.5";
    }
}

TEST(PencilStamps, StepFollowsRelativeWidth)
{
    // S = 1 (penWidth 5), sensitivity 1 so g = q; a segment of length 0.95.
    struct Case {
        float pressure;
        int32_t stamps;
    } cases[] = {
        {0.05f, 10},  // g <= 0.1: step 0.1 x S → 0, 0.1, ... 0.9
        {0.1f, 10},   // g exactly 0.1 still steps 0.1 x S
        {0.2f, 5},    // 0, 0.2, 0.4, 0.6, 0.8
        {0.5f, 2},    // 0, 0.5
        {1.0f, 1},
    };
    for (const Case& c : cases) {
        Vertices out;
        const GfxSample line[] = {{0, 0, c.pressure}, {0.95f, 0, c.pressure}};
        ASSERT_EQ(gfxBuildPencilStamps(pen(1, 5, 1), line, 2, out.pool), GFX_OK);
        EXPECT_EQ(out.pool.count(), 4 * c.stamps) << "pressure " << c.pressure;
    }
}

TEST(PencilStamps, PressureIsInterpolatedAlongTheSegment)
{
    // S = 1, sensitivity 0 (steps of 1): stamps at 0, 1, 2, 3 of a 4-long segment
    // going from pressure 0 to 1.
    Vertices out;
    const GfxSample line[] = {{0, 0, 0.0f}, {4, 0, 1.0f}};
    ASSERT_EQ(gfxBuildPencilStamps(pen(1, 5, 0), line, 2, out.pool), GFX_OK);
    ASSERT_EQ(out.pool.count(), 16);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(out.pool[4 * i].s, i / 4.0f, 1e-6);
        EXPECT_NEAR(cellCentre(out.pool, 4 * i).x, static_cast<float>(i), 1e-5);
    }
}

TEST(PencilStamps, StillPenIsOneDotAtItsFirmestPressure)
{
    Vertices out;
    const GfxSample still[] = {{1, 1, 0.1f}, {1, 1, 0.7f}, {1, 1, 0.4f}};
    ASSERT_EQ(gfxBuildPencilStamps(pen(1, 4, 1), still, 3, out.pool), GFX_OK);
    ASSERT_EQ(out.pool.count(), 4);
    EXPECT_FLOAT_EQ(out.pool[0].s, 0.7f);
    EXPECT_NEAR(out.pool[0].x, 1 - 0.7f * 2, 1e-5) << "half-side g R with g = 0.7";
}

TEST(PencilStamps, ZeroLengthSegmentsAndMinimumSpacing)
{
    struct Case {
        const char* what;
        GfxCellPen pen;
        std::vector<GfxSample> line;
        int32_t stamps;
    } cases[] = {
        {"repeat inside a longer line is skipped", pen(1, 5, 0), {{0, 0, 1}, {0, 0, 1}, {2.5f, 0, 1}}, 3},
        {"same line without the repeat", pen(1, 5, 0), {{0, 0, 1}, {2.5f, 0, 1}}, 3},
        {"points all on one spot stamp one dot", pen(1, 5, 0), {{1, 1, 0.1f}, {1, 1, 0.7f}, {1, 1, 0.4f}}, 1},
        // penWidth 0.25: 0.25 x 0.2 = 0.05, raised to S = 0.1; g = 1, so steps of 0.1.
        {"spacing never below 0.1", pen(1, 0.25f, 0), {{0, 0, 1}, {0.95f, 0, 1}}, 10},
    };
    for (const Case& c : cases) {
        Vertices out;
        ASSERT_EQ(gfxBuildPencilStamps(c.pen, c.line.data(), static_cast<int32_t>(c.line.size()), out.pool), GFX_OK);
        EXPECT_EQ(out.pool.count(), 4 * c.stamps) << c.what;
    }
}

TEST(PencilStamps, EnormousLineIsThinnedToTheStampLimitAlongItsWholeLength)
{
    // A line far longer than any drawn one (as a damaged file can hold): the stamps
    // stay within the limit, cover the line from end to end and the build is quick.
    struct Case {
        const char* what;
        std::vector<GfxSample> line;
        float lastX;
    } cases[] = {
        {"one segment of 1e9 at the shortest step", {{0, 0, 0}, {1e9f, 0, 0}}, 1e9f},
        {"coordinates near the float limit", {{-1e38f, 0, 0.5f}, {1e38f, 0, 0.5f}}, 1e38f},
        {"many long segments", {{0, 0, 0}, {1e8f, 0, 0}, {1e8f, 1e8f, 0}, {0, 1e8f, 0}}, 0},
    };
    for (const Case& c : cases) {
        Vertices out;
        ASSERT_EQ(gfxBuildPencilStamps(pen(1, 1, 1), c.line.data(), static_cast<int32_t>(c.line.size()), out.pool),
                  GFX_OK)
            << c.what;
        int32_t stamps = out.pool.count() / 4;
        EXPECT_LE(stamps, GFX_PENCIL_MAX_STAMPS) << c.what;
        EXPECT_GT(stamps, GFX_PENCIL_MAX_STAMPS / 100) << c.what << ": thinned evenly, not dropped";
        GfxSample last = cellCentre(out.pool, out.pool.count() - 4);
        EXPECT_NEAR(last.x, c.lastX, std::fabs(c.lastX) * 1e-3 + 1e-3 * 1e8) << c.what << ": reaches the end";
    }
}

TEST(PencilStamps, LongLineWithinTheLimitKeepsItsSpacing)
{
    // S = 1 and g = 1: 500,000 steps of 1. Were every step the shortest (0.1 S) it
    // would need 5,000,000 stamps, but the line needs only its real count.
    Vertices out;
    const GfxSample line[] = {{0, 0, 1}, {500000, 0, 1}};
    ASSERT_EQ(gfxBuildPencilStamps(pen(1, 5, 0), line, 2, out.pool), GFX_OK);
    EXPECT_EQ(out.pool.count(), 4 * 500000);
}

// ----------------------------------------------------------------------------------
// Dispatch, failures, whole elements
// ----------------------------------------------------------------------------------
TEST(PenCells, DispatchAndDegeneratePens)
{
    const GfxSample line[] = {{0, 0, 1}, {10, 0, 1}};
    struct Case {
        const char* what;
        GfxCellPen pen;
        int32_t result, vertices;
    } cases[] = {
        {"marker", pen(0, 4, 1), GFX_OK, 12},
        {"pencil", pen(1, 5, 0), GFX_OK, 40},
        {"wide marker", pen(2, 4, 1), GFX_OK, 36},
        {"unknown pen type", pen(3, 4, 1), GFX_ERR_INVALID, 0},
        {"zero width draws nothing", pen(0, 0, 1), GFX_OK, 0},
        {"zero width scale draws nothing", pen(1, 4, 1, 0), GFX_OK, 0},
        {"NaN width draws nothing", pen(2, std::nanf(""), 1), GFX_OK, 0},
    };
    for (const Case& c : cases) {
        Vertices out;
        EXPECT_EQ(gfxBuildPenCells(c.pen, line, 2, nullptr, out.pool), c.result) << c.what;
        EXPECT_EQ(out.pool.count(), c.vertices) << c.what;
    }
    Vertices out;
    EXPECT_EQ(gfxBuildPenCells(pen(0, 4, 1), nullptr, 2, nullptr, out.pool), GFX_ERR_INVALID);
}

TEST(PenCells, MemoryFailureLeavesThePoolAsItWas)
{
    const GfxSample line[] = {{0, 0, 1}, {40, 0, 1}, {40, 40, 1}};
    for (int32_t type : {0, 1, 2}) {
        GfxPool<GfxVertex> pool;
        pool.create(testAllocator(), 8, 0);
        for (int i = 0; i < 3; ++i) pool.push({1, 2, 3, 4, 5});
        BudgetAllocator::budget = 0;
        EXPECT_EQ(gfxBuildPenCells(pen(type, 4, 1), line, 3, nullptr, pool), GFX_ERR_FAILED) << "pen " << type;
        BudgetAllocator::budget = -1;
        EXPECT_EQ(pool.count(), 3) << "pen " << type;
        EXPECT_EQ(pool[2].x, 1.0f);
    }
}

TEST(PenCells, WholeElementAppendsAfterExistingVertices)
{
    GfxPool<GfxSample> centreLine;
    centreLine.create(testAllocator(), 4, 64);
    GfxPool<GfxVertex> vertices;
    vertices.create(testAllocator(), 4, 64);
    for (int i = 0; i < 8; ++i) vertices.push({});
    const float rect[4] = {0, 0, 10, 6};
    int32_t first = -1, count = -1;
    // Rectangle outline: 5 points, 4 sides → 4 line cells + 5 corner squares.
    ASSERT_EQ(gfxBuildElementCells(GFX_ELEMENT_RECTANGLE, nullptr, 0, rect, 1.0f, pen(0, 4, 1), nullptr, centreLine,
                                   vertices, &first, &count),
              GFX_OK);
    EXPECT_EQ(first, 8);
    EXPECT_EQ(count, 36);
    EXPECT_EQ(vertices.count(), 44);
    EXPECT_NEAR(vertices[8].x, -5.0f, 1e-5) << "first line cell starts at the first corner";

    ASSERT_EQ(gfxBuildElementCells(GFX_ELEMENT_IMAGE, nullptr, 0, rect, 1.0f, pen(0, 4, 1), nullptr, centreLine, vertices,
                                   &first, &count),
              GFX_OK);
    EXPECT_EQ(first, 44);
    EXPECT_EQ(count, 0);

    // A freehand tap through the whole road: begin keeps the sample, end brings the
    // same one again; the stroke is one point, one marker square or one pencil stamp.
    const GfxSample tap = {20, 20, 0.5f};
    GfxPool<GfxSample> raw, copy, points;
    raw.create(testAllocator(), 4, 4);
    copy.create(testAllocator(), 4, 4);
    points.create(testAllocator(), 4, 4);
    raw.push(tap);
    ASSERT_EQ(gfxRebuildStroke(raw, &tap, gfxSmoothingForLevel(0), copy, points, nullptr), GFX_OK);
    ASSERT_EQ(points.count(), 1);
    for (int32_t type : {0, 1}) {
        ASSERT_EQ(gfxBuildElementCells(GFX_ELEMENT_FREEHAND, points.data(), points.count(), nullptr, 1.0f, pen(type, 4, 1),
                                       nullptr, centreLine, vertices, &first, &count),
                  GFX_OK);
        EXPECT_EQ(count, 4) << "pen " << type;
        GfxSample centre = cellCentre(vertices, first);
        EXPECT_FLOAT_EQ(centre.x, 20.0f);
        EXPECT_FLOAT_EQ(centre.y, 20.0f);
    }
}
