#include "cli/ExporterWeb.h"

#include <crypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <yaml-cpp/yaml.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/FileAccess.h"

namespace kv::cli {
namespace {

constexpr std::size_t kMaxFile = 1 << 20;

// A mistake of the file, at a node's line.
struct Mistake {
    std::string text;
};

[[noreturn]] void Fail(const YAML::Node& node, const std::string& text) {
    const int line = node.Mark().line;
    throw Mistake{(line >= 0 ? std::to_string(line + 1) + ": " : std::string(": ")) + text};
}

std::string Text(const YAML::Node& node, const std::string& key) {
    if (!node.IsScalar()) Fail(node, key + ": čeká se text");
    return node.Scalar();
}

// The keys of a map, each once; `read` handles each known key, `unsupported` lists the
// keys of the format that this exporter does not do.
void ReadMap(const YAML::Node& map, const std::string& where,
             const std::map<std::string, std::function<void(const YAML::Node&)>>& read,
             const std::set<std::string>& unsupported = {}) {
    if (map.IsNull()) return;
    if (!map.IsMap()) Fail(map, where + ": čeká se mapa klíčů");
    std::set<std::string> seen;
    for (const auto& entry : map) {
        const std::string key = Text(entry.first, "klíč");
        const std::string named = where.empty() ? key : where + "." + key;
        if (!seen.insert(key).second) Fail(entry.first, named + " je v souboru podruhé");
        if (unsupported.count(key) != 0)
            Fail(entry.first, named + ": tento exportér tuto volbu nepodporuje");
        const auto handler = read.find(key);
        if (handler == read.end()) {
            std::string known;
            for (const auto& [name, unused] : read) known += (known.empty() ? "" : ", ") + name;
            Fail(entry.first, "neznámý klíč " + named + " (známé: " + known + ")");
        }
        handler->second(entry.second);
    }
}

// A file the configuration names, relative to the configuration's folder.
std::string ReadNamed(const YAML::Node& node, const std::string& key, const std::string& folder) {
    std::string path = Text(node, key);
    if (path.empty()) Fail(node, key + ": chybí název souboru");
    if (path.front() != '/') path = folder + path;
    platform::FileBytes file = platform::ReadSmallFile(path, kMaxFile);
    if (file.status != platform::FileBytes::Status::kRead)
        Fail(node, key + ": " + path + " nelze přečíst: " +
                       (file.status == platform::FileBytes::Status::kMissing ? "soubor neexistuje"
                        : file.status == platform::FileBytes::Status::kTooLarge
                            ? "soubor je větší než 1 MiB"
                            : file.reason));
    return file.bytes;
}

std::string TlsVersion(const YAML::Node& node, const std::string& key) {
    const std::string version = Text(node, key);
    for (const char* known : {"TLS10", "TLS11", "TLS12", "TLS13"})
        if (version == known) return version;
    Fail(node, key + ": „" + version + "“ není verze TLS (TLS10, TLS11, TLS12, TLS13)");
}

bool IsBcrypt(const std::string& hash) {
    const bool prefix =
        hash.rfind("$2a$", 0) == 0 || hash.rfind("$2b$", 0) == 0 || hash.rfind("$2y$", 0) == 0;
    return prefix && crypt_checksalt(hash.c_str()) == CRYPT_SALT_OK;
}

// The certificate and key (and the clients' authorities) as GnuTLS will take them.
std::optional<std::string> TlsFilesError(const WebConfig& config) {
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS)
        return "GnuTLS nelze připravit";
    auto datum = [](const std::string& text) {
        return gnutls_datum_t{reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                              static_cast<unsigned>(text.size())};
    };
    const gnutls_datum_t cert = datum(config.certPem);
    const gnutls_datum_t key = datum(config.keyPem);
    std::optional<std::string> error;
    int code = gnutls_certificate_set_x509_key_mem(credentials, &cert, &key, GNUTLS_X509_FMT_PEM);
    if (code < 0) {
        error = std::string("tls_server_config: certifikát a klíč nelze použít: ") +
                gnutls_strerror(code);
    } else if (!config.clientCaPem.empty()) {
        const gnutls_datum_t ca = datum(config.clientCaPem);
        code = gnutls_certificate_set_x509_trust_mem(credentials, &ca, GNUTLS_X509_FMT_PEM);
        if (code <= 0)
            error = std::string("tls_server_config.client_ca_file: v souboru není certifikát") +
                    (code < 0 ? std::string(": ") + gnutls_strerror(code) : "");
    }
    gnutls_certificate_free_credentials(credentials);
    return error;
}

}  // namespace

