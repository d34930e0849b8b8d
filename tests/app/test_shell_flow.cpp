#include "ControllerFixture.h"
#include "CrashHandler.h"
#include "Shell.h"

namespace {

// Start-up and shutdown on the scripted window layer with a real GL context.
class ShellFlow : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        ASSERT_TRUE(glTestContextMakeCurrent());
    }
    void TearDown() override
    {
        crash::uninstall();
        delete theController();
        setTheController(nullptr);
        ControllerTest::TearDown();
    }
    void startUp()
    {
        static char* argv[] = {program_, nullptr};
        shell_.startUp(1, argv);
    }
    Shell shell_{window_};
    static inline char program_[] = VELLUMIN_RESOURCES "/../../vellumin";
};

TEST_F(ShellFlow, StartUpOpensOneUntitledWindowPlacedAgainstTheScreen)
{
    startUp();
    EXPECT_EQ(window_.windowTitle, "Vellumin-Free - Untitled");
    EXPECT_TRUE(window_.windowMade);
    EXPECT_EQ(window_.placed.left, 100);
    EXPECT_EQ(window_.placed.top, 100);
    EXPECT_EQ(window_.placed.width, window_.screen.width - 200);
    EXPECT_TRUE(window_.maximised);
    EXPECT_EQ(window_.toolkitBundle, Shell::resourceDirectory(program_) + "/VelluminResources.rcc");
    EXPECT_TRUE(crash::installed());
    EXPECT_TRUE(window_.messages.empty());
    ASSERT_NE(theController(), nullptr);
    EXPECT_TRUE(theController()->isClean());
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_SMOOTHING_LEVEL | GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(theController()->canvas(), &a);
    EXPECT_EQ(a.smoothingLevel, 4);
    EXPECT_EQ(a.layerCount, 1);
    // Two white frames before the controller, then frames of the canvas.
    EXPECT_GE(window_.swaps, 3);
    EXPECT_EQ(theController()->windowState().clientWidth, window_.width);
}

TEST_F(ShellFlow, MinimisingRecordsZeroSizeAndSendsNothing)
{
    startUp();
    int swaps = window_.swaps;
    shell_.reshape(0, 0);
    EXPECT_EQ(theController()->windowState().clientWidth, 0);
    EXPECT_EQ(theController()->windowState().clientHeight, 0);
    EXPECT_EQ(window_.swaps, swaps);  // no frame for a minimised window
    shell_.reshape(640, 480);
    EXPECT_EQ(theController()->windowState().clientWidth, 640);
    EXPECT_EQ(window_.swaps, swaps + 1);
}

TEST_F(ShellFlow, CloseWithCancelKeepsRunningAndCloseWithNoExitsZero)
{
    startUp();
    theController()->markChanged();
    window_.messageAnswers = {MessageAnswer::Other};
    shell_.closeRequested();  // Cancel: returns, nothing changed
    EXPECT_FALSE(theController()->isClean());
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, "Save changes?");

    window_.messageAnswers = {MessageAnswer::No};
    try {
        shell_.closeRequested();
        FAIL() << "close did not end the program";
    } catch (const ScriptedExit& exit) {
        EXPECT_EQ(exit.code, 0);
    }
    // No second question after "No", and the controller is gone.
    EXPECT_EQ(window_.messages.size(), 2u);
    EXPECT_EQ(theController(), nullptr);
    EXPECT_FALSE(crash::installed());
}

}  // namespace
