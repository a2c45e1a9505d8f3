#pragma once

// `kv3380u exporter` as a child process for the tests: it listens on a port the system
// picks on 127.0.0.1, which Start reads from its first line; Stop sends a signal and
// gives back how it ended.

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CliProcess.h"

namespace kv::testing {

class ExporterProcess {
  public:
    ExporterProcess() = default;
    ~ExporterProcess();
    ExporterProcess(const ExporterProcess&) = delete;
    ExporterProcess& operator=(const ExporterProcess&) = delete;

    // `kv3380u exporter --listen 127.0.0.1:0` and the options; false when it did not say
    // where it listens within 30 s (it is stopped then).
    bool Start(const std::vector<std::string>& options);
    std::uint16_t Port() const { return port_; }
    // The signal, then the outcome (its exit code and everything it wrote).
    CliOutcome Stop(int signal = 15);

  private:
    std::thread runner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    bool ended_ = false;
    CliOutcome outcome_;
};

}  // namespace kv::testing
