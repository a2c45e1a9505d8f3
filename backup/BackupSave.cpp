#include "backup/BackupSave.h"

#include <chrono>

#include "backup/BlockSettings.h"
#include "backup/RestorePlan.h"
#include "core/ConfigBlocks.h"
#include "core/CzechPlural.h"
#include "core/Requests.h"
#include "diagnostics/Diagnostika.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

namespace kv {

std::optional<std::string> AskIdentity(const ModuleLink& link, ModuleIdentity& identity) {
    const Reply reply = link.Transact(kModuleStatusRequest);
    if (!reply.Ok()) return link.ErrorText(reply.error);
    const ModuleStatus status = DecodeModuleStatus(reply.data);
    identity.serial = platform::TrimBlanks(platform::Printable(status.serial));
    identity.mac = MacText(status.mac);
    return std::nullopt;
}

std::optional<std::string> ReadBackupPath(const std::string& path, BackupRead& read) {
    platform::FileBytes file = platform::ReadSmallFile(path, platform::IniFile::kMaxFileSize);
    using Status = platform::FileBytes::Status;
    switch (file.status) {
        case Status::kRead:
            break;
        case Status::kMissing:
            return path + ": soubor neexistuje";
        case Status::kTooLarge:
            return path + ": soubor je příliš velký na zálohu (" + std::to_string(file.size) +
                   " bajtů, nejvýše 1 MiB); záloha modulu má jen několik kB";
        case Status::kNotAFile:
        case Status::kUnreadable:
            return path + ": soubor nelze přečíst: " + file.reason;
    }
    read = ReadBackupText(file.bytes);
    return std::nullopt;
}

std::optional<std::string> UnfitTarget(platform::PathKind kind) {
    switch (kind) {
        case platform::PathKind::kBlockDevice:
            return "je to blokové zařízení (disk); záloha se do něj nezapisuje";
        case platform::PathKind::kDirectory:
            return "je to složka";
        case platform::PathKind::kOther:
            return "není to obyčejný soubor, FIFO ani zařízení";
        default:
            return std::nullopt;
    }
}

std::string BesidePath(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.rfind('.');
    const bool extension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = extension ? path.substr(0, dot) : path;
    return stem + ".neobnovitelna" + (extension ? path.substr(dot) : std::string());
}

bool AnyDamaged(const std::vector<BackupBlock>& blocks) {
    for (const BackupBlock& block : blocks)
        if (!ChecksumValid(block.bytes)) return true;
    return false;
}

std::vector<std::string> BackupWarnings(const std::vector<BackupBlock>& blocks) {
    std::vector<std::string> warnings;
    for (const BackupBlock& block : blocks) {
        if (ChecksumValid(block.bytes)) continue;
        warnings.push_back(BlockTag(block.number) + " blok " + std::to_string(block.number) +
                           " z modulu má chybný kontrolní součet; v záloze je označen");
    }
    // The backup keeps the module as it is.
    for (const SharedPort& shared : SharedPorts(blocks))
        warnings.push_back("upozornění: " + BlockTag(shared.first) + " a " +
                           BlockTag(shared.second) + " mají v modulu stejný UDP port " +
                           std::to_string(shared.port) +
                           " (nejspíš po přerušené obnově); obnova tuto zálohu odmítne, dokud "
                           "porty nerozlišíte");
    return warnings;
}

std::string BackupSaving::SavedText(std::size_t blocks) const {
    return "Záloha " + Counted(blocks, "bloku", "bloků", "bloků") + " uložena do " + target;
}

namespace {

// The backup into its file: a FIFO or a device as it is, any other file replaced whole
// only when the new one is complete. The reason when it could not be written.
std::optional<std::string> WriteFile(const std::string& path, const platform::IniFile& file,
                                     const std::function<bool()>& stop) {
    const std::string text = file.Serialize(platform::IniLineEnds::kLf);
    const platform::PathKind kind = platform::KindOfPath(path);
    std::optional<std::string> failure = UnfitTarget(kind);
    if (kind == platform::PathKind::kFifo || kind == platform::PathKind::kCharDevice) {
        // A reader started just after the program (kv3380u backup p & cat p) is waited for.
        failure = platform::WriteIntoStream(path, text, std::chrono::seconds(10),
                                            [&stop] { return stop && stop(); });
    } else if (!failure) {
        platform::ClearSystemError();
        if (!file.Save(path, platform::IniLineEnds::kLf))
            failure = platform::SystemErrorText(platform::LastSystemError());
    }
    return failure;
}

}  // namespace

BackupSaving SaveBackupFile(const std::string& path, const ModuleIdentity& module,
                            const std::vector<BackupBlock>& blocks,
                            const std::function<bool()>& stop) {
    BackupSaving saving;
    saving.warnings = BackupWarnings(blocks);
    saving.damaged = AnyDamaged(blocks);
    const platform::IniFile file = BackupFile(module, blocks);
    // A backup a restore would refuse never takes the place of one it would take.
    saving.target = path;
    if (platform::KindOfPath(path) == platform::PathKind::kRegular &&
        WhyNotRestorable(file.Serialize(platform::IniLineEnds::kLf))) {
        const platform::FileBytes old =
            platform::ReadSmallFile(path, platform::IniFile::kMaxFileSize);
        if (old.status == platform::FileBytes::Status::kRead && !WhyNotRestorable(old.bytes)) {
            saving.target = BesidePath(path);
            saving.warnings.push_back(
                path +
                ": obnovitelnou zálohu nenahrazuji zálohou, kterou obnova odmítne; zůstává, jak "
                "byla, nová se ukládá do " +
                saving.target);
        }
    }
    if (auto failure = WriteFile(saving.target, file, stop))
        saving.failure = saving.target + ": soubor nelze zapsat: " + *failure;
    return saving;
}

}  // namespace kv
