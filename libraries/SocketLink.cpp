#include "libraries/SocketLink.h"

#include <thread>

namespace kv::lib {

TransmitResult SocketLink::Transmit(const Datagram& datagram, Clock::time_point) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        switch (socket_->Send(datagram.data(), datagram.size())) {
            case SocketStatus::kOk:
                return TransmitResult::kSent;
            case SocketStatus::kInterrupted:
                continue;
            case SocketStatus::kRefused:
                // An earlier ICMP "port unreachable" (UDP) or a device socket that closed
                // (USB). The module may be restarting, or plugged in again under the same
                // name: try to reach it again and keep trying within the time-out.
                if (Reconnect()) continue;
                return TransmitResult::kTransient;
            case SocketStatus::kBusy:
            case SocketStatus::kNoData:
                return TransmitResult::kTransient;
            default:
                return TransmitResult::kFailed;
        }
    }
    return TransmitResult::kTransient;
}

std::optional<Datagram> SocketLink::ReceiveOnce(std::chrono::milliseconds wait,
                                                SocketStatus* status) {
    std::uint8_t buf[2048];
    sockaddr_storage from{};
    socklen_t len = sizeof from;
    std::size_t n = 0;
    *status = socket_->Receive(buf, sizeof buf, wait, from, len, n);
    // A datagram larger than the buffer is no datagram of ours: read and dropped.
    if (*status == SocketStatus::kTooLarge) return Datagram();
    if (*status != SocketStatus::kOk) return std::nullopt;
    // The system already keeps a connected socket to its peer; the check keeps that
    // promise explicit. An empty datagram decodes to nothing.
    if (!FromPeer(from, len)) return Datagram();
    return Datagram(buf, buf + n);
}

std::optional<Datagram> SocketLink::ReadOne() {
    // Bounded: strays are read and dropped here, at most this many per call.
    for (int i = 0; i < 256; ++i) {
        SocketStatus status = SocketStatus::kOk;
        auto in = ReceiveOnce(std::chrono::milliseconds(0), &status);
        if (in && !in->empty()) return in;
        if (in) continue;  // a stranger's datagram
        if (status == SocketStatus::kInterrupted || status == SocketStatus::kRefused) continue;
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<Datagram> SocketLink::Receive(Clock::time_point until) {
    for (int i = 0; i < 1024; ++i) {
        const auto now = Clock::now();
        if (now >= until) return std::nullopt;
        // Rounded up, and never 0, which would mean "only what is there".
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        if (wait.count() < 1) wait = std::chrono::milliseconds(1);
        SocketStatus status = SocketStatus::kOk;
        auto in = ReceiveOnce(wait, &status);
        if (in) return in;  // possibly empty: a stranger's, for the caller to drop
        if (status == SocketStatus::kNoData) {
            if (Clock::now() >= until) return std::nullopt;
            continue;  // woken early; wait for the rest
        }
        if (status == SocketStatus::kInterrupted || status == SocketStatus::kRefused) continue;
        // The socket itself fails: no spinning, the caller's time-out decides.
        std::this_thread::sleep_until(until);
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace kv::lib
