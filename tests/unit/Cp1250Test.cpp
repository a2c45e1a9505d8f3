#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Cp1250.h"

namespace {

using kv::platform::Cp1250CharToUtf8;
using kv::platform::Cp1250ToUtf8;
using kv::platform::Utf8ToCp1250;

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The C library's own converter, an independent reading of the same code page.
// nullopt for a byte it rejects.
class SystemConverter {
  public:
    SystemConverter() : cd_(iconv_open("UTF-8", "CP1250")) {}
    ~SystemConverter() {
        if (Available()) iconv_close(cd_);
    }
    bool Available() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    std::optional<std::string> Convert(std::uint8_t byte) {
        char in[1] = {static_cast<char>(byte)};
        char out[8] = {};
        char* inPtr = in;
        char* outPtr = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return std::nullopt;
        return std::string(out, static_cast<std::size_t>(outPtr - out));
    }

  private:
    iconv_t cd_;
};

TEST(Cp1250Test, EveryByteAgreesWithTheSystemConverter) {
    SystemConverter system;
    if (!system.Available()) GTEST_SKIP() << "the C library has no CP1250 converter";
    int unassigned = 0;
    for (int b = 0; b < 256; ++b) {
        const auto expected = system.Convert(static_cast<std::uint8_t>(b));
        const std::string ours = Cp1250CharToUtf8(static_cast<std::uint8_t>(b));
        if (expected) {
            EXPECT_EQ(ours, *expected) << "byte " << b;
        } else {
            ++unassigned;
            EXPECT_EQ(ours, kReplacement) << "byte " << b;
        }
    }
    EXPECT_EQ(unassigned, 5);
}

TEST(Cp1250Test, EveryAssignedByteRoundTripsAndTheHolesDoNot) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        if (Cp1250CharToUtf8(byte) == kReplacement) {
            // The replacement character is no character of the code page either.
            EXPECT_EQ(Utf8ToCp1250(kReplacement), "?");
            continue;
        }
        all += static_cast<char>(byte);
        EXPECT_EQ(Utf8ToCp1250(Cp1250CharToUtf8(byte)), std::string(1, static_cast<char>(byte)))
            << b;
    }
    EXPECT_EQ(all.size(), 251u);
    EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
    for (std::uint8_t b : {0x81, 0x83, 0x88, 0x90, 0x98})
        EXPECT_EQ(Cp1250CharToUtf8(b), kReplacement) << int(b);
}

TEST(Cp1250Test, CzechLettersHaveTheirCodes) {
    // Lower case, then the same letters in upper case.
    const std::string utf8 =
        "čřžšůáíéýěťďňóú"
        "ČŘŽŠŮÁÍÉÝĚŤĎŇÓÚ";
    const std::string cp = Utf8ToCp1250(utf8);
    const std::string expected =
        "\xE8\xF8\x9E\x9A\xF9\xE1\xED\xE9\xFD\xEC\x9D\xEF\xF2\xF3\xFA"
        "\xC8\xD8\x8E\x8A\xD9\xC1\xCD\xC9\xDD\xCC\x8D\xCF\xD2\xD3\xDA";
    EXPECT_EQ(cp, expected);
    EXPECT_EQ(Cp1250ToUtf8(cp), utf8);
    const std::string ascii("\0 Az~\x7F", 6);
    EXPECT_EQ(Utf8ToCp1250(ascii), ascii);
    EXPECT_EQ(Cp1250ToUtf8(ascii), ascii);
}

TEST(Cp1250Test, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
    EXPECT_EQ(Utf8ToCp1250("a\xE6\xBC\xA2"
                           "b"),
              "a?b");                                    // CJK, three bytes
    EXPECT_EQ(Utf8ToCp1250("\xF0\x9F\x98\x80!"), "?!");  // emoji, four bytes
    EXPECT_EQ(Utf8ToCp1250("\xC3\xB1"), "?");            // ñ: Latin-1 but not here
    EXPECT_EQ(Utf8ToCp1250("\xC2\x81"), "?");            // U+0081 is not byte 0x81
    EXPECT_EQ(Utf8ToCp1250("\xE2\x82\xAC"), "\x80");     // € is
}

TEST(Cp1250Test, MalformedUtf8CostsOneQuestionMarkPerByte) {
    EXPECT_EQ(Utf8ToCp1250("\x80"), "?");    // stray continuation byte
    EXPECT_EQ(Utf8ToCp1250("a\xC4"), "a?");  // truncated at the end
    EXPECT_EQ(Utf8ToCp1250("\xC4"
                           "a"),
              "?a");                                      // lead byte without continuation
    EXPECT_EQ(Utf8ToCp1250("\xC0\xAF"), "??");            // overlong "/"
    EXPECT_EQ(Utf8ToCp1250("\xE0\x80\xAF"), "???");       // overlong, three bytes
    EXPECT_EQ(Utf8ToCp1250("\xED\xA0\x80"), "???");       // surrogate
    EXPECT_EQ(Utf8ToCp1250("\xF4\x90\x80\x80"), "????");  // beyond U+10FFFF
    EXPECT_EQ(Utf8ToCp1250("\xFF\xFE"), "??");
    // A good letter right after a bad byte is still found.
    EXPECT_EQ(Utf8ToCp1250("\xE2\x82\xC4\x8D"), "??\xE8");
}

}  // namespace
