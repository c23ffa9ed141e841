#include "app/KivWindows.h"

#include "board/KivBoard.h"
#include "main/MainWindow.h"

#include <QCheckBox>
#include <QLineEdit>

TKivWindows::TKivWindows(TfrmMain &frmMain)
    : FMain(frmMain), FPrompter(&frmMain), frmSettings(FPrompter, &frmMain), frmKivDepartments(frmMain),
      frmKivStatuses(frmMain), frmKivUsers(frmMain),
      frmKivMessages([this]() -> TKivMessage * { return FMain.KivBoard() ? &FMain.KivBoard()->Messages() : nullptr; },
                     FPrompter, &frmMain)
{
    FMain.SetSettingsDialog(&frmSettings);
    // The new-message sound follows the settings dialog's sound controls as
    // they stand: until the dialog has been shown they hold no file and the
    // box is not ticked, so the bell rings.
    FMain.SetNewMessageSoundChoice([this] {
        return frmSettings.chkPlayWavFile()->isChecked() ? frmSettings.edtWavFileSelected()->text() : QString();
    });
    FMain.SetReadDialog(&frmKivMessages);

    // The administration commands, enabled for administrators only.
    FMain.SetExecuteHandler(TKivAction::Users, [this] { frmKivUsers.ShowModal(); });
    FMain.SetExecuteHandler(TKivAction::Statuses, [this] { frmKivStatuses.ShowModal(); });
    FMain.SetExecuteHandler(TKivAction::Departments, [this] { frmKivDepartments.ShowModal(); });
}
