#include "cli/Exporter.h"

#include <algorithm>
#include <cstdio>
#include <future>

#include "cli/Fleet.h"
#include "core/KindParameters.h"
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

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The family's HELP and TYPE lines.
std::string Family(const std::string& name, const char* type, const char* help) {
    return "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

std::string Sample(const std::string& name, const std::string& value,
                   const std::string& labels = "") {
    return name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
}

// The module's samples from its two status replies: how a poll's answer is made, in one
// place.
std::string UpLines(const StatusReplies& replies) {
    using std::to_string;
    const ModuleStatus module = DecodeModuleStatus(replies.module.data);
    std::array<VlanStatus, kVlanCount> vlans;
    for (int v = 0; v < kVlanCount; ++v)
        vlans[v] = DecodeVlanStatus(replies.vlan->data, Vlan::FromIndex(v));
    std::string text =
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

// Where a poll failed: the library refused the connection, the module did not answer its
// identification (opening the connection) or a status request; or the probe's time ran out.
constexpr const char* kStages[] = {"open", "identify", "status"};
constexpr const char* kDeadlineStage = "deadline";

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

// Four decimal numbers 0..255 as IpAddressError accepts them.
std::optional<std::uint32_t> Ipv4(const std::string& text) {
    if (IpAddressError(text)) return std::nullopt;
    std::uint32_t value = 0;
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const auto dot = text.find('.', start);
        value =
            value << 8 | static_cast<std::uint32_t>(std::stoul(text.substr(start, dot - start)));
        start = dot + 1;
    }
    return value;
}

std::uint32_t Mask(int prefix) {
    return prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
}

std::string Dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 255) + "." +
           std::to_string(address >> 8 & 255) + "." + std::to_string(address & 255);
}

