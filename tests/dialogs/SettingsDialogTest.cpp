// The settings dialog and the settings command, with the program's real
// windows over a temporary board: what the dialog loads and stores, who may
// change the board's switches, its immediate actions, moving the board, the
// new values taking effect at once, and the new-message sound.
#include "config/SettingsDialog.h"
#include "app/KivWindows.h"
#include "gui/FileDialog.h"
#include "gui/HelpWindow.h"
#include "gui/Sound.h"
#include "platform/Files.h"
#include "tests/main/MainTesting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>

namespace {

using TShow = std::function<bool(TfrmSettings &)>;

class SettingsDialogTest : public TMainWindowTest {
protected:
    ~SettingsDialogTest() override
    {
        // The dialogs go before the main window that is their parent.
        Windows.reset();
        TKivSound::SetTestSink({});
    }

    /// The program as its entry puts it together: the main window, the
    /// dialogs, then the first activation.
    void StartProgram()
    {
        PointAtBoard();
        Create();
        ASSERT_TRUE(Window->KivBoard() != nullptr);
        Windows = std::make_unique<TKivWindows>(*Window);
        Window->FormActivate();
    }

    TfrmSettings &Dialog() { return Windows->frmSettings; }
    TKivBoard &Kiv() { return *Window->KivBoard(); }

    /// Runs the settings command; once the dialog is up, show is run on it,
    /// and the dialog is closed with OK when show answers true, else with
    /// Cancel. Answers whether the dialog was shown.
    bool RunSettings(const TShow &show)
    {
        bool shown = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (shown || !Dialog().isVisible())
                return;
            shown = true;
            (show(Dialog()) ? Dialog().btnOk() : Dialog().btnCancel())->click();
        });
        poll.start(5);
        Window->ExecuteAction(TKivAction::Settings);
        return shown;
    }

    TKivCfgRecord Config() const
    {
        TKivCfgRecord record;
        ReadKivCfg(Board + "/", record);
        return record;
    }
    void Configure(uint8_t loggingType, uint8_t allowMessages)
    {
        TKivCfgRecord record;
        record.LoggingType = loggingType;
        record.AllowMessages = allowMessages;
        WriteKivCfg(Board + "/", record);
    }
    TUser StoredMe() const
    {
        for (const TStoredUser &stored : StoredUsers(Board))
            if (stored.User.LogInName == Me)
                return stored.User;
        return {};
    }
    /// A board whose first, administrator, user is somebody else, so that
    /// this workstation's user signs in as an ordinary user.
    void BoardOfAnotherAdministrator()
    {
        TFakeBoard fakes;
        TKivFile(Board + "/", fakes.Ctx, "BOSS").SignIn();
    }

    static void Pick(QComboBox *combo, const QString &text)
    {
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
    }

    std::unique_ptr<TKivWindows> Windows;
};

/// One control of the dialog: how it shows the stored value, how the test
/// changes it, and how the change is stored.
struct TSettingCase {
    const char *What;
    std::function<bool(TfrmSettings &)> Loaded;
    std::function<void(TfrmSettings &)> Change;
    std::function<bool(const TKivSettings &, const TKivCfgRecord &, const TUser &)> Stored;
};

} // namespace

