#include <gtest/gtest.h>

#include "emulator/FaultInjector.h"
#include "libraries/KvWire.h"

namespace kv::emu {
namespace {

std::vector<std::uint8_t> SampleReply() {
    wire::Reply r;
    r.sequence = 77;
    for (std::size_t i = 0; i < 40; ++i) r.data[i] = static_cast<std::uint8_t>(i + 1);
    return wire::EncodeReply(r);
}

TEST(EmulatorFaultInjector, WithoutFaultsEveryReplyGoesOutOnceUnchanged) {
    FaultInjector f(FaultSettings{});
    const auto reply = SampleReply();
    for (int i = 0; i < 100; ++i) {
        SendPlan p = f.Plan(reply);
        ASSERT_EQ(p.copies.size(), 1u);
        EXPECT_EQ(p.copies[0], reply);
        EXPECT_EQ(p.delayMs, 0u);
    }
}

TEST(EmulatorFaultInjector, CertainFaultsAlwaysHappen) {
    const auto reply = SampleReply();
    FaultSettings s;
    s.drop = 1;
    EXPECT_TRUE(FaultInjector(s).Plan(reply).copies.empty());

    s = {};
    s.silent = true;
    EXPECT_TRUE(FaultInjector(s).Plan(reply).copies.empty());

    s = {};
    s.duplicate = 1;
    s.delayMs = 250;
    SendPlan p = FaultInjector(s).Plan(reply);
    ASSERT_EQ(p.copies.size(), 2u);
    EXPECT_EQ(p.copies[0], reply);
    EXPECT_EQ(p.copies[1], reply);
    EXPECT_EQ(p.delayMs, 250u);
}

TEST(EmulatorFaultInjector, CorruptionChangesExactlyOneByteAndTheCrcCatchesIt) {
    FaultSettings s;
    s.corrupt = 1;
    FaultInjector f(s);
    const auto reply = SampleReply();
    for (int i = 0; i < 200; ++i) {
        SendPlan p = f.Plan(reply);
        ASSERT_EQ(p.copies.size(), 1u);
        ASSERT_EQ(p.copies[0].size(), reply.size());
        int changed = 0;
        for (std::size_t k = 0; k < reply.size(); ++k) changed += p.copies[0][k] != reply[k];
        EXPECT_EQ(changed, 1);
        EXPECT_FALSE(wire::DecodeReply(p.copies[0].data(), p.copies[0].size()).has_value());
    }
}

TEST(EmulatorFaultInjector, SharesAreRoughlyKeptAndTheSameSeedRepeats) {
    FaultSettings s;
    s.drop = 0.3;
    s.delayMs = 10;
    s.delayShare = 0.5;
    s.seed = 99;
    FaultInjector a(s), b(s);
    const auto reply = SampleReply();
    int dropped = 0, delayed = 0;
    for (int i = 0; i < 2000; ++i) {
        SendPlan pa = a.Plan(reply), pb = b.Plan(reply);
        EXPECT_EQ(pa.copies.size(), pb.copies.size());
        EXPECT_EQ(pa.delayMs, pb.delayMs);
        dropped += pa.copies.empty();
        delayed += pa.delayMs > 0;
    }
    EXPECT_GT(dropped, 450);
    EXPECT_LT(dropped, 750);
    EXPECT_GT(delayed, 500);
    EXPECT_LT(delayed, 900);

    s.seed = 100;
    FaultInjector c(s);
    FaultInjector d(FaultSettings{s.drop, 0, 0, 10, 0.5, false, false, 99});
    int differ = 0;
    for (int i = 0; i < 200; ++i)
        differ += c.Plan(reply).copies.size() != d.Plan(reply).copies.size();
    EXPECT_GT(differ, 0) << "another seed gives other faults";
}

TEST(EmulatorFaultInjector, NothingToSendStaysNothing) {
    FaultSettings s;
    s.duplicate = 1;
    s.corrupt = 1;
    EXPECT_TRUE(FaultInjector(s).Plan({}).copies.empty());
}

}  // namespace
}  // namespace kv::emu
