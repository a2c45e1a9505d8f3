// The command line read into the commands' records: every mistake is a usage error that
// says what is wrong and names the command's own help, before anything connects; each
// help prints the exit codes once; --targets names at least one module.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "tests/support/ScratchFolder.h"

namespace kv::cli {
namespace {

using Result = ParsedCommandLine::Result;

ParsedCommandLine Parse(const std::vector<std::string>& args) {
    return ParseCommandLine(args);
}

// The mistake's line and the help line of a usage error.
void ExpectUsage(const std::vector<std::string>& args, const std::string& mistake,
                 const std::string& help) {
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    const ParsedCommandLine parsed = Parse(args);
    EXPECT_EQ(parsed.result, Result::kUsage) << joined;
    EXPECT_EQ(parsed.text, "kv3380u: " + mistake + "\nNápověda: " + help + "\n") << joined;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(CommandLineTest, EveryMistakeSaysWhatIsWrongAndPointsToTheCommandsHelp) {
    ExpectUsage({"restore"},
                "chybí soubor zálohy, ze kterého se obnovuje (SOUBOR; - pro standardní vstup)",
                "kv3380u restore --help");
    ExpectUsage({"backup", "--kind", "7"},
                "chybí soubor, do kterého se záloha uloží (SOUBOR; - pro standardní výstup)",
                "kv3380u backup --help");
    ExpectUsage({"identify", "--kind", "1", "--kind", "2"}, "volba --kind je zadána dvakrát",
                "kv3380u identify --help");
    ExpectUsage({"restore", "a.ini", "-n", "--dry-run"}, "volba --dry-run je zadána dvakrát",
                "kv3380u restore --help");
    ExpectUsage({"--kind", "1", "identify"},
                "volba --kind patří až za příkaz: kv3380u identify --kind …",
                "kv3380u identify --help");
    ExpectUsage({"--ip=1.2.3.4"}, "volba --ip patří až za příkaz: kv3380u PŘÍKAZ --ip …",
                "kv3380u --help");
    ExpectUsage({"--colour"}, "neznámá volba --colour", "kv3380u --help");
    // The exporter only where this build has it (not on Windows).
    const std::string commands = kExporterBuilt ? "identify, backup, restore, diag, restart"
                                                : "identify, backup, restore, diag";
    const std::string last = kExporterBuilt ? "exporter" : "restart";
    ExpectUsage({"bogus"}, "neznámý příkaz „bogus“; příkazy jsou " + commands + " a " + last,
                "kv3380u --help");
    ExpectUsage({}, "chybí příkaz: " + commands + " nebo " + last, "kv3380u --help");
    ExpectUsage({"diag", "--json=1"}, "volba --json je přepínač a hodnotu nemá (--json=1)",
                "kv3380u diag --help");
    ExpectUsage({"identify", "--address"}, "volba --address potřebuje hodnotu (ADRESA)",
                "kv3380u identify --help");
    ExpectUsage({"identify", "--settings", "--kind", "1"},
                "volba --settings potřebuje hodnotu (SOUBOR)", "kv3380u identify --help");
    ExpectUsage({"identify", "--json"}, "příkaz identify nezná volbu --json",
                "kv3380u identify --help");
    ExpectUsage({"restart", "--force"}, "neznámá volba --force", "kv3380u restart --help");
    ExpectUsage({"backup", "a.ini", "b.ini"},
                "nečekaný argument „b.ini“; příkaz backup bere jediný soubor",
                "kv3380u backup --help");
    ExpectUsage({"restart", "now"}, "nečekaný argument „now“", "kv3380u restart --help");
}

TEST(CommandLineTest, AValueOfTheWrongFormOrOutOfRangeIsAUsageError) {
    struct Case {
        std::vector<std::string> args;
        std::string mistake;
    };
    const std::vector<Case> cases = {
        {{"identify", "--address", "300"}, "--address: „300“ není celé číslo od 0 do 255"},
        // A target names its module: an address beside the list would go unused.
        {{"restore", "a.ini", "--targets", "127.0.0.9", "--ip", "127.0.0.10"},
         "volba --ip nejde s --targets: modul jmenuje každý cíl"},
        {{"backup", "d", "--targets", "E2E00001", "--serial", "E2E00002"},
         "volba --serial nejde s --targets: modul jmenuje každý cíl"},
        {{"restore", "a.ini", "--targets", "127.0.0.9", "--other-module"},
         "volba --other-module platí jen bez --targets (klon blok network zapíše, jen když "
         "jej jmenuje --only)"},
        {{"identify", "--address", "abc"}, "--address: „abc“ není celé číslo od 0 do 255"},
        {{"identify", "--address", "-1"}, "--address: „-1“ není celé číslo od 0 do 255"},
        {{"identify", "--address=-1"}, "--address: „-1“ není celé číslo od 0 do 255"},
        {{"identify", "--port", "70000"}, "--port: „70000“ není celé číslo od 1 do 65535"},
        // Port 0 reaches no module: refused before the library is asked.
        {{"identify", "--port", "0"}, "--port: „0“ není celé číslo od 1 do 65535"},
        {{"identify", "--timeout", ""}, "--timeout: „“ není celé číslo od 0 do 65535"},
        {{"identify", "--ip", "abc"},
         "--ip: „abc“ není IP adresa (čtyři čísla 0 až 255 oddělená tečkou)"},
        {{"identify", "--ip", "01.2.3.4"},
         "--ip: „01.2.3.4“ není IP adresa (čtyři čísla 0 až 255 oddělená tečkou)"},
        {{"identify", "--ip", "1.2.3.256"},
         "--ip: „1.2.3.256“ není IP adresa (čtyři čísla 0 až 255 oddělená tečkou)"},
        {{"identify", "--serial", "E2E-0001"},
         "--serial: „E2E-0001“ není výrobní číslo (8 písmen nebo číslic)"},
        {{"identify", "--com", "0"}, "--com: „0“ není celé číslo od 1 do 255"},
        {{"identify", "--base", "300"},
         "--base: „300“ není bázová adresa ve tvaru 300h (tři šestnáctkové číslice a h)"},
        {{"identify", "--detection", "2"},
         "--detection: „2“ není 0 (první nalezené zařízení) ani 1 (podle výrobního čísla)"},
        {{"identify", "--kind", "8"},
         "--kind: neznámé rozhraní „8“; známá jsou 0 USBVx, 1 LAN QUDP, 2 COMx, 3 PCI-380, 4 "
         "PCI-3380, 5 USB-3380, 6 KV-3380, 7 LAN"},
        {{"identify", "--settings", ""}, "--settings: chybí název souboru"},
        {{"diag", "--vlan", "4"}, "--vlan: „4“ není celé číslo od 1 do 3"},
        {{"diag", "--interval", "99"}, "--interval: „99“ není celé číslo od 100 do 86400000"},
        {{"diag", "--count", "0"}, "--count: „0“ není celé číslo od 1 do 2000000000"},
        {{"restore", "a.ini", "--only", "vlan4"},
         "--only: neznámý blok „vlan4“; známé jsou network, remote, vlan1, vlan2, vlan3"},
        {{"restore", "a.ini", "--only", ""}, "--only: seznam bloků je prázdný"},
        {{"restore", "a.ini", "--targets", ""}, "--targets: seznam cílů je prázdný"},
        {{"restore", "a.ini", "--targets", " , ,"}, "--targets: seznam cílů je prázdný"},
        {{"restore", "a.ini", "--targets=@"}, "--targets: za @ chybí název souboru s cíli"},
        {{"restore", "a.ini", "--targets", "1.2.3.4", "--jobs", "0"},
         "--jobs: „0“ není celé číslo od 1 do 256"},
        {{"identify", "--targets", "1.2.3.4", "--jobs", "257"},
         "--jobs: „257“ není celé číslo od 1 do 256"},
        {{"backup", "d", "--targets", "1.2.3.4", "--jobs", "x"},
         "--jobs: „x“ není celé číslo od 1 do 256"},
        {{"backup", "d", "--jobs", "2"}, "volba --jobs platí jen s --targets"},
        {{"exporter", "--listen", "1.2.3:80"},
         "--listen: „1.2.3“ není IP adresa (čtyři čísla 0 až 255 oddělená tečkou)"},
        {{"exporter", "--listen", "70000"}, "--listen: „70000“ není celé číslo od 0 do 65535"},
    };
    for (const Case& c : cases)
        ExpectUsage(c.args, c.mistake, "kv3380u " + c.args.front() + " --help");
}

TEST(CommandLineTest, TheValuesReachTheirRecords) {
    // Each value at the edge of its range is taken.
    EXPECT_EQ(Parse({"identify", "--address", "255", "--ip", "10.0.0.255", "--port", "1",
                     "--timeout", "65535", "--serial", "E2E00001", "--com", "255", "--base", "2a0H",
                     "--detection", "1"})
                  .result,
              Result::kRun);
    ParsedCommandLine parsed =
        Parse({"restore", "--kind", "KV-3380", "--timeout=900", "--port", "$1388", "--only",
               "vlan2,network", "-n", "--targets", "127.0.0.9,127.0.0.10", "--", "-x.ini"});
    ASSERT_EQ(parsed.result, Result::kRun) << parsed.text;
    const CommandLine& line = parsed.line;
    EXPECT_EQ(line.command, Command::kRestore);
    EXPECT_EQ(line.restore.file, "-x.ini");
    EXPECT_EQ(line.connection.kind, "KV-3380");
    EXPECT_EQ(line.connection.timeout, "900");
    EXPECT_EQ(line.connection.port, "$1388");
    EXPECT_EQ(line.restore.only, (std::vector<std::string>{"vlan2", "network"}));
    EXPECT_TRUE(line.restore.dryRun);
    EXPECT_EQ(line.targets, "127.0.0.9,127.0.0.10");
    EXPECT_FALSE(line.connection.address.has_value());

    parsed = Parse({"diag", "--vlan", "3", "--interval", "250", "--count", "7", "--json"});
    ASSERT_EQ(parsed.result, Result::kRun) << parsed.text;
    EXPECT_EQ(parsed.line.diag.vlan, kv::Vlan::FromNumber(3));
    EXPECT_EQ(parsed.line.diag.intervalMs, 250);
    EXPECT_EQ(parsed.line.diag.count, 7);
    EXPECT_TRUE(parsed.line.diag.json);

    // "-" is standard input or output, not an option.
    parsed = Parse({"backup", "-", "--kind", "7"});
    ASSERT_EQ(parsed.result, Result::kRun) << parsed.text;
    EXPECT_EQ(parsed.line.backup.file, "-");

    parsed = Parse({"backup", "dir", "--targets", "@list.txt", "--jobs", "256"});
    ASSERT_EQ(parsed.result, Result::kRun) << parsed.text;
    EXPECT_EQ(parsed.line.jobs, 256u);
    EXPECT_EQ(parsed.line.targets, "@list.txt");
    parsed = Parse({"identify", "--targets", "127.0.0.9"});
    ASSERT_EQ(parsed.result, Result::kRun) << parsed.text;
    EXPECT_EQ(parsed.line.jobs, kDefaultJobs);
    parsed = Parse({"exporter", "--listen", "127.0.0.5:9400", "--kind", "7"});
    ASSERT_EQ(parsed.result, Result::kRun) << parsed.text;
    EXPECT_EQ(parsed.line.command, Command::kExporter);
    EXPECT_EQ(parsed.line.exporter.listen, "127.0.0.5:9400");
    EXPECT_EQ(Parse({"exporter"}).line.exporter.listen, kDefaultListen);
}

TEST(CommandLineTest, EachHelpPrintsTheExitCodesOnce) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"identify", "--help"},
                                               {"backup", "-h"},
                                               {"restore", "a.ini", "--kind", "300", "--help"},
                                               {"diag", "--help"},
                                               {"restart", "--help"}}) {
        const ParsedCommandLine parsed = Parse(args);
        ASSERT_EQ(parsed.result, Result::kShow) << args.front();
        EXPECT_EQ(Count(parsed.text, "Návratové kódy:"), 1u) << parsed.text;
        EXPECT_EQ(Count(parsed.text, "130  přerušeno (Ctrl+C)"), 1u) << parsed.text;
    }
    EXPECT_NE(Parse({"restore", "--help"}).text.find("Použití: kv3380u restore [VOLBY] SOUBOR"),
              std::string::npos);
    EXPECT_EQ(Parse({"--version"}).result, Result::kShow);
}

