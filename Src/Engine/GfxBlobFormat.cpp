// The raw canvas blob's byte format. Index:
// [SECTION] Write buffer and read cursor
// [SECTION] Point codecs
// [SECTION] Version-3 simplification and splitting
// [SECTION] Records
// [SECTION] Header items
// [SECTION] Parser
#include "GfxBlobFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// ----------------------------------------------------------------------------------
// [SECTION] Write buffer and read cursor
// ----------------------------------------------------------------------------------
bool GfxBlobBuffer::reserve(size_t extra)
{
    if (failed_) return false;
    if (extra <= capacity_ - size_) return true;
    size_t wanted = capacity_ + std::max(GFX_BLOB_GROWTH_BYTES, extra);
    void* grown = data_ ? allocator_.resize(data_, wanted) : allocator_.allocate(wanted);
    if (!grown) {
        failed_ = true;
        return false;
    }
    data_ = static_cast<uint8_t*>(grown);
    capacity_ = wanted;
    return true;
}

void GfxBlobBuffer::putBytes(const void* bytes, size_t count)
{
    if (count == 0 || !reserve(count)) return;
    std::memcpy(data_ + size_, bytes, count);
    size_ += count;
}

void GfxBlobBuffer::putInt32(int32_t value)
{
    uint8_t bytes[4];
    auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    putBytes(bytes, 4);
}

void GfxBlobBuffer::putFloat(float value)
{
    int32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    putInt32(bits);
}

void GfxBlobBuffer::putFloats(const float* values, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) putFloat(values[i]);
}

