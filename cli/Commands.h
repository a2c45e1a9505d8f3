#pragma once

// The commands of the command-line program, each taking its options as a plain record and
// printing through an Output: identify, backup, restore (one module or a clone to many),
// diag and restart. Each returns its exit code and closes its connection before it does.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/ModuleBlocks.h"
#include "backup/RestorePlan.h"
#include "cli/CliConnection.h"
#include "cli/Output.h"
#include "platform/FileAccess.h"

namespace kv::cli {

// How a long command learns that it should stop (Ctrl+C) and waits between steps.
struct RunControl {
    std::function<bool()> stopRequested;
    // Waits the time; false when a stop came meanwhile.
    std::function<bool(std::chrono::milliseconds)> wait;
    // Why it stopped, as the lines that say so put it: "přerušeno (Ctrl+C)".
    std::function<std::string()> stopReason;
    // Told of every change of what a restore has left in the module, block by block.
    std::function<void(const ModuleRecord&)> recorded;

    bool Stopped() const { return stopRequested && stopRequested(); }
    bool Wait(std::chrono::milliseconds time) const;
    std::string Reason() const { return stopReason ? stopReason() : "přerušeno"; }
    void Record(const ModuleRecord& record) const {
        if (recorded) recorded(record);
    }
};

// A restore's record of a module's blocks as a line says it: "vlan1 zapsán, vlan2
// dočasně na portu 65535, remote nezapsán".
std::string RecordText(const ModuleRecord& record);
// One block's state: "zapsán", "nezapsán", "nejistý", "dočasně na portu N", ...
std::string StateText(const BlockRecord& block);

// What a restore has done to each of its modules so far, kept where a second Ctrl+C, which
// ends the program at once, still prints it (platform::SetFinalWords). Thread-safe.
class RestoreJournal {
  public:
    // `labels`: the modules' names, in the order of the list; one unnamed module for a
    // restore without --targets.
    explicit RestoreJournal(std::vector<std::string> labels);
    ~RestoreJournal();
    RestoreJournal(const RestoreJournal&) = delete;
    RestoreJournal& operator=(const RestoreJournal&) = delete;
    void Update(std::size_t module, const ModuleRecord& record);
    // The lines a second Ctrl+C prints now.
    std::string Text() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> labels_;
    std::vector<std::optional<ModuleRecord>> records_;  // none: not started
};

// Connects, prints the identification and which module answered: its kind and address
// (or device), and the serial number the module reports.
int RunIdentify(const ConnectionOptions& connection, Output& out, const RunControl& control = {});
// Over an open connection: which module answered (`input`) and the serial number it
// reports (also into `serial`).
int IdentifyOver(const ModuleLink& link, const ConnectionRequest& input, Output& out,
                 const RunControl& control, std::string* serial = nullptr);
// The serial number and the MAC address the module reports of itself (its status); the
// library's text when it does not answer.
std::optional<std::string> AskIdentity(const ModuleLink& link, ModuleIdentity& identity);

struct BackupOptions {
    // "-": standard output. A FIFO or a device is written into as it is; any other file
    // is replaced as a whole only once the new one is complete.
    std::string file;
};
int RunBackup(const ConnectionOptions& connection, const BackupOptions& options, Output& out,
              const RunControl& control = {});

// The blocks read from a module into the backup file `path` ("-": stdout): a block whose
// checksum is wrong is reported (kExitBadChecksum), two interfaces on one port warned of.
// kExitOk, kExitBadChecksum, or kExitRefused when the file cannot be written.
// A restorable backup at the path is never replaced by one that a restore would refuse:
// the new one is then saved beside it (BesidePath) and the line says where.
int WriteBackup(const std::string& path, const ModuleIdentity& module,
                const std::vector<BackupBlock>& blocks, Output& out, const RunControl& control);
// Where a backup goes that must not replace the one at `path`: "modul.ini" ->
// "modul.neobnovitelna.ini".
std::string BesidePath(const std::string& path);
// What keeps a backup out of a path whatever the module holds: a folder, a disk, a socket.
std::optional<std::string> UnfitTarget(platform::PathKind kind);

// The stored settings and the dialog's values from them and the options; kExitOk or the
// code of what went wrong (reported).
int PrepareConnection(const ConnectionOptions& options, ConnectionSettings& stored,
                      ConnectionRequest& input, Output& out, const char* command);
// A mistake of use that only the settings or the kind reveal, said as the command line's.
int UsageMistake(const std::string& text, const char* command, Output& out);

// Every line of the prefix's module carries its name, so that a clone's lines can be told
// apart.
class PrefixedOutput : public Output {
  public:
    PrefixedOutput(Output& out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}
    void Print(const std::string& line) override { out_.Print(prefix_ + line); }
    void Report(const std::string& line) override { out_.Report(prefix_ + line); }

