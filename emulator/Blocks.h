#pragma once

// The KV-3380U keeps its LAN settings in five numbered 256-byte configuration blocks:
// 250 remote management, 251..253 the VLAN interfaces, 254 the network parameters.
// Byte 255 of each block makes the 256 bytes sum to 0 modulo 256.

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/ModuleConfig.h"

namespace kv::emu {

constexpr std::uint16_t kRemoteBlock = 250;
constexpr std::uint16_t kFirstVlanBlock = 251;
constexpr std::uint16_t kNetworkBlock = 254;
constexpr std::size_t kBlockCount = 5;
constexpr std::size_t kBlockSize = 256;
constexpr int kVlanCount = 3;

using Block = std::array<std::uint8_t, kBlockSize>;
// Index = block number - 250.
using BlockSet = std::array<Block, kBlockCount>;
using Ip4 = std::array<std::uint8_t, 4>;

constexpr bool IsConfigBlock(unsigned number) {
    return number >= kRemoteBlock && number < kRemoteBlock + kBlockCount;
}

// The value byte 255 must hold for the block to sum to 0.
std::uint8_t BlockChecksum(const Block& block);
bool ChecksumValid(const Block& block);
void Seal(Block& block);

// A table port of 0 or 65535 lets the address in from any port.
constexpr bool PortMatches(std::uint16_t tablePort, std::uint16_t port) {
    return tablePort == 0 || tablePort == 0xFFFF || tablePort == port;
}

struct TableEntry {
    Ip4 ip{};
    std::uint16_t port = 0;
    std::uint8_t access = 0;  // VLAN table only: 0 read and write, 1 read only

    bool Matches(const Ip4& from, std::uint16_t fromPort) const {
        return ip == from && PortMatches(this->port, fromPort);
    }
};

struct RemoteSettings {
    std::uint16_t port = 0;
    std::uint8_t mode = 0;  // 0 disabled, 1 everyone, 2 access table
    std::array<TableEntry, 3> users{};
};

struct VlanSettings {
    std::uint16_t port = 0;
    std::uint8_t mode = 0;  // 0 off, 1 IP validity timer, 2 user table
    std::uint8_t validitySeconds = 0;
    std::uint8_t access = 0;  // timer mode: 1 = read only
    std::array<TableEntry, 3> users{};
};

struct NetworkSettings {
    Ip4 ip{};
    Ip4 mask{};
    Ip4 gateway{};
};

Block EncodeRemoteBlock(const ModuleConfig& config);
Block EncodeVlanBlock(const ModuleConfig& config, int vlan);
Block EncodeNetworkBlock(const ModuleConfig& config);
BlockSet DefaultBlocks();

RemoteSettings DecodeRemote(const Block& block);
VlanSettings DecodeVlan(const Block& block);
NetworkSettings DecodeNetwork(const Block& block);

}  // namespace kv::emu
