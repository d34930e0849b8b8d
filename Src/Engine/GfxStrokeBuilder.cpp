// GfxStrokeBuilder — sample filter, curve builder, stroke rebuild and centre lines.
//
// [SECTION] Small helpers
// [SECTION] Sample filter and rebuild rule
// [SECTION] Control points
// [SECTION] Subdivision, uniform sampling, smoothing
// [SECTION] Curve builder
// [SECTION] Stroke rebuild
// [SECTION] Centre lines
#include "GfxStrokeBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// ----------------------------------------------------------------------------------
// [SECTION] Small helpers
// ----------------------------------------------------------------------------------
constexpr double PI = 3.14159265358979323846;

struct CurvePoint {
    double x = 0;
    double y = 0;
    double p = 0;
};

CurvePoint toCurvePoint(const GfxSample& sample) { return {sample.x, sample.y, sample.pressure}; }

GfxSample toSample(const CurvePoint& point)
{
    return {static_cast<float>(point.x), static_cast<float>(point.y), static_cast<float>(point.p)};
}

// Float bit patterns mapped so that integer order is numeric order (-0 and +0 meet).
int64_t orderedBits(float value)
{
    int32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits < 0 ? static_cast<int64_t>(INT32_MIN) - bits : bits;
}

// The stored points are floats, so "units in the last place" are float ones.
bool withinUlps(double a, double b)
{
    float fa = static_cast<float>(a);
    float fb = static_cast<float>(b);
    if (fa == fb) return true;
    if (!std::isfinite(fa) || !std::isfinite(fb)) return false;
    int64_t distance = orderedBits(fa) - orderedBits(fb);
    return (distance < 0 ? -distance : distance) <= GFX_CURVE_ZERO_ULPS;
}

bool coincide(const CurvePoint& a, const CurvePoint& b) { return withinUlps(a.x, b.x) && withinUlps(a.y, b.y); }

