#include "platform/Listening.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kv::platform {
namespace {

std::string Reason(int error) {
    switch (error) {
        case EADDRINUSE:
            return "port je obsazen (naslouchá na něm jiný program, třeba jiný exportér)";
        case EADDRNOTAVAIL:
            return "adresa nepatří tomuto počítači";
        case EACCES:
            return "port pod 1024 smí otevřít jen správce systému";
        default:
            return std::strerror(error);
    }
}

}  // namespace

ListeningSocket OpenListeningSocket(const std::string& address, int port, int backlog) {
    ListeningSocket result;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        result.error = "„" + address + "“ není IPv4 adresa";
        return result;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.error = Reason(errno);
        return result;
    }
    // A restart may bind while the last run's connections linger; SO_REUSEADDR allows only
    // that on Linux, never two sockets listening on one port. No SO_REUSEPORT, which would.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        result.error = Reason(errno);
        ::close(fd);
        return result;
    }
    result.socket = fd;
    result.port = ntohs(bound.sin_port);
    return result;
}

void CloseListeningSocket(int socket) {
    if (socket >= 0) ::close(socket);
}

}  // namespace kv::platform
