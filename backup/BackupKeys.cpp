#include "backup/BackupKeys.h"

#include "editors/NastavLAN.h"
#include "editors/SitoveParam.h"
#include "editors/VzdalenaSprava.h"

namespace kv {
namespace {

std::vector<BackupKey> NetworkKeys() {
    return {
        {"IP adresa", {"Edit1", "Edit2", "Edit3", "Edit4"}, {}},
        {"Maska podsítě", {"Edit5", "Edit6", "Edit7", "Edit8"}, {}},
        {"Brána", {"Edit9", "Edit10", "Edit11", "Edit12"}, {}},
    };
}

std::vector<BackupKey> RemoteKeys() {
    return {
        {"Číslo UDP portu", {"Edit16"}, {}},
        {"Vzdálená správa", {"ComboBox1"}, {"zakázána", "povolena všem", "tabulka přístupu"}},
        {"Uživatel 1 IP adresa", {"Edit1", "Edit2", "Edit3", "Edit4"}, {}},
        {"Uživatel 1 Port", {"Edit5"}, {}},
        {"Uživatel 2 IP adresa", {"Edit6", "Edit7", "Edit8", "Edit9"}, {}},
        {"Uživatel 2 Port", {"Edit10"}, {}},
        {"Uživatel 3 IP adresa", {"Edit11", "Edit12", "Edit13", "Edit14"}, {}},
        {"Uživatel 3 Port", {"Edit15"}, {}},
    };
}

std::vector<BackupKey> VlanKeys() {
    // How an interface and each of its users may reach the bus.
    const std::vector<const char*> access = {"čtení i zápis", "pouze čtení"};
    return {
        {"Číslo UDP portu", {"Edit1"}, {}},
        {"Režim rozhraní",
         {"ComboBox1"},
         {"vypnuto", "časovač platnosti IP adresy", "tabulka platných IP adres"}},
        {"Doba platnosti IP adresy [s]", {"Edit2"}, {}},
        {"Přístup rozhraní", {"ComboBox5"}, access},
        {"Uživatel 1 IP adresa", {"Edit3", "Edit4", "Edit5", "Edit6"}, {}},
        {"Uživatel 1 Port", {"Edit7"}, {}},
        {"Uživatel 1 Přístup", {"ComboBox2"}, access},
        {"Uživatel 2 IP adresa", {"Edit8", "Edit9", "Edit10", "Edit11"}, {}},
        {"Uživatel 2 Port", {"Edit12"}, {}},
        {"Uživatel 2 Přístup", {"ComboBox3"}, access},
        {"Uživatel 3 IP adresa", {"Edit13", "Edit14", "Edit15", "Edit16"}, {}},
        {"Uživatel 3 Port", {"Edit17"}, {}},
        {"Uživatel 3 Přístup", {"ComboBox4"}, access},
    };
}

template <int index>
const EditorSpec& VlanEditor() {
    return VlanEditor(Vlan::FromIndex(index));
}

}  // namespace

const std::array<BackupSectionKeys, 5>& BackupKeyTable() {
    static const std::array<BackupSectionKeys, 5> table = {{
        {"network", "Nastavení síťových parametrů", &NetworkParamEditor, NetworkKeys()},
        {"remote", "Nastavení vzdálené správy LAN", &RemoteManagementEditor, RemoteKeys()},
        {"vlan1", "Nastavení komunikačního rozhraní VLAN1", &VlanEditor<0>, VlanKeys()},
        {"vlan2", "Nastavení komunikačního rozhraní VLAN2", &VlanEditor<1>, VlanKeys()},
        {"vlan3", "Nastavení komunikačního rozhraní VLAN3", &VlanEditor<2>, VlanKeys()},
    }};
    return table;
}

const BackupSectionKeys* BackupKeysOf(std::string_view section) {
    for (const BackupSectionKeys& keys : BackupKeyTable())
        if (section == keys.section) return &keys;
    return nullptr;
}

}  // namespace kv
