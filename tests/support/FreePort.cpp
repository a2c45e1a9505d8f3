#include "tests/support/FreePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>

namespace kv::testing {
namespace {

// The lowest port the system hands out for port 0.
unsigned FirstEphemeralPort() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    unsigned low = 0, high = 0;
    if (range >> low >> high) return low;
    return 32768;
}

bool Bindable(const std::string& ip, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    const bool ok = ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr) == 1 &&
                    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

std::uint16_t FreeUdpPort(const std::string& ip, std::uint16_t avoid) {
    constexpr unsigned kLowest = 20000;  // above the ports services and our defaults use
    const unsigned end = FirstEphemeralPort();
    if (end <= kLowest + 1000) return 0;
    std::mt19937 pick(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<unsigned> ports(kLowest, end - 1);
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto port = static_cast<std::uint16_t>(ports(pick));
        if (port != avoid && Bindable(ip, port)) return port;
    }
    return 0;
}

}  // namespace kv::testing
