// The shortcut sheet drawn at build time: complete for the default bindings, keys
// taken from the table, and following the table when a binding moves.
#include "CommandRegistry.h"
#include "KeyBindings.h"
#include "ShortcutSheet.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const ShortcutRow* rowFor(const ShortcutSheet& sheet, const std::string& description)
{
    for (const ShortcutGroup& group : sheet.groups)
        for (const ShortcutRow& row : group.rows)
            if (row.description == description) return &row;
    return nullptr;
}

struct DefaultTable : ::testing::Test {
    void SetUp() override { addDefaultBindings(bindings); }
    CommandRegistry registry;
    KeyBindings bindings{registry};
};

TEST_F(DefaultTable, EveryBoundCommandHasARow)
{
    const ShortcutSheet sheet = makeShortcutSheet(bindings);
    EXPECT_TRUE(sheet.unlisted.empty()) << sheet.unlisted.front();
    EXPECT_GE(sheet.groups.size(), 7u);
}

TEST_F(DefaultTable, RowsShowTheTablesCombinations)
{
    const ShortcutSheet sheet = makeShortcutSheet(bindings);
    const std::pair<const char*, const char*> rows[] = {
        {"Save as", "Ctrl+Shift+S"},        {"Redo", "Ctrl+Shift+Z"},
        {"Zoom in", "= / +"},               {"Thinner pen", "X / ["},
        {"Pen opacity 10% \u2026 90%", "1 \u2026 9"}, {"Pen opacity 100%", "0"},
        {"Hide or show the interface", "Tab"}, {"Rotate while held", "Shift+Space"},
        {"More opaque window", "."},
    };
    for (const auto& [description, keys] : rows) {
        const ShortcutRow* row = rowFor(sheet, description);
        ASSERT_NE(row, nullptr) << description;
        EXPECT_EQ(row->keys, keys) << description;
    }
    // Bound, but nothing runs it: not offered.
    for (const ShortcutGroup& group : sheet.groups)
        for (const ShortcutRow& row : group.rows) EXPECT_EQ(row.keys.find("Alt+P"), std::string::npos);
}

TEST_F(DefaultTable, TheSheetFollowsAMovedBindingAndNamesANewOne)
{
    ASSERT_TRUE(bindings.bindKey("menuNewDocument", makeKeyCombo('N', true, true, false, false)));
    bindings.addBinding("menuBrandNew", makeKeyCombo('Y', false, true, false, false));
    const ShortcutSheet sheet = makeShortcutSheet(bindings);
    ASSERT_NE(rowFor(sheet, "New canvas"), nullptr);
    EXPECT_EQ(rowFor(sheet, "New canvas")->keys, "Ctrl+Shift+N");
    // A bound command the sheet cannot describe is reported (the build stops on it).
    EXPECT_EQ(sheet.unlisted, (std::vector<std::string>{"menuBrandNew"}));
}

TEST(ShortcutSheet, AnEmptyTableLeavesOnlyTheFixedKeys)
{
    CommandRegistry registry;
    KeyBindings bindings(registry);
    const ShortcutSheet sheet = makeShortcutSheet(bindings);
    ASSERT_EQ(sheet.groups.size(), 1u);
    EXPECT_EQ(sheet.groups[0].title, "Mouse and other keys");
}

}  // namespace
