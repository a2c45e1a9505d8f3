#include "platform/FileAccess.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cwctype>
#include <thread>

#include "platform/SystemWords.h"
#include "platform/win32/Wide.h"

// Codes younger than mingw-w64's headers: a folder where a file was meant, a quota used up.
#ifndef ERROR_DIRECTORY_NOT_SUPPORTED
#define ERROR_DIRECTORY_NOT_SUPPORTED 336L
#endif
#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif

namespace kv::platform {
namespace {

using win32::NativePath;

std::atomic<unsigned> g_tempCounter{0};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    // Closes now; the close's own error counts.
    bool Close() {
        if (h_ == INVALID_HANDLE_VALUE) return true;
        const bool ok = ::CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

  private:
    HANDLE h_;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    const std::size_t n = std::wcslen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::towlower(text[i]) != std::towlower(prefix[i])) return false;
    return true;
}

// A named pipe: opening one connects to its server, so it is looked at by name only.
bool IsPipeName(const std::wstring& native) {
    return StartsWithNoCase(native, L"\\\\.\\pipe\\") || StartsWithNoCase(native, L"\\\\?\\pipe\\");
}

// The device namespace (\\.\C:, \\.\PhysicalDrive0, \\.\COM10).
bool IsDeviceName(const std::wstring& native) {
    return StartsWithNoCase(native, L"\\\\.\\");
}

bool Missing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

PathKind KindOfPath(const std::string& path) {
    if (path.empty()) return PathKind::kAbsent;
    const std::wstring native = NativePath(path);
    if (IsPipeName(native)) {
        // Asks whether the pipe is there without taking an instance of it.
        if (::WaitNamedPipeW(native.c_str(), 1)) return PathKind::kFifo;
        return Missing(::GetLastError()) ? PathKind::kAbsent : PathKind::kFifo;
    }
    const DWORD attributes = ::GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PathKind::kDirectory;
    // No access asked for: enough to learn the type, and nothing a device would act on.
    Handle file(::CreateFileW(native.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Ok()) {
        const DWORD error = ::GetLastError();
        // A file on disk that another program holds without sharing.
        if (attributes != INVALID_FILE_ATTRIBUTES) return PathKind::kRegular;
        return Missing(error) ? PathKind::kAbsent : PathKind::kUnknown;
    }
    switch (::GetFileType(file.Get())) {
        case FILE_TYPE_DISK:
            return IsDeviceName(native) ? PathKind::kBlockDevice : PathKind::kRegular;
        case FILE_TYPE_CHAR:
            return PathKind::kCharDevice;
        case FILE_TYPE_PIPE:
            return PathKind::kFifo;
        default:
            break;
    }
    return PathKind::kOther;
}

FileBytes ReadSmallFile(const std::string& path, std::size_t limit) {
    FileBytes file;
    if (path.empty()) {
        file.status = FileBytes::Status::kMissing;
        file.reason = words::kNoSuchFile;
        return file;
    }
    const std::wstring native = NativePath(path);
    const DWORD attributes = ::GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        file.status = FileBytes::Status::kNotAFile;
        file.reason = words::kIsFolder;
        return file;
    }
    if (IsPipeName(native)) {
        file.status = FileBytes::Status::kNotAFile;
        file.reason = words::kNotARegularFile;
        return file;
    }
    // Shared for writing and deleting too: a file another program holds open (an editor)
    // is still read, as the profile functions would.
    Handle handle(::CreateFileW(native.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Ok()) {
        const DWORD error = ::GetLastError();
        file.status = Missing(error) ? FileBytes::Status::kMissing : FileBytes::Status::kUnreadable;
        file.reason = SystemErrorText(static_cast<int>(error));
        return file;
    }
    // A pipe, a console or a device ("COM1", "NUL") is not waited for.
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK || IsDeviceName(native)) {
        file.status = FileBytes::Status::kNotAFile;
        file.reason = words::kNotARegularFile;
        return file;
    }
    auto tooLarge = [&](unsigned long long size) {
        file.status = FileBytes::Status::kTooLarge;
        file.size = size;
        file.bytes.clear();
        file.reason = words::FileTooLarge(size, limit);
        return file;
    };
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.Get(), &size)) {
        file.reason = SystemErrorText(static_cast<int>(::GetLastError()));
        return file;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > limit)
        return tooLarge(static_cast<unsigned long long>(size.QuadPart));

    // The size may change while it is read: the limit holds for what is read.
    char buffer[8192];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(handle.Get(), buffer, sizeof buffer, &n, nullptr)) {
            file.reason = SystemErrorText(static_cast<int>(::GetLastError()));
            file.bytes.clear();
            return file;
        }
        if (n == 0) break;
        file.bytes.append(buffer, n);
        if (file.bytes.size() > limit) return tooLarge(file.bytes.size());
    }
    file.status = FileBytes::Status::kRead;
    return file;
}

