// The Win32 half of the help: pages open in the web browser, here a stand-in
// (KV3380U_BROWSER) that logs the one argument it was started with.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/HelpViewer.h"
#include "tests/support/Environment.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::platform::HelpOutcome;
using kv::platform::HelpViewer;
using kv::testing::ReadBytes;
using kv::testing::ScopedEnvironment;

class HelpBrowserTest : public ::testing::Test {
  protected:
    bool Logged(const std::string& line) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (ReadBytes(log_).find(line + "\n") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    kv::testing::ScratchFolder folder_{"kv-browser"};
    std::string log_ = folder_.File("browser.log");
    ScopedEnvironment browser_{kv::platform::kBrowserVariable,
                               std::string(KV_BIN_DIR) + "/fakes/fake_help_viewer.exe"};
    ScopedEnvironment logName_{"KV_FAKE_BROWSER_LOG", log_};
};

TEST_F(HelpBrowserTest, TheAddressArrivesAsOneArgumentWhateverItHolds) {
    // Blanks, a quotation mark and backslashes before it, as CommandLineToArgvW reads them.
    const std::string address = "file:///C:/a b/c\\\\\"d\\.html";
    EXPECT_TRUE(kv::platform::OpenInBrowser(address));
    EXPECT_TRUE(Logged("open " + address)) << ReadBytes(log_);
}

TEST_F(HelpBrowserTest, AStandInThatIsNotThereOpensNothingAndNothingStaysToBeEnded) {
    ScopedEnvironment gone{kv::platform::kBrowserVariable, folder_.File("no-browser.exe")};
    EXPECT_FALSE(kv::platform::OpenInBrowser("file:///C:/kv/help/index.html"));
    HelpViewer viewer("", "");
    EXPECT_EQ(viewer.Show("", "file:///C:/kv/help/index.html"), HelpOutcome::kNoViewer);
    EXPECT_FALSE(viewer.Running());
    viewer.End();
    EXPECT_EQ(kv::platform::FindHelpViewer("C:\\Qt\\bin\\assistant.exe"), "");
    EXPECT_EQ(ReadBytes(log_), "");
}

}  // namespace
