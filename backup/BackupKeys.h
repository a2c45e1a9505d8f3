#pragma once

// The backup file's own names: its sections, the heading above each, each block's keys and
// the entries of its lists. They are the file's format, stated here once and apart from the
// windows: a caption renamed in a window changes no file, and a file written today reads
// tomorrow. A key stands for the controls of the block's editor that it fills (one, or the
// four octet boxes of an address); the editor's fields say nothing else of the file but
// whether a value is a list's and whether it is shown only.

#include <array>
#include <string_view>
#include <vector>

#include "editors/ConfigEditor.h"

namespace kv {

struct BackupKey {
    const char* name;                   // the key in the file
    std::vector<const char*> controls;  // the editor's controls it fills, in order
    std::vector<const char*> entries;   // a list's values by position; empty for a number
};

struct BackupSectionKeys {
    const char* section;            // "network", "remote", "vlan1", "vlan2", "vlan3"
    const char* heading;            // the comment above the section, before " (blok N)"
    const EditorSpec& (*editor)();  // the editor of the section's block
    std::vector<BackupKey> keys;    // in the file's order
};

// Format 1, in the file's order: network, remote, vlan1, vlan2, vlan3.
const std::array<BackupSectionKeys, 5>& BackupKeyTable();
// A section's keys by its name (as written: lower case); nullptr for none.
const BackupSectionKeys* BackupKeysOf(std::string_view section);

}  // namespace kv
