// The menu commands on a real controller and canvas (scripted window layer, Mesa GL):
// the dispatch switch, the command table, window opacity, the interface and panel
// switches with their check marks, restore defaults, the boxes, the help pages, the
// developer shortcuts, the pop-up, and the shell's special-key road to all of them.
#include "CommandDispatch.h"
#include "CommandRegistry.h"
#include "ControllerFixture.h"
#include "CrashHandler.h"
#include "KeyBindings.h"
#include "LayerOperations.h"
#include "MenuModel.h"
#include "Selection.h"
#include "Shell.h"
#include "ToolCommands.h"

#include <string>
#include <vector>

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;

int32_t strokeCount(GfxSketch* sketch)
{
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &a);
    return a.stats.strokeCount;
}

int32_t layerCount(GfxSketch* sketch)
{
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(sketch, &a);
    return a.layerCount;
}

class MenuCommandsTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        ASSERT_TRUE(glTestContextMakeCurrent());
        DocumentController& c = create();
        c.windowState().clientWidth = kWidth;
        c.windowState().clientHeight = kHeight;
        gfxSetViewport(c.canvas(), 0, 0, kWidth, kHeight);
        setMenuCommands(&commands_);
        commands_.requestExit = [this] { ++exitRequests_; };
        commands_.buildMenuBar();
        // The whole command table, as start-up registers it.
        registerToolCommands(registry_);
        registerLayerAndPinCommands(registry_);
        registerSelectionCommands(registry_);  // selection and image import, as the shell does
        commands_.registerCommands(registry_);
        addDefaultBindings(bindings_);
        commands_.updateCheckMarks();
        window_.events.special = [this](int32_t key, int32_t, int32_t) { commands_.dispatch(key); };
    }
    void TearDown() override
    {
        setMenuCommands(nullptr);
        ControllerTest::TearDown();
    }

    DocumentController& controller() { return *controller_; }
    MenuModel& menus() { return controller_->windowState().menuBar; }
    const MenuItem& item(int32_t id)
    {
        const MenuItem* found = menus().find(id);
        EXPECT_NE(found, nullptr) << "no item " << id;
        static const MenuItem none;
        return found ? *found : none;
    }
    // What the window shows of an item: the bar handed to the window layer.
    const MenuItem* shown(int32_t id)
    {
        std::function<const MenuItem*(const std::vector<MenuItem>&)> find = [&](const std::vector<MenuItem>& items)
            -> const MenuItem* {
            for (const MenuItem& entry : items) {
                if (entry.isSubmenu()) {
                    if (const MenuItem* inner = find(entry.submenu)) return inner;
                } else if (entry.id == id) {
                    return &entry;
                }
            }
            return nullptr;
        };
        return find(window_.menuBar);
    }
    void press(const char* combination)
    {
        const KeyBinding* binding = bindings_.findByCombination(combination);
        ASSERT_NE(binding, nullptr) << combination;
        bindings_.runBinding(binding->combo);
    }

    MenuCommands commands_{window_};
    CommandRegistry registry_;
    KeyBindings bindings_{registry_};
    int exitRequests_ = 0;
};

// ---- window opacity ------------------------------------------------------------------

TEST_F(MenuCommandsTest, CtrlWTwiceReturnsToOpaqueWithTheStepsGreyedAgain)
{
    press("Ctrl+W");
    EXPECT_TRUE(window_.windowOpacityEnabled);
    EXPECT_FLOAT_EQ(window_.windowOpacity, 0.5f);
    EXPECT_EQ(item(10050).caption, "Deactivate Window Opacity\tCtrl+W");
    EXPECT_TRUE(item(10051).enabled);
    EXPECT_TRUE(item(10052).enabled);
    ASSERT_NE(shown(10051), nullptr);
    EXPECT_TRUE(shown(10051)->enabled);  // the window got the change too

    press("Ctrl+W");
    EXPECT_FALSE(window_.windowOpacityEnabled);
    EXPECT_FLOAT_EQ(window_.windowOpacity, 1.0f);
    EXPECT_EQ(item(10050).caption, "Activate Window Opacity\tCtrl+W");
    EXPECT_FALSE(item(10051).enabled);
    EXPECT_FALSE(item(10052).enabled);
    EXPECT_FALSE(shown(10052)->enabled);
    // The value is kept for the next time it is switched on.
    EXPECT_FLOAT_EQ(controller().windowState().opacity, 0.5f);
}

