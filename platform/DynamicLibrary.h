#pragma once

// Loading a shared library by path, looking up entry points by name, unloading:
// LoadLibraryExW/GetProcAddress/FreeLibrary on Windows, dlopen/dlsym/dlclose elsewhere.

#include <string>

namespace kv::platform {

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Unload(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the file at exactly this path; a bare name or a relative path is never
    // searched for (no working directory, no search path, no planted library).
    bool Load(const std::string& path);
    // nullptr when nothing is loaded or the symbol is absent.
    void* Symbol(const char* name) const;
    void Unload();
    bool IsLoaded() const { return handle_ != nullptr; }
    // Text of the last failure, for diagnostics only.
    const std::string& LastError() const { return lastError_; }

  private:
    void* handle_ = nullptr;
    std::string lastError_;
};

}  // namespace kv::platform
