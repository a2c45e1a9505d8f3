#pragma once

// Diagnostics of the module: its fixed texts, the decoders that turn the two status
// replies into typed values, how the window writes those values (one string per label or
// grid cell, with the colour scheme of the interface mode), and the refresh cycle that
// fetches both replies. Nothing here knows a window: the diagnostics window places the
// strings; kv3380u's JSON and the exporter take the typed values.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "core/StatusReplies.h"
#include "core/StatusSink.h"

namespace kv {

// The window and its three groups. The window and the VLAN group append the VLAN number
// (and the group one blank after it).
inline constexpr const char* kDiagnosticsCaption = " Diagnostika komunikačního rozhraní VLAN";
inline constexpr const char* kOverviewGroupCaption = " Přehled ";
inline constexpr const char* kVlanGroupCaption = " Rozhraní VLAN";
inline constexpr const char* kRs485GroupCaption = " Rozhraní KV (RS-485) ";

// The value captions, in the order of the values of the views below.
inline constexpr std::array<const char*, 8> kOverviewCaptions = {"Typ",
                                                                 "Verze",
                                                                 "Výrobní číslo",
                                                                 "MAC adresa",
                                                                 "Režim provozu",
                                                                 "Čas od zapnutí [s]",
                                                                 "Povolené přístupy celkem",
                                                                 "Nepovolené přístupy celkem"};
inline constexpr std::array<const char*, 8> kVlanCaptions = {"Port",
                                                             "Režim rozhraní",
                                                             "Doba do konce platnosti IP [s]",
                                                             "Max. doba platnosti IP [s]",
                                                             "Povolené přístupy VLAN",
                                                             "Nepovolené přístupy VLAN",
                                                             "Poslední nepovolená IP adresa",
                                                             "Čas poslední nepovolené zprávy [s]"};
inline constexpr std::array<const char*, 4> kRs485Captions = {
    "Komunikační rychlost [Bd]", "Timeout [ms]", "Počet zpráv", "Počet chyb"};

// The grids' fixed cells: column 0 of every row (row 0 first) and row 0 of the other
// columns.
inline constexpr std::array<const char*, 4> kNetworkGridRows = {"Síťové parametry", "IP adresa",
                                                                "Maska", "Brána"};
inline constexpr std::array<const char*, 2> kNetworkGridColumns = {"setup režim", "pracovní režim"};
inline constexpr std::array<const char*, 5> kUserGridRows = {"Tabulka uživatelů", "IP adresa",
                                                             "Port", "Povolené přístupy celkem",
                                                             "Čas poslední zprávy [s]"};
// The user columns' headings: by number, and in the timer mode by age (the current user,
// the previous one, the one before).
inline constexpr std::array<const char*, 3> kUserHeadingsNumbered = {"Uživatel 1", "Uživatel 2",
                                                                     "Uživatel 3"};
inline constexpr std::array<const char*, 3> kUserHeadingsByAge = {"Uživatel", "Uživatel -1",
                                                                  "Uživatel -2"};
inline constexpr std::array<const char*, 10> kErrorGridRows = {"Tabulka chyb",
                                                               "Kód chyby",
                                                               "VLAN rozhraní / uživatel",
                                                               "Adresa modulu",
                                                               "Funkce",
                                                               "Periferie",
                                                               "Povel",
                                                               "Doba komunikace [ms]",
                                                               "Počet opakování",
                                                               "Časová značka [ms]"};
inline constexpr std::array<const char*, 5> kErrorGridColumns = {"Chyba", "Chyba -1", "Chyba -2",
                                                                 "Chyba -3", "Chyba -4"};

// A grid's cells without its fixed row and column: cells[row - 1][column - 1].
template <std::size_t Rows, std::size_t Columns>
using GridCells = std::array<std::array<std::string, Columns>, Rows>;

// The module status reply as the window shows it.
struct ModuleStatusView {
    std::array<std::string, 8> overview;  // as kOverviewCaptions
    GridCells<3, 2> network;              // IP address, mask, gateway × setup, working mode
    std::array<std::string, 4> rs485;     // as kRs485Captions
    GridCells<9, 5> errors;               // the rows of kErrorGridRows × records, newest first

