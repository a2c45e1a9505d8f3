#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/IniFile.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::platform::IniFile;
using kv::platform::IniLoadStatus;
using kv::testing::ReadBytes;
using kv::testing::RunUnprivileged;
using kv::testing::ScratchFolder;
using kv::testing::WriteBytes;

IniFile Parsed(const std::string& bytes) {
    IniFile ini;
    ini.Parse(bytes);
    return ini;
}

TEST(IniFileTest, LookupFoldsAsciiCaseOnlyAndTheFirstKeyWins) {
    // "\xC8" and "\xE8" are "Č" and "č": no ASCII letters, so two different sections.
    IniFile ini = Parsed(
        "k=outside\n[Main]\n  Speed =  9600  \n;k=c\n#k=h\nk=1\nk=2\n[\xC8]\nk=upper\n[ \xE8 "
        "]\nk=lower\n[main]\nk=3\nj=4\n");
    EXPECT_EQ(ini.Get("MAIN", "speed"), "9600");
    EXPECT_EQ(ini.Get("Main", "k"), "1");
    EXPECT_EQ(ini.Get("\xC8", "k"), "upper");
    EXPECT_EQ(ini.Get("\xE8", "k"), "lower");
    EXPECT_EQ(ini.Get("Missing", "k"), std::nullopt);
    EXPECT_EQ(ini.Get("", "k"), "outside");         // the lines before the first header
    EXPECT_EQ(ini.Get("main", "j"), std::nullopt);  // only the first [Main] counts
    ASSERT_TRUE(ini.Set("Main", "K", "9"));
    EXPECT_EQ(ini.Get("main", "k"), "9");
    EXPECT_NE(ini.Serialize().find("K=9\r\nk=2\r\n"), std::string::npos);
    EXPECT_NE(ini.Serialize().find("[main]\r\nk=3\r\n"), std::string::npos);
}

TEST(IniFileTest, OddBytesAreToleratedAndKeptAsTheyWere) {
    const std::string overlong(200000, 'x');
    const std::string garbage("\x01\xFF\xFE\x00\x7F=\x00[", 9);
    const std::string nulKey("Na\0me=v", 7);
    const std::string bytes = "[S]\n" + overlong + "\n" + garbage + "\nno equals sign here\n" +
                              nulKey +
                              "\n=value without key\n[broken header\nk=after broken\n[S2]\nlast=1";
    IniFile ini = Parsed(bytes);
    EXPECT_EQ(ini.Get("S2", "last"), "1");  // no final line end
    EXPECT_EQ(ini.Get("S", "Name"), std::nullopt);
    EXPECT_EQ(ini.Get("S", "Na"), "v");  // a name ends at a NUL
    // A header without its "]" opens no section: its key stays in the one above.
    EXPECT_EQ(ini.Get("broken header", "k"), std::nullopt);
    EXPECT_EQ(ini.Get("S", "k"), "after broken");

    // Every line comes back byte for byte, only the line ends become CR LF.
    std::string expected;
    for (char c : bytes) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    expected += "\r\n";
    EXPECT_EQ(ini.Serialize(), expected);

    ASSERT_TRUE(ini.Set("S", "new", "1"));
    EXPECT_EQ(ini.Get("S", "new"), "1");
    EXPECT_NE(ini.Serialize().find(overlong + "\r\n" + garbage + "\r\nno equals sign here\r\n"),
              std::string::npos);
}

TEST(IniFileTest, LineEndsOfEveryKindSplitLines) {
    const IniFile ini = Parsed("[S]\r\na=1\nb=2\rc=3\r\n\r\nd=4");
    EXPECT_EQ(ini.Get("S", "b"), "2");
    EXPECT_EQ(ini.Serialize(), "[S]\r\na=1\r\nb=2\r\nc=3\r\n\r\nd=4\r\n");
    EXPECT_EQ(Parsed("").Serialize(), "");
}

TEST(IniFileTest, RandomBytesSurviveAndAcceptNewKeys) {
    // Bytes drawn mostly from the characters that mean something to the parser.
    const char alphabet[] =
        "[]=;# \t\r\n\0\xFF"
        "abK";
    std::uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 300; ++round) {
        std::string bytes(next() % 400, '\0');
        for (char& c : bytes) c = alphabet[next() % (sizeof alphabet - 1)];
        IniFile ini = Parsed(bytes);
        const std::string once = ini.Serialize();
        EXPECT_EQ(Parsed(once).Serialize(), once) << round;

        ASSERT_TRUE(ini.Set("Sec", "Key", "value")) << round;
        EXPECT_EQ(ini.Get("sec", "key"), "value") << round;
        // The alphabet cannot spell "Sec", so the key is always added, and nothing that
        // was there is lost: the old lines are all still there, in their order.
        const std::string after = ini.Serialize();
        std::size_t from = 0;
        std::size_t lineStart = 0;
        while (lineStart < once.size()) {
            const std::size_t end = once.find("\r\n", lineStart);
            const std::string line = once.substr(lineStart, end - lineStart) + "\r\n";
            const std::size_t at = after.find(line, from);
            ASSERT_NE(at, std::string::npos) << round;
            from = at + line.size();
            lineStart = end + 2;
        }
    }
}

