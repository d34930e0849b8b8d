// The raw blob's byte format: point deltas, version-3 reduction, record encodings,
// header items, and the parser's handling of cut and hostile blobs.
#include "GfxBlobFormat.h"
#include "TestAllocator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

class BlobFormatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestAllocator::reset();
        allocator = TestAllocator::hooks();
        ASSERT_TRUE(scratch.create(allocator, 64, 1024));
        ASSERT_TRUE(points.create(allocator, 64, 1024));
    }
    void TearDown() override
    {
        scratch.destroy();
        points.destroy();
        EXPECT_EQ(TestAllocator::liveBlocks, 0);
    }

    // Writes one record and reads it back.
    GfxBlobRecord roundTrip(const GfxBlobRecord& record, int32_t version, std::vector<uint8_t>* bytes = nullptr)
    {
        GfxBlobBuffer buffer(allocator);
        EXPECT_TRUE(gfxBlobPutRecord(&buffer, record, version, &scratch));
        if (bytes) bytes->assign(buffer.data(), buffer.data() + buffer.size());
        GfxBlobCursor cursor(buffer.data(), buffer.size());
        GfxBlobRecord read;
        EXPECT_EQ(gfxBlobGetRecord(&cursor, version, &points, &read), GFX_BLOB_READ_OK);
        EXPECT_EQ(cursor.remaining(), 0u) << "a record is read to its last byte";
        decoded.assign(read.points, read.points + read.pointCount);
        read.points = nullptr;
        return read;
    }

    static GfxBlobRecord freehand(const std::vector<GfxSample>& stroke)
    {
        GfxBlobRecord record;
        record.type = 1;
        record.points = stroke.data();
        record.pointCount = static_cast<int32_t>(stroke.size());
        return record;
    }

    GfxAllocator allocator;
    GfxPool<GfxSample> scratch;
    GfxPool<GfxSample> points;
    std::vector<GfxSample> decoded;
};

std::vector<GfxSample> randomWalk(int count, float step, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> delta(-step, step);
    std::uniform_real_distribution<float> pressure(0.0f, 1.0f);
    std::vector<GfxSample> stroke;
    GfxSample p{1234.567f, -987.25f, 0.5f};
    for (int i = 0; i < count; ++i) {
        stroke.push_back(p);
        p = {p.x + delta(generator), p.y + delta(generator), pressure(generator)};
    }
    return stroke;
}

float distanceToPolyline(const GfxSample& p, const std::vector<GfxSample>& line)
{
    float best = INFINITY;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        double ax = line[i].x, ay = line[i].y, bx = line[i + 1].x, by = line[i + 1].y;
        double lx = bx - ax, ly = by - ay, l2 = lx * lx + ly * ly;
        double t = l2 > 0 ? std::clamp(((p.x - ax) * lx + (p.y - ay) * ly) / l2, 0.0, 1.0) : 0.0;
        double dx = p.x - (ax + t * lx), dy = p.y - (ay + t * ly);
        best = std::min(best, static_cast<float>(std::sqrt(dx * dx + dy * dy)));
    }
    return line.size() == 1 ? std::hypot(p.x - line[0].x, p.y - line[0].y) : best;
}

// ----------------------------------------------------------------------------------
// Point deltas
// ----------------------------------------------------------------------------------
TEST_F(BlobFormatTest, DeltaErrorsStayWithinOneQuantumAndNeverAccumulate)
{
    struct Case {
        int32_t version;
        float step;       // largest move per axis
        float tolerance;  // half a quantum, plus float rounding
        float pressureStep;
    };
    // Version 3 only simplifies strokes of 20 points or more, so these go through
    // in 19-point pieces of a long walk to check every point.
    const Case cases[] = {{2, 480.0f, 1.0f / 64 + 1e-3f, 1.0f / 1024}, {0, 30.0f, 1.0f / 64 + 1e-3f, 1.0f / 1024},
                          {3, 55.0f, 1.0f / 8 + 1e-3f, 1.0f / 64},     {1, 10.0f, 1.0f / 8 + 1e-3f, 1.0f / 64}};
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        std::vector<GfxSample> walk = randomWalk(c.version % 2 ? 19 : 20000, c.step, 17);
        GfxBlobRecord read = roundTrip(freehand(walk), c.version);
        ASSERT_EQ(read.pointCount, static_cast<int32_t>(walk.size()));
        EXPECT_EQ(decoded[0].x, walk[0].x) << "the first point is stored exactly";
        EXPECT_EQ(decoded[0].pressure, walk[0].pressure);
        float worst = 0;
        for (size_t i = 1; i < walk.size(); ++i) {
            worst = std::max({worst, std::fabs(decoded[i].x - walk[i].x), std::fabs(decoded[i].y - walk[i].y)});
            EXPECT_LE(walk[i].pressure - decoded[i].pressure, c.pressureStep);
            EXPECT_GE(walk[i].pressure - decoded[i].pressure, 0.0f) << "pressure codes truncate";
        }
        EXPECT_LE(worst, c.tolerance);
    }
}

