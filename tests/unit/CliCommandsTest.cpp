// The commands over the scriptable fake library: what each costs in exchanges, that a
// refused value reaches no module, that a write whose read-back differs is never called a
// success, and that every command ends with its connection closed.

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "editors/EditorTable.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/support/CliSupport.h"
#include "tests/support/Hex.h"
#include "tests/support/ScratchFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv::cli {
namespace {

const std::string kFakeFolder = std::string(KV_BIN_DIR) + "/fakes/complete";

struct Captured : Output {
    std::vector<std::string> printed;
    std::vector<std::string> reported;
    void Print(const std::string& line) override { printed.push_back(line); }
    void Report(const std::string& line) override { reported.push_back(line); }
    bool Printed(const std::string& part) const { return Has(printed, part); }
    bool Reported(const std::string& part) const { return Has(reported, part); }
    static bool Has(const std::vector<std::string>& lines, const std::string& part) {
        for (const std::string& line : lines)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
};

std::vector<std::uint32_t> Reply(const ConfigBlock& block) {
    std::vector<std::uint32_t> data(300, 0);
    for (std::size_t k = 0; k < block.size(); ++k) data[4 + k] = block[k];
    return data;
}

ConfigBlock DefaultBlock(std::uint16_t number) {
    return EditorForBlock(number)->encode(DefaultModuleConfig());
}

// The block a restore of the file writes over a fresh module.
ConfigBlock Planned(const std::string& file, std::uint16_t block) {
    const BackupRead read = ReadBackupText(testing::ReadBytes(file));
    const RestorePlan plan = PlanRestore(read.document, {block}, DefaultModuleConfig());
    EXPECT_FALSE(plan.Refused());
    return plan.blocks.at(0).target;
}

class CliCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        platform::SetProgramFolderForTesting(kFakeFolder);
        fake_ = std::make_unique<kvtest::FakeTransport>(kFakeFolder,
                                                        kInterfaceKinds[kKindLanQudp].file);
        ASSERT_TRUE(fake_->ok());
        fake_->Reset();
        testing::WriteBytes(dir_.File("settings.ini"), "[kv]\n");
        options_.settingsFile = dir_.File("settings.ini");
        options_.kind = "LAN QUDP";
        options_.ip = "127.0.0.1";
        options_.port = "9";
        options_.timeout = "100";
    }
    void TearDown() override { platform::SetProgramFolderForTesting(""); }

    // The three identification requests, answered with what the buffer holds.
    void Identification() {
        for (int i = 0; i < 3; ++i) fake_->QueueSend(0, 0, 0);
    }
    // The module's blocks as a restore reads them, in the order it asks for them.
    void Module(const std::vector<std::uint16_t>& blocks) {
        for (std::uint16_t block : blocks) fake_->QueueSend(0, 0, 0, Reply(DefaultBlock(block)));
    }
    // A verified write that reads back what it handed over: the fake leaves the buffer.
    void GoodWrite() {
        for (int i = 0; i < 3; ++i) fake_->QueueSend(0, 0, 0);
    }
    // A backup of a fresh module with some values edited, written to a file.
    std::string EditedFile(const std::vector<std::pair<std::string, std::string>>& edits) {
        std::vector<BackupBlock> blocks;
        for (const BlockSection& section : BlockSections())
            blocks.push_back({section.block, DefaultBlock(section.block)});
        std::string text = BackupText(kv::testing::kTestModule, blocks);
        for (const auto& [from, to] : edits) {
            const auto at = text.find(from);
            EXPECT_NE(at, std::string::npos) << from;
            if (at != std::string::npos) text.replace(at, from.size(), to);
        }
        const std::string path = dir_.File("backup.ini");
        testing::WriteBytes(path, text);
        return path;
    }
    std::vector<std::uint32_t> Frame(std::uint32_t index) const { return fake_->Frame(index); }

    testing::ScratchFolder dir_;
    std::unique_ptr<kvtest::FakeTransport> fake_;
    ConnectionOptions options_;
    Captured out_;
};

TEST_F(CliCommandsTest, ABackupCostsFiveBlockReadsAndClosesItsConnection) {
    const std::string path = dir_.File("out.ini");
    EXPECT_EQ(RunBackup(options_, {path}, out_), kExitOk);
    // Three to identify, five blocks, and the module's status for its serial number.
    ASSERT_EQ(fake_->CallCount("Send"), 3u + 5u + 1u);
    EXPECT_EQ(testing::HexOfWords(Frame(8).data() + 1, 2), "cc64");  // 204/100: the status
    for (std::uint32_t i = 0; i < 5; ++i) {
        const auto frame = Frame(3 + i);
        ASSERT_EQ(frame.size(), 304u);
        EXPECT_EQ(testing::HexOfWords(frame.data() + 1, 2), "cc01");  // 204/1
        EXPECT_EQ(frame[4 + 1], 250 + i);                             // the block, low byte
        EXPECT_EQ(frame[4 + 2], 0u);
    }
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
    const BackupRead read = ReadBackupText(testing::ReadBytes(path));
    EXPECT_TRUE(read.problems.empty()) << read.problems.front().text;
    EXPECT_EQ(read.document.sections.size(), 5u);
}

