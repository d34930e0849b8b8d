// GfxPenCells — marker cells, wide-marker nibs and pencil stamps.
//
// [SECTION] Shared pieces
// [SECTION] Marker
// [SECTION] Wide marker
// [SECTION] Pencil
// [SECTION] Dispatch and whole element
#include "GfxPenCells.h"

#include "GfxStrokeBuilder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// ----------------------------------------------------------------------------------
// [SECTION] Shared pieces
// ----------------------------------------------------------------------------------
// Negative (and NaN) pressures count as 0.
float pressureOf(const GfxSample& point) { return point.pressure > 0.0f ? point.pressure : 0.0f; }

// The pen's radii: R and r(p).
struct PenRadius {
    float maximum = 0;
    float sensitivity = 0;

    float at(float pressure) const
    {
        return maximum * (1.0f - sensitivity) * (1.0f - pressure) + maximum * pressure;
    }
};

// False when the pen draws nothing (R not a positive finite number).
bool penRadiusOf(const GfxCellPen& pen, PenRadius* radius)
{
    radius->maximum = 0.5f * pen.penWidth * pen.widthScale;
    radius->sensitivity = pen.penWidthSensitivity;
    return std::isfinite(radius->maximum) && radius->maximum > 0.0f;
}

// Half-width of a marker cell: room for the 0.8-pixel filter beyond the radius.
float markerHalfWidth(float radius)
{
    return radius > GFX_CELL_FILTER_ROOM ? radius + GFX_CELL_FILTER_ROOM : 2.0f * radius;
}

// Appends vertices; on the first failure stops and, at finish, cuts the pool back
// to its count on entry so no half-built element is left.
class VertexAppender {
public:
    explicit VertexAppender(GfxPool<GfxVertex>& out) : out_(out), start_(out.count()) {}
    void reserve(int64_t vertices)
    {
        if (failed_) return;
        if (vertices > INT32_MAX || !out_.reserveMore(static_cast<int32_t>(vertices))) failed_ = true;
    }
    void add(float x, float y, float s, float t, float p)
    {
        if (!failed_ && !out_.push({x, y, s, t, p})) failed_ = true;
    }
    bool failed() const { return failed_; }
    int32_t finish()
    {
        if (!failed_) return GFX_OK;
        out_.truncate(start_);
        return GFX_ERR_FAILED;
    }

private:
    GfxPool<GfxVertex>& out_;
    int32_t start_ = 0;
    bool failed_ = false;
};

struct Vector2 {
    float x = 0;
    float y = 0;
};

Vector2 operator+(Vector2 a, Vector2 b) { return {a.x + b.x, a.y + b.y}; }
Vector2 operator-(Vector2 a, Vector2 b) { return {a.x - b.x, a.y - b.y}; }
Vector2 operator-(Vector2 a) { return {-a.x, -a.y}; }
Vector2 operator*(float k, Vector2 a) { return {k * a.x, k * a.y}; }

void addVertex(VertexAppender& out, Vector2 position, float s, Vector2 offsetOverRadius)
{
    out.add(position.x, position.y, s, offsetOverRadius.x, offsetOverRadius.y);
}

