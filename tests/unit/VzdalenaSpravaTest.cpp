// The remote management editor's block, checks and enabling rule.

#include <gtest/gtest.h>

#include "editors/VzdalenaSprava.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::Hex;

constexpr std::size_t kMode = ModuleConfig::kRemote + ModuleConfig::kRemoteMode;
constexpr int kPort = kRemotePortField, kList = kRemoteModeField;
constexpr int kUser1 = kRemoteUserRows.Field(0, 0);  // user 1's first octet

ModuleConfig Decoded(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
    ConfigBlock block{};
    for (auto [at, value] : bytes) block[at] = value;
    ModuleConfig config = DefaultModuleConfig();
    DecodeRemoteManagement(block, config);
    return config;
}

TEST(VzdalenaSprava, PortAndTableModeReadWithTheTableEnabled) {
    const ModuleConfig config =
        Decoded({{0, 0xF5}, {1, 0xDC}, {2, 2}, {16, 10}, {19, 4}, {21, 0x12}});
    const FieldStates f = ShowFields(RemoteManagementEditor(), config);
    EXPECT_EQ(f[kPort].text + " " + std::to_string(f[kList].position), "56565 2");
    EXPECT_EQ(f[kUser1].text + "." + f[kRemoteUserRows.Field(0, 3)].text + ":" +
                  f[kRemoteUserRows.Field(0, 4)].text,
              "10.4:4608");
    EXPECT_TRUE(f[kUser1].enabled);
    // Nothing outside the remote management record changed.
    EXPECT_EQ(Hex(config.bytes.data(), ModuleConfig::kRemote),
              Hex(DefaultModuleConfig().bytes.data(), ModuleConfig::kRemote));
}

TEST(VzdalenaSprava, AModeAboveTwoIsKeptUnlessTheOperatorPicksOne) {
    ModuleConfig copy = Decoded({{2, 7}});
    FieldStates fields = ShowFields(RemoteManagementEditor(), copy);
    EXPECT_EQ(fields[kList].position, -1);
    EXPECT_FALSE(fields[kUser1].enabled);
    ASSERT_TRUE(CheckFields(RemoteManagementEditor(), fields, copy, {}).passed);
    EXPECT_EQ(EncodeRemoteManagement(copy)[2], 7);
    fields[kList].position = 0;
    ASSERT_TRUE(CheckFields(RemoteManagementEditor(), fields, copy, {}).passed);
    EXPECT_EQ(copy.bytes[kMode], 0);
}

TEST(VzdalenaSprava, ADisabledTableIsNeitherReadNorChangedButItsPortsBecome65535) {
    ModuleConfig copy = DefaultModuleConfig();
    copy.bytes[ModuleConfig::kRemote + ModuleConfig::kRemoteUserIp] = 9;  // user 1, octet 1
    FieldStates fields = ShowFields(RemoteManagementEditor(), copy);
    fields[kUser1].text = "abc";
    ASSERT_TRUE(CheckFields(RemoteManagementEditor(), fields, copy, {}).passed);
    EXPECT_EQ(Hex(EncodeRemoteManagement(copy)),
              "f5dc01" + testing::Zeros(13) + "09000000ffff000000000000ffff000000000000ffff0000" +
                  testing::Zeros(215) + "2b");
}

TEST(VzdalenaSprava, APortOf65536FailsBeforeTheModeIsStored) {
    ModuleConfig copy = DefaultModuleConfig();
    FieldStates fields = ShowFields(RemoteManagementEditor(), copy);
    fields[kPort].text = "65536";
    fields[kList].position = 2;
    EXPECT_EQ(CheckFields(RemoteManagementEditor(), fields, copy, {}).status,
              "Hodnota portu musí být v rozsahu 0-65535.");
    EXPECT_EQ(copy, DefaultModuleConfig());
}

}  // namespace
}  // namespace kv
