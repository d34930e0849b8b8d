#include "MenuModel.h"

namespace {

MenuItem item(int32_t id, const char* caption, bool enabled = true)
{
    MenuItem entry;
    entry.id = id;
    entry.caption = caption;
    entry.enabled = enabled;
    return entry;
}

MenuItem separator() { return item(MENU_SEPARATOR, ""); }

MenuItem submenu(const char* caption, std::vector<MenuItem> items)
{
    MenuItem entry;
    entry.caption = caption;
    entry.submenu = std::move(items);
    return entry;
}

std::string escapeMnemonics(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        if (c == '&') escaped += '&';
        escaped += c;
    }
    return escaped;
}

// Any item with the identifier, at any depth (separators are never found).
template <typename Items>
auto findIn(Items& items, int32_t id) -> decltype(&items[0])
{
    for (auto& entry : items) {
        if (entry.isSubmenu()) {
            if (auto* found = findIn(entry.submenu, id)) return found;
        } else if (entry.id == id && !entry.isSeparator()) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

void MenuModel::build(const std::array<std::string, MENU_RECENT_COUNT>& recentCaptions, int recentCount)
{
    std::vector<MenuItem> recent;
    for (int i = 0; i < MENU_RECENT_COUNT; ++i) {
        MenuItem entry = item(MENU_OPEN_RECENT_1 + i, "");
        recent.push_back(entry);
    }

    bar_.clear();
    bar_.push_back(submenu("&File", {
        item(MENU_NEW_DOCUMENT, "&New\tCtrl+N"),
        item(MENU_OPEN_DOCUMENT, "&Open...\tCtrl+O"),
        submenu("Open Recent...", recent),
        separator(),
        item(MENU_SAVE_DOCUMENT, "Save\tCtrl+S"),
        item(MENU_SAVE_DOCUMENT_AS, "Save As...\tShift+Ctrl+S"),
        separator(),
        item(MENU_IMPORT_IMAGE, "Import Image...\tCtrl+I"),
        separator(),
        item(MENU_EXPORT, "Export Image...\tCtrl+E"),
        separator(),
        item(MENU_EXIT, "E&xit Vellumin\tCtrl+Q"),
    }));
    bar_.push_back(submenu("&Edit", {
        item(MENU_UNDO, "Undo\tCtrl+Z"),
        item(MENU_REDO, "Redo\tShift+Ctrl+Z"),
        separator(),
        item(MENU_CLEAR_CANVAS, "Clear Canvas"),
        item(MENU_RESET_CANVAS_VIEW, "Reset Canvas View"),
        item(MENU_VIEW_ALL_STROKES, "View All Strokes"),
        separator(),
        item(MENU_FLIP_CANVAS_HORIZONTALLY, "Flip Canvas Horizontally\tCtrl+F"),
        item(MENU_FLIP_CANVAS_VERTICALLY, "Flip Canvas Vertically\tCtrl+U"),
        separator(),
        item(MENU_PREFERENCES, "Preferences...\tCtrl+K"),
        submenu("Restore Defaults", {item(MENU_RESTORE_ALL, "Restore All")}),
    }));
    bar_.push_back(submenu("&Window", {
        item(MENU_TOGGLE_OPACITY, CAPTION_ACTIVATE_OPACITY),
        item(MENU_INCREASE_OPACITY, "Increase Window Opacity\t>", false),
        item(MENU_DECREASE_OPACITY, "Decrease Window Opacity\t<", false),
        separator(),
        item(MENU_TOGGLE_INTERFACE, CAPTION_HIDE_INTERFACE),
        separator(),
        item(MENU_RESET_LAYOUT, "Reset Layout"),
        separator(),
        item(MENU_COLOUR_PANEL, "Color Panel"),
        item(MENU_BRUSH_PANEL, "Brush Panel"),
        item(MENU_TOOLBAR, "Toolbar"),
        separator(),
        item(MENU_OPACITY_TOOL, "Window Opacity"),
        item(MENU_UNDO_REDO_TOOL, "Undo/Redo"),
    }));
    bar_.push_back(submenu("&Help", {
        item(MENU_HELP, "Vellumin Help..."),
        item(MENU_SUPPORT, "Vellumin Support Center..."),
        separator(),
        item(MENU_SHORTCUT_KEYS, "Shortcut Keys..."),
        separator(),
        item(MENU_SAMPLES, "Sample Files..."),
        separator(),
        item(MENU_ABOUT, "About Vellumin..."),
    }));
    applyRecentFiles(recentCaptions, recentCount);
    changed();
}

MenuItem* MenuModel::findMutable(int32_t id) { return findIn(bar_, id); }

const MenuItem* MenuModel::find(int32_t id) const { return findIn(bar_, id); }

void MenuModel::changed()
{
    if (onChanged) onChanged();
}

void MenuModel::setCaption(int32_t id, const std::string& caption)
{
    MenuItem* entry = findMutable(id);
    if (!entry || entry->caption == caption) return;
    entry->caption = caption;
    changed();
}

void MenuModel::setEnabled(int32_t id, bool enabled)
{
    MenuItem* entry = findMutable(id);
    if (!entry || entry->enabled == enabled) return;
    entry->enabled = enabled;
    changed();
}

void MenuModel::setChecked(int32_t id, bool checked)
{
    MenuItem* entry = findMutable(id);
    if (!entry || entry->checked == checked) return;
    entry->checked = checked;
    changed();
}

void MenuModel::replaceItem(int32_t id, int32_t newId, const std::string& caption)
{
    MenuItem* entry = findMutable(id);
    if (!entry) return;
    entry->id = newId;
    entry->caption = caption;
    changed();
}

bool MenuModel::applyRecentFiles(const std::array<std::string, MENU_RECENT_COUNT>& captions, int count)
{
    bool any = false;
    for (int i = 0; i < MENU_RECENT_COUNT; ++i) {
        MenuItem* entry = findMutable(MENU_OPEN_RECENT_1 + i);
        if (!entry) continue;
        // A path is shown as it is: an "&" in it is no mnemonic.
        const std::string caption = escapeMnemonics(captions[static_cast<size_t>(i)]);
        const bool enabled = i < count;
        if (entry->caption == caption && entry->enabled == enabled) continue;
        entry->caption = caption;
        entry->enabled = enabled;
        any = true;
    }
    return any;
}

void MenuModel::setRecentFiles(const std::array<std::string, MENU_RECENT_COUNT>& captions, int count)
{
    if (applyRecentFiles(captions, count)) changed();
}
