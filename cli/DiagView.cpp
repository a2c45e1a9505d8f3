#include "cli/DiagView.h"

#include <chrono>
#include <cstdio>

#include "cli/TextLayout.h"
#include "core/StatusSink.h"
#include "platform/Text.h"

namespace kv::cli {
namespace {

using json = nlohmann::ordered_json;

constexpr const char* kGrey = "\033[90m";
constexpr const char* kBlue = "\033[34m";
constexpr const char* kPlain = "\033[0m";

std::string Painted(const std::string& text, Shade shade, bool colour) {
    if (!colour || shade == Shade::kWindowText) return text;
    return (shade == Shade::kGrey ? kGrey : kBlue) + text + kPlain;
}

const char* ShadeName(Shade shade) {
    switch (shade) {
        case Shade::kGrey:
            return "grey";
        case Shade::kBlue:
            return "blue";
        case Shade::kWindowText:
            break;
    }
    return "normal";
}

json ModuleJson(const ModuleStatus& status) {
    json module = {{"type", status.type},
                   {"version", status.version},
                   {"serial", status.serial},
                   {"mac", MacText(status.mac)},
                   {"operating_mode", OperatingModeText(status.operatingMode)},
                   {"uptime_s", status.uptimeS},
                   {"allowed_total", status.allowedTotal},
                   {"denied_total", status.deniedTotal}};
    auto network = [](const NetworkAddresses& addresses) {
        return json{{"ip", Ipv4Text(addresses.ip)},
                    {"mask", Ipv4Text(addresses.mask)},
                    {"gateway", Ipv4Text(addresses.gateway)}};
    };
    module["network"] = {{"setup", network(status.setup)}, {"working", network(status.working)}};
    module["rs485"] = {{"baud_rate", BusBaudRateInUse(status)},
                       {"timeout_ms", status.busTimeoutMs},
                       {"messages", status.busMessages},
                       {"errors", status.busErrors}};
    json errors = json::array();
    for (const BusErrorRecord& e : status.errors)
        errors.push_back({{"code", e.code},
                          {"vlan", e.vlan},
                          {"user", e.user},
                          {"module_address", e.moduleAddress},
                          {"function", e.function},
                          {"peripheral", e.peripheral},
                          {"command", e.command},
                          {"duration_ms", e.durationMs},
                          {"repetitions", e.repetitions},
                          {"timestamp_ms", e.timestampMs}});
    module["errors"] = errors;
    return module;
}

json VlanJson(const VlanStatus& status) {
    const VlanShades shades = ShadesForMode(status.mode);
    json vlan = {{"port", status.port},
                 {"mode", VlanModeText(status.mode)},
                 {"remaining_validity_s", status.remainingValidityMs / 1000.0},
                 {"max_validity_s", status.maxValidityMs / 1000},
                 {"allowed", status.allowed},
                 {"denied", status.denied},
                 {"last_denied", LastDeniedText(status)},
                 {"last_denied_time_s", status.lastDeniedTimeS},
                 {"shades",
                  {{"validity", ShadeName(shades.validity)},
                   {"access", ShadeName(shades.access)},
                   {"users", ShadeName(shades.users)}}}};
    json users = json::array();
    const auto& headings = UserHeadings(status.mode);
    for (std::size_t u = 0; u < status.users.size(); ++u) {
        const VlanUserStatus& user = status.users[u];
        users.push_back({{"heading", headings[u]},
                         {"ip", Ipv4Text(user.ip)},
                         {"port", user.port},
                         {"allowed", user.allowed},
                         {"last_message_s", user.lastMessageS}});
    }
    vlan["users"] = users;
    return vlan;
}

void Append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
}

}  // namespace

