#include "ToolCommands.h"

#include "CommandRegistry.h"
#include "DocumentController.h"

#include <string>

namespace {

using Action = void (*)(DocumentController&);

struct ToolCommand {
    const char* name;
    Action action;
};

// The temporary tools belong to Space: the key's release ends them.
void startWithSpace(DocumentController& c, int32_t tool)
{
    c.tools().spaceHeld = true;
    c.startTemporaryTool(tool, TemporaryKey::Space);
}

// In the order of the menu bar's command table.
const ToolCommand kToolCommands[] = {
    {"menuUndo", [](DocumentController& c) { c.undo(); }},
    {"menuRedo", [](DocumentController& c) { c.redo(); }},
    {"menuResetCanvasTransform", [](DocumentController& c) { c.resetView(); }},
    {"menuCenterAndScale", [](DocumentController& c) { c.fitAllStrokes(); }},
    {"menuFlipCanvasHorizontally", [](DocumentController& c) { c.flipCanvas(true); }},
    {"menuFlipCanvasVertically", [](DocumentController& c) { c.flipCanvas(false); }},
    {"hotkeyToggleCursor", [](DocumentController& c) { c.toggleCursor(); }},
    {"hotkeyPenScaleWithZoomOn", [](DocumentController& c) { c.setPenScaleWithZoom(true); }},
    {"hotkeyPenScaleWithZoomOff", [](DocumentController& c) { c.setPenScaleWithZoom(false); }},
    {"hotkeyEraser", [](DocumentController& c) { c.chooseEraser(); }},
    {"hotkeyPen", [](DocumentController& c) { c.choosePen(); }},
    {"hotkeyColorPicker", [](DocumentController& c) { c.setTool(TOOL_COLOUR_PICKER, true); }},
    {"hotkeyShape", [](DocumentController& c) { c.chooseShapeTool(); }},
    {"hotkeyMarquee", [](DocumentController& c) { c.setTool(TOOL_MARQUEE, true); }},
    {"hotkeyPan", [](DocumentController& c) { c.setTool(panToolFor(c.tool()), true); }},
    {"hotkeyZoom", [](DocumentController& c) { c.setTool(zoomToolFor(c.tool()), true); }},
    {"hotkeyRotate", [](DocumentController& c) { c.setTool(rotateToolFor(c.tool()), true); }},
    {"hotkeyDecreasePenWidth", [](DocumentController& c) { c.stepPenWidth(-1); }},
    {"hotkeyIncreasePenWidth", [](DocumentController& c) { c.stepPenWidth(1); }},
    {"hotkeyDecreasePenWidthAlt", [](DocumentController& c) { c.stepPenWidth(-1); }},
    {"hotkeyIncreasePenWidthAlt", [](DocumentController& c) { c.stepPenWidth(1); }},
    {"hotkeyDecreasePenOpacity", [](DocumentController& c) { c.stepPenOpacity(-PEN_OPACITY_STEP); }},
    {"hotkeyIncreasePenOpacity", [](DocumentController& c) { c.stepPenOpacity(PEN_OPACITY_STEP); }},
    {"hotkeyDecreasePenOpacityAlt", [](DocumentController& c) { c.stepPenOpacity(-PEN_OPACITY_STEP); }},
    {"hotkeyIncreasePenOpacityAlt", [](DocumentController& c) { c.stepPenOpacity(PEN_OPACITY_STEP); }},
    {"hotkeyDiscreteScaleUp", [](DocumentController& c) { c.viewStep(VIEW_STEP_SCALE_UP); }},
    {"hotkeyDiscreteScaleUpAlt", [](DocumentController& c) { c.viewStep(VIEW_STEP_SCALE_UP); }},
    {"hotkeyDiscreteScaleDown", [](DocumentController& c) { c.viewStep(VIEW_STEP_SCALE_DOWN); }},
    {"hotkeyStartPan", [](DocumentController& c) { startWithSpace(c, panToolFor(c.tool())); }},
    {"hotkeyStartRotate", [](DocumentController& c) { startWithSpace(c, rotateToolFor(c.tool())); }},
    {"hotkeyStartZoom", [](DocumentController& c) { startWithSpace(c, zoomToolFor(c.tool())); }},
};

CommandHandler onController(Action action)
{
    return [action](const char*) {
        if (DocumentController* controller = theController()) action(*controller);
    };
}

}  // namespace

void registerToolCommands(CommandRegistry& registry)
{
    for (const ToolCommand& command : kToolCommands) registry.registerCommand(command.name, onController(command.action));
    for (int32_t digit = 0; digit <= 9; ++digit) {
        registry.registerCommand("hotkeyPenOpacity" + std::to_string(digit), [digit](const char*) {
            if (DocumentController* controller = theController()) controller->setPenOpacityDigit(digit);
        });
    }
}
