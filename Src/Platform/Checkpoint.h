// The start-up checkpoint: a small value that survives a crash, so a state file that
// kills the program while it is read is not read again at the next start.
// Stored as four little-endian bytes in the user's state folder.
#pragma once

#include <cstdint>
#include <string>

namespace checkpoint {

// The file that holds the value.
std::string path();
// The stored value, or -1 when the file is missing or not exactly four bytes.
int32_t read();
// Stores `value`; false when it could not be written.
bool write(int32_t value);

}  // namespace checkpoint