TEST_F(BlobFormatTest, PressureCodesClampAndTruncate)
{
    struct Case {
        float pressure;
        float version2;
        float version3;
    };
    const Case cases[] = {{1.0f, 1023.0f / 1024, 63.0f / 64}, {2.0f, 1023.0f / 1024, 63.0f / 64},
                          {0.5f, 0.5f, 0.5f},                   {0.0f, 0, 0},
                          {-0.3f, 0, 0},                        {NAN, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pressure);
        std::vector<GfxSample> stroke = {{0, 0, 0.2f}, {3.5f, -2.25f, c.pressure}};
        roundTrip(freehand(stroke), 2);
        EXPECT_EQ(decoded[1].pressure, c.version2);
        roundTrip(freehand(stroke), 3);
        EXPECT_EQ(decoded[1].pressure, c.version3);
    }
}

TEST_F(BlobFormatTest, DeltaBitsAreWhereTheFormatSaysTheyAre)
{
    // dx = -3.5 (112 in 1/32), dy = +1.25 (40), pressure code 1023.
    uint8_t five[5];
    GfxSample position{10, 10, 0};
    gfxBlobEncodeDelta5(&position, {6.5f, 11.25f, 1.0f}, five);
    uint32_t word = five[0] | five[1] << 8 | five[2] << 16 | static_cast<uint32_t>(five[3]) << 24;
    EXPECT_EQ(word & 0x3FFF, 112u);
    EXPECT_EQ((word >> 14) & 1, 1u);
    EXPECT_EQ((word >> 15) & 0x3FFF, 40u);
    EXPECT_EQ((word >> 29) & 1, 0u);
    EXPECT_EQ((word >> 30) << 8 | five[4], 1023u);
    EXPECT_EQ(position.x, 6.5f);

    // dx = +2.75 (11 quarters), dy = -0.5 (2), pressure code 32.
    uint8_t three[3];
    position = {0, 0, 0};
    gfxBlobEncodeDelta3(&position, {2.75f, -0.5f, 0.5f}, three);
    EXPECT_EQ(three[0], 11);
    EXPECT_EQ(three[1], 2);
    EXPECT_EQ(three[2], 0x80 | 32);
}

// ----------------------------------------------------------------------------------
// Version-3 reduction and splitting
// ----------------------------------------------------------------------------------
TEST_F(BlobFormatTest, Version3DropsJitterWithinTheToleranceAndKeepsShape)
{
    // A straight stroke with 0.3-pixel jitter, then a sharp corner.
    std::vector<GfxSample> stroke;
    for (int i = 0; i < 100; ++i) stroke.push_back({static_cast<float>(i), (i % 2 ? 0.3f : -0.3f) * 0.5f, 0.6f});
    for (int i = 1; i < 100; ++i) stroke.push_back({99.0f, static_cast<float>(i), 0.6f});
    GfxBlobRecord read = roundTrip(freehand(stroke), 3);
    EXPECT_LT(read.pointCount, 30) << "jitter within 0.4 px is dropped";
    EXPECT_EQ(decoded.front().x, stroke.front().x);
    EXPECT_NEAR(decoded.back().x, stroke.back().x, 0.125f);
    EXPECT_NEAR(decoded.back().y, stroke.back().y, 0.125f);
    bool cornerKept = false;
    for (const GfxSample& p : decoded) cornerKept |= std::fabs(p.x - 99) <= 0.125f && std::fabs(p.y) <= 0.3f;
    EXPECT_TRUE(cornerKept) << "a corner is not cut";
    // Every original point stays near the written line: the tolerance plus quantization.
    for (const GfxSample& p : stroke) EXPECT_LE(distanceToPolyline(p, decoded), 0.4f + 0.18f);
}

