#include "diagnostics/StatusReader.h"

#include "platform/Cp1250.h"

namespace kv {

std::uint8_t StatusReader::Byte(std::size_t word) const {
    return word < data_.size() ? static_cast<std::uint8_t>(data_[word] & 0xFF) : 0;
}

std::uint16_t StatusReader::U16(std::size_t word) const {
    return static_cast<std::uint16_t>(Byte(word) | (Byte(word + 1) << 8));
}

std::uint32_t StatusReader::U32(std::size_t word) const {
    return static_cast<std::uint32_t>(Byte(word)) |
           static_cast<std::uint32_t>(Byte(word + 1)) << 8 |
           static_cast<std::uint32_t>(Byte(word + 2)) << 16 |
           static_cast<std::uint32_t>(Byte(word + 3)) << 24;
}

std::string StatusReader::Ipv4(std::size_t word) const {
    return std::to_string(Byte(word)) + "." + std::to_string(Byte(word + 1)) + "." +
           std::to_string(Byte(word + 2)) + "." + std::to_string(Byte(word + 3));
}

std::string StatusReader::Text(std::size_t word, std::size_t count) const {
    std::string cp1250;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t c = Byte(word + i);
        if (c == 0) break;
        cp1250.push_back(static_cast<char>(c));
    }
    return platform::Cp1250ToUtf8(cp1250);
}

}  // namespace kv
