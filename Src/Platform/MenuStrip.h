// MenuStrip: the menu bar a GLUT window lacks, as a strip across the top of the
// window. This is the strip's logic, free of any toolkit: where the titles sit,
// which title a point or a mnemonic names, and which menu the arrow keys move to.
// The Linux window layer draws it with Qt and opens its drop-downs as QMenus.
//
// The strip takes the top `height()` pixels of the window; the canvas and the
// interface live in the client area below it. Pointer positions here are measured
// from the window's top-left corner.
#pragma once

#include "MenuTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class MenuStripLayout {
public:
    struct Title {
        std::string label;     // caption without mnemonic markers
        int32_t left = 0;      // pixels from the window's left edge
        int32_t width = 0;
        char mnemonic = 0;     // lower case, 0 for none
    };

    // Space on each side of a title's text, and before the first title.
    static constexpr int32_t TITLE_PADDING = 8;
    static constexpr int32_t STRIP_MARGIN = 2;

    // Measures every title of the bar with `measureText` (pixel width of a label).
    void layOut(const MenuBar& bar, const std::function<int32_t(std::string_view)>& measureText);
    void setHeight(int32_t height) { height_ = height; }
    int32_t height() const { return height_; }

    const std::vector<Title>& titles() const { return titles_; }
    bool contains(int32_t x, int32_t yFromTop) const;
    // The title under the point, or -1.
    int titleAt(int32_t x, int32_t yFromTop) const;
    // The menu whose mnemonic is this character (any case), or -1. Titles without a
    // mnemonic are never chosen this way.
    int menuForMnemonic(char character) const;
    // The menu the Left (step -1) or Right (step +1) key moves to, wrapping around.
    int neighbour(int index, int step) const;

private:
    std::vector<Title> titles_;
    int32_t height_ = 0;
};
