// Canonical combination names, Ctrl normalisation, and keys as freeglut delivers them.
#include "KeyCombos.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

static_assert(WINDOW_MODIFIER_SHIFT == GLUT_ACTIVE_SHIFT);
static_assert(WINDOW_MODIFIER_CTRL == GLUT_ACTIVE_CTRL);
static_assert(WINDOW_MODIFIER_ALT == GLUT_ACTIVE_ALT);

constexpr int SHIFT = WINDOW_MODIFIER_SHIFT;
constexpr int CTRL = WINDOW_MODIFIER_CTRL;
constexpr int ALT = WINDOW_MODIFIER_ALT;

TEST(KeyCombos, CanonicalNames)
{
    struct NameCase {
        KeyCombo combo;
        const char* name;
    };
    const std::vector<NameCase> cases = {
        {makeKeyCombo('S', true, true, false, false), "Ctrl+Shift+S"},
        {makeKeyCombo('a', false, false, false, false), "A"},
        {makeKeyCombo('z', false, true, false, false), "Ctrl+Z"},
        {makeKeyCombo(KEY_SPACE, false, false, false, false), "Space"},
        {makeKeyCombo(KEY_SPACE, true, false, false, false), "Shift+Space"},
        {makeKeyCombo(KEY_SPACE, false, true, false, false), "Ctrl+Space"},
        {makeKeyCombo(KEY_TAB, false, false, false, false), "Tab"},
        {makeKeyCombo(KEY_TAB, false, false, true, false), "Alt+Tab"},
        {makeKeyCombo(KEY_ENTER, false, false, false, false), "Enter"},
        {makeKeyCombo('[', false, false, false, false), "["},
        {makeKeyCombo('0', false, false, false, false), "0"},
        {makeKeyCombo('+', true, false, false, false), "Shift++"},
        {makeKeyCombo('p', true, true, true, true), "Ctrl+Shift+Alt+Cmd+P"},
        {makeKeyCombo('x', false, false, true, true), "Alt+Cmd+X"},
        {makeKeyCombo(0xE9, false, false, false, false), "\xE9"},  // Latin-1 stays as it is
        {makeKeyCombo(KEY_ESCAPE, false, false, false, false), "\x1B"},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(combinationName(c.combo), c.name) << c.name;
        const bool shift = c.combo.modifiers & KEY_MODIFIER_SHIFT, ctrl = c.combo.modifiers & KEY_MODIFIER_CTRL;
        const bool alt = c.combo.modifiers & KEY_MODIFIER_ALT, cmd = c.combo.modifiers & KEY_MODIFIER_CMD;
        EXPECT_EQ(combinationName(c.combo.key, shift, ctrl, alt, cmd), c.name) << c.name;
    }
}

TEST(KeyCombos, KeysWithoutANameGetAnEmptyOne)
{
    for (int key : {0, int('\n'), 256, -1, 0x10000})
        EXPECT_EQ(combinationName(makeKeyCombo(key, false, true, false, false)), "") << key;
}

TEST(KeyCombos, ReservedCombinations)
{
    EXPECT_TRUE(isReservedCombination("Alt+Tab"));
    EXPECT_TRUE(isReservedCombination("Alt+F4"));
    for (const char* name : {"Tab", "Ctrl+Tab", "Alt+Shift+Tab", "Shift+Alt+Tab", "alt+tab", "Alt+4"})
        EXPECT_FALSE(isReservedCombination(name)) << name;
}

TEST(KeyCombos, CtrlTurnsControlCharactersBackIntoKeys)
{
    struct NormalizeCase {
        int character;
        bool ctrl;
        int key;
    };
    const std::vector<NormalizeCase> cases = {
        {26, true, 'Z'},  {1, true, 'A'},    {0, true, '@'},    {27, true, '['},  {29, true, ']'},
        {28, true, '\\'}, {31, true, '_'},   {'z', true, 'z'},  {'[', true, '['}, {32, true, 32},
        {27, false, 27},  {9, false, 9},     {13, false, 13},   {8, false, 8},    {'[', false, '['},
        {26, false, 26},  {127, true, 127},  {200, true, 200},
    };
    for (const NormalizeCase& c : cases)
        EXPECT_EQ(normalizeCharacter(c.character, c.ctrl), c.key) << c.character << " ctrl " << c.ctrl;
}

