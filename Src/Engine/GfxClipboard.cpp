// The clipboard: copy, cut, paste, lift, and moving a pasted selection.
//
// [SECTION] Geometry: separating axes, containment
// [SECTION] Copying records between layers
// [SECTION] Copying a region (the clipboard layer)
// [SECTION] Duplicating a layer whole (each sketch's pasted copy)
// [SECTION] Public operations
//
// The clipboard layer lives in a hidden sketch of the system (clipSketch, clipLayer)
// that is never drawn. A paste works on the pasting sketch's own copy of it (one per
// sketch, found through clipRegistry), held by every paste record that uses it.
#include "GfxInternal.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t CLIPBOARD_MAX_NESTING = 64;  // merged and pasted layers inside each other
constexpr float PLACEMENT_IDENTITY_TOLERANCE = 1e-5f;

// ----------------------------------------------------------------------------------
// [SECTION] Geometry: separating axes, containment
// ----------------------------------------------------------------------------------
struct Rect {
    float x0, y0, x1, y1;
};

Rect normalisedRect(float x, float y, float width, float height)
{
    return Rect{std::min(x, x + width), std::min(y, y + height), std::max(x, x + width), std::max(y, y + height)};
}

void transformCorners(const GfxMatrix& transform, const float in[8], float out[8])
{
    for (int i = 0; i < 4; ++i) gfxMatrixTransformPoint(transform, in[2 * i], in[2 * i + 1], &out[2 * i], &out[2 * i + 1]);
}

void rectCorners(const float rect[4], float corners[8])
{
    const float c[8] = {rect[0], rect[1], rect[0] + rect[2], rect[1], rect[0] + rect[2], rect[1] + rect[3],
                        rect[0], rect[1] + rect[3]};
    std::memcpy(corners, c, sizeof c);
}

bool separatedOnAxis(const float quad[8], const Rect& rect, double ax, double ay)
{
    double quadMin = INFINITY, quadMax = -INFINITY, rectMin = INFINITY, rectMax = -INFINITY;
    const float rectPoints[8] = {rect.x0, rect.y0, rect.x1, rect.y0, rect.x1, rect.y1, rect.x0, rect.y1};
    for (int i = 0; i < 4; ++i) {
        const double q = quad[2 * i] * ax + quad[2 * i + 1] * ay;
        const double r = rectPoints[2 * i] * ax + rectPoints[2 * i + 1] * ay;
        quadMin = std::min(quadMin, q);
        quadMax = std::max(quadMax, q);
        rectMin = std::min(rectMin, r);
        rectMax = std::max(rectMax, r);
    }
    return quadMax < rectMin || rectMax < quadMin;
}

// The separating-axis test of a quadrilateral (a mapped box) against an
// axis-aligned rectangle: the rectangle's two axes and the quad's two edge normals.
bool quadMeetsRect(const float quad[8], const Rect& rect)
{
    if (separatedOnAxis(quad, rect, 1, 0) || separatedOnAxis(quad, rect, 0, 1)) return false;
    for (int edge = 0; edge < 2; ++edge) {
        const double dx = quad[2 * edge + 2] - quad[2 * edge];
        const double dy = quad[2 * edge + 3] - quad[2 * edge + 1];
        if (dx == 0 && dy == 0) continue;  // a degenerate box has no such axis
        if (separatedOnAxis(quad, rect, -dy, dx)) return false;
    }
    return true;
}

