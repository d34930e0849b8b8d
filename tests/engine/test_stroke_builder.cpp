// Sample filter, rebuild rule, curve builder, stroke rebuild and centre lines.
//
// The curve builder is checked against referenceCurve below: the same rules written
// out again in the plainest way (vectors of doubles, exact zero tests), so a slip in
// the engine's version shows up as a difference on hand-made inputs.
#include "GfxStrokeBuilder.h"

#include "BudgetAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

// ----------------------------------------------------------------------------------
// Memory: hooks that fail once a budget of calls is spent.
// ----------------------------------------------------------------------------------
GfxAllocator testAllocator() { return BudgetAllocator::hooks(); }

struct Pools {
    GfxPool<GfxSample> raw, copy, points;
    Pools()
    {
        raw.create(testAllocator(), 4, 16);
        copy.create(testAllocator(), 4, 16);
        points.create(testAllocator(), 4, 16);
    }
};

std::vector<GfxSample> toVector(const GfxPool<GfxSample>& pool) { return {pool.data(), pool.data() + pool.count()}; }

// ----------------------------------------------------------------------------------
// The reference curve builder.
// ----------------------------------------------------------------------------------
struct Pt {
    double x, y, p;
};
Pt operator+(Pt a, Pt b) { return {a.x + b.x, a.y + b.y, a.p + b.p}; }
Pt operator-(Pt a, Pt b) { return {a.x - b.x, a.y - b.y, a.p - b.p}; }
Pt operator*(double k, Pt a) { return {k * a.x, k * a.y, k * a.p}; }
double planeLength(Pt a) { return std::sqrt(a.x * a.x + a.y * a.y); }
Pt planeUnit(Pt a) { double l = planeLength(a); return {a.x / l, a.y / l, 0}; }
double planeDot(Pt a, Pt b) { return a.x * b.x + a.y * b.y; }

double distanceToLine(Pt c, Pt p, Pt q)
{
    Pt d = q - p;
    double l = planeLength(d);
    if (l == 0) return planeLength(c - p);
    return std::fabs(d.x * (c.y - p.y) - d.y * (c.x - p.x)) / l;
}

void referenceSplit(Pt p, Pt c1, Pt c2, Pt q, double dtol, double ptol, std::vector<Pt>& out)
{
    bool smallExtent = std::fabs(q.x - p.x) <= 500 && std::fabs(q.y - p.y) <= 500;
    bool same = p.x == q.x && p.y == q.y;
    bool flat = std::fabs(q.p - p.p) < ptol && distanceToLine(c1, p, q) < dtol && distanceToLine(c2, p, q) < dtol;
    if (smallExtent && (same || flat)) {
        out.push_back(q);
        return;
    }
    Pt a = 0.5 * (p + c1), b = 0.5 * (c1 + c2), c = 0.5 * (c2 + q);
    Pt d = 0.5 * (a + b), e = 0.5 * (b + c);
    Pt m = 0.125 * (p + 3.0 * c1 + 3.0 * c2 + q);
    referenceSplit(p, a, d, m, dtol, ptol, out);
    referenceSplit(m, e, c, q, dtol, ptol, out);
}

