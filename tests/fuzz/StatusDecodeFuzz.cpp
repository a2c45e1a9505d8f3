// What the diagnostics make of any reply a library may hand back: both status decoders
// take every buffer (any 32-bit words, not only bytes) and any VLAN index without
// crashing, what the window shows of their values is always of its shape, and the values
// written back as the emulator writes its replies read back as they were written.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/StatusReplies.h"
#include "diagnostics/Diagnostika.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

using Bytes = std::array<std::uint8_t, kv::kStatusReplyWords>;

bool AllOf(const std::string& text, const char* allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

// Plain decimals, addresses, the MAC and the error record's "interface / user".
bool Numeric(const std::string& text) {
    return AllOf(text, "0123456789.:/ -ABCDEF") && text.size() <= 21;
}

// Well-formed UTF-8 without a zero, of at most count characters.
bool IsShortUtf8(const std::string& text, std::size_t count) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 0;
        if (c == 0 || length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        i += length;
    }
    return characters <= count;
}

void CheckModule(const kv::ModuleStatusView& view) {
    Check(IsShortUtf8(view.overview[0], 8) && IsShortUtf8(view.overview[1], 4) &&
          IsShortUtf8(view.overview[2], 8));
    Check(view.overview[3].size() == 17);
    Check(view.overview[4] == "pracovní" || view.overview[4] == "setup");
    for (std::size_t i = 3; i < 8; ++i)
        if (i != 4) Check(Numeric(view.overview[i]));
    for (const auto& row : view.network)
        for (const auto& cell : row) Check(Numeric(cell));
    for (const auto& value : view.rs485) Check(Numeric(value));
    if (view.rs485[2] == "0") Check(view.rs485[0] == "0");
    for (const auto& row : view.errors)
        for (const auto& cell : row) Check(Numeric(cell));
}

void CheckVlan(const kv::VlanStatusView& view, const std::string& separator) {
    const std::string& mode = view.values[1];
    const bool byAge = mode == "časovač platnosti IP adresy";
    Check(byAge || mode == "vypnuto" || mode == "tabulka uživatelů");
    // At most six digits before the separator, or the exponent form.
    const std::size_t at = view.values[2].find(separator);
    Check(at != std::string::npos && at >= 1 && at <= 6);
    for (std::size_t i = 0; i < 8; ++i)
        if (i != 1 && i != 2) Check(Numeric(view.values[i]));
    for (std::size_t u = 0; u < 3; ++u) {
        Check(view.userHeadings[u] ==
              (byAge ? kv::kUserHeadingsByAge[u] : kv::kUserHeadingsNumbered[u]));
        for (const auto& row : view.users) Check(Numeric(row[u]));
    }
    Check(view.shades == kv::ShadesForMode(mode == "vypnuto" ? 0 : byAge ? 1 : 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first four bytes choose the VLAN index (any int), one more the separator; the
    // rest fills the buffer's words, four bytes each.
    std::int32_t index = 0;
    if (size >= 4) std::memcpy(&index, data, 4);
    const std::size_t skip = std::min<std::size_t>(size, 5);
    const std::string separator = size >= 5 && (data[4] & 1) ? "," : ".";
    kv::DataBuffer buffer{};
    // An empty input may come as a null pointer, which memcpy must not be given.
    if (size > skip)
        std::memcpy(buffer.data(), data + skip,
                    std::min(size - skip, buffer.size() * sizeof(std::uint32_t)));

    const kv::Vlan vlan = kv::Vlan::FromIndex(index);
    const kv::ModuleStatus module = kv::DecodeModuleStatus(buffer);
    const kv::VlanStatus status = kv::DecodeVlanStatus(buffer, vlan);
    CheckModule(kv::FormatModuleStatus(module));
    CheckVlan(kv::FormatVlanStatus(status, separator), separator);
    if (index < 0 || index > 2)
        Check(status == kv::DecodeVlanStatus(buffer, kv::Vlan::FromIndex(0)));

    // Written as the emulator writes its replies and read again. A text the code page
    // cannot carry comes back as the window showed it (U+FFFD as "?"), so a second round
    // must change nothing; the VLAN record, all numbers, comes back at once.
    Bytes once{}, twice{};
    kv::WriteModuleStatus(module, once);
    kv::WriteModuleStatus(kv::ReadModuleStatus(once), twice);
    Check(once == twice);
    Bytes written{};
    kv::WriteVlanStatus(status, vlan, written);
    Check(kv::ReadVlanStatus(written, vlan) == status);
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    for (std::int32_t index : {0, 1, 2, -1, 5}) {
        std::vector<std::uint8_t> seed(5 + 4 * 300, 0);
        std::memcpy(seed.data(), &index, 4);
        seed[4] = 1;
        for (std::size_t w = 0; w < 300; ++w)
            seed[5 + 4 * w] = static_cast<std::uint8_t>(w * 37 + static_cast<std::size_t>(index));
        // Each interface's mode word in turn 0, 1, 2.
        for (std::size_t v = 0; v < 3; ++v)
            seed[5 + 4 * (4 + 80 * v + 2)] = static_cast<std::uint8_t>(v);
        out->push_back(seed);
    }
    return out->size();
}
