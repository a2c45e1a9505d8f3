#include "backup/BlockSettings.h"

#include "backup/BackupKeys.h"
#include "core/NumberText.h"
#include "platform/Text.h"

namespace kv {
namespace {

std::vector<std::string> SplitDots(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = text.find('.', start);
        parts.push_back(
            text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts;
}

// The block byte a one-byte field goes to, as the editor's own codec writes it.
std::optional<std::size_t> FieldByte(const EditorSpec& spec, const EditorField& field) {
    if (!spec.encode || field.word || field.offset >= ModuleConfig::kSize) return std::nullopt;
    ModuleConfig zero = DefaultModuleConfig();
    ModuleConfig marked = zero;
    zero.bytes[field.offset] = 0x00;
    marked.bytes[field.offset] = 0x5A;
    const ConfigBlock a = spec.encode(zero);
    const ConfigBlock b = spec.encode(marked);
    for (std::size_t i = 0; i + 1 < kConfigBlockSize; ++i)
        if (a[i] != b[i]) return i;
    return std::nullopt;
}

}  // namespace

const std::array<BlockSection, 5>& BlockSections() {
    static const std::array<BlockSection, 5> sections = [] {
        std::array<BlockSection, 5> out{};
        for (std::size_t i = 0; i < out.size(); ++i) {
            const BackupSectionKeys& keys = BackupKeyTable()[i];
            const EditorSpec& spec = keys.editor();
            out[i] = {keys.section, spec.block, &spec};
        }
        return out;
    }();
    return sections;
}

const BlockSection* SectionByName(std::string_view name) {
    for (const BlockSection& section : BlockSections())
        if (platform::SameAsciiName(section.name, name)) return &section;
    return nullptr;
}

const BlockSection* SectionByBlock(std::uint16_t block) {
    for (const BlockSection& section : BlockSections())
        if (section.block == block) return &section;
    return nullptr;
}

std::string SectionNameList() {
    std::string out;
    for (const BlockSection& section : BlockSections()) {
        if (!out.empty()) out += ", ";
        out += section.name;
    }
    return out;
}

std::vector<SettingKey> SettingKeys(const EditorSpec& spec) {
    std::vector<SettingKey> keys;
    const BlockSection* section = SectionByBlock(spec.block);
    const BackupSectionKeys* table = section != nullptr ? BackupKeysOf(section->name) : nullptr;
    if (table == nullptr) return keys;
    for (const BackupKey& row : table->keys) {
        SettingKey key;
        key.name = row.name;
        key.entries = row.entries;
        for (const char* control : row.controls)
            for (std::size_t i = 0; i < spec.fields.size(); ++i)
                if (spec.fields[i].control == control) key.fields.push_back(static_cast<int>(i));
        // A key whose controls the editor lacks has nothing to show or take.
        if (key.fields.size() != row.controls.size()) continue;
        const EditorField& first = spec.fields[static_cast<std::size_t>(key.fields.front())];
        key.list = key.fields.size() == 1 && first.kind == FieldKind::kList;
        key.hidden = key.fields.size() == 1 && first.hidden;
        keys.push_back(std::move(key));
    }
    return keys;
}

std::vector<std::string> RenderSettings(const EditorSpec& spec, const std::vector<SettingKey>& keys,
                                        const ModuleConfig& config, const ConfigBlock* bytes) {
    const FieldStates shown = ShowFields(spec, config);
    std::vector<std::string> values;
    values.reserve(keys.size());
    for (const SettingKey& key : keys) {
        std::string value;
        for (int f : key.fields) {
            const auto index = static_cast<std::size_t>(f);
            const EditorField& field = spec.fields[index];
            if (!value.empty()) value += '.';
            if (field.kind == FieldKind::kList) {
                // A value the list has no entry for is kept as its number, so it survives.
                int position = shown[index].position;
                unsigned number = FieldValue(field, config);
                if (bytes != nullptr) {
                    if (const auto at = FieldByte(spec, field); at && (*bytes)[*at] != number) {
                        number = (*bytes)[*at];
                        position = static_cast<int>(number);
                    }
                }
                value += position >= 0 && static_cast<std::size_t>(position) < key.entries.size()
                             ? key.entries[static_cast<std::size_t>(position)]
                             : std::to_string(number);
            } else {
                value += shown[index].text;
            }
        }
        values.push_back(std::move(value));
    }
    return values;
}

const EditorCheck* PortFreeCheck(const EditorSpec& spec) {
    for (const EditorCheck& check : spec.checks)
        if (check.rule == CheckRule::kPortFree) return &check;
    return nullptr;
}

std::optional<std::uint16_t> InterfacePort(std::uint16_t block, const ConfigBlock& bytes) {
    const BlockSection* section = SectionByBlock(block);
    if (section == nullptr || !section->spec->decode) return std::nullopt;
    const EditorCheck* check = PortFreeCheck(*section->spec);
    if (check == nullptr) return std::nullopt;
    ModuleConfig config = DefaultModuleConfig();
    section->spec->decode(bytes, config);
    return config.U16(check->offset);
}

ConfigBlock WithInterfacePort(std::uint16_t block, const ConfigBlock& bytes, std::uint16_t port) {
    const BlockSection* section = SectionByBlock(block);
    const EditorCheck* check = section != nullptr ? PortFreeCheck(*section->spec) : nullptr;
    if (check == nullptr || !section->spec->decode || !section->spec->encode) return bytes;
    // Only the bytes that the editor's codec writes for the port change: what no setting
    // names stays as it was.
    ModuleConfig config = DefaultModuleConfig();
    section->spec->decode(bytes, config);
    const ConfigBlock before = section->spec->encode(config);
    config.SetU16(check->offset, port);
    const ConfigBlock after = section->spec->encode(config);
    ConfigBlock changed = bytes;
    for (std::size_t i = 0; i < kChecksumByte; ++i)
        if (before[i] != after[i]) changed[i] = after[i];
    SealBlock(changed);
    return changed;
}

std::string ListChoices(const SettingKey& key) {
    std::string out;
    for (const char* item : key.entries) {
        if (!out.empty()) out += " | ";
        out += item;
    }
    return out;
}

namespace {

// A value that is no number at all is not out of range: say what it is. A comment after
// the value is the likely cause, as INI files elsewhere allow one there.
std::optional<std::string> NotANumber(const std::string& part, const std::string& value) {
    // Nothing at all is the editors' to judge, with their own message.
    if (part.empty() || StrictNumber(part)) return std::nullopt;
    std::string text = "„" + value + "“ není číslo";
    if (value.find(';') != std::string::npos || value.find('#') != std::string::npos)
        text += " (poznámka patří na vlastní řádek začínající „;“)";
    return text;
}

}  // namespace

std::optional<std::string> ApplySetting(const EditorSpec& spec, const SettingKey& key,
                                        const std::string& value, FieldStates& fields) {
    if (key.hidden) return "hodnota se neupravuje";
    if (key.fields.size() == 4) {
        const std::vector<std::string> parts = SplitDots(value);
        if (parts.size() != 4) return "adresa musí mít čtyři čísla oddělená tečkou";
        for (std::size_t k = 0; k < 4; ++k) {
            const auto field = static_cast<std::size_t>(key.fields[k]);
            // A disabled octet is never read, whatever it holds.
            if (fields[field].enabled)
                if (auto wrong = NotANumber(parts[k], value)) return wrong;
            fields[field].text = parts[k];
        }
        return std::nullopt;
    }
    const auto index = static_cast<std::size_t>(key.fields.front());
    const EditorField& field = spec.fields[index];
    if (field.kind == FieldKind::kEdit) {
        if (fields[index].enabled)
            if (auto wrong = NotANumber(value, value)) return wrong;
        fields[index].text = value;
        return std::nullopt;
    }
    for (std::size_t p = 0; p < key.entries.size(); ++p) {
        if (value == key.entries[p]) {
            fields[index].position = static_cast<int>(p);
            return std::nullopt;
        }
    }
    // A number stands for a value the list may not have an entry for, as a backup of
    // such a module writes it.
    if (const auto number = StrictNumber(value); number && *number >= 0 && *number <= 255) {
        fields[index].position = *number;
        return std::nullopt;
    }
    return "neznámá hodnota „" + value + "“; možné hodnoty: " + ListChoices(key);
}

}  // namespace kv
