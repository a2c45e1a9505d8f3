// A module and a backup file made from the bytes, ports drawn from a few so that they
// meet: a plan the editors' checks accept is written in steps each with a right checksum,
// every changed block ends as planned and nothing else is written, the VLAN interfaces
// go first and the module's own address last, a parked interface waits on a port nobody
// uses, and no step leaves two interfaces on one port that did not share it before.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "backup/RestorePlan.h"
#include "editors/EditorTable.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

using Blocks = std::map<std::uint16_t, kv::ConfigBlock>;
constexpr std::uint16_t kVlans[3] = {251, 252, 253};

// Bytes are taken one by one; past the end they read as zero.
struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t Next() { return at < size ? data[at++] : 0; }
};

kv::ModuleConfig Config(Reader& in) {
    kv::ModuleConfig config = kv::DefaultModuleConfig();
    for (int v = 0; v < 3; ++v) {
        const std::size_t base = kv::ModuleConfig::VlanOffset(v);
        config.SetU16(base + kv::ModuleConfig::kVlanPort,
                      static_cast<std::uint16_t>(5000 + in.Next() % 4));
        config.bytes[base + kv::ModuleConfig::kVlanMode] = in.Next() % 4;
    }
    // A few more bytes anywhere, as a person may have edited anything.
    for (int k = in.Next() % 4; k > 0; --k) {
        const std::size_t offset = in.Next() % kv::ModuleConfig::kSize;
        config.bytes[offset] = in.Next();
    }
    return config;
}

Blocks Encoded(const kv::ModuleConfig& config) {
    Blocks blocks;
    for (const auto* spec : kv::AllEditors()) blocks[spec->block] = spec->encode(config);
    return blocks;
}

int SharedPairs(const Blocks& module) {
    int pairs = 0;
    for (int a = 0; a < 3; ++a)
        for (int b = a + 1; b < 3; ++b)
            pairs += *kv::InterfacePort(kVlans[a], module.at(kVlans[a])) ==
                     *kv::InterfacePort(kVlans[b], module.at(kVlans[b]));
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const Blocks module = Encoded(Config(in));
    const kv::ModuleConfig wanted = Config(in);
    const std::uint8_t choice = in.Next();
    const std::uint8_t rowsDropped = in.Next();

    std::vector<kv::BackupBlock> fileBlocks;
    for (const auto& [block, bytes] : Encoded(wanted)) fileBlocks.push_back({block, bytes});
    std::string text = kv::BackupText({"KV-3380U v.1.20", "00000001", ""}, fileBlocks);
    // Sections without their Data rows are built from their values over the module.
    std::string kept;
    std::size_t section = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start + 1);
        start = end + 1;
        if (line.rfind("[", 0) == 0) ++section;
        if (line.rfind("Data ", 0) == 0 && (rowsDropped >> (section % 8) & 1)) continue;
        kept += line;
    }
    const kv::BackupRead read = kv::ReadBackupText(kept);
    Check(read.problems.empty());

    std::vector<std::string> only;
    for (const auto& s : kv::BlockSections())
        if (choice >> (s.block - 250) & 1) only.push_back(s.name);
    const kv::Selection selection = kv::SelectBlocks(read.document, only, (choice & 0x80) != 0);
    if (!selection.error.empty()) return 0;

    kv::ModuleConfig image = kv::DefaultModuleConfig();
    for (std::uint16_t block : kv::BlocksToRead(selection.blocks))
        kv::EditorForBlock(block)->decode(module.at(block), image);
    const kv::RestorePlan plan = kv::PlanRestore(read.document, selection.blocks, image);
    if (plan.Refused()) return 0;

    std::vector<kv::BackupBlock> changed;
    for (const kv::PlannedBlock& planned : plan.blocks) {
        Check(planned.target[kv::kConfigBlockSize - 1] == kv::BlockChecksum(planned.target));
        if (planned.target != module.at(planned.section->block))
            changed.push_back({planned.section->block, planned.target});
    }
    const std::vector<kv::WriteStep> steps = kv::PlanWrites(changed, module);

    Blocks now = module;
    int shared = SharedPairs(now);
    std::size_t rank = 0;  // VLANs 0, remote 1, network 2: never going back
    for (const kv::WriteStep& step : steps) {
        Check(step.bytes[kv::kConfigBlockSize - 1] == kv::BlockChecksum(step.bytes));
        const std::size_t stepRank = step.block >= 251 && step.block <= 253 ? 0
                                     : step.block == 250                    ? 1
                                                                            : 2;
        Check(stepRank >= rank);
        rank = stepRank;
        if (step.parking) {
            Check(stepRank == 0);
            Check(kv::InterfacePort(step.block, step.bytes) == step.port);
            for (const auto& blocks : {module, now})
                for (std::uint16_t vlan : kVlans)
                    Check(*kv::InterfacePort(vlan, blocks.at(vlan)) != step.port);
            for (const kv::BackupBlock& target : changed)
                if (const auto port = kv::InterfacePort(target.number, target.bytes))
                    Check(*port != step.port);
        }
        now[step.block] = step.bytes;
        Check(SharedPairs(now) <= shared);
        shared = SharedPairs(now);
    }
    // Every changed block as planned, everything else as it was.
    Blocks expected = module;
    for (const kv::BackupBlock& target : changed) expected[target.number] = target.bytes;
    Check(now == expected);
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    // Module ports / modes, then the file's: a swap, a ring, a chain, and a module that
    // shares a port.
    out->push_back({0, 1, 1, 0, 2, 1, 0, 1, 0, 1, 2, 1, 0, 0x1F, 0x00});
    out->push_back({0, 1, 1, 0, 2, 1, 0, 1, 2, 1, 0, 1, 0, 0x1F, 0xFF});
    out->push_back({0, 1, 1, 0, 2, 1, 0, 1, 1, 1, 2, 1, 3, 1, 0, 0x0E, 0x00});
    out->push_back({1, 1, 1, 0, 2, 1, 0, 0, 0, 1, 1, 1, 2, 1, 0, 0x9E, 0x00});
    return out->size();
}