// True when every corner of `rect` lies inside the convex quadrilateral, allowing
// half a pixel (and the float error of large coordinates): a cut of exactly the same
// rectangle, mapped through a frame and back, must still count as covering it.
bool quadContainsRect(const float quad[8], const Rect& rect)
{
    double area = 0, extent = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        area += static_cast<double>(quad[2 * i]) * quad[2 * j + 1] - static_cast<double>(quad[2 * j]) * quad[2 * i + 1];
        extent = std::max({extent, std::fabs(static_cast<double>(quad[2 * i])), std::fabs(static_cast<double>(quad[2 * i + 1]))});
    }
    if (area == 0) return false;
    const double orientation = area > 0 ? 1.0 : -1.0;
    const double tolerance = 0.5 + 1e-6 * extent;
    const float points[8] = {rect.x0, rect.y0, rect.x1, rect.y0, rect.x1, rect.y1, rect.x0, rect.y1};
    for (int p = 0; p < 4; ++p) {
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            const double ex = static_cast<double>(quad[2 * j]) - quad[2 * i];
            const double ey = static_cast<double>(quad[2 * j + 1]) - quad[2 * i + 1];
            const double length = std::sqrt(ex * ex + ey * ey);
            if (length == 0) continue;
            const double cross = ex * (points[2 * p + 1] - quad[2 * i + 1]) - ey * (points[2 * p] - quad[2 * i]);
            if (orientation * cross / length < -tolerance) return false;  // outside this edge
        }
    }
    return true;
}

// ----------------------------------------------------------------------------------
// [SECTION] Copying records between layers
// ----------------------------------------------------------------------------------
// A new texture with the content of `texture` (read back and uploaded again), or 0.
GLuint duplicateTexture(const GfxAllocator& allocator, GLuint texture, int32_t width, int32_t height)
{
    if (!texture || width <= 0 || height <= 0 || width > INT32_MAX / 4 / height) return 0;
    void* pixels = allocator.allocate(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    if (!pixels) return 0;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    GLint packAlignment = 4, unpackAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    GLuint copy = 0;
    glGenTextures(1, &copy);
    glBindTexture(GL_TEXTURE_2D, copy);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &copy);
        copy = 0;
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment);
    allocator.release(pixels);
    return copy;
}

// Copies one record (payload, points, image bytes and texture) to the end of
// `target`; merge and paste records get `heldSlot` as their layer. Vertex ranges are
// reset: cells are built for the target's own buffer. -1 on failure (nothing kept).
int32_t copyRecord(const GfxLayer* source, const GfxRecordEntry& entry, GfxLayer* target, int32_t heldSlot)
{
    const GfxAllocator& allocator = target->sketch->system->allocator;
    const GfxLayerMark mark = gfxLayerMarkNow(target);
    uint8_t payload[256];
    const int32_t bytes = gfxRecordPayloadBytes(entry.type);
    std::memcpy(payload, gfxPayloadAt(source, entry), static_cast<size_t>(bytes));
    if (entry.type == GFX_RECORD_LAYER_MERGED) {
        GfxMergeRecord merge;
        std::memcpy(&merge, payload, sizeof merge);
        merge.mergedSlot = heldSlot;
        std::memcpy(payload, &merge, sizeof merge);
    } else if (entry.type == GFX_RECORD_CLIPBOARD_PASTED) {
        GfxPasteRecord paste;
        std::memcpy(&paste, payload, sizeof paste);
        paste.pastedSlot = heldSlot;
        std::memcpy(payload, &paste, sizeof paste);
    } else if (entry.type == GFX_RECORD_IMAGE) {
        GfxImageRecord image;
        std::memcpy(&image, payload, sizeof image);
        uint8_t* bytesCopy = nullptr;
        if (image.encodedBytes && image.encodedLength > 0) {
            bytesCopy = static_cast<uint8_t*>(allocator.allocate(static_cast<size_t>(image.encodedLength)));
            if (!bytesCopy) {
                target->sketch->system->lastError = GFX_ERR_FAILED;
                return -1;
            }
            std::memcpy(bytesCopy, image.encodedBytes, static_cast<size_t>(image.encodedLength));
        }
        const GLuint texture = duplicateTexture(allocator, image.texture, image.textureWidth, image.textureHeight);
        if (image.texture && !texture) {
            allocator.release(bytesCopy);
            target->sketch->system->lastError = GFX_ERR_FAILED;
            return -1;
        }
        image.encodedBytes = bytesCopy;
        image.texture = texture;
        std::memcpy(payload, &image, sizeof image);
        const int32_t index = gfxAppendRecord(target, entry.type, payload, bytes);
        if (index < 0) {
            allocator.release(bytesCopy);
            if (texture) glDeleteTextures(1, &texture);
        }
        return index;
    }
    GfxVertexRange none{-1, 0};
    const int32_t index = gfxAppendRecord(target, entry.type, payload, bytes);
    if (index < 0) return -1;
    const GfxRecordEntry copied = *gfxRecordAt(target, index);
    gfxSetElementVertexRange(target, copied, none);
    if (gfxIsPointListType(entry.type)) {
        const int32_t count = gfxReadPayload<GfxPointListRecord>(source, entry).pointCount;
        GfxHeapPosition from = gfxFirstPointPosition(entry);
        for (int32_t i = 0; i < count; ++i) {
            if (!gfxRecordHeapAppend(&target->heap, gfxRecordHeapAt(&source->heap, from), sizeof(GfxSample), nullptr)) {
                gfxLayerRollBack(target, mark);
                target->sketch->system->lastError = GFX_ERR_FAILED;
                return -1;
            }
            from = gfxRecordHeapNext(from, sizeof(GfxSample), sizeof(GfxSample));
        }
    }
    return index;
}

