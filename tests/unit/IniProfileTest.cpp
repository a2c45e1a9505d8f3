// Our settings reader against the answers of the Windows profile functions (the corpus,
// asked again under wine by the wine tests), and our writer against our reader.

#include <gtest/gtest.h>

#include <string>

#include "platform/IniFile.h"
#include "tests/support/ProfileCorpus.h"

namespace {

using namespace std::string_literals;
using kv::platform::IniEncoding;
using kv::platform::IniFile;

IniFile Parsed(const std::string& bytes) {
    IniFile ini;
    ini.Parse(bytes);
    return ini;
}

TEST(IniProfileTest, OurReaderGivesTheAnswersOfTheWindowsFunctions) {
    std::size_t asked = 0;
    for (const auto& c : kv::testing::ProfileCorpus()) {
        const IniFile ini = Parsed(c.bytes);
        for (const auto& q : c.questions) {
            EXPECT_EQ(ini.Get(q.section, q.key, q.buffer), q.answer)
                << c.name << ": [" << q.section << "] " << q.key << " (buffer " << q.buffer << ")";
            ++asked;
        }
    }
    EXPECT_GT(asked, 100u);
}

TEST(IniProfileTest, ValuesThatWouldNotReadBackAsThemselvesAreQuoted) {
    const std::string values[] = {" lead",  "trail\t", "\"both\"", "'single'", "\"",
                                  "'",      "\"x'",    "a\"b",     " ",        "\x1A",
                                  "plain",  "",        "\xA0nbsp", "mid dle",  "'\"'\"'",
                                  "\"\"\"", "=",       "[x]",      ";c"};
    for (const std::string& value : values) {
        IniFile ini = Parsed("[S]\r\nk=old\r\n");
        ASSERT_TRUE(ini.Set("S", "k", value)) << value;
        EXPECT_EQ(ini.Get("S", "k"), value);
        // Read again from the bytes, as the next run (or the Windows program) reads them.
        EXPECT_EQ(Parsed(ini.Serialize()).Get("S", "k"), value);
    }
    // Quotation marks only where needed: a plain value is written as it is.
    IniFile plain = Parsed("");
    ASSERT_TRUE(plain.Set("S", "k", "192.168.0.99"));
    ASSERT_TRUE(plain.Set("S", "q", " x "));
    EXPECT_EQ(plain.Serialize(), "[S]\r\nk=192.168.0.99\r\nq=\" x \"\r\n");
}

TEST(IniProfileTest, SetChangesTheLineTheFunctionsRead) {
    IniFile ini = Parsed(
        "[S]\r\n"
        "Port\r\n"  // a key without a value hides the one below
        "Port=1\r\n"
        "[Damaged\r\n"  // no section: its lines belong to [S]
        "x=1\r\n"
        "\r\n"
        "[s]\r\n"  // a second [S], never read
        "Gone=2\r\n");
    ASSERT_TRUE(ini.Set("S", "port", "7"));
    ASSERT_TRUE(ini.Set("S", "Gone", "3"));     // into the first [S]
    ASSERT_TRUE(ini.Set("Damaged", "y", "4"));  // a section of its own, at the end
    EXPECT_EQ(ini.Serialize(),
              "[S]\r\n"
              "port=7\r\n"
              "Port=1\r\n"
              "[Damaged\r\n"
              "x=1\r\n"
              "Gone=3\r\n"
              "\r\n"
              "[s]\r\n"
              "Gone=2\r\n"
              "[Damaged]\r\n"
              "y=4\r\n");
    EXPECT_EQ(ini.Get("S", "Port"), "7");
    EXPECT_EQ(ini.Get("s", "gone"), "3");
    EXPECT_EQ(ini.Get("Damaged", "y"), "4");
    // Names with white space at their ends would read back as other names.
    EXPECT_FALSE(ini.Set("S", "k\v", "1"));
    EXPECT_FALSE(ini.Set("\x1AS", "k", "1"));
}

TEST(IniProfileTest, UnicodeFilesAreReadAndWrittenInTheirOwnEncoding) {
    // "[Připojení]\nRozhraní=USBVx\nJiné=ⓘ" in UTF-8, UTF-16 LE and UTF-16 BE.
    const std::string utf8 =
        "[P\xC5\x99ipojen\xC3\xAD]\r\nRozhran\xC3\xAD=USBVx\r\nJin\xC3\xA9=\xE2\x93\x98\r\n";
    std::u16string text = u"[P\u0159ipojen\u00ED]\r\nRozhran\u00ED=USBVx\r\nJin\u00E9=\u24D8\r\n";
    auto utf16 = [&](bool big) {
        std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t u : text) {
            out += static_cast<char>(big ? u >> 8 : u & 0xFF);
            out += static_cast<char>(big ? u & 0xFF : u >> 8);
        }
        return out;
    };
    const std::string files[] = {"\xEF\xBB\xBF" + utf8, utf16(false), utf16(true)};
    const IniEncoding encodings[] = {IniEncoding::kUtf8, IniEncoding::kUtf16Le,
                                     IniEncoding::kUtf16Be};
    for (int i = 0; i < 3; ++i) {
        IniFile ini = Parsed(files[i]);
        EXPECT_EQ(ini.Encoding(), encodings[i]);
        EXPECT_EQ(ini.Serialize(), files[i]) << "read and written unchanged";
        // Names and values cross in code page 1250; what it lacks comes over as '?'.
        EXPECT_EQ(ini.Get("P\xF8ipojen\xED", "Rozhran\xED"), "USBVx");
        EXPECT_EQ(ini.Get("P\xF8ipojen\xED", "Jin\xE9"), "?");
        ASSERT_TRUE(ini.Set("P\xF8ipojen\xED", "Rozhran\xED", "\xE8"));  // "č"
        const IniFile again = Parsed(ini.Serialize());
        EXPECT_EQ(again.Encoding(), encodings[i]);
        EXPECT_EQ(again.Get("P\xF8ipojen\xED", "Rozhran\xED"), "\xE8");
        EXPECT_EQ(again.Lines()[2].value, "\xE2\x93\x98") << "the other key is kept whole";
    }
    // What UTF-16 cannot carry into UTF-8 (a lone surrogate, an odd last byte) reads as
    // U+FFFD, '?' in the code page, as the functions read it.
    const IniFile odd = Parsed("\xFF\xFE[\0S\0]\0\n\0k\0=\0\x00\xD8x\0\n"s);
    EXPECT_EQ(odd.Get("S", "k"), "?x?");
}

}  // namespace
