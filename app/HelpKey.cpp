#include "app/HelpKey.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace kvforms {

HelpKey::HelpKey(QWidget* fallback, Command command)
    : QObject(fallback), fallback_(fallback), command_(std::move(command)) {
    qApp->installEventFilter(this);
}

HelpKey::~HelpKey() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
}

QWidget* HelpKey::WindowInFront() const {
    // A modal window blocks every other and stands in front of them.
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return fallback_;
}

bool HelpKey::eventFilter(QObject* watched, QEvent* event) {
    // A key press is offered to the focus widget and then to its parents; taking it at
    // the first offer opens the help once.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || key->isAutoRepeat())
        return QObject::eventFilter(watched, event);
    QWidget* window = WindowInFront();
    // A popup menu in front belongs to the window it opened from.
    if (window != nullptr && (window->windowFlags() & Qt::Popup) == Qt::Popup &&
        window->parentWidget() != nullptr)
        window = window->parentWidget()->window();
    command_(window != nullptr ? window->objectName() : QString());
    return true;
}

}  // namespace kvforms
