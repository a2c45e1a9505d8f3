#include "cli/BlockSettings.h"

#include "core/NumberText.h"
#include "editors/EditorTable.h"
#include "platform/Text.h"

namespace kv::cli {
namespace {

// Four octet boxes of one address carry the address's caption and their position
// ("IP adresa 1" .. "IP adresa 4").
bool StartsAddress(const EditorSpec& spec, std::size_t first, std::string& caption) {
    if (first + 4 > spec.fields.size()) return false;
    const std::string& name = spec.fields[first].name;
    if (name.size() < 3 || name.compare(name.size() - 2, 2, " 1") != 0) return false;
    caption = name.substr(0, name.size() - 2);
    for (std::size_t k = 0; k < 4; ++k) {
        const EditorField& field = spec.fields[first + k];
        if (field.kind != FieldKind::kEdit || field.word || field.hidden ||
            field.area != spec.fields[first].area ||
            field.name != caption + " " + std::to_string(k + 1))
            return false;
    }
    return true;
}

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

}  // namespace

const std::array<BlockSection, 5>& BlockSections() {
    auto section = [](const char* name, std::uint16_t block) {
        return BlockSection{name, block, EditorForBlock(block)};
    };
    // The module's own address first, as the menu lists the editors.
    static const std::array<BlockSection, 5> sections = {
        section("network", kNetworkParamBlock), section("remote", kRemoteManagementBlock),
        section("vlan1", VlanBlock(Vlan::FromIndex(0))),
        section("vlan2", VlanBlock(Vlan::FromIndex(1))),
        section("vlan3", VlanBlock(Vlan::FromIndex(2)))};
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
    for (std::size_t i = 0; i < spec.fields.size();) {
        const EditorField& field = spec.fields[i];
        SettingKey key;
        std::string caption;
        if (StartsAddress(spec, i, caption)) {
            key.name = caption;
            for (int k = 0; k < 4; ++k) key.fields.push_back(static_cast<int>(i) + k);
            i += 4;
        } else {
            key.name = field.name;
            key.fields.push_back(static_cast<int>(i));
            key.list = field.kind == FieldKind::kList;
            key.hidden = field.hidden;
            ++i;
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

std::vector<std::string> RenderSettings(const EditorSpec& spec, const std::vector<SettingKey>& keys,
                                        const ModuleConfig& config) {
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
                const int position = shown[index].position;
                value += position >= 0 ? field.items[static_cast<std::size_t>(position)]
                                       : std::to_string(FieldValue(field, config));
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

std::string ListChoices(const EditorField& field) {
    std::string out;
    for (const char* item : field.items) {
        if (!out.empty()) out += " | ";
        out += item;
    }
    return out;
}

std::optional<std::string> ApplySetting(const EditorSpec& spec, const SettingKey& key,
                                        const std::string& value, FieldStates& fields) {
    if (key.hidden) return "hodnota se neupravuje";
    if (key.fields.size() == 4) {
        const std::vector<std::string> parts = SplitDots(value);
        if (parts.size() != 4) return "adresa musí mít čtyři čísla oddělená tečkou";
        for (std::size_t k = 0; k < 4; ++k)
            fields[static_cast<std::size_t>(key.fields[k])].text = parts[k];
        return std::nullopt;
    }
    const auto index = static_cast<std::size_t>(key.fields.front());
    const EditorField& field = spec.fields[index];
    if (field.kind == FieldKind::kEdit) {
        fields[index].text = value;
        return std::nullopt;
    }
    for (std::size_t p = 0; p < field.items.size(); ++p) {
        if (value == field.items[p]) {
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
    return "neznámá hodnota „" + value + "“; možné hodnoty: " + ListChoices(field);
}

}  // namespace kv::cli