TEST_F(SettingsDialogTest, EverySettingGoesThroughTheDialogIntoItsStoreAndTakesEffectAtOnce)
{
    ChangeSettings([](TKivSettings &s) {
        s.CheckForNewMsgEvery = 40;
        s.UpdateDisplayTime = 70;
        s.PlayWavForNewMsg = true;
        s.WavToPlayForNewMsgs = "/sounds/ding.wav";
        s.ShowOfflineUsers = true;
        s.SortListView = true;
        s.UseVacation = false;
        s.DisplayDepartments = false;
        s.ClearCommentOnSD = false;
        s.ChangeStatusOnSD = false;
        s.ShutDownStatus = "Gone home";
        s.AutoComment = false;
        s.MainFontSize = 12;
        s.MainFontColour = 0x008000;
        s.ShowGrid = true;
    });
    StartProgram();
    Kiv().Departments().EnsureDepartmentDataset();
    Kiv().Departments().AddDepartment("Sales");
    Kiv().Departments().AddDepartment("Accounts");
    Session.User.Name = "Lee Jones";
    Session.User.Ext = "1234";
    Session.User.Department = "Accounts";
    Kiv().KivFile().UpdateUser();
    Configure(1, 1);
    TKivSound::SetTestSink([](const QString &) {});

    const QString chime = QStringLiteral("/sounds/chime.wav");
    const std::vector<TSettingCase> cases{
        {"txtName", [](TfrmSettings &d) { return d.txtName()->text() == QStringLiteral("Lee Jones"); },
         [](TfrmSettings &d) { d.txtName()->setText(QStringLiteral("Pat Smith")); },
         [](auto &, auto &, const TUser &u) { return u.Name == "Pat Smith"; }},
        {"txtExtension", [](TfrmSettings &d) { return d.txtExtension()->text() == QStringLiteral("1234"); },
         [](TfrmSettings &d) { d.txtExtension()->setText(QStringLiteral("4321")); },
         [](auto &, auto &, const TUser &u) { return u.Ext == "4321"; }},
        {"cboDepartments",
         [](TfrmSettings &d) { return d.cboDepartments()->currentText() == QStringLiteral("Accounts"); },
         [](TfrmSettings &d) { Pick(d.cboDepartments(), QStringLiteral("Sales")); },
         [](auto &, auto &, const TUser &u) { return u.Department == "Sales"; }},
        {"chkSortByUser", [](TfrmSettings &d) { return d.chkSortByUser()->isChecked(); },
         [](TfrmSettings &d) { d.chkSortByUser()->setChecked(false); },
         [](const TKivSettings &s, auto &, auto &) { return !s.SortListView; }},
        {"chkShowOfflineUsers", [](TfrmSettings &d) { return d.chkShowOfflineUsers()->isChecked(); },
         [](TfrmSettings &d) { d.chkShowOfflineUsers()->setChecked(false); },
         [](const TKivSettings &s, auto &, auto &) { return !s.ShowOfflineUsers; }},
        {"chkUseVacation", [](TfrmSettings &d) { return !d.chkUseVacation()->isChecked(); },
         [](TfrmSettings &d) { d.chkUseVacation()->setChecked(true); },
         [](const TKivSettings &s, auto &, auto &) { return s.UseVacation; }},
        {"chkShowGrid", [](TfrmSettings &d) { return d.chkShowGrid()->isChecked(); },
         [](TfrmSettings &d) { d.chkShowGrid()->setChecked(false); },
         [](const TKivSettings &s, auto &, auto &) { return !s.ShowGrid; }},
        {"chkDisplayDepartments", [](TfrmSettings &d) { return !d.chkDisplayDepartments()->isChecked(); },
         [](TfrmSettings &d) { d.chkDisplayDepartments()->setChecked(true); },
         [](const TKivSettings &s, auto &, auto &) { return s.DisplayDepartments; }},
        {"chkAutoComment", [](TfrmSettings &d) { return !d.chkAutoComment()->isChecked(); },
         [](TfrmSettings &d) { d.chkAutoComment()->setChecked(true); },
         [](const TKivSettings &s, auto &, auto &) { return s.AutoComment; }},
        {"cboFontColour", [](TfrmSettings &d) { return d.cboFontColour()->currentText() == QStringLiteral("Green"); },
         [](TfrmSettings &d) { Pick(d.cboFontColour(), QStringLiteral("Maroon")); },
         [](const TKivSettings &s, auto &, auto &) { return s.MainFontColour == 0x000080; }},
        {"cboFontSize", [](TfrmSettings &d) { return d.cboFontSize()->currentText() == QStringLiteral("12"); },
         [](TfrmSettings &d) { Pick(d.cboFontSize(), QStringLiteral("14")); },
         [](const TKivSettings &s, auto &, auto &) { return s.MainFontSize == 14; }},
        {"seDisplayUpdate", [](TfrmSettings &d) { return d.seDisplayUpdate()->value() == 70; },
         [](TfrmSettings &d) { d.seDisplayUpdate()->setValue(120); },
         [](const TKivSettings &s, auto &, auto &) { return s.UpdateDisplayTime == 120; }},
        {"chkClearComment", [](TfrmSettings &d) { return !d.chkClearComment()->isChecked(); },
         [](TfrmSettings &d) { d.chkClearComment()->setChecked(true); },
         [](const TKivSettings &s, auto &, auto &) { return s.ClearCommentOnSD; }},
        {"chkSetStatusToOnSD",
         [](TfrmSettings &d) { return !d.chkSetStatusToOnSD()->isChecked() && !d.cboShutDownStatus()->isEnabled(); },
         [](TfrmSettings &d) { d.chkSetStatusToOnSD()->setChecked(true); },
         [](const TKivSettings &s, auto &, auto &) { return s.ChangeStatusOnSD; }},
        {"cboShutDownStatus",
         [](TfrmSettings &d) { return d.cboShutDownStatus()->currentText() == QStringLiteral("Gone home"); },
         [](TfrmSettings &d) { Pick(d.cboShutDownStatus(), QStringLiteral("In meeting")); },
         [](const TKivSettings &s, auto &, auto &) { return s.ShutDownStatus == "In meeting"; }},
        {"cboLogging", [](TfrmSettings &d) { return d.cboLogging()->currentText() == QStringLiteral("Text"); },
         [](TfrmSettings &d) { Pick(d.cboLogging(), QStringLiteral("CSV")); },
         [](auto &, const TKivCfgRecord &c, auto &) { return c.LoggingType == 2; }},
        {"chkAllowMessages", [](TfrmSettings &d) { return d.chkAllowMessages()->isChecked(); },
         [](TfrmSettings &d) { d.chkAllowMessages()->setChecked(false); },
         [](auto &, const TKivCfgRecord &c, auto &) { return c.AllowMessages == 0; }},
        {"seCheckNewMessages", [](TfrmSettings &d) { return d.seCheckNewMessages()->value() == 40; },
         [](TfrmSettings &d) { d.seCheckNewMessages()->setValue(30); },
         [](const TKivSettings &s, auto &, auto &) { return s.CheckForNewMsgEvery == 30; }},
        // The file is chosen while the box still enables its button.
        {"edtWavFileSelected",
         [](TfrmSettings &d) { return d.edtWavFileSelected()->text() == QStringLiteral("/sounds/ding.wav"); },
         [chime](TfrmSettings &d) {
             TKivFileDialog::SetNextFile(chime);
             d.BitBtnWAV()->click();
         },
         [](const TKivSettings &s, auto &, auto &) { return s.WavToPlayForNewMsgs == "/sounds/chime.wav"; }},
        {"chkPlayWavFile",
         [](TfrmSettings &d) { return d.chkPlayWavFile()->isChecked() && d.BitBtnWAV()->isEnabled(); },
         [](TfrmSettings &d) { d.chkPlayWavFile()->setChecked(false); },
         [](const TKivSettings &s, auto &, auto &) { return !s.PlayWavForNewMsg; }},
        // No desktop service is on this test's bus: the away group shows its
        // values but offers none of them.
        {"chkAwayWhenLocked",
         [](TfrmSettings &d) { return d.chkAwayWhenLocked()->isChecked() && !d.chkAwayWhenLocked()->isEnabled(); },
         [](TfrmSettings &d) { d.chkAwayWhenLocked()->setChecked(false); },
         [](const TKivSettings &s, auto &, auto &) { return !s.AwayWhenLocked; }},
        {"seAwayAfterIdle", [](TfrmSettings &d) { return d.seAwayAfterIdle()->value() == 10; },
         [](TfrmSettings &d) { d.seAwayAfterIdle()->setValue(25); },
         [](const TKivSettings &s, auto &, auto &) { return s.AwayAfterIdleMinutes == 25; }},
        {"txtAwayStatus", [](TfrmSettings &d) { return d.txtAwayStatus()->text() == QStringLiteral("Away from desk"); },
         [](TfrmSettings &d) { d.txtAwayStatus()->setText(QStringLiteral(" Out for a walk ")); },
         [](const TKivSettings &s, auto &, auto &) { return s.AwayStatus == "Out for a walk"; }},
    };

    // Confirmed as loaded, every value is stored back as it was.
    const TKivSettings before = Settings();
    ASSERT_TRUE(RunSettings([&](TfrmSettings &d) {
        EXPECT_EQ(d.PageControlSettings()->currentIndex(), 0);
        for (const TSettingCase &c : cases)
            EXPECT_TRUE(c.Loaded(d)) << c.What << " does not show the stored value";
        return true;
    }));
    EXPECT_TRUE(Settings() == before);
    EXPECT_EQ(Config().LoggingType, 1);
    EXPECT_EQ(Config().AllowMessages, 1);

    // Every change is stored where it belongs.
    ASSERT_TRUE(RunSettings([&](TfrmSettings &d) {
        for (const TSettingCase &c : cases)
            c.Change(d);
        return true;
    }));
    const TKivSettings after = Settings();
    const TKivCfgRecord config = Config();
    const TUser me = StoredMe();
    for (const TSettingCase &c : cases)
        EXPECT_TRUE(c.Stored(after, config, me)) << c.What << " was not stored";
    EXPECT_EQ(me.Status, "Available");

    // The window follows without a restart: periods, font, grid, sorting,
    // the department pane and messaging.
    EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
    EXPECT_EQ(Window->tmrUpdateListView()->interval(), 120000);
    EXPECT_EQ(Window->tmrCheckForMessages()->interval(), 30000);
    EXPECT_FALSE(Window->tmrCheckForMessages()->isActive());
    EXPECT_FALSE(Window->actVeiwInBox()->isEnabled());
    EXPECT_EQ(Window->lvMain()->font().pointSize(), 14);
    EXPECT_FALSE(Window->Board().ShowGrid());
    EXPECT_FALSE(Window->Board().Sorted());
    EXPECT_EQ(Window->SplitterBarWidth(), 3);
    EXPECT_EQ(Window->actOnHoliday()->text(), QString::fromUtf8(KivHolidayTexts(true).Caption));
    ASSERT_EQ(Window->Board().RowCount(), 1);
    EXPECT_EQ(Window->Board().Row(0).Caption, "Pat Smith");
}