TEST_F(BlobFormatTest, OnlyStrokesOf20PointsOrMoreAreSimplified)
{
    for (int count : {19, 20}) {
        std::vector<GfxSample> straight;
        for (int i = 0; i < count; ++i) straight.push_back({static_cast<float>(i) * 2, 5, 0.5f});
        EXPECT_EQ(roundTrip(freehand(straight), 3).pointCount, count == 19 ? 19 : 2) << count;
        EXPECT_EQ(roundTrip(freehand(straight), 2).pointCount, count) << "version 2 keeps every point";
    }
}

TEST_F(BlobFormatTest, LongSegmentsAreSplitIntoEqualParts)
{
    struct Case {
        int32_t version;
        GfxSample to;
        int32_t expectedPoints;
    };
    const Case cases[] = {
        {3, {200, 10, 1}, 5},     // int(200 / 60) + 1 = 4 parts
        {3, {-60, 0, 1}, 3},      // 60 is split
        {3, {59.5f, 0, 1}, 2},    // below 60 is not
        {2, {1200, -30, 1}, 4},   // 5-byte deltas: parts of less than 500
        {2, {499, 0, 1}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to.x);
        std::vector<GfxSample> stroke = {{0, 0, 0}, c.to};
        GfxBlobRecord read = roundTrip(freehand(stroke), c.version);
        ASSERT_EQ(read.pointCount, c.expectedPoints);
        float quantum = c.version == 3 ? 0.125f : 1.0f / 64;
        EXPECT_NEAR(decoded.back().x, c.to.x, quantum);
        EXPECT_NEAR(decoded.back().y, c.to.y, quantum);
        for (int i = 1; i < read.pointCount; ++i) {
            float t = static_cast<float>(i) / (read.pointCount - 1);
            EXPECT_NEAR(decoded[i].x, c.to.x * t, quantum) << "parts are equal";
            EXPECT_NEAR(decoded[i].pressure, t, c.version == 3 ? 1.0f / 64 : 1.0f / 1024) << "pressure interpolated";
        }
    }
}

// ----------------------------------------------------------------------------------
// Records
// ----------------------------------------------------------------------------------
std::vector<GfxBlobRecord> oneRecordOfEveryType(const std::vector<GfxSample>& corners)
{
    std::vector<GfxBlobRecord> records;
    auto add = [&](int32_t type) -> GfxBlobRecord& {
        records.emplace_back();
        records.back().type = type;
        return records.back();
    };
    add(2) = [] {
        GfxBlobRecord r;
        r.type = 2;
        r.start = {1.5f, 2.5f, 0.25f};
        r.end = {-7, 8, 1};
        return r;
    }();
    for (int32_t type : {3, 4}) {
        GfxBlobRecord& r = add(type);
        r.points = corners.data();
        r.pointCount = static_cast<int32_t>(corners.size());
    }
    for (int32_t type : {5, 6, 7}) {
        GfxBlobRecord& r = add(type);
        float shape[5] = {10.5f, -20, 30, 40.25f, 33.0f + type};
        std::copy(shape, shape + 5, r.shape);
        if (type == 7) {
            r.textureWidth = 640;
            r.textureHeight = 480;
            r.imageIndex = 2;
        }
    }
    GfxBlobRecord& merge = add(12);
    merge.layerIndex = 3;
    merge.upperOpacity = 0.25f;
    merge.lowerOpacity = 0.75f;
    merge.matrix[12] = 100;
    merge.scale = 2;
    for (int32_t type : {13, 51}) {
        GfxBlobRecord& r = add(type);
        for (int i = 0; i < 16; ++i) r.matrix[i] = static_cast<float>(i * type) / 7;
        r.scale = 0.125f;
    }
    GfxBlobRecord& cut = add(14);
    cut.shape[0] = 1;
    cut.shape[1] = 2;
    cut.shape[2] = 3;
    cut.shape[3] = 4;
    GfxBlobRecord& paste = add(15);
    paste.layerIndex = 1;
    paste.sourceRect[2] = 50;
    paste.matrix[13] = -5;
    paste.scale = 1.5f;
    paste.clipMatrix[0] = 3;
    paste.clipScale = 3;
    GfxBlobRecord& pen = add(52);
    pen.penType = 2;
    pen.penNoise = 0.1f;
    pen.penWidth = 12;
    pen.penWidthSensitivity = 0.3f;
    pen.penOpacity = 0.4f;
    pen.penOpacitySensitivity = 0.9f;
    GfxBlobRecord& colour = add(53);
    colour.colour[0] = 10;
    colour.colour[1] = 200;
    colour.colour[2] = 255;
    add(54).eraseMode = 1;
    return records;
}

