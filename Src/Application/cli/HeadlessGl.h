// HeadlessGl.h — an OpenGL context without a window or display (Mesa's EGL
// surfaceless platform), for loading canvases in the command-line tool: images are
// uploaded as textures and cells into vertex buffers, so the engine needs a context.
#pragma once

#include <string>

class HeadlessGl {
public:
    HeadlessGl() = default;
    ~HeadlessGl();
    HeadlessGl(const HeadlessGl&) = delete;
    HeadlessGl& operator=(const HeadlessGl&) = delete;

    // Creates the context and makes it current; false with `why()` telling the step.
    bool create();
    const std::string& why() const { return why_; }

private:
    void* display_ = nullptr;
    void* context_ = nullptr;
    std::string why_;
};
