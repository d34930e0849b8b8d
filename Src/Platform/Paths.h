// The user's folders (XDG), and small file-system questions the program asks.
#pragma once

#include <string>

namespace paths {

// $XDG_CONFIG_HOME or ~/.config: where application data lives.
std::string applicationDataDir();
// $XDG_STATE_HOME or ~/.local/state.
std::string stateDir();
// XDG_DOCUMENTS_DIR (environment or ~/.config/user-dirs.dirs), else ~/Documents.
std::string documentsDir();
// Creates every missing folder of `path`; true when it exists afterwards.
bool makeDirectories(const std::string& path);
bool isRegularFile(const std::string& path);
bool fileExists(const std::string& path);
// The folder part of `path` up to and including its last '/' or '\\' ("" when none).
std::string folderOf(const std::string& path);
// The part after the last '/' or '\\'.
std::string fileNameOf(const std::string& path);

}  // namespace paths
