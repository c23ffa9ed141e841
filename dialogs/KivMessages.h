// The message dialog, in two modes chosen by its caption: "Send Message..."
// writes a message to the colleague of the board's focused row, and
// "Read Message..." shows a new message at start-up. While it is up the main
// window does not look for messages and Send Message is disabled. A message
// shown to read becomes "Old" however the dialog is left, unless its Delete
// erased it.
#pragma once

#include "board/Seams.h"
#include "gui/KivDialog.h"
#include "gui/MessageBox.h"

#include <string>

class IBoardWindow;
class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolBar;

class TfrmKivMessages final : public TKivDialog, public IReadDialog {
    Q_OBJECT
public:
    static constexpr const char *SendCaption = "Send Message...";
    static constexpr const char *ReadCaption = "Read Message...";
    /// The most characters of a subject and of a message's text.
    static constexpr int MaxLength = 255;

    /// Made once at program start over frmMain.
    explicit TfrmKivMessages(IBoardWindow &frmMain);

    /// The Send Message command: the names of both ends are looked up while
    /// the board timer rests, then the dialog is shown to write the message
    /// to the user of the board row that has the focus. A failed look-up is
    /// shown in an error box and the dialog is not shown.
    void ExecuteSendMessage();

    /// Read mode: shows message modally and returns once it is closed.
    void ShowModal(const TReadMessage &message) override;

    /// True while a message shown to read is to be marked old on closing.
    bool MarkOldOnClose = false;

    /// The recipient's login (send mode) and the shown message's record key
    /// (read mode), byte for byte.
    const std::string &ToComputerName() const { return FToLogin; }
    const std::string &MessagePrimaryKey() const { return FPrimaryKey; }

    QLabel *lblToStatic() const { return FToStatic; }
    QLabel *lblTo() const { return FTo; }
    QLabel *lblFromStatic() const { return FFromStatic; }
    QLabel *lblFrom() const { return FFrom; }
    QLabel *lblTimeStatic() const { return FTimeStatic; }
    QLabel *lblReceived() const { return FReceived; }
    QLineEdit *txtSubject() const { return FSubject; }
    QPlainTextEdit *MemoMessage() const { return FMemo; }
    QLabel *lblToComputerName() const { return FToComputerName; }
    QLabel *lblMessagePrimaryKey() const { return FPrimaryKeyLabel; }
    QAction *actSend() const { return FSend; }
    QAction *actDelete() const { return FDelete; }
    QAction *actCancel() const { return FCancel; }
    QToolBar *ToolBar() const { return FToolBar; }

    static QSize DesignSize() { return {447, 300}; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    /// Every way of closing the dialog, its close box too, comes here.
    void done(int result) override;

private:
    bool ReadMode() const;
    void SetToComputerName(const std::string &login);
    void SetPrimaryKey(const std::string &key);
    void actSendExecute();
    void actDeleteExecute();
    void KeepMemoWithinLength();

    IBoardWindow &FMain;
    TKivMessageBox FPrompter{this};
    QLabel *FToStatic = nullptr;
    QLabel *FTo = nullptr;
    QLabel *FFromStatic = nullptr;
    QLabel *FFrom = nullptr;
    QLabel *FTimeStatic = nullptr;
    QLabel *FReceived = nullptr;
    QLabel *FSubjectLabel = nullptr;
    QLineEdit *FSubject = nullptr;
    QLabel *FMemoLabel = nullptr;
    QPlainTextEdit *FMemo = nullptr;
    QLabel *FToComputerName = nullptr;
    QLabel *FPrimaryKeyLabel = nullptr;
    QToolBar *FToolBar = nullptr;
    QAction *FSend = nullptr;
    QAction *FDelete = nullptr;
    QAction *FCancel = nullptr;
    std::string FToLogin;
    std::string FPrimaryKey;
    bool FShowing = false;
    bool FTrimmingMemo = false;
};
