// The diagnostics window offscreen, against the scriptable fake library: its fixed
// texts, what a refresh puts where, the colours of the interface mode, and that polling
// ends with the window.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/HlavniForm.h"
#include "diagnostics/DiagnostikaForm.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeConnection.h"

namespace {

using kv::testing::Words;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

void PutU32(Words& w, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) w[at + i] = (value >> (8 * i)) & 0xFF;
}

void PutU16(Words& w, std::size_t at, std::uint16_t value) {
    w[at] = value & 0xFF;
    w[at + 1] = value >> 8;
}

// A module status reply with a few telling values.
Words ModuleReply(std::uint32_t uptime) {
    Words w(300, 0);
    PutU32(w, 4, uptime);
    const char type[] = "KV-3380U";
    for (std::size_t i = 0; i < 8; ++i) w[16 + i] = static_cast<unsigned char>(type[i]);
    w[36] = 1;
    for (std::size_t i = 0; i < 4; ++i) w[64 + i] = std::array<std::uint32_t, 4>{10, 0, 0, 99}[i];
    for (std::size_t i = 0; i < 6; ++i)
        w[76 + i] = std::array<std::uint32_t, 6>{0, 10, 255, 1, 2, 171}[i];
    PutU32(w, 84, 19200);
    PutU32(w, 92, 12);
    // The newest error: interface 2, user 3, 1000 ms.
    w[100] = 22;
    w[101] = 2;
    w[102] = 3;
    PutU16(w, 107, 1000);
    return w;
}

// A VLAN status reply in which interface v has the given mode and port 6000 + v.
Words VlanReply(std::uint8_t mode, std::uint32_t remainingMs = 1500) {
    Words w(300, 0);
    for (std::size_t v = 0; v < 3; ++v) {
        const std::size_t r = 4 + 80 * v;
        PutU16(w, r, static_cast<std::uint16_t>(6000 + v));
        w[r + 2] = mode;
        PutU32(w, r + 3, remainingMs);
        PutU32(w, r + 11, 40 + static_cast<std::uint32_t>(v));
        w[r + 19] = 10;
        w[r + 22] = 7;
        PutU16(w, r + 23, 5000);
        w[r + 32] = 192;  // user 1: 192.168.0.v
        w[r + 33] = 168;
        w[r + 35] = static_cast<std::uint32_t>(v);
    }
    return w;
}

class DiagnostikaFormTest : public kv::testing::FakeConnection {
  protected:
    void SetUp() override {
        kvgui::App();
        FakeConnection::SetUp();
    }

    std::unique_ptr<TFormDiagnostika> Open(int vlanIndex) {
        auto form = std::make_unique<TFormDiagnostika>(settings_, vlanIndex);
        // Ticks only when a test asks for them.
        form->Timer1->stop();
        form->show();
        return form;
    }
};

QString Cell(QTableWidget* grid, int row, int column) {
    QTableWidgetItem* item = grid->item(row, column);
    return item != nullptr ? item->text() : QStringLiteral("<no item>");
}

