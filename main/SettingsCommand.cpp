// The settings command: the settings dialog over this workstation's settings
// block and the board's Kiv.cfg, with both timers stopped while it is open,
// and the new values applied to the window at once.
#include "main/MainWindow.h"

#include "board/EngineCheck.h"
#include "board/KivBoard.h"
#include "config/SettingsDialog.h"
#include "gui/BoardList.h"
#include "platform/KivError.h"

namespace {

constexpr const char *kLocationChanged =
    "The location of the Kiv database has been changed.\r\r"
    "Kiv must be re-started to use the new database location, and will now shut down.";

} // namespace

void TfrmMain::SetSettingsDialog(TfrmSettings *dialog)
{
    FSettingsDialog = dialog;
    SetExecuteHandler(TKivAction::Settings, [this] { actSettingsExecute(); });
}

void TfrmMain::actSettingsExecute()
{
    if (FSettingsDialog == nullptr || !FKiv)
        return;
    // No board refresh or message poll runs while the dialog is open.
    const TTimerPauseScope pause(*this, PausedTimer::Both);

    TKivFile &kiv = FKiv->KivFile();
    // The folder the board was opened on; the dialog's OK points the board
    // at the folder it names.
    const std::string boardFolder = kiv.DatabaseFolder;
    try {
        TKivSettings settings;
        TKivCfgRecord config;
        FKivCB.ReadSettings(settings);
        kiv.ReadConfig(config);
        const TKivCfgRecord read = config;
        const std::string folder = settings.KivDBasePath;
        FSettingsDialog->SetAwaySources(FDesktop ? FDesktop->Sources() : TPresenceSources{});
        if (FSettingsDialog->Execute(*FKiv, settings, config) == QDialog::Accepted) {
            FKivCB.WriteSettings(settings);
            if (settings.KivDBasePath != folder) {
                // The board in use is not the one the settings name any more:
                // the program ends at once, touching neither board.
                FPrompter.Show(kLocationChanged, TMsgIcon::Information, TMsgButtons::Ok);
                FSkipSignOff = true;
                CloseMain();
            } else {
                // Kiv.cfg is written only when the dialog changed the board's
                // switches, and then only the switch changed, so that
                // confirming it never puts back what another administrator
                // has set since it opened.
                if (config.LoggingType != read.LoggingType || config.AllowMessages != read.AllowMessages)
                    kiv.WriteConfigChanges(read, config);
                ApplySettings(settings);
            }
        }
    } catch (const EKivEngineMissing &) {
        // Its box has been shown and the program asked to end.
    } catch (const EKivError &error) {
        // Settings that could not be stored still name the board in use: the
        // program goes on with it, not with a folder nothing names.
        kiv.DatabaseFolder = boardFolder;
        FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
    }

    // A program that is ending polls nothing more.
    if (FEnding)
        return;
    // The board's messaging switch as this copy last read or wrote it: what
    // the dialog stored, or what the board said when nothing was stored.
    SetMessagesAllowed(kiv.AllowMessages != 0);
}

void TfrmMain::ApplySettings(const TKivSettings &settings)
{
    ApplyTimerPeriods(settings);
    FPageTimer.Apply(settings);
    Board().SetSorted(settings.SortListView);
    ApplyBoardLook(settings);
    ApplyDepartmentPane(settings);
    if (FAway)
        FAway->Apply(settings);
    // The holiday command speaks as the office now does.
    SetHolidayWording(settings.UseVacation);
    RefillBoard();
}
