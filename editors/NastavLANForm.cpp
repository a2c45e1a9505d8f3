#include "editors/NastavLANForm.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editors/NastavLAN.h"

namespace {

constexpr int kWidth = 470;
constexpr int kHeight = 392;
constexpr int kLeft = 16;
constexpr int kFieldLeft = 200;
constexpr int kRowHeight = 23;
// In the group.
constexpr int kGroupTop = 86;
constexpr int kGroupFieldLeft = 196;
constexpr int kOctetLeft = 100;
constexpr int kOctetStep = 50;
constexpr int kOctetWidth = 42;
constexpr int kAccessLeft = 306;
constexpr int kUserTop[3] = {140, 170, 200};
constexpr int kButtonTop = 328;

const QString kDesignCaption = QStringLiteral(" Nastavení komunikačního rozhraní VLAN");

}  // namespace

TFormNastavLAN::TFormNastavLAN(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                               kv::Vlan vlan, QWidget* parent)
    : ConfigEditorForm("FormNastavLAN", kv::VlanEditor(vlan), QSize(kWidth, kHeight), settings,
                       worker, parent),
      vlan_(vlan) {
    setWindowTitle(kDesignCaption);
    const int labelWidth = kFieldLeft - kLeft - 8;
    Edit1 = AddEdit(kv::kVlanPortField, this, QRect(kFieldLeft, 16, 90, kRowHeight));
    Label1 = AddLabel("Label1", QStringLiteral("Číslo UDP portu"), this,
                      QRect(kLeft, 16, labelWidth, kRowHeight), 0, kv::kVlanPortField);
    ComboBox1 = AddList(kv::kVlanModeField, this, QRect(kFieldLeft, 50, 240, kRowHeight));
    Label2 = AddLabel("Label2", QStringLiteral("Režim rozhraní"), this,
                      QRect(kLeft, 50, labelWidth, kRowHeight), 0, kv::kVlanModeField);

    GroupBox1 = new QGroupBox(QStringLiteral(" Konfigurace rozhraní "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(kLeft, kGroupTop, kWidth - 2 * kLeft, 230);
    AddToArea(GroupBox1, kv::kVlanGroupArea);

    Edit2 = AddEdit(kv::kVlanValidityField, GroupBox1, QRect(kGroupFieldLeft, 26, 60, kRowHeight));
    Label3 = AddLabel("Label3", QStringLiteral("Doba platnosti IP adresy [s]"), GroupBox1,
                      QRect(12, 26, kGroupFieldLeft - 20, kRowHeight), kv::kVlanTimerArea,
                      kv::kVlanValidityField);
    ComboBox5 =
        AddList(kv::kVlanAccessField, GroupBox1, QRect(kGroupFieldLeft, 58, 140, kRowHeight));
    Label10 = AddLabel("Label10", QStringLiteral("Přístup rozhraní"), GroupBox1,
                       QRect(12, 58, kGroupFieldLeft - 20, kRowHeight), kv::kVlanTimerArea,
                       kv::kVlanAccessField);

    Bevel1 = new QFrame(GroupBox1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(12, 94, kWidth - 2 * kLeft - 24, 4);

    Label7 = AddLabel("Label7", QStringLiteral("IP adresa"), GroupBox1,
                      QRect(kOctetLeft, 110, 4 * kOctetStep, 20), kv::kVlanUserArea);
    Label8 = AddLabel("Label8", QStringLiteral("Port"), GroupBox1, QRect(kAccessLeft, 110, 60, 20),
                      kv::kVlanUserArea);
    Label8->setVisible(false);
    Label9 = AddLabel("Label9", QStringLiteral("Přístup"), GroupBox1,
                      QRect(kAccessLeft, 110, 120, 20), kv::kVlanUserArea);

    static const char* const kHeadings[kv::kTableUsers] = {"Label4", "Label5", "Label6"};
    const auto users = AddUserRows(kv::kVlanUserRows, GroupBox1,
                                   {kOctetLeft, kOctetStep, kOctetWidth, kUserTop, kAccessLeft, 130,
                                    kRowHeight, kv::kVlanUserArea, kHeadings});
    Label4 = users[0].heading;
    Label5 = users[1].heading;
    Label6 = users[2].heading;
    ComboBox2 = users[0].access;
    ComboBox3 = users[1].access;
    ComboBox4 = users[2].access;
    std::vector<QWidget*> order = {Edit1, ComboBox1, Edit2};
    std::vector<QWidget*> ports;
    for (int u = 0; u < kv::kTableUsers; ++u) {
        const auto& row = users[static_cast<std::size_t>(u)];
        for (int k = 0; k < 4; ++k) {
            Edit[kv::kVlanUserRows.EditNumber(u, k)] = row.octets[k];
            order.push_back(row.octets[k]);
        }
        Edit[kv::kVlanUserRows.EditNumber(u, 4)] = row.port;
        ports.push_back(row.port);
        order.push_back(row.access);
    }
    order.insert(order.end(), ports.begin(), ports.end());
    order.push_back(ComboBox5);

    const ButtonRow buttons = AddButtonRow(kLeft, kButtonTop, "Button1", "Button2");
    Button1 = buttons.write;
    Button2 = buttons.read;
    Button3 = buttons.ok;
    Button4 = buttons.cancel;
    order.insert(order.end(), {Button1, Button2, Button3, Button4});
    TabChain(order);
}

void TFormNastavLAN::FormShow() {
    setWindowTitle(kDesignCaption + QString::number(vlan_.Number()));
    ConfigEditorForm::FormShow();
}
