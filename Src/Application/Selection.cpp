// Selection: the marquee's operations, the handles of the open rectangle, the overlay.
//
// [SECTION] Helpers
// [SECTION] Copy, cut, paste
// [SECTION] Lifting the selection, deselecting
// [SECTION] Saving the selection
// [SECTION] The open rectangle's handles
// [SECTION] Overlay
// [SECTION] Commands
#include "Selection.h"

#include "ArtFile.h"
#include "CommandRegistry.h"
#include "DocumentController.h"
#include "ErrorMessages.h"
#include "Fatal.h"
#include "ImageImport.h"
#include "LayerOperations.h"

#include <GL/glew.h>

#include <cmath>

namespace {

enum : int32_t {
    MENU_SAVE_SELECTION = 10006,
    MENU_IMPORT_IMAGE = 10008,
    MENU_DESELECT_SELECTION = 10028,
    MENU_CUT_SELECTION = 10029,
    MENU_COPY_SELECTION = 10030,
    MENU_PASTE_SELECTION = 10031,
    MENU_TRANSFORM_SELECTION = 10032,
};

constexpr int32_t kSelectionFileFormat = 0;  // this program always writes blob format 0
constexpr const char* kArtFilter = "Vellumin Art Files (*.art)";
constexpr uint16_t kWhiteDashes = 0x00FF;
constexpr uint16_t kBlackDashes = 0xFF00;

// ---------------------------------------------------------------------------------------
// [SECTION] Helpers
// ---------------------------------------------------------------------------------------
void warn(DocumentController& controller, const char* text)
{
    showMessage(&controller, text, "Warning", MESSAGE_WARNING);
}

// Copy, paste and lifting show the busy cursor and draw their result at once.
class BusyCursor {
public:
    explicit BusyCursor(DocumentController& controller) : controller_(controller)
    {
        controller_.window().setCursor(CursorKind::Busy);
    }
    ~BusyCursor()
    {
        controller_.window().drawFrameNow();
        controller_.restoreToolCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    DocumentController& controller_;
};

bool clipboardHoldsLayer(DocumentController& controller)
{
    GfxSystemAttributes system;
    system.flags = GFX_SYSTEM_CLIPBOARD_VALID;
    gfxGetSystemAttributes(controller.engine(), &system);
    return system.clipboardValid != 0;
}

void viewportOf(DocumentController& controller, float viewport[4])
{
    viewport[0] = viewport[1] = viewport[2] = viewport[3] = 0;
    gfxGetViewport(controller.canvas(), viewport);
}

// The operations on the marquee need one shown, and nothing open: the engine refuses
// to copy, cut or write while an element (an open square, circle or image) is open.
// With no marquee nothing is finished, so a floating selection stays as it is.
bool finishForMarquee(DocumentController& controller)
{
    if (!controller.tools().marquee.shown) return false;
    controller.finishInteraction();  // keeps a marquee that is not being dragged
    return controller.tools().marquee.shown;
}

void storeTransformRect(TransformInProgress& transform, const TransformRect& rect)
{
    transform.centreX = rect.centreX;
    transform.centreY = rect.centreY;
    transform.width = rect.width;
    transform.height = rect.height;
    transform.angle = rect.angle;
}

void showHandleCursor(DocumentController& controller, int32_t handle, const GfxSample& sample)
{
    const TransformRect rect = transformRectOf(controller.tools().transform);
    const CursorKind cursor = handleCursor(handle, rect, sample.x, sample.y, controller.windowState().showCursor);
    controller.windowState().cursor = cursor;
    controller.window().setCursor(cursor);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// [SECTION] Copy, cut, paste
// ---------------------------------------------------------------------------------------
void copySelection(DocumentController& controller)
{
    if (!finishForMarquee(controller)) return;
    const Marquee marquee = controller.tools().marquee;
    if (refuseHiddenCurrentLayer(controller)) return;
    BusyCursor busy(controller);
    const int32_t copied =
        gfxCopyRegion(controller.canvas(), marquee.x, marquee.y, marquee.width, marquee.height);
    controller.checkEngine();
    if (!copied) {
        warn(controller, kSelectionRectangleEmptyMessage);
        return;
    }
    controller.tools().copied = marquee;
}

void cutSelection(DocumentController& controller)
{
    if (!finishForMarquee(controller)) return;
    const Marquee marquee = controller.tools().marquee;
    if (marquee.width == 0 || marquee.height == 0) return;
    if (refuseHiddenCurrentLayer(controller)) return;
    const int32_t cut = gfxCutRegion(controller.canvas(), marquee.x, marquee.y, marquee.width, marquee.height);
    controller.checkEngine();
    // Nothing cut leaves the clipboard as it was: the copied rectangle must keep
    // describing it, or the next paste would be centred on the wrong size.
    if (!cut) {
        warn(controller, kSelectionRectangleEmptyMessage);
        return;
    }
    controller.tools().marquee = Marquee{};
    controller.markChanged();
    controller.tools().copied = marquee;
    controller.requestRedraw();
}

void pasteSelection(DocumentController& controller)
{
    controller.finishInteraction();
    if (!clipboardHoldsLayer(controller)) {
        warn(controller, kSelectionBufferEmptyMessage);
        return;
    }
    if (layerCount(controller) >= kMaxLayers) {
        warn(controller, kLayerLimitMessage);
        return;
    }
    BusyCursor busy(controller);
    if (!newLayer(controller)) return;
    float viewport[4];
    viewportOf(controller, viewport);
    const Marquee& copied = controller.tools().copied;
    // The copied rectangle's corner goes where its centre lands in the middle of the window.
    gfxPasteClipboard(controller.canvas(), viewport[0] + (viewport[2] - copied.width) / 2,
                      viewport[1] + (viewport[3] - copied.height) / 2);
    controller.checkEngine();
    controller.tools().marquee = Marquee{};
    controller.markChanged();
    controller.setTool(TOOL_PAN_LAYER, false);  // so the pasted layer can be dragged
}

// ---------------------------------------------------------------------------------------
// [SECTION] Lifting the selection, deselecting
// ---------------------------------------------------------------------------------------
void transformSelection(DocumentController& controller)
{
    if (!finishForMarquee(controller)) return;
    const Marquee marquee = controller.tools().marquee;
    if (refuseHiddenCurrentLayer(controller)) return;
    BusyCursor busy(controller);
    // Lifted in place: the paste's corner is the marquee's own.
    const int32_t lifted = gfxLiftRegion(controller.canvas(), marquee.x, marquee.y, marquee.width, marquee.height,
                                         marquee.x, marquee.y);
    if (!lifted) {
        controller.checkEngine();
        warn(controller, kSelectionRegionEmptyMessage);
        return;
    }
    controller.tools().marquee = Marquee{};
    controller.setTool(TOOL_TRANSFORM_SELECTION, false);  // remembers the tool to return to
    TransformInProgress transform;
    transform.active = true;
    transform.selection = true;
    transform.centreX = marquee.x + marquee.width / 2;
    transform.centreY = marquee.y + marquee.height / 2;
    transform.width = marquee.width;
    transform.height = marquee.height;
    transform.angle = 0;
    controller.tools().transform = transform;
    controller.markChanged();
}

void deselect(DocumentController& controller)
{
    controller.tools().marquee = Marquee{};
    controller.finishInteraction();  // commits the selection or ends the shape or image
    controller.requestRedraw();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Saving the selection
// ---------------------------------------------------------------------------------------
namespace {

std::string chooseSelectionPath(DocumentController& controller)
{
    FileDialogRequest request;
    request.title = "Save Canvas Selection As";
    request.filter = kArtFilter;
    request.defaultExtension = "art";
    controller.window().setCursor(CursorKind::Arrow);
    std::string path = controller.window().chooseSavePath(request);
    controller.restoreToolCursor();
    return path;
}

}  // namespace

void saveSelection(DocumentController& controller)
{
    const bool shown = finishForMarquee(controller);
    const Marquee marquee = controller.tools().marquee;
    if (!shown || marquee.width == 0 || marquee.height == 0) {
        warn(controller, kSaveSelectionEmptyMessage);
        return;
    }
    if (!controller.pins().pins.empty()) showMessage(&controller, kSaveSelectionPinsNotice, "Info", MESSAGE_PLAIN);
    const std::string path = chooseSelectionPath(controller);
    if (path.empty()) return;

    controller.window().setCursor(CursorKind::Busy);
    // The engine walks every layer to write the region and leaves the top one current:
    // the user's current layer comes back afterwards.
    const int32_t current = currentLayerPosition(controller);
    ArtSketchSource source(controller.canvas());
    const ArtHeader header = controller.fileHeader(false);
    const ArtRegion region{marquee.x, marquee.y, marquee.width, marquee.height};
    const int32_t code = writeArtFile(&source, &header, &region, path, kSelectionFileFormat);
    GfxSketchAttributes restore;
    restore.flags = GFX_SKETCH_CURRENT_LAYER;
    restore.currentLayer = current;
    gfxSetSketchAttributes(controller.canvas(), &restore);
    if (code != ART_OK) {
        // As for a document save: the file at the path is untouched and nothing of the
        // canvas is lost, so the user is told and may try elsewhere.
        controller.restoreToolCursor();
        showMessage(&controller, messageFor(code), "Warning", MESSAGE_WARNING);
        return;
    }
    // Writing the region went through the clipboard, which now holds the top layer's
    // part of the marquee: a paste must be centred on that rectangle.
    controller.tools().copied = marquee;
    controller.addRecentFile(path);
    controller.window().drawFrameNow();
    controller.restoreToolCursor();
}

// ---------------------------------------------------------------------------------------
// [SECTION] The open rectangle's handles
// ---------------------------------------------------------------------------------------
TransformRect transformRectOf(const TransformInProgress& transform)
{
    return TransformRect{transform.centreX, transform.centreY, transform.width, transform.height, transform.angle};
}

bool pressTransformHandle(DocumentController& controller, const GfxSample& sample, int32_t interaction)
{
    ToolState& tools = controller.tools();
    if (!tools.transform.active) return false;
    const TransformRect rect = transformRectOf(tools.transform);
    const int32_t handle = hitHandle(rect, sample.x, sample.y);
    tools.handleUnderPointer = handle;
    if (handle == HANDLE_NONE) return false;
    tools.handleDrag = beginHandleDrag(rect, handle, sample.x, sample.y);
    tools.interaction = interaction;
    return true;
}

void sendTransform(DocumentController& controller)
{
    const TransformInProgress& t = controller.tools().transform;
    if (!t.active) return;
    if (t.selection) {
        const GfxPastePlacement placement{t.centreX, t.centreY, t.width, t.height, t.angle};
        gfxUpdatePaste(controller.canvas(), &placement);
    } else {
        GfxElementInput input;
        input.kind = t.elementKind;
        input.rect[0] = t.centreX;
        input.rect[1] = t.centreY;
        input.rect[2] = t.width;
        input.rect[3] = t.height;
        input.angle = t.angle;
        gfxExtendElement(controller.canvas(), &input);
    }
    controller.checkEngine();
}

void dragTransformHandle(DocumentController& controller, int32_t modifiers, const GfxSample& sample)
{
    ToolState& tools = controller.tools();
    if (!tools.handleDrag.active || !tools.transform.active) return;
    const bool shift = (modifiers & POINTER_MODIFIER_SHIFT) != 0;
    storeTransformRect(tools.transform, dragHandle(tools.handleDrag, shift, sample.x, sample.y));
    sendTransform(controller);
    if (tools.handleDrag.handle == HANDLE_ROTATE) return;  // the rotate cursor stays while turning
    const int32_t handle = hitHandle(transformRectOf(tools.transform), sample.x, sample.y);
    tools.handleUnderPointer = handle;
    showHandleCursor(controller, handle, sample);
}

void endTransformHandleDrag(DocumentController& controller, int32_t modifiers, const GfxSample& sample)
{
    dragTransformHandle(controller, modifiers, sample);
    controller.tools().handleDrag = HandleDrag{};
}

void hoverTransform(DocumentController& controller, const GfxSample& sample)
{
    ToolState& tools = controller.tools();
    if (!tools.transform.active) return;
    const int32_t handle = hitHandle(transformRectOf(tools.transform), sample.x, sample.y);
    tools.handleUnderPointer = handle;
    showHandleCursor(controller, handle, sample);
}

// ---------------------------------------------------------------------------------------
// [SECTION] Overlay
// ---------------------------------------------------------------------------------------
namespace {

// One closed outline through `corners` (x, y pairs), white dashes then black ones in
// the gaps, so it shows on any canvas.
void drawDashedLoop(const float* corners, int count)
{
    const float colours[2][3] = {{1, 1, 1}, {0, 0, 0}};
    const uint16_t patterns[2] = {kWhiteDashes, kBlackDashes};
    for (int pass = 0; pass < 2; ++pass) {
        glLineStipple(1, patterns[pass]);
        glColor3fv(colours[pass]);
        glBegin(GL_LINE_LOOP);
        for (int i = 0; i < count; ++i) glVertex2f(corners[2 * i], corners[2 * i + 1]);
        glEnd();
    }
}

void drawMarquee(const Marquee& m)
{
    // Half a pixel outside the selected pixels, so the outline runs just around them.
    const float x0 = m.x - 0.5f, y0 = m.y - 0.5f;
    const float x1 = m.x + m.width + 0.5f, y1 = m.y + m.height + 0.5f;
    const float corners[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    drawDashedLoop(corners, 4);
}

// The open rectangle turned by its angle, so the user sees where the handles are.
void drawTransformFrame(const TransformRect& rect)
{
    const float c = std::cos(rect.angle * RADIANS_PER_DEGREE);
    const float s = std::sin(rect.angle * RADIANS_PER_DEGREE);
    const float hw = rect.width / 2, hh = rect.height / 2;
    const float local[8] = {-hw, -hh, hw, -hh, hw, hh, -hw, hh};
    float corners[8];
    for (int i = 0; i < 4; ++i) {
        corners[2 * i] = rect.centreX + c * local[2 * i] - s * local[2 * i + 1];
        corners[2 * i + 1] = rect.centreY + s * local[2 * i] + c * local[2 * i + 1];
    }
    drawDashedLoop(corners, 4);
}

}  // namespace

void drawSelectionOverlay(DocumentController& controller)
{
    const ToolState& tools = controller.tools();
    if (!tools.marquee.shown && !tools.transform.active) return;
    float viewport[4];
    viewportOf(controller, viewport);
    if (viewport[2] <= 0 || viewport[3] <= 0) return;

    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT | GL_VIEWPORT_BIT | GL_TRANSFORM_BIT);
    glViewport(static_cast<GLint>(viewport[0]), static_cast<GLint>(viewport[1]), static_cast<GLsizei>(viewport[2]),
               static_cast<GLsizei>(viewport[3]));
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    glEnable(GL_LINE_STIPPLE);
    glLineWidth(1.0f);

    if (tools.marquee.shown) drawMarquee(tools.marquee);
    if (tools.transform.active) drawTransformFrame(transformRectOf(tools.transform));
    // The size label beside the marquee being dragged comes with the interface's text.

    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Commands
// ---------------------------------------------------------------------------------------
namespace {

using Action = void (*)(DocumentController&);

struct SelectionCommand {
    const char* name;
    int32_t identifier;
    Action action;
};

const SelectionCommand kSelectionCommands[] = {
    {"menuImportImage", MENU_IMPORT_IMAGE, importImageFromDialog},
    {"menuDeselectSelection", MENU_DESELECT_SELECTION, deselect},
    {"menuCutSelection", MENU_CUT_SELECTION, cutSelection},
    {"menuCopySelection", MENU_COPY_SELECTION, copySelection},
    {"menuPasteSelection", MENU_PASTE_SELECTION, pasteSelection},
    {"menuTransformSelection", MENU_TRANSFORM_SELECTION, transformSelection},
    {nullptr, MENU_SAVE_SELECTION, saveSelection},  // a menu item only: no command name
};

}  // namespace

bool runSelectionMenuItem(DocumentController& controller, int32_t identifier)
{
    for (const SelectionCommand& command : kSelectionCommands) {
        if (command.identifier != identifier) continue;
        command.action(controller);
        return true;
    }
    return false;
}

void registerSelectionCommands(CommandRegistry& registry)
{
    for (const SelectionCommand& command : kSelectionCommands) {
        if (!command.name) continue;
        const Action action = command.action;
        registry.registerCommand(command.name, [action](const char*) {
            if (DocumentController* controller = theController()) action(*controller);
        });
    }
}
