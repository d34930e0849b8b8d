#include "ControllerFixture.h"
#include "Fatal.h"

#include <cstdio>

namespace {

using ControllerLifecycle = ControllerTest;

TEST_F(ControllerLifecycle, CreationBuildsACleanCanvasWithOneLayerAndWhitePaper)
{
    DocumentController& controller = create();
    EXPECT_TRUE(window_.messages.empty()) << window_.messages[0].text;
    EXPECT_TRUE(controller.isClean());
    ASSERT_NE(controller.canvas(), nullptr);
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_CURRENT_LAYER | GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TINT |
              GFX_SKETCH_UNDO_KIND;
    gfxGetSketchAttributes(controller.canvas(), &a);
    EXPECT_EQ(a.layerCount, 1);
    EXPECT_EQ(a.currentLayer, 0);
    EXPECT_EQ(a.paperColour[0], 255);
    EXPECT_EQ(a.paperColour[1], 255);
    EXPECT_EQ(a.paperColour[2], 255);
    EXPECT_EQ(a.paperTint, 1);
    EXPECT_EQ(a.undoKind, 8);  // only the first layer's creation
    GfxLayerAttributes layer;
    layer.flags = GFX_LAYER_NAME;
    gfxGetLayerAttributes(controller.canvas(), 0, &layer);
    EXPECT_STREQ(layer.name, "Layer 1");
    EXPECT_EQ(controller.recentFileCount(), 0);
    EXPECT_EQ(controller.recentFiles()[0], "No recent files");
    for (int paper = 1; paper < DocumentController::kPaperCount; ++paper) {
        ASSERT_GE(controller.paper(paper).bytes.size(), 2u) << "paper " << paper;
        EXPECT_EQ(controller.paper(paper).bytes[0], 0xFF);
        EXPECT_EQ(controller.paper(paper).bytes[1], 0xD8);
    }
    EXPECT_TRUE(controller.paper(0).bytes.empty());
}

TEST_F(ControllerLifecycle, MissingOrForeignPaperWarnsOnceAndLeavesItEmpty)
{
    std::string resources = root_ + "/resources";
    std::string copy = "mkdir -p '" + resources + "' && cp -r '" VELLUMIN_RESOURCES "/Paper' '" + resources + "/'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    ASSERT_EQ(std::remove((resources + "/Paper/07.jpg").c_str()), 0);
    FILE* foreign = std::fopen((resources + "/Paper/12.jpg").c_str(), "wb");
    ASSERT_NE(foreign, nullptr);
    std::fputs("not a jpeg", foreign);
    std::fclose(foreign);

    DocumentController& controller = create(resources);
    ASSERT_EQ(window_.messages.size(), 2u);
    for (const auto& box : window_.messages) {
        EXPECT_EQ(box.text, "Could not read paper file");
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_EQ(box.icon, MessageIcon::Warning);
    }
    EXPECT_TRUE(controller.paper(7).bytes.empty());
    EXPECT_TRUE(controller.paper(12).bytes.empty());
    EXPECT_FALSE(controller.paper(6).bytes.empty());
    EXPECT_FALSE(controller.paper(19).bytes.empty());
}

TEST_F(ControllerLifecycle, NoOpenGlStopsWithCodeThree)
{
    window_.glExtensionLoader = [] { return false; };
    EXPECT_THROW(DocumentController::create(window_, VELLUMIN_RESOURCES), ScriptedExit);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_NE(window_.messages[0].text.find("insufficient OpenGL support"), std::string::npos);
    EXPECT_FALSE(window_.messages[0].owned);
}

TEST_F(ControllerLifecycle, NewDocumentOnACleanCanvasAsksNothing)
{
    DocumentController& controller = create();
    controller.newDocument();
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(controller.isClean());
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(controller.canvas(), &a);
    EXPECT_EQ(a.layerCount, 1);
}

TEST_F(ControllerLifecycle, UnsavedChangesPromptCancelKeepsEverything)
{
    DocumentController& controller = create();
    controller.markChanged();
    GfxSketch* canvas = controller.canvas();
    window_.messageAnswers = {MessageAnswer::Other};
    controller.newDocument();
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, "Save changes?");
    EXPECT_EQ(window_.messages[0].caption, "Save Changes");
    EXPECT_TRUE(window_.messages[0].cancel);
    EXPECT_EQ(controller.canvas(), canvas);
    EXPECT_FALSE(controller.isClean());
}

TEST_F(ControllerLifecycle, TitleNamesTheDocument)
{
    DocumentController& controller = create();
    controller.setTitle("Untitled");
    EXPECT_EQ(window_.windowTitle, "Vellumin-Free - Untitled");
}

}  // namespace
