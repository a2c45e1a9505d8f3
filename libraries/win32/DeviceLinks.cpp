// Windows has no virtual USB device of the emulator's (a Unix socket on the Linux
// machine): the vendor's QUSBVX.DLL drives the real device there, and ours answers
// honestly that it finds none.

#include "libraries/KvWire.h"
#include "libraries/Link.h"

namespace kv::lib {

std::uint32_t OpenUsbLink(std::uint32_t detection, const std::string* serial,
                          std::unique_ptr<Link>&) {
    // The parameters are checked as on Linux, so a bad InitBlock says so first.
    if (detection == 1 && (serial == nullptr || serial->empty())) return wire::kBadParameter;
    return wire::kDeviceNotFound;
}

}  // namespace kv::lib
