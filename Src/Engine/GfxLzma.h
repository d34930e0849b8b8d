// GfxLzma.h — one-shot LZMA compression of the canvas blob, and the blob's framing.
//
// The stream is raw LZMA1: no properties header, no size field, no end marker. The
// writer always uses the same encoder settings and the reader always uses the same
// fixed properties, so neither needs to be stored. The reader is told the raw size
// by the blob's own header:
//
//   offset 0  int32 N   bytes that follow this word (compressed length + 4)
//   offset 4  int32 U   length of the raw blob
//   offset 8  N - 4     the raw LZMA stream
//
// Every allocation, liblzma's own included, goes through the system's hooks.
#pragma once

#include "GfxMemory.h"

#include <cstddef>
#include <cstdint>

// IMPORTANT: the encoder settings every saved document was written with.
constexpr uint32_t GFX_LZMA_LEVEL = 5;
constexpr uint32_t GFX_LZMA_DICTIONARY_BYTES = 0x40000;  // 256 KiB
constexpr uint32_t GFX_LZMA_LITERAL_CONTEXT_BITS = 3;
constexpr uint32_t GFX_LZMA_LITERAL_POSITION_BITS = 0;
constexpr uint32_t GFX_LZMA_POSITION_BITS = 2;
constexpr uint32_t GFX_LZMA_FAST_BYTES = 32;
// The decoder's fixed properties: 5D 00 00 00 01 (lc 3, lp 0, pb 2, 16 MiB dictionary).
constexpr uint32_t GFX_LZMA_DECODER_DICTIONARY_BYTES = 0x1000000;

// Blob framing.
constexpr size_t GFX_BLOB_HEADER_BYTES = 8;  // N and U
// The largest raw blob written or read (1 GiB). A header claiming more is refused
// before anything is allocated; the writer refuses to produce what no reader loads.
constexpr size_t GFX_BLOB_MAX_RAW_BYTES = size_t{1} << 30;

// Output room the compressor may need for `rawBytes` of input (LZMA's worst case).
size_t gfxLzmaCompressBound(size_t rawBytes);

// Compresses `rawBytes` into `stream` (room `streamCapacity`); the stream's length
// goes to `streamBytes`. False when the encoder fails or the room is too small.
bool gfxLzmaCompress(const GfxAllocator& allocator, const uint8_t* raw, size_t rawBytes,
                     uint8_t* stream, size_t streamCapacity, size_t* streamBytes);

// Decodes exactly `rawBytes` from `streamBytes` of stream into a buffer allocated
// with `allocator` (the caller releases it), or null. The buffer grows as output is
// produced, so a stream that claims much and holds little fails before a large
// allocation. Input left over after `rawBytes` is ignored; a stream that ends early
// or is damaged fails.
uint8_t* gfxLzmaUncompress(const GfxAllocator& allocator, const uint8_t* stream, size_t streamBytes,
                           size_t rawBytes);

// Compresses a raw blob into a framed blob [N][U][stream] allocated with `allocator`
// and trimmed to its size; null when memory runs out or the raw blob is larger than
// GFX_BLOB_MAX_RAW_BYTES.
uint8_t* gfxBlobCompress(const GfxAllocator& allocator, const uint8_t* raw, size_t rawBytes,
                         size_t* blobBytes);

// Reads the header of a framed blob of `available` bytes: N must fit in what is
// there and U must not exceed GFX_BLOB_MAX_RAW_BYTES. Gives the stream's length
// (N - 4) and U. Nothing is allocated.
bool gfxBlobReadHeader(const uint8_t* blob, size_t available, size_t* streamBytes, size_t* rawBytes);

// Decompresses a framed blob of `available` bytes into a raw blob allocated with
// `allocator` (its length in `rawBytes`), or null when the header or the stream is
// bad or memory runs out.
uint8_t* gfxBlobDecompress(const GfxAllocator& allocator, const uint8_t* blob, size_t available,
                           size_t* rawBytes);

// Little-endian 32-bit words, as every stored integer is.
inline uint32_t gfxReadLittleEndian32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
inline void gfxWriteLittleEndian32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}
