#include "emulator/VlanInterface.h"

namespace kv::emu {
namespace {

std::uint32_t Clamp32(std::uint64_t v) {
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

}  // namespace

void VlanInterface::Apply(const VlanSettings& settings) {
    *this = VlanInterface{};
    settings_ = settings;
    if (settings_.mode == 2) {
        for (std::size_t u = 0; u < 3; ++u) {
            users_[u].ip = settings_.users[u].ip;
            users_[u].port = settings_.users[u].port;
        }
    }
}

std::uint64_t VlanInterface::RemainingValidityMs(std::uint64_t nowMs) const {
    if (settings_.mode != 1 || !hasCurrent_ || nowMs >= expiresAtMs_) return 0;
    return expiresAtMs_ - nowMs;
}

Verdict VlanInterface::Deny(const Ip4& ip, std::uint16_t port, std::uint32_t uptimeS) {
    ++denied_;
    lastDeniedIp_ = ip;
    lastDeniedPort_ = port;
    lastDeniedS_ = uptimeS;
    return {};
}

Verdict VlanInterface::Allow(std::size_t user, std::uint16_t port, std::uint32_t uptimeS) {
    ++allowed_;
    ++users_[user].allowed;
    users_[user].lastMessageS = uptimeS;
    if (settings_.mode == 1) users_[user].port = port;
    return {true, static_cast<std::uint8_t>(user + 1)};
}

Verdict VlanInterface::Admit(const Ip4& ip, std::uint16_t port, bool write, std::uint64_t nowMs,
                             std::uint32_t uptimeS) {
    switch (settings_.mode) {
        case 1: {
            const bool readOnly = settings_.access == 1;
            const bool valid = hasCurrent_ && nowMs < expiresAtMs_;
            if (valid && users_[0].ip != ip) return Deny(ip, port, uptimeS);
            if (write && readOnly) return Deny(ip, port, uptimeS);
            if (!hasCurrent_ || users_[0].ip != ip) {
                // The interface is free: the newcomer takes it, the history moves down.
                if (hasCurrent_) {
                    users_[2] = users_[1];
                    users_[1] = users_[0];
                }
                users_[0] = UserRecord{ip, port, 0, 0};
                hasCurrent_ = true;
            }
            expiresAtMs_ = nowMs + 1000ull * settings_.validitySeconds;
            return Allow(0, port, uptimeS);
        }
        case 2:
            for (std::size_t u = 0; u < 3; ++u) {
                if (!Matches(settings_.users[u], ip, port)) continue;
                if (write && settings_.users[u].access == 1) return Deny(ip, port, uptimeS);
                return Allow(u, port, uptimeS);
            }
            return Deny(ip, port, uptimeS);
        default:
            return Deny(ip, port, uptimeS);
    }
}

kv::VlanStatus VlanInterface::Status(std::uint16_t listeningPort, std::uint64_t nowMs) const {
    kv::VlanStatus s;
    s.port = listeningPort;
    s.mode = settings_.mode;
    s.remainingValidityMs = Clamp32(RemainingValidityMs(nowMs));
    s.maxValidityMs = 1000u * settings_.validitySeconds;
    s.allowed = allowed_;
    s.denied = denied_;
    s.lastDeniedIp = lastDeniedIp_;
    s.lastDeniedPort = lastDeniedPort_;
    s.lastDeniedTimeS = lastDeniedS_;
    for (std::size_t u = 0; u < s.users.size(); ++u)
        s.users[u] = {users_[u].ip, users_[u].port, users_[u].allowed, users_[u].lastMessageS};
    return s;
}

}  // namespace kv::emu
