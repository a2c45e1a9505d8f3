// Any command line, as arguments separated by zero bytes: it is run, shown or refused as
// a usage error that names the help, never anything else; and what is run holds only
// values of the right form, so that no connection starts from a wrong one.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/BlockSettings.h"
#include "cli/CommandLine.h"
#include "core/Dekl.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    if (size == 0) args.clear();

    using kv::cli::ParsedCommandLine;
    const ParsedCommandLine parsed = kv::cli::ParseCommandLine(args);
    switch (parsed.result) {
        case ParsedCommandLine::Result::kShow:
            Check(!parsed.text.empty());
            return 0;
        case ParsedCommandLine::Result::kUsage:
            Check(parsed.text.rfind("kv3380u: ", 0) == 0);
            Check(parsed.text.find("\nNápověda: kv3380u ") != std::string::npos);
            Check(EndsWith(parsed.text, " --help\n"));
            return 0;
        case ParsedCommandLine::Result::kRun:
            break;
    }

    const kv::cli::CommandLine& line = parsed.line;
    Check(!kv::cli::ConnectionOptionError(line.connection).has_value());
    if (line.connection.address)
        Check(!kv::cli::WholeNumberError(*line.connection.address, 0, 255).has_value());
    if (line.connection.ip) Check(!kv::cli::IpAddressError(*line.connection.ip).has_value());
    Check(line.diag.vlan.Number() >= 1 && line.diag.vlan.Number() <= 3);
    Check(line.diag.intervalMs >= kv::cli::kMinimumIntervalMs &&
          line.diag.intervalMs <= 86'400'000);
    Check(!line.diag.count || (*line.diag.count >= 1 && *line.diag.count <= 2'000'000'000));
    for (const std::string& name : line.restore.only) Check(kv::SectionByName(name) != nullptr);
    if (line.command == kv::cli::Command::kBackup) Check(!line.backup.file.empty());
    if (line.command == kv::cli::Command::kRestore) Check(!line.restore.file.empty());
    if (line.targets && (line.targets->empty() || line.targets->front() != '@'))
        Check(!kv::cli::SplitTargets(*line.targets).empty());

    // The options over the defaults either make the typed values or are refused for
    // the kind; each target then names one module in its option's form.
    kv::ConnectionSettings stored;
    kv::ConnectionRequest input;
    if (kv::cli::BuildConnectionRequest(stored, line.connection, input)) return 0;
    Check(input.kind < 8);
    if (!line.targets || line.targets->empty() || line.targets->front() == '@') return 0;
    for (const std::string& target : kv::cli::SplitTargets(*line.targets)) {
        kv::ConnectionRequest one = input;
        if (kv::cli::ApplyTarget(target, one)) continue;
        const int kind = one.kind;
        if (kind == 1 || kind == 6 || kind == 7) {
            Check(!kv::cli::IpAddressError(one.values[0].text).has_value());
            Check(one.values[1].number == input.values[1].number ||
                  (one.values[1].number >= 0 && one.values[1].number <= 65535));
        }
        if (kind == 0) Check(one.values[0].number == 1 && one.values[1].text == target);
    }
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    const std::vector<std::vector<std::string>> lines = {
        {"restore", "a.ini", "--kind", "LAN QUDP", "--ip", "127.0.0.2", "--port", "$1388",
         "--targets", "127.0.0.2,127.0.0.3:40000", "--only", "vlan1,network", "-n"},
        {"diag", "--vlan", "2", "--interval", "500", "--count", "10", "--json", "--kind", "7"},
        {"backup", "-", "--kind", "0", "--serial", "E2E00001", "--detection", "1", "--timeout",
         "300"},
        {"identify", "--kind", "3", "--base", "2A0h", "--address", "5", "--speed", "19200"},
        {"restart", "--settings", "W_kv3380u.ini", "--kind", "2", "--com", "3"},
        {"restore", "a.ini", "--kind=0", "--targets", "E2E00001 E2E00002"},
        {"--kind", "1", "identify"},
        {"restore", "--", "-x.ini", "--targets=@t.txt"},
    };
    for (const std::vector<std::string>& line : lines) {
        std::vector<std::uint8_t> bytes;
        for (const std::string& arg : line) {
            if (!bytes.empty()) bytes.push_back(0);
            bytes.insert(bytes.end(), arg.begin(), arg.end());
        }
        out->push_back(bytes);
    }
    return out->size();
}
