// The Win32 half of the help: pages open in the web browser, here a stand-in
// (KV3380U_BROWSER) that logs the one argument it was started with.

#include <gtest/gtest.h>

#include <string>

#include "platform/HelpViewer.h"
#include "tests/support/Environment.h"
#include "tests/support/FakeBrowser.h"

namespace {

using kv::platform::HelpOutcome;
using kv::platform::HelpViewer;
using kv::testing::ScopedEnvironment;

class HelpBrowserTest : public ::testing::Test {
  protected:
    kv::testing::FakeBrowser browser_;
};

TEST_F(HelpBrowserTest, TheAddressArrivesAsOneArgumentWhateverItHolds) {
    // Blanks, a quotation mark and backslashes before it, as CommandLineToArgvW reads them.
    const std::string address = "file:///C:/a b/c\\\\\"d\\.html";
    EXPECT_TRUE(kv::platform::OpenInBrowser(address));
    EXPECT_TRUE(browser_.Logged("open " + address)) << browser_.Log();
}

TEST_F(HelpBrowserTest, AStandInThatIsNotThereOpensNothingAndNothingStaysToBeEnded) {
    ScopedEnvironment gone{kv::platform::kBrowserVariable, browser_.File("no-browser.exe")};
    EXPECT_FALSE(kv::platform::OpenInBrowser("file:///C:/kv/help/index.html"));
    HelpViewer viewer("", "");
    EXPECT_EQ(viewer.Show("", "file:///C:/kv/help/index.html"), HelpOutcome::kNoViewer);
    EXPECT_FALSE(viewer.Running());
    viewer.End();
    EXPECT_EQ(kv::platform::FindHelpViewer("C:\\Qt\\bin\\assistant.exe"), "");
    EXPECT_EQ(browser_.Log(), "");
}

}  // namespace
