#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace kv::platform {

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

}  // namespace kv::platform
