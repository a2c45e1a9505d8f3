#include "platform/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/SystemWords.h"

namespace kv::platform {
namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now; the close's own error counts (a network file system reports late).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

PathKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return PathKind::kRegular;
    if (S_ISFIFO(mode)) return PathKind::kFifo;
    if (S_ISCHR(mode)) return PathKind::kCharDevice;
    if (S_ISBLK(mode)) return PathKind::kBlockDevice;
    if (S_ISDIR(mode)) return PathKind::kDirectory;
    return PathKind::kOther;
}

std::atomic<unsigned> g_tempCounter{0};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

PathKind KindOfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? PathKind::kAbsent : PathKind::kUnknown;
    return KindOfMode(st.st_mode);
}

FileBytes ReadSmallFile(const std::string& path, std::size_t limit) {
    FileBytes file;
    // Non-blocking, so that a FIFO at the path cannot hang the program; it is refused
    // below as not a file.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0) {
        file.status =
            errno == ENOENT ? FileBytes::Status::kMissing : FileBytes::Status::kUnreadable;
        file.reason = SystemErrorText(errno);
        return file;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        file.reason = SystemErrorText(errno);
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.status = FileBytes::Status::kNotAFile;
        file.reason = S_ISDIR(st.st_mode) ? words::kIsFolder : words::kNotARegularFile;
        return file;
    }
    auto tooLarge = [&](unsigned long long size) {
        file.status = FileBytes::Status::kTooLarge;
        file.size = size;
        file.bytes.clear();
        file.reason = words::FileTooLarge(size, limit);
        return file;
    };
    if (static_cast<unsigned long long>(st.st_size) > limit)
        return tooLarge(static_cast<unsigned long long>(st.st_size));

    // The size may change while it is read: the limit holds for what is read.
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            file.reason = SystemErrorText(errno);
            file.bytes.clear();
            return file;
        }
        if (n == 0) break;
        file.bytes.append(buffer, static_cast<std::size_t>(n));
        if (file.bytes.size() > limit) return tooLarge(file.bytes.size());
    }
    file.status = FileBytes::Status::kRead;
    return file;
}

bool ReplaceFileContent(const std::string& path, const std::string& bytes) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }

    // A symbolic link is followed to the file it names, also one that names no file yet:
    // that file is written, and the link stays a link.
    std::string target = path;
    for (int hops = 0;; ++hops) {
        struct stat lst {};
        if (::lstat(target.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) break;
        if (hops == 40) {
            errno = ELOOP;
            return false;
        }
        std::string named(static_cast<std::size_t>(lst.st_size > 0 ? lst.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), named.data(), named.size());
        if (n < 0) return false;
        named.resize(static_cast<std::size_t>(n));
        const auto at = target.rfind('/');
        target = named.front() == '/' || at == std::string::npos ? named
                                                                 : target.substr(0, at + 1) + named;
    }

    const auto slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) {
        errno = EISDIR;  // a name ending in '/'
        return false;
    }

    // The replacement keeps the permissions of the file it replaces; a new file gets
    // the usual ones (0666 less the umask).
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;
    // A write-protected file stays protected: the rename would otherwise replace it
    // merely because its folder is writable.
    if (replacing && ::access(target.c_str(), W_OK) != 0) return false;
    // Its other names would keep the old content: refused rather than cut off.
    if (replacing && S_ISREG(st.st_mode) && st.st_nlink > 1) {
        errno = kErrorHardLinks;
        return false;
    }

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
    // The owner first: changing it may clear the set-user-ID bits that fchmod then sets.
    if (ok && replacing) {
        struct stat created {};
        ok = ::fstat(fd, &created) == 0;
        if (ok && (created.st_uid != st.st_uid || created.st_gid != st.st_gid) &&
            ::fchown(fd, st.st_uid, st.st_gid) != 0) {
            ok = false;
            errno = kErrorOwnerNotKept;
        }
    }
    if (ok && replacing) ok = ::fchmod(fd, mode) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int error = errno;  // the reason, not the clean-up's
        ::unlink(temp.c_str());
        errno = error;
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

std::optional<std::string> WriteIntoStream(const std::string& path, std::string_view bytes,
                                           std::chrono::milliseconds readerWait,
                                           const std::function<bool()>& stop) {
    // Without O_NONBLOCK the open of a FIFO would wait for a reader without end.
    const auto deadline = std::chrono::steady_clock::now() + readerWait;
    int raw = -1;
    for (;;) {
        raw = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (raw >= 0 || errno != ENXIO) break;
        if (std::chrono::steady_clock::now() >= deadline || (stop && stop()))
            return std::string("FIFO nikdo nečte");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (raw < 0) return SystemErrorText(errno);
    Descriptor fd(raw);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return SystemErrorText(errno);
    const PathKind kind = KindOfMode(st.st_mode);
    if (kind != PathKind::kFifo && kind != PathKind::kCharDevice)
        return std::string("není to FIFO ani zařízení");
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return SystemErrorText(errno);
    if (!WriteAll(fd.Get(), bytes)) return SystemErrorText(errno);
    if (!fd.Close()) return SystemErrorText(errno);
    return std::nullopt;
}

int LastSystemError() {
    return errno;
}

void ClearSystemError() {
    errno = 0;
}

std::string SystemErrorText(int code) {
    if (const char* own = OwnReasonText(code)) return own;
    switch (code) {
        case 0:
            return words::kUnknownReason;
        case ENOENT:
            return words::kNoSuchFile;
        case EACCES:
        case EPERM:
            return words::kNoPermission;
        case ENOSPC:
            return words::kDiskFull;
        case EDQUOT:
            return words::kQuota;
        case EFBIG:
            return words::kFileTooLarge;
        case EIO:
            return words::kInputOutput;
        case EPIPE:
            return words::kReaderGone;
        case EBADF:
            return words::kNotOpen;
        case EISDIR:
            return words::kIsFolder;
        case ENOTDIR:
            return words::kNotFolder;
        case EROFS:
            return words::kReadOnlyFileSystem;
        case ENXIO:
            return words::kNoDevice;
        case ENAMETOOLONG:
            return words::kPathTooLong;
        case ELOOP:
            return words::kLinkLoop;
        case ETXTBSY:
            return words::kInUse;
        default:
            break;
    }
    return words::SystemError(code, std::strerror(code));
}

}  // namespace kv::platform
