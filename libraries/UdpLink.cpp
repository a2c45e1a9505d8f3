#include "libraries/UdpLink.h"

#ifndef _WIN32
#include <arpa/inet.h>
#endif

#include "libraries/KvWire.h"

namespace kv::lib {
namespace {

// The local address the system would send from to reach the target; connecting a UDP
// socket sends nothing, it only picks the route.
bool RouteLocalAddress(const sockaddr_in& target, in_addr& local) {
    const auto probe = DatagramSocket::Open(AF_INET);
    if (!probe) return false;
    if (connect(probe->Handle(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
        return false;
    sockaddr_in name{};
    socklen_t len = sizeof name;
    if (getsockname(probe->Handle(), reinterpret_cast<sockaddr*>(&name), &len) != 0) return false;
    local = name.sin_addr;
    return true;
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

    auto socket = DatagramSocket::Open(AF_INET);
    if (!socket) return wire::kOpenFailed;
    if (sourcePort >= 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (!RouteLocalAddress(target, local.sin_addr)) return wire::kOpenFailed;
        local.sin_port = htons(static_cast<std::uint16_t>(sourcePort));
        if (bind(socket->Handle(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return wire::kOpenFailed;
    }
    // Connected, the system hands us only datagrams from the target's address and port.
    if (connect(socket->Handle(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
        return wire::kOpenFailed;
    out.reset(new UdpLink(std::move(socket), target));
    return wire::kOk;
}

bool UdpLink::FromPeer(const sockaddr_storage& from, socklen_t length) const {
    const auto& in = reinterpret_cast<const sockaddr_in&>(from);
    return length == sizeof(sockaddr_in) && in.sin_family == AF_INET &&
           in.sin_addr.s_addr == peer_.sin_addr.s_addr && in.sin_port == peer_.sin_port;
}

}  // namespace kv::lib