void expectSameRecord(const GfxBlobRecord& a, const GfxBlobRecord& b)
{
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.pointCount, b.pointCount);
    EXPECT_EQ(0, std::memcmp(&a.start, &b.start, sizeof a.start));
    EXPECT_EQ(0, std::memcmp(&a.end, &b.end, sizeof a.end));
    EXPECT_EQ(0, std::memcmp(a.shape, b.shape, sizeof a.shape));
    EXPECT_EQ(a.textureWidth, b.textureWidth);
    EXPECT_EQ(a.textureHeight, b.textureHeight);
    EXPECT_EQ(a.imageIndex, b.imageIndex);
    EXPECT_EQ(a.layerIndex, b.layerIndex);
    EXPECT_EQ(a.upperOpacity, b.upperOpacity);
    EXPECT_EQ(a.lowerOpacity, b.lowerOpacity);
    EXPECT_EQ(0, std::memcmp(a.sourceRect, b.sourceRect, sizeof a.sourceRect));
    EXPECT_EQ(0, std::memcmp(a.matrix, b.matrix, sizeof a.matrix));
    EXPECT_EQ(a.scale, b.scale);
    EXPECT_EQ(0, std::memcmp(a.clipMatrix, b.clipMatrix, sizeof a.clipMatrix));
    EXPECT_EQ(a.clipScale, b.clipScale);
    EXPECT_EQ(a.penType, b.penType);
    EXPECT_EQ(a.penNoise, b.penNoise);
    EXPECT_EQ(a.penWidth, b.penWidth);
    EXPECT_EQ(a.penWidthSensitivity, b.penWidthSensitivity);
    EXPECT_EQ(a.penOpacity, b.penOpacity);
    EXPECT_EQ(a.penOpacitySensitivity, b.penOpacitySensitivity);
    EXPECT_EQ(0, std::memcmp(a.colour, b.colour, 3));
    EXPECT_EQ(a.eraseMode, b.eraseMode);
}

TEST_F(BlobFormatTest, EveryRecordTypeRoundTripsExactly)
{
    std::vector<GfxSample> corners = {{1, 2, 1}, {30.5f, -4, 1}, {7, 7.75f, 0.5f}};
    // Payload sizes after the type word, as the format table gives them.
    const std::pair<int32_t, size_t> sizes[] = {{2, 24}, {3, 4 + 36}, {4, 40}, {5, 20}, {6, 20}, {7, 32},
                                                {12, 80}, {13, 68},   {51, 68}, {14, 16}, {15, 156}, {52, 24},
                                                {53, 3},  {54, 4}};
    for (const GfxBlobRecord& record : oneRecordOfEveryType(corners)) {
        SCOPED_TRACE(record.type);
        std::vector<uint8_t> bytes;
        GfxBlobRecord read = roundTrip(record, 2, &bytes);
        GfxBlobRecord expected = record;
        expected.points = nullptr;
        expectSameRecord(read, expected);
        if (record.pointCount) {
            ASSERT_EQ(decoded.size(), corners.size());
            EXPECT_EQ(0, std::memcmp(decoded.data(), corners.data(), corners.size() * sizeof(GfxSample)));
        }
        for (auto [type, payload] : sizes) {
            if (type == record.type) {
                EXPECT_EQ(bytes.size(), 4 + payload);
            }
        }
    }
}

TEST_F(BlobFormatTest, EveryCutOfARecordReadsAsCutShort)
{
    std::vector<GfxSample> corners = {{1, 2, 1}, {3, 4, 1}};
    std::vector<GfxBlobRecord> records = oneRecordOfEveryType(corners);
    std::vector<GfxSample> stroke = randomWalk(30, 5, 2);
    records.push_back(freehand(stroke));
    for (const GfxBlobRecord& record : records) {
        for (int32_t version : {2, 3}) {
            GfxBlobBuffer buffer(allocator);
            ASSERT_TRUE(gfxBlobPutRecord(&buffer, record, version, &scratch));
            for (size_t cut = 0; cut < buffer.size(); ++cut) {
                GfxBlobCursor cursor(buffer.data(), cut);
                GfxBlobRecord read;
                EXPECT_EQ(gfxBlobGetRecord(&cursor, version, &points, &read), GFX_BLOB_READ_CUT_SHORT)
                    << "type " << record.type << " cut at " << cut;
            }
        }
    }
}