void GfxBlobBuffer::patchInt32(size_t offset, int32_t value)
{
    if (failed_ || offset + 4 > size_) return;
    auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) data_[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

bool GfxBlobCursor::readBytes(void* target, size_t count)
{
    const uint8_t* bytes = take(count);
    if (!bytes) return false;
    if (count) std::memcpy(target, bytes, count);
    return true;
}

bool GfxBlobCursor::readInt32(int32_t* value)
{
    const uint8_t* b = take(4);
    if (!b) return false;
    *value = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                  static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool GfxBlobCursor::readFloat(float* value)
{
    int32_t bits = 0;
    if (!readInt32(&bits)) return false;
    std::memcpy(value, &bits, 4);
    return true;
}

bool GfxBlobCursor::readFloats(float* values, int32_t count)
{
    bool all = true;
    for (int32_t i = 0; i < count; ++i) all = readFloat(&values[i]) && all;
    return all;
}

const uint8_t* GfxBlobCursor::take(size_t count)
{
    if (count > remaining()) {
        cutShort_ = true;
        return nullptr;
    }
    const uint8_t* start = bytes_ + position_;
    position_ += count;
    return start;
}

// ----------------------------------------------------------------------------------
// [SECTION] Point codecs
// ----------------------------------------------------------------------------------
namespace {

constexpr float kUnitDelta5 = 1.0f / 32.0f;
constexpr float kUnitDelta3 = 1.0f / 4.0f;
constexpr uint32_t kMaxQuantaDelta5 = (1u << 14) - 1;  // 9 integer bits, 5 fraction bits
constexpr uint32_t kMaxQuantaDelta3 = 255;             // 6 integer bits, 2 fraction bits

// IMPORTANT: the writer and the reader move the running position with this one
// function, so both land on the same float and errors never accumulate.
void stepAxis(float* position, uint32_t quanta, bool negative, float unit)
{
    float step = static_cast<float>(quanta) * unit;
    *position = negative ? *position - step : *position + step;
}

// Quantizes the distance from the running position to the target on one axis and
// moves the running position by what the reader will decode.
void quantizeAxis(float* position, float target, float unit, uint32_t maxQuanta, uint32_t* quanta, bool* negative)
{
    float delta = target - *position;
    if (!std::isfinite(delta)) delta = 0;
    *negative = delta < 0;
    float steps = std::round(std::fabs(delta) / unit);
    *quanta = steps >= static_cast<float>(maxQuanta) ? maxQuanta : static_cast<uint32_t>(steps);
    stepAxis(position, *quanta, *negative, unit);
}

}  // namespace

int32_t gfxBlobDeltaBytes(int32_t version)
{
    if (version == 0 || version == GFX_BLOB_VERSION_DELTA5) return 5;
    if (version == 1 || version == GFX_BLOB_VERSION_DELTA3) return 3;
    return 0;
}

int32_t gfxBlobPressureCode(float pressure, int32_t levels)
{
    if (!(pressure > 0)) return 0;  // negative and NaN
    return static_cast<int32_t>(std::min(pressure, GFX_BLOB_MAX_PRESSURE) * static_cast<float>(levels));
}

void gfxBlobEncodeDelta5(GfxSample* position, const GfxSample& target, uint8_t out[5])
{
    uint32_t qx = 0, qy = 0;
    bool nx = false, ny = false;
    quantizeAxis(&position->x, target.x, kUnitDelta5, kMaxQuantaDelta5, &qx, &nx);
    quantizeAxis(&position->y, target.y, kUnitDelta5, kMaxQuantaDelta5, &qy, &ny);
    auto code = static_cast<uint32_t>(gfxBlobPressureCode(target.pressure, 1024));
    position->pressure = static_cast<float>(code) / 1024.0f;
    uint32_t word = qx | (nx ? 1u << 14 : 0) | qy << 15 | (ny ? 1u << 29 : 0) | (code >> 8) << 30;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(word >> (8 * i));
    out[4] = static_cast<uint8_t>(code);
}

void gfxBlobEncodeDelta3(GfxSample* position, const GfxSample& target, uint8_t out[3])
{
    uint32_t qx = 0, qy = 0;
    bool nx = false, ny = false;
    quantizeAxis(&position->x, target.x, kUnitDelta3, kMaxQuantaDelta3, &qx, &nx);
    quantizeAxis(&position->y, target.y, kUnitDelta3, kMaxQuantaDelta3, &qy, &ny);
    auto code = static_cast<uint32_t>(gfxBlobPressureCode(target.pressure, 64));
    position->pressure = static_cast<float>(code) / 64.0f;
    out[0] = static_cast<uint8_t>(qx);
    out[1] = static_cast<uint8_t>(qy);
    out[2] = static_cast<uint8_t>((ny ? 0x80 : 0) | (nx ? 0x40 : 0) | code);
}

void gfxBlobDecodeDelta5(GfxSample* position, const uint8_t in[5])
{
    uint32_t word = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                    static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
    stepAxis(&position->x, word & kMaxQuantaDelta5, (word >> 14) & 1, kUnitDelta5);
    stepAxis(&position->y, (word >> 15) & kMaxQuantaDelta5, (word >> 29) & 1, kUnitDelta5);
    uint32_t code = (word >> 30) << 8 | in[4];
    position->pressure = static_cast<float>(code) / 1024.0f;
}

void gfxBlobDecodeDelta3(GfxSample* position, const uint8_t in[3])
{
    stepAxis(&position->x, in[0], (in[2] & 0x40) != 0, kUnitDelta3);
    stepAxis(&position->y, in[1], (in[2] & 0x80) != 0, kUnitDelta3);
    position->pressure = static_cast<float>(in[2] & 0x3F) / 64.0f;
}

// ----------------------------------------------------------------------------------
// [SECTION] Version-3 simplification and splitting
// ----------------------------------------------------------------------------------
namespace {

float distanceToSegment(const GfxSample& p, const GfxSample& a, const GfxSample& b)
{
    double abx = b.x - a.x, aby = b.y - a.y;
    double apx = p.x - a.x, apy = p.y - a.y;
    double lengthSquared = abx * abx + aby * aby;
    double t = lengthSquared > 0 ? std::clamp((apx * abx + apy * aby) / lengthSquared, 0.0, 1.0) : 0.0;
    double dx = apx - t * abx, dy = apy - t * aby;
    return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

bool skippedPointsFit(const GfxSample* points, int32_t from, int32_t to)
{
    for (int32_t i = from + 1; i < to; ++i)
        if (!(distanceToSegment(points[i], points[from], points[to]) <= GFX_BLOB_SIMPLIFY_TOLERANCE)) return false;
    return true;
}

// Equal parts a segment is written in so that no part reaches `limit` on either axis.
int32_t splitParts(const GfxSample& a, const GfxSample& b, float limit)
{
    float longest = std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y));
    if (!(longest >= limit)) return 1;  // also NaN
    float parts = std::floor(longest / limit) + 1;
    return parts >= static_cast<float>(GFX_BLOB_MAX_SPLIT_PARTS) ? GFX_BLOB_MAX_SPLIT_PARTS
                                                                 : static_cast<int32_t>(parts);
}

GfxSample lerpSample(const GfxSample& a, const GfxSample& b, float t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.pressure + (b.pressure - a.pressure) * t};
}

float splitLimit(int32_t version) { return gfxBlobDeltaBytes(version) == 3 ? GFX_BLOB_SPLIT_DELTA3 : GFX_BLOB_SPLIT_DELTA5; }

}  // namespace