bool ReplaceFileContent(const std::string& path, const std::string& bytes) {
    auto fail = [](DWORD error) {
        ::SetLastError(error);
        return false;
    };
    if (path.empty()) return fail(ERROR_PATH_NOT_FOUND);
    std::wstring target = NativePath(path);
    // A symbolic link is followed to the file it names, which is replaced; the link stays.
    const DWORD own = ::GetFileAttributesW(target.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        Handle named(::CreateFileW(target.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!named.Ok())
            return fail(Missing(::GetLastError()) ? static_cast<DWORD>(kErrorDanglingLink)
                                                  : ::GetLastError());
        wchar_t resolved[32768];
        const DWORD n = ::GetFinalPathNameByHandleW(named.Get(), resolved, 32768, 0);
        if (n == 0 || n >= 32768) return false;
        target.assign(resolved, n);
    }
    const auto slash = target.find_last_of(L"\\");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    const std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
    if (base.empty() || base.back() == L':') return fail(ERROR_INVALID_NAME);

    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
    if (replacing && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return fail(ERROR_DIRECTORY_NOT_SUPPORTED);
    // A write-protected file stays protected, though its folder would let us replace it.
    if (replacing && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return fail(ERROR_ACCESS_DENIED);
    // Its other names would keep the old content: refused rather than cut off.
    if (replacing) {
        Handle old(::CreateFileW(target.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (old.Ok() && ::GetFileInformationByHandle(old.Get(), &info) && info.nNumberOfLinks > 1)
            return fail(static_cast<DWORD>(kErrorHardLinks));
    }

    std::wstring temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder + L"." + base + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
               std::to_wstring(g_tempCounter.fetch_add(1));
        created = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = ::GetLastError();
        if (created == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS &&
            error != ERROR_ALREADY_EXISTS)
            return false;
    }
    Handle file(created);
    if (!file.Ok()) return false;
    bool ok = WriteAll(file.Get(), bytes);
    if (ok) ok = ::FlushFileBuffers(file.Get()) != 0;
    DWORD error = ok ? 0 : ::GetLastError();
    if (!file.Close() && ok) {
        ok = false;
        error = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(temp.c_str());
        return fail(error);
    }

    constexpr DWORD kMove = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!replacing) {
        if (::MoveFileExW(temp.c_str(), target.c_str(), kMove)) return true;
        error = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        return fail(error);
    }
    // ReplaceFileW keeps what the old file had beyond its bytes: attributes, security,
    // its creation time. Where it cannot (another file system), the plain rename with
    // write-through does the same job for the content.
    if (::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                       nullptr))
        return true;
    if (::MoveFileExW(temp.c_str(), target.c_str(), kMove)) return true;
    error = ::GetLastError();
    // Without a backup name, a failed ReplaceFileW may already have removed the old file;
    // the new content then lives on only in the temporary file, which must stay.
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        ::DeleteFileW(temp.c_str());
    return fail(error);
}

std::optional<std::string> WriteIntoStream(const std::string& path, std::string_view bytes,
                                           std::chrono::milliseconds readerWait,
                                           const std::function<bool()>& stop) {
    const std::wstring native = NativePath(path);
    const bool pipe = IsPipeName(native);
    const auto deadline = std::chrono::steady_clock::now() + readerWait;
    HANDLE raw = INVALID_HANDLE_VALUE;
    for (;;) {
        // OPEN_EXISTING: nothing is created, and nothing truncated before the type is known.
        raw = ::CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw != INVALID_HANDLE_VALUE) break;
        const DWORD error = ::GetLastError();
        // A pipe whose server has not yet started, or whose every instance is taken.
        const bool waitable = pipe && (error == ERROR_PIPE_BUSY || error == ERROR_FILE_NOT_FOUND);
        if (!waitable) return SystemErrorText(static_cast<int>(error));
        if (std::chrono::steady_clock::now() >= deadline || (stop && stop()))
            return std::string("rouru nikdo nečte");
        if (error != ERROR_PIPE_BUSY || !::WaitNamedPipeW(native.c_str(), 50))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Handle file(raw);
    const DWORD type = ::GetFileType(file.Get());
    if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE)
        return std::string("není to roura ani zařízení");
    if (!WriteAll(file.Get(), bytes)) return SystemErrorText(static_cast<int>(::GetLastError()));
    if (!file.Close()) return SystemErrorText(static_cast<int>(::GetLastError()));
    return std::nullopt;
}

int LastSystemError() {
    return static_cast<int>(::GetLastError());
}

void ClearSystemError() {
    ::SetLastError(0);
}

std::string SystemErrorText(int code) {
    if (const char* own = OwnReasonText(code)) return own;
    switch (static_cast<DWORD>(code)) {
        case 0:
            return words::kUnknownReason;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
            return words::kNoSuchFile;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return words::kNoPermission;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return words::kDiskFull;
        case ERROR_DISK_QUOTA_EXCEEDED:
            return words::kQuota;
        case ERROR_FILE_TOO_LARGE:
            return words::kFileTooLarge;
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
        case ERROR_CRC:
        case ERROR_IO_DEVICE:
            return words::kInputOutput;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED:
            return words::kReaderGone;
        case ERROR_INVALID_HANDLE:
            return words::kNotOpen;
        case ERROR_DIRECTORY_NOT_SUPPORTED:
            return words::kIsFolder;
        case ERROR_DIRECTORY:
            return words::kNotFolder;
        case ERROR_WRITE_PROTECT:
            return words::kReadOnlyFileSystem;
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
            return words::kNoDevice;
        case ERROR_FILENAME_EXCED_RANGE:
            return words::kPathTooLong;
        case ERROR_CANT_RESOLVE_FILENAME:
            return words::kLinkLoop;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return words::kInUse;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return words::kBadName;
        default:
            break;
    }
    return words::SystemError(code, win32::SystemMessage(static_cast<unsigned long>(code)));
}

}  // namespace kv::platform
