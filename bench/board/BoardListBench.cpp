// What a user waits for on every refresh and every status command: filling
// the board of 100, 1,000 and 10,000 users into a list that draws nothing
// (after another workstation changed a record, with nothing changed, and the
// first time in a process), and storing one status on a board of 1,000 users.
// Each runs beside a raw SQLite baseline on the same data file doing the same
// reads and writes the way a careful client sharing the database with other
// workstations must: a rollback journal, full sync, a busy timeout, and no
// lock held between two reads (one seek per record from the key last read);
// and beside the one statement that walks every record holding its lock
// throughout. All build the same rows. The ratios printed at the end are
// Kiv's time over the baseline's; the round trips are each one's file-system
// calls per operation.
#include "board/KivFile.h"
#include "board/KivText.h"
#include "board/Presence.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/Clock.h"

#include "bench/board/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <ftw.h>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

using namespace benchsupport;

using TWorkstation = TQuietWindows;

UserRecord::TBuffer RecordOf(int n)
{
    return StaffRecord(n, LoginOf(n));
}

sqlite3_stmt *Prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    return statement;
}

// One board folder of a given size, and a raw SQLite database holding the
// same records, made once for the whole run.
class TBenchBoard {
public:
    explicit TBenchBoard(int users) { FillUsersDataset(Folder, users, RecordOf); }
    TBenchFolder Own;
    std::string Folder = Own.Path;
    /// The data file the baselines read: the engine's own.
    std::string Baseline() const { return Folder + "/" + UserRecord::DatasetName + ".isd"; }

