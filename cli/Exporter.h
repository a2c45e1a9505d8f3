#pragma once

// kv3380u exporter: Prometheus asks it for one module at a time (/probe?target=T), as it
// asks its SNMP and blackbox exporters, and it answers the module's state in the text
// exposition format, polled with the diagnostics' two status requests. The probing is
// here, without HTTP: a probe is handed its answer through a callback, so that no thread
// waits for a module on behalf of a client. Connections stay open between probes and are
// opened again after a failure; a module is polled once at a time and never sooner than
// 100 ms after its last poll ended (a probe meanwhile gets that poll's answer, and probes
// that come while a poll runs share it); no probe waits past its deadline, and a poll that
// ends after its probes gave up serves the next probe. Polls run on a bounded pool of
// threads; targets that have not answered get a few of them and never close the
// connection of a module that answers. The HTTP server around it is ExporterServer.cpp,
// built where libmicrohttpd is found.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
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
// Whether this build has the exporter's HTTP server (not the Windows build): where it has
// none, the command is left out of the help and the lists of commands, and says so when
// it is given.
inline constexpr bool kExporterBuilt = KV_HAVE_EXPORTER;

// An IPv4 network of --allow: "10.1.0.0/16", or one address.
struct Network {
    std::uint32_t address = 0;  // host order, the host bits cleared
    int prefix = 32;
};

struct ExporterOptions {
    std::string listen = kDefaultListen;  // [ADDR:]PORT; no address: loopback
    std::string webConfigFile;            // --web.config.file; empty: plain HTTP, no users
    std::vector<Network> allow;           // --allow; empty: every address
};

// "[ADRESA:]PORT": an IPv4 address and a port 0..65535 (0: any free one).
std::optional<std::string> ListenAddressError(const std::string& text);
// The address and port --listen names; the address is 127.0.0.1 unless named.
std::pair<std::string, int> ListenAddress(const std::string& text);
// "SÍŤ[,SÍŤ...]", each an IPv4 address with an optional prefix length ("10.1.0.0/16").
std::optional<std::string> AllowListError(const std::string& text);
std::vector<Network> AllowList(const std::string& text);
// "10.1.0.0/16, 192.168.5.7/32"
std::string AllowListText(const std::vector<Network>& networks);
// The footer of `kv3380u exporter --help`.
std::string ExporterHelp();
// Whether the exporter takes targets of this kind: the kinds that reach modules on a
// network (IP or IP:PORT), as Prometheus names its targets.
bool ExporterTakesKind(std::uint8_t kind);

// Prometheus's cumulative histogram of seconds, over bounds that fit exchanges on a LAN
// (milliseconds) and through an RS-485 bus (up to about a second), none on a time-out
// that is often set (1 s, 2 s).
class Histogram {
  public:
    static constexpr std::array<double, 14> kBounds = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1,
                                                       0.2,   0.35,  0.5,   0.75, 1.25, 2.5,  5.0};
    void Observe(double seconds);
    // The _bucket, _sum and _count lines of `name`, each with `labels` ("" or `a="b",`).
    std::string Lines(const std::string& name, const std::string& labels = "") const;

  private:
    std::array<std::uint64_t, kBounds.size()> counts_ = {};
    std::uint64_t count_ = 0;
    double sum_ = 0;
};

// A label's value as the text format writes it: \\, \" and \n escaped.
std::string LabelValue(const std::string& text);

struct ProbeAnswer {
    int status = 200;  // 400: a malformed target; 403: outside --allow; 503: full or ending
    std::string body;
};
using ProbeDone = std::function<void(ProbeAnswer)>;

class ProbeEngine {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kMinimumInterval{kMinimumIntervalMs};
    // The modules remembered at most; beyond, a target that does not answer gives way.
    static constexpr std::size_t kMaxModules = 1024;
    // Polls at once, and of those polls of targets that never answered (yet).
    static constexpr std::size_t kPollThreads = 64;
    static constexpr std::size_t kTrialPolls = 16;
    // A module nobody asked about for so long is forgotten, its connection closed.
    static constexpr std::chrono::minutes kForgetAfter{10};
    // How old a poll's answer that no probe got may be to serve a later probe.
    static constexpr std::chrono::minutes kLateAnswerLimit{5};
    // A target that has not answered may close a module's connection idle this long.
    static constexpr std::chrono::seconds kIdleYield{60};
    // How long an open that the library refuses beside other connections is tried again.
    static constexpr std::chrono::seconds kEvictionWait{10};

