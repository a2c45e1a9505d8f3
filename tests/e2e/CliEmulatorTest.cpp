// kv3380u as a process against the emulator through the real libraries: a backup edited
// by hand and restored, mistakes refused by line, a store the module spoils, a clone to
// three modules of which one is silent, the diagnostics as JSON lines, and the stored
// settings file only read.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/Dekl.h"
#include "emulator/Module.h"
#include "tests/e2e/CliEmulatorFixture.h"

namespace {

using kv::testing::CliEmulatorTest;
using kv::testing::Edited;
using kv::testing::EmulatorProcess;
using kv::testing::Lines;
using kv::testing::ReadBytes;
using kv::testing::Values;
using kv::testing::WriteBytes;
using Clock = std::chrono::steady_clock;
using Outcome = kv::testing::CliOutcome;

using kv::testing::RunCli;

TEST_F(CliEmulatorTest, ABackupEditedByHandRestoresAndBacksUpAgainTheSame) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    ASSERT_FALSE(original.empty());

    std::string edited = Edited(original, "vlan2", "Číslo UDP portu", "6001");
    edited = Edited(edited, "vlan2", "Režim rozhraní", "tabulka platných IP adres");
    edited = Edited(edited, "vlan2", "Uživatel 1 IP adresa", "10.0.0.3");
    edited = Edited(edited, "network", "Brána", "192.168.0.1");
    WriteBytes(File("edited.ini"), edited);
    const Outcome restored = Cli({"restore", File("edited.ini")}, emu_);
    ASSERT_EQ(restored.code, 0) << restored.err;
    EXPECT_NE(restored.out.find("Číslo UDP portu: 5001 → 6001"), std::string::npos);
    EXPECT_NE(restored.out.find("[vlan2] Konfigurace zapsána."), std::string::npos);
    EXPECT_NE(restored.out.find("[network] Konfigurace zapsána."), std::string::npos);
    EXPECT_NE(restored.out.find("[vlan1] beze změny"), std::string::npos);

    // What the module now holds is what the person wrote.
    const std::string again = Backup(emu_, "b.ini");
    EXPECT_EQ(Values(again), Values(edited));
    // Restored once more, nothing is written.
    const Outcome noop = Cli({"restore", File("b.ini")}, emu_);
    EXPECT_EQ(noop.code, 0) << noop.err;
    EXPECT_EQ(noop.out.find("Konfigurace zapsána."), std::string::npos) << noop.out;
    // And the first backup brings the module back byte for byte.
    const Outcome back = Cli({"restore", File("a.ini")}, emu_);
    EXPECT_EQ(back.code, 0) << back.err;
    EXPECT_EQ(Backup(emu_, "c.ini"), original);
}

TEST_F(CliEmulatorTest, MistakesAreRefusedByLineAndTheModuleKeepsWhatItHad) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    std::string edited = Edited(original, "vlan1", "Doba platnosti IP adresy [s]", "0");
    edited = Edited(edited, "remote", "Vzdálená správa", "všem");
    edited = Edited(edited, "vlan3", "Číslo UDP portu", "5001");  // VLAN2's
    WriteBytes(File("bad.ini"), edited);
    const Outcome run = Cli({"restore", File("bad.ini")}, emu_);
    EXPECT_EQ(run.code, 4);
    const std::vector<std::string> lines = Lines(edited);
    auto lineOf = [&](const std::string& text, const std::string& section = "") {
        std::size_t i = 0;
        while (!section.empty() && i < lines.size() && lines[i] != section) ++i;
        for (; i < lines.size(); ++i)
            if (lines[i] == text) return std::to_string(i + 1);
        return std::string("?");
    };
    EXPECT_NE(run.err.find(File("bad.ini") + ":" + lineOf("Doba platnosti IP adresy [s]=0") +
                           ": [vlan1] Doba platnosti IP adresy [s]: Hodnota doby platnosti IP "
                           "adresy musí být v rozsahu 1-255."),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(":" + lineOf("Vzdálená správa=všem") + ": [remote] Vzdálená správa"),
              std::string::npos)
        << run.err;
    // A port taken is taken from both interfaces.
    for (const char* vlan : {"vlan2", "vlan3"})
        EXPECT_NE(run.err.find(":" + lineOf("Číslo UDP portu=5001", "[" + std::string(vlan) + "]") +
                               ": [" + vlan +
                               "] Číslo UDP portu: Číslo portu je již použito u jiného rozhraní."),
                  std::string::npos)
            << run.err;
    EXPECT_EQ(Backup(emu_, "after.ini"), original);
}

TEST_F(CliEmulatorTest, AStoreTheModuleSpoilsIsAFailedWriteNeverASuccess) {
    ASSERT_TRUE(emu_.Start({"--corrupt-store"})) << emu_.Log();
    const std::string original = Backup(emu_, "a.ini");
    WriteBytes(File("edited.ini"), Edited(original, "vlan1", "Číslo UDP portu", "6000"));
    const Outcome run = Cli({"restore", File("edited.ini")}, emu_);
    EXPECT_EQ(run.code, 5);
    EXPECT_NE(run.err.find("[vlan1] Chyba zápisu dat."), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Konfigurace zapsána."), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Zapsané bloky: žádné; nezapsané: vlan1 (251)"), std::string::npos);
}

