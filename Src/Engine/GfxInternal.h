// GfxInternal.h — the engine's model, shared by the engine's own pieces (model,
// renderer, serializer) and by the engine tests. Not part of the public interface.
//
// [SECTION] Limits
// [SECTION] Records: types, payloads, history entries
// [SECTION] Render-state values
// [SECTION] GfxSystem, GfxSketch, GfxLayer
// [SECTION] Helpers: errors, busy rule, lookups
// [SECTION] Model operations (GfxModel.cpp)
// [SECTION] Layer lifetime (GfxLayerStore.cpp)
// [SECTION] Vertex buffers (GfxVertexBuffer.cpp)
// [SECTION] Cells (GfxElementCells.cpp)
// [SECTION] Undo and redo steps (GfxHistory.cpp)
// [SECTION] Internal entry points
#pragma once

#include "Gfx.h"
#include "GfxChunkArray.h"
#include "GfxMatrix.h"
#include "GfxMemory.h"
#include "GfxRecordHeap.h"

#include <cstdint>
#include <cstring>

// ----------------------------------------------------------------------------------
// [SECTION] Limits
// ----------------------------------------------------------------------------------
constexpr int32_t GFX_SKETCH_REGISTRY_PER_CHUNK = 128;
constexpr int32_t GFX_SKETCH_REGISTRY_CHUNKS = 128;
constexpr int32_t GFX_CLIP_REGISTRY_PER_CHUNK = 128;
constexpr int32_t GFX_CLIP_REGISTRY_CHUNKS = 128;
constexpr int32_t GFX_LAYER_TABLE_PER_CHUNK = 128;
constexpr int32_t GFX_LAYER_TABLE_CHUNKS = 10000;
constexpr int32_t GFX_LAYER_ORDER_GROWTH = 128;
constexpr int32_t GFX_HISTORY_PER_CHUNK = 10000;
constexpr int32_t GFX_HISTORY_CHUNKS = 100000;
constexpr int32_t GFX_RECORD_LIST_CHUNK_BYTES = 10000;  // 833 entries of 12 bytes
constexpr int32_t GFX_RECORD_LIST_CHUNKS = 100000;
constexpr int32_t GFX_POINT_POOL_ROOM = 200;
constexpr int32_t GFX_POINT_POOL_GROWTH = 10000;
constexpr int32_t GFX_VERTEX_POOL_ROOM = 1000;
constexpr int32_t GFX_VERTEX_POOL_GROWTH = 10000;
constexpr int32_t GFX_MATRIX_STACK_ROOM = 128;
constexpr int32_t GFX_MATRIX_STACK_GROWTH = 1000;
constexpr int32_t GFX_VERTEX_BUFFER_FIRST = 1000000;   // vertices of a layer's first buffer
constexpr int32_t GFX_VERTEX_BUFFER_GROWTH = 1000000;  // added when it is full
constexpr int64_t GFX_VERTEX_BYTES_LIMIT = 384000000;  // all layers together
constexpr int32_t GFX_VERTEX_BYTES = 20;
constexpr float GFX_VIEW_SCALE_MIN = 1e-9f;
constexpr float GFX_VIEW_SCALE_MAX = 50000.0f;
constexpr int32_t GFX_LAYER_NAME_BYTES = 256;

// ----------------------------------------------------------------------------------
// [SECTION] Records: types, payloads, history entries
// IMPORTANT: payloads are stored byte for byte in the layer heap at any offset
// (a 3-byte colour record unaligns everything after it): always copy them in and
// out with gfxReadPayload / gfxWritePayload, never dereference heap memory as a
// struct. Sizes are fixed by the stored layout.
// ----------------------------------------------------------------------------------
enum GfxRecordType : int32_t {
    GFX_RECORD_FREEHAND = 1,
    GFX_RECORD_LINE = 2,
    GFX_RECORD_MULTI_LINE = 3,
    GFX_RECORD_POLYGON = 4,
    GFX_RECORD_RECTANGLE = 5,
    GFX_RECORD_ELLIPSE = 6,
    GFX_RECORD_IMAGE = 7,
    GFX_RECORD_LAYER_CLEARED = 10,
    GFX_RECORD_CANVAS_CLEARED = 11,
    GFX_RECORD_LAYER_MERGED = 12,
    GFX_RECORD_LAYER_TRANSFORMED = 13,
    GFX_RECORD_REGION_CUT = 14,
    GFX_RECORD_CLIPBOARD_PASTED = 15,
    GFX_RECORD_FRAME = 51,
    GFX_RECORD_PEN = 52,
    GFX_RECORD_COLOUR = 53,
    GFX_RECORD_ERASE = 54,
};

