// The exporter's HTTP side on libmicrohttpd: one thread for each core watches every
// connection (epoll) and none is given to a client, so slow or idle clients cost a socket
// and a little memory, never a thread; their number is bounded per client address and in
// all, and a connection silent for 10 s is closed. A probe suspends its connection until
// the probe engine hands over the answer; a password is checked with bcrypt on a thread of
// its own. TLS through GnuTLS, as the web configuration file says.

#include <gnutls/gnutls.h>
#include <microhttpd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "cli/Exporter.h"
#include "cli/ExporterWeb.h"
#include "cli/Fleet.h"
#include "core/Version.h"
#include "platform/Listening.h"
#include "platform/ProcessFigures.h"
#include "transport/InterfaceKinds.h"

namespace kv::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";
constexpr const char* kPlain = "text/plain; charset=utf-8";
// Connections that may wait to be taken: a whole fleet's probes at once.
constexpr int kListenQueue = 256;
// Connections at once, in all and from one client address; a slow or idle client holds
// one only for so long without sending anything.
constexpr unsigned kMaxConnections = 768;
constexpr unsigned kMaxPerClient = 384;
constexpr unsigned kIdleSeconds = 10;
constexpr std::size_t kConnectionMemory = 16 * 1024;
// Without the header: Prometheus's own default scrape time-out.
constexpr double kDefaultScrapeSeconds = 10;
constexpr double kLongestScrapeSeconds = 300;
// Password checks waiting for the bcrypt thread; beyond, a client is told to come again.
constexpr std::size_t kMaxPendingChecks = 64;

// A little before Prometheus gives up, so that its answer still arrives.
Clock::time_point Deadline(const char* header) {
    double seconds = kDefaultScrapeSeconds;
    if (header != nullptr) {
        try {
            seconds = std::stod(header);
        } catch (const std::exception&) {
            seconds = kDefaultScrapeSeconds;
        }
    }
    if (!(seconds > 0)) seconds = kDefaultScrapeSeconds;
    seconds = std::min(seconds, kLongestScrapeSeconds);
    const double margin = std::clamp(seconds * 0.1, 0.05, 0.5);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(seconds - margin));
}

std::string LandingPage() {
    return "<html><head><title>kv3380u exporter</title></head><body>\n"
           "<h1>kv3380u exporter</h1>\n"
           "<p><a href=\"/metrics\">/metrics</a>: údaje exportéru</p>\n"
           "<p>/probe?target=IP:PORT: stav modulu</p>\n"
           "<p><a href=\"/-/healthy\">/-/healthy</a>: exportér běží</p>\n"
           "</body></html>\n";
}