    bool operator==(const ModuleStatusView&) const = default;
};

// The colours the interface mode gives its values. The user grid's normal colour is the
// desktop's window-text colour, which only the window knows.
enum class Shade { kGrey, kBlue, kWindowText };

struct Rgb {
    std::uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kGreyRgb{128, 128, 128};
inline constexpr Rgb kBlueRgb{0, 0, 255};

struct VlanShades {
    Shade validity;  // remaining and maximum IP validity
    Shade access;    // access counters, last denied address and its time
    Shade users;     // the user grid's cells

    bool operator==(const VlanShades&) const = default;
};

VlanShades ShadesForMode(std::uint8_t mode);

// The VLAN status reply, for one interface, as the window shows it.
struct VlanStatusView {
    std::array<std::string, 8> values;        // as kVlanCaptions
    std::array<std::string, 3> userHeadings;  // row 0 of the user columns
    GridCells<4, 3> users;                    // the rows of kUserGridRows × users
    VlanShades shades{};

    bool operator==(const VlanStatusView&) const = default;
};

// " Diagnostika komunikačního rozhraní VLAN2" and " Rozhraní VLAN2 " for VLAN2.
std::string DiagnosticsCaption(Vlan vlan);
std::string VlanGroupCaption(Vlan vlan);

// Milliseconds as seconds with exactly three decimals and the user's separator. From
// seven digits before the separator on, three decimals of the mantissa and a signed
// exponent of at least two digits: 4294967295 ms is "4,295e+06" with a comma.
std::string SecondsFromMilliseconds(std::uint32_t ms, const std::string& decimalSeparator);

// The replies as the transport hands them over: each word's low 8 bits are its byte.
ModuleStatus DecodeModuleStatus(const DataBuffer& reply);
// Reads only the record of the given interface.
VlanStatus DecodeVlanStatus(const DataBuffer& reply, Vlan vlan);

// How the window writes the values. Addresses as four decimals joined by "."; the MAC
// as six upper-case hexadecimal pairs joined by "-"; the last denied address with ":"
// and its port.
std::string Ipv4Text(const Ip4& ip);
std::string MacText(const std::array<std::uint8_t, 6>& mac);
std::string LastDeniedText(const VlanStatus& status);
// "pracovní" for 0, "setup" for anything else.
const char* OperatingModeText(std::uint8_t mode);
// "vypnuto", "časovač platnosti IP adresy", and "tabulka uživatelů" for anything else.
const char* VlanModeText(std::uint8_t mode);
// The user columns' headings: by age in the timer mode, else by number.
const std::array<const char*, 3>& UserHeadings(std::uint8_t mode);
// The bus speed shown: 0 until a message has gone over the bus, as no speed is in use
// there before.
std::uint32_t BusBaudRateInUse(const ModuleStatus& status);

ModuleStatusView FormatModuleStatus(const ModuleStatus& status);
VlanStatusView FormatVlanStatus(const VlanStatus& status, const std::string& decimalSeparator);

// What one refresh cycle changed. A value that is absent stays on display as it was.
struct CycleOutcome {
    std::optional<ModuleStatus> module;  // the module status request succeeded
    std::optional<VlanStatus> vlan;      // the VLAN status request succeeded too
    std::string statusText;              // also shown through the sink
    int requests = 0;                    // sent to the module in this cycle
};

// The two status replies of one refresh as the module gave them, and how long each
// exchange took. The VLAN status request goes out only after the module status reply,
// with that reply in its buffer and only the parameter words cleared.
struct StatusReplies {
    Reply module;
    std::chrono::nanoseconds moduleTime{0};
    std::optional<Reply> vlan;  // absent when the module status request failed
    std::chrono::nanoseconds vlanTime{0};
    int Requests() const { return vlan ? 2 : 1; }
};
// Over a usable link (nothing is sent over one that is not: kErrNotLoaded). When a stop
// is asked for after the first reply, the second request is not sent (vlan stays absent).
StatusReplies FetchStatus(const ModuleLink& link, const StopAsked& stopAsked = {});

// One refresh: the module status request, then the VLAN status request, over the link.
// Without a usable link nothing is sent. Every outcome's text goes through the sink at
// once. A stop asked for between the requests ends the cycle without the second one and
// without a text: the window that wanted it has closed.
CycleOutcome RefreshDiagnostics(const ModuleLink& link, Vlan vlan, const StatusSink& status,
                                const StopAsked& stopAsked = {});

}  // namespace kv
