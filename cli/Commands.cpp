#include "cli/Commands.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <thread>

#include "cli/DiagView.h"
#include "cli/TextLayout.h"
#include "diagnostics/Diagnostika.h"
#include "diagnostics/RestartZarizeni.h"
#include "editors/EditorTable.h"
#include "platform/IniFile.h"

namespace kv::cli {
namespace {

// Problems printed for one file; the rest are counted.
constexpr std::size_t kMaxProblems = 40;

std::string Tag(std::uint16_t block) {
    const BlockSection* section = SectionByBlock(block);
    return "[" + std::string(section != nullptr ? section->name : "?") + "]";
}

std::string BlockList(const std::vector<std::uint16_t>& blocks) {
    std::string out;
    for (std::uint16_t block : blocks) {
        const BlockSection* section = SectionByBlock(block);
        if (!out.empty()) out += ", ";
        out += std::string(section != nullptr ? section->name : "?") + " (" +
               std::to_string(block) + ")";
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
    if (problems.size() > kMaxProblems)
        out.Report(source + ": a " + std::to_string(problems.size() - kMaxProblems) +
                   " dalších chyb");
}

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

// The stored settings and the dialog's values from them and the options; kExitOk or the
// code of what went wrong (reported).
int PrepareConnection(const ConnectionOptions& options, ConnectionSettings& stored,
                      ConnectionInput& input, Output& out) {
    if (auto error = LoadConnectionSettings(options, stored)) {
        out.Report(*error);
        return kExitRefused;
    }
    if (auto error = BuildConnectionInput(stored, options, input)) {
        out.Report(*error);
        return kExitUsage;
    }
    return kExitOk;
}

bool ReadInput(const std::string& path, BackupRead& read, Output& out) {
    if (path == "-") {
        std::string bytes;
        char buffer[8192];
        while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
            bytes.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
            if (bytes.size() > platform::IniFile::kMaxFileSize) {
                out.Report("-: vstup je delší než " +
                           std::to_string(platform::IniFile::kMaxFileSize) + " bajtů");
                return false;
            }
        }
        read = ReadBackupText(bytes);
        return true;
    }
    platform::IniFile file;
    switch (file.LoadFile(path)) {
        case platform::IniLoadStatus::kMissing:
            out.Report(path + ": soubor neexistuje");
            return false;
        case platform::IniLoadStatus::kUnreadable:
            out.Report(path + ": soubor nelze přečíst");
            return false;
        case platform::IniLoadStatus::kLoaded:
            break;
    }
    read = ReadBackup(file);
    return true;
}

// The configuration a file stands for by itself: its blocks over the defaults.
ModuleConfig ImageOfFile(const BackupDocument& doc) {
    ModuleConfig image = DefaultModuleConfig();
    for (const BackupSection& section : doc.sections)
        if (section.data && section.section->spec->decode)
            section.section->spec->decode(*section.data, image);
    return image;
}

}  // namespace

std::string ExitCodeTable() {
    return "  0  úspěch\n"
           "  2  chybné použití: neznámý příkaz nebo volba, volba s neplatnou hodnotou\n"
           "  3  připojení selhalo nebo modul přestal odpovídat\n"
           "  4  hodnotu odmítla kontrola, soubor nelze přečíst či zapsat nebo má chyby\n"
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

int RunIdentify(const ConnectionOptions& options, Output& out) {
    ConnectionSettings stored;
    ConnectionInput input;
    if (const int code = PrepareConnection(options, stored, input, out)) return code;
    ModuleConnection connection(stored);
    return connection.Open(input, out, true) ? kExitOk : kExitConnection;
}

int ReadAllBlocks(const ConnectionSettings& settings, std::vector<BackupBlock>& blocks, Output& out,
                  const RunControl& control) {
    blocks.clear();
    for (const EditorSpec* spec : AllEditors()) {
        if (control.Stopped()) return kExitInterrupted;
        BackupBlock block;
        block.number = spec->block;
        const TransferOutcome read = ReadConfigBlock(settings, spec->block, block.bytes, {});
        if (read.result != TransferResult::kDone) {
            out.Report(Tag(spec->block) + " " + WithoutStatusBlank(read.status));
            return kExitConnection;
        }
        blocks.push_back(block);
    }
    return kExitOk;
}

int RunBackup(const ConnectionOptions& options, const BackupOptions& backup, Output& out,
              const RunControl& control) {
    ConnectionSettings stored;
    ConnectionInput input;
    if (const int code = PrepareConnection(options, stored, input, out)) return code;
    ModuleConnection connection(stored);
    if (!connection.Open(input, out)) return kExitConnection;

    std::vector<BackupBlock> blocks;
    if (const int code = ReadAllBlocks(connection.Settings(), blocks, out, control)) return code;
    const std::string ident = Printable(connection.Settings().moduleIdent);
    connection.Close();

    int code = kExitOk;
    for (const BackupBlock& block : blocks) {
        if (block.bytes[kConfigBlockSize - 1] == BlockChecksum(block.bytes)) continue;
        out.Report(Tag(block.number) + " blok " + std::to_string(block.number) +
                   " z modulu má chybný kontrolní součet; v záloze je označen");
        code = kExitBadChecksum;
    }

    const platform::IniFile file = BackupFile(ident, blocks);
    if (backup.file == "-") {
        const std::string text = file.Serialize(platform::IniLineEnds::kLf);
        std::size_t start = 0;
        while (start < text.size()) {
            const auto end = text.find('\n', start);
            out.Print(text.substr(start, end - start));
            start = end + 1;
        }
        return code;
    }
    if (!file.Save(backup.file, platform::IniLineEnds::kLf)) {
        out.Report(backup.file + ": soubor nelze zapsat");
        return kExitRefused;
    }
    out.Print("Záloha " + std::to_string(blocks.size()) + " bloků uložena do " + backup.file);
    return code;
}

ModuleRestore RestoreModule(const ConnectionSettings& settings, const BackupDocument& doc,
                            const std::vector<std::uint16_t>& selected, bool dryRun,
                            const std::string& source, Output& out, const RunControl& control) {
    ModuleRestore result;
    auto stop = [&](int code, std::string message) {
        result.code = code;
        result.message = std::move(message);
        return result;
    };

    std::map<std::uint16_t, ConfigBlock> current;
    ModuleConfig image = DefaultModuleConfig();
    for (std::uint16_t block : BlocksToRead(selected)) {
        if (control.Stopped()) {
            result.notWritten = selected;
            return stop(kExitInterrupted, "přerušeno");
        }
        ConfigBlock bytes{};
        const TransferOutcome read = ReadConfigBlock(settings, block, bytes, {});
        if (read.result != TransferResult::kDone) {
            out.Report(Tag(block) + " " + WithoutStatusBlank(read.status));
            result.notWritten = selected;
            return stop(kExitConnection, WithoutStatusBlank(read.status));
        }
        current[block] = bytes;
        const EditorSpec* spec = EditorForBlock(block);
        if (spec != nullptr && spec->decode) spec->decode(bytes, image);
    }

    const RestorePlan plan = PlanRestore(doc, selected, image);
    if (plan.Refused()) {
        const std::vector<FileProblem> refusals = plan.Refusals();
        ReportProblems(source, refusals, out);
        result.notWritten = selected;
        return stop(kExitRefused, refusals.front().text);
    }

    std::vector<const PlannedBlock*> changed;
    for (const PlannedBlock& planned : plan.blocks) {
        for (const FileProblem& warning : planned.warnings)
            out.Report(Located(source, {warning.line, "upozornění: " + warning.text}));
        const std::uint16_t block = planned.section->block;
        const ConfigBlock& now = current[block];
        if (now[kConfigBlockSize - 1] != BlockChecksum(now))
            out.Report(Tag(block) + " blok v modulu má chybný kontrolní součet");
        if (now == planned.target) {
            out.Print(Tag(block) + " beze změny");
            result.unchanged.push_back(block);
            continue;
        }
        out.Print(Tag(block) + " změny:");
        for (const BlockChange& change : DiffBlocks(*planned.section->spec, now, planned.target))
            out.Print("  " + change.what + ": " + change.before + " → " + change.after);
        changed.push_back(&planned);
    }

    if (dryRun) {
        for (const PlannedBlock* planned : changed)
            result.notWritten.push_back(planned->section->block);
        out.Print("Zkouška nanečisto: do modulu nebylo nic zapsáno. Změnily by se: " +
                  BlockList(result.notWritten));
        result.message = changed.empty() ? "beze změny"
                                         : "nanečisto, změnilo by se " +
                                               std::to_string(changed.size()) + " bloků";
        return result;
    }

    for (std::size_t i = 0; i < changed.size(); ++i) {
        const std::uint16_t block = changed[i]->section->block;
        if (control.Stopped()) {
            for (std::size_t j = i; j < changed.size(); ++j)
                result.notWritten.push_back(changed[j]->section->block);
            out.Report("Přerušeno. Zapsané bloky: " + BlockList(result.written) +
                       "; nezapsané: " + BlockList(result.notWritten));
            return stop(kExitInterrupted, "přerušeno");
        }
        const TransferOutcome write = WriteConfigBlock(settings, block, changed[i]->target, {});
        if (write.result != TransferResult::kDone) {
            for (std::size_t j = i; j < changed.size(); ++j)
                result.notWritten.push_back(changed[j]->section->block);
            out.Report(Tag(block) + " " + WithoutStatusBlank(write.status));
            out.Report("Obnova zastavena. Zapsané bloky: " + BlockList(result.written) +
                       "; nezapsané: " + BlockList(result.notWritten));
            return stop(kExitWriteFailed, WithoutStatusBlank(write.status));
        }
        out.Print(Tag(block) + " " + WithoutStatusBlank(write.status));
        result.written.push_back(block);
    }
    out.Print("Zapsané bloky: " + BlockList(result.written) +
              "; beze změny: " + BlockList(result.unchanged));
    result.message = result.written.empty()
                         ? "beze změny"
                         : "zapsáno " + std::to_string(result.written.size()) + " bloků";
    return result;
}

int RunRestore(const ConnectionOptions& options, const RestoreOptions& restore, Output& out,
               const RunControl& control) {
    ConnectionSettings stored;
    ConnectionInput input;
    if (const int code = PrepareConnection(options, stored, input, out)) return code;

    // Every target is named correctly before any module is touched.
    std::vector<ConnectionInput> inputs;
    for (const std::string& target : restore.targets) {
        ConnectionInput one = input;
        if (auto error = ApplyTarget(target, one)) {
            out.Report(*error);
            return kExitUsage;
        }
        inputs.push_back(one);
    }

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
        ModuleConnection connection(stored);
        if (!connection.Open(input, out)) return kExitConnection;
        return RestoreModule(connection.Settings(), doc, selection.blocks, restore.dryRun, source,
                             out, control)
            .code;
    }

    struct Row {
        std::string target;
        ModuleRestore result;
        bool reached = false;
    };
    std::vector<Row> rows;
    int code = kExitOk;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        Row row;
        row.target = restore.targets[i];
        if (control.Stopped()) {
            row.result.code = kExitInterrupted;
            row.result.message = "nezpracováno (přerušeno)";
            rows.push_back(row);
            code = std::max(code, static_cast<int>(kExitInterrupted));
            continue;
        }
        out.Progress(i, inputs.size(), row.target);
        PrefixedOutput module(out, "[" + row.target + "] ");
        ModuleConnection connection(stored);
        if (connection.Open(inputs[i], module)) {
            row.reached = true;
            row.result = RestoreModule(connection.Settings(), doc, selection.blocks, restore.dryRun,
                                       source, module, control);
        } else {
            row.result.code = kExitConnection;
            row.result.message = Printable(connection.Outcome().statusText);
            row.result.notWritten = selection.blocks;
        }
        connection.Close();
        code = std::max(code, row.result.code);
        rows.push_back(row);
    }
    out.Progress(inputs.size(), inputs.size(), "");
    out.ProgressDone();

