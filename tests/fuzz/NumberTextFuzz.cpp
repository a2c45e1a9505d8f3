// Whatever an operator types, the readings of a whole number agree: the strict reading is
// the entry syntax's 32 bits, the default is taken only where it fails, the range readings
// deliver exactly the numbers in range, and a number written back reads as itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/NumberText.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto bits = kv::ParseInteger(text, kv::kEntrySyntax);
    const auto strict = kv::StrictNumber(text);
    Check(bits.has_value() == strict.has_value());
    if (strict) {
        Check(static_cast<std::uint32_t>(*strict) == *bits);
        Check(kv::StrictNumber(std::to_string(*strict)) == strict);
    }
    Check(kv::NumberOrDefault(text, -77) == strict.value_or(-77));
    for (const auto& [low, high] : {std::pair{0, 255}, std::pair{1, 255}, std::pair{0, 65535}}) {
        const bool inRange = strict && *strict >= low && *strict <= high;
        const auto byte = kv::ByteFromText(text, low, std::min(high, 255));
        const auto word = kv::WordFromText(text, low, high);
        Check(word.has_value() == inRange && (!word || *word == *strict));
        Check(byte.has_value() == (inRange && *strict <= 255) && (!byte || *byte == *strict));
    }
    // The settings file's syntax: a number it reads, written in decimal, reads back.
    if (const auto profile = kv::ParseInteger(text, kv::kProfileSyntax))
        Check(kv::ParseInteger(std::to_string(static_cast<std::int32_t>(*profile)),
                               kv::kProfileSyntax) == profile);
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    for (std::string s :
         {"255", "  $FF", "0x10000", "x7fffffff", "-2147483648", "$FFFFFFFF", "-$10"})
        out->emplace_back(s.begin(), s.end());
    return out->size();
}
