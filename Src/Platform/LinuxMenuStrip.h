// LinuxMenuStrip: the menu bar of the GLUT window on X11.
//
// A GLUT window has no native menu bar, so the strip is drawn by the program across
// the top of the window: Qt paints the titles into an image, which goes on screen
// with glDrawPixels just before every buffer swap. The drop-downs and the right-click
// pop-up are QMenus. Titles open with the mouse, with Alt and their mnemonic letter,
// and with F10 (the first menu); Left and Right move between menus, and moving the
// pointer to another title while a menu is open switches to it, as menu bars do.
//
// A chosen item is handed to `choose`, which the window layer posts so that it
// arrives as a special key after the event that opened the menu has returned.
#pragma once

#include "MenuStrip.h"
#include "MenuTypes.h"

#include <QImage>

#include <cstdint>
#include <functional>

class QMenu;

class LinuxMenuStrip {
public:
    struct Window {
        // Window pixels (from the top-left corner) to screen pixels.
        std::function<void(int32_t x, int32_t yFromTop, int32_t* screenX, int32_t* screenY)> toScreen;
        // Window pixels of the pointer, measured from the top-left corner.
        std::function<void(int32_t screenX, int32_t screenY, int32_t* x, int32_t* yFromTop)> fromScreen;
        std::function<void(int32_t id)> choose;
        std::function<void()> redraw;
        // Keeps the GLUT window serviced while a menu runs its own loop.
        std::function<void()> serviceWindow;
        // Ends the pointer grab the window took with the button press, so the menu can grab.
        std::function<void()> releasePointer;
        // After a menu closed: the keys it swallowed may have been modifier releases.
        std::function<void()> menuClosed;
    };

    // Once the Qt application exists: measures the font, which fixes the height.
    void start(Window window);
    bool started() const { return started_; }
    // 0 until a menu bar is set: a window without menus keeps all its pixels.
    int32_t height() const;

    void setBar(const MenuBar& bar);
    const MenuBar& bar() const { return bar_; }
    const MenuStripLayout& layout() const { return layout_; }

    // Draws the strip into the back buffer of the current context.
    void draw(int32_t windowWidth, int32_t windowHeight);

    // Pointer and keys, window pixels from the top. True when the strip took the event.
    bool mouse(int32_t button, int32_t state, int32_t x, int32_t yFromTop);
    bool passiveMotion(int32_t x, int32_t yFromTop);
    // Alt with a mnemonic letter. `modifiers`: GLUT_ACTIVE_* bits.
    bool key(unsigned char key, int32_t modifiers);
    // F10.
    bool special(int32_t key, int32_t modifiers);

    // The right-click pop-up at window pixels (from the top).
    void popup(const MenuBar& menus, int32_t x, int32_t yFromTop);

    bool menuOpen() const { return openIndex_ >= 0 || popupOpen_; }

private:
    void openMenus(int index, bool fromKeyboard);
    // Runs one menu; returns the chosen identifier (0 for none) and sets *next to the
    // menu to open instead (-1 for none).
    int32_t runMenu(QMenu& menu, int32_t screenX, int32_t screenY, int index, bool selectFirst, int* next);
    void renderImage(int32_t width);
    int32_t measure(std::string_view text) const;

    Window window_;
    bool started_ = false;
    int32_t fontHeight_ = 0;
    MenuBar bar_;
    MenuStripLayout layout_;
    int hoverIndex_ = -1;
    int openIndex_ = -1;
    bool popupOpen_ = false;
    QImage image_;
    bool imageDirty_ = true;
};
