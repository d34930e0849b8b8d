// Gfx.h — the canvas engine's whole interface, and its manual.
//
// OVERVIEW
// The engine keeps the canvas model (layers of typed element and state records and
// one sketch-wide history), builds pen cells from pointer samples, renders into
// whatever OpenGL framebuffer is current, and turns a canvas into a compressed
// blob and back. It knows nothing of windows, files or input devices: everything
// reaches it through the functions below.
//
// HANDLES
//   GfxSystem  one per process: memory hooks, lastError, shader programs, clipboard,
//              the registry of sketches.
//   GfxSketch  one canvas (one open document). Its id is its registry index.
//   GfxLayer   a layer of a sketch; callers address layers by their position in the
//              layer order (0 = bottom), a few GUI calls by table slot.
// Every call takes its handle first and returns at once on a null handle.
//
// ORDER OF CALLS
//   gfxCreateSystem → gfxCreateSketch → gfxAddLayer → gfxSetViewport →
//   gfxBeginElement / gfxExtendElement / gfxEndElement → gfxRenderSketch →
//   gfxSerializeSketch … gfxDestroySketch → gfxDestroySystem
// Opening a document: gfxCreateSystem → gfxCreateSketchFromBlob (a sketch with its
// layers, history and cells, ready to render and to undo into).
//
// THE MODEL
// A sketch is an append-only log. Every element (stroke, line, shape, image) is a
// record on its layer, kept in the viewport pixels it was drawn in together with the
// coordinate frame that maps them into the layer; nothing is edited or freed while
// an undo can bring it back. Clearing a layer moves its start forward, erasing is an
// element drawn in erase mode, a merged or pasted layer is kept whole and referred
// to by a record. Every operation leaves one entry in the sketch's history:
// gfxUndo steps back over it, gfxRedo forward again; anything new entered after an
// undo discards what could have been redone (and releases layers only it reached).
//
// CLIPBOARD
// One per system, kept in a hidden sketch: it survives the sketch it was copied
// from. Each sketch pastes its own copy of it.
//
// ERRORS
// Every operation leaves its result in the system's lastError (GFX_OK after every
// success); read it with gfxGetLastError. A failed operation leaves the model as it
// was unless the operation says otherwise.
//
// BUSY RULE
// Every operation that changes the model first checks that nothing is in
// progress: GFX_ERR_ELEMENT_ACTIVE while an element is open, GFX_ERR_TRANSFORM_ACTIVE
// while a view gesture or a gesture on the current layer is open. Attribute
// get/set and rendering are always allowed. Serialization refuses an open element
// or gesture with GFX_ERR_INTERNAL instead.
//
// MEMORY
// Every engine allocation goes through the system's alloc/free/realloc hooks with
// its userData. Memory the engine hands out (blobs, read-back images) is released by
// the caller through the free hook (read it with GFX_SYSTEM_FREE).
#pragma once

#include <cstdint>

// ----------------------------------------------------------------------------------
// [SECTION] Error codes
// ----------------------------------------------------------------------------------
enum GfxError : int32_t {
    GFX_OK = 0,
    GFX_ERR_FAILED = 1,             // a memory hook returned null, a fixed capacity was reached, a blob write failed
    GFX_ERR_TEXTURE_TOO_LARGE = 2,  // an image could not be uploaded even after halving it to one pixel
    GFX_ERR_GL_SUPPORT = 3,         // no non-power-of-two textures, or a shader failed to compile or link
    GFX_ERR_GPU_SUPPORT = 4,        // one of the four ARB shader extensions is missing
    // 5 is never produced by the engine.
    GFX_ERR_INVALID = 6,            // bad layer position, no current layer, bad kind or format, gesture on no layer
    GFX_ERR_INTERNAL = 7,           // the model is not in the state the operation expects
    GFX_ERR_ELEMENT_ACTIVE = 8,     // an element is still open
    GFX_ERR_TRANSFORM_ACTIVE = 9,   // a view or layer gesture is still open
};

// ----------------------------------------------------------------------------------
// [SECTION] Handles and memory hooks
// ----------------------------------------------------------------------------------
struct GfxSystem;
struct GfxSketch;
struct GfxLayer;

