#pragma once

// A serial COM port: "COM<n>" in the device folder (the emulator's pseudo-terminal) when
// it is there, else /dev/ttyS<n-1>. Datagrams travel framed (KvWire.h).

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "libraries/KvWire.h"
#include "libraries/Link.h"

namespace kv::lib {

class SerialLink final : public Link {
  public:
    // Returns kOk, kBadParameter (port 0), kDeviceNotFound or kOpenFailed.
    static std::uint32_t Open(std::uint32_t comPort, std::unique_ptr<Link>& out);
    static std::string DevicePathFor(std::uint32_t comPort);

    ~SerialLink() override;
    TransmitResult Transmit(const Datagram& datagram, Clock::time_point deadline) override;
    std::optional<Datagram> ReadOne() override;
    std::optional<Datagram> Receive(Clock::time_point until) override;
    void Drain() override;
    std::uint32_t Configure(std::uint32_t baud) override;

  private:
    explicit SerialLink(int fd) : fd_(fd) {}
    int fd_;
    wire::SerialDeframer deframer_;
    std::deque<Datagram> ready_;
};

}  // namespace kv::lib
