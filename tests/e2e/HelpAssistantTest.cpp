// The real help viewer, Qt Assistant, with the compiled help of the build: started,
// shown again, ended. Skipped only where Assistant is not installed.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/HelpPages.h"
#include "platform/HelpViewer.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::platform::HelpOutcome;
using kv::platform::HelpViewer;
using kv::testing::ScratchFolder;

// Assistant keeps a copy of the collection and its own settings in the user's folders;
// the test gives it folders of its own and a display it does not need.
class ViewerEnvironment {
  public:
    explicit ViewerEnvironment(const ScratchFolder& home) {
        Set("QT_QPA_PLATFORM", "offscreen");
        Set("XDG_DATA_HOME", home.File("data"));
        Set("XDG_CONFIG_HOME", home.File("config"));
        Set("XDG_CACHE_HOME", home.File("cache"));
        Set("XDG_RUNTIME_DIR", home.Path());
    }
    ~ViewerEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value.first) {
                ::setenv(name.c_str(), value.second.c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

  private:
    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_.push_back({name, {old != nullptr, old != nullptr ? old : ""}});
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved_;
};

TEST(HelpAssistantTest, TheRealViewerStartsShowsAndEnds) {
#ifndef KV_ASSISTANT
    GTEST_SKIP() << "built without the utility's windows";
#else
    const std::string program = kv::platform::FindHelpViewer(KV_ASSISTANT);
    if (program.empty()) {
        GTEST_SKIP() << "Qt Assistant is not installed (Debian: assistant-qt6); not run";
    }
    const std::string collection = std::string(KV_BIN_DIR) + "/W_kv3380u.qhc";
    ASSERT_TRUE(kv::testing::ReadBytes(collection).size() > 0) << collection;
    ScratchFolder home("kv-assistant");
    ASSERT_TRUE(home.Ok());
    ViewerEnvironment environment(home);

    HelpViewer viewer(program, collection);
    ASSERT_EQ(viewer.Show(kv::HelpPageUrl("pripojeni.html"), kv::HelpPageUrl("index.html")),
              HelpOutcome::kStarted);
    const pid_t pid = viewer.pid();
    // Assistant works on a copy of the collection in the folder the collection names:
    // once it is there, Assistant has opened our help.
    const std::string copy = home.File("data/kv3380u/napoveda/W_kv3380u.qhc");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (kv::testing::ReadBytes(copy).empty() && viewer.Running() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(kv::testing::ReadBytes(copy).empty()) << "Assistant did not open " << collection;
    ASSERT_TRUE(viewer.Running()) << "Assistant ended on its own";

    // A second command goes to the same viewer, which takes it and stays.
    EXPECT_EQ(viewer.Show(kv::HelpPageUrl("diagnostika.html"), kv::HelpPageUrl("index.html")),
              HelpOutcome::kShown);
    EXPECT_EQ(viewer.Show("", kv::HelpPageUrl("index.html")), HelpOutcome::kShown);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(viewer.Running());
    EXPECT_EQ(viewer.pid(), pid);

    viewer.End();
    EXPECT_FALSE(viewer.Running());
    EXPECT_NE(::kill(pid, 0), 0) << "Assistant is still there";
#endif
}

}  // namespace
