#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "connection/PripojeniForm.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/gui/GuiTestSupport.h"

namespace {

using kvgui::ScratchFolder;

std::vector<std::uint32_t> Reply(const char* four) {
    std::vector<std::uint32_t> data(300, 0);
    for (int i = 0; i < 4; ++i) data[i] = static_cast<unsigned char>(four[i]);
    return data;
}

// Records the panel's text each time it is painted.
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(QWidget* watched) { watched->installEventFilter(this); }
    std::vector<QString> texts;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) texts.push_back(static_cast<QLabel*>(object)->text());
        return false;
    }
};

class PripojeniFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kvgui::App();
        ASSERT_TRUE(folder_.ok());
    }
    void TearDown() override {
        // The connection keeps one library loaded; the next test starts without it.
        worker_.Finish();
    }

    // A dialog on the record, shown (non-modally) so that FormShow has run.
    std::unique_ptr<TForm2> Show() {
        auto dialog = std::make_unique<TForm2>(settings_, worker_);
        EXPECT_TRUE(kvgui::ShowExposed(dialog.get()));
        return dialog;
    }

    std::unique_ptr<kvtest::FakeTransport> Fake(const char* file) {
        auto fake = std::make_unique<kvtest::FakeTransport>(folder_.path(), file);
        if (fake->ok()) fake->Reset();
        return fake;
    }

    ScratchFolder folder_;
    kv::ConnectionSettings settings_;
    kv::Connection connection_;
    kv::ConnectionWorker worker_{connection_};
};

