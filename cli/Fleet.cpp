#include "cli/Fleet.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "cli/TextLayout.h"
#include "platform/ConfigFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv::cli {
namespace {

// The waits of a worker: short steps, so that a stop is seen soon.
bool WaitUnless(const std::atomic<bool>& stop, std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (!stop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - now, std::chrono::milliseconds(20)));
    }
    return false;
}

// The library of the targets' kind, loaded once for all their connections; nullptr with
// the reason reported.
std::shared_ptr<const LoadedLibrary> LoadFor(const ConnectionRequest& input, Output& out) {
    const std::uint8_t kind = input.kind;
    std::uint32_t code = 0;
    std::shared_ptr<const LoadedLibrary> library = LoadedLibrary::Load(kind, code);
    if (library == nullptr) {
        out.Report("kv3380u: " + ErrorString(kind, code));
        ReportLoadFailure(kind, out);
    }
    return library;
}

std::string CodeText(int code) {
    return code == kExitOk ? "OK" : "chyba " + std::to_string(code);
}

void PrintTable(const std::vector<std::vector<std::string>>& table, std::size_t good, Output& out) {
    out.Print("");
    for (const std::string& line : Columns(table)) out.Print(line);
    out.Print("Úspěšně " + std::to_string(good) + " z " +
              Counted(table.size() - 1, "modulu", "modulů", "modulů") + ".");
}

constexpr const char* kNotStarted = "nezpracováno (přerušeno)";

}  // namespace

bool ConnectionGate::Enter(const std::function<bool()>& stop) {
    std::unique_lock lock(mutex_);
    bool stopped = false;
    while (serial_ && active_ > 0 && !stopped) {
        changed_.wait_for(lock, std::chrono::milliseconds(50));
        stopped = stop && stop();
    }
    ++active_;
    return !stopped;
}

void ConnectionGate::Done() {
    {
        std::lock_guard lock(mutex_);
        if (active_ > 0) --active_;
    }
    changed_.notify_all();
}

bool ConnectionGate::Serial() const {
    std::lock_guard lock(mutex_);
    return serial_;
}

bool ConnectionGate::Open(Connection& connection, ConnectionSettings& settings,
                          const ConnectionRequest& input, Output& out, bool printResult,
                          const std::function<bool()>& stop, ConnectionOutcome& outcome) {
    if (!Enter(stop)) return false;
    // The first attempt says nothing yet: a refusal beside other connections is the
    // library's limit, not the module's failure.
    RecordedOutput first;
    if (OpenConnection(connection, settings, input, first, printResult, &outcome)) {
        first.ReplayInto(out);
        return true;
    }
    bool others = false;
    bool switched = false;
    if (outcome.openRefused) {
        std::lock_guard lock(mutex_);
        others = active_ > 1;
        if (others && !serial_) switched = serial_ = true;
    }
    if (!others) {
        first.ReplayInto(out);
        return false;
    }
    if (switched) {
        const InterfaceKindInfo* info = FindInterfaceKind(input.kind);
        out.Report(std::string("kv3380u: knihovna ") + (info != nullptr ? info->file : "?") +
                   " nepřijala další připojení vedle otevřených; moduly se dál zpracují po "
                   "jednom");
    }
    Done();
    if (!Enter(stop)) return false;
    return OpenConnection(connection, settings, input, out, printResult, &outcome);
}

void RecordedOutput::ReplayInto(Output& out) const {
    for (const auto& [report, line] : lines_) {
        if (report) {
            out.Report(line);
        } else {
            out.Print(line);
        }
    }
}

std::vector<bool> RunSideBySide(
    const std::vector<std::string>& names, std::size_t jobs,
    const std::function<void(std::size_t, Output&, const RunControl&)>& work, Output& out,
    const RunControl& control) {
    const std::size_t count = names.size();
    std::vector<RecordedOutput> held(count);
    std::vector<bool> started(count, false);
    std::vector<bool> done(count, false);
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t next = 0;
    std::size_t running = 0;
    std::size_t doneCount = 0;
    std::size_t lastDone = 0;
    std::atomic<bool> stop{false};

    RunControl inner;
    inner.stopRequested = [&stop] { return stop.load(); };
    inner.stopReason = control.stopReason;
    inner.wait = [&stop](std::chrono::milliseconds time) { return WaitUnless(stop, time); };

    const std::size_t threads = std::max<std::size_t>(1, std::min(jobs, count));
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex);
        running = threads;
    }
    for (std::size_t t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (;;) {
                std::size_t i = 0;
                {
                    std::lock_guard lock(mutex);
                    if (next >= count || stop.load()) break;
                    i = next++;
                    started[i] = true;
                }
                work(i, held[i], inner);
                {
                    std::lock_guard lock(mutex);
                    done[i] = true;
                    ++doneCount;
                    lastDone = i;
                }
                finished.notify_all();
            }
            {
                std::lock_guard lock(mutex);
                --running;
            }
            finished.notify_all();
        });
    }

    std::size_t shown = 0;
    std::size_t progress = static_cast<std::size_t>(-1);
    for (;;) {
        std::vector<bool> ready;
        bool over = false;
        std::size_t doneNow = 0;
        std::size_t last = 0;
        {
            std::unique_lock lock(mutex);
            finished.wait_for(lock, std::chrono::milliseconds(50));
            over = running == 0;
            ready = done;
            // Never started, and never will be: nothing to wait for.
            if (over)
                for (std::size_t i = 0; i < count; ++i) ready[i] = ready[i] || !started[i];
            doneNow = doneCount;
            last = lastDone;
        }
        if (control.Stopped()) stop = true;
        while (shown < count && ready[shown]) held[shown++].ReplayInto(out);
        if (doneNow != progress && shown < count) {
            progress = doneNow;
            out.Progress(doneNow, count, doneNow > 0 ? names[last] : names.front());
        }
        if (over && shown == count) break;
    }
    for (std::thread& worker : workers) worker.join();
    out.Progress(count, count, "");
    out.ProgressDone();
    return started;
}

