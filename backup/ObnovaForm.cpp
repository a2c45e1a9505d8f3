#include "backup/ObnovaForm.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

#include "backup/BackupSave.h"
#include "backup/BlockSettings.h"
#include "core/CzechPlural.h"

namespace {

constexpr int kClientWidth = 680;
constexpr int kClientHeight = 560;
constexpr int kLeft = 12;
constexpr int kCaptionWidth = 96;
constexpr int kInnerWidth = kClientWidth - 2 * kLeft;
constexpr int kStatusHeight = 22;
constexpr int kBlockRole = Qt::UserRole;

QLabel* AddCaption(QWidget* parent, const char* name, const char* text, const QRect& at) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(at);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

// A value beside its caption: announced by the caption, its value as the description.
QLabel* AddValue(QWidget* parent, const char* name, QLabel* caption, const QRect& at) {
    auto* value = new QLabel(parent);
    value->setObjectName(QString::fromLatin1(name));
    value->setGeometry(at);
    value->setTextFormat(Qt::PlainText);
    value->setAccessibleName(caption->text());
    caption->setBuddy(value);
    return value;
}

QPushButton* AddButton(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, 80, 26);
    // Enter in the plan must not write to the module.
    button->setAutoDefault(false);
    return button;
}

std::string BlockName(std::uint16_t block) {
    const kv::BlockSection* section = kv::SectionByBlock(block);
    return std::string(section != nullptr ? section->name : "?") + " (blok " +
           std::to_string(block) + ")";
}

// What the module said of itself and its blocks, for the plan.
struct ModuleRead {
    kv::BlocksRead blocks;
    kv::ModuleIdentity identity;
    std::optional<std::string> identityError;
};

// The writes' outcome, block by block, and what they reported on their way.
struct WritesDone {
    kv::PlanWriting writing;
    kv::ModuleRecord record;
    std::vector<std::string> lines;
};

}  // namespace

