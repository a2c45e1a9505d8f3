#pragma once

// Many modules at once: the targets of --targets each over a connection of its own, all
// handles of one loaded library, --jobs of them side by side. A silent module costs its
// time-out once, beside the others; each module's lines are held and printed in the order
// of the list, so no module's output mixes with another's. A library that refuses a
// further connection while others are open is then used one module at a time.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backup/Targets.h"
#include "cli/CliConnection.h"
#include "cli/Commands.h"
#include "cli/Output.h"

namespace kv::cli {

// Lets connections open side by side until the library refuses one while others are
// open; from then on one at a time. Thread-safe.
class ConnectionGate {
  public:
    // Opens the connection (OpenConnection, into the record; `outcome` tells how it ended).
    // A refusal while others are open switches to one at a time: the line that says so is
    // reported once, the connection waits until the others are closed and is tried once
    // more. Every Open, whatever its outcome, is followed by Done once the connection is
    // closed. `stop` ends a wait.
    bool Open(Connection& connection, ConnectionSettings& settings, const ConnectionRequest& input,
              Output& out, bool printResult, const std::function<bool()>& stop,
              ConnectionOutcome& outcome);
    void Done();
    bool Serial() const;
    std::function<void()> onSerial;

  private:
    bool Enter(const std::function<bool()>& stop);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t active_ = 0;
    bool serial_ = false;
};

// Holds a module's lines until its turn comes.
class RecordedOutput : public Output {
  public:
    void Print(const std::string& line) override { lines_.emplace_back(false, line); }
    void Report(const std::string& line) override { lines_.emplace_back(true, line); }
    void ReplayInto(Output& out) const;

  private:
    std::vector<std::pair<bool, std::string>> lines_;  // true: a report
};

// Runs work(i, out, control) for each of `names`, `jobs` at a time, on threads of their
// own; each one's lines reach `out` in the order of the list as soon as those before it
// are done, with a progress bar meanwhile. After a stop (control) no further item
// starts; started[i] says which did. `control` is asked on this thread only; the work
// gets a control of its own that is safe to ask from any thread.
std::vector<bool> RunSideBySide(
    const std::vector<std::string>& names, std::size_t jobs,
    const std::function<void(std::size_t, Output&, const RunControl&)>& work, Output& out,
    const RunControl& control);

// The same module named twice (RepeatedTarget): the text of the first duplicate, or nothing.
std::optional<std::string> DuplicateTarget(const std::vector<std::string>& targets,
                                           const std::vector<ConnectionRequest>& inputs);

// Every target over the request, each named correctly and once: kExitOk, or kExitUsage
// with the mistake reported, at the target's place ("moduly.txt:3") where `places` has one.
int CheckTargets(const ConnectionRequest& input, const std::vector<std::string>& targets,
                 const std::vector<std::string>& places, const char* command,
                 std::vector<ConnectionRequest>& inputs, Output& out);

// The stored settings, the options and every target, all checked before anything
// connects: kExitOk, or the code of what is wrong (reported).
int PrepareTargets(const ConnectionOptions& options, const std::vector<std::string>& targets,
                   const char* command, ConnectionSettings& stored,
                   std::vector<ConnectionRequest>& inputs, Output& out,
                   const std::vector<std::string>& places = {});

int RunIdentifyTargets(const ConnectionOptions& connection, const std::vector<std::string>& targets,
                       std::size_t jobs, Output& out, const RunControl& control = {},
                       const std::vector<std::string>& places = {});
// One backup file per target in the folder `folder`.
int RunBackupTargets(const ConnectionOptions& connection, const std::string& folder,
                     const std::vector<std::string>& targets, std::size_t jobs, Output& out,
                     const RunControl& control = {}, const std::vector<std::string>& places = {});
// The restore of one checked file to every target.
int RestoreTargets(const ConnectionSettings& stored, const std::vector<ConnectionRequest>& inputs,
                   const RestoreOptions& restore, const BackupDocument& doc,
                   const std::vector<std::uint16_t>& blocks, Output& out,
                   const RunControl& control);

}  // namespace kv::cli
