#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileAccess.h"

namespace kv::platform {
namespace {

// What is wrong with the file itself: not there, not readable, or what its first bytes
// show; empty when nothing is.
std::string FileProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemErrorText(errno);
    struct stat st {};
    char head[4096];
    const bool known = ::fstat(fd, &st) == 0;
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    if (!known || n < 0) return {};
    return LibraryHeaderProblem(std::string_view(head, static_cast<std::size_t>(n)),
                                static_cast<std::uint64_t>(st.st_size));
}

}  // namespace

bool DynamicLibrary::Load(const std::string& path) {
    Unload();
    // A name without a slash would make dlopen search the library path; the program
    // only ever loads from its own folder, so insist on a path.
    if (path.find('/') == std::string::npos) {
        lastError_ = "není to cesta: " + path;
        return false;
    }
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* err = dlerror();
        const std::string problem = FileProblem(path);
        lastError_ = (problem.empty() ? "" : problem + "; ") +
                     "systém hlásí: " + (err != nullptr ? err : "dlopen selhal");
        return false;
    }
    lastError_.clear();
    return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    dlerror();
    return dlsym(handle_, name);
}

void DynamicLibrary::Unload() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace kv::platform