TEST_F(CliCommandsTest, ABackupThatCannotReadABlockWritesNoFile) {
    Identification();
    Module({250, 251});
    fake_->QueueSend(0, 5, 0);  // block 252 fails with the library's code 5
    const std::string path = dir_.File("out.ini");
    EXPECT_EQ(RunBackup(options_, {path}, out_), kExitConnection);
    EXPECT_TRUE(out_.Reported("[vlan2] fake 5"));
    EXPECT_FALSE(platform::IniFile().Load(path));
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 3u);
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
}

TEST_F(CliCommandsTest, ABlockWithAWrongChecksumIsSavedMarkedWithItsOwnExitCode) {
    Identification();
    ConfigBlock spoilt = DefaultBlock(252);
    spoilt[kConfigBlockSize - 1] ^= 0x40;
    Module({250, 251});
    fake_->QueueSend(0, 0, 0, Reply(spoilt));
    Module({253, 254});
    const std::string path = dir_.File("out.ini");
    EXPECT_EQ(RunBackup(options_, {path}, out_), kExitBadChecksum);
    EXPECT_TRUE(out_.Reported("[vlan2]"));
    EXPECT_NE(testing::ReadBytes(path).find("POZOR"), std::string::npos);
}

TEST_F(CliCommandsTest, ARestoreOfOneChangedBlockWritesItWithThreeExchangesAfterTheDiff) {
    const std::string file = EditedFile({{"Číslo UDP portu=5001", "Číslo UDP portu=6001"}});
    Identification();
    Module(BlocksToRead(WriteOrder()));
    GoodWrite();
    RestoreOptions restore;
    restore.file = file;
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitOk);
    // Three to identify, five to compare, three to write.
    ASSERT_EQ(fake_->CallCount("Send"), 3u + 5u + 3u);
    const auto hand = Frame(8), store = Frame(9), back = Frame(10);
    EXPECT_EQ(testing::HexOfWords(hand.data() + 1, 2), "cd00");  // 205/0
    EXPECT_EQ(testing::HexOfWords(hand.data() + 8, 2), "7117");  // port 6001, low byte first
    EXPECT_EQ(testing::HexOfWords(store.data() + 1, 6), "650b00fc0000");  // 101/11, 252
    EXPECT_EQ(testing::HexOfWords(back.data() + 1, 6), "cc010000fc00");   // 204/1, 252
    EXPECT_TRUE(out_.Printed("  Číslo UDP portu: 5001 → 6001"));
    EXPECT_TRUE(out_.Printed("[vlan2] Konfigurace zapsána."));
    EXPECT_TRUE(out_.Printed("[vlan1] beze změny"));
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
}

TEST_F(CliCommandsTest, AReadBackThatDiffersStopsTheRestoreAndIsNeverCalledWritten) {
    const std::string file = EditedFile({{"Číslo UDP portu=5000", "Číslo UDP portu=6000"},
                                         {"Číslo UDP portu=5001", "Číslo UDP portu=6001"},
                                         {"Brána=192.168.0.123", "Brána=192.168.0.1"}});
    Identification();
    Module(BlocksToRead(WriteOrder()));
    GoodWrite();                                                    // VLAN1
    fake_->QueueSend(0, 0, 0);                                      // VLAN2 handed over
    fake_->QueueSend(0, 0, 0);                                      // and stored
    fake_->QueueSend(0, 0, 0, std::vector<std::uint32_t>(300, 0));  // but reads back zeros
    fake_->QueueSend(0, 0, 0, Reply(DefaultBlock(252)));            // read once more: as it was
    RestoreOptions restore;
    restore.file = file;
    restore.otherModule = true;  // the fake module reports no serial number
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitWriteFailed);
    // The one read that tells what the module holds, nothing after it.
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 5u + 3u + 3u + 1u);
    EXPECT_EQ(testing::HexOfWords(Frame(14).data() + 1, 6), "cc010000fc00");  // 204/1, 252
    EXPECT_TRUE(
        out_.Reported("[vlan2] zpětné čtení po chybě: blok zapsán není, modul má "
                      "dosavadní obsah"));
    EXPECT_TRUE(out_.Printed("[vlan1] Konfigurace zapsána."));
    EXPECT_FALSE(out_.Printed("[vlan2] Konfigurace zapsána."));
    EXPECT_TRUE(out_.Reported("[vlan2] Chyba zápisu dat."));
    EXPECT_TRUE(out_.Reported("Zapsané bloky: vlan1 (251); nezapsané: vlan2 (252), network (254)"));
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
}

