#include "cli/Commands.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <thread>

#include "backup/ModuleBlocks.h"
#include "backup/RestorePreview.h"
#include "cli/DiagView.h"
#include "cli/Fleet.h"
#include "cli/TextLayout.h"
#include "diagnostics/Diagnostika.h"
#include "diagnostics/RestartZarizeni.h"
#include "platform/FileAccess.h"
#include "platform/IniFile.h"
#include "platform/Interrupt.h"
#include "platform/StdStreams.h"
#include "platform/Text.h"
#include "transport/InterfaceKinds.h"

namespace kv::cli {
namespace {

// Problems printed for one file; the rest are counted.
constexpr std::size_t kMaxProblems = 40;

std::string Tag(std::uint16_t block) {
    return BlockTag(block);
}

// "vlan1 (251), network (254)"; `note` may add to a block's parenthesis.
std::string BlockList(const std::vector<std::uint16_t>& blocks,
                      const std::map<std::uint16_t, std::string>& note = {}) {
    std::string out;
    for (std::uint16_t block : blocks) {
        const BlockSection* section = SectionByBlock(block);
        if (!out.empty()) out += ", ";
        const auto extra = note.find(block);
        out += std::string(section != nullptr ? section->name : "?") + " (" +
               std::to_string(block) + (extra != note.end() ? "; " + extra->second : "") + ")";
    }
    return out.empty() ? "žádné" : out;
}

void ReportProblems(const std::string& source, const std::vector<FileProblem>& problems,
                    Output& out) {
    for (std::size_t i = 0; i < problems.size() && i < kMaxProblems; ++i)
        out.Report(Located(source, problems[i]));
    if (problems.size() > kMaxProblems) {
        const std::size_t more = problems.size() - kMaxProblems;
        out.Report(source + ": a " + Counted(more, "další chyba", "další chyby", "dalších chyb"));
    }
}

}  // namespace

RestoreJournal::RestoreJournal(std::vector<std::string> labels)
    : labels_(std::move(labels)), records_(labels_.size()) {
    platform::SetFinalWords(Text());
}

RestoreJournal::~RestoreJournal() {
    // Said in full by then: a late second Ctrl+C repeats nothing.
    platform::SetFinalWords("");
}

void RestoreJournal::Update(std::size_t module, const ModuleRecord& record) {
    std::string text;
    {
        std::lock_guard lock(mutex_);
        if (module >= records_.size()) return;
        records_[module] = record;
    }
    platform::SetFinalWords(Text());
}

std::string RestoreJournal::Text() const {
    std::lock_guard lock(mutex_);
    std::string text = "Ukončeno hned; stav bloků v tu chvíli:\n";
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const std::string state =
            records_[i] ? RecordText(*records_[i]) : "nezpracován, nic nezapsáno";
        text += (labels_[i].empty() ? "Bloky" : labels_[i]) + ": " + state + "\n";
    }
    return text;
}

int UsageMistake(const std::string& text, const char* command, Output& out) {
    out.Report("kv3380u: " + text);
    out.Report(std::string("Nápověda: kv3380u ") + command + " --help");
    return kExitUsage;
}

int PrepareConnection(const ConnectionOptions& options, ConnectionSettings& stored,
                      ConnectionRequest& input, Output& out, const char* command) {
    std::string note;
    if (auto error = LoadConnectionSettings(options, stored, &note)) {
        out.Report(*error);
        return kExitRefused;
    }
    if (auto error = BuildConnectionRequest(stored, options, input))
        return UsageMistake(*error, command, out);
    // Defaults stand in for what the file does not say: never without a word, as they
    // may name another module than the one meant.
    if (!note.empty()) out.Report(note + "; použito: " + DescribeRequest(input));
    return kExitOk;
}

namespace {

bool ReadInput(const std::string& path, BackupRead& read, Output& out) {
    if (path != "-") {
        if (auto failure = ReadBackupPath(path, read)) {
            out.Report(*failure);
            return false;
        }
        return true;
    }
    std::string bytes;
    if (auto why = platform::ReadStdIn(bytes, platform::IniFile::kMaxFileSize)) {
        out.Report("-: standardní vstup nelze přečíst: " + *why);
        return false;
    }
    read = ReadBackupText(bytes);
    return true;
}

}  // namespace

