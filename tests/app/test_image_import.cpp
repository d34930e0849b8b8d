// Image import: the dialog and the kind by extension, the PNG size rule on the file
// size, the probes, the 95 % fit, placing on a new layer with the image-placement
// tool, undo and redo of the whole import, and damaged files that change nothing.
#include "CanvasProbe.h"
#include "ImageFiles.h"
#include "ImageImport.h"
#include "LayerOperations.h"
#include "Selection.h"
#include "ToolTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int32_t kHistoryLayerAdded = 8;  // the history kind of a new layer

TEST(ImageImportRules, TheKindComesFromTheLowerCasedExtensionOfTheFileName)
{
    struct Case {
        const char* path;
        int32_t kind;
    };
    const Case cases[] = {
        {"/home/u/picture.JPG", IMAGE_KIND_JPEG},
        {"/home/u/picture.jpeg", IMAGE_KIND_JPEG},
        {"/home/u/photo.Jpg", IMAGE_KIND_JPEG},
        {"/home/u/plan.png", IMAGE_KIND_PNG},
        {"/home/u/plan.PnG", IMAGE_KIND_PNG},
        {"/home/u/anim.gif", IMAGE_KIND_NONE},
        {"/home/u/noextension", IMAGE_KIND_NONE},
        {"/home/u/folder.png/file", IMAGE_KIND_NONE},  // a dot in a folder name
        {"/home/u/archive.png.gz", IMAGE_KIND_NONE},
        {"/home/u/odd.", IMAGE_KIND_NONE},
    };
    for (const Case& test : cases) EXPECT_EQ(imageKindOfPath(test.path), test.kind) << test.path;
}

TEST(ImageImportRules, AnImageLargerThan95PercentOfTheWindowIsScaledDownKeepingItsAspect)
{
    struct Case {
        float width, height, fittedWidth, fittedHeight;
    };
    // Window 800 x 600: room for 760 x 570.
    const Case cases[] = {
        {64, 48, 64, 48},       // smaller in both directions: its own size
        {760, 570, 760, 570},   // exactly the room: its own size
        {2000, 1000, 760, 380}, // wider: the width decides
        {300, 1140, 150, 570},  // taller: the height decides
        {761, 10, 760, 10 * 760.0f / 761},
    };
    for (const Case& test : cases) {
        float w = 0, h = 0;
        fitImageSize(test.width, test.height, 800, 600, &w, &h);
        EXPECT_FLOAT_EQ(w, test.fittedWidth) << test.width << " x " << test.height;
        EXPECT_FLOAT_EQ(h, test.fittedHeight) << test.width << " x " << test.height;
    }
}

TEST(ImageImportRules, APngOfExactly140000000BytesPassesTheSizeTestOneMoreDoesNot)
{
    EXPECT_TRUE(pngFileSizeAccepted(140000000));
    EXPECT_FALSE(pngFileSizeAccepted(140000001));
    EXPECT_TRUE(pngFileSizeAccepted(0));
}

class ImageImport : public RenderedToolTest {
protected:
    DocumentController& begin() { return startRendering(); }
    std::string file(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = root_ + "/" + name;
        image_files::write(path, bytes);
        return path;
    }
    // A file of `size` bytes that holds only `head` (the rest is a hole on disk).
    std::string sparseFile(const std::string& name, const std::vector<uint8_t>& head, off_t size)
    {
        const std::string path = file(name, head);
        EXPECT_EQ(::truncate(path.c_str(), size), 0);
        return path;
    }
    std::array<uint8_t, 4> pixelAt(int x, int y) { return renderedPixel(x, y); }
    bool blueAt(int x, int y)
    {
        const auto p = pixelAt(x, y);
        return p[2] > 150 && p[0] < 100;
    }
    int32_t layers() { return layerCount(c()); }
    int32_t undoKind() { return attributes(GFX_SKETCH_UNDO_KIND).undoKind; }
    const GfxImageRecord* lastImage()
    {
        const int32_t index = lastElement();
        if (index < 0 || gfxRecordAt(layer(), index)->type != GFX_RECORD_IMAGE) return nullptr;
        image_ = lastPayload<GfxImageRecord>();
        return &image_;
    }
    // The image's own layer and the placement tool, or a reason why not.
    void expectPlaced(float width, float height)
    {
        EXPECT_TRUE(window_.messages.empty()) << (window_.messages.empty() ? "" : window_.messages[0].text);
        EXPECT_EQ(layers(), 2);
        EXPECT_EQ(probe::layerNames(c()), (std::vector<std::string>{"Layer 1", "Layer 2"}));
        EXPECT_EQ(probe::sketch(c(), GFX_SKETCH_CURRENT_LAYER).currentLayer, 1);
        EXPECT_EQ(c().tool(), TOOL_IMAGE_PLACEMENT);
        EXPECT_FALSE(c().isClean());
        const TransformInProgress& t = c().tools().transform;
        EXPECT_TRUE(t.active);
        EXPECT_FALSE(t.selection);
        EXPECT_EQ(t.elementKind, GFX_ELEMENT_IMAGE);
        EXPECT_EQ(t.centreX, 400);
        EXPECT_EQ(t.centreY, 300);
        EXPECT_FLOAT_EQ(t.width, width);
        EXPECT_FLOAT_EQ(t.height, height);
        EXPECT_EQ(t.angle, 0);
        EXPECT_TRUE(elementOpen());
    }

