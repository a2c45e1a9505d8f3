// kv3380u never claims what it did not do, against the emulator and a loopback peer that
// never answers: output that cannot be written, a FIFO and a device as backup files,
// usage mistakes that reach no module, Ctrl+C, files as people bring them, a write whose
// reply is lost, two interfaces on one port, what the program took and reached, and
// Czech counts.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "backup/BlockSettings.h"
#include "emulator/StateFile.h"
#include "tests/e2e/CliEmulatorFixture.h"

namespace {

using kv::testing::CliEmulatorTest;
using kv::testing::CliOutcome;
using kv::testing::CliRunOptions;
using kv::testing::Edited;
using kv::testing::EmulatorProcess;
using kv::testing::Lines;
using kv::testing::ReadBytes;
using kv::testing::RunCli;
using kv::testing::SilentPeer;
using kv::testing::Values;
using kv::testing::WriteBytes;
using Clock = std::chrono::steady_clock;

constexpr const char* kInterruptNotice = "kv3380u: přerušeno; čekám, až se vrátí";
constexpr const char* kNoAnswer = "Modul neodpověděl";

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliSafetyTest : public CliEmulatorTest {
  protected:
    // The peer as the module: kind 7 (LAN), which binds no source port of its own.
    std::vector<std::string> Peer(const SilentPeer& peer, int timeoutMs = 300) const {
        return {"--settings", Settings(),
                "--kind",     "LAN",
                "--ip",       peer.Address(),
                "--port",     std::to_string(peer.Port()),
                "--timeout",  std::to_string(timeoutMs)};
    }
    static std::vector<std::string> With(std::vector<std::string> args,
                                         const std::vector<std::string>& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    static std::uint16_t PortOf(const std::string& backup, const std::string& vlan) {
        for (const std::string& line : Lines(backup.substr(backup.find("[" + vlan + "]"))))
            if (line.rfind("Číslo UDP portu=", 0) == 0)
                return static_cast<std::uint16_t>(
                    std::stoi(line.substr(std::string("Číslo UDP portu=").size())));
        return 0;
    }
};

TEST_F(CliSafetyTest, OutputThatCannotBeWrittenEndsWithFourAndSaysWhy) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    // /dev/full stands for a full disk behind a redirection.
    CliRunOptions full;
    full.stdoutFile = "/dev/full";
    CliOutcome run = Cli({"backup", "-"}, emu_, full);
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, "kv3380u: standardní výstup nelze zapsat: na disku není místo"))
        << run.err;
    run = Cli({"diag", "--json", "--count", "3", "--interval", "100"}, emu_, full);
    EXPECT_EQ(run.code, 4) << run.err;
    run = Cli({"identify"}, emu_, full);
    EXPECT_EQ(run.code, 4) << run.err;

    CliRunOptions closed;
    closed.stdoutFile = "";
    run = Cli({"backup", "-"}, emu_, closed);
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, "kv3380u: standardní výstup nelze zapsat: je zavřený")) << run.err;

    // A device as the backup file: written into, and its failure said.
    run = Cli({"backup", "/dev/full"}, emu_);
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, "/dev/full: soubor nelze zapsat: na disku není místo")) << run.err;

    // Into a file it all arrives, and says so.
    CliRunOptions file;
    file.stdoutFile = File("out.ini");
    run = Cli({"backup", "-"}, emu_, file);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(ReadBytes(File("out.ini")), Backup(emu_, "a.ini"));
}

TEST_F(CliSafetyTest, ABackupGoesIntoAFifoAsItIsAndNeverReplacesIt) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string fifo = File("backup.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = ReadBytes(fifo); });
    const CliOutcome run = Cli({"backup", fifo}, emu_);
    kv::testing::ReleaseFifoReader(fifo);
    reader.join();
    EXPECT_EQ(run.code, 0) << run.err;
    struct stat st {};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(got, Backup(emu_, "a.ini"));
    EXPECT_EQ(dir_.EntryCount(), 3u);  // the settings, the FIFO, a.ini: no leftover

    EXPECT_EQ(Cli({"backup", "/dev/null"}, emu_).code, 0);
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A folder is refused before any module is asked.
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    const CliOutcome folder = RunCli(With({"backup", dir_.Path()}, Peer(peer)));
    EXPECT_EQ(folder.code, 4);
    EXPECT_TRUE(Has(folder.err, dir_.Path() + ": soubor nelze zapsat: je to složka")) << folder.err;
    EXPECT_EQ(peer.Received(), 0u);
}

