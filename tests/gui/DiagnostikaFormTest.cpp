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
        auto form =
            std::make_unique<TFormDiagnostika>(settings_, worker_, kv::Vlan::FromIndex(vlanIndex));
        // Ticks only when a test asks for them.
        form->Timer1->stop();
        form->show();
        return form;
    }
};

std::vector<QLabel*> AllValueLabels(const TFormDiagnostika& form) {
    std::vector<QLabel*> out(form.OverviewLabels(), form.OverviewLabels() + 8);
    out.insert(out.end(), form.VlanLabels(), form.VlanLabels() + 8);
    out.insert(out.end(), form.Rs485Labels(), form.Rs485Labels() + 4);
    return out;
}

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
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_TRUE(form->Timer1->isSingleShot());
    EXPECT_EQ(form->Timer1->timerType(), Qt::PreciseTimer) << "never less than 100 ms between";
    // Top to bottom: the three groups, the button, the status bar at the bottom.
    EXPECT_LT(form->GroupBox1->geometry().bottom(), form->GroupBox2->geometry().top());
    EXPECT_LT(form->GroupBox2->geometry().bottom(), form->GroupBox3->geometry().top());
    EXPECT_LT(form->GroupBox3->geometry().bottom(), form->Button1->geometry().top());
    EXPECT_EQ(form->StatusBar1->geometry().bottom(), 738);

    // Each value label stands beside its caption, which names it; blue; "0" until the
    // first refresh.
    const QStringList names = Q("Label14 Label32 Label4 Label15 Label23 Label22 Label24 Label25 "
                                "Label42 Label43 Label44 Label45 Label46 Label47 Label48 Label49 "
                                "Label80 Label81 Label82 Label83")
                                  .split(' ');
    const QStringList captions =
        Q("Typ|Verze|Výrobní číslo|MAC adresa|Režim provozu|Čas od zapnutí [s]|Povolené "
          "přístupy celkem|Nepovolené přístupy celkem|Port|Režim rozhraní|Doba do konce "
          "platnosti IP [s]|Max. doba platnosti IP [s]|Povolené přístupy VLAN|Nepovolené "
          "přístupy VLAN|Poslední nepovolená IP adresa|Čas poslední nepovolené zprávy "
          "[s]|Komunikační rychlost [Bd]|Timeout [ms]|Počet zpráv|Počet chyb")
            .split('|');
    const std::vector<QLabel*> labels = AllValueLabels(*form);
    ASSERT_EQ(captions.size(), 20);
    for (int i = 0; i < 20; ++i) {
        QLabel* label = labels[static_cast<std::size_t>(i)];
        EXPECT_EQ(label->objectName(), names[i]);
        auto* caption = label->parentWidget()->findChild<QLabel*>(names[i] + "Caption");
        ASSERT_NE(caption, nullptr) << i;
        EXPECT_EQ(caption->text(), captions[i]);
        EXPECT_EQ(caption->geometry().top(), label->geometry().top()) << i;
        EXPECT_LE(caption->geometry().right(), label->geometry().left()) << i;
        EXPECT_LE(label->geometry().right(), label->parentWidget()->width()) << i;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << i;
        EXPECT_EQ(label->text(), "0");
    }
    EXPECT_EQ(form->StatusBar1->text(), " ");
}

TEST_F(DiagnostikaFormTest, GridsWithTheirFixedCellsAndZerosBeforeTheFirstRefresh) {
    auto form = Open(1);
    struct Grid {
        QTableWidget* grid;
        const char* column0;  // row by row, then row 0 of the other columns
        std::vector<int> widths;
    };
    const Grid grids[] = {
        {form->StringGrid3,
         "Síťové parametry|IP adresa|Maska|Brána|setup režim|pracovní režim",
         {163, 189, 189}},
        {form->StringGrid1,
         "Tabulka uživatelů|IP adresa|Port|Povolené přístupy celkem|Čas poslední zprávy "
         "[s]|Uživatel 1|Uživatel 2|Uživatel 3",
         {163, 129, 124, 124}},
        {form->StringGrid2,
         "Tabulka chyb|Kód chyby|VLAN rozhraní / uživatel|Adresa modulu|Funkce|Periferie|Povel|"
         "Doba komunikace [ms]|Počet opakování|Časová značka [ms]|Chyba|Chyba -1|Chyba -2|Chyba "
         "-3|Chyba -4",
         {163, 77, 74, 75, 75, 74}},
    };
    for (const Grid& g : grids) {
        const std::string name = g.grid->objectName().toStdString();
        const QStringList fixed = Q(g.column0).split('|');
        const int rows = static_cast<int>(fixed.size() - g.widths.size()) + 1;
        ASSERT_EQ(g.grid->rowCount(), rows) << name;
        ASSERT_EQ(g.grid->columnCount(), static_cast<int>(g.widths.size())) << name;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < g.grid->columnCount(); ++c) {
                const QString expected = c == 0 ? fixed[r] : r == 0 ? fixed[rows + c - 1] : "0";
                EXPECT_EQ(Cell(g.grid, r, c), expected) << name << " " << r << "," << c;
            }
            EXPECT_EQ(g.grid->rowHeight(r), 16) << name;
        }
        for (int c = 0; c < g.grid->columnCount(); ++c)
            EXPECT_EQ(g.grid->columnWidth(c), g.widths[static_cast<std::size_t>(c)]) << name;
        EXPECT_FALSE(g.grid->isEnabled()) << name;
        EXPECT_EQ(g.grid->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_TRUE(g.grid->selectedItems().isEmpty()) << name;
        // The whole grid shows: its last row and column end inside the widget.
        EXPECT_LE(g.grid->rowViewportPosition(rows - 1) + 16, g.grid->viewport()->height());
        EXPECT_LE(g.grid->columnViewportPosition(g.grid->columnCount() - 1) + g.widths.back(),
                  g.grid->viewport()->width());
    }
}

