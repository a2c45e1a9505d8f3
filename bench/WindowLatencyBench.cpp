// kv_window_bench: how late the window thread answers while each window works against a
// slow module and a silent one, and how soon "Cancel" closes the diagnostics window. The
// windows are driven through the main window's menu, offscreen, against emulators it
// starts on 127.0.0.x; nothing is sent anywhere else, and every wait is bounded.
//
//   kv_window_bench [--delay MS] [--timeout MS]
//
// --delay MS: how late the slow emulator answers (default 1500).
// --timeout MS: the connection's time-out (the dialog's "LAN timeout", default 5000).
//
// A probe timer fires every 10 ms on the window thread and records how late each tick
// comes: the time since the previous tick beyond 10 ms (and at the end of a phase, the
// time since its last tick). A window that waits for the module on its own thread holds
// the probe back for as long. Each window's phase: the
// connection dialog's "Inicializace připojení"; "Přečíst" and "Zapsat" of the network
// parameters; "Přečíst" of the remote management and of VLAN1; the diagnostics of VLAN1
// polling until a refresh has come back, then "Cancel" 1 s later, in the middle of the
// next refresh; "Restart". Against the slow emulator first (connected through the
// dialog), then against a silent one in its place (the connection dialog last there).
// Cancel to closed: from the moment the click was due to the moment the window's modal
// loop returned.

#include <stdlib.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/HlavniForm.h"
#include "bench/BenchSupport.h"
#include "connection/PripojeniForm.h"
#include "core/Dekl.h"
#include "diagnostics/DiagnostikaForm.h"
#include "diagnostics/RestartZarizeniForm.h"
#include "editors/NastavLANForm.h"
#include "editors/SitoveParamForm.h"
#include "editors/VzdalenaSpravaForm.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ProgramFolder.h"
#include "transport/InterfaceKinds.h"

namespace {

using Clock = std::chrono::steady_clock;
using kvbench::Padded;
using kvbench::Percentile;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The lateness of a 10 ms timer on the window thread, by phase.
class Probe {
  public:
    Probe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            if (!phase_.empty()) late_[phase_].push_back(Ms(now - last_) - 10.0);
            last_ = now;
        });
    }
    void Phase(const std::string& name) {
        Close();
        phase_ = name;
        order_.push_back(name);
        last_ = Clock::now();
        timer_.start();
    }
    void Stop() {
        Close();
        timer_.stop();
        phase_.clear();
    }
    const std::vector<std::string>& Order() const { return order_; }
    const std::vector<double>& Late(const std::string& phase) { return late_[phase]; }

  private:
    // A window that held the thread until its phase ended let no tick come at all: the
    // time since the last tick counts for the phase too.
    void Close() {
        if (phase_.empty()) return;
        const double pending = Ms(Clock::now() - last_) - 10.0;
        if (pending > 0) late_[phase_].push_back(pending);
    }

    QTimer timer_;
    std::string phase_;
    Clock::time_point last_;
    std::vector<std::string> order_;
    std::map<std::string, std::vector<double>> late_;
};

// Lets the event loop run until the condition holds; false after the limit.
bool WaitUntil(const std::function<bool()>& condition, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

template <typename W>
W* FindOpen() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<W*>(w); found != nullptr && found->isVisible()) return found;
    return nullptr;
}

// Opens the window through the menu item, runs the script on it inside its modal loop and
// returns when that loop has ended (the script closes the window; after a minute it is
// closed anyway).
template <typename W>
Clock::time_point Drive(QAction* item, const std::function<void(W*)>& script) {
    bool done = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        W* window = FindOpen<W>();
        if (window == nullptr || done) return;
        done = true;
        poll.stop();
        QTimer::singleShot(60000, window, [window] { window->close(); });
        script(window);
    });
    poll.start();
    item->trigger();
    return Clock::now();
}

// A status the window's call has left: not the marker put there before it, not the blank
// of a passed check, not a text of progress or waiting.
bool Final(const QString& text, const QString& marker) {
    const QString t = text.trimmed();
    return text != marker && !t.isEmpty() && !t.startsWith(QString::fromUtf8("Probíhá")) &&
           !t.startsWith(QString::fromUtf8("Čekám"));
}

int timeoutMs = 5000;

// Clicks the buttons in turn, each once the one before has left its final status.
template <typename W>
void ReadOrWrite(QAction* item, const std::vector<QPushButton * W::*>& buttons, std::string& last) {
    Drive<W>(item, [&](W* w) {
        for (QPushButton* W::*button : buttons) {
            w->StatusBar1->SetText("x");
            const QString marker = w->StatusBar1->text();
            (w->*button)->click();
            WaitUntil([&] { return Final(w->StatusBar1->text(), marker); }, 3 * timeoutMs + 5000);
            last = w->StatusBar1->text().toStdString();
        }
        w->close();
    });
}

struct Figures {
    double cancelToClosedMs = -1;
    std::map<std::string, std::string> last;  // the final status of each phase
};

