// GfxBlobFormat.h — the byte format of the raw canvas blob (before compression):
// its growing write buffer, its bounds-checked read cursor, the point codecs of
// versions 2 and 3, the record encodings and the parser that walks the items.
// GfxSerialize.cpp binds this format to the sketch model.
//
// Raw blob, in order ("int" int32, "float" IEEE single, all little-endian):
//   1 int version (2 or 3; 0 and 1 read like 2 and 3)
//   2 sketch attributes, GFX_BLOB_ATTRIBUTES_BYTES (layout beside gfxBlobPutAttributes)
//   3 view: 16 floats (column-major), viewScale float
//   4 layer order: int count, count ints (indices into item 5), bottom first
//   5 layer list: int L, L layers of GFX_BLOB_LAYER_BYTES
//   6 image table: int I, I x {int encoding, int length, length bytes}
//   7 operations: int K, K x {int layer, then int 8 + int position, or one record}
//   8 referenced layers: int R, R x {int layer, int n, n records}
// A record is an int type and its payload (gfxBlobPutRecord).
#pragma once

#include "Gfx.h"
#include "GfxMemory.h"

#include <cstddef>
#include <cstdint>

// ----------------------------------------------------------------------------------
// [SECTION] Constants
// ----------------------------------------------------------------------------------
constexpr int32_t GFX_BLOB_VERSION_DELTA5 = 2;  // 5-byte point deltas, 1/32 px, 10-bit pressure
constexpr int32_t GFX_BLOB_VERSION_DELTA3 = 3;  // 3-byte point deltas, 1/4 px, 6-bit pressure
constexpr int32_t GFX_BLOB_OPERATION_LAYER_ADDED = 8;
constexpr size_t GFX_BLOB_ATTRIBUTES_BYTES = 74;
constexpr size_t GFX_BLOB_LAYER_BYTES = 336;
constexpr size_t GFX_BLOB_GROWTH_BYTES = 10'000'000;  // the write buffer grows in these steps
// Layers in one blob's list. Far above what documents hold (20 in the order, plus
// merged and pasted ones), and it keeps what a small file can make the engine
// reserve bounded: each layer sets up its record list and heap tables.
constexpr int32_t GFX_BLOB_MAX_LAYERS = 2048;

// Version-3 point reduction.
constexpr int32_t GFX_BLOB_SIMPLIFY_MIN_POINTS = 20;   // shorter strokes keep every point
constexpr float GFX_BLOB_SIMPLIFY_TOLERANCE = 0.4f;    // pixels from the simplified line
constexpr int32_t GFX_BLOB_SIMPLIFY_WINDOW = 24;       // points looked ahead from the last kept one
// Segments at least this long on an axis are split so every delta fits its bytes.
constexpr float GFX_BLOB_SPLIT_DELTA3 = 60.0f;   // 3-byte deltas hold up to 63.75
constexpr float GFX_BLOB_SPLIT_DELTA5 = 500.0f;  // 5-byte deltas hold up to 511.97
constexpr int32_t GFX_BLOB_MAX_SPLIT_PARTS = 100000;  // a jump beyond this is clamped, not split
constexpr float GFX_BLOB_MAX_PRESSURE = 0.999999f;

// ----------------------------------------------------------------------------------
// [SECTION] Write buffer and read cursor
// ----------------------------------------------------------------------------------
// Grows through the resize hook in GFX_BLOB_GROWTH_BYTES steps. After the first
// failed growth every put is ignored and failed() stays true.
class GfxBlobBuffer {
public:
    explicit GfxBlobBuffer(const GfxAllocator& allocator) : allocator_(allocator) {}
    ~GfxBlobBuffer() { allocator_.release(data_); }
    GfxBlobBuffer(const GfxBlobBuffer&) = delete;
    GfxBlobBuffer& operator=(const GfxBlobBuffer&) = delete;

    void putBytes(const void* bytes, size_t count);
    void putInt32(int32_t value);
    void putFloat(float value);
    void putFloats(const float* values, int32_t count);
    // Overwrites an int written earlier (a count known only afterwards).
    void patchInt32(size_t offset, int32_t value);

    bool failed() const { return failed_; }
    size_t size() const { return size_; }
    const uint8_t* data() const { return data_; }

private:
    bool reserve(size_t extra);

    GfxAllocator allocator_;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool failed_ = false;
};

