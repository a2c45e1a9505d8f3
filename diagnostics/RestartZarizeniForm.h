#pragma once

// The restart window: a warning, "Restart" and "Cancel". The restart itself and its
// texts are the core's.

#include "connection/ConnectionWorker.h"
#include "core/Dekl.h"
#include "forms/FormSupport.h"
#include "forms/ModuleCalls.h"

class QLabel;
class QPushButton;

class TFormRestart : public kvforms::FixedDialog {
    Q_OBJECT

  public:
    // The record belongs to the main window and outlives the window.
    TFormRestart(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
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
    kvforms::ModuleCalls* calls_ = nullptr;
};
