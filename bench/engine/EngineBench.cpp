// What users wait for, through the engine and through raw SQLite side by side:
// opening and closing a dataset, reading by record key and by a secondary
// index, walking 1,000 records, adding and replacing. Each raw baseline works
// on the same data file and opens it the same way, and, like the engine,
// holds no lock between two reads. The ratio engine/raw and the round trips
// (file-system calls) of each are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sqlite3.h>
#include <string>

#include "bench/Trips.h"
#include "kit/EngineApi.h"
#include "kit/Records.h"

using namespace vbistest;
using benchsupport::RawOpen;
using benchsupport::TTripMeter;

namespace {

// The users dataset: login name (index 7) at offset 167, 21 bytes.
constexpr const char *kUsersFormat = "%,$*51,$*31,$*11,$*21,$*51,X$*21,$*31,$*51,$*51,$*51,$*51,%,%,%";
constexpr std::size_t kUsersLength = 429;
constexpr int kRecords = 1000;

std::string Login(int i)
{
    return "USER" + std::to_string(i * 7 % kRecords);
}

TRecord User(int i)
{
    TRecord r(kUsersLength);
    r.Text(2, 51, "Name of user " + std::to_string(i)).Text(53, 31, "Available").Text(167, 21, Login(i));
    return r;
}

// One populated dataset for every benchmark of a process run.
struct TFixture {
    TTempFolder Folder;
    std::string Path = Folder / "KivDB31";
    TFixture()
    {
        if (CreateDataset(Path, kUsersFormat) != VBIS_OK)
            std::abort();
        TOpenDataset ds;
        if (ds.Open(Path) != VBIS_OK)
            std::abort();
        for (int i = 1; i <= kRecords; ++i)
            if (ds.Add(RecordNumber(i), User(i).Data()) != VBIS_OK)
                std::abort();
    }
};

TFixture &Fixture()
{
    static TFixture fixture;
    return fixture;
}

sqlite3_stmt *Prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
        std::abort();
    }
    return s;
}

// Steps a one-row read and copies the record out, as the engine hands it over.
bool ReadRow(sqlite3_stmt *s, unsigned char *buffer, std::string &key)
{
    const bool found = sqlite3_step(s) == SQLITE_ROW;
    if (found) {
        key.assign(static_cast<const char *>(sqlite3_column_blob(s, 0)), std::size_t(sqlite3_column_bytes(s, 0)));
        std::memcpy(buffer, sqlite3_column_blob(s, 1), std::size_t(sqlite3_column_bytes(s, 1)));
    }
    sqlite3_reset(s);
    return found;
}

void Engine_OpenClose(benchmark::State &state)
{
    TTripMeter meter;
    for (auto _ : state) {
        TOpenDataset ds;
        if (ds.Open(Fixture().Path) != VBIS_OK)
            state.SkipWithError("open failed");
    }
    meter.Report(state);
}

void Raw_OpenClose(benchmark::State &state)
{
    const std::string isd = Fixture().Path + ".isd";
    TTripMeter meter;
    for (auto _ : state) {
        sqlite3 *db = RawOpen(isd);
        // The engine checks that the data file is laid out as defined.
        sqlite3_stmt *s = Prepare(db, "SELECT key_length, format FROM vbis_dataset WHERE id = 1");
        benchmark::DoNotOptimize(sqlite3_step(s));
        sqlite3_finalize(s);
        sqlite3_close(db);
    }
    meter.Report(state);
}

void Engine_ReadEqualKey(benchmark::State &state)
{
    TOpenDataset ds;
    ds.Open(Fixture().Path);
    TRecord buffer(kUsersLength);
    int i = 0;
    TTripMeter meter;
    for (auto _ : state)
        if (ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1 + i++ % kRecords), buffer.Data()) != VBIS_OK)
            state.SkipWithError("not found");
    meter.Report(state);
}

