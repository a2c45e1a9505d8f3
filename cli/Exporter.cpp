#include "cli/Exporter.h"

#include <cstdio>

#include "cli/Fleet.h"
#include "core/NumberText.h"
#include "diagnostics/Diagnostika.h"

namespace kv::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// The family's HELP and TYPE lines.
std::string Family(const std::string& name, const char* type, const char* help) {
    return "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

std::string Sample(const std::string& name, const std::string& value,
                   const std::string& labels = "") {
    return name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
}

// The link's health: with every answer, whether the module answered or not.
std::string LinkLines(const Histogram& exchanges, std::uint64_t failures) {
    return Family("kv3380u_exchange_seconds", "histogram",
                  "Doba výměny požadavku a odpovědi s modulem v sekundách.") +
           exchanges.Lines("kv3380u_exchange_seconds") +
           Family("kv3380u_exchange_failures_total", "counter",
                  "Výměny s modulem, které selhaly (i otevření spojení).") +
           Sample("kv3380u_exchange_failures_total", std::to_string(failures));
}

std::string Down(const std::string& why) {
    return "# " + why + "\n" +
           Family("kv3380u_up", "gauge", "1, když modul odpověděl na oba stavové požadavky.") +
           Sample("kv3380u_up", "0");
}

std::string Up(const ModuleStatus& module, const std::array<VlanStatus, kVlanCount>& vlans) {
    using std::to_string;
    std::string text =
        Family("kv3380u_up", "gauge", "1, když modul odpověděl na oba stavové požadavky.") +
        Sample("kv3380u_up", "1") +
        Family("kv3380u_module_info", "gauge", "Typ, verze, výrobní číslo a MAC adresa modulu.") +
        Sample("kv3380u_module_info", "1",
               "type=\"" + LabelValue(module.type) + "\",version=\"" + LabelValue(module.version) +
                   "\",serial=\"" + LabelValue(module.serial) + "\",mac=\"" +
                   LabelValue(MacText(module.mac)) + "\"") +
        Family("kv3380u_uptime_seconds", "gauge", "Čas od zapnutí modulu v sekundách.") +
        Sample("kv3380u_uptime_seconds", to_string(module.uptimeS)) +
        Family("kv3380u_access_allowed_total", "counter", "Povolené přístupy celkem.") +
        Sample("kv3380u_access_allowed_total", to_string(module.allowedTotal)) +
        Family("kv3380u_access_denied_total", "counter", "Nepovolené přístupy celkem.") +
        Sample("kv3380u_access_denied_total", to_string(module.deniedTotal));
    text += Family("kv3380u_vlan_allowed_total", "counter", "Povolené přístupy rozhraní VLAN.");
    for (std::size_t v = 0; v < vlans.size(); ++v)
        text += Sample("kv3380u_vlan_allowed_total", to_string(vlans[v].allowed),
                       "vlan=\"" + to_string(v + 1) + "\"");
    text += Family("kv3380u_vlan_denied_total", "counter", "Nepovolené přístupy rozhraní VLAN.");
    for (std::size_t v = 0; v < vlans.size(); ++v)
        text += Sample("kv3380u_vlan_denied_total", to_string(vlans[v].denied),
                       "vlan=\"" + to_string(v + 1) + "\"");
    text += Family("kv3380u_rs485_messages_total", "counter", "Zprávy na sběrnici RS-485.") +
            Sample("kv3380u_rs485_messages_total", to_string(module.busMessages)) +
            Family("kv3380u_rs485_errors_total", "counter", "Chyby na sběrnici RS-485.") +
            Sample("kv3380u_rs485_errors_total", to_string(module.busErrors));
    return text;
}

// The one reading of "[ADRESA:]PORT": the address (127.0.0.1 unless named) and the port,
// or why the text is not one.
std::pair<std::string, int> ReadListen(const std::string& text, std::optional<std::string>& error) {
    const auto colon = text.rfind(':');
    const bool named = colon != std::string::npos && colon > 0;
    const std::string address = named ? text.substr(0, colon) : "127.0.0.1";
    const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
    error = named ? IpAddressError(address) : std::nullopt;
    if (!error) error = WholeNumberError(port, 0, 65535);
    return {address, StrictNumber(port).value_or(0)};
}

}  // namespace

