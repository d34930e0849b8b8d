// The paper object of a sketch: its settings and the decoded paper image the
// renderer turns into a texture.
#pragma once

#include "GfxInternal.h"

// Copies the paper settings of the sketch's attributes into the paper object; its
// image, texture and texture matrix are kept.
void gfxPaperCopySettings(GfxSketch* sketch);
// Releases the paper object and builds it again from the attributes: the stored
// image is decoded when paperTextureMode is not 0 and the encoding is JPEG (mode 2
// converts it to single-channel luma); the texture matrix becomes the identity.
// False when the image cannot be decoded (the paper is then flat).
bool gfxPaperRebuild(GfxSketch* sketch);
// Releases the decoded image and the texture.
void gfxPaperRelease(GfxSketch* sketch);

// ----------------------------------------------------------------------------------
// [SECTION] Drawing the paper (GfxPaper.cpp; drawn by gfxDrawPaper, GfxRenderInternal.h)
// ----------------------------------------------------------------------------------
// The textured paper is a quad over the viewport whose texture coordinates follow
// the view through the paper's texture matrix: one texture repeat spans
// GFX_PAPER_QUAD_SIZE viewport pixels at scale 1 (the multi-scale mode keeps the
// image's aspect ratio). In the multi-scale mode the grain is drawn as several
// copies ("octaves") at different scales, faded in and out by the zoom so the grain
// never becomes too large or too small.
constexpr float GFX_PAPER_QUAD_SIZE = 3800.0f;
constexpr float GFX_PAPER_SIMPLE_SCALE = 4.0f;  // paperMultiScale off: one copy repeated 4x
constexpr int32_t GFX_PAPER_MAX_DRAWS = 32;
constexpr int32_t GFX_PAPER_MAX_OCTAVE = 27;    // octaves 2^k up to 2^27

// One copy of the paper texture: texture coordinates multiplied by `scale`, drawn
// with constant alpha `weight` (clamped to [0, 1] when drawn) when `blended`, else opaque.
struct GfxPaperDraw {
    float scale;
    float weight;
    int32_t blended;
};

// The copies for g = 1.25 x the paper's zoom, coarse first:
//   0.3 <= g <= 3: the base copy at scale 1.5, opaque;
//   g >= 1 (h = g) or g < 1 (h = 1 / g), with weight(k) = (h - 2^k) / 2^k / 2:
//     octave 0 at scale 3 (g < 1: 0.5) with weight (h - 1) / 2 when weight(1) <= 1;
//     octave k >= 1 with 2^k <= h at scale 3 x 2^k (g < 1: 1 / (2.5 x 2^k)) with
//     weight(k) when weight(k + 1) < 1 (a copy that the next one covers fully is left out).
// Returns the number written (at most `capacity`).
int32_t gfxPaperOctaves(float g, GfxPaperDraw* draws, int32_t capacity);