bool gfxBlobSimplifyPoints(const GfxSample* points, int32_t count, GfxPool<GfxSample>* out)
{
    out->reset();
    if (count <= 0) return true;
    if (!out->push(points[0])) return false;
    int32_t kept = 0;
    while (kept < count - 1) {
        int32_t reach = kept + 1;
        int32_t last = std::min(count - 1, kept + GFX_BLOB_SIMPLIFY_WINDOW);
        for (int32_t end = kept + 2; end <= last && skippedPointsFit(points, kept, end); ++end) reach = end;
        if (!out->push(points[reach])) return false;
        kept = reach;
    }
    return true;
}

// ----------------------------------------------------------------------------------
// [SECTION] Records
// ----------------------------------------------------------------------------------
namespace {

bool allFinite(const float* values, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

bool sampleFinite(const GfxSample& s) { return std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.pressure); }

void putSample(GfxBlobBuffer* buffer, const GfxSample& sample)
{
    buffer->putFloat(sample.x);
    buffer->putFloat(sample.y);
    buffer->putFloat(sample.pressure);
}

// Stored pressures are 0 to 1; anything else from a file is brought back into range
// (NaN stays NaN and is refused by the finiteness check).
bool getSample(GfxBlobCursor* cursor, GfxSample* sample)
{
    bool read = cursor->readFloat(&sample->x) && cursor->readFloat(&sample->y) && cursor->readFloat(&sample->pressure);
    if (sample->pressure < 0) sample->pressure = 0;
    if (sample->pressure > 1) sample->pressure = 1;
    return read;
}

// Freehand points: count, the first point as floats, then one delta per point,
// each taken from where the reader will have put the previous one. Long segments
// are written as equal parts so every delta fits.
void putFreehandPoints(GfxBlobBuffer* buffer, const GfxSample* points, int32_t count, int32_t version)
{
    const bool small = gfxBlobDeltaBytes(version) == 3;
    const float limit = splitLimit(version);
    int64_t written = count > 0 ? 1 : 0;
    for (int32_t i = 1; i < count; ++i) written += splitParts(points[i - 1], points[i], limit);
    if (written > INT32_MAX) written = INT32_MAX;  // unreachable with real strokes; keeps the count honest
    buffer->putInt32(static_cast<int32_t>(written));
    if (count <= 0) return;
    putSample(buffer, points[0]);
    GfxSample position = points[0];
    uint8_t delta[5];
    int64_t emitted = 1;
    for (int32_t i = 1; i < count && emitted < written; ++i) {
        int32_t parts = splitParts(points[i - 1], points[i], limit);
        for (int32_t part = 1; part <= parts && emitted < written; ++part, ++emitted) {
            GfxSample target = part == parts ? points[i]
                                             : lerpSample(points[i - 1], points[i], static_cast<float>(part) / parts);
            if (small) {
                gfxBlobEncodeDelta3(&position, target, delta);
                buffer->putBytes(delta, 3);
            } else {
                gfxBlobEncodeDelta5(&position, target, delta);
                buffer->putBytes(delta, 5);
            }
        }
    }
}

int32_t getFreehandPoints(GfxBlobCursor* cursor, int32_t version, GfxPool<GfxSample>* points, GfxBlobRecord* record)
{
    const int32_t deltaBytes = gfxBlobDeltaBytes(version);
    if (deltaBytes == 0) return GFX_ERR_INVALID;
    int32_t count = 0;
    if (!cursor->readInt32(&count)) return GFX_BLOB_READ_CUT_SHORT;
    if (count < 1) return GFX_ERR_INVALID;
    // All points must be there before room is made for them.
    if (static_cast<uint64_t>(count - 1) * static_cast<uint64_t>(deltaBytes) + 12 > cursor->remaining())
        return GFX_BLOB_READ_CUT_SHORT;
    points->reset();
    if (!points->reserveMore(count)) return GFX_ERR_FAILED;
    GfxSample position;
    getSample(cursor, &position);
    if (!sampleFinite(position)) return GFX_ERR_INVALID;
    points->push(position);
    for (int32_t i = 1; i < count; ++i) {
        const uint8_t* delta = cursor->take(static_cast<size_t>(deltaBytes));
        if (deltaBytes == 3) gfxBlobDecodeDelta3(&position, delta);
        else gfxBlobDecodeDelta5(&position, delta);
        points->push(position);
    }
    record->points = points->data();
    record->pointCount = count;
    return GFX_BLOB_READ_OK;
}

int32_t getCornerPoints(GfxBlobCursor* cursor, GfxPool<GfxSample>* points, GfxBlobRecord* record)
{
    int32_t count = 0;
    if (!cursor->readInt32(&count)) return GFX_BLOB_READ_CUT_SHORT;
    if (count < 1) return GFX_ERR_INVALID;
    if (static_cast<uint64_t>(count) * 12 > cursor->remaining()) return GFX_BLOB_READ_CUT_SHORT;
    points->reset();
    if (!points->reserveMore(count)) return GFX_ERR_FAILED;
    for (int32_t i = 0; i < count; ++i) {
        GfxSample sample;
        getSample(cursor, &sample);
        if (!sampleFinite(sample)) return GFX_ERR_INVALID;
        points->push(sample);
    }
    record->points = points->data();
    record->pointCount = count;
    return GFX_BLOB_READ_OK;
}

int32_t getPayload(GfxBlobCursor* cursor, int32_t version, GfxPool<GfxSample>* points, GfxBlobRecord* r)
{
    bool read = true;
    bool finite = true;
    switch (r->type) {
    case 1: return getFreehandPoints(cursor, version, points, r);
    case 3:
    case 4: return getCornerPoints(cursor, points, r);
    case 2:
        read = getSample(cursor, &r->start) && getSample(cursor, &r->end);
        finite = sampleFinite(r->start) && sampleFinite(r->end);
        break;
    case 5:
    case 6:
        read = cursor->readFloats(r->shape, 5);
        finite = allFinite(r->shape, 5);
        break;
    case 7:
        read = cursor->readFloats(r->shape, 5) && cursor->readInt32(&r->textureWidth) &&
               cursor->readInt32(&r->textureHeight) && cursor->readInt32(&r->imageIndex);
        finite = allFinite(r->shape, 5);
        break;
    case 12:
        read = cursor->readInt32(&r->layerIndex) && cursor->readFloat(&r->upperOpacity) &&
               cursor->readFloat(&r->lowerOpacity) && cursor->readFloats(r->matrix, 16) && cursor->readFloat(&r->scale);
        finite = std::isfinite(r->upperOpacity) && std::isfinite(r->lowerOpacity) && allFinite(r->matrix, 16) &&
                 std::isfinite(r->scale);
        break;
    case 13:
    case 51:
        read = cursor->readFloats(r->matrix, 16) && cursor->readFloat(&r->scale);
        finite = allFinite(r->matrix, 16) && std::isfinite(r->scale);
        break;
    case 14:
        read = cursor->readFloats(r->shape, 4);
        finite = allFinite(r->shape, 4);
        break;
    case 15:
        read = cursor->readInt32(&r->layerIndex) && cursor->readFloats(r->sourceRect, 4) &&
               cursor->readFloats(r->matrix, 16) && cursor->readFloat(&r->scale) &&
               cursor->readFloats(r->clipMatrix, 16) && cursor->readFloat(&r->clipScale);
        finite = allFinite(r->sourceRect, 4) && allFinite(r->matrix, 16) && std::isfinite(r->scale) &&
                 allFinite(r->clipMatrix, 16) && std::isfinite(r->clipScale);
        break;
    case 52:
        read = cursor->readInt32(&r->penType) && cursor->readFloat(&r->penNoise) && cursor->readFloat(&r->penWidth) &&
               cursor->readFloat(&r->penWidthSensitivity) && cursor->readFloat(&r->penOpacity) &&
               cursor->readFloat(&r->penOpacitySensitivity);
        finite = std::isfinite(r->penNoise) && std::isfinite(r->penWidth) && std::isfinite(r->penWidthSensitivity) &&
                 std::isfinite(r->penOpacity) && std::isfinite(r->penOpacitySensitivity);
        break;
    case 53: read = cursor->readBytes(r->colour, 3); break;
    case 54: read = cursor->readInt32(&r->eraseMode); break;
    default: return GFX_ERR_INVALID;
    }
    if (!read) return GFX_BLOB_READ_CUT_SHORT;
    return finite ? static_cast<int32_t>(GFX_BLOB_READ_OK) : static_cast<int32_t>(GFX_ERR_INVALID);
}

}  // namespace

