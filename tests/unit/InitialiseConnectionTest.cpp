#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection/Pripojeni.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"

namespace kv {
namespace {

const std::string kFakeFolder = std::string(KV_BIN_DIR) + "/fakes/complete";
const std::string kProgress = "Probíhá inicializace připojení";
const std::string kSuccess = "Připojení úspěšně inicializováno. Připojen modul   ";
const std::string kOpenFailed = "Chyba inicializace připojení - ";

std::vector<std::uint32_t> Chars(const std::string& four) {
    std::vector<std::uint32_t> data(300, 0);
    for (std::size_t i = 0; i < 4; ++i) {
        data[i] = i < four.size() ? static_cast<unsigned char>(four[i]) : 0;
    }
    return data;
}

class InitialiseConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetProgramFolderForTesting(kFakeFolder); }

    void TearDown() override {
        Disconnect();
        platform::SetProgramFolderForTesting("");
    }

    // Leaves no library loaded, so the next case starts from nothing.
    void Disconnect() {
        connection.Close();
        settings = ConnectionSettings{};
    }

    // The fake behind a kind's file name, reset to its defaults.
    kvtest::FakeTransport& Fake(std::uint8_t kind) {
        auto& slot = fakes[kind];
        if (!slot) {
            slot = std::make_unique<kvtest::FakeTransport>(kFakeFolder, kInterfaceKinds[kind].file);
        }
        if (!slot->ok()) {
            ADD_FAILURE() << "fake library missing: " << kFakeFolder << "/"
                          << kInterfaceKinds[kind].file;
            throw std::runtime_error("no fake library");
        }
        slot->Reset();
        return *slot;
    }

    void QueueIdent(kvtest::FakeTransport& fake) {
        fake.QueueSend(0, 0, 7, Chars("ABCD"));
        fake.QueueSend(0, 0, 9, Chars("EFGH"));
        fake.QueueSend(0, 0, 0, Chars("1.23"));
    }

    ConnectionOutcome Run(const ConnectionInput& input) {
        return InitialiseConnection(input, settings, connection,
                                    [this](const std::string& text) { shown.push_back(text); });
    }

    static ConnectionInput Qudp(const std::string& port = "56565") {
        ConnectionInput in;
        in.kindPosition = 1;
        in.addressText = "5";
        in.speedPosition = 4;
        in.firstText = "127.0.0.2";
        in.secondText = port;
        in.thirdText = "1500";
        return in;
    }

    // A working kind-1 connection, as the operator would have it before the case under test.
    void ConnectQudp(std::uint32_t handle) {
        auto& fake = Fake(1);
        fake.SetInitResult(0, handle);
        QueueIdent(fake);
        ASSERT_TRUE(Run(Qudp()).success);
        ASSERT_TRUE(settings.connected);
        fake.Reset();
        shown.clear();
    }

    ConnectionSettings settings;
    Connection connection;
    std::vector<std::string> shown;
    std::unique_ptr<kvtest::FakeTransport> fakes[8];
};

TEST_F(InitialiseConnectionTest, QudpSuccessStoresEverythingAndIdentifiesTheModule) {
    auto& fake = Fake(1);
    fake.SetInitResult(0, 0x4242);
    QueueIdent(fake);
    settings.qudpSourcePort = 10000;

    auto out = Run(Qudp());

    EXPECT_TRUE(out.success);
    EXPECT_EQ(out.statusText, kSuccess + "ABCDEFGH v.1.23");
    EXPECT_EQ(shown, std::vector<std::string>{kProgress});
    EXPECT_EQ(out.addressText, "5");
    EXPECT_FALSE(out.firstText.has_value());
    EXPECT_EQ(settings.moduleIdent, "ABCDEFGH v.1.23");
    EXPECT_EQ(settings.statusText, "V pořádku");
    EXPECT_TRUE(settings.connected);
    EXPECT_EQ(settings.handle, 0x4242u);
    EXPECT_EQ(settings.moduleAddress, 5);
    EXPECT_EQ(settings.baudRate, 9600u);
    EXPECT_EQ(settings.interfaceKind, 1);
    EXPECT_EQ(settings.qudpTargetIp, "127.0.0.2");
    EXPECT_EQ(settings.qudpTargetPort, 56565);
    EXPECT_EQ(settings.qudpTimeout, 1500);
    EXPECT_EQ(settings.qudpSourcePort, 56565);

    auto words = fake.LastInitWords();
    auto texts = fake.LastInitTexts();
    ASSERT_EQ(words.size(), 16u);
    ASSERT_EQ(texts.size(), 16u);
    EXPECT_EQ(texts[0], "127.0.0.2");
    EXPECT_EQ(words[1], 56565u);
    EXPECT_EQ(words[2], 1500u);
    EXPECT_EQ(words[3], 56565u);
    for (std::size_t i = 4; i < 16; ++i) EXPECT_EQ(words[i], 0u) << i;
    EXPECT_NE(fake.Log().find("QQUDP_SetConfig 16962 9600 200 2"), std::string::npos) << fake.Log();
    EXPECT_EQ(fake.CallCount("Done"), 0u);
}

