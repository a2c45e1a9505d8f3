#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <climits>
#include <mutex>
#include <vector>

namespace kv::platform {
namespace {

std::mutex g_mutex;
std::string g_override;

std::string ExecutableFolder() {
    std::vector<char> buf(PATH_MAX + 1);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return "./";
        if (static_cast<size_t>(n) < buf.size()) {
            std::string path(buf.data(), static_cast<size_t>(n));
            auto slash = path.rfind('/');
            return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
        }
        buf.resize(buf.size() * 2);
    }
    return "./";
}

}  // namespace

std::string ProgramFolder() {
    std::lock_guard lock(g_mutex);
    if (!g_override.empty()) return g_override;
    static const std::string folder = ExecutableFolder();
    return folder;
}

void SetProgramFolderForTesting(const std::string& folder) {
    std::lock_guard lock(g_mutex);
    g_override = folder;
    if (!g_override.empty() && g_override.back() != '/') g_override += '/';
}

}  // namespace kv::platform
