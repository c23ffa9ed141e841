// What the two polling timers cost a board of 1,000 users on a share, where
// every file-system call is a round trip to the server: the calls of an idle
// board tick, of an idle message tick and of a board tick after one change,
// each beside a raw SQLite poller doing the same work on a twin of the users
// dataset; and how long another workstation's write takes to reach the
// refilled board at the default period, beside the raw poller on the same
// period.
//
// The calls are counted with strace: the benchmark starts itself again under
// strace (-y, the file and descriptor calls of the main thread), the child
// brackets each tick with two calls on marker paths, and only the calls that
// name the board folder (or the twin's) between the brackets are counted.
// kivctl makes the changes, in processes strace does not follow.
#include "board/UserRecord.h"
#include "config/KivCB.h"
#include "gui/BoardList.h"
#include "main/AppControl.h"
#include "main/MainWindow.h"
#include "platform/FileAge.h"
#include "platform/LoginName.h"
#include "platform/Paths.h"

#include "bench/Workstation.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace benchsupport;
using TClock = std::chrono::steady_clock;

constexpr int kUsers = 1000;
constexpr int kTicks = 20;
constexpr const char *kBegin = "/kiv-bench-tick-begin";
constexpr const char *kEnd = "/kiv-bench-tick-end";
/// The settings' default period of both timers.
constexpr int kDefaultPeriodMs = 10000;

/// Another workstation sets the user's own status.
bool ChangeStatus(const std::string &board, int n)
{
    return RunQuietly({KIVCTL_PATH, "--board", board, "status", n % 2 == 0 ? "At lunch" : "Available"});
}

/// The board of the run, its raw twin and a workstation's per-user folders.
class TTickBoard {
public:
    TTickBoard()
    {
        mkdir(Folder.c_str(), 0700);
        mkdir(RawFolder.c_str(), 0700);
        FillUsersDataset(Folder, kUsers, RunnersBoardRecord);
        FillUsersBaseline(Twin(), kUsers, RunnersBoardRecord);
        UseWorkstationIn(Own.Path, Folder);
        // The messages dataset exists and holds nothing for the user.
        if (!RunQuietly({KIVCTL_PATH, "--board", Folder, "send", "USER00001", "Lunch", "At one?"}))
            throw std::runtime_error("kivctl send failed");
    }
    std::string Twin() const { return RawFolder + "/users.db"; }

    TBenchFolder Own;
    std::string Folder = Own.Path + "/board";
    std::string RawFolder = Own.Path + "/raw";
};

TTickBoard &Board()
{
    static TTickBoard board;
    return board;
}

/// The real main window on the board, started as the program starts it.
struct TStartedKiv {
    int Argc = 1;
    char Name[4] = "kiv";
    char *Argv[2] = {Name, nullptr};
    QApplication Application{Argc, Argv};
    TSession Session;
    TQtAppControl App;
    TfrmMain Window{Session, App, [] { return false; }};

    TStartedKiv()
    {
        Window.FormCreate();
        Window.FormActivate();
    }
};

// ---- the children run under strace -----------------------------------------

void Bracket(const char *marker)
{
    // A call on a path nobody has, for the count to find in the trace.
    access(marker, F_OK);
}

/// The real main window on the board, started as the program starts it, its
/// timers stopped so that only the ticks run here are traced.
int KivTicks(const std::string &board, const std::string &which)
{
    TStartedKiv kiv;
    TfrmMain &window = kiv.Window;
    window.tmrUpdateListView()->stop();
    window.tmrCheckForMessages()->stop();
    window.tmrPresence()->stop();
    if (window.Board().RowCount() != kUsers)
        return 2;
    // The start's own "Available" moved the users dataset on after its stamp
    // was taken; the first tick sees that.
    window.tmrUpdateListViewTimer();
    window.tmrCheckForMessagesTimer();
    for (int tick = 0; tick < kTicks; ++tick) {
        if (which == "change" && !ChangeStatus(board, tick))
            return 3;
        Bracket(kBegin);
        if (which == "messages")
            window.tmrCheckForMessagesTimer();
        else if (which == "presence")
            window.tmrPresenceTimer();
        else
            window.tmrUpdateListViewTimer();
        Bracket(kEnd);
    }
    return 0;
}