TEST_F(InitialiseConnectionTest, IdentificationRequestsShareBufferAndCommand) {
    auto& fake = Fake(1);
    QueueIdent(fake);
    ASSERT_TRUE(Run(Qudp()).success);
    ASSERT_EQ(fake.CallCount("Send"), 3u);

    auto f0 = fake.Frame(0);
    auto f1 = fake.Frame(1);
    auto f2 = fake.Frame(2);
    ASSERT_EQ(f0.size(), 304u);
    ASSERT_EQ(f1.size(), 304u);
    ASSERT_EQ(f2.size(), 304u);
    EXPECT_EQ(std::vector<std::uint32_t>(f0.begin(), f0.begin() + 4),
              (std::vector<std::uint32_t>{5, 200, 0, 0}));
    EXPECT_EQ(std::vector<std::uint32_t>(f0.begin() + 4, f0.end()),
              std::vector<std::uint32_t>(300, 0));
    // The second and third requests go out with what the reply before them left.
    EXPECT_EQ(std::vector<std::uint32_t>(f1.begin(), f1.begin() + 4),
              (std::vector<std::uint32_t>{5, 200, 1, 7}));
    EXPECT_EQ(std::vector<std::uint32_t>(f1.begin() + 4, f1.end()), Chars("ABCD"));
    EXPECT_EQ(std::vector<std::uint32_t>(f2.begin(), f2.begin() + 4),
              (std::vector<std::uint32_t>{5, 200, 2, 9}));
    EXPECT_EQ(std::vector<std::uint32_t>(f2.begin() + 4, f2.end()), Chars("EFGH"));
}

TEST_F(InitialiseConnectionTest, IdentificationTakesLowBytesInCodePage1250) {
    auto& fake = Fake(1);
    auto first = Chars("ABCD");
    first[0] = 0x8A41;  // only the low byte counts: 'A'
    first[1] = 0x8A;    // code page 1250: Š
    fake.QueueSend(0, 0, 0, first);
    auto second = Chars("EFGH");
    second[3] = 0;  // a zero character stays in the text
    fake.QueueSend(0, 0, 0, second);
    fake.QueueSend(0, 0, 0, Chars("1.23"));

    auto out = Run(Qudp());

    ASSERT_TRUE(out.success);
    const std::string expected = std::string("AŠCDEFG") + '\0' + " v.1.23";
    EXPECT_EQ(settings.moduleIdent, expected);
    EXPECT_EQ(out.statusText, kSuccess + expected);
}

TEST_F(InitialiseConnectionTest, ModuleAddressIsReadWithDefaultAndKeepsLowByte) {
    struct Case {
        const char* text;
        std::uint8_t address;
    };
    for (Case c : {Case{"300", 44}, Case{"-1", 255}, Case{"abc", 0}, Case{" $10", 16}}) {
        auto& fake = Fake(1);
        auto in = Qudp();
        in.addressText = c.text;
        auto out = Run(in);
        EXPECT_EQ(out.addressText, std::to_string(c.address)) << c.text;
        EXPECT_EQ(settings.moduleAddress, c.address) << c.text;
        auto frame = fake.Frame(0);
        ASSERT_FALSE(frame.empty());
        EXPECT_EQ(frame[0], c.address) << c.text;
    }
}

