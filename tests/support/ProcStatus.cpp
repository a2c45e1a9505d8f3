#include "tests/support/ProcStatus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace kv::testing {

std::optional<std::uint64_t> ProcSignalSet(const std::string& statusFile,
                                           const std::string& field) {
    std::ifstream status(statusFile);
    const std::string prefix = field + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        try {
            return std::stoull(line.substr(prefix.size()), nullptr, 16);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string ProcStatusFile(pid_t pid) {
    return "/proc/" + std::to_string(pid) + "/status";
}

std::string ProcStatusFile(pid_t pid, pid_t tid) {
    return "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/status";
}

std::vector<pid_t> ProcThreads(pid_t pid) {
    std::vector<pid_t> tids;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        try {
            tids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
        } catch (const std::exception&) {
        }
    }
    std::sort(tids.begin(), tids.end());
    return tids;
}

}  // namespace kv::testing