TEST_F(DiagnostikaFormTest, WindowFrameGroupsAndCaptionsPerVlan) {
    for (int index : {0, 1, 2, 5, -1}) {
        auto form = Open(index);
        const int shown = index >= 0 && index <= 2 ? index : 0;
        const QString number = QString::number(shown + 1);
        EXPECT_EQ(form->windowTitle(), Q(" Diagnostika komunikačního rozhraní VLAN") + number);
        EXPECT_EQ(form->GroupBox2->title(), Q(" Rozhraní VLAN") + number + " ");
        EXPECT_EQ(form->vlanIndex(), shown);
    }
    auto form = Open(0);
    EXPECT_EQ(form->size(), QSize(594, 739));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->GroupBox1->title(), Q(" Přehled "));
    EXPECT_EQ(form->GroupBox3->title(), Q(" Rozhraní KV (RS-485) "));
    EXPECT_EQ(form->Button1->text(), "Cancel");
    EXPECT_EQ(form->StatusBar1->objectName(), "StatusBar1");
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_TRUE(form->Timer1->isSingleShot());
    EXPECT_EQ(form->Timer1->timerType(), Qt::PreciseTimer) << "never less than 100 ms between";
    // Top to bottom: the three groups, the button, the status bar, all inside the window.
    EXPECT_LT(form->GroupBox1->geometry().bottom(), form->GroupBox2->geometry().top());
    EXPECT_LT(form->GroupBox2->geometry().bottom(), form->GroupBox3->geometry().top());
    EXPECT_LT(form->GroupBox3->geometry().bottom(), form->Button1->geometry().top());
    EXPECT_LT(form->Button1->geometry().bottom(), form->StatusBar1->geometry().top());
    EXPECT_EQ(form->StatusBar1->geometry().bottom(), 738);
    EXPECT_LE(std::abs(form->Button1->geometry().center().x() - 297), 1);

    // Each value label stands beside its caption, which names it.
    const std::pair<QLabel*, const char*> values[] = {
        {form->Label14, "Typ"},
        {form->Label32, "Verze"},
        {form->Label4, "Výrobní číslo"},
        {form->Label15, "MAC adresa"},
        {form->Label23, "Režim provozu"},
        {form->Label22, "Čas od zapnutí [s]"},
        {form->Label24, "Povolené přístupy celkem"},
        {form->Label25, "Nepovolené přístupy celkem"},
        {form->Label42, "Port"},
        {form->Label43, "Režim rozhraní"},
        {form->Label44, "Doba do konce platnosti IP [s]"},
        {form->Label45, "Max. doba platnosti IP [s]"},
        {form->Label46, "Povolené přístupy VLAN"},
        {form->Label47, "Nepovolené přístupy VLAN"},
        {form->Label48, "Poslední nepovolená IP adresa"},
        {form->Label49, "Čas poslední nepovolené zprávy [s]"},
        {form->Label80, "Komunikační rychlost [Bd]"},
        {form->Label81, "Timeout [ms]"},
        {form->Label82, "Počet zpráv"},
        {form->Label83, "Počet chyb"},
    };
    for (const auto& [label, caption] : values) {
        ASSERT_NE(label, nullptr) << caption;
        auto* captionLabel =
            label->parentWidget()->findChild<QLabel*>(label->objectName() + "Caption");
        ASSERT_NE(captionLabel, nullptr) << caption;
        EXPECT_EQ(captionLabel->text(), Q(caption));
        EXPECT_EQ(captionLabel->geometry().top(), label->geometry().top()) << caption;
        EXPECT_LE(captionLabel->geometry().right(), label->geometry().left()) << caption;
        EXPECT_LE(label->geometry().right(), label->parentWidget()->width()) << caption;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << caption;
    }
}

