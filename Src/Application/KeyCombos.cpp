#include "KeyCombos.h"

#include <array>

namespace {

char asciiUpper(unsigned char c)
{
    // Not std::toupper: a locale set by the GUI toolkit must not change stored names.
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// What each control character means while Ctrl is held: the key that produced it.
// Code 0 is Ctrl+Space on X11 (see keyComboFromWindowKey); everywhere else it is Ctrl+@.
constexpr std::array<char, 32> CTRL_CHARACTER_KEYS = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', '^', '_',
};

}  // namespace

KeyCombo makeKeyCombo(int32_t key, bool shift, bool ctrl, bool alt, bool cmd)
{
    int32_t modifiers = 0;
    if (shift)
        modifiers |= KEY_MODIFIER_SHIFT;
    if (ctrl)
        modifiers |= KEY_MODIFIER_CTRL;
    if (alt)
        modifiers |= KEY_MODIFIER_ALT;
    if (cmd)
        modifiers |= KEY_MODIFIER_CMD;
    return KeyCombo{key, modifiers};
}

std::string combinationName(KeyCombo combo)
{
    if (combo.key < 1 || combo.key > 255 || combo.key == '\n')
        return {};
    std::string name;
    if (combo.modifiers & KEY_MODIFIER_CTRL)
        name += "Ctrl+";
    if (combo.modifiers & KEY_MODIFIER_SHIFT)
        name += "Shift+";
    if (combo.modifiers & KEY_MODIFIER_ALT)
        name += "Alt+";
    if (combo.modifiers & KEY_MODIFIER_CMD)
        name += "Cmd+";
    switch (combo.key) {
    case KEY_TAB: name += "Tab"; break;
    case KEY_ENTER: name += "Enter"; break;
    case KEY_SPACE: name += "Space"; break;
    default: name += asciiUpper(static_cast<unsigned char>(combo.key)); break;
    }
    return name;
}

std::string combinationName(int32_t key, bool shift, bool ctrl, bool alt, bool cmd)
{
    return combinationName(makeKeyCombo(key, shift, ctrl, alt, cmd));
}

bool isReservedCombination(std::string_view name)
{
    return name == "Alt+Tab" || name == "Alt+F4";
}

int32_t normalizeCharacter(int32_t character, bool ctrl)
{
    // The table also covers 28, 30 and 31 (Ctrl+\, Ctrl+^, Ctrl+_), which would
    // otherwise be named by a raw control byte.
    if (ctrl && character >= 0 && character < static_cast<int32_t>(CTRL_CHARACTER_KEYS.size()))
        return CTRL_CHARACTER_KEYS[static_cast<std::size_t>(character)];
    return character;
}

std::optional<KeyCombo> keyComboFromWindowKey(WindowKeyEvent event)
{
    if (event.kind != WindowKeyKind::Character || event.key < 0 || event.key > 255)
        return std::nullopt;
    const bool shift = (event.modifiers & WINDOW_MODIFIER_SHIFT) != 0;
    const bool ctrl = (event.modifiers & WINDOW_MODIFIER_CTRL) != 0;
    const bool alt = (event.modifiers & WINDOW_MODIFIER_ALT) != 0;
    const int32_t key = ctrl && event.key == 0 ? KEY_SPACE : normalizeCharacter(event.key, ctrl);
    return makeKeyCombo(key, shift, ctrl, alt, false);
}

bool isPlainEscape(WindowKeyEvent event)
{
    return event.kind == WindowKeyKind::Character && event.key == KEY_ESCAPE &&
           (event.modifiers & WINDOW_MODIFIER_CTRL) == 0;
}
