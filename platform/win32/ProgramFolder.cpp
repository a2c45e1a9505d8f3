#include "platform/ProgramFolder.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace kv::platform {

std::string ExecutableFolder() {
    // The name is cut to the buffer without an error code on some systems, so the buffer
    // grows until the whole name fits (long paths reach 32767 characters).
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".\\";
        if (n < path.size() - 1) {
            path.resize(n);
            const auto slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? ".\\" : win32::Narrow(path.substr(0, slash + 1));
        }
        path.resize(path.size() * 2);
    }
    return ".\\";
}

}  // namespace kv::platform