Figures RunPhases(TForm1& main, Probe& probe, const std::string& emulator, bool connectFirst) {
    Figures figures;
    auto connect = [&] {
        probe.Phase(emulator + ": Připojení, Inicializace připojení");
        Drive<TForm2>(main.Pipojen1, [&](TForm2* d) {
            d->Panel1->setText("x");
            d->Button1->click();
            WaitUntil([&] { return Final(d->Panel1->text(), "x"); }, 6 * timeoutMs + 5000);
            figures.last["connect"] = d->Panel1->text().toStdString();
            d->close();
        });
    };
    if (connectFirst) connect();

    probe.Phase(emulator + ": Síťové parametry, Přečíst + Zapsat");
    ReadOrWrite<TFormLanParam>(main.NastavAIN1, {&TFormLanParam::Button1, &TFormLanParam::Button2},
                               figures.last["network"]);
    probe.Phase(emulator + ": Vzdálená správa LAN, Přečíst");
    ReadOrWrite<TFormVzdalenaSprava>(main.Vzdlensprva1, {&TFormVzdalenaSprava::Button2},
                                     figures.last["remote"]);
    probe.Phase(emulator + ": Rozhraní VLAN1, Přečíst");
    ReadOrWrite<TFormNastavLAN>(main.NastavLAN1, {&TFormNastavLAN::Button2}, figures.last["vlan"]);

    probe.Phase(emulator + ": Diagnostika VLAN1, a refresh, Cancel during the next");
    Clock::time_point due;
    const Clock::time_point closed =
        Drive<TFormDiagnostika>(main.RozhranLAN11, [&](TFormDiagnostika* d) {
            WaitUntil([&] { return Final(d->StatusBar1->text(), " "); }, 3 * timeoutMs + 5000);
            figures.last["diagnostics"] = d->StatusBar1->text().toStdString();
            due = Clock::now() + std::chrono::milliseconds(1000);
            QTimer::singleShot(1000, Qt::PreciseTimer, d, [d] { d->Button1->click(); });
        });
    figures.cancelToClosedMs = Ms(closed - due);

    probe.Phase(emulator + ": Restart zařízení, Restart");
    Drive<TFormRestart>(main.Restartzazen1, [&](TFormRestart* r) {
        r->StatusBar1->SetText("x");
        const QString marker = r->StatusBar1->text();
        r->Button1->click();
        WaitUntil([&] { return Final(r->StatusBar1->text(), marker); }, 3 * timeoutMs + 5000);
        figures.last["restart"] = r->StatusBar1->text().toStdString();
        r->close();
    });
    if (!connectFirst) connect();
    probe.Stop();
    return figures;
}

void Report(Probe& probe, const std::string& emulator, const Figures& figures) {
    std::printf("%s\n", emulator.c_str());
    std::printf("  %s %6s %10s %10s\n", Padded("window, what it does", 62).c_str(), "ticks",
                "p99 ms", "worst ms");
    double worst = 0;
    for (const std::string& phase : probe.Order()) {
        if (phase.rfind(emulator + ": ", 0) != 0) continue;
        const std::vector<double>& late = probe.Late(phase);
        const double max = Percentile(late, 100);
        worst = std::max(worst, max);
        std::printf("  %s %6zu %10.1f %10.1f\n",
                    Padded(phase.substr(emulator.size() + 2), 62).c_str(), late.size(),
                    Percentile(late, 99), max);
    }
    std::printf("  worst lateness of the window thread: %.1f ms\n", worst);
    std::printf("  \"Cancel\" to the closed diagnostics window: %.1f ms\n",
                figures.cancelToClosedMs);
    for (const auto& [what, text] : figures.last)
        std::printf("  last status, %s: \"%s\"\n", what.c_str(), text.c_str());
}

int Usage() {
    std::fprintf(stderr, "usage: kv_window_bench [--delay MS] [--timeout MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int delayMs = 1500;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        int* target = arg == "--delay" ? &delayMs : arg == "--timeout" ? &timeoutMs : nullptr;
        if (target == nullptr || i + 1 >= argc) return Usage();
        char* end = nullptr;
        const long v = std::strtol(argv[++i], &end, 10);
        if (*end != '\0' || v < 0 || v > 65535) return Usage();
        *target = static_cast<int>(v);
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    kv::testing::ProgramFolder folder(kv::testing::RealLibraryFolder());
    const std::string parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    kv::testing::EmulatorProcess slow(parent);
    if (!slow.Start({"--delay", std::to_string(delayMs), "--lifetime", "600"})) {
        std::fprintf(stderr, "kv_window_bench: emulator: %s\n", slow.Log().c_str());
        return 1;
    }
    // The stored settings name the slow emulator over the LAN transport.
    {
        kv::ConnectionSettings stored;
        stored.interfaceKind = kv::kKindLanQudp;
        stored.qudpTargetIp = slow.Address();
        stored.qudpTargetPort = slow.ManagementPort();
        stored.qudpTimeout = timeoutMs;
        if (!kv::SaveSettings(&stored, folder.ini())) return 1;
    }

    TForm1 main;
    main.show();
    Probe probe;
    const std::string slowName = "emulator answering " + std::to_string(delayMs) +
                                 " ms late, time-out " + std::to_string(timeoutMs) + " ms";
    const Figures slowFigures = RunPhases(main, probe, slowName, true);
    if (main.settings() == nullptr || !main.settings()->connected) {
        std::fprintf(
            stderr, "kv_window_bench: no connection to the slow emulator: %s\n",
            slowFigures.last.count("connect") ? slowFigures.last.at("connect").c_str() : "");
        return 1;
    }

    // A silent module in its place, on the same address and port: the connection stays.
    const std::string port = std::to_string(slow.ManagementPort());
    slow.Stop();
    kv::testing::EmulatorProcess silent(parent);
    if (!silent.Start({"--silent", "--port", port, "--lifetime", "600"})) {
        std::fprintf(stderr, "kv_window_bench: emulator: %s\n", silent.Log().c_str());
        return 1;
    }
    const std::string silentName = "silent emulator, time-out " + std::to_string(timeoutMs) + " ms";
    const Figures silentFigures = RunPhases(main, probe, silentName, false);
    main.close();

    Report(probe, slowName, slowFigures);
    Report(probe, silentName, silentFigures);
    return 0;
}
