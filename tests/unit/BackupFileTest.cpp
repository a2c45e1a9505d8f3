// The backup file: what it holds comes back as it was, and a hand-edited file's mistakes
// are named by their line.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "editors/NastavLAN.h"
#include "editors/SitoveParam.h"
#include "editors/VzdalenaSprava.h"
#include "tests/support/CliSupport.h"
#include "tests/support/Hex.h"

namespace kv::cli {
namespace {

using testing::BlocksOf;
using testing::Hex;
using testing::Lines;

// A configuration whose groups differ from the defaults everywhere a person would edit.
ModuleConfig Edited() {
    ModuleConfig c = DefaultModuleConfig();
    const std::size_t vlan2 = ModuleConfig::VlanOffset(1);
    c.SetU16(vlan2 + ModuleConfig::kVlanPort, 6001);
    c.bytes[vlan2 + ModuleConfig::kVlanMode] = 2;
    for (int k = 0; k < 4; ++k)  // user 2's address, octet by octet
        c.bytes[vlan2 + ModuleConfig::kVlanUserIp + 3 * k + 1] = static_cast<std::uint8_t>(10 + k);
    c.bytes[vlan2 + ModuleConfig::kVlanUserAccess + 1] = 1;
    c.bytes[ModuleConfig::kIpAddress] = 10;
    return c;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

// The number (1-based) of the first line starting with `start` after line `after`.
std::size_t LineOf(const std::vector<std::string>& lines, const std::string& start,
                   std::size_t after = 0) {
    for (std::size_t i = after; i < lines.size(); ++i)
        if (lines[i].rfind(start, 0) == 0) return i + 1;
    return 0;
}

TEST(BackupFileTest, EveryBlockComesBackByteForByteWithItsNamedValues) {
    std::vector<BackupBlock> blocks = BlocksOf(Edited());
    // A remote management mode the list has no entry for, and a byte no setting names:
    // both must survive, the mode as its number.
    for (BackupBlock& block : blocks) {
        if (block.number == kRemoteManagementBlock) block.bytes[2] = 7;
        if (block.number == kNetworkParamBlock) block.bytes[100] = 0x5A;
        SealBlock(block.bytes);
    }
    const std::string text = BackupText(kv::testing::kTestModule, blocks);
    const BackupRead read = ReadBackupText(text);
    ASSERT_TRUE(read.problems.empty())
        << read.problems.front().line << ": " << read.problems.front().text;
    EXPECT_EQ(read.document.moduleIdent, "KV-3380U v.1.20");
    ASSERT_EQ(read.document.sections.size(), blocks.size());
    for (const BackupBlock& block : blocks) {
        const BackupSection* section = read.document.Find(block.number);
        ASSERT_NE(section, nullptr) << block.number;
        ASSERT_TRUE(section->data.has_value());
        EXPECT_EQ(Hex(*section->data), Hex(block.bytes));
        // The names say what the bytes hold, as the editor decodes them.
        const EditorSpec& spec = *section->section->spec;
        ModuleConfig decoded = DefaultModuleConfig();
        spec.decode(block.bytes, decoded);
        const auto keys = SettingKeys(spec);
        const auto values = RenderSettings(spec, keys, decoded);
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (keys[k].hidden) continue;
            EXPECT_EQ(section->values[k], values[k]) << keys[k].name;
        }
    }
    // What a person reads: an address as dotted text, a list by its entry, the unknown
    // mode as a number, VLAN2's user 2 with its address and right.
    EXPECT_NE(text.find("\nIP adresa=10.168.0.99\n"), std::string::npos);
    EXPECT_NE(text.find("\nVzdálená správa=7\n"), std::string::npos);
    EXPECT_NE(text.find("\nRežim rozhraní=tabulka platných IP adres\n"), std::string::npos);
    const auto vlan2 = text.find("[vlan2]");
    EXPECT_NE(text.find("\nUživatel 2 IP adresa=10.11.12.13\n", vlan2), std::string::npos);
    EXPECT_NE(text.find("\nUživatel 2 Přístup=pouze čtení\n", vlan2), std::string::npos);
    // Written again from what was read, the file is the same: two backups diff cleanly.
    std::vector<BackupBlock> again;
    for (const BackupSection& section : read.document.sections)
        again.push_back({section.section->block, *section.data});
    EXPECT_EQ(BackupText(read.document.Identity(), again), text);
}

TEST(BackupFileTest, HandEditedMistakesAreReportedByTheirLines) {
    std::vector<std::string> lines =
        Lines(BackupText(kv::testing::kTestModule, BlocksOf(Edited())));
    auto insertAfter = [&](const std::string& start, std::size_t from, const std::string& line) {
        const std::size_t at = LineOf(lines, start, from);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    };
    // A checksum byte changed by hand, a data row one digit too long.
    std::string& checksum = lines[LineOf(lines, "Data 224=", LineOf(lines, "[vlan3]")) - 1];
    checksum.back() = checksum.back() == '0' ? '1' : '0';
    lines[LineOf(lines, "Data 032=", LineOf(lines, "[vlan1]")) - 1] += "0";
    // A value given twice, a read-only one given, an unknown key, a line that is no key,
    // a line in code page 1250, an unknown section and a section given twice.
    insertAfter("Režim rozhraní=", LineOf(lines, "[vlan1]"), "Režim rozhraní=vypnuto");
    insertAfter("Doba platnosti", LineOf(lines, "[vlan1]"), "Uživatel 1 Port=5");
    insertAfter("[remote]", 0, "Barva=modrá");
    insertAfter("Barva=", 0, "jen text");
    insertAfter("jen text", 0, "Br\xE1na=1.2.3.4");
    lines.push_back("[vlan4]");
    lines.push_back("[remote]");

    // Where each mistake now stands in the edited file.
    const std::size_t vlan1 = LineOf(lines, "[vlan1]");
    const std::size_t firstMode = LineOf(lines, "Režim rozhraní=", vlan1);
    const std::size_t secondMode = LineOf(lines, "Režim rozhraní=", firstMode);
    const std::size_t readOnly = LineOf(lines, "Uživatel 1 Port=");
    const std::size_t unknown = LineOf(lines, "Barva=");
    const std::size_t noKey = LineOf(lines, "jen text");
    const std::size_t cp1250 = LineOf(lines, "Br\xE1na");
    const std::size_t longRow = LineOf(lines, "Data 032=", vlan1);
    const std::size_t spoilt = LineOf(lines, "Data 224=", LineOf(lines, "[vlan3]"));
    const std::size_t badSection = LineOf(lines, "[vlan4]");
    const std::size_t twice = LineOf(lines, "[remote]", LineOf(lines, "[remote]"));

    const BackupRead read = ReadBackupText(Joined(lines));
    auto at = [&](std::size_t line) {
        std::string texts;
        for (const FileProblem& p : read.problems)
            if (p.line == line) texts += p.text + "|";
        return texts;
    };
    EXPECT_NE(at(secondMode).find("podruhé (poprvé na řádku " + std::to_string(firstMode) + ")"),
              std::string::npos)
        << at(secondMode);
    EXPECT_NE(at(readOnly).find("jen pro čtení"), std::string::npos) << at(readOnly);
    EXPECT_NE(at(unknown).find("neznámý klíč „Barva“"), std::string::npos) << at(unknown);
    EXPECT_NE(at(noKey).find("klíč=hodnota"), std::string::npos) << at(noKey);
    EXPECT_NE(at(cp1250).find("UTF-8"), std::string::npos) << at(cp1250);
    EXPECT_NE(at(longRow).find("64 šestnáctkových číslic"), std::string::npos) << at(longRow);
    EXPECT_NE(at(spoilt).find("kontrolní součet"), std::string::npos) << at(spoilt);
    EXPECT_NE(at(badSection).find("neznámý oddíl [vlan4]"), std::string::npos);
    EXPECT_NE(at(twice).find("oddíl [remote] je v souboru podruhé"), std::string::npos);
    // Nothing else was wrong with the file. A line in another encoding comes first, as the
    // likely cause of the rest; then the report reads from top to bottom.
    EXPECT_EQ(read.problems.size(), 9u);
    EXPECT_EQ(read.problems.front().line, cp1250);
    for (std::size_t i = 2; i < read.problems.size(); ++i)
        EXPECT_LE(read.problems[i - 1].line, read.problems[i].line);
    // The first of two values is the one that counts.
    EXPECT_EQ(read.document.Find(kFirstVlanBlock)->lines[1], firstMode);
}

TEST(BackupFileTest, AMissingSettingNamesItsSectionAndTheDataRowsMayGoAltogether) {
    std::vector<std::string> lines =
        Lines(BackupText(kv::testing::kTestModule, BlocksOf(DefaultModuleConfig())));
    const std::size_t network = LineOf(lines, "[network]");
    // The network block without its rows: its values alone will make the block.
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool inNetwork = i + 1 > network && i + 1 < LineOf(lines, "[remote]");
        if (inNetwork && lines[i].rfind("Data ", 0) == 0) continue;
        if (lines[i].rfind("Brána=", 0) == 0) continue;
        kept.push_back(lines[i]);
    }
    const BackupRead read = ReadBackupText(Joined(kept));
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(read.problems[0].line, network);
    EXPECT_EQ(read.problems[0].text, "v oddílu [network] chybí klíč „Brána“");
    EXPECT_FALSE(read.document.Find(kNetworkParamBlock)->data.has_value());
    EXPECT_TRUE(read.document.Find(kRemoteManagementBlock)->data.has_value());

