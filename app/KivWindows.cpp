#include "app/KivWindows.h"

#include "board/KivBoard.h"
#include "main/MainWindow.h"

TKivWindows::TKivWindows(TfrmMain &frmMain)
    : FMain(frmMain), FPrompter(&frmMain), frmKivDepartments(frmMain), frmKivStatuses(frmMain), frmKivUsers(frmMain),
      frmKivMessages([this]() -> TKivMessage * { return FMain.KivBoard() ? &FMain.KivBoard()->Messages() : nullptr; },
                     FPrompter, &frmMain)
{
    FMain.SetReadDialog(&frmKivMessages);

    // The administration commands, enabled for administrators only.
    FMain.SetExecuteHandler(TKivAction::Users, [this] { frmKivUsers.ShowModal(); });
    FMain.SetExecuteHandler(TKivAction::Statuses, [this] { frmKivStatuses.ShowModal(); });
    FMain.SetExecuteHandler(TKivAction::Departments, [this] { frmKivDepartments.ShowModal(); });
}