GfxLayer* createHeldLayer(GfxSketch* sketch, const GfxLayer* like)
{
    GfxLayer* layer = gfxCreateLayer(sketch);
    if (!layer) return nullptr;
    std::memcpy(layer->name, like->name, sizeof layer->name);
    layer->opacity = like->opacity;
    layer->visible = like->visible;
    layer->matrix = like->matrix;
    layer->inverse = like->inverse;
    layer->scale = like->scale;
    layer->refCount = 1;  // held by the record (or the clipboard) that is about to refer to it
    return layer;
}

// Empties a layer built by copying (its held layers go too).
void emptyCopiedLayer(GfxSketch* sketch, GfxLayer* layer)
{
    for (int32_t i = 0; i < layer->records.cursor; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        int32_t held = -1;
        if (entry.type == GFX_RECORD_LAYER_MERGED) held = gfxReadPayload<GfxMergeRecord>(layer, entry).mergedSlot;
        if (entry.type == GFX_RECORD_CLIPBOARD_PASTED) held = gfxReadPayload<GfxPasteRecord>(layer, entry).pastedSlot;
        if (GfxLayer* heldLayer = gfxLayerAtSlot(sketch, held)) gfxDropLayerHold(sketch, heldLayer);
        if (entry.type == GFX_RECORD_IMAGE) {
            const GfxImageRecord image = gfxReadPayload<GfxImageRecord>(layer, entry);
            sketch->system->allocator.release(image.encodedBytes);
            if (image.texture) glDeleteTextures(1, &image.texture);
        }
    }
    gfxChunkArrayTruncate(&layer->records, 0);
    gfxRecordHeapTruncate(&layer->heap, {0, 0});
}

// ----------------------------------------------------------------------------------
// [SECTION] Copying a region (the clipboard layer)
// ----------------------------------------------------------------------------------
struct RegionCopy {
    GfxSketch* source;
    GfxSketch* target;
    Rect rect;
    bool failed = false;
};

// The state records of the source walk not yet repeated on the target.
struct PendingState {
    int32_t index[4] = {-1, -1, -1, -1};  // frame, pen, colour, erase
    bool written[4] = {true, true, true, true};
};

int32_t stateSlot(int32_t type) { return type - GFX_RECORD_FRAME; }

bool writePendingState(const GfxLayer* source, GfxLayer* target, PendingState* state)
{
    for (int s = 0; s < 4; ++s) {
        if (state->written[s] || state->index[s] < 0) continue;
        if (copyRecord(source, *gfxRecordAt(source, state->index[s]), target, -1) < 0) return false;
        state->written[s] = true;
    }
    return true;
}