using GfxAllocFn = void* (*)(int32_t size, int32_t userData);
using GfxFreeFn = void (*)(void* pointer, int32_t userData);
using GfxReallocFn = void* (*)(void* pointer, int32_t size, int32_t userData);

// ----------------------------------------------------------------------------------
// [SECTION] Attribute records
// The caller sets the bits of the fields it wants read or written in `flags`; only
// those fields are touched. The same record type serves both directions.
// ----------------------------------------------------------------------------------

// GfxSystemAttributes (get only).
enum : int32_t {
    GFX_SYSTEM_ALLOC = 0x1,            // alloc
    GFX_SYSTEM_FREE = 0x2,             // free
    GFX_SYSTEM_REALLOC = 0x4,          // realloc
    GFX_SYSTEM_USER_DATA = 0x8,        // userData
    GFX_SYSTEM_CLIPBOARD_VALID = 0x10, // clipboardValid: 1 when the clipboard holds a layer
};
struct GfxSystemAttributes {
    int32_t flags = 0;
    GfxAllocFn alloc = nullptr;
    GfxFreeFn free = nullptr;
    GfxReallocFn realloc = nullptr;
    int32_t userData = 0;
    int32_t clipboardValid = 0;
};

// GfxSketchStats: computed on request (GFX_SKETCH_STATS); the memory figures are
// estimates by fixed rules, see gfxGetSketchAttributes.
struct GfxSketchStats {
    int32_t strokeCount = 0;         // elements of types 1..6 in all layers, merged and pasted ones included
    int64_t memoryInUse = 0;
    int64_t memoryAllocated = 0;
    int64_t gpuMemoryInUse = 0;      // 20 x vertices written
    int64_t gpuMemoryAllocated = 0;  // 20 x vertices reserved
    float bounds[4] = {0, 0, 0, 0};  // x, y, width, height in viewport pixels of the current view
};

// The encoded paper image (GFX_SKETCH_PAPER_IMAGE).
struct GfxPaperImage {
    int32_t source = 0;     // 0: `data` is the image; non-zero: only source and paperId are stored
    int32_t paperId = 0;    // the caller's identifier, kept and read back
    int32_t encoding = 0;   // 0 = JPEG; other values store the bytes but show no texture
    int32_t length = 0;     // bytes of data
    int32_t reserved[2] = {0, 0};
    const uint8_t* data = nullptr;  // on get: the engine's own copy, owned by the engine
};