/// The raw poller's tick: the twin's age read as Kiv reads it and, after a
/// change, every row read in one statement.
int RawTicks(const std::string &twin, const std::string &which)
{
    TFileAge stamp = FreshFileAge(twin);
    for (int tick = 0; tick < kTicks; ++tick) {
        if (which == "change") {
            sqlite3 *db = RawOpen(twin);
            sqlite3_exec(db, "UPDATE users SET rec = rec WHERE k = CAST('0000000001' AS BLOB)", nullptr, nullptr,
                         nullptr);
            sqlite3_close(db);
            // The engine moves a file's age on at every write; so does the twin.
            utimensat(AT_FDCWD, twin.c_str(), nullptr, 0);
        }
        Bracket(kBegin);
        const TFileAge age = FreshFileAge(twin);
        if (age != stamp) {
            stamp = age;
            sqlite3 *db = RawOpen(twin);
            sqlite3_stmt *all = nullptr;
            sqlite3_prepare_v2(db, "SELECT k, rec FROM users ORDER BY k", -1, &all, nullptr);
            int rows = 0;
            while (sqlite3_step(all) == SQLITE_ROW)
                ++rows;
            sqlite3_finalize(all);
            sqlite3_close(db);
            if (rows != kUsers)
                return 2;
        }
        Bracket(kEnd);
    }
    return 0;
}

/// The calls of one tick on files of folder, by name, from the trace at path.
std::map<std::string, double> CallsPerTick(const std::string &path, const std::string &folder)
{
    std::map<std::string, double> calls;
    std::ifstream trace(path);
    bool inside = false;
    for (std::string line; std::getline(trace, line);) {
        if (line.find(kBegin) != std::string::npos) {
            inside = true;
        } else if (line.find(kEnd) != std::string::npos) {
            inside = false;
        } else if (inside && line.find(folder) != std::string::npos) {
            calls[line.substr(0, line.find('('))] += 1.0 / kTicks;
        }
    }
    return calls;
}

/// Runs this program again under strace in mode on target and answers the
/// calls per tick on folder; empty when strace cannot run here.
std::map<std::string, double> Traced(const std::string &mode, const std::string &target, const std::string &which,
                                     const std::string &folder)
{
    const std::string log = Board().Own.Path + "/trace-" + mode + "-" + which;
    if (!RunQuietly(
            {"/usr/bin/strace", "-qq", "-y", "-e", "trace=%file,%desc", "-o", log, ProgramPath(), mode, target, which}))
        return {};
    return CallsPerTick(log, folder);
}

double Total(const std::map<std::string, double> &calls)
{
    double total = 0;
    for (const auto &[name, count] : calls)
        total += count;
    return total;
}

std::string Listed(const std::map<std::string, double> &calls)
{
    std::string text;
    for (const auto &[name, count] : calls) {
        char item[64];
        std::snprintf(item, sizeof item, "%s%s %.0f", text.empty() ? "" : ", ", name.c_str(), count);
        text += item;
    }
    return text;
}

/// The calls of each measured tick, by name: "kiv idle board" and so on.
std::map<std::string, std::map<std::string, double>> Counted;
std::string TickSummary;

void CountCalls(benchmark::State &state, const std::string &work, const std::string &which, bool raw)
{
    Board();
    std::map<std::string, double> calls;
    for (auto _ : state) {
        calls = raw ? Traced("--raw-ticks", Board().Twin(), which, Board().RawFolder)
                    : Traced("--kiv-ticks", Board().Folder, which, Board().Folder);
        if (calls.empty()) {
            state.SkipWithError("strace could not run the ticks");
            return;
        }
    }
    state.counters["calls_per_tick"] = Total(calls);
    Counted[work] = calls;
}

