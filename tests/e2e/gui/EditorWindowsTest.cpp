// What an operator does with the editors against the emulator: connect with the stored
// defaults, change VLAN 2 and the remote management table through their windows, restart
// the module and read the values back through the windows.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "editors/NastavLANForm.h"
#include "editors/VzdalenaSpravaForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ProgramFolder.h"

namespace {

using kv::ModuleConfig;

bool ConnectThroughTheDialog(TForm1& form) {
    return kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                     [](TForm2* dialog) {
                                         dialog->Button1->click();
                                         dialog->Button2->click();
                                     }) &&
           form.settings() != nullptr && form.settings()->connected;
}

TEST(EditorWindowsTest, ValuesWrittenThroughTheWindowsAreReadBackAfterTheModuleRestarts) {
    kvgui::App();
    kv::testing::EmulatorProcess emu;
    ASSERT_TRUE(emu.Start()) << emu.Log();
    setenv("KV3380U_USB_DIR", emu.UsbFolder().c_str(), 1);
    kv::testing::ProgramFolder folder(kv::testing::RealLibraryFolder());
    ASSERT_TRUE(folder.ok());

    TForm1 form;
    form.show();
    ASSERT_TRUE(ConnectThroughTheDialog(form));

    std::string read, written, port;
    ASSERT_TRUE(kvgui::DriveModal<TFormNastavLAN>([&] { form.NastavLAN2->trigger(); },
                                                  [&](TFormNastavLAN* w) {
                                                      w->Button2->click();
                                                      read = w->StatusBar1->text().toStdString();
                                                      port = w->Edit1->text().toStdString();
                                                      w->Edit1->setText("6001");
                                                      w->ComboBox1->setCurrentIndex(2);
                                                      w->Edit[3]->setText("10");
                                                      w->ComboBox2->setCurrentIndex(1);
                                                      w->Button1->click();
                                                      written = w->StatusBar1->text().toStdString();
                                                      w->Button4->click();
                                                  }));
    EXPECT_EQ(read, " Konfigurace přečtena.");
    EXPECT_EQ(port, "5001");
    EXPECT_EQ(written, " Konfigurace zapsána.");
    // Written and cancelled: the shared image is still the default one.
    EXPECT_EQ(form.settings()->moduleConfig, kv::DefaultModuleConfig());

    ASSERT_TRUE(kvgui::DriveModal<TFormVzdalenaSprava>(
        [&] { form.Vzdlensprva1->trigger(); },
        [&](TFormVzdalenaSprava* w) {
            w->ComboBox1->setCurrentIndex(2);
            for (int k = 1; k <= 4; ++k) w->Edit[k]->setText(k == 1 ? "127" : k == 4 ? "1" : "0");
            w->Button1->click();
            written = w->StatusBar1->text().toStdString();
            w->Button3->click();
        }));
    EXPECT_EQ(written, " Konfigurace zapsána.");

    emu.Stop();
    ASSERT_TRUE(emu.Start()) << emu.Log();
    ASSERT_TRUE(ConnectThroughTheDialog(form));

    std::string before, after, user;
    int mode = -1, access = -1;
    bool tableEnabled = false;
    ASSERT_TRUE(kvgui::DriveModal<TFormNastavLAN>([&] { form.NastavLAN2->trigger(); },
                                                  [&](TFormNastavLAN* w) {
                                                      before = w->Edit1->text().toStdString();
                                                      w->Button2->click();
                                                      after = w->Edit1->text().toStdString();
                                                      mode = w->ComboBox1->currentIndex();
                                                      user = w->Edit[3]->text().toStdString();
                                                      access = w->ComboBox2->currentIndex();
                                                      tableEnabled = w->Edit[3]->isEnabled();
                                                      w->Button3->click();
                                                  }));
    EXPECT_EQ(before, "5001");  // the shared image
    EXPECT_EQ(after, "6001");   // the module
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(user, "10");
    EXPECT_EQ(access, 1);
    EXPECT_TRUE(tableEnabled);
    EXPECT_EQ(form.settings()->moduleConfig.U16(ModuleConfig::VlanOffset(1)), 6001);

    ASSERT_TRUE(kvgui::DriveModal<TFormVzdalenaSprava>(
        [&] { form.Vzdlensprva1->trigger(); },
        [&](TFormVzdalenaSprava* w) {
            w->Button2->click();
            user = w->Edit[1]->text().toStdString() + "." + w->Edit[4]->text().toStdString();
            mode = w->ComboBox1->currentIndex();
            w->Button4->click();
        }));
    EXPECT_EQ(user, "127.1");
    EXPECT_EQ(mode, 2);
    form.close();
    unsetenv("KV3380U_USB_DIR");
    if (HasFailure()) std::cerr << "emulator output:\n" << emu.Log();
}

}  // namespace
