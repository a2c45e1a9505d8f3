#pragma once

// What the end-to-end tests of kv3380u share: a scratch folder with a settings file that
// names loopback modules only, an emulator, the options that name it, and a backup file
// edited as a person edits it.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "core/Dekl.h"
#include "emulator/StateFile.h"
#include "tests/support/CliProcess.h"
#include "tests/support/CliSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ScratchFolder.h"

namespace kv::testing {

// The file with one setting of one section changed, as a person edits it.
inline std::string Edited(const std::string& text, const std::string& section,
                          const std::string& key, const std::string& value) {
    std::vector<std::string> lines = Lines(text);
    bool in = false;
    bool done = false;
    for (std::string& line : lines) {
        if (!line.empty() && line[0] == '[') in = line == "[" + section + "]";
        if (in && !done && line.rfind(key + "=", 0) == 0) {
            line = key + "=" + value;
            done = true;
        }
    }
    EXPECT_TRUE(done) << section << " " << key;
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

// The named values of every section, as a restore would take them.
inline std::vector<std::vector<std::string>> Values(const std::string& text) {
    const BackupRead read = ReadBackupText(text);
    EXPECT_TRUE(read.problems.empty()) << read.problems.front().text;
    std::vector<std::vector<std::string>> values;
    for (const auto& section : read.document.sections) values.push_back(section.values);
    return values;
}

// The emulator's stored blocks changed by `change` between two of its runs: the emulator
// is stopped and its state file rewritten; the caller starts it again.
inline void ChangeStoredBlocks(EmulatorProcess& emulator,
                               const std::function<void(emu::BlockSet&)>& change) {
    ASSERT_GE(emulator.Stop(), 0);
    emu::LoadResult loaded = emu::LoadState(emulator.StatePath());
    ASSERT_EQ(loaded.kind, emu::LoadResult::kLoaded) << loaded.error;
    change(loaded.state.blocks);
    std::string error;
    ASSERT_TRUE(emu::SaveState(emulator.StatePath(), loaded.state, &error)) << error;
}

// VLAN2's stored block with one byte flipped: its checksum no longer holds.
inline void SpoilVlan2Block(emu::BlockSet& blocks) {
    blocks[2][40] ^= 0x5A;
}

class CliEmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        // No stored settings of this machine's user: the options say everything, and
        // what they leave to the file stays on loopback.
        ConnectionSettings settings;
        settings.interfaceKind = 1;
        settings.qudpTargetIp = settings.kvIpAddress = settings.lanIpAddress = "127.0.0.1";
        ASSERT_TRUE(SaveSettings(&settings, Settings()));
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << "emulator output:\n" << emu_.Log();
    }

    std::string Settings() const { return dir_.File("settings.ini"); }
    std::string File(const std::string& name) const { return dir_.File(name); }

    // With `targets` the address is left to the targets (--ip beside them is a mistake).
    std::vector<std::string> Connection(const EmulatorProcess& emu, int timeoutMs = 1000,
                                        bool targets = false) const {
        std::vector<std::string> args = {"--settings", Settings(), "--kind", "LAN QUDP"};
        if (!targets) args.insert(args.end(), {"--ip", emu.Address()});
        args.insert(args.end(), {"--port", std::to_string(emu.ManagementPort()), "--timeout",
                                 std::to_string(timeoutMs)});
        return args;
    }
    CliOutcome Cli(std::vector<std::string> args, const EmulatorProcess& emu,
                   const CliRunOptions& options = {}) const {
        const bool targets = std::find(args.begin(), args.end(), "--targets") != args.end();
        for (const std::string& a : Connection(emu, 1000, targets)) args.push_back(a);
        return RunCli(args, options);
    }
    std::string Backup(const EmulatorProcess& emu, const std::string& name) {
        const CliOutcome run = Cli({"backup", File(name)}, emu);
        EXPECT_EQ(run.code, 0) << run.err;
        return ReadBytes(File(name));
    }

    ScratchFolder dir_;
    EmulatorProcess emu_;
};

}  // namespace kv::testing
