#pragma once

// The emulated KV-3380U: configuration blocks, status replies, restart, VLAN access
// control, the RS-485 bus behind it and the reply cache. Bytes in, bytes out: the
// caller owns the sockets and the clock, so everything here runs without either.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "core/StatusReplies.h"
#include "emulator/Blocks.h"
#include "emulator/Rs485Bus.h"
#include "emulator/StateFile.h"
#include "emulator/VlanInterface.h"
#include "libraries/KvWire.h"

namespace kv::emu {

constexpr const char* kModuleType = "KV-3380U";
constexpr const char* kFirmwareVersion = "1.20";
// Setup mode uses fixed factory addresses, whatever block 254 says.
constexpr Ip4 kSetupIp = {192, 168, 1, 1};
constexpr Ip4 kSetupMask = {255, 255, 255, 0};
constexpr Ip4 kSetupGateway = {192, 168, 1, 254};

enum class Channel { kManagement, kUsb, kSerial, kVlan1, kVlan2, kVlan3 };

constexpr bool IsVlan(Channel c) {
    return c >= Channel::kVlan1;
}
constexpr int VlanIndex(Channel c) {
    return static_cast<int>(c) - static_cast<int>(Channel::kVlan1);
}

// Where a request came from. For the UDP channels ip and port are the sender's; key
// tells clients apart for the reply cache (e.g. "udp 127.0.0.1:40000").
struct Source {
    Channel channel = Channel::kManagement;
    Ip4 ip{};
    std::uint16_t port = 0;
    std::string key;
};

struct Response {
    std::vector<std::uint8_t> datagram;  // empty: nothing is sent
    std::uint32_t delayMs = 0;           // the bus's time for this request
    bool restart = false;                // restart once the reply has gone out
    bool fromCache = false;
    bool store = false;  // the reply to a block store (101/11), fresh or from the cache
};

// Ports that a restart moves: index 0 remote management, 1..3 the VLAN interfaces.
using PortMoves = std::array<std::optional<std::uint16_t>, 4>;

class Module {
  public:
    using Clock = std::function<std::uint64_t()>;  // milliseconds, never going back
    // Keeps the state (the state file); false with a message when it could not.
    using Persist = std::function<bool(const ModuleState&, std::string* error)>;

    static constexpr std::size_t kCachedRepliesPerClient = 8;
    static constexpr std::size_t kCachedClients = 64;

    Module(ModuleState state, Clock clock, Persist persist, bool corruptStore = false);

    // One datagram as received; a malformed one, one from outside 127.0.0.0/8 and one
    // that access control refuses give an empty response.
    Response HandleDatagram(const Source& source, const std::uint8_t* bytes, std::size_t size);

    // Power cycle: uptime, counters and error table start afresh and the stored settings
    // take effect. Returns the block ports that changed since the last start.
    PortMoves Restart();

    // The ports the sockets actually listen on (a command line may override the blocks).
    void SetListeningPorts(std::uint16_t management, const std::array<std::uint16_t, 3>& vlan);
    // Serial number in use (a command line may override the stored one).
    void SetSerial(const std::string& serial) { serial_ = serial; }

    const ModuleState& State() const { return state_; }
    const ConfigBlock& StoredBlock(std::uint16_t number) const {
        return state_.blocks[number - kFirstConfigBlock];
    }
    const RemoteSettings& Remote() const { return remote_; }
    const VlanInterface& Vlan(int v) const { return vlans_[static_cast<std::size_t>(v)]; }
    std::uint32_t UptimeSeconds() const;
    std::uint32_t BusMessages() const { return busMessages_; }
    std::uint32_t BusErrors() const { return busErrors_; }
    const std::deque<BusErrorRecord>& Errors() const { return errors_; }
    bool RemoteAllows(const Source& source) const;

  private:
    struct CachedReply {
        std::uint32_t sequence = 0;
        std::vector<std::uint8_t> request;
        std::vector<std::uint8_t> reply;
    };
    struct CacheSlot {
        std::string key;
        std::deque<CachedReply> replies;
    };

    void ApplyStored();
    wire::Reply Manage(const wire::Request& request, bool* restart);
    wire::Reply ForwardToBus(const wire::Request& request, const Source& source, bool* denied,
                             std::uint32_t* delayMs);
    std::uint8_t StoreBlock(const wire::Request& request);
    void ModuleStatusReply(wire::Reply& reply) const;
    void VlanStatusReply(wire::Reply& reply) const;
    const std::vector<std::uint8_t>* Cached(const std::string& key, std::uint32_t sequence,
                                            const std::uint8_t* bytes, std::size_t size);
    void Remember(const std::string& key, std::uint32_t sequence, const std::uint8_t* bytes,
                  std::size_t size, const std::vector<std::uint8_t>& reply);
    std::uint64_t Now() const { return clock_(); }

    ModuleState state_;
    Clock clock_;
    Persist persist_;
    bool corruptStore_;
    std::string serial_;

    std::uint64_t powerOnMs_ = 0;
    RemoteSettings remote_;
    NetworkSettings network_;
    std::array<VlanInterface, 3> vlans_{};
    std::array<std::uint16_t, 4> appliedBlockPorts_{};
    std::uint16_t listeningManagementPort_ = 0;
    std::array<std::uint16_t, 3> listeningVlanPorts_{};
    std::optional<ConfigBlock> pending_;

    Rs485Bus bus_;
    std::uint32_t busMessages_ = 0;
    std::uint32_t busErrors_ = 0;
    std::deque<BusErrorRecord> errors_;  // newest first, no more than the reply holds

    // Most recently used client first.
    std::list<CacheSlot> cache_;
};

}  // namespace kv::emu
