// A board on a PostgreSQL server, over the Unix socket and over loopback TCP:
// filling the board of 1,000 and 10,000 users beside raw libpq doing the same
// SELECT and building the same rows; one status change, with the statements
// it sends counted in the server's log; and the time from a status change on
// one workstation to the refill of another's board, which learns of it
// through NOTIFY (a folder board learns of it at the next poll of its board
// timer: half its period, 5 s, on average). The bench starts a cluster of
// its own.
#include "board/BoardLocation.h"
#include "board/ChangeWatcher.h"
#include "board/KivFile.h"
#include "board/ServerBoard.h"
#include "board/UserRecord.h"

#include "bench/board/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <libpq-fe.h>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

using namespace benchsupport;

using TWorkstation = TQuietWindows;

PGconn *RawConnect(const std::string &uri)
{
    const char *keywords[] = {"options", "dbname", nullptr};
    const char *values[] = {"-c random_page_cost=1.1", uri.c_str(), nullptr};
    PGconn *conn = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(conn) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(conn));
    return conn;
}

void RawRun(const std::string &uri, const std::string &sql)
{
    PGconn *conn = RawConnect(uri);
    PGresult *r = PQexec(conn, sql.c_str());
    const bool good = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    const std::string error = PQerrorMessage(conn);
    PQclear(r);
    PQfinish(conn);
    if (!good)
        throw std::runtime_error(error);
}

// The bench's own cluster, on a socket and on loopback TCP, with a board of
// each size in a database of its own.
struct TCluster {
    std::string Folder = "/tmp/kiv-pg-boardbench-" + std::to_string(::getpid());
    int Port = 20000 + (::getpid() + 7) % 20000;
    TCluster()
    {
        const std::string start = std::string(KIV_PG_CLUSTER_SCRIPT) + " start " + Folder + " " + std::to_string(Port);
        if (std::system(start.c_str()) != 0)
            throw std::runtime_error("cannot start a cluster");
        for (int users : {1000, 10000}) {
            const std::string name = "board" + std::to_string(users);
            RawRun(Uri("kiv", false), "CREATE DATABASE " + name);
            // Every statement logged, so that a status change's can be counted.
            RawRun(Uri("kiv", false), "ALTER DATABASE " + name + " SET log_statement = 'all'");
            InitServerBoard(Uri(name, false));
            FillUsersDataset(Uri(name, false), users, [](int n) { return StaffRecord(n, LoginOf(n)); });
            RawRun(Uri(name, false), "VACUUM ANALYZE");
        }
    }
    ~TCluster() { std::system((std::string(KIV_PG_CLUSTER_SCRIPT) + " stop " + Folder).c_str()); }
    std::string Uri(const std::string &database, bool tcp) const
    {
        return tcp ? "postgresql://kiv@127.0.0.1:" + std::to_string(Port) + "/" + database
                   : "postgresql:///" + database + "?host=" + Folder + "/socket&port=" + std::to_string(Port)
                         + "&user=kiv";
    }
    std::string Board(int users, bool tcp) const { return Uri("board" + std::to_string(users), tcp); }
    /// The statements the server has run so far, as its log counts them.
    long Statements() const
    {
        std::ifstream log(Folder + "/server.log");
        long count = 0;
        for (std::string line; std::getline(log, line);)
            if (line.find("LOG:  execute ") != std::string::npos || line.find("LOG:  statement: ") != std::string::npos)
                ++count;
        return count;
    }
};

TCluster &Cluster()
{
    static TCluster cluster;
    return cluster;
}

void Kiv_FillBoard(benchmark::State &state, int users, bool tcp)
{
    TWorkstation ws;
    TKivFile kiv(Cluster().Board(users, tcp), ws.Ctx, "VIEWER");
    TNoOpBoardList list;
    kiv.FillBoard(list);
    for (auto _ : state)
        kiv.FillBoard(list);
    if (list.Rows != users * 4 / 5)
        state.SkipWithError("the board did not list the users who are not offline");
    state.SetItemsProcessed(state.iterations() * users);
}

