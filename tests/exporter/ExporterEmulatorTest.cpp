// kv3380u exporter against emulators: each probe answers its own module's state as
// `kv3380u diag --json` reads it, a silent module is down, a module is never polled more
// often than every 100 ms however often and however many at once ask (counted at the
// emulator), a probe never waits past its scrape time-out, bad requests and slow clients
// get their answer without holding up the others, and SIGTERM closes every connection.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "cli/Exporter.h"
#include "core/Version.h"
#include "emulator/Module.h"
#include "libraries/KvWire.h"
#include "tests/e2e/CliEmulatorFixture.h"
#include "tests/support/ExporterProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/HttpGet.h"

namespace kv::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::string Target(const EmulatorProcess& e) {
    return e.Address() + ":" + std::to_string(e.ManagementPort());
}

long Milliseconds(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

class ExporterTest : public CliEmulatorTest {
  protected:
    void TearDown() override {
        CliEmulatorTest::TearDown();
        if (HasFailure()) {
            const CliOutcome ended = exporter_.Stop();
            std::cerr << "exporter:\n" << ended.out << ended.err;
        }
    }
    // The exporter over the "LAN" kind, with this time-out. Not the fixture's "LAN QUDP",
    // which sends from the module's port number: while the exporter holds its connection,
    // `kv3380u diag` of that kind could not open one beside it.
    void StartExporter(int timeoutMs) {
        ASSERT_TRUE(exporter_.Start(
            {"--settings", Settings(), "--kind", "LAN", "--timeout", std::to_string(timeoutMs)}));
    }
    HttpAnswer Probe(const std::string& target, const std::vector<std::string>& headers = {}) {
        return HttpGet(exporter_.Port(), "/probe?target=" + target, headers);
    }
    // What `kv3380u diag --json` reads of the module's interface `vlan` once.
    nlohmann::json Diag(const EmulatorProcess& e, int vlan) {
        const CliOutcome run =
            Cli({"diag", "--json", "--count", "1", "--vlan", std::to_string(vlan)}, e);
        EXPECT_EQ(run.code, 0) << run.err;
        return nlohmann::json::parse(Lines(run.out).at(0));
    }

    // A client connected to the exporter that sends the start of a request and never the
    // rest; -1 when it could not connect or send.
    int UnfinishedClient(const std::string& start) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(exporter_.Port());
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            send(fd, start.data(), start.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(start.size())) {
            if (fd >= 0) close(fd);
            return -1;
        }
        return fd;
    }

    ExporterProcess exporter_;
};