std::optional<std::string> DuplicateTarget(const std::vector<std::string>& targets,
                                           const std::vector<ConnectionRequest>& inputs) {
    const auto twice = RepeatedTarget(inputs);
    if (!twice) return std::nullopt;
    const auto [i, j] = *twice;
    return "cíl „" + targets[i] + "“ je v seznamu podruhé" +
           (targets[i] != targets[j] ? " (jako „" + targets[j] + "“)" : "") +
           "; každý modul smí být v seznamu jen jednou";
}

int CheckTargets(const ConnectionRequest& input, const std::vector<std::string>& targets,
                 const std::vector<std::string>& places, const char* command,
                 std::vector<ConnectionRequest>& inputs, Output& out) {
    auto placed = [&](std::size_t i, const std::string& text) {
        return i < places.size() && !places[i].empty() ? places[i] + ": " + text : text;
    };
    inputs.clear();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        ConnectionRequest one = input;
        if (auto error = ApplyTarget(targets[i], one))
            return UsageMistake(placed(i, *error), command, out);
        inputs.push_back(one);
    }
    if (auto twice = DuplicateTarget(targets, inputs))
        return UsageMistake(placed(RepeatedTarget(inputs)->first, *twice), command, out);
    return kExitOk;
}

int PrepareTargets(const ConnectionOptions& options, const std::vector<std::string>& targets,
                   const char* command, ConnectionSettings& stored,
                   std::vector<ConnectionRequest>& inputs, Output& out,
                   const std::vector<std::string>& places) {
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, command)) return code;
    return CheckTargets(input, targets, places, command, inputs, out);
}

int RunIdentifyTargets(const ConnectionOptions& options, const std::vector<std::string>& targets,
                       std::size_t jobs, Output& out, const RunControl& control,
                       const std::vector<std::string>& places) {
    ConnectionSettings stored;
    std::vector<ConnectionRequest> inputs;
    if (const int code = PrepareTargets(options, targets, "identify", stored, inputs, out, places))
        return code;
    const auto library = LoadFor(inputs.front(), out);
    if (library == nullptr) return kExitConnection;

    struct Row {
        int code = kExitInterrupted;
        std::string module = "-";
        std::string serial = "-";
        std::string message = kNotStarted;
    };
    std::vector<Row> rows(targets.size());
    ConnectionGate gate;
    RunSideBySide(
        targets, jobs,
        [&](std::size_t i, Output& held, const RunControl& inner) {
            PrefixedOutput module(held, "[" + targets[i] + "] ");
            Row& row = rows[i];
            Connection connection(library);
            ConnectionSettings settings = stored;
            ConnectionOutcome outcome;
            const bool open = gate.Open(
                connection, settings, inputs[i], module, true, [&] { return inner.Stopped(); },
                outcome);
            if (open) {
                row.module = Printable(settings.moduleIdent);
                row.code = IdentifyOver(connection.Link(), inputs[i], module, inner, &row.serial);
                row.message = row.code == kExitOk ? "" : "přerušeno";
            } else {
                row.code = inner.Stopped() ? kExitInterrupted : kExitConnection;
                row.message = Printable(outcome.statusText);
            }
            connection.Close();
            gate.Done();
        },
        out, control);

    std::vector<std::vector<std::string>> table = {{"Cíl", "Výsledek", "Modul", "Výrobní číslo"}};
    int code = kExitOk;
    std::size_t good = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        code = std::max(code, row.code);
        good += row.code == kExitOk;
        table.push_back({targets[i], CodeText(row.code),
                         row.code == kExitOk ? row.module : row.message, row.serial});
    }
    PrintTable(table, good, out);
    return code;
}

