// Any text as a list of targets, from --targets or from a file: the entries are never
// empty and hold no separator, and an entry each kind takes names one module in the form
// of the option it stands for.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CliConnection.h"
#include "cli/CommandLine.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> listed = kv::cli::SplitTargets(text);
    const std::vector<std::string> filed = kv::cli::TargetsInFile(text);
    // A list without comments or a mark reads the same either way.
    if (text.find('#') == std::string::npos && text.rfind("\xEF\xBB\xBF", 0) != 0)
        Check(listed == filed);
    for (const std::vector<std::string>* targets : {&listed, &filed}) {
        for (const std::string& target : *targets) {
            Check(!target.empty());
            Check(target.find_first_of(", \t\r\n") == std::string::npos);
        }
    }
    for (const std::string& target : filed) Check(target.find('#') == std::string::npos);

    for (int kind = 0; kind < 8; ++kind) {
        for (const std::string& target : filed) {
            kv::ConnectionRequest input;
            input.kind = static_cast<std::uint8_t>(kind);
            input.values[0].text = "127.0.0.2";
            input.values[1].number = 56565;
            const kv::ConnectionRequest before = input;
            if (const auto error = kv::cli::ApplyTarget(target, input)) {
                Check(!error->empty());
                continue;
            }
            const auto& first = input.values[0];
            const auto& second = input.values[1];
            switch (kind) {
                case 1:
                case 6:
                case 7: {
                    Check(!kv::cli::IpAddressError(first.text).has_value());
                    Check(second.number && *second.number >= 0 && *second.number <= 65535);
                    const std::string port = std::to_string(*second.number);
                    Check(target == first.text || target == first.text + ":" + port ||
                          target.substr(0, target.rfind(':')) == first.text);
                    break;
                }
                case 0:
                    Check(second.text == target && first.number == 1);
                    Check(target.size() == 8);
                    break;
                case 2:
                    Check(first.number && *first.number >= 1 && *first.number <= 255);
                    break;
                case 3:
                    Check(target.size() == 4 && first.number && *first.number <= 0xFFF);
                    break;
                default:
                    Check(false);  // kinds 4 and 5 have one module, never a target
            }
            Check(input.kind == before.kind);
        }
    }
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    for (const std::string seed :
         {"127.0.0.2,127.0.0.3:40000 127.0.0.4", "\xEF\xBB\xBF# moduly\r\n127.0.0.5:1 # hala\r\n",
          "E2E00001\nE2E00002", "3,4,255", "2A0h 300h", "10.1.2.3:56565,,\t10.1.2.4"})
        out->emplace_back(seed.begin(), seed.end());
    return out->size();
}