int32_t copyRegionOfLayer(RegionCopy* copy, const GfxLayer* source, GfxLayer* target, const GfxMatrix& outer,
                          int32_t depth);

// Copies the part of a merged or pasted layer that meets the rectangle into a new
// layer of the target sketch. Its slot, or -1 when nothing of it is there.
int32_t copyHeldLayer(RegionCopy* copy, const GfxLayer* held, const GfxMatrix& inner, int32_t depth)
{
    GfxLayer* layer = createHeldLayer(copy->target, held);
    if (!layer) {
        copy->failed = true;
        return -1;
    }
    const int32_t copied = copyRegionOfLayer(copy, held, layer, inner, depth + 1);
    if (copied <= 0 || copy->failed) {
        gfxReleaseLayer(copy->target, layer);
        return -1;
    }
    return layer->slot;
}

// Returns the number of elements copied into `target` (also those inside held
// layers); sets copy->failed on failure.
int32_t copyRegionOfLayer(RegionCopy* copy, const GfxLayer* source, GfxLayer* target, const GfxMatrix& outer,
                          int32_t depth)
{
    if (depth > CLIPBOARD_MAX_NESTING) return 0;
    const GfxSketchAttributes& attributes = copy->source->attributes;
    PendingState state;
    GfxMatrix frame = gfxMatrixIdentity();
    float penHalfWidth = 0.5f * 2.0f * attributes.widthScale;  // the creation pen's width
    int32_t copied = 0;
    for (int32_t i = source->baseIndex; i < source->records.cursor && !copy->failed; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(source, i);
        const GfxMatrix transform = gfxMatrixMultiply(outer, frame);
        if (gfxIsStateType(entry.type)) {
            const int s = stateSlot(entry.type);
            state.index[s] = i;
            state.written[s] = false;
            if (entry.type == GFX_RECORD_FRAME) frame = gfxReadPayload<GfxFrameRecord>(source, entry).matrix;
            if (entry.type == GFX_RECORD_PEN)
                penHalfWidth = 0.5f * gfxReadPayload<GfxPenRecord>(source, entry).penWidth * attributes.widthScale;
            continue;
        }
        float corners[8], quad[8];
        int32_t heldSlot = -1;
        switch (entry.type) {
        case GFX_RECORD_LAYER_MERGED: {
            const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(source, entry);
            const GfxLayer* merged = gfxLayerAtSlot(copy->source, merge.mergedSlot);
            if (!merged) continue;
            const GfxMatrix inner = gfxMatrixMultiply(transform, gfxMatrixMultiply(merge.view, merged->matrix));
            heldSlot = copyHeldLayer(copy, merged, inner, depth);
            if (heldSlot < 0) continue;
            break;
        }
        case GFX_RECORD_CLIPBOARD_PASTED: {
            const GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(source, entry);
            const GfxLayer* pasted = gfxLayerAtSlot(copy->source, paste.pastedSlot);
            if (!pasted) continue;
            rectCorners(paste.sourceRect, corners);
            transformCorners(gfxMatrixMultiply(transform, paste.placement), corners, quad);
            if (!quadMeetsRect(quad, copy->rect)) continue;  // the paste shows nothing outside its source
            const GfxMatrix placed = gfxMatrixMultiply(paste.placement, paste.clipView);
            heldSlot = copyHeldLayer(copy, pasted, gfxMatrixMultiply(transform, gfxMatrixMultiply(placed, pasted->matrix)),
                                     depth);
            if (heldSlot < 0) continue;
            break;
        }
        case GFX_RECORD_REGION_CUT: {
            const GfxCutRecord cut = gfxReadPayload<GfxCutRecord>(source, entry);
            rectCorners(cut.rect, corners);
            transformCorners(transform, corners, quad);
            if (quadContainsRect(quad, copy->rect)) {
                // Everything copied so far is erased here: start again.
                emptyCopiedLayer(copy->target, target);
                copied = 0;
                for (bool& written : state.written) written = false;
                continue;
            }
            if (!quadMeetsRect(quad, copy->rect)) continue;
            break;  // a cut across the rectangle erases part of what was copied: keep it
        }
        default:
            if (!gfxIsElementType(entry.type)) continue;
            if (!gfxElementCorners(source, entry, gfxIsStrokeType(entry.type) ? penHalfWidth : 0.0f, corners)) continue;
            transformCorners(transform, corners, quad);
            if (!quadMeetsRect(quad, copy->rect)) continue;
            break;
        }
        // The record is copied, preceded by the state it needs.
        if (!writePendingState(source, target, &state) || copyRecord(source, entry, target, heldSlot) < 0) {
            if (heldSlot >= 0) gfxReleaseLayer(copy->target, gfxLayerAtSlot(copy->target, heldSlot));
            copy->failed = true;
            break;
        }
        if (gfxIsElementType(entry.type)) ++copied;
        if (heldSlot >= 0) copied += 1;  // a held layer holds at least one element
    }
    return copied;
}

