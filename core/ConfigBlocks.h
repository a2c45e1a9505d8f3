#pragma once

// The module's configuration blocks: five numbered blocks of 256 bytes in which it keeps
// its LAN settings, each summing to 0 modulo 256 through its checksum byte 255. Their
// numbers, the checksum and every block's layout are stated here once, with the records
// of the configuration image they hold: the editors read and write the module's blocks
// with them, the backup file checks them, and the module emulator keeps and decodes its
// blocks with them.

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/ModuleConfig.h"

namespace kv {

inline constexpr std::size_t kConfigBlockSize = 256;
using ConfigBlock = std::array<std::uint8_t, kConfigBlockSize>;
// The last byte, which no setting uses.
inline constexpr std::size_t kChecksumByte = kConfigBlockSize - 1;

// The value the checksum byte must hold for the 256 bytes to sum to 0 modulo 256.
std::uint8_t BlockChecksum(const ConfigBlock& block);
bool ChecksumValid(const ConfigBlock& block);
// Sets the checksum byte.
void SealBlock(ConfigBlock& block);

inline constexpr std::uint16_t kRemoteManagementBlock = 250;
inline constexpr std::uint16_t kFirstVlanBlock = 251;  // VLAN1; VLAN2 252, VLAN3 253
inline constexpr std::uint16_t kNetworkParamBlock = 254;
// The blocks run from 250 to 254 without a gap.
inline constexpr std::uint16_t kFirstConfigBlock = kRemoteManagementBlock;
inline constexpr std::size_t kConfigBlockCount = 5;

constexpr bool IsConfigBlock(unsigned number) {
    return number >= kFirstConfigBlock && number < kFirstConfigBlock + kConfigBlockCount;
}
constexpr std::uint16_t VlanBlock(Vlan vlan) {
    return static_cast<std::uint16_t>(kFirstVlanBlock + vlan.Index());
}

// A user of an access table.
struct TableUser {
    Ip4 ip{};
    std::uint16_t port = 0;
    std::uint8_t access = 0;  // VLAN tables only: 0 read and write, 1 read only
    bool operator==(const TableUser&) const = default;
};

inline constexpr int kTableUsers = 3;

// Block 250.
struct RemoteSettings {
    std::uint16_t port = 0;
    std::uint8_t mode = 0;  // 0 disabled, 1 open to everyone, 2 the access table
    std::array<TableUser, kTableUsers> users{};
    bool operator==(const RemoteSettings&) const = default;
};

// Blocks 251 to 253.
struct VlanSettings {
    std::uint16_t port = 0;
    std::uint8_t mode = 0;  // 0 off, 1 IP validity timer, 2 user table
    std::uint8_t validitySeconds = 0;
    std::uint8_t access = 0;  // the interface's right in the timer mode
    std::array<TableUser, kTableUsers> users{};
    bool operator==(const VlanSettings&) const = default;
};

// Block 254.
struct NetworkSettings {
    Ip4 ip{};
    Ip4 mask{};
    Ip4 gateway{};
    bool operator==(const NetworkSettings&) const = default;
};

// A block as the module keeps it: the values in their bytes, every other byte 0, and the
// checksum in byte 255. Decoding takes the values as they stand.
ConfigBlock EncodeRemoteBlock(const RemoteSettings& settings);
RemoteSettings DecodeRemoteBlock(const ConfigBlock& block);
ConfigBlock EncodeVlanBlock(const VlanSettings& settings);
VlanSettings DecodeVlanBlock(const ConfigBlock& block);
ConfigBlock EncodeNetworkBlock(const NetworkSettings& settings);
NetworkSettings DecodeNetworkBlock(const ConfigBlock& block);

// The same settings in the configuration image. Setting them changes nothing else of it.
RemoteSettings RemoteSettingsOf(const ModuleConfig& config);
void SetRemoteSettings(ModuleConfig& config, const RemoteSettings& settings);
VlanSettings VlanSettingsOf(const ModuleConfig& config, Vlan vlan);
void SetVlanSettings(ModuleConfig& config, Vlan vlan, const VlanSettings& settings);
NetworkSettings NetworkSettingsOf(const ModuleConfig& config);
void SetNetworkSettings(ModuleConfig& config, const NetworkSettings& settings);

// Block `number` (250..254) of the configuration image; all zero for any other number.
ConfigBlock ConfigBlockOf(const ModuleConfig& config, std::uint16_t number);

}  // namespace kv
