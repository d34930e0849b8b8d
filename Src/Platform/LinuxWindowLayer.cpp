#include "LinuxWindowLayer.h"

#include "ImageDialog.h"
#include "LinuxMenuStrip.h"
#include "TextEntryDialog.h"

// Qt first: Xlib's Bool/None/Status macros break Qt's headers.
#include <QApplication>
#include <QProcess>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QResource>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <GL/glew.h>
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>

#include "WindowKeys.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <poll.h>
#include <string>
#include <time.h>
#include <unistd.h>

// Xlib's hook on the conversion of wire events (an extension interface of Xlib,
// declared in its internal header, which does not build as C++).
extern "C" {
using WireToEventProc = Bool (*)(Display*, XEvent*, void*);
WireToEventProc XESetWireToEvent(Display* display, int eventType, WireToEventProc proc);
}

namespace {

struct LinuxState {
    int glutWindow = 0;
    Display* display = nullptr;
    Window xWindow = 0;
    Atom deleteWindow = 0;
    Atom protocols = 0;
    std::string title;
    WindowEvents events;
    std::map<int, std::function<void()>> timers;
    int nextTimer = 1;
    QApplication* application = nullptr;
    int argc = 0;
    char** argv = nullptr;
    bool modalOpen = false;
    // Cursors, made on first use; index = CursorKind. The brush outline is replaced
    // whenever the tools hand over a new picture.
    std::array<Cursor, CURSOR_KIND_COUNT> cursors{};
    Cursor brushOutline = 0;
    CursorKind shownCursor = CursorKind::Arrow;
    // Key events that arrived with Ctrl held, in arrival order (see ctrlFreeCharacter).
    std::deque<XKeyEvent> ctrlKeyEvents;
    WireToEventProc keyPressConverter = nullptr;
    WireToEventProc keyReleaseConverter = nullptr;
    // The modifiers of the key or button event being handled (GLUT knows them only
    // inside those callbacks); -1 outside them.
    int eventModifiers = -1;
    LinuxMenuStrip strip;
    bool overStrip = false;  // the pointer is over the strip, which shows the arrow
};
LinuxState state;

int windowHeight() { return glutGet(GLUT_WINDOW_HEIGHT); }
// The client area: the window below the menu strip.
int clientHeight() { return windowHeight() - state.strip.height(); }

// ---- Ctrl and character keys -------------------------------------------------------
// With Ctrl held, X turns a key's character into a control character, and several
// keys share one (Ctrl+Space and Ctrl+2 both give 0, Ctrl+3 gives Escape). freeglut
// passes on only that character, so the layer keeps the key events that arrive
// with Ctrl and hands the shell the character the key gives without Ctrl (Shift
// still counts): Ctrl+Z arrives as "z", Ctrl+Shift+Z as "Z", Ctrl+Space as " ".
constexpr size_t kCtrlKeyEventLimit = 64;

void keepCtrlKeyEvent(const XEvent& event)
{
    if ((event.type != KeyPress && event.type != KeyRelease) || event.xkey.window != state.xWindow) return;
    if ((event.xkey.state & ControlMask) == 0) return;
    if (state.ctrlKeyEvents.size() >= kCtrlKeyEventLimit) state.ctrlKeyEvents.pop_front();
    state.ctrlKeyEvents.push_back(event.xkey);
}

Bool convertKeyPress(Display* display, XEvent* event, void* wire)
{
    Bool converted = state.keyPressConverter(display, event, wire);
    if (converted) keepCtrlKeyEvent(*event);
    return converted;
}

Bool convertKeyRelease(Display* display, XEvent* event, void* wire)
{
    Bool converted = state.keyReleaseConverter(display, event, wire);
    if (converted) keepCtrlKeyEvent(*event);
    return converted;
}

void watchCtrlKeys()
{
    if (!state.display || state.keyPressConverter) return;
    state.keyPressConverter = XESetWireToEvent(state.display, KeyPress, convertKeyPress);
    state.keyReleaseConverter = XESetWireToEvent(state.display, KeyRelease, convertKeyRelease);
}

// The one character `event` gives with the given modifier state, or -1.
int characterOf(XKeyEvent event, unsigned int modifierState)
{
    event.state = modifierState;
    char text[8];
    KeySym symbol = 0;
    int length = XLookupString(&event, text, sizeof text, &symbol, nullptr);
    return length == 1 ? static_cast<unsigned char>(text[0]) : -1;
}

// The character freeglut delivered as `delivered` for a key of `type` held with
// Ctrl, taken back to the character of the key without Ctrl. Events older than the
// one matched were handled already (or were special keys) and are dropped.
int ctrlFreeCharacter(int type, unsigned char delivered)
{
    for (size_t i = 0; i < state.ctrlKeyEvents.size(); ++i) {
        const XKeyEvent& event = state.ctrlKeyEvents[i];
        if (event.type != type || characterOf(event, event.state) != delivered) continue;
        int plain = characterOf(event, event.state & ~ControlMask);
        state.ctrlKeyEvents.erase(state.ctrlKeyEvents.begin(), state.ctrlKeyEvents.begin() + static_cast<long>(i) + 1);
        return plain >= 0 ? plain : delivered;
    }
    return delivered;
}

unsigned char normalisedKey(int type, unsigned char key)
{
    if ((glutGetModifiers() & GLUT_ACTIVE_CTRL) == 0) return key;
    return static_cast<unsigned char>(ctrlFreeCharacter(type, key));
}

// ---- cursors -------------------------------------------------------------------------
Cursor blankCursor()
{
    static const char none[1] = {0};
    Pixmap empty = XCreateBitmapFromData(state.display, state.xWindow, none, 1, 1);
    XColor black {};
    Cursor cursor = XCreatePixmapCursor(state.display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(state.display, empty);
    return cursor;
}

// A shape of the cursor theme when it has one, else a glyph of the X cursor font.
Cursor themedCursor(const char* name, unsigned int fontGlyph)
{
    Cursor cursor = XcursorLibraryLoadCursor(state.display, name);
    return cursor ? cursor : XCreateFontCursor(state.display, fontGlyph);
}

Cursor makeCursor(CursorKind kind)
{
    switch (kind) {
    case CursorKind::Invisible: return blankCursor();
    case CursorKind::Arrow: return themedCursor("left_ptr", XC_left_ptr);
    case CursorKind::Crosshair: return themedCursor("crosshair", XC_crosshair);
    case CursorKind::Move: return themedCursor("fleur", XC_fleur);
    case CursorKind::Zoom: return themedCursor("zoom-in", XC_plus);
    case CursorKind::Rotate: return themedCursor("exchange", XC_exchange);
    case CursorKind::ColourPicker: return themedCursor("color-picker", XC_tcross);
    case CursorKind::Spare: return themedCursor("dotbox", XC_dotbox);
    case CursorKind::ResizeDiagonalRising: return themedCursor("nesw-resize", XC_top_right_corner);
    case CursorKind::ResizeDiagonalFalling: return themedCursor("nwse-resize", XC_top_left_corner);
    case CursorKind::RotateBelowRight:
    case CursorKind::RotateBelowLeft:
    case CursorKind::RotateAboveLeft:
    case CursorKind::RotateAboveRight: return themedCursor("exchange", XC_exchange);
    case CursorKind::Busy: return themedCursor("watch", XC_watch);
    case CursorKind::BrushOutline: return themedCursor("crosshair", XC_crosshair);  // until a picture arrives
    }
    return XCreateFontCursor(state.display, XC_left_ptr);
}

Cursor cursorFor(CursorKind kind)
{
    if (kind == CursorKind::BrushOutline && state.brushOutline) return state.brushOutline;
    size_t index = static_cast<size_t>(kind);
    if (index >= state.cursors.size()) index = static_cast<size_t>(CursorKind::Arrow);
    if (!state.cursors[index]) state.cursors[index] = makeCursor(static_cast<CursorKind>(index));
    return state.cursors[index];
}

// An ARGB cursor where the server can show one, else a two-colour one (white where
// the picture is light, black where dark, nothing where alpha is 0).
Cursor cursorFromImage(const CursorImage& image)
{
    const int side = image.side;
    if (XcursorSupportsARGB(state.display)) {
        XcursorImage* picture = XcursorImageCreate(side, side);
        if (!picture) return 0;
        picture->xhot = static_cast<XcursorDim>(image.hotX);
        picture->yhot = static_cast<XcursorDim>(image.hotY);
        for (int i = 0; i < side * side; ++i) {
            const uint8_t* p = &image.rgba[static_cast<size_t>(i) * 4];
            uint32_t a = p[3];
            // Xcursor pixels are premultiplied.
            picture->pixels[i] = (a << 24) | ((p[0] * a / 255) << 16) | ((p[1] * a / 255) << 8) | (p[2] * a / 255);
        }
        Cursor cursor = XcursorImageLoadCursor(state.display, picture);
        XcursorImageDestroy(picture);
        return cursor;
    }
    const int rowBytes = (side + 7) / 8;
    std::vector<char> source(static_cast<size_t>(rowBytes * side), 0);
    std::vector<char> mask(source.size(), 0);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * side + x) * 4];
            const size_t byte = static_cast<size_t>(y * rowBytes + x / 8);
            if (p[0] >= 128) source[byte] = static_cast<char>(source[byte] | (1 << (x % 8)));
            if (p[3] > 0) mask[byte] = static_cast<char>(mask[byte] | (1 << (x % 8)));
        }
    }
    Pixmap sourceMap = XCreateBitmapFromData(state.display, state.xWindow, source.data(), side, side);
    Pixmap maskMap = XCreateBitmapFromData(state.display, state.xWindow, mask.data(), side, side);
    XColor white {};
    white.red = white.green = white.blue = 0xFFFF;
    XColor black {};
    Cursor cursor = XCreatePixmapCursor(state.display, sourceMap, maskMap, &white, &black,
                                        static_cast<unsigned>(image.hotX), static_cast<unsigned>(image.hotY));
    XFreePixmap(state.display, sourceMap);
    XFreePixmap(state.display, maskMap);
    return cursor;
}

