#include "tests/support/ExporterProcess.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>

namespace kv::testing {

ExporterProcess::~ExporterProcess() {
    Stop();
}

bool ExporterProcess::Start(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"exporter", "--listen", "127.0.0.1:0"};
    args.insert(args.end(), options.begin(), options.end());
    runner_ = std::thread([this, args] {
        CliRunOptions run;
        run.watch = [this](pid_t pid, const CliOutcome& sofar) {
            const std::string tag = "://127.0.0.1:";
            const auto at = sofar.out.find(tag);
            std::lock_guard lock(mutex_);
            pid_ = pid;
            changed_.notify_all();
            if (at == std::string::npos || sofar.out.find('\n', at) == std::string::npos)
                return false;
            port_ = static_cast<std::uint16_t>(std::atoi(sofar.out.c_str() + at + tag.size()));
            changed_.notify_all();
            return true;
        };
        CliOutcome outcome = RunCli(args, run);
        std::lock_guard lock(mutex_);
        outcome_ = outcome;
        ended_ = true;
        changed_.notify_all();
    });
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(30), [this] { return port_ != 0 || ended_; });
    if (port_ != 0) return true;
    lock.unlock();
    Stop(SIGKILL);
    return false;
}

CliOutcome ExporterProcess::Stop(int signal) {
    if (!runner_.joinable()) return outcome_;
    {
        std::unique_lock lock(mutex_);
        // The pid is known from the first watch, within 50 ms of the start.
        changed_.wait_for(lock, std::chrono::seconds(5), [this] { return pid_ > 0 || ended_; });
        if (!ended_ && pid_ > 0) kill(pid_, signal);
    }
    runner_.join();
    return outcome_;
}

}  // namespace kv::testing