bool gfxBlobIsRecordType(int32_t type)
{
    return (type >= 1 && type <= 7) || (type >= 12 && type <= 15) || (type >= 51 && type <= 54);
}

bool gfxBlobPutRecord(GfxBlobBuffer* buffer, const GfxBlobRecord& r, int32_t version, GfxPool<GfxSample>* scratch)
{
    if (!gfxBlobIsRecordType(r.type)) return false;
    buffer->putInt32(r.type);
    switch (r.type) {
    case 1:
        if (gfxBlobDeltaBytes(version) == 3 && r.pointCount >= GFX_BLOB_SIMPLIFY_MIN_POINTS) {
            if (!gfxBlobSimplifyPoints(r.points, r.pointCount, scratch)) return false;
            putFreehandPoints(buffer, scratch->data(), scratch->count(), version);
        } else {
            putFreehandPoints(buffer, r.points, r.pointCount, version);
        }
        break;
    case 2:
        putSample(buffer, r.start);
        putSample(buffer, r.end);
        break;
    case 3:
    case 4:
        buffer->putInt32(r.pointCount);
        for (int32_t i = 0; i < r.pointCount; ++i) putSample(buffer, r.points[i]);
        break;
    case 5:
    case 6: buffer->putFloats(r.shape, 5); break;
    case 7:
        buffer->putFloats(r.shape, 5);
        buffer->putInt32(r.textureWidth);
        buffer->putInt32(r.textureHeight);
        buffer->putInt32(r.imageIndex);
        break;
    case 12:
        buffer->putInt32(r.layerIndex);
        buffer->putFloat(r.upperOpacity);
        buffer->putFloat(r.lowerOpacity);
        buffer->putFloats(r.matrix, 16);
        buffer->putFloat(r.scale);
        break;
    case 13:
    case 51:
        buffer->putFloats(r.matrix, 16);
        buffer->putFloat(r.scale);
        break;
    case 14: buffer->putFloats(r.shape, 4); break;
    case 15:
        buffer->putInt32(r.layerIndex);
        buffer->putFloats(r.sourceRect, 4);
        buffer->putFloats(r.matrix, 16);
        buffer->putFloat(r.scale);
        buffer->putFloats(r.clipMatrix, 16);
        buffer->putFloat(r.clipScale);
        break;
    case 52:
        buffer->putInt32(r.penType);
        buffer->putFloat(r.penNoise);
        buffer->putFloat(r.penWidth);
        buffer->putFloat(r.penWidthSensitivity);
        buffer->putFloat(r.penOpacity);
        buffer->putFloat(r.penOpacitySensitivity);
        break;
    case 53: buffer->putBytes(r.colour, 3); break;
    case 54: buffer->putInt32(r.eraseMode); break;
    }
    return !buffer->failed();
}

