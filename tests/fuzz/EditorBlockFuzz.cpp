// The editors' decoders and checks on arbitrary blocks and entries: a decoder changes only
// its editor's group and takes the access rights into what the lists show, what it decodes
// encodes into a block that sums to 0 and decodes the same again, and the checks change
// nothing outside the group either.

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

// Equal outside the bytes the editor's fields show.
bool SameOutside(const kv::EditorSpec& spec, const ModuleConfig& a, const ModuleConfig& b) {
    ModuleConfig x = a, y = b;
    for (const kv::EditorField& field : spec.fields)
        for (std::size_t i = 0; i < (field.word ? 2u : 1u); ++i)
            x.bytes[field.offset + i] = y.bytes[field.offset + i] = 0;
    return x == y;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::ConfigBlock block{};
    ModuleConfig base{};
    std::size_t at = 0;
    for (auto& b : block) b = at < size ? data[at++] : 0;
    for (auto& b : base.bytes) b = at < size ? data[at++] : 0;
    const std::string entries(reinterpret_cast<const char*>(data) + at, size - at);

    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        ModuleConfig decoded = base;
        spec->decode(block, decoded);
        Check(SameOutside(*spec, base, decoded));
        const kv::FieldStates shown = kv::ShowFields(*spec, decoded);
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (spec->fields[i].kind == kv::FieldKind::kList &&
                static_cast<int>(i) != spec->modeField)
                Check(shown[i].position >= 0);

        const kv::ConfigBlock encoded = spec->encode(decoded);
        unsigned sum = 0;
        for (std::uint8_t b : encoded) sum += b;
        Check(sum % 256 == 0);
        ModuleConfig again = base;
        spec->decode(encoded, again);
        Check(again == decoded);

        // Entries cut from the rest of the input, lists and enabled states from its bytes.
        kv::FieldStates fields = shown;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::size_t from = entries.empty() ? 0 : (i * 7) % entries.size();
            fields[i].text = entries.substr(from, i % 5);
            fields[i].position = entries.empty() ? -1 : entries[from] % 4 - 1;
            fields[i].enabled = entries.empty() || (entries[from] & 1);
        }
        ModuleConfig checked = decoded;
        const kv::CheckOutcome out = kv::CheckFields(*spec, fields, checked, {});
        Check(SameOutside(*spec, decoded, checked));
        Check(out.passed ? out.status == " " : out.failedField >= 0 && out.status.size() > 1);
    }
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    const ModuleConfig defaults = kv::DefaultModuleConfig();
    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        const kv::ConfigBlock block = spec->encode(defaults);
        std::vector<std::uint8_t> seed(block.begin(), block.end());
        seed.insert(seed.end(), defaults.bytes.begin(), defaults.bytes.end());
        const std::string entries = "5001 2 x 255 256 -1 $FF";
        seed.insert(seed.end(), entries.begin(), entries.end());
        out->push_back(seed);
    }
    return out->size();
}
