#pragma once

// What the system knows of this process, for a monitoring service's own figures (the
// process_* metrics every Prometheus exporter gives): CPU time, memory, descriptors, the
// start time.

#include <cstdint>
#include <optional>

namespace kv::platform {

struct ProcessFigures {
    double cpuSeconds = 0;        // user and system time
    double startTimeSeconds = 0;  // since the Unix epoch
    std::uint64_t residentBytes = 0;
    std::uint64_t virtualBytes = 0;
    std::uint64_t openDescriptors = 0;
    std::uint64_t maxDescriptors = 0;  // the soft limit
    std::uint64_t threads = 0;
};

// Nothing where the system does not tell (the Windows build).
std::optional<ProcessFigures> ReadProcessFigures();

}  // namespace kv::platform