std::vector<Pt> referenceCurve(const std::vector<Pt>& in, double dtol, double ptol, int passes, bool uniform)
{
    std::vector<Pt> out;
    if (in.empty()) return out;
    out.push_back(in[0]);
    size_t n = in.size();
    bool newRun = true;
    size_t runStart = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        Pt P = in[i], Q = in[i + 1];
        double L = planeLength(Q - P);
        Pt c1{}, c2{};
        bool corner;
        if (L == 0) {
            c1 = P;
            c2 = Q;
            corner = true;
        } else {
            Pt u = planeUnit(Q - P);
            double f = L / 3;
            corner = i + 2 >= n || (in[i + 2].x == Q.x && in[i + 2].y == Q.y) ||
                     planeDot(planeUnit(in[i + 2] - Q), u) < 0.2;
            double sixthBefore = 0;
            if (!newRun) {
                Pt t = planeUnit(Q - in[i - 1]);
                double w = f / planeDot(t, u);
                sixthBefore = (Q.p - in[i - 1].p) / 6;
                c1 = {P.x + w * t.x, P.y + w * t.y, P.p + sixthBefore};
            }
            if (corner) {
                if (newRun) {
                    c1 = P;
                    c2 = Q;
                } else {
                    c2 = {c1.x + f * u.x, c1.y + f * u.y, c1.p + sixthBefore};
                }
            } else {
                Pt s = planeUnit(in[i + 2] - P);
                double w = f / planeDot(s, u);
                double sixthAfter = (in[i + 2].p - P.p) / 6;
                c2 = {Q.x - w * s.x, Q.y - w * s.y, Q.p - sixthAfter};
                if (newRun) c1 = {c2.x - f * u.x, c2.y - f * u.y, c2.p - sixthAfter};
            }
        }
        if (uniform) {
            int steps = static_cast<int>(std::lround(L));
            steps = std::max(1, std::min(10, steps));
            for (int k = 1; k <= steps; ++k) {
                double t = double(k) / steps, s = 1 - t;
                Pt b = (s * s * s) * P + (3 * s * s * t) * c1 + (3 * s * t * t) * c2 + (t * t * t) * Q;
                b.p = P.p + (Q.p - P.p) * t;
                out.push_back(b);
            }
        } else {
            referenceSplit(P, c1, c2, Q, dtol, ptol, out);
        }
        if (corner) {
            if (!uniform && passes > 0) {
                size_t last = out.size() - 1;
                for (int pass = 0; pass < passes; ++pass)
                    for (size_t j = runStart + 1; j + 2 <= last; ++j)
                        out[j] = 0.2 * out[j - 1] + 0.6 * out[j] + 0.2 * out[j + 1];
                for (size_t j = runStart + 1; j + 2 <= last; ++j) out[j].p = std::clamp(out[j].p, 0.0, 1.0);
            }
            runStart = out.size() - 1;
            newRun = true;
        } else {
            newRun = false;
        }
    }
    if (uniform && passes > 0) {
        for (int pass = 0; pass < passes; ++pass)
            for (size_t j = 1; j + 1 < out.size(); ++j) out[j] = 0.5 * out[j - 1] + 0.5 * out[j + 1];
        for (size_t j = 1; j + 1 < out.size(); ++j) out[j].p = std::clamp(out[j].p, 0.0, 1.0);
    }
    return out;
}

std::vector<Pt> toPts(const std::vector<GfxSample>& samples)
{
    std::vector<Pt> pts;
    for (const GfxSample& s : samples) pts.push_back({s.x, s.y, s.pressure});
    return pts;
}

std::vector<GfxSample> buildCurve(const std::vector<GfxSample>& in, GfxCurveSettings settings)
{
    GfxPool<GfxSample> out;
    out.create(testAllocator(), 4, 64);
    EXPECT_EQ(gfxBuildCurve(in.data(), static_cast<int32_t>(in.size()), settings, out), GFX_OK);
    return toVector(out);
}

void expectCurvesMatch(const std::vector<GfxSample>& actual, const std::vector<Pt>& expected, double tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].x, expected[i].x, tolerance) << "point " << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, tolerance) << "point " << i;
        EXPECT_NEAR(actual[i].pressure, expected[i].p, tolerance) << "point " << i;
    }
}

// ----------------------------------------------------------------------------------
// Hand-made inputs.
// ----------------------------------------------------------------------------------
std::vector<GfxSample> arcWithPressure()
{
    std::vector<GfxSample> points;
    for (int i = 0; i <= 12; ++i) {
        double angle = i * 0.2;
        points.push_back({static_cast<float>(200 + 80 * std::cos(angle)), static_cast<float>(150 + 80 * std::sin(angle)),
                          static_cast<float>(0.2 + 0.05 * i)});
    }
    return points;
}

std::vector<GfxSample> zigzagWithCorners()
{
    // Smooth wiggle, a hairpin at (60, 0), a right angle at (60, 40), pressure dips.
    return {{0, 0, 0.3f},   {10, 3, 0.5f},  {20, 5, 0.9f},  {30, 4, 1.0f},  {45, 2, 0.7f}, {60, 0, 0.2f},
            {30, 1, 0.4f},  {31, 8, 0.5f},  {33, 20, 0.6f}, {60, 40, 0.8f}, {90, 40, 0.1f}, {120, 42, 0.0f}};
}

std::vector<GfxSample> withZeroLengthSegments()
{
    return {{5, 5, 0.5f}, {5, 5, 0.5f}, {15, 8, 0.6f}, {25, 14, 0.7f}, {25, 14, 0.9f}, {35, 22, 0.4f}, {45, 28, 0.4f}};
}

