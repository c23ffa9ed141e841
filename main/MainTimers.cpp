// The two polling timers of the main window. Each copy learns of everybody
// else's changes from the board session's change watcher; a board server
// also pushes news of a change, which makes the running timers look at
// once. An idle board tick asks it about the shutdown marker, the users
// dataset, Kiv.cfg and the department catalogue; an idle message tick about
// the messages dataset; neither opens a dataset. Only a change leads to any
// dataset work. Ticks never show an error box: while the board or a dataset
// cannot be read, the status bar says so and why, until a tick succeeds; a
// failure is tried again when the file's age next changes.
#include "main/MainWindow.h"

#include "board/BoardLocation.h"
#include "board/BoardSession.h"
#include "board/EngineCheck.h"
#include "board/KivCfg.h"
#include "board/Presence.h"
#include "gui/BoardList.h"
#include "platform/KivError.h"

#include <algorithm>
#include <exception>

namespace {

constexpr const char *kUpdateFailed = "Attempting to update Kiv... ";
constexpr const char *kCheckFailed = "Attempting to check for messages... ";
constexpr const char *kUnreachable = "the board folder cannot be reached: ";
constexpr const char *kNewMessage = "You have a new Kiv message";

/// Sets a flag for as long as it lives.
class TFlagScope {
public:
    explicit TFlagScope(bool &flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope &) = delete;
    TFlagScope &operator=(const TFlagScope &) = delete;

private:
    bool &FFlag;
};

} // namespace

void TfrmMain::tmrUpdateListViewTimer()
{
    if (!FBoardSession || FEnding)
        return;
    // Once the tick is done, whichever way it ends (the window may be gone).
    QTimer::singleShot(0, this, &TfrmMain::FollowPush);
    const TBoardChanges changes = FBoardSession->Watcher().Look(BoardChange::Shutdown | BoardChange::Users
                                                                | BoardChange::Config | BoardChange::Departments);
    if (changes.Has(BoardChange::Shutdown)) {
        CloseMain();
        return;
    }
    if (changes.Unreachable) {
        SetBoardFault(kUpdateFailed
                      + (changes.Fault.empty() ? std::string(kUnreachable) + FKiv->KivFile().Folder() : changes.Fault));
        return;
    }
    // A status whose time has come ends here; the users dataset it moves on
    // refills the board at the next tick. No call before that time.
    if (FPresence)
        FPresence->ExpireBackAt();
    if (changes.Changed == 0)
        return;

    // Each part is tried on its own, so a Kiv.cfg that cannot be read does
    // not keep the board from being refilled; the first failure is shown.
    std::string fault;
    const auto attempt = [&](unsigned part, const auto &work) {
        if (!changes.Has(part))
            return;
        try {
            work();
        } catch (const EKivEngineMissing &) {
            // Its box has been shown and the program asked to end.
        } catch (const std::exception &error) {
            if (fault.empty())
                fault = kUpdateFailed + std::string(error.what());
        }
    };
    attempt(BoardChange::Config, [this] { ApplyBoardConfig(); });
    attempt(BoardChange::Users, [this] {
        FBoardSession->FollowUserRecord();
        SetTrayStatusImage(TKivFile::StatusImageIndex(FSession.User.Status));
        RefillBoard();
        CheckAlertList();
    });
    attempt(BoardChange::Departments, [this] { FKiv->Departments().FillDepartmentTree(DepartmentTree()); });
    if (!FEnding)
        SetBoardFault(fault);
}

void TfrmMain::ApplyBoardConfig()
{
    TKivFile &kiv = FKiv->KivFile();
    const bool allowedBefore = kiv.AllowMessages != 0;
    TKivCfgRecord config;
    kiv.ReadConfig(config);
    const bool allowed = kiv.AllowMessages != 0;
    SetMessagesAllowed(allowed);
    // Polling that waits for a message window to be opened stays waiting
    // while the switch is as it was.
    if (allowed != allowedBefore)
        RestoreMessageTimer();
}

void TfrmMain::CheckAlertList()
{
    TKivAlert &alerts = FKiv->Alerts();
    alerts.CheckAlertList(Board());
    if (alerts.ChangeText.empty())
        return;
    // The board goes on refreshing while the box is up; what changes
    // meanwhile comes in one box after it, never in boxes piled on it.
    FPendingAlertText += alerts.ChangeText;
    if (!FAlertBoxOpen)
        ShowPendingAlerts();
}