// ---- GLUT callbacks: forward to the shell's events ----------------------------------
// Keeps the event's own modifiers for modifierState() while `forward` runs: by the
// time a queued key is handled, the keys held now may already differ.
template <typename Forward>
void withEventModifiers(Forward forward)
{
    state.eventModifiers = glutGetModifiers();
    forward();
    state.eventModifiers = -1;
}
void onDisplay() { if (state.events.display) state.events.display(); }
void onReshape(int w, int h)
{
    // A minimised window reports 0 x 0 and stays that way.
    const int client = w == 0 && h == 0 ? 0 : std::max(0, h - state.strip.height());
    if (state.events.reshape) state.events.reshape(w, client);
}
void onPosition(int x, int y) { if (state.events.moved) state.events.moved(x, y); }
// freeglut reports y from the top; the program measures from the bottom. The strip
// sits at the top, so bottom-up pixels of the client area are those of the window.
int flipY(int y) { return windowHeight() - 1 - y; }
void onMouse(int b, int s, int x, int y)
{
    // The strip's menus run their own loops: outside the event's modifiers.
    if (wheelDeltaFromGlutButton(b) == 0 && state.strip.mouse(b, s, x, y)) return;
    withEventModifiers([&] {
        // The wheel goes to the special callback as the program expects it.
        if (int32_t delta = wheelDeltaFromGlutButton(b)) {
            if (s == GLUT_DOWN && state.events.special) state.events.special(WINDOW_KEY_WHEEL, delta, flipY(y));
            return;
        }
        if (state.events.mouse) state.events.mouse(b, s, x, flipY(y));
    });
}
void onMotion(int x, int y) { if (state.events.motion) state.events.motion(x, flipY(y)); }
void onPassive(int x, int y)
{
    const bool overStrip = state.strip.passiveMotion(x, y);
    if (overStrip != state.overStrip && state.display && state.xWindow) {
        // Menus take the arrow; the canvas gets the tool's cursor back.
        state.overStrip = overStrip;
        XDefineCursor(state.display, state.xWindow, cursorFor(overStrip ? CursorKind::Arrow : state.shownCursor));
        XFlush(state.display);
    }
    if (overStrip) return;
    if (state.events.passiveMotion) state.events.passiveMotion(x, flipY(y));
}
void onEntry(int s)
{
    if (s != GLUT_ENTERED) state.strip.passiveMotion(-1, -1);  // no title stays lit
    if (state.events.entry) state.events.entry(s == GLUT_ENTERED);
}
void onKey(unsigned char k, int x, int y)
{
    if (state.strip.key(k, glutGetModifiers())) return;  // Alt and a menu's letter
    withEventModifiers([&] {
        unsigned char key = normalisedKey(KeyPress, k);
        if (state.events.keyboard) state.events.keyboard(key, x, flipY(y));
    });
}
void onKeyUp(unsigned char k, int x, int y)
{
    withEventModifiers([&] {
        unsigned char key = normalisedKey(KeyRelease, k);
        if (state.events.keyboardUp) state.events.keyboardUp(key, x, flipY(y));
    });
}
void onSpecial(int k, int x, int y)
{
    if (state.strip.special(k, glutGetModifiers())) return;  // F10
    withEventModifiers([&] {
        if (state.events.special) state.events.special(windowSpecialKeyFromGlut(k), x, flipY(y));
    });
}
void onSpecialUp(int k, int x, int y)
{
    withEventModifiers([&] {
        if (state.events.specialUp) state.events.specialUp(windowSpecialKeyFromGlut(k), x, flipY(y));
    });
}
void onTimer(int id)
{
    auto found = state.timers.find(id);
    if (found == state.timers.end()) return;
    std::function<void()> callback = std::move(found->second);
    state.timers.erase(found);
    callback();
}

