// The status picker, the department picker and the comment dialog, shown by
// the main window's commands over a temporary board.
#include "tests/dialogs/DialogTesting.h"

#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

namespace {

class PickersTest : public TDialogsTest {
protected:
    /// The item of list whose text is text.
    static QModelIndex ItemOf(QListWidget &list, const QString &text)
    {
        const QList<QListWidgetItem *> found = list.findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? QModelIndex() : list.indexFromItem(found.first());
    }
    static QStringList Texts(const QListWidget &list)
    {
        QStringList texts;
        for (int i = 0; i < list.count(); ++i)
            texts << list.item(i)->text();
        return texts;
    }
    /// Runs the Custom Status command and clicks status in the picker; what
    /// happens meanwhile is done by during, before the click.
    void ChooseCustomStatus(const QString &status, const std::function<void()> &during = {})
    {
        TfrmSelectStatus &picker = Windows->frmSelectStatus;
        WhenModal(picker, [&] {
            EXPECT_FALSE(Window->tmrUpdateListView()->isActive());
            EXPECT_TRUE(Window->tmrCheckForMessages()->isActive());
            if (during)
                during();
            ClickItem(*picker.lbSelectStatus(), ItemOf(*picker.lbSelectStatus(), status));
        });
        Window->ExecuteAction(TKivAction::CustomStatus);
        EXPECT_FALSE(picker.isVisible());
        EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
    }
};

} // namespace

