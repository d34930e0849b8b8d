// ScreenMode: the hook every window callback consults first. Only the default mode
// exists; it accepts everything and draws both the canvas and the interface.
#pragma once

class ScreenMode {
public:
    virtual ~ScreenMode() = default;
    // False swallows the key event.
    virtual bool acceptKeyInput() { return true; }
    // True when the canvas is drawn this frame.
    virtual bool renderCanvas() { return true; }
    // False stops the frame after the canvas.
    virtual bool drawInterface() { return true; }
    virtual void enter() {}
    virtual void leave() {}
    virtual void mouseButton(int /*button*/, int /*state*/, int /*x*/, int /*y*/) {}
};
