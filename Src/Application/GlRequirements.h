// The OpenGL the program needs: GL 2.0-class shaders, non-power-of-two textures and
// framebuffer objects (core names, or the EXT ones where the core names are missing).
#pragma once

#include <cstdint>

class WindowLayer;

// GFX_OK, or GFX_ERR_GL_SUPPORT when the context falls short. Needs a current context.
int32_t checkOpenGlRequirements(WindowLayer& window);
