#pragma once

// The module's two status replies as typed values: what the module status request
// (kModuleStatusRequest) and the VLAN status request (kVlanStatusRequest) answer. The
// reply carries one byte per data word; numbers of several bytes low byte first, an IPv4
// address first octet first, a text one code-page-1250 character per word. Where each
// value stands is stated once, in StatusReplies.cpp: the program reads the module's
// replies with it, and the module emulator writes its replies with it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/ModuleConfig.h"

namespace kv {

// A status reply's data words as bytes: word k's low 8 bits at k.
inline constexpr std::size_t kStatusReplyWords = 300;

struct NetworkAddresses {
    Ip4 ip{};
    Ip4 mask{};
    Ip4 gateway{};
    bool operator==(const NetworkAddresses&) const = default;
};

// One of the last communication errors on the RS-485 side.
struct BusErrorRecord {
    std::uint8_t code = 0;
    std::uint8_t vlan = 0;  // the VLAN interface the request came through, 1..3
    std::uint8_t user = 0;  // its user, 1..3
    std::uint8_t moduleAddress = 0;
    std::uint8_t function = 0;
    std::uint8_t peripheral = 0;
    std::uint8_t command = 0;
    std::uint16_t durationMs = 0;
    std::uint8_t repetitions = 0;
    std::uint32_t timestampMs = 0;
    bool operator==(const BusErrorRecord&) const = default;
};

inline constexpr std::size_t kBusErrorRecords = 5;

struct ModuleStatus {
    std::uint32_t uptimeS = 0;
    std::uint32_t allowedTotal = 0;  // accesses of all interfaces
    std::uint32_t deniedTotal = 0;
    // UTF-8; the module's texts end at a zero byte or at their width (8, 4, 8).
    std::string type;
    std::string version;
    std::string serial;
    std::uint8_t operatingMode = 0;  // 0 working, anything else setup
    NetworkAddresses setup;          // the addresses the setup mode uses
    NetworkAddresses working;        // and those of the working mode
    std::array<std::uint8_t, 6> mac{};
    std::uint32_t busBaudRate = 0;
    std::uint16_t busTimeoutMs = 0;
    std::uint32_t busMessages = 0;
    std::uint32_t busErrors = 0;
    std::array<BusErrorRecord, kBusErrorRecords> errors{};  // newest first
    bool operator==(const ModuleStatus&) const = default;
};

// A user of a VLAN interface: in the timer mode the current client and the two before it,
// in the table mode the table's users.
struct VlanUserStatus {
    Ip4 ip{};
    std::uint16_t port = 0;
    std::uint32_t allowed = 0;
    std::uint32_t lastMessageS = 0;  // time since power-on
    bool operator==(const VlanUserStatus&) const = default;
};

inline constexpr std::size_t kVlanStatusUsers = 3;

// One VLAN interface's record of the VLAN status reply.
struct VlanStatus {
    std::uint16_t port = 0;
    std::uint8_t mode = 0;  // 0 off, 1 IP validity timer, anything else the user table
    std::uint32_t remainingValidityMs = 0;
    std::uint32_t maxValidityMs = 0;
    std::uint32_t allowed = 0;
    std::uint32_t denied = 0;
    Ip4 lastDeniedIp{};
    std::uint16_t lastDeniedPort = 0;
    std::uint32_t lastDeniedTimeS = 0;  // time since power-on
    std::array<VlanUserStatus, kVlanStatusUsers> users{};
    bool operator==(const VlanStatus&) const = default;
};

// Bytes past the end of `reply` read as 0. Words the layout does not name are not read.
ModuleStatus ReadModuleStatus(std::span<const std::uint8_t> reply);
// Only the record of `vlan`.
VlanStatus ReadVlanStatus(std::span<const std::uint8_t> reply, Vlan vlan);

// Writes the values into their words and leaves every other word as it was; a text
// longer than its width is cut, a shorter one ends with zeros.
void WriteModuleStatus(const ModuleStatus& status, std::span<std::uint8_t> reply);
void WriteVlanStatus(const VlanStatus& status, Vlan vlan, std::span<std::uint8_t> reply);

}  // namespace kv
