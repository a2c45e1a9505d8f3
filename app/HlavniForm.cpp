#include "app/HlavniForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QWindow>
#include <new>

#include "app/AboutForm.h"
#include "app/HelpKey.h"
#include "app/HelpPages.h"
#include "connection/Pripojeni.h"
#include "connection/PripojeniForm.h"
#include "diagnostics/DiagnostikaForm.h"
#include "diagnostics/RestartZarizeniForm.h"
#include "editors/NastavLANForm.h"
#include "editors/SitoveParamForm.h"
#include "editors/VzdalenaSpravaForm.h"
#include "forms/FormSupport.h"

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 400;

QAction* AddItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

std::unique_ptr<kv::ConnectionSettings> MakeSettings() {
    return std::unique_ptr<kv::ConnectionSettings>(new (std::nothrow) kv::ConnectionSettings);
}

// The menu bar lays out the items after a separator at its right end when its style asks
// for separators in menu bars; the separator itself is not drawn by any of Qt's styles.
class RightAlignedHelpStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == QStyle::SH_DrawMenuBarSeparator) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

#ifndef KV_ASSISTANT_PROGRAM
#define KV_ASSISTANT_PROGRAM "/usr/lib/qt6/bin/assistant"
#endif

}  // namespace

TForm1::TForm1() : TForm1(SettingsFactory(MakeSettings)) {}

TForm1::TForm1(SettingsFactory factory, QWidget* parent)
    : QMainWindow(parent),
      helpViewer_(kv::platform::FindHelpViewer(KV_ASSISTANT_PROGRAM), kv::HelpCollectionPath()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(" KV-3380U  -  nastavení modulu"));
    setCentralWidget(new QWidget(this));
    BuildMenu();
    BuildStatusBar();
    resize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
    }
    helpKey_ = new kvforms::HelpKey(this, [this](const QString& name) { ShowHelpFor(name); });
    FormCreate(factory ? factory : SettingsFactory(MakeSettings));
}

// Destroyed without a close event (the event loop was left some other way): the settings
// are not saved, and the worker, a member, closes the connection as it goes.
TForm1::~TForm1() = default;

void TForm1::BuildMenu() {
    QMenuBar* bar = menuBar();
    // The help menu stands at the bar's right end, which a desktop-wide menu bar would
    // not show; the window keeps its own bar.
    bar->setNativeMenuBar(false);
    auto* style = new RightAlignedHelpStyle;
    style->setParent(bar);
    bar->setStyle(style);

    Pipojen1 = bar->addAction(QStringLiteral("&Připojení"));
    Pipojen1->setObjectName(QStringLiteral("Pipojen1"));

    Nastaven1 = bar->addMenu(QStringLiteral("&Nastavení"));
    Nastaven1->setObjectName(QStringLiteral("Nastaven1"));
    NastavAIN1 = AddItem(Nastaven1, "NastavAIN1", QStringLiteral("Síťové parametry"));
    Vzdlensprva1 = AddItem(Nastaven1, "Vzdlensprva1", QStringLiteral("Vzdálená správa LAN"));
    NastavLAN1 = AddItem(Nastaven1, "NastavLAN1", QStringLiteral("Rozhraní VLAN1"));
    NastavLAN2 = AddItem(Nastaven1, "NastavLAN2", QStringLiteral("Rozhraní VLAN2"));
    NastavLAN3 = AddItem(Nastaven1, "NastavLAN3", QStringLiteral("Rozhraní VLAN3"));
    Restartzazen1 = AddItem(Nastaven1, "Restartzazen1", QStringLiteral("Restart zařízení"));

    Diagnostika1 = bar->addMenu(QStringLiteral("Diagnostika"));
    Diagnostika1->setObjectName(QStringLiteral("Diagnostika1"));
    RozhranLAN11 = AddItem(Diagnostika1, "RozhranLAN11", QStringLiteral("Rozhraní VLAN1"));
    RozhranLAN21 = AddItem(Diagnostika1, "RozhranLAN21", QStringLiteral("Rozhraní VLAN2"));
    RozhranLAN31 = AddItem(Diagnostika1, "RozhranLAN31", QStringLiteral("Rozhraní VLAN3"));

    Konec2 = bar->addAction(QStringLiteral("&Konec"));
    Konec2->setObjectName(QStringLiteral("Konec2"));

    HelpSeparator = bar->addSeparator();
    HelpSeparator->setObjectName(QStringLiteral("HelpSeparator"));
    Npovda1 = bar->addMenu(QStringLiteral("Nápověda"));
    Npovda1->setObjectName(QStringLiteral("Npovda1"));
    Oprogramu1 = AddItem(Npovda1, "Oprogramu1", QStringLiteral("O programu"));
    Npovda2 = AddItem(Npovda1, "Npovda2", QStringLiteral("Nápověda"));

    connect(Pipojen1, &QAction::triggered, this, &TForm1::Pipojen1Click);
    connect(NastavAIN1, &QAction::triggered, this, &TForm1::NastavAIN1Click);
    connect(Vzdlensprva1, &QAction::triggered, this, &TForm1::Vzdlensprva1Click);
    connect(NastavLAN1, &QAction::triggered, this, &TForm1::NastavLAN1Click);
    connect(NastavLAN2, &QAction::triggered, this, &TForm1::NastavLAN2Click);
    connect(NastavLAN3, &QAction::triggered, this, &TForm1::NastavLAN3Click);
    connect(Restartzazen1, &QAction::triggered, this, &TForm1::Restartzazen1Click);
    connect(RozhranLAN11, &QAction::triggered, this, &TForm1::RozhranLAN11Click);
    connect(RozhranLAN21, &QAction::triggered, this, &TForm1::RozhranLAN21Click);
    connect(RozhranLAN31, &QAction::triggered, this, &TForm1::RozhranLAN31Click);
    connect(Konec2, &QAction::triggered, this, &TForm1::Konec2Click);
    connect(Oprogramu1, &QAction::triggered, this, &TForm1::Oprogramu1Click);
    connect(Npovda2, &QAction::triggered, this, &TForm1::Npovda2Click);
}

