#pragma once

// The backup file: INI in UTF-8 with one section per configuration block, each block's
// settings by name and its 256 bytes in hex, so that a person can read it, diff two of
// them and edit one. Reading reports every mistake of a hand-edited file by its line.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/BlockSettings.h"
#include "editors/ConfigEditor.h"
#include "platform/IniFile.h"

namespace kv {

// The version of the layout below. Format 2 is format 1 with the module's serial number,
// its MAC address and the list of the file's blocks in the header: a restore can then tell
// another module from the one saved, and a file cut short from a whole one. Files of
// format 1 are still read; a newer format is refused.
inline constexpr int kBackupFormat = 2;
inline constexpr int kOldestBackupFormat = 1;
// The header section and its keys.
inline constexpr const char* kHeaderSection = "kv3380u";
inline constexpr const char* kFormatKey = "Formát";
inline constexpr const char* kModuleKey = "Modul";
inline constexpr const char* kSerialKey = "Výrobní číslo";  // format 2
inline constexpr const char* kMacKey = "MAC adresa";        // format 2
inline constexpr const char* kBlocksKey = "Bloky";          // format 2: "network, remote, ..."
// The module type a backup belongs to: the first word of its identification.
inline constexpr const char* kModuleTypeName = "KV-3380U";
// In a block's section: its number, and its bytes in rows of kDataRowBytes.
inline constexpr const char* kBlockKey = "Blok";
inline constexpr std::size_t kDataRowBytes = 32;
inline constexpr std::size_t kDataRows = kConfigBlockSize / kDataRowBytes;
// "Data 000", "Data 032", ... "Data 224": the offset of the row's first byte.
std::string DataRowKey(std::size_t row);

struct BackupBlock {
    std::uint16_t number = 0;
    ConfigBlock bytes{};
};

// Two interfaces of the blocks that listen on one port, as a restore cut off between the
// two writes of a port swap leaves a module: the restore refuses such a file.
struct SharedPort {
    std::uint16_t port = 0;
    std::uint16_t first = 0;  // the blocks, in the sections' order
    std::uint16_t second = 0;
};
std::vector<SharedPort> SharedPorts(const std::vector<BackupBlock>& blocks);

// Which module a backup is of: its identification ("KV-3380U v.1.20") and what it reports
// of itself (empty when it could not be asked).
struct ModuleIdentity {
    std::string ident;
    std::string serial;
    std::string mac;
};

// The file for the blocks (any order; written in the sections' order), with the module's
// identity and the list of the blocks in the header. A block whose checksum is wrong is
// written as read, with a warning beside it: reading the file then refuses it until it is
// mended. So is a port that two interfaces share.
platform::IniFile BackupFile(const ModuleIdentity& module, const std::vector<BackupBlock>& blocks);
std::string BackupText(const ModuleIdentity& module, const std::vector<BackupBlock>& blocks);

// A mistake in a file, by line (0: the file as a whole).
struct FileProblem {
    std::size_t line = 0;
    std::string text;
};

// One block's section as read: the value of every setting (SettingKeys order; hidden
// ones empty) with its line, and the bytes when the Data rows are there.
struct BackupSection {
    const BlockSection* section = nullptr;
    std::size_t line = 0;
    std::vector<std::string> values;
    std::vector<std::size_t> lines;
    std::optional<ConfigBlock> data;
    std::size_t dataLine = 0;  // the first Data row
};

struct BackupDocument {
    int format = 0;
    std::string moduleIdent;
    std::string serial;  // empty: the file does not say (format 1, or not known when saved)
    std::string mac;
    std::vector<std::uint16_t> named;     // the blocks the header names (format 1: all five)
    std::vector<BackupSection> sections;  // in file order

    const BackupSection* Find(std::uint16_t block) const;
    ModuleIdentity Identity() const { return {moduleIdent, serial, mac}; }
};

struct BackupRead {
    BackupDocument document;
    std::vector<FileProblem> problems;  // in line order; the document is usable when empty
};

// Structure and form: a header of a known format that names a KV-3380U, known sections
// and keys, each once, every setting there, Data rows complete, in hex and with a right
// checksum. A section the header names but the file lacks is left to the restore, which
// knows whether it was asked for. The values themselves are judged
// by the editors' checks when a restore plans its writes. Names and values are compared
// in composed Unicode (NFC), however an editor saved them; lines that are not UTF-8 are
// reported before anything else, as the likely cause of the rest.
BackupRead ReadBackup(const platform::IniFile& file);
// The same for the file's bytes, which may start with a UTF-8 byte-order mark.
BackupRead ReadBackupText(const std::string& bytes);

}  // namespace kv
