#include "ctl/Watch.h"

#include "board/ActivityLog.h"
#include "board/BoardLocation.h"
#include "board/BoardSession.h"
#include "board/KivFile.h"
#include "board/KivText.h"
#include "ctl/StopSignal.h"
#include "ctl/Terminal.h"
#include "platform/Clock.h"
#include "platform/KivError.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

/// The statuses of the last look, by login.
using TSeenStatuses = std::map<std::string, std::string>;

/// Refills the board and prints a line for every user whose status differs
/// from the last look's; false when the board could not be read.
bool Look(TKivFile &kiv, const IClock &clock, TSeenStatuses &seen)
{
    TCollectedBoard board;
    try {
        kiv.FillBoard(board);
    } catch (const EKivError &error) {
        PrintError(std::string("Attempting to update Kiv...\r") + error.what());
        return false;
    }
    TSeenStatuses now;
    for (const TBoardRow &row : board.Rows()) {
        const std::string &login = row.SubItems[TBoardRow::Login];
        const std::string &status = row.SubItems[TBoardRow::Status];
        // A user new to the board has no earlier status to have changed from.
        const auto before = seen.find(login);
        if (before != seen.end() && before->second != status) {
            const std::string line = TerminalLine(DateTimeText(clock.Now()) + " "
                                                  + StatusChangeEntry(row.Caption, login, before->second, status))
                                     + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
        now[login] = status;
    }
    std::fflush(stdout);
    seen = std::move(now);
    return true;
}

} // namespace

int RunWatch(TBoardSession &session, int interval, const IClock &clock)
{
    CatchStopSignals();
    TKivFile &kiv = session.KivFile();
    // Users who are "Offline" are followed too: going offline is a change.
    session.Session().ShowOffline = true;
    IChangeWatcher &watcher = session.Watcher();

    TSeenStatuses seen;
    bool lost = false;
    watcher.Settle(BoardChange::Users);
    if (!Look(kiv, clock, seen))
        watcher.Forget(BoardChange::Users);
    // A board server's news of a change ends the wait at once; news that
    // came during a look is looked at without waiting.
    bool pushed = false;
    while (WaitUnlessStopped(pushed ? 0 : interval, watcher.PushSocket())) {
        watcher.TakePushed();
        // Only the marker and the file's age (or the server's counters) are
        // read while nothing changes.
        const TBoardChanges changes = watcher.Look(BoardChange::Shutdown | BoardChange::Users);
        if (changes.Has(BoardChange::Shutdown)) {
            PrintError(IsServerLocation(session.Location())
                           ? std::string("The board is being shut down: its shutdown flag is set")
                           : "The board is being shut down: " + kiv.DatasetPath() + ".smd is there");
            return 0;
        }
        // A lost board server is said once, and so is its return.
        if (!changes.Fault.empty() && !lost) {
            PrintError(changes.Fault);
            lost = true;
        } else if (lost && !changes.Unreachable) {
            PrintError("The board server can be reached again");
            lost = false;
        }
        // A look that failed is made again at the next interval; an
        // unreachable folder waits until it is back.
        if (changes.Has(BoardChange::Users) && !Look(kiv, clock, seen) && !changes.Unreachable)
            watcher.Forget(BoardChange::Users);
        pushed = watcher.TakePushed();
    }
    return 0;
}