bool validLine(const GfxSample* line, int32_t count) { return count >= 0 && (count == 0 || line); }

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Marker
// ----------------------------------------------------------------------------------
int32_t gfxBuildMarkerCells(const GfxCellPen& pen, const GfxSample* line, int32_t count, GfxPool<GfxVertex>& out)
{
    if (!validLine(line, count)) return GFX_ERR_INVALID;
    PenRadius radius;
    if (count == 0 || !penRadiusOf(pen, &radius)) return GFX_OK;
    const float R = radius.maximum;
    VertexAppender cells(out);
    cells.reserve(4 * (2 * static_cast<int64_t>(count) - 1));

    // Line cells along every segment of non-zero length.
    for (int32_t i = 0; i + 1 < count && !cells.failed(); ++i) {
        const GfxSample& a = line[i];
        const GfxSample& b = line[i + 1];
        float dx = b.x - a.x;
        float dy = b.y - a.y;
        float length = std::sqrt(dx * dx + dy * dy);
        if (!(length > 0.0f) || !std::isfinite(length)) continue;
        Vector2 normal = {(a.y - b.y) / length, (b.x - a.x) / length};
        float pressureA = pressureOf(a);
        float pressureB = pressureOf(b);
        float halfA = markerHalfWidth(radius.at(pressureA));
        float halfB = markerHalfWidth(radius.at(pressureB));
        Vector2 pointA = {a.x, a.y};
        Vector2 pointB = {b.x, b.y};
        addVertex(cells, pointA - halfA * normal, pressureA, -(halfA / R) * normal);
        addVertex(cells, pointB - halfB * normal, pressureB, -(halfB / R) * normal);
        addVertex(cells, pointB + halfB * normal, pressureB, (halfB / R) * normal);
        addVertex(cells, pointA + halfA * normal, pressureA, (halfA / R) * normal);
    }

    // A corner square on every point, so joints and ends are round.
    for (int32_t i = 0; i < count && !cells.failed(); ++i) {
        const GfxSample& q = line[i];
        float pressure = pressureOf(q);
        float half = markerHalfWidth(radius.at(pressure));
        float m = half / R;
        cells.add(q.x - half, q.y - half, pressure, -m, -m);
        cells.add(q.x + half, q.y - half, pressure, m, -m);
        cells.add(q.x + half, q.y + half, pressure, m, m);
        cells.add(q.x - half, q.y + half, pressure, -m, m);
    }
    return cells.finish();
}