// ---- the menu strip ------------------------------------------------------------------
// A chosen menu item arrives as its special key once the menu's event has returned.
void postMenuCommand(int32_t id)
{
    if (auto* layer = windowLayer()) layer->startTimer(0, [id] {
        if (state.events.special) state.events.special(id, 0, 0);
    });
}

void toScreen(int32_t x, int32_t y, int32_t* screenX, int32_t* screenY)
{
    *screenX = x;
    *screenY = y;
    if (!state.display || !state.xWindow) return;
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(state.display, state.xWindow, DefaultRootWindow(state.display), x, y, &rootX, &rootY, &child);
    *screenX = rootX;
    *screenY = rootY;
}

void fromScreen(int32_t screenX, int32_t screenY, int32_t* x, int32_t* y)
{
    *x = screenX;
    *y = screenY;
    if (!state.display || !state.xWindow) return;
    int windowX = 0, windowY = 0;
    Window child = 0;
    XTranslateCoordinates(state.display, DefaultRootWindow(state.display), state.xWindow, screenX, screenY, &windowX,
                          &windowY, &child);
    *x = windowX;
    *y = windowY;
}

void startMenuStrip()
{
    LinuxMenuStrip::Window window;
    window.toScreen = toScreen;
    window.fromScreen = fromScreen;
    window.choose = postMenuCommand;
    window.redraw = [] {
        if (state.glutWindow > 0) glutPostRedisplay();
    };
    window.serviceWindow = [] {
        if (auto* layer = static_cast<LinuxWindowLayer*>(windowLayer())) layer->serviceWindow();
    };
    // The press that opened a menu holds freeglut's pointer grab; Qt's menu needs it.
    window.releasePointer = [] {
        if (!state.display) return;
        XUngrabPointer(state.display, CurrentTime);
        XFlush(state.display);
    };
    // The menu had the keyboard: the release of the Alt that opened it went to the
    // menu, so the shell hears of it here (a temporary colour picker ends with it).
    window.menuClosed = [] {
        // The keys held now, not those of the event that opened the menu.
        const int eventModifiers = state.eventModifiers;
        state.eventModifiers = -1;
        auto* layer = windowLayer();
        const bool altHeld = layer && (layer->modifierState() & GLUT_ACTIVE_ALT) != 0;
        state.eventModifiers = eventModifiers;
        if (!altHeld && state.events.specialUp) state.events.specialUp(WINDOW_KEY_ALT, 0, 0);
    };
    state.strip.start(window);
}

