#include "platform/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kv::platform {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

FileRead ReadSmallFile(const std::string& path, std::size_t maxSize, std::string& bytes) {
    bytes.clear();
    // Non-blocking, so that a FIFO left at the path cannot hang the start-up; it is
    // refused below as not a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? FileRead::kMissing : FileRead::kUnreadable;

    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > maxSize) {
        ::close(fd);
        return FileRead::kUnreadable;
    }

    // The size may change while we read, so the cap holds for the bytes actually read.
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return FileRead::kUnreadable;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > maxSize) {
            ::close(fd);
            return FileRead::kUnreadable;
        }
    }
    ::close(fd);
    return FileRead::kRead;
}

bool ReplaceFileContent(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;

    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }

    const auto slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) return false;

    // The replacement keeps the permissions of the file it replaces; a new file gets
    // the usual ones (0666 less the umask).
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;
    // A write-protected file stays protected: the rename would otherwise replace it
    // merely because its folder is writable.
    if (replacing && ::access(target.c_str(), W_OK) != 0) return false;

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (slash == std::string::npos ? std::string() : folder) + "." + base + ".tmp" +
               std::to_string(::getpid()) + "_" + std::to_string(g_tempCounter.fetch_add(1));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = WriteAll(fd, bytes);
    if (ok && replacing) ok = ::fchmod(fd, mode) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }

    // The rename itself lives in the folder; without this a power cut could still bring
    // back the old file. Failing here changes nothing about the file's content.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace kv::platform
