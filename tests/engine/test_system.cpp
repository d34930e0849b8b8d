// System and sketch handles, attribute records with their masks and side effects,
// lastError, null handles and the statistics record.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

class SystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        system = gfxCreateSystem();
        ASSERT_NE(system, nullptr);
        sketch = gfxCreateSketch(system, nullptr);
        ASSERT_NE(sketch, nullptr);
    }
    void TearDown() override { gfxDestroySystem(system); }

    void addLayers(int count)
    {
        for (int i = 0; i < count; ++i) gfxAddLayer(sketch, nullptr);
        ASSERT_EQ(gfxGetLastError(system), GFX_OK);
    }
    GfxSketchAttributes get(int32_t flags)
    {
        GfxSketchAttributes out;
        out.flags = flags;
        gfxGetSketchAttributes(sketch, &out);
        return out;
    }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

TEST_F(SystemTest, SystemAttributesReportTheHooksAndTheClipboard)
{
    GfxSystemAttributes attributes;
    attributes.flags = GFX_SYSTEM_ALLOC | GFX_SYSTEM_FREE | GFX_SYSTEM_REALLOC | GFX_SYSTEM_USER_DATA |
                       GFX_SYSTEM_CLIPBOARD_VALID;
    attributes.userData = 99;
    attributes.clipboardValid = 99;
    gfxGetSystemAttributes(system, &attributes);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    ASSERT_NE(attributes.alloc, nullptr);
    ASSERT_NE(attributes.free, nullptr);
    ASSERT_NE(attributes.realloc, nullptr);
    EXPECT_EQ(attributes.userData, 0);
    EXPECT_EQ(attributes.clipboardValid, 0);
    // The hooks are usable by the caller to free what the engine hands out.
    void* block = attributes.alloc(64, attributes.userData);
    block = attributes.realloc(block, 128, attributes.userData);
    ASSERT_NE(block, nullptr);
    attributes.free(block, attributes.userData);

    GfxSystemAttributes masked;
    masked.flags = GFX_SYSTEM_USER_DATA;
    masked.userData = 5;
    gfxGetSystemAttributes(system, &masked);
    EXPECT_EQ(masked.alloc, nullptr);  // bit not set: untouched
    EXPECT_EQ(masked.userData, 0);
}

TEST_F(SystemTest, NewSketchHasTheEngineDefaults)
{
    const GfxSketchAttributes a = get(0x1FFFFF & ~GFX_SKETCH_STATS);
    EXPECT_EQ(a.layerCount, 0);
    EXPECT_EQ(a.currentLayer, -1);
    EXPECT_EQ(a.paperTextureMode, 0);
    EXPECT_EQ(a.paperColour[0], 255);
    EXPECT_EQ(a.paperColour[2], 255);
    EXPECT_FLOAT_EQ(a.paperTextureStrength, 1.0f);
    EXPECT_EQ(a.paperTint, 1);
    EXPECT_EQ(a.paperMultiScale, 1);
    EXPECT_EQ(a.paperImage.data, nullptr);
    EXPECT_EQ(a.penType, 1);
    EXPECT_EQ(a.penColour[0], 0);
    EXPECT_FLOAT_EQ(a.penNoise, 0.5f);
    EXPECT_FLOAT_EQ(a.penWidth, 2.0f);
    EXPECT_FLOAT_EQ(a.penWidthSensitivity, 1.0f);
    EXPECT_FLOAT_EQ(a.penOpacity, 0.8f);
    EXPECT_FLOAT_EQ(a.penOpacitySensitivity, 1.0f);
    EXPECT_EQ(a.eraseMode, 0);
    EXPECT_EQ(a.smoothingLevel, 0);
    EXPECT_FLOAT_EQ(a.widthScale, 1.0f);
    EXPECT_EQ(a.undoKind, 0);
    EXPECT_EQ(a.redoKind, 0);
    EXPECT_EQ(sketch->smoothingPasses, 4);
    EXPECT_EQ(sketch->needsRedraw, 1);
    EXPECT_TRUE(gfxMatrixIsIdentity(sketch->view, 0));
    EXPECT_FLOAT_EQ(sketch->viewScale, 1.0f);
    EXPECT_EQ(sketch->matrixStack.count(), 1);
}

