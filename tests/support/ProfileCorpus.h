#pragma once

// Settings files and what the Windows profile functions answer about them: the answers
// GetPrivateProfileStringA gave under wine with code page 1250 (a Czech Windows), kept
// here so that every build holds our reader to them, and the wine tests ask the
// functions again.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kv::testing {

struct ProfileQuestion {
    std::string section;  // code page 1250
    std::string key;
    std::optional<std::string> answer;  // nullopt: not there, the default comes back
    std::size_t buffer = 2048;          // characters, as the program hands them over
};

struct ProfileCase {
    std::string name;   // what the case shows
    std::string bytes;  // the file
    std::vector<ProfileQuestion> questions;
};

const std::vector<ProfileCase>& ProfileCorpus();

}  // namespace kv::testing
