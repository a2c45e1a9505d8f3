// The editors' core against the emulator through the real libraries of kinds 0 and 1: the
// blocks of a fresh module, values that outlive the module's restart, a store the module
// spoils, a module that falls silent, and a VLAN user table that the module enforces.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "connection/Pripojeni.h"
#include "editors/EditorTable.h"
#include "editors/NastavLAN.h"
#include "editors/SitoveParam.h"
#include "editors/VzdalenaSprava.h"
#include "libraries/KvWire.h"
#include "platform/ProgramFolder.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/Hex.h"

namespace {

using kv::EditorSession;
using kv::ModuleConfig;
using Clock = std::chrono::steady_clock;

class EditorsEmulatorTest : public ::testing::TestWithParam<std::uint8_t> {
  protected:
    void SetUp() override {
        kv::platform::SetProgramFolderForTesting(KV_BIN_DIR);
        setenv("KV3380U_USB_DIR", emu_.UsbFolder().c_str(), 1);
    }
    void TearDown() override {
        Disconnect();
        unsetenv("KV3380U_USB_DIR");
        kv::platform::SetProgramFolderForTesting("");
        if (HasFailure()) std::cerr << "emulator output:\n" << emu_.Log();
    }

    // As the connection dialog connects: kind 1 to `port` (the management port when 0).
    bool Connect(std::uint8_t kind, int timeoutMs = 1000, std::uint16_t port = 0,
                 const char* address = "0") {
        kv::ConnectionInput in;
        in.kindPosition = kind;
        in.addressText = address;
        in.speedPosition = 4;
        in.firstText = kind == 1 ? emu_.Address() : "";
        in.secondText = kind == 1 ? std::to_string(port != 0 ? port : emu_.ManagementPort()) : "";
        in.thirdText = std::to_string(timeoutMs);
        in.detectionPosition = 0;
        outcome_ = kv::InitialiseConnection(in, settings_, connection_, {});
        return outcome_.success;
    }
    void Disconnect() {
        connection_.Close();
        settings_.connected = false;
    }
    bool Restart(const std::vector<std::string>& extra = {}) {
        emu_.Stop();
        return emu_.Start(extra);
    }
    // "Zapsat" with some entries changed and a mode chosen (which sets the enabling).
    std::string Write(EditorSession& session,
                      std::initializer_list<std::pair<int, const char*>> texts, int mode = -1) {
        session.Show();
        if (mode >= 0) session.ChangeMode(mode);
        kv::FieldStates fields = session.Fields();
        for (const auto& [field, text] : texts) {
            if (session.Spec().fields[field].kind == kv::FieldKind::kList) {
                fields[field].position = std::atoi(text);
            } else {
                fields[field].text = text;
            }
        }
        return session.Write(kv::LinkOf(settings_, connection_), fields, {}).transfer.status;
    }

    kv::testing::EmulatorProcess emu_;
    kv::ConnectionSettings settings_;
    kv::Connection connection_;
    kv::ConnectionOutcome outcome_;
    std::vector<std::string> texts_;
    kv::StatusSink sink_ = [this](const std::string& text) { texts_.push_back(text); };
};

TEST_P(EditorsEmulatorTest, EveryEditorReadsTheDefaultsFromAFreshModule) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;
    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        ModuleConfig copy{};
        copy.bytes.fill(0xA5);
        EXPECT_EQ(
            kv::ReadEditorBlock(kv::LinkOf(settings_, connection_), *spec, copy, sink_).status,
            "Konfigurace přečtena.");
        // What the editor shows of its group is what a fresh module holds: the defaults.
        EXPECT_EQ(kv::testing::Hex(spec->encode(copy)),
                  kv::testing::Hex(spec->encode(kv::DefaultModuleConfig())))
            << spec->caption;
    }
}

TEST_P(EditorsEmulatorTest, WrittenValuesOutliveTheModulesRestart) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;
    EditorSession vlan(kv::VlanEditor(kv::Vlan::FromIndex(1)), &settings_);
    EXPECT_EQ(Write(vlan, {{0, "6001"}, {4, "10"}, {7, "3"}, {9, "1"}}, 2), "Konfigurace zapsána.");
    // Remote management limited to this computer, which must stay able to manage it.
    EditorSession remote(kv::RemoteManagementEditor(), &settings_);
    EXPECT_EQ(Write(remote, {{0, "40000"}, {2, "127"}, {5, "1"}}, 2), "Konfigurace zapsána.");
    EditorSession network(kv::NetworkParamEditor(), &settings_);
    EXPECT_EQ(Write(network, {{0, "10"}, {3, "5"}, {11, "1"}}), "Konfigurace zapsána.");
    EXPECT_EQ(settings_.moduleConfig, kv::DefaultModuleConfig());  // written, not confirmed

    Disconnect();
    ASSERT_TRUE(Restart()) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;
    for (const EditorSession* written : {&vlan, &remote, &network}) {
        EditorSession reader(written->Spec(), &settings_);
        EXPECT_EQ(reader.Read(kv::LinkOf(settings_, connection_), {}).transfer.result,
                  kv::TransferResult::kDone);
        EXPECT_EQ(kv::testing::Hex(reader.Copy().bytes), kv::testing::Hex(written->Copy().bytes))
            << written->Spec().caption;
    }
    EXPECT_EQ(vlan.Copy().U16(ModuleConfig::VlanOffset(1)), 6001);
}

