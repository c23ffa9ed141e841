// The main window: the board, the department tree, the menus, toolbars and
// pop-up menus bound to one list of actions, the status bar, the two polling
// timers and the notification-area icon.
#pragma once

#include "board/Presence.h"
#include "board/Seams.h"
#include "config/DatabaseWizard.h"
#include "config/KivCB.h"
#include "gui/BoardWindow.h"
#include "gui/DesktopPresence.h"
#include "gui/KivImages.h"
#include "gui/MessageBox.h"
#include "main/AwayKeeper.h"
#include "main/MainActions.h"
#include "main/NewMessageSound.h"
#include "main/PageTimer.h"
#include "main/TrayIcon.h"
#include "platform/FileAge.h"

#include <QMainWindow>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSplitter;
class QStatusBar;
class QToolBar;
class QTreeWidget;
class TBoardListView;
class TDepartmentTreeView;
class TInstanceLock;
class TBoardSession;
class TKivBoard;
class TKivFile;
class TRaiseListener;
class TSession;
class TfrmSettings;

/// How the setup wizard ended, and the folder it confirmed when one was chosen.
struct TWizardOutcome {
    TfrmDatabaseWizard::TEnd End = TfrmDatabaseWizard::TEnd::Closed;
    std::string Folder;
};
/// Shows the setup wizard modally over parent and answers how it ended.
using TWizardRunner = std::function<TWizardOutcome(QWidget *parent)>;

class TfrmMain : public QMainWindow, public IMainHost, public IBoardWindow {
    Q_OBJECT
public:
    /// Builds the window and all its controls. The session gives the
    /// administrator flag; app is told when the program is to end. Whether
    /// the desktop has a notification area is asked of trayAvailable (the
    /// desktop itself when none is given).
    TfrmMain(TSession &session, IAppControl &app, TTrayAvailability trayAvailable = {}, QWidget *parent = nullptr);
    ~TfrmMain() override;

    // ---- the window's state, and the enabling it decides ----------------

    /// Messaging is allowed on this board; re-decides the enabling.
    void SetMessagesAllowed(bool allowed);
    bool MessagesAllowed() const { return FMessagesAllowed; }

    /// Enables or disables every action from the window's state: the
    /// administrator flag, whether a board row is selected, and whether
    /// messaging is allowed. Runs whenever that state may have changed, when
    /// the program falls idle, and before any action runs.
    void ActionListUpdate();

    // ---- running the actions ---------------------------------------------

    /// Sets what an action does when it runs. An action whose enabling says
    /// no at the moment it is invoked does nothing.
    void SetExecuteHandler(TKivAction action, std::function<void()> handler);
    /// Invokes an action as its menu entry, button or shortcut does.
    void ExecuteAction(TKivAction action);

    /// Closes the window for real and ends the program (Exit Kiv, the end of
    /// the desktop session); the close box only hides the window.
    void CloseMain();
    /// CloseMain has been asked for.
    bool Ending() const override { return FEnding; }

    /// Shows the window again from the notification area.
    void RestoreFromTray();

    /// Sets the caption and hint of the holiday command to the office's wording.
    void SetHolidayWording(bool useVacation);

    /// Position of the splitter (the tree's width) and its bar width; both 0
    /// hide the department tree.
    void SetSplitterPosition(int position);
    int SplitterPosition() const;
    void SetSplitterBarWidth(int width);
    int SplitterBarWidth() const;

    // ---- start-up and shutdown (MainLifecycle.cpp) ------------------------

