// The diagnostics refresh cycle against the scriptable fake library: what goes to the
// module, and what each outcome changes on display.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "diagnostics/Diagnostika.h"
#include "tests/support/FakeConnection.h"
#include "tests/support/Hex.h"
#include "transport/InterfaceKinds.h"

namespace kv {
namespace {

using testing::FrameHex;
using testing::HexOfWords;
using testing::Pattern;
using testing::Words;

class DiagnostikaCycleTest : public testing::FakeConnection {
  protected:
    CycleOutcome Cycle(int vlanIndex = 0) {
        return RefreshDiagnostics(LinkOf(settings_, connection_), kv::Vlan::FromIndex(vlanIndex),
                                  [this](const std::string& text) { shown_.push_back(text); });
    }

    std::vector<std::string> shown_;
};

TEST_F(DiagnostikaCycleTest, BothRepliesDecodedAndTheTextForCodeZero) {
    auto& fake = Connect(kKindLanQudp, 9);
    const Words moduleReply = Pattern(3);
    const Words vlanReply = Pattern(101);
    fake.QueueSend(0, 0, 0, moduleReply);
    fake.QueueSend(0, 0, 0, vlanReply);

    const CycleOutcome out = Cycle(1);

    DataBuffer module{}, vlan{};
    std::copy(moduleReply.begin(), moduleReply.end(), module.begin());
    std::copy(vlanReply.begin(), vlanReply.end(), vlan.begin());
    ASSERT_TRUE(out.module && out.vlan);
    EXPECT_EQ(*out.module, DecodeModuleStatus(module));
    EXPECT_EQ(*out.vlan, DecodeVlanStatus(vlan, kv::Vlan::FromIndex(1)));
    EXPECT_EQ(out.statusText, "fake 0") << "the library's text for code 0";
    EXPECT_EQ(shown_, std::vector<std::string>{"fake 0"});
    EXPECT_EQ(out.requests, 2);
    ASSERT_EQ(fake.CallCount("Send"), 2u);

    // Both requests carry the record's module address and zero parameter words; the
    // second goes out with the first reply in its data words from 4 on.
    const Words first = fake.Frame(0), second = fake.Frame(1);
    EXPECT_EQ(FrameHex(first, 0, 8), "09cc640000000000");
    EXPECT_EQ(FrameHex(first, 8, 304), testing::Zeros(296));
    EXPECT_EQ(FrameHex(second, 0, 8), "09cc650000000000");
    EXPECT_EQ(FrameHex(second, 8, 304), HexOfWords(moduleReply.data() + 4, 296));
}

TEST_F(DiagnostikaCycleTest, FailingFirstRequestChangesNothingButTheStatus) {
    auto& fake = Connect(kKindUsbVx);
    fake.QueueSend(0, 5, 0, Pattern(1));

    const CycleOutcome out = Cycle();

    EXPECT_FALSE(out.module);
    EXPECT_FALSE(out.vlan);
    EXPECT_EQ(out.statusText, "fake 5");
    EXPECT_EQ(shown_, std::vector<std::string>{"fake 5"});
    EXPECT_EQ(fake.CallCount("Send"), 1u) << "no VLAN request after a failed module request";
}

TEST_F(DiagnostikaCycleTest, FailingSecondRequestKeepsTheVlanGroupButShowsTheModuleValues) {
    auto& fake = Connect(kKindLan);
    const Words moduleReply = Pattern(17);
    fake.QueueSend(0, 0, 0, moduleReply);
    // The library's own result counts as the error when the error word says nothing.
    fake.QueueSend(3, 0, 0, Pattern(2));

    const CycleOutcome out = Cycle();

    DataBuffer module{};
    std::copy(moduleReply.begin(), moduleReply.end(), module.begin());
    ASSERT_TRUE(out.module);
    EXPECT_EQ(*out.module, DecodeModuleStatus(module));
    EXPECT_FALSE(out.vlan);
    EXPECT_EQ(out.statusText, "fake 3");
    EXPECT_EQ(out.requests, 2);
}

TEST_F(DiagnostikaCycleTest, NothingIsSentWithoutAUsableConnection) {
    auto& fake = Connect(kKindLanQudp);
    const std::uint32_t handle = settings_.handle;

    settings_.connected = false;
    CycleOutcome out = Cycle();
    EXPECT_EQ(out.statusText, "Připojení k zařízení není inicializováno.");
    EXPECT_FALSE(out.module || out.vlan);
    EXPECT_EQ(out.requests, 0);

    settings_.connected = true;
    settings_.handle = 0;
    out = Cycle();
    EXPECT_EQ(out.statusText, "Připojení k zařízení není inicializováno.");
    EXPECT_EQ(shown_.size(), 2u) << "the text is shown on every tick";
    EXPECT_EQ(fake.CallCount("Send"), 0u);
    settings_.handle = handle;
}

TEST_F(DiagnostikaCycleTest, VlanIndexOutsideTheThreeShowsVlan1AndEachCycleStartsFromZero) {
    auto& fake = Connect(kKindUsbVx);
    Words vlanReply(300, 0);
    vlanReply[4] = 0x88;  // VLAN1 port 5000
    vlanReply[5] = 0x13;
    vlanReply[84] = 0x89;  // VLAN2 port 5001
    vlanReply[85] = 0x13;
    for (int index : {5, -1}) {
        fake.QueueSend(0, 0, 0, Pattern(8));
        fake.QueueSend(0, 0, 0, vlanReply);
        const CycleOutcome out = Cycle(index);
        ASSERT_TRUE(out.vlan) << index;
        EXPECT_EQ(out.vlan->port, 5000) << index;
    }
    // Nothing of the last cycle's replies goes out with the next request.
    ASSERT_EQ(fake.CallCount("Send"), 4u);
    EXPECT_EQ(FrameHex(fake.Frame(2), 4, 304), testing::Zeros(300));
}

}  // namespace
}  // namespace kv