std::optional<std::string> ListenAddressError(const std::string& text) {
    std::optional<std::string> error;
    ReadListen(text, error);
    return error;
}

std::pair<std::string, int> ListenAddress(const std::string& text) {
    std::optional<std::string> error;
    return ReadListen(text, error);
}

std::string ExporterHelp() {
    return "Prometheus se ptá na jeden modul: GET /probe?target=CÍL (cíl jako u --targets,\n"
           "ostatní parametry připojení platí pro všechny cíle). /metrics vrací údaje\n"
           "exportéru samého. Modul se nežádá častěji než jednou za 100 ms; dotaz čeká\n"
           "nejvýše X-Prometheus-Scrape-Timeout-Seconds. Spojení zůstávají otevřená;\n"
           "Ctrl+C nebo SIGTERM je všechna zavře a exportér skončí s kódem 0.\n"
           "\n";
}

void Histogram::Observe(double seconds) {
    for (std::size_t i = 0; i < std::size(kBounds); ++i)
        if (seconds <= kBounds[i]) ++counts_[i];
    ++count_;
    sum_ += seconds;
}

std::string Histogram::Lines(const std::string& name, const std::string& labels) const {
    std::string text;
    for (std::size_t i = 0; i < std::size(kBounds); ++i)
        text += name + "_bucket{" + labels + "le=\"" + Number(kBounds[i]) + "\"} " +
                std::to_string(counts_[i]) + "\n";
    text += name + "_bucket{" + labels + "le=\"+Inf\"} " + std::to_string(count_) + "\n";
    const std::string braces =
        labels.empty() ? "" : "{" + labels.substr(0, labels.size() - 1) + "}";
    text += name + "_sum" + braces + " " + Number(sum_) + "\n";
    text += name + "_count" + braces + " " + std::to_string(count_) + "\n";
    return text;
}

std::string LabelValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c != '\0') {
            out += c;
        }
    }
    return out;
}

struct ProbeEngine::Module {
    ConnectionRequest input;
    std::mutex mutex;
    std::condition_variable changed;
    bool polling = false;
    bool polled = false;
    Clock::time_point lastEnd;
    std::string body;  // the last poll's answer
    std::thread poller;
    // Only the poll touches these, and one poll runs at a time.
    std::unique_ptr<FleetConnection> connection;
    Histogram exchanges;
    std::uint64_t failures = 0;
};

ProbeEngine::ProbeEngine(const ConnectionSettings& stored, const ConnectionRequest& base,
                         std::shared_ptr<const LoadedLibrary> library)
    : stored_(stored), base_(base), library_(std::move(library)) {}

ProbeEngine::~ProbeEngine() {
    Shutdown();
}

std::shared_ptr<ProbeEngine::Module> ProbeEngine::Find(const std::string& key,
                                                       const ConnectionRequest& input, bool& full) {
    std::lock_guard lock(mutex_);
    full = false;
    if (stopping_.load()) return nullptr;
    auto found = modules_.find(key);
    if (found != modules_.end()) return found->second;
    if (modules_.size() >= kMaxModules) {
        full = true;
        return nullptr;
    }
    auto module = std::make_shared<Module>();
    module->input = input;
    modules_[key] = module;
    return module;
}

