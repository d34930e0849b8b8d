#include "Paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace paths {
namespace {

std::string homeDir()
{
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) : std::string("/tmp");
}

std::string envOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value == '/' ? std::string(value) : fallback;
}

// Reads XDG_DOCUMENTS_DIR="$HOME/..." from user-dirs.dirs, as xdg-user-dir does.
std::string documentsFromUserDirs()
{
    std::string file = applicationDataDir() + "/user-dirs.dirs";
    FILE* f = std::fopen(file.c_str(), "r");
    if (!f) return {};
    char line[1024];
    std::string result;
    const char key[] = "XDG_DOCUMENTS_DIR=\"";
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, sizeof key - 1) != 0) continue;
        std::string value(line + sizeof key - 1);
        size_t quote = value.find('"');
        if (quote == std::string::npos) break;
        value.resize(quote);
        if (value.rfind("$HOME", 0) == 0) value = homeDir() + value.substr(5);
        if (!value.empty() && value[0] == '/') result = value;
        break;
    }
    std::fclose(f);
    return result;
}

}  // namespace

std::string applicationDataDir() { return envOr("XDG_CONFIG_HOME", homeDir() + "/.config"); }

std::string stateDir() { return envOr("XDG_STATE_HOME", homeDir() + "/.local/state"); }

std::string documentsDir()
{
    std::string dir = envOr("XDG_DOCUMENTS_DIR", "");
    if (dir.empty()) dir = documentsFromUserDirs();
    if (dir.empty()) dir = homeDir() + "/Documents";
    return dir;
}

bool makeDirectories(const std::string& path)
{
    if (path.empty()) return false;
    std::string partial;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        partial = path.substr(0, slash);
        if (!partial.empty()) {
            if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
        start = slash + 1;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string folderOf(const std::string& path)
{
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string fileNameOf(const std::string& path)
{
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace paths
