#include "emulator/Blocks.h"

namespace kv::emu {

BlockSet DefaultBlocks() {
    const ModuleConfig config = DefaultModuleConfig();
    BlockSet set{};
    for (std::size_t i = 0; i < set.size(); ++i)
        set[i] = ConfigBlockOf(config, static_cast<std::uint16_t>(kFirstConfigBlock + i));
    return set;
}

}  // namespace kv::emu
