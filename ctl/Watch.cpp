#include "ctl/Watch.h"

#include "board/ActivityLog.h"
#include "board/KivFile.h"
#include "board/KivText.h"
#include "ctl/StopSignal.h"
#include "ctl/Terminal.h"
#include "platform/Clock.h"
#include "platform/FileAge.h"
#include "platform/Files.h"
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

int RunWatch(TKivFile &kiv, int interval, const IClock &clock)
{
    CatchStopSignals();
    // Users who are "Offline" are followed too: going offline is a change.
    kiv.Context().Session.ShowOffline = true;
    const std::string dataFile = kiv.DatasetPath() + ".isd";
    const std::string shutdownMarker = kiv.DatasetPath() + ".smd";

    TSeenStatuses seen;
    // The age as the file server has it: on a share, the attribute cache of
    // a plain stat could hide a colleague's change for up to a minute.
    TFileAge stamp = FreshFileAge(dataFile);
    if (!Look(kiv, clock, seen))
        stamp = TFileAge::Missing();
    while (WaitUnlessStopped(interval)) {
        if (FileExists(shutdownMarker)) {
            PrintError("The board is being shut down: " + shutdownMarker + " is there");
            return 0;
        }
        // Only the file's age is read while nothing changes.
        const TFileAge age = FreshFileAge(dataFile);
        if (age == stamp)
            continue;
        stamp = age;
        // A look that failed is made again at the next interval; an
        // unreachable folder (the missing age) waits until it is back.
        if (!Look(kiv, clock, seen))
            stamp = TFileAge::Missing();
    }
    return 0;
}