    /// The window's creation: the one-copy check, the settings, the setup
    /// wizard and the board's data objects. A start that fails here ends the
    /// program (the app is told) without signing anyone in.
    void FormCreate();
    /// The first activation, run by the window's first showing: sign-in,
    /// "Available", the board, the timers, waiting messages and the tree.
    /// Later calls do nothing.
    void FormActivate();
    /// The close query of every real close: signs the user off as the
    /// settings ask and stores the window's geometry. False when the close
    /// is refused (signing off failed on the user's own Exit).
    bool FormCloseQuery();
    /// Saves the alert list and frees the board; run as the window is destroyed.
    void FormDestroy();
    /// The desktop session ends (log-out, shutdown, SIGTERM, SIGHUP): the
    /// window closes for real, and a failure to sign off is reported on
    /// standard error instead of in a box, so the session is never held up.
    void EndSession();
    bool SessionEnding() const { return FSessionEnding; }
    /// The close query has let the window close: the program ends on its own.
    bool CloseAllowed() const { return FCloseAllowed; }

    /// Replaces how the setup wizard is shown (tests answer it).
    void SetWizardRunner(TWizardRunner runner) { FRunWizard = std::move(runner); }
    /// The dialog in which the new messages waiting at start-up are read.
    void SetReadDialog(IReadDialog *dialog) { FReadDialog = dialog; }
    /// The board the window works on; null until a start has created it.
    TKivBoard *KivBoard() const override { return FKiv; }
    /// The program's help file: its own path with the extension ".hlp", beside
    /// it or in the installed share folder.
    const QString &HelpFile() const { return FHelpFile; }
    /// The settings' font colour, font size and grid lines on the board.
    void ApplyBoardLook(const TKivSettings &settings);
    /// The department tree beside the board, or none, as the settings say.
    void ApplyDepartmentPane(const TKivSettings &settings);
    /// The refresh and message periods of the settings on their timers.
    void ApplyTimerPeriods(const TKivSettings &settings);
    /// The session on the board the window works on; null until a start has
    /// created it.
    TBoardSession *BoardSession() const { return FBoardSession.get(); }
    /// What shows the user away while the screen is locked or they are idle,
    /// and what the desktop offers it; both null until the user is signed in.
    TAwayKeeper *AwayKeeper() const { return FAway.get(); }
    IDesktopPresence *DesktopPresence() const { return FDesktop.get(); }

    // ---- what the commands, timers and dialogs share (MainBoard.cpp) ------

    /// Refills the board as every refill does: the users of the filter's
    /// department while the department filter is on, otherwise every user.
    void RefillBoard() override;
    /// Stores status as a status command does, then refills the board: for
    /// the user of the selected row when the signed-in user is an
    /// administrator and a row is selected, otherwise for the signed-in user
    /// (whose tray image and administrator flag follow the record).
    void StoreStatus(const std::string &status) override;
    /// Enables the message timer exactly when the board allows messaging
    /// and no window has it paused.
    void RestoreMessageTimer();

    // ---- IBoardWindow: the rest of it, and ITimerPause ----------------------

    QWidget &Widget() override { return *this; }
    bool NewMailAnimating() const override;
    void StopNewMailAnimation() override;

    void PauseTimers(unsigned which) override;
    void ResumeTimers(unsigned which) override;
    /// Where the new-message sound comes from: the wave file to play, or an
    /// empty text for the desktop's bell. Until one is set, the bell.
    using TSoundChoice = std::function<QString()>;
    void SetNewMessageSoundChoice(TSoundChoice choice) { FSoundChoice = std::move(choice); }
    /// The wave file the new-message sound would play now (empty: the bell).
    QString NewMessageSoundFile() const { return FSoundChoice ? FSoundChoice() : QString(); }

    // ---- the settings command (SettingsCommand.cpp) -----------------------

    /// The settings dialog the settings command shows; binds the command to it.
    void SetSettingsDialog(TfrmSettings *dialog);
    /// The settings command: both timers stopped, the dialog shown over the
    /// settings block and Kiv.cfg, and on OK the block saved and either the
    /// program ended (the board folder moved) or Kiv.cfg written and the new
    /// values applied; then the timers restarted.
    void actSettingsExecute();

    // ---- the message windows -------------------------------------------------

