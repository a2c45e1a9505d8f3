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
            kv::ConnectionInput input;
            input.kindPosition = kind;
            input.firstText = "127.0.0.2";
            input.secondText = "56565";
            const kv::ConnectionInput before = input;
            if (const auto error = kv::cli::ApplyTarget(target, input)) {
                Check(!error->empty());
                continue;
            }
            switch (kind) {
                case 1:
                case 6:
                case 7:
                    Check(!kv::cli::IpAddressError(input.firstText).has_value());
                    Check(!kv::cli::WholeNumberError(input.secondText, 0, 65535).has_value());
                    Check(target == input.firstText ||
                          target == input.firstText + ":" + input.secondText);
                    break;
                case 0:
                    Check(input.secondText == target && input.detectionPosition == 1);
                    Check(target.size() == 8);
                    break;
                case 2:
                    Check(!kv::cli::WholeNumberError(input.firstText, 1, 255).has_value());
                    break;
                case 3:
                    Check(input.firstText.size() == 4);
                    break;
                default:
                    Check(false);  // kinds 4 and 5 have one module, never a target
            }
            Check(input.kindPosition == before.kindPosition);
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
