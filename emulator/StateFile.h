#pragma once

// What the emulated module keeps across power cycles: its configuration blocks, its
// serial number and its MAC address, in a small text file:
//
//   kv3380u-emulator state 1
//   serial 00000001
//   mac 02-7F-10-A4-33-C1
//   block 250 <512 hexadecimal digits>
//   ... one line per block 250..254
//   end
//
// The "end" line tells a complete file from a cut-off one.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "emulator/Blocks.h"

namespace kv::emu {

struct ModuleState {
    BlockSet blocks{};
    std::string serial;
    std::array<std::uint8_t, 6> mac{};

    bool operator==(const ModuleState&) const = default;
};

// A serial number names the virtual USB device's socket, so it is exactly eight
// letters or digits.
bool ValidSerial(const std::string& serial);

// Default blocks, the serial number given and a random locally administered MAC.
ModuleState NewState(const std::string& serial, std::uint64_t randomSeed);

std::string FormatState(const ModuleState& state);
// Strict: anything but a complete, well-formed file gives nullopt and a message.
std::optional<ModuleState> ParseState(const std::string& text, std::string* error);

struct LoadResult {
    enum Kind { kLoaded, kAbsent, kFailed } kind = kFailed;
    ModuleState state;
    std::string error;  // names the file
};
LoadResult LoadState(const std::string& path);

// Replaces the file atomically: the new text goes to a temporary file beside it, is
// flushed to disk, and only then renamed over the old one, so a crash at any moment
// leaves either the old file or the new one, never a mixture.
bool SaveState(const std::string& path, const ModuleState& state, std::string* error);

// The two halves of SaveState, apart so that a crash between them can be reproduced.
std::optional<std::string> WriteStateTemporary(const std::string& path, const ModuleState& state,
                                               std::string* error);
bool CommitStateTemporary(const std::string& temporary, const std::string& path,
                          std::string* error);

}  // namespace kv::emu
