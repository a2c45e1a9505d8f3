#pragma once

// The network parameters editor's window: the module's IP address, subnet mask and
// gateway as four octet boxes each, and "Default parametry".

#include "editors/ConfigEditorForm.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TFormLanParam : public kvforms::ConfigEditorForm {
    Q_OBJECT

  public:
    TFormLanParam(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                  QWidget* parent = nullptr);

    void Button6Click();

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit[13] = {};        // Edit1..Edit12 as Edit[1]..Edit[12]
    QPushButton* Button1 = nullptr;  // "Přečíst"
    QPushButton* Button2 = nullptr;  // "Zapsat"
    QPushButton* Button3 = nullptr;  // "Ok"
    QPushButton* Button4 = nullptr;  // "Cancel"
    QPushButton* Button6 = nullptr;  // "Default parametry"
};
