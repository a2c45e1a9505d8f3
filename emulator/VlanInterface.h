#pragma once

// Access control and statistics of one VLAN interface.
//   mode 0: everything is denied;
//   mode 1: the first client takes the interface and keeps it while its IP validity runs;
//           each of its messages restarts the validity; the interface-wide access right
//           1 makes it read only;
//   mode 2: only the three table users get in, each with its own access right.
// Other mode values deny like mode 0.

#include <array>
#include <cstdint>

#include "core/StatusReplies.h"
#include "emulator/Blocks.h"

namespace kv::emu {

struct Verdict {
    bool allowed = false;
    std::uint8_t user = 0;  // 1..3, 0 when no user record applies
};

class VlanInterface {
  public:
    // Takes the settings into effect: counters, users and the current client start afresh.
    void Apply(const VlanSettings& settings);

    // write: the request changes something (functions 101 and 205).
    // uptimeS: time since power-on, recorded as the time of the message.
    Verdict Admit(const Ip4& ip, std::uint16_t port, bool write, std::uint64_t nowMs,
                  std::uint32_t uptimeS);

    // The interface's record of the VLAN status reply.
    kv::VlanStatus Status(std::uint16_t listeningPort, std::uint64_t nowMs) const;

    std::uint32_t Allowed() const { return allowed_; }
    std::uint32_t Denied() const { return denied_; }
    const VlanSettings& Settings() const { return settings_; }
    std::uint64_t RemainingValidityMs(std::uint64_t nowMs) const;

  private:
    struct UserRecord {
        Ip4 ip{};
        std::uint16_t port = 0;
        std::uint32_t allowed = 0;
        std::uint32_t lastMessageS = 0;
    };

    Verdict Deny(const Ip4& ip, std::uint16_t port, std::uint32_t uptimeS);
    Verdict Allow(std::size_t user, std::uint16_t port, std::uint32_t uptimeS);

    VlanSettings settings_;
    std::uint32_t allowed_ = 0;
    std::uint32_t denied_ = 0;
    Ip4 lastDeniedIp_{};
    std::uint16_t lastDeniedPort_ = 0;
    std::uint32_t lastDeniedS_ = 0;
    // Timer mode: users_[0] is the current client, [1] the previous, [2] the one before.
    // Table mode: the table's users in order.
    std::array<UserRecord, 3> users_{};
    bool hasCurrent_ = false;
    std::uint64_t expiresAtMs_ = 0;
};

}  // namespace kv::emu
