// One transaction and the verified block write over a connection's link, against the
// scriptable fake library.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "connection/Connection.h"
#include "core/ModuleLink.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"

namespace {

using Words = std::vector<std::uint32_t>;

const std::string kComplete = std::string(KV_BIN_DIR) + "/fakes/complete";
constexpr std::uint8_t kKind = 1;

Words Pattern(std::size_t n, std::uint32_t mul, std::uint32_t add) {
    Words w(n);
    for (std::size_t i = 0; i < n; ++i) w[i] = static_cast<std::uint32_t>(i) * mul + add;
    return w;
}

kv::BlockWords MakeBlock() {
    kv::BlockWords b{};
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = (i * 7 + 3) & 0xFF;
    return b;
}

// A module's reply to a block read: four parameter words, then the block.
Words ReadBackOf(const kv::BlockWords& block) {
    Words w(300, 0);
    w[0] = 0x11;  // the module may put anything before the block
    std::copy(block.begin(), block.end(), w.begin() + 4);
    return w;
}

class TransactTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kv::platform::SetProgramFolderForTesting(kComplete);
        fake_ = std::make_unique<kvtest::FakeTransport>(kComplete, "QQUDP.DLL");
        ASSERT_TRUE(fake_->ok()) << "fake library missing in " << kComplete;
        fake_->Reset();
        kv::InitBlock block{};
        ASSERT_EQ(connection_.OpenTransport(kKind, &handle_, block), 0u);
        ASSERT_NE(handle_, 0u);
    }
    void TearDown() override {
        connection_.Close();
        fake_.reset();
        kv::platform::SetProgramFolderForTesting("");
    }
    bool AllZero(const kv::DataBuffer& b) {
        return std::all_of(b.begin(), b.end(), [](std::uint32_t w) { return w == 0; });
    }

    // The link to the module at the address, over the open connection.
    kv::ModuleLink Link(std::uint8_t address) {
        connection_.SetModuleAddress(address);
        return connection_.Link();
    }

    std::unique_ptr<kvtest::FakeTransport> fake_;
    kv::Connection connection_;
    std::uint32_t handle_ = 0;
};

TEST_F(TransactTest, HandleZeroSendsNothing) {
    kv::DataBuffer buffer{};
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<std::uint32_t>(i * 3 + 1);
    fake_->QueueSend(0, 5, 0, {});
    std::uint32_t code = 0;
    const kv::ModuleLink noHandle(kv::LoadedLibrary::Load(kKind, code), kKind, 0, 1);
    const kv::Reply reply = noHandle.Transact({204, 1}, buffer, 77);
    EXPECT_EQ(reply.error, kv::kErrNotLoaded) << "never passed off as an answer";
    EXPECT_EQ(reply.command, 0);
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
}

TEST_F(TransactTest, SuccessKeepsReplyAndLowByteOfReplyValue) {
    const Words reply = Pattern(300, 11, 2);
    fake_->QueueSend(0, 0, 0x1AB, reply);
    const kv::Reply answer = Link(1).Transact({200, 0});
    EXPECT_EQ(answer.error, 0);
    EXPECT_EQ(answer.command, 0xAB);
    EXPECT_TRUE(std::equal(answer.data.begin(), answer.data.end(), reply.begin()));
}

TEST_F(TransactTest, ErrorWordBecomesErrorByteAndClearsEverything) {
    struct Case {
        std::uint32_t sendResult;
        std::uint32_t errorWord;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {0, 5, 5},
        {0, 0x105, 5},
        // Nothing in the low byte but still a failure: never reported as success.
        {0, 256, 255},
        {0, 0x10000, 255},
        {0, 0xFFFFFFFF, 255},
        // The library's own result replaces whatever it put in the error word.
        {3, 0, 3},
        {3, 9, 3},
        {0x200, 0, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sendResult << "/" << c.errorWord);
        fake_->QueueSend(c.sendResult, c.errorWord, 0x33, Pattern(300, 1, 1));
        kv::DataBuffer buffer{};
        buffer.fill(0xCC);
        const kv::Reply reply = Link(1).Transact({204, 1}, buffer, 0x44);
        EXPECT_EQ(reply.error, c.expected);
        EXPECT_EQ(reply.command, 0);
        EXPECT_TRUE(AllZero(reply.data));
    }
}