TEST(IniFileTest, NewKeyFollowsTheLastKeyOfItsSection) {
    IniFile ini = Parsed(
        "[A]\r\n"
        "x=1\r\n"
        "junk line\r\n"
        "\r\n"
        "; about B\r\n"
        "[B]\r\n"
        "[C]\r\n"
        "y=2\r\n");
    ASSERT_TRUE(ini.Set("a", "new", "n"));
    ASSERT_TRUE(ini.Set("B", "first", "f"));  // a section without keys: right below its header
    ASSERT_TRUE(ini.Set("D", "k", "v"));      // a new section: at the end
    ASSERT_TRUE(ini.Set("D", "k2", "v2"));
    EXPECT_EQ(ini.Serialize(),
              "[A]\r\n"
              "x=1\r\n"
              "new=n\r\n"
              "junk line\r\n"
              "\r\n"
              "; about B\r\n"
              "[B]\r\n"
              "first=f\r\n"
              "[C]\r\n"
              "y=2\r\n"
              "[D]\r\n"
              "k=v\r\n"
              "k2=v2\r\n");
}

TEST(IniFileTest, SetRefusesWhatTheFileCouldNotHold) {
    IniFile ini = Parsed("[S]\r\nk=1\r\n");
    const std::string before = ini.Serialize();
    EXPECT_FALSE(ini.Set("S", "k", "a\r\nk=injected"));
    EXPECT_FALSE(ini.Set("S", "k", std::string("a\0b", 3)));
    EXPECT_FALSE(ini.Set("S", "k=2", "v"));
    EXPECT_FALSE(ini.Set("S", "", "v"));
    EXPECT_FALSE(ini.Set("S", " k", "v"));
    EXPECT_FALSE(ini.Set("S", "[k", "v"));
    EXPECT_FALSE(ini.Set("", "k", "v"));
    EXPECT_FALSE(ini.Set("S]x", "k", "v"));
    EXPECT_EQ(ini.Serialize(), before);
    EXPECT_TRUE(ini.Set("S", "k", ""));  // an empty value is a value
    EXPECT_EQ(ini.Get("S", "k"), "");
}

TEST(IniFileTest, LoadTellsMissingFromUnreadable) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    IniFile ini;
    EXPECT_EQ(ini.LoadFile(dir.File("none.ini")), IniLoadStatus::kMissing);
    EXPECT_EQ(ini.LoadFile(dir.Path()), IniLoadStatus::kUnreadable);  // a folder

    const std::string fifo = dir.File("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ini.LoadFile(fifo), IniLoadStatus::kUnreadable);  // and returns at once

    WriteBytes(dir.File("ok.ini"), "[S]\nk=v\n");
    EXPECT_EQ(ini.LoadFile(dir.File("ok.ini")), IniLoadStatus::kLoaded);
    EXPECT_EQ(ini.Get("S", "k"), "v");
    // A failed load leaves nothing of the previous document behind.
    EXPECT_FALSE(ini.Load(dir.File("none.ini")));
    EXPECT_EQ(ini.Serialize(), "");
}

TEST(IniFileTest, FileAboveTheCapIsNotReadAsSettings) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string atCap = "[S]\nk=v\n" + std::string(IniFile::kMaxFileSize - 8, ';');
    WriteBytes(dir.File("cap.ini"), atCap);
    WriteBytes(dir.File("over.ini"), atCap + ";");
    IniFile ini;
    EXPECT_EQ(ini.LoadFile(dir.File("cap.ini")), IniLoadStatus::kLoaded);
    EXPECT_EQ(ini.Get("S", "k"), "v");
    EXPECT_EQ(ini.LoadFile(dir.File("over.ini")), IniLoadStatus::kUnreadable);
    EXPECT_EQ(ini.Get("S", "k"), std::nullopt);
}

TEST(IniFileTest, SaveWritesExactlyTheDocumentAndNothingElse) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("s.ini");
    IniFile ini = Parsed("; kept\n[S]\nk=1");
    ASSERT_TRUE(ini.Set("S", "k", "2"));
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(ReadBytes(path), "; kept\r\n[S]\r\nk=2\r\n");
    EXPECT_EQ(dir.EntryCount(), 1u);  // no temporary file left beside it
}

