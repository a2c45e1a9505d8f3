#pragma once

// The image of the module's configuration, byte for byte as the module keeps it, and its
// defaults. The module emulator keeps the same image, so this stands on its own.

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv {

// The 120-byte image of the module's configuration, byte for byte as the module keeps it.
struct ModuleConfig {
    static constexpr std::size_t kSize = 120;
    static constexpr std::size_t kAddress = 0;    // module RS-485 address
    static constexpr std::size_t kSpeedCode = 1;  // position in the speed list
    static constexpr std::size_t kIpAddress = 2;  // 4 octets, first first
    static constexpr std::size_t kNetMask = 6;    // 4 octets
    static constexpr std::size_t kGateway = 10;   // 4 octets
    static constexpr std::size_t kVlan = 14;      // three VLAN records of kVlanSize bytes
    static constexpr std::size_t kVlanSize = 28;
    static constexpr std::size_t kRemote = 98;  // remote management record, 22 bytes

    // Offsets within a VLAN record.
    static constexpr std::size_t kVlanPort = 0;  // 2 bytes, low first
    static constexpr std::size_t kVlanMode = 2;
    static constexpr std::size_t kVlanValidity = 3;   // seconds
    static constexpr std::size_t kVlanAccess = 4;     // 0 read/write, 1 read only
    static constexpr std::size_t kVlanUserIp = 5;     // octet k of user u at 5 + 3k + u
    static constexpr std::size_t kVlanUserPort = 18;  // 2 bytes per user
    static constexpr std::size_t kVlanUserAccess = 24;

    // Offsets within the remote management record.
    static constexpr std::size_t kRemotePort = 0;  // 2 bytes, low first
    static constexpr std::size_t kRemoteMode = 2;
    static constexpr std::size_t kRemoteUserIp = 3;     // octet k of user u at 3 + 3k + u
    static constexpr std::size_t kRemoteUserPort = 16;  // 2 bytes per user

    std::array<std::uint8_t, kSize> bytes{};

    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
    }
    void SetU16(std::size_t offset, std::uint16_t value) {
        bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    static constexpr std::size_t VlanOffset(int v) {
        return kVlan + kVlanSize * static_cast<std::size_t>(v);
    }

    bool operator==(const ModuleConfig&) const = default;
};

ModuleConfig DefaultModuleConfig();

// The module's three VLAN interfaces, by index 0, 1, 2 (VLAN1..VLAN3).
constexpr int kVlanCount = 3;
// The index a window or a decoder works with: anything outside 0..2 stands for VLAN1.
constexpr int SettleVlanIndex(int vlan) {
    return vlan >= 0 && vlan < kVlanCount ? vlan : 0;
}

}  // namespace kv
