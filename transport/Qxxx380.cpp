#include "transport/Qxxx380.h"

#include <algorithm>
#include <mutex>

#include "platform/DynamicLibrary.h"
#include "platform/ProgramFolder.h"
#include "transport/InterfaceKinds.h"
#include "transport/kvtransport.h"

namespace kv {
namespace {

struct Binding {
    platform::DynamicLibrary library;
    kvt_version_fn version = nullptr;
    void* init = nullptr;  // one of the three Init forms, cast when called
    kvt_set_config_fn setConfig = nullptr;
    kvt_get_config_fn getConfig = nullptr;
    kvt_send_fn send = nullptr;
    kvt_done_fn done = nullptr;
    kvt_error_fn error = nullptr;

    void ClearEntries() {
        version = nullptr;
        init = nullptr;
        setConfig = nullptr;
        getConfig = nullptr;
        send = nullptr;
        done = nullptr;
        error = nullptr;
    }
    void Unload() {
        ClearEntries();
        library.Unload();
    }
};

// One library at a time for the whole process. The program calls the binding from its
// user-interface thread only; the lock merely keeps a stray second caller from tearing
// the state apart.
std::mutex g_mutex;
Binding g_binding;

std::string LibraryPath(std::uint8_t kind) {
    return platform::ProgramFolder() + kInterfaceKinds[kind].file;
}

std::string EntryName(std::uint8_t kind, const char* suffix) {
    return std::string(kInterfaceKinds[kind].prefix) + "_" + suffix;
}

template <typename F>
F Resolve(const platform::DynamicLibrary& library, std::uint8_t kind, const char* suffix) {
    return reinterpret_cast<F>(library.Symbol(EntryName(kind, suffix).c_str()));
}

bool ResolveAll(std::uint8_t kind) {
    Binding& b = g_binding;
    // Resolved in the library's documented order; every one is required, even those the
    // program never calls, so that a library built against another contract is refused
    // as a whole rather than failing halfway through a session.
    b.version = Resolve<kvt_version_fn>(b.library, kind, "Version");
    if (b.version == nullptr) return false;
    b.init = Resolve<void*>(b.library, kind, "Init");
    if (b.init == nullptr) return false;
    b.setConfig = Resolve<kvt_set_config_fn>(b.library, kind, "SetConfig");
    if (b.setConfig == nullptr) return false;
    b.getConfig = Resolve<kvt_get_config_fn>(b.library, kind, "GetConfig");
    if (b.getConfig == nullptr) return false;
    b.send = Resolve<kvt_send_fn>(b.library, kind, "Send");
    if (b.send == nullptr) return false;
    b.done = Resolve<kvt_done_fn>(b.library, kind, "Done");
    if (b.done == nullptr) return false;
    b.error = Resolve<kvt_error_fn>(b.library, kind, "Error");
    return b.error != nullptr;
}

std::uint32_t CallInit(std::uint8_t kind, std::uint32_t* handle, const InitBlock& block) {
    switch (kInterfaceKinds[kind].initForm) {
        case InitForm::kWord:
            return reinterpret_cast<kvt_init_word_fn>(g_binding.init)(
                handle, static_cast<std::uint32_t>(block[0]));
        case InitForm::kPlain:
            return reinterpret_cast<kvt_init_plain_fn>(g_binding.init)(handle);
        case InitForm::kBlock:
        default:
            return reinterpret_cast<kvt_init_block_fn>(g_binding.init)(handle, block.data());
    }
}

// The texts name the library file, not the kind: code 100 belongs to kind 2.
std::string TableText(std::uint32_t code) {
    for (const auto& info : kInterfaceKinds) {
        if (code == info.loadFailed) return std::string("chyba inicializace knihovny ") + info.file;
        if (code == info.entryMissing) return std::string("chybná knihovna ") + info.file;
    }
    return "neznámý chybový kód";
}

// A library whose Init failed is unloaded at once, so the text of its failure code
// would otherwise be lost just when the connection dialog wants to show it. Load the
// kind's file for this one call, ask its Error and let it go again.
std::uint32_t ErrorTextFromUnloadedLibrary(std::uint8_t kind, std::uint32_t code, TextWords& text) {
    platform::DynamicLibrary library;
    if (!library.Load(LibraryPath(kind))) return kErrNotLoaded;
    auto error = Resolve<kvt_error_fn>(library, kind, "Error");
    if (error == nullptr) return kErrNotLoaded;
    return error(code, text.data());
}

}  // namespace

std::uint32_t OpenTransport(std::uint8_t kind, std::uint32_t* handle, const InitBlock& initBlock) {
    const InitBlock copy = initBlock;
    std::lock_guard lock(g_mutex);
    // Never two libraries at once: whatever is still loaded goes first, even if the
    // new kind is refused below.
    g_binding.Unload();
    if (kind >= kInterfaceKindCount) return kErrNotLoaded;
    // Init stores the handle through this reference; without one there is nowhere to
    // keep the connection, so nothing is loaded.
    if (handle == nullptr) return kErrNotLoaded;
    if (!g_binding.library.Load(LibraryPath(kind))) return kInterfaceKinds[kind].loadFailed;
    if (!ResolveAll(kind)) {
        g_binding.Unload();
        return kInterfaceKinds[kind].entryMissing;
    }
    const std::uint32_t code = CallInit(kind, handle, copy);
    if (code != 0) g_binding.Unload();
    return code;
}

std::uint32_t ConfigureTransport(std::uint8_t kind, std::uint32_t handle, std::uint32_t baud,
                                 std::uint32_t replyTimeoutMs, std::uint32_t mode) {
    std::lock_guard lock(g_mutex);
    if (kind >= kInterfaceKindCount || g_binding.setConfig == nullptr) return kErrNotLoaded;
    return g_binding.setConfig(handle, baud, replyTimeoutMs, mode);
}

std::uint32_t SendRequest(std::uint8_t kind, std::uint32_t handle, const RequestFrame& frame,
                          DataBuffer& data, std::uint32_t* replyValue, std::uint32_t* errorWord) {
    std::lock_guard lock(g_mutex);
    if (kind >= kInterfaceKindCount || g_binding.send == nullptr) return kErrNotLoaded;
    // The library writes both unconditionally; spare it a null reference.
    std::uint32_t replySpare = 0;
    std::uint32_t errorSpare = 0;
    return g_binding.send(handle, frame.data(), data.data(),
                          replyValue != nullptr ? replyValue : &replySpare,
                          errorWord != nullptr ? errorWord : &errorSpare);
}

std::uint32_t CloseTransport(std::uint8_t kind, std::uint32_t* handle) {
    std::lock_guard lock(g_mutex);
    if (kind >= kInterfaceKindCount || g_binding.done == nullptr) return kErrNotLoaded;
    // Done writes through the reference; refuse rather than hand the library a null one.
    if (handle == nullptr) return kErrNotLoaded;
    const std::uint32_t code = g_binding.done(handle);
    g_binding.Unload();
    return code;
}

std::uint32_t ErrorText(std::uint8_t kind, std::uint32_t code, TextWords& text) {
    if (code < 100) {
        if (kind >= kInterfaceKindCount) return kErrNotLoaded;
        std::lock_guard lock(g_mutex);
        if (g_binding.error != nullptr) return g_binding.error(code, text.data());
        if (g_binding.library.IsLoaded()) return kErrNotLoaded;
        return ErrorTextFromUnloadedLibrary(kind, code, text);
    }
    TextToWords(TableText(code), text);
    // The table does not depend on the kind, but a kind out of range is still refused.
    return kind < kInterfaceKindCount ? 0 : kErrNotLoaded;
}

std::string ErrorString(std::uint8_t kind, std::uint32_t code) {
    TextWords text{};
    ErrorText(kind, code, text);
    return TextFromWords(text);
}

bool TransportLoaded() {
    std::lock_guard lock(g_mutex);
    return g_binding.library.IsLoaded();
}

void Transact(std::uint8_t kind, std::uint32_t handle, std::uint8_t moduleAddress,
              std::uint8_t function, std::uint8_t peripheral, std::uint8_t& command,
              std::uint8_t& error, DataBuffer& buffer) {
    if (handle == 0) return;

    RequestFrame frame{};
    frame[0] = moduleAddress;
    frame[1] = function;
    frame[2] = peripheral;
    frame[3] = command;
    std::copy(buffer.begin(), buffer.end(), frame.begin() + 4);

    std::uint32_t replyValue = 0;
    std::uint32_t errorWord = 0;
    const std::uint32_t code = SendRequest(kind, handle, frame, buffer, &replyValue, &errorWord);
    if (code != 0) errorWord = code;

    if (errorWord == 0) {
        error = 0;
        command = static_cast<std::uint8_t>(replyValue & 0xFF);
        return;
    }
    // An error word such as 256 has nothing in its low byte; reporting it as 0 would pass
    // a failed exchange (and its cleared buffer) off as success, so it becomes 255.
    const auto low = static_cast<std::uint8_t>(errorWord & 0xFF);
    error = low != 0 ? low : 255;
    command = 0;
    buffer.fill(0);
}

std::uint8_t WriteBlockVerified(std::uint8_t kind, std::uint32_t handle, std::uint8_t moduleAddress,
                                std::uint16_t blockNumber, const BlockWords& block,
                                std::string& message) {
    // Without a connection Transact sends nothing and leaves the buffer as it was, so
    // the read-back would "agree" with the block and a write that never happened would
    // be reported as done.
    if (handle == 0) {
        message = ErrorString(kind, kErrNotLoaded);
        return static_cast<std::uint8_t>(kErrNotLoaded);
    }

    const auto lo = static_cast<std::uint32_t>(blockNumber & 0xFF);
    const auto hi = static_cast<std::uint32_t>(blockNumber >> 8);

    DataBuffer data{};
    std::copy(block.begin(), block.end(), data.begin() + 4);

    std::uint8_t command = 0;
    std::uint8_t error = 0;
    auto failed = [&]() {
        if (error == 0) return false;
        message = ErrorString(kind, error);
        return true;
    };

    // The module takes the bytes first (205/0), then stores what it holds as the numbered
    // block (101/11): the store request carries the block number, not the bytes, which is
    // why the bytes the first step returned stay in the buffer.
    Transact(kind, handle, moduleAddress, 205, 0, command, error, data);
    if (failed()) return error;

    data[0] = lo;
    data[1] = hi;
    data[2] = 0;
    data[3] = 0;
    command = 0;
    Transact(kind, handle, moduleAddress, 101, 11, command, error, data);
    if (failed()) return error;

    data[0] = 0;
    data[1] = lo;
    data[2] = hi;
    data[3] = 0;
    command = 0;
    Transact(kind, handle, moduleAddress, 204, 1, command, error, data);
    if (failed()) return error;

    for (std::size_t j = 0; j < block.size(); ++j) {
        if (data[4 + j] != block[j]) {
            message = "Chyba zápisu dat.";
            return kErrReadBack;
        }
    }
    message.clear();
    return 0;
}

}  // namespace kv
