#pragma once

// UDP to a module: kinds 1 (with a fixed source port), 6 and 7 (any source port).

#ifndef _WIN32
#include <netinet/in.h>
#endif

#include <cstdint>
#include <memory>
#include <string>

#include "libraries/SocketLink.h"

namespace kv::lib {

class UdpLink final : public SocketLink {
  public:
    // Opens a socket connected to target:port. sourcePort < 0 lets the system choose;
    // otherwise that port is bound on the local address the route to the target uses,
    // so a module on another loopback address can use the same port number.
    // Returns kOk, kBadParameter (address or port unusable) or kOpenFailed.
    static std::uint32_t Open(const std::string& targetText, std::uint32_t port, long sourcePort,
                              std::unique_ptr<Link>& out);

  private:
    UdpLink(std::unique_ptr<DatagramSocket> socket, const sockaddr_in& peer)
        : SocketLink(std::move(socket)), peer_(peer) {}
    bool FromPeer(const sockaddr_storage& from, socklen_t length) const override;

    sockaddr_in peer_;
};

}  // namespace kv::lib
