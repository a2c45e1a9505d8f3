#include <gtest/gtest.h>

#include "emulator/VlanInterface.h"

namespace kv::emu {
namespace {

constexpr Ip4 kA = {127, 0, 0, 10};
constexpr Ip4 kB = {127, 0, 0, 11};
constexpr Ip4 kC = {127, 0, 0, 12};

struct Status {
    std::uint8_t w[VlanInterface::kStatusWords];
    std::uint32_t U32(std::size_t at) const {
        return w[at] | (w[at + 1] << 8) | (w[at + 2] << 16) |
               (static_cast<std::uint32_t>(w[at + 3]) << 24);
    }
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>(w[at] | (w[at + 1] << 8));
    }
    Ip4 Ip(std::size_t at) const { return {w[at], w[at + 1], w[at + 2], w[at + 3]}; }
    Ip4 UserIp(int u) const { return Ip(32 + 16 * static_cast<std::size_t>(u)); }
    std::uint16_t UserPort(int u) const { return U16(36 + 16 * static_cast<std::size_t>(u)); }
    std::uint32_t UserAllowed(int u) const { return U32(38 + 16 * static_cast<std::size_t>(u)); }
    std::uint32_t UserLast(int u) const { return U32(42 + 16 * static_cast<std::size_t>(u)); }
};

Status StatusOf(const VlanInterface& v, std::uint64_t nowMs, std::uint16_t port = 5000) {
    Status s{};
    v.WriteStatus(s.w, port, nowMs);
    return s;
}

VlanSettings Timer(std::uint8_t seconds, std::uint8_t access = 0) {
    VlanSettings s;
    s.port = 5000;
    s.mode = 1;
    s.validitySeconds = seconds;
    s.access = access;
    return s;
}

TEST(EmulatorVlanInterface, OffDeniesEverythingAndRemembersTheLastDenied) {
    VlanInterface v;
    VlanSettings s;
    s.mode = 0;
    s.validitySeconds = 10;
    v.Apply(s);
    EXPECT_FALSE(v.Admit(kA, 1111, false, 0, 0).allowed);
    EXPECT_FALSE(v.Admit(kB, 2222, false, 5000, 5).allowed);
    Status st = StatusOf(v, 5000, 5002);
    EXPECT_EQ(st.U16(0), 5002);
    EXPECT_EQ(st.w[2], 0);
    EXPECT_EQ(st.U32(3), 0u);
    EXPECT_EQ(st.U32(11), 0u);
    EXPECT_EQ(st.U32(15), 2u);
    EXPECT_EQ(st.Ip(19), kB);
    EXPECT_EQ(st.U16(23), 2222);
    EXPECT_EQ(st.U32(25), 5u);
}

TEST(EmulatorVlanInterface, TimerGivesTheInterfaceToOneClientWhileItsValidityRuns) {
    VlanInterface v;
    v.Apply(Timer(10));
    EXPECT_TRUE(v.Admit(kA, 1000, false, 0, 0).allowed);
    EXPECT_FALSE(v.Admit(kB, 2000, false, 9'000, 9).allowed);
    // A message of the current client restarts its validity.
    EXPECT_TRUE(v.Admit(kA, 1000, true, 9'500, 9).allowed);
    EXPECT_FALSE(v.Admit(kB, 2000, false, 19'499, 19).allowed);
    EXPECT_EQ(StatusOf(v, 19'499).U32(3), 1u) << "1 ms left";
    // Expired: the next client takes over, the old one moves down the history.
    EXPECT_TRUE(v.Admit(kB, 2000, false, 19'500, 19).allowed);
    EXPECT_FALSE(v.Admit(kA, 1000, false, 20'000, 20).allowed);

    Status st = StatusOf(v, 21'000);
    EXPECT_EQ(st.w[2], 1);
    EXPECT_EQ(st.U32(3), 8'500u);
    EXPECT_EQ(st.U32(7), 10'000u);
    EXPECT_EQ(st.U32(11), 3u);
    EXPECT_EQ(st.U32(15), 3u);
    EXPECT_EQ(st.Ip(19), kA);
    EXPECT_EQ(st.U32(25), 20u);
    EXPECT_EQ(st.UserIp(0), kB);
    EXPECT_EQ(st.UserPort(0), 2000);
    EXPECT_EQ(st.UserAllowed(0), 1u);
    EXPECT_EQ(st.UserLast(0), 19u);
    EXPECT_EQ(st.UserIp(1), kA);
    EXPECT_EQ(st.UserAllowed(1), 2u);
    EXPECT_EQ(st.UserLast(1), 9u);
    EXPECT_EQ(st.UserIp(2), (Ip4{}));

    // A third and a fourth client: the oldest falls off the end of the history.
    EXPECT_TRUE(v.Admit(kC, 3000, false, 40'000, 40).allowed);
    EXPECT_TRUE(v.Admit(kA, 1001, false, 60'000, 60).allowed);
    st = StatusOf(v, 60'000);
    EXPECT_EQ(st.UserIp(0), kA);
    EXPECT_EQ(st.UserPort(0), 1001);
    EXPECT_EQ(st.UserAllowed(0), 1u) << "a new turn counts afresh";
    EXPECT_EQ(st.UserIp(1), kC);
    EXPECT_EQ(st.UserIp(2), kB);
    EXPECT_EQ(StatusOf(v, 80'000).U32(3), 0u) << "expired validity reads 0, never wraps";
}

TEST(EmulatorVlanInterface, TimerClientReturningAfterExpiryKeepsItsRecord) {
    VlanInterface v;
    v.Apply(Timer(1));
    EXPECT_TRUE(v.Admit(kA, 1000, false, 0, 0).allowed);
    EXPECT_TRUE(v.Admit(kA, 1000, false, 5'000, 5).allowed);
    Status st = StatusOf(v, 5'000);
    EXPECT_EQ(st.UserAllowed(0), 2u);
    EXPECT_EQ(st.UserIp(1), (Ip4{}));
}

TEST(EmulatorVlanInterface, ReadOnlyTimerDeniesWritesWithoutTakingOrRenewingTheInterface) {
    VlanInterface v;
    v.Apply(Timer(10, 1));
    EXPECT_FALSE(v.Admit(kA, 1000, true, 0, 0).allowed) << "a write cannot take the interface";
    EXPECT_TRUE(v.Admit(kB, 2000, false, 1'000, 1).allowed);
    EXPECT_FALSE(v.Admit(kB, 2000, true, 2'000, 2).allowed);
    Status st = StatusOf(v, 2'000);
    EXPECT_EQ(st.U32(3), 9'000u) << "the denied write did not renew the validity";
    EXPECT_EQ(st.U32(11), 1u);
    EXPECT_EQ(st.U32(15), 2u);
    EXPECT_EQ(st.UserIp(0), kB);
    EXPECT_EQ(st.UserIp(1), (Ip4{}));
}

TEST(EmulatorVlanInterface, ZeroValidityNeverHoldsTheInterface) {
    VlanInterface v;
    v.Apply(Timer(0));
    EXPECT_TRUE(v.Admit(kA, 1000, false, 0, 0).allowed);
    EXPECT_TRUE(v.Admit(kB, 2000, false, 0, 0).allowed);
}

TEST(EmulatorVlanInterface, TableAdmitsItsUsersWithTheirOwnRights) {
    VlanSettings s;
    s.port = 5001;
    s.mode = 2;
    s.users[0] = {kA, 0xFFFF, 0};
    s.users[1] = {kB, 2000, 1};
    s.users[2] = {kC, 0, 0};
    s.access = 1;  // the interface-wide right plays no part in table mode
    VlanInterface v;
    v.Apply(s);

    EXPECT_EQ(v.Admit(kA, 1, true, 0, 0).user, 1);
    EXPECT_TRUE(v.Admit(kA, 65000, false, 0, 0).allowed);
    EXPECT_EQ(v.Admit(kB, 2000, false, 1'000, 1).user, 2);
    EXPECT_FALSE(v.Admit(kB, 2000, true, 2'000, 2).allowed) << "user 2 reads only";
    EXPECT_FALSE(v.Admit(kB, 2001, false, 3'000, 3).allowed) << "wrong port";
    EXPECT_EQ(v.Admit(kC, 7, true, 4'000, 4).user, 3);
    EXPECT_FALSE(v.Admit({127, 0, 0, 99}, 7, false, 5'000, 5).allowed);
    EXPECT_FALSE(v.Admit({0, 0, 0, 0}, 7, false, 5'000, 5).allowed);

    Status st = StatusOf(v, 6'000);
    EXPECT_EQ(st.w[2], 2);
    EXPECT_EQ(st.U32(3), 0u);
    EXPECT_EQ(st.U32(11), 4u);
    EXPECT_EQ(st.U32(15), 4u);
    EXPECT_EQ(st.UserIp(0), kA);
    EXPECT_EQ(st.UserPort(0), 0xFFFF) << "the table's port, not the sender's";
    EXPECT_EQ(st.UserAllowed(0), 2u);
    EXPECT_EQ(st.UserAllowed(1), 1u);
    EXPECT_EQ(st.UserLast(1), 1u);
    EXPECT_EQ(st.UserIp(2), kC);
    EXPECT_EQ(st.UserLast(2), 4u);
    EXPECT_EQ(st.Ip(19), (Ip4{0, 0, 0, 0}));
}

TEST(EmulatorVlanInterface, UnknownModeDeniesAndApplyStartsAfresh) {
    VlanInterface v;
    v.Apply(Timer(10));
    EXPECT_TRUE(v.Admit(kA, 1000, false, 0, 0).allowed);
    VlanSettings odd = Timer(10);
    odd.mode = 7;
    v.Apply(odd);
    EXPECT_EQ(v.Allowed(), 0u);
    EXPECT_FALSE(v.Admit(kA, 1000, false, 1, 0).allowed);
    EXPECT_EQ(StatusOf(v, 1).w[2], 7) << "the mode byte is reported as stored";
    EXPECT_EQ(StatusOf(v, 1).UserIp(0), (Ip4{}));
}

}  // namespace
}  // namespace kv::emu
