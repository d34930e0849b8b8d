// The menu strip's logic: caption text, mnemonics, where the titles sit, which title
// a point or a letter names, and the Left/Right neighbours.
#include "MenuStrip.h"

#include <gtest/gtest.h>

namespace {

struct CaptionCase {
    const char* caption;
    const char* label;
    const char* shortcut;
    char mnemonic;
    int position;
};

TEST(MenuStripText, CaptionsSplitIntoLabelShortcutAndMnemonic)
{
    const CaptionCase cases[] = {
        {"&File", "File", "", 'f', 0},
        {"E&xit Vellumin\tCtrl+Q", "Exit Vellumin", "Ctrl+Q", 'x', 1},
        {"Save As...\tShift+Ctrl+S", "Save As...", "Shift+Ctrl+S", 0, -1},
        {"R&&D", "R&D", "", 0, -1},
        {"Salt && &Pepper", "Salt & Pepper", "", 'p', 7},
        {"Trailing &", "Trailing ", "", 0, -1},
        {"Increase Window Opacity\t>", "Increase Window Opacity", ">", 0, -1},
        {"", "", "", 0, -1},
    };
    for (const CaptionCase& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(menuLabel(c.caption), c.label);
        EXPECT_EQ(menuShortcutText(c.caption), c.shortcut);
        EXPECT_EQ(menuMnemonic(c.caption), c.mnemonic);
        EXPECT_EQ(menuMnemonicPosition(c.caption), c.position);
    }
}

MenuBar fourMenus()
{
    MenuBar bar;
    for (const char* title : {"&File", "&Edit", "&Window", "&Help"}) {
        MenuItem menu;
        menu.caption = title;
        menu.submenu.push_back(MenuItem{10001, "x"});
        bar.push_back(menu);
    }
    return bar;
}

MenuStripLayout layOut(const MenuBar& bar)
{
    MenuStripLayout layout;
    layout.setHeight(24);
    // Every character 7 pixels wide.
    layout.layOut(bar, [](std::string_view text) { return static_cast<int32_t>(text.size()) * 7; });
    return layout;
}

TEST(MenuStripLayout, TitlesSitSideBySideFromTheLeft)
{
    const MenuStripLayout layout = layOut(fourMenus());
    ASSERT_EQ(layout.titles().size(), 4u);
    int32_t x = MenuStripLayout::STRIP_MARGIN;
    for (const auto& title : layout.titles()) {
        EXPECT_EQ(title.left, x);
        EXPECT_EQ(title.width, static_cast<int32_t>(title.label.size()) * 7 + 2 * MenuStripLayout::TITLE_PADDING);
        x += title.width;
    }
    EXPECT_EQ(layout.titles()[2].label, "Window");
}

TEST(MenuStripLayout, PointsNameTheTitleUnderThemOnlyInsideTheStrip)
{
    const MenuStripLayout layout = layOut(fourMenus());
    const auto& edit = layout.titles()[1];
    struct Case {
        int32_t x, y;
        int title;
    } cases[] = {
        {edit.left, 5, 1},
        {edit.left + edit.width - 1, 23, 1},
        {edit.left + edit.width, 5, 2},
        {edit.left, 24, -1},  // just below the strip
        {edit.left, -1, -1},
        {0, 5, -1},           // the margin before the first title
        {2000, 5, -1},        // right of the last title
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(layout.titleAt(c.x, c.y), c.title);
    }
    EXPECT_TRUE(layout.contains(2000, 5));
    EXPECT_FALSE(layout.contains(10, 24));
}

TEST(MenuStripLayout, MnemonicsChooseMenusInAnyCase)
{
    MenuBar bar = fourMenus();
    MenuItem plain;
    plain.caption = "Plain";
    plain.submenu.push_back(MenuItem{10001, "x"});
    bar.push_back(plain);
    const MenuStripLayout layout = layOut(bar);
    EXPECT_EQ(layout.menuForMnemonic('f'), 0);
    EXPECT_EQ(layout.menuForMnemonic('E'), 1);
    EXPECT_EQ(layout.menuForMnemonic('w'), 2);
    EXPECT_EQ(layout.menuForMnemonic('h'), 3);
    EXPECT_EQ(layout.menuForMnemonic('p'), -1);  // "Plain" has no mnemonic
    EXPECT_EQ(layout.menuForMnemonic('q'), -1);
    EXPECT_EQ(layout.menuForMnemonic(0), -1);
}

TEST(MenuStripLayout, LeftAndRightWrapAround)
{
    const MenuStripLayout layout = layOut(fourMenus());
    EXPECT_EQ(layout.neighbour(0, -1), 3);
    EXPECT_EQ(layout.neighbour(3, 1), 0);
    EXPECT_EQ(layout.neighbour(1, 1), 2);
    EXPECT_EQ(MenuStripLayout().neighbour(0, 1), -1);
}

}  // namespace
