#pragma once

// The restore window: a backup file put back into the module. It reads the file and
// lists every mistake by its line; reads the module and shows the plan block by block and
// setting by setting, a check box per block that would change; "Zapsat" writes the
// checked blocks in the plan's order with read-back and shows each block's outcome.
// Nothing is written before the operator presses "Zapsat", and what would cut the way to
// the module over the LAN only once the operator has confirmed it as well.

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/RestorePreview.h"
#include "connection/ConnectionWorker.h"
#include "core/Dekl.h"
#include "forms/FormSupport.h"
#include "forms/ModuleCalls.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TFormObnova : public kvforms::FixedDialog {
    Q_OBJECT

  public:
    // The record belongs to the main window and outlives the window; `path` is the file.
    TFormObnova(kv::ConnectionSettings& settings, kv::ConnectionWorker& worker, const QString& path,
                QWidget* parent = nullptr);
    ~TFormObnova() override;

    // Reads the file and, when it can be restored, the module.
    void FormShow() override;
    void Button1Click();  // "Přečíst": the module read and the plan made again
    void Button2Click();  // "Zapsat"
    void Button3Click();  // "Zavřít"

    // Asks the operator to confirm writes that would cut the way to the module over the
    // LAN (the texts of what would follow); a question box unless a test answers.
    std::function<bool(const QString& text)> confirmLockout;

    // The item of a block in the plan, or nullptr.
    QTreeWidgetItem* BlockItem(std::uint16_t block) const;
    // The blocks whose check boxes are checked, in the plan's order.
    std::vector<std::uint16_t> CheckedBlocks() const;

    QLabel* Label1 = nullptr;  // "Soubor"
    QLabel* Soubor = nullptr;  // the file's path
    QLabel* Label2 = nullptr;  // "Záloha modulu"
    QLabel* Modul = nullptr;   // the file's module: identification and serial number
    QLabel* Label3 = nullptr;  // "Plán obnovy"
    QTreeWidget* TreeView1 = nullptr;
    QLabel* Label4 = nullptr;  // "Hlášení"
    QListWidget* ListBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    kvforms::StatusPanel* StatusBar1 = nullptr;

  private:
    bool ReadFile();
    void ShowProblems(const std::vector<kv::FileProblem>& problems);
    void ShowPlan();
    void Say(const std::string& line);

    kv::ConnectionSettings& settings_;
    kvforms::ModuleCalls* calls_ = nullptr;
    std::string path_;
    std::string source_;  // the file's name in the lines
    bool fileOk_ = false;
    kv::BackupDocument doc_;
    std::vector<std::uint16_t> selected_;
    std::optional<kv::RestorePreview> preview_;
    bool written_ = false;  // the plan was written: read again before the next write
};
