// The VLAN interface editor's block, the port check across interfaces, the validity time
// and the enabling rule.

#include <gtest/gtest.h>

#include "editors/NastavLAN.h"
#include "editors/VzdalenaSprava.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::Hex;
using testing::Zeros;

constexpr int kPort = kVlanPortField, kMode = kVlanModeField, kValidity = kVlanValidityField,
              kAccess = kVlanAccessField;
constexpr int kUser1 = kVlanUserRows.Field(0, 0);

CheckOutcome Check(int vlan, const FieldStates& fields, ModuleConfig& copy) {
    return CheckFields(VlanEditor(kv::Vlan::FromIndex(vlan)), fields, copy, {});
}

// An interface is settled where it enters: by the operator's number or by index, anything
// but one of the three is VLAN1.
TEST(NastavLAN, AnInterfaceIsOneOfTheThree) {
    for (int number = 1; number <= kVlanCount; ++number) {
        EXPECT_EQ(Vlan::FromNumber(number).Number(), number);
        EXPECT_EQ(Vlan::FromNumber(number), Vlan::FromIndex(number - 1));
    }
    for (int outside : {0, 4, -1, 2147483647, -2147483647 - 1})
        EXPECT_EQ(Vlan::FromNumber(outside), Vlan()) << outside;
    for (int outside : {-1, 3, 5, -2147483647 - 1})
        EXPECT_EQ(Vlan::FromIndex(outside), Vlan()) << outside;
    EXPECT_EQ(Vlan().Number(), 1);
}

// The windows place their boxes by the rows' field indexes: each one must be the box the
// table names there.
TEST(NastavLAN, TheUserRowsNameTheTablesFields) {
    struct Editor {
        const EditorSpec* spec;
        UserRows rows;
    };
    for (const Editor& e : {Editor{&VlanEditor(Vlan::FromNumber(2)), kVlanUserRows},
                            Editor{&RemoteManagementEditor(), kRemoteUserRows}}) {
        SCOPED_TRACE(e.spec->caption);
        ASSERT_EQ(e.spec->fields.size(),
                  static_cast<std::size_t>(e.rows.Field(kTableUsers - 1, e.rows.fieldsPerUser)));
        for (int u = 0; u < kTableUsers; ++u) {
            const std::string user = "Uživatel " + std::to_string(u + 1);
            for (int box = 0; box < 5; ++box) {
                const EditorField& field = e.spec->fields[e.rows.Field(u, box)];
                EXPECT_EQ(field.control, "Edit" + std::to_string(e.rows.EditNumber(u, box)));
                EXPECT_EQ(field.name.rfind(user, 0), 0u) << field.name;
            }
            if (e.rows.fieldsPerUser == 6) {
                EXPECT_EQ(e.spec->fields[e.rows.Field(u, 5)].name, user + " Přístup");
            }
        }
    }
    EXPECT_EQ(VlanEditor(Vlan()).fields[kVlanAccessField].control, "ComboBox5");
    EXPECT_EQ(RemoteManagementEditor().fields[kRemoteModeField].control, "ComboBox1");
}

TEST(NastavLAN, VlanOneWithTheDefaultsWritesChecksum96) {
    ModuleConfig copy = DefaultModuleConfig();
    copy.SetU16(ModuleConfig::VlanOffset(0) + ModuleConfig::kVlanUserPort, 0x4321);
    ASSERT_TRUE(Check(0, ShowFields(VlanEditor(kv::Vlan::FromIndex(0)), copy), copy).passed);
    const std::string user = "00000000ffff0000";  // address, port, access, spare
    EXPECT_EQ(Hex(EncodeVlanInterface(copy, kv::Vlan::FromIndex(0))),
              "8813010a00" + Zeros(11) + user + user + user + Zeros(215) + "60");
    EXPECT_EQ(VlanEditor(kv::Vlan::FromIndex(2)).block, 253);
    EXPECT_EQ(VlanEditor(kv::Vlan::FromIndex(2)).caption,
              " Nastavení komunikačního rozhraní VLAN3");
    EXPECT_EQ(&VlanEditor(kv::Vlan::FromIndex(7)), &VlanEditor(kv::Vlan::FromIndex(0)));
}