GfxClipRegistryEntry* registryEntryOf(GfxSystem* system, int32_t sketchId)
{
    for (int32_t i = 0; i < system->clipRegistry.count; ++i) {
        GfxClipRegistryEntry* entry = gfxChunkArrayGet<GfxClipRegistryEntry>(&system->clipRegistry, i);
        if (entry->sketchId == sketchId) return entry;
    }
    return nullptr;
}

// Copies the rectangle of the current layer into a fresh clipboard layer. 1 when
// something was copied (the old clipboard is then released), 0 when nothing met
// the rectangle or on failure (lastError says which; the old clipboard stays).
int32_t copyToClipboard(GfxSketch* sketch, GfxLayer* layer, float x, float y, float width, float height)
{
    GfxSystem* system = sketch->system;
    GfxSketch* clip = gfxClipboardSketch(system);
    if (!clip) {
        system->lastError = GFX_ERR_FAILED;
        return 0;
    }
    GfxLayer* target = createHeldLayer(clip, layer);
    if (!target) return 0;
    RegionCopy copy{sketch, clip, normalisedRect(x, y, width, height)};
    const int32_t copied =
        copyRegionOfLayer(&copy, layer, target, gfxMatrixMultiply(sketch->view, layer->matrix), 0);
    if (copy.failed || copied == 0) {
        gfxReleaseLayer(clip, target);
        system->lastError = copy.failed ? GFX_ERR_FAILED : GFX_OK;
        return 0;
    }
    if (GfxLayer* previous = gfxLayerAtSlot(clip, system->clipLayer)) gfxDropLayerHold(clip, previous);
    // Copies pasted from the old clipboard stay with their paste records; new pastes
    // make new copies.
    gfxChunkArrayTruncate(&system->clipRegistry, 0);
    system->clipSketch = clip->id;
    system->clipLayer = target->slot;
    system->clipView = sketch->view;
    system->clipViewScale = sketch->viewScale;
    const Rect r = copy.rect;
    system->clipRect[0] = r.x0;
    system->clipRect[1] = r.y0;
    system->clipRect[2] = r.x1 - r.x0;
    system->clipRect[3] = r.y1 - r.y0;
    system->lastError = GFX_OK;
    return 1;
}

