#include "tests/support/ProfileCorpus.h"

namespace kv::testing {
namespace {

using namespace std::string_literals;

std::optional<std::string> Absent() {
    return std::nullopt;
}

// Byte-order marks and UTF-16 files.
std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const auto hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

std::vector<ProfileCase> Build() {
    std::vector<ProfileCase> c;

    c.push_back({"blanks around lines, names and values: white space and ^Z, but not NBSP",
                 "[S]\n a = \" x \" \n  o  =1\np q=2\nh=\t\tv\t\t\ni=\vv\v\nj=\fv\f\n"
                 "k=\x1Av\x1A\nl=\xA0v\xA0\n",
                 {{"S", "a", " x "},
                  {" S\t", " a ", " x "},
                  {"S", "o", "1"},
                  {"S", "p q", "2"},
                  {"S", "p  q", Absent()},
                  {"S", "h", "v"},
                  {"S", "i", "v"},
                  {"S", "j", "v"},
                  {"S", "k", "v"},
                  {"S", "l", "\xA0v\xA0"}}});

    c.push_back({"one pair of equal quotation marks around a value is dropped",
                 "[S]\nb=\"x\nc=\"\"\nd=\"\ne='y'\nf=\"y'\ng=  \"a\"b\"  \nq=\"\"\"\nr=\"a\" \n"
                 "s=''\nt='\n",
                 {{"S", "b", "\"x"},
                  {"S", "c", ""},
                  {"S", "d", "\""},
                  {"S", "e", "y"},
                  {"S", "f", "\"y'"},
                  {"S", "g", "a\"b"},
                  {"S", "q", "\""},
                  {"S", "r", "a"},
                  {"S", "s", ""},
                  {"S", "t", "'"}}});

    {
        // The closing mark goes by dropping the last character copied, and only when the
        // rest after the opening mark fits: a value cut short loses a character instead.
        const std::string file = "[S]\nk=" + std::string(3000, 'a') + "\nq=\"" +
                                 std::string(2046, 'b') + "\"\nr=\"" + std::string(2047, 'c') +
                                 "\"\nt=\"" + std::string(2045, 'd') + "\"\nu=\"" +
                                 std::string(3000, 'e') + "\"\nw=\"a\"\n";
        c.push_back({"values cut to the buffer, with and without quotation marks",
                     file,
                     {{"S", "k", std::string(2047, 'a')},
                      {"S", "k", std::string(9, 'a'), 10},
                      {"S", "k", "a", 2},
                      {"S", "k", "", 1},
                      {"S", "q", std::string(2046, 'b')},
                      {"S", "q", std::string(2045, 'b'), 2047},
                      {"S", "q", "bbbb", 5},
                      {"S", "r", std::string(2046, 'c')},
                      {"S", "t", std::string(2045, 'd')},
                      {"S", "t", std::string(2044, 'd'), 2046},
                      {"S", "u", std::string(2047, 'e')},
                      {"S", "w", "", 2},
                      {"S", "w", "a", 3}}});
    }

    c.push_back({"names compare without regard to the case of ASCII letters only",
                 "[\xC8\xE1st]\n\xD8=1\n[\x8A]\nk=2\n[\xC1]\nk=3\n[Main]\nSpeed=9\n",
                 {{"MAIN", "SPEED", "9"},
                  {"\xC8\xE1ST", "\xD8", "1"},
                  {"\xE8\xC1ST", "\xF8", Absent()},
                  {"\xC8\xE1st", "\xF8", Absent()},
                  {"\x9A", "k", Absent()},
                  {"\xE1", "k", Absent()}}});

    c.push_back(
        {"the first section of a name counts, in it the first key; lines before the "
         "first header form a section without a name",
         "k=outside\n[Main]\nk=1\nk=2\n[main]\nk=3\nj=4\n",
         {{"Main", "k", "1"}, {"main", "j", Absent()}, {"", "k", "outside"}}});

    c.push_back({"a line without \"=\" is a key without a value, and hides a later one",
                 "[S]\nA\nA=1\nB=1\nb=2\n=x\nC = \nC=3\n",
                 {{"S", "A", Absent()},
                  {"S", "a", Absent()},
                  {"S", "B", "1"},
                  {"S", "C", ""},
                  {"S", "", "x"}}});

    c.push_back({"comment lines are keys with names no one asks for",
                 "[S]\n;k=c\n#k=h\nk=1\n; note\n",
                 {{"S", "k", "1"}, {"S", ";k", "c"}, {"S", "#k", "h"}}});

    c.push_back({"a header runs to the last \"]\"; without one the line opens no section",
                 "[S]\nk=0\n[T\nj=1\n[T=2\n[U]x]\nk=2\n[V] junk\nk=3\n[ W ]  \nk=4\n[]\nk=5\n"
                 " [X]\nk=6\n[Y]=z\nk=7\n",
                 {{"S", "j", "1"},
                  {"T", "j", Absent()},
                  {"S", "[T", Absent()},
                  {"U", "k", Absent()},
                  {"U]x", "k", "2"},
                  {"V", "k", "3"},
                  {"W", "k", "4"},
                  {"", "k", Absent()},
                  {"X", "k", "6"},
                  {"Y", "k", "7"}}});

    c.push_back({"CR, LF and CR LF all end a line",
                 "[S]\r\na=1\rb=2\r\nc\r=3\r\r\nd=4\r\r\r\n[T]\re=5\n",
                 {{"S", "a", "1"},
                  {"S", "b", "2"},
                  {"S", "c", Absent()},
                  {"S", "d", "4"},
                  {"T", "e", "5"}}});

    c.push_back({"names and values end at a NUL",
                 "[S]\na=1\0"
                 "2\nb\0c=3\nd=4\nk=1  \0x\nj=  \0x\n[T\0]\ne=5\n[ a \0 b ]\nk=1\n"s,
                 {{"S", "a", "1"},
                  {"S", "b", "3"},
                  {"S", "d", "4"},
                  {"S", "k", "1  "},
                  {"S", "j", ""},
                  {"T", "e", "5"},
                  {"a", "k", Absent()}}});

    c.push_back(
        {"code page 1250 bytes come over as they are, the five unassigned ones too",
         "[P\xF8ipojen\xED]\nRozhran\xED=USBVx\nV\xFDrobn\xED \xE8\xEDslo="
         "\x8E\x9A\x81\x83\x88\x90\x98\xFF\n",
         {{"P\xF8ipojen\xED", "Rozhran\xED", "USBVx"},
          {"P\xF8ipojen\xED", "V\xFDrobn\xED \xE8\xEDslo", "\x8E\x9A\x81\x83\x88\x90\x98\xFF"}}});

    c.push_back({"a file with a UTF-8 byte-order mark is read as UTF-8",
                 "\xEF\xBB\xBF[P\xC5\x99ipojen\xC3\xAD]\nk=\xC4\x8D\xE2\x82\xAC\xE2\x98\x83\n"
                 "[S]\nn=a\xF0\x9F\x98\x80"
                 "b\nx=a\xE8"
                 "b\ny=\xC3\n",
                 {{"P\xF8ipojen\xED", "k", "\xE8\x80?"},
                  {"S", "n", "a??b"},
                  {"S", "n", "a?", 3},
                  {"S", "x", "a?b"},
                  {"S", "y", "?"}}});

    c.push_back({"faulty UTF-8 after a byte-order mark: one '?' a sequence as far as it went",
                 "\xEF\xBB\xBF[S]\nk0=\xE0\x80x\nk1=\xE0\xA0x\nk2=\xED\xA0\x80x\nk3=\xED\x9Fx\n"
                 "k4=\xF0\x80x\nk5=\xF0\x90x\nk6=\xF0\x90\x80x\nk7=\xF4\x90x\nk8=\xF4\x8Fx\n"
                 "k9=\xF5x\nk10=\xC0\xAFx\nk11=\xC2x\nk12=\xE0\x80\x80x\nk13=\xF0\x80\x80\x80x\n"
                 "k14=\xE2\x82",
                 {{"S", "k0", "?x"},
                  {"S", "k1", "?x"},
                  {"S", "k2", "??x"},
                  {"S", "k3", "?x"},
                  {"S", "k4", "?x"},
                  {"S", "k5", "?x"},
                  {"S", "k6", "?x"},
                  {"S", "k7", "?x"},
                  {"S", "k8", "?x"},
                  {"S", "k9", "?x"},
                  {"S", "k10", "??x"},
                  {"S", "k11", "?x"},
                  {"S", "k12", "??x"},
                  {"S", "k13", "???x"},
                  {"S", "k14", "?"}}});

    c.push_back({"after a UTF-8 byte-order mark, code page 1250 names are not UTF-8",
                 "\xEF\xBB\xBF[P\xF8ipojen\xED]\nk=1\n[S]\nk=2\n",
                 {{"P\xF8ipojen\xED", "k", Absent()}, {"S", "k", "2"}}});

    c.push_back(
        {"UTF-8 without a byte-order mark is read byte by byte",
         "[P\xC5\x99ipojen\xC3\xAD]\nk=\xC4\x8D\n",
         {{"P\xF8ipojen\xED", "k", Absent()}, {"P\xC5\x99ipojen\xC3\xAD", "k", "\xC4\x8D"}}});

    c.push_back({"a second byte-order mark belongs to the first line",
                 "\xEF\xBB\xBF\xEF\xBB\xBF[S]\nk=1\n[T]\nk=2\n",
                 {{"S", "k", Absent()}, {"T", "k", "2"}}});

    c.push_back({"UTF-16, little-endian, with its byte-order mark",
                 Utf16(u"[P\u0159ipojen\u00ED]\r\nk=\u010D\r\nn=\U0001F600\r\n", false),
                 {{"P\xF8ipojen\xED", "k", "\xE8"}, {"P\xF8ipojen\xED", "n", "??"}}});

    c.push_back({"UTF-16, big-endian, with its byte-order mark",
                 Utf16(u"[P\u0159ipojen\u00ED]\nk=\u010D \n", true),
                 {{"P\xF8ipojen\xED", "k", "\xE8"}}});

    c.push_back({"empty values, and a long line before a key",
                 "[S]\nm=\nn=   \n" + std::string(100000, 'x') + "\nk=1\n",
                 {{"S", "m", ""}, {"S", "n", ""}, {"S", "k", "1"}, {"S", "z", Absent()}}});

    c.push_back({"an empty file", "", {{"S", "k", Absent()}, {"", "k", Absent()}}});

    return c;
}

}  // namespace

const std::vector<ProfileCase>& ProfileCorpus() {
    static const std::vector<ProfileCase> corpus = Build();
    return corpus;
}

}  // namespace kv::testing
