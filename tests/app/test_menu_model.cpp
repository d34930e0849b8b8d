// The menu bar: its items in order with their identifiers and captions, the greyed
// items of a new bar, the recent-file items, and the change rules of the model.
#include "MenuModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Expected {
    int32_t id;          // 0 for a submenu
    std::string caption; // "" for a separator
};

const std::array<std::string, MENU_RECENT_COUNT> NO_RECENT_FILES = {"No recent files", "", "", "", ""};

MenuModel builtModel()
{
    MenuModel model;
    model.build(NO_RECENT_FILES, 0);
    return model;
}

std::vector<Expected> itemsOf(const MenuItem& menu)
{
    std::vector<Expected> items;
    for (const MenuItem& item : menu.submenu) items.push_back({item.id, item.caption});
    return items;
}

bool operator==(const Expected& a, const Expected& b) { return a.id == b.id && a.caption == b.caption; }
std::ostream& operator<<(std::ostream& out, const Expected& e) { return out << "(" << e.id << ", \"" << e.caption << "\")"; }

const Expected SEP{10000, ""};

TEST(MenuModel, TheFourMenusHoldTheirItemsInOrder)
{
    const MenuModel model = builtModel();
    ASSERT_EQ(model.bar().size(), 4u);
    const std::vector<std::pair<std::string, std::vector<Expected>>> expected = {
        {"&File",
         {{10001, "&New\tCtrl+N"}, {10002, "&Open...\tCtrl+O"}, {0, "Open Recent..."}, SEP, {10004, "Save\tCtrl+S"},
          {10005, "Save As...\tShift+Ctrl+S"}, SEP, {10008, "Import Image...\tCtrl+I"}, SEP,
          {10017, "Export Image...\tCtrl+E"}, SEP, {10011, "E&xit Vellumin\tCtrl+Q"}}},
        {"&Edit",
         {{10020, "Undo\tCtrl+Z"}, {10021, "Redo\tShift+Ctrl+Z"}, SEP, {10022, "Clear Canvas"},
          {10023, "Reset Canvas View"}, {10024, "View All Strokes"}, SEP, {10026, "Flip Canvas Horizontally\tCtrl+F"},
          {10027, "Flip Canvas Vertically\tCtrl+U"}, SEP, {10033, "Preferences...\tCtrl+K"}, {0, "Restore Defaults"}}},
        {"&Window",
         {{10050, "Activate Window Opacity\tCtrl+W"}, {10051, "Increase Window Opacity\t>"},
          {10052, "Decrease Window Opacity\t<"}, SEP, {10053, "Hide Interface\tTab"}, SEP, {10056, "Reset Layout"}, SEP,
          {10057, "Color Panel"}, {10059, "Brush Panel"}, {10060, "Toolbar"}, SEP, {10065, "Window Opacity"},
          {10063, "Undo/Redo"}}},
        {"&Help",
         {{10070, "Vellumin Help..."}, {10071, "Vellumin Support Center..."}, SEP, {10069, "Shortcut Keys..."}, SEP,
          {10075, "Sample Files..."}, SEP, {10068, "About Vellumin..."}}},
    };
    for (size_t m = 0; m < expected.size(); ++m) {
        SCOPED_TRACE(expected[m].first);
        EXPECT_EQ(model.bar()[m].caption, expected[m].first);
        EXPECT_EQ(itemsOf(model.bar()[m]), expected[m].second);
    }
}

TEST(MenuModel, SubmenusHoldTheRecentFilesAndRestoreAll)
{
    const MenuModel model = builtModel();
    const MenuItem& recent = model.bar()[0].submenu[2];
    ASSERT_TRUE(recent.isSubmenu());
    std::vector<int32_t> ids;
    for (const MenuItem& item : recent.submenu) ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<int32_t>{10012, 10013, 10014, 10015, 10016}));
    const MenuItem& restore = model.bar()[1].submenu.back();
    ASSERT_EQ(restore.submenu.size(), 1u);
    EXPECT_EQ(restore.submenu[0].id, 10037);
    EXPECT_EQ(restore.submenu[0].caption, "Restore All");
}

TEST(MenuModel, ANewBarGreysOnlyTheOpacityStepsAndTheEmptyRecentEntries)
{
    const MenuModel model = builtModel();
    std::vector<int32_t> greyed;
    std::vector<int32_t> checked;
    std::function<void(const std::vector<MenuItem>&)> walk = [&](const std::vector<MenuItem>& items) {
        for (const MenuItem& item : items) {
            if (item.isSubmenu()) {
                walk(item.submenu);
                continue;
            }
            if (item.isSeparator()) continue;
            if (!item.enabled) greyed.push_back(item.id);
            if (item.checked) checked.push_back(item.id);
        }
    };
    walk(model.bar());
    EXPECT_EQ(greyed, (std::vector<int32_t>{10012, 10013, 10014, 10015, 10016, 10051, 10052}));
    EXPECT_TRUE(checked.empty());
}

TEST(MenuModel, RecentFilesCaptionTheirItemsAndOnlyRealFilesCanBeChosen)
{
    MenuModel model = builtModel();
    EXPECT_EQ(model.find(10012)->caption, "No recent files");
    model.setRecentFiles({"/home/ann/tree.art", "/home/ann/R&D.art", "", "", ""}, 2);
    EXPECT_EQ(model.find(10012)->caption, "/home/ann/tree.art");
    EXPECT_TRUE(model.find(10012)->enabled);
    // An ampersand in a path is shown, not taken for a mnemonic.
    EXPECT_EQ(model.find(10013)->caption, "/home/ann/R&&D.art");
    EXPECT_EQ(menuLabel(model.find(10013)->caption), "/home/ann/R&D.art");
    EXPECT_TRUE(model.find(10013)->enabled);
    EXPECT_FALSE(model.find(10014)->enabled);
}

TEST(MenuModel, ChangesNotifyOnceAndMissingIdentifiersChangeNothing)
{
    MenuModel model = builtModel();
    int notifications = 0;
    model.onChanged = [&] { ++notifications; };
    const MenuBar before = model.bar();

    model.setCaption(10054, "Switch Interface Layout");  // not in the bar
    model.setEnabled(10061, false);                      // not in the bar
    model.setChecked(10003, true);                       // no such identifier
    model.replaceItem(10055, 10054, "x");
    model.setEnabled(MENU_SEPARATOR, false);             // separators are not items
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(model.find(MENU_SEPARATOR), nullptr);

    model.setChecked(10057, true);
    model.setChecked(10057, true);  // already so
    EXPECT_EQ(notifications, 1);
    EXPECT_TRUE(model.find(10057)->checked);

    model.setCaption(10053, CAPTION_SHOW_INTERFACE);
    model.setEnabled(10051, true);
    EXPECT_EQ(notifications, 3);

    model.replaceItem(10056, 10099, "Renamed");
    EXPECT_EQ(model.find(10056), nullptr);
    EXPECT_EQ(model.find(10099)->caption, "Renamed");
    EXPECT_EQ(notifications, 4);
    EXPECT_EQ(before.size(), model.bar().size());
}

TEST(MenuModel, ThePopUpOffersTheSameFourSubmenus)
{
    const MenuModel model = builtModel();
    ASSERT_EQ(model.popup().size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(model.popup()[i].caption, model.bar()[i].caption);
        EXPECT_EQ(model.popup()[i].submenu.size(), model.bar()[i].submenu.size());
    }
}

}  // namespace
