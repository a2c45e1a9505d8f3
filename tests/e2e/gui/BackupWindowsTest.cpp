// Saving and restoring a module's configuration in the windows, against the emulator and
// beside kv3380u: a file saved by either front end restores through the other, byte for
// byte; a restore goes block by block as checked; a damaged file writes nothing; a
// restore cut off by a lost reply says which block is uncertain.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/HlavniForm.h"
#include "backup/ObnovaForm.h"
#include "connection/PripojeniForm.h"
#include "emulator/StateFile.h"
#include "tests/e2e/CliEmulatorFixture.h"
#include "tests/gui/GuiTestSupport.h"

namespace kv::testing {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The windows beside kv3380u, on one emulator: the main window connects with the stored
// defaults (the emulator's virtual USB device), kv3380u over the LAN.
class BackupWindowsTest : public CliEmulatorTest {
  protected:
    // Starts the emulator with the options and opens the main window connected to it.
    void Open(const std::vector<std::string>& emulatorOptions = {}) {
        kvgui::App();
        ASSERT_TRUE(emu_.Start(emulatorOptions)) << emu_.Log();
        setenv("KV3380U_USB_DIR", emu_.UsbFolder().c_str(), 1);
        ASSERT_TRUE(folder_.ok());
        form_ = std::make_unique<TForm1>();
        form_->show();
        const bool connected =
            kvgui::DriveModal<TForm2>([&] { form_->Pipojen1->trigger(); },
                                      [](TForm2* dialog) {
                                          dialog->Button1->click();
                                          EXPECT_TRUE(kvgui::WaitForCalls(dialog));
                                          dialog->Button2->click();
                                      });
        ASSERT_TRUE(connected && form_->settings()->connected);
    }
    void TearDown() override {
        if (form_) form_->close();
        form_.reset();
        unsetenv("KV3380U_USB_DIR");
        CliEmulatorTest::TearDown();
    }

    // "Uložit konfiguraci do souboru…" into the file; the status it ends with.
    std::string SaveInWindow(const std::string& path) {
        form_->chooseFile = [path](bool save) {
            EXPECT_TRUE(save);
            return QString::fromStdString(path);
        };
        form_->Uloitkonfiguracidosouboru1->trigger();
        EXPECT_TRUE(kvgui::WaitForCalls(form_.get()));
        return form_->statusPanel(2)->text().toStdString();
    }

    // "Obnovit konfiguraci ze souboru…" with the file: the script runs once the window has
    // read the file and the module; the window is closed after it.
    void RestoreInWindow(const std::string& path, const std::function<void(TFormObnova*)>& script) {
        form_->chooseFile = [path](bool save) {
            EXPECT_FALSE(save);
            return QString::fromStdString(path);
        };
        const bool opened =
            kvgui::DriveModal<TFormObnova>([&] { form_->Obnovitkonfiguracizesouboru1->trigger(); },
                                           [&](TFormObnova* w) {
                                               EXPECT_TRUE(kvgui::WaitForCalls(w));
                                               script(w);
                                               w->Button3->click();
                                           });
        EXPECT_TRUE(opened);
    }

    // "Zapsat", and each block's outcome as the plan shows it: "vlan1 zapsán, ...".
    static std::string Write(TFormObnova* w) {
        w->Button2->click();
        EXPECT_TRUE(kvgui::WaitForCalls(w));
        std::string outcome;
        for (int i = 0; i < w->TreeView1->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = w->TreeView1->topLevelItem(i);
            const std::string name = item->text(0).toStdString();
            outcome += (outcome.empty() ? "" : ", ") + name.substr(0, name.find(' ')) + " " +
                       item->text(1).toStdString();
        }
        return outcome;
    }

    static std::vector<std::string> Said(const TFormObnova* w) {
        std::vector<std::string> lines;
        for (int i = 0; i < w->ListBox1->count(); ++i)
            lines.push_back(w->ListBox1->item(i)->text().toStdString());
        return lines;
    }

    ProgramFolder folder_{RealLibraryFolder()};
    std::unique_ptr<TForm1> form_;
};

TEST_F(BackupWindowsTest, EachFrontEndRestoresWhatTheOtherSavedByteForByte) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const std::string cli = Backup(emu_, "cli.ini");
    EXPECT_TRUE(Has(SaveInWindow(File("window.ini")), "Záloha 5 bloků uložena do"));
    EXPECT_EQ(ReadBytes(File("window.ini")), cli);

