// The help command, F1 in every window, the keyboard's way to the help menu, and the
// About window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <chrono>
#include <memory>
#include <thread>

#include "app/AboutForm.h"
#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::testing::ReadBytes;
using kv::testing::WriteBytes;

const QString kFakeViewer = QStringLiteral(KV_BIN_DIR "/fakes/fake_help_viewer");

void Press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

class HelpAboutFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kvgui::App();
        ASSERT_TRUE(folder_.ok());
        // The stand-in viewer logs beside the collection it is given.
        WriteBytes(folder_.path() + "/W_kv3380u.qhc", "help");
    }
    std::string Log() const { return ReadBytes(folder_.path() + "/W_kv3380u.qhc.log"); }
    // Waits (bounded) until the viewer's log holds the text.
    bool LogShows(const std::string& text) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::unique_ptr<TForm1> Form() {
        auto form = std::make_unique<TForm1>();
        form->helpViewer().SetProgram(kFakeViewer.toStdString());
        return form;
    }

    kvgui::ScratchFolder folder_;
};

// Qt Assistant; on Windows the help opens in the browser (tests/windows/gui).
#ifndef _WIN32
TEST_F(HelpAboutFormTest, TheHelpCommandStartsTheViewerOnceWithTheCollectionBesideTheProgram) {
    auto form = Form();
    form->show();
    form->Npovda2->trigger();
    ASSERT_TRUE(LogShows("command setSource qthelp://kv3380u.w-kv3380u/doc/index.html")) << Log();
    const pid_t viewer = form->helpViewer().pid();
    form->Npovda2->trigger();
    ASSERT_TRUE(LogShows("command show contents\n")) << Log();
    EXPECT_EQ(form->helpViewer().pid(), viewer);
    EXPECT_EQ(Log().find("start "), Log().rfind("start ")) << "a second viewer: " << Log();

    // "Konec" ends the viewer with the program.
    form->Konec2->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->helpViewer().Running());
    EXPECT_NE(::kill(viewer, 0), 0);
}

TEST_F(HelpAboutFormTest, F1OpensThePageOfTheWindowInFront) {
    auto form = Form();
    ASSERT_TRUE(kvgui::ShowExposed(form.get()));
    Press(form->centralWidget(), Qt::Key_F1);
    ASSERT_TRUE(LogShows("setSource qthelp://kv3380u.w-kv3380u/doc/hlavni-okno.html")) << Log();

    // In the connection dialog, from one of its fields.
    ASSERT_TRUE(
        kvgui::DriveModal<TForm2>([&] { form->Pipojen1->trigger(); },
                                  [&](TForm2* dialog) { Press(dialog->ComboBox2, Qt::Key_F1); }));
    ASSERT_TRUE(
        LogShows("command show contents;setSource "
                 "qthelp://kv3380u.w-kv3380u/doc/pripojeni.html"))
        << Log();

    // In the About window, which needs no record.
    ASSERT_TRUE(kvgui::DriveModal<TFormOProgramu>(
        [&] { form->Oprogramu1->trigger(); },
        [&](TFormOProgramu* about) { Press(about->Button1, Qt::Key_F1); }));
    ASSERT_TRUE(LogShows("doc/o-programu.html")) << Log();

    // With a modifier it is not the help key; the viewer hears nothing new.
    const std::string before = Log();
    Press(form->centralWidget(), Qt::Key_F1, Qt::ShiftModifier);
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Log(), before);
    form->close();
}

#endif

TEST_F(HelpAboutFormTest, TheKeyboardReachesTheHelpMenuFromTheOtherMenus) {
    auto form = Form();
    ASSERT_TRUE(kvgui::ShowExposed(form.get()));
    QMenuBar* bar = form->menuBar();
    // Alt+N opens "Nastavení"; the right arrow then walks the bar up to "Nápověda".
    Press(form->centralWidget(), Qt::Key_N, Qt::AltModifier);
    QApplication::processEvents();
    ASSERT_EQ(bar->activeAction(), form->Nastaven1->menuAction());
    QAction* reached = nullptr;
    for (int step = 0; step < 6 && reached != form->Npovda1->menuAction(); ++step) {
        QWidget* target = QApplication::activePopupWidget();
        Press(target != nullptr ? target : bar, Qt::Key_Right);
        QApplication::processEvents();
        reached = bar->activeAction();
    }
    EXPECT_EQ(reached, form->Npovda1->menuAction());
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    form->close();
}

