// The windows with a vendor's library in place of ours, as an operator on Windows has
// them: the library written in C from kvtransport.h alone, built as a 32-bit __stdcall DLL
// (tests/fakes/MinimalTransport.c), connects through the connection dialog and answers an
// editor's read; a DLL of the wrong architecture gets the binding's text in the dialog's
// status, and the program goes on. Nothing here reaches a network.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <string>

#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "editors/SitoveParamForm.h"
#include "platform/ProgramFolder.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/ProgramFolder.h"
#include "transport/Qxxx380.h"

namespace {

using kv::testing::PathOf;
using kv::testing::ProgramFolder;

// "&Připojení" with "LAN rozhraní PC" (QQUDP.DLL) to a loopback address nobody listens
// on, "Inicializace připojení", and what the status panel then says (and its tip).
std::string ConnectOverQudp(TForm1& form, std::string* tip = nullptr) {
    std::string status;
    const bool opened =
        kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                  [&](TForm2* dialog) {
                                      dialog->ComboBox2->setCurrentIndex(1);
                                      dialog->Edit2->setText("127.0.0.9");
                                      dialog->Edit3->setText("5000");
                                      dialog->Edit4->setText("300");
                                      dialog->Button1->click();
                                      EXPECT_TRUE(kvgui::WaitForCalls(dialog));
                                      status = dialog->Panel1->text().toStdString();
                                      if (tip != nullptr)
                                          *tip = dialog->Panel1->toolTip().toStdString();
                                      dialog->Button2->click();
                                  });
    return opened ? status : "(the dialog did not open)";
}

class VendorLibraryFormTest : public ::testing::Test {
  protected:
    void SetUp() override { kvgui::App(); }
};

TEST_F(VendorLibraryFormTest, TheContractOnlyLibraryConnectsAndAnswersAnEditor) {
    ProgramFolder folder(std::string(KV_BIN_DIR) + "/fakes/minimal");
    ASSERT_TRUE(folder.ok());
    TForm1 form;
    form.show();
    EXPECT_EQ(ConnectOverQudp(form),
              "Připojení úspěšně inicializováno. Připojen modul   MINIMAL1 v.0.01");
    ASSERT_TRUE(form.settings()->connected);
    EXPECT_EQ(form.statusPanel(0)->text(), QStringLiteral(" Modul  MINIMAL1 v.0.01"));

    // Its "module" echoes the request: block 254 comes back empty, with a right checksum.
    std::string read;
    ASSERT_TRUE(kvgui::DriveModal<TFormLanParam>([&] { form.NastavAIN1->trigger(); },
                                                 [&](TFormLanParam* editor) {
                                                     editor->Button1->click();
                                                     EXPECT_TRUE(kvgui::WaitForCalls(editor));
                                                     read =
                                                         editor->StatusBar1->text().toStdString() +
                                                         "|" +
                                                         editor->Edit[1]->text().toStdString();
                                                     editor->Button4->click();
                                                 }));
    EXPECT_EQ(read, " Konfigurace přečtena.|0");
    form.close();
    EXPECT_FALSE(form.connection().HoldsLibrary());
}

TEST_F(VendorLibraryFormTest, ALibraryOfTheWrongArchitectureGetsTheBindingsText) {
    ProgramFolder folder(kv::testing::RealLibraryFolder());
    ASSERT_TRUE(folder.ok());
    const auto library = PathOf(folder.path()) / "QQUDP.DLL";
    std::filesystem::remove(library);
    std::filesystem::copy_file(
        PathOf(std::string(KV_BIN_DIR) + "/fakes/wrong-architecture/QQUDP.DLL"), library);
    TForm1 form;
    form.show();
    std::string tip;
    EXPECT_EQ(ConnectOverQudp(form, &tip),
              "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL");
    EXPECT_FALSE(form.settings()->connected);
    // The tip says why, with the library's full path as Windows writes it.
    const std::string other =
        sizeof(void*) == 8 ? "32bitová Windows (x86)" : "64bitová Windows (x64)";
    EXPECT_EQ(tip.rfind("knihovnu " + kv::platform::ProgramFolder() +
                            "QQUDP.DLL nelze načíst: knihovna je pro " + other,
                        0),
              0u)
        << tip;
    // The program goes on: the next attempt says the same, and the window closes normally.
    EXPECT_EQ(ConnectOverQudp(form),
              "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL");
    EXPECT_TRUE(form.close());
}

}  // namespace