// History entry kinds besides the record types above.
enum GfxHistoryKind : int32_t {
    GFX_HISTORY_LAYER_ADDED = 8,
    GFX_HISTORY_LAYER_DELETED = 9,
    GFX_HISTORY_CANVAS_CLEARED = 11,
    GFX_HISTORY_LAYER_MOVED = 16,
};

inline bool gfxIsElementType(int32_t type) { return type >= GFX_RECORD_FREEHAND && type <= GFX_RECORD_IMAGE; }
inline bool gfxIsStrokeType(int32_t type) { return type >= GFX_RECORD_FREEHAND && type <= GFX_RECORD_ELLIPSE; }
inline bool gfxIsPointListType(int32_t type)
{
    return type == GFX_RECORD_FREEHAND || type == GFX_RECORD_MULTI_LINE || type == GFX_RECORD_POLYGON;
}
inline bool gfxIsStateType(int32_t type) { return type >= GFX_RECORD_FRAME; }

// One entry of a layer's record list.
struct GfxRecordEntry {
    int32_t type;
    int32_t chunk;   // heap position of the payload
    int32_t offset;
};
static_assert(sizeof(GfxRecordEntry) == 12);

// One entry of the sketch history. `value` is a record index for record kinds,
// a layer position for kinds 8, 9 and 16 (rewritten by undo and redo).
struct GfxHistoryEntry {
    int32_t kind;
    int32_t slot;
    int32_t value;
};
static_assert(sizeof(GfxHistoryEntry) == 12);

#pragma pack(push, 1)
struct GfxVertexRange {
    int32_t first;  // first vertex in the layer's vertex buffer, -1 without cells
    int32_t count;
};

// Types 1, 3, 4: followed in the heap by `pointCount` GfxSample points.
struct GfxPointListRecord {
    float bounds[4];  // x, y, width, height
    int32_t pointCount;
    GfxVertexRange vertices;
};

struct GfxLineRecord {
    float bounds[4];
    GfxSample start;
    GfxSample end;
    GfxVertexRange vertices;
};

// Types 5 and 6.
struct GfxShapeRecord {
    float centreX, centreY, width, height;
    float angle;  // degrees, about the centre
    GfxVertexRange vertices;
};

// Type 7. The stored layout has two reserved words and a 32-bit pointer where this
// struct keeps one reserved word and the 64-bit pointer: same 56 bytes.
struct GfxImageRecord {
    float centreX, centreY, width, height;
    float angle;
    int32_t encoding;        // 0 JPEG, 2 raw RGBA, 5 PNG
    int32_t encodedLength;
    int32_t reserved;
    uint8_t* encodedBytes;   // the engine's copy, released with the layer
    int32_t textureWidth;
    int32_t textureHeight;
    uint32_t texture;
    int32_t imageIndex;      // used only while serializing
};

// Types 10 and 11.
struct GfxClearRecord {
    int32_t previousBaseIndex;
    GfxMatrix previousMatrix;
    float previousScale;
};

struct GfxMergeRecord {
    int32_t mergedSlot;
    float mergedOpacity;
    float lowerOpacity;
    GfxMatrix view;
    float viewScale;
};

struct GfxTransformRecord {
    GfxMatrix previousMatrix;
    float previousScale;
};

struct GfxCutRecord {
    float rect[4];  // x, y, width, height in viewport pixels of its frame
};

struct GfxPasteRecord {
    int32_t pastedSlot;
    float sourceRect[4];
    GfxMatrix placement;
    float placementScale;
    GfxMatrix clipView;
    float clipViewScale;
};

struct GfxFrameRecord {
    GfxMatrix matrix;    // layer inverse x view inverse when written
    float widthFactor;   // 1 / (viewScale x layer scale)
};

struct GfxPenRecord {
    int32_t penType;
    float penNoise;
    float penWidth;
    float penWidthSensitivity;
    float penOpacity;
    float penOpacitySensitivity;
};

struct GfxColourRecord {
    uint8_t rgb[3];
};

struct GfxEraseRecord {
    int32_t eraseMode;
};
#pragma pack(pop)

