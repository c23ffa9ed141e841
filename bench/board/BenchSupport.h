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
// folder (bench/Trips.h); the folder of the run's own is
// bench/BenchRatios.h's.
#pragma once

#include "bench/BenchRatios.h"
#include "board/BoardLocation.h"
#include "board/KivText.h"
#include "board/Seams.h"
#include "board/Session.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/Clock.h"
#include "storage/IsamFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <optional>
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

/// The record of user number n (from 0) of a benchmark board.
using TUserMaker = std::function<UserRecord::TBuffer(int n)>;

/// The statuses a benchmark board's users are spread over.
/// A board list that keeps nothing but a count, so only the filling is measured.
class TNoOpBoardList : public IBoardList {
public:
    void BeginUpdate() override {}
    void EndUpdate() override {}
    void Clear() override { Rows = 0; }
    void AddRow(const TBoardRow &row) override
    {
        benchmark::DoNotOptimize(row.Caption.data());
        ++Rows;
    }
    void AutoSizeColumns() override {}
    std::optional<TBoardRow> SelectedRow() const override { return std::nullopt; }
    int RowCount() const override { return Rows; }
    TBoardRow Row(int) const override { return TBoardRow(); }
    int Rows = 0;
};

/// The login of the n-th user of a benchmark's board.
inline std::string LoginOf(int n)
{
    char login[16];
    std::snprintf(login, sizeof login, "USER%05d", n);
    return login;
}

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

/// Makes the users dataset of folder (or board server URI) with count users, filed under record
/// numbers 1 to count.
inline void FillUsersDataset(const std::string &folder, int count, const TUserMaker &userOf)
{
    TIsamFile isam;
    const std::string path = BoardDatasetPath(folder, UserRecord::DatasetName);
    if (!isam.CreateDataset(path, UserRecord::KeyLength, UserRecord::Format)
        || !isam.OpenDataset(path, UserRecord::OpenMode, UserRecord::Format))
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

} // namespace benchsupport