// ----------------------------------------------------------------------------------
// [SECTION] Duplicating a layer whole (each sketch's pasted copy)
// ----------------------------------------------------------------------------------
// A copy of every live record of `source` (in `from`) as a new layer of `to`, held
// layers duplicated in turn. Null on failure.
GfxLayer* duplicateLayer(GfxSketch* from, const GfxLayer* source, GfxSketch* to, int32_t depth)
{
    GfxLayer* layer = createHeldLayer(to, source);
    if (!layer || depth > CLIPBOARD_MAX_NESTING) return layer;
    for (int32_t i = source->baseIndex; i < source->records.cursor; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(source, i);
        int32_t heldSlot = -1;
        if (entry.type == GFX_RECORD_LAYER_MERGED || entry.type == GFX_RECORD_CLIPBOARD_PASTED) {
            const int32_t slot = entry.type == GFX_RECORD_LAYER_MERGED
                                     ? gfxReadPayload<GfxMergeRecord>(source, entry).mergedSlot
                                     : gfxReadPayload<GfxPasteRecord>(source, entry).pastedSlot;
            const GfxLayer* held = gfxLayerAtSlot(from, slot);
            if (!held) continue;
            GfxLayer* heldCopy = duplicateLayer(from, held, to, depth + 1);
            if (!heldCopy) {
                gfxReleaseLayer(to, layer);
                return nullptr;
            }
            heldSlot = heldCopy->slot;
        }
        if (copyRecord(source, entry, layer, heldSlot) < 0) {
            if (heldSlot >= 0) gfxReleaseLayer(to, gfxLayerAtSlot(to, heldSlot));
            gfxReleaseLayer(to, layer);
            return nullptr;
        }
    }
    // A pasted copy is never drawn on: its cells fill a buffer of their own size.
    layer->staticCells = 1;
    gfxBuildStaticLayerCells(layer);
    return layer;
}

// This sketch's own copy of the clipboard layer, with one more hold on it. Null on
// failure (lastError 1).
GfxLayer* takePastedCopy(GfxSketch* sketch)
{
    GfxSystem* system = sketch->system;
    GfxClipRegistryEntry* entry = registryEntryOf(system, sketch->id);
    if (entry) {
        if (GfxLayer* existing = gfxLayerAtSlot(sketch, entry->slot)) {
            ++existing->refCount;
            return existing;
        }
    }
    GfxSketch* clip = gfxSketchById(system, system->clipSketch);
    const GfxLayer* clipLayer = clip ? gfxLayerAtSlot(clip, system->clipLayer) : nullptr;
    if (!clipLayer) {
        system->lastError = GFX_ERR_INVALID;
        return nullptr;
    }
    GfxLayer* copy = duplicateLayer(clip, clipLayer, sketch, 0);
    if (!copy) {
        system->lastError = GFX_ERR_FAILED;
        return nullptr;
    }
    if (entry) {
        entry->slot = copy->slot;
    } else {
        const GfxClipRegistryEntry fresh{sketch->id, copy->slot};
        // A full registry only means the copy is not shared with later pastes.
        gfxChunkArrayAppend(&system->clipRegistry, &fresh);
    }
    return copy;
}

bool clipboardFilled(const GfxSystem* system) { return system->clipSketch >= 0 && system->clipLayer >= 0; }

// Pastes onto the current layer at (x, y): the caller has checked the busy rule.
void pasteAt(GfxSketch* sketch, float x, float y)
{
    GfxSystem* system = sketch->system;
    system->lastError = GFX_OK;
    if (!clipboardFilled(system)) return;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer) {
        system->lastError = GFX_ERR_INVALID;
        return;
    }
    gfxDiscardFutureIfPending(sketch);
    GfxLayer* pasted = takePastedCopy(sketch);
    if (!pasted) return;
    GfxPasteRecord paste;
    paste.pastedSlot = pasted->slot;
    std::memcpy(paste.sourceRect, system->clipRect, sizeof paste.sourceRect);
    paste.placement = gfxMatrixTranslate(x - system->clipRect[0], y - system->clipRect[1]);
    paste.placementScale = 1.0f;
    paste.clipView = system->clipView;
    paste.clipViewScale = system->clipViewScale;
    const GfxLayerMark mark = gfxLayerMarkNow(layer);
    if (!gfxWriteFrameIfNeeded(layer) ||
        gfxAppendRecordWithHistory(layer, GFX_RECORD_CLIPBOARD_PASTED, &paste, sizeof paste) < 0) {
        gfxLayerRollBack(layer, mark);
        gfxDropLayerHold(sketch, pasted);
        system->lastError = GFX_ERR_FAILED;
        return;
    }
    gfxMarkLayerRedrawAll(layer);
    system->lastError = GFX_OK;
}

