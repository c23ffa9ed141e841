// What every benchmark shares, whatever its layer: a folder of the run's own
// and the report of Kiv's time over its baseline's.
//
// Each measured operation is a pair of benchmarks, BM_Kiv_<work> and
// BM_Raw_<work> (with the same arguments); the ratios are printed after the
// usual table, from the medians when the runs are repeated.
#pragma once

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace benchsupport {

/// A folder of the run's own under /tmp, removed with everything in it.
class TBenchFolder {
public:
    TBenchFolder()
    {
        std::string pattern = "/tmp/kiv-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        Path = pattern;
    }
    ~TBenchFolder()
    {
        nftw(
            Path.c_str(), [](const char *path, const struct stat *, int, FTW *) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    TBenchFolder(const TBenchFolder &) = delete;
    TBenchFolder &operator=(const TBenchFolder &) = delete;

    std::string Path;
};

/// Prints the runs as usual and keeps each one's time per iteration: the
/// median when the runs are repeated, else the one run.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                Times[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration && Times.count(name) == 0)
                Times[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Times;
};

/// Runs the benchmarks and prints, for each BM_Kiv_ / BM_Raw_ pair, both
/// times and their ratio; where a BM_Scan_ of the same work stands beside
/// them (the cheapest way, holding a lock throughout), its ratio too.
inline int RunWithRatios(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-40s %14s %14s %8s %14s\n", "work", "Kiv", "baseline", "ratio", "over scan");
    for (const auto &[name, kiv] : reporter.Times) {
        if (name.rfind("BM_Kiv_", 0) != 0)
            continue;
        const std::string work = name.substr(7);
        const auto raw = reporter.Times.find("BM_Raw_" + work);
        const auto scan = reporter.Times.find("BM_Scan_" + work);
        if (raw == reporter.Times.end() || raw->second <= 0)
            continue;
        std::printf("%-40s %14.1f %14.1f %8.2f", work.c_str(), kiv, raw->second, kiv / raw->second);
        if (scan != reporter.Times.end() && scan->second > 0)
            std::printf(" %14.2f", kiv / scan->second);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}

} // namespace benchsupport
