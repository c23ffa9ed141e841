// Copies of Kiv on several workstations, played by child processes on one
// board with a one-second period: a copy that dies is flagged on another's
// board and unflagged when it runs again; a copy that was only slow, one
// that signed off, and one whose clock is an hour ahead are never flagged.
#include "board/Presence.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using TSteady = std::chrono::steady_clock;

volatile std::sig_atomic_t gSignOff = 0;

/// A running copy for login: signs in, then one presence period a second
/// until SIGTERM, when it signs off as the window does at its close.
pid_t StartCopy(const std::string &folder, const std::string &login, std::time_t clockShift = 0)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    std::signal(SIGTERM, [](int) { gSignOff = 1; });
    int code = 0;
    try {
        TFakeBoard fakes;
        fakes.Clock.Moment = std::time(nullptr) + clockShift;
        TKivFile kiv(folder, fakes.Ctx, login);
        kiv.SignIn();
        TPresenceKeeper keeper(kiv, fakes.Clock, 1);
        keeper.SignIn();
        while (gSignOff == 0) {
            std::this_thread::sleep_for(1s);
            fakes.Clock.Moment = std::time(nullptr) + clockShift;
            keeper.Period();
        }
        keeper.SignOff();
    } catch (...) {
        code = 3;
    }
    _exit(code);
}

void Reap(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
}

} // namespace

TEST(PresenceProcessTest, OnlyACopyThatDiedIsFlaggedAndOnlyUntilItRunsAgain)
{
    TIsamFile engine;
    ASSERT_TRUE(engine.EngineLoaded());
    TTestFolder folder;
    TFakeBoard fakes;
    TKivFile observer(folder.Path(), fakes.Ctx, "OBSERVER");
    observer.SignIn();
    TPresenceKeeper board(observer, fakes.Clock, 1);
    board.SignIn();

    // Each copy, what happens to it, and whether it may ever be flagged.
    enum class TFate { Killed, StoppedBriefly, SignedOff, ClockHourAhead };
    const std::map<std::string, TFate> copies{{"KILLED", TFate::Killed},
                                              {"SLOW", TFate::StoppedBriefly},
                                              {"LEFT", TFate::SignedOff},
                                              {"AHEAD", TFate::ClockHourAhead}};
    std::map<std::string, pid_t> pids;
    for (const auto &[login, fate] : copies)
        pids[login] = StartCopy(folder.Path(), login, fate == TFate::ClockHourAhead ? 3600 : 0);

    const auto flagged = [&](const std::string &login) { return board.Snapshot().StoppedSince(login).has_value(); };
    const auto period = [&] {
        std::this_thread::sleep_for(1s);
        board.Period();
        for (const auto &[login, fate] : copies) {
            if (fate != TFate::Killed) {
                EXPECT_FALSE(flagged(login)) << login << " was flagged";
            }
        }
    };
    const TSteady::time_point started = TSteady::now();
    while (board.Snapshot().Slots.size() < copies.size() + 1 && TSteady::now() - started < 20s)
        period();
    ASSERT_EQ(board.Snapshot().Slots.size(), copies.size() + 1);
    period();
    period();

    kill(pids["KILLED"], SIGKILL);
    kill(pids["LEFT"], SIGTERM);
    // Stopped for a period and a half: a tick that late is no stop.
    kill(pids["SLOW"], SIGSTOP);
    std::this_thread::sleep_for(1500ms);
    kill(pids["SLOW"], SIGCONT);
    Reap(pids["KILLED"]);
    Reap(pids["LEFT"]);

    // Flagged after more than five silent periods by the file's clock, seen
    // by this board at its next period.
    const TSteady::time_point killed = TSteady::now();
    while (!flagged("KILLED") && TSteady::now() - killed < 20s)
        period();
    EXPECT_TRUE(flagged("KILLED"));
    EXPECT_LT(TSteady::now() - killed, 10s);
    const TPresenceSlot *left = board.Snapshot().Find("LEFT");
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->Flags, Presence::SignedOff);

    // Running again: normal at the next beat it makes.
    pids["KILLED"] = StartCopy(folder.Path(), "KILLED");
    const TSteady::time_point restarted = TSteady::now();
    while (flagged("KILLED") && TSteady::now() - restarted < 10s)
        period();
    EXPECT_FALSE(flagged("KILLED"));
    EXPECT_LT(TSteady::now() - restarted, 5s);
    period();

    for (const std::string login : {"KILLED", "SLOW", "AHEAD"}) {
        kill(pids[login], SIGTERM);
        Reap(pids[login]);
    }
}
