// GfxImageTexture — the GL texture of a placed image.
//
// Upload with clamp-to-edge wrapping, linear filtering and an RGBA internal format;
// when the GL reports an error the pixels are halved (GfxImageCodec.h) and the upload
// retried, down to an image of 1 pixel in either dimension; if that still fails the
// result is GFX_ERR_TEXTURE_TOO_LARGE and no texture is left behind.
// Needs a current GL context. The texture binding and unpack alignment of the
// caller are restored.
#pragma once

#include "GfxImageCodec.h"

#include <cstdint>

constexpr int32_t GFX_IMAGE_TEXTURE_NO_LIMIT = INT32_MAX;

struct GfxImageTexture {
    uint32_t texture = 0;  // GL texture name, 0 for none
    int32_t width = 0;     // the size actually uploaded (after any halving)
    int32_t height = 0;
};

// Engine-wide ceiling on either texture dimension, on top of what the GL accepts:
// an upload above it counts as refused by the GL. Tests use it to reach the halving
// path (and, with 0, the error) on a GL that accepts everything; GFX_IMAGE_TEXTURE_NO_LIMIT
// (the default) leaves the decision to the GL.
void gfxSetImageTextureSizeLimit(int32_t limit);
int32_t gfxGetImageTextureSizeLimit();

// Uploads `image` (3 or 4 channels, RGBA already premultiplied), halving as needed.
// `image` itself is not changed; the halved copies are released before returning.
// GFX_ERR_FAILED on memory failure or when the GL gives no texture name;
// GFX_ERR_INVALID for an empty image or a channel count other than 3 or 4.
int32_t gfxUploadImageTexture(const GfxAllocator& allocator, const GfxImagePixels& image, GfxImageTexture* out);

// The whole road of a placed image: decode by encoding (GFX_ERR_INVALID for an
// encoding other than JPEG, raw RGBA or PNG), premultiply RGBA, upload, release the
// decoded pixels. Decoder or memory failure: GFX_ERR_FAILED.
int32_t gfxCreateImageTexture(const GfxAllocator& allocator, int32_t encoding, const uint8_t* data, int32_t length,
                              int32_t rawWidth, int32_t rawHeight, GfxImageTexture* out);

// Deletes the texture (if any) and clears `texture`.
void gfxDeleteImageTexture(GfxImageTexture* texture);
