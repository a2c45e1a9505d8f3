// Feeds arbitrary bytes to the emulated module as datagrams from each of its channels,
// and to the state file reader. Neither may crash, hang or answer a non-loopback sender.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulator/Module.h"
#include "emulator/StateFile.h"
#include "libraries/KvWire.h"

namespace {

using namespace kv::emu;

std::uint64_t g_now = 0;

Module& TheModule() {
    // One module across inputs, so that inputs also meet the state earlier ones left.
    static Module module(
        NewState("FUZZ0001", 1), [] { return g_now; },
        [](const ModuleState&, std::string*) { return true; });
    return module;
}

std::vector<std::uint8_t> RequestBytes(std::uint32_t seq, std::uint8_t address,
                                       std::uint8_t function, std::uint8_t peripheral,
                                       std::vector<std::uint8_t> data = {}) {
    kv::wire::Request r;
    r.sequence = seq;
    r.address = address;
    r.function = function;
    r.peripheral = peripheral;
    for (std::size_t i = 0; i < data.size() && i < r.data.size(); ++i) r.data[i] = data[i];
    return kv::wire::EncodeRequest(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the channel, the sender and how far the clock moves; the rest
    // is the datagram (or the state file's text).
    const std::uint8_t selector = data[0];
    const std::uint8_t* body = data + 1;
    const std::size_t bodySize = size - 1;
    g_now += (selector >> 4) * 997u;

    if ((selector & 0x0F) == 0x0F) {
        std::string error;
        auto state = ParseState(std::string(reinterpret_cast<const char*>(body), bodySize), &error);
        if (state && FormatState(*state).empty()) std::abort();
        return 0;
    }
    Source source;
    // Mostly loopback senders, sometimes not: those must never get an answer.
    const int pick = selector & 0x0F;
    const bool outside = pick >= 12;
    static const Channel kOutsideChannels[] = {Channel::kManagement, Channel::kVlan1,
                                               Channel::kVlan3};
    source.channel = outside ? kOutsideChannels[pick - 12] : static_cast<Channel>(pick % 6);
    source.ip = outside ? kv::Ip4{192, 168, 0, 99}
                        : kv::Ip4{127, 0, 0, static_cast<std::uint8_t>(1 + (selector >> 6))};
    source.port = static_cast<std::uint16_t>(40000 + (selector >> 6));
    source.key =
        std::to_string(static_cast<int>(source.channel)) + "/" + std::to_string(source.ip[3]);

    const bool udp = source.channel == Channel::kManagement || IsVlan(source.channel);
    auto feed = [&](const std::uint8_t* bytes, std::size_t n) {
        Module& module = TheModule();
        Response r = module.HandleDatagram(source, bytes, n);
        if (outside && udp && !r.datagram.empty()) std::abort();
        if (!r.datagram.empty()) {
            auto reply = kv::wire::DecodeReply(r.datagram.data(), r.datagram.size());
            auto request = kv::wire::DecodeRequest(bytes, n);
            // Whatever the module says, it says in a well-formed reply to that very request.
            if (!reply || !request || reply->sequence != request->sequence) std::abort();
        }
        if (r.restart) module.Restart();
    };
    feed(body, bodySize);
    // Most mutations break the CRC and stop at the parser; with the CRC made right again
    // the same bytes reach the request handling itself.
    if (bodySize >= kv::wire::kRequestHeader + kv::wire::kCrcSize) {
        std::vector<std::uint8_t> sealed(body, body + bodySize);
        const std::uint16_t crc = kv::wire::Crc16(sealed.data(), sealed.size() - 2);
        sealed[sealed.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
        sealed[sealed.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
        feed(sealed.data(), sealed.size());
    }
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    const std::size_t before = out->size();
    auto add = [&](std::uint8_t selector, std::vector<std::uint8_t> bytes) {
        bytes.insert(bytes.begin(), selector);
        out->push_back(std::move(bytes));
    };
    std::vector<std::uint8_t> block(4, 0);
    auto defaults = DefaultBlocks();
    block.insert(block.end(), defaults[1].begin(), defaults[1].end());
    const std::uint8_t usb = 1, management = 0, vlan1 = 3, vlan2 = 4;
    add(usb, RequestBytes(1, 0, 200, 0));
    add(usb, RequestBytes(2, 0, 200, 1));
    add(management, RequestBytes(3, 0, 200, 2));
    add(usb, RequestBytes(4, 0, 204, 1, {0, 251, 0, 0}));
    add(usb, RequestBytes(5, 0, 205, 0, block));
    add(usb, RequestBytes(6, 0, 101, 11, {251, 0, 0, 0}));
    add(management, RequestBytes(7, 0, 204, 100));
    add(management, RequestBytes(8, 0, 204, 101));
    add(vlan1, RequestBytes(9, 1, 200, 0));
    add(vlan1, RequestBytes(10, 9, 204, 3));
    add(vlan2, RequestBytes(11, 2, 205, 1, block));
    add(usb, RequestBytes(12, 0, 101, 255));
    add(12, RequestBytes(13, 0, 200, 0));
    const std::string state = FormatState(NewState("00000001", 2));
    add(0x0F, std::vector<std::uint8_t>(state.begin(), state.end()));
    return out->size() - before;
}
