// The exporter's web configuration file: read as Prometheus's exporters write it, every
// mistake refused with its line; bcrypt passwords; and TLS with client certificates and
// users guarding the exporter on loopback, asked with curl.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/ExporterWeb.h"
#include "tests/e2e/CliEmulatorFixture.h"
#include "tests/support/ExporterProcess.h"
#include "tests/support/HttpGet.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TlsFiles.h"

namespace kv::testing {
namespace {

using cli::ClientAuth;
using cli::WebConfig;

// The configuration in a file beside the certificates, read.
std::optional<std::string> Read(const std::string& yaml, WebConfig& config) {
    const std::string path = TestCertificates::Get().File("web.yml");
    WriteBytes(path, yaml);
    return cli::ReadWebConfig(path, config);
}

TEST(WebConfig, ReadsTheFormatOfPrometheusExporters) {
    ASSERT_TRUE(TestCertificates::Get().Ok()) << "openssl could not make the certificates";
    const std::string hash = BcryptHash("tajne");
    WebConfig config;
    // Relative names are relative to the file's folder; quoting and comments as YAML has them.
    const auto error = Read(
        "# for kv3380u exporter\n"
        "tls_server_config:\n"
        "  cert_file: server.pem\n"
        "  key_file: \"" +
            TestCertificates::Get().File("server.key") +
            "\"\n"
            "  client_ca_file: ca.pem\n"
            "  min_version: TLS13\n"
            "http_server_config:\n"
            "  http2: false\n"
            "basic_auth_users:\n"
            "  prometheus: '" +
            hash +
            "'\n"
            "  grafana: " +
            BcryptHash("jine", "$2y$") + "\n",
        config);
    ASSERT_FALSE(error) << *error;
    EXPECT_TRUE(config.tls);
    EXPECT_EQ(config.certPem, ReadBytes(TestCertificates::Get().File("server.pem")));
    EXPECT_EQ(config.clientCaPem, ReadBytes(TestCertificates::Get().File("ca.pem")));
    // Authorities without a type: clients must show a certificate they signed.
    EXPECT_EQ(config.clientAuth, ClientAuth::kRequireAndVerify);
    EXPECT_EQ(cli::TlsPriorities(config), "NORMAL:-VERS-ALL:+VERS-TLS1.3");
    ASSERT_EQ(config.users.size(), 2u);
    EXPECT_EQ(config.users.at("prometheus"), hash);

    ASSERT_FALSE(Read("", config));
    EXPECT_FALSE(config.tls);
    EXPECT_TRUE(config.users.empty());
}

TEST(WebConfig, RefusesEveryMistakeWithItsLine) {
    ASSERT_TRUE(TestCertificates::Get().Ok());
    const std::string tls = "tls_server_config:\n  cert_file: server.pem\n  key_file: server.key\n";
    const struct {
        std::string yaml;
        std::string said;
    } cases[] = {
        {"tls_config:\n  cert_file: a\n", ":1: neznámý klíč tls_config (známé: basic_auth_users, "},
        {tls + "  cert: abc\n",
         ":4: tls_server_config.cert: tento exportér tuto volbu nepodporuje"},
        {tls + "  cipher_suites: [TLS_AES_128_GCM_SHA256]\n",
         ":4: tls_server_config.cipher_suites"},
        {tls + "  key_file: server.key\n", ":4: tls_server_config.key_file je v souboru podruhé"},
        {tls + "  client_auth_type: RequireClientCert\n",
         ":4: client_auth_type: „RequireClientCert“ neznám"},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n",
         "client_auth_type RequireAndVerifyClientCert potřebuje client_ca_file"},
        {"tls_server_config:\n  cert_file: server.pem\n",
         ":2: tls_server_config: chybí cert_file nebo key_file"},
        {"tls_server_config:\n  cert_file: nic.pem\n  key_file: server.key\n",
         ":2: cert_file: " + TestCertificates::Get().File("nic.pem") +
             " nelze přečíst: soubor neexistuje"},
        {"tls_server_config:\n  cert_file: server.pem\n  key_file: client.key\n",
         "tls_server_config: certifikát a klíč nelze použít: "},
        {tls + "  client_ca_file: server.key\n", "client_ca_file: v souboru není certifikát"},
        {tls + "  min_version: TLS14\n", ":4: min_version: „TLS14“ není verze TLS"},
        {tls + "  min_version: TLS13\n  max_version: TLS12\n",
         "min_version je vyšší než max_version"},
        {"basic_auth_users:\n  prometheus: tajne\n",
         ":2: basic_auth_users.prometheus: heslo musí být hash bcrypt"},
        {"basic_auth_users:\n  prometheus: $1$abc$defghijklmnopqrstuvwxy\n",
         "heslo musí být hash bcrypt"},
        {"basic_auth_users:\n  \"a:b\": " + BcryptHash("x") + "\n",
         ":2: basic_auth_users: „a:b“ není jméno"},
        {"basic_auth_users: [a, b]\n", ":1: basic_auth_users: čeká se mapa"},
        {"http_server_config:\n  headers:\n    X-A: b\n", ":2: http_server_config.headers: tento"},
        {"http_server_config:\n  http2: maybe\n",
         ":2: http_server_config.http2: čeká se true nebo"},
        {"tls_server_config: [\n", "není to YAML"},
        {"- a\n- b\n", ":1: : čeká se mapa klíčů"},
    };
    for (const auto& c : cases) {
        WebConfig config;
        const auto error = Read(c.yaml, config);
        ASSERT_TRUE(error) << c.yaml;
        EXPECT_NE(error->find(c.said), std::string::npos) << c.yaml << "\n" << *error;
        EXPECT_EQ(error->rfind(TestCertificates::Get().File("web.yml"), 0), 0u) << *error;
        EXPECT_FALSE(config.tls);
        EXPECT_TRUE(config.users.empty());
    }
    WebConfig config;
    EXPECT_NE(
        cli::ReadWebConfig(TestCertificates::Get().File("nic.yml"), config)->find("neexistuje"),
        std::string::npos);
}

TEST(PasswordCheck, MatchesBcryptAndRemembersOnlyWhatMatched) {
    cli::PasswordCheck check(
        {{"prometheus", BcryptHash("tajne")}, {"grafana", BcryptHash("jine", "$2y$")}});
    EXPECT_FALSE(check.Quick("prometheus", "tajne"));
    EXPECT_FALSE(check.Slow("prometheus", "Tajne"));
    EXPECT_FALSE(check.Slow("prometheus", "tajn"));
    EXPECT_FALSE(check.Slow("nikdo", "tajne"));
    EXPECT_FALSE(check.Slow("grafana", "tajne"));
    EXPECT_FALSE(check.Quick("prometheus", "Tajne"));
    EXPECT_TRUE(check.Slow("prometheus", "tajne"));
    EXPECT_TRUE(check.Slow("grafana", "jine"));
    EXPECT_EQ(check.Quick("prometheus", "tajne"), true);
    EXPECT_FALSE(check.Quick("prometheus", "jine"));
    EXPECT_FALSE(check.Quick("grafana", "tajne"));
}

struct Curled {
    int code = 0;  // 0: no HTTP answer (a refused handshake, no TLS)
    std::string body;
};

class ExporterWebTest : public CliEmulatorTest {
  protected:
    // curl as a client with these options against the exporter's path.
    Curled Curl(const std::string& options, const std::string& path) {
        const std::string out = File("curl.out");
        const std::string command =
            "curl -s --max-time 20 -o " + out + " -w '%{http_code}' " + options +
            " 'https://127.0.0.1:" + std::to_string(exporter_.Port()) + path + "' 2>/dev/null";
        Curled result;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char text[16] = {};
            if (std::fgets(text, sizeof text, pipe) != nullptr) result.code = std::atoi(text);
            pclose(pipe);
        }
        result.body = ReadBytes(out);
        std::remove(out.c_str());
        return result;
    }
    ExporterProcess exporter_;
};

