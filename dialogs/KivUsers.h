// TfrmKivUsers, "Administer Kiv Users": an administrator picks a user from
// the list and changes that user's name, status, department, comment,
// extension and administrator right, or deletes the user. Users are not
// created here: a login gets its record when it first starts Kiv on the board.
//
// Every change goes to the users dataset at once, one user at a time; there
// is nothing pending and no undo. A failed operation is shown in an error box
// and leaves the fields as they were at that moment.
#pragma once

#include "gui/DialogSupport.h"
#include "gui/ItemLists.h"
#include "gui/KivDialog.h"
#include "gui/MessageBox.h"

class IBoardWindow;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class TKivBoard;

class TfrmKivUsers : public TKivDialog {
    Q_OBJECT
public:
    /// The dialog over the main window, whose board it administers.
    explicit TfrmKivUsers(IBoardWindow &frmMain);

    /// The Users command: shows the dialog modally and returns once it is closed.
    void ShowModal();

    /// Loads the user selected in lbUsers into the fields; does nothing
    /// while no user is selected.
    void ReadUser();
    /// Decides which actions are enabled, as the idle update does.
    void UpdateActions();

    QListWidget *lbUsers() const { return FUsersList; }
    QLineEdit *txtName() const { return FName; }
    QLineEdit *txtStatus() const { return FStatusText; }
    QComboBox *cboStatus() const { return FStatusCombo; }
    QLineEdit *txtDepartment() const { return FDepartmentText; }
    QComboBox *cboDepartment() const { return FDepartmentCombo; }
    QLineEdit *txtUserName() const { return FUserName; }
    QLineEdit *txtComments() const { return FComments; }
    QToolButton *BitBtnClear() const { return FClear; }
    QLineEdit *txtExtension() const { return FExtension; }
    QCheckBox *chkboxAdministrator() const { return FAdministrator; }
    QPushButton *btnHelp() const { return FHelp; }
    QPushButton *btnUpdate() const { return FUpdate; }
    QPushButton *btnDelete() const { return FDelete; }
    QPushButton *btnCancel() const { return FCancel; }
    QAction *actUpdate() const { return FActUpdate; }
    QAction *actDelete() const { return FActDelete; }
    QAction *actClose() const { return FActClose; }

    /// The list and the combos as the data classes fill them.
    TListBoxItems &Users() { return FUsers; }
    TComboItems &Statuses() { return FStatuses; }
    TComboItems &Departments() { return FDepartments; }

    /// Design size of the client area, and the help topic.
    static QSize DesignSize() { return {382, 327}; }
    static constexpr const char *HelpTopic = "Administer_Users";

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void CreateControls();
    QLabel *NewLabel(const QString &caption, QWidget *buddy, int top);
    void FormShow();
    /// Empties every field and selects nothing in the combos.
    void EmptyFields();
    void actUpdateExecute();
    void actDeleteExecute();
    void FillUsers(TKivBoard &board);
    void ShowHelp();

    IBoardWindow &FMain;
    TKivMessageBox FPrompter{this};
    TAnchors FAnchors{DesignSize()};

    // The controls, the list and combos first: their item lists are made over them.
    QListWidget *FUsersList;
    QComboBox *FStatusCombo;
    QComboBox *FDepartmentCombo;
    TListBoxItems FUsers;
    TComboItems FStatuses;
    TComboItems FDepartments;
    QLineEdit *FName = nullptr;
    QLineEdit *FStatusText = nullptr;
    QLineEdit *FDepartmentText = nullptr;
    QLineEdit *FUserName = nullptr;
    QLineEdit *FComments = nullptr;
    QToolButton *FClear = nullptr;
    QLineEdit *FExtension = nullptr;
    QCheckBox *FAdministrator = nullptr;
    /// The right of the user last read, as stored.
    bool FReadAdministrator = false;
    QPushButton *FHelp = nullptr;
    QPushButton *FUpdate = nullptr;
    QPushButton *FDelete = nullptr;
    QPushButton *FCancel = nullptr;
    QAction *FActUpdate = nullptr;
    QAction *FActDelete = nullptr;
    QAction *FActClose = nullptr;
};
