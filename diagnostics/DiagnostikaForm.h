#pragma once

// The diagnostics window: the module's overview, one VLAN interface with its user table
// and the RS-485 side with its last errors, refreshed from the module every 100 ms. The
// window writes the values the core's refresh cycle decoded as the core formats them,
// and places them; the cycle runs on the connection's worker, so the window goes on
// answering however slow the module is.

#include <string>

#include "connection/ConnectionWorker.h"
#include "core/Dekl.h"
#include "diagnostics/Diagnostika.h"
#include "forms/FormSupport.h"
#include "forms/ModuleCalls.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

class TFormDiagnostika : public kvforms::FixedDialog {
    Q_OBJECT

  public:
    // The record belongs to the main window and outlives the window.
    TFormDiagnostika(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker, kv::Vlan vlan,
                     QWidget* parent = nullptr);
    ~TFormDiagnostika() override;

    void FormShow() override;
    void Button1Click();
    void Timer1Timer();

    int vlanIndex() const { return interface_.Index(); }
    // The user grid's normal text colour: the desktop's window-text colour.
    QColor WindowTextColour() const;

    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    // Overview.
    QLabel* Label14 = nullptr;
    QLabel* Label32 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* Label24 = nullptr;
    QLabel* Label25 = nullptr;
    // The VLAN interface.
    QLabel* Label42 = nullptr;
    QLabel* Label43 = nullptr;
    QLabel* Label44 = nullptr;
    QLabel* Label45 = nullptr;
    QLabel* Label46 = nullptr;
    QLabel* Label47 = nullptr;
    QLabel* Label48 = nullptr;
    QLabel* Label49 = nullptr;
    // RS-485.
    QLabel* Label80 = nullptr;
    QLabel* Label81 = nullptr;
    QLabel* Label82 = nullptr;
    QLabel* Label83 = nullptr;
    QTableWidget* StringGrid3 = nullptr;  // network parameters
    QTableWidget* StringGrid1 = nullptr;  // users
    QTableWidget* StringGrid2 = nullptr;  // errors
    QPushButton* Button1 = nullptr;
    kvforms::StatusPanel* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;

    // The value labels in the order of the core's captions.
    QLabel* const* OverviewLabels() const { return overview_; }
    QLabel* const* VlanLabels() const { return vlan_; }
    QLabel* const* Rs485Labels() const { return rs485_; }

  public slots:
    void done(int result) override;

  private:
    void BuildControls();
    void ShowModule(const kv::ModuleStatus& status);
    void ShowVlan(const kv::VlanStatus& status);
    QColor Colour(kv::Shade shade) const;

    kv::ConnectionSettings& settings_;
    kvforms::ModuleCalls* calls_ = nullptr;
    // A refresh has come back since the window opened.
    bool refreshed_ = false;
    kv::Vlan interface_;
    std::string decimalSeparator_;
    // Set when the window is closing: a tick that is already due then sends nothing.
    bool stopped_ = false;
    QLabel* overview_[8] = {};
    QLabel* vlan_[8] = {};
    QLabel* rs485_[4] = {};
};
