#pragma once

// The network parameters editor without its window: the module's IP address, subnet mask
// and gateway, kept in configuration block 254.

#include <cstdint>

#include "editors/ConfigEditor.h"

namespace kv {

// Block 254 into the IP address, the mask and the gateway.
void DecodeNetworkParameters(const ConfigBlock& block, ModuleConfig& config);
ConfigBlock EncodeNetworkParameters(const ModuleConfig& config);

// "Default parametry": the addresses of the default configuration into the editor copy.
void LoadDefaultAddresses(ModuleConfig& config);

// Fields Edit1..Edit12 (IP address, mask, gateway, four octets each), always enabled.
const EditorSpec& NetworkParamEditor();

}  // namespace kv