TEST_F(HelpAboutFormTest, TheAboutWindow) {
    QUrl opened;
    int opens = 0;
    TFormOProgramu about(nullptr, [&](const QUrl& url) {
        opened = url;
        ++opens;
        return true;
    });
    ASSERT_TRUE(kvgui::ShowExposed(&about));
    EXPECT_EQ(about.objectName(), "FormOProgramu");
    EXPECT_EQ(about.windowTitle(), QStringLiteral(" O programu"));
    EXPECT_EQ(about.size(), QSize(349, 198));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(about.frameGeometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(about.frameGeometry().center().y() - area.center().y()), 1);

    EXPECT_EQ(about.Label1->text(), QStringLiteral("W_KV3380U"));
    EXPECT_TRUE(about.Label1->font().bold());
    EXPECT_GT(about.Label1->font().pointSizeF(), about.Label2->font().pointSizeF());
    EXPECT_EQ(about.Label2->text(), QStringLiteral("Verze  1.03"));
    EXPECT_LT(about.Label3->font().pointSizeF(), about.Label2->font().pointSizeF());
    EXPECT_FALSE(about.Label3->text().isEmpty());
    EXPECT_FALSE(about.Label4->text().isEmpty());
    ASSERT_NE(about.Image1->pixmap().isNull(), true) << "the picture is missing";
    EXPECT_EQ(about.Panel1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(about.Bevel1->frameShape(), QFrame::HLine);
    EXPECT_EQ(about.Bevel1->frameShadow(), QFrame::Sunken);

    // The link: blue, underlined, a hand; it opens the help's start page beside the
    // program, by mouse or from the keyboard.
    EXPECT_EQ(about.Label5->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(about.Label5->font().underline());
    EXPECT_EQ(about.Label5->cursor().shape(), Qt::PointingHandCursor);
    const QPoint inside = about.Label5->rect().center();
    QMouseEvent down(QEvent::MouseButtonPress, inside, about.Label5->mapToGlobal(inside),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, inside, about.Label5->mapToGlobal(inside),
                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(about.Label5, &down);
    QApplication::sendEvent(about.Label5, &up);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(opened, QUrl::fromLocalFile(QString::fromStdString(folder_.path()) +
                                          QStringLiteral("/help/index.html")));
    EXPECT_EQ(about.Label5->accessibleDescription(), opened.toString());

    // "Ok" is first: it has the focus, Tab moves on to the link, Enter there opens it.
    EXPECT_EQ(QApplication::focusWidget(), about.Button1);
    EXPECT_TRUE(about.Button1->isDefault());
    Press(about.Button1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), about.Label5);
    Press(about.Label5, Qt::Key_Return);
    EXPECT_EQ(opens, 2);

    about.Button1->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(HelpAboutFormTest, TheAboutWindowOpensAlsoWithoutARecord) {
    TForm1 form([] { return std::unique_ptr<kv::ConnectionSettings>(); });
    form.show();
    ASSERT_EQ(form.settings(), nullptr);
    QString caption;
    const bool opened = kvgui::DriveModal<TFormOProgramu>([&] { form.Oprogramu1->trigger(); },
                                                          [&](TFormOProgramu* about) {
                                                              caption = about->windowTitle();
                                                              about->Button1->click();
                                                          });
    EXPECT_TRUE(opened);
    EXPECT_EQ(caption, QStringLiteral(" O programu"));
    EXPECT_EQ(kvgui::FindOpen<TFormOProgramu>(), nullptr);
    form.close();
}

}  // namespace
