#include "tests/support/TlsFiles.h"

#include <crypt.h>

#include <cstdlib>
#include <cstring>

namespace kv::testing {

const TestCertificates& TestCertificates::Get() {
    static const TestCertificates made;
    return made;
}

TestCertificates::TestCertificates() {
    const std::string d = dir_.Path() + "/";
    WriteBytes(d + "server.ext", "subjectAltName=IP:127.0.0.1\n");
    WriteBytes(d + "client.ext", "extendedKeyUsage=clientAuth\n");
    auto key = [&](const std::string& name) {
        return " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " + d + name + ".key";
    };
    auto sign = [&](const std::string& name) {
        return "openssl x509 -req -days 2 -in " + d + name + ".csr -CA " + d + "ca.pem -CAkey " +
               d + "ca.key -CAcreateserial -out " + d + name + ".pem -extfile " + d + name + ".ext";
    };
    const std::string commands[] = {
        "openssl req -x509 -days 2 -subj /CN=kv-test-ca" + key("ca") + " -out " + d + "ca.pem",
        "openssl req -subj /CN=127.0.0.1" + key("server") + " -out " + d + "server.csr",
        sign("server"),
        "openssl req -subj /CN=prometheus" + key("client") + " -out " + d + "client.csr",
        sign("client"),
        "openssl req -x509 -days 2 -subj /CN=stranger" + key("stranger") + " -out " + d +
            "stranger.pem",
    };
    ok_ = dir_.Ok();
    for (const std::string& command : commands)
        ok_ = ok_ && std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string TestCertificates::WebConfig(const std::string& password) const {
    return "tls_server_config:\n  cert_file: " + File("server.pem") +
           "\n  key_file: " + File("server.key") + "\n  client_ca_file: " + File("ca.pem") +
           "\nbasic_auth_users:\n  prometheus: " + BcryptHash(password) + "\n";
}

std::string BcryptHash(const std::string& password, const char* prefix) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn(prefix, 4, nullptr, 0, salt, sizeof salt) == nullptr) return {};
    crypt_data data;
    std::memset(&data, 0, sizeof data);
    const char* hash = crypt_rn(password.c_str(), salt, &data, sizeof data);
    return hash != nullptr ? hash : "";
}

}  // namespace kv::testing