int32_t gfxBlobGetRecord(GfxBlobCursor* cursor, int32_t version, GfxPool<GfxSample>* points, GfxBlobRecord* record)
{
    *record = GfxBlobRecord{};
    if (!cursor->readInt32(&record->type)) return GFX_BLOB_READ_CUT_SHORT;
    return getPayload(cursor, version, points, record);
}

// ----------------------------------------------------------------------------------
// [SECTION] Header items
// ----------------------------------------------------------------------------------
// IMPORTANT: the sketch-attribute item is 74 bytes, packed, in this order:
//   offset  0 currentLayer int          35 penType int
//           4 paperTextureMode int      39 penColour 3 bytes R, G, B
//           8 paperColour 3 bytes       42 penNoise float
//          11 paperTextureStrength      46 penWidth float
//          15 paperTint int             50 penWidthSensitivity float
//          19 paperMultiScale int       54 penOpacity float
//          23 paperImage.source int     58 penOpacitySensitivity float
//          27 paperImage.paperId int    62 eraseMode int
//          31 paperImage.encoding int   66 smoothingLevel int
//                                       70 widthScale float
// The listed fields without the paper image's encoding come to 70 bytes; the four
// others hold that encoding, which the reader needs to know whether entry 0 of the
// image table is the paper image (a non-JPEG paper is stored but not written to the
// table, and a placed JPEG would otherwise be taken for the paper).
void gfxBlobPutAttributes(GfxBlobBuffer* buffer, const GfxSketchAttributes& a)
{
    buffer->putInt32(a.currentLayer);
    buffer->putInt32(a.paperTextureMode);
    buffer->putBytes(a.paperColour, 3);
    buffer->putFloat(a.paperTextureStrength);
    buffer->putInt32(a.paperTint);
    buffer->putInt32(a.paperMultiScale);
    buffer->putInt32(a.paperImage.source);
    buffer->putInt32(a.paperImage.paperId);
    buffer->putInt32(a.paperImage.encoding);
    buffer->putInt32(a.penType);
    buffer->putBytes(a.penColour, 3);
    buffer->putFloat(a.penNoise);
    buffer->putFloat(a.penWidth);
    buffer->putFloat(a.penWidthSensitivity);
    buffer->putFloat(a.penOpacity);
    buffer->putFloat(a.penOpacitySensitivity);
    buffer->putInt32(a.eraseMode);
    buffer->putInt32(a.smoothingLevel);
    buffer->putFloat(a.widthScale);
}

