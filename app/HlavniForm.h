#pragma once

// The main window: an empty frame with the menu and the status bar. It owns the shared
// connection settings for the whole run, opens every other window from its menu and,
// when it closes, saves the settings and ends an open connection.

#include <QMainWindow>
#include <functional>
#include <memory>

#include "connection/Connection.h"
#include "connection/ConnectionWorker.h"
#include "core/Dekl.h"
#include "platform/HelpViewer.h"

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QShowEvent;

namespace kvforms {
class HelpKey;
}

class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    // Makes the record; a factory that fails (throws or returns nothing) leaves the
    // window without one, as when memory runs out.
    using SettingsFactory = std::function<std::unique_ptr<kv::ConnectionSettings>()>;

    TForm1();
    explicit TForm1(SettingsFactory factory, QWidget* parent = nullptr);
    ~TForm1() override;

    // The shared record, or nullptr when it could not be made or the window has closed.
    kv::ConnectionSettings* settings() const { return settings_.get(); }
    // The windows' one connection; once a window has posted a call, only its worker
    // touches it, until the window closes.
    kv::Connection& connection() { return connection_; }
    kv::ConnectionWorker& worker() { return worker_; }

    // 0 " Modul", 1 " Adresa", 2 the message panel.
    QLabel* statusPanel(int index) const;

    // The help viewer this window starts and ends (tests put a stand-in program in).
    kv::platform::HelpViewer& helpViewer() { return helpViewer_; }
    // The help command for a window: the viewer at that window's page (F1).
    void ShowHelpFor(const QString& windowName);

    void FormCreate(const SettingsFactory& factory);
    void FormClose();
    void Pipojen1Click();
    void NastavAIN1Click();
    void Vzdlensprva1Click();
    void NastavLAN1Click();
    void NastavLAN2Click();
    void NastavLAN3Click();
    void Restartzazen1Click();
    void RozhranLAN11Click();
    void RozhranLAN21Click();
    void RozhranLAN31Click();
    void Konec2Click();
    void Oprogramu1Click();
    void Npovda2Click();

    QAction* Pipojen1 = nullptr;
    QMenu* Nastaven1 = nullptr;
    QAction* NastavAIN1 = nullptr;
    QAction* Vzdlensprva1 = nullptr;
    QAction* NastavLAN1 = nullptr;
    QAction* NastavLAN2 = nullptr;
    QAction* NastavLAN3 = nullptr;
    QAction* Restartzazen1 = nullptr;
    QMenu* Diagnostika1 = nullptr;
    QAction* RozhranLAN11 = nullptr;
    QAction* RozhranLAN21 = nullptr;
    QAction* RozhranLAN31 = nullptr;
    QAction* Konec2 = nullptr;
    // Stands at the right end of the bar, after a separator the bar's style aligns to
    // the right, so that the keyboard reaches it like every other item.
    QAction* HelpSeparator = nullptr;
    QMenu* Npovda1 = nullptr;
    QAction* Oprogramu1 = nullptr;
    QAction* Npovda2 = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildMenu();
    void BuildStatusBar();
    void SetPanel(int index, const std::string& text);
    // Opens a window that works on the record: created with it and the extra arguments
    // (the VLAN index, where the menu names one) before it is shown, shown modally and
    // destroyed when it closes. While it is open the main window cannot close. False,
    // and nothing opens, without a record.
    template <typename Window, typename... Extra>
    bool OpenWithSettings(Extra... extra);
    // Opens a window that needs no record (the About window): created, shown modally and
    // destroyed, whether there is a record or not.
    template <typename Window>
    void OpenWindow();
    // Makes the whole window, frame included, 600 x 400 once the frame is known.
    void FitFrame();
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Before the record: it is closed when the window goes, after the record. The worker
    // runs the windows' calls; it goes first, closing the connection.
    kv::Connection connection_;
    kv::ConnectionWorker worker_{connection_};
    std::unique_ptr<kv::ConnectionSettings> settings_;
    QLabel* panels_[3] = {nullptr, nullptr, nullptr};
    int openWindows_ = 0;
    bool centred_ = false;
    bool frameFitted_ = false;
    kv::platform::HelpViewer helpViewer_;
    kvforms::HelpKey* helpKey_ = nullptr;
};
