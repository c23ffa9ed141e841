// The user administration dialog, over a real board of three users.
#include "tests/dialogs/AdminTesting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class KivUsersTest : public TAdminDialogsTest {
protected:
    bool BoardShows(const std::string &caption) const
    {
        for (int i = 0; i < Window->Board().RowCount(); ++i)
            if (Window->Board().Row(i).Caption == caption)
                return true;
        return false;
    }
};

TEST_F(KivUsersTest, UpdatingAColleagueWritesTheirRecordAndTheAdministratorGoesOnAsHimself)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    TfrmKivUsers &users = Windows->frmKivUsers;
    const bool shown = RunCommand(TKivAction::Users, users, [&] {
        EXPECT_EQ(Texts(users.lbUsers()), (QStringList{"Anna", "Bob", "Mia Admin"}));
        Select(users.lbUsers(), "Anna");
        EXPECT_EQ(users.txtUserName()->text(), QStringLiteral("ANNA"));
        EXPECT_TRUE(users.txtUserName()->isReadOnly());
        users.txtName()->setText(QStringLiteral("Zoe"));
        users.txtComments()->setText(QStringLiteral("Back at three"));
        users.txtExtension()->setText(QStringLiteral("231"));
        ASSERT_TRUE(users.Statuses().SelectExact("In meeting"));
        users.chkboxAdministrator()->setChecked(true);
        users.btnUpdate()->click();

        // The renamed user in its sorted place, and every field emptied.
        EXPECT_EQ(Texts(users.lbUsers()), (QStringList{"Bob", "Mia Admin", "Zoe"}));
        EXPECT_TRUE(users.lbUsers()->selectedItems().isEmpty());
        for (const QLineEdit *edit : {users.txtName(), users.txtComments(), users.txtExtension(), users.txtUserName()})
            EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
        EXPECT_EQ(users.cboStatus()->currentIndex(), -1);
        EXPECT_EQ(users.cboDepartment()->currentIndex(), -1);
        EXPECT_FALSE(users.chkboxAdministrator()->isChecked());
        users.btnCancel()->click();
    });
    ASSERT_TRUE(shown);

    const TUser anna = StoredUser("ANNA");
    EXPECT_EQ(anna.Name, "Zoe");
    EXPECT_EQ(anna.Status, "In meeting");
    EXPECT_EQ(anna.Comments, "Back at three");
    EXPECT_EQ(anna.Ext, "231");
    EXPECT_EQ(anna.Administrator, 1);
    EXPECT_TRUE(BoardShows("Zoe")); // the board is refilled at once
    // The signed-in user object is still the administrator's own.
    EXPECT_EQ(Session.User.LogInName, Me);
    EXPECT_EQ(Session.User.Name, "Mia Admin");

    // So a status command writes the administrator's record only.
    Window->lvMain()->clearSelection();
    Window->StoreStatus("At lunch");
    EXPECT_EQ(StoredUser(Me).Status, "At lunch");
    EXPECT_EQ(StoredUser("ANNA").Status, "In meeting");

    // And so does the sign-off, straight after another colleague's update.
    users.show();
    Select(users.lbUsers(), "Bob");
    users.txtComments()->setText(QStringLiteral("Out today"));
    users.btnUpdate()->click();
    users.close();
    Window->CloseMain();
    EXPECT_EQ(App.Terminations, 1);
    EXPECT_EQ(StoredUser(Me).Status, "Offline");
    EXPECT_EQ(StoredUser(Me).Name, "Mia Admin");
    for (const auto &[login, comment] : {std::pair<std::string, std::string>{"ANNA", "Back at three"},
                                         std::pair<std::string, std::string>{"BOB", "Out today"}}) {
        EXPECT_EQ(StoredUser(login).Status, login == "ANNA" ? "In meeting" : "Available") << login;
        EXPECT_EQ(StoredUser(login).Comments, comment) << login;
    }
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(KivUsersTest, TheCombosTakeOnlyAnExactMatchAndUpdateStoresWhatTheyShow)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    TKivDepartment &departments = Window->KivBoard()->Departments();
    departments.EnsureDepartmentDataset();
    departments.AddDepartment("Sales");
    SetStored("BOB", UserRecord::Status, "In meeting");
    SetStored("BOB", UserRecord::Department, "Sales");
    SetStored("ANNA", UserRecord::Status, "in meeting"); // letter case counts
    SetStored("ANNA", UserRecord::Department, "Gone");   // not in the catalogue
    TfrmKivUsers &users = Windows->frmKivUsers;
    users.show();
    // Every status of the catalogue, "Offline" included, sorted.
    EXPECT_EQ(users.Statuses().Count(), 10);
    EXPECT_EQ(users.Statuses().Text(0), "At lunch");
    EXPECT_GE(users.cboStatus()->findText(QStringLiteral("Offline")), 0);

    Select(users.lbUsers(), "Bob");
    EXPECT_EQ(users.cboStatus()->currentText(), QStringLiteral("In meeting"));
    EXPECT_EQ(users.cboDepartment()->currentText(), QStringLiteral("Sales"));
    Select(users.lbUsers(), "Anna");
    EXPECT_EQ(users.txtStatus()->text(), QStringLiteral("in meeting"));
    EXPECT_EQ(users.txtDepartment()->text(), QStringLiteral("Gone"));
    EXPECT_EQ(users.cboStatus()->currentIndex(), -1);
    EXPECT_EQ(users.cboDepartment()->currentIndex(), -1);
    users.btnUpdate()->click();
    EXPECT_EQ(StoredUser("ANNA").Status, "");
    EXPECT_EQ(StoredUser("ANNA").Department, "");

    // The administrator's own record: the signed-in user object follows it.
    Select(users.lbUsers(), "Mia Admin");
    users.txtComments()->setText(QStringLiteral("In at ten"));
    users.BitBtnClear()->click();
    EXPECT_TRUE(users.txtComments()->text().isEmpty());
    users.txtComments()->setText(QStringLiteral("In at ten"));
    users.Departments().SelectExact("Sales");
    users.btnUpdate()->click();
    EXPECT_EQ(StoredUser(Me).Comments, "In at ten");
    EXPECT_EQ(Session.User.Comments, "In at ten");
    EXPECT_EQ(Session.User.Department, "Sales");
    EXPECT_EQ(Session.User.Updated, StoredUser(Me).Updated);
    EXPECT_EQ(Session.User.LogInName, Me);
    users.close();
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(KivUsersTest, TheOnlyAdministratorStaysOneAndDeleteAsksByTheNameAsTyped)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    TfrmKivUsers &users = Windows->frmKivUsers;
    users.show();
    EXPECT_FALSE(users.actUpdate()->isEnabled());
    EXPECT_FALSE(users.actDelete()->isEnabled());

    // One administrator on the board: Delete is refused, box ticked or not,
    // and so is Update without the right; nothing is asked or written.
    const QString deleting = "This user is the only Administrator within Kiv.\n\n"
                             "Please make another user and Administrator before deleting this user";
    const QString demoting = "This user is the only Administrator within Kiv.\n\n"
                             "Please make another user an Administrator before removing this user's "
                             "Administrator right";
    Select(users.lbUsers(), "Mia Admin");
    ASSERT_TRUE(users.chkboxAdministrator()->isChecked());
    EXPECT_TRUE(users.actUpdate()->isEnabled());
    EXPECT_TRUE(users.actDelete()->isEnabled());
    for (int i = 0; i < 3; ++i)
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    users.btnDelete()->click();
    users.chkboxAdministrator()->setChecked(false);
    users.btnDelete()->click();
    users.btnUpdate()->click();
    EXPECT_EQ(TKivMessageBox::AnsweredTexts(), (QStringList{deleting, deleting, demoting}));
    EXPECT_EQ(StoredUsers(Board).size(), 3u);
    EXPECT_EQ(StoredUser(Me).Administrator, 1);
    EXPECT_EQ(users.txtUserName()->text().toStdString(), Me); // the fields stay for another try

    // Yes erases the selected user; the question names them as typed.
    Select(users.lbUsers(), "Bob");
    users.txtName()->setText(QStringLiteral("Robert"));
    TKivMessageBox::ForgetAnswers();
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    users.btnDelete()->click();
    EXPECT_EQ(TKivMessageBox::AnsweredTexts(), QStringList{"Are you sure you want to delete \"\u2068Robert\u2069 \""});
    EXPECT_EQ(StoredUser("BOB").LogInName, "");
    EXPECT_EQ(Texts(users.lbUsers()), (QStringList{"Anna", "Mia Admin"}));
    EXPECT_EQ(users.txtName()->text(), QStringLiteral("Robert")); // the fields keep their contents
    EXPECT_FALSE(users.actDelete()->isEnabled());

    // With one user left Delete stays disabled, and does nothing when invoked.
    Select(users.lbUsers(), "Anna");
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    users.btnDelete()->click();
    Select(users.lbUsers(), "Mia Admin");
    EXPECT_TRUE(users.actUpdate()->isEnabled());
    EXPECT_FALSE(users.actDelete()->isEnabled());
    TKivMessageBox::ForgetAnswers();
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    users.btnDelete()->click();
    EXPECT_TRUE(TKivMessageBox::AnsweredTexts().isEmpty());
    EXPECT_EQ(StoredUsers(Board).size(), 1u);
    users.close();
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(KivUsersTest, TheDialogIsLaidOutAsDesignedAndStretchesItsListDownwards)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    TfrmKivUsers &users = Windows->frmKivUsers;
    EXPECT_EQ(users.windowTitle(), QStringLiteral("Administer Kiv Users"));
    EXPECT_EQ(users.size(), TfrmKivUsers::DesignSize());
    EXPECT_EQ(users.lbUsers()->geometry(), QRect(8, 8, 157, 283));
    EXPECT_EQ(users.btnCancel()->geometry(), QRect(301, 298, 75, 25));
    EXPECT_EQ(users.btnUpdate()->text(), QStringLiteral("&Update"));
    EXPECT_TRUE(users.btnUpdate()->isDefault());
    EXPECT_EQ(users.BitBtnClear()->toolTip(), QStringLiteral("Clear comment"));
    EXPECT_EQ(users.txtName()->maxLength(), 50);
    EXPECT_EQ(users.txtExtension()->maxLength(), 10);
    const QRect name = users.txtName()->geometry();

    users.resize(482, 427);
    users.show();
    EXPECT_EQ(users.lbUsers()->geometry(), QRect(8, 8, 157, 383));
    EXPECT_EQ(users.btnHelp()->geometry(), QRect(161, 398, 75, 25));
    EXPECT_EQ(users.txtName()->geometry(), name);
    EXPECT_TRUE(users.btnCancel()->hasFocus() || !users.isActiveWindow());
    users.close();
}

} // namespace
