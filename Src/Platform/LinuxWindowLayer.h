// LinuxWindowLayer: the real window layer on Linux/X11.
//   window, context, events, timers  freeglut + GLX
//   dialogs and event pumping        Qt 6 widgets, pumped from a 10 ms GLUT timer
//   close requests                   WM_DELETE_WINDOW is taken before freeglut sees it,
//                                    so the program can ask before the window goes
//   keys freeglut lacks              the wheel and the modifier keys as special keys,
//                                    Ctrl+key as the key's own character (WindowKeys.h)
//   cursors                          X cursors for every CursorKind, the brush outline
//                                    as an ARGB (Xcursor) or two-colour pixmap cursor
//   menu bar                         LinuxMenuStrip across the top of the window; the
//                                    client area (canvas, interface, clientSize) is
//                                    the part below it
#pragma once

#include "WindowLayer.h"

class LinuxWindowLayer : public WindowLayer {
public:
    void initialise(int argc, char** argv) override;
    bool createWindow(const WindowRect& rect, bool maximised) override;
    bool hasWindow() const override;
    void setEvents(const WindowEvents& events) override;
    void setTitle(const std::string& title) override;
    std::string title() const override;
    void swapBuffers() override;
    void postRedisplay() override;
    void clientSize(int32_t* width, int32_t* height) const override;
    WindowRect windowRect() const override;
    bool isMaximised() const override;
    WindowRect screenRect() const override;
    double doubleClickMilliseconds() const override;
    void focusWindow() override;
    bool loadGlExtensions() override;
    [[noreturn]] void runMainLoop() override;

    bool startToolkit(int argc, char** argv, const std::string& resourceBundle) override;
    void pumpEvents() override;
    void startTimer(int32_t milliseconds, std::function<void()> callback) override;

    MessageAnswer messageBox(bool owned, const std::string& text, const std::string& caption, MessageIcon icon,
                             bool yesNo, bool cancel) override;
    std::string chooseOpenPath(const FileDialogRequest& request) override;
    std::string chooseSavePath(const FileDialogRequest& request) override;
    void showImageDialog(const std::string& title, const std::string& picture) override;
    std::optional<std::string> askText(const TextEntryRequest& request) override;

    void setMenuBar(const MenuBar& bar) override;
    void showPopupMenu(const MenuBar& menus, int32_t x, int32_t y) override;
    void setWindowOpacity(bool enabled, float opacity) override;

    void setCursor(SystemCursor shape) override;
    void setBrushOutlineCursor(const CursorImage& image) override;

    int32_t modifierState() const override;
    double monotonicSeconds() const override;
    void setKeyRepeatIgnored(bool ignored) override;
    void drawFrameNow() override;

    void openWebAddress(const std::string& address) override;
    [[noreturn]] void exitProcess(int code) override;
    void sleepMilliseconds(int32_t milliseconds) override;

    // Handles pending window events once (close requests first). Also called while a
    // modal Qt dialog runs, so the canvas keeps repainting behind it.
    void serviceWindow();
};
