// The help viewer as a child process, with a stand-in viewer that logs what it gets (on
// Windows the help opens in the browser: tests/windows/HelpBrowserTest.cpp).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/ConfigFolder.h"
#include "platform/HelpViewer.h"
#include "tests/support/Environment.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::platform::FindHelpViewer;
using kv::platform::HelpOutcome;
using kv::platform::HelpViewer;
using kv::testing::ReadBytes;
using kv::testing::ScopedEnvironment;
using kv::testing::ScratchFolder;
using kv::testing::WriteBytes;

const std::string kFake = std::string(KV_BIN_DIR) + "/fakes/fake_help_viewer";
const std::string kViewerName = "assistant";
const char kPathListSeparator = ':';

// Waits (bounded, generously) until the viewer's log holds `text`.
bool LogShows(const std::string& log, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadBytes(log).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool Alive(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) == 0;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class HelpViewerTest : public ::testing::Test {
  protected:
    // The collection's content tells the stand-in how to behave.
    std::string Collection(const std::string& mode = "help") {
        const std::string path = folder_.File("W_kv3380u.qhc");
        WriteBytes(path, mode);
        return path;
    }
    std::string Log() const { return folder_.File("W_kv3380u.qhc.log"); }

    ScratchFolder folder_{"kv-help"};
};

TEST_F(HelpViewerTest, TwoHelpCommandsStartOneViewerAndTheSecondOnlyShowsIt) {
    HelpViewer viewer(kFake, Collection());
    EXPECT_EQ(viewer.Show("", "qthelp://ns/doc/index.html"), HelpOutcome::kStarted);
    const pid_t first = viewer.pid();
    ASSERT_TRUE(LogShows(Log(), "command setSource qthelp://ns/doc/index.html;syncContents"))
        << ReadBytes(Log());
    EXPECT_TRUE(LogShows(Log(), "remote"));

    EXPECT_EQ(viewer.Show("", "qthelp://ns/doc/index.html"), HelpOutcome::kShown);
    ASSERT_TRUE(LogShows(Log(), "command show contents\n")) << ReadBytes(Log());
    EXPECT_EQ(viewer.pid(), first);
    EXPECT_EQ(Count(ReadBytes(Log()), "start "), 1u) << ReadBytes(Log());
    // The page stays where the operator left it: nothing but the show command was sent.
    EXPECT_EQ(Count(ReadBytes(Log()), "setSource"), 1u) << ReadBytes(Log());
    viewer.End();
}

TEST_F(HelpViewerTest, ARunningViewerIsShownBeforeItTurnsToThePage) {
    HelpViewer viewer(kFake, Collection());
    ASSERT_EQ(viewer.Show("qthelp://ns/doc/a.html", "qthelp://ns/doc/index.html"),
              HelpOutcome::kStarted);
    // Started at the page asked for, not at the start page.
    ASSERT_TRUE(LogShows(Log(), "command setSource qthelp://ns/doc/a.html;syncContents"));
    ASSERT_EQ(viewer.Show("qthelp://ns/doc/b.html", "qthelp://ns/doc/index.html"),
              HelpOutcome::kShown);
    // One line, so the viewer takes the commands in this order and comes forward after it.
    ASSERT_TRUE(LogShows(Log(), "command show contents;setSource qthelp://ns/doc/b.html;"))
        << ReadBytes(Log());
    EXPECT_EQ(Count(ReadBytes(Log()), "start "), 1u);
}

TEST_F(HelpViewerTest, EndStopsTheViewerAndTheNextCommandStartsANewOne) {
    HelpViewer viewer(kFake, Collection());
    ASSERT_EQ(viewer.Show("", "p"), HelpOutcome::kStarted);
    const pid_t first = viewer.pid();
    ASSERT_TRUE(LogShows(Log(), "command setSource p"));
    EXPECT_TRUE(viewer.Running());
    viewer.End();
    EXPECT_FALSE(viewer.Running());
    // Reaped: no such process is left, not even a zombie.
    EXPECT_FALSE(Alive(first));
    viewer.End();  // nothing to end: harmless

    ASSERT_EQ(viewer.Show("", "p"), HelpOutcome::kStarted);
    EXPECT_NE(viewer.pid(), first);
    EXPECT_TRUE(LogShows(Log(), "start " + std::to_string(viewer.pid())));
}

TEST_F(HelpViewerTest, TheViewerEndsWithItsOwner) {
    pid_t pid = -1;
    {
        HelpViewer viewer(kFake, Collection());
        ASSERT_EQ(viewer.Show("", "p"), HelpOutcome::kStarted);
        pid = viewer.pid();
        ASSERT_TRUE(LogShows(Log(), "command setSource p"));
    }
    EXPECT_FALSE(Alive(pid));
}

TEST_F(HelpViewerTest, AMissingViewerIsIgnored) {
    for (const std::string& program :
         {std::string(), folder_.File("no-such-viewer"), folder_.Path()}) {
        HelpViewer viewer(program, Collection());
        EXPECT_EQ(viewer.Show("", "p"), HelpOutcome::kNoViewer) << program;
        EXPECT_FALSE(viewer.Running());
        viewer.End();
    }
    // A file that is there but may not be run.
    const std::string plain = folder_.File("not-executable");
    WriteBytes(plain, "#!/bin/sh\n");
    ::chmod(plain.c_str(), 0644);
    HelpViewer viewer(plain, Collection());
    EXPECT_EQ(viewer.Show("", "p"), HelpOutcome::kNoViewer);
}

TEST_F(HelpViewerTest, AViewerThatFailsAtOnceIsStartedAgainByTheNextCommand) {
    HelpViewer viewer(kFake, Collection("exit"));
    ASSERT_EQ(viewer.Show("", "p"), HelpOutcome::kStarted);
    ASSERT_TRUE(LogShows(Log(), "exit"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (viewer.Running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(viewer.Running());
    EXPECT_EQ(viewer.Show("", "p"), HelpOutcome::kStarted);
    EXPECT_TRUE(LogShows(Log(), "start " + std::to_string(viewer.pid())));
}

TEST_F(HelpViewerTest, AViewerThatStoppedListeningIsReplacedWithoutEndingTheProgram) {
    // Commands to it fail (no SIGPIPE ends this test); it is ended and a new one started.
    HelpViewer viewer(kFake, Collection("deaf"));
    ASSERT_EQ(viewer.Show("", "p"), HelpOutcome::kStarted);
    const pid_t deaf = viewer.pid();
    ASSERT_TRUE(LogShows(Log(), "deaf"));
    EXPECT_EQ(viewer.Show("q", "p"), HelpOutcome::kStarted);
    EXPECT_NE(viewer.pid(), deaf);
    EXPECT_FALSE(Alive(deaf));
    viewer.End();
}

class FindHelpViewerTest : public ::testing::Test {
  protected:
    std::string Executable(const std::string& dir) {
        std::filesystem::create_directory(kv::testing::PathOf(dir));
        const std::string path = dir + kv::platform::kPathSeparator + kViewerName;
        WriteBytes(path, "#!/bin/sh\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }

    ScratchFolder folder_{"kv-find"};
    ScopedEnvironment path_{"PATH", kv::testing::GetEnvironment("PATH")};
};

TEST_F(FindHelpViewerTest, TheConfiguredProgramFirstThenPath) {
    const std::string configured = Executable(folder_.File("qt"));
    const std::string onPath = Executable(folder_.File("path"));
    const std::string list = std::string("relative") + kPathListSeparator + folder_.File("empty") +
                             kPathListSeparator + folder_.File("path");
    kv::testing::SetEnvironment("PATH", list);

    EXPECT_EQ(FindHelpViewer(configured), configured);
    EXPECT_EQ(FindHelpViewer(folder_.File("qt/gone")), onPath);
    EXPECT_EQ(FindHelpViewer(""), onPath);

    // Only absolute entries count: the working directory never supplies the viewer.
    kv::testing::SetEnvironment("PATH", std::string("path") + kPathListSeparator + ".");
    EXPECT_EQ(FindHelpViewer(folder_.File("qt/gone")), "");
    kv::testing::SetEnvironment("PATH", std::nullopt);
    EXPECT_EQ(FindHelpViewer(folder_.File("qt/gone")), "");
}

// The About window's link: the browser (here a stand-in) gets the address as one
// argument, never read by a shell.
TEST(OpenInBrowserTest, TheAddressReachesTheBrowserWholeAndUninterpreted) {
    ScratchFolder folder{"kv-browser"};
    const std::string log = folder.File("browser.log");
    ScopedEnvironment browser{kv::platform::kBrowserVariable, kFake};
    ScopedEnvironment logName{"KV_FAKE_BROWSER_LOG", log};
    const std::string address = "file:///tmp/a b/$(touch " + folder.File("ran") + ")`x`.html";
    EXPECT_TRUE(kv::platform::OpenInBrowser(address));
    EXPECT_TRUE(LogShows(log, "open " + address + "\n")) << ReadBytes(log);
    EXPECT_FALSE(std::filesystem::exists(folder.File("ran")));
}

}  // namespace