void gfxBlobGetAttributes(GfxBlobCursor* cursor, GfxSketchAttributes* a)
{
    cursor->readInt32(&a->currentLayer);
    cursor->readInt32(&a->paperTextureMode);
    cursor->readBytes(a->paperColour, 3);
    cursor->readFloat(&a->paperTextureStrength);
    cursor->readInt32(&a->paperTint);
    cursor->readInt32(&a->paperMultiScale);
    cursor->readInt32(&a->paperImage.source);
    cursor->readInt32(&a->paperImage.paperId);
    cursor->readInt32(&a->paperImage.encoding);
    cursor->readInt32(&a->penType);
    cursor->readBytes(a->penColour, 3);
    cursor->readFloat(&a->penNoise);
    cursor->readFloat(&a->penWidth);
    cursor->readFloat(&a->penWidthSensitivity);
    cursor->readFloat(&a->penOpacity);
    cursor->readFloat(&a->penOpacitySensitivity);
    cursor->readInt32(&a->eraseMode);
    cursor->readInt32(&a->smoothingLevel);
    cursor->readFloat(&a->widthScale);
}

void gfxBlobPutLayer(GfxBlobBuffer* buffer, const GfxBlobLayer& layer)
{
    char name[256] = {};
    std::memcpy(name, layer.name, strnlen(layer.name, sizeof name - 1));
    buffer->putInt32(layer.visible);
    buffer->putFloat(layer.opacity);
    buffer->putBytes(name, sizeof name);
    buffer->putInt32(layer.verticesUsed);
    buffer->putFloats(layer.matrix, 16);
    buffer->putFloat(layer.scale);
}

void gfxBlobGetLayer(GfxBlobCursor* cursor, GfxBlobLayer* layer)
{
    cursor->readInt32(&layer->visible);
    cursor->readFloat(&layer->opacity);
    cursor->readBytes(layer->name, sizeof layer->name);
    layer->name[sizeof layer->name - 1] = 0;
    cursor->readInt32(&layer->verticesUsed);
    cursor->readFloats(layer->matrix, 16);
    cursor->readFloat(&layer->scale);
}