static_assert(sizeof(GfxPointListRecord) == 28);
static_assert(sizeof(GfxLineRecord) == 48);
static_assert(sizeof(GfxShapeRecord) == 28);
static_assert(sizeof(GfxImageRecord) == 56);
static_assert(sizeof(GfxClearRecord) == 72);
static_assert(sizeof(GfxMergeRecord) == 80);
static_assert(sizeof(GfxTransformRecord) == 68);
static_assert(sizeof(GfxCutRecord) == 16);
static_assert(sizeof(GfxPasteRecord) == 156);
static_assert(sizeof(GfxFrameRecord) == 68);
static_assert(sizeof(GfxPenRecord) == 24);
static_assert(sizeof(GfxColourRecord) == 3);
static_assert(sizeof(GfxEraseRecord) == 4);

// Payload size of a record type, 0 for a type that has none (history-only kinds).
int32_t gfxRecordPayloadBytes(int32_t type);

// ----------------------------------------------------------------------------------
// [SECTION] Render-state values
// ----------------------------------------------------------------------------------
enum GfxRenderState : int32_t {
    GFX_RENDER_CLEAN = 0,
    GFX_RENDER_REDRAW_ALL = 1,       // redraw from baseIndex
    GFX_RENDER_REDRAW = 2,           // current-layer change: cache and live texture swap roles
    GFX_RENDER_NEW_RECORDS = 3,      // records appended since the last render
};
constexpr int32_t GFX_HELD_BACK_MAX = 10;  // newest records kept out of a layer's cache

// Pen state in force at a layer's cachedIndex, so drawing can resume after it.
struct GfxCachedPen {
    uint8_t colour[4];  // R, G, B, alpha = penOpacity x 255
    int32_t eraseMode;
    GfxPenRecord pen;
    GfxMatrix frame;
    float widthFactor;
};

// Gesture in progress: kind 0 none, else the GfxGesture kind + 1.
struct GfxGestureState {
    int32_t kind = 0;
    GfxGesture gesture;
};

// The paper object: the paper settings, the decoded paper image (the renderer makes
// the texture from it once) and the texture matrix that follows the view.
struct GfxPaper {
    int32_t textureMode = 0;
    uint8_t colour[3] = {255, 255, 255};
    float textureStrength = 1.0f;
    int32_t tint = 1;
    int32_t multiScale = 1;
    uint8_t* pixels = nullptr;  // width x height x channels, rows top to bottom; null without image
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;       // 3 colour, 1 grey (mode 2)
    uint32_t texture = 0;       // GL texture made by the renderer, 0 until then
    GfxMatrix textureMatrix;    // every view gesture is applied to it as well
};

// ----------------------------------------------------------------------------------
// [SECTION] GfxSystem, GfxSketch, GfxLayer
// ----------------------------------------------------------------------------------
struct GfxClipRegistryEntry {
    int32_t sketchId;
    int32_t slot;
};

struct GfxSystem {
    int32_t reserved0 = 0;
    GfxAllocator allocator;     // alloc, free, realloc, userData: fixed at creation
    int32_t reserved1 = 0;
    GfxChunkArray sketches;     // GfxSketch*; slots are never reused, a destroyed sketch leaves null
    int32_t lastError = GFX_OK;
    int32_t clipSketch = -1;    // id of the sketch holding the clipboard layer
    int32_t clipLayer = -1;     // its slot there
    GfxMatrix clipView;
    float clipViewScale = 1.0f;
    float clipRect[4] = {0, 0, 0, 0};
    GfxChunkArray clipRegistry; // GfxClipRegistryEntry: each sketch's own pasted copy
    int32_t glReady = 0;
    int32_t vertexBytes = 0;    // vertex-buffer bytes reserved by all layers
    int32_t programCount = 0;
    uint32_t pencilProgram = 0;
    uint32_t markerProgram = 0;
    // Debug counters: every layer created is released exactly once.
    int64_t layersCreated = 0;
    int64_t layersReleased = 0;
};

