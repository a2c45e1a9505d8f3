#include "libraries/UdpLink.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "libraries/KvWire.h"

namespace kv::lib {
namespace {

// The local address the system would send from to reach the target; connecting a UDP
// socket sends nothing, it only picks the route.
bool RouteLocalAddress(const sockaddr_in& target, in_addr& local) {
    int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    bool ok = false;
    if (connect(probe, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        sockaddr_in name{};
        socklen_t len = sizeof name;
        if (getsockname(probe, reinterpret_cast<sockaddr*>(&name), &len) == 0) {
            local = name.sin_addr;
            ok = true;
        }
    }
    close(probe);
    return ok;
}

}  // namespace

std::uint32_t UdpLink::Open(const std::string& targetText, std::uint32_t port, long sourcePort,
                            std::unique_ptr<Link>& out) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    // inet_pton takes only the four-decimal dotted form: no "1.2.3", no octal, no blanks.
    if (inet_pton(AF_INET, targetText.c_str(), &target.sin_addr) != 1) return wire::kBadParameter;
    const std::uint32_t host = ntohl(target.sin_addr.s_addr);
    // Neither "any address" nor broadcast names one module.
    if (host == INADDR_ANY || host == INADDR_BROADCAST) return wire::kBadParameter;
    if (port == 0 || port > 65535) return wire::kBadParameter;
    if (sourcePort > 65535) return wire::kBadParameter;
    target.sin_port = htons(static_cast<std::uint16_t>(port));

    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return wire::kOpenFailed;
    if (sourcePort >= 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (!RouteLocalAddress(target, local.sin_addr)) {
            close(fd);
            return wire::kOpenFailed;
        }
        local.sin_port = htons(static_cast<std::uint16_t>(sourcePort));
        if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            close(fd);
            return wire::kOpenFailed;
        }
    }
    // Connected, the kernel hands us only datagrams from the target's address and port.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        close(fd);
        return wire::kOpenFailed;
    }
    out.reset(new UdpLink(fd, target));
    return wire::kOk;
}

UdpLink::~UdpLink() { close(fd_); }

TransmitResult UdpLink::Transmit(const Datagram& datagram, Clock::time_point) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t n = send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(datagram.size())) return TransmitResult::kSent;
        if (n < 0 && errno == EINTR) continue;
        // An earlier ICMP "port unreachable" surfaces here; the module may be restarting
        // onto that port, so keep trying within the time-out.
        if (n < 0 && (errno == ECONNREFUSED || errno == EAGAIN || errno == EWOULDBLOCK ||
                      errno == ENOBUFS || errno == EHOSTUNREACH || errno == ENETUNREACH))
            return TransmitResult::kTransient;
        return TransmitResult::kFailed;
    }
    return TransmitResult::kTransient;
}

std::optional<Datagram> UdpLink::ReadOne() {
    std::uint8_t buf[2048];
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd_, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            if (errno == EINTR || errno == ECONNREFUSED) continue;
            return std::nullopt;
        }
        // The connected socket already filters; the check keeps that promise explicit.
        if (len != sizeof from || from.sin_family != AF_INET ||
            from.sin_addr.s_addr != peer_.sin_addr.s_addr || from.sin_port != peer_.sin_port)
            continue;
        if (static_cast<std::size_t>(n) > sizeof buf) continue;  // truncated: not ours
        return Datagram(buf, buf + n);
    }
    return std::nullopt;
}

}  // namespace kv::lib
