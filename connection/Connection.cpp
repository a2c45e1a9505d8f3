#include "connection/Connection.h"

#include <utility>

namespace kv {

Connection::Connection(std::shared_ptr<const LoadedLibrary> library)
    : library_(std::move(library)), ownLibrary_(false) {
    if (library_ != nullptr) kind_ = library_->Kind();
}

Connection::~Connection() {
    Close();
}

std::uint32_t Connection::OpenTransport(std::uint8_t kind, std::uint32_t* handle,
                                        const InitBlock& initBlock) {
    const InitBlock copy = initBlock;
    Close();
    open_ = false;
    // Never two libraries at once: whatever this connection loaded goes first, even if
    // the new kind is refused below.
    if (ownLibrary_) library_.reset();
    kind_ = kind;
    if (kind >= kInterfaceKindCount) return kErrNotLoaded;
    // Init stores the handle through this reference; without one there is nowhere to keep
    // the connection, so nothing is loaded.
    if (handle == nullptr) return kErrNotLoaded;
    if (ownLibrary_) {
        std::uint32_t code = 0;
        library_ = LoadedLibrary::Load(kind, code);
        if (library_ == nullptr) return code;
    } else if (library_ == nullptr || library_->Kind() != kind) {
        return kErrNotLoaded;
    }
    const std::uint32_t code = library_->Init(handle, copy);
    handle_ = *handle;
    if (code != 0) {
        // A library that refused its connection is let go at once; its text of the code
        // is still there for the asking (ErrorString loads the file for it).
        if (ownLibrary_) library_.reset();
        return code;
    }
    open_ = true;
    return 0;
}

std::uint32_t Connection::ConfigureTransport(std::uint32_t baud, std::uint32_t replyTimeoutMs,
                                             std::uint32_t mode) {
    if (!open_ || library_ == nullptr) return kErrNotLoaded;
    return library_->SetConfig(handle_, baud, replyTimeoutMs, mode);
}

std::uint32_t Connection::CloseTransport(std::uint32_t* handle) {
    // Done writes through the reference; refuse rather than hand the library a null one.
    if (!open_ || library_ == nullptr || handle == nullptr) return kErrNotLoaded;
    const std::uint32_t code = library_->Done(handle);
    handle_ = *handle;
    open_ = false;
    if (ownLibrary_) library_.reset();
    return code;
}

std::string Connection::ErrorText(std::uint32_t code) const {
    if (library_ == nullptr) return ErrorString(kind_, code);
    TextWords text{};
    library_->ErrorText(code, text);
    return TextFromWords(text);
}

ModuleLink Connection::Link() const {
    if (!IsOpen()) return ModuleLink();
    return ModuleLink(library_, kind_, handle_, address_);
}

void Connection::Close() {
    if (!open_) return;
    std::uint32_t handle = handle_;
    CloseTransport(&handle);
}

ModuleLink LinkOf(const ConnectionSettings& settings, const Connection& connection) {
    return ConnectionUsable(settings) ? connection.Link() : ModuleLink();
}

}  // namespace kv
