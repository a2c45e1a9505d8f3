#include "diagnostics/DiagnostikaForm.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

using kvforms::ToQt;

constexpr int kClientWidth = 594;
constexpr int kClientHeight = 739;
constexpr int kRefreshMs = 100;

constexpr int kGroupLeft = 8;
constexpr int kGroupWidth = kClientWidth - 2 * kGroupLeft;
constexpr int kGroupGap = 4;
constexpr int kFirstRow = 20;  // below the group's title
constexpr int kRowPitch = 18;
constexpr int kRowHeight = 17;
constexpr int kGridRowHeight = 16;
// A grid cell shows its text between the grid lines with a few pixels to spare.
constexpr int kCellPadding = 6;

// A caption with its value beside it: where both stand within the group.
struct LabelPlace {
    int left;
    int captionWidth;
    int valueWidth;
};
constexpr LabelPlace kLeftColumn{12, 100, 160};
constexpr LabelPlace kRightColumn{290, 170, 108};
constexpr LabelPlace kWideColumn{12, 210, 300};
constexpr LabelPlace kRs485Left{12, 170, 90};

const std::vector<int> kNetworkColumns = {163, 189, 189};
const std::vector<int> kUserColumns = {163, 129, 124, 124};
const std::vector<int> kErrorColumns = {163, 77, 74, 75, 75, 74};

QString Qt8(const char* utf8) {
    return QString::fromUtf8(utf8);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    if (widget->palette().color(QPalette::WindowText) == colour) return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QLabel* AddLabelPair(QWidget* group, const char* name, const char* caption, const LabelPlace& at,
                     int row) {
    const int top = kFirstRow + kRowPitch * row;
    auto* captionLabel = new QLabel(Qt8(caption), group);
    captionLabel->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
    captionLabel->setGeometry(at.left, top, at.captionWidth, kRowHeight);
    auto* value = new QLabel(group);
    value->setObjectName(QString::fromLatin1(name));
    value->setGeometry(at.left + at.captionWidth + 4, top, at.valueWidth, kRowHeight);
    value->setTextFormat(Qt::PlainText);
    value->setAccessibleName(Qt8(caption));
    captionLabel->setBuddy(value);
    SetTextColour(value, QColor(kv::kBlueRgb.red, kv::kBlueRgb.green, kv::kBlueRgb.blue));
    return value;
}

// A display-only grid: every cell, the fixed row and column included, is a cell of the
// table, so that a screen reader reads them by row and column as they stand on screen.
QTableWidget* AddGrid(QWidget* group, const char* name, int rows, const std::vector<int>& widths,
                      int top) {
    auto* grid = new QTableWidget(rows, static_cast<int>(widths.size()), group);
    grid->setObjectName(QString::fromLatin1(name));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    int width = 0;
    for (int c = 0; c < static_cast<int>(widths.size()); ++c) {
        grid->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
        width += widths[static_cast<std::size_t>(c)];
    }
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setShowGrid(true);
    grid->setWordWrap(false);
    grid->setCornerButtonEnabled(false);
    const int frame = 2 * grid->frameWidth();
    grid->setGeometry((kGroupWidth - width - frame) / 2, top, width + frame,
                      rows * kGridRowHeight + frame);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            auto* item = new QTableWidgetItem;
            // The fixed row and column stand out as they do in every grid of the desktop.
            if (r == 0 || c == 0) item->setBackground(grid->palette().brush(QPalette::Button));
            item->setForeground(grid->palette().brush(QPalette::Active, QPalette::Text));
            grid->setItem(r, c, item);
        }
    }
    // Display only: no cell can be chosen. A disabled grid would grey its text, which
    // the colours of the interface mode must not be mixed up with.
    QPalette palette = grid->palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        palette.setBrush(QPalette::Disabled, r, palette.brush(QPalette::Active, r));
    }
    grid->setPalette(palette);
    grid->setEnabled(false);
    return grid;
}

void SetCell(QTableWidget* grid, int row, int column, const std::string& text) {
    QTableWidgetItem* item = grid->item(row, column);
    const QString shown = ToQt(text);
    if (item->text() != shown) item->setText(shown);
}