// ----------------------------------------------------------------------------------
// [SECTION] Parser
// ----------------------------------------------------------------------------------
namespace {

// Reads a count; a negative one counts as 0.
int32_t readCount(GfxBlobCursor* cursor)
{
    int32_t count = 0;
    cursor->readInt32(&count);
    return std::max(count, 0);
}

// Drops order entries that name no layer or repeat one, moving the current layer
// down with every dropped entry below it and clamping it to the last position.
void cleanOrder(GfxPool<int32_t>* order, int32_t layerCount, int32_t* currentLayer)
{
    int32_t kept = 0;
    int32_t current = *currentLayer;
    const int32_t original = *currentLayer;
    for (int32_t i = 0; i < order->count(); ++i) {
        int32_t index = (*order)[i];
        bool valid = index >= 0 && index < layerCount;
        for (int32_t j = 0; j < kept && valid; ++j) valid = (*order)[j] != index;
        if (valid) (*order)[kept++] = index;
        else if (i < original) --current;
    }
    order->truncate(kept);
    if (current >= kept) current = kept - 1;
    if (original >= 0 && current < 0 && kept > 0) current = 0;
    *currentLayer = current;
}

bool validImageEncoding(int32_t encoding)
{
    return encoding == GFX_IMAGE_JPEG || encoding == GFX_IMAGE_RAW_RGBA || encoding == GFX_IMAGE_PNG ||
           encoding == GFX_IMAGE_PNG_STORED;
}

// Checks what a record refers to beyond itself.
int32_t checkReferences(const GfxBlobRecord& record, int32_t layerCount, int32_t imageCount)
{
    if (record.type == 7 && (record.imageIndex < 0 || record.imageIndex >= imageCount)) return GFX_ERR_INVALID;
    if ((record.type == 12 || record.type == 15) && (record.layerIndex < 0 || record.layerIndex >= layerCount))
        return GFX_ERR_INTERNAL;
    return GFX_OK;
}

void finiteOr(float* value, float fallback)
{
    if (!std::isfinite(*value)) *value = fallback;
}

void finiteMatrixOr(float* matrix, const float* fallback)
{
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(matrix[i])) {
            std::memcpy(matrix, fallback, 16 * sizeof(float));
            return;
        }
}

// Values the engine divides by, inverts or multiplies every width with must be
// numbers: anything else from a file falls back to the default.
void makeHeaderSafe(GfxBlobHeader* header, GfxPool<GfxBlobLayer>* layers)
{
    const GfxSketchAttributes defaults;
    GfxSketchAttributes& a = header->attributes;
    finiteOr(&a.paperTextureStrength, defaults.paperTextureStrength);
    finiteOr(&a.penNoise, defaults.penNoise);
    finiteOr(&a.penWidth, defaults.penWidth);
    finiteOr(&a.penWidthSensitivity, defaults.penWidthSensitivity);
    finiteOr(&a.penOpacity, defaults.penOpacity);
    finiteOr(&a.penOpacitySensitivity, defaults.penOpacitySensitivity);
    finiteOr(&a.widthScale, defaults.widthScale);
    const GfxBlobHeader fresh;
    finiteMatrixOr(header->view, fresh.view);
    finiteOr(&header->viewScale, 1.0f);
    // The view scale stays where gestures keep it.
    header->viewScale = std::clamp(std::fabs(header->viewScale), 1e-9f, 50000.0f);
    const GfxBlobLayer plain;
    for (int32_t i = 0; i < layers->count(); ++i) {
        GfxBlobLayer& layer = (*layers)[i];
        finiteOr(&layer.opacity, plain.opacity);
        layer.opacity = std::clamp(layer.opacity, 0.0f, 1.0f);
        finiteMatrixOr(layer.matrix, plain.matrix);
        finiteOr(&layer.scale, plain.scale);
    }
}

}  // namespace

