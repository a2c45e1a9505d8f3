// The windows while a module call is in flight on the connection's worker, against the
// scriptable fake library holding its replies back: the window answers and says what it
// waits for, refuses a second call, and acts at once on Cancel, closing and "Konec";
// the call runs to its end, its outcome is dropped and the connection stays usable.
// No timing: each step waits for a condition, with a generous limit.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "app/HlavniForm.h"
#include "connection/PripojeniForm.h"
#include "diagnostics/DiagnostikaForm.h"
#include "diagnostics/RestartZarizeniForm.h"
#include "editors/SitoveParamForm.h"
#include "editors/VzdalenaSpravaForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeConnection.h"

namespace {

using kv::testing::Words;
using kvgui::ProcessUntil;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A block-read reply whose block starts with these bytes.
Words BlockReply(std::initializer_list<std::uint32_t> bytes) {
    Words words(300, 0);
    std::size_t k = 4;
    for (std::uint32_t b : bytes) words[k++] = b;
    return words;
}

class CallsInFlightTest : public kv::testing::FakeConnection {
  protected:
    void SetUp() override {
        kvgui::App();
        FakeConnection::SetUp();
    }
    void TearDown() override {
        // A held request gives in, so that the worker can finish.
        if (fake_) fake_->HoldSends(false);
        FakeConnection::TearDown();
    }
    // Until the library has been asked for `count` requests, the window answering meanwhile.
    bool SendsReach(std::uint32_t count) {
        return ProcessUntil([&] { return fake_->CallCount("Send") >= count; });
    }
    bool WorkerDone() {
        const bool idle = worker_.WaitUntilIdle(std::chrono::seconds(20));
        // Whatever the worker handed over arrives (and must find nothing to change).
        QApplication::processEvents();
        return idle;
    }
};

TEST_F(CallsInFlightTest, CancelDuringARefreshClosesAtOnceAndNothingMoreIsSent) {
    auto& fake = Connect(kv::kKindLanQudp);
    fake.HoldSends(true);
    TFormDiagnostika form(settings_, worker_, kv::Vlan::FromIndex(0));
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    ASSERT_TRUE(SendsReach(1));
    // A tick asked for meanwhile starts no second cycle.
    form.Timer1Timer();

    form.Button1->click();
    EXPECT_FALSE(form.isVisible()) << "closed while its request is still out";
    EXPECT_FALSE(form.Timer1->isActive());
    fake.HoldSends(false);
    ASSERT_TRUE(WorkerDone());
    EXPECT_EQ(fake.CallCount("Send"), 1u) << "the VLAN status request never went out";
    EXPECT_EQ(form.Label22->text(), "0") << "the dropped outcome shows nowhere";
    EXPECT_EQ(form.StatusBar1->text().indexOf("fake"), -1);

    // The connection stays usable: the next window's request goes through it.
    TFormRestart restart(settings_, worker_);
    ASSERT_TRUE(kvgui::ShowExposed(&restart));
    restart.Button1->click();
    ASSERT_TRUE(kvgui::WaitForCalls(&restart));
    EXPECT_EQ(restart.StatusBar1->text(), Q(" Zařízení restartováno."));
    EXPECT_EQ(fake.CallCount("Send"), 2u);
}

TEST_F(CallsInFlightTest, AWaitedRefreshSaysWhatItWaitsForAndTheWindowAnswersMeanwhile) {
    auto& fake = Connect(kv::kKindLanQudp);
    fake.HoldSends(true);
    TFormDiagnostika form(settings_, worker_, kv::Vlan::FromIndex(0));
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    ASSERT_TRUE(SendsReach(1));
    const QString waiting = Q(" Čekám na odpověď modulu…");
    ASSERT_TRUE(ProcessUntil([&] { return form.StatusBar1->text() == waiting; }));
    // Painted and read out while the module is still silent.
    QImage shot = form.StatusBar1->label()->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(form.StatusBar1->label());
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(QAccessible::Name), waiting);