TEST_F(PripojeniFormTest, WindowFrameAndFixedControls) {
    auto d = Show();
    EXPECT_EQ(d->objectName(), "Form2");
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Připojení modulu"));
    EXPECT_EQ(d->size(), QSize(582, 331));
    EXPECT_EQ(d->minimumSize(), d->maximumSize());
    const Qt::WindowFlags flags = d->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(d->frameGeometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(d->frameGeometry().center().y() - area.center().y()), 1);

    EXPECT_EQ(d->Label5->text(), QStringLiteral("Komunikační rozhraní"));
    EXPECT_EQ(d->Label1->text(), QStringLiteral("Adresa připojeného modulu"));
    EXPECT_EQ(d->Label2->text(), QStringLiteral("Komunikační rychlost"));
    EXPECT_EQ(d->Label4->text(), QStringLiteral("Status připojení"));
    EXPECT_EQ(d->Button1->text(), QStringLiteral("Inicializace připojení"));
    EXPECT_EQ(d->Button2->text(), QStringLiteral("Cancel"));
    EXPECT_LT(d->Button1->x(), d->Button2->x());

    ASSERT_EQ(d->ComboBox2->count(), 2);
    EXPECT_EQ(d->ComboBox2->itemText(0), QStringLiteral("USB rozhraní PC"));
    EXPECT_EQ(d->ComboBox2->itemText(1), QStringLiteral("LAN rozhraní PC"));
    ASSERT_EQ(d->ComboBox3->count(), 1);
    EXPECT_EQ(d->ComboBox3->itemText(0), QStringLiteral("první nalezené"));
    const char* const speeds[] = {"600 Bd",   "1200 Bd",  "2400 Bd",  "4800 Bd",  "9600 Bd",
                                  "19200 Bd", "38400 Bd", "57600 Bd", "115200 Bd"};
    ASSERT_EQ(d->ComboBox1->count(), 9);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(d->ComboBox1->itemText(i), QString::fromUtf8(speeds[i]));
    for (QComboBox* list : {d->ComboBox1, d->ComboBox2, d->ComboBox3}) {
        EXPECT_FALSE(list->isEditable());
        EXPECT_EQ(list->width(), 169);
    }
    for (QLineEdit* edit : {d->Edit1, d->Edit2, d->Edit3, d->Edit4}) EXPECT_EQ(edit->width(), 169);
    EXPECT_EQ(d->ComboBox3->geometry(), d->Edit2->geometry());
    EXPECT_EQ(d->Panel1->width(), 521);
    EXPECT_EQ(d->Panel1->frameShadow(), QFrame::Sunken);
    EXPECT_TRUE(d->Panel1->alignment() & Qt::AlignLeft);
    EXPECT_EQ(d->Panel1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(d->Panel1->autoFillBackground());
}

struct KindCase {
    int stored;
    int kind;           // after the reduction to 0..7
    int listPosition;   // ComboBox2
    const char* first;  // caption of the first row, nullptr hidden
    bool firstIsList;
    const char* firstValue;
    const char* second;
    const char* secondValue;
    const char* third;
    const char* thirdValue;
    bool addressShown;
};

// Shown by the test runner instead of a dump of the struct's bytes.
void PrintTo(const KindCase& c, std::ostream* os) {
    *os << "stored kind " << c.stored;
}

class KindRowsTest : public PripojeniFormTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(KindRowsTest, EachKindShowsItsOwnRows) {
    const KindCase& c = GetParam();
    settings_.interfaceKind = static_cast<std::uint8_t>(c.stored);
    settings_.qudpTargetIp = "10.1.1.1";
    settings_.qudpTargetPort = 1111;
    settings_.qudpTimeout = 1112;
    settings_.comPort = 4;
    settings_.pciBaseAddress = 672;
    settings_.kvIpAddress = "10.6.6.6";
    settings_.kvUdpPort = 6001;
    settings_.kvUdpTimeout = 6002;
    settings_.lanIpAddress = "10.7.7.7";
    settings_.lanUdpPort = 7001;
    settings_.lanUdpTimeout = 7002;
    settings_.usbSerial = "12345678";
    settings_.usbTimeout = 333;
    settings_.moduleAddress = 17;
    settings_.baudRate = 38400;
    auto d = Show();

    EXPECT_EQ(settings_.interfaceKind, c.kind);
    EXPECT_EQ(d->ComboBox2->currentIndex(), c.listPosition);

    EXPECT_EQ(d->Label3->isVisible(), c.first != nullptr);
    EXPECT_EQ(d->ComboBox3->isVisible(), c.first != nullptr && c.firstIsList);
    EXPECT_EQ(d->Edit2->isVisible(), c.first != nullptr && !c.firstIsList);
    if (c.first != nullptr) {
        EXPECT_EQ(d->Label3->text(), QString::fromUtf8(c.first));
        if (c.firstIsList) {
            EXPECT_EQ(d->ComboBox3->currentIndex(), 0);
            EXPECT_EQ(d->Label3->buddy(), d->ComboBox3);
            EXPECT_EQ(d->ComboBox3->accessibleName(), QString::fromUtf8(c.first));
        } else {
            EXPECT_EQ(d->Edit2->text(), QString::fromUtf8(c.firstValue));
            EXPECT_EQ(d->Label3->buddy(), d->Edit2);
            EXPECT_EQ(d->Edit2->accessibleName(), QString::fromUtf8(c.first));
        }
    }
    EXPECT_EQ(d->Label6->isVisible(), c.second != nullptr);
    EXPECT_EQ(d->Edit3->isVisible(), c.second != nullptr);
    if (c.second != nullptr) {
        EXPECT_EQ(d->Label6->text(), QString::fromUtf8(c.second));
        EXPECT_EQ(d->Edit3->text(), QString::fromUtf8(c.secondValue));
        EXPECT_EQ(d->Edit3->accessibleName(), QString::fromUtf8(c.second));
        EXPECT_EQ(d->Label6->buddy(), d->Edit3);
    }
    EXPECT_EQ(d->Label7->isVisible(), c.third != nullptr);
    EXPECT_EQ(d->Edit4->isVisible(), c.third != nullptr);
    if (c.third != nullptr) {
        EXPECT_EQ(d->Label7->text(), QString::fromUtf8(c.third));
        EXPECT_EQ(d->Edit4->text(), QString::fromUtf8(c.thirdValue));
        EXPECT_EQ(d->Edit4->accessibleName(), QString::fromUtf8(c.third));
    }
    for (QWidget* w : {static_cast<QWidget*>(d->Label1), static_cast<QWidget*>(d->Edit1),
                       static_cast<QWidget*>(d->Label2), static_cast<QWidget*>(d->ComboBox1)}) {
        EXPECT_EQ(w->isVisible(), c.addressShown) << w->objectName().toStdString();
    }
    // Filled for every kind, hidden or not.
    EXPECT_EQ(d->Edit1->text(), "17");
    EXPECT_EQ(d->ComboBox1->currentText(), "38400 Bd");
    EXPECT_EQ(d->Panel1->text(), QStringLiteral("Připojení modulu dosud neinicializováno"));
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, KindRowsTest,
    ::testing::Values(
        KindCase{0, 0, 0, "Detekce zařízení", true, nullptr, "Výrobní číslo", "12345678",
                 "USB timeout [ms]", "333", false},
        KindCase{1, 1, 1, "Cílová IP adresa", false, "10.1.1.1", "Cílový port", "1111",
                 "LAN timeout [ms]", "1112", false},
        KindCase{2, 2, -1, "Číslo portu COMx", false, "4", nullptr, nullptr, nullptr, nullptr,
                 true},
        KindCase{3, 3, -1, "Bázová adresa PCI-380", false, "2A0h", nullptr, nullptr, nullptr,
                 nullptr, true},
        KindCase{4, 4, -1, nullptr, false, nullptr, nullptr, nullptr, nullptr, nullptr, true},
        KindCase{5, 5, -1, nullptr, false, nullptr, nullptr, nullptr, nullptr, nullptr, true},
        KindCase{6, 6, -1, "IP adresa", false, "10.6.6.6", "UDP port", "6001", "UDP timeout [ms]",
                 "6002", true},
        KindCase{7, 7, -1, "IP adresa", false, "10.7.7.7", "UDP port", "7001", "UDP timeout [ms]",
                 "7002", false},
        KindCase{255, 7, -1, "IP adresa", false, "10.7.7.7", "UDP port", "7001", "UDP timeout [ms]",
                 "7002", false},
        KindCase{10, 2, -1, "Číslo portu COMx", false, "4", nullptr, nullptr, nullptr, nullptr,
                 true}),
    [](const ::testing::TestParamInfo<KindCase>& info) {
        return "StoredKind" + std::to_string(info.param.stored);
    });

TEST_F(PripojeniFormTest, KindChangeDropsTypedTextAndStoresNothing) {
    settings_.interfaceKind = 1;
    settings_.qudpTargetIp = "127.0.0.5";
    auto d = Show();
    d->Edit2->setText("10.9.9.9");
    d->Edit3->setText("1");
    d->ComboBox2->setCurrentIndex(0);
    EXPECT_TRUE(d->ComboBox3->isVisible());
    EXPECT_FALSE(d->Edit2->isVisible());
    EXPECT_EQ(settings_.interfaceKind, 1);
    d->ComboBox2->setCurrentIndex(1);
    EXPECT_EQ(d->Edit2->text(), "127.0.0.5");
    EXPECT_EQ(d->Edit3->text(), "56565");
    EXPECT_EQ(settings_.interfaceKind, 1);
    EXPECT_EQ(settings_.qudpTargetIp, "127.0.0.5");
}

TEST_F(PripojeniFormTest, HiddenAddressAndSpeedSurviveKindChanges) {
    settings_.interfaceKind = 2;
    settings_.moduleAddress = 3;
    auto d = Show();
    ASSERT_TRUE(d->Edit1->isVisible());
    d->Edit1->setText("77");
    d->ComboBox1->setCurrentIndex(2);
    d->ComboBox2->setCurrentIndex(1);
    EXPECT_FALSE(d->Edit1->isVisible());
    d->ComboBox2->setCurrentIndex(0);
    EXPECT_EQ(d->Edit1->text(), "77");
    EXPECT_EQ(d->ComboBox1->currentIndex(), 2);
    EXPECT_EQ(settings_.moduleAddress, 3);
}

TEST_F(PripojeniFormTest, StoredSpeedsOutsideTheList) {
    const std::pair<std::uint32_t, int> cases[] = {{230400, -1}, {460800, -1}, {0, 4},
                                                   {100, 4},     {600, 0},     {115200, 8}};
    for (const auto& [baud, position] : cases) {
        settings_.baudRate = baud;
        auto d = Show();
        EXPECT_EQ(d->ComboBox1->currentIndex(), position) << baud;
        EXPECT_EQ(settings_.baudRate, baud);
    }
}

TEST_F(PripojeniFormTest, DetectionChoiceIsStoredAtOnceAndGovernsTheSerialNumber) {
    settings_.interfaceKind = 0;
    settings_.usbDetection = 1;
    auto d = Show();
    EXPECT_EQ(d->ComboBox3->currentIndex(), -1);
    EXPECT_FALSE(d->Edit3->isReadOnly());
    d->ComboBox3->setCurrentIndex(0);
    EXPECT_EQ(settings_.usbDetection, 0);
    EXPECT_TRUE(d->Edit3->isReadOnly());
    d->Button2->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(settings_.usbDetection, 0);

    // 2 AND 1 selects the entry, yet the serial number stays editable.
    settings_.usbDetection = 2;
    d = Show();
    EXPECT_EQ(d->ComboBox3->currentIndex(), 0);
    EXPECT_FALSE(d->Edit3->isReadOnly());
    EXPECT_EQ(settings_.usbDetection, 2);

    settings_.usbDetection = 0;
    d = Show();
    EXPECT_TRUE(d->Edit3->isReadOnly());
    // Another kind's second row is always editable.
    d->ComboBox2->setCurrentIndex(1);
    EXPECT_FALSE(d->Edit3->isReadOnly());
}

TEST_F(PripojeniFormTest, ShowingAgainKeepsWhatWasTyped) {
    auto d = Show();
    d->Edit3->setText("typed");
    d->Edit1->setText("99");
    d->hide();
    d->show();
    EXPECT_EQ(d->Edit3->text(), "typed");
    EXPECT_EQ(d->Edit1->text(), "99");
}

TEST_F(PripojeniFormTest, SuccessfulInitialisationThroughTheLibrary) {
    auto fake = Fake("QQUDP.DLL");
    ASSERT_TRUE(fake->ok());
    fake->QueueSend(0, 0, 1, Reply("ABCD"));
    fake->QueueSend(0, 0, 2, Reply("EFGH"));
    fake->QueueSend(0, 0, 3, Reply("1.23"));
    settings_.qudpSourcePort = 10000;
    auto d = Show();
    PaintWatch watch(d->Panel1);
    d->ComboBox2->setCurrentIndex(1);
    d->Edit2->setText("127.0.0.8");
    d->Edit3->setText("4000");
    d->Edit4->setText("$1F4");
    d->Edit1->setText("300");
    d->ComboBox1->setCurrentIndex(8);
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));

    const QString success =
        QStringLiteral("Připojení úspěšně inicializováno. Připojen modul   ABCDEFGH v.1.23");
    EXPECT_EQ(d->Panel1->text(), success);
    EXPECT_EQ(d->Panel1->accessibleDescription(), success);
    EXPECT_EQ(d->Edit1->text(), "44");
    // Both texts were on screen while the call was still running.
    ASSERT_GE(watch.texts.size(), 2u);
    EXPECT_EQ(watch.texts.front(), QStringLiteral("Probíhá inicializace připojení"));
    EXPECT_EQ(watch.texts.back(), success);

    EXPECT_TRUE(settings_.connected);
    EXPECT_EQ(settings_.handle, 0x1234u);
    EXPECT_EQ(settings_.interfaceKind, 1);
    EXPECT_EQ(settings_.moduleAddress, 44);
    EXPECT_EQ(settings_.baudRate, 115200u);
    EXPECT_EQ(settings_.qudpTargetIp, "127.0.0.8");
    EXPECT_EQ(settings_.qudpTargetPort, 4000);
    EXPECT_EQ(settings_.qudpSourcePort, 4000);
    EXPECT_EQ(settings_.qudpTimeout, 500);
    EXPECT_EQ(settings_.statusText, "V pořádku");
    EXPECT_NE(fake->Log().find("QQUDP_SetConfig 4660 115200 100 2"), std::string::npos)
        << fake->Log();
}

