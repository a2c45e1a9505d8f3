#include "connection/Pripojeni.h"

#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <utility>

#include "core/ModuleLink.h"
#include "core/NumberText.h"
#include "platform/Cp1250.h"
#include "platform/Text.h"
#include "transport/InterfaceKinds.h"
#include "transport/Qxxx380.h"

namespace kv {

const char* const kSpeedTexts[9] = {"600 Bd",   "1200 Bd",  "2400 Bd",  "4800 Bd",  "9600 Bd",
                                    "19200 Bd", "38400 Bd", "57600 Bd", "115200 Bd"};

namespace {

// Codes 9 and 10 are not in the dialog's list, but a stored speed may still name them.
constexpr std::uint32_t kBaudRates[11] = {600,   1200,  2400,   4800,   9600,  19200,
                                          38400, 57600, 115200, 230400, 460800};
constexpr std::uint32_t kReplyTimeouts[9] = {1000, 1000, 500, 250, 200, 150, 100, 100, 100};

constexpr const char* kProgressText = "Probíhá inicializace připojení";
constexpr const char* kOpenFailedPrefix = "Chyba inicializace připojení - ";
constexpr const char* kSuccessPrefix = "Připojení úspěšně inicializováno. Připojen modul   ";
constexpr const char* kStatusOk = "V pořádku";

constexpr std::uint32_t kConfigMode = 2;

std::string Unsigned(std::int32_t value) {
    return std::to_string(static_cast<std::uint32_t>(value));
}

std::optional<std::int32_t> PortOrTimeout(const std::string& text) {
    auto value = StrictNumber(text);
    if (!value || *value < 0 || *value > 65535) return std::nullopt;
    return value;
}

std::uintptr_t NumberWord(std::int32_t value) {
    return static_cast<std::uintptr_t>(static_cast<std::uint32_t>(value));
}

// The library reads the text through the pointer during Init; the record owns the bytes.
std::uintptr_t TextWord(ConnectionSettings& settings, std::size_t word, const std::string& utf8) {
    settings.initTexts[word] = platform::Utf8ToCp1250(utf8);
    return reinterpret_cast<std::uintptr_t>(settings.initTexts[word].c_str());
}

struct UdpTexts {
    const char* badIp;
    const char* badPort;
    const char* badTimeout;
};

struct UdpFields {
    std::string* ip;
    std::int32_t* port;
    std::int32_t* timeout;
};

// Kinds 1, 6 and 7 read the same three rows; each stores them into its own fields and
// stops at the first bad row, keeping what was stored before it.
std::optional<std::string> ReadUdpRows(const ConnectionInput& input, const UdpTexts& texts,
                                       const UdpFields& fields) {
    if (input.firstText.empty()) return std::string(texts.badIp);
    *fields.ip = input.firstText;
    auto port = PortOrTimeout(input.secondText);
    if (!port) return std::string(texts.badPort);
    *fields.port = *port;
    auto timeout = PortOrTimeout(input.thirdText);
    if (!timeout) return std::string(texts.badTimeout);
    *fields.timeout = *timeout;
    return std::nullopt;
}

void FillUdpBlock(ConnectionSettings& settings, const UdpFields& fields) {
    settings.initBlock[0] = TextWord(settings, 0, *fields.ip);
    settings.initBlock[1] = NumberWord(*fields.port);
    settings.initBlock[2] = NumberWord(*fields.timeout);
}

// Reads, checks and stores the values of the chosen kind, then fills the InitBlock.
// Returns the status text of the first failing check.
std::optional<std::string> ReadKindValues(std::uint8_t kind, const ConnectionInput& input,
                                          ConnectionSettings& settings,
                                          ConnectionOutcome& outcome) {
    switch (kind) {
        case kKindUsbVx: {
            settings.usbDetection = input.detectionPosition;
            if (settings.usbDetection == 1 && input.secondText.empty()) {
                return std::string("Neplatné výrobní číslo");
            }
            settings.usbSerial = input.secondText;
            auto timeout = PortOrTimeout(input.thirdText);
            if (!timeout) return std::string("Neplatný USB timeout");
            settings.usbTimeout = *timeout;
            settings.initBlock[0] = NumberWord(settings.usbDetection);
            settings.initBlock[1] = TextWord(settings, 1, settings.usbSerial);
            settings.initBlock[2] = NumberWord(settings.usbTimeout);
            return std::nullopt;
        }
        case kKindLanQudp: {
            UdpFields fields{&settings.qudpTargetIp, &settings.qudpTargetPort,
                             &settings.qudpTimeout};
            if (auto failure = ReadUdpRows(
                    input, {"Neplatná IP adresa", "Neplatný cílový port", "Neplatný LAN timeout"},
                    fields)) {
                return failure;
            }
            // The dialog has no row for the source port: the library sends from the same
            // port number it sends to.
            settings.qudpSourcePort = settings.qudpTargetPort;
            FillUdpBlock(settings, fields);
            settings.initBlock[3] = NumberWord(settings.qudpSourcePort);
            return std::nullopt;
        }
        case kKindCom: {
            const std::int32_t n = NumberOrDefault(input.firstText, 1);
            const auto port = static_cast<std::uint16_t>(n);
            outcome.firstText = std::to_string(port);
            settings.comPort = static_cast<std::uint8_t>(n);
            settings.initBlock[0] = port;
            return std::nullopt;
        }
        case kKindPci380: {
            // Only the form the dialog itself writes ("2A0h") is taken at its word;
            // anything else falls back to the card's factory address.
            std::string hex = "$300";
            if (platform::Utf8Length(input.firstText) == 4) {
                hex = "$";
                hex += platform::Utf8Prefix(input.firstText, 3);
            }
            const auto base = static_cast<std::uint16_t>(NumberOrDefault(hex, 768));
            outcome.firstText = BaseAddressText(base);
            settings.pciBaseAddress = base;
            settings.initBlock[0] = base;
            return std::nullopt;
        }
        case kKindPci3380:
        case kKindUsb3380:
            return std::nullopt;
        case kKindKv3380:
        case kKindLan: {
            UdpFields fields =
                kind == kKindKv3380
                    ? UdpFields{&settings.kvIpAddress, &settings.kvUdpPort, &settings.kvUdpTimeout}
                    : UdpFields{&settings.lanIpAddress, &settings.lanUdpPort,
                                &settings.lanUdpTimeout};
            if (auto failure = ReadUdpRows(
                    input, {"Neplatná IP adresa", "Neplatný UDP port", "Neplatný UDP timeout"},
                    fields)) {
                return failure;
            }
            FillUdpBlock(settings, fields);
            return std::nullopt;
        }
        default:
            return std::string("Neznámý typ rozhraní");
    }
}

void AppendIdentCharacter(std::string& ident, std::uint32_t word) {
    const auto code = static_cast<std::uint8_t>(word & 0xFF);
    // A zero character stays in the text: a display that stops at it shows less, but the
    // stored identification is the module's own.
    if (code == 0) {
        ident.push_back('\0');
    } else {
        ident += platform::Cp1250CharToUtf8(code);
    }
}

}  // namespace

std::uint32_t BaudRateFromIndex(std::uint8_t code) {
    return code < std::size(kBaudRates) ? kBaudRates[code] : 9600;
}

std::uint8_t BaudIndexFromRate(std::int32_t baud) {
    for (std::size_t code = 0; code < std::size(kBaudRates); ++code) {
        if (static_cast<std::int64_t>(kBaudRates[code]) == baud) {
            return static_cast<std::uint8_t>(code);
        }
    }
    return 4;
}

std::uint32_t ReplyTimeoutFromIndex(std::uint32_t code) {
    return code < std::size(kReplyTimeouts) ? kReplyTimeouts[code] : 200;
}

std::string BaseAddressText(std::uint16_t base) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03Xh", static_cast<unsigned>(base));
    return buf;
}