    Words module(300, 0);
    module[4] = 42;  // the time since power-on
    fake.QueueSend(0, 0, 0, module);
    fake.HoldSends(false);
    ASSERT_TRUE(kvgui::WaitForCalls(&form));
    EXPECT_EQ(form.Label22->text(), "42");
    EXPECT_EQ(form.StatusBar1->text(), " fake 0");
    EXPECT_EQ(fake.CallCount("Send"), 2u);
    form.Button1->click();
}

TEST_F(CallsInFlightTest, ASecondClickWhileAReadRunsStartsNothing) {
    auto& fake = Connect(kv::kKindLanQudp);
    TFormLanParam lan(settings_, worker_);
    ASSERT_TRUE(kvgui::ShowExposed(&lan));
    lan.Button1->setFocus();
    fake.HoldSends(true);
    lan.Button1->click();
    ASSERT_TRUE(SendsReach(1));
    EXPECT_TRUE(ProcessUntil(
        [&] { return lan.StatusBar1->text() == Q(" Probíhá čtení konfigurace z modulu (0 %)"); }));
    for (QPushButton* button : {lan.Button1, lan.Button2}) {
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(button)->state().disabled);
    }
    EXPECT_TRUE(lan.Button4->isEnabled()) << "Cancel stays";
    lan.Button1->click();
    lan.PrectiClick();
    lan.ZapisClick();

    fake.QueueSend(0, 0, 0, BlockReply({0, 10, 0, 0, 5}));
    fake.HoldSends(false);
    ASSERT_TRUE(kvgui::WaitForCalls(&lan));
    EXPECT_EQ(fake.CallCount("Send"), 1u);
    EXPECT_EQ(lan.StatusBar1->text(), Q(" Konfigurace přečtena."));
    EXPECT_EQ(lan.Edit[1]->text() + "." + lan.Edit[4]->text(), "10.5");
    EXPECT_TRUE(lan.Button1->isEnabled());
    EXPECT_EQ(lan.focusWidget(), lan.Button1) << "the keyboard is back where it was";
}

// An editor destroyed while its read waits: the next window's read waits behind it and
// says so, then runs as usual; the gone window's outcome changes nothing.
TEST_F(CallsInFlightTest, TheOutcomeOfAWindowThatIsGoneIsDroppedAndTheNextCallWaitsForIt) {
    auto& fake = Connect(kv::kKindLanQudp);
    const kv::ModuleConfig before = settings_.moduleConfig;
    auto gone = std::make_unique<TFormLanParam>(settings_, worker_);
    ASSERT_TRUE(kvgui::ShowExposed(gone.get()));
    fake.HoldSends(true);
    gone->Button1->click();
    ASSERT_TRUE(SendsReach(1));
    gone.reset();

    TFormVzdalenaSprava next(settings_, worker_);
    ASSERT_TRUE(kvgui::ShowExposed(&next));
    next.Button2->click();
    ASSERT_TRUE(ProcessUntil([&] {
        return next.StatusBar1->text() == Q(" Čekám na odpověď modulu na předchozí požadavek…");
    }));
    EXPECT_FALSE(next.Button2->isEnabled());

    fake.QueueSend(0, 0, 0, BlockReply({0, 10, 0, 0, 5}));  // the gone window's block
    fake.QueueSend(0, 0, 0, BlockReply({0x88, 0x13, 2}));   // the next one's
    fake.HoldSends(false);
    ASSERT_TRUE(kvgui::WaitForCalls(&next));
    EXPECT_EQ(next.StatusBar1->text(), Q(" Konfigurace přečtena."));
    EXPECT_EQ(next.Edit16->text(), "5000");
    EXPECT_EQ(fake.CallCount("Send"), 2u);
    EXPECT_EQ(settings_.moduleConfig, before);
}

