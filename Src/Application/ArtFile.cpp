#include "ArtFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ----------------------------------------------------------------------------------
// [SECTION] Little-endian bytes
// ----------------------------------------------------------------------------------
void appendInt32(std::vector<uint8_t>& out, int32_t value)
{
    auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void appendFloat(std::vector<uint8_t>& out, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendInt32(out, static_cast<int32_t>(bits));
}

int32_t int32At(const uint8_t* bytes)
{
    uint32_t bits = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                    static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(bits);
}

float floatAt(const uint8_t* bytes)
{
    uint32_t bits = static_cast<uint32_t>(int32At(bytes));
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// ----------------------------------------------------------------------------------
// [SECTION] Reading: an input that knows how much it still holds
// ----------------------------------------------------------------------------------
class BoundedInput {
public:
    virtual ~BoundedInput() = default;
    uint64_t remaining() const { return remaining_; }

    bool read(void* target, size_t bytes)
    {
        if (bytes > remaining_ || !readExactly(static_cast<uint8_t*>(target), bytes)) return false;
        remaining_ -= bytes;
        return true;
    }
    bool skip(uint64_t bytes)
    {
        if (bytes > remaining_ || !skipExactly(bytes)) return false;
        remaining_ -= bytes;
        return true;
    }
    bool readInt32(int32_t* value)
    {
        uint8_t bytes[4];
        if (!read(bytes, 4)) return false;
        *value = int32At(bytes);
        return true;
    }
    bool readFloat(float* value)
    {
        uint8_t bytes[4];
        if (!read(bytes, 4)) return false;
        *value = floatAt(bytes);
        return true;
    }

protected:
    virtual bool readExactly(uint8_t* target, size_t bytes) = 0;
    virtual bool skipExactly(uint64_t bytes) = 0;
    uint64_t remaining_ = 0;
};

class FileInput : public BoundedInput {
public:
    ~FileInput() override
    {
        if (fd_ >= 0) ::close(fd_);
    }

    // Regular files only: a FIFO or a device would block or never end.
    bool open(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        struct stat info{};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return false;
        remaining_ = static_cast<uint64_t>(info.st_size);
        return true;
    }

private:
    bool readExactly(uint8_t* target, size_t bytes) override
    {
        size_t done = 0;
        while (done < bytes) {
            ssize_t got = ::read(fd_, target + done, bytes - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;  // the file shrank under us, or an I/O error
            done += static_cast<size_t>(got);
        }
        return true;
    }
    bool skipExactly(uint64_t bytes) override { return ::lseek(fd_, static_cast<off_t>(bytes), SEEK_CUR) >= 0; }

    int fd_ = -1;
};

class MemoryInput : public BoundedInput {
public:
    MemoryInput(const uint8_t* bytes, size_t count) : bytes_(bytes) { remaining_ = count; }

private:
    bool readExactly(uint8_t* target, size_t bytes) override
    {
        if (bytes) std::memcpy(target, bytes_, bytes);
        bytes_ += bytes;
        return true;
    }
    bool skipExactly(uint64_t bytes) override
    {
        bytes_ += bytes;
        return true;
    }

    const uint8_t* bytes_;
};

// A pins section read from memory (its length was checked against the file first).
class ByteCursor {
public:
    ByteCursor(const uint8_t* bytes, size_t count) : bytes_(bytes), count_(count) {}
    size_t remaining() const { return count_ - position_; }
    bool readInt32(int32_t* value)
    {
        if (remaining() < 4) return false;
        *value = int32At(bytes_ + position_);
        position_ += 4;
        return true;
    }
    bool readFloat(float* value)
    {
        if (remaining() < 4) return false;
        *value = floatAt(bytes_ + position_);
        position_ += 4;
        return true;
    }
    const uint8_t* take(size_t bytes)
    {
        if (remaining() < bytes) return nullptr;
        const uint8_t* start = bytes_ + position_;
        position_ += bytes;
        return start;
    }

private:
    const uint8_t* bytes_;
    size_t count_;
    size_t position_ = 0;
};

// ----------------------------------------------------------------------------------
// [SECTION] Header fields: read, then made safe for the controller
// ----------------------------------------------------------------------------------
// The controller indexes its paper table and divides by the scale factor with these
// values, so anything out of range falls back to the default.
void makeHeaderSafe(ArtHeader& header)
{
    header.penScaleOn = header.penScaleOn != 0 ? 1 : 0;
    if (!std::isfinite(header.penScaleFactor) || header.penScaleFactor <= 0) header.penScaleFactor = 1.0f;
    if (header.paperIndex < 0 || header.paperIndex >= ART_PAPER_COUNT) header.paperIndex = 0;
    if (header.layerCounter < 1) header.layerCounter = 1;
}

bool readOldPresetHeader(BoundedInput& file, ArtHeader& header, int32_t ignoredGroups)
{
    int32_t oldPreset = 0;
    if (!file.readInt32(&header.layerCounter) || !file.readInt32(&oldPreset) ||
        !file.readInt32(&header.paperIndex))
        return false;
    header.penPresetId = artConvertOldPresetId(oldPreset);
    if (!file.skip(static_cast<uint64_t>(ignoredGroups) * ART_IGNORED_GROUP_BYTES)) return false;
    if (!file.read(header.interfaceBlocks, sizeof header.interfaceBlocks)) return false;
    header.hasInterfaceBlocks = true;
    return true;
}

bool readDocumentHeader(BoundedInput& file, ArtHeader& header, int32_t identificationWords)
{
    for (int32_t i = 0; i < identificationWords; ++i)
        if (!file.readInt32(&header.writerId[i])) return false;
    return file.readInt32(&header.penScaleOn) && file.readFloat(&header.penScaleFactor) &&
           file.readInt32(&header.paperIndex) && file.readInt32(&header.layerCounter);
}

bool isFiniteMatrix(const float* matrix)
{
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(matrix[i])) return false;
    return true;
}

// The pins of a version-1 section. Pins past the list's capacity are skipped.
bool parsePins(ByteCursor& section, std::vector<ArtPin>& pins)
{
    constexpr size_t kSmallestPin = 64 + 4;
    int32_t count = 0;
    if (!section.readInt32(&count) || count < 0) return false;
    if (static_cast<size_t>(count) > section.remaining() / kSmallestPin) return false;
    pins.reserve(static_cast<size_t>(std::min(count, ART_MAX_PINS)));
    for (int32_t i = 0; i < count; ++i) {
        ArtPin pin;
        for (float& value : pin.view)
            if (!section.readFloat(&value)) return false;
        int32_t nameBytes = 0;
        if (!section.readInt32(&nameBytes) || nameBytes < 0) return false;
        const uint8_t* name = section.take(static_cast<size_t>(nameBytes));
        if (!name) return false;
        if (i >= ART_MAX_PINS) continue;
        // The stored length counts the terminating NUL; stop at the first NUL in any case.
        size_t length = strnlen(reinterpret_cast<const char*>(name), static_cast<size_t>(nameBytes));
        pin.name.assign(reinterpret_cast<const char*>(name), length);
        // A view that is not a number would wreck the view when the pin is applied.
        if (!isFiniteMatrix(pin.view)) std::memcpy(pin.view, ArtPin{}.view, sizeof pin.view);
        pins.push_back(std::move(pin));
    }
    return true;
}

bool readPinsSection(BoundedInput& file, ArtHeader& header)
{
    uint8_t version = 0;
    int32_t length = 0;
    if (!file.read(&version, 1) || !file.readInt32(&length) || length < 0) return false;
    // The section must leave room for the blob length word after it.
    if (static_cast<uint64_t>(length) + 4 > file.remaining()) return false;
    header.pinsSectionVersion = version;
    if (version != ART_PINS_SECTION_VERSION) return file.skip(static_cast<uint64_t>(length));
    std::vector<uint8_t> section(static_cast<size_t>(length));
    if (!file.read(section.data(), section.size())) return false;
    ByteCursor cursor(section.data(), section.size());
    return parsePins(cursor, header.pins);
}

ArtReadStatus readHeader(BoundedInput& file, ArtHeader& header)
{
    if (!file.readInt32(&header.kind)) return ArtReadStatus::Damaged;
    bool complete = false;
    switch (header.kind) {
    case ART_KIND_PLAIN: complete = true; break;
    case ART_KIND_OLD_PRESET_15: complete = readOldPresetHeader(file, header, 15); break;
    case ART_KIND_OLD_PRESET_18: complete = readOldPresetHeader(file, header, 18); break;
    case ART_KIND_DOCUMENT: complete = readDocumentHeader(file, header, 3); break;
    case ART_KIND_DOCUMENT_PINS: complete = readDocumentHeader(file, header, 3) && readPinsSection(file, header); break;
    case ART_KIND_SHORT_ID: complete = readDocumentHeader(file, header, 2); break;
    default: return ArtReadStatus::UnknownKind;
    }
    if (!complete) return ArtReadStatus::Damaged;
    makeHeaderSafe(header);
    return ArtReadStatus::Ok;
}

ArtReadResult readArt(BoundedInput& file, ArtBlobSink& sink)
{
    ArtReadResult result;

    uint8_t magic[4];
    result.status = ArtReadStatus::NotArtFile;
    if (!file.read(magic, 4) || std::memcmp(magic, ART_MAGIC_PREFIX, 3) != 0) return result;
    if (magic[3] == ART_MAGIC_FORMAT_0) result.formatFlag = 0;
    else if (magic[3] == ART_MAGIC_FORMAT_1) result.formatFlag = 1;
    else return result;

    result.status = readHeader(file, result.header);
    if (result.status != ArtReadStatus::Ok) return result;

    // N counts the raw length word and the stream, so it is at least 4, and it must
    // be there in full before N + 4 bytes are allocated.
    result.status = ArtReadStatus::Damaged;
    int32_t following = 0;
    if (!file.readInt32(&following) || following < 4 || static_cast<uint64_t>(following) > file.remaining())
        return result;
    std::vector<uint8_t> blob(static_cast<size_t>(following) + 4);
    blob[0] = static_cast<uint8_t>(following);
    blob[1] = static_cast<uint8_t>(following >> 8);
    blob[2] = static_cast<uint8_t>(following >> 16);
    blob[3] = static_cast<uint8_t>(following >> 24);
    if (!file.read(blob.data() + 4, static_cast<size_t>(following))) return result;

    result.engineError = sink.load(blob.data(), blob.size());
    result.status = result.engineError == 0 ? ArtReadStatus::Ok : ArtReadStatus::BlobRejected;
    return result;
}

// ----------------------------------------------------------------------------------
// [SECTION] Writing: header bytes, then a temporary file renamed over the target
// ----------------------------------------------------------------------------------
// Cuts a UTF-8 name after `characters` code points.
std::string firstCharacters(const std::string& text, int32_t characters)
{
    size_t end = 0;
    int32_t counted = 0;
    while (end < text.size() && counted < characters) {
        ++end;
        while (end < text.size() && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) ++end;
        ++counted;
    }
    return text.substr(0, end);
}

std::vector<uint8_t> buildPinsSection(const std::vector<ArtPin>& pins)
{
    std::vector<uint8_t> body;
    appendInt32(body, static_cast<int32_t>(pins.size()));
    for (const ArtPin& pin : pins) {
        for (float value : pin.view) appendFloat(body, value);
        std::string name = firstCharacters(pin.name.substr(0, pin.name.find('\0')), ART_MAX_PIN_NAME_CHARACTERS);
        appendInt32(body, static_cast<int32_t>(name.size() + 1));
        body.insert(body.end(), name.begin(), name.end());
        body.push_back(0);
    }
    std::vector<uint8_t> section;
    section.push_back(ART_PINS_SECTION_VERSION);
    appendInt32(section, static_cast<int32_t>(body.size()));
    section.insert(section.end(), body.begin(), body.end());
    return section;
}

std::vector<uint8_t> buildHead(const ArtHeader& header, bool withPins, int32_t format)
{
    std::vector<uint8_t> head(ART_MAGIC_PREFIX, ART_MAGIC_PREFIX + 3);
    head.push_back(format == 1 ? ART_MAGIC_FORMAT_1 : ART_MAGIC_FORMAT_0);
    appendInt32(head, withPins ? ART_KIND_DOCUMENT_PINS : ART_KIND_DOCUMENT);
    int32_t identification[3];
    artWriterIdentification(identification);
    for (int32_t word : identification) appendInt32(head, word);
    appendInt32(head, header.penScaleOn);
    appendFloat(head, header.penScaleFactor);
    appendInt32(head, header.paperIndex);
    appendInt32(head, header.layerCounter);
    if (withPins) {
        std::vector<uint8_t> section = buildPinsSection(header.pins);
        head.insert(head.end(), section.begin(), section.end());
    }
    return head;
}

bool writeAll(int fd, const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

// Where the file really goes: through a symbolic link to its target, so that
// saving replaces the document and not the link.
std::string resolvedTarget(const std::string& path)
{
    struct stat info{};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string target(real);
            std::free(real);
            return target;
        }
    }
    return path;
}

std::string folderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A new file beside the target, created exclusively; its permissions follow the
// umask like a plain create, or copy the file it will replace.
int createTemporaryBeside(const std::string& target, std::string* temporary)
{
    static unsigned counter = 0;
    struct stat existing{};
    bool replaces = ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = target + ".saving-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        int fd = ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (replaces) (void)::fchmod(fd, existing.st_mode & 07777);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

int32_t writeDurably(const std::string& path, const std::vector<uint8_t>& head, const uint8_t* blob, size_t blobBytes)
{
    std::string target = resolvedTarget(path);
    std::string temporary;
    int fd = createTemporaryBeside(target, &temporary);
    if (fd < 0) return ART_ERROR_CANNOT_WRITE;
    bool written = writeAll(fd, head.data(), head.size()) && writeAll(fd, blob, blobBytes) && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return ART_ERROR_CANNOT_WRITE;
    }
    // Make the rename itself survive a power cut; the document is already in place.
    int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
    return ART_OK;
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Interface
// ----------------------------------------------------------------------------------
int32_t artConvertOldPresetId(int32_t oldId)
{
    if (oldId < 0) return -1;
    if (oldId <= 14) return oldId * 256;
    if (oldId <= 17) return oldId * 256 + 1;
    return -1;
}

int64_t artFileModificationTime(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat info{};
    const bool known = ::fstat(fd, &info) == 0;
    ::close(fd);
    return known ? static_cast<int64_t>(info.st_mtime) : 0;
}

void artWriterIdentification(int32_t words[3])
{
    // 'VLMN', then major.minor and patch.tweak of the build, 16 bits each.
    int major = 0, minor = 0, patch = 0, tweak = 0;
#ifdef VELLUMIN_VERSION
    std::sscanf(VELLUMIN_VERSION, "%d.%d.%d.%d", &major, &minor, &patch, &tweak);
#endif
    words[0] = 0x4E4D4C56;
    words[1] = (major & 0xFFFF) << 16 | (minor & 0xFFFF);
    words[2] = (patch & 0xFFFF) << 16 | (tweak & 0xFFFF);
}

ArtReadResult readArtFile(const std::string& path, ArtBlobSink& sink)
{
    FileInput file;
    if (!file.open(path)) return ArtReadResult{};
    return readArt(file, sink);
}

ArtReadResult readArtBytes(const uint8_t* bytes, size_t count, ArtBlobSink& sink)
{
    MemoryInput input(bytes, count);
    return readArt(input, sink);
}

int32_t writeArtFile(ArtBlobSource* canvas, const ArtHeader* header, const ArtRegion* region,
                     const std::string& path, int32_t format)
{
    if (!canvas || !header) return ART_ERROR_NO_DOCUMENT;
    // Checked before anything is made or written, so the existing file stays as it is.
    if (format != 0 && format != 1) return ART_ERROR_UNSUPPORTED_FORMAT;

    const uint8_t* blob = nullptr;
    size_t blobBytes = 0;
    int32_t code = canvas->serialize(region, format, &blob, &blobBytes);
    if (code == ART_OK) {
        // The blob's own first word must say how many bytes follow it.
        bool wellFormed = blob && blobBytes >= 8 && blobBytes - 4 <= INT32_MAX &&
                          static_cast<size_t>(int32At(blob)) == blobBytes - 4;
        code = wellFormed ? writeDurably(path, buildHead(*header, !region && !header->pins.empty(), format), blob,
                                         blobBytes)
                          : ART_ERROR_NO_DOCUMENT;
    }
    canvas->releaseBlob();
    return code;
}

// ----------------------------------------------------------------------------------
// [SECTION] The engine's canvas behind the seams
// ----------------------------------------------------------------------------------
int32_t ArtSketchSource::serialize(const ArtRegion* region, int32_t format, const uint8_t** blob, size_t* blobBytes)
{
    *blob = nullptr;
    *blobBytes = 0;
    releaseBlob();
    if (!sketch_) return ART_ERROR_NO_DOCUMENT;
    blob_ = region ? gfxSerializeSketchRegion(sketch_, region->x, region->y, region->width, region->height, format)
                   : gfxSerializeSketch(sketch_, format);
    const int32_t code = gfxGetLastError(gfxGetSketchSystem(sketch_));
    if (!blob_) return code != GFX_OK ? code : GFX_ERR_FAILED;
    *blob = blob_;
    *blobBytes = static_cast<size_t>(static_cast<uint32_t>(int32At(blob_))) + 4;
    return GFX_OK;
}

void ArtSketchSource::releaseBlob()
{
    if (!blob_) return;
    GfxSystemAttributes hooks;
    hooks.flags = GFX_SYSTEM_FREE | GFX_SYSTEM_USER_DATA;
    gfxGetSystemAttributes(gfxGetSketchSystem(sketch_), &hooks);
    hooks.free(blob_, hooks.userData);
    blob_ = nullptr;
}

ArtSketchSink::~ArtSketchSink()
{
    if (sketch_) gfxDestroySketch(sketch_);
}

int32_t ArtSketchSink::load(const uint8_t* blob, size_t blobBytes)
{
    if (!system_) return ART_ERROR_NO_DOCUMENT;
    if (blobBytes > INT32_MAX) return GFX_ERR_FAILED;
    if (sketch_) gfxDestroySketch(sketch_);
    sketch_ = gfxCreateSketchFromBlob(system_, blob, static_cast<int32_t>(blobBytes));
    const int32_t code = gfxGetLastError(system_);
    if (!sketch_) return code != GFX_OK ? code : GFX_ERR_FAILED;
    return GFX_OK;
}

GfxSketch* ArtSketchSink::takeSketch()
{
    GfxSketch* sketch = sketch_;
    sketch_ = nullptr;
    return sketch;
}
