#pragma once

// The worker of the windows' connection: a thread of its own on which every call of the
// windows into the connection's library runs, one after another in the order the windows
// post them, so that a window's thread never waits for a module. The transport contract
// promises nothing about threads, so once a job has been posted, every call into the
// library (Init, SetConfig, Send, Error, Done) is made on this one thread: one library is
// loaded at a time, so it is one thread per loaded library.
//
// The worker does not own the connection: its owner may use it on its own thread while
// no job has been posted since the last Finish (before the windows open, and after they
// are gone). A job gets the connection by reference and must keep nothing of it.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "connection/Connection.h"

namespace kv {

class ConnectionWorker {
  public:
    using Job = std::function<void(Connection&)>;

    explicit ConnectionWorker(Connection& connection) : connection_(connection) {}
    // Finishes: the connection is closed.
    ~ConnectionWorker();
    ConnectionWorker(const ConnectionWorker&) = delete;
    ConnectionWorker& operator=(const ConnectionWorker&) = delete;

    // Runs the job on the worker's thread after every job posted before it; the thread
    // starts with the first job.
    void Post(Job job);
    // No job runs or waits.
    bool Idle() const;
    // Waits (at most `limit`) until no job runs or waits.
    bool WaitUntilIdle(std::chrono::milliseconds limit) const;
    // Runs the jobs posted so far, closes the connection after them and ends the thread,
    // waiting for all of it: the job running may take up to its library's time-out.
    // Afterwards the owner has the connection again; a later job starts a new thread.
    void Finish();

  private:
    void Run();

    Connection& connection_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool running_ = false;  // a job is being run
    bool ending_ = false;   // Finish asked the thread to end once the jobs are done
    std::thread thread_;
};

}  // namespace kv
