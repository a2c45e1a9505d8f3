#include "core/NumberText.h"

namespace kv {
namespace {

bool HexDigit(char c, unsigned& digit) {
    if (c >= '0' && c <= '9') {
        digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::uint32_t> ParseInteger(std::string_view text, const IntegerSyntax& syntax) {
    std::size_t i = 0;
    if (syntax.skipLeadingBlanks) {
        while (i < text.size() && text[i] == ' ') ++i;
    }
    bool sign = false;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        sign = true;
        negative = text[i] == '-';
        ++i;
    }

    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        i += 1;
    } else if (syntax.bareXPrefix && i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        i += 1;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (base == 16 && sign && !syntax.signedHex) return std::nullopt;
    if (i >= text.size()) return std::nullopt;

    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        unsigned digit = 0;
        if (!HexDigit(text[i], digit) || digit >= base) return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull) return std::nullopt;
    }
    if (negative) {
        if (magnitude > 0x80000000ull) return std::nullopt;
        return static_cast<std::uint32_t>((0x100000000ull - magnitude) & 0xFFFFFFFFull);
    }
    if (base == 10 && magnitude > syntax.decimalMax) return std::nullopt;
    return static_cast<std::uint32_t>(magnitude);
}

std::optional<std::int32_t> StrictNumber(std::string_view text) {
    const auto bits = ParseInteger(text, kEntrySyntax);
    if (!bits) return std::nullopt;
    return static_cast<std::int32_t>(*bits);
}

std::int32_t NumberOrDefault(std::string_view text, std::int32_t fallback) {
    return StrictNumber(text).value_or(fallback);
}

std::optional<std::uint8_t> ByteFromText(std::string_view text, std::int32_t low,
                                         std::int32_t high) {
    const auto value = StrictNumber(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::optional<std::uint16_t> WordFromText(std::string_view text, std::int32_t low,
                                          std::int32_t high) {
    const auto value = StrictNumber(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

}  // namespace kv
