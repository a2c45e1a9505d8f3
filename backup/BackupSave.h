#pragma once

// Saving a module's backup to a file, as both front ends do it: which module it is (its
// serial number and MAC address), what the blocks read say about the backup (a damaged
// block, two interfaces on one port), and the file's writing, which never replaces a
// restorable backup with one that a restore would refuse.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "core/ModuleLink.h"
#include "platform/FileAccess.h"

namespace kv {

// The serial number and the MAC address the module reports of itself (its status); the
// library's text when it does not answer.
std::optional<std::string> AskIdentity(const ModuleLink& link, ModuleIdentity& identity);

// The backup file at `path`, read and checked (ReadBackupText) into `read`; the reason,
// "modul.ini: soubor neexistuje", when it could not be read at all.
std::optional<std::string> ReadBackupPath(const std::string& path, BackupRead& read);

// What keeps a backup out of a path whatever the module holds: a folder, a disk, a socket.
std::optional<std::string> UnfitTarget(platform::PathKind kind);
// Where a backup goes that must not replace the one at `path`: "modul.ini" ->
// "modul.neobnovitelna.ini".
std::string BesidePath(const std::string& path);

// Whether a block read has a wrong checksum: the backup keeps it, marked.
bool AnyDamaged(const std::vector<BackupBlock>& blocks);
// What the blocks read tell of the backup, one warning a line: a block whose checksum is
// wrong ("[network] blok 254 z modulu má chybný kontrolní součet; v záloze je označen"),
// two interfaces that share a port.
std::vector<std::string> BackupWarnings(const std::vector<BackupBlock>& blocks);

// How saving a backup into a file ended.
struct BackupSaving {
    std::vector<std::string> warnings;   // BackupWarnings, then a restorable backup kept
    bool damaged = false;                // a block is saved marked (AnyDamaged)
    std::string target;                  // where the backup went
    std::optional<std::string> failure;  // "modul.ini: soubor nelze zapsat: ..."
    // "Záloha 5 bloků uložena do modul.ini"
    std::string SavedText(std::size_t blocks) const;
};

// Writes the backup of the blocks into the file at `path`: a FIFO or a device as it is
// (a reader is waited for, at most ten seconds, until `stop`), any other file replaced as
// a whole only once the new one is complete. A restorable backup at the path is never
// replaced by one that a restore would refuse: the new one is then saved beside it
// (BesidePath) and a warning says where.
BackupSaving SaveBackupFile(const std::string& path, const ModuleIdentity& module,
                            const std::vector<BackupBlock>& blocks,
                            const std::function<bool()>& stop = {});

}  // namespace kv