TEST_F(SettingsDialogTest, AnOrdinaryUserCannotChangeTheBoardsSwitchesNorPutBackOldOnes)
{
    BoardOfAnotherAdministrator();
    StartProgram();
    ASSERT_FALSE(Session.Administrator);
    Configure(1, 1);

    ASSERT_TRUE(RunSettings([this](TfrmSettings &d) {
        EXPECT_FALSE(d.lblLoggingType()->isEnabled());
        EXPECT_FALSE(d.cboLogging()->isEnabled());
        EXPECT_FALSE(d.chkAllowMessages()->isEnabled());
        // Even controls changed behind their disabling change nothing.
        d.cboLogging()->setCurrentIndex(0);
        d.chkAllowMessages()->setChecked(false);
        // Meanwhile an administrator elsewhere turns the CSV log on.
        Configure(2, 1);
        return true;
    }));
    EXPECT_EQ(Config().LoggingType, 2);
    EXPECT_EQ(Config().AllowMessages, 1);
    EXPECT_TRUE(Window->tmrCheckForMessages()->isActive());
}

// Two administrators in the settings at once, each changing one switch: the
// one who confirms last keeps the other's change.
TEST_F(SettingsDialogTest, AnAdministratorWritesOnlyTheSwitchChangedOverKivCfgAsItIsNow)
{
    StartProgram();
    ASSERT_TRUE(Session.Administrator);
    struct TCase {
        std::function<void(TfrmSettings &)> Change;
        uint8_t OthersLogging, OthersMessages, LoggingAfter, MessagesAfter;
    };
    const TCase cases[] = {
        {[](TfrmSettings &d) { Pick(d.cboLogging(), QStringLiteral("CSV")); }, 0, 0, 2, 0},
        {[](TfrmSettings &d) { d.chkAllowMessages()->setChecked(true); }, 1, 0, 1, 1},
    };
    for (const TCase &c : cases) {
        ASSERT_TRUE(RunSettings([&](TfrmSettings &d) {
            c.Change(d);
            Configure(c.OthersLogging, c.OthersMessages); // the other administrator's OK
            return true;
        }));
        EXPECT_EQ(Config().LoggingType, c.LoggingAfter);
        EXPECT_EQ(Config().AllowMessages, c.MessagesAfter);
        EXPECT_EQ(Window->actVeiwInBox()->isEnabled(), c.MessagesAfter == 1);
    }
}

