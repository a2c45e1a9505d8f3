#pragma once

// Files as a command-line program meets them: what a path names (a regular file, a FIFO,
// a device), a small file read whole with the reason when it cannot be, bytes written
// straight into a FIFO or a device, and the system's error codes in words.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// What a path names, a symbolic link followed.
enum class PathKind {
    kAbsent,
    kRegular,
    kFifo,
    kCharDevice,   // a terminal, /dev/null
    kBlockDevice,  // a disk: never written as a file
    kDirectory,
    kOther,    // a socket
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

// Writes the bytes straight into an existing FIFO or character device: nothing is created,
// truncated or renamed. A FIFO nobody reads yet is waited for up to `readerWait`, or until
// `stop` says so. The reason when it fails.
std::optional<std::string> WriteIntoStream(const std::string& path, std::string_view bytes,
                                           std::chrono::milliseconds readerWait,
                                           const std::function<bool()>& stop = {});

// The last failed system call's code (0 after ClearSystemError when none has failed).
int LastSystemError();
void ClearSystemError();
// A system error code in words ("na disku není místo"); 0 reads as an unknown reason.
std::string SystemErrorText(int code);

}  // namespace kv::platform
