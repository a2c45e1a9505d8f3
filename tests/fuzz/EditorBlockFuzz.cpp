// The editors' block decoders and checks on arbitrary blocks and entries: a decoder
// changes only its editor's group, takes every value into the range its list can show,
// and what it decodes encodes into a block that sums to 0 and decodes to the same again;
// the checks touch nothing outside the group either, and name a failing field.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "editors/EditorTable.h"

namespace {

using kv::ModuleConfig;

void Check(bool condition) {
    if (!condition) std::abort();
}

// The bytes of the configuration an editor owns: its fields, word fields two bytes.
std::vector<bool> GroupBytes(const kv::EditorSpec& spec) {
    std::vector<bool> group(ModuleConfig::kSize, false);
    for (const kv::EditorField& field : spec.fields) {
        group[field.offset] = true;
        if (field.word) group[field.offset + 1] = true;
    }
    return group;
}

void CheckOutsideUnchanged(const std::vector<bool>& group, const ModuleConfig& before,
                           const ModuleConfig& after) {
    for (std::size_t i = 0; i < ModuleConfig::kSize; ++i)
        if (!group[i]) Check(before.bytes[i] == after.bytes[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::ConfigBlock block{};
    ModuleConfig base{};
    std::size_t at = 0;
    for (std::size_t k = 0; k < block.size() && at < size; ++k) block[k] = data[at++];
    for (std::size_t k = 0; k < base.bytes.size() && at < size; ++k) base.bytes[k] = data[at++];
    // The rest: one entry per line for the checks.
    std::vector<std::string> entries(1);
    for (; at < size; ++at) {
        if (data[at] == '\n') {
            entries.emplace_back();
        } else {
            entries.back().push_back(static_cast<char>(data[at]));
        }
    }

    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        const std::vector<bool> group = GroupBytes(*spec);
        ModuleConfig decoded = base;
        spec->decode(block, decoded);
        CheckOutsideUnchanged(group, base, decoded);

        const kv::FieldStates shown = kv::ShowFields(*spec, decoded);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const auto& field = spec->fields[i];
            if (field.kind == kv::FieldKind::kList && spec->modeField != static_cast<int>(i)) {
                // Access rights are always one the list shows.
                Check(shown[i].position >= 0 &&
                      shown[i].position < static_cast<int>(field.items.size()));
            }
        }

        const kv::ConfigBlock encoded = spec->encode(decoded);
        unsigned sum = 0;
        for (std::uint8_t b : encoded) sum += b;
        Check(sum % 256 == 0);
        ModuleConfig again = base;
        spec->decode(encoded, again);
        Check(again == decoded);

        kv::FieldStates fields = shown;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string& entry = entries[i % entries.size()];
            if (spec->fields[i].kind == kv::FieldKind::kList) {
                fields[i].position =
                    entry.empty() ? -1 : static_cast<unsigned char>(entry[0]) % 4 - 1;
            } else {
                fields[i].text = entry;
            }
            fields[i].enabled = !entry.empty() && (entry[0] & 1);
        }
        ModuleConfig checked = decoded;
        const kv::CheckOutcome out = kv::PrectiOkno(*spec, fields, checked, {});
        CheckOutsideUnchanged(group, decoded, checked);
        Check(!out.status.empty() && out.status[0] == ' ');
        Check(out.passed == (out.failedCheck < 0));
        if (!out.passed) Check(out.failedField >= 0 && out.status.size() > 1);
    }
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    const ModuleConfig defaults = kv::DefaultModuleConfig();
    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        const kv::ConfigBlock block = spec->encode(defaults);
        std::vector<std::uint8_t> seed(block.begin(), block.end());
        seed.insert(seed.end(), defaults.bytes.begin(), defaults.bytes.end());
        for (const char* entry : {"5001", "\n", "2", "\n", "x", "\n", "255", "\n", "256"})
            seed.insert(seed.end(), entry, entry + std::char_traits<char>::length(entry));
        out->push_back(seed);
    }
    return out->size();
}