TEST_F(TransactTest, ErrorByte255HasTheUnknownCodeText) {
    fake_->QueueSend(0, 256, 0, {});
    const kv::ModuleLink link = Link(1);
    const kv::Reply reply = link.Transact({204, 1});
    ASSERT_EQ(reply.error, 255);
    EXPECT_EQ(link.ErrorText(reply.error), "neznámý chybový kód");
}

TEST_F(TransactTest, FrameCarriesHeaderThenTheWholeBuffer) {
    kv::DataBuffer buffer{};
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = 0x10000u + static_cast<std::uint32_t>(i);
    Link(0xFE).Transact({204, 100}, buffer, 0x99);
    const Words frame = fake_->Frame(0);
    ASSERT_EQ(frame.size(), 304u);
    EXPECT_EQ(Words(frame.begin(), frame.begin() + 4), (Words{0xFE, 204, 100, 0x99}));
    // Data words go out as they are, not cut to a byte.
    for (std::size_t i = 0; i < 300; ++i) EXPECT_EQ(frame[4 + i], 0x10000u + i) << i;
    EXPECT_NE(fake_->Log().find("QQUDP_Send 4660 254 204 100 153\n"), std::string::npos);
}

TEST_F(TransactTest, WithoutALibraryTheErrorIsTen) {
    ASSERT_EQ(connection_.CloseTransport(&handle_), 0u);
    kv::DataBuffer buffer{};
    buffer.fill(1);
    for (const kv::ModuleLink& link :
         {connection_.Link(), kv::ModuleLink(nullptr, kKind, 0x1234, 1),
          kv::ModuleLink(nullptr, 8, 0x1234, 1)}) {
        const kv::Reply reply = link.Transact({204, 1}, buffer, 5);
        EXPECT_EQ(reply.error, 10);
        EXPECT_EQ(reply.command, 0);
        EXPECT_TRUE(AllZero(reply.data));
    }
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
}

class WriteBlockTest : public TransactTest {
  protected:
    // The verified write to the module at the address: its result, and its text in message.
    std::uint8_t Write(std::uint8_t address, std::uint16_t number, const kv::BlockWords& block,
                       std::string& message) {
        const kv::WriteOutcome outcome = Link(address).WriteBlockVerified(number, block);
        message = outcome.text;
        return outcome.error;
    }
};

TEST_F(WriteBlockTest, SuccessSendsTheThreeRequestsExactly) {
    const kv::BlockWords block = MakeBlock();
    const Words step1Reply = Pattern(300, 3, 0x40);
    const Words step2Reply = Pattern(300, 5, 0x80);
    fake_->QueueSend(0, 0, 0x21, step1Reply);  // a reply value must not leak into the next command
    fake_->QueueSend(0, 0, 0x22, step2Reply);
    fake_->QueueSend(0, 0, 0x23, ReadBackOf(block));

    std::string message = "stale";
    EXPECT_EQ(Write(5, 254, block, message), 0);
    EXPECT_EQ(message, "");
    ASSERT_EQ(fake_->CallCount("Send"), 3u);

    Words expected1 = {5, 205, 0, 0, 0, 0, 0, 0};
    expected1.insert(expected1.end(), block.begin(), block.end());
    expected1.resize(304, 0);
    EXPECT_EQ(fake_->Frame(0), expected1);

    // The store request carries the block number; the rest is what the module returned.
    Words expected2 = {5, 101, 11, 0, 254, 0, 0, 0};
    expected2.insert(expected2.end(), step1Reply.begin() + 4, step1Reply.end());
    EXPECT_EQ(fake_->Frame(1), expected2);

    Words expected3 = {5, 204, 1, 0, 0, 254, 0, 0};
    expected3.insert(expected3.end(), step2Reply.begin() + 4, step2Reply.end());
    EXPECT_EQ(fake_->Frame(2), expected3);
}

TEST_F(WriteBlockTest, BlockNumberTravelsLowByteFirst) {
    const kv::BlockWords block = MakeBlock();
    fake_->QueueSend(0, 0, 0, ReadBackOf(block));
    fake_->QueueSend(0, 0, 0, ReadBackOf(block));
    fake_->QueueSend(0, 0, 0, ReadBackOf(block));
    std::string message;
    EXPECT_EQ(Write(1, 300, block, message), 0);
    const Words store = fake_->Frame(1);
    const Words read = fake_->Frame(2);
    ASSERT_EQ(store.size(), 304u);
    ASSERT_EQ(read.size(), 304u);
    EXPECT_EQ(Words(store.begin() + 4, store.begin() + 8), (Words{44, 1, 0, 0}));
    EXPECT_EQ(Words(read.begin() + 4, read.begin() + 8), (Words{0, 44, 1, 0}));
}

