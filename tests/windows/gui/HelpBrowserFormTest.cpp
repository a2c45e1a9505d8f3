// The help on Windows, where there is no Qt Assistant: "Nápověda", F1 in the window in
// front and the About window's link open the plain pages beside the program in the web
// browser. A stand-in (KV3380U_BROWSER) logs what it was asked to open, so no real
// browser starts.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "app/AboutForm.h"
#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "platform/HelpViewer.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeBrowser.h"

namespace {

void PressF1(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

class HelpBrowserFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kvgui::App();
        ASSERT_TRUE(folder_.ok());
        ASSERT_TRUE(browser_.Ok());
    }
    std::string Log() const { return browser_.Log(); }
    // Waits (bounded) until the stand-in has logged the page, opened from the program
    // folder's help/.
    bool Opened(const std::string& page) const {
        std::string url = "file:///" + folder_.path() + "/help/" + page;
        for (char& c : url) c = c == '\\' ? '/' : c;
        return browser_.Logged("open " + url);
    }

    kvgui::ScratchFolder folder_;
    kv::testing::FakeBrowser browser_;
};

TEST_F(HelpBrowserFormTest, TheHelpCommandAndF1OpenThePageOfTheWindowInFront) {
    TForm1 form;
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    form.Npovda2->trigger();
    EXPECT_TRUE(Opened("index.html")) << Log();
    // Each command opens its page; the browser, not the program, keeps its windows.
    EXPECT_FALSE(form.helpViewer().Running());

    PressF1(form.centralWidget());
    EXPECT_TRUE(Opened("hlavni-okno.html")) << Log();
    ASSERT_TRUE(kvgui::DriveModal<TForm2>([&] { form.Pipojen1->trigger(); },
                                          [&](TForm2* dialog) { PressF1(dialog->ComboBox2); }));
    EXPECT_TRUE(Opened("pripojeni.html")) << Log();
    form.Konec2->trigger();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(HelpBrowserFormTest, TheAboutWindowsLinkOpensTheStartPage) {
    TFormOProgramu about;
    ASSERT_TRUE(kvgui::ShowExposed(&about));
    about.Label5->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(about.Label5, &enter);
    EXPECT_TRUE(Opened("index.html")) << Log();
    about.Button1->click();
}

}  // namespace
