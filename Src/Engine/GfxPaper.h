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