// One row per settable bit: setting exactly that bit changes exactly its field.
struct AttributeCase {
    int32_t bit;
    const char* name;
};
class AttributeMaskTest : public SystemTest, public ::testing::WithParamInterface<AttributeCase> {};

GfxSketchAttributes distinctValues()
{
    GfxSketchAttributes a;
    a.currentLayer = 0;
    a.paperTextureMode = 2;
    a.paperColour[0] = 10;
    a.paperTextureStrength = 0.25f;
    a.paperTint = 0;
    a.paperMultiScale = 0;
    a.penType = 2;
    a.penColour[1] = 200;
    a.penNoise = 0.9f;
    a.penWidth = 17.0f;
    a.penWidthSensitivity = 0.3f;
    a.penOpacity = 0.4f;
    a.penOpacitySensitivity = 0.6f;
    a.eraseMode = 1;
    a.smoothingLevel = 3;
    a.widthScale = 2.5f;
    return a;
}

// The fields of a record as comparable strings, by bit.
std::vector<std::pair<int32_t, std::string>> fieldsOf(const GfxSketchAttributes& a)
{
    auto f = [](float v) { return std::to_string(v); };
    return {
        {GFX_SKETCH_CURRENT_LAYER, std::to_string(a.currentLayer)},
        {GFX_SKETCH_PAPER_TEXTURE_MODE, std::to_string(a.paperTextureMode)},
        {GFX_SKETCH_PAPER_COLOUR, std::to_string(a.paperColour[0])},
        {GFX_SKETCH_PAPER_TEXTURE_STRENGTH, f(a.paperTextureStrength)},
        {GFX_SKETCH_PAPER_TINT, std::to_string(a.paperTint)},
        {GFX_SKETCH_PAPER_MULTI_SCALE, std::to_string(a.paperMultiScale)},
        {GFX_SKETCH_PEN_TYPE, std::to_string(a.penType)},
        {GFX_SKETCH_PEN_COLOUR, std::to_string(a.penColour[1])},
        {GFX_SKETCH_PEN_NOISE, f(a.penNoise)},
        {GFX_SKETCH_PEN_WIDTH, f(a.penWidth)},
        {GFX_SKETCH_PEN_WIDTH_SENSITIVITY, f(a.penWidthSensitivity)},
        {GFX_SKETCH_PEN_OPACITY, f(a.penOpacity)},
        {GFX_SKETCH_PEN_OPACITY_SENSITIVITY, f(a.penOpacitySensitivity)},
        {GFX_SKETCH_ERASE_MODE, std::to_string(a.eraseMode)},
        {GFX_SKETCH_SMOOTHING_LEVEL, std::to_string(a.smoothingLevel)},
        {GFX_SKETCH_WIDTH_SCALE, f(a.widthScale)},
    };
}

