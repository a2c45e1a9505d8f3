#include "emulator/StateWriter.h"

#include <signal.h>

#include <cstdio>

namespace kv::emu {

StateWriter::StateWriter(std::string path) : path_(std::move(path)) {
    thread_ = std::thread([this] { Loop(); });
}

StateWriter::~StateWriter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void StateWriter::Submit(const ModuleState& state) {
    {
        std::lock_guard lock(mutex_);
        pending_ = state;
    }
    wake_.notify_all();
}

bool StateWriter::Flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !pending_ && !writing_; });
    return lastOk_;
}

void StateWriter::Loop() {
    // The emulator takes SIGINT and SIGTERM through a signalfd, which works only while
    // every thread blocks them; this one must not be picked to die of them instead.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);

    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stop_; });
        if (!pending_) break;  // stopping with nothing left to write
        ModuleState state = std::move(*pending_);
        pending_.reset();
        writing_ = true;
        lock.unlock();
        std::string error;
        const bool ok = SaveState(path_, state, &error);
        if (!ok) std::fprintf(stderr, "kv3380u-emulator: block not kept on disk: %s\n", error.c_str());
        lock.lock();
        writing_ = false;
        lastOk_ = ok;
        idle_.notify_all();
    }
    idle_.notify_all();
}

}  // namespace kv::emu
