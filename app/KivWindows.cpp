#include "app/KivWindows.h"

#include "main/MainWindow.h"

#include <QCheckBox>
#include <QLineEdit>

TKivWindows::TKivWindows(TfrmMain &frmMain)
    : FMain(frmMain), FPrompter(&frmMain), frmSettings(FPrompter, &frmMain), frmKivDepartments(frmMain),
      frmKivStatuses(frmMain), frmKivComments(frmMain), frmKivUsers(frmMain), frmSelectStatus(frmMain),
      frmKivMessages(frmMain), frmKivMessageInBox(frmMain), frmSelectDepartment(frmMain),
      FAlertCommands(frmMain, FPrompter)
{
    FMain.SetSettingsDialog(&frmSettings);
    // The new-message sound follows the settings dialog's sound controls as
    // they stand: until the dialog has been shown they hold no file and the
    // box is not ticked, so the bell rings.
    FMain.SetNewMessageSoundChoice([this] {
        return frmSettings.chkPlayWavFile()->isChecked() ? frmSettings.edtWavFileSelected()->text() : QString();
    });

    // The administration commands, enabled for administrators only.
    Bind(TKivAction::Users, [this] { frmKivUsers.ShowModal(); });
    Bind(TKivAction::Statuses, [this] { frmKivStatuses.ShowModal(); });
    Bind(TKivAction::Departments, [this] { frmKivDepartments.ShowModal(); });

    Bind(TKivAction::Comments, [this] { frmKivComments.ExecuteComments(); });
    Bind(TKivAction::CustomStatus, [this] { frmSelectStatus.ExecuteCustomStatus(); });
    FMain.SetReadDialog(&frmKivMessages);
    Bind(TKivAction::SendMessage, [this] { frmKivMessages.ExecuteSendMessage(); });
    Bind(TKivAction::VeiwInBox, [this] { frmKivMessageInBox.ExecuteViewInBox(); });
    FMain.SetTrayDoubleClickHandler([this] { frmKivMessageInBox.TrayIconDoubleClick(frmKivMessages); });
    Bind(TKivAction::FilterDepartment, [this] { frmSelectDepartment.ExecuteFilterDepartment(); });
    Bind(TKivAction::AddToAlertList, [this] { FAlertCommands.ExecuteAddToAlertList(); });
    Bind(TKivAction::ClearAlertList, [this] { FAlertCommands.ExecuteClearAlertList(); });
    Bind(TKivAction::ViewAlertList, [this] { FAlertCommands.ExecuteViewAlertList(); });
}

TKivWindows::~TKivWindows()
{
    // The main window outlives the dialogs; nothing of it is left pointing at them.
    FMain.SetReadDialog(nullptr);
    FMain.SetTrayDoubleClickHandler(nullptr);
    FMain.SetNewMessageSoundChoice(nullptr);
    FMain.SetSettingsDialog(nullptr);
    for (TKivAction action : FBound)
        FMain.SetExecuteHandler(action, nullptr);
}

void TKivWindows::Bind(TKivAction action, std::function<void()> handler)
{
    FMain.SetExecuteHandler(action, std::move(handler));
    FBound.push_back(action);
}
