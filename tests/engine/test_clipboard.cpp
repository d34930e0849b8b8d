// The clipboard: what a copy selects, cuts, pastes and their copies per sketch,
// recursive copies of merged layers and images, lift / update / commit.
#include "EngineTestSupport.h"
#include "GlTestContext.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

namespace {

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(glTestContextMakeCurrent());
        system = gfxCreateSystem();
        sketch = gfxCreateSketch(system, nullptr);
        gfxSetViewport(sketch, 0, 0, 200, 200);
        gfxAddLayer(sketch, nullptr);
    }
    void TearDown() override { gfxDestroySystem(system); }

    int32_t error() { return gfxGetLastError(system); }
    GfxSketch* clipSketch() { return gfxSketchById(system, system->clipSketch); }
    GfxLayer* clipLayer() { return gfxLayerAtSlot(clipSketch(), system->clipLayer); }
    bool clipboardValid()
    {
        GfxSystemAttributes attributes;
        attributes.flags = GFX_SYSTEM_CLIPBOARD_VALID;
        gfxGetSystemAttributes(system, &attributes);
        return attributes.clipboardValid == 1;
    }
    // The first point's x of every element in a layer (strokes are told apart by it).
    static std::vector<float> strokeStarts(const GfxLayer* layer)
    {
        std::vector<float> starts;
        for (int32_t index : liveElements(layer))
            if (gfxRecordAt(layer, index)->type == GFX_RECORD_FREEHAND) starts.push_back(pointsOf(layer, index)[0].x);
        return starts;
    }
    std::vector<int32_t> historyKinds()
    {
        std::vector<int32_t> kinds;
        for (int32_t i = 0; i < sketch->history.cursor; ++i) kinds.push_back(gfxHistoryAt(sketch, i)->kind);
        return kinds;
    }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

TEST_F(ClipboardTest, CopyTakesTheElementsWhoseBoxesMeetTheRectangle)
{
    drawStrokeAt(sketch, 10, 10);   // 10..30 x 10..11
    drawStrokeAt(sketch, 100, 10);  // 100..120
    drawStrokeAt(sketch, 10, 150);
    EXPECT_FALSE(clipboardValid());
    EXPECT_EQ(gfxCopyRegion(sketch, 25, 0, 80, 20), 1);  // meets the first two
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_TRUE(clipboardValid());
    EXPECT_EQ(strokeStarts(clipLayer()), (std::vector<float>{10, 100}));
    // Each copied element keeps the state records it needs.
    EXPECT_EQ(liveTypes(clipLayer()), (std::vector<int32_t>{51, 52, 53, 54, 1, 1}));
    EXPECT_FLOAT_EQ(system->clipRect[0], 25);
    EXPECT_FLOAT_EQ(system->clipRect[2], 80);
    // The source is untouched and nothing entered the history.
    EXPECT_EQ(liveElements(gfxCurrentLayer(sketch)).size(), 3u);
    EXPECT_EQ(sketch->history.count, 4);
}

TEST_F(ClipboardTest, ACopyOfNothingKeepsThePreviousClipboard)
{
    drawStrokeAt(sketch, 10, 10);
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 50, 50), 1);
    const int32_t slot = system->clipLayer;
    EXPECT_EQ(gfxCopyRegion(sketch, 150, 150, 20, 20), 0);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(system->clipLayer, slot);
    EXPECT_EQ(strokeStarts(clipLayer()).size(), 1u);
}

TEST_F(ClipboardTest, TheTestUsesTheRotatedBoxNotItsBounds)
{
    // A thin bar along the diagonal from about (15, 15) to (85, 85).
    const float bar[4] = {50, 50, 100, 4};
    drawElement(sketch, GFX_ELEMENT_RECTANGLE, {}, bar, 45);
    EXPECT_EQ(gfxCopyRegion(sketch, 70, 15, 10, 10), 0);  // inside the bounds, off the bar
    EXPECT_EQ(gfxCopyRegion(sketch, 45, 45, 10, 10), 1);
}

