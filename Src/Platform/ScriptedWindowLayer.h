// ScriptedWindowLayer: a window layer for tests. Dialogs are answered from queues
// the test fills in advance, every box shown is recorded, and exitProcess throws
// ScriptedExit so a test can observe a fatal path end.
#pragma once

#include "WindowLayer.h"

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

struct ScriptedExit : std::runtime_error {
    explicit ScriptedExit(int exitCode) : std::runtime_error("process exit"), code(exitCode) {}
    int code;
};

class ScriptedWindowLayer : public WindowLayer {
public:
    struct ShownMessage {
        bool owned = false;
        std::string text;
        std::string caption;
        MessageIcon icon = MessageIcon::NoIcon;
        bool yesNo = false;
        bool cancel = false;
        SystemCursor cursorWhileShown = SystemCursor::Arrow;
    };
    struct ShownFileDialog {
        bool save = false;
        FileDialogRequest request;
    };
    struct ShownImageDialog {
        std::string title;
        std::string picture;
    };
    struct ShownPopupMenu {
        MenuBar menus;
        int32_t x = 0;
        int32_t y = 0;
    };

    // Answers for the next boxes, in order; an empty queue answers Other (closed).
    std::deque<MessageAnswer> messageAnswers;
    // Paths for the next file dialogs, in order; "" is a cancelled dialog.
    std::deque<std::string> fileAnswers;

    // Answers for the next text entries, in order; an empty queue answers nothing (cancelled).
    std::deque<std::optional<std::string>> textAnswers;
    // The menu item the next pop-up menu "chooses": delivered as its special key at
    // once, as if chosen. 0 closes the pop-up without a choice.
    std::deque<int32_t> popupChoices;

    std::vector<ShownMessage> messages;
    std::vector<ShownImageDialog> imageDialogs;
    std::vector<TextEntryRequest> textRequests;
    std::vector<ShownPopupMenu> popupMenus;
    std::vector<std::string> webAddresses;
    MenuBar menuBar;
    int menuBarUpdates = 0;
    bool windowOpacityEnabled = false;
    float windowOpacity = 1.0f;
    std::vector<ShownFileDialog> fileDialogs;
    std::vector<SystemCursor> cursorHistory;
    SystemCursor cursor = SystemCursor::Arrow;
    int32_t width = 800;
    int32_t height = 600;
    WindowRect screen{0, 0, 1920, 1080};
    WindowRect placed;
    bool maximised = false;
    bool windowMade = false;
    bool windowCreationFails = false;
    int redisplayRequests = 0;
    int swaps = 0;
    std::string windowTitle;
    std::string toolkitBundle;
    WindowEvents events;

    void initialise(int, char**) override {}
    bool createWindow(const WindowRect& rect, bool maximise) override;
    bool hasWindow() const override { return windowMade; }
    void setEvents(const WindowEvents& e) override { events = e; }
    void setTitle(const std::string& text) override { windowTitle = text; }
    std::string title() const override { return windowTitle; }
    void swapBuffers() override { ++swaps; }
    void postRedisplay() override { ++redisplayRequests; }
    void clientSize(int32_t* w, int32_t* h) const override { *w = width; *h = height; }
    WindowRect windowRect() const override { return placed; }
    bool isMaximised() const override { return maximised; }
    WindowRect screenRect() const override { return screen; }
    double doubleClickMilliseconds() const override { return 400.0; }
    void focusWindow() override {}
    // Tests make a real GL context current here (or answer false to act out a
    // machine without one).
    std::function<bool()> glExtensionLoader;
    bool loadGlExtensions() override { return glExtensionLoader && glExtensionLoader(); }
    [[noreturn]] void runMainLoop() override { throw ScriptedExit(0); }

    bool startToolkit(int, char**, const std::string& bundle) override { toolkitBundle = bundle; return true; }
    void pumpEvents() override {}
    void startTimer(int32_t, std::function<void()>) override {}

    MessageAnswer messageBox(bool owned, const std::string& text, const std::string& caption, MessageIcon icon,
                             bool yesNo, bool cancel) override;
    std::string chooseOpenPath(const FileDialogRequest& request) override;
    std::string chooseSavePath(const FileDialogRequest& request) override;

    void showImageDialog(const std::string& title, const std::string& picture) override
    {
        imageDialogs.push_back({title, picture});
    }
    std::optional<std::string> askText(const TextEntryRequest& request) override;

    void setMenuBar(const MenuBar& bar) override { menuBar = bar; ++menuBarUpdates; }
    void showPopupMenu(const MenuBar& menus, int32_t x, int32_t y) override;
    void setWindowOpacity(bool enabled, float opacity) override
    {
        windowOpacityEnabled = enabled;
        windowOpacity = enabled ? opacity : 1.0f;
    }

    void setCursor(SystemCursor shape) override { cursor = shape; cursorHistory.push_back(shape); }
    void setBrushOutlineCursor(const CursorImage& image) override { brushOutlines.push_back(image); }

    // Input state the test holds: GLUT_ACTIVE_* bits and the clock in seconds.
    int32_t modifiers = 0;
    double seconds = 0;
    bool keyRepeatIgnored = false;
    // Every brush outline handed over, oldest first (the last one is in force).
    std::vector<CursorImage> brushOutlines;
    int framesDrawnNow = 0;
    int32_t modifierState() const override { return modifiers; }
    double monotonicSeconds() const override { return seconds; }
    void setKeyRepeatIgnored(bool ignored) override { keyRepeatIgnored = ignored; }
    // Counts, then runs the display event when the test set one.
    void drawFrameNow() override
    {
        ++framesDrawnNow;
        if (events.display) events.display();
    }

    void openWebAddress(const std::string& address) override { webAddresses.push_back(address); }

    [[noreturn]] void exitProcess(int code) override { throw ScriptedExit(code); }
    void sleepMilliseconds(int32_t) override {}

private:
    std::string nextFileAnswer(bool save, const FileDialogRequest& request);
};
