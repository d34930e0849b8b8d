#include "ShortcutSheet.h"

#include "KeyBindings.h"

#include <set>
#include <string_view>

namespace {

struct RowSpec {
    const char* description;
    std::vector<const char*> commands;
    bool range = false;  // shown as "first … last" instead of every key
};

struct GroupSpec {
    const char* title;
    std::vector<RowSpec> rows;
};

// IMPORTANT: every command the default table binds needs a row (or an entry in
// NOT_ON_SHEET); the build stops otherwise.
const std::vector<GroupSpec>& sheetGroups()
{
    static const std::vector<GroupSpec> groups = {
        {"File",
         {{"New canvas", {"menuNewDocument"}},
          {"Open", {"menuOpenDocument"}},
          {"Save", {"menuSaveDocument"}},
          {"Save as", {"menuSaveDocumentAs"}},
          {"Import image", {"menuImportImage"}},
          {"Export image", {"menuExport"}},
          {"Exit", {"menuExit"}}}},
        {"Edit",
         {{"Undo", {"menuUndo"}},
          {"Redo", {"menuRedo"}},
          {"Preferences", {"menuPreferences"}}}},
        {"View",
         {{"Reset canvas view", {"menuResetCanvasTransform"}},
          {"View all strokes", {"menuCenterAndScale"}},
          {"Flip canvas horizontally", {"menuFlipCanvasHorizontally"}},
          {"Flip canvas vertically", {"menuFlipCanvasVertically"}},
          {"Zoom in", {"hotkeyDiscreteScaleUp", "hotkeyDiscreteScaleUpAlt"}},
          {"Zoom out", {"hotkeyDiscreteScaleDown"}},
          {"Pan while held", {"hotkeyStartPan"}},
          {"Rotate while held", {"hotkeyStartRotate"}},
          {"Zoom while held", {"hotkeyStartZoom"}}}},
        {"Tools",
         {{"Brush", {"hotkeyPen"}},
          {"Eraser", {"hotkeyEraser"}},
          {"Color picker", {"hotkeyColorPicker"}},
          {"Pan tool", {"hotkeyPan"}},
          {"Zoom tool", {"hotkeyZoom"}},
          {"Rotate tool", {"hotkeyRotate"}},
          {"Pen scales with zoom", {"hotkeyPenScaleWithZoomOn"}},
          {"Pen keeps its size", {"hotkeyPenScaleWithZoomOff"}}}},
        {"Pen",
         {{"Thinner pen", {"hotkeyDecreasePenWidth", "hotkeyDecreasePenWidthAlt"}},
          {"Thicker pen", {"hotkeyIncreasePenWidth", "hotkeyIncreasePenWidthAlt"}},
          {"Pen opacity 10% \u2026 90%",
           {"hotkeyPenOpacity1", "hotkeyPenOpacity2", "hotkeyPenOpacity3", "hotkeyPenOpacity4", "hotkeyPenOpacity5",
            "hotkeyPenOpacity6", "hotkeyPenOpacity7", "hotkeyPenOpacity8", "hotkeyPenOpacity9"},
           true},
          {"Pen opacity 100%", {"hotkeyPenOpacity0"}}}},
        {"Window",
         {{"Window opacity on or off", {"menuToggleOpacity"}},
          {"More opaque window", {"menuIncreaseOpacity"}},
          {"More transparent window", {"menuDecreaseOpacity"}},
          {"Hide or show the interface", {"menuToggleToolPanel"}}}},
        {"Pins",
         {{"Next pin", {"hotkeyGotoNextPin"}},
          {"Previous pin", {"hotkeyGotoPreviousPin"}},
          {"Last pin", {"hotkeyGotoLastPin"}},
          {"First pin", {"hotkeyGotoFirstPin"}},
          {"Pin map", {"hotkeyPinMap"}}}},
    };
    return groups;
}

// Bound by default, but nothing runs when pressed: the sheet does not offer it.
const std::set<std::string_view> NOT_ON_SHEET = {"playbackDrawing"};

// The commands the table binds, from its saved script ("bind <combination> <command>").
std::vector<std::string> boundCommands(const KeyBindings& bindings)
{
    std::vector<std::string> commands;
    const std::string script = bindings.bindingsScript();
    size_t start = 0;
    while (start < script.size()) {
        size_t end = script.find("\r\n", start);
        if (end == std::string::npos) end = script.size();
        const std::string_view line(script.data() + start, end - start);
        const size_t afterCombination = line.find(' ', 5);
        if (line.substr(0, 5) == "bind " && afterCombination != std::string_view::npos)
            commands.emplace_back(line.substr(afterCombination + 1));
        start = end + 2;
    }
    return commands;
}

}  // namespace

std::string shortcutKeyText(const std::string& combinationName) { return combinationName; }

ShortcutSheet makeShortcutSheet(const KeyBindings& bindings)
{
    ShortcutSheet sheet;
    std::set<std::string> listed;
    for (const GroupSpec& groupSpec : sheetGroups()) {
        ShortcutGroup group{groupSpec.title, {}};
        for (const RowSpec& rowSpec : groupSpec.rows) {
            std::vector<std::string> keys;
            for (const char* command : rowSpec.commands) {
                listed.insert(command);
                if (const KeyBinding* binding = bindings.findByCommand(command))
                    keys.push_back(shortcutKeyText(combinationName(binding->combo)));
            }
            if (keys.empty()) continue;
            std::string text;
            if (rowSpec.range && keys.size() > 1) {
                text = keys.front() + " \u2026 " + keys.back();
            } else {
                for (const std::string& key : keys) text += (text.empty() ? "" : " / ") + key;
            }
            group.rows.push_back({text, rowSpec.description});
        }
        if (!group.rows.empty()) sheet.groups.push_back(std::move(group));
    }
    // What the shell does with the mouse and the keys that are not bindings.
    sheet.groups.push_back({"Mouse and other keys",
                            {{"Right-click", "Menus at the pointer"},
                             {"Alt+letter, F10", "Open the menu bar"},
                             {"Alt (hold)", "Color picker while held"},
                             {"Wheel", "Zoom in or out"},
                             {"Arrow keys", "Nudge the view"},
                             {"Esc", "Finish the current shape"}}});
    for (const std::string& command : boundCommands(bindings)) {
        if (!listed.count(command) && !NOT_ON_SHEET.count(command)) sheet.unlisted.push_back(command);
    }
    return sheet;
}
