// kv_editor_bench: what an editor window adds to a module operation. "Přečíst" and
// "Zapsat" of the network parameters window (offscreen), from the click to the final
// status text (the call goes to the connection's worker and back), beside the bare Transact and
// WriteBlockVerified of the same block, in turns in the same run. Starts its own emulator on
// 127.0.0.x; sends nothing anywhere else. Every loop is bounded by a count and by wall-clock time.
//
//   kv_editor_bench [rounds] [--kind 0|1] [--spread] [--fifo] [--state-dir D]
//
// rounds: of each measurement (default 500, at least 200, at most 20000).
// --kind: the transport, 1 (LAN QUDP, default) or 0 (the virtual USB device).
// --spread, --fifo, --state-dir: as for kv_bench.

#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "connection/Pripojeni.h"
#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "editors/SitoveParam.h"
#include "editors/SitoveParamForm.h"
#include "forms/ModuleCalls.h"
#include "platform/ProgramFolder.h"
#include "tests/support/EmulatorProcess.h"
#include "transport/Qxxx380.h"

namespace {

using kvbench::Padded;
using kvbench::Series;

using Clock = std::chrono::steady_clock;
constexpr auto kCap = std::chrono::seconds(120);
constexpr int kWarmUp = 20;

int Usage() {
    std::fprintf(
        stderr,
        "usage: kv_editor_bench [rounds] [--kind 0|1] [--spread] [--fifo] [--state-dir D]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = 500;
    int kind = 1;
    bool spread = false, fifo = false;
    std::string parent;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--spread") {
            spread = true;
        } else if (arg == "--fifo") {
            fifo = true;
        } else if (arg == "--state-dir" && i + 1 < argc) {
            parent = argv[++i];
        } else if (arg == "--kind" && i + 1 < argc) {
            kind = std::atoi(argv[++i]);
            if (kind != 0 && kind != 1) return Usage();
        } else {
            char* end = nullptr;
            rounds = std::strtol(arg.c_str(), &end, 10);
            if (end == nullptr || *end != '\0' || rounds < 200 || rounds > 20000) return Usage();
        }
    }
    if (!spread) {
        // The emulator inherits the mask: both share one CPU, as in kv_bench.
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(sched_getcpu(), &set);
        sched_setaffinity(0, sizeof set, &set);
    }
    if (fifo) {
        sched_param param{};
        param.sched_priority = 1;
        if (sched_setscheduler(0, SCHED_FIFO, &param) != 0) {
            std::fprintf(stderr, "kv_editor_bench: --fifo: %s\n", std::strerror(errno));
            return 2;
        }
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

    kv::platform::SetProgramFolderForTesting(KV_BIN_DIR);
    if (parent.empty()) parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    kv::testing::EmulatorProcess emu(parent);
    if (!emu.Start()) {
        std::fprintf(stderr, "kv_editor_bench: the emulator did not start:\n%s", emu.Log().c_str());
        return 1;
    }
    setenv("KV3380U_USB_DIR", emu.UsbFolder().c_str(), 1);

    int qtArgc = 1;
    char name[] = "kv_editor_bench";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);

    // Connected as the dialog connects.
    kv::ConnectionSettings settings;
    kv::Connection connection;
    kv::ConnectionInput input;
    input.kindPosition = kind;
    input.addressText = "0";
    input.speedPosition = 4;
    input.firstText = kind == 1 ? emu.Address() : "";
    input.secondText = kind == 1 ? std::to_string(emu.ManagementPort()) : "";
    input.thirdText = "1000";
    input.detectionPosition = 0;
    const kv::ConnectionOutcome connected =
        kv::InitialiseConnection(input, settings, connection, {});
    if (!connected.success) {
        std::fprintf(stderr, "kv_editor_bench: no connection: %s\n", connected.statusText.c_str());
        return 1;
    }

    // The window's calls run on the worker; the bare ones below on this thread, while the
    // worker waits.
    kv::ConnectionWorker worker(connection);
    TFormLanParam window(settings, worker);
    const auto* calls = window.findChild<kvforms::ModuleCalls*>();
    auto settle = [&] {
        while (calls->InFlight())
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    };
    window.show();
    QElapsedTimer exposed;
    exposed.start();
    while (!(window.windowHandle() != nullptr && window.windowHandle()->isExposed()) &&
           exposed.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);

    const kv::BlockWords block =
        kv::BlockToWords(kv::EncodeNetworkParameters(settings.moduleConfig));
    const kv::ModuleLink link = connection.Link();
    std::vector<Series> series;
    series.emplace_back("window \"Přečíst\", click to final status", [&] {
        window.Button1->click();
        settle();
        return window.StatusBar1->text() == QStringLiteral(" Konfigurace přečtena.");
    });
    series.emplace_back("bare Transact 204/1 of block 254", [&] {
        kv::DataBuffer data{};
        data[1] = 254;
        return link.Transact(kv::kReadBlockRequest, data).Ok();
    });
    series.emplace_back("window \"Zapsat\", click to final status", [&] {
        window.Button2->click();
        settle();
        return window.StatusBar1->text() == QStringLiteral(" Konfigurace zapsána.");
    });
    series.emplace_back("bare WriteBlockVerified of block 254",
                        [&] { return link.WriteBlockVerified(254, block).Ok(); });

    const auto end = Clock::now() + kCap;
    for (int i = 0; i < kWarmUp; ++i)
        for (auto& s : series) s.op();
    for (long r = 0; r < rounds && Clock::now() < end; ++r) {
        for (auto& s : series) {
            // Whatever the window posted for later is handled outside the measurement.
            QApplication::processEvents();
            const auto t0 = Clock::now();
            const bool ok = s.op();
            const auto t1 = Clock::now();
            if (ok)
                s.us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            else
                ++s.failures;
        }
    }
    window.close();
    worker.Finish();
    emu.Stop();

    std::printf("kind %d (%s), emulator on %s, %s%s\n", kind,
                kind == 1 ? "QQUDP.DLL" : "QUSBVX.DLL", emu.Address().c_str(),
                spread ? "processes placed by the scheduler" : "one CPU",
                fifo ? ", FIFO policy" : "");
    std::printf("%-44s %6s %10s %10s %7s\n", "operation", "n", "median us", "p99 us", "failed");
    std::size_t failed = 0;
    for (const auto& s : series) {
        std::printf("%s %6zu %10.1f %10.1f %7zu\n", Padded(s.name, 44).c_str(), s.us.size(),
                    s.Percentile(50), s.Percentile(99), s.failures);
        failed += s.failures;
    }
    std::printf("\nwhat the window adds to the median (aim: at most 1000 us each)\n");
    std::printf("  \"Přečíst\" - Transact            %8.1f us\n",
                series[0].Percentile(50) - series[1].Percentile(50));
    std::printf("  \"Zapsat\"  - WriteBlockVerified  %8.1f us\n",
                series[2].Percentile(50) - series[3].Percentile(50));
    return failed == 0 ? 0 : 1;
}