std::optional<std::string> ReadWebConfig(const std::string& path, WebConfig& config) {
    config = WebConfig{};
    platform::FileBytes file = platform::ReadSmallFile(path, kMaxFile);
    using Status = platform::FileBytes::Status;
    if (file.status == Status::kMissing) return path + ": soubor neexistuje";
    if (file.status == Status::kTooLarge) return path + ": soubor je větší než 1 MiB";
    if (file.status != Status::kRead) return path + ": soubor nelze přečíst: " + file.reason;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    try {
        const YAML::Node root = YAML::Load(file.bytes);
        std::string clientAuth;
        bool clientCa = false;
        bool tlsGiven = false;
        bool certGiven = false;
        bool keyGiven = false;
        YAML::Node tlsNode;
        ReadMap(
            root, "",
            {{"tls_server_config",
              [&](const YAML::Node& tls) {
                  tlsGiven = !tls.IsNull();
                  tlsNode = tls;
                  ReadMap(tls, "tls_server_config",
                          {{"cert_file",
                            [&](const YAML::Node& n) {
                                config.certPem = ReadNamed(n, "cert_file", folder);
                                certGiven = true;
                            }},
                           {"key_file",
                            [&](const YAML::Node& n) {
                                config.keyPem = ReadNamed(n, "key_file", folder);
                                keyGiven = true;
                            }},
                           {"client_ca_file",
                            [&](const YAML::Node& n) {
                                config.clientCaPem = ReadNamed(n, "client_ca_file", folder);
                                clientCa = true;
                            }},
                           {"client_auth_type",
                            [&](const YAML::Node& n) {
                                clientAuth = Text(n, "client_auth_type");
                                static const std::map<std::string, ClientAuth> kinds = {
                                    {"NoClientCert", ClientAuth::kNone},
                                    {"RequestClientCert", ClientAuth::kRequest},
                                    {"RequireAnyClientCert", ClientAuth::kRequireAny},
                                    {"VerifyClientCertIfGiven", ClientAuth::kVerifyIfGiven},
                                    {"RequireAndVerifyClientCert", ClientAuth::kRequireAndVerify}};
                                const auto kind = kinds.find(clientAuth);
                                if (kind == kinds.end())
                                    Fail(n, "client_auth_type: „" + clientAuth +
                                                "“ neznám (NoClientCert, RequestClientCert, "
                                                "RequireAnyClientCert, VerifyClientCertIfGiven, "
                                                "RequireAndVerifyClientCert)");
                                config.clientAuth = kind->second;
                            }},
                           {"min_version",
                            [&](const YAML::Node& n) {
                                config.minVersion = TlsVersion(n, "min_version");
                            }},
                           {"max_version",
                            [&](const YAML::Node& n) {
                                config.maxVersion = TlsVersion(n, "max_version");
                            }}},
                          {"cert", "key", "client_ca", "cipher_suites", "curve_preferences",
                           "prefer_server_cipher_suites", "client_allowed_sans"});
              }},
             {"basic_auth_users",
              [&](const YAML::Node& users) {
                  if (!users.IsNull() && !users.IsMap())
                      Fail(users, "basic_auth_users: čeká se mapa uživatel: hash");
                  std::set<std::string> seen;
                  for (const auto& entry : users) {
                      const std::string user = Text(entry.first, "uživatel");
                      if (user.empty() || user.find(':') != std::string::npos)
                          Fail(entry.first, "basic_auth_users: „" + user +
                                                "“ není jméno uživatele (neprázdné, bez :)");
                      if (!seen.insert(user).second)
                          Fail(entry.first,
                               "basic_auth_users: uživatel " + user + " je v souboru podruhé");
                      const std::string hash = Text(entry.second, user);
                      if (!IsBcrypt(hash))
                          Fail(entry.second, "basic_auth_users." + user +
                                                 ": heslo musí být hash bcrypt ($2y$…, $2b$…, "
                                                 "$2a$…), třeba z htpasswd -nBC 10");
                      config.users[user] = hash;
                  }
              }},
             {"http_server_config", [&](const YAML::Node& http) {
                  ReadMap(http, "http_server_config",
                          {{"http2",
                            [&](const YAML::Node& n) {
                                const std::string value = Text(n, "http2");
                                if (value != "true" && value != "false")
                                    Fail(n, "http_server_config.http2: čeká se true nebo false");
                            }}},
                          {"headers"});
              }}});
        if (tlsGiven) {
            if (!certGiven || !keyGiven)
                Fail(tlsNode, "tls_server_config: chybí cert_file nebo key_file");
            config.tls = true;
            // As Prometheus's exporters do: authorities without a type require and verify.
            if (clientCa && clientAuth.empty()) config.clientAuth = ClientAuth::kRequireAndVerify;
            if (config.clientAuth != ClientAuth::kNone && !clientCa)
                Fail(tlsNode, "tls_server_config: client_auth_type " + clientAuth +
                                  " potřebuje client_ca_file (certifikáty klientů se žádají "
                                  "jen s ním)");
            if (config.minVersion > config.maxVersion)
                Fail(tlsNode, "tls_server_config: min_version je vyšší než max_version");
            if (auto error = TlsFilesError(config)) Fail(tlsNode, *error);
        }
    } catch (const Mistake& mistake) {
        config = WebConfig{};
        return path + ":" + mistake.text;
    } catch (const YAML::Exception& e) {
        config = WebConfig{};
        return path + ":" + std::to_string(e.mark.line + 1) + ": není to YAML: " + e.msg;
    }
    return std::nullopt;
}

