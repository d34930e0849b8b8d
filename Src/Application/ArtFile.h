// ArtFile.h — the ".art" document file: magic, the controller's header (with the
// pins for whole documents), then the canvas blob exactly as the engine made it.
//
//   magic   C5 B3 8B E9 (blob format 0) or C5 B3 8B E7 (blob format 1)
//   header  int32 kind, then by kind (ArtHeader below)
//   blob    N (int32, the bytes that follow it), then N bytes: U and the LZMA stream
//
// The container never looks inside the blob: it reaches the canvas through
// ArtBlobSource (save) and ArtBlobSink (open), so the controller plugs the engine
// in and tests can plug in plain bytes.
//
// Saving never destroys the previous file: the document is written to a temporary
// file in the same folder, every write and the close are checked, the data is
// flushed to disk, and only then is it renamed over the target.
// Reading trusts nothing: every length and count is checked against what the file
// can still hold before anything is allocated.
#pragma once

#include "Gfx.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Result codes of writeArtFile (the program's error-code table has their messages).
enum ArtFileCode : int32_t {
    ART_OK = 0,
    ART_ERROR_NO_DOCUMENT = 6,          // no controller or no canvas, or a blob that is not one
    ART_ERROR_CANNOT_WRITE = 1000,      // the file could not be created, written, flushed or renamed
    ART_ERROR_UNSUPPORTED_FORMAT = 1001,// format other than 0 or 1
};

// Header kinds.
enum : int32_t {
    ART_KIND_PLAIN = 0,
    ART_KIND_OLD_PRESET_15 = 127,  // old files: layer counter, old preset id, paper, 15 groups
    ART_KIND_OLD_PRESET_18 = 128,  // the same with 18 groups
    ART_KIND_DOCUMENT = 129,       // what this program writes without pins
    ART_KIND_DOCUMENT_PINS = 130,  // ... and with pins
    ART_KIND_SHORT_ID = 0x20000,   // two identification words instead of three
};

constexpr uint8_t ART_MAGIC_PREFIX[3] = {0xC5, 0xB3, 0x8B};
constexpr uint8_t ART_MAGIC_FORMAT_0 = 0xE9;
constexpr uint8_t ART_MAGIC_FORMAT_1 = 0xE7;
constexpr uint8_t ART_PINS_SECTION_VERSION = 1;
constexpr int32_t ART_MAX_PINS = 99;             // the pin list's capacity; more in a file are skipped
constexpr int32_t ART_MAX_PIN_NAME_CHARACTERS = 256;
constexpr int32_t ART_PAPER_COUNT = 20;          // entries of the controller's paper table
constexpr size_t ART_INTERFACE_BLOCK_BYTES = 18;
constexpr size_t ART_IGNORED_GROUP_BYTES = 24;

// One pin as the file carries it. The pins feature converts the name to its own
// wide string; here it is the multibyte form the file stores (UTF-8 on this platform).
struct ArtPin {
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // column-major
    std::string name;
};

// The controller's part of the file. The reader fills every field it finds and
// leaves the others at these defaults; the writer writes the kind-129/130 fields.
struct ArtHeader {
    int32_t kind = ART_KIND_DOCUMENT;
    int32_t writerId[3] = {0, 0, 0};  // identification of the program that wrote the file
    int32_t penScaleOn = 0;           // pen scale follows zoom: 0 or 1
    float penScaleFactor = 1.0f;
    int32_t paperIndex = 0;           // entry of the paper table, 0 = no paper
    int32_t layerCounter = 1;         // number the next "Layer %d" name carries
    // Kinds 127 and 128: the pen preset in today's numbering (-1: none to select),
    // and the controller's two interface blocks.
    int32_t penPresetId = -1;
    bool hasInterfaceBlocks = false;
    uint8_t interfaceBlocks[2][ART_INTERFACE_BLOCK_BYTES] = {};
    // Kind 130: the version of the pins section found (0: none) and its pins.
    int32_t pinsSectionVersion = 0;
    std::vector<ArtPin> pins;
};

// The region of a selection save: x, y, width, height in window pixels.
struct ArtRegion {
    float x = 0, y = 0, width = 0, height = 0;
};