  private:
    Output& out_;
    std::string prefix_;
};

// The five blocks, 250 to 254, over an open connection: five block reads. kExitOk, or
// kExitConnection after the first that failed (its text reported); kExitInterrupted.
int ReadAllBlocks(const ModuleLink& link, std::vector<BackupBlock>& blocks, Output& out,
                  const RunControl& control = {});

// --jobs: how many modules of --targets are worked on at once.
inline constexpr std::size_t kDefaultJobs = 8;
inline constexpr std::size_t kMaxJobs = 256;

struct RestoreOptions {
    std::string file;               // "-": standard input
    std::vector<std::string> only;  // block names; empty: what the file holds
    bool dryRun = false;
    std::vector<std::string> targets;       // several modules, `jobs` at a time
    std::vector<std::string> targetPlaces;  // where each was named: "moduly.txt:3", or empty
    std::size_t jobs = kDefaultJobs;
    // Writes also what would cut the way to the module over the LAN (Lockouts).
    bool allowLockout = false;
    // Writes the network block also to a module whose serial number is not the file's.
    bool otherModule = false;
};

// What a restore of one module checks beyond the file's values.
struct RestoreChecks {
    // The network block goes only to the module the file is of, by its serial number.
    bool sameModule = false;
    bool allowLockout = false;
};
int RunRestore(const ConnectionOptions& connection, const RestoreOptions& options, Output& out,
               const RunControl& control = {});

// How one module's restore ended.
struct ModuleRestore {
    int code = kExitOk;
    std::vector<std::uint16_t> written;
    std::vector<std::uint16_t> unchanged;
    std::vector<std::uint16_t> notWritten;  // changed, but not written (a failure, a dry run)
    std::vector<std::uint16_t> unknown;     // a failed write that could not be read back
    std::string message;                    // what ended it, or how it went
    ModuleRecord blocks;                    // what the module holds now, block by block
};

// Over an open connection: reads what the plan needs, checks the file's values against
// the module, shows what would change, and writes each changed block with read-back
// verification in the order PlanWrites gives. A failed write is followed by one read of
// the block: found as planned, it counts as written and the restore goes on; otherwise
// the restore stops there and says whether the block is not written or unknown.
// `source` names the file in messages.
// A write that would cut the way to the module over the LAN is refused (kExitRefused)
// unless `checks` allow it; the network block of a file of another module is left out
// (kExitRefused) when `checks` ask for the same module.
ModuleRestore RestoreModule(const ModuleLink& link, const BackupDocument& doc,
                            const std::vector<std::uint16_t>& selected, bool dryRun,
                            const std::string& source, Output& out, const RunControl& control = {},
                            const RestoreChecks& checks = {});

// With --json, a connection that fails still prints the cycle's object ("ok": false).
struct DiagOptions {
    Vlan vlan;
    long intervalMs = 1000;
    std::optional<long> count;  // none: until stopped
    bool json = false;
    std::string decimalSeparator = ",";  // for the text; JSON takes "."
    bool colour = false;
    bool redraw = false;  // a terminal: each refresh replaces the last
};
int RunDiag(const ConnectionOptions& connection, const DiagOptions& options, Output& out,
            const RunControl& control = {});

int RunRestart(const ConnectionOptions& connection, Output& out, const RunControl& control = {});

// The diagnostics window keeps at least this long between the end of one refresh and
// the start of the next, whatever the replies cost.
constexpr long kMinimumIntervalMs = 100;

}  // namespace kv::cli