    EXPECT_FALSE(ReadBackupText("").problems.empty());
    EXPECT_FALSE(ReadBackupText("[kv3380u]\nFormát=2\n[vlan1]\n").problems.empty());
}

TEST(BackupFileTest, ABlockWithAWrongChecksumIsWrittenAsReadButMarkedAndRefusedWhenRead) {
    std::vector<BackupBlock> blocks = BlocksOf(DefaultModuleConfig());
    blocks[2].bytes[kConfigBlockSize - 1] ^= 0x01;
    const std::string text = BackupText(kv::testing::kTestModule, blocks);
    EXPECT_NE(text.find("POZOR: kontrolní součet bloku nesouhlasí"), std::string::npos);
    const BackupRead read = ReadBackupText(text);
    ASSERT_EQ(read.problems.size(), 1u);
    const std::vector<std::string> lines = Lines(text);
    const BlockSection* spoilt = SectionByBlock(blocks[2].number);
    EXPECT_EQ(read.problems[0].line,
              LineOf(lines, "Data 224=", LineOf(lines, "[" + std::string(spoilt->name) + "]")));
}

TEST(BackupFileTest, AFileAsWindowsEditorsSaveItReadsTheSame) {
    const std::string text = BackupText(kv::testing::kTestModule, BlocksOf(Edited()));
    const BackupRead plain = ReadBackupText(text);
    ASSERT_TRUE(plain.problems.empty());

    // A byte-order mark before the first line.
    const BackupRead marked = ReadBackupText("\xEF\xBB\xBF" + text);
    EXPECT_TRUE(marked.problems.empty()) << marked.problems.front().text;
    EXPECT_EQ(marked.document.sections.size(), plain.document.sections.size());

    // Keys and list entries decomposed (NFD): "Číslo" as C, combining caron, I, acute...
    std::string decomposed = text;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"Č", "C\u030C"},
                                   {"í", "i\u0301"},
                                   {"ž", "z\u030C"},
                                   {"ř", "r\u030C"},
                                   {"á", "a\u0301"},
                                   {"é", "e\u0301"},
                                   {"ů", "u\u030A"},
                                   {"č", "c\u030C"},
                                   {"ě", "e\u030C"},
                                   {"ú", "u\u0301"}})
        for (auto at = decomposed.find(from); at != std::string::npos;
             at = decomposed.find(from, at + to.size()))
            decomposed.replace(at, from.size(), to);
    ASSERT_NE(decomposed, text);
    const BackupRead nfd = ReadBackupText(decomposed);
    EXPECT_TRUE(nfd.problems.empty()) << nfd.problems.front().text;
    ASSERT_EQ(nfd.document.sections.size(), plain.document.sections.size());
    for (std::size_t s = 0; s < nfd.document.sections.size(); ++s)
        EXPECT_EQ(nfd.document.sections[s].values, plain.document.sections[s].values);
}