void BM_Kiv_IdleBoardTickCalls(benchmark::State &state)
{
    CountCalls(state, "kiv idle board", "idle", false);
}
void BM_Kiv_IdleMessageTickCalls(benchmark::State &state)
{
    CountCalls(state, "kiv idle message", "messages", false);
}
// The presence period: the presence file read and this copy's beat.
void BM_Kiv_PresencePeriodCalls(benchmark::State &state)
{
    CountCalls(state, "kiv presence period", "presence", false);
}
void BM_Raw_IdleTickCalls(benchmark::State &state)
{
    CountCalls(state, "raw idle", "idle", true);
}
void BM_Kiv_ChangedBoardTickCalls(benchmark::State &state)
{
    CountCalls(state, "kiv changed board", "change", false);
}
void BM_Raw_ChangedTickCalls(benchmark::State &state)
{
    CountCalls(state, "raw changed", "change", true);
}
BENCHMARK(BM_Kiv_IdleBoardTickCalls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kiv_IdleMessageTickCalls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kiv_PresencePeriodCalls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_IdleTickCalls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kiv_ChangedBoardTickCalls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_ChangedTickCalls)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- from another workstation's write to the refilled board -----------------

void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/// When a timer's tick starts (its timer event, before any handler) and, set
/// by a handler connected last, when it ends.
class TTickWatch : public QObject {
public:
    TClock::time_point Started, Ended;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Timer)
            Started = TClock::now();
        return false;
    }
};

