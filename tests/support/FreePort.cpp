#include "tests/support/FreePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kv::testing {

std::uint16_t FreeUdpPort(const std::string& ip, std::uint16_t avoid) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return 0;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        std::uint16_t port = 0;
        socklen_t len = sizeof a;
        if (::inet_pton(AF_INET, ip.c_str(), &a.sin_addr) == 1 &&
            ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            port = ntohs(a.sin_port);
        }
        ::close(fd);
        if (port != 0 && port != avoid) return port;
    }
    return 0;
}

}  // namespace kv::testing
