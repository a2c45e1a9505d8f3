#include "connection/ConnectionWorker.h"

#include <utility>

namespace kv {

ConnectionWorker::~ConnectionWorker() {
    Finish();
}

void ConnectionWorker::Post(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        // While Finish waits, the ending thread still runs what comes.
        if (!thread_.joinable() && !ending_) thread_ = std::thread([this] { Run(); });
    }
    changed_.notify_all();
}

bool ConnectionWorker::Idle() const {
    std::lock_guard lock(mutex_);
    return jobs_.empty() && !running_;
}

bool ConnectionWorker::WaitUntilIdle(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return jobs_.empty() && !running_; });
}

void ConnectionWorker::Finish() {
    std::thread ending;
    {
        std::lock_guard lock(mutex_);
        if (thread_.joinable()) {
            jobs_.push_back([](Connection& connection) { connection.Close(); });
            ending_ = true;
            ending = std::move(thread_);
        }
    }
    changed_.notify_all();
    if (ending.joinable()) {
        ending.join();
        std::lock_guard lock(mutex_);
        ending_ = false;
        return;
    }
    // No thread ever ran, or it has ended: the connection is this thread's to close.
    connection_.Close();
}

void ConnectionWorker::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !jobs_.empty() || ending_; });
        if (jobs_.empty()) break;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        // A job that throws (memory ran out) must not take the windows' connection with
        // it: the next job still runs.
        try {
            job(connection_);
        } catch (...) {
        }
        job = nullptr;
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}

}  // namespace kv
