#include "board/KivBoard.h"

#include "board/KivText.h"
#include "board/Session.h"
#include "board/UserRecord.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/LoginName.h"

TKivBoard::TKivBoard(const std::string &folder, const TBoardContext &ctx, TBoardFolderSource departmentFolder,
                     const TKivBoardOptions &options)
    : FLogin(options.Login.empty() ? CurrentLoginName() : options.Login), FCtx(ctx)
{
    // A user without a login name would be signed in under an empty key that
    // everybody without one shares.
    if (FLogin.empty())
        throw EKivError("Unable to read the login name of this user");
    FKivFile = std::make_unique<TKivFile>(folder, FCtx, FLogin, options.EngineFolder);
    // The signed-in user starts as the login's new record would, until the
    // sign-in and the first status change read the stored one.
    FCtx.Session.User = InitialUser(FKivFile->LoginUser.LogInName, NowText(FCtx.Clock));
    FCtx.Session.Administrator = false;
    FStatus = std::make_unique<TKivStatus>(*FKivFile, options.EngineFolder);
    FMessages = std::make_unique<TKivMessage>(*FKivFile, options.EngineFolder);
    FDepartments = std::make_unique<TKivDepartment>(FCtx, std::move(departmentFolder), options.EngineFolder);
    FAlerts = std::make_unique<TKivAlert>();
}

TKivBoard::~TKivBoard()
{
    // The catalogues and the message store keep a reference to the users
    // dataset object but do not use it when they are freed.
    FAlerts.reset();
    FKivFile.reset();
    FCtx.Session.User = TUser();
    FCtx.Session.Administrator = false;
    FStatus.reset();
    FMessages.reset();
    FDepartments.reset();
}

std::string TKivBoard::AlertFile() const
{
    return AlertFilePath(FLogin);
}

std::string TKivBoard::LoadAlertList()
{
    FAlertFileUnreadable = false;
    const std::string file = AlertFile();
    try {
        FAlerts->LoadFromFile(file);
        return std::string();
    } catch (const EKivError &error) {
        FAlerts->ClearAlertList();
        // The file goes aside whole, for whoever can still make sense of it,
        // and the list of this run takes its place at the end.
        const std::string aside = RenameAside(file, ".unreadable");
        const int code = errno;
        if (!aside.empty())
            return error.what() + std::string("\r\rThe file has been kept as ") + aside
                   + ". Kiv starts with an empty alert list.";
        const std::string why = OpenErrorText(code);
        FAlertFileUnreadable = true;
        return error.what() + std::string("\r\rThe file could not be set aside either (") + why
               + "), so it is kept as it is: Kiv starts with an empty alert list that will not be saved.";
    }
}

bool TKivBoard::SaveAlertList()
{
    if (FAlertFileUnreadable)
        return false;
    FAlerts->SaveToFile(AlertFile());
    return true;
}