TEST_F(PripojeniFormTest, FailedCheckShowsItsTextAndOpensNothing) {
    auto fake = Fake("QQUDP.DLL");
    ASSERT_TRUE(fake->ok());
    settings_.interfaceKind = 1;
    auto d = Show();
    d->Edit3->setText("65536");
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));
    EXPECT_EQ(d->Panel1->text(), QStringLiteral("Neplatný cílový port"));
    EXPECT_EQ(d->Panel1->accessibleDescription(), d->Panel1->text());
    EXPECT_FALSE(settings_.connected);
    EXPECT_EQ(fake->CallCount("Init"), 0u);
    EXPECT_EQ(settings_.statusText, "Připojení modulu dosud neinicializováno");
    EXPECT_TRUE(d->isVisible());

    d->Edit3->setText("65535");
    d->Edit2->clear();
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));
    EXPECT_EQ(d->Panel1->text(), QStringLiteral("Neplatná IP adresa"));
}

TEST_F(PripojeniFormTest, OpenFailureShowsTheLibrarysText) {
    auto fake = Fake("QUSBVX.DLL");
    ASSERT_TRUE(fake->ok());
    fake->SetInitResult(5, 0);
    auto d = Show();
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));
    EXPECT_EQ(d->Panel1->text(), QStringLiteral("Chyba inicializace připojení - fake 5"));
    EXPECT_FALSE(settings_.connected);
    EXPECT_EQ(fake->CallCount("Done"), 0u);
}

