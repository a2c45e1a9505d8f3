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

// Field indexes of the table: the mode list, then five boxes per user.
constexpr int kPortField = 0;
constexpr int kModeField = 1;
constexpr int UserField(int user, int box) {
    return 2 + 5 * user + box;
}

}  // namespace

TFormVzdalenaSprava::TFormVzdalenaSprava(kv::ConnectionSettings& settings, QWidget* parent)
    : ConfigEditorForm("FormVzdalenaSprava", kv::RemoteManagementEditor(), QSize(kWidth, kHeight),
                       settings, parent) {
    Edit16 = AddEdit(kPortField, this, QRect(kFieldLeft, 16, 90, kRowHeight));
    Label7 = AddLabel("Label7", QStringLiteral("Číslo UDP portu"), this,
                      QRect(kLeft, 16, kFieldLeft - kLeft - 8, kRowHeight), 0, kPortField);
    ComboBox1 = AddList(kModeField, this, QRect(kFieldLeft, 50, 170, kRowHeight));
    Label1 = AddLabel("Label1", QStringLiteral("Vzdálená správa"), this,
                      QRect(kLeft, 50, kFieldLeft - kLeft - 8, kRowHeight), 0, kModeField);

    GroupBox1 = new QGroupBox(QStringLiteral(" Tabulka přístupu "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(kLeft, kGroupTop, kWidth - 2 * kLeft, 136);
    AddToArea(GroupBox1, kv::kRemoteTableArea);
    Label5 = AddLabel("Label5", QStringLiteral("IP adresa"), GroupBox1,
                      QRect(kOctetLeft, 24, 4 * kOctetStep, 20), kv::kRemoteTableArea);
    Label6 = AddLabel("Label6", QStringLiteral("Port"), GroupBox1, QRect(kPortLeft, 24, 60, 20),
                      kv::kRemoteTableArea);
    Label6->setVisible(false);

    QLabel** rows[3] = {&Label2, &Label3, &Label4};
    const char* const rowNames[3] = {"Label2", "Label3", "Label4"};
    std::vector<QWidget*> order = {Edit16, ComboBox1};
    for (int u = 0; u < 3; ++u) {
        for (int k = 0; k < 4; ++k) {
            QLineEdit* edit =
                AddEdit(UserField(u, k), GroupBox1,
                        QRect(kOctetLeft + kOctetStep * k, kUserTop[u], kOctetWidth, kRowHeight));
            Edit[1 + 5 * u + k] = edit;
            order.push_back(edit);
        }
        Edit[5 + 5 * u] =
            AddEdit(UserField(u, 4), GroupBox1, QRect(kPortLeft, kUserTop[u], 60, kRowHeight));
        order.push_back(Edit[5 + 5 * u]);
        *rows[u] = AddLabel(rowNames[u], QStringLiteral("Uživatel %1").arg(u + 1), GroupBox1,
                            QRect(12, kUserTop[u], kOctetLeft - 20, kRowHeight),
                            kv::kRemoteTableArea, UserField(u, 0));
    }

    const ButtonRow buttons = AddButtonRow(kLeft, kButtonTop, "Button1", "Button2");
    Button1 = buttons.write;
    Button2 = buttons.read;
    Button3 = buttons.ok;
    Button4 = buttons.cancel;
    order.insert(order.end(), {Button1, Button2, Button3, Button4});
    TabChain(order);
}
