// What a transport library makes of bytes from the network or a serial line: the reply
// decoder and the serial deframer must take anything without crashing, and whatever they
// accept must be a well-formed reply.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "libraries/KvWire.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckReply(const std::uint8_t* data, std::size_t size) {
    auto reply = kv::wire::DecodeReply(data, size);
    if (!reply) return;
    // An accepted reply encodes back to exactly the bytes it came from: nothing was
    // read past the declared length, and no field was dropped.
    auto again = kv::wire::EncodeReply(*reply);
    auto back = kv::wire::DecodeReply(again.data(), again.size());
    Check(back.has_value());
    Check(back->sequence == reply->sequence && back->status == reply->status &&
          back->replyValue == reply->replyValue && back->data == reply->data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckReply(data, size);

    // The same bytes as they might arrive on a serial line, in uneven pieces.
    kv::wire::SerialDeframer deframer;
    std::size_t pos = 0, step = 1;
    while (pos < size) {
        std::size_t n = std::min(step, size - pos);
        for (const auto& frame : deframer.Feed(data + pos, n)) {
            Check(frame.size() <= kv::wire::kMaxDatagram);
            CheckReply(frame.data(), frame.size());
        }
        pos += n;
        step = step * 3 % 17 + 1;
    }
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    kv::wire::Reply r;
    r.sequence = 0x7E7D7E7D;
    r.status = 0;
    r.replyValue = 0x7E;
    out->push_back(kv::wire::EncodeReply(r));
    for (std::size_t i = 0; i < 260; ++i) r.data[i] = static_cast<std::uint8_t>(i);
    r.status = 22;
    auto full = kv::wire::EncodeReply(r);
    out->push_back(full);
    out->push_back(kv::wire::FrameForSerial(full));
    auto two = kv::wire::FrameForSerial(out->front());
    two.insert(two.end(), out->back().begin(), out->back().end());
    out->push_back(two);
    return out->size();
}
