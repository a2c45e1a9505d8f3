// The three editor windows: what they show and announce, and what the window side adds to
// the core: painting each step, refreshing the fields, the enabling at once, handing over
// which boxes are enabled, closing on "Ok", and the menu commands.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "app/HlavniForm.h"
#include "editors/NastavLANForm.h"
#include "editors/SitoveParamForm.h"
#include "editors/VzdalenaSpravaForm.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/Hex.h"

namespace {

using kv::ModuleConfig;

// The status panel's text each time it is painted with a new text (the window repaints
// while the call runs on the worker).
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(QWidget* watched) { watched->installEventFilter(this); }
    std::vector<std::string> texts;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const std::string text = static_cast<QLabel*>(object)->text().toStdString();
            if (texts.empty() || texts.back() != text) texts.push_back(text);
        }
        return false;
    }
};

// What a screen reader hears: a box's name, and for a list (whose name on Linux is its
// entry) the label that names it.
QString Name(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}
QString LabelledBy(QWidget* w) {
    const auto relations = QAccessible::queryAccessibleInterface(w)->relations(QAccessible::Label);
    return relations.isEmpty() ? QString() : relations.first().first->text(QAccessible::Name);
}

class EditorFormsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kvgui::App();
        ASSERT_TRUE(folder_.ok());
        fake_ = std::make_unique<kvtest::FakeTransport>(folder_.path(), "QQUDP.DLL");
        ASSERT_TRUE(fake_->ok());
        fake_->Reset();
        ASSERT_EQ(connection_.OpenTransport(1, &settings_.handle, kv::InitBlock{}), 0u);
        settings_.interfaceKind = 1;
        settings_.connected = true;
    }
    void TearDown() override { worker_.Finish(); }
    template <typename W, typename... Extra>
    std::unique_ptr<W> Show(Extra... extra) {
        auto w = std::make_unique<W>(settings_, worker_, extra...);
        EXPECT_TRUE(kvgui::ShowExposed(w.get()));
        return w;
    }
    void QueueBlock(const std::string& hex) {
        std::vector<std::uint32_t> words(300, 0);
        const auto bytes = kv::testing::FromHex(hex);
        for (std::size_t k = 0; k < bytes.size(); ++k) words[4 + k] = bytes[k];
        fake_->QueueSend(0, 0, 0, words);
    }

    kvgui::ScratchFolder folder_;
    std::unique_ptr<kvtest::FakeTransport> fake_;
    kv::ConnectionSettings settings_;
    kv::Connection connection_;
    kv::ConnectionWorker worker_{connection_};
};

