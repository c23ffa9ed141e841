// What a user waits for when Kiv starts, and what an idle copy costs: the
// whole program from exec until its board holds the rows of a board of 1,000
// users (offscreen, through its start-up probe), beside kivctl listing the
// same board and beside a raw SQLite process reading the same records; and
// the resident memory of an idle copy with that board, beside the raw
// process's. Each sample is one fresh process on a board folder of the run's
// own, with settings and runtime folders of its own.
#include "board/KivText.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "config/KivCB.h"
#include "platform/LoginName.h"
#include "platform/Paths.h"

#include "bench/Workstation.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace benchsupport;
using TClock = std::chrono::steady_clock;

constexpr int kUsers = 1000;

/// The board of the run, its raw twin and a workstation's per-user folders.
class TStartupBoard {
public:
    TStartupBoard()
    {
        mkdir(Folder.c_str(), 0700);
        FillUsersDataset(Folder, kUsers, RunnersBoardRecord);
        FillUsersBaseline(Baseline(), kUsers, RunnersBoardRecord);
        UseWorkstationIn(Own.Path, Folder);
    }
    std::string Baseline() const { return Own.Path + "/baseline.db"; }

    TBenchFolder Own;
    std::string Folder = Own.Path + "/board";
};

TStartupBoard &Board()
{
    static TStartupBoard board;
    return board;
}

/// A started program with its standard output on a pipe.
struct TProcess {
    pid_t Pid = -1;
    int Out = -1;