TEST(IniFileTest, SaveKeepsThePermissionsOfTheReplacedFile) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("s.ini");
    WriteBytes(path, "[S]\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(Parsed("[S]\nk=1\n").Save(path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(IniFileTest, SaveThroughASymbolicLinkReplacesTheFileItNames) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    WriteBytes(real, "old\n");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(Parsed("[S]\nk=1\n").Save(link));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadBytes(real), "[S]\r\nk=1\r\n");
}

TEST(IniFileTest, FailedRenameLeavesNoTemporaryFile) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    // A non-empty folder where the file should be: the rename cannot replace it.
    const std::string path = dir.File("s.ini");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    WriteBytes(path + "/inside", "x");
    EXPECT_FALSE(Parsed("[S]\nk=1\n").Save(path));
    EXPECT_EQ(dir.EntryCount(), 1u);
    EXPECT_EQ(ReadBytes(path + "/inside"), "x");
}

TEST(IniFileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("s.ini");
    const std::string old = "[Old]\r\nkept=yes\r\n";
    WriteBytes(path, old);

    // A file size limit makes the write fail part way, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = Parsed("[S]\nk=" + std::string(1000, 'v') + "\n").Save(path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(IniFileTest, WriteProtectedFileIsNotReplaced) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const std::string path = dir.File("s.ini");
    const std::string old = "[Old]\r\n";
    WriteBytes(path, old);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const auto outcome = RunUnprivileged([&] { return Parsed("[S]\nk=1\n").Save(path); });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(*outcome);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(IniFileTest, LinesCarryTheirNumbersSectionsAndKinds) {
    const IniFile ini = Parsed("top=1\r\n\n; note\n[One]\n k = v \nno equals\n[Two\n=x\n#k=c\n");
    const auto lines = ini.Lines();
    ASSERT_EQ(lines.size(), 9u);
    using Kind = kv::platform::IniLine::Kind;
    const Kind kinds[] = {Kind::kKey,   Kind::kBlank,   Kind::kComment, Kind::kSection, Kind::kKey,
                          Kind::kOther, Kind::kSection, Kind::kOther,   Kind::kComment};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].number, i + 1);
        EXPECT_EQ(lines[i].kind, kinds[i]) << "line " << i + 1;
    }
    EXPECT_EQ(lines[0].section, "");
    EXPECT_EQ(lines[4].section, "One");
    EXPECT_EQ(lines[4].name, "k");
    EXPECT_EQ(lines[4].value, "v");
    EXPECT_TRUE(lines[3].closed);
    // A header without "]" still opens its section, and says so.
    EXPECT_FALSE(lines[6].closed);
    EXPECT_EQ(lines[7].section, "Two");
    // What Lines reports is what Get finds.
    EXPECT_EQ(ini.Get(lines[4].section, lines[4].name), lines[4].value);
}

TEST(IniFileTest, AppendingLaysOutAFileInOrderAndRefusesWhatCannotBeRead) {
    IniFile ini;
    ASSERT_TRUE(ini.AppendComment("Záloha"));
    ini.AppendBlank();
    ASSERT_TRUE(ini.AppendSection("vlan1"));
    ASSERT_TRUE(ini.AppendKey("Číslo UDP portu", "5000"));
    ASSERT_TRUE(ini.AppendComment("možné hodnoty: a | b"));
    ASSERT_TRUE(ini.AppendKey("Režim", "a"));
    EXPECT_FALSE(ini.AppendKey("a=b", "1"));
    EXPECT_FALSE(ini.AppendKey(";k", "1"));
    EXPECT_FALSE(ini.AppendKey("k", "line\nbreak"));
    EXPECT_FALSE(ini.AppendSection("bad]name"));
    EXPECT_FALSE(ini.AppendComment("two\nlines"));
    const std::string lf = ini.Serialize(kv::platform::IniLineEnds::kLf);
    EXPECT_EQ(lf, "; Záloha\n\n[vlan1]\nČíslo UDP portu=5000\n; možné hodnoty: a | b\nRežim=a\n");
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ini.Serialize(), crlf);

    // Read back, the comment between the keys does not separate them from their section.
    const IniFile again = Parsed(lf);
    EXPECT_EQ(again.Get("vlan1", "Režim"), "a");
    EXPECT_EQ(again.Get("VLAN1", "Číslo UDP portu"), "5000");

    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    ASSERT_TRUE(ini.Save(dir.File("b.ini"), kv::platform::IniLineEnds::kLf));
    EXPECT_EQ(ReadBytes(dir.File("b.ini")), lf);
}

}  // namespace