// The networks of a list, or why one entry is none.
std::vector<Network> ReadAllow(const std::string& text, std::optional<std::string>& error) {
    std::vector<Network> networks;
    error.reset();
    std::size_t start = 0;
    while (!error) {
        const auto comma = text.find(',', start);
        const std::string entry = text.substr(start, comma - start);
        const auto slash = entry.find('/');
        const std::string address = entry.substr(0, slash);
        Network network;
        if (entry.empty()) {
            error = "prázdná položka; sítě se oddělují čárkou (10.1.0.0/16,10.2.0.0/16)";
        } else if (!Ipv4(address)) {
            error = "„" + entry + "“ není síť IPv4 (ADRESA nebo ADRESA/PREFIX)";
        } else if (slash != std::string::npos) {
            if (auto bad = WholeNumberError(entry.substr(slash + 1), 0, 32)) {
                error = entry + ": délka prefixu: " + *bad;
            } else {
                network.prefix = static_cast<int>(*StrictNumber(entry.substr(slash + 1)));
            }
        }
        if (!error) {
            network.address = *Ipv4(address);
            if ((network.address & ~Mask(network.prefix)) != 0)
                error = entry + " má za prefixem nastavené bity; míněna je síť " +
                        Dotted(network.address & Mask(network.prefix)) + "/" +
                        std::to_string(network.prefix) + "?";
            networks.push_back(network);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return networks;
}

// The port that a "LAN QUDP" connection also sends from: modules that share it cannot be
// open at once, so they take turns. Other kinds have no such group.
std::optional<std::uint32_t> TurnGroup(const ConnectionRequest& input) {
    if (input.kind != kKindLanQudp) return std::nullopt;
    const KindParameter* port = FindKindParameter(input.kind, ParameterRole::kPort);
    if (port == nullptr || !input.values[port->row].number) return std::nullopt;
    return static_cast<std::uint32_t>(*input.values[port->row].number);
}

std::optional<std::uint32_t> TargetAddress(const ConnectionRequest& input) {
    const KindParameter* ip = FindKindParameter(input.kind, ParameterRole::kIpAddress);
    if (ip == nullptr) return std::nullopt;
    return Ipv4(input.values[ip->row].text);
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

std::optional<std::string> AllowListError(const std::string& text) {
    std::optional<std::string> error;
    ReadAllow(text, error);
    return error;
}

std::vector<Network> AllowList(const std::string& text) {
    std::optional<std::string> error;
    std::vector<Network> networks = ReadAllow(text, error);
    return error ? std::vector<Network>{} : networks;
}

std::string AllowListText(const std::vector<Network>& networks) {
    std::string text;
    for (const Network& n : networks)
        text += (text.empty() ? "" : ", ") + Dotted(n.address) + "/" + std::to_string(n.prefix);
    return text;
}

bool ExporterTakesKind(std::uint8_t kind) {
    return FindKindParameter(kind, ParameterRole::kIpAddress) != nullptr;
}

std::string ExporterHelp() {
    return "Prometheus se ptá na jeden modul: GET /probe?target=IP:PORT (ostatní parametry\n"
           "připojení platí pro všechny cíle; rozhraní 1 LAN QUDP, 6 KV-3380 nebo 7 LAN).\n"
           "/metrics vrací údaje exportéru samého, /-/healthy odpoví, že běží. Modul se\n"
           "nežádá častěji než jednou za 100 ms; dotaz čeká nejvýše\n"
           "X-Prometheus-Scrape-Timeout-Seconds. Čtení, které skončí až po něm, poslouží\n"
           "dalšímu dotazu (kv3380u_poll_age_seconds říká, jak je staré). Spojení zůstávají\n"
           "otevřená. Moduly LAN QUDP se stejným číslem portu se střídají: spojení má vždy\n"
           "jen jeden z nich a modul, který neodpovídá, drží port po celý timeout. Ctrl+C\n"
           "nebo SIGTERM všechna spojení zavře a exportér skončí s kódem 0.\n"
           "--web.config.file: TLS a uživatelé (hesla jako bcrypt) ve formátu exportérů\n"
           "Prometheus (tls_server_config, basic_auth_users). --allow: jen moduly v těchto\n"
           "sítích; na jiné cíle exportér odpoví 403 a nic nepošle.\n"
           "\n";
}

void Histogram::Observe(double seconds) {
    for (std::size_t i = 0; i < kBounds.size(); ++i)
        if (seconds <= kBounds[i]) ++counts_[i];
    ++count_;
    sum_ += seconds;
}

std::string Histogram::Lines(const std::string& name, const std::string& labels) const {
    std::string text;
    for (std::size_t i = 0; i < kBounds.size(); ++i)
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

// One poll's outcome.
struct ProbeEngine::Result {
    bool up = false;
    std::string lines;    // up: the module's samples
    std::string stage;    // down: where it failed (kStages, kDeadlineStage)
    std::string message;  // down: the library's text
    Clock::time_point end{};
    bool delivered = false;  // some probe got it
};

struct ProbeEngine::Module {
    enum class State { kIdle, kQueued, kPolling };
    std::string target;  // as the first probe named it, for the log
    ConnectionRequest input;
    std::optional<std::uint32_t> group;
    // All of these under the engine's mutex.
    State state = State::kIdle;
    bool proven = false;        // its last poll answered
    bool everUp = false;        // some poll answered
    bool reportedDown = false;  // a line said that it stopped answering
    Clock::time_point lastProbe{};
    Clock::time_point connectionUsed{};
    std::optional<Result> last;
    std::vector<Waiter> waiters;
    std::vector<bool> shared;  // per waiter: came while a poll was queued or running
    Histogram exchanges;
    std::map<std::string, std::uint64_t> failures;
    // The poll's own while it runs; taken under the mutex only while none runs.
    std::unique_ptr<Connection> connection;
    ConnectionOutcome opening;  // how the last open ended
};

ProbeEngine::ProbeEngine(const ConnectionSettings& stored, const ConnectionRequest& base,
                         std::shared_ptr<const LoadedLibrary> library, std::vector<Network> allow,
                         Output& log)
    : stored_(stored),
      base_(base),
      library_(std::move(library)),
      allow_(std::move(allow)),
      log_(log) {
    timerThread_ = std::thread([this] { Timer(); });
}

ProbeEngine::~ProbeEngine() {
    Shutdown();
}

void ProbeEngine::Log(const std::string& line) {
    std::lock_guard lock(logMutex_);
    log_.Report(line);
}

void ProbeEngine::Deliver(Answers& answers) {
    for (auto& [done, answer] : answers) done(std::move(answer));
    answers.clear();
}

bool ProbeEngine::EvictOneLocked() {
    // A target that never answered gives way first, then a module that stopped answering,
    // each the one asked about longest ago; a module that answers only when nobody asked
    // about it for a while.
    const auto now = Clock::now();
    auto rank = [](const Module& m) { return m.proven ? 2 : m.everUp ? 1 : 0; };
    auto victim = modules_.end();
    for (auto it = modules_.begin(); it != modules_.end(); ++it) {
        const Module& m = *it->second;
        if (m.state != Module::State::kIdle || !m.waiters.empty()) continue;
        if (m.proven && now - m.lastProbe < kIdleYield) continue;
        if (victim == modules_.end()) {
            victim = it;
            continue;
        }
        const Module& v = *victim->second;
        if (rank(m) < rank(v) || (rank(m) == rank(v) && m.lastProbe < v.lastProbe)) victim = it;
    }
    if (victim == modules_.end()) return false;
    if (victim->second->connection != nullptr) {
        // Closed here: a handle's close is quick, and nothing polls this module.
        victim->second->connection.reset();
        --open_;
    }
    modules_.erase(victim);
    ++forgotten_;
    return true;
}

std::shared_ptr<ProbeEngine::Module> ProbeEngine::FindLocked(const std::string& key,
                                                             const ConnectionRequest& input,
                                                             const std::string& target) {
    auto found = modules_.find(key);
    if (found != modules_.end()) return found->second;
    if (modules_.size() >= kMaxModules && !EvictOneLocked()) return nullptr;
    auto module = std::make_shared<Module>();
    module->target = target;
    module->input = input;
    module->group = TurnGroup(input);
    modules_[key] = module;
    return module;
}

void ProbeEngine::Probe(const std::string& target, Clock::time_point deadline, ProbeDone done) {
    const auto start = Clock::now();
    ConnectionRequest input = base_;
    auto refuse = [&](std::uint64_t& counter, int status, const std::string& text) {
        {
            std::lock_guard lock(mutex_);
            ++counter;
        }
        done(ProbeAnswer{status, text + "\n"});
    };
    if (auto error = ApplyTarget(target, input)) return refuse(badTargets_, 400, *error);
    if (!allow_.empty()) {
        const auto address = TargetAddress(input);
        const bool inside =
            address && std::any_of(allow_.begin(), allow_.end(), [&](const Network& n) {
                return (*address & Mask(n.prefix)) == n.address;
            });
        if (!inside)
            return refuse(deniedTargets_, 403,
                          "cíl „" + target + "“ neleží v sítích, na které se exportér smí ptát (" +
                              AllowListText(allow_) + "); modulu se nic neposílá");
    }

    Answers answers;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            answers.emplace_back(std::move(done), ProbeAnswer{503, "exportér končí\n"});
        } else if (const auto module = FindLocked(TargetKey(input), input, target)) {
            module->lastProbe = start;
            ++probes_;
            if (module->state == Module::State::kIdle && module->last &&
                start - module->last->end < kMinimumInterval) {
                ++cached_;
                module->last->delivered = true;
                probeTimes_.Observe(Seconds(Clock::now() - start));
                answers.emplace_back(std::move(done), ComposeLocked(*module, *module->last, start));
            } else {
                const std::uint64_t id = nextWaiter_++;
                module->shared.push_back(module->state != Module::State::kIdle);
                module->waiters.push_back(Waiter{id, std::move(done), start});
                deadlines_.emplace(deadline, std::make_pair(module, id));
                timer_.notify_one();
                if (module->state == Module::State::kIdle) {
                    module->state = Module::State::kQueued;
                    queue_.push_back(module);
                    if (idleWorkers_ < queue_.size() && workers_.size() < kPollThreads)
                        workers_.emplace_back([this] { Worker(); });
                    work_.notify_one();
                }
            }
        } else {
            ++fullRefusals_;
            answers.emplace_back(
                std::move(done),
                ProbeAnswer{503, "příliš mnoho modulů (nejvýše " + std::to_string(kMaxModules) +
                                     ", všechny odpovídají a ptá se na ně)\n"});
        }
    }
    Deliver(answers);
}

ProbeAnswer ProbeEngine::ProbeAndWait(const std::string& target, Clock::time_point deadline) {
    auto promise = std::make_shared<std::promise<ProbeAnswer>>();
    std::future<ProbeAnswer> answer = promise->get_future();
    Probe(target, deadline, [promise](ProbeAnswer a) { promise->set_value(std::move(a)); });
    return answer.get();
}

std::shared_ptr<ProbeEngine::Module> ProbeEngine::NextLocked() {
    // Modules that answer first, then modules that answered once, then targets that never
    // did, a few at a time; a turn group's module only while none of its group is polled.
    // A target that never answered is not polled for nobody.
    for (const int tier : {0, 1, 2}) {
        if (tier == 2 && trials_ >= kTrialPolls) break;
        for (auto it = queue_.begin(); it != queue_.end();) {
            const std::shared_ptr<Module> module = *it;
            if (!module->everUp && module->waiters.empty()) {
                module->state = Module::State::kIdle;
                it = queue_.erase(it);
                continue;
            }
            const int own = module->proven ? 0 : module->everUp ? 1 : 2;
            if (own == tier && !(module->group && groupBusy_.count(*module->group) != 0)) {
                queue_.erase(it);
                return module;
            }
            ++it;
        }
    }
    return nullptr;
}

void ProbeEngine::Worker() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const std::shared_ptr<Module> module = NextLocked();
        if (module == nullptr) {
            ++idleWorkers_;
            work_.wait(lock);
            --idleWorkers_;
            continue;
        }
        module->state = Module::State::kPolling;
        const bool trial = !module->everUp;
        trials_ += trial;
        if (module->group) groupBusy_[*module->group] = module.get();
        ++polls_;
        lock.unlock();
        Poll(*module);
        lock.lock();
        trials_ -= trial;
        if (module->group) groupBusy_.erase(*module->group);
        work_.notify_all();
        changed_.notify_all();
    }
}

