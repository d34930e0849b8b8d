// ArtSummary.h — what `vellumin-cli info` reports about a document: the container
// (format flag, header, pins) and the canvas blob as stored (version, layers in
// order with their settings, elements by record type, point totals).
#pragma once

#include "ArtFile.h"

#include <cstdint>
#include <string>
#include <vector>

struct ArtLayerSummary {
    int32_t index = 0;           // in the blob's layer list
    int32_t orderPosition = -1;  // -1: not in the order (merged or pasted)
    bool referenced = false;     // written whole as a referenced (pasted) layer
    std::string name;
    float opacity = 1.0f;
    bool visible = true;
    int64_t recordCounts[64] = {};  // by record type
    int64_t layerAddedCount = 0;
    int64_t points = 0;             // points of freehand, multi-line and polygon records as stored
};

struct ArtBlobSummary {
    int64_t compressedBytes = 0;
    int64_t rawBytes = 0;
    int32_t version = 0;
    int32_t currentLayer = -1;
    int32_t paperTextureMode = 0;
    std::vector<std::pair<int32_t, int32_t>> images;  // encoding, bytes
    std::vector<ArtLayerSummary> layers;              // in the order first (bottom first), then the others
    int32_t parseResult = 0;                          // 0, or the engine code the blob gives
};

// Decompresses and walks a blob (N + 4 bytes). False when it cannot be
// decompressed; a blob that decompresses but is bad has parseResult set.
bool summarizeBlob(const std::vector<uint8_t>& blob, ArtBlobSummary* summary);

// The JSON report of `info`. `loadResult` is the engine's code from loading the
// canvas for real (-1 when it was not tried).
std::string artSummaryJson(const std::string& path, const ArtReadResult& file, const ArtBlobSummary& blob,
                           int32_t loadResult);

// Short name of a record type ("freehand", "pen", ...), or "type N".
std::string artRecordTypeName(int32_t type);
