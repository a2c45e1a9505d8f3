#pragma once

// A datagram socket of our libraries over the system's socket interface: BSD sockets on
// POSIX, Winsock on Windows. The links (UDP, the virtual USB device) see one set of
// outcomes whichever system answers.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kv::lib {

#ifdef _WIN32
using SocketHandle = SOCKET;
#else
using SocketHandle = int;
#endif

enum class SocketStatus {
    kOk,
    kNoData,       // nothing within the wait (or nothing there without one)
    kInterrupted,  // a signal cut the call short: try again
    kRefused,      // the peer is not there now: an ICMP "port unreachable" of an earlier
                   // datagram (UDP), a device socket that closed (USB)
    kBusy,         // not sent now (buffer full, no route for the moment)
    kTooLarge,     // a datagram larger than the buffer arrived; it is consumed
    kFailed,       // the socket itself fails
};

class DatagramSocket {
  public:
    // A datagram socket of the family (AF_INET; AF_UNIX on POSIX), null when the system
    // has none to give. On Windows each socket keeps Winsock started while it lives, so
    // a library unloaded after its last connection leaves nothing behind.
    static std::unique_ptr<DatagramSocket> Open(int family);
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    // For bind, connect and getsockname.
    SocketHandle Handle() const { return handle_; }

    // One datagram to the connected peer, without blocking (and without SIGPIPE).
    SocketStatus Send(const std::uint8_t* bytes, std::size_t size);
    // One datagram into the buffer, waiting at most `wait` for it (0: only one that is
    // already there). `size` receives its length, `from` its sender.
    SocketStatus Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::milliseconds wait,
                         sockaddr_storage& from, socklen_t& fromLength, std::size_t& size);

  private:
    explicit DatagramSocket(SocketHandle handle) : handle_(handle) {}

    SocketHandle handle_;
    // The receive time-out last set on the socket (POSIX), so that the usual wait, the
    // same every time, costs no extra system call.
    long long receiveTimeoutMs_ = -1;
};

}  // namespace kv::lib
