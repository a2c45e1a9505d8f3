#include "core/ModuleLink.h"

#include <algorithm>
#include <utility>

namespace kv {

ModuleLink::ModuleLink(std::shared_ptr<const LoadedLibrary> library, std::uint8_t kind,
                       std::uint32_t handle, std::uint8_t moduleAddress)
    : library_(std::move(library)), kind_(kind), handle_(handle), address_(moduleAddress) {}

Reply ModuleLink::Transact(Request request, const DataBuffer& data, std::uint8_t command) const {
    Reply reply;
    if (handle_ == 0) {
        reply.error = static_cast<std::uint8_t>(kErrNotLoaded);
        return reply;
    }
    RequestFrame frame{};
    frame[0] = address_;
    frame[1] = request.function;
    frame[2] = request.peripheral;
    frame[3] = command;
    std::copy(data.begin(), data.end(), frame.begin() + 4);

    reply.data = data;
    std::uint32_t replyValue = 0;
    std::uint32_t errorWord = 0;
    const std::uint32_t code =
        library_ != nullptr && kind_ < kInterfaceKindCount
            ? library_->Send(handle_, frame, reply.data, &replyValue, &errorWord)
            : kErrNotLoaded;
    if (code != 0) errorWord = code;

    if (errorWord == 0) {
        reply.command = static_cast<std::uint8_t>(replyValue & 0xFF);
        return reply;
    }
    // An error word such as 256 has nothing in its low byte; reporting it as 0 would pass
    // a failed exchange (and its cleared buffer) off as success, so it becomes 255.
    const auto low = static_cast<std::uint8_t>(errorWord & 0xFF);
    reply.error = low != 0 ? low : 255;
    reply.data.fill(0);
    return reply;
}

std::string ModuleLink::ErrorText(std::uint32_t code) const {
    if (library_ == nullptr || kind_ >= kInterfaceKindCount) return ErrorString(kind_, code);
    TextWords text{};
    library_->ErrorText(code, text);
    return TextFromWords(text);
}

WriteOutcome ModuleLink::WriteBlockVerified(std::uint16_t blockNumber,
                                            const BlockWords& block) const {
    WriteOutcome outcome;
    auto failed = [&](std::uint8_t error) {
        outcome.error = error;
        outcome.text = ErrorText(error);
        return outcome;
    };
    // Without a connection nothing is sent, and a write that never happened must not be
    // reported as done.
    if (handle_ == 0) return failed(static_cast<std::uint8_t>(kErrNotLoaded));

    const auto lo = static_cast<std::uint32_t>(blockNumber & 0xFF);
    const auto hi = static_cast<std::uint32_t>(blockNumber >> 8);

    DataBuffer data{};
    std::copy(block.begin(), block.end(), data.begin() + 4);
    // The module takes the bytes first, then stores what it holds as the numbered block:
    // the store request carries the block number, not the bytes, which is why the bytes
    // the first step returned stay in the buffer.
    Reply reply = Transact(kTakeBlockRequest, data);
    if (!reply.Ok()) return failed(reply.error);

    data = reply.data;
    data[0] = lo;
    data[1] = hi;
    data[2] = 0;
    data[3] = 0;
    reply = Transact(kStoreBlockRequest, data);
    if (!reply.Ok()) return failed(reply.error);

    data = reply.data;
    data[0] = 0;
    data[1] = lo;
    data[2] = hi;
    data[3] = 0;
    reply = Transact(kReadBlockRequest, data);
    if (!reply.Ok()) return failed(reply.error);

    for (std::size_t j = 0; j < block.size(); ++j) {
        if (reply.data[4 + j] != block[j]) {
            outcome.error = kErrReadBack;
            outcome.text = "Chyba zápisu dat.";
            return outcome;
        }
    }
    return outcome;
}

}  // namespace kv
