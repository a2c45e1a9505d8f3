#pragma once

// The connection dialog: the operator picks the interface kind and its parameters and
// starts the connection initialisation. The dialog only moves texts between its fields
// and the core; the arrangement per kind and the initialisation itself live in Pripojeni,
// and the initialisation runs on the connection's worker.

#include <string>

#include "connection/ConnectionWorker.h"
#include "core/Dekl.h"
#include "forms/FormSupport.h"
#include "forms/ModuleCalls.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class TForm2 : public kvforms::FixedDialog {
    Q_OBJECT

  public:
    // The record belongs to the main window and outlives the dialog.
    TForm2(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
           QWidget* parent = nullptr);
    ~TForm2() override;

    void FormShow() override;
    void ComboBox2Change(int position);
    void ComboBox3Change(int position);
    void Button1Click();
    void Button2Click();

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLabel* Panel1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

  public slots:
    void done(int result) override;

  private:
    void BuildControls();
    void Arrange(std::uint8_t kind);
    void SetStatus(const std::string& text);
    void ShowLoadFailure(bool openRefused);

    kv::ConnectionSettings& settings_;
    kv::ConnectionWorker& worker_;
    kvforms::ModuleCalls* calls_ = nullptr;
};
