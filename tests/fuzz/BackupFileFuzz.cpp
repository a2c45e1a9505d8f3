// The backup file reader and the restore plan on arbitrary bytes: a file is either
// refused with problems that name lines inside it, or every block the plan would write
// carries a right checksum and comes back byte for byte through a backup of it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/RestorePlan.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const kv::BackupRead read = kv::ReadBackupText(bytes);
    std::size_t lines = 1;
    for (char c : bytes) lines += c == '\n' || c == '\r';
    for (const auto& problem : read.problems) Check(problem.line <= lines && !problem.text.empty());
    if (!read.problems.empty()) return 0;

    const kv::Selection selection = kv::SelectBlocks(read.document, {}, false);
    if (!selection.error.empty()) return 0;
    const kv::RestorePlan plan =
        kv::PlanRestore(read.document, selection.blocks, kv::DefaultModuleConfig());
    std::vector<kv::BackupBlock> written;
    for (const auto& block : plan.blocks) {
        if (block.refusal) {
            Check(block.refusal->line <= lines);
            continue;
        }
        Check(block.target[kv::kConfigBlockSize - 1] == kv::BlockChecksum(block.target));
        if (block.asStored) Check(block.target == *read.document.Find(block.section->block)->data);
        written.push_back({block.section->block, block.target});
    }
    const kv::BackupRead again =
        kv::ReadBackupText(kv::BackupText(read.document.Identity(), written));
    Check(again.problems.empty() || written.empty());
    for (const auto& block : written)
        Check(again.document.Find(block.number) != nullptr &&
              *again.document.Find(block.number)->data == block.bytes);
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    std::vector<kv::BackupBlock> blocks;
    for (const auto& section : kv::BlockSections())
        blocks.push_back({section.block, section.spec->encode(kv::DefaultModuleConfig())});
    const std::string full = kv::BackupText({"KV-3380U v.1.20", "00000001", ""}, blocks);
    out->emplace_back(full.begin(), full.end());
    const std::string small =
        "[vlan1]\nČíslo UDP portu=6000\nRežim rozhraní=2\nDoba platnosti IP adresy [s]=1\n"
        "Přístup rozhraní=pouze čtení\nUživatel 1 IP adresa=1.2.3.4\nUživatel 1 Přístup=1\n"
        "Uživatel 2 IP adresa=0.0.0.0\nUživatel 2 Přístup=0\nUživatel 3 IP adresa=9.9.9.9\n"
        "Uživatel 3 Přístup=0\n";
    out->emplace_back(small.begin(), small.end());
    return out->size();
}
