#include "CommandDispatch.h"

#include "CommandRegistry.h"
#include "DocumentController.h"
#include "Fatal.h"
#include "Gfx.h"
#include "ImageImport.h"
#include "LayerOperations.h"
#include "MenuModel.h"
#include "Paths.h"
#include "Selection.h"
#include "WindowLayer.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <utility>

// [SECTION] Registration
// [SECTION] Dispatch
// [SECTION] Interface and check marks
// [SECTION] Restore defaults
// [SECTION] Canvas commands and boxes
// [SECTION] Developer shortcuts

namespace {

MenuCommands* currentMenuCommands = nullptr;

struct CommandIdentifier {
    const char* name;
    int32_t id;
};

// The commands of the command table whose action is a menu identifier, less the
// ones the tools (undo, redo, reset view, view all, flips), the layers and the
// selection (cut, copy, paste, transform, deselect, import image) register.
constexpr CommandIdentifier MENU_COMMANDS[] = {
    {"menuNewDocument", MENU_NEW_DOCUMENT},
    {"menuOpenDocument", MENU_OPEN_DOCUMENT},
    {"menuOpenRecent1", MENU_OPEN_RECENT_1},
    {"menuOpenRecent2", MENU_OPEN_RECENT_1 + 1},
    {"menuOpenRecent3", MENU_OPEN_RECENT_1 + 2},
    {"menuOpenRecent4", MENU_OPEN_RECENT_1 + 3},
    {"menuOpenRecent5", MENU_OPEN_RECENT_1 + 4},
    {"menuSaveDocument", MENU_SAVE_DOCUMENT},
    {"menuSaveDocumentAs", MENU_SAVE_DOCUMENT_AS},
    {"menuExport", MENU_EXPORT},
    {"menuExit", MENU_EXIT},
    {"menuClearCanvas", MENU_CLEAR_CANVAS},
    {"menuDisplayCanvasInfo", MENU_CANVAS_INFO},
    {"menuPreferences", MENU_PREFERENCES},
    {"menuRestorePens", MENU_RESTORE_PENS},
    {"menuRestorePaper", MENU_RESTORE_PAPER},
    {"menuRestoreLayout", MENU_RESTORE_LAYOUT},
    {"menuRestoreAll", MENU_RESTORE_ALL},
    {"menuToggleOpacity", MENU_TOGGLE_OPACITY},
    {"menuIncreaseOpacity", MENU_INCREASE_OPACITY},
    {"menuDecreaseOpacity", MENU_DECREASE_OPACITY},
    {"menuToggleToolPanel", MENU_TOGGLE_INTERFACE},
    {"menuToolbarLeft", MENU_TOOLBAR_LEFT},
    {"menuToolbarRight", MENU_TOOLBAR_RIGHT},
    {"menuGUIReset", MENU_RESET_LAYOUT},
    {"menuGUIColour", MENU_COLOUR_PANEL},
    {"menuGUIBrushes", MENU_BRUSH_PANEL},
    {"menuGUINavigation", MENU_TOOLBAR},
    {"menuGUIShape", MENU_SHAPE_TOOL},
    {"menuGUIOpacity", MENU_OPACITY_TOOL},
    {"menuGUIUndoRedo", MENU_UNDO_REDO_TOOL},
    {"menuGUILayers", MENU_LAYERS_PANEL},
    {"menuAboutSketch", MENU_ABOUT},
    {"menuHelpTips", MENU_SHORTCUT_KEYS},
    {"menuHelpHelp", MENU_HELP},
    {"menuHelpSupport", MENU_SUPPORT},
    {"menuHelpSamples", MENU_SAMPLES},
};

// Registered so their names exist for bindings and scripts; they have no action.
constexpr const char* INERT_COMMANDS[] = {
    "menuGUIColourSwatches", "menuGUIFrameGuides", "menuHelpSystemInfo", "menuHelpWhatsNew"};

struct PanelItem {
    InterfacePanel panel;
    int32_t id;
};
constexpr PanelItem PANEL_ITEMS[] = {
    {InterfacePanel::Colour, MENU_COLOUR_PANEL},      {InterfacePanel::Brush, MENU_BRUSH_PANEL},
    {InterfacePanel::Toolbar, MENU_TOOLBAR},          {InterfacePanel::ShapeTool, MENU_SHAPE_TOOL},
    {InterfacePanel::OpacityTool, MENU_OPACITY_TOOL}, {InterfacePanel::UndoRedoTool, MENU_UNDO_REDO_TOOL},
    {InterfacePanel::Layers, MENU_LAYERS_PANEL},
};
// The toolbar's sub-tools, greyed while the toolbar is hidden.
constexpr int32_t TOOLBAR_SUB_TOOL_ITEMS[] = {MENU_SHAPE_TOOL, MENU_OPACITY_TOOL, MENU_UNDO_REDO_TOOL};

int32_t itemOf(InterfacePanel panel)
{
    for (const PanelItem& entry : PANEL_ITEMS)
        if (entry.panel == panel) return entry.id;
    return 0;
}

const char* const DEVELOPER_SHORTCUT_LIST =
    "Developer shortcuts:\n"
    "Shift+F1 = undo everything\n"
    "Shift+F2 = redo everything\n"
    "Shift+F3 = redo 10 steps\n"
    "Shift+F4 = this information\n"
    "Shift+F5 = geometry test 1 (1000 strokes)\n"
    "Shift+F6 = geometry test 2 (200 lines)\n"
    "Shift+F7 = geometry test 3 (50 rectangles, 50 ellipses)\n"
    "Shift+F8 = NPR image import\n";

GfxSketchStats statisticsOf(GfxSketch* sketch)
{
    GfxSketchAttributes attributes;
    attributes.flags = GFX_SKETCH_STATS;
    gfxGetSketchAttributes(sketch, &attributes);
    return attributes.stats;
}

// A position inside the client area, drawn with rand as the geometry tests ask.
float randomBelow(int32_t limit) { return limit > 0 ? static_cast<float>(std::rand() % limit) : 0.0f; }

}  // namespace

