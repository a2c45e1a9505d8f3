// The editors' core against the emulator through the real libraries of kinds 0 and 1: the
// blocks a fresh module holds, values that outlive the module's restart, a store the
// module spoils, a module that falls silent, and a VLAN user table that the module keeps.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "app/Dekl.h"
#include "connection/Pripojeni.h"
#include "editors/EditorTable.h"
#include "editors/NastavLAN.h"
#include "editors/SitoveParam.h"
#include "editors/VzdalenaSprava.h"
#include "libraries/KvWire.h"
#include "platform/ProgramFolder.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/Hex.h"
#include "transport/Qxxx380.h"

namespace {

using kv::EditorSession;
using kv::ModuleConfig;
using kv::testing::EmulatorProcess;
using kv::testing::Hex;
using Clock = std::chrono::steady_clock;

class EditorsEmulatorTest : public ::testing::TestWithParam<std::uint8_t> {
  protected:
    void SetUp() override {
        kv::platform::SetProgramFolderForTesting(KV_BIN_DIR);
        setenv("KV3380U_USB_DIR", emu_.UsbFolder().c_str(), 1);
    }
    void TearDown() override {
        if (kv::ConnectionUsable(settings_))
            kv::CloseTransport(settings_.interfaceKind, &settings_.handle);
        unsetenv("KV3380U_USB_DIR");
        kv::platform::SetProgramFolderForTesting("");
        if (HasFailure()) std::cerr << "emulator output:\n" << emu_.Log();
    }

    // What the connection dialog sends for the kind, to `port` (kind 1; the management
    // port when 0) at module address `address`.
    bool Connect(std::uint8_t kind, int timeoutMs = 1000, std::uint16_t port = 0,
                 const char* address = "0") {
        settings_.interfaceKind = kind;
        const kv::KindLayout layout = kv::LayoutForKind(kind, settings_);
        kv::ConnectionInput in;
        in.kindPosition = kind;
        in.addressText = address;
        in.speedPosition = 4;
        in.firstText = kind == 1 ? emu_.Address() : layout.first.value;
        in.secondText = kind == 1 ? std::to_string(port != 0 ? port : emu_.ManagementPort())
                                  : layout.second.value;
        in.thirdText = std::to_string(timeoutMs);
        in.detectionPosition = layout.detectionPosition;
        outcome_ = kv::InitialiseConnection(in, settings_, {});
        return outcome_.success;
    }
    bool Restart(const std::vector<std::string>& extra = {}) {
        emu_.Stop();
        return emu_.Start(extra);
    }
    kv::StatusSink Sink() {
        return [this](const std::string& text) { texts_.push_back(text); };
    }
    // Field by field as the window hands them over.
    kv::FieldStates With(const kv::EditorSpec& spec, const ModuleConfig& config,
                         std::initializer_list<std::pair<int, std::string>> texts,
                         std::initializer_list<std::pair<int, int>> positions = {}) {
        kv::FieldStates fields = kv::ShowFields(spec, config);
        for (const auto& [field, text] : texts) fields[field].text = text;
        for (const auto& [field, position] : positions) {
            fields[field].position = position;
            if (field == spec.modeField) {
                // The window applies the enabling rule as soon as the mode is chosen.
                ModuleConfig changed = config;
                changed.bytes[spec.fields[field].offset] = static_cast<std::uint8_t>(position);
                const kv::FieldStates now = kv::ShowFields(spec, changed);
                for (std::size_t i = 0; i < fields.size(); ++i) fields[i].enabled = now[i].enabled;
            }
        }
        return fields;
    }

    EmulatorProcess emu_;
    kv::ConnectionSettings settings_;
    kv::ConnectionOutcome outcome_;
    std::vector<std::string> texts_;
};

TEST_P(EditorsEmulatorTest, EveryEditorReadsTheBlocksOfAFreshModule) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;
    // Each editor shows what a fresh module holds: the default configuration.
    const ModuleConfig defaults = kv::DefaultModuleConfig();
    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        ModuleConfig copy{};
        copy.bytes.fill(0xA5);
        texts_.clear();
        EXPECT_EQ(kv::PrectiData(settings_, *spec, copy, Sink()).result, kv::TransferResult::kDone)
            << spec->caption;
        EXPECT_EQ(texts_.back(), " Konfigurace přečtena.");
        const kv::FieldStates shown = kv::ShowFields(*spec, copy);
        const kv::FieldStates expected = kv::ShowFields(*spec, defaults);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            EXPECT_EQ(shown[i].text, expected[i].text) << spec->fields[i].name;
            EXPECT_EQ(shown[i].position, expected[i].position) << spec->fields[i].name;
        }
    }
}

