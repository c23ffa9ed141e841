// What a user waits for at start and on every board refresh: signing in and
// re-reading the own record on a board of 1,000 users, each beside raw SQLite
// doing the same work on the same data file (open the shared database, find
// the login with one statement, close). The ratios printed at the end are
// Kiv's time over the baseline's; the round trips are each one's file-system
// calls per operation.
#include "board/KivFile.h"
#include "board/KivText.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/Clock.h"

#include "bench/board/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <map>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

using namespace benchsupport;

constexpr int kUsers = 1000;
const std::string kLogin = "USER0500";

std::string LoginOf(int n)
{
    char login[16];
    std::snprintf(login, sizeof login, "USER%04d", n);
    return login;
}

UserRecord::TBuffer UserOf(int n)
{
    UserRecord::TBuffer record{};
    PutUserFields(record.data(), InitialUser(LoginOf(n), DateTimeText(1733650000)));
    return record;
}

// One board folder with 1,000 users, and a raw SQLite database holding the
// same records, made once for the whole run.
class TBenchBoard {
public:
    TBenchBoard() { FillUsersDataset(Folder, kUsers, UserOf); }
    TBenchFolder Own;
    std::string Folder = Own.Path;
    /// The data file the baseline reads: the engine's own.
    std::string Baseline() const { return Folder + "/" + UserRecord::DatasetName + ".isd"; }
};

TBenchBoard &Board()
{
    static TBenchBoard board;
    return board;
}

using TWorkstation = TQuietWindows;

// The raw baseline of one operation: open the shared database as a careful
// multi-workstation client would (rollback journal, full sync, a busy
// timeout), find the login's record, copy it out, close.
bool BaselineLookUp(const std::string &path, const std::string &login, UserRecord::TBuffer &record)
{
    sqlite3 *db = RawOpen(path);
    bool found = false;
    sqlite3_stmt *select = nullptr;
    sqlite3_prepare_v2(db, "SELECT k, rec FROM vbis_record WHERE x7 = ? ORDER BY x7, k LIMIT 1", -1, &select, nullptr);
    sqlite3_bind_blob(select, 1, login.data(), int(login.size()), SQLITE_STATIC);
    if (sqlite3_step(select) == SQLITE_ROW && sqlite3_column_bytes(select, 1) == int(record.size())) {
        std::memcpy(record.data(), sqlite3_column_blob(select, 1), record.size());
        found = true;
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    return found;
}

void BM_Kiv_SignIn(benchmark::State &state)
{
    TWorkstation ws;
    TKivFile kiv(Board().Folder, ws.Ctx, kLogin);
    kiv.SignIn();
    TTripMeter meter;
    for (auto _ : state)
        kiv.SignIn();
    meter.Report(state);
}
BENCHMARK(BM_Kiv_SignIn)->Unit(benchmark::kMicrosecond);

void BM_Raw_SignIn(benchmark::State &state)
{
    UserRecord::TBuffer record{};
    const std::string path = Board().Baseline();
    TTripMeter meter;
    for (auto _ : state)
        benchmark::DoNotOptimize(BaselineLookUp(path, kLogin, record));
    meter.Report(state);
}
BENCHMARK(BM_Raw_SignIn)->Unit(benchmark::kMicrosecond);

void BM_Kiv_RefreshCurrentUser(benchmark::State &state)
{
    TWorkstation ws;
    TKivFile kiv(Board().Folder, ws.Ctx, kLogin);
    kiv.RefreshCurrentUser();
    TTripMeter meter;
    for (auto _ : state) {
        kiv.RefreshCurrentUser();
        benchmark::DoNotOptimize(ws.Session.User.Status.data());
    }
    meter.Report(state);
}
BENCHMARK(BM_Kiv_RefreshCurrentUser)->Unit(benchmark::kMicrosecond);

void BM_Raw_RefreshCurrentUser(benchmark::State &state)
{
    UserRecord::TBuffer record{};
    TUser user;
    const std::string path = Board().Baseline();
    TTripMeter meter;
    for (auto _ : state) {
        if (BaselineLookUp(path, kLogin, record))
            user = GetUserFields(record.data());
        benchmark::DoNotOptimize(user.Status.data());
    }
    meter.Report(state);
}
BENCHMARK(BM_Raw_RefreshCurrentUser)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return benchsupport::RunWithRatios(argc, argv);
}
