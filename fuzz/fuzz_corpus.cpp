// Writes the seed corpus of the fuzz targets: small valid .art files of every
// header kind, with and without pins, in both blob formats.
#include "ArtFile.h"
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_corpus FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    std::vector<uint8_t> raw = {2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
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
            std::string path = folder + "/container-f" + std::to_string(format) + "-p" + std::to_string(pins) + ".art";
            if (writeArtFile(&source, &header, nullptr, path, format) != 0) {
                std::fprintf(stderr, "could not write %s\n", path.c_str());
                return 1;
            }
            ++written;
        }
    }
    std::printf("%d seed files in %s\n", written, folder.c_str());
    return 0;
}