// Takes close requests off the queue before freeglut would destroy the window.
void takeCloseRequests()
{
    if (!state.display || !state.xWindow) return;
    XEvent event;
    while (XCheckTypedWindowEvent(state.display, state.xWindow, ClientMessage, &event)) {
        if (event.xclient.message_type == state.protocols &&
            static_cast<Atom>(event.xclient.data.l[0]) == state.deleteWindow) {
            if (state.events.closeRequested) state.events.closeRequested();
            continue;
        }
        // Not ours: hand it back to freeglut.
        XPutBackEvent(state.display, &event);
        break;
    }
}

void setMaximisedHint(bool maximised)
{
    if (!state.display || !state.xWindow) return;
    Atom wmState = XInternAtom(state.display, "_NET_WM_STATE", False);
    Atom vertical = XInternAtom(state.display, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    Atom horizontal = XInternAtom(state.display, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = state.xWindow;
    event.xclient.message_type = wmState;
    event.xclient.format = 32;
    event.xclient.data.l[0] = maximised ? 1 : 0;
    event.xclient.data.l[1] = static_cast<long>(vertical);
    event.xclient.data.l[2] = static_cast<long>(horizontal);
    XSendEvent(state.display, DefaultRootWindow(state.display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(state.display);
}

QMessageBox::Icon qtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::NoIcon: break;
    }
    return QMessageBox::NoIcon;
}

// Makes a Qt dialog a transient of the canvas window, as an owned box is.
void ownByMainWindow(QWidget& dialog)
{
    if (!state.xWindow) return;
    dialog.winId();
    if (QWindow* handle = dialog.windowHandle()) {
        if (QWindow* parent = QWindow::fromWinId(static_cast<WId>(state.xWindow))) handle->setTransientParent(parent);
    }
}

// Keeps the GLUT window repainting while a modal Qt dialog runs its own loop.
template <typename Run>
auto runModal(Run run)
{
    QTimer keepAlive;
    QObject::connect(&keepAlive, &QTimer::timeout, [] {
        if (auto* layer = static_cast<LinuxWindowLayer*>(windowLayer())) layer->serviceWindow();
    });
    keepAlive.start(16);
    state.modalOpen = true;
    auto result = run();
    state.modalOpen = false;
    return result;
}

}  // namespace

void LinuxWindowLayer::initialise(int argc, char** argv)
{
    state.argc = argc;
    state.argv = argv;
    glutInit(&state.argc, state.argv);
}

bool LinuxWindowLayer::createWindow(const WindowRect& rect, bool maximised)
{
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ALPHA | GLUT_STENCIL | GLUT_DEPTH);
    glutInitWindowPosition(rect.left, rect.top);
    glutInitWindowSize(rect.width, rect.height);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    state.glutWindow = glutCreateWindow("");
    if (state.glutWindow <= 0) return false;
    state.display = glXGetCurrentDisplay();
    state.xWindow = glXGetCurrentDrawable();
    if (state.display) {
        state.protocols = XInternAtom(state.display, "WM_PROTOCOLS", False);
        state.deleteWindow = XInternAtom(state.display, "WM_DELETE_WINDOW", False);
        watchCtrlKeys();
    }
    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutPositionFunc(onPosition);
    glutMouseFunc(onMouse);
    glutMotionFunc(onMotion);
    glutPassiveMotionFunc(onPassive);
    glutEntryFunc(onEntry);
    glutKeyboardFunc(onKey);
    glutKeyboardUpFunc(onKeyUp);
    glutSpecialFunc(onSpecial);
    glutSpecialUpFunc(onSpecialUp);
    glutShowWindow();
    if (maximised) setMaximisedHint(true);
    return true;
}

