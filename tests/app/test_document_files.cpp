#include "ControllerFixture.h"
#include "ErrorMessages.h"
#include "Fatal.h"
#include "Pins.h"

#include <sys/stat.h>
#include <utime.h>

namespace {

class DocumentFiles : public ControllerTest {
protected:
    DocumentController& controller() { return controller_ ? *controller_ : create(); }

    // Draws one freehand stroke on the current layer.
    void drawStroke(float y)
    {
        GfxSample samples[3] = {{10, y, 1}, {60, y + 5, 1}, {120, y - 5, 1}};
        GfxElementInput input;
        input.kind = GFX_ELEMENT_FREEHAND;
        input.sampleCount = 1;
        input.samples = samples;
        gfxBeginElement(controller().canvas(), &input);
        input.samples = samples + 1;
        input.sampleCount = 1;
        gfxExtendElement(controller().canvas(), &input);
        input.samples = samples + 2;
        gfxEndElement(controller().canvas(), &input);
        ASSERT_EQ(gfxGetLastError(controller().engine()), GFX_OK);
        controller().markChanged();
    }
    int32_t strokeCount()
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_STATS | GFX_SKETCH_LAYER_COUNT;
        gfxGetSketchAttributes(controller().canvas(), &a);
        return a.stats.strokeCount;
    }
    int32_t layerCount()
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_LAYER_COUNT;
        gfxGetSketchAttributes(controller().canvas(), &a);
        return a.layerCount;
    }
    std::string path(const char* name) const { return root_ + "/" + name; }
};

TEST_F(DocumentFiles, SaveThenOpenGivesTheSameCanvasAndPins)
{
    create();
    drawStroke(100);
    drawStroke(200);
    createPin(controller());
    std::string file = path("two strokes.art");
    ASSERT_TRUE(controller().saveDocument(file));
    EXPECT_TRUE(controller().isClean());
    EXPECT_EQ(controller().fileName(), file);

    controller().newDocument();
    EXPECT_EQ(strokeCount(), 0);
    EXPECT_TRUE(controller().pins().pins.empty());

    window_.messages.clear();
    ASSERT_TRUE(controller().openDocument(file));
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(strokeCount(), 2);
    EXPECT_EQ(layerCount(), 1);
    EXPECT_EQ(controller().pins().pins.size(), 1u);
    EXPECT_TRUE(controller().isClean());
    EXPECT_TRUE(controller().hasFileName());
    EXPECT_EQ(window_.windowTitle, "Vellumin-Free - two strokes.art");
    EXPECT_EQ(controller().recentFiles()[0], file);
}

TEST_F(DocumentFiles, UnreadableFileWarnsAndLeavesANewCanvas)
{
    create();
    drawStroke(100);
    std::string bogus = path("bogus.art");
    FILE* f = std::fopen(bogus.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("definitely not a canvas", f);
    std::fclose(f);
    EXPECT_FALSE(controller().openDocument(bogus));
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, "Sorry, Vellumin was unable to load the .art file");
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    ASSERT_NE(controller().canvas(), nullptr);
    EXPECT_EQ(strokeCount(), 0);
    EXPECT_EQ(layerCount(), 1);
    EXPECT_TRUE(controller().isClean());
    EXPECT_FALSE(controller().hasFileName());
    EXPECT_EQ(controller().recentFileCount(), 0);
    EXPECT_EQ(window_.windowTitle, "Vellumin-Free - Untitled");
}

TEST_F(DocumentFiles, RecentFilesKeepOneEntryPerPathAndAtMostFive)
{
    create();
    const char* names[] = {"a.art", "b.art", "c.art", "d.art", "e.art"};
    for (const char* name : names) controller().addRecentFile(path(name));
    EXPECT_EQ(controller().recentFileCount(), 5);
    controller().addRecentFile(path("c.art"));  // again: moves to the front
    EXPECT_EQ(controller().recentFileCount(), 5);
    const char* afterRepeat[] = {"c.art", "e.art", "d.art", "b.art", "a.art"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(controller().recentFiles()[i], path(afterRepeat[i]));
    controller().addRecentFile(path("f.art"));  // a sixth: the oldest falls off
    const char* afterSixth[] = {"f.art", "c.art", "e.art", "d.art", "b.art"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(controller().recentFiles()[i], path(afterSixth[i]));
}

TEST_F(DocumentFiles, SaveOnAnUntitledCanvasAsksForAPathAndCancelChangesNothing)
{
    create();
    drawStroke(100);
    window_.fileAnswers = {""};
    controller().saveCommand();
    ASSERT_EQ(window_.fileDialogs.size(), 1u);
    EXPECT_EQ(window_.fileDialogs[0].request.title, "Save Canvas As");
    EXPECT_EQ(window_.fileDialogs[0].request.filter, "Vellumin Art Files (*.art)");
    EXPECT_EQ(window_.fileDialogs[0].request.defaultExtension, "art");
    EXPECT_FALSE(controller().isClean());
    EXPECT_FALSE(controller().hasFileName());
}

TEST_F(DocumentFiles, NewOpenAndExitOnACleanCanvasAskNothing)
{
    create();
    controller().newDocument();
    window_.fileAnswers = {""};
    controller().openDocumentCommand();
    EXPECT_TRUE(window_.messages.empty());
    ASSERT_EQ(window_.fileDialogs.size(), 1u);
    EXPECT_EQ(window_.fileDialogs[0].request.title, "Open Canvas");
    EXPECT_FALSE(window_.fileDialogs[0].save);
}

TEST_F(DocumentFiles, AFileChangedSinceTheLastSaveAsksBeforeOverwriting)
{
    create();
    drawStroke(100);
    std::string file = path("shared.art");
    ASSERT_TRUE(controller().saveDocument(file));
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    // Someone else writes the file a minute later.
    utimbuf later{before.st_atime, before.st_mtime + 60};
    ASSERT_EQ(utime(file.c_str(), &later), 0);
    drawStroke(200);
    window_.messageAnswers = {MessageAnswer::No};
    EXPECT_FALSE(controller().saveDocument(file));
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, "This file has changed since last save. Do you want to override it?");
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtime, later.modtime);
    EXPECT_FALSE(controller().isClean());

    window_.messageAnswers = {MessageAnswer::Yes};
    EXPECT_TRUE(controller().saveDocument(file));
    EXPECT_TRUE(controller().isClean());
}

TEST_F(DocumentFiles, AFailedSaveWarnsKeepsTheWorkAndStopsNew)
{
    create();
    drawStroke(100);
    std::string unwritable = root_ + "/no such folder/canvas.art";
    EXPECT_FALSE(controller().saveDocument(unwritable));
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, messageFor(FILE_ERR_CANNOT_OPEN));
    EXPECT_FALSE(controller().isClean());

    // "Save changes?" → Yes → a path that cannot be written: New must not go on.
    window_.messages.clear();
    window_.messageAnswers = {MessageAnswer::Yes};
    window_.fileAnswers = {unwritable};
    controller().newDocument();
    EXPECT_EQ(strokeCount(), 1);
    EXPECT_FALSE(controller().isClean());
}

}  // namespace