TEST_F(DiagnostikaFormTest, ARefreshFillsTheLabelsAndCellsOfItsVlan) {
    auto& fake = Connect(kv::kKindLanQudp, 4);
    auto form = Open(1);
    fake.QueueSend(0, 0, 0, ModuleReply(77));
    fake.QueueSend(0, 0, 0, VlanReply(1));
    form->Timer1Timer();
    ASSERT_TRUE(kvgui::WaitForCalls(form.get()));

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

TEST_F(DiagnostikaFormTest, ColoursAndHeadingsFollowTheMode) {
    auto& fake = Connect(kv::kKindUsbVx);
    auto form = Open(0);
    const QColor grey(128, 128, 128), blue(0, 0, 255);
    auto refresh = [&](std::uint8_t mode) {
        fake.QueueSend(0, 0, 0, ModuleReply(1));
        fake.QueueSend(0, 0, 0, VlanReply(mode));
        form->Timer1Timer();
        ASSERT_TRUE(kvgui::WaitForCalls(form.get()));
    };
    auto textColour = [](QLabel* label) { return label->palette().color(QPalette::WindowText); };
    auto userColour = [&](int row, int column) {
        return form->StringGrid1->item(row, column)->foreground().color();
    };

    // Validity (44, 45), access (46..49) and the user cells, by mode; port and mode stay.
    auto shades = [&] {
        std::vector<QColor> out;
        for (QLabel* l : {form->Label44, form->Label45, form->Label46, form->Label49})
            out.push_back(textColour(l));
        out.push_back(userColour(1, 1));
        out.push_back(userColour(4, 3));
        out.push_back(textColour(form->Label42));
        out.push_back(textColour(form->Label43));
        return out;
    };
    const QColor text = form->WindowTextColour();
    refresh(0);
    EXPECT_EQ(shades(), (std::vector<QColor>{grey, grey, grey, grey, grey, grey, blue, blue}));
    refresh(1);
    EXPECT_EQ(shades(), (std::vector<QColor>{blue, blue, blue, blue, text, text, blue, blue}));
    EXPECT_EQ(Cell(form->StringGrid1, 0, 2), Q("Uživatel -1"));
    refresh(2);
    EXPECT_EQ(shades(), (std::vector<QColor>{grey, grey, blue, blue, text, text, blue, blue}));
    EXPECT_EQ(Cell(form->StringGrid1, 0, 2), Q("Uživatel 2"));
    // The fixed cells keep the grid's own colour in every mode.
    EXPECT_EQ(form->StringGrid1->item(1, 0)->foreground().color(), text);

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

TEST_F(DiagnostikaFormTest, TheTimerPollsUntilCancelStopsIt) {
    auto& fake = Connect(kv::kKindUsbVx);
    TFormDiagnostika form(settings_, worker_, kv::Vlan::FromIndex(0));
    EXPECT_TRUE(form.Timer1->isActive()) << "running from the window's creation";
    ASSERT_TRUE(kvgui::ShowExposed(&form));
    // Cycles follow one another by themselves (generous bound).
    QElapsedTimer clock;
    clock.start();
    while (fake.CallCount("Send") < 6 && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_GE(fake.CallCount("Send"), 6u);
    ASSERT_TRUE(kvgui::WaitForCalls(&form));
    EXPECT_EQ(fake.CallCount("Send") % 2, 0u) << "two requests a cycle, none left half-done";

    form.Button1->click();
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.isVisible());
    // A request the worker had already begun ends; none follows.
    ASSERT_TRUE(worker_.WaitUntilIdle(std::chrono::seconds(20)));
    const std::uint32_t sent = fake.CallCount("Send");
    clock.restart();
    while (clock.elapsed() < 400) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(fake.CallCount("Send"), sent) << "no request after the click";

    // Closed by its title bar, the same; a tick that was already due sends nothing.
    TFormDiagnostika other(settings_, worker_, kv::Vlan::FromIndex(0));
    ASSERT_TRUE(kvgui::ShowExposed(&other));
    other.close();
    EXPECT_FALSE(other.Timer1->isActive());
    const std::uint32_t before = fake.CallCount("Send");
    other.Timer1Timer();
    EXPECT_EQ(fake.CallCount("Send"), before);
}

TEST_F(DiagnostikaFormTest, AScreenReaderReadsCaptionsValuesAndCells) {
    auto& fake = Connect(kv::kKindUsbVx);
    auto form = Open(0);
    fake.QueueSend(0, 0, 0, ModuleReply(31));
    fake.QueueSend(0, 0, 0, VlanReply(1));
    form->Timer1Timer();
    ASSERT_TRUE(kvgui::WaitForCalls(form.get()));

    QAccessibleInterface* label = QAccessible::queryAccessibleInterface(form->Label22);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(QAccessible::Name), Q("Čas od zapnutí [s]"));
    EXPECT_EQ(label->text(QAccessible::Description), "31");

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
