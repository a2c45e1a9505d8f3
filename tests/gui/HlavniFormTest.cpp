#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <memory>
#include <new>

#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/gui/GuiTestSupport.h"

namespace {

using kvgui::ScratchFolder;

std::vector<std::uint32_t> Reply(const char* four) {
    std::vector<std::uint32_t> data(300, 0);
    for (int i = 0; i < 4; ++i) data[i] = static_cast<unsigned char>(four[i]);
    return data;
}

class HlavniFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kvgui::App();
        ASSERT_TRUE(folder_.ok());
    }

    // Opens the fake under a kind's file name in the scratch folder and clears its script.
    std::unique_ptr<kvtest::FakeTransport> Fake(const char* file) {
        auto fake = std::make_unique<kvtest::FakeTransport>(folder_.path(), file);
        if (fake->ok()) fake->Reset();
        return fake;
    }

    ScratchFolder folder_;
};

TEST_F(HlavniFormTest, WindowCaptionSizeAndPlace) {
    TForm1 form;
    form.show();
    EXPECT_EQ(form.objectName(), "Form1");
    EXPECT_EQ(form.windowTitle(), QStringLiteral(" KV-3380U  -  nastavení modulu"));
    // The whole window, frame included, is 600 x 400.
    EXPECT_EQ(form.frameGeometry().size(), QSize(600, 400));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(form.frameGeometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(form.frameGeometry().center().y() - area.center().y()), 1);
    form.close();
}

TEST_F(HlavniFormTest, MenuBarOrderNamesAndCaptions) {
    TForm1 form;
    form.show();
    const QList<QAction*> top = form.menuBar()->actions();
    ASSERT_GE(top.size(), 4);
    EXPECT_EQ(top[0]->objectName(), "Pipojen1");
    EXPECT_EQ(top[0]->text(), QStringLiteral("&Připojení"));
    EXPECT_EQ(top[0]->menu(), nullptr);
    ASSERT_NE(top[1]->menu(), nullptr);
    EXPECT_EQ(top[1]->menu()->objectName(), "Nastaven1");
    EXPECT_EQ(top[1]->text(), QStringLiteral("&Nastavení"));
    ASSERT_NE(top[2]->menu(), nullptr);
    EXPECT_EQ(top[2]->menu()->objectName(), "Diagnostika1");
    EXPECT_EQ(top[2]->text(), QStringLiteral("Diagnostika"));
    EXPECT_EQ(top[3]->objectName(), "Konec2");
    EXPECT_EQ(top[3]->text(), QStringLiteral("&Konec"));
    EXPECT_EQ(top[3]->menu(), nullptr);

    auto items = [](QMenu* menu) {
        std::vector<std::pair<QString, QString>> out;
        for (QAction* a : menu->actions()) out.emplace_back(a->objectName(), a->text());
        return out;
    };
    using Items = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(items(top[1]->menu()),
              (Items{{"NastavAIN1", QStringLiteral("Síťové parametry")},
                     {"Vzdlensprva1", QStringLiteral("Vzdálená správa LAN")},
                     {"NastavLAN1", QStringLiteral("Rozhraní VLAN1")},
                     {"NastavLAN2", QStringLiteral("Rozhraní VLAN2")},
                     {"NastavLAN3", QStringLiteral("Rozhraní VLAN3")},
                     {"Restartzazen1", QStringLiteral("Restart zařízení")}}));
    EXPECT_EQ(items(top[2]->menu()), (Items{{"RozhranLAN11", QStringLiteral("Rozhraní VLAN1")},
                                            {"RozhranLAN21", QStringLiteral("Rozhraní VLAN2")},
                                            {"RozhranLAN31", QStringLiteral("Rozhraní VLAN3")}}));

    // "Nápověda" is last, in the same bar, and stands at its right end past every other
    // item; the separator before it is what puts it there and is not drawn.
    ASSERT_EQ(top.size(), 6);
    EXPECT_TRUE(top[4]->isSeparator());
    QMenu* help = top[5]->menu();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->objectName(), "Npovda1");
    EXPECT_EQ(top[5]->text(), QStringLiteral("Nápověda"));
    EXPECT_EQ(items(help), (Items{{"Oprogramu1", QStringLiteral("O programu")},
                                  {"Npovda2", QStringLiteral("Nápověda")}}));
    const QRect last = form.menuBar()->actionGeometry(top[3]);
    const QRect helpItem = form.menuBar()->actionGeometry(top[5]);
    EXPECT_GT(helpItem.left(), last.right() + 100);
    EXPECT_GE(helpItem.right(), form.menuBar()->width() - 10);
    EXPECT_EQ(helpItem.top(), last.top());

    // Every command is offered, also those whose windows come later.
    for (QAction* a : form.findChildren<QAction*>()) {
        if (!a->text().isEmpty()) {
            EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
        }
    }
    form.close();
}

