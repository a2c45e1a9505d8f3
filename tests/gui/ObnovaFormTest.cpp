// The save and restore items of the main window and the restore window against the
// scriptable fake library: captions and what a screen reader announces, nothing asked or
// sent without a connection or a readable file, and a read in flight that disables the
// window's buttons and whose outcome a closed window drops. No timing: each step waits
// for a condition, with a generous limit.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "app/HlavniForm.h"
#include "backup/ObnovaForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/CliSupport.h"
#include "tests/support/FakeConnection.h"
#include "tests/support/ScratchFolder.h"

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class ObnovaFormTest : public kv::testing::FakeConnection {
  protected:
    void SetUp() override {
        kvgui::App();
        FakeConnection::SetUp();
        ASSERT_TRUE(dir_.Ok());
        kv::testing::WriteBytes(File(),
                                kv::BackupText(kv::testing::kTestModule,
                                               kv::testing::BlocksOf(kv::DefaultModuleConfig())));
    }
    void TearDown() override {
        if (fake_) fake_->HoldSends(false);
        FakeConnection::TearDown();
    }
    std::string File() const { return dir_.File("modul.ini"); }

    kv::testing::ScratchFolder dir_;
};

TEST_F(ObnovaFormTest, CaptionsAndWhatAScreenReaderAnnouncesWithoutAConnection) {
    TFormObnova form(settings_, worker_, QString::fromStdString(File()));
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    EXPECT_EQ(form.objectName(), "FormObnova");
    EXPECT_EQ(form.windowTitle(), Q(" Obnovit konfiguraci ze souboru"));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    // Value labels by their captions, their values as descriptions.
    EXPECT_EQ(form.Soubor->accessibleName(), "Soubor");
    EXPECT_EQ(form.Soubor->accessibleDescription().toStdString(), File());
    EXPECT_EQ(form.Modul->accessibleName(), Q("Záloha modulu"));
    EXPECT_EQ(form.Modul->accessibleDescription(), Q("KV-3380U v.1.20, výrobní číslo 00000001"));
    EXPECT_EQ(form.TreeView1->accessibleName(), Q("Plán obnovy"));
    EXPECT_EQ(form.ListBox1->accessibleName(), Q("Hlášení"));
    EXPECT_EQ(form.Label3->buddy(), form.TreeView1);
    EXPECT_EQ(form.Button2->text(), "Zapsat");
    EXPECT_EQ(form.Button1->text(), Q("Přečíst"));
    EXPECT_EQ(form.Button3->text(), Q("Zavřít"));
    // A sound file and no connection: the window says so and has nothing to write.
    EXPECT_EQ(form.StatusBar1->text(), Q(" Připojení k zařízení není inicializováno."));
    EXPECT_EQ(form.TreeView1->topLevelItemCount(), 0);
    EXPECT_FALSE(form.Button2->isEnabled());
}

TEST_F(ObnovaFormTest, WithoutAConnectionTheMainWindowAsksForNoFile) {
    TForm1 main;
    bool asked = false;
    main.chooseFile = [&](bool) {
        asked = true;
        return QString::fromStdString(File());
    };
    for (QAction* item : {main.Uloitkonfiguracidosouboru1, main.Obnovitkonfiguracizesouboru1}) {
        main.statusPanel(2)->clear();
        item->trigger();
        EXPECT_EQ(main.statusPanel(2)->text(), Q(" Připojení k zařízení není inicializováno."));
        EXPECT_TRUE(item->isEnabled()) << "offered like the editors' items";
    }
    EXPECT_FALSE(asked);
    main.close();
}

TEST_F(ObnovaFormTest, AFileThatCannotBeReadSaysWhyAndTheModuleIsNotAsked) {
    auto& fake = Connect(kv::kKindLanQudp);
    kv::testing::WriteBytes(dir_.File("cut.ini"), "[kv3380u]\nFormát=2\n");
    for (const std::string& path : {dir_.File("chybi.ini"), dir_.File("cut.ini")}) {
        TFormObnova form(settings_, worker_, QString::fromStdString(path));
        ASSERT_TRUE(kvgui::ShowExposed(&form));
        ASSERT_GT(form.ListBox1->count(), 0) << path;
        const std::string first = form.ListBox1->item(0)->text().toStdString();
        EXPECT_EQ(first.rfind(path == dir_.File("cut.ini") ? "cut.ini:" : path + ":", 0), 0u)
            << first;
        EXPECT_FALSE(form.Button1->isEnabled());
        EXPECT_FALSE(form.Button2->isEnabled());
    }
    EXPECT_EQ(fake.CallCount("Send"), 0u);
}

TEST_F(ObnovaFormTest, ARequestInFlightDisablesTheButtonsAndAClosedWindowDropsItsOutcome) {
    auto& fake = Connect(kv::kKindLanQudp);
    fake.HoldSends(true);
    TFormObnova form(settings_, worker_, QString::fromStdString(File()));
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    ASSERT_TRUE(kvgui::ProcessUntil([&] { return fake.CallCount("Send") >= 1; }));
    EXPECT_FALSE(form.Button1->isEnabled());
    EXPECT_FALSE(form.Button2->isEnabled());
    form.Button1Click();  // a second read is refused while the first is out
    form.Button3->click();
    EXPECT_FALSE(form.isVisible());
    const QString status = form.StatusBar1->text();
    fake.HoldSends(false);
    ASSERT_TRUE(worker_.WaitUntilIdle(std::chrono::seconds(20)));
    QApplication::processEvents();
    // The read ended (the fake's empty reply fails it) for a closed window: nothing of it
    // reached the window, neither the failure nor a plan.
    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_EQ(form.TreeView1->topLevelItemCount(), 0);
    EXPECT_EQ(form.StatusBar1->text(), status);
}

}  // namespace
