// The two polling timers of the main window. There is no server: each copy
// learns of everybody else's changes by the modification stamps of the users
// and messages datasets in the board folder. An idle tick costs the shutdown
// marker test and one file age per timer and opens no dataset; only a changed
// stamp leads to any dataset work. Ticks never show an error box: a failure
// leaves a short text in the status bar and is tried again when the file's
// age next changes.
#include "main/MainWindow.h"

#include "board/EngineCheck.h"
#include "board/KivBoard.h"
#include "board/UserRecord.h"
#include "main/BoardList.h"
#include "platform/Files.h"

#include <exception>

namespace {

/// Every copy closes while this file is in the board folder; Kiv never makes it.
constexpr const char *kShutdownMarker = "KivDB31.smd";
constexpr const char *kMessagesDataFile = "KivMesg.isd";
constexpr const char *kUpdateFailed = "Attempting to update Kiv...";
constexpr const char *kCheckFailed = "Attempting to check for messages...";
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
    if (!FKiv || FEnding)
        return;
    TKivFile &kiv = FKiv->KivFile();
    const std::string folder = kiv.Folder();
    if (FileExists(folder + kShutdownMarker)) {
        CloseMain();
        return;
    }
    // Ticks keep coming while the alert box is up (its event loop runs them,
    // so the marker above is still obeyed). They wait for the box: the stamp
    // stays as it was, so the first tick after it has gone sees every change
    // made meanwhile, in one box, and boxes never pile up inside each other.
    if (FAlertBoxOpen)
        return;

    try {
        // The age is read once: the refill below comes after it, so a change
        // made since is seen by the next tick.
        const TFileAge age = FreshFileAge(folder + UserRecord::DatasetName + ".isd");
        if (age == FUsersStamp)
            return;
        FUsersStamp = age;

        kiv.RefreshCurrentUser();
        SetTrayStatusImage(TKivFile::StatusImageIndex(FSession.User.Status));
        FSession.Administrator = FSession.User.Administrator == 1;
        RefillBoard();

        TKivAlert &alerts = FKiv->Alerts();
        alerts.CheckAlertList(Board());
        if (!alerts.ChangeText.empty()) {
            // Shown once the tick has returned: a timer is not run again
            // while its own tick is still running, and the box may stay up
            // all weekend.
            FAlertBoxOpen = true;
            QTimer::singleShot(0, this, [this, text = alerts.NotificationText(FKiv->Context().Clock)] {
                const TFlagScope open(FAlertBoxOpen);
                if (!FEnding)
                    FPrompter.Show(text, TMsgIcon::Information, TMsgButtons::Ok);
            });
        }
    } catch (const EKivEngineMissing &) {
        // Its box has been shown and the program asked to end.
    } catch (const std::exception &) {
        SetStatusText(kUpdateFailed);
    }
}

void TfrmMain::tmrCheckForMessagesTimer()
{
    if (!FKiv || FEnding)
        return;
    try {
        const TFileAge age = FreshFileAge(FKiv->KivFile().Folder() + kMessagesDataFile);
        if (age == FMessagesStamp)
            return;
        FMessagesStamp = age;

        if (FKiv->Messages().NewMessageWaiting()) {
            // The sound marks the change from the status icon to the
            // new-mail icon, not every message after it.
            if (!FTray->Animating())
                PlayNewMessageSound();
            FTray->StartAnimation();
            // Polling waits until the in-box or a message dialog is opened.
            FMessageTimer.stop();
            FPrompter.Show(kNewMessage, TMsgIcon::Information, TMsgButtons::Ok);
        }
        SetStatusText(std::string());
    } catch (const EKivEngineMissing &) {
        // Its box has been shown and the program asked to end.
    } catch (const std::exception &) {
        SetStatusText(kCheckFailed);
    }
}

TKivFile *TfrmMain::PageBoard()
{
    return FKiv && !FEnding ? &FKiv->KivFile() : nullptr;
}

void TfrmMain::PlayNewMessageSound()
{
    FSound->Play(NewMessageSoundFile());
}
