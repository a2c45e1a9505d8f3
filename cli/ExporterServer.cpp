// The exporter's HTTP side on cpp-httplib: its own pool of threads, so that probes of
// different modules run side by side and a slow or vanished client holds one thread for
// no longer than the read and write time-outs.

#include <httplib.h>

#include <algorithm>
#include <string>
#include <thread>

#include "cli/Exporter.h"
#include "cli/Fleet.h"
#include "platform/Listening.h"

namespace kv::cli {
namespace {

constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";
constexpr std::size_t kThreads = 64;
// Connections that may wait to be taken: a whole fleet's probes at once.
constexpr int kListenQueue = 256;
// Without the header: Prometheus's own default scrape time-out.
constexpr double kDefaultScrapeSeconds = 10;
constexpr double kLongestScrapeSeconds = 300;

// A little before Prometheus gives up, so that its answer still arrives.
std::chrono::steady_clock::time_point Deadline(const httplib::Request& request) {
    double seconds = kDefaultScrapeSeconds;
    if (request.has_header("X-Prometheus-Scrape-Timeout-Seconds")) {
        try {
            seconds = std::stod(request.get_header_value("X-Prometheus-Scrape-Timeout-Seconds"));
        } catch (const std::exception&) {
            seconds = kDefaultScrapeSeconds;
        }
    }
    if (!(seconds > 0)) seconds = kDefaultScrapeSeconds;
    seconds = std::min(seconds, kLongestScrapeSeconds);
    const double margin = std::clamp(seconds * 0.1, 0.05, 0.5);
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               std::chrono::duration<double>(seconds - margin));
}

std::string LandingPage() {
    return "<html><head><title>kv3380u exporter</title></head><body>\n"
           "<h1>kv3380u exporter</h1>\n"
           "<p><a href=\"/metrics\">/metrics</a>: údaje exportéru</p>\n"
           "<p>/probe?target=IP:PORT: stav modulu</p>\n"
           "</body></html>\n";
}

}  // namespace

int RunExporter(const ConnectionOptions& options, const ExporterOptions& exporter, Output& out,
                const RunControl& control) {
    ConnectionSettings stored;
    ConnectionRequest input;
    if (const int code = PrepareConnection(options, stored, input, out, "exporter")) return code;
    std::uint32_t loadCode = 0;
    const std::uint8_t kind = input.kind;
    std::shared_ptr<const LoadedLibrary> library = LoadedLibrary::Load(kind, loadCode);
    if (library == nullptr) {
        out.Report("kv3380u: " + ErrorString(kind, loadCode));
        return kExitConnection;
    }
    ProbeEngine engine(stored, input, library);

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_timeout(5);
    // cpp-httplib listens with a queue of 5: the socket is kept to lengthen it.
    int listening = -1;
    server.set_socket_options([&listening](socket_t socket) {
        httplib::default_socket_options(socket);
        listening = socket;
    });
    server.Get("/probe", [&engine](const httplib::Request& request, httplib::Response& response) {
        if (!request.has_param("target")) {
            response.status = 400;
            response.set_content("chybí parametr target (/probe?target=IP:PORT)\n",
                                 "text/plain; charset=utf-8");
            return;
        }
        const ProbeAnswer answer =
            engine.Probe(request.get_param_value("target"), Deadline(request));
        response.status = answer.status;
        response.set_content(answer.body,
                             answer.status == 200 ? kExposition : "text/plain; charset=utf-8");
    });
    server.Get("/metrics", [&engine](const httplib::Request&, httplib::Response& response) {
        response.set_content(engine.OwnMetrics(), kExposition);
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(LandingPage(), "text/html; charset=utf-8");
    });

    auto [address, port] = ListenAddress(exporter.listen);
    const bool bound = port == 0 ? (port = server.bind_to_any_port(address)) > 0
                                 : server.bind_to_port(address, port);
    if (!bound) {
        out.Report("kv3380u: na " + address + ":" + std::to_string(port) +
                   " nelze naslouchat (adresa nepatří tomuto počítači, nebo port je obsazen)");
        return kExitConnection;
    }
    platform::WidenListenQueue(listening, kListenQueue);
    std::thread listener([&server] { server.listen_after_bind(); });
    out.Print("Exportér naslouchá na http://" + address + ":" + std::to_string(port) + "/");
    while (!control.Stopped()) control.Wait(std::chrono::milliseconds(200));
    server.stop();
    listener.join();
    const std::size_t open = engine.OpenConnections();
    engine.Shutdown();
    out.Report("Exportér končí; zavřeno spojení: " + std::to_string(open));
    return kExitOk;
}

}  // namespace kv::cli
