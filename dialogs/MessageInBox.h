// The in-box: the signed-in user's messages, newest first, the text of the
// clicked message below the list, the counts in the status bar, and Delete.
// While it is up the main window neither refreshes the board nor looks for
// messages.
#pragma once

#include "board/Seams.h"
#include "gui/KivDialog.h"
#include "gui/MessageBox.h"

class IBoardWindow;
class QAction;
class QLabel;
class QMenuBar;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmKivMessageInBox final : public TKivDialog, public IInBox {
    Q_OBJECT
public:
    /// Columns of the list, in order.
    enum Column { colFrom, colSubject, colType, colPrimaryKey, colReceived, ColumnCount };
    /// The question Delete asks.
    static constexpr const char *DeleteQuestion = "Are you sure you want to delete the selected message?";

    /// Made once at program start over frmMain.
    explicit TfrmKivMessageInBox(IBoardWindow &frmMain);

    /// The View My InBox command: says so in the main window's status bar,
    /// then shows the in-box.
    void ExecuteViewInBox();
    /// A double-click on the notification-area icon: the in-box, when a new
    /// message waits (the icon animates) and neither message window is up.
    /// messages is the message dialog.
    void TrayIconDoubleClick(const QWidget &messages);

    // IInBox: how the message store fills the window.
    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    void AddRow(const TInBoxRow &row) override;
    void SetPanelText(int panel, const std::string &text) override;
    void SetMessageText(const std::string &text) override;

    /// Text of panel 0, 1 or 2 of the status bar.
    QString PanelText(int panel) const;

    QTreeWidget *ListViewInBox() const { return FList; }
    QPlainTextEdit *memoMessageConntent() const { return FMemo; }
    QSplitter *Splitter() const { return FSplitter; }
    QStatusBar *StatusBarMain() const { return FStatusBar; }
    QMenuBar *MainMenu() const { return FMenuBar; }
    QToolBar *ToolBar() const { return FToolBar; }
    QAction *actDeleteMessage() const { return FDeleteMessage; }
    QAction *actFileExit() const { return FFileExit; }

    static QSize DesignSize() { return {488, 368}; }
    /// Share of the height the list takes above the splitter, in per cent.
    static constexpr int ListShare = 69;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void ListViewInBoxClick();
    void actDeleteMessageExecute();
    void UpdateActions();
    /// The row the user worked on last: the focused row, if any.
    QTreeWidgetItem *FocusedRow() const;

    IBoardWindow &FMain;
    TKivMessageBox FPrompter{this};
    QMenuBar *FMenuBar = nullptr;
    QToolBar *FToolBar = nullptr;
    QSplitter *FSplitter = nullptr;
    QTreeWidget *FList = nullptr;
    QPlainTextEdit *FMemo = nullptr;
    QStatusBar *FStatusBar = nullptr;
    QLabel *FPanels[3] = {};
    QAction *FDeleteMessage = nullptr;
    QAction *FFileExit = nullptr;
    int FUpdateDepth = 0;
    bool FShowing = false;
    bool FShownOnce = false;
};
