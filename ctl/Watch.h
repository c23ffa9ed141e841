// Following the board from a terminal: one line for every status change seen.
#pragma once

class IClock;
class TBoardSession;

/// Asks the session's change watcher every interval seconds, as the board
/// timer does, and on a change refills the board and prints one line
/// per user whose status changed since the last look: the date-time text
/// and the activity log's entry text. A look that fails is reported on
/// standard error and tried again at the next change. Ends with exit
/// status 0 on SIGINT or SIGTERM, or when the board's shutdown marker
/// appears.
int RunWatch(TBoardSession &session, int interval, const IClock &clock);
