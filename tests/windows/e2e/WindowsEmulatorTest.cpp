// The windows under wine against the Linux build's emulator, over our QQUDP.DLL, as an
// operator uses them: connect through the dialog, write a VLAN block through its editor
// (the window reads it back to verify it), watch the diagnostics refresh, restart the
// module and find the block stored and in effect. windows-against-emulator.sh starts the
// emulator and names it in KV_EMULATOR_ADDRESS and KV_EMULATOR_PORT.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>

#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "diagnostics/DiagnostikaForm.h"
#include "diagnostics/RestartZarizeniForm.h"
#include "editors/NastavLANForm.h"
#include "forms/FormSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/Environment.h"
#include "tests/support/ProgramFolder.h"
#include "transport/Qxxx380.h"

namespace {

// Opens "Rozhraní VLAN2" from the menu, runs the script and closes it with "Cancel".
std::string OnVlan2(TForm1& form, const std::function<std::string(TFormNastavLAN*)>& script) {
    std::string seen = "(the editor did not open)";
    kvgui::DriveModal<TFormNastavLAN>([&] { form.NastavLAN2->trigger(); },
                                      [&](TFormNastavLAN* w) {
                                          seen = script(w);
                                          w->Button4->click();
                                      });
    return seen;
}

class WindowsEmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kvgui::App();
        ASSERT_TRUE(folder_.ok());
        ASSERT_FALSE(address_.empty()) << "KV_EMULATOR_ADDRESS is not set: run the script";
        ASSERT_FALSE(port_.empty()) << "KV_EMULATOR_PORT is not set: run the script";
    }

    std::string address_ = kv::testing::GetEnvironment("KV_EMULATOR_ADDRESS").value_or("");
    std::string port_ = kv::testing::GetEnvironment("KV_EMULATOR_PORT").value_or("");
    kv::testing::ProgramFolder folder_{kv::testing::RealLibraryFolder()};
};

TEST_F(WindowsEmulatorTest, ConnectWriteAVlanWatchTheDiagnosticsAndRestart) {
    TForm1 form;
    form.show();
    std::string panel;
    ASSERT_TRUE(kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                          [&](TForm2* dialog) {
                                              dialog->ComboBox2->setCurrentIndex(1);
                                              dialog->Edit2->setText(
                                                  QString::fromStdString(address_));
                                              dialog->Edit3->setText(QString::fromStdString(port_));
                                              dialog->Edit4->setText("2000");
                                              dialog->Button1->click();
                                              EXPECT_TRUE(kvgui::WaitForCalls(dialog));
                                              panel = dialog->Panel1->text().toStdString();
                                              dialog->Button2->click();
                                          }));
    ASSERT_TRUE(form.settings()->connected) << panel;
    const std::string ident = form.settings()->moduleIdent;
    EXPECT_EQ(ident.substr(0, 11), "KV-3380U v.");
    EXPECT_EQ(panel, "Připojení úspěšně inicializováno. Připojen modul   " + ident);
    EXPECT_EQ(form.statusPanel(0)->text().toStdString(), " Modul  " + ident);
    EXPECT_EQ(form.statusPanel(1)->text().toStdString(), " Adresa  " + address_);

    // VLAN2: read, change the mode, validity and rights, write (verified by reading back).
    EXPECT_EQ(OnVlan2(form,
                      [&](TFormNastavLAN* w) {
                          w->Button2->click();
                          EXPECT_TRUE(kvgui::WaitForCalls(w));
                          std::string seen = w->StatusBar1->text().toStdString() + "|";
                          w->ComboBox1->setCurrentIndex(2);
                          w->Edit[3]->setText("10");
                          w->ComboBox2->setCurrentIndex(1);
                          w->Button1->click();
                          EXPECT_TRUE(kvgui::WaitForCalls(w));
                          return seen + w->StatusBar1->text().toStdString();
                      }),
              " Konfigurace přečtena.| Konfigurace zapsána.");

    // The diagnostics of VLAN1 refresh: the module's identity, and its time since power-on
    // counting.
    {
        TFormDiagnostika diag(*form.settings(), form.worker(), kv::Vlan::FromIndex(0));
        ASSERT_TRUE(kvgui::ShowExposed(&diag));
        const QString ok = QStringLiteral(" ") + kvforms::ToQt(kv::ErrorString(1, 0));
        ASSERT_TRUE(kvgui::ProcessUntil([&] { return diag.StatusBar1->text() == ok; }))
            << diag.StatusBar1->text().toStdString();
        EXPECT_EQ(diag.Label14->text(), "KV-3380U");
        const auto uptime = diag.Label22->text().toULongLong();
        EXPECT_TRUE(kvgui::ProcessUntil([&] {
            return diag.Label22->text().toULongLong() > uptime;
        })) << diag.Label22->text().toStdString();
        diag.Button1->click();
    }

    // The restart, from its window; the module comes back with the block stored and its
    // mode in effect (its port stays the one the script gave the emulator).
    std::string restarted;
    ASSERT_TRUE(kvgui::DriveModal<TFormRestart>([&] { form.Restartzazen1->trigger(); },
                                                [&](TFormRestart* w) {
                                                    w->Button1->click();
                                                    EXPECT_TRUE(kvgui::WaitForCalls(w));
                                                    restarted = w->StatusBar1->text().toStdString();
                                                    w->Button2->click();
                                                }));
    EXPECT_EQ(restarted, " Zařízení restartováno.");
    {
        TFormDiagnostika diag(*form.settings(), form.worker(), kv::Vlan::FromIndex(1));
        ASSERT_TRUE(kvgui::ShowExposed(&diag));
        EXPECT_TRUE(kvgui::ProcessUntil([&] {
            return diag.Label43->text() == "tabulka uživatelů";
        })) << diag.StatusBar1->text().toStdString()
            << " " << diag.Label43->text().toStdString();
        diag.Button1->click();
    }
    EXPECT_EQ(OnVlan2(form,
                      [](TFormNastavLAN* w) {
                          w->Button2->click();
                          EXPECT_TRUE(kvgui::WaitForCalls(w));
                          return w->StatusBar1->text().toStdString() + "|" +
                                 w->ComboBox1->currentText().toStdString() + " " +
                                 w->Edit[3]->text().toStdString() + " " +
                                 w->ComboBox2->currentText().toStdString();
                      }),
              " Konfigurace přečtena.|tabulka platných IP adres 10 pouze čtení");

    form.close();
    EXPECT_FALSE(form.connection().HoldsLibrary());
}

}  // namespace
