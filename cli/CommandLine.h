#pragma once

// The command line of kv3380u read into the commands' option records: each option once,
// each value judged by its form before anything connects, and every mistake said in
// words with the help to look at. CLI11 lays out the help; the reading is ours, so that
// the messages are.

#include <optional>
#include <string>
#include <vector>

#include "cli/CliConnection.h"
#include "cli/Commands.h"
#include "cli/Exporter.h"
#include "cli/Fleet.h"

namespace kv::cli {

enum class Command { kIdentify, kBackup, kRestore, kDiag, kRestart, kExporter };

struct CommandLine {
    Command command = Command::kIdentify;
    ConnectionOptions connection;
    BackupOptions backup;
    RestoreOptions restore;              // its targets come from `targets`
    std::optional<std::string> targets;  // --targets as given: a list, or @FILE
    DiagOptions diag;                    // the terminal's part is the program's
    // --jobs: how many modules of --targets at once (identify, backup, restore).
    std::size_t jobs = kDefaultJobs;
    ExporterOptions exporter;
};

struct ParsedCommandLine {
    enum class Result {
        kRun,    // `line` holds the command
        kShow,   // `text` is the help or the version, for the standard output (exit 0)
        kUsage,  // `text` is the mistake and where the help is, for the error output (exit 2)
    };
    Result result = Result::kUsage;
    CommandLine line;
    std::string text;
};

// The command's name as typed: "restore".
const char* CommandName(Command command);

// The arguments after the program's name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The modules --targets names: the entries of its list, or of the lines of the file named
// after "@" ("#" starts a comment). kExitOk; kExitUsage for a list that names no module;
// kExitRefused for a file that cannot be read. `error` says what is wrong.
// `places`: where each target was named, "moduly.txt:3" (none for a list on the command line).
int TargetList(const std::string& option, std::vector<std::string>& targets, std::string& error,
               std::vector<std::string>* places = nullptr);
// The targets a file's text names: entries separated by commas, blanks or lines, "#"
// starting a comment, a byte-order mark ignored; `lines` gets each one's line.
std::vector<std::string> TargetsInFile(const std::string& bytes,
                                       std::vector<std::size_t>* lines = nullptr);

}  // namespace kv::cli
