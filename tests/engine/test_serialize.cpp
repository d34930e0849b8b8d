// Canvas serialization through the engine: save and load give the same canvas,
// history included; what is undone, cleared or deleted stays behind; images of
// every encoding, the paper, merged and pasted layers; precision of both versions;
// cut and damaged blobs.
#include "EngineTestSupport.h"
#include "GfxBlobFormat.h"
#include "GfxImageTexture.h"
#include "GfxLzma.h"
#include "GlTestContext.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ----------------------------------------------------------------------------------
// Poisoned memory: every block the engine allocates starts as 0xA5, so a field the
// loader forgets to set shows up in the comparison.
// ----------------------------------------------------------------------------------
void* poisonedAlloc(int32_t size, int32_t)
{
    void* block = std::malloc(static_cast<size_t>(size));
    if (block) std::memset(block, 0xA5, static_cast<size_t>(size));
    return block;
}
void poisonedFree(void* pointer, int32_t) { std::free(pointer); }
void* poisonedRealloc(void* pointer, int32_t size, int32_t) { return std::realloc(pointer, static_cast<size_t>(size)); }

// ----------------------------------------------------------------------------------
// Test images
// ----------------------------------------------------------------------------------
std::vector<uint8_t> makeJpeg(int width, int height, uint8_t shade)
{
    jpeg_compress_struct compress{};
    jpeg_error_mgr errors{};
    compress.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compress);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&compress, &out, &size);
    compress.image_width = static_cast<JDIMENSION>(width);
    compress.image_height = static_cast<JDIMENSION>(height);
    compress.input_components = 3;
    compress.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compress);
    jpeg_start_compress(&compress, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    while (compress.next_scanline < compress.image_height) {
        for (int x = 0; x < width; ++x) {
            row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(shade + x);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(compress.next_scanline * 3);
            row[static_cast<size_t>(x) * 3 + 2] = shade;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&compress, rows, 1);
    }
    jpeg_finish_compress(&compress);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&compress);
    std::free(out);
    return bytes;
}

std::vector<uint8_t> makeRgba(int width, int height, uint8_t seed)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(seed + i * 13);
    return pixels;
}

std::vector<uint8_t> makePng(int width, int height, uint8_t seed)
{
    std::vector<uint8_t> pixels = makeRgba(width, height, seed);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::vector<uint8_t> bytes(size);
    png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr);
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> decodePng(const uint8_t* bytes, int32_t length)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, static_cast<size_t>(length))) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    return pixels;
}

// ----------------------------------------------------------------------------------
// Describing a sketch for comparison
// ----------------------------------------------------------------------------------
std::string numbers(const float* values, int count)
{
    std::string text;
    char one[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(one, sizeof one, "%s%.6g", i ? "," : "", static_cast<double>(values[i]));
        text += one;
    }
    return text;
}

struct CanvasDump {
    std::vector<std::string> lines;                 // everything exact
    std::vector<std::vector<GfxSample>> pointLists; // freehand points, compared with a tolerance
};

void describeLayer(const GfxSketch* sketch, const GfxLayer* layer, int32_t from, CanvasDump* d, int depth);

void describeRecord(const GfxSketch* sketch, const GfxLayer* layer, int32_t index, CanvasDump* d, int depth,
                    bool withPointCounts)
{
    const GfxRecordEntry entry = *gfxRecordAt(layer, index);
    std::string line = std::string(static_cast<size_t>(depth) * 2, ' ') + std::to_string(entry.type) + ":";
    switch (entry.type) {
    case GFX_RECORD_FREEHAND: {
        std::vector<GfxSample> points = pointsOf(layer, index);
        if (withPointCounts) line += std::to_string(points.size());
        d->pointLists.push_back(points);
        break;
    }
    case GFX_RECORD_MULTI_LINE:
    case GFX_RECORD_POLYGON: {
        // Corner points are stored as floats: exact.
        for (const GfxSample& p : pointsOf(layer, index)) line += numbers(&p.x, 3) + ";";
        const GfxPointListRecord header = gfxReadPayload<GfxPointListRecord>(layer, entry);
        line += " box " + numbers(header.bounds, 4);
        break;
    }
    case GFX_RECORD_LINE: {
        const GfxLineRecord r = gfxReadPayload<GfxLineRecord>(layer, entry);
        line += numbers(r.bounds, 4) + " " + numbers(&r.start.x, 3) + " " + numbers(&r.end.x, 3);
        break;
    }
    case GFX_RECORD_RECTANGLE:
    case GFX_RECORD_ELLIPSE: {
        const GfxShapeRecord r = gfxReadPayload<GfxShapeRecord>(layer, entry);
        line += numbers(&r.centreX, 5);
        break;
    }
    case GFX_RECORD_IMAGE: {
        const GfxImageRecord r = gfxReadPayload<GfxImageRecord>(layer, entry);
        line += numbers(&r.centreX, 5) + " size " + std::to_string(r.textureWidth) + "x" +
                std::to_string(r.textureHeight) + " texture " + (r.texture ? "yes" : "none");
        // Raw pixels come back as a PNG of the same pixels.
        if (r.encoding == GFX_IMAGE_RAW_RGBA)
            line += " pixels " + std::to_string(r.encodedLength);
        else if (r.encoding == GFX_IMAGE_PNG_STORED && decodePng(r.encodedBytes, r.encodedLength).size() > 0)
            line += " pixels " + std::to_string(decodePng(r.encodedBytes, r.encodedLength).size());
        else
            line += " jpeg " + std::to_string(r.encodedLength);
        std::vector<uint8_t> pixels = r.encoding == GFX_IMAGE_RAW_RGBA
                                          ? std::vector<uint8_t>(r.encodedBytes, r.encodedBytes + r.encodedLength)
                                          : r.encoding == GFX_IMAGE_PNG_STORED ? decodePng(r.encodedBytes, r.encodedLength)
                                                                               : std::vector<uint8_t>(r.encodedBytes, r.encodedBytes + r.encodedLength);
        uint32_t sum = 0;
        for (uint8_t b : pixels) sum = sum * 31 + b;
        line += " sum " + std::to_string(sum);
        break;
    }
    case GFX_RECORD_LAYER_MERGED: {
        const GfxMergeRecord r = gfxReadPayload<GfxMergeRecord>(layer, entry);
        line += numbers(&r.mergedOpacity, 2) + " " + numbers(r.view.m, 16) + " " + numbers(&r.viewScale, 1);
        d->lines.push_back(line);
        const GfxLayer* merged = gfxLayerAtSlot(sketch, r.mergedSlot);
        describeLayer(sketch, merged, merged->baseIndex, d, depth + 1);
        return;
    }
    case GFX_RECORD_LAYER_TRANSFORMED:
    case GFX_RECORD_FRAME: {
        const GfxFrameRecord r = gfxReadPayload<GfxFrameRecord>(layer, entry);
        line += numbers(r.matrix.m, 16) + " " + numbers(&r.widthFactor, 1);
        break;
    }
    case GFX_RECORD_REGION_CUT: line += numbers(gfxReadPayload<GfxCutRecord>(layer, entry).rect, 4); break;
    case GFX_RECORD_CLIPBOARD_PASTED: {
        const GfxPasteRecord r = gfxReadPayload<GfxPasteRecord>(layer, entry);
        line += numbers(r.sourceRect, 4) + " " + numbers(r.placement.m, 16) + " " + numbers(&r.placementScale, 1) +
                " " + numbers(r.clipView.m, 16) + " " + numbers(&r.clipViewScale, 1);
        d->lines.push_back(line);
        describeLayer(sketch, gfxLayerAtSlot(sketch, r.pastedSlot), 0, d, depth + 1);
        return;
    }
    case GFX_RECORD_PEN: {
        const GfxPenRecord r = gfxReadPayload<GfxPenRecord>(layer, entry);
        line += std::to_string(r.penType) + " " + numbers(&r.penNoise, 5);
        break;
    }
    case GFX_RECORD_COLOUR: {
        const GfxColourRecord r = gfxReadPayload<GfxColourRecord>(layer, entry);
        line += std::to_string(r.rgb[0]) + "," + std::to_string(r.rgb[1]) + "," + std::to_string(r.rgb[2]);
        break;
    }
    case GFX_RECORD_ERASE: line += std::to_string(gfxReadPayload<GfxEraseRecord>(layer, entry).eraseMode); break;
    default: break;
    }
    d->lines.push_back(line);
}