template <std::size_t Rows, std::size_t Columns>
void SetCells(QTableWidget* grid, const kv::GridCells<Rows, Columns>& cells) {
    for (std::size_t r = 0; r < Rows; ++r)
        for (std::size_t c = 0; c < Columns; ++c)
            SetCell(grid, static_cast<int>(r + 1), static_cast<int>(c + 1), cells[r][c]);
}

// Column 0 of every row and row 0 of the other columns; "0" in every other cell.
template <std::size_t Rows, std::size_t Columns>
void SetFixedCells(QTableWidget* grid, const std::array<const char*, Rows>& rows,
                   const std::array<const char*, Columns>& columns) {
    for (std::size_t r = 0; r < Rows; ++r) SetCell(grid, static_cast<int>(r), 0, rows[r]);
    for (std::size_t c = 0; c < Columns; ++c) SetCell(grid, 0, static_cast<int>(c + 1), columns[c]);
    for (std::size_t r = 1; r < Rows; ++r)
        for (std::size_t c = 1; c <= Columns; ++c)
            SetCell(grid, static_cast<int>(r), static_cast<int>(c), "0");
    grid->setAccessibleName(Qt8(rows[0]));
    grid->clearSelection();
    grid->setCurrentItem(nullptr);
}

// The desktop's font, made smaller where it would not fit the window's fixed rows: a
// grid row is 16 pixels high, the grids' captions must fit their first column and the
// value captions the room beside their values.
QFont FittingFont() {
    std::vector<std::pair<QString, int>> fits;
    for (const char* text : kv::kErrorGridRows) fits.emplace_back(Qt8(text), 163 - kCellPadding);
    for (const char* text : kv::kUserGridRows) fits.emplace_back(Qt8(text), 163 - kCellPadding);
    for (std::size_t i = 0; i < kv::kOverviewCaptions.size(); ++i)
        fits.emplace_back(Qt8(kv::kOverviewCaptions[i]),
                          (i < 4 ? kLeftColumn : kRightColumn).captionWidth);
    for (const char* text : kv::kVlanCaptions)
        fits.emplace_back(Qt8(text), kWideColumn.captionWidth);
    for (std::size_t i = 0; i < kv::kRs485Captions.size(); ++i)
        fits.emplace_back(Qt8(kv::kRs485Captions[i]),
                          (i < 2 ? kRs485Left : kRightColumn).captionWidth);
    auto fitsAll = [&](const QFont& f) {
        const QFontMetrics metrics(f);
        if (metrics.height() > kGridRowHeight - 1) return false;
        return std::all_of(fits.begin(), fits.end(), [&](const auto& fit) {
            return metrics.horizontalAdvance(fit.first) <= fit.second;
        });
    };

    QFont font = QApplication::font();
    // Bounded: half a point a step, never below a size that can still be read.
    for (int step = 0; step < 40 && !fitsAll(font); ++step) {
        if (font.pointSizeF() > 0) {
            if (font.pointSizeF() <= 6) break;
            font.setPointSizeF(font.pointSizeF() - 0.5);
        } else {
            if (font.pixelSize() <= 8) break;
            font.setPixelSize(font.pixelSize() - 1);
        }
    }
    return font;
}

}  // namespace

TFormDiagnostika::TFormDiagnostika(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                                   kv::Vlan vlan, QWidget* parent)
    : FixedDialog("FormDiagnostika", Qt8(kv::kDiagnosticsCaption),
                  QSize(kClientWidth, kClientHeight), parent),
      settings_(settings),
      interface_(vlan),
      decimalSeparator_(QLocale::system().decimalPoint().toStdString()) {
    setFont(FittingFont());
    BuildControls();
    calls_ = new kvforms::ModuleCalls(worker, StatusBar1->Sink(), this);

    // Single-shot, started again when a cycle's outcome has arrived: cycles never overlap
    // or queue, and the next one begins 100 ms after the last one ended, however long
    // that took.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    // A coarse timer may fire a few milliseconds early; the pause must be 100 ms at least.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(kRefreshMs);
    connect(Timer1, &QTimer::timeout, this, &TFormDiagnostika::Timer1Timer);
    Timer1->start();
}