// Every read is checked against the end: a value that would run past it is not
// read, the target keeps its value, and cutShort() becomes true.
class GfxBlobCursor {
public:
    GfxBlobCursor(const uint8_t* bytes, size_t count) : bytes_(bytes), count_(count) {}

    bool readBytes(void* target, size_t count);
    bool readInt32(int32_t* value);
    bool readFloat(float* value);
    bool readFloats(float* values, int32_t count);
    // A view of the next `count` bytes, consumed; null when they are not all there.
    const uint8_t* take(size_t count);

    size_t remaining() const { return count_ - position_; }
    size_t position() const { return position_; }
    bool cutShort() const { return cutShort_; }

private:
    const uint8_t* bytes_;
    size_t count_;
    size_t position_ = 0;
    bool cutShort_ = false;
};

// ----------------------------------------------------------------------------------
// [SECTION] Point codecs
// ----------------------------------------------------------------------------------
// Bytes of one delta point in a version (0 and 1 count as 2 and 3); 0 for others.
int32_t gfxBlobDeltaBytes(int32_t version);
// Pressure codes: clamped to [0, GFX_BLOB_MAX_PRESSURE] and truncated.
int32_t gfxBlobPressureCode(float pressure, int32_t levels);

// Encodes the delta from `position` (the reader's reconstructed previous point) to
// `target`, and moves `position` to where the reader will put this point.
void gfxBlobEncodeDelta5(GfxSample* position, const GfxSample& target, uint8_t out[5]);
void gfxBlobEncodeDelta3(GfxSample* position, const GfxSample& target, uint8_t out[3]);
// Applies one delta to the running position (pressure is replaced).
void gfxBlobDecodeDelta5(GfxSample* position, const uint8_t in[5]);
void gfxBlobDecodeDelta3(GfxSample* position, const uint8_t in[3]);

// Version-3 simplification (strokes of GFX_BLOB_SIMPLIFY_MIN_POINTS or more): the first and the last point
// are kept; from the last kept point, the kept end reaches as far ahead (within the
// window) as every skipped point stays within the tolerance of the segment to it.
bool gfxBlobSimplifyPoints(const GfxSample* points, int32_t count, GfxPool<GfxSample>* out);

// ----------------------------------------------------------------------------------
// [SECTION] Records
// ----------------------------------------------------------------------------------
// One record as the blob carries it, whatever its type; only the fields of `type`
// are meaningful (bounding boxes and vertex ranges are never stored).
struct GfxBlobRecord {
    int32_t type = 0;
    // 1 freehand, 3 multi-line, 4 polygon: the points (on read: the cursor's pool).
    const GfxSample* points = nullptr;
    int32_t pointCount = 0;
    // 2 line
    GfxSample start;
    GfxSample end;
    // 5 rectangle, 6 ellipse, 7 image: centre x, centre y, width, height, angle.
    // 14 cut: x, y, width, height.
    float shape[5] = {0, 0, 0, 0, 0};
    // 7 image
    int32_t textureWidth = 0;
    int32_t textureHeight = 0;
    int32_t imageIndex = -1;      // into the image table
    // 12 merged layer, 15 paste: a layer index of the layer list
    int32_t layerIndex = -1;
    float upperOpacity = 1.0f;    // 12
    float lowerOpacity = 1.0f;    // 12
    float sourceRect[4] = {0, 0, 0, 0};  // 15
    // 12: view at merge time; 13, 51: the matrix; 15: placement matrix.
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float scale = 1.0f;
    // 15: the clipboard's view.
    float clipMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float clipScale = 1.0f;
    // 52 pen
    int32_t penType = 1;
    float penNoise = 0.5f;
    float penWidth = 2.0f;
    float penWidthSensitivity = 1.0f;
    float penOpacity = 0.8f;
    float penOpacitySensitivity = 1.0f;
    // 53 colour
    uint8_t colour[3] = {0, 0, 0};
    // 54 erase
    int32_t eraseMode = 0;
};

// Whether a type may appear as a record in a blob (1-7, 12-15, 51-54).
bool gfxBlobIsRecordType(int32_t type);

// Writes type and payload. Freehand points: under version 3, strokes of
// GFX_BLOB_SIMPLIFY_MIN_POINTS or more are simplified into `scratch` first; then
// segments that reach the version's split length on an axis are written in equal
// parts so every delta fits its bytes. Failures show in the buffer's failed() (memory) or the result (false).
bool gfxBlobPutRecord(GfxBlobBuffer* buffer, const GfxBlobRecord& record, int32_t version,
                      GfxPool<GfxSample>* scratch);

