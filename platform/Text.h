#pragma once

// Small text helpers every unit shares: names compared without regard to the case of
// ASCII letters, UTF-8 checked and counted by characters, blanks trimmed.

#include <cstddef>
#include <string>
#include <string_view>

namespace kv::platform {

char AsciiLower(char c);
// Equal but for the case of ASCII letters. Bytes above 0x7F compare as they are, so
// "připojení" and "PŘIPOJENÍ" are different names (no locale decides it).
bool SameAsciiName(std::string_view a, std::string_view b);

// Decodes the UTF-8 sequence at pos into cp and its length in bytes. False for a
// malformed one (stray continuation byte, truncated sequence, overlong form, surrogate,
// beyond U+10FFFF); a caller that goes on then consumes a single byte.
bool DecodeUtf8(std::string_view text, std::size_t pos, char32_t& cp, std::size_t& length);
// Appends a code point (up to U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);
// Well-formed UTF-8: no stray continuation byte, truncated sequence, overlong form,
// surrogate or code point beyond U+10FFFF.
bool IsValidUtf8(std::string_view text);
// Characters of a UTF-8 text (its lead bytes), so that a Czech letter counts once.
std::size_t Utf8Length(std::string_view text);
// The first n characters of a UTF-8 text (the whole text when it is shorter).
std::string Utf8Prefix(const std::string& text, std::size_t n);

// The text without the blanks (spaces) at its ends.
std::string TrimBlanks(std::string_view text);

// A text for a line: the zero characters a module's name may hold are left out.
std::string Printable(const std::string& text);

}  // namespace kv::platform
