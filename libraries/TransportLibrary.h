#pragma once

// What every transport library does, whatever its kind: the seven entry points of
// kvtransport.h for one kind, minus the names. EntryPoints.cpp gives them their names.

#include <cstdint>

namespace kv::lib {

std::uint32_t LibraryVersion();

// Kinds 0, 1, 6, 7.
std::uint32_t InitFromBlock(std::uint8_t kind, std::uint32_t* handle, const std::uintptr_t* block);
// Kinds 2, 3.
std::uint32_t InitFromWord(std::uint8_t kind, std::uint32_t* handle, std::uint32_t word0);
// Kinds 4, 5.
std::uint32_t InitPlain(std::uint8_t kind, std::uint32_t* handle);

std::uint32_t SetConfig(std::uint32_t handle, std::uint32_t baud, std::uint32_t replyTimeoutMs,
                        std::uint32_t mode);
std::uint32_t GetConfig(std::uint32_t handle, std::uint32_t* baud, std::uint32_t* replyTimeoutMs,
                        std::uint32_t* mode);
std::uint32_t Send(std::uint32_t handle, const std::uint32_t* frame, std::uint32_t* data,
                   std::uint32_t* replyValue, std::uint32_t* errorWord);
std::uint32_t Done(std::uint32_t* handle);
std::uint32_t Error(std::uint8_t kind, std::uint32_t code, std::uint32_t* text);

}  // namespace kv::lib
