// GfxBlobPng.h — PNG encoding of raw RGBA images for the canvas blob. An image
// placed as raw pixels is written to the blob as a PNG (encoding 5), which every
// reader decodes back to the same straight-alpha pixels.
#pragma once

#include "GfxMemory.h"

#include <cstdint>

// Encodes width x height straight-alpha RGBA pixels (rows top to bottom, tightly
// packed) as an 8-bit RGBA PNG. The bytes are allocated with `allocator` (the
// caller releases them). GFX_OK, GFX_ERR_INVALID for a bad size, GFX_ERR_FAILED
// when libpng or memory fails.
int32_t gfxEncodePngRgba(const GfxAllocator& allocator, const uint8_t* pixels, int32_t width, int32_t height,
                         uint8_t** png, int32_t* length);