    // `base` is the connection the options name; each target replaces its address. The
    // library is the kind's, shared by every connection. `log` gets one line for each
    // module that stops answering or answers again (from any thread, one at a time).
    ProbeEngine(const ConnectionSettings& stored, const ConnectionRequest& base,
                std::shared_ptr<const LoadedLibrary> library, std::vector<Network> allow,
                Output& log);
    ~ProbeEngine();
    ProbeEngine(const ProbeEngine&) = delete;
    ProbeEngine& operator=(const ProbeEngine&) = delete;

    // The state of the module `target` names, handed to `done` once (on this thread or on
    // another) no later than `deadline`: a poll still running then is answered with the
    // last poll's answer that no probe got yet, else as the module being down.
    void Probe(const std::string& target, Clock::time_point deadline, ProbeDone done);
    // Probe, waited for (the tests, and a server that waits on its own thread).
    ProbeAnswer ProbeAndWait(const std::string& target, Clock::time_point deadline);
    // The exporter's own figures.
    std::string OwnMetrics() const;
    std::size_t OpenConnections() const { return open_.load(); }
    // Answers every waiting probe that the exporter stops, waits for the polls in flight
    // (each bounded by the library's time-out) and closes every connection.
    void Shutdown();

  private:
    struct Module;
    struct Result;
    struct Waiter {
        std::uint64_t id = 0;
        ProbeDone done;
        Clock::time_point start;
    };
    using Answers = std::vector<std::pair<ProbeDone, ProbeAnswer>>;

    std::shared_ptr<Module> FindLocked(const std::string& key, const ConnectionRequest& input,
                                       const std::string& target);
    bool EvictOneLocked();
    void Worker();
    std::shared_ptr<Module> NextLocked();
    void Poll(Module& module);
    bool Open(Module& module);
    // Closes another module's idle connection so that `module`'s can open: one of its
    // turn group, or the one idle longest that `module` may close. False when none.
    bool CloseFor(const Module& module, bool sameGroupOnly);
    void Finish(Module& module, Result result, Answers& answers);
    void Timer();
    ProbeAnswer ComposeLocked(const Module& module, const Result& result, Clock::time_point now);
    ProbeAnswer DeadlineAnswerLocked(Module& module, Clock::time_point now);
    void Deliver(Answers& answers);
    void Log(const std::string& line);

    ConnectionSettings stored_;
    ConnectionRequest base_;
    std::shared_ptr<const LoadedLibrary> library_;
    std::vector<Network> allow_;
    Output& log_;
    std::mutex logMutex_;

    mutable std::mutex mutex_;
    std::condition_variable work_;     // a poll to run, or stopping
    std::condition_variable changed_;  // a poll ended or a connection closed
    std::condition_variable timer_;    // a new deadline, or stopping
    std::map<std::string, std::shared_ptr<Module>> modules_;
    std::deque<std::shared_ptr<Module>> queue_;         // modules waiting for a poll thread
    std::map<std::uint32_t, const Module*> groupBusy_;  // a turn group's poll under way
    std::multimap<Clock::time_point, std::pair<std::shared_ptr<Module>, std::uint64_t>> deadlines_;
    std::vector<std::thread> workers_;
    std::size_t idleWorkers_ = 0;
    std::size_t trials_ = 0;
    std::thread timerThread_;
    std::uint64_t nextWaiter_ = 1;
    bool stopping_ = false;

    Histogram probeTimes_;
    std::uint64_t probes_ = 0;
    std::uint64_t cached_ = 0;
    std::uint64_t timedOut_ = 0;
    std::uint64_t lateAnswers_ = 0;
    std::uint64_t badTargets_ = 0;
    std::uint64_t deniedTargets_ = 0;
    std::uint64_t fullRefusals_ = 0;
    std::uint64_t forgotten_ = 0;
    std::uint64_t polls_ = 0;
    std::atomic<std::size_t> open_{0};
    std::uint64_t closedForOthers_ = 0;
};

// Serves /probe, /metrics, /-/healthy and / on the address of --listen until Ctrl+C or
// SIGTERM, then closes every connection: kExitOk. kExitUsage for a web configuration file
// or a kind the exporter cannot work with, kExitConnection when it cannot listen;
// kExitInternal in a build without the HTTP server.
int RunExporter(const ConnectionOptions& connection, const ExporterOptions& options, Output& out,
                const RunControl& control);

}  // namespace kv::cli
