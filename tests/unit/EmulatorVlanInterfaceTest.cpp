#include <gtest/gtest.h>

#include "emulator/VlanInterface.h"

namespace kv::emu {
namespace {

constexpr Ip4 kA = {127, 0, 0, 10};
constexpr Ip4 kB = {127, 0, 0, 11};
constexpr Ip4 kC = {127, 0, 0, 12};

kv::VlanStatus StatusOf(const VlanInterface& v, std::uint64_t nowMs, std::uint16_t port = 5000) {
    return v.Status(port, nowMs);
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
    kv::VlanStatus st = StatusOf(v, 5000, 5002);
    EXPECT_EQ(st.port, 5002);
    EXPECT_EQ(st.mode, 0);
    EXPECT_EQ(st.remainingValidityMs, 0u);
    EXPECT_EQ(st.allowed, 0u);
    EXPECT_EQ(st.denied, 2u);
    EXPECT_EQ(st.lastDeniedIp, kB);
    EXPECT_EQ(st.lastDeniedPort, 2222);
    EXPECT_EQ(st.lastDeniedTimeS, 5u);
}

TEST(EmulatorVlanInterface, TimerGivesTheInterfaceToOneClientWhileItsValidityRuns) {
    VlanInterface v;
    v.Apply(Timer(10));
    EXPECT_TRUE(v.Admit(kA, 1000, false, 0, 0).allowed);
    EXPECT_FALSE(v.Admit(kB, 2000, false, 9'000, 9).allowed);
    // A message of the current client restarts its validity.
    EXPECT_TRUE(v.Admit(kA, 1000, true, 9'500, 9).allowed);
    EXPECT_FALSE(v.Admit(kB, 2000, false, 19'499, 19).allowed);
    EXPECT_EQ(StatusOf(v, 19'499).remainingValidityMs, 1u) << "1 ms left";
    // Expired: the next client takes over, the old one moves down the history.
    EXPECT_TRUE(v.Admit(kB, 2000, false, 19'500, 19).allowed);
    EXPECT_FALSE(v.Admit(kA, 1000, false, 20'000, 20).allowed);

    kv::VlanStatus st = StatusOf(v, 21'000);
    EXPECT_EQ(st.mode, 1);
    EXPECT_EQ(st.remainingValidityMs, 8'500u);
    EXPECT_EQ(st.maxValidityMs, 10'000u);
    EXPECT_EQ(st.allowed, 3u);
    EXPECT_EQ(st.denied, 3u);
    EXPECT_EQ(st.lastDeniedIp, kA);
    EXPECT_EQ(st.lastDeniedTimeS, 20u);
    EXPECT_EQ(st.users[0].ip, kB);
    EXPECT_EQ(st.users[0].port, 2000);
    EXPECT_EQ(st.users[0].allowed, 1u);
    EXPECT_EQ(st.users[0].lastMessageS, 19u);
    EXPECT_EQ(st.users[1].ip, kA);
    EXPECT_EQ(st.users[1].allowed, 2u);
    EXPECT_EQ(st.users[1].lastMessageS, 9u);
    EXPECT_EQ(st.users[2].ip, (Ip4{}));

    // A third and a fourth client: the oldest falls off the end of the history.
    EXPECT_TRUE(v.Admit(kC, 3000, false, 40'000, 40).allowed);
    EXPECT_TRUE(v.Admit(kA, 1001, false, 60'000, 60).allowed);
    st = StatusOf(v, 60'000);
    EXPECT_EQ(st.users[0].ip, kA);
    EXPECT_EQ(st.users[0].port, 1001);
    EXPECT_EQ(st.users[0].allowed, 1u) << "a new turn counts afresh";
    EXPECT_EQ(st.users[1].ip, kC);
    EXPECT_EQ(st.users[2].ip, kB);
    EXPECT_EQ(StatusOf(v, 80'000).remainingValidityMs, 0u)
        << "expired validity reads 0, never wraps";
}

TEST(EmulatorVlanInterface, TimerClientReturningAfterExpiryKeepsItsRecord) {
    VlanInterface v;
    v.Apply(Timer(1));
    EXPECT_TRUE(v.Admit(kA, 1000, false, 0, 0).allowed);
    EXPECT_TRUE(v.Admit(kA, 1000, false, 5'000, 5).allowed);
    kv::VlanStatus st = StatusOf(v, 5'000);
    EXPECT_EQ(st.users[0].allowed, 2u);
    EXPECT_EQ(st.users[1].ip, (Ip4{}));
}

TEST(EmulatorVlanInterface, ReadOnlyTimerDeniesWritesWithoutTakingOrRenewingTheInterface) {
    VlanInterface v;
    v.Apply(Timer(10, 1));
    EXPECT_FALSE(v.Admit(kA, 1000, true, 0, 0).allowed) << "a write cannot take the interface";
    EXPECT_TRUE(v.Admit(kB, 2000, false, 1'000, 1).allowed);
    EXPECT_FALSE(v.Admit(kB, 2000, true, 2'000, 2).allowed);
    kv::VlanStatus st = StatusOf(v, 2'000);
    EXPECT_EQ(st.remainingValidityMs, 9'000u) << "the denied write did not renew the validity";
    EXPECT_EQ(st.allowed, 1u);
    EXPECT_EQ(st.denied, 2u);
    EXPECT_EQ(st.users[0].ip, kB);
    EXPECT_EQ(st.users[1].ip, (Ip4{}));
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

    kv::VlanStatus st = StatusOf(v, 6'000);
    EXPECT_EQ(st.mode, 2);
    EXPECT_EQ(st.remainingValidityMs, 0u);
    EXPECT_EQ(st.allowed, 4u);
    EXPECT_EQ(st.denied, 4u);
    EXPECT_EQ(st.users[0].ip, kA);
    EXPECT_EQ(st.users[0].port, 0xFFFF) << "the table's port, not the sender's";
    EXPECT_EQ(st.users[0].allowed, 2u);
    EXPECT_EQ(st.users[1].allowed, 1u);
    EXPECT_EQ(st.users[1].lastMessageS, 1u);
    EXPECT_EQ(st.users[2].ip, kC);
    EXPECT_EQ(st.users[2].lastMessageS, 4u);
    EXPECT_EQ(st.lastDeniedIp, (Ip4{0, 0, 0, 0}));
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
    EXPECT_EQ(StatusOf(v, 1).mode, 7) << "the mode byte is reported as stored";
    EXPECT_EQ(StatusOf(v, 1).users[0].ip, (Ip4{}));
}

}  // namespace
}  // namespace kv::emu