// GfxSketchAttributes bits, listed with their engine defaults. Setting applies them in
// the order 0x2, 0x8, 0x10, 0x20, 0x40, 0x4, 0x80, 0x100 … 0x20000.
enum : int32_t {
    GFX_SKETCH_LAYER_COUNT = 0x1,               // read only                          default 0
    GFX_SKETCH_CURRENT_LAYER = 0x2,             // position, -1 for none             default -1
    GFX_SKETCH_PAPER_TEXTURE_MODE = 0x4,        // 0 none, 1 colour, 2 grey           default 0
    GFX_SKETCH_PAPER_COLOUR = 0x8,              // R, G, B                            default 255,255,255
    GFX_SKETCH_PAPER_TEXTURE_STRENGTH = 0x10,   // 0 flat colour .. 1 full texture    default 1.0
    GFX_SKETCH_PAPER_TINT = 0x20,               // modulate texture by paper colour   default 1
    GFX_SKETCH_PAPER_MULTI_SCALE = 0x40,        // octave blending                    default 1
    GFX_SKETCH_PAPER_IMAGE = 0x80,              // GfxPaperImage                      default none
    GFX_SKETCH_PEN_TYPE = 0x100,                // 0 marker, 1 pencil, 2 wide marker  default 1
    GFX_SKETCH_PEN_COLOUR = 0x200,              // R, G, B                            default 0,0,0
    GFX_SKETCH_PEN_NOISE = 0x400,               //                                    default 0.5
    GFX_SKETCH_PEN_WIDTH = 0x800,               // viewport pixels                    default 2.0
    GFX_SKETCH_PEN_WIDTH_SENSITIVITY = 0x1000,  // [0,1]; anything else becomes 1.0   default 1.0
    GFX_SKETCH_PEN_OPACITY = 0x2000,            // [0,1]                              default 0.8
    GFX_SKETCH_PEN_OPACITY_SENSITIVITY = 0x4000,// [0,1]                              default 1.0
    GFX_SKETCH_ERASE_MODE = 0x8000,             // non-zero: new elements erase       default 0
    GFX_SKETCH_SMOOTHING_LEVEL = 0x10000,       // 1→8, 2→16, 3→24, 4→16 uniform, else 4 passes; default 0
    GFX_SKETCH_WIDTH_SCALE = 0x20000,           // multiplier on every pen width      default 1.0
    GFX_SKETCH_STATS = 0x40000,                 // read only, walks every record
    GFX_SKETCH_UNDO_KIND = 0x80000,             // read only: kind gfxUndo would revert, 0 for none
    GFX_SKETCH_REDO_KIND = 0x100000,            // read only: kind gfxRedo would re-apply, 0 for none
};
struct GfxSketchAttributes {
    int32_t flags = 0;
    int32_t layerCount = 0;
    int32_t currentLayer = -1;
    int32_t paperTextureMode = 0;
    uint8_t paperColour[3] = {255, 255, 255};
    float paperTextureStrength = 1.0f;
    int32_t paperTint = 1;
    int32_t paperMultiScale = 1;
    GfxPaperImage paperImage;
    int32_t penType = 1;
    uint8_t penColour[3] = {0, 0, 0};
    float penNoise = 0.5f;
    float penWidth = 2.0f;
    float penWidthSensitivity = 1.0f;
    float penOpacity = 0.8f;
    float penOpacitySensitivity = 1.0f;
    int32_t eraseMode = 0;
    int32_t smoothingLevel = 0;
    float widthScale = 1.0f;
    GfxSketchStats stats;
    int32_t undoKind = 0;
    int32_t redoKind = 0;
};

// GfxLayerAttributes bits.
enum : int32_t {
    GFX_LAYER_NAME = 0x1,     // at most 255 characters, always terminated
    GFX_LAYER_OPACITY = 0x2,
    GFX_LAYER_VISIBLE = 0x4,
    GFX_LAYER_TEXTURE = 0x8,  // read only: texture with the layer's rendered image
};
struct GfxLayerAttributes {
    int32_t flags = 0;
    char name[256] = "Sketch Layer";
    float opacity = 1.0f;
    int32_t visible = 1;
    uint32_t texture = 0;
};

// ----------------------------------------------------------------------------------
// [SECTION] Samples and element input
// ----------------------------------------------------------------------------------
// One pointer sample: window pixels from the bottom-left corner, pressure 0..1.
// IMPORTANT: 12 bytes, also the layout of stored points.
struct GfxSample {
    float x = 0;
    float y = 0;
    float pressure = 0;
};
static_assert(sizeof(GfxSample) == 12, "stored points are 12 bytes");

enum : int32_t {
    GFX_ELEMENT_FREEHAND = 0,   // record type 1
    GFX_ELEMENT_LINE = 1,       // 2
    GFX_ELEMENT_MULTI_LINE = 2, // 3
    GFX_ELEMENT_POLYGON = 3,    // 4
    GFX_ELEMENT_RECTANGLE = 4,  // 5
    GFX_ELEMENT_ELLIPSE = 5,    // 6
    GFX_ELEMENT_IMAGE = 6,      // 7
};
enum : int32_t {
    GFX_IMAGE_JPEG = 0,
    GFX_IMAGE_RAW_RGBA = 2,
    GFX_IMAGE_PNG = 4,
    GFX_IMAGE_PNG_STORED = 5,   // how an image record stores a PNG
};
struct GfxElementInput {
    int32_t kind = GFX_ELEMENT_FREEHAND;
    int32_t sampleCount = 0;
    const GfxSample* samples = nullptr;
    float rect[4] = {0, 0, 0, 0};  // x, y (centre for rectangle, ellipse, image), width, height
    float angle = 0;               // degrees
    int32_t imageEncoding = GFX_IMAGE_JPEG;
    int32_t imageLength = 0;
    int32_t imageWidth = 0;        // raw RGBA only
    int32_t imageHeight = 0;       // raw RGBA only
    const uint8_t* imageData = nullptr;
};

