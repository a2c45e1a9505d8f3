#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/FileAccess.h"

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
        file.reason = S_ISDIR(st.st_mode) ? "je to složka" : "není to obyčejný soubor";
        return file;
    }
    auto tooLarge = [&](unsigned long long size) {
        file.status = FileBytes::Status::kTooLarge;
        file.size = size;
        file.bytes.clear();
        file.reason = "soubor má " + std::to_string(size) + " bajtů, víc než " +
                      std::to_string(limit) + " bajtů";
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
    switch (code) {
        case 0:
            return "důvod neznámý";
        case ENOENT:
            return "soubor nebo složka neexistuje";
        case EACCES:
        case EPERM:
            return "chybí oprávnění";
        case ENOSPC:
            return "na disku není místo";
        case EDQUOT:
            return "vyčerpána disková kvóta";
        case EFBIG:
            return "soubor by byl příliš velký";
        case EIO:
            return "chyba vstupu/výstupu";
        case EPIPE:
            return "čtenář výstupu skončil";
        case EBADF:
            return "není otevřen";
        case EISDIR:
            return "je to složka";
        case ENOTDIR:
            return "část cesty není složka";
        case EROFS:
            return "systém souborů je jen pro čtení";
        case ENXIO:
            return "zařízení není připojeno";
        case ENAMETOOLONG:
            return "cesta je příliš dlouhá";
        case ELOOP:
            return "příliš mnoho symbolických odkazů";
        case ETXTBSY:
            return "soubor se právě používá";
        default:
            break;
    }
    return "chyba systému " + std::to_string(code) + " (" + std::strerror(code) + ")";
}

}  // namespace kv::platform