// ----------------------------------------------------------------------------------
// [SECTION] Wide marker
// ----------------------------------------------------------------------------------
namespace {

struct Box {
    float minX = 0;
    float minY = 0;
    float maxX = 0;
    float maxY = 0;
};

Box unite(const Box& a, const Box& b)
{
    return {std::min(a.minX, b.minX), std::min(a.minY, b.minY), std::max(a.maxX, b.maxX), std::max(a.maxY, b.maxY)};
}

bool boxMissesRect(const Box& box, const float* rect)
{
    float left = std::min(rect[0], rect[0] + rect[2]);
    float right = std::max(rect[0], rect[0] + rect[2]);
    float bottom = std::min(rect[1], rect[1] + rect[3]);
    float top = std::max(rect[1], rect[1] + rect[3]);
    return box.maxX < left || box.minX > right || box.maxY < bottom || box.minY > top;
}

// The flat nib at one centre-line point.
struct Nib {
    Vector2 centre;
    Vector2 end1;  // E1 = Q + L d
    Vector2 end0;  // E0 = Q - L d
    float half = 0;       // h
    float halfOverR = 0;  // m = h / R
    float pressure = 0;   // q
    Box box;              // of E0 and E1, grown by the clip margin
};

struct NibFrame {
    Vector2 diagonal;  // d
    Vector2 normal;    // n = (d.y, -d.x)
};

Nib nibAt(const GfxSample& point, const PenRadius& radius, const NibFrame& frame)
{
    Nib nib;
    nib.pressure = pressureOf(point);
    float r = radius.at(nib.pressure);
    float halfLength = 0;
    if (r >= GFX_CELL_FILTER_ROOM) {
        halfLength = 3.0f * r;
        nib.half = r + GFX_CELL_FILTER_ROOM;
    } else if (2.5f * r > GFX_CELL_FILTER_ROOM) {
        halfLength = 5.0f * r - 1.6f;
        nib.half = 1.6f;
    } else {
        halfLength = 0.0f;
        nib.half = 2.0f * r;
    }
    nib.halfOverR = nib.half / radius.maximum;
    nib.centre = {point.x, point.y};
    nib.end1 = nib.centre + halfLength * frame.diagonal;
    nib.end0 = nib.centre - halfLength * frame.diagonal;
    float margin = std::max(radius.maximum, nib.half);
    nib.box = {std::min(nib.end0.x, nib.end1.x) - margin, std::min(nib.end0.y, nib.end1.y) - margin,
               std::max(nib.end0.x, nib.end1.x) + margin, std::max(nib.end0.y, nib.end1.y) + margin};
    return nib;
}

// Cap beyond E1, body, cap beyond E0: the caps fade radially, the body across.
void addNib(VertexAppender& out, const Nib& nib, const NibFrame& frame, float R)
{
    const Vector2 d = frame.diagonal;
    const Vector2 n = frame.normal;
    const float h = nib.half;
    const float m = nib.halfOverR;
    const float q = nib.pressure;
    auto addCapVertex = [&](Vector2 end, Vector2 offset) { addVertex(out, end + offset, q, -(1.0f / R) * offset); };

    addCapVertex(nib.end1, h * (d - n));
    addCapVertex(nib.end1, h * (d + n));
    addCapVertex(nib.end1, h * n);
    addCapVertex(nib.end1, -(h * n));

    addVertex(out, nib.end1 - h * n, q, m * n);
    addVertex(out, nib.end1 + h * n, q, -(m * n));
    addVertex(out, nib.end0 + h * n, q, -(m * n));
    addVertex(out, nib.end0 - h * n, q, m * n);

    addCapVertex(nib.end0, -(h * n));
    addCapVertex(nib.end0, h * n);
    addCapVertex(nib.end0, h * (n - d));
    addCapVertex(nib.end0, -(h * (n + d)));
}

// Left normal of the edge, unit unless the edge is shorter than 0.01.
Vector2 edgeNormal(Vector2 from, Vector2 to)
{
    Vector2 edge = to - from;
    Vector2 normal = {-edge.y, edge.x};
    float length = std::sqrt(edge.x * edge.x + edge.y * edge.y);
    if (length < GFX_WIDE_MARKER_MIN_EDGE) return normal;
    return (1.0f / length) * normal;
}

// The band swept from the previous nib to this one: outer strip of edge 1, the
// parallelogram between the nibs at full density, outer strip of edge 0.
void addJoin(VertexAppender& out, const Nib& previous, const Nib& nib, const NibFrame& frame)
{
    Vector2 normal1 = edgeNormal(previous.end1, nib.end1);
    Vector2 normal0 = edgeNormal(previous.end0, nib.end0);
    Vector2 movement = nib.centre - previous.centre;
    if (movement.x * frame.diagonal.y - movement.y * frame.diagonal.x < 0.0f) {
        normal1 = -normal1;
        normal0 = -normal0;
    }
    const Vector2 zero;
    const float q = nib.pressure;
    const float qPrevious = previous.pressure;

    addVertex(out, nib.end1 + nib.half * normal1, q, -(nib.halfOverR * normal1));
    addVertex(out, previous.end1 + previous.half * normal1, qPrevious, -(previous.halfOverR * normal1));
    addVertex(out, previous.end1, qPrevious, zero);
    addVertex(out, nib.end1, q, zero);

    addVertex(out, nib.end1, q, zero);
    addVertex(out, previous.end1, qPrevious, zero);
    addVertex(out, previous.end0, qPrevious, zero);
    addVertex(out, nib.end0, q, zero);

    addVertex(out, nib.end0, q, zero);
    addVertex(out, previous.end0, qPrevious, zero);
    addVertex(out, previous.end0 - previous.half * normal0, qPrevious, previous.halfOverR * normal0);
    addVertex(out, nib.end0 - nib.half * normal0, q, nib.halfOverR * normal0);
}

}  // namespace