    std::vector<std::vector<std::string>> table = {{"Cíl", "Výsledek", "Zapsáno", "Zpráva"}};
    std::size_t good = 0;
    for (const Row& row : rows) {
        good += row.result.code == kExitOk;
        std::string written;
        for (std::uint16_t block : row.result.written)
            written += (written.empty() ? "" : ",") + std::string(SectionByBlock(block)->name);
        table.push_back(
            {row.target,
             row.result.code == kExitOk ? "OK" : "chyba " + std::to_string(row.result.code),
             written.empty() ? "-" : written, row.result.message});
    }
    out.Print("");
    for (const std::string& line : Columns(table)) out.Print(line);
    out.Print("Úspěšně " + std::to_string(good) + " z " + std::to_string(rows.size()) + " modulů.");
    return code;
}

int RunDiag(const ConnectionOptions& options, const DiagOptions& diag, Output& out,
            const RunControl& control) {
    ConnectionSettings stored;
    ConnectionInput input;
    if (const int code = PrepareConnection(options, stored, input, out)) return code;
    ModuleConnection connection(stored);
    if (!connection.Open(input, out)) return kExitConnection;

    const int vlanIndex = SettleVlanIndex(diag.vlan - 1);
    const long interval = std::max(diag.intervalMs, kMinimumIntervalMs);
    DiagScreen screen;
    screen.vlanIndex = vlanIndex;
    bool lastOk = false;
    for (long n = 1;; ++n) {
        const CycleOutcome cycle = Timer1Timer(connection.Settings(), vlanIndex,
                                               diag.json ? "." : diag.decimalSeparator, {});
        lastOk = cycle.module.has_value() && cycle.vlan.has_value();
        if (diag.json) {
            out.Print(DiagJson(cycle, vlanIndex, n, UtcTimestamp())
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

int RunRestart(const ConnectionOptions& options, Output& out) {
    ConnectionSettings stored;
    ConnectionInput input;
    if (const int code = PrepareConnection(options, stored, input, out)) return code;
    ModuleConnection connection(stored);
    if (!connection.Open(input, out)) return kExitConnection;
    const RestartOutcome restart = RestartZarizeni(connection.Settings(), {});
    for (std::size_t i = 0; i + 1 < restart.texts.size(); ++i)
        out.Report(WithoutStatusBlank(restart.texts[i]));
    if (!restart.texts.empty()) out.Print(WithoutStatusBlank(restart.texts.back()));
    return restart.sent ? kExitOk : kExitConnection;
}

}  // namespace kv::cli
