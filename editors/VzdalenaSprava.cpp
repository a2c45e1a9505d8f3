#include "editors/VzdalenaSprava.h"

#include <string>

namespace kv {
namespace {

constexpr int kUsers = 3;
constexpr std::size_t kBlockPort = 0;
constexpr std::size_t kBlockMode = 2;
constexpr std::size_t kBlockUsers = 16;
constexpr std::size_t kBlockUserSize = 8;
constexpr std::size_t kBlockUserPort = 4;  // within a user's eight bytes

constexpr std::size_t Record(std::size_t offset) {
    return ModuleConfig::kRemote + offset;
}
constexpr std::size_t UserIp(int user, int octet) {
    return Record(ModuleConfig::kRemoteUserIp) + 3 * static_cast<std::size_t>(octet) +
           static_cast<std::size_t>(user);
}
constexpr std::size_t UserPort(int user) {
    return Record(ModuleConfig::kRemoteUserPort) + 2 * static_cast<std::size_t>(user);
}
constexpr std::size_t BlockUser(int user) {
    return kBlockUsers + kBlockUserSize * static_cast<std::size_t>(user);
}

EditorSpec MakeRemoteManagementEditor() {
    const char* const kIpMessage = "Hodnoty IP adresy musí být v rozsahu 0-255.";
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
    spec.checks.push_back({0,
                           CheckRule::kWordRange,
                           0,
                           65535,
                           true,
                           Record(ModuleConfig::kRemotePort),
                           "Hodnota portu musí být v rozsahu 0-65535.",
                           false,
                           {}});

    spec.modeField = 1;
    spec.fields.push_back({"ComboBox1",
                           "Vzdálená správa",
                           FieldKind::kList,
                           Record(ModuleConfig::kRemoteMode),
                           false,
                           0,
                           false,
                           {"zakázána", "povolena všem", "tabulka přístupu"}});
    spec.checks.push_back({1,
                           CheckRule::kPosition,
                           0,
                           0,
                           true,
                           Record(ModuleConfig::kRemoteMode),
                           nullptr,
                           false,
                           {}});

    for (int u = 0; u < kUsers; ++u) {
        const std::string user = "Uživatel " + std::to_string(u + 1);
        for (int k = 0; k < 4; ++k) {
            const int field = static_cast<int>(spec.fields.size());
            spec.fields.push_back({"Edit" + std::to_string(1 + 5 * u + k),
                                   user + " IP adresa " + std::to_string(k + 1),
                                   FieldKind::kEdit,
                                   UserIp(u, k),
                                   false,
                                   kRemoteTableArea,
                                   false,
                                   {}});
            spec.checks.push_back(
                {field, CheckRule::kByteRange, 0, 255, true, UserIp(u, k), kIpMessage, true, {}});
        }
        spec.fields.push_back({"Edit" + std::to_string(5 + 5 * u),
                               user + " Port",
                               FieldKind::kEdit,
                               UserPort(u),
                               true,
                               kRemoteTableArea,
                               true,
                               {}});
        // The user ports are not edited: a passed row lets the user in from any port.
        spec.checks.push_back(
            {-1, CheckRule::kSetWord, 65535, 65535, true, UserPort(u), nullptr, false, {}});
    }

    spec.decode = DecodeRemoteManagement;
    spec.encode = EncodeRemoteManagement;
    spec.areaEnabled = [](const ModuleConfig& config, int area) {
        return area != kRemoteTableArea || config.bytes[Record(ModuleConfig::kRemoteMode)] == 2;
    };
    return spec;
}

}  // namespace

void DecodeRemoteManagement(const ConfigBlock& block, ModuleConfig& config) {
    config.SetU16(Record(ModuleConfig::kRemotePort),
                  static_cast<std::uint16_t>(block[kBlockPort] | block[kBlockPort + 1] << 8));
    // Taken as it stands, also above 2: the editor writes back what it read unless the
    // operator picks a mode.
    config.bytes[Record(ModuleConfig::kRemoteMode)] = block[kBlockMode];
    for (int u = 0; u < kUsers; ++u) {
        const std::size_t at = BlockUser(u);
        for (int k = 0; k < 4; ++k)
            config.bytes[UserIp(u, k)] = block[at + static_cast<std::size_t>(k)];
        config.SetU16(UserPort(u), static_cast<std::uint16_t>(block[at + kBlockUserPort] |
                                                              block[at + kBlockUserPort + 1] << 8));
    }
}

ConfigBlock EncodeRemoteManagement(const ModuleConfig& config) {
    ConfigBlock block{};
    const std::uint16_t port = config.U16(Record(ModuleConfig::kRemotePort));
    block[kBlockPort] = static_cast<std::uint8_t>(port & 0xFF);
    block[kBlockPort + 1] = static_cast<std::uint8_t>(port >> 8);
    block[kBlockMode] = config.bytes[Record(ModuleConfig::kRemoteMode)];
    for (int u = 0; u < kUsers; ++u) {
        const std::size_t at = BlockUser(u);
        for (int k = 0; k < 4; ++k)
            block[at + static_cast<std::size_t>(k)] = config.bytes[UserIp(u, k)];
        const std::uint16_t userPort = config.U16(UserPort(u));
        block[at + kBlockUserPort] = static_cast<std::uint8_t>(userPort & 0xFF);
        block[at + kBlockUserPort + 1] = static_cast<std::uint8_t>(userPort >> 8);
    }
    SealBlock(block);
    return block;
}

const EditorSpec& RemoteManagementEditor() {
    static const EditorSpec spec = MakeRemoteManagementEditor();
    return spec;
}

}  // namespace kv