TEST(NastavLAN, ValuesTheListsCannotShowReadAsTheFirstEntry) {
    ConfigBlock block{};
    block[2] = 7;           // mode
    block[4] = 3;           // interface access
    block[16 + 8 + 6] = 2;  // user 2's access
    ModuleConfig config = DefaultModuleConfig();
    DecodeVlanInterface(block, kv::Vlan::FromIndex(1), config);
    const FieldStates f = ShowFields(VlanEditor(kv::Vlan::FromIndex(1)), config);
    EXPECT_EQ(f[kMode].position, 0);
    EXPECT_EQ(f[kValidity].text, "0");
    EXPECT_EQ(f[kAccess].position, 0);
    EXPECT_EQ(f[kVlanUserRows.Field(1, 5)].position, 0);
    // Only VLAN 2's record changed.
    ModuleConfig rest = config;
    const ModuleConfig defaults = DefaultModuleConfig();
    std::copy_n(defaults.bytes.begin() + ModuleConfig::VlanOffset(1), ModuleConfig::kVlanSize,
                rest.bytes.begin() + ModuleConfig::VlanOffset(1));
    EXPECT_EQ(rest, defaults);

    // Validity time 0 fails in timer mode until a value from 1 to 255.
    FieldStates fields = f;
    fields[kMode].position = 1;
    fields[kValidity].enabled = true;
    EXPECT_EQ(Check(1, fields, config).status,
              "Hodnota doby platnosti IP adresy musí být v rozsahu 1-255.");
    fields[kValidity].text = "255";
    EXPECT_TRUE(Check(1, fields, config).passed);
}

TEST(NastavLAN, APortTakenByAnotherInterfaceFailsWhateverItsMode) {
    ModuleConfig copy = DefaultModuleConfig();  // 5000, 5001, 5002; VLAN 2 and 3 off
    FieldStates fields = ShowFields(VlanEditor(kv::Vlan::FromIndex(1)), copy);
    fields[kPort].text = "5000";
    const CheckOutcome out = Check(1, fields, copy);
    EXPECT_EQ(out.status, "Číslo portu je již použito u jiného rozhraní.");
    EXPECT_EQ(copy.U16(ModuleConfig::VlanOffset(1)), 5001);
    fields[kPort].text = "5001";  // its own
    EXPECT_TRUE(Check(1, fields, copy).passed);
    fields = ShowFields(VlanEditor(kv::Vlan::FromIndex(0)), copy);
    fields[kPort].text = "5002";  // VLAN 3, "vypnuto"
    EXPECT_FALSE(Check(0, fields, copy).passed);
}

TEST(NastavLAN, EachModeEnablesItsPartAndDisabledBoxesAreNotRead) {
    const EditorSpec& spec = VlanEditor(kv::Vlan::FromIndex(2));
    ModuleConfig copy = DefaultModuleConfig();
    const std::size_t mode = ModuleConfig::VlanOffset(2) + ModuleConfig::kVlanMode;
    std::string seen;
    for (std::uint8_t m : {0, 1, 2}) {
        copy.bytes[mode] = m;
        const FieldStates f = ShowFields(spec, copy);
        for (bool on : {AreaEnabled(spec, copy, kVlanGroupArea), f[kValidity].enabled,
                        f[kAccess].enabled, f[kUser1].enabled, f[kVlanUserRows.Field(0, 5)].enabled,
                        f[kPort].enabled && f[kMode].enabled})
            seen += on ? "1" : "0";
        seen += " ";
    }
    EXPECT_EQ(seen, "000001 111001 100111 ");

    // Mode 2: letters in the disabled validity box do not stop the check; the interface
    // access is taken although disabled, a user's access by its lowest bit.
    FieldStates fields = ShowFields(spec, copy);
    fields[kValidity].text = "abc";
    fields[kAccess].position = 1;
    fields[kUser1].text = "127";
    fields[kVlanUserRows.Field(0, 5)].position = 3;
    ASSERT_TRUE(CheckFields(spec, fields, copy, {}).passed);
    const ConfigBlock block = EncodeVlanInterface(copy, kv::Vlan::FromIndex(2));
    EXPECT_EQ(Hex(block.data(), 5) + " " + Hex(block.data() + 16, 8),
              "8a13020a01 7f000000ffff0100");
}

}  // namespace
}  // namespace kv