TEST_F(PripojeniFormTest, ALibraryThatDoesNotLoadKeepsItsTextAndTellsWhyInTheTip) {
    const auto library = kv::testing::PathOf(folder_.path() + "/QQUDP.DLL");
    const auto aside = kv::testing::PathOf(folder_.path() + "/QQUDP.aside");
    std::filesystem::rename(library, aside);
    settings_.interfaceKind = 1;
    auto d = Show();
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));
    const QString text =
        QStringLiteral("Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL");
    EXPECT_EQ(d->Panel1->text(), text);
    // The library's full path and the reason: the tip, and after the text for a reader.
    const QString path = QString::fromStdString(kv::platform::ProgramFolder() + "QQUDP.DLL");
    const QString why = d->Panel1->toolTip();
    EXPECT_TRUE(why.startsWith("knihovnu " + path + " nelze načíst: soubor nebo složka neexistuje"))
        << why.toStdString();
    EXPECT_EQ(d->Panel1->accessibleDescription(), text + ": " + why);

    // Once the library is there, nothing is left of it.
    std::filesystem::rename(aside, library);
    auto fake = Fake("QQUDP.DLL");
    ASSERT_TRUE(fake->ok());
    fake->SetInitResult(5, 0);
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));
    EXPECT_EQ(d->Panel1->text(), QStringLiteral("Chyba inicializace připojení - fake 5"));
    EXPECT_EQ(d->Panel1->toolTip(), QString());
    EXPECT_EQ(d->Panel1->accessibleDescription(), d->Panel1->text());
}