double lengthOf(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

CurvePoint midpoint(const CurvePoint& a, const CurvePoint& b)
{
    return {(a.x + b.x) * 0.5, (a.y + b.y) * 0.5, (a.p + b.p) * 0.5};
}

// Appends to the output pool and remembers a failure, so deep recursion can stop.
class CurveWriter {
public:
    explicit CurveWriter(GfxPool<GfxSample>& out) : out_(out) {}
    void emit(const CurvePoint& point)
    {
        if (!failed_ && !out_.push(toSample(point))) failed_ = true;
    }
    bool failed() const { return failed_; }
    GfxPool<GfxSample>& pool() { return out_; }

private:
    GfxPool<GfxSample>& out_;
    bool failed_ = false;
};

// ----------------------------------------------------------------------------------
// [SECTION] Control points
// ----------------------------------------------------------------------------------
struct Segment {
    CurvePoint start;
    CurvePoint control1;
    CurvePoint control2;
    CurvePoint end;
    double chord = 0;
    bool endIsCorner = false;
};

// Segment from `a` (Pi) to `b` (Pi+1). `before` (Pi-1) is given only when the segment
// continues a run; `after` (Pi+2) only when there is one.
Segment controlPoints(const CurvePoint* before, const CurvePoint& a, const CurvePoint& b, const CurvePoint* after)
{
    Segment segment;
    segment.start = a;
    segment.end = b;
    double dx = b.x - a.x;
    double dy = b.y - a.y;
    double length = lengthOf(dx, dy);
    segment.chord = length;
    if (withinUlps(length, 0.0)) {
        segment.control1 = a;
        segment.control2 = b;
        segment.endIsCorner = true;
        return segment;
    }
    double ux = dx / length;
    double uy = dy / length;
    double third = length / 3.0;

    bool corner = after == nullptr || coincide(*after, b);
    if (!corner) {
        double nextLength = lengthOf(after->x - b.x, after->y - b.y);
        corner = withinUlps(nextLength, 0.0) ||
                 ((after->x - b.x) / nextLength) * ux + ((after->y - b.y) / nextLength) * uy < GFX_CURVE_CORNER_DOT;
    }
    segment.endIsCorner = corner;

    double startSixth = 0;
    if (before) {
        // Tangent at Pi along Pi+1 - Pi-1. A continued run guarantees it is not
        // zero and meets u at a dot product of at least 0.2.
        double tx = b.x - before->x;
        double ty = b.y - before->y;
        double tangentLength = lengthOf(tx, ty);
        tx /= tangentLength;
        ty /= tangentLength;
        double w = third / (tx * ux + ty * uy);
        startSixth = (b.p - before->p) / 6.0;
        segment.control1 = {a.x + w * tx, a.y + w * ty, a.p + startSixth};
    }

    if (corner) {
        if (before) {
            const CurvePoint& c1 = segment.control1;
            segment.control2 = {c1.x + third * ux, c1.y + third * uy, c1.p + startSixth};
        } else {
            segment.control1 = a;
            segment.control2 = b;
        }
        return segment;
    }

    // Tangent at Pi+1 along Pi+2 - Pi.
    double sx = after->x - a.x;
    double sy = after->y - a.y;
    double tangentLength = lengthOf(sx, sy);
    sx /= tangentLength;
    sy /= tangentLength;
    double w = third / (sx * ux + sy * uy);
    double endSixth = (after->p - a.p) / 6.0;
    segment.control2 = {b.x - w * sx, b.y - w * sy, b.p - endSixth};
    if (!before) {
        const CurvePoint& c2 = segment.control2;
        segment.control1 = {c2.x - third * ux, c2.y - third * uy, c2.p - endSixth};
    }
    return segment;
}

// ----------------------------------------------------------------------------------
// [SECTION] Subdivision, uniform sampling, smoothing
// ----------------------------------------------------------------------------------
double distanceFromLine(const CurvePoint& point, const CurvePoint& lineStart, const CurvePoint& lineEnd)
{
    double dx = lineEnd.x - lineStart.x;
    double dy = lineEnd.y - lineStart.y;
    double length = lengthOf(dx, dy);
    double px = point.x - lineStart.x;
    double py = point.y - lineStart.y;
    if (length == 0) return lengthOf(px, py);
    return std::fabs(dx * py - dy * px) / length;
}

bool flatEnough(const CurvePoint& p, const CurvePoint& c1, const CurvePoint& c2, const CurvePoint& q,
                const GfxCurveSettings& settings)
{
    if (std::fabs(q.x - p.x) > GFX_CURVE_MAX_EXTENT || std::fabs(q.y - p.y) > GFX_CURVE_MAX_EXTENT) return false;
    if (coincide(p, q)) return true;
    return std::fabs(q.p - p.p) < settings.pressureTolerance &&
           distanceFromLine(c1, p, q) < settings.distanceTolerance &&
           distanceFromLine(c2, p, q) < settings.distanceTolerance;
}

// Emits the end point of every flat-enough piece, splitting at t = 0.5 otherwise.
void subdivide(const CurvePoint& p, const CurvePoint& c1, const CurvePoint& c2, const CurvePoint& q,
               const GfxCurveSettings& settings, int32_t depth, CurveWriter& writer)
{
    if (writer.failed()) return;
    if (depth >= GFX_CURVE_MAX_DEPTH || flatEnough(p, c1, c2, q, settings)) {
        writer.emit(q);
        return;
    }
    CurvePoint pc1 = midpoint(p, c1);
    CurvePoint c1c2 = midpoint(c1, c2);
    CurvePoint c2q = midpoint(c2, q);
    CurvePoint left2 = midpoint(pc1, c1c2);
    CurvePoint right1 = midpoint(c1c2, c2q);
    CurvePoint split = midpoint(left2, right1);  // (P + 3 C1 + 3 C2 + Q) / 8
    subdivide(p, pc1, left2, split, settings, depth + 1, writer);
    subdivide(split, right1, c2q, q, settings, depth + 1, writer);
}

// n = chord rounded, 1..10 points at t = i / n; pressure linear between the ends.
void sampleUniformly(const Segment& segment, CurveWriter& writer)
{
    long rounded = std::lround(std::min(segment.chord, static_cast<double>(GFX_CURVE_UNIFORM_MAX_STEPS)));
    int32_t steps = static_cast<int32_t>(std::clamp<long>(rounded, 1, GFX_CURVE_UNIFORM_MAX_STEPS));
    const CurvePoint& p = segment.start;
    const CurvePoint& c1 = segment.control1;
    const CurvePoint& c2 = segment.control2;
    const CurvePoint& q = segment.end;
    for (int32_t i = 1; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        double mt = 1.0 - t;
        double b0 = mt * mt * mt;
        double b1 = 3.0 * mt * mt * t;
        double b2 = 3.0 * mt * t * t;
        double b3 = t * t * t;
        writer.emit({b0 * p.x + b1 * c1.x + b2 * c2.x + b3 * q.x, b0 * p.y + b1 * c1.y + b2 * c2.y + b3 * q.y,
                     p.p + (q.p - p.p) * t});
    }
}

GfxSample weighted(const GfxSample& previous, double previousWeight, const GfxSample& self, double selfWeight,
                   const GfxSample& next, double nextWeight)
{
    return {static_cast<float>(previousWeight * previous.x + selfWeight * self.x + nextWeight * next.x),
            static_cast<float>(previousWeight * previous.y + selfWeight * self.y + nextWeight * next.y),
            static_cast<float>(previousWeight * previous.pressure + selfWeight * self.pressure +
                               nextWeight * next.pressure)};
}

// In-place sweeps over out[first..last] (each reads its already updated predecessor),
// then the pressures of that range clamped to [0, 1].
void smoothRange(GfxPool<GfxSample>& out, int32_t first, int32_t last, int32_t passes, double previousWeight,
                 double selfWeight, double nextWeight)
{
    if (first > last) return;
    for (int32_t pass = 0; pass < passes; ++pass)
        for (int32_t i = first; i <= last; ++i)
            out[i] = weighted(out[i - 1], previousWeight, out[i], selfWeight, out[i + 1], nextWeight);
    for (int32_t i = first; i <= last; ++i) out[i].pressure = std::clamp(out[i].pressure, 0.0f, 1.0f);
}

// Step 4: the run is out[runStart] (S0) .. out[last] (Sm); S1 .. Sm-2 are smoothed.
void smoothRun(GfxPool<GfxSample>& out, int32_t runStart, int32_t passes)
{
    int32_t last = out.count() - 1;
    smoothRange(out, runStart + 1, last - 2, passes, 0.2, 0.6, 0.2);
}

int32_t nextUsable(const GfxSample* points, int32_t count, int32_t from)
{
    while (from < count && !gfxStrokePointUsable(points[from])) ++from;
    return from;
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Sample filter and rebuild rule
// ----------------------------------------------------------------------------------
GfxSmoothing gfxSmoothingForLevel(int32_t smoothingLevel)
{
    switch (smoothingLevel) {
    case 1: return {8, false};
    case 2: return {16, false};
    case 3: return {24, false};
    case 4: return {16, true};
    default: return {4, false};
    }
}

bool gfxStrokePointUsable(const GfxSample& point)
{
    return std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.pressure) &&
           std::fabs(point.x) <= GFX_STROKE_COORDINATE_LIMIT && std::fabs(point.y) <= GFX_STROKE_COORDINATE_LIMIT &&
           std::fabs(point.pressure) <= GFX_STROKE_PRESSURE_LIMIT;
}

bool gfxStrokeSampleKept(const GfxSample& lastKept, const GfxSample& sample)
{
    float dx = sample.x - lastKept.x;
    float dy = sample.y - lastKept.y;
    return dx * dx + dy * dy > GFX_STROKE_KEEP_DISTANCE_SQUARED ||
           std::fabs(sample.pressure - lastKept.pressure) > GFX_STROKE_KEEP_PRESSURE_CHANGE;
}

int32_t gfxStrokeFilterSamples(GfxPool<GfxSample>& raw, const GfxSample* samples, int32_t count, int32_t* keptCount)
{
    if (keptCount) *keptCount = 0;
    if (count < 0 || (count > 0 && !samples)) return GFX_ERR_INVALID;
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        const GfxSample& sample = samples[i];
        if (!gfxStrokePointUsable(sample)) continue;
        if (raw.count() > 0 && !gfxStrokeSampleKept(raw.back(), sample)) continue;
        if (!raw.push(sample)) {
            if (keptCount) *keptCount = kept;
            return GFX_ERR_FAILED;
        }
        ++kept;
    }
    if (keptCount) *keptCount = kept;
    return GFX_OK;
}

