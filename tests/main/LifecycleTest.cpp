// The main window's life offscreen, with the real window over a temporary
// board, settings and runtime folder: the one-copy check, the setup wizard's
// three ends, the database location question, the first-run question,
// waiting messages at start-up, signing off at Exit and at the end of the
// desktop session, and the settings the close stores.
#include "gui/FileDialog.h"
#include "platform/Files.h"
#include "tests/main/MainTesting.h"

#include <QAction>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

namespace {

using LifecycleTest = TMainWindowTest;

} // namespace

TEST_F(LifecycleTest, ASecondCopyIsRefusedAndTouchesNeitherTheBoardNorTheSettings)
{
    const TInstanceLock first;
    ASSERT_EQ(first.State(), TInstanceLockState::Acquired);

    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Create();
    EXPECT_EQ(TKivMessageBox::AnsweredTexts(), QStringList{"Kiv is already running!"});
    EXPECT_EQ(App.Terminations, 1);
    EXPECT_FALSE(Window->isEnabled());
    EXPECT_EQ(WizardRuns, 0);
    Window->FormActivate();
    Window.reset();

    EXPECT_FALSE(TTempHome::Exists(Home.SettingsFile()));
    EXPECT_TRUE(FolderNames(Board).empty());
    EXPECT_TRUE(TInstanceLock().AlreadyRunning()); // the first copy's lock is left alone
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(LifecycleTest, TheWizardsCancelEndsTheStartItsCloseBoxAsksForALocationAndAFolderIsStoredWithASeparator)
{
    // Cancel: the program ends without a question.
    Wizard.End = TEnd::Cancelled;
    Create();
    EXPECT_EQ(App.Terminations, 1);
    EXPECT_TRUE(TKivMessageBox::AnsweredTexts().isEmpty());
    EXPECT_EQ(Settings().KivDBasePath, "");

    // The close box: the question has nothing between "location." and the
    // empty line, and No leaves the setting empty.
    Wizard.End = TEnd::Closed;
    TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Create();
    EXPECT_EQ(TKivMessageBox::AnsweredTexts(),
              (QStringList{"Kiv was unable to locate the database location.\n\n"
                           "Would you like to choose a new database location?",
                           "Kiv requires a database to be able to run, and will now shut down."}));
    EXPECT_TRUE(Window->SkipSignOff());
    EXPECT_EQ(App.Terminations, 2);
    EXPECT_EQ(Window->KivBoard(), nullptr);

    // A chosen folder is stored with its separator and opened at once.
    Wizard = {TEnd::Chosen, Board};
    Create();
    EXPECT_EQ(WizardRuns, 3);
    EXPECT_EQ(App.Terminations, 2);
    EXPECT_EQ(Settings().KivDBasePath, Board + "/");
    ASSERT_NE(Window->KivBoard(), nullptr);
    EXPECT_FALSE(Window->SkipSignOff());
    EXPECT_TRUE(TTempHome::Exists(Board + "/Kiv.cfg"));
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

// Catches: a board server's URI stored with a folder's separator after it,
// which names another user or database.
TEST_F(LifecycleTest, ABoardServerChosenInTheWizardIsStoredAsGiven)
{
    const std::string uri = "postgresql:///kiv?host=/nonexistent/kiv-socket&user=kiv";
    Wizard = {TEnd::Chosen, uri};
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Create();
    EXPECT_EQ(Settings().KivDBasePath, uri);
}

TEST_F(LifecycleTest, AMissingFolderWritesNothingToTheBoardAndYesEmptiesTheLocation)
{
    {
        TFakeBoard fakes;
        TKivFile kiv(Board, fakes.Ctx, Me);
        kiv.SignIn();
    }
    ASSERT_TRUE(ChangeStoredUser(Board, Me, [](char *record) { PutText(record, UserRecord::Status, "Gone home"); }));
    PointAtBoard();
    const TFileAge before = FileAge(UsersFile());
    const std::set<std::string> names = FolderNames(Board);
    // The share is unreachable while Kiv starts.
    const std::string away = Board + ".away";
    ASSERT_EQ(rename(Board.c_str(), away.c_str()), 0);

    TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Create();
    EXPECT_EQ(TKivMessageBox::AnsweredTexts().value(0).toStdString(),
              "Kiv was unable to locate the database location.\u2068" + Board
                  + "/\u2069\n\nWould you like to choose a new database location?");
    EXPECT_EQ(Settings().KivDBasePath, Board + "/");

    TKivMessageBox::ForgetAnswers();
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Create();
    EXPECT_EQ(TKivMessageBox::AnsweredTexts().value(1), "Please re-start Kiv and choose the new database location.");
    EXPECT_EQ(Settings().KivDBasePath, "");
    Window->FormActivate();
    Window.reset();

    ASSERT_EQ(rename(away.c_str(), Board.c_str()), 0);
    EXPECT_EQ(FileAge(UsersFile()), before);
    EXPECT_EQ(FolderNames(Board), names);
    EXPECT_EQ(Stored().Status, "Gone home");
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(LifecycleTest, TheFirstRunQuestionIsAskedOnceAndItsYesWritesTheAutostartEntry)
{
    PointAtBoard();
    ChangeSettings([](TKivSettings &s) { s.FirstTimeRun = true; });
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Start();
    EXPECT_EQ(TKivMessageBox::AnsweredTexts(),
              (QStringList{"Thankyou for using Kiv.\n\nWould you like Kiv to start automatically on startup?",
                           "Kiv will now start automatically on startup"}));
    EXPECT_NE(TTempHome::ReadAll(AutostartEntryPath()).find("Exec=\"" + ProgramPath() + "\""), std::string::npos);
    EXPECT_FALSE(Settings().FirstTimeRun);
    // The start went on: the new board's first user is its administrator, and available.
    EXPECT_EQ(Stored().Status, "Available");
    EXPECT_TRUE(Session.Administrator);
    EXPECT_EQ(Window->Board().RowCount(), 1);
    EXPECT_EQ(Window->HelpFile().toStdString(), ProgramPath() + ".hlp");
    EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
    EXPECT_TRUE(Window->tmrCheckForMessages()->isActive());
    EXPECT_EQ(Window->tmrUpdateListView()->interval(), 10000);
    Window->CloseMain();

    TKivMessageBox::ForgetAnswers();
    Start();
    EXPECT_TRUE(TKivMessageBox::AnsweredTexts().isEmpty());
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(LifecycleTest, ClosingSetsTheShutdownStatusClearsTheCommentAndLogsOneLine)
{
    PointAtBoard();
    {
        TFakeBoard fakes;
        TKivCfgRecord config;
        config.LoggingType = 2;
        TKivFile(Board, fakes.Ctx, "CONFIGURER").WriteConfig(config);
    }
    Start();
    ASSERT_EQ(Stored().Status, "Available");
    EXPECT_FALSE(TTempHome::Exists(Board + "/KivLog.csv")); // a new user is added "Available"
    Session.User.Comments = "Back at three";

    Window->CloseMain();
    EXPECT_EQ(App.Terminations, 1);
    EXPECT_EQ(Stored().Status, "Offline");
    EXPECT_EQ(Stored().Comments, "");
    // The header and one line.
    const std::vector<std::string> lines = LogLines(TTempHome::ReadAll(Board + "/KivLog.csv"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find(",\"" + Me + "\",\"Available\",\"Offline\""), std::string::npos) << lines[1];
}

TEST_F(LifecycleTest, WithBothShutdownOptionsOffClosingTouchesNoDatasetAndTheHiddenTreeKeepsItsWidth)
{
    PointAtBoard();
    ChangeSettings([](TKivSettings &s) {
        s.ClearCommentOnSD = s.ChangeStatusOnSD = s.DisplayDepartments = false;
        s.SplitterPos = 123;
        s.MainWidth = 640;
        s.MainHeight = 420;
    });
    Start();
    EXPECT_EQ(Window->SplitterPosition(), 0);
    EXPECT_EQ(Window->SplitterBarWidth(), 0);
    EXPECT_EQ(Window->size(), QSize(640, 420));
    const TFileAge before = FileAge(UsersFile());
    const std::set<std::string> names = FolderNames(Board);

    Window->resize(700, 450);
    Window->CloseMain();
    EXPECT_EQ(App.Terminations, 1);
    EXPECT_EQ(FileAge(UsersFile()), before);
    EXPECT_EQ(FolderNames(Board), names);
    EXPECT_EQ(Stored().Status, "Available");
    const TKivSettings settings = Settings();
    EXPECT_EQ(settings.SplitterPos, 123);
    EXPECT_EQ(QSize(settings.MainWidth, settings.MainHeight), QSize(700, 450));
}

TEST_F(LifecycleTest, AnUnreadableAlertFileIsSetAsideWithOneBoxAndTheNewListIsSaved)
{
    PointAtBoard();
    const std::string file = AlertFilePath(CurrentLoginName());
    MakeFolders(FolderOf(file));
    const std::string huge(5 * 1024 * 1024, 'x');
    TTempHome::WriteAll(file, huge);
    bool started = false;
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    Create();
    QObject::connect(Window.get(), &TfrmMain::Started, [&started] { started = true; });
    Window->FormActivate();
    const QStringList told = TKivMessageBox::AnsweredTexts();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QString::fromStdString("kept as " + file + ".unreadable."))) << told[0].toStdString();
    Window->KivBoard()->Alerts().AddToAlertList("BOSS", "The Boss", "In meeting");
    Window.reset();
    EXPECT_TRUE(started);
    EXPECT_EQ(TTempHome::ReadAll(file), "BOSS\r\nThe Boss\r\nIn meeting\r\n");
    EXPECT_EQ(TTempHome::ReadAll(file + ".unreadable").size(), huge.size());
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

TEST_F(LifecycleTest, TheSessionsEndSignsOffAndAFailureThenGoesToStandardErrorNotToABox)
{
    PointAtBoard();
    Start();
    {
        const TSessionEnd sessionEnd(*Window);
        // The session manager's word that the session ends is a request to quit.
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    }
    EXPECT_TRUE(Window->SessionEnding());
    EXPECT_EQ(App.Terminations, 1);
    EXPECT_EQ(Stored().Status, "Offline");

    Start();
    ASSERT_EQ(Stored().Status, "Available");
    const std::string away = Board + ".away";
    ASSERT_EQ(rename(Board.c_str(), away.c_str()), 0);
    // The user's own Exit shows the failure and asks whether to close
    // without signing off: No keeps the window.
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
    Window->CloseMain();
    ASSERT_EQ(TKivMessageBox::AnsweredTexts().size(), 2);
    EXPECT_NE(TKivMessageBox::AnsweredTexts()[0].indexOf("Unable to update user"), -1);
    EXPECT_EQ(TKivMessageBox::AnsweredTexts()[1], "Would you like to close Kiv without signing off?");
    EXPECT_FALSE(Window->Ending());
    EXPECT_EQ(App.Terminations, 1);
    TKivMessageBox::ForgetAnswers();
    // At the session's end the program ends all the same.
    testing::internal::CaptureStderr();
    {
        const TSessionEnd sessionEnd(*Window);
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("kiv: Unable to update user"), std::string::npos) << errors;
    EXPECT_EQ(App.Terminations, 2);
    EXPECT_TRUE(TKivMessageBox::AnsweredTexts().isEmpty());

    // Yes closes, and the unreachable board is left as it was.
    ASSERT_EQ(rename(away.c_str(), Board.c_str()), 0);
    Start();
    ASSERT_EQ(rename(Board.c_str(), away.c_str()), 0);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    Window->CloseMain();
    EXPECT_TRUE(Window->Ending());
    EXPECT_EQ(App.Terminations, 3);
    ASSERT_EQ(rename(away.c_str(), Board.c_str()), 0);
    EXPECT_EQ(Stored().Status, "Available");

    // The session ends while the Exit's box is up: the box is put away and
    // the program ends.
    Start();
    ASSERT_EQ(rename(Board.c_str(), away.c_str()), 0);
    const TSessionEnd sessionEnd(*Window);
    QTimer ending;
    QObject::connect(&ending, &QTimer::timeout, [&ending] {
        if (qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr) {
            ending.stop();
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
        }
    });
    ending.start(5);
    Window->CloseMain();
    EXPECT_EQ(App.Terminations, 4);
    EXPECT_TRUE(Window->Ending());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_EQ(rename(away.c_str(), Board.c_str()), 0);
    EXPECT_TRUE(Unexpected.Texts.isEmpty()) << Unexpected.Texts.join("|").toStdString();
}

TEST_F(LifecycleTest, ABoardCreatedThroughTheRealWizardShowsTheUserAvailableAndExitLeavesThemOffline)
{
    ChangeSettings([](TKivSettings &s) { s.FirstTimeRun = false; });
    TKivFileDialog::SetNextFolder(QString::fromStdString(Board));
    bool wizardSeen = false;
    QTimer::singleShot(0, [&wizardSeen] {
        auto *wizard = qobject_cast<TfrmDatabaseWizard *>(QApplication::activeModalWidget());
        if (wizard == nullptr)
            return;
        wizardSeen = true;
        wizard->RadioButtonCreateNew()->setChecked(true);
        wizard->ActionListUpdate();
        wizard->actNext()->trigger(); // to the page of a new board
        wizard->actNext()->trigger(); // the folder chooser, answered above
    });
    Window = std::make_unique<TfrmMain>(Session, App, [] { return false; });
    Window->FormCreate();
    ASSERT_TRUE(wizardSeen);
    ASSERT_NE(Window->KivBoard(), nullptr);
    Window->FormActivate();

    EXPECT_EQ(Settings().KivDBasePath, Board + "/");
    ASSERT_EQ(Window->Board().RowCount(), 1);
    EXPECT_EQ(Window->Board().Row(0).SubItems[TBoardRow::Status], "Available");
    EXPECT_EQ(Stored().Administrator, 1);

    Window->CloseMain();
    Window.reset();
    EXPECT_EQ(Stored().Status, "Offline");

    // The next start goes straight to the board.
    Window = std::make_unique<TfrmMain>(Session, App, [] { return false; });
    Window->FormCreate();
    EXPECT_NE(Window->KivBoard(), nullptr);
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

// A second start only said "Kiv is already running!" and left the running
// copy's window hidden or minimised, out of reach where the desktop has no
// notification area or taskbar.
TEST_F(LifecycleTest, ASecondStartBringsTheRunningWindowBackRestored)
{
    PointAtBoard();
    Create();
    const std::unique_ptr<TfrmMain> running = std::move(Window);
    running->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(running.get()));
    for (bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden" : "minimised");
        if (hidden)
            running->hide();
        else
            running->showMinimized();
        QSignalSpy raised(running.get(), &TfrmMain::RaisedBySecondStart);
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
        Create();
        EXPECT_EQ(TKivMessageBox::LastAnsweredText(), QStringLiteral("Kiv is already running!"));
        ASSERT_TRUE(raised.wait(5000));
        EXPECT_TRUE(running->isVisible());
        EXPECT_FALSE(running->isMinimized());
    }
    Window.reset();
}

TEST_F(LifecycleTest, ASettingTheSettingsWindowWouldRefuseIsBroughtBackAndSaidInTheStatusBarAtStart)
{
    PointAtBoard();
    ChangeSettings([](TKivSettings &s) { s.UpdateDisplayTime = 2147483647; });
    testing::internal::CaptureStderr();
    Start();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(
        Window->StatusText().indexOf(QString::fromStdString(Home.SettingsFile() + ": UpdateDisplayTime = 2147483647")),
        -1)
        << Window->StatusText().toStdString();
    EXPECT_EQ(Settings().UpdateDisplayTime, 360);
}