bool describePointCounts = true;

void describeLayer(const GfxSketch* sketch, const GfxLayer* layer, int32_t from, CanvasDump* d, int depth)
{
    d->lines.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + "layer '" + layer->name + "' " +
                       numbers(&layer->opacity, 1) + " visible " + std::to_string(layer->visible) + " " +
                       numbers(layer->matrix.m, 16) + " " + numbers(&layer->scale, 1) + " holds " +
                       std::to_string(layer->refCount));
    for (int32_t i = from; i < layer->records.cursor; ++i)
        describeRecord(sketch, layer, i, d, depth + 1, describePointCounts);
}

CanvasDump describe(const GfxSketch* sketch)
{
    CanvasDump d;
    const GfxSketchAttributes& a = sketch->attributes;
    d.lines.push_back("current " + std::to_string(a.currentLayer) + " paper " + std::to_string(a.paperTextureMode) +
                      " " + std::to_string(a.paperColour[0]) + " " + numbers(&a.paperTextureStrength, 1) + " " +
                      std::to_string(a.paperTint) + std::to_string(a.paperMultiScale) + " pen " +
                      std::to_string(a.penType) + " " + std::to_string(a.penColour[1]) + " " +
                      numbers(&a.penNoise, 5) + " erase " + std::to_string(a.eraseMode) + " smoothing " +
                      std::to_string(a.smoothingLevel) + " width " + numbers(&a.widthScale, 1));
    d.lines.push_back("view " + numbers(sketch->view.m, 16) + " " + numbers(&sketch->viewScale, 1));
    for (int32_t position = 0; position < sketch->layerCount; ++position) {
        const GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        describeLayer(sketch, layer, layer->baseIndex, &d, 0);
    }
    return d;
}

// The kinds of the done part of the history.
std::vector<int32_t> doneKinds(const GfxSketch* sketch)
{
    std::vector<int32_t> kinds;
    for (int32_t i = 0; i < sketch->history.cursor; ++i) kinds.push_back(gfxHistoryAt(sketch, i)->kind);
    return kinds;
}