std::string ExitCodeTable() {
    return "  0  úspěch\n"
           "  2  chybné použití: neznámý příkaz nebo volba, volba s neplatnou hodnotou\n"
           "  3  připojení selhalo nebo modul přestal odpovídat\n"
           "  4  hodnotu odmítla kontrola, soubor nelze přečíst či zapsat nebo má chyby,\n"
           "     standardní výstup nelze zapsat\n"
           "  5  zápis bloku selhal nebo se zpětně přečtený blok liší\n"
           "  6  záloha: blok z modulu má chybný kontrolní součet (v souboru je označen)\n"
           "130  přerušeno (Ctrl+C)\n"
           "  1  vnitřní chyba programu";
}

bool RunControl::Wait(std::chrono::milliseconds time) const {
    if (wait) return wait(time);
    std::this_thread::sleep_for(time);
    return !Stopped();
}

int RunIdentify(const ConnectionOptions& options, Output& out, const RunControl& control) {
    ConnectionSettings stored;
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, "identify")) return code;
    Connection connection;
    if (!OpenConnection(connection, stored, input, out, true)) return kExitConnection;
    return IdentifyOver(connection.Link(), input, out, control);
}

int IdentifyOver(const ModuleLink& link, const ConnectionRequest& input, Output& out,
                 const RunControl& control, std::string* serial) {
    out.Print("Spojení: " + DescribeRequest(input));
    if (control.Stopped()) return kExitInterrupted;
    // Which module of several answered: the serial number it reports of itself.
    ModuleIdentity identity;
    if (auto error = AskIdentity(link, identity)) {
        out.Report("Výrobní číslo modulu nelze zjistit: " + *error);
        return kExitOk;
    }
    if (serial != nullptr) *serial = identity.serial;
    out.Print(std::string(kOverviewCaptions[2]) + " modulu: " + identity.serial);
    return kExitOk;
}

int ReadAllBlocks(const ModuleLink& link, std::vector<BackupBlock>& blocks, Output& out,
                  const RunControl& control) {
    BlocksRead read = ReadBlocks(link, AllBlocks(), [&control] { return control.Stopped(); });
    blocks = std::move(read.blocks);
    if (read.end == TransferEnd::kStopped) return kExitInterrupted;
    if (read.end == TransferEnd::kFailed) {
        out.Report(Tag(read.failed) + " " + read.status);
        return kExitConnection;
    }
    return kExitOk;
}

int RunBackup(const ConnectionOptions& options, const BackupOptions& backup, Output& out,
              const RunControl& control) {
    ConnectionSettings stored;
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, "backup")) return code;
    if (backup.file != "-") {
        if (auto unfit = UnfitTarget(platform::KindOfPath(backup.file))) {
            out.Report(backup.file + ": soubor nelze zapsat: " + *unfit);
            return kExitRefused;
        }
    }
    Connection connection;
    if (!OpenConnection(connection, stored, input, out)) return kExitConnection;

    std::vector<BackupBlock> blocks;
    if (const int code = ReadAllBlocks(connection.Link(), blocks, out, control)) return code;
    ModuleIdentity identity;
    identity.ident = Printable(stored.moduleIdent);
    if (auto error = AskIdentity(connection.Link(), identity))
        out.Report("upozornění: výrobní číslo modulu nelze zjistit (" + *error +
                   "); záloha je bez něj a obnova z ní blok network zapíše jen s --only network");
    connection.Close();
    // Interrupted during the last read: nothing is saved.
    if (control.Stopped()) return kExitInterrupted;

    return WriteBackup(backup.file, identity, blocks, out, control);
}

int WriteBackup(const std::string& path, const ModuleIdentity& module,
                const std::vector<BackupBlock>& blocks, Output& out, const RunControl& control) {
    const int code = AnyDamaged(blocks) ? kExitBadChecksum : kExitOk;
    // The backup keeps the module as it is; the exit code stays that of the blocks.
    if (path == "-") {
        for (const std::string& warning : BackupWarnings(blocks)) out.Report(warning);
        const std::string text = BackupFile(module, blocks).Serialize(platform::IniLineEnds::kLf);
        std::size_t start = 0;
        while (start < text.size() && !control.Stopped()) {
            const auto end = text.find('\n', start);
            out.Print(text.substr(start, end - start));
            start = end + 1;
        }
        return code;
    }
    const BackupSaving saving =
        SaveBackupFile(path, module, blocks, [&control] { return control.Stopped(); });
    for (const std::string& warning : saving.warnings) out.Report(warning);
    if (saving.failure) {
        out.Report(*saving.failure);
        return kExitRefused;
    }
    out.Print(saving.SavedText(blocks.size()));
    return code;
}

