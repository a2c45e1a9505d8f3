#pragma once

// One diagnostics refresh as the command-line program shows it: the diagnostics window's
// groups as lines of text, or one JSON object for monitoring scripts.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/Diagnostika.h"

namespace kv::cli {

// What the window shows: the values of the last refresh that brought them (the window
// keeps them through a failed one) and the status text of this refresh.
struct DiagScreen {
    Vlan vlanInterface;
    std::optional<ModuleStatus> module;
    std::optional<VlanStatus> vlan;
    std::string status;
    std::string decimalSeparator = ".";  // of the remaining IP validity
};

// The window's captions and values, grids as columns. With `colour`, the values the
// interface mode greys or marks blue get the terminal's grey or blue.
std::vector<std::string> DiagText(const DiagScreen& screen, bool colour);

// One refresh: only what this refresh brought (null for a part that failed), numbers as
// JSON numbers, modes and addresses in the window's words.
nlohmann::ordered_json DiagJson(const CycleOutcome& cycle, Vlan vlan, long number,
                                const std::string& time);

// The time of day as "2025-01-31T12:34:56.789Z".
std::string UtcTimestamp();

}  // namespace kv::cli
