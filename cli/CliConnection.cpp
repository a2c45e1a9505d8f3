#include "cli/CliConnection.h"

#include <cctype>
#include <iterator>

#include "core/NumberText.h"
#include "platform/FileAccess.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "transport/InterfaceKinds.h"

namespace kv::cli {
namespace {

std::string KindName(std::uint8_t kind) {
    const InterfaceKindInfo* info = FindInterfaceKind(kind);
    return info != nullptr ? info->name : std::to_string(kind);
}

std::string Unfit(const char* option, std::uint8_t kind) {
    return std::string("volba ") + option + " nepatří k rozhraní " + KindName(kind);
}

std::string Quoted(const std::string& text) {
    return "„" + text + "“";
}

// A USB device's serial number as the module keeps it: eight letters or digits.
std::optional<std::string> SerialError(const std::string& text) {
    bool ok = text.size() == 8;
    for (char c : text)
        ok = ok && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
    if (ok) return std::nullopt;
    return Quoted(text) + " není výrobní číslo (8 písmen nebo číslic)";
}

// The form the dialog writes a PCI-380 base address in, and the only one it takes.
std::optional<std::string> BaseAddressError(const std::string& text) {
    bool ok = text.size() == 4 && (text[3] == 'h' || text[3] == 'H');
    for (std::size_t i = 0; ok && i < 3; ++i)
        ok = std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    if (ok) return std::nullopt;
    return Quoted(text) + " není bázová adresa ve tvaru 300h (tři šestnáctkové číslice a h)";
}

// Each option stands for the kind's parameter of one role, in the order it is judged in.
struct KindOption {
    ParameterRole role;
    const char* name;
    std::optional<std::string> ConnectionOptions::*text;
};
constexpr KindOption kKindOptions[] = {
    {ParameterRole::kIpAddress, "--ip", &ConnectionOptions::ip},
    {ParameterRole::kPort, "--port", &ConnectionOptions::port},
    {ParameterRole::kTimeout, "--timeout", &ConnectionOptions::timeout},
    {ParameterRole::kSerial, "--serial", &ConnectionOptions::serial},
    {ParameterRole::kDetection, "--detection", &ConnectionOptions::detection},
    {ParameterRole::kComPort, "--com", &ConnectionOptions::com},
    {ParameterRole::kBaseAddress, "--base", &ConnectionOptions::base},
};

// The limits of a role's number, the same for every kind that has it.
const KindParameter& FirstOfRole(ParameterRole role) {
    for (const KindParameter& p : AllKindParameters())
        if (p.role == role) return p;
    return AllKindParameters().front();
}

// What is wrong with a value given for a parameter of the role.
std::optional<std::string> RoleValueError(ParameterRole role, const std::string& text);

// The typed value of a text RoleValueError accepts.
ParameterValue RoleValue(ParameterRole role, const std::string& text) {
    ParameterValue value;
    switch (role) {
        case ParameterRole::kIpAddress:
        case ParameterRole::kSerial:
            value.text = text;
            break;
        case ParameterRole::kBaseAddress:
            value.number = NumberOrDefault("$" + text.substr(0, 3), 0);
            break;
        default:
            value.number = StrictNumber(text);
            break;
    }
    return value;
}

// Sets the kind's parameter of the role; false when the kind has none.
bool SetRole(ConnectionRequest& request, ParameterRole role, ParameterValue value) {
    const KindParameter* p = FindKindParameter(request.kind, role);
    if (p == nullptr) return false;
    request.values[p->row] = std::move(value);
    return true;
}

std::optional<std::string> SpeedError(const std::string& text) {
    std::string offered;
    for (std::size_t c = 0; c < std::size(kSpeedTexts); ++c) {
        const std::string rate = std::to_string(BaudRateFromIndex(static_cast<std::uint8_t>(c)));
        if (rate == text) return std::nullopt;
        offered += (offered.empty() ? "" : ", ") + rate;
    }
    return "neplatná rychlost " + Quoted(text) + "; možné jsou " + offered;
}

}  // namespace

std::optional<std::string> WholeNumberError(const std::string& text, std::int32_t low,
                                            std::int32_t high) {
    const auto number = StrictNumber(text);
    if (number && *number >= low && *number <= high) return std::nullopt;
    return Quoted(text) + " není celé číslo od " + std::to_string(low) + " do " +
           std::to_string(high);
}

std::optional<std::string> IpAddressError(const std::string& text) {
    std::size_t parts = 0;
    std::size_t digits = 0;
    int value = 0;
    bool ok = true;
    for (std::size_t i = 0; ok && i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '.';
        if (c == '.') {
            ok = digits > 0 && ++parts <= 4;
            digits = 0;
            value = 0;
        } else if (c >= '0' && c <= '9') {
            // No leading zero: "010" would read as octal elsewhere.
            ok = !(digits == 1 && value == 0);
            value = value * 10 + (c - '0');
            ok = ok && ++digits <= 3 && value <= 255;
        } else {
            ok = false;
        }
    }
    if (ok && parts == 4) return std::nullopt;
    return Quoted(text) + " není IP adresa (čtyři čísla 0 až 255 oddělená tečkou)";
}

namespace {

std::optional<std::string> RoleValueError(ParameterRole role, const std::string& text) {
    switch (role) {
        case ParameterRole::kIpAddress:
            return IpAddressError(text);
        case ParameterRole::kSerial:
            return SerialError(text);
        case ParameterRole::kBaseAddress:
            return BaseAddressError(text);
        case ParameterRole::kDetection:
            if (text == "0" || text == "1") return std::nullopt;
            return Quoted(text) + " není 0 (první nalezené zařízení) ani 1 (podle výrobního čísla)";
        case ParameterRole::kPort:
            // The dialog takes 0, but no module listens there: the library refuses it only
            // after the connection has begun, with a text of its own.
            return WholeNumberError(text, 1, FirstOfRole(role).high);
        default: {
            const KindParameter& p = FirstOfRole(role);
            return WholeNumberError(text, p.low, p.high);
        }
    }
}

}  // namespace

std::optional<std::string> ConnectionOptionError(const ConnectionOptions& o) {
    auto named = [](const char* option, std::optional<std::string> error) {
        if (error) error = std::string(option) + ": " + *error;
        return error;
    };
    if (o.kind && !KindFromText(*o.kind))
        return "--kind: neznámé rozhraní " + Quoted(*o.kind) + "; známá jsou " + KindNameList();
    if (o.address) {
        if (auto e = named("--address", WholeNumberError(*o.address, 0, 255))) return e;
    }
    if (o.speed) {
        if (auto e = named("--speed", SpeedError(*o.speed))) return e;
    }
    for (const KindOption& option : kKindOptions) {
        if (const auto& text = o.*option.text) {
            if (auto e = named(option.name, RoleValueError(option.role, *text))) return e;
        }
    }
    return std::nullopt;
}

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
                                                  ConnectionSettings& settings, std::string* note) {
    SetDefaults(&settings);
    const bool named = !options.settingsFile.empty();
    // The utility's own file, wherever it keeps it; without one the defaults stand.
    const std::string path = named ? options.settingsFile : SettingsFilePath();
    const platform::FileBytes probe =
        platform::ReadSmallFile(path, platform::IniFile::kMaxFileSize);
    using Status = platform::FileBytes::Status;
    if (named && probe.status == Status::kMissing)
        return "soubor nastavení " + path + " neexistuje";
    if (named && probe.status != Status::kRead)
        return "soubor nastavení " + path + " nelze přečíst: " + probe.reason;
    LoadSettings(&settings, path);

    if (note == nullptr || (!named && options.kind)) return std::nullopt;
    const std::string which = named ? "soubor nastavení " + path : "uložené nastavení " + path;
    if (probe.status == Status::kMissing) {
        *note = which + " neexistuje";
    } else if (probe.status != Status::kRead) {
        *note = which + " nelze přečíst (" + probe.reason + ")";
    } else if (const auto kind = StoredInterfaceName(path); !kind) {
        *note = which + " nenastavuje rozhraní (klíč „Rozhraní“ v oddílu [Připojení])";
    } else if (!InterfaceKindByName(*kind)) {
        *note = which + " jmenuje neznámé rozhraní " + Quoted(*kind);
    }
    return std::nullopt;
}

