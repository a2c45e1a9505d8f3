#pragma once

// How the module's status replies carry their values: one byte per word, in its low
// 8 bits; numbers of several bytes low byte first; an IPv4 address as four bytes, first
// octet first; a text as one code-page-1250 character per word. Both status decoders
// read through this, so a value is assembled the same way wherever it stands.

#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/Qxxx380.h"

namespace kv {

class StatusReader {
  public:
    explicit StatusReader(const DataBuffer& data) : data_(data) {}

    // A word past the end of the buffer reads as 0, so no caller can read beyond it.
    std::uint8_t Byte(std::size_t word) const;
    std::uint16_t U16(std::size_t word) const;
    std::uint32_t U32(std::size_t word) const;
    // Four decimal numbers without leading zeros, joined by ".".
    std::string Ipv4(std::size_t word) const;
    // count characters from word on, as UTF-8; the text ends at a zero byte.
    std::string Text(std::size_t word, std::size_t count) const;

  private:
    const DataBuffer& data_;
};

}  // namespace kv
