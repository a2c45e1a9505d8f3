#include "backup/RestorePreview.h"

#include <algorithm>

#include "backup/BlockSettings.h"
#include "core/ConfigBlocks.h"
#include "editors/ConfigEditor.h"

namespace kv {

std::vector<std::string> BlockPreview::PlanLines() const {
    if (!changed) return {BlockTag(block) + " beze změny"};
    std::vector<std::string> lines = {BlockTag(block) + " změny:"};
    for (const BlockChange& change : changes)
        lines.push_back("  " + change.what + ": " + change.before + " → " + change.after);
    return lines;
}

std::vector<BackupBlock> RestorePreview::Targets(const std::vector<std::uint16_t>& chosen) const {
    std::vector<BackupBlock> targets;
    for (const BlockPreview& block : blocks)
        if (block.changed && std::find(chosen.begin(), chosen.end(), block.block) != chosen.end())
            targets.push_back({block.block, block.target});
    return targets;
}

RestorePreview PreviewRestore(const BackupDocument& doc, const std::vector<std::uint16_t>& selected,
                              const std::vector<BackupBlock>& read, const std::string& source,
                              const std::function<std::optional<std::string>()>& foreign) {
    RestorePreview preview;
    for (const BackupBlock& block : read) preview.current[block.number] = block.bytes;
    preview.before = ImageOfBlocks(read);
    preview.plan = PlanRestore(doc, selected, preview.before);
    if (preview.plan.Refused()) return preview;

    const std::uint16_t network = SectionByName("network")->block;
    for (const PlannedBlock& planned : preview.plan.blocks) {
        BlockPreview block;
        block.block = planned.section->block;
        for (const FileProblem& warning : planned.warnings)
            block.notes.push_back(Located(source, {warning.line, "upozornění: " + warning.text}));
        for (const FileProblem& note : planned.notes)
            block.notes.push_back(Located(source, {note.line, "poznámka: " + note.text}));
        const ConfigBlock& now = preview.current[block.block];
        if (!ChecksumValid(now))
            block.notes.push_back(BlockTag(block.block) +
                                  " blok v modulu má chybný kontrolní součet");
        block.target = planned.target;
        block.changed = now != planned.target;
        if (block.changed) {
            block.changes = DiffBlocks(*planned.section->spec, now, planned.target);
            // The network block goes only to the module the file was saved from: its IP
            // address would otherwise leave two modules with one address.
            if (block.block == network && foreign) block.foreign = foreign();
        }
        preview.blocks.push_back(std::move(block));
    }
    return preview;
}

std::vector<Lockout> TargetLockouts(const ModuleConfig& before,
                                    const std::vector<BackupBlock>& targets) {
    ModuleConfig after = before;
    for (const BackupBlock& target : targets)
        if (const EditorSpec* spec = SectionByBlock(target.number)->spec; spec->decode)
            spec->decode(target.bytes, after);
    return Lockouts(before, after);
}

std::string LockoutText(const Lockout& lockout, bool allowed) {
    return BlockTag(lockout.block) + (allowed ? " upozornění: " : " ") + lockout.text;
}

std::string ParkingText(const WriteStep& step) {
    return BlockTag(step.block) + " se kvůli výměně portů nejprve přesune na volný port " +
           std::to_string(step.port);
}

std::vector<std::string> StepReports(const WriteStep& step, const StepOutcome& outcome) {
    if (outcome.result == StepResult::kWritten) return {};
    const std::string tag = BlockTag(step.block);
    std::vector<std::string> lines = {tag + " " + outcome.writeStatus};
    switch (outcome.result) {
        case StepResult::kWritten:
            break;
        case StepResult::kUnknown:
            lines.push_back(tag + " zpětné čtení po chybě selhalo (" + outcome.readStatus +
                            "): zda je blok zapsán, není známo");
            break;
        case StepResult::kFoundWritten:
            lines.push_back(tag + " zpětné čtení po chybě: blok je v modulu zapsán");
            break;
        case StepResult::kFoundAsBefore:
            lines.push_back(tag + " zpětné čtení po chybě: blok zapsán není, modul má " +
                            "dosavadní obsah");
            break;
        case StepResult::kFoundOther:
            lines.push_back(tag + " zpětné čtení po chybě: blok zapsán není, modul má " +
                            (outcome.damaged ? std::string("blok s chybným kontrolním součtem "
                                                           "(poškozený)")
                                             : std::string("jiný obsah, než měl i než se "
                                                           "zapisoval")));
            break;
    }
    return lines;
}

std::string StepDoneText(const WriteStep& step) {
    if (step.parking)
        return BlockTag(step.block) + " port dočasně přesunut na " + std::to_string(step.port);
    return BlockTag(step.block) + " " + kWriteDoneText;
}

}  // namespace kv