TEST_F(CliEmulatorTest, ACloneReachesEveryModuleThatAnswersAndLeavesTheirAddresses) {
    EmulatorProcess second, silent;
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(second.Start()) << second.Log();
    ASSERT_TRUE(silent.Start({"--silent"})) << silent.Log();
    const std::string original = Backup(emu_, "a.ini");
    std::string pattern = Edited(original, "vlan2", "Číslo UDP portu", "6001");
    pattern = Edited(pattern, "network", "IP adresa", "10.1.2.3");
    WriteBytes(File("pattern.ini"), pattern);

    auto target = [](const EmulatorProcess& e) {
        return e.Address() + ":" + std::to_string(e.ManagementPort());
    };
    std::vector<std::string> args = {"restore", File("pattern.ini"), "--targets",
                                     target(emu_) + "," + target(silent) + "," + target(second)};
    for (const std::string& a : Connection(emu_, 300, true)) args.push_back(a);
    const auto start = Clock::now();
    const Outcome run = RunCli(args);
    // The silent one costs its time-outs, not the others' success.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(run.code, 3) << run.out << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    auto row = [&](const EmulatorProcess& e) {
        for (const std::string& line : lines)
            if (line.rfind(target(e) + " ", 0) == 0) return line;
        return std::string();
    };
    EXPECT_NE(row(emu_).find("OK"), std::string::npos) << run.out;
    EXPECT_NE(row(second).find("OK"), std::string::npos) << run.out;
    EXPECT_NE(row(silent).find("chyba 3"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Úspěšně 2 z 3 modulů."), std::string::npos);

    // Both answering modules have the new VLAN2 port and kept their own address.
    for (const EmulatorProcess* e : {&emu_, &second}) {
        const Outcome backup = Cli({"backup", "-"}, *e);
        ASSERT_EQ(backup.code, 0) << backup.err;
        EXPECT_EQ(Values(backup.out),
                  Values(Edited(pattern, "network", "IP adresa", "192.168.0.99")));
    }
    // Named, the network block goes too.
    const Outcome network = RunCli([&] {
        std::vector<std::string> a = {"restore", File("pattern.ini"), "--only",
                                      "network", "--targets",         target(second)};
        for (const std::string& c : Connection(second, 1000, true)) a.push_back(c);
        return a;
    }());
    EXPECT_EQ(network.code, 0) << network.out << network.err;
    const Outcome backup = Cli({"backup", "-"}, second);
    EXPECT_EQ(Values(backup.out), Values(pattern));
}

TEST_F(CliEmulatorTest, DiagnosticsAsJsonLinesForTenCycles) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const Outcome run =
        Cli({"diag", "--vlan", "2", "--interval", "100", "--count", "10", "--json"}, emu_);
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 10u) << run.out;
    std::uint64_t uptime = 0;
    std::string time;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const nlohmann::json cycle = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(cycle["cycle"], i + 1);
        EXPECT_EQ(cycle["vlan"], 2);
        EXPECT_EQ(cycle["ok"], true);
        EXPECT_EQ(cycle["requests"], 2);
        EXPECT_EQ(cycle["module"]["type"], kv::emu::kModuleType);
        EXPECT_EQ(cycle["module"]["version"], kv::emu::kFirmwareVersion);
        EXPECT_EQ(cycle["interface"]["port"], emu_.VlanPort(1));
        EXPECT_EQ(cycle["interface"]["users"].size(), 3u);
        EXPECT_EQ(cycle["module"]["errors"].size(), 5u);
        // Numbers as numbers, times in order.
        ASSERT_TRUE(cycle["module"]["uptime_s"].is_number_unsigned());
        EXPECT_GE(cycle["module"]["uptime_s"].get<std::uint64_t>(), uptime);
        uptime = cycle["module"]["uptime_s"].get<std::uint64_t>();
        EXPECT_TRUE(cycle["interface"]["remaining_validity_s"].is_number());
        EXPECT_GT(cycle["time"].get<std::string>(), time);
        time = cycle["time"].get<std::string>();
    }
}

TEST_F(CliEmulatorTest, CtrlCEndsTheDiagnosticsWithTheConnectionClosed) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    kv::testing::CliRunOptions interrupt;
    interrupt.watch = [](pid_t pid, const Outcome& run) {
        if (run.out.find('\n') == std::string::npos) return false;
        kill(pid, SIGINT);
        return true;
    };
    const Outcome run = Cli({"diag", "--interval", "100"}, emu_, interrupt);
    EXPECT_EQ(run.code, 130) << run.err;
    EXPECT_NE(run.out.find("Stav: "), std::string::npos);
}

TEST_F(CliEmulatorTest, TheStoredSettingsAreReadAndLeftAsTheyWere) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    kv::ConnectionSettings settings;
    settings.interfaceKind = 1;
    settings.qudpTargetIp = emu_.Address();
    settings.qudpTargetPort = emu_.ManagementPort();
    ASSERT_TRUE(kv::SaveSettings(&settings, File("W_kv3380u.ini")));
    const std::string bytes = ReadBytes(File("W_kv3380u.ini"));

    const Outcome identify = RunCli({"identify", "--settings", File("W_kv3380u.ini")});
    EXPECT_EQ(identify.code, 0) << identify.err;
    EXPECT_NE(identify.out.find(std::string("Připojen modul ") + kv::emu::kModuleType + " v." +
                                kv::emu::kFirmwareVersion),
              std::string::npos)
        << identify.out;
    const Outcome restart = RunCli({"restart", "--settings", File("W_kv3380u.ini")});
    EXPECT_EQ(restart.code, 0) << restart.err;
    EXPECT_EQ(restart.out, "Zařízení restartováno.\n");
    EXPECT_EQ(ReadBytes(File("W_kv3380u.ini")), bytes);

    // A module that does not answer: the library's own text and the connection's code.
    EmulatorProcess silent;
    ASSERT_TRUE(silent.Start({"--silent"})) << silent.Log();
    std::vector<std::string> args = {"identify"};
    for (const std::string& a : Connection(silent, 300)) args.push_back(a);
    const Outcome none = RunCli(args);
    EXPECT_EQ(none.code, 3);
    EXPECT_FALSE(none.err.empty());
}

}  // namespace