void Raw_ReadEqualKey(benchmark::State &state)
{
    sqlite3 *db = RawOpen(Fixture().Path + ".isd");
    sqlite3_stmt *s = Prepare(db, "SELECT k, rec FROM vbis_record WHERE k = ?1");
    TRecord buffer(kUsersLength);
    std::string key;
    int i = 0;
    TTripMeter meter;
    for (auto _ : state) {
        const std::string wanted = RecordNumber(1 + i++ % kRecords);
        sqlite3_bind_blob(s, 1, wanted.data(), int(wanted.size()), SQLITE_STATIC);
        if (!ReadRow(s, static_cast<unsigned char *>(buffer.Data()), key))
            state.SkipWithError("not found");
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    meter.Report(state);
}

void Engine_ReadEqualIndex(benchmark::State &state)
{
    TOpenDataset ds;
    ds.Open(Fixture().Path);
    TRecord buffer(kUsersLength);
    int i = 0;
    TTripMeter meter;
    for (auto _ : state)
        if (ds.Get(7, VBIS_READ_EQUAL, Login(1 + i++ % kRecords), buffer.Data()) != VBIS_OK)
            state.SkipWithError("not found");
    meter.Report(state);
}

void Raw_ReadEqualIndex(benchmark::State &state)
{
    sqlite3 *db = RawOpen(Fixture().Path + ".isd");
    sqlite3_stmt *s = Prepare(db, "SELECT k, rec FROM vbis_record WHERE x7 = ?1 ORDER BY x7, k LIMIT 1");
    TRecord buffer(kUsersLength);
    std::string key;
    int i = 0;
    TTripMeter meter;
    for (auto _ : state) {
        const std::string wanted = Login(1 + i++ % kRecords);
        sqlite3_bind_blob(s, 1, wanted.data(), int(wanted.size()), SQLITE_STATIC);
        if (!ReadRow(s, static_cast<unsigned char *>(buffer.Data()), key))
            state.SkipWithError("not found");
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    meter.Report(state);
}

void Engine_Walk1000(benchmark::State &state)
{
    TOpenDataset ds;
    ds.Open(Fixture().Path);
    TRecord buffer(kUsersLength);
    TTripMeter meter;
    for (auto _ : state) {
        ds.Top(7);
        int n = 0;
        while (ds.Get(7, VBIS_READ_NEXT, "", buffer.Data()) == VBIS_OK)
            ++n;
        if (n != kRecords)
            state.SkipWithError("short walk");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    meter.Report(state);
}

// One seek per record from the last one read, with nothing held in between.
void Raw_Walk1000(benchmark::State &state)
{
    sqlite3 *db = RawOpen(Fixture().Path + ".isd");
    sqlite3_stmt *first = Prepare(db, "SELECT k, rec, x7 FROM vbis_record ORDER BY x7, k LIMIT 1");
    sqlite3_stmt *next =
        Prepare(db, "SELECT k, rec, x7 FROM vbis_record WHERE (x7, k) > (?1, ?2) ORDER BY x7, k LIMIT 1");
    TRecord buffer(kUsersLength);
    TTripMeter meter;
    for (auto _ : state) {
        std::string key, value;
        sqlite3_stmt *s = first;
        int n = 0;
        while (true) {
            if (s == next) {
                sqlite3_bind_blob(s, 1, value.data(), int(value.size()), SQLITE_STATIC);
                sqlite3_bind_blob(s, 2, key.data(), int(key.size()), SQLITE_STATIC);
            }
            if (sqlite3_step(s) != SQLITE_ROW) {
                sqlite3_reset(s);
                break;
            }
            key.assign(static_cast<const char *>(sqlite3_column_blob(s, 0)), std::size_t(sqlite3_column_bytes(s, 0)));
            std::memcpy(buffer.Data(), sqlite3_column_blob(s, 1), std::size_t(sqlite3_column_bytes(s, 1)));
            value.assign(static_cast<const char *>(sqlite3_column_blob(s, 2)), std::size_t(sqlite3_column_bytes(s, 2)));
            sqlite3_reset(s);
            s = next;
            ++n;
        }
        if (n != kRecords)
            state.SkipWithError("short walk");
    }
    sqlite3_finalize(first);
    sqlite3_finalize(next);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kRecords);
    meter.Report(state);
}

// For reference only: one statement over the whole index, holding its read
// lock for the length of the walk (which the engine must not do).
void Scan_Walk1000(benchmark::State &state)
{
    sqlite3 *db = RawOpen(Fixture().Path + ".isd");
    sqlite3_stmt *all = Prepare(db, "SELECT k, rec FROM vbis_record ORDER BY x7, k");
    TRecord buffer(kUsersLength);
    TTripMeter meter;
    for (auto _ : state) {
        int n = 0;
        while (sqlite3_step(all) == SQLITE_ROW) {
            std::memcpy(buffer.Data(), sqlite3_column_blob(all, 1), std::size_t(sqlite3_column_bytes(all, 1)));
            ++n;
        }
        sqlite3_reset(all);
        benchmark::DoNotOptimize(n);
    }
    sqlite3_finalize(all);
    sqlite3_close(db);
    meter.Report(state);
}

void Engine_Add(benchmark::State &state)
{
    TOpenDataset ds;
    ds.Open(Fixture().Path);
    const TRecord user = User(1);
    static int next = 100000;
    TTripMeter meter;
    for (auto _ : state)
        if (ds.Add(RecordNumber(next++), user.Data()) != VBIS_OK)
            state.SkipWithError("add failed");
    meter.Report(state);
}

// Binds a users record as the engine files it: key, bytes and login name.
void BindUser(sqlite3_stmt *s, const std::string &key, const TRecord &user, std::string &login)
{
    login = user.TextAt(167, 21);
    sqlite3_bind_blob(s, 1, key.data(), int(key.size()), SQLITE_STATIC);
    sqlite3_bind_blob(s, 2, user.Data(), int(user.Size()), SQLITE_STATIC);
    sqlite3_bind_blob(s, 3, login.data(), int(login.size()), SQLITE_STATIC);
}

void Raw_Add(benchmark::State &state)
{
    sqlite3 *db = RawOpen(Fixture().Path + ".isd");
    sqlite3_stmt *begin = Prepare(db, "BEGIN IMMEDIATE");
    sqlite3_stmt *insert = Prepare(db, "INSERT INTO vbis_record(k, rec, x7) VALUES(?1, ?2, ?3)");
    sqlite3_stmt *commit = Prepare(db, "COMMIT");
    const TRecord user = User(1);
    std::string login;
    static int next = 500000;
    TTripMeter meter;
    for (auto _ : state) {
        sqlite3_step(begin);
        sqlite3_reset(begin);
        BindUser(insert, RecordNumber(next++), user, login);
        if (sqlite3_step(insert) != SQLITE_DONE)
            state.SkipWithError("insert failed");
        sqlite3_reset(insert);
        sqlite3_step(commit);
        sqlite3_reset(commit);
    }
    sqlite3_finalize(begin);
    sqlite3_finalize(insert);
    sqlite3_finalize(commit);
    sqlite3_close(db);
    meter.Report(state);
}

void Engine_Replace(benchmark::State &state)
{
    TOpenDataset ds;
    ds.Open(Fixture().Path);
    int i = 0;
    TTripMeter meter;
    for (auto _ : state) {
        const int n = 1 + i++ % kRecords;
        if (ds.Replace(RecordNumber(n), User(n).Data()) != VBIS_OK)
            state.SkipWithError("replace failed");
    }
    meter.Report(state);
}

void Raw_Replace(benchmark::State &state)
{
    sqlite3 *db = RawOpen(Fixture().Path + ".isd");
    sqlite3_stmt *begin = Prepare(db, "BEGIN IMMEDIATE");
    sqlite3_stmt *update = Prepare(db, "UPDATE vbis_record SET rec = ?2, x7 = ?3 WHERE k = ?1");
    sqlite3_stmt *commit = Prepare(db, "COMMIT");
    std::string login;
    int i = 0;
    TTripMeter meter;
    for (auto _ : state) {
        const int n = 1 + i++ % kRecords;
        const TRecord user = User(n);
        sqlite3_step(begin);
        sqlite3_reset(begin);
        BindUser(update, RecordNumber(n), user, login);
        if (sqlite3_step(update) != SQLITE_DONE)
            state.SkipWithError("update failed");
        sqlite3_reset(update);
        sqlite3_step(commit);
        sqlite3_reset(commit);
    }
    sqlite3_finalize(begin);
    sqlite3_finalize(update);
    sqlite3_finalize(commit);
    sqlite3_close(db);
    meter.Report(state);
}

} // namespace

BENCHMARK(Engine_OpenClose);
BENCHMARK(Raw_OpenClose);
BENCHMARK(Engine_ReadEqualKey);
BENCHMARK(Raw_ReadEqualKey);
BENCHMARK(Engine_ReadEqualIndex);
BENCHMARK(Raw_ReadEqualIndex);
BENCHMARK(Engine_Walk1000);
BENCHMARK(Raw_Walk1000);
BENCHMARK(Scan_Walk1000);
BENCHMARK(Engine_Add)->UseRealTime();
BENCHMARK(Raw_Add)->UseRealTime();
BENCHMARK(Engine_Replace)->UseRealTime();
BENCHMARK(Raw_Replace)->UseRealTime();

int main(int argc, char **argv)
{
    Engine();
    Fixture();
    return benchsupport::RunWithRatios(argc, argv, "Engine_", "Raw_", "Scan_");
}
