// Canvas serialization: the sketch as a compressed blob and back.
//
// The blob does not copy the engine's memory: it replays the sketch. The writer
// walks the done part of the history and writes, for every entry still in force,
// the records it stands for (each element preceded by the state records it was
// drawn with); the reader creates a fresh sketch and appends every record again
// through the normal append path, so history, bounding boxes and cells are rebuilt
// and undone or cleared material is simply not there.
//
// [SECTION] Engine records to blob records and back
// [SECTION] Images for the table
// [SECTION] Writer: what the live history needs, and emitting it
// [SECTION] Reader: replaying into a new sketch (hold checks included)
// [SECTION] gfxSerializeSketch, gfxSerializeSketchRegion
// [SECTION] gfxCreateSketchFromBlob
#include "GfxBlobFormat.h"
#include "GfxBlobPng.h"
#include "GfxImageTexture.h"
#include "GfxInternal.h"
#include "GfxLzma.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {

// ----------------------------------------------------------------------------------
// [SECTION] Engine records to blob records and back
// ----------------------------------------------------------------------------------
void copyMatrix(float* to, const GfxMatrix& from) { std::memcpy(to, from.m, sizeof from.m); }
GfxMatrix matrixOf(const float* from)
{
    GfxMatrix matrix;
    std::memcpy(matrix.m, from, sizeof matrix.m);
    return matrix;
}

// The points of a point-list record, in order (they may continue in later chunks).
bool readPoints(const GfxLayer* layer, const GfxRecordEntry& entry, GfxPool<GfxSample>* points)
{
    const int32_t count = gfxReadPayload<GfxPointListRecord>(layer, entry).pointCount;
    points->reset();
    if (!points->reserveMore(count)) return false;
    GfxHeapPosition at = gfxFirstPointPosition(entry);
    for (int32_t i = 0; i < count; ++i) {
        GfxSample point;
        std::memcpy(&point, gfxRecordHeapAt(&layer->heap, at), sizeof point);
        points->push(point);
        at = gfxRecordHeapNext(at, sizeof(GfxSample), sizeof(GfxSample));
    }
    return true;
}

// Fills `out` from an engine record. `indexOfSlot` turns the layer slots of merge
// and paste records into layer-list indices. False when memory runs out.
template <typename SlotToIndex>
bool toBlobRecord(const GfxLayer* layer, const GfxRecordEntry& entry, SlotToIndex indexOfSlot,
                  GfxPool<GfxSample>* points, GfxBlobRecord* out)
{
    *out = GfxBlobRecord{};
    out->type = entry.type;
    switch (entry.type) {
    case GFX_RECORD_FREEHAND:
    case GFX_RECORD_MULTI_LINE:
    case GFX_RECORD_POLYGON:
        if (!readPoints(layer, entry, points)) return false;
        out->points = points->data();
        out->pointCount = points->count();
        break;
    case GFX_RECORD_LINE: {
        const GfxLineRecord line = gfxReadPayload<GfxLineRecord>(layer, entry);
        out->start = line.start;
        out->end = line.end;
        break;
    }
    case GFX_RECORD_RECTANGLE:
    case GFX_RECORD_ELLIPSE: {
        const GfxShapeRecord shape = gfxReadPayload<GfxShapeRecord>(layer, entry);
        const float values[5] = {shape.centreX, shape.centreY, shape.width, shape.height, shape.angle};
        std::memcpy(out->shape, values, sizeof values);
        break;
    }
    case GFX_RECORD_IMAGE: {
        const GfxImageRecord image = gfxReadPayload<GfxImageRecord>(layer, entry);
        const float values[5] = {image.centreX, image.centreY, image.width, image.height, image.angle};
        std::memcpy(out->shape, values, sizeof values);
        out->textureWidth = image.textureWidth;
        out->textureHeight = image.textureHeight;
        out->imageIndex = image.imageIndex;
        break;
    }
    case GFX_RECORD_LAYER_MERGED: {
        const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(layer, entry);
        out->layerIndex = indexOfSlot(merge.mergedSlot);
        out->upperOpacity = merge.mergedOpacity;
        out->lowerOpacity = merge.lowerOpacity;
        copyMatrix(out->matrix, merge.view);
        out->scale = merge.viewScale;
        break;
    }
    case GFX_RECORD_LAYER_TRANSFORMED: {
        const GfxTransformRecord transform = gfxReadPayload<GfxTransformRecord>(layer, entry);
        copyMatrix(out->matrix, transform.previousMatrix);
        out->scale = transform.previousScale;
        break;
    }
    case GFX_RECORD_FRAME: {
        const GfxFrameRecord frame = gfxReadPayload<GfxFrameRecord>(layer, entry);
        copyMatrix(out->matrix, frame.matrix);
        out->scale = frame.widthFactor;
        break;
    }
    case GFX_RECORD_REGION_CUT: {
        const GfxCutRecord cut = gfxReadPayload<GfxCutRecord>(layer, entry);
        std::memcpy(out->shape, cut.rect, sizeof cut.rect);
        break;
    }
    case GFX_RECORD_CLIPBOARD_PASTED: {
        const GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(layer, entry);
        out->layerIndex = indexOfSlot(paste.pastedSlot);
        std::memcpy(out->sourceRect, paste.sourceRect, sizeof paste.sourceRect);
        copyMatrix(out->matrix, paste.placement);
        out->scale = paste.placementScale;
        copyMatrix(out->clipMatrix, paste.clipView);
        out->clipScale = paste.clipViewScale;
        break;
    }
    case GFX_RECORD_PEN: {
        const GfxPenRecord pen = gfxReadPayload<GfxPenRecord>(layer, entry);
        out->penType = pen.penType;
        out->penNoise = pen.penNoise;
        out->penWidth = pen.penWidth;
        out->penWidthSensitivity = pen.penWidthSensitivity;
        out->penOpacity = pen.penOpacity;
        out->penOpacitySensitivity = pen.penOpacitySensitivity;
        break;
    }
    case GFX_RECORD_COLOUR: std::memcpy(out->colour, gfxReadPayload<GfxColourRecord>(layer, entry).rgb, 3); break;
    case GFX_RECORD_ERASE: out->eraseMode = gfxReadPayload<GfxEraseRecord>(layer, entry).eraseMode; break;
    default: break;
    }
    return true;
}

