// The shell's start-up registers the commands and default keys, and its window
// callbacks reach the tools: keys through the bindings, the wheel and the mouse.
#include "CommandRegistry.h"
#include "ControllerFixture.h"
#include "CrashHandler.h"
#include "GlTestContext.h"
#include "KeyBindings.h"
#include "KeyCombos.h"
#include "ScriptConsole.h"
#include "Shell.h"
#include "WindowKeys.h"

#include <string>

namespace {

class ShellInput : public ControllerTest {
protected:
    void TearDown() override
    {
        crash::uninstall();
        scriptConsole().requestExit = nullptr;  // it points at this test's shell
        std::unique_ptr<DocumentController> owned(theController());
        setTheController(nullptr);
        owned.reset();
        ControllerTest::TearDown();
    }
};

TEST_F(ShellInput, StartUpWiresKeysWheelAndMouseToTheController)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    GlTestFramebuffer frame(800, 600);
    ASSERT_TRUE(frame.complete());
    // The program's own path, so the resources are found beside it.
    std::string program = std::string(VELLUMIN_RESOURCES) + "/../../vellumin";
    char* argv[] = {program.data()};
    Shell shell(window_);
    shell.startUp(1, argv);
    DocumentController* c = theController();
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(window_.messages.empty()) << window_.messages[0].text;
    EXPECT_NE(commandRegistry().findCommand("menuUndo"), nullptr);
    EXPECT_NE(commandRegistry().findCommand("bind"), nullptr);
    EXPECT_NE(commandRegistry().findCommand("hotkeyPenOpacity9"), nullptr);
    ASSERT_NE(keyBindings().findByCombination("Ctrl+Z"), nullptr);
    EXPECT_EQ(keyBindings().findByCombination("Ctrl+Z")->command, "menuUndo");
    EXPECT_EQ(window_.cursor, CursorKind::BrushOutline);

    window_.events.keyboard('z', 0, 0);
    EXPECT_EQ(c->tool(), TOOL_ZOOM_CANVAS);
    window_.events.special(WINDOW_KEY_WHEEL, 240, 0);
    float scale = 0;
    gfxGetView(c->canvas(), nullptr, &scale);
    EXPECT_FLOAT_EQ(scale, 2.25f);

    window_.events.keyboard('b', 0, 0);
    window_.events.mouse(WINDOW_BUTTON_LEFT, WINDOW_BUTTON_DOWN, 100, 100);
    window_.events.motion(150, 120);
    window_.events.mouse(WINDOW_BUTTON_LEFT, WINDOW_BUTTON_UP, 200, 140);
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(c->canvas(), &a);
    EXPECT_EQ(a.stats.strokeCount, 1);

    window_.modifiers = WINDOW_MODIFIER_CTRL;
    window_.events.keyboard('z', 0, 0);
    gfxGetSketchAttributes(c->canvas(), &a);
    EXPECT_EQ(a.stats.strokeCount, 0);

    // Space held with Shift, from the keyboard callbacks.
    window_.modifiers = 0;
    window_.events.keyboard(' ', 0, 0);
    EXPECT_EQ(c->tool(), TOOL_PAN_CANVAS);
    window_.events.special(WINDOW_KEY_SHIFT, 0, 0);
    EXPECT_EQ(c->tool(), TOOL_ROTATE_CANVAS);
    window_.events.specialUp(WINDOW_KEY_SHIFT, 0, 0);
    window_.events.keyboardUp(' ', 0, 0);
    EXPECT_EQ(c->tool(), TOOL_BRUSH);
}

}  // namespace
