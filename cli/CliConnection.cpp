#include "cli/CliConnection.h"

#include <cctype>
#include <iterator>

#include "app/NumberText.h"
#include "platform/FileAccess.h"
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
    if (o.ip) {
        if (auto e = named("--ip", IpAddressError(*o.ip))) return e;
    }
    if (o.port) {
        if (auto e = named("--port", WholeNumberError(*o.port, 0, 65535))) return e;
    }
    if (o.timeout) {
        if (auto e = named("--timeout", WholeNumberError(*o.timeout, 0, 65535))) return e;
    }
    if (o.serial) {
        if (auto e = named("--serial", SerialError(*o.serial))) return e;
    }
    if (o.detection && *o.detection != "0" && *o.detection != "1")
        return "--detection: " + Quoted(*o.detection) +
               " není 0 (první nalezené zařízení) ani 1 (podle výrobního čísla)";
    if (o.com) {
        if (auto e = named("--com", WholeNumberError(*o.com, 1, 255))) return e;
    }
    if (o.base) {
        if (auto e = named("--base", BaseAddressError(*o.base))) return e;
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

std::string DescribeInput(const ConnectionInput& input) {
    const auto kind = static_cast<std::uint8_t>(input.kindPosition);
    std::string text = KindName(kind) + " (" + std::to_string(input.kindPosition) + ")";
    const KindLayout layout = LayoutForKind(kind, ConnectionSettings{});
    auto add = [&](const KindRow& row, const std::string& value) {
        if (row.shown) text += ", " + platform::TrimBlanks(row.caption) + " " + value;
    };
    if (layout.firstIsDetectionList) {
        if (input.detectionPosition == 1) {
            add(layout.second, input.secondText);
        } else {
            text += ", první nalezené zařízení";
        }
    } else {
        add(layout.first, input.firstText);
        // The time-out says nothing about which module it is.
        add(layout.second, input.secondText);
    }
    if (layout.addressAndSpeedShown) text += ", adresa modulu " + input.addressText;
    return text;
}

std::optional<std::string> BuildConnectionInput(const ConnectionSettings& stored,
                                                const ConnectionOptions& options,
                                                ConnectionInput& input) {
    if (auto error = ConnectionOptionError(options)) return error;
    std::uint8_t kind = stored.interfaceKind;
    if (options.kind) kind = *KindFromText(*options.kind);

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
        for (std::size_t c = 0; c < std::size(kSpeedTexts); ++c)
            if (std::to_string(BaudRateFromIndex(static_cast<std::uint8_t>(c))) == *options.speed)
                input.speedPosition = static_cast<int>(c);
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
    auto wrong = [&](std::optional<std::string> error) {
        if (error) error = "cíl " + Quoted(target) + ": " + *error;
        return error;
    };
    if (IsUdpKind(kind)) {
        const auto colon = target.rfind(':');
        const std::string ip = target.substr(0, colon);
        if (auto error = wrong(IpAddressError(ip))) return error;
        input.firstText = ip;
        if (colon != std::string::npos) {
            const std::string port = target.substr(colon + 1);
            if (auto error = wrong(WholeNumberError(port, 0, 65535))) return error;
            input.secondText = port;
        }
        return std::nullopt;
    }
    switch (kind) {
        case kKindUsbVx:
            if (auto error = wrong(SerialError(target))) return error;
            input.secondText = target;
            input.detectionPosition = 1;
            return std::nullopt;
        case kKindCom:
            if (auto error = wrong(WholeNumberError(target, 1, 255))) return error;
            input.firstText = target;
            return std::nullopt;
        case kKindPci380:
            if (auto error = wrong(BaseAddressError(target))) return error;
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
