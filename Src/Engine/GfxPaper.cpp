#include "GfxPaper.h"

#include "GfxImageCodec.h"
#include "GfxRenderInternal.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

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

// ----------------------------------------------------------------------------------
// [SECTION] Octaves
// ----------------------------------------------------------------------------------
int32_t gfxPaperOctaves(float g, GfxPaperDraw* draws, int32_t capacity)
{
    int32_t count = 0;
    auto add = [&](float scale, float weight, int32_t blended) {
        if (count < capacity) draws[count++] = GfxPaperDraw{scale, weight, blended};
    };
    if (!(g > 0) || !std::isfinite(g)) return 0;
    if (g >= 0.3f && g <= 3.0f) add(1.5f, 1.0f, 0);
    const bool magnified = g >= 1.0f;
    const double h = magnified ? g : 1.0 / g;
    auto weight = [h](int k) { return (h - std::ldexp(1.0, k)) / std::ldexp(1.0, k) / 2.0; };
    if (weight(1) <= 1.0) add(magnified ? 3.0f : 0.5f, static_cast<float>((h - 1.0) / 2.0), 1);
    for (int k = 1; k <= GFX_PAPER_MAX_OCTAVE && std::ldexp(1.0, k) <= h; ++k) {
        if (weight(k + 1) >= 1.0) continue;
        const double octave = std::ldexp(1.0, k);
        add(static_cast<float>(magnified ? 3.0 * octave : 1.0 / (2.5 * octave)), static_cast<float>(weight(k)), 1);
    }
    return count;
}

// ----------------------------------------------------------------------------------
// [SECTION] Paper texture
// ----------------------------------------------------------------------------------
namespace {

// The texture of the decoded paper image, made once; the decoded pixels go then.
// False when there is no image or the GL refuses it (the paper is then flat).
bool ensurePaperTexture(GfxSketch* sketch)
{
    GfxPaper& paper = sketch->paper;
    if (paper.texture) return true;
    if (!paper.pixels || paper.width <= 0 || paper.height <= 0) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    const GLenum format = paper.channels == 1 ? GL_LUMINANCE : GL_RGB;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // RGB and grey rows are not padded
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), paper.width, paper.height, 0, format,
                 GL_UNSIGNED_BYTE, paper.pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    const bool uploaded = glGetError() == GL_NO_ERROR;
    glBindTexture(GL_TEXTURE_2D, 0);
    // Either way the pixels are done with: a paper the GL refuses stays flat rather
    // than being offered to the GL again every frame.
    sketch->system->allocator.release(paper.pixels);
    paper.pixels = nullptr;
    if (!uploaded) {
        glDeleteTextures(1, &texture);
        return false;
    }
    paper.texture = texture;
    return true;
}

void viewportQuad(const GfxSketch* sketch)
{
    const float width = sketch->viewport[2];
    const float height = sketch->viewport[3];
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(width, 0);
    glVertex2f(width, height);
    glVertex2f(0, height);
    glEnd();
}

void drawFlatPaper(const GfxSketch* sketch)
{
    const GfxPaper& paper = sketch->paper;
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor4ub(paper.colour[0], paper.colour[1], paper.colour[2], 255);
    viewportQuad(sketch);
}

// The paper's texture matrix with the open view gesture applied: the paper moves,
// turns, zooms and mirrors with the canvas.
GfxMatrix paperMatrix(const GfxSketch* sketch)
{
    if (sketch->viewGesture.kind == 0) return sketch->paper.textureMatrix;
    GfxGesture gesture = sketch->viewGesture.gesture;
    gesture.kind = sketch->viewGesture.kind - 1;
    return gfxMatrixMultiply(gfxGestureMatrix(gesture), sketch->paper.textureMatrix);
}

// Viewport pixels to texture coordinates of the unmoved paper at scale 1. Rows are
// stored top first, so t runs downwards; the multi-scale mode keeps the aspect ratio.
GfxMatrix basePaperCoordinates(const GfxPaper& paper)
{
    const float aspect = paper.multiScale && paper.height > 0 ? static_cast<float>(paper.width) / paper.height : 1.0f;
    return gfxMatrixScale(1.0f / GFX_PAPER_QUAD_SIZE, -aspect / GFX_PAPER_QUAD_SIZE);
}