TEST_F(SettingsDialogTest, ValuesTheListsLackAreLoadedAsWritten)
{
    ChangeSettings([](TKivSettings &s) {
        s.ShutDownStatus = "Retired";
        s.MainFontColour = 0x123456;
    });
    StartProgram();
    Session.User.Department = "Closed down";
    Kiv().KivFile().UpdateUser();
    Configure(3, 1);

    ASSERT_TRUE(RunSettings([](TfrmSettings &d) {
        // An unknown logging type leaves the choice as it was: none yet.
        EXPECT_EQ(d.cboLogging()->currentIndex(), -1);
        EXPECT_EQ(d.cboDepartments()->currentIndex(), -1);
        // A shutdown status the catalogue lacks shows the last status.
        EXPECT_EQ(d.cboShutDownStatus()->currentIndex(), d.cboShutDownStatus()->count() - 1);
        EXPECT_EQ(d.cboFontColour()->currentText(), QStringLiteral("Custom"));
        return true;
    }));
    EXPECT_EQ(Config().LoggingType, 3);
    EXPECT_EQ(Settings().MainFontColour, 0x123456);
    EXPECT_EQ(Settings().ShutDownStatus, Dialog().cboShutDownStatus()->currentText().toStdString());
    EXPECT_NE(Settings().ShutDownStatus, "Retired");
    EXPECT_EQ(StoredMe().Department, "");

    // A colour of the list drops the extra entry at the next showing.
    ChangeSettings([](TKivSettings &s) { s.MainFontColour = TfrmSettings::ListColour(4); });
    ASSERT_TRUE(RunSettings([](TfrmSettings &d) {
        EXPECT_EQ(d.cboFontColour()->count(), TfrmSettings::ColourCount);
        EXPECT_EQ(d.cboFontColour()->currentText(), QStringLiteral("Navy"));
        return false;
    }));
}

