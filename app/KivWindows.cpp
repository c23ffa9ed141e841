#include "app/KivWindows.h"

#include "board/KivBoard.h"
#include "main/MainWindow.h"

TKivWindows::TKivWindows(TfrmMain &frmMain)
    : FMain(frmMain), FPrompter(&frmMain),
      frmKivMessages([this]() -> TKivMessage * { return FMain.KivBoard() ? &FMain.KivBoard()->Messages() : nullptr; },
                     FPrompter, &frmMain)
{
    FMain.SetReadDialog(&frmKivMessages);
}