TEST_F(ExporterTest, EachProbeAnswersItsOwnModuleAndASilentOneIsDown) {
    EmulatorProcess second, silent;
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(second.Start()) << second.Log();
    ASSERT_TRUE(silent.Start({"--silent"})) << silent.Log();
    // Traffic on a VLAN port of one module moves its counters away from zero.
    const int client = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in vlan{};
    vlan.sin_family = AF_INET;
    vlan.sin_port = htons(second.VlanPort(0));
    inet_pton(AF_INET, second.Address().c_str(), &vlan.sin_addr);
    const std::vector<std::uint8_t> request = wire::EncodeRequest(wire::Request{});
    for (int i = 0; i < 3; ++i)
        sendto(client, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&vlan),
               sizeof vlan);
    close(client);
    StartExporter(300);

    // Side by side, as Prometheus asks.
    std::vector<const EmulatorProcess*> modules = {&emu_, &second, &silent};
    std::vector<HttpAnswer> answers(modules.size());
    std::vector<std::thread> probes;
    for (std::size_t i = 0; i < modules.size(); ++i)
        probes.emplace_back([&, i] { answers[i] = Probe(Target(*modules[i])); });
    for (std::thread& t : probes) t.join();

    for (std::size_t i = 0; i < 2; ++i) {
        const std::string& text = answers[i].body;
        ASSERT_EQ(answers[i].status, 200) << text;
        EXPECT_EQ(answers[i].contentType, "text/plain; version=0.0.4; charset=utf-8");
        EXPECT_EQ(SampleValue(text, "kv3380u_up"), 1) << text;
        // Read afterwards, so its uptime is no smaller; its counters stand still meanwhile.
        const nlohmann::json diag = Diag(*modules[i], 1);
        const nlohmann::json& m = diag["module"];
        const std::string info = "kv3380u_module_info{type=\"" + m["type"].get<std::string>() +
                                 "\",version=\"" + m["version"].get<std::string>() +
                                 "\",serial=\"" + m["serial"].get<std::string>() + "\",mac=\"" +
                                 m["mac"].get<std::string>() + "\"}";
        EXPECT_EQ(SampleValue(text, info), 1) << info << "\n" << text;
        const double uptime = SampleValue(text, "kv3380u_uptime_seconds");
        EXPECT_LE(uptime, m["uptime_s"].get<double>());
        EXPECT_GE(uptime, m["uptime_s"].get<double>() - 60);
        EXPECT_EQ(SampleValue(text, "kv3380u_access_allowed_total"),
                  m["allowed_total"].get<double>());
        EXPECT_EQ(SampleValue(text, "kv3380u_access_denied_total"),
                  m["denied_total"].get<double>());
        EXPECT_EQ(SampleValue(text, "kv3380u_rs485_messages_total"),
                  m["rs485"]["messages"].get<double>());
        EXPECT_EQ(SampleValue(text, "kv3380u_rs485_errors_total"),
                  m["rs485"]["errors"].get<double>());
        for (int v = 1; v <= 3; ++v) {
            const nlohmann::json vlanDiag = v == 1 ? diag : Diag(*modules[i], v);
            const std::string label = "{vlan=\"" + std::to_string(v) + "\"}";
            EXPECT_EQ(SampleValue(text, "kv3380u_vlan_allowed_total" + label),
                      vlanDiag["interface"]["allowed"].get<double>());
            EXPECT_EQ(SampleValue(text, "kv3380u_vlan_denied_total" + label),
                      vlanDiag["interface"]["denied"].get<double>());
        }
        // The exchanges of this poll that succeeded: both status requests.
        EXPECT_EQ(SampleValue(text, "kv3380u_exchange_seconds_count"), 2) << text;
        EXPECT_EQ(SampleValue(text, "kv3380u_exchange_failures_total{stage=\"identify\"}"), 0);
    }
    const double denied = SampleValue(answers[1].body, "kv3380u_access_denied_total");
    const double allowed = SampleValue(answers[1].body, "kv3380u_access_allowed_total");
    EXPECT_GT(denied + allowed, 0) << "the VLAN traffic was counted:\n" << answers[1].body;

    ASSERT_EQ(answers[2].status, 200);
    EXPECT_EQ(SampleValue(answers[2].body, "kv3380u_up"), 0) << answers[2].body;
    EXPECT_TRUE(std::isnan(SampleValue(answers[2].body, "kv3380u_uptime_seconds")));
    // Failures are counted by where they happened, never as exchanges that took a time.
    EXPECT_EQ(SampleValue(answers[2].body, "kv3380u_exchange_failures_total{stage=\"identify\"}"),
              1);
    EXPECT_EQ(SampleValue(answers[2].body, "kv3380u_exchange_seconds_count"), 0);
    EXPECT_NE(answers[2].body.find("kv3380u_failure_info{stage=\"identify\",message="),
              std::string::npos)
        << answers[2].body;

    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    ASSERT_EQ(own.status, 200);
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_probes_total"), 3) << own.body;
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_open_connections"), 2) << own.body;
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_modules"), 3) << own.body;

    // SIGTERM closes both connections and is the exporter's normal end.
    const CliOutcome ended = exporter_.Stop(SIGTERM);
    EXPECT_EQ(ended.code, 0) << ended.err;
    EXPECT_NE(ended.err.find("zavřeno spojení: 2"), std::string::npos) << ended.err;
}

