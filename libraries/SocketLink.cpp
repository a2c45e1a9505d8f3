#include "libraries/SocketLink.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace kv::lib {

SocketLink::~SocketLink() {
    close(fd_);
}

TransmitResult SocketLink::Transmit(const Datagram& datagram, Clock::time_point) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t n = send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == static_cast<ssize_t>(datagram.size())) return TransmitResult::kSent;
        if (n < 0 && errno == EINTR) continue;
        // A refused send is an earlier ICMP "port unreachable" (UDP) or a device socket
        // that closed (USB). The module may be restarting, or plugged in again under the
        // same name: try to reach it again and keep trying within the time-out.
        if (n < 0 && (errno == ECONNREFUSED || errno == ENOTCONN || errno == ECONNRESET)) {
            if (Reconnect()) continue;
            return TransmitResult::kTransient;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS ||
                      errno == EHOSTUNREACH || errno == ENETUNREACH))
            return TransmitResult::kTransient;
        return TransmitResult::kFailed;
    }
    return TransmitResult::kTransient;
}

std::optional<Datagram> SocketLink::ReceiveOnce(int flags, int* err) {
    *err = 0;
    std::uint8_t buf[2048];
    sockaddr_storage from{};
    socklen_t len = sizeof from;
    ssize_t n =
        recvfrom(fd_, buf, sizeof buf, flags | MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) {
        *err = errno;
        return std::nullopt;
    }
    // The kernel already keeps a connected socket to its peer; the check keeps that
    // promise explicit. A datagram larger than the buffer is no datagram of ours.
    if (!FromPeer(from, len) || static_cast<std::size_t>(n) > sizeof buf)
        return Datagram();  // read and dropped: an empty datagram decodes to nothing
    return Datagram(buf, buf + n);
}

std::optional<Datagram> SocketLink::ReadOne() {
    // Bounded: strays are read and dropped here, at most this many per call.
    for (int i = 0; i < 256; ++i) {
        int err = 0;
        auto in = ReceiveOnce(MSG_DONTWAIT, &err);
        if (in && !in->empty()) return in;
        if (in) continue;  // a stranger's datagram
        if (err == EINTR || err == ECONNREFUSED) continue;
        return std::nullopt;
    }
    return std::nullopt;
}

bool SocketLink::SetReceiveTimeout(long long ms) {
    // The common wait is the same every time (the resend interval), so this is rarely
    // a system call.
    if (ms == receiveTimeoutMs_) return true;
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return false;
    receiveTimeoutMs_ = ms;
    return true;
}

std::optional<Datagram> SocketLink::Receive(Clock::time_point until) {
    for (int i = 0; i < 1024; ++i) {
        const auto now = Clock::now();
        if (now >= until) return std::nullopt;
        // Rounded up, and never 0, which would mean "wait for ever".
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        if (wait < 1) wait = 1;
        if (!SetReceiveTimeout(wait)) return Link::Receive(until);
        int err = 0;
        auto in = ReceiveOnce(0, &err);
        if (in) return in;  // possibly empty: a stranger's, for the caller to drop
        if (err == EAGAIN || err == EWOULDBLOCK) {
            if (Clock::now() >= until) return std::nullopt;
            continue;  // woken early; wait for the rest
        }
        if (err == EINTR || err == ECONNREFUSED) continue;
        // The socket itself fails: no spinning, the caller's time-out decides.
        std::this_thread::sleep_until(until);
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace kv::lib