TEST_F(MenuCommandsTest, OpacityStepsStopAtTheirLimitsAndWaitForTheSwitch)
{
    struct Case {
        const char* name;
        bool switchOn;
        const char* key;
        int presses;
        float opacity;   // the value kept
        float shownOnWindow;
    } cases[] = {
        {"decrease stops at 0.4", true, ",", 5, 0.4f, 0.4f},
        {"increase stops at 1.0", true, ".", 14, 1.0f, 1.0f},
        {"one step up", true, ".", 1, 0.55f, 0.55f},
        {"decrease while off", false, ",", 3, 0.5f, 1.0f},
        {"increase while off", false, ".", 3, 0.5f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller().windowState().opacity = 0.5f;
        if (controller().windowState().opacityEnabled) press("Ctrl+W");
        if (c.switchOn) press("Ctrl+W");
        std::vector<float> panel;
        commands_.windowOpacity()->showOnPanel = [&](float value) { panel.push_back(value); };
        for (int i = 0; i < c.presses; ++i) press(c.key);
        EXPECT_FLOAT_EQ(controller().windowState().opacity, c.opacity);
        EXPECT_FLOAT_EQ(window_.windowOpacity, c.shownOnWindow);
        EXPECT_EQ(window_.windowOpacityEnabled, c.switchOn);
        // The panel hears of every step taken, and of nothing while the switch is off.
        EXPECT_EQ(panel.size(), c.switchOn ? static_cast<size_t>(c.presses) : 0u);
        if (!panel.empty()) { EXPECT_FLOAT_EQ(panel.back(), c.opacity); }
        commands_.windowOpacity()->showOnPanel = nullptr;
    }
}

TEST_F(MenuCommandsTest, ThePanelSwitchesOpacityOnWithItsValue)
{
    std::vector<float> panel;
    commands_.windowOpacity()->showOnPanel = [&](float value) { panel.push_back(value); };
    commands_.windowOpacity()->switchOnWith(0.7f);
    EXPECT_TRUE(window_.windowOpacityEnabled);
    EXPECT_FLOAT_EQ(window_.windowOpacity, 0.7f);
    EXPECT_EQ(item(10050).caption, CAPTION_DEACTIVATE_OPACITY);
    EXPECT_TRUE(item(10052).enabled);
    commands_.windowOpacity()->switchOnWith(0.2f);  // below the slider's range
    EXPECT_FLOAT_EQ(window_.windowOpacity, 0.4f);
    press("Ctrl+W");
    EXPECT_EQ(panel, (std::vector<float>{0.7f, 0.4f, 1.0f}));
}

// ---- interface and panels --------------------------------------------------------------

TEST_F(MenuCommandsTest, TabTogglesTheInterfaceAndItsCaption)
{
    int redraws = window_.redisplayRequests;
    press("Tab");
    EXPECT_FALSE(commands_.panels().interfaceShown());
    EXPECT_EQ(item(10053).caption, "Show Interface\tTab");
    EXPECT_GT(window_.redisplayRequests, redraws);
    press("Tab");
    EXPECT_TRUE(commands_.panels().interfaceShown());
    EXPECT_EQ(item(10053).caption, "Hide Interface\tTab");
    EXPECT_EQ(shown(10053)->caption, "Hide Interface\tTab");
}

TEST_F(MenuCommandsTest, EveryPanelItemIsCheckedWhilePanelIsShown)
{
    const std::pair<int32_t, InterfacePanel> items[] = {
        {10057, InterfacePanel::Colour},      {10059, InterfacePanel::Brush},
        {10060, InterfacePanel::Toolbar},     {10065, InterfacePanel::OpacityTool},
        {10063, InterfacePanel::UndoRedoTool},
    };
    for (const auto& [id, panel] : items) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(item(id).checked) << "checked at start";
        commands_.dispatch(id);
        EXPECT_FALSE(commands_.panels().panelShown(panel));
        EXPECT_FALSE(item(id).checked);
        commands_.dispatch(id);
        EXPECT_TRUE(commands_.panels().panelShown(panel));
        EXPECT_TRUE(item(id).checked);
    }
    // The shape tool and layers panel have identifiers but no item in this bar.
    commands_.dispatch(10064);
    EXPECT_FALSE(commands_.panels().panelShown(InterfacePanel::Layers));
    commands_.dispatch(10061);
    EXPECT_FALSE(commands_.panels().panelShown(InterfacePanel::ShapeTool));
}