// ----------------------------------------------------------------------------------
// [SECTION] Gestures and paste placement
// ----------------------------------------------------------------------------------
// A view or layer gesture. Parameters are viewport pixels and degrees; the transform
// is taken about (centreX, centreY):
//   ZOOM          scale by scaleX
//   PAN           translate by (translateX, translateY)
//   ROTATE        rotate by angle
//   SCALE         non-uniform scale by (scaleX, scaleY); negative factors mirror
//   COMBINED      translate, then rotate and scale uniformly by scaleX
enum : int32_t {
    GFX_GESTURE_ZOOM = 0,
    GFX_GESTURE_PAN = 1,
    GFX_GESTURE_ROTATE = 2,
    GFX_GESTURE_SCALE = 3,
    GFX_GESTURE_COMBINED = 4,
};
struct GfxGesture {
    int32_t kind = GFX_GESTURE_PAN;
    float centreX = 0;
    float centreY = 0;
    float scaleX = 1;
    float scaleY = 1;
    float translateX = 0;
    float translateY = 0;
    float angle = 0;  // degrees
};

// Where a floating selection (a paste) lands: the source rectangle is scaled to
// width x height, rotated by angle about its centre and centred on (centreX, centreY).
struct GfxPastePlacement {
    float centreX = 0;
    float centreY = 0;
    float width = 0;
    float height = 0;
    float angle = 0;  // degrees
};

// ----------------------------------------------------------------------------------
// [SECTION] System and sketch
// ----------------------------------------------------------------------------------
// The system: null when memory runs out. Destroying it destroys every sketch.
GfxSystem* gfxCreateSystem();
void gfxDestroySystem(GfxSystem* system);
int32_t gfxGetLastError(GfxSystem* system);  // GFX_ERR_INVALID for a null system
void gfxGetSystemAttributes(GfxSystem* system, GfxSystemAttributes* attributes);

// A new sketch with no layers (add the first with gfxAddLayer); `attributes` may be
// null. Null with lastError GFX_ERR_FAILED when memory runs out.
GfxSketch* gfxCreateSketch(GfxSystem* system, const GfxSketchAttributes* attributes);
// Releases every layer, texture and buffer of the sketch. The clipboard stays.
void gfxDestroySketch(GfxSketch* sketch);
// Applies the fields whose bits are set, in the order listed with the bits above.
// Side effects: pen and colour changes make the next element on every layer carry a
// new pen or colour record; widthScale rebuilds every layer's cells at the next
// render; paperImage copies the bytes (the caller keeps its own). Returns the system.
GfxSystem* gfxSetSketchAttributes(GfxSketch* sketch, const GfxSketchAttributes* attributes);
// Fills the fields whose bits are set. GFX_SKETCH_STATS walks every record:
//   strokeCount      elements of types 1..6 drawn by the layer order, merged and
//                    pasted layers included
//   memoryInUse      4 x layerCount + history and layer-table bytes used + 512, plus
//                    for every layer still held: 608 + record-list and heap bytes used
//   memoryAllocated  the same with order capacity and allocated chunks
//   gpuMemory*       20 x vertices written / reserved in the layers' vertex buffers
//   bounds           of everything drawn, in viewport pixels of the current view
void gfxGetSketchAttributes(GfxSketch* sketch, GfxSketchAttributes* attributes);
GfxSystem* gfxGetSketchSystem(GfxSketch* sketch);

// Layer attributes by position in the order (GFX_ERR_INVALID for a bad position).
// Not entered in the history.
void gfxGetLayerAttributes(GfxSketch* sketch, int32_t position, GfxLayerAttributes* attributes);
void gfxSetLayerAttributes(GfxSketch* sketch, int32_t position, const GfxLayerAttributes* attributes);