TEST_F(ExporterTest, AModuleIsNeverPolledMoreOftenThanEvery100Milliseconds) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    StartExporter(1000);
    const std::string target = Target(emu_);
    const auto start = Clock::now();
    constexpr int kProbes = 40;
    int up = 0;
    for (int i = 0; i < kProbes; ++i) up += SampleValue(Probe(target).body, "kv3380u_up") == 1;
    // And as many at once.
    std::vector<std::thread> burst;
    std::atomic<int> upAtOnce{0};
    for (int i = 0; i < 8; ++i)
        burst.emplace_back([&] { upAtOnce += SampleValue(Probe(target).body, "kv3380u_up") == 1; });
    for (std::thread& t : burst) t.join();
    const long elapsed = Milliseconds(Clock::now() - start);
    EXPECT_EQ(up, kProbes);
    EXPECT_EQ(upAtOnce.load(), 8);

    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    const double polls = SampleValue(own.body, "kv3380u_exporter_polls_total");
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_probes_total"), kProbes + 8);
    EXPECT_EQ(exporter_.Stop().code, 0);
    ASSERT_EQ(emu_.Stop(), 0);
    // The emulator's own count: one identification (three requests) and two requests a
    // poll, and no more polls than 100 ms gaps fit into the time the probes took.
    const long asked = emu_.RequestsAnswered();
    const long bound = 3 + 2 * (1 + elapsed / 100);
    EXPECT_GE(asked, 5) << emu_.Log();
    EXPECT_LE(asked, bound) << "in " << elapsed << " ms";
    EXPECT_EQ(asked, 3 + 2 * static_cast<long>(polls)) << own.body;
}

TEST_F(ExporterTest, ProbesOfABusyModuleShareItsPollAndNeverWaitPastTheirTimeOut) {
    // Every answer takes 400 ms: the first poll (the identification's three requests and
    // the two status requests) takes two seconds.
    ASSERT_TRUE(emu_.Start({"--delay", "400"})) << emu_.Log();
    StartExporter(3000);
    const std::string target = Target(emu_);
    const auto start = Clock::now();
    std::vector<HttpAnswer> answers(6);
    std::vector<std::thread> probes;
    for (std::size_t i = 0; i < answers.size(); ++i)
        probes.emplace_back([&, i] { answers[i] = Probe(target); });
    // One that gives up after half a second, as Prometheus would with that time-out.
    const HttpAnswer hurried = Probe(target, {"X-Prometheus-Scrape-Timeout-Seconds: 0.5"});
    for (std::thread& t : probes) t.join();
    const long elapsed = Milliseconds(Clock::now() - start);
    for (const HttpAnswer& answer : answers) EXPECT_EQ(SampleValue(answer.body, "kv3380u_up"), 1);
    // Answered before the poll could end: the module counts as down for that scrape.
    EXPECT_EQ(hurried.status, 200);
    EXPECT_EQ(SampleValue(hurried.body, "kv3380u_up"), 0) << hurried.body;
    EXPECT_EQ(exporter_.Stop().code, 0);
    ASSERT_EQ(emu_.Stop(), 0);
    // Each status request takes 400 ms, so polls that do not overlap fit at most once in
    // every 900 ms; a pile-up of the seven probes would ask fourteen times.
    const long asked = emu_.RequestsAnswered();
    EXPECT_GE(asked, 5) << emu_.Log();
    EXPECT_LE(asked, 3 + 2 * (1 + elapsed / 900)) << "in " << elapsed << " ms";
}

