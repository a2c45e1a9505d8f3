// The editor pattern, once for all three editors: checksum, the order of the checks,
// reading and writing a block with its progress texts, and the four buttons, against the
// scriptable fake library.

#include <gtest/gtest.h>

#include <memory>

#include "connection/Connection.h"
#include "editors/ConfigEditor.h"
#include "editors/EditorTable.h"
#include "editors/SitoveParam.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::FromHex;
using testing::Hex;
using testing::HexOfWords;
using testing::Zeros;
using Texts = std::vector<std::string>;

const std::string kFakes = std::string(KV_BIN_DIR) + "/fakes/complete";
const Texts kReadTexts = {"Probíhá čtení konfigurace z modulu (0 %)",
                          "Probíhá čtení konfigurace z modulu (100 %)", "Konfigurace přečtena."};

FieldStates Entries(const Texts& texts) {
    FieldStates fields;
    for (const auto& text : texts) fields.push_back({text, -1, true});
    return fields;
}

// The module's answer to a block read: four parameter words, then the block's bytes.
std::vector<std::uint32_t> BlockReply(const std::string& hex) {
    std::vector<std::uint32_t> words(300, 0);
    const auto bytes = FromHex(hex);
    for (std::size_t k = 0; k < bytes.size(); ++k) words[4 + k] = bytes[k];
    return words;
}

TEST(BlockChecksum, MakesTheBlockSumToZero) {
    ConfigBlock block{};
    block[0] = 100;
    block[1] = 200;   // 300, 44 modulo 256
    block[255] = 77;  // not part of the sum
    EXPECT_EQ(BlockChecksum(block), 212);
    block[2] = 212;
    EXPECT_EQ(BlockChecksum(block), 0);
    for (std::uint16_t number = 250; number <= 254; ++number)
        EXPECT_EQ(EditorForBlock(number)->block, number);
    EXPECT_EQ(EditorForBlock(255), nullptr);
}

TEST(PrectiOkno, TheFirstBadFieldEndsTheCheckWithEarlierFieldsStored) {
    const EditorSpec& spec = NetworkParamEditor();
    for (const char* bad : {"256", "-1", "", "abc", "3x"}) {
        ModuleConfig copy = DefaultModuleConfig();
        Texts texts(12, "1");
        texts[2] = bad;
        const CheckOutcome out = CheckFields(spec, Entries(texts), copy, {});
        EXPECT_EQ(out.failedField, 2) << bad;
        EXPECT_EQ(out.status, "Hodnoty IP adresy musí být v rozsahu 0-255.") << bad;
        EXPECT_EQ(Hex(copy.bytes.data() + ModuleConfig::kIpAddress, 12),
                  "01010063ffffff00c0a8007b");
    }
    ModuleConfig copy = DefaultModuleConfig();
    Texts shown;
    const auto out = CheckFields(spec, Entries({"0", "255", "$10", " 7", "0", "0", "0", "0", "1"}),
                                 copy, [&](const std::string& t) { shown.push_back(t); });
    EXPECT_EQ(out.failedField, 9);  // fields not handed over count as empty
    EXPECT_EQ(Hex(copy.bytes.data() + ModuleConfig::kIpAddress, 12), "00ff10070000000001a8007b");
    EXPECT_EQ(shown, Texts{"Hodnoty brany musí být v rozsahu 0-255."});
}

class EditorTransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetProgramFolderForTesting(kFakes);
        fake_ = std::make_unique<kvtest::FakeTransport>(kFakes, "QQUDP.DLL");
        ASSERT_TRUE(fake_->ok());
        fake_->Reset();
        ASSERT_EQ(connection_.OpenTransport(1, &settings_.handle, InitBlock{}), 0u);
        connection_.SetModuleAddress(3);
        settings_.interfaceKind = 1;
        settings_.moduleAddress = 3;
        settings_.connected = true;
    }
    void TearDown() override {
        connection_.Close();
        platform::SetProgramFolderForTesting("");
    }
    // Words 0..7 of request i (header and parameters), or its 256 block bytes.
    std::string Sent(std::uint32_t i, bool block = false) const {
        const auto frame = fake_->Frame(i);
        return frame.size() < 264 ? ""
                                  : HexOfWords(frame.data() + (block ? 8 : 0), block ? 256 : 8);
    }
    void ScriptWrite(const std::string& readBack) {
        fake_->QueueSend(0, 0, 0);
        fake_->QueueSend(0, 0, 0);
        fake_->QueueSend(0, 0, 0, BlockReply(readBack));
    }
    StatusSink Sink() {
        return [this](const std::string& text) { texts_.push_back(text); };
    }

    std::unique_ptr<kvtest::FakeTransport> fake_;
    ConnectionSettings settings_;
    Connection connection_;
    Texts texts_;
};