// ----------------------------------------------------------------------------------
// Fixture
// ----------------------------------------------------------------------------------
class SerializeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(glTestContextMakeCurrent());
        system = gfxCreateSystemWithAllocator(GfxAllocator{poisonedAlloc, poisonedFree, poisonedRealloc, 0});
        ASSERT_NE(system, nullptr);
        sketch = newSketch();
        describePointCounts = true;
    }
    void TearDown() override
    {
        gfxSetImageTextureSizeLimit(GFX_IMAGE_TEXTURE_NO_LIMIT);
        gfxDestroySystem(system);
    }

    GfxSketch* newSketch()
    {
        GfxSketch* s = gfxCreateSketch(system, nullptr);
        gfxSetViewport(s, 0, 0, 400, 300);
        GfxLayerAttributes first;
        first.flags = GFX_LAYER_NAME;
        std::strcpy(first.name, "Layer 1");
        gfxAddLayer(s, &first);
        return s;
    }
    int32_t error() { return gfxGetLastError(system); }

    std::vector<uint8_t> save(GfxSketch* from, int32_t format)
    {
        uint8_t* blob = gfxSerializeSketch(from, format);
        EXPECT_NE(blob, nullptr) << "error " << error();
        if (!blob) return {};
        const uint32_t following = gfxReadLittleEndian32(blob);
        std::vector<uint8_t> bytes(blob, blob + following + 4);
        GfxSystemAttributes hooks;
        hooks.flags = GFX_SYSTEM_FREE | GFX_SYSTEM_USER_DATA;
        gfxGetSystemAttributes(system, &hooks);
        hooks.free(blob, hooks.userData);
        return bytes;
    }
    GfxSketch* load(const std::vector<uint8_t>& blob)
    {
        return gfxCreateSketchFromBlob(system, blob.data(), static_cast<int32_t>(blob.size()));
    }
    GfxSketch* roundTrip(GfxSketch* from, int32_t format)
    {
        std::vector<uint8_t> blob = save(from, format);
        GfxSketch* loaded = load(blob);
        EXPECT_NE(loaded, nullptr) << "error " << error();
        return loaded;
    }
    // Decompressed raw blob, for looking at items.
    std::vector<uint8_t> rawOf(const std::vector<uint8_t>& blob)
    {
        size_t rawBytes = 0;
        uint8_t* raw = gfxBlobDecompress(system->allocator, blob.data(), blob.size(), &rawBytes);
        std::vector<uint8_t> bytes(raw, raw + rawBytes);
        system->allocator.release(raw);
        return bytes;
    }
    std::vector<uint8_t> recompress(const std::vector<uint8_t>& raw)
    {
        size_t blobBytes = 0;
        uint8_t* blob = gfxBlobCompress(system->allocator, raw.data(), raw.size(), &blobBytes);
        std::vector<uint8_t> bytes(blob, blob + blobBytes);
        system->allocator.release(blob);
        return bytes;
    }

    void setAttributes(GfxSketch* s, int32_t flags, const GfxSketchAttributes& values)
    {
        GfxSketchAttributes a = values;
        a.flags = flags;
        gfxSetSketchAttributes(s, &a);
    }
    void placeImage(GfxSketch* s, int32_t encoding, const std::vector<uint8_t>& bytes, int width = 0, int height = 0,
                    float x = 100)
    {
        GfxElementInput input;
        input.kind = GFX_ELEMENT_IMAGE;
        input.rect[0] = x;
        input.rect[1] = 80;
        input.rect[2] = 40;
        input.rect[3] = 30;
        input.angle = 10;
        input.imageEncoding = encoding;
        input.imageLength = static_cast<int32_t>(bytes.size());
        input.imageWidth = width;
        input.imageHeight = height;
        input.imageData = bytes.data();
        gfxBeginElement(s, &input);
        ASSERT_EQ(error(), GFX_OK);
        gfxEndElement(s, &input);
        ASSERT_EQ(error(), GFX_OK);
    }
    void gesture(GfxSketch* s, bool layer, int32_t kind, float amount)
    {
        GfxGesture g;
        g.kind = kind;
        g.centreX = 200;
        g.centreY = 150;
        g.scaleX = g.scaleY = kind == GFX_GESTURE_ZOOM ? amount : 1;
        g.angle = kind == GFX_GESTURE_ROTATE ? amount : 0;
        g.translateX = kind == GFX_GESTURE_PAN ? amount : 0;
        if (layer) {
            gfxBeginLayerGesture(s, &g);
            gfxEndLayerGesture(s, &g);
        } else {
            gfxBeginViewGesture(s, &g);
            gfxEndViewGesture(s, &g);
        }
        ASSERT_EQ(error(), GFX_OK);
    }
    void addLayer(GfxSketch* s, const char* name)
    {
        GfxLayerAttributes attributes;
        attributes.flags = GFX_LAYER_NAME;
        std::strcpy(attributes.name, name);
        gfxAddLayer(s, &attributes);
        ASSERT_EQ(error(), GFX_OK);
    }

    // A canvas with one record of every type, several layers, a merge and a paste.
    void drawEverything(GfxSketch* s)
    {
        GfxSketchAttributes pen;
        pen.penType = 0;
        pen.penWidth = 6;
        pen.penColour[0] = 200;
        pen.penColour[1] = 20;
        pen.penNoise = 0.25f;
        setAttributes(s, GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_COLOUR | GFX_SKETCH_PEN_NOISE, pen);
        std::vector<GfxSample> wave;
        for (int i = 0; i < 60; ++i)
            wave.push_back({20.0f + i * 4.5f, 150.0f + 30.0f * std::sin(i * 0.2f), 0.3f + 0.01f * i});
        ASSERT_EQ(drawStroke(s, wave), GFX_OK);
        ASSERT_EQ(drawElement(s, GFX_ELEMENT_LINE, {{10, 10, 0.5f}, {90, 40, 0.9f}}), GFX_OK);
        ASSERT_EQ(drawElement(s, GFX_ELEMENT_MULTI_LINE, {{10, 200, 1}, {50, 220, 1}, {80, 190, 1}}), GFX_OK);
        ASSERT_EQ(drawElement(s, GFX_ELEMENT_POLYGON, {{200, 200, 1}, {250, 220, 1}, {230, 260, 1}}), GFX_OK);
        const float box[4] = {300, 100, 40, 20};
        ASSERT_EQ(drawElement(s, GFX_ELEMENT_RECTANGLE, {}, box, 30), GFX_OK);
        ASSERT_EQ(drawElement(s, GFX_ELEMENT_ELLIPSE, {}, box, -15), GFX_OK);
        GfxSketchAttributes erase;
        erase.eraseMode = 1;
        setAttributes(s, GFX_SKETCH_ERASE_MODE, erase);
        ASSERT_EQ(drawStrokeAt(s, 30, 150), GFX_OK);
        erase.eraseMode = 0;
        setAttributes(s, GFX_SKETCH_ERASE_MODE, erase);
        placeImage(s, GFX_IMAGE_JPEG, makeJpeg(16, 8, 40));
        placeImage(s, GFX_IMAGE_PNG, makePng(5, 7, 3), 0, 0, 150);
        placeImage(s, GFX_IMAGE_RAW_RGBA, makeRgba(3, 2, 9), 3, 2, 200);
        gesture(s, false, GFX_GESTURE_ZOOM, 2.0f);  // a new frame before the next element
        ASSERT_EQ(drawStrokeAt(s, 50, 60), GFX_OK);
        gesture(s, true, GFX_GESTURE_ROTATE, 20);   // record 13
        ASSERT_EQ(gfxCutRegion(s, 0, 0, 120, 60), 1);
        gfxPasteClipboard(s, 150, 150);              // record 15 and a referenced layer
        ASSERT_EQ(error(), GFX_OK);
        addLayer(s, "Upper");
        ASSERT_EQ(drawStrokeAt(s, 10, 250), GFX_OK);
        gfxMergeLayerDown(s);                        // record 12
        ASSERT_EQ(error(), GFX_OK);
        addLayer(s, "Hidden half");
        ASSERT_EQ(drawElement(s, GFX_ELEMENT_LINE, {{5, 5, 1}, {6, 290, 1}}), GFX_OK);
        GfxLayerAttributes settings;
        settings.flags = GFX_LAYER_OPACITY | GFX_LAYER_VISIBLE;
        settings.opacity = 0.5f;
        settings.visible = 0;
        gfxSetLayerAttributes(s, 1, &settings);
    }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