MenuCommands* menuCommands() { return currentMenuCommands; }
void setMenuCommands(MenuCommands* commands) { currentMenuCommands = commands; }

MenuCommands::MenuCommands(WindowLayer& window) : window_(window) {}

MenuCommands::~MenuCommands()
{
    if (currentMenuCommands == this) currentMenuCommands = nullptr;
}

MenuModel* MenuCommands::menus()
{
    DocumentController* controller = theController();
    return controller ? &controller->windowState().menuBar : nullptr;
}

// ---------------------------------------------------------------------------------------
// [SECTION] Registration
// ---------------------------------------------------------------------------------------

void MenuCommands::buildMenuBar()
{
    DocumentController* controller = theController();
    if (!controller) return;
    MenuModel& model = controller->windowState().menuBar;
    model.onChanged = [this, &model] { window_.setMenuBar(model.bar()); };
    model.build(controller->recentFiles(), controller->recentFileCount());
    opacity_ = std::make_unique<WindowOpacity>(window_, controller->windowState(), model);
}

void MenuCommands::registerCommands(CommandRegistry& registry)
{
    // The handlers reach the commands through the process-wide pointer: the registry
    // outlives any one MenuCommands (tests make several).
    for (const CommandIdentifier& command : MENU_COMMANDS) {
        const int32_t id = command.id;
        registry.registerCommand(command.name, [id](const char*) {
            if (MenuCommands* commands = menuCommands()) commands->dispatch(id);
        });
    }
    for (const char* name : INERT_COMMANDS) registry.registerCommand(name, [](const char*) {});
}

void MenuCommands::updateRecentFileItems()
{
    DocumentController* controller = theController();
    if (!controller) return;
    controller->windowState().menuBar.setRecentFiles(controller->recentFiles(), controller->recentFileCount());
}

// ---------------------------------------------------------------------------------------
// [SECTION] Dispatch
// ---------------------------------------------------------------------------------------

