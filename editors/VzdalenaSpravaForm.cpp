#include "editors/VzdalenaSpravaForm.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editors/VzdalenaSprava.h"

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 300;
constexpr int kLeft = 16;
constexpr int kFieldLeft = 170;
constexpr int kRowHeight = 23;
// In the group: the row headings, the octet boxes and the hidden port column.
constexpr int kGroupTop = 86;
constexpr int kOctetLeft = 110;
constexpr int kOctetStep = 52;
constexpr int kOctetWidth = 44;
constexpr int kPortLeft = 322;
constexpr int kUserTop[3] = {50, 80, 110};
constexpr int kButtonTop = 236;

}  // namespace

TFormVzdalenaSprava::TFormVzdalenaSprava(kv::ConnectionSettings& settings,
                                         kv::ConnectionWorker& worker, QWidget* parent)
    : ConfigEditorForm("FormVzdalenaSprava", kv::RemoteManagementEditor(), QSize(kWidth, kHeight),
                       settings, worker, parent) {
    Edit16 = AddEdit(kv::kRemotePortField, this, QRect(kFieldLeft, 16, 90, kRowHeight));
    Label7 =
        AddLabel("Label7", QStringLiteral("Číslo UDP portu"), this,
                 QRect(kLeft, 16, kFieldLeft - kLeft - 8, kRowHeight), 0, kv::kRemotePortField);
    ComboBox1 = AddList(kv::kRemoteModeField, this, QRect(kFieldLeft, 50, 170, kRowHeight));
    Label1 =
        AddLabel("Label1", QStringLiteral("Vzdálená správa"), this,
                 QRect(kLeft, 50, kFieldLeft - kLeft - 8, kRowHeight), 0, kv::kRemoteModeField);

    GroupBox1 = new QGroupBox(QStringLiteral(" Tabulka přístupu "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(kLeft, kGroupTop, kWidth - 2 * kLeft, 136);
    AddToArea(GroupBox1, kv::kRemoteTableArea);
    Label5 = AddLabel("Label5", QStringLiteral("IP adresa"), GroupBox1,
                      QRect(kOctetLeft, 24, 4 * kOctetStep, 20), kv::kRemoteTableArea);
    Label6 = AddLabel("Label6", QStringLiteral("Port"), GroupBox1, QRect(kPortLeft, 24, 60, 20),
                      kv::kRemoteTableArea);
    Label6->setVisible(false);

    static const char* const kHeadings[kv::kTableUsers] = {"Label2", "Label3", "Label4"};
    const auto users = AddUserRows(kv::kRemoteUserRows, GroupBox1,
                                   {kOctetLeft, kOctetStep, kOctetWidth, kUserTop, kPortLeft, 0,
                                    kRowHeight, kv::kRemoteTableArea, kHeadings});
    Label2 = users[0].heading;
    Label3 = users[1].heading;
    Label4 = users[2].heading;
    std::vector<QWidget*> order = {Edit16, ComboBox1};
    for (int u = 0; u < kv::kTableUsers; ++u) {
        const auto& row = users[static_cast<std::size_t>(u)];
        for (int k = 0; k < 4; ++k) {
            Edit[kv::kRemoteUserRows.EditNumber(u, k)] = row.octets[k];
            order.push_back(row.octets[k]);
        }
        Edit[kv::kRemoteUserRows.EditNumber(u, 4)] = row.port;
        order.push_back(row.port);
    }

    const ButtonRow buttons = AddButtonRow(kLeft, kButtonTop, "Button1", "Button2");
    Button1 = buttons.write;
    Button2 = buttons.read;
    Button3 = buttons.ok;
    Button4 = buttons.cancel;
    order.insert(order.end(), {Button1, Button2, Button3, Button4});
    TabChain(order);
}
