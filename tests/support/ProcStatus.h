#pragma once

// What /proc tells about a process or one of its threads: their signal sets, and the
// threads a process has.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::testing {

// A signal set from /proc/PID/status or /proc/PID/task/TID/status ("SigBlk" for the
// blocked signals, "SigCgt" for the caught ones); nullopt when the file or the field
// cannot be read (the process has ended).
std::optional<std::uint64_t> ProcSignalSet(const std::string& statusFile, const std::string& field);
// The status file of a process, and of one of its threads.
std::string ProcStatusFile(pid_t pid);
std::string ProcStatusFile(pid_t pid, pid_t tid);
// The ids of the process's threads, the first one included.
std::vector<pid_t> ProcThreads(pid_t pid);

constexpr bool SignalInSet(std::uint64_t set, int signal) {
    return ((set >> (signal - 1)) & 1u) != 0;
}

}  // namespace kv::testing