TEST_F(EditorFormsTest, CaptionsNamesAndTheSharedImage) {
    settings_.moduleConfig.bytes[ModuleConfig::kGateway + 3] = 77;
    auto lan = Show<TFormLanParam>();
    EXPECT_EQ(lan->windowTitle(), QStringLiteral(" Nastavení síťových parametrů"));
    EXPECT_EQ(lan->minimumSize(), lan->maximumSize());
    EXPECT_EQ(lan->StatusBar1->text(), QStringLiteral(" "));
    EXPECT_EQ(lan->Edit[12]->objectName() + "=" + lan->Edit[12]->text(),
              QStringLiteral("Edit12=77"));
    EXPECT_EQ(Name(lan->Edit[1]), QStringLiteral("IP adresa 1"));
    EXPECT_EQ(Name(lan->Edit[8]), QStringLiteral("Maska podsítě 4"));
    EXPECT_EQ(Name(lan->Edit[9]), QStringLiteral("Brána 1"));

    auto remote = Show<TFormVzdalenaSprava>();
    EXPECT_EQ(remote->windowTitle(), QStringLiteral(" Nastavení vzdálené správy LAN"));
    EXPECT_EQ(remote->GroupBox1->title(), QStringLiteral(" Tabulka přístupu "));
    EXPECT_EQ(Name(remote->Edit16), QStringLiteral("Číslo UDP portu"));
    EXPECT_EQ(LabelledBy(remote->ComboBox1), QStringLiteral("Vzdálená správa"));
    EXPECT_EQ(Name(remote->Edit[14]), QStringLiteral("Uživatel 3 IP adresa 4"));
    EXPECT_EQ(Name(remote->Edit[5]), QStringLiteral("Uživatel 1 Port"));
    EXPECT_FALSE(remote->Edit[5]->isVisible());
    EXPECT_EQ(remote->ComboBox1->currentText(), QStringLiteral("povolena všem"));
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(remote->Edit[1])->state().disabled);

    for (int index : {2, 7}) {
        auto vlan = Show<TFormNastavLAN>(kv::Vlan::FromIndex(index));
        const int shown = index == 7 ? 1 : index + 1;
        EXPECT_EQ(vlan->windowTitle(),
                  QStringLiteral(" Nastavení komunikačního rozhraní VLAN%1").arg(shown));
        EXPECT_EQ(vlan->Edit1->text(), QString::number(5000 + shown - 1));
    }
    auto vlan = Show<TFormNastavLAN>(kv::Vlan::FromIndex(0));
    EXPECT_EQ(vlan->GroupBox1->title(), QStringLiteral(" Konfigurace rozhraní "));
    EXPECT_EQ(Name(vlan->Edit2), QStringLiteral("Doba platnosti IP adresy [s]"));
    EXPECT_EQ(LabelledBy(vlan->ComboBox1), QStringLiteral("Režim rozhraní"));
    EXPECT_EQ(LabelledBy(vlan->ComboBox5), QStringLiteral("Přístup rozhraní"));
    EXPECT_EQ(vlan->ComboBox2->accessibleName(), QStringLiteral("Uživatel 1 Přístup"));
    EXPECT_EQ(Name(vlan->Edit[3]), QStringLiteral("Uživatel 1 IP adresa 1"));
    EXPECT_EQ(vlan->ComboBox1->itemText(1), QStringLiteral("časovač platnosti IP adresy"));
}

TEST_F(EditorFormsTest, ReadPaintsEachStepAndAFailedReadShowsTheCopyAgain) {
    auto lan = Show<TFormLanParam>();
    PaintWatch watch(lan->StatusBar1->label());
    QueueBlock("000a000005ffff00000a000001");
    lan->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(lan.get()));
    EXPECT_EQ(watch.texts, (std::vector<std::string>{" Probíhá čtení konfigurace z modulu (0 %)",
                                                     " Probíhá čtení konfigurace z modulu (100 %)",
                                                     " Konfigurace přečtena."}));
    EXPECT_EQ(lan->Edit[4]->text() + "/" + lan->Edit[6]->text(), QStringLiteral("5/255"));

    lan->Edit[4]->setText("99");
    fake_->QueueSend(0, 5, 0);
    lan->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(lan.get()));
    EXPECT_EQ(lan->StatusBar1->text().toStdString(), " " + kv::ErrorString(1, 5));
    EXPECT_EQ(lan->Edit[4]->text(), QStringLiteral("5"));
    // "Default parametry" fills the fields and leaves the status; "Cancel" drops it all.
    lan->Button6->click();
    EXPECT_EQ(lan->Edit[4]->text(), QStringLiteral("99"));
    EXPECT_EQ(lan->StatusBar1->text().toStdString(), " " + kv::ErrorString(1, 5));
    lan->Button4->click();
    EXPECT_FALSE(lan->isVisible());
    EXPECT_EQ(settings_.moduleConfig, kv::DefaultModuleConfig());
}