// ----------------------------------------------------------------------------------
// [SECTION] Layers
// All refused by the busy rule. "Current" is the sketch's currentLayer position.
// ----------------------------------------------------------------------------------
// Inserts a new layer above the current one (at the top when there is no valid
// current layer), makes it current and applies `attributes` (may be null).
void gfxAddLayer(GfxSketch* sketch, const GfxLayerAttributes* attributes);
// Removes the current layer from the order (kept for undo); the layer below becomes
// current (the new bottom layer when it was at 0, none when no layer is left).
void gfxDeleteLayer(GfxSketch* sketch);
// Moves the current layer to `position` (beyond the top: the top), keeping it
// current. Negative: GFX_ERR_INVALID. No current layer, or no move: nothing.
void gfxMoveLayer(GfxSketch* sketch, int32_t position);
// Merges the current layer into the one below, which becomes current with opacity
// 1.0 (the merged layer is kept whole, with both opacities). Nothing at position 0.
void gfxMergeLayerDown(GfxSketch* sketch);
// Clears the current layer (its elements stay for undo) and resets its transform.
void gfxClearLayer(GfxSketch* sketch);
// Clears every layer in one undoable step.
void gfxClearCanvas(GfxSketch* sketch);
// The layer in table slot `slot`, or null (GFX_ERR_INVALID) when there is none.
GfxLayer* gfxGetLayerBySlot(GfxSketch* sketch, int32_t slot);

// ----------------------------------------------------------------------------------
// [SECTION] Clipboard
// Rectangles are x, y, width, height in viewport pixels of the current view. The
// clipboard belongs to the system and survives the sketch it was copied from.
// ----------------------------------------------------------------------------------
// Copies every element of the current layer whose bounds meet the rectangle (whole,
// never clipped). Returns 1 when something was copied; 0 leaves the clipboard as it was.
int32_t gfxCopyRegion(GfxSketch* sketch, float x, float y, float width, float height);
// Copy, then erase the rectangle from the current layer. Returns as gfxCopyRegion.
int32_t gfxCutRegion(GfxSketch* sketch, float x, float y, float width, float height);
// Pastes the clipboard onto the current layer with the copied rectangle's corner at
// (x, y). An empty clipboard: nothing.
void gfxPasteClipboard(GfxSketch* sketch, float x, float y);
// Cut, then paste at (pointX, pointY) as one floating selection that gfxUpdatePaste
// moves and gfxCommitPaste places; pass the rectangle's corner to lift it in place.
// Returns 1 when something was lifted.
int32_t gfxLiftRegion(GfxSketch* sketch, float x, float y, float width, float height, float pointX,
                      float pointY);
// Moves the newest paste (the newest history entry must be one, else GFX_ERR_INVALID).
void gfxUpdatePaste(GfxSketch* sketch, const GfxPastePlacement* placement);
// Places the newest paste for good; a lifted selection that was never moved is
// cancelled (the paste and its cut leave the history).
void gfxCommitPaste(GfxSketch* sketch, const GfxPastePlacement* placement);

// ----------------------------------------------------------------------------------
// [SECTION] View and layer gestures
// Begin is refused by the busy rule; update and end belong to the open gesture.
// View scale factors are clamped so the view scale stays within 1e-9 .. 50000 in
// magnitude; layer gestures replace negative factors by the smallest scale, except
// SCALE, whose negative factors mirror the layer (flip layer) as they do the view.
// ----------------------------------------------------------------------------------
void gfxResetView(GfxSketch* sketch);
void gfxBeginViewGesture(GfxSketch* sketch, const GfxGesture* gesture);
void gfxUpdateViewGesture(GfxSketch* sketch, const GfxGesture* gesture);
void gfxEndViewGesture(GfxSketch* sketch, const GfxGesture* gesture);
// On the current layer (none: GFX_ERR_INVALID). Ending is one undoable step.
void gfxBeginLayerGesture(GfxSketch* sketch, const GfxGesture* gesture);
void gfxUpdateLayerGesture(GfxSketch* sketch, const GfxGesture* gesture);
void gfxEndLayerGesture(GfxSketch* sketch, const GfxGesture* gesture);
// Expresses a similarity matrix (16 floats, column-major) as a combined gesture about
// (0, 0). No handle, no lastError.
void gfxGestureFromMatrix(const float* matrix, GfxGesture* gesture);
// The view matrix (16 floats, column-major, canvas to viewport pixels) and its scale.
void gfxGetView(GfxSketch* sketch, float* matrix, float* viewScale);