KindLayout LayoutForKind(std::uint8_t kind, const ConnectionSettings& s) {
    KindLayout layout;
    auto row = [](const char* caption, std::string value) {
        KindRow r;
        r.shown = true;
        r.caption = caption;
        r.value = std::move(value);
        return r;
    };
    switch (kind) {
        case kKindUsbVx:
            layout.first = row("Detekce zařízení", "");
            layout.firstIsDetectionList = true;
            layout.detectionPosition = s.usbDetection & 1;
            layout.second = row("Výrobní číslo", s.usbSerial);
            layout.second.editable = s.usbDetection != 0;
            layout.third = row("USB timeout [ms]", Unsigned(s.usbTimeout));
            break;
        case kKindLanQudp:
            layout.first = row("Cílová IP adresa", s.qudpTargetIp);
            layout.second = row("Cílový port", Unsigned(s.qudpTargetPort));
            layout.third = row("LAN timeout [ms]", Unsigned(s.qudpTimeout));
            break;
        case kKindCom:
            layout.first = row("Číslo portu COMx", std::to_string(s.comPort));
            layout.addressAndSpeedShown = true;
            break;
        case kKindPci380:
            layout.first = row("Bázová adresa PCI-380", BaseAddressText(s.pciBaseAddress));
            layout.addressAndSpeedShown = true;
            break;
        case kKindPci3380:
        case kKindUsb3380:
            layout.addressAndSpeedShown = true;
            break;
        case kKindKv3380:
        case kKindLan: {
            const bool kv = kind == kKindKv3380;
            layout.first = row("IP adresa", kv ? s.kvIpAddress : s.lanIpAddress);
            layout.second = row("UDP port", Unsigned(kv ? s.kvUdpPort : s.lanUdpPort));
            layout.third = row("UDP timeout [ms]", Unsigned(kv ? s.kvUdpTimeout : s.lanUdpTimeout));
            // Of the two, only the direct link to the module shows the address and speed rows.
            layout.addressAndSpeedShown = kv;
            break;
        }
        default:
            break;
    }
    return layout;
}

