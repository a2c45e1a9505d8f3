#include "tests/support/CliProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/EmulatorProcess.h"

namespace kv::testing {

CliOutcome RunCli(const std::vector<std::string>& args, const CliRunOptions& options) {
    CliOutcome run;
    int out[2], err[2];
    if (pipe(out) != 0) return run;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return run;
    }
    const std::string program = std::string(KV_BIN_DIR) + "/kv3380u";
    const pid_t pid = fork();
    if (pid == 0) {
        if (!options.stdoutFile) {
            dup2(out[1], STDOUT_FILENO);
        } else if (options.stdoutFile->empty()) {
            close(STDOUT_FILENO);
        } else {
            const int file = open(options.stdoutFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (file < 0) _exit(126);
            dup2(file, STDOUT_FILENO);
            close(file);
        }
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    bool outOpen = true, errOpen = true, watched = !options.watch;
    while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[2] = {{out[0], static_cast<short>(outOpen ? POLLIN : 0), 0},
                         {err[0], static_cast<short>(errOpen ? POLLIN : 0), 0}};
        const int ready = poll(fds, 2, 50);
        if (!watched) watched = options.watch(pid, run);
        if (ready <= 0) continue;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
                continue;
            }
            (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
        }
    }
    if (outOpen || errOpen) kill(pid, SIGKILL);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

SilentPeer::SilentPeer() : address_(EmulatorProcess::TestAddress()) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
    socklen_t length = sizeof local;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    port_ = ntohs(local.sin_port);
}

SilentPeer::~SilentPeer() {
    if (fd_ >= 0) close(fd_);
}

std::size_t SilentPeer::Received() {
    char buffer[2048];
    while (fd_ >= 0 && recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) ++received_;
    return received_;
}

}  // namespace kv::testing
