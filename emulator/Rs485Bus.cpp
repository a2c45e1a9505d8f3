#include "emulator/Rs485Bus.h"

namespace kv::emu {

Rs485Bus::Rs485Bus() {
    modules_[1] = {"KV-3100A", "2.05", {}};
    modules_[2] = {"KV-3200B", "1.11", {}};
    modules_[5] = {"KV-3500E", "3.00", {}};
}

ConfigBlock& Rs485Bus::Registers(std::uint8_t address, Station& station, std::uint8_t peripheral) {
    auto it = station.registers.find(peripheral);
    if (it != station.registers.end()) return it->second;
    ConfigBlock fresh{};
    for (std::size_t i = 0; i < fresh.size(); ++i)
        fresh[i] = static_cast<std::uint8_t>(address * 16 + peripheral + i);
    return station.registers.emplace(peripheral, fresh).first->second;
}

BusTransfer Rs485Bus::Transfer(const wire::Request& request) {
    BusTransfer t;
    auto it = modules_.find(request.address);
    if (it == modules_.end()) {
        t.status = wire::kModuleBusAbsent;
        t.repetitions = kBusRepetitions;
        t.durationMs = kBusTimeoutMs * (1u + kBusRepetitions);
        return t;
    }
    Station& s = it->second;
    t.answered = true;
    // A short request and reply at 9600 Bd take a few milliseconds.
    t.durationMs = 5;
    for (std::size_t i = 0; i < 4; ++i) t.data[i] = request.data[i];
    switch (request.function) {
        case 200:
            if (request.peripheral > 2) {
                t.status = wire::kModuleUnknownRequest;
                break;
            }
            for (std::size_t i = 0; i < 4; ++i)
                t.data[i] = static_cast<std::uint8_t>(
                    request.peripheral == 2 ? s.version[i] : s.name[4 * request.peripheral + i]);
            t.replyValue = static_cast<std::uint8_t>((request.peripheral + 1) % 3);
            break;
        case 204: {
            const ConfigBlock& r = Registers(request.address, s, request.peripheral);
            for (std::size_t i = 0; i < kConfigBlockSize; ++i) t.data[4 + i] = r[i];
            break;
        }
        case 205: {
            ConfigBlock& r = Registers(request.address, s, request.peripheral);
            for (std::size_t i = 0; i < kConfigBlockSize; ++i) r[i] = request.data[4 + i];
            break;
        }
        case 101:
            // Commands are acknowledged; the stand-in stations have nothing to switch.
            break;
        default:
            t.status = wire::kModuleUnknownRequest;
            break;
    }
    return t;
}

}  // namespace kv::emu
