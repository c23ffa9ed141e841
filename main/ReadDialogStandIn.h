// A plain read-only window for the new messages shown at start-up: who sent
// the message, to whom and when, its subject and its text, and Close. Closing
// it marks the message old, as the send/read dialog does. It stands in for
// that dialog until the messaging dialogs exist.
#pragma once

#include "board/Seams.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TKivMessage;

class TReadDialogStandIn final : public QDialog, public IReadDialog {
public:
    /// messages answers the message store in which a closed message is
    /// marked old (null while there is none); prompter shows its failures.
    TReadDialogStandIn(std::function<TKivMessage *()> messages, IPrompter &prompter, QWidget *parent = nullptr);

    /// Shows message modally; once the user has closed it (Close, Esc or the
    /// close box), marks it old. A dialog ended because the program ends
    /// marks nothing: the user may not have read it.
    void ShowModal(const TReadMessage &message) override;

    /// The record key of the message shown last.
    const std::string &PrimaryKey() const { return FPrimaryKey; }
    QLabel *lblFrom() const { return FFrom; }
    QLabel *lblTo() const { return FTo; }
    QLabel *lblReceived() const { return FReceived; }
    QLineEdit *txtSubject() const { return FSubject; }
    QPlainTextEdit *MemoMessage() const { return FBody; }
    QPushButton *btnClose() const { return FClose; }

protected:
    void done(int result) override;

private:
    std::function<TKivMessage *()> FMessages;
    IPrompter &FPrompter;
    QLabel *FFrom = nullptr;
    QLabel *FTo = nullptr;
    QLabel *FReceived = nullptr;
    QLineEdit *FSubject = nullptr;
    QPlainTextEdit *FBody = nullptr;
    QPushButton *FClose = nullptr;
    std::string FPrimaryKey;
    bool FClosedByUser = false;
};
