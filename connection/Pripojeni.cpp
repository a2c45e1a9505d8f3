#include "connection/Pripojeni.h"

#include <iterator>
#include <utility>

#include "core/KindParameters.h"
#include "core/ModuleLink.h"
#include "core/NumberText.h"
#include "platform/Cp1250.h"
#include "platform/Text.h"
#include "transport/InterfaceKinds.h"

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

std::uintptr_t NumberWord(std::int64_t value) {
    return static_cast<std::uintptr_t>(static_cast<std::uint32_t>(value));
}

// The library reads the text through the pointer during Init; the record owns the bytes.
std::uintptr_t TextWord(ConnectionSettings& settings, std::size_t word, const std::string& utf8) {
    settings.initTexts[word] = platform::Utf8ToCp1250(utf8);
    return reinterpret_cast<std::uintptr_t>(settings.initTexts[word].c_str());
}

constexpr std::uint16_t kFactoryBaseAddress = 0x300;

// Checks the values of the chosen kind row by row, stores each into the record and its
// word into the InitBlock, and stops at the first refused one, keeping what was stored
// before it. Returns the status text of the refusal.
std::optional<std::string> StoreKindValues(std::uint8_t kind, const KindValues& values,
                                           ConnectionSettings& settings,
                                           ConnectionOutcome& outcome) {
    if (kind >= kInterfaceKindCount) return std::string("Neznámý typ rozhraní");
    for (const KindParameter& p : KindParameters(kind)) {
        ParameterValue value = values[p.row];
        const auto outside = [&] {
            return !value.number || *value.number < p.low || *value.number > p.high;
        };
        switch (p.form) {
            case ParameterForm::kNumber:
                if (outside()) return std::string(p.refusal);
                break;
            case ParameterForm::kText:
                if (value.text.empty()) return std::string(p.refusal);
                break;
            case ParameterForm::kSerial: {
                // Only looked at when the device is found by it.
                const KindParameter* detection = FindKindParameter(kind, ParameterRole::kDetection);
                if (value.text.empty() && detection != nullptr &&
                    FieldValue(settings, *detection).number == 1)
                    return std::string(p.refusal);
                break;
            }
            case ParameterForm::kDetection:
                if (!value.number) value.number = 0;
                break;
            case ParameterForm::kComPort:
                // The library takes the port's 16 bits, the record keeps its low byte.
                value.number = static_cast<std::uint16_t>(value.number.value_or(1));
                outcome.firstText = ParameterText(p, value);
                break;
            case ParameterForm::kBaseAddress:
                if (outside()) value.number = kFactoryBaseAddress;
                outcome.firstText = ParameterText(p, value);
                break;
        }
        StoreFieldValue(settings, p, value);
        settings.initBlock[p.word] =
            value.number ? NumberWord(*value.number) : TextWord(settings, p.word, value.text);
    }
    if (kind == kKindLanQudp) {
        // The dialog has no row for the source port: the library sends from the same
        // port number it sends to.
        settings.qudpSourcePort = settings.qudpTargetPort;
        settings.initBlock[3] = NumberWord(settings.qudpSourcePort);
    }
    return std::nullopt;
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

bool ShowsAddressAndSpeed(std::uint8_t kind) {
    // The kinds whose library speaks on the module's RS-485 bus itself; of the UDP kinds
    // only the direct link to the module.
    return kind == kKindCom || kind == kKindPci380 || kind == kKindPci3380 ||
           kind == kKindUsb3380 || kind == kKindKv3380;
}

KindLayout LayoutForKind(std::uint8_t kind, const ConnectionSettings& s) {
    KindLayout layout;
    KindRow* const rows[kMaxKindParameters] = {&layout.first, &layout.second, &layout.third};
    const KindParameter* detection = FindKindParameter(kind, ParameterRole::kDetection);
    const bool bySerial = detection != nullptr && FieldValue(s, *detection).number != 0;
    for (const KindParameter& p : KindParameters(kind)) {
        KindRow& row = *rows[p.row];
        row.shown = true;
        row.caption = p.caption;
        const ParameterValue value = FieldValue(s, p);
        if (p.form == ParameterForm::kDetection) {
            layout.firstIsDetectionList = true;
            layout.detectionPosition = static_cast<int>(value.number.value_or(0) & 1);
            continue;
        }
        row.value = ParameterText(p, value);
        if (p.form == ParameterForm::kSerial) row.editable = bySerial;
    }
    layout.addressAndSpeedShown = ShowsAddressAndSpeed(kind);
    return layout;
}

ConnectionRequest ReadConnectionInput(const ConnectionInput& input) {
    ConnectionRequest request;
    request.kind = static_cast<std::uint8_t>(input.kindPosition);
    request.address = static_cast<std::uint8_t>(NumberOrDefault(input.addressText, 0));
    request.speedCode = static_cast<std::uint8_t>(input.speedPosition);
    const std::string* const texts[kMaxKindParameters] = {&input.firstText, &input.secondText,
                                                          &input.thirdText};
    for (const KindParameter& p : KindParameters(request.kind)) {
        const std::string& text = *texts[p.row];
        ParameterValue& value = request.values[p.row];
        switch (p.form) {
            case ParameterForm::kNumber:
                if (const auto number = StrictNumber(text)) value.number = *number;
                break;
            case ParameterForm::kText:
            case ParameterForm::kSerial:
                value.text = text;
                break;
            case ParameterForm::kDetection:
                value.number = input.detectionPosition;
                break;
            case ParameterForm::kComPort:
                value.number = NumberOrDefault(text, 1);
                break;
            case ParameterForm::kBaseAddress: {
                // Only the form the dialog itself writes ("2A0h") is taken at its word;
                // anything else falls back to the card's factory address.
                std::string hex = "$300";
                if (platform::Utf8Length(text) == 4) {
                    hex = "$";
                    hex += platform::Utf8Prefix(text, 3);
                }
                value.number = static_cast<std::uint16_t>(NumberOrDefault(hex, 768));
                break;
            }
        }
    }
    return request;
}

ConnectionOutcome InitialiseConnection(const ConnectionInput& input, ConnectionSettings& settings,
                                       Connection& connection, const StatusSink& status) {
    return InitialiseConnection(ReadConnectionInput(input), settings, connection, status);
}

ConnectionOutcome InitialiseConnection(const ConnectionRequest& request,
                                       ConnectionSettings& settings, Connection& connection,
                                       const StatusSink& status) {
    // Whatever follows, the old connection is gone first: even an invalid entry ends it.
    if (connection.IsOpen()) {
        std::uint32_t old = connection.Handle();
        connection.CloseTransport(&old);
        settings.handle = old;
    }
    settings.connected = false;

    ConnectionOutcome outcome;
    ShowStatus(status, kProgressText);

    const std::uint8_t address = request.address;
    outcome.addressText = std::to_string(address);
    const std::uint8_t speedCode = request.speedCode;
    const std::uint8_t kind = request.kind;
    settings.interfaceKind = kind;

    settings.initBlock.fill(0);
    for (auto& text : settings.initTexts) text.clear();

    if (auto failure = StoreKindValues(kind, request.values, settings, outcome)) {
        outcome.statusText = *failure;
        return outcome;
    }

    std::uint32_t handle = settings.handle;
    if (std::uint32_t code = connection.OpenTransport(kind, &handle, settings.initBlock);
        code != 0) {
        outcome.statusText = kOpenFailedPrefix + connection.ErrorText(code);
        outcome.openRefused = true;
        return outcome;
    }
    settings.connected = true;
    auto closeNew = [&] {
        connection.CloseTransport(&handle);
        settings.handle = handle;
        settings.connected = false;
    };

    const std::uint32_t baud = BaudRateFromIndex(speedCode);
    if (std::uint32_t code =
            connection.ConfigureTransport(baud, ReplyTimeoutFromIndex(speedCode), kConfigMode);
        code != 0) {
        outcome.statusText = kOpenFailedPrefix + connection.ErrorText(code);
        outcome.openRefused = true;
        closeNew();
        return outcome;
    }

    // The module reads the second and third request with what the previous reply left in
    // the buffer and the command. A library that opened with handle 0 gives a link that
    // sends nothing: that ends with the text of code 10, never as an identified module.
    connection.SetModuleAddress(address);
    const ModuleLink link = connection.Link();
    Reply reply;
    std::string name;
    std::string version;
    for (std::uint8_t part = 0; part < kIdentifyParts; ++part) {
        reply = link.Transact(IdentifyRequest(part), reply.data, reply.command);
        if (!reply.Ok()) {
            outcome.statusText = connection.ErrorText(reply.error);
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

void AdoptInitialisedRecord(ConnectionSettings& record, const ConnectionSettings& initialised) {
    record = initialised;
    for (const KindParameter& p : KindParameters(record.interfaceKind)) {
        const bool text = p.form == ParameterForm::kText || p.form == ParameterForm::kSerial;
        if (text && record.initBlock[p.word] != 0)
            record.initBlock[p.word] =
                reinterpret_cast<std::uintptr_t>(record.initTexts[p.word].c_str());
    }
}

std::string AddressForStatusPanel(const ConnectionSettings& settings) {
    // Kind 0 finds its device by detection, kinds 4 and 5 have no address at all.
    for (const KindParameter& p : KindParameters(settings.interfaceKind))
        if (p.panelPrefix != nullptr)
            return p.panelPrefix + ParameterText(p, FieldValue(settings, p));
    return {};
}

}  // namespace kv