    // The window's file, edited, restored by kv3380u; saved again by both, alike.
    WriteBytes(File("edited.ini"),
               Edited(ReadBytes(File("window.ini")), "vlan2", "Číslo UDP portu", "6001"));
    const CliOutcome run = Cli({"restore", File("edited.ini")}, emu_);
    EXPECT_EQ(run.code, 0) << run.err;
    SaveInWindow(File("window2.ini"));
    const std::string cli2 = Backup(emu_, "cli2.ini");
    EXPECT_EQ(ReadBytes(File("window2.ini")), cli2);
    EXPECT_EQ(Values(cli2)[3], Values(ReadBytes(File("edited.ini")))[3]);

    // kv3380u's first file restored by the window: the module is as it was.
    RestoreInWindow(File("cli.ini"), [&](TFormObnova* w) {
        EXPECT_EQ(w->CheckedBlocks(), std::vector<std::uint16_t>{252});
        EXPECT_TRUE(Has(w->BlockItem(252)->child(0)->text(0).toStdString(), "6001 → 5001"));
        EXPECT_EQ(Write(w),
                  "vlan1 beze změny, vlan2 zapsán, vlan3 beze změny, remote beze změny, "
                  "network beze změny");
        EXPECT_FALSE(w->Button2->isEnabled());
    });
    EXPECT_EQ(Backup(emu_, "cli3.ini"), cli);
}

TEST_F(BackupWindowsTest, ADamagedBlockIsSavedMarkedBesideARestorableBackupAndRestored) {
    ASSERT_TRUE(emu_.Start()) << emu_.Log();
    const std::string good = Backup(emu_, "good.ini");
    ASSERT_NO_FATAL_FAILURE(ChangeStoredBlocks(emu_, SpoilVlan2Block));
    ASSERT_NO_FATAL_FAILURE(Open());

    const std::string status = SaveInWindow(File("good.ini"));
    EXPECT_TRUE(Has(status, "uložena do " + File("good.neobnovitelna.ini"))) << status;
    EXPECT_TRUE(Has(status,
                    "[vlan2] blok 252 z modulu má chybný kontrolní součet; v záloze je "
                    "označen"))
        << status;
    EXPECT_TRUE(Has(status, File("good.ini") + ": obnovitelnou zálohu nenahrazuji")) << status;
    EXPECT_EQ(ReadBytes(File("good.ini")), good);
    const CliOutcome cli = Cli({"backup", File("cli.ini")}, emu_);
    EXPECT_EQ(cli.code, 6) << cli.err;
    EXPECT_EQ(ReadBytes(File("good.neobnovitelna.ini")), ReadBytes(File("cli.ini")));

    // The good backup mends the block.
    RestoreInWindow(File("good.ini"), [&](TFormObnova* w) {
        ASSERT_NE(w->BlockItem(252), nullptr);
        EXPECT_EQ(w->BlockItem(252)->child(0)->text(0).toStdString(),
                  "[vlan2] blok v modulu má chybný kontrolní součet");
        EXPECT_EQ(w->CheckedBlocks(), std::vector<std::uint16_t>{252});
        EXPECT_EQ(Write(w),
                  "vlan1 beze změny, vlan2 zapsán, vlan3 beze změny, remote beze změny, "
                  "network beze změny");
    });
    EXPECT_EQ(Backup(emu_, "after.ini"), good);
}