enum GfxBlobReadResult : int32_t {
    GFX_BLOB_READ_OK = 0,
    GFX_BLOB_READ_CUT_SHORT = -1,  // the blob ends inside the record: nothing of it is used
};
// Reads one record (type included) into `record`; points land in `points`. Returns
// GFX_BLOB_READ_OK, GFX_BLOB_READ_CUT_SHORT, or an engine error: GFX_ERR_INVALID for an
// unknown type, a freehand record under a version other than 0 to 3, a point count
// below 1, or a value that is not a finite number; GFX_ERR_FAILED when memory runs out.
int32_t gfxBlobGetRecord(GfxBlobCursor* cursor, int32_t version, GfxPool<GfxSample>* points,
                         GfxBlobRecord* record);

// ----------------------------------------------------------------------------------
// [SECTION] Header items
// ----------------------------------------------------------------------------------
struct GfxBlobLayer {
    int32_t visible = 1;
    float opacity = 1.0f;
    char name[256] = "Sketch Layer";
    int32_t verticesUsed = 0;  // a size hint for the vertex buffer
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float scale = 1.0f;
};

void gfxBlobPutAttributes(GfxBlobBuffer* buffer, const GfxSketchAttributes& attributes);
// Fields past the end keep their values in `attributes`.
void gfxBlobGetAttributes(GfxBlobCursor* cursor, GfxSketchAttributes* attributes);
void gfxBlobPutLayer(GfxBlobBuffer* buffer, const GfxBlobLayer& layer);
void gfxBlobGetLayer(GfxBlobCursor* cursor, GfxBlobLayer* layer);

// Whether entry 0 of the image table is the paper image: the paper shows a texture
// from image data (mode not 0, source 0) and that data is a JPEG.
inline bool gfxBlobHasPaperImage(const GfxSketchAttributes& attributes)
{
    return attributes.paperTextureMode != 0 && attributes.paperImage.source == 0 &&
           attributes.paperImage.encoding == GFX_IMAGE_JPEG;
}

// ----------------------------------------------------------------------------------
// [SECTION] Parser
// ----------------------------------------------------------------------------------
// Everything before the image table, already made consistent: the order holds only
// indices of layers that are in the list, each once; the current layer was moved
// with the dropped entries.
struct GfxBlobHeader {
    int32_t version = GFX_BLOB_VERSION_DELTA5;
    GfxSketchAttributes attributes;
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float viewScale = 1.0f;
    const int32_t* order = nullptr;
    int32_t orderCount = 0;
    const GfxBlobLayer* layers = nullptr;
    int32_t layerCount = 0;
};

// What a parse hands over, item by item. Each call returns 0 to go on or an engine
// error code that ends the parse with that code.
class GfxBlobVisitor {
public:
    virtual ~GfxBlobVisitor() = default;
    virtual int32_t header(const GfxBlobHeader& header) = 0;
    virtual int32_t image(int32_t index, int32_t encoding, const uint8_t* bytes, int32_t length) = 0;
    virtual int32_t layerAdded(int32_t layerIndex, int32_t position) = 0;
    // `referenced`: a record of item 8 (appended without a history entry).
    virtual int32_t record(int32_t layerIndex, const GfxBlobRecord& record, bool referenced) = 0;
};

// Walks a raw blob. A blob that ends early is read as far as it goes (the last,
// incomplete item or record is dropped) and gives GFX_OK; counts that claim more
// than the rest of the blob can hold stop at what is there, so nothing is allocated
// beyond the blob's own size. Errors: GFX_ERR_INTERNAL for a layer index that names
// no layer, GFX_ERR_INVALID for bad records (gfxBlobGetRecord), an image index
// outside the table or an image encoding other than 0, 2, 4, 5, GFX_ERR_FAILED when
// memory runs out, or the visitor's code.
int32_t gfxBlobParse(const uint8_t* raw, size_t bytes, const GfxAllocator& allocator, GfxBlobVisitor* visitor);

// Loads a raw (decompressed) blob into a new sketch: gfxCreateSketchFromBlob after
// decompression. Null with lastError set on failure. Needs a current GL context.
GfxSketch* gfxCreateSketchFromRawBlob(GfxSystem* system, const uint8_t* raw, size_t bytes);