TEST_F(ClipboardTest, ElementsAreFoundWhereTheyAreShownNow)
{
    drawStrokeAt(sketch, 10, 10);
    GfxGesture zoom;
    zoom.kind = GFX_GESTURE_ZOOM;
    zoom.scaleX = 2;  // about the origin: the stroke now shows at 20..60, y 20
    gfxBeginViewGesture(sketch, &zoom);
    gfxEndViewGesture(sketch, &zoom);
    EXPECT_EQ(gfxCopyRegion(sketch, 8, 5, 4, 10), 0);
    EXPECT_EQ(gfxCopyRegion(sketch, 50, 15, 5, 10), 1);
    EXPECT_FLOAT_EQ(system->clipViewScale, 2);
    EXPECT_FLOAT_EQ(system->clipView.m[0], 2);
}

TEST_F(ClipboardTest, CutCopiesThenErasesTheRectangle)
{
    drawStrokeAt(sketch, 10, 10);
    GfxLayer* layer = gfxCurrentLayer(sketch);
    GfxGesture pan;
    pan.kind = GFX_GESTURE_PAN;
    pan.translateX = 5;
    gfxBeginViewGesture(sketch, &pan);
    gfxEndViewGesture(sketch, &pan);
    EXPECT_EQ(gfxCutRegion(sketch, 0, 0, 50, 50), 1);
    const std::vector<int32_t> types = liveTypes(layer);
    // The cut's rectangle is in the pixels of the current view: a new frame first.
    EXPECT_EQ(std::vector<int32_t>(types.end() - 2, types.end()),
              (std::vector<int32_t>{GFX_RECORD_FRAME, GFX_RECORD_REGION_CUT}));
    EXPECT_EQ(gfxHistoryAt(sketch, sketch->history.count - 1)->kind, GFX_RECORD_REGION_CUT);
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW_ALL);
    EXPECT_EQ(gfxCutRegion(sketch, 150, 150, 10, 10), 0);  // nothing there: no cut record
    EXPECT_EQ(liveTypes(layer).size(), types.size());
}

TEST_F(ClipboardTest, ACutOverTheWholeRectangleDropsWhatCameBefore)
{
    drawStrokeAt(sketch, 10, 10);
    gfxCutRegion(sketch, 0, 0, 100, 100);
    drawStrokeAt(sketch, 12, 14);
    drawStrokeAt(sketch, 150, 150);
    ASSERT_EQ(gfxCopyRegion(sketch, 5, 5, 30, 30), 1);
    EXPECT_EQ(strokeStarts(clipLayer()), (std::vector<float>{12}));
    // A cut covering only part of the rectangle is copied along with what it erases.
    ASSERT_EQ(gfxCutRegion(sketch, 155, 140, 5, 20), 1);
    ASSERT_EQ(gfxCopyRegion(sketch, 130, 130, 50, 50), 1);
    EXPECT_EQ(liveTypes(clipLayer()).back(), GFX_RECORD_REGION_CUT);
}

TEST_F(ClipboardTest, CuttingTheSameRegionAgainFindsNothing)
{
    GfxGesture zoom;
    zoom.kind = GFX_GESTURE_ZOOM;
    zoom.centreX = 37;
    zoom.centreY = 91;
    zoom.scaleX = 30;  // the cut's frame and the view no longer cancel exactly in float
    gfxBeginViewGesture(sketch, &zoom);
    gfxEndViewGesture(sketch, &zoom);
    drawStrokeAt(sketch, 10, 10);
    ASSERT_EQ(gfxCutRegion(sketch, -1e6f, -1e6f, 2e6f, 2e6f), 1);
    EXPECT_EQ(gfxCutRegion(sketch, -1e6f, -1e6f, 2e6f, 2e6f), 0);
    EXPECT_EQ(gfxCopyRegion(sketch, 0, 0, 100, 100), 0);
}