bool gfxStrokeShouldRebuild(int32_t keptCount, int32_t poolCountBefore)
{
    return keptCount + poolCountBefore % 2 >= 2;
}

// ----------------------------------------------------------------------------------
// [SECTION] Curve builder
// ----------------------------------------------------------------------------------
int32_t gfxBuildCurve(const GfxSample* points, int32_t count, const GfxCurveSettings& settings,
                      GfxPool<GfxSample>& out)
{
    out.reset();
    if (count < 0 || (count > 0 && !points) || settings.smoothingPasses < 0) return GFX_ERR_INVALID;
    CurveWriter writer(out);

    int32_t a = nextUsable(points, count, 0);
    if (a >= count) return GFX_OK;
    writer.emit(toCurvePoint(points[a]));

    int32_t before = -1;  // Pi-1 while the segment continues a run, else -1
    int32_t runStart = 0; // output index of the point that started the current run
    int32_t b = nextUsable(points, count, a + 1);
    while (b < count && !writer.failed()) {
        int32_t after = nextUsable(points, count, b + 1);
        CurvePoint pointBefore = before >= 0 ? toCurvePoint(points[before]) : CurvePoint{};
        CurvePoint pointAfter = after < count ? toCurvePoint(points[after]) : CurvePoint{};
        Segment segment = controlPoints(before >= 0 ? &pointBefore : nullptr, toCurvePoint(points[a]),
                                        toCurvePoint(points[b]), after < count ? &pointAfter : nullptr);
        if (settings.uniform)
            sampleUniformly(segment, writer);
        else
            subdivide(segment.start, segment.control1, segment.control2, segment.end, settings, 0, writer);
        if (writer.failed()) break;

        if (segment.endIsCorner) {
            if (!settings.uniform && settings.smoothingPasses > 0) smoothRun(out, runStart, settings.smoothingPasses);
            runStart = out.count() - 1;
            before = -1;
        } else {
            before = a;
        }
        a = b;
        b = after;
    }
    if (writer.failed()) return GFX_ERR_FAILED;
    if (settings.uniform && settings.smoothingPasses > 0)
        smoothRange(out, 1, out.count() - 2, settings.smoothingPasses, 0.5, 0.0, 0.5);
    return GFX_OK;
}