    GfxImageRecord image_{};
};

TEST_F(ImageImport, TheOpenDialogAsksForAnImageAndOnlyJpegAndPngStartAnImport)
{
    begin();
    window_.fileAnswers = {"", root_ + "/anim.gif"};
    importImageFromDialog(c());
    importImageFromDialog(c());
    ASSERT_EQ(window_.fileDialogs.size(), 2u);
    EXPECT_FALSE(window_.fileDialogs[0].save);
    EXPECT_EQ(window_.fileDialogs[0].request.title, "Open Image");
    EXPECT_EQ(window_.fileDialogs[0].request.filter,
              "All Formats (*.jpg *.jpeg *.png);;JPEG Files (*.jpg *.jpeg);;PNG Files (*.png)");
    EXPECT_TRUE(window_.messages.empty()) << "neither a cancel nor a .gif says anything";
    EXPECT_EQ(layers(), 1);
    EXPECT_TRUE(c().isClean());

    std::string path;
    int32_t kind = IMAGE_KIND_NONE;
    window_.fileAnswers = {root_ + "/picture.JPG"};
    ASSERT_TRUE(chooseImageFile(c(), &path, &kind));
    EXPECT_EQ(path, root_ + "/picture.JPG");
    EXPECT_EQ(kind, IMAGE_KIND_JPEG);
}

TEST_F(ImageImport, AJpegLandsCentredAtItsOwnSizeOnANewLayerWithThePlacementTool)
{
    begin();
    c().setTool(TOOL_LINE, false);
    window_.fileAnswers = {file("photo.jpg", image_files::jpeg(64, 48))};
    command("menuImportImage");
    expectPlaced(64, 48);
    EXPECT_EQ(c().tools().previousTool, TOOL_LINE);
    EXPECT_EQ(undoKind(), GFX_RECORD_IMAGE);
    const auto inside = pixelAt(400, 300);
    EXPECT_GT(inside[0], 150);
    EXPECT_LT(inside[1], 100);
    EXPECT_GT(pixelAt(440, 300)[1], 200) << "nothing beyond its 64 pixels";

    // A press on the image drags it; a press outside places it and gives the line back.
    window_.seconds += 1;
    down(400, 300);
    EXPECT_EQ(c().interaction(), INTERACTION_SHAPE_TRANSFORM);
    move(450, 320);
    up(450, 320);
    EXPECT_EQ(c().tools().transform.centreX, 450);
    click(50, 50);
    EXPECT_FALSE(c().tools().transform.active);
    EXPECT_FALSE(elementOpen());
    EXPECT_EQ(c().tool(), TOOL_LINE);
    ASSERT_NE(lastImage(), nullptr);
    EXPECT_EQ(lastImage()->encoding, GFX_IMAGE_JPEG);
    EXPECT_EQ(lastImage()->centreX, 450);
    EXPECT_EQ(lastImage()->centreY, 320);
    EXPECT_EQ(lastImage()->textureWidth, 64);
}

