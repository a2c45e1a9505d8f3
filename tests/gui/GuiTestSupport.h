#pragma once

// Shared by the form tests: one QApplication for the whole test binary, and a scratch
// program folder holding links to the scriptable fake transport library.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "forms/ModuleCalls.h"
#include "tests/support/ProgramFolder.h"
#include "transport/Qxxx380.h"

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kvgui {

inline QApplication* App() {
#ifdef _WIN32
    // wine hands no QT_ variable to a Windows program: the tests run on the platform that
    // KV_QPA_PLATFORM names, offscreen without it, as QT_QPA_PLATFORM does on Linux.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("KV_QPA_PLATFORM", "offscreen").toUtf8());
#endif
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: widgets of a failed test may outlive any static order.
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// A temporary program folder for one test; the fake library appears in it under every
// kind's file name, so the settings file the windows write never lands in the build tree.
using ScratchFolder = kv::testing::ProgramFolder;

// Shows a window and waits (bounded) until the platform exposes it, so that repaint()
// really paints.
inline bool ShowExposed(QWidget* window) {
    window->show();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        if (window->windowHandle() != nullptr && window->windowHandle()->isExposed()) return true;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

// Lets a window's module calls come back from the connection's worker: events are
// processed until none of the window's calls is in flight; false after the (generous)
// limit.
inline bool WaitForCalls(QWidget* window, int limitMs = 20000) {
    auto inFlight = [window] {
        for (const auto* calls : window->findChildren<kvforms::ModuleCalls*>())
            if (calls->InFlight()) return true;
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    while (inFlight()) {
        if (clock.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Processes events until the condition holds; false after the (generous) limit.
inline bool ProcessUntil(const std::function<bool()>& condition, int limitMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The first visible top-level widget of type W, or nullptr.
template <typename W>
W* FindOpen() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<W*>(w); found != nullptr && found->isVisible()) return found;
    }
    return nullptr;
}

// Runs `open` (which shows a modal window of type W and returns when it closes) and
// `script` on that window once it is up. If the window never shows, or the script leaves
// it open, it is closed after a generous time-out so the test fails instead of hanging.
template <typename W>
bool DriveModal(const std::function<void()>& open, const std::function<void(W*)>& script) {
    bool scripted = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        W* window = FindOpen<W>();
        if (window != nullptr && !scripted) {
            scripted = true;
            script(window);
            if (window->isVisible()) window->close();
        } else if (clock.elapsed() > 20000) {
            if (window != nullptr) window->close();
        }
    });
    poll.start();
    open();
    poll.stop();
    return scripted;
}

}  // namespace kvgui
