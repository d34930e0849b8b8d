#include "HeadlessGl.h"

#include <GL/glew.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>

HeadlessGl::~HeadlessGl()
{
    if (!display_) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_) eglDestroyContext(display_, context_);
    eglTerminate(display_);
}

bool HeadlessGl::create()
{
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        why_ = "EGL has no eglGetPlatformDisplayEXT";
        return false;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        why_ = "no surfaceless EGL display (is Mesa installed?)";
        return false;
    }
    display_ = display;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        why_ = "EGL cannot bind desktop OpenGL";
        return false;
    }
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        why_ = "EGL gave no OpenGL context";
        return false;
    }
    context_ = context;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        why_ = "the OpenGL context cannot be made current";
        return false;
    }
    // Debian's GLEW is built for GLX: without a GLX display it still loads the GL
    // entry points and then reports GLEW_ERROR_NO_GLX_DISPLAY, which is success here.
    GLenum result = glewInit();
    if (result != GLEW_OK && result != GLEW_ERROR_NO_GLX_DISPLAY) {
        why_ = "GLEW could not load the OpenGL entry points";
        return false;
    }
    return true;
}
