#include "app/KivWindows.h"

#include "main/MainWindow.h"

TKivWindows::TKivWindows(TfrmMain &frmMain)
    : FMain(frmMain), FPrompter(&frmMain), frmKivComments(frmMain), frmSelectStatus(frmMain), frmKivMessages(frmMain),
      frmKivMessageInBox(frmMain), frmSelectDepartment(frmMain), FAlertCommands(frmMain, FPrompter)
{
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
    for (TKivAction action : FBound)
        FMain.SetExecuteHandler(action, nullptr);
}

void TKivWindows::Bind(TKivAction action, std::function<void()> handler)
{
    FMain.SetExecuteHandler(action, std::move(handler));
    FBound.push_back(action);
}