void ProbeEngine::Poll(Module& module) {
    polls_++;
    RecordedOutput ignored;
    if (module.connection == nullptr || !module.connection->IsOpen()) {
        module.connection = std::make_unique<FleetConnection>(library_, stored_);
        const auto start = Clock::now();
        bool opened = module.connection->Open(module.input, ignored);
        // A library that takes no further connection beside the open ones (a handle limit,
        // or the "LAN QUDP" kind's one source port per port number) gets one back: the
        // connection idle longest is closed, or a poll under way is waited for, and the
        // open tried again; for the library's time-out at most.
        const auto giveUp = start + kEvictionWait;
        while (!opened && module.connection->Outcome().openRefused && open_.load() > 0 &&
               Clock::now() < giveUp && !stopping_.load()) {
            if (!CloseIdlest(&module)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            opened = module.connection->Open(module.input, ignored);
        }
        module.exchanges.Observe(std::chrono::duration<double>(Clock::now() - start).count());
        if (!opened) {
            ++module.failures;
            module.body = Down("spojení nelze otevřít: " +
                               Printable(module.connection->Outcome().statusText)) +
                          LinkLines(module.exchanges, module.failures);
            module.connection.reset();
            return;
        }
        ++open_;
    }
    const ModuleLink link = module.connection->Link();
    const StatusReplies replies = FetchStatus(link);
    module.exchanges.Observe(std::chrono::duration<double>(replies.moduleTime).count());
    if (replies.vlan)
        module.exchanges.Observe(std::chrono::duration<double>(replies.vlanTime).count());
    const Reply& failed = !replies.module.Ok() ? replies.module : *replies.vlan;
    if (!failed.Ok()) {
        ++module.failures;
        // Opened again on the next poll: a module that restarted or moved answers then.
        module.connection.reset();
        --open_;
        module.body = Down("modul neodpověděl: " + Printable(link.ErrorText(failed.error))) +
                      LinkLines(module.exchanges, module.failures);
        return;
    }
    std::array<VlanStatus, kVlanCount> vlans;
    for (int v = 0; v < kVlanCount; ++v)
        vlans[v] = DecodeVlanStatus(replies.vlan->data, Vlan::FromIndex(v));
    module.body = Up(DecodeModuleStatus(replies.module.data), vlans) +
                  LinkLines(module.exchanges, module.failures);
}

bool ProbeEngine::CloseIdlest(const Module* except) {
    std::vector<std::shared_ptr<Module>> modules;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, module] : modules_)
            if (module.get() != except) modules.push_back(module);
    }
    std::shared_ptr<Module> idlest;
    Clock::time_point oldest = Clock::time_point::max();
    for (const auto& module : modules) {
        std::lock_guard lock(module->mutex);
        if (!module->polling && module->connection != nullptr && module->lastEnd < oldest) {
            oldest = module->lastEnd;
            idlest = module;
        }
    }
    if (idlest == nullptr) return false;
    {
        std::unique_lock lock(idlest->mutex);
        // Taken by a poll meanwhile: not idle any more.
        if (idlest->polling || idlest->connection == nullptr) return false;
        // Held as a poll would hold it, so that no poll of its own starts meanwhile.
        idlest->polling = true;
    }
    idlest->connection.reset();
    --open_;
    ++closedForOthers_;
    {
        std::lock_guard lock(idlest->mutex);
        idlest->polling = false;
    }
    idlest->changed.notify_all();
    return true;
}

