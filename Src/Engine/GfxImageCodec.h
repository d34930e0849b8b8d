// GfxImageCodec — decoding placed images (JPEG, PNG, raw RGBA) into pixels, probing
// their sizes, premultiplying alpha and halving for the texture fallback.
//
// The decoders trust nothing: every read is bounds-checked, libjpeg and libpng
// errors jump back and become GFX_ERR_FAILED (the library never exits and prints
// nothing), truncated data is an error, and a claimed size above
// GFX_IMAGE_MAX_PIXELS is refused before any pixel memory is allocated. Pixel
// buffers and libpng's own memory go through the GfxAllocator; libjpeg's small
// working memory comes from its own manager, which cannot be redirected at run time.
//
// Errors: GFX_ERR_INVALID for bad arguments (null data, non-positive length, an
// unknown encoding, raw pixels whose length is not width x height x 4);
// GFX_ERR_FAILED for undecodable data, absurd sizes and memory failure.
// Pixels are rows top to bottom as stored in the file, tightly packed.
#pragma once

#include "GfxMemory.h"

#include <cstdint>

constexpr int64_t GFX_IMAGE_MAX_PIXELS = int64_t{1} << 28;  // refused above this, before allocating

// Pixels owned by the allocator that made them; release with gfxReleaseImagePixels.
struct GfxImagePixels {
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;  // 3 (RGB, from JPEG) or 4 (RGBA)
};

// ----------------------------------------------------------------------------------
// [SECTION] Header probing (image import asks these before placing an image)
// ----------------------------------------------------------------------------------
int32_t gfxProbeJpegSize(const uint8_t* data, int32_t length, int32_t* width, int32_t* height);
int32_t gfxProbePngSize(const uint8_t* data, int32_t length, int32_t* width, int32_t* height);

// ----------------------------------------------------------------------------------
// [SECTION] Decoding
// ----------------------------------------------------------------------------------
// JPEG to RGB (greyscale and CMYK files are converted). A file that ends early is an
// error; the harmless warnings real cameras produce are not.
int32_t gfxDecodeJpeg(const GfxAllocator& allocator, const uint8_t* data, int32_t length, GfxImagePixels* out);
// PNG of any colour type and depth to 8-bit RGBA.
int32_t gfxDecodePng(const GfxAllocator& allocator, const uint8_t* data, int32_t length, GfxImagePixels* out);
// Raw RGBA: copied as given after checking width x height x 4 == length.
int32_t gfxCopyRawRgba(const GfxAllocator& allocator, const uint8_t* data, int32_t length, int32_t width,
                       int32_t height, GfxImagePixels* out);
// By GfxElementInput::imageEncoding: GFX_IMAGE_JPEG, GFX_IMAGE_RAW_RGBA (width and
// height used) or GFX_IMAGE_PNG.
int32_t gfxDecodeImage(const GfxAllocator& allocator, int32_t encoding, const uint8_t* data, int32_t length,
                       int32_t rawWidth, int32_t rawHeight, GfxImagePixels* out);

// `out` is left empty on every failure.
void gfxReleaseImagePixels(const GfxAllocator& allocator, GfxImagePixels* image);

// ----------------------------------------------------------------------------------
// [SECTION] Pixel operations
// ----------------------------------------------------------------------------------
// RGBA only (other channel counts are left alone): R, G, B = value x A / 255, truncated.
void gfxPremultiplyAlpha(GfxImagePixels* image);

// Halves both dimensions (width / 2 and height / 2, rounded down) by averaging 2x2
// blocks, rounded to nearest; with an odd width or height the last column or row is
// averaged into its neighbour's block (a 3-wide or 3-tall block), so no pixel is lost.
// Needs both dimensions >= 2 (GFX_ERR_INVALID otherwise); GFX_ERR_FAILED on memory.
int32_t gfxHalveImage(const GfxAllocator& allocator, const GfxImagePixels& source, GfxImagePixels* out);
