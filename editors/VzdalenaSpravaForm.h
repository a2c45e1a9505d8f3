#pragma once

// The remote management editor's window: the management port, the mode and the access
// table of three users, enabled in mode "tabulka přístupu" only.

#include "editors/ConfigEditorForm.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TFormVzdalenaSprava : public kvforms::ConfigEditorForm {
    Q_OBJECT

  public:
    TFormVzdalenaSprava(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                        QWidget* parent = nullptr);

    QLabel* Label7 = nullptr;  // "Číslo UDP portu"
    QLineEdit* Edit16 = nullptr;
    QLabel* Label1 = nullptr;  // "Vzdálená správa"
    QComboBox* ComboBox1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label5 = nullptr;  // "IP adresa"
    QLabel* Label6 = nullptr;  // "Port", hidden
    QLabel* Label2 = nullptr;  // "Uživatel 1"
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    // Edit1..Edit15 as Edit[1]..Edit[15]: per user four octets and the hidden port.
    QLineEdit* Edit[16] = {};
    QPushButton* Button1 = nullptr;  // "Zapsat"
    QPushButton* Button2 = nullptr;  // "Přečíst"
    QPushButton* Button3 = nullptr;  // "Ok"
    QPushButton* Button4 = nullptr;  // "Cancel"
};
