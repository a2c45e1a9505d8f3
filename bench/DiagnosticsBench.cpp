// kv_diag_bench: the diagnostics window polling the emulator, offscreen. Starts its own
// emulator on 127.0.0.x and sends nothing anywhere else; every phase is bounded by its
// duration.
//
//   kv_diag_bench [seconds] [--idle-seconds S] [--silent-seconds S] [--timeout MS] [--usb]
//
// seconds: how long the window polls an answering emulator (default 20, at most 600).
// --idle-seconds S: how long the window first ticks without a connection, sending
//   nothing (default 5; 0 skips it): what the window itself costs.
// --silent-seconds S: how long it then polls a silent one (default 10; 0 skips it).
// --timeout MS: the library's time-out for the silent phase (default 500).
// --usb: reach the emulator through the virtual USB device instead of the LAN transport.
//
// Figures: the period between the starts of consecutive cycles (the timer is started
// again when a cycle ends, so it should be 100 ms plus the cycle's two exchanges), the
// time of the exchanges themselves, and the process's CPU time (getrusage) while the
// window polls. Against a silent module each cycle should be one attempt that lasts the
// time-out, then 100 ms until the next.

#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "connection/Pripojeni.h"
#include "core/Dekl.h"
#include "diagnostics/DiagnostikaForm.h"
#include "forms/ModuleCalls.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ProgramFolder.h"

namespace {

using kvbench::Percentile;

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Polling {
    std::vector<Clock::time_point> starts;
    std::vector<Clock::time_point> ends;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    std::string lastStatus;
};

// Opens the window, lets it poll for the duration and closes it. A cycle starts with the
// timer's signal and ends when its outcome has come back from the worker: the first time
// the window's calls, after handling what arrived, have none in flight (without a
// connection the cycle ends in the timer's slot).
Polling Poll(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker, int seconds) {
    Polling out;
    TFormDiagnostika form(settings, worker, kv::Vlan::FromIndex(0));
    const auto* calls = form.findChild<kvforms::ModuleCalls*>();
    QObject::disconnect(form.Timer1, &QTimer::timeout, &form, nullptr);
    QObject::connect(form.Timer1, &QTimer::timeout, [&] { out.starts.push_back(Clock::now()); });
    QObject::connect(form.Timer1, &QTimer::timeout, &form, &TFormDiagnostika::Timer1Timer);
    auto ended = [&] {
        if (!calls->InFlight() && out.ends.size() < out.starts.size())
            out.ends.push_back(Clock::now());
    };
    QObject::connect(form.Timer1, &QTimer::timeout, ended);
    QObject::connect(calls, &kvforms::ModuleCalls::Arrived, &form, ended, Qt::QueuedConnection);
    form.show();

    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    const double cpu = CpuSeconds();
    const auto begin = Clock::now();
    loop.exec();
    out.cpuSeconds = CpuSeconds() - cpu;
    out.wallSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    out.lastStatus = kvforms::FromQt(form.StatusBar1->text());
    form.Button1->click();
    return out;
}

void Report(const char* title, const Polling& p, double expectedPeriodMs) {
    std::vector<double> periods, exchanges;
    for (std::size_t i = 1; i < p.starts.size(); ++i)
        periods.push_back(Ms(p.starts[i] - p.starts[i - 1]));
    for (std::size_t i = 0; i < p.starts.size() && i < p.ends.size(); ++i)
        exchanges.push_back(Ms(p.ends[i] - p.starts[i]));
    // What the timer adds beyond its 100 ms to the end of the previous cycle.
    std::vector<double> gaps;
    for (std::size_t i = 1; i < p.starts.size() && i <= p.ends.size(); ++i)
        gaps.push_back(Ms(p.starts[i] - p.ends[i - 1]) - 100.0);

    std::printf("%s\n", title);
    std::printf("  cycles: %zu in %.1f s; last status \"%s\"\n", p.starts.size(), p.wallSeconds,
                p.lastStatus.c_str());
    std::printf("  period between starts: median %.2f ms, p99 %.2f ms, min %.2f, max %.2f\n",
                Percentile(periods, 50), Percentile(periods, 99), Percentile(periods, 0),
                Percentile(periods, 100));
    std::printf("  the cycle's exchanges: median %.3f ms, p99 %.3f ms\n", Percentile(exchanges, 50),
                Percentile(exchanges, 99));
    std::printf("  start after the previous end, beyond 100 ms: median %.3f ms, p99 %.3f ms\n",
                Percentile(gaps, 50), Percentile(gaps, 99));
    std::printf("  median period - (100 ms + median exchanges): %.3f ms\n",
                Percentile(periods, 50) - expectedPeriodMs);
    std::printf("  CPU time: %.3f s = %.2f %% of one core\n", p.cpuSeconds,
                100.0 * p.cpuSeconds / std::max(p.wallSeconds, 1e-9));
}

double MedianExchange(const Polling& p) {
    std::vector<double> exchanges;
    for (std::size_t i = 0; i < p.starts.size() && i < p.ends.size(); ++i)
        exchanges.push_back(Ms(p.ends[i] - p.starts[i]));
    return Percentile(exchanges, 50);
}

bool Connect(kv::ConnectionSettings& settings, kv::Connection& connection,
             const kv::testing::EmulatorProcess& emu, bool usb, int timeoutMs) {
    kv::ConnectionInput in;
    in.kindPosition = usb ? 0 : 1;
    in.addressText = "0";
    in.speedPosition = 4;
    in.detectionPosition = 0;
    if (usb) {
        in.secondText = emu.Serial();
        in.thirdText = std::to_string(timeoutMs);
    } else {
        in.firstText = emu.Address();
        in.secondText = std::to_string(emu.ManagementPort());
        in.thirdText = std::to_string(timeoutMs);
    }
    const kv::ConnectionOutcome out = kv::InitialiseConnection(in, settings, connection, nullptr);
    if (!out.success) std::fprintf(stderr, "kv_diag_bench: %s\n", out.statusText.c_str());
    return out.success;
}

// A silent module never identifies itself, so the connection is opened as the
// initialisation would leave it, without the identification.
bool OpenSilent(kv::ConnectionSettings& settings, kv::Connection& connection,
                const kv::testing::EmulatorProcess& emu, int timeoutMs) {
    static std::string address;
    address = emu.Address();
    kv::InitBlock block{};
    block[0] = reinterpret_cast<std::uintptr_t>(address.c_str());
    block[1] = emu.ManagementPort();
    block[2] = static_cast<std::uintptr_t>(timeoutMs);
    block[3] = emu.ManagementPort();
    std::uint32_t handle = 0;
    if (connection.OpenTransport(1, &handle, block) != 0 || handle == 0) return false;
    settings.interfaceKind = 1;
    settings.handle = handle;
    settings.connected = true;
    return connection.ConfigureTransport(9600, static_cast<std::uint32_t>(timeoutMs), 2) == 0;
}

// The window's calls end, then the connection is closed on the worker.
void Close(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker) {
    worker.Finish();
    settings.connected = false;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kv_diag_bench [seconds] [--idle-seconds S] [--silent-seconds S] "
                 "[--timeout MS] [--usb]\n");
    return 2;
}

