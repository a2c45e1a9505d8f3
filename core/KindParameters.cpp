#include "core/KindParameters.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <type_traits>

#include "transport/InterfaceKinds.h"

namespace kv {
namespace {

using S = ConnectionSettings;
using R = ParameterRole;
using F = ParameterForm;
constexpr std::int32_t kPortHigh = 65535;

// Grouped by kind, each kind's rows in the dialog's order.
constexpr KindParameter kParameters[] = {
    {kKindUsbVx, 0, R::kDetection, F::kDetection, &S::usbDetection, "Detekce", "Detekce zařízení",
     0, 1, 0, nullptr, nullptr},
    {kKindUsbVx, 1, R::kSerial, F::kSerial, &S::usbSerial, "Výrobní číslo", "Výrobní číslo", 0, 0,
     1, "Neplatné výrobní číslo", nullptr},
    {kKindUsbVx, 2, R::kTimeout, F::kNumber, &S::usbTimeout, "USB timeout", "USB timeout [ms]", 0,
     kPortHigh, 2, "Neplatný USB timeout", nullptr},

    {kKindLanQudp, 0, R::kIpAddress, F::kText, &S::qudpTargetIp, "Cílová IP adresa",
     "Cílová IP adresa", 0, 0, 0, "Neplatná IP adresa", ""},
    {kKindLanQudp, 1, R::kPort, F::kNumber, &S::qudpTargetPort, "Cílový port", "Cílový port", 0,
     kPortHigh, 1, "Neplatný cílový port", nullptr},
    {kKindLanQudp, 2, R::kTimeout, F::kNumber, &S::qudpTimeout, "LAN timeout", "LAN timeout [ms]",
     0, kPortHigh, 2, "Neplatný LAN timeout", nullptr},

    // The command line takes the COM ports 1 to 255; the dialog reads any number.
    {kKindCom, 0, R::kComPort, F::kComPort, &S::comPort, "Číslo portu", "Číslo portu COMx", 1, 255,
     0, nullptr, "COM"},

    {kKindPci380, 0, R::kBaseAddress, F::kBaseAddress, &S::pciBaseAddress, "Bázová adresa",
     "Bázová adresa PCI-380", 0, 0xFFF, 0, nullptr, ""},

    // The two UDP kinds keep the same keys, each in its own section.
    {kKindKv3380, 0, R::kIpAddress, F::kText, &S::kvIpAddress, "IP adresa", "IP adresa", 0, 0, 0,
     "Neplatná IP adresa", ""},
    {kKindKv3380, 1, R::kPort, F::kNumber, &S::kvUdpPort, "UDP port", "UDP port", 0, kPortHigh, 1,
     "Neplatný UDP port", nullptr},
    {kKindKv3380, 2, R::kTimeout, F::kNumber, &S::kvUdpTimeout, "UDP timeout", "UDP timeout [ms]",
     0, kPortHigh, 2, "Neplatný UDP timeout", nullptr},

    {kKindLan, 0, R::kIpAddress, F::kText, &S::lanIpAddress, "IP adresa", "IP adresa", 0, 0, 0,
     "Neplatná IP adresa", ""},
    {kKindLan, 1, R::kPort, F::kNumber, &S::lanUdpPort, "UDP port", "UDP port", 0, kPortHigh, 1,
     "Neplatný UDP port", nullptr},
    {kKindLan, 2, R::kTimeout, F::kNumber, &S::lanUdpTimeout, "UDP timeout", "UDP timeout [ms]", 0,
     kPortHigh, 2, "Neplatný UDP timeout", nullptr},
};

}  // namespace

std::span<const KindParameter> AllKindParameters() {
    return kParameters;
}

std::span<const KindParameter> KindParameters(std::uint8_t kind) {
    const auto* first = std::find_if(std::begin(kParameters), std::end(kParameters),
                                     [&](const KindParameter& p) { return p.kind == kind; });
    const auto* last = std::find_if(first, std::end(kParameters),
                                    [&](const KindParameter& p) { return p.kind != kind; });
    return {first, last};
}

const KindParameter* FindKindParameter(std::uint8_t kind, ParameterRole role) {
    for (const KindParameter& p : KindParameters(kind))
        if (p.role == role) return &p;
    return nullptr;
}

ParameterValue FieldValue(const ConnectionSettings& settings, const KindParameter& parameter) {
    ParameterValue value;
    std::visit(
        [&](auto member) {
            using Field = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<Field, std::string>) {
                value.text = settings.*member;
            } else {
                value.number = static_cast<std::int64_t>(settings.*member);
            }
        },
        parameter.field);
    return value;
}

void StoreFieldValue(ConnectionSettings& settings, const KindParameter& parameter,
                     const ParameterValue& value) {
    std::visit(
        [&](auto member) {
            using Field = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<Field, std::string>) {
                settings.*member = value.text;
            } else if (value.number) {
                settings.*member = static_cast<Field>(*value.number);
            }
        },
        parameter.field);
}

KindValues KindValuesOf(std::uint8_t kind, const ConnectionSettings& settings) {
    KindValues values;
    for (const KindParameter& p : KindParameters(kind)) values[p.row] = FieldValue(settings, p);
    return values;
}

std::string ParameterText(const KindParameter& parameter, const ParameterValue& value) {
    if (std::holds_alternative<std::string ConnectionSettings::*>(parameter.field))
        return value.text;
    if (!value.number) return {};
    if (parameter.form == ParameterForm::kBaseAddress)
        return BaseAddressText(static_cast<std::uint16_t>(*value.number));
    return std::to_string(static_cast<std::uint32_t>(*value.number));
}

std::string BaseAddressText(std::uint16_t base) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03Xh", static_cast<unsigned>(base));
    return buf;
}

}  // namespace kv
