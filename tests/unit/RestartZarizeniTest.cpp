// The restart against the scriptable fake library: the request, and the texts per kind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics/Diagnostika.h"
#include "diagnostics/RestartZarizeni.h"
#include "tests/support/FakeConnection.h"

namespace kv {
namespace {

using testing::FakeConnection;
using testing::FrameHex;
using testing::Pattern;
using testing::Zeros;

class RestartKindTest : public FakeConnection, public ::testing::WithParamInterface<int> {};

TEST_P(RestartKindTest, ProgressThenTheRestartedTextOfTheKind) {
    const auto kind = static_cast<std::uint8_t>(GetParam());
    auto& fake = Connect(kind, 3);
    std::vector<std::string> shown;
    const RestartOutcome out = RestartModule(
        LinkOf(settings_, connection_), [&](const std::string& text) { shown.push_back(text); });

    const std::string restarted =
        kind == 7 ? "Zařízení restartováno. Nutno provést novou inicializaci připojení!"
                  : "Zařízení restartováno.";
    EXPECT_TRUE(out.sent);
    EXPECT_EQ(out.texts, (std::vector<std::string>{"Probíhá restart zařízení ...", restarted}));
    EXPECT_EQ(shown, out.texts);
    ASSERT_EQ(fake.CallCount("Send"), 1u);
    EXPECT_EQ(FrameHex(fake.Frame(0), 0, 304), "0365ff00" + Zeros(300));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RestartKindTest, ::testing::Range(0, 8));

using RestartTest = FakeConnection;

TEST_F(RestartTest, TransportErrorStillEndsInTheRestartedText) {
    auto& fake = Connect(kKindLanQudp);
    fake.QueueSend(0, 2, 0, {});  // the library's time-out, say
    RestartOutcome out = RestartModule(LinkOf(settings_, connection_), nullptr);
    EXPECT_EQ(out.texts.back(), "Zařízení restartováno.");
    fake.QueueSend(7, 0, 0, {});
    out = RestartModule(LinkOf(settings_, connection_), nullptr);
    EXPECT_EQ(out.texts.back(), "Zařízení restartováno.");
    EXPECT_EQ(fake.CallCount("Send"), 2u);
    EXPECT_EQ(fake.CallCount("Error"), 0u) << "the outcome is not looked at";
}

TEST_F(RestartTest, NothingIsSentWithoutAConnection) {
    std::vector<std::string> shown;
    const RestartOutcome out = RestartModule(
        LinkOf(settings_, connection_), [&](const std::string& text) { shown.push_back(text); });
    EXPECT_FALSE(out.sent);
    EXPECT_EQ(shown, std::vector<std::string>{"Připojení k zařízení není inicializováno."});

    auto& fake = Connect(kKindLan);
    settings_.connected = false;
    EXPECT_FALSE(RestartModule(LinkOf(settings_, connection_), nullptr).sent);
    EXPECT_EQ(fake.CallCount("Send"), 0u);
}

TEST_F(RestartTest, TheConnectionStaysUsableForTheNextRequests) {
    auto& fake = Connect(kKindLan);
    const ConnectionSettings before = settings_;
    RestartModule(LinkOf(settings_, connection_), nullptr);
    EXPECT_TRUE(settings_.connected);
    EXPECT_EQ(settings_.handle, before.handle);
    // The diagnostics go on over the same connection.
    fake.QueueSend(0, 0, 0, Pattern(4));
    fake.QueueSend(0, 0, 0, Pattern(5));
    EXPECT_TRUE(
        RefreshDiagnostics(LinkOf(settings_, connection_), kv::Vlan::FromIndex(0), nullptr).vlan);
    EXPECT_EQ(fake.CallCount("Send"), 3u);
    EXPECT_NE(fake.Log().find("QLAN_Send " + std::to_string(before.handle) + " 0 204 100 0"),
              std::string::npos)
        << fake.Log();
}

}  // namespace
}  // namespace kv
