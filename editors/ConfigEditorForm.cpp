#include "editors/ConfigEditorForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace kvforms {
namespace {

constexpr int kStatusHeight = 22;

}  // namespace

ConfigEditorForm::ConfigEditorForm(const char* objectName, const kv::EditorSpec& spec,
                                   QSize clientArea, kv::ConnectionSettings& settings,
                                   kv::ConnectionWorker& worker, QWidget* parent)
    : FixedDialog(objectName, ToQt(spec.caption), clientArea, parent),
      session_(spec, &settings),
      fields_(spec.fields.size(), nullptr) {
    StatusBar1 = new StatusPanel(this);
    StatusBar1->setGeometry(0, clientArea.height() - kStatusHeight, clientArea.width(),
                            kStatusHeight);
    calls_ = new ModuleCalls(worker, StatusBar1->Sink(), this);
}

ConfigEditorForm::~ConfigEditorForm() = default;

QWidget* ConfigEditorForm::Field(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < fields_.size()
               ? fields_[static_cast<std::size_t>(index)]
               : nullptr;
}

void ConfigEditorForm::Register(int field, QWidget* control) {
    const kv::EditorField& f = Spec().fields.at(static_cast<std::size_t>(field));
    control->setObjectName(ToQt(f.control));
    control->setAccessibleName(ToQt(f.name));
    if (f.hidden) control->setVisible(false);
    fields_[static_cast<std::size_t>(field)] = control;
}

QLineEdit* ConfigEditorForm::AddEdit(int field, QWidget* parent, const QRect& geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(geometry);
    Register(field, edit);
    return edit;
}

QComboBox* ConfigEditorForm::AddList(int field, QWidget* parent, const QRect& geometry) {
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    list->setGeometry(geometry);
    for (const char* item : Spec().fields.at(static_cast<std::size_t>(field)).items)
        list->addItem(QString::fromUtf8(item));
    Register(field, list);
    // Only the operator's choice counts as a change; ZapisOkno fills the lists with the
    // signals blocked.
    if (field == Spec().modeField) {
        connect(list, &QComboBox::currentIndexChanged, this, &ConfigEditorForm::ComboBox1Change);
    }
    return list;
}

QLabel* ConfigEditorForm::AddLabel(const char* name, const QString& text, QWidget* parent,
                                   const QRect& geometry, int area, int buddyField) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (QWidget* buddy = Field(buddyField)) label->setBuddy(buddy);
    if (area != 0) AddToArea(label, area);
    return label;
}

std::array<ConfigEditorForm::UserRowControls, kv::kTableUsers> ConfigEditorForm::AddUserRows(
    const kv::UserRows& rows, QWidget* parent, const UserRowPlaces& places) {
    std::array<UserRowControls, kv::kTableUsers> out;
    for (int u = 0; u < kv::kTableUsers; ++u) {
        UserRowControls& row = out[static_cast<std::size_t>(u)];
        const int top = places.tops[u];
        for (int k = 0; k < 4; ++k)
            row.octets[k] = AddEdit(rows.Field(u, k), parent,
                                    QRect(places.octetLeft + places.octetStep * k, top,
                                          places.octetWidth, places.rowHeight));
        row.port =
            AddEdit(rows.Field(u, 4), parent, QRect(places.portLeft, top, 60, places.rowHeight));
        if (rows.fieldsPerUser > 5)
            row.access = AddList(rows.Field(u, 5), parent,
                                 QRect(places.portLeft, top, places.listWidth, places.rowHeight));
        row.heading = AddLabel(places.headingNames[u], QStringLiteral("Uživatel %1").arg(u + 1),
                               parent, QRect(12, top, places.octetLeft - 20, places.rowHeight),
                               places.area, rows.Field(u, 0));
    }
    return out;
}

QPushButton* ConfigEditorForm::AddButton(const char* name, const QString& text, Action action,
                                         const QRect& geometry) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    // Enter in a field must not write to the module.
    button->setAutoDefault(false);
    switch (action) {
        case Action::kRead:
            connect(button, &QPushButton::clicked, this, &ConfigEditorForm::PrectiClick);
            break;
        case Action::kWrite:
            connect(button, &QPushButton::clicked, this, &ConfigEditorForm::ZapisClick);
            break;
        case Action::kOk:
            connect(button, &QPushButton::clicked, this, &ConfigEditorForm::OkClick);
            break;
        case Action::kCancel:
            connect(button, &QPushButton::clicked, this, &ConfigEditorForm::CancelClick);
            break;
        case Action::kOwn:
            break;
    }
    return button;
}

