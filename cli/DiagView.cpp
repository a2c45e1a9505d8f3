#include "cli/DiagView.h"

#include <charconv>
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

// A decoder's decimal as a JSON number; anything else stays text.
json Whole(const std::string& text) {
    if (const auto value = DecimalValue(text)) return *value;
    return text;
}

json Fraction(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error == std::errc() && at == end && !text.empty()) return value;
    return text;
}

json ModuleJson(const ModuleStatusView& view) {
    const auto& o = view.overview;
    json module = {{"type", o[0]},
                   {"version", o[1]},
                   {"serial", o[2]},
                   {"mac", o[3]},
                   {"operating_mode", o[4]},
                   {"uptime_s", Whole(o[5])},
                   {"allowed_total", Whole(o[6])},
                   {"denied_total", Whole(o[7])}};
    auto network = [&](std::size_t column) {
        return json{{"ip", view.network[0][column]},
                    {"mask", view.network[1][column]},
                    {"gateway", view.network[2][column]}};
    };
    module["network"] = {{"setup", network(0)}, {"working", network(1)}};
    module["rs485"] = {{"baud_rate", Whole(view.rs485[0])},
                       {"timeout_ms", Whole(view.rs485[1])},
                       {"messages", Whole(view.rs485[2])},
                       {"errors", Whole(view.rs485[3])}};
    json errors = json::array();
    for (std::size_t k = 0; k < kErrorGridColumns.size(); ++k) {
        const auto& e = view.errors;
        // "VLAN rozhraní / uživatel" shows both numbers in one cell.
        const std::string both = e[1][k];
        const auto slash = both.find(" / ");
        errors.push_back({{"code", Whole(e[0][k])},
                          {"vlan", Whole(both.substr(0, slash))},
                          {"user", Whole(slash == std::string::npos ? "" : both.substr(slash + 3))},
                          {"module_address", Whole(e[2][k])},
                          {"function", Whole(e[3][k])},
                          {"peripheral", Whole(e[4][k])},
                          {"command", Whole(e[5][k])},
                          {"duration_ms", Whole(e[6][k])},
                          {"repetitions", Whole(e[7][k])},
                          {"timestamp_ms", Whole(e[8][k])}});
    }
    module["errors"] = errors;
    return module;
}

json VlanJson(const VlanStatusView& view) {
    const auto& v = view.values;
    json vlan = {{"port", Whole(v[0])},
                 {"mode", v[1]},
                 {"remaining_validity_s", Fraction(v[2])},
                 {"max_validity_s", Whole(v[3])},
                 {"allowed", Whole(v[4])},
                 {"denied", Whole(v[5])},
                 {"last_denied", v[6]},
                 {"last_denied_time_s", Whole(v[7])},
                 {"shades",
                  {{"validity", ShadeName(view.shades.validity)},
                   {"access", ShadeName(view.shades.access)},
                   {"users", ShadeName(view.shades.users)}}}};
    json users = json::array();
    for (std::size_t u = 0; u < view.userHeadings.size(); ++u)
        users.push_back({{"heading", view.userHeadings[u]},
                         {"ip", view.users[0][u]},
                         {"port", Whole(view.users[1][u])},
                         {"allowed", Whole(view.users[2][u])},
                         {"last_message_s", Whole(view.users[3][u])}});
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

    if (screen.module) {
        const ModuleStatusView& m = *screen.module;
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
        const VlanStatusView& v = *screen.vlan;
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

    if (screen.module) {
        const ModuleStatusView& m = *screen.module;
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

std::optional<std::uint64_t> DecimalValue(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error == std::errc() && at == end && !text.empty()) return value;
    return std::nullopt;
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