TEST_F(ExporterTest, BadRequestsAndSlowClientsHoldUpNobody) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    StartExporter(1000);
    // A client that connects and never finishes its request.
    const int slow = UnfinishedClient("GET /probe?tar");
    ASSERT_GE(slow, 0);

    const HttpAnswer bad = Probe("127.0.0.300");
    EXPECT_EQ(bad.status, 400);
    EXPECT_NE(bad.body.find("„127.0.0.300“ není IP adresa"), std::string::npos) << bad.body;
    const HttpAnswer port = Probe(emu_.Address() + ":70000");
    EXPECT_EQ(port.status, 400);
    EXPECT_NE(port.body.find("není celé číslo od 1 do 65535"), std::string::npos) << port.body;
    const HttpAnswer none = HttpGet(exporter_.Port(), "/probe");
    EXPECT_EQ(none.status, 400);
    EXPECT_NE(none.body.find("chybí parametr target"), std::string::npos);
    EXPECT_EQ(HttpGet(exporter_.Port(), "/nothing").status, 404);

    // Meanwhile a good probe is answered; the slow client still waits for its answer.
    EXPECT_EQ(SampleValue(Probe(Target(emu_)).body, "kv3380u_up"), 1);
    close(slow);
    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_bad_targets_total"), 2) << own.body;

    // Ctrl+C ends it as SIGTERM does.
    const CliOutcome ended = exporter_.Stop(SIGINT);
    EXPECT_EQ(ended.code, 0) << ended.err;
    EXPECT_NE(ended.err.find("zavřeno spojení: 1"), std::string::npos) << ended.err;
}

// The "LAN QUDP" kind sends from the port number it sends to: modules on one port number
// at several addresses cannot be open at once. Asked all at once, as Prometheus asks, they
// take turns and every one of them answers, round after round.
TEST_F(ExporterTest, ModulesThatCannotBeOpenTogetherTakeTurns) {
    const std::uint16_t port = FreeUdpPort(EmulatorProcess::TestAddress());
    ASSERT_NE(port, 0);
    // No test process gives its emulators these addresses.
    std::vector<std::unique_ptr<EmulatorProcess>> others;
    ASSERT_TRUE(emu_.Start({"--port", std::to_string(port)})) << emu_.Log();
    std::vector<std::string> targets = {Target(emu_)};
    for (const char* address : {"127.0.0.252", "127.0.0.253", "127.0.0.254"}) {
        others.push_back(std::make_unique<EmulatorProcess>());
        ASSERT_TRUE(others.back()->Start({"--port", std::to_string(port), "--address", address}))
            << others.back()->Log();
        targets.push_back(std::string(address) + ":" + std::to_string(port));
    }
    ASSERT_TRUE(
        exporter_.Start({"--settings", Settings(), "--kind", "LAN QUDP", "--timeout", "1000"}));
    for (int round = 0; round < 3; ++round) {
        std::vector<HttpAnswer> answers(targets.size());
        std::vector<std::thread> probes;
        for (std::size_t i = 0; i < targets.size(); ++i)
            probes.emplace_back([&, i] {
                answers[i] = Probe(targets[i], {"X-Prometheus-Scrape-Timeout-Seconds: 10"});
            });
        for (std::thread& t : probes) t.join();
        for (std::size_t i = 0; i < targets.size(); ++i)
            EXPECT_EQ(SampleValue(answers[i].body, "kv3380u_up"), 1)
                << "round " << round << ", " << targets[i] << "\n"
                << answers[i].body;
        // Past the 100 ms in which a probe gets the last poll's answer.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    EXPECT_GE(SampleValue(own.body, "kv3380u_exporter_closed_for_others_total"), 3) << own.body;
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_open_connections"), 1) << own.body;
}

TEST_F(ExporterTest, AnAddressOrAPortThatCannotBeListenedOnEndsWith3) {
    const CliOutcome run = RunCli(
        {"exporter", "--listen", "10.255.255.1:9338", "--settings", Settings(), "--kind", "1"});
    EXPECT_EQ(run.code, 3) << run.err;
    EXPECT_NE(run.err.find("nelze naslouchat: adresa nepatří tomuto počítači"), std::string::npos)
        << run.err;
    // A second exporter on the port of the first one ends, rather than sharing the port.
    StartExporter(1000);
    const CliOutcome second =
        RunCli({"exporter", "--listen", "127.0.0.1:" + std::to_string(exporter_.Port()),
                "--settings", Settings(), "--kind", "LAN"});
    EXPECT_EQ(second.code, 3) << second.err;
    EXPECT_NE(second.err.find("nelze naslouchat: port je obsazen"), std::string::npos)
        << second.err;
    EXPECT_EQ(HttpGet(exporter_.Port(), "/-/healthy").body, "Healthy\n");
}

// What the exporter refuses to start with, each before it listens: a kind whose targets
// are not network addresses, a network of --allow that is not one.
TEST_F(ExporterTest, AKindWithoutNetworkTargetsOrAWrongNetworkIsAUsageMistake) {
    const CliOutcome usb = RunCli({"exporter", "--settings", Settings(), "--kind", "USBVx"});
    EXPECT_EQ(usb.code, 2) << usb.err;
    EXPECT_NE(usb.err.find("rozhraní USBVx (0) takové cíle nebere"), std::string::npos) << usb.err;
    const CliOutcome network =
        RunCli({"exporter", "--settings", Settings(), "--kind", "LAN", "--allow", "10.1.2.3/16"});
    EXPECT_EQ(network.code, 2) << network.err;
    EXPECT_NE(network.err.find("míněna je síť 10.1.0.0/16"), std::string::npos) << network.err;
}

// A target outside the networks of --allow gets 403, and the module is sent nothing.
TEST_F(ExporterTest, ATargetOutsideTheAllowedNetworksIsSentNothing) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(exporter_.Start(
        {"--settings", Settings(), "--kind", "LAN", "--allow", "10.0.0.0/8,192.168.7.1"}));
    const HttpAnswer denied = Probe(Target(emu_));
    EXPECT_EQ(denied.status, 403);
    EXPECT_NE(denied.body.find("neleží v sítích, na které se exportér smí ptát (10.0.0.0/8, "
                               "192.168.7.1/32); modulu se nic neposílá"),
              std::string::npos)
        << denied.body;
    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_denied_targets_total"), 1) << own.body;
    EXPECT_EQ(exporter_.Stop().code, 0);
    ASSERT_EQ(emu_.Stop(), 0);
    EXPECT_EQ(emu_.RequestsAnswered(), 0) << emu_.Log();
}

