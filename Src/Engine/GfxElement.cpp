// Elements: gfxBeginElement / gfxExtendElement / gfxEndElement record handling
// for the seven kinds.
//
// [SECTION] Point lists
// [SECTION] Freehand rebuild
// [SECTION] The open element
// [SECTION] Begin
// [SECTION] Extend
// [SECTION] End
#include "GfxImageTexture.h"
#include "GfxInternal.h"
#include "GfxPenCells.h"
#include "GfxStrokeBuilder.h"

#include <GL/glew.h>

#include <algorithm>

namespace {

// ----------------------------------------------------------------------------------
// [SECTION] Point lists
// ----------------------------------------------------------------------------------
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

// Appends one point after the list's last point and counts it in the header.
// IMPORTANT: nothing else may be written to the layer's heap while the element is
// open, so the heap's write position is always just after the last point.
bool appendPoint(GfxLayer* layer, const GfxRecordEntry& entry, const GfxSample& point, bool grow)
{
    if (!gfxRecordHeapAppend(&layer->heap, &point, sizeof point, nullptr)) {
        layer->sketch->system->lastError = GFX_ERR_FAILED;
        return false;
    }
    GfxPointListRecord header = gfxReadPayload<GfxPointListRecord>(layer, entry);
    ++header.pointCount;
    if (grow) growBounds(header.bounds, point);
    gfxWritePayload(layer, entry, header);
    return true;
}

// Appends every sample of the call as a point.
bool appendSamples(GfxLayer* layer, const GfxRecordEntry& entry, const GfxElementInput& input)
{
    if (input.sampleCount < 0 || (input.sampleCount > 0 && !input.samples)) {
        layer->sketch->system->lastError = GFX_ERR_INVALID;
        return false;
    }
    for (int32_t i = 0; i < input.sampleCount; ++i)
        if (!appendPoint(layer, entry, input.samples[i], true)) return false;
    return true;
}

// ----------------------------------------------------------------------------------
// [SECTION] Freehand rebuild
// ----------------------------------------------------------------------------------
// Rewrites the stroke's point list from the start with `points`.
void rewritePoints(GfxLayer* layer, const GfxRecordEntry& entry, const GfxPool<GfxSample>& points,
                   const GfxStrokeBounds& bounds)
{
    GfxPointListRecord header = gfxReadPayload<GfxPointListRecord>(layer, entry);
    gfxRecordHeapRewind(&layer->heap, {entry.chunk, entry.offset + static_cast<int32_t>(sizeof header)});
    header.pointCount = 0;
    for (int32_t i = 0; i < points.count(); ++i) {
        if (!gfxRecordHeapAppend(&layer->heap, &points[i], sizeof(GfxSample), nullptr)) {
            layer->sketch->system->lastError = GFX_ERR_FAILED;  // the points so far stay
            break;
        }
        ++header.pointCount;
    }
    header.bounds[0] = bounds.x;
    header.bounds[1] = bounds.y;
    header.bounds[2] = bounds.width;
    header.bounds[3] = bounds.height;
    gfxWritePayload(layer, entry, header);
}

// The smooth curve through every kept sample (plus `finalSample` at the end).
void rebuildFreehand(GfxSketch* sketch, GfxLayer* layer, const GfxRecordEntry& entry, const GfxSample* finalSample)
{
    GfxSmoothing smoothing;
    smoothing.passes = sketch->smoothingPasses;
    smoothing.uniform = sketch->uniformSampling != 0;
    GfxStrokeBounds bounds;
    const int32_t result = gfxRebuildStroke(sketch->rawSamples, finalSample, smoothing, sketch->rebuildCopy,
                                            sketch->rebuiltPoints, &bounds);
    if (result != GFX_OK) {
        sketch->system->lastError = result;  // the previous point list stays
        return;
    }
    if (sketch->rebuiltPoints.count() > 0) rewritePoints(layer, entry, sketch->rebuiltPoints, bounds);
}

void extendFreehand(GfxSketch* sketch, GfxLayer* layer, const GfxRecordEntry& entry, const GfxElementInput& input)
{
    if (!appendSamples(layer, entry, input)) return;
    const int32_t before = sketch->rawSamples.count();
    int32_t kept = 0;
    const int32_t filtered = gfxStrokeFilterSamples(sketch->rawSamples, input.samples, input.sampleCount, &kept);
    if (filtered != GFX_OK) sketch->system->lastError = filtered;
    if (gfxStrokeShouldRebuild(kept, before)) rebuildFreehand(sketch, layer, entry, nullptr);
}

// ----------------------------------------------------------------------------------
// [SECTION] The open element
// ----------------------------------------------------------------------------------
struct OpenElement {
    GfxLayer* layer = nullptr;
    GfxRecordEntry entry{};
    int32_t index = -1;
};

// The element named by the newest history entry. Anything else closes the element
// with GFX_ERR_INTERNAL (or GFX_ERR_INVALID when none is open).
bool findOpenElement(GfxSketch* sketch, const GfxElementInput* input, OpenElement* open)
{
    if (!sketch->elementOpen || !input) {
        sketch->system->lastError = GFX_ERR_INVALID;
        return false;
    }
    const GfxChunkArray& history = sketch->history;
    bool found = false;
    if (history.cursor > 0) {
        const GfxHistoryEntry newest = *gfxHistoryAt(sketch, history.cursor - 1);
        open->layer = gfxLayerAtSlot(sketch, newest.slot);
        if (gfxIsElementType(newest.kind) && open->layer && newest.value >= 0 &&
            newest.value < open->layer->records.count) {
            open->index = newest.value;
            open->entry = *gfxRecordAt(open->layer, newest.value);
            found = open->entry.type == newest.kind;
        }
    }
    if (!found) {
        sketch->elementOpen = 0;
        sketch->system->lastError = GFX_ERR_INTERNAL;
    }
    return found;
}

bool hasSamples(const GfxElementInput& input) { return input.sampleCount > 0 && input.samples; }

void replaceShape(GfxLayer* layer, const GfxRecordEntry& entry, const GfxElementInput& input)
{
    // Rectangles, ellipses and images all start with centre, size and angle.
    float shape[5] = {input.rect[0], input.rect[1], input.rect[2], input.rect[3], input.angle};
    std::memcpy(gfxPayloadAt(layer, entry), shape, sizeof shape);
}

void setLineEnd(GfxLayer* layer, const GfxRecordEntry& entry, const GfxSample& end)
{
    GfxLineRecord line = gfxReadPayload<GfxLineRecord>(layer, entry);
    line.end = end;
    line.bounds[2] = end.x - line.start.x;  // may be negative until the end
    line.bounds[3] = end.y - line.start.y;
    gfxWritePayload(layer, entry, line);
}

void normaliseLine(GfxLayer* layer, const GfxRecordEntry& entry)
{
    GfxLineRecord line = gfxReadPayload<GfxLineRecord>(layer, entry);
    if (line.bounds[2] < 0) {
        line.bounds[0] += line.bounds[2];
        line.bounds[2] = -line.bounds[2];
    }
    if (line.bounds[3] < 0) {
        line.bounds[1] += line.bounds[3];
        line.bounds[3] = -line.bounds[3];
    }
    gfxWritePayload(layer, entry, line);
}

GfxSample firstPoint(const GfxLayer* layer, const GfxRecordEntry& entry)
{
    GfxSample point;
    std::memcpy(&point, gfxRecordHeapAt(&layer->heap, gfxFirstPointPosition(entry)), sizeof point);
    return point;
}

// ----------------------------------------------------------------------------------
// [SECTION] Begin
// ----------------------------------------------------------------------------------
// Appends the element record (and for point lists the first point). -1 on failure.
int32_t appendElementRecord(GfxLayer* layer, const GfxElementInput& input)
{
    const int32_t type = input.kind + 1;
    const GfxVertexRange none{-1, 0};
    if (gfxIsPointListType(type)) {
        const GfxSample& first = input.samples[0];
        const GfxPointListRecord header{{first.x, first.y, 0, 0}, 0, none};
        const int32_t index = gfxAppendRecord(layer, type, &header, sizeof header);
        if (index < 0) return -1;
        if (!appendPoint(layer, *gfxRecordAt(layer, index), first, false)) return -1;
        return index;
    }
    if (type == GFX_RECORD_LINE) {
        const GfxSample& first = input.samples[0];
        const GfxLineRecord line{{first.x, first.y, 0, 0}, first, first, none};
        return gfxAppendRecord(layer, type, &line, sizeof line);
    }
    const GfxShapeRecord shape{input.rect[0], input.rect[1], input.rect[2], input.rect[3], input.angle, none};
    return gfxAppendRecord(layer, type, &shape, sizeof shape);
}

bool acceptedImageEncoding(int32_t encoding)
{
    return encoding == GFX_IMAGE_JPEG || encoding == GFX_IMAGE_RAW_RGBA || encoding == GFX_IMAGE_PNG;
}

// Decodes and uploads the image and copies its bytes. GFX_OK or the code to report
// (nothing is kept then).
int32_t prepareImage(GfxSketch* sketch, const GfxElementInput& input, GfxImageRecord* image)
{
    const GfxAllocator& allocator = sketch->system->allocator;
    GfxImageTexture texture;
    const int32_t result = gfxCreateImageTexture(allocator, input.imageEncoding, input.imageData, input.imageLength,
                                                 input.imageWidth, input.imageHeight, &texture);
    if (result != GFX_OK) return result;
    uint8_t* bytes = static_cast<uint8_t*>(allocator.allocate(static_cast<size_t>(input.imageLength)));
    if (!bytes) {
        gfxDeleteImageTexture(&texture);
        return GFX_ERR_FAILED;
    }
    std::memcpy(bytes, input.imageData, static_cast<size_t>(input.imageLength));
    *image = GfxImageRecord{};
    image->centreX = input.rect[0];
    image->centreY = input.rect[1];
    image->width = input.rect[2];
    image->height = input.rect[3];
    image->angle = input.angle;
    image->encoding = input.imageEncoding == GFX_IMAGE_PNG ? GFX_IMAGE_PNG_STORED : input.imageEncoding;
    image->encodedLength = input.imageLength;
    image->encodedBytes = bytes;
    image->textureWidth = texture.width;
    image->textureHeight = texture.height;
    image->texture = texture.texture;
    image->imageIndex = 0;
    return GFX_OK;
}

void releaseImage(const GfxAllocator& allocator, GfxImageRecord* image)
{
    allocator.release(image->encodedBytes);
    if (image->texture) glDeleteTextures(1, &image->texture);
    *image = GfxImageRecord{};
}

}  // namespace

