#include "tests/support/FreePort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <random>

namespace kv::testing {
namespace {

constexpr const char* kRegistry = "/tmp/kv3380u-test-ports";

// The lowest port the system hands out for port 0.
unsigned FirstEphemeralPort() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    unsigned low = 0, high = 0;
    if (range >> low >> high) return low;
    return 32768;
}

bool Bindable(const std::string& ip, std::uint16_t port, int type = SOCK_DGRAM) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    const bool ok = ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr) == 1 &&
                    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Takes the port's lock; the descriptor stays open, so the lock lasts until the process
// ends (whatever way it ends) and no lock file is ever left held.
bool Reserve(std::uint16_t port, int& fd) {
    // Shared by every user: anyone may add a lock file, no one may remove another's.
    if (::mkdir(kRegistry, 0777) == 0) ::chmod(kRegistry, 01777);
    const std::string path = std::string(kRegistry) + "/" + std::to_string(port);
    fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    ::close(fd);
    fd = -1;
    return false;
}

}  // namespace

namespace {

std::uint16_t FreePort(const std::string& ip, std::uint16_t avoid, int type) {
    constexpr unsigned kLowest = 20000;  // above the ports services and our defaults use
    const unsigned end = FirstEphemeralPort();
    if (end <= kLowest + 1000) return 0;
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    static std::mt19937 pick(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<unsigned> ports(kLowest, end - 1);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto port = static_cast<std::uint16_t>(ports(pick));
        int fd = -1;
        if (port == avoid || !Reserve(port, fd)) continue;
        if (Bindable(ip, port, type) && Bindable("127.0.0.1", port, type)) return port;
        ::close(fd);  // someone outside the tests has it: let it go
    }
    return 0;
}

}  // namespace

std::uint16_t FreeUdpPort(const std::string& ip, std::uint16_t avoid) {
    return FreePort(ip, avoid, SOCK_DGRAM);
}

std::uint16_t FreeTcpPort() {
    return FreePort("127.0.0.1", 0, SOCK_STREAM);
}

}  // namespace kv::testing