ConfigEditorForm::ButtonRow ConfigEditorForm::AddButtonRow(int left, int top, const char* writeName,
                                                           const char* readName) {
    constexpr int kWidth = 80;
    constexpr int kStep = 88;
    constexpr int kHeight = 26;
    auto at = [&](int i) { return QRect(left + i * kStep, top, kWidth, kHeight); };
    const ButtonRow row{AddButton(writeName, QStringLiteral("Zapsat"), Action::kWrite, at(0)),
                        AddButton(readName, QStringLiteral("Přečíst"), Action::kRead, at(1)),
                        AddButton("Button3", QStringLiteral("Ok"), Action::kOk, at(2)),
                        AddButton("Button4", QStringLiteral("Cancel"), Action::kCancel, at(3))};
    calls_->Guard({row.write, row.read});
    return row;
}

void ConfigEditorForm::AddToArea(QWidget* control, int area) {
    areaControls_.emplace_back(control, area);
}

void ConfigEditorForm::TabChain(const std::vector<QWidget*>& order) {
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void ConfigEditorForm::FormShow() {
    if (!session_.Show()) return;
    ZapisOkno();
    StatusBar1->SetText(kv::kCheckPassedText);
}

void ConfigEditorForm::ZapisOkno() {
    const kv::FieldStates states = session_.Fields();
    for (std::size_t i = 0; i < fields_.size() && i < states.size(); ++i) {
        if (auto* edit = qobject_cast<QLineEdit*>(fields_[i])) {
            edit->setText(ToQt(states[i].text));
        } else if (auto* list = qobject_cast<QComboBox*>(fields_[i])) {
            const QSignalBlocker block(list);
            list->setCurrentIndex(states[i].position);
        }
    }
    ApplyEnabling(states);
}

void ConfigEditorForm::ApplyEnabling(const kv::FieldStates& states) {
    // Containers first: a control inside a disabled group reads as disabled whatever its
    // own state.
    for (const auto& [control, area] : areaControls_)
        control->setEnabled(kv::AreaEnabled(Spec(), session_.Copy(), area));
    for (std::size_t i = 0; i < fields_.size() && i < states.size(); ++i) {
        if (fields_[i] != nullptr) fields_[i]->setEnabled(states[i].enabled);
    }
}

kv::FieldStates ConfigEditorForm::FieldTexts() const {
    kv::FieldStates states(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (auto* edit = qobject_cast<QLineEdit*>(fields_[i])) {
            states[i].text = FromQt(edit->text());
        } else if (auto* list = qobject_cast<QComboBox*>(fields_[i])) {
            states[i].position = list->currentIndex();
        }
        states[i].enabled = fields_[i] != nullptr && fields_[i]->isEnabled();
    }
    return states;
}

namespace {

// What a block read on the worker gives back to the window.
struct BlockRead {
    kv::TransferOutcome transfer;
    kv::ConfigBlock block{};
};

// The record said the connection was usable, yet the worker found none (an initialisation
// dropped on its way): the window says so, as its own guard would have.
void SayIfNotConnected(const kv::TransferOutcome& transfer, const kv::StatusSink& status) {
    if (transfer.result == kv::TransferResult::kNotConnected)
        kv::ShowStatus(status, kv::kNotConnectedText);
}

}  // namespace

void ConfigEditorForm::PrectiClick() {
    if (calls_->InFlight()) return;
    if (session_.BeginRead(StatusBar1->Sink()).attempt != kv::EditorSession::Attempt::kDone) return;
    calls_->Run(
        [number = Spec().block](kv::Connection& connection, const kv::StatusSink& status,
                                const kv::StopAsked&) {
            BlockRead read;
            read.transfer = kv::ReadConfigBlock(connection.Link(), number, read.block, status);
            SayIfNotConnected(read.transfer, status);
            return read;
        },
        [this](const BlockRead& read) {
            if (read.transfer.result == kv::TransferResult::kNotConnected) return;
            session_.EndRead(read.transfer, read.block);
            // Also after a failed read: the fields show the editor copy, not what was typed.
            ZapisOkno();
        });
}

void ConfigEditorForm::ZapisClick() {
    if (calls_->InFlight()) return;
    kv::ConfigBlock block{};
    if (session_.BeginWrite(FieldTexts(), StatusBar1->Sink(), block).attempt !=
        kv::EditorSession::Attempt::kDone)
        return;
    calls_->Run(
        [number = Spec().block, block](kv::Connection& connection, const kv::StatusSink& status,
                                       const kv::StopAsked&) {
            const kv::TransferOutcome written =
                kv::WriteConfigBlock(connection.Link(), number, block, status);
            SayIfNotConnected(written, status);
            return written;
        },
        [](const kv::TransferOutcome&) {});
}

void ConfigEditorForm::OkClick() {
    if (session_.Confirm(FieldTexts(), StatusBar1->Sink())) accept();
}

void ConfigEditorForm::CancelClick() {
    reject();
}

void ConfigEditorForm::ComboBox1Change(int position) {
    session_.ChangeMode(position);
    ApplyEnabling(session_.Fields());
}

}  // namespace kvforms