std::string TlsPriorities(const WebConfig& config) {
    std::string priorities = "NORMAL:-VERS-ALL";
    const std::vector<std::pair<std::string, std::string>> versions = {{"TLS13", "+VERS-TLS1.3"},
                                                                       {"TLS12", "+VERS-TLS1.2"},
                                                                       {"TLS11", "+VERS-TLS1.1"},
                                                                       {"TLS10", "+VERS-TLS1.0"}};
    for (const auto& [name, token] : versions)
        if (name >= config.minVersion && name <= config.maxVersion) priorities += ":" + token;
    return priorities;
}

std::string PasswordCheck::Digest(const std::string& user, const std::string& password,
                                  const std::string& hash) {
    const std::string text = user + '\0' + password + '\0' + hash;
    unsigned char digest[32];
    gnutls_hash_fast(GNUTLS_DIG_SHA256, text.data(), text.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::optional<bool> PasswordCheck::Quick(const std::string& user,
                                         const std::string& password) const {
    const auto found = users_.find(user);
    if (found == users_.end()) return std::nullopt;
    std::lock_guard lock(mutex_);
    if (matched_.count(Digest(user, password, found->second)) != 0) return true;
    return std::nullopt;
}

bool PasswordCheck::Slow(const std::string& user, const std::string& password) {
    if (users_.empty()) return false;
    const auto found = users_.find(user);
    // An unknown user is checked against a known user's hash, so that the time taken does
    // not tell which users exist.
    const std::string& hash = found != users_.end() ? found->second : users_.begin()->second;
    crypt_data data;
    std::memset(&data, 0, sizeof data);
    const char* result = crypt_rn(password.c_str(), hash.c_str(), &data, sizeof data);
    bool match = result != nullptr && found != users_.end() && std::strlen(result) == hash.size();
    // Compared whole, whatever the first difference.
    unsigned char difference = 0;
    for (std::size_t i = 0; match && i < hash.size(); ++i)
        difference |= static_cast<unsigned char>(result[i] ^ hash[i]);
    match = match && difference == 0;
    if (match) {
        std::lock_guard lock(mutex_);
        if (matched_.size() >= kRemembered) matched_.clear();
        matched_.insert(Digest(user, password, hash));
    }
    return match;
}

}  // namespace kv::cli