TEST_F(CliCommandsTest, ARefusedValueReachesNoModule) {
    const std::string file = EditedFile({{"Číslo UDP portu=5000", "Číslo UDP portu=70000"}});
    RestoreOptions restore;
    restore.file = file;
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitRefused);
    EXPECT_EQ(fake_->CallCount("Init"), 0u);
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> all;
        std::string text = testing::ReadBytes(file);
        for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            all.push_back(text.substr(start, end - start));
        }
        return all;
    }();
    std::size_t line = 0;
    while (line < lines.size() && lines[line] != "Číslo UDP portu=70000") ++line;
    EXPECT_TRUE(out_.Reported(file + ":" + std::to_string(line + 1) +
                              ": [vlan1] Číslo UDP portu: Hodnota portu musí být v rozsahu "
                              "0-65535."));
}

TEST_F(CliCommandsTest, ADryRunOnlyReadsAndAModuleThatStopsAnsweringWritesNothing) {
    const std::string file = EditedFile({{"Číslo UDP portu=5001", "Číslo UDP portu=6001"}});
    Identification();
    Module(BlocksToRead(WriteOrder()));
    RestoreOptions restore;
    restore.file = file;
    restore.dryRun = true;
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitOk);
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 5u);
    EXPECT_TRUE(out_.Printed("Změnil by se 1 blok: vlan2 (252)"));

    fake_->Reset();
    Identification();
    Module({251, 252});
    fake_->QueueSend(0, 5, 0);  // the third read fails
    restore.dryRun = false;
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitConnection);
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 3u);
}

TEST_F(CliCommandsTest, ACloneOverAKindWithOneModuleIsRefusedBeforeAnyConnection) {
    options_.kind = "PCI-3380";
    options_.ip.reset();
    options_.port.reset();
    options_.timeout.reset();
    RestoreOptions clone;
    clone.file = EditedFile({});
    clone.targets = {"1", "2"};
    EXPECT_EQ(RunRestore(options_, clone, out_), kExitUsage);
    EXPECT_EQ(fake_->CallCount("Init"), 0u);
}

TEST_F(CliCommandsTest, AFailedWriteIsReadOnceAndReportedAsWhatTheModuleHolds) {
    const std::string file = EditedFile({{"Číslo UDP portu=5001", "Číslo UDP portu=6001"},
                                         {"Brána=192.168.0.123", "Brána=192.168.0.1"}});
    RestoreOptions restore;
    restore.file = file;
    restore.otherModule = true;  // the fake module reports no serial number
    auto failedStore = [&] {
        fake_->QueueSend(0, 0, 0);  // handed over
        fake_->QueueSend(0, 5, 0);  // the store's reply does not come
    };

    // The block is there after all: written, and the restore goes on to the next one.
    Identification();
    Module(BlocksToRead(WriteOrder()));
    failedStore();
    fake_->QueueSend(0, 0, 0, Reply(Planned(file, 252)));
    GoodWrite();
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitOk);
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 5u + 2u + 1u + 3u);
    EXPECT_TRUE(out_.Reported("[vlan2] fake 5"));
    EXPECT_TRUE(out_.Reported("[vlan2] zpětné čtení po chybě: blok je v modulu zapsán"));
    EXPECT_TRUE(out_.Printed("[vlan2] Konfigurace zapsána."));
    EXPECT_TRUE(out_.Printed("Zapsané bloky: vlan2 (252), network (254)"));

    // The read fails too: nobody can say, and nothing more is written.
    fake_->Reset();
    out_ = Captured();
    Identification();
    Module(BlocksToRead(WriteOrder()));
    failedStore();
    fake_->QueueSend(0, 5, 0);
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitWriteFailed);
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 5u + 2u + 1u);
    EXPECT_TRUE(
        out_.Reported("[vlan2] zpětné čtení po chybě selhalo (fake 5): zda je blok "
                      "zapsán, není známo"));
    EXPECT_TRUE(
        out_.Reported("Obnova zastavena. Zapsané bloky: žádné; nezapsané: network (254); "
                      "nejisté: vlan2 (252)"));

    // Something else than before and than planned: not written, and said so.
    fake_->Reset();
    out_ = Captured();
    Identification();
    Module(BlocksToRead(WriteOrder()));
    failedStore();
    fake_->QueueSend(0, 0, 0, Reply(DefaultBlock(251)));
    EXPECT_EQ(RunRestore(options_, restore, out_), kExitWriteFailed);
    EXPECT_TRUE(
        out_.Reported("[vlan2] zpětné čtení po chybě: blok zapsán není, modul má jiný "
                      "obsah, než měl i než se zapisoval"));
    EXPECT_TRUE(out_.Reported("nezapsané: vlan2 (252), network (254)"));
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
}