TEST_F(BlobFormatTest, BadRecordsAreRefused)
{
    auto bytesOf = [](std::initializer_list<int32_t> words) {
        std::vector<uint8_t> bytes;
        for (int32_t w : words)
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(w) >> (8 * i)));
        return bytes;
    };
    int32_t nan;
    float nanValue = NAN;
    std::memcpy(&nan, &nanValue, 4);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t version;
        int32_t expected;
    };
    const Case cases[] = {
        {"type 0", bytesOf({0, 0, 0}), 2, GFX_ERR_INVALID},
        {"type 8 is no record", bytesOf({8, 0}), 2, GFX_ERR_INVALID},
        {"type 11", bytesOf({11, 0, 0}), 2, GFX_ERR_INVALID},
        {"type 16", bytesOf({16, 0}), 2, GFX_ERR_INVALID},
        {"type 55", bytesOf({55, 0}), 2, GFX_ERR_INVALID},
        {"freehand in version 4", bytesOf({1, 1, 0, 0, 0}), 4, GFX_ERR_INVALID},
        {"freehand in version -1", bytesOf({1, 1, 0, 0, 0}), -1, GFX_ERR_INVALID},
        {"freehand of no points", bytesOf({1, 0}), 2, GFX_ERR_INVALID},
        {"polygon of -3 points", bytesOf({4, -3}), 2, GFX_ERR_INVALID},
        {"rectangle of NaN", bytesOf({5, 0, nan, 0, 0, 0}), 2, GFX_ERR_INVALID},
        {"frame of NaN", bytesOf({51, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, nan}), 2, GFX_ERR_INVALID},
        {"2 billion points", bytesOf({1, INT32_MAX, 0, 0, 0}), 2, GFX_BLOB_READ_CUT_SHORT},
        {"2 billion corners", bytesOf({3, INT32_MAX, 0, 0, 0}), 2, GFX_BLOB_READ_CUT_SHORT},
        {"freehand in version 0 reads like 2", bytesOf({1, 1, 0, 0, 0}), 0, GFX_BLOB_READ_OK},
    };
    for (const Case& c : cases) {
        TestAllocator::peakBytes = TestAllocator::liveBytes;
        GfxBlobCursor cursor(c.bytes.data(), c.bytes.size());
        GfxBlobRecord read;
        EXPECT_EQ(gfxBlobGetRecord(&cursor, c.version, &points, &read), c.expected) << c.name;
        EXPECT_LT(TestAllocator::peakBytes - TestAllocator::liveBytes, 1 << 20) << c.name;
    }
}

// ----------------------------------------------------------------------------------
// Header items
// ----------------------------------------------------------------------------------
TEST_F(BlobFormatTest, AttributeItemIs74BytesWithTheDocumentedOffsets)
{
    GfxSketchAttributes a;
    a.currentLayer = 3;
    a.paperTextureMode = 2;
    a.paperColour[0] = 1;
    a.paperColour[1] = 2;
    a.paperColour[2] = 3;
    a.paperTextureStrength = 0.5f;
    a.paperTint = 0;
    a.paperMultiScale = 0;
    a.paperImage.source = 0;
    a.paperImage.paperId = 7;
    a.paperImage.encoding = 4;
    a.penType = 2;
    a.penColour[0] = 9;
    a.penColour[1] = 8;
    a.penColour[2] = 7;
    a.penNoise = 0.25f;
    a.penWidth = 6;
    a.penWidthSensitivity = 0.5f;
    a.penOpacity = 0.125f;
    a.penOpacitySensitivity = 0.75f;
    a.eraseMode = 1;
    a.smoothingLevel = 3;
    a.widthScale = 1.5f;
    GfxBlobBuffer buffer(allocator);
    gfxBlobPutAttributes(&buffer, a);
    ASSERT_EQ(buffer.size(), GFX_BLOB_ATTRIBUTES_BYTES);
    auto intAt = [&](size_t offset) {
        int32_t v;
        std::memcpy(&v, buffer.data() + offset, 4);
        return v;
    };
    auto floatAt = [&](size_t offset) {
        float v;
        std::memcpy(&v, buffer.data() + offset, 4);
        return v;
    };
    EXPECT_EQ(intAt(0), 3);
    EXPECT_EQ(buffer.data()[10], 3);
    EXPECT_EQ(floatAt(11), 0.5f);
    EXPECT_EQ(intAt(27), 7);
    EXPECT_EQ(intAt(31), 4) << "the paper image's encoding";
    EXPECT_EQ(intAt(35), 2);
    EXPECT_EQ(buffer.data()[39], 9);
    EXPECT_EQ(floatAt(58), 0.75f);
    EXPECT_EQ(intAt(66), 3);
    EXPECT_EQ(floatAt(70), 1.5f);

    GfxSketchAttributes read;  // engine defaults as poison: every field must change
    GfxBlobCursor cursor(buffer.data(), buffer.size());
    gfxBlobGetAttributes(&cursor, &read);
    EXPECT_EQ(0, std::memcmp(&read.currentLayer, &a.currentLayer, 4));
    EXPECT_EQ(read.paperImage.encoding, 4);
    EXPECT_EQ(read.widthScale, 1.5f);
    EXPECT_EQ(read.smoothingLevel, 3);
    EXPECT_EQ(read.penOpacitySensitivity, 0.75f);
    EXPECT_FALSE(cursor.cutShort());

    // Cut after the pen colour: what follows keeps its previous value.
    GfxSketchAttributes partial;
    GfxBlobCursor shorter(buffer.data(), 42);
    gfxBlobGetAttributes(&shorter, &partial);
    EXPECT_EQ(partial.penColour[2], 7);
    EXPECT_EQ(partial.penNoise, GfxSketchAttributes{}.penNoise);
    EXPECT_EQ(partial.widthScale, 1.0f);
    EXPECT_TRUE(shorter.cutShort());
}

