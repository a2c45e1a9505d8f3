#pragma once

// Blocks, frames and buffers compared as readable byte strings: "00c0a80063...".

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::testing {

// Two lower-case hex digits per byte, no separators.
std::string Hex(const std::uint8_t* bytes, std::size_t size);
// The low byte of each word, as the module's buffers carry bytes.
std::string HexOfWords(const std::uint32_t* words, std::size_t size);

template <std::size_t N>
std::string Hex(const std::array<std::uint8_t, N>& bytes) {
    return Hex(bytes.data(), N);
}
inline std::string Hex(const std::vector<std::uint8_t>& bytes) {
    return Hex(bytes.data(), bytes.size());
}
template <std::size_t N>
std::string Hex(const std::array<std::uint32_t, N>& words) {
    return HexOfWords(words.data(), N);
}

// The bytes of a hex text; blanks are ignored, so long literals can be grouped.
// Anything else that is not a hex digit, or an odd count of digits, gives an empty result.
std::vector<std::uint8_t> FromHex(std::string_view hex);

// A hex text of count zero bytes, to pad a literal: "00" x count.
std::string Zeros(std::size_t count);

}  // namespace kv::testing
