// What kv3380u restores, and what it refuses, against the emulator: a file of another
// module keeps the module's address, a file cut short or of another kind restores
// nothing, settings that cut the way to the module wait for a confirmation, edits arrive
// or say why not, a backup that cannot be restored never replaces one that can.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "emulator/StateFile.h"
#include "tests/e2e/CliEmulatorFixture.h"

namespace kv::testing {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The file with a line replaced (the first that starts with `from`), or cut before a line.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find("\n" + from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at == std::string::npos) return text;
    const auto end = text.find('\n', at + 1);
    return text.replace(at + 1, end - at - 1, to);
}

class CliRecordTest : public CliEmulatorTest {
  protected:
    std::vector<std::string> Peer(const SilentPeer& peer) const {
        return {"--settings", Settings(),     "--kind", "LAN",
                "--ip",       peer.Address(), "--port", std::to_string(peer.Port()),
                "--timeout",  "300"};
    }
};

TEST_F(CliRecordTest, AFileOfAnotherModuleKeepsTheAddressAndABadFileRestoresNothing) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    EXPECT_TRUE(Has(original, "Výrobní číslo=" + emu_.Serial() + "\n")) << original;
    // Saved from another module: the VLAN block goes, the address stays.
    const std::string other =
        Edited(Edited(Replaced(original, "Výrobní číslo=", "Výrobní číslo=E2E00099"), "network",
                      "IP adresa", "10.1.2.3"),
               "vlan2", "Číslo UDP portu", "6001");
    WriteBytes(File("other.ini"), other);
    CliOutcome run = Cli({"restore", File("other.ini")}, emu_);
    EXPECT_EQ(run.code, 4) << run.err;
    EXPECT_TRUE(Has(run.err,
                    "[network] se nezapíše: soubor je zálohou modulu s výrobním číslem "
                    "E2E00099, připojený modul má " +
                        emu_.Serial()))
        << run.err;
    EXPECT_TRUE(Has(run.out,
                    "Bloky: vlan1 beze změny, vlan2 zapsán, vlan3 beze změny, remote "
                    "beze změny, network nezapsán"))
        << run.out;
    EXPECT_EQ(Values(Backup(emu_, "b.ini"))[0], Values(original)[0]);
    // Named, it goes: by --only, or by --other-module.
    run = Cli({"restore", File("other.ini"), "--only", "network"}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Values(Backup(emu_, "c.ini"))[0], Values(other)[0]);
    WriteBytes(File("back.ini"), Replaced(original, "Výrobní číslo=", "Výrobní číslo=E2E00099"));
    EXPECT_EQ(Cli({"restore", File("back.ini"), "--other-module"}, emu_).code, 0);
    EXPECT_EQ(Values(Backup(emu_, "d.ini")), Values(original));

    // Cut short, without its header, of a newer format or of another module type:
    // refused before anything is sent.
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    const std::string cut = original.substr(0, original.find("; Nastavení komunikačního "
                                                             "rozhraní VLAN3"));
    const std::string headless = original.substr(original.find("; Nastavení síťových"));
    struct Case {
        std::string text;
        std::string said;
    };
    const std::vector<Case> cases = {
        {cut, "soubor neobsahuje [vlan3], přestože je záhlaví jmenuje"},
        {headless, "soubor nemá záhlaví [kv3380u]"},
        {Replaced(original, "Formát=", "Formát=3"), "(soubor zapsala novější verze kv3380u)"},
        {Replaced(original, "Modul=", "Modul=KV-3370 v.1.00"),
         "soubor je zálohou modulu „KV-3370 v.1.00“, ne KV-3380U"},
    };
    for (const Case& c : cases) {
        WriteBytes(File("bad.ini"), c.text);
        std::vector<std::string> args = {"restore", File("bad.ini")};
        for (const std::string& a : Peer(peer)) args.push_back(a);
        run = RunCli(args);
        EXPECT_EQ(run.code, 4) << c.said << "\n" << run.err;
        EXPECT_TRUE(Has(run.err, c.said)) << run.err;
    }
    EXPECT_EQ(peer.Received(), 0u);
    // What the cut file holds restores when --only leaves the rest out.
    WriteBytes(File("cut.ini"), Edited(cut, "vlan1", "Číslo UDP portu", "6000"));
    run = Cli({"restore", File("cut.ini"), "--only", "vlan1,vlan2"}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
}

