// kv3380u against several emulators at once: identify, backup into a folder and clone
// with --jobs, a silent module among them; results in the order of the list, each
// module's lines together; a library that refuses a further connection is used one
// module at a time; bad target lists refused before anything is sent.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "emulator/Module.h"
#include "tests/e2e/CliEmulatorFixture.h"
#include "tests/support/FreePort.h"

namespace kv::testing {
namespace {

std::string Target(const EmulatorProcess& e) {
    return e.Address() + ":" + std::to_string(e.ManagementPort());
}

class FleetEmulatorTest : public CliEmulatorTest {
  protected:
    // `count` emulators, those in `silent` answering nothing.
    void StartModules(std::size_t count, const std::vector<std::size_t>& silent = {}) {
        for (std::size_t i = 0; i < count; ++i) {
            modules_.push_back(std::make_unique<EmulatorProcess>());
            const bool quiet = std::find(silent.begin(), silent.end(), i) != silent.end();
            ASSERT_TRUE(modules_.back()->Start(quiet ? std::vector<std::string>{"--silent"}
                                                     : std::vector<std::string>{}))
                << modules_.back()->Log();
        }
    }
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const auto& m : modules_) targets.push_back(Target(*m));
        return targets;
    }
    static std::string Joined(const std::vector<std::string>& targets) {
        std::string list;
        for (const std::string& t : targets) list += (list.empty() ? "" : ",") + t;
        return list;
    }
    // The command with the list and the connection options of the first module (the
    // kind and the time-out; each target names its own address).
    CliOutcome Fleet(std::vector<std::string> args, const std::vector<std::string>& targets,
                     int timeoutMs = 500) const {
        args.push_back("--targets");
        args.push_back(Joined(targets));
        for (const std::string& a : Connection(*modules_.front(), timeoutMs, true))
            args.push_back(a);
        return RunCli(args);
    }
    // The table's row of a target.
    static std::string Row(const std::string& out, const std::string& target) {
        for (const std::string& line : Lines(out))
            if (line.rfind(target + " ", 0) == 0) return line;
        return "";
    }
    // Each target's lines come together, in the order of the list: the first line of a
    // target comes after the last of the one before it.
    static void ExpectGroupedInOrder(const std::string& text,
                                     const std::vector<std::string>& targets) {
        const std::vector<std::string> lines = Lines(text);
        std::size_t at = 0;
        for (const std::string& target : targets) {
            const std::string tag = "[" + target + "] ";
            std::size_t first = lines.size();
            std::size_t last = 0;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (lines[i].rfind(tag, 0) != 0) continue;
                first = std::min(first, i);
                last = i;
            }
            if (first == lines.size()) continue;
            EXPECT_GE(first, at) << target << " starts before the one before it ends:\n" << text;
            for (std::size_t i = first; i <= last; ++i)
                EXPECT_EQ(lines[i].rfind(tag, 0), 0u)
                    << "another module's line among " << target << "'s:\n"
                    << text;
            at = last + 1;
        }
    }

    // `count` emulators, each started with its own options.
    void StartModulesWith(const std::vector<std::vector<std::string>>& options) {
        for (const auto& extra : options) {
            modules_.push_back(std::make_unique<EmulatorProcess>());
            ASSERT_TRUE(modules_.back()->Start(extra)) << modules_.back()->Log();
        }
    }
    // "vlan1 zapsán, vlan2 dočasně na portu 65535" -> {vlan1: zapsán, vlan2: dočasně ...}
    static std::map<std::string, std::string> States(const std::string& text) {
        std::map<std::string, std::string> states;
        std::size_t start = 0;
        while (start < text.size()) {
            auto end = text.find(", ", start);
            if (end == std::string::npos) end = text.size();
            const std::string one = text.substr(start, end - start);
            states[one.substr(0, one.find(' '))] = one.substr(one.find(' ') + 1);
            start = end + 2;
        }
        return states;
    }
    // What the module holds now agrees with what the line said of each block.
    void ExpectHolds(const EmulatorProcess& module, const std::map<std::string, std::string>& said,
                     const std::string& original, const std::string& pattern) {
        const CliOutcome backup = Cli({"backup", "-"}, module);
        ASSERT_EQ(backup.code, 0) << backup.err;
        const auto now = Values(backup.out), before = Values(original), after = Values(pattern);
        const std::vector<std::string> names = {"network", "remote", "vlan1", "vlan2", "vlan3"};
        for (std::size_t s = 0; s < names.size(); ++s) {
            const auto state = said.find(names[s]);
            if (state == said.end()) continue;
            const std::string& is = state->second;
            if (is == "zapsán") {
                EXPECT_EQ(now[s], after[s]) << names[s];
            } else if (is == "nezapsán" || is == "beze změny") {
                EXPECT_EQ(now[s], before[s]) << names[s];
            } else if (is.rfind("dočasně na portu ", 0) == 0) {
                EXPECT_EQ(now[s][0], is.substr(std::string("dočasně na portu ").size()));
            } else {
                EXPECT_EQ(is, "nejistý") << names[s];
                EXPECT_TRUE(now[s] == before[s] || now[s] == after[s] || now[s][0] == "65535")
                    << names[s];
            }
        }
    }

    std::vector<std::unique_ptr<EmulatorProcess>> modules_;
};

