#pragma once

// The five configuration blocks by the names of the backup file's sections, and each block's
// settings by name as a person reads and edits them in a backup file: the editors' own
// fields under the file's own keys (BackupKeys), an address's four octet boxes joined into
// one dotted value, a list by the text of its entry. Values go back into the editors'
// fields, so that their checks judge them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editors/ConfigEditor.h"

namespace kv {

// A block by the name that --only and the backup file's sections use.
struct BlockSection {
    const char* name;  // "network", "remote", "vlan1", "vlan2", "vlan3"
    std::uint16_t block;
    const EditorSpec* spec;
};

// In the file's order (BackupKeys): network, remote, vlan1, vlan2, vlan3.
const std::array<BlockSection, 5>& BlockSections();
// By name (ASCII letters in either case); nullptr for none.
const BlockSection* SectionByName(std::string_view name);
const BlockSection* SectionByBlock(std::uint16_t block);
// "network, remote, vlan1, vlan2, vlan3"
std::string SectionNameList();

// One setting of a block: one field, or the four octet fields of an address.
struct SettingKey {
    std::string name;         // the key in the file (BackupKeys), not the field's caption
    std::vector<int> fields;  // indices into the editor table's fields
    bool list = false;        // a list: its entry's text (or a number for a value it lacks)
    bool hidden = false;      // the editor never reads it: shown, never taken
    std::vector<const char*> entries;  // a list's values in the file, by position
};

// The block's settings in the order of the file's key table (BackupKeys).
std::vector<SettingKey> SettingKeys(const EditorSpec& spec);

// Each setting's value as the file shows it, for the editor's group of the configuration.
// With the block's bytes, a list's byte that the editor's reading replaces (a VLAN mode of
// 7 reads as "vypnuto") is shown as the module holds it, so that it survives a backup and
// a restore.
std::vector<std::string> RenderSettings(const EditorSpec& spec, const std::vector<SettingKey>& keys,
                                        const ModuleConfig& config,
                                        const ConfigBlock* bytes = nullptr);

// The check that keeps an interface's port apart from the other interfaces' ports (the
// VLAN editors have one); nullptr for an editor without.
const EditorCheck* PortFreeCheck(const EditorSpec& spec);
// The UDP port the block's interface listens on; nullopt for a block without one.
std::optional<std::uint16_t> InterfacePort(std::uint16_t block, const ConfigBlock& bytes);
// The block with its interface's port changed, the rest as it was (the block sealed again).
ConfigBlock WithInterfacePort(std::uint16_t block, const ConfigBlock& bytes, std::uint16_t port);

// The entries of a list setting, "vypnuto | časovač platnosti IP adresy | ...".
std::string ListChoices(const SettingKey& key);

// A value as the file gives it, into the fields it stands for. The text of what is wrong
// with its form (a list entry that does not exist, an address without four parts); the
// values themselves are left to the editor's checks.
std::optional<std::string> ApplySetting(const EditorSpec& spec, const SettingKey& key,
                                        const std::string& value, FieldStates& fields);

}  // namespace kv
