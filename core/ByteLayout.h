#pragma once

// How the module lays its values out in bytes: numbers of several bytes low byte first,
// an address as its octets in order. Each layout (a status reply, a configuration block,
// a record of the configuration image) is one function template that names every field
// of a record with its position, called with a ByteReader to fill the record from bytes
// or with a ByteWriter to write the record into them: reading and writing follow the
// one statement and cannot disagree.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kv {

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // A position past the end reads as 0, so no layout reads beyond its bytes.
    void Byte(std::size_t at, std::uint8_t& value) const { value = At(at); }
    void U16(std::size_t at, std::uint16_t& value) const {
        value = static_cast<std::uint16_t>(At(at) | At(at + 1) << 8);
    }
    void U32(std::size_t at, std::uint32_t& value) const {
        value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value |= static_cast<std::uint32_t>(At(at + i)) << 8 * i;
    }
    template <std::size_t N>
    void Bytes(std::size_t at, std::array<std::uint8_t, N>& value) const {
        for (std::size_t i = 0; i < N; ++i) value[i] = At(at + i);
    }

  protected:
    std::uint8_t At(std::size_t at) const { return at < bytes_.size() ? bytes_[at] : 0; }

  private:
    std::span<const std::uint8_t> bytes_;
};

class ByteWriter {
  public:
    explicit ByteWriter(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

    // A position past the end is not written.
    void Byte(std::size_t at, std::uint8_t value) const { Put(at, value); }
    void U16(std::size_t at, std::uint16_t value) const {
        Put(at, static_cast<std::uint8_t>(value));
        Put(at + 1, static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::size_t at, std::uint32_t value) const {
        for (std::size_t i = 0; i < 4; ++i) Put(at + i, static_cast<std::uint8_t>(value >> 8 * i));
    }
    template <std::size_t N>
    void Bytes(std::size_t at, const std::array<std::uint8_t, N>& value) const {
        for (std::size_t i = 0; i < N; ++i) Put(at + i, value[i]);
    }

  protected:
    void Put(std::size_t at, std::uint8_t value) const {
        if (at < bytes_.size()) bytes_[at] = value;
    }

  private:
    std::span<std::uint8_t> bytes_;
};

}  // namespace kv