bool ProbeEngine::CloseFor(const Module& module, bool sameGroupOnly) {
    std::unique_ptr<Connection> closing;
    {
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        Module* best = nullptr;
        for (const auto& [key, m] : modules_) {
            if (m.get() == &module || m->connection == nullptr ||
                m->state == Module::State::kPolling)
                continue;
            if (sameGroupOnly) {
                if (m->group == module.group) best = m.get();
                continue;
            }
            // A target that has not answered never closes the connection of a module that
            // answers and is asked about.
            if (!module.proven && m->proven && now - m->connectionUsed < kIdleYield) continue;
            if (best == nullptr || (best->proven && !m->proven) ||
                (best->proven == m->proven && m->connectionUsed < best->connectionUsed))
                best = m.get();
        }
        if (best == nullptr) return false;
        closing = std::move(best->connection);
        ++closedForOthers_;
    }
    closing.reset();
    --open_;
    changed_.notify_all();
    return true;
}

bool ProbeEngine::Open(Module& module) {
    module.connection = std::make_unique<Connection>(library_);
    // Modules of one turn group share the port: whoever held it last gives it up.
    if (module.group) CloseFor(module, true);
    RecordedOutput ignored;
    ConnectionSettings settings = stored_;
    auto open = [&] {
        return OpenConnection(*module.connection, settings, module.input, ignored, false,
                              &module.opening);
    };
    bool opened = open();
    // A library that takes no further connection beside the open ones (a handle limit)
    // gets one back: a connection idle long enough is closed, or a poll under way is waited
    // for, and the open tried again; for a while at most, and for a target that has not
    // answered only while a probe waits for it.
    const auto giveUp = Clock::now() + kEvictionWait;
    while (!opened && module.opening.openRefused && open_.load() > 0 && Clock::now() < giveUp) {
        if (!CloseFor(module, false)) {
            std::unique_lock lock(mutex_);
            if (stopping_ || (!module.proven && module.waiters.empty())) break;
            changed_.wait_for(lock, std::chrono::milliseconds(50));
        }
        opened = open();
    }
    if (opened) ++open_;
    return opened;
}

