#pragma once

// The exporter's web configuration file, in the format Prometheus's exporters share
// (--web.config.file): TLS (tls_server_config) and users with bcrypt hashes of their
// passwords (basic_auth_users). Read strictly: a key the format does not know, a key this
// exporter does not support, a key twice, a value of the wrong form or a file that cannot
// be used is a mistake said with its line, and the exporter does not start. Built with the
// HTTP server (yaml-cpp, GnuTLS, libxcrypt).

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace kv::cli {

// Go's tls.ClientAuthType, by the names the format uses.
enum class ClientAuth { kNone, kRequest, kRequireAny, kVerifyIfGiven, kRequireAndVerify };

struct WebConfig {
    bool tls = false;
    std::string certPem, keyPem, clientCaPem;  // the files' contents
    ClientAuth clientAuth = ClientAuth::kNone;
    std::string minVersion = "TLS12";  // TLS10 .. TLS13
    std::string maxVersion = "TLS13";
    std::map<std::string, std::string> users;  // user -> bcrypt hash
};

// Reads `path` (its relative file names are relative to its folder): nothing, and the
// configuration in `config`; or what is wrong ("web.yml:4: …").
std::optional<std::string> ReadWebConfig(const std::string& path, WebConfig& config);
// GnuTLS's priority string for the versions the configuration allows.
std::string TlsPriorities(const WebConfig& config);

// Whether a user's password matches the bcrypt hash of the configuration. bcrypt is slow
// by design (tens of milliseconds): a password that matched once is remembered (by a
// digest, not as text) and then known at once. Thread-safe.
class PasswordCheck {
  public:
    explicit PasswordCheck(std::map<std::string, std::string> users) : users_(std::move(users)) {}
    // True for a pair that matched before; nothing when only the slow check can tell.
    std::optional<bool> Quick(const std::string& user, const std::string& password) const;
    // The slow check; a user not configured costs as much as one who is.
    bool Slow(const std::string& user, const std::string& password);

  private:
    static std::string Digest(const std::string& user, const std::string& password,
                              const std::string& hash);
    static constexpr std::size_t kRemembered = 64;
    std::map<std::string, std::string> users_;
    mutable std::mutex mutex_;
    std::set<std::string> matched_;
};

}  // namespace kv::cli