// One copy of the texture over the viewport. The vertices carry the base
// coordinates; the texture matrix scales them and undoes the paper's movement:
// texture matrix = scale x base x paper^-1 x base^-1.
void drawTexturedCopy(const GfxSketch* sketch, const GfxMatrix& base, const GfxMatrix& baseInverse,
                      const GfxMatrix& paperInverse, const GfxPaperDraw& draw)
{
    const GfxMatrix texture =
        gfxMatrixMultiply(gfxMatrixScale(draw.scale, draw.scale),
                          gfxMatrixMultiply(base, gfxMatrixMultiply(paperInverse, baseInverse)));
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(texture.m);
    glMatrixMode(GL_MODELVIEW);
    if (draw.blended) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA);
        glBlendColor(0, 0, 0, std::clamp(draw.weight, 0.0f, 1.0f));
    } else {
        glDisable(GL_BLEND);
    }
    const float width = sketch->viewport[2];
    const float height = sketch->viewport[3];
    const float corners[8] = {0, 0, width, 0, width, height, 0, height};
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        float s, t;
        gfxMatrixTransformPoint(base, corners[2 * i], corners[2 * i + 1], &s, &t);
        glTexCoord2f(s, t);
        glVertex2f(corners[2 * i], corners[2 * i + 1]);
    }
    glEnd();
}

// The strength blend: 1 - strength of one uniform colour of the texture over the
// grain. The colour is the texture's average (its smallest mipmap level), so it does
// not change as the paper moves.
void drawStrengthBlend(const GfxSketch* sketch)
{
    const float strength = sketch->paper.textureStrength;
    const float alpha = 1.0f - (std::isfinite(strength) ? std::clamp(strength, 0.0f, 1.0f) : 1.0f);
    if (alpha <= 0) return;
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_LOD, 1000.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA);
    glBlendColor(0, 0, 0, alpha);
    glTexCoord2f(0, 0);
    viewportQuad(sketch);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_LOD, -1000.0f);
}

void drawTexturedPaper(const GfxSketch* sketch)
{
    const GfxPaper& paper = sketch->paper;
    drawFlatPaper(sketch);  // under everything, in case no copy is opaque
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, paper.texture);
    // A grey texture always takes the paper colour; a colour texture only when tinted.
    const bool tinted = paper.channels == 1 || paper.tint;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, tinted ? GL_MODULATE : GL_REPLACE);
    glColor4ub(paper.colour[0], paper.colour[1], paper.colour[2], 255);

    const GfxMatrix moved = paperMatrix(sketch);
    GfxMatrix paperInverse;
    gfxMatrixInvert(moved, &paperInverse);
    const GfxMatrix base = basePaperCoordinates(paper);
    GfxMatrix baseInverse;
    gfxMatrixInvert(base, &baseInverse);

    GfxPaperDraw draws[GFX_PAPER_MAX_DRAWS];
    int32_t count = 0;
    if (paper.multiScale) {
        const double zoom = std::sqrt(std::fabs(static_cast<double>(moved.m[0]) * moved.m[5] -
                                                static_cast<double>(moved.m[1]) * moved.m[4]));
        count = gfxPaperOctaves(static_cast<float>(1.25 * zoom), draws, GFX_PAPER_MAX_DRAWS);
    } else {
        draws[count++] = GfxPaperDraw{GFX_PAPER_SIMPLE_SCALE, 1.0f, 0};
    }
    for (int32_t i = 0; i < count; ++i) drawTexturedCopy(sketch, base, baseInverse, paperInverse, draws[i]);
    drawStrengthBlend(sketch);

    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

}  // namespace

void gfxDrawPaper(GfxSketch* sketch)
{
    glUseProgram(0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const bool textured = sketch->paper.textureMode != 0 && ensurePaperTexture(sketch);
    if (textured) drawTexturedPaper(sketch);
    else drawFlatPaper(sketch);
}
