// kv3380u: the command-line companion of W_KV3380U for backups, cloning and monitoring.
// Commands and options are read here (CLI11); everything they do is the core's.

#include <CLI/CLI.hpp>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Version.h"
#include "cli/BlockSettings.h"
#include "cli/Commands.h"
#include "cli/TextLayout.h"
#include "platform/Console.h"

namespace {

using namespace kv::cli;

bool StopRequested() {
    return kv::platform::StopRequests() != 0;
}

RunControl Control() {
    RunControl control;
    control.stopRequested = StopRequested;
    control.wait = [](std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (!StopRequested()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= end) return true;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                end - now, std::chrono::milliseconds(20)));
        }
        return false;
    };
    return control;
}

// Results on stdout, messages on stderr, each line flushed at once (monitoring scripts
// read the JSON lines as they come); a progress bar only where stdout is a terminal.
class ConsoleOutput : public Output {
  public:
    ConsoleOutput() : terminal_(kv::platform::OutputIsTerminal()) {}

    bool Terminal() const { return terminal_; }

    void Print(const std::string& line) override {
        Clear();
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        // A reader that went away (diag --json | head -1) ends the command like Ctrl+C,
        // with its connection closed on the way out.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) kv::platform::RequestStop();
        Redraw();
    }
    void Report(const std::string& line) override {
        Clear();
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
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
    void Clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stdout);
        std::fflush(stdout);
        shown_ = false;
    }
    void Redraw() {
        if (bar_.empty()) return;
        std::fputs(("\r\033[K" + bar_).c_str(), stdout);
        std::fflush(stdout);
        shown_ = true;
    }

    bool terminal_;
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

CLI::Validator WholeNumber(long low, long high) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            try {
                std::size_t used = 0;
                const long value = std::stol(text, &used, 10);
                if (used == text.size() && value >= low && value <= high) return {};
            } catch (const std::exception&) {
            }
            return "musí být celé číslo od " + std::to_string(low) + " do " + std::to_string(high);
        },
        "", "");
}

CLI::Validator BlockName() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (SectionByName(text) != nullptr) return {};
            return "neznámý blok „" + text + "“; známé jsou " + SectionNameList();
        },
        "", "");
}

void AddConnectionOptions(CLI::App* command, ConnectionOptions& c) {
    const std::string group = "Připojení (jinak podle uloženého nastavení programu W_KV3380U)";
    command
        ->add_option("--settings", c.settingsFile,
                     "soubor nastavení W_kv3380u.ini, ze kterého se připojení čte")
        ->option_text("SOUBOR")
        ->group(group);
    command->add_option("--kind", c.kind, "rozhraní: " + KindNameList())
        ->option_text("ROZHRANÍ")
        ->group(group);
    command->add_option("--address", c.address, "adresa připojeného modulu (RS-485)")
        ->option_text("ADRESA")
        ->group(group);
    command->add_option("--speed", c.speed, "komunikační rychlost v Bd (600 až 115200)")
        ->option_text("BD")
        ->group(group);
    command->add_option("--ip", c.ip, "IP adresa modulu (rozhraní 1, 6, 7)")
        ->option_text("IP")
        ->group(group);
    command->add_option("--port", c.port, "cílový / UDP port (rozhraní 1, 6, 7)")
        ->option_text("PORT")
        ->group(group);
    command->add_option("--timeout", c.timeout, "timeout v ms (rozhraní 0, 1, 6, 7)")
        ->option_text("MS")
        ->group(group);
    command->add_option("--serial", c.serial, "výrobní číslo zařízení USB (rozhraní 0)")
        ->option_text("ČÍSLO")
        ->group(group);
    command
        ->add_option("--detection", c.detection,
                     "detekce zařízení USB: 0 první nalezené, 1 podle výrobního čísla")
        ->option_text("0|1")
        ->group(group);
    command->add_option("--com", c.com, "číslo portu COMx (rozhraní 2)")
        ->option_text("N")
        ->group(group);
    command->add_option("--base", c.base, "bázová adresa PCI-380, např. 300h (rozhraní 3)")
        ->option_text("ADRESA")
        ->group(group);
}

// CLI11 lines its columns up by bytes; Czech captions need characters.
class CzechFormatter : public CLI::Formatter {
  public:
    std::string make_option(const CLI::Option* opt, bool is_positional) const override {
        return Row(make_option_name(opt, is_positional) + make_option_opts(opt),
                   make_option_desc(opt));
    }
    std::string make_subcommand(const CLI::App* sub) const override {
        return Row(sub->get_display_name(true), sub->get_description());
    }