TEST_P(EditorsEmulatorTest, ASpoiltStoreIsReportedAndTheSharedImageStays) {
    ASSERT_TRUE(emu_.Start({"--corrupt-store"})) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;
    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        texts_.clear();
        EditorSession session(*spec, &settings_);
        EXPECT_EQ(session.Write(kv::LinkOf(settings_, connection_), session.Fields(), sink_)
                      .transfer.error,
                  kv::kErrReadBack);
        EXPECT_EQ(texts_.back(), "Chyba zápisu dat.") << spec->caption;
        for (const auto& text : texts_) EXPECT_NE(text, "Konfigurace zapsána.");
    }
    EXPECT_EQ(settings_.moduleConfig, kv::DefaultModuleConfig());
}

TEST_P(EditorsEmulatorTest, ASilentModuleEndsWithTheLibrarysTimeOutTextAfterTheTimeOut) {
    constexpr int kTimeoutMs = 400;
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam(), kTimeoutMs)) << outcome_.statusText;
    // The module falls silent under the same address and port.
    ASSERT_TRUE(Restart({"--silent", "--port", std::to_string(emu_.ManagementPort())}))
        << emu_.Log();
    const std::string expected = kv::ErrorString(GetParam(), kv::wire::kTimeout);
    ModuleConfig copy = settings_.moduleConfig;
    for (bool write : {false, true}) {
        texts_.clear();
        const auto start = Clock::now();
        write ? kv::WriteEditorBlock(kv::LinkOf(settings_, connection_),
                                     kv::VlanEditor(kv::Vlan::FromIndex(0)), copy, sink_)
              : kv::ReadEditorBlock(kv::LinkOf(settings_, connection_),
                                    kv::VlanEditor(kv::Vlan::FromIndex(0)), copy, sink_);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        ASSERT_EQ(texts_.size(), 2u);
        EXPECT_EQ(texts_.back(), expected);
        EXPECT_GE(ms, kTimeoutMs - 5);
        EXPECT_LT(ms, kTimeoutMs + 3000);
    }
    EXPECT_GT(expected.size(), 1u);
    EXPECT_EQ(copy, settings_.moduleConfig);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EditorsEmulatorTest, ::testing::Values(0, 1),
                         [](const auto& info) { return "kind" + std::to_string(info.param); });

using VlanTableTest = EditorsEmulatorTest;

TEST_F(VlanTableTest, AVlanInTableModeAdmitsOnlyItsUsers) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    // As delivered, VLAN 1 lets this computer through to the bus.
    ASSERT_TRUE(Connect(1, 1000, emu_.VlanPort(0), "1")) << outcome_.statusText;
    Disconnect();
    ASSERT_TRUE(Connect(0)) << outcome_.statusText;
    // VLAN 2 now admits this computer, VLAN 1 only someone else.
    for (const auto& [vlan, last] : {std::pair{1, "1"}, std::pair{0, "99"}}) {
        EditorSession session(kv::VlanEditor(kv::Vlan::FromIndex(vlan)), &settings_);
        ASSERT_EQ(Write(session, {{4, "127"}, {5, "0"}, {6, "0"}, {7, last}}, 2),
                  "Konfigurace zapsána.");
    }
    Disconnect();
    ASSERT_TRUE(Restart()) << emu_.Log();  // VLAN settings take effect when the module starts

    ASSERT_TRUE(Connect(1, 1000, emu_.VlanPort(1), "1")) << outcome_.statusText;
    EXPECT_EQ(settings_.moduleIdent.substr(0, 8), "KV-3100A");  // station 1 on the bus
    Disconnect();
    EXPECT_FALSE(Connect(1, 300, emu_.VlanPort(0), "1"));
    EXPECT_NE(outcome_.statusText.find(kv::ErrorString(1, kv::wire::kTimeout)), std::string::npos)
        << outcome_.statusText;
}

}  // namespace