TEST_F(FleetEmulatorTest, IdentifyManyPrintsEachModuleInTheOrderOfTheList) {
    StartModules(5, {2});
    const std::vector<std::string> targets = Targets();
    const CliOutcome run = Fleet({"identify", "--jobs", "5"}, targets);
    EXPECT_EQ(run.code, 3) << run.out << run.err;
    ExpectGroupedInOrder(run.out, targets);
    ExpectGroupedInOrder(run.err, targets);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string row = Row(run.out, targets[i]);
        if (i == 2) {
            EXPECT_NE(row.find("chyba 3"), std::string::npos) << run.out;
        } else {
            EXPECT_NE(row.find("OK"), std::string::npos) << run.out;
            EXPECT_NE(row.find(emu::kModuleType), std::string::npos) << row;
            // Each module's own connection, not another's.
            EXPECT_NE(run.out.find("[" + targets[i] + "] Spojení: LAN QUDP (1), Cílová IP adresa " +
                                   modules_[i]->Address() + ", Cílový port " +
                                   std::to_string(modules_[i]->ManagementPort())),
                      std::string::npos)
                << run.out;
        }
    }
    // The table lists the targets in the order of the list.
    std::size_t previous = 0;
    for (const std::string& target : targets) {
        const auto at = run.out.find("\n" + target + " ");
        ASSERT_NE(at, std::string::npos) << run.out;
        EXPECT_GT(at, previous);
        previous = at;
    }
    EXPECT_NE(run.out.find("Úspěšně 4 z 5 modulů."), std::string::npos) << run.out;
}