struct GfxLayer {
    int32_t refCount = 0;
    GfxSketch* sketch = nullptr;
    int32_t slot = -1;
    char name[GFX_LAYER_NAME_BYTES] = "Sketch Layer";
    float opacity = 1.0f;
    int32_t visible = 1;
    uint32_t texture = 0;             // cached rendering, viewport-sized
    int32_t baseIndex = 0;            // first record drawn
    GfxChunkArray records;            // GfxRecordEntry; cursor = records live
    GfxRecordHeap heap;
    int32_t penStateWritten = 0;
    int32_t colourStateWritten = 0;
    int32_t eraseStateWritten = -1;
    int32_t frameWritten = 0;
    GfxMatrix matrix;                 // layer space to canvas space
    GfxMatrix inverse;
    float scale = 1.0f;
    GfxGestureState gesture;
    int32_t renderState = GFX_RENDER_NEW_RECORDS;
    int32_t cachedIndex = -1;
    int32_t heldBack = 0;
    GfxCachedPen cachedPen;
    int32_t vertexBuffer = -1;        // GL buffer name, -1 for none
    int32_t verticesReserved = 0;
    int32_t verticesUsed = 0;
    int32_t vertexSizeHint = 0;       // left by loading: the first buffer's size when larger
    int32_t staticCells = 0;          // a pasted copy: never drawn on, its buffer sized exactly
};

struct GfxSketch {
    int32_t id = -1;
    GfxSystem* system = nullptr;
    GfxSketchAttributes attributes;   // the current values; flags unused
    uint8_t* paperImageBytes = nullptr;  // the engine's copy of attributes.paperImage
    GfxPaper paper;
    GfxChunkArray layerTable;         // GfxLayer*; released layers leave null
    int32_t* layerOrder = nullptr;    // slots, bottom first
    int32_t layerOrderCapacity = 0;
    int32_t layerCount = 0;
    GfxChunkArray history;            // GfxHistoryEntry
    int32_t redoPending = 0;
    int32_t elementOpen = 0;
    int32_t smoothingPasses = 4;
    int32_t uniformSampling = 0;      // smoothingLevel 4
    int32_t rebuildCells = 0;
    float viewport[4] = {0, 0, 0, 0};
    int32_t viewportSet = 0;          // 0 until the first gfxSetViewport
    GfxMatrix view;
    GfxMatrix frameMatrix;
    GfxMatrix viewInverse;
    float viewScale = 1.0f;
    GfxGestureState viewGesture;
    int32_t layerGestureSlot = -1;    // layer with a gesture open, -1 for none
    int32_t layerTextureSize[2] = {0, 0};
    int32_t needsRedraw = 1;          // the whole sketch needs a full redraw
    int32_t paperVisible = 1;
    uint32_t liveTexture = 0;
    GfxPool<GfxMatrix> matrixStack;
    GfxPool<GfxSample> rawSamples;    // kept samples of the open freehand stroke
    GfxPool<GfxSample> rebuildCopy;   // copy used while rebuilding
    GfxPool<GfxSample> rebuiltPoints;
    GfxPool<GfxVertex> vertices;      // cells being produced
    int32_t hidden = 0;               // the clipboard's own sketch
};

// ----------------------------------------------------------------------------------
// [SECTION] Helpers: errors, busy rule, lookups
// ----------------------------------------------------------------------------------
inline int32_t gfxFail(GfxSketch* sketch, int32_t code)
{
    sketch->system->lastError = code;
    return code;
}

// The busy rule: GFX_OK when nothing is open, else the code to refuse with (also
// stored in lastError).
int32_t gfxCheckBusy(GfxSketch* sketch);

inline GfxLayer* gfxLayerAtSlot(const GfxSketch* sketch, int32_t slot)
{
    if (slot < 0 || slot >= sketch->layerTable.count) return nullptr;
    return *gfxChunkArrayGet<GfxLayer*>(&sketch->layerTable, slot);
}
inline GfxLayer* gfxLayerAtPosition(const GfxSketch* sketch, int32_t position)
{
    if (position < 0 || position >= sketch->layerCount) return nullptr;
    return gfxLayerAtSlot(sketch, sketch->layerOrder[position]);
}
inline bool gfxHasCurrentLayer(const GfxSketch* sketch)
{
    return sketch->attributes.currentLayer >= 0 && sketch->attributes.currentLayer < sketch->layerCount;
}
inline GfxLayer* gfxCurrentLayer(const GfxSketch* sketch)
{
    return gfxHasCurrentLayer(sketch) ? gfxLayerAtPosition(sketch, sketch->attributes.currentLayer) : nullptr;
}
// Position of the layer in `slot` in the order (searched from the top), -1 when absent.
int32_t gfxFindLayerPosition(const GfxSketch* sketch, int32_t slot);