TEST_F(WriteBlockTest, ReadBackComparesExactlyTheBlocksWords) {
    const kv::BlockWords block = MakeBlock();
    struct Case {
        const char* what;
        std::size_t replyWord;
        std::uint32_t xorMask;
        std::uint8_t result;
    };
    const Case cases[] = {
        {"last byte (checksum) differs", 4 + 255, 0x01, 9},
        {"first byte differs", 4, 0x80, 9},
        {"bits above the byte differ", 4 + 100, 0x100, 9},
        {"first word after the block differs", 4 + 256, 0x5A, 0},
        {"last word of the buffer differs", 299, 0xFF, 0},
        {"parameter word differs", 2, 0x7, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_->Reset();
        Words reply = ReadBackOf(block);
        reply[c.replyWord] ^= c.xorMask;
        fake_->QueueSend(0, 0, 0, {});
        fake_->QueueSend(0, 0, 0, {});
        fake_->QueueSend(0, 0, 0, reply);
        std::string message = "stale";
        EXPECT_EQ(Write(1, 254, block, message), c.result);
        EXPECT_EQ(message, c.result == 9 ? "Chyba zápisu dat." : "");
        EXPECT_EQ(fake_->CallCount("Send"), 3u);
    }
}

TEST_F(WriteBlockTest, FailingStepStopsWithItsErrorByteAndText) {
    const kv::BlockWords block = MakeBlock();
    for (std::uint32_t step = 0; step < 3; ++step) {
        SCOPED_TRACE(step);
        fake_->Reset();
        for (std::uint32_t s = 0; s < step; ++s) fake_->QueueSend(0, 0, 0, ReadBackOf(block));
        const std::uint32_t code = 21 + step;
        fake_->QueueSend(0, code, 0, ReadBackOf(block));
        fake_->QueueSend(0, 0, 0, ReadBackOf(block));  // must never be asked for

        std::string message;
        EXPECT_EQ(Write(1, 251, block, message), code);
        EXPECT_EQ(message, "fake " + std::to_string(code));
        EXPECT_EQ(fake_->CallCount("Send"), step + 1);
    }
}

TEST_F(WriteBlockTest, FailureWithoutLowByteIsNotSuccess) {
    const kv::BlockWords block = MakeBlock();
    fake_->QueueSend(0, 0, 0, ReadBackOf(block));
    fake_->QueueSend(0, 0, 0, ReadBackOf(block));
    fake_->QueueSend(0, 0x300, 0, ReadBackOf(block));
    std::string message;
    EXPECT_EQ(Write(1, 252, block, message), 255);
    EXPECT_EQ(message, "neznámý chybový kód");
}

TEST_F(WriteBlockTest, LibraryResultCodeFailsTheStep) {
    const kv::BlockWords block = MakeBlock();
    fake_->QueueSend(0, 0, 0, ReadBackOf(block));
    fake_->QueueSend(4, 0, 0, ReadBackOf(block));
    std::string message;
    EXPECT_EQ(Write(1, 250, block, message), 4);
    EXPECT_EQ(message, "fake 4");
    EXPECT_EQ(fake_->CallCount("Send"), 2u);
}

TEST_F(WriteBlockTest, WithoutAConnectionNothingIsReportedAsWritten) {
    const kv::BlockWords block = MakeBlock();
    std::uint32_t code = 0;
    const kv::ModuleLink noHandle(kv::LoadedLibrary::Load(kKind, code), kKind, 0, 1);
    kv::WriteOutcome outcome = noHandle.WriteBlockVerified(254, block);
    EXPECT_EQ(outcome.error, kv::kErrNotLoaded);
    EXPECT_EQ(outcome.text, "fake 10");
    EXPECT_EQ(fake_->CallCount("Send"), 0u);

    ASSERT_EQ(connection_.CloseTransport(&handle_), 0u);
    outcome = kv::ModuleLink(nullptr, kKind, 0x1234, 1).WriteBlockVerified(254, block);
    EXPECT_EQ(outcome.error, kv::kErrNotLoaded);
    EXPECT_EQ(outcome.text, "fake 10");  // the kind's library still names the code
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
}

}  // namespace
