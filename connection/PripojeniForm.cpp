#include "connection/PripojeniForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <cstdio>

#include "connection/Pripojeni.h"
#include "forms/FormSupport.h"
#include "transport/LoadFailure.h"

namespace {

constexpr int kClientWidth = 582;
constexpr int kClientHeight = 331;
constexpr int kLeft = 30;
constexpr int kFullWidth = 521;
constexpr int kFieldWidth = 169;
constexpr int kFieldLeft = kLeft + kFullWidth - kFieldWidth;
constexpr int kLabelWidth = kFieldLeft - kLeft - 10;
constexpr int kRowHeight = 23;

// Row tops: kind list, three parameter rows, address, speed.
constexpr int kRowTop[6] = {20, 56, 90, 124, 158, 192};

using kvforms::FromQt;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(kLeft, top, kLabelWidth, kRowHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int top) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(kFieldLeft, top, kFieldWidth, kRowHeight);
    return edit;
}

QComboBox* MakeList(QWidget* parent, const char* name, int top) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setEditable(false);
    list->setGeometry(kFieldLeft, top, kFieldWidth, kRowHeight);
    return list;
}

// A screen reader announces a field by its caption, whichever row the kind puts it in.
void Caption(QLabel* label, QWidget* field, const QString& text) {
    label->setText(text);
    label->setBuddy(field);
    field->setAccessibleName(text);
}

}  // namespace

TForm2::TForm2(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker, QWidget* parent)
    : FixedDialog("Form2", QStringLiteral("Připojení modulu"), QSize(kClientWidth, kClientHeight),
                  parent),
      settings_(settings),
      worker_(worker) {
    // The connection dialog alone can also be minimised.
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    BuildControls();
    calls_ = new kvforms::ModuleCalls(
        worker, [this](const std::string& text) { SetStatus(text); }, this);
    calls_->Guard({Button1});
}

TForm2::~TForm2() = default;

void TForm2::BuildControls() {
    Label5 = MakeLabel(this, "Label5", QStringLiteral("Komunikační rozhraní"), kRowTop[0]);
    ComboBox2 = MakeList(this, "ComboBox2", kRowTop[0]);
    ComboBox2->addItem(QStringLiteral("USB rozhraní PC"));
    ComboBox2->addItem(QStringLiteral("LAN rozhraní PC"));
    Caption(Label5, ComboBox2, Label5->text());

    Label3 = MakeLabel(this, "Label3", QString(), kRowTop[1]);
    Edit2 = MakeEdit(this, "Edit2", kRowTop[1]);
    ComboBox3 = MakeList(this, "ComboBox3", kRowTop[1]);
    ComboBox3->addItem(QStringLiteral("první nalezené"));

    Label6 = MakeLabel(this, "Label6", QString(), kRowTop[2]);
    Edit3 = MakeEdit(this, "Edit3", kRowTop[2]);
    Label7 = MakeLabel(this, "Label7", QString(), kRowTop[3]);
    Edit4 = MakeEdit(this, "Edit4", kRowTop[3]);

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Adresa připojeného modulu"), kRowTop[4]);
    Edit1 = MakeEdit(this, "Edit1", kRowTop[4]);
    Caption(Label1, Edit1, Label1->text());

    Label2 = MakeLabel(this, "Label2", QStringLiteral("Komunikační rychlost"), kRowTop[5]);
    ComboBox1 = MakeList(this, "ComboBox1", kRowTop[5]);
    for (const char* text : kv::kSpeedTexts) ComboBox1->addItem(QString::fromUtf8(text));
    Caption(Label2, ComboBox1, Label2->text());

    Label4 = MakeLabel(this, "Label4", QStringLiteral("Status připojení"), 226);

    Panel1 = new QLabel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(kLeft, 250, kFullWidth, 25);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Panel1->setIndent(4);
    // White whatever the desktop theme, so the text colour is fixed to match.
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(palette);
    Panel1->setAutoFillBackground(true);
    Panel1->setAccessibleName(Label4->text());

    Button1 = new QPushButton(QStringLiteral("Inicializace připojení"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(kLeft, 290, 180, 28);
    Button1->setAutoDefault(false);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(kLeft + kFullWidth - 110, 290, 110, 28);
    Button2->setAutoDefault(false);

    setTabOrder(ComboBox2, Edit2);
    setTabOrder(Edit2, ComboBox3);
    setTabOrder(ComboBox3, Edit3);
    setTabOrder(Edit3, Edit4);
    setTabOrder(Edit4, Edit1);
    setTabOrder(Edit1, ComboBox1);
    setTabOrder(ComboBox1, Button1);
    setTabOrder(Button1, Button2);

    // Only the operator's choice counts as a change; filling the lists blocks signals.
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, &TForm2::ComboBox2Change);
    connect(ComboBox3, &QComboBox::currentIndexChanged, this, &TForm2::ComboBox3Change);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
}

void TForm2::FormShow() {
    Edit1->setText(QString::number(settings_.moduleAddress));

    const std::uint8_t speedCode =
        kv::BaudIndexFromRate(static_cast<std::int32_t>(settings_.baudRate));
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(speedCode < ComboBox1->count() ? speedCode : -1);
    }

    settings_.interfaceKind &= 7;
    {
        const QSignalBlocker block(ComboBox2);
        ComboBox2->setCurrentIndex(
            settings_.interfaceKind < ComboBox2->count() ? settings_.interfaceKind : -1);
    }
    Arrange(settings_.interfaceKind);
    SetStatus(settings_.statusText);
}