void ProbeEngine::Poll(Module& module) {
    Result result;
    if (module.connection == nullptr || !module.connection->IsOpen()) {
        if (!Open(module)) {
            const ConnectionOutcome& outcome = module.opening;
            result.stage = outcome.openRefused ? "open" : "identify";
            result.message = Printable(outcome.statusText);
            module.connection.reset();
        }
    }
    if (module.connection != nullptr) {
        const ModuleLink link = module.connection->Link();
        const StatusReplies replies = FetchStatus(link);
        {
            // Only exchanges that succeeded: a time-out says nothing of the module's speed.
            std::lock_guard lock(mutex_);
            if (replies.module.Ok()) module.exchanges.Observe(Seconds(replies.moduleTime));
            if (replies.vlan && replies.vlan->Ok())
                module.exchanges.Observe(Seconds(replies.vlanTime));
        }
        const Reply& failed = !replies.module.Ok() ? replies.module : *replies.vlan;
        if (!failed.Ok()) {
            result.stage = "status";
            result.message = Printable(link.ErrorText(failed.error));
            // Opened again on the next poll: a module that restarted or moved answers then.
            module.connection.reset();
            --open_;
        } else {
            result.up = true;
            result.lines = UpLines(replies);
        }
    }
    Answers answers;
    std::string line;
    {
        std::lock_guard lock(mutex_);
        Finish(module, std::move(result), answers);
        if (module.last->up && module.reportedDown) {
            module.reportedDown = false;
            line = "kv3380u exporter: modul " + module.target + " opět odpovídá";
        } else if (!module.last->up && module.everUp && !module.reportedDown) {
            module.reportedDown = true;
            line = "kv3380u exporter: modul " + module.target +
                   " přestal odpovídat: " + module.last->message;
        }
        module.everUp = module.everUp || module.last->up;
    }
    Deliver(answers);
    if (!line.empty()) Log(line);
}

