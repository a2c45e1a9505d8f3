#include <gtest/gtest.h>

#include <numeric>

#include "core/Dekl.h"
#include "emulator/Blocks.h"

namespace kv::emu {
namespace {

unsigned Sum(const Block& b) {
    return std::accumulate(b.begin(), b.end(), 0u);
}

TEST(EmulatorBlocks, DefaultBlocksHoldTheDefaultConfigurationWithValidChecksums) {
    const BlockSet blocks = DefaultBlocks();
    for (const Block& b : blocks) EXPECT_EQ(Sum(b) % 256, 0u);

    // Remote management: port 56565, mode 1, empty table.
    Block remote{};
    remote[0] = 0xF5;
    remote[1] = 0xDC;
    remote[2] = 1;
    remote[255] = 46;  // 0xF5 + 0xDC + 1 = 466, 466 mod 256 = 210, 256 - 210
    EXPECT_EQ(blocks[0], remote);

    // VLAN 1: port 5000, timer mode, 10 s, read and write; VLAN 2 and 3 off.
    for (int v = 0; v < 3; ++v) {
        Block vlan{};
        vlan[0] = static_cast<std::uint8_t>((5000 + v) & 0xFF);
        vlan[1] = static_cast<std::uint8_t>((5000 + v) >> 8);
        vlan[2] = v == 0 ? 1 : 0;
        vlan[3] = 10;
        unsigned sum = vlan[0] + vlan[1] + vlan[2] + vlan[3];
        vlan[255] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
        EXPECT_EQ(blocks[1 + static_cast<std::size_t>(v)], vlan) << "VLAN " << v + 1;
    }

    // Network parameters: the twelve octets from byte 1 on; their sum 1707 gives 85.
    const std::uint8_t net[12] = {192, 168, 0, 99, 255, 255, 255, 0, 192, 168, 0, 123};
    for (std::size_t k = 0; k < 12; ++k) EXPECT_EQ(blocks[4][1 + k], net[k]);
    EXPECT_EQ(blocks[4][0], 0);
    EXPECT_EQ(blocks[4][255], 85);
}

TEST(EmulatorBlocks, ChecksumOfZeroSumIsZeroAndAnyChangedByteIsCaught) {
    Block b{};
    EXPECT_EQ(BlockChecksum(b), 0);
    EXPECT_TRUE(ChecksumValid(b));
    b[10] = 200;
    b[11] = 100;  // 300 = 44 mod 256
    Seal(b);
    EXPECT_EQ(b[255], 212);
    EXPECT_TRUE(ChecksumValid(b));
    b[254] ^= 1;
    EXPECT_FALSE(ChecksumValid(b));
}

// The configuration image keeps its user tables octet by octet, the blocks user by user:
// a mix-up between the two orders shows only with distinct octets in every user.
TEST(EmulatorBlocks, UserTablesMoveFromOctetOrderToUserOrder) {
    ModuleConfig c = DefaultModuleConfig();
    const std::size_t r = ModuleConfig::kRemote;
    for (std::size_t u = 0; u < 3; ++u) {
        for (std::size_t k = 0; k < 4; ++k)
            c.bytes[r + ModuleConfig::kRemoteUserIp + 3 * k + u] =
                static_cast<std::uint8_t>(10 * (u + 1) + k);
        c.SetU16(r + ModuleConfig::kRemoteUserPort + 2 * u, static_cast<std::uint16_t>(1000 + u));
    }
    const std::size_t v2 = ModuleConfig::VlanOffset(1);
    c.bytes[v2 + ModuleConfig::kVlanMode] = 2;
    for (std::size_t u = 0; u < 3; ++u) {
        for (std::size_t k = 0; k < 4; ++k)
            c.bytes[v2 + ModuleConfig::kVlanUserIp + 3 * k + u] =
                static_cast<std::uint8_t>(100 + 10 * u + k);
        c.SetU16(v2 + ModuleConfig::kVlanUserPort + 2 * u, static_cast<std::uint16_t>(0xFFFF - u));
        c.bytes[v2 + ModuleConfig::kVlanUserAccess + u] = static_cast<std::uint8_t>(u == 1);
    }

    const Block remote = EncodeRemoteBlock(c);
    const Block vlan = EncodeVlanBlock(c, 1);
    EXPECT_TRUE(ChecksumValid(remote));
    EXPECT_TRUE(ChecksumValid(vlan));
    for (std::size_t u = 0; u < 3; ++u) {
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(remote[16 + 8 * u + k], 10 * (u + 1) + k);
            EXPECT_EQ(vlan[16 + 8 * u + k], 100 + 10 * u + k);
        }
        EXPECT_EQ(remote[20 + 8 * u] + 256 * remote[21 + 8 * u], 1000 + u);
        EXPECT_EQ(vlan[20 + 8 * u] + 256 * vlan[21 + 8 * u], 0xFFFF - u);
        EXPECT_EQ(vlan[22 + 8 * u], u == 1 ? 1 : 0);
        EXPECT_EQ(remote[22 + 8 * u], 0);
    }
    EXPECT_EQ(vlan[0] + 256 * vlan[1], 5001);

    const RemoteSettings rs = DecodeRemote(remote);
    EXPECT_EQ(rs.port, 56565);
    EXPECT_EQ(rs.users[2].ip, (Ip4{30, 31, 32, 33}));
    EXPECT_EQ(rs.users[2].port, 1002);
    const VlanSettings vs = DecodeVlan(vlan);
    EXPECT_EQ(vs.mode, 2);
    EXPECT_EQ(vs.users[1].ip, (Ip4{110, 111, 112, 113}));
    EXPECT_EQ(vs.users[1].access, 1);
}

TEST(EmulatorBlocks, TablePortsZeroAndAllOnesMatchAnyPort) {
    TableEntry e{{127, 0, 0, 1}, 0, 0};
    EXPECT_TRUE(e.Matches({127, 0, 0, 1}, 1234));
    e.port = 0xFFFF;
    EXPECT_TRUE(e.Matches({127, 0, 0, 1}, 1));
    e.port = 4000;
    EXPECT_TRUE(e.Matches({127, 0, 0, 1}, 4000));
    EXPECT_FALSE(e.Matches({127, 0, 0, 1}, 4001));
    EXPECT_FALSE(e.Matches({127, 0, 0, 2}, 4000));
}

}  // namespace
}  // namespace kv::emu
