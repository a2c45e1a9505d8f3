#include "platform/ConfigFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kv::platform {
namespace {

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool IsPathSeparator(char c) {
    return c == '/';
}

std::string UserConfigFolder() {
    // A relative XDG_CONFIG_HOME is invalid and to be ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        return WithSeparator(xdg);
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && h[0] == '/') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid());
               pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/') {
        home = pw->pw_dir;
    }
    if (home.empty()) return {};
    return WithSeparator(home) + ".config/";
}

bool FolderWritable(const std::string& folder) {
    if (folder.empty() || !IsFolder(folder)) return false;
    // Saving writes a file beside the target and renames it over: both need write and
    // search permission on the folder. A read-only file system answers EROFS.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool MakeFolders(const std::string& folder) {
    if (folder.empty()) return false;
    if (IsFolder(folder)) return true;
    std::string path;
    std::size_t start = 0;
    while (start < folder.size()) {
        std::size_t end = folder.find('/', start);
        if (end == std::string::npos) end = folder.size();
        path = folder.substr(0, end);
        if (!path.empty() && !IsFolder(path) && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        start = end + 1;
    }
    return IsFolder(folder);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace kv::platform