void TForm1::BuildStatusBar() {
    static const char* const kTexts[3] = {" Modul", " Adresa", ""};
    static const int kWidths[3] = {140, 160, 50};
    QStatusBar* bar = statusBar();
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        panels_[i] = panel;
        // The widths were chosen for a small dialog font; with the desktop's font the
        // module's identification would be cut off, so a panel grows to its text. The
        // last panel reaches the window's edge, so a message in it can be read.
        panel->setMinimumWidth(kWidths[i]);
        bar->addWidget(panel, i < 2 ? 0 : 1);
        SetPanel(i, kTexts[i]);
    }
}

QLabel* TForm1::statusPanel(int index) const {
    return index >= 0 && index < 3 ? panels_[index] : nullptr;
}

void TForm1::SetPanel(int index, const std::string& text) {
    kvforms::ShowInLabel(panels_[index], text);
}

void TForm1::FormCreate(const SettingsFactory& factory) {
    try {
        settings_ = factory();
    } catch (...) {
        settings_.reset();
    }
    if (!settings_) {
        SetPanel(2, " Nelze vytvořit datové struktury programu");
        return;
    }
    kv::SetDefaults(settings_.get());
    kv::LoadSettings(settings_.get());
}

void TForm1::FormClose() {
    if (!settings_) return;
    kv::SaveSettings(settings_.get());
    // The window goes at once. A call still out on the worker (a window closed while it
    // waited) runs to its end, at most its library's time-out; then the connection is
    // closed and the program may end.
    hide();
    worker_.Finish();
    settings_.reset();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The frame's size is known only once the window exists; centre the whole window.
    if (centred_) return;
    centred_ = true;
    FitFrame();
    // A window manager adds its frame when it maps the window, which may come later
    // than this first show: fit again once the window is exposed.
    if (QWindow* handle = windowHandle(); handle != nullptr && !frameFitted_)
        handle->installEventFilter(this);
}

void TForm1::FitFrame() {
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const QSize margins(frame.width() - client.width(), frame.height() - client.height());
    resize(kWidth - margins.width(), kHeight - margins.height());
    kvforms::CentreFrame(this);
    frameFitted_ = !margins.isNull();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && !frameFitted_ &&
        windowHandle()->isExposed()) {
        FitFrame();
        // Without a frame at all (no window manager) there is nothing more to learn.
        frameFitted_ = true;
        windowHandle()->removeEventFilter(this);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // An open window works on the record; it must not be freed under it.
    if (openWindows_ > 0) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

template <typename Window>
void TForm1::OpenWindow() {
    Window window(this);
    window.exec();
}

template <typename Window, typename... Extra>
bool TForm1::OpenWithSettings(Extra... extra) {
    if (!settings_) return false;
    ++openWindows_;
    {
        Window window(*settings_, worker_, extra..., this);
        window.exec();
    }
    --openWindows_;
    return true;
}

void TForm1::Pipojen1Click() {
    if (!OpenWithSettings<TForm2>()) return;
    SetPanel(0, " Modul  " + settings_->moduleIdent);
    SetPanel(1, " Adresa  " + kv::AddressForStatusPanel(*settings_));
}

void TForm1::NastavAIN1Click() {
    OpenWithSettings<TFormLanParam>();
}
void TForm1::Vzdlensprva1Click() {
    OpenWithSettings<TFormVzdalenaSprava>();
}
void TForm1::NastavLAN1Click() {
    OpenWithSettings<TFormNastavLAN>(kv::Vlan::FromNumber(1));
}
void TForm1::NastavLAN2Click() {
    OpenWithSettings<TFormNastavLAN>(kv::Vlan::FromNumber(2));
}
void TForm1::NastavLAN3Click() {
    OpenWithSettings<TFormNastavLAN>(kv::Vlan::FromNumber(3));
}

void TForm1::Restartzazen1Click() {
    OpenWithSettings<TFormRestart>();
}
void TForm1::RozhranLAN11Click() {
    OpenWithSettings<TFormDiagnostika>(kv::Vlan::FromNumber(1));
}
void TForm1::RozhranLAN21Click() {
    OpenWithSettings<TFormDiagnostika>(kv::Vlan::FromNumber(2));
}
void TForm1::RozhranLAN31Click() {
    OpenWithSettings<TFormDiagnostika>(kv::Vlan::FromNumber(3));
}

void TForm1::Oprogramu1Click() {
    OpenWindow<TFormOProgramu>();
}

// A viewer that is missing or fails is ignored without a message.
void TForm1::Npovda2Click() {
    helpViewer_.Show({}, kv::HelpPageAddress(kv::kHelpStartPage));
}

void TForm1::ShowHelpFor(const QString& windowName) {
    const std::string page = kv::HelpPageAddress(kv::HelpPageForWindow(windowName.toStdString()));
    helpViewer_.Show(page, page);
}

void TForm1::Konec2Click() {
    helpViewer_.End();
    close();
}
