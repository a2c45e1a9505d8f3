#pragma once

// The binding to the transport library of one interface kind at a time, the error
// texts, and the two module operations everything else uses: one transaction and the
// verified write of a configuration block.

#include <array>
#include <cstdint>
#include <string>

#include "transport/InterfaceKinds.h"
#include "transport/Words.h"

namespace kv {

using DataBuffer = std::array<std::uint32_t, 300>;
using RequestFrame = std::array<std::uint32_t, 304>;
using BlockWords = std::array<std::uint32_t, 256>;

// The binding's own code: kind out of range, or the entry point is not loaded.
constexpr std::uint32_t kErrNotLoaded = 10;
// WriteBlockVerified: the block read back differs from the one written.
constexpr std::uint8_t kErrReadBack = 9;

// Loads the kind's library from the program folder, resolves its seven entry points and
// calls Init. A library whose Init fails is unloaded at once.
std::uint32_t OpenTransport(std::uint8_t kind, std::uint32_t* handle, const InitBlock& initBlock);
std::uint32_t ConfigureTransport(std::uint8_t kind, std::uint32_t handle, std::uint32_t baud,
                                 std::uint32_t replyTimeoutMs, std::uint32_t mode);
std::uint32_t SendRequest(std::uint8_t kind, std::uint32_t handle, const RequestFrame& frame,
                          DataBuffer& data, std::uint32_t* replyValue, std::uint32_t* errorWord);
// Calls Done and unloads the library.
std::uint32_t CloseTransport(std::uint8_t kind, std::uint32_t* handle);
// Fills the block with the code's Czech text: below 100 from the library, from 100 on
// from the binding's own table.
std::uint32_t ErrorText(std::uint8_t kind, std::uint32_t code, TextWords& text);
// ErrorText turned into a string; an untouched block gives the empty text.
std::string ErrorString(std::uint8_t kind, std::uint32_t code);

// True while a library is loaded.
bool TransportLoaded();

// One exchange with the module. Nothing is sent for handle 0, and nothing changes then.
// After an error the buffer is all zero and command is 0.
void Transact(std::uint8_t kind, std::uint32_t handle, std::uint8_t moduleAddress,
              std::uint8_t function, std::uint8_t peripheral, std::uint8_t& command,
              std::uint8_t& error, DataBuffer& buffer);

// Hands the block to the module (205/0), stores it as the numbered block (101/11) and
// reads it back (204/1). 0 success, 9 read-back differs, else the failing error byte.
std::uint8_t WriteBlockVerified(std::uint8_t kind, std::uint32_t handle, std::uint8_t moduleAddress,
                                std::uint16_t blockNumber, const BlockWords& block,
                                std::string& message);

}  // namespace kv
