#pragma once

// What the UDP link and the virtual USB link share: a connected datagram socket, read
// without poll in the common case (a blocking receive with a receive time-out), since a
// transaction on loopback is over in tens of microseconds and every system call shows.

#include <sys/socket.h>

#include "libraries/Link.h"

namespace kv::lib {

class SocketLink : public Link {
  public:
    ~SocketLink() override;
    int PollFd() const override { return fd_; }
    TransmitResult Transmit(const Datagram& datagram, Clock::time_point deadline) override;
    std::optional<Datagram> ReadOne() override;
    std::optional<Datagram> Receive(Clock::time_point until) override;
    // Nothing to do ahead of an exchange: every datagram arrives whole and carries its
    // sequence number, so Exchange drops a stale reply as it reads it, and reading ahead
    // would cost a system call per exchange that nearly always finds nothing.
    void Drain() override {}

  protected:
    // fd: a blocking datagram socket, already connected to the peer.
    explicit SocketLink(int fd) : fd_(fd) {}
    // Whether a datagram from this address is the peer's.
    virtual bool FromPeer(const sockaddr_storage& from, socklen_t length) const = 0;
    // The peer went away (a refused send): true when the link could reach it again.
    virtual bool Reconnect() { return false; }

    int fd_;

  private:
    // One receive; nothing on no data (or a time-out), error in *err (0 when none).
    std::optional<Datagram> ReceiveOnce(int flags, int* err);
    bool SetReceiveTimeout(long long ms);

    long long receiveTimeoutMs_ = -1;
};

}  // namespace kv::lib