TEST_F(InitialiseConnectionTest, SpeedAndReplyTimeoutGivenToSetConfig) {
    struct Case {
        int position;
        std::uint32_t baud;
        std::uint32_t timeout;
    };
    for (Case c :
         {Case{-1, 9600, 200}, Case{0, 600, 1000}, Case{8, 115200, 100}, Case{9, 230400, 200}}) {
        auto& fake = Fake(1);
        fake.SetInitResult(0, 77);
        auto in = Qudp();
        in.speedPosition = c.position;
        ASSERT_TRUE(Run(in).success);
        const std::string line =
            "QQUDP_SetConfig 77 " + std::to_string(c.baud) + " " + std::to_string(c.timeout) + " 2";
        EXPECT_NE(fake.Log().find(line), std::string::npos) << fake.Log();
        EXPECT_EQ(settings.baudRate, c.baud);
    }
}

TEST_F(InitialiseConnectionTest, NoKindSelectedAfterSuccessClosesAndKeepsLastIdentity) {
    ConnectQudp(0x4242);
    auto& fake = Fake(1);
    fake.SetDoneResult(0, 0x55);
    std::uint32_t doneWhenProgressShown = 99;
    ConnectionInput in = Qudp();
    in.kindPosition = -1;
    in.addressText = "9";
    in.speedPosition = 0;

    auto out = InitialiseConnection(in, settings, connection, [&](const std::string& text) {
        shown.push_back(text);
        doneWhenProgressShown = fake.CallCount("Done");
    });

    EXPECT_FALSE(out.success);
    EXPECT_EQ(out.statusText, "Neznámý typ rozhraní");
    EXPECT_EQ(shown, std::vector<std::string>{kProgress});
    EXPECT_EQ(doneWhenProgressShown, 1u);  // the old connection is closed before anything else
    EXPECT_EQ(fake.CallCount("Done"), 1u);
    EXPECT_EQ(fake.CallCount("Init"), 0u);
    EXPECT_EQ(settings.interfaceKind, 255);
    EXPECT_FALSE(settings.connected);
    EXPECT_EQ(settings.handle, 0x55u);
    EXPECT_EQ(out.addressText, "9");
    // Only a complete run changes what describes the connected module.
    EXPECT_EQ(settings.moduleAddress, 5);
    EXPECT_EQ(settings.baudRate, 9600u);
    EXPECT_EQ(settings.moduleIdent, "ABCDEFGH v.1.23");
    EXPECT_EQ(settings.statusText, "V pořádku");
}

TEST_F(InitialiseConnectionTest, FailedCheckRightAfterSuccessLeavesNoUsableConnection) {
    ConnectQudp(0x4242);
    auto& fake = Fake(1);

    auto out = Run(Qudp("65536"));

    EXPECT_EQ(out.statusText, "Neplatný cílový port");
    EXPECT_EQ(fake.CallCount("Done"), 1u);
    EXPECT_FALSE(settings.connected);
    EXPECT_EQ(settings.handle, 0u);  // as the library's Done left it
}

TEST_F(InitialiseConnectionTest, PortsAndTimeoutsAtTheirEdges) {
    struct Case {
        const char* text;
        bool accepted;
        std::int32_t value;
    };
    for (Case c : {Case{"65535", true, 65535}, Case{"0", true, 0}, Case{"$1388", true, 5000},
                   Case{" 5000", true, 5000}, Case{"65536", false, 0}, Case{"-1", false, 0},
                   Case{"5000 ", false, 0}, Case{"", false, 0}, Case{"$FFFFFFFF", false, 0}}) {
        Disconnect();
        Fake(1);
        auto in = Qudp(c.text);
        auto out = Run(in);
        EXPECT_EQ(out.success, c.accepted) << c.text << ": " << out.statusText;
        if (c.accepted) {
            EXPECT_EQ(settings.qudpTargetPort, c.value) << c.text;
        } else {
            EXPECT_EQ(out.statusText, "Neplatný cílový port") << c.text;
            EXPECT_EQ(settings.qudpTargetPort, 56565) << c.text;
        }
    }
}

