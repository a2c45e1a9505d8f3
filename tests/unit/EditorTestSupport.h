#pragma once

// The editors' core against the scriptable fake library: a record with a usable
// connection through kind 1, the status texts a sink received, and block replies and
// requests as hex.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Dekl.h"
#include "editors/ConfigEditor.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/support/Hex.h"
#include "transport/Qxxx380.h"

namespace kv::testing {

class FakeModuleTest : public ::testing::Test {
  protected:
    static constexpr std::uint8_t kKind = 1;

    void SetUp() override {
        kv::platform::SetProgramFolderForTesting(Folder());
        fake_ = std::make_unique<kvtest::FakeTransport>(Folder(), "QQUDP.DLL");
        ASSERT_TRUE(fake_->ok()) << "fake library missing in " << Folder();
        fake_->Reset();
        kv::InitBlock block{};
        ASSERT_EQ(kv::OpenTransport(kKind, &settings_.handle, block), 0u);
        settings_.interfaceKind = kKind;
        settings_.moduleAddress = 3;
        settings_.connected = true;
    }
    void TearDown() override {
        if (kv::TransportLoaded()) kv::CloseTransport(kKind, &settings_.handle);
        fake_.reset();
        kv::platform::SetProgramFolderForTesting("");
    }

    static std::string Folder() { return std::string(KV_BIN_DIR) + "/fakes/complete"; }

    // The module's answer to a block read: the parameter words, then the block.
    static std::vector<std::uint32_t> BlockReply(const ConfigBlock& block) {
        std::vector<std::uint32_t> words(300, 0);
        for (std::size_t k = 0; k < block.size(); ++k) words[4 + k] = block[k];
        return words;
    }
    static ConfigBlock BlockOf(const std::string& hex) {
        const auto bytes = FromHex(hex);
        ConfigBlock block{};
        for (std::size_t k = 0; k < bytes.size() && k < block.size(); ++k) block[k] = bytes[k];
        return block;
    }
    // The three exchanges of a verified write that succeeds when `readBack` is what the
    // editor sends.
    void ScriptWrite(const ConfigBlock& readBack) {
        fake_->QueueSend(0, 0, 0);
        fake_->QueueSend(0, 0, 0);
        fake_->QueueSend(0, 0, 0, BlockReply(readBack));
    }
    // Header words 0..3 of request number i, and the 256 block bytes it carried.
    std::string Header(std::uint32_t i) const {
        const auto frame = fake_->Frame(i);
        return frame.empty() ? "" : HexOfWords(frame.data(), 8);
    }
    std::string SentBlock(std::uint32_t i) const {
        const auto frame = fake_->Frame(i);
        return frame.size() < 264 ? "" : HexOfWords(frame.data() + 8, 256);
    }

    StatusSink Sink() {
        return [this](const std::string& text) { texts_.push_back(text); };
    }

    std::unique_ptr<kvtest::FakeTransport> fake_;
    ConnectionSettings settings_;
    std::vector<std::string> texts_;
};

}  // namespace kv::testing
