// KeyCombos.h — key combinations and their canonical names.
//
// A combination is one character key plus a modifier set. Its canonical name is the
// identity the binding table, the `bind` command and the saved bindings share:
//   "Ctrl+" "Shift+" "Alt+" "Cmd+" (each only when held, always in this order),
//   then the key: "Tab" (9), "Enter" (13), "Space" (32), else the character in
//   ASCII upper case. Examples: Ctrl+Shift+S, Space, Shift+Space, [, 0.
// IMPORTANT: the names are stored in the application state file; changing how a
// combination is named orphans the user's saved bindings.
//
// Only character keys have combinations. Arrows, function keys, the modifier keys
// themselves and menu commands arrive as special keys and are the shell's business.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Modifier bits of a combination. Cmd never comes from this keyboard; it exists so
// combinations written on other platforms have a name.
enum KeyModifier : int32_t {
    KEY_MODIFIER_SHIFT = 1 << 0,
    KEY_MODIFIER_CTRL = 1 << 1,
    KEY_MODIFIER_ALT = 1 << 2,
    KEY_MODIFIER_CMD = 1 << 3,
};

inline constexpr int32_t KEY_TAB = 9;
inline constexpr int32_t KEY_ENTER = 13;
inline constexpr int32_t KEY_ESCAPE = 27;
inline constexpr int32_t KEY_SPACE = 32;

struct KeyCombo {
    int32_t key = 0;        // one byte character code, after normalisation
    int32_t modifiers = 0;  // KEY_MODIFIER_* bits
    bool operator==(const KeyCombo&) const = default;
};

KeyCombo makeKeyCombo(int32_t key, bool shift, bool ctrl, bool alt, bool cmd);

// The canonical name; empty for a key that has none (outside 1..255, or "\n", which
// could not be written as one line of a bindings script).
std::string combinationName(int32_t key, bool shift, bool ctrl, bool alt, bool cmd);
std::string combinationName(KeyCombo combo);

// "Alt+Tab" and "Alt+F4" belong to the window system and are never bound.
bool isReservedCombination(std::string_view name);

// Undoes what Ctrl does to a character: while Ctrl is held the control characters
// 0 to 31 become the key that was pressed (Ctrl+Z arrives as 26 and becomes Z,
// 27 becomes [, 29 becomes ]). Without Ctrl the character stays as delivered, so
// Escape (27), Tab (9), Enter (13) and Backspace (8) keep their own codes.
int32_t normalizeCharacter(int32_t character, bool ctrl);

// ---------------------------------------------------------------------------------
// Keys as the window layer delivers them (freeglut on X11)
// ---------------------------------------------------------------------------------

// Modifier bits as freeglut reports them (GLUT_ACTIVE_SHIFT, _CTRL, _ALT).
inline constexpr int WINDOW_MODIFIER_SHIFT = 0x1;
inline constexpr int WINDOW_MODIFIER_CTRL = 0x2;
inline constexpr int WINDOW_MODIFIER_ALT = 0x4;

// The modifier keys themselves, as the window layer passes them on as special keys.
inline constexpr int WINDOW_SPECIAL_SHIFT = 120;
inline constexpr int WINDOW_SPECIAL_CTRL = 121;
inline constexpr int WINDOW_SPECIAL_ALT = 122;

enum class WindowKeyKind { Character, Special };

struct WindowKeyEvent {
    WindowKeyKind kind = WindowKeyKind::Character;
    int key = 0;        // the character byte, or the GLUT_KEY_* / menu identifier of a special key
    int modifiers = 0;  // WINDOW_MODIFIER_* bits at the time of the key press
};

// The combination the binding table uses for a key press, or nothing for a special
// key. Character keys are normalised as normalizeCharacter says, with one X11
// difference: X11 turns Ctrl+Space into character 0, so 0 with Ctrl is Ctrl+Space
// (where Windows would call it Ctrl+@), keeping the default Ctrl+Space binding reachable.
std::optional<KeyCombo> keyComboFromWindowKey(WindowKeyEvent event);

// Escape pressed without Ctrl: after the bindings, the shell finishes the
// interaction in progress.
bool isPlainEscape(WindowKeyEvent event);