bool LinuxWindowLayer::hasWindow() const { return state.glutWindow > 0 && state.xWindow != 0; }

void LinuxWindowLayer::setEvents(const WindowEvents& events) { state.events = events; }

void LinuxWindowLayer::setTitle(const std::string& title)
{
    state.title = title;
    if (state.glutWindow > 0) glutSetWindowTitle(title.c_str());
}

std::string LinuxWindowLayer::title() const { return state.title; }

void LinuxWindowLayer::swapBuffers()
{
    if (state.glutWindow > 0) state.strip.draw(glutGet(GLUT_WINDOW_WIDTH), windowHeight());
    glutSwapBuffers();
}

void LinuxWindowLayer::postRedisplay()
{
    if (state.glutWindow > 0) glutPostRedisplay();
}

void LinuxWindowLayer::clientSize(int32_t* width, int32_t* height) const
{
    *width = glutGet(GLUT_WINDOW_WIDTH);
    *height = std::max(0, clientHeight());
}

WindowRect LinuxWindowLayer::windowRect() const
{
    return {glutGet(GLUT_WINDOW_X), glutGet(GLUT_WINDOW_Y), glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT)};
}

bool LinuxWindowLayer::isMaximised() const
{
    if (!state.display || !state.xWindow) return false;
    Atom wmState = XInternAtom(state.display, "_NET_WM_STATE", False);
    Atom vertical = XInternAtom(state.display, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool maximised = false;
    if (XGetWindowProperty(state.display, state.xWindow, wmState, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success && data) {
        Atom* atoms = reinterpret_cast<Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) maximised = maximised || atoms[i] == vertical;
        XFree(data);
    }
    return maximised;
}

WindowRect LinuxWindowLayer::screenRect() const
{
    return {0, 0, glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT)};
}

