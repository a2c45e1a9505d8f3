#pragma once

// The module's requests: a function and a peripheral, with the data words each one
// carries. Named here once for the program, and for the emulator that answers them.

#include <cstdint>

namespace kv {

struct Request {
    std::uint8_t function;
    std::uint8_t peripheral;
    bool operator==(const Request&) const = default;
};

// Identification in three parts, each four characters: peripherals 0 and 1 the module's
// name, 2 its version.
inline constexpr std::uint8_t kIdentifyFunction = 200;
constexpr Request IdentifyRequest(std::uint8_t part) {
    return {kIdentifyFunction, part};
}
inline constexpr std::uint8_t kIdentifyParts = 3;

// A configuration block: data words 1 and 2 its number (low byte first); the reply holds
// the block from word 4.
inline constexpr Request kReadBlockRequest{204, 1};
// The module takes the 256 bytes in data words 4..259 ...
inline constexpr Request kTakeBlockRequest{205, 0};
// ... and stores what it took as the block numbered in data words 0 and 1.
inline constexpr Request kStoreBlockRequest{101, 11};

// The module's status, and the status of its three VLAN interfaces.
inline constexpr Request kModuleStatusRequest{204, 100};
inline constexpr Request kVlanStatusRequest{204, 101};

// The module starts afresh with its stored settings.
inline constexpr Request kRestartRequest{101, 255};

}  // namespace kv
