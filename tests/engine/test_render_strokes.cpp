// Strokes and shapes on screen: the marker's single blend where it overlaps itself,
// pencil stamps accumulating, erasing, shape rotation, the open element, the
// visible-rectangle skip, layer opacity and zoomed widths.
#include "RenderTestSupport.h"

namespace {

const Rgba WHITE{255, 255, 255, 255};
const Rgba BLACK{0, 0, 0, 255};

std::vector<GfxSample> crossingPath()  // crosses itself at (32, 32)
{
    return {{8, 32, 1}, {56, 32, 1}, {56, 12, 1}, {32, 12, 1}, {32, 56, 1}};
}

// Right and left over the same line, long enough for more than one 8000-vertex batch.
std::vector<GfxSample> backAndForthPath()
{
    std::vector<GfxSample> points;
    for (int pass = 0; pass < 6; ++pass)
        for (int i = 0; i < 200; ++i) {
            const float x = pass % 2 == 0 ? 10.0f + 0.22f * i : 54.0f - 0.22f * i;
            points.push_back({x, 32, 1});
        }
    return points;
}

using RenderStrokesTest = RenderTest;

TEST_F(RenderStrokesTest, AMarkerThatOverlapsItselfHasOneColourThere)
{
    const struct {
        const char* name;
        std::vector<GfxSample> path;
        int overlapX, overlapY, singleX, singleY;
    } cases[] = {
        {"crossing loop", crossingPath(), 32, 32, 44, 32},
        {"back and forth, batched", backAndForthPath(), 32, 32, 32, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gfxClearLayer(sketch);
        setPen(marker(0, 0, 0, 8, 0.5f));
        drawPath(c.path);
        render();
        const Rgba expected = over(WHITE, BLACK, 127 / 255.0f);
        EXPECT_TRUE(near(pixel(c.singleX, c.singleY), expected, 1));
        EXPECT_TRUE(near(pixel(c.overlapX, c.overlapY), expected, 1));
        EXPECT_TRUE(near(pixel(56, 31), expected, 1));  // a corner: three cells meet
    }
    GfxVertexRange range;
    GfxLayer* layer = gfxLayerAtPosition(sketch, 0);
    ASSERT_TRUE(gfxElementVertexRange(layer, *gfxRecordAt(layer, layer->records.cursor - 1), &range));
    EXPECT_GT(range.count, 8000);  // the second case really took more than one batch
}

TEST_F(RenderStrokesTest, TwoMarkerStrokesThatOverlapBlendNormally)
{
    setPen(marker(0, 0, 0, 8, 0.5f));
    drawLine(8, 32, 56, 32);
    drawLine(32, 8, 32, 56);
    render();
    const float alpha = 127 / 255.0f;
    EXPECT_TRUE(near(pixel(16, 32), over(WHITE, BLACK, alpha), 1));
    EXPECT_TRUE(near(pixel(32, 48), over(WHITE, BLACK, alpha), 1));
    const float both = 1 - (1 - alpha) * (1 - alpha);
    EXPECT_TRUE(near(pixel(32, 32), over(WHITE, BLACK, both), 2));
}

TEST_F(RenderStrokesTest, APencilThatOverlapsItselfIsDarkerThere)
{
    setPen(pencil(8, 0.1f));
    drawPath(crossingPath());
    render();
    const Rgba single = pixel(44, 32);
    const Rgba overlap = pixel(32, 32);
    EXPECT_LT(single[0], 235);                 // the pencil shows
    EXPECT_LT(overlap[0] + 20, single[0]);     // and its stamps pile up where it crosses
    EXPECT_TRUE(near(pixel(20, 50), WHITE, 0)); // nothing outside the stroke
}

TEST_F(RenderStrokesTest, PencilStrokesInARowLookAsIfDrawnOneByOne)
{
    // Consecutive pencil strokes are drawn with one call; with a colour record
    // between each (the same colour again) they are drawn one call each.
    std::vector<uint8_t> images[2];
    for (int separated = 0; separated < 2; ++separated) {
        gfxClearLayer(sketch);
        for (int i = 0; i < 4; ++i) {
            PenSettings pen = pencil(10, 0.4f);
            pen.noise = 0.7f;
            if (separated || i == 0) setPen(pen);
            drawLine(8 + 4.0f * i, 10, 56 - 4.0f * i, 54);
        }
        render();
        images[separated] = pixels();
    }
    EXPECT_EQ(images[0], images[1]);
    EXPECT_LT(pixel(32, 32)[0], 200);
}

TEST_F(RenderStrokesTest, PencilNoiseAddsGrain)
{
    int spread[2] = {0, 0};
    for (int noise = 0; noise < 2; ++noise) {
        gfxClearLayer(sketch);
        PenSettings pen = pencil(20, 0.6f);
        pen.noise = static_cast<float>(noise);
        setPen(pen);
        drawLine(10, 32, 54, 32);
        render();
        int lowest = 255, highest = 0;
        for (int x = 20; x < 44; ++x) {
            lowest = std::min<int>(lowest, pixel(x, 37)[0]);
            highest = std::max<int>(highest, pixel(x, 37)[0]);
        }
        spread[noise] = highest - lowest;
    }
    EXPECT_GT(spread[1], spread[0] + 10);
}

TEST_F(RenderStrokesTest, ErasingRemovesColourByItsDensityAndShowsThePaper)
{
    const Rgba paper{200, 60, 60, 255};
    setPaperColour(paper[0], paper[1], paper[2]);
    setPen(marker(0, 0, 0, 20, 1.0f));
    drawLine(4, 32, 60, 32);
    PenSettings eraser = marker(0, 0, 0, 8, 0.5f);
    eraser.erase = 1;
    setPen(eraser);
    drawLine(24, 4, 24, 60);
    eraser.opacity = 1.0f;
    setPen(eraser);
    drawLine(44, 4, 44, 60);
    render();
    EXPECT_TRUE(near(pixel(10, 32), BLACK, 0));
    EXPECT_TRUE(near(pixel(24, 32), over(paper, BLACK, 1 - 127 / 255.0f), 1));  // half erased
    EXPECT_TRUE(near(pixel(44, 32), paper, 0));                                // all of it
    EXPECT_TRUE(near(pixel(44, 52), paper, 0));                                // erasing nothing
}

TEST_F(RenderStrokesTest, ShapesTurnAboutTheirCentre)
{
    const struct {
        int32_t kind;
        float angle;
        int paintedX, paintedY, emptyX, emptyY;
    } cases[] = {
        {GFX_ELEMENT_RECTANGLE, 0, 52, 32, 32, 52},
        {GFX_ELEMENT_RECTANGLE, 90, 32, 52, 52, 32},
        {GFX_ELEMENT_ELLIPSE, 0, 52, 32, 32, 52},
        {GFX_ELEMENT_ELLIPSE, 90, 32, 52, 52, 32},
    };
    setPen(marker(0, 0, 0, 3, 1.0f));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " angle " << c.angle);
        gfxClearLayer(sketch);
        drawShape(c.kind, 32, 32, 40, 16, c.angle);
        render();
        EXPECT_TRUE(near(pixel(c.paintedX, c.paintedY), BLACK, 0));
        EXPECT_TRUE(near(pixel(c.emptyX, c.emptyY), WHITE, 0));
        EXPECT_TRUE(near(pixel(32, 32), WHITE, 0));  // an outline
    }
}