void growBounds(float bounds[4], const GfxSample& point)
{
    const float minX = std::min(bounds[0], point.x);
    const float minY = std::min(bounds[1], point.y);
    const float maxX = std::max(bounds[0] + bounds[2], point.x);
    const float maxY = std::max(bounds[1] + bounds[3], point.y);
    bounds[0] = minX;
    bounds[1] = minY;
    bounds[2] = maxX - minX;
    bounds[3] = maxY - minY;
}

// Appends a record to a layer, with a history entry when `withHistory`. Point
// lists get their header, then every point, exactly as drawing them would leave
// them. -1 with lastError 1 (and nothing kept) on failure.
int32_t appendRecordPayload(GfxLayer* layer, int32_t type, const void* payload, int32_t bytes, bool withHistory)
{
    return withHistory ? gfxAppendRecordWithHistory(layer, type, payload, bytes)
                       : gfxAppendRecord(layer, type, payload, bytes);
}

int32_t appendPointList(GfxLayer* layer, const GfxBlobRecord& record, bool withHistory)
{
    GfxPointListRecord header{};
    header.bounds[0] = record.points[0].x;
    header.bounds[1] = record.points[0].y;
    for (int32_t i = 1; i < record.pointCount; ++i) growBounds(header.bounds, record.points[i]);
    header.pointCount = 0;
    header.vertices = GfxVertexRange{-1, 0};
    const GfxLayerMark mark = gfxLayerMarkNow(layer);
    const int32_t historyCount = layer->sketch->history.count;
    const int32_t index = appendRecordPayload(layer, record.type, &header, sizeof header, withHistory);
    if (index < 0) return -1;
    for (int32_t i = 0; i < record.pointCount; ++i) {
        if (!gfxRecordHeapAppend(&layer->heap, &record.points[i], sizeof(GfxSample), nullptr)) {
            gfxLayerRollBack(layer, mark);
            gfxChunkArrayTruncate(&layer->sketch->history, historyCount);
            layer->sketch->system->lastError = GFX_ERR_FAILED;
            return -1;
        }
    }
    header.pointCount = record.pointCount;
    gfxWritePayload(layer, *gfxRecordAt(layer, index), header);
    return index;
}

// ----------------------------------------------------------------------------------
// [SECTION] Images for the table
// ----------------------------------------------------------------------------------
// One entry of the image table: bytes owned by the engine, or by the writer when
// it made them (a raw image stored as PNG).
struct TableImage {
    int32_t encoding = GFX_IMAGE_JPEG;
    int32_t length = 0;
    const uint8_t* bytes = nullptr;
    uint8_t* owned = nullptr;
};

// The pixel size of a raw image from its byte count and the size its texture was
// uploaded at: each halving for the GPU took width / 2 and height / 2 rounded down,
// so the raw width lies in [w << k, ((w + 1) << k) - 1] for some number of halvings k.
bool rawImageSize(int32_t length, int32_t textureWidth, int32_t textureHeight, int32_t* width, int32_t* height)
{
    if (length <= 0 || length % 4 != 0 || textureWidth <= 0 || textureHeight <= 0) return false;
    const int64_t pixels = length / 4;
    for (int32_t halvings = 0; halvings < 31; ++halvings) {
        const int64_t lowest = static_cast<int64_t>(textureWidth) << halvings;
        if (lowest > pixels) break;
        const int64_t highest = std::min<int64_t>(((static_cast<int64_t>(textureWidth) + 1) << halvings) - 1, pixels);
        for (int64_t w = lowest; w <= highest; ++w) {
            if (pixels % w != 0) continue;
            const int64_t h = pixels / w;
            if ((h >> halvings) == textureHeight && h <= INT32_MAX) {
                *width = static_cast<int32_t>(w);
                *height = static_cast<int32_t>(h);
                return true;
            }
        }
    }
    return false;
}

