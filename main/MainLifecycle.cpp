// The life of the main window from creation to destruction: the one-copy
// check, finding the board database, signing the user in as "Available", and
// at the end signing the user off, storing the window's geometry and saving
// the alert list.
#include "main/MainWindow.h"

#include "board/BoardLocation.h"
#include "board/BoardSession.h"
#include "board/EngineCheck.h"
#include "board/Session.h"
#include "board/UserRecord.h"
#include "gui/BoardList.h"
#include "gui/HelpWindow.h"
#include "main/RaiseRequest.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/InstanceLock.h"
#include "platform/KivError.h"
#include "platform/Paths.h"
#include "platform/TerminalText.h"
#include "platform/Text.h"

#include <QApplication>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

constexpr const char *kAlreadyRunning = "Kiv is already running!";
constexpr const char *kUnableToLocate = "Kiv was unable to locate the database location.";
constexpr const char *kChooseNewLocation = "Would you like to choose a new database location?";
constexpr const char *kPleaseRestart = "Please re-start Kiv and choose the new database location.";
constexpr const char *kRequiresDatabase = "Kiv requires a database to be able to run, and will now shut down.";
constexpr const char *kStartAutomatically =
    "Thankyou for using Kiv.\r\rWould you like Kiv to start automatically on startup?";
constexpr const char *kWillStartAutomatically = "Kiv will now start automatically on startup";
constexpr const char *kCloseWithoutSigningOff = "Would you like to close Kiv without signing off?";
constexpr const char *kAvailable = "Available";
/// Up to this many new messages waiting at start are shown one after another.
constexpr std::size_t kMessagesReadOneByOne = 5;
/// The program's icon, by the name its desktop entry gives it.
constexpr const char *kIconName = "kiv";

/// The location as the settings keep it: a folder ending in its separator,
/// a board server's URI as given (a '/' after it would change the URI).
std::string WithSeparator(const std::string &folder)
{
    return EndsInSeparator(folder) || IsServerLocation(folder) ? folder : folder + '/';
}

TWizardOutcome RunDatabaseWizard(QWidget *parent)
{
    // Made for the one showing and freed after it, whatever its end.
    TfrmDatabaseWizard wizard(parent);
    TWizardOutcome outcome;
    outcome.End = wizard.Run();
    if (outcome.End == TfrmDatabaseWizard::TEnd::Chosen)
        outcome.Folder = wizard.Folder();
    return outcome;
}

/// A colour of the settings, 0x00BBGGRR.
QColor SettingColour(int32_t colour)
{
    const auto value = static_cast<uint32_t>(colour);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

/// A period of the settings in seconds as a timer interval: at least a second
/// (a zero would poll the board without pause), at most what a timer holds.
int TimerInterval(int32_t seconds)
{
    return std::clamp(seconds, 1, INT_MAX / 1000) * 1000;
}

/// A message for standard error on one line, in the form a text of the
/// board folder cannot steer the terminal with.
void PrintOnStandardError(const std::string &text)
{
    PrintErrorText("kiv", text, true);
}

} // namespace

TfrmMain::~TfrmMain()
{
    FormDestroy();
}

void TfrmMain::ReportFailure(const std::string &text)
{
    // At the end of the desktop session nobody is there to answer a box, and
    // a box left up would hold the session.
    if (FSessionEnding)
        PrintOnStandardError(text);
    else
        FPrompter.Show(text, TMsgIcon::Error, TMsgButtons::Ok);
}

