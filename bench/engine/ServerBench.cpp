// The engine on a board server beside raw libpq doing the same work on the
// same table, over the Unix socket and over loopback TCP: a walk of the users
// by login name (1,000 and 10,000 records; the raw baseline is the one SELECT
// of them all), and one replace (the raw baseline is the one UPDATE). The
// engine's replace is one statement too, which also counts the dataset's
// change counter on and notifies. The bench starts a cluster of its own.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libpq-fe.h>
#include <string>
#include <unistd.h>

#include "ServerSchema.h"
#include "bench/Trips.h"
#include "kit/EngineApi.h"
#include "kit/Location.h"
#include "kit/Records.h"

using namespace vbistest;

namespace {

// The users dataset: login name (index 7) at offset 167, 21 bytes.
constexpr const char *kUsersFormat = "%,$*51,$*31,$*11,$*21,$*51,X$*21,$*31,$*51,$*51,$*51,$*51,%,%,%";
constexpr std::size_t kUsersLength = 429;

std::string Login(int i, int count)
{
    return "USER" + std::to_string(i * 7 % count);
}

TRecord User(int i, int count)
{
    TRecord r(kUsersLength);
    r.Text(2, 51, "Name of user " + std::to_string(i)).Text(53, 31, "Available").Text(167, 21, Login(i, count));
    return r;
}

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "server bench: %s\n", what.c_str());
    std::exit(1);
}

// The bench's own cluster, listening on a socket and on loopback TCP.
struct TCluster {
    std::string Folder = "/tmp/kiv-pg-bench-" + std::to_string(::getpid());
    int Port = 20000 + ::getpid() % 20000;
    std::string Socket, Tcp;
    TCluster()
    {
        const std::string start = std::string(KIV_PG_CLUSTER_SCRIPT) + " start " + Folder + " " + std::to_string(Port);
        if (std::system(start.c_str()) != 0)
            Fail("cannot start a cluster");
        Socket = "postgresql:///kiv?host=" + Folder + "/socket&port=" + std::to_string(Port) + "&user=kiv";
        Tcp = "postgresql://kiv@127.0.0.1:" + std::to_string(Port) + "/kiv";
        if (!RunSql(Socket, kivserver::kBaseSchemaSql).empty())
            Fail("cannot set up the schema");
        for (int count : {1000, 10000}) {
            const std::string path = kivserver::DatasetPath(Socket, Name(count));
            if (CreateDataset(path, kUsersFormat) != VBIS_OK)
                Fail("cannot create " + path);
            TOpenDataset ds;
            if (ds.Open(path) != VBIS_OK)
                Fail("cannot open " + path);
            for (int i = 1; i <= count; ++i)
                if (ds.Add(RecordNumber(i), User(i, count).Data()) != VBIS_OK)
                    Fail("cannot fill " + path);
        }
        RunSql(Socket, "VACUUM ANALYZE");
    }
    ~TCluster() { std::system((std::string(KIV_PG_CLUSTER_SCRIPT) + " stop " + Folder).c_str()); }
    static std::string Name(int count) { return "Users" + std::to_string(count); }
    const std::string &Uri(bool tcp) const { return tcp ? Tcp : Socket; }
};

TCluster &Cluster()
{
    static TCluster cluster;
    return cluster;
}

// With the planner's page cost the engine's sessions use, so that both read
// the index in order rather than sorting the table.
PGconn *RawConnect(const std::string &uri)
{
    const char *keywords[] = {"options", "dbname", nullptr};
    const char *values[] = {"-c random_page_cost=1.1", uri.c_str(), nullptr};
    PGconn *conn = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(conn) != CONNECTION_OK)
        Fail(PQerrorMessage(conn));
    return conn;
}

