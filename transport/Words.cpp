#include "transport/Words.h"

#include "platform/Cp1250.h"

namespace kv {
namespace {
constexpr std::size_t kMaxWordTextLength = 99;
}

void TextToWords(const std::string& text, TextWords& words) {
    words.fill(0);
    const std::string bytes = platform::Utf8ToCp1250(text);
    const std::size_t n = bytes.size() < kMaxWordTextLength ? bytes.size() : kMaxWordTextLength;
    for (std::size_t i = 0; i < n; ++i) words[i + 1] = static_cast<std::uint8_t>(bytes[i]);
}

std::string TextFromWords(const TextWords& words) {
    std::string bytes;
    for (std::size_t i = 0; i <= kMaxWordTextLength; ++i) {
        const std::uint32_t word = words[i];
        if (word == 0) {
            if (i == 0) continue;
            break;
        }
        // A word such as 256 is not the end of the text (only a zero word is), yet its
        // character is NUL, which no text can hold: it would cut the text short in
        // every C string it is handed on in. The word is passed over.
        const auto c = static_cast<std::uint8_t>(word & 0xFF);
        if (c == 0) continue;
        bytes += static_cast<char>(c);
    }
    return platform::Cp1250ToUtf8(bytes);
}

}  // namespace kv
