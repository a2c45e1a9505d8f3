#pragma once

// A module's configuration blocks over an open link, as a backup and a restore move them:
// reading blocks, and writing a restore's steps with read-back verification. A write that
// fails is followed by one read of the block, because the reply may be what was lost: the
// module then says itself whether it holds the block. Nothing here prints; the front ends
// say what happened in their own words.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/RestorePlan.h"
#include "core/ModuleLink.h"

namespace kv {

// How a run of reads or writes ended.
enum class TransferEnd {
    kDone,
    kFailed,   // a read or a write failed (its block and text are given)
    kStopped,  // asked to stop before the next block
};

struct BlocksRead {
    TransferEnd end = TransferEnd::kDone;
    std::vector<BackupBlock> blocks;  // the blocks read, in the order asked for
    std::uint16_t failed = 0;         // kFailed: the block whose read failed
    std::string status;               // kFailed: the read's text
};

// The five blocks, 250 to 254, in the editors' order: what a backup holds.
std::vector<std::uint16_t> AllBlocks();
// Reads the blocks in the order given, up to the first that fails. `stop` is asked before
// each read.
BlocksRead ReadBlocks(const ModuleLink& link, const std::vector<std::uint16_t>& numbers,
                      const std::function<bool()>& stop = {});
// The configuration the blocks stand for: each decoded by its editor over the defaults.
ModuleConfig ImageOfBlocks(const std::vector<BackupBlock>& blocks);

// What one verified write, and the read after a failed one, found.
enum class StepResult {
    kWritten,        // written and read back as planned
    kFoundWritten,   // the write failed, the read after it found the block as planned
    kFoundAsBefore,  // the write failed, the module holds what it held before
    kFoundOther,     // the write failed, the module holds neither the old nor the new
    kUnknown,        // the write failed and so did the read after it
};

struct StepOutcome {
    StepResult result = StepResult::kWritten;
    std::string writeStatus;  // the failed write's text
    std::string readStatus;   // kUnknown: the failed read's text
    bool Done() const {
        return result == StepResult::kWritten || result == StepResult::kFoundWritten;
    }
};

// How the writes of a restore ended, block by block.
struct PlanWriting {
    TransferEnd end = TransferEnd::kDone;
    std::vector<std::uint16_t> written;             // as planned, in the order written
    std::map<std::uint16_t, std::uint16_t> parked;  // blocks left on a free port: the port
    std::optional<std::uint16_t> unknown;           // a block nobody can say is written
    std::string status;                             // kFailed: the failed write's text
    std::vector<std::uint16_t> notWritten;          // the steps' other blocks, in write order

    bool Written(std::uint16_t block) const;
};

// Writes the steps (PlanWrites) in their order over `current`, the module's blocks as
// read. `stop` is asked before each step, `onStep` told of each step's outcome. The
// writes stop at the first step that is not done.
PlanWriting WriteSteps(
    const ModuleLink& link, const std::vector<WriteStep>& steps,
    const std::map<std::uint16_t, ConfigBlock>& current, const std::function<bool()>& stop = {},
    const std::function<void(const WriteStep&, const StepOutcome&)>& onStep = {});

}  // namespace kv