// A size the list lacks (a hand edit) is brought to the nearest one when the
// settings are read, so the dialog opens on it.
TEST_F(SettingsDialogTest, AFontSizeTheListLacksOpensTheDialogOnTheNearestSize)
{
    ChangeSettings([](TKivSettings &s) { s.MainFontSize = 9; });
    StartProgram();
    QString size;
    EXPECT_TRUE(RunSettings([&size](TfrmSettings &dialog) {
        size = dialog.cboFontSize()->currentText();
        return false;
    }));
    EXPECT_EQ(size, QStringLiteral("8"));
}

TEST_F(SettingsDialogTest, TheSmallButtonsActAtOnceAndNothingElseOutlivesCancel)
{
    StartProgram();
    const std::string elsewhere = Home.Root() + "/elsewhere";
    mkdir(elsewhere.c_str(), 0700);
    SetHelpFile(QStringLiteral(KIV_BUILT_HELP_FILE));
    QStringList played;
    TKivSound::SetTestSink([&played](const QString &file) { played << file; });

    TKivMessageBox::ForgetAnswers();
    ASSERT_TRUE(RunSettings([&](TfrmSettings &d) {
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
        d.SpeedBtnLaunch()->click();

        // The chooser's folder is asked about before it is taken.
        TKivFileDialog::SetNextFolder(QString::fromStdString(elsewhere));
        TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
        d.BitBtnBrowse()->click();
        EXPECT_EQ(d.txtLocationOfKivDBase()->text().toStdString(), Board + "/");
        TKivFileDialog::SetNextFolder(QString::fromStdString(elsewhere));
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
        d.BitBtnBrowse()->click();
        EXPECT_EQ(d.txtLocationOfKivDBase()->text().toStdString(), elsewhere + "/");

        d.chkPlayWavFile()->setChecked(true);
        TKivFileDialog::SetNextFile(QStringLiteral("/sounds/chime.wav"));
        d.BitBtnWAV()->click();
        EXPECT_EQ(TKivFileDialog::LastTitle(), QStringLiteral("Choose .WAV file"));
        EXPECT_EQ(TKivFileDialog::LastFilter(), QStringLiteral("*.wav (*.wav)"));

        d.btnHelp()->click();
        TfrmHelp *help = TfrmHelp::Current();
        EXPECT_TRUE(help != nullptr && help->isVisible());
        if (help != nullptr) {
            EXPECT_EQ(help->txtHelp()->source().fragment(), QStringLiteral("Displaying_your_settings"));
            help->close();
        }
        return false;
    }));
    EXPECT_EQ(TKivMessageBox::AnsweredTexts(),
              (QStringList{QStringLiteral("Kiv will now start automatically on startup"),
                           QStringLiteral("Are you sure.  Change the location of the Kiv Database?"),
                           QStringLiteral("Are you sure.  Change the location of the Kiv Database?")}));
    // The autostart entry stays; the chosen sound was heard as a preview.
    EXPECT_EQ(TTempHome::ReadAll(AutostartEntryPath()), AutostartEntryText(ProgramPath(), "kiv"));
    EXPECT_EQ(played, QStringList{QStringLiteral("/sounds/chime.wav")});
    // Cancel stored nothing else: the board is where it was, and the program runs.
    EXPECT_EQ(Settings().KivDBasePath, Board + "/");
    EXPECT_FALSE(Settings().PlayWavForNewMsg);
    EXPECT_EQ(App.Terminations, 0);
    EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
}

