#pragma once

// The binding to the transport libraries: one kind's library loaded with its seven entry
// points (several connections may share it), and the error texts. The connections over it
// are kv::Connection's.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/DynamicLibrary.h"
#include "transport/InterfaceKinds.h"
#include "transport/Words.h"
#include "transport/kvtransport.h"

namespace kv {

using DataBuffer = std::array<std::uint32_t, 300>;
using RequestFrame = std::array<std::uint32_t, 304>;
using BlockWords = std::array<std::uint32_t, 256>;

// The binding's own code: kind out of range, or the entry point is not loaded.
constexpr std::uint32_t kErrNotLoaded = 10;
// WriteBlockVerified: the block read back differs from the one written.
constexpr std::uint8_t kErrReadBack = 9;

// One kind's transport library, loaded from the program folder with all seven entry
// points resolved. It stays loaded while anything holds it, so each connection opened
// through it (a handle of its Init) may keep it; the calls go straight to the library.
class LoadedLibrary {
  public:
    // Loads the kind's file; nullptr with the code of what failed: the kind's load code,
    // its entry code (the library lacks an entry point), 10 for a kind out of range.
    static std::shared_ptr<LoadedLibrary> Load(std::uint8_t kind, std::uint32_t& code);
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    std::uint8_t Kind() const { return kind_; }
    // Init in the kind's form; the handle is stored through the reference.
    std::uint32_t Init(std::uint32_t* handle, const InitBlock& block) const;
    std::uint32_t SetConfig(std::uint32_t handle, std::uint32_t baud, std::uint32_t replyTimeoutMs,
                            std::uint32_t mode) const;
    // The library writes both words unconditionally; null ones are given spare ones.
    std::uint32_t Send(std::uint32_t handle, const RequestFrame& frame, DataBuffer& data,
                       std::uint32_t* replyValue, std::uint32_t* errorWord) const;
    std::uint32_t Done(std::uint32_t* handle) const;
    // The code's Czech text: below 100 from the library, from 100 on from the binding's
    // own table.
    std::uint32_t ErrorText(std::uint32_t code, TextWords& text) const;

  private:
    explicit LoadedLibrary(std::uint8_t kind) : kind_(kind) {}
    bool ResolveAll();

    std::uint8_t kind_;
    platform::DynamicLibrary library_;
    kvt_version_fn version_ = nullptr;
    void* init_ = nullptr;  // one of the three Init forms, cast when called
    kvt_set_config_fn setConfig_ = nullptr;
    kvt_get_config_fn getConfig_ = nullptr;
    kvt_send_fn send_ = nullptr;
    kvt_done_fn done_ = nullptr;
    kvt_error_fn error_ = nullptr;
};

// The code's Czech text without a loaded library: below 100 from the kind's file, loaded for
// this one call (a library whose Init failed has been let go, yet its text is wanted);
// from 100 on from the binding's own table. Below 100 the empty text when the kind is out
// of range or its file cannot be loaded.
std::string ErrorString(std::uint8_t kind, std::uint32_t code);

}  // namespace kv
