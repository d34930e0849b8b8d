// WindowLayer: every platform service the program uses, behind one interface.
//
// The shell, the controller and the error paths talk to the platform only through
// this class. `LinuxWindowLayer` is the real one (freeglut + GLX window, Qt 6
// dialogs and event pumping, X11 cursors); `ScriptedWindowLayer` answers dialogs
// from a script so tests can drive every flow without a display.
#pragma once

#include "MenuTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The message-box convention of the whole program.
enum class MessageKind : int32_t {
    Plain = 0,              // OK
    Warning = 1,            // warning icon, OK
    Question = 2,           // question icon, Yes and No
    WarningYesNoCancel = 3, // warning icon, Yes, No and Cancel
};
enum class MessageAnswer : int32_t { Ok = 0, Yes = 1, No = 2, Other = 3 };

// The error box of a crash: error icon, Yes and No, no owner.
enum class MessageIcon : int32_t { NoIcon, Information, Warning, Question, Error };

// The cursors the window layer can show, numbered as the tools number them.
// Kinds 2 to 13 are the layer's own shapes; 15 is the brush outline last handed to
// setBrushOutlineCursor.
enum class CursorKind : int32_t {
    Invisible = 0,          // no cursor at all (not "None": Xlib owns that word)
    Arrow = 1,              // the system arrow
    Crosshair = 2,
    Move = 3,               // pan
    Zoom = 4,
    Rotate = 5,
    ColourPicker = 6,
    Spare = 7,              // a spare custom shape
    // The transform handles' cursors (ShapeTransform.h), named by where the pointer is
    // from the rectangle's centre: 8 is shown at a corner above right or below left.
    ResizeDiagonalRising = 8,   // bottom-left to top-right
    ResizeDiagonalFalling = 9,  // top-left to bottom-right
    RotateBelowRight = 10,      // the four corner-rotation cursors
    RotateBelowLeft = 11,
    RotateAboveLeft = 12,
    RotateAboveRight = 13,
    Busy = 14,
    BrushOutline = 15,
    // Older names, kept for the callers that use them.
    Hidden = Invisible,
    Hand = Move,
};
using SystemCursor = CursorKind;
inline constexpr int32_t CURSOR_KIND_COUNT = 16;

// A cursor picture: `side` x `side` pixels, RGBA, top row first, with its hot spot.
// Alpha 0 is the mask (nothing drawn there).
struct CursorImage {
    int32_t side = 0;
    int32_t hotX = 0;
    int32_t hotY = 0;
    std::vector<uint8_t> rgba;
};

struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// What the window reports back to the shell. All on the main thread; y is measured
// from the bottom of the client area.
struct WindowEvents {
    std::function<void()> display;
    std::function<void(int32_t width, int32_t height)> reshape;
    std::function<void(int32_t left, int32_t top)> moved;
    std::function<void()> closeRequested;
    std::function<void(int32_t button, int32_t state, int32_t x, int32_t y)> mouse;
    std::function<void(int32_t x, int32_t y)> motion;
    std::function<void(int32_t x, int32_t y)> passiveMotion;
    std::function<void(bool entered)> entry;
    std::function<void(uint8_t key, int32_t x, int32_t y)> keyboard;
    std::function<void(uint8_t key, int32_t x, int32_t y)> keyboardUp;
    std::function<void(int32_t key, int32_t x, int32_t y)> special;
    std::function<void(int32_t key, int32_t x, int32_t y)> specialUp;
};

struct FileDialogRequest {
    std::string title;
    std::string filter;            // e.g. "Vellumin Art Files (*.art)"
    std::string defaultExtension;  // without the dot, save dialogs only
    std::string initialPath;
};

// A one-line text question (renaming a layer or a pin).
struct TextEntryRequest {
    std::string title;
    std::string prompt;
    std::string initialText;
    std::size_t maxBytes = 255;  // UTF-8 bytes the answer may hold
};

class WindowLayer {
public:
    virtual ~WindowLayer() = default;

