// What every benchmark shares, whatever its layer: a folder of the run's own,
// and (from bench/Trips.h) the round trips and the report of Kiv's time over
// its baseline's.
//
// Each measured operation is a pair of benchmarks, BM_Kiv_<work> and
// BM_Raw_<work> (with the same arguments); the ratios are printed after the
// usual table, from the medians when the runs are repeated.
#pragma once

#include "bench/Trips.h"

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

} // namespace benchsupport