TEST_F(MenuCommandsTest, HidingTheToolbarGreysItsWindowOpacityAndUndoRedoItems)
{
    commands_.dispatch(10060);
    EXPECT_FALSE(item(10060).checked);
    EXPECT_FALSE(item(10065).enabled);
    EXPECT_FALSE(item(10063).enabled);
    EXPECT_TRUE(item(10057).enabled);  // other panels are not the toolbar's
    EXPECT_FALSE(shown(10065)->enabled);
    commands_.dispatch(10060);
    EXPECT_TRUE(item(10065).enabled);
    EXPECT_TRUE(item(10063).enabled);
}

TEST_F(MenuCommandsTest, ResetLayoutBringsThePanelsBackAndRechecksThem)
{
    commands_.dispatch(10057);
    commands_.dispatch(10060);
    commands_.dispatch(10056);
    EXPECT_TRUE(item(10057).checked);
    EXPECT_TRUE(item(10060).checked);
    EXPECT_TRUE(item(10065).enabled);
    EXPECT_TRUE(commands_.panels().laidOut());
}

TEST_F(MenuCommandsTest, RestoreLayoutAlsoShowsAHiddenInterface)
{
    press("Tab");
    commands_.dispatch(10036);
    EXPECT_TRUE(commands_.panels().interfaceShown());
    EXPECT_EQ(item(10053).caption, CAPTION_HIDE_INTERFACE);
    press("Tab");
    commands_.dispatch(10056);  // Reset Layout leaves the interface as it is
    EXPECT_FALSE(commands_.panels().interfaceShown());
}

TEST_F(MenuCommandsTest, ToolbarSideGoesToTheInterfaceAndLaysItOutOnceLaidOut)
{
    InterfacePanelRecord panels;
    commands_.setInterfacePanels(&panels);
    registry_.runLine("menuToolbarRight");
    EXPECT_TRUE(controller().interfaceState().toolbarOnRight);
    EXPECT_EQ(panels.layoutCount(), 0);  // never laid out: nothing to move yet
    panels.layOut();
    registry_.runLine("menuToolbarLeft");
    EXPECT_FALSE(controller().interfaceState().toolbarOnRight);
    EXPECT_EQ(panels.layoutCount(), 2);
    commands_.setInterfacePanels(nullptr);
}

// ---- restore defaults --------------------------------------------------------------------

TEST_F(MenuCommandsTest, RestoreDefaultsCallsEveryListenerTwiceInRegistrationOrder)
{
    std::vector<std::string> calls;
    for (const char* name : {"colour", "brush", "layers"}) {
        commands_.addDefaultsListener([&calls, name](int32_t kind, DefaultsPhase phase) {
            calls.push_back(std::string(name) + " " + std::to_string(kind) +
                            (phase == DefaultsPhase::Restore ? " restore" : " after"));
        });
    }
    const std::pair<int32_t, int32_t> commands[] = {{10034, 0}, {10035, 2}, {10036, 3}, {10037, 4}, {10056, 3}};
    for (const auto& [id, kind] : commands) {
        SCOPED_TRACE(id);
        calls.clear();
        commands_.dispatch(id);
        const std::string k = std::to_string(kind);
        EXPECT_EQ(calls, (std::vector<std::string>{"colour " + k + " restore", "brush " + k + " restore",
                                                   "layers " + k + " restore", "colour " + k + " after",
                                                   "brush " + k + " after", "layers " + k + " after"}));
    }
}

