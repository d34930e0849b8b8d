// gfxRenderSketch: one frame of a sketch into the current framebuffer.
//
// [SECTION] GL requirements (first use)
// [SECTION] Frame set-up and default state
// [SECTION] gfxRenderSketch
//
// The frame follows the model's render state: needsRedraw (full redraw of the
// sketch) and per layer renderState, heldBack and cachedIndex (GfxInternal.h). The
// layer passes, the shader programs and the paper texture are the renderer's pieces
// and plug into the marked places below.
#include "GfxInternal.h"

#include <GL/glew.h>

// ----------------------------------------------------------------------------------
// [SECTION] GL requirements (first use)
// ----------------------------------------------------------------------------------
namespace {

// GFX_OK when the context can run the programs. Reads GLEW's flags, which the
// application's glewInit filled.
int32_t checkGlSupport()
{
    if (!GLEW_ARB_fragment_shader || !GLEW_ARB_vertex_shader || !GLEW_ARB_shader_objects ||
        !GLEW_ARB_shading_language_100)
        return GFX_ERR_GPU_SUPPORT;
    if (!GLEW_ARB_texture_non_power_of_two) return GFX_ERR_GL_SUPPORT;
    return GFX_OK;
}

// Repeated on every frame until it succeeds.
int32_t ensureGlReady(GfxSystem* system)
{
    if (system->glReady) return GFX_OK;
    const int32_t code = checkGlSupport();
    if (code != GFX_OK) return code;
    // The marker and pencil programs are built here (programCount 2) before glReady.
    system->glReady = 1;
    return GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Frame set-up and default state
// ----------------------------------------------------------------------------------
void setUpFrame(const GfxSketch* sketch)
{
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    // With a framebuffer object bound (off-screen work, tests) its own attachment is
    // the target; GL_BACK would be an error there.
    if (framebuffer == 0) {
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
    }
    const GLint x = static_cast<GLint>(sketch->viewport[0]);
    const GLint y = static_cast<GLint>(sketch->viewport[1]);
    const GLsizei width = static_cast<GLsizei>(sketch->viewport[2]);
    const GLsizei height = static_cast<GLsizei>(sketch->viewport[3]);
    glViewport(x, y, width, height);
    glScissor(x, y, width, height);
    glEnable(GL_SCISSOR_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, sketch->viewport[2], 0, sketch->viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(sketch->frameMatrix.m);
}

void restoreDefaultState()
{
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBlendFunc(GL_ONE, GL_ZERO);
    glBlendEquation(GL_FUNC_ADD);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

// The frame's model-view: the open view gesture applied to the view.
GfxMatrix frameMatrixOf(const GfxSketch* sketch)
{
    if (sketch->viewGesture.kind == 0) return sketch->view;
    GfxGesture gesture = sketch->viewGesture.gesture;
    gesture.kind = sketch->viewGesture.kind - 1;
    return gfxMatrixMultiply(gfxGestureMatrix(gesture), sketch->view);
}

void drawPaper(const GfxSketch* sketch)
{
    if (sketch->paperVisible) {
        const GfxPaper& paper = sketch->paper;
        glClearColor(paper.colour[0] / 255.0f, paper.colour[1] / 255.0f, paper.colour[2] / 255.0f, 1.0f);
    } else {
        glClearColor(0, 0, 0, 0);
    }
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] gfxRenderSketch
// ----------------------------------------------------------------------------------
void gfxRenderSketch(GfxSketch* sketch)
{
    if (!sketch) return;
    GfxSystem* system = sketch->system;
    const int32_t ready = ensureGlReady(system);
    if (ready != GFX_OK) {
        system->lastError = ready;
        return;
    }
    // Widths are baked into the cells. Not while the view moves (the cells would be
    // built for a scale about to change) or an element is open (its cells come at its end).
    bool rebuildFailed = false;
    if (sketch->rebuildCells && sketch->viewGesture.kind == 0 && !sketch->elementOpen) {
        system->lastError = GFX_OK;
        gfxRebuildAllCells(sketch);
        rebuildFailed = system->lastError != GFX_OK;
    }
    sketch->frameMatrix = frameMatrixOf(sketch);
    setUpFrame(sketch);

    for (int32_t position = 0; position < sketch->layerCount; ++position) {
        GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        if (!layer) {
            restoreDefaultState();
            system->lastError = GFX_ERR_INTERNAL;
            return;
        }
        // Layer pass of a visible layer: the renderer's.
        if (!layer->visible && sketch->needsRedraw) layer->renderState = GFX_RENDER_REDRAW_ALL;
    }

    drawPaper(sketch);
    // Composite of the visible layers: the renderer's.
    restoreDefaultState();
    sketch->needsRedraw = 0;
    // A failed cell rebuild is reported, the frame is drawn all the same.
    system->lastError = rebuildFailed ? GFX_ERR_FAILED : GFX_OK;
}
