#include "core/ModuleConfig.h"

namespace kv {

ModuleConfig DefaultModuleConfig() {
    ModuleConfig c;
    auto& b = c.bytes;
    b[ModuleConfig::kAddress] = 1;
    b[ModuleConfig::kSpeedCode] = 4;  // 9600 Bd
    const std::uint8_t ip[4] = {192, 168, 0, 99};
    const std::uint8_t mask[4] = {255, 255, 255, 0};
    const std::uint8_t gateway[4] = {192, 168, 0, 123};
    for (std::size_t k = 0; k < 4; ++k) {
        b[ModuleConfig::kIpAddress + k] = ip[k];
        b[ModuleConfig::kNetMask + k] = mask[k];
        b[ModuleConfig::kGateway + k] = gateway[k];
    }
    for (int v = 0; v < 3; ++v) {
        const std::size_t base = ModuleConfig::VlanOffset(v);
        c.SetU16(base + ModuleConfig::kVlanPort, static_cast<std::uint16_t>(5000 + v));
        b[base + ModuleConfig::kVlanMode] = v == 0 ? 1 : 0;
        b[base + ModuleConfig::kVlanValidity] = 10;
    }
    c.SetU16(ModuleConfig::kRemote + ModuleConfig::kRemotePort, 56565);
    b[ModuleConfig::kRemote + ModuleConfig::kRemoteMode] = 1;
    return c;
}

}  // namespace kv
