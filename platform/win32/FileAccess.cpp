#include "platform/FileAccess.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

using win32::NativePath;

std::atomic<unsigned> g_tempCounter{0};

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    bool Close() {
        if (h_ == INVALID_HANDLE_VALUE) return true;
        const bool ok = ::CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

  private:
    HANDLE h_;
};

bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

}  // namespace

FileRead ReadSmallFile(const std::string& path, std::size_t maxSize, std::string& bytes) {
    bytes.clear();
    if (path.empty()) return FileRead::kMissing;
    // Shared for writing and deleting too: a file another program holds open (an editor)
    // is still read, as the profile functions would.
    Handle file(::CreateFileW(NativePath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Ok()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? FileRead::kMissing
                   : FileRead::kUnreadable;
    }
    // A pipe, a console or a device ("COM1", "NUL") is no file of settings.
    LARGE_INTEGER size{};
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.Get(), &size) ||
        static_cast<unsigned long long>(size.QuadPart) > maxSize)
        return FileRead::kUnreadable;

    // The size may change while we read, so the cap holds for the bytes actually read.
    char buf[8192];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.Get(), buf, sizeof buf, &n, nullptr)) return FileRead::kUnreadable;
        if (n == 0) break;
        bytes.append(buf, n);
        if (bytes.size() > maxSize) return FileRead::kUnreadable;
    }
    return FileRead::kRead;
}

bool ReplaceFileContent(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    const std::wstring target = NativePath(path);
    const auto slash = target.find_last_of(L"\\");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    const std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
    if (base.empty() || base.back() == L':') return false;

    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
    if (replacing && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    // A write-protected file stays protected, though its folder would let us replace it.
    if (replacing && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;

    std::wstring temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder + L"." + base + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
               std::to_wstring(g_tempCounter.fetch_add(1));
        created = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    Handle file(created);
    if (!file.Ok()) return false;
    bool ok = WriteAll(file.Get(), bytes);
    if (ok) ok = ::FlushFileBuffers(file.Get()) != 0;
    if (!file.Close()) ok = false;
    if (!ok) {
        ::DeleteFileW(temp.c_str());
        return false;
    }

    constexpr DWORD kMove = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!replacing) {
        if (::MoveFileExW(temp.c_str(), target.c_str(), kMove)) return true;
        ::DeleteFileW(temp.c_str());
        return false;
    }
    // ReplaceFileW keeps what the old file had beyond its bytes: attributes, security,
    // its creation time. Where it cannot (another file system), the plain rename with
    // write-through does the same job for the content.
    if (::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                       nullptr))
        return true;
    if (::MoveFileExW(temp.c_str(), target.c_str(), kMove)) return true;
    // Without a backup name, a failed ReplaceFileW may already have removed the old file;
    // the new content then lives on only in the temporary file, which must stay.
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        ::DeleteFileW(temp.c_str());
    return false;
}

}  // namespace kv::platform
