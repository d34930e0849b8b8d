#include "GfxPaper.h"

#include "GfxImageCodec.h"

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

// Replaces RGB pixels by their luma, one byte a pixel, in place.
void convertToLuma(GfxImagePixels* image)
{
    const int64_t count = static_cast<int64_t>(image->width) * image->height;
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* rgb = image->pixels + 3 * i;
        const float luma = 0.2126f * rgb[0] + 0.7152f * rgb[1] + 0.0722f * rgb[2];
        image->pixels[i] = static_cast<uint8_t>(luma + 0.5f);
    }
    image->channels = 1;
}

// Decodes the stored paper JPEG into the paper object (RGB, or luma for mode 2).
// Rows are top to bottom, as in the file.
bool decodePaperImage(GfxSketch* sketch)
{
    const GfxSketchAttributes& a = sketch->attributes;
    GfxImagePixels image;
    if (gfxDecodeJpeg(sketch->system->allocator, sketch->paperImageBytes, a.paperImage.length, &image) != GFX_OK)
        return false;
    if (a.paperTextureMode == 2) convertToLuma(&image);
    GfxPaper& paper = sketch->paper;
    paper.pixels = image.pixels;
    paper.width = image.width;
    paper.height = image.height;
    paper.channels = image.channels;
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
