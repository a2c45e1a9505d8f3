#include "emulator/StateWriter.h"

#include <signal.h>

#include <cstdio>

namespace kv::emu {

StateWriter::StateWriter(std::string path, std::chrono::milliseconds interval)
    : path_(std::move(path)), interval_(interval) {
    // The thread is born with every signal blocked, whatever its creator blocks: the
    // emulator takes SIGINT and SIGTERM through a signalfd, which works only while every
    // thread blocks them, and a thread that blocked them only once it ran could be
    // picked to die of one in the meantime.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    thread_ = std::thread([this] { Loop(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
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
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        pending_ = state;
        wake = waitingForWork_;
    }
    if (wake) wake_.notify_all();
}

bool StateWriter::Flush() {
    std::unique_lock lock(mutex_);
    ++flushWaiters_;
    // Cuts the interval short if the writer is waiting it out.
    wake_.notify_all();
    idle_.wait(lock, [this] { return !pending_ && !writing_; });
    --flushWaiters_;
    return lastOk_;
}

std::uint64_t StateWriter::Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
}

void StateWriter::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        waitingForWork_ = true;
        wake_.wait(lock, [this] { return pending_ || stop_; });
        waitingForWork_ = false;
        if (!pending_) break;  // stopping with nothing left to write
        // Stores arriving meanwhile replace the pending state; only the newest is written.
        wake_.wait_until(lock, nextWrite_, [this] { return stop_ || flushWaiters_ > 0; });
        ModuleState state = std::move(*pending_);
        pending_.reset();
        writing_ = true;
        lock.unlock();
        std::string error;
        const bool ok = SaveState(path_, state, &error);
        if (!ok)
            std::fprintf(stderr, "kv3380u-emulator: block not kept on disk: %s\n", error.c_str());
        lock.lock();
        nextWrite_ = Clock::now() + interval_;
        writing_ = false;
        lastOk_ = ok;
        ++writes_;
        idle_.notify_all();
    }
    idle_.notify_all();
}

}  // namespace kv::emu