TEST_F(HlavniFormTest, StatusPanelsStartWithTheirCaptions) {
    TForm1 form;
    form.show();
    const char* const texts[3] = {" Modul", " Adresa", ""};
    for (int i = 0; i < 3; ++i) {
        QLabel* panel = form.statusPanel(i);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->objectName(), QStringLiteral("StatusPanel%1").arg(i));
        EXPECT_EQ(panel->text(), QString::fromUtf8(texts[i]));
        EXPECT_EQ(panel->accessibleDescription(), panel->text());
    }
    EXPECT_EQ(form.statusPanel(0)->width(), 140);
    EXPECT_EQ(form.statusPanel(1)->width(), 160);
    EXPECT_GE(form.statusPanel(2)->width(), 50);
    EXPECT_LT(form.statusPanel(0)->x(), form.statusPanel(1)->x());
    EXPECT_LT(form.statusPanel(1)->x(), form.statusPanel(2)->x());
    EXPECT_EQ(form.statusPanel(3), nullptr);
    form.close();
}

TEST_F(HlavniFormTest, StatusPanelsGrowToShowTheWholeIdentification) {
    TForm1 form;
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    form.settings()->moduleIdent = "KV-3380U v.1.20";
    form.settings()->interfaceKind = 1;
    form.settings()->qudpTargetIp = "127.123.123.123";
    ASSERT_TRUE(kvgui::DriveModal<TForm2>([&] { form.Pipojen1Click(); }, [](TForm2*) {}));
    QApplication::processEvents();
    for (int i = 0; i < 2; ++i) {
        QLabel* panel = form.statusPanel(i);
        const int needed = panel->fontMetrics().horizontalAdvance(panel->text());
        EXPECT_GE(panel->contentsRect().width(), needed) << panel->text().toStdString();
    }
    EXPECT_LT(form.statusPanel(0)->geometry().right(), form.statusPanel(1)->x());
    form.close();
}

