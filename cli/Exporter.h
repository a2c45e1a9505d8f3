#pragma once

// kv3380u exporter: Prometheus asks it for one module at a time (/probe?target=T), as it
// asks its SNMP and blackbox exporters, and it answers the module's state in the text
// exposition format, polled with the diagnostics' two status requests. The probing is
// here, without HTTP: connections kept open between probes and opened again after a
// failure, one poll at a time per module and never sooner than 100 ms after the last
// one ended (a probe meanwhile gets that poll's answer, and probes that come while a
// poll runs share it), and never a wait past the probe's deadline. The HTTP server
// around it is ExporterServer.cpp, built where cpp-httplib is found.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliConnection.h"
#include "cli/Commands.h"
#include "cli/Output.h"

namespace kv::cli {

inline constexpr const char* kDefaultListen = "127.0.0.1:9338";

struct ExporterOptions {
    std::string listen = kDefaultListen;  // [ADDR:]PORT; no address: loopback
};

// "[ADRESA:]PORT": an IPv4 address and a port 0..65535 (0: any free one).
std::optional<std::string> ListenAddressError(const std::string& text);
// The address and port --listen names; the address is 127.0.0.1 unless named.
std::pair<std::string, int> ListenAddress(const std::string& text);
// The footer of `kv3380u exporter --help`.
std::string ExporterHelp();

// Prometheus's cumulative histogram of seconds.
class Histogram {
  public:
    void Observe(double seconds);
    // The _bucket, _sum and _count lines of `name`, each with `labels` ("" or `a="b",`).
    std::string Lines(const std::string& name, const std::string& labels = "") const;

  private:
    static constexpr double kBounds[] = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                         0.5,   1.0,  2.5,   5.0,  10.0};
    std::uint64_t counts_[std::size(kBounds)] = {};
    std::uint64_t count_ = 0;
    double sum_ = 0;
};

// A label's value as the text format writes it: \\, \" and \n escaped.
std::string LabelValue(const std::string& text);

struct ProbeAnswer {
    int status = 200;  // 400: a malformed target; 503: too many modules
    std::string body;
};

class ProbeEngine {
  public:
    static constexpr std::chrono::milliseconds kMinimumInterval{kMinimumIntervalMs};
    static constexpr std::size_t kMaxModules = 1024;
    // How long an open that the library refuses beside other connections is tried again.
    static constexpr std::chrono::seconds kEvictionWait{10};

    // `base` is the connection the options name; each target replaces its address. The
    // library is the kind's, shared by every connection.
    ProbeEngine(const ConnectionSettings& stored, const ConnectionRequest& base,
                std::shared_ptr<const LoadedLibrary> library);
    ~ProbeEngine();
    ProbeEngine(const ProbeEngine&) = delete;
    ProbeEngine& operator=(const ProbeEngine&) = delete;

    // The state of the module `target` names, waiting for a poll no longer than until
    // `deadline`; a poll still running then is answered as the module being down.
    ProbeAnswer Probe(const std::string& target, std::chrono::steady_clock::time_point deadline);
    // The exporter's own figures.
    std::string OwnMetrics() const;
    std::size_t OpenConnections() const { return open_.load(); }
    // Waits for the polls in flight (each bounded by the library's time-out) and closes
    // every connection; probes after it answer that the exporter stops.
    void Shutdown();

  private:
    struct Module;
    std::shared_ptr<Module> Find(const std::string& key, const ConnectionRequest& input,
                                 bool& full);
    void Poll(Module& module);
    // Closes the open connection idle longest (not `except`'s); false when none is idle.
    bool CloseIdlest(const Module* except);

    ConnectionSettings stored_;
    ConnectionRequest base_;
    std::shared_ptr<const LoadedLibrary> library_;

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Module>> modules_;
    std::atomic<bool> stopping_{false};
    Histogram probeTimes_;
    std::uint64_t probes_ = 0;
    std::uint64_t cached_ = 0;
    std::uint64_t timedOut_ = 0;
    std::uint64_t badTargets_ = 0;
    std::atomic<std::uint64_t> polls_{0};
    std::atomic<std::size_t> open_{0};
    std::atomic<std::uint64_t> closedForOthers_{0};
};

// Serves /probe, /metrics and / on the address of --listen until Ctrl+C or SIGTERM,
// then closes every connection: kExitOk. kExitConnection when it cannot listen;
// kExitInternal in a build without the HTTP server.
int RunExporter(const ConnectionOptions& connection, const ExporterOptions& options, Output& out,
                const RunControl& control);

}  // namespace kv::cli
