// The status picker: every status of the office's catalogue but "Offline",
// for the Custom Status command. The arrow keys browse the list; a click on
// a status, Enter or OK closes it with OK and that status. Its size and place are the workstation's own settings, kept
// from one run to the next.
#pragma once

#include "config/KivCB.h"
#include "gui/ItemLists.h"
#include "gui/KivDialog.h"
#include "gui/MessageBox.h"

#include <memory>
#include <string>

class IBoardWindow;
class QLineEdit;
class QListWidget;
class QPushButton;

class TfrmSelectStatus final : public TKivDialog {
    Q_OBJECT
public:
    /// Made once at program start over frmMain, at the size and place the
    /// settings keep for it.
    explicit TfrmSelectStatus(IBoardWindow &frmMain);
    /// Keeps the window's size and place in the settings for the next run.
    ~TfrmSelectStatus() override;

    /// The Custom Status command: the board timer rests while the picker is
    /// up; a status chosen is stored, blanks trimmed, as a status command
    /// stores its own.
    void ExecuteCustomStatus();

    /// The status chosen last, byte for byte (empty before the first choice).
    const std::string &SelectedStatus() const { return FSelectedStatus; }

    QListWidget *lbSelectStatus() const { return FList; }
    QLineEdit *txtSelectedStatus() const { return FSelected; }
    QPushButton *btnOk() const { return FOk; }
    QPushButton *btnClose() const { return FClose; }

    /// Design client area and the smallest the window may be made.
    static QSize DesignSize() { return {207, 243}; }
    static QSize SmallestSize() { return {198, 236}; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void lbSelectStatusClick();

    IBoardWindow &FMain;
    /// The window's own settings block.
    TKivCB FKivCB;
    TKivMessageBox FPrompter{this};
    QListWidget *FList = nullptr;
    std::unique_ptr<TListBoxItems> FItems;
    QLineEdit *FSelected = nullptr;
    QPushButton *FOk = nullptr;
    QPushButton *FClose = nullptr;
    std::string FSelectedStatus;
    bool FFilling = false;
};