// The table entry of an image record. Raw pixels are stored as PNG, which every
// reader accepts (the bytes decode to the same straight-alpha pixels).
int32_t tableImageOf(const GfxAllocator& allocator, const GfxImageRecord& image, TableImage* out)
{
    *out = TableImage{};
    if (image.encoding != GFX_IMAGE_RAW_RGBA) {
        out->encoding = image.encoding;
        out->length = image.encodedLength;
        out->bytes = image.encodedBytes;
        return GFX_OK;
    }
    int32_t width = 0, height = 0;
    if (!rawImageSize(image.encodedLength, image.textureWidth, image.textureHeight, &width, &height))
        return GFX_ERR_INTERNAL;
    const int32_t encoded =
        gfxEncodePngRgba(allocator, image.encodedBytes, width, height, &out->owned, &out->length);
    if (encoded != GFX_OK) return GFX_ERR_FAILED;
    out->encoding = GFX_IMAGE_PNG_STORED;
    out->bytes = out->owned;
    return GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Writer: what the live history needs, and emitting it
// ----------------------------------------------------------------------------------
// Every allocation of the writer goes through the engine's hooks.
template <typename T>
struct HookVector {
    explicit HookVector(const GfxAllocator& allocator) { pool.create(allocator, 16, 256); }
    GfxPool<T> pool;
    bool push(const T& value) { return pool.push(value); }
    int32_t size() const { return pool.count(); }
    T& operator[](int32_t i) { return pool[i]; }
    const T& operator[](int32_t i) const { return pool[i]; }
};

struct ListedLayer {
    int32_t slot;
    bool referenced;  // written whole in item 8
};

// One operation of item 7: a layer addition, or a record (state records included).
struct Operation {
    int32_t slot;
    int32_t recordIndex;  // -1: a layer-added entry
    int32_t position;     // layer-added only
};

class SketchWriter {
public:
    SketchWriter(GfxSketch* sketch, int32_t version)
        : sketch_(sketch), allocator_(sketch->system->allocator), version_(version), layers_(allocator_),
          indexOfSlot_(allocator_), images_(allocator_), operations_(allocator_), buffer_(allocator_)
    {
        points_.create(allocator_, 256, 4096);
        scratch_.create(allocator_, 256, 4096);
    }
    ~SketchWriter()
    {
        for (int32_t i = 0; i < images_.size(); ++i) allocator_.release(images_[i].owned);
    }

    // Returns the framed blob or null with lastError set.
    uint8_t* write()
    {
        int32_t code = collect();
        if (code == GFX_OK) code = emit();
        if (code != GFX_OK) return fail(code);
        size_t blobBytes = 0;
        uint8_t* blob = gfxBlobCompress(allocator_, buffer_.data(), buffer_.size(), &blobBytes);
        if (!blob) return fail(GFX_ERR_FAILED);
        sketch_->system->lastError = GFX_OK;
        return blob;
    }

private:
    uint8_t* fail(int32_t code)
    {
        sketch_->system->lastError = code;
        return nullptr;
    }

    // -- collecting ------------------------------------------------------------------
    int32_t listIndex(int32_t slot) const
    {
        return slot >= 0 && slot < indexOfSlot_.size() ? indexOfSlot_[slot] : -1;
    }

    int32_t listLayer(int32_t slot, bool referenced)
    {
        while (indexOfSlot_.size() <= slot)
            if (!indexOfSlot_.push(-1)) return GFX_ERR_FAILED;
        int32_t index = indexOfSlot_[slot];
        if (index < 0) {
            index = layers_.size();
            if (!layers_.push(ListedLayer{slot, false})) return GFX_ERR_FAILED;
            indexOfSlot_[slot] = index;
        }
        if (referenced && !layers_[index].referenced) {
            layers_[index].referenced = true;
            return collectReferenced(gfxLayerAtSlot(sketch_, slot));
        }
        return GFX_OK;
    }

    // An image record joins the table; its index is kept in the record itself.
    int32_t listImage(GfxLayer* layer, const GfxRecordEntry& entry)
    {
        GfxImageRecord image = gfxReadPayload<GfxImageRecord>(layer, entry);
        TableImage table;
        if (int32_t code = tableImageOf(allocator_, image, &table)) return code;
        image.imageIndex = images_.size();
        if (!images_.push(table)) {
            allocator_.release(table.owned);
            return GFX_ERR_FAILED;
        }
        gfxWritePayload(layer, entry, image);
        return GFX_OK;
    }

    // What a record names besides itself: images, merged and pasted layers.
    int32_t collectReferences(GfxLayer* layer, const GfxRecordEntry& entry, bool insideReferenced)
    {
        switch (entry.type) {
        case GFX_RECORD_IMAGE: return listImage(layer, entry);
        case GFX_RECORD_CLIPBOARD_PASTED: {
            const int32_t slot = gfxReadPayload<GfxPasteRecord>(layer, entry).pastedSlot;
            if (!gfxLayerAtSlot(sketch_, slot)) return GFX_ERR_INTERNAL;
            return listLayer(slot, true);
        }
        case GFX_RECORD_LAYER_MERGED: {
            const int32_t slot = gfxReadPayload<GfxMergeRecord>(layer, entry).mergedSlot;
            if (!gfxLayerAtSlot(sketch_, slot)) return GFX_ERR_INTERNAL;
            // A merged layer keeps its own live history entries; only one inside a
            // referenced layer has none and is written whole.
            return listLayer(slot, insideReferenced);
        }
        default: return GFX_OK;
        }
    }

    // A referenced layer is written whole: everything it names goes in too.
    int32_t collectReferenced(GfxLayer* layer)
    {
        if (!layer) return GFX_ERR_INTERNAL;
        for (int32_t i = 0; i < layer->records.cursor; ++i)
            if (int32_t code = collectReferences(layer, *gfxRecordAt(layer, i), true)) return code;
        return GFX_OK;
    }

    // The done part of the history, entry by entry: layer additions of layers still
    // held, and the records of held layers between their base and their cursor, each
    // with the state records right before it.
    int32_t collect()
    {
        const GfxChunkArray& history = sketch_->history;
        // The paper image, when it shows, is the first table entry.
        const GfxSketchAttributes& a = sketch_->attributes;
        if (gfxBlobHasPaperImage(a)) {
            TableImage paper{GFX_IMAGE_JPEG, a.paperImage.length, sketch_->paperImageBytes, nullptr};
            if (!images_.push(paper)) return GFX_ERR_FAILED;
        }
        for (int32_t h = 0; h < history.cursor; ++h) {
            const GfxHistoryEntry entry = *gfxHistoryAt(sketch_, h);
            if (entry.kind == GFX_HISTORY_LAYER_ADDED) {
                GfxLayer* layer = gfxLayerAtSlot(sketch_, entry.slot);
                if (!layer || layer->refCount <= 0) continue;  // deleted for good
                if (int32_t code = listLayer(entry.slot, false)) return code;
                if (!operations_.push(Operation{entry.slot, -1, entry.value})) return GFX_ERR_FAILED;
                continue;
            }
            if (!gfxBlobIsRecordType(entry.kind)) continue;  // 9, 10, 11, 16: their effect is in the layers
            GfxLayer* layer = gfxLayerAtSlot(sketch_, entry.slot);
            if (!layer) return GFX_ERR_INTERNAL;
            if (layer->refCount <= 0) continue;
            const int32_t index = entry.value;
            if (index < 0 || index >= layer->records.count) return GFX_ERR_INTERNAL;
            if (index < layer->baseIndex || index >= layer->records.cursor) continue;  // cleared
            const GfxRecordEntry record = *gfxRecordAt(layer, index);
            if (record.type != entry.kind) return GFX_ERR_INTERNAL;
            if (int32_t code = listLayer(entry.slot, false)) return code;
            int32_t first = index;
            while (first > layer->baseIndex && gfxIsStateType(gfxRecordAt(layer, first - 1)->type)) --first;
            for (int32_t i = first; i <= index; ++i)
                if (!operations_.push(Operation{entry.slot, i, 0})) return GFX_ERR_FAILED;
            if (int32_t code = collectReferences(layer, record, false)) return code;
        }
        // Every layer of the order is in the list, named by history or not.
        for (int32_t position = 0; position < sketch_->layerCount; ++position)
            if (int32_t code = listLayer(sketch_->layerOrder[position], false)) return code;
        return GFX_OK;
    }

    // -- emitting --------------------------------------------------------------------
    int32_t putRecord(GfxLayer* layer, int32_t index)
    {
        GfxBlobRecord record;
        auto indexOf = [this](int32_t slot) { return listIndex(slot); };
        if (!toBlobRecord(layer, *gfxRecordAt(layer, index), indexOf, &points_, &record)) return GFX_ERR_FAILED;
        if (!gfxBlobPutRecord(&buffer_, record, version_, &scratch_)) return GFX_ERR_FAILED;
        return GFX_OK;
    }

    int32_t emit()
    {
        // What no reader would load again is refused now, while the user can react.
        if (layers_.size() > GFX_BLOB_MAX_LAYERS) return GFX_ERR_FAILED;
        const GfxSketchAttributes& a = sketch_->attributes;
        buffer_.putInt32(version_);
        gfxBlobPutAttributes(&buffer_, a);
        buffer_.putFloats(sketch_->view.m, 16);
        buffer_.putFloat(sketch_->viewScale);

        buffer_.putInt32(sketch_->layerCount);
        for (int32_t position = 0; position < sketch_->layerCount; ++position)
            buffer_.putInt32(listIndex(sketch_->layerOrder[position]));

        buffer_.putInt32(layers_.size());
        for (int32_t i = 0; i < layers_.size(); ++i) {
            const GfxLayer* layer = gfxLayerAtSlot(sketch_, layers_[i].slot);
            GfxBlobLayer item;
            item.visible = layer->visible;
            item.opacity = layer->opacity;
            std::memcpy(item.name, layer->name, sizeof item.name);
            item.name[sizeof item.name - 1] = 0;
            item.verticesUsed = layer->verticesUsed;
            copyMatrix(item.matrix, layer->matrix);
            item.scale = layer->scale;
            gfxBlobPutLayer(&buffer_, item);
        }

        buffer_.putInt32(images_.size());
        for (int32_t i = 0; i < images_.size(); ++i) {
            buffer_.putInt32(images_[i].encoding);
            buffer_.putInt32(images_[i].length);
            buffer_.putBytes(images_[i].bytes, static_cast<size_t>(images_[i].length));
        }

        buffer_.putInt32(operations_.size());
        for (int32_t k = 0; k < operations_.size(); ++k) {
            const Operation& operation = operations_[k];
            buffer_.putInt32(listIndex(operation.slot));
            if (operation.recordIndex < 0) {
                buffer_.putInt32(GFX_BLOB_OPERATION_LAYER_ADDED);
                buffer_.putInt32(operation.position);
            } else if (int32_t code = putRecord(gfxLayerAtSlot(sketch_, operation.slot), operation.recordIndex)) {
                return code;
            }
        }

        int32_t referenced = 0;
        for (int32_t i = 0; i < layers_.size(); ++i) referenced += layers_[i].referenced ? 1 : 0;
        buffer_.putInt32(referenced);
        for (int32_t i = 0; i < layers_.size(); ++i) {
            if (!layers_[i].referenced) continue;
            GfxLayer* layer = gfxLayerAtSlot(sketch_, layers_[i].slot);
            int32_t count = 0;
            for (int32_t r = 0; r < layer->records.cursor; ++r) count += gfxBlobIsRecordType(gfxRecordAt(layer, r)->type);
            buffer_.putInt32(i);
            buffer_.putInt32(count);
            for (int32_t r = 0; r < layer->records.cursor; ++r) {
                if (!gfxBlobIsRecordType(gfxRecordAt(layer, r)->type)) continue;
                if (int32_t code = putRecord(layer, r)) return code;
            }
        }
        if (buffer_.failed() || buffer_.size() > GFX_BLOB_MAX_RAW_BYTES) return GFX_ERR_FAILED;
        return GFX_OK;
    }

    GfxSketch* sketch_;
    GfxAllocator allocator_;
    int32_t version_;
    HookVector<ListedLayer> layers_;
    HookVector<int32_t> indexOfSlot_;
    HookVector<TableImage> images_;
    HookVector<Operation> operations_;
    GfxPool<GfxSample> points_;
    GfxPool<GfxSample> scratch_;
    GfxBlobBuffer buffer_;
};

// ----------------------------------------------------------------------------------
// [SECTION] Reader: replaying into a new sketch (hold checks included)
// ----------------------------------------------------------------------------------
constexpr int32_t kMaxVertexHint = 4 * GFX_VERTEX_BUFFER_FIRST;
// Merged and pasted layers inside each other: as deep as a copy can make them, and
// no more layer visits for one drawing of the canvas than this (a file could
// otherwise make every walk over the layers take forever).
constexpr int32_t kMaxNesting = 64;
constexpr int64_t kMaxExpandedLayers = int64_t{1} << 20;

// Checks that the layers held by merge and paste records form no cycle, nest at
// most kMaxNesting deep and do not multiply beyond kMaxExpandedLayers visits.
class HoldCheck {
public:
    explicit HoldCheck(const GfxSketch* sketch) : sketch_(sketch), state_(sketch->system->allocator) {}

    int32_t run()
    {
        for (int32_t slot = 0; slot < sketch_->layerTable.count; ++slot)
            if (!state_.push(Visit{0, 0})) return GFX_ERR_FAILED;
        int64_t total = 0;
        for (int32_t position = 0; position < sketch_->layerCount; ++position) {
            int64_t expanded = 0;
            if (int32_t code = visit(sketch_->layerOrder[position], 0, &expanded)) return code;
            total += expanded;
            if (total > kMaxExpandedLayers) return GFX_ERR_INTERNAL;
        }
        // Layers out of the order's reach are never drawn, but must not loop either.
        for (int32_t slot = 0; slot < sketch_->layerTable.count; ++slot) {
            int64_t expanded = 0;
            if (state_[slot].colour == 0 && gfxLayerAtSlot(sketch_, slot))
                if (int32_t code = visit(slot, 0, &expanded)) return code;
        }
        return GFX_OK;
    }

private:
    struct Visit {
        int32_t colour;    // 0 not seen, 1 on the current path, 2 done
        int64_t expanded;  // this layer and everything it holds, counted as drawn
    };

    int32_t visit(int32_t slot, int32_t depth, int64_t* expanded)
    {
        const GfxLayer* layer = gfxLayerAtSlot(sketch_, slot);
        if (!layer) return GFX_ERR_INTERNAL;
        Visit& here = state_[slot];
        if (here.colour == 1 || depth > kMaxNesting) return GFX_ERR_INTERNAL;
        if (here.colour == 2) {
            *expanded = here.expanded;
            return GFX_OK;
        }
        here.colour = 1;
        int64_t count = 1;
        for (int32_t i = 0; i < layer->records.count; ++i) {
            const GfxRecordEntry entry = *gfxRecordAt(layer, i);
            int32_t held = -1;
            if (entry.type == GFX_RECORD_LAYER_MERGED) held = gfxReadPayload<GfxMergeRecord>(layer, entry).mergedSlot;
            else if (entry.type == GFX_RECORD_CLIPBOARD_PASTED) held = gfxReadPayload<GfxPasteRecord>(layer, entry).pastedSlot;
            if (held < 0) continue;
            int64_t inner = 0;
            if (int32_t code = visit(held, depth + 1, &inner)) return code;
            count += inner;
            if (count > kMaxExpandedLayers) return GFX_ERR_INTERNAL;
        }
        state_[slot] = Visit{2, count};
        *expanded = count;
        return GFX_OK;
    }

    const GfxSketch* sketch_;
    HookVector<Visit> state_;
};

// Every image record has its own table entry (the writer never shares one), and
// all of a document's images together stay within this many pixels: a few bytes of
// file cannot make the loader decode and upload the same picture thousands of times.
constexpr int64_t kMaxImagePixels = int64_t{1} << 30;

struct TableEntry {
    int32_t encoding;
    const uint8_t* bytes;  // inside the raw blob, valid while it is parsed
    int32_t length;
    int32_t used;          // 1 once an image record took it
};

class SketchLoader : public GfxBlobVisitor {
public:
    explicit SketchLoader(GfxSystem* system) : system_(system), slots_(system->allocator), table_(system->allocator) {}

    GfxSketch* sketch() const { return sketch_; }

    int32_t header(const GfxBlobHeader& header) override
    {
        sketch_ = gfxCreateSketch(system_, nullptr);
        if (!sketch_) return GFX_ERR_FAILED;
        applyAttributes(header.attributes);
        if (system_->lastError != GFX_OK) return system_->lastError;
        sketch_->view = sketch_->frameMatrix = matrixOf(header.view);
        sketch_->viewScale = header.viewScale;
        gfxMatrixInvert(sketch_->view, &sketch_->viewInverse);
        paperAttributes_ = header.attributes;
        for (int32_t i = 0; i < header.layerCount; ++i) {
            GfxLayer* layer = gfxCreateLayer(sketch_);
            if (!layer || !slots_.push(layer->slot)) return GFX_ERR_FAILED;
            const GfxBlobLayer& item = header.layers[i];
            layer->visible = item.visible;
            layer->opacity = item.opacity;
            std::memcpy(layer->name, item.name, sizeof layer->name);
            layer->name[sizeof layer->name - 1] = 0;
            // The hint only spares regrowth; a file cannot make a layer reserve more
            // than a few first buffers' worth of GPU memory up front.
            layer->vertexSizeHint = std::clamp(item.verticesUsed, 0, kMaxVertexHint);
            layer->matrix = matrixOf(item.matrix);
            layer->scale = item.scale;
            gfxMatrixInvert(layer->matrix, &layer->inverse);
        }
        for (int32_t position = 0; position < header.orderCount; ++position)
            if (!gfxOrderInsert(sketch_, position, slots_[header.order[position]])) return GFX_ERR_FAILED;
        sketch_->attributes.currentLayer = header.orderCount > 0 ? header.attributes.currentLayer : -1;
        return GFX_OK;
    }

    int32_t image(int32_t index, int32_t encoding, const uint8_t* bytes, int32_t length) override
    {
        if (!table_.push(TableEntry{encoding, bytes, length, 0})) return GFX_ERR_FAILED;
        // Counted from the headers before anything is decoded; raw pixels count by bytes.
        imagePixels_ += encodedPixels(encoding, bytes, length);
        if (imagePixels_ > kMaxImagePixels) return GFX_ERR_TEXTURE_TOO_LARGE;
        // Entry 0 is the paper image when the paper shows a JPEG texture.
        if (index == 0 && gfxBlobHasPaperImage(paperAttributes_) && encoding == GFX_IMAGE_JPEG) {
            GfxSketchAttributes paper;
            paper.flags = GFX_SKETCH_PAPER_IMAGE;
            paper.paperImage = paperAttributes_.paperImage;
            paper.paperImage.length = length;
            paper.paperImage.data = bytes;
            gfxSetSketchAttributes(sketch_, &paper);
            // A paper that does not decode leaves a flat paper colour; the drawing
            // itself is whole and must still open.
            system_->lastError = GFX_OK;
        }
        return GFX_OK;
    }

    int32_t layerAdded(int32_t layerIndex, int32_t position) override
    {
        const int32_t slot = slots_[layerIndex];
        if (!gfxAppendHistory(sketch_, GFX_HISTORY_LAYER_ADDED, slot, position)) return GFX_ERR_FAILED;
        gfxLayerAtSlot(sketch_, slot)->refCount = 1;
        return GFX_OK;
    }

    int32_t record(int32_t layerIndex, const GfxBlobRecord& record, bool referenced) override
    {
        GfxLayer* layer = gfxLayerAtSlot(sketch_, slots_[layerIndex]);
        // State records are never in the history; neither is anything of a referenced layer.
        const bool withHistory = !referenced && !gfxIsStateType(record.type);
        const int32_t index = append(layer, record, withHistory);
        if (index < 0) return system_->lastError != GFX_OK ? system_->lastError : GFX_ERR_FAILED;
        return GFX_OK;
    }

    // After the last item: the holds are checked, then cells, state, a full redraw.
    int32_t finish()
    {
        HoldCheck holds(sketch_);
        if (int32_t code = holds.run()) return code;
        for (int32_t position = 0; position < sketch_->layerCount; ++position) {
            GfxLayer* layer = gfxLayerAtPosition(sketch_, position);
            if (layer->refCount <= 0) layer->refCount = 1;  // the order's hold
        }
        for (int32_t slot = 0; slot < sketch_->layerTable.count; ++slot) {
            GfxLayer* layer = gfxLayerAtSlot(sketch_, slot);
            if (!layer) continue;
            // The view may differ from the one the last state records were written
            // in: the next element writes fresh ones.
            gfxMarkLayerStateStale(layer);
            gfxMarkLayerRedrawAll(layer);
        }
        gfxRebuildAllCells(sketch_);
        // Elements whose cells did not fit are kept without cells: the document is
        // whole and saves whole, it only draws less. That is no reason to refuse it.
        system_->lastError = GFX_OK;
        sketch_->paper.textureMatrix = sketch_->view;  // the paper moved with every view change
        sketch_->needsRedraw = 1;
        return GFX_OK;
    }

private:
    // Pixels an image entry decodes to, by its header (0 when it has none: the
    // decoder refuses it later).
    static int64_t encodedPixels(int32_t encoding, const uint8_t* bytes, int32_t length)
    {
        if (encoding == GFX_IMAGE_RAW_RGBA) return length / 4;
        int32_t width = 0, height = 0;
        const int32_t probed = encoding == GFX_IMAGE_JPEG ? gfxProbeJpegSize(bytes, length, &width, &height)
                                                          : gfxProbePngSize(bytes, length, &width, &height);
        if (probed != GFX_OK || width <= 0 || height <= 0) return 0;
        return static_cast<int64_t>(width) * height;
    }

    // Every attribute of the item except the current layer (set once the order
    // exists) and the paper image (taken from the table).
    void applyAttributes(const GfxSketchAttributes& in)
    {
        GfxSketchAttributes a = in;
        a.flags = GFX_SKETCH_PAPER_TEXTURE_MODE | GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TEXTURE_STRENGTH |
                  GFX_SKETCH_PAPER_TINT | GFX_SKETCH_PAPER_MULTI_SCALE | GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_COLOUR |
                  GFX_SKETCH_PEN_NOISE | GFX_SKETCH_PEN_WIDTH | GFX_SKETCH_PEN_WIDTH_SENSITIVITY |
                  GFX_SKETCH_PEN_OPACITY | GFX_SKETCH_PEN_OPACITY_SENSITIVITY | GFX_SKETCH_ERASE_MODE |
                  GFX_SKETCH_SMOOTHING_LEVEL | GFX_SKETCH_WIDTH_SCALE;
        gfxSetSketchAttributes(sketch_, &a);
        // Only the identification of a paper without image data is kept.
        sketch_->attributes.paperImage.source = in.paperImage.source;
        sketch_->attributes.paperImage.paperId = in.paperImage.paperId;
        sketch_->rebuildCells = 0;  // finish() builds every cell once
    }

    int32_t appendImage(GfxLayer* layer, const GfxBlobRecord& record, bool withHistory)
    {
        TableEntry& entry = table_[record.imageIndex];
        if (entry.used) return fail(GFX_ERR_INVALID);
        entry.used = 1;
        const GfxAllocator& allocator = system_->allocator;
        int32_t decodeAs = entry.encoding == GFX_IMAGE_PNG_STORED ? GFX_IMAGE_PNG : entry.encoding;
        int32_t rawWidth = 0, rawHeight = 0;
        if (entry.encoding == GFX_IMAGE_RAW_RGBA) {
            // Raw pixels carry no size of their own: the record's texture size must fit.
            rawWidth = record.textureWidth;
            rawHeight = record.textureHeight;
            if (rawWidth <= 0 || rawHeight <= 0 ||
                static_cast<int64_t>(rawWidth) * rawHeight * 4 != entry.length)
                return fail(GFX_ERR_INVALID);
        }

        GfxImageTexture texture;
        const int32_t created =
            gfxCreateImageTexture(allocator, decodeAs, entry.bytes, entry.length, rawWidth, rawHeight, &texture);
        if (created != GFX_OK) return fail(created);
        auto* bytes = static_cast<uint8_t*>(allocator.allocate(static_cast<size_t>(std::max(entry.length, 1))));
        if (!bytes) {
            gfxDeleteImageTexture(&texture);
            return fail(GFX_ERR_FAILED);
        }
        std::memcpy(bytes, entry.bytes, static_cast<size_t>(entry.length));
        GfxImageRecord image{};
        image.centreX = record.shape[0];
        image.centreY = record.shape[1];
        image.width = record.shape[2];
        image.height = record.shape[3];
        image.angle = record.shape[4];
        image.encoding = entry.encoding == GFX_IMAGE_PNG ? GFX_IMAGE_PNG_STORED : entry.encoding;
        image.encodedLength = entry.length;
        image.encodedBytes = bytes;
        image.textureWidth = texture.width;
        image.textureHeight = texture.height;
        image.texture = texture.texture;
        const int32_t index = appendRecordPayload(layer, GFX_RECORD_IMAGE, &image, sizeof image, withHistory);
        if (index < 0) {
            allocator.release(bytes);
            gfxDeleteImageTexture(&texture);
        }
        return index;
    }

    int32_t fail(int32_t code)
    {
        system_->lastError = code;
        return -1;
    }

    int32_t append(GfxLayer* layer, const GfxBlobRecord& r, bool withHistory)
    {
        const GfxVertexRange none{-1, 0};
        switch (r.type) {
        case GFX_RECORD_FREEHAND:
        case GFX_RECORD_MULTI_LINE:
        case GFX_RECORD_POLYGON: return appendPointList(layer, r, withHistory);
        case GFX_RECORD_LINE: {
            const GfxLineRecord line{{std::min(r.start.x, r.end.x), std::min(r.start.y, r.end.y),
                                      std::fabs(r.end.x - r.start.x), std::fabs(r.end.y - r.start.y)},
                                     r.start, r.end, none};
            return appendRecordPayload(layer, r.type, &line, sizeof line, withHistory);
        }
        case GFX_RECORD_RECTANGLE:
        case GFX_RECORD_ELLIPSE: {
            const GfxShapeRecord shape{r.shape[0], r.shape[1], r.shape[2], r.shape[3], r.shape[4], none};
            return appendRecordPayload(layer, r.type, &shape, sizeof shape, withHistory);
        }
        case GFX_RECORD_IMAGE: return appendImage(layer, r, withHistory);
        case GFX_RECORD_LAYER_MERGED: {
            GfxLayer* merged = gfxLayerAtSlot(sketch_, slots_[r.layerIndex]);
            const GfxMergeRecord merge{merged->slot, r.upperOpacity, r.lowerOpacity, matrixOf(r.matrix), r.scale};
            const int32_t index = appendRecordPayload(layer, r.type, &merge, sizeof merge, withHistory);
            // The record holds the merged layer in place of the order.
            if (index >= 0) merged->refCount = std::max(merged->refCount, 1);
            return index;
        }
        case GFX_RECORD_LAYER_TRANSFORMED: {
            const GfxTransformRecord transform{matrixOf(r.matrix), r.scale};
            return appendRecordPayload(layer, r.type, &transform, sizeof transform, withHistory);
        }
        case GFX_RECORD_REGION_CUT: {
            const GfxCutRecord cut{{r.shape[0], r.shape[1], r.shape[2], r.shape[3]}};
            return appendRecordPayload(layer, r.type, &cut, sizeof cut, withHistory);
        }
        case GFX_RECORD_CLIPBOARD_PASTED: {
            GfxLayer* pasted = gfxLayerAtSlot(sketch_, slots_[r.layerIndex]);
            GfxPasteRecord paste{};
            paste.pastedSlot = pasted->slot;
            std::memcpy(paste.sourceRect, r.sourceRect, sizeof paste.sourceRect);
            paste.placement = matrixOf(r.matrix);
            paste.placementScale = r.scale;
            paste.clipView = matrixOf(r.clipMatrix);
            paste.clipViewScale = r.clipScale;
            const int32_t index = appendRecordPayload(layer, r.type, &paste, sizeof paste, withHistory);
            // One hold per paste record, as pasting the same copy twice gives.
            if (index >= 0) ++pasted->refCount;
            return index;
        }
        case GFX_RECORD_FRAME: {
            const GfxFrameRecord frame{matrixOf(r.matrix), r.scale};
            return appendRecordPayload(layer, r.type, &frame, sizeof frame, false);
        }
        case GFX_RECORD_PEN: {
            const GfxPenRecord pen{r.penType, r.penNoise, r.penWidth, r.penWidthSensitivity, r.penOpacity,
                                   r.penOpacitySensitivity};
            return appendRecordPayload(layer, r.type, &pen, sizeof pen, false);
        }
        case GFX_RECORD_COLOUR: {
            const GfxColourRecord colour{{r.colour[0], r.colour[1], r.colour[2]}};
            return appendRecordPayload(layer, r.type, &colour, sizeof colour, false);
        }
        case GFX_RECORD_ERASE: {
            const GfxEraseRecord erase{r.eraseMode};
            return appendRecordPayload(layer, r.type, &erase, sizeof erase, false);
        }
        default: return fail(GFX_ERR_INVALID);
        }
    }

    GfxSystem* system_;
    GfxSketch* sketch_ = nullptr;
    GfxSketchAttributes paperAttributes_;
    int64_t imagePixels_ = 0;
    HookVector<int32_t> slots_;  // blob layer index -> slot
    HookVector<TableEntry> table_;
};

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] gfxSerializeSketch, gfxSerializeSketchRegion
// ----------------------------------------------------------------------------------
uint8_t* gfxSerializeSketch(GfxSketch* sketch, int32_t format)
{
    if (!sketch) return nullptr;
    // Nothing may be half-made while it is written down.
    if (sketch->elementOpen || sketch->viewGesture.kind != 0 || sketch->layerGestureSlot >= 0) {
        gfxFail(sketch, GFX_ERR_INTERNAL);
        return nullptr;
    }
    SketchWriter writer(sketch, format == 1 ? GFX_BLOB_VERSION_DELTA3 : GFX_BLOB_VERSION_DELTA5);
    return writer.write();
}

