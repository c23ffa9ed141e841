#include "dialogs/KivMessages.h"

#include "board/KivBoard.h"
#include "board/KivMessage.h"
#include "gui/BoardList.h"
#include "gui/BoardWindow.h"
#include "gui/DialogSupport.h"
#include "gui/KivImages.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

constexpr int SendImage = 18;
constexpr int DeleteImage = 19;
constexpr int CancelImage = 20;

/// A label that shows what people typed: never read as markup.
QLabel *NewLabel(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

/// The bytes one UTF-16 unit of a text takes as it is stored: UTF-8 (each
/// half of a surrogate pair half of its four bytes), a line break being a
/// carriage return and a line feed.
int StoredBytes(QChar c)
{
    if (c == QLatin1Char('\n') || c.isSurrogate())
        return 2;
    return c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 ? 2 : 3;
}

/// The length of a text as it is stored, in bytes: the fields hold bytes,
/// and a text cut there would lose its end without a word.
int StoredLength(const QString &text)
{
    int length = 0;
    for (const QChar c : text)
        length += StoredBytes(c);
    return length;
}

} // namespace

TfrmKivMessages::TfrmKivMessages(IBoardWindow &frmMain)
    : TKivDialog(&frmMain.Widget(), "frmKivMessages", QString::fromLatin1(SendCaption), DesignSize(), TFrame::Fixed),
      FMain(frmMain)
{
    AddHelpKey(*this, "Messages");
    UseOwnersFont(*this);
    const TKivImageList &images = FMain.imgSmallPics();

    FSend = new QAction(images.Icon(SendImage), QStringLiteral("&Send"), this);
    FSend->setObjectName(QStringLiteral("actSend"));
    FSend->setToolTip(QStringLiteral("Send message"));
    FSend->setStatusTip(QStringLiteral("Send message"));
    FSend->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(FSend, &QAction::triggered, this, &TfrmKivMessages::actSendExecute);
    FDelete = new QAction(images.Icon(DeleteImage), QStringLiteral("Delete"), this);
    FDelete->setObjectName(QStringLiteral("actDelete"));
    FDelete->setToolTip(QStringLiteral("Delete message"));
    FDelete->setStatusTip(QStringLiteral("Delete message"));
    connect(FDelete, &QAction::triggered, this, &TfrmKivMessages::actDeleteExecute);
    // Cancel has no button; Esc runs it, and only while it is enabled.
    FCancel = new QAction(images.Icon(CancelImage), QStringLiteral("&Cancel"), this);
    FCancel->setObjectName(QStringLiteral("actCancel"));
    FCancel->setToolTip(QStringLiteral("Retain message"));
    FCancel->setStatusTip(QStringLiteral("Retain message"));
    connect(FCancel, &QAction::triggered, this, [this] { reject(); });
    addAction(FSend);
    addAction(FDelete);
    addAction(FCancel);

    FToolBar = new QToolBar(this);
    FToolBar->setObjectName(QStringLiteral("ToolBar1"));
    FToolBar->setIconSize(TKivImageList::ImageSize());
    FToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FToolBar->addAction(FSend);
    FToolBar->addAction(FDelete);

    FToStatic = NewLabel(this, "lblToStatic", QStringLiteral("To :"));
    FTo = NewLabel(this, "lblTo");
    FFromStatic = NewLabel(this, "lblFromStatic", QStringLiteral("From :"));
    FFrom = NewLabel(this, "lblFrom");
    FTimeStatic = NewLabel(this, "lblTimeStatic", QStringLiteral("Created:"));
    FReceived = NewLabel(this, "lblReceived");
    FToComputerName = NewLabel(this, "lblToComputerName");
    FToComputerName->hide();
    FPrimaryKeyLabel = NewLabel(this, "lblMessagePrimaryKey");
    FPrimaryKeyLabel->hide();

    FSubjectLabel = NewLabel(this, "lblSubject", QStringLiteral("Subject"));
    FSubject = new QLineEdit(this);
    FSubject->setObjectName(QStringLiteral("txtSubject"));
    LimitToBytes(*FSubject, MaxLength);
    FSubjectLabel->setBuddy(FSubject);
    FMemoLabel = NewLabel(this, "lblMessage", QStringLiteral("Message..."));
    FMemo = new QPlainTextEdit(this);
    FMemo->setObjectName(QStringLiteral("MemoMessage"));
    FMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FMemo->setTabChangesFocus(true);
    FMemoLabel->setBuddy(FMemo);
    connect(FMemo, &QPlainTextEdit::textChanged, this, &TfrmKivMessages::KeepMemoWithinLength);

    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto *lines = new QGridLayout;
    lines->setHorizontalSpacing(8);
    lines->setVerticalSpacing(2);
    lines->addWidget(FToStatic, 0, 0);
    lines->addWidget(FTo, 0, 1);
    lines->addWidget(FFromStatic, 1, 0);
    lines->addWidget(FFrom, 1, 1);
    lines->addWidget(FTimeStatic, 2, 0);
    lines->addWidget(FReceived, 2, 1);
    lines->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->setSpacing(4);
    layout->setMenuBar(FToolBar);
    layout->addLayout(lines);
    layout->addWidget(rule);
    layout->addWidget(FSubjectLabel);
    layout->addWidget(FSubject);
    layout->addWidget(FMemoLabel);
    layout->addWidget(FMemo, 1);
}

