#include "platform/StdStreams.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileAccess.h"
#include "platform/SystemWords.h"

namespace kv::platform {
namespace {

bool g_closed[3] = {false, false, false};

int Fd(StdStream stream) {
    switch (stream) {
        case StdStream::kIn:
            return STDIN_FILENO;
        case StdStream::kOut:
            return STDOUT_FILENO;
        case StdStream::kErr:
            break;
    }
    return STDERR_FILENO;
}

constexpr const char* kClosedText = words::kStreamClosed;

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareStdStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is this one.
        const int stand = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (stand >= 0 && stand != fd) ::close(stand);
        g_closed[fd] = true;
    }
    ::signal(SIGPIPE, SIG_IGN);
}

bool IsTerminal(StdStream stream) {
    return !g_closed[Fd(stream)] && ::isatty(Fd(stream)) == 1;
}

std::optional<std::string> WriteStd(StdStream stream, std::string_view bytes) {
    const int fd = Fd(stream);
    if (g_closed[fd]) return kClosedText;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EBADF ? kClosedText : SystemErrorText(errno);
        }
        if (n == 0) return SystemErrorText(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

std::optional<std::string> ReadStdIn(std::string& bytes, std::size_t limit) {
    bytes.clear();
    if (g_closed[STDIN_FILENO]) return kClosedText;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemErrorText(errno);
        }
        if (n == 0) return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > limit) return words::InputTooLong(limit);
    }
}

std::optional<std::string> FinishStdOut() {
    if (g_closed[STDOUT_FILENO]) return std::nullopt;
    g_closed[STDOUT_FILENO] = true;
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) && ::fsync(STDOUT_FILENO) != 0 &&
        errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(STDOUT_FILENO);
        return SystemErrorText(error);
    }
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR) return SystemErrorText(errno);
    return std::nullopt;
}

}  // namespace kv::platform