void TfrmMain::FormCreate()
{
    FFirstActivate = true;
    // Every way out of the start but the one that creates the board closes
    // the window without signing anyone off.
    FSkipSignOff = true;

    // A second copy goes no further: it reads no setting and opens no board.
    FInstanceMutex = std::make_unique<TInstanceLock>(kInstanceMutexName);
    if (FInstanceMutex->AlreadyRunning()) {
        FInstanceMutex.reset();
        setEnabled(false);
        // The running copy's window comes to the front before the box says why.
        AskRunningCopyToRaise(RaiseSocketPath());
        FPrompter.Show(kAlreadyRunning, TMsgIcon::Information, TMsgButtons::Ok);
        FApp.Terminate();
        return;
    }
    if (FInstanceMutex->State() == TInstanceLockState::Unavailable)
        PrintOnStandardError(FInstanceMutex->Error() + "; a second copy of Kiv would not be noticed");
    else
        ListenForSecondStarts();

    TKivSettings settings;
    try {
        FKivCB.ReadSettings(settings);
        if (TBoardSession::LocationOf(settings.KivDBasePath).empty()) {
            const TWizardOutcome outcome = (FRunWizard ? FRunWizard : RunDatabaseWizard)(this);
            if (outcome.End == TfrmDatabaseWizard::TEnd::Cancelled) {
                FApp.Terminate();
                return;
            }
            if (outcome.End == TfrmDatabaseWizard::TEnd::Chosen && !TBoardSession::LocationOf(outcome.Folder).empty()) {
                settings.KivDBasePath = WithSeparator(outcome.Folder);
                FKivCB.WriteSettings(settings);
            }
        }
        FKivCB.ReadSettings(settings);
    } catch (const EKivError &error) {
        // Without its settings the program knows no board to open.
        FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
        CloseMain();
        return;
    }

    // The folder is tested and opened as the trimmed setting names it, so the
    // board opened is the one whose existence was tested.
    const std::string folder = TBoardSession::LocationOf(settings.KivDBasePath);
    // A board server is not tested here: opening the board tells plainly
    // what failed, within its time-outs.
    if (folder.empty() || (!IsServerLocation(folder) && !DirectoryExists(folder))) {
        const std::string question =
            std::string(kUnableToLocate) + Isolated(settings.KivDBasePath) + "\r\r" + kChooseNewLocation;
        if (FPrompter.Show(question, TMsgIcon::Confirmation, TMsgButtons::YesNo) == TMsgAnswer::Yes) {
            settings.KivDBasePath.clear();
            try {
                FKivCB.WriteSettings(settings);
                FPrompter.Show(kPleaseRestart, TMsgIcon::Information, TMsgButtons::Ok);
            } catch (const EKivError &error) {
                FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
            }
        } else {
            FPrompter.Show(kRequiresDatabase, TMsgIcon::Information, TMsgButtons::Ok);
        }
        CloseMain();
        return;
    }

    try {
        FBoardSession = std::make_unique<TBoardSession>(
            folder, TBoardContext{FSession, FPrompter, FApp, *this, TSystemClock::Instance()}, SettingsBoardFolder());
        FKiv = &FBoardSession->Board();
    } catch (const EKivEngineMissing &) {
        // The box has been shown and the program asked to end.
        CloseMain();
        return;
    } catch (const EKivError &error) {
        FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
        CloseMain();
        return;
    }
    // While the board is being shut down a copy started meanwhile closes at
    // once: it shows no window and signs nobody in.
    if (FBoardSession->ShuttingDown()) {
        CloseMain();
        return;
    }
    // Told once, at the start: the list is empty, and why.
    const std::string unread = FKiv->LoadAlertList();
    if (!unread.empty())
        FPrompter.Show(unread, TMsgIcon::Warning, TMsgButtons::Ok);
    FHelpFile = ProgramHelpFile();
    FSkipSignOff = false;

    // The window is sized as the settings say, outside its frame, as the
    // close query measured it; the first showing centres it on the screen.
    QSize size(settings.MainWidth, settings.MainHeight);
    if (const QScreen *where = screen())
        size = size.boundedTo(where->availableGeometry().size());
    resize(size.expandedTo(minimumSize()));
    move(settings.MainLeft, settings.MainTop);
    ApplyBoardLook(settings);
    ApplyDepartmentPane(settings);
}

void TfrmMain::ApplyBoardLook(const TKivSettings &settings)
{
    Board().SetFontColour(SettingColour(settings.MainFontColour));
    Board().SetFontSize(settings.MainFontSize);
    Board().SetShowGrid(settings.ShowGrid);
}

void TfrmMain::ApplyDepartmentPane(const TKivSettings &settings)
{
    SetSplitterPosition(settings.DisplayDepartments ? settings.SplitterPos : 0);
    SetSplitterBarWidth(settings.DisplayDepartments ? 3 : 0);
}