uint8_t* gfxSerializeSketchRegion(GfxSketch* sketch, float x, float y, float width, float height, int32_t format)
{
    if (!sketch) return nullptr;
    GfxSystem* system = sketch->system;
    if (sketch->elementOpen || sketch->viewGesture.kind != 0 || sketch->layerGestureSlot >= 0) {
        gfxFail(sketch, GFX_ERR_INTERNAL);
        return nullptr;
    }
    GfxSketchAttributes attributes;
    attributes.flags = ~(GFX_SKETCH_LAYER_COUNT | GFX_SKETCH_CURRENT_LAYER | GFX_SKETCH_STATS |
                         GFX_SKETCH_UNDO_KIND | GFX_SKETCH_REDO_KIND);
    gfxGetSketchAttributes(sketch, &attributes);
    // Without a texture showing, the paper image stays behind.
    if (attributes.paperTextureMode == 0) attributes.flags &= ~GFX_SKETCH_PAPER_IMAGE;
    if (attributes.paperImage.source == 0 && !attributes.paperImage.data) attributes.flags &= ~GFX_SKETCH_PAPER_IMAGE;
    GfxSketch* copy = gfxCreateSketch(system, &attributes);
    if (!copy) return nullptr;
    gfxSetViewport(copy, sketch->viewport[0], sketch->viewport[1], sketch->viewport[2], sketch->viewport[3]);

    int32_t code = GFX_OK;
    for (int32_t position = 0; position < sketch->layerCount && code == GFX_OK; ++position) {
        GfxSketchAttributes current;
        current.flags = GFX_SKETCH_CURRENT_LAYER;
        current.currentLayer = position;
        gfxSetSketchAttributes(sketch, &current);
        const GfxLayer* source = gfxLayerAtPosition(sketch, position);
        GfxLayerAttributes layer;
        layer.flags = GFX_LAYER_NAME | GFX_LAYER_OPACITY | GFX_LAYER_VISIBLE;
        std::memcpy(layer.name, source->name, sizeof layer.name);
        layer.opacity = source->opacity;
        layer.visible = source->visible;
        gfxAddLayer(copy, &layer);
        code = system->lastError;
        // A layer with nothing in the region stays empty: pasting would bring back
        // whatever the clipboard held before.
        if (code == GFX_OK && gfxCopyRegion(sketch, x, y, width, height)) {
            gfxPasteClipboard(copy, 0, 0);
            code = system->lastError;
        } else if (code == GFX_OK) {
            code = system->lastError;
        }
    }
    uint8_t* blob = code == GFX_OK ? gfxSerializeSketch(copy, format) : nullptr;
    code = blob ? GFX_OK : (system->lastError != GFX_OK ? system->lastError : code);
    gfxDestroySketch(copy);
    system->lastError = code;
    return blob;
}