int RunBackupTargets(const ConnectionOptions& options, const std::string& folder,
                     const std::vector<std::string>& targets, std::size_t jobs, Output& out,
                     const RunControl& control, const std::vector<std::string>& places) {
    ConnectionSettings stored;
    std::vector<ConnectionRequest> inputs;
    if (const int code = PrepareTargets(options, targets, "backup", stored, inputs, out, places))
        return code;
    if (folder == "-" || platform::KindOfPath(folder) != platform::PathKind::kDirectory) {
        out.Report(folder +
                   ": s --targets se záloha ukládá do složky (soubor za každý cíl); "
                   "taková složka není");
        return kExitRefused;
    }
    const auto library = LoadFor(inputs.front(), out);
    if (library == nullptr) return kExitConnection;

    struct Row {
        int code = kExitInterrupted;
        std::string file = "-";
        std::string message = kNotStarted;
    };
    std::vector<Row> rows(targets.size());
    ConnectionGate gate;
    RunSideBySide(
        targets, jobs,
        [&](std::size_t i, Output& held, const RunControl& inner) {
            PrefixedOutput module(held, "[" + targets[i] + "] ");
            Row& row = rows[i];
            Connection connection(library);
            ConnectionSettings settings = stored;
            ConnectionOutcome outcome;
            const bool open = gate.Open(
                connection, settings, inputs[i], module, false, [&] { return inner.Stopped(); },
                outcome);
            std::vector<BackupBlock> blocks;
            ModuleIdentity identity;
            if (!open) {
                row.code = inner.Stopped() ? kExitInterrupted : kExitConnection;
                row.message = Printable(outcome.statusText);
            } else {
                row.code = ReadAllBlocks(connection.Link(), blocks, module, inner);
                row.message = row.code == kExitOk ? "" : "bloky se nepodařilo přečíst";
                if (row.code == kExitOk)
                    if (auto error = AskIdentity(connection.Link(), identity))
                        module.Report("upozornění: výrobní číslo modulu nelze zjistit (" + *error +
                                      ")");
            }
            identity.ident = Printable(settings.moduleIdent);
            connection.Close();
            gate.Done();
            if (row.code != kExitOk) return;
            // Interrupted during the last read: nothing is saved.
            if (inner.Stopped()) {
                row.code = kExitInterrupted;
                row.message = "přerušeno";
                return;
            }
            const std::string path = platform::InFolder(folder, BackupFileName(inputs[i]));
            row.code = WriteBackup(path, identity, blocks, module, inner);
            row.file = path;
            row.message = row.code == kExitBadChecksum ? "blok s chybným kontrolním součtem"
                          : row.code == kExitOk        ? ""
                                                       : "soubor nelze zapsat";
        },
        out, control);

    std::vector<std::vector<std::string>> table = {{"Cíl", "Výsledek", "Soubor", "Zpráva"}};
    int code = kExitOk;
    std::size_t good = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        code = std::max(code, rows[i].code);
        good += rows[i].code == kExitOk;
        table.push_back({targets[i], CodeText(rows[i].code), rows[i].file, rows[i].message});
    }
    PrintTable(table, good, out);
    return code;
}

int RestoreTargets(const ConnectionSettings& stored, const std::vector<ConnectionRequest>& inputs,
                   const RestoreOptions& restore, const BackupDocument& doc,
                   const std::vector<std::uint16_t>& blocks, Output& out,
                   const RunControl& control) {
    const auto library = LoadFor(inputs.front(), out);
    if (library == nullptr) return kExitConnection;
    std::vector<ModuleRestore> rows(inputs.size());
    for (ModuleRestore& row : rows) {
        row.code = kExitInterrupted;
        row.message = kNotStarted;
    }
    // What each module holds, block by block, for the table and for a second Ctrl+C.
    RestoreJournal journal(restore.targets);
    RestoreChecks checks;
    checks.allowLockout = restore.allowLockout;
    ConnectionGate gate;
    RunSideBySide(
        restore.targets, restore.jobs,
        [&](std::size_t i, Output& held, const RunControl& inner) {
            PrefixedOutput module(held, "[" + restore.targets[i] + "] ");
            RunControl recorded = inner;
            recorded.recorded = [&journal, i](const ModuleRecord& r) { journal.Update(i, r); };
            recorded.Record(RecordBefore(blocks, {}, {}));
            Connection connection(library);
            ConnectionSettings settings = stored;
            ConnectionOutcome outcome;
            if (gate.Open(
                    connection, settings, inputs[i], module, false, [&] { return inner.Stopped(); },
                    outcome)) {
                rows[i] = RestoreModule(connection.Link(), doc, blocks, restore.dryRun,
                                        restore.file, module, recorded, checks);
            } else {
                rows[i] = ModuleRestore{};
                rows[i].code = inner.Stopped() ? kExitInterrupted : kExitConnection;
                rows[i].message = Printable(outcome.statusText);
                rows[i].notWritten = blocks;
                rows[i].blocks = RecordBefore(blocks, {}, {});
            }
            connection.Close();
            gate.Done();
        },
        out, control);

    std::vector<std::vector<std::string>> table = {{"Cíl", "Výsledek", "Bloky", "Zpráva"}};
    int code = kExitOk;
    std::size_t good = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ModuleRestore& row = rows[i];
        code = std::max(code, row.code);
        good += row.code == kExitOk;
        // Never started: nothing of it was written.
        if (row.blocks.empty()) row.blocks = RecordBefore(blocks, {}, {});
        table.push_back(
            {restore.targets[i], CodeText(row.code), RecordText(row.blocks), row.message});
    }
    PrintTable(table, good, out);
    return code;
}

}  // namespace kv::cli