GfxStrokeBounds gfxStrokeBoundsOf(const GfxSample* points, int32_t count)
{
    GfxStrokeBounds bounds;
    if (!points || count <= 0) return bounds;
    float minX = points[0].x, maxX = points[0].x, minY = points[0].y, maxY = points[0].y;
    for (int32_t i = 1; i < count; ++i) {
        minX = std::min(minX, points[i].x);
        maxX = std::max(maxX, points[i].x);
        minY = std::min(minY, points[i].y);
        maxY = std::max(maxY, points[i].y);
    }
    bounds.x = minX;
    bounds.y = minY;
    bounds.width = maxX - minX;
    bounds.height = maxY - minY;
    return bounds;
}

// ----------------------------------------------------------------------------------
// [SECTION] Stroke rebuild
// ----------------------------------------------------------------------------------
namespace {

bool sameSample(const GfxSample& a, const GfxSample& b)
{
    return a.x == b.x && a.y == b.y && a.pressure == b.pressure;
}

}  // namespace

int32_t gfxRebuildStroke(const GfxPool<GfxSample>& raw, const GfxSample* finalSample, GfxSmoothing smoothing,
                         GfxPool<GfxSample>& copy, GfxPool<GfxSample>& points, GfxStrokeBounds* bounds)
{
    copy.reset();
    int32_t rawCount = raw.count();
    if (!copy.reserveMore(rawCount + 1)) return GFX_ERR_FAILED;
    for (int32_t i = 0; i < rawCount; ++i) copy.push(raw[i]);  // room reserved above: cannot fail
    if (finalSample && !(rawCount > 0 && sameSample(raw[rawCount - 1], *finalSample))) copy.push(*finalSample);

    GfxCurveSettings settings;
    settings.distanceTolerance = GFX_STROKE_REBUILD_DISTANCE_TOLERANCE;
    settings.pressureTolerance = GFX_STROKE_REBUILD_PRESSURE_TOLERANCE;
    settings.smoothingPasses = smoothing.passes;
    settings.uniform = smoothing.uniform;
    int32_t result = gfxBuildCurve(copy.data(), copy.count(), settings, points);
    if (result == GFX_OK && bounds) *bounds = gfxStrokeBoundsOf(points.data(), points.count());
    return result;
}

