#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "emulator/StateFile.h"
#include "emulator/StateWriter.h"
#include "tests/support/ProcStatus.h"

namespace kv::emu {
namespace {

namespace fs = std::filesystem;

class EmulatorStateFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kvemu-state-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/module.state";
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(EmulatorStateFile, NewStateHasDefaultsAndALocallyAdministeredUnicastMac) {
    for (std::uint64_t seed : {0ull, 1ull, 0xFFFFFFFFFFFFFFFFull, 12345ull}) {
        ModuleState s = NewState("00000001", seed);
        EXPECT_EQ(s.blocks, DefaultBlocks());
        EXPECT_EQ(s.mac[0] & 0x03, 0x02) << "seed " << seed;
    }
    EXPECT_NE(NewState("00000001", 1).mac, NewState("00000001", 2).mac);
}

TEST_F(EmulatorStateFile, SavedStateLoadsBackUnchanged) {
    ModuleState s = NewState("AB12cd34", 99);
    s.blocks[2][17] = 0x7E;
    SealBlock(s.blocks[2]);
    ASSERT_TRUE(SaveState(path_, s, nullptr));
    LoadResult r = LoadState(path_);
    ASSERT_EQ(r.kind, LoadResult::kLoaded) << r.error;
    EXPECT_EQ(r.state, s);
    // Readable text that starts with its version line.
    EXPECT_EQ(Read(path_).rfind("kv3380u-emulator state 1\n", 0), 0u);
}

TEST_F(EmulatorStateFile, AbsentFileIsToldApartFromAnUnreadableOne) {
    EXPECT_EQ(LoadState(path_).kind, LoadResult::kAbsent);
    fs::create_directory(path_);
    LoadResult r = LoadState(path_);
    EXPECT_EQ(r.kind, LoadResult::kFailed);
    EXPECT_NE(r.error.find(path_), std::string::npos) << r.error;
}

TEST_F(EmulatorStateFile, DamagedFilesAreRefusedNamingTheFile) {
    const std::string good = FormatState(NewState("00000001", 5));
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::string blockLine =
        good.substr(good.find("block 252"),
                    good.find('\n', good.find("block 252")) - good.find("block 252") + 1);
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"cut off before end", good.substr(0, good.size() - 4)},
        {"cut off inside a block", good.substr(0, good.find("block 253") + 100)},
        {"other version", replace("state 1", "state 2")},
        {"bad hex digit", replace("block 251 ", "block 251 G")},
        {"block of wrong length", replace("block 254 ", "block 254 0")},
        {"block 249", replace("block 250", "block 249")},
        {"block twice", replace("block 254", blockLine.substr(0, 9))},
        {"missing block", replace(blockLine, "")},
        {"bad serial", replace("serial 00000001", "serial 0000/001")},
        {"bad mac", replace("mac ", "mac 0")},
        {"unknown key", replace("end\n", "colour blue\nend\n")},
        {"text after end", good + "serial 00000002\n"},
        {"binary junk", std::string("\0\xff\x7e\n", 4)},
    };
    for (const auto& [name, text] : cases) {
        Write(path_, text);
        LoadResult r = LoadState(path_);
        EXPECT_EQ(r.kind, LoadResult::kFailed) << name;
        EXPECT_NE(r.error.find(path_), std::string::npos) << name << ": " << r.error;
        // Refusing must not repair or replace the file.
        EXPECT_EQ(Read(path_), text) << name;
    }
}

TEST_F(EmulatorStateFile, OversizedFileIsRefusedWithoutReadingItAll) {
    Write(path_, FormatState(NewState("00000001", 5)) + std::string(100000, '\n'));
    EXPECT_EQ(LoadState(path_).kind, LoadResult::kFailed);
}

TEST_F(EmulatorStateFile, CrashBeforeTheRenameLeavesTheOldStateIntact) {
    ModuleState old = NewState("00000001", 1);
    ASSERT_TRUE(SaveState(path_, old, nullptr));
    ModuleState next = old;
    next.blocks[4][1] = 10;
    SealBlock(next.blocks[4]);

    // The process dies after writing the temporary file and before renaming it.
    auto temporary = WriteStateTemporary(path_, next, nullptr);
    ASSERT_TRUE(temporary.has_value());
    EXPECT_NE(*temporary, path_);
    LoadResult r = LoadState(path_);
    ASSERT_EQ(r.kind, LoadResult::kLoaded);
    EXPECT_EQ(r.state, old);

    // A half-written temporary file left behind does not disturb the next save.
    Write(*temporary, "kv3380u-emulator state 1\nserial 0000");
    ASSERT_TRUE(SaveState(path_, next, nullptr));
    r = LoadState(path_);
    ASSERT_EQ(r.kind, LoadResult::kLoaded);
    EXPECT_EQ(r.state, next);
}

TEST_F(EmulatorStateFile, CommittedTemporaryReplacesTheFileAndDisappears) {
    ModuleState s = NewState("00000002", 3);
    auto temporary = WriteStateTemporary(path_, s, nullptr);
    ASSERT_TRUE(temporary.has_value());
    ASSERT_TRUE(CommitStateTemporary(*temporary, path_, nullptr));
    EXPECT_FALSE(fs::exists(*temporary));
    EXPECT_EQ(LoadState(path_).state, s);
}

