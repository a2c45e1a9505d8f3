// kv_cli_bench: what the command-line program's backup and restore cost beside the bare
// exchanges they are made of, in turns in the same run against an emulator of its own on
// 127.0.0.x. A backup is five block reads; a restore of one changed block is the three
// exchanges of the verified write, after the block reads of its comparison. Every loop is
// bounded by a count and by wall-clock time.
//
//   kv_cli_bench [rounds] [--kind 0|1]
//
// rounds: of each measurement (default 300, at least 50, at most 20000).
// --kind: the transport, 1 (LAN QUDP, default) or 0 (the virtual USB device).

#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "cli/Commands.h"
#include "editors/EditorTable.h"
#include "editors/NastavLAN.h"
#include "platform/ProgramFolder.h"
#include "tests/support/EmulatorProcess.h"
#include "transport/Qxxx380.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kCap = std::chrono::seconds(120);
constexpr int kWarmUp = 10;

struct Quiet : kv::cli::Output {
    void Print(const std::string&) override {}
    void Report(const std::string&) override {}
};

// A timed operation and the exchanges with the module it costs.
struct Series : kvbench::Series {
    Series(std::string n, int e, std::function<bool()> o)
        : kvbench::Series(std::move(n), std::move(o)), exchanges(e) {}

    int exchanges;
};

using kvbench::Padded;

int Usage() {
    std::fprintf(stderr, "usage: kv_cli_bench [rounds] [--kind 0|1]\n");
    return 2;
}

