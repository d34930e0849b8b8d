// The shell: process start-up in its fixed order, the window callbacks, drawing one
// frame, and the ordered shutdown.
#pragma once

#include "CommandDispatch.h"
#include "ScreenMode.h"
#include "WindowLayer.h"

#include <memory>
#include <string>
#include <vector>

class DocumentController;

class Shell {
public:
    explicit Shell(WindowLayer& window);
    ~Shell();

    // Runs start-up and enters the main loop; does not return.
    [[noreturn]] void run(int argc, char** argv);

    // The steps, callable on their own by tests.
    void startUp(int argc, char** argv);
    void drawFrame();
    void reshape(int32_t width, int32_t height);
    void windowMoved(int32_t left, int32_t top);
    void closeRequested();
    [[noreturn]] void shutDown();
    // Special keys: menu commands (WINDOW_MENU_FIRST and up) and the developer
    // shortcuts (Shift+F1 to Shift+F8).
    void specialKey(int32_t key, int32_t x, int32_t y);
    void mouseButton(int32_t button, int32_t buttonState, int32_t x, int32_t y);

    MenuCommands& menuCommands() { return menus_; }

    // Where the window goes: the saved rectangle when it lies wholly on the screen,
    // else 100 pixels in from the screen's corner, screen size less 200, maximised.
    static WindowRect placeWindow(const WindowRect& saved, bool savedMaximised, const WindowRect& screen,
                                  bool* maximised);
    // The first program argument up to its last '/' or '\\', then "Application/Resources".
    static std::string resourceDirectory(const char* firstArgument);

private:
    ScreenMode* currentMode();
    void pumpToolkit();

    WindowLayer& window_;
    MenuCommands menus_;
    std::vector<std::unique_ptr<ScreenMode>> modes_;
    int currentModeIndex_ = -1;
    int requestedModeIndex_ = 0;
    bool startupDone_ = false;
};