std::vector<GfxSample> longSweep()
{
    // Far-apart samples: the 500-pixel extent rule has to cut these segments.
    return {{0, 0, 0.5f}, {700, 100, 0.6f}, {1400, 600, 0.7f}, {1600, 1500, 0.8f}};
}

}  // namespace

// ----------------------------------------------------------------------------------
// Smoothing levels
// ----------------------------------------------------------------------------------
TEST(StrokeSmoothing, LevelsMapToPassesAndSampler)
{
    struct Case {
        int32_t level, passes;
        bool uniform;
    } cases[] = {{0, 4, false}, {1, 8, false}, {2, 16, false}, {3, 24, false},
                 {4, 16, true}, {5, 4, false}, {-1, 4, false}, {100, 4, false}};
    for (const Case& c : cases) {
        GfxSmoothing smoothing = gfxSmoothingForLevel(c.level);
        EXPECT_EQ(smoothing.passes, c.passes) << "level " << c.level;
        EXPECT_EQ(smoothing.uniform, c.uniform) << "level " << c.level;
    }
}

// ----------------------------------------------------------------------------------
// Sample filter and rebuild rule
// ----------------------------------------------------------------------------------
TEST(StrokeSampleFilter, KeepsOnlyRealMovesOrPressureChanges)
{
    struct Case {
        const char* what;
        GfxSample last, sample;
        bool kept;
    } cases[] = {
        {"sub-pixel move, same pressure", {10, 10, 0.5f}, {10.5f, 10.5f, 0.5f}, false},
        {"just under one pixel", {10, 10, 0.5f}, {10.7f, 10.7f, 0.5f}, false},
        {"exactly one pixel is not more than one", {10, 10, 0.5f}, {11, 10, 0.5f}, false},
        {"just over one pixel", {10, 10, 0.5f}, {11.01f, 10, 0.5f}, true},
        {"diagonal over one pixel", {10, 10, 0.5f}, {10.8f, 10.8f, 0.5f}, true},
        {"still pen, pressure 0.1 to 0.4", {10, 10, 0.1f}, {10, 10, 0.4f}, true},
        {"still pen, pressure falls by 0.3", {10, 10, 0.7f}, {10, 10, 0.4f}, true},
        {"still pen, pressure up by 0.15", {10, 10, 0.1f}, {10, 10, 0.25f}, false},
        {"small move and small pressure change", {10, 10, 0.3f}, {10.5f, 10, 0.45f}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(gfxStrokeSampleKept(c.last, c.sample), c.kept) << c.what;
}

TEST(StrokeSampleFilter, ComparesWithTheLastKeptSampleAndCountsKept)
{
    Pools pools;
    pools.raw.push({0, 0, 0.5f});
    // 0.6 px steps: each is dropped against its predecessor, but the second is 1.2 px
    // from the last kept one; the NaN sample is never kept.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    GfxSample samples[] = {{0.6f, 0, 0.5f}, {1.2f, 0, 0.5f}, {nan, 0, 0.5f}, {1.8f, 0, 0.5f}, {2.4f, 0, 0.5f}};
    int32_t kept = -1;
    ASSERT_EQ(gfxStrokeFilterSamples(pools.raw, samples, 5, &kept), GFX_OK);
    EXPECT_EQ(kept, 2);
    ASSERT_EQ(pools.raw.count(), 3);
    EXPECT_FLOAT_EQ(pools.raw[1].x, 1.2f);
    EXPECT_FLOAT_EQ(pools.raw[2].x, 2.4f);
}

TEST(StrokeSampleFilter, RefusesBadArgumentsAndReportsMemoryFailure)
{
    Pools pools;
    pools.raw.push({0, 0, 0.5f});
    int32_t kept = -1;
    EXPECT_EQ(gfxStrokeFilterSamples(pools.raw, nullptr, 2, &kept), GFX_ERR_INVALID);
    GfxSample one = {5, 5, 0.5f};
    EXPECT_EQ(gfxStrokeFilterSamples(pools.raw, &one, -1, &kept), GFX_ERR_INVALID);

    // Fill the pool to capacity, then forbid growth: the samples kept so far stay.
    while (pools.raw.count() < pools.raw.capacity()) pools.raw.push({-100.0f * pools.raw.count(), 0, 0});
    int32_t before = pools.raw.count();
    GfxSample far[] = {{500, 500, 0.5f}, {600, 600, 0.5f}};
    BudgetAllocator::budget = 0;
    EXPECT_EQ(gfxStrokeFilterSamples(pools.raw, far, 2, &kept), GFX_ERR_FAILED);
    BudgetAllocator::budget = -1;
    EXPECT_EQ(kept, 0);
    EXPECT_EQ(pools.raw.count(), before);
}

TEST(StrokeRebuildRule, RebuildsOnEverySecondKeptSample)
{
    struct Case {
        int32_t kept, poolBefore;
        bool rebuild;
    } cases[] = {{0, 1, false}, {1, 1, true},  {1, 2, false}, {2, 2, true}, {0, 3, false},
                 {1, 3, true},  {3, 4, true}, {0, 0, false}, {1, 0, false}, {2, 0, true}};
    for (const Case& c : cases)
        EXPECT_EQ(gfxStrokeShouldRebuild(c.kept, c.poolBefore), c.rebuild) << c.kept << " kept, " << c.poolBefore << " before";
}

// ----------------------------------------------------------------------------------
// Curve builder: hand-computed shapes
// ----------------------------------------------------------------------------------
TEST(CurveBuilder, HandComputedShapes)
{
    struct Case {
        const char* what;
        std::vector<GfxSample> in;
        GfxCurveSettings settings;
        std::vector<GfxSample> expected;
    };
    GfxCurveSettings smoothed;  // 0.25 / 1.0, 4 passes
    GfxCurveSettings unsmoothed;
    unsmoothed.smoothingPasses = 0;
    const Case cases[] = {
        {"one point stays one point", {{3, 4, 0.5f}}, smoothed, {{3, 4, 0.5f}}},
        {"collinear evenly spaced points come back unchanged",
         {{0, 0, 0.5f}, {10, 0, 0.5f}, {20, 0, 0.5f}, {30, 0, 0.5f}},
         smoothed,
         {{0, 0, 0.5f}, {10, 0, 0.5f}, {20, 0, 0.5f}, {30, 0, 0.5f}}},
        {"zero-length segment is a straight piece and a corner",
         {{0, 0, 0.5f}, {0, 0, 0.5f}, {5, 5, 0.5f}},
         smoothed,
         {{0, 0, 0.5f}, {0, 0, 0.5f}, {5, 5, 0.5f}}},
        // Straight piece P = C1, C2 = Q: halves split at 600, then at (0 + 0 + 900 + 600) / 8
        // and (600 + 2700 + 3600 + 1200) / 8; every piece is then at most 500 wide.
        {"a 1200-pixel segment is cut to pieces of at most 500",
         {{0, 0, 0.5f}, {1200, 0, 0.5f}},
         unsmoothed,
         {{0, 0, 0.5f}, {187.5f, 0, 0.5f}, {600, 0, 0.5f}, {1012.5f, 0, 0.5f}, {1200, 0, 0.5f}}},
        {"right angle: two straight pieces meeting at the corner",
         {{0, 0, 0.5f}, {100, 0, 0.5f}, {100, 100, 0.5f}},
         smoothed,
         {{0, 0, 0.5f}, {100, 0, 0.5f}, {100, 100, 0.5f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<GfxSample> actual = buildCurve(c.in, c.settings);
        ASSERT_EQ(actual.size(), c.expected.size());
        for (size_t i = 0; i < actual.size(); ++i) {
            EXPECT_NEAR(actual[i].x, c.expected[i].x, 1e-4) << "point " << i;
            EXPECT_NEAR(actual[i].y, c.expected[i].y, 1e-4) << "point " << i;
            EXPECT_NEAR(actual[i].pressure, c.expected[i].pressure, 1e-6) << "point " << i;
        }
    }
}

TEST(CurveBuilder, UniformSamplerConvergesToEvenSpacing)
{
    // Chord 3 gives 3 samples at t = 1/3, 2/3, 1; 16 sweeps of (prev + next) / 2
    // pull the two interior points to thirds of the chord, pressure to thirds too.
    GfxCurveSettings uniform;
    uniform.smoothingPasses = 16;
    uniform.uniform = true;
    std::vector<GfxSample> actual = buildCurve({{0, 0, 0.0f}, {3, 0, 1.0f}}, uniform);
    ASSERT_EQ(actual.size(), 4u);
    const double expectedX[] = {0, 1, 2, 3};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(actual[i].x, expectedX[i], 1e-6);
        EXPECT_NEAR(actual[i].pressure, i / 3.0, 1e-6);
    }
    // Without sweeps the points sit on the cubic 3 t^2 - 2 t^3 (a straight first piece).
    uniform.smoothingPasses = 0;
    actual = buildCurve({{0, 0, 0.0f}, {3, 0, 1.0f}}, uniform);
    ASSERT_EQ(actual.size(), 4u);
    EXPECT_NEAR(actual[1].x, 3 * 7.0 / 27, 1e-5);
    EXPECT_NEAR(actual[2].x, 3 * 20.0 / 27, 1e-5);
    EXPECT_NEAR(actual[1].pressure, 1.0 / 3, 1e-6);
}

TEST(CurveBuilder, UniformStepsFollowTheChordLength)
{
    GfxCurveSettings uniform;
    uniform.smoothingPasses = 0;
    uniform.uniform = true;
    struct Case {
        float chord;
        size_t points;
    } cases[] = {{0.3f, 2}, {1.4f, 2}, {1.6f, 3}, {6.0f, 7}, {9.6f, 11}, {10.0f, 11}, {250.0f, 11}};
    for (const Case& c : cases)
        EXPECT_EQ(buildCurve({{0, 0, 0.5f}, {c.chord, 0, 0.5f}}, uniform).size(), c.points) << "chord " << c.chord;
}

TEST(CurveBuilder, SharpTurnStaysSharp)
{
    // A smooth approach, then a turn by more than 78 degrees at (100, 0).
    std::vector<GfxSample> in = {{0, 20, 0.5f}, {40, 12, 0.5f}, {70, 5, 0.5f}, {100, 0, 0.5f}, {80, 30, 0.5f}, {60, 70, 0.5f}};
    for (int32_t level = 0; level <= 3; ++level) {
        GfxCurveSettings settings;
        settings.smoothingPasses = gfxSmoothingForLevel(level).passes;
        std::vector<GfxSample> out = buildCurve(in, settings);
        auto corner = std::find_if(out.begin(), out.end(), [](const GfxSample& s) { return s.x == 100 && s.y == 0; });
        ASSERT_NE(corner, out.end()) << "the corner point is kept exactly, level " << level;
        for (auto it = out.begin(); it != corner; ++it) EXPECT_LE(it->x, 100.0f) << "nothing overshoots the corner";
        for (auto it = corner + 1; it != out.end(); ++it) {
            EXPECT_LT(it->x, 100.0f);
            EXPECT_GT(it->y, 0.0f) << "the way out leaves the corner, it does not round it";
        }
    }
}

TEST(CurveBuilder, CornerIsADirectionChangeWithDotBelowPointTwo)
{
    // From (0,0) to (100,0), then on in a direction whose cosine with +x is `dot`.
    struct Case {
        double dot;
        bool corner;
    } cases[] = {{0.15, true}, {0.19, true}, {0.21, false}, {0.3, false}, {-0.5, true}};
    for (const Case& c : cases) {
        double sine = std::sqrt(1 - c.dot * c.dot);
        std::vector<GfxSample> in = {{0, 0, 0.5f}, {100, 0, 0.5f},
                                     {static_cast<float>(100 + 60 * c.dot), static_cast<float>(60 * sine), 0.5f}};
        GfxCurveSettings settings;
        settings.smoothingPasses = 0;
        std::vector<GfxSample> out = buildCurve(in, settings);
        auto corner = std::find_if(out.begin(), out.end(), [](const GfxSample& s) { return s.x == 100 && s.y == 0; });
        ASSERT_NE(corner, out.end());
        // A corner ends a straight first piece: nothing before it leaves the x axis.
        bool straightApproach = std::all_of(out.begin(), corner, [](const GfxSample& s) { return s.y == 0; });
        EXPECT_EQ(straightApproach, c.corner) << "dot " << c.dot;
        EXPECT_EQ(corner - out.begin() == 1, c.corner) << "dot " << c.dot;
    }
}

TEST(CurveBuilder, SkipsUnusablePoints)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    GfxCurveSettings settings;
    std::vector<GfxSample> clean = {{0, 0, 0.5f}, {10, 4, 0.6f}, {20, 5, 0.7f}};
    std::vector<GfxSample> dirty = {{nan, 0, 0.5f}, {0, 0, 0.5f}, {10, 4, 0.6f}, {5, inf, 0.5f},
                                    {3e7f, 0, 0.5f}, {20, 5, 0.7f}, {20, 5, nan}};
    std::vector<GfxSample> expected = buildCurve(clean, settings);
    std::vector<GfxSample> actual = buildCurve(dirty, settings);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].x, expected[i].x);
        EXPECT_EQ(actual[i].y, expected[i].y);
        EXPECT_EQ(actual[i].pressure, expected[i].pressure);
    }
    EXPECT_TRUE(buildCurve({{nan, nan, nan}}, settings).empty());
}

