#include "libraries/Link.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "libraries/KvWire.h"

namespace kv::lib {

void Link::Drain() {
    // Bounded: a peer flooding us must not keep a request from ever going out.
    for (int i = 0; i < 1024; ++i)
        if (!ReadOne()) return;
}

std::optional<Datagram> Link::Receive(Clock::time_point until) {
    for (;;) {
        if (auto in = ReadOne()) return in;
        const auto now = Clock::now();
        if (now >= until) return std::nullopt;
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        pollfd pfd{PollFd(), POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(std::max<long long>(wait.count(), 1)));
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready > 0 && (pfd.revents & POLLIN) == 0) {
            // A hung-up line stays "ready" without data; sleep instead of spinning.
            std::this_thread::sleep_until(until);
            return std::nullopt;
        }
    }
}

std::uint32_t Link::Configure(std::uint32_t) {
    return wire::kOk;
}

}  // namespace kv::lib