double LinuxWindowLayer::doubleClickMilliseconds() const
{
    // Qt knows the desktop's setting once it runs; 400 ms is the common default.
    return state.application ? QApplication::doubleClickInterval() : 400.0;
}

void LinuxWindowLayer::focusWindow()
{
    if (!state.display || !state.xWindow) return;
    XRaiseWindow(state.display, state.xWindow);
    XSetInputFocus(state.display, state.xWindow, RevertToParent, CurrentTime);
    XFlush(state.display);
}

bool LinuxWindowLayer::loadGlExtensions()
{
    // glewInit also runs GLEW's GLX query; on a GLX window anything but OK is a failure.
    return glewInit() == GLEW_OK;
}

void LinuxWindowLayer::serviceWindow()
{
    takeCloseRequests();
    glutMainLoopEvent();
}

void LinuxWindowLayer::runMainLoop()
{
    for (;;) {
        serviceWindow();
        // Sleep until the X server has something or the next 10 ms tick is due.
        pollfd descriptor {state.display ? ConnectionNumber(state.display) : -1, POLLIN, 0};
        if (state.display && XPending(state.display) == 0) ::poll(&descriptor, 1, 5);
    }
}

bool LinuxWindowLayer::startToolkit(int, char**, const std::string& resourceBundle)
{
    if (!state.application) state.application = new QApplication(state.argc, state.argv);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + "/plugins");
    if (!state.strip.started()) startMenuStrip();
    return QResource::registerResource(QString::fromStdString(resourceBundle));
}

void LinuxWindowLayer::pumpEvents()
{
    if (state.application) QCoreApplication::processEvents();
}

void LinuxWindowLayer::startTimer(int32_t milliseconds, std::function<void()> callback)
{
    int id = state.nextTimer++;
    state.timers[id] = std::move(callback);
    glutTimerFunc(static_cast<unsigned>(milliseconds), onTimer, id);
}