    // ---- window and context -------------------------------------------------------
    virtual void initialise(int argc, char** argv) = 0;
    // Creates the one top-level window with an RGBA, double-buffered, alpha, stencil
    // and depth OpenGL context, placed at `rect`. False when no window could be made.
    virtual bool createWindow(const WindowRect& rect, bool maximised) = 0;
    virtual bool hasWindow() const = 0;
    virtual void setEvents(const WindowEvents& events) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string title() const = 0;
    virtual void swapBuffers() = 0;
    virtual void postRedisplay() = 0;
    virtual void clientSize(int32_t* width, int32_t* height) const = 0;
    virtual WindowRect windowRect() const = 0;
    virtual bool isMaximised() const = 0;
    // The whole X screen (the virtual screen the window is placed against).
    virtual WindowRect screenRect() const = 0;
    virtual double doubleClickMilliseconds() const = 0;
    virtual void focusWindow() = 0;
    // Initialises the GL extension loader for the current context, including its
    // window-system extension query. False when that fails.
    virtual bool loadGlExtensions() = 0;
    // Enters the event loop; does not return.
    [[noreturn]] virtual void runMainLoop() = 0;

    // ---- GUI toolkit ----------------------------------------------------------------
    // Creates the Qt application object and registers the resource bundle.
    virtual bool startToolkit(int argc, char** argv, const std::string& resourceBundle) = 0;
    virtual void pumpEvents() = 0;
    // Calls `callback` after `milliseconds` on the main thread, once.
    virtual void startTimer(int32_t milliseconds, std::function<void()> callback) = 0;

    // ---- dialogs ----------------------------------------------------------------------
    // `owned`: the main window owns the box (a controller exists).
    virtual MessageAnswer messageBox(bool owned, const std::string& text, const std::string& caption,
                                     MessageIcon icon, bool yesNo, bool cancel) = 0;
    // Empty string when nothing was chosen.
    virtual std::string chooseOpenPath(const FileDialogRequest& request) = 0;
    virtual std::string chooseSavePath(const FileDialogRequest& request) = 0;

    // A modal dialog showing one picture of the resource bundle: ":/img/" + `picture`,
    // or ":/img2x/" + `picture` on a screen of 192 DPI or more.
    virtual void showImageDialog(const std::string& title, const std::string& picture) = 0;
    // A modal one-line text entry; nothing when the user cancels.
    virtual std::optional<std::string> askText(const TextEntryRequest& request) = 0;

    // ---- menus --------------------------------------------------------------------------
    // The window's menu bar; called again after every change. A chosen item arrives as
    // the special key of its identifier (WINDOW_MENU_FIRST and up), after the
    // callback that opened the menu has returned.
    virtual void setMenuBar(const MenuBar& bar) = 0;
    // A pop-up holding `menus` as submenus at (x, y), window pixels from the bottom-left
    // corner of the client area; the choice arrives as setMenuBar's do.
    virtual void showPopupMenu(const MenuBar& menus, int32_t x, int32_t y) = 0;

    // ---- window appearance ------------------------------------------------------------
    // Translucent at `opacity` (0..1) while enabled; fully opaque otherwise.
    virtual void setWindowOpacity(bool enabled, float opacity) = 0;

    // ---- cursors ----------------------------------------------------------------------
    virtual void setCursor(SystemCursor shape) = 0;
    // Replaces the brush-outline cursor (kind 15) with `image`, destroying the previous
    // one; when the outline is the cursor shown, the new one shows at once.
    virtual void setBrushOutlineCursor(const CursorImage& image) = 0;

    // ---- input state --------------------------------------------------------------------
    // The modifier keys held now, as GLUT_ACTIVE_SHIFT (1), _CTRL (2) and _ALT (4) bits.
    // Valid in every callback, also in motion and entry where GLUT has no answer.
    virtual int32_t modifierState() const = 0;
    // A clock for double clicks: seconds, monotonic, from an arbitrary origin.
    virtual double monotonicSeconds() const = 0;
    // While set, a held key does not repeat (the temporary tools hold Space).
    virtual void setKeyRepeatIgnored(bool ignored) = 0;
    // Runs the display callback now, for the operations that must show their result
    // at once; everything else asks with postRedisplay.
    virtual void drawFrameNow() = 0;

    // ---- process ----------------------------------------------------------------------
    // Opens a web page in the user's browser, without waiting for it.
    virtual void openWebAddress(const std::string& address) = 0;
    [[noreturn]] virtual void exitProcess(int code) = 0;
    virtual void sleepMilliseconds(int32_t milliseconds) = 0;
};

// The process-wide window layer (set once by main or by a test).
WindowLayer* windowLayer();
void setWindowLayer(WindowLayer* layer);