  private:
    std::string Row(const std::string& name, const std::string& description) const {
        std::string line = "  " + name;
        if (TextWidth(line) + 1 > get_column_width()) {
            line += "\n" + std::string(get_column_width(), ' ');
        } else {
            line = PadRight(line, get_column_width());
        }
        return line + description + "\n";
    }
};

// CLI11's own texts are English; the ones a user meets are said in Czech here.
std::string CzechUsageError(const CLI::ParseError& error) {
    const std::string what = error.what();
    auto after = [&](const std::string& marker) {
        const auto at = what.find(marker);
        return at == std::string::npos ? what : what.substr(at + marker.size());
    };
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr)
        return "nečekaný argument: " + after("expected: ");
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        if (what.find("subcommand") != std::string::npos)
            return "chybí příkaz: identify, backup, restore, diag nebo restart";
        const auto at = what.find(" is required");
        return "chybí povinný argument " + (at == std::string::npos ? what : what.substr(0, at));
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const auto colon = what.find(':');
        return "volba " + (colon == std::string::npos ? what : what.substr(0, colon)) +
               " potřebuje hodnotu";
    }
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) return what;
    return "chybné použití: " + what;
}

bool ReadTargetFile(const std::string& path, std::vector<std::string>& targets, Output& out) {
    // The name is UTF-8; Windows opens it by its UTF-16 form.
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())));
    if (!in) {
        out.Report(path + ": soubor cílů nelze přečíst");
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        const auto hash = line.find('#');
        for (const std::string& target : SplitTargets(line.substr(0, hash)))
            targets.push_back(target);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    kv::platform::PrepareConsole();
    // UTF-8 words, also where the system hands main() another code page (Windows).
    std::vector<std::string> arguments = kv::platform::Utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& argument : arguments) utf8Argv.push_back(argument.data());
    utf8Argv.push_back(nullptr);
    argv = utf8Argv.data();
    ConsoleOutput out;
    try {
        CLI::App app("kv3380u " + std::string(kv::kProgramVersion) +
                         ": zálohy, klonování a sledování modulů KV-3380U z příkazové řádky",
                     "kv3380u");
        auto formatter = std::make_shared<CzechFormatter>();
        app.formatter(formatter);
        formatter->label("Usage", "Použití");
        formatter->label("OPTIONS", "VOLBY");
        formatter->label("SUBCOMMAND", "PŘÍKAZ");
        formatter->label("SUBCOMMANDS", "PŘÍKAZY");
        formatter->label("Positionals", "Argumenty");
        formatter->label("REQUIRED", "(povinné)");
        formatter->column_width(36);
        app.option_defaults()->group("Volby");
        app.set_help_flag("-h,--help", "vypíše nápovědu a skončí");
        app.set_version_flag("--version", "kv3380u " + std::string(kv::kProgramVersion),
                             "vypíše verzi a skončí");
        app.require_subcommand(1);
        app.footer(
            "Nápověda k příkazu: kv3380u PŘÍKAZ --help\n"
            "\n"
            "Návratové kódy:\n" +
            ExitCodeTable() +
            "\n\n"
            "Příklady:\n"
            "  kv3380u identify\n"
            "  kv3380u backup modul.ini --kind \"LAN QUDP\" --ip 10.1.2.3 --port 56565\n"
            "  kv3380u restore modul.ini --only vlan1,vlan2 --dry-run\n"
            "  kv3380u restore vzor.ini --targets 10.1.2.3,10.1.2.4:56565\n"
            "  kv3380u diag --vlan 2 --interval 500 --count 10 --json\n");

        ConnectionOptions connection;
        BackupOptions backup;
        RestoreOptions restore;
        std::string targets;
        DiagOptions diag;
        std::string vlan = "1", interval = "1000", count;

        CLI::App* identify =
            app.add_subcommand("identify", "připojí se k modulu a vypíše jeho identifikaci");
        CLI::App* backupCommand = app.add_subcommand(
            "backup", "uloží konfigurační bloky 250 až 254 do textového souboru (INI v UTF-8)");
        CLI::App* restoreCommand = app.add_subcommand(
            "restore", "zkontroluje hodnoty ze zálohy, ukáže změny a zapíše změněné bloky");
        CLI::App* diagCommand =
            app.add_subcommand("diag", "sleduje diagnostiku modulu jako okno Diagnostika");
        CLI::App* restart = app.add_subcommand("restart", "restartuje modul");
        restoreCommand->footer(
            "Cíle pro --targets, oddělené čárkou, nebo @SOUBOR s cíli na řádcích:\n"
            "  IP nebo IP:PORT   rozhraní 1 (LAN QUDP), 6 (KV-3380), 7 (LAN)\n"
            "  výrobní číslo     rozhraní 0 (USBVx), zařízení podle výrobního čísla\n"
            "  číslo portu       rozhraní 2 (COMx); bázová adresa pro rozhraní 3 (PCI-380)\n"
            "Ostatní parametry připojení platí pro všechny cíle. Blok network (vlastní IP\n"
            "adresa modulu) se při klonování vynechá, pokud jej nejmenuje --only. Selhání\n"
            "jednoho modulu nezastaví ostatní; návratový kód je nejvyšší z kódů modulů.\n"
            "\n");
        for (CLI::App* command : {identify, backupCommand, restoreCommand, diagCommand, restart}) {
            command->group("Příkazy");
            // Made again, so that it joins the other options under the Czech heading.
            command->set_help_flag("-h,--help", "vypíše nápovědu a skončí");
            command->footer(command->get_footer() + "Návratové kódy:\n" + ExitCodeTable());
            AddConnectionOptions(command, connection);
        }

        backupCommand
            ->add_option("SOUBOR", backup.file,
                         "soubor zálohy; - vypíše zálohu na standardní výstup")
            ->type_name("")
            ->required();
        restoreCommand
            ->add_option("SOUBOR", restore.file, "soubor zálohy; - ji čte ze standardního vstupu")
            ->type_name("")
            ->required();
        restoreCommand
            ->add_option("--only", restore.only,
                         "jen tyto bloky, oddělené čárkou: " + SectionNameList())
            ->delimiter(',')
            ->option_text("SEZNAM")
            ->check(BlockName());
        restoreCommand->add_flag("-n,--dry-run", restore.dryRun,
                                 "jen ukáže, co by se změnilo; nic nezapíše");
        restoreCommand
            ->add_option("--targets", targets,
                         "zapíše totéž do více modulů po sobě (cíle viz níže)")
            ->option_text("SEZNAM");
        diagCommand->add_option("--vlan", vlan, "rozhraní VLAN 1, 2 nebo 3 (výchozí 1)")
            ->option_text("N")
            ->check(WholeNumber(1, 3));
        diagCommand
            ->add_option("--interval", interval,
                         "ms od konce jednoho čtení do začátku dalšího, nejméně 100 (výchozí 1000)")
            ->option_text("MS")
            ->check(WholeNumber(kMinimumIntervalMs, 86'400'000));
        diagCommand->add_option("--count", count, "počet čtení; bez něj do Ctrl+C")
            ->option_text("N")
            ->check(WholeNumber(1, 2'000'000'000));
        diagCommand->add_flag("--json", diag.json,
                              "jeden objekt JSON na řádek za každé čtení (pro skripty)");

        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp& e) {
            return app.exit(e);
        } catch (const CLI::CallForAllHelp& e) {
            return app.exit(e);
        } catch (const CLI::CallForVersion& e) {
            return app.exit(e);
        } catch (const CLI::ParseError& e) {
            std::string text = CzechUsageError(e);
            // A word that is no command reads to CLI11 as a missing one.
            if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && argc > 1 &&
                argv[1][0] != '-')
                text = "neznámý příkaz „" + std::string(argv[1]) +
                       "“; příkazy jsou identify, backup, restore, diag a restart";
            out.Report("kv3380u: " + text);
            out.Report("Nápověda: kv3380u --help");
            return kExitUsage;
        }

        // Ctrl+C or SIGTERM ends a command at its next step (a refresh, a block, a
        // module) with the connection closed; a second one ends the program at once.
        kv::platform::CatchStopRequests(true);
        const RunControl control = Control();
        if (*identify) return RunIdentify(connection, out);
        if (*backupCommand) return RunBackup(connection, backup, out, control);
        if (*restoreCommand) {
            if (!targets.empty()) {
                if (targets.front() == '@') {
                    if (!ReadTargetFile(targets.substr(1), restore.targets, out))
                        return kExitRefused;
                } else {
                    restore.targets = SplitTargets(targets);
                }
                if (restore.targets.empty()) {
                    out.Report("kv3380u: --targets nejmenuje žádný modul");
                    return kExitUsage;
                }
            }
            return RunRestore(connection, restore, out, control);
        }
        if (*diagCommand) {
            diag.vlan = std::stoi(vlan);
            diag.intervalMs = std::stol(interval);
            if (!count.empty()) diag.count = std::stol(count);
            diag.decimalSeparator = LocaleDecimalSeparator();
            diag.colour = out.Terminal() && !diag.json;
            diag.redraw = out.Terminal() && !diag.json;
            return RunDiag(connection, diag, out, control);
        }
        if (*restart) return RunRestart(connection, out);
        return kExitUsage;
    } catch (const std::exception& e) {
        out.Report(std::string("kv3380u: vnitřní chyba: ") + e.what());
        return kExitInternal;
    }
}