TEST_F(EditorFormsTest, TheModeListEnablesAtOnceAndDisabledBoxesStayUnread) {
    settings_.moduleConfig.bytes[ModuleConfig::kRemote + ModuleConfig::kRemoteUserIp] = 9;
    const ModuleConfig before = settings_.moduleConfig;
    auto remote = Show<TFormVzdalenaSprava>();
    remote->ComboBox1->setCurrentIndex(2);
    EXPECT_TRUE(remote->Edit[1]->isEnabled());
    EXPECT_TRUE(remote->Label2->isEnabled());
    remote->ComboBox1->setCurrentIndex(1);
    EXPECT_FALSE(remote->GroupBox1->isEnabled());
    // Letters in a disabled box do not stop "Zapsat"; the address in the copy is written.
    remote->Edit[1]->setText("abc");
    const std::string block = "f5dc01" + kv::testing::Zeros(13) + "09000000ffff0000" +
                              "00000000ffff000000000000ffff0000" + kv::testing::Zeros(215) + "2b";
    fake_->QueueSend(0, 0, 0);
    fake_->QueueSend(0, 0, 0);
    QueueBlock(block);
    remote->Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(remote.get()));
    EXPECT_EQ(remote->StatusBar1->text(), QStringLiteral(" Konfigurace zapsána."));
    EXPECT_EQ(kv::testing::HexOfWords(fake_->Frame(0).data() + 8, 256), block);

    auto vlan = Show<TFormNastavLAN>(kv::Vlan::FromIndex(1));  // "vypnuto"
    EXPECT_FALSE(vlan->ComboBox5->isEnabled());
    vlan->ComboBox1->setCurrentIndex(1);
    EXPECT_TRUE(vlan->Edit2->isEnabled());
    EXPECT_FALSE(vlan->Label4->isEnabled());
    vlan->ComboBox1->setCurrentIndex(2);
    EXPECT_FALSE(vlan->Edit2->isEnabled());
    EXPECT_TRUE(vlan->ComboBox3->isEnabled());
    EXPECT_EQ(vlan->EditorCopy().bytes[ModuleConfig::VlanOffset(1) + ModuleConfig::kVlanMode], 2);
    vlan->Button4->click();
    EXPECT_EQ(settings_.moduleConfig, before);
}

TEST_F(EditorFormsTest, OkClosesOnlyAfterAPassedCheckAndKeepsUserPorts65535) {
    settings_.moduleConfig.SetU16(ModuleConfig::VlanOffset(2) + ModuleConfig::kVlanUserPort + 4, 7);
    auto vlan = Show<TFormNastavLAN>(kv::Vlan::FromIndex(2));
    vlan->Edit1->setText("5000");
    vlan->Button3->click();
    EXPECT_TRUE(vlan->isVisible());
    EXPECT_EQ(vlan->StatusBar1->text(),
              QStringLiteral(" Číslo portu je již použito u jiného rozhraní."));
    vlan->Edit1->setText("6000");
    vlan->Button3->click();
    EXPECT_FALSE(vlan->isVisible());
    const std::size_t record = ModuleConfig::VlanOffset(2);
    EXPECT_EQ(settings_.moduleConfig.U16(record), 6000);
    for (int u = 0; u < 3; ++u)
        EXPECT_EQ(settings_.moduleConfig.U16(record + ModuleConfig::kVlanUserPort + 2 * u), 65535);
}

TEST_F(EditorFormsTest, TheMenuOpensEachEditorOnTheRecord) {
    TForm1 form;
    form.show();
    int index = -1;
    EXPECT_TRUE(kvgui::DriveModal<TFormNastavLAN>(
        [&] { form.NastavLAN3->trigger(); }, [&](TFormNastavLAN* w) { index = w->VlanIndex(); }));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(kvgui::DriveModal<TFormLanParam>([&] { form.NastavAIN1->trigger(); },
                                                 [&](TFormLanParam* w) {
                                                     w->Edit[1]->setText("11");
                                                     w->Button3->click();
                                                 }));
    EXPECT_EQ(form.settings()->moduleConfig.bytes[ModuleConfig::kIpAddress], 11);
    bool refused = false;
    EXPECT_TRUE(kvgui::DriveModal<TFormVzdalenaSprava>(
        [&] { form.Vzdlensprva1->trigger(); },
        [&](TFormVzdalenaSprava*) { refused = !form.close(); }));
    EXPECT_TRUE(refused);
    form.close();
}

}  // namespace
