// What the board benchmarks share: a workstation with quiet windows, a board
// folder of the run's own, a raw SQLite connection opened the way a careful
// client of a shared folder opens one, and the report of Kiv's time over the
// baseline's.
//
// Each measured operation is a pair of benchmarks, BM_Kiv_<work> and
// BM_Raw_<work> (with the same arguments); the ratios are printed after the
// usual table, from the medians when the runs are repeated.
#pragma once

#include "board/KivText.h"
#include "board/Seams.h"
#include "board/Session.h"
#include "board/User.h"
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

/// A raw connection to path, opened as the engine opens its data files:
/// rollback journal, full sync, a bounded busy wait.
inline sqlite3 *RawOpen(const std::string &path, bool create = false)
{
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open the baseline database " + path);
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(db, "PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    return db;
}

/// The record of user number n (from 0) of a benchmark board.
using TUserMaker = std::function<UserRecord::TBuffer(int n)>;

/// The statuses a benchmark board's users are spread over.
inline constexpr const char *kStatuses[] = {"Available", "At lunch", "In meeting", "Gone home", "Offline"};

/// The record of member of staff n under login: a status among the common
/// ones, a department, and an Updated of today for every other user, so the
/// board's short times are worked out.
inline UserRecord::TBuffer StaffRecord(int n, const std::string &login)
{
    UserRecord::TBuffer record{};
    TUser user = InitialUser(login, DateTimeText(std::time(nullptr) - (n % 2 == 0 ? 60 : 3 * 86400)));
    user.Name = "Member of staff " + std::to_string(n);
    user.Status = kStatuses[n % 5];
    user.Department = n % 3 == 0 ? "Sales" : "Support";
    user.Ext = std::to_string(1000 + n);
    PutUserFields(record.data(), user);
    PutText(record.data(), UserRecord::Updated, user.Updated);
    return record;
}

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

/// Makes the raw baseline's users table at path holding the same records:
/// users(k, login, rec), indexed on (login, k) as the engine indexes logins.
inline void FillUsersBaseline(const std::string &path, int count, const TUserMaker &userOf)
{
    sqlite3 *db = RawOpen(path, true);
    sqlite3_exec(db,
                 "CREATE TABLE users(k BLOB PRIMARY KEY, login BLOB, rec BLOB) WITHOUT ROWID;"
                 "CREATE INDEX users_login ON users(login, k);"
                 "BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO users(k, login, rec) VALUES(?, ?, ?)", -1, &insert, nullptr);
    for (int n = 0; n < count; ++n) {
        const UserRecord::TBuffer record = userOf(n);
        const std::string key = RecordNumberText(n + 1);
        const std::string login = GetText(record.data(), UserRecord::LogInName);
        sqlite3_bind_blob(insert, 1, key.data(), int(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, login.data(), int(login.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 3, record.data(), int(record.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE)
            throw std::runtime_error(std::string("cannot fill the baseline: ") + sqlite3_errmsg(db));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

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
    std::printf("\n%-40s %14s %14s %8s %14s\n", "work", "Kiv", "raw SQLite", "ratio", "over scan");
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