TEST_F(CallsInFlightTest, ClosingTheDialogWhileItConnectsLeavesNoConnectionOpen) {
    auto& fake = Connect(kv::kKindLanQudp);
    settings_.interfaceKind = kv::kKindLanQudp;
    settings_.qudpTargetIp = "127.0.0.9";
    TForm2 dialog(settings_, worker_);
    ASSERT_TRUE(kvgui::ShowExposed(&dialog));
    fake.HoldSends(true);
    dialog.Button1->click();
    ASSERT_TRUE(SendsReach(1));  // the first identification request
    EXPECT_TRUE(
        ProcessUntil([&] { return dialog.Panel1->text() == Q("Probíhá inicializace připojení"); }));
    EXPECT_FALSE(dialog.Button1->isEnabled());
    EXPECT_FALSE(settings_.connected) << "the old connection ended with the attempt";

    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    fake.HoldSends(false);
    ASSERT_TRUE(WorkerDone());
    // The attempt ran to its end; the connection it opened was closed after it, as the old
    // one was before it.
    EXPECT_EQ(fake.CallCount("Send"), 3u);
    EXPECT_EQ(fake.CallCount("Init"), 1u);
    EXPECT_EQ(fake.CallCount("Done"), 2u);
    EXPECT_EQ(fake.Log().substr(fake.Log().rfind("QQUDP_")), "QQUDP_Done 4660\n");
    EXPECT_FALSE(settings_.connected);
    EXPECT_EQ(settings_.moduleIdent, "");
}

// Records, when the main window hides, what the module and the settings file saw by then;
// then lets the held request go, as a module that answers late would.
class HideWatch : public QObject {
  public:
    HideWatch(QWidget* window, kvtest::FakeTransport& fake, std::string ini)
        : fake_(fake), ini_(std::move(ini)) {
        window->installEventFilter(this);
    }
    bool hidden = false;
    bool savedBefore = false;
    std::uint32_t doneBefore = 99;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Hide && !hidden) {
            hidden = true;
            savedBefore = std::filesystem::exists(ini_);
            doneBefore = fake_.CallCount("Done");
            fake_.HoldSends(false);
        }
        return false;
    }

  private:
    kvtest::FakeTransport& fake_;
    std::string ini_;
};

TEST_F(CallsInFlightTest, KonecDuringACallSavesFirstHidesAtOnceAndEndsAfterTheWorker) {
    auto& fake = Connect(kv::kKindLanQudp);
    Disconnect();  // the main window has a connection of its own
    TForm1 main;
    main.show();
    ASSERT_NE(main.settings(), nullptr);
    std::uint32_t handle = 0;
    ASSERT_EQ(main.connection().OpenTransport(kv::kKindLanQudp, &handle, kv::InitBlock{}), 0u);
    main.settings()->interfaceKind = kv::kKindLanQudp;
    main.settings()->handle = handle;
    main.settings()->connected = true;
    fake.Reset();
    fake.HoldSends(true);
    ASSERT_TRUE(kvgui::DriveModal<TFormDiagnostika>([&] { main.RozhranLAN11->trigger(); },
                                                    [&](TFormDiagnostika* form) {
                                                        ASSERT_TRUE(SendsReach(1));
                                                        form->Button1->click();
                                                    }));

    HideWatch watch(&main, fake, folder_.ini());
    main.Konec2->trigger();
    ASSERT_TRUE(watch.hidden);
    EXPECT_TRUE(watch.savedBefore) << "the settings are saved first";
    EXPECT_EQ(watch.doneBefore, 0u) << "hidden while the call was still out";
    // Konec returns once the worker is done: the call ran to its end, then the connection
    // was closed.
    EXPECT_FALSE(main.isVisible());
    EXPECT_TRUE(main.worker().Idle());
    EXPECT_EQ(fake.CallCount("Send"), 1u);
    EXPECT_EQ(fake.CallCount("Done"), 1u);
    EXPECT_EQ(main.settings(), nullptr);
}

}  // namespace
