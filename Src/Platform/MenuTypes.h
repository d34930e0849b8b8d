// MenuTypes: a menu bar as plain data, the form in which the program hands its
// menus to the window layer (the menu strip, the right-click pop-up).
//
// A caption follows the desktop convention: "&" marks the mnemonic letter ("&&" is a
// literal ampersand) and a tab starts the shortcut text shown at the right edge:
// "&New\tCtrl+N". A chosen item reaches the program as its identifier through the
// special-key event, like every other menu command.
#pragma once

#include "WindowKeys.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The identifier every separator carries: the first of the menu identifiers, which
// arrive as special keys from WINDOW_MENU_FIRST on.
inline constexpr int32_t MENU_SEPARATOR_ID = WINDOW_MENU_FIRST;

struct MenuItem {
    int32_t id = 0;              // command identifier; MENU_SEPARATOR_ID for a separator; 0 for a submenu
    std::string caption;
    bool enabled = true;
    bool checked = false;
    std::vector<MenuItem> submenu;  // non-empty for a submenu (and for the menus of a bar)

    bool isSeparator() const { return id == MENU_SEPARATOR_ID; }
    bool isSubmenu() const { return !submenu.empty(); }
};

// The top-level menus, each a MenuItem whose caption is the title and whose submenu
// holds the items.
using MenuBar = std::vector<MenuItem>;

// The caption's text before the tab, with the mnemonic markers removed ("&&" → "&").
std::string menuLabel(std::string_view caption);
// The text after the first tab, or "" when there is none.
std::string menuShortcutText(std::string_view caption);
// The lower-case mnemonic letter (the character after a single "&"), or 0.
char menuMnemonic(std::string_view caption);
// Where the mnemonic letter sits in menuLabel(caption), or -1.
int menuMnemonicPosition(std::string_view caption);