TEST_P(AttributeMaskTest, OnlyTheMaskedFieldChanges)
{
    addLayers(2);
    const auto before = fieldsOf(get(0x3FFFF & ~GFX_SKETCH_STATS));
    GfxSketchAttributes in = distinctValues();
    in.flags = GetParam().bit;
    EXPECT_EQ(gfxSetSketchAttributes(sketch, &in), system);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    const auto after = fieldsOf(get(0x3FFFF & ~GFX_SKETCH_STATS));
    const auto wanted = fieldsOf(in);
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i].first == GetParam().bit) EXPECT_EQ(after[i].second, wanted[i].second) << GetParam().name;
        else EXPECT_EQ(after[i].second, before[i].second) << GetParam().name << " touched bit " << after[i].first;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bits, AttributeMaskTest,
    ::testing::Values(AttributeCase{GFX_SKETCH_CURRENT_LAYER, "currentLayer"},
                      AttributeCase{GFX_SKETCH_PAPER_TEXTURE_MODE, "paperTextureMode"},
                      AttributeCase{GFX_SKETCH_PAPER_COLOUR, "paperColour"},
                      AttributeCase{GFX_SKETCH_PAPER_TEXTURE_STRENGTH, "paperTextureStrength"},
                      AttributeCase{GFX_SKETCH_PAPER_TINT, "paperTint"},
                      AttributeCase{GFX_SKETCH_PAPER_MULTI_SCALE, "paperMultiScale"},
                      AttributeCase{GFX_SKETCH_PEN_TYPE, "penType"},
                      AttributeCase{GFX_SKETCH_PEN_COLOUR, "penColour"},
                      AttributeCase{GFX_SKETCH_PEN_NOISE, "penNoise"},
                      AttributeCase{GFX_SKETCH_PEN_WIDTH, "penWidth"},
                      AttributeCase{GFX_SKETCH_PEN_WIDTH_SENSITIVITY, "penWidthSensitivity"},
                      AttributeCase{GFX_SKETCH_PEN_OPACITY, "penOpacity"},
                      AttributeCase{GFX_SKETCH_PEN_OPACITY_SENSITIVITY, "penOpacitySensitivity"},
                      AttributeCase{GFX_SKETCH_ERASE_MODE, "eraseMode"},
                      AttributeCase{GFX_SKETCH_SMOOTHING_LEVEL, "smoothingLevel"},
                      AttributeCase{GFX_SKETCH_WIDTH_SCALE, "widthScale"}),
    [](const ::testing::TestParamInfo<AttributeCase>& param) { return std::string(param.param.name); });

TEST_F(SystemTest, ReadOnlyBitsAreIgnoredOnSet)
{
    addLayers(1);
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_STATS | GFX_SKETCH_UNDO_KIND | GFX_SKETCH_REDO_KIND;
    in.layerCount = 9;
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    EXPECT_EQ(get(GFX_SKETCH_LAYER_COUNT).layerCount, 1);
}

