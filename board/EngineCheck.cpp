#include "board/EngineCheck.h"

#include "board/Seams.h"
#include "storage/IsamFile.h"

const char *const EngineMissingText = "Unable to find VBISAM DLL, please make sure that VBIS4032.DLL is in path!";

const char *EKivEngineMissing::what() const noexcept
{
    return EngineMissingText;
}

void RequireEngine(const TIsamFile &isam, TBoardContext &ctx)
{
    if (isam.EngineLoaded())
        return;
    ctx.Prompter.Show(EngineMissingText, TMsgIcon::Error, TMsgButtons::Ok);
    ctx.App.Terminate();
    throw EKivEngineMissing();
}