// ----------------------------------------------------------------------------------
// [SECTION] gfxCreateSketchFromBlob
// ----------------------------------------------------------------------------------
GfxSketch* gfxCreateSketchFromRawBlob(GfxSystem* system, const uint8_t* raw, size_t bytes)
{
    if (!system) return nullptr;
    SketchLoader loader(system);
    int32_t code = gfxBlobParse(raw, bytes, system->allocator, &loader);
    GfxSketch* sketch = loader.sketch();
    if (code == GFX_OK && sketch) code = loader.finish();
    if (code != GFX_OK || !sketch) {
        // Nothing half-built survives a failed load.
        if (sketch) gfxDestroySketch(sketch);
        system->lastError = code != GFX_OK ? code : GFX_ERR_FAILED;
        return nullptr;
    }
    system->lastError = GFX_OK;
    return sketch;
}

GfxSketch* gfxCreateSketchFromBlob(GfxSystem* system, const uint8_t* blob, int32_t blobBytes)
{
    if (!system) return nullptr;
    if (!blob || blobBytes < 0) {
        system->lastError = GFX_ERR_INVALID;
        return nullptr;
    }
    size_t rawBytes = 0;
    uint8_t* raw = gfxBlobDecompress(system->allocator, blob, static_cast<size_t>(blobBytes), &rawBytes);
    if (!raw) {
        system->lastError = GFX_ERR_FAILED;
        return nullptr;
    }
    GfxSketch* sketch = gfxCreateSketchFromRawBlob(system, raw, rawBytes);
    system->allocator.release(raw);
    return sketch;
}