TEST_F(HlavniFormTest, FirstCloseWritesTheDefaultsAndASecondCloseIsHarmless) {
    TForm1 form;
    ASSERT_NE(form.settings(), nullptr);
    EXPECT_EQ(form.settings()->interfaceKind, 0);
    EXPECT_EQ(form.settings()->baudRate, 9600u);
    EXPECT_EQ(form.settings()->usbSerial, "00000001");
    EXPECT_FALSE(std::filesystem::exists(folder_.ini()));

    form.show();
    form.close();
    EXPECT_EQ(form.settings(), nullptr);
    const std::string ini = folder_.ReadIni();
    // Code page 1250 on disk: ř is 0xF8, í 0xED, ý 0xFD.
    EXPECT_NE(ini.find("[P\xF8ipojen\xED]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Rozhran\xED=USBVx"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Adresa=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Rychlost=9600"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[USBVx]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Detekce=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("V\xFDrobn\xED \xE8\xEDslo=00000001"), std::string::npos) << ini;
    EXPECT_NE(ini.find("USB timeout=1000"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("LAN QUDP"), std::string::npos) << ini;

    // The record is gone: another close neither saves nor touches anything.
    std::filesystem::remove(folder_.ini());
    form.show();
    form.close();
    EXPECT_FALSE(std::filesystem::exists(folder_.ini()));
}

TEST_F(HlavniFormTest, LoadsTheSettingsFileOverTheDefaults) {
    folder_.WriteIni(
        "[P\xF8ipojen\xED]\r\nRozhran\xED=LAN QUDP\r\nAdresa=7\r\nRychlost=19200\r\n"
        "[LAN QUDP]\r\nC\xEDlov\xE1 IP adresa=127.0.0.9\r\n");
    TForm1 form;
    ASSERT_NE(form.settings(), nullptr);
    EXPECT_EQ(form.settings()->interfaceKind, 1);
    EXPECT_EQ(form.settings()->moduleAddress, 7);
    EXPECT_EQ(form.settings()->baudRate, 19200u);
    EXPECT_EQ(form.settings()->qudpTargetIp, "127.0.0.9");
    EXPECT_EQ(form.settings()->qudpTargetPort, 56565);  // absent: the default stays
    form.close();
}

TEST_F(HlavniFormTest, WithoutARecordNothingNeedsItAndClosingSavesNothing) {
    const TForm1::SettingsFactory failures[] = {
        []() -> std::unique_ptr<kv::ConnectionSettings> { throw std::bad_alloc(); },
        [] { return std::unique_ptr<kv::ConnectionSettings>(); },
    };
    for (const auto& factory : failures) {
        TForm1 form(factory);
        form.show();
        EXPECT_EQ(form.settings(), nullptr);
        EXPECT_EQ(form.statusPanel(2)->text(),
                  QStringLiteral(" Nelze vytvořit datové struktury programu"));
        EXPECT_EQ(form.statusPanel(2)->accessibleDescription(), form.statusPanel(2)->text());

        // Returns at once instead of opening a dialog on a missing record.
        form.Pipojen1->trigger();
        EXPECT_EQ(kvgui::FindOpen<TForm2>(), nullptr);
        EXPECT_EQ(form.statusPanel(0)->text(), QStringLiteral(" Modul"));

        form.Konec2->trigger();
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(std::filesystem::exists(folder_.ini()));
    }
}

TEST_F(HlavniFormTest, ClosingWhileConnectedEndsTheConnectionExactlyOnce) {
    auto fake = Fake("QQUDP.DLL");
    ASSERT_TRUE(fake->ok());
    fake->SetInitResult(0, 0x4321);
    TForm1 form;
    form.show();
    kv::ConnectionSettings* s = form.settings();
    ASSERT_NE(s, nullptr);
    std::uint32_t handle = 0;
    ASSERT_EQ(form.connection().OpenTransport(1, &handle, s->initBlock), 0u);
    s->interfaceKind = 1;
    s->handle = handle;
    s->connected = true;

    form.Konec2->trigger();
    EXPECT_EQ(fake->CallCount("Done"), 1u);
    EXPECT_NE(fake->Log().find("QQUDP_Done 17185"), std::string::npos) << fake->Log();
    EXPECT_FALSE(form.connection().HoldsLibrary());

    form.show();
    form.close();
    EXPECT_EQ(fake->CallCount("Done"), 1u);
}

TEST_F(HlavniFormTest, ClosingWithoutAUsableConnectionCallsNoDone) {
    auto fake = Fake("QUSBVX.DLL");
    ASSERT_TRUE(fake->ok());
    // Never connected; connected without a handle; a handle but not connected.
    for (int variant = 0; variant < 3; ++variant) {
        TForm1 form;
        form.show();
        ASSERT_NE(form.settings(), nullptr);
        form.settings()->connected = variant == 1;
        form.settings()->handle = variant == 2 ? 0x1234 : 0;
        form.close();
        EXPECT_TRUE(std::filesystem::exists(folder_.ini()));
    }
    EXPECT_EQ(fake->CallCount("Done"), 0u);
}

TEST_F(HlavniFormTest, DestroyedWithoutClosingStillEndsTheConnection) {
    auto fake = Fake("QUSBVX.DLL");
    ASSERT_TRUE(fake->ok());
    {
        TForm1 form;
        std::uint32_t handle = 0;
        ASSERT_EQ(form.connection().OpenTransport(0, &handle, form.settings()->initBlock), 0u);
        form.settings()->handle = handle;
        form.settings()->connected = true;
    }
    EXPECT_EQ(fake->CallCount("Done"), 1u);
}

TEST_F(HlavniFormTest, PanelsAfterTheDialogClosesWithoutAConnection) {
    TForm1 form;
    form.show();
    // Kind 0: nothing follows the address caption.
    const bool opened = kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                                  [](TForm2* dialog) { dialog->Button2->click(); });
    EXPECT_TRUE(opened);
    EXPECT_EQ(form.statusPanel(0)->text(), QStringLiteral(" Modul  "));
    EXPECT_EQ(form.statusPanel(1)->text(), QStringLiteral(" Adresa  "));
    EXPECT_EQ(form.statusPanel(1)->accessibleDescription(), form.statusPanel(1)->text());

    // Kind 1: the target address.
    form.settings()->interfaceKind = 1;
    form.settings()->qudpTargetIp = "127.0.0.42";
    EXPECT_TRUE(kvgui::DriveModal<TForm2>([&] { form.Pipojen1Click(); }, [](TForm2*) {}));
    EXPECT_EQ(form.statusPanel(1)->text(), QStringLiteral(" Adresa  127.0.0.42"));
    EXPECT_EQ(form.statusPanel(0)->text(), QStringLiteral(" Modul  "));
    form.close();
}

TEST_F(HlavniFormTest, ConnectingThroughTheDialogShowsTheModule) {
    auto fake = Fake("QQUDP.DLL");
    ASSERT_TRUE(fake->ok());
    fake->QueueSend(0, 0, 7, Reply("ABCD"));
    fake->QueueSend(0, 0, 8, Reply("EFGH"));
    fake->QueueSend(0, 0, 9, Reply("1.23"));
    TForm1 form;
    form.show();
    QString dialogStatus;
    const bool opened = kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                                  [&](TForm2* dialog) {
                                                      dialog->ComboBox2->setCurrentIndex(1);
                                                      dialog->Edit2->setText("127.0.0.7");
                                                      dialog->Button1->click();
                                                      EXPECT_TRUE(kvgui::WaitForCalls(dialog));
                                                      dialogStatus = dialog->Panel1->text();
                                                      dialog->Button2->click();
                                                  });
    ASSERT_TRUE(opened);
    EXPECT_EQ(dialogStatus,
              QStringLiteral("Připojení úspěšně inicializováno. Připojen modul   ABCDEFGH v.1.23"));
    EXPECT_EQ(form.statusPanel(0)->text(), QStringLiteral(" Modul  ABCDEFGH v.1.23"));
    EXPECT_EQ(form.statusPanel(1)->text(), QStringLiteral(" Adresa  127.0.0.7"));
    EXPECT_EQ(form.statusPanel(0)->accessibleDescription(), form.statusPanel(0)->text());
    ASSERT_NE(form.settings(), nullptr);
    EXPECT_TRUE(form.settings()->connected);

    form.close();
    EXPECT_EQ(fake->CallCount("Done"), 1u);
    EXPECT_NE(folder_.ReadIni().find("127.0.0.7"), std::string::npos);
}

TEST_F(HlavniFormTest, AnIdentificationWithACharacterCodeZeroShowsWhatPrecedesIt) {
    auto fake = Fake("QUSBVX.DLL");
    ASSERT_TRUE(fake->ok());
    fake->QueueSend(0, 0, 0, Reply("AB\0D"));
    fake->QueueSend(0, 0, 0, Reply("EFGH"));
    fake->QueueSend(0, 0, 0, Reply("1.23"));
    TForm1 form;
    form.show();
    ASSERT_TRUE(kvgui::DriveModal<TForm2>([&] { form.Pipojen1Click(); },
                                          [](TForm2* dialog) {
                                              dialog->Button1->click();
                                              EXPECT_TRUE(kvgui::WaitForCalls(dialog));
                                          }));
    ASSERT_TRUE(form.settings()->connected);
    EXPECT_EQ(form.settings()->moduleIdent.size(), 15u);
    EXPECT_EQ(form.statusPanel(0)->text(), QStringLiteral(" Modul  AB"));
    form.close();
}

}  // namespace

namespace {

// The record must outlive every window that works on it: a close request while one is
// open is refused, and the close after it saves as usual.
TEST_F(HlavniFormTest, CannotCloseWhileAWindowWorksOnTheRecord) {
    TForm1 form;
    form.show();
    bool refused = false;
    const bool opened = kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                                  [&](TForm2*) { refused = !form.close(); });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(refused);
    EXPECT_NE(form.settings(), nullptr);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(form.settings(), nullptr);
    EXPECT_NE(folder_.ReadIni().find("USBVx"), std::string::npos);
}

}  // namespace