TEST_F(EmulatorStateFile, SaveIntoAMissingFolderFailsWithAMessage) {
    std::string error;
    EXPECT_FALSE(SaveState(dir_ + "/no/such/folder/state", NewState("00000001", 1), &error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos) << error;
}

TEST_F(EmulatorStateFile, SerialNumbersAreEightLettersOrDigits) {
    EXPECT_TRUE(ValidSerial("00000001"));
    EXPECT_TRUE(ValidSerial("AbCdEf99"));
    EXPECT_FALSE(ValidSerial("0000001"));
    EXPECT_FALSE(ValidSerial("000000012"));
    EXPECT_FALSE(ValidSerial("../../x1"));
    EXPECT_FALSE(ValidSerial("0000 001"));
    EXPECT_FALSE(ValidSerial(""));
}

TEST_F(EmulatorStateFile, WriterKeepsTheNewestStateAndFinishesBeforeItStops) {
    ModuleState first = NewState("00000001", 1);
    ModuleState last = first;
    {
        StateWriter writer(path_);
        writer.Submit(first);
        ASSERT_TRUE(writer.Flush());
        EXPECT_EQ(LoadState(path_).state, first);
        for (int i = 0; i < 20; ++i) {
            last.blocks[i % 5][0] = static_cast<std::uint8_t>(i);
            writer.Submit(last);
        }
        // Stopping the writer must not drop what is still queued.
    }
    LoadResult loaded = LoadState(path_);
    ASSERT_EQ(loaded.kind, LoadResult::kLoaded);
    EXPECT_EQ(loaded.state, last);
}

// An interval no test run ever reaches: whatever the writer writes then, it writes
// because a store came after a quiet spell, or because of Flush or stopping.
constexpr std::chrono::hours kForever{1};

TEST_F(EmulatorStateFile, WriterWritesAStoreAfterAQuietSpellAtOnce) {
    StateWriter writer(path_, kForever);
    ModuleState s = NewState("00000001", 1);
    writer.Submit(s);
    // No Flush: the first store must reach the disk by itself. The file appears a moment
    // before the writer counts the write, so the wait is for both.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((LoadState(path_).kind != LoadResult::kLoaded || writer.Writes() == 0) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(LoadState(path_).state, s);
    EXPECT_EQ(writer.Writes(), 1u);
}

TEST_F(EmulatorStateFile, WriterCoalescesStoresThatKeepComingAndFlushWritesTheNewest) {
    StateWriter writer(path_, kForever);
    ModuleState first = NewState("00000001", 1);
    writer.Submit(first);
    ASSERT_TRUE(writer.Flush());
    ASSERT_EQ(writer.Writes(), 1u);

    ModuleState last = first;
    for (int i = 0; i < 200; ++i) {
        last.blocks[i % 5][1] = static_cast<std::uint8_t>(i);
        writer.Submit(last);
    }
    // Within the interval nothing more is written: the file still holds the first state.
    EXPECT_EQ(writer.Writes(), 1u);
    EXPECT_EQ(LoadState(path_).state, first);

    // Flush does not wait the interval out, and writes only the newest state, once.
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(writer.Writes(), 2u);
    EXPECT_EQ(LoadState(path_).state, last);
    // Nothing left: a second Flush writes nothing.
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(writer.Writes(), 2u);
}

TEST_F(EmulatorStateFile, StoppingWriterDoesNotWaitTheIntervalOut) {
    ModuleState last = NewState("00000001", 1);
    {
        StateWriter writer(path_, kForever);
        writer.Submit(last);
        ASSERT_TRUE(writer.Flush());
        last.blocks[4][7] ^= 0x5A;
        writer.Submit(last);
    }
    EXPECT_EQ(LoadState(path_).state, last);
}

TEST_F(EmulatorStateFile, WriterThreadIsBornWithEverySignalBlocked) {
    // Created from a thread that leaves SIGTERM open, as a program's main thread does
    // before it blocks anything.
    sigset_t open, previous;
    sigemptyset(&open);
    sigaddset(&open, SIGTERM);
    ASSERT_EQ(pthread_sigmask(SIG_UNBLOCK, &open, &previous), 0);
    const auto before = kv::testing::ProcThreads(::getpid());
    std::vector<pid_t> born;
    {
        StateWriter writer(path_);
        for (pid_t tid : kv::testing::ProcThreads(::getpid()))
            if (std::find(before.begin(), before.end(), tid) == before.end()) born.push_back(tid);
        ASSERT_EQ(born.size(), 1u);
        // Read at once: the thread never had a moment with SIGTERM open, and does not
        // have to run first to close it.
        const auto blocked =
            kv::testing::ProcSignalSet(kv::testing::ProcStatusFile(::getpid(), born[0]), "SigBlk");
        ASSERT_TRUE(blocked);
        EXPECT_TRUE(kv::testing::SignalInSet(*blocked, SIGTERM));
        EXPECT_TRUE(kv::testing::SignalInSet(*blocked, SIGINT));
    }
    // The creator's own signals are as they were.
    sigset_t now;
    ASSERT_EQ(pthread_sigmask(SIG_SETMASK, &previous, &now), 0);
    EXPECT_FALSE(sigismember(&now, SIGTERM));
}

TEST_F(EmulatorStateFile, WriterReportsAFailedWrite) {
    StateWriter writer(dir_ + "/missing-folder/module.state");
    writer.Submit(NewState("00000001", 1));
    EXPECT_FALSE(writer.Flush());
}

}  // namespace
}  // namespace kv::emu
