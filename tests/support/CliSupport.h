#pragma once

// What the tests of the command-line program share: a module's five blocks as the
// editors encode a configuration, and a program's output cut into lines.

#include <sstream>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/BlockSettings.h"

namespace kv::testing {

// The module the tests' backups are of.
inline const ModuleIdentity kTestModule{"KV-3380U v.1.20", "00000001", "02-00-00-00-00-01"};

inline std::vector<BackupBlock> BlocksOf(const ModuleConfig& config) {
    std::vector<BackupBlock> blocks;
    for (const BlockSection& section : BlockSections())
        blocks.push_back({section.block, section.spec->encode(config)});
    return blocks;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace kv::testing
