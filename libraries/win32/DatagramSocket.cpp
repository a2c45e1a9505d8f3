#include "libraries/DatagramSocket.h"

namespace kv::lib {
namespace {

SocketStatus StatusOf(int error) {
    switch (error) {
        case WSAEWOULDBLOCK:
        case WSAETIMEDOUT:
            return SocketStatus::kNoData;
        case WSAEINTR:
            return SocketStatus::kInterrupted;
        // Winsock reports an ICMP "port unreachable" on a UDP socket as a reset.
        case WSAECONNRESET:
        case WSAECONNREFUSED:
        case WSAENOTCONN:
            return SocketStatus::kRefused;
        case WSAEMSGSIZE:
            return SocketStatus::kTooLarge;
        case WSAENOBUFS:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
            return SocketStatus::kBusy;
        default:
            return SocketStatus::kFailed;
    }
}

}  // namespace

std::unique_ptr<DatagramSocket> DatagramSocket::Open(int family) {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return nullptr;
    // Not inherited by programs the caller starts.
    const SOCKET s = ::WSASocketW(family, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        ::WSACleanup();
        return nullptr;
    }
    // Non-blocking: a receive waits in select() for as long as the caller allows, since
    // Windows leaves a socket whose blocking receive timed out in an undefined state.
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        ::WSACleanup();
        return nullptr;
    }
    return std::unique_ptr<DatagramSocket>(new DatagramSocket(s));
}

DatagramSocket::~DatagramSocket() {
    ::closesocket(handle_);
    ::WSACleanup();
}

SocketStatus DatagramSocket::Send(const std::uint8_t* bytes, std::size_t size) {
    const int n = ::send(handle_, reinterpret_cast<const char*>(bytes), static_cast<int>(size), 0);
    if (n == static_cast<int>(size)) return SocketStatus::kOk;
    if (n >= 0) return SocketStatus::kBusy;
    const SocketStatus status = StatusOf(::WSAGetLastError());
    return status == SocketStatus::kNoData ? SocketStatus::kBusy : status;
}

SocketStatus DatagramSocket::Receive(std::uint8_t* buffer, std::size_t capacity,
                                     std::chrono::milliseconds wait, sockaddr_storage& from,
                                     socklen_t& fromLength, std::size_t& size) {
    if (wait.count() > 0) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(handle_, &readable);
        timeval tv{};
        tv.tv_sec = static_cast<long>(wait.count() / 1000);
        tv.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
        const int ready = ::select(0, &readable, nullptr, nullptr, &tv);
        if (ready == SOCKET_ERROR) return StatusOf(::WSAGetLastError());
        if (ready == 0) return SocketStatus::kNoData;
    }
    fromLength = sizeof from;
    const int n = ::recvfrom(handle_, reinterpret_cast<char*>(buffer), static_cast<int>(capacity),
                             0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n == SOCKET_ERROR) return StatusOf(::WSAGetLastError());
    size = static_cast<std::size_t>(n);
    return SocketStatus::kOk;
}

}  // namespace kv::lib
