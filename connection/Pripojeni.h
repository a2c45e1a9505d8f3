#pragma once

// Connection: the speed table, the per-kind arrangement of the connection dialog's
// fields and the connection initialisation. No window here: the dialog hands over its
// field texts and list positions and shows the results.

#include <cstdint>
#include <optional>
#include <string>

#include "connection/Connection.h"
#include "core/Dekl.h"
#include "core/KindParameters.h"
#include "core/NumberText.h"
#include "core/StatusSink.h"

namespace kv {

// The speed list as the dialog shows it: codes 0..8.
extern const char* const kSpeedTexts[9];

std::uint32_t BaudRateFromIndex(std::uint8_t code);
std::uint8_t BaudIndexFromRate(std::int32_t baud);
std::uint32_t ReplyTimeoutFromIndex(std::uint32_t code);

// The dialog's variable part for one kind.
struct KindRow {
    bool shown = false;
    std::string caption;
    std::string value;
    bool editable = true;
};

struct KindLayout {
    KindRow first;  // Label3 with Edit2, or with the detection list (kind 0)
    bool firstIsDetectionList = false;
    int detectionPosition = -1;         // kind 0: list position, -1 none
    KindRow second;                     // Label6, Edit3
    KindRow third;                      // Label7, Edit4
    bool addressAndSpeedShown = false;  // Label1/Edit1 and Label2/ComboBox1
};

// The dialog's rows for the kind, filled from the record.
KindLayout LayoutForKind(std::uint8_t kind, const ConnectionSettings& settings);
// Whether the dialog shows the module's address and the speed for the kind.
bool ShowsAddressAndSpeed(std::uint8_t kind);

// The dialog's values at the moment "Inicializace připojení" is pressed.
struct ConnectionInput {
    int kindPosition = -1;       // ComboBox2
    std::string addressText;     // Edit1
    int speedPosition = -1;      // ComboBox1
    std::string firstText;       // Edit2
    std::string secondText;      // Edit3
    std::string thirdText;       // Edit4
    int detectionPosition = -1;  // ComboBox3
};

// A connection as typed values: the kind, the module's RS-485 address, the speed's code
// (a position of the speed list; 255 for none, which connects at 9600 Bd) and the kind's
// parameters in row order.
inline constexpr std::uint8_t kNoSpeedCode = 255;
struct ConnectionRequest {
    std::uint8_t kind = 0;
    std::uint8_t address = 0;
    std::uint8_t speedCode = 4;
    KindValues values{};
};

// The dialog's values read as the initialisation takes them: a number that is none stays
// without value (and is refused), the COM port and the base address read with their
// defaults.
ConnectionRequest ReadConnectionInput(const ConnectionInput& input);

// What the dialog shows after the initialisation.
struct ConnectionOutcome {
    std::string statusText;                // final text for the status panel
    std::string addressText;               // rewritten Edit1
    std::optional<std::string> firstText;  // rewritten Edit2 (kinds 2 and 3)
    bool success = false;
    // The library refused the connection itself (Init or SetConfig failed): no module
    // was asked. A library that takes one connection at a time refuses a second so.
    bool openRefused = false;
};

// The connection initialisation over the connection: whatever it had open is closed
// first, then the request's values are checked by the kind's rows and stored into the
// record, and the connection is opened, configured and the module identified. The record
// holds the outcome as the windows read it (connected, handle, module address, speed,
// identification); the connection, on success, is open to the identified module.
// The module's identification may contain zero characters (the module's own name is kept
// as it came): take moduleIdent and the success text by their size, not through c_str().
// A library that reports success but hands out handle 0 gives no usable connection; that
// ends like a failed identification request, with the text of code 10.
// The dialog's values, read by ReadConnectionInput; then as the typed request.
ConnectionOutcome InitialiseConnection(const ConnectionInput& input, ConnectionSettings& settings,
                                       Connection& connection, const StatusSink& status);
ConnectionOutcome InitialiseConnection(const ConnectionRequest& request,
                                       ConnectionSettings& settings, Connection& connection,
                                       const StatusSink& status);

// The record as an initialisation left its copy (the windows initialise a copy of their
// record on the connection's worker): every field, the text words of the init block
// pointing at this record's own texts.
void AdoptInitialisedRecord(ConnectionSettings& record, const ConnectionSettings& initialised);

// The address shown in the main window's second status panel for the stored kind.
std::string AddressForStatusPanel(const ConnectionSettings& settings);

}  // namespace kv