void expectSameCanvas(const CanvasDump& saved, const CanvasDump& loaded, float pointTolerance)
{
    ASSERT_EQ(saved.lines.size(), loaded.lines.size());
    for (size_t i = 0; i < saved.lines.size(); ++i) EXPECT_EQ(saved.lines[i], loaded.lines[i]) << "line " << i;
    ASSERT_EQ(saved.pointLists.size(), loaded.pointLists.size());
    for (size_t s = 0; s < saved.pointLists.size(); ++s) {
        const auto& a = saved.pointLists[s];
        const auto& b = loaded.pointLists[s];
        ASSERT_EQ(a.size(), b.size()) << "stroke " << s;
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(a[i].x, b[i].x, pointTolerance) << "stroke " << s << " point " << i;
            EXPECT_NEAR(a[i].y, b[i].y, pointTolerance) << "stroke " << s << " point " << i;
            EXPECT_NEAR(a[i].pressure, b[i].pressure, 1.0f / 1024) << "stroke " << s << " point " << i;
        }
    }
}

// ----------------------------------------------------------------------------------
// Whole canvases
// ----------------------------------------------------------------------------------
TEST_F(SerializeTest, EveryRecordTypeLayerAndImageComesBackVersion2)
{
    drawEverything(sketch);
    GfxSketch* loaded = roundTrip(sketch, 0);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(error(), GFX_OK);
    expectSameCanvas(describe(sketch), describe(loaded), 1.0f / 32);
    // The same history: undo works, nothing to redo.
    EXPECT_EQ(doneKinds(loaded), doneKinds(sketch));
    EXPECT_EQ(loaded->history.count, loaded->history.cursor);
    // Every element has its cells again.
    for (int32_t slot = 0; slot < loaded->layerTable.count; ++slot) {
        const GfxLayer* layer = gfxLayerAtSlot(loaded, slot);
        for (int32_t i = 0; layer && i < layer->records.count; ++i) {
            GfxVertexRange range;
            const GfxRecordEntry entry = *gfxRecordAt(layer, i);
            if (!gfxIsStrokeType(entry.type) || !gfxElementVertexRange(layer, entry, &range)) continue;
            EXPECT_GE(range.first, 0) << "slot " << slot << " record " << i;
        }
    }
}

TEST_F(SerializeTest, UndoingStepByStepAfterLoadingMatchesTheOriginal)
{
    drawEverything(sketch);
    GfxSketch* loaded = roundTrip(sketch, 0);
    ASSERT_NE(loaded, nullptr);
    int steps = 0;
    while (sketch->history.cursor > 1) {
        gfxUndo(sketch);
        ASSERT_EQ(error(), GFX_OK);
        gfxUndo(loaded);
        ASSERT_EQ(error(), GFX_OK) << "undo " << steps;
        ASSERT_EQ(describe(loaded).lines, describe(sketch).lines) << "after undo " << steps;
        ++steps;
    }
    EXPECT_GT(steps, 15);
}

TEST_F(SerializeTest, Version3KeepsPositionsWithinAQuarterPixel)
{
    drawEverything(sketch);
    describePointCounts = false;  // version 3 simplifies
    CanvasDump saved = describe(sketch);
    GfxSketch* loaded = roundTrip(sketch, 1);
    ASSERT_NE(loaded, nullptr);
    CanvasDump back = describe(loaded);
    ASSERT_EQ(saved.lines, back.lines);
    ASSERT_EQ(saved.pointLists.size(), back.pointLists.size());
    for (size_t s = 0; s < saved.pointLists.size(); ++s) {
        const auto& original = saved.pointLists[s];
        const auto& decoded = back.pointLists[s];
        ASSERT_FALSE(decoded.empty());
        EXPECT_EQ(decoded.front().x, original.front().x) << "the first point is exact";
        EXPECT_NEAR(decoded.back().x, original.back().x, 0.25f);
        EXPECT_NEAR(decoded.back().y, original.back().y, 0.25f);
        // Each written point lies within a quarter pixel of a stored one (or on a
        // split segment between two of them).
        for (const GfxSample& p : decoded) {
            float best = INFINITY;
            for (size_t i = 0; i + 1 < original.size() || i == 0; ++i) {
                const GfxSample& a = original[i];
                const GfxSample& b = original[std::min(i + 1, original.size() - 1)];
                float dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
                float t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0f, 1.0f) : 0.0f;
                best = std::min(best, std::max(std::fabs(a.x + t * dx - p.x), std::fabs(a.y + t * dy - p.y)));
                if (original.size() == 1) break;
            }
            EXPECT_LT(best, 0.25f);
        }
    }
}

TEST_F(SerializeTest, FullPressureComesBackAs1023Over1024Or63Over64)
{
    std::vector<GfxSample> stroke;
    for (int i = 0; i < 30; ++i) stroke.push_back({10.0f + i * 7, 50.0f + (i % 3) * 4, 1.0f});
    ASSERT_EQ(drawStroke(sketch, stroke), GFX_OK);
    const std::pair<int32_t, float> cases[] = {{0, 1023.0f / 1024}, {1, 63.0f / 64}};
    for (auto [format, expected] : cases) {
        GfxSketch* loaded = roundTrip(sketch, format);
        ASSERT_NE(loaded, nullptr);
        const GfxLayer* layer = gfxLayerAtPosition(loaded, 0);
        std::vector<GfxSample> points = pointsOf(layer, liveElements(layer)[0]);
        ASSERT_GT(points.size(), 2u);
        EXPECT_EQ(points[0].pressure, 1.0f) << "the first point is stored as floats";
        for (size_t i = 1; i < points.size(); ++i) EXPECT_EQ(points[i].pressure, expected) << format << " " << i;
        gfxDestroySketch(loaded);
    }
}

// ----------------------------------------------------------------------------------
// What stays behind
// ----------------------------------------------------------------------------------
TEST_F(SerializeTest, UndoneStrokesAreNotSavedAndNothingIsLeftToRedo)
{
    for (int i = 0; i < 6; ++i) ASSERT_EQ(drawStrokeAt(sketch, 10.0f + i * 30, 20), GFX_OK);
    for (int i = 0; i < 3; ++i) gfxUndo(sketch);
    GfxSketch* loaded = roundTrip(sketch, 0);
    ASSERT_NE(loaded, nullptr);
    const GfxLayer* layer = gfxLayerAtPosition(loaded, 0);
    ASSERT_EQ(liveElements(layer).size(), 3u);
    EXPECT_EQ(pointsOf(layer, liveElements(layer)[2])[0].x, 70.0f);
    GfxSketchAttributes kinds;
    kinds.flags = GFX_SKETCH_UNDO_KIND | GFX_SKETCH_REDO_KIND;
    gfxGetSketchAttributes(loaded, &kinds);
    EXPECT_EQ(kinds.redoKind, 0);
    EXPECT_EQ(kinds.undoKind, GFX_RECORD_FREEHAND);
    EXPECT_EQ(doneKinds(loaded), (std::vector<int32_t>{8, 1, 1, 1}));
    gfxRedo(loaded);
    EXPECT_EQ(liveElements(gfxLayerAtPosition(loaded, 0)).size(), 3u) << "redo has nothing to bring back";
}

