#pragma once

// Each kind's parameters, one row each: the record's field, the key in the kind's section
// of the settings file, the connection dialog's row and caption, the limits, the word of
// the InitBlock. Loading and saving the settings, the dialog's layout, the connection
// initialisation and the command line's options all read this table.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "core/Dekl.h"

namespace kv {

// What a parameter is to the module; the command line names its options after it.
enum class ParameterRole : std::uint8_t {
    kDetection,    // how the USB device is found: 0 the first one, 1 by its serial number
    kSerial,       // the USB device's serial number
    kIpAddress,    // the address a UDP kind sends to
    kPort,         // the UDP port it sends to
    kTimeout,      // how long the library waits for a reply, in ms
    kComPort,      // the COM port's number
    kBaseAddress,  // the PCI-380 card's base address
};

// How a value is judged when the connection is initialised.
enum class ParameterForm : std::uint8_t {
    kNumber,       // a whole number from low to high, else refused with the row's text
    kText,         // a text that must not be empty, else refused
    kSerial,       // a text that must not be empty while the device is found by it
    kDetection,    // the detection list's position, taken as it is (-1: none chosen)
    kComPort,      // a port number; a text that is none reads as 1, 16 bits are kept
    kBaseAddress,  // three hexadecimal digits; anything else is the card's factory 300h
};

using RecordField =
    std::variant<std::string ConnectionSettings::*, std::int32_t ConnectionSettings::*,
                 std::uint16_t ConnectionSettings::*, std::uint8_t ConnectionSettings::*>;

struct KindParameter {
    std::uint8_t kind;
    std::uint8_t row;  // the dialog's row and the position among the kind's values: 0, 1, 2
    ParameterRole role;
    ParameterForm form;
    RecordField field;
    const char* key;      // in the kind's section of the settings file
    const char* caption;  // in the connection dialog
    std::int32_t low;
    std::int32_t high;
    std::uint8_t word;        // of the InitBlock
    const char* refusal;      // the status text when the initialisation refuses the value
    const char* panelPrefix;  // nullptr: the main window's address panel does not show it
};

// Every kind has at most three parameters, one per dialog row.
inline constexpr std::size_t kMaxKindParameters = 3;

std::span<const KindParameter> AllKindParameters();
// The kind's rows in row order; none for a kind without parameters or no kind at all.
std::span<const KindParameter> KindParameters(std::uint8_t kind);
// The kind's row of that role; nullptr when it has none.
const KindParameter* FindKindParameter(std::uint8_t kind, ParameterRole role);

// One parameter's typed value: a number (nullopt when what was entered is none) or a text.
struct ParameterValue {
    std::optional<std::int64_t> number;
    std::string text;
    bool operator==(const ParameterValue&) const = default;
};
// The kind's values in row order.
using KindValues = std::array<ParameterValue, kMaxKindParameters>;

// The field's value; a number as wide and signed as the field.
ParameterValue FieldValue(const ConnectionSettings& settings, const KindParameter& parameter);
// Stores the value into the field: a number's low bits as wide as the field.
void StoreFieldValue(ConnectionSettings& settings, const KindParameter& parameter,
                     const ParameterValue& value);
// The values of the kind as the record holds them.
KindValues KindValuesOf(std::uint8_t kind, const ConnectionSettings& settings);
// The value as the dialog shows it: a number without sign, a base address as "300h".
std::string ParameterText(const KindParameter& parameter, const ParameterValue& value);

// Upper-case hexadecimal with at least three digits and "h": 768 -> "300h".
std::string BaseAddressText(std::uint16_t base);

}  // namespace kv
