#include "diagnostics/RestartZarizeniForm.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include "diagnostics/RestartZarizeni.h"

namespace {

constexpr int kClientWidth = 268;
constexpr int kClientHeight = 132;
constexpr int kIconSize = 48;

// A yellow warning triangle with an exclamation mark, drawn here so that it looks the
// same whatever icon theme the desktop has.
QPixmap WarningIcon(qreal ratio) {
    QPixmap pixmap(QSize(kIconSize, kIconSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(24, 3);
    triangle.lineTo(45, 43);
    triangle.lineTo(3, 43);
    triangle.closeSubpath();
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 210, 0));
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(21.5, 15, 5, 17), 2, 2);
    p.drawEllipse(QRectF(21.5, 34, 5, 5));
    return pixmap;
}

}  // namespace

TFormRestart::TFormRestart(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                           QWidget* parent)
    : FixedDialog("FormRestart", QStringLiteral(" Restart zařízení"),
                  QSize(kClientWidth, kClientHeight), parent),
      settings_(settings) {
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(12, 10, kIconSize, kIconSize);
    Image1->setPixmap(WarningIcon(devicePixelRatioF()));

    Label1 = new QLabel(QStringLiteral("Zařízení bude restartováno."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setGeometry(72, 10, kClientWidth - 80, kIconSize);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Button1 = new QPushButton(QStringLiteral("Restart"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(40, 64, 80, 25);
    Button1->setAutoDefault(false);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(kClientWidth - 40 - 80, 64, 80, 25);
    Button2->setAutoDefault(false);
    setTabOrder(Button1, Button2);
    Button1->setFocus();

    // The restarted text over the LAN link is longer than the window is wide: it wraps
    // onto a second line instead of being cut off.
    StatusBar1 = new kvforms::StatusPanel(this);
    StatusBar1->label()->setWordWrap(true);
    const int barHeight = 2 * StatusBar1->fontMetrics().lineSpacing() + 8;
    StatusBar1->setGeometry(0, kClientHeight - barHeight, kClientWidth, barHeight);
    StatusBar1->Clear();
    calls_ = new kvforms::ModuleCalls(worker, StatusBar1->Sink(), this);
    calls_->Guard({Button1});

    connect(Button1, &QPushButton::clicked, this, &TFormRestart::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormRestart::Button2Click);
}

TFormRestart::~TFormRestart() = default;

void TFormRestart::Button1Click() {
    if (calls_->InFlight()) return;
    if (!kv::ConnectionUsable(settings_)) {
        // Says so and sends nothing.
        kv::RestartModule(kv::ModuleLink(), StatusBar1->Sink());
        return;
    }
    calls_->Run([](kv::Connection& connection, const kv::StatusSink& status,
                   const kv::StopAsked&) { return kv::RestartModule(connection.Link(), status); },
                [](const kv::RestartOutcome&) {});
}

void TFormRestart::Button2Click() {
    close();
}