inline GfxRecordEntry* gfxRecordAt(const GfxLayer* layer, int32_t index)
{
    return gfxChunkArrayGet<GfxRecordEntry>(&layer->records, index);
}
inline GfxHistoryEntry* gfxHistoryAt(const GfxSketch* sketch, int32_t index)
{
    return gfxChunkArrayGet<GfxHistoryEntry>(&sketch->history, index);
}
inline uint8_t* gfxPayloadAt(const GfxLayer* layer, const GfxRecordEntry& entry)
{
    return gfxRecordHeapAt(&layer->heap, {entry.chunk, entry.offset});
}
template <typename T>
inline T gfxReadPayload(const GfxLayer* layer, const GfxRecordEntry& entry)
{
    T value;
    std::memcpy(&value, gfxPayloadAt(layer, entry), sizeof(T));
    return value;
}
template <typename T>
inline void gfxWritePayload(GfxLayer* layer, const GfxRecordEntry& entry, const T& value)
{
    std::memcpy(gfxPayloadAt(layer, entry), &value, sizeof(T));
}

// Render-state marking.
inline void gfxMarkLayerNewRecords(GfxLayer* layer)  // a clean layer gets state 3
{
    if (layer->renderState == GFX_RENDER_CLEAN) layer->renderState = GFX_RENDER_NEW_RECORDS;
}
inline void gfxMarkLayerRedraw(GfxLayer* layer)  // state 2 unless it is 1
{
    if (layer->renderState != GFX_RENDER_REDRAW_ALL) layer->renderState = GFX_RENDER_REDRAW;
}
inline void gfxMarkLayerRedrawAll(GfxLayer* layer) { layer->renderState = GFX_RENDER_REDRAW_ALL; }

// Makes `position` current (stored as given), marking the old and the new current
// layers for re-render.
void gfxSetCurrentLayer(GfxSketch* sketch, int32_t position);

// All four pen-state kinds of a layer become stale.
void gfxMarkLayerStateStale(GfxLayer* layer);

// ----------------------------------------------------------------------------------
// [SECTION] Model operations (GfxModel.cpp)
// ----------------------------------------------------------------------------------
// Where the tail of a layer's model stands, to roll back a failed operation.
struct GfxLayerMark {
    int32_t recordCount;
    GfxHeapPosition heap;
    int32_t penStateWritten, colourStateWritten, eraseStateWritten, frameWritten;
};
GfxLayerMark gfxLayerMarkNow(const GfxLayer* layer);
void gfxLayerRollBack(GfxLayer* layer, const GfxLayerMark& mark);

// Discards the redoable future when an undo left one (before anything new enters
// the history).
void gfxDiscardFutureIfPending(GfxSketch* sketch);

// Appends a record (payload to the heap, entry to the record list) without a
// history entry. Returns its index, or -1 with lastError 1 and nothing changed.
int32_t gfxAppendRecord(GfxLayer* layer, int32_t type, const void* payload, int32_t bytes);
// Appends a history entry. False with lastError 1 when the history is full.
bool gfxAppendHistory(GfxSketch* sketch, int32_t kind, int32_t slot, int32_t value);
// A record with its history entry; on failure both are rolled back (-1, error 1).
int32_t gfxAppendRecordWithHistory(GfxLayer* layer, int32_t type, const void* payload, int32_t bytes);

// Writes the lazy state records before an element: frame, pen, colour, erase.
bool gfxWriteStateRecords(GfxLayer* layer);
// Writes a coordinate frame record when the layer has none in force.
bool gfxWriteFrameIfNeeded(GfxLayer* layer);
GfxFrameRecord gfxCurrentFrame(const GfxLayer* layer);

// Position of point `index` of a point-list record (header at `header`).
GfxHeapPosition gfxPointPosition(const GfxRecordEntry& header, int32_t index);
// Walks a point list: first point, then gfxRecordHeapNext(position, 12, 12).
inline GfxHeapPosition gfxFirstPointPosition(const GfxRecordEntry& header)
{
    return gfxRecordHeapNext({header.chunk, header.offset}, static_cast<int32_t>(sizeof(GfxPointListRecord)),
                             static_cast<int32_t>(sizeof(GfxSample)));
}

// Vertex range of an element record (first -1 without cells); false for other types.
bool gfxElementVertexRange(const GfxLayer* layer, const GfxRecordEntry& entry, GfxVertexRange* range);
void gfxSetElementVertexRange(GfxLayer* layer, const GfxRecordEntry& entry, GfxVertexRange range);
// The four corners (x, y pairs, in record coordinates) of an element's box grown by
// `margin`, rotated with the element; false for records that are not elements.
bool gfxElementCorners(const GfxLayer* layer, const GfxRecordEntry& entry, float margin, float corners[8]);