std::vector<std::string> DiagText(const DiagScreen& screen, bool colour) {
    std::vector<std::string> lines;
    lines.push_back(platform::TrimBlanks(DiagnosticsCaption(screen.vlanInterface)));

    const std::optional<ModuleStatusView> module =
        screen.module ? std::optional(FormatModuleStatus(*screen.module)) : std::nullopt;
    if (module) {
        const ModuleStatusView& m = *module;
        lines.push_back(platform::TrimBlanks(kOverviewGroupCaption));
        std::vector<std::vector<std::string>> rows;
        for (std::size_t i = 0; i < kOverviewCaptions.size(); ++i)
            rows.push_back({kOverviewCaptions[i], m.overview[i]});
        Append(lines, Columns(rows, "  "));
        rows.clear();
        // The window's column headings are its own; a terminal reads them in Czech.
        rows.push_back({kNetworkGridRows[0], "nastavené", "platné"});
        for (std::size_t r = 0; r < 3; ++r)
            rows.push_back({kNetworkGridRows[r + 1], m.network[r][0], m.network[r][1]});
        Append(lines, Columns(rows, "  "));
    }

    if (screen.vlan) {
        const VlanStatusView v = FormatVlanStatus(*screen.vlan, screen.decimalSeparator);
        lines.push_back(platform::TrimBlanks(VlanGroupCaption(screen.vlanInterface)));
        std::vector<std::vector<std::string>> rows;
        for (std::size_t i = 0; i < kVlanCaptions.size(); ++i)
            rows.push_back({kVlanCaptions[i], v.values[i]});
        Append(
            lines,
            Columns(rows, "  ", [&](std::size_t row, std::size_t column, const std::string& cell) {
                if (column == 0 || row < 2) return cell;
                return Painted(cell, row < 4 ? v.shades.validity : v.shades.access, colour);
            }));
        rows.clear();
        rows.push_back({kUserGridRows[0], v.userHeadings[0], v.userHeadings[1], v.userHeadings[2]});
        for (std::size_t r = 0; r < 4; ++r)
            rows.push_back({kUserGridRows[r + 1], v.users[r][0], v.users[r][1], v.users[r][2]});
        Append(
            lines,
            Columns(rows, "  ", [&](std::size_t row, std::size_t column, const std::string& cell) {
                return row == 0 || column == 0 ? cell : Painted(cell, v.shades.users, colour);
            }));
    }

    if (module) {
        const ModuleStatusView& m = *module;
        lines.push_back(platform::TrimBlanks(kRs485GroupCaption));
        std::vector<std::vector<std::string>> rows;
        for (std::size_t i = 0; i < kRs485Captions.size(); ++i)
            rows.push_back({std::string(kRs485Captions[i]) == "Timeout [ms]"
                                ? std::string("Čekání na odpověď [ms]")
                                : std::string(kRs485Captions[i]),
                            m.rs485[i]});
        Append(lines, Columns(rows, "  "));
        rows.clear();
        std::vector<std::string> heading = {kErrorGridRows[0]};
        heading.insert(heading.end(), kErrorGridColumns.begin(), kErrorGridColumns.end());
        rows.push_back(heading);
        for (std::size_t r = 0; r < 9; ++r) {
            std::vector<std::string> row = {kErrorGridRows[r + 1]};
            row.insert(row.end(), m.errors[r].begin(), m.errors[r].end());
            rows.push_back(row);
        }
        Append(lines, Columns(rows, "  "));
    }
    const std::string status = platform::TrimBlanks(screen.status);
    lines.push_back("Stav: " + (status == "OK" ? std::string("v pořádku") : status));
    return lines;
}

json DiagJson(const CycleOutcome& cycle, Vlan vlan, long number, const std::string& time) {
    const std::string status = cycle.statusText;
    json object = {
        {"cycle", number},       {"time", time},
        {"vlan", vlan.Number()}, {"ok", cycle.module.has_value() && cycle.vlan.has_value()},
        {"status", status},      {"requests", cycle.requests}};
    object["module"] = cycle.module ? ModuleJson(*cycle.module) : json(nullptr);
    object["interface"] = cycle.vlan ? VlanJson(*cycle.vlan) : json(nullptr);
    return object;
}

std::string UtcTimestamp() {
    // The calendar of <chrono> rather than gmtime_r, which Windows lacks.
    using namespace std::chrono;
    const auto now = time_point_cast<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[96];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

}  // namespace kv::cli