TFormObnova::TFormObnova(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                         const QString& path, QWidget* parent)
    : FixedDialog("FormObnova", QStringLiteral(" Obnovit konfiguraci ze souboru"),
                  QSize(kClientWidth, kClientHeight), parent),
      settings_(settings),
      path_(kvforms::FromQt(path)),
      source_(kvforms::FromQt(QFileInfo(path).fileName())) {
    const int valueLeft = kLeft + kCaptionWidth + 4;
    const int valueWidth = kClientWidth - valueLeft - kLeft;
    Label1 = AddCaption(this, "Label1", "Soubor", QRect(kLeft, 10, kCaptionWidth, 20));
    Soubor = AddValue(this, "Soubor", Label1, QRect(valueLeft, 10, valueWidth, 20));
    Label2 = AddCaption(this, "Label2", "Záloha modulu", QRect(kLeft, 32, kCaptionWidth, 20));
    Modul = AddValue(this, "Modul", Label2, QRect(valueLeft, 32, valueWidth, 20));

    Label3 = AddCaption(this, "Label3", "Plán obnovy", QRect(kLeft, 58, kInnerWidth, 18));
    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setGeometry(kLeft, 78, kInnerWidth, 300);
    TreeView1->setColumnCount(2);
    TreeView1->setHeaderLabels({QStringLiteral("Blok"), QStringLiteral("Stav")});
    TreeView1->header()->resizeSection(0, 500);
    TreeView1->setAccessibleName(Label3->text());
    Label3->setBuddy(TreeView1);

    Label4 = AddCaption(this, "Label4", "Hlášení", QRect(kLeft, 384, kInnerWidth, 18));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(kLeft, 404, kInnerWidth, 90);
    ListBox1->setAccessibleName(Label4->text());
    Label4->setBuddy(ListBox1);

    constexpr int kButtonTop = 504;
    Button2 = AddButton(this, "Button2", "Zapsat", kLeft, kButtonTop);
    Button1 = AddButton(this, "Button1", "Přečíst", kLeft + 88, kButtonTop);
    Button3 = AddButton(this, "Button3", "Zavřít", kClientWidth - kLeft - 80, kButtonTop);
    Button2->setEnabled(false);
    connect(Button1, &QPushButton::clicked, this, &TFormObnova::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormObnova::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TFormObnova::Button3Click);
    setTabOrder(TreeView1, Button2);
    setTabOrder(Button2, Button1);
    setTabOrder(Button1, Button3);
    setTabOrder(Button3, ListBox1);

    StatusBar1 = new kvforms::StatusPanel(this);
    StatusBar1->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
    calls_ = new kvforms::ModuleCalls(worker, StatusBar1->Sink(), this);
    calls_->Guard({Button1, Button2});

    confirmLockout = [this](const QString& text) {
        return QMessageBox::question(
                   this, windowTitle(), text + QStringLiteral("\n\nZapsat přesto?"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    kvforms::ShowInLabel(Soubor, path_);
}

TFormObnova::~TFormObnova() = default;

void TFormObnova::Say(const std::string& line) {
    ListBox1->addItem(kvforms::ToQt(line));
}

void TFormObnova::ShowProblems(const std::vector<kv::FileProblem>& problems) {
    for (const kv::FileProblem& problem : problems) Say(kv::Located(source_, problem));
    StatusBar1->SetText(
        "Soubor zálohy nelze obnovit: " + kv::Counted(problems.size(), "chyba", "chyby", "chyb") +
        " (viz Hlášení); do modulu se nic nezapíše.");
}

bool TFormObnova::ReadFile() {
    kv::BackupRead read;
    if (auto failure = kv::ReadBackupPath(path_, read)) {
        Say(*failure);
        StatusBar1->SetText(*failure);
        return false;
    }
    if (!read.problems.empty()) {
        ShowProblems(read.problems);
        return false;
    }
    doc_ = std::move(read.document);
    kvforms::ShowInLabel(
        Modul, doc_.moduleIdent + (doc_.serial.empty() ? std::string(", výrobní číslo neuvedeno")
                                                       : ", výrobní číslo " + doc_.serial));
    const kv::Selection selection = kv::SelectBlocks(doc_, {}, false);
    if (!selection.error.empty()) {
        ShowProblems({{0, selection.error}});
        return false;
    }
    selected_ = selection.blocks;
    // The file's values are judged before the module is asked.
    const kv::RestorePlan precheck = kv::PlanRestore(doc_, selected_, kv::ImageOfFile(doc_), false);
    if (precheck.Refused()) {
        ShowProblems(precheck.Refusals());
        return false;
    }
    return true;
}

void TFormObnova::FormShow() {
    fileOk_ = ReadFile();
    if (!fileOk_) {
        Button1->setEnabled(false);
        return;
    }
    Button1Click();
}

void TFormObnova::Button1Click() {
    if (calls_->InFlight() || !fileOk_) return;
    if (!kv::ConnectionUsable(settings_)) {
        StatusBar1->SetText(kv::kNotConnectedText);
        return;
    }
    StatusBar1->SetText("Čtu konfiguraci modulu…");
    calls_->Run(
        [blocks = kv::BlocksToRead(selected_)](kv::Connection& connection, const kv::StatusSink&,
                                               const kv::StopAsked& stop) {
            ModuleRead read;
            read.blocks = kv::ReadBlocks(connection.Link(), blocks, stop);
            if (read.blocks.end == kv::TransferEnd::kDone)
                read.identityError = kv::AskIdentity(connection.Link(), read.identity);
            return read;
        },
        [this](const ModuleRead& read) {
            preview_.reset();
            TreeView1->clear();
            Button2->setEnabled(false);
            if (read.blocks.end != kv::TransferEnd::kDone) {
                const std::string line =
                    kv::BlockTag(read.blocks.failed) + " " + read.blocks.status;
                Say(line);
                StatusBar1->SetText(line);
                return;
            }
            const std::string serial = read.identityError ? std::string() : read.identity.serial;
            preview_ = kv::PreviewRestore(doc_, selected_, read.blocks.blocks, source_,
                                          [this, serial] { return kv::ForeignFile(doc_, serial); });
            written_ = false;
            if (preview_->plan.Refused()) {
                ShowProblems(preview_->plan.Refusals());
                preview_.reset();
                return;
            }
            ShowPlan();
        });
}

void TFormObnova::ShowPlan() {
    TreeView1->clear();
    std::size_t changed = 0;
    for (const kv::BlockPreview& block : preview_->blocks) {
        auto* item = new QTreeWidgetItem(TreeView1);
        item->setText(0, kvforms::ToQt(BlockName(block.block)));
        item->setData(0, kBlockRole, block.block);
        item->setText(1, QString::fromUtf8(block.changed ? "změny" : "beze změny"));
        // A line longer than the column shows whole as its tool tip.
        auto addLine = [item](const std::string& text) {
            auto* line = new QTreeWidgetItem(item, {kvforms::ToQt(text)});
            line->setToolTip(0, line->text(0));
        };
        for (const std::string& note : block.notes) addLine(note);
        const std::vector<std::string> lines = block.PlanLines();
        for (std::size_t i = 1; i < lines.size(); ++i) addLine(lines[i].substr(2));
        if (block.foreign)
            addLine("zapíše se jen zaškrtnutý: " + *block.foreign +
                    "; jeho IP adresa by přešla na jiný modul");
        if (block.changed) {
            ++changed;
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            // The network block of another module's file stays unless the operator checks it.
            item->setCheckState(0, block.foreign ? Qt::Unchecked : Qt::Checked);
        }
    }
    TreeView1->expandAll();
    Button2->setEnabled(changed > 0);
    StatusBar1->SetText(changed == 0
                            ? std::string("Modul už má konfiguraci ze souboru; "
                                          "není co zapsat.")
                            : "Změní se " + kv::Counted(changed, "blok", "bloky", "bloků") +
                                  "; vyberte je a stiskněte Zapsat.");
}

QTreeWidgetItem* TFormObnova::BlockItem(std::uint16_t block) const {
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = TreeView1->topLevelItem(i);
        if (item->data(0, kBlockRole).toUInt() == block) return item;
    }
    return nullptr;
}

std::vector<std::uint16_t> TFormObnova::CheckedBlocks() const {
    std::vector<std::uint16_t> checked;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = TreeView1->topLevelItem(i);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState(0) == Qt::Checked)
            checked.push_back(static_cast<std::uint16_t>(item->data(0, kBlockRole).toUInt()));
    }
    return checked;
}