TFormDiagnostika::~TFormDiagnostika() = default;

void TFormDiagnostika::BuildControls() {
    auto group = [this](const char* name, const char* caption, int top, int height) {
        auto* box = new QGroupBox(Qt8(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        box->setGeometry(kGroupLeft, top, kGroupWidth, height);
        return box;
    };

    // Overview: the identity on the left, mode, time and counters on the right.
    GroupBox1 = group("GroupBox1", kv::kOverviewGroupCaption, kGroupGap, 0);
    const char* const overviewNames[8] = {"Label14", "Label32", "Label4",  "Label15",
                                          "Label23", "Label22", "Label24", "Label25"};
    for (int i = 0; i < 8; ++i) {
        overview_[i] = AddLabelPair(GroupBox1, overviewNames[i], kv::kOverviewCaptions[i],
                                    i < 4 ? kLeftColumn : kRightColumn, i % 4);
    }
    StringGrid3 =
        AddGrid(GroupBox1, "StringGrid3", 4, kNetworkColumns, kFirstRow + 4 * kRowPitch + 4);
    GroupBox1->resize(kGroupWidth, StringGrid3->geometry().bottom() + 8);

    GroupBox2 =
        group("GroupBox2", kv::kVlanGroupCaption, GroupBox1->geometry().bottom() + kGroupGap, 0);
    for (int i = 0; i < 8; ++i) {
        const std::string name = "Label" + std::to_string(42 + i);
        vlan_[i] = AddLabelPair(GroupBox2, name.c_str(), kv::kVlanCaptions[i], kWideColumn, i);
    }
    StringGrid1 = AddGrid(GroupBox2, "StringGrid1", 5, kUserColumns, kFirstRow + 8 * kRowPitch + 4);
    GroupBox2->resize(kGroupWidth, StringGrid1->geometry().bottom() + 8);

    GroupBox3 =
        group("GroupBox3", kv::kRs485GroupCaption, GroupBox2->geometry().bottom() + kGroupGap, 0);
    for (int i = 0; i < 4; ++i) {
        const std::string name = "Label" + std::to_string(80 + i);
        rs485_[i] = AddLabelPair(GroupBox3, name.c_str(), kv::kRs485Captions[i],
                                 i < 2 ? kRs485Left : kRightColumn, i % 2);
    }
    StringGrid2 =
        AddGrid(GroupBox3, "StringGrid2", 10, kErrorColumns, kFirstRow + 2 * kRowPitch + 4);
    GroupBox3->resize(kGroupWidth, StringGrid2->geometry().bottom() + 8);

    Label14 = overview_[0];
    Label32 = overview_[1];
    Label4 = overview_[2];
    Label15 = overview_[3];
    Label23 = overview_[4];
    Label22 = overview_[5];
    Label24 = overview_[6];
    Label25 = overview_[7];
    Label42 = vlan_[0];
    Label43 = vlan_[1];
    Label44 = vlan_[2];
    Label45 = vlan_[3];
    Label46 = vlan_[4];
    Label47 = vlan_[5];
    Label48 = vlan_[6];
    Label49 = vlan_[7];
    Label80 = rs485_[0];
    Label81 = rs485_[1];
    Label82 = rs485_[2];
    Label83 = rs485_[3];

    Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry((kClientWidth - 75) / 2, GroupBox3->geometry().bottom() + 8, 75, 25);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TFormDiagnostika::Button1Click);

    StatusBar1 = new kvforms::StatusPanel(this);
    const int barHeight = StatusBar1->sizeHint().height();
    StatusBar1->setGeometry(0, kClientHeight - barHeight, kClientWidth, barHeight);
}

void TFormDiagnostika::FormShow() {
    setWindowTitle(ToQt(kv::DiagnosticsCaption(interface_)));
    GroupBox2->setTitle(ToQt(kv::VlanGroupCaption(interface_)));
    for (QLabel* label : overview_) kvforms::ShowInLabel(label, "0");
    for (QLabel* label : vlan_) kvforms::ShowInLabel(label, "0");
    for (QLabel* label : rs485_) kvforms::ShowInLabel(label, "0");
    SetFixedCells(StringGrid3, kv::kNetworkGridRows, kv::kNetworkGridColumns);
    SetFixedCells(StringGrid1, kv::kUserGridRows, kv::kUserHeadingsNumbered);
    SetFixedCells(StringGrid2, kv::kErrorGridRows, kv::kErrorGridColumns);
    StatusBar1->SetText("");
}

void TFormDiagnostika::Button1Click() {
    Timer1->stop();
    stopped_ = true;
    close();
}

void TFormDiagnostika::done(int result) {
    // However the window closes (Cancel, the title bar, Escape), polling ends with it.
    Timer1->stop();
    stopped_ = true;
    FixedDialog::done(result);
}

void TFormDiagnostika::Timer1Timer() {
    // A cycle still out (a tick asked for by hand) is not doubled.
    if (stopped_ || calls_->InFlight()) return;
    if (!kv::ConnectionUsable(settings_)) {
        // Says so and sends nothing; the check repeats on every tick.
        kv::RefreshDiagnostics(kv::ModuleLink(), interface_, StatusBar1->Sink());
        Timer1->start();
        return;
    }
    // Until the first refresh has come back there is nothing on display to keep: a slow
    // module is then said to be waited for.
    std::optional<std::string> waiting;
    if (!refreshed_) waiting = kvforms::kWaitingForModuleText;
    calls_->Run(
        [vlan = interface_](kv::Connection& connection, const kv::StatusSink& status,
                            const kv::StopAsked& stopAsked) {
            return kv::RefreshDiagnostics(connection.Link(), vlan, status, stopAsked);
        },
        [this](const kv::CycleOutcome& out) {
            refreshed_ = true;
            if (out.module) ShowModule(*out.module);
            if (out.vlan) ShowVlan(*out.vlan);
            if (!stopped_) Timer1->start();
        },
        waiting);
}

QColor TFormDiagnostika::WindowTextColour() const {
    return QApplication::palette().color(QPalette::Active, QPalette::Text);
}

QColor TFormDiagnostika::Colour(kv::Shade shade) const {
    switch (shade) {
        case kv::Shade::kGrey:
            return QColor(kv::kGreyRgb.red, kv::kGreyRgb.green, kv::kGreyRgb.blue);
        case kv::Shade::kBlue:
            return QColor(kv::kBlueRgb.red, kv::kBlueRgb.green, kv::kBlueRgb.blue);
        case kv::Shade::kWindowText:
            break;
    }
    return WindowTextColour();
}

void TFormDiagnostika::ShowModule(const kv::ModuleStatus& status) {
    const kv::ModuleStatusView view = kv::FormatModuleStatus(status);
    for (std::size_t i = 0; i < view.overview.size(); ++i)
        kvforms::ShowInLabel(overview_[i], view.overview[i]);
    SetCells(StringGrid3, view.network);
    for (std::size_t i = 0; i < view.rs485.size(); ++i)
        kvforms::ShowInLabel(rs485_[i], view.rs485[i]);
    SetCells(StringGrid2, view.errors);
}

void TFormDiagnostika::ShowVlan(const kv::VlanStatus& status) {
    const kv::VlanStatusView view = kv::FormatVlanStatus(status, decimalSeparator_);
    kvforms::ShowInLabel(Label42, view.values[0]);
    kvforms::ShowInLabel(Label43, view.values[1]);
    const QColor validity = Colour(view.shades.validity);
    const QColor access = Colour(view.shades.access);
    for (QLabel* label : {Label44, Label45}) SetTextColour(label, validity);
    for (QLabel* label : {Label46, Label47, Label48, Label49}) SetTextColour(label, access);
    for (std::size_t i = 2; i < view.values.size(); ++i)
        kvforms::ShowInLabel(vlan_[i], view.values[i]);
    for (int c = 0; c < 3; ++c)
        SetCell(StringGrid1, 0, c + 1, view.userHeadings[static_cast<std::size_t>(c)]);
    const QColor users = Colour(view.shades.users);
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 3; ++c)
            if (StringGrid1->item(r, c)->foreground().color() != users)
                StringGrid1->item(r, c)->setForeground(users);
    SetCells(StringGrid1, view.users);
}
