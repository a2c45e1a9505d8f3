// The backup file's keys are its format: format 1 as kv3380u has written it since its first
// backups, held here as a table of literals, and a window caption renamed changes none of it.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/BackupKeys.h"
#include "backup/RestorePlan.h"
#include "editors/NastavLAN.h"
#include "tests/support/CliSupport.h"

namespace kv {
namespace {

// Each section's keys in the order a backup writes them: "(jen pro čtení)" marks a key
// written as a comment, shown only; "možné hodnoty: …" the choices written above a list.
const std::vector<std::pair<std::string, std::vector<std::string>>> kFormatOne = {
    {"kv3380u", {"Formát", "Modul"}},
    {"network", {"Blok", "IP adresa", "Maska podsítě", "Brána"}},
    {"remote",
     {"Blok", "Číslo UDP portu", "možné hodnoty: zakázána | povolena všem | tabulka přístupu",
      "Vzdálená správa", "Uživatel 1 IP adresa", "Uživatel 1 Port (jen pro čtení)",
      "Uživatel 2 IP adresa", "Uživatel 2 Port (jen pro čtení)", "Uživatel 3 IP adresa",
      "Uživatel 3 Port (jen pro čtení)"}},
};
const std::vector<std::string> kVlanKeys = {
    "Blok",
    "Číslo UDP portu",
    "možné hodnoty: vypnuto | časovač platnosti IP adresy | tabulka platných IP adres",
    "Režim rozhraní",
    "Doba platnosti IP adresy [s]",
    "možné hodnoty: čtení i zápis | pouze čtení",
    "Přístup rozhraní",
    "Uživatel 1 IP adresa",
    "Uživatel 1 Port (jen pro čtení)",
    "Uživatel 1 Přístup",
    "Uživatel 2 IP adresa",
    "Uživatel 2 Port (jen pro čtení)",
    "Uživatel 2 Přístup",
    "Uživatel 3 IP adresa",
    "Uživatel 3 Port (jen pro čtení)",
    "Uživatel 3 Přístup",
};
const std::vector<std::string> kDataKeys = {"Data 000", "Data 032", "Data 064", "Data 096",
                                            "Data 128", "Data 160", "Data 192", "Data 224"};
const std::vector<std::string> kHeadings = {"Nastavení síťových parametrů (blok 254)",
                                            "Nastavení vzdálené správy LAN (blok 250)",
                                            "Nastavení komunikačního rozhraní VLAN1 (blok 251)",
                                            "Nastavení komunikačního rozhraní VLAN2 (blok 252)",
                                            "Nastavení komunikačního rozhraní VLAN3 (blok 253)"};

// The sections and keys of a backup's text, as above; the headings above the sections.
std::vector<std::pair<std::string, std::vector<std::string>>> KeysOf(
    const std::string& text, std::vector<std::string>& headings) {
    std::vector<std::pair<std::string, std::vector<std::string>>> sections;
    std::string comment;
    for (const std::string& line : testing::Lines(text)) {
        if (line.empty()) {
            comment.clear();
            continue;
        }
        if (line.front() == '[') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
            if (!comment.empty()) headings.push_back(comment);
            comment.clear();
            continue;
        }
        const bool isComment = line.rfind("; ", 0) == 0;
        const std::string body = isComment ? line.substr(2) : line;
        const auto equals = body.find('=');
        if (sections.empty() || (isComment && equals == std::string::npos)) {
            comment = body;
            if (!sections.empty() && body.rfind("možné hodnoty: ", 0) == 0)
                sections.back().second.push_back(body);
            continue;
        }
        const std::string key = body.substr(0, equals);
        sections.back().second.push_back(isComment ? key + " (jen pro čtení)" : key);
    }
    return sections;
}

// Format 2 is format 1 with the module's serial number, its MAC address and the blocks
// the file holds in the header; every block's keys stay as they were.
const std::vector<std::string> kFormatTwoHeader = {"Formát", "Modul", "Výrobní číslo", "MAC adresa",
                                                   "Bloky"};

TEST(BackupKeysTest, FormatTwoIsFormatOneWithTheModulesIdentityAndItsBlocksInTheHeader) {
    std::vector<std::pair<std::string, std::vector<std::string>>> expected = kFormatOne;
    expected.front().second = kFormatTwoHeader;
    for (const char* vlan : {"vlan1", "vlan2", "vlan3"}) expected.push_back({vlan, kVlanKeys});
    for (std::size_t s = 1; s < expected.size(); ++s)
        expected[s].second.insert(expected[s].second.end(), kDataKeys.begin(), kDataKeys.end());

    std::vector<std::string> headings;
    const auto written = KeysOf(
        BackupText(kv::testing::kTestModule, testing::BlocksOf(DefaultModuleConfig())), headings);
    ASSERT_EQ(written.size(), expected.size());
    for (std::size_t s = 0; s < expected.size(); ++s) {
        EXPECT_EQ(written[s].first, expected[s].first);
        EXPECT_EQ(written[s].second, expected[s].second) << expected[s].first;
    }
    EXPECT_EQ(headings, kHeadings);
}

// A file saved by the program before format 2 still restores: its header names no
// serial number (so the network block goes only where --only names it) and no blocks
// (so all five are expected).
TEST(BackupKeysTest, AFormatOneFileStillReadsWithAllFiveBlocksAndNoSerialNumber) {
    std::string text;
    for (const std::string& line : testing::Lines(
             BackupText(kv::testing::kTestModule, testing::BlocksOf(DefaultModuleConfig())))) {
        if (line == "Formát=2") {
            text += "Formát=1\n";
            continue;
        }
        if (line.rfind("Výrobní číslo=", 0) == 0 || line.rfind("MAC adresa=", 0) == 0 ||
            line.rfind("Bloky=", 0) == 0)
            continue;
        text += line + "\n";
    }
    const BackupRead read = ReadBackupText(text);
    ASSERT_TRUE(read.problems.empty()) << read.problems.front().text;
    EXPECT_EQ(read.document.format, 1);
    EXPECT_EQ(read.document.serial, "");
    EXPECT_EQ(read.document.named.size(), 5u);
    EXPECT_TRUE(ForeignFile(read.document, "00000001").has_value());
    // Without the keys format 2 is not whole.
    std::string two = text;
    two.replace(two.find("Formát=1"), 9, "Formát=2");
    EXPECT_FALSE(ReadBackupText(two).problems.empty());
}

TEST(BackupKeysTest, ListValuesOfFormatOneReadAsThePositionsTheyStandFor) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> lists = {
        {"Vzdálená správa", {"zakázána", "povolena všem", "tabulka přístupu"}},
        {"Režim rozhraní", {"vypnuto", "časovač platnosti IP adresy", "tabulka platných IP adres"}},
        {"Přístup rozhraní", {"čtení i zápis", "pouze čtení"}},
        {"Uživatel 3 Přístup", {"čtení i zápis", "pouze čtení"}},
    };
    std::size_t found = 0;
    for (const BlockSection& section : BlockSections()) {
        const EditorSpec& spec = *section.spec;
        for (const SettingKey& key : SettingKeys(spec)) {
            for (const auto& [name, entries] : lists) {
                if (key.name != name) continue;
                ++found;
                for (std::size_t p = 0; p < entries.size(); ++p) {
                    FieldStates fields(spec.fields.size());
                    EXPECT_FALSE(ApplySetting(spec, key, entries[p], fields)) << entries[p];
                    EXPECT_EQ(fields[static_cast<std::size_t>(key.fields.front())].position,
                              static_cast<int>(p))
                        << section.name << " " << name;
                }
            }
        }
    }
    EXPECT_EQ(found, 1u + 3u * 3u);  // remote management's, and three of each VLAN
}