TEST_F(InitialiseConnectionTest, InvalidValueStoresOnlyWhatWasCheckedBeforeIt) {
    auto& fake = Fake(1);
    settings.qudpSourcePort = 10000;

    auto in = Qudp();
    in.firstText = "";
    EXPECT_EQ(Run(in).statusText, "Neplatná IP adresa");
    EXPECT_EQ(settings.qudpTargetIp, "192.168.0.99");
    EXPECT_EQ(settings.interfaceKind, 1);

    in = Qudp("4000");
    in.thirdText = "70000";
    EXPECT_EQ(Run(in).statusText, "Neplatný LAN timeout");
    EXPECT_EQ(settings.qudpTargetIp, "127.0.0.2");
    EXPECT_EQ(settings.qudpTargetPort, 4000);
    EXPECT_EQ(settings.qudpTimeout, 1000);
    EXPECT_EQ(settings.qudpSourcePort, 10000);  // copied only after every check passed
    EXPECT_FALSE(settings.connected);
    EXPECT_EQ(fake.CallCount("Init"), 0u);
    EXPECT_EQ(settings.statusText, "Připojení modulu dosud neinicializováno");
}

TEST_F(InitialiseConnectionTest, DirectUdpKindsCheckTheirOwnRows) {
    struct Case {
        std::uint8_t kind;
        std::string ConnectionSettings::*ip;
        std::int32_t ConnectionSettings::*port;
        std::int32_t ConnectionSettings::*timeout;
    };
    for (Case c : {Case{6, &ConnectionSettings::kvIpAddress, &ConnectionSettings::kvUdpPort,
                        &ConnectionSettings::kvUdpTimeout},
                   Case{7, &ConnectionSettings::lanIpAddress, &ConnectionSettings::lanUdpPort,
                        &ConnectionSettings::lanUdpTimeout}}) {
        auto& fake = Fake(c.kind);
        ConnectionInput in;
        in.kindPosition = c.kind;
        in.addressText = "1";
        in.firstText = "";
        EXPECT_EQ(Run(in).statusText, "Neplatná IP adresa");

        in.firstText = "127.0.0.3";
        in.secondText = "-1";
        EXPECT_EQ(Run(in).statusText, "Neplatný UDP port");
        EXPECT_EQ(settings.*c.ip, "127.0.0.3");
        EXPECT_EQ(settings.*c.port, 5000);

        in.secondText = "6000";
        in.thirdText = "abc";
        EXPECT_EQ(Run(in).statusText, "Neplatný UDP timeout");
        EXPECT_EQ(settings.*c.port, 6000);
        EXPECT_EQ(settings.*c.timeout, 1000);
        EXPECT_EQ(fake.CallCount("Init"), 0u);

        in.thirdText = "300";
        settings.initBlock.fill(0xDEAD);  // nothing of an earlier block may leak through
        auto out = Run(in);
        EXPECT_TRUE(out.success) << out.statusText;
        auto words = fake.LastInitWords();
        ASSERT_EQ(words.size(), 16u);
        EXPECT_EQ(fake.LastInitTexts()[0], "127.0.0.3");
        EXPECT_EQ(words[1], 6000u);
        EXPECT_EQ(words[2], 300u);
        for (std::size_t i = 3; i < 16; ++i) EXPECT_EQ(words[i], 0u) << +c.kind << " " << i;
        EXPECT_EQ(settings.qudpSourcePort, 10000);
        Disconnect();
    }
}

