// A real Prometheus server (Debian's `prometheus`) on loopback scrapes emulators through
// kv3380u exporter with the multi-target relabelling the README shows, and its HTTP API
// answers kv3380u_up: 1 for the modules that answer, 0 for the silent one; and again over
// TLS with a client certificate and a password. Skipped where Prometheus is not installed,
// except in CI, where it must be.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "emulator/Module.h"
#include "tests/e2e/CliEmulatorFixture.h"
#include "tests/support/ExporterProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/HttpGet.h"
#include "tests/support/TlsFiles.h"

namespace kv::testing {
namespace {

constexpr const char* kPrometheus = "/usr/bin/prometheus";

// The server as a child with its output in a file; SIGTERM, then SIGKILL, when it goes.
class PrometheusProcess {
  public:
    bool Start(const std::vector<std::string>& args, const std::string& log) {
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd >= 0) {
                dup2(fd, STDOUT_FILENO);
                dup2(fd, STDERR_FILENO);
            }
            std::vector<char*> argv = {const_cast<char*>(kPrometheus)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(kPrometheus, argv.data());
            _exit(127);
        }
        return pid_ > 0;
    }
    ~PrometheusProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_ = -1;
};

std::string Target(const EmulatorProcess& e) {
    return e.Address() + ":" + std::to_string(e.ManagementPort());
}

class PrometheusTest : public CliEmulatorTest {
  protected:
    void SetUp() override {
        CliEmulatorTest::SetUp();
        if (access(kPrometheus, X_OK) != 0) {
            if (std::getenv("CI") != nullptr)
                FAIL() << kPrometheus << " is missing (scripts/deps.sh)";
            GTEST_SKIP() << kPrometheus << " is not installed";
        }
    }
    // Prometheus with this configuration on a free loopback port.
    void StartPrometheus(const std::string& config) {
        web_ = FreeTcpPort();
        ASSERT_NE(web_, 0);
        WriteBytes(File("prometheus.yml"), config);
        ASSERT_TRUE(prometheus_.Start(
            {"--config.file=" + File("prometheus.yml"), "--storage.tsdb.path=" + File("data"),
             "--web.listen-address=127.0.0.1:" + std::to_string(web_), "--log.level=warn"},
            File("prometheus.log")));
    }
    // The value of the query's series by their `label`, once `count` series have one:
    // Prometheus starts, scrapes every second, and a loaded machine may take its time.
    std::map<std::string, std::string> Values(const std::string& query, const std::string& label,
                                              std::size_t count) {
        std::map<std::string, std::string> values;
        std::string last;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (values.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            const HttpAnswer answer =
                HttpGet(web_, "/api/v1/query?query=" + query, {}, std::chrono::seconds(5));
            last = answer.body;
            if (answer.status != 200) continue;
            const nlohmann::json reply = nlohmann::json::parse(answer.body, nullptr, false);
            if (reply.is_discarded() || reply.value("status", "") != "success") continue;
            values.clear();
            for (const nlohmann::json& series : reply["data"]["result"])
                values[series["metric"][label].get<std::string>()] =
                    series["value"][1].get<std::string>();
        }
        EXPECT_EQ(values.size(), count) << "last answer: " << last << "\n"
                                        << ReadBytes(File("prometheus.log"));
        return values;
    }
    std::uint16_t web_ = 0;
    PrometheusProcess prometheus_;
};

TEST_F(PrometheusTest, ScrapesEveryModuleThroughTheExporter) {
    EmulatorProcess second, silent;
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(second.Start()) << second.Log();
    ASSERT_TRUE(silent.Start({"--silent"})) << silent.Log();
    ExporterProcess exporter;
    ASSERT_TRUE(
        exporter.Start({"--settings", Settings(), "--kind", "LAN QUDP", "--timeout", "300"}));

    // As the README shows it: the module's address becomes the probe's target and the
    // series' instance; Prometheus itself asks the exporter.
    StartPrometheus(
        "global:\n"
        "  scrape_interval: 1s\n"
        "  scrape_timeout: 1s\n"
        "scrape_configs:\n"
        "  - job_name: kv3380u\n"
        "    metrics_path: /probe\n"
        "    static_configs:\n"
        "      - targets: ['" +
        Target(emu_) + "', '" + Target(second) + "', '" + Target(silent) +
        "']\n"
        "    relabel_configs:\n"
        "      - source_labels: [__address__]\n"
        "        target_label: __param_target\n"
        "      - source_labels: [__param_target]\n"
        "        target_label: instance\n"
        "      - target_label: __address__\n"
        "        replacement: 127.0.0.1:" +
        std::to_string(exporter.Port()) + "\n");

    std::map<std::string, std::string> up = Values("kv3380u_up", "instance", 3);
    ASSERT_EQ(up.size(), 3u);
    EXPECT_EQ(up[Target(emu_)], "1");
    EXPECT_EQ(up[Target(second)], "1");
    EXPECT_EQ(up[Target(silent)], "0");

    // The module's own figures arrived too, labelled by the module.
    const HttpAnswer info =
        HttpGet(web_, "/api/v1/query?query=kv3380u_module_info", {}, std::chrono::seconds(5));
    ASSERT_EQ(info.status, 200) << info.body;
    EXPECT_NE(info.body.find("\"instance\":\"" + Target(emu_) + "\""), std::string::npos)
        << info.body;
    EXPECT_NE(info.body.find("\"type\":\"" + std::string(emu::kModuleType) + "\""),
              std::string::npos)
        << info.body;
    EXPECT_EQ(info.body.find("\"instance\":\"" + Target(silent) + "\""), std::string::npos)
        << info.body;
    EXPECT_EQ(exporter.Stop().code, 0);
}

// Over TLS, with a client certificate and a user's password, as Prometheus's own client
// speaks them: the modules and the exporter's own figures both arrive.
TEST_F(PrometheusTest, ScrapesThroughTlsWithACertificateAndAPassword) {
    const TestCertificates& c = TestCertificates::Get();
    ASSERT_TRUE(c.Ok());
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    WriteBytes(File("web.yml"), c.WebConfig("tajne"));
    ExporterProcess exporter;
    ASSERT_TRUE(exporter.Start({"--settings", Settings(), "--kind", "LAN", "--timeout", "300",
                                "--web.config.file", File("web.yml")}));
    const std::string client =
        "    scheme: https\n"
        "    tls_config:\n"
        "      ca_file: " +
        c.File("ca.pem") +
        "\n"
        "      cert_file: " +
        c.File("client.pem") +
        "\n"
        "      key_file: " +
        c.File("client.key") +
        "\n"
        "    basic_auth:\n"
        "      username: prometheus\n"
        "      password: tajne\n";
    const std::string address = "127.0.0.1:" + std::to_string(exporter.Port());
    StartPrometheus(
        "global:\n"
        "  scrape_interval: 1s\n"
        "  scrape_timeout: 1s\n"
        "scrape_configs:\n"
        "  - job_name: kv3380u\n"
        "    metrics_path: /probe\n" +
        client +
        "    static_configs:\n"
        "      - targets: ['" +
        Target(emu_) +
        "']\n"
        "    relabel_configs:\n"
        "      - source_labels: [__address__]\n"
        "        target_label: __param_target\n"
        "      - source_labels: [__param_target]\n"
        "        target_label: instance\n"
        "      - target_label: __address__\n"
        "        replacement: " +
        address +
        "\n"
        "  - job_name: kv3380u_exporter\n" +
        client +
        "    static_configs:\n"
        "      - targets: ['" +
        address + "']\n");
    std::map<std::string, std::string> up = Values("up", "job", 2);
    EXPECT_EQ(up["kv3380u"], "1");
    EXPECT_EQ(up["kv3380u_exporter"], "1");
    const std::map<std::string, std::string> module = Values("kv3380u_up", "instance", 1);
    EXPECT_EQ(module.count(Target(emu_)) ? module.at(Target(emu_)) : "", "1");
    EXPECT_EQ(exporter.Stop().code, 0);
}

}  // namespace
}  // namespace kv::testing
