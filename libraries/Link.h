#pragma once

// One open path to a module: a connected UDP socket, the client socket of a virtual USB
// device, or a serial line. The exchange logic (Exchange.h) is the same over all of them;
// a link only moves whole datagrams and tells whether one came from its peer.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace kv::lib {

using Clock = std::chrono::steady_clock;
using Datagram = std::vector<std::uint8_t>;

enum class TransmitResult {
    kSent,       // handed to the operating system
    kTransient,  // not sent now, but the peer may come back (refused, buffer full)
    kFailed,     // the link is unusable
};

class Link {
  public:
    virtual ~Link() = default;

    // Descriptor to wait on for incoming data.
    virtual int PollFd() const = 0;
    virtual TransmitResult Transmit(const Datagram& datagram, Clock::time_point deadline) = 0;
    // The next datagram from the peer that is already waiting, without blocking; nothing
    // when none is. Data from anyone else is read and dropped here.
    virtual std::optional<Datagram> ReadOne() = 0;
    // The next datagram from the peer, waiting for it until `until` at the latest; nothing
    // when none came. Returns early on a hang-up or error of the link (the caller decides
    // whether to go on).
    virtual std::optional<Datagram> Receive(Clock::time_point until);
    // Forgets everything received so far (stale replies of earlier requests).
    virtual void Drain();
    // Applies a line speed; only a serial line has one.
    virtual std::uint32_t Configure(std::uint32_t baud);
};

}  // namespace kv::lib