void ProbeEngine::Finish(Module& module, Result result, Answers& answers) {
    const auto now = Clock::now();
    module.state = Module::State::kIdle;
    module.proven = result.up;
    if (!result.up) ++module.failures[result.stage];
    if (module.connection != nullptr) module.connectionUsed = now;
    result.end = now;
    result.delivered = !module.waiters.empty();
    module.last = std::move(result);
    for (std::size_t i = 0; i < module.waiters.size(); ++i) {
        Waiter& waiter = module.waiters[i];
        cached_ += module.shared[i];
        probeTimes_.Observe(Seconds(now - waiter.start));
        answers.emplace_back(std::move(waiter.done), ComposeLocked(module, *module.last, now));
    }
    module.waiters.clear();
    module.shared.clear();
}

ProbeAnswer ProbeEngine::ComposeLocked(const Module& module, const Result& result,
                                       Clock::time_point now) {
    std::string text =
        Family("kv3380u_up", "gauge", "1, když modul odpověděl na oba stavové požadavky.") +
        Sample("kv3380u_up", result.up ? "1" : "0");
    if (result.up) {
        text += result.lines;
    } else {
        text +=
            Family("kv3380u_failure_info", "gauge",
                   "Proč modul neodpověděl: fáze (open: knihovna spojení nepřijala, "
                   "identify: identifikace, status: stavový požadavek, deadline: "
                   "nestihl to do konce doby dotazu) a text knihovny.") +
            Sample("kv3380u_failure_info", "1",
                   "stage=\"" + result.stage + "\",message=\"" + LabelValue(result.message) + "\"");
    }
    if (result.end != Clock::time_point{})
        text += Family("kv3380u_poll_age_seconds", "gauge",
                       "Stáří odpovědi: sekundy od konce čtení modulu, z něhož pochází.") +
                Sample("kv3380u_poll_age_seconds", Number(Seconds(now - result.end)));
    text += Family("kv3380u_exchange_seconds", "histogram",
                   "Doba úspěšné výměny stavového požadavku a odpovědi s modulem v sekundách.") +
            module.exchanges.Lines("kv3380u_exchange_seconds") +
            Family("kv3380u_exchange_failures_total", "counter",
                   "Čtení modulu, která selhala, podle fáze (open: knihovna spojení "
                   "nepřijala, identify: identifikace, status: stavový požadavek).");
    for (const char* stage : kStages) {
        const auto count = module.failures.find(stage);
        text += Sample("kv3380u_exchange_failures_total",
                       std::to_string(count == module.failures.end() ? 0 : count->second),
                       std::string("stage=\"") + stage + "\"");
    }
    return ProbeAnswer{200, text};
}

