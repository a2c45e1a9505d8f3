// The texts of the transport libraries, one character per word.

#include <gtest/gtest.h>

#include <string>

#include "transport/Words.h"

namespace kv {
namespace {

TEST(Words, TextToWordsFillsWordsOneTo99AndClearsTheRest) {
    TextWords w;
    w.fill(0xFFFFFFFF);  // leftovers of an earlier text must go
    TextToWords("abc", w);
    TextWords expected{};
    expected[1] = 97;
    expected[2] = 98;
    expected[3] = 99;
    EXPECT_EQ(w, expected);
    EXPECT_EQ(TextFromWords(w), "abc");

    std::string text;
    for (int i = 0; i < 120; ++i) text += static_cast<char>('a' + i % 26);
    w.fill(0xFFFFFFFF);
    TextToWords(text, w);
    EXPECT_EQ(w[0], 0u);
    EXPECT_EQ(w[99], static_cast<std::uint32_t>(text[98]));
    for (std::size_t i = 100; i < w.size(); ++i) ASSERT_EQ(w[i], 0u) << i;
    EXPECT_EQ(TextFromWords(w), text.substr(0, 99));

    // A two-byte UTF-8 letter is one character and one word.
    std::string czech;
    for (int i = 0; i < 120; ++i) czech += i % 2 ? "ž" : "Ř";
    TextToWords(czech, w);
    EXPECT_EQ(w[1], 0xD8u);
    EXPECT_EQ(w[2], 0x9Eu);
    EXPECT_EQ(w[100], 0u);
    EXPECT_EQ(TextFromWords(w), czech.substr(0, 99 * 2));
}

TEST(Words, TextFromWordsReadsWords0To99UpToAZeroWord) {
    TextWords w{};
    w[0] = 65;
    EXPECT_EQ(TextFromWords(w), "A");
    w.fill('x');
    EXPECT_EQ(TextFromWords(w), std::string(100, 'x'));
    w[0] = 0;
    EXPECT_EQ(TextFromWords(w), std::string(99, 'x'));
    w.fill(0);
    EXPECT_EQ(TextFromWords(w), "");
    w[1] = 'a';
    w[3] = 'b';  // after the zero word 2: never reached
    EXPECT_EQ(TextFromWords(w), "a");

    w[1] = 0x141;   // "A" with junk above it
    w[2] = 0x100;   // non-zero, so no end, yet its character would be NUL
    w[3] = 0xE8;    // "č"
    w[4] = 0xFF00;  // as word 2
    w[5] = 0x81;    // a code the code page lacks
    EXPECT_EQ(TextFromWords(w), "Ač\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kv
