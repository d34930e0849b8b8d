#include "ArtSummary.h"

#include "GfxBlobFormat.h"
#include "GfxLzma.h"
#include "JsonWriter.h"

#include <cstdlib>
#include <map>

namespace {

void* summaryAllocate(int32_t size, int32_t) { return std::malloc(static_cast<size_t>(size)); }
void summaryRelease(void* pointer, int32_t) { std::free(pointer); }
void* summaryResize(void* pointer, int32_t size, int32_t) { return std::realloc(pointer, static_cast<size_t>(size)); }

GfxAllocator mallocAllocator() { return GfxAllocator{summaryAllocate, summaryRelease, summaryResize, 0}; }

class SummaryVisitor : public GfxBlobVisitor {
public:
    explicit SummaryVisitor(ArtBlobSummary* summary) : summary_(summary) {}

    int32_t header(const GfxBlobHeader& header) override
    {
        summary_->version = header.version;
        summary_->currentLayer = header.attributes.currentLayer;
        summary_->paperTextureMode = header.attributes.paperTextureMode;
        layers_.resize(static_cast<size_t>(header.layerCount));
        for (int32_t i = 0; i < header.layerCount; ++i) {
            ArtLayerSummary& layer = layers_[static_cast<size_t>(i)];
            layer.index = i;
            layer.name = header.layers[i].name;
            layer.opacity = header.layers[i].opacity;
            layer.visible = header.layers[i].visible != 0;
        }
        for (int32_t position = 0; position < header.orderCount; ++position)
            layers_[static_cast<size_t>(header.order[position])].orderPosition = position;
        return 0;
    }
    int32_t image(int32_t, int32_t encoding, const uint8_t*, int32_t length) override
    {
        summary_->images.emplace_back(encoding, length);
        return 0;
    }
    int32_t layerAdded(int32_t layerIndex, int32_t) override
    {
        ++layers_[static_cast<size_t>(layerIndex)].layerAddedCount;
        return 0;
    }
    int32_t record(int32_t layerIndex, const GfxBlobRecord& record, bool referenced) override
    {
        ArtLayerSummary& layer = layers_[static_cast<size_t>(layerIndex)];
        if (record.type >= 0 && record.type < 64) ++layer.recordCounts[record.type];
        layer.points += record.pointCount;
        layer.referenced = layer.referenced || referenced;
        return 0;
    }

    // Layers in the order, bottom first, then the rest in list order.
    void finish()
    {
        std::vector<ArtLayerSummary> ordered;
        std::map<int32_t, size_t> byPosition;
        for (size_t i = 0; i < layers_.size(); ++i)
            if (layers_[i].orderPosition >= 0) byPosition[layers_[i].orderPosition] = i;
        for (auto& [position, index] : byPosition) ordered.push_back(layers_[index]);
        for (const ArtLayerSummary& layer : layers_)
            if (layer.orderPosition < 0) ordered.push_back(layer);
        summary_->layers = std::move(ordered);
    }

private:
    ArtBlobSummary* summary_;
    std::vector<ArtLayerSummary> layers_;
};

const char* encodingName(int32_t encoding)
{
    switch (encoding) {
    case GFX_IMAGE_JPEG: return "jpeg";
    case GFX_IMAGE_RAW_RGBA: return "raw-rgba";
    case GFX_IMAGE_PNG: return "png";
    case GFX_IMAGE_PNG_STORED: return "png";
    default: return "unknown";
    }
}

void writeLayer(JsonWriter& json, const ArtLayerSummary& layer)
{
    json.beginObject();
    json.value("index", layer.index);
    if (layer.orderPosition >= 0) json.value("position", layer.orderPosition);
    else json.value("role", layer.referenced ? "referenced" : "merged");
    json.value("name", layer.name);
    json.value("opacity", layer.opacity);
    json.value("visible", layer.visible);
    json.beginObject("records");
    if (layer.layerAddedCount) json.value("layerAdded", layer.layerAddedCount);
    for (int32_t type = 0; type < 64; ++type)
        if (layer.recordCounts[type]) json.value(artRecordTypeName(type).c_str(), layer.recordCounts[type]);
    json.endObject();
    json.value("points", layer.points);
    json.endObject();
}

}  // namespace

