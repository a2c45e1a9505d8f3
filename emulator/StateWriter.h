#pragma once

// Keeps the state file up to date off the request path. Writing the file safely (temporary
// file, fsync, rename, fsync of the folder) costs far more than a whole exchange on the
// loopback network, and the module would otherwise make every verified block write wait
// for the disk. The module acknowledges a store once the block is in memory; this writer
// puts the newest state on disk right after. A crash can lose a store acknowledged within
// the last moment, never leave a half-written file.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "emulator/StateFile.h"

namespace kv::emu {

class StateWriter {
public:
    explicit StateWriter(std::string path);
    // Writes what is still pending, then stops.
    ~StateWriter();
    StateWriter(const StateWriter&) = delete;
    StateWriter& operator=(const StateWriter&) = delete;

    // Only the newest state counts: a state submitted while an older one waits replaces it.
    void Submit(const ModuleState& state);
    // Returns once everything submitted so far has been written (or has failed).
    // True when the last write succeeded.
    bool Flush();

private:
    void Loop();

    const std::string path_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<ModuleState> pending_;
    bool writing_ = false;
    bool stop_ = false;
    bool lastOk_ = true;
    std::thread thread_;
};

}  // namespace kv::emu
