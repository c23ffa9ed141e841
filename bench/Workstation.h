// What the benchmarks of the whole program share: a board whose user 0 is
// the one running the benchmark, a workstation of the run's own (home,
// settings and runtime folders, the settings pointing at the board), and
// programs started with their output thrown away or on a pipe.
#pragma once

#include "bench/board/BenchSupport.h"
#include "board/UserRecord.h"
#include "config/KivCB.h"
#include "platform/LoginName.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace benchsupport {

/// Record n of a board whose user 0 is the one who runs the benchmark, so
/// that the program started on it signs in to a board of exactly its rows.
inline UserRecord::TBuffer RunnersBoardRecord(int n)
{
    char login[16];
    std::snprintf(login, sizeof login, "USER%05d", n);
    return StaffRecord(n, n == 0 ? UserRecord::LoginKey(UpperCaseLogin(CurrentLoginName())) : std::string(login));
}

/// Makes the folder own this process's workstation (home, settings and
/// runtime folders; offscreen windows) with its settings on board, so that
/// every program it starts uses them too.
inline void UseWorkstationIn(const std::string &own, const std::string &board)
{
    const std::string home = own + "/home", runtime = own + "/run";
    mkdir(home.c_str(), 0700);
    mkdir(runtime.c_str(), 0700);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TKivCB block;
    TKivSettings settings;
    block.ReadSettings(settings);
    settings.KivDBasePath = board + "/";
    settings.FirstTimeRun = false;
    block.WriteSettings(settings);
}

/// In a child just forked: runs argv with its standard output on out (thrown
/// away when out is -1) and its standard error thrown away.
[[noreturn]] inline void ExecInChild(const std::vector<std::string> &argv, int out)
{
    const int null = open("/dev/null", O_WRONLY);
    dup2(out >= 0 ? out : null, 1);
    dup2(null, 2);
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(121);
}

/// Runs argv to its end, its output thrown away; true when it succeeded.
inline bool RunQuietly(const std::vector<std::string> &argv)
{
    const pid_t pid = fork();
    if (pid == 0)
        ExecInChild(argv, -1);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace benchsupport