TEST_F(ImageImport, APngIsAcceptedRecordedAsAStoredPngAndFittedInto95PercentOfTheWindow)
{
    begin();
    importImage(c(), file("wide.png", image_files::png(2000, 1000)), IMAGE_KIND_PNG);
    expectPlaced(760, 380);
    EXPECT_TRUE(blueAt(400, 300));
    EXPECT_TRUE(blueAt(25, 300));
    EXPECT_FALSE(blueAt(15, 300));
    EXPECT_FALSE(blueAt(400, 500));
    c().finishInteraction();
    ASSERT_NE(lastImage(), nullptr);
    EXPECT_EQ(lastImage()->encoding, GFX_IMAGE_PNG_STORED);
    EXPECT_FLOAT_EQ(lastImage()->width, 760);
}

TEST_F(ImageImport, TwentyLayersRefuseTheImportBeforeTheFileIsRead)
{
    begin();
    while (layers() < kMaxLayers) ASSERT_TRUE(newLayer(c()));
    c().markClean();
    importImage(c(), file("photo.jpg", image_files::jpeg(16, 16)), IMAGE_KIND_JPEG);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, kLayerLimitMessage);
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    EXPECT_EQ(layers(), kMaxLayers);
    EXPECT_TRUE(c().isClean());
    EXPECT_NE(c().tool(), TOOL_IMAGE_PLACEMENT);
}

TEST_F(ImageImport, UndoTakesTheImageAndItsLayerInOneStepAndRedoBringsBothBack)
{
    begin();
    importImage(c(), file("small.png", image_files::png(40, 30)), IMAGE_KIND_PNG);
    click(700, 500);  // placed
    ASSERT_EQ(layers(), 2);
    ASSERT_TRUE(blueAt(400, 300));

    c().undo();
    EXPECT_EQ(layers(), 1);
    EXPECT_FALSE(blueAt(400, 300));
    EXPECT_EQ(undoKind(), kHistoryLayerAdded) << "only the first layer's creation is left";
    c().redo();
    EXPECT_EQ(layers(), 2);
    EXPECT_TRUE(blueAt(400, 300));
    EXPECT_EQ(undoKind(), GFX_RECORD_IMAGE);

    // Undo while the image is still being placed: the same single step.
    importImage(c(), file("second.png", image_files::png(20, 20)), IMAGE_KIND_PNG);
    ASSERT_EQ(layers(), 3);
    c().undo();
    EXPECT_EQ(layers(), 2);
    EXPECT_FALSE(elementOpen());
    EXPECT_NE(c().tool(), TOOL_IMAGE_PLACEMENT);
}

