#pragma once

// Code page 1250 exists only at the boundaries (settings file, word texts, InitBlock
// texts, characters in module replies); inside the program texts are UTF-8.

#include <cstdint>
#include <string>

namespace kv::platform {

// A character that code page 1250 lacks becomes '?'. Invalid UTF-8 bytes too.
std::string Utf8ToCp1250(const std::string& utf8);
// Every byte maps to a character; the five unassigned codes map to U+FFFD.
std::string Cp1250ToUtf8(const std::string& cp1250);
// The byte of a character (a Unicode code point), '?' when the code page lacks it.
char Cp1250ByteOf(char32_t cp);
// One code-page-1250 byte to UTF-8.
std::string Cp1250CharToUtf8(std::uint8_t byte);

}  // namespace kv::platform