TEST(CurveBuilder, ReportsMemoryFailureAndBadArguments)
{
    GfxPool<GfxSample> out;
    out.create(testAllocator(), 2, 2);
    std::vector<GfxSample> in = arcWithPressure();
    BudgetAllocator::budget = 0;
    EXPECT_EQ(gfxBuildCurve(in.data(), static_cast<int32_t>(in.size()), GfxCurveSettings{}, out), GFX_ERR_FAILED);
    BudgetAllocator::budget = -1;
    EXPECT_EQ(gfxBuildCurve(nullptr, 3, GfxCurveSettings{}, out), GFX_ERR_INVALID);
    GfxCurveSettings negative;
    negative.smoothingPasses = -1;
    EXPECT_EQ(gfxBuildCurve(in.data(), 3, negative, out), GFX_ERR_INVALID);
}

// ----------------------------------------------------------------------------------
// Curve builder against the reference, every smoothing level
// ----------------------------------------------------------------------------------
TEST(CurveBuilder, MatchesReferenceAtEverySmoothingLevel)
{
    struct Input {
        const char* what;
        std::vector<GfxSample> points;
    };
    const Input inputs[] = {{"arc with rising pressure", arcWithPressure()},
                            {"zigzag with corners", zigzagWithCorners()},
                            {"zero-length segments", withZeroLengthSegments()},
                            {"long sweep", longSweep()}};
    for (const Input& input : inputs) {
        for (int32_t level = 0; level <= 4; ++level) {
            SCOPED_TRACE(std::string(input.what) + ", level " + std::to_string(level));
            GfxSmoothing smoothing = gfxSmoothingForLevel(level);
            GfxCurveSettings settings;
            settings.smoothingPasses = smoothing.passes;
            settings.uniform = smoothing.uniform;
            std::vector<GfxSample> actual = buildCurve(input.points, settings);
            expectCurvesMatch(actual, referenceCurve(toPts(input.points), 0.25, 1.0, smoothing.passes, smoothing.uniform),
                              2e-3);
        }
    }
}

