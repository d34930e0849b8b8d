// The .art container: header kinds, pins, blob framing, hostile files, and saves
// that never destroy the previous file. The canvas blob is opaque bytes here.
#include "ArtFile.h"
#include "GlTestContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A canvas blob as the engine frames it: N, then N bytes.
std::vector<uint8_t> fakeBlob(size_t payload, uint8_t seed)
{
    std::vector<uint8_t> blob(4 + payload);
    uint32_t n = static_cast<uint32_t>(payload);
    for (int i = 0; i < 4; ++i) blob[i] = static_cast<uint8_t>(n >> (8 * i));
    for (size_t i = 0; i < payload; ++i) blob[4 + i] = static_cast<uint8_t>(seed + i * 7);
    return blob;
}

// A source that hands out fixed bytes, or fails with a code.
class BytesSource : public ArtBlobSource {
public:
    explicit BytesSource(std::vector<uint8_t> bytes, int32_t code = 0) : bytes_(std::move(bytes)), code_(code) {}
    int32_t serialize(const ArtRegion* region, int32_t format, const uint8_t** blob, size_t* blobBytes) override
    {
        ++serializeCalls;
        sawRegion = region != nullptr;
        sawFormat = format;
        *blob = bytes_.data();
        *blobBytes = bytes_.size();
        return code_;
    }
    void releaseBlob() override { ++releaseCalls; }

    int serializeCalls = 0;
    int releaseCalls = 0;
    bool sawRegion = false;
    int32_t sawFormat = -1;

private:
    std::vector<uint8_t> bytes_;
    int32_t code_;
};

class RefusingSink : public ArtBlobSink {
public:
    int32_t load(const uint8_t*, size_t) override { return 7; }
};