TEST_F(BackupWindowsTest, ARestoreWritesOnlyTheCheckedBlocksAndAsksBeforeALockout) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const std::string original = Backup(emu_, "a.ini");
    // Of another module, with three blocks changed: the network block is not checked.
    std::string other = Edited(original, "vlan1", "Číslo UDP portu", "6101");
    other = Edited(other, "vlan2", "Číslo UDP portu", "6102");
    other = Edited(other, "network", "IP adresa", "10.1.2.3");
    const std::string key = "Výrobní číslo=";
    const auto serial = other.find(key) + key.size();
    other.replace(serial, other.find('\n', serial) - serial, "E2E00099");
    WriteBytes(File("other.ini"), other);

    RestoreInWindow(File("other.ini"), [&](TFormObnova* w) {
        EXPECT_EQ(w->CheckedBlocks(), (std::vector<std::uint16_t>{251, 252}));
        ASSERT_NE(w->BlockItem(254), nullptr);
        EXPECT_EQ(w->BlockItem(254)->checkState(0), Qt::Unchecked);
        w->BlockItem(251)->setCheckState(0, Qt::Unchecked);
        EXPECT_EQ(Write(w),
                  "vlan1 nezapsán, vlan2 zapsán, vlan3 beze změny, remote beze změny, "
                  "network nezapsán");
        EXPECT_TRUE(Has(w->StatusBar1->text().toStdString(), "Obnova dokončena."));
    });
    const auto after = Values(Backup(emu_, "b.ini"));
    EXPECT_EQ(after[2], Values(original)[2]);  // vlan1 as it was
    EXPECT_EQ(after[3], Values(other)[3]);     // vlan2 restored
    EXPECT_EQ(after[0], Values(original)[0]);  // network as it was

    // Remote management switched off waits for the operator; refused, nothing is written.
    WriteBytes(File("off.ini"), Edited(original, "remote", "Vzdálená správa", "zakázána"));
    RestoreInWindow(File("off.ini"), [&](TFormObnova* w) {
        std::string asked;
        w->confirmLockout = [&](const QString& text) {
            asked = text.toStdString();
            return false;
        };
        // vlan2 goes back to the original's port, remote management goes off.
        EXPECT_EQ(w->CheckedBlocks(), (std::vector<std::uint16_t>{252, 250}));
        w->BlockItem(252)->setCheckState(0, Qt::Unchecked);
        w->Button2->click();
        EXPECT_TRUE(Has(asked, "[remote] vzdálená správa bude zakázána")) << asked;
        EXPECT_TRUE(kvgui::WaitForCalls(w));
        EXPECT_EQ(w->BlockItem(250)->text(1).toStdString(), "změny");
        EXPECT_TRUE(Has(w->StatusBar1->text().toStdString(), "Obnova odmítnuta"));
    });
    EXPECT_EQ(Values(Backup(emu_, "c.ini"))[1], Values(original)[1]);
}

TEST_F(BackupWindowsTest, ADamagedFileIsListedByLineAsKv3380uSaysItAndWritesNothing) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const std::string original = Backup(emu_, "a.ini");
    std::string bad = Edited(original, "vlan1", "Číslo UDP portu", "port");
    bad = Edited(bad, "network", "Maska podsítě", "255.255.0");
    bad.replace(bad.find("Data 032="), 9, "Data 033=");
    WriteBytes(File("bad.ini"), bad);
    const CliOutcome run = Cli({"restore", File("bad.ini"), "--dry-run"}, emu_);
    EXPECT_EQ(run.code, 4);

    RestoreInWindow(File("bad.ini"), [&](TFormObnova* w) {
        const std::vector<std::string> said = Said(w);
        ASSERT_FALSE(said.empty());
        // Every line kv3380u reports, with the same line numbers.
        for (const std::string& line : said)
            EXPECT_TRUE(Has(run.err, line)) << line << "\n" << run.err;
        EXPECT_TRUE(Has(said.front(), "bad.ini:")) << said.front();
        EXPECT_EQ(w->TreeView1->topLevelItemCount(), 0);
        EXPECT_FALSE(w->Button1->isEnabled());
        EXPECT_FALSE(w->Button2->isEnabled());
        EXPECT_TRUE(Has(w->StatusBar1->text().toStdString(), "nic nezapíše"));
    });
    EXPECT_EQ(Backup(emu_, "b.ini"), original);
}

TEST_F(BackupWindowsTest, ARestoreCutOffByALostReplySaysWhichBlockIsUncertain) {
    // The first block written arrives, its reply and everything after it are lost.
    ASSERT_NO_FATAL_FAILURE(Open({"--silent-after-store"}));
    const std::string original = Backup(emu_, "a.ini");
    std::string changed = Edited(original, "vlan1", "Číslo UDP portu", "6101");
    changed = Edited(changed, "vlan2", "Číslo UDP portu", "6102");
    WriteBytes(File("changed.ini"), changed);
    RestoreInWindow(File("changed.ini"), [&](TFormObnova* w) {
        EXPECT_EQ(Write(w),
                  "vlan1 nejistý, vlan2 nezapsán, vlan3 beze změny, remote beze změny, "
                  "network beze změny");
        EXPECT_TRUE(Has(w->StatusBar1->text().toStdString(), "Obnova zastavena."));
        const std::vector<std::string> said = Said(w);
        EXPECT_TRUE(std::any_of(said.begin(), said.end(), [](const std::string& line) {
            return Has(line, "[vlan1] zpětné čtení po chybě selhalo");
        }));
    });
}

}  // namespace
}  // namespace kv::testing
