// The status commands, Refresh and the department tree on the real main
// window over a temporary board: what each fixed status stores and for whom,
// the holiday wording read at each use, Out Of Office's comment dialog, the
// busy cursor on every path, and the tree's filter with its root rule.
#include "tests/main/MainTesting.h"

#include <QTest>
#include <QTreeWidget>

namespace {

class CommandsTest : public TMainWindowTest {
protected:
    /// A colleague on the board, signed in by a workstation of their own.
    void AddColleague(const std::string &login, const std::string &department = std::string())
    {
        TFakeBoard fakes;
        TKivFile(Board, fakes.Ctx, login).SignIn();
        if (!department.empty()) {
            ASSERT_TRUE(ChangeStoredUser(Board, login,
                                         [&](char *record) { PutText(record, UserRecord::Department, department); }));
        }
    }
    std::string StoredStatus(const std::string &login) const
    {
        for (const TStoredUser &user : StoredUsers(Board))
            if (user.User.LogInName == login)
                return user.User.Status;
        return "none";
    }
    /// Selects the board row of login; false when the board has none.
    bool SelectRowOf(const std::string &login)
    {
        QTreeWidget *board = Window->lvMain();
        for (int i = 0; i < board->topLevelItemCount(); ++i) {
            if (Window->Board().Row(i).SubItems[TBoardRow::Login] == login) {
                board->setCurrentItem(board->topLevelItem(i));
                return Window->RowSelected();
            }
        }
        return false;
    }
    std::vector<std::string> BoardLogins() const
    {
        std::vector<std::string> logins;
        for (int i = 0; i < Window->Board().RowCount(); ++i)
            logins.push_back(Window->Board().Row(i).SubItems[TBoardRow::Login]);
        std::sort(logins.begin(), logins.end());
        return logins;
    }
};

} // namespace