void gfxBeginElement(GfxSketch* sketch, const GfxElementInput* input)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer || !input || input->kind < GFX_ELEMENT_FREEHAND || input->kind > GFX_ELEMENT_IMAGE) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    const int32_t type = input->kind + 1;
    if ((gfxIsPointListType(type) || type == GFX_RECORD_LINE) && !hasSamples(*input)) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return;
    }
    GfxImageRecord image{};
    if (type == GFX_RECORD_IMAGE) {
        if (!acceptedImageEncoding(input->imageEncoding)) {
            gfxFail(sketch, GFX_ERR_INVALID);
            return;
        }
        const int32_t prepared = prepareImage(sketch, *input, &image);
        if (prepared != GFX_OK) {
            gfxFail(sketch, prepared);
            return;
        }
    }
    gfxDiscardFutureIfPending(sketch);
    const GfxLayerMark mark = gfxLayerMarkNow(layer);
    int32_t index = -1;
    if (gfxWriteStateRecords(layer)) {
        index = type == GFX_RECORD_IMAGE ? gfxAppendRecord(layer, type, &image, sizeof image)
                                         : appendElementRecord(layer, *input);
    }
    if (index < 0 || !gfxAppendHistory(sketch, type, layer->slot, index)) {
        gfxLayerRollBack(layer, mark);
        releaseImage(sketch->system->allocator, &image);
        sketch->system->lastError = GFX_ERR_FAILED;
        return;
    }
    if (type == GFX_RECORD_FREEHAND) {
        sketch->rawSamples.reset();
        sketch->rawSamples.push(input->samples[0]);
    }
    sketch->elementOpen = 1;
    layer->heldBack = std::min(GFX_HELD_BACK_MAX, layer->heldBack + 1);
    gfxMarkLayerNewRecords(layer);
    sketch->system->lastError = GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Extend
