#include "editors/SitoveParamForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editors/SitoveParam.h"

namespace {

constexpr int kWidth = 376;
constexpr int kHeight = 214;
constexpr int kLeft = 16;
constexpr int kBoxLeft = 132;
constexpr int kBoxStep = 56;
constexpr int kBoxWidth = 48;
constexpr int kRowHeight = 23;
constexpr int kRowTop[3] = {18, 52, 86};
constexpr int kButtonTop = 158;

}  // namespace

TFormLanParam::TFormLanParam(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                             QWidget* parent)
    : ConfigEditorForm("FormLanParam", kv::NetworkParamEditor(), QSize(kWidth, kHeight), settings,
                       worker, parent) {
    const char* const labels[3] = {"Label1", "Label2", "Label3"};
    const char* const headings[3] = {"IP adresa", "Maska podsítě", "Brána"};
    QLabel** rows[3] = {&Label1, &Label2, &Label3};
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 4; ++k) {
            Edit[1 + 4 * r + k] = AddEdit(
                4 * r + k, this, QRect(kBoxLeft + kBoxStep * k, kRowTop[r], kBoxWidth, kRowHeight));
        }
        *rows[r] = AddLabel(labels[r], QString::fromUtf8(headings[r]), this,
                            QRect(kLeft, kRowTop[r], kBoxLeft - kLeft - 8, kRowHeight), 0, 4 * r);
    }

    const int rowRight = kBoxLeft + kBoxStep * 3 + kBoxWidth;
    Button6 = AddButton("Button6", QStringLiteral("Default parametry"), Action::kOwn,
                        QRect(rowRight - 140, 120, 140, 26));
    connect(Button6, &QPushButton::clicked, this, &TFormLanParam::Button6Click);

    const ButtonRow buttons = AddButtonRow(kLeft, kButtonTop, "Button2", "Button1");
    Button2 = buttons.write;
    Button1 = buttons.read;
    Button3 = buttons.ok;
    Button4 = buttons.cancel;

    std::vector<QWidget*> order(std::begin(Edit) + 1, std::end(Edit));
    order.insert(order.end(), {Button1, Button2, Button3, Button4, Button6});
    TabChain(order);
}

void TFormLanParam::Button6Click() {
    kv::LoadDefaultAddresses(Session().Copy());
    ZapisOkno();
}
