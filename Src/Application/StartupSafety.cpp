#include "StartupSafety.h"

#include "Checkpoint.h"
#include "Paths.h"

bool readStateFileGuarded(const std::string& statePath, const std::function<bool(const std::string&)>& read)
{
    bool readIt = false;
    if (checkpoint::read() != 1) {
        // 1 stays behind if reading the file kills the program.
        checkpoint::write(1);
        if (!paths::isRegularFile(statePath + ".crash")) readIt = read(statePath);
    }
    checkpoint::write(2);
    return readIt;
}
