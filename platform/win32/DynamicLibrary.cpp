#include "platform/DynamicLibrary.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

bool IsFullPath(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    const bool unc = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
    return drive || unc;
}

}  // namespace

bool DynamicLibrary::Load(const std::string& path) {
    Unload();
    const std::wstring native = win32::NativePath(path);
    // A bare name would make Windows search its DLL search path (the working directory
    // among others), where anyone could have planted a library of the same name.
    if (!IsFullPath(native)) {
        lastError_ = "not a full path: " + path;
        return false;
    }
    // A library that fails to load (the wrong architecture, not a library at all, a
    // dependency missing) must not stop the program with a system message box.
    DWORD previousMode = 0;
    const bool quiet =
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode) != 0;
    // The library's own dependencies come from its folder and from System32 only.
    HMODULE module = ::LoadLibraryExW(
        native.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    DWORD error = module == nullptr ? ::GetLastError() : 0;
    if (module == nullptr && error == ERROR_INVALID_PARAMETER) {
        // A Windows without the search flags (Windows 7 before KB2533623): the full path
        // still names the file; its dependencies are looked for beside it first.
        module = ::LoadLibraryExW(native.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        error = module == nullptr ? ::GetLastError() : 0;
    }
    if (quiet) ::SetThreadErrorMode(previousMode, nullptr);
    if (module == nullptr) {
        lastError_ = win32::ErrorMessage(error);
        return false;
    }
    handle_ = module;
    lastError_.clear();
    return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynamicLibrary::Unload() {
    if (handle_ != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace kv::platform