bool ReadBlock(const kv::ModuleLink& link, std::uint16_t block) {
    kv::DataBuffer data{};
    data[1] = block & 0xFF;
    data[2] = block >> 8;
    return link.Transact(kv::kReadBlockRequest, data).Ok();
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = 300;
    int kind = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--kind" && i + 1 < argc) {
            kind = std::atoi(argv[++i]);
            if (kind != 0 && kind != 1) return Usage();
        } else {
            char* end = nullptr;
            rounds = std::strtol(arg.c_str(), &end, 10);
            if (end == nullptr || *end != '\0' || rounds < 50 || rounds > 20000) return Usage();
        }
    }
    // The emulator inherits the mask: both share one CPU, as in kv_bench.
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(sched_getcpu(), &set);
    sched_setaffinity(0, sizeof set, &set);

    kv::platform::SetProgramFolderForTesting(KV_BIN_DIR);
    kv::testing::EmulatorProcess emu(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    if (!emu.Start()) {
        std::fprintf(stderr, "kv_cli_bench: the emulator did not start:\n%s", emu.Log().c_str());
        return 1;
    }
    setenv("KV3380U_USB_DIR", emu.UsbFolder().c_str(), 1);

    kv::cli::ConnectionOptions options;
    const std::string settingsFile = emu.Folder() + "/settings.ini";
    if (FILE* f = std::fopen(settingsFile.c_str(), "w")) {
        std::fputs("[kv]\n", f);
        std::fclose(f);
    }
    options.settingsFile = settingsFile;
    options.kind = std::to_string(kind);
    if (kind == 1) {
        options.ip = emu.Address();
        options.port = std::to_string(emu.ManagementPort());
    }
    options.timeout = "1000";

    kv::ConnectionSettings stored;
    kv::ConnectionRequest input;
    Quiet quiet;
    if (kv::cli::LoadConnectionSettings(options, stored) ||
        kv::cli::BuildConnectionRequest(stored, options, input)) {
        std::fprintf(stderr, "kv_cli_bench: bad connection options\n");
        return 1;
    }
    kv::Connection connection;
    kv::ConnectionOutcome opened;
    if (!kv::cli::OpenConnection(connection, stored, input, quiet, false, &opened)) {
        std::fprintf(stderr, "kv_cli_bench: no connection: %s\n", opened.statusText.c_str());
        return 1;
    }
    const kv::ModuleLink link = connection.Link();

    // Two backups that differ in one block (VLAN2's port): each restore writes one block.
    std::vector<kv::BackupBlock> blocks;
    if (kv::cli::ReadAllBlocks(link, blocks, quiet) != kv::cli::kExitOk) return 1;
    kv::BackupDocument docs[2];
    for (int d = 0; d < 2; ++d) {
        std::string text = kv::BackupText({"KV-3380U bench", "", ""}, blocks);
        const std::string from = "Číslo UDP portu=" + std::to_string(5001);
        const std::string to = "Číslo UDP portu=" + std::to_string(6001 + d);
        const auto vlan2 = text.find("[vlan2]");
        const auto at = text.find(from, vlan2);
        if (at == std::string::npos) {
            std::fprintf(stderr, "kv_cli_bench: the module's VLAN2 port is not 5001\n");
            return 1;
        }
        text.replace(at, from.size(), to);
        const kv::BackupRead read = kv::ReadBackupText(text);
        if (!read.problems.empty()) return 1;
        docs[d] = read.document;
    }
    const std::vector<std::uint16_t> all = kv::WriteOrder();
    const std::vector<std::uint16_t> vlan2 = {static_cast<std::uint16_t>(kv::kFirstVlanBlock + 1)};
    // The VLAN2 block each backup leaves in the module, for the bare writes.
    kv::ConfigBlock targets[2];
    for (int d = 0; d < 2; ++d) {
        if (kv::cli::RestoreModule(link, docs[d], vlan2, false, "b", quiet).code !=
                kv::cli::kExitOk ||
            kv::ReadConfigBlock(link, vlan2[0], targets[d], {}).result != kv::TransferResult::kDone)
            return 1;
    }
    int turn = 1;  // docs[1] is in the module

    std::vector<Series> series;
    series.emplace_back("backup: ReadAllBlocks (5 block reads)", 5, [&] {
        std::vector<kv::BackupBlock> b;
        return kv::cli::ReadAllBlocks(link, b, quiet) == kv::cli::kExitOk;
    });
    series.emplace_back("bare: 5 x Transact 204/1", 5, [&] {
        for (std::uint16_t b = 250; b <= 254; ++b)
            if (!ReadBlock(link, b)) return false;
        return true;
    });
    series.emplace_back("restore, all 5 blocks, 1 changed", 5 + 3, [&] {
        turn ^= 1;
        const auto r = kv::cli::RestoreModule(link, docs[turn], all, false, "b", quiet);
        return r.code == kv::cli::kExitOk && r.written.size() == 1;
    });
    series.emplace_back("restore --only vlan2, 1 changed", 3 + 3, [&] {
        turn ^= 1;
        const auto r = kv::cli::RestoreModule(link, docs[turn], vlan2, false, "b", quiet);
        return r.code == kv::cli::kExitOk && r.written.size() == 1;
    });
    // What the last restore left in the module, written again: the same three exchanges.
    series.emplace_back("bare: WriteBlockVerified (3 exchanges)", 3, [&] {
        return link.WriteBlockVerified(vlan2[0], kv::BlockToWords(targets[turn])).Ok();
    });
    series.emplace_back("bare: 5 reads + WriteBlockVerified", 5 + 3, [&] {
        for (std::uint16_t b = 250; b <= 254; ++b)
            if (!ReadBlock(link, b)) return false;
        return link.WriteBlockVerified(vlan2[0], kv::BlockToWords(targets[turn])).Ok();
    });
    const auto end = Clock::now() + kCap;
    long done = 0;
    auto measure = [&](std::size_t first) {
        for (int i = 0; i < kWarmUp; ++i)
            for (std::size_t k = first; k < series.size(); ++k) series[k].op();
        long n = 0;
        for (; n < rounds && Clock::now() < end; ++n) {
            for (std::size_t k = first; k < series.size(); ++k) {
                Series& x = series[k];
                const auto t0 = Clock::now();
                const bool ok = x.op();
                const auto t1 = Clock::now();
                if (ok)
                    x.us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
                else
                    ++x.failures;
            }
        }
        return n;
    };
    done = measure(0);
    connection.Close();

    // The whole commands, each making and closing its own connection (library load, three
    // identification requests) as the program does: one connection at a time, so apart.
    const std::size_t whole = series.size();
    const std::string files[2] = {emu.Folder() + "/one.ini", emu.Folder() + "/two.ini"};
    for (int d = 0; d < 2; ++d) {
        std::vector<kv::BackupBlock> now = blocks;
        kv::ConfigBlock edited = targets[d];
        for (auto& b : now)
            if (b.number == vlan2[0]) b.bytes = edited;
        if (FILE* f = std::fopen(files[d].c_str(), "w")) {
            const std::string text = kv::BackupText({"KV-3380U bench", "", ""}, now);
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
    series.emplace_back("command: backup (connect + 5 reads + file)", 3 + 5, [&] {
        return kv::cli::RunBackup(options, {emu.Folder() + "/b.ini"}, quiet) == kv::cli::kExitOk;
    });
    series.emplace_back("command: restore, 1 of 5 blocks changed", 3 + 5 + 3, [&] {
        turn ^= 1;
        kv::cli::RestoreOptions restore;
        restore.file = files[turn];
        return kv::cli::RunRestore(options, restore, quiet) == kv::cli::kExitOk;
    });
    measure(whole);
    emu.Stop();

    std::printf("kind %d (%s), emulator on %s, %ld rounds\n", kind,
                kind == 1 ? "LAN QUDP" : "USBVx", emu.Address().c_str(), done);
    std::printf("%s %9s %9s %9s %12s %8s\n", Padded("operation", 44).c_str(), "exch.", "p50 us",
                "p90 us", "p50/exch us", "failed");
    for (const auto& x : series)
        std::printf("%s %9d %9.0f %9.0f %12.0f %8zu\n", Padded(x.name, 44).c_str(), x.exchanges,
                    x.Percentile(50), x.Percentile(90), x.Percentile(50) / x.exchanges, x.failures);
    return 0;
}