TEST_F(CliCommandsTest, ACtrlCBetweenTwoWritesEndsTheRestoreThere) {
    const std::string file = EditedFile({{"Číslo UDP portu=5001", "Číslo UDP portu=6001"},
                                         {"Brána=192.168.0.123", "Brána=192.168.0.1"}});
    Identification();
    Module(BlocksToRead(WriteOrder()));
    GoodWrite();
    RestoreOptions restore;
    restore.file = file;
    restore.otherModule = true;  // the fake module reports no serial number
    RunControl control;
    // Ctrl+C comes while VLAN2's write is in flight.
    control.stopRequested = [&] { return fake_->CallCount("Send") >= 3u + 5u + 3u; };
    EXPECT_EQ(RunRestore(options_, restore, out_, control), kExitInterrupted);
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 5u + 3u);
    EXPECT_TRUE(out_.Reported("Přerušeno. Zapsané bloky: vlan2 (252); nezapsané: network (254)"));
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
}

TEST_F(CliCommandsTest, CountsAreSaidInCzechAndASwapParksOneInterface) {
    // VLAN1 and VLAN2 trade ports: three writes, the first to a free port.
    const std::string file = EditedFile({{"Číslo UDP portu=5001", "Číslo UDP portu=5000"},
                                         {"Číslo UDP portu=5000", "Číslo UDP portu=5001"}});
    // A clone leaves the network block out: four blocks to read.
    const std::vector<std::uint16_t> cloned = BlocksToRead({251, 252, 253, 250});
    Identification();
    Module(cloned);
    for (int i = 0; i < 3; ++i) GoodWrite();
    RestoreOptions clone;
    clone.file = file;
    clone.targets = {"127.0.0.1"};
    EXPECT_EQ(RunRestore(options_, clone, out_), kExitOk);
    EXPECT_EQ(fake_->CallCount("Send"), 3u + 4u + 9u);
    EXPECT_TRUE(
        out_.Printed("[127.0.0.1] [vlan1] se kvůli výměně portů nejprve přesune na volný "
                     "port 65535"));
    EXPECT_TRUE(out_.Printed("[127.0.0.1] [vlan1] port dočasně přesunut na 65535"));
    EXPECT_EQ(Frame(7 + 1)[4], 251u);  // the parking store names VLAN1's block
    EXPECT_EQ(Frame(10 + 1)[4], 252u);
    EXPECT_EQ(Frame(13 + 1)[4], 251u);
    EXPECT_TRUE(out_.Printed("zapsány 2 bloky"));
    EXPECT_TRUE(out_.Printed("Úspěšně 1 z 1 modulu."));

    fake_->Reset();
    Identification();
    Module(cloned);
    clone.dryRun = true;
    EXPECT_EQ(RunRestore(options_, clone, out_), kExitOk);
    EXPECT_TRUE(out_.Printed("Změnily by se 2 bloky: vlan1 (251), vlan2 (252)"));
    EXPECT_TRUE(out_.Printed("nanečisto, změnily by se 2 bloky"));
}

TEST_F(CliCommandsTest, DiagnosticsAsJsonSayWhenTheFirstConnectionFails) {
    fake_->SetInitResult(5, 0);
    DiagOptions diag;
    diag.json = true;
    diag.vlan = Vlan::FromNumber(2);
    EXPECT_EQ(RunDiag(options_, diag, out_), kExitConnection);
    ASSERT_EQ(out_.printed.size(), 1u);
    const nlohmann::json cycle = nlohmann::json::parse(out_.printed[0]);
    EXPECT_EQ(cycle["cycle"], 1);
    EXPECT_EQ(cycle["vlan"], 2);
    EXPECT_EQ(cycle["ok"], false);
    EXPECT_EQ(cycle["requests"], 0);
    EXPECT_NE(cycle["status"].get<std::string>().find("fake 5"), std::string::npos) << cycle;
    EXPECT_TRUE(cycle["module"].is_null());
    EXPECT_TRUE(cycle["interface"].is_null());
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
}

}  // namespace
}  // namespace kv::cli
