// kv3380u: the command-line companion of W_KV3380U for backups, cloning and monitoring.
// The command line is read by the core (CommandLine); here it meets the terminal: the
// standard streams, Ctrl+C and the locale.

#include <clocale>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Exporter.h"
#include "cli/Fleet.h"
#include "cli/TextLayout.h"
#include "platform/ConfigFolder.h"
#include "platform/Interrupt.h"
#include "platform/StdStreams.h"

namespace {

using namespace kv::cli;
using kv::platform::StdStream;

// Results on stdout, messages on stderr, each line written at once (monitoring scripts
// read the JSON lines as they come); a progress bar only where stdout is a terminal.
// The first write to stdout that fails is kept: nothing more goes there, and the command
// stops at its next step.
class ConsoleOutput : public Output {
  public:
    ConsoleOutput() : terminal_(kv::platform::IsTerminal(StdStream::kOut)) {}

    bool Terminal() const { return terminal_; }
    const std::optional<std::string>& Failure() const { return failure_; }
    void Failed(std::optional<std::string> why) {
        if (!failure_) failure_ = std::move(why);
    }

    void Print(const std::string& line) override {
        Clear();
        Out(line + "\n");
        Redraw();
    }
    void Report(const std::string& line) override {
        Clear();
        // Where the error output itself is gone there is nobody left to tell.
        kv::platform::WriteStd(StdStream::kErr, line + "\n");
        Redraw();
    }
    void Progress(std::size_t done, std::size_t total, const std::string& current) override {
        if (!terminal_) return;
        bar_ = ProgressBar(done, total, 30, current);
        Redraw();
    }
    void ProgressDone() override {
        Clear();
        bar_.clear();
    }

  private:
    void Out(const std::string& bytes) {
        if (failure_) return;
        Failed(kv::platform::WriteStd(StdStream::kOut, bytes));
    }
    void Clear() {
        if (!shown_) return;
        Out("\r\033[K");
        shown_ = false;
    }
    void Redraw() {
        if (bar_.empty()) return;
        Out("\r\033[K" + bar_);
        shown_ = true;
    }