ModuleRestore RestoreModule(const ModuleLink& link, const BackupDocument& doc,
                            const std::vector<std::uint16_t>& selected, bool dryRun,
                            const std::string& source, Output& out, const RunControl& control,
                            const RestoreChecks& checks) {
    ModuleRestore result;
    result.blocks = RecordBefore(selected, {}, {});
    control.Record(result.blocks);
    auto stop = [&](int code, std::string message) {
        result.code = code;
        result.message = std::move(message);
        return result;
    };

    const BlocksRead read =
        ReadBlocks(link, BlocksToRead(selected), [&control] { return control.Stopped(); });
    if (read.end == TransferEnd::kStopped) {
        result.notWritten = selected;
        return stop(kExitInterrupted, control.Reason());
    }
    if (read.end == TransferEnd::kFailed) {
        out.Report(Tag(read.failed) + " " + read.status);
        result.notWritten = selected;
        return stop(kExitConnection, read.status);
    }
    std::map<std::uint16_t, ConfigBlock> current;
    for (const BackupBlock& block : read.blocks) current[block.number] = block.bytes;
    result.blocks = RecordBefore(selected, current, {});
    control.Record(result.blocks);

    const std::uint16_t network = SectionByName("network")->block;

    // The network block of another module's file is asked about only when it would change.
    std::function<std::optional<std::string>()> foreign;
    if (checks.sameModule)
        foreign = [&link, &doc]() {
            ModuleIdentity module;
            const auto unasked = AskIdentity(link, module);
            return ForeignFile(doc, unasked ? std::string() : module.serial);
        };
    const RestorePreview preview = PreviewRestore(doc, selected, read.blocks, source, foreign);
    const ModuleConfig& before = preview.before;
    if (preview.plan.Refused()) {
        const std::vector<FileProblem> refusals = preview.plan.Refusals();
        ReportProblems(source, refusals, out);
        result.notWritten = selected;
        return stop(kExitRefused, refusals.front().text);
    }

    std::vector<std::uint16_t> changed;
    std::vector<BackupBlock> targets;
    bool withheld = false;
    for (const BlockPreview& block : preview.blocks) {
        for (const std::string& note : block.notes) out.Report(note);
        for (const std::string& line : block.PlanLines()) out.Print(line);
        if (!block.changed) {
            result.unchanged.push_back(block.block);
            continue;
        }
        if (block.foreign) {
            out.Report(Tag(block.block) + " se nezapíše: " + *block.foreign +
                       "; jeho IP adresa by přešla na jiný modul. Zapíše se jen s --only "
                       "network nebo --other-module");
            withheld = true;
            continue;
        }
        changed.push_back(block.block);
        targets.push_back({block.block, block.target});
    }
    result.blocks = RecordBefore(selected, current, targets);
    if (withheld) SetState(result.blocks, network, BlockState::kNotWritten);
    control.Record(result.blocks);

    // What would cut the way to the module over the LAN is written only when confirmed.
    const std::vector<Lockout> lockouts = TargetLockouts(before, targets);
    for (const Lockout& lockout : lockouts) out.Report(LockoutText(lockout, checks.allowLockout));
    if (!lockouts.empty() && !checks.allowLockout) {
        out.Report(
            "Obnova odmítnuta: zápis by odřízl cestu k modulu přes LAN. Chcete-li jej "
            "přesto, potvrďte to volbou --allow-lockout.");
        result.notWritten = selected;
        return stop(kExitRefused, "odmítnuto: odřízlo by cestu k modulu (--allow-lockout)");
    }

    const std::vector<WriteStep> steps = PlanWrites(targets, current);
    for (const WriteStep& step : steps)
        if (step.parking) out.Print(ParkingText(step));

    if (dryRun) {
        result.notWritten = changed;
        const std::size_t n = changed.size();
        out.Print("Zkouška nanečisto: do modulu nebylo nic zapsáno. " +
                  (n == 0
                       ? std::string("Nezměnil by se žádný blok.")
                       : std::string(Plural(n, "Změnil by se", "Změnily by se", "Změnilo by se")) +
                             " " + Counted(n, "blok", "bloky", "bloků") + ": " +
                             BlockList(result.notWritten)));
        result.message =
            n == 0 ? "beze změny"
                   : "nanečisto, " +
                         std::string(Plural(n, "změnil by se", "změnily by se", "změnilo by se")) +
                         " " + Counted(n, "blok", "bloky", "bloků");
        if (withheld) result.code = kExitRefused;
        return result;
    }

    auto starting = [&](const WriteStep& step) {
        RecordStart(result.blocks, step);
        control.Record(result.blocks);
    };
    // Each step as it ends: the failed write, what the read after it found, the block.
    auto said = [&](const WriteStep& step, const StepOutcome& outcome) {
        RecordStep(result.blocks, step, outcome);
        control.Record(result.blocks);
        for (const std::string& line : StepReports(step, outcome)) out.Report(line);
        if (outcome.Done()) out.Print(StepDoneText(step));
    };
    const PlanWriting writing = WriteSteps(
        link, steps, current, [&control] { return control.Stopped(); }, said, starting);
    result.written = writing.written;
    result.notWritten = writing.notWritten;
    if (withheld) result.notWritten.push_back(network);
    if (writing.unknown) result.unknown.push_back(*writing.unknown);
    // The ports moved out of the way, beside the blocks not written.
    std::map<std::uint16_t, std::string> parked;
    for (const auto& [block, port] : writing.parked)
        parked[block] = "port dočasně " + std::to_string(port);
    if (writing.end == TransferEnd::kStopped) {
        const std::string reason = control.Reason();
        out.Report(std::string(1, static_cast<char>(std::toupper(reason[0]))) + reason.substr(1) +
                   ". Zapsané bloky: " + BlockList(result.written) +
                   "; nezapsané: " + BlockList(result.notWritten, parked));
        return stop(kExitInterrupted, reason);
    }
    if (writing.end == TransferEnd::kFailed) {
        out.Report("Obnova zastavena. Zapsané bloky: " + BlockList(result.written) +
                   "; nezapsané: " + BlockList(result.notWritten, parked) +
                   (writing.unknown ? "; nejisté: " + BlockList(result.unknown, parked) : ""));
        return stop(kExitWriteFailed, writing.status);
    }
    out.Print("Zapsané bloky: " + BlockList(result.written) +
              "; beze změny: " + BlockList(result.unchanged));
    const std::size_t n = result.written.size();
    result.message = n == 0 ? "beze změny"
                            : std::string(Plural(n, "zapsán", "zapsány", "zapsáno")) + " " +
                                  Counted(n, "blok", "bloky", "bloků");
    if (withheld) {
        result.code = kExitRefused;
        result.message += "; network nezapsán (jiný modul)";
    }
    return result;
}