TEST_F(PickersTest, ACustomStatusIsChosenFromTheCatalogueAndStoredTrimmed)
{
    StartWithDialogs();
    Kiv().Status().EnsureStatusDataset();
    Kiv().Status().AddStatus("  Back soon  ");
    QStringList offered;
    WhenModal(Windows->frmSelectStatus, [&] { offered = Texts(*Windows->frmSelectStatus.lbSelectStatus()); });
    ChooseCustomStatus(QStringLiteral("In meeting"));
    EXPECT_EQ(Stored().Status, "In meeting");
    EXPECT_FALSE(offered.contains(QStringLiteral("Offline")));
    EXPECT_TRUE(offered.contains(QStringLiteral("In meeting")));

    ChooseCustomStatus(QStringLiteral("  Back soon  "));
    EXPECT_EQ(Stored().Status, "Back soon");
    EXPECT_EQ(Session.User.Status, "Back soon");
    EXPECT_EQ(Window->Board().Row(0).SubItems[TBoardRow::Status], "Back soon");

    // Close stores nothing.
    WhenModal(Windows->frmSelectStatus, [&] { Windows->frmSelectStatus.btnClose()->click(); });
    Window->ExecuteAction(TKivAction::CustomStatus);
    EXPECT_EQ(Stored().Status, "Back soon");
    EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

// The picker closes with OK before it reads the clicked status. When that
// read fails (the status was erased meanwhile), the status of an earlier
// choice used to be stored as if it had been chosen.
TEST_F(PickersTest, AStatusThatCannotBeReadIsReportedAndNothingIsStored)
{
    StartWithDialogs();
    ChooseCustomStatus(QStringLiteral("DND"));
    ASSERT_EQ(Stored().Status, "DND");
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    ChooseCustomStatus(QStringLiteral("Gone home"), [&] {
        QListWidget &list = *Windows->frmSelectStatus.lbSelectStatus();
        const QModelIndex gone = ItemOf(list, QStringLiteral("Gone home"));
        Kiv().Status().DeleteStatus(list.itemFromIndex(gone)->data(Qt::UserRole).toInt());
    });
    EXPECT_EQ(TKivMessageBox::AnsweredTexts().size(), 1);
    EXPECT_TRUE(TKivMessageBox::LastAnsweredText().startsWith(QStringLiteral("Unable to read Status")));
    EXPECT_EQ(Windows->frmSelectStatus.result(), QDialog::Accepted);
    EXPECT_EQ(Stored().Status, "DND");
}

TEST_F(PickersTest, ThePickersSizeAndPlaceAreKeptBetweenRuns)
{
    StartWithDialogs();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    TfrmSelectStatus *picker = &Windows->frmSelectStatus;
    EXPECT_EQ(picker->size(), QSize(242, 289)); // the settings' defaults
    auto showAndClose = [&](const std::function<void()> &meanwhile) {
        WhenModal(*picker, [&] {
            meanwhile();
            picker->reject();
        });
        Window->ExecuteAction(TKivAction::CustomStatus);
    };
    showAndClose([&] {
        EXPECT_LE((picker->frameGeometry().center() - screen.center()).manhattanLength(), 2);
        picker->resize(300, 420);
        picker->move(20, 30);
    });
    // Within the run it opens where it was left.
    showAndClose([&] { EXPECT_EQ(QRect(picker->pos(), picker->size()), QRect(20, 30, 300, 420)); });
    picker->resize(100, 100);
    EXPECT_EQ(picker->size(), TfrmSelectStatus::SmallestSize());
    picker->resize(310, 430);

    // The next run: the size kept, centred at the first showing.
    Windows.reset();
    const TKivSettings settings = Settings();
    EXPECT_EQ(QRect(settings.CustomLeft, settings.CustomTop, settings.CustomWidth, settings.CustomHeight),
              QRect(20, 30, 310, 430));
    Windows = std::make_unique<TKivWindows>(*Window);
    picker = &Windows->frmSelectStatus;
    showAndClose([&] {
        EXPECT_EQ(picker->size(), QSize(310, 430));
        EXPECT_LE((picker->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    });
}

// As with statuses: a department erased after the list was filled is
// reported, and the board keeps the filter it had.
TEST_F(PickersTest, ADepartmentThatCannotBeReadIsReportedAndTheFilterStays)
{
    AddUser("ANNA", "Anna", "Sales");
    StartWithDialogs();
    Kiv().Departments().EnsureDepartmentDataset();
    for (const char *name : {"Sales", "Support"})
        Kiv().Departments().AddDepartment(name);
    TfrmSelectDepartment &picker = Windows->frmSelectDepartment;
    auto choose = [&](const char *name, bool eraseFirst) {
        WhenModal(picker, [&] {
            QListWidget &list = *picker.ListBoxSelectDepartment();
            const QModelIndex item = ItemOf(list, name);
            if (eraseFirst)
                Kiv().Departments().DeleteDepartment(list.itemFromIndex(item)->data(Qt::UserRole).toInt());
            ClickItem(list, item);
        });
        Window->ExecuteAction(TKivAction::FilterDepartment);
    };
    choose("Sales", false);
    ASSERT_EQ(BoardLogins(), std::vector<std::string>{"ANNA"});
    // Close with nothing chosen: everybody again, the earlier choice gone by.
    WhenModal(picker, [&] { picker.btnClose()->click(); });
    Window->ExecuteAction(TKivAction::FilterDepartment);
    const QString allTitle = Window->windowTitle();
    ASSERT_EQ(BoardLogins().size(), 2u);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    choose("Support", true);
    EXPECT_EQ(TKivMessageBox::AnsweredTexts().size(), 1);
    EXPECT_EQ(Window->windowTitle(), allTitle);
    EXPECT_FALSE(Kiv().Departments().FilterOn);
    EXPECT_EQ(BoardLogins().size(), 2u);
}

TEST_F(PickersTest, ADepartmentNarrowsTheBoardAndCloseWithNothingChosenShowsAllAgain)
{
    AddUser("ANNA", "Anna", "Sales");
    AddUser("BOB", "Bob", "Support");
    AddUser("CARL", "Carl", "Sales Office");
    StartWithDialogs();
    Kiv().Departments().EnsureDepartmentDataset();
    for (const char *name : {"Support", "Sales", "Sales Office"})
        Kiv().Departments().AddDepartment(name);
    TfrmSelectDepartment &picker = Windows->frmSelectDepartment;
    const std::vector<std::string> everybody = BoardLogins();
    ASSERT_EQ(everybody.size(), 4u);

    QStringList offered;
    WhenModal(picker, [&] {
        offered = Texts(*picker.ListBoxSelectDepartment());
        EXPECT_TRUE(picker.ListBoxSelectDepartment()->selectedItems().isEmpty());
        ClickItem(*picker.ListBoxSelectDepartment(), ItemOf(*picker.ListBoxSelectDepartment(), "Sales"));
    });
    Window->ExecuteAction(TKivAction::FilterDepartment);
    EXPECT_EQ(offered, (QStringList{"Sales", "Sales Office", "Support"}));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Kiv - Filtered on \u2068Sales\u2069"));
    EXPECT_TRUE(Kiv().Departments().FilterOn);
    EXPECT_EQ(Kiv().Departments().FilterDepartment, "Sales");
    EXPECT_EQ(BoardLogins(), std::vector<std::string>{"ANNA"});
    // Every later refill keeps to the department.
    Window->RefillBoard();
    EXPECT_EQ(BoardLogins(), std::vector<std::string>{"ANNA"});

    // The window's own close box changes nothing.
    WhenModal(picker, [&] { picker.close(); });
    Window->ExecuteAction(TKivAction::FilterDepartment);
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Kiv - Filtered on \u2068Sales\u2069"));
    EXPECT_TRUE(Kiv().Departments().FilterOn);

    // Close (and Esc, which is Close) with nothing chosen shows everybody.
    for (bool escape : {false, true}) {
        Window->setWindowTitle(QStringLiteral("Kiv - Filtered on Sales"));
        Kiv().Departments().FilterOn = true;
        Window->RefillBoard();
        WhenModal(picker, [&] {
            if (escape)
                QTest::keyClick(&picker, Qt::Key_Escape);
            else
                picker.btnClose()->click();
        });
        Window->ExecuteAction(TKivAction::FilterDepartment);
        EXPECT_EQ(Window->windowTitle(), QStringLiteral("Kiv - All Departments"));
        EXPECT_FALSE(Kiv().Departments().FilterOn);
        EXPECT_EQ(Kiv().Departments().FilterDepartment, "");
        EXPECT_EQ(BoardLogins(), everybody);
    }
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(PickersTest, ACommentIsStoredWithoutUndoingAStatusAnotherProcessStoredMeanwhile)
{
    StartWithDialogs();
    Kiv().KivFile().UpdateComment("Room 2.14");
    TfrmKivComments &dialog = Windows->frmKivComments;
    WhenModal(dialog, [&] {
        EXPECT_EQ(dialog.txtComments()->text(), QStringLiteral("Room 2.14"));
        EXPECT_EQ(dialog.txtComments()->selectedText(), QStringLiteral("Room 2.14"));
        EXPECT_EQ(dialog.focusWidget(), dialog.txtComments());
        // The user's own other workstation, while the dialog is open.
        EXPECT_EQ(RunProgram({KIVCTL_PATH, "--board", Board, "status", "In meeting"}), 0);
        QTest::keyClicks(dialog.txtComments(), QStringLiteral("Back at 3"));
        QTest::keyClick(dialog.txtComments(), Qt::Key_Return);
    });
    Window->ExecuteAction(TKivAction::Comments);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Stored().Status, "In meeting");
    EXPECT_EQ(Stored().Comments, "Back at 3");
    EXPECT_EQ(Window->Board().Row(0).SubItems[TBoardRow::Comments], "Back at 3");
    EXPECT_EQ(Window->Board().Row(0).SubItems[TBoardRow::Status], "In meeting");

    // Cancel stores nothing; an emptied comment is stored empty.
    WhenModal(dialog, [&] {
        dialog.txtComments()->setText(QStringLiteral("Not this"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    Window->ExecuteAction(TKivAction::Comments);
    EXPECT_EQ(Stored().Comments, "Back at 3");
    WhenModal(dialog, [&] {
        QTest::keyClick(dialog.txtComments(), Qt::Key_Delete);
        dialog.btnOk()->click();
    });
    Window->ExecuteAction(TKivAction::Comments);
    EXPECT_EQ(Stored().Comments, "");

    // A store that fails is reported, and the dialog still ends with OK.
    ASSERT_EQ(rename(Board.c_str(), (Board + ".away").c_str()), 0);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok); // the re-read on showing
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok); // the store
    WhenModal(dialog, [&] { dialog.btnOk()->click(); });
    Window->ExecuteAction(TKivAction::Comments);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(TKivMessageBox::AnsweredTexts().size(), 2);
    ASSERT_EQ(rename((Board + ".away").c_str(), Board.c_str()), 0);
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(PickersTest, TheCommentsOrnamentIsBlueTextAtAnAngleOverAGreyShadow)
{
    StartWithDialogs();
    TRotatedLabel &label = *Windows->frmKivComments.RotatedLabel();
    EXPECT_EQ(label.geometry(), QRect(7, 7, 221, 134));
    const QImage image = label.grab().toImage();
    QRect blue, grey;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour == TRotatedLabel::TextColour())
                blue |= QRect(x, y, 1, 1);
            else if (colour == TRotatedLabel::ShadowColour())
                grey |= QRect(x, y, 1, 1);
        }
    }
    ASSERT_FALSE(blue.isEmpty());
    ASSERT_FALSE(grey.isEmpty());
    // A line of text 27 pixels high, risen at 30 degrees across its width.
    EXPECT_GT(blue.height(), 70);
    EXPECT_GT(blue.width(), 100);
    // The shadow reaches below and to the right of the text.
    EXPECT_GT(grey.bottom(), blue.bottom());
    EXPECT_GT(grey.right(), blue.right());
    EXPECT_TRUE(image.rect().contains(grey));
}

// The pickers stored the status (or filtered on the department) that the
// first arrow key passed over, so a keyboard user could not browse them.
TEST_F(PickersTest, ArrowKeysBrowseAndAClickEnterOrOkChooses)
{
    StartWithDialogs();
    Kiv().Departments().EnsureDepartmentDataset();
    for (const char *name : {"Sales", "Support"})
        Kiv().Departments().AddDepartment(name);
    enum class TWay { Click, Enter, Ok };
    // Browses two entries down, checks that nothing was chosen, then chooses.
    // The check is kept by value: it is a temporary of the call, and the
    // dialog runs only later.
    auto browseThenChoose = [](QDialog &picker, QListWidget &list, QPushButton &ok, TWay way,
                               std::function<bool()> chosen, QString &current) {
        WhenModal(picker, [&, way, chosen] {
            list.setFocus();
            QTest::keyClick(&list, Qt::Key_Down);
            QTest::keyClick(&list, Qt::Key_Down);
            EXPECT_TRUE(picker.isVisible());
            EXPECT_FALSE(chosen());
            ASSERT_NE(list.currentItem(), nullptr);
            current = list.currentItem()->text().trimmed();
            if (way == TWay::Click)
                ClickItem(list, list.currentIndex());
            else if (way == TWay::Enter)
                QTest::keyClick(&list, Qt::Key_Return);
            else
                ok.click();
        });
    };
    for (TWay way : {TWay::Click, TWay::Enter, TWay::Ok}) {
        SCOPED_TRACE(static_cast<int>(way));
        TfrmSelectStatus &statuses = Windows->frmSelectStatus;
        // A status the arrow keys do not pass over.
        Window->StoreStatus("Off sick");
        const std::string before = Stored().Status;
        QString current;
        browseThenChoose(
            statuses, *statuses.lbSelectStatus(), *statuses.btnOk(), way, [&] { return Stored().Status != before; },
            current);
        Window->ExecuteAction(TKivAction::CustomStatus);
        EXPECT_FALSE(statuses.isVisible());
        EXPECT_EQ(QString::fromStdString(Stored().Status), current);

        TfrmSelectDepartment &departments = Windows->frmSelectDepartment;
        Kiv().Departments().FilterOn = false;
        browseThenChoose(
            departments, *departments.ListBoxSelectDepartment(), *departments.btnOk(), way,
            [&] { return Kiv().Departments().FilterOn; }, current);
        Window->ExecuteAction(TKivAction::FilterDepartment);
        EXPECT_FALSE(departments.isVisible());
        EXPECT_TRUE(Kiv().Departments().FilterOn);
        EXPECT_EQ(QString::fromStdString(Kiv().Departments().FilterDepartment), current);
    }
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}