TEST_F(BlobFormatTest, LayerItemIs336BytesAndItsNameIsAlwaysTerminated)
{
    GfxBlobLayer layer;
    std::memset(layer.name, 'n', sizeof layer.name);  // no terminator at all
    layer.visible = 0;
    layer.opacity = 0.5f;
    layer.verticesUsed = 1234;
    layer.matrix[12] = 9;
    layer.scale = 4;
    GfxBlobBuffer buffer(allocator);
    gfxBlobPutLayer(&buffer, layer);
    ASSERT_EQ(buffer.size(), GFX_BLOB_LAYER_BYTES);
    GfxBlobLayer read;
    GfxBlobCursor cursor(buffer.data(), buffer.size());
    gfxBlobGetLayer(&cursor, &read);
    EXPECT_EQ(std::strlen(read.name), 255u);
    EXPECT_EQ(read.visible, 0);
    EXPECT_EQ(read.opacity, 0.5f);
    EXPECT_EQ(read.verticesUsed, 1234);
    EXPECT_EQ(read.matrix[12], 9);
    EXPECT_EQ(read.scale, 4);
}

// ----------------------------------------------------------------------------------
// Parser
// ----------------------------------------------------------------------------------
struct Recorded {
    GfxBlobHeader header;
    std::vector<int32_t> order;
    std::vector<std::string> layerNames;
    std::vector<int32_t> images;                       // encodings
    std::vector<std::pair<int32_t, int32_t>> added;    // layer, position
    std::vector<std::tuple<int32_t, int32_t, bool>> records;  // layer, type, referenced
};

class RecordingVisitor : public GfxBlobVisitor {
public:
    int32_t header(const GfxBlobHeader& header) override
    {
        got.header = header;
        got.order.assign(header.order, header.order + header.orderCount);
        for (int32_t i = 0; i < header.layerCount; ++i) got.layerNames.emplace_back(header.layers[i].name);
        return 0;
    }
    int32_t image(int32_t, int32_t encoding, const uint8_t*, int32_t) override
    {
        got.images.push_back(encoding);
        return 0;
    }
    int32_t layerAdded(int32_t layer, int32_t position) override
    {
        got.added.emplace_back(layer, position);
        return 0;
    }
    int32_t record(int32_t layer, const GfxBlobRecord& record, bool referenced) override
    {
        got.records.emplace_back(layer, record.type, referenced);
        return 0;
    }
    Recorded got;
};

// A blob with three layers, one image, five operations and one referenced group.
struct BuiltBlob {
    std::vector<uint8_t> bytes;
    size_t afterLayers = 0;
    size_t afterThirdOperation = 0;
};