void MenuCommands::dispatch(int32_t id)
{
    DocumentController* controller = theController();
    if (!controller) return;
    // As for any key, an open overlay closes first; the command still runs.
    controller->closeOverlays();

    switch (id) {
    case MENU_NEW_DOCUMENT:
        controller->newDocument();
        controller->setTitle(controller->hasFileName() ? paths::fileNameOf(controller->fileName()) : std::string("Untitled"));
        break;
    case MENU_OPEN_DOCUMENT:
        controller->openDocumentCommand();
        updateRecentFileItems();
        break;
    case MENU_SAVE_DOCUMENT:
        controller->saveCommand();
        updateRecentFileItems();
        break;
    case MENU_SAVE_DOCUMENT_AS:
        controller->saveAsCommand();
        updateRecentFileItems();
        break;
    case MENU_EXIT:
        if (requestExit) requestExit();
        break;
    case MENU_OPEN_RECENT_1:
    case MENU_OPEN_RECENT_1 + 1:
    case MENU_OPEN_RECENT_1 + 2:
    case MENU_OPEN_RECENT_1 + 3:
    case MENU_OPEN_RECENT_1 + 4: openRecent(id - MENU_OPEN_RECENT_1); break;
    case MENU_UNDO: controller->undo(); break;
    case MENU_REDO: controller->redo(); break;
    case MENU_CLEAR_CANVAS: clearCanvas(); break;
    case MENU_RESET_CANVAS_VIEW: controller->resetView(); break;
    case MENU_VIEW_ALL_STROKES: controller->fitAllStrokes(); break;
    case MENU_FLIP_CANVAS_HORIZONTALLY: controller->flipCanvas(true); break;
    case MENU_FLIP_CANVAS_VERTICALLY: controller->flipCanvas(false); break;
    case MENU_NEW_LAYER:
    case MENU_DELETE_LAYER:
    case MENU_FLIP_LAYER_HORIZONTALLY:
    case MENU_FLIP_LAYER_VERTICALLY:
    case MENU_MOVE_LAYER_UP:
    case MENU_MOVE_LAYER_DOWN:
    case MENU_MERGE_LAYER_DOWN: runLayerMenuItem(*controller, id); break;
    // ---- selection (Selection.h) ----
    case MENU_SAVE_SELECTION:
    case MENU_IMPORT_IMAGE:
    case MENU_DESELECT:
    case MENU_CUT_SELECTION:
    case MENU_COPY_SELECTION:
    case MENU_PASTE_SELECTION:
    case MENU_TRANSFORM_SELECTION:
        runSelectionMenuItem(*controller, id);
        if (id == MENU_SAVE_SELECTION) updateRecentFileItems();
        break;
    case MENU_RESTORE_PENS: restoreDefaults(DEFAULTS_PENS); break;
    case MENU_RESTORE_PAPER: restoreDefaults(DEFAULTS_PAPER); break;
    case MENU_RESTORE_LAYOUT:
        restoreDefaults(DEFAULTS_LAYOUT);
        if (!panels_->interfaceShown()) toggleInterface();
        updateCheckMarks();
        break;
    case MENU_RESTORE_ALL:
        restoreDefaults(DEFAULTS_ALL);
        updateCheckMarks();
        break;
    case MENU_CANVAS_INFO: showCanvasInfo(); break;
    case MENU_SHORTCUT_LIST:
    case MENU_SHORTCUT_KEYS: showShortcutSheet(); break;
    case MENU_TOGGLE_OPACITY:
        if (opacity_) opacity_->toggle();
        break;
    case MENU_INCREASE_OPACITY:
        if (opacity_) opacity_->increase();
        break;
    case MENU_DECREASE_OPACITY:
        if (opacity_) opacity_->decrease();
        break;
    case MENU_TOGGLE_INTERFACE: toggleInterface(); break;
    case MENU_TOOLBAR_LEFT: setToolbarSide(false); break;
    case MENU_TOOLBAR_RIGHT: setToolbarSide(true); break;
    case MENU_RESET_LAYOUT: resetLayout(); break;
    case MENU_COLOUR_PANEL: togglePanel(InterfacePanel::Colour); break;
    case MENU_BRUSH_PANEL: togglePanel(InterfacePanel::Brush); break;
    case MENU_TOOLBAR: togglePanel(InterfacePanel::Toolbar); break;
    case MENU_SHAPE_TOOL: togglePanel(InterfacePanel::ShapeTool); break;
    case MENU_OPACITY_TOOL: togglePanel(InterfacePanel::OpacityTool); break;
    case MENU_UNDO_REDO_TOOL: togglePanel(InterfacePanel::UndoRedoTool); break;
    case MENU_LAYERS_PANEL: togglePanel(InterfacePanel::Layers); break;
    case MENU_ABOUT: showAbout(); break;
    case MENU_HELP: window_.openWebAddress(userGuideAddress_); break;
    case MENU_SUPPORT: window_.openWebAddress(SUPPORT_ADDRESS); break;
    case MENU_SAMPLES: window_.openWebAddress(SAMPLES_ADDRESS); break;
    default: break;  // no action: nothing happens
    }
}

