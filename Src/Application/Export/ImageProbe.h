// ImageProbe: what an image file to be imported holds, found out cheaply and without
// trusting it.
//
// The controller's import (ImageImport.h) asks these before it places an image:
// a JPEG's size comes from its header alone (libjpeg reads the file only as far as
// the header goes); a PNG is decoded whole with the engine's decoder, so a damaged
// one is refused before anything is made. Every libjpeg and libpng error returns
// here (the libraries never exit or print); truncated, corrupt and hostile files
// give ImageProbeResult::Unsupported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The kinds the import tells apart (by the file's extension).
enum ImageKind : int32_t {
    IMAGE_KIND_NONE = 0,
    IMAGE_KIND_JPEG = 1,
    IMAGE_KIND_PNG = 2,
};

enum class ImageProbeResult : int32_t {
    Ok,
    Unsupported,        // not an image of its kind, damaged or cut short
    TooLargeForMemory,  // an image the engine refuses for its size, or memory ran out decoding it
};

// The size from the JPEG header. False (sizes 0) when the file cannot be opened or
// libjpeg finds no complete header.
bool probeJpegSize(const std::string& path, int32_t* width, int32_t* height);
// The size of a PNG file after decoding all of it. False (sizes 0) otherwise.
bool probePngSize(const std::string& path, int32_t* width, int32_t* height);

// The JPEG header probe with the reason it failed.
ImageProbeResult probeJpegFile(const std::string& path, int32_t* width, int32_t* height);
// The size in a PNG file's signature and IHDR chunk (the first 33 bytes), read
// without the rest: Unsupported when the chunk's CRC is wrong, TooLargeForMemory for
// more pixels than the engine takes.
ImageProbeResult probePngFileHeader(const std::string& path, int32_t* width, int32_t* height);
// A PNG in memory: its header's size, then a whole decode (skipped for an image the
// engine would refuse for its size).
ImageProbeResult probePngBytes(const uint8_t* data, size_t length, int32_t* width, int32_t* height);

// Whether the engine takes an image of this many pixels at all.
bool imageSizeFitsEngine(int64_t width, int64_t height);

// Whether the engine's decoder takes the bytes (kind JPEG or PNG): Unsupported for
// data it cannot decode, TooLargeForMemory when its size or memory stopped it.
ImageProbeResult checkImageDecodes(int32_t kind, const uint8_t* data, size_t length);

// A regular file's size in bytes (no directories, pipes or devices). False otherwise.
bool regularFileSize(const std::string& path, uint64_t* bytes);
// Reads a regular file of exactly `expectedBytes` bytes. False when it cannot be
// opened or read, or its size is not that. Throws std::bad_alloc when the bytes do not fit.
bool readWholeFile(const std::string& path, uint64_t expectedBytes, std::vector<uint8_t>* bytes);
