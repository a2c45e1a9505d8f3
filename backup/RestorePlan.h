#pragma once

// What a restore will write: for each chosen block of a backup file, the block built from
// the file's values after the editors' own checks (or the file's bytes as they stand when
// its values are those bytes' values), and what it changes against the module's block.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"

namespace kv {

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
    std::vector<FileProblem> notes;      // keys that win over the Data rows' bytes
    ConfigBlock target{};                // what would be written, when not refused
    bool asStored = false;               // target is the file's Data rows byte for byte
};

struct RestorePlan {
    std::vector<PlannedBlock> blocks;  // in write order
    bool Refused() const;
    // What each refused block was refused for, in the plan's order.
    std::vector<FileProblem> Refusals() const;
};

// The configuration a file stands for by itself: its blocks' Data rows over the defaults,
// which a file's values are judged against before any module is asked.
ModuleConfig ImageOfFile(const BackupDocument& doc);

// image: the module's configuration as it stands (the blocks BlocksToRead named, decoded
// over the defaults). Each chosen block is checked as the editor checks its fields, the
// VLAN ports against the other interfaces' ports as they will be after the restore. Without
// `othersKnown` (no module yet) a VLAN port is compared only with the chosen VLANs'.
RestorePlan PlanRestore(const BackupDocument& doc, const std::vector<std::uint16_t>& selected,
                        ModuleConfig image, bool othersKnown = true);

// Why the file's network block must not go to the module of the serial number given
// (empty: the module did not say): its IP address would then go to another module than
// the one the file was saved from. Nothing when the file is of this module.
std::optional<std::string> ForeignFile(const BackupDocument& doc, const std::string& serial);

// Whether a restore would take the file's bytes as they stand (its form, every block it
// names, each value passing the editors' checks): the first reason when not.
std::optional<std::string> WhyNotRestorable(const std::string& bytes);

// The configuration once the plan's blocks are written over `image`.
ModuleConfig ImageAfter(const RestorePlan& plan, ModuleConfig image);

// What a restore would do to the way to the module over the LAN: remote management
// switched off, or an interface moved onto the remote management port (the module then
// cannot open the interface). Only what the restore itself brings about counts.
struct Lockout {
    std::uint16_t block = 0;  // the block whose write brings it about
    std::string text;         // what would follow
};
std::vector<Lockout> Lockouts(const ModuleConfig& before, const ModuleConfig& after);

// One verified write of a restore.
struct WriteStep {
    std::uint16_t block = 0;
    ConfigBlock bytes{};
    // The interface moves to a port nobody uses first, out of the way of one that takes
    // its port; a later step writes it as planned.
    bool parking = false;
    std::uint16_t port = 0;  // the port it parks on
};

// The writes of the changed blocks (each with the bytes planned for it) in the order they
// go to the module: the VLAN interfaces first, then remote management, the module's own
// address last. No write puts an interface on a port that another interface holds at that
// moment: one whose new port another is leaving waits for it, and of interfaces that trade
// ports one parks on a free port first (the highest one that no interface and no remote
// management uses, before or after). So a restore cut off between two writes never leaves
// two interfaces on one port. `current`: the module's blocks as read.
std::vector<WriteStep> PlanWrites(const std::vector<BackupBlock>& changed,
                                  const std::map<std::uint16_t, ConfigBlock>& current);

struct BlockChange {
    std::string what;  // a setting's name, or "bajt N" for bytes no setting shows
    std::string before;
    std::string after;
};

// What writing target over current changes, by setting (the read-only ones too), then
// the bytes that no setting accounts for.
std::vector<BlockChange> DiffBlocks(const EditorSpec& spec, const ConfigBlock& current,
                                    const ConfigBlock& target);

}  // namespace kv