// ----------------------------------------------------------------------------------
// [SECTION] Layer lifetime (GfxLayerStore.cpp)
// ----------------------------------------------------------------------------------
// A new layer with the creation defaults, stored in the next table slot, in no
// order yet (refCount 0). Null with lastError 1 when memory or the table runs out.
GfxLayer* gfxCreateLayer(GfxSketch* sketch);
// Frees a layer's memory, images, buffers and textures, and clears its table slot.
// Merge and paste records it holds (below its cursor) give up their hold on the
// referenced layers, which are released in turn when no holder is left.
void gfxReleaseLayer(GfxSketch* sketch, GfxLayer* layer);
// Drops one hold; releases the layer when none is left.
void gfxDropLayerHold(GfxSketch* sketch, GfxLayer* layer);
// Inserts the slot at `position` (0..layerCount) of the order, growing it by 128.
bool gfxOrderInsert(GfxSketch* sketch, int32_t position, int32_t slot);
void gfxOrderRemove(GfxSketch* sketch, int32_t position);

// ----------------------------------------------------------------------------------
// [SECTION] Vertex buffers (GfxVertexBuffer.cpp)
// ----------------------------------------------------------------------------------
// Appends vertices after the layer's last used vertex, creating or growing its
// buffer. False (range {-1, 0}, lastError 1) when the total limit is reached or GL fails.
bool gfxStoreVertices(GfxLayer* layer, const GfxVertex* vertices, int32_t count, GfxVertexRange* range);
void gfxReleaseVertexBuffer(GfxLayer* layer);

// ----------------------------------------------------------------------------------
// [SECTION] Cells (GfxElementCells.cpp)
// ----------------------------------------------------------------------------------
struct GfxCellPen;
// Builds the cells of the element at `index` with `pen` into the layer's buffer and
// sets its vertex range. False (range {-1, 0}, lastError 1) when they cannot be stored.
bool gfxBuildElementCellsAt(GfxLayer* layer, int32_t index, const GfxCellPen& pen, float buildScale);
// Builds the cells of every element from `fromIndex` on, following the pen records
// from the first record. After the first failure the rest get no vertices.
bool gfxBuildLayerCells(GfxLayer* layer, int32_t fromIndex);
// All cells of a layer nobody draws on (a pasted copy) in one buffer of exactly
// their size, replacing what it had.
bool gfxBuildStaticLayerCells(GfxLayer* layer);
// Every layer's cells from the start (widthScale changed); full redraw.
void gfxRebuildAllCells(GfxSketch* sketch);

// ----------------------------------------------------------------------------------
// [SECTION] Undo and redo steps (GfxHistory.cpp)
// ----------------------------------------------------------------------------------
// One undo or redo of the entry before / at the history cursor, with its redraw
// marking; the busy rule is the caller's. Returns the code left in lastError.
int32_t gfxUndoStep(GfxSketch* sketch);
int32_t gfxRedoStep(GfxSketch* sketch);
// True for a paste placement that leaves the selection where it was.
bool gfxPlacementIsIdentity(const GfxMatrix& placement);

// ----------------------------------------------------------------------------------
// [SECTION] Internal entry points
// ----------------------------------------------------------------------------------
// Applies the fields of a layer attribute record whose bits are set.
void gfxApplyLayerAttributes(GfxLayer* layer, const GfxLayerAttributes& attributes);
// The statistics record of GFX_SKETCH_STATS.
GfxSketchStats gfxComputeSketchStats(GfxSketch* sketch);
// A system whose hooks are the given ones (tests and benchmarks count allocations).
GfxSystem* gfxCreateSystemWithAllocator(const GfxAllocator& allocator);
// The hidden sketch holding the clipboard, created on first use (null on failure).
GfxSketch* gfxClipboardSketch(GfxSystem* system);
GfxSketch* gfxSketchById(const GfxSystem* system, int32_t id);
// Re-applies the view after it changed: inverse, every layer's frame stale, full redraw.
void gfxViewChanged(GfxSketch* sketch);
// Multiplies `view` (and the paper's texture matrix) by a viewport-space transform.
void gfxApplyViewTransform(GfxSketch* sketch, const GfxMatrix& transform, float scaleFactor);
// The transform of a gesture in viewport pixels, and its scale factor.
GfxMatrix gfxGestureMatrix(const GfxGesture& gesture);
float gfxGestureScaleFactor(const GfxGesture& gesture);
