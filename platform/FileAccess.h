#pragma once

// Reading a small file whole and replacing a file's content in one step, by path (UTF-8;
// UTF-16 at the Windows calls): how the settings file and kv3380u's backups reach the
// disk (IniFile).

#include <cstddef>
#include <string>

namespace kv::platform {

enum class FileRead {
    kRead,
    kMissing,     // nothing at the path
    kUnreadable,  // something is there but cannot be read: no permission, not a regular
                  // file, larger than the limit
};

// Reads a regular file of at most maxSize bytes. A FIFO or a device at the path is
// refused without blocking.
FileRead ReadSmallFile(const std::string& path, std::size_t maxSize, std::string& bytes);

// Writes the bytes to a new file beside the target, flushed to the disk, and puts it in
// place of the target in one step, so that a failed save leaves the old file as it was.
// The replacement keeps the permissions (POSIX) or the attributes and security (Windows)
// of the file it replaces. A write-protected file (read-only attribute on Windows) stays
// protected: false. On POSIX a symbolic link is followed, so the file it points at is
// replaced rather than the link.
bool ReplaceFileContent(const std::string& path, const std::string& bytes);

}  // namespace kv::platform
