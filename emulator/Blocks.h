#pragma once

// The emulated module's five configuration blocks, as the core lays them out
// (core/ConfigBlocks.h), and how it matches a sender against an access table.

#include <array>
#include <cstdint>

#include "core/ConfigBlocks.h"

namespace kv::emu {

// Index = block number - 250.
using BlockSet = std::array<ConfigBlock, kConfigBlockCount>;

// The blocks of the default configuration.
BlockSet DefaultBlocks();

// A table port of 0 or 65535 lets the address in from any port.
constexpr bool PortMatches(std::uint16_t tablePort, std::uint16_t port) {
    return tablePort == 0 || tablePort == 0xFFFF || tablePort == port;
}

constexpr bool Matches(const TableUser& user, const Ip4& from, std::uint16_t fromPort) {
    return user.ip == from && PortMatches(user.port, fromPort);
}

}  // namespace kv::emu