// A module that answers more slowly than Prometheus waits: the first probe gives up while
// the connection still opens, but that poll's answer serves the next probe, whose own poll
// again ends too late; the module shows up, with the age of its answer.
TEST_F(ExporterTest, AModuleSlowerThanTheScrapeShowsUpWithTheAgeOfItsAnswer) {
    // Opening takes three exchanges and a poll two more: at least 1.5 s, then 0.6 s a poll,
    // against a probe that waits 0.45 s.
    ASSERT_TRUE(emu_.Start({"--delay", "300"})) << emu_.Log();
    StartExporter(2000);
    const std::vector<std::string> hurried = {"X-Prometheus-Scrape-Timeout-Seconds: 0.5"};
    const auto start = Clock::now();
    const HttpAnswer first = Probe(Target(emu_), hurried);
    EXPECT_EQ(SampleValue(first.body, "kv3380u_up"), 0) << first.body;
    EXPECT_NE(first.body.find("kv3380u_failure_info{stage=\"deadline\""), std::string::npos)
        << first.body;
    // Until the poll has ended in the background, and the 100 ms after it in which a probe
    // gets its answer without a poll of its own.
    const auto until = Clock::now() + std::chrono::seconds(30);
    double running = 1;
    while (running != 0 && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        running = SampleValue(HttpGet(exporter_.Port(), "/metrics").body,
                              "kv3380u_exporter_running_polls");
    }
    ASSERT_EQ(running, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const HttpAnswer second = Probe(Target(emu_), hurried);
    const double age = SampleValue(second.body, "kv3380u_poll_age_seconds");
    EXPECT_EQ(SampleValue(second.body, "kv3380u_up"), 1) << second.body;
    // At least the time this probe waited; less than the time since the first one.
    EXPECT_GT(age, 0.4) << second.body;
    EXPECT_LT(age, std::chrono::duration<double>(Clock::now() - start).count()) << second.body;
    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_late_answers_total"), 1) << own.body;
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_timed_out_probes_total"), 2) << own.body;
}

// 1100 distinct targets where nothing answers, more than the exporter remembers, asked
// while two modules answer: the modules keep their connections and answer, every target
// gets an answer (none is refused for a full table), and the pool of polls stays bounded.
TEST_F(ExporterTest, AFloodOfTargetsThatNeverAnswerCostsTheModulesNothing) {
    EmulatorProcess second;
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(second.Start()) << second.Log();
    StartExporter(200);
    for (const EmulatorProcess* e : {&emu_, &second})
        ASSERT_EQ(SampleValue(Probe(Target(*e)).body, "kv3380u_up"), 1);

    constexpr int kTargets = static_cast<int>(cli::ProbeEngine::kMaxModules) + 76;
    std::atomic<int> next{0};
    std::atomic<int> answered{0};
    std::vector<std::thread> flood;
    for (int t = 0; t < 32; ++t)
        flood.emplace_back([&] {
            for (int i = next++; i < kTargets; i = next++) {
                // Port 9 (discard) of addresses no test process gives its emulators.
                const std::string target = "127.0." + std::to_string(40 + i / 250) + "." +
                                           std::to_string(1 + i % 250) + ":9";
                const HttpAnswer answer =
                    Probe(target, {"X-Prometheus-Scrape-Timeout-Seconds: 0.2"});
                answered += answer.status == 200 && SampleValue(answer.body, "kv3380u_up") == 0;
            }
        });
    for (std::thread& t : flood) t.join();
    EXPECT_EQ(answered.load(), kTargets);

    for (const EmulatorProcess* e : {&emu_, &second})
        EXPECT_EQ(SampleValue(Probe(Target(*e)).body, "kv3380u_up"), 1);
    EXPECT_EQ(Probe("127.0.39.1:9").status, 200);
    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_closed_for_others_total"), 0) << own.body;
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_full_refusals_total"), 0) << own.body;
    EXPECT_GE(SampleValue(own.body, "kv3380u_exporter_forgotten_modules_total"), 76) << own.body;
    EXPECT_LE(SampleValue(own.body, "kv3380u_exporter_modules"), cli::ProbeEngine::kMaxModules);
    EXPECT_LE(SampleValue(own.body, "kv3380u_exporter_poll_threads"),
              cli::ProbeEngine::kPollThreads);
    const CliOutcome ended = exporter_.Stop();
    EXPECT_NE(ended.err.find("zavřeno spojení: 2"), std::string::npos) << ended.err;
}

// 100 clients that hold connections, half of them idle and half in the middle of a
// request: a probe is answered meanwhile, as quickly as without them.
TEST_F(ExporterTest, SlowAndIdleClientsHoldUpNobody) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    StartExporter(1000);
    // Half of them idle (connected, nothing sent), half slow (a request begun).
    std::vector<int> clients;
    for (int i = 0; i < 100; ++i) {
        const int fd = UnfinishedClient(i % 2 == 1 ? "GET /metr" : "");
        ASSERT_GE(fd, 0);
        clients.push_back(fd);
    }
    const HttpAnswer probe =
        HttpGet(exporter_.Port(), "/probe?target=" + Target(emu_), {}, std::chrono::seconds(5));
    EXPECT_EQ(SampleValue(probe.body, "kv3380u_up"), 1) << probe.body;
    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics", {}, std::chrono::seconds(5));
    EXPECT_GE(SampleValue(own.body, "kv3380u_exporter_http_connections"), 100) << own.body;
    for (int fd : clients) close(fd);
}

