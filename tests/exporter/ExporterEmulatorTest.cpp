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

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <thread>

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
    const int slow = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(exporter_.Port());
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    ASSERT_EQ(connect(slow, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(send(slow, "GET /probe?tar", 14, MSG_NOSIGNAL), 14);

    const HttpAnswer bad = Probe("127.0.0.300");
    EXPECT_EQ(bad.status, 400);
    EXPECT_NE(bad.body.find("„127.0.0.300“ není IP adresa"), std::string::npos) << bad.body;
    const HttpAnswer port = Probe(emu_.Address() + ":70000");
    EXPECT_EQ(port.status, 400);
    EXPECT_NE(port.body.find("není celé číslo od 0 do 65535"), std::string::npos) << port.body;
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

// The "LAN QUDP" kind sends from the port number it sends to: two modules on one port
// number at two addresses cannot be open at once. The exporter closes the idle one and
// serves both, rather than answering one of them down for good.
TEST_F(ExporterTest, ModulesThatCannotBeOpenTogetherTakeTurns) {
    const std::uint16_t port = FreeUdpPort(EmulatorProcess::TestAddress());
    ASSERT_NE(port, 0);
    // No test process gives its emulators this address.
    const std::string otherAddress = "127.0.0.252";
    EmulatorProcess other;
    ASSERT_TRUE(emu_.Start({"--port", std::to_string(port)})) << emu_.Log();
    ASSERT_TRUE(other.Start({"--port", std::to_string(port), "--address", otherAddress}))
        << other.Log();
    ASSERT_TRUE(
        exporter_.Start({"--settings", Settings(), "--kind", "LAN QUDP", "--timeout", "1000"}));
    const std::string first = Target(emu_);
    const std::string second = otherAddress + ":" + std::to_string(port);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(SampleValue(Probe(first).body, "kv3380u_up"), 1) << round;
        const HttpAnswer answer = Probe(second);
        EXPECT_EQ(SampleValue(answer.body, "kv3380u_up"), 1) << round << "\n" << answer.body;
    }
    const HttpAnswer own = HttpGet(exporter_.Port(), "/metrics");
    EXPECT_GE(SampleValue(own.body, "kv3380u_exporter_closed_for_others_total"), 1) << own.body;
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_open_connections"), 1) << own.body;
}

TEST_F(ExporterTest, AnAddressThatCannotBeListenedOnEndsWith3) {
    const CliOutcome run = RunCli(
        {"exporter", "--listen", "10.255.255.1:9338", "--settings", Settings(), "--kind", "1"});
    EXPECT_EQ(run.code, 3) << run.err;
    EXPECT_NE(run.err.find("nelze naslouchat"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace kv::testing
