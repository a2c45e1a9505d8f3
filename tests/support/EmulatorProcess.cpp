#include "tests/support/EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/FreePort.h"

namespace kv::testing {

std::string EmulatorProcess::TestAddress() {
    // One address per test process keeps parallel test runs apart; the ports are free
    // ones anyway. Never 127.0.0.1, where the clients live.
    return "127.0.0." + std::to_string(2 + getpid() % 250);
}

EmulatorProcess::EmulatorProcess(const std::string& parent) : address_(TestAddress()) {
    std::string pattern = parent + "/kve2e-XXXXXX";
    if (char* p = mkdtemp(pattern.data())) folder_ = p;
    mkdir(UsbFolder().c_str(), 0700);
}

EmulatorProcess::~EmulatorProcess() {
    Stop();
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

bool EmulatorProcess::Start(const std::vector<std::string>& extra) {
    if (pid_ > 0) Stop();
    std::vector<std::string> args = {"--address",  address_,    "--state",      StatePath(),
                                     "--usb-dir",  UsbFolder(), "--usb-serial", serial_,
                                     "--lifetime", "120"};
    bool ownPort = false, ownVlan = false;
    for (const auto& e : extra) {
        if (e == "--port") ownPort = true;
        if (e == "--vlan-ports") ownVlan = true;
    }
    // Ports reserved for this process rather than "0": a client of the "LAN" kind binds
    // the management port's number on 127.0.0.1, which a port the system picked for the
    // emulator's address need not have free there.
    auto port = [this] { return std::to_string(FreeUdpPort(address_)); };
    if (!ownPort) args.insert(args.end(), {"--port", port()});
    if (!ownVlan) args.insert(args.end(), {"--vlan-ports", port() + "," + port() + "," + port()});
    args.insert(args.end(), extra.begin(), extra.end());

    if (!Launch(args)) return false;
    return WaitForReady(std::chrono::seconds(15));
}

bool EmulatorProcess::Launch(const std::vector<std::string>& given) {
    if (pid_ > 0) Stop();
    std::vector<std::string> args = {std::string(KV_BIN_DIR) + "/kv3380u-emulator", "--lifetime",
                                     "60"};
    args.insert(args.end(), given.begin(), given.end());
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        log_ += "[fixture] pipe failed\n";
        return false;
    }
    const std::string errPath = folder_ + "/stderr.txt";
    pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        log_ += "[fixture] fork failed\n";
        return false;
    }
    if (pid == 0) {
        // A test that dies must not leave its module running.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // Nothing blocked, as a shell starts it: what the emulator blocks is its own doing.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(pipeFds[1], STDOUT_FILENO);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (err >= 0) dup2(err, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    pid_ = pid;
    out_ = pipeFds[0];
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
    pending_.clear();
    usbPath_.clear();
    std::fill(std::begin(ports_), std::end(ports_), 0);
    return true;
}

std::optional<std::string> EmulatorProcess::Line(std::chrono::milliseconds timeout) {
    std::string line;
    if (!ReadLine(line, std::chrono::steady_clock::now() + timeout)) return std::nullopt;
    return line;
}

std::vector<std::string> EmulatorProcess::UntilReady() {
    std::vector<std::string> lines;
    while (auto line = Line()) {
        lines.push_back(*line);
        if (*line == "ready") break;
    }
    return lines;
}

int EmulatorProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

std::string EmulatorProcess::Errors() const {
    std::ifstream err(folder_ + "/stderr.txt");
    std::stringstream s;
    s << err.rdbuf();
    return s.str();
}

void EmulatorProcess::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

bool EmulatorProcess::ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        auto nl = pending_.find('\n');
        if (nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || out_ < 0) return false;
        pollfd pfd{out_, POLLIN, 0};
        int r = poll(&pfd, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char buf[1024];
        ssize_t n = read(out_, buf, sizeof buf);
        if (n > 0) {
            pending_.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return false;  // the emulator closed its output: it has ended
        }
    }
}

void EmulatorProcess::TakeLine(const std::string& line) {
    log_ += line + "\n";
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "udp") {
        std::string where, name;
        in >> where;
        std::getline(in, name);
        auto colon = where.rfind(':');
        if (colon == std::string::npos) return;
        auto port = static_cast<std::uint16_t>(std::atoi(where.c_str() + colon + 1));
        if (name == " remote management")
            ports_[0] = port;
        else if (name == " vlan1")
            ports_[1] = port;
        else if (name == " vlan2")
            ports_[2] = port;
        else if (name == " vlan3")
            ports_[3] = port;
    } else if (word == "usb") {
        in >> usbPath_;
    }
}

bool EmulatorProcess::WaitForReady(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    while (ReadLine(line, deadline)) {
        if (line == "ready") return true;
        TakeLine(line);
    }
    log_ += "[fixture] no \"ready\" in time\n";
    return false;
}

bool EmulatorProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    if (r == pid_) pid_ = -1;
    return false;
}

int EmulatorProcess::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = -1;
    // Bounded: 5 s for a clean end, then it is killed.
    for (int i = 0; i < 500; ++i) {
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (i == 499) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            log_ += "[fixture] emulator ignored SIGTERM\n";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    // What it said as it ended (its request count) is still in the pipe.
    std::string line;
    const auto drain = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (ReadLine(line, drain)) TakeLine(line);
    if (out_ >= 0) close(out_);
    out_ = -1;
    return status;
}

long EmulatorProcess::RequestsAnswered() const {
    const std::string tag = "requests: ";
    const auto at = log_.rfind(tag);
    if (at == std::string::npos) return -1;
    long received = -1;
    long repeated = -1;
    if (std::sscanf(log_.c_str() + at, "requests: %ld received, %ld repeated", &received,
                    &repeated) != 2)
        return -1;
    return received - repeated;
}

std::string EmulatorProcess::Log() const {
    return log_ + Errors();
}

}  // namespace kv::testing
