// The connection initialisation against the emulator through the real libraries: what an
// operator gets when pressing "Inicializace připojení", and whether the connection it
// leaves behind serves the windows that come after it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "connection/Pripojeni.h"
#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "platform/ProgramFolder.h"
#include "tests/support/EmulatorProcess.h"
#include "transport/Qxxx380.h"

namespace {

using kv::testing::EmulatorProcess;

const std::string kSuccess = "Připojení úspěšně inicializováno. Připojen modul   ";

class ConnectionEmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kv::platform::SetProgramFolderForTesting(KV_BIN_DIR);
        ASSERT_TRUE(emu_.Start()) << emu_.Log();
        setenv("KV3380U_USB_DIR", emu_.UsbFolder().c_str(), 1);
        kv::SetDefaults(&settings_);
    }

    void TearDown() override {
        connection_.Close();
        unsetenv("KV3380U_USB_DIR");
        kv::platform::SetProgramFolderForTesting("");
        if (HasFailure()) std::cerr << "emulator output:\n" << emu_.Log();
    }

    // The dialog's fields as they stand after it was shown for `kind`, with the address and
    // speed rows as the defaults fill them.
    kv::ConnectionInput InputFor(std::uint8_t kind) {
        settings_.interfaceKind = kind;
        const kv::KindLayout layout = kv::LayoutForKind(kind, settings_);
        kv::ConnectionInput in;
        in.kindPosition = kind;
        in.addressText = std::to_string(settings_.moduleAddress);
        in.speedPosition = kv::BaudIndexFromRate(static_cast<std::int32_t>(settings_.baudRate));
        in.firstText = layout.first.value;
        in.secondText = layout.second.value;
        in.thirdText = layout.third.value;
        in.detectionPosition = layout.detectionPosition;
        return in;
    }

    kv::ConnectionOutcome Connect(const kv::ConnectionInput& in) {
        progress_.clear();
        return kv::InitialiseConnection(
            in, settings_, connection_,
            [this](const std::string& text) { progress_ += text + "\n"; });
    }

    // A block read as the editors will send it, through the stored connection.
    std::uint8_t ReadBlock(std::uint16_t number, kv::DataBuffer& data) {
        data.fill(0);
        data[1] = number & 0xFF;
        data[2] = number >> 8;
        const kv::Reply reply =
            kv::LinkOf(settings_, connection_).Transact(kv::kReadBlockRequest, data);
        data = reply.data;
        return reply.error;
    }

    EmulatorProcess emu_;
    kv::ConnectionSettings settings_;
    kv::Connection connection_;
    std::string progress_;
};

TEST_F(ConnectionEmulatorTest, DefaultsReachTheVirtualUsbDeviceAndIdentifyTheModule) {
    // Nothing but the stored defaults: USB interface, first device found.
    const kv::ConnectionOutcome out = Connect(InputFor(0));
    ASSERT_TRUE(out.success) << out.statusText;
    EXPECT_EQ(progress_, "Probíhá inicializace připojení\n");
    ASSERT_EQ(settings_.moduleIdent.size(), 15u);
    EXPECT_EQ(settings_.moduleIdent.substr(0, 11), "KV-3380U v.");
    EXPECT_EQ(out.statusText, kSuccess + settings_.moduleIdent);
    EXPECT_TRUE(settings_.connected);
    EXPECT_NE(settings_.handle, 0u);
    EXPECT_EQ(settings_.statusText, "V pořádku");

    // The connection serves the windows that follow: a configuration block reads back
    // with a valid checksum.
    kv::DataBuffer data{};
    ASSERT_EQ(ReadBlock(254, data), 0);
    unsigned sum = 0;
    for (int k = 0; k < 256; ++k) sum += data[4 + k] & 0xFF;
    EXPECT_EQ(sum % 256, 0u);
    EXPECT_EQ(data[4 + 1], 192u);  // the module's IP address begins as the defaults say
}

TEST_F(ConnectionEmulatorTest, LanKindsReachTheManagementPort) {
    for (std::uint8_t kind : {1, 6, 7}) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        kv::ConnectionInput in = InputFor(kind);
        in.firstText = emu_.Address();
        in.secondText = std::to_string(emu_.ManagementPort());
        in.thirdText = "1000";
        const kv::ConnectionOutcome out = Connect(in);
        ASSERT_TRUE(out.success) << out.statusText;
        EXPECT_EQ(settings_.moduleIdent.substr(0, 11), "KV-3380U v.");
        if (kind == 1) {
            EXPECT_EQ(settings_.qudpSourcePort, emu_.ManagementPort());
        }
        kv::DataBuffer data{};
        EXPECT_EQ(ReadBlock(250, data), 0);
        // The next initialisation closes this connection first; the library stays one.
    }
    EXPECT_TRUE(connection_.HoldsLibrary());
}

TEST_F(ConnectionEmulatorTest, SilentPortEndsWithTheLibrarysTimeoutTextAndNoConnection) {
    kv::ConnectionInput in = InputFor(1);
    in.firstText = emu_.Address();
    // A port nobody listens on: the identification times out.
    in.secondText =
        std::to_string(emu_.ManagementPort() == 65535 ? 65534 : emu_.ManagementPort() + 1);
    in.thirdText = "300";
    const kv::ConnectionOutcome out = Connect(in);
    EXPECT_FALSE(out.success);
    EXPECT_FALSE(settings_.connected);
    EXPECT_FALSE(connection_.HoldsLibrary());
    // The text is the library's own, not empty and not a success.
    EXPECT_FALSE(out.statusText.empty());
    EXPECT_EQ(out.statusText.find("Připojení úspěšně"), std::string::npos);
    EXPECT_EQ(settings_.statusText, "Připojení modulu dosud neinicializováno");
}

TEST_F(ConnectionEmulatorTest, AbsentUsbSerialIsReportedAsAnOpenFailure) {
    kv::ConnectionInput in = InputFor(0);
    in.detectionPosition = 1;
    in.secondText = "NOSUCH01";
    const kv::ConnectionOutcome out = Connect(in);
    EXPECT_FALSE(out.success);
    const std::string prefix = "Chyba inicializace připojení - ";
    ASSERT_EQ(out.statusText.compare(0, prefix.size(), prefix), 0) << out.statusText;
    // A failed Init unloads the library, yet its text for the failure is still shown.
    EXPECT_GT(out.statusText.size(), prefix.size());
    EXPECT_FALSE(settings_.connected);
}

}  // namespace
