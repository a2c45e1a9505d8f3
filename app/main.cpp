#include <QApplication>

#include "app/HlavniForm.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("W_KV3380U"));
    TForm1 window;
    window.show();
    return QApplication::exec();
}