void MenuCommands::openRecent(int index)
{
    DocumentController* controller = theController();
    // The greyed entries hold no file; a posted identifier for one does nothing either.
    if (!controller || index < 0 || index >= controller->recentFileCount()) return;
    controller->openRecentCommand(index);
    updateRecentFileItems();
}

void MenuCommands::showContextMenu(int32_t x, int32_t y)
{
    MenuModel* model = menus();
    if (!model || !model->isBuilt()) return;
    window_.showPopupMenu(model->popup(), x, y);
}

// ---------------------------------------------------------------------------------------
// [SECTION] Interface and check marks
// ---------------------------------------------------------------------------------------

void MenuCommands::setInterfacePanels(InterfacePanels* panels) { panels_ = panels ? panels : &panelRecord_; }

void MenuCommands::toggleInterface()
{
    const bool shown = !panels_->interfaceShown();
    panels_->setInterfaceShown(shown);
    if (MenuModel* model = menus()) model->setCaption(MENU_TOGGLE_INTERFACE, shown ? CAPTION_HIDE_INTERFACE : CAPTION_SHOW_INTERFACE);
    window_.postRedisplay();
}

void MenuCommands::togglePanel(InterfacePanel panel)
{
    panels_->setPanelShown(panel, !panels_->panelShown(panel));
    updateCheckMark(panel);
    window_.postRedisplay();
}

void MenuCommands::setToolbarSide(bool right)
{
    DocumentController* controller = theController();
    if (!controller) return;
    controller->interfaceState().toolbarOnRight = right;
    if (panels_->laidOut()) panels_->layOut();
    window_.postRedisplay();
    if (MenuModel* model = menus()) {
        const int32_t from = right ? MENU_TOOLBAR_RIGHT : MENU_TOOLBAR_LEFT;
        const int32_t to = right ? MENU_TOOLBAR_LEFT : MENU_TOOLBAR_RIGHT;
        model->replaceItem(from, to, CAPTION_SWITCH_LAYOUT);
    }
}

void MenuCommands::resetLayout()
{
    restoreDefaults(DEFAULTS_LAYOUT);
    updateCheckMarks();
}

void MenuCommands::updateCheckMark(InterfacePanel panel)
{
    MenuModel* model = menus();
    if (!model) return;
    const bool shown = panels_->panelShown(panel);
    model->setChecked(itemOf(panel), shown);
    if (panel == InterfacePanel::Toolbar) {
        for (int32_t id : TOOLBAR_SUB_TOOL_ITEMS) model->setEnabled(id, shown);
    }
}

void MenuCommands::updateCheckMarks()
{
    for (const PanelItem& entry : PANEL_ITEMS) updateCheckMark(entry.panel);
}

// ---------------------------------------------------------------------------------------
// [SECTION] Restore defaults
// ---------------------------------------------------------------------------------------

void MenuCommands::addDefaultsListener(DefaultsListener listener) { defaultsListeners_.push_back(std::move(listener)); }

