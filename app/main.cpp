#include <QApplication>
#include <QTimer>

#include "app/HlavniForm.h"
#include "platform/Interrupt.h"

namespace {

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

// A terminal's Ctrl+C or a session ending with SIGTERM (on Windows a console's Ctrl+C or
// its closing) closes the main window as its close box would, so the settings are saved
// and an open connection is closed. The platform layer only counts the requests; the
// event loop looks at the count and the closing itself runs there.
void CloseOnTerminate(TForm1& window) {
    kv::platform::CountInterrupts();
    auto* timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, &window, [&window, seen = 0u]() mutable {
        const unsigned requests = kv::platform::InterruptCount();
        if (requests == seen) return;
        seen = requests;
        CloseMainWindow(window, 0);
    });
    timer->start(50);
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