TEST_F(MenuCommandsTest, RestoreAllResetsTheControllersSettings)
{
    // Another eraser in use at another width, pen scaling on, another tool, a shown
    // marquee, another paper colour, the cursor hidden.
    PenPreset eraser = defaultEraserPreset();
    eraser.width = 7;
    controller().selectPreset(0x0201 + 0x0100, eraser);  // group 1: an eraser
    controller().setPenScaleWithZoom(true);
    controller().setTool(TOOL_PAN_CANVAS, false);
    controller().tools().marquee.shown = true;
    GfxSketchAttributes changed;
    changed.flags = GFX_SKETCH_PAPER_COLOUR;
    changed.paperColour[0] = 10;
    gfxSetSketchAttributes(controller().canvas(), &changed);
    controller().windowState().showCursor = false;
    controller().windowState().cursorMode = 15;
    commands_.dispatch(10060);  // toolbar hidden
    controller().markClean();

    commands_.dispatch(10037);

    GfxSketchAttributes now;
    now.flags = GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_OPACITY | GFX_SKETCH_ERASE_MODE | GFX_SKETCH_PAPER_COLOUR |
                GFX_SKETCH_LAYER_COUNT;
    gfxGetSketchAttributes(controller().canvas(), &now);
    // The default pen preset (514) in use, the default eraser (771) waiting.
    EXPECT_EQ(controller().tools().penPresetId, DEFAULT_PEN_PRESET_ID);
    EXPECT_EQ(controller().tools().eraserPresetId, DEFAULT_ERASER_PRESET_ID);
    EXPECT_FLOAT_EQ(controller().tools().eraser.width, defaultEraserPreset().width);
    EXPECT_FLOAT_EQ(now.penWidth, defaultPenPreset().width);
    EXPECT_FLOAT_EQ(now.penOpacity, defaultPenPreset().opacity);
    EXPECT_EQ(now.eraseMode, 0);
    EXPECT_FALSE(controller().penScalesWithZoom());
    EXPECT_EQ(controller().tool(), TOOL_BRUSH);
    EXPECT_FALSE(controller().tools().marquee.shown);
    EXPECT_EQ(now.paperColour[0], 255);
    EXPECT_EQ(now.layerCount, 1);  // the drawing is not a setting
    EXPECT_TRUE(controller().windowState().showCursor);
    EXPECT_EQ(controller().windowState().cursorMode, 1);
    EXPECT_EQ(window_.cursor, CursorKind::Arrow);
    EXPECT_TRUE(commands_.panels().panelShown(InterfacePanel::Toolbar));
    EXPECT_TRUE(item(10060).checked);
    EXPECT_FALSE(controller().isClean());
}

TEST_F(MenuCommandsTest, RestoringPensOrPaperLeavesTheControllersSettings)
{
    controller().windowState().cursorMode = 15;
    commands_.dispatch(10060);
    for (int32_t id : {10034, 10035}) commands_.dispatch(id);
    EXPECT_EQ(controller().windowState().cursorMode, 15);
    EXPECT_FALSE(commands_.panels().panelShown(InterfacePanel::Toolbar));
    EXPECT_TRUE(controller().isClean());
}

// ---- dispatch and the command table ---------------------------------------------------

TEST_F(MenuCommandsTest, AnIdentifierWithoutAnActionDoesNothing)
{
    commands_.dispatch(10022);  // something on the canvas history to compare
    const MenuBar bar = window_.menuBar;
    const int updates = window_.menuBarUpdates;
    const bool clean = controller().isClean();
    for (int32_t id : {10000, 10003, 10007, 10009, 10010, 10018, 10025, 10047, 10058, 10062, 10066, 10099, 20000, -1}) {
        SCOPED_TRACE(id);
        commands_.dispatch(id);
    }
    EXPECT_EQ(window_.menuBarUpdates, updates);
    EXPECT_EQ(window_.menuBar.size(), bar.size());
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(window_.imageDialogs.empty());
    EXPECT_TRUE(window_.webAddresses.empty());
    EXPECT_TRUE(window_.fileDialogs.empty());
    EXPECT_EQ(controller().isClean(), clean);
    EXPECT_EQ(exitRequests_, 0);
}

