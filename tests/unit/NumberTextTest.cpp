#include <gtest/gtest.h>

#include <limits>

#include "core/NumberText.h"

namespace kv {
namespace {

TEST(StrictNumber, DecimalWithSignAndLeadingBlanks) {
    EXPECT_EQ(StrictNumber("65535"), 65535);
    EXPECT_EQ(StrictNumber("65536"), 65536);
    EXPECT_EQ(StrictNumber("-1"), -1);
    EXPECT_EQ(StrictNumber("+5"), 5);
    EXPECT_EQ(StrictNumber("-0"), 0);
    EXPECT_EQ(StrictNumber("  42"), 42);
    EXPECT_EQ(StrictNumber("007"), 7);
}

TEST(StrictNumber, HexadecimalForms) {
    for (const char* text : {"$1388", "0x1388", "0X1388", "x1388", "X1388", " $1388"}) {
        EXPECT_EQ(StrictNumber(text), 5000) << text;
    }
    EXPECT_EQ(StrictNumber("$abCD"), 0xABCD);
    EXPECT_EQ(StrictNumber("$0000000FF"), 255);  // leading zeros do not count against the width
    EXPECT_EQ(StrictNumber("$FFFFFFFF"), -1);
    EXPECT_EQ(StrictNumber("$80000000"), std::numeric_limits<std::int32_t>::min());
}

TEST(StrictNumber, RejectsWhatIsNotAWholeNumber) {
    for (const char* text : {"",
                             "   ",
                             "5 ",
                             "$1388 ",
                             "+",
                             "-",
                             "$",
                             "x",
                             "0x",
                             "- 5",
                             "+-5",
                             "-$10",
                             "+0x10",
                             "12a",
                             "1e3",
                             "1.0",
                             "$12G",
                             "0x-1",
                             "\t5",
                             "\xC2\xA0"
                             "5"}) {
        EXPECT_FALSE(StrictNumber(text).has_value()) << '"' << text << '"';
    }
}

TEST(StrictNumber, ValuesBeyond32BitsAreRejected) {
    EXPECT_EQ(StrictNumber("2147483647"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(StrictNumber("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_FALSE(StrictNumber("2147483648").has_value());
    EXPECT_FALSE(StrictNumber("-2147483649").has_value());
    EXPECT_FALSE(StrictNumber("4294967296").has_value());
    EXPECT_FALSE(StrictNumber("99999999999999999999999").has_value());
    EXPECT_FALSE(StrictNumber("$100000000").has_value());
    EXPECT_FALSE(StrictNumber("0xFFFFFFFFFFFFFFFF1").has_value());
}

TEST(NumberOrDefault, FallsBackOnlyForNonNumbers) {
    EXPECT_EQ(NumberOrDefault("abc", 17), 17);
    EXPECT_EQ(NumberOrDefault("", -3), -3);
    EXPECT_EQ(NumberOrDefault("0", 17), 0);
    EXPECT_EQ(NumberOrDefault("$10", 17), 16);
}

TEST(EntryRanges, ByteAndWordPassTheirBoundsAndRefuseEverythingElse) {
    EXPECT_EQ(ByteFromText("0", 0, 255), 0);
    EXPECT_EQ(ByteFromText("255", 0, 255), 255);
    EXPECT_EQ(ByteFromText(" $FF", 0, 255), 255);
    for (const char* text : {"256", "-1", "", "abc", "1 ", "$FFFFFFFF"}) {
        EXPECT_FALSE(ByteFromText(text, 0, 255).has_value()) << '"' << text << '"';
    }
    EXPECT_FALSE(ByteFromText("0", 1, 255).has_value());
    EXPECT_EQ(ByteFromText("1", 1, 255), 1);

    EXPECT_EQ(WordFromText("65535", 0, 65535), 65535);
    EXPECT_EQ(WordFromText("$1388", 0, 65535), 5000);
    EXPECT_FALSE(WordFromText("65536", 0, 65535).has_value());
    EXPECT_FALSE(WordFromText("-1", 0, 65535).has_value());
}

// The settings file's integers share the parser but not the entry forms.
TEST(ProfileSyntax, SignedHexAndUnsignedRangeButNoBlanksOrBareX) {
    EXPECT_EQ(ParseInteger("-$10", kProfileSyntax), 0xFFFFFFF0u);
    EXPECT_EQ(ParseInteger("4294967295", kProfileSyntax), 0xFFFFFFFFu);
    EXPECT_EQ(ParseInteger("-2147483648", kProfileSyntax), 0x80000000u);
    EXPECT_EQ(ParseInteger("0X1f", kProfileSyntax), 31u);
    for (const char* text : {"x10", " 5", "4294967296", "-2147483649", "0x", "$"}) {
        EXPECT_FALSE(ParseInteger(text, kProfileSyntax).has_value()) << '"' << text << '"';
    }
    EXPECT_FALSE(ParseInteger("-$10", kEntrySyntax).has_value());
    EXPECT_FALSE(ParseInteger("4294967295", kEntrySyntax).has_value());
}

}  // namespace
}  // namespace kv