TEST_F(SerializeTest, ACleredLayerSavesOnlyWhatCameAfterTheClear)
{
    ASSERT_EQ(drawStrokeAt(sketch, 10, 10), GFX_OK);
    ASSERT_EQ(drawStrokeAt(sketch, 50, 10), GFX_OK);
    gfxClearLayer(sketch);
    ASSERT_EQ(drawStrokeAt(sketch, 90, 10), GFX_OK);
    addLayer(sketch, "Second");
    ASSERT_EQ(drawStrokeAt(sketch, 10, 100), GFX_OK);
    gfxClearCanvas(sketch);
    ASSERT_EQ(drawStrokeAt(sketch, 130, 100), GFX_OK);
    GfxSketch* loaded = roundTrip(sketch, 0);
    ASSERT_NE(loaded, nullptr);
    expectSameCanvas(describe(sketch), describe(loaded), 1.0f / 32);
    const GfxLayer* bottom = gfxLayerAtPosition(loaded, 0);
    const GfxLayer* top = gfxLayerAtPosition(loaded, 1);
    EXPECT_EQ(bottom->records.count, 0) << "nothing before the clears is in the file";
    ASSERT_EQ(liveElements(top).size(), 1u);
    EXPECT_EQ(pointsOf(top, liveElements(top)[0])[0].x, 130.0f);
    // Nothing to undo but the strokes and the layers: the clears are not there.
    EXPECT_EQ(doneKinds(loaded), (std::vector<int32_t>{8, 8, 1}));
}

TEST_F(SerializeTest, DeletedLayersStayBehindMergedAndPastedLayersComeWhole)
{
    ASSERT_EQ(drawStrokeAt(sketch, 10, 10), GFX_OK);
    addLayer(sketch, "Deleted");
    ASSERT_EQ(drawStrokeAt(sketch, 10, 50), GFX_OK);
    gfxDeleteLayer(sketch);
    addLayer(sketch, "Merged");
    ASSERT_EQ(drawStrokeAt(sketch, 10, 90), GFX_OK);
    ASSERT_EQ(drawStrokeAt(sketch, 40, 90), GFX_OK);
    gfxMergeLayerDown(sketch);
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 100, 100), 1);
    gfxPasteClipboard(sketch, 200, 200);
    ASSERT_EQ(error(), GFX_OK);

    std::vector<uint8_t> blob = save(sketch, 0);
    GfxSketch* loaded = load(blob);
    ASSERT_NE(loaded, nullptr);
    expectSameCanvas(describe(sketch), describe(loaded), 1.0f / 32);
    // Four layers in the file: the bottom, the merged one, the pasted copy and the
    // copy of the merged layer that the copied region took along inside it.
    std::vector<uint8_t> raw = rawOf(blob);
    int32_t layerCount = 0;
    const size_t layerListAt = 4 + GFX_BLOB_ATTRIBUTES_BYTES + 68 + 4 + 4;
    std::memcpy(&layerCount, raw.data() + layerListAt, 4);
    EXPECT_EQ(layerCount, 4);
    for (int32_t slot = 0; slot < loaded->layerTable.count; ++slot)
        EXPECT_STRNE(gfxLayerAtSlot(loaded, slot)->name, "Deleted");

    // The loaded merge undoes like the original: the merged layer returns with its strokes.
    gfxUndo(loaded);  // the paste
    gfxUndo(loaded);  // the merge
    ASSERT_EQ(error(), GFX_OK);
    ASSERT_EQ(loaded->layerCount, 2);
    const GfxLayer* merged = gfxLayerAtPosition(loaded, 1);
    EXPECT_STREQ(merged->name, "Merged");
    EXPECT_EQ(liveElements(merged).size(), 2u);
}

// ----------------------------------------------------------------------------------
// Images and paper
// ----------------------------------------------------------------------------------
TEST_F(SerializeTest, ImagesKeepTheirBytesAndRawPixelsBecomePng)
{
    std::vector<uint8_t> jpeg = makeJpeg(24, 16, 90);
    std::vector<uint8_t> png = makePng(9, 4, 77);
    std::vector<uint8_t> raw = makeRgba(7, 5, 1);
    placeImage(sketch, GFX_IMAGE_JPEG, jpeg);
    placeImage(sketch, GFX_IMAGE_PNG, png);
    placeImage(sketch, GFX_IMAGE_RAW_RGBA, raw, 7, 5);
    // An image that had to be halved for the GPU still finds its pixel size.
    gfxSetImageTextureSizeLimit(3);
    std::vector<uint8_t> halved = makeRgba(13, 6, 2);
    placeImage(sketch, GFX_IMAGE_RAW_RGBA, halved, 13, 6);
    gfxSetImageTextureSizeLimit(GFX_IMAGE_TEXTURE_NO_LIMIT);

    GfxSketch* loaded = roundTrip(sketch, 0);
    ASSERT_NE(loaded, nullptr);
    const GfxLayer* layer = gfxLayerAtPosition(loaded, 0);
    std::vector<int32_t> images = liveElements(layer);
    ASSERT_EQ(images.size(), 4u);
    auto record = [&](int i) { return gfxReadPayload<GfxImageRecord>(layer, *gfxRecordAt(layer, images[i])); };
    EXPECT_EQ(record(0).encoding, GFX_IMAGE_JPEG);
    EXPECT_EQ(std::vector<uint8_t>(record(0).encodedBytes, record(0).encodedBytes + record(0).encodedLength), jpeg);
    EXPECT_EQ(record(1).encoding, GFX_IMAGE_PNG_STORED);
    EXPECT_EQ(std::vector<uint8_t>(record(1).encodedBytes, record(1).encodedBytes + record(1).encodedLength), png);
    for (int i : {2, 3}) {
        EXPECT_EQ(record(i).encoding, GFX_IMAGE_PNG_STORED) << "raw pixels are kept as PNG";
        EXPECT_EQ(decodePng(record(i).encodedBytes, record(i).encodedLength), i == 2 ? raw : halved);
        EXPECT_NE(record(i).texture, 0u);
    }
    EXPECT_EQ(record(2).textureWidth, 7);
    // And it saves again, now as the PNG it became.
    GfxSketch* again = roundTrip(loaded, 1);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(describe(again).lines, describe(loaded).lines);
}