TEST_F(MenuCommandsTest, EveryMenuCommandOfTheTableIsRegistered)
{
    const char* names[] = {
        "menuNewDocument", "menuOpenDocument", "menuOpenRecent1", "menuOpenRecent2", "menuOpenRecent3",
        "menuOpenRecent4", "menuOpenRecent5", "menuSaveDocument", "menuSaveDocumentAs", "menuImportImage",
        "menuExport", "menuExit", "menuUndo", "menuRedo", "menuClearCanvas", "menuResetCanvasTransform",
        "menuDisplayCanvasInfo", "menuCenterAndScale", "menuFlipCanvasHorizontally", "menuFlipCanvasVertically",
        "menuDeselectSelection", "menuCutSelection", "menuCopySelection", "menuPasteSelection",
        "menuTransformSelection", "menuPreferences", "menuRestorePens", "menuRestorePaper", "menuRestoreLayout",
        "menuRestoreAll", "menuNewLayer", "menuDeleteLayer", "menuFlipLayerHorizontally", "menuFlipLayerVertically",
        "menuMoveLayerUp", "menuMoveLayerDown", "menuMergeLayerDown", "menuToggleOpacity", "menuIncreaseOpacity",
        "menuDecreaseOpacity", "menuToggleToolPanel", "menuToolbarLeft", "menuToolbarRight", "menuGUIReset",
        "menuGUIColour", "menuGUIBrushes", "menuGUINavigation", "menuGUIShape", "menuGUIOpacity", "menuGUIUndoRedo",
        "menuGUILayers", "menuAboutSketch", "menuHelpTips", "menuHelpHelp", "menuHelpSupport", "menuHelpSamples",
        "menuGUIColourSwatches", "menuGUIFrameGuides", "menuHelpSystemInfo", "menuHelpWhatsNew"};
    for (const char* name : names) {
        const CommandEntry* entry = registry_.findCommand(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_TRUE(entry->description.empty()) << name;
    }
    // Key only: the binding exists, nothing handles it.
    EXPECT_EQ(registry_.findCommand("playbackDrawing"), nullptr);
    EXPECT_NE(bindings_.findByCommand("playbackDrawing"), nullptr);
    // The inert commands run without effect.
    const int updates = window_.menuBarUpdates;
    registry_.runScript("menuGUIColourSwatches\nmenuGUIFrameGuides\nmenuHelpSystemInfo\nmenuHelpWhatsNew\n");
    EXPECT_EQ(window_.menuBarUpdates, updates);
}

TEST_F(MenuCommandsTest, TheCommandsRunTheirIdentifiers)
{
    struct Case {
        const char* command;
        std::function<bool()> happened;
    } cases[] = {
        {"menuHelpTips", [&] { return window_.imageDialogs.size() == 1 && window_.imageDialogs[0].picture == "hotkeys/win/free"; }},
        {"menuAboutSketch", [&] { return window_.imageDialogs.size() == 2 && window_.imageDialogs[1].picture == "about/free"; }},
        {"menuHelpSupport", [&] { return window_.webAddresses.size() == 1; }},
        {"menuDisplayCanvasInfo", [&] { return window_.messages.size() == 1; }},
        {"menuExit", [&] { return exitRequests_ == 1; }},
        {"menuGUIReset", [&] { return commands_.panels().laidOut(); }},
    };
    for (const Case& c : cases) {
        registry_.runLine(c.command);
        EXPECT_TRUE(c.happened()) << c.command;
    }
}

TEST_F(MenuCommandsTest, DispatchClosesAnOpenOverlayFirstAndStillRunsTheCommand)
{
    InterfaceState& interface = controller().interfaceState();
    interface.overlayOpen[1] = true;
    bool overlayOpenWhenRestoring = true;
    commands_.addDefaultsListener([&](int32_t, DefaultsPhase phase) {
        if (phase == DefaultsPhase::Restore) overlayOpenWhenRestoring = interface.overlayOpen[1];
    });
    window_.cursorHistory.clear();
    commands_.dispatch(10034);
    EXPECT_FALSE(interface.overlayOpen[1]);
    EXPECT_TRUE(interface.dismissOverlay[1]);
    EXPECT_FALSE(overlayOpenWhenRestoring);       // closed before the command ran
    EXPECT_FALSE(window_.cursorHistory.empty());  // the tool's cursor came back
}

TEST_F(MenuCommandsTest, TheEditMenusFlipsMirrorTheViewAboutTheWindowCentre)
{
    struct Case {
        int32_t id;
        float xScale, yScale;
    } cases[] = {{10026, -1, 1}, {10027, 1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        controller().markClean();
        commands_.dispatch(c.id);
        float matrix[16], scale = 0;
        gfxGetView(controller().canvas(), matrix, &scale);
        EXPECT_NEAR(matrix[0], c.xScale, 1e-5);
        EXPECT_NEAR(matrix[5], c.yScale, 1e-5);
        // The window centre stays where it is.
        const float cx = kWidth / 2.0f, cy = kHeight / 2.0f;
        EXPECT_NEAR(matrix[0] * cx + matrix[12], cx, 1e-3);
        EXPECT_NEAR(matrix[5] * cy + matrix[13], cy, 1e-3);
        EXPECT_FALSE(controller().isClean());
        commands_.dispatch(c.id);  // twice: as it was
        gfxGetView(controller().canvas(), matrix, &scale);
        EXPECT_NEAR(matrix[0], 1, 1e-5);
        EXPECT_NEAR(matrix[5], 1, 1e-5);
    }
}

TEST_F(MenuCommandsTest, TheEmptyRecentEntriesOpenNothing)
{
    for (int32_t id = 10012; id <= 10016; ++id) commands_.dispatch(id);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(window_.fileDialogs.empty());
    EXPECT_TRUE(controller().isClean());
}

TEST_F(MenuCommandsTest, NewDocumentTitlesTheWindowUntitled)
{
    window_.windowTitle.clear();
    press("Ctrl+N");
    EXPECT_EQ(window_.windowTitle, "Vellumin-Free - Untitled");
}

// ---- boxes, pages and dialogs ------------------------------------------------------------

TEST_F(MenuCommandsTest, HelpItemsOpenTheirPagesInTheBrowser)
{
    commands_.setUserGuideAddress("https://example.test/guide.pdf");
    for (int32_t id : {10070, 10071, 10075}) commands_.dispatch(id);
    EXPECT_EQ(window_.webAddresses,
              (std::vector<std::string>{"https://example.test/guide.pdf", SUPPORT_ADDRESS, SAMPLES_ADDRESS}));
}

TEST_F(MenuCommandsTest, TheShortcutSheetAndAboutBoxAreImageDialogsFollowedByAFrame)
{
    for (int32_t id : {10069, 10039, 10068}) commands_.dispatch(id);
    ASSERT_EQ(window_.imageDialogs.size(), 3u);
    EXPECT_EQ(window_.imageDialogs[0].title, "Shortcut Keys");
    EXPECT_EQ(window_.imageDialogs[0].picture, "hotkeys/win/free");
    EXPECT_EQ(window_.imageDialogs[1].picture, "hotkeys/win/free");
    EXPECT_EQ(window_.imageDialogs[2].title, "About Vellumin");
    EXPECT_EQ(window_.imageDialogs[2].picture, "about/free");
    EXPECT_EQ(window_.framesDrawnNow, 3);
    EXPECT_EQ(window_.cursor, controller().toolCursor());
}

TEST_F(MenuCommandsTest, CanvasInfoCountsTheStrokes)
{
    commands_.developerShortcut(6);  // 200 lines
    commands_.dispatch(10038);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].caption, "Canvas Info");
    EXPECT_FALSE(window_.messages[0].yesNo);
    EXPECT_EQ(window_.messages[0].icon, MessageIcon::NoIcon);
    const std::string text = window_.messages[0].text;
    EXPECT_EQ(text.rfind("Canvas Data:\n\nNumber of strokes in canvas = 200 \nCanvas system memory in use = ", 0), 0u)
        << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(MenuCommandsTest, ClearCanvasEmptiesEveryLayerInOneUndoableStep)
{
    commands_.developerShortcut(7);
    ASSERT_EQ(strokeCount(controller().canvas()), GEOMETRY_TEST_3_SHAPES);
    controller().markClean();
    commands_.dispatch(10022);
    EXPECT_EQ(strokeCount(controller().canvas()), 0);
    EXPECT_FALSE(controller().isClean());
    gfxUndo(controller().canvas());
    EXPECT_EQ(strokeCount(controller().canvas()), GEOMETRY_TEST_3_SHAPES);
}

// ---- developer shortcuts -----------------------------------------------------------------

TEST_F(MenuCommandsTest, ImageImportShortcutAsksForAnImageAndCancelChangesNothing)
{
    window_.fileAnswers = {""};
    EXPECT_TRUE(commands_.developerShortcut(8));
    ASSERT_EQ(window_.fileDialogs.size(), 1u);
    EXPECT_EQ(window_.fileDialogs[0].request.title, "Open Image");
    EXPECT_FALSE(window_.fileDialogs[0].save);
    EXPECT_EQ(layerCount(controller().canvas()), 1);
    EXPECT_TRUE(controller().isClean());
    EXPECT_EQ(window_.cursor, controller().toolCursor());
}

TEST_F(MenuCommandsTest, GeometryTestsAddTheirElementsInsideTheWindow)
{
    GfxSketch* sketch = controller().canvas();
    EXPECT_TRUE(commands_.developerShortcut(5));
    EXPECT_EQ(strokeCount(sketch), GEOMETRY_TEST_1_STROKES);
    EXPECT_TRUE(commands_.developerShortcut(6));
    EXPECT_EQ(strokeCount(sketch), GEOMETRY_TEST_1_STROKES + GEOMETRY_TEST_2_LINES);
    EXPECT_TRUE(commands_.developerShortcut(7));
    EXPECT_EQ(strokeCount(sketch), GEOMETRY_TEST_1_STROKES + GEOMETRY_TEST_2_LINES + GEOMETRY_TEST_3_SHAPES);
    EXPECT_FALSE(controller().isClean());
    EXPECT_EQ(layerCount(sketch), 1);
    // Each element is one undoable step.
    controller().undo();
    EXPECT_EQ(strokeCount(sketch), GEOMETRY_TEST_1_STROKES + GEOMETRY_TEST_2_LINES + GEOMETRY_TEST_3_SHAPES - 1);
    // Everything added lies inside the window.
    GfxSketchAttributes a;
    a.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &a);
    EXPECT_GT(a.stats.bounds[2], kWidth / 2);
    EXPECT_LT(a.stats.bounds[0] + a.stats.bounds[2], kWidth + 40);
}