void TfrmMain::ShowPendingAlerts()
{
    // Shown once the tick has returned: a timer is not run again while its
    // own tick is still running, and the box may stay up all weekend.
    FAlertBoxOpen = true;
    QTimer::singleShot(0, this, [this] {
        {
            const TFlagScope open(FAlertBoxOpen);
            TKivAlert &alerts = FKiv->Alerts();
            alerts.ChangeText = std::move(FPendingAlertText);
            FPendingAlertText.clear();
            if (!FEnding)
                FPrompter.Show(alerts.NotificationText(FKiv->Context().Clock), TMsgIcon::Information, TMsgButtons::Ok);
        }
        if (!FPendingAlertText.empty() && !FEnding)
            ShowPendingAlerts();
    });
}

void TfrmMain::tmrCheckForMessagesTimer()
{
    if (!FBoardSession || FEnding)
        return;
    // Once the tick is done, whichever way it ends (the window may be gone).
    QTimer::singleShot(0, this, &TfrmMain::FollowPush);
    if (!FBoardSession->Watcher().Look(BoardChange::Messages).Has(BoardChange::Messages))
        return;
    try {
        std::vector<std::string> waiting = FKiv->Messages().NewMessageKeys();
        std::sort(waiting.begin(), waiting.end());
        // Only a message not announced before is announced: sending one, or
        // a colleague's reading theirs, moves the dataset on too.
        const bool unannounced =
            !std::includes(FAnnouncedMessages.begin(), FAnnouncedMessages.end(), waiting.begin(), waiting.end());
        FAnnouncedMessages = std::move(waiting);
        SetMessagesFault(std::string());
        if (unannounced) {
            // The sound marks the change from the status icon to the
            // new-mail icon, not every message after it.
            if (!FTray->Animating())
                PlayNewMessageSound();
            FTray->StartAnimation();
            // Polling waits until the in-box or a message dialog is opened.
            FMessageTimer.stop();
            FPrompter.Show(kNewMessage, TMsgIcon::Information, TMsgButtons::Ok);
        }
    } catch (const EKivEngineMissing &) {
        // Its box has been shown and the program asked to end.
    } catch (const std::exception &error) {
        SetMessagesFault(kCheckFailed + std::string(error.what()));
    }
}

void TfrmMain::StartPresence()
{
    TKivFile &kiv = FKiv->KivFile();
    // Presence lives in a file beside a folder board's datasets; a board on
    // a server keeps none yet, and its rows are shown as stored.
    if (IsServerLocation(kiv.DatabaseFolder))
        return;
    FPresence = std::make_unique<TPresenceKeeper>(kiv, FKiv->Context().Clock);
    try {
        FPresence->SignIn();
    } catch (const EKivError &error) {
        // The board works without it; the next period claims the slot again.
        SetStatusText(error.what());
    }
    kiv.Presence = &FPresence->Snapshot();
    FPresenceTimer.setInterval(FPresence->PeriodSeconds() * 1000);
    FPresenceTimer.start();
}

void TfrmMain::tmrPresenceTimer()
{
    if (!FPresence || !FKiv || FEnding)
        return;
    const bool changed = FPresence->Period();
    const std::string notice = FPresence->TakeNotice();
    if (!notice.empty())
        SetStatusText(notice);
    if (!changed)
        return;
    try {
        RefillBoard();
    } catch (const std::exception &error) {
        SetBoardFault(kUpdateFailed + std::string(error.what()));
    }
}

void TfrmMain::FollowPush()
{
    const int socket = FBoardSession && !FEnding ? FBoardSession->Watcher().PushSocket() : -1;
    // News that came during the tick's look has been read off the socket.
    if (socket >= 0 && FBoardSession->Watcher().TakePushed())
        QTimer::singleShot(0, this, &TfrmMain::LookNow);
    if (socket == FPushSocket)
        return;
    if (FPushNotifier) {
        // It may be the one whose signal is running now.
        FPushNotifier->setEnabled(false);
        FPushNotifier.release()->deleteLater();
    }
    FPushSocket = socket;
    if (socket < 0)
        return;
    FPushNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    connect(FPushNotifier.get(), &QSocketNotifier::activated, this, &TfrmMain::PushArrived);
}

void TfrmMain::LookNow()
{
    if (!FBoardSession || FEnding)
        return;
    // A timer paused by a window stays paused: the news waits for it.
    if (FUpdateTimer.isActive())
        tmrUpdateListViewTimer();
    if (FMessageTimer.isActive() && !FEnding)
        tmrCheckForMessagesTimer();
}

void TfrmMain::PushArrived()
{
    if (!FBoardSession || FEnding)
        return;
    if (FBoardSession->Watcher().TakePushed())
        LookNow();
    FollowPush();
}

TKivFile *TfrmMain::PageBoard()
{
    return FKiv && !FEnding ? &FKiv->KivFile() : nullptr;
}

void TfrmMain::PlayNewMessageSound()
{
    FSound->Play(NewMessageSoundFile());
}
