#pragma once

// What a restore will write: for each chosen block of a backup file, the block built from
// the file's values after the editors' own checks (or the file's bytes as they stand when
// its values are those bytes' values), and what it changes against the module's block.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/BackupFile.h"

namespace kv::cli {

// The order the blocks are written in: the VLAN interfaces, then remote management, then
// the module's own address last, the two that decide how the module is reached.
const std::vector<std::uint16_t>& WriteOrder();

struct Selection {
    std::vector<std::uint16_t> blocks;  // in write order
    std::string error;                  // when the choice cannot be made
};

// The blocks --only names (empty: every block the file holds, less the network block when
// cloning to several modules, as each keeps its own address).
Selection SelectBlocks(const BackupDocument& doc, const std::vector<std::string>& only,
                       bool cloning);

// The module's blocks a plan needs: the chosen ones and, for the check that a VLAN port
// is not taken by another interface, the VLAN blocks not chosen.
std::vector<std::uint16_t> BlocksToRead(const std::vector<std::uint16_t>& selected);

struct PlannedBlock {
    const BlockSection* section = nullptr;
    std::optional<FileProblem> refusal;  // the first value refused, with its line
    std::vector<FileProblem> warnings;   // values the block's mode leaves unused
    ConfigBlock target{};                // what would be written, when not refused
    bool asStored = false;               // target is the file's Data rows byte for byte
};

struct RestorePlan {
    std::vector<PlannedBlock> blocks;  // in write order
    bool Refused() const;
    // What each refused block was refused for, in the plan's order.
    std::vector<FileProblem> Refusals() const;
};

// image: the module's configuration as it stands (the blocks BlocksToRead named, decoded
// over the defaults). Each chosen block is checked as the editor checks its fields, the
// VLAN ports against the other interfaces' ports as they will be after the restore. Without
// `othersKnown` (no module yet) a VLAN port is compared only with the chosen VLANs'.
RestorePlan PlanRestore(const BackupDocument& doc, const std::vector<std::uint16_t>& selected,
                        ModuleConfig image, bool othersKnown = true);

struct BlockChange {
    std::string what;  // a setting's name, or "bajt N" for bytes no setting shows
    std::string before;
    std::string after;
};

// What writing target over current changes, by setting (the read-only ones too), then
// the bytes that no setting accounts for.
std::vector<BlockChange> DiffBlocks(const EditorSpec& spec, const ConfigBlock& current,
                                    const ConfigBlock& target);

}  // namespace kv::cli