// The same rows from one SELECT of the users' records in record-number order.
void Raw_FillBoard(benchmark::State &state, int users, bool tcp)
{
    TWorkstation ws;
    TKivFile rows(Cluster().Board(users, tcp), ws.Ctx, "VIEWER"); // for UpdatedText and StatusImageIndex only
    TNoOpBoardList list;
    PGconn *conn = RawConnect(Cluster().Board(users, tcp));
    const std::string sql =
        std::string("SELECT rec FROM kiv.\"ds_") + UserRecord::DatasetName + "\" ORDER BY k LIMIT 100000";
    for (auto _ : state) {
        PGresult *r = PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1);
        list.Clear();
        for (int i = 0; i < PQntuples(r); ++i) {
            if (PQgetlength(r, i, 0) != int(sizeof(UserRecord::TBuffer)))
                continue;
            const char *record = PQgetvalue(r, i, 0);
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
        PQclear(r);
    }
    PQfinish(conn);
    if (list.Rows != users * 4 / 5)
        state.SkipWithError("the baseline did not list the users who are not offline");
    state.SetItemsProcessed(state.iterations() * users);
}

// One status change of the signed-in user (no activity log); "statements"
// is what the server ran for each.
void Kiv_SetStatus(benchmark::State &state, bool tcp)
{
    TWorkstation ws;
    TKivFile kiv(Cluster().Board(1000, tcp), ws.Ctx, LoginOf(500));
    kiv.LoggingType = 0;
    kiv.SetStatus();
    int n = 0;
    ::usleep(200000); // the log is written by the server's own process
    const long before = Cluster().Statements();
    for (auto _ : state) {
        ws.Session.User.Status = kStatuses[n++ % 4];
        kiv.SetStatus();
    }
    ::usleep(200000);
    state.counters["statements"] = double(Cluster().Statements() - before) / double(state.iterations());
}

// The same change by hand: the one UPDATE of the record.
void Raw_SetStatus(benchmark::State &state, bool tcp)
{
    PGconn *conn = RawConnect(Cluster().Board(1000, tcp));
    const std::string sql = std::string("UPDATE kiv.\"ds_") + UserRecord::DatasetName + "\" SET rec = $2 WHERE k = $1";
    UserRecord::TBuffer record = StaffRecord(500, LoginOf(500));
    const std::string key = RecordNumberText(501);
    int n = 0;
    for (auto _ : state) {
        PutText(record.data(), UserRecord::Status, kStatuses[n++ % 4]);
        const char *values[] = {key.data(), record.data()};
        const int lengths[] = {int(key.size()), int(record.size())};
        const int formats[] = {1, 1};
        PGresult *r = PQexecParams(conn, sql.c_str(), 2, nullptr, values, lengths, formats, 1);
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            state.SkipWithError("the baseline could not replace the record");
        PQclear(r);
    }
    PQfinish(conn);
}

// A status change on one workstation until another's board was refilled: the
// watcher's push socket wakes it, its look answers the users changed, and it
// refills its board of 1,000.
void Kiv_ChangeToRefill(benchmark::State &state, bool tcp)
{
    const std::string uri = Cluster().Board(1000, tcp);
    TWorkstation writer, reader;
    TKivFile kiv(uri, writer.Ctx, LoginOf(501));
    kiv.LoggingType = 0;
    kiv.SetStatus();
    TKivFile board(uri, reader.Ctx, "VIEWER");
    std::unique_ptr<IChangeWatcher> watcher = MakeBoardLocation(uri)->MakeWatcher();
    watcher->Look(BoardChange::Users);
    TNoOpBoardList list;
    int n = 0;
    for (auto _ : state) {
        writer.Session.User.Status = kStatuses[n++ % 4];
        kiv.SetStatus();
        bool refilled = false;
        while (!refilled) {
            pollfd p{watcher->PushSocket(), POLLIN, 0};
            if (!watcher->TakePushed() && ::poll(&p, 1, 10000) <= 0) {
                state.SkipWithError("no news of the change within 10 s");
                break;
            }
            if (watcher->Look(BoardChange::Users).Has(BoardChange::Users)) {
                board.FillBoard(list);
                refilled = true;
            }
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    Cluster();
    for (const bool tcp : {false, true}) {
        const std::string via = tcp ? "/tcp" : "/socket";
        for (const int users : {1000, 10000}) {
            const std::string work = "FillBoard" + std::to_string(users) + via;
            benchmark::RegisterBenchmark(("Kiv_" + work).c_str(), Kiv_FillBoard, users, tcp)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("Raw_" + work).c_str(), Raw_FillBoard, users, tcp)
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RegisterBenchmark(("Kiv_SetStatus" + via).c_str(), Kiv_SetStatus, tcp)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Raw_SetStatus" + via).c_str(), Raw_SetStatus, tcp)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Kiv_ChangeToRefill" + via).c_str(), Kiv_ChangeToRefill, tcp)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
    return benchsupport::RunWithRatios(argc, argv, "Kiv_", "Raw_", "Scan_");
}