std::string DescribeRequest(const ConnectionRequest& request) {
    const std::uint8_t kind = request.kind;
    std::string text = KindName(kind) + " (" + std::to_string(kind) + ")";
    const KindParameter* detection = FindKindParameter(kind, ParameterRole::kDetection);
    const bool bySerial = detection != nullptr && request.values[detection->row].number == 1;
    if (detection != nullptr && !bySerial) text += ", první nalezené zařízení";
    for (const KindParameter& p : KindParameters(kind)) {
        // The time-out says nothing about which module it is.
        if (p.role == ParameterRole::kDetection || p.role == ParameterRole::kTimeout) continue;
        if (p.role == ParameterRole::kSerial && !bySerial) continue;
        text +=
            ", " + platform::TrimBlanks(p.caption) + " " + ParameterText(p, request.values[p.row]);
    }
    if (ShowsAddressAndSpeed(kind)) text += ", adresa modulu " + std::to_string(request.address);
    return text;
}

std::optional<std::string> BuildConnectionRequest(const ConnectionSettings& stored,
                                                  const ConnectionOptions& options,
                                                  ConnectionRequest& request) {
    if (auto error = ConnectionOptionError(options)) return error;
    std::uint8_t kind = stored.interfaceKind;
    if (options.kind) kind = *KindFromText(*options.kind);

    // As the dialog takes the record's values when it opens on this kind.
    request = ConnectionRequest{};
    request.kind = kind;
    request.address = stored.moduleAddress;
    const std::uint8_t code = BaudIndexFromRate(static_cast<std::int32_t>(stored.baudRate));
    request.speedCode = code < std::size(kSpeedTexts) ? code : kNoSpeedCode;
    request.values = KindValuesOf(kind, stored);
    if (const KindParameter* detection = FindKindParameter(kind, ParameterRole::kDetection)) {
        ParameterValue& position = request.values[detection->row];
        position.number = LayoutForKind(kind, stored).detectionPosition;
    }

    if (options.address)
        request.address = static_cast<std::uint8_t>(*StrictNumber(*options.address));
    if (options.speed) {
        for (std::size_t c = 0; c < std::size(kSpeedTexts); ++c)
            if (std::to_string(BaudRateFromIndex(static_cast<std::uint8_t>(c))) == *options.speed)
                request.speedCode = static_cast<std::uint8_t>(c);
    }
    for (const KindOption& option : kKindOptions) {
        const auto& text = options.*option.text;
        if (text && !SetRole(request, option.role, RoleValue(option.role, *text)))
            return Unfit(option.name, kind);
    }
    // A serial number is only looked at when the device is chosen by it.
    if (options.serial && !options.detection)
        SetRole(request, ParameterRole::kDetection, RoleValue(ParameterRole::kDetection, "1"));
    return std::nullopt;
}

