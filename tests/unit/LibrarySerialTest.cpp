// QCOM380.DLL over a pseudo-terminal linked as a COM port in the device folder.

#include <gtest/gtest.h>

#include <atomic>

#include "tests/unit/LibraryTestSupport.h"

namespace {

using kv::wire::Reply;
using kv::wire::Request;
using kvtest::DoSend;
using kvtest::Frame;
using kvtest::LibraryApi;
using kvtest::Responder;

class LibrarySerialTest : public ::testing::Test {
  protected:
    kvtest::TempDir dir_;
    kvtest::ScopedUsbDir scoped_{dir_.path()};
    LibraryApi api_{"QCOM380.DLL", "QCOM380"};
};

TEST_F(LibrarySerialTest, FramedExchangeThroughNoiseAndLostReplies) {
    ASSERT_TRUE(api_.ok());
    auto line = Responder::Serial(dir_.path() + "/COM3");
    ASSERT_TRUE(line);
    std::atomic<int> seen{0};
    line->Start([&](Responder& r, const Request& req) {
        if (++seen == 1) return;         // the first reply is lost on the line
        r.WriteAll({0x00, 0x55, 0x7D});  // line noise between frames
        Reply stale = Responder::Answer(req);
        stale.sequence ^= 0x80000000u;
        r.Reply(stale);
        Reply reply = Responder::Answer(req, 300);
        reply.data[299] = 0x7E;  // the flag byte inside the data, escaped on the line
        r.Reply(reply);
    });
    std::uint32_t handle = 0;
    ASSERT_EQ(api_.InitWord(&handle, 3), 0u);
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(api_.SetConfig(handle, 115200, 1000, 2), 0u);

    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3);
    auto out = DoSend(api_, handle, Frame(1, 205, 0, 0, data));
    EXPECT_EQ(out.result, 0u);
    EXPECT_EQ(out.errorWord, 0u);
    for (std::size_t i = 0; i < 299; ++i)
        ASSERT_EQ(out.data[i], static_cast<std::uint32_t>((data[i] + 1) & 0xFF)) << i;
    EXPECT_EQ(out.data[299], 0x7Eu);
    auto requests = line->Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].sequence, requests[1].sequence);
    EXPECT_EQ(requests[0].data[299], static_cast<std::uint8_t>(299 * 3));
    api_.Done(&handle);
}

TEST_F(LibrarySerialTest, WaitsTheReplyTimeoutOfSetConfig) {
    ASSERT_TRUE(api_.ok());
    auto line = Responder::Serial(dir_.path() + "/COM4");
    ASSERT_TRUE(line);
    line->Start(nullptr);
    std::uint32_t handle = 0;
    ASSERT_EQ(api_.InitWord(&handle, 4), 0u);
    ASSERT_EQ(api_.SetConfig(handle, 9600, 250, 2), 0u);
    auto out = DoSend(api_, handle, Frame(1, 200, 0, 0));
    EXPECT_EQ(out.result, static_cast<std::uint32_t>(kv::wire::kTimeout));
    EXPECT_GE(out.elapsed.count(), 245);
    EXPECT_LT(out.elapsed.count(), 2500);
    api_.Done(&handle);
}

TEST_F(LibrarySerialTest, SpeedsAndSharing) {
    ASSERT_TRUE(api_.ok());
    auto line = Responder::Serial(dir_.path() + "/COM5");
    ASSERT_TRUE(line);
    line->Start([](Responder& r, const Request& req) { r.Reply(Responder::Answer(req)); });
    std::uint32_t handle = 0;
    ASSERT_EQ(api_.InitWord(&handle, 5), 0u);
    // A rate no serial line has is refused, and the old configuration stays.
    ASSERT_EQ(api_.SetConfig(handle, 57600, 120, 2), 0u);
    EXPECT_EQ(api_.SetConfig(handle, 12345, 300, 2),
              static_cast<std::uint32_t>(kv::wire::kBadParameter));
    std::uint32_t baud = 0, timeout = 0, mode = 0;
    ASSERT_EQ(api_.GetConfig(handle, &baud, &timeout, &mode), 0u);
    EXPECT_EQ(baud, 57600u);
    EXPECT_EQ(timeout, 120u);
    for (std::uint32_t rate : {600u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 115200u})
        EXPECT_EQ(api_.SetConfig(handle, rate, 1000, 2), 0u) << rate;

    // One line, one user: a second open of the same port is refused while the first lives.
    std::uint32_t second = 0;
    EXPECT_EQ(api_.InitWord(&second, 5), static_cast<std::uint32_t>(kv::wire::kOpenFailed));
    EXPECT_EQ(second, 0u);
    EXPECT_EQ(DoSend(api_, handle, Frame(1, 200, 0, 0, {9})).data[0], 10u);
    api_.Done(&handle);
    ASSERT_EQ(api_.InitWord(&second, 5), 0u);
    api_.Done(&second);
}

}  // namespace