TEST(CurveBuilder, MatchesReferenceWithTightTolerances)
{
    // The centre-line fit: no smoothing, pressure tolerance 0.1, distance tolerance
    // down to its floor, so pressure changes and curvature both drive the splits.
    for (double tolerance : {0.25, 0.05, 0.0002}) {
        SCOPED_TRACE("tolerance " + std::to_string(tolerance));
        GfxCurveSettings settings;
        settings.distanceTolerance = tolerance;
        settings.pressureTolerance = 0.1;
        settings.smoothingPasses = 0;
        std::vector<GfxSample> in = zigzagWithCorners();
        std::vector<GfxSample> actual = buildCurve(in, settings);
        expectCurvesMatch(actual, referenceCurve(toPts(in), tolerance, 0.1, 0, false), 1e-3);
    }
}

TEST(CurveBuilder, SmoothingKeepsPressuresInRange)
{
    // A tight arc whose pressure rises to 1 and stays there: the control points' sixths
    // overshoot 1, so the split points do too until smoothing clamps them.
    std::vector<GfxSample> in;
    const float pressures[] = {0.4f, 0.7f, 1.0f, 1.0f, 1.0f, 0.7f, 0.4f};
    for (int i = 0; i < 7; ++i)
        in.push_back({static_cast<float>(100 + 30 * std::cos(i * 0.45)), static_cast<float>(100 + 30 * std::sin(i * 0.45)),
                      pressures[i]});
    GfxCurveSettings unsmoothed;
    unsmoothed.smoothingPasses = 0;  // no smoothing, no clamping
    std::vector<GfxSample> raw = buildCurve(in, unsmoothed);
    ASSERT_TRUE(std::any_of(raw.begin(), raw.end(), [](const GfxSample& s) { return s.pressure > 1.0f; }))
        << "the input must overshoot for this test to mean anything";
    for (int32_t level = 0; level <= 3; ++level) {
        GfxCurveSettings settings;
        settings.smoothingPasses = gfxSmoothingForLevel(level).passes;
        for (const GfxSample& s : buildCurve(in, settings)) {
            EXPECT_GE(s.pressure, 0.0f) << "level " << level;
            EXPECT_LE(s.pressure, 1.0f) << "level " << level;
        }
    }
}

