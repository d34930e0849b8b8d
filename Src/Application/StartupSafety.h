// Start-up safety around reading the state file: a checkpoint that survives a crash
// and a ".crash" marker beside the file keep a broken state file from crashing
// every start.
#pragma once

#include <functional>
#include <string>

// Runs `read(statePath)` unless the previous start died while reading (checkpoint
// left at 1) or "<statePath>.crash" exists. Leaves the checkpoint at 2 either way.
// Returns true when the file was read successfully; false means "use the defaults".
bool readStateFileGuarded(const std::string& statePath, const std::function<bool(const std::string&)>& read);
