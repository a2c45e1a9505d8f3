#include "backup/BackupFile.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "backup/BackupKeys.h"
#include "core/NumberText.h"
#include "platform/Normalise.h"
#include "platform/Text.h"

namespace kv {
namespace {

std::string HexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte));
    return text;
}

std::string HexRow(const ConfigBlock& block, std::size_t row) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < kDataRowBytes; ++i) {
        const std::uint8_t b = block[row * kDataRowBytes + i];
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexRow(const std::string& text, ConfigBlock& block, std::size_t row) {
    if (text.size() != 2 * kDataRowBytes) return false;
    for (std::size_t i = 0; i < kDataRowBytes; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        block[row * kDataRowBytes + i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

// The row a "Data NNN" key names, if it names one.
std::optional<std::size_t> DataRowOf(const std::string& key) {
    for (std::size_t row = 0; row < kDataRows; ++row)
        if (platform::SameAsciiName(key, DataRowKey(row))) return row;
    return std::nullopt;
}

// What the reader knows of the section it is in.
struct Open {
    enum class Kind { kNone, kHeader, kBlock, kUnknown } kind = Kind::kNone;
    std::size_t section = 0;  // index into the document's sections
    std::vector<SettingKey> keys;
    std::map<std::size_t, std::size_t> dataRows;  // row -> line
    ConfigBlock data{};
    bool dataBad = false;
};

}  // namespace

std::string DataRowKey(std::size_t row) {
    char key[16];
    std::snprintf(key, sizeof key, "Data %03zu", row * kDataRowBytes);
    return key;
}

const BackupSection* BackupDocument::Find(std::uint16_t block) const {
    for (const BackupSection& section : sections)
        if (section.section != nullptr && section.section->block == block) return &section;
    return nullptr;
}

std::vector<SharedPort> SharedPorts(const std::vector<BackupBlock>& blocks) {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> ports;  // block, port
    for (const BlockSection& section : BlockSections())
        for (const BackupBlock& block : blocks)
            if (block.number == section.block)
                if (const auto port = InterfacePort(block.number, block.bytes))
                    ports.emplace_back(block.number, *port);
    std::vector<SharedPort> shared;
    for (std::size_t i = 0; i < ports.size(); ++i)
        for (std::size_t j = i + 1; j < ports.size(); ++j)
            if (ports[i].second == ports[j].second)
                shared.push_back({ports[i].second, ports[i].first, ports[j].first});
    return shared;
}

namespace {

// A module's name may hold zero characters, which no line can.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text)
        if (c != '\0' && c != '\r' && c != '\n') line += c;
    return line;
}

std::vector<std::string> SplitNames(const std::string& list) {
    std::vector<std::string> names;
    std::string current;
    for (char c : list + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!current.empty()) names.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return names;
}

}  // namespace

platform::IniFile BackupFile(const ModuleIdentity& module, const std::vector<BackupBlock>& blocks) {
    platform::IniFile file;
    for (const char* line :
         {"Záloha konfigurace modulu KV-3380U (kv3380u backup).",
          "Text v UTF-8, jeden oddíl na konfigurační blok. Upravujte hodnoty klíčů; obnova",
          "(kv3380u restore) je zkontroluje stejně jako okna nastavení a zapíše jen bloky,",
          "které se od modulu liší.",
          "Řádky Data jsou bajty bloku, jak je modul vydal (šestnáctkově, 32 bajtů na řádek);",
          "drží i to, co klíče nepojmenovávají. Smažete-li je, blok se sestaví z hodnot",
          "klíčů a z toho, co modul právě má."})
        file.AppendComment(line);
    file.AppendBlank();
    file.AppendSection(kHeaderSection);
    file.AppendKey(kFormatKey, std::to_string(kBackupFormat));
    file.AppendKey(kModuleKey, OneLine(module.ident));
    file.AppendComment("Obnova do modulu s jiným výrobním číslem vynechá blok network (jeho IP");
    file.AppendComment("adresa by přešla na jiný modul), pokud jej nejmenuje --only network.");
    file.AppendKey(kSerialKey, OneLine(module.serial));
    file.AppendKey(kMacKey, OneLine(module.mac));
    // The blocks the file holds: a file cut short lacks some, and the restore says so.
    std::string names;
    for (const BlockSection& section : BlockSections())
        for (const BackupBlock& block : blocks)
            if (block.number == section.block)
                names += (names.empty() ? "" : ", ") + std::string(section.name);
    file.AppendKey(kBlocksKey, names);

    for (const BlockSection& section : BlockSections()) {
        const BackupBlock* found = nullptr;
        for (const BackupBlock& block : blocks)
            if (block.number == section.block) found = &block;
        if (found == nullptr) continue;
        const EditorSpec& spec = *section.spec;

        ModuleConfig config = DefaultModuleConfig();
        if (spec.decode) spec.decode(found->bytes, config);
        const std::vector<SettingKey> keys = SettingKeys(spec);
        const std::vector<std::string> values = RenderSettings(spec, keys, config, &found->bytes);

        file.AppendBlank();
        file.AppendComment(std::string(BackupKeysOf(section.name)->heading) + " (blok " +
                           std::to_string(section.block) + ")");
        file.AppendSection(section.name);
        for (const SharedPort& shared : SharedPorts(blocks)) {
            if (shared.first != section.block && shared.second != section.block) continue;
            const std::uint16_t other =
                shared.first == section.block ? shared.second : shared.first;
            file.AppendComment("POZOR: UDP port " + std::to_string(shared.port) +
                               " má v modulu i [" + SectionByBlock(other)->name +
                               "]; obnova soubor odmítne, dokud porty nerozlišíte.");
        }
        file.AppendKey(kBlockKey, std::to_string(section.block));
        std::vector<std::string> choicesShown;
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const SettingKey& key = keys[k];
            if (key.hidden) {
                file.AppendComment(key.name + "=" + values[k] + " (jen pro čtení)");
                continue;
            }
            if (key.list) {
                // Each list's entries once a section: the access lists share theirs.
                const std::string choices = ListChoices(key);
                if (std::find(choicesShown.begin(), choicesShown.end(), choices) ==
                    choicesShown.end()) {
                    file.AppendComment("možné hodnoty: " + choices);
                    choicesShown.push_back(choices);
                }
            }
            file.AppendKey(key.name, values[k]);
        }
        const std::uint8_t expected = BlockChecksum(found->bytes);
        if (found->bytes[kChecksumByte] != expected) {
            file.AppendComment("POZOR: kontrolní součet bloku nesouhlasí (bajt 255 je " +
                               HexByte(found->bytes[kChecksumByte]) + ", má být " +
                               HexByte(expected) + ").");
            file.AppendComment(
                "Obnova blok odmítne, dokud data neopravíte nebo řádky Data nesmažete.");
        }
        for (std::size_t row = 0; row < kDataRows; ++row)
            file.AppendKey(DataRowKey(row), HexRow(found->bytes, row));
    }
    return file;
}

std::string BackupText(const ModuleIdentity& module, const std::vector<BackupBlock>& blocks) {
    return BackupFile(module, blocks).Serialize(platform::IniLineEnds::kLf);
}

BackupRead ReadBackupText(const std::string& bytes) {
    platform::IniFile file;
    // Editors on Windows start a UTF-8 file with a byte-order mark.
    file.Parse(bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes);
    return ReadBackup(file);
}

namespace {

// The header: which format, which module, which blocks. A file without one, of a newer
// format or of another module type is refused before any module is asked.
template <typename Problem>
void JudgeHeader(const std::map<std::string, std::pair<std::string, std::size_t>>& header,
                 std::size_t headerLine, BackupDocument& doc, Problem&& problem) {
    const std::string where = std::string(" v oddílu [") + kHeaderSection + "]";
    if (headerLine == 0) {
        problem(0, std::string("soubor nemá záhlaví [") + kHeaderSection +
                       "] s formátem a modulem; záloha kv3380u jím začíná (soubor jiného "
                       "programu, nebo je jeho začátek ztracen)");
        return;
    }
    auto value = [&](const char* key) -> const std::pair<std::string, std::size_t>* {
        const auto found = header.find(key);
        if (found != header.end()) return &found->second;
        return nullptr;
    };
    const auto* format = value(kFormatKey);
    if (format == nullptr) {
        problem(headerLine, std::string("chybí klíč „") + kFormatKey + "“" + where);
        return;
    }
    const auto number = StrictNumber(format->first);
    if (!number || *number < kOldestBackupFormat || *number > kBackupFormat) {
        const bool newer = number && *number > kBackupFormat;
        problem(format->second,
                "neznámý formát zálohy „" + format->first + "“; tento program zná formáty " +
                    std::to_string(kOldestBackupFormat) + " až " + std::to_string(kBackupFormat) +
                    (newer ? " (soubor zapsala novější verze kv3380u)" : ""));
        return;
    }
    doc.format = *number;
    if (const auto* module = value(kModuleKey)) {
        doc.moduleIdent = module->first;
        // "KV-3380U v.1.20": the name the module gave, before its version.
        const std::string& ident = module->first;
        const std::size_t version = ident.rfind("v.", 0) == 0 ? 0 : ident.find(" v.");
        const std::string type = platform::TrimBlanks(ident.substr(0, version));
        // A module that gave no name names no other type.
        if (!type.empty() && type != kModuleTypeName)
            problem(module->second,
                    "soubor je zálohou modulu „" + module->first + "“, ne " + kModuleTypeName);
    } else {
        problem(headerLine, std::string("chybí klíč „") + kModuleKey + "“" + where);
    }
    if (doc.format < 2) {
        for (const BlockSection& section : BlockSections()) doc.named.push_back(section.block);
        return;
    }
    for (const char* key : {kSerialKey, kMacKey, kBlocksKey})
        if (value(key) == nullptr)
            problem(headerLine, std::string("chybí klíč „") + key + "“" + where);
    if (const auto* serial = value(kSerialKey)) doc.serial = serial->first;
    if (const auto* mac = value(kMacKey)) doc.mac = mac->first;
    if (const auto* blocks = value(kBlocksKey)) {
        for (const std::string& name : SplitNames(blocks->first)) {
            const BlockSection* section = SectionByName(name);
            if (section == nullptr) {
                problem(blocks->second, "neznámý blok „" + name + "“ v klíči „" + kBlocksKey +
                                            "“; známé jsou " + SectionNameList());
            } else if (std::find(doc.named.begin(), doc.named.end(), section->block) ==
                       doc.named.end()) {
                doc.named.push_back(section->block);
            }
        }
        for (const BackupSection& section : doc.sections)
            if (std::find(doc.named.begin(), doc.named.end(), section.section->block) ==
                doc.named.end())
                problem(section.line, "oddíl [" + std::string(section.section->name) +
                                          "] záhlaví v klíči „" + kBlocksKey + "“ nejmenuje");
    }
}

}  // namespace

BackupRead ReadBackup(const platform::IniFile& file) {
    BackupRead read;
    BackupDocument& doc = read.document;
    auto problem = [&](std::size_t line, std::string text) {
        read.problems.push_back({line, std::move(text)});
    };
    std::vector<FileProblem> notUtf8;

    std::map<std::string, std::size_t> seenSections;  // lower-case name -> line
    Open open;
    // The header's keys by name, with their lines: judged once the whole file is read.
    std::map<std::string, std::pair<std::string, std::size_t>> header;
    std::size_t headerLine = 0;

    // Everything a section needs once its last line has been read.
    auto close = [&] {
        if (open.kind != Open::Kind::kBlock) return;
        BackupSection& section = doc.sections[open.section];
        for (std::size_t k = 0; k < open.keys.size(); ++k) {
            if (!open.keys[k].hidden && section.lines[k] == 0)
                problem(section.line, "v oddílu [" + std::string(section.section->name) +
                                          "] chybí klíč „" + open.keys[k].name + "“");
        }
        if (open.dataRows.empty() || open.dataBad) return;
        for (std::size_t row = 0; row < kDataRows; ++row) {
            if (open.dataRows.count(row) == 0) {
                problem(section.line, "v oddílu [" + std::string(section.section->name) +
                                          "] chybí řádek dat „" + DataRowKey(row) + "“");
                return;
            }
        }
        const std::uint8_t expected = BlockChecksum(open.data);
        if (open.data[kChecksumByte] != expected) {
            problem(open.dataRows[kDataRows - 1],
                    "kontrolní součet bloku nesouhlasí (bajt 255 je " +
                        HexByte(open.data[kChecksumByte]) + ", má být " + HexByte(expected) +
                        "); opravte data, nebo řádky Data smažte a blok se sestaví z hodnot "
                        "klíčů");
            return;
        }
        section.data = open.data;
        section.dataLine = open.dataRows.begin()->second;
    };

    for (platform::IniLine line : file.Lines()) {
        using Kind = platform::IniLine::Kind;
        if (line.kind == Kind::kBlank || line.kind == Kind::kComment) continue;
        if (!platform::IsValidUtf8(line.name) || !platform::IsValidUtf8(line.value)) {
            notUtf8.push_back({line.number, "řádek není v kódování UTF-8"});
            continue;
        }
        // "Číslo" saved decomposed (C, combining caron, ...) is the same key.
        line.name = platform::ComposeLatin(line.name);
        line.value = platform::ComposeLatin(line.value);
        if (line.kind == Kind::kOther) {
            problem(line.number, "řádek není ve tvaru klíč=hodnota ani [oddíl]");
            continue;
        }
        if (line.kind == Kind::kSection) {
            close();
            open = Open{};
            if (!line.closed) problem(line.number, "v záhlaví oddílu chybí „]“");
            std::string lower;
            for (char c : line.name) lower += platform::AsciiLower(c);
            if (const auto seen = seenSections.find(lower); seen != seenSections.end()) {
                problem(line.number, "oddíl [" + line.name +
                                         "] je v souboru podruhé (poprvé na "
                                         "řádku " +
                                         std::to_string(seen->second) + ")");
                open.kind = Open::Kind::kUnknown;
                continue;
            }
            seenSections[lower] = line.number;
            if (platform::SameAsciiName(line.name, kHeaderSection)) {
                open.kind = Open::Kind::kHeader;
                headerLine = line.number;
            } else if (const BlockSection* known = SectionByName(line.name)) {
                open.kind = Open::Kind::kBlock;
                open.keys = SettingKeys(*known->spec);
                BackupSection section;
                section.section = known;
                section.line = line.number;
                section.values.assign(open.keys.size(), std::string());
                section.lines.assign(open.keys.size(), 0);
                doc.sections.push_back(std::move(section));
                open.section = doc.sections.size() - 1;
            } else {
                problem(line.number, "neznámý oddíl [" + line.name + "]; známé jsou " +
                                         kHeaderSection + ", " + SectionNameList());
                open.kind = Open::Kind::kUnknown;
            }
            continue;
        }

        // A key.
        switch (open.kind) {
            case Open::Kind::kNone:
                problem(line.number, "klíč „" + line.name + "“ stojí před prvním oddílem");
                break;
            case Open::Kind::kUnknown:
                break;  // the section was reported
            case Open::Kind::kHeader: {
                const char* known = nullptr;
                for (const char* key : {kFormatKey, kModuleKey, kSerialKey, kMacKey, kBlocksKey})
                    if (platform::SameAsciiName(line.name, key)) known = key;
                if (known == nullptr) {
                    problem(line.number,
                            "neznámý klíč „" + line.name + "“ v oddílu [" + kHeaderSection + "]");
                } else if (const auto seen = header.find(known); seen != header.end()) {
                    problem(line.number, "klíč „" + std::string(known) + "“ je v oddílu [" +
                                             kHeaderSection + "] podruhé (poprvé na řádku " +
                                             std::to_string(seen->second.second) + ")");
                } else {
                    header[known] = {line.value, line.number};
                }
                break;
            }
            case Open::Kind::kBlock: {
                BackupSection& section = doc.sections[open.section];
                const std::string where = " v oddílu [" + std::string(section.section->name) + "]";
                if (platform::SameAsciiName(line.name, kBlockKey)) {
                    if (line.value != std::to_string(section.section->block))
                        problem(line.number, "oddíl [" + std::string(section.section->name) +
                                                 "] je blok " +
                                                 std::to_string(section.section->block) + ", ne „" +
                                                 line.value + "“");
                    break;
                }
                if (const auto row = DataRowOf(line.name)) {
                    if (const auto seen = open.dataRows.find(*row); seen != open.dataRows.end()) {
                        problem(line.number, "řádek dat „" + line.name + "“ je" + where +
                                                 " podruhé (poprvé na řádku " +
                                                 std::to_string(seen->second) + ")");
                        open.dataBad = true;
                    } else {
                        open.dataRows[*row] = line.number;
                        if (!ParseHexRow(line.value, open.data, *row)) {
                            problem(line.number, "řádek dat musí mít " +
                                                     std::to_string(2 * kDataRowBytes) +
                                                     " šestnáctkových číslic");
                            open.dataBad = true;
                        }
                    }
                    break;
                }
                std::size_t k = 0;
                while (k < open.keys.size() &&
                       !platform::SameAsciiName(open.keys[k].name, line.name))
                    ++k;
                if (k == open.keys.size()) {
                    problem(line.number, "neznámý klíč „" + line.name + "“" + where);
                } else if (open.keys[k].hidden) {
                    problem(line.number, "„" + open.keys[k].name +
                                             "“ se neupravuje (jen pro čtení); smažte řádek");
                } else if (section.lines[k] != 0) {
                    problem(line.number, "klíč „" + open.keys[k].name + "“ je" + where +
                                             " podruhé (poprvé na řádku " +
                                             std::to_string(section.lines[k]) + ")");
                } else {
                    section.values[k] = line.value;
                    section.lines[k] = line.number;
                }
                break;
            }
        }
    }
    close();
    JudgeHeader(header, headerLine, doc, problem);
    if (doc.sections.empty() && read.problems.empty() && notUtf8.empty())
        problem(0, "soubor neobsahuje žádný blok (oddíly " + SectionNameList() + ")");
    // A section's missing keys are found at its end but belong to its header line.
    std::stable_sort(read.problems.begin(), read.problems.end(),
                     [](const FileProblem& a, const FileProblem& b) { return a.line < b.line; });
    // A file saved in another encoding loses its keys with Czech letters: that comes first.
    read.problems.insert(read.problems.begin(), notUtf8.begin(), notUtf8.end());
    return read;
}

}  // namespace kv