void MenuCommands::restoreControllerDefaults(DocumentController& controller)
{
    controller.setPenScaleWithZoom(false);
    // A transform in progress is committed rather than dropped: its element is already
    // open in the engine, and an element left open would refuse every later change.
    controller.finishInteraction();
    controller.tools().marquee = Marquee{};
    // The engine's defaults for the pen and the paper; the smoothing level and the
    // current layer are the controller's, not user settings.
    const GfxSketchAttributes defaults;
    GfxSketchAttributes attributes = defaults;
    attributes.flags = GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TEXTURE_STRENGTH |
                       GFX_SKETCH_PAPER_TINT | GFX_SKETCH_PAPER_MULTI_SCALE | GFX_SKETCH_PEN_TYPE |
                       GFX_SKETCH_PEN_COLOUR | GFX_SKETCH_PEN_NOISE | GFX_SKETCH_PEN_WIDTH |
                       GFX_SKETCH_PEN_WIDTH_SENSITIVITY | GFX_SKETCH_PEN_OPACITY |
                       GFX_SKETCH_PEN_OPACITY_SENSITIVITY | GFX_SKETCH_ERASE_MODE | GFX_SKETCH_WIDTH_SCALE;
    gfxSetSketchAttributes(controller.canvas(), &attributes);
    controller.checkEngine();
    // The default pen and eraser presets, the pen in use, with the brush tool.
    ToolState& tools = controller.tools();
    tools.eraserPresetId = DEFAULT_ERASER_PRESET_ID;
    tools.eraser = defaultEraserPreset();
    controller.selectPreset(DEFAULT_PEN_PRESET_ID, defaultPenPreset());
    controller.applyDefaultPaper();
    controller.setTool(TOOL_BRUSH, false);
    // The system cursor, shown.
    MainWindowState& state = controller.windowState();
    state.showCursor = true;
    state.cursorMode = static_cast<int32_t>(CursorKind::Arrow);
    state.currentCursorMode = state.cursorMode;
    controller.setToolCursor();
    panels_->restoreDefaultVisibility();
    controller.markChanged();
}

