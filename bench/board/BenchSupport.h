// What the board benchmarks share: a workstation with quiet windows, a board
// folder of the run's own, a raw SQLite connection opened the way a careful
// client of a shared folder opens one, and the report of Kiv's time over the
// baseline's.
//
// Each measured operation is a pair of benchmarks, BM_Kiv_<work> and
// BM_Raw_<work> (with the same arguments), often with BM_Scan_<work>, raw
// SQLite doing the work in one statement; the ratios are printed after the
// usual table, from the medians when the runs are repeated.
//
// Beside the time, each benchmark counts its file-system calls on the board
// folder (bench/Trips.h).
#pragma once

#include "bench/Trips.h"
#include "board/KivText.h"
#include "board/Seams.h"
#include "board/Session.h"
#include "board/UserRecord.h"
#include "platform/Clock.h"
#include "storage/IsamFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <functional>
#include <map>
#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace benchsupport {

class TQuietPrompter : public IPrompter {
public:
    TMsgAnswer Show(const std::string &, TMsgIcon, TMsgButtons) override { return TMsgAnswer::Ok; }
};
class TQuietApp : public IAppControl {
public:
    void Terminate() override {}
};
class TQuietHost : public IMainHost {
public:
    void SetStatusText(const std::string &) override {}
    void SetSkipSignOff() override {}
    void SetTrayStatusImage(int) override {}
};

/// The windows of one workstation, all quiet, on the system clock.
struct TQuietWindows {
    TSession Session;
    TQuietPrompter Prompter;
    TQuietApp App;
    TQuietHost Host;
    TBoardContext Ctx{Session, Prompter, App, Host, TSystemClock::Instance()};
};

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

/// The record of user number n (from 0) of a benchmark board.
using TUserMaker = std::function<UserRecord::TBuffer(int n)>;

/// Makes the users dataset of folder with count users, filed under record
/// numbers 1 to count.
inline void FillUsersDataset(const std::string &folder, int count, const TUserMaker &userOf)
{
    TIsamFile isam;
    const std::string path = folder + "/" + UserRecord::DatasetName;
    if (!isam.CreateDataset(path, UserRecord::KeyLength, UserRecord::Format)
        || !isam.OpenDataset(path, UserRecord::OpenMode))
        throw std::runtime_error("cannot create the users dataset: " + isam.ErrorText());
    for (int n = 0; n < count; ++n) {
        UserRecord::TBuffer record = userOf(n);
        if (!isam.AddRecord(record.data(), RecordNumberText(n + 1)))
            throw std::runtime_error("cannot add a user: " + isam.ErrorText());
    }
    isam.CloseDataset();
}

} // namespace benchsupport