TEST_F(RenderStrokesTest, TheWideMarkerIsBroadAcrossItsDiagonal)
{
    PenSettings pen = marker(0, 0, 0, 4, 1.0f);
    pen.type = 2;
    setPen(pen);
    drawLine(32, 8, 32, 56);  // vertical: crosses the nib's diagonal
    render();
    EXPECT_TRUE(near(pixel(32, 32), BLACK, 0));
    EXPECT_TRUE(near(pixel(36, 35), BLACK, 8));  // along the nib, beyond the pen radius
    EXPECT_TRUE(near(pixel(44, 32), WHITE, 0));
}

TEST_F(RenderStrokesTest, TheOpenElementIsDrawnWhileItIsMade)
{
    setPen(marker(0, 0, 0, 6, 1.0f));
    const GfxSample start{10, 32, 1}, middle{50, 32, 1};
    GfxElementInput input;
    input.kind = GFX_ELEMENT_LINE;
    input.sampleCount = 1;
    input.samples = &start;
    gfxBeginElement(sketch, &input);
    input.samples = &middle;
    gfxExtendElement(sketch, &input);
    render();
    EXPECT_TRUE(near(pixel(30, 32), BLACK, 0));
    const GfxSample end{10, 10, 1};
    input.samples = &end;
    gfxEndElement(sketch, &input);
    render();
    EXPECT_TRUE(near(pixel(30, 32), WHITE, 0));  // the line went elsewhere in the end
    EXPECT_TRUE(near(pixel(10, 20), BLACK, 0));
}

TEST_F(RenderStrokesTest, ElementsOutsideTheViewAreSkipped)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(10, 10, 20, 10);
    render();
    EXPECT_TRUE(near(pixel(15, 10), BLACK, 0));
    const struct {
        float panX;
        bool drawn;
        int x;
    } cases[] = {{1000, false, 15}, {-1000, false, 15}, {45, true, 61}, {0, true, 15}};
    float panned = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.panX);
        panView(c.panX - panned, 0);
        panned = c.panX;
        const int64_t culled = stats().elementsCulled;
        render();
        EXPECT_EQ(stats().elementsCulled - culled, c.drawn ? 0 : 1);
        EXPECT_TRUE(near(pixel(c.x, 10), c.drawn ? BLACK : WHITE, 0));
    }
}

TEST_F(RenderStrokesTest, LayersAreCompositedWithTheirOpacity)
{
    setPen(marker(0, 0, 0, 8, 1.0f));
    drawLine(8, 32, 56, 32);
    gfxAddLayer(sketch, nullptr);
    setPen(marker(0, 0, 255, 8, 1.0f));
    drawLine(32, 8, 32, 56);
    setLayerOpacity(1, 0.5f);
    render();
    EXPECT_TRUE(near(pixel(16, 32), BLACK, 0));
    EXPECT_TRUE(near(pixel(32, 48), over(WHITE, Rgba{0, 0, 255, 255}, 0.5f), 1));
    EXPECT_TRUE(near(pixel(32, 32), over(BLACK, Rgba{0, 0, 255, 255}, 0.5f), 1));
    setLayerVisible(0, 0);
    render();
    EXPECT_TRUE(near(pixel(16, 32), WHITE, 0));
}

TEST_F(RenderStrokesTest, ZoomingScalesTheWidths)
{
    setPen(marker(0, 0, 0, 4, 1.0f));
    drawLine(8, 16, 56, 16);
    render();
    EXPECT_TRUE(near(pixel(16, 20), WHITE, 0));  // 4 pixels from a line 4 wide
    zoomView(2.0f, 0, 0);                          // the line is at y = 32 now, 8 wide
    render();
    EXPECT_TRUE(near(pixel(16, 34), BLACK, 0));
    EXPECT_TRUE(near(pixel(16, 37), WHITE, 0));
    // A new element after the zoom gets a frame of its own and is as wide as drawn.
    drawLine(8, 50, 56, 50);
    render();
    EXPECT_TRUE(near(pixel(16, 50), BLACK, 0));
    EXPECT_TRUE(near(pixel(16, 53), WHITE, 0));
}

}  // namespace
