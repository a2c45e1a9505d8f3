#include "platform/DynamicLibrary.h"

#include <windows.h>

#include "platform/FileAccess.h"
#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

bool IsFullPath(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    const bool unc = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
    return drive || unc;
}

// The system's words for a failed load, with the file's name where they say "%1"
// ("%1 is not a valid Win32 application").
std::string SystemReason(DWORD error, const std::wstring& path) {
    std::string words = win32::SystemMessage(error);
    const std::string name = win32::Narrow(path.substr(path.find_last_of(L'\\') + 1));
    for (auto at = words.find("%1"); at != std::string::npos; at = words.find("%1", at))
        words.replace(at, 2, name);
    return "systém hlásí: " + (words.empty() ? "" : words + " ") + "(chyba " +
           std::to_string(error) + ")";
}

// What is wrong with the file itself: not there, not readable, or what its first bytes
// show; empty when nothing is.
std::string FileProblem(const std::wstring& path, DWORD loadError) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return SystemErrorText(static_cast<int>(::GetLastError()));
    LARGE_INTEGER size{};
    char head[4096];
    DWORD read = 0;
    const bool ok =
        ::GetFileSizeEx(file, &size) && ::ReadFile(file, head, sizeof head, &read, nullptr);
    ::CloseHandle(file);
    if (!ok) return {};
    std::string problem = LibraryHeaderProblem(std::string_view(head, read),
                                               static_cast<std::uint64_t>(size.QuadPart));
    // The file is a library of this system, and still the system did not find a module:
    // one that it needs.
    if (problem.empty() && (loadError == ERROR_MOD_NOT_FOUND || loadError == ERROR_PROC_NOT_FOUND))
        problem = "chybí knihovna, kterou potřebuje, nebo funkce v ní";
    return problem;
}

}  // namespace

bool DynamicLibrary::Load(const std::string& path) {
    Unload();
    const std::wstring native = win32::NativePath(path);
    // A bare name would make Windows search its DLL search path (the working directory
    // among others), where anyone could have planted a library of the same name.
    if (!IsFullPath(native)) {
        lastError_ = "není to úplná cesta: " + path;
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
        const std::string problem = FileProblem(native, error);
        lastError_ = (problem.empty() ? "" : problem + "; ") + SystemReason(error, native);
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