TEST_F(ClipboardTest, PasteUsesOneCopyPerSketch)
{
    drawStrokeAt(sketch, 10, 10);
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 40, 40), 1);
    gfxAddLayer(sketch, nullptr);
    GfxLayer* target = gfxCurrentLayer(sketch);
    gfxPasteClipboard(sketch, 100, 60);
    ASSERT_EQ(error(), GFX_OK);
    ASSERT_EQ(liveTypes(target), (std::vector<int32_t>{GFX_RECORD_FRAME, GFX_RECORD_CLIPBOARD_PASTED}));
    const GfxPasteRecord paste =
        gfxReadPayload<GfxPasteRecord>(target, *gfxRecordAt(target, target->records.count - 1));
    EXPECT_FLOAT_EQ(paste.placement.m[12], 100);  // the corner (0, 0) goes to the point
    EXPECT_FLOAT_EQ(paste.placement.m[13], 60);
    EXPECT_FLOAT_EQ(paste.placementScale, 1);
    EXPECT_FLOAT_EQ(paste.sourceRect[2], 40);
    GfxLayer* pasted = gfxLayerAtSlot(sketch, paste.pastedSlot);
    ASSERT_NE(pasted, nullptr);
    EXPECT_EQ(gfxFindLayerPosition(sketch, pasted->slot), -1);  // in the table, not in the order
    EXPECT_EQ(pasted->refCount, 1);
    EXPECT_EQ(strokeStarts(pasted), (std::vector<float>{10}));
    GfxVertexRange range;
    gfxElementVertexRange(pasted, *gfxRecordAt(pasted, liveElements(pasted)[0]), &range);
    EXPECT_GE(range.first, 0);  // cells in the pasted copy's own buffer, sized exactly
    EXPECT_EQ(pasted->verticesReserved, pasted->verticesUsed);

    gfxPasteClipboard(sketch, 10, 10);
    EXPECT_EQ(pasted->refCount, 2);
    const GfxPasteRecord second =
        gfxReadPayload<GfxPasteRecord>(target, *gfxRecordAt(target, target->records.count - 1));
    EXPECT_EQ(second.pastedSlot, pasted->slot);

    GfxSketch* other = gfxCreateSketch(system, nullptr);
    gfxAddLayer(other, nullptr);
    gfxPasteClipboard(other, 0, 0);
    ASSERT_EQ(error(), GFX_OK);
    const GfxLayer* otherLayer = gfxCurrentLayer(other);
    const GfxPasteRecord third =
        gfxReadPayload<GfxPasteRecord>(otherLayer, *gfxRecordAt(otherLayer, otherLayer->records.count - 1));
    ASSERT_NE(gfxLayerAtSlot(other, third.pastedSlot), nullptr);
    EXPECT_EQ(strokeStarts(gfxLayerAtSlot(other, third.pastedSlot)), (std::vector<float>{10}));

    GfxSketchAttributes stats;
    stats.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &stats);
    EXPECT_EQ(stats.stats.strokeCount, 3);  // the stroke and two pastes of it
}

TEST_F(ClipboardTest, PasteWithAnEmptyClipboardDoesNothing)
{
    const int32_t entries = sketch->history.count;
    gfxPasteClipboard(sketch, 0, 0);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(sketch->history.count, entries);
}

TEST_F(ClipboardTest, TheClipboardOutlivesItsSketchAndANewCopyReleasesTheOld)
{
    drawStrokeAt(sketch, 10, 10);
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 40, 40), 1);
    const int32_t oldSlot = system->clipLayer;
    const int64_t released = system->layersReleased;
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 40, 40), 1);
    EXPECT_EQ(gfxLayerAtSlot(clipSketch(), oldSlot), nullptr);
    EXPECT_EQ(system->layersReleased, released + 1);
    gfxDestroySketch(sketch);
    GfxSketch* fresh = gfxCreateSketch(system, nullptr);
    gfxAddLayer(fresh, nullptr);
    gfxPasteClipboard(fresh, 0, 0);
    EXPECT_EQ(error(), GFX_OK);
    sketch = fresh;
}

TEST_F(ClipboardTest, MergedLayersAreCopiedRecursively)
{
    drawStrokeAt(sketch, 150, 150);
    gfxAddLayer(sketch, nullptr);
    drawStrokeAt(sketch, 10, 10);
    drawStrokeAt(sketch, 100, 100);
    gfxMergeLayerDown(sketch);
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 40, 40), 1);
    const GfxLayer* layer = clipLayer();
    ASSERT_EQ(liveTypes(layer).back(), GFX_RECORD_LAYER_MERGED);
    const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(layer, *gfxRecordAt(layer, layer->records.count - 1));
    const GfxLayer* merged = gfxLayerAtSlot(clipSketch(), merge.mergedSlot);
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(strokeStarts(merged), (std::vector<float>{10}));  // only what meets the rectangle
    EXPECT_TRUE(strokeStarts(layer).empty());
}

