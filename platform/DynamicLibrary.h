#pragma once

// Loading a shared library by path, looking up entry points by name, unloading.
// Stands in for LoadLibrary/GetProcAddress/FreeLibrary.

#include <string>

namespace kv::platform {

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Unload(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the file at exactly this path; a bare name is never searched for.
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
