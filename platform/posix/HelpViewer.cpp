#include "platform/HelpViewer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace kv::platform {
namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

void SleepMs(long ms) {
    timespec pause{0, ms * 1000000L};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// Waits at most `ms` for the child to end; true once it is reaped.
bool ReapWithin(pid_t pid, long ms) {
    for (long waited = 0;; waited += 10) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) return true;
        if (waited >= ms) return false;
        SleepMs(10);
    }
}

}  // namespace

HelpOutcome HelpViewer::Show(const std::string& page, const std::string& startPage) {
    if (Running()) {
        if (Send(ShowCommands(page))) return HelpOutcome::kShown;
        // It went away between the check and the command: start a new one below.
        End();
    }
    if (!Start()) return HelpOutcome::kNoViewer;
    // The viewer keeps the commands until its window is ready. Should it fail at once,
    // the next help command finds it gone and tries again.
    Send(StartCommands(page.empty() ? startPage : page));
    return HelpOutcome::kStarted;
}

bool HelpViewer::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == 0) return true;
    // Ended on its own (the operator closed it, or it failed): reaped now.
    Forget();
    return false;
}

bool HelpViewer::Start() {
    if (!IsExecutableFile(program_)) return false;
    int pair[2] = {-1, -1};
    // A socket rather than a pipe: a command to a viewer that has just ended must fail
    // with an error, not end this program with SIGPIPE (MSG_NOSIGNAL).
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
    // The viewer's chatter does not belong in the utility's terminal.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    // Our own SIGINT and SIGTERM handlers must not carry over: the viewer gets the
    // default actions, so that End's SIGTERM ends it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> args = {program_, "-collectionFile", collection_,
                                     "-enableRemoteControl"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc =
        ::posix_spawn(&pid, program_.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        return false;
    }
    pid_ = pid;
    input_ = pair[0];
    return true;
}

bool HelpViewer::Send(const std::string& line) {
    if (input_ < 0) return false;
    std::size_t sent = 0;
    // A few bytes into an empty socket buffer; the bound only guards a viewer that
    // stopped reading altogether.
    for (int attempt = 0; sent < line.size() && attempt < 100; ++attempt) {
        const ssize_t n =
            ::send(input_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            SleepMs(10);
        } else {
            return false;
        }
    }
    return sent == line.size();
}

void HelpViewer::End() {
    if (pid_ <= 0) return;
    // Assistant has no remote command to quit, and end of input only stops it
    // listening; it ends on SIGTERM like any program.
    ::close(input_);
    input_ = -1;
    ::kill(pid_, SIGTERM);
    if (!ReapWithin(pid_, 3000)) {
        ::kill(pid_, SIGKILL);
        ReapWithin(pid_, 3000);
    }
    Forget();
}

void HelpViewer::Forget() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    pid_ = -1;
}

std::string FindHelpViewer(const std::string& configured) {
    if (IsExecutableFile(configured)) return configured;
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    const std::string dirs = path;
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        // An empty entry or a relative one would search the working directory, which
        // never supplies a program here.
        if (!dir.empty() && dir.front() == '/') {
            const std::string candidate = dir + "/assistant";
            if (IsExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool OpenInBrowser(const std::string& address) {
    const char* standIn = std::getenv(kBrowserVariable);
    const std::string program = standIn != nullptr && *standIn != '\0' ? standIn : "xdg-open";
    // A shell starts the opener in the background and ends at once: the opener is then
    // nobody's child here, and nothing is left to reap however long it runs.
    std::vector<std::string> args = {"sh", "-c", "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &",
                                     program, address};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace kv::platform
