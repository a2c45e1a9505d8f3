// The UDP libraries (kinds 1, 6, 7) against a scripted module on a loopback address.

#include <gtest/gtest.h>

#include <atomic>

#include "tests/unit/LibraryTestSupport.h"

namespace {

using kv::wire::Request;
using kvtest::DoSend;
using kvtest::Frame;
using kvtest::LibraryApi;
using kvtest::Responder;

// The module lives on 127.0.0.2 so that a client on 127.0.0.1 may use the same port.
const std::string kModuleIp = "127.0.0.2";

class LibraryUdpTest : public ::testing::TestWithParam<int> {
  protected:
    const char* File() const {
        return GetParam() == 1 ? "QQUDP.DLL" : GetParam() == 6 ? "QKV3380.DLL" : "QLAN.DLL";
    }
    const char* Prefix() const {
        return GetParam() == 1 ? "QQUDP" : GetParam() == 6 ? "QKV3380" : "QLAN";
    }

    std::uint32_t Open(LibraryApi& api, Responder& module, std::uint32_t timeoutMs) {
        auto block = kvtest::UdpInitBlock(kModuleIp, module.Port(), timeoutMs);
        std::uint32_t handle = 0;
        EXPECT_EQ(api.InitBlock(&handle, block.data()), 0u);
        EXPECT_NE(handle, 0u);
        return handle;
    }
};

TEST_P(LibraryUdpTest, ExchangeCarriesTheFrameAndFillsAllReplyWords) {
    auto module = Responder::Udp(kModuleIp);
    ASSERT_TRUE(module);
    module->Start([](Responder& r, const Request& req) { r.Reply(Responder::Answer(req, 6)); });
    LibraryApi api(File(), Prefix());
    ASSERT_TRUE(api.ok());
    std::uint32_t handle = Open(api, *module, 1000);

    // Words above 255 travel as their low byte, as the utility zero-extends bytes.
    auto frame = Frame(17, 204, 1, 9, {0, 250, 0, 0, 0x7E, 0x7D});
    frame[3] = 0x109;
    auto out = DoSend(api, handle, frame);
    EXPECT_EQ(out.result, 0u);
    EXPECT_EQ(out.errorWord, 0u);
    EXPECT_EQ(out.replyValue, 10u);

    auto requests = module->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].address, 17);
    EXPECT_EQ(requests[0].function, 204);
    EXPECT_EQ(requests[0].peripheral, 1);
    EXPECT_EQ(requests[0].command, 9);
    EXPECT_EQ(requests[0].data[1], 250);
    EXPECT_EQ(requests[0].data[4], 0x7E);

    // Six reply bytes, then zeros in every other word: nothing of the caller's old buffer.
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(out.data[i], (frame[4 + i] + 1) & 0xFF) << i;
    for (std::size_t i = 6; i < KVT_DATA_WORDS; ++i) ASSERT_EQ(out.data[i], 0u) << i;

    EXPECT_EQ(api.Done(&handle), 0u);
    EXPECT_EQ(handle, 0u);
}

TEST_P(LibraryUdpTest, LostRepliesAreRetriedWithTheSameSequenceNumber) {
    auto module = Responder::Udp(kModuleIp);
    ASSERT_TRUE(module);
    std::atomic<int> seen{0};
    // The first two requests go unanswered, as if their replies were lost.
    module->Start([&](Responder& r, const Request& req) {
        if (++seen > 2) r.Reply(Responder::Answer(req));
    });
    LibraryApi api(File(), Prefix());
    ASSERT_TRUE(api.ok());
    std::uint32_t handle = Open(api, *module, 2000);
    auto out = DoSend(api, handle, Frame(1, 200, 0, 0, {41}));
    EXPECT_EQ(out.result, 0u);
    EXPECT_EQ(out.data[0], 42u);
    auto requests = module->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].sequence, requests[0].sequence);
    EXPECT_EQ(requests[2].sequence, requests[0].sequence);

    // The next request has a sequence number of its own.
    out = DoSend(api, handle, Frame(1, 200, 1, 0));
    EXPECT_EQ(out.result, 0u);
    requests = module->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_NE(requests[3].sequence, requests[0].sequence);
    api.Done(&handle);
}

TEST_P(LibraryUdpTest, NobodyListeningIsATimeoutToo) {
    std::uint16_t port = kvtest::FreeUdpPort(kModuleIp);
    LibraryApi api(File(), Prefix());
    ASSERT_TRUE(api.ok());
    auto block = kvtest::UdpInitBlock(kModuleIp, port, 300);
    std::uint32_t handle = 0;
    ASSERT_EQ(api.InitBlock(&handle, block.data()), 0u);
    // The reply time-out of SetConfig does not shorten the link's own time-out.
    ASSERT_EQ(api.SetConfig(handle, 115200, 100, 2), 0u);
    auto out = DoSend(api, handle, Frame(1, 200, 0, 0));
    EXPECT_EQ(out.result, static_cast<std::uint32_t>(kv::wire::kTimeout));
    EXPECT_EQ(out.errorWord, static_cast<std::uint32_t>(kv::wire::kTimeout));
    for (auto w : out.data) ASSERT_EQ(w, 0u);
    EXPECT_GE(out.elapsed.count(), 295);
    EXPECT_LT(out.elapsed.count(), 2500);
    api.Done(&handle);
}

