// CommandDispatch: the menu bar's commands. Every menu item, every "menu..." script
// command and every identifier other parts of the program post runs through one
// switch (MenuCommands::dispatch); identifiers without an action do nothing.
//
// MenuCommands also owns what only the menus do: the interface and panel switches
// with their check marks, window opacity, restore defaults with its listener list,
// the canvas-info and developer boxes, the help pages, the shortcut sheet and the
// about box, and the right-click pop-up.
//
// START-UP (the shell)
//   MenuCommands commands(window);  setMenuCommands(&commands);
//   commands.buildMenuBar();                         after the controller exists
//   commands.registerCommands(commandRegistry());    then addDefaultBindings(...)
//   commands.updateCheckMarks();                     before the main loop
// A special key from WINDOW_MENU_FIRST up is a menu command: dispatch(key).
//
// The tools register the Edit menu's undo, redo and view commands themselves
// (ToolCommands.cpp) and the layers register theirs (LayerOperations.cpp); their
// identifiers still run here, calling the same operations.
// Main thread only.
#pragma once

#include "InterfacePanels.h"
#include "WindowOpacity.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CommandRegistry;
class DocumentController;
struct GfxSketch;
class MenuModel;
class WindowLayer;

// What restore defaults restores (the kinds of the Restore Defaults commands).
enum : int32_t {
    DEFAULTS_PENS = 0,
    DEFAULTS_PAPER = 2,
    DEFAULTS_LAYOUT = 3,
    DEFAULTS_ALL = 4,
};
// The two calls every defaults listener receives, in this order.
enum class DefaultsPhase : int32_t { Restore = 0, AfterRestore = 1 };

// The pictures of the two image dialogs in the Qt resource bundle.
inline constexpr const char* SHORTCUT_SHEET_PICTURE = "hotkeys/win/free";
inline constexpr const char* ABOUT_PICTURE = "about/free";

// The developer build number shown by Shift+F4.
inline constexpr const char* DEVELOPER_BUILD_NUMBER = "05.22.2014.001";
inline constexpr int32_t DEVELOPER_KEY_INFORMATION = 4;  // Shift+F4
inline constexpr int32_t DEVELOPER_KEY_IMPORT = 8;       // Shift+F8

// The maker's pages. The user guide's address can be replaced by the one the web
// service reports.
inline constexpr const char* DEFAULT_USER_GUIDE_ADDRESS = "https://www.tessavo.com/vellumin/Vellumin-User-Guide.pdf";
inline constexpr const char* SUPPORT_ADDRESS = "https://www.tessavo.com/vellumin/support";
inline constexpr const char* SAMPLES_ADDRESS = "https://www.tessavo.com/vellumin/samples";

// How many elements each geometry test (Shift+F5 to Shift+F7) adds.
inline constexpr int GEOMETRY_TEST_1_STROKES = 1000;
inline constexpr int GEOMETRY_TEST_2_LINES = 200;
inline constexpr int GEOMETRY_TEST_3_SHAPES = 100;  // half rectangles, half ellipses

class MenuCommands {
public:
    explicit MenuCommands(WindowLayer& window);
    ~MenuCommands();
    MenuCommands(const MenuCommands&) = delete;
    MenuCommands& operator=(const MenuCommands&) = delete;

    // ---- hooks the shell fills ---------------------------------------------------------
    // File > Exit: "Save changes?", then shutdown. Cancel returns.
    std::function<void()> requestExit;

    // ---- start-up ----------------------------------------------------------------------
    // Builds the menu bar of the current controller and hands it to the window.
    void buildMenuBar();
    // Registers the "menu..." commands of the command table that the tools and the
    // layers do not (handlers only; the keys are the binding table's defaults). The
    // handlers dispatch on menuCommands(), so set this object there (setMenuCommands).
    void registerCommands(CommandRegistry& registry);

    // ---- dispatch ----------------------------------------------------------------------
    void dispatch(int32_t id);
    // A special key that arrived with Shift held: Shift+F4 to Shift+F8 (GLUT keys 4 to
    // 8) run the developer shortcuts; true when the key was one of them. Shift+F1 to
    // Shift+F3 (undo all, redo all, redo 10) are the undo flow's, in the controller's
    // special-key handling.
    bool developerShortcut(int32_t key);
    // The right-click pop-up at the pointer (window pixels, y upwards).
    void showContextMenu(int32_t x, int32_t y);

    // ---- the interface -----------------------------------------------------------------
    InterfacePanels& panels() { return *panels_; }
    // The HUD, once built, replaces the switch record (null goes back to it).
    void setInterfacePanels(InterfacePanels* panels);
    void toggleInterface();
    void togglePanel(InterfacePanel panel);
    void setToolbarSide(bool right);
    void resetLayout();
    void updateCheckMarks();
    // The check mark of one panel item (and, for the toolbar, its sub-tools' greying).
    void updateCheckMark(InterfacePanel panel);

    // ---- restore defaults --------------------------------------------------------------
    using DefaultsListener = std::function<void(int32_t kind, DefaultsPhase phase)>;
    // Panels register themselves; listeners are called in registration order.
    void addDefaultsListener(DefaultsListener listener);
    void restoreDefaults(int32_t kind);

    // ---- the rest ----------------------------------------------------------------------
    WindowOpacity* windowOpacity() { return opacity_.get(); }
    void clearCanvas();
    void showCanvasInfo();
    void showShortcutSheet();
    void showAbout();
    void setUserGuideAddress(std::string address) { userGuideAddress_ = std::move(address); }
    const std::string& userGuideAddress() const { return userGuideAddress_; }
    // Refreshes the "Open Recent..." items from the controller's recent files.
    void updateRecentFileItems();

    // The text Shift+F4 shows.
    static std::string developerInformation(GfxSketch* sketch, const char* glVersion);

private:
    MenuModel* menus();
    void restoreControllerDefaults(DocumentController& controller);
    void showImage(const char* title, const char* picture);
    void openRecent(int index);
    void geometryTest(int number);
    void afterCanvasChange(DocumentController& controller);

    WindowLayer& window_;
    InterfacePanelRecord panelRecord_;
    InterfacePanels* panels_ = &panelRecord_;
    std::unique_ptr<WindowOpacity> opacity_;
    std::vector<DefaultsListener> defaultsListeners_;
    std::string userGuideAddress_ = DEFAULT_USER_GUIDE_ADDRESS;
};

// The process-wide menu commands (set by the shell; null before and in tests that
// make their own).
MenuCommands* menuCommands();
void setMenuCommands(MenuCommands* commands);