TEST_F(InitialiseConnectionTest, UsbChecksAndBlock) {
    auto& fake = Fake(0);
    ConnectionInput in;
    in.kindPosition = 0;
    in.detectionPosition = 1;
    in.secondText = "";
    in.thirdText = "1000";
    EXPECT_EQ(Run(in).statusText, "Neplatné výrobní číslo");
    EXPECT_EQ(settings.usbDetection, 1);
    EXPECT_EQ(settings.usbSerial, "00000001");

    in.detectionPosition = 0;
    in.thirdText = "65536";
    EXPECT_EQ(Run(in).statusText, "Neplatný USB timeout");
    EXPECT_EQ(settings.usbDetection, 0);
    EXPECT_EQ(settings.usbSerial, "");  // stored even when empty, before the time-out check
    EXPECT_EQ(fake.CallCount("Init"), 0u);

    // No detection entry: -1 travels as its 32-bit pattern and needs no serial number.
    in.detectionPosition = -1;
    in.secondText = "Výr";
    in.thirdText = "250";
    auto out = Run(in);
    ASSERT_TRUE(out.success) << out.statusText;
    EXPECT_EQ(settings.usbDetection, -1);
    auto words = fake.LastInitWords();
    ASSERT_EQ(words.size(), 16u);
    EXPECT_EQ(words[0], 0xFFFFFFFFu);
    ASSERT_EQ(fake.LastInitTexts().size(), 16u);
    EXPECT_EQ(fake.LastInitTexts()[1], "V\xFDr");  // code page 1250
    EXPECT_EQ(words[2], 250u);
    EXPECT_EQ(words[3], 0u);
    EXPECT_EQ(settings.initBlock[1],
              reinterpret_cast<std::uintptr_t>(settings.initTexts[1].c_str()));
}

TEST_F(InitialiseConnectionTest, ComPortReadWithDefault) {
    struct Case {
        const char* text;
        std::uint32_t word;
        std::uint8_t comPort;
    };
    for (Case c : {Case{"", 1, 1}, Case{"300", 300, 44}, Case{"-1", 65535, 255},
                   Case{"70000", 4464, 112}, Case{"COM3", 1, 1}}) {
        auto& fake = Fake(2);
        ConnectionInput in;
        in.kindPosition = 2;
        in.firstText = c.text;
        auto out = Run(in);
        EXPECT_TRUE(out.success) << c.text << ": " << out.statusText;
        ASSERT_TRUE(out.firstText.has_value());
        EXPECT_EQ(*out.firstText, std::to_string(c.word)) << c.text;
        EXPECT_EQ(fake.LastInitWord(), c.word) << c.text;
        EXPECT_EQ(settings.initBlock[0], c.word);
        EXPECT_EQ(settings.comPort, c.comPort) << c.text;
    }
}

TEST_F(InitialiseConnectionTest, PciBaseAddressForms) {
    struct Case {
        const char* text;
        std::uint16_t base;
    };
    for (Case c : {Case{"2A0h", 672}, Case{"2a0h", 672}, Case{"2A0", 768}, Case{"ZZZh", 768},
                   Case{"FFFh", 0xFFF}, Case{"-12h", 768}, Case{"2A0hh", 768}, Case{"ž2Ah", 768},
                   Case{"2A0ž", 672}, Case{"", 768}}) {
        auto& fake = Fake(3);
        settings.pciBaseAddress = 1;
        ConnectionInput in;
        in.kindPosition = 3;
        in.firstText = c.text;
        auto out = Run(in);
        EXPECT_TRUE(out.success) << c.text << ": " << out.statusText;
        ASSERT_TRUE(out.firstText.has_value());
        EXPECT_EQ(*out.firstText, BaseAddressText(c.base)) << c.text;
        EXPECT_EQ(settings.pciBaseAddress, c.base) << c.text;
        EXPECT_EQ(fake.LastInitWord(), c.base) << c.text;
    }
}

TEST_F(InitialiseConnectionTest, CardKindsPassAnEmptyBlock) {
    for (std::uint8_t kind : {4, 5}) {
        auto& fake = Fake(kind);
        settings.initBlock.fill(3);
        ConnectionInput in;
        in.kindPosition = kind;
        in.firstText = "ignored";
        auto out = Run(in);
        EXPECT_TRUE(out.success) << out.statusText;
        EXPECT_FALSE(out.firstText.has_value());
        EXPECT_EQ(fake.CallCount("Init"), 1u);
        for (auto w : settings.initBlock) EXPECT_EQ(w, 0u);
        Disconnect();
    }
}

