#include "backup/ModuleBlocks.h"

#include <algorithm>

#include "editors/EditorTable.h"

namespace kv {

std::vector<std::uint16_t> AllBlocks() {
    std::vector<std::uint16_t> blocks;
    for (const EditorSpec* spec : AllEditors()) blocks.push_back(spec->block);
    return blocks;
}

BlocksRead ReadBlocks(const ModuleLink& link, const std::vector<std::uint16_t>& numbers,
                      const std::function<bool()>& stop) {
    BlocksRead read;
    for (std::uint16_t number : numbers) {
        if (stop && stop()) {
            read.end = TransferEnd::kStopped;
            return read;
        }
        BackupBlock block;
        block.number = number;
        const TransferOutcome outcome = ReadConfigBlock(link, number, block.bytes, {});
        if (outcome.result != TransferResult::kDone) {
            read.end = TransferEnd::kFailed;
            read.failed = number;
            read.status = outcome.status;
            return read;
        }
        read.blocks.push_back(block);
    }
    return read;
}

ModuleConfig ImageOfBlocks(const std::vector<BackupBlock>& blocks) {
    ModuleConfig image = DefaultModuleConfig();
    for (const BackupBlock& block : blocks) {
        const EditorSpec* spec = EditorForBlock(block.number);
        if (spec != nullptr && spec->decode) spec->decode(block.bytes, image);
    }
    return image;
}

bool PlanWriting::Written(std::uint16_t block) const {
    return std::find(written.begin(), written.end(), block) != written.end();
}

PlanWriting WriteSteps(const ModuleLink& link, const std::vector<WriteStep>& steps,
                       const std::map<std::uint16_t, ConfigBlock>& current,
                       const std::function<bool()>& stop,
                       const std::function<void(const WriteStep&, const StepOutcome&)>& onStep,
                       const std::function<void(const WriteStep&)>& onStart) {
    PlanWriting writing;
    // What the module holds as the writes go on.
    std::map<std::uint16_t, ConfigBlock> held = current;
    auto notWritten = [&] {
        for (std::uint16_t block : WriteOrder()) {
            const bool stepped = std::any_of(steps.begin(), steps.end(),
                                             [&](const WriteStep& s) { return s.block == block; });
            if (stepped && !writing.Written(block) && writing.unknown != block)
                writing.notWritten.push_back(block);
        }
    };

    for (const WriteStep& step : steps) {
        const std::uint16_t block = step.block;
        if (stop && stop()) {
            writing.end = TransferEnd::kStopped;
            notWritten();
            return writing;
        }
        if (onStart) onStart(step);
        StepOutcome outcome;
        const TransferOutcome write = WriteConfigBlock(link, block, step.bytes, {});
        if (write.result != TransferResult::kDone) {
            outcome.writeStatus = write.status;
            ConfigBlock found{};
            const TransferOutcome read = ReadConfigBlock(link, block, found, {});
            if (read.result != TransferResult::kDone) {
                outcome.result = StepResult::kUnknown;
                outcome.readStatus = read.status;
            } else {
                outcome.damaged = found[kConfigBlockSize - 1] != BlockChecksum(found);
            }
            if (read.result != TransferResult::kDone) {
            } else if (found == step.bytes) {
                outcome.result = StepResult::kFoundWritten;
            } else if (found == held[block]) {
                outcome.result = StepResult::kFoundAsBefore;
            } else {
                outcome.result = StepResult::kFoundOther;
            }
        }
        if (onStep) onStep(step, outcome);
        if (outcome.Done()) {
            held[block] = step.bytes;
            if (step.parking) {
                writing.parked[block] = step.port;
            } else {
                writing.parked.erase(block);
                writing.written.push_back(block);
            }
            continue;
        }
        writing.end = TransferEnd::kFailed;
        writing.status = write.status;
        if (outcome.result == StepResult::kUnknown) writing.unknown = block;
        notWritten();
        return writing;
    }
    return writing;
}

ModuleRecord RecordBefore(const std::vector<std::uint16_t>& selected,
                          const std::map<std::uint16_t, ConfigBlock>& current,
                          const std::vector<BackupBlock>& changed) {
    ModuleRecord record;
    for (std::uint16_t block : WriteOrder()) {
        if (std::find(selected.begin(), selected.end(), block) == selected.end()) continue;
        BlockRecord one{block, BlockState::kNotWritten, 0};
        const bool changes = std::any_of(changed.begin(), changed.end(),
                                         [&](const BackupBlock& b) { return b.number == block; });
        const auto held = current.find(block);
        if (held != current.end() &&
            held->second[kConfigBlockSize - 1] != BlockChecksum(held->second)) {
            one.state = BlockState::kDamaged;
        } else if (held != current.end() && !changes) {
            one.state = BlockState::kUnchanged;
        }
        record.push_back(one);
    }
    return record;
}

void SetState(ModuleRecord& record, std::uint16_t block, BlockState state, std::uint16_t port) {
    for (BlockRecord& one : record) {
        if (one.block != block) continue;
        one.state = state;
        one.port = port;
        return;
    }
    record.push_back({block, state, port});
}

void RecordStart(ModuleRecord& record, const WriteStep& step) {
    for (BlockRecord& one : record) {
        if (one.block != step.block) continue;
        one.prior = one.state == BlockState::kUnchanged ? BlockState::kNotWritten : one.state;
        one.priorPort = one.port;
        one.state = BlockState::kWriting;
        return;
    }
    record.push_back({step.block, BlockState::kWriting, 0, BlockState::kNotWritten, 0});
}

void RecordStep(ModuleRecord& record, const WriteStep& step, const StepOutcome& outcome) {
    switch (outcome.result) {
        case StepResult::kWritten:
        case StepResult::kFoundWritten:
            if (step.parking) {
                SetState(record, step.block, BlockState::kParked, step.port);
            } else {
                SetState(record, step.block, BlockState::kWritten);
            }
            return;
        case StepResult::kFoundAsBefore:
            // As it was: parked still, not written, or damaged as before.
            for (BlockRecord& one : record) {
                if (one.block != step.block || one.state != BlockState::kWriting) continue;
                one.state = outcome.damaged ? BlockState::kDamaged : one.prior;
                one.port = one.priorPort;
            }
            return;
        case StepResult::kFoundOther:
            SetState(record, step.block,
                     outcome.damaged ? BlockState::kDamaged : BlockState::kOther);
            return;
        case StepResult::kUnknown:
            SetState(record, step.block, BlockState::kUnknown);
            return;
    }
}

}  // namespace kv
