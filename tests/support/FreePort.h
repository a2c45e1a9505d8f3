#pragma once

// A UDP port that is free on a loopback address at the moment of asking, for a test that
// must name a port before something binds it (a module moved to a new port).

#include <cstdint>
#include <string>

namespace kv::testing {

// A port free on ip, other than avoid; 0 when none was found within a few attempts. It
// lies outside the range the system hands out for port 0, so no socket that anyone binds
// meanwhile with port 0 (an emulator, a client) can take it before the test uses it; it
// is drawn at random, so tests running side by side hardly ever draw the same.
std::uint16_t FreeUdpPort(const std::string& ip, std::uint16_t avoid = 0);

}  // namespace kv::testing
