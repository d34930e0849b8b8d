// A real Mesa OpenGL context for engine tests: EGL surfaceless, so no display is
// needed, rendering into a framebuffer object with packed depth 24 / stencil 8.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Creates the process-wide context on first use and makes it current.
// Returns false when no EGL/Mesa context can be had (the test must then fail,
// never skip: CI always has Mesa).
bool glTestContextMakeCurrent();

// A colour + depth/stencil framebuffer object, bound on creation.
class GlTestFramebuffer {
public:
    GlTestFramebuffer(int width, int height);
    ~GlTestFramebuffer();
    GlTestFramebuffer(const GlTestFramebuffer&) = delete;
    GlTestFramebuffer& operator=(const GlTestFramebuffer&) = delete;

    bool complete() const { return complete_; }
    void bind() const;
    int width() const { return width_; }
    int height() const { return height_; }
    // RGBA, bottom row first.
    std::vector<uint8_t> readPixels() const;
    std::array<uint8_t, 4> pixel(int x, int y) const;

private:
    int width_ = 0;
    int height_ = 0;
    unsigned framebuffer_ = 0;
    unsigned colour_ = 0;
    unsigned depthStencil_ = 0;
    bool complete_ = false;
};