void MenuCommands::restoreDefaults(int32_t kind)
{
    DocumentController* controller = theController();
    if (!controller) return;
    if (kind == DEFAULTS_ALL) restoreControllerDefaults(*controller);
    // Two passes, so every listener has restored before any reacts to the others.
    // Copies: a listener may register another while it runs.
    const std::vector<DefaultsListener> listeners = defaultsListeners_;
    for (const DefaultsListener& listener : listeners) listener(kind, DefaultsPhase::Restore);
    for (const DefaultsListener& listener : listeners) listener(kind, DefaultsPhase::AfterRestore);
    // Until the panels exist their switches are the layout the defaults bring back.
    if (panels_ == &panelRecord_ && kind == DEFAULTS_LAYOUT) panelRecord_.restoreDefaultVisibility();
    if (kind == DEFAULTS_LAYOUT || kind == DEFAULTS_ALL) panels_->layOut();
    controller->requestRedraw();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Canvas commands and boxes
// ---------------------------------------------------------------------------------------

void MenuCommands::afterCanvasChange(DocumentController& controller)
{
    controller.checkEngine();
    controller.markChanged();
    controller.interfaceState().layersChanged = true;
    controller.requestRedraw();
}

void MenuCommands::clearCanvas()
{
    DocumentController* controller = theController();
    if (!controller) return;
    controller->finishInteraction();
    gfxClearCanvas(controller->canvas());
    afterCanvasChange(*controller);
}

void MenuCommands::showCanvasInfo()
{
    DocumentController* controller = theController();
    if (!controller) return;
    const GfxSketchStats stats = statisticsOf(controller->canvas());
    char text[256];
    std::snprintf(text, sizeof text, "Canvas Data:\n\nNumber of strokes in canvas = %d \nCanvas system memory in use = %lld \n",
                  static_cast<int>(stats.strokeCount), static_cast<long long>(stats.memoryInUse));
    showMessage(controller, text, "Canvas Info", MESSAGE_PLAIN);
}

void MenuCommands::showImage(const char* title, const char* picture)
{
    DocumentController* controller = theController();
    window_.setCursor(SystemCursor::Arrow);
    window_.showImageDialog(title, picture);
    if (controller) controller->restoreToolCursor();
    // The end of a modal dialog shows the canvas at once.
    window_.drawFrameNow();
}

void MenuCommands::showShortcutSheet() { showImage("Shortcut Keys", SHORTCUT_SHEET_PICTURE); }

void MenuCommands::showAbout() { showImage("About Vellumin", ABOUT_PICTURE); }

// ---------------------------------------------------------------------------------------
// [SECTION] Developer shortcuts
// ---------------------------------------------------------------------------------------

std::string MenuCommands::developerInformation(GfxSketch* sketch, const char* glVersion)
{
    const GfxSketchStats stats = statisticsOf(sketch);
    char text[1024];
    std::snprintf(text, sizeof text,
                  "Canvas Data:\n\nBuild number = %s \nOpenGL version number = %s \nNumber of strokes in canvas = %d "
                  "\nCanvas system memory in use = %lld \nTotal canvas system memory allocated = %lld \nCanvas GPU "
                  "memory in use = %lld \nTotal canvas GPU memory allocated = %lld \nCanvas bounding box = (%.2f, "
                  "%.2f) to (%.2f, %.2f) \n\n\n",
                  DEVELOPER_BUILD_NUMBER, glVersion ? glVersion : "", static_cast<int>(stats.strokeCount),
                  static_cast<long long>(stats.memoryInUse), static_cast<long long>(stats.memoryAllocated),
                  static_cast<long long>(stats.gpuMemoryInUse), static_cast<long long>(stats.gpuMemoryAllocated),
                  static_cast<double>(stats.bounds[0]), static_cast<double>(stats.bounds[1]),
                  static_cast<double>(stats.bounds[0] + stats.bounds[2]),
                  static_cast<double>(stats.bounds[1] + stats.bounds[3]));
    return std::string(text) + DEVELOPER_SHORTCUT_LIST;
}

bool MenuCommands::developerShortcut(int32_t key)
{
    DocumentController* controller = theController();
    if (!controller || key < DEVELOPER_KEY_INFORMATION || key > DEVELOPER_KEY_IMPORT) return false;
    switch (key) {
    case DEVELOPER_KEY_INFORMATION: {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        showMessage(controller, developerInformation(controller->canvas(), version), "Developer Information",
                    MESSAGE_PLAIN);
        break;
    }
    case 5:
    case 6:
    case 7: geometryTest(key - 4); break;
    case DEVELOPER_KEY_IMPORT:
        window_.setCursor(SystemCursor::Busy);
        importImageFromDialog(*controller);
        window_.drawFrameNow();
        controller->restoreToolCursor();
        break;
    }
    return true;
}

void MenuCommands::geometryTest(int number)
{
    DocumentController* controller = theController();
    controller->finishInteraction();
    GfxSketch* sketch = controller->canvas();
    const int32_t width = controller->windowState().clientWidth;
    const int32_t height = controller->windowState().clientHeight;
    auto addElement = [&](const GfxElementInput& begin, const GfxElementInput& extend) {
        gfxBeginElement(sketch, &begin);
        controller->checkEngine();
        gfxExtendElement(sketch, &extend);
        controller->checkEngine();
        GfxElementInput end;
        end.kind = begin.kind;
        gfxEndElement(sketch, &end);
        controller->checkEngine();
    };
    if (number == 1) {
        // Short scribbles: a start and seven steps of a random walk.
        for (int stroke = 0; stroke < GEOMETRY_TEST_1_STROKES; ++stroke) {
            GfxSample samples[8];
            samples[0] = {randomBelow(width), randomBelow(height), 1.0f};
            for (int i = 1; i < 8; ++i) {
                samples[i] = {samples[i - 1].x + randomBelow(21) - 10.0f, samples[i - 1].y + randomBelow(21) - 10.0f,
                              0.5f + randomBelow(51) / 100.0f};
            }
            GfxElementInput begin;
            begin.kind = GFX_ELEMENT_FREEHAND;
            begin.sampleCount = 1;
            begin.samples = samples;
            GfxElementInput extend = begin;
            extend.sampleCount = 7;
            extend.samples = samples + 1;
            addElement(begin, extend);
        }
    } else if (number == 2) {
        for (int line = 0; line < GEOMETRY_TEST_2_LINES; ++line) {
            const GfxSample start{randomBelow(width), randomBelow(height), 1.0f};
            const GfxSample end{randomBelow(width), randomBelow(height), 1.0f};
            GfxElementInput begin;
            begin.kind = GFX_ELEMENT_LINE;
            begin.sampleCount = 1;
            begin.samples = &start;
            GfxElementInput extend = begin;
            extend.samples = &end;
            addElement(begin, extend);
        }
    } else {
        for (int shape = 0; shape < GEOMETRY_TEST_3_SHAPES; ++shape) {
            GfxElementInput input;
            input.kind = shape % 2 == 0 ? GFX_ELEMENT_RECTANGLE : GFX_ELEMENT_ELLIPSE;
            input.rect[0] = randomBelow(width);
            input.rect[1] = randomBelow(height);
            input.rect[2] = 10.0f + randomBelow(width / 4);
            input.rect[3] = 10.0f + randomBelow(height / 4);
            input.angle = randomBelow(360);
            addElement(input, input);
        }
    }
    afterCanvasChange(*controller);
}
