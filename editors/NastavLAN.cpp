#include "editors/NastavLAN.h"

#include <array>
#include <string>

#include "editors/UserTable.h"

namespace kv {
namespace {

std::vector<const char*> AccessItems() {
    return {"čtení i zápis", "pouze čtení"};
}

std::size_t Record(int vlan, std::size_t offset) {
    return ModuleConfig::VlanOffset(vlan) + offset;
}
UserTable Users(int vlan) {
    return {Record(vlan, ModuleConfig::kVlanUserIp), Record(vlan, ModuleConfig::kVlanUserPort)};
}
std::size_t UserAccess(int vlan, int user) {
    return Record(vlan, ModuleConfig::kVlanUserAccess) + static_cast<std::size_t>(user);
}
// A right the lists cannot show reads as the first one.
std::uint8_t Right(std::uint8_t value) {
    return value > 1 ? 0 : value;
}

EditorSpec MakeVlanEditor(Vlan vlan) {
    const int v = vlan.Index();
    const char* const kPortMessage = "Hodnota portu musí být v rozsahu 0-65535.";
    EditorSpec spec;
    spec.caption = " Nastavení komunikačního rozhraní VLAN" + std::to_string(vlan.Number());
    spec.block = VlanBlock(vlan);

    const std::size_t port = Record(v, ModuleConfig::kVlanPort);
    spec.fields.push_back({"Edit1", "Číslo UDP portu", FieldKind::kEdit, port, true, 0, false, {}});
    spec.checks.push_back(
        {kVlanPortField, CheckRule::kWordRange, 0, 65535, false, port, kPortMessage, false, {}});
    // The other interfaces' ports as the editor copy holds them: the shared image as of the
    // window's opening, whatever this window read from the module since.
    std::vector<std::size_t> others;
    for (int other = 0; other < kVlanCount; ++other)
        if (other != v) others.push_back(Record(other, ModuleConfig::kVlanPort));
    spec.checks.push_back({kVlanPortField, CheckRule::kPortFree, 0, 65535, true, port,
                           "Číslo portu je již použito u jiného rozhraní.", false, others});

    const std::size_t mode = Record(v, ModuleConfig::kVlanMode);
    spec.modeField = kVlanModeField;
    spec.fields.push_back(
        {"ComboBox1",
         "Režim rozhraní",
         FieldKind::kList,
         mode,
         false,
         0,
         false,
         {"vypnuto", "časovač platnosti IP adresy", "tabulka platných IP adres"}});
    spec.checks.push_back(
        {kVlanModeField, CheckRule::kPosition, 0, 0, true, mode, nullptr, false, {}});

    const std::size_t validity = Record(v, ModuleConfig::kVlanValidity);
    spec.fields.push_back({"Edit2",
                           "Doba platnosti IP adresy [s]",
                           FieldKind::kEdit,
                           validity,
                           false,
                           kVlanTimerArea,
                           false,
                           {}});
    spec.checks.push_back({kVlanValidityField,
                           CheckRule::kByteRange,
                           1,
                           255,
                           true,
                           validity,
                           "Hodnota doby platnosti IP adresy musí být v rozsahu 1-255.",
                           true,
                           {}});

    // Taken also when disabled, as the module expects some right in every mode.
    const std::size_t access = Record(v, ModuleConfig::kVlanAccess);
    spec.fields.push_back({"ComboBox5", "Přístup rozhraní", FieldKind::kList, access, false,
                           kVlanTimerArea, false, AccessItems()});
    spec.checks.push_back(
        {kVlanAccessField, CheckRule::kPosition, 0, 0, true, access, nullptr, false, {}});

    // Edit3..Edit7 ComboBox2, Edit8..Edit12 ComboBox3, Edit13..Edit17 ComboBox4.
    const UserTable users = Users(v);
    for (int u = 0; u < kTableUsers; ++u) {
        AddUserAddressRow(spec, users, kVlanUserRows, u, kVlanUserArea);
        const int list = static_cast<int>(spec.fields.size());
        spec.fields.push_back({"ComboBox" + std::to_string(2 + u),
                               "Uživatel " + std::to_string(u + 1) + " Přístup", FieldKind::kList,
                               UserAccess(v, u), false, kVlanUserArea, false, AccessItems()});
        spec.checks.push_back(
            {list, CheckRule::kPositionLowBit, 0, 0, true, UserAccess(v, u), nullptr, true, {}});
    }

    spec.decode = [vlan](const ConfigBlock& block, ModuleConfig& config) {
        DecodeVlanInterface(block, vlan, config);
    };
    spec.encode = [vlan](const ModuleConfig& config) { return EncodeVlanInterface(config, vlan); };
    spec.areaEnabled = [mode](const ModuleConfig& config, int area) {
        const std::uint8_t m = config.bytes[mode];
        switch (area) {
            case kVlanGroupArea:
                return m != 0;
            case kVlanTimerArea:
                return m == 1;
            case kVlanUserArea:
                return m != 0 && m != 1;
            default:
                return true;
        }
    };
    return spec;
}

}  // namespace

void DecodeVlanInterface(const ConfigBlock& block, Vlan vlan, ModuleConfig& config) {
    VlanSettings settings = DecodeVlanBlock(block);
    // What the lists cannot show reads as their first entry.
    if (settings.mode > 2) settings.mode = 0;
    settings.access = Right(settings.access);
    for (TableUser& user : settings.users) user.access = Right(user.access);
    SetVlanSettings(config, vlan, settings);
}

ConfigBlock EncodeVlanInterface(const ModuleConfig& config, Vlan vlan) {
    return EncodeVlanBlock(VlanSettingsOf(config, vlan));
}

const EditorSpec& VlanEditor(Vlan vlan) {
    static const std::array<EditorSpec, kVlanCount> specs = {MakeVlanEditor(Vlan::FromIndex(0)),
                                                             MakeVlanEditor(Vlan::FromIndex(1)),
                                                             MakeVlanEditor(Vlan::FromIndex(2))};
    return specs[static_cast<std::size_t>(vlan.Index())];
}

}  // namespace kv