    /// While held, Send Message stays disabled whatever the board shows: a
    /// message window is up. Released, it follows its rule again.
    void SetSendMessageHeld(bool held) override;
    bool SendMessageHeld() const { return FSendMessageHeld; }
    /// What a double-click on the notification-area icon does before the
    /// window comes back from the notification area (which it does in every
    /// case).
    void SetTrayDoubleClickHandler(std::function<void()> handler) { FTrayDoubleClick = std::move(handler); }

    // ---- the status commands, Refresh, the tree and the two timers ---------
    // ---- (MainCommands.cpp, MainTimers.cpp) ---------------------------------

    /// A fixed-status command (At Lunch to Sick): the action's status stored
    /// as StoreStatus stores it, under the busy cursor; the holiday wording
    /// is read from the settings at each use, and Out Of Office opens the
    /// comment dialog afterwards when the settings ask for it.
    void FixedStatusExecute(TKivAction action);
    /// Refresh: refills the board, without the stamps or the alert check.
    void actRefreshExecute();
    /// A click on the department tree: the root (or any node) named
    /// "Departments" shows every department, another node filters on itself.
    void tvMainClick();
    /// The board timer: the shutdown marker closes the window; otherwise a
    /// changed users dataset re-reads the user, refills the board and shows
    /// the alert box for watched colleagues who changed.
    void tmrUpdateListViewTimer();
    /// The message timer: a changed messages dataset with a new message
    /// waiting sounds, animates the tray icon, stops polling and says so.
    void tmrCheckForMessagesTimer();
    /// The presence timer, once a period: shows that this copy runs, reads
    /// who else does, and redraws the board when what it shows of that
    /// changed.
    void tmrPresenceTimer();
    /// Gives the user's current status the time it ends, asked for in a
    /// small dialog (the "Back at..." command).
    void actBackAtExecute();
    /// What this copy keeps of presence; null before the sign-in.
    TPresenceKeeper *Presence() const { return FPresence.get(); }
    /// Follows the socket on which the board pushes news of a change (a
    /// board server): a new one after a reconnection, none while it is lost.
    void FollowPush();
    /// The descriptor is readable: news of a change may have come.
    void PushArrived();
    /// The running timers look now.
    void LookNow();
    /// The board timer's own alert box is up; the board goes on refreshing
    /// under it, and what changes meanwhile waits for a box after it.
    bool AlertBoxOpen() const { return FAlertBoxOpen; }
    /// Plays the new-message sound without waiting for it to finish.
    void PlayNewMessageSound();
    /// Runs work as a command runs: a raised error is shown in an error box
    /// and the program carries on.
    void ShowingErrors(const std::function<void()> &work);

    // ---- IMainHost ---------------------------------------------------------

    /// Text of the first panel of the status bar.
    void SetStatusText(const std::string &text) override;
    /// The first panel's text.
    QString StatusText() const;
    /// The window is to close without signing the user off.
    void SetSkipSignOff() override { FSkipSignOff = true; }
    bool SkipSignOff() const { return FSkipSignOff; }
    /// The status image shown by the notification-area icon.
    void SetTrayStatusImage(int imageIndex) override;

    // ---- the controls ------------------------------------------------------