namespace {

// How the initialisation reaches the library: the process's one library (the windows),
// or one the caller holds beside other connections of it (the command line's fleet).
struct TransportSteps {
    std::function<std::uint32_t(std::uint8_t, std::uint32_t*, const InitBlock&)> open;
    std::function<std::uint32_t(std::uint8_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::uint32_t)>
        configure;
    std::function<void(std::uint8_t, std::uint32_t&)> close;
    std::function<std::shared_ptr<const LoadedLibrary>()> library;
    std::function<std::string(std::uint8_t, std::uint32_t)> errorText;
};

ConnectionOutcome Initialise(const ConnectionInput& input, ConnectionSettings& settings,
                             const StatusSink& status, const TransportSteps& steps) {
    ConnectionOutcome outcome;
    ShowStatus(status, kProgressText);

    const auto address = static_cast<std::uint8_t>(NumberOrDefault(input.addressText, 0));
    outcome.addressText = std::to_string(address);
    const auto speedCode = static_cast<std::uint8_t>(input.speedPosition);
    const auto kind = static_cast<std::uint8_t>(input.kindPosition);
    settings.interfaceKind = kind;

    settings.initBlock.fill(0);
    for (auto& text : settings.initTexts) text.clear();

    if (auto failure = ReadKindValues(kind, input, settings, outcome)) {
        outcome.statusText = *failure;
        return outcome;
    }

    std::uint32_t handle = settings.handle;
    if (std::uint32_t code = steps.open(kind, &handle, settings.initBlock); code != 0) {
        outcome.statusText = kOpenFailedPrefix + steps.errorText(kind, code);
        outcome.openRefused = true;
        return outcome;
    }
    settings.connected = true;
    auto closeNew = [&] {
        steps.close(kind, handle);
        settings.handle = handle;
        settings.connected = false;
    };

    const std::uint32_t baud = BaudRateFromIndex(speedCode);
    if (std::uint32_t code =
            steps.configure(kind, handle, baud, ReplyTimeoutFromIndex(speedCode), kConfigMode);
        code != 0) {
        outcome.statusText = kOpenFailedPrefix + steps.errorText(kind, code);
        outcome.openRefused = true;
        closeNew();
        return outcome;
    }

    // The module reads the second and third request with what the previous reply left in
    // the buffer and the command. A library that opened with handle 0 gives a link that
    // sends nothing: that ends with the text of code 10, never as an identified module.
    const ModuleLink link(steps.library(), kind, handle, address);
    Reply reply;
    std::string name;
    std::string version;
    for (std::uint8_t part = 0; part < kIdentifyParts; ++part) {
        reply = link.Transact(IdentifyRequest(part), reply.data, reply.command);
        if (!reply.Ok()) {
            outcome.statusText = link.ErrorText(reply.error);
            closeNew();
            return outcome;
        }
        std::string& target = part < 2 ? name : version;
        for (std::size_t w = 0; w < 4; ++w) AppendIdentCharacter(target, reply.data[w]);
    }

    settings.moduleIdent = name + " v." + version;
    outcome.statusText = kSuccessPrefix + settings.moduleIdent;
    outcome.success = true;

    settings.moduleAddress = address;
    settings.baudRate = baud;
    settings.statusText = kStatusOk;
    settings.handle = handle;
    return outcome;
}

}  // namespace

