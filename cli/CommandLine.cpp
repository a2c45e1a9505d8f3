#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <memory>

#include "backup/BlockSettings.h"
#include "cli/TextLayout.h"
#include "core/KindParameters.h"
#include "core/Version.h"
#include "platform/FileAccess.h"
#include "platform/IniFile.h"

namespace kv::cli {
namespace {

constexpr const char* kProgram = "kv3380u";

// One option: its names for the help and for reading, and where its value goes.
struct OptionSpec {
    const char* names;      // CLI11's form: "-n,--dry-run"
    const char* valueName;  // nullptr: a switch without a value
    std::string description;
    const char* group;  // nullptr: the command's own options
    std::function<void(CommandLine&, const std::string&)> store;
    // The text of what is wrong with a value, judged once everything is read.
    std::function<std::optional<std::string>(const std::string&)> check;
};

struct CommandSpec {
    Command command;
    const char* name;
    const char* description;
    const char* fileArgument;  // nullptr: no argument
    std::string fileHelp;
    std::string missingFile;
    std::string footer;
    std::vector<OptionSpec> options;
};

constexpr const char* kConnectionGroup =
    "Připojení (jinak podle uloženého nastavení programu W_KV3380U)";

std::optional<std::string> Range(const std::string& value, std::int32_t low, std::int32_t high) {
    return WholeNumberError(value, low, high);
}

// " (rozhraní 1, 6, 7)": the kinds that have a parameter of the role.
std::string ForKinds(ParameterRole role) {
    std::string kinds;
    for (const KindParameter& p : AllKindParameters())
        if (p.role == role) kinds += (kinds.empty() ? "" : ", ") + std::to_string(p.kind);
    return " (rozhraní " + kinds + ")";
}

std::vector<OptionSpec> ConnectionSpecs() {
    auto text = [](std::optional<std::string> ConnectionOptions::*field) {
        return [field](CommandLine& line, const std::string& value) {
            line.connection.*field = value;
        };
    };
    const char* g = kConnectionGroup;
    return {
        {"--settings", "SOUBOR", "soubor nastavení W_kv3380u.ini, ze kterého se připojení čte", g,
         [](CommandLine& line, const std::string& value) { line.connection.settingsFile = value; },
         [](const std::string& value) -> std::optional<std::string> {
             if (value.empty()) return "chybí název souboru";
             return std::nullopt;
         }},
        {"--kind",
         "ROZHRANÍ",
         "rozhraní: " + KindNameList(),
         g,
         text(&ConnectionOptions::kind),
         {}},
        {"--address",
         "ADRESA",
         "adresa připojeného modulu (RS-485)",
         g,
         text(&ConnectionOptions::address),
         {}},
        {"--speed",
         "BD",
         "komunikační rychlost v Bd (600 až 115200)",
         g,
         text(&ConnectionOptions::speed),
         {}},
        {"--ip",
         "IP",
         "IP adresa modulu" + ForKinds(ParameterRole::kIpAddress),
         g,
         text(&ConnectionOptions::ip),
         {}},
        {"--port",
         "PORT",
         "cílový / UDP port" + ForKinds(ParameterRole::kPort),
         g,
         text(&ConnectionOptions::port),
         {}},
        {"--timeout",
         "MS",
         "timeout v ms" + ForKinds(ParameterRole::kTimeout),
         g,
         text(&ConnectionOptions::timeout),
         {}},
        {"--serial",
         "ČÍSLO",
         "výrobní číslo zařízení USB" + ForKinds(ParameterRole::kSerial),
         g,
         text(&ConnectionOptions::serial),
         {}},
        {"--detection",
         "0|1",
         "detekce zařízení USB: 0 první nalezené, 1 podle výrobního čísla",
         g,
         text(&ConnectionOptions::detection),
         {}},
        {"--com",
         "N",
         "číslo portu COMx" + ForKinds(ParameterRole::kComPort),
         g,
         text(&ConnectionOptions::com),
         {}},
        {"--base",
         "ADRESA",
         "bázová adresa PCI-380, např. 300h" + ForKinds(ParameterRole::kBaseAddress),
         g,
         text(&ConnectionOptions::base),
         {}},
    };
}

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto comma = list.find(',', start);
        parts.push_back(list.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

OptionSpec TargetsSpec(const char* description) {
    return {"--targets",
            "SEZNAM",
            description,
            nullptr,
            [](CommandLine& line, const std::string& value) { line.targets = value; },
            [](const std::string& value) -> std::optional<std::string> {
                if (value == "@") return "za @ chybí název souboru s cíli";
                if (!value.empty() && value.front() == '@') return std::nullopt;
                if (SplitTargets(value).empty()) return "seznam cílů je prázdný";
                return std::nullopt;
            }};
}

OptionSpec JobsSpec() {
    return {"--jobs",
            "N",
            "s --targets: kolik modulů najednou, 1 až " + std::to_string(kMaxJobs) + " (výchozí " +
                std::to_string(kDefaultJobs) + "; 1 = po jednom)",
            nullptr,
            [](CommandLine& line, const std::string& value) {
                line.jobs = static_cast<std::size_t>(StrictNumber(value).value_or(kDefaultJobs));
            },
            [](const std::string& value) {
                return Range(value, 1, static_cast<std::int32_t>(kMaxJobs));
            }};
}

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = [] {
        const std::string targetsHelp =
            "Cíle pro --targets, oddělené čárkou, nebo @SOUBOR s cíli na řádcích:\n"
            "  IP nebo IP:PORT   rozhraní 1 (LAN QUDP), 6 (KV-3380), 7 (LAN)\n"
            "  výrobní číslo     rozhraní 0 (USBVx), zařízení podle výrobního čísla\n"
            "  číslo portu       rozhraní 2 (COMx); bázová adresa pro rozhraní 3 (PCI-380)\n"
            "Ostatní parametry připojení platí pro všechny cíle. Selhání jednoho modulu\n"
            "nezastaví ostatní; návratový kód je nejvyšší z kódů modulů. Moduly se\n"
            "zpracují po --jobs najednou; výstup jde v pořadí seznamu. Cíl uvedený\n"
            "v seznamu dvakrát je chyba použití (2).\n"
            "\n";
        // Only a clone leaves a block out.
        const std::string cloneHelp =
            "Blok network (vlastní IP adresa modulu) se při klonování vynechá, pokud jej\n"
            "nejmenuje --only.\n" +
            targetsHelp;
        std::vector<CommandSpec> list = {
            {Command::kIdentify,
             "identify",
             "připojí se k modulu a vypíše jeho identifikaci",
             nullptr,
             "",
             "",
             targetsHelp,
             {TargetsSpec("identifikuje více modulů (cíle viz níže)"), JobsSpec()}},
            {Command::kBackup,
             "backup",
             "uloží konfigurační bloky 250 až 254 do textového souboru (INI v UTF-8)",
             "SOUBOR",
             "soubor zálohy (- standardní výstup); s --targets složka, soubor za každý cíl",
             "chybí soubor, do kterého se záloha uloží (SOUBOR; - pro standardní výstup)",
             targetsHelp,
             {TargetsSpec("zálohuje více modulů do složky SOUBOR (cíle viz níže)"), JobsSpec()}},
            {Command::kRestore,
             "restore",
             "zkontroluje hodnoty ze zálohy, ukáže změny a zapíše změněné bloky",
             "SOUBOR",
             "soubor zálohy; - ji čte ze standardního vstupu",
             "chybí soubor zálohy, ze kterého se obnovuje (SOUBOR; - pro standardní vstup)",
             cloneHelp,
             {{"--only", "SEZNAM", "jen tyto bloky, oddělené čárkou: " + SectionNameList(), nullptr,
               [](CommandLine& line, const std::string& value) {
                   line.restore.only = SplitList(value);
               },
               [](const std::string& value) -> std::optional<std::string> {
                   if (value.empty()) return "seznam bloků je prázdný";
                   for (const std::string& name : SplitList(value))
                       if (SectionByName(name) == nullptr)
                           return "neznámý blok „" + name + "“; známé jsou " + SectionNameList();
                   return std::nullopt;
               }},
              {"-n,--dry-run",
               nullptr,
               "jen ukáže, co by se změnilo; nic nezapíše",
               nullptr,
               [](CommandLine& line, const std::string&) { line.restore.dryRun = true; },
               {}},
              {"--allow-lockout",
               nullptr,
               "zapíše i to, co by odřízlo cestu k modulu přes LAN (vzdálená správa "
               "zakázána, VLAN na portu vzdálené správy)",
               nullptr,
               [](CommandLine& line, const std::string&) { line.restore.allowLockout = true; },
               {}},
              {"--other-module",
               nullptr,
               "zapíše blok network i do modulu s jiným výrobním číslem, než má záloha",
               nullptr,
               [](CommandLine& line, const std::string&) { line.restore.otherModule = true; },
               {}},
              TargetsSpec("zapíše totéž do více modulů (cíle viz níže)"),
              JobsSpec()}},
            {Command::kDiag,
             "diag",
             "sleduje diagnostiku modulu jako okno Diagnostika",
             nullptr,
             "",
             "",
             "",
             {{"--vlan", "N", "rozhraní VLAN 1, 2 nebo 3 (výchozí 1)", nullptr,
               [](CommandLine& line, const std::string& value) {
                   line.diag.vlan = Vlan::FromNumber(StrictNumber(value).value_or(1));
               },
               [](const std::string& value) { return Range(value, 1, 3); }},
              {"--interval", "MS",
               "ms od konce jednoho čtení do začátku dalšího, nejméně 100 (výchozí 1000)", nullptr,
               [](CommandLine& line, const std::string& value) {
                   line.diag.intervalMs = StrictNumber(value).value_or(1000);
               },
               [](const std::string& value) {
                   return Range(value, static_cast<std::int32_t>(kMinimumIntervalMs), 86'400'000);
               }},
              {"--count", "N", "počet čtení; bez něj do Ctrl+C", nullptr,
               [](CommandLine& line, const std::string& value) {
                   line.diag.count = StrictNumber(value).value_or(1);
               },
               [](const std::string& value) { return Range(value, 1, 2'000'000'000); }},
              {"--json",
               nullptr,
               "jeden objekt JSON na řádek za každé čtení (pro skripty)",
               nullptr,
               [](CommandLine& line, const std::string&) { line.diag.json = true; },
               {}}}},
            {Command::kRestart, "restart", "restartuje modul", nullptr, "", "", "", {}},
            {Command::kExporter,
             "exporter",
             "exportér pro Prometheus: /probe?target=CÍL odpoví stav modulu CÍL",
             nullptr,
             "",
             "",
             ExporterHelp(),
             {{"--listen", "[ADRESA:]PORT",
               "kde naslouchat (výchozí " + std::string(kDefaultListen) +
                   "; bez adresy jen loopback 127.0.0.1)",
               nullptr,
               [](CommandLine& line, const std::string& value) { line.exporter.listen = value; },
               [](const std::string& value) { return ListenAddressError(value); }},
              {"--web.config.file", "SOUBOR",
               "TLS a uživatelé (tls_server_config, basic_auth_users) ve formátu exportérů "
               "Prometheus",
               nullptr,
               [](CommandLine& line, const std::string& value) {
                   line.exporter.webConfigFile = value;
               },
               [](const std::string& value) -> std::optional<std::string> {
                   if (value.empty()) return "chybí název souboru";
                   return std::nullopt;
               }},
              {"--allow", "SÍTĚ",
               "jen moduly v těchto sítích, oddělených čárkou (10.1.0.0/16,10.2.3.4)", nullptr,
               [](CommandLine& line, const std::string& value) {
                   line.exporter.allow = AllowList(value);
               },
               [](const std::string& value) { return AllowListError(value); }}}},
        };
        for (CommandSpec& command : list)
            for (OptionSpec& option : ConnectionSpecs()) command.options.push_back(option);
        return list;
    }();
    return commands;
}

// A command this build offers: the exporter only where its server is built.
bool Offered(const CommandSpec& command) {
    return command.command != Command::kExporter || kExporterBuilt;
}

// "identify, backup, restore, diag, restart a exporter", with "a" or "nebo" before the last.
std::string CommandList(const char* last) {
    std::vector<std::string> names;
    for (const CommandSpec& command : Commands())
        if (Offered(command)) names.emplace_back(command.name);
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0                  ? ""
                 : i + 1 == names.size() ? std::string(" ") + last + " "
                                         : ", ") +
                names[i];
    return list;
}

// The option's long name ("--dry-run") and whether `token` is one of its names.
bool Names(const OptionSpec& option, const std::string& token) {
    const std::string names = option.names;
    for (const std::string& name : SplitList(names))
        if (name == token) return true;
    return false;
}
std::string LongName(const OptionSpec& option) {
    const std::vector<std::string> names = SplitList(option.names);
    return names.back();
}

const OptionSpec* FindOption(const CommandSpec& command, const std::string& name) {
    for (const OptionSpec& option : command.options)
        if (Names(option, name)) return &option;
    return nullptr;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& command : Commands())
        if (command.name == name) return &command;
    return nullptr;
}

bool IsHelp(const std::string& token) {
    return token == "-h" || token == "--help";
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

std::string ExitCodes() {
    return "Návratové kódy:\n" + ExitCodeTable() + "\n";
}

// The help of the program, or of one command.
std::string HelpText(const CommandSpec* shown) {
    CLI::App app(std::string(kProgram) + " " + kv::kProgramVersion +
                     ": zálohy, klonování a sledování modulů KV-3380U z příkazové řádky",
                 kProgram);
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
    app.add_flag("--version")->description("vypíše verzi a skončí");
    app.require_subcommand(1);
    app.footer(
        "Nápověda k příkazu: kv3380u PŘÍKAZ --help\n"
        "\n" +
        ExitCodes() +
        "\n"
        "Příklady:\n"
        "  kv3380u identify\n"
        "  kv3380u backup modul.ini --kind \"LAN QUDP\" --ip 10.1.2.3 --port 56565\n"
        "  kv3380u restore modul.ini --only vlan1,vlan2 --dry-run\n"
        "  kv3380u restore vzor.ini --targets 10.1.2.3,10.1.2.4:56565\n"
        "  kv3380u diag --vlan 2 --interval 500 --count 10 --json");
    for (const CommandSpec& spec : Commands()) {
        if (!Offered(spec) && &spec != shown) continue;
        CLI::App* command = app.add_subcommand(spec.name, spec.description);
        command->group("Příkazy");
        command->set_help_flag("-h,--help", "vypíše nápovědu a skončí");
        // Set, not added to: a command starts with the program's footer.
        command->footer(spec.footer + ExitCodes());
        if (spec.fileArgument != nullptr)
            command->add_option(spec.fileArgument, spec.fileHelp)->type_name("")->required();
        for (const OptionSpec& option : spec.options) {
            CLI::Option* added =
                option.valueName == nullptr
                    ? command->add_flag(option.names)->description(option.description)
                    : command->add_option(option.names, option.description)
                          ->option_text(option.valueName);
            if (option.group != nullptr) added->group(option.group);
        }
        if (&spec == shown) return command->help(kProgram);
    }
    return app.help();
}

ParsedCommandLine Usage(const std::string& mistake, const CommandSpec* command) {
    ParsedCommandLine parsed;
    parsed.result = ParsedCommandLine::Result::kUsage;
    parsed.text = std::string(kProgram) + ": " + mistake + "\nNápověda: " + kProgram +
                  (command != nullptr ? std::string(" ") + command->name : std::string()) +
                  " --help\n";
    return parsed;
}

ParsedCommandLine Show(std::string text) {
    ParsedCommandLine parsed;
    parsed.result = ParsedCommandLine::Result::kShow;
    parsed.text = std::move(text);
    return parsed;
}

bool LooksLikeOption(const std::string& token) {
    return token.size() > 1 && token[0] == '-';
}

// "--name=value" -> "--name"
std::string OptionName(const std::string& token) {
    if (token.rfind("--", 0) != 0) return token;
    return token.substr(0, token.find('='));
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    // The command, and what stands before it: only the program's own options may.
    std::size_t at = 0;
    const CommandSpec* command = nullptr;
    for (; at < args.size() && command == nullptr; ++at) {
        const std::string& token = args[at];
        if (IsHelp(token)) return Show(HelpText(nullptr));
        if (token == "--version")
            return Show(std::string(kProgram) + " " + kv::kProgramVersion + "\n");
        if (LooksLikeOption(token)) {
            const std::string name = OptionName(token);
            const CommandSpec* later = nullptr;
            for (std::size_t k = at + 1; k < args.size() && later == nullptr; ++k)
                later = FindCommand(args[k]);
            bool known = false;
            for (const CommandSpec& spec : Commands()) known = known || FindOption(spec, name);
            if (!known) return Usage("neznámá volba " + name, nullptr);
            return Usage("volba " + name + " patří až za příkaz: " + kProgram + " " +
                             (later != nullptr ? later->name : "PŘÍKAZ") + " " + name + " …",
                         later);
        }
        command = FindCommand(token);
        if (command == nullptr)
            return Usage("neznámý příkaz „" + token + "“; příkazy jsou " + CommandList("a"),
                         nullptr);
    }
    if (command == nullptr) return Usage("chybí příkaz: " + CommandList("nebo"), nullptr);

    // A help anywhere among the command's options wins, as it does for every program.
    for (std::size_t k = at; k < args.size() && args[k] != "--"; ++k)
        if (IsHelp(args[k])) return Show(HelpText(command));

    ParsedCommandLine parsed;
    parsed.result = ParsedCommandLine::Result::kRun;
    CommandLine& line = parsed.line;
    line.command = command->command;
    std::vector<std::string> arguments;
    std::vector<std::pair<const OptionSpec*, std::string>> given;
    bool onlyArguments = false;
    for (std::size_t k = at; k < args.size(); ++k) {
        const std::string& token = args[k];
        if (onlyArguments || !LooksLikeOption(token)) {
            arguments.push_back(token);
            continue;
        }
        if (token == "--") {
            onlyArguments = true;
            continue;
        }
        const std::string name = OptionName(token);
        const OptionSpec* option = FindOption(*command, name);
        if (option == nullptr) {
            bool elsewhere = false;
            for (const CommandSpec& spec : Commands())
                elsewhere = elsewhere || FindOption(spec, name) != nullptr;
            return Usage(elsewhere ? "příkaz " + std::string(command->name) + " nezná volbu " + name
                                   : "neznámá volba " + name,
                         command);
        }
        for (const auto& [earlier, value] : given)
            if (earlier == option)
                return Usage("volba " + LongName(*option) + " je zadána dvakrát", command);
        const bool inlineValue = name.size() < token.size();
        std::string value;
        if (option->valueName == nullptr) {
            if (inlineValue)
                return Usage("volba " + name + " je přepínač a hodnotu nemá (" + token + ")",
                             command);
        } else if (inlineValue) {
            value = token.substr(name.size() + 1);
        } else {
            // The next word is the value, even when it starts with "-" ("--address -1"),
            // unless it is one of the command's options.
            if (k + 1 == args.size() ||
                (args[k + 1].rfind("--", 0) == 0 && FindOption(*command, OptionName(args[k + 1]))))
                return Usage("volba " + name + " potřebuje hodnotu (" + option->valueName + ")",
                             command);
            value = args[++k];
        }
        given.emplace_back(option, value);
    }

    for (const auto& [option, value] : given) {
        if (option->check) {
            if (auto wrong = option->check(value))
                return Usage(LongName(*option) + ": " + *wrong, command);
        }
        option->store(line, value);
    }
    if (auto wrong = ConnectionOptionError(line.connection)) return Usage(*wrong, command);
    for (const auto& [option, value] : given) {
        const std::string name = LongName(*option);
        if (name == "--jobs" && !line.targets)
            return Usage("volba --jobs platí jen s --targets", command);
        // Each target names its module: an address beside them would be left unused.
        for (const char* replaced : {"--ip", "--serial", "--com", "--base"})
            if (name == replaced && line.targets)
                return Usage("volba " + name + " nejde s --targets: modul jmenuje každý cíl",
                             command);
        if (name == "--other-module" && line.targets)
            return Usage(
                "volba --other-module platí jen bez --targets (klon blok network "
                "zapíše, jen když jej jmenuje --only)",
                command);
    }

    const std::size_t expected = command->fileArgument != nullptr ? 1 : 0;
    if (arguments.size() < expected) return Usage(command->missingFile, command);
    if (arguments.size() > expected)
        return Usage(
            "nečekaný argument „" + arguments[expected] + "“" +
                (expected == 1 ? "; příkaz " + std::string(command->name) + " bere jediný soubor"
                               : std::string()),
            command);
    if (expected == 1) {
        if (arguments.front().empty()) return Usage("název souboru je prázdný", command);
        line.backup.file = arguments.front();
        line.restore.file = arguments.front();
    }
    return parsed;
}

const char* CommandName(Command command) {
    for (const CommandSpec& spec : Commands())
        if (spec.command == command) return spec.name;
    return "";
}

std::vector<std::string> TargetsInFile(const std::string& bytes, std::vector<std::size_t>* lines) {
    // Editors on Windows start a UTF-8 file with a byte-order mark.
    const std::string text = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes;
    std::vector<std::string> targets;
    std::size_t start = 0;
    for (std::size_t line = 1; start <= text.size(); ++line) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string entry = text.substr(start, end - start);
        for (const std::string& target : SplitTargets(entry.substr(0, entry.find('#')))) {
            targets.push_back(target);
            if (lines != nullptr) lines->push_back(line);
        }
        start = end + 1;
    }
    return targets;
}

int TargetList(const std::string& option, std::vector<std::string>& targets, std::string& error,
               std::vector<std::string>* places) {
    targets.clear();
    if (places != nullptr) places->clear();
    if (option.empty() || option.front() != '@') {
        targets = SplitTargets(option);
        if (targets.empty()) error = "--targets: seznam cílů je prázdný";
        return targets.empty() ? kExitUsage : kExitOk;
    }
    const std::string path = option.substr(1);
    const platform::FileBytes file = platform::ReadSmallFile(path, platform::IniFile::kMaxFileSize);
    if (file.status != platform::FileBytes::Status::kRead) {
        error = path + ": soubor cílů nelze přečíst: " + file.reason;
        return kExitRefused;
    }
    std::vector<std::size_t> lines;
    targets = TargetsInFile(file.bytes, &lines);
    if (places != nullptr)
        for (std::size_t line : lines) places->push_back(path + ":" + std::to_string(line));
    if (targets.empty()) error = path + ": soubor cílů nejmenuje žádný modul";
    return targets.empty() ? kExitUsage : kExitOk;
}

}  // namespace kv::cli