TEST_F(SerializeTest, ThePaperImageIsTheFirstTableEntryAndComesBack)
{
    std::vector<uint8_t> paper = makeJpeg(32, 32, 200);
    GfxSketchAttributes a;
    a.paperTextureMode = 1;
    a.paperImage.source = 0;
    a.paperImage.paperId = 12;
    a.paperImage.encoding = GFX_IMAGE_JPEG;
    a.paperImage.length = static_cast<int32_t>(paper.size());
    a.paperImage.data = paper.data();
    setAttributes(sketch, GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_IMAGE, a);
    ASSERT_EQ(error(), GFX_OK);
    std::vector<uint8_t> placed = makeJpeg(8, 8, 5);
    placeImage(sketch, GFX_IMAGE_JPEG, placed);

    GfxSketch* loaded = roundTrip(sketch, 0);
    ASSERT_NE(loaded, nullptr);
    GfxSketchAttributes back;
    back.flags = GFX_SKETCH_PAPER_IMAGE | GFX_SKETCH_PAPER_TEXTURE_MODE;
    gfxGetSketchAttributes(loaded, &back);
    EXPECT_EQ(back.paperTextureMode, 1);
    EXPECT_EQ(back.paperImage.paperId, 12);
    ASSERT_EQ(back.paperImage.length, static_cast<int32_t>(paper.size()));
    EXPECT_EQ(0, std::memcmp(back.paperImage.data, paper.data(), paper.size()));
    EXPECT_NE(loaded->paper.pixels, nullptr) << "the paper texture is decoded again";
    const GfxLayer* layer = gfxLayerAtPosition(loaded, 0);
    const GfxImageRecord image = gfxReadPayload<GfxImageRecord>(layer, *gfxRecordAt(layer, liveElements(layer)[0]));
    EXPECT_EQ(std::vector<uint8_t>(image.encodedBytes, image.encodedBytes + image.encodedLength), placed)
        << "the placed image is not mistaken for the paper";

    // A paper stored in another encoding is not in the table: the first placed JPEG
    // must not become the paper.
    a.paperImage.encoding = 4;
    setAttributes(sketch, GFX_SKETCH_PAPER_IMAGE, a);
    GfxSketch* second = roundTrip(sketch, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->paper.pixels, nullptr);
    EXPECT_EQ(second->attributes.paperImage.length, 0);
}

// ----------------------------------------------------------------------------------
// Cut and damaged blobs, busy sketches
// ----------------------------------------------------------------------------------
TEST_F(SerializeTest, ABlobCutAfterTheLayerListLoadsTheLayersWithoutStrokes)
{
    ASSERT_EQ(drawStrokeAt(sketch, 10, 10), GFX_OK);
    addLayer(sketch, "Second");
    ASSERT_EQ(drawStrokeAt(sketch, 10, 40), GFX_OK);
    std::vector<uint8_t> raw = rawOf(save(sketch, 0));
    const size_t afterLayers = 4 + GFX_BLOB_ATTRIBUTES_BYTES + 68 + 4 + 2 * 4 + 4 + 2 * GFX_BLOB_LAYER_BYTES;
    raw.resize(afterLayers);
    GfxSketch* loaded = load(recompress(raw));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(error(), GFX_OK);
    ASSERT_EQ(loaded->layerCount, 2);
    EXPECT_STREQ(gfxLayerAtPosition(loaded, 1)->name, "Second");
    EXPECT_EQ(gfxLayerAtPosition(loaded, 0)->records.count, 0);
    EXPECT_EQ(gfxLayerAtPosition(loaded, 1)->records.count, 0);
    EXPECT_EQ(loaded->attributes.currentLayer, 1);
}

TEST_F(SerializeTest, EveryCutOfARawBlobLoadsCleanly)
{
    drawEverything(sketch);
    std::vector<uint8_t> raw = rawOf(save(sketch, 1));
    // Every 97th cut, so the test stays quick; each one must load or fail cleanly.
    for (size_t cut = 0; cut < raw.size(); cut += 97) {
        std::vector<uint8_t> part(raw.begin(), raw.begin() + static_cast<long>(cut));
        GfxSketch* loaded = part.empty() ? nullptr : load(recompress(part));
        if (loaded) gfxDestroySketch(loaded);
        else if (!part.empty()) ADD_FAILURE() << "cut at " << cut << " gave error " << error();
    }
}

TEST_F(SerializeTest, DamagedBlobsGiveTheirCodeAndNoSketch)
{
    ASSERT_EQ(drawStrokeAt(sketch, 10, 10), GFX_OK);
    std::vector<uint8_t> blob = save(sketch, 0);
    std::vector<uint8_t> raw = rawOf(blob);
    const size_t operationsAt = 4 + GFX_BLOB_ATTRIBUTES_BYTES + 68 + 4 + 4 + 4 + GFX_BLOB_LAYER_BYTES + 4;
    auto withWord = [&](size_t offset, int32_t value) {
        std::vector<uint8_t> changed = raw;
        std::memcpy(changed.data() + offset, &value, 4);
        return recompress(changed);
    };
    std::vector<uint8_t> truncatedStream(blob.begin(), blob.end() - 5);
    gfxWriteLittleEndian32(truncatedStream.data(), static_cast<uint32_t>(truncatedStream.size() - 4));
    struct Case {
        const char* name;
        std::vector<uint8_t> blob;
        int32_t expected;
    };
    const Case cases[] = {
        {"stream cut short", truncatedStream, GFX_ERR_FAILED},
        {"not a blob", std::vector<uint8_t>(40, 0x5A), GFX_ERR_FAILED},
        {"operation on layer 5", withWord(operationsAt + 4, 5), GFX_ERR_INTERNAL},
        {"record type 99", withWord(operationsAt + 8, 99), GFX_ERR_INVALID},
        {"freehand in version 9", withWord(0, 9), GFX_ERR_INVALID},
    };
    for (const Case& c : cases) {
        const int32_t sketchesBefore = system->sketches.count;
        EXPECT_EQ(load(c.blob), nullptr) << c.name;
        EXPECT_EQ(error(), c.expected) << c.name;
        // The half-built sketch is gone again.
        for (int32_t id = sketchesBefore; id < system->sketches.count; ++id)
            EXPECT_EQ(gfxSketchById(system, id), nullptr) << c.name;
    }
    EXPECT_EQ(gfxCreateSketchFromBlob(system, nullptr, 0), nullptr);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
}

