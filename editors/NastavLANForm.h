#pragma once

// The VLAN interface editor's window, one class for the three interfaces: the port, the
// mode, and in the group " Konfigurace rozhraní " the timer settings and the user table,
// each enabled in its own mode.

#include "editors/ConfigEditorForm.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TFormNastavLAN : public kvforms::ConfigEditorForm {
    Q_OBJECT

  public:
    TFormNastavLAN(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker, kv::Vlan vlan,
                   QWidget* parent = nullptr);

    // The caption names the interface, then the steps every editor takes.
    void FormShow() override;

    int VlanIndex() const { return vlan_.Index(); }

    QLabel* Label1 = nullptr;  // "Číslo UDP portu"
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;  // "Režim rozhraní"
    QComboBox* ComboBox1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label3 = nullptr;  // "Doba platnosti IP adresy [s]"
    QLineEdit* Edit2 = nullptr;
    QLabel* Label10 = nullptr;  // "Přístup rozhraní"
    QComboBox* ComboBox5 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label7 = nullptr;  // "IP adresa"
    QLabel* Label8 = nullptr;  // "Port", hidden
    QLabel* Label9 = nullptr;  // "Přístup"
    QLabel* Label4 = nullptr;  // "Uživatel 1"
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    // Edit3..Edit17 as Edit[3]..Edit[17]: per user four octets and the hidden port.
    QLineEdit* Edit[18] = {};
    QComboBox* ComboBox2 = nullptr;  // user access rights
    QComboBox* ComboBox3 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QPushButton* Button1 = nullptr;  // "Zapsat"
    QPushButton* Button2 = nullptr;  // "Přečíst"
    QPushButton* Button3 = nullptr;  // "Ok"
    QPushButton* Button4 = nullptr;  // "Cancel"

  private:
    kv::Vlan vlan_;
};
