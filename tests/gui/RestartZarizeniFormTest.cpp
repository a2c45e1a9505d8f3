// The restart window offscreen, against the scriptable fake library.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <memory>
#include <vector>

#include "app/HlavniForm.h"
#include "diagnostics/RestartZarizeniForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeConnection.h"

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Records the status text each time it is painted.
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(QLabel* watched) { watched->installEventFilter(this); }
    std::vector<QString> texts;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const QString text = static_cast<QLabel*>(object)->text();
            if (texts.empty() || texts.back() != text) texts.push_back(text);
        }
        return false;
    }
};

class RestartZarizeniFormTest : public kv::testing::FakeConnection {
  protected:
    void SetUp() override {
        kvgui::App();
        FakeConnection::SetUp();
    }
};

TEST_F(RestartZarizeniFormTest, WindowAndControls) {
    TFormRestart form(settings_, worker_);
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    EXPECT_EQ(form.windowTitle(), Q(" Restart zařízení"));
    EXPECT_EQ(form.size(), QSize(268, 132));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.Label1->text(), Q("Zařízení bude restartováno."));
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Button1->text(), "Restart");
    EXPECT_EQ(form.Button2->text(), "Cancel");
    EXPECT_EQ(form.Button1->nextInFocusChain(), form.Button2) << "Restart first in tab order";
    EXPECT_EQ(form.StatusBar1->text(), "");
    ASSERT_EQ(form.Image1->size(), QSize(48, 48));
    EXPECT_EQ(form.Image1->pixmap().deviceIndependentSize(), QSizeF(48, 48));
    // Yellow in the triangle's middle, black in its exclamation mark.
    const QImage icon = form.Image1->pixmap().toImage();
    const qreal ratio = form.Image1->pixmap().devicePixelRatio();
    const QColor body = icon.pixelColor(QPoint(14, 36) * ratio);
    EXPECT_GT(body.red(), 200);
    EXPECT_GT(body.green(), 150);
    EXPECT_LT(body.blue(), 80);
    EXPECT_LT(icon.pixelColor(QPoint(24, 24) * ratio).value(), 60);
    EXPECT_LT(form.Image1->geometry().right(), form.Label1->geometry().left());
    EXPECT_LT(form.Button1->geometry().bottom(), form.StatusBar1->geometry().top());
}

TEST_F(RestartZarizeniFormTest, ProgressIsPaintedBeforeTheRequestAndTheKindsTextAfter) {
    for (std::uint8_t kind : {kv::kKindUsbVx, kv::kKindLanQudp, kv::kKindLan}) {
        auto& fake = Connect(kind, 6);
        TFormRestart form(settings_, worker_);
        ASSERT_TRUE(kvgui::ShowExposed(&form));
        PaintWatch watch(form.StatusBar1->label());
        form.Button1->click();
        ASSERT_TRUE(kvgui::WaitForCalls(&form));

        const QString restarted =
            kind == kv::kKindLan
                ? Q(" Zařízení restartováno. Nutno provést novou inicializaci připojení!")
                : Q(" Zařízení restartováno.");
        EXPECT_EQ(watch.texts,
                  (std::vector<QString>{Q(" Probíhá restart zařízení ..."), restarted}))
            << int(kind);
        EXPECT_EQ(form.StatusBar1->text(), restarted);
        ASSERT_EQ(fake.CallCount("Send"), 1u);
        EXPECT_EQ(kv::testing::FrameHex(fake.Frame(0), 0, 8), "0665ff0000000000");
        // The connection stays as it was.
        EXPECT_TRUE(settings_.connected);
        EXPECT_NE(settings_.handle, 0u);
        EXPECT_TRUE(form.isVisible()) << "the window stays open";
    }
}

TEST_F(RestartZarizeniFormTest, TheLongTextIsReadableWholeOnScreenAndAloud) {
    Connect(kv::kKindLan);
    TFormRestart form(settings_, worker_);
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    form.Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(&form));
    QLabel* panel = form.StatusBar1->label();
    const QString text = Q(" Zařízení restartováno. Nutno provést novou inicializaci připojení!");
    ASSERT_EQ(panel->text(), text);
    // Wrapped within the window rather than cut off at its edge.
    EXPECT_LE(panel->geometry().right(), form.StatusBar1->width());
    EXPECT_GE(panel->height(), panel->heightForWidth(panel->width()));
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(panel);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(QAccessible::Name), text);
    QAccessibleInterface* warning = QAccessible::queryAccessibleInterface(form.Label1);
    EXPECT_EQ(warning->text(QAccessible::Name), Q("Zařízení bude restartováno."));
}

TEST_F(RestartZarizeniFormTest, WithoutAConnectionNothingIsSent) {
    auto& fake = Connect(kv::kKindLanQudp);
    settings_.connected = false;
    TFormRestart form(settings_, worker_);
    form.show();
    form.Button1->click();
    EXPECT_EQ(form.StatusBar1->text(), Q(" Připojení k zařízení není inicializováno."));
    EXPECT_EQ(fake.CallCount("Send"), 0u);
    settings_.connected = true;
}

TEST_F(RestartZarizeniFormTest, CancelClosesAndTheMainWindowOpensIt) {
    TForm1 main;
    QString title;
    const bool opened = kvgui::DriveModal<TFormRestart>([&] { main.Restartzazen1->trigger(); },
                                                        [&](TFormRestart* form) {
                                                            title = form->windowTitle();
                                                            form->Button2->click();
                                                            EXPECT_FALSE(form->isVisible());
                                                        });
    EXPECT_TRUE(opened);
    EXPECT_EQ(title, Q(" Restart zařízení"));
}

}  // namespace