void TfrmMain::ApplyTimerPeriods(const TKivSettings &settings)
{
    FMessageTimer.setInterval(TimerInterval(settings.CheckForNewMsgEvery));
    FUpdateTimer.setInterval(TimerInterval(settings.UpdateDisplayTime));
}

void TfrmMain::FormActivate()
{
    if (!FFirstActivate || FEnding)
        return;
    FFirstActivate = false;
    if (FSkipSignOff || !FKiv) {
        CloseMain();
        return;
    }

    try {
        TKivFile &kiv = FKiv->KivFile();
        const std::string folder = kiv.Folder();
        FBoardSession->Watcher().Settle(BoardChange::Users | BoardChange::Messages | BoardChange::Config
                                        | BoardChange::Departments);
        TKivCfgRecord config;
        kiv.ReadConfig(config);
        SetMessagesAllowed(kiv.AllowMessages != 0);

        TKivSettings settings;
        FKivCB.ReadSettings(settings);
        FSession.ShowOffline = settings.ShowOfflineUsers;
        // What was not taken from the settings or Kiv.cfg, said once at start.
        std::string notice = SettingsNotice();
        if (!kiv.ConfigNotice.empty())
            notice += (notice.empty() ? "" : " ") + kiv.ConfigNotice;
        if (!notice.empty())
            SetStatusText(notice);

        SetHolidayWording(settings.UseVacation);
        Board().AutoSizeColumns();
        kiv.SignIn();
        StartPresence();

        if (settings.FirstTimeRun) {
            if (FPrompter.Show(kStartAutomatically, TMsgIcon::Information, TMsgButtons::YesNo) == TMsgAnswer::Yes) {
                try {
                    CreateAutostartEntry(ProgramPath(), kIconName);
                    FPrompter.Show(kWillStartAutomatically, TMsgIcon::Information, TMsgButtons::Ok);
                } catch (const EKivError &error) {
                    // The question has had its answer; the settings dialog
                    // can make the entry later.
                    FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
                }
            }
            // The session may have ended while the question was up.
            if (FEnding)
                return;
            settings.FirstTimeRun = false;
            FKivCB.WriteSettings(settings);
        }
        // Under Qt every image of the buttons and toolbars is the program's
        // own: the check of the system's common controls always passes.

        FKivCB.ReadSettings(settings);
        Board().SetSorted(settings.SortListView);
        FSession.User.Status = kAvailable;
        kiv.SetStatus();
        kiv.FillBoard(Board());

        ApplyTimerPeriods(settings);
        FUpdateTimer.start();
        FPageTimer.Apply(settings);
        if (kiv.AllowMessages != 0)
            FMessageTimer.start();
        StartAwayKeeper(settings);
        FollowPush();

        TKivMessage &messages = FKiv->Messages();
        try {
            FAnnouncedMessages = messages.NewMessageKeys();
        } catch (const EKivError &error) {
            // The board is usable without its messages; the status bar says
            // why none are shown, until the message timer can read them.
            FAnnouncedMessages.clear();
            SetMessagesFault(std::string("Attempting to check for messages... ") + error.what());
        }
        std::sort(FAnnouncedMessages.begin(), FAnnouncedMessages.end());
        if (FAnnouncedMessages.size() > kMessagesReadOneByOne) {
            // After a busy day the in-box lists them all, instead of a
            // window for each.
            FTray->StartAnimation();
            QTimer::singleShot(0, this, [this] {
                if (!FEnding)
                    ExecuteAction(TKivAction::VeiwInBox);
            });
        } else if (!FAnnouncedMessages.empty()) {
            FTray->StartAnimation();
            if (FReadDialog != nullptr) {
                messages.ShowNewMessages(*FReadDialog);
                if (FEnding)
                    return;
                if (!messages.NewMessageWaiting())
                    FTray->StopAnimation();
            }
        }
        FKiv->Departments().FillDepartmentTree(DepartmentTree());
    } catch (const EKivEngineMissing &) {
        return;
    } catch (const std::exception &error) {
        // The rest of the start is not run; the window stays open. When the
        // users dataset failed, the next close skips the sign-off.
        FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
        return;
    }
    emit Started();
}

bool TfrmMain::FormCloseQuery()
{
    FCloseAllowed = RunCloseQuery();
    return FCloseAllowed;
}

