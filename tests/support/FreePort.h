#pragma once

// UDP ports for the tests' emulators, named before the emulator binds them.

#include <cstdint>
#include <string>

namespace kv::testing {

// A port free on ip and on 127.0.0.1, other than avoid, and reserved for this test
// process until it ends; 0 when none was found within a few attempts.
//   - Free on 127.0.0.1 too: a client of the "LAN" kind (QUDP) sends from the port
//     number it sends to, bound on 127.0.0.1.
//   - Outside the range the system hands out for port 0, so no socket that anything
//     binds meanwhile with port 0 (another test's emulator or client) can take it.
//   - Reserved with a lock file in /tmp/kv3380u-test-ports that this process holds, so
//     tests running side by side never draw the same port.
std::uint16_t FreeUdpPort(const std::string& ip, std::uint16_t avoid = 0);
// A TCP port free on 127.0.0.1 for a server a test starts (Prometheus), reserved alike.
std::uint16_t FreeTcpPort();

}  // namespace kv::testing
