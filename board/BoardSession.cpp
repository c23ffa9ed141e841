#include "board/BoardSession.h"

#include <algorithm>

std::string TBoardSession::LocationOf(const std::string &setting)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const auto first = std::find_if_not(setting.begin(), setting.end(), blank);
    const auto last = std::find_if_not(setting.rbegin(), setting.rend(), blank).base();
    if (first >= last)
        return std::string();
    return std::string(first, last);
}

TBoardSession::TBoardSession(const std::string &location, const TBoardContext &ctx, TBoardFolderSource departmentFolder,
                             const TKivBoardOptions &options)
    : FLocation(location), FBoard(std::make_unique<TKivBoard>(location, ctx, std::move(departmentFolder), options)),
      FWatcher(MakeFolderChangeWatcher(location))
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