// Little-endian file builder for hand-made headers.
struct Bytes {
    std::vector<uint8_t> data;
    Bytes& raw(std::initializer_list<uint8_t> bytes)
    {
        data.insert(data.end(), bytes);
        return *this;
    }
    Bytes& i32(int32_t value)
    {
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
        return *this;
    }
    Bytes& f32(float value)
    {
        int32_t bits;
        std::memcpy(&bits, &value, 4);
        return i32(bits);
    }
    Bytes& fill(size_t count, uint8_t value)
    {
        data.insert(data.end(), count, value);
        return *this;
    }
    Bytes& append(const std::vector<uint8_t>& more)
    {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
};

std::vector<uint8_t> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int32_t int32At(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

ArtPin makePin(const std::string& name, float shift)
{
    ArtPin pin;
    for (int i = 0; i < 16; ++i) pin.view[i] = shift + static_cast<float>(i);
    pin.name = name;
    return pin;
}

ArtHeader sampleHeader(int pinCount)
{
    ArtHeader header;
    header.penScaleOn = 1;
    header.penScaleFactor = 2.5f;
    header.paperIndex = 7;
    header.layerCounter = 12;
    for (int i = 0; i < pinCount; ++i) header.pins.push_back(makePin("Pin " + std::to_string(i + 1), 100.0f * i));
    return header;
}

class ArtFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("art_file_test_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }
    std::string path(const char* name) const { return (folder / name).string(); }
    size_t filesInFolder() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path folder;
};

// ----------------------------------------------------------------------------------
// Round trips through the writer and the reader
// ----------------------------------------------------------------------------------
TEST_F(ArtFileTest, WrittenDocumentsReadBackWithKindFormatPinsAndBlob)
{
    struct Case {
        const char* name;
        int32_t format;
        int pins;
        bool region;
        int32_t expectedKind;
        uint8_t expectedMagic;
    };
    const Case cases[] = {
        {"no pins", 0, 0, false, ART_KIND_DOCUMENT, 0xE9},
        {"pins", 0, 3, false, ART_KIND_DOCUMENT_PINS, 0xE9},
        {"selection of a document with pins", 0, 3, true, ART_KIND_DOCUMENT, 0xE9},
        {"format 1", 1, 2, false, ART_KIND_DOCUMENT_PINS, 0xE7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> blob = fakeBlob(1000, 3);
        BytesSource source(blob);
        ArtHeader header = sampleHeader(c.pins);
        ArtRegion region{10, 20, 300, 400};
        std::string file = path("doc.art");
        ASSERT_EQ(writeArtFile(&source, &header, c.region ? &region : nullptr, file, c.format), ART_OK);
        EXPECT_EQ(source.sawRegion, c.region);
        EXPECT_EQ(source.sawFormat, c.format);
        EXPECT_EQ(source.releaseCalls, 1);

        std::vector<uint8_t> bytes = readBytes(file);
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(bytes[3], c.expectedMagic);
        EXPECT_EQ(int32At(bytes, 4), c.expectedKind);
        EXPECT_TRUE(std::equal(blob.begin(), blob.end(), bytes.end() - static_cast<long>(blob.size())))
            << "the blob ends the file exactly as it was made";

        ArtBlobBytes sink;
        sink.bytes.assign(50, 0xAB);  // poison
        ArtReadResult result = readArtFile(file, sink);
        ASSERT_EQ(result.status, ArtReadStatus::Ok);
        EXPECT_EQ(result.formatFlag, c.format);
        EXPECT_EQ(result.header.kind, c.expectedKind);
        EXPECT_EQ(sink.bytes, blob);
        EXPECT_EQ(result.header.penScaleOn, 1);
        EXPECT_EQ(result.header.penScaleFactor, 2.5f);
        EXPECT_EQ(result.header.paperIndex, 7);
        EXPECT_EQ(result.header.layerCounter, 12);
        int32_t identification[3];
        artWriterIdentification(identification);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(result.header.writerId[i], identification[i]);
        size_t expectedPins = c.region ? 0 : static_cast<size_t>(c.pins);
        ASSERT_EQ(result.header.pins.size(), expectedPins);
        for (size_t i = 0; i < expectedPins; ++i) {
            EXPECT_EQ(result.header.pins[i].name, header.pins[i].name);
            EXPECT_EQ(0, std::memcmp(result.header.pins[i].view, header.pins[i].view, sizeof(float) * 16));
        }
    }
}

TEST_F(ArtFileTest, PinNamesAreStoredWithTheirTerminatorAndAtMost256Characters)
{
    ArtHeader header;
    header.pins.push_back(makePin("Ten chars!", 0));
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "\xC3\xA9";  // é, two bytes each
    header.pins.push_back(makePin(longName, 1));
    BytesSource source(fakeBlob(16, 1));
    std::string file = path("pins.art");
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, file, 0), ART_OK);

    std::vector<uint8_t> bytes = readBytes(file);
    const size_t pinsSection = 4 + 4 + 12 + 16;
    EXPECT_EQ(bytes[pinsSection], 1) << "section version";
    EXPECT_EQ(int32At(bytes, pinsSection + 5 + 4 + 64), 11) << "a 10-character name is written with length 11";
    EXPECT_EQ(bytes[pinsSection + 5 + 4 + 64 + 4 + 10], 0);

    ArtBlobBytes sink;
    ArtReadResult result = readArtFile(file, sink);
    ASSERT_EQ(result.status, ArtReadStatus::Ok);
    ASSERT_EQ(result.header.pins.size(), 2u);
    EXPECT_EQ(result.header.pins[0].name, "Ten chars!");
    EXPECT_EQ(result.header.pins[1].name, longName.substr(0, 512)) << "256 characters, cut on a character boundary";
}

// ----------------------------------------------------------------------------------
// Hand-made files of every header kind
// ----------------------------------------------------------------------------------
Bytes magic(uint8_t last) { return Bytes().raw({0xC5, 0xB3, 0x8B, last}); }

TEST_F(ArtFileTest, EveryHeaderKindReads)
{
    std::vector<uint8_t> blob = fakeBlob(40, 9);
    std::vector<uint8_t> blocks(36);
    for (size_t i = 0; i < blocks.size(); ++i) blocks[i] = static_cast<uint8_t>(i + 1);
    struct Case {
        const char* name;
        Bytes file;
        int32_t layerCounter, paperIndex, penPresetId, penScaleOn;
        float penScaleFactor;
        bool interfaceBlocks;
    };
    const Case cases[] = {
        {"kind 0", magic(0xE9).i32(0).append(blob), 1, 0, -1, 0, 1.0f, false},
        {"kind 127, preset 3 becomes 768, 15 groups skipped",
         magic(0xE9).i32(127).i32(5).i32(3).i32(4).fill(15 * 24, 0xEE).append(blocks).append(blob), 5, 4, 768, 0,
         1.0f, true},
        {"kind 128, 18 groups", magic(0xE7).i32(128).i32(6).i32(16).i32(2).fill(18 * 24, 0xEE).append(blocks).append(blob),
         6, 2, 16 * 256 + 1, 0, 1.0f, true},
        {"kind 129", magic(0xE9).i32(129).i32(1).i32(2).i32(3).i32(1).f32(0.5f).i32(9).i32(33).append(blob), 33, 9, -1,
         1, 0.5f, false},
        {"kind 131072, two identification words",
         magic(0xE9).i32(0x20000).i32(1).i32(2).i32(0).f32(3.0f).i32(11).i32(44).append(blob), 44, 11, -1, 0, 3.0f,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path("kind.art"), c.file.data);
        ArtBlobBytes sink;
        ArtReadResult result = readArtFile(path("kind.art"), sink);
        ASSERT_EQ(result.status, ArtReadStatus::Ok);
        EXPECT_EQ(sink.bytes, blob);
        EXPECT_EQ(result.header.layerCounter, c.layerCounter);
        EXPECT_EQ(result.header.paperIndex, c.paperIndex);
        EXPECT_EQ(result.header.penPresetId, c.penPresetId);
        EXPECT_EQ(result.header.penScaleOn, c.penScaleOn);
        EXPECT_EQ(result.header.penScaleFactor, c.penScaleFactor);
        EXPECT_EQ(result.header.hasInterfaceBlocks, c.interfaceBlocks);
        if (c.interfaceBlocks) {
            EXPECT_EQ(0, std::memcmp(result.header.interfaceBlocks, blocks.data(), 36));
        }
    }
}

TEST(ArtPresetConversion, OldIdsMapToGroupAndIndex)
{
    const std::pair<int32_t, int32_t> cases[] = {{0, 0},      {3, 768},   {14, 14 * 256}, {15, 15 * 256 + 1},
                                                 {17, 4353},  {18, -1},   {1000, -1},     {-1, -1}};
    for (auto [old, converted] : cases) EXPECT_EQ(artConvertOldPresetId(old), converted) << old;
}

TEST_F(ArtFileTest, PinsSectionOfAnotherVersionIsSkippedByItsLength)
{
    std::vector<uint8_t> blob = fakeBlob(30, 2);
    Bytes file = magic(0xE9).i32(130).i32(0).i32(0).i32(0).i32(0).f32(1).i32(0).i32(3);
    file.raw({2}).i32(10).fill(10, 0x77).append(blob);
    writeBytes(path("v2.art"), file.data);
    ArtBlobBytes sink;
    ArtReadResult result = readArtFile(path("v2.art"), sink);
    ASSERT_EQ(result.status, ArtReadStatus::Ok);
    EXPECT_EQ(result.header.pinsSectionVersion, 2);
    EXPECT_TRUE(result.header.pins.empty());
    EXPECT_EQ(sink.bytes, blob);
}

TEST_F(ArtFileTest, MoreThan99PinsKeepThe99FirstAndTheBlob)
{
    ArtHeader header = sampleHeader(120);
    BytesSource source(fakeBlob(20, 5));
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("many.art"), 0), ART_OK);
    ArtBlobBytes sink;
    ArtReadResult result = readArtFile(path("many.art"), sink);
    ASSERT_EQ(result.status, ArtReadStatus::Ok);
    ASSERT_EQ(result.header.pins.size(), 99u);
    EXPECT_EQ(result.header.pins[98].name, "Pin 99");
    EXPECT_EQ(sink.bytes, fakeBlob(20, 5));
}

