#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "app/HlavniForm.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// An open dialog works on the settings record, so the main window refuses to close under
// it: close the dialog first and try again once its modal loop has returned. Bounded, in
// case a window refuses for good.
void CloseMainWindow(TForm1& window, int attempt) {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    if (window.close() || attempt >= 500) {
        if (attempt >= 500) QApplication::quit();
        return;
    }
    QTimer::singleShot(10, &window, [&window, attempt] { CloseMainWindow(window, attempt + 1); });
}

// A terminal's Ctrl+C or a session ending with SIGTERM closes the main window as its
// close box would, so the settings are saved and an open connection is closed. The
// handler only wakes the event loop; the closing itself runs there.
void CloseOnTerminate(TForm1& window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        CloseMainWindow(window, 0);
    });
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("W_KV3380U"));
    TForm1 window;
    CloseOnTerminate(window);
    window.show();
    return QApplication::exec();
}
