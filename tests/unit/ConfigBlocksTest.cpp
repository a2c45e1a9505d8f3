// The configuration blocks as the module keeps them: the checksum, where each block holds
// its values, and the records of the configuration image they go to and come from.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/ConfigBlocks.h"

namespace kv {
namespace {

TEST(ConfigBlocks, ChecksumOfZeroSumIsZeroAndAnyChangedByteIsCaught) {
    ConfigBlock b{};
    EXPECT_EQ(BlockChecksum(b), 0);
    EXPECT_TRUE(ChecksumValid(b));
    b[10] = 200;
    b[11] = 100;  // 300 = 44 mod 256
    SealBlock(b);
    EXPECT_EQ(b[255], 212);
    EXPECT_TRUE(ChecksumValid(b));
    b[254] ^= 1;
    EXPECT_FALSE(ChecksumValid(b));
}

// The configuration image keeps its user tables octet by octet, the blocks user by user:
// a mix-up between the two orders shows only with distinct octets in every user.
TEST(ConfigBlocks, UserTablesMoveFromOctetOrderToUserOrder) {
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

    const ConfigBlock remote = ConfigBlockOf(c, kRemoteManagementBlock);
    const ConfigBlock vlan = ConfigBlockOf(c, VlanBlock(Vlan::FromIndex(1)));
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

    const RemoteSettings rs = DecodeRemoteBlock(remote);
    EXPECT_EQ(rs.port, 56565);
    EXPECT_EQ(rs.users[2].ip, (Ip4{30, 31, 32, 33}));
    EXPECT_EQ(rs.users[2].port, 1002);
    const VlanSettings vs = DecodeVlanBlock(vlan);
    EXPECT_EQ(vs.mode, 2);
    EXPECT_EQ(vs.users[1].ip, (Ip4{110, 111, 112, 113}));
    EXPECT_EQ(vs.users[1].access, 1);
}

// Every byte a block names, and no other: a block of distinct non-zero bytes decoded and
// encoded again keeps exactly the named bytes (and gets its checksum).
TEST(ConfigBlocks, EachBlockKeepsItsValuesInItsBytesAndNothingElse) {
    auto range = [](std::set<std::size_t>& into, std::size_t first, std::size_t last) {
        for (std::size_t i = first; i <= last; ++i) into.insert(i);
    };
    std::set<std::size_t> remote, vlan, network;
    range(remote, 0, 2);
    range(vlan, 0, 4);
    for (std::size_t user : {16u, 24u, 32u}) {
        range(remote, user, user + 5);  // four octets and the port
        range(vlan, user, user + 6);    // and the access right
    }
    range(network, 1, 12);

    ConfigBlock pattern{};
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i + 1);
    struct Case {
        std::uint16_t number;
        ConfigBlock encoded;
        const std::set<std::size_t>& named;
    } cases[] = {
        {kRemoteManagementBlock, EncodeRemoteBlock(DecodeRemoteBlock(pattern)), remote},
        {kFirstVlanBlock, EncodeVlanBlock(DecodeVlanBlock(pattern)), vlan},
        {kNetworkParamBlock, EncodeNetworkBlock(DecodeNetworkBlock(pattern)), network},
    };
    for (const Case& c : cases) {
        for (std::size_t i = 0; i + 1 < kConfigBlockSize; ++i)
            EXPECT_EQ(c.encoded[i], c.named.count(i) ? pattern[i] : 0) << c.number << " byte " << i;
        EXPECT_TRUE(ChecksumValid(c.encoded)) << c.number;
    }
    // The values as they stand: a mode or right the editors would not show is kept.
    ConfigBlock odd{};
    odd[2] = 7;
    odd[4] = 3;
    odd[22] = 9;
    const VlanSettings settings = DecodeVlanBlock(odd);
    EXPECT_EQ(settings.mode, 7);
    EXPECT_EQ(settings.access, 3);
    EXPECT_EQ(settings.users[0].access, 9);
}

// Each block's settings go into their own record of the image and nowhere else: the
// other records and the spare bytes keep what they held.
TEST(ConfigBlocks, SettingsChangeOnlyTheirRecordOfTheImage) {
    ModuleConfig before;
    for (std::size_t i = 0; i < before.bytes.size(); ++i)
        before.bytes[i] = static_cast<std::uint8_t>(7 * i + 3);
    ConfigBlock zero{};
    SealBlock(zero);

    struct Case {
        const char* name;
        std::size_t first, size;       // the record in the image
        std::set<std::size_t> spares;  // within it
        ModuleConfig after;
    };
    Case cases[] = {{"remote", ModuleConfig::kRemote, 22, {15}, before},
                    {"vlan2", ModuleConfig::VlanOffset(1), 28, {17, 27}, before},
                    {"network", ModuleConfig::kIpAddress, 12, {}, before}};
    SetRemoteSettings(cases[0].after, DecodeRemoteBlock(zero));
    SetVlanSettings(cases[1].after, Vlan::FromIndex(1), DecodeVlanBlock(zero));
    SetNetworkSettings(cases[2].after, DecodeNetworkBlock(zero));
    for (const Case& c : cases) {
        for (std::size_t i = 0; i < ModuleConfig::kSize; ++i) {
            const bool inRecord = i >= c.first && i < c.first + c.size;
            const bool kept = !inRecord || c.spares.count(i - c.first) != 0;
            EXPECT_EQ(c.after.bytes[i], kept ? before.bytes[i] : 0) << c.name << " byte " << i;
        }
    }
    EXPECT_EQ(RemoteSettingsOf(cases[0].after), RemoteSettings{});
    EXPECT_EQ(VlanSettingsOf(cases[1].after, Vlan::FromIndex(1)), VlanSettings{});
    EXPECT_EQ(NetworkSettingsOf(cases[2].after), NetworkSettings{});
}

TEST(ConfigBlocks, BlockNumbers) {
    EXPECT_EQ(VlanBlock(Vlan::FromIndex(0)), 251);
    EXPECT_EQ(VlanBlock(Vlan::FromIndex(2)), 253);
    EXPECT_FALSE(IsConfigBlock(249));
    EXPECT_TRUE(IsConfigBlock(250));
    EXPECT_TRUE(IsConfigBlock(254));
    EXPECT_FALSE(IsConfigBlock(255));
    EXPECT_EQ(ConfigBlockOf(DefaultModuleConfig(), 255), ConfigBlock{});
    EXPECT_EQ(ConfigBlockOf(DefaultModuleConfig(), 253)[0], 0x8a) << "VLAN3's port 5002";
}

}  // namespace
}  // namespace kv