// The watcher is watched: /-/healthy, the build and the process_* figures, and one line on
// stderr when a module stops answering and one when it answers again.
TEST_F(ExporterTest, TheExporterTellsAboutItselfAndAboutModulesComingAndGoing) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::uint16_t port = emu_.ManagementPort();
    StartExporter(300);
    const HttpAnswer healthy = HttpGet(exporter_.Port(), "/-/healthy");
    EXPECT_EQ(healthy.status, 200);
    EXPECT_EQ(healthy.body, "Healthy\n");
    const std::string own = HttpGet(exporter_.Port(), "/metrics").body;
    EXPECT_GT(SampleValue(own, "process_resident_memory_bytes"), 0) << own;
    EXPECT_GT(SampleValue(own, "process_start_time_seconds"), 0) << own;
    EXPECT_GT(SampleValue(own, "process_open_fds"), 0) << own;
    EXPECT_EQ(SampleValue(own, "kv3380u_exporter_build_info{version=\"" +
                                   std::string(kv::kProgramVersion) + "\"}"),
              1)
        << own;

    const std::string target = Target(emu_);
    // Each probe past the 100 ms in which the last poll's answer serves.
    auto poll = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        return Probe(target).body;
    };
    EXPECT_EQ(SampleValue(poll(), "kv3380u_up"), 1);
    ASSERT_EQ(emu_.Stop(), 0);
    const std::string down = poll();
    EXPECT_EQ(SampleValue(down, "kv3380u_up"), 0) << down;
    EXPECT_NE(down.find("kv3380u_failure_info{stage=\"status\",message=\""), std::string::npos)
        << down;
    EXPECT_EQ(SampleValue(poll(), "kv3380u_up"), 0);
    EmulatorProcess back;
    ASSERT_TRUE(back.Start({"--port", std::to_string(port)})) << back.Log();
    EXPECT_EQ(SampleValue(poll(), "kv3380u_up"), 1);

    const CliOutcome ended = exporter_.Stop();
    const std::string gone = "modul " + target + " přestal odpovídat: ";
    const std::string again = "modul " + target + " opět odpovídá";
    EXPECT_NE(ended.err.find(gone), std::string::npos) << ended.err;
    EXPECT_EQ(ended.err.find(gone), ended.err.rfind(gone)) << "said once:\n" << ended.err;
    EXPECT_NE(ended.err.find(again), std::string::npos) << ended.err;
    EXPECT_LT(ended.err.find(gone), ended.err.find(again)) << ended.err;
}

