#include "emulator/Blocks.h"

namespace kv::emu {
namespace {

std::uint16_t U16(const Block& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void PutU16(Block& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

Ip4 IpAt(const Block& b, std::size_t at) {
    return {b[at], b[at + 1], b[at + 2], b[at + 3]};
}

// The configuration image keeps its user tables octet by octet (all first octets, then
// all second octets ...), the blocks keep them user by user.
void CopyUserIps(const ModuleConfig& c, std::size_t tableAt, Block& b) {
    for (std::size_t u = 0; u < 3; ++u)
        for (std::size_t k = 0; k < 4; ++k) b[16 + 8 * u + k] = c.bytes[tableAt + 3 * k + u];
}

}  // namespace

std::uint8_t BlockChecksum(const Block& block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < kBlockSize; ++i) sum += block[i];
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

bool ChecksumValid(const Block& block) {
    return block[kBlockSize - 1] == BlockChecksum(block);
}

void Seal(Block& block) {
    block[kBlockSize - 1] = BlockChecksum(block);
}

Block EncodeRemoteBlock(const ModuleConfig& c) {
    Block b{};
    const std::size_t r = ModuleConfig::kRemote;
    PutU16(b, 0, c.U16(r + ModuleConfig::kRemotePort));
    b[2] = c.bytes[r + ModuleConfig::kRemoteMode];
    CopyUserIps(c, r + ModuleConfig::kRemoteUserIp, b);
    for (std::size_t u = 0; u < 3; ++u)
        PutU16(b, 20 + 8 * u, c.U16(r + ModuleConfig::kRemoteUserPort + 2 * u));
    Seal(b);
    return b;
}

Block EncodeVlanBlock(const ModuleConfig& c, int vlan) {
    Block b{};
    const std::size_t r = ModuleConfig::VlanOffset(vlan);
    PutU16(b, 0, c.U16(r + ModuleConfig::kVlanPort));
    b[2] = c.bytes[r + ModuleConfig::kVlanMode];
    b[3] = c.bytes[r + ModuleConfig::kVlanValidity];
    b[4] = c.bytes[r + ModuleConfig::kVlanAccess];
    CopyUserIps(c, r + ModuleConfig::kVlanUserIp, b);
    for (std::size_t u = 0; u < 3; ++u) {
        PutU16(b, 20 + 8 * u, c.U16(r + ModuleConfig::kVlanUserPort + 2 * u));
        b[22 + 8 * u] = c.bytes[r + ModuleConfig::kVlanUserAccess + u];
    }
    Seal(b);
    return b;
}

Block EncodeNetworkBlock(const ModuleConfig& c) {
    Block b{};
    for (std::size_t k = 0; k < 4; ++k) {
        b[1 + k] = c.bytes[ModuleConfig::kIpAddress + k];
        b[5 + k] = c.bytes[ModuleConfig::kNetMask + k];
        b[9 + k] = c.bytes[ModuleConfig::kGateway + k];
    }
    Seal(b);
    return b;
}

BlockSet DefaultBlocks() {
    const ModuleConfig c = DefaultModuleConfig();
    BlockSet set{};
    set[0] = EncodeRemoteBlock(c);
    for (int v = 0; v < kVlanCount; ++v)
        set[1 + static_cast<std::size_t>(v)] = EncodeVlanBlock(c, v);
    set[4] = EncodeNetworkBlock(c);
    return set;
}

RemoteSettings DecodeRemote(const Block& b) {
    RemoteSettings s;
    s.port = U16(b, 0);
    s.mode = b[2];
    for (std::size_t u = 0; u < 3; ++u) {
        s.users[u].ip = IpAt(b, 16 + 8 * u);
        s.users[u].port = U16(b, 20 + 8 * u);
    }
    return s;
}

VlanSettings DecodeVlan(const Block& b) {
    VlanSettings s;
    s.port = U16(b, 0);
    s.mode = b[2];
    s.validitySeconds = b[3];
    s.access = b[4];
    for (std::size_t u = 0; u < 3; ++u) {
        s.users[u].ip = IpAt(b, 16 + 8 * u);
        s.users[u].port = U16(b, 20 + 8 * u);
        s.users[u].access = b[22 + 8 * u];
    }
    return s;
}

NetworkSettings DecodeNetwork(const Block& b) {
    return {IpAt(b, 1), IpAt(b, 5), IpAt(b, 9)};
}

}  // namespace kv::emu
