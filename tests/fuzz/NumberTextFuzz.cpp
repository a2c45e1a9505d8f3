// Whatever an operator types, the readings of a whole number agree with one another: the
// strict reading is the entry syntax's 32 bits, the reading with a default falls back only
// where the strict one fails, and the range readings deliver exactly the numbers in range.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/NumberText.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

template <typename T, typename Read>
void CheckRange(std::string_view text, std::int32_t low, std::int32_t high, Read read) {
    const auto strict = kv::StrictNumber(text);
    const std::optional<T> value = read(text, low, high);
    const bool inRange = strict && *strict >= low && *strict <= high;
    Check(value.has_value() == inRange);
    if (value) Check(static_cast<std::int32_t>(*value) == *strict);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto bits = kv::ParseInteger(text, kv::kEntrySyntax);
    const auto strict = kv::StrictNumber(text);
    Check(bits.has_value() == strict.has_value());
    if (strict) {
        Check(static_cast<std::uint32_t>(*strict) == *bits);
        // The number written back in decimal reads as itself.
        Check(kv::StrictNumber(std::to_string(*strict)) == strict);
    }
    Check(kv::NumberOrDefault(text, -77) == strict.value_or(-77));

    CheckRange<std::uint8_t>(text, 0, 255, kv::ByteFromText);
    CheckRange<std::uint8_t>(text, 1, 255, kv::ByteFromText);
    CheckRange<std::uint16_t>(text, 0, 65535, kv::WordFromText);

    // The settings file's syntax: what it reads, written as the file writes numbers, reads
    // back to the same 32 bits.
    if (const auto profile = kv::ParseInteger(text, kv::kProfileSyntax)) {
        Check(kv::ParseInteger(std::to_string(*profile), kv::kProfileSyntax) == profile);
        Check(kv::ParseInteger(std::to_string(static_cast<std::int32_t>(*profile)),
                               kv::kProfileSyntax) == profile);
    }
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    for (const char* seed : {"255", "-1", "  $FF", "0x10000", "x7fffffff", "-2147483648",
                             "4294967295", "$FFFFFFFF", "+65535", "-$10"}) {
        const std::string s(seed);
        out->emplace_back(s.begin(), s.end());
    }
    return out->size();
}
