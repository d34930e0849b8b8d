#include "GlTestContext.h"

#include <GL/glew.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct EglState {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    bool ready = false;
};

EglState& state()
{
    static EglState s;
    return s;
}

EGLDisplay openSurfacelessDisplay()
{
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

}  // namespace

bool glTestContextMakeCurrent()
{
    EglState& s = state();
    if (s.ready) return eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, s.context) == EGL_TRUE;

    s.display = openSurfacelessDisplay();
    if (s.display == EGL_NO_DISPLAY) return false;
    if (!eglInitialize(s.display, nullptr, nullptr)) return false;
    if (!eglBindAPI(EGL_OPENGL_API)) return false;
    s.context = eglCreateContext(s.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
    if (s.context == EGL_NO_CONTEXT) return false;
    if (!eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, s.context)) return false;
    // Debian's GLEW is built for GLX: without a GLX display it loads the GL entry
    // points and then reports GLEW_ERROR_NO_GLX_DISPLAY, which is success here.
    GLenum glewResult = glewInit();
    if (glewResult != GLEW_OK && glewResult != GLEW_ERROR_NO_GLX_DISPLAY) return false;
    s.ready = true;
    return true;
}

GlTestFramebuffer::GlTestFramebuffer(int width, int height) : width_(width), height_(height)
{
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glGenRenderbuffers(1, &colour_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    // Mesa only accepts depth and stencil packed together on a framebuffer object.
    glGenRenderbuffers(1, &depthStencil_);
    glBindRenderbuffer(GL_RENDERBUFFER, depthStencil_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthStencil_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencil_);
    complete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width, height);
}

GlTestFramebuffer::~GlTestFramebuffer()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &depthStencil_);
    glDeleteRenderbuffers(1, &colour_);
    glDeleteFramebuffers(1, &framebuffer_);
}

void GlTestFramebuffer::bind() const
{
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width_, height_);
}

std::vector<uint8_t> GlTestFramebuffer::readPixels() const
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::array<uint8_t, 4> GlTestFramebuffer::pixel(int x, int y) const
{
    std::array<uint8_t, 4> rgba{};
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}