TEST_F(MenuCommandsTest, DeveloperInformationReportsTheBuildAndTheCanvas)
{
    commands_.developerShortcut(6);
    EXPECT_TRUE(commands_.developerShortcut(4));
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].caption, "Developer Information");
    const std::string& text = window_.messages[0].text;
    EXPECT_EQ(text.rfind("Canvas Data:\n\nBuild number = 05.22.2014.001 \nOpenGL version number = ", 0), 0u) << text;
    EXPECT_NE(text.find("\nNumber of strokes in canvas = 200 \n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nCanvas bounding box = ("), std::string::npos);
    EXPECT_NE(text.find(" \n\n\nDeveloper shortcuts:\nShift+F1"), std::string::npos);
    EXPECT_NE(text.find("Shift+F8"), std::string::npos);
}

TEST_F(MenuCommandsTest, OnlyF4ToF8AreTheMenusDeveloperShortcuts)
{
    // F1 to F3 are the undo flow's (the controller's special keys).
    for (int32_t key : {0, 1, 2, 3, 9, 10, 100, 10053}) EXPECT_FALSE(commands_.developerShortcut(key)) << key;
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(strokeCount(controller().canvas()), 0);
}

// ---- the pop-up ------------------------------------------------------------------------

TEST_F(MenuCommandsTest, RightClickPopUpHoldsTheFourMenusAndDeliversTheChoice)
{
    window_.popupChoices = {10053};
    commands_.showContextMenu(120, 340);
    ASSERT_EQ(window_.popupMenus.size(), 1u);
    const auto& popup = window_.popupMenus[0];
    EXPECT_EQ(popup.x, 120);
    EXPECT_EQ(popup.y, 340);
    ASSERT_EQ(popup.menus.size(), 4u);
    EXPECT_EQ(popup.menus[0].caption, "&File");
    EXPECT_EQ(popup.menus[3].caption, "&Help");
    // The same submenus, so the recent files and the check marks are there too.
    EXPECT_EQ(popup.menus[2].submenu.size(), window_.menuBar[2].submenu.size());
    EXPECT_FALSE(commands_.panels().interfaceShown());
}