int32_t gfxBlobParse(const uint8_t* raw, size_t bytes, const GfxAllocator& allocator, GfxBlobVisitor* visitor)
{
    GfxBlobCursor cursor(raw, bytes);
    GfxBlobHeader header;
    cursor.readInt32(&header.version);
    gfxBlobGetAttributes(&cursor, &header.attributes);
    cursor.readFloats(header.view, 16);
    cursor.readFloat(&header.viewScale);

    // Item 4: only the entries that are there (each takes 4 bytes).
    GfxPool<int32_t> order;
    int32_t orderCount = std::min<int64_t>(readCount(&cursor), static_cast<int64_t>(cursor.remaining() / 4));
    if (!order.create(allocator, std::max(orderCount, 1), 128)) return GFX_ERR_FAILED;
    for (int32_t i = 0; i < orderCount; ++i) {
        int32_t index = -1;
        cursor.readInt32(&index);
        order.push(index);
    }

    // Item 5: layers that are at least partly there; missing fields keep their defaults.
    int32_t declared = readCount(&cursor);
    if (declared > GFX_BLOB_MAX_LAYERS) return GFX_ERR_INVALID;
    int64_t present = (static_cast<int64_t>(cursor.remaining()) + GFX_BLOB_LAYER_BYTES - 1) / GFX_BLOB_LAYER_BYTES;
    int32_t layerCount = static_cast<int32_t>(std::min<int64_t>(declared, present));
    GfxPool<GfxBlobLayer> layers;
    if (!layers.create(allocator, std::max(layerCount, 1), 16)) return GFX_ERR_FAILED;
    for (int32_t i = 0; i < layerCount; ++i) {
        GfxBlobLayer layer;
        gfxBlobGetLayer(&cursor, &layer);
        layers.push(layer);
    }

    makeHeaderSafe(&header, &layers);
    cleanOrder(&order, layerCount, &header.attributes.currentLayer);
    header.order = order.data();
    header.orderCount = order.count();
    // With no layer in the order the sketch is empty: nothing else is read.
    if (header.orderCount == 0) {
        header.attributes.currentLayer = -1;
        return visitor->header(header);
    }
    header.layers = layers.data();
    header.layerCount = layerCount;
    if (int32_t code = visitor->header(header)) return code;

    // Item 6.
    int32_t imageCount = 0;
    for (int32_t declaredImages = readCount(&cursor); imageCount < declaredImages; ++imageCount) {
        int32_t encoding = 0, length = 0;
        if (!cursor.readInt32(&encoding) || !cursor.readInt32(&length)) return GFX_OK;
        if (length < 0 || !validImageEncoding(encoding)) return GFX_ERR_INVALID;
        const uint8_t* data = cursor.take(static_cast<size_t>(length));
        if (!data) return GFX_OK;
        if (int32_t code = visitor->image(imageCount, encoding, data, length)) return code;
    }

    GfxPool<GfxSample> points;
    if (!points.create(allocator, 256, 4096)) return GFX_ERR_FAILED;
    GfxBlobRecord record;

    // Item 7.
    for (int32_t declaredOperations = readCount(&cursor), k = 0; k < declaredOperations; ++k) {
        int32_t layer = -1, kind = 0;
        if (!cursor.readInt32(&layer) || !cursor.readInt32(&kind)) return GFX_OK;
        if (layer < 0 || layer >= layerCount) return GFX_ERR_INTERNAL;
        int32_t code = GFX_OK;
        if (kind == GFX_BLOB_OPERATION_LAYER_ADDED) {
            int32_t position = 0;
            if (!cursor.readInt32(&position)) return GFX_OK;
            code = visitor->layerAdded(layer, position);
        } else {
            record = GfxBlobRecord{};
            record.type = kind;
            code = getPayload(&cursor, header.version, &points, &record);
            if (code == GFX_BLOB_READ_CUT_SHORT) return GFX_OK;
            if (code == GFX_OK) code = checkReferences(record, layerCount, imageCount);
            if (code == GFX_OK) code = visitor->record(layer, record, false);
        }
        if (code != GFX_OK) return code;
    }

    // Item 8.
    for (int32_t declaredGroups = readCount(&cursor), g = 0; g < declaredGroups; ++g) {
        int32_t layer = -1, count = 0;
        if (!cursor.readInt32(&layer) || !cursor.readInt32(&count)) return GFX_OK;
        if (layer < 0 || layer >= layerCount) return GFX_ERR_INTERNAL;
        for (int32_t i = 0; i < count; ++i) {
            int32_t code = gfxBlobGetRecord(&cursor, header.version, &points, &record);
            if (code == GFX_BLOB_READ_CUT_SHORT) return GFX_OK;
            if (code == GFX_OK) code = checkReferences(record, layerCount, imageCount);
            if (code == GFX_OK) code = visitor->record(layer, record, true);
            if (code != GFX_OK) return code;
        }
    }
    return GFX_OK;
}