TEST_F(CommandsTest, EachFixedStatusIsStoredAndTheHolidayWordingIsReadAtEachUse)
{
    PointAtBoard();
    ChangeSettings([](TKivSettings &s) { s.AutoComment = false; });
    Start();
    ASSERT_NE(Window->KivBoard(), nullptr);
    const std::pair<TKivAction, const char *> table[] = {
        {TKivAction::AtLunch, "At lunch"},
        {TKivAction::Available, "Available"},
        {TKivAction::AwayFromDesk, "Away from desk"},
        {TKivAction::DND, "DND"},
        {TKivAction::GoneHome, "Gone home"},
        {TKivAction::InMeeting, "In meeting"},
        {TKivAction::OutOfOffice, "Out of office"},
        {TKivAction::Sick, "Off sick"},
    };
    for (const auto &[action, stored] : table) {
        Window->Action(action)->trigger();
        EXPECT_EQ(Stored().Status, stored);
        EXPECT_EQ(Session.User.Status, stored);
        EXPECT_EQ(Window->Board().Row(0).SubItems[TBoardRow::Status], stored) << "the board is refilled";
        EXPECT_EQ(Window->StTrayIcon()->ImageIndex(), KivActionDef(action).ImageIndex);
    }

    // Ctrl+H, with the wording the settings hold at that moment; the caption
    // set at the start stays as it was.
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    ASSERT_TRUE(Settings().UseVacation);
    QTest::keyClick(Window.get(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(Stored().Status, "On vacation");
    ChangeSettings([](TKivSettings &s) { s.UseVacation = false; });
    QTest::keyClick(Window.get(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(Stored().Status, "On holiday");
    EXPECT_EQ(Window->actOnHoliday()->text(), "On Vacation");
    EXPECT_EQ(Window->StTrayIcon()->ImageIndex(), 6);
    EXPECT_TRUE(TKivMessageBox::AnsweredTexts().isEmpty());
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(CommandsTest, AnAdministratorWithARowSelectedChangesThatRowsStatusAndNotTheirOwn)
{
    PointAtBoard();
    Start();
    AddColleague("ALICE");
    Window->actRefresh()->trigger();
    ASSERT_TRUE(Session.Administrator);

    ASSERT_TRUE(SelectRowOf("ALICE"));
    Window->actGoneHome()->trigger();
    EXPECT_EQ(StoredStatus("ALICE"), "Gone home");
    EXPECT_EQ(StoredStatus(Me), "Available");
    EXPECT_EQ(Session.User.Status, "Available");
    EXPECT_EQ(Window->StTrayIcon()->ImageIndex(), 1);

    // Their own row, selected, goes through the row too: the in-memory
    // status is left as it was.
    ASSERT_TRUE(SelectRowOf(Me));
    Window->actDND()->trigger();
    EXPECT_EQ(StoredStatus(Me), "DND");
    EXPECT_EQ(Session.User.Status, "Available");

    // No row selected: their own status.
    Window->lvMain()->clearSelection();
    ASSERT_FALSE(Window->RowSelected());
    Window->actInMeeting()->trigger();
    EXPECT_EQ(StoredStatus(Me), "In meeting");
    EXPECT_EQ(StoredStatus("ALICE"), "Gone home");

    // Not an administrator: a selected row changes nothing but their own.
    ASSERT_TRUE(ChangeStoredUser(Board, Me, [](char *record) { PutInt16(record, UserRecord::Administrator, 0); }));
    Window->actAvailable()->trigger();
    ASSERT_FALSE(Session.Administrator);
    ASSERT_TRUE(SelectRowOf("ALICE"));
    Window->actAtLunch()->trigger();
    EXPECT_EQ(StoredStatus(Me), "At lunch");
    EXPECT_EQ(StoredStatus("ALICE"), "Gone home");
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(CommandsTest, OutOfOfficeOpensTheCommentDialogAfterTheRefillWithTheNormalCursor)
{
    PointAtBoard();
    Start();
    int comments = 0;
    std::string shown;
    bool busy = true;
    Window->SetExecuteHandler(TKivAction::Comments, [&] {
        ++comments;
        shown = Window->Board().Row(0).SubItems[TBoardRow::Status];
        busy = QApplication::overrideCursor() != nullptr;
    });

    ASSERT_TRUE(Settings().AutoComment);
    Window->actOutOfOffice()->trigger();
    EXPECT_EQ(comments, 1);
    EXPECT_EQ(shown, "Out of office");
    EXPECT_FALSE(busy);
    // No other status command asks for a comment, and without AutoComment
    // Out Of Office does not either.
    for (TKivAction action : {TKivAction::AtLunch, TKivAction::OnHoliday, TKivAction::Sick})
        Window->Action(action)->trigger();
    ChangeSettings([](TKivSettings &s) { s.AutoComment = false; });
    Window->actOutOfOffice()->trigger();
    EXPECT_EQ(comments, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(CommandsTest, AFailedStoreOrRefreshShowsItsErrorAndTheCursorIsRestored)
{
    PointAtBoard();
    ChangeSettings([](TKivSettings &s) { s.AutoComment = true; });
    Start();
    int comments = 0;
    Window->SetExecuteHandler(TKivAction::Comments, [&] { ++comments; });
    // The share goes away under the running program.
    const std::string away = Board + ".away";
    ASSERT_EQ(rename(Board.c_str(), away.c_str()), 0);

    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Window->actOutOfOffice()->trigger();
    Window->actRefresh()->trigger();
    const QStringList texts = TKivMessageBox::AnsweredTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith("Unable to update status - unable to access the Kiv database location"))
        << texts[0].toStdString();
    EXPECT_FALSE(texts[1].isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(comments, 0) << "the command stops at the failed step";

    ASSERT_EQ(rename(away.c_str(), Board.c_str()), 0);
    EXPECT_EQ(Stored().Status, "Available");
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(CommandsTest, TheTreeFiltersOnAClickedDepartmentAndEitherDepartmentsNodeShowsAll)
{
    PointAtBoard();
    Start();
    AddColleague("ALICE", "Sales");
    AddColleague("BOB", "Departments");
    TKivDepartment &departments = Window->KivBoard()->Departments();
    departments.EnsureDepartmentDataset();
    for (const char *department : {"Sales", "Departments"})
        departments.AddDepartment(department);
    Window->KivBoard()->Departments().FillDepartmentTree(Window->DepartmentTree());
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    QTreeWidget *tree = Window->tvMain();
    tree->expandAll();
    const auto click = [&](const QString &text, int nth) {
        const QList<QTreeWidgetItem *> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_GT(found.size(), nth);
        QTreeWidgetItem *item = found[nth];
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
        ASSERT_EQ(tree->currentItem(), item);
    };

    click("Sales", 0);
    EXPECT_EQ(BoardLogins(), std::vector<std::string>{"ALICE"});
    EXPECT_EQ(Window->windowTitle(), "Kiv - Filtered on \u2068Sales\u2069");
    EXPECT_TRUE(Window->KivBoard()->Departments().FilterOn);
    // Every later refill keeps the filter.
    Window->actRefresh()->trigger();
    EXPECT_EQ(BoardLogins(), std::vector<std::string>{"ALICE"});

    // The department called "Departments" below the root counts as the root.
    const QList<QTreeWidgetItem *> named = tree->findItems("Departments", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(named.size(), 2);
    const int child = named[0]->parent() != nullptr ? 0 : 1;
    click("Departments", child);
    std::vector<std::string> everybody{"ALICE", "BOB", Me};
    std::sort(everybody.begin(), everybody.end());
    EXPECT_EQ(BoardLogins(), everybody);
    EXPECT_EQ(Window->windowTitle(), "Kiv - All Departments");
    EXPECT_FALSE(Window->KivBoard()->Departments().FilterOn);

    click("Sales", 0);
    click("Departments", 1 - child);
    EXPECT_EQ(BoardLogins(), everybody);
    EXPECT_EQ(Window->windowTitle(), "Kiv - All Departments");
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}
