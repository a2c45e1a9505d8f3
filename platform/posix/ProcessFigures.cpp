#include "platform/ProcessFigures.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kv::platform {
namespace {

// The system's boot time, seconds since the epoch (/proc/stat's btime).
std::optional<double> BootTime() {
    std::ifstream stat("/proc/stat");
    std::string line;
    while (std::getline(stat, line))
        if (line.rfind("btime ", 0) == 0) return std::stod(line.substr(6));
    return std::nullopt;
}

std::uint64_t OpenDescriptors() {
    std::uint64_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
        // The descriptor of the listing itself.
        if (count > 0) --count;
    }
    return count;
}

}  // namespace

std::optional<ProcessFigures> ReadProcessFigures() {
    std::ifstream file("/proc/self/stat");
    std::string text;
    if (!std::getline(file, text)) return std::nullopt;
    // The command's name stands in parentheses and may hold blanks: the fields follow the
    // last parenthesis, the state being field 3.
    const auto close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream rest(text.substr(close + 2));
    std::vector<std::string> fields = {"", "", ""};
    for (std::string field; rest >> field;) fields.push_back(field);
    // stat(5): utime 14, stime 15, num_threads 20, starttime 22, vsize 23, rss 24.
    if (fields.size() < 25) return std::nullopt;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
    ProcessFigures figures;
    try {
        figures.cpuSeconds = (std::stod(fields[14]) + std::stod(fields[15])) / ticks;
        figures.threads = std::stoull(fields[20]);
        figures.startTimeSeconds = BootTime().value_or(0) + std::stod(fields[22]) / ticks;
        figures.virtualBytes = std::stoull(fields[23]);
        figures.residentBytes = static_cast<std::uint64_t>(std::stod(fields[24]) * page);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    figures.openDescriptors = OpenDescriptors();
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) figures.maxDescriptors = limit.rlim_cur;
    return figures;
}

}  // namespace kv::platform
