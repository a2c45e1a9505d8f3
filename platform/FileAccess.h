#pragma once

// Files by path (UTF-8; UTF-16 at the Windows calls): what a path names (a regular file, a
// FIFO or pipe, a device), a small file read whole with the reason when it cannot be, a
// file's content replaced in one step (the settings file, kv3380u's backups: IniFile),
// bytes written straight into a FIFO or a device, and the system's error codes in words.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SystemWords.h"

namespace kv::platform {

// What a path names, a symbolic link followed.
enum class PathKind {
    kAbsent,
    kRegular,
    kFifo,         // Windows: a named pipe (\\.\pipe\...) or another pipe
    kCharDevice,   // a terminal, /dev/null; Windows: NUL, CON, COM1 (a file type not on disk)
    kBlockDevice,  // a disk: never written as a file (Windows: \\.\C:, \\.\PhysicalDrive0)
    kDirectory,
    kOther,    // a socket; a file type Windows does not know
    kUnknown,  // a path that cannot be looked at (no permission on its folder, ...)
};
PathKind KindOfPath(const std::string& path);

struct FileBytes {
    enum class Status { kRead, kMissing, kTooLarge, kNotAFile, kUnreadable };
    Status status = Status::kUnreadable;
    std::string bytes;            // kRead: the content
    unsigned long long size = 0;  // kTooLarge: the size found
    std::string reason;           // not kRead: why, in words
};
// Reads a regular file of at most `limit` bytes. A FIFO or a device is not waited for.
FileBytes ReadSmallFile(const std::string& path, std::size_t limit);

// Writes the bytes to a new file beside the target, flushed to the disk, and puts it in
// place of the target in one step, so that a failed save leaves the old file as it was.
// The replacement keeps the owner and the permissions (POSIX) or the attributes and
// security (Windows) of the file it replaces; where it cannot keep the owner it refuses
// (kErrorOwnerNotKept). A file with other hard links is refused (kErrorHardLinks): a new
// file in its place would cut them off. A write-protected file (read-only attribute on
// Windows) stays protected: false. A symbolic link is followed to the file it names, which
// is replaced, or created where it does not exist yet (Windows: refused, kErrorDanglingLink).
// After false, LastSystemError() says why.
bool ReplaceFileContent(const std::string& path, const std::string& bytes);

// Reasons of ReplaceFileContent's own beside the system's codes (on Windows in the range
// the system leaves to programs); SystemErrorText says them in words.
inline constexpr int kErrorHardLinks = 0x20000001;
inline constexpr int kErrorOwnerNotKept = 0x20000002;
inline constexpr int kErrorDanglingLink = 0x20000003;
// The words of those reasons, the same in both halves; nullptr for a system's code.
inline const char* OwnReasonText(int code) {
    switch (code) {
        case kErrorHardLinks:
            return words::kHardLinks;
        case kErrorOwnerNotKept:
            return words::kOwnerNotKept;
        case kErrorDanglingLink:
            return words::kDanglingLink;
        default:
            return nullptr;
    }
}

// Writes the bytes straight into an existing FIFO or character device (on Windows a pipe
// or a device): nothing is created, truncated or renamed. A FIFO nobody reads yet (a
// pipe nobody serves yet, or whose every instance is busy) is waited for up to
// `readerWait`, or until `stop` says so. The reason when it fails.
std::optional<std::string> WriteIntoStream(const std::string& path, std::string_view bytes,
                                           std::chrono::milliseconds readerWait,
                                           const std::function<bool()>& stop = {});

// The last failed system call's code (errno; GetLastError on Windows), 0 after
// ClearSystemError when none has failed.
int LastSystemError();
void ClearSystemError();
// A system error code in words ("na disku není místo"); 0 reads as an unknown reason.
std::string SystemErrorText(int code);

}  // namespace kv::platform