// Which lazy state records each bit makes stale on every layer.
struct StaleCase {
    int32_t bit;
    bool pen;
    bool colour;
};
class StaleStateTest : public SystemTest, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleStateTest, PenAndColourBitsMarkEveryLayer)
{
    addLayers(3);
    for (int32_t position = 0; position < 3; ++position) {
        GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        layer->penStateWritten = layer->colourStateWritten = layer->frameWritten = 1;
    }
    GfxSketchAttributes in = distinctValues();
    in.flags = GetParam().bit;
    gfxSetSketchAttributes(sketch, &in);
    for (int32_t position = 0; position < 3; ++position) {
        const GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        EXPECT_EQ(layer->penStateWritten, GetParam().pen ? 0 : 1) << std::hex << GetParam().bit;
        EXPECT_EQ(layer->colourStateWritten, GetParam().colour ? 0 : 1) << std::hex << GetParam().bit;
        EXPECT_EQ(layer->frameWritten, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Bits, StaleStateTest,
                         ::testing::Values(StaleCase{GFX_SKETCH_PEN_TYPE, true, false},
                                           StaleCase{GFX_SKETCH_PEN_NOISE, true, false},
                                           StaleCase{GFX_SKETCH_PEN_WIDTH, true, false},
                                           StaleCase{GFX_SKETCH_PEN_WIDTH_SENSITIVITY, true, false},
                                           StaleCase{GFX_SKETCH_PEN_OPACITY, true, false},
                                           StaleCase{GFX_SKETCH_PEN_OPACITY_SENSITIVITY, true, false},
                                           StaleCase{GFX_SKETCH_PEN_COLOUR, false, true},
                                           StaleCase{GFX_SKETCH_ERASE_MODE, false, false},
                                           StaleCase{GFX_SKETCH_PAPER_COLOUR, false, false},
                                           StaleCase{GFX_SKETCH_WIDTH_SCALE, false, false}));

TEST_F(SystemTest, PenWidthSensitivityOutsideZeroToOneBecomesOne)
{
    const float cases[][2] = {{-0.5f, 1.0f},
                              {2.0f, 1.0f},
                              {std::numeric_limits<float>::quiet_NaN(), 1.0f},
                              {std::numeric_limits<float>::infinity(), 1.0f},
                              {-std::numeric_limits<float>::infinity(), 1.0f},
                              {0.0f, 0.0f},
                              {0.5f, 0.5f},
                              {1.0f, 1.0f}};
    for (const auto& c : cases) {
        GfxSketchAttributes in;
        in.flags = GFX_SKETCH_PEN_WIDTH_SENSITIVITY;
        in.penWidthSensitivity = c[0];
        gfxSetSketchAttributes(sketch, &in);
        EXPECT_FLOAT_EQ(get(GFX_SKETCH_PEN_WIDTH_SENSITIVITY).penWidthSensitivity, c[1]) << c[0];
    }
}

TEST_F(SystemTest, SmoothingLevelGivesItsPasses)
{
    const int32_t cases[][3] = {{0, 4, 0}, {1, 8, 0}, {2, 16, 0}, {3, 24, 0}, {4, 16, 1}, {5, 4, 0}, {-1, 4, 0}};
    for (const auto& c : cases) {
        GfxSketchAttributes in;
        in.flags = GFX_SKETCH_SMOOTHING_LEVEL;
        in.smoothingLevel = c[0];
        gfxSetSketchAttributes(sketch, &in);
        EXPECT_EQ(sketch->smoothingPasses, c[1]) << c[0];
        EXPECT_EQ(sketch->uniformSampling, c[2]) << c[0];
        EXPECT_EQ(get(GFX_SKETCH_SMOOTHING_LEVEL).smoothingLevel, c[0]);
    }
}

TEST_F(SystemTest, WidthScaleAsksForAFullRedrawAndNewCells)
{
    sketch->needsRedraw = 0;
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_PEN_WIDTH;
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(sketch->needsRedraw, 0);
    EXPECT_EQ(sketch->rebuildCells, 0);
    in.flags = GFX_SKETCH_WIDTH_SCALE;
    in.widthScale = 3;
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(sketch->needsRedraw, 1);
    EXPECT_EQ(sketch->rebuildCells, 1);
}

TEST_F(SystemTest, CurrentLayerChangeMarksOldAndNewLayers)
{
    addLayers(3);  // current is 2
    for (int32_t p = 0; p < 3; ++p) gfxLayerAtPosition(sketch, p)->renderState = GFX_RENDER_CLEAN;
    gfxLayerAtPosition(sketch, 0)->renderState = GFX_RENDER_REDRAW_ALL;
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_CURRENT_LAYER;
    in.currentLayer = 0;
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(gfxLayerAtPosition(sketch, 0)->renderState, GFX_RENDER_REDRAW_ALL);  // state 1 stays
    EXPECT_EQ(gfxLayerAtPosition(sketch, 1)->renderState, GFX_RENDER_CLEAN);
    EXPECT_EQ(gfxLayerAtPosition(sketch, 2)->renderState, GFX_RENDER_REDRAW);

    in.currentLayer = 7;  // stored as given; then no valid current layer
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(get(GFX_SKETCH_CURRENT_LAYER).currentLayer, 7);
    gfxClearLayer(sketch);
    EXPECT_EQ(gfxGetLastError(system), GFX_ERR_INVALID);
}

// ----------------------------------------------------------------------------------
// Paper image storage
// ----------------------------------------------------------------------------------
TEST_F(SystemTest, PaperImageIsCopiedAndReadBackAsTheEngineCopy)
{
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_PAPER_IMAGE;
    in.paperImage.source = 0;
    in.paperImage.paperId = 42;
    in.paperImage.encoding = 7;  // stored, never shown
    in.paperImage.length = 5;
    in.paperImage.data = bytes.data();
    gfxSetSketchAttributes(sketch, &in);
    ASSERT_EQ(gfxGetLastError(system), GFX_OK);
    bytes[0] = 99;  // the caller's buffer is its own
    const GfxPaperImage out = get(GFX_SKETCH_PAPER_IMAGE).paperImage;
    EXPECT_EQ(out.paperId, 42);
    EXPECT_EQ(out.encoding, 7);
    ASSERT_EQ(out.length, 5);
    ASSERT_NE(out.data, bytes.data());
    EXPECT_EQ(out.data[0], 1);
    EXPECT_EQ(out.data[4], 5);
    EXPECT_EQ(sketch->paper.pixels, nullptr);
}

TEST_F(SystemTest, PaperImageWithNonZeroSourceKeepsThePreviousBytes)
{
    const uint8_t bytes[] = {9, 8, 7};
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_PAPER_IMAGE;
    in.paperImage.length = 3;
    in.paperImage.data = bytes;
    gfxSetSketchAttributes(sketch, &in);
    const uint8_t* engineCopy = get(GFX_SKETCH_PAPER_IMAGE).paperImage.data;

    in.paperImage.source = 3;
    in.paperImage.paperId = 11;
    in.paperImage.length = 0;
    in.paperImage.data = nullptr;
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    const GfxPaperImage out = get(GFX_SKETCH_PAPER_IMAGE).paperImage;
    EXPECT_EQ(out.source, 3);
    EXPECT_EQ(out.paperId, 11);
    EXPECT_EQ(out.data, engineCopy);
    EXPECT_EQ(out.length, 3);
    EXPECT_EQ(out.data[0], 9);
}

TEST_F(SystemTest, PaperImageWithoutDataFailsAndStopsTheRemainingBits)
{
    GfxSketchAttributes in = distinctValues();
    in.flags = GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_IMAGE | GFX_SKETCH_PEN_WIDTH;
    in.paperImage.source = 0;
    in.paperImage.length = 10;
    in.paperImage.data = nullptr;
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(gfxGetLastError(system), GFX_ERR_FAILED);
    const GfxSketchAttributes out = get(GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PEN_WIDTH);
    EXPECT_EQ(out.paperColour[0], 10);      // applied before 0x80
    EXPECT_FLOAT_EQ(out.penWidth, 2.0f);    // after 0x80: not applied

    // The next successful operation reports success again.
    in.flags = GFX_SKETCH_PEN_WIDTH;
    gfxSetSketchAttributes(sketch, &in);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
}

TEST_F(SystemTest, PaperImageCopyFailureKeepsTheOldImage)
{
    gfxDestroySystem(system);
    CountingAllocator::reset();
    system = gfxCreateSystemWithAllocator(CountingAllocator::allocator());
    sketch = gfxCreateSketch(system, nullptr);
    const uint8_t first[] = {1, 2};
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_PAPER_IMAGE;
    in.paperImage.length = 2;
    in.paperImage.data = first;
    gfxSetSketchAttributes(sketch, &in);
    const uint8_t second[] = {5, 6, 7};
    in.paperImage.length = 3;
    in.paperImage.data = second;
    CountingAllocator::failAfter = 0;
    gfxSetSketchAttributes(sketch, &in);
    CountingAllocator::failAfter = -1;
    EXPECT_EQ(gfxGetLastError(system), GFX_ERR_FAILED);
    const GfxPaperImage out = get(GFX_SKETCH_PAPER_IMAGE).paperImage;
    ASSERT_EQ(out.length, 2);
    EXPECT_EQ(out.data[1], 2);
}

// ----------------------------------------------------------------------------------
// Layer attributes
// ----------------------------------------------------------------------------------
TEST_F(SystemTest, LayerAttributesByPosition)
{
    addLayers(2);
    GfxLayerAttributes in;
    in.flags = GFX_LAYER_NAME | GFX_LAYER_OPACITY;
    std::string longName(400, 'n');
    std::memcpy(in.name, longName.c_str(), 255);
    in.name[255] = 'X';  // not terminated within the record
    in.opacity = 0.3f;
    gfxSetLayerAttributes(sketch, 0, &in);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);

    GfxLayerAttributes out;
    out.flags = GFX_LAYER_NAME | GFX_LAYER_OPACITY | GFX_LAYER_VISIBLE;
    gfxGetLayerAttributes(sketch, 0, &out);
    EXPECT_EQ(std::strlen(out.name), 255u);
    EXPECT_FLOAT_EQ(out.opacity, 0.3f);
    EXPECT_EQ(out.visible, 1);
    gfxGetLayerAttributes(sketch, 1, &out);
    EXPECT_STREQ(out.name, "Sketch Layer");

    for (int32_t bad : {-1, 2, 100}) {
        gfxGetLayerAttributes(sketch, bad, &out);
        EXPECT_EQ(gfxGetLastError(system), GFX_ERR_INVALID);
        gfxSetLayerAttributes(sketch, bad, &in);
        EXPECT_EQ(gfxGetLastError(system), GFX_ERR_INVALID);
    }
    // Not entered in the history.
    EXPECT_EQ(sketch->history.count, 2);
}

TEST_F(SystemTest, HidingALayerRedrawsItAndTheTextureOfTheCurrentLayerIsTheLiveOne)
{
    addLayers(2);
    GfxLayer* bottom = gfxLayerAtPosition(sketch, 0);
    GfxLayer* top = gfxLayerAtPosition(sketch, 1);
    bottom->renderState = GFX_RENDER_CLEAN;
    bottom->texture = 11;
    top->texture = 12;
    sketch->liveTexture = 13;
    GfxLayerAttributes attributes;
    attributes.flags = GFX_LAYER_TEXTURE;
    gfxGetLayerAttributes(sketch, 1, &attributes);
    EXPECT_EQ(attributes.texture, 13u);
    gfxGetLayerAttributes(sketch, 0, &attributes);
    EXPECT_EQ(attributes.texture, 11u);

    attributes.flags = GFX_LAYER_VISIBLE;
    attributes.visible = 0;
    gfxSetLayerAttributes(sketch, 0, &attributes);
    EXPECT_EQ(bottom->renderState, GFX_RENDER_REDRAW_ALL);
    gfxSetLayerAttributes(sketch, 1, &attributes);
    attributes.flags = GFX_LAYER_TEXTURE;
    gfxGetLayerAttributes(sketch, 1, &attributes);
    EXPECT_EQ(attributes.texture, 12u);  // hidden current layer: its own texture
    bottom->texture = top->texture = sketch->liveTexture = 0;  // not real GL names
}

// ----------------------------------------------------------------------------------
// Null handles, lastError, busy rule
// ----------------------------------------------------------------------------------
TEST_F(SystemTest, NullHandlesAreIgnoredEverywhere)
{
    GfxSketchAttributes attributes;
    attributes.flags = 0x1FFFFF;
    GfxLayerAttributes layerAttributes;
    GfxGesture gesture;
    GfxElementInput input;
    GfxPastePlacement placement;
    system->lastError = 123;  // a call on a null sketch must not touch any system
    gfxDestroySystem(nullptr);
    gfxGetSystemAttributes(nullptr, nullptr);
    EXPECT_EQ(gfxCreateSketch(nullptr, nullptr), nullptr);
    gfxDestroySketch(nullptr);
    EXPECT_EQ(gfxSetSketchAttributes(nullptr, &attributes), nullptr);
    gfxGetSketchAttributes(nullptr, &attributes);
    EXPECT_EQ(gfxGetSketchSystem(nullptr), nullptr);
    gfxGetLayerAttributes(nullptr, 0, &layerAttributes);
    gfxSetLayerAttributes(nullptr, 0, &layerAttributes);
    gfxAddLayer(nullptr, nullptr);
    gfxDeleteLayer(nullptr);
    gfxMoveLayer(nullptr, 0);
    gfxMergeLayerDown(nullptr);
    gfxClearLayer(nullptr);
    gfxClearCanvas(nullptr);
    EXPECT_EQ(gfxGetLayerBySlot(nullptr, 0), nullptr);
    EXPECT_EQ(gfxCopyRegion(nullptr, 0, 0, 1, 1), 0);
    EXPECT_EQ(gfxCutRegion(nullptr, 0, 0, 1, 1), 0);
    gfxPasteClipboard(nullptr, 0, 0);
    EXPECT_EQ(gfxLiftRegion(nullptr, 0, 0, 1, 1, 0, 0), 0);
    gfxUpdatePaste(nullptr, &placement);
    gfxCommitPaste(nullptr, &placement);
    gfxResetView(nullptr);
    gfxBeginViewGesture(nullptr, &gesture);
    gfxUpdateViewGesture(nullptr, &gesture);
    gfxEndViewGesture(nullptr, &gesture);
    gfxBeginLayerGesture(nullptr, &gesture);
    gfxUpdateLayerGesture(nullptr, &gesture);
    gfxEndLayerGesture(nullptr, &gesture);
    gfxGetView(nullptr, nullptr, nullptr);
    gfxBeginElement(nullptr, &input);
    gfxExtendElement(nullptr, &input);
    gfxEndElement(nullptr, &input);
    gfxUndo(nullptr);
    gfxRedo(nullptr);
    gfxRedoAll(nullptr);
    gfxSetViewport(nullptr, 0, 0, 1, 1);
    gfxGetViewport(nullptr, nullptr);
    gfxRenderSketch(nullptr);
    EXPECT_EQ(system->lastError, 123);
    EXPECT_EQ(gfxGetLastError(nullptr), GFX_ERR_INVALID);
    system->lastError = GFX_OK;
}

TEST_F(SystemTest, GestureInProgressRefusesModelChangesWithNine)
{
    addLayers(2);
    GfxGesture pan;
    pan.kind = GFX_GESTURE_PAN;
    gfxBeginViewGesture(sketch, &pan);
    ASSERT_EQ(gfxGetLastError(system), GFX_OK);
    const int32_t historyBefore = sketch->history.count;
    const struct {
        const char* name;
        void (*call)(GfxSketch*);
    } operations[] = {
        {"add", [](GfxSketch* s) { gfxAddLayer(s, nullptr); }},
        {"delete", [](GfxSketch* s) { gfxDeleteLayer(s); }},
        {"move", [](GfxSketch* s) { gfxMoveLayer(s, 0); }},
        {"merge", [](GfxSketch* s) { gfxMergeLayerDown(s); }},
        {"clear", [](GfxSketch* s) { gfxClearLayer(s); }},
        {"clearCanvas", [](GfxSketch* s) { gfxClearCanvas(s); }},
        {"copy", [](GfxSketch* s) { gfxCopyRegion(s, 0, 0, 10, 10); }},
        {"cut", [](GfxSketch* s) { gfxCutRegion(s, 0, 0, 10, 10); }},
        {"paste", [](GfxSketch* s) { gfxPasteClipboard(s, 0, 0); }},
        {"lift", [](GfxSketch* s) { gfxLiftRegion(s, 0, 0, 10, 10, 0, 0); }},
        {"resetView", [](GfxSketch* s) { gfxResetView(s); }},
        {"beginView", [](GfxSketch* s) { GfxGesture g; gfxBeginViewGesture(s, &g); }},
        {"beginLayer", [](GfxSketch* s) { GfxGesture g; gfxBeginLayerGesture(s, &g); }},
        {"element", [](GfxSketch* s) { GfxSample p; GfxElementInput in; in.sampleCount = 1; in.samples = &p; gfxBeginElement(s, &in); }},
        {"undo", [](GfxSketch* s) { gfxUndo(s); }},
        {"redo", [](GfxSketch* s) { gfxRedo(s); }},
        {"redoAll", [](GfxSketch* s) { gfxRedoAll(s); }},
    };
    for (const auto& operation : operations) {
        operation.call(sketch);
        EXPECT_EQ(gfxGetLastError(system), GFX_ERR_TRANSFORM_ACTIVE) << operation.name;
        EXPECT_EQ(sketch->history.count, historyBefore) << operation.name;
        EXPECT_EQ(sketch->layerCount, 2) << operation.name;
    }
    // Attributes stay available.
    EXPECT_EQ(get(GFX_SKETCH_LAYER_COUNT).layerCount, 2);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
    gfxEndViewGesture(sketch, &pan);
    gfxAddLayer(sketch, nullptr);
    EXPECT_EQ(gfxGetLastError(system), GFX_OK);
}

// ----------------------------------------------------------------------------------
// Creation under memory failure, registries
// ----------------------------------------------------------------------------------
TEST(SketchCreation, EveryAllocationFailureIsCleanAndReported)
{
    CountingAllocator::reset();
    for (int64_t failAt = 0;; ++failAt) {
        CountingAllocator::failAfter = -1;
        GfxSystem* system = gfxCreateSystemWithAllocator(CountingAllocator::allocator());
        ASSERT_NE(system, nullptr);
        const int64_t liveBefore = CountingAllocator::liveBytes;
        CountingAllocator::failAfter = failAt;
        GfxSketch* sketch = gfxCreateSketch(system, nullptr);
        CountingAllocator::failAfter = -1;
        if (sketch) {
            EXPECT_EQ(gfxGetLastError(system), GFX_OK);
            gfxDestroySystem(system);
            EXPECT_EQ(CountingAllocator::liveBytes, 0);
            break;
        }
        EXPECT_EQ(gfxGetLastError(system), GFX_ERR_FAILED) << failAt;
        EXPECT_EQ(CountingAllocator::liveBytes, liveBefore) << failAt;
        EXPECT_EQ(system->sketches.count, 0) << failAt;
        gfxDestroySystem(system);
        EXPECT_EQ(CountingAllocator::liveBytes, 0);
    }
}

TEST(SketchCreation, IdsAreRegistryIndicesAndNeverReused)
{
    GfxSystem* system = gfxCreateSystem();
    GfxSketch* a = gfxCreateSketch(system, nullptr);
    GfxSketch* b = gfxCreateSketch(system, nullptr);
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(b->id, 1);
    gfxDestroySketch(a);
    EXPECT_EQ(gfxSketchById(system, 0), nullptr);
    GfxSketch* c = gfxCreateSketch(system, nullptr);
    EXPECT_EQ(c->id, 2);
    EXPECT_EQ(gfxGetSketchSystem(c), system);
    gfxDestroySystem(system);  // destroys b and c
}

TEST(SketchCreation, CallerRecordIsAppliedAtCreation)
{
    GfxSystem* system = gfxCreateSystem();
    GfxSketchAttributes in;
    in.flags = GFX_SKETCH_PEN_COLOUR | GFX_SKETCH_PEN_WIDTH;
    in.penColour[0] = 77;
    in.penWidth = 9;
    GfxSketch* sketch = gfxCreateSketch(system, &in);
    ASSERT_NE(sketch, nullptr);
    EXPECT_EQ(sketch->attributes.penColour[0], 77);
    EXPECT_FLOAT_EQ(sketch->attributes.penWidth, 9);
    EXPECT_EQ(sketch->layerCount, 0);
    gfxDestroySystem(system);
}

// ----------------------------------------------------------------------------------
// Statistics
// ----------------------------------------------------------------------------------
TEST_F(SystemTest, StatsMemoryFollowsTheFixedRules)
{
    addLayers(2);
    gfxDeleteLayer(sketch);  // the deleted layer is no longer counted
    const GfxSketchStats stats = get(GFX_SKETCH_STATS).stats;
    const GfxLayer* live = gfxLayerAtPosition(sketch, 0);
    const int64_t pointer = sizeof(GfxLayer*);
    // 3 history entries of 12 bytes, 2 table entries.
    const int64_t inUse = 4 * 1 + 3 * 12 + 2 * pointer + 512 + 608 + 12 * live->records.count +
                          gfxRecordHeapBytesUsed(&live->heap);
    const int64_t allocated = 4 * 128 + 10000 * 12 + 128 * pointer + 512 + 608 + 10000 + 10000;
    EXPECT_EQ(stats.memoryInUse, inUse);
    EXPECT_EQ(stats.memoryAllocated, allocated);
    EXPECT_EQ(stats.gpuMemoryInUse, 0);
    EXPECT_EQ(stats.gpuMemoryAllocated, 0);
    EXPECT_EQ(stats.strokeCount, 0);
    for (float b : stats.bounds) EXPECT_EQ(b, 0.0f);
}

}  // namespace
