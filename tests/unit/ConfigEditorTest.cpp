// The editor pattern, once for all three editors: checksum, the order of the checks,
// reading and writing a block with its progress texts, and the four buttons.

#include <gtest/gtest.h>

#include "editors/ConfigEditor.h"
#include "editors/SitoveParam.h"
#include "tests/unit/EditorTestSupport.h"

namespace kv {
namespace {

using testing::FakeModuleTest;
using testing::Hex;
using testing::Zeros;

const std::string kNetworkDefaults = "c0a80063ffffff00c0a8007b";  // 192.168.0.99/24, .123

FieldStates NetworkFields(const std::vector<std::string>& texts) {
    FieldStates fields;
    for (const auto& text : texts) fields.push_back({text, -1, true});
    return fields;
}

TEST(BlockChecksum, MakesTheBlockSumToZero) {
    ConfigBlock block{};
    block[0] = 100;
    block[1] = 200;   // 300, 44 modulo 256
    block[255] = 77;  // not part of the sum
    EXPECT_EQ(BlockChecksum(block), 212);
    block[2] = 212;
    EXPECT_EQ(BlockChecksum(block), 0);
    block.fill(0xFF);
    SealBlock(block);
    unsigned sum = 0;
    for (std::uint8_t b : block) sum += b;
    EXPECT_EQ(sum % 256, 0u);
}

TEST(PrectiOkno, ByteFieldsTakeZeroTo255AndNothingElse) {
    const EditorSpec& spec = NetworkParamEditor();
    for (const char* bad : {"256", "-1", "", "abc", "1 2", "3x"}) {
        ModuleConfig copy = DefaultModuleConfig();
        auto texts = std::vector<std::string>(12, "1");
        texts[0] = bad;
        const CheckOutcome out = PrectiOkno(spec, NetworkFields(texts), copy, {});
        EXPECT_FALSE(out.passed) << bad;
        EXPECT_EQ(out.failedField, 0) << bad;
        EXPECT_EQ(out.status, " Hodnoty IP adresy musí být v rozsahu 0-255.") << bad;
        EXPECT_EQ(copy, DefaultModuleConfig()) << bad;
    }
    ModuleConfig copy = DefaultModuleConfig();
    std::vector<std::string> texts = {"0", "255", "$10", " 7", "0", "0",
                                      "0", "0",   "1",   "2",  "3", "4"};
    std::vector<std::string> shown;
    const CheckOutcome out = PrectiOkno(spec, NetworkFields(texts), copy,
                                        [&](const std::string& t) { shown.push_back(t); });
    EXPECT_TRUE(out.passed);
    EXPECT_EQ(shown, std::vector<std::string>{" "});
    EXPECT_EQ(Hex(copy.bytes.data() + ModuleConfig::kIpAddress, 12),
              "00ff100700000000" + std::string("01020304"));
}

TEST(PrectiOkno, TheFirstFailureStopsWithEarlierFieldsStored) {
    const EditorSpec& spec = NetworkParamEditor();
    ModuleConfig copy = DefaultModuleConfig();
    // Third field bad: the first two are already in the copy, the rest keep their values.
    auto texts =
        std::vector<std::string>{"10", "20", "x", "40", "1", "1", "1", "1", "1", "1", "1", "1"};
    const CheckOutcome out = PrectiOkno(spec, NetworkFields(texts), copy, {});
    EXPECT_FALSE(out.passed);
    EXPECT_EQ(out.failedCheck, 2);
    EXPECT_EQ(Hex(copy.bytes.data() + ModuleConfig::kIpAddress, 12), "0a140063ffffff00c0a8007b");
    // Fields the window did not hand over count as empty.
    copy = DefaultModuleConfig();
    EXPECT_EQ(PrectiOkno(spec, NetworkFields({"1", "2"}), copy, {}).failedField, 2);
}

class EditorTransferTest : public FakeModuleTest {};

TEST_F(EditorTransferTest, ReadAsksForTheBlockShowsProgressAndDecodesOnlyTheGroup) {
    ConfigBlock block = BlockOf("ee 0a000005 ffff0000 0a000001");
    fake_->QueueSend(0, 0, 0, BlockReply(block));
    ModuleConfig copy{};
    copy.bytes.fill(0x5A);
    const TransferOutcome out = PrectiData(settings_, NetworkParamEditor(), copy, Sink());
    EXPECT_EQ(out.result, TransferResult::kDone);
    EXPECT_EQ(texts_, (std::vector<std::string>{" Probíhá čtení konfigurace z modulu (0 %)",
                                                " Probíhá čtení konfigurace z modulu (100 %)",
                                                " Konfigurace přečtena."}));
    ASSERT_EQ(fake_->CallCount("Send"), 1u);
    // Address, 204, 1, 0, then data words 0, 254, 0, 0.
    EXPECT_EQ(Header(0), "03cc010000fe0000");
    // Byte 0 of the block is ignored; nothing outside the twelve octets changes.
    std::string untouched;
    for (int i = 0; i < 106; ++i) untouched += "5a";
    EXPECT_EQ(Hex(copy.bytes), "5a5a0a000005ffff00000a000001" + untouched);
}

TEST_F(EditorTransferTest, AFailedReadShowsTheLibrarysTextAndKeepsTheCopy) {
    fake_->QueueSend(0, 5, 0, BlockReply(BlockOf("ff")));
    ModuleConfig copy = DefaultModuleConfig();
    const TransferOutcome out = PrectiData(settings_, NetworkParamEditor(), copy, Sink());
    EXPECT_EQ(out.result, TransferResult::kFailed);
    EXPECT_EQ(out.error, 5);
    ASSERT_EQ(texts_.size(), 2u);
    EXPECT_EQ(texts_[1], " " + ErrorString(kKind, 5));
    EXPECT_EQ(copy, DefaultModuleConfig());
}

TEST_F(EditorTransferTest, WriteSendsTheEncodedBlockAndReportsOnlyAVerifiedWrite) {
    const ConfigBlock expected = BlockOf("00" + kNetworkDefaults + Zeros(242) + "55");
    ScriptWrite(expected);
    const TransferOutcome ok =
        ZapisData(settings_, NetworkParamEditor(), DefaultModuleConfig(), Sink());
    EXPECT_EQ(ok.result, TransferResult::kDone);
    EXPECT_EQ(texts_, (std::vector<std::string>{" Probíhá zápis konfigurace do modulu (0 %)",
                                                " Probíhá zápis konfigurace do modulu (100 %)",
                                                " Konfigurace zapsána."}));
    EXPECT_EQ(SentBlock(0), Hex(expected));
    EXPECT_EQ(Header(1).substr(0, 16), "03650b00fe000000");  // store as block 254

    // The module keeps something else: never reported as written.
    texts_.clear();
    ConfigBlock other = expected;
    other[255] ^= 1;
    ScriptWrite(other);
    const TransferOutcome bad =
        ZapisData(settings_, NetworkParamEditor(), DefaultModuleConfig(), Sink());
    EXPECT_EQ(bad.result, TransferResult::kFailed);
    EXPECT_EQ(bad.error, kErrReadBack);
    EXPECT_EQ(texts_.back(), " Chyba zápisu dat.");
    EXPECT_EQ(texts_.size(), 2u);
}

TEST_F(EditorTransferTest, WithoutAUsableConnectionNothingIsSent) {
    for (bool connected : {false, true}) {
        ConnectionSettings s = settings_;
        s.connected = connected;
        if (connected) s.handle = 0;
        ModuleConfig copy = DefaultModuleConfig();
        EXPECT_EQ(PrectiData(s, NetworkParamEditor(), copy, Sink()).result,
                  TransferResult::kNotConnected);
        EXPECT_EQ(ZapisData(s, NetworkParamEditor(), copy, Sink()).result,
                  TransferResult::kNotConnected);
        EditorSession session(NetworkParamEditor(), &s);
        EXPECT_EQ(session.Read(Sink()).attempt, EditorSession::Attempt::kRefused);
        EXPECT_EQ(session.Write(session.Fields(), Sink()).attempt,
                  EditorSession::Attempt::kRefused);
        EXPECT_EQ(texts_, std::vector<std::string>(2, kNotConnectedText));
        texts_.clear();
        // "Ok" needs no connection.
        FieldStates fields = session.Fields();
        fields[0].text = "10";
        EXPECT_TRUE(session.Confirm(fields, Sink()));
        EXPECT_EQ(s.moduleConfig.bytes[ModuleConfig::kIpAddress], 10);
        texts_.clear();
    }
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
}

TEST_F(EditorTransferTest, TheSharedImageChangesOnlyThroughOk) {
    const ModuleConfig before = settings_.moduleConfig;
    {
        EditorSession session(NetworkParamEditor(), &settings_);
        ASSERT_TRUE(session.Show());
        FieldStates fields = session.Fields();
        fields[0].text = "10";
        ScriptWrite(EncodeNetworkParameters([&] {
            ModuleConfig c = before;
            c.bytes[ModuleConfig::kIpAddress] = 10;
            return c;
        }()));
        EXPECT_EQ(session.Write(fields, Sink()).transfer.result, TransferResult::kDone);
        // A failed check keeps the window open and the image as it was.
        fields[5].text = "";
        EXPECT_FALSE(session.Confirm(fields, Sink()));
        EXPECT_EQ(texts_.back(), " Hodnoty masky musí být v rozsahu 0-255.");
    }
    // "Cancel": the module has the new address, the shared image does not.
    EXPECT_EQ(settings_.moduleConfig, before);
    EditorSession next(NetworkParamEditor(), &settings_);
    next.Show();
    EXPECT_EQ(next.Fields()[0].text, "192");
    FieldStates fields = next.Fields();
    fields[3].text = "7";
    EXPECT_TRUE(next.Confirm(fields, Sink()));
    EXPECT_EQ(settings_.moduleConfig.bytes[ModuleConfig::kIpAddress + 3], 7);
}

TEST(EditorSession, WithoutARecordReadAndWriteDoNothingAndOkCloses) {
    EditorSession session(NetworkParamEditor(), nullptr);
    std::vector<std::string> shown;
    StatusSink sink = [&](const std::string& t) { shown.push_back(t); };
    EXPECT_FALSE(session.Show());
    EXPECT_EQ(session.Read(sink).attempt, EditorSession::Attempt::kNothing);
    EXPECT_EQ(session.Write(session.Fields(), sink).attempt, EditorSession::Attempt::kNothing);
    EXPECT_TRUE(session.Confirm(NetworkFields({"bad"}), sink));
    EXPECT_TRUE(shown.empty());
}

}  // namespace
}  // namespace kv
