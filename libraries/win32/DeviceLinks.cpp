// Windows has no emulator devices of ours: the virtual USB device and the serial
// pseudo-terminal live on the Linux machine. The vendor's QUSBVX.DLL and QCOM380.DLL
// drive the real devices there; our libraries of those kinds answer honestly that they
// find none.

#include "libraries/KvWire.h"
#include "libraries/Link.h"

namespace kv::lib {

std::uint32_t OpenUsbLink(std::uint32_t detection, const std::string* serial,
                          std::unique_ptr<Link>&) {
    // The parameters are checked as on Linux, so a bad InitBlock says so first.
    if (detection == 1 && (serial == nullptr || serial->empty())) return wire::kBadParameter;
    return wire::kDeviceNotFound;
}

std::uint32_t OpenSerialLink(std::uint32_t comPort, std::unique_ptr<Link>&) {
    if (comPort == 0 || comPort > 65535) return wire::kBadParameter;
    return wire::kDeviceNotFound;
}

}  // namespace kv::lib