// ----------------------------------------------------------------------------------
// [SECTION] Centre lines
// ----------------------------------------------------------------------------------
namespace {

int32_t copyPoints(const GfxSample* points, int32_t count, GfxPool<GfxSample>& out)
{
    if (count < 0 || (count > 0 && !points)) return GFX_ERR_INVALID;
    if (!out.reserveMore(count)) return GFX_ERR_FAILED;
    for (int32_t i = 0; i < count; ++i) out.push(points[i]);
    return GFX_OK;
}

int32_t rectangleOutline(const float* rect, GfxPool<GfxSample>& out)
{
    float x = rect[0], y = rect[1], halfWidth = rect[2] / 2, halfHeight = rect[3] / 2;
    const GfxSample corners[5] = {{x - halfWidth, y - halfHeight, 1.0f},
                                  {x + halfWidth, y - halfHeight, 1.0f},
                                  {x + halfWidth, y + halfHeight, 1.0f},
                                  {x - halfWidth, y + halfHeight, 1.0f},
                                  {x - halfWidth, y - halfHeight, 1.0f}};
    return copyPoints(corners, 5, out);
}

int32_t ellipseOutline(const float* rect, GfxPool<GfxSample>& out)
{
    if (!out.reserveMore(GFX_ELLIPSE_CENTRE_LINE_STEPS + 1)) return GFX_ERR_FAILED;
    double x = rect[0], y = rect[1], halfWidth = rect[2] / 2.0, halfHeight = rect[3] / 2.0;
    for (int32_t i = 0; i < GFX_ELLIPSE_CENTRE_LINE_STEPS; ++i) {
        double angle = i * (360.0 / GFX_ELLIPSE_CENTRE_LINE_STEPS) * PI / 180.0;
        out.push({static_cast<float>(x + std::cos(angle) * halfWidth), static_cast<float>(y + std::sin(angle) * halfHeight),
                  1.0f});
    }
    out.push(out[0]);
    return GFX_OK;
}

}  // namespace

int32_t gfxBuildCentreLine(int32_t kind, const GfxSample* points, int32_t pointCount, const float* rect,
                           float buildScale, GfxPool<GfxSample>& out)
{
    out.reset();
    switch (kind) {
    case GFX_ELEMENT_FREEHAND: {
        double scale = std::isfinite(buildScale) && buildScale > 0 ? buildScale : 1.0;
        GfxCurveSettings settings;
        settings.distanceTolerance =
            std::max(GFX_CENTRE_LINE_DISTANCE_TOLERANCE / scale, static_cast<double>(GFX_CENTRE_LINE_MIN_DISTANCE_TOLERANCE));
        settings.pressureTolerance = GFX_CENTRE_LINE_PRESSURE_TOLERANCE;
        settings.smoothingPasses = 0;
        settings.uniform = false;
        return gfxBuildCurve(points, pointCount, settings, out);
    }
    case GFX_ELEMENT_LINE:
        if (pointCount < 2) return GFX_ERR_INVALID;
        return copyPoints(points, 2, out);
    case GFX_ELEMENT_MULTI_LINE:
    case GFX_ELEMENT_POLYGON:
        return copyPoints(points, pointCount, out);
    case GFX_ELEMENT_RECTANGLE:
        if (!rect) return GFX_ERR_INVALID;
        return rectangleOutline(rect, out);
    case GFX_ELEMENT_ELLIPSE:
        if (!rect) return GFX_ERR_INVALID;
        return ellipseOutline(rect, out);
    case GFX_ELEMENT_IMAGE:
        return GFX_OK;
    default:
        return GFX_ERR_INVALID;
    }
}
