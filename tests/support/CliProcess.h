#pragma once

// kv3380u as a child process for the end-to-end tests, with its standard output where a
// test wants it (a pipe, a file such as /dev/full, or closed), and a loopback peer that
// never answers: it shows whether the program sent anything at all, and holds it in a
// library call for as long as its time-out.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kv::testing {

struct CliOutcome {
    int code = -1;  // the exit code; 128 + the signal for a program killed by one
    std::string out;
    std::string err;
};

struct CliRunOptions {
    // The child's standard output: a pipe the outcome collects (nullopt), the named file
    // opened for writing, or closed ("").
    std::optional<std::string> stdoutFile;
    // Called with the child's pid and what it has written so far, at least every 50 ms
    // and after every read, until it returns true.
    std::function<bool(pid_t, const CliOutcome&)> watch;
};

// Runs build/bin/kv3380u with the arguments and waits for it, for two minutes at most.
CliOutcome RunCli(const std::vector<std::string>& args, const CliRunOptions& options = {});

// A UDP socket on this test process's loopback address that receives and never answers.
class SilentPeer {
  public:
    SilentPeer();
    ~SilentPeer();
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;

    bool Ok() const { return fd_ >= 0; }
    const std::string& Address() const { return address_; }
    std::uint16_t Port() const { return port_; }
    // Datagrams received so far (read without waiting).
    std::size_t Received();

  private:
    int fd_ = -1;
    std::string address_;
    std::uint16_t port_ = 0;
    std::size_t received_ = 0;
};

}  // namespace kv::testing
