#pragma once

// Keeps the state file up to date off the request path. Writing the file safely (temporary
// file, fsync, rename, fsync of the folder) costs far more than a whole exchange on the
// loopback network, and the module would otherwise make every verified block write wait
// for the disk. The module acknowledges a store once the block is in memory; this writer
// puts the newest state on disk soon after.
//
// A store after a quiet spell is written at once. Stores that keep coming are written at
// most once per interval, always the newest state: a burst of block writes costs one or
// two file writes, not one each, and does not compete with the requests for the CPU. A
// crash can lose the stores acknowledged within the last interval, never leave a
// half-written file; stopping (the destructor) and Flush write everything without waiting
// for the interval.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "emulator/StateFile.h"

namespace kv::emu {

class StateWriter {
  public:
    static constexpr std::chrono::milliseconds kDefaultInterval{25};

    explicit StateWriter(std::string path, std::chrono::milliseconds interval = kDefaultInterval);
    // Writes what is still pending, then stops.
    ~StateWriter();
    StateWriter(const StateWriter&) = delete;
    StateWriter& operator=(const StateWriter&) = delete;

    // Only the newest state counts: a state submitted while an older one waits replaces it.
    void Submit(const ModuleState& state);
    // Returns once everything submitted so far has been written (or has failed), without
    // waiting for the interval. True when the last write succeeded.
    bool Flush();
    // How many times the file has been written (or a write tried) so far.
    std::uint64_t Writes();

  private:
    using Clock = std::chrono::steady_clock;

    void Loop();

    const std::string path_;
    const std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<ModuleState> pending_;
    // The writer sleeps on wake_ either for work or for the rest of the interval; a
    // Submit wakes it only in the first case, so a burst of stores costs no wake-ups.
    bool waitingForWork_ = false;
    bool writing_ = false;
    bool stop_ = false;
    bool lastOk_ = true;
    int flushWaiters_ = 0;
    Clock::time_point nextWrite_{};
    std::uint64_t writes_ = 0;
    std::thread thread_;
};

}  // namespace kv::emu