// Over TLS, with a client certificate the authority signed and a user's password, and
// never without either.
TEST_F(ExporterWebTest, TlsAClientCertificateAndAPasswordGuardEveryPath) {
    const TestCertificates& c = TestCertificates::Get();
    ASSERT_TRUE(c.Ok());
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    WriteBytes(File("web.yml"), c.WebConfig("tajne"));
    ASSERT_TRUE(exporter_.Start(
        {"--settings", Settings(), "--kind", "LAN", "--web.config.file", File("web.yml")}));
    const std::string trust = "--cacert " + c.File("ca.pem");
    const std::string client =
        trust + " --cert " + c.File("client.pem") + " --key " + c.File("client.key");
    const std::string target =
        "/probe?target=" + emu_.Address() + ":" + std::to_string(emu_.ManagementPort());

    const Curled good = Curl(client + " -u prometheus:tajne", target);
    EXPECT_EQ(good.code, 200);
    EXPECT_EQ(SampleValue(good.body, "kv3380u_up"), 1) << good.body;
    EXPECT_EQ(Curl(client + " -u prometheus:tajne", "/-/healthy").code, 200);
    // The password remembered: asked again, it still must be the right one.
    EXPECT_EQ(Curl(client + " -u prometheus:tajne", "/metrics").code, 200);
    EXPECT_EQ(Curl(client + " -u prometheus:Tajne", "/metrics").code, 401);
    EXPECT_EQ(Curl(client + " -u grafana:tajne", "/metrics").code, 401);
    EXPECT_EQ(Curl(client, target).code, 401);
    const Curled noCertificate = Curl(trust + " -u prometheus:tajne", target);
    EXPECT_EQ(noCertificate.code, 403);
    EXPECT_NE(noCertificate.body.find("chybí klientský certifikát"), std::string::npos);
    const Curled stranger = Curl(trust + " --cert " + c.File("stranger.pem") + " --key " +
                                     c.File("stranger.key") + " -u prometheus:tajne",
                                 "/metrics");
    EXPECT_NE(stranger.code, 200);
    // Plain HTTP gets no answer at all.
    EXPECT_EQ(HttpGet(exporter_.Port(), "/metrics", {}, std::chrono::seconds(5)).status, 0);

    const Curled own = Curl(client + " -u prometheus:tajne", "/metrics");
    EXPECT_GE(SampleValue(own.body, "kv3380u_exporter_unauthorized_requests_total"), 3) << own.body;
    EXPECT_GE(SampleValue(own.body, "kv3380u_exporter_bad_client_certificates_total"), 1);
    EXPECT_EQ(SampleValue(own.body, "kv3380u_exporter_probes_total"), 1) << own.body;
    EXPECT_EQ(exporter_.Stop().code, 0);
}

TEST_F(ExporterWebTest, AWebConfigurationWithAMistakeStopsTheStart) {
    WriteBytes(File("web.yml"), "basic_auth_users:\n  prometheus: tajne\n");
    const CliOutcome run =
        RunCli({"exporter", "--settings", Settings(), "--kind", "LAN", "--listen", "127.0.0.1:0",
                "--web.config.file", File("web.yml")});
    EXPECT_EQ(run.code, 2) << run.err;
    EXPECT_NE(run.err.find("--web.config.file: " + File("web.yml") +
                           ":2: basic_auth_users.prometheus: heslo musí být hash bcrypt"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("naslouchá"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace kv::testing
