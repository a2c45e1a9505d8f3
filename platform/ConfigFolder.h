#pragma once

// The user's configuration folder, and whether a folder can be written: where a
// program installed into a folder its user cannot write keeps its settings instead.
// Paths are UTF-8 texts (UTF-16 only at the Windows calls); folders end with the
// separator.

#include <algorithm>
#include <string>

namespace kv::platform {

// Between the folders of a path, and at the end of every folder these functions give.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True for the separator of the system; Windows also takes '/' in a path.
bool IsPathSeparator(char c);

// The path with the system's separators: on Windows every '/' becomes '\\' (a path named
// half one way and half the other reads as a mistake when it is printed); elsewhere it
// stays as it is.
inline std::string NativeSeparators(std::string path) {
    if (kPathSeparator != '/') std::replace(path.begin(), path.end(), '/', kPathSeparator);
    return path;
}

// The file `name` in `folder`, one separator between them.
inline std::string InFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || IsPathSeparator(folder.back())) return folder + name;
    return folder + kPathSeparator + name;
}

// POSIX: $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config (the home
// folder of the user's account when HOME is unset). Windows: the user's roaming
// application data folder (%APPDATA%), where Windows itself would put a program's
// per-user settings. With a trailing separator; empty when none can be named.
std::string UserConfigFolder();

// True when files can be created and renamed in the folder by this process.
bool FolderWritable(const std::string& folder);

// Creates the folder and its missing parents (new ones private to the user, as the
// configuration folder should be); true when it exists afterwards.
bool MakeFolders(const std::string& folder);

bool FileExists(const std::string& path);

}  // namespace kv::platform