void TFormObnova::Button2Click() {
    if (calls_->InFlight() || !preview_ || written_) return;
    if (!kv::ConnectionUsable(settings_)) {
        StatusBar1->SetText(kv::kNotConnectedText);
        return;
    }
    const std::vector<kv::BackupBlock> targets = preview_->Targets(CheckedBlocks());
    if (targets.empty()) {
        StatusBar1->SetText("Není zaškrtnut žádný blok; nic se nezapíše.");
        return;
    }
    // What would cut the way to the module over the LAN is written only when confirmed.
    const std::vector<kv::Lockout> lockouts = kv::TargetLockouts(preview_->before, targets);
    if (!lockouts.empty()) {
        QString text;
        for (const kv::Lockout& lockout : lockouts)
            text += kvforms::ToQt(kv::LockoutText(lockout, false)) + QLatin1Char('\n');
        if (!confirmLockout || !confirmLockout(text.trimmed())) {
            StatusBar1->SetText(
                "Obnova odmítnuta: zápis by odřízl cestu k modulu přes LAN; nic nezapsáno.");
            return;
        }
        for (const kv::Lockout& lockout : lockouts) Say(kv::LockoutText(lockout, true));
    }
    const std::vector<kv::WriteStep> steps = kv::PlanWrites(targets, preview_->current);
    for (const kv::WriteStep& step : steps)
        if (step.parking) Say(kv::ParkingText(step));
    // Every block that would change starts as not written, the unchecked ones stay so.
    kv::ModuleRecord record =
        kv::RecordBefore(selected_, preview_->current, preview_->Targets(selected_));
    written_ = true;
    calls_->Run(
        [steps, current = preview_->current, record](
            kv::Connection& connection, const kv::StatusSink& status, const kv::StopAsked& stop) {
            WritesDone done;
            done.record = record;
            done.writing = kv::WriteSteps(
                connection.Link(), steps, current, stop,
                [&](const kv::WriteStep& step, const kv::StepOutcome& outcome) {
                    kv::RecordStep(done.record, step, outcome);
                    for (const std::string& line : kv::StepReports(step, outcome))
                        done.lines.push_back(line);
                    if (outcome.Done()) done.lines.push_back(kv::StepDoneText(step));
                    kv::ShowStatus(status, done.lines.back());
                },
                [&](const kv::WriteStep& step) { kv::RecordStart(done.record, step); });
            return done;
        },
        [this](const WritesDone& done) {
            for (const std::string& line : done.lines) Say(line);
            for (const kv::BlockRecord& block : done.record)
                if (QTreeWidgetItem* item = BlockItem(block.block))
                    item->setText(1, kvforms::ToQt(kv::StateText(block)));
            const std::string blocks = "Bloky: " + kv::RecordText(done.record);
            Say(blocks);
            StatusBar1->SetText((done.writing.end == kv::TransferEnd::kDone
                                     ? std::string("Obnova dokončena. ")
                                     : std::string("Obnova zastavena. ")) +
                                blocks);
            // The plan stands for the module as it was: read it again before more writes.
            Button2->setEnabled(false);
        });
}

void TFormObnova::Button3Click() {
    close();
}