int RunRestore(const ConnectionOptions& options, const RestoreOptions& restore, Output& out,
               const RunControl& control) {
    ConnectionSettings stored;
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, "restore")) return code;

    // Every target is named correctly, and once, before any module is touched.
    std::vector<ConnectionRequest> inputs;
    if (const int code =
            CheckTargets(input, restore.targets, restore.targetPlaces, "restore", inputs, out))
        return code;

    const std::string& source = restore.file;
    BackupRead read;
    if (!ReadInput(restore.file, read, out)) return kExitRefused;
    if (!read.problems.empty()) {
        ReportProblems(source, read.problems, out);
        return kExitRefused;
    }
    const BackupDocument& doc = read.document;
    const Selection selection = SelectBlocks(doc, restore.only, !restore.targets.empty());
    if (!selection.error.empty()) {
        out.Report(source + ": " + selection.error);
        return kExitRefused;
    }
    // The file's values are judged before any module is asked: a refused value is refused
    // for every module alike. Only the VLAN ports also depend on each module.
    const RestorePlan precheck = PlanRestore(doc, selection.blocks, ImageOfFile(doc), false);
    if (precheck.Refused()) {
        ReportProblems(source, precheck.Refusals(), out);
        return kExitRefused;
    }

    if (restore.targets.empty()) {
        // Until the end, where the same is printed, a second Ctrl+C prints it instead.
        RestoreJournal journal({""});
        RunControl recorded = control;
        recorded.recorded = [&journal](const ModuleRecord& record) { journal.Update(0, record); };
        Connection connection;
        if (!OpenConnection(connection, stored, input, out)) return kExitConnection;
        // The network block goes only to the module the file is of, unless named.
        RestoreChecks checks;
        checks.allowLockout = restore.allowLockout;
        checks.sameModule =
            !restore.otherModule &&
            std::none_of(restore.only.begin(), restore.only.end(), [](const std::string& name) {
                return SectionByName(name) == SectionByName("network");
            });
        const ModuleRestore result = RestoreModule(connection.Link(), doc, selection.blocks,
                                                   restore.dryRun, source, out, recorded, checks);
        connection.Close();
        out.Print("Bloky: " + RecordText(result.blocks));
        return result.code;
    }

    return RestoreTargets(stored, inputs, restore, doc, selection.blocks, out, control);
}