TEST_F(DiagnostikaFormTest, EverythingReadsZeroBeforeTheFirstRefresh) {
    auto form = Open(1);
    for (auto* labels : {form->OverviewLabels(), form->VlanLabels()})
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(labels[i]->text(), "0") << labels[i]->objectName().toStdString();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(form->Rs485Labels()[i]->text(), "0");
    EXPECT_EQ(form->StatusBar1->text(), " ");

    struct Grid {
        QTableWidget* grid;
        std::vector<const char*> column0;
        std::vector<const char*> row0;
        std::vector<int> widths;
    };
    const Grid grids[] = {
        {form->StringGrid3,
         {"Síťové parametry", "IP adresa", "Maska", "Brána"},
         {"setup režim", "pracovní režim"},
         {163, 189, 189}},
        {form->StringGrid1,
         {"Tabulka uživatelů", "IP adresa", "Port", "Povolené přístupy celkem",
          "Čas poslední zprávy [s]"},
         {"Uživatel 1", "Uživatel 2", "Uživatel 3"},
         {163, 129, 124, 124}},
        {form->StringGrid2,
         {"Tabulka chyb", "Kód chyby", "VLAN rozhraní / uživatel", "Adresa modulu", "Funkce",
          "Periferie", "Povel", "Doba komunikace [ms]", "Počet opakování", "Časová značka [ms]"},
         {"Chyba", "Chyba -1", "Chyba -2", "Chyba -3", "Chyba -4"},
         {163, 77, 74, 75, 75, 74}},
    };
    for (const Grid& g : grids) {
        const std::string name = g.grid->objectName().toStdString();
        ASSERT_EQ(g.grid->rowCount(), static_cast<int>(g.column0.size())) << name;
        ASSERT_EQ(g.grid->columnCount(), static_cast<int>(g.row0.size()) + 1) << name;
        for (int r = 0; r < g.grid->rowCount(); ++r) {
            EXPECT_EQ(Cell(g.grid, r, 0), Q(g.column0[static_cast<std::size_t>(r)])) << name;
            EXPECT_EQ(g.grid->rowHeight(r), 16) << name;
        }
        for (int c = 1; c < g.grid->columnCount(); ++c)
            EXPECT_EQ(Cell(g.grid, 0, c), Q(g.row0[static_cast<std::size_t>(c - 1)])) << name;
        for (int r = 1; r < g.grid->rowCount(); ++r)
            for (int c = 1; c < g.grid->columnCount(); ++c)
                EXPECT_EQ(Cell(g.grid, r, c), "0") << name << " " << r << "," << c;
        for (int c = 0; c < g.grid->columnCount(); ++c)
            EXPECT_EQ(g.grid->columnWidth(c), g.widths[static_cast<std::size_t>(c)]) << name;
        EXPECT_FALSE(g.grid->isEnabled()) << name;
        EXPECT_EQ(g.grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(g.grid->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_TRUE(g.grid->selectedItems().isEmpty()) << name;
        // The whole grid shows: every row and column fits inside the widget.
        EXPECT_LE(g.grid->rowViewportPosition(g.grid->rowCount() - 1) + 16,
                  g.grid->viewport()->height())
            << name;
        EXPECT_LE(g.grid->columnViewportPosition(g.grid->columnCount() - 1) + g.widths.back(),
                  g.grid->viewport()->width())
            << name;
    }
}

TEST_F(DiagnostikaFormTest, ARefreshFillsTheLabelsAndCellsOfItsVlan) {
    auto& fake = Connect(kv::kKindLanQudp, 4);
    auto form = Open(1);
    fake.QueueSend(0, 0, 0, ModuleReply(77));
    fake.QueueSend(0, 0, 0, VlanReply(1));
    form->Timer1Timer();

    EXPECT_EQ(fake.CallCount("Send"), 2u);
    EXPECT_EQ(form->Label22->text(), "77");
    EXPECT_EQ(form->Label14->text(), "KV-3380U");
    EXPECT_EQ(form->Label15->text(), "00-0A-FF-01-02-AB");
    EXPECT_EQ(form->Label23->text(), "setup");
    EXPECT_EQ(Cell(form->StringGrid3, 1, 2), "10.0.0.99");
    EXPECT_EQ(form->Label80->text(), "19200");
    EXPECT_EQ(Cell(form->StringGrid2, 2, 1), "2 / 3");
    EXPECT_EQ(Cell(form->StringGrid2, 7, 1), "1000");

    EXPECT_EQ(form->Label42->text(), "6001") << "VLAN2's record";
    EXPECT_EQ(form->Label43->text(), Q("časovač platnosti IP adresy"));
    const QString separator = QLocale::system().decimalPoint();
    EXPECT_EQ(form->Label44->text(), "1" + separator + "500") << "the user's separator";
    EXPECT_EQ(form->Label46->text(), "41");
    EXPECT_EQ(form->Label48->text(), "10.0.0.7:5000");
    EXPECT_EQ(Cell(form->StringGrid1, 1, 1), "192.168.0.1");
    EXPECT_EQ(Cell(form->StringGrid1, 0, 1), Q("Uživatel"));
    EXPECT_EQ(Cell(form->StringGrid1, 0, 3), Q("Uživatel -2"));
    EXPECT_EQ(form->StatusBar1->text(), " fake 0");
    EXPECT_TRUE(form->Timer1->isActive()) << "the next cycle is due";
}

TEST_F(DiagnostikaFormTest, FailedRequestsKeepWhatIsShown) {
    auto& fake = Connect(kv::kKindUsbVx);
    auto form = Open(0);
    fake.QueueSend(0, 0, 0, ModuleReply(5));
    fake.QueueSend(0, 0, 0, VlanReply(2));
    form->Timer1Timer();
    ASSERT_EQ(form->Label42->text(), "6000");

    // The second request fails: the overview is new, the VLAN group as it was.
    fake.QueueSend(0, 0, 0, ModuleReply(6));
    fake.QueueSend(0, 2, 0, VlanReply(0));
    form->Timer1Timer();
    EXPECT_EQ(form->Label22->text(), "6");
    EXPECT_EQ(form->Label43->text(), Q("tabulka uživatelů"));
    EXPECT_EQ(form->StatusBar1->text(), " fake 2");
    EXPECT_TRUE(form->Timer1->isActive()) << "polling goes on";

    // The first fails: nothing changes at all.
    fake.QueueSend(0, 4, 0, ModuleReply(7));
    form->Timer1Timer();
    EXPECT_EQ(form->Label22->text(), "6");
    EXPECT_EQ(form->StatusBar1->text(), " fake 4");
    EXPECT_EQ(fake.CallCount("Send"), 5u);
}

TEST_F(DiagnostikaFormTest, ColoursAndHeadingsFollowTheMode) {
    auto& fake = Connect(kv::kKindUsbVx);
    auto form = Open(0);
    const QColor grey(128, 128, 128), blue(0, 0, 255);
    auto refresh = [&](std::uint8_t mode) {
        fake.QueueSend(0, 0, 0, ModuleReply(1));
        fake.QueueSend(0, 0, 0, VlanReply(mode));
        form->Timer1Timer();
    };
    auto textColour = [](QLabel* label) { return label->palette().color(QPalette::WindowText); };
    auto userColour = [&](int row, int column) {
        return form->StringGrid1->item(row, column)->foreground().color();
    };

    refresh(0);
    EXPECT_EQ(textColour(form->Label44), grey);
    EXPECT_EQ(textColour(form->Label45), grey);
    for (QLabel* l : {form->Label46, form->Label47, form->Label48, form->Label49})
        EXPECT_EQ(textColour(l), grey);
    EXPECT_EQ(userColour(1, 1), grey);
    EXPECT_EQ(userColour(4, 3), grey);
    EXPECT_EQ(textColour(form->Label42), blue) << "the port keeps its colour";
    EXPECT_EQ(textColour(form->Label43), blue);

    refresh(1);
    EXPECT_EQ(textColour(form->Label44), blue);
    EXPECT_EQ(textColour(form->Label49), blue);
    EXPECT_EQ(userColour(2, 2), form->WindowTextColour());
    EXPECT_EQ(Cell(form->StringGrid1, 0, 2), Q("Uživatel -1"));

    refresh(2);
    EXPECT_EQ(textColour(form->Label45), grey);
    EXPECT_EQ(textColour(form->Label46), blue);
    EXPECT_EQ(userColour(3, 1), form->WindowTextColour());
    EXPECT_EQ(Cell(form->StringGrid1, 0, 1), Q("Uživatel 1"));
    EXPECT_EQ(Cell(form->StringGrid1, 0, 2), Q("Uživatel 2"));
    // The fixed cells keep the grid's own colour in every mode.
    EXPECT_EQ(form->StringGrid1->item(1, 0)->foreground().color(), form->WindowTextColour());

    // On screen too: the remaining validity is painted blue, and grey once the interface
    // is switched off.
    ASSERT_TRUE(kvgui::ShowExposed(form.get()));
    // Text is smoothed against the background, so a pixel counts by its hue: clearly blue,
    // or a neutral grey as dark as the text's grey.
    auto painted = [&](QLabel* label, const std::function<bool(const QColor&)>& like) {
        const QImage image = label->grab().toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (like(image.pixelColor(x, y))) return true;
        return false;
    };
    auto bluish = [](const QColor& c) { return c.blue() > 200 && c.red() < 90 && c.green() < 90; };
    auto greyish = [](const QColor& c) {
        return std::abs(c.red() - c.green()) < 10 && std::abs(c.green() - c.blue()) < 10 &&
               c.red() >= 110 && c.red() <= 150;
    };
    refresh(1);
    EXPECT_TRUE(painted(form->Label44, bluish));
    EXPECT_FALSE(painted(form->Label44, greyish));
    refresh(0);
    EXPECT_TRUE(painted(form->Label44, greyish));
    EXPECT_FALSE(painted(form->Label44, bluish));
}

TEST_F(DiagnostikaFormTest, WithoutAConnectionEveryTickSaysSoAndSendsNothing) {
    auto& fake = Connect(kv::kKindUsbVx);
    settings_.connected = false;
    auto form = Open(0);
    form->Timer1Timer();
    form->Timer1Timer();
    EXPECT_EQ(form->StatusBar1->text(), Q(" Připojení k zařízení není inicializováno."));
    EXPECT_EQ(form->Label22->text(), "0");
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(fake.CallCount("Send"), 0u);
    settings_.connected = true;
}

TEST_F(DiagnostikaFormTest, TheTimerPollsUntilCancelStopsIt) {
    auto& fake = Connect(kv::kKindUsbVx);
    TFormDiagnostika form(settings_, 0);
    EXPECT_TRUE(form.Timer1->isActive()) << "running from the window's creation";
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    // Cycles follow one another by themselves (generous bound).
    QElapsedTimer clock;
    clock.start();
    while (fake.CallCount("Send") < 6 && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_GE(fake.CallCount("Send"), 6u);
    EXPECT_EQ(fake.CallCount("Send") % 2, 0u) << "two requests a cycle, none left half-done";

    form.Button1->click();
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.isVisible());
    const std::uint32_t sent = fake.CallCount("Send");
    clock.restart();
    while (clock.elapsed() < 400) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(fake.CallCount("Send"), sent) << "no request after the click";
}

TEST_F(DiagnostikaFormTest, ClosingByTheTitleBarStopsPollingToo) {
    auto& fake = Connect(kv::kKindUsbVx);
    TFormDiagnostika form(settings_, 0);
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    form.close();
    EXPECT_FALSE(form.Timer1->isActive());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 20);
    const std::uint32_t sent = fake.CallCount("Send");
    form.Timer1Timer();  // a tick that was already due
    EXPECT_EQ(fake.CallCount("Send"), sent);
}

TEST_F(DiagnostikaFormTest, AScreenReaderReadsCaptionsValuesAndCells) {
    auto& fake = Connect(kv::kKindUsbVx);
    auto form = Open(0);
    fake.QueueSend(0, 0, 0, ModuleReply(31));
    fake.QueueSend(0, 0, 0, VlanReply(1));
    form->Timer1Timer();

    QAccessibleInterface* label = QAccessible::queryAccessibleInterface(form->Label22);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(QAccessible::Name), Q("Čas od zapnutí [s]"));
    EXPECT_EQ(label->text(QAccessible::Description), "31");
    QAccessibleInterface* port = QAccessible::queryAccessibleInterface(form->Label42);
    EXPECT_EQ(port->text(QAccessible::Name), "Port");
    EXPECT_EQ(port->text(QAccessible::Description), "6000");

    for (QTableWidget* grid : {form->StringGrid3, form->StringGrid1, form->StringGrid2}) {
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
        ASSERT_NE(table, nullptr);
        QAccessibleTableInterface* cells = table->tableInterface();
        ASSERT_NE(cells, nullptr) << "a table, not a list of widgets";
        EXPECT_EQ(table->text(QAccessible::Name), Cell(grid, 0, 0));
        ASSERT_EQ(cells->rowCount(), grid->rowCount());
        ASSERT_EQ(cells->columnCount(), grid->columnCount());
        for (int r = 0; r < grid->rowCount(); ++r) {
            for (int c = 0; c < grid->columnCount(); ++c) {
                QAccessibleInterface* cell = cells->cellAt(r, c);
                ASSERT_NE(cell, nullptr);
                EXPECT_EQ(cell->text(QAccessible::Name), Cell(grid, r, c));
            }
        }
        EXPECT_TRUE(table->state().disabled);
    }
    QAccessibleInterface* users = QAccessible::queryAccessibleInterface(form->StringGrid1);
    EXPECT_EQ(users->tableInterface()->cellAt(1, 1)->text(QAccessible::Name), "192.168.0.0");
    EXPECT_EQ(users->tableInterface()->cellAt(0, 1)->text(QAccessible::Name), Q("Uživatel"));

    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(form->StatusBar1->label());
    EXPECT_EQ(status->text(QAccessible::Name), " fake 0");
}

TEST_F(DiagnostikaFormTest, TheMainWindowOpensItForEachVlan) {
    TForm1 main;
    const std::pair<QAction*, int> items[] = {
        {main.RozhranLAN11, 1}, {main.RozhranLAN21, 2}, {main.RozhranLAN31, 3}};
    for (const auto& [item, number] : items) {
        QString title;
        const bool opened = kvgui::DriveModal<TFormDiagnostika>([&] { item->trigger(); },
                                                                [&](TFormDiagnostika* form) {
                                                                    title = form->windowTitle();
                                                                    form->Button1->click();
                                                                });
        ASSERT_TRUE(opened) << number;
        EXPECT_EQ(title, Q(" Diagnostika komunikačního rozhraní VLAN") + QString::number(number));
    }
    EXPECT_EQ(kvgui::FindOpen<TFormDiagnostika>(), nullptr);
}

}  // namespace
