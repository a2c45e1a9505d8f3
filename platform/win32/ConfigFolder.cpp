#include "platform/ConfigFolder.h"

// windows.h first: shlobj.h builds on its types.
// clang-format off
#include <windows.h>
// clang-format on
#include <shlobj.h>

#include <atomic>

#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

using win32::Narrow;
using win32::NativePath;

std::atomic<unsigned> g_probeCounter{0};

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && !IsPathSeparator(folder.back())) folder += kPathSeparator;
    return folder;
}

// "C:\..." or "\\server\share\...": a path that does not depend on the working
// directory or the current drive.
bool IsAbsolute(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
                     (path[1] == L'\\' || path[1] == L'/');
    return drive || unc;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the folder names of a path begin: after "C:\" or after "\\server\share\".
std::size_t RootLength(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':') return 3;
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        std::size_t separators = 0;
        for (std::size_t i = 2; i < path.size(); ++i) {
            if (path[i] == L'\\' && ++separators == 2) return i + 1;
        }
        return path.size();
    }
    return 0;
}

}  // namespace

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string UserConfigFolder() {
    // The variable first, so that a user (or a test) can point the program elsewhere, as
    // XDG_CONFIG_HOME does on Linux; then the folder Windows itself names.
    std::wstring appData(32768, L'\0');
    const DWORD n =
        ::GetEnvironmentVariableW(L"APPDATA", appData.data(), static_cast<DWORD>(appData.size()));
    if (n > 0 && n < appData.size()) {
        appData.resize(n);
        if (IsAbsolute(appData)) return WithSeparator(Narrow(appData));
    }
    wchar_t* known = nullptr;
    std::string folder;
    if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &known) == S_OK &&
        known != nullptr)
        folder = WithSeparator(Narrow(known));
    ::CoTaskMemFree(known);
    return folder;
}

bool FolderWritable(const std::string& folder) {
    const std::wstring path = NativePath(WithSeparator(folder));
    if (folder.empty() || !IsFolder(path)) return false;
    // Windows answers this honestly only by trying: access rights come from ACLs, and
    // the read-only attribute of a folder does not stop anyone writing into it. The
    // program's manifest switches UAC's redirection into the VirtualStore off, so a
    // protected Program Files refuses here rather than pretending.
    const std::wstring probe = path + L".kv-write-probe-" +
                               std::to_wstring(::GetCurrentProcessId()) + L"-" +
                               std::to_wstring(g_probeCounter.fetch_add(1));
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

bool MakeFolders(const std::string& folder) {
    if (folder.empty()) return false;
    std::wstring path = NativePath(folder);
    while (path.size() > RootLength(path) && path.back() == L'\\') path.pop_back();
    if (IsFolder(path)) return true;
    for (std::size_t at = RootLength(path); at <= path.size(); ++at) {
        if (at != path.size() && path[at] != L'\\') continue;
        const std::wstring part = path.substr(0, at);
        if (part.empty() || IsFolder(part)) continue;
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return IsFolder(path);
}

bool FileExists(const std::string& path) {
    return !path.empty() &&
           ::GetFileAttributesW(NativePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace kv::platform
