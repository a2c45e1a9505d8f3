#pragma once

// The restart window: a warning, "Restart" and "Cancel". The restart itself and its
// texts are the core's.

#include "connection/Connection.h"
#include "core/Dekl.h"
#include "forms/FormSupport.h"

class QLabel;
class QPushButton;

class TFormRestart : public kvforms::FixedDialog {
    Q_OBJECT

  public:
    // The record belongs to the main window and outlives the window.
    TFormRestart(kv::ConnectionSettings& settings, kv::Connection& connection,
                 QWidget* parent = nullptr);
    ~TFormRestart() override;

    void Button1Click();
    void Button2Click();

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    kvforms::StatusPanel* StatusBar1 = nullptr;

  private:
    kv::ConnectionSettings& settings_;
    kv::Connection& connection_;
};
