#include <gtest/gtest.h>

#include "core/Dekl.h"
#include "emulator/Blocks.h"
#include "tests/support/Hex.h"

namespace kv::emu {
namespace {

using kv::testing::Hex;
using kv::testing::Zeros;

TEST(EmulatorBlocks, DefaultBlocksHoldTheDefaultConfigurationWithValidChecksums) {
    const BlockSet blocks = DefaultBlocks();
    for (const Block& b : blocks) EXPECT_TRUE(ChecksumValid(b));
    // Remote management: port 56565 (low byte first), open to everyone, empty table.
    EXPECT_EQ(Hex(blocks[0]), "f5dc01" + Zeros(252) + "2e");
    // The VLANs: ports 5000 to 5002, VLAN1 with the validity timer, 10 s, read and write.
    EXPECT_EQ(Hex(blocks[1]), "8813010a" + Zeros(251) + "5a");
    EXPECT_EQ(Hex(blocks[2]), "8913000a" + Zeros(251) + "5a");
    EXPECT_EQ(Hex(blocks[3]), "8a13000a" + Zeros(251) + "59");
    // Network parameters: 192.168.0.99, 255.255.255.0, 192.168.0.123 from byte 1 on.
    EXPECT_EQ(Hex(blocks[4]), "00c0a80063ffffff00c0a8007b" + Zeros(242) + "55");
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
