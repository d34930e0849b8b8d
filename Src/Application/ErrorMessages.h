// The words for every error code the program can stop with.
#pragma once

#include <cstdint>
#include <string>

// File codes beside the engine's (GfxError).
enum : int32_t {
    FILE_ERR_CANNOT_OPEN = 1000,
    FILE_ERR_UNSUPPORTED_FORMAT = 1001,
};

// The message for `code`; every message ends with a line break.
std::string messageFor(int32_t code);
