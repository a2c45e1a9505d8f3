#include "cli/Commands.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <thread>

#include "backup/ModuleBlocks.h"
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
    const BlockSection* section = SectionByBlock(block);
    return "[" + std::string(section != nullptr ? section->name : "?") + "]";
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

std::string Located(const std::string& source, const FileProblem& problem) {
    return problem.line == 0 ? source + ": " + problem.text
                             : source + ":" + std::to_string(problem.line) + ": " + problem.text;
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

std::string StateText(const BlockRecord& block) {
    switch (block.state) {
        case BlockState::kUnchanged:
            return "beze změny";
        case BlockState::kNotWritten:
            return "nezapsán";
        case BlockState::kWriting:
        case BlockState::kUnknown:
            return "nejistý";
        case BlockState::kWritten:
            return "zapsán";
        case BlockState::kParked:
            return "dočasně na portu " + std::to_string(block.port);
        case BlockState::kOther:
            return "nezapsán (v modulu jiný obsah)";
        case BlockState::kDamaged:
            return "poškozen v modulu";
    }
    return "?";
}

std::string RecordText(const ModuleRecord& record) {
    std::string text;
    for (const BlockRecord& block : record) {
        const BlockSection* section = SectionByBlock(block.block);
        text += (text.empty() ? "" : ", ") + std::string(section != nullptr ? section->name : "?") +
                " " + StateText(block);
    }
    return text.empty() ? "žádný blok" : text;
}

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
    std::string bytes;
    if (path == "-") {
        if (auto why = platform::ReadStdIn(bytes, platform::IniFile::kMaxFileSize)) {
            out.Report("-: standardní vstup nelze přečíst: " + *why);
            return false;
        }
    } else {
        platform::FileBytes file = platform::ReadSmallFile(path, platform::IniFile::kMaxFileSize);
        using Status = platform::FileBytes::Status;
        switch (file.status) {
            case Status::kRead:
                bytes = std::move(file.bytes);
                break;
            case Status::kMissing:
                out.Report(path + ": soubor neexistuje");
                return false;
            case Status::kTooLarge:
                out.Report(path + ": soubor je příliš velký na zálohu (" +
                           std::to_string(file.size) +
                           " bajtů, nejvýše 1 MiB); záloha modulu má jen několik kB");
                return false;
            case Status::kNotAFile:
            case Status::kUnreadable:
                out.Report(path + ": soubor nelze přečíst: " + file.reason);
                return false;
        }
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

std::optional<std::string> AskIdentity(const ModuleLink& link, ModuleIdentity& identity) {
    const Reply reply = link.Transact(kModuleStatusRequest);
    if (!reply.Ok()) return link.ErrorText(reply.error);
    const ModuleStatus status = DecodeModuleStatus(reply.data);
    identity.serial = platform::TrimBlanks(Printable(status.serial));
    identity.mac = MacText(status.mac);
    return std::nullopt;
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

// The backup into its file: a FIFO or a device as it is, any other file replaced whole
// only when the new one is complete. kExitOk, or kExitRefused with the reason reported.
int SaveBackup(const std::string& path, const platform::IniFile& file, Output& out,
               const RunControl& control) {
    const std::string text = file.Serialize(platform::IniLineEnds::kLf);
    const platform::PathKind kind = platform::KindOfPath(path);
    std::optional<std::string> failure = UnfitTarget(kind);
    if (kind == platform::PathKind::kFifo || kind == platform::PathKind::kCharDevice) {
        // A reader started just after the program (kv3380u backup p & cat p) is waited for.
        failure = platform::WriteIntoStream(path, text, std::chrono::seconds(10),
                                            [&control] { return control.Stopped(); });
    } else if (!failure) {
        platform::ClearSystemError();
        if (!file.Save(path, platform::IniLineEnds::kLf))
            failure = platform::SystemErrorText(platform::LastSystemError());
    }
    if (!failure) return kExitOk;
    out.Report(path + ": soubor nelze zapsat: " + *failure);
    return kExitRefused;
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

std::string BesidePath(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.rfind('.');
    const bool extension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = extension ? path.substr(0, dot) : path;
    return stem + ".neobnovitelna" + (extension ? path.substr(dot) : std::string());
}

int WriteBackup(const std::string& path, const ModuleIdentity& module,
                const std::vector<BackupBlock>& blocks, Output& out, const RunControl& control) {
    int code = kExitOk;
    for (const BackupBlock& block : blocks) {
        if (ChecksumValid(block.bytes)) continue;
        out.Report(Tag(block.number) + " blok " + std::to_string(block.number) +
                   " z modulu má chybný kontrolní součet; v záloze je označen");
        code = kExitBadChecksum;
    }
    // The backup keeps the module as it is; the exit code stays that of the blocks.
    for (const SharedPort& shared : SharedPorts(blocks))
        out.Report("upozornění: " + Tag(shared.first) + " a " + Tag(shared.second) +
                   " mají v modulu stejný UDP port " + std::to_string(shared.port) +
                   " (nejspíš po přerušené obnově); obnova tuto zálohu odmítne, dokud porty "
                   "nerozlišíte");

    const platform::IniFile file = BackupFile(module, blocks);
    if (path == "-") {
        const std::string text = file.Serialize(platform::IniLineEnds::kLf);
        std::size_t start = 0;
        while (start < text.size() && !control.Stopped()) {
            const auto end = text.find('\n', start);
            out.Print(text.substr(start, end - start));
            start = end + 1;
        }
        return code;
    }
    // A backup a restore would refuse never takes the place of one it would take.
    std::string target = path;
    if (platform::KindOfPath(path) == platform::PathKind::kRegular &&
        WhyNotRestorable(file.Serialize(platform::IniLineEnds::kLf))) {
        const platform::FileBytes old =
            platform::ReadSmallFile(path, platform::IniFile::kMaxFileSize);
        if (old.status == platform::FileBytes::Status::kRead && !WhyNotRestorable(old.bytes)) {
            target = BesidePath(path);
            out.Report(path +
                       ": obnovitelnou zálohu nenahrazuji zálohou, kterou obnova odmítne; "
                       "zůstává, jak byla, nová se ukládá do " +
                       target);
        }
    }
    if (const int saved = SaveBackup(target, file, out, control)) return saved;
    out.Print("Záloha " + Counted(blocks.size(), "bloku", "bloků", "bloků") + " uložena do " +
              target);
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

    const ModuleConfig before = ImageOfBlocks(read.blocks);
    const RestorePlan plan = PlanRestore(doc, selected, before);
    if (plan.Refused()) {
        const std::vector<FileProblem> refusals = plan.Refusals();
        ReportProblems(source, refusals, out);
        result.notWritten = selected;
        return stop(kExitRefused, refusals.front().text);
    }

    std::vector<const PlannedBlock*> changed;
    std::vector<BackupBlock> targets;
    bool withheld = false;
    for (const PlannedBlock& planned : plan.blocks) {
        for (const FileProblem& warning : planned.warnings)
            out.Report(Located(source, {warning.line, "upozornění: " + warning.text}));
        for (const FileProblem& note : planned.notes)
            out.Report(Located(source, {note.line, "poznámka: " + note.text}));
        const std::uint16_t block = planned.section->block;
        const ConfigBlock& now = current[block];
        if (!ChecksumValid(now))
            out.Report(Tag(block) + " blok v modulu má chybný kontrolní součet");
        if (now == planned.target) {
            out.Print(Tag(block) + " beze změny");
            result.unchanged.push_back(block);
            continue;
        }
        out.Print(Tag(block) + " změny:");
        for (const BlockChange& change : DiffBlocks(*planned.section->spec, now, planned.target))
            out.Print("  " + change.what + ": " + change.before + " → " + change.after);
        // The network block goes only to the module the file was saved from: its IP
        // address would otherwise leave two modules with one address.
        std::optional<std::string> foreign;
        if (block == network && checks.sameModule) {
            ModuleIdentity module;
            const auto unasked = AskIdentity(link, module);
            foreign = ForeignFile(doc, unasked ? std::string() : module.serial);
        }
        if (foreign) {
            out.Report(Tag(block) + " se nezapíše: " + *foreign +
                       "; jeho IP adresa by přešla na jiný modul. Zapíše se jen s --only "
                       "network nebo --other-module");
            withheld = true;
            continue;
        }
        changed.push_back(&planned);
        targets.push_back({block, planned.target});
    }
    result.blocks = RecordBefore(selected, current, targets);
    if (withheld) SetState(result.blocks, network, BlockState::kNotWritten);
    control.Record(result.blocks);

    // What would cut the way to the module over the LAN is written only when confirmed.
    ModuleConfig after = before;
    for (const BackupBlock& target : targets)
        if (const EditorSpec* spec = SectionByBlock(target.number)->spec; spec->decode)
            spec->decode(target.bytes, after);
    const std::vector<Lockout> lockouts = Lockouts(before, after);
    for (const Lockout& lockout : lockouts)
        out.Report(Tag(lockout.block) + (checks.allowLockout ? " upozornění: " : " ") +
                   lockout.text);
    if (!lockouts.empty() && !checks.allowLockout) {
        out.Report(
            "Obnova odmítnuta: zápis by odřízl cestu k modulu přes LAN. Chcete-li jej "
            "přesto, potvrďte to volbou --allow-lockout.");
        result.notWritten = selected;
        return stop(kExitRefused, "odmítnuto: odřízlo by cestu k modulu (--allow-lockout)");
    }

    const std::vector<WriteStep> steps = PlanWrites(targets, current);
    for (const WriteStep& step : steps)
        if (step.parking)
            out.Print(Tag(step.block) + " se kvůli výměně portů nejprve přesune na volný port " +
                      std::to_string(step.port));

    if (dryRun) {
        for (const PlannedBlock* planned : changed)
            result.notWritten.push_back(planned->section->block);
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
        const std::uint16_t block = step.block;
        if (outcome.result != StepResult::kWritten)
            out.Report(Tag(block) + " " + outcome.writeStatus);
        switch (outcome.result) {
            case StepResult::kWritten:
                break;
            case StepResult::kUnknown:
                out.Report(Tag(block) + " zpětné čtení po chybě selhalo (" + outcome.readStatus +
                           "): zda je blok zapsán, není známo");
                break;
            case StepResult::kFoundWritten:
                out.Report(Tag(block) + " zpětné čtení po chybě: blok je v modulu zapsán");
                break;
            case StepResult::kFoundAsBefore:
                out.Report(Tag(block) + " zpětné čtení po chybě: blok zapsán není, modul má " +
                           "dosavadní obsah");
                break;
            case StepResult::kFoundOther:
                out.Report(Tag(block) + " zpětné čtení po chybě: blok zapsán není, modul má " +
                           (outcome.damaged ? std::string("blok s chybným kontrolním součtem "
                                                          "(poškozený)")
                                            : std::string("jiný obsah, než měl i než se "
                                                          "zapisoval")));
                break;
        }
        if (!outcome.Done()) return;
        if (step.parking) {
            out.Print(Tag(block) + " port dočasně přesunut na " + std::to_string(step.port));
        } else {
            out.Print(Tag(block) + " " + kWriteDoneText);
        }
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
