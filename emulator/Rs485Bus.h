#pragma once

// The RS-485 side of the module: a handful of KV modules that answer simple requests.
// Nothing here waits; a transfer reports how long the real bus would have taken and the
// caller delays the reply by that much.

#include <cstdint>
#include <map>
#include <string>

#include "emulator/Blocks.h"
#include "libraries/KvWire.h"

namespace kv::emu {

constexpr std::uint32_t kBusBaudRate = 9600;
constexpr std::uint16_t kBusTimeoutMs = 100;
// An unanswered request is sent once more before the module gives up on it.
constexpr std::uint8_t kBusRepetitions = 1;

struct BusTransfer {
    bool answered = false;
    std::uint8_t status = wire::kOk;
    std::uint8_t replyValue = 0;
    std::array<std::uint8_t, wire::kDataWords> data{};
    std::uint32_t durationMs = 0;
    std::uint8_t repetitions = 0;
};

class Rs485Bus {
  public:
    Rs485Bus();

    BusTransfer Transfer(const wire::Request& request);
    bool Present(std::uint8_t address) const { return modules_.count(address) != 0; }

  private:
    struct Station {
        std::string name;     // eight characters
        std::string version;  // four characters
        // What 205/p wrote and 204/p reads back, by peripheral; a fresh peripheral holds
        // a pattern that tells the stations apart.
        std::map<std::uint8_t, ConfigBlock> registers;
    };
    ConfigBlock& Registers(std::uint8_t address, Station& station, std::uint8_t peripheral);

    std::map<std::uint8_t, Station> modules_;
};

}  // namespace kv::emu