TEST_F(SettingsDialogTest, MovingTheBoardEndsTheProgramWithoutSigningOff)
{
    StartProgram();
    ASSERT_TRUE(Settings().ChangeStatusOnSD);
    const std::string elsewhere = Home.Root() + "/elsewhere";
    mkdir(elsewhere.c_str(), 0700);

    TKivMessageBox::ForgetAnswers();
    ASSERT_TRUE(RunSettings([&](TfrmSettings &d) {
        TKivFileDialog::SetNextFolder(QString::fromStdString(elsewhere));
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
        d.BitBtnBrowse()->click();
        Pick(d.cboLogging(), QStringLiteral("CSV"));
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
        return true;
    }));
    EXPECT_EQ(TKivMessageBox::LastAnsweredText(),
              QStringLiteral("The location of the Kiv database has been changed.\n\nKiv must be re-started to use the "
                             "new database location, and will now shut down."));
    EXPECT_EQ(Settings().KivDBasePath, elsewhere + "/");
    EXPECT_EQ(App.Terminations, 1);
    EXPECT_TRUE(Window->SkipSignOff());
    // Neither the shutdown status nor the board's switches were written.
    EXPECT_EQ(StoredMe().Status, "Available");
    EXPECT_EQ(Config().LoggingType, 0);
    EXPECT_FALSE(Window->tmrUpdateListView()->isActive());
    EXPECT_FALSE(Window->tmrCheckForMessages()->isActive());
}

