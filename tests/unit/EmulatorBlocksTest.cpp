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
    for (const ConfigBlock& b : blocks) EXPECT_TRUE(ChecksumValid(b));
    // Remote management: port 56565 (low byte first), open to everyone, empty table.
    EXPECT_EQ(Hex(blocks[0]), "f5dc01" + Zeros(252) + "2e");
    // The VLANs: ports 5000 to 5002, VLAN1 with the validity timer, 10 s, read and write.
    EXPECT_EQ(Hex(blocks[1]), "8813010a" + Zeros(251) + "5a");
    EXPECT_EQ(Hex(blocks[2]), "8913000a" + Zeros(251) + "5a");
    EXPECT_EQ(Hex(blocks[3]), "8a13000a" + Zeros(251) + "59");
    // Network parameters: 192.168.0.99, 255.255.255.0, 192.168.0.123 from byte 1 on.
    EXPECT_EQ(Hex(blocks[4]), "00c0a80063ffffff00c0a8007b" + Zeros(242) + "55");
}

TEST(EmulatorBlocks, TablePortsZeroAndAllOnesMatchAnyPort) {
    TableUser e{{127, 0, 0, 1}, 0, 0};
    EXPECT_TRUE(Matches(e, {127, 0, 0, 1}, 1234));
    e.port = 0xFFFF;
    EXPECT_TRUE(Matches(e, {127, 0, 0, 1}, 1));
    e.port = 4000;
    EXPECT_TRUE(Matches(e, {127, 0, 0, 1}, 4000));
    EXPECT_FALSE(Matches(e, {127, 0, 0, 1}, 4001));
    EXPECT_FALSE(Matches(e, {127, 0, 0, 2}, 4000));
}

}  // namespace
}  // namespace kv::emu
