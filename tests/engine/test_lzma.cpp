// The blob's LZMA wrapper: round trips, stream format, framing checks, memory hooks.
#include "GfxLzma.h"
#include "TestAllocator.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> repetitiveBytes(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((i / 7) % 13 + (i % 3));
    return bytes;
}

std::vector<uint8_t> randomBytes(size_t count, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) b = static_cast<uint8_t>(generator());
    return bytes;
}

// Compresses with the wrapper into a std::vector stream (no framing).
std::vector<uint8_t> compressStream(const std::vector<uint8_t>& raw)
{
    GfxAllocator hooks = TestAllocator::hooks();
    std::vector<uint8_t> stream(gfxLzmaCompressBound(raw.size()));
    size_t used = 0;
    EXPECT_TRUE(gfxLzmaCompress(hooks, raw.data(), raw.size(), stream.data(), stream.size(), &used));
    stream.resize(used);
    return stream;
}

std::vector<uint8_t> uncompressStream(const std::vector<uint8_t>& stream, size_t rawBytes, bool* ok)
{
    GfxAllocator hooks = TestAllocator::hooks();
    uint8_t* raw = gfxLzmaUncompress(hooks, stream.data(), stream.size(), rawBytes);
    *ok = raw != nullptr;
    std::vector<uint8_t> result;
    if (raw) result.assign(raw, raw + rawBytes);
    hooks.release(raw);
    return result;
}

std::vector<uint8_t> frame(uint32_t following, uint32_t raw, const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> blob(8 + stream.size());
    gfxWriteLittleEndian32(blob.data(), following);
    gfxWriteLittleEndian32(blob.data() + 4, raw);
    std::copy(stream.begin(), stream.end(), blob.begin() + 8);
    return blob;
}

class LzmaTest : public ::testing::Test {
protected:
    void SetUp() override { TestAllocator::reset(); }
    void TearDown() override { EXPECT_EQ(TestAllocator::liveBlocks, 0) << "a block was not released"; }
};

struct RoundTripCase {
    const char* name;
    std::vector<uint8_t> raw;
};

TEST_F(LzmaTest, BlobRoundTripsEveryKindOfInput)
{
    const RoundTripCase cases[] = {
        {"one byte", {42}},
        {"small text", {'v', 'e', 'l', 'l', 'u', 'm', 'i', 'n'}},
        // Larger than the first output room, so the output buffer has to grow.
        {"3 MB repetitive", repetitiveBytes(3'000'000)},
        {"incompressible", randomBytes(200'000, 7)},
    };
    GfxAllocator hooks = TestAllocator::hooks();
    for (const auto& c : cases) {
        size_t blobBytes = 0;
        uint8_t* blob = gfxBlobCompress(hooks, c.raw.data(), c.raw.size(), &blobBytes);
        ASSERT_NE(blob, nullptr) << c.name;
        EXPECT_EQ(gfxReadLittleEndian32(blob), blobBytes - 4) << c.name;
        EXPECT_EQ(gfxReadLittleEndian32(blob + 4), c.raw.size()) << c.name;
        size_t rawBytes = 0;
        uint8_t* raw = gfxBlobDecompress(hooks, blob, blobBytes, &rawBytes);
        ASSERT_NE(raw, nullptr) << c.name;
        ASSERT_EQ(rawBytes, c.raw.size()) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(raw, raw + rawBytes), c.raw) << c.name;
        hooks.release(raw);
        hooks.release(blob);
    }
    EXPECT_GT(TestAllocator::calls, 0) << "liblzma and the buffers must allocate through the hooks";
}

TEST_F(LzmaTest, StreamIsPlainLzma1WithTheStoredSettingsAndNoEndMarker)
{
    std::vector<uint8_t> raw = repetitiveBytes(100'000);
    std::vector<uint8_t> stream = compressStream(raw);

    // A standard .lzma decoder given the 13-byte header our files leave out (the
    // encoder's properties 5D, 256 KiB dictionary, the size) reads the stream.
    std::vector<uint8_t> alone = {0x5D, 0x00, 0x00, 0x04, 0x00};
    for (int i = 0; i < 8; ++i) alone.push_back(static_cast<uint8_t>(uint64_t{raw.size()} >> (8 * i)));
    alone.insert(alone.end(), stream.begin(), stream.end());
    std::vector<uint8_t> decoded(raw.size());
    uint64_t memlimit = UINT64_MAX;
    size_t inPosition = 0;
    size_t outPosition = 0;
    lzma_stream decoder = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_alone_decoder(&decoder, memlimit), LZMA_OK);
    decoder.next_in = alone.data();
    decoder.avail_in = alone.size();
    decoder.next_out = decoded.data();
    decoder.avail_out = decoded.size();
    lzma_ret result = lzma_code(&decoder, LZMA_FINISH);
    inPosition = alone.size() - decoder.avail_in;
    outPosition = decoded.size() - decoder.avail_out;
    lzma_end(&decoder);
    EXPECT_EQ(result, LZMA_STREAM_END);
    EXPECT_EQ(outPosition, raw.size());
    EXPECT_EQ(inPosition, alone.size()) << "the stream must end where the data ends";
    EXPECT_EQ(decoded, raw);

    // A strict decoder that refuses end markers accepts it too.
    lzma_options_lzma strict{};
    strict.dict_size = 1 << 24;
    strict.lc = 3;
    strict.pb = 2;
    strict.ext_flags = 0;
    lzma_set_ext_size(strict, raw.size());
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &strict}, {LZMA_VLI_UNKNOWN, nullptr}};
    inPosition = outPosition = 0;
    std::fill(decoded.begin(), decoded.end(), 0);
    EXPECT_EQ(lzma_raw_buffer_decode(filters, nullptr, stream.data(), &inPosition, stream.size(),
                                     decoded.data(), &outPosition, decoded.size()),
              LZMA_OK);
    EXPECT_EQ(decoded, raw);
}