ProbeAnswer ProbeEngine::Probe(const std::string& target, Clock::time_point deadline) {
    const auto start = Clock::now();
    ProbeAnswer answer;
    ConnectionRequest input = base_;
    if (auto error = ApplyTarget(target, input)) {
        std::lock_guard lock(mutex_);
        ++badTargets_;
        answer.status = 400;
        answer.body = *error + "\n";
        return answer;
    }
    bool full = false;
    const std::shared_ptr<Module> module = Find(TargetKey(input), input, full);
    if (module == nullptr) {
        answer.status = 503;
        answer.body = full ? "příliš mnoho modulů (nejvýše " + std::to_string(kMaxModules) + ")\n"
                           : "exportér končí\n";
        return answer;
    }

    bool cached = false;
    bool timedOut = false;
    {
        std::unique_lock lock(module->mutex);
        // A poll in flight is shared, whoever started it.
        if (stopping_.load()) {
            answer.status = 503;
            answer.body = "exportér končí\n";
            return answer;
        }
        if (module->polling) {
            timedOut =
                !module->changed.wait_until(lock, deadline, [&] { return !module->polling; });
            cached = !timedOut;
        } else if (module->polled && Clock::now() - module->lastEnd < kMinimumInterval) {
            cached = true;
        } else {
            module->polling = true;
            if (module->poller.joinable()) module->poller.join();
            // The engine keeps every module until Shutdown has joined its poll.
            Module* polled = module.get();
            polled->poller = std::thread([this, polled] {
                Poll(*polled);
                {
                    std::lock_guard done(polled->mutex);
                    polled->polling = false;
                    polled->polled = true;
                    polled->lastEnd = Clock::now();
                }
                polled->changed.notify_all();
            });
            timedOut =
                !module->changed.wait_until(lock, deadline, [&] { return !module->polling; });
        }
        answer.body =
            timedOut ? Down("odpověď modulu nepřišla do konce doby dotazu") : module->body;
    }

    std::lock_guard lock(mutex_);
    ++probes_;
    cached_ += cached;
    timedOut_ += timedOut;
    probeTimes_.Observe(std::chrono::duration<double>(Clock::now() - start).count());
    return answer;
}

std::string ProbeEngine::OwnMetrics() const {
    std::lock_guard lock(mutex_);
    return Family("kv3380u_exporter_probes_total", "counter", "Dotazy /probe s platným cílem.") +
           Sample("kv3380u_exporter_probes_total", std::to_string(probes_)) +
           Family("kv3380u_exporter_cached_probes_total", "counter",
                  "Dotazy zodpovězené posledním čtením modulu (do 100 ms, nebo sdíleným).") +
           Sample("kv3380u_exporter_cached_probes_total", std::to_string(cached_)) +
           Family("kv3380u_exporter_timed_out_probes_total", "counter",
                  "Dotazy, na které čtení modulu nestihlo odpovědět do konce doby dotazu.") +
           Sample("kv3380u_exporter_timed_out_probes_total", std::to_string(timedOut_)) +
           Family("kv3380u_exporter_bad_targets_total", "counter", "Dotazy s chybným cílem.") +
           Sample("kv3380u_exporter_bad_targets_total", std::to_string(badTargets_)) +
           Family("kv3380u_exporter_polls_total", "counter", "Čtení stavu modulů.") +
           Sample("kv3380u_exporter_polls_total", std::to_string(polls_.load())) +
           Family("kv3380u_exporter_probe_duration_seconds", "histogram",
                  "Doba vyřízení dotazu /probe v sekundách.") +
           probeTimes_.Lines("kv3380u_exporter_probe_duration_seconds") +
           Family("kv3380u_exporter_open_connections", "gauge", "Otevřená spojení s moduly.") +
           Sample("kv3380u_exporter_open_connections", std::to_string(open_.load())) +
           Family("kv3380u_exporter_closed_for_others_total", "counter",
                  "Spojení zavřená, protože knihovna další vedle nich nepřijala.") +
           Sample("kv3380u_exporter_closed_for_others_total",
                  std::to_string(closedForOthers_.load())) +
           Family("kv3380u_exporter_modules", "gauge", "Moduly, na které se kdy někdo ptal.") +
           Sample("kv3380u_exporter_modules", std::to_string(modules_.size()));
}

void ProbeEngine::Shutdown() {
    std::map<std::string, std::shared_ptr<Module>> modules;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        modules = modules_;
    }
    for (auto& [key, module] : modules) {
        std::thread poller;
        {
            std::lock_guard lock(module->mutex);
            poller = std::move(module->poller);
        }
        if (poller.joinable()) poller.join();
        std::lock_guard lock(module->mutex);
        if (module->connection != nullptr) {
            module->connection.reset();
            --open_;
        }
    }
}

}  // namespace kv::cli