bool Parse(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20, idleSeconds = 5, silentSeconds = 10, timeoutMs = 500;
    bool usb = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--usb") {
            usb = true;
        } else if (arg == "--idle-seconds" && i + 1 < argc) {
            if (!Parse(argv[++i], 0, 600, idleSeconds)) return Usage();
        } else if (arg == "--silent-seconds" && i + 1 < argc) {
            if (!Parse(argv[++i], 0, 600, silentSeconds)) return Usage();
        } else if (arg == "--timeout" && i + 1 < argc) {
            if (!Parse(argv[++i], 50, 10000, timeoutMs)) return Usage();
        } else if (!Parse(argv[i], 1, 600, seconds)) {
            return Usage();
        }
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    kv::testing::ProgramFolder folder(kv::testing::RealLibraryFolder());
    const std::string parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    kv::ConnectionSettings settings;
    kv::Connection connection;
    kv::ConnectionWorker worker(connection);
    if (idleSeconds > 0) {
        char title[96];
        std::snprintf(title, sizeof title,
                      "no connection, the window ticking alone, %d s:", idleSeconds);
        const Polling p = Poll(settings, worker, idleSeconds);
        Report(title, p, 100.0 + MedianExchange(p));
    }
    {
        kv::testing::EmulatorProcess emu(parent);
        if (!emu.Start({"--lifetime", std::to_string(seconds + 60)})) {
            std::fprintf(stderr, "kv_diag_bench: emulator: %s\n", emu.Log().c_str());
            return 1;
        }
        setenv("KV3380U_USB_DIR", emu.UsbFolder().c_str(), 1);
        if (!Connect(settings, connection, emu, usb, 1000)) return 1;
        const Polling p = Poll(settings, worker, seconds);
        Close(settings, worker);
        char title[128];
        std::snprintf(title, sizeof title, "answering emulator, %s, %d s:",
                      usb ? "virtual USB device (kind 0)" : "LAN transport (kind 1)", seconds);
        Report(title, p, 100.0 + MedianExchange(p));
    }
    if (silentSeconds > 0) {
        kv::testing::EmulatorProcess emu(parent);
        if (!emu.Start({"--silent", "--lifetime", std::to_string(silentSeconds + 60)})) {
            std::fprintf(stderr, "kv_diag_bench: emulator: %s\n", emu.Log().c_str());
            return 1;
        }
        if (!OpenSilent(settings, connection, emu, timeoutMs)) return 1;
        const Polling p = Poll(settings, worker, silentSeconds);
        Close(settings, worker);
        char title[128];
        std::snprintf(
            title, sizeof title,
            "silent emulator, LAN transport, time-out %d ms, %d s (expect %d ms a cycle):",
            timeoutMs, silentSeconds, timeoutMs + 100);
        Report(title, p, timeoutMs + 100.0);
    }
    return 0;
}