bool TfrmMain::RunCloseQuery()
{
    if (FSkipSignOff || !FKiv)
        return true;
    TKivSettings settings;
    try {
        FKivCB.ReadSettings(settings);
    } catch (const EKivError &error) {
        // Nothing says what to do at shutdown; the program still ends.
        ReportFailure(error.what());
        return true;
    }

    try {
        TKivFile &kiv = FKiv->KivFile();
        if (settings.ClearCommentOnSD) {
            FSession.User.Comments.clear();
            kiv.UpdateUser();
        }
        if (settings.ChangeStatusOnSD) {
            FSession.User.Status = settings.ShutDownStatus;
            kiv.SetStatus();
        }
    } catch (const EKivError &error) {
        // On the user's own Exit the user chooses: the window stays, to try
        // again, or Kiv closes without signing off (a board that cannot be
        // reached must not make a kill the only way out). At the end of the
        // session the program ends all the same.
        if (FSessionEnding) {
            PrintOnStandardError(error.what());
        } else {
            FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
            // The session may have ended while a box was up.
            if (!FSessionEnding
                && FPrompter.Show(kCloseWithoutSigningOff, TMsgIcon::Confirmation, TMsgButtons::YesNo)
                       != TMsgAnswer::Yes
                && !FSessionEnding)
                return false;
        }
    }

    // The size inside the frame, as the next start applies it; a maximised
    // window keeps the size it has when it is not.
    const QRect normal = normalGeometry();
    settings.MainHeight = normal.height();
    settings.MainLeft = pos().x();
    settings.MainTop = pos().y();
    settings.MainWidth = normal.width();
    if (settings.DisplayDepartments)
        settings.SplitterPos = SplitterPosition();
    try {
        FKivCB.WriteSettings(settings);
    } catch (const EKivError &error) {
        ReportFailure(error.what());
    }
    // Signed off: a second close (the session's end after Exit) does not
    // sign off again.
    FSkipSignOff = true;
    return true;
}

void TfrmMain::EndSession()
{
    FSessionEnding = true;
    // Nobody is there to answer a box or a dialog left up at the session's
    // end: each is put away unanswered, and what showed it goes on as after
    // No or Cancel.
    for (QWidget *modal = QApplication::activeModalWidget(); modal != nullptr;
         modal = QApplication::activeModalWidget()) {
        modal->hide();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    CloseMain();
}

void TfrmMain::StartAwayKeeper(const TKivSettings &settings)
{
    if (!FDesktop)
        FDesktop = NewDesktopPresence();
    TAwayKeeper::THost host;
    // Nothing is stored while a dialog holds the board timer: the user
    // administration, for one, fills the signed-in user object with another
    // user's details meanwhile.
    host.Board = [this] { return FKiv && !FEnding && FBoardPauses == 0 ? &FKiv->KivFile() : nullptr; };
    host.Stored = [this] { RefillBoard(); };
    host.Fault = [this](const std::string &fault) {
        FAwayFault = fault;
        ShowStatusText();
    };
    FAway = std::make_unique<TAwayKeeper>(*FDesktop, std::move(host));
    FAway->Apply(settings);
    // The screen may be locked already, as under an autostart at login.
    FAway->Tick();
}

void TfrmMain::FormDestroy()
{
    // Nothing is stored for the user once the board is going.
    FAway.reset();
    FPresenceTimer.stop();
    if (FPresence) {
        // Closed on purpose, with or without the shutdown status: never
        // shown as a copy that stopped.
        FPresence->SignOff();
        if (FKiv)
            FKiv->KivFile().Presence = nullptr;
        FPresence.reset();
    }
    if (FKiv) {
        try {
            if (!FKiv->SaveAlertList() && FKiv->Alerts().Count() > 0)
                PrintOnStandardError("The alert list was not saved: " + FKiv->AlertFile()
                                     + " could not be read when Kiv started, and is kept as it is");
        } catch (const EKivError &error) {
            PrintOnStandardError(error.what());
        }
        FKiv = nullptr;
        FBoardSession.reset();
    }
    // Released last, so that a copy started meanwhile finds the alert list
    // already saved.
    FInstanceMutex.reset();
}