TEST_F(SerializeTest, SavingWhileSomethingIsOpenIsRefused)
{
    GfxSample first{10, 10, 0.5f};
    GfxElementInput input;
    input.sampleCount = 1;
    input.samples = &first;
    gfxBeginElement(sketch, &input);
    EXPECT_EQ(gfxSerializeSketch(sketch, 0), nullptr);
    EXPECT_EQ(error(), GFX_ERR_INTERNAL);
    gfxEndElement(sketch, &input);
    GfxGesture pan;
    pan.kind = GFX_GESTURE_PAN;
    gfxBeginViewGesture(sketch, &pan);
    EXPECT_EQ(gfxSerializeSketch(sketch, 0), nullptr);
    EXPECT_EQ(error(), GFX_ERR_INTERNAL);
    gfxEndViewGesture(sketch, &pan);
    EXPECT_NE(save(sketch, 0).size(), 0u);
}

TEST_F(SerializeTest, FailingMemoryWhileSavingGivesNullAndError1)
{
    CountingAllocator::reset();
    GfxSystem* counting = gfxCreateSystemWithAllocator(CountingAllocator::allocator());
    GfxSketch* s = gfxCreateSketch(counting, nullptr);
    gfxSetViewport(s, 0, 0, 100, 100);
    gfxAddLayer(s, nullptr);
    ASSERT_EQ(drawStrokeAt(s, 10, 10), GFX_OK);
    for (int64_t after = 0; after < 40; ++after) {
        const int64_t live = CountingAllocator::liveBytes;
        CountingAllocator::failAfter = after;
        uint8_t* blob = gfxSerializeSketch(s, static_cast<int32_t>(after % 2));
        CountingAllocator::failAfter = -1;
        if (blob) {
            CountingAllocator::free(blob, 0);
            break;
        }
        EXPECT_EQ(gfxGetLastError(counting), GFX_ERR_FAILED) << after;
        EXPECT_EQ(CountingAllocator::liveBytes, live) << "nothing kept after failure " << after;
    }
    gfxDestroySystem(counting);
}

// ----------------------------------------------------------------------------------
// Regions
// ----------------------------------------------------------------------------------
TEST_F(SerializeTest, ARegionSavesWhatEveryLayerHasThere)
{
    ASSERT_EQ(drawStrokeAt(sketch, 10, 10), GFX_OK);    // inside
    ASSERT_EQ(drawStrokeAt(sketch, 300, 250), GFX_OK);  // outside
    addLayer(sketch, "Empty there");
    ASSERT_EQ(drawStrokeAt(sketch, 300, 200), GFX_OK);
    addLayer(sketch, "Top");
    ASSERT_EQ(drawStrokeAt(sketch, 20, 30), GFX_OK);
    uint8_t* blob = gfxSerializeSketchRegion(sketch, 0, 0, 100, 100, 0);
    ASSERT_NE(blob, nullptr) << error();
    std::vector<uint8_t> bytes(blob, blob + gfxReadLittleEndian32(blob) + 4);
    system->allocator.release(blob);
    GfxSketch* loaded = load(bytes);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->layerCount, 3);
    EXPECT_STREQ(gfxLayerAtPosition(loaded, 1)->name, "Empty there");
    // One paste per layer that has something in the region; the middle stays empty.
    auto pastes = [&](int32_t position) {
        int count = 0;
        for (int32_t type : liveTypes(gfxLayerAtPosition(loaded, position))) count += type == GFX_RECORD_CLIPBOARD_PASTED;
        return count;
    };
    EXPECT_EQ(pastes(0), 1);
    EXPECT_EQ(pastes(1), 0);
    EXPECT_EQ(pastes(2), 1);
    EXPECT_EQ(sketch->attributes.currentLayer, 2) << "the source's top layer is current";
}

// ----------------------------------------------------------------------------------
// Hand-made hostile blobs: holds that loop or multiply, values that are no numbers
// ----------------------------------------------------------------------------------
// A raw blob: `layers` layers, layer 0 in the order; `holds` lists (layer, held
// layer) pairs, each written as a paste record on `layer` (referenced layers' groups).
std::vector<uint8_t> blobWithHolds(const GfxAllocator& allocator, int32_t layers,
                                   const std::vector<std::pair<int32_t, int32_t>>& holds, float nan = 0)
{
    GfxPool<GfxSample> scratch;
    scratch.create(allocator, 16, 16);
    GfxBlobBuffer b(allocator);
    b.putInt32(2);
    GfxSketchAttributes attributes;
    attributes.currentLayer = 0;
    attributes.widthScale = nan == 0 ? 1.0f : nan;
    gfxBlobPutAttributes(&b, attributes);
    float view[17] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, nan == 0 ? 1.0f : nan};
    b.putFloats(view, 17);
    b.putInt32(1);
    b.putInt32(0);
    b.putInt32(layers);
    for (int32_t i = 0; i < layers; ++i) {
        GfxBlobLayer layer;
        if (nan != 0) layer.matrix[5] = nan;
        gfxBlobPutLayer(&b, layer);
    }
    b.putInt32(0);
    b.putInt32(1);
    b.putInt32(0);
    b.putInt32(GFX_BLOB_OPERATION_LAYER_ADDED);
    b.putInt32(0);
    b.putInt32(static_cast<int32_t>(holds.size()));
    for (auto [layer, held] : holds) {
        GfxBlobRecord paste;
        paste.type = GFX_RECORD_CLIPBOARD_PASTED;
        paste.layerIndex = held;
        b.putInt32(layer);
        b.putInt32(1);
        gfxBlobPutRecord(&b, paste, 2, &scratch);
    }
    return std::vector<uint8_t>(b.data(), b.data() + b.size());
}