int32_t cutRegion(GfxSketch* sketch, GfxLayer* layer, float x, float y, float width, float height)
{
    if (!copyToClipboard(sketch, layer, x, y, width, height)) return 0;
    gfxDiscardFutureIfPending(sketch);
    const GfxCutRecord cut{{x, y, width, height}};
    const GfxLayerMark mark = gfxLayerMarkNow(layer);
    // The rectangle is in viewport pixels of the current view: a frame must be in force.
    if (!gfxWriteFrameIfNeeded(layer) || gfxAppendRecordWithHistory(layer, GFX_RECORD_REGION_CUT, &cut, sizeof cut) < 0) {
        gfxLayerRollBack(layer, mark);
        sketch->system->lastError = GFX_ERR_FAILED;
        return 0;
    }
    gfxMarkLayerRedrawAll(layer);
    return 1;
}

// The newest history entry when it is a paste, with its layer and record.
bool newestPaste(GfxSketch* sketch, GfxLayer** layer, GfxRecordEntry* entry)
{
    const GfxChunkArray& history = sketch->history;
    if (history.cursor == 0) return false;
    const GfxHistoryEntry newest = *gfxHistoryAt(sketch, history.cursor - 1);
    if (newest.kind != GFX_RECORD_CLIPBOARD_PASTED) return false;
    *layer = gfxLayerAtSlot(sketch, newest.slot);
    if (!*layer || newest.value < 0 || newest.value >= (*layer)->records.count) return false;
    *entry = *gfxRecordAt(*layer, newest.value);
    return entry->type == GFX_RECORD_CLIPBOARD_PASTED;
}

void placementOf(const GfxPasteRecord& paste, const GfxPastePlacement& placement, GfxMatrix* matrix, float* scale)
{
    const float* source = paste.sourceRect;
    const float scaleX = source[2] != 0 ? placement.width / source[2] : 1.0f;
    const float scaleY = source[3] != 0 ? placement.height / source[3] : 1.0f;
    const GfxMatrix toSource = gfxMatrixTranslate(-(source[0] + 0.5f * source[2]), -(source[1] + 0.5f * source[3]));
    *matrix = gfxMatrixMultiply(
        gfxMatrixTranslate(placement.centreX, placement.centreY),
        gfxMatrixMultiply(gfxMatrixRotate(placement.angle), gfxMatrixMultiply(gfxMatrixScale(scaleX, scaleY), toSource)));
    *scale = 0.5f * (scaleX + scaleY);
}

bool placementUsable(const GfxPastePlacement* placement)
{
    return placement && std::isfinite(placement->centreX) && std::isfinite(placement->centreY) &&
           std::isfinite(placement->width) && std::isfinite(placement->height) && std::isfinite(placement->angle);
}

// The paste a placement applies to: the newest history entry. False, with the busy
// code or error 6 in lastError, when there is none or the placement is unusable.
bool pasteToPlace(GfxSketch* sketch, const GfxPastePlacement* placement, GfxLayer** layer, GfxRecordEntry* entry)
{
    if (gfxCheckBusy(sketch) != GFX_OK) return false;
    if (!placementUsable(placement) || !newestPaste(sketch, layer, entry)) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return false;
    }
    return true;
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Public operations
// ----------------------------------------------------------------------------------
GfxSketch* gfxClipboardSketch(GfxSystem* system)
{
    if (GfxSketch* existing = gfxSketchById(system, system->clipSketch)) return existing;
    for (int32_t id = 0; id < system->sketches.count; ++id) {
        GfxSketch* sketch = gfxSketchById(system, id);
        if (sketch && sketch->hidden) return sketch;
    }
    GfxSketch* sketch = gfxCreateSketch(system, nullptr);
    if (sketch) sketch->hidden = 1;
    return sketch;
}

