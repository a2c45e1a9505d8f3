#include "libraries/TransportLibrary.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>
#include <string>

#include "libraries/ConnectionTable.h"
#include "libraries/ErrorTexts.h"
#include "libraries/Exchange.h"
#include "libraries/KvWire.h"
#include "libraries/UdpLink.h"

namespace kv::lib {
namespace {

constexpr std::uint32_t kDefaultTimeoutMs = 1000;
constexpr std::uint32_t kMaxTimeoutMs = 65535;
constexpr std::size_t kMaxInitText = 255;

// A text word of the InitBlock: a pointer to a zero-terminated string. A null pointer or
// a string without a terminator within reason is refused rather than read on and on.
bool TextWord(std::uintptr_t word, std::string& text) {
    const char* p = reinterpret_cast<const char*>(word);
    if (p == nullptr) return false;
    std::size_t n = strnlen(p, kMaxInitText + 1);
    if (n > kMaxInitText) return false;
    text.assign(p, n);
    return true;
}

// A number word carries a 32-bit value; anything wider is no number of ours. (A 32-bit
// word, as on 32-bit Windows, cannot be wider.)
bool NumberWord(std::uintptr_t word, std::uint32_t& value) {
    if constexpr (sizeof(std::uintptr_t) > sizeof(std::uint32_t)) {
        if (word > 0xFFFFFFFFu) return false;
    }
    value = static_cast<std::uint32_t>(word);
    return true;
}

// 0 ms could never see a reply, so it stands for the utility's default of one second.
bool TimeoutWord(std::uintptr_t word, std::uint32_t& ms) {
    if (!NumberWord(word, ms) || ms > kMaxTimeoutMs) return false;
    if (ms == 0) ms = kDefaultTimeoutMs;
    return true;
}

// Sequence numbers start at a random point, so a new connection from the same address
// and port is never mistaken for a retry of an old one (the module answers a repeated
// sequence number from its reply cache).
std::uint32_t FirstSequence() {
    static std::mutex mutex;
    static std::mt19937 rng{std::random_device{}()};
    std::lock_guard lock(mutex);
    return static_cast<std::uint32_t>(rng());
}

std::uint32_t Register(std::uint8_t kind, std::unique_ptr<Link> link, std::uint32_t timeoutMs,
                       std::uint32_t* handle) {
    auto connection = std::make_shared<Connection>();
    connection->link = std::move(link);
    connection->kind = kind;
    connection->linkTimeoutMs = timeoutMs;
    connection->nextSequence = FirstSequence();
    std::uint32_t newHandle = 0;
    std::uint32_t code = ConnectionTable::Instance().Add(std::move(connection), newHandle);
    *handle = code == wire::kOk ? newHandle : 0;
    return code;
}

std::uint32_t OpenFromBlock(std::uint8_t kind, const std::uintptr_t* block,
                            std::unique_ptr<Link>& link, std::uint32_t& timeoutMs) {
    if (!TimeoutWord(block[2], timeoutMs)) return wire::kBadParameter;
    if (kind == 0) {
        std::uint32_t detection = 0;
        if (!NumberWord(block[0], detection)) return wire::kBadParameter;
        std::string serial;
        bool haveSerial = TextWord(block[1], serial);
        if (detection == 1 && !haveSerial) return wire::kBadParameter;
        return OpenUsbLink(detection, haveSerial ? &serial : nullptr, link);
    }
    std::string address;
    std::uint32_t port = 0;
    if (!TextWord(block[0], address) || !NumberWord(block[1], port)) return wire::kBadParameter;
    long sourcePort = -1;
    if (kind == 1) {
        std::uint32_t source = 0;
        if (!NumberWord(block[3], source) || source > 65535) return wire::kBadParameter;
        sourcePort = source;
    }
    return UdpLink::Open(address, port, sourcePort, link);
}

template <typename F>
std::uint32_t Guarded(F&& body, std::uint32_t onFailure) noexcept {
    // Nothing may unwind into a C caller; running out of memory is the only way here.
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace

std::uint32_t LibraryVersion() {
    return 0x00010000;
}

std::uint32_t InitFromBlock(std::uint8_t kind, std::uint32_t* handle, const std::uintptr_t* block) {
    if (handle == nullptr) return wire::kBadParameter;
    *handle = 0;
    if (block == nullptr) return wire::kBadParameter;
    return Guarded(
        [&]() -> std::uint32_t {
            std::unique_ptr<Link> link;
            std::uint32_t timeoutMs = kDefaultTimeoutMs;
            std::uint32_t code = OpenFromBlock(kind, block, link, timeoutMs);
            if (code != wire::kOk) return code;
            return Register(kind, std::move(link), timeoutMs, handle);
        },
        wire::kOpenFailed);
}

std::uint32_t InitFromWord(std::uint8_t kind, std::uint32_t* handle, std::uint32_t word0) {
    if (handle == nullptr) return wire::kBadParameter;
    *handle = 0;
    // The PCI-380 card cannot exist on this machine.
    if (kind != 2) return wire::kDeviceNotFound;
    return Guarded(
        [&]() -> std::uint32_t {
            std::unique_ptr<Link> link;
            std::uint32_t code = OpenSerialLink(word0, link);
            if (code != wire::kOk) return code;
            return Register(kind, std::move(link), kDefaultTimeoutMs, handle);
        },
        wire::kOpenFailed);
}

std::uint32_t InitPlain(std::uint8_t, std::uint32_t* handle) {
    if (handle == nullptr) return wire::kBadParameter;
    *handle = 0;
    // The PCI-3380 card and the USB-3380 converter cannot exist on this machine.
    return wire::kDeviceNotFound;
}

std::uint32_t SetConfig(std::uint32_t handle, std::uint32_t baud, std::uint32_t replyTimeoutMs,
                        std::uint32_t mode) {
    auto connection = ConnectionTable::Instance().Find(handle);
    if (!connection) return wire::kBadHandle;
    if (replyTimeoutMs == 0 || replyTimeoutMs > kMaxTimeoutMs) return wire::kBadParameter;
    std::lock_guard lock(connection->exchange);
    std::uint32_t code = connection->link->Configure(baud);
    if (code != wire::kOk) return code;
    connection->baud = baud;
    connection->replyTimeoutMs = replyTimeoutMs;
    connection->mode = mode;
    return wire::kOk;
}

std::uint32_t GetConfig(std::uint32_t handle, std::uint32_t* baud, std::uint32_t* replyTimeoutMs,
                        std::uint32_t* mode) {
    if (baud == nullptr || replyTimeoutMs == nullptr || mode == nullptr) return wire::kBadParameter;
    auto connection = ConnectionTable::Instance().Find(handle);
    if (!connection) return wire::kBadHandle;
    std::lock_guard lock(connection->exchange);
    *baud = connection->baud;
    *replyTimeoutMs = connection->replyTimeoutMs;
    *mode = connection->mode;
    return wire::kOk;
}

std::uint32_t Send(std::uint32_t handle, const std::uint32_t* frame, std::uint32_t* data,
                   std::uint32_t* replyValue, std::uint32_t* errorWord) {
    auto fail = [&](std::uint32_t code) {
        if (data != nullptr) std::fill(data, data + wire::kDataWords, 0u);
        if (replyValue != nullptr) *replyValue = 0;
        if (errorWord != nullptr) *errorWord = code;
        return code;
    };
    if (frame == nullptr || data == nullptr || replyValue == nullptr || errorWord == nullptr)
        return fail(wire::kBadParameter);
    auto connection = ConnectionTable::Instance().Find(handle);
    if (!connection) return fail(wire::kBadHandle);

    // The frame is read completely before anything is written: a caller may pass
    // overlapping buffers.
    wire::Request request;
    request.address = static_cast<std::uint8_t>(frame[0]);
    request.function = static_cast<std::uint8_t>(frame[1]);
    request.peripheral = static_cast<std::uint8_t>(frame[2]);
    request.command = static_cast<std::uint8_t>(frame[3]);
    for (std::size_t i = 0; i < wire::kDataWords; ++i)
        request.data[i] = static_cast<std::uint8_t>(frame[4 + i]);

    wire::Reply reply;
    std::uint32_t code = Guarded(
        [&]() -> std::uint32_t {
            std::lock_guard lock(connection->exchange);
            request.sequence = connection->nextSequence++;
            // A serial line's reply time follows its speed, which SetConfig sets; over
            // UDP and USB the wait is a property of the link, given in the InitBlock.
            const std::uint32_t ms =
                connection->kind == 2 ? connection->replyTimeoutMs : connection->linkTimeoutMs;
            return Exchange(*connection->link, request, std::chrono::milliseconds(ms), reply);
        },
        wire::kSendFailed);
    if (code != wire::kOk) return fail(code);

    for (std::size_t i = 0; i < wire::kDataWords; ++i) data[i] = reply.data[i];
    *replyValue = reply.replyValue;
    // The exchange took place: a module that reports an error does so in the error
    // word, and the call itself succeeded.
    *errorWord = reply.status;
    return wire::kOk;
}

std::uint32_t Done(std::uint32_t* handle) {
    if (handle == nullptr) return wire::kBadParameter;
    auto connection = ConnectionTable::Instance().Remove(*handle);
    if (!connection) return wire::kBadHandle;
    *handle = 0;
    return wire::kOk;
}

std::uint32_t Error(std::uint8_t kind, std::uint32_t code, std::uint32_t* text) {
    if (text == nullptr) return wire::kBadParameter;
    return Guarded(
        [&]() -> std::uint32_t {
            WriteTextWords(ToCp1250(ErrorTextUtf8(kind, code)), text);
            return wire::kOk;
        },
        wire::kBadParameter);
}

}  // namespace kv::lib