// What freeglut hands the keyboard and special callbacks on X11 for real key presses
// (measured under Xvfb with xdotool), and the combination each must reach.
TEST(KeyCombos, FreeglutKeysTranslateToCombinations)
{
    struct DeliveryCase {
        const char* pressed;
        WindowKeyEvent event;
        const char* combination;  // null: no combination (the shell handles the key)
    };
    const auto character = [](int key, int modifiers) {
        return WindowKeyEvent{WindowKeyKind::Character, key, modifiers};
    };
    const auto special = [](int key, int modifiers) {
        return WindowKeyEvent{WindowKeyKind::Special, key, modifiers};
    };
    const std::vector<DeliveryCase> cases = {
        {"z", character('z', 0), "Z"},
        {"shift+z", character('Z', SHIFT), "Shift+Z"},
        {"ctrl+z", character(26, CTRL), "Ctrl+Z"},
        {"ctrl+shift+z", character(26, CTRL | SHIFT), "Ctrl+Shift+Z"},
        {"ctrl+shift+s", character(19, CTRL | SHIFT), "Ctrl+Shift+S"},
        {"ctrl+i", character(9, CTRL), "Ctrl+I"},
        {"ctrl+shift+alt+p", character(16, CTRL | SHIFT | ALT), "Ctrl+Shift+Alt+P"},
        {"alt+x", character('x', ALT), "Alt+X"},
        {"space", character(' ', 0), "Space"},
        {"shift+space", character(' ', SHIFT), "Shift+Space"},
        {"ctrl+space", character(0, CTRL), "Ctrl+Space"},
        {"ctrl+shift+space", character(0, CTRL | SHIFT), "Ctrl+Shift+Space"},
        {"Tab", character(9, 0), "Tab"},
        {"Return", character(13, 0), "Enter"},
        {"ctrl+Return", character(13, CTRL), "Ctrl+M"},
        {"Escape", character(27, 0), "\x1B"},
        {"ctrl+Escape", character(27, CTRL), "Ctrl+["},
        {"bracketleft", character('[', 0), "["},
        {"ctrl+bracketleft", character(27, CTRL), "Ctrl+["},
        {"ctrl+bracketright", character(29, CTRL), "Ctrl+]"},
        {"ctrl+shift+bracketright", character(29, CTRL | SHIFT), "Ctrl+Shift+]"},
        {"ctrl+backslash", character(28, CTRL), "Ctrl+\\"},
        {"ctrl+slash", character(31, CTRL), "Ctrl+_"},
        {"ctrl+minus", character('-', CTRL), "Ctrl+-"},
        {"shift+equal", character('+', SHIFT), "Shift++"},
        {"KP_Add", character('+', 0), "+"},
        {"period", character('.', 0), "."},
        {"BackSpace", character(8, 0), "\x08"},
        {"Delete", character(127, 0), "\x7F"},
        {"eacute", character(0xE9, 0), "\xE9"},
        {"Left", special(GLUT_KEY_LEFT, 0), nullptr},
        {"ctrl+Left", special(GLUT_KEY_LEFT, CTRL), nullptr},
        {"alt+F4", special(GLUT_KEY_F4, ALT), nullptr},
        {"Shift_L", special(WINDOW_SPECIAL_SHIFT, 0), nullptr},
        {"Control_L", special(WINDOW_SPECIAL_CTRL, 0), nullptr},
        {"Alt_L", special(WINDOW_SPECIAL_ALT, 0), nullptr},
        {"menu New", special(10001, 0), nullptr},
        {"out of range", character(300, 0), nullptr},
    };
    for (const DeliveryCase& c : cases) {
        const std::optional<KeyCombo> combo = keyComboFromWindowKey(c.event);
        if (!c.combination) {
            EXPECT_FALSE(combo.has_value()) << c.pressed;
            continue;
        }
        ASSERT_TRUE(combo.has_value()) << c.pressed;
        EXPECT_EQ(combinationName(*combo), c.combination) << c.pressed;
        EXPECT_EQ(combo->modifiers & KEY_MODIFIER_CMD, 0) << c.pressed;
    }
}

TEST(KeyCombos, OnlyEscapeWithoutCtrlFinishesTheInteraction)
{
    EXPECT_TRUE(isPlainEscape({WindowKeyKind::Character, 27, 0}));
    EXPECT_TRUE(isPlainEscape({WindowKeyKind::Character, 27, SHIFT | ALT}));
    EXPECT_FALSE(isPlainEscape({WindowKeyKind::Character, 27, CTRL}));
    EXPECT_FALSE(isPlainEscape({WindowKeyKind::Character, '[', 0}));
    EXPECT_FALSE(isPlainEscape({WindowKeyKind::Special, 27, 0}));
}

}  // namespace
