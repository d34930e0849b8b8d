#include "KeyBindings.h"

#include "CommandRegistry.h"


namespace {

// A command text must be one non-empty script line, or the saved bindings script
// would split it into lines of its own.
bool isValidCommandText(std::string_view command)
{
    return !command.empty() && command.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool isBindableName(std::string_view name)
{
    return !name.empty() && !isReservedCombination(name);
}

struct DefaultBinding {
    const char* command;
    int32_t key;
    int32_t modifiers;
};

constexpr int32_t CTRL = KEY_MODIFIER_CTRL;
constexpr int32_t CTRL_SHIFT = KEY_MODIFIER_CTRL | KEY_MODIFIER_SHIFT;

// IMPORTANT: the order is the order of the saved bindings script, whose first line
// is the one for menuNewDocument.
constexpr DefaultBinding DEFAULT_BINDINGS[] = {
    {"menuNewDocument", 'N', CTRL},
    {"menuOpenDocument", 'O', CTRL},
    {"menuSaveDocument", 'S', CTRL},
    {"menuSaveDocumentAs", 'S', CTRL_SHIFT},
    {"menuImportImage", 'I', CTRL},
    {"menuExport", 'E', CTRL},
    {"menuExit", 'Q', CTRL},
    {"menuUndo", 'Z', CTRL},
    {"menuRedo", 'Z', CTRL_SHIFT},
    {"menuResetCanvasTransform", 'R', CTRL},
    {"menuCenterAndScale", 'R', CTRL_SHIFT},
    {"menuFlipCanvasHorizontally", 'F', CTRL},
    {"menuFlipCanvasVertically", 'U', CTRL},
    {"menuPreferences", 'K', CTRL},
    {"menuToggleOpacity", 'W', CTRL},
    {"menuIncreaseOpacity", '.', 0},
    {"menuDecreaseOpacity", ',', 0},
    {"menuToggleToolPanel", KEY_TAB, 0},
    {"hotkeyPenScaleWithZoomOn", 'O', 0},
    {"hotkeyPenScaleWithZoomOff", 'F', 0},
    {"hotkeyEraser", 'E', 0},
    {"hotkeyPen", 'B', 0},
    {"hotkeyColorPicker", 'I', 0},
    {"hotkeyPan", 'H', 0},
    {"hotkeyZoom", 'Z', 0},
    {"hotkeyRotate", 'R', 0},
    {"hotkeyDecreasePenWidth", 'X', 0},
    {"hotkeyIncreasePenWidth", 'C', 0},
    {"hotkeyDecreasePenWidthAlt", '[', 0},
    {"hotkeyIncreasePenWidthAlt", ']', 0},
    {"hotkeyDiscreteScaleUp", '=', 0},
    {"hotkeyDiscreteScaleUpAlt", '+', 0},
    {"hotkeyDiscreteScaleDown", '-', 0},
    {"hotkeyStartPan", KEY_SPACE, 0},
    {"hotkeyPenOpacity0", '0', 0},
    {"hotkeyPenOpacity1", '1', 0},
    {"hotkeyPenOpacity2", '2', 0},
    {"hotkeyPenOpacity3", '3', 0},
    {"hotkeyPenOpacity4", '4', 0},
    {"hotkeyPenOpacity5", '5', 0},
    {"hotkeyPenOpacity6", '6', 0},
    {"hotkeyPenOpacity7", '7', 0},
    {"hotkeyPenOpacity8", '8', 0},
    {"hotkeyPenOpacity9", '9', 0},
    {"hotkeyStartRotate", KEY_SPACE, KEY_MODIFIER_SHIFT},
    {"hotkeyStartZoom", KEY_SPACE, CTRL},
    {"hotkeyGotoNextPin", 'L', 0},
    {"hotkeyGotoPreviousPin", 'J', 0},
    {"hotkeyGotoLastPin", 'L', CTRL},
    {"hotkeyGotoFirstPin", 'J', CTRL},
    {"hotkeyPinMap", 'A', 0},
    // The menu's command table gives playback its key although nothing handles it
    // yet; it goes last so the rest keep their saved order.
    {"playbackDrawing", 'P', CTRL_SHIFT | KEY_MODIFIER_ALT},
};

}  // namespace

KeyBindings::KeyBindings(CommandRegistry& registry) : m_registry(registry)
{
    m_pool.reserve(KEY_BINDING_POOL_SIZE);
}

void KeyBindings::dropRecord(std::size_t index)
{
    KeyBinding& record = m_pool[index];
    const auto byCombination = m_byCombination.find(combinationName(record.combo));
    if (byCombination != m_byCombination.end() && byCombination->second == index)
        m_byCombination.erase(byCombination);
    const auto byCommand = m_byCommand.find(record.command);
    if (byCommand != m_byCommand.end() && byCommand->second == index)
        m_byCommand.erase(byCommand);
    record.bound = false;
}

bool KeyBindings::addBinding(std::string_view command, KeyCombo combo)
{
    const std::string name = combinationName(combo);
    if (!isBindableName(name) || !isValidCommandText(command))
        return false;
    // What happens past the last record: the binding is refused and the table stays as it was.
    if (m_pool.size() >= KEY_BINDING_POOL_SIZE)
        return false;

    // A record left in only one of the two maps would break the one-to-one rule (a
    // later move of its command would unbind someone else's combination), and it
    // would still be written to the saved script: drop it whole.
    if (const auto found = m_byCombination.find(name); found != m_byCombination.end())
        dropRecord(found->second);
    if (const auto found = m_byCommand.find(command); found != m_byCommand.end())
        dropRecord(found->second);

    const std::size_t index = m_pool.size();
    m_pool.push_back(KeyBinding{std::string(command), combo, true});
    m_byCombination.emplace(name, index);
    m_byCommand.emplace(std::string(command), index);
    return true;
}

bool KeyBindings::bindKey(std::string_view command, KeyCombo combo)
{
    const std::string name = combinationName(combo);
    // Reserved combinations are checked here too: moving a command must not reach
    // one any more than adding it can.
    if (!isBindableName(name) || !isValidCommandText(command))
        return false;
    if (m_byCombination.find(name) != m_byCombination.end())
        return false;

    const auto existing = m_byCommand.find(command);
    if (existing == m_byCommand.end())
        return addBinding(command, combo);

    const std::size_t index = existing->second;
    m_byCombination.erase(combinationName(m_pool[index].combo));
    m_pool[index].combo = combo;
    m_byCombination.emplace(name, index);
    return true;
}

bool KeyBindings::runBinding(KeyCombo combo)
{
    const auto found = m_byCombination.find(combinationName(combo));
    if (found == m_byCombination.end())
        return false;
    // The script may rebind keys while it runs; run a copy of its text.
    const std::string script = m_pool[found->second].command;
    m_registry.runScript(script);
    return true;
}

std::string KeyBindings::bindingsScript() const
{
    std::string script;
    for (const KeyBinding& record : m_pool) {
        if (!record.bound)
            continue;
        script += "bind ";
        script += combinationName(record.combo);
        script += ' ';
        script += record.command;
        script += "\r\n";
    }
    return script;
}

const KeyBinding* KeyBindings::findByCombination(std::string_view name) const
{
    const auto found = m_byCombination.find(name);
    return found == m_byCombination.end() ? nullptr : &m_pool[found->second];
}

const KeyBinding* KeyBindings::findByCommand(std::string_view command) const
{
    const auto found = m_byCommand.find(command);
    return found == m_byCommand.end() ? nullptr : &m_pool[found->second];
}

std::optional<BindRequest> parseBindArgument(const char* argument)
{
    if (!argument)
        return std::nullopt;
    const std::string_view text(argument);
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos || space == 0 || space + 1 == text.size())
        return std::nullopt;
    const std::string_view token = text.substr(0, space);
    const auto holds = [token](std::string_view word) { return token.find(word) != std::string_view::npos; };

    int32_t key = static_cast<unsigned char>(token.back());
    if (holds("Space"))
        key = KEY_SPACE;
    else if (holds("Tab"))
        key = KEY_TAB;
    else if (holds("Enter"))
        key = KEY_ENTER;  // so a saved Enter binding reads back as Enter, not as R
    return BindRequest{makeKeyCombo(key, holds("Shift"), holds("Ctrl"), holds("Alt"), holds("Cmd")),
                       std::string(text.substr(space + 1))};
}

void registerBindCommand(CommandRegistry& registry, KeyBindings& bindings)
{
    registry.registerCommand("bind", "usage: bind <key-combo> <script-command>",
        [&bindings](const char* argument) {
            // Nothing is reported either way: a bind line that does not apply leaves the table as it was.
            if (const std::optional<BindRequest> request = parseBindArgument(argument))
                bindings.bindKey(request->command, request->combo);
        });
}

void addDefaultBindings(KeyBindings& bindings)
{
    for (const DefaultBinding& binding : DEFAULT_BINDINGS)
        bindings.addBinding(binding.command, KeyCombo{binding.key, binding.modifiers});
}

KeyBindings& keyBindings()
{
    static KeyBindings bindings(commandRegistry());
    return bindings;
}