// ----------------------------------------------------------------------------------
void gfxExtendElement(GfxSketch* sketch, const GfxElementInput* input)
{
    if (!sketch) return;
    OpenElement open;
    if (!findOpenElement(sketch, input, &open)) return;
    sketch->system->lastError = GFX_OK;
    GfxLayer* layer = open.layer;
    switch (open.entry.type) {
    case GFX_RECORD_FREEHAND: extendFreehand(sketch, layer, open.entry, *input); break;
    case GFX_RECORD_MULTI_LINE:
    case GFX_RECORD_POLYGON: appendSamples(layer, open.entry, *input); break;
    case GFX_RECORD_LINE:
        if (hasSamples(*input)) setLineEnd(layer, open.entry, input->samples[input->sampleCount - 1]);
        break;
    default: replaceShape(layer, open.entry, *input); break;
    }
    gfxMarkLayerNewRecords(layer);
}

// ----------------------------------------------------------------------------------
// [SECTION] End
// ----------------------------------------------------------------------------------
void gfxEndElement(GfxSketch* sketch, const GfxElementInput* input)
{
    if (!sketch) return;
    OpenElement open;
    if (!findOpenElement(sketch, input, &open)) return;
    sketch->system->lastError = GFX_OK;
    GfxLayer* layer = open.layer;
    const GfxRecordEntry& entry = open.entry;
    const bool sample = hasSamples(*input);
    switch (entry.type) {
    case GFX_RECORD_FREEHAND:
        // The final sample joins without the distance filter.
        if (sample) appendPoint(layer, entry, input->samples[0], true);
        rebuildFreehand(sketch, layer, entry, sample ? &input->samples[0] : nullptr);
        break;
    case GFX_RECORD_MULTI_LINE:
        if (sample) appendPoint(layer, entry, input->samples[0], true);
        break;
    case GFX_RECORD_POLYGON:
        if (sample) appendPoint(layer, entry, input->samples[0], true);
        appendPoint(layer, entry, firstPoint(layer, entry), false);  // closes the outline
        break;
    case GFX_RECORD_LINE:
        if (sample) setLineEnd(layer, entry, input->samples[0]);
        normaliseLine(layer, entry);
        break;
    default: replaceShape(layer, entry, *input); break;
    }
    if (gfxIsStrokeType(entry.type)) {
        const GfxSketchAttributes& a = sketch->attributes;
        GfxCellPen pen;
        pen.penType = a.penType;
        pen.penWidth = a.penWidth;
        pen.penWidthSensitivity = a.penWidthSensitivity;
        pen.widthScale = a.widthScale;
        // Drawn in the current viewport's pixels: built at scale 1. A failure leaves
        // the element without cells, and lastError 1.
        gfxBuildElementCellsAt(layer, open.index, pen, 1.0f);
    }
    sketch->elementOpen = 0;
    if (entry.type == GFX_RECORD_IMAGE) gfxMarkLayerRedraw(layer);
    else gfxMarkLayerNewRecords(layer);
}