TEST_F(CliRecordTest, WhatCutsTheWayToTheModuleWaitsForAConfirmation) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    const std::string remotePort = Values(original)[1][0];
    struct Case {
        std::string file;
        std::string said;
    };
    const std::vector<Case> cases = {
        {Edited(original, "remote", "Vzdálená správa", "zakázána"),
         "[remote] vzdálená správa bude zakázána"},
        {Edited(original, "vlan2", "Číslo UDP portu", remotePort),
         "[vlan2] rozhraní VLAN2 bude na UDP portu " + remotePort + ", na kterém je vzdálená"},
    };
    for (const Case& c : cases) {
        WriteBytes(File("cut.ini"), c.file);
        for (const bool dry : {true, false}) {
            std::vector<std::string> args = {"restore", File("cut.ini")};
            if (dry) args.push_back("--dry-run");
            const CliOutcome run = Cli(args, emu_);
            EXPECT_EQ(run.code, 4) << run.err;
            EXPECT_TRUE(Has(run.err, c.said)) << run.err;
            EXPECT_TRUE(Has(run.err, "potvrďte to volbou --allow-lockout")) << run.err;
        }
        EXPECT_EQ(Values(Backup(emu_, "b.ini")), Values(original));
    }
    // Confirmed, it is written; the module's own port is then the remote management's.
    const CliOutcome run = Cli({"restore", File("cut.ini"), "--allow-lockout"}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "[vlan2] upozornění: rozhraní VLAN2 bude na UDP portu")) << run.err;
}

TEST_F(CliRecordTest, EditsArriveOrSayWhyNot) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    // A mode the list lacks goes to the module as its number and comes back so.
    WriteBytes(File("seven.ini"), Edited(original, "vlan1", "Režim rozhraní", "7"));
    CliOutcome run = Cli({"restore", File("seven.ini")}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "  Režim rozhraní: časovač platnosti IP adresy → 7")) << run.out;
    const std::string seven = Backup(emu_, "b.ini");
    EXPECT_TRUE(Has(seven, "Režim rozhraní=7\n")) << seven;
    // Restored again, nothing changes: the value survived.
    run = Cli({"restore", File("b.ini")}, emu_);
    EXPECT_TRUE(Has(run.out, "Bloky: vlan1 beze změny")) << run.out;

    // A change the mode refuses leaves the block as it was: nothing is written.
    WriteBytes(File("refused.ini"), Edited(original, "remote", "Uživatel 1 IP adresa", "10.0.0.1"));
    run = Cli({"restore", File("refused.ini"), "--only", "remote"}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "[remote] Uživatel 1 IP adresa: v tomto režimu se nepoužije"))
        << run.err;
    EXPECT_TRUE(Has(run.out, "[remote] beze změny")) << run.out;

    // A Data row edited (its checksum mended) where a key names the same bytes: the key
    // wins, and the restore says so at the key's line.
    std::string edited = original;
    const auto vlan2 = edited.find("[vlan2]");
    const auto first = edited.find("Data 000=", vlan2) + 9;
    const int old = std::stoi(edited.substr(first, 2), nullptr, 16) +
                    std::stoi(edited.substr(first + 2, 2), nullptr, 16);
    edited.replace(first, 4, "7117");  // port 6001 in the row; the key keeps 5001
    const auto sum = edited.find("Data 224=", vlan2) + 9 + 62;
    const int checksum =
        (std::stoi(edited.substr(sum, 2), nullptr, 16) + old - 0x71 - 0x17 + 512) % 256;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", checksum);
    edited.replace(sum, 2, hex);
    WriteBytes(File("row.ini"), edited);
    run = Cli({"restore", File("row.ini"), "--only", "vlan2"}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "poznámka: [vlan2] Číslo UDP portu: platí hodnota klíče „" +
                                 Values(original)[3][0] + "“, ne „6001“ z řádků Data"))
        << run.err;
    // The port is the key's; the block is built as the editor writes it (its user ports
    // 65535, as every checked row sets them).
    EXPECT_FALSE(Has(run.out, "Číslo UDP portu:")) << run.out;
    EXPECT_EQ(Values(Backup(emu_, "c.ini"))[3][0], Values(original)[3][0]);
    // A value followed by a comment is no number.
    WriteBytes(File("comment.ini"), Edited(original, "vlan2", "Číslo UDP portu", "6001 ; pozn."));
    run = Cli({"restore", File("comment.ini")}, emu_);
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, "Číslo UDP portu: „6001 ; pozn.“ není číslo")) << run.err;
}

