#include "Shell.h"

#include "CommandRegistry.h"
#include "CrashHandler.h"
#include "DocumentController.h"
#include "Fatal.h"
#include "LayerOperations.h"
#include "Gfx.h"
#include "KeyBindings.h"
#include "KeyCombos.h"
#include "LayerOperations.h"
#include "Paths.h"
#include "ProductInfo.h"
#include "ScriptConsole.h"
#include "Selection.h"
#include "ToolCommands.h"
#include "WindowKeys.h"

#include <GL/glew.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

// [SECTION] Start-up
// [SECTION] Window callbacks
// [SECTION] Shutdown

namespace {

constexpr int32_t kQtPumpMilliseconds = 10;
constexpr size_t kArgumentLimit = 2026;

// The splash screen runs beside start-up; start-up waits for its signal.
class Splash {
public:
    // A fatal stop during start-up exits with the thread still joinable.
    ~Splash() { join(); }
    void start()
    {
        thread_ = std::thread([this] { done_.store(true); });
    }
    bool done() const { return done_.load() || crashInProgress(); }
    void join()
    {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
    std::atomic<bool> done_{false};
};

void clearWhite()
{
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

// ---- [BEGIN selection] ------------------------------------------------------------------
// Script lines (bind lines and commands) from the file named by VELLUMIN_STARTUP_SCRIPT,
// run once after the default keys: the road automation and the window tests take to
// bind the commands that have no default key, until the application state file
// brings the user's own bind lines.
constexpr std::streamsize kStartupScriptLimit = 64 * 1024;
void runStartupScript()
{
    const char* path = std::getenv("VELLUMIN_STARTUP_SCRIPT");
    if (!path || !*path) return;
    std::ifstream file(path, std::ios::binary);
    if (!file) return;
    std::string script(static_cast<size_t>(kStartupScriptLimit), '\0');
    file.read(script.data(), kStartupScriptLimit);
    script.resize(static_cast<size_t>(file.gcount()));
    commandRegistry().runScript(script);
}
// ---- [END selection] --------------------------------------------------------------------

}  // namespace

Shell::Shell(WindowLayer& window) : window_(window), menus_(window) {}

// The console's exit hook points here; it must not outlive the shell.
Shell::~Shell() { scriptConsole().requestExit = nullptr; }

// ---------------------------------------------------------------------------------------
// [SECTION] Start-up
// ---------------------------------------------------------------------------------------

WindowRect Shell::placeWindow(const WindowRect& saved, bool savedMaximised, const WindowRect& screen, bool* maximised)
{
    bool inside = saved.width > 0 && saved.height > 0 && saved.left >= screen.left && saved.top >= screen.top &&
                  saved.left + saved.width <= screen.left + screen.width &&
                  saved.top + saved.height <= screen.top + screen.height;
    if (inside) {
        *maximised = savedMaximised;
        return saved;
    }
    *maximised = true;
    return {100, 100, screen.width - 200, screen.height - 200};
}

std::string Shell::resourceDirectory(const char* firstArgument)
{
    std::string argument = firstArgument ? std::string(firstArgument).substr(0, kArgumentLimit) : std::string();
    size_t cut = argument.find_last_of("/\\");
    std::string folder = cut == std::string::npos ? std::string() : argument.substr(0, cut + 1);
    return folder + "Application/Resources";
}

void Shell::pumpToolkit()
{
    window_.pumpEvents();
    window_.startTimer(kQtPumpMilliseconds, [this] { pumpToolkit(); });
}

void Shell::startUp(int argc, char** argv)
{
    // 1-2. Scaling is Qt's and the X server's business; the crash handler goes in first.
    crash::install();
    crash::setPrompt(crashPrompt);

    // 3. The application state is read here once it exists; a first start uses defaults.

    // 4. The window, placed against the X screen.
    window_.initialise(argc, argv);
    bool maximised = false;
    WindowRect rect = placeWindow(WindowRect{}, false, window_.screenRect(), &maximised);
    bool created = window_.createWindow(rect, maximised);
    // 5. No window means no usable OpenGL.
    if (!created || !window_.hasWindow()) fatal(nullptr, GFX_ERR_GL_SUPPORT);
    WindowEvents events;
    events.display = [this] { drawFrame(); };
    events.reshape = [this](int32_t w, int32_t h) { reshape(w, h); };
    events.moved = [this](int32_t l, int32_t t) { windowMoved(l, t); };
    events.closeRequested = [this] { closeRequested(); };
    events.mouse = [this](int32_t button, int32_t buttonState, int32_t x, int32_t y) {
        mouseButton(button, buttonState, x, y);
    };
    events.motion = [this](int32_t x, int32_t y) {
        if (DocumentController* c = theController()) c->mouseMotion(x, y, window_.modifierState());
    };
    events.passiveMotion = [](int32_t x, int32_t y) {
        if (DocumentController* c = theController()) c->passiveMotion(x, y);
    };
    events.entry = [this](bool entered) {
        if (DocumentController* c = theController()) c->pointerEntry(entered, window_.modifierState());
    };
    // Key events go nowhere while the screen mode refuses them.
    auto keysAccepted = [this] {
        ScreenMode* mode = currentMode();
        return !mode || mode->acceptKeyInput();
    };
    events.keyboard = [this, keysAccepted](uint8_t key, int32_t, int32_t) {
        DocumentController* c = theController();
        if (c && keysAccepted()) c->keyDown(key, window_.modifierState());
    };
    events.keyboardUp = [this, keysAccepted](uint8_t key, int32_t, int32_t) {
        DocumentController* c = theController();
        if (c && keysAccepted()) c->keyUp(key, window_.modifierState());
    };
    events.special = [this, keysAccepted](int32_t key, int32_t x, int32_t y) {
        if (keysAccepted()) specialKey(key, x, y);
    };
    events.specialUp = [this, keysAccepted](int32_t key, int32_t, int32_t) {
        DocumentController* c = theController();
        if (c && keysAccepted()) c->specialKeyUp(key, window_.modifierState());
    };
    window_.setEvents(events);
    window_.startTimer(kQtPumpMilliseconds, [this] { pumpToolkit(); });

    // 11 (needed by 6). The resource folder beside the executable.
    std::string resources = resourceDirectory(argc > 0 ? argv[0] : nullptr);

    // 6. Qt and its resource bundle.
    window_.startToolkit(argc, argv, resources + "/VelluminResources.rcc");

    // 7. The default screen mode.
    modes_.push_back(std::make_unique<ScreenMode>());
    currentModeIndex_ = requestedModeIndex_ = 0;
    modes_[0]->enter();

    // 8. Show white at once, while the rest starts.
    for (int i = 0; i < 2; ++i) {
        clearWhite();
        window_.swapBuffers();
    }
    clearWhite();
    window_.sleepMilliseconds(100);

    // 9-10. The splash screen.
    static Splash splash;
    splash.start();

    // 12. The controller, its engine and its first canvas.
    std::unique_ptr<DocumentController> controller = DocumentController::create(window_, resources);
    if (!controller) fatal(nullptr, GFX_ERR_FAILED);
    DocumentController* c = controller.release();
    setTheController(c);

    // 13. Smoothing while no stylus is near.
    c->setSmoothingLevel(4);

    // 15. The client size as the window reports it.
    MainWindowState& state = c->windowState();
    window_.clientSize(&state.clientWidth, &state.clientHeight);
    WindowRect placed = window_.windowRect();
    state.left = placed.left;
    state.top = placed.top;
    state.maximised = maximised;
    if (state.clientWidth > 0 && state.clientHeight > 0) {
        gfxSetViewport(c->canvas(), 0, 0, static_cast<float>(state.clientWidth), static_cast<float>(state.clientHeight));
        c->checkEngine();
    }

    // 17. Window-state fields.
    state.opacityEnabled = false;
    state.opacity = 0.5f;
    state.doubleClickSeconds = window_.doubleClickMilliseconds() * 0.5 / 1000.0;
    state.pointerInside = true;

    // 18. The tool's cursor, the menu bar and the title.
    c->restoreToolCursor();
    setMenuCommands(&menus_);
    menus_.requestExit = [this] { closeRequested(); };
    menus_.buildMenuBar();
    c->setTitle("Untitled");

    // 19. The interface may be laid out (and frames drawn) from here on.
    c->interfaceState().readyForLayout = true;

    // 20. Every Linux machine takes the path of machines not made by Microsoft: draw now.
    drawFrame();

    // 21. The console's commands and "bind", the menu and hotkey handlers, then their
    // default keys ("exit" and "quit" take the road of a window close).
    scriptConsole().requestExit = [this] { closeRequested(); };
    scriptConsole().registerCommands(commandRegistry());
    registerBindCommand(commandRegistry(), keyBindings());
    registerToolCommands(commandRegistry());
    registerLayerAndPinCommands(commandRegistry());
    registerSelectionCommands(commandRegistry());  // selection and image import
    menus_.registerCommands(commandRegistry());
    // The defaults go in once, before any user change: a second start-up in the same
    // process (tests) must not use up binding records.
    if (keyBindings().recordsHandedOut() == 0) addDefaultBindings(keyBindings());
    runStartupScript();

    // 23. The document named on the command line, or a new one.
    if (argc > 1 && argv[1] && *argv[1]) {
        c->openDocument(argv[1]);
    } else {
        c->newDocument();
    }
    menus_.updateRecentFileItems();
    c->setTitle(c->hasFileName() ? paths::fileNameOf(c->fileName()) : std::string("Untitled"));

    // 24. Wait for the splash screen, keeping the window drawn.
    while (!splash.done()) {
        window_.pumpEvents();
        drawFrame();
        window_.sleepMilliseconds(16);
    }
    splash.join();

    // 26. Started.
    startupDone_ = true;

    // 28. Check marks, focus, then the loop.
    menus_.updateCheckMarks();
    window_.focusWindow();
}

void Shell::run(int argc, char** argv)
{
    startUp(argc, argv);
    window_.runMainLoop();
    __builtin_unreachable();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Window callbacks
// ---------------------------------------------------------------------------------------

ScreenMode* Shell::currentMode()
{
    if (currentModeIndex_ < 0 || currentModeIndex_ >= static_cast<int>(modes_.size())) return nullptr;
    return modes_[static_cast<size_t>(currentModeIndex_)].get();
}

void Shell::drawFrame()
{
    DocumentController* controller = theController();
    if (!controller || !controller->interfaceState().readyForLayout) return;
    ScreenMode* mode = currentMode();
    if (!mode || mode->renderCanvas()) {
        if (!controller->engine()) fatal(controller, GFX_ERR_INVALID);
        gfxRenderSketch(controller->canvas());
        int32_t code = gfxGetLastError(controller->engine());
        if (code != GFX_OK) fatal(controller, code);
        // The marquee and the open transform rectangle, over the canvas (Selection.h).
        drawSelectionOverlay(*controller);
    }
    if (mode && mode->drawInterface()) {
        // The interface overlay is drawn here in an orthographic projection of the client area.
    }
    window_.swapBuffers();
    if (requestedModeIndex_ != currentModeIndex_ && requestedModeIndex_ >= 0 &&
        requestedModeIndex_ < static_cast<int>(modes_.size())) {
        ScreenMode* old = currentMode();
        currentModeIndex_ = requestedModeIndex_;
        if (old) old->leave();
        if (ScreenMode* now = currentMode()) now->enter();
    }
}

void Shell::reshape(int32_t width, int32_t height)
{
    DocumentController* controller = theController();
    if (!controller) return;
    MainWindowState& state = controller->windowState();
    if (width == 0 && height == 0) {
        // Minimised: nothing goes to the engine.
        state.clientWidth = 0;
        state.clientHeight = 0;
        return;
    }
    if (width != state.clientWidth || height != state.clientHeight) {
        gfxSetViewport(controller->canvas(), 0, 0, static_cast<float>(width), static_cast<float>(height));
        if (gfxGetLastError(controller->engine()) == GFX_OK) {
            WindowRect rect = window_.windowRect();
            state.left = rect.left;
            state.top = rect.top;
            state.clientWidth = width;
            state.clientHeight = height;
        }
    }
    drawFrame();
}

void Shell::windowMoved(int32_t left, int32_t top)
{
    DocumentController* controller = theController();
    if (!controller) return;
    controller->windowState().left = left;
    controller->windowState().top = top;
}

void Shell::mouseButton(int32_t button, int32_t buttonState, int32_t x, int32_t y)
{
    if (ScreenMode* mode = currentMode()) mode->mouseButton(button, buttonState, x, y);
    DocumentController* c = theController();
    if (!c) return;
    // A click that closes an overlay does nothing else, the right button included.
    const bool* overlays = c->interfaceState().overlayOpen;
    const bool overlayOpen = overlays[0] || overlays[1] || overlays[2];
    c->mouseButton(button, buttonState, x, y, window_.modifierState());
    // The right button opens the menus' pop-up and does nothing else.
    if (button == WINDOW_BUTTON_RIGHT && buttonState == WINDOW_BUTTON_DOWN && !overlayOpen)
        menus_.showContextMenu(x, y);
}

void Shell::specialKey(int32_t key, int32_t x, int32_t y)
{
    DocumentController* c = theController();
    if (!c) return;
    // Menu identifiers (from WINDOW_MENU_FIRST on) are the menu bar's dispatch.
    if (key >= WINDOW_MENU_FIRST) {
        menus_.dispatch(key);
        return;
    }
    const int32_t modifiers = window_.modifierState();
    c->specialKeyDown(key, x, y, modifiers);
    if ((modifiers & WINDOW_MODIFIER_SHIFT) != 0) menus_.developerShortcut(key);
}

void Shell::closeRequested()
{
    DocumentController* controller = theController();
    if (controller) {
        if (controller->askSaveChanges() == ANSWER_OTHER) return;  // Cancel: keep running
        controller->markClean();
    }
    shutDown();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Shutdown
// ---------------------------------------------------------------------------------------

void Shell::shutDown()
{
    DocumentController* controller = theController();
    // 1. The save-before-exit prompt.
    if (controller && !controller->isClean()) controller->askSaveBeforeExit(false);
    // 2-3. Window placement and the application state are written here once they exist.
    // 4. Leave the screen mode, destroy the controller.
    if (ScreenMode* mode = currentMode()) mode->leave();
    setTheController(nullptr);
    delete controller;
    // 6. The crash handler goes last.
    crash::uninstall();
    window_.exitProcess(0);
    __builtin_unreachable();
}