    bool terminal_;
    std::optional<std::string> failure_;
    std::string bar_;
    bool shown_ = false;
};

// The decimal separator of the user's locale, as the diagnostics window shows seconds.
std::string LocaleDecimalSeparator() {
    std::string separator = ",";
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = current != nullptr ? current : "C";
    if (std::setlocale(LC_NUMERIC, "") != nullptr) {
        const char* point = std::localeconv()->decimal_point;
        if (point != nullptr && *point != '\0') separator = point;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    return separator;
}

// The files the command line names, with the system's separators, so that every path the
// program prints is written one way on Windows (C:\Zálohy\modul.ini, not C:/Zálohy\modul.ini).
void UseNativeSeparators(CommandLine& line) {
    using kv::platform::NativeSeparators;
    line.connection.settingsFile = NativeSeparators(line.connection.settingsFile);
    line.backup.file = NativeSeparators(line.backup.file);
    line.restore.file = NativeSeparators(line.restore.file);
    if (line.targets && line.targets->rfind('@', 0) == 0)
        line.targets = NativeSeparators(*line.targets);
}

// What stopped the program, as its lines say it.
std::string InterruptText() {
    using kv::platform::InterruptSource;
    switch (kv::platform::FirstInterruptSource()) {
        case InterruptSource::kTerminate:
            return "přerušeno (signál SIGTERM)";
        case InterruptSource::kBreak:
            return "přerušeno (Ctrl+Break)";
        case InterruptSource::kClose:
            return "přerušeno (konzole se zavírá)";
        default:
            break;
    }
    return "přerušeno (Ctrl+C)";
}

int RunCommand(CommandLine& line, ConsoleOutput& out) {
    UseNativeSeparators(line);
    RunControl control;
    control.stopRequested = [&out] {
        return kv::platform::Interrupted() || out.Failure().has_value();
    };
    control.stopReason = [&out] {
        if (kv::platform::Interrupted()) return InterruptText();
        return std::string("zastaveno: standardní výstup nelze zapsat");
    };
    control.wait = [&out](std::chrono::milliseconds time) {
        return kv::platform::WaitUnlessInterrupted(time) && !out.Failure();
    };
    // The modules of --targets, read and named before anything connects.
    std::vector<std::string> targets;
    std::vector<std::string> places;
    if (line.targets) {
        std::string error;
        if (const int code = TargetList(*line.targets, targets, error, &places)) {
            out.Report("kv3380u: " + error);
            if (code == kExitUsage)
                out.Report(std::string("Nápověda: kv3380u ") + CommandName(line.command) +
                           " --help");
            return code;
        }
    }
    switch (line.command) {
        case Command::kIdentify:
            if (line.targets)
                return RunIdentifyTargets(line.connection, targets, line.jobs, out, control,
                                          places);
            return RunIdentify(line.connection, out, control);
        case Command::kBackup:
            if (line.targets)
                return RunBackupTargets(line.connection, line.backup.file, targets, line.jobs, out,
                                        control, places);
            return RunBackup(line.connection, line.backup, out, control);
        case Command::kRestore:
            line.restore.targets = targets;
            line.restore.targetPlaces = places;
            line.restore.jobs = line.jobs;
            return RunRestore(line.connection, line.restore, out, control);
        case Command::kDiag:
            line.diag.decimalSeparator = LocaleDecimalSeparator();
            line.diag.colour = out.Terminal() && !line.diag.json;
            line.diag.redraw = out.Terminal() && !line.diag.json;
            return RunDiag(line.connection, line.diag, out, control);
        case Command::kRestart:
            return RunRestart(line.connection, out, control);
        case Command::kExporter:
            return RunExporter(line.connection, line.exporter, out, control);
    }
    return kExitInternal;
}

}  // namespace

int main(int argc, char** argv) {
    kv::platform::PrepareStdStreams();
    ConsoleOutput out;
    int code = kExitInternal;
    bool service = false;
    try {
        // UTF-8 words, also where the system hands main() another code page (Windows).
        std::vector<std::string> arguments = kv::platform::ProgramArguments(argc, argv);
        if (!arguments.empty()) arguments.erase(arguments.begin());
        const ParsedCommandLine parsed = ParseCommandLine(arguments);
        switch (parsed.result) {
            case ParsedCommandLine::Result::kShow:
                out.Failed(kv::platform::WriteStd(StdStream::kOut, parsed.text));
                code = kExitOk;
                break;
            case ParsedCommandLine::Result::kUsage:
                kv::platform::WriteStd(StdStream::kErr, parsed.text);
                return kExitUsage;
            case ParsedCommandLine::Result::kRun: {
                kv::platform::CatchInterrupts(
                    "kv3380u: přerušeno; čekám, až se vrátí rozpracované volání knihovny "
                    "(nejdéle její časový limit). Další Ctrl+C ukončí program hned.",
                    "kv3380u: ukončeno hned (druhé přerušení)", kExitInterrupted);
                CommandLine line = parsed.line;
                code = RunCommand(line, out);
                // Stopping is how a service ends: SIGTERM is no failure of it.
                service = line.command == Command::kExporter && code == kExitOk;
                break;
            }
        }
    } catch (const std::exception& e) {
        out.Report(std::string("kv3380u: vnitřní chyba: ") + e.what());
        code = kExitInternal;
    }

    // The last of the output may still be with the system: a full disk says so only now.
    out.Failed(kv::platform::FinishStdOut());
    if (kv::platform::Interrupted() && !service) {
        out.Report("kv3380u: " + InterruptText());
        return kExitInterrupted;
    }
    if (out.Failure() && code != kExitInternal) {
        out.Report("kv3380u: standardní výstup nelze zapsat: " + *out.Failure());
        return kExitRefused;
    }
    return code;
}
