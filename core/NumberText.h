#pragma once

// Whole numbers as the program reads them: the operator's entries in every window and
// the integers of the settings file. One parser serves both; they differ only in the
// forms they accept.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kv {

// The forms a text may take.
struct IntegerSyntax {
    bool skipLeadingBlanks;    // "  42"
    bool signedHex;            // "-$10": a sign in front of a hexadecimal number
    bool bareXPrefix;          // "x1F" besides "$1F" and "0x1F"
    std::uint64_t decimalMax;  // largest decimal magnitude without a sign
};

// What the operator types: leading blanks, then an optional sign and decimal digits
// from -2^31 to 2^31-1, or hexadecimal digits after "$", "x", "X", "0x" or "0X" filling
// all 32 bits ($FFFFFFFF is -1).
inline constexpr IntegerSyntax kEntrySyntax{true, false, true, 0x7FFFFFFFull};
// The settings file: an optional sign, then decimal, or hexadecimal after "$", "0x" or
// "0X"; anything from -2^31 to 2^32-1, so a signed field reads 4294967295 as -1 and an
// unsigned one reads -1 as 4294967295, the same 32 bits either way.
inline constexpr IntegerSyntax kProfileSyntax{false, true, false, 0xFFFFFFFFull};

// The number's 32 bits; nullopt for a text that is not a whole number of that syntax
// (empty, anything after the digits, beyond 32 bits).
std::optional<std::uint32_t> ParseInteger(std::string_view text, const IntegerSyntax& syntax);

// The strict reading of an entry, and the reading with a default.
std::optional<std::int32_t> StrictNumber(std::string_view text);
std::int32_t NumberOrDefault(std::string_view text, std::int32_t fallback);

// The strict reading with a range, low <= number <= high compared as signed numbers.
std::optional<std::uint8_t> ByteFromText(std::string_view text, std::int32_t low,
                                         std::int32_t high);
std::optional<std::uint16_t> WordFromText(std::string_view text, std::int32_t low,
                                          std::int32_t high);

}  // namespace kv