ProbeAnswer ProbeEngine::DeadlineAnswerLocked(Module& module, Clock::time_point now) {
    // A poll that ended after its own probes gave up serves the next probe: a module that
    // answers more slowly than Prometheus waits still shows up, with the answer's age.
    if (module.last && !module.last->delivered && now - module.last->end <= kLateAnswerLimit) {
        module.last->delivered = true;
        ++lateAnswers_;
        return ComposeLocked(module, *module.last, now);
    }
    Result down;
    down.stage = kDeadlineStage;
    down.message = "odpověď modulu nepřišla do konce doby dotazu";
    return ComposeLocked(module, down, now);
}

void ProbeEngine::Timer() {
    constexpr auto kSweep = std::chrono::seconds(5);
    std::unique_lock lock(mutex_);
    auto nextSweep = Clock::now() + kSweep;
    while (!stopping_) {
        const auto wake =
            deadlines_.empty() ? nextSweep : std::min(deadlines_.begin()->first, nextSweep);
        timer_.wait_until(lock, wake);
        if (stopping_) break;
        const auto now = Clock::now();
        Answers answers;
        while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
            const auto [module, id] = deadlines_.begin()->second;
            deadlines_.erase(deadlines_.begin());
            auto& waiters = module->waiters;
            const auto it = std::find_if(waiters.begin(), waiters.end(),
                                         [id = id](const Waiter& w) { return w.id == id; });
            if (it == waiters.end()) continue;
            ++timedOut_;
            probeTimes_.Observe(Seconds(now - it->start));
            answers.emplace_back(std::move(it->done), DeadlineAnswerLocked(*module, now));
            module->shared.erase(module->shared.begin() + (it - waiters.begin()));
            waiters.erase(it);
            // A target that never answered is not polled for nobody: it leaves the queue
            // and may give way to another.
            if (module->state == Module::State::kQueued && waiters.empty() && !module->everUp) {
                module->state = Module::State::kIdle;
                queue_.erase(std::find(queue_.begin(), queue_.end(), module));
            }
        }
        std::vector<std::unique_ptr<Connection>> closing;
        if (now >= nextSweep) {
            nextSweep = now + kSweep;
            for (auto it = modules_.begin(); it != modules_.end();) {
                Module& m = *it->second;
                if (m.state == Module::State::kIdle && m.waiters.empty() &&
                    now - m.lastProbe > kForgetAfter) {
                    if (m.connection != nullptr) closing.push_back(std::move(m.connection));
                    it = modules_.erase(it);
                    ++forgotten_;
                } else {
                    ++it;
                }
            }
        }
        lock.unlock();
        Deliver(answers);
        for (auto& connection : closing) {
            connection.reset();
            --open_;
        }
        lock.lock();
    }
}