TEST_F(FleetEmulatorTest, BackupManyWritesOneFilePerModuleWithThatModulesBlocks) {
    StartModules(4, {3});
    // Each module gets a VLAN1 port of its own first, one module at a time, so that a
    // file holding another module's blocks shows.
    const std::string original = Backup(*modules_.front(), "original.ini");
    for (std::size_t i = 0; i < 3; ++i) {
        WriteBytes(File("own.ini"),
                   Edited(original, "vlan1", "Číslo UDP portu", std::to_string(7100 + i)));
        const CliOutcome own = Cli({"restore", File("own.ini"), "--only", "vlan1"}, *modules_[i]);
        ASSERT_EQ(own.code, 0) << own.err;
    }
    ASSERT_EQ(mkdir(File("backups").c_str(), 0700), 0);
    const std::vector<std::string> targets = Targets();
    const CliOutcome run = Fleet({"backup", File("backups"), "--jobs", "4"}, targets);
    EXPECT_EQ(run.code, 3) << run.out << run.err;
    ExpectGroupedInOrder(run.out, targets);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string name =
            modules_[i]->Address() + "_" + std::to_string(modules_[i]->ManagementPort()) + ".ini";
        const std::string saved = ReadBytes(File("backups/" + name));
        ASSERT_FALSE(saved.empty()) << name << "\n" << run.out << run.err;
        // The same as the module's backup of its own.
        EXPECT_EQ(saved, Backup(*modules_[i], "single.ini")) << name;
        EXPECT_NE(saved.find("Číslo UDP portu=" + std::to_string(7100 + i)), std::string::npos);
        EXPECT_NE(Row(run.out, targets[i]).find("OK"), std::string::npos) << run.out;
    }
    // The silent one has no file, and says why.
    const std::string silentName =
        modules_[3]->Address() + "_" + std::to_string(modules_[3]->ManagementPort()) + ".ini";
    EXPECT_EQ(access(File("backups/" + silentName).c_str(), F_OK), -1);
    EXPECT_NE(Row(run.out, targets[3]).find("chyba 3"), std::string::npos) << run.out;

    // Into something that is no folder: refused before anything connects.
    WriteBytes(File("plain"), "x");
    const CliOutcome notAFolder = Fleet({"backup", File("plain")}, targets);
    EXPECT_EQ(notAFolder.code, 4) << notAFolder.err;
    EXPECT_EQ(notAFolder.out, "");
}

TEST_F(FleetEmulatorTest, CloneSideBySideWritesEveryAnsweringModule) {
    StartModules(4, {1});
    const std::string original = Backup(*modules_.front(), "a.ini");
    const std::string pattern = Edited(original, "vlan2", "Číslo UDP portu", "6002");
    WriteBytes(File("pattern.ini"), pattern);
    const std::vector<std::string> targets = Targets();
    const CliOutcome run = Fleet({"restore", File("pattern.ini"), "--jobs", "3"}, targets);
    EXPECT_EQ(run.code, 3) << run.out << run.err;
    ExpectGroupedInOrder(run.out, targets);
    ExpectGroupedInOrder(run.err, targets);
    EXPECT_NE(Row(run.out, targets[1]).find("chyba 3"), std::string::npos) << run.out;
    for (std::size_t i : {0u, 2u, 3u}) {
        EXPECT_NE(Row(run.out, targets[i]).find("OK"), std::string::npos) << run.out;
        const CliOutcome backup = Cli({"backup", "-"}, *modules_[i]);
        ASSERT_EQ(backup.code, 0) << backup.err;
        EXPECT_EQ(Values(backup.out), Values(pattern)) << targets[i];
    }
}

TEST_F(FleetEmulatorTest, BadListsAreRefusedBeforeAnythingIsSent) {
    SilentPeer peer;
    ASSERT_TRUE(peer.Ok());
    WriteBytes(File("a.ini"), "");
    const std::string one = peer.Address() + ":" + std::to_string(peer.Port());
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const std::vector<Case> cases = {
        // The same module twice, also when written differently.
        {{"identify", "--targets", one + "," + one}, "je v seznamu podruhé"},
        {{"identify", "--targets",
          one + "," + peer.Address() + ":0x" +
              [&] {
                  char hex[8];
                  std::snprintf(hex, sizeof hex, "%X", peer.Port());
                  return std::string(hex);
              }()},
         "je v seznamu podruhé (jako"},
        {{"backup", File(""), "--targets", one + " " + one}, "je v seznamu podruhé"},
        {{"identify", "--targets", one, "--jobs", "0"}, "--jobs: „0“ není celé číslo od 1 do 256"},
        {{"identify", "--targets", one, "--jobs", "100000"}, "--jobs: „100000“ není celé číslo"},
        {{"identify", "--jobs", "4"}, "volba --jobs platí jen s --targets"},
        {{"identify", "--targets", one + ",127.0.0.300"}, "„127.0.0.300“ není IP adresa"},
        {{"backup", File(""), "--targets", one + ",127.0.0.1:99999"}, "není celé číslo od 1"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        for (const std::string& a :
             {std::string("--settings"), Settings(), std::string("--kind"), std::string("1"),
              std::string("--timeout"), std::string("300")})
            args.push_back(a);
        const CliOutcome run = RunCli(args);
        EXPECT_EQ(run.code, 2) << c.args.back() << "\n" << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Nápověda: kv3380u " + c.args.front() + " --help"),
                  std::string::npos)
            << run.err;
    }
    EXPECT_EQ(peer.Received(), 0u);
}