void TForm2::Arrange(std::uint8_t kind) {
    const kv::KindLayout layout = kv::LayoutForKind(kind, settings_);

    const QString firstCaption = QString::fromStdString(layout.first.caption);
    const bool list = layout.first.shown && layout.firstIsDetectionList;
    const bool edit = layout.first.shown && !layout.firstIsDetectionList;
    Label3->setVisible(layout.first.shown);
    Edit2->setVisible(edit);
    ComboBox3->setVisible(list);
    Edit2->setText(list ? QString() : QString::fromStdString(layout.first.value));
    Edit2->setReadOnly(!layout.first.editable);
    {
        const QSignalBlocker block(ComboBox3);
        ComboBox3->setCurrentIndex(layout.detectionPosition >= 0 &&
                                           layout.detectionPosition < ComboBox3->count()
                                       ? layout.detectionPosition
                                       : -1);
    }
    Label3->setText(firstCaption);
    Label3->setBuddy(list ? static_cast<QWidget*>(ComboBox3) : Edit2);
    Edit2->setAccessibleName(firstCaption);
    ComboBox3->setAccessibleName(firstCaption);

    Caption(Label6, Edit3, QString::fromStdString(layout.second.caption));
    Label6->setVisible(layout.second.shown);
    Edit3->setVisible(layout.second.shown);
    Edit3->setText(QString::fromStdString(layout.second.value));
    Edit3->setReadOnly(!layout.second.editable);

    Caption(Label7, Edit4, QString::fromStdString(layout.third.caption));
    Label7->setVisible(layout.third.shown);
    Edit4->setVisible(layout.third.shown);
    Edit4->setText(QString::fromStdString(layout.third.value));
    Edit4->setReadOnly(!layout.third.editable);

    // The address and the speed keep their contents across kind changes, hidden or not.
    Label1->setVisible(layout.addressAndSpeedShown);
    Edit1->setVisible(layout.addressAndSpeedShown);
    Label2->setVisible(layout.addressAndSpeedShown);
    ComboBox1->setVisible(layout.addressAndSpeedShown);
}

void TForm2::ComboBox2Change(int position) {
    if (position < 0) return;
    Arrange(static_cast<std::uint8_t>(position));
}

void TForm2::ComboBox3Change(int position) {
    // Stored at once: it stays even when the dialog is then cancelled.
    settings_.usbDetection = position;
    Edit3->setReadOnly(position == 0);
}

namespace {

// What the initialisation on the worker gives back: its outcome and the record as it left
// it (it works on a copy; the window's record is the window thread's alone).
struct Initialised {
    kv::ConnectionOutcome outcome;
    kv::ConnectionSettings record;
};

}  // namespace

void TForm2::Button1Click() {
    if (calls_->InFlight()) return;
    kv::ConnectionInput input;
    input.kindPosition = ComboBox2->currentIndex();
    input.addressText = FromQt(Edit1->text());
    input.speedPosition = ComboBox1->currentIndex();
    input.firstText = FromQt(Edit2->text());
    input.secondText = FromQt(Edit3->text());
    input.thirdText = FromQt(Edit4->text());
    input.detectionPosition = ComboBox3->currentIndex();

    // A new initialisation ends the old connection whatever follows: no window may use it
    // from now on.
    settings_.connected = false;
    calls_->Run(
        [input, record = settings_](kv::Connection& connection, const kv::StatusSink& status,
                                    const kv::StopAsked&) mutable {
            Initialised done;
            done.outcome = kv::InitialiseConnection(input, record, connection, status);
            done.record = std::move(record);
            return done;
        },
        [this](const Initialised& done) {
            kv::AdoptInitialisedRecord(settings_, done.record);
            Edit1->setText(QString::fromStdString(done.outcome.addressText));
            if (done.outcome.firstText)
                Edit2->setText(QString::fromStdString(*done.outcome.firstText));
            SetStatus(done.outcome.statusText);
            ShowLoadFailure(done.outcome.openRefused);
        });
}

void TForm2::done(int result) {
    // Closed while connecting: the initialisation runs to its end on the worker, and the
    // connection it may open is closed after it, as the record already says.
    if (calls_->InFlight()) worker_.Post([](kv::Connection& connection) { connection.Close(); });
    FixedDialog::done(result);
}

void TForm2::Button2Click() {
    close();
}

// The status keeps the binding's text, which names only the file ("chyba inicializace
// knihovny QLAN.DLL"). Why the library was refused, with its full path, is the status's
// tip, follows the text in its accessible description, and goes to the error output: a
// terminal's on Linux; on Windows, where a program with windows has no console, only
// where it was redirected.
void TForm2::ShowLoadFailure(bool openRefused) {
    const std::optional<std::string> why =
        openRefused ? kv::DescribeLoadFailure(settings_.interfaceKind) : std::nullopt;
    Panel1->setToolTip(why ? QString::fromStdString(*why) : QString());
    if (!why) return;
    Panel1->setAccessibleDescription(Panel1->text() + QStringLiteral(": ") +
                                     QString::fromStdString(*why));
    std::fprintf(stderr, "W_KV3380U: %s\n", why->c_str());
}

void TForm2::SetStatus(const std::string& text) {
    kvforms::ShowInLabel(Panel1, text);
    Panel1->repaint();
}
