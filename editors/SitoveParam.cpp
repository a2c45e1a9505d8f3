#include "editors/SitoveParam.h"

#include <string>

namespace kv {
namespace {

constexpr std::size_t kOctets = 12;  // address, mask and gateway, four octets each

EditorSpec MakeNetworkParamEditor() {
    struct Row {
        const char* heading;
        std::size_t offset;
        const char* message;
    };
    static const Row kRows[3] = {
        {"IP adresa", ModuleConfig::kIpAddress, "Hodnoty IP adresy musí být v rozsahu 0-255."},
        {"Maska podsítě", ModuleConfig::kNetMask, "Hodnoty masky musí být v rozsahu 0-255."},
        {"Brána", ModuleConfig::kGateway, "Hodnoty brany musí být v rozsahu 0-255."},
    };
    EditorSpec spec;
    spec.caption = " Nastavení síťových parametrů";
    spec.block = kNetworkParamBlock;
    for (std::size_t i = 0; i < kOctets; ++i) {
        const Row& row = kRows[i / 4];
        const std::size_t offset = row.offset + i % 4;
        spec.fields.push_back({"Edit" + std::to_string(i + 1),
                               std::string(row.heading) + " " + std::to_string(i % 4 + 1),
                               FieldKind::kEdit,
                               offset,
                               false,
                               0,
                               false,
                               {}});
        spec.checks.push_back({static_cast<int>(i),
                               CheckRule::kByteRange,
                               0,
                               255,
                               true,
                               offset,
                               row.message,
                               false,
                               {}});
    }
    spec.decode = DecodeNetworkParameters;
    spec.encode = EncodeNetworkParameters;
    return spec;
}

}  // namespace

void DecodeNetworkParameters(const ConfigBlock& block, ModuleConfig& config) {
    SetNetworkSettings(config, DecodeNetworkBlock(block));
}

ConfigBlock EncodeNetworkParameters(const ModuleConfig& config) {
    return EncodeNetworkBlock(NetworkSettingsOf(config));
}

void LoadDefaultAddresses(ModuleConfig& config) {
    SetNetworkSettings(config, NetworkSettingsOf(DefaultModuleConfig()));
}

const EditorSpec& NetworkParamEditor() {
    static const EditorSpec spec = MakeNetworkParamEditor();
    return spec;
}

}  // namespace kv