    QAction *Action(TKivAction action) const { return FActions[static_cast<std::size_t>(action)]; }
    QAction *actAtLunch() const { return Action(TKivAction::AtLunch); }
    QAction *actAvailable() const { return Action(TKivAction::Available); }
    QAction *actAwayFromDesk() const { return Action(TKivAction::AwayFromDesk); }
    QAction *actDND() const { return Action(TKivAction::DND); }
    QAction *actGoneHome() const { return Action(TKivAction::GoneHome); }
    QAction *actInMeeting() const { return Action(TKivAction::InMeeting); }
    QAction *actOnHoliday() const { return Action(TKivAction::OnHoliday); }
    QAction *actOutOfOffice() const { return Action(TKivAction::OutOfOffice); }
    QAction *actSick() const { return Action(TKivAction::Sick); }
    QAction *actCustomStatus() const { return Action(TKivAction::CustomStatus); }
    QAction *actBackAt() const { return Action(TKivAction::BackAt); }
    QAction *actComments() const { return Action(TKivAction::Comments); }
    QAction *actSendMessage() const { return Action(TKivAction::SendMessage); }
    QAction *actVeiwInBox() const { return Action(TKivAction::VeiwInBox); }
    QAction *actAddToAlertList() const { return Action(TKivAction::AddToAlertList); }
    QAction *actClearAlertList() const { return Action(TKivAction::ClearAlertList); }
    QAction *actViewAlertList() const { return Action(TKivAction::ViewAlertList); }
    QAction *actUsers() const { return Action(TKivAction::Users); }
    QAction *actDepartments() const { return Action(TKivAction::Departments); }
    QAction *actStatuses() const { return Action(TKivAction::Statuses); }
    QAction *actSettings() const { return Action(TKivAction::Settings); }
    QAction *actFilterDepartment() const { return Action(TKivAction::FilterDepartment); }
    QAction *actRefresh() const { return Action(TKivAction::Refresh); }
    QAction *actHelpOnKiv() const { return Action(TKivAction::HelpOnKiv); }
    QAction *actHelpAbout() const { return Action(TKivAction::HelpAbout); }
    QAction *actFileExit() const { return Action(TKivAction::FileExit); }

    QSplitter *stMain() const { return FSplitter; }
    QTreeWidget *tvMain() const { return FTree; }
    QTreeWidget *lvMain() const override { return FList; }
    QStatusBar *StatusBarMain() const override;
    QMenu *popmnuMain() const { return FPopMain; }
    QMenu *popMnuTrayIcon() const { return FPopTray; }
    QTimer *tmrUpdateListView() { return &FUpdateTimer; }
    QTimer *tmrCheckForMessages() { return &FMessageTimer; }
    QTimer *tmrPresence() { return &FPresenceTimer; }
    TPageTimer &PageTimer() { return FPageTimer; }
    TKivTrayIcon *StTrayIcon() const { return FTray; }
    const TKivImageList &imgSmallPics() const override { return FSmallPics; }
    const TKivImageList &ImageListNewMail() const { return FNewMail; }

    /// The board and the tree as the data classes write to them.
    TBoardListView &Board() const override { return *FBoard; }
    TDepartmentTreeView &DepartmentTree() const override { return *FDepartments; }

    /// Whether a board row is selected.
    bool RowSelected() const;

    /// Design size and minimum size of the window; the minimum is widened
    /// where the toolbar row needs more.
    static QSize DesignSize() { return {577, 381}; }
    static QPoint DesignPosition() { return {136, 128}; }
    static QSize MinimumSize() { return {448, 175}; }
    /// Initial splitter position.
    static constexpr int DesignSplitterPosition = 105;

    /// The first showing centres the window on its screen, keeping its size,
    /// and runs the first activation.
    void setVisible(bool visible) override;

signals:
    /// The first activation has run to its end: the user is signed in and
    /// the board filled.
    void Started();
    /// A second start of the program has brought the window to the front.
    void RaisedBySecondStart();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void CreateActions();
    void CreateControls();
    void CreateMenus();
    void CreateToolBars();
    void CreatePopupMenus();
    void CreateTimers();
    void FitMinimumSize();
    QMenu *NewMenu(const QString &title, const QString &name, QWidget *parent);
    QAction *MenuEntry(QAction *source, const QString &name, const QString &caption, const QString &hint);
    void HideToTray();
    void FormResize();
    void lvMainDblClick();

    TSession &FSession;
    IAppControl &FApp;
    TKivImageList FSmallPics{TKivImageSet::Small};
    TKivImageList FNewMail{TKivImageSet::NewMail};
    std::array<QAction *, KivActionCount> FActions{};
    std::array<std::function<void()>, KivActionCount> FHandlers{};