BuiltBlob buildBlob(const GfxAllocator& allocator, GfxPool<GfxSample>* scratch, std::vector<int32_t> order,
                    int32_t currentLayer, int32_t operationLayer = 0)
{
    GfxBlobBuffer b(allocator);
    BuiltBlob built;
    b.putInt32(2);
    GfxSketchAttributes attributes;
    attributes.currentLayer = currentLayer;
    gfxBlobPutAttributes(&b, attributes);
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    b.putFloats(identity, 16);
    b.putFloat(1);
    b.putInt32(static_cast<int32_t>(order.size()));
    for (int32_t index : order) b.putInt32(index);
    b.putInt32(3);
    for (const char* name : {"Bottom", "Middle", "Pasted"}) {
        GfxBlobLayer layer;
        std::strcpy(layer.name, name);
        gfxBlobPutLayer(&b, layer);
    }
    built.afterLayers = b.size();
    b.putInt32(1);
    b.putInt32(GFX_IMAGE_PNG_STORED);
    b.putInt32(3);
    b.putBytes("png", 3);
    b.putInt32(5);
    b.putInt32(operationLayer);
    b.putInt32(8);
    b.putInt32(0);
    std::vector<GfxSample> stroke = {{0, 0, 1}, {5, 5, 1}};
    GfxBlobRecord records[4];
    records[0].type = 52;
    records[1].type = 1;
    records[1].points = stroke.data();
    records[1].pointCount = 2;
    records[2].type = 7;
    records[2].imageIndex = 0;
    records[3].type = 15;
    records[3].layerIndex = 2;
    for (int i = 0; i < 4; ++i) {
        b.putInt32(i < 2 ? operationLayer : 1);
        gfxBlobPutRecord(&b, records[i], 2, scratch);
        if (i == 1) built.afterThirdOperation = b.size();
    }
    b.putInt32(1);
    b.putInt32(2);
    b.putInt32(1);
    gfxBlobPutRecord(&b, records[1], 2, scratch);
    built.bytes.assign(b.data(), b.data() + b.size());
    return built;
}