std::optional<std::string> ApplyTarget(const std::string& target, ConnectionRequest& request) {
    if (target.empty()) return std::string("prázdný cíl");
    auto wrong = [&](std::optional<std::string> error) {
        if (error) error = "cíl " + Quoted(target) + ": " + *error;
        return error;
    };
    using R = ParameterRole;
    if (FindKindParameter(request.kind, R::kIpAddress) != nullptr) {
        const auto colon = target.rfind(':');
        const std::string ip = target.substr(0, colon);
        if (auto error = wrong(RoleValueError(R::kIpAddress, ip))) return error;
        SetRole(request, R::kIpAddress, RoleValue(R::kIpAddress, ip));
        if (colon != std::string::npos) {
            const std::string port = target.substr(colon + 1);
            if (auto error = wrong(RoleValueError(R::kPort, port))) return error;
            SetRole(request, R::kPort, RoleValue(R::kPort, port));
        }
        return std::nullopt;
    }
    for (const R role : {R::kSerial, R::kComPort, R::kBaseAddress}) {
        if (FindKindParameter(request.kind, role) == nullptr) continue;
        if (auto error = wrong(RoleValueError(role, target))) return error;
        SetRole(request, role, RoleValue(role, target));
        // A serial number chooses the device by it.
        if (role == R::kSerial) SetRole(request, R::kDetection, RoleValue(R::kDetection, "1"));
        return std::nullopt;
    }
    return "rozhraní " + KindName(request.kind) + " má jediný modul; cíle nelze rozlišit";
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

bool OpenConnection(Connection& connection, ConnectionSettings& settings,
                    const ConnectionRequest& request, Output& out, bool printResult,
                    ConnectionOutcome* outcome) {
    const ConnectionOutcome opened = InitialiseConnection(request, settings, connection, {});
    // The status bar's text spaces its parts for the window ("Připojen modul   KV-3380U");
    // a line takes one blank between words.
    std::string text;
    for (char c : Printable(opened.statusText))
        if (c != ' ' || text.empty() || text.back() != ' ') text += c;
    if (printResult && opened.success) {
        out.Print(text);
    } else {
        out.Report(text);
        if (opened.openRefused) ReportLoadFailure(settings.interfaceKind, out);
    }
    if (outcome != nullptr) *outcome = opened;
    return opened.success && connection.IsOpen();
}

void ReportLoadFailure(std::uint8_t kind, Output& out) {
    if (auto why = DescribeLoadFailure(kind)) out.Report("kv3380u: " + *why);
}

}  // namespace kv::cli