int RunDiag(const ConnectionOptions& options, const DiagOptions& diag, Output& out,
            const RunControl& control) {
    ConnectionSettings stored;
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, "diag")) return code;
    Connection connection;
    ConnectionOutcome opened;
    if (!OpenConnection(connection, stored, input, out, false, &opened)) {
        // A monitoring script sees this cycle too: nothing came, and why.
        if (diag.json) {
            CycleOutcome none;
            none.statusText = Printable(opened.statusText);
            out.Print(DiagJson(none, diag.vlan, 1, UtcTimestamp())
                          .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
        }
        return kExitConnection;
    }

    const long interval = std::max(diag.intervalMs, kMinimumIntervalMs);
    DiagScreen screen;
    screen.vlanInterface = diag.vlan;
    screen.decimalSeparator = diag.decimalSeparator;
    bool lastOk = false;
    for (long n = 1;; ++n) {
        const CycleOutcome cycle = RefreshDiagnostics(connection.Link(), diag.vlan, {});
        lastOk = cycle.module.has_value() && cycle.vlan.has_value();
        if (diag.json) {
            out.Print(DiagJson(cycle, diag.vlan, n, UtcTimestamp())
                          .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
        } else {
            // As the window: what a failed request could not refresh stays as it was.
            screen.status = cycle.statusText;
            if (cycle.module) screen.module = cycle.module;
            if (cycle.vlan) screen.vlan = cycle.vlan;
            std::vector<std::string> lines = DiagText(screen, diag.colour);
            if (diag.redraw) {
                lines.front() = "\033[H\033[2J" + lines.front();
            } else if (n > 1) {
                out.Print("");
            }
            for (const std::string& line : lines) out.Print(line);
        }
        if (diag.count && n >= *diag.count) break;
        if (control.Stopped() || !control.Wait(std::chrono::milliseconds(interval))) break;
    }
    return lastOk ? kExitOk : kExitConnection;
}

int RunRestart(const ConnectionOptions& options, Output& out, const RunControl& control) {
    ConnectionSettings stored;
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, "restart")) return code;
    Connection connection;
    if (!OpenConnection(connection, stored, input, out)) return kExitConnection;
    // Interrupted while connecting: the module is not restarted.
    if (control.Stopped()) return kExitInterrupted;
    const RestartOutcome restart = RestartModule(connection.Link(), {});
    for (std::size_t i = 0; i + 1 < restart.texts.size(); ++i) out.Report(restart.texts[i]);
    // The window asks its operator to initialise the connection again; here every command
    // opens its own, so the next one simply connects anew.
    if (restart.sent && restart.texts.back() == RestartedText(kKindLan)) {
        out.Print(
            "Zařízení restartováno. Příští příkaz se k modulu připojí znovu, až se "
            "modul rozběhne.");
    } else if (!restart.texts.empty()) {
        out.Print(restart.texts.back());
    }
    return restart.sent ? kExitOk : kExitConnection;
}

}  // namespace kv::cli
