// Generates the images Vellumin ships: the paper textures and the pictures of the
// Qt resource bundle. Run by the build: generate_resources <output folder>.
//
// Papers are procedural grain: a few octaves of value noise, each paper with its own
// seed, scale, fibre direction and tone, written as JPEG (the paper loader takes JPEG).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
// libjpeg's header needs size_t and FILE declared first.
#include <jpeglib.h>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int kPaperSize = 512;
constexpr int kPaperCount = 19;

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Tileable value noise at one lattice period.
float valueNoise(float x, float y, int period, uint32_t seed)
{
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    float fx = x - x0, fy = y - y0;
    auto at = [&](int ix, int iy) {
        ix = ((ix % period) + period) % period;
        iy = ((iy % period) + period) % period;
        return (hash(static_cast<uint32_t>(ix), static_cast<uint32_t>(iy), seed) & 0xFFFF) / 65535.0f;
    };
    float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
    float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
    return top + (bottom - top) * sy;
}

std::vector<uint8_t> makePaper(int number)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(kPaperSize) * kPaperSize * 3);
    uint32_t seed = static_cast<uint32_t>(number) * 7919u;
    int basePeriod = 4 << (number % 4);           // coarse to fine grain
    float fibre = 1.0f + (number % 3) * 0.75f;    // stretch along x: laid fibres
    float contrast = 0.25f + 0.05f * (number % 5);
    // A warm or cool tint per paper, close to white.
    float tint[3] = {1.0f, 0.98f - 0.01f * (number % 3), 0.95f - 0.015f * (number % 4)};
    for (int y = 0; y < kPaperSize; ++y) {
        for (int x = 0; x < kPaperSize; ++x) {
            float value = 0, weight = 0, amplitude = 1;
            int period = basePeriod;
            for (int octave = 0; octave < 5; ++octave) {
                float u = static_cast<float>(x) * period / kPaperSize;
                float v = static_cast<float>(y) * period * fibre / kPaperSize;
                value += amplitude * valueNoise(u, v, period, seed + static_cast<uint32_t>(octave));
                weight += amplitude;
                amplitude *= 0.55f;
                period *= 2;
            }
            value /= weight;
            float grey = 1.0f - contrast * (1.0f - value);
            for (int c = 0; c < 3; ++c) {
                float channel = grey * tint[c] * 255.0f;
                rgb[(static_cast<size_t>(y) * kPaperSize + x) * 3 + c] =
                    static_cast<uint8_t>(channel < 0 ? 0 : channel > 255 ? 255 : channel);
            }
        }
    }
    return rgb;
}

bool writeJpeg(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct info {};
    jpeg_error_mgr error {};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 92, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height)
{
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

// The program's icon: a pencil stroke on a sheet.
std::vector<uint8_t> makeIcon(int size)
{
    std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4, 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            bool sheet = u > 0.12f && u < 0.88f && v > 0.08f && v < 0.92f;
            float curve = 0.5f + 0.25f * std::sin(u * 6.2831853f);
            bool stroke = sheet && std::fabs(v - curve) < 0.05f && u > 0.2f && u < 0.8f;
            if (stroke) { p[0] = 40; p[1] = 40; p[2] = 60; p[3] = 255; }
            else if (sheet) { p[0] = 250; p[1] = 248; p[2] = 240; p[3] = 255; }
        }
    }
    return rgba;
}

bool writeText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return (std::fclose(file) == 0) && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    std::string out = argv[1];
    ::mkdir(out.c_str(), 0755);
    ::mkdir((out + "/Paper").c_str(), 0755);
    ::mkdir((out + "/qrc").c_str(), 0755);

    for (int number = 1; number <= kPaperCount; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, number < 10 ? "/Paper/0%d.jpg" : "/Paper/%d.jpg", number);
        if (!writeJpeg(out + name, makePaper(number), kPaperSize, kPaperSize)) {
            std::fprintf(stderr, "cannot write %s%s\n", out.c_str(), name);
            return 1;
        }
    }
    bool ok = writePng(out + "/qrc/icon.png", makeIcon(64), 64, 64) &&
              writePng(out + "/qrc/icon@2x.png", makeIcon(128), 128, 128) &&
              writeText(out + "/qrc/VelluminResources.qrc",
                        "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n"
                        "  <file>icon.png</file>\n  <file>icon@2x.png</file>\n</qresource>\n</RCC>\n");
    if (!ok) {
        std::fprintf(stderr, "cannot write the resource bundle sources in %s\n", out.c_str());
        return 1;
    }
    return 0;
}