TEST_F(SettingsDialogTest, SettingsThatCannotBeStoredLeaveTheProgramOnItsBoard)
{
    StartProgram();
    const std::string elsewhere = Home.Root() + "/elsewhere";
    mkdir(elsewhere.c_str(), 0700);
    const std::string store = Home.Config() + "/Brackwater";

    TKivMessageBox::ForgetAnswers();
    ASSERT_TRUE(RunSettings([&](TfrmSettings &d) {
        TKivFileDialog::SetNextFolder(QString::fromStdString(elsewhere));
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
        d.BitBtnBrowse()->click();
        // The settings' folder turns into a file: nothing can be stored there.
        EXPECT_EQ(rename(store.c_str(), (store + ".away").c_str()), 0);
        std::ofstream(store).put('x');
        TKivMessageBox::SetNextAnswer(TMsgAnswer::Ok);
        return true;
    }));
    EXPECT_EQ(TKivMessageBox::AnsweredTexts().size(), 2);
    EXPECT_EQ(App.Terminations, 0);
    EXPECT_EQ(Kiv().KivFile().DatabaseFolder, Board + "/");
    EXPECT_TRUE(Window->tmrUpdateListView()->isActive());
    remove(store.c_str());
    rename((store + ".away").c_str(), store.c_str());
    EXPECT_EQ(Settings().KivDBasePath, Board + "/");
}

TEST_F(SettingsDialogTest, TheCsvLogTurnedOnHereIsWrittenByTheNextChangeOnAnotherWorkstation)
{
    StartProgram();
    ASSERT_TRUE(Session.Administrator);
    const std::string log = Board + "/KivLog.csv";
    const auto otherWorkstation = [this](const char *status) {
        QProcess kivctl;
        kivctl.start(QStringLiteral(KIVCTL_PATH), {QStringLiteral("--board"), QString::fromStdString(Board),
                                                   QStringLiteral("status"), QString::fromLatin1(status)});
        return kivctl.waitForFinished(30000) && kivctl.exitStatus() == QProcess::NormalExit && kivctl.exitCode() == 0;
    };

    ASSERT_TRUE(otherWorkstation("In meeting"));
    EXPECT_FALSE(FileExists(log));

    ASSERT_TRUE(RunSettings([](TfrmSettings &d) {
        Pick(d.cboLogging(), QStringLiteral("CSV"));
        return true;
    }));
    ASSERT_TRUE(otherWorkstation("DND"));
    const std::vector<std::string> lines = LogLines(TTempHome::ReadAll(log));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("In meeting"), std::string::npos);
    EXPECT_NE(lines[1].find("DND"), std::string::npos);
}

TEST_F(SettingsDialogTest, TheNewMessageSoundIsTheBellUntilTheDialogHasBeenShown)
{
    ChangeSettings([](TKivSettings &s) {
        s.PlayWavForNewMsg = true;
        s.WavToPlayForNewMsgs = "/sounds/ding.wav";
    });
    StartProgram();
    EXPECT_EQ(Window->NewMessageSoundFile(), QString());

    // Shown once, even if cancelled, the dialog's controls choose the sound.
    ASSERT_TRUE(RunSettings([](TfrmSettings &) { return false; }));
    EXPECT_EQ(Window->NewMessageSoundFile(), QStringLiteral("/sounds/ding.wav"));

    // They keep what the last showing left in them.
    ASSERT_TRUE(RunSettings([](TfrmSettings &d) {
        d.chkPlayWavFile()->setChecked(false);
        return false;
    }));
    EXPECT_EQ(Window->NewMessageSoundFile(), QString());
    EXPECT_TRUE(Settings().PlayWavForNewMsg);
}