// ----------------------------------------------------------------------------------
// Stroke rebuild
// ----------------------------------------------------------------------------------
TEST(StrokeRebuild, TapIsOnePoint)
{
    Pools pools;
    GfxSample tap = {40, 50, 0.6f};
    pools.raw.push(tap);
    GfxStrokeBounds bounds = {-1, -1, -1, -1};
    ASSERT_EQ(gfxRebuildStroke(pools.raw, &tap, gfxSmoothingForLevel(0), pools.copy, pools.points, &bounds), GFX_OK);
    ASSERT_EQ(pools.points.count(), 1);
    EXPECT_EQ(pools.points[0].x, 40.0f);
    EXPECT_EQ(pools.points[0].y, 50.0f);
    EXPECT_EQ(pools.points[0].pressure, 0.6f);
    EXPECT_EQ(bounds.x, 40.0f);
    EXPECT_EQ(bounds.y, 50.0f);
    EXPECT_EQ(bounds.width, 0.0f);
    EXPECT_EQ(bounds.height, 0.0f);
}

TEST(StrokeRebuild, FinalSampleIsAddedUnfilteredAndRawPoolIsKept)
{
    Pools pools;
    std::vector<GfxSample> kept = zigzagWithCorners();
    for (const GfxSample& s : kept) pools.raw.push(s);
    GfxSample final = {120.3f, 42.1f, 0.0f};  // 0.3 px from the last kept: the filter would drop it
    GfxStrokeBounds bounds;
    ASSERT_EQ(gfxRebuildStroke(pools.raw, &final, gfxSmoothingForLevel(2), pools.copy, pools.points, &bounds), GFX_OK);
    EXPECT_EQ(pools.raw.count(), static_cast<int32_t>(kept.size()));
    EXPECT_EQ(pools.points.back().x, final.x);
    EXPECT_EQ(pools.points.back().y, final.y);

    std::vector<GfxSample> withFinal = kept;
    withFinal.push_back(final);
    GfxCurveSettings settings;
    settings.smoothingPasses = 16;
    std::vector<GfxSample> expected = buildCurve(withFinal, settings);
    std::vector<GfxSample> actual = toVector(pools.points);
    ASSERT_EQ(actual.size(), expected.size());
    float minX = expected[0].x, maxX = minX, minY = expected[0].y, maxY = minY;
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].x, expected[i].x);
        EXPECT_EQ(actual[i].y, expected[i].y);
        minX = std::min(minX, expected[i].x);
        maxX = std::max(maxX, expected[i].x);
        minY = std::min(minY, expected[i].y);
        maxY = std::max(maxY, expected[i].y);
    }
    EXPECT_EQ(bounds.x, minX);
    EXPECT_EQ(bounds.y, minY);
    EXPECT_EQ(bounds.width, maxX - minX);
    EXPECT_EQ(bounds.height, maxY - minY);

    // Without a final sample the rebuild is the curve of the raw pool alone.
    ASSERT_EQ(gfxRebuildStroke(pools.raw, nullptr, gfxSmoothingForLevel(2), pools.copy, pools.points, nullptr), GFX_OK);
    EXPECT_EQ(pools.points.back().x, kept.back().x);
}

