// Writes the seed corpus of the fuzz targets: small valid .art files of every
// header kind, with and without pins, in both blob formats.
#include "ArtFile.h"
#include "GfxBlobFormat.h"
#include "GfxLzma.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void* seedAllocate(int32_t size, int32_t) { return std::malloc(static_cast<size_t>(size)); }
void seedRelease(void* pointer, int32_t) { std::free(pointer); }
void* seedResize(void* pointer, int32_t size, int32_t) { return std::realloc(pointer, static_cast<size_t>(size)); }

class CompressedSource : public ArtBlobSource {
public:
    explicit CompressedSource(std::vector<uint8_t> raw) : raw_(std::move(raw)) {}
    ~CompressedSource() override { releaseBlob(); }
    int32_t serialize(const ArtRegion*, int32_t, const uint8_t** blob, size_t* blobBytes) override
    {
        blob_ = gfxBlobCompress(allocator_, raw_.data(), raw_.size(), blobBytes);
        *blob = blob_;
        return blob_ ? 0 : 1;
    }
    void releaseBlob() override
    {
        allocator_.release(blob_);
        blob_ = nullptr;
    }

private:
    GfxAllocator allocator_{seedAllocate, seedRelease, seedResize, 0};
    std::vector<uint8_t> raw_;
    uint8_t* blob_ = nullptr;
};

bool writeFile(const std::string& path, const uint8_t* bytes, size_t count)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(bytes, 1, count, file) == count;
    return std::fclose(file) == 0 && written;
}

// A raw blob with two layers in the order, a referenced third, an image and one
// record of every type, in the given version.
std::vector<uint8_t> handMadeRawBlob(int32_t version)
{
    GfxAllocator allocator{seedAllocate, seedRelease, seedResize, 0};
    GfxPool<GfxSample> scratch;
    scratch.create(allocator, 64, 64);
    GfxBlobBuffer b(allocator);
    b.putInt32(version);
    GfxSketchAttributes attributes;
    attributes.currentLayer = 1;
    gfxBlobPutAttributes(&b, attributes);
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    b.putFloats(identity, 16);
    b.putFloat(1);
    b.putInt32(2);
    b.putInt32(0);
    b.putInt32(1);
    b.putInt32(3);
    for (int i = 0; i < 3; ++i) {
        GfxBlobLayer layer;
        std::snprintf(layer.name, sizeof layer.name, "Layer %d", i + 1);
        gfxBlobPutLayer(&b, layer);
    }
    b.putInt32(1);
    b.putInt32(GFX_IMAGE_PNG_STORED);
    b.putInt32(8);
    b.putBytes("\x89PNG\r\n\x1a\n", 8);
    std::vector<GfxSample> stroke;
    for (int i = 0; i < 40; ++i) stroke.push_back({static_cast<float>(i * 3), static_cast<float>(i % 5), 0.5f});
    const int32_t types[] = {51, 52, 53, 54, 1, 2, 3, 4, 5, 6, 7, 13, 14, 12, 15};
    b.putInt32(2 + static_cast<int32_t>(sizeof types / sizeof types[0]));
    b.putInt32(0);
    b.putInt32(8);
    b.putInt32(0);
    b.putInt32(1);
    b.putInt32(8);
    b.putInt32(1);
    for (int32_t type : types) {
        GfxBlobRecord record;
        record.type = type;
        record.points = stroke.data();
        record.pointCount = type == 1 ? 40 : 3;
        record.imageIndex = 0;
        record.layerIndex = type == 12 ? 1 : 2;
        b.putInt32(0);
        gfxBlobPutRecord(&b, record, version, &scratch);
    }
    b.putInt32(1);
    b.putInt32(2);
    b.putInt32(1);
    GfxBlobRecord colour;
    colour.type = 53;
    gfxBlobPutRecord(&b, colour, version, &scratch);
    return std::vector<uint8_t>(b.data(), b.data() + b.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_corpus FOLDER (with art/ and blob/ in it)\n");
        return 2;
    }
    std::string folder = argv[1];
    std::vector<uint8_t> raw = handMadeRawBlob(2);
    int written = 0;
    for (int32_t format : {0, 1}) {
        for (int pins : {0, 2}) {
            ArtHeader header;
            header.layerCounter = 3;
            header.paperIndex = 2;
            for (int i = 0; i < pins; ++i) {
                ArtPin pin;
                pin.name = "Pin " + std::to_string(i + 1);
                pin.view[12] = 10.0f * static_cast<float>(i);
                header.pins.push_back(pin);
            }
            CompressedSource source(raw);
            std::string path = folder + "/art/container-f" + std::to_string(format) + "-p" + std::to_string(pins) + ".art";
            if (writeArtFile(&source, &header, nullptr, path, format) != 0) {
                std::fprintf(stderr, "could not write %s\n", path.c_str());
                return 1;
            }
            ++written;
        }
    }
    for (int32_t version : {2, 3}) {
        std::vector<uint8_t> blob = handMadeRawBlob(version);
        std::string path = folder + "/blob/hand-made-v" + std::to_string(version) + ".blob";
        if (!writeFile(path, blob.data(), blob.size())) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seed files in %s\n", written, folder.c_str());
    return 0;
}