std::string Line(const std::string& name, const char* type, const char* help,
                 const std::string& value, const std::string& labels = "") {
    return "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name +
           (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
}

std::string Whole(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The process_* metrics every Prometheus exporter gives, and the build.
std::string ProcessMetrics() {
    std::string text = Line("kv3380u_exporter_build_info", "gauge", "Verze exportéru.", "1",
                            "version=\"" + LabelValue(kv::kProgramVersion) + "\"");
    const auto figures = platform::ReadProcessFigures();
    if (!figures) return text;
    const auto& f = *figures;
    return text +
           Line("process_cpu_seconds_total", "counter",
                "Total user and system CPU time spent in seconds.", Whole(f.cpuSeconds)) +
           Line("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
                std::to_string(f.residentBytes)) +
           Line("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.",
                std::to_string(f.virtualBytes)) +
           Line("process_start_time_seconds", "gauge",
                "Start time of the process since unix epoch in seconds.",
                Whole(f.startTimeSeconds)) +
           Line("process_open_fds", "gauge", "Number of open file descriptors.",
                std::to_string(f.openDescriptors)) +
           Line("process_max_fds", "gauge", "Maximum number of open file descriptors.",
                std::to_string(f.maxDescriptors)) +
           Line("process_threads", "gauge", "Number of OS threads in the process.",
                std::to_string(f.threads));
}

// A queue of jobs on one thread of its own: the bcrypt checks.
class JobThread {
  public:
    JobThread() : thread_([this] { Run(); }) {}
    ~JobThread() { Stop(); }
    // Whether a job would be taken now.
    bool Free() {
        std::lock_guard lock(mutex_);
        return jobs_.size() < kMaxPendingChecks && !stopping_;
    }
    // Runs the job on the thread, or at once on this one when the thread has ended.
    void Post(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            if (!stopping_) {
                jobs_.push_back(std::move(job));
                changed_.notify_one();
                return;
            }
        }
        job();
    }
    // Runs what waits, then ends.
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

  private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

// One request, from its headers to its answer.
struct Request {
    std::mutex mutex;
    enum class Auth { kUnchecked, kGood, kBad } auth = Auth::kUnchecked;
    bool answered = false;  // an answer waits to be sent (after a resume)
    int status = 200;
    std::string body;
    const char* type = kPlain;
};

struct Server {
    ProbeEngine& engine;
    const WebConfig& web;
    PasswordCheck passwords;
    JobThread checks;
    MHD_Daemon* daemon = nullptr;
    std::mutex mutex;
    std::uint64_t unauthorized = 0;
    std::uint64_t badCertificates = 0;

    std::string Metrics() {
        std::string text = engine.OwnMetrics();
        const MHD_DaemonInfo* info =
            daemon != nullptr ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS)
                              : nullptr;
        if (info != nullptr)
            text += Line("kv3380u_exporter_http_connections", "gauge",
                         "Otevřená spojení HTTP klientů.", std::to_string(info->num_connections));
        std::lock_guard lock(mutex);
        return text +
               Line("kv3380u_exporter_unauthorized_requests_total", "counter",
                    "Požadavky bez platného jména a hesla.", std::to_string(unauthorized)) +
               Line("kv3380u_exporter_bad_client_certificates_total", "counter",
                    "Požadavky bez platného klientského certifikátu.",
                    std::to_string(badCertificates)) +
               ProcessMetrics();
    }
};

MHD_Result Send(MHD_Connection* connection, int status, const std::string& body, const char* type,
                bool askForPassword = false) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    const MHD_Result queued =
        askForPassword ? MHD_queue_basic_auth_fail_response(connection, "kv3380u", response)
                       : MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

// The client's certificate as the configuration asks: the reason when it does not do.
std::optional<std::string> CertificateProblem(MHD_Connection* connection, ClientAuth auth) {
    if (auth == ClientAuth::kNone || auth == ClientAuth::kRequest) return std::nullopt;
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    if (info == nullptr || info->tls_session == nullptr) return "spojení není TLS";
    auto session = static_cast<gnutls_session_t>(info->tls_session);
    unsigned count = 0;
    const gnutls_datum_t* chain = gnutls_certificate_get_peers(session, &count);
    const bool given = chain != nullptr && count > 0;
    const bool required = auth == ClientAuth::kRequireAny || auth == ClientAuth::kRequireAndVerify;
    if (!given)
        return required ? std::optional<std::string>("chybí klientský certifikát") : std::nullopt;
    if (auth == ClientAuth::kRequireAny) return std::nullopt;
    unsigned status = 0;
    if (gnutls_certificate_verify_peers2(session, &status) != GNUTLS_E_SUCCESS || status != 0)
        return "klientský certifikát nepodepsala žádná autorita z client_ca_file, nebo neplatí";
    return std::nullopt;
}

MHD_Result Handle(void* context, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, size_t* uploadSize, void** state) {
    Server& server = *static_cast<Server*>(context);
    if (*state == nullptr) {
        *state = new std::shared_ptr<Request>(std::make_shared<Request>());
        return MHD_YES;
    }
    const std::shared_ptr<Request> request = *static_cast<std::shared_ptr<Request>*>(*state);
    // A body is read and ignored: nothing here takes one.
    if (*uploadSize != 0) {
        *uploadSize = 0;
        return MHD_YES;
    }
    {
        std::lock_guard lock(request->mutex);
        if (request->answered)
            return Send(connection, request->status, request->body, request->type);
    }
    const std::string verb = method;
    if (verb != "GET" && verb != "HEAD") return Send(connection, 405, "jen GET\n", kPlain);

    if (server.web.tls) {
        if (auto problem = CertificateProblem(connection, server.web.clientAuth)) {
            {
                std::lock_guard lock(server.mutex);
                ++server.badCertificates;
            }
            return Send(connection, 403, *problem + "\n", kPlain);
        }
    }
    if (!server.web.users.empty()) {
        Request::Auth auth;
        {
            std::lock_guard lock(request->mutex);
            auth = request->auth;
        }
        if (auth == Request::Auth::kUnchecked) {
            char* password = nullptr;
            char* user = MHD_basic_auth_get_username_password(connection, &password);
            const std::string name = user != nullptr ? user : "";
            const std::string secret = password != nullptr ? password : "";
            MHD_free(user);
            MHD_free(password);
            if (user == nullptr) {
                auth = Request::Auth::kBad;
            } else if (server.passwords.Quick(name, secret).value_or(false)) {
                auth = Request::Auth::kGood;
            } else if (!server.checks.Free()) {
                return Send(connection, 503, "příliš mnoho ověřování hesel najednou\n", kPlain);
            } else {
                // bcrypt takes tens of milliseconds: not on a thread that serves connections.
                MHD_suspend_connection(connection);
                server.checks.Post([&server, request, connection, name, secret] {
                    const bool good = server.passwords.Slow(name, secret);
                    {
                        std::lock_guard lock(request->mutex);
                        request->auth = good ? Request::Auth::kGood : Request::Auth::kBad;
                    }
                    MHD_resume_connection(connection);
                });
                return MHD_YES;
            }
        }
        if (auth != Request::Auth::kGood) {
            {
                std::lock_guard lock(server.mutex);
                ++server.unauthorized;
            }
            return Send(connection, 401, "chybí platné jméno a heslo\n", kPlain, true);
        }
    }

    const std::string path = url;
    if (path == "/probe") {
        const char* target =
            MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "target");
        if (target == nullptr)
            return Send(connection, 400, "chybí parametr target (/probe?target=IP:PORT)\n", kPlain);
        const auto deadline = Deadline(MHD_lookup_connection_value(
            connection, MHD_HEADER_KIND, "X-Prometheus-Scrape-Timeout-Seconds"));
        // The connection waits, suspended, for the engine's answer; no thread waits.
        MHD_suspend_connection(connection);
        server.engine.Probe(target, deadline, [request, connection](ProbeAnswer answer) {
            {
                std::lock_guard lock(request->mutex);
                request->answered = true;
                request->status = answer.status;
                request->body = std::move(answer.body);
                request->type = answer.status == 200 ? kExposition : kPlain;
            }
            MHD_resume_connection(connection);
        });
        return MHD_YES;
    }
    if (path == "/metrics") return Send(connection, 200, server.Metrics(), kExposition);
    if (path == "/-/healthy") return Send(connection, 200, "Healthy\n", kPlain);
    if (path == "/") return Send(connection, 200, LandingPage(), "text/html; charset=utf-8");
    return Send(connection, 404, "nic takového tu není (/probe, /metrics, /-/healthy)\n", kPlain);
}

void Completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    delete static_cast<std::shared_ptr<Request>*>(*state);
    *state = nullptr;
}

// libmicrohttpd's own messages: the last one says why the daemon did not start.
void Logger(void* context, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string& last = *static_cast<std::string*>(context);
    last = text;
    while (!last.empty() && (last.back() == '\n' || last.back() == ' ')) last.pop_back();
}

bool IsLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0;
}

}  // namespace

int RunExporter(const ConnectionOptions& options, const ExporterOptions& exporter, Output& out,
                const RunControl& control) {
    ConnectionSettings stored;
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, "exporter")) return code;
    if (!ExporterTakesKind(input.kind))
        return UsageMistake(
            std::string("exportér se ptá modulů na síti (cíl IP:PORT); rozhraní ") +
                FindInterfaceKind(input.kind)->name + " (" + std::to_string(input.kind) +
                ") takové cíle nebere: zvolte --kind LAN, \"LAN QUDP\" nebo KV-3380",
            "exporter", out);
    WebConfig web;
    if (!exporter.webConfigFile.empty()) {
        if (auto error = ReadWebConfig(exporter.webConfigFile, web))
            return UsageMistake("--web.config.file: " + *error, "exporter", out);
    }
    std::uint32_t loadCode = 0;
    std::shared_ptr<const LoadedLibrary> library = LoadedLibrary::Load(input.kind, loadCode);
    if (library == nullptr) {
        out.Report("kv3380u: " + ErrorString(input.kind, loadCode));
        ReportLoadFailure(input.kind, out);
        return kExitConnection;
    }

    const auto [address, port] = ListenAddress(exporter.listen);
    const platform::ListeningSocket listening =
        platform::OpenListeningSocket(address, port, kListenQueue);
    if (listening.socket < 0) {
        out.Report("kv3380u: na " + address + ":" + std::to_string(port) +
                   " nelze naslouchat: " + listening.error);
        return kExitConnection;
    }
    if (!IsLoopback(address) && exporter.allow.empty())
        out.Report(
            "kv3380u exporter: naslouchá i mimo tento počítač a --allow neomezuje, na "
            "které moduly se smí ptát: kdo port dosáhne, pošle dotaz kamkoli");

    ProbeEngine engine(stored, input, library, exporter.allow, out);
    Server server{engine, web, PasswordCheck(web.users), {}, nullptr, {}, 0, 0};
    std::string lastMessage;
    const std::string priorities = TlsPriorities(web);
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME |
                     MHD_USE_ERROR_LOG;
    if (web.tls) flags |= MHD_USE_TLS;
    std::vector<MHD_OptionItem> items = {
        {MHD_OPTION_LISTEN_SOCKET, listening.socket, nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, 2, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMaxPerClient, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Completed), nullptr},
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Logger), &lastMessage},
    };
    if (web.tls) {
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(web.certPem.c_str())});
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(web.keyPem.c_str())});
        items.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(priorities.c_str())});
        if (web.clientAuth != ClientAuth::kNone)
            items.push_back(
                {MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char*>(web.clientCaPem.c_str())});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    server.daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Handle, &server, MHD_OPTION_ARRAY,
                                     items.data(), MHD_OPTION_END);
    if (server.daemon == nullptr) {
        platform::CloseListeningSocket(listening.socket);
        out.Report("kv3380u: server HTTP nelze spustit" +
                   (lastMessage.empty() ? std::string() : ": " + lastMessage));
        engine.Shutdown();
        return kExitConnection;
    }
    out.Print(std::string("Exportér naslouchá na ") + (web.tls ? "https" : "http") + "://" +
              address + ":" + std::to_string(listening.port) + "/");
    while (!control.Stopped()) control.Wait(std::chrono::milliseconds(200));
    // No new connection; every waiting probe and password check is answered, which wakes
    // its connection, before the server stops.
    const MHD_socket quiet = MHD_quiesce_daemon(server.daemon);
    const std::size_t open = engine.OpenConnections();
    engine.Shutdown();
    server.checks.Stop();
    MHD_stop_daemon(server.daemon);
    platform::CloseListeningSocket(quiet);
    out.Report("Exportér končí; zavřeno spojení: " + std::to_string(open));
    return kExitOk;
}

}  // namespace kv::cli