// ----------------------------------------------------------------------------------
// Centre lines
// ----------------------------------------------------------------------------------
TEST(CentreLine, RectangleIsTheClosedOutline)
{
    GfxPool<GfxSample> out;
    out.create(testAllocator(), 4, 16);
    const float rect[4] = {10, 20, 8, 4};
    ASSERT_EQ(gfxBuildCentreLine(GFX_ELEMENT_RECTANGLE, nullptr, 0, rect, 1.0f, out), GFX_OK);
    const GfxSample expected[5] = {{6, 18, 1}, {14, 18, 1}, {14, 22, 1}, {6, 22, 1}, {6, 18, 1}};
    ASSERT_EQ(out.count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(out[i].x, expected[i].x) << i;
        EXPECT_EQ(out[i].y, expected[i].y) << i;
        EXPECT_EQ(out[i].pressure, 1.0f) << i;
    }
}

TEST(CentreLine, EllipseIs120StepsAndTheFirstAgain)
{
    GfxPool<GfxSample> out;
    out.create(testAllocator(), 4, 16);
    const float rect[4] = {100, 50, 60, 20};
    ASSERT_EQ(gfxBuildCentreLine(GFX_ELEMENT_ELLIPSE, nullptr, 0, rect, 1.0f, out), GFX_OK);
    ASSERT_EQ(out.count(), 121);
    struct Quarter {
        int index;
        float x, y;
    } quarters[] = {{0, 130, 50}, {30, 100, 60}, {60, 70, 50}, {90, 100, 40}, {120, 130, 50}};
    for (const Quarter& q : quarters) {
        EXPECT_NEAR(out[q.index].x, q.x, 1e-4) << q.index;
        EXPECT_NEAR(out[q.index].y, q.y, 1e-4) << q.index;
    }
    EXPECT_EQ(out[120].x, out[0].x);
    EXPECT_EQ(out[120].y, out[0].y);
    for (int i = 0; i < 121; ++i) {
        double a = i * 3.0 * 3.14159265358979323846 / 180.0;
        EXPECT_NEAR(out[i].x, 100 + std::cos(a) * 30, 1e-4) << i;
        EXPECT_NEAR(out[i].y, 50 + std::sin(a) * 10, 1e-4) << i;
        EXPECT_EQ(out[i].pressure, 1.0f);
    }
}

