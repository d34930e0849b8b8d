// MenuModel: the program's menu bar — File, Edit, Window and Help — with its
// identifiers, captions, check marks and greyed items.
//
// The model is the one copy of the menus' state. Every change calls the listener,
// which hands the new bar to the window layer (the menu strip on Linux); the
// right-click pop-up offers the same four submenus. Changing an identifier that the
// bar does not hold does nothing, as the desktop's menu calls do.
//
// IMPORTANT: the identifiers are the program's command numbers: the dispatch
// switch, the command table and other parts of the program post them.
#pragma once

#include "MenuTypes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

enum MenuId : int32_t {
    MENU_SEPARATOR = MENU_SEPARATOR_ID,
    MENU_NEW_DOCUMENT = 10001,
    MENU_OPEN_DOCUMENT = 10002,
    MENU_SAVE_DOCUMENT = 10004,
    MENU_SAVE_DOCUMENT_AS = 10005,
    MENU_SAVE_SELECTION = 10006,
    MENU_IMPORT_IMAGE = 10008,
    MENU_EXIT = 10011,
    MENU_OPEN_RECENT_1 = 10012,  // to MENU_OPEN_RECENT_1 + 4
    MENU_EXPORT = 10017,
    MENU_UNDO = 10020,
    MENU_REDO = 10021,
    MENU_CLEAR_CANVAS = 10022,
    MENU_RESET_CANVAS_VIEW = 10023,
    MENU_VIEW_ALL_STROKES = 10024,
    MENU_FLIP_CANVAS_HORIZONTALLY = 10026,
    MENU_FLIP_CANVAS_VERTICALLY = 10027,
    MENU_DESELECT = 10028,
    MENU_CUT_SELECTION = 10029,
    MENU_COPY_SELECTION = 10030,
    MENU_PASTE_SELECTION = 10031,
    MENU_TRANSFORM_SELECTION = 10032,
    MENU_PREFERENCES = 10033,
    MENU_RESTORE_PENS = 10034,
    MENU_RESTORE_PAPER = 10035,
    MENU_RESTORE_LAYOUT = 10036,
    MENU_RESTORE_ALL = 10037,
    MENU_CANVAS_INFO = 10038,
    MENU_SHORTCUT_LIST = 10039,
    MENU_NEW_LAYER = 10040,
    MENU_DELETE_LAYER = 10041,
    MENU_FLIP_LAYER_HORIZONTALLY = 10042,
    MENU_FLIP_LAYER_VERTICALLY = 10043,
    MENU_MOVE_LAYER_UP = 10044,
    MENU_MOVE_LAYER_DOWN = 10045,
    MENU_MERGE_LAYER_DOWN = 10046,
    MENU_TOGGLE_OPACITY = 10050,
    MENU_INCREASE_OPACITY = 10051,
    MENU_DECREASE_OPACITY = 10052,
    MENU_TOGGLE_INTERFACE = 10053,
    MENU_TOOLBAR_LEFT = 10054,
    MENU_TOOLBAR_RIGHT = 10055,
    MENU_RESET_LAYOUT = 10056,
    MENU_COLOUR_PANEL = 10057,
    MENU_BRUSH_PANEL = 10059,
    MENU_TOOLBAR = 10060,
    MENU_SHAPE_TOOL = 10061,
    MENU_UNDO_REDO_TOOL = 10063,
    MENU_LAYERS_PANEL = 10064,
    MENU_OPACITY_TOOL = 10065,
    MENU_ABOUT = 10068,
    MENU_SHORTCUT_KEYS = 10069,
    MENU_HELP = 10070,
    MENU_SUPPORT = 10071,
    MENU_SAMPLES = 10075,
};

inline constexpr int MENU_RECENT_COUNT = 5;

// Captions that change while the program runs.
inline constexpr const char* CAPTION_HIDE_INTERFACE = "Hide Interface\tTab";
inline constexpr const char* CAPTION_SHOW_INTERFACE = "Show Interface\tTab";
inline constexpr const char* CAPTION_ACTIVATE_OPACITY = "Activate Window Opacity\tCtrl+W";
inline constexpr const char* CAPTION_DEACTIVATE_OPACITY = "Deactivate Window Opacity\tCtrl+W";
inline constexpr const char* CAPTION_SWITCH_LAYOUT = "Switch Interface Layout";

class MenuModel {
public:
    // Builds the four menus. `recentCaptions` are the five recent-file entries;
    // `recentCount` of them are real files (see setRecentFiles).
    void build(const std::array<std::string, MENU_RECENT_COUNT>& recentCaptions, int recentCount);
    bool isBuilt() const { return !bar_.empty(); }

    const MenuBar& bar() const { return bar_; }
    // The right-click pop-up: the bar's four submenus under their titles.
    const MenuBar& popup() const { return bar_; }

    // The item with this identifier anywhere in the bar (never a separator), or null.
    const MenuItem* find(int32_t id) const;

    void setCaption(int32_t id, const std::string& caption);
    void setEnabled(int32_t id, bool enabled);
    void setChecked(int32_t id, bool checked);
    // Gives the item a new identifier and caption.
    void replaceItem(int32_t id, int32_t newId, const std::string& caption);

    // The captions of the "Open Recent..." items 1 to 5 from the recent-file list.
    // Entries from `count` on hold no file ("No recent files" or nothing) and are
    // greyed, so choosing one cannot throw the canvas away for a file that is not there.
    void setRecentFiles(const std::array<std::string, MENU_RECENT_COUNT>& captions, int count);

    // Called after every change.
    std::function<void()> onChanged;

private:
    MenuItem* findMutable(int32_t id);
    bool applyRecentFiles(const std::array<std::string, MENU_RECENT_COUNT>& captions, int count);
    void changed();

    MenuBar bar_;
};
