// What the main window's commands, timers and dialogs share: the refill of
// the board under the department filter, the storing of a status, and the
// restarting of the message timer.
#include "main/MainWindow.h"

#include "board/KivBoard.h"
#include "gui/BoardList.h"

void TfrmMain::RefillBoard()
{
    if (!FKiv)
        return;
    TKivFile &kiv = FKiv->KivFile();
    const TKivDepartment &departments = FKiv->Departments();
    if (departments.FilterOn)
        kiv.FillBoardForDepartment(Board(), departments.FilterDepartment);
    else
        kiv.FillBoard(Board());
}

void TfrmMain::StoreStatus(const std::string &status)
{
    if (!FKiv)
        return;
    TKivFile &kiv = FKiv->KivFile();
    if (FSession.Administrator && RowSelected()) {
        kiv.SetStatusOfSelected(Board(), status);
    } else {
        FSession.User.Status = status;
        kiv.SetStatus();
    }
    RefillBoard();
}

void TfrmMain::PauseTimers(unsigned which)
{
    if ((which & PausedTimer::Board) != 0 && FBoardPauses++ == 0)
        FUpdateTimer.stop();
    if ((which & PausedTimer::Messages) != 0 && FMessagePauses++ == 0)
        FMessageTimer.stop();
}

void TfrmMain::ResumeTimers(unsigned which)
{
    // A program that is ending polls nothing more.
    if ((which & PausedTimer::Board) != 0 && FBoardPauses > 0 && --FBoardPauses == 0 && !FEnding)
        FUpdateTimer.start();
    if ((which & PausedTimer::Messages) != 0 && FMessagePauses > 0 && --FMessagePauses == 0)
        RestoreMessageTimer();
}

void TfrmMain::RestoreMessageTimer()
{
    const bool allowed = FKiv && FKiv->KivFile().AllowMessages != 0 && FMessagePauses == 0 && !FEnding;
    if (allowed)
        FMessageTimer.start();
    else
        FMessageTimer.stop();
}
