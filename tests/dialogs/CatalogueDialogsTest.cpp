// The status and department administration dialogs, the administration
// commands that open them, and the three dialogs' help.
#include "board/KivStatus.h"
#include "gui/HelpWindow.h"
#include "tests/dialogs/AdminTesting.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class CatalogueDialogsTest : public TAdminDialogsTest {
protected:
    /// The departments below the tree's root, and whether there is one root.
    QStringList TreeDepartments() const
    {
        QStringList names;
        const QTreeWidget *tree = Window->tvMain();
        if (tree->topLevelItemCount() != 1)
            return {"<" + QString::number(tree->topLevelItemCount()) + " roots>"};
        for (int i = 0; i < tree->topLevelItem(0)->childCount(); ++i)
            names << tree->topLevelItem(0)->child(i)->text(0);
        return names;
    }
    std::vector<TStoredText> StoredStatuses() const { return StoredTexts(Board + "/KivStats", StatusRecord::Size); }
};

TEST_F(CatalogueDialogsTest, TheStatusDialogProtectsTheFixedStatusesAndEnablesOnTrimmedTexts)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    TfrmKivStatuses &dialog = Windows->frmKivStatuses;
    const bool shown = RunCommand(TKivAction::Statuses, dialog, [&] {
        EXPECT_EQ(Texts(dialog.lstStatuses()).size(), 9);
        EXPECT_TRUE(dialog.lstStatuses()->findItems("Offline", Qt::MatchExactly).isEmpty());
        EXPECT_FALSE(dialog.actAdd()->isEnabled());
        dialog.txtStatus()->setText(QStringLiteral("   "));
        EXPECT_FALSE(dialog.actAdd()->isEnabled());
        dialog.txtStatus()->setText(QStringLiteral("Training"));
        EXPECT_TRUE(dialog.actAdd()->isEnabled());
        EXPECT_FALSE(dialog.actDelete()->isEnabled());
        EXPECT_FALSE(dialog.actUpdate()->isEnabled());
        QTest::keyClick(dialog.txtStatus(), Qt::Key_Return); // Add is the default button
        EXPECT_EQ(Texts(dialog.lstStatuses()).size(), 10);
        EXPECT_EQ(dialog.txtStatus()->text(), QStringLiteral("Training"));

        // A fixed status can be neither deleted nor renamed, even when asked.
        Select(dialog.lstStatuses(), "At lunch");
        EXPECT_EQ(dialog.txtSelectedItem()->text(), QStringLiteral("At lunch"));
        EXPECT_FALSE(dialog.actDelete()->isEnabled());
        EXPECT_FALSE(dialog.actUpdate()->isEnabled());
        dialog.btnUpdate()->click();
        dialog.btnDelete()->click();
        EXPECT_EQ(StoredStatuses().size(), 11u);

        // One of the office's own: renamed, then deleted after the question.
        Select(dialog.lstStatuses(), "Training");
        dialog.txtStatus()->setText(QStringLiteral("   "));
        EXPECT_TRUE(dialog.actDelete()->isEnabled());
        EXPECT_FALSE(dialog.actUpdate()->isEnabled());
        dialog.txtStatus()->setText(QStringLiteral("Training day"));
        dialog.btnUpdate()->click();
        EXPECT_FALSE(dialog.lstStatuses()->findItems("Training day", Qt::MatchExactly).isEmpty());
        EXPECT_FALSE(dialog.actUpdate()->isEnabled()); // no selection after the refill
        Select(dialog.lstStatuses(), "Training day");
        TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
        dialog.btnDelete()->click();
        EXPECT_EQ(TKivMessageBox::LastAnsweredText(),
                  QStringLiteral("Are you sure you want to delete the Status \"\u2068Training day\u2069\""));
        EXPECT_EQ(StoredStatuses().size(), 11u);
        EXPECT_TRUE(dialog.lstStatuses()->selectedItems().isEmpty()); // refilled all the same
        Select(dialog.lstStatuses(), "Training day");
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
        dialog.btnDelete()->click();
        EXPECT_EQ(StoredStatuses().size(), 10u);

        // A status that exists is refused in an error box.
        dialog.txtStatus()->setText(QStringLiteral("At lunch"));
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
        dialog.btnAdd()->click();
        EXPECT_EQ(TKivMessageBox::LastAnsweredText(), QStringLiteral("Status \"At lunch\" already exists"));
        EXPECT_EQ(StoredStatuses().size(), 10u);
        dialog.btnClose()->click();
    });
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(CatalogueDialogsTest, TheDepartmentDialogsCloseButtonAndEscRebuildTheTreeItsCloseBoxDoesNot)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    TfrmKivDepartments &dialog = Windows->frmKivDepartments;
    EXPECT_TRUE(TreeDepartments().isEmpty());
    EXPECT_EQ(dialog.txtDepartment()->placeholderText(), QStringLiteral("Please type here"));
    EXPECT_EQ(dialog.btnAdd()->toolTip(), QStringLiteral("Add department"));
    dialog.show();
    EXPECT_TRUE(TTempHome::Exists(Board + "/KivDeps.ism"));
    dialog.txtDepartment()->setText(QStringLiteral("Sales"));
    dialog.btnAdd()->click();
    EXPECT_EQ(Texts(dialog.lstDepartments()), QStringList{"Sales"});
    dialog.close(); // as the close box does
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(TreeDepartments().isEmpty());

    const bool shown = RunCommand(TKivAction::Departments, dialog, [&] {
        EXPECT_TRUE(dialog.txtDepartment()->text().isEmpty());
        dialog.txtDepartment()->setText(QStringLiteral("Accounts"));
        dialog.btnAdd()->click();
        EXPECT_EQ(Texts(dialog.lstDepartments()), (QStringList{"Accounts", "Sales"}));
        // A department can always be changed once selected.
        Select(dialog.lstDepartments(), "Sales");
        EXPECT_TRUE(dialog.actDelete()->isEnabled());
        dialog.txtDepartment()->setText(QStringLiteral("Support"));
        dialog.btnUpdate()->click();
        Select(dialog.lstDepartments(), "Accounts");
        TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
        dialog.btnDelete()->click();
        EXPECT_EQ(TKivMessageBox::LastAnsweredText(),
                  QStringLiteral("Are you sure you want to delete the Department \"\u2068Accounts\u2069\""));
        dialog.btnClose()->click();
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(TreeDepartments(), (QStringList{"Accounts", "Support"}));

    // Esc is the Close button's.
    dialog.show();
    Select(dialog.lstDepartments(), "Accounts");
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    dialog.btnDelete()->click();
    QTest::keyClick(dialog.txtDepartment(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(TreeDepartments(), QStringList{"Support"});
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

// An entry erased elsewhere cannot be read when clicked: what the previous
// one left must not stand for it, or Delete would erase another entry.
TEST_F(CatalogueDialogsTest, AFailedReadLeavesNothingSelectedInTheAdministrationDialogs)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    TKivBoard &kiv = *Window->KivBoard();
    kiv.Status().EnsureStatusDataset();
    kiv.Status().AddStatus("Training");
    kiv.Status().AddStatus("Course");
    kiv.Departments().EnsureDepartmentDataset();
    kiv.Departments().AddDepartment("Sales");
    kiv.Departments().AddDepartment("Support");
    TfrmKivUsers &users = Windows->frmKivUsers;
    TfrmKivStatuses &statuses = Windows->frmKivStatuses;
    TfrmKivDepartments &departments = Windows->frmKivDepartments;
    struct TCase {
        QListWidget *List;
        std::function<std::optional<int32_t>()> Selected;
        QString Read, Erased;
        std::function<void(int32_t)> Erase;
        std::function<QString()> Shown; // what stands for the selected entry
        QAction *Delete;
        QAction *Update;
    };
    const TCase cases[] = {
        {statuses.lstStatuses(), [&] { return statuses.Items().SelectedData(); }, "Training", "Course",
         [&](int32_t n) { kiv.Status().DeleteStatus(n); }, [&] { return statuses.txtSelectedItem()->text(); },
         statuses.actDelete(), statuses.actUpdate()},
        {departments.lstDepartments(), [&] { return departments.Items().SelectedData(); }, "Sales", "Support",
         [&](int32_t n) { kiv.Departments().DeleteDepartment(n); },
         [&] { return departments.txtSelectedItem()->text(); }, departments.actDelete(), departments.actUpdate()},
        {users.lbUsers(), [&] { return users.Users().SelectedData(); }, "Anna", "Bob",
         [&](int32_t n) { kiv.KivFile().DeleteUser(n); },
         [&] { return users.txtName()->text() + users.txtUserName()->text(); }, users.actDelete(), users.actUpdate()},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.List->window()->objectName().toStdString());
        c.List->window()->show();
        Select(c.List, c.Erased);
        const std::optional<int32_t> erased = c.Selected();
        ASSERT_TRUE(erased.has_value());
        Select(c.List, c.Read);
        ASSERT_FALSE(c.Shown().isEmpty());
        c.Erase(*erased);
        TKivMessageBox::ForgetAnswers();
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
        Select(c.List, c.Erased);
        EXPECT_EQ(TKivMessageBox::AnsweredTexts().size(), 1);
        EXPECT_EQ(c.Shown(), QString());
        EXPECT_FALSE(c.Selected().has_value());
        EXPECT_FALSE(c.Delete->isEnabled());
        EXPECT_FALSE(c.Update->isEnabled());
        c.List->window()->close();
    }
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(CatalogueDialogsTest, TheCommandsOpenTheirDialogsForAdministratorsOnly)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    const std::array<std::pair<TKivAction, QDialog *>, 3> commands{{
        {TKivAction::Users, &Windows->frmKivUsers},
        {TKivAction::Statuses, &Windows->frmKivStatuses},
        {TKivAction::Departments, &Windows->frmKivDepartments},
    }};
    for (const auto &[action, dialog] : commands)
        EXPECT_TRUE(RunCommand(action, *dialog, [dialog] { dialog->reject(); })) << dialog->objectName().toStdString();
    Session.Administrator = false;
    for (const auto &[action, dialog] : commands)
        EXPECT_FALSE(RunCommand(action, *dialog, [dialog] { dialog->reject(); })) << dialog->objectName().toStdString();

    // The catalogue dialogs: a fixed frame of one size, and their captions.
    EXPECT_EQ(Windows->frmKivStatuses.windowTitle(), QStringLiteral("Administer Statuses"));
    EXPECT_EQ(Windows->frmKivDepartments.windowTitle(), QStringLiteral("Administer Departments"));
    for (const TKivCatalogueDialog *dialog : {static_cast<TKivCatalogueDialog *>(&Windows->frmKivStatuses),
                                              static_cast<TKivCatalogueDialog *>(&Windows->frmKivDepartments)}) {
        EXPECT_EQ(dialog->size(), TKivCatalogueDialog::DesignSize());
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    }
    EXPECT_EQ(Windows->frmKivStatuses.txtStatus()->maxLength(), 30);
    EXPECT_EQ(Windows->frmKivDepartments.txtDepartment()->maxLength(), 20);
}

TEST_F(CatalogueDialogsTest, HelpOpensEachDialogsTopic)
{
    ASSERT_NO_FATAL_FAILURE(StartWithColleagues());
    SetHelpFile(QStringLiteral(KIV_BUILT_HELP_FILE));
    const std::array<std::pair<QDialog *, QPushButton *>, 3> dialogs{{
        {&Windows->frmKivUsers, Windows->frmKivUsers.btnHelp()},
        {&Windows->frmKivStatuses, Windows->frmKivStatuses.btnHelp()},
        {&Windows->frmKivDepartments, Windows->frmKivDepartments.btnHelp()},
    }};
    const QStringList topics{"Administer_Users", "Administer_statuses", "Administer_departments"};
    for (std::size_t i = 0; i < dialogs.size(); ++i) {
        dialogs[i].first->show();
        dialogs[i].second->click();
        const TfrmHelp *help = TfrmHelp::Current();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->txtHelp()->source().fragment(), topics[int(i)]);
        dialogs[i].first->close();
    }
    if (TfrmHelp *help = TfrmHelp::Current())
        help->close();
    SetHelpFile(QString());
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

} // namespace
