#include "diagnostics/Diagnostika.h"

#include <algorithm>
#include <cstdio>

namespace kv {
namespace {

std::string Decimal(std::uint32_t value) {
    return std::to_string(value);
}

std::string ThreeDigits(std::uint64_t value) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(value % 1000));
    return digits;
}

std::array<std::uint8_t, kStatusReplyWords> ReplyBytes(const DataBuffer& reply) {
    static_assert(std::tuple_size_v<DataBuffer> == kStatusReplyWords);
    std::array<std::uint8_t, kStatusReplyWords> bytes{};
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<std::uint8_t>(reply[k] & 0xFF);
    return bytes;
}

}  // namespace

VlanShades ShadesForMode(std::uint8_t mode) {
    switch (mode) {
        case 0:
            return {Shade::kGrey, Shade::kGrey, Shade::kGrey};
        case 1:
            return {Shade::kBlue, Shade::kBlue, Shade::kWindowText};
        default:
            return {Shade::kGrey, Shade::kBlue, Shade::kWindowText};
    }
}

std::string DiagnosticsCaption(Vlan vlan) {
    return kDiagnosticsCaption + std::to_string(vlan.Number());
}

std::string VlanGroupCaption(Vlan vlan) {
    return kVlanGroupCaption + std::to_string(vlan.Number()) + " ";
}

std::string SecondsFromMilliseconds(std::uint32_t ms, const std::string& decimalSeparator) {
    // Whole numbers only: the value has exactly three decimals, which a binary fraction
    // would not always give back.
    const std::uint64_t whole = ms / 1000;
    if (whole < 1'000'000)
        return Decimal(static_cast<std::uint32_t>(whole)) + decimalSeparator +
               ThreeDigits(ms % 1000);

    // value = ms * 10^-3 = mantissa * 10^exponent with the mantissa in [1, 10); its three
    // decimals are ms / 10^exponent, rounded half up.
    int exponent = 0;
    for (std::uint64_t w = whole; w >= 10; w /= 10) ++exponent;
    std::uint64_t scale = 1;
    for (int i = 0; i < exponent; ++i) scale *= 10;
    std::uint64_t mantissa = (static_cast<std::uint64_t>(ms) + scale / 2) / scale;
    if (mantissa >= 10'000) {
        mantissa /= 10;
        ++exponent;
    }
    char power[16];
    std::snprintf(power, sizeof power, "e+%02d", exponent);
    return Decimal(static_cast<std::uint32_t>(mantissa / 1000)) + decimalSeparator +
           ThreeDigits(mantissa) + power;
}

ModuleStatus DecodeModuleStatus(const DataBuffer& reply) {
    return ReadModuleStatus(ReplyBytes(reply));
}

VlanStatus DecodeVlanStatus(const DataBuffer& reply, Vlan vlan) {
    return ReadVlanStatus(ReplyBytes(reply), vlan);
}

std::string Ipv4Text(const Ip4& ip) {
    return Decimal(ip[0]) + "." + Decimal(ip[1]) + "." + Decimal(ip[2]) + "." + Decimal(ip[3]);
}

std::string MacText(const std::array<std::uint8_t, 6>& mac) {
    std::string out;
    for (std::uint8_t byte : mac) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(byte));
        if (!out.empty()) out += '-';
        out += hex;
    }
    return out;
}

std::string LastDeniedText(const VlanStatus& status) {
    return Ipv4Text(status.lastDeniedIp) + ":" + Decimal(status.lastDeniedPort);
}

const char* OperatingModeText(std::uint8_t mode) {
    return mode == 0 ? "pracovní" : "setup";
}

const char* VlanModeText(std::uint8_t mode) {
    return mode == 0 ? "vypnuto" : mode == 1 ? "časovač platnosti IP adresy" : "tabulka uživatelů";
}

const std::array<const char*, 3>& UserHeadings(std::uint8_t mode) {
    return mode == 1 ? kUserHeadingsByAge : kUserHeadingsNumbered;
}

std::uint32_t BusBaudRateInUse(const ModuleStatus& status) {
    return status.busMessages == 0 ? 0 : status.busBaudRate;
}

