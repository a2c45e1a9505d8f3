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

// The version of the layout below; a file of another version is refused.
inline constexpr const char* kBackupFormat = "1";
// The header section and its keys.
inline constexpr const char* kHeaderSection = "kv3380u";
inline constexpr const char* kFormatKey = "Formát";
inline constexpr const char* kModuleKey = "Modul";
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

// The file for the blocks (any order; written in the sections' order), with the module's
// identification in the header. A block whose checksum is wrong is written as read,
// with a warning beside it: reading the file then refuses it until it is mended. So is
// a port that two interfaces share.
platform::IniFile BackupFile(const std::string& moduleIdent,
                             const std::vector<BackupBlock>& blocks);
std::string BackupText(const std::string& moduleIdent, const std::vector<BackupBlock>& blocks);

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
    std::string moduleIdent;
    std::vector<BackupSection> sections;  // in file order

    const BackupSection* Find(std::uint16_t block) const;
};

struct BackupRead {
    BackupDocument document;
    std::vector<FileProblem> problems;  // in line order; the document is usable when empty
};

// Structure and form: known sections and keys, each once, every setting there, Data
// rows complete, in hex and with a right checksum. The values themselves are judged
// by the editors' checks when a restore plans its writes. Names and values are compared
// in composed Unicode (NFC), however an editor saved them; lines that are not UTF-8 are
// reported before anything else, as the likely cause of the rest.
BackupRead ReadBackup(const platform::IniFile& file);
// The same for the file's bytes, which may start with a UTF-8 byte-order mark.
BackupRead ReadBackupText(const std::string& bytes);

}  // namespace kv