TEST(BackupFileTest, TwoInterfacesOnOnePortAreMarkedInTheFile) {
    ModuleConfig config = DefaultModuleConfig();
    config.SetU16(ModuleConfig::VlanOffset(2) + ModuleConfig::kVlanPort, 5000);  // VLAN1's
    const std::vector<BackupBlock> blocks = BlocksOf(config);
    const std::vector<SharedPort> shared = SharedPorts(blocks);
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared[0].port, 5000);
    EXPECT_EQ(shared[0].first, kFirstVlanBlock);
    EXPECT_EQ(shared[0].second, kFirstVlanBlock + 2);
    const std::vector<std::string> lines = Lines(BackupText(kv::testing::kTestModule, blocks));
    const std::string warning = "; POZOR: UDP port 5000 má v modulu i [";
    EXPECT_EQ(lines[LineOf(lines, "[vlan1]")], warning +
                                                   "vlan3]; obnova soubor odmítne, "
                                                   "dokud porty nerozlišíte.");
    EXPECT_EQ(lines[LineOf(lines, "[vlan3]")], warning +
                                                   "vlan1]; obnova soubor odmítne, "
                                                   "dokud porty nerozlišíte.");
    EXPECT_EQ(LineOf(lines, warning, LineOf(lines, "[vlan2]")), LineOf(lines, "[vlan3]") + 1);
    EXPECT_TRUE(SharedPorts(BlocksOf(DefaultModuleConfig())).empty());
}

}  // namespace
}  // namespace kv::cli