bool gfxPlacementIsIdentity(const GfxMatrix& placement)
{
    return gfxMatrixIsIdentity(placement, PLACEMENT_IDENTITY_TOLERANCE);
}

int32_t gfxCopyRegion(GfxSketch* sketch, float x, float y, float width, float height)
{
    if (!sketch) return 0;
    if (gfxCheckBusy(sketch) != GFX_OK) return 0;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return 0;
    }
    return copyToClipboard(sketch, layer, x, y, width, height);
}

int32_t gfxCutRegion(GfxSketch* sketch, float x, float y, float width, float height)
{
    if (!sketch) return 0;
    if (gfxCheckBusy(sketch) != GFX_OK) return 0;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return 0;
    }
    return cutRegion(sketch, layer, x, y, width, height);
}

void gfxPasteClipboard(GfxSketch* sketch, float x, float y)
{
    if (!sketch) return;
    if (gfxCheckBusy(sketch) != GFX_OK) return;
    pasteAt(sketch, x, y);
}

int32_t gfxLiftRegion(GfxSketch* sketch, float x, float y, float width, float height, float pointX, float pointY)
{
    if (!sketch) return 0;
    if (gfxCheckBusy(sketch) != GFX_OK) return 0;
    GfxLayer* layer = gfxCurrentLayer(sketch);
    if (!layer) {
        gfxFail(sketch, GFX_ERR_INVALID);
        return 0;
    }
    if (!cutRegion(sketch, layer, x, y, width, height)) return 0;
    pasteAt(sketch, pointX, pointY);
    if (sketch->system->lastError != GFX_OK) {
        // Without its paste the cut would only erase: take it back.
        gfxUndoStep(sketch);
        gfxDiscardFutureIfPending(sketch);
        sketch->system->lastError = GFX_ERR_FAILED;
        return 0;
    }
    return 1;
}

void gfxUpdatePaste(GfxSketch* sketch, const GfxPastePlacement* placement)
{
    GfxLayer* layer = nullptr;
    GfxRecordEntry entry;
    if (!sketch || !pasteToPlace(sketch, placement, &layer, &entry)) return;
    GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(layer, entry);
    placementOf(paste, *placement, &paste.placement, &paste.placementScale);
    gfxWritePayload(layer, entry, paste);
    gfxMarkLayerRedrawAll(layer);  // the record changed in place: the cache holds the old placement
    sketch->system->lastError = GFX_OK;
}

void gfxCommitPaste(GfxSketch* sketch, const GfxPastePlacement* placement)
{
    GfxLayer* layer = nullptr;
    GfxRecordEntry entry;
    if (!sketch || !pasteToPlace(sketch, placement, &layer, &entry)) return;
    GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(layer, entry);
    GfxMatrix matrix;
    float scale;
    placementOf(paste, *placement, &matrix, &scale);
    gfxMarkLayerRedrawAll(layer);
    if (!gfxPlacementIsIdentity(matrix)) {
        paste.placement = matrix;
        paste.placementScale = scale;
        gfxWritePayload(layer, entry, paste);
        sketch->system->lastError = GFX_OK;
        return;
    }
    // Never moved: the selection goes back where it was, and neither the paste nor
    // the cut that lifted it stays in the history.
    paste.placement = gfxMatrixIdentity();
    gfxWritePayload(layer, entry, paste);
    int32_t code = gfxUndoStep(sketch);
    const GfxChunkArray& history = sketch->history;
    if (code == GFX_OK && history.cursor > 0) {
        const GfxHistoryEntry before = *gfxHistoryAt(sketch, history.cursor - 1);
        if (before.kind == GFX_RECORD_REGION_CUT && before.slot == layer->slot) code = gfxUndoStep(sketch);
    }
    gfxDiscardFutureIfPending(sketch);
    sketch->system->lastError = code;
}
