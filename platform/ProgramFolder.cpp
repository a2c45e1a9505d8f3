#include "platform/ProgramFolder.h"

#include <mutex>

#include "platform/ConfigFolder.h"

namespace kv::platform {
namespace {

std::mutex g_mutex;
std::string g_override;

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
    // The folder keeps its own spelling: one named with '/' (which Windows takes too)
    // gets a '/' at its end.
    const bool slashes =
        folder.find('/') != std::string::npos && folder.find('\\') == std::string::npos;
    if (!g_override.empty() && !IsPathSeparator(g_override.back()))
        g_override += slashes ? '/' : kPathSeparator;
}

}  // namespace kv::platform
