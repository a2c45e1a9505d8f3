#pragma once

// One open path to a module: a connected UDP socket, the client socket of a virtual USB
// device, or a serial line. The exchange logic (Exchange.h) is the same over all of them;
// a link only moves whole datagrams and tells whether one came from its peer.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
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

    virtual TransmitResult Transmit(const Datagram& datagram, Clock::time_point deadline) = 0;
    // The next datagram from the peer that is already waiting, without blocking; nothing
    // when none is. Data from anyone else is read and dropped here.
    virtual std::optional<Datagram> ReadOne() = 0;
    // The next datagram from the peer, waiting for it until `until` at the latest; nothing
    // when none came. Returns early on a hang-up or error of the link (the caller decides
    // whether to go on).
    virtual std::optional<Datagram> Receive(Clock::time_point until) = 0;
    // Forgets everything received so far (stale replies of earlier requests).
    virtual void Drain();
    // Applies a line speed; only a serial line has one.
    virtual std::uint32_t Configure(std::uint32_t baud);
};

// The links to devices: the emulator's virtual USB device (a Unix socket; on Windows the
// vendor's QUSBVX.DLL drives the real device and ours finds none, kDeviceNotFound) and a
// serial port (termios; the Windows serial API there). Arguments and codes as
// UsbLink::Open and SerialLink::Open.
std::uint32_t OpenUsbLink(std::uint32_t detection, const std::string* serial,
                          std::unique_ptr<Link>& out);
std::uint32_t OpenSerialLink(std::uint32_t comPort, std::unique_ptr<Link>& out);

}  // namespace kv::lib