TEST(CommandLineTest, TheExporterIsOfferedOnlyWhereThisBuildHasIt) {
    const std::string help = Parse({"--help"}).text;
    EXPECT_EQ(help.find("exporter") != std::string::npos, kExporterBuilt) << help;
    EXPECT_NE(help.find("restart"), std::string::npos) << help;
    // Given anyway, it is known: it runs, and says there whether this build has it.
    EXPECT_EQ(Parse({"exporter"}).result, Result::kRun);
    EXPECT_NE(Parse({"exporter", "--help"}).text.find("--listen"), std::string::npos);
}

TEST(CommandLineTest, ATargetListNamesAtLeastOneModule) {
    testing::ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    std::vector<std::string> targets;
    std::string error;
    EXPECT_EQ(TargetList("a, b", targets, error), kExitOk);
    EXPECT_EQ(targets, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(TargetList(" ,", targets, error), kExitUsage);
    EXPECT_TRUE(targets.empty());

    // A file saved on Windows: a byte-order mark, CR LF, comments.
    testing::WriteBytes(
        dir.File("t.txt"),
        "\xEF\xBB\xBF# moduly\r\n127.0.0.2:5000 127.0.0.3\r\n\r\n127.0.0.4 # hala\r\n");
    EXPECT_EQ(TargetList("@" + dir.File("t.txt"), targets, error), kExitOk) << error;
    EXPECT_EQ(targets, (std::vector<std::string>{"127.0.0.2:5000", "127.0.0.3", "127.0.0.4"}));
    // Only comments and blanks: no module, as an empty --targets.
    testing::WriteBytes(dir.File("blank.txt"), "# nic\n   \n\t\n");
    EXPECT_EQ(TargetList("@" + dir.File("blank.txt"), targets, error), kExitUsage);
    EXPECT_NE(error.find("nejmenuje žádný modul"), std::string::npos) << error;
    // A file that cannot be read is a file's failure, with its reason.
    EXPECT_EQ(TargetList("@" + dir.File("none.txt"), targets, error), kExitRefused);
    EXPECT_NE(error.find("neexistuje"), std::string::npos) << error;
    EXPECT_EQ(TargetList("@" + dir.Path(), targets, error), kExitRefused);
    EXPECT_NE(error.find("složka"), std::string::npos) << error;
}

}  // namespace
}  // namespace kv::cli