TEST_F(InitialiseConnectionTest, OpenFailureKeepsHandleAndClosesNothing) {
    auto& fake = Fake(1);
    fake.SetInitResult(5, 0x99);
    settings.handle = 0x31;  // left over, not connected: nothing to close first

    auto out = Run(Qudp());

    EXPECT_EQ(out.statusText, kOpenFailed + "fake 5");
    EXPECT_FALSE(settings.connected);
    EXPECT_EQ(settings.handle, 0x31u);
    EXPECT_EQ(fake.CallCount("Done"), 0u);
    EXPECT_EQ(fake.CallCount("SetConfig"), 0u);
    EXPECT_EQ(settings.qudpTargetPort, 56565);  // values of the kind are stored
    EXPECT_EQ(settings.qudpTimeout, 1500);
    EXPECT_EQ(settings.moduleIdent, "");
    EXPECT_EQ(settings.statusText, "Připojení modulu dosud neinicializováno");
}

TEST_F(InitialiseConnectionTest, MissingLibraryNamesTheFile) {
    platform::SetProgramFolderForTesting(std::string(KV_BIN_DIR) + "/no-such-folder");
    auto out = Run(Qudp());
    EXPECT_EQ(out.statusText, kOpenFailed + "chyba inicializace knihovny QQUDP.DLL");
    EXPECT_FALSE(settings.connected);
}

TEST_F(InitialiseConnectionTest, ConfigureFailureClosesTheNewConnection) {
    auto& fake = Fake(1);
    fake.SetInitResult(0, 0x4242);
    fake.SetConfigResult(7);
    fake.SetDoneResult(0, 0x66);

    auto out = Run(Qudp());

    EXPECT_EQ(out.statusText, kOpenFailed + "fake 7");
    EXPECT_EQ(fake.CallCount("Done"), 1u);
    EXPECT_EQ(fake.CallCount("Send"), 0u);
    EXPECT_FALSE(settings.connected);
    EXPECT_EQ(settings.handle, 0x66u);
    EXPECT_EQ(settings.baudRate, 9600u);
    EXPECT_FALSE(connection.HoldsLibrary());
}

TEST_F(InitialiseConnectionTest, EachIdentificationFailureShowsTheErrorAlone) {
    for (std::uint32_t failing = 0; failing < 3; ++failing) {
        Disconnect();
        settings.moduleIdent = "OLD";
        auto& fake = Fake(1);
        fake.SetDoneResult(0, 0);
        for (std::uint32_t k = 0; k < failing; ++k) fake.QueueSend(0, 0, 0, Chars("WXYZ"));
        fake.QueueSend(0, 12, 0, Chars("WXYZ"));

        auto out = Run(Qudp());

        EXPECT_EQ(out.statusText, "fake 12") << failing;
        EXPECT_EQ(fake.CallCount("Send"), failing + 1);
        EXPECT_EQ(fake.CallCount("Done"), 1u);
        EXPECT_FALSE(settings.connected);
        EXPECT_EQ(settings.moduleIdent, "OLD");
        EXPECT_EQ(settings.statusText, "Připojení modulu dosud neinicializováno");
        EXPECT_EQ(settings.moduleAddress, 0);
    }
}

TEST_F(InitialiseConnectionTest, ErrorWordWithZeroLowByteIsNotAnIdentifiedModule) {
    auto& fake = Fake(1);
    fake.QueueSend(0, 256, 0, Chars("ABCD"));
    auto out = Run(Qudp());
    EXPECT_FALSE(out.success) << out.statusText;
    EXPECT_FALSE(settings.connected);
    EXPECT_EQ(fake.CallCount("Done"), 1u);
}

TEST_F(InitialiseConnectionTest, LibraryThatOpensWithHandleZeroIsNotAConnection) {
    auto& fake = Fake(1);
    fake.SetInitResult(0, 0);
    auto out = Run(Qudp());
    EXPECT_FALSE(out.success);
    EXPECT_EQ(out.statusText, "fake " + std::to_string(kErrNotLoaded));
    EXPECT_EQ(fake.CallCount("Send"), 0u);
    EXPECT_EQ(fake.CallCount("Done"), 1u);
    EXPECT_FALSE(settings.connected);
    EXPECT_EQ(settings.moduleIdent, "");
}

