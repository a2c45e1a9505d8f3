#pragma once

// A private folder under /tmp per test, file helpers, and a way to run a check
// without root's privileges (permission failures cannot happen to root). Shared by the
// unit, form and end-to-end tests.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

namespace kv::testing {

// A reader still waiting in open() for a writer of the FIFO (because the writer under
// test failed before it opened it) gets its end of file; any other reader is left alone.
inline void ReleaseFifoReader(const std::string& fifo) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
}

class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix = "kv-test") {
        std::string name = "/tmp/" + prefix + "-XXXXXX";
        if (char* made = ::mkdtemp(name.data())) path_ = made;
    }
    ~ScratchFolder() {
        if (path_.empty()) return;
        ::chmod(path_.c_str(), 0700);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::size_t EntryCount() const {
        std::error_code ec;
        auto it = std::filesystem::directory_iterator(path_, ec);
        return ec ? 0
                  : static_cast<std::size_t>(
                        std::distance(it, std::filesystem::directory_iterator()));
    }

  private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the check as the unprivileged user "nobody" when we are root (in a child
// process, since the switch cannot be undone), directly otherwise. nullopt when the
// switch itself failed. The check must not use gtest assertions.
inline std::optional<bool> RunUnprivileged(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return std::nullopt;
    if (WEXITSTATUS(status) == 2) return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

}  // namespace kv::testing
