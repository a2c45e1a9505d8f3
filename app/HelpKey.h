#pragma once

// F1 anywhere in the program: an application-wide filter hands the object name of the
// window in front (the modal window, else the active one, else the main window) to the
// help command, so no window needs code of its own for it.

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace kvforms {

class HelpKey : public QObject {
    Q_OBJECT

  public:
    using Command = std::function<void(const QString& windowName)>;

    // Installs itself on the application; `fallback` is the window named when no
    // other one is in front.
    HelpKey(QWidget* fallback, Command command);
    ~HelpKey() override;

    // The window whose page F1 opens now.
    QWidget* WindowInFront() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* fallback_;
    Command command_;
};

}  // namespace kvforms
