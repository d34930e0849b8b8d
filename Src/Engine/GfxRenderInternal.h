// GfxRenderInternal — the renderer's pieces, shared by the frame (GfxRender.cpp),
// the record walk (GfxRenderWalk.cpp), the paper (GfxPaper.cpp) and off-screen
// rendering (GfxOffscreen.cpp).
//
// Coordinates: every draw is in viewport pixels, (0, 0) at the viewport's lower-left
// corner, under an orthographic projection of the viewport; the model-view maps
// record coordinates to those pixels. Layer textures are layerTextureSize large and
// hold the viewport area at their lower-left corner, premultiplied RGBA.
#pragma once

#include "GfxInternal.h"

// ----------------------------------------------------------------------------------
// [SECTION] Frame
// ----------------------------------------------------------------------------------
// The first-use GL checks and programs (errors 4 and 3), repeated until they pass.
int32_t gfxEnsureGlReady(GfxSystem* system);
// Draw and read buffer, viewport, scissor, projection; model-view = frameMatrix.
void gfxSetUpFrame(GfxSketch* sketch);
// The state every frame leaves behind (blend ONE/ZERO, depth LESS, MODULATE, …).
void gfxRestoreDefaultState();
// The frame's model-view: the open view gesture applied to the view.
GfxMatrix gfxFrameMatrixOf(const GfxSketch* sketch);
// One whole frame as gfxRenderSketch draws it; returns the code for lastError.
int32_t gfxRenderFrame(GfxSketch* sketch);
// The layer alone, everything from its baseIndex, on a cleared buffer under the
// current view (off-screen mode 1). Layer caches are left alone.
void gfxRenderLayerAlone(GfxSketch* sketch, GfxLayer* layer);

// ----------------------------------------------------------------------------------
// [SECTION] Drawing helpers
// ----------------------------------------------------------------------------------
// A quad over the whole viewport (model-view identity), textured with `texture`
// (0: untextured) at the sketch's texture size, nearest filtering.
void gfxDrawViewportQuad(const GfxSketch* sketch, uint32_t texture);
// A viewport-sized RGBA texture of layerTextureSize; 0 when the GL refuses.
uint32_t gfxCreateLayerTexture(const GfxSketch* sketch);
// Copies the viewport area of the framebuffer into `texture` at its corner.
void gfxCopyViewportToTexture(const GfxSketch* sketch, uint32_t texture);

// ----------------------------------------------------------------------------------
// [SECTION] Record walk
// ----------------------------------------------------------------------------------
// The pen state a walk starts with when it does not resume from a cache: the
// values of a newly created layer.
GfxCachedPen gfxInitialWalkPen();

struct GfxWalkRange {
    int32_t first;  // first record index walked
    int32_t last;   // last record index walked (last < first: nothing)
};

// Walks records first..last of `layer` into the framebuffer (which holds the layer so
// far) under `modelView` (viewport pixels from canvas space, before the layer's own
// matrix). `scale` is G: the layer and view scale with any open gesture factors.
// `pen` is the starting state and receives the state reached at `last`.
void gfxWalkRecords(GfxSketch* sketch, GfxLayer* layer, const GfxMatrix& modelView, float scale,
                    GfxWalkRange range, GfxCachedPen* pen);

// ----------------------------------------------------------------------------------
// [SECTION] Paper
// ----------------------------------------------------------------------------------
// The paper over the whole viewport: flat colour, or the texture with its octaves
// and the strength blend (GfxPaper.h).
void gfxDrawPaper(GfxSketch* sketch);