TEST_F(CliSafetyTest, UsageMistakesEndWithTwoBeforeAnythingIsSent) {
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    WriteBytes(File("blank.txt"), "# no module here\n\n   \n");
    WriteBytes(File("a.ini"), "[vlan1]\n");
    const std::vector<std::vector<std::string>> mistakes = {
        With({"restore", File("a.ini"), "--targets", ""}, Peer(peer)),
        With({"restore", File("a.ini"), "--targets", "@" + File("blank.txt")}, Peer(peer)),
        With({"restore", File("a.ini"), "--targets", peer.Address() + ":70000"}, Peer(peer)),
        With({"restore", File("a.ini"), "--targets", "127.0.0.300"}, Peer(peer)),
        With({"identify", "--address", "300"}, Peer(peer)),
        With({"diag", "--json=1"}, Peer(peer)),
        With({"identify", "--timeout", "1s"}, Peer(peer)),
        With({"identify", "--ip", "abc"}, Peer(peer)),
        With({"identify", "--port", "1"}, Peer(peer)),  // given twice
        With({"restore"}, Peer(peer)),
        With({"--kind", "LAN", "identify"}, Peer(peer)),
    };
    for (const std::vector<std::string>& args : mistakes) {
        const CliOutcome run = RunCli(args);
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        EXPECT_EQ(run.code, 2) << joined << "\n" << run.err;
        EXPECT_TRUE(Has(run.err, "Nápověda: kv3380u ")) << joined << "\n" << run.err;
        EXPECT_EQ(run.out, "") << joined;
    }
    EXPECT_EQ(peer.Received(), 0u);
}

TEST_F(CliSafetyTest, CtrlCWaitsForTheLibraryCallAndSaysSoAtOnceASecondEndsAtOnce) {
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    // The first Ctrl+C comes while the library waits for the peer: the notice comes at
    // once, before the call returns with its time-out, and then the program ends.
    CliRunOptions once;
    once.watch = [&](pid_t pid, const CliOutcome&) {
        if (peer.Received() == 0) return false;
        kill(pid, SIGINT);
        return true;
    };
    CliOutcome run = RunCli(With({"backup", File("never.ini")}, Peer(peer, 3000)), once);
    EXPECT_EQ(run.code, 130) << run.err;
    const auto notice = run.err.find(kInterruptNotice);
    const auto timedOut = run.err.find(kNoAnswer);
    ASSERT_NE(notice, std::string::npos) << run.err;
    ASSERT_NE(timedOut, std::string::npos) << run.err;
    EXPECT_LT(notice, timedOut) << run.err;
    EXPECT_TRUE(Has(run.err.substr(timedOut), "kv3380u: přerušeno (Ctrl+C)")) << run.err;
    EXPECT_EQ(dir_.EntryCount(), 1u);  // the settings file only: no backup

    // A second one, after the notice, ends it before the library's minute is up.
    // Only a request of this run shows that it waits in the library.
    const std::size_t earlier = peer.Received();
    CliRunOptions twice;
    int sent = 0;
    twice.watch = [&](pid_t pid, const CliOutcome& sofar) {
        if (sent == 0 && peer.Received() > earlier) {
            kill(pid, SIGINT);
            sent = 1;
        } else if (sent == 1 && Has(sofar.err, kInterruptNotice)) {
            kill(pid, SIGINT);
            sent = 2;
        }
        return sent == 2;
    };
    const auto start = Clock::now();
    run = RunCli(With({"identify"}, Peer(peer, 60000)), twice);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(50));
    EXPECT_EQ(run.code, 130) << run.err;
    EXPECT_TRUE(Has(run.err, "kv3380u: ukončeno hned (druhé přerušení)")) << run.err;
    EXPECT_FALSE(Has(run.err, kNoAnswer)) << run.err;
}

