#pragma once

// A connection to the scriptable fake library under one kind's file name, as the
// connection initialisation leaves it, for the tests of the operations that talk to the
// module over it, and the worker the windows run their calls on.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection/Connection.h"
#include "connection/ConnectionWorker.h"
#include "core/Dekl.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/support/Hex.h"
#include "tests/support/ProgramFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv::testing {

using Words = std::vector<std::uint32_t>;

// 300 words of bytes that differ from word to word and from seed to seed.
inline Words Pattern(std::uint32_t seed) {
    Words w(300);
    for (std::size_t i = 0; i < w.size(); ++i)
        w[i] = (static_cast<std::uint32_t>(i) * 7 + seed) & 0xFF;
    return w;
}

// Words from..to-1 of a recorded frame as hex.
inline std::string FrameHex(const Words& frame, std::size_t from, std::size_t to) {
    return frame.size() < to ? "short frame" : HexOfWords(frame.data() + from, to - from);
}

class FakeConnection : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder_.ok()); }
    void TearDown() override { Disconnect(); }

    // A connection of the kind, as the initialisation leaves it, with the fake reset.
    kvtest::FakeTransport& Connect(std::uint8_t kind, std::uint8_t moduleAddress = 0) {
        Disconnect();
        fake_ = std::make_unique<kvtest::FakeTransport>(folder_.path(), kInterfaceKinds[kind].file);
        EXPECT_TRUE(fake_->ok());
        fake_->Reset();
        fake_->SetInitResult(0, 0x5151);
        InitBlock block{};
        std::uint32_t handle = 0;
        EXPECT_EQ(connection_.OpenTransport(kind, &handle, block), 0u);
        connection_.SetModuleAddress(moduleAddress);
        settings_.interfaceKind = kind;
        settings_.handle = handle;
        settings_.connected = handle != 0;
        settings_.moduleAddress = moduleAddress;
        fake_->Reset();
        return *fake_;
    }

    // The worker's calls end first (a window's may still be out); then the connection
    // is closed, and this thread has it again.
    void Disconnect() {
        worker_.Finish();
        settings_ = ConnectionSettings{};
    }

    ProgramFolder folder_;
    std::unique_ptr<kvtest::FakeTransport> fake_;
    ConnectionSettings settings_;
    // The windows' one connection: one library at a time, loaded when it opens. The
    // test opens it on its own thread; the windows' calls run on the worker.
    Connection connection_;
    ConnectionWorker worker_{connection_};
};

}  // namespace kv::testing
