#pragma once

// What the UDP link and the virtual USB link share: a connected datagram socket, read
// without poll in the common case (a blocking receive with a receive time-out on POSIX),
// since a transaction on loopback is over in tens of microseconds and every system call
// shows.

#include <memory>

#include "libraries/DatagramSocket.h"
#include "libraries/Link.h"

namespace kv::lib {

class SocketLink : public Link {
  public:
    TransmitResult Transmit(const Datagram& datagram, Clock::time_point deadline) override;
    std::optional<Datagram> ReadOne() override;
    std::optional<Datagram> Receive(Clock::time_point until) override;
    // Nothing to do ahead of an exchange: every datagram arrives whole and carries its
    // sequence number, so Exchange drops a stale reply as it reads it, and reading ahead
    // would cost a system call per exchange that nearly always finds nothing.
    void Drain() override {}

  protected:
    // socket: already connected to the peer.
    explicit SocketLink(std::unique_ptr<DatagramSocket> socket) : socket_(std::move(socket)) {}
    // Whether a datagram from this address is the peer's.
    virtual bool FromPeer(const sockaddr_storage& from, socklen_t length) const = 0;
    // The peer went away (a refused send): true when the link could reach it again.
    virtual bool Reconnect() { return false; }

    std::unique_ptr<DatagramSocket> socket_;

  private:
    // One receive; nothing on no data (or a time-out) with the status in *status; an
    // empty datagram for one that is not the peer's (read and dropped).
    std::optional<Datagram> ReceiveOnce(std::chrono::milliseconds wait, SocketStatus* status);
};

}  // namespace kv::lib