    /// Another workstation changes a record: a raw write to the data file.
    void ChangeElsewhere()
    {
        sqlite3 *db = RawOpen(Baseline());
        sqlite3_exec(db, "UPDATE vbis_dataset SET version = version + 1", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    /// The data file is put in place anew (as by a restore from a backup), so
    /// that the next open of the engine starts afresh, as a new process would.
    void PutInPlaceAnew()
    {
        const std::string copy = Baseline() + ".copy";
        sqlite3 *from = RawOpen(Baseline());
        sqlite3 *to = RawOpen(copy, true);
        sqlite3_backup *backup = sqlite3_backup_init(to, "main", from, "main");
        sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        sqlite3_close(to);
        sqlite3_close(from);
        if (std::rename(copy.c_str(), Baseline().c_str()) != 0)
            throw std::runtime_error("cannot put the data file in place");
    }
};

TBenchBoard &Board(int users)
{
    static std::map<int, std::unique_ptr<TBenchBoard>> boards;
    std::unique_ptr<TBenchBoard> &board = boards[users];
    if (!board)
        board = std::make_unique<TBenchBoard>(users);
    return *board;
}

enum class TBefore { ChangeElsewhere, NothingChanged, PutInPlaceAnew };

// Kiv refilling its board, each time after what `before` says happened.
void KivFillBoard(benchmark::State &state, TBefore before)
{
    const int users = int(state.range(0));
    TBenchBoard &board = Board(users);
    TWorkstation ws;
    TKivFile kiv(board.Folder, ws.Ctx, "VIEWER");
    TNoOpBoardList list;
    kiv.FillBoard(list);
    TTripMeter meter;
    for (auto _ : state) {
        state.PauseTiming();
        meter.Pause();
        if (before == TBefore::ChangeElsewhere)
            board.ChangeElsewhere();
        else if (before == TBefore::PutInPlaceAnew)
            board.PutInPlaceAnew();
        meter.Resume();
        state.ResumeTiming();
        kiv.FillBoard(list);
    }
    meter.Report(state);
    if (list.Rows != users * 4 / 5)
        state.SkipWithError("the board did not list the users who are not offline");
    state.SetItemsProcessed(state.iterations() * users);
}

// The board timer's refill after another workstation's change.
void BM_Kiv_FillBoard(benchmark::State &state)
{
    KivFillBoard(state, TBefore::ChangeElsewhere);
}
BENCHMARK(BM_Kiv_FillBoard)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The board timer's refill with what the board shows of presence: the
// presence file of every user read (one open, fstat, read and close), then
// the refill with each row's back-at and stopped copy.
void BM_Kiv_FillBoardWithPresence(benchmark::State &state)
{
    const int users = int(state.range(0));
    TBenchBoard &board = Board(users);
    TWorkstation ws;
    for (int n = 0; n < users; ++n) {
        TPresenceWriter writer(board.Folder, LoginOf(n));
        writer.Claim(true, Presence::DefaultPeriod);
    }
    TKivFile kiv(board.Folder, ws.Ctx, "VIEWER");
    TNoOpBoardList list;
    kiv.FillBoard(list);
    TTripMeter meter;
    for (auto _ : state) {
        state.PauseTiming();
        meter.Pause();
        board.ChangeElsewhere();
        meter.Resume();
        state.ResumeTiming();
        const TPresenceSnapshot presence = ReadPresence(board.Folder);
        kiv.Presence = &presence;
        kiv.FillBoard(list);
        kiv.Presence = nullptr;
        if (presence.Slots.size() != std::size_t(users))
            state.SkipWithError("the presence file did not hold every user");
    }
    meter.Report(state);
    state.SetItemsProcessed(state.iterations() * users);
}
BENCHMARK(BM_Kiv_FillBoardWithPresence)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A refill with nothing changed since the last.
void BM_Kiv_FillBoardUnchanged(benchmark::State &state)
{
    KivFillBoard(state, TBefore::NothingChanged);
}
BENCHMARK(BM_Kiv_FillBoardUnchanged)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The first fill of a process: nothing of the dataset known yet.
void BM_Kiv_FillBoardFirst(benchmark::State &state)
{
    KivFillBoard(state, TBefore::PutInPlaceAnew);
}
BENCHMARK(BM_Kiv_FillBoardFirst)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The same filling by hand: open, one seek per record in key order, the same
// rows built from the same fields, close.
void BM_Raw_FillBoard(benchmark::State &state)
{
    const int users = int(state.range(0));
    TBenchBoard &board = Board(users);
    TWorkstation ws;
    TKivFile rows(board.Folder, ws.Ctx, "VIEWER"); // for UpdatedText and StatusImageIndex only
    TNoOpBoardList list;
    UserRecord::TBuffer record{};
    TTripMeter meter;
    for (auto _ : state) {
        sqlite3 *db = RawOpen(board.Baseline());
        sqlite3_stmt *next = Prepare(db, "SELECT k, rec FROM vbis_record WHERE k > ? ORDER BY k LIMIT 1");
        list.Clear();
        std::string key;
        while (true) {
            sqlite3_bind_blob(next, 1, key.data(), int(key.size()), SQLITE_STATIC);
            if (sqlite3_step(next) != SQLITE_ROW || sqlite3_column_bytes(next, 1) != int(record.size()))
                break;
            key.assign(static_cast<const char *>(sqlite3_column_blob(next, 0)),
                       std::size_t(sqlite3_column_bytes(next, 0)));
            std::memcpy(record.data(), sqlite3_column_blob(next, 1), record.size());
            sqlite3_reset(next);
            const std::string status = GetText(record.data(), UserRecord::Status);
            if (status == "Offline")
                continue;
            TBoardRow row;
            row.Caption = GetText(record.data(), UserRecord::Name);
            row.SubItems = {status,
                            rows.UpdatedText(GetText(record.data(), UserRecord::Updated)),
                            GetText(record.data(), UserRecord::Ext),
                            GetText(record.data(), UserRecord::Department),
                            GetText(record.data(), UserRecord::LogInName),
                            GetText(record.data(), UserRecord::Comments)};
            row.ImageIndex = TKivFile::StatusImageIndex(status);
            list.AddRow(row);
        }
        sqlite3_finalize(next);
        sqlite3_close(db);
    }
    meter.Report(state);
    if (list.Rows != users * 4 / 5)
        state.SkipWithError("the baseline did not list the users who are not offline");
    state.SetItemsProcessed(state.iterations() * users);
}
BENCHMARK(BM_Raw_FillBoard)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The cheapest filling: one statement walking every record in key order.
// It holds the database's read lock for the whole walk, which is what the
// engine's one seek per read avoids, so that a board refill never keeps
// another workstation from writing.
void BM_Scan_FillBoard(benchmark::State &state)
{
    const int users = int(state.range(0));
    TBenchBoard &board = Board(users);
    TWorkstation ws;
    TKivFile rows(board.Folder, ws.Ctx, "VIEWER"); // for UpdatedText and StatusImageIndex only
    TNoOpBoardList list;
    TTripMeter meter;
    for (auto _ : state) {
        sqlite3 *db = RawOpen(board.Baseline());
        sqlite3_stmt *all = Prepare(db, "SELECT rec FROM vbis_record ORDER BY k");
        list.Clear();
        while (sqlite3_step(all) == SQLITE_ROW) {
            if (sqlite3_column_bytes(all, 0) != int(sizeof(UserRecord::TBuffer)))
                continue;
            const char *record = static_cast<const char *>(sqlite3_column_blob(all, 0));
            const std::string status = GetText(record, UserRecord::Status);
            if (status == "Offline")
                continue;
            TBoardRow row;
            row.Caption = GetText(record, UserRecord::Name);
            row.SubItems = {status,
                            rows.UpdatedText(GetText(record, UserRecord::Updated)),
                            GetText(record, UserRecord::Ext),
                            GetText(record, UserRecord::Department),
                            GetText(record, UserRecord::LogInName),
                            GetText(record, UserRecord::Comments)};
            row.ImageIndex = TKivFile::StatusImageIndex(status);
            list.AddRow(row);
        }
        sqlite3_finalize(all);
        sqlite3_close(db);
    }
    meter.Report(state);
    if (list.Rows != users * 4 / 5)
        state.SkipWithError("the scan did not list the users who are not offline");
    state.SetItemsProcessed(state.iterations() * users);
}
BENCHMARK(BM_Scan_FillBoard)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

constexpr int kStatusBoard = 1000;

void BM_Kiv_SetStatus(benchmark::State &state)
{
    TBenchBoard &board = Board(kStatusBoard);
    TWorkstation ws;
    TKivFile kiv(board.Folder, ws.Ctx, LoginOf(500));
    int n = 0;
    kiv.SetStatus();
    TTripMeter meter;
    for (auto _ : state) {
        ws.Session.User.Status = kStatuses[n++ % 4];
        kiv.SetStatus();
    }
    meter.Report(state);
}
BENCHMARK(BM_Kiv_SetStatus)->Unit(benchmark::kMicrosecond);

// The same status change by hand: open, find the login's record, write the
// status and the time into its bytes and replace it in one write
// transaction, close.
void BM_Raw_SetStatus(benchmark::State &state)
{
    TBenchBoard &board = Board(kStatusBoard);
    const std::string login = LoginOf(500);
    UserRecord::TBuffer record{};
    int n = 0;
    TTripMeter meter;
    for (auto _ : state) {
        sqlite3 *db = RawOpen(board.Baseline());
        sqlite3_stmt *find = Prepare(db, "SELECT k, rec FROM vbis_record WHERE x7 = ? ORDER BY x7, k LIMIT 1");
        sqlite3_bind_blob(find, 1, login.data(), int(login.size()), SQLITE_STATIC);
        std::string key;
        if (sqlite3_step(find) == SQLITE_ROW && sqlite3_column_bytes(find, 1) == int(record.size())) {
            key.assign(static_cast<const char *>(sqlite3_column_blob(find, 0)),
                       std::size_t(sqlite3_column_bytes(find, 0)));
            std::memcpy(record.data(), sqlite3_column_blob(find, 1), record.size());
        }
        sqlite3_finalize(find);
        PutText(record.data(), UserRecord::Status, kStatuses[n++ % 4]);
        PutText(record.data(), UserRecord::Updated, NowText(TSystemClock::Instance()));
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt *replace = Prepare(db, "UPDATE vbis_record SET rec = ? WHERE k = ?");
        sqlite3_bind_blob(replace, 1, record.data(), int(record.size()), SQLITE_STATIC);
        sqlite3_bind_blob(replace, 2, key.data(), int(key.size()), SQLITE_STATIC);
        if (sqlite3_step(replace) != SQLITE_DONE)
            state.SkipWithError("the baseline could not replace the record");
        sqlite3_finalize(replace);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    meter.Report(state);
}
BENCHMARK(BM_Raw_SetStatus)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return benchsupport::RunWithRatios(argc, argv);
}