TEST_F(ArtFileTest, OutOfRangeHeaderValuesFallBackToDefaults)
{
    float nan = std::nanf("");
    Bytes file = magic(0xE9).i32(130).i32(0).i32(0).i32(0).i32(5).f32(nan).i32(57).i32(-3);
    Bytes pins;
    pins.i32(1);
    for (int i = 0; i < 16; ++i) pins.f32(i == 5 ? nan : 1.0f);
    pins.i32(2).raw({'A', 0});
    file.raw({1}).i32(static_cast<int32_t>(pins.data.size())).append(pins.data).append(fakeBlob(8, 1));
    writeBytes(path("odd.art"), file.data);
    ArtBlobBytes sink;
    ArtReadResult result = readArtFile(path("odd.art"), sink);
    ASSERT_EQ(result.status, ArtReadStatus::Ok);
    EXPECT_EQ(result.header.penScaleOn, 1);
    EXPECT_EQ(result.header.penScaleFactor, 1.0f);
    EXPECT_EQ(result.header.paperIndex, 0) << "the paper table has 20 entries";
    EXPECT_EQ(result.header.layerCounter, 1);
    ASSERT_EQ(result.header.pins.size(), 1u);
    EXPECT_EQ(0, std::memcmp(result.header.pins[0].view, ArtPin{}.view, sizeof(float) * 16))
        << "a view that is not a number becomes the identity";
}

