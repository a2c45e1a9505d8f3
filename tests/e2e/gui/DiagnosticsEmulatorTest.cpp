// The diagnostics and the restart windows against the emulator through the real
// libraries: the counters rise while a LAN client uses the VLAN ports, and a restart
// applies a VLAN port that was stored before it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <string>

#include "connection/Pripojeni.h"
#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "diagnostics/DiagnostikaForm.h"
#include "diagnostics/RestartZarizeniForm.h"
#include "platform/DynamicLibrary.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/ProgramFolder.h"
#include "transport/Qxxx380.h"
#include "transport/kvtransport.h"

namespace {

using kv::testing::EmulatorProcess;

// A LAN client of the module's VLAN interfaces: our plain LAN library, loaded beside the
// utility's own connection (which uses another library file).
class VlanClient {
  public:
    bool Open(const std::string& address, std::uint16_t port, std::uint32_t timeoutMs) {
        if (!library_.Load(std::string(KV_BIN_DIR) + "/QLAN.DLL")) return false;
        init_ = reinterpret_cast<kvt_init_block_fn>(library_.Symbol("QLAN_Init"));
        send_ = reinterpret_cast<kvt_send_fn>(library_.Symbol("QLAN_Send"));
        done_ = reinterpret_cast<kvt_done_fn>(library_.Symbol("QLAN_Done"));
        if (init_ == nullptr || send_ == nullptr || done_ == nullptr) return false;
        address_ = address;
        uintptr_t block[KVT_INIT_BLOCK_WORDS] = {};
        block[0] = reinterpret_cast<uintptr_t>(address_.c_str());
        block[1] = port;
        block[2] = timeoutMs;
        return init_(&handle_, block) == 0 && handle_ != 0;
    }
    ~VlanClient() {
        if (handle_ != 0) done_(&handle_);
    }

    // One request to a station on the bus behind the interface; the error word.
    std::uint32_t Ask(std::uint8_t station) {
        std::uint32_t frame[KVT_FRAME_WORDS] = {station, 200, 0, 0};
        std::uint32_t data[KVT_DATA_WORDS] = {};
        std::uint32_t reply = 0, error = 0xEE;
        send_(handle_, frame, data, &reply, &error);
        return error;
    }

  private:
    kv::platform::DynamicLibrary library_;
    kvt_init_block_fn init_ = nullptr;
    kvt_send_fn send_ = nullptr;
    kvt_done_fn done_ = nullptr;
    std::string address_;
    std::uint32_t handle_ = 0;
};

class DiagnosticsEmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kvgui::App();
        ASSERT_TRUE(folder_.ok());
        ASSERT_TRUE(emu_.Start()) << emu_.Log();
        // The utility's connection: the LAN transport to the management port.
        kv::ConnectionInput in;
        in.kindPosition = 1;
        in.addressText = "0";
        in.speedPosition = 4;
        in.firstText = emu_.Address();
        in.secondText = std::to_string(emu_.ManagementPort());
        in.thirdText = "1000";
        const kv::ConnectionOutcome out =
            kv::InitialiseConnection(in, settings_, connection_, nullptr);
        ASSERT_TRUE(out.success) << out.statusText << "\n" << emu_.Log();
    }

    void TearDown() override {
        worker_.Finish();
        if (HasFailure()) std::cerr << "emulator output:\n" << emu_.Log();
    }

    static std::uint64_t Number(QLabel* label) { return label->text().toULongLong(); }

    kv::testing::ProgramFolder folder_{kv::testing::RealLibraryFolder()};
    EmulatorProcess emu_;
    kv::ConnectionSettings settings_;
    kv::Connection connection_;
    kv::ConnectionWorker worker_{connection_};
};

