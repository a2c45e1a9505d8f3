// What a new operator does first: start the utility, open "&Připojení" and press
// "Inicializace připojení" with the stored defaults. The emulator's virtual USB device
// must answer, and the main window must then name the module.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ProgramFolder.h"

namespace {

TEST(ConnectionWindowTest, StoredDefaultsConnectToTheEmulatorThroughTheDialog) {
    kvgui::App();
    kv::testing::EmulatorProcess emu;
    ASSERT_TRUE(emu.Start()) << emu.Log();
    setenv("KV3380U_USB_DIR", emu.UsbFolder().c_str(), 1);
    kv::testing::ProgramFolder folder(kv::testing::RealLibraryFolder());
    ASSERT_FALSE(folder.path().empty());

    std::string panelAfterPress;
    bool libraryHeldAfterClosing = true;
    {
        TForm1 form;
        ASSERT_NE(form.settings(), nullptr);
        EXPECT_EQ(form.settings()->interfaceKind, 0);
        const bool opened = kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                                      [&](TForm2* dialog) {
                                                          dialog->Button1->click();
                                                          EXPECT_TRUE(kvgui::WaitForCalls(dialog));
                                                          panelAfterPress =
                                                              dialog->Panel1->text().toStdString();
                                                          dialog->Button2->click();
                                                      });
        ASSERT_TRUE(opened);
        ASSERT_TRUE(form.settings()->connected) << panelAfterPress;
        const std::string ident = form.settings()->moduleIdent;
        EXPECT_EQ(ident.substr(0, 11), "KV-3380U v.");
        EXPECT_EQ(panelAfterPress, "Připojení úspěšně inicializováno. Připojen modul   " + ident);
        EXPECT_EQ(form.statusPanel(0)->text().toStdString(), " Modul  " + ident);
        EXPECT_EQ(form.statusPanel(1)->text().toStdString(), " Adresa  ");
        form.close();
        libraryHeldAfterClosing = form.connection().HoldsLibrary();
    }
    // Closing the main window closed the connection and unloaded the library.
    EXPECT_FALSE(libraryHeldAfterClosing);
    unsetenv("KV3380U_USB_DIR");
    if (HasFailure()) std::cerr << "emulator output:\n" << emu.Log();
}

}  // namespace