bool TfrmKivMessages::ReadMode() const
{
    return windowTitle() == QLatin1String(ReadCaption);
}

void TfrmKivMessages::SetToComputerName(const std::string &login)
{
    FToLogin = login;
    FToComputerName->setText(Shown(login));
}

void TfrmKivMessages::SetPrimaryKey(const std::string &key)
{
    FPrimaryKey = key;
    FPrimaryKeyLabel->setText(Shown(key));
}

void TfrmKivMessages::ExecuteSendMessage()
{
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    QTreeWidget *list = FMain.lvMain();
    QTreeWidgetItem *focused = list->currentItem();
    if (focused == nullptr && !list->selectedItems().isEmpty())
        focused = list->selectedItems().first();
    const int index = focused != nullptr ? list->indexOfTopLevelItem(focused) : -1;
    if (index < 0)
        return;
    const std::string recipient = FMain.Board().Row(index).SubItems[TBoardRow::Login];

    std::optional<std::string> failure;
    try {
        const TTimerPauseScope pause(FMain, PausedTimer::Board);
        TKivMessage &messages = kiv->Messages();
        setWindowTitle(QString::fromLatin1(SendCaption));
        FFrom->setText(ShownIsolated(messages.LookUpUserName(kiv->KivFile().LoginUser.LogInName)));
        FTo->setText(ShownIsolated(messages.LookUpUserName(recipient)));
        SetToComputerName(recipient);
        FReceived->setText(Shown(MessageNowText(kiv->Context().Clock)));
    } catch (const EKivError &error) {
        failure = error.what();
    }
    // The board is refreshed again before any box (the pause ended with the
    // look-ups); a failed look-up ends the command there.
    if (failure) {
        FPrompter.Show(*failure, TMsgIcon::Error, TMsgButtons::Ok);
        return;
    }
    exec();
}

void TfrmKivMessages::ShowModal(const TReadMessage &message)
{
    // Once the program is ending nobody is there to read the rest.
    if (FMain.Ending())
        return;
    setWindowTitle(Shown(message.Caption));
    SetPrimaryKey(message.PrimaryKey);
    FFrom->setText(ShownIsolated(message.FromName));
    FTo->setText(ShownIsolated(message.ToName));
    FReceived->setText(Shown(message.Received));
    FSubject->setText(Shown(message.Subject));
    FSubject->setCursorPosition(0);
    FTrimmingMemo = true;
    FMemo->setPlainText(TKivMessageBox::DisplayText(message.Body));
    FTrimmingMemo = false;
    exec();
}

