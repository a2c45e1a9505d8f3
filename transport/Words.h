#pragma once

// The word blocks of the transport libraries' contract: the texts they hand over one
// character per word, and the parameters of Init.

#include <array>
#include <cstdint>
#include <string>

namespace kv {

// One character per word, code page 1250 in the low byte: how the transport libraries
// hand over their error texts.
using TextWords = std::array<std::uint32_t, 1024>;

// Parameters handed to a transport library's Init. Words are pointer-sized so that a
// text word can carry a pointer to a zero-terminated code-page-1250 string; numbers
// travel as their 32-bit value, zero-extended.
using InitBlock = std::array<std::uintptr_t, 16>;

// UTF-8 text into words 1.. (at most 99 characters, code page 1250), word 0 and the rest 0.
void TextToWords(const std::string& text, TextWords& words);
// Words 0..99 back to UTF-8: a zero word 0 is skipped, reading stops at the next zero word.
std::string TextFromWords(const TextWords& words);

}  // namespace kv
