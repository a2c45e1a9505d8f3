#pragma once

// The Czech texts behind every code a library returns, as the utility shows them.

#include <cstdint>
#include <string>

namespace kv::lib {

// UTF-8 text of a code for a library of this kind (some texts name the kind's device).
std::string ErrorTextUtf8(std::uint8_t kind, std::uint32_t code);

// The Czech letters, the rest of ASCII unchanged, anything else '?': all the texts here
// need, without pulling the program's code-page tables into every library.
std::string ToCp1250(const std::string& utf8);

// Writes the text as the contract wants it: one code-page-1250 character per word from
// word 1 on, at most 99, word 0 and every word after the text 0.
void WriteTextWords(const std::string& cp1250, std::uint32_t* words1024);

}  // namespace kv::lib