TEST(BackupKeysTest, ACaptionOrAListEntryRenamedInAWindowChangesNoKeyNorValue) {
    const EditorSpec& vlan = VlanEditor(Vlan::FromIndex(1));
    EditorSpec renamed = vlan;
    renamed.caption = "Rozhraní 2";
    for (EditorField& field : renamed.fields) {
        field.name = "Pole " + field.control;
        for (const char*& item : field.items) item = "přejmenováno";
    }
    ModuleConfig config = DefaultModuleConfig();
    config.bytes[ModuleConfig::VlanOffset(1) + ModuleConfig::kVlanMode] = 2;

    const std::vector<SettingKey> before = SettingKeys(vlan);
    const std::vector<SettingKey> after = SettingKeys(renamed);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t k = 0; k < before.size(); ++k) {
        EXPECT_EQ(after[k].name, before[k].name);
        EXPECT_EQ(after[k].fields, before[k].fields);
    }
    const std::vector<std::string> values = RenderSettings(renamed, after, config);
    EXPECT_EQ(values, RenderSettings(vlan, before, config));
    EXPECT_EQ(values[1], "tabulka platných IP adres");
}

// A field the table forgets would drop out of every file without a word; a list entry it
// lacks would be written as a number.
TEST(BackupKeysTest, EveryFieldOfEveryEditorHasOneKeyAndEveryListEntryAValue) {
    for (const BlockSection& section : BlockSections()) {
        const EditorSpec& spec = *section.spec;
        const BackupSectionKeys* table = BackupKeysOf(section.name);
        ASSERT_NE(table, nullptr) << section.name;
        const std::vector<SettingKey> keys = SettingKeys(spec);
        EXPECT_EQ(keys.size(), table->keys.size()) << section.name;
        std::multiset<int> covered;
        for (const SettingKey& key : keys) {
            covered.insert(key.fields.begin(), key.fields.end());
            const EditorField& first = spec.fields[static_cast<std::size_t>(key.fields.front())];
            if (key.list) {
                EXPECT_EQ(key.entries.size(), first.items.size()) << key.name;
            }
        }
        EXPECT_EQ(covered.size(), spec.fields.size()) << section.name;
        for (std::size_t f = 0; f < spec.fields.size(); ++f)
            EXPECT_EQ(covered.count(static_cast<int>(f)), 1u)
                << section.name << " " << spec.fields[f].control;
    }
}

}  // namespace
}  // namespace kv
