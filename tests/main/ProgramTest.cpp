// The real program as a process: SIGTERM and SIGHUP sign the user off, and
// the stored window size holds from start to start under a window manager
// (Xvfb and openbox, started by the test itself).
#include "board/UserRecord.h"
#include "config/KivCB.h"
#include "platform/LoginName.h"
#include "tests/board/BoardTesting.h"
#include "tests/platform/TempHome.h"

#include "KivVersion.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using TEnvironment = std::vector<std::pair<std::string, std::string>>;

/// A child process with its standard output on a pipe.
class TChild {
public:
    TChild() = default;
    TChild(const TChild &) = delete;
    TChild &operator=(const TChild &) = delete;
    ~TChild()
    {
        // Asked first, so that an X server removes its socket and lock file.
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            Wait(5s);
        }
        if (FOut >= 0)
            close(FOut);
    }

    /// Starts argv with the extra environment; errors go to errPath.
    bool Start(const std::vector<std::string> &argv, const TEnvironment &environment, const std::string &errPath)
    {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return false;
        FPid = fork();
        if (FPid == 0) {
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err < 0 || dup2(out[1], 1) < 0 || dup2(err, 2) < 0)
                _exit(120);
            for (const auto &[name, value] : environment)
                setenv(name.c_str(), value.c_str(), 1);
            std::vector<char *> args;
            for (const std::string &arg : argv)
                args.push_back(const_cast<char *>(arg.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(121);
        }
        close(out[1]);
        FOut = out[0];
        return FPid > 0;
    }

    /// The next line of output, or nothing when none comes within timeout.
    std::optional<std::string> Line(std::chrono::milliseconds timeout)
    {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const std::size_t end = FBuffer.find('\n');
            if (end != std::string::npos) {
                std::string line = FBuffer.substr(0, end);
                FBuffer.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            pollfd fd{FOut, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, int(left.count())) <= 0)
                return std::nullopt;
            char bytes[256];
            const ssize_t got = read(FOut, bytes, sizeof bytes);
            if (got <= 0)
                return std::nullopt;
            FBuffer.append(bytes, std::size_t(got));
        }
    }

    /// Waits for the end; the exit code, or -1 when it does not end in time
    /// (it is then killed) or ends by a signal.
    int Wait(std::chrono::milliseconds timeout = 20s)
    {
        const auto until = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (waitpid(FPid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                kill(FPid, SIGKILL);
                waitpid(FPid, &status, 0);
                FPid = -1;
                return -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    int FOut = -1;
    std::string FBuffer;
};

/// An X server of the test's own with a window manager on it.
class TWindowManager {
public:
    /// Starts Xvfb and openbox; false when either cannot run here.
    bool Start(const std::string &folder)
    {
        if (!FServer.Start({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {},
                           folder + "/xvfb.log"))
            return false;
        const std::optional<std::string> display = FServer.Line(10s);
        if (!display || display->empty())
            return false;
        Display = ":" + *display;
        const std::string ready = folder + "/openbox-ready";
        if (!FManager.Start({"openbox", "--startup", "touch " + ready}, {{"DISPLAY", Display}},
                            folder + "/openbox.log"))
            return false;
        for (int i = 0; i < 500 && !TTempHome::Exists(ready); ++i)
            std::this_thread::sleep_for(20ms);
        return TTempHome::Exists(ready);
    }

    std::string Display;

private:
    // The manager goes before its server.
    TChild FServer;
    TChild FManager;
};

class ProgramTest : public testing::Test {
protected:
    ProgramTest()
    {
        mkdir(Board.c_str(), 0700);
        TKivCB block;
        TKivSettings settings;
        block.ReadSettings(settings);
        settings.KivDBasePath = Board + "/";
        settings.FirstTimeRun = false;
        settings.MainWidth = 700;
        settings.MainHeight = 450;
        block.WriteSettings(settings);
    }

    /// Starts kiv on the board with its start-up probe set to probe.
    bool StartKiv(TChild &kiv, const std::string &probe, TEnvironment environment = {{"QT_QPA_PLATFORM", "offscreen"}})
    {
        environment.push_back({"KIV_STARTUP_PROBE", probe});
        return kiv.Start({KIV_PATH}, environment, Home.Root() + "/kiv.err");
    }

    std::string Status() const
    {
        const std::vector<TStoredUser> users = StoredUsers(Board);
        return users.empty() ? std::string() : users.front().User.Status;
    }
    std::string Errors() const { return TTempHome::ReadAll(Home.Root() + "/kiv.err"); }

    TTempHome Home;
    const std::string Board = Home.Root() + "/board";
};

} // namespace

TEST_F(ProgramTest, SigtermAndSighupSignTheUserOff)
{
    for (const int signo : {SIGTERM, SIGHUP}) {
        TChild kiv;
        ASSERT_TRUE(StartKiv(kiv, "report"));
        ASSERT_EQ(kiv.Line(20s).value_or("none"), "started 1") << Errors();
        EXPECT_EQ(Status(), "Available");
        kill(kiv.Pid(), signo);
        EXPECT_EQ(kiv.Wait(), 0) << Errors();
        EXPECT_EQ(Status(), "Offline") << "signal " << signo;
    }
}

TEST_F(ProgramTest, TheStoredWindowSizeHoldsFromStartToStartUnderAWindowManager)
{
    TWindowManager screen;
    if (!screen.Start(Home.Root()))
        GTEST_SKIP() << "Xvfb with openbox cannot run here";
    for (int start = 0; start < 3; ++start) {
        TChild kiv;
        ASSERT_TRUE(StartKiv(kiv, "exit", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", screen.Display}}));
        ASSERT_EQ(kiv.Line(20s).value_or("none"), "started 1") << Errors();
        ASSERT_EQ(kiv.Wait(), 0) << Errors();
        TKivSettings settings;
        TKivCB().ReadSettings(settings);
        EXPECT_EQ(settings.MainWidth, 700) << "start " << start;
        EXPECT_EQ(settings.MainHeight, 450) << "start " << start;
    }
}

TEST_F(ProgramTest, VersionAndHelpAnswerWithoutADisplay)
{
    const TEnvironment noDisplay{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":9999"}};
    TChild version;
    ASSERT_TRUE(version.Start({KIV_PATH, "--version"}, noDisplay, Home.Root() + "/kiv.err"));
    EXPECT_EQ(version.Line(10s).value_or("none"), "Kiv " KIV_VERSION_TEXT);
    EXPECT_EQ(version.Wait(), 0);
    TChild help;
    ASSERT_TRUE(help.Start({KIV_PATH, "--help"}, noDisplay, Home.Root() + "/kiv.err"));
    EXPECT_EQ(help.Line(10s).value_or("none"), "Usage: kiv [--help | --version]");
    EXPECT_EQ(help.Wait(), 0);
}

TEST_F(ProgramTest, ACopyStartedWhileTheShutdownMarkerIsThereEndsAtOnceSigningNobodyIn)
{
    TKivCB block;
    TKivSettings settings;
    block.ReadSettings(settings);
    // The shortest period the settings allow.
    settings.UpdateDisplayTime = kDisplayUpdateMin;
    block.WriteSettings(settings);
    TTempHome::WriteAll(Board + "/KivDB31.smd", "");
    TChild kiv;
    ASSERT_TRUE(StartKiv(kiv, "report"));
    EXPECT_EQ(kiv.Wait(10s), 0) << Errors();
    EXPECT_EQ(kiv.Line(1s).value_or("none"), "none") << "the window never started";
    EXPECT_TRUE(StoredUsers(Board).empty());
}

// The same between two real processes: the second start reaches the running
// copy and its window is restored; the second copy touches nothing.
TEST_F(ProgramTest, ASecondStartBringsTheRunningCopysWindowToTheFront)
{
    TChild first;
    ASSERT_TRUE(StartKiv(first, "report"));
    ASSERT_EQ(first.Line(20s).value_or("none"), "started 1") << Errors();
    TChild second;
    ASSERT_TRUE(second.Start({KIV_PATH}, {{"QT_QPA_PLATFORM", "offscreen"}}, Home.Root() + "/second.err"));
    EXPECT_EQ(first.Line(20s).value_or("none"), "raised restored") << Errors();
    EXPECT_EQ(StoredUsers(Board).size(), 1u);
}