MessageAnswer LinuxWindowLayer::messageBox(bool owned, const std::string& text, const std::string& caption,
                                           MessageIcon icon, bool yesNo, bool cancel)
{
    QMessageBox box(qtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text));
    if (yesNo) {
        box.setStandardButtons(cancel ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                      : QMessageBox::Yes | QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    if (owned) ownByMainWindow(box);
    int result = runModal([&] { return box.exec(); });
    switch (result) {
    case QMessageBox::Ok: return MessageAnswer::Ok;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    default: return MessageAnswer::Other;
    }
}

std::string LinuxWindowLayer::chooseOpenPath(const FileDialogRequest& request)
{
    QFileDialog dialog(nullptr, QString::fromStdString(request.title), QString::fromStdString(request.initialPath),
                       QString::fromStdString(request.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    ownByMainWindow(dialog);
    bool chosen = runModal([&] { return dialog.exec() == QDialog::Accepted; });
    if (!chosen || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

std::string LinuxWindowLayer::chooseSavePath(const FileDialogRequest& request)
{
    QFileDialog dialog(nullptr, QString::fromStdString(request.title), QString::fromStdString(request.initialPath),
                       QString::fromStdString(request.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    ownByMainWindow(dialog);
    bool chosen = runModal([&] { return dialog.exec() == QDialog::Accepted; });
    if (!chosen || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

void LinuxWindowLayer::showImageDialog(const std::string& title, const std::string& picture)
{
    ImageDialog dialog(QString::fromStdString(title), QString::fromStdString(picture), QGuiApplication::primaryScreen());
    ownByMainWindow(dialog);
    runModal([&] { return dialog.exec(); });
}

std::optional<std::string> LinuxWindowLayer::askText(const TextEntryRequest& request)
{
    TextEntryDialog dialog(QString::fromStdString(request.title), QString::fromStdString(request.prompt),
                           QString::fromStdString(request.initialText), request.maxBytes);
    ownByMainWindow(dialog);
    runModal([&] { return dialog.exec(); });
    return dialog.answer();
}

void LinuxWindowLayer::setMenuBar(const MenuBar& bar)
{
    const int before = state.strip.height();
    state.strip.setBar(bar);
    // The strip appearing or changing height changes the client area below it.
    if (state.strip.height() != before && state.glutWindow > 0) {
        startTimer(0, [] { onReshape(glutGet(GLUT_WINDOW_WIDTH), windowHeight()); });
    }
}

void LinuxWindowLayer::showPopupMenu(const MenuBar& menus, int32_t x, int32_t y)
{
    state.strip.popup(menus, x, windowHeight() - 1 - y);
}

void LinuxWindowLayer::setWindowOpacity(bool enabled, float opacity)
{
    if (!state.display || !state.xWindow) return;
    // Compositing window managers read the opacity hint from the client window.
    Atom hint = XInternAtom(state.display, "_NET_WM_WINDOW_OPACITY", False);
    if (enabled) {
        const unsigned long alpha = static_cast<unsigned long>(std::clamp(opacity, 0.0f, 1.0f) * 255.0f);
        const unsigned long value = alpha * 0x01010101UL;  // 255 is fully opaque: 0xFFFFFFFF
        XChangeProperty(state.display, state.xWindow, hint, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&value), 1);
    } else {
        XDeleteProperty(state.display, state.xWindow, hint);
    }
    XFlush(state.display);
}

void LinuxWindowLayer::openWebAddress(const std::string& address)
{
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(address)})) return;
    messageBox(true, "The web page " + address + " could not be opened: xdg-open is not available.", "Warning",
               MessageIcon::Warning, false, false);
}

void LinuxWindowLayer::setCursor(SystemCursor shape)
{
    state.shownCursor = shape;
    if (!state.display || !state.xWindow || state.overStrip) return;
    XDefineCursor(state.display, state.xWindow, cursorFor(shape));
    XFlush(state.display);
}

void LinuxWindowLayer::setBrushOutlineCursor(const CursorImage& image)
{
    if (!state.display || !state.xWindow) return;
    if (image.side <= 0 || image.rgba.size() != static_cast<size_t>(image.side) * image.side * 4) return;
    Cursor made = cursorFromImage(image);
    if (!made) return;
    Cursor previous = state.brushOutline;
    state.brushOutline = made;
    if (state.shownCursor == CursorKind::BrushOutline && !state.overStrip) XDefineCursor(state.display, state.xWindow, made);
    if (previous) XFreeCursor(state.display, previous);
    XFlush(state.display);
}

int32_t LinuxWindowLayer::modifierState() const
{
    if (state.eventModifiers >= 0) return state.eventModifiers;
    // Motion and entry: the keys held now, from the server.
    if (!state.display || !state.xWindow) return 0;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    XQueryPointer(state.display, state.xWindow, &root, &child, &rootX, &rootY, &x, &y, &mask);
    int32_t modifiers = 0;
    if (mask & ShiftMask) modifiers |= GLUT_ACTIVE_SHIFT;
    if (mask & ControlMask) modifiers |= GLUT_ACTIVE_CTRL;
    if (mask & Mod1Mask) modifiers |= GLUT_ACTIVE_ALT;
    return modifiers;
}

double LinuxWindowLayer::monotonicSeconds() const
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void LinuxWindowLayer::setKeyRepeatIgnored(bool ignored)
{
    if (state.glutWindow > 0) glutIgnoreKeyRepeat(ignored ? 1 : 0);
}

void LinuxWindowLayer::drawFrameNow()
{
    if (state.events.display) state.events.display();
}

void LinuxWindowLayer::exitProcess(int code) { std::exit(code); }

void LinuxWindowLayer::sleepMilliseconds(int32_t milliseconds) { ::usleep(static_cast<useconds_t>(milliseconds) * 1000); }
