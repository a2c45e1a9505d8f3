#pragma once

// The virtual USB device: a Unix datagram socket that the module (emulator) binds in the
// per-user device folder as dev-<serial>.sock. The client binds a socket of its own in
// the same folder, so the device has an address to answer to.

#include <cstdint>
#include <memory>
#include <string>

#include "libraries/SocketLink.h"

namespace kv::lib {

class UsbLink final : public SocketLink {
  public:
    // detection 1 opens the device with this serial number; every other value takes the
    // first device found (by name order) that accepts a connection. The utility passes -1
    // when no detection mode is chosen, and then asks for no serial number either, so
    // "not by serial number" is the only reading that matches what it asked for.
    // Returns kOk, kBadParameter (serial text unusable), kDeviceNotFound or kOpenFailed.
    static std::uint32_t Open(std::uint32_t detection, const std::string* serial,
                              std::unique_ptr<Link>& out);

    ~UsbLink() override;

    const std::string& DevicePath() const { return devicePath_; }
    const std::string& ClientPath() const { return clientPath_; }

  private:
    UsbLink(std::unique_ptr<DatagramSocket> socket, std::string clientPath, std::string devicePath)
        : SocketLink(std::move(socket)),
          clientPath_(std::move(clientPath)),
          devicePath_(std::move(devicePath)) {}
    bool FromPeer(const sockaddr_storage& from, socklen_t length) const override;
    bool Reconnect() override;

    std::string clientPath_;
    std::string devicePath_;
};

// A serial number is eight printable ASCII characters without a slash, so that the socket
// name built from it stays inside the device folder.
bool ValidUsbSerial(const std::string& serial);

}  // namespace kv::lib
