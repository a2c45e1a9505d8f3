#pragma once

// The image of the module's configuration, byte for byte as the module keeps it, and its
// defaults. The module emulator keeps the same image, so this stands on its own.

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv {

// An IPv4 address as the module keeps it: four octets, first octet first.
using Ip4 = std::array<std::uint8_t, 4>;

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
    // A user table keeps its three users' addresses octet by octet (all first octets, then
    // all second octets, ...) from `ipTable`, and their ports one after another from
    // `portTable`.
    static constexpr std::size_t UserIp(std::size_t ipTable, int user, int octet) {
        return ipTable + 3 * static_cast<std::size_t>(octet) + static_cast<std::size_t>(user);
    }
    static constexpr std::size_t UserPort(std::size_t portTable, int user) {
        return portTable + 2 * static_cast<std::size_t>(user);
    }

    bool operator==(const ModuleConfig&) const = default;
};

ModuleConfig DefaultModuleConfig();

// The module's three VLAN interfaces, by index 0, 1, 2 (VLAN1..VLAN3).
constexpr int kVlanCount = 3;

// One of the three VLAN interfaces. It is settled where it enters (a menu command, an
// option): anything outside VLAN1..VLAN3 stands for VLAN1, so every holder of one names
// an interface that is there.
class Vlan {
  public:
    constexpr Vlan() = default;
    // By index 0, 1, 2.
    static constexpr Vlan FromIndex(int index) {
        return Vlan(index >= 0 && index < kVlanCount ? index : 0);
    }
    // By the number the operator knows it by: 1, 2, 3.
    static constexpr Vlan FromNumber(int number) {
        return FromIndex(number >= 1 && number <= kVlanCount ? number - 1 : 0);
    }
    constexpr int Index() const { return index_; }
    constexpr int Number() const { return index_ + 1; }
    bool operator==(const Vlan&) const = default;

  private:
    explicit constexpr Vlan(int index) : index_(index) {}
    int index_ = 0;
};

}  // namespace kv