TEST(CentreLine, StoredShapesPassThrough)
{
    GfxPool<GfxSample> out;
    out.create(testAllocator(), 4, 16);
    const GfxSample stored[] = {{1, 2, 0.1f}, {3, 4, 0.2f}, {5, 6, 0.3f}, {1, 2, 0.1f}};
    struct Case {
        int32_t kind;
        int32_t count, expectedCount;
    } cases[] = {{GFX_ELEMENT_LINE, 2, 2}, {GFX_ELEMENT_MULTI_LINE, 3, 3}, {GFX_ELEMENT_POLYGON, 4, 4}};
    for (const Case& c : cases) {
        ASSERT_EQ(gfxBuildCentreLine(c.kind, stored, c.count, nullptr, 1.0f, out), GFX_OK) << c.kind;
        ASSERT_EQ(out.count(), c.expectedCount);
        for (int i = 0; i < c.expectedCount; ++i) {
            EXPECT_EQ(out[i].x, stored[i].x);
            EXPECT_EQ(out[i].pressure, stored[i].pressure);
        }
    }
    EXPECT_EQ(gfxBuildCentreLine(GFX_ELEMENT_IMAGE, nullptr, 0, nullptr, 1.0f, out), GFX_OK);
    EXPECT_EQ(out.count(), 0);
    EXPECT_EQ(gfxBuildCentreLine(GFX_ELEMENT_LINE, stored, 1, nullptr, 1.0f, out), GFX_ERR_INVALID);
    EXPECT_EQ(gfxBuildCentreLine(GFX_ELEMENT_RECTANGLE, nullptr, 0, nullptr, 1.0f, out), GFX_ERR_INVALID);
    EXPECT_EQ(gfxBuildCentreLine(7, stored, 2, nullptr, 1.0f, out), GFX_ERR_INVALID);
    EXPECT_EQ(gfxBuildCentreLine(-1, stored, 2, nullptr, 1.0f, out), GFX_ERR_INVALID);
}

TEST(CentreLine, FreehandIsRefittedWithScaledToleranceAndNoSmoothing)
{
    GfxPool<GfxSample> out;
    out.create(testAllocator(), 4, 16);
    std::vector<GfxSample> stored = arcWithPressure();
    struct Case {
        float buildScale;
        double tolerance;
    } cases[] = {{1.0f, 0.25}, {10.0f, 0.025}, {1e6f, 0.0002}, {0.0f, 0.25}, {-3.0f, 0.25}};
    size_t previousCount = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("build scale " + std::to_string(c.buildScale));
        ASSERT_EQ(gfxBuildCentreLine(GFX_ELEMENT_FREEHAND, stored.data(), static_cast<int32_t>(stored.size()), nullptr,
                                     c.buildScale, out),
                  GFX_OK);
        std::vector<GfxSample> actual = toVector(out);
        expectCurvesMatch(actual, referenceCurve(toPts(stored), c.tolerance, 0.1, 0, false), 1e-3);
        if (c.buildScale >= 1.0f) {
            EXPECT_GT(actual.size(), previousCount) << "a finer scale gives a finer line";
            previousCount = actual.size();
        }
    }
}