// ----------------------------------------------------------------------------------
// Files that must not open, cleanly
// ----------------------------------------------------------------------------------
TEST_F(ArtFileTest, ForeignAndHostileFilesGiveACleanFailure)
{
    std::vector<uint8_t> blob = fakeBlob(30, 4);
    auto document = [] { return magic(0xE9).i32(129).i32(0).i32(0).i32(0).i32(0).f32(1).i32(0).i32(1); };
    auto withPins = [] { return magic(0xE9).i32(130).i32(0).i32(0).i32(0).i32(0).f32(1).i32(0).i32(1); };
    struct Case {
        const char* name;
        Bytes file;
        ArtReadStatus status;
    };
    const Case cases[] = {
        {"empty", Bytes(), ArtReadStatus::NotArtFile},
        {"foreign magic", Bytes().raw({0x89, 'P', 'N', 'G'}).i32(0).append(blob), ArtReadStatus::NotArtFile},
        {"magic of no format", magic(0xE8).i32(0).append(blob), ArtReadStatus::NotArtFile},
        {"unknown kind", magic(0xE9).i32(131).append(blob), ArtReadStatus::UnknownKind},
        {"negative kind", magic(0xE9).i32(-1).append(blob), ArtReadStatus::UnknownKind},
        {"no blob", document(), ArtReadStatus::Damaged},
        {"blob length 2 GiB", document().i32(INT32_MAX).fill(100, 0), ArtReadStatus::Damaged},
        {"blob length negative", document().i32(-8).fill(100, 0), ArtReadStatus::Damaged},
        {"blob length below 4", document().i32(3).fill(3, 0), ArtReadStatus::Damaged},
        {"blob length one past the end", document().i32(31).fill(30, 0), ArtReadStatus::Damaged},
        {"pins section of 2 GiB", withPins().raw({1}).i32(INT32_MAX).append(blob), ArtReadStatus::Damaged},
        {"pins section over the blob length word", withPins().raw({2}).i32(34).append(blob), ArtReadStatus::Damaged},
        {"pin count of 2 billion", withPins().raw({1}).i32(4).i32(INT32_MAX).append(blob), ArtReadStatus::Damaged},
        {"pin count negative", withPins().raw({1}).i32(4).i32(-1).append(blob), ArtReadStatus::Damaged},
        {"pin name longer than its section",
         withPins().raw({1}).i32(4 + 68).i32(1).fill(64, 0).i32(1000).append(blob), ArtReadStatus::Damaged},
        {"pin name length negative", withPins().raw({1}).i32(4 + 68).i32(1).fill(64, 0).i32(-5).append(blob),
         ArtReadStatus::Damaged},
        {"kind 127 cut in its groups", magic(0xE9).i32(127).i32(1).i32(1).i32(1).fill(100, 0), ArtReadStatus::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path("bad.art"), c.file.data);
        ArtBlobBytes sink;
        EXPECT_EQ(readArtFile(path("bad.art"), sink).status, c.status);
        EXPECT_TRUE(sink.bytes.empty()) << "nothing reaches the canvas";
    }
}

TEST_F(ArtFileTest, EveryCutOfAValidFileFailsCleanly)
{
    ArtHeader header = sampleHeader(2);
    BytesSource source(fakeBlob(60, 8));
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("full.art"), 0), ART_OK);
    std::vector<uint8_t> full = readBytes(path("full.art"));
    for (size_t cut = 0; cut < full.size(); ++cut) {
        writeBytes(path("cut.art"), std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(cut)));
        ArtBlobBytes sink;
        ArtReadStatus status = readArtFile(path("cut.art"), sink).status;
        EXPECT_EQ(status, cut < 4 ? ArtReadStatus::NotArtFile : ArtReadStatus::Damaged) << "cut at " << cut;
    }
}

TEST_F(ArtFileTest, WhatIsNotARegularFileDoesNotOpen)
{
    ASSERT_EQ(::mkfifo(path("pipe.art").c_str(), 0600), 0);
    fs::create_directory(path("folder.art"));
    for (const char* name : {"missing.art", "pipe.art", "folder.art"}) {
        ArtBlobBytes sink;
        EXPECT_EQ(readArtFile(path(name), sink).status, ArtReadStatus::CannotOpen) << name;
    }
}