// A period typed outside its range (5 in a 10 to 360 field) was put back
// without a word: by Enter (which pressed OK as well), by a click on OK, or
// by OK's own key.
TEST_F(SettingsDialogTest, APeriodOutsideItsRangeIsRefusedAloud)
{
    StartProgram();
    const struct {
        QSpinBox *(TfrmSettings::*Spin)() const;
        int Tab;
        const char *Row;
        QString Range;
    } fields[] = {
        {&TfrmSettings::seDisplayUpdate, 0, "lblUpdateDisplay", QStringLiteral("10 to 360")},
        {&TfrmSettings::seCheckNewMessages, 2, "lblCheckMessages", QStringLiteral("10 to 180")},
    };
    enum class TWay { Enter, ClickOk, OkKey };
    for (const auto &field : fields) {
        for (TWay way : {TWay::Enter, TWay::ClickOk, TWay::OkKey}) {
            SCOPED_TRACE(std::string(field.Row) + " " + std::to_string(static_cast<int>(way)));
            bool open = false;
            QString note;
            ASSERT_TRUE(RunSettings([&](TfrmSettings &dialog) {
                dialog.PageControlSettings()->setCurrentIndex(field.Tab);
                QSpinBox *spin = (dialog.*field.Spin)();
                const QLabel *range = dialog.findChild<QLabel *>(QString::fromLatin1(field.Row) + "Range");
                EXPECT_EQ(range != nullptr ? range->text() : QString(), "(" + field.Range + ")");
                spin->setFocus();
                spin->selectAll();
                QTest::keyClicks(spin, QStringLiteral("5"));
                if (way == TWay::Enter)
                    QTest::keyClick(spin, Qt::Key_Return);
                else if (way == TWay::ClickOk)
                    QTest::mouseClick(dialog.btnOk(), Qt::LeftButton);
                else
                    dialog.btnOk()->click();
                open = dialog.isVisible();
                const QLabel *refused = dialog.findChild<QLabel *>(QString::fromLatin1(field.Row) + "Refused");
                note = refused != nullptr && refused->isVisible() ? refused->text() : QString();
                spin->setFocus();
                spin->selectAll();
                QTest::keyClicks(spin, QStringLiteral("70"));
                return true;
            }));
            EXPECT_TRUE(open);
            EXPECT_TRUE(note.startsWith(QStringLiteral("5 was refused"))) << note.toStdString();
            EXPECT_TRUE(note.contains(field.Range)) << note.toStdString();
            const TKivSettings settings = Settings();
            EXPECT_EQ(field.Tab == 0 ? settings.UpdateDisplayTime : settings.CheckForNewMsgEvery, 70);
        }
    }
}

// F1 did nothing in the settings: the tabs' help contexts were never read.
TEST_F(SettingsDialogTest, F1OpensTheHelpAtTheTopicOfTheTabShown)
{
    SetHelpFile(QStringLiteral(KIV_BUILT_HELP_FILE));
    StartProgram();
    const QStringList topics{"Displaying_your_settings", "Settings_options", "Settings_messages"};
    for (int tab = 0; tab < topics.size(); ++tab) {
        QString opened;
        ASSERT_TRUE(RunSettings([&](TfrmSettings &dialog) {
            dialog.PageControlSettings()->setCurrentIndex(tab);
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(&dialog, Qt::Key_F1);
            if (TfrmHelp *help = TfrmHelp::Current()) {
                opened = help->txtHelp()->source().fragment();
                help->close();
            }
            return false;
        }));
        EXPECT_EQ(opened, topics[tab]);
    }
    SetHelpFile(QString());
}
