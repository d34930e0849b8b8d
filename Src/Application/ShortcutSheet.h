// ShortcutSheet: what the shortcut-sheet picture says, taken from the binding table.
//
// The picture of Help > Shortcut Keys is drawn at build time from the default
// bindings (tools/generate_dialog_pictures.cpp), so it can never disagree with them:
// every bound command must have a row here, and the keys a row shows are the
// combinations the table holds. A bound command without a row stops the build.
#pragma once

#include <string>
#include <vector>

class KeyBindings;

struct ShortcutRow {
    std::string keys;         // e.g. "Ctrl+Shift+S", "= / +", "1 … 9"
    std::string description;
};

struct ShortcutGroup {
    std::string title;
    std::vector<ShortcutRow> rows;
};

struct ShortcutSheet {
    std::vector<ShortcutGroup> groups;
    // Commands bound in the table that no row names (empty when the sheet is complete).
    std::vector<std::string> unlisted;
};

// The sheet for the bindings as they stand, then the mouse and the keys that are not
// bindings. Rows whose commands are all unbound are left out.
ShortcutSheet makeShortcutSheet(const KeyBindings& bindings);

// How a combination name is shown on the sheet ("Space" stays, "." stays).
std::string shortcutKeyText(const std::string& combinationName);