    QSplitter *FSplitter = nullptr;
    QTreeWidget *FTree = nullptr;
    QTreeWidget *FList = nullptr;
    std::unique_ptr<TBoardListView> FBoard;
    std::unique_ptr<TDepartmentTreeView> FDepartments;
    QMenu *FPopMain = nullptr;
    QMenu *FPopTray = nullptr;
    QTimer FUpdateTimer;
    QTimer FMessageTimer;
    QTimer FPresenceTimer;
    std::unique_ptr<TPresenceKeeper> FPresence;
    /// Starts showing that this copy runs; a failure is said in the status bar.
    void StartPresence();
    /// The board page of the page group, when the settings name a place for it.
    TPageTimer FPageTimer{[this] { return PageBoard(); }, this};
    /// The board the page is written of; null before it is open and once the program ends.
    TKivFile *PageBoard();
    TKivTrayIcon *FTray = nullptr;

    bool FMessagesAllowed = false;
    bool FSkipSignOff = false;
    bool FEnding = false;
    bool FShownOnce = false;
    /// Times the window was brought back; a hide planned before the last one is dropped.
    unsigned FRestores = 0;

    // Start-up and shutdown (MainLifecycle.cpp).
    /// Lets a second start of the program bring this window to the front;
    /// run once this copy holds the single-instance lock.
    void ListenForSecondStarts();
    std::unique_ptr<TRaiseListener> FRaiseListener;
    bool RunCloseQuery();
    void ReportFailure(const std::string &text);
    TKivCB FKivCB;
    TKivMessageBox FPrompter{this};
    std::unique_ptr<TInstanceLock> FInstanceMutex;
    std::unique_ptr<TBoardSession> FBoardSession;
    /// The session's board, or null.
    TKivBoard *FKiv = nullptr;
    TWizardRunner FRunWizard;
    IReadDialog *FReadDialog = nullptr;
    QString FHelpFile;
    bool FFirstActivate = false;
    bool FSessionEnding = false;
    bool FCloseAllowed = false;

    TSoundChoice FSoundChoice;

    /// Asks the desktop what it offers and starts showing the user away as
    /// the settings say; run once the user is signed in.
    void StartAwayKeeper(const TKivSettings &settings);
    std::unique_ptr<IDesktopPresence> FDesktop;
    std::unique_ptr<TAwayKeeper> FAway;

    // The settings command (SettingsCommand.cpp).
    void ApplySettings(const TKivSettings &settings);
    TfrmSettings *FSettingsDialog = nullptr;

    // The message windows.
    void StTrayIconDblClick();
    bool FSendMessageHeld = false;
    std::function<void()> FTrayDoubleClick;

    // The commands and timers (MainCommands.cpp, MainTimers.cpp).
    void BindCommands();
    TNewMessageSound *FSound = nullptr;
    bool FAlertBoxOpen = false;
    void ApplyBoardConfig();
    void CheckAlertList();
    void ShowPendingAlerts();
    /// Alert lines not shown yet, for the box after the one that is up.
    std::string FPendingAlertText;
    /// The keys of the new messages announced so far, sorted.
    std::vector<std::string> FAnnouncedMessages;
    /// Why the board or the messages could not be read, or the away status
    /// not stored, at the last tick that tried; shown in the status bar, over any other text, until a
    /// tick succeeds.
    void SetBoardFault(const std::string &text);
    void SetMessagesFault(const std::string &text);
    void ShowStatusText();
    std::string FBoardFault;
    /// Wakes the timers when the board pushes a change; none for a folder.
    std::unique_ptr<QSocketNotifier> FPushNotifier;
    int FPushSocket = -1;
    std::string FMessagesFault;
    std::string FAwayFault;
    std::string FStatusText;
    /// Pauses of the board and message timers not yet ended.
    int FBoardPauses = 0;
    int FMessagePauses = 0;
};
