#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace kv::platform {

bool DynamicLibrary::Load(const std::string& path) {
    Unload();
    // A name without a slash would make dlopen search the library path; the program
    // only ever loads from its own folder, so insist on a path.
    if (path.find('/') == std::string::npos) {
        lastError_ = "not a path: " + path;
        return false;
    }
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* err = dlerror();
        lastError_ = err != nullptr ? err : "dlopen failed";
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