// The "LAN" kind (QUDP) sends from the port number it sends to, bound on 127.0.0.1: two
// modules on one port number at two addresses cannot be open at once. The second Init is
// refused while the first is open; the rest goes one module at a time, said once.
TEST_F(FleetEmulatorTest, ALibraryThatRefusesASecondConnectionIsUsedOneAtATime) {
    const std::uint16_t port = FreeUdpPort(EmulatorProcess::TestAddress());
    ASSERT_NE(port, 0);
    // Two peers that take the requests and never answer, so that each connection stays
    // open for its whole time-out and the two overlap.
    std::vector<int> peers;
    std::vector<std::string> targets;
    for (const std::string& address :
         {EmulatorProcess::TestAddress(), std::string("127.0.0.") + std::to_string(253)}) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << address;
        peers.push_back(fd);
        targets.push_back(address + ":" + std::to_string(port));
    }
    std::vector<std::string> args = {"identify", "--targets",  Joined(targets), "--jobs",
                                     "2",        "--settings", Settings(),      "--kind",
                                     "1",        "--timeout",  "1500"};
    const CliOutcome run = RunCli(args);
    for (int fd : peers) close(fd);
    EXPECT_EQ(run.code, 3) << run.out << run.err;
    const std::string line =
        "nepřijala další připojení vedle otevřených; moduly se dál zpracují "
        "po jednom";
    const auto said = run.err.find(line);
    EXPECT_NE(said, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(line, said + 1), std::string::npos) << "said once:\n" << run.err;
    // Both were asked in the end: each ran out of time waiting for its module, rather than
    // failing to open.
    for (const std::string& target : targets) {
        EXPECT_NE(run.err.find("[" + target + "] Modul neodpověděl"), std::string::npos) << run.err;
        EXPECT_NE(Row(run.out, target).find("chyba 3"), std::string::npos) << run.out;
    }
}

// A second Ctrl+C ends the program at once, in the middle of writes to slow modules: it
// still prints, per module, what each block is now, and each module holds just that.
TEST_F(FleetEmulatorTest, ASecondCtrlCDuringACloneStillSaysWhatEachModuleHolds) {
    StartModulesWith(std::vector<std::vector<std::string>>(4, {"--delay", "120"}));
    const std::string original = Backup(*modules_.front(), "original.ini");
    // A swap of two ports (one interface parks first) and a third port: several writes.
    const std::string v1 = Values(original)[2][0], v2 = Values(original)[3][0];
    const std::string pattern = Edited(
        Edited(Edited(original, "vlan1", "Číslo UDP portu", v2), "vlan2", "Číslo UDP portu", v1),
        "vlan3", "Číslo UDP portu", "6003");
    WriteBytes(File("pattern.ini"), pattern);
    std::vector<std::string> states;
    for (const auto& m : modules_) states.push_back(ReadBytes(m->StatePath()));

    // Both interrupts as soon as any module has stored a block, 10 ms apart.
    CliRunOptions options;
    options.watch = [&](pid_t pid, const CliOutcome&) {
        for (std::size_t i = 0; i < modules_.size(); ++i) {
            if (ReadBytes(modules_[i]->StatePath()) == states[i]) continue;
            kill(pid, SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            kill(pid, SIGINT);
            return true;
        }
        return false;
    };
    const std::vector<std::string> targets = Targets();
    std::vector<std::string> args = {"restore", File("pattern.ini"), "--jobs",
                                     "4",       "--targets",         Joined(targets)};
    for (const std::string& a : Connection(*modules_.front(), 3000, true)) args.push_back(a);
    const CliOutcome run = RunCli(args, options);
    EXPECT_EQ(run.code, 130) << run.out << run.err;
    EXPECT_NE(run.err.find("kv3380u: ukončeno hned (druhé přerušení)"), std::string::npos)
        << run.err;
    const auto said = run.out.find("Ukončeno hned; stav bloků v tu chvíli:\n");
    ASSERT_NE(said, std::string::npos) << run.out;
    bool anyWrite = false;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const auto at = run.out.find("\n" + targets[i] + ": ", said);
        ASSERT_NE(at, std::string::npos) << run.out;
        const std::string line = run.out.substr(
            at + targets[i].size() + 3, run.out.find('\n', at + 1) - at - targets[i].size() - 3);
        if (line == "nezpracován, nic nezapsáno") continue;
        const auto blocks = States(line);
        EXPECT_EQ(blocks.size(), 4u) << line;  // the three interfaces and remote management
        for (const auto& [block, state] : blocks) anyWrite = anyWrite || state != "nezapsán";
        ExpectHolds(*modules_[i], blocks, original, pattern);
    }
    EXPECT_TRUE(anyWrite) << run.out;
}

