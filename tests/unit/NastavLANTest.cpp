// The VLAN interface editor's block, the port check across interfaces, the validity time
// and the enabling rule.

#include <gtest/gtest.h>

#include "editors/NastavLAN.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::Hex;
using testing::Zeros;

// Field indexes.
constexpr int kPort = 0, kMode = 1, kValidity = 2, kAccess = 3, kUser1 = 4;

CheckOutcome Check(int vlan, FieldStates& fields, ModuleConfig& copy) {
    return PrectiOkno(VlanEditor(vlan), fields, copy, {});
}

TEST(NastavLAN, VlanOneWithTheDefaultsWritesChecksum96) {
    ModuleConfig copy = DefaultModuleConfig();
    copy.SetU16(ModuleConfig::VlanOffset(0) + ModuleConfig::kVlanUserPort, 0x4321);
    FieldStates fields = ShowFields(VlanEditor(0), copy);
    ASSERT_TRUE(Check(0, fields, copy).passed);
    const std::string user = "00000000ffff0000";  // address, port, access, spare
    EXPECT_EQ(Hex(EncodeVlanInterface(copy, 0)),
              "881301" + std::string("0a00") + Zeros(11) + user + user + user + Zeros(215) + "60");
    EXPECT_EQ(VlanEditor(0).block, 251);
    EXPECT_EQ(VlanEditor(2).block, 253);
    EXPECT_EQ(VlanEditor(2).caption, " Nastavení komunikačního rozhraní VLAN3");
    EXPECT_EQ(&VlanEditor(7), &VlanEditor(0));
}

TEST(NastavLAN, ValuesTheListsCannotShowReadAsTheFirstEntry) {
    ConfigBlock block{};
    block[0] = 0x34;
    block[1] = 0x12;
    block[2] = 7;
    block[3] = 0;
    block[4] = 3;
    block[16 + 8 + 6] = 2;  // user 2's access
    block[16 + 8] = 172;    // user 2's first octet
    ModuleConfig config = DefaultModuleConfig();
    DecodeVlanInterface(block, 1, config);
    const FieldStates fields = ShowFields(VlanEditor(1), config);
    EXPECT_EQ(fields[kPort].text, "4660");
    EXPECT_EQ(fields[kMode].position, 0);
    EXPECT_EQ(fields[kValidity].text, "0");
    EXPECT_EQ(fields[kAccess].position, 0);
    EXPECT_EQ(fields[kUser1 + 6].text, "172");
    EXPECT_EQ(fields[kUser1 + 6 + 5].position, 0);
    // Only VLAN 2's record changed.
    ModuleConfig rest = config;
    const auto defaults = DefaultModuleConfig();
    std::copy_n(defaults.bytes.begin() + ModuleConfig::VlanOffset(1), ModuleConfig::kVlanSize,
                rest.bytes.begin() + ModuleConfig::VlanOffset(1));
    EXPECT_EQ(rest, defaults);
}

TEST(NastavLAN, ValidityTimeZeroFailsInTimerModeUntilAValueFrom1To255) {
    ModuleConfig copy = DefaultModuleConfig();
    copy.bytes[ModuleConfig::VlanOffset(0) + ModuleConfig::kVlanValidity] = 0;
    FieldStates fields = ShowFields(VlanEditor(0), copy);
    ASSERT_TRUE(fields[kValidity].enabled);
    EXPECT_EQ(Check(0, fields, copy).status,
              " Hodnota doby platnosti IP adresy musí být v rozsahu 1-255.");
    for (const char* bad : {"256", "-1", ""}) {
        fields[kValidity].text = bad;
        EXPECT_FALSE(Check(0, fields, copy).passed) << bad;
    }
    fields[kValidity].text = "255";
    EXPECT_TRUE(Check(0, fields, copy).passed);
}

TEST(NastavLAN, APortTakenByAnotherInterfaceFailsWhateverItsMode) {
    ModuleConfig copy = DefaultModuleConfig();  // ports 5000, 5001, 5002; VLAN 2 and 3 off
    FieldStates fields = ShowFields(VlanEditor(1), copy);
    fields[kPort].text = "5000";
    CheckOutcome out = Check(1, fields, copy);
    EXPECT_EQ(out.status, " Číslo portu je již použito u jiného rozhraní.");
    EXPECT_EQ(out.failedCheck, 1);
    EXPECT_EQ(copy.U16(ModuleConfig::VlanOffset(1)), 5001);
    fields[kPort].text = "5001";  // its own
    EXPECT_TRUE(Check(1, fields, copy).passed);
    // VLAN 3 is "vypnuto" and still holds its port.
    fields = ShowFields(VlanEditor(0), copy);
    fields[kPort].text = "5002";
    EXPECT_FALSE(Check(0, fields, copy).passed);
    fields[kPort].text = "65536";
    EXPECT_EQ(Check(0, fields, copy).status, " Hodnota portu musí být v rozsahu 0-65535.");
}

TEST(NastavLAN, EachModeEnablesItsPartAndDisabledBoxesAreNotRead) {
    const EditorSpec& spec = VlanEditor(2);
    ModuleConfig copy = DefaultModuleConfig();
    const std::size_t mode = ModuleConfig::VlanOffset(2) + ModuleConfig::kVlanMode;
    std::string seen;
    for (std::uint8_t m : {0, 1, 2}) {
        copy.bytes[mode] = m;
        const FieldStates f = ShowFields(spec, copy);
        seen += std::to_string(AreaEnabled(spec, copy, kVlanGroupArea)) +
                std::to_string(f[kValidity].enabled) + std::to_string(f[kAccess].enabled) +
                std::to_string(f[kUser1].enabled) + std::to_string(f[kUser1 + 5].enabled) +
                std::to_string(f[kPort].enabled && f[kMode].enabled) + " ";
    }
    EXPECT_EQ(seen, "000001 111001 100111 ");

    // Mode 2: letters in the disabled validity box do not stop the check; the table is
    // read, access by its lowest bit.
    FieldStates fields = ShowFields(spec, copy);
    fields[kValidity].text = "abc";
    fields[kAccess].position = 1;  // taken although disabled
    fields[kUser1].text = "127";
    fields[kUser1 + 5].position = 1;
    ASSERT_TRUE(PrectiOkno(spec, fields, copy, {}).passed);
    const ConfigBlock block = EncodeVlanInterface(copy, 2);
    EXPECT_EQ(Hex(block.data(), 5), "8a13020a01");
    EXPECT_EQ(Hex(block.data() + 16, 8), "7f000000ffff0100");
    // Mode 0: only the port, the mode and the interface access are taken.
    copy.bytes[mode] = 0;
    fields = ShowFields(spec, copy);
    fields[kUser1].text = "x";
    fields[kValidity].text = "x";
    EXPECT_TRUE(PrectiOkno(spec, fields, copy, {}).passed);
}

TEST(NastavLAN, ChoosingAModeStoresItAtOnce) {
    ConnectionSettings settings;
    EditorSession session(VlanEditor(1), &settings);
    session.Show();
    session.ChangeMode(2);
    EXPECT_EQ(session.Copy().bytes[ModuleConfig::VlanOffset(1) + ModuleConfig::kVlanMode], 2);
    EXPECT_TRUE(session.Fields()[kUser1].enabled);
    session.ChangeMode(-1);
    EXPECT_EQ(session.Copy().bytes[ModuleConfig::VlanOffset(1) + ModuleConfig::kVlanMode], 2);
    EXPECT_EQ(settings.moduleConfig, DefaultModuleConfig());
}

}  // namespace
}  // namespace kv
