#pragma once

// How the command-line program's commands end and where they print. The commands know
// no terminal: they hand lines to an Output, which the program points at stdout and
// stderr (and the tests at a list).

#include <cstddef>
#include <string>

namespace kv::cli {

// Exit codes scripts can rely on.
enum ExitCode : int {
    kExitOk = 0,
    kExitInternal = 1,     // the program itself failed
    kExitUsage = 2,        // an unknown command or option, an option's value of the wrong form
    kExitConnection = 3,   // no connection, or the module stopped answering
    kExitRefused = 4,      // a value refused by a check; a file that cannot be read or written
    kExitWriteFailed = 5,  // a block write failed or its read-back differs
    kExitBadChecksum = 6,  // backup: a block read from the module has a wrong checksum
    kExitInterrupted = 130,
};

// The table of exit codes, one line each, for --help and the README.
std::string ExitCodeTable();

class Output {
  public:
    virtual ~Output() = default;
    // What the command produces: results, identification, plans, tables (stdout).
    virtual void Print(const std::string& line) = 0;
    // Progress texts, warnings and failures (stderr).
    virtual void Report(const std::string& line) = 0;
    // A long run's progress; a terminal draws it, everything else ignores it.
    virtual void Progress(std::size_t done, std::size_t total, const std::string& current) {
        (void)done;
        (void)total;
        (void)current;
    }
    // The run has ended: whatever Progress drew goes.
    virtual void ProgressDone() {}
};

}  // namespace kv::cli
