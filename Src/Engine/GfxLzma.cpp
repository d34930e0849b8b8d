#include "GfxLzma.h"

#include <lzma.h>

#include <algorithm>

namespace {

// liblzma's allocations through the system's hooks.
void* lzmaAllocate(void* opaque, size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return static_cast<const GfxAllocator*>(opaque)->allocate(count * size);
}

void lzmaRelease(void* opaque, void* pointer)
{
    static_cast<const GfxAllocator*>(opaque)->release(pointer);
}

lzma_allocator lzmaAllocatorFor(const GfxAllocator& allocator)
{
    return lzma_allocator{lzmaAllocate, lzmaRelease, const_cast<GfxAllocator*>(&allocator)};
}

// First output room while decoding: enough for most blobs in one go, small
// enough that a lying header costs little.
constexpr size_t kFirstOutputRoom = size_t{1} << 20;

}  // namespace

size_t gfxLzmaCompressBound(size_t rawBytes)
{
    return rawBytes + rawBytes / 3 + 128;
}

bool gfxLzmaCompress(const GfxAllocator& allocator, const uint8_t* raw, size_t rawBytes,
                     uint8_t* stream, size_t streamCapacity, size_t* streamBytes)
{
    *streamBytes = 0;
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, GFX_LZMA_LEVEL)) return false;
    options.dict_size = GFX_LZMA_DICTIONARY_BYTES;
    options.lc = GFX_LZMA_LITERAL_CONTEXT_BITS;
    options.lp = GFX_LZMA_LITERAL_POSITION_BITS;
    options.pb = GFX_LZMA_POSITION_BITS;
    options.nice_len = GFX_LZMA_FAST_BYTES;
    options.ext_flags = 0;  // no end marker: the reader knows the size from U
    options.ext_size_low = UINT32_MAX;
    options.ext_size_high = UINT32_MAX;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    lzma_allocator hooks = lzmaAllocatorFor(allocator);
    size_t position = 0;
    if (lzma_raw_buffer_encode(filters, &hooks, raw, rawBytes, stream, &position, streamCapacity) != LZMA_OK)
        return false;
    *streamBytes = position;
    return true;
}

uint8_t* gfxLzmaUncompress(const GfxAllocator& allocator, const uint8_t* stream, size_t streamBytes,
                           size_t rawBytes)
{
    if (rawBytes == 0 || rawBytes > GFX_BLOB_MAX_RAW_BYTES) return nullptr;

    lzma_options_lzma options{};
    // The fixed properties lc 3, lp 0, pb 2. A dictionary larger than the output can
    // never be referenced, so it is capped at the output size: same result, and a
    // small blob does not cost 16 MiB.
    options.dict_size = static_cast<uint32_t>(
        std::clamp<size_t>(rawBytes, LZMA_DICT_SIZE_MIN, GFX_LZMA_DECODER_DICTIONARY_BYTES));
    options.lc = GFX_LZMA_LITERAL_CONTEXT_BITS;
    options.lp = GFX_LZMA_LITERAL_POSITION_BITS;
    options.pb = GFX_LZMA_POSITION_BITS;
    // A stream that does carry an end marker right after the known size is accepted too.
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(options, rawBytes);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    lzma_allocator hooks = lzmaAllocatorFor(allocator);
    lzma_stream decoder = LZMA_STREAM_INIT;
    decoder.allocator = &hooks;
    if (lzma_raw_decoder(&decoder, filters) != LZMA_OK) return nullptr;

    size_t room = std::min(rawBytes, std::max(kFirstOutputRoom, streamBytes * 4));
    auto* raw = static_cast<uint8_t*>(allocator.allocate(room));
    bool finished = false;
    decoder.next_in = stream;
    decoder.avail_in = streamBytes;
    size_t produced = 0;
    while (raw) {
        decoder.next_out = raw + produced;
        decoder.avail_out = room - produced;
        lzma_ret result = lzma_code(&decoder, LZMA_FINISH);
        produced = room - decoder.avail_out;
        if (result == LZMA_STREAM_END) {
            finished = produced == rawBytes;
            break;
        }
        // With LZMA_FINISH, LZMA_OK means the output room is full; anything else
        // (damaged data, input ended early) is a failure.
        if (result != LZMA_OK || decoder.avail_out != 0 || room == rawBytes) break;
        size_t grown = std::min(rawBytes, room * 2);
        auto* larger = static_cast<uint8_t*>(allocator.resize(raw, grown));
        if (!larger) break;
        raw = larger;
        room = grown;
    }
    lzma_end(&decoder);
    if (!finished) {
        allocator.release(raw);
        return nullptr;
    }
    return raw;
}

uint8_t* gfxBlobCompress(const GfxAllocator& allocator, const uint8_t* raw, size_t rawBytes,
                         size_t* blobBytes)
{
    *blobBytes = 0;
    if (rawBytes == 0 || rawBytes > GFX_BLOB_MAX_RAW_BYTES) return nullptr;
    size_t room = GFX_BLOB_HEADER_BYTES + gfxLzmaCompressBound(rawBytes);
    auto* blob = static_cast<uint8_t*>(allocator.allocate(room));
    if (!blob) return nullptr;
    size_t streamBytes = 0;
    if (!gfxLzmaCompress(allocator, raw, rawBytes, blob + GFX_BLOB_HEADER_BYTES,
                         room - GFX_BLOB_HEADER_BYTES, &streamBytes) ||
        streamBytes > INT32_MAX - 4) {
        allocator.release(blob);
        return nullptr;
    }
    gfxWriteLittleEndian32(blob, static_cast<uint32_t>(streamBytes + 4));
    gfxWriteLittleEndian32(blob + 4, static_cast<uint32_t>(rawBytes));
    size_t used = GFX_BLOB_HEADER_BYTES + streamBytes;
    // Trim to the size; a failed trim keeps the larger block, which is still correct.
    if (auto* trimmed = static_cast<uint8_t*>(allocator.resize(blob, used))) blob = trimmed;
    *blobBytes = used;
    return blob;
}

bool gfxBlobReadHeader(const uint8_t* blob, size_t available, size_t* streamBytes, size_t* rawBytes)
{
    *streamBytes = *rawBytes = 0;
    if (!blob || available < GFX_BLOB_HEADER_BYTES) return false;
    uint32_t following = gfxReadLittleEndian32(blob);
    uint32_t raw = gfxReadLittleEndian32(blob + 4);
    if (following < 4 || following > available - 4) return false;
    if (raw == 0 || raw > GFX_BLOB_MAX_RAW_BYTES) return false;
    *streamBytes = following - 4;
    *rawBytes = raw;
    return true;
}

uint8_t* gfxBlobDecompress(const GfxAllocator& allocator, const uint8_t* blob, size_t available,
                           size_t* rawBytes)
{
    *rawBytes = 0;
    size_t streamBytes = 0;
    size_t raw = 0;
    if (!gfxBlobReadHeader(blob, available, &streamBytes, &raw)) return nullptr;
    uint8_t* result = gfxLzmaUncompress(allocator, blob + GFX_BLOB_HEADER_BYTES, streamBytes, raw);
    if (result) *rawBytes = raw;
    return result;
}