// The table says, per module and block, what each module now holds, whatever the write
// met: a lost reply, a store the module spoils, a module that falls silent. Redirected
// to a file, all of it is there.
TEST_F(FleetEmulatorTest, TheTableSaysWhatEachModuleHoldsBlockByBlock) {
    StartModulesWith({{}, {"--lose-store-replies"}, {"--corrupt-store"}, {"--silent-after-store"}});
    const std::string original = Backup(*modules_.front(), "original.ini");
    const std::string pattern = Edited(Edited(original, "vlan1", "Číslo UDP portu", "6001"),
                                       "vlan3", "Číslo UDP portu", "6003");
    WriteBytes(File("pattern.ini"), pattern);
    const std::vector<std::string> targets = Targets();
    std::vector<std::string> args = {"restore", File("pattern.ini"), "--targets", Joined(targets)};
    for (const std::string& a : Connection(*modules_.front(), 500, true)) args.push_back(a);
    CliRunOptions log;
    log.stdoutFile = File("log");
    const CliOutcome run = RunCli(args, log);
    EXPECT_EQ(run.code, 5) << run.err;
    const std::string table = ReadBytes(File("log"));
    const std::string unchanged = ", vlan2 beze změny, ";
    const std::vector<std::string> expected = {
        "vlan1 zapsán" + unchanged + "vlan3 zapsán, remote beze změny",
        "vlan1 zapsán" + unchanged + "vlan3 zapsán, remote beze změny",
        "vlan1 poškozen v modulu" + unchanged + "vlan3 nezapsán, remote beze změny",
        "vlan1 nejistý" + unchanged + "vlan3 nezapsán, remote beze změny"};
    for (std::size_t i = 0; i < targets.size(); ++i)
        EXPECT_NE(Row(table, targets[i]).find(expected[i]), std::string::npos) << table;
    for (std::size_t i : {0u, 1u})
        ExpectHolds(*modules_[i], States(expected[i]), original, pattern);
    // The spoilt block is what the next backup finds damaged.
    EXPECT_EQ(Cli({"backup", File("spoilt.ini")}, *modules_[2]).code, 6);
    // The silent one stored its first block after all.
    ASSERT_TRUE(modules_[3]->Start()) << modules_[3]->Log();
    const auto now = Values(Cli({"backup", "-"}, *modules_[3]).out);
    EXPECT_EQ(now[2], Values(pattern)[2]);
    EXPECT_EQ(now[4], Values(original)[4]);
}

}  // namespace
}  // namespace kv::testing
