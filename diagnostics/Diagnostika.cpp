#include "diagnostics/Diagnostika.h"

#include <algorithm>
#include <cstdio>

#include "diagnostics/StatusReader.h"

namespace kv {
namespace {

// Module status reply, by word.
constexpr std::size_t kUptime = 4;
constexpr std::size_t kAllowedTotal = 8;
constexpr std::size_t kDeniedTotal = 12;
constexpr std::size_t kType = 16;
constexpr std::size_t kVersion = 24;
constexpr std::size_t kSerial = 28;
constexpr std::size_t kOperatingMode = 36;
constexpr std::size_t kSetupNetwork = 52;    // IP address, mask, gateway, 4 words each
constexpr std::size_t kWorkingNetwork = 64;  // the same for the working mode
constexpr std::size_t kMac = 76;
constexpr std::size_t kBusBaudRate = 84;
constexpr std::size_t kBusTimeout = 88;
constexpr std::size_t kBusMessages = 92;
constexpr std::size_t kBusErrors = 96;
constexpr std::size_t kErrorRecords = 100;
constexpr std::size_t kErrorRecordWords = 16;

// VLAN status reply: one record of 80 words per interface from word 4; offsets within it.
constexpr std::size_t kVlanFirstRecord = 4;
constexpr std::size_t kVlanRecordWords = 80;
constexpr std::size_t kPort = 0;
constexpr std::size_t kMode = 2;
constexpr std::size_t kRemaining = 3;
constexpr std::size_t kMaximum = 7;
constexpr std::size_t kAllowed = 11;
constexpr std::size_t kDenied = 15;
constexpr std::size_t kLastDeniedIp = 19;
constexpr std::size_t kLastDeniedPort = 23;
constexpr std::size_t kLastDeniedTime = 25;
constexpr std::size_t kUsers = 32;
constexpr std::size_t kUserWords = 16;

std::string Decimal(std::uint32_t value) {
    return std::to_string(value);
}

std::string Mac(const StatusReader& in) {
    std::string out;
    for (std::size_t i = 0; i < 6; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(in.Byte(kMac + i)));
        if (i > 0) out += '-';
        out += hex;
    }
    return out;
}

std::string ThreeDigits(std::uint64_t value) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(value % 1000));
    return digits;
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

ModuleStatusView DecodeModuleStatus(const DataBuffer& reply) {
    const StatusReader in(reply);
    ModuleStatusView view;
    view.overview = {in.Text(kType, 8),
                     in.Text(kVersion, 4),
                     in.Text(kSerial, 8),
                     Mac(in),
                     in.Byte(kOperatingMode) == 0 ? "pracovní" : "setup",
                     Decimal(in.U32(kUptime)),
                     Decimal(in.U32(kAllowedTotal)),
                     Decimal(in.U32(kDeniedTotal))};

    for (std::size_t row = 0; row < 3; ++row) {
        view.network[row][0] = in.Ipv4(kSetupNetwork + 4 * row);
        view.network[row][1] = in.Ipv4(kWorkingNetwork + 4 * row);
    }

    const std::uint32_t messages = in.U32(kBusMessages);
    // Until a message has gone over the bus the speed there is not one in use.
    view.rs485 = {messages == 0 ? "0" : Decimal(in.U32(kBusBaudRate)), Decimal(in.U16(kBusTimeout)),
                  Decimal(messages), Decimal(in.U32(kBusErrors))};

    for (std::size_t k = 0; k < 5; ++k) {
        const std::size_t r = kErrorRecords + kErrorRecordWords * k;
        view.errors[0][k] = Decimal(in.Byte(r + 0));
        view.errors[1][k] = Decimal(in.Byte(r + 1)) + " / " + Decimal(in.Byte(r + 2));
        view.errors[2][k] = Decimal(in.Byte(r + 3));
        view.errors[3][k] = Decimal(in.Byte(r + 4));
        view.errors[4][k] = Decimal(in.Byte(r + 5));
        view.errors[5][k] = Decimal(in.Byte(r + 6));
        view.errors[6][k] = Decimal(in.U16(r + 7));
        view.errors[7][k] = Decimal(in.Byte(r + 9));
        view.errors[8][k] = Decimal(in.U32(r + 10));
    }
    return view;
}

VlanStatusView DecodeVlanStatus(const DataBuffer& reply, Vlan vlan,
                                const std::string& decimalSeparator) {
    const StatusReader in(reply);
    const std::size_t v =
        kVlanFirstRecord + kVlanRecordWords * static_cast<std::size_t>(vlan.Index());
    const std::uint8_t mode = in.Byte(v + kMode);

    VlanStatusView view;
    view.values = {Decimal(in.U16(v + kPort)),
                   mode == 0   ? "vypnuto"
                   : mode == 1 ? "časovač platnosti IP adresy"
                               : "tabulka uživatelů",
                   SecondsFromMilliseconds(in.U32(v + kRemaining), decimalSeparator),
                   Decimal(in.U32(v + kMaximum) / 1000),
                   Decimal(in.U32(v + kAllowed)),
                   Decimal(in.U32(v + kDenied)),
                   in.Ipv4(v + kLastDeniedIp) + ":" + Decimal(in.U16(v + kLastDeniedPort)),
                   Decimal(in.U32(v + kLastDeniedTime))};
    view.shades = ShadesForMode(mode);

    const auto& headings = mode == 1 ? kUserHeadingsByAge : kUserHeadingsNumbered;
    std::copy(headings.begin(), headings.end(), view.userHeadings.begin());

    for (std::size_t u = 0; u < 3; ++u) {
        const std::size_t r = v + kUsers + kUserWords * u;
        view.users[0][u] = in.Ipv4(r);
        view.users[1][u] = Decimal(in.U16(r + 4));
        view.users[2][u] = Decimal(in.U32(r + 6));
        view.users[3][u] = Decimal(in.U32(r + 10));
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

CycleOutcome RefreshDiagnostics(const ModuleLink& link, Vlan vlan,
                                const std::string& decimalSeparator, const StatusSink& status,
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
    if (reply.Ok()) out.vlan = DecodeVlanStatus(reply.data, vlan, decimalSeparator);
    show(link.ErrorText(reply.error));
    return out;
}

}  // namespace kv
