#pragma once

// The module link: one module reached over one open connection, that is the loaded
// library of the connection's kind, the handle its Init gave and the module's RS-485
// address. It sends a request and gives back the error byte and the reply, names an
// outcome in the library's words, and writes a configuration block with read-back
// verification. A link opens and closes nothing (kv::Connection does, and hands out its
// links); copies share the library, which stays loaded while a link holds it, so several
// links (handles of one library) may live side by side.

#include <cstdint>
#include <memory>
#include <string>

#include "core/Requests.h"
#include "transport/Qxxx380.h"

namespace kv {

// What one exchange gave back.
struct Reply {
    std::uint8_t error = 0;    // 0: the module answered; else never 0
    std::uint8_t command = 0;  // the low byte of the reply value; 0 after an error
    DataBuffer data{};         // the reply; all zero after an error
    bool Ok() const { return error == 0; }
};

// How a verified block write ended: 0, kErrReadBack or the failing step's error byte, and
// the text to show for it (empty after success).
struct WriteOutcome {
    std::uint8_t error = 0;
    std::string text;
    bool Ok() const { return error == 0; }
};

class ModuleLink {
  public:
    // No connection: every request ends with kErrNotLoaded and nothing is sent.
    ModuleLink() = default;
    ModuleLink(std::shared_ptr<const LoadedLibrary> library, std::uint8_t kind,
               std::uint32_t handle, std::uint8_t moduleAddress);

    // A request may go out: there is a handle.
    bool Usable() const { return handle_ != 0; }
    std::uint8_t Kind() const { return kind_; }
    std::uint32_t Handle() const { return handle_; }
    std::uint8_t ModuleAddress() const { return address_; }

    // One exchange: the request frame carries the module address, the request, the command
    // and the data words. Without a handle nothing is sent and the error is kErrNotLoaded.
    // An error word with nothing in its low byte is still a failure: error 255.
    Reply Transact(Request request, const DataBuffer& data = {}, std::uint8_t command = 0) const;
    // The code's text: below 100 from the library, from 100 on from the binding's table.
    std::string ErrorText(std::uint32_t code) const;
    // Hands the block to the module, has it stored under its number, reads it back and
    // compares: "Chyba zápisu dat." when the read-back differs.
    WriteOutcome WriteBlockVerified(std::uint16_t blockNumber, const BlockWords& block) const;

  private:
    std::shared_ptr<const LoadedLibrary> library_;
    std::uint8_t kind_ = 0;
    std::uint32_t handle_ = 0;
    std::uint8_t address_ = 0;
};

}  // namespace kv
