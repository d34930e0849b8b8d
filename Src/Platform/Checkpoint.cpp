#include "Checkpoint.h"

#include "Paths.h"

#include <cstdio>

namespace checkpoint {

std::string path() { return paths::stateDir() + "/Tessavo/Checkpoint"; }

int32_t read()
{
    FILE* f = std::fopen(path().c_str(), "rb");
    if (!f) return -1;
    unsigned char bytes[5];
    size_t got = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    if (got != 4) return -1;
    uint32_t value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

bool write(int32_t value)
{
    std::string file = path();
    if (!paths::makeDirectories(paths::folderOf(file).substr(0, paths::folderOf(file).size() - 1))) return false;
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return false;
    uint32_t v = static_cast<uint32_t>(value);
    unsigned char bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    bool ok = std::fwrite(bytes, 1, 4, f) == 4;
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

}  // namespace checkpoint
