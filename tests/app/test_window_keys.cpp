// What the window layer makes of freeglut's keys and buttons: the modifier keys as
// the program's special keys 120 to 122, the wheel buttons as signed deltas.
#include "KeyCombos.h"
#include "WindowKeys.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowKeys, ModifierKeysOfEitherSideBecomeTheProgramsModifierKeys)
{
    const struct {
        int32_t glut;
        int32_t program;
    } cases[] = {
        {112, WINDOW_KEY_SHIFT}, {113, WINDOW_KEY_SHIFT}, {114, WINDOW_KEY_CTRL}, {115, WINDOW_KEY_CTRL},
        {116, WINDOW_KEY_ALT},   {117, WINDOW_KEY_ALT},
        // Everything else passes unchanged: function keys, arrows, the keys around them.
        {1, 1}, {12, 12}, {100, 100}, {103, 103}, {108, 108}, {111, 111}, {118, 118},
    };
    for (const auto& test : cases) EXPECT_EQ(windowSpecialKeyFromGlut(test.glut), test.program) << test.glut;
    EXPECT_EQ(WINDOW_KEY_SHIFT, WINDOW_SPECIAL_SHIFT);
    EXPECT_EQ(WINDOW_KEY_CTRL, WINDOW_SPECIAL_CTRL);
    EXPECT_EQ(WINDOW_KEY_ALT, WINDOW_SPECIAL_ALT);
}

TEST(WindowKeys, WheelButtonsGiveOneSignedNotch)
{
    const struct {
        int32_t button;
        int32_t delta;
    } cases[] = {{3, 120}, {4, -120}, {0, 0}, {1, 0}, {2, 0}, {5, 0}, {6, 0}, {7, 0}};
    for (const auto& test : cases) EXPECT_EQ(wheelDeltaFromGlutButton(test.button), test.delta) << test.button;
}

TEST(WindowKeys, CtrlKeysAsTheLayerDeliversThemNameTheirCombination)
{
    // The layer hands over the key's own character with Ctrl held; the bindings name it.
    const struct {
        int key;
        int modifiers;
        const char* name;
    } cases[] = {
        {'z', WINDOW_MODIFIER_CTRL, "Ctrl+Z"},
        {'Z', WINDOW_MODIFIER_CTRL | WINDOW_MODIFIER_SHIFT, "Ctrl+Shift+Z"},
        {' ', WINDOW_MODIFIER_CTRL, "Ctrl+Space"},
        {'2', WINDOW_MODIFIER_CTRL, "Ctrl+2"},
        {26, WINDOW_MODIFIER_CTRL, "Ctrl+Z"},  // a control character still works
    };
    for (const auto& test : cases) {
        const std::optional<KeyCombo> combo =
            keyComboFromWindowKey(WindowKeyEvent{WindowKeyKind::Character, test.key, test.modifiers});
        ASSERT_TRUE(combo.has_value()) << test.name;
        EXPECT_EQ(combinationName(*combo), test.name);
    }
}

}  // namespace