TEST_P(EditorsEmulatorTest, WrittenValuesOutliveTheModulesRestart) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;

    const ModuleConfig before = settings_.moduleConfig;
    // VLAN 2: another port, the user table, user 1 at 10.1.2.3 reading only.
    EditorSession vlan(kv::VlanEditor(1), &settings_);
    vlan.Show();
    auto fields = With(vlan.Spec(), vlan.Copy(),
                       {{0, "6001"}, {4, "10"}, {5, "1"}, {6, "2"}, {7, "3"}}, {{1, 2}, {9, 1}});
    EXPECT_EQ(vlan.Write(fields, Sink()).transfer.status, " Konfigurace zapsána.");
    // Remote management limited to this computer, which must stay able to manage it.
    EditorSession remote(kv::RemoteManagementEditor(), &settings_);
    remote.Show();
    fields = With(remote.Spec(), remote.Copy(), {{0, "40000"}, {2, "127"}, {5, "1"}}, {{1, 2}});
    EXPECT_EQ(remote.Write(fields, Sink()).transfer.status, " Konfigurace zapsána.");
    EditorSession network(kv::NetworkParamEditor(), &settings_);
    network.Show();
    fields = With(network.Spec(), network.Copy(), {{0, "10"}, {3, "5"}, {11, "1"}});
    EXPECT_EQ(network.Write(fields, Sink()).transfer.status, " Konfigurace zapsána.");
    // Written, not confirmed: the shared image is as it was.
    EXPECT_EQ(settings_.moduleConfig, before);

    kv::CloseTransport(settings_.interfaceKind, &settings_.handle);
    ASSERT_TRUE(Restart()) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;
    for (const EditorSession* written : {&vlan, &remote, &network}) {
        EditorSession reader(written->Spec(), &settings_);
        reader.Show();
        EXPECT_EQ(reader.Read(Sink()).transfer.result, kv::TransferResult::kDone);
        EXPECT_EQ(Hex(reader.Copy().bytes), Hex(written->Copy().bytes)) << written->Spec().caption;
    }
    const std::size_t record = ModuleConfig::VlanOffset(1);
    EXPECT_EQ(vlan.Copy().U16(record), 6001);
    EXPECT_EQ(vlan.Copy().bytes[record + ModuleConfig::kVlanMode], 2);
}

TEST_P(EditorsEmulatorTest, ASpoiltStoreIsReportedAndTheSharedImageStays) {
    ASSERT_TRUE(emu_.Start({"--corrupt-store"})) << emu_.Log();
    ASSERT_TRUE(Connect(GetParam())) << outcome_.statusText;
    const ModuleConfig before = settings_.moduleConfig;
    for (const kv::EditorSpec* spec : kv::AllEditors()) {
        texts_.clear();
        EditorSession session(*spec, &settings_);
        session.Show();
        const auto out = session.Write(session.Fields(), Sink());
        EXPECT_EQ(out.transfer.error, kv::kErrReadBack) << spec->caption;
        EXPECT_EQ(texts_.back(), " Chyba zápisu dat.") << spec->caption;
        for (const auto& text : texts_) EXPECT_NE(text, " Konfigurace zapsána.");
    }
    EXPECT_EQ(settings_.moduleConfig, before);
}

TEST_P(EditorsEmulatorTest, ASilentModuleEndsWithTheLibrarysTimeOutTextAfterTheTimeOut) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    constexpr int kTimeoutMs = 400;
    ASSERT_TRUE(Connect(GetParam(), kTimeoutMs)) << outcome_.statusText;
    // The module falls silent under the same address and port.
    const std::string port = std::to_string(emu_.ManagementPort());
    ASSERT_TRUE(Restart({"--silent", "--port", port})) << emu_.Log();

    const std::string expected = " " + kv::ErrorString(GetParam(), kv::wire::kTimeout);
    ASSERT_GT(expected.size(), 1u);
    ModuleConfig copy = settings_.moduleConfig;
    for (bool write : {false, true}) {
        texts_.clear();
        const auto start = Clock::now();
        const kv::TransferOutcome out =
            write ? kv::ZapisData(settings_, kv::VlanEditor(0), copy, Sink())
                  : kv::PrectiData(settings_, kv::VlanEditor(0), copy, Sink());
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_EQ(out.result, kv::TransferResult::kFailed);
        ASSERT_EQ(texts_.size(), 2u);
        EXPECT_EQ(texts_.back(), expected);
        EXPECT_GE(ms, kTimeoutMs - 5);
        EXPECT_LT(ms, kTimeoutMs + 3000);
    }
    EXPECT_EQ(copy, settings_.moduleConfig);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EditorsEmulatorTest, ::testing::Values(0, 1),
                         [](const auto& info) { return "kind" + std::to_string(info.param); });

using VlanTableTest = EditorsEmulatorTest;

TEST_F(VlanTableTest, AVlanInTableModeAdmitsOnlyItsUsers) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    // As delivered, VLAN 1 lets this computer through to the bus.
    ASSERT_TRUE(Connect(1, 1000, emu_.VlanPort(0), "1")) << outcome_.statusText;
    kv::CloseTransport(settings_.interfaceKind, &settings_.handle);
    ASSERT_TRUE(Connect(0)) << outcome_.statusText;
    // VLAN 2 admits this computer; VLAN 1, which as delivered lets the first client in, now
    // admits only someone else.
    for (const auto& [vlan, last] : {std::pair{1, "1"}, std::pair{0, "99"}}) {
        EditorSession session(kv::VlanEditor(vlan), &settings_);
        session.Show();
        const auto fields = With(session.Spec(), session.Copy(),
                                 {{4, "127"}, {5, "0"}, {6, "0"}, {7, last}}, {{1, 2}});
        ASSERT_EQ(session.Write(fields, Sink()).transfer.status, " Konfigurace zapsána.");
    }
    kv::CloseTransport(settings_.interfaceKind, &settings_.handle);
    // The module takes its VLAN settings into effect when it starts.
    ASSERT_TRUE(Restart()) << emu_.Log();

    // Through VLAN 2 the bus answers: station 1 identifies itself.
    ASSERT_TRUE(Connect(1, 1000, emu_.VlanPort(1), "1")) << outcome_.statusText;
    EXPECT_EQ(settings_.moduleIdent.substr(0, 8), "KV-3100A");
    kv::CloseTransport(settings_.interfaceKind, &settings_.handle);
    // Through VLAN 1 nothing comes back.
    EXPECT_FALSE(Connect(1, 300, emu_.VlanPort(0), "1"));
    EXPECT_NE(outcome_.statusText.find(kv::ErrorString(1, kv::wire::kTimeout)), std::string::npos)
        << outcome_.statusText;
    EXPECT_FALSE(settings_.connected);
}

}  // namespace