TEST_F(CliSafetyTest, FilesAsPeopleBringThemAreReadOrRefusedSayingWhy) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    // As an editor on Windows saves it: a byte-order mark, CR LF, and the keys and list
    // entries decomposed (NFD).
    std::string windows = "\xEF\xBB\xBF";
    for (const std::string& line :
         Lines(Edited(original, "vlan2", "Přístup rozhraní", "pouze čtení")))
        windows += line + "\r\n";
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"Č", "C\u030C"},
                                   {"í", "i\u0301"},
                                   {"ř", "r\u030C"},
                                   {"č", "c\u030C"}})
        for (auto at = windows.find(from); at != std::string::npos;
             at = windows.find(from, at + to.size()))
            windows.replace(at, from.size(), to);
    WriteBytes(File("windows.ini"), windows);
    CliOutcome run = Cli({"restore", File("windows.ini")}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "[vlan2] Konfigurace zapsána.")) << run.out;
    EXPECT_EQ(Values(Backup(emu_, "b.ini")),
              Values(Edited(original, "vlan2", "Přístup rozhraní", "pouze čtení")));

    // Saved in code page 1250: the encoding is the first thing said.
    std::string cp1250 = original;
    for (auto at = cp1250.find("í"); at != std::string::npos; at = cp1250.find("í", at + 1))
        cp1250.replace(at, 2, "\xED");
    WriteBytes(File("cp1250.ini"), cp1250);
    run = Cli({"restore", File("cp1250.ini")}, emu_);
    EXPECT_EQ(run.code, 4);
    ASSERT_FALSE(Lines(run.err).empty());
    EXPECT_TRUE(Has(Lines(run.err).front(), "řádek není v kódování UTF-8")) << run.err;

    // Over 1 MiB: refused with its size, before any module is asked.
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    WriteBytes(File("big.ini"), original + std::string(1024 * 1024, ';'));
    run = RunCli(With({"restore", File("big.ini")}, Peer(peer)));
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, File("big.ini") + ": soubor je příliš velký na zálohu (" +
                                 std::to_string(original.size() + 1024 * 1024) + " bajtů"))
        << run.err;
    EXPECT_EQ(peer.Received(), 0u);
}

TEST_F(CliSafetyTest, AWriteWhoseReplyIsLostIsReadBackOnce) {
    // The module stores every block but its replies are lost: each read back shows the
    // block there, and the restore goes on to the end.
    ASSERT_TRUE(emu_.Start({"--lose-store-replies"})) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    std::string edited = Edited(original, "vlan2", "Číslo UDP portu", "6001");
    edited = Edited(edited, "network", "Brána", "192.168.0.1");
    WriteBytes(File("edited.ini"), edited);
    CliOutcome run = Cli({"restore", File("edited.ini")}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "[vlan2] zpětné čtení po chybě: blok je v modulu zapsán")) << run.err;
    EXPECT_TRUE(Has(run.err, "[network] zpětné čtení po chybě: blok je v modulu zapsán"))
        << run.err;
    EXPECT_TRUE(Has(run.out, "Zapsané bloky: vlan2 (252), network (254)")) << run.out;
    EXPECT_EQ(Values(Backup(emu_, "b.ini")), Values(edited));

    // It falls silent after the first store: whether that block is written nobody can
    // say, and the next one is not written.
    ASSERT_TRUE(emu_.Start({"--silent-after-store"})) << emu_.Log();
    WriteBytes(File("again.ini"), original);
    run = Cli({"restore", File("again.ini")}, emu_);
    EXPECT_EQ(run.code, 5) << run.err;
    EXPECT_TRUE(Has(run.err, "[vlan2] zpětné čtení po chybě selhalo")) << run.err;
    EXPECT_TRUE(Has(run.err,
                    "Obnova zastavena. Zapsané bloky: žádné; nezapsané: network (254); "
                    "nejisté: vlan2 (252)"))
        << run.err;
    EXPECT_FALSE(Has(run.out, "Konfigurace zapsána.")) << run.out;
    // The block was stored after all; the network block was not.
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    EXPECT_EQ(Values(Backup(emu_, "c.ini")),
              Values(Edited(original, "network", "Brána", "192.168.0.1")));
}

