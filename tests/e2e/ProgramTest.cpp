// The utility as a process: ended by a signal, it closes like its close box and keeps
// its settings.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/ProcStatus.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// True once the process catches the signal, i.e. its handler is installed.
bool Catches(pid_t pid, int signal) {
    const auto caught = kv::testing::ProcSignalSet(kv::testing::ProcStatusFile(pid), "SigCgt");
    return caught && kv::testing::SignalInSet(*caught, signal);
}

TEST(ProgramTest, TerminatedUtilitySavesItsSettingsLikeItsCloseBox) {
#ifdef KV_NO_GUI
    GTEST_SKIP() << "built without the utility";
#endif
    // A copy of the program in a folder of its own: its settings file lands beside it.
    std::string pattern = (fs::temp_directory_path() / "kvprog-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    fs::copy_file(fs::path(KV_BIN_DIR) / "W_KV3380U", folder / "W_KV3380U");
    const std::string program = (folder / "W_KV3380U").string();

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Whatever fails below, the utility does not outlive the test.
    struct Reaper {
        pid_t pid;
        bool reaped = false;
        ~Reaper() {
            if (reaped) return;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{pid};
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!Catches(pid, SIGTERM) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Catches(pid, SIGTERM)) << "the utility never took over SIGTERM";
    kill(pid, SIGTERM);

    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(done, pid) << "the utility did not end after SIGTERM";
    reaper.reaped = true;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    std::ifstream in(folder / "W_kv3380u.ini", std::ios::binary);
    const std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Code page 1250: "Rozhraní" ends in 0xED.
    EXPECT_NE(ini.find("Rozhran\xED=USBVx\r\n"), std::string::npos) << ini;
    std::error_code ec;
    fs::remove_all(folder, ec);
}

}  // namespace
