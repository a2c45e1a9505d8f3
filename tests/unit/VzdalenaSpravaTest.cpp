// The remote management editor's block, checks and enabling rule.

#include <gtest/gtest.h>

#include "editors/VzdalenaSprava.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::Hex;
using testing::Zeros;

constexpr std::size_t kMode = ModuleConfig::kRemote + ModuleConfig::kRemoteMode;
constexpr int kPort = 0, kList = 1, kUser1 = 2;  // field indexes: the first user octet

ConfigBlock Block(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
    ConfigBlock block{};
    for (auto [at, value] : bytes) block[at] = value;
    return block;
}

TEST(VzdalenaSprava, PortAndTableModeReadWithTheTableEnabled) {
    ModuleConfig config = DefaultModuleConfig();
    DecodeRemoteManagement(
        Block({{0, 0xF5}, {1, 0xDC}, {2, 2}, {16, 10}, {19, 4}, {20, 0x34}, {21, 0x12}}), config);
    const FieldStates fields = ShowFields(RemoteManagementEditor(), config);
    EXPECT_EQ(fields[kPort].text, "56565");
    EXPECT_EQ(fields[kList].position, 2);
    EXPECT_TRUE(fields[kUser1].enabled);
    EXPECT_EQ(fields[kUser1].text + "." + fields[kUser1 + 3].text + ":" + fields[kUser1 + 4].text,
              "10.4:4660");
    EXPECT_TRUE(fields[kUser1 + 4].enabled);  // the hidden port box goes with its row
    // Nothing outside the remote management record changed.
    ModuleConfig rest = config;
    std::copy_n(DefaultModuleConfig().bytes.begin() + ModuleConfig::kRemote, 22,
                rest.bytes.begin() + ModuleConfig::kRemote);
    EXPECT_EQ(rest, DefaultModuleConfig());
}

TEST(VzdalenaSprava, AModeAboveTwoIsKeptUnlessTheOperatorPicksOne) {
    ModuleConfig copy = DefaultModuleConfig();
    DecodeRemoteManagement(Block({{0, 0xF5}, {1, 0xDC}, {2, 7}}), copy);
    FieldStates fields = ShowFields(RemoteManagementEditor(), copy);
    EXPECT_EQ(fields[kList].position, -1);
    EXPECT_FALSE(fields[kUser1].enabled);
    ASSERT_TRUE(PrectiOkno(RemoteManagementEditor(), fields, copy, {}).passed);
    EXPECT_EQ(EncodeRemoteManagement(copy)[2], 7);
    fields[kList].position = 0;
    ASSERT_TRUE(PrectiOkno(RemoteManagementEditor(), fields, copy, {}).passed);
    EXPECT_EQ(copy.bytes[kMode], 0);
}

TEST(VzdalenaSprava, DisabledTableIsNeitherReadNorChangedButPortsBecome65535) {
    ModuleConfig copy = DefaultModuleConfig();
    copy.bytes[ModuleConfig::kRemote + ModuleConfig::kRemoteUserIp] = 9;  // user 1, octet 1
    FieldStates fields = ShowFields(RemoteManagementEditor(), copy);
    ASSERT_FALSE(fields[kUser1].enabled);  // "povolena všem"
    fields[kUser1].text = "abc";
    ASSERT_TRUE(PrectiOkno(RemoteManagementEditor(), fields, copy, {}).passed);
    EXPECT_EQ(Hex(EncodeRemoteManagement(copy)),
              "f5dc01" + Zeros(13) + "09000000ffff000000000000ffff000000000000ffff0000" +
                  Zeros(215) + "2b");
}

TEST(VzdalenaSprava, APortOf65536FailsBeforeTheModeIsStored) {
    ModuleConfig copy = DefaultModuleConfig();
    FieldStates fields = ShowFields(RemoteManagementEditor(), copy);
    fields[kPort].text = "65536";
    fields[kList].position = 2;
    const CheckOutcome out = PrectiOkno(RemoteManagementEditor(), fields, copy, {});
    EXPECT_EQ(out.status, " Hodnota portu musí být v rozsahu 0-65535.");
    EXPECT_EQ(copy, DefaultModuleConfig());
    // In table mode an octet is checked; the port and mode before it are stored.
    fields[kPort].text = "5000";
    fields[kUser1 + 1].text = "256";
    fields[kUser1 + 1].enabled = true;
    EXPECT_EQ(PrectiOkno(RemoteManagementEditor(), fields, copy, {}).status,
              " Hodnoty IP adresy musí být v rozsahu 0-255.");
    EXPECT_EQ(copy.U16(ModuleConfig::kRemote), 5000);
    EXPECT_EQ(copy.bytes[kMode], 2);
}

}  // namespace
}  // namespace kv
