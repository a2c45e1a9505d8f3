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
                       const std::function<void(const WriteStep&, const StepOutcome&)>& onStep) {
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
        StepOutcome outcome;
        const TransferOutcome write = WriteConfigBlock(link, block, step.bytes, {});
        if (write.result != TransferResult::kDone) {
            outcome.writeStatus = write.status;
            ConfigBlock found{};
            const TransferOutcome read = ReadConfigBlock(link, block, found, {});
            if (read.result != TransferResult::kDone) {
                outcome.result = StepResult::kUnknown;
                outcome.readStatus = read.status;
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

}  // namespace kv