TEST_F(DiagnosticsEmulatorTest, CountersRiseWhileAClientUsesTheVlanPort) {
    TFormDiagnostika form(settings_, worker_, kv::Vlan::FromIndex(0));
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    const QString ok = QStringLiteral(" ") + kvforms::ToQt(kv::ErrorString(1, 0));
    ASSERT_TRUE(kvgui::ProcessUntil([&] { return form.StatusBar1->text() == ok; }))
        << form.StatusBar1->text().toStdString();
    EXPECT_EQ(form.Label14->text(), "KV-3380U");
    EXPECT_EQ(form.Label4->text().toStdString(), emu_.Serial());
    EXPECT_EQ(form.Label42->text().toStdString(), std::to_string(emu_.VlanPort(0)));
    EXPECT_EQ(form.Label43->text(), QString::fromUtf8("časovač platnosti IP adresy"));
    EXPECT_EQ(form.Label80->text(), "0") << "no message over the bus yet";
    const std::uint64_t uptime = Number(form.Label22);

    VlanClient client;
    ASSERT_TRUE(client.Open(emu_.Address(), emu_.VlanPort(0), 2000));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(client.Ask(1), 0u) << "station 1 answers";
    // Station 9 is not on the bus: each request ends in the error table.
    for (int i = 0; i < 2; ++i) EXPECT_NE(client.Ask(9), 0u);

    ASSERT_TRUE(kvgui::ProcessUntil([&] {
        return Number(form.Label46) >= 5 && Number(form.Label83) >= 2;
    })) << form.Label46->text().toStdString()
        << " " << form.Label83->text().toStdString();
    EXPECT_GE(Number(form.Label24), 5u) << "allowed on all interfaces";
    EXPECT_GE(Number(form.Label82), 5u) << "messages over the bus";
    EXPECT_NE(form.Label80->text(), "0") << "the bus speed once messages went";
    // The newest error: the absent station, from VLAN1's current user, with its timing.
    EXPECT_EQ(form.StringGrid2->item(2, 1)->text(), "1 / 1");
    EXPECT_EQ(form.StringGrid2->item(3, 1)->text(), "9");
    EXPECT_EQ(form.StringGrid2->item(4, 1)->text(), "200");
    EXPECT_NE(form.StringGrid2->item(7, 1)->text(), "0") << "duration";
    EXPECT_EQ(form.StringGrid2->item(3, 3)->text(), "0") << "only two errors so far";
    // The client holds the interface: its address in the user grid, validity running.
    EXPECT_EQ(form.StringGrid1->item(1, 1)->text(), "127.0.0.1");
    EXPECT_GE(form.StringGrid1->item(3, 1)->text().toInt(), 5);
    EXPECT_NE(form.Label44->text().left(1), "0") << form.Label44->text().toStdString();

    // The time since power-on counts.
    EXPECT_TRUE(kvgui::ProcessUntil([&] { return Number(form.Label22) > uptime; }, 5000));
    form.Button1->click();
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST_F(DiagnosticsEmulatorTest, DeniedClientShowsAsTheLastDeniedAddress) {
    // VLAN2 is off in a fresh module: it lets nobody in.
    TFormDiagnostika form(settings_, worker_, kv::Vlan::FromIndex(1));
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    ASSERT_TRUE(kvgui::ProcessUntil([&] { return form.Label43->text() == "vypnuto"; }));
    EXPECT_EQ(form.Label47->text(), "0");

    VlanClient client;
    ASSERT_TRUE(client.Open(emu_.Address(), emu_.VlanPort(1), 300));
    EXPECT_NE(client.Ask(1), 0u) << "no answer to a denied request";

    // The library tries several times within its time-out; each try is denied. Only VLAN2
    // denies anything, so its count and the module-wide one agree once both are read
    // after the last try.
    ASSERT_TRUE(kvgui::ProcessUntil([&] {
        return Number(form.Label47) > 0 && form.Label25->text() == form.Label47->text();
    })) << form.Label47->text().toStdString()
        << " " << form.Label25->text().toStdString();
    EXPECT_TRUE(form.Label48->text().startsWith("127.0.0.1:"))
        << form.Label48->text().toStdString();
    EXPECT_NE(form.Label48->text(), "127.0.0.1:0");
    EXPECT_EQ(form.Label46->text(), "0");
}

TEST_F(DiagnosticsEmulatorTest, RestartThroughTheWindowMovesAStoredVlanPort) {
    const std::uint16_t oldPort = emu_.VlanPort(1);
    // A port that is free on the emulator's address now.
    const std::uint16_t newPort = kv::testing::FreeUdpPort(emu_.Address(), oldPort);
    ASSERT_NE(newPort, 0);

    // The VLAN2 block with the new port and the user table mode, as the editor writes it.
    kv::DataBuffer data{};
    data[1] = 252;
    const kv::Reply read = connection_.Link().Transact(kv::kReadBlockRequest, data);
    ASSERT_EQ(read.error, 0);
    kv::BlockWords block{};
    std::copy(read.data.begin() + 4, read.data.begin() + 260, block.begin());
    block[0] = newPort & 0xFF;
    block[1] = newPort >> 8;
    block[2] = 2;
    unsigned sum = 0;
    for (std::size_t i = 0; i < 255; ++i) sum += block[i];
    block[255] = (256 - sum % 256) % 256;
    const kv::WriteOutcome written = connection_.Link().WriteBlockVerified(252, block);
    ASSERT_EQ(written.error, 0) << written.text;

    {
        TFormRestart restart(settings_, worker_);
        ASSERT_TRUE(kvgui::ShowExposed(&restart));
        restart.Button1->click();
        ASSERT_TRUE(kvgui::WaitForCalls(&restart));
        EXPECT_EQ(restart.StatusBar1->text(), QString::fromUtf8(" Zařízení restartováno."));
        restart.Button2->click();
    }
    ASSERT_TRUE(emu_.WaitForReady(std::chrono::seconds(10))) << emu_.Log();
    EXPECT_EQ(emu_.VlanPort(1), newPort);

    // The connection is still the initialised one, and the module shows the new settings.
    ASSERT_TRUE(kv::ConnectionUsable(settings_));
    TFormDiagnostika form(settings_, worker_, kv::Vlan::FromIndex(1));
    form.Timer1->stop();
    form.show();
    form.Timer1Timer();
    ASSERT_TRUE(kvgui::WaitForCalls(&form));
    EXPECT_EQ(form.StatusBar1->text(), QStringLiteral(" ") + kvforms::ToQt(kv::ErrorString(1, 0)));
    EXPECT_EQ(form.Label42->text().toStdString(), std::to_string(newPort));
    EXPECT_EQ(form.Label43->text(), QString::fromUtf8("tabulka uživatelů"));
}

}  // namespace
