#include "libraries/Exchange.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <thread>

namespace kv::lib {

std::chrono::milliseconds RetryInterval(std::chrono::milliseconds timeout) {
    using std::chrono::milliseconds;
    // Eight tries per time-out keep a lossy link usable (30 % loss leaves well under one
    // failure in ten thousand), and the floor keeps a slow peer from being flooded.
    return std::clamp(timeout / 8, milliseconds(20), milliseconds(250));
}

std::uint32_t Exchange(Link& link, const wire::Request& request,
                       std::chrono::milliseconds timeout, wire::Reply& reply) {
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

        auto wakeAt = std::min(deadline, nextSend);
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now);
        pollfd pfd{link.PollFd(), POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(std::max<long long>(wait.count(), 0)));
        if (ready < 0 && errno != EINTR) return sentOnce ? wire::kTimeout : wire::kSendFailed;
        if (ready <= 0) continue;

        bool gotData = false;
        // Bounded per wake-up so that a flood of strays cannot starve the resend timer.
        for (int i = 0; i < 256; ++i) {
            std::optional<Datagram> in = link.ReadOne();
            if (!in) break;
            gotData = true;
            std::optional<wire::Reply> decoded = wire::DecodeReply(in->data(), in->size());
            // Anything else is a stale or duplicated reply, a stranger's datagram or
            // noise: dropped, and the wait goes on.
            if (decoded && decoded->sequence == request.sequence) {
                reply = *decoded;
                return wire::kOk;
            }
        }
        // A hung-up line stays readable without data; sleep instead of spinning.
        if (!gotData && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            std::this_thread::sleep_until(wakeAt);
    }
    return sentOnce ? wire::kTimeout : wire::kSendFailed;
}

}  // namespace kv::lib
