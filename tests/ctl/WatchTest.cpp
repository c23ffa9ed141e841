// kivctl watch following a board that another process changes.
#include "tests/ctl/CtlTesting.h"

#include <chrono>
#include <csignal>
#include <poll.h>
#include <thread>

namespace {

using TSteady = std::chrono::steady_clock;

/// The exit code of child once it has ended, or -1 when it has not within
/// a generous while (it is then killed).
int EndOf(pid_t child)
{
    int status = 0;
    for (const TSteady::time_point end = TSteady::now() + std::chrono::seconds(20); TSteady::now() < end;) {
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

} // namespace

class WatchTest : public TCtlTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(OnBoard({"board"}).Code, 0);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        Watch = Start({"--board", Board, "watch", "--interval", "1"}, fds[1], ErrPath);
        close(fds[1]);
        Output = fds[0];
    }
    void TearDown() override { close(Output); }

    /// The first line of watch's output not yet read that holds needle;
    /// empty when none came within wait.
    std::string LineWith(const std::string &needle, std::chrono::seconds wait)
    {
        for (const TSteady::time_point end = TSteady::now() + wait;;) {
            for (std::size_t nl; (nl = Pending.find('\n')) != std::string::npos;) {
                const std::string line = Pending.substr(0, nl);
                Pending.erase(0, nl + 1);
                if (line.find(needle) != std::string::npos)
                    return line;
            }
            pollfd poller{Output, POLLIN, 0};
            char bytes[512];
            ssize_t got = 0;
            if (TSteady::now() >= end || (poll(&poller, 1, 100) > 0 && (got = read(Output, bytes, sizeof bytes)) <= 0))
                return std::string();
            Pending.append(bytes, std::size_t(got));
        }
    }

    /// Sets the statuses of the user of kiv one after another until watch
    /// tells of one (a change made before watch's first look is part of that
    /// look); the line that tells of it, or empty. needle gives what such a
    /// line holds for a status.
    std::string ChangeUntilTold(TKivFile &kiv, TFakeBoard &fakes, const std::vector<std::string> &statuses,
                                const std::function<std::string(const std::string &)> &needle)
    {
        for (const std::string &status : statuses) {
            fakes.Session.User.Status = status;
            kiv.SetStatus();
            const std::string line = LineWith(needle(status), std::chrono::seconds(3));
            if (!line.empty())
                return line;
        }
        return std::string();
    }

    const std::string ErrPath = Home.Root() + "/watch-err";
    pid_t Watch = -1;
    int Output = -1;
    std::string Pending;
};

TEST_F(WatchTest, PrintsAChangeMadeByAnotherProcessAndEndsCleanlyOnSigint)
{
    AddUser("CLERK1");
    TFakeBoard fakes;
    TKivFile clerk(Board, fakes.Ctx, "CLERK1");
    // A head start makes a change before watch's first look rare.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string line =
        ChangeUntilTold(clerk, fakes, {"At lunch", "In meeting", "Away from desk", "Gone home", "DND"},
                        [](const std::string &status) { return " to \"" + status + "\""; });
    EXPECT_NE(line.find(" CLERK1 (CLERK1) status changed from \""), std::string::npos)
        << line << TTempHome::ReadAll(ErrPath);
    kill(Watch, SIGINT);
    EXPECT_EQ(EndOf(Watch), 0) << TTempHome::ReadAll(ErrPath);
}

TEST_F(WatchTest, EndsWhenTheBoardsShutdownMarkerAppears)
{
    TTempHome::WriteAll(Board + "/KivDB31.smd", "");
    EXPECT_EQ(EndOf(Watch), 0);
    EXPECT_NE(TTempHome::ReadAll(ErrPath).find("KivDB31.smd"), std::string::npos);
}

// Another member's status could drive the terminal of everyone who watches.
TEST_F(WatchTest, AChangeToAStatusHoldingEscapesIsPrintedWithoutThem)
{
    AddUser("EVE");
    TFakeBoard fakes;
    TKivFile eve(Board, fakes.Ctx, "EVE");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string clipboard = "\x1b]52;c;eA==\x07";
    const std::string line =
        ChangeUntilTold(eve, fakes, {clipboard + "One", clipboard + "Two", clipboard + "Three"},
                        [&](const std::string &status) { return status.substr(clipboard.size()); });
    EXPECT_NE(line.find(" EVE (EVE) status changed from \""), std::string::npos) << line;
    EXPECT_EQ(line.find_first_of("\x1b\x07"), std::string::npos) << line;
    kill(Watch, SIGINT);
    EXPECT_EQ(EndOf(Watch), 0);
}