// The Grafana dashboard and the alerting rules ask for series the exporter gives: every
// kv3380u_* and process_* name in their queries is one that a probe or /metrics answers.
TEST_F(ExporterTest, TheDashboardAndTheAlertsAskForNamesTheExporterGives) {
    EmulatorProcess silent;
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(silent.Start({"--silent"})) << silent.Log();
    StartExporter(200);
    std::set<std::string> given;
    for (const std::string& text : {Probe(Target(emu_)).body, Probe(Target(silent)).body,
                                    HttpGet(exporter_.Port(), "/metrics").body}) {
        for (const std::string& line : Lines(text))
            if (!line.empty() && line[0] != '#')
                given.insert(line.substr(0, line.find_first_of("{ ")));
    }
    ASSERT_GT(given.count("kv3380u_failure_info"), 0u);

    const std::regex name("\\b(kv3380u_[a-z0-9_]+|process_[a-z0-9_]+)");
    auto check = [&](const std::string& where, const std::string& written) {
        // Label values ("kv3380u_exporter", a job) name no series.
        const std::string query = std::regex_replace(written, std::regex("\"[^\"]*\""), "");
        int names = 0;
        for (auto it = std::sregex_iterator(query.begin(), query.end(), name);
             it != std::sregex_iterator(); ++it, ++names)
            EXPECT_EQ(given.count((*it)[1]), 1u) << where << ": " << (*it)[1] << " in " << query;
        return names;
    };
    const std::string root = KV_SOURCE_DIR;
    const nlohmann::json dashboard =
        nlohmann::json::parse(ReadBytes(root + "/data/grafana/kv3380u-dashboard.json"));
    ASSERT_FALSE(dashboard["panels"].empty());
    for (const nlohmann::json& panel : dashboard["panels"]) {
        int names = 0;
        for (const nlohmann::json& query : panel["targets"])
            names += check("dashboard: " + panel["title"].get<std::string>(),
                           query["expr"].get<std::string>());
        EXPECT_GT(names, 0) << panel["title"];
    }
    int rules = 0;
    for (const std::string& line : Lines(ReadBytes(root + "/data/prometheus/kv3380u-alerts.yml")))
        if (line.find("expr:") != std::string::npos) rules += check("alerts", line) > 0;
    // The rule about the exporter itself asks Prometheus's own `up`.
    EXPECT_EQ(rules, 3);
}

}  // namespace
}  // namespace kv::testing