// The canvas side of a save. serialize() makes the compressed blob (N + 4 bytes,
// beginning with N) of the whole canvas or of a region, in the given format, and
// returns 0 or the engine's error code. The blob stays valid until releaseBlob().
class ArtBlobSource {
public:
    virtual ~ArtBlobSource() = default;
    virtual int32_t serialize(const ArtRegion* region, int32_t format, const uint8_t** blob, size_t* blobBytes) = 0;
    virtual void releaseBlob() = 0;
};

// The canvas side of an open: takes the blob read from the file (N + 4 bytes) and
// returns 0 when a canvas was made from it, or the engine's error code.
class ArtBlobSink {
public:
    virtual ~ArtBlobSink() = default;
    virtual int32_t load(const uint8_t* blob, size_t blobBytes) = 0;
};

// A sink that keeps the blob's bytes: for tools that look at a file without
// building a canvas, and for tests of the container.
class ArtBlobBytes : public ArtBlobSink {
public:
    int32_t load(const uint8_t* blob, size_t blobBytes) override
    {
        bytes.assign(blob, blob + blobBytes);
        return 0;
    }
    std::vector<uint8_t> bytes;
};

// The engine's canvas as a blob source: serializes the whole sketch or a region
// and releases the blob with the engine's free hook. A null sketch gives code 6.
class ArtSketchSource : public ArtBlobSource {
public:
    explicit ArtSketchSource(GfxSketch* sketch) : sketch_(sketch) {}
    ~ArtSketchSource() override { releaseBlob(); }
    int32_t serialize(const ArtRegion* region, int32_t format, const uint8_t** blob, size_t* blobBytes) override;
    void releaseBlob() override;

private:
    GfxSketch* sketch_;
    uint8_t* blob_ = nullptr;
};

// Loads the blob into a new sketch of `system` (a GL context must be current). The
// sketch belongs to the sink until taken; an untaken one is destroyed with the sink.
class ArtSketchSink : public ArtBlobSink {
public:
    explicit ArtSketchSink(GfxSystem* system) : system_(system) {}
    ~ArtSketchSink() override;
    int32_t load(const uint8_t* blob, size_t blobBytes) override;
    GfxSketch* takeSketch();

private:
    GfxSystem* system_;
    GfxSketch* sketch_ = nullptr;
};

// Why an open gave nothing. The controller shows one load-failure message for all
// of them; tools and tests tell them apart.
enum class ArtReadStatus {
    Ok,
    CannotOpen,    // missing, unreadable, or not a regular file
    NotArtFile,    // the magic is not one of ours
    UnknownKind,   // header kind not in the table
    Damaged,       // header, pins or blob length cut short or claiming more than the file holds
    BlobRejected,  // the sink refused the blob: engineError says why
};

struct ArtReadResult {
    ArtReadStatus status = ArtReadStatus::CannotOpen;
    int32_t engineError = 0;  // the sink's code when status is BlobRejected
    int32_t formatFlag = 0;   // 0 for E9, 1 for E7
    ArtHeader header;
};

// Opens an .art file and hands its blob to `sink`.
ArtReadResult readArtFile(const std::string& path, ArtBlobSink& sink);
// The same for a file already in memory (fuzzing, tools).
ArtReadResult readArtBytes(const uint8_t* bytes, size_t count, ArtBlobSink& sink);

// Saves an .art file. `header` carries the controller's fields and pins (null when
// there is no controller: code 6, as without a canvas). With a region no pins are
// written. Returns one of ArtFileCode or the engine's code; on any failure the file
// at `path` is left exactly as it was.
int32_t writeArtFile(ArtBlobSource* canvas, const ArtHeader* header, const ArtRegion* region,
                     const std::string& path, int32_t format);

// The file's modification time in seconds since 1970 (what the controller keeps as
// the document's file time to notice changes by others), 0 when it cannot be opened.
int64_t artFileModificationTime(const std::string& path);

// The old preset numbering of kinds 127 and 128 in today's ids (low byte group, high
// byte index); -1 for values that have no counterpart.
int32_t artConvertOldPresetId(int32_t oldId);

// The writer-identification words this program writes.
void artWriterIdentification(int32_t words[3]);