int32_t gfxBuildWideMarkerCells(const GfxCellPen& pen, const GfxSample* line, int32_t count, const float* clipRect,
                                GfxPool<GfxVertex>& out)
{
    if (!validLine(line, count)) return GFX_ERR_INVALID;
    PenRadius radius;
    if (count == 0 || !penRadiusOf(pen, &radius)) return GFX_OK;
    NibFrame frame;
    frame.diagonal = {std::cos(GFX_WIDE_MARKER_NIB_ANGLE), std::sin(GFX_WIDE_MARKER_NIB_ANGLE)};
    frame.normal = {frame.diagonal.y, -frame.diagonal.x};

    VertexAppender cells(out);
    if (!clipRect) cells.reserve(24 * static_cast<int64_t>(count));
    Nib previous;
    for (int32_t i = 0; i < count && !cells.failed(); ++i) {
        Nib nib = nibAt(line[i], radius, frame);
        if (!clipRect || !boxMissesRect(nib.box, clipRect)) addNib(cells, nib, frame, radius.maximum);
        if (i > 0 && (!clipRect || !boxMissesRect(unite(previous.box, nib.box), clipRect)))
            addJoin(cells, previous, nib, frame);
        previous = nib;
    }
    return cells.finish();
}

// ----------------------------------------------------------------------------------
// [SECTION] Pencil
// ----------------------------------------------------------------------------------
namespace {

// Lengths and running distances are double: in float the distance stops advancing
// once it dwarfs the step, on very long lines.
double segmentLength(const GfxSample& a, const GfxSample& b)
{
    double dx = static_cast<double>(b.x) - a.x;
    double dy = static_cast<double>(b.y) - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

// A stamp's place and size along the line.
struct Stamp {
    float x = 0;
    float y = 0;
    float pressure = 0;
    float relativeWidth = 0;  // g
};

// Walks the stamps of a line at the given spacing base, handing each to `stamp`
// until it answers false. The running distance carries over between segments.
template <typename StampFn>
void walkPencilStamps(const GfxSample* line, int32_t count, double spacing, float sensitivity, StampFn&& stamp)
{
    bool going = true;
    // Stamps along A..B at running distances in [0, length); returns the distance
    // still to go into the next segment.
    auto walkSegment = [&](const GfxSample& a, const GfxSample& b, double length, double distance) {
        const double perLength = 1.0 / length;
        while (distance < length && going) {
            float o = static_cast<float>(distance * perLength);
            float q = a.pressure + (b.pressure - a.pressure) * o;
            q = q > 0.0f ? q : 0.0f;
            float g = (1.0f - sensitivity) * (1.0f - q) + q;
            float x = a.x + (b.x - a.x) * o;
            float y = a.y + (b.y - a.y) * o;
            going = stamp(Stamp{x, y, q, g});
            distance += (g > GFX_PENCIL_MIN_STEP ? g : GFX_PENCIL_MIN_STEP) * spacing;
        }
        return distance - length;
    };

    const double dotLength = GFX_PENCIL_DOT_LENGTH * spacing;
    if (count == 1) {
        walkSegment(line[0], line[0], dotLength, 0.0);  // a tap: one dot
        return;
    }
    double distance = 0.0;
    bool anyLength = false;
    for (int32_t i = 0; i + 1 < count && going; ++i) {
        const GfxSample& a = line[i];
        const GfxSample& b = line[i + 1];
        double length = segmentLength(a, b);
        if (!std::isfinite(length)) continue;
        if (length == 0.0) {
            if (count > 2) continue;
            length = dotLength;
        }
        anyLength = true;
        distance = walkSegment(a, b, length, distance);
    }
    // A pen held still while the pressure changes leaves several points on one spot
    // and no segment to walk: stamp it once, at its firmest pressure, like a tap.
    if (!anyLength && going) {
        const GfxSample* firmest = &line[0];
        for (int32_t i = 1; i < count; ++i)
            if (line[i].pressure > firmest->pressure) firmest = &line[i];
        walkSegment(*firmest, *firmest, dotLength, 0.0);
    }
}

// How many times the spacing must be stretched for the line to stay within
// GFX_PENCIL_MAX_STAMPS (1 when it fits as it is). Only a line that really needs more
// stamps is thinned, by as much as its shortest possible steps would need.
double pencilSpacingStretch(const GfxSample* line, int32_t count, double spacing, float sensitivity)
{
    double total = 0.0;
    for (int32_t i = 0; i + 1 < count; ++i) {
        double length = segmentLength(line[i], line[i + 1]);
        if (std::isfinite(length)) total += length;
    }
    double worstStamps = total / (GFX_PENCIL_MIN_STEP * spacing) + count;
    if (worstStamps <= static_cast<double>(GFX_PENCIL_MAX_STAMPS)) return 1.0;
    int64_t stamps = 0;
    walkPencilStamps(line, count, spacing, sensitivity,
                     [&](const Stamp&) { return ++stamps <= GFX_PENCIL_MAX_STAMPS; });
    if (stamps <= GFX_PENCIL_MAX_STAMPS) return 1.0;
    if (!std::isfinite(worstStamps)) return std::numeric_limits<double>::max();
    return worstStamps / static_cast<double>(GFX_PENCIL_MAX_STAMPS);
}

}  // namespace

int32_t gfxBuildPencilStamps(const GfxCellPen& pen, const GfxSample* line, int32_t count, GfxPool<GfxVertex>& out)
{
    if (!validLine(line, count)) return GFX_ERR_INVALID;
    PenRadius radius;
    if (count == 0 || !penRadiusOf(pen, &radius)) return GFX_OK;
    const double baseSpacing = std::max(GFX_PENCIL_MIN_SPACING, pen.penWidth * GFX_PENCIL_SPACING_FACTOR * pen.widthScale);
    const float sensitivity = pen.penWidthSensitivity;
    const double spacing = baseSpacing * pencilSpacingStretch(line, count, baseSpacing, sensitivity);
    VertexAppender cells(out);
    walkPencilStamps(line, count, spacing, sensitivity, [&](const Stamp& stamp) {
        float half = stamp.relativeWidth * radius.maximum;
        cells.add(stamp.x - half, stamp.y - half, stamp.pressure, -1.0f, -1.0f);
        cells.add(stamp.x + half, stamp.y - half, stamp.pressure, 1.0f, -1.0f);
        cells.add(stamp.x + half, stamp.y + half, stamp.pressure, 1.0f, 1.0f);
        cells.add(stamp.x - half, stamp.y + half, stamp.pressure, -1.0f, 1.0f);
        return !cells.failed();
    });
    return cells.finish();
}

// ----------------------------------------------------------------------------------
// [SECTION] Dispatch and whole element
// ----------------------------------------------------------------------------------
int32_t gfxBuildPenCells(const GfxCellPen& pen, const GfxSample* line, int32_t count, const float* clipRect,
                         GfxPool<GfxVertex>& out)
{
    switch (pen.penType) {
    case GFX_CELL_PEN_MARKER: return gfxBuildMarkerCells(pen, line, count, out);
    case GFX_CELL_PEN_PENCIL: return gfxBuildPencilStamps(pen, line, count, out);
    case GFX_CELL_PEN_WIDE_MARKER: return gfxBuildWideMarkerCells(pen, line, count, clipRect, out);
    default: return GFX_ERR_INVALID;
    }
}

int32_t gfxBuildElementCells(int32_t kind, const GfxSample* points, int32_t pointCount, const float* rect,
                             float buildScale, const GfxCellPen& pen, const float* clipRect,
                             GfxPool<GfxSample>& centreLine, GfxPool<GfxVertex>& vertices, int32_t* firstVertex,
                             int32_t* vertexCount)
{
    int32_t first = vertices.count();
    if (firstVertex) *firstVertex = first;
    if (vertexCount) *vertexCount = 0;
    int32_t result = gfxBuildCentreLine(kind, points, pointCount, rect, buildScale, centreLine);
    if (result != GFX_OK) return result;
    result = gfxBuildPenCells(pen, centreLine.data(), centreLine.count(), clipRect, vertices);
    if (result == GFX_OK && vertexCount) *vertexCount = vertices.count() - first;
    return result;
}
