// The message dialog in both its modes, the in-box and the alert commands,
// run from the main window over a temporary board.
#include "tests/dialogs/DialogTesting.h"

#include "board/MessageRecord.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>

namespace {

class MessagingTest : public TDialogsTest {
protected:
    void SetUp() override
    {
        AddUser("ANNA", "Anna Smith");
        AddUser("BOB", "Bob Jones");
    }
    TfrmKivMessages &Dialog() const { return Windows->frmKivMessages; }
    TfrmKivMessageInBox &InBox() const { return Windows->frmKivMessageInBox; }
    std::string MyName() const { return StoredUser(Me).Name; }
};

} // namespace

TEST_F(MessagingTest, InSendModeOnlySendOrTheCloseBoxEndsTheDialogAndClosingStoresNothing)
{
    StartWithDialogs();
    SelectBoardRow("ANNA");
    WhenModal(Dialog(), [&] {
        EXPECT_EQ(Dialog().windowTitle(), QStringLiteral("Send Message..."));
        EXPECT_EQ(Dialog().lblTo()->text(), QStringLiteral("\u2068Anna Smith\u2069"));
        EXPECT_EQ(Dialog().lblFrom()->text().toStdString(), "\u2068" + MyName() + "\u2069");
        EXPECT_EQ(Dialog().lblToComputerName()->text(), QStringLiteral("ANNA"));
        EXPECT_EQ(Dialog().lblTimeStatic()->text(), QStringLiteral("Created:"));
        EXPECT_FALSE(Dialog().lblReceived()->text().isEmpty());
        EXPECT_TRUE(Dialog().actSend()->isEnabled());
        EXPECT_FALSE(Dialog().actDelete()->isEnabled());
        EXPECT_FALSE(Dialog().actCancel()->isEnabled());
        EXPECT_EQ(Dialog().focusWidget(), Dialog().txtSubject());
        // The main window neither looks for messages nor sends one meanwhile.
        EXPECT_FALSE(Window->tmrCheckForMessages()->isActive());
        EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
        Window->ActionListUpdate();
        EXPECT_FALSE(Window->actSendMessage()->isEnabled());

        QTest::keyClicks(Dialog().txtSubject(), QStringLiteral("Lunch"));
        QTest::keyClick(&Dialog(), Qt::Key_Escape);
        QTest::keyClick(Dialog().txtSubject(), Qt::Key_Return);
        EXPECT_TRUE(Dialog().isVisible());
        Dialog().close();
    });
    Window->ExecuteAction(TKivAction::SendMessage);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_TRUE(InBoxOf("ANNA").Rows.empty());
    EXPECT_TRUE(Window->tmrCheckForMessages()->isActive());
    EXPECT_TRUE(Window->actSendMessage()->isEnabled());

    // The next showing starts empty; Send (Ctrl+S) stores and closes.
    WhenModal(Dialog(), [&] {
        EXPECT_TRUE(Dialog().txtSubject()->text().isEmpty());
        QTest::keyClicks(Dialog().txtSubject(), QStringLiteral("Lunch?"));
        QTest::keyClicks(Dialog().MemoMessage(), QStringLiteral("At one"));
        QTest::keyClick(Dialog().MemoMessage(), Qt::Key_Return);
        QTest::keyClicks(Dialog().MemoMessage(), QStringLiteral("downstairs"));
        QTest::keyClick(&Dialog(), Qt::Key_S, Qt::ControlModifier);
    });
    Window->ExecuteAction(TKivAction::SendMessage);
    EXPECT_FALSE(Dialog().isVisible());
    const TFakeInBox anna = InBoxOf("ANNA");
    ASSERT_EQ(anna.Rows.size(), 1u);
    EXPECT_EQ(anna.Rows[0].SubItems[TInBoxRow::Subject], "Lunch?");
    EXPECT_EQ(anna.Rows[0].SubItems[TInBoxRow::Type], "New");
    EXPECT_EQ(anna.Rows[0].Caption, MyName());
    TFakeInBox body;
    TFakeBoard fakes;
    TKivFile annaFile(Board, fakes.Ctx, "ANNA");
    TKivMessage(annaFile).ShowMessageBody(anna.Rows[0].SubItems[TInBoxRow::PrimaryKey], body);
    EXPECT_EQ(body.MessageText, "At one\r\ndownstairs");
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

// The field holds bytes: a text of characters beyond ASCII is held to what
// the field stores whole, so the recipient never gets its end cut off (the
// subject with every other edit in KivDialogTest).
TEST_F(MessagingTest, TheMessageIsHeldToTheBytesItsFieldStores)
{
    StartWithDialogs();
    const QString accented(300, QChar(0x00E9)); // two bytes each
    Dialog().MemoMessage()->setPlainText(QStringLiteral("\u20AC\n") + accented);
    // The euro sign takes three bytes and the line break two.
    EXPECT_EQ(Dialog().MemoMessage()->toPlainText(), QStringLiteral("\u20AC\n") + QString(125, QChar(0x00E9)));
}

TEST_F(MessagingTest, AVanishedRecipientKeepsTheSendDialogOpenWithTheTypedText)
{
    StartWithDialogs();
    SelectBoardRow("BOB");
    WhenModal(Dialog(), [&] {
        QTest::keyClicks(Dialog().txtSubject(), QStringLiteral("Report"));
        QTest::keyClicks(Dialog().MemoMessage(), QStringLiteral("Where is it?"));
        // Deleted by an administrator after the board was drawn.
        TFakeBoard fakes;
        TKivFile admin(Board, fakes.Ctx, "ANNA");
        for (const TStoredUser &user : StoredUsers(Board))
            if (user.User.LogInName == "BOB")
                admin.DeleteUser(std::stoi(user.Key));
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
        Dialog().actSend()->trigger();
        EXPECT_TRUE(
            TKivMessageBox::LastAnsweredText().startsWith(QStringLiteral("Unable to find BOB in Users Databse!\n\n")));
        EXPECT_TRUE(Dialog().isVisible());
        EXPECT_EQ(Dialog().txtSubject()->text(), QStringLiteral("Report"));
        EXPECT_EQ(Dialog().MemoMessage()->toPlainText(), QStringLiteral("Where is it?"));
        Dialog().close();
    });
    Window->ExecuteAction(TKivAction::SendMessage);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(TKivMessageBox::AnsweredTexts().size(), 1);

    // A recipient gone before the names are looked up: the box, no dialog,
    // and the board refreshed again.
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Window->ExecuteAction(TKivAction::SendMessage);
    EXPECT_TRUE(TKivMessageBox::LastAnsweredText().startsWith(QStringLiteral("Unable to locate User")));
    EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(MessagingTest, NewMessagesAtStartAreReadOneAfterAnotherAndDeleteMarksNothing)
{
    AddUser(Me, "Me");
    Send("ANNA", Me, "First", "One\r\ntwo");
    Send("BOB", Me, "Second", "Three");
    Send("ANNA", Me, "Third", "Four");
    QStringList shown;
    int showing = 0;
    // Each message is read and left a different way: the close box, Esc
    // (Cancel), Delete.
    std::function<void()> read = [&] {
        TfrmKivMessages &dialog = Dialog();
        shown << dialog.windowTitle() + " " + dialog.txtSubject()->text() + " from " + dialog.lblFrom()->text() + ": "
                     + dialog.MemoMessage()->toPlainText();
        EXPECT_EQ(dialog.lblTimeStatic()->text(), QStringLiteral("Received:"));
        EXPECT_FALSE(dialog.actSend()->isEnabled());
        EXPECT_TRUE(dialog.actDelete()->isEnabled());
        EXPECT_TRUE(dialog.MarkOldOnClose);
        EXPECT_TRUE(Window->StTrayIcon()->Animating());
        switch (showing++) {
        case 0:
            dialog.close();
            break;
        case 1:
            QTest::keyClick(&dialog, Qt::Key_Escape);
            break;
        default:
            dialog.actDelete()->trigger();
            break;
        }
        if (showing < 3)
            WhenModal(dialog, read);
    };
    PointAtBoard();
    Create();
    Windows = std::make_unique<TKivWindows>(*Window);
    WhenModal(Dialog(), read);
    Window->FormActivate();

    EXPECT_EQ(shown, (QStringList{"Read Message... First from \u2068Anna Smith\u2069: One\ntwo",
                                  "Read Message... Second from \u2068Bob Jones\u2069: Three",
                                  "Read Message... Third from \u2068Anna Smith\u2069: Four"}));
    const TFakeInBox mine = InBoxOf(Me);
    ASSERT_EQ(mine.Rows.size(), 2u);
    EXPECT_EQ(mine.Column(TInBoxRow::Subject), (std::vector<std::string>{"Second", "First"}));
    EXPECT_EQ(mine.Column(TInBoxRow::Type), (std::vector<std::string>{"Old", "Old"}));
    EXPECT_FALSE(Window->StTrayIcon()->Animating());
    EXPECT_TRUE(Window->tmrCheckForMessages()->isActive());
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(MessagingTest, TheInBoxListsNewestFirstAndARowClickShowsTheTextAndMarksItOld)
{
    StartWithDialogs();
    Send("ANNA", Me, "First", "Text one");
    Send("BOB", Me, "Second", "Text two");
    Send("ANNA", "BOB", "Not yours", "For Bob");
    Send("ANNA", Me, "Third", "Text three");
    // As the message timer leaves it on finding them.
    Window->StTrayIcon()->StartAnimation();
    QTreeWidget &list = *InBox().ListViewInBox();
    auto column = [&](int c) {
        QStringList texts;
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            texts << list.topLevelItem(i)->text(c);
        return texts;
    };
    auto panels = [&] { return QStringList{InBox().PanelText(0), InBox().PanelText(1), InBox().PanelText(2)}; };

    WhenModal(InBox(), [&] {
        EXPECT_FALSE(Window->tmrUpdateListView()->isActive());
        EXPECT_FALSE(Window->tmrCheckForMessages()->isActive());
        EXPECT_TRUE(Window->StatusText().isEmpty());
        EXPECT_EQ(column(TfrmKivMessageInBox::colSubject), (QStringList{"Third", "Second", "First"}));
        EXPECT_EQ(column(TfrmKivMessageInBox::colFrom), (QStringList{"Anna Smith", "Bob Jones", "Anna Smith"}));
        EXPECT_EQ(column(TfrmKivMessageInBox::colType), (QStringList{"New", "New", "New"}));
        EXPECT_TRUE(list.isColumnHidden(TfrmKivMessageInBox::colPrimaryKey));
        EXPECT_EQ(panels(), (QStringList{"New messages = 3", "Old messages = 0", "Total messages = 3"}));
        EXPECT_FALSE(InBox().actDeleteMessage()->isEnabled());
        const QList<int> heights = InBox().Splitter()->sizes();
        EXPECT_NEAR(100.0 * heights[0] / (heights[0] + heights[1]), TfrmKivMessageInBox::ListShare, 2.0);

        ClickItem(list, list.model()->index(1, 0));
        EXPECT_EQ(InBox().memoMessageConntent()->toPlainText(), QStringLiteral("Text two"));
        // The tray gives up its new-mail images even though two remain new.
        EXPECT_FALSE(Window->StTrayIcon()->Animating());
        // The row shows "New" until the list is next filled.
        EXPECT_EQ(list.topLevelItem(1)->text(TfrmKivMessageInBox::colType), QStringLiteral("New"));
        EXPECT_EQ(InBoxOf(Me).Column(TInBoxRow::Type), (std::vector<std::string>{"New", "Old", "New"}));

        // Delete asks first; No changes nothing.
        EXPECT_TRUE(InBox().actDeleteMessage()->isEnabled());
        TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
        InBox().actDeleteMessage()->trigger();
        EXPECT_EQ(TKivMessageBox::LastAnsweredText(), QString::fromLatin1(TfrmKivMessageInBox::DeleteQuestion));
        EXPECT_EQ(list.topLevelItemCount(), 3);
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
        InBox().actDeleteMessage()->trigger();
        EXPECT_EQ(column(TfrmKivMessageInBox::colSubject), (QStringList{"Third", "First"}));
        EXPECT_EQ(panels(), (QStringList{"New messages = 2", "Old messages = 0", "Total messages = 2"}));
        EXPECT_TRUE(InBox().memoMessageConntent()->toPlainText().isEmpty());
        InBox().actFileExit()->trigger();
    });
    Window->ExecuteAction(TKivAction::VeiwInBox);
    EXPECT_FALSE(InBox().isVisible());
    EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
    EXPECT_TRUE(Window->tmrCheckForMessages()->isActive());
    EXPECT_EQ(InBoxOf("BOB").Rows.size(), 1u);
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(MessagingTest, TheTrayIconsDoubleClickOpensTheInBoxOnlyWhileNewMailWaits)
{
    StartWithDialogs();
    int shown = 0;
    auto doubleClick = [&] {
        Window->hide();
        emit Window->StTrayIcon()->SystemIcon().activated(QSystemTrayIcon::DoubleClick);
        EXPECT_TRUE(Window->isVisible());
    };
    doubleClick();
    EXPECT_EQ(shown, 0);

    Window->StTrayIcon()->StartAnimation();
    WhenModal(InBox(), [&] {
        ++shown;
        InBox().close();
    });
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    doubleClick();
    EXPECT_EQ(shown, 1);
}

TEST_F(MessagingTest, AWatchedColleagueAddedTwiceIsListedOnceAndClearingAsksFirst)
{
    StartWithDialogs();
    TKivAlert &alerts = Kiv().Alerts();
    SelectBoardRow("ANNA");
    Window->ExecuteAction(TKivAction::AddToAlertList);
    const std::vector<std::string> once = alerts.Strings();
    EXPECT_EQ(once, (std::vector<std::string>{"ANNA", "Anna Smith", "Available"}));
    Window->ExecuteAction(TKivAction::AddToAlertList);
    EXPECT_EQ(alerts.Strings(), once);
    SelectBoardRow("BOB");
    Window->ExecuteAction(TKivAction::AddToAlertList);
    EXPECT_EQ(alerts.Count(), 2u);

    // The viewer shows the names as the users dataset has them now.
    ASSERT_TRUE(ChangeStoredUser(Board, "BOB", [](char *record) { PutText(record, UserRecord::Name, "Robert"); }));
    QStringList names;
    QString label;
    WhenModalOf<TfrmAlerts>([&](TfrmAlerts &viewer) {
        for (int i = 0; i < viewer.lstAlerts()->count(); ++i)
            names << viewer.lstAlerts()->item(i)->text();
        label = viewer.lblUsers()->text();
        QTest::keyClick(&viewer, Qt::Key_Escape);
    });
    Window->ExecuteAction(TKivAction::ViewAlertList);
    EXPECT_EQ(names, (QStringList{"Anna Smith", "Robert"}));
    EXPECT_EQ(label, QStringLiteral("You will be notified when any \nof the following users update their status."));

    TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
    Window->ExecuteAction(TKivAction::ClearAlertList);
    EXPECT_EQ(TKivMessageBox::LastAnsweredText(), QStringLiteral("Are you sure.  Clear your alert list?"));
    EXPECT_EQ(alerts.Count(), 2u);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    Window->ExecuteAction(TKivAction::ClearAlertList);
    EXPECT_EQ(alerts.Count(), 0u);
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}