ConnectionOutcome InitialiseConnection(const ConnectionInput& input, ConnectionSettings& settings,
                                       const StatusSink& status) {
    // Whatever follows, the old connection is gone first: even an invalid entry ends it.
    if (ConnectionUsable(settings)) {
        std::uint32_t old = settings.handle;
        CloseTransport(settings.interfaceKind, &old);
        settings.handle = old;
    }
    settings.connected = false;

    TransportSteps steps;
    steps.open = OpenTransport;
    steps.configure = ConfigureTransport;
    steps.close = [](std::uint8_t kind, std::uint32_t& handle) { CloseTransport(kind, &handle); };
    steps.library = LoadedTransport;
    steps.errorText = ErrorString;
    return Initialise(input, settings, status, steps);
}

ConnectionOutcome InitialiseConnectionOn(const std::shared_ptr<const LoadedLibrary>& library,
                                         const ConnectionInput& input, ConnectionSettings& settings,
                                         const StatusSink& status) {
    settings.connected = false;
    settings.handle = 0;
    if (library == nullptr || static_cast<int>(library->Kind()) != input.kindPosition) {
        ConnectionOutcome outcome;
        outcome.statusText =
            kOpenFailedPrefix +
            ErrorString(static_cast<std::uint8_t>(input.kindPosition), kErrNotLoaded);
        outcome.openRefused = true;
        return outcome;
    }
    TransportSteps steps;
    steps.open = [&](std::uint8_t, std::uint32_t* handle, const InitBlock& block) {
        const InitBlock copy = block;
        return library->Init(handle, copy);
    };
    steps.configure = [&](std::uint8_t, std::uint32_t handle, std::uint32_t baud,
                          std::uint32_t replyTimeoutMs, std::uint32_t mode) {
        return library->SetConfig(handle, baud, replyTimeoutMs, mode);
    };
    steps.close = [&](std::uint8_t, std::uint32_t& handle) { library->Done(&handle); };
    steps.library = [&] { return library; };
    steps.errorText = [&](std::uint8_t, std::uint32_t code) {
        TextWords text{};
        library->ErrorText(code, text);
        return TextFromWords(text);
    };
    return Initialise(input, settings, status, steps);
}

std::string AddressForStatusPanel(const ConnectionSettings& settings) {
    switch (settings.interfaceKind) {
        case kKindLanQudp:
            return settings.qudpTargetIp;
        case kKindCom:
            return "COM" + std::to_string(settings.comPort);
        case kKindPci380:
            return BaseAddressText(settings.pciBaseAddress);
        case kKindKv3380:
            return settings.kvIpAddress;
        case kKindLan:
            return settings.lanIpAddress;
        default:
            // Kind 0 finds its device by detection, kinds 4 and 5 have no address at all.
            return {};
    }
}

}  // namespace kv