TEST_F(PripojeniFormTest, NoKindSelectedIsAnUnknownInterface) {
    settings_.interfaceKind = 6;
    auto d = Show();
    ASSERT_EQ(d->ComboBox2->currentIndex(), -1);
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));
    EXPECT_EQ(d->Panel1->text(), QStringLiteral("Neznámý typ rozhraní"));
    EXPECT_EQ(settings_.interfaceKind, 255);
    EXPECT_FALSE(settings_.connected);
}

// What a screen reader hears for a field: its accessible name, and on Linux, where a
// list's name is its current entry, the label that names it.
QString AccessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

QString LabelledBy(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (iface == nullptr) return QString();
    const auto relations = iface->relations(QAccessible::Label);
    return relations.isEmpty() ? QString() : relations.first().first->text(QAccessible::Name);
}

bool HiddenFromAssistiveTechnology(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface != nullptr && iface->state().invisible;
}

TEST_F(PripojeniFormTest, ScreenReadersHearCaptionsAndStatus) {
    settings_.interfaceKind = 0;
    auto d = Show();
    const std::pair<QWidget*, QString> named[] = {
        {d->ComboBox2, QStringLiteral("Komunikační rozhraní")},
        {d->ComboBox3, QStringLiteral("Detekce zařízení")},
        {d->Edit3, QStringLiteral("Výrobní číslo")},
        {d->Edit4, QStringLiteral("USB timeout [ms]")},
        {d->Edit1, QStringLiteral("Adresa připojeného modulu")},
        {d->ComboBox1, QStringLiteral("Komunikační rychlost")}};
    for (const auto& [widget, caption] : named) {
        EXPECT_EQ(widget->accessibleName(), caption);
        EXPECT_EQ(LabelledBy(widget), caption) << widget->objectName().toStdString();
    }
    EXPECT_EQ(AccessibleName(d->Edit3), QStringLiteral("Výrobní číslo"));
    EXPECT_TRUE(HiddenFromAssistiveTechnology(d->Edit2));
    EXPECT_TRUE(HiddenFromAssistiveTechnology(d->Edit1));
    EXPECT_TRUE(HiddenFromAssistiveTechnology(d->ComboBox1));
    EXPECT_FALSE(HiddenFromAssistiveTechnology(d->ComboBox3));

    // A kind change renames the rows; the fields follow their captions.
    d->ComboBox2->setCurrentIndex(1);
    EXPECT_EQ(AccessibleName(d->Edit2), QStringLiteral("Cílová IP adresa"));
    EXPECT_EQ(LabelledBy(d->Edit2), QStringLiteral("Cílová IP adresa"));
    EXPECT_EQ(LabelledBy(d->ComboBox3), QString());
    EXPECT_EQ(AccessibleName(d->Edit3), QStringLiteral("Cílový port"));
    EXPECT_EQ(LabelledBy(d->Edit3), QStringLiteral("Cílový port"));
    EXPECT_EQ(AccessibleName(d->Edit4), QStringLiteral("LAN timeout [ms]"));
    EXPECT_FALSE(HiddenFromAssistiveTechnology(d->Edit2));
    EXPECT_TRUE(HiddenFromAssistiveTechnology(d->ComboBox3));

    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(d->Panel1);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(QAccessible::Name), QStringLiteral("Status připojení"));
    EXPECT_EQ(panel->text(QAccessible::Description),
              QStringLiteral("Připojení modulu dosud neinicializováno"));
    d->Edit3->setText("-1");
    d->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(d.get()));
    EXPECT_EQ(d->Panel1->text(), QStringLiteral("Neplatný cílový port"));
    EXPECT_EQ(panel->text(QAccessible::Description), d->Panel1->text());
}

TEST_F(PripojeniFormTest, TabOrderRunsTopToBottom) {
    settings_.interfaceKind = 2;
    auto d = Show();
    const std::vector<QWidget*> expected = {d->ComboBox2, d->Edit2,   d->ComboBox3,
                                            d->Edit3,     d->Edit4,   d->Edit1,
                                            d->ComboBox1, d->Button1, d->Button2};
    std::vector<QWidget*> chain;
    QWidget* w = d->ComboBox2;
    for (int guard = 0; guard < 100 && chain.size() < expected.size(); ++guard) {
        if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(chain, expected);
    for (std::size_t i = 1; i < expected.size(); ++i) {
        EXPECT_LE(expected[i - 1]->y(), expected[i]->y()) << i;
    }
}

}  // namespace
