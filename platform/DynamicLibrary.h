#pragma once

// Loading a shared library by path, looking up entry points by name, unloading:
// LoadLibraryExW/GetProcAddress/FreeLibrary on Windows, dlopen/dlsym/dlclose elsewhere.

#include <cstdint>
#include <string>
#include <string_view>

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
    // Why the last Load failed, in words: what the file's own bytes show to be wrong
    // with it (none there, empty, no library, one for another system or processor), then
    // the system's reason as the system words it ("systém hlásí: ...").
    const std::string& LastError() const { return lastError_; }

  private:
    void* handle_ = nullptr;
    std::string lastError_;
};

// What the first bytes of a file (`head`, at most a few KiB of a file of `size` bytes) show
// to be wrong with it as a library for this program: empty, not a library at all (neither
// a Windows DLL nor a shared object of Linux), a library of the other system, or one built
// for another processor ("knihovna je pro 64bitová Windows (x64), program pro 32bitová
// Windows (x86)"). Empty when they show nothing wrong.
std::string LibraryHeaderProblem(std::string_view head, std::uint64_t size);

}  // namespace kv::platform