void TfrmKivMessages::showEvent(QShowEvent *event)
{
    TKivDialog::showEvent(event);
    // Coming back from a minimised window is no new showing.
    if (event->spontaneous())
        return;
    FShowing = true;
    FMain.PauseTimers(PausedTimer::Messages);
    FMain.SetSendMessageHeld(true);
    if (windowTitle() == QLatin1String(SendCaption)) {
        FSend->setEnabled(true);
        FDelete->setEnabled(false);
        FCancel->setEnabled(false);
        FSubject->clear();
        FMemo->clear();
        FSubject->setFocus();
        FTimeStatic->setText(QStringLiteral("Created:"));
    } else if (ReadMode()) {
        MarkOldOnClose = true;
        FSend->setEnabled(false);
        FDelete->setEnabled(true);
        FCancel->setEnabled(true);
        FTimeStatic->setText(QStringLiteral("Received:"));
    }
}

void TfrmKivMessages::done(int result)
{
    if (FShowing && ReadMode()) {
        if (TKivBoard *kiv = FMain.KivBoard()) {
            TKivMessage &messages = kiv->Messages();
            if (MarkOldOnClose)
                ShowingErrors(FPrompter, [&] { messages.MarkMessageOld(FPrimaryKey); });
            if (!messages.NewMessageWaiting())
                FMain.StopNewMailAnimation();
        }
    }
    TKivDialog::done(result);
}

void TfrmKivMessages::hideEvent(QHideEvent *event)
{
    TKivDialog::hideEvent(event);
    // Hidden in every way of closing, the program's end too: the main
    // window looks for messages again and may send them.
    if (event->spontaneous() || !FShowing)
        return;
    FShowing = false;
    FMain.ResumeTimers(PausedTimer::Messages);
    FMain.SetSendMessageHeld(false);
}

void TfrmKivMessages::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        FCancel->trigger();
        return;
    }
    TKivDialog::keyPressEvent(event);
}

void TfrmKivMessages::actSendExecute()
{
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    // Line breaks are stored as a carriage return and a line feed.
    QString body = FMemo->toPlainText();
    body.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    // A failed send keeps the dialog open with what was typed.
    if (!ShowingErrors(FPrompter, [&] {
            kiv->Messages().SendUserMessage(FToLogin, kiv->KivFile().LoginUser.LogInName, Bytes(FSubject->text()),
                                            Bytes(body));
        }))
        return;
    accept();
}

void TfrmKivMessages::actDeleteExecute()
{
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    if (!ShowingErrors(FPrompter, [&] { kiv->Messages().DeleteMessage(FPrimaryKey); }))
        return;
    MarkOldOnClose = false;
    accept();
}

void TfrmKivMessages::KeepMemoWithinLength()
{
    if (FTrimmingMemo)
        return;
    const QString text = FMemo->toPlainText();
    int excess = StoredLength(text) - MaxLength;
    if (excess <= 0)
        return;
    // What was typed or pasted last, just before the cursor, goes.
    QTextCursor cursor = FMemo->textCursor();
    const int end = cursor.position();
    int start = end;
    while (start > 0 && excess > 0) {
        --start;
        excess -= StoredBytes(text.at(start));
        if (start > 0 && text.at(start).isLowSurrogate() && text.at(start - 1).isHighSurrogate()) {
            --start;
            excess -= StoredBytes(text.at(start));
        }
    }
    FTrimmingMemo = true;
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    FMemo->setTextCursor(cursor);
    FTrimmingMemo = false;
    // Text past the cursor (typed into the middle of a full text) is cut
    // from the end.
    if (StoredLength(FMemo->toPlainText()) > MaxLength) {
        FTrimmingMemo = true;
        QString kept = FMemo->toPlainText();
        while (!kept.isEmpty() && StoredLength(kept) > MaxLength)
            kept.chop(kept.size() > 1 && kept.back().isLowSurrogate() ? 2 : 1);
        FMemo->setPlainText(kept);
        FMemo->moveCursor(QTextCursor::End);
        FTrimmingMemo = false;
    }
}
