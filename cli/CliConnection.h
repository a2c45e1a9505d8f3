#pragma once

// The command-line program's way to a module: the stored settings file (only read, never
// written), or options that name the kind and its parameters, each option standing for
// the kind's parameter of its role. The typed values go to the connection
// initialisation, so that its checks and texts apply. Each module of a clone is one
// target that replaces the kind's address.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Output.h"
#include "connection/Pripojeni.h"
#include "core/Dekl.h"
#include "platform/Text.h"
#include "transport/LoadFailure.h"

namespace kv::cli {

// Every value as text, as given on the command line; ConnectionOptionError judges it.
struct ConnectionOptions {
    std::string settingsFile;              // empty: the stored settings file
    std::optional<std::string> kind;       // a kind's name ("LAN QUDP") or number (0..7)
    std::optional<std::string> address;    // the module's RS-485 address
    std::optional<std::string> speed;      // in Bd, one of the dialog's speeds
    std::optional<std::string> ip;         // kinds 1, 6, 7
    std::optional<std::string> port;       // kinds 1, 6, 7
    std::optional<std::string> timeout;    // kinds 0, 1, 6, 7, in ms
    std::optional<std::string> serial;     // kind 0: a device by its serial number
    std::optional<std::string> detection;  // kind 0: 0 the first device found, 1 by serial number
    std::optional<std::string> com;        // kind 2: the COM port's number
    std::optional<std::string> base;       // kind 3: the card's base address, "300h"
};

// The kind a name (any letter case) or a number 0..7 names.
std::optional<std::uint8_t> KindFromText(const std::string& text);
// "0 USBVx, 1 LAN QUDP, ..."
std::string KindNameList();

// The form each value must have on the command line, judged before anything connects:
// the text of what is wrong ("--address: „300“ není celé číslo od 0 do 255"), for the
// first option in the order of the struct.
std::optional<std::string> ConnectionOptionError(const ConnectionOptions& options);
// A whole number as the dialog reads its entries (decimal, or hexadecimal after "$" or
// "0x"), from low to high.
std::optional<std::string> WholeNumberError(const std::string& text, std::int32_t low,
                                            std::int32_t high);
// Four decimal numbers 0..255 joined by dots, as the libraries take an IP address.
std::optional<std::string> IpAddressError(const std::string& text);

// The record with its defaults and the settings file over them. The text of what went
// wrong when a named file cannot be read; the stored one may be absent. `note` tells when
// the file names no interface ("Rozhraní"), so that the defaults stand for it: a named
// file always, the stored one unless --kind names the interface.
std::optional<std::string> LoadConnectionSettings(const ConnectionOptions& options,
                                                  ConnectionSettings& settings,
                                                  std::string* note = nullptr);

// The module a request names, as a person reads it: "LAN QUDP (1), Cílová IP adresa
// 127.0.0.2, Cílový port 56565".
std::string DescribeRequest(const ConnectionRequest& request);

// The stored settings with the options over them, as typed values: the stored values as
// the dialog would take them when it opens on the kind. The text of a usage mistake (an
// option that the kind has no parameter for, a speed the dialog does not offer).
std::optional<std::string> BuildConnectionRequest(const ConnectionSettings& stored,
                                                  const ConnectionOptions& options,
                                                  ConnectionRequest& request);

// A target names one module: IP[:PORT] for the UDP kinds (1, 6, 7), a serial number for
// the USB interface (0), a COM port number (2), a base address (3), each in the form of
// the option it replaces. The kinds 4 and 5 reach one card only. The text of what is
// wrong with it.
std::optional<std::string> ApplyTarget(const std::string& target, ConnectionRequest& request);
// A list of targets separated by commas or blanks; empty entries are dropped.
std::vector<std::string> SplitTargets(const std::string& list);

// Where the binding refused the kind's library, why (its full path and the system's reason),
// after the binding's own text that names only the file.
void ReportLoadFailure(std::uint8_t kind, Output& out);

// A text for a line: the zero characters a module's name may hold are left out.
using platform::Printable;

// The connection initialisation of the request over the connection, into the record
// (a copy of the stored settings), and the report of how it ended: as a report, or as the
// result when `printResult` and it succeeded. True when the module answered and the
// connection can be used; the outcome, when asked for, tells the rest.
bool OpenConnection(Connection& connection, ConnectionSettings& settings,
                    const ConnectionRequest& request, Output& out, bool printResult = false,
                    ConnectionOutcome* outcome = nullptr);

}  // namespace kv::cli