TEST_P(LibraryUdpTest, ConfigIsKeptAndHandlesAreNotReused) {
    auto module = Responder::Udp(kModuleIp);
    ASSERT_TRUE(module);
    module->Start([](Responder& r, const Request& req) { r.Reply(Responder::Answer(req)); });
    LibraryApi api(File(), Prefix());
    ASSERT_TRUE(api.ok());
    std::uint32_t a = Open(api, *module, 1000);
    std::uint32_t b = Open(api, *module, 1000);
    EXPECT_NE(a, b);
    ASSERT_EQ(api.SetConfig(a, 19200, 150, 2), 0u);
    EXPECT_EQ(api.SetConfig(a, 19200, 0, 2), static_cast<std::uint32_t>(kv::wire::kBadParameter));
    std::uint32_t baud = 0, timeout = 0, mode = 0;
    ASSERT_EQ(api.GetConfig(a, &baud, &timeout, &mode), 0u);
    EXPECT_EQ(baud, 19200u);
    EXPECT_EQ(timeout, 150u);
    EXPECT_EQ(mode, 2u);

    // Both connections work side by side.
    EXPECT_EQ(DoSend(api, a, Frame(1, 200, 0, 0, {1})).data[0], 2u);
    EXPECT_EQ(DoSend(api, b, Frame(1, 200, 0, 0, {5})).data[0], 6u);

    std::uint32_t closed = a;
    ASSERT_EQ(api.Done(&a), 0u);
    std::uint32_t c = Open(api, *module, 1000);
    EXPECT_NE(c, closed);
    EXPECT_EQ(DoSend(api, closed, Frame(1, 200, 0, 0)).result,
              static_cast<std::uint32_t>(kv::wire::kBadHandle));
    EXPECT_EQ(api.Done(&closed), static_cast<std::uint32_t>(kv::wire::kBadHandle));
    api.Done(&b);
    api.Done(&c);
}

TEST_P(LibraryUdpTest, ThreadsSharingAHandleEachGetTheirOwnReply) {
    auto module = Responder::Udp(kModuleIp);
    ASSERT_TRUE(module);
    module->Start([](Responder& r, const Request& req) { r.Reply(Responder::Answer(req)); });
    LibraryApi api(File(), Prefix());
    ASSERT_TRUE(api.ok());
    std::uint32_t handle = Open(api, *module, 2000);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                std::uint8_t tag = static_cast<std::uint8_t>(t * 50 + i);
                auto out = DoSend(api, handle, Frame(1, 200, 0, 0, {tag}));
                if (out.result != 0 || out.data[0] != static_cast<std::uint32_t>(tag + 1)) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong, 0);
    api.Done(&handle);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LibraryUdpTest, ::testing::Values(1, 6, 7),
                         [](const auto& info) { return "Kind" + std::to_string(info.param); });

TEST(LibraryQudpTest, SourcePortIsBoundOnTheRouteAddress) {
    auto module = Responder::Udp(kModuleIp);
    ASSERT_TRUE(module);
    module->Start([](Responder& r, const Request& req) { r.Reply(Responder::Answer(req)); });
    // The utility sets the source port equal to the target port; on loopback that works
    // because the module has an address of its own.
    std::uint16_t source = module->Port();
    LibraryApi api("QQUDP.DLL", "QQUDP");
    ASSERT_TRUE(api.ok());
    auto block = kvtest::UdpInitBlock(kModuleIp, module->Port(), 1000, source);
    std::uint32_t handle = 0;
    ASSERT_EQ(api.InitBlock(&handle, block.data()), 0u);
    ASSERT_EQ(DoSend(api, handle, Frame(1, 200, 0, 0)).result, 0u);
    auto senders = module->Senders();
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(ntohs(senders[0].sin_port), source);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &senders[0].sin_addr, text, sizeof text);
    EXPECT_STREQ(text, "127.0.0.1");

    // The port is now taken: a second connection with it cannot open.
    std::uint32_t second = 0;
    EXPECT_EQ(api.InitBlock(&second, block.data()),
              static_cast<std::uint32_t>(kv::wire::kOpenFailed));
    EXPECT_EQ(second, 0u);
    api.Done(&handle);
    // ... and is free again once the first is done.
    ASSERT_EQ(api.InitBlock(&second, block.data()), 0u);
    api.Done(&second);
}

}  // namespace
