#pragma once

// The emulator's sockets: the remote-management and VLAN UDP ports, the virtual USB
// device (a Unix datagram socket), an optional pseudo-terminal as a COM port, and the
// event loop that feeds them to the module and sends its replies, with the faults the
// command line asked for.

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator/FaultInjector.h"
#include "emulator/Module.h"
#include "emulator/Options.h"
#include "libraries/KvWire.h"

namespace kv::emu {

class Server {
  public:
    Server(const Options& options, Module& module, std::string usbSerial);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Blocks SIGINT and SIGTERM in the calling thread, and so in every thread it starts
    // afterwards. main calls it first; Start calls it again (it does no harm twice).
    static void BlockStopSignals();

    // Opens every socket and prints where it listens; false with a message on stderr.
    bool Start();
    // Runs until SIGINT, SIGTERM or the lifetime ends; returns the exit code.
    int Run();

  private:
    // Management requests received, and of them the repeats answered from the reply cache.
    std::uint64_t received_ = 0;
    std::uint64_t repeated_ = 0;
    struct Outgoing {
        Channel channel = Channel::kManagement;
        sockaddr_storage to{};
        socklen_t toLength = 0;
        std::vector<std::uint8_t> bytes;
        bool restartAfter = false;
    };
    // The last sender seen on a socket and the source built for it: a client sends many
    // requests from one address, so the reply-cache key is built once, not per datagram.
    struct KnownSender {
        bool valid = false;
        std::uint32_t ip = 0;    // network order
        std::uint16_t port = 0;  // network order
        std::string path;        // USB: the client socket's name
        Source source;
    };

    static constexpr std::size_t kUdpChannels = 4;  // management, VLAN 1..3
    static constexpr std::size_t kMaxQueued = 4096;
    // What each descriptor is registered as with epoll.
    static constexpr std::uint32_t kTagSignals = 0;
    static constexpr std::uint32_t kTagUdp = 1;  // 1..4
    static constexpr std::uint32_t kTagUsb = kTagUdp + kUdpChannels;
    static constexpr std::uint32_t kTagSerial = kTagUsb + 1;
    static constexpr std::uint32_t kTagLifetime = kTagSerial + 1;

    static std::size_t UdpIndex(Channel c);
    static Channel UdpChannel(std::size_t index);

    int BindUdp(std::uint16_t port, std::uint16_t* bound, std::string* error) const;
    bool OpenUsb();
    bool OpenCom();
    bool Watch(int fd, std::uint32_t tag);
    bool WatchLifetime(std::uint64_t deadlineMs);
    void PrintUdpLines() const;
    void CloseAll();

    void ReceiveUdp(std::size_t index);
    void ReceiveUsb();
    void ReceiveSerial();
    void Dispatch(const Source& source, const std::uint8_t* bytes, std::size_t size,
                  const sockaddr_storage& from, socklen_t fromLength);
    void SendDue();
    void Send(Channel channel, const sockaddr_storage& to, socklen_t toLength,
              const std::vector<std::uint8_t>& bytes);
    void DoRestart();
    std::uint64_t NowMs() const;

    Options options_;
    Module& module_;
    FaultInjector faults_;
    // No fault of any kind asked for: replies go out as the module gives them.
    bool faultless_ = false;
    bool silenced_ = false;  // --silent-after-store, once a block is stored
    std::string usbSerial_;

    std::array<int, kUdpChannels> udp_{-1, -1, -1, -1};
    std::array<std::uint16_t, kUdpChannels> udpPort_{};
    std::array<KnownSender, kUdpChannels> udpSender_{};
    int usb_ = -1;
    std::string usbPath_;
    KnownSender usbSender_;
    int ptyMaster_ = -1;
    int ptySlave_ = -1;
    std::string ptyPath_;
    std::string comLink_;
    wire::SerialDeframer deframer_;
    int signals_ = -1;
    int epoll_ = -1;
    int lifetime_ = -1;  // a timer that fires when the lifetime ends
    std::uint64_t startMs_ = 0;

    std::multimap<std::uint64_t, Outgoing> queue_;  // by due time
};

}  // namespace kv::emu
