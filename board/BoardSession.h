// TBoardSession: one front end's session on a board, the same for the window
// and for kivctl. It owns the board's composition (TKivBoard), answers who is
// signed in and whether they administer the board, and holds the one change
// watcher through which the front end learns of everybody else's work.
#pragma once

#include "board/ChangeWatcher.h"
#include "board/KivBoard.h"

#include <memory>
#include <string>

class TBoardSession {
public:
    /// The board location a setting or an option names, as it is tested and
    /// opened: without the blanks and control characters at either end.
    /// Empty when nothing is named.
    static std::string LocationOf(const std::string &setting);

    /// Opens the board at location (as LocationOf answers it) over ctx; as
    /// for TKivBoard, which raises what it raises.
    TBoardSession(const std::string &location, const TBoardContext &ctx, TBoardFolderSource departmentFolder,
                  const TKivBoardOptions &options = {});
    TBoardSession(const TBoardSession &) = delete;
    TBoardSession &operator=(const TBoardSession &) = delete;

    TKivBoard &Board() { return *FBoard; }
    TKivFile &KivFile() { return FBoard->KivFile(); }
    /// The signed-in user and the program-wide switches.
    TSession &Session() { return FBoard->Session(); }
    IChangeWatcher &Watcher() { return *FWatcher; }
    const std::string &Location() const { return FLocation; }

    /// The board is being shut down: its marker is there. Asked before the
    /// user is signed in, so that a copy started meanwhile signs nobody in.
    bool ShuttingDown();
    /// Reads the signed-in user's record again and takes the administrator
    /// flag from it: the one rule for who administers the board.
    void FollowUserRecord();

private:
    std::string FLocation;
    std::unique_ptr<TKivBoard> FBoard;
    std::unique_ptr<IChangeWatcher> FWatcher;
};