TEST_F(ClipboardTest, ImagesGetTheirOwnBytesAndTexture)
{
    const uint8_t pixels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 255};
    GfxElementInput image;
    image.kind = GFX_ELEMENT_IMAGE;
    image.rect[0] = 20;
    image.rect[1] = 20;
    image.rect[2] = 10;
    image.rect[3] = 10;
    image.imageEncoding = GFX_IMAGE_RAW_RGBA;
    image.imageLength = 16;
    image.imageWidth = image.imageHeight = 2;
    image.imageData = pixels;
    gfxBeginElement(sketch, &image);
    gfxEndElement(sketch, &image);
    ASSERT_EQ(error(), GFX_OK);
    ASSERT_EQ(gfxCopyRegion(sketch, 0, 0, 40, 40), 1);
    const GfxLayer* source = gfxCurrentLayer(sketch);
    const GfxImageRecord original =
        gfxReadPayload<GfxImageRecord>(source, *gfxRecordAt(source, liveElements(source)[0]));
    const GfxImageRecord copy =
        gfxReadPayload<GfxImageRecord>(clipLayer(), *gfxRecordAt(clipLayer(), liveElements(clipLayer())[0]));
    EXPECT_NE(copy.encodedBytes, original.encodedBytes);
    EXPECT_EQ(std::memcmp(copy.encodedBytes, pixels, 16), 0);
    ASSERT_NE(copy.texture, 0u);
    EXPECT_NE(copy.texture, original.texture);
    uint8_t readBack[16] = {};
    glBindTexture(GL_TEXTURE_2D, copy.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, readBack);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(std::memcmp(readBack, pixels, 16), 0);
}

TEST_F(ClipboardTest, ALiftNeverMovedIsCancelledByItsCommit)
{
    drawStrokeAt(sketch, 10, 10);
    GfxLayer* layer = gfxCurrentLayer(sketch);
    const std::vector<int32_t> kindsBefore = historyKinds();
    const int32_t recordsBefore = layer->records.count;
    ASSERT_EQ(gfxLiftRegion(sketch, 0, 0, 40, 40, 0, 0), 1);
    EXPECT_EQ(historyKinds().back(), GFX_RECORD_CLIPBOARD_PASTED);
    EXPECT_EQ(historyKinds()[historyKinds().size() - 2], GFX_RECORD_REGION_CUT);
    GfxPastePlacement same{20, 20, 40, 40, 0};  // the source rectangle itself
    gfxCommitPaste(sketch, &same);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(historyKinds(), kindsBefore);
    EXPECT_EQ(sketch->history.count, sketch->history.cursor);
    EXPECT_EQ(layer->records.count, recordsBefore);
    EXPECT_EQ(strokeStarts(layer), (std::vector<float>{10}));
    EXPECT_EQ(layer->renderState, GFX_RENDER_REDRAW_ALL);
}

TEST_F(ClipboardTest, UpdateAndCommitPlaceTheSelection)
{
    drawStrokeAt(sketch, 10, 10);
    ASSERT_EQ(gfxLiftRegion(sketch, 0, 0, 40, 20, 0, 0), 1);
    GfxPastePlacement moved{70, 30, 80, 20, 90};  // twice as wide, turned, centred at (70, 30)
    gfxUpdatePaste(sketch, &moved);
    ASSERT_EQ(error(), GFX_OK);
    GfxLayer* layer = gfxCurrentLayer(sketch);
    GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(layer, *gfxRecordAt(layer, layer->records.count - 1));
    EXPECT_FLOAT_EQ(paste.placementScale, 1.5f);
    float x, y;
    gfxMatrixTransformPoint(paste.placement, 20, 10, &x, &y);  // the source centre lands on the centre
    EXPECT_NEAR(x, 70, 1e-4);
    EXPECT_NEAR(y, 30, 1e-4);
    gfxMatrixTransformPoint(paste.placement, 40, 10, &x, &y);  // 20 right, doubled, turned up
    EXPECT_NEAR(x, 70, 1e-4);
    EXPECT_NEAR(y, 70, 1e-4);
    gfxCommitPaste(sketch, &moved);
    EXPECT_EQ(error(), GFX_OK);
    EXPECT_EQ(historyKinds().back(), GFX_RECORD_CLIPBOARD_PASTED);

    drawStrokeAt(sketch, 100, 100);
    gfxUpdatePaste(sketch, &moved);  // the newest entry is no paste
    EXPECT_EQ(error(), GFX_ERR_INVALID);
    gfxCommitPaste(sketch, &moved);
    EXPECT_EQ(error(), GFX_ERR_INVALID);
}

}  // namespace
