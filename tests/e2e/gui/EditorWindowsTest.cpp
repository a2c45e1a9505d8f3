// What an operator does with an editor against the emulator: connect with the stored
// defaults, change VLAN 2 through its window, restart the module and read it back.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <string>

#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "editors/NastavLANForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/EmulatorProcess.h"

namespace {

bool Connect(TForm1& form) {
    return kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                     [](TForm2* dialog) {
                                         dialog->Button1->click();
                                         EXPECT_TRUE(kvgui::WaitForCalls(dialog));
                                         dialog->Button2->click();
                                     }) &&
           form.settings()->connected;
}

// Opens "Rozhraní VLAN2", runs the script and closes the window with "Cancel".
std::string OnVlan2(TForm1& form, const std::function<std::string(TFormNastavLAN*)>& script) {
    std::string seen;
    kvgui::DriveModal<TFormNastavLAN>([&] { form.NastavLAN2->trigger(); },
                                      [&](TFormNastavLAN* w) {
                                          seen = script(w);
                                          w->Button4->click();
                                      });
    return seen;
}

TEST(EditorWindowsTest, AVlanWrittenThroughItsWindowIsReadBackAfterTheModuleRestarts) {
    kvgui::App();
    kv::testing::EmulatorProcess emu;
    ASSERT_TRUE(emu.Start()) << emu.Log();
    setenv("KV3380U_USB_DIR", emu.UsbFolder().c_str(), 1);
    kv::testing::ProgramFolder folder(kv::testing::RealLibraryFolder());
    ASSERT_TRUE(folder.ok());
    TForm1 form;
    form.show();
    ASSERT_TRUE(Connect(form));

    EXPECT_EQ(OnVlan2(form,
                      [](TFormNastavLAN* w) {
                          w->Button2->click();
                          EXPECT_TRUE(kvgui::WaitForCalls(w));
                          std::string seen = w->StatusBar1->text().toStdString() + "|" +
                                             w->Edit1->text().toStdString() + "|";
                          w->Edit1->setText("6001");
                          w->ComboBox1->setCurrentIndex(2);
                          w->Edit[3]->setText("10");
                          w->ComboBox2->setCurrentIndex(1);
                          w->Button1->click();
                          EXPECT_TRUE(kvgui::WaitForCalls(w));
                          return seen + w->StatusBar1->text().toStdString();
                      }),
              " Konfigurace přečtena.|5001| Konfigurace zapsána.");
    // Written and cancelled: the shared image keeps the default port.
    EXPECT_EQ(form.settings()->moduleConfig.U16(kv::ModuleConfig::VlanOffset(1)), 5001);

    emu.Stop();
    ASSERT_TRUE(emu.Start()) << emu.Log();
    ASSERT_TRUE(Connect(form));
    EXPECT_EQ(OnVlan2(form,
                      [](TFormNastavLAN* w) {
                          std::string seen = w->Edit1->text().toStdString() + ">";
                          w->Button2->click();
                          EXPECT_TRUE(kvgui::WaitForCalls(w));
                          return seen + w->Edit1->text().toStdString() + " " +
                                 w->ComboBox1->currentText().toStdString() + " " +
                                 w->Edit[3]->text().toStdString() + " " +
                                 w->ComboBox2->currentText().toStdString() +
                                 (w->Edit[3]->isEnabled() ? " enabled" : "");
                      }),
              "5001>6001 tabulka platných IP adres 10 pouze čtení enabled");
    form.close();
    unsetenv("KV3380U_USB_DIR");
    if (HasFailure()) std::cerr << "emulator output:\n" << emu.Log();
}

}  // namespace
