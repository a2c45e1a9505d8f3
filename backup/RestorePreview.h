#pragma once

// A restore of one module before anything is written: the file's plan against the blocks
// read from the module, block by block as both front ends show it (the command line's
// --dry-run prints it, the restore window lists it), and the texts of the writes that
// follow: a port parked, a failed write and what the read after it found.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/ModuleBlocks.h"
#include "backup/RestorePlan.h"

namespace kv {

// One chosen block of a restore against the module's block.
struct BlockPreview {
    std::uint16_t block = 0;
    // What the restore warns of, a line each, before its plan: values the block's mode
    // leaves unused and keys that win over the Data rows ("modul.ini:14: upozornění: ..."),
    // a block the module holds with a wrong checksum.
    std::vector<std::string> notes;
    bool changed = false;
    std::vector<BlockChange> changes;  // by setting, then bytes no setting shows
    ConfigBlock target{};              // what would be written
    // The network block of a file of another module: why it stays out unless named.
    std::optional<std::string> foreign;

    // "[vlan1] beze změny", or "[vlan1] změny:" and a line per change: "  what: a → b".
    std::vector<std::string> PlanLines() const;
};

struct RestorePreview {
    std::map<std::uint16_t, ConfigBlock> current;  // the module's blocks as read
    ModuleConfig before;                           // the configuration they stand for
    RestorePlan plan;                              // refused: no blocks below
    std::vector<BlockPreview> blocks;              // the plan's, in write order

    // The changed blocks among `chosen`, with their targets, in write order.
    std::vector<BackupBlock> Targets(const std::vector<std::uint16_t>& chosen) const;
};

// The plan of the `selected` blocks of the file against the module's blocks `read` (those
// BlocksToRead names). `source` names the file in the notes; `foreign`, when given, is
// asked about the network block when it would change (ForeignFile).
RestorePreview PreviewRestore(const BackupDocument& doc, const std::vector<std::uint16_t>& selected,
                              const std::vector<BackupBlock>& read, const std::string& source,
                              const std::function<std::optional<std::string>()>& foreign = {});

// What writing the targets over `before` would cut of the way to the module over the LAN.
std::vector<Lockout> TargetLockouts(const ModuleConfig& before,
                                    const std::vector<BackupBlock>& targets);
// "[remote] vzdálená správa by se vypnula ...": the lockout's line, a warning once allowed.
std::string LockoutText(const Lockout& lockout, bool allowed);
// "[vlan2] se kvůli výměně portů nejprve přesune na volný port 65535"
std::string ParkingText(const WriteStep& step);
// A failed step, a line each: the write's text and what the read after it found.
std::vector<std::string> StepReports(const WriteStep& step, const StepOutcome& outcome);
// A step done: "[vlan1] Konfigurace zapsána.", or "[vlan2] port dočasně přesunut na N".
std::string StepDoneText(const WriteStep& step);

}  // namespace kv
