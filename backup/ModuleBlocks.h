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
    bool damaged = false;     // the read after the failed write found a wrong checksum
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
// read. `stop` is asked before each step, `onStart` told of each write before it is sent,
// `onStep` of each step's outcome. The writes stop at the first step that is not done.
PlanWriting WriteSteps(const ModuleLink& link, const std::vector<WriteStep>& steps,
                       const std::map<std::uint16_t, ConfigBlock>& current,
                       const std::function<bool()>& stop = {},
                       const std::function<void(const WriteStep&, const StepOutcome&)>& onStep = {},
                       const std::function<void(const WriteStep&)>& onStart = {});

// What a restore has left in the module, block by block, as it goes: what the front ends
// report at its end, and at once when the program must end before that.
enum class BlockState {
    kUnchanged,   // the module held it already
    kNotWritten,  // the module holds what it held
    kWriting,     // its write is under way: whether it arrives nobody can say yet
    kWritten,     // written and read back as planned
    kParked,      // its interface waits on a free port (`port`) for its planned one
    kUnknown,     // a write failed and so did the read after it
    kOther,       // a write failed; the module holds neither the old nor the new block
    kDamaged,     // the module holds it with a wrong checksum
};
struct BlockRecord {
    std::uint16_t block = 0;
    BlockState state = BlockState::kNotWritten;
    std::uint16_t port = 0;  // kParked
    // kWriting: what the module held before the write, for a write that does not arrive.
    BlockState prior = BlockState::kNotWritten;
    std::uint16_t priorPort = 0;
};
using ModuleRecord = std::vector<BlockRecord>;  // in write order

// Before any write: the chosen blocks, those the module holds as planned unchanged, one
// that it holds with a wrong checksum damaged, the others not written.
ModuleRecord RecordBefore(const std::vector<std::uint16_t>& selected,
                          const std::map<std::uint16_t, ConfigBlock>& current,
                          const std::vector<BackupBlock>& changed);
void SetState(ModuleRecord& record, std::uint16_t block, BlockState state, std::uint16_t port = 0);
// A step's write about to be sent, and its outcome, into the record.
void RecordStart(ModuleRecord& record, const WriteStep& step);
void RecordStep(ModuleRecord& record, const WriteStep& step, const StepOutcome& outcome);

}  // namespace kv
