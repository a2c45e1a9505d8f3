#include "libraries/Exchange.h"

#include <algorithm>
#include <optional>

namespace kv::lib {

std::chrono::milliseconds RetryInterval(std::chrono::milliseconds timeout) {
    using std::chrono::milliseconds;
    // Eight tries per time-out keep a lossy link usable (30 % loss leaves well under one
    // failure in ten thousand), and the floor keeps a slow peer from being flooded.
    return std::clamp(timeout / 8, milliseconds(20), milliseconds(250));
}

std::uint32_t Exchange(Link& link, const wire::Request& request, std::chrono::milliseconds timeout,
                       wire::Reply& reply) {
    link.Drain();
    const Datagram datagram = wire::EncodeRequest(request);
    const auto start = Clock::now();
    const auto deadline = start + timeout;
    const auto interval = RetryInterval(timeout);

    bool sentOnce = false;
    auto nextSend = start;
    for (;;) {
        auto now = Clock::now();
        if (now >= nextSend && now < deadline) {
            TransmitResult tx = link.Transmit(datagram, deadline);
            if (tx == TransmitResult::kFailed) return wire::kSendFailed;
            if (tx == TransmitResult::kSent) sentOnce = true;
            nextSend += interval;
            if (nextSend <= now) nextSend = now + interval;
            now = Clock::now();
        }
        if (now >= deadline) break;

        // Every datagram is looked at, but the wait itself ends at the next resend or the
        // deadline, so a flood of strays can neither starve the resend nor extend the wait.
        std::optional<Datagram> in = link.Receive(std::min(deadline, nextSend));
        if (!in) continue;
        std::optional<wire::Reply> decoded = wire::DecodeReply(in->data(), in->size());
        // Anything else is a stale or duplicated reply, a stranger's datagram or noise:
        // dropped, and the wait goes on.
        if (decoded && decoded->sequence == request.sequence) {
            reply = *decoded;
            return wire::kOk;
        }
    }
    return sentOnce ? wire::kTimeout : wire::kSendFailed;
}

}  // namespace kv::lib