std::string artRecordTypeName(int32_t type)
{
    switch (type) {
    case 1: return "freehand";
    case 2: return "line";
    case 3: return "multiLine";
    case 4: return "polygon";
    case 5: return "rectangle";
    case 6: return "ellipse";
    case 7: return "image";
    case 12: return "mergedLayer";
    case 13: return "layerTransformed";
    case 14: return "cut";
    case 15: return "paste";
    case 51: return "coordinateFrame";
    case 52: return "pen";
    case 53: return "colour";
    case 54: return "erase";
    default: return "type " + std::to_string(type);
    }
}

bool summarizeBlob(const std::vector<uint8_t>& blob, ArtBlobSummary* summary)
{
    GfxAllocator allocator = mallocAllocator();
    summary->compressedBytes = static_cast<int64_t>(blob.size());
    size_t rawBytes = 0;
    uint8_t* raw = gfxBlobDecompress(allocator, blob.data(), blob.size(), &rawBytes);
    if (!raw) return false;
    summary->rawBytes = static_cast<int64_t>(rawBytes);
    SummaryVisitor visitor(summary);
    summary->parseResult = gfxBlobParse(raw, rawBytes, allocator, &visitor);
    visitor.finish();
    allocator.release(raw);
    return true;
}

std::string artSummaryJson(const std::string& path, const ArtReadResult& file, const ArtBlobSummary& blob,
                           int32_t loadResult)
{
    const ArtHeader& header = file.header;
    JsonWriter json;
    json.beginObject();
    json.value("file", path);
    json.value("formatFlag", file.formatFlag);

    json.beginObject("header");
    json.value("kind", header.kind);
    if (header.kind == ART_KIND_DOCUMENT || header.kind == ART_KIND_DOCUMENT_PINS || header.kind == ART_KIND_SHORT_ID) {
        json.numbers("writerId", header.writerId, header.kind == ART_KIND_SHORT_ID ? 2 : 3);
        json.value("penScaleOn", header.penScaleOn);
        json.value("penScaleFactor", header.penScaleFactor);
    }
    json.value("paperIndex", header.paperIndex);
    json.value("layerCounter", header.layerCounter);
    if (header.kind == ART_KIND_OLD_PRESET_15 || header.kind == ART_KIND_OLD_PRESET_18)
        json.value("penPresetId", header.penPresetId);
    if (header.kind == ART_KIND_DOCUMENT_PINS) json.value("pinsSectionVersion", header.pinsSectionVersion);
    json.endObject();

    json.beginArray("pins");
    for (const ArtPin& pin : header.pins) {
        json.beginObject();
        json.value("name", pin.name);
        json.numbers("view", pin.view, 16);
        json.endObject();
    }
    json.endArray();

    json.beginObject("blob");
    json.value("compressedBytes", blob.compressedBytes);
    json.value("rawBytes", blob.rawBytes);
    json.value("version", blob.version);
    json.value("currentLayer", blob.currentLayer);
    json.value("paperTextureMode", blob.paperTextureMode);
    json.beginArray("images");
    for (auto [encoding, bytes] : blob.images) {
        json.beginObject();
        json.value("encoding", encodingName(encoding));
        json.value("bytes", bytes);
        json.endObject();
    }
    json.endArray();
    if (blob.parseResult) json.value("error", blob.parseResult);
    json.endObject();

    int64_t totalPoints = 0;
    std::map<int32_t, int64_t> totals;
    json.beginArray("layers");
    for (const ArtLayerSummary& layer : blob.layers) {
        writeLayer(json, layer);
        totalPoints += layer.points;
        for (int32_t type = 0; type < 64; ++type) totals[type] += layer.recordCounts[type];
    }
    json.endArray();
    json.beginObject("totals");
    for (auto [type, count] : totals)
        if (count) json.value(artRecordTypeName(type).c_str(), count);
    json.value("points", totalPoints);
    json.endObject();
    if (loadResult >= 0) json.value("loadResult", loadResult);
    json.endObject();
    return json.text();
}
