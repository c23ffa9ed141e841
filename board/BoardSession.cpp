#include "board/BoardSession.h"

#include "platform/Text.h"

std::string TBoardSession::LocationOf(const std::string &setting)
{
    return Trimmed(setting);
}

TBoardSession::TBoardSession(const std::string &location, const TBoardContext &ctx, TBoardFolderSource departmentFolder,
                             const TKivBoardOptions &options)
    : FLocation(location), FBoard(std::make_unique<TKivBoard>(location, ctx, std::move(departmentFolder), options)),
      FWatcher(FBoard->KivFile().Location().MakeWatcher())
{
}

bool TBoardSession::ShuttingDown()
{
    return FWatcher->Look(BoardChange::Shutdown).Has(BoardChange::Shutdown);
}

void TBoardSession::FollowUserRecord()
{
    KivFile().RefreshCurrentUser();
    Session().Administrator = Session().User.Administrator == 1;
}
