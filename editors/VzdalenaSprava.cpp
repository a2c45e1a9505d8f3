#include "editors/VzdalenaSprava.h"

#include <string>

#include "editors/UserTable.h"

namespace kv {
namespace {

constexpr std::size_t Record(std::size_t offset) {
    return ModuleConfig::kRemote + offset;
}
constexpr UserTable kUsers{Record(ModuleConfig::kRemoteUserIp),
                           Record(ModuleConfig::kRemoteUserPort)};

EditorSpec MakeRemoteManagementEditor() {
    EditorSpec spec;
    spec.caption = " Nastavení vzdálené správy LAN";
    spec.block = kRemoteManagementBlock;

    spec.fields.push_back({"Edit16",
                           "Číslo UDP portu",
                           FieldKind::kEdit,
                           Record(ModuleConfig::kRemotePort),
                           true,
                           0,
                           false,
                           {}});
    spec.checks.push_back({kRemotePortField,
                           CheckRule::kWordRange,
                           0,
                           65535,
                           true,
                           Record(ModuleConfig::kRemotePort),
                           "Hodnota portu musí být v rozsahu 0-65535.",
                           false,
                           {}});

    spec.modeField = kRemoteModeField;
    spec.fields.push_back({"ComboBox1",
                           "Vzdálená správa",
                           FieldKind::kList,
                           Record(ModuleConfig::kRemoteMode),
                           false,
                           0,
                           false,
                           {"zakázána", "povolena všem", "tabulka přístupu"}});
    spec.checks.push_back({kRemoteModeField,
                           CheckRule::kPosition,
                           0,
                           0,
                           true,
                           Record(ModuleConfig::kRemoteMode),
                           nullptr,
                           false,
                           {}});

    // Edit1..Edit5, Edit6..Edit10, Edit11..Edit15.
    for (int u = 0; u < kTableUsers; ++u)
        AddUserAddressRow(spec, kUsers, kRemoteUserRows, u, kRemoteTableArea);

    spec.decode = DecodeRemoteManagement;
    spec.encode = EncodeRemoteManagement;
    spec.areaEnabled = [](const ModuleConfig& config, int area) {
        return area != kRemoteTableArea || config.bytes[Record(ModuleConfig::kRemoteMode)] == 2;
    };
    return spec;
}

}  // namespace

void DecodeRemoteManagement(const ConfigBlock& block, ModuleConfig& config) {
    // The mode as it stands, also above 2: the editor writes back what it read unless the
    // operator picks a mode.
    SetRemoteSettings(config, DecodeRemoteBlock(block));
}

ConfigBlock EncodeRemoteManagement(const ModuleConfig& config) {
    return EncodeRemoteBlock(RemoteSettingsOf(config));
}

const EditorSpec& RemoteManagementEditor() {
    static const EditorSpec spec = MakeRemoteManagementEditor();
    return spec;
}

}  // namespace kv
