#include "core/ConfigBlocks.h"

#include "core/ByteLayout.h"

namespace kv {
namespace {

// The blocks keep their users user by user: eight bytes each from byte 16, the four
// octets, the port and, in the VLAN blocks, the access right.
constexpr std::size_t BlockUser(int user) {
    return 16 + 8 * static_cast<std::size_t>(user);
}

template <class Io, class User>
void BlockUserAddress(const Io& io, int u, User& user) {
    io.Bytes(BlockUser(u), user.ip);
    io.U16(BlockUser(u) + 4, user.port);
}

template <class Io, class Settings>
void RemoteBlockLayout(const Io& io, Settings& s) {
    io.U16(0, s.port);
    io.Byte(2, s.mode);
    for (int u = 0; u < kTableUsers; ++u)
        BlockUserAddress(io, u, s.users[static_cast<std::size_t>(u)]);
}

template <class Io, class Settings>
void VlanBlockLayout(const Io& io, Settings& s) {
    io.U16(0, s.port);
    io.Byte(2, s.mode);
    io.Byte(3, s.validitySeconds);
    io.Byte(4, s.access);
    for (int u = 0; u < kTableUsers; ++u) {
        auto& user = s.users[static_cast<std::size_t>(u)];
        BlockUserAddress(io, u, user);
        io.Byte(BlockUser(u) + 6, user.access);
    }
}

// Byte 0 is not used.
template <class Io, class Settings>
void NetworkBlockLayout(const Io& io, Settings& s) {
    io.Bytes(1, s.ip);
    io.Bytes(5, s.mask);
    io.Bytes(9, s.gateway);
}

// The same settings in the configuration image.
template <class Io, class User>
void ImageUserAddress(const Io& io, std::size_t ipTable, std::size_t portTable, int u, User& user) {
    for (int k = 0; k < 4; ++k)
        io.Byte(ModuleConfig::UserIp(ipTable, u, k), user.ip[static_cast<std::size_t>(k)]);
    io.U16(ModuleConfig::UserPort(portTable, u), user.port);
}

template <class Io, class Settings>
void RemoteImageLayout(const Io& io, Settings& s) {
    constexpr std::size_t r = ModuleConfig::kRemote;
    io.U16(r + ModuleConfig::kRemotePort, s.port);
    io.Byte(r + ModuleConfig::kRemoteMode, s.mode);
    for (int u = 0; u < kTableUsers; ++u)
        ImageUserAddress(io, r + ModuleConfig::kRemoteUserIp, r + ModuleConfig::kRemoteUserPort, u,
                         s.users[static_cast<std::size_t>(u)]);
}

template <class Io, class Settings>
void VlanImageLayout(const Io& io, Vlan vlan, Settings& s) {
    const std::size_t r = ModuleConfig::VlanOffset(vlan.Index());
    io.U16(r + ModuleConfig::kVlanPort, s.port);
    io.Byte(r + ModuleConfig::kVlanMode, s.mode);
    io.Byte(r + ModuleConfig::kVlanValidity, s.validitySeconds);
    io.Byte(r + ModuleConfig::kVlanAccess, s.access);
    for (int u = 0; u < kTableUsers; ++u) {
        auto& user = s.users[static_cast<std::size_t>(u)];
        ImageUserAddress(io, r + ModuleConfig::kVlanUserIp, r + ModuleConfig::kVlanUserPort, u,
                         user);
        io.Byte(r + ModuleConfig::kVlanUserAccess + static_cast<std::size_t>(u), user.access);
    }
}

template <class Io, class Settings>
void NetworkImageLayout(const Io& io, Settings& s) {
    io.Bytes(ModuleConfig::kIpAddress, s.ip);
    io.Bytes(ModuleConfig::kNetMask, s.mask);
    io.Bytes(ModuleConfig::kGateway, s.gateway);
}

}  // namespace

std::uint8_t BlockChecksum(const ConfigBlock& block) {
    unsigned sum = 0;
    for (std::size_t k = 0; k < kChecksumByte; ++k) sum += block[k];
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

bool ChecksumValid(const ConfigBlock& block) {
    return block[kChecksumByte] == BlockChecksum(block);
}

void SealBlock(ConfigBlock& block) {
    block[kChecksumByte] = BlockChecksum(block);
}

ConfigBlock EncodeRemoteBlock(const RemoteSettings& settings) {
    ConfigBlock block{};
    RemoteBlockLayout(ByteWriter(block), settings);
    SealBlock(block);
    return block;
}

RemoteSettings DecodeRemoteBlock(const ConfigBlock& block) {
    RemoteSettings settings;
    RemoteBlockLayout(ByteReader(block), settings);
    return settings;
}

ConfigBlock EncodeVlanBlock(const VlanSettings& settings) {
    ConfigBlock block{};
    VlanBlockLayout(ByteWriter(block), settings);
    SealBlock(block);
    return block;
}

VlanSettings DecodeVlanBlock(const ConfigBlock& block) {
    VlanSettings settings;
    VlanBlockLayout(ByteReader(block), settings);
    return settings;
}

ConfigBlock EncodeNetworkBlock(const NetworkSettings& settings) {
    ConfigBlock block{};
    NetworkBlockLayout(ByteWriter(block), settings);
    SealBlock(block);
    return block;
}

NetworkSettings DecodeNetworkBlock(const ConfigBlock& block) {
    NetworkSettings settings;
    NetworkBlockLayout(ByteReader(block), settings);
    return settings;
}

RemoteSettings RemoteSettingsOf(const ModuleConfig& config) {
    RemoteSettings settings;
    RemoteImageLayout(ByteReader(config.bytes), settings);
    return settings;
}

void SetRemoteSettings(ModuleConfig& config, const RemoteSettings& settings) {
    RemoteImageLayout(ByteWriter(config.bytes), settings);
}

VlanSettings VlanSettingsOf(const ModuleConfig& config, Vlan vlan) {
    VlanSettings settings;
    VlanImageLayout(ByteReader(config.bytes), vlan, settings);
    return settings;
}

void SetVlanSettings(ModuleConfig& config, Vlan vlan, const VlanSettings& settings) {
    VlanImageLayout(ByteWriter(config.bytes), vlan, settings);
}

NetworkSettings NetworkSettingsOf(const ModuleConfig& config) {
    NetworkSettings settings;
    NetworkImageLayout(ByteReader(config.bytes), settings);
    return settings;
}

void SetNetworkSettings(ModuleConfig& config, const NetworkSettings& settings) {
    NetworkImageLayout(ByteWriter(config.bytes), settings);
}

ConfigBlock ConfigBlockOf(const ModuleConfig& config, std::uint16_t number) {
    if (number == kRemoteManagementBlock) return EncodeRemoteBlock(RemoteSettingsOf(config));
    if (number == kNetworkParamBlock) return EncodeNetworkBlock(NetworkSettingsOf(config));
    if (IsConfigBlock(number))
        return EncodeVlanBlock(VlanSettingsOf(config, Vlan::FromIndex(number - kFirstVlanBlock)));
    return {};
}

}  // namespace kv