void Engine_Walk(benchmark::State &state, int count, bool tcp)
{
    TOpenDataset ds;
    if (ds.Open(kivserver::DatasetPath(Cluster().Uri(tcp), TCluster::Name(count))) != VBIS_OK)
        state.SkipWithError("open failed");
    TRecord buffer(kUsersLength);
    for (auto _ : state) {
        ds.Top(7);
        int n = 0;
        while (ds.Get(7, VBIS_READ_NEXT, "", buffer.Data()) == VBIS_OK)
            ++n;
        if (n != count)
            state.SkipWithError("short walk");
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// The same rows in the same order in one statement (where the engine needs
// one for each 4 MiB), copied out as the engine hands them over.
void Raw_Walk(benchmark::State &state, int count, bool tcp)
{
    PGconn *conn = RawConnect(Cluster().Uri(tcp));
    // With the LIMIT the engine gives its batches, so that the server plans it
    // the same way (an index scan, no sort).
    const std::string sql =
        "SELECT k, rec, x7 FROM kiv.\"ds_" + TCluster::Name(count) + "\" ORDER BY x7, k LIMIT " + std::to_string(count);
    TRecord buffer(kUsersLength);
    std::string key;
    for (auto _ : state) {
        PGresult *r = PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1);
        const int rows = PQntuples(r);
        for (int i = 0; i < rows; ++i) {
            key.assign(PQgetvalue(r, i, 0), std::size_t(PQgetlength(r, i, 0)));
            std::memcpy(buffer.Data(), PQgetvalue(r, i, 1), std::size_t(PQgetlength(r, i, 1)));
        }
        PQclear(r);
        if (rows != count)
            state.SkipWithError("short walk");
    }
    PQfinish(conn);
    state.SetItemsProcessed(state.iterations() * count);
}

void Engine_Replace(benchmark::State &state, bool tcp)
{
    TOpenDataset ds;
    if (ds.Open(kivserver::DatasetPath(Cluster().Uri(tcp), TCluster::Name(1000))) != VBIS_OK)
        state.SkipWithError("open failed");
    int i = 0;
    for (auto _ : state) {
        const int n = 1 + i++ % 1000;
        if (ds.Replace(RecordNumber(n), User(n, 1000).Data()) != VBIS_OK)
            state.SkipWithError("replace failed");
    }
}

void Raw_Replace(benchmark::State &state, bool tcp)
{
    PGconn *conn = RawConnect(Cluster().Uri(tcp));
    const std::string sql = "UPDATE kiv.\"ds_" + TCluster::Name(1000) + "\" SET rec = $2, x7 = $3 WHERE k = $1";
    int i = 0;
    for (auto _ : state) {
        const int n = 1 + i++ % 1000;
        const TRecord user = User(n, 1000);
        const std::string key = RecordNumber(n), login = user.TextAt(167, 21);
        const char *values[] = {key.data(), static_cast<const char *>(user.Data()), login.data()};
        const int lengths[] = {int(key.size()), int(user.Size()), int(login.size())};
        const int formats[] = {1, 1, 1};
        PGresult *r = PQexecParams(conn, sql.c_str(), 3, nullptr, values, lengths, formats, 1);
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            state.SkipWithError("update failed");
        PQclear(r);
    }
    PQfinish(conn);
}

} // namespace

int main(int argc, char **argv)
{
    Engine();
    Cluster();
    for (const bool tcp : {false, true}) {
        const std::string via = tcp ? "/tcp" : "/socket";
        for (const int count : {1000, 10000}) {
            const std::string work = "Walk" + std::to_string(count) + via;
            benchmark::RegisterBenchmark(("Engine_" + work).c_str(), Engine_Walk, count, tcp);
            benchmark::RegisterBenchmark(("Raw_" + work).c_str(), Raw_Walk, count, tcp);
        }
        benchmark::RegisterBenchmark(("Engine_Replace" + via).c_str(), Engine_Replace, tcp)->UseRealTime();
        benchmark::RegisterBenchmark(("Raw_Replace" + via).c_str(), Raw_Replace, tcp)->UseRealTime();
    }
    return benchsupport::RunWithRatios(argc, argv, "Engine_", "Raw_", "Scan_");
}
