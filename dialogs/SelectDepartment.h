// The department picker of the Filter on Department command: the arrow keys
// browse the list; a click on a department, Enter or OK narrows the board to
// it; Close, with nothing chosen, shows every department again. The window's own close box changes nothing.
#pragma once

#include "gui/ItemLists.h"
#include "gui/KivDialog.h"
#include "gui/MessageBox.h"

#include <memory>
#include <string>

class IBoardWindow;
class QLineEdit;
class QListWidget;
class QPushButton;

class TfrmSelectDepartment final : public TKivDialog {
    Q_OBJECT
public:
    /// Made once at program start over frmMain.
    explicit TfrmSelectDepartment(IBoardWindow &frmMain);

    /// The Filter on Department command: shows the picker, which sets the
    /// filter, the main window's caption and the board itself.
    void ExecuteFilterDepartment();

    /// The department chosen last, byte for byte.
    const std::string &SelectedDepartment() const { return FSelectedDepartment; }

    QListWidget *ListBoxSelectDepartment() const { return FList; }
    QLineEdit *txtSelectedDepartment() const { return FSelected; }
    QPushButton *btnOk() const { return FOk; }
    QPushButton *btnClose() const { return FClose; }

    static QSize DesignSize() { return {225, 237}; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void ListBoxSelectDepartmentClick();
    void btnCloseClick();

    IBoardWindow &FMain;
    TKivMessageBox FPrompter{this};
    QListWidget *FList = nullptr;
    std::unique_ptr<TListBoxItems> FItems;
    QLineEdit *FSelected = nullptr;
    QPushButton *FOk = nullptr;
    QPushButton *FClose = nullptr;
    std::string FSelectedDepartment;
    bool FFilling = false;
};
