#include "forms/FormSupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

namespace kvforms {

QString ToQt(const std::string& utf8) {
    const auto end = utf8.find('\0');
    return QString::fromUtf8(utf8.data(),
                             static_cast<qsizetype>(end == std::string::npos ? utf8.size() : end));
}

std::string FromQt(const QString& text) {
    return text.toStdString();
}

void ShowInLabel(QLabel* label, const std::string& utf8) {
    const QString shown = ToQt(utf8);
    if (shown == label->text()) return;
    label->setText(shown);
    label->setAccessibleDescription(shown);
}

void CentreFrame(QWidget* window) {
    QScreen* screen = window->screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

FixedDialog::FixedDialog(const char* objectName, const QString& caption, QSize clientArea,
                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(clientArea);
    // Before the frame exists, centre by the client area; the first show corrects it.
    if (QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - clientArea.width()) / 2,
             area.y() + (area.height() - clientArea.height()) / 2);
    }
}

void FixedDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    CentreFrame(this);
    FormShow();
}

StatusPanel::StatusPanel(QWidget* parent) : QStatusBar(parent), label_(new QLabel(this)) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    label_->setObjectName(QStringLiteral("StatusPanel"));
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label_->setTextFormat(Qt::PlainText);
    addWidget(label_, 1);
}

void StatusPanel::SetText(const std::string& text) {
    // One blank sets the text off from the bar's edge.
    ShowInLabel(label_, " " + text);
    label_->repaint();
}

void StatusPanel::Clear() {
    ShowInLabel(label_, "");
    label_->repaint();
}

kv::StatusSink StatusPanel::Sink() {
    return [this](const std::string& text) { SetText(text); };
}

}  // namespace kvforms
