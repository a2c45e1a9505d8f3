#pragma once

// One connection to a module: the transport library of its kind, the handle that the
// library's Init gave, and the module's RS-485 address. Everything that talks to a module
// opens, uses and closes its connections through this class: the windows (their one
// connection, on its worker), kv3380u for one module, and the fleet and the exporter (many
// connections at once, all handles of one library).
//
// A connection made without a library loads its kind's library when it opens and lets it
// go when it closes, or at once when Init fails; so, as the windows need it, one library
// and one connection exist at a time. A connection made over a library holds that library
// for its whole life, and the library's owner decides when it goes; many such connections
// live side by side.
//
// The connection initialisation (InitialiseConnection, Pripojeni.h) opens it; its links
// carry the requests. A connection is used from one thread at a time, and is closed when
// it goes.

#include <cstdint>
#include <memory>
#include <string>

#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "transport/InterfaceKinds.h"
#include "transport/Qxxx380.h"

namespace kv {

class Connection {
  public:
    Connection() = default;
    explicit Connection(std::shared_ptr<const LoadedLibrary> library);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The binding's operations on this connection. OpenTransport copies the block, loads
    // the kind's library (a connection made over a library takes that library's kind only:
    // any other gives 10), calls Init in the kind's form with the handle variable and keeps
    // the handle Init leaves there. A connection still open is closed first. It returns
    // Init's code, 10, or the kind's load or entry-point code.
    std::uint32_t OpenTransport(std::uint8_t kind, std::uint32_t* handle,
                                const InitBlock& initBlock);
    // SetConfig with the connection's handle; 10 without an opened connection.
    std::uint32_t ConfigureTransport(std::uint32_t baud, std::uint32_t replyTimeoutMs,
                                     std::uint32_t mode);
    // Done with the handle variable, which holds the connection's handle on entry and what
    // Done left in it after; a library the connection loaded itself is let go. 10, and
    // nothing called, without an opened connection.
    std::uint32_t CloseTransport(std::uint32_t* handle);
    // The code's Czech text: from the connection's library while it has one, else as
    // ErrorString gives it for the kind last opened.
    std::string ErrorText(std::uint32_t code) const;

    // Requests go to the module at this RS-485 address.
    void SetModuleAddress(std::uint8_t address) { address_ = address; }

    // Opened, with a handle: requests may go out.
    bool IsOpen() const { return open_ && handle_ != 0; }
    // The link to the module; one that sends nothing unless the connection is open.
    ModuleLink Link() const;
    // Ends the connection if it is open; nothing else.
    void Close();

    std::uint8_t Kind() const { return kind_; }
    std::uint32_t Handle() const { return handle_; }
    // The connection holds a library (its own while open, or the one it was made over).
    bool HoldsLibrary() const { return library_ != nullptr; }

  private:
    std::shared_ptr<const LoadedLibrary> library_;
    bool ownLibrary_ = true;  // loaded at open and let go at close
    std::uint8_t kind_ = 0;
    std::uint32_t handle_ = 0;
    bool open_ = false;
    std::uint8_t address_ = 0;
};

// The link the windows send over: the connection's, while the record says that the
// connection is usable (the initialisation alone makes it so).
ModuleLink LinkOf(const ConnectionSettings& settings, const Connection& connection);

}  // namespace kv
