#include "cli/CliConnection.h"

#include <iterator>

#include "platform/IniFile.h"
#include "platform/Text.h"
#include "transport/InterfaceKinds.h"
#include "transport/Qxxx380.h"

namespace kv::cli {
namespace {

bool IsUdpKind(std::uint8_t kind) {
    return kind == kKindLanQudp || kind == kKindKv3380 || kind == kKindLan;
}

std::string KindName(std::uint8_t kind) {
    const InterfaceKindInfo* info = FindInterfaceKind(kind);
    return info != nullptr ? info->name : std::to_string(kind);
}

std::string Unfit(const char* option, std::uint8_t kind) {
    return std::string("volba ") + option + " nepatří k rozhraní " + KindName(kind);
}

}  // namespace

std::optional<std::uint8_t> KindFromText(const std::string& text) {
    for (const InterfaceKindInfo& info : kInterfaceKinds)
        if (platform::SameAsciiName(text, info.name)) return info.kind;
    if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kInterfaceKindCount)
        return static_cast<std::uint8_t>(text[0] - '0');
    return std::nullopt;
}

std::string KindNameList() {
    std::string out;
    for (const InterfaceKindInfo& info : kInterfaceKinds) {
        if (!out.empty()) out += ", ";
        out += std::to_string(info.kind) + " " + info.name;
    }
    return out;
}

std::optional<std::string> LoadConnectionSettings(const ConnectionOptions& options,
                                                  ConnectionSettings& settings) {
    SetDefaults(&settings);
    if (options.settingsFile.empty()) {
        // The utility's own file, wherever it keeps it; without one the defaults stand.
        LoadSettings(&settings);
        return std::nullopt;
    }
    platform::IniFile probe;
    switch (probe.LoadFile(options.settingsFile)) {
        case platform::IniLoadStatus::kMissing:
            return "soubor nastavení " + options.settingsFile + " neexistuje";
        case platform::IniLoadStatus::kUnreadable:
            return "soubor nastavení " + options.settingsFile + " nelze přečíst";
        case platform::IniLoadStatus::kLoaded:
            break;
    }
    LoadSettings(&settings, options.settingsFile);
    return std::nullopt;
}

std::optional<std::string> BuildConnectionInput(const ConnectionSettings& stored,
                                                const ConnectionOptions& options,
                                                ConnectionInput& input) {
    std::uint8_t kind = stored.interfaceKind;
    if (options.kind) {
        const auto named = KindFromText(*options.kind);
        if (!named) return "neznámé rozhraní „" + *options.kind + "“; známá jsou " + KindNameList();
        kind = *named;
    }

    // As the dialog fills its fields from the record when it opens on this kind.
    const KindLayout layout = LayoutForKind(kind, stored);
    input = ConnectionInput{};
    input.kindPosition = kind;
    input.addressText = std::to_string(stored.moduleAddress);
    const std::uint8_t code = BaudIndexFromRate(static_cast<std::int32_t>(stored.baudRate));
    input.speedPosition = code < std::size(kSpeedTexts) ? code : -1;
    input.firstText = layout.firstIsDetectionList ? std::string() : layout.first.value;
    input.secondText = layout.second.value;
    input.thirdText = layout.third.value;
    input.detectionPosition = layout.detectionPosition;

    if (options.address) input.addressText = *options.address;
    if (options.speed) {
        bool found = false;
        std::string offered;
        for (std::size_t c = 0; c < std::size(kSpeedTexts); ++c) {
            const std::string rate =
                std::to_string(BaudRateFromIndex(static_cast<std::uint8_t>(c)));
            offered += (offered.empty() ? "" : ", ") + rate;
            if (rate == *options.speed) {
                input.speedPosition = static_cast<int>(c);
                found = true;
            }
        }
        if (!found) return "neplatná rychlost „" + *options.speed + "“; možné jsou " + offered;
    }

    const bool udp = IsUdpKind(kind);
    if (options.ip) {
        if (!udp) return Unfit("--ip", kind);
        input.firstText = *options.ip;
    }
    if (options.port) {
        if (!udp) return Unfit("--port", kind);
        input.secondText = *options.port;
    }
    if (options.timeout) {
        if (!udp && kind != kKindUsbVx) return Unfit("--timeout", kind);
        input.thirdText = *options.timeout;
    }
    if (options.serial) {
        if (kind != kKindUsbVx) return Unfit("--serial", kind);
        input.secondText = *options.serial;
        // A serial number is only looked at when the device is chosen by it.
        if (!options.detection) input.detectionPosition = 1;
    }
    if (options.detection) {
        if (kind != kKindUsbVx) return Unfit("--detection", kind);
        if (*options.detection != "0" && *options.detection != "1")
            return "detekce zařízení je 0 (první nalezené) nebo 1 (podle výrobního čísla)";
        input.detectionPosition = *options.detection == "1" ? 1 : 0;
    }
    if (options.com) {
        if (kind != kKindCom) return Unfit("--com", kind);
        input.firstText = *options.com;
    }
    if (options.base) {
        if (kind != kKindPci380) return Unfit("--base", kind);
        input.firstText = *options.base;
    }
    return std::nullopt;
}

std::optional<std::string> ApplyTarget(const std::string& target, ConnectionInput& input) {
    const auto kind = static_cast<std::uint8_t>(input.kindPosition);
    if (target.empty()) return std::string("prázdný cíl");
    if (IsUdpKind(kind)) {
        const auto colon = target.rfind(':');
        if (colon == std::string::npos) {
            input.firstText = target;
        } else {
            if (colon == 0 || colon + 1 == target.size())
                return "cíl „" + target + "“ má být IP adresa nebo IP adresa:port";
            input.firstText = target.substr(0, colon);
            input.secondText = target.substr(colon + 1);
        }
        return std::nullopt;
    }
    switch (kind) {
        case kKindUsbVx:
            input.secondText = target;
            input.detectionPosition = 1;
            return std::nullopt;
        case kKindCom:
        case kKindPci380:
            input.firstText = target;
            return std::nullopt;
        default:
            return "rozhraní " + KindName(kind) + " má jediný modul; cíle nelze rozlišit";
    }
}

std::vector<std::string> SplitTargets(const std::string& list) {
    std::vector<std::string> targets;
    std::string current;
    for (char c : list) {
        if (c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!current.empty()) targets.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) targets.push_back(current);
    return targets;
}

bool ModuleConnection::Open(const ConnectionInput& input, Output& out, bool printResult) {
    Close();
    outcome_ = InitialiseConnection(input, settings_, {});
    const std::string text = Printable(outcome_.statusText);
    if (printResult && outcome_.success) {
        out.Print(text);
    } else {
        out.Report(text);
    }
    return outcome_.success && ConnectionUsable(settings_);
}

void ModuleConnection::Close() {
    if (ConnectionUsable(settings_)) CloseTransport(settings_.interfaceKind, &settings_.handle);
    settings_.connected = false;
}

std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\0') out += c;
    return out;
}

}  // namespace kv::cli