std::string ProbeEngine::OwnMetrics() const {
    std::lock_guard lock(mutex_);
    std::size_t running = 0;
    for (const auto& [key, module] : modules_) running += module->state == Module::State::kPolling;
    auto counter = [](const std::string& name, const char* help, std::uint64_t value) {
        return Family(name, "counter", help) + Sample(name, std::to_string(value));
    };
    auto gauge = [](const std::string& name, const char* help, std::uint64_t value) {
        return Family(name, "gauge", help) + Sample(name, std::to_string(value));
    };
    return counter("kv3380u_exporter_probes_total", "Dotazy /probe s platným cílem.", probes_) +
           counter("kv3380u_exporter_cached_probes_total",
                   "Dotazy zodpovězené posledním čtením modulu (do 100 ms, nebo sdíleným).",
                   cached_) +
           counter("kv3380u_exporter_timed_out_probes_total",
                   "Dotazy, na které čtení modulu nestihlo odpovědět do konce doby dotazu.",
                   timedOut_) +
           counter("kv3380u_exporter_late_answers_total",
                   "Dotazy zodpovězené čtením, které skončilo až po konci svého dotazu.",
                   lateAnswers_) +
           counter("kv3380u_exporter_bad_targets_total", "Dotazy s chybným cílem.", badTargets_) +
           counter("kv3380u_exporter_denied_targets_total",
                   "Dotazy na cíl mimo sítě --allow (nic se neposlalo).", deniedTargets_) +
           counter("kv3380u_exporter_full_refusals_total",
                   "Dotazy odmítnuté, protože exportér si víc modulů nepamatuje.", fullRefusals_) +
           counter("kv3380u_exporter_forgotten_modules_total",
                   "Moduly zapomenuté (dlouho bez dotazu, nebo uvolnily místo jiným).",
                   forgotten_) +
           counter("kv3380u_exporter_polls_total", "Čtení stavu modulů.", polls_) +
           Family("kv3380u_exporter_probe_duration_seconds", "histogram",
                  "Doba vyřízení dotazu /probe v sekundách.") +
           probeTimes_.Lines("kv3380u_exporter_probe_duration_seconds") +
           gauge("kv3380u_exporter_open_connections", "Otevřená spojení s moduly.", open_.load()) +
           counter("kv3380u_exporter_closed_for_others_total",
                   "Spojení zavřená, protože knihovna další vedle nich nepřijala "
                   "(nebo moduly sdílejí port).",
                   closedForOthers_) +
           gauge("kv3380u_exporter_modules", "Moduly, které si exportér pamatuje.",
                 modules_.size()) +
           gauge("kv3380u_exporter_queued_polls", "Čtení modulů, která čekají na vlákno.",
                 queue_.size()) +
           gauge("kv3380u_exporter_running_polls", "Čtení modulů, která právě běží.", running) +
           gauge("kv3380u_exporter_poll_threads", "Vlákna, která čtou moduly.", workers_.size());
}

void ProbeEngine::Shutdown() {
    Answers answers;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& [key, module] : modules_) {
            for (Waiter& waiter : module->waiters)
                answers.emplace_back(std::move(waiter.done), ProbeAnswer{503, "exportér končí\n"});
            module->waiters.clear();
            module->shared.clear();
            if (module->state == Module::State::kQueued) module->state = Module::State::kIdle;
        }
        queue_.clear();
        deadlines_.clear();
    }
    work_.notify_all();
    timer_.notify_all();
    changed_.notify_all();
    Deliver(answers);
    if (timerThread_.joinable()) timerThread_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (std::thread& worker : workers) worker.join();
    std::lock_guard lock(mutex_);
    for (auto& [key, module] : modules_) {
        if (module->connection != nullptr) {
            module->connection.reset();
            --open_;
        }
    }
}

}  // namespace kv::cli
