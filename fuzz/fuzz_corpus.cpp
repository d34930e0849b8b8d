// Writes the seed corpus of the fuzz targets: small valid .art files with and
// without pins in both blob formats, and raw blobs of real canvases (every record
// type, images, merged and pasted layers) next to a hand-made one.
#include "ArtFile.h"
#include "GfxBlobFormat.h"
#include "GfxBlobPng.h"
#include "GfxLzma.h"
#include "GlTestContext.h"

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

void stroke(GfxSketch* sketch, float x, float y, int points)
{
    std::vector<GfxSample> samples;
    for (int i = 0; i < points; ++i)
        samples.push_back({x + i * 6.0f, y + static_cast<float>((i * 7) % 5), 0.2f + 0.02f * (i % 30)});
    GfxElementInput input;
    input.sampleCount = 1;
    input.samples = &samples[0];
    gfxBeginElement(sketch, &input);
    input.sampleCount = static_cast<int32_t>(samples.size() - 2);
    input.samples = &samples[1];
    gfxExtendElement(sketch, &input);
    input.sampleCount = 1;
    input.samples = &samples.back();
    gfxEndElement(sketch, &input);
}

void shape(GfxSketch* sketch, int32_t kind, float x, float y)
{
    GfxSample corners[3] = {{x, y, 1}, {x + 30, y + 10, 1}, {x + 10, y + 40, 1}};
    GfxElementInput input;
    input.kind = kind;
    input.rect[0] = x;
    input.rect[1] = y;
    input.rect[2] = 30;
    input.rect[3] = 20;
    input.angle = 15;
    input.sampleCount = 1;
    input.samples = &corners[0];
    gfxBeginElement(sketch, &input);
    input.samples = &corners[1];
    gfxExtendElement(sketch, &input);
    input.samples = &corners[2];
    gfxEndElement(sketch, &input);
}

void image(GfxSketch* sketch, int32_t encoding, const std::vector<uint8_t>& bytes, int width, int height)
{
    GfxElementInput input;
    input.kind = GFX_ELEMENT_IMAGE;
    input.rect[0] = 60;
    input.rect[1] = 60;
    input.rect[2] = 20;
    input.rect[3] = 20;
    input.imageEncoding = encoding;
    input.imageLength = static_cast<int32_t>(bytes.size());
    input.imageWidth = width;
    input.imageHeight = height;
    input.imageData = bytes.data();
    gfxBeginElement(sketch, &input);
    gfxEndElement(sketch, &input);
}

// Real canvases, each a little different.
GfxSketch* canvas(GfxSystem* system, int variant)
{
    GfxSketch* sketch = gfxCreateSketch(system, nullptr);
    gfxSetViewport(sketch, 0, 0, 200, 200);
    gfxAddLayer(sketch, nullptr);
    stroke(sketch, 10, 10, variant == 0 ? 3 : 40);
    if (variant >= 1) {
        for (int32_t kind = GFX_ELEMENT_LINE; kind <= GFX_ELEMENT_ELLIPSE; ++kind) shape(sketch, kind, 20.0f * kind, 100);
        std::vector<uint8_t> rgba(4 * 3 * 2, 0x80);
        image(sketch, GFX_IMAGE_RAW_RGBA, rgba, 3, 2);
        GfxAllocator allocator{seedAllocate, seedRelease, seedResize, 0};
        uint8_t* png = nullptr;
        int32_t length = 0;
        if (gfxEncodePngRgba(allocator, rgba.data(), 3, 2, &png, &length) == GFX_OK) {
            image(sketch, GFX_IMAGE_PNG, std::vector<uint8_t>(png, png + length), 0, 0);
            allocator.release(png);
        }
    }
    if (variant >= 2) {
        GfxGesture zoom;
        zoom.kind = GFX_GESTURE_ZOOM;
        zoom.scaleX = zoom.scaleY = 1.5f;
        gfxBeginViewGesture(sketch, &zoom);
        gfxEndViewGesture(sketch, &zoom);
        gfxAddLayer(sketch, nullptr);
        stroke(sketch, 30, 30, 25);
        gfxMergeLayerDown(sketch);
        gfxCutRegion(sketch, 0, 0, 80, 80);
        gfxPasteClipboard(sketch, 100, 100);
        gfxAddLayer(sketch, nullptr);
        stroke(sketch, 5, 150, 10);
        gfxClearLayer(sketch);
        stroke(sketch, 5, 170, 10);
        gfxUndo(sketch);
    }
    return sketch;
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
    if (!glTestContextMakeCurrent()) {
        std::fprintf(stderr, "no OpenGL context for the canvas seeds\n");
        return 1;
    }
    GfxSystem* system = gfxCreateSystem();
    GfxAllocator allocator{seedAllocate, seedRelease, seedResize, 0};
    for (int variant = 0; variant < 3; ++variant) {
        GfxSketch* sketch = canvas(system, variant);
        for (int32_t format : {0, 1}) {
            const std::string name = "canvas" + std::to_string(variant) + "-f" + std::to_string(format);
            ArtHeader header;
            if (variant == 1) header.pins.push_back(ArtPin{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 5, 0, 1}, "Pin 1"});
            ArtSketchSource source(sketch);
            if (writeArtFile(&source, &header, nullptr, folder + "/art/" + name + ".art", format) != 0) {
                std::fprintf(stderr, "could not write %s\n", name.c_str());
                return 1;
            }
            uint8_t* blob = gfxSerializeSketch(sketch, format);
            size_t rawBytes = 0;
            uint8_t* rawBlob =
                blob ? gfxBlobDecompress(allocator, blob, gfxReadLittleEndian32(blob) + 4, &rawBytes) : nullptr;
            bool stored = rawBlob && writeFile(folder + "/blob/" + name + ".blob", rawBlob, rawBytes);
            allocator.release(rawBlob);
            allocator.release(blob);
            if (!stored) {
                std::fprintf(stderr, "could not write the raw blob of %s\n", name.c_str());
                return 1;
            }
            written += 2;
        }
    }
    gfxDestroySystem(system);
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
