#pragma once

// What every window of the utility shares on the Qt side: text conversion at the window
// boundary, the fixed-size dialog centred on the screen that fills its fields once when
// first shown, and the one-panel status bar that repaints at once.

#include <QDialog>
#include <QLabel>
#include <QStatusBar>
#include <QString>
#include <string>

#include "core/StatusSink.h"

class QShowEvent;

namespace kvforms {

// The module's texts may carry a character code 0 (identification, status texts); a
// display shows what stands before it.
QString ToQt(const std::string& utf8);
std::string FromQt(const QString& text);

// Shows a text in a label that a screen reader reads by its name (its caption, or the
// text itself) with the text as its description: status panels and value labels.
// Nothing is done when the label already shows the text.
void ShowInLabel(QLabel* label, const std::string& utf8);

// Centres the whole window, frame included, on the screen it is on.
void CentreFrame(QWidget* window);

// A fixed-size dialog with the given client area, centred on the screen. FormShow runs
// once, when the window is first shown; restoring a minimised window shows it again
// without filling the fields anew.
class FixedDialog : public QDialog {
    Q_OBJECT

  public:
    FixedDialog(const char* objectName, const QString& caption, QSize clientArea, QWidget* parent);

    virtual void FormShow() {}

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    bool shown_ = false;
};

// A status bar with one panel across its whole width. Every text is painted at once,
// because the requests that follow block the window. A screen reader reads the panel
// as a label whose name is its text.
class StatusPanel : public QStatusBar {
    Q_OBJECT

  public:
    explicit StatusPanel(QWidget* parent);

    // Shows the core's plain text set off by one blank.
    void SetText(const std::string& text);
    // Shows nothing at all, not even the blank.
    void Clear();
    QString text() const { return label_->text(); }
    QLabel* label() const { return label_; }
    // Hands the core a sink that shows its texts here.
    kv::StatusSink Sink();

  private:
    QLabel* label_;
};

}  // namespace kvforms