    explicit TProcess(const std::vector<std::string> &argv, const char *probe = nullptr)
    {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        Pid = fork();
        if (Pid == 0) {
            if (probe != nullptr)
                setenv("KIV_STARTUP_PROBE", probe, 1);
            ExecInChild(argv, out[1]);
        }
        close(out[1]);
        Out = out[0];
    }
    ~TProcess()
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
        close(Out);
    }

    /// The first line of output; empty when the program ends without one.
    std::string FirstLine()
    {
        std::string text;
        char bytes[256];
        for (;;) {
            pollfd fd{Out, POLLIN, 0};
            if (poll(&fd, 1, 30000) <= 0)
                return std::string();
            const ssize_t got = read(Out, bytes, sizeof bytes);
            if (got <= 0)
                return std::string();
            text.append(bytes, std::size_t(got));
            const std::size_t end = text.find('\n');
            if (end != std::string::npos)
                return text.substr(0, end);
        }
    }
    /// Reads the output to its end and waits for the program; true when it
    /// ended with exit status 0.
    bool Finish()
    {
        char bytes[4096];
        while (read(Out, bytes, sizeof bytes) > 0) {
        }
        int status = 0;
        const bool ok = waitpid(Pid, &status, 0) == Pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        Pid = -1;
        return ok;
    }
    /// The resident memory of the running program, in KiB.
    long ResidentKiB() const
    {
        std::ifstream status("/proc/" + std::to_string(Pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmRSS:", 0) == 0)
                return std::atol(line.c_str() + 6);
        return -1;
    }
};

std::string SelfPath()
{
    return ProgramPath();
}

double Seconds(TClock::time_point since)
{
    return std::chrono::duration<double>(TClock::now() - since).count();
}

void BM_Kiv_StartToFilledBoard(benchmark::State &state)
{
    Board();
    for (auto _ : state) {
        const TClock::time_point start = TClock::now();
        TProcess kiv({KIV_PATH}, "exit");
        const std::string line = kiv.FirstLine();
        state.SetIterationTime(Seconds(start));
        if (line != "started " + std::to_string(kUsers) || !kiv.Finish()) {
            state.SkipWithError(("kiv did not start with its board: " + line).c_str());
            return;
        }
    }
}
BENCHMARK(BM_Kiv_StartToFilledBoard)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_Ctl_ListBoard(benchmark::State &state)
{
    Board();
    for (auto _ : state) {
        const TClock::time_point start = TClock::now();
        TProcess ctl({KIVCTL_PATH, "--board", Board().Folder, "board", "--offline"});
        const bool ok = ctl.Finish();
        state.SetIterationTime(Seconds(start));
        if (!ok) {
            state.SkipWithError("kivctl failed");
            return;
        }
    }
}
BENCHMARK(BM_Ctl_ListBoard)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

/// The raw process: this program started again to read every record of the
/// raw twin, one seek per record in key order, and print its memory.
void BM_Raw_ListBoard(benchmark::State &state)
{
    Board();
    for (auto _ : state) {
        const TClock::time_point start = TClock::now();
        TProcess raw({SelfPath(), "--raw-list", Board().Baseline()});
        const std::string line = raw.FirstLine();
        const bool ok = raw.Finish();
        state.SetIterationTime(Seconds(start));
        if (!ok || line.rfind("rows " + std::to_string(kUsers) + " ", 0) != 0) {
            state.SkipWithError(("the raw listing failed: " + line).c_str());
            return;
        }
        state.counters["rss_KiB"] = std::atof(line.c_str() + line.rfind(' ') + 1);
    }
}
BENCHMARK(BM_Raw_ListBoard)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_Kiv_IdleResidentMemory(benchmark::State &state)
{
    Board();
    double kib = 0;
    for (auto _ : state) {
        TProcess kiv({KIV_PATH}, "report");
        if (kiv.FirstLine() != "started " + std::to_string(kUsers)) {
            state.SkipWithError("kiv did not start with its board");
            return;
        }
        // Idle: the board is filled and the timers wait.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        kib = double(kiv.ResidentKiB());
        kill(kiv.Pid, SIGTERM);
        if (!kiv.Finish()) {
            state.SkipWithError("kiv did not end on SIGTERM");
            return;
        }
    }
    state.counters["rss_KiB"] = kib;
}
BENCHMARK(BM_Kiv_IdleResidentMemory)->Iterations(3)->Unit(benchmark::kMillisecond);

/// The raw listing, run in the child.
int RawList(const char *path)
{
    sqlite3 *db = RawOpen(path);
    sqlite3_stmt *next = nullptr;
    sqlite3_prepare_v2(db, "SELECT k, rec FROM users WHERE k > ? ORDER BY k LIMIT 1", -1, &next, nullptr);
    std::vector<TUser> rows;
    std::string key;
    while (true) {
        sqlite3_bind_blob(next, 1, key.data(), int(key.size()), SQLITE_STATIC);
        if (sqlite3_step(next) != SQLITE_ROW || sqlite3_column_bytes(next, 1) != int(UserRecord::Size))
            break;
        key.assign(static_cast<const char *>(sqlite3_column_blob(next, 0)), std::size_t(sqlite3_column_bytes(next, 0)));
        rows.push_back(GetUserFields(static_cast<const char *>(sqlite3_column_blob(next, 1))));
        sqlite3_reset(next);
    }
    sqlite3_finalize(next);
    sqlite3_close(db);
    long kib = -1;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            kib = std::atol(line.c_str() + 6);
    std::printf("rows %zu %ld\n", rows.size(), kib);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--raw-list") == 0)
        return RawList(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto time = [&](const std::string &name) {
        for (const auto &[run, value] : reporter.Times)
            if (run == name || run.rfind(name + "/", 0) == 0)
                return value;
        return 0.0;
    };
    const double kiv = time("BM_Kiv_StartToFilledBoard");
    const double ctl = time("BM_Ctl_ListBoard");
    const double raw = time("BM_Raw_ListBoard");
    if (kiv > 0 && ctl > 0 && raw > 0)
        std::printf("\nstart-up to a filled board of %d users: kiv %.1f ms, kivctl %.1f ms, raw SQLite process "
                    "%.1f ms; kiv/kivctl %.2f, kiv/raw %.2f\n",
                    kUsers, kiv, ctl, raw, kiv / ctl, kiv / raw);
    benchmark::Shutdown();
    return 0;
}
