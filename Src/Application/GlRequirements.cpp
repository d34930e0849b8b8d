#include "GlRequirements.h"

#include "Gfx.h"
#include "WindowLayer.h"

#include <GL/glew.h>

namespace {

// Fills a missing core entry point from its EXT twin; false when neither exists.
template <typename Fn>
bool resolve(Fn& core, Fn ext)
{
    if (!core) core = ext;
    return core != nullptr;
}

bool loadFramebufferEntryPoints()
{
    bool ok = true;
    ok &= resolve(__glewGenFramebuffers, __glewGenFramebuffersEXT);
    ok &= resolve(__glewDeleteFramebuffers, __glewDeleteFramebuffersEXT);
    ok &= resolve(__glewBindFramebuffer, __glewBindFramebufferEXT);
    ok &= resolve(__glewCheckFramebufferStatus, __glewCheckFramebufferStatusEXT);
    ok &= resolve(__glewFramebufferTexture2D, __glewFramebufferTexture2DEXT);
    ok &= resolve(__glewFramebufferRenderbuffer, __glewFramebufferRenderbufferEXT);
    ok &= resolve(__glewGenRenderbuffers, __glewGenRenderbuffersEXT);
    ok &= resolve(__glewDeleteRenderbuffers, __glewDeleteRenderbuffersEXT);
    ok &= resolve(__glewBindRenderbuffer, __glewBindRenderbufferEXT);
    ok &= resolve(__glewRenderbufferStorage, __glewRenderbufferStorageEXT);
    return ok;
}

}  // namespace

int32_t checkOpenGlRequirements(WindowLayer& window)
{
    if (!window.loadGlExtensions()) return GFX_ERR_GL_SUPPORT;
    // The shaders are GLSL 1.20: a context below GL 2.0 may still list the ARB shader
    // extensions but cannot run them, so it is refused here rather than at first draw.
    if (!GLEW_VERSION_2_0) return GFX_ERR_GL_SUPPORT;
    bool extensions = GLEW_ARB_fragment_shader && GLEW_ARB_vertex_shader && GLEW_ARB_shader_objects &&
                      GLEW_ARB_shading_language_100 && GLEW_ARB_texture_non_power_of_two;
    if (!extensions) return GFX_ERR_GL_SUPPORT;
    if (!loadFramebufferEntryPoints()) return GFX_ERR_GL_SUPPORT;
    return GFX_OK;
}
