// What every benchmark of Kiv and of its engine shares: the round trips of
// the work measured, a raw SQLite connection opened as the engine opens its
// data files, and the report of each work's time and round trips beside its
// baselines.
//
// On a network share every file-system call is a round trip to the file
// server. The engine counts its calls and SQLite's (vbis/FileCalls.h), Kiv
// its own (platform/FileCalls.h); the meter adds the two up by kind. With KIV_BENCH_CALL_DELAY_US set, every
// counted call also waits that many microseconds, as on a share.
//
// Each measured work is a benchmark named <mine><work> beside <raw><work>,
// raw SQLite doing the same reads and writes, and often <scan><work>, raw
// SQLite doing it in one statement; RunWithRatios prints their times, the
// ratio of the first two, and the round trips of all three.
#pragma once

#include "platform/FileCalls.h"
#include "vbis/FileCalls.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace benchsupport {

/// A raw connection to path, opened as the engine opens its data files:
/// rollback journal, full sync, a bounded busy wait. It goes through the
/// engine's counting VFS, which counts its calls and changes nothing.
inline sqlite3 *RawOpen(const std::string &path, bool create = false)
{
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const char *vfs = sqlite3_vfs_find(vbis::kCountingVfs) != nullptr ? vbis::kCountingVfs : nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, vfs) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open the baseline database " + path);
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(db, "PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    return db;
}

/// The file-system calls of some work, by kind.
struct TTrips {
    double Opens = 0, Closes = 0, Locks = 0, Reads = 0, Writes = 0, Stats = 0, Syncs = 0, Others = 0;
    double Total() const { return Opens + Closes + Locks + Reads + Writes + Stats + Syncs + Others; }
};

/// Counts the file-system calls of a benchmark's iterations: the engine's and
/// SQLite's, and Kiv's own. Work between Pause and Resume (making a change
/// for the next iteration, say) is not counted. The engine must be loaded
/// (any TIsamFile loads it) before the meter is made.
class TTripMeter {
public:
    TTripMeter()
    {
        sqlite3_vfs *vfs = sqlite3_vfs_find(vbis::kFileCallsVfs);
        auto *calls = vfs == nullptr ? nullptr : static_cast<vbis::TFileCalls *>(vfs->pAppData);
        if (calls == nullptr || calls->Magic != vbis::kFileCallsMagic || calls->Size != sizeof(vbis::TFileCalls))
            throw std::runtime_error("the engine's file-call counters are not there");
        FEngine = calls;
        const char *delay = std::getenv("KIV_BENCH_CALL_DELAY_US");
        FDelay = delay == nullptr ? 0 : uint32_t(std::strtoul(delay, nullptr, 10));
        FStart = Now();
        Resume();
    }
    ~TTripMeter() { Pause(); }
    TTripMeter(const TTripMeter &) = delete;
    TTripMeter &operator=(const TTripMeter &) = delete;

    void Pause()
    {
        FEngine->Counting = false;
        FEngine->DelayMicros = 0;
        KivFileCalls().Counting = false;
        KivFileCalls().DelayMicros = 0;
    }
    void Resume()
    {
        FEngine->DelayMicros = FDelay;
        KivFileCalls().DelayMicros = FDelay;
        FEngine->Counting = true;
        KivFileCalls().Counting = true;
    }

    /// Puts the calls per iteration since the meter was made into the
    /// benchmark's counters: "trips", and one per kind.
    void Report(benchmark::State &state)
    {
        Pause();
        const TTrips now = Now();
        const double n = state.iterations() > 0 ? double(state.iterations()) : 1.0;
        const TTrips per{(now.Opens - FStart.Opens) / n,   (now.Closes - FStart.Closes) / n,
                         (now.Locks - FStart.Locks) / n,   (now.Reads - FStart.Reads) / n,
                         (now.Writes - FStart.Writes) / n, (now.Stats - FStart.Stats) / n,
                         (now.Syncs - FStart.Syncs) / n,   (now.Others - FStart.Others) / n};
        state.counters["trips"] = per.Total();
        state.counters["locks"] = per.Locks;
        state.counters["stats"] = per.Stats;
        state.counters["reads"] = per.Reads;
        state.counters["writes"] = per.Writes;
        state.counters["opens"] = per.Opens + per.Closes;
        state.counters["syncs"] = per.Syncs;
    }

private:
    TTrips Now() const
    {
        const TKivCalls &kiv = KivFileCalls();
        TTrips t;
        t.Opens = double(FEngine->Opens.load() + kiv.Of(TKivCall::Open));
        t.Closes = double(FEngine->Closes.load() + kiv.Of(TKivCall::Close));
        t.Locks = double(FEngine->Locks.load() + kiv.Of(TKivCall::Lock));
        t.Reads = double(FEngine->Reads.load() + kiv.Of(TKivCall::Read));
        t.Writes = double(FEngine->Writes.load() + kiv.Of(TKivCall::Write));
        t.Stats = double(FEngine->Stats.load() + kiv.Of(TKivCall::Stat));
        t.Syncs = double(FEngine->Syncs.load() + kiv.Of(TKivCall::Sync));
        t.Others = double(FEngine->Others.load() + kiv.Of(TKivCall::Other));
        return t;
    }

    vbis::TFileCalls *FEngine = nullptr;
    uint32_t FDelay = 0;
    TTrips FStart;
};

/// Prints the runs as usual and keeps each one's time and round trips per
/// iteration: the median when the runs are repeated, else the one run.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.str();
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || (run.run_type == Run::RT_Iteration && Times.count(name) == 0)) {
                Times[name] = run.GetAdjustedRealTime();
                const auto trips = run.counters.find("trips");
                if (trips != run.counters.end())
                    Trips[name] = trips->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Times;
    std::map<std::string, double> Trips;
};

/// Runs the benchmarks and prints, for each <mine> / <raw> pair of the same
/// work, both times and their ratio, and the round trips of mine, of the raw
/// baseline and of the one statement (<scan>) where there is one.
inline int RunWithRatios(int argc, char **argv, const std::string &mine = "BM_Kiv_", const std::string &raw = "BM_Raw_",
                         const std::string &scan = "BM_Scan_")
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto trips = [&](const std::string &name) {
        const auto it = reporter.Trips.find(name);
        return it == reporter.Trips.end() ? -1.0 : it->second;
    };
    std::printf("\n%-34s %11s %11s %6s %10s %10s %10s\n", "work (time per unit)", "mine", "raw", "ratio", "trips",
                "raw trips", "1-stmt");
    for (const auto &[name, kiv] : reporter.Times) {
        if (name.rfind(mine, 0) != 0)
            continue;
        const std::string work = name.substr(mine.size());
        const auto base = reporter.Times.find(raw + work);
        const bool hasRaw = base != reporter.Times.end() && base->second > 0;
        std::printf("%-34s %11.1f ", work.c_str(), kiv);
        if (hasRaw)
            std::printf("%11.1f %6.2f", base->second, kiv / base->second);
        else
            std::printf("%11s %6s", "-", "-");
        for (const double t : {trips(name), trips(raw + work), trips(scan + work)}) {
            if (t < 0)
                std::printf(" %10s", "-");
            else
                std::printf(" %10.0f", t);
        }
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}

} // namespace benchsupport