TEST_F(LzmaTest, UncompressAcceptsEndMarkerAndTrailingBytes)
{
    std::vector<uint8_t> raw = repetitiveBytes(50'000);

    // The same data written by an encoder that does put an end marker.
    lzma_options_lzma options;
    ASSERT_FALSE(lzma_lzma_preset(&options, 5));
    options.dict_size = GFX_LZMA_DICTIONARY_BYTES;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> marked(gfxLzmaCompressBound(raw.size()));
    size_t used = 0;
    ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, raw.data(), raw.size(), marked.data(), &used,
                                     marked.size()),
              LZMA_OK);
    marked.resize(used);

    std::vector<uint8_t> trailing = compressStream(raw);
    trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE, 0xEF});

    for (const auto* stream : {&marked, &trailing}) {
        bool ok = false;
        EXPECT_EQ(uncompressStream(*stream, raw.size(), &ok), raw);
        EXPECT_TRUE(ok);
    }
}

TEST_F(LzmaTest, DamagedStreamsFail)
{
    std::vector<uint8_t> raw = randomBytes(20'000, 3);
    std::vector<uint8_t> stream = compressStream(raw);
    bool ok = true;

    std::vector<uint8_t> truncated(stream.begin(), stream.begin() + stream.size() / 2);
    uncompressStream(truncated, raw.size(), &ok);
    EXPECT_FALSE(ok) << "a stream that ends early";

    uncompressStream(stream, raw.size() + 1000, &ok);
    EXPECT_FALSE(ok) << "more output asked for than the stream holds";

    std::vector<uint8_t> garbage = randomBytes(5000, 11);
    garbage[0] = 0;  // the range coder's first byte is always 0; make it past that check
    uncompressStream(garbage, 1 << 20, &ok);
    EXPECT_FALSE(ok) << "random bytes";
}

TEST_F(LzmaTest, HeaderIsCheckedBeforeAnythingIsAllocated)
{
    std::vector<uint8_t> stream = compressStream(repetitiveBytes(1000));
    const uint32_t n = static_cast<uint32_t>(stream.size() + 4);
    struct HeaderCase {
        const char* name;
        std::vector<uint8_t> blob;
        size_t available;  // SIZE_MAX: the whole blob
    };
    const HeaderCase cases[] = {
        {"shorter than the header", {1, 2, 3, 4, 5, 6, 7}, SIZE_MAX},
        {"N below 4", frame(3, 1000, stream), SIZE_MAX},
        {"N past the end", frame(n + 1, 1000, stream), SIZE_MAX},
        {"N of 4 GiB", frame(UINT32_MAX, 1000, stream), SIZE_MAX},
        {"blob cut short", frame(n, 1000, stream), stream.size() + 7},
        {"U of zero", frame(n, 0, stream), SIZE_MAX},
        {"U past the limit", frame(n, static_cast<uint32_t>(GFX_BLOB_MAX_RAW_BYTES) + 1, stream), SIZE_MAX},
        {"U of 4 GiB", frame(n, UINT32_MAX, stream), SIZE_MAX},
    };
    GfxAllocator hooks = TestAllocator::hooks();
    for (const auto& c : cases) {
        TestAllocator::reset();
        size_t available = c.available == SIZE_MAX ? c.blob.size() : c.available;
        size_t rawBytes = 123;
        EXPECT_EQ(gfxBlobDecompress(hooks, c.blob.data(), available, &rawBytes), nullptr) << c.name;
        EXPECT_EQ(rawBytes, 0u) << c.name;
        EXPECT_EQ(TestAllocator::calls, 0) << c.name << ": allocated before refusing";
    }
    size_t rawBytes = 0;
    std::vector<uint8_t> good = frame(n, 1000, stream);
    uint8_t* raw = gfxBlobDecompress(hooks, good.data(), good.size(), &rawBytes);
    EXPECT_NE(raw, nullptr) << "the untouched blob still reads";
    hooks.release(raw);
}

TEST_F(LzmaTest, LyingRawSizeCostsLittleMemory)
{
    // A small stream claiming the largest raw size allowed: it must fail without
    // the output ever growing near the claim.
    std::vector<uint8_t> stream = compressStream(randomBytes(4000, 5));
    std::vector<uint8_t> blob =
        frame(static_cast<uint32_t>(stream.size() + 4), static_cast<uint32_t>(GFX_BLOB_MAX_RAW_BYTES), stream);
    GfxAllocator hooks = TestAllocator::hooks();
    size_t rawBytes = 0;
    EXPECT_EQ(gfxBlobDecompress(hooks, blob.data(), blob.size(), &rawBytes), nullptr);
    EXPECT_LT(TestAllocator::peakBytes, int64_t{32} << 20);
}

TEST_F(LzmaTest, FailingHooksGiveNullAndLeakNothing)
{
    std::vector<uint8_t> raw = repetitiveBytes(3'000'000);
    GfxAllocator hooks = TestAllocator::hooks();
    size_t blobBytes = 0;
    uint8_t* blob = gfxBlobCompress(hooks, raw.data(), raw.size(), &blobBytes);
    ASSERT_NE(blob, nullptr);
    std::vector<uint8_t> saved(blob, blob + blobBytes);
    hooks.release(blob);

    // Count the hook calls of a good run, then fail each of them in turn.
    TestAllocator::reset();
    size_t rawBytes = 0;
    hooks.release(gfxBlobDecompress(hooks, saved.data(), saved.size(), &rawBytes));
    const int64_t decodeCalls = TestAllocator::calls;
    TestAllocator::reset();
    hooks.release(gfxBlobCompress(hooks, raw.data(), raw.size(), &blobBytes));
    const int64_t encodeCalls = TestAllocator::calls;
    ASSERT_GT(decodeCalls, 1);
    ASSERT_GT(encodeCalls, 1);

    for (int64_t failing = 0; failing < decodeCalls; ++failing) {
        TestAllocator::reset();
        TestAllocator::failAtCall = failing;
        EXPECT_EQ(gfxBlobDecompress(hooks, saved.data(), saved.size(), &rawBytes), nullptr) << failing;
        EXPECT_EQ(TestAllocator::liveBlocks, 0) << failing;
    }
    // The last encoder call is the trim, whose failure keeps the untrimmed block.
    for (int64_t failing = 0; failing + 1 < encodeCalls; ++failing) {
        TestAllocator::reset();
        TestAllocator::failAtCall = failing;
        EXPECT_EQ(gfxBlobCompress(hooks, raw.data(), raw.size(), &blobBytes), nullptr) << failing;
        EXPECT_EQ(TestAllocator::liveBlocks, 0) << failing;
    }
    TestAllocator::reset();
}

TEST_F(LzmaTest, CompressRefusesWhatNoReaderLoads)
{
    GfxAllocator hooks = TestAllocator::hooks();
    uint8_t byte = 0;
    size_t blobBytes = 1;
    EXPECT_EQ(gfxBlobCompress(hooks, &byte, 0, &blobBytes), nullptr);
    EXPECT_EQ(gfxBlobCompress(hooks, &byte, GFX_BLOB_MAX_RAW_BYTES + 1, &blobBytes), nullptr);
    EXPECT_EQ(blobBytes, 0u);
    EXPECT_EQ(TestAllocator::calls, 0);
}

}  // namespace