TEST_F(CliRecordTest, ARestorableBackupIsNeverReplacedByOneThatCannotBeRestored) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string good = Backup(emu_, "good.ini");
    ASSERT_NO_FATAL_FAILURE(ChangeStoredBlocks(emu_, SpoilVlan2Block));
    ASSERT_TRUE(emu_.Start()) << emu_.Log();

    const CliOutcome run = Cli({"backup", File("good.ini")}, emu_);
    EXPECT_EQ(run.code, 6) << run.err;
    EXPECT_EQ(ReadBytes(File("good.ini")), good);
    EXPECT_TRUE(Has(run.err, File("good.ini") + ": obnovitelnou zálohu nenahrazuji")) << run.err;
    EXPECT_TRUE(Has(run.out, "uložena do " + File("good.neobnovitelna.ini"))) << run.out;
    EXPECT_TRUE(Has(ReadBytes(File("good.neobnovitelna.ini")), "POZOR: kontrolní součet"));
    // A file that was no backup anyway is replaced as before.
    WriteBytes(File("junk.ini"), "junk");
    EXPECT_EQ(Cli({"backup", File("junk.ini")}, emu_).code, 6);
    EXPECT_TRUE(Has(ReadBytes(File("junk.ini")), "[vlan2]"));
}

TEST_F(CliRecordTest, TextsSayWhatHappened) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    // SIGTERM is named as itself.
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    CliRunOptions term;
    term.watch = [&](pid_t pid, const CliOutcome&) {
        if (peer.Received() == 0) return false;
        kill(pid, SIGTERM);
        return true;
    };
    std::vector<std::string> args = {"identify"};
    for (const std::string& a : Peer(peer)) args.push_back(a);
    CliOutcome run = RunCli(args, term);
    EXPECT_EQ(run.code, 130);
    EXPECT_TRUE(Has(run.err, "kv3380u: přerušeno (signál SIGTERM)")) << run.err;
    EXPECT_FALSE(Has(run.err, "Ctrl+C)")) << run.err;

    // A mistake in a file of targets names its line.
    WriteBytes(File("moduly.txt"), "# moduly\n127.0.0.2:5000\n\n127.0.0.300\n");
    WriteBytes(File("a.ini"), Backup(emu_, "a.ini"));
    run = Cli({"restore", File("a.ini"), "--targets", "@" + File("moduly.txt")}, emu_);
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(Has(run.err, File("moduly.txt") + ":4: cíl „127.0.0.300“")) << run.err;

    // The restart over the LAN kind says what the command line's operator does next; the
    // status bar's spacing is the window's.
    run = RunCli({"restart", "--settings", Settings(), "--kind", "LAN", "--ip", emu_.Address(),
                  "--port", std::to_string(emu_.ManagementPort())});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "Příští příkaz se k modulu připojí znovu")) << run.out;
    EXPECT_FALSE(Has(run.out + run.err, "Nutno provést")) << run.out;
    EXPECT_FALSE(Has(run.err, "Připojen modul   ")) << run.err;
}

}  // namespace
}  // namespace kv::testing