TEST_F(BlobFormatTest, ParserHandsOverEveryItemInOrder)
{
    BuiltBlob blob = buildBlob(allocator, &scratch, {0, 1}, 1);
    RecordingVisitor visitor;
    ASSERT_EQ(gfxBlobParse(blob.bytes.data(), blob.bytes.size(), allocator, &visitor), GFX_OK);
    EXPECT_EQ(visitor.got.order, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(visitor.got.layerNames, (std::vector<std::string>{"Bottom", "Middle", "Pasted"}));
    EXPECT_EQ(visitor.got.header.attributes.currentLayer, 1);
    EXPECT_EQ(visitor.got.images, (std::vector<int32_t>{GFX_IMAGE_PNG_STORED}));
    EXPECT_EQ(visitor.got.added, (std::vector<std::pair<int32_t, int32_t>>{{0, 0}}));
    using R = std::tuple<int32_t, int32_t, bool>;
    EXPECT_EQ(visitor.got.records,
              (std::vector<R>{{0, 52, false}, {0, 1, false}, {1, 7, false}, {1, 15, false}, {2, 1, true}}));
}

TEST_F(BlobFormatTest, OrderKeepsOnlyLayersThatExistOnceAndMovesTheCurrentLayer)
{
    struct Case {
        std::vector<int32_t> order;
        int32_t current;
        std::vector<int32_t> expected;
        int32_t expectedCurrent;
    };
    const Case cases[] = {
        {{-1, 0, 1}, 2, {0, 1}, 1},
        {{0, -5, 1}, 2, {0, 1}, 1},
        {{0, 1, -1}, 1, {0, 1}, 1},
        {{0, 7, 1, 0}, 3, {0, 1}, 1},   // 7 names no layer; the second 0 repeats
        {{0, 1}, 9, {0, 1}, 1},         // clamped to the last position
        {{-1, 0}, 0, {0}, 0},
        {{0, 1}, -1, {0, 1}, -1},
    };
    for (const Case& c : cases) {
        BuiltBlob blob = buildBlob(allocator, &scratch, c.order, c.current);
        RecordingVisitor visitor;
        ASSERT_EQ(gfxBlobParse(blob.bytes.data(), blob.bytes.size(), allocator, &visitor), GFX_OK);
        EXPECT_EQ(visitor.got.order, c.expected);
        EXPECT_EQ(visitor.got.header.attributes.currentLayer, c.expectedCurrent);
    }
    // No entry left: an empty sketch, and nothing after the order is handed over.
    BuiltBlob blob = buildBlob(allocator, &scratch, {-1, -2}, 0);
    RecordingVisitor visitor;
    ASSERT_EQ(gfxBlobParse(blob.bytes.data(), blob.bytes.size(), allocator, &visitor), GFX_OK);
    EXPECT_TRUE(visitor.got.order.empty());
    EXPECT_EQ(visitor.got.header.layerCount, 0);
    EXPECT_TRUE(visitor.got.records.empty());
}

TEST_F(BlobFormatTest, CutBlobsLoadAsFarAsTheyGo)
{
    BuiltBlob blob = buildBlob(allocator, &scratch, {0, 1}, 1);
    RecordingVisitor afterLayers;
    ASSERT_EQ(gfxBlobParse(blob.bytes.data(), blob.afterLayers, allocator, &afterLayers), GFX_OK);
    EXPECT_EQ(afterLayers.got.layerNames.size(), 3u) << "the layers are there";
    EXPECT_TRUE(afterLayers.got.records.empty()) << "without strokes";

    RecordingVisitor midway;
    ASSERT_EQ(gfxBlobParse(blob.bytes.data(), blob.afterThirdOperation + 10, allocator, &midway), GFX_OK);
    EXPECT_EQ(midway.got.records.size(), 2u) << "the operations before the cut one";

    for (size_t cut = 0; cut <= blob.bytes.size(); ++cut) {
        RecordingVisitor visitor;
        EXPECT_EQ(gfxBlobParse(blob.bytes.data(), cut, allocator, &visitor), GFX_OK) << cut;
    }
}

TEST_F(BlobFormatTest, ParserRefusesWhatNamesNothing)
{
    BuiltBlob badLayer = buildBlob(allocator, &scratch, {0, 1}, 1, /*operationLayer=*/3);
    RecordingVisitor visitor;
    EXPECT_EQ(gfxBlobParse(badLayer.bytes.data(), badLayer.bytes.size(), allocator, &visitor), GFX_ERR_INTERNAL);

    // The image record's index 0 with an image table that says 0 entries.
    BuiltBlob noImage = buildBlob(allocator, &scratch, {0, 1}, 1);
    noImage.bytes[noImage.afterLayers] = 0;
    std::vector<uint8_t> shifted(noImage.bytes.begin(), noImage.bytes.begin() + static_cast<long>(noImage.afterLayers) + 4);
    shifted.insert(shifted.end(), noImage.bytes.begin() + static_cast<long>(noImage.afterLayers) + 4 + 11,
                   noImage.bytes.end());
    RecordingVisitor second;
    EXPECT_EQ(gfxBlobParse(shifted.data(), shifted.size(), allocator, &second), GFX_ERR_INVALID);
}

TEST_F(BlobFormatTest, HostileCountsAllocateNothingLarge)
{
    auto blobWith = [&](int32_t orderCount, int32_t layerCount, int32_t images, int32_t imageLength,
                        int32_t operations) {
        GfxBlobBuffer b(allocator);
        b.putInt32(2);
        gfxBlobPutAttributes(&b, GfxSketchAttributes{});
        float identity[17] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1};
        b.putFloats(identity, 17);
        b.putInt32(orderCount);
        b.putInt32(0);
        b.putInt32(layerCount);
        gfxBlobPutLayer(&b, GfxBlobLayer{});
        b.putInt32(images);
        if (images > 0) {
            b.putInt32(GFX_IMAGE_JPEG);
            b.putInt32(imageLength);
        }
        b.putInt32(operations);
        b.putInt32(0);
        b.putInt32(54);
        b.putInt32(0);
        return std::vector<uint8_t>(b.data(), b.data() + b.size());
    };
    // A count that claims too much reads what follows as more of the same: the
    // result is a clean end or a clean refusal, never a large allocation.
    const std::pair<std::vector<uint8_t>, int32_t> cases[] = {
        {blobWith(INT32_MAX, 1, 0, 0, 0), GFX_OK},
        {blobWith(1, INT32_MAX, 0, 0, 0), GFX_ERR_INVALID},  // more layers than a blob may list
        {blobWith(1, GFX_BLOB_MAX_LAYERS, 0, 0, 0), GFX_OK},
        {blobWith(1, 1, INT32_MAX, 0, 0), GFX_ERR_INVALID},  // the operation's 54 read as an encoding
        {blobWith(1, 1, 1, INT32_MAX, 0), GFX_OK},
        {blobWith(1, 1, 0, 0, INT32_MAX), GFX_OK},
        {blobWith(-5, -5, -5, 0, -5), GFX_OK},
    };
    for (const auto& [blob, expected] : cases) {
        TestAllocator::peakBytes = TestAllocator::liveBytes;
        RecordingVisitor visitor;
        EXPECT_EQ(gfxBlobParse(blob.data(), blob.size(), allocator, &visitor), expected);
        EXPECT_LT(TestAllocator::peakBytes - TestAllocator::liveBytes, 1 << 20);
    }
}

}  // namespace