TEST_F(ImageImport, DamagedOrForeignFilesSayUnsupportedAndLeaveTheCanvasAsItWas)
{
    const std::vector<uint8_t> jpeg = image_files::jpeg(64, 64);
    const std::vector<uint8_t> png = image_files::png(64, 64, 10, 200, 10);
    const size_t scan = image_files::scanDataOffset(jpeg);
    ASSERT_LT(scan + 10, jpeg.size());
    std::vector<uint8_t> badCrc = png;
    badCrc[badCrc.size() - 20] ^= 0x55;  // inside the last data chunk
    std::vector<uint8_t> garbage(4096);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 131 + 7);
    std::vector<uint8_t> jpegSignatureOnly = {0xFF, 0xD8, 0xFF};
    std::vector<uint8_t> hugeByAccident = png;
    hugeByAccident[16] = 0x7F;  // the width's top byte: the IHDR's CRC no longer matches

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t kind;
    };
    const std::vector<Case> cases = {
        {"cut-in-header.jpg", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 100), IMAGE_KIND_JPEG},
        // The header is whole, the picture is not: only decoding finds out.
        {"cut-in-scan.jpg", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<long>(scan) + 8),
         IMAGE_KIND_JPEG},
        {"signature-only.jpg", jpegSignatureOnly, IMAGE_KIND_JPEG},
        {"garbage.jpg", garbage, IMAGE_KIND_JPEG},
        {"png-named.jpg", png, IMAGE_KIND_JPEG},
        {"empty.png", {}, IMAGE_KIND_PNG},
        {"cut.png", std::vector<uint8_t>(png.begin(), png.end() - 30), IMAGE_KIND_PNG},
        {"header-only.png", std::vector<uint8_t>(png.begin(), png.begin() + 33), IMAGE_KIND_PNG},
        {"bad-crc.png", badCrc, IMAGE_KIND_PNG},
        {"damaged-size.png", hugeByAccident, IMAGE_KIND_PNG},
        {"jpeg-named.png", jpeg, IMAGE_KIND_PNG},
        {"garbage.png", garbage, IMAGE_KIND_PNG},
    };
    begin();
    probe::drawStroke(c(), 100, 100);
    c().setTool(TOOL_LINE, false);
    c().markClean();
    const int32_t undoBefore = undoKind();
    auto expectUnchanged = [&](const std::string& what) {
        ASSERT_EQ(window_.messages.size(), 1u) << what;
        EXPECT_EQ(window_.messages[0].text, kImageUnsupportedMessage) << what;
        EXPECT_EQ(window_.messages[0].caption, "Warning") << what;
        EXPECT_EQ(layers(), 1) << what;
        EXPECT_EQ(undoKind(), undoBefore) << what;
        EXPECT_TRUE(c().isClean()) << what;
        EXPECT_EQ(c().tool(), TOOL_LINE) << what;
        EXPECT_FALSE(elementOpen()) << what;
        EXPECT_EQ(c().layerNameCounter(), 2) << what << ": the next layer is still Layer 2";
        window_.messages.clear();
    };
    for (const Case& test : cases) {
        importImage(c(), file(test.name, test.bytes), test.kind);
        expectUnchanged(test.name);
    }
    ASSERT_EQ(::mkdir((root_ + "/folder.png").c_str(), 0700), 0);
    importImage(c(), root_ + "/folder.png", IMAGE_KIND_PNG);
    expectUnchanged("a folder");
    importImage(c(), root_ + "/missing.jpg", IMAGE_KIND_JPEG);
    expectUnchanged("a missing file");
    ASSERT_EQ(::mkfifo((root_ + "/pipe.jpg").c_str(), 0600), 0);
    importImage(c(), root_ + "/pipe.jpg", IMAGE_KIND_JPEG);  // would block a reader
    expectUnchanged("a pipe");

    // The import works as ever afterwards.
    importImage(c(), file("good.png", png), IMAGE_KIND_PNG);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(probe::layerNames(c()), (std::vector<std::string>{"Layer 1", "Layer 2"}));
}

TEST_F(ImageImport, TheSizeRuleReadsOnlyTheFileSizeAndTheHeader)
{
    // A PNG head claiming 20000 x 20000 pixels, more than the engine takes.
    const std::vector<uint8_t> head = image_files::pngHead(20000, 20000);
    begin();
    c().markClean();
    importImage(c(), sparseFile("exact.png", head, 140000000), IMAGE_KIND_PNG);
    importImage(c(), sparseFile("over.png", head, 140000001), IMAGE_KIND_PNG);
    // A JPEG whose frame claims 20000 x 20000.
    importImage(c(), file("huge.jpg", image_files::withFrameSize(image_files::jpeg(16, 16), 20000, 20000)),
                IMAGE_KIND_JPEG);
    std::vector<std::string> texts;
    for (const auto& message : window_.messages) texts.push_back(message.text);
    EXPECT_EQ(texts, (std::vector<std::string>{kImageCpuMemoryMessage,  // past the size test, refused by its pixels
                                               kImageFileTooLargeMessage, kImageCpuMemoryMessage}));
    EXPECT_EQ(layers(), 1);
    EXPECT_TRUE(c().isClean());
}

TEST_F(ImageImport, TheProbesGiveTheSizeOfGoodFilesAndNothingForBadOnes)
{
    begin();
    int32_t width = -1, height = -1;
    EXPECT_TRUE(probeJpegSize(file("a.jpg", image_files::jpeg(33, 17)), &width, &height));
    EXPECT_EQ(width, 33);
    EXPECT_EQ(height, 17);
    EXPECT_TRUE(probePngSize(file("a.png", image_files::png(21, 9)), &width, &height));
    EXPECT_EQ(width, 21);
    EXPECT_EQ(height, 9);
    const std::vector<uint8_t> png = image_files::png(21, 9);
    EXPECT_FALSE(probePngSize(file("cut.png", std::vector<uint8_t>(png.begin(), png.end() - 13)), &width, &height));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    EXPECT_FALSE(probeJpegSize(root_ + "/nothing.jpg", &width, &height));
    EXPECT_EQ(width, 0);
}

}  // namespace
