#pragma once

// The emulator's command line.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/FaultInjector.h"

namespace kv::emu {

struct Options {
    std::string address = "127.0.0.2";
    std::optional<std::uint16_t> port;
    std::optional<std::array<std::uint16_t, 3>> vlanPorts;
    std::optional<std::string> usbSerial;
    std::optional<std::string> usbDir;
    bool noUsb = false;
    std::optional<int> com;
    std::string statePath = "./kv3380u-emulator.state";
    FaultSettings faults;
    std::optional<double> lifetimeSeconds;
    bool help = false;
};

struct ParsedOptions {
    bool ok = false;
    Options options;
    std::string error;
};

// args without the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace kv::emu
