#include "MenuStrip.h"

#include <cctype>

namespace {

std::string_view beforeTab(std::string_view caption)
{
    const size_t tab = caption.find('\t');
    return tab == std::string_view::npos ? caption : caption.substr(0, tab);
}

char lowerAscii(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

std::string menuLabel(std::string_view caption)
{
    const std::string_view text = beforeTab(caption);
    std::string label;
    label.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') label += '&';
            ++i;
            if (i >= text.size() || text[i] == '&') continue;
        }
        label += text[i];
    }
    return label;
}

std::string menuShortcutText(std::string_view caption)
{
    const size_t tab = caption.find('\t');
    return tab == std::string_view::npos ? std::string() : std::string(caption.substr(tab + 1));
}

int menuMnemonicPosition(std::string_view caption)
{
    const std::string_view text = beforeTab(caption);
    int position = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 >= text.size()) break;
            if (text[i + 1] == '&') {
                ++i;
                ++position;
                continue;
            }
            return position;
        }
        ++position;
    }
    return -1;
}

char menuMnemonic(std::string_view caption)
{
    const int position = menuMnemonicPosition(caption);
    if (position < 0) return 0;
    return lowerAscii(menuLabel(caption)[static_cast<size_t>(position)]);
}

void MenuStripLayout::layOut(const MenuBar& bar, const std::function<int32_t(std::string_view)>& measureText)
{
    titles_.clear();
    int32_t x = STRIP_MARGIN;
    for (const MenuItem& menu : bar) {
        Title title;
        title.label = menuLabel(menu.caption);
        title.mnemonic = menuMnemonic(menu.caption);
        title.left = x;
        title.width = measureText(title.label) + 2 * TITLE_PADDING;
        x += title.width;
        titles_.push_back(std::move(title));
    }
}

bool MenuStripLayout::contains(int32_t, int32_t yFromTop) const { return yFromTop >= 0 && yFromTop < height_; }

int MenuStripLayout::titleAt(int32_t x, int32_t yFromTop) const
{
    if (!contains(x, yFromTop)) return -1;
    for (size_t i = 0; i < titles_.size(); ++i) {
        if (x >= titles_[i].left && x < titles_[i].left + titles_[i].width) return static_cast<int>(i);
    }
    return -1;
}

int MenuStripLayout::menuForMnemonic(char character) const
{
    const char wanted = lowerAscii(character);
    if (wanted == 0) return -1;
    for (size_t i = 0; i < titles_.size(); ++i) {
        if (titles_[i].mnemonic == wanted) return static_cast<int>(i);
    }
    return -1;
}

int MenuStripLayout::neighbour(int index, int step) const
{
    const int count = static_cast<int>(titles_.size());
    if (count == 0) return -1;
    return ((index + step) % count + count) % count;
}