TEST_F(ArtFileTest, ModificationTimeIsTheFilesOrZero)
{
    EXPECT_EQ(artFileModificationTime(path("missing.art")), 0);
    ArtHeader header;
    BytesSource source(fakeBlob(8, 0));
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("doc.art"), 0), ART_OK);
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    EXPECT_NEAR(static_cast<double>(artFileModificationTime(path("doc.art"))), static_cast<double>(now), 5.0);
}

TEST_F(ArtFileTest, RefusedBlobReportsTheEngineCode)
{
    ArtHeader header;
    BytesSource source(fakeBlob(12, 0));
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("doc.art"), 0), ART_OK);
    RefusingSink sink;
    ArtReadResult result = readArtFile(path("doc.art"), sink);
    EXPECT_EQ(result.status, ArtReadStatus::BlobRejected);
    EXPECT_EQ(result.engineError, 7);
}

// ----------------------------------------------------------------------------------
// Saves that fail leave the previous file as it was
// ----------------------------------------------------------------------------------
class PreviousFileTest : public ArtFileTest {
protected:
    void SetUp() override
    {
        ArtFileTest::SetUp();
        target = path("existing.art");
        ArtHeader header = sampleHeader(1);
        BytesSource source(fakeBlob(500, 77));
        ASSERT_EQ(writeArtFile(&source, &header, nullptr, target, 0), ART_OK);
        previous = readBytes(target);
    }
    void expectUntouched()
    {
        EXPECT_EQ(readBytes(target), previous) << "the previous document must survive a failed save";
        EXPECT_EQ(filesInFolder(), 1u) << "no temporary file may be left behind";
    }

    std::string target;
    std::vector<uint8_t> previous;
};

