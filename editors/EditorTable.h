#pragma once

// The five configuration blocks and the editor that owns each, for whatever works on
// blocks by number (a window opens its own editor directly).

#include <array>
#include <cstdint>

#include "editors/ConfigEditor.h"

namespace kv {

// Blocks 250..254 in order: remote management, VLAN 1..3, network parameters.
const std::array<const EditorSpec*, 5>& AllEditors();
// The editor of a block, nullptr for a number outside 250..254.
const EditorSpec* EditorForBlock(std::uint16_t block);

}  // namespace kv
