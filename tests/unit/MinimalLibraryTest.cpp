// A library written from kvtransport.h alone, in C, under every kind's file name: the
// binding and the connection initialisation must need nothing else of it.

#include <gtest/gtest.h>

#include "connection/Pripojeni.h"
#include "core/Dekl.h"
#include "platform/ProgramFolder.h"
#include "transport/Qxxx380.h"

namespace {

class MinimalLibraryTest : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        kv::platform::SetProgramFolderForTesting(std::string(KV_BIN_DIR) + "/fakes/minimal");
    }
    void TearDown() override {
        connection_.Close();
        kv::platform::SetProgramFolderForTesting("");
    }
    kv::ConnectionSettings settings_;
    kv::Connection connection_;
};

TEST_P(MinimalLibraryTest, ConnectsIdentifiesAndCloses) {
    const auto kind = static_cast<std::uint8_t>(GetParam());
    kv::ConnectionInput in;
    in.kindPosition = kind;
    in.addressText = "3";
    in.speedPosition = 4;
    in.firstText = kind == 0 ? "" : "127.0.0.9";
    in.secondText = kind == 0 ? "" : "5000";
    in.thirdText = "1000";
    in.detectionPosition = 0;
    const kv::ConnectionOutcome out =
        kv::InitialiseConnection(in, settings_, connection_, [](const std::string&) {});
    ASSERT_TRUE(out.success) << out.statusText;
    EXPECT_EQ(settings_.moduleIdent, "MINIMAL1 v.0.01");
    EXPECT_EQ(connection_.ErrorText(0), "OK");
    // The library's code-page-1250 text arrives as UTF-8.
    EXPECT_EQ(connection_.ErrorText(2), "neplatné spojení");

    std::uint32_t handle = settings_.handle;
    EXPECT_EQ(connection_.CloseTransport(&handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_FALSE(connection_.HoldsLibrary());
    // Without the library loaded, its file still names the codes.
    EXPECT_EQ(kv::ErrorString(kind, 2), "neplatné spojení");
}

INSTANTIATE_TEST_SUITE_P(EveryKind, MinimalLibraryTest, ::testing::Range(0, 8),
                         [](const auto& info) { return "Kind" + std::to_string(info.param); });

}  // namespace
