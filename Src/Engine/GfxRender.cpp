// gfxRenderSketch: one frame of a sketch into the current framebuffer.
//
// [SECTION] GL requirements (first use)
// [SECTION] Frame set-up and default state
// [SECTION] Textures and viewport quads
// [SECTION] Layer pass
// [SECTION] Composite
// [SECTION] Frame
//
// Each visible layer is drawn in the framebuffer and copied into its own
// viewport-sized texture, which is kept between frames: a frame walks only the
// records added since the layer's cachedIndex. The newest records of the current
// layer (at most GFX_HELD_BACK_MAX, and the open element) stay out of that cache and
// are drawn on top into the sketch's live texture every frame, so undoing them needs
// no full redraw. Then the paper is drawn and the layers are composited over it.
#include "GfxRenderInternal.h"
#include "GfxShaders.h"

#include <GL/glew.h>

#include <algorithm>

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

}  // namespace

int32_t gfxEnsureGlReady(GfxSystem* system)
{
    if (system->glReady) return GFX_OK;
    int32_t code = checkGlSupport();
    if (code == GFX_OK) code = gfxBuildShaderPrograms(system);
    if (code != GFX_OK) return code;
    system->glReady = 1;
    return GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Frame set-up and default state
// ----------------------------------------------------------------------------------
void gfxSetUpFrame(GfxSketch* sketch)
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
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(sketch->frameMatrix.m);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFF);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void gfxRestoreDefaultState()
{
    glUseProgram(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glBlendEquation(GL_FUNC_ADD);
    glBlendColor(0, 0, 0, 0);
    glDisable(GL_DEPTH_TEST);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glDisable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // The interface is drawn over the whole window after the canvas, which may
    // cover only part of it.
    glDisable(GL_SCISSOR_TEST);
    glColor4f(1, 1, 1, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

GfxMatrix gfxFrameMatrixOf(const GfxSketch* sketch)
{
    if (sketch->viewGesture.kind == 0) return sketch->view;
    GfxGesture gesture = sketch->viewGesture.gesture;
    gesture.kind = sketch->viewGesture.kind - 1;
    return gfxMatrixMultiply(gfxGestureMatrix(gesture), sketch->view);
}

// ----------------------------------------------------------------------------------
// [SECTION] Textures and viewport quads
// ----------------------------------------------------------------------------------
GfxRenderScratch::~GfxRenderScratch()
{
    // Nothing was made without a GL: the entry points may not even be loaded then.
    for (int32_t i = 0; i < GFX_RENDER_MAX_NESTING; ++i) {
        if (savedTextures[i]) glDeleteTextures(1, &savedTextures[i]);
        savedTextures[i] = 0;
    }
    if (streamBuffer) glDeleteBuffers(1, &streamBuffer);
    streamBuffer = 0;
}

uint32_t gfxCreateLayerTexture(const GfxSketch* sketch)
{
    const GLsizei width = sketch->layerTextureSize[0];
    const GLsizei height = sketch->layerTextureSize[1];
    if (width <= 0 || height <= 0) return 0;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &texture);
        texture = 0;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

void gfxCopyViewportToTexture(const GfxSketch* sketch, uint32_t texture)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLint>(sketch->viewport[0]),
                        static_cast<GLint>(sketch->viewport[1]), static_cast<GLsizei>(sketch->viewport[2]),
                        static_cast<GLsizei>(sketch->viewport[3]));
}

void gfxDrawViewportQuad(const GfxSketch* sketch, uint32_t texture)
{
    const float width = sketch->viewport[2];
    const float height = sketch->viewport[3];
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    float s = 1, t = 1;
    if (texture) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        s = width / static_cast<float>(sketch->layerTextureSize[0]);
        t = height / static_cast<float>(sketch->layerTextureSize[1]);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(s, 0);
    glVertex2f(width, 0);
    glTexCoord2f(s, t);
    glVertex2f(width, height);
    glTexCoord2f(0, t);
    glVertex2f(0, height);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

// ----------------------------------------------------------------------------------
// [SECTION] Layer pass
// ----------------------------------------------------------------------------------
namespace {

GfxGesture gestureOf(const GfxGestureState& state)
{
    GfxGesture gesture = state.gesture;
    gesture.kind = state.kind - 1;
    return gesture;
}

// G: how much larger than canvas units the layer shows now, open gestures included.
float layerScaleFactor(const GfxSketch* sketch, const GfxLayer* layer)
{
    float scale = layer->scale * sketch->viewScale;
    if (layer->gesture.kind != 0) scale *= gfxGestureScaleFactor(gestureOf(layer->gesture));
    if (sketch->viewGesture.kind != 0) scale *= gfxGestureScaleFactor(gestureOf(sketch->viewGesture));
    return scale;
}

// The frame's model-view, with an open layer gesture moving the layer on screen.
GfxMatrix layerModelView(const GfxSketch* sketch, const GfxLayer* layer)
{
    if (layer->gesture.kind == 0) return sketch->frameMatrix;
    const GfxMatrix moved = gfxMatrixMultiply(
        sketch->viewInverse, gfxMatrixMultiply(gfxGestureMatrix(gestureOf(layer->gesture)), sketch->view));
    return gfxMatrixMultiply(sketch->frameMatrix, moved);
}

void clearColour()
{
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Puts a texture into the framebuffer as it is.
void drawTextureReplacing(const GfxSketch* sketch, uint32_t texture)
{
    glUseProgram(0);
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gfxDrawViewportQuad(sketch, texture);
}

bool ensureTexture(const GfxSketch* sketch, uint32_t* texture)
{
    if (!*texture) *texture = gfxCreateLayerTexture(sketch);
    return *texture != 0;
}

// The layer's records drawn into its texture (and, for the current layer, into the
// live texture with the held-back records on top).
void renderLayerPass(GfxSketch* sketch, GfxLayer* layer, bool current)
{
    GfxRenderScratch& render = sketch->render;
    const int32_t last = layer->records.cursor - 1;
    const bool holding = current && (layer->renderState == GFX_RENDER_NEW_RECORDS || sketch->elementOpen);
    if (!holding) layer->heldBack = 0;
    const int32_t held = holding ? std::min(layer->heldBack, GFX_HELD_BACK_MAX) : 0;
    const int32_t cacheEnd = std::max(last - held, layer->baseIndex - 1);
    const bool full = sketch->needsRedraw || layer->renderState == GFX_RENDER_REDRAW_ALL || !layer->texture ||
                      cacheEnd < layer->cachedIndex || layer->cachedIndex < layer->baseIndex - 1;
    const bool liveReady = !current || (sketch->liveTexture && render.liveSlot == layer->slot);
    if (!full && layer->renderState == GFX_RENDER_CLEAN && cacheEnd == last && layer->cachedIndex == last && liveReady)
        return;  // nothing changed: the textures are up to date

    if (!ensureTexture(sketch, &layer->texture)) return;
    ++render.stats.layerPasses;
    const GfxMatrix modelView = layerModelView(sketch, layer);
    const float scale = layerScaleFactor(sketch, layer);
    GfxCachedPen pen = layer->cachedPen;
    int32_t start = layer->cachedIndex + 1;
    if (full) {
        ++render.stats.fullLayerRedraws;
        clearColour();
        pen = gfxInitialWalkPen();
        start = layer->baseIndex;
    } else {
        drawTextureReplacing(sketch, layer->texture);
    }
    if (start <= cacheEnd) gfxWalkRecords(sketch, layer, modelView, scale, {start, cacheEnd}, &pen);
    if (full || start <= cacheEnd) gfxCopyViewportToTexture(sketch, layer->texture);
    layer->cachedIndex = cacheEnd;
    layer->cachedPen = pen;

    if (current) {
        if (cacheEnd < last) {
            GfxCachedPen livePen = pen;
            gfxWalkRecords(sketch, layer, modelView, scale, {cacheEnd + 1, last}, &livePen);
        }
        if (ensureTexture(sketch, &sketch->liveTexture)) {
            gfxCopyViewportToTexture(sketch, sketch->liveTexture);
            render.liveSlot = layer->slot;
        }
    }
    layer->renderState = GFX_RENDER_CLEAN;
}

// The open element, if any, is the record named by the newest history entry.
void findOpenElement(GfxSketch* sketch)
{
    GfxRenderScratch& render = sketch->render;
    render.openSlot = render.openIndex = -1;
    if (!sketch->elementOpen || sketch->history.cursor == 0) return;
    const GfxHistoryEntry newest = *gfxHistoryAt(sketch, sketch->history.cursor - 1);
    if (!gfxIsElementType(newest.kind)) return;
    render.openSlot = newest.slot;
    render.openIndex = newest.value;
}

// ----------------------------------------------------------------------------------
// [SECTION] Composite
// ----------------------------------------------------------------------------------
float clampedOpacity(float opacity)
{
    if (!(opacity > 0)) return 0;  // NaN too
    return opacity < 1 ? opacity : 1;
}

void compositeLayers(GfxSketch* sketch)
{
    glUseProgram(0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glBlendEquation(GL_FUNC_ADD);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    for (int32_t position = 0; position < sketch->layerCount; ++position) {
        const GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        if (!layer || !layer->visible) continue;
        const bool current = position == sketch->attributes.currentLayer;
        const uint32_t texture = current ? sketch->liveTexture : layer->texture;
        if (!texture) continue;
        // Premultiplied: all four channels scale with the opacity.
        const float opacity = clampedOpacity(layer->opacity);
        glColor4f(opacity, opacity, opacity, opacity);
        gfxDrawViewportQuad(sketch, texture);
    }
    glDisable(GL_BLEND);
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Frame
// ----------------------------------------------------------------------------------
int32_t gfxRenderFrame(GfxSketch* sketch)
{
    GfxSystem* system = sketch->system;
    const int32_t ready = gfxEnsureGlReady(system);
    if (ready != GFX_OK) return ready;
    // Widths are baked into the cells. Not while the view moves (the cells would be
    // built for a scale about to change) or an element is open (its cells come at its end).
    bool rebuildFailed = false;
    if (sketch->rebuildCells && sketch->viewGesture.kind == 0 && !sketch->elementOpen) {
        system->lastError = GFX_OK;
        gfxRebuildAllCells(sketch);
        rebuildFailed = system->lastError != GFX_OK;
    }
    sketch->frameMatrix = gfxFrameMatrixOf(sketch);
    gfxSetUpFrame(sketch);
    findOpenElement(sketch);

    for (int32_t position = 0; position < sketch->layerCount; ++position) {
        GfxLayer* layer = gfxLayerAtPosition(sketch, position);
        if (!layer) {
            gfxRestoreDefaultState();
            return GFX_ERR_INTERNAL;
        }
        if (layer->visible) renderLayerPass(sketch, layer, position == sketch->attributes.currentLayer);
        else if (sketch->needsRedraw) layer->renderState = GFX_RENDER_REDRAW_ALL;
    }

    if (sketch->paperVisible) {
        gfxDrawPaper(sketch);
    } else {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    compositeLayers(sketch);
    gfxRestoreDefaultState();
    sketch->needsRedraw = 0;
    ++sketch->render.stats.frames;
    // A failed cell rebuild is reported, the frame is drawn all the same.
    return rebuildFailed ? GFX_ERR_FAILED : GFX_OK;
}

void gfxRenderSketch(GfxSketch* sketch)
{
    if (!sketch) return;
    sketch->system->lastError = gfxRenderFrame(sketch);
}

void gfxRenderLayerAlone(GfxSketch* sketch, GfxLayer* layer)
{
    sketch->frameMatrix = gfxFrameMatrixOf(sketch);
    gfxSetUpFrame(sketch);
    findOpenElement(sketch);
    clearColour();
    GfxCachedPen pen = gfxInitialWalkPen();
    gfxWalkRecords(sketch, layer, layerModelView(sketch, layer), layerScaleFactor(sketch, layer),
                   {layer->baseIndex, layer->records.cursor - 1}, &pen);
    gfxRestoreDefaultState();
}
