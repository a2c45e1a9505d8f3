#include "libraries/DatagramSocket.h"

#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace kv::lib {
namespace {

SocketStatus StatusOf(int error) {
    switch (error) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return SocketStatus::kNoData;
        case EINTR:
            return SocketStatus::kInterrupted;
        case ECONNREFUSED:
        case ENOTCONN:
        case ECONNRESET:
            return SocketStatus::kRefused;
        case ENOBUFS:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return SocketStatus::kBusy;
        default:
            return SocketStatus::kFailed;
    }
}

}  // namespace

std::unique_ptr<DatagramSocket> DatagramSocket::Open(int family) {
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    return std::unique_ptr<DatagramSocket>(new DatagramSocket(fd));
}

DatagramSocket::~DatagramSocket() {
    ::close(handle_);
}

SocketStatus DatagramSocket::Send(const std::uint8_t* bytes, std::size_t size) {
    const ssize_t n = ::send(handle_, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n == static_cast<ssize_t>(size)) return SocketStatus::kOk;
    if (n >= 0) return SocketStatus::kBusy;
    const SocketStatus status = StatusOf(errno);
    // A full send buffer is no missing data: the datagram waits for the next try.
    return status == SocketStatus::kNoData ? SocketStatus::kBusy : status;
}

SocketStatus DatagramSocket::Receive(std::uint8_t* buffer, std::size_t capacity,
                                     std::chrono::milliseconds wait, sockaddr_storage& from,
                                     socklen_t& fromLength, std::size_t& size) {
    int flags = MSG_TRUNC;
    if (wait.count() <= 0) {
        flags |= MSG_DONTWAIT;
    } else if (wait.count() != receiveTimeoutMs_) {
        // A blocking receive with a receive time-out rather than poll: a transaction on
        // loopback is over in tens of microseconds, and every system call shows.
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(wait.count() / 1000);
        tv.tv_usec = static_cast<suseconds_t>((wait.count() % 1000) * 1000);
        if (::setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0) {
            receiveTimeoutMs_ = wait.count();
        } else {
            pollfd pfd{handle_, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(wait.count()));
            if (ready < 0) return StatusOf(errno);
            if (ready == 0) return SocketStatus::kNoData;
            flags |= MSG_DONTWAIT;
        }
    }
    fromLength = sizeof from;
    const ssize_t n = ::recvfrom(handle_, buffer, capacity, flags,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) return StatusOf(errno);
    if (static_cast<std::size_t>(n) > capacity) return SocketStatus::kTooLarge;
    size = static_cast<std::size_t>(n);
    return SocketStatus::kOk;
}

}  // namespace kv::lib