TEST_F(PreviousFileTest, RefusedSavesReportTheirCode)
{
    ArtHeader header = sampleHeader(0);
    struct Case {
        const char* name;
        std::vector<uint8_t> blob;
        int32_t engineCode;
        int32_t format;
        int32_t expected;
    };
    std::vector<uint8_t> lying = fakeBlob(100, 1);
    lying[0] = 99;  // N no longer matches the bytes handed over
    const Case cases[] = {
        {"format 2", fakeBlob(100, 1), 0, 2, ART_ERROR_UNSUPPORTED_FORMAT},
        {"format -1", fakeBlob(100, 1), 0, -1, ART_ERROR_UNSUPPORTED_FORMAT},
        {"engine refuses to serialize", fakeBlob(100, 1), 7, 0, 7},
        {"blob whose length word lies", lying, 0, 0, ART_ERROR_NO_DOCUMENT},
        {"blob shorter than its framing", {4, 0, 0}, 0, 0, ART_ERROR_NO_DOCUMENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BytesSource source(c.blob, c.engineCode);
        EXPECT_EQ(writeArtFile(&source, &header, nullptr, target, c.format), c.expected);
        EXPECT_EQ(source.releaseCalls, source.serializeCalls) << "a made blob is always released";
        expectUntouched();
    }
    BytesSource source(fakeBlob(10, 1));
    EXPECT_EQ(writeArtFile(nullptr, &header, nullptr, target, 0), ART_ERROR_NO_DOCUMENT) << "no canvas";
    EXPECT_EQ(writeArtFile(&source, nullptr, nullptr, target, 0), ART_ERROR_NO_DOCUMENT) << "no controller";
    EXPECT_EQ(source.serializeCalls, 0);
    expectUntouched();
}

TEST_F(PreviousFileTest, DiskFullLeavesThePreviousFile)
{
    // A file-size limit below the new document makes the write fail part-way, as a
    // full disk does.
    ArtHeader header = sampleHeader(0);
    BytesSource source(fakeBlob(200'000, 3));
    struct rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int32_t code = writeArtFile(&source, &header, nullptr, target, 0);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(code, ART_ERROR_CANNOT_WRITE);
    expectUntouched();
}

TEST_F(PreviousFileTest, UnwritablePlacesReport1000)
{
    ArtHeader header = sampleHeader(0);
    BytesSource source(fakeBlob(100, 1));
    fs::create_directory(path("folder.art"));
    EXPECT_EQ(writeArtFile(&source, &header, nullptr, path("folder.art"), 0), ART_ERROR_CANNOT_WRITE)
        << "a folder in the way of the rename";
    EXPECT_TRUE(fs::is_empty(path("folder.art")));
    fs::remove(path("folder.art"));
    EXPECT_EQ(writeArtFile(&source, &header, nullptr, path("no-such-folder/doc.art"), 0), ART_ERROR_CANNOT_WRITE);
    EXPECT_EQ(writeArtFile(&source, &header, nullptr, target + "/doc.art", 0), ART_ERROR_CANNOT_WRITE)
        << "a file where a folder should be";
    // Root ignores folder permissions; elsewhere a read-only folder must also fail cleanly.
    if (::geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(writeArtFile(&source, &header, nullptr, target, 0), ART_ERROR_CANNOT_WRITE);
        fs::permissions(folder, fs::perms::owner_all);
    }
    expectUntouched();
}

TEST_F(PreviousFileTest, SavingReplacesTheDocumentKeepingItsPermissionsAndLinks)
{
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink("existing.art", path("link.art"));
    ArtHeader header = sampleHeader(0);
    BytesSource source(fakeBlob(64, 200));
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("link.art"), 1), ART_OK);
    EXPECT_TRUE(fs::is_symlink(path("link.art"))) << "the link stays a link";
    ArtBlobBytes sink;
    ArtReadResult result = readArtFile(target, sink);
    ASSERT_EQ(result.status, ArtReadStatus::Ok);
    EXPECT_EQ(result.formatFlag, 1);
    EXPECT_EQ(sink.bytes, fakeBlob(64, 200));
    struct stat info{};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(filesInFolder(), 2u);
}

// ----------------------------------------------------------------------------------
// Documents with a real canvas behind the seams
// ----------------------------------------------------------------------------------
class ArtCanvasTest : public ArtFileTest {
protected:
    void SetUp() override
    {
        ArtFileTest::SetUp();
        ASSERT_TRUE(glTestContextMakeCurrent());
        system = gfxCreateSystem();
        sketch = gfxCreateSketch(system, nullptr);
        gfxSetViewport(sketch, 0, 0, 300, 200);
        gfxAddLayer(sketch, nullptr);
    }
    void TearDown() override
    {
        gfxDestroySystem(system);
        ArtFileTest::TearDown();
    }

    void stroke(float x, float y)
    {
        GfxSample samples[3] = {{x, y, 0.5f}, {x + 10, y + 3, 0.7f}, {x + 25, y, 0.6f}};
        GfxElementInput input;
        input.sampleCount = 1;
        input.samples = &samples[0];
        gfxBeginElement(sketch, &input);
        input.samples = &samples[1];
        gfxExtendElement(sketch, &input);
        input.samples = &samples[2];
        gfxEndElement(sketch, &input);
        ASSERT_EQ(gfxGetLastError(system), GFX_OK);
    }
    int32_t strokeCount(GfxSketch* of)
    {
        GfxSketchAttributes a;
        a.flags = GFX_SKETCH_STATS | GFX_SKETCH_LAYER_COUNT;
        gfxGetSketchAttributes(of, &a);
        return a.stats.strokeCount * 100 + a.layerCount;
    }

    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
};

TEST_F(ArtCanvasTest, DocumentsWithPinsRoundTripInBothFormats)
{
    stroke(10, 10);
    gfxAddLayer(sketch, nullptr);
    stroke(50, 80);
    stroke(90, 120);
    for (int32_t format : {0, 1}) {
        SCOPED_TRACE(format);
        ArtHeader header = sampleHeader(2);
        ArtSketchSource source(sketch);
        ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("canvas.art"), format), ART_OK);
        ArtSketchSink sink(system);
        ArtReadResult result = readArtFile(path("canvas.art"), sink);
        ASSERT_EQ(result.status, ArtReadStatus::Ok) << result.engineError;
        EXPECT_EQ(result.formatFlag, format);
        EXPECT_EQ(result.header.kind, ART_KIND_DOCUMENT_PINS);
        ASSERT_EQ(result.header.pins.size(), 2u);
        EXPECT_EQ(result.header.pins[1].name, "Pin 2");
        GfxSketch* loaded = sink.takeSketch();
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(strokeCount(loaded), 302) << "three strokes on two layers";
        gfxDestroySketch(loaded);
    }
}