TEST_F(SerializeTest, HoldsThatLoopNestTooDeepOrMultiplyAreRefused)
{
    auto chain = [](int32_t length, int32_t fanOut) {
        std::vector<std::pair<int32_t, int32_t>> holds;
        for (int32_t i = 0; i + 1 < length; ++i)
            for (int32_t k = 0; k < fanOut; ++k) holds.emplace_back(i, i + 1);
        return holds;
    };
    struct Case {
        const char* name;
        int32_t layers;
        std::vector<std::pair<int32_t, int32_t>> holds;
        int32_t expected;
    };
    const Case cases[] = {
        {"a layer holding itself", 1, {{0, 0}}, GFX_ERR_INTERNAL},
        {"two layers holding each other", 2, {{0, 1}, {1, 0}}, GFX_ERR_INTERNAL},
        {"a loop away from the order", 3, {{1, 2}, {2, 1}}, GFX_ERR_INTERNAL},
        {"nested 70 deep", 70, chain(70, 1), GFX_ERR_INTERNAL},
        {"each held twice, 30 deep", 30, chain(30, 2), GFX_ERR_INTERNAL},
        {"nested 60 deep", 60, chain(60, 1), GFX_OK},
        {"the same layer pasted twice", 2, {{0, 1}, {0, 1}}, GFX_OK},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> raw = blobWithHolds(system->allocator, c.layers, c.holds);
        GfxSketch* loaded = gfxCreateSketchFromRawBlob(system, raw.data(), raw.size());
        EXPECT_EQ(error(), c.expected) << c.name;
        EXPECT_EQ(loaded != nullptr, c.expected == GFX_OK) << c.name;
        if (loaded) gfxDestroySketch(loaded);
    }
}

// A PNG whose header claims `width` x `height` (the pixel data stays 1 x 1).
std::vector<uint8_t> pngClaiming(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> png = makePng(1, 1, 0);
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    uint32_t crc = 0xFFFFFFFFu;  // over the chunk type and data
    for (size_t i = 12; i < 29; ++i) {
        crc ^= png[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return png;
}

// One layer, the given image table, and image records naming `uses` entries.
std::vector<uint8_t> blobWithImages(const GfxAllocator& allocator, const std::vector<std::vector<uint8_t>>& table,
                                    const std::vector<int32_t>& uses)
{
    GfxPool<GfxSample> scratch;
    scratch.create(allocator, 16, 16);
    GfxBlobBuffer b(allocator);
    b.putInt32(2);
    GfxSketchAttributes attributes;
    attributes.currentLayer = 0;
    gfxBlobPutAttributes(&b, attributes);
    const float view[17] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1};
    b.putFloats(view, 17);
    b.putInt32(1);
    b.putInt32(0);
    b.putInt32(1);
    gfxBlobPutLayer(&b, GfxBlobLayer{});
    b.putInt32(static_cast<int32_t>(table.size()));
    for (const auto& bytes : table) {
        b.putInt32(GFX_IMAGE_PNG_STORED);
        b.putInt32(static_cast<int32_t>(bytes.size()));
        b.putBytes(bytes.data(), bytes.size());
    }
    b.putInt32(1 + static_cast<int32_t>(uses.size()));
    b.putInt32(0);
    b.putInt32(GFX_BLOB_OPERATION_LAYER_ADDED);
    b.putInt32(0);
    for (int32_t index : uses) {
        GfxBlobRecord image;
        image.type = GFX_RECORD_IMAGE;
        image.shape[2] = image.shape[3] = 10;
        image.imageIndex = index;
        b.putInt32(0);
        gfxBlobPutRecord(&b, image, 2, &scratch);
    }
    b.putInt32(0);
    return std::vector<uint8_t>(b.data(), b.data() + b.size());
}

TEST_F(SerializeTest, ImagesAreNotMultipliedBeyondWhatTheFileHolds)
{
    const std::vector<uint8_t> small = makePng(4, 4, 1);
    const std::vector<uint8_t> claimed = pngClaiming(16384, 16384);  // 2^28 pixels each
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> table;
        std::vector<int32_t> uses;
        int32_t expected;
    };
    const Case cases[] = {
        {"one entry, one record", {small}, {0}, GFX_OK},
        {"two records, one entry", {small}, {0, 0}, GFX_ERR_INVALID},
        {"five pictures of 2^28 pixels", {claimed, claimed, claimed, claimed, claimed}, {}, GFX_ERR_TEXTURE_TOO_LARGE},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> raw = blobWithImages(system->allocator, c.table, c.uses);
        GfxSketch* loaded = gfxCreateSketchFromRawBlob(system, raw.data(), raw.size());
        EXPECT_EQ(error(), c.expected) << c.name;
        if (loaded) gfxDestroySketch(loaded);
    }
}

TEST_F(SerializeTest, ValuesThatAreNoNumbersFallBackToDefaults)
{
    std::vector<uint8_t> raw = blobWithHolds(system->allocator, 1, {}, NAN);
    GfxSketch* loaded = gfxCreateSketchFromRawBlob(system, raw.data(), raw.size());
    ASSERT_NE(loaded, nullptr) << error();
    EXPECT_EQ(loaded->attributes.widthScale, 1.0f);
    EXPECT_EQ(loaded->viewScale, 1.0f);
    const GfxLayer* layer = gfxLayerAtPosition(loaded, 0);
    EXPECT_TRUE(gfxMatrixIsIdentity(layer->matrix, 0)) << "a matrix with NaN becomes the identity";
}

// ----------------------------------------------------------------------------------
// Inputs the fuzzers found: each gives its listed result, for good
// ----------------------------------------------------------------------------------
TEST_F(SerializeTest, FoundBadBlobsGiveTheirListedResults)
{
    const std::string folder = std::string(VELLUMIN_FIXTURES) + "/bad/";
    std::ifstream manifest(folder + "documents.txt");
    ASSERT_TRUE(manifest.good()) << "fixtures/bad/documents.txt";
    int checked = 0;
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, reader;
        int32_t expected = -1;
        fields >> name >> reader >> expected;
        if (reader != "blob") continue;
        SCOPED_TRACE(name);
        std::ifstream in(folder + name, std::ios::binary);
        std::vector<uint8_t> raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(raw.empty());
        GfxSketch* loaded = gfxCreateSketchFromRawBlob(system, raw.data(), raw.size());
        EXPECT_EQ(error(), expected);
        EXPECT_EQ(loaded != nullptr, expected == GFX_OK);
        if (loaded) {
            // What loads saves again.
            EXPECT_FALSE(save(loaded, 0).empty());
            gfxDestroySketch(loaded);
        }
        ++checked;
    }
    EXPECT_GE(checked, 1);
}

}  // namespace