// ---- through the shell -------------------------------------------------------------------

class ShellMenus : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        ASSERT_TRUE(glTestContextMakeCurrent());
        static char* argv[] = {program_, nullptr};
        shell_.startUp(1, argv);
    }
    void TearDown() override
    {
        crash::uninstall();
        delete theController();
        setTheController(nullptr);
        ControllerTest::TearDown();
    }
    Shell shell_{window_};
    static inline char program_[] = VELLUMIN_RESOURCES "/../../vellumin";
};

TEST_F(ShellMenus, StartUpShowsTheBarWithItsCheckMarksAndRegistersTheCommands)
{
    ASSERT_EQ(window_.menuBar.size(), 4u);
    EXPECT_EQ(window_.menuBar[1].caption, "&Edit");
    const MenuItem* colour = theController()->windowState().menuBar.find(10057);
    ASSERT_NE(colour, nullptr);
    EXPECT_TRUE(colour->checked);
    EXPECT_EQ(menuCommands(), &shell_.menuCommands());
    EXPECT_NE(commandRegistry().findCommand("menuToggleOpacity"), nullptr);
    EXPECT_NE(commandRegistry().findCommand("bind"), nullptr);
    EXPECT_NE(keyBindings().findByCombination("Ctrl+W"), nullptr);
}

