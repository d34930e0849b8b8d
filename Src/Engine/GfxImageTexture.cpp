// GfxImageTexture — uploading a placed image, halving it until the GL takes it.
#include "GfxImageTexture.h"

#include <GL/glew.h>

namespace {

int32_t imageTextureSizeLimit = GFX_IMAGE_TEXTURE_NO_LIMIT;

constexpr int32_t STALE_ERROR_DRAIN_LIMIT = 16;  // glGetError can report several queued flags

void drainGlErrors()
{
    for (int32_t i = 0; i < STALE_ERROR_DRAIN_LIMIT && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// True when the GL accepted the pixels into the bound texture.
bool uploadOnce(const GfxImagePixels& image)
{
    if (image.width > imageTextureSizeLimit || image.height > imageTextureSizeLimit) return false;
    drainGlErrors();  // an earlier caller's error must not count against this upload
    GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, format, GL_UNSIGNED_BYTE, image.pixels);
    bool accepted = glGetError() == GL_NO_ERROR;
    drainGlErrors();
    return accepted;
}

bool validPixels(const GfxImagePixels& image)
{
    return image.pixels && image.width > 0 && image.height > 0 && (image.channels == 3 || image.channels == 4);
}

}  // namespace

void gfxSetImageTextureSizeLimit(int32_t limit) { imageTextureSizeLimit = limit < 0 ? 0 : limit; }

int32_t gfxGetImageTextureSizeLimit() { return imageTextureSizeLimit; }

int32_t gfxUploadImageTexture(const GfxAllocator& allocator, const GfxImagePixels& image, GfxImageTexture* out)
{
    if (!out) return GFX_ERR_INVALID;
    *out = GfxImageTexture{};
    if (!validPixels(image)) return GFX_ERR_INVALID;

    GLint previousTexture = 0;
    GLint previousAlignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0) return GFX_ERR_FAILED;
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // RGB rows are not padded to 4 bytes

    int32_t result = GFX_OK;
    const GfxImagePixels* current = &image;
    GfxImagePixels halved;
    while (!uploadOnce(*current)) {
        if (current->width <= 1 || current->height <= 1) {
            result = GFX_ERR_TEXTURE_TOO_LARGE;
            break;
        }
        GfxImagePixels smaller;
        if (gfxHalveImage(allocator, *current, &smaller) != GFX_OK) {
            result = GFX_ERR_FAILED;
            break;
        }
        gfxReleaseImagePixels(allocator, &halved);
        halved = smaller;
        current = &halved;
    }
    if (result == GFX_OK) {
        out->texture = texture;
        out->width = current->width;
        out->height = current->height;
    }
    gfxReleaseImagePixels(allocator, &halved);

    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
    if (result != GFX_OK) glDeleteTextures(1, &texture);
    return result;
}

int32_t gfxCreateImageTexture(const GfxAllocator& allocator, int32_t encoding, const uint8_t* data, int32_t length,
                              int32_t rawWidth, int32_t rawHeight, GfxImageTexture* out)
{
    if (!out) return GFX_ERR_INVALID;
    *out = GfxImageTexture{};
    GfxImagePixels pixels;
    int32_t result = gfxDecodeImage(allocator, encoding, data, length, rawWidth, rawHeight, &pixels);
    if (result != GFX_OK) return result;
    gfxPremultiplyAlpha(&pixels);
    result = gfxUploadImageTexture(allocator, pixels, out);
    gfxReleaseImagePixels(allocator, &pixels);
    return result;
}

void gfxDeleteImageTexture(GfxImageTexture* texture)
{
    if (!texture) return;
    if (texture->texture != 0) {
        GLuint name = texture->texture;
        glDeleteTextures(1, &name);
    }
    *texture = GfxImageTexture{};
}