ModuleStatusView FormatModuleStatus(const ModuleStatus& status) {
    ModuleStatusView view;
    view.overview = {status.type,
                     status.version,
                     status.serial,
                     MacText(status.mac),
                     OperatingModeText(status.operatingMode),
                     Decimal(status.uptimeS),
                     Decimal(status.allowedTotal),
                     Decimal(status.deniedTotal)};

    const NetworkAddresses* modes[2] = {&status.setup, &status.working};
    for (std::size_t c = 0; c < 2; ++c) {
        view.network[0][c] = Ipv4Text(modes[c]->ip);
        view.network[1][c] = Ipv4Text(modes[c]->mask);
        view.network[2][c] = Ipv4Text(modes[c]->gateway);
    }

    view.rs485 = {Decimal(BusBaudRateInUse(status)), Decimal(status.busTimeoutMs),
                  Decimal(status.busMessages), Decimal(status.busErrors)};

    for (std::size_t k = 0; k < status.errors.size(); ++k) {
        const BusErrorRecord& e = status.errors[k];
        view.errors[0][k] = Decimal(e.code);
        view.errors[1][k] = Decimal(e.vlan) + " / " + Decimal(e.user);
        view.errors[2][k] = Decimal(e.moduleAddress);
        view.errors[3][k] = Decimal(e.function);
        view.errors[4][k] = Decimal(e.peripheral);
        view.errors[5][k] = Decimal(e.command);
        view.errors[6][k] = Decimal(e.durationMs);
        view.errors[7][k] = Decimal(e.repetitions);
        view.errors[8][k] = Decimal(e.timestampMs);
    }
    return view;
}

VlanStatusView FormatVlanStatus(const VlanStatus& status, const std::string& decimalSeparator) {
    VlanStatusView view;
    view.values = {Decimal(status.port),
                   VlanModeText(status.mode),
                   SecondsFromMilliseconds(status.remainingValidityMs, decimalSeparator),
                   Decimal(status.maxValidityMs / 1000),
                   Decimal(status.allowed),
                   Decimal(status.denied),
                   LastDeniedText(status),
                   Decimal(status.lastDeniedTimeS)};
    view.shades = ShadesForMode(status.mode);

    const auto& headings = UserHeadings(status.mode);
    std::copy(headings.begin(), headings.end(), view.userHeadings.begin());

    for (std::size_t u = 0; u < status.users.size(); ++u) {
        const VlanUserStatus& user = status.users[u];
        view.users[0][u] = Ipv4Text(user.ip);
        view.users[1][u] = Decimal(user.port);
        view.users[2][u] = Decimal(user.allowed);
        view.users[3][u] = Decimal(user.lastMessageS);
    }
    return view;
}

StatusReplies FetchStatus(const ModuleLink& link, const StopAsked& stopAsked) {
    using Clock = std::chrono::steady_clock;
    StatusReplies replies;
    // Each cycle starts from an all-zero buffer; the second request goes out with the
    // first reply still in it, only its parameter words cleared.
    auto start = Clock::now();
    replies.module = link.Transact(kModuleStatusRequest);
    replies.moduleTime = Clock::now() - start;
    if (!replies.module.Ok() || StopRequested(stopAsked)) return replies;

    DataBuffer data = replies.module.data;
    std::fill_n(data.begin(), 4, 0u);
    start = Clock::now();
    replies.vlan = link.Transact(kVlanStatusRequest, data);
    replies.vlanTime = Clock::now() - start;
    return replies;
}

CycleOutcome RefreshDiagnostics(const ModuleLink& link, Vlan vlan, const StatusSink& status,
                                const StopAsked& stopAsked) {
    CycleOutcome out;
    auto show = [&](const std::string& text) {
        out.statusText = text;
        ShowStatus(status, text);
    };
    if (!link.Usable()) {
        show(kNotConnectedText);
        return out;
    }

    const StatusReplies replies = FetchStatus(link, stopAsked);
    out.requests = replies.Requests();
    if (!replies.module.Ok()) {
        show(link.ErrorText(replies.module.error));
        return out;
    }
    out.module = DecodeModuleStatus(replies.module.data);
    if (!replies.vlan) return out;
    const Reply& reply = *replies.vlan;
    if (reply.Ok()) out.vlan = DecodeVlanStatus(reply.data, vlan);
    show(link.ErrorText(reply.error));
    return out;
}

}  // namespace kv