TEST_F(CliSafetyTest, TwoInterfacesOnOnePortAreWarnedOfAndARestoreNeverLeavesThem) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    // VLAN3 on VLAN1's port, as an interrupted restore of old could leave it.
    ASSERT_NO_FATAL_FAILURE(kv::testing::ChangeStoredBlocks(emu_, [](kv::emu::BlockSet& blocks) {
        const std::uint16_t vlan1 = *kv::InterfacePort(251, blocks[1]);
        blocks[3] = kv::WithInterfacePort(253, blocks[3], vlan1);
    }));
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    CliOutcome run = Cli({"backup", File("shared.ini")}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "upozornění: [vlan1] a [vlan3] mají v modulu stejný UDP port " +
                                 std::to_string(PortOf(original, "vlan1"))))
        << run.err;
    EXPECT_TRUE(Has(ReadBytes(File("shared.ini")), "; POZOR: UDP port ")) << run.err;
    // Such a file is refused with the editors' message, and the module stays as it is.
    run = Cli({"restore", File("shared.ini")}, emu_);
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, "Číslo portu je již použito u jiného rozhraní.")) << run.err;
    // The backup from before mends it.
    run = Cli({"restore", File("a.ini")}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    run = Cli({"backup", File("mended.ini")}, emu_);
    EXPECT_FALSE(Has(run.err, "upozornění")) << run.err;
    EXPECT_EQ(ReadBytes(File("mended.ini")), original);

    // A swap cut off after its first write leaves no shared port: the first write parks
    // VLAN1 on a free port.
    const std::string v1 = std::to_string(PortOf(original, "vlan1"));
    const std::string v2 = std::to_string(PortOf(original, "vlan2"));
    WriteBytes(File("swap.ini"), Edited(Edited(original, "vlan1", "Číslo UDP portu", v2), "vlan2",
                                        "Číslo UDP portu", v1));
    ASSERT_TRUE(emu_.Start({"--silent-after-store"})) << emu_.Log();
    run = Cli({"restore", File("swap.ini")}, emu_);
    EXPECT_EQ(run.code, 5) << run.err;
    EXPECT_TRUE(Has(run.out, "[vlan1] se kvůli výměně portů nejprve přesune na volný port 65535"))
        << run.out;
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    run = Cli({"backup", File("cut.ini")}, emu_);
    EXPECT_FALSE(Has(run.err, "upozornění")) << run.err;
    EXPECT_EQ(PortOf(ReadBytes(File("cut.ini")), "vlan1"), 65535);
    // Restored again, the swap completes.
    run = Cli({"restore", File("swap.ini")}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Values(Backup(emu_, "swapped.ini")), Values(ReadBytes(File("swap.ini"))));
}

TEST_F(CliSafetyTest, WhatWasTakenAndWhichModuleAnsweredIsSaid) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    CliOutcome run = Cli({"identify"}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "Spojení: LAN QUDP (1), Cílová IP adresa " + emu_.Address() +
                                 ", Cílový port " + std::to_string(emu_.ManagementPort())))
        << run.out;
    EXPECT_TRUE(Has(run.out, "Výrobní číslo modulu: " + emu_.Serial())) << run.out;
    EXPECT_EQ(run.err, "");

    // A settings file of garbage, and one whose interface is no kind: said, with what
    // the program took instead.
    WriteBytes(File("garbage.ini"), std::string("\x7F"
                                                "ELF\x02\x01\x01",
                                                7));
    WriteBytes(File("unknown.ini"), "[P\xF8ipojen\xED]\r\nRozhran\xED=USB 3\r\n");
    for (const std::string& settings : {File("garbage.ini"), File("unknown.ini")}) {
        run = RunCli({"identify", "--settings", settings, "--kind", "7", "--ip", emu_.Address(),
                      "--port", std::to_string(emu_.ManagementPort())});
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_TRUE(Has(run.err, "soubor nastavení " + settings)) << run.err;
        EXPECT_TRUE(Has(run.err, "; použito: LAN (7), IP adresa " + emu_.Address() + ", UDP port " +
                                     std::to_string(emu_.ManagementPort())))
            << run.err;
    }
    EXPECT_TRUE(Has(run.err, "jmenuje neznámé rozhraní „USB 3“")) << run.err;
}

TEST_F(CliSafetyTest, CountsInCzechAndAJsonObjectForEveryCycle) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    WriteBytes(File("edited.ini"), Edited(Edited(original, "vlan1", "Číslo UDP portu", "6000"),
                                          "vlan3", "Číslo UDP portu", "6002"));
    const std::string target = emu_.Address() + ":" + std::to_string(emu_.ManagementPort());
    CliOutcome run = Cli({"restore", File("edited.ini"), "--targets", target, "--dry-run"}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "Změnily by se 2 bloky: vlan1 (251), vlan3 (253)")) << run.out;
    run = Cli({"restore", File("edited.ini"), "--targets", target}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "zapsány 2 bloky")) << run.out;
    EXPECT_TRUE(Has(run.out, "Úspěšně 1 z 1 modulu.")) << run.out;
    run = Cli({"backup", File("b.ini")}, emu_);
    EXPECT_TRUE(Has(run.out, "Záloha 5 bloků uložena do ")) << run.out;

    // The first connection fails: one object all the same, and the connection's code.
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    run = RunCli(With({"diag", "--json", "--vlan", "3"}, Peer(peer)));
    EXPECT_EQ(run.code, 3) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    const nlohmann::json cycle = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(cycle["ok"], false);
    EXPECT_EQ(cycle["cycle"], 1);
    EXPECT_EQ(cycle["vlan"], 3);
    EXPECT_TRUE(Has(cycle["status"].get<std::string>(), kNoAnswer)) << cycle;
    EXPECT_TRUE(cycle["module"].is_null());
}

}  // namespace