/// The real window at the default period, and beside it a raw poller on the
/// same period. Each write comes at another point of the period, spread
/// evenly over it; the board's time runs from kivctl's end to the end of the
/// tick that refilled the board.
void BM_Kiv_WriteToRefilledBoard(benchmark::State &state)
{
    Board();
    TStartedKiv kiv;
    TfrmMain &window = kiv.Window;
    if (window.Board().RowCount() != kUsers) {
        state.SkipWithError("the board did not start");
        return;
    }

    // The raw poller: the twin's age and, on a change, every row in one
    // statement; half a period out of step with the board timer, so that
    // neither waits for the other.
    const std::string twin = Board().Twin();
    TFileAge rawStamp = FreshFileAge(twin);
    std::string rawSeen;
    TClock::time_point rawRead;
    double rawTickSeconds = 0;
    QTimer raw;
    raw.setInterval(kDefaultPeriodMs);
    QObject::connect(&raw, &QTimer::timeout, [&] {
        const TClock::time_point start = TClock::now();
        const TFileAge age = FreshFileAge(twin);
        if (age == rawStamp)
            return;
        rawStamp = age;
        sqlite3 *db = RawOpen(twin);
        sqlite3_stmt *all = nullptr;
        sqlite3_prepare_v2(db, "SELECT k, rec FROM users ORDER BY k", -1, &all, nullptr);
        // Every row is read; the first is the user's own.
        for (bool first = true; sqlite3_step(all) == SQLITE_ROW; first = false)
            if (first && sqlite3_column_bytes(all, 1) == int(UserRecord::Size))
                rawSeen = GetText(static_cast<const char *>(sqlite3_column_blob(all, 1)), UserRecord::Status);
        sqlite3_finalize(all);
        sqlite3_close(db);
        rawRead = TClock::now();
        rawTickSeconds = std::chrono::duration<double>(rawRead - start).count();
    });

    // The board tick's start (the timer's event, before the window's handler)
    // and its end (a handler connected after the window's own).
    TTickWatch kivTick;
    window.tmrUpdateListView()->installEventFilter(&kivTick);
    QObject::connect(window.tmrUpdateListView(), &QTimer::timeout, [&] { kivTick.Ended = TClock::now(); });
    window.tmrUpdateListView()->setInterval(kDefaultPeriodMs);
    window.tmrUpdateListView()->start();
    RunFor(kDefaultPeriodMs / 2);
    raw.start();

    const auto shown = [&] { return window.Board().Row(0).SubItems[TBoardRow::Status]; };
    double kivTotal = 0, rawTotal = 0, kivTicks = 0, rawTicks = 0;
    int n = 0;
    for (auto _ : state) {
        // The write lands at evenly spread points of the board timer's period.
        const TClock::time_point lastTick = kivTick.Ended;
        while (kivTick.Ended == lastTick)
            RunFor(5);
        const int iterations = int(state.max_iterations);
        RunFor(int(kDefaultPeriodMs * (n % iterations + 0.5) / iterations));
        const std::string status = n % 2 == 0 ? "At lunch" : "Available";
        sqlite3 *db = RawOpen(twin);
        sqlite3_stmt *update = nullptr;
        sqlite3_prepare_v2(db, "UPDATE users SET rec = ? WHERE k = CAST('0000000001' AS BLOB)", -1, &update, nullptr);
        UserRecord::TBuffer record = RunnersBoardRecord(0);
        PutText(record.data(), UserRecord::Status, status);
        sqlite3_bind_blob(update, 1, record.data(), int(record.size()), SQLITE_STATIC);
        sqlite3_step(update);
        sqlite3_finalize(update);
        sqlite3_close(db);
        const TClock::time_point rawWritten = TClock::now();
        if (!ChangeStatus(Board().Folder, n++)) {
            state.SkipWithError("kivctl failed");
            return;
        }
        const TClock::time_point written = TClock::now();
        double kivSeconds = -1, rawSeconds = -1;
        while ((kivSeconds < 0 || rawSeconds < 0)
               && TClock::now() - written < std::chrono::milliseconds(3 * kDefaultPeriodMs)) {
            RunFor(5);
            if (kivSeconds < 0 && shown() == status) {
                kivSeconds = std::chrono::duration<double>(kivTick.Ended - written).count();
                kivTicks += std::chrono::duration<double>(kivTick.Ended - kivTick.Started).count();
            }
            if (rawSeconds < 0 && rawSeen == status) {
                rawSeconds = std::chrono::duration<double>(rawRead - rawWritten).count();
                rawTicks += rawTickSeconds;
            }
        }
        if (kivSeconds < 0 || rawSeconds < 0) {
            state.SkipWithError(kivSeconds < 0 ? "the change did not reach the board"
                                               : "the change did not reach the raw poller");
            return;
        }
        state.SetIterationTime(kivSeconds);
        kivTotal += kivSeconds;
        rawTotal += rawSeconds;
    }
    if (n > 0) {
        state.counters["raw_poller_ms"] = 1000.0 * rawTotal / n;
        char line[256];
        std::snprintf(line, sizeof line,
                      "write to refilled board at the default period: kiv %.0f ms on average (the raw poller %.0f ms); "
                      "the tick that refills takes %.1f ms, the raw poller's %.2f ms (ratio %.1f)",
                      1000.0 * kivTotal / n, 1000.0 * rawTotal / n, 1000.0 * kivTicks / n, 1000.0 * rawTicks / n,
                      rawTicks > 0 ? kivTicks / rawTicks : 0.0);
        TickSummary = line;
        state.counters["kiv_tick_ms"] = 1000.0 * kivTicks / n;
        state.counters["raw_tick_ms"] = 1000.0 * rawTicks / n;
    }
    window.tmrUpdateListView()->stop();
    window.tmrCheckForMessages()->stop();
}
BENCHMARK(BM_Kiv_WriteToRefilledBoard)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--kiv-ticks") == 0)
        return KivTicks(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--raw-ticks") == 0)
        return RawTicks(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (!Counted.empty()) {
        std::printf("\nfile-system calls per tick on the board folder, %d users (counted with strace):\n", kUsers);
        const auto line = [](const char *work, const std::string &kiv, const std::string &raw) {
            const double calls = Total(Counted[kiv]), baseline = Total(Counted[raw]);
            std::printf("  %-28s kiv %7.0f   raw SQLite %5.0f   ratio %6.2f   kiv: %s\n", work, calls, baseline,
                        baseline > 0 ? calls / baseline : 0.0, Listed(Counted[kiv]).c_str());
        };
        line("idle board tick", "kiv idle board", "raw idle");
        line("idle message tick", "kiv idle message", "raw idle");
        line("board tick after one change", "kiv changed board", "raw changed");
        std::printf("  %-28s %s\n", "raw SQLite after one change:", Listed(Counted["raw changed"]).c_str());
        std::printf("  %-28s kiv %7.0f   (once a minute: the presence file read, and the beat)   kiv: %s\n",
                    "presence period", Total(Counted["kiv presence period"]),
                    Listed(Counted["kiv presence period"]).c_str());
    }
    if (!TickSummary.empty())
        std::printf("\n%s\n", TickSummary.c_str());
    benchmark::Shutdown();
    return 0;
}