// The command line hands over typed values: from any record they connect, or are refused,
// exactly as the texts the dialog shows for that record.
TEST_F(InitialiseConnectionTest, TypedValuesActAsTheDialogsTextsOfTheSameRecord) {
    ConnectionSettings odd;
    odd.usbDetection = 1;
    odd.usbSerial = "";       // refused: the device is found by its serial number
    odd.qudpTargetPort = -1;  // refused: no port
    odd.comPort = 200;
    odd.pciBaseAddress = 0x1234;  // more than three digits: the factory address
    odd.kvUdpTimeout = 65535;
    odd.lanIpAddress = "";  // refused
    for (const bool shortSerial : {false, true}) {
        if (shortSerial) odd.usbSerial = "E2E00001";
        for (std::uint8_t kind = 0; kind < 8; ++kind) {
            SCOPED_TRACE(+kind);
            const KindLayout layout = LayoutForKind(kind, odd);
            ConnectionInput texts;
            texts.kindPosition = kind;
            texts.addressText = "9";
            texts.speedPosition = 2;
            texts.firstText = layout.firstIsDetectionList ? "" : layout.first.value;
            texts.secondText = layout.second.value;
            texts.thirdText = layout.third.value;
            texts.detectionPosition = layout.detectionPosition;
            ConnectionRequest typed;
            typed.kind = kind;
            typed.address = 9;
            typed.speedCode = 2;
            typed.values = KindValuesOf(kind, odd);

            std::vector<std::uint32_t> words[2];
            ConnectionOutcome outcomes[2];
            ConnectionSettings after[2];
            for (int path = 0; path < 2; ++path) {
                auto& fake = Fake(kind);
                QueueIdent(fake);
                settings = odd;
                outcomes[path] = path == 0
                                     ? Run(texts)
                                     : InitialiseConnection(typed, settings, connection, nullptr);
                words[path] = fake.LastInitWords();
                after[path] = settings;
                Disconnect();
            }
            EXPECT_EQ(outcomes[0].statusText, outcomes[1].statusText);
            EXPECT_EQ(outcomes[0].success, outcomes[1].success);
            EXPECT_EQ(outcomes[0].firstText, outcomes[1].firstText);
            EXPECT_EQ(words[0], words[1]);
            for (const KindParameter& p : KindParameters(kind))
                EXPECT_EQ(FieldValue(after[0], p), FieldValue(after[1], p)) << p.caption;
            EXPECT_EQ(after[0].initTexts, after[1].initTexts);
        }
    }
}

// The windows initialise a copy of their record on the connection's worker and take the
// copy back: the text words of the init block then point at the record's own texts, not
// at a copy that is gone.
TEST_F(InitialiseConnectionTest, ARecordInitialisedAsACopyIsTakenBackWhole) {
    QueueIdent(Fake(1));
    auto copy = std::make_unique<ConnectionSettings>(settings);
    ASSERT_TRUE(InitialiseConnection(Qudp(), *copy, connection, {}).success);
    auto initialised = std::make_unique<ConnectionSettings>(*copy);
    copy.reset();
    AdoptInitialisedRecord(settings, *initialised);
    initialised.reset();

    EXPECT_TRUE(settings.connected);
    EXPECT_EQ(settings.moduleIdent, "ABCDEFGH v.1.23");
    EXPECT_EQ(settings.initBlock[0],
              reinterpret_cast<std::uintptr_t>(settings.initTexts[0].c_str()));
    EXPECT_STREQ(reinterpret_cast<const char*>(settings.initBlock[0]), "127.0.0.2");
    EXPECT_EQ(settings.initBlock[1], 56565u);
}

TEST_F(InitialiseConnectionTest, RunsWithoutAStatusSink) {
    Fake(1);
    auto out = InitialiseConnection(Qudp(), settings, connection, nullptr);
    EXPECT_TRUE(out.success) << out.statusText;
}

}  // namespace
}  // namespace kv
