#pragma once

// A UDP port that is free on a loopback address at the moment of asking.

#include <cstdint>
#include <string>

namespace kv::testing {

// A port the system hands out on ip, other than avoid; 0 when none was found within
// a few attempts.
std::uint16_t FreeUdpPort(const std::string& ip, std::uint16_t avoid = 0);

}  // namespace kv::testing
