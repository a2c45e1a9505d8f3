#pragma once

// A private folder under the temporary folder per test, file helpers, and a way to run a
// check without root's privileges (permission failures cannot happen to root). Shared by
// the unit, form and end-to-end tests, on Linux and (under wine) on Windows.

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "platform/ConfigFolder.h"

namespace kv::testing {

// A UTF-8 path as the standard library's files take it (UTF-16 on Windows).
inline std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#ifndef _WIN32
// A reader still waiting in open() for a writer of the FIFO (because the writer under
// test failed before it opened it) gets its end of file; any other reader is left alone.
inline void ReleaseFifoReader(const std::string& fifo) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
}
#endif

class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix = "kv-test") {
#ifdef _WIN32
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        std::random_device random;
        for (int attempt = 0; !ec && attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = base / (prefix + "-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) path_ = Utf8Of(candidate);
        }
#else
        std::string name = "/tmp/" + prefix + "-XXXXXX";
        if (char* made = ::mkdtemp(name.data())) path_ = made;
#endif
    }
    ~ScratchFolder() {
        if (path_.empty()) return;
        std::error_code ec;
#ifdef _WIN32
        // Windows deletes no file with the read-only attribute.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(PathOf(path_), ec))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ec);
#else
        ::chmod(path_.c_str(), 0700);
#endif
        std::filesystem::remove_all(PathOf(path_), ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ok() const {
        return !path_.empty();
    }
    const std::string& Path() const {
        return path_;
    }
    const std::string& path() const {
        return path_;
    }
    std::string File(const std::string& name) const {
        return path_ + platform::kPathSeparator + name;
    }
    std::size_t EntryCount() const {
        std::error_code ec;
        auto it = std::filesystem::directory_iterator(PathOf(path_), ec);
        return ec ? 0
                  : static_cast<std::size_t>(
                        std::distance(it, std::filesystem::directory_iterator()));
    }

  private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifndef _WIN32
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
#endif

}  // namespace kv::testing