TEST_F(ArtCanvasTest, OldKindsAndForeignPinSectionsStillOpenTheirCanvas)
{
    stroke(10, 10);
    ArtBlobBytes blob;
    {
        ArtSketchSource source(sketch);
        ArtHeader header;
        ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("plain.art"), 0), ART_OK);
        ASSERT_EQ(readArtFile(path("plain.art"), blob).status, ArtReadStatus::Ok);
    }
    std::vector<uint8_t> blocks(36, 1);
    struct Case {
        const char* name;
        Bytes file;
        int32_t presetId;
    };
    const Case cases[] = {
        {"kind 127, old preset 3", magic(0xE9).i32(127).i32(4).i32(3).i32(0).fill(15 * 24, 0).append(blocks).append(blob.bytes), 768},
        {"kind 130 with a version-2 pins section",
         magic(0xE9).i32(130).i32(0).i32(0).i32(0).i32(0).f32(1).i32(0).i32(2).raw({2}).i32(6).fill(6, 9).append(blob.bytes),
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path("old.art"), c.file.data);
        ArtSketchSink sink(system);
        ArtReadResult result = readArtFile(path("old.art"), sink);
        ASSERT_EQ(result.status, ArtReadStatus::Ok) << result.engineError;
        EXPECT_EQ(result.header.penPresetId, c.presetId);
        GfxSketch* loaded = sink.takeSketch();
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(strokeCount(loaded), 101);
        gfxDestroySketch(loaded);
    }
}

TEST_F(ArtCanvasTest, AFailedSaveLeavesThePreviousDocument)
{
    stroke(10, 10);
    ArtHeader header = sampleHeader(1);
    ArtSketchSource source(sketch);
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("doc.art"), 0), ART_OK);
    std::vector<uint8_t> previous = readBytes(path("doc.art"));

    // An element still open: the engine refuses to serialize, nothing is written.
    GfxSample first{5, 5, 0.5f};
    GfxElementInput input;
    input.sampleCount = 1;
    input.samples = &first;
    gfxBeginElement(sketch, &input);
    EXPECT_EQ(writeArtFile(&source, &header, nullptr, path("doc.art"), 0), GFX_ERR_INTERNAL);
    gfxEndElement(sketch, &input);
    EXPECT_EQ(writeArtFile(&source, &header, nullptr, path("doc.art"), 5), ART_ERROR_UNSUPPORTED_FORMAT);
    ArtSketchSource noCanvas(nullptr);
    EXPECT_EQ(writeArtFile(&noCanvas, &header, nullptr, path("doc.art"), 0), ART_ERROR_NO_DOCUMENT);
    EXPECT_EQ(readBytes(path("doc.art")), previous);
    EXPECT_EQ(filesInFolder(), 1u);
}

TEST_F(ArtCanvasTest, ASelectionIsSavedWithoutPins)
{
    stroke(10, 10);
    stroke(200, 150);
    ArtHeader header = sampleHeader(3);
    ArtSketchSource source(sketch);
    ArtRegion region{0, 0, 100, 100};
    ASSERT_EQ(writeArtFile(&source, &header, &region, path("part.art"), 0), ART_OK);
    ArtSketchSink sink(system);
    ArtReadResult result = readArtFile(path("part.art"), sink);
    ASSERT_EQ(result.status, ArtReadStatus::Ok);
    EXPECT_EQ(result.header.kind, ART_KIND_DOCUMENT);
    EXPECT_TRUE(result.header.pins.empty());
    GfxSketch* loaded = sink.takeSketch();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(strokeCount(loaded), 101) << "only the stroke inside the region";
    gfxDestroySketch(loaded);
}

TEST_F(ArtCanvasTest, ADamagedBlobReportsTheEngineCode)
{
    stroke(10, 10);
    ArtHeader header;
    ArtSketchSource source(sketch);
    ASSERT_EQ(writeArtFile(&source, &header, nullptr, path("doc.art"), 0), ART_OK);
    std::vector<uint8_t> bytes = readBytes(path("doc.art"));
    for (size_t i = bytes.size() - 20; i < bytes.size(); ++i) bytes[i] ^= 0x5A;
    writeBytes(path("doc.art"), bytes);
    ArtSketchSink sink(system);
    ArtReadResult result = readArtFile(path("doc.art"), sink);
    EXPECT_EQ(result.status, ArtReadStatus::BlobRejected);
    EXPECT_NE(result.engineError, 0);
    EXPECT_EQ(sink.takeSketch(), nullptr);
}

}  // namespace