// ----------------------------------------------------------------------------------
// [SECTION] Elements
// ----------------------------------------------------------------------------------
// Opens an element of `input->kind` on the current layer with the first sample (or
// rect, angle and image for rectangles, ellipses and images). While it is open the
// busy rule refuses every other model change.
void gfxBeginElement(GfxSketch* sketch, const GfxElementInput* input);
// Feeds samples (or a new rect and angle) to the open element.
void gfxExtendElement(GfxSketch* sketch, const GfxElementInput* input);
// Closes the element with its last sample (may be none) and builds its cells.
// GFX_ERR_FAILED when the cells could not be stored: the element stays, without cells.
void gfxEndElement(GfxSketch* sketch, const GfxElementInput* input);

// ----------------------------------------------------------------------------------
// [SECTION] Undo and redo
// Refused by the busy rule. Nothing to undo or redo: nothing happens (GFX_OK).
// Anything new entered after an undo discards what could have been redone.
// ----------------------------------------------------------------------------------
void gfxUndo(GfxSketch* sketch);
void gfxRedo(GfxSketch* sketch);
void gfxRedoAll(GfxSketch* sketch);

// ----------------------------------------------------------------------------------
// [SECTION] Serialization
// A sketch saved as one LZMA-compressed blob: int32 N (the bytes that follow), int32
// U (the raw length), then the raw LZMA stream. The blob replays the sketch: the
// attributes, the view, the layers, the images, then every history entry still in
// force with the state records before it. Loading appends every record again, so
// the history is rebuilt (undo works, nothing is left to redo) and undone, cleared
// or deleted material is not there.
//   format 0: blob version 2, point deltas of 5 bytes (1/32 px, 10-bit pressure)
//   format 1: blob version 3, strokes simplified within 0.4 px and deltas of 3 bytes
//             (1/4 px, 6-bit pressure)
// Images placed as raw RGBA are stored as PNG.
// ----------------------------------------------------------------------------------
// The blob (N + 4 bytes, allocated with the hooks: release it with GFX_SYSTEM_FREE),
// or null: GFX_ERR_INTERNAL while an element or gesture is open or when the history
// names a missing record, GFX_ERR_FAILED when memory runs out or the raw blob would
// pass 1 GiB.
uint8_t* gfxSerializeSketch(GfxSketch* sketch, int32_t format);
// A blob of the rectangle (viewport pixels) only: every layer's region is copied
// and pasted at (0, 0) into a temporary sketch with the same attributes, which is
// serialized. Leaves the source's current layer at its top layer and the clipboard
// holding the top layer's region.
uint8_t* gfxSerializeSketchRegion(GfxSketch* sketch, float x, float y, float width, float height, int32_t format);
// A new sketch from a blob of `blobBytes` bytes, or null with lastError saying why:
// GFX_ERR_FAILED (damaged or not decompressible, memory), GFX_ERR_INTERNAL (a layer
// index that names no layer), GFX_ERR_INVALID (unknown record type or version, bad
// image encoding or value), GFX_ERR_TEXTURE_TOO_LARGE. A blob cut short loads as far
// as it goes. Needs a current GL context (images and cells are uploaded).
GfxSketch* gfxCreateSketchFromBlob(GfxSystem* system, const uint8_t* blob, int32_t blobBytes);

// ----------------------------------------------------------------------------------
// [SECTION] Rendering
// ----------------------------------------------------------------------------------
// Stores the viewport rectangle (x, y, width, height in window pixels). When its
// origin moves the view is panned back so the drawing stays where it was on screen;
// growing beyond the cached textures re-creates them. Marks a full redraw.
void gfxSetViewport(GfxSketch* sketch, float x, float y, float width, float height);
void gfxGetViewport(GfxSketch* sketch, float* rect);  // x, y, width, height
// Draws the sketch into the current framebuffer. The first call checks the GL:
// GFX_ERR_GPU_SUPPORT without the four ARB shader extensions, GFX_ERR_GL_SUPPORT
// without non-power-of-two textures (checked again on every call until it succeeds).
void gfxRenderSketch(GfxSketch* sketch);