TEST_F(EditorTransferTest, ReadAsksForTheBlockAndDecodesOnlyTheGroup) {
    fake_->QueueSend(0, 0, 0, BlockReply("ee0a000005ffff00000a000001"));
    ModuleConfig copy{};
    copy.bytes.fill(0x5A);
    EXPECT_EQ(
        ReadEditorBlock(LinkOf(settings_, connection_), NetworkParamEditor(), copy, Sink()).result,
        TransferResult::kDone);
    EXPECT_EQ(texts_, kReadTexts);
    EXPECT_EQ(Sent(0), "03cc010000fe0000");  // address, 204, 1, 0; words 0, 254, 0, 0
    // Byte 0 of the block is ignored; nothing outside the twelve octets changes.
    std::string untouched;
    for (int i = 0; i < 106; ++i) untouched += "5a";
    EXPECT_EQ(Hex(copy.bytes), "5a5a0a000005ffff00000a000001" + untouched);

    // A failed read shows the library's text and keeps the copy.
    texts_.clear();
    fake_->QueueSend(0, 5, 0, BlockReply("ff"));
    const ModuleConfig before = copy;
    EXPECT_EQ(
        ReadEditorBlock(LinkOf(settings_, connection_), NetworkParamEditor(), copy, Sink()).error,
        5);
    EXPECT_EQ(texts_, (Texts{kReadTexts[0], ErrorString(1, 5)}));
    EXPECT_EQ(copy, before);
}

TEST_F(EditorTransferTest, WriteReportsOnlyAVerifiedWrite) {
    const std::string expected = "00c0a80063ffffff00c0a8007b" + Zeros(242) + "55";
    ScriptWrite(expected);
    WriteEditorBlock(LinkOf(settings_, connection_), NetworkParamEditor(), DefaultModuleConfig(),
                     Sink());
    EXPECT_EQ(texts_,
              (Texts{"Probíhá zápis konfigurace do modulu (0 %)",
                     "Probíhá zápis konfigurace do modulu (100 %)", "Konfigurace zapsána."}));
    EXPECT_EQ(Sent(0, true), expected);
    EXPECT_EQ(Sent(1), "03650b00fe000000");  // stored as block 254

    texts_.clear();
    ScriptWrite(expected.substr(0, 510) + "54");  // the module kept another checksum
    EXPECT_EQ(WriteEditorBlock(LinkOf(settings_, connection_), NetworkParamEditor(),
                               DefaultModuleConfig(), Sink())
                  .error,
              kErrReadBack);
    EXPECT_EQ(texts_.back(), "Chyba zápisu dat.");
    EXPECT_EQ(texts_.size(), 2u);
}

TEST_F(EditorTransferTest, WithoutAUsableConnectionOnlyOkWorks) {
    for (const auto& [connected, handle] :
         {std::pair{false, settings_.handle}, std::pair{true, 0u}}) {
        ConnectionSettings s = settings_;
        s.connected = connected;
        s.handle = handle;
        ModuleConfig copy = DefaultModuleConfig();
        EXPECT_EQ(
            ReadEditorBlock(LinkOf(s, connection_), NetworkParamEditor(), copy, Sink()).result,
            TransferResult::kNotConnected);
        EXPECT_EQ(
            WriteEditorBlock(LinkOf(s, connection_), NetworkParamEditor(), copy, Sink()).result,
            TransferResult::kNotConnected);
        EditorSession session(NetworkParamEditor(), &s);
        EXPECT_EQ(session.Read(LinkOf(s, connection_), Sink()).attempt,
                  EditorSession::Attempt::kRefused);
        EXPECT_EQ(session.Write(LinkOf(s, connection_), session.Fields(), Sink()).attempt,
                  EditorSession::Attempt::kRefused);
        EXPECT_EQ(texts_, Texts(2, kNotConnectedText));
        FieldStates fields = session.Fields();
        fields[0].text = "10";
        EXPECT_TRUE(session.Confirm(fields, {}));
        EXPECT_EQ(s.moduleConfig.bytes[ModuleConfig::kIpAddress], 10);
        texts_.clear();
    }
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
}

TEST_F(EditorTransferTest, TheSharedImageChangesOnlyThroughOk) {
    {
        EditorSession session(NetworkParamEditor(), &settings_);
        FieldStates fields = session.Fields();
        fields[0].text = "10";
        ScriptWrite("000aa80063ffffff00c0a8007b" + Zeros(242) + "0b");
        EXPECT_EQ(session.Write(LinkOf(settings_, connection_), fields, Sink()).transfer.result,
                  TransferResult::kDone);
        fields[5].text = "";
        EXPECT_FALSE(session.Confirm(fields, Sink()));
        EXPECT_EQ(texts_.back(), "Hodnoty masky musí být v rozsahu 0-255.");
        EXPECT_EQ(session.Copy().bytes[ModuleConfig::kIpAddress], 10);
    }
    // "Zapsat" then "Cancel": the module has the new address, the shared image does not,
    // and the next editor shows the old one.
    EXPECT_EQ(settings_.moduleConfig, DefaultModuleConfig());
    EditorSession next(NetworkParamEditor(), &settings_);
    next.Show();
    FieldStates fields = next.Fields();
    EXPECT_EQ(fields[0].text, "192");
    fields[3].text = "7";
    EXPECT_TRUE(next.Confirm(fields, Sink()));
    EXPECT_EQ(settings_.moduleConfig.bytes[ModuleConfig::kIpAddress + 3], 7);
}

}  // namespace
}  // namespace kv