TEST_F(ShellMenus, SpecialKeysCarryMenuCommandsAndShiftedFunctionKeys)
{
    window_.events.special(10053, 0, 0);
    EXPECT_EQ(theController()->windowState().menuBar.find(10053)->caption, CAPTION_SHOW_INTERFACE);
    window_.events.special(5, 10, 10);  // F5 without Shift: not a developer shortcut
    EXPECT_EQ(strokeCount(theController()->canvas()), 0);
    window_.modifiers = WINDOW_MODIFIER_SHIFT;
    window_.events.special(6, 10, 10);
    EXPECT_EQ(strokeCount(theController()->canvas()), GEOMETRY_TEST_2_LINES);
    window_.events.special(1, 10, 10);  // Shift+F1: undo everything, by the undo flow
    EXPECT_EQ(strokeCount(theController()->canvas()), 0);
    EXPECT_EQ(layerCount(theController()->canvas()), 1);
    window_.events.special(2, 10, 10);  // Shift+F2: redo everything
    EXPECT_EQ(strokeCount(theController()->canvas()), GEOMETRY_TEST_2_LINES);
    window_.modifiers = 0;
}

TEST_F(ShellMenus, TheRightButtonOpensThePopUpUnlessItClosesAnOverlay)
{
    theController()->interfaceState().overlayOpen[0] = true;
    window_.events.mouse(2, 0, 30, 40);
    EXPECT_TRUE(window_.popupMenus.empty());
    window_.events.mouse(2, 1, 30, 40);
    window_.events.mouse(2, 0, 30, 40);
    ASSERT_EQ(window_.popupMenus.size(), 1u);
    EXPECT_EQ(window_.popupMenus[0].x, 30);
    EXPECT_EQ(window_.popupMenus[0].y, 40);
    window_.events.mouse(2, 1, 30, 40);  // the release opens nothing
    EXPECT_EQ(window_.popupMenus.size(), 1u);
    EXPECT_EQ(strokeCount(theController()->canvas()), 0);
}

}  // namespace
