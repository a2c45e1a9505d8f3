#pragma once

// The window side of every configuration editor: a fixed dialog whose fields follow the
// editor's table, the one-panel status bar, the four buttons and the connection guard.
// The editor's own form only places its controls; the texts, checks, transfers and
// enabling rule come from the core. The transfers run on the connection's worker: while
// one is out, "Přečíst" and "Zapsat" are disabled and the window goes on answering.

#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <utility>
#include <vector>

#include "connection/ConnectionWorker.h"
#include "core/Dekl.h"
#include "editors/ConfigEditor.h"
#include "editors/UserTable.h"
#include "forms/FormSupport.h"
#include "forms/ModuleCalls.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvforms {

class ConfigEditorForm : public FixedDialog {
    Q_OBJECT

  public:
    ConfigEditorForm(const char* objectName, const kv::EditorSpec& spec, QSize clientArea,
                     kv::ConnectionSettings& settings, kv::ConnectionWorker& worker,
                     QWidget* parent);
    ~ConfigEditorForm() override;

    // Shared image -> editor copy -> fields, status " ".
    void FormShow() override;
    // Editor copy -> fields, then the enabling rule.
    void ZapisOkno();
    // What the fields hold now, in the editor's field order.
    kv::FieldStates FieldTexts() const;

    void PrectiClick();  // "Přečíst"
    void ZapisClick();   // "Zapsat"
    void OkClick();      // "Ok"
    void CancelClick();  // "Cancel"
    void ComboBox1Change(int position);

    const kv::ModuleConfig& EditorCopy() const { return session_.Copy(); }
    QWidget* Field(int index) const;

    StatusPanel* StatusBar1 = nullptr;

  protected:
    // kOwn: the form connects the button itself.
    enum class Action { kRead, kWrite, kOk, kCancel, kOwn };

    kv::EditorSession& Session() { return session_; }
    const kv::EditorSpec& Spec() const { return session_.Spec(); }

    // The field's control, named and announced as the table says, list entries filled.
    QLineEdit* AddEdit(int field, QWidget* parent, const QRect& geometry);
    QComboBox* AddList(int field, QWidget* parent, const QRect& geometry);
    // A heading; with a buddy field it names that field for the keyboard.
    QLabel* AddLabel(const char* name, const QString& text, QWidget* parent, const QRect& geometry,
                     int area = 0, int buddyField = -1);
    QPushButton* AddButton(const char* name, const QString& text, Action action,
                           const QRect& geometry);
    // The bottom row every editor has: "Zapsat", "Přečíst", "Ok" (Button3) and "Cancel"
    // (Button4) from left to right; the editor names its write and read buttons.
    struct ButtonRow {
        QPushButton* write;
        QPushButton* read;
        QPushButton* ok;
        QPushButton* cancel;
    };
    ButtonRow AddButtonRow(int left, int top, const char* writeName, const char* readName);
    // Where the three user rows of an access table stand.
    struct UserRowPlaces {
        int octetLeft;
        int octetStep;
        int octetWidth;
        const int* tops;  // one per user
        int portLeft;     // the port box, hidden; an access list stands there too
        int listWidth;    // of the access list, where the rows have one
        int rowHeight;
        int area;
        const char* const* headingNames;  // one per user
    };
    struct UserRowControls {
        QLabel* heading = nullptr;
        QLineEdit* octets[4] = {};
        QLineEdit* port = nullptr;
        QComboBox* access = nullptr;  // with six fields per user
    };
    // Per user, as the rows place them in the field table: four octet boxes, the port
    // box, the access list where there is one, and the heading "Uživatel n" that names
    // the first octet box.
    std::array<UserRowControls, kv::kTableUsers> AddUserRows(const kv::UserRows& rows,
                                                             QWidget* parent,
                                                             const UserRowPlaces& places);
    // A control that is not a field but follows the enabling rule of an area.
    void AddToArea(QWidget* control, int area);
    void TabChain(const std::vector<QWidget*>& order);

  private:
    void Register(int field, QWidget* control);
    // The enabling rule, with the fields as ZapisOkno shows the editor copy.
    void ApplyEnabling(const kv::FieldStates& states);

    kv::EditorSession session_;
    ModuleCalls* calls_ = nullptr;
    std::vector<QWidget*> fields_;
    std::vector<std::pair<QWidget*, int>> areaControls_;
};

}  // namespace kvforms
