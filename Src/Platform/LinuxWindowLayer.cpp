#include "LinuxWindowLayer.h"

// Qt first: Xlib's Bool/None/Status macros break Qt's headers.
#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QResource>
#include <QTimer>
#include <QWindow>

#include <GL/glew.h>
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <map>
#include <poll.h>
#include <string>
#include <unistd.h>

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
};
LinuxState state;

// ---- GLUT callbacks: forward to the shell's events ----------------------------------
void onDisplay() { if (state.events.display) state.events.display(); }
void onReshape(int w, int h) { if (state.events.reshape) state.events.reshape(w, h); }
void onPosition(int x, int y) { if (state.events.moved) state.events.moved(x, y); }
// freeglut reports y from the top; the program measures from the bottom.
int flipY(int y) { return glutGet(GLUT_WINDOW_HEIGHT) - 1 - y; }
void onMouse(int b, int s, int x, int y) { if (state.events.mouse) state.events.mouse(b, s, x, flipY(y)); }
void onMotion(int x, int y) { if (state.events.motion) state.events.motion(x, flipY(y)); }
void onPassive(int x, int y) { if (state.events.passiveMotion) state.events.passiveMotion(x, flipY(y)); }
void onEntry(int s) { if (state.events.entry) state.events.entry(s == GLUT_ENTERED); }
void onKey(unsigned char k, int x, int y) { if (state.events.keyboard) state.events.keyboard(k, x, flipY(y)); }
void onKeyUp(unsigned char k, int x, int y) { if (state.events.keyboardUp) state.events.keyboardUp(k, x, flipY(y)); }
void onSpecial(int k, int x, int y) { if (state.events.special) state.events.special(k, x, flipY(y)); }
void onSpecialUp(int k, int x, int y) { if (state.events.specialUp) state.events.specialUp(k, x, flipY(y)); }
void onTimer(int id)
{
    auto found = state.timers.find(id);
    if (found == state.timers.end()) return;
    std::function<void()> callback = std::move(found->second);
    state.timers.erase(found);
    callback();
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

void LinuxWindowLayer::swapBuffers() { glutSwapBuffers(); }

void LinuxWindowLayer::postRedisplay()
{
    if (state.glutWindow > 0) glutPostRedisplay();
}

void LinuxWindowLayer::clientSize(int32_t* width, int32_t* height) const
{
    *width = glutGet(GLUT_WINDOW_WIDTH);
    *height = glutGet(GLUT_WINDOW_HEIGHT);
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

void LinuxWindowLayer::setCursor(SystemCursor shape)
{
    if (state.glutWindow <= 0) return;
    switch (shape) {
    case SystemCursor::Arrow: glutSetCursor(GLUT_CURSOR_LEFT_ARROW); break;
    case SystemCursor::Busy: glutSetCursor(GLUT_CURSOR_WAIT); break;
    case SystemCursor::Crosshair: glutSetCursor(GLUT_CURSOR_CROSSHAIR); break;
    case SystemCursor::Hand: glutSetCursor(GLUT_CURSOR_INFO); break;
    case SystemCursor::Hidden: glutSetCursor(GLUT_CURSOR_NONE); break;
    }
}

void LinuxWindowLayer::exitProcess(int code) { std::exit(code); }

void LinuxWindowLayer::sleepMilliseconds(int32_t milliseconds) { ::usleep(static_cast<useconds_t>(milliseconds) * 1000); }
