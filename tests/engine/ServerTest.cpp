// What only a dataset of a board server has: the database's schema and its
// version, the change counter and notice of every write, an unreachable or
// restarted server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

#include "ServerSchema.h"
#include "kit/EngineApi.h"
#include "kit/Location.h"
#include "kit/Records.h"

using namespace vbistest;

namespace {

constexpr const char *kFormat = "X$*31";

int16_t OpenCode(const std::string &path)
{
    TOpenDataset ds;
    return ds.Open(path);
}

// Runs the tests' cluster script; its exit code.
int Cluster(const std::string &action, const std::string &folder)
{
    return std::system((std::string(KIV_PG_CLUSTER_SCRIPT) + " " + action + " '" + folder + "'").c_str());
}

} // namespace

// Fault: the engine works on a database that holds no board, or on a board of
// a later Kiv whose tables it would misread; or, once refused, it keeps
// refusing after the schema was set up; or a kept connection the server was
// just ending makes the check answer "unreachable" instead of asking anew.
TEST(EngineServer, RefusesADatabaseWithoutTheSchemaOrWithANewerOneUntilItIsMended)
{
    TLocation place(TLocationKind::Server, false);
    const std::string path = place / "KivStats";
    EXPECT_EQ(CreateDataset(path, kFormat), kivserver::kCodeNoSchema);
    EXPECT_EQ(OpenCode(path), kivserver::kCodeNoSchema);

    ASSERT_EQ(place.Sql(kivserver::kBaseSchemaSql), "");
    ASSERT_EQ(CreateDataset(path, kFormat), VBIS_OK);
    const struct {
        const char *Version;
        int16_t Code;
    } cases[] = {{"2", kivserver::kCodeNewerSchema}, {"x", kivserver::kCodeNoSchema}, {"1", VBIS_OK}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Version);
        place.Sql(std::string("UPDATE kiv.meta SET value = '") + c.Version + "' WHERE key = 'schema_version'");
        // The version is read at each connection: a new one sees the change.
        // No wait for the old one to be gone: whatever the client has seen of
        // its end by then, the open must not answer "unreachable".
        place.Sql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'kiv'"
                  " AND datname = current_database()");
        EXPECT_EQ(OpenCode(path), c.Code);
    }
    EXPECT_NE(kivserver::kCodeNoSchema, kivserver::kCodeNewerSchema);
}

// Fault: a path that is no server dataset, or a name that would leave its
// quotes in a statement, reaches the server; a server that is not there
// hangs the call.
TEST(EngineServer, AnswersBadPathsAndAnUnreachableServerAtOnce)
{
    const struct {
        std::string Path;
        int16_t Code;
    } cases[] = {
        {"postgresql:///kiv?host=/tmp/no-such-kiv-server", VBIS_BAD_PARAMETER}, // no dataset name
        {"postgresql:///kiv?host=/tmp/no-such-kiv-server#", VBIS_BAD_PARAMETER},
        {"postgresql:///kiv?host=/tmp/no-such-kiv-server#a\"b", VBIS_BAD_PARAMETER},
        {"postgresql:///kiv?host=/tmp/no-such-kiv-server#x'; DROP SCHEMA kiv; --", VBIS_BAD_PARAMETER},
        {"postgresql:///kiv?host=/tmp/no-such-kiv-server#KivStats", kivserver::kCodeUnreachable},
        {"postgres://127.0.0.1:1/kiv#KivStats", kivserver::kCodeUnreachable},
        {"postgresql://kiv@/kiv?host=/tmp/no-such-kiv-server&connect_timeout=1#KivStats", kivserver::kCodeUnreachable},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Path);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(OpenCode(c.Path), c.Code);
        EXPECT_EQ(CreateDataset(c.Path, kFormat), c.Code);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

// Fault: a write that is not counted on in kiv.changes or not notified (the
// boards would miss it), or one that changed nothing and is counted all the
// same (every board would refill for nothing).
TEST(EngineServer, EachWriteCountsItsDatasetOnAndNotifiesOnlyWhenItChangedARecord)
{
    TLocation place(TLocationKind::Server);
    PGconn *listener = PQconnectdb(place.Path().c_str());
    ASSERT_EQ(PQstatus(listener), CONNECTION_OK);
    PQclear(PQexec(listener, "LISTEN kiv_changes"));
    const std::string path = place / "KivStats";
    ASSERT_EQ(CreateDataset(path, kFormat), VBIS_OK);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    const TRecord record = TRecord(31).Text(0, 31, "In");
    const struct {
        const char *What;
        int16_t (*Write)(TOpenDataset &, const TRecord &);
        int16_t Code;
        bool Counted;
    } cases[] = {
        {"add", [](TOpenDataset &d, const TRecord &r) { return d.Add(RecordNumber(1), r.Data()); }, VBIS_OK, true},
        {"add of a key that is there",
         [](TOpenDataset &d, const TRecord &r) { return d.Add(RecordNumber(1), r.Data()); }, VBIS_UPDATE_MODE, false},
        {"replace", [](TOpenDataset &d, const TRecord &r) { return d.Replace(RecordNumber(1), r.Data()); }, VBIS_OK,
         true},
        {"replace of no record", [](TOpenDataset &d, const TRecord &r) { return d.Replace(RecordNumber(2), r.Data()); },
         VBIS_NOT_FOUND, false},
        {"delete", [](TOpenDataset &d, const TRecord &) { return d.Delete(RecordNumber(1)); }, VBIS_OK, true},
        {"delete of no record", [](TOpenDataset &d, const TRecord &) { return d.Delete(RecordNumber(1)); },
         VBIS_NOT_FOUND, false},
    };
    // The create counted once.
    long expected = 1;
    int notices = 1;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(c.Write(ds, record), c.Code);
        expected += c.Counted ? 1 : 0;
        notices += c.Counted ? 1 : 0;
        EXPECT_EQ(place.Sql("SELECT counter FROM kiv.changes WHERE dataset = 'KivStats'"), std::to_string(expected));
    }
    std::vector<std::string> payloads;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (int(payloads.size()) < notices && std::chrono::steady_clock::now() < until) {
        pollfd p{PQsocket(listener), POLLIN, 0};
        ::poll(&p, 1, 100);
        PQconsumeInput(listener);
        while (PGnotify *n = PQnotifies(listener)) {
            payloads.push_back(n->extra);
            PQfreemem(n);
        }
    }
    PQfinish(listener);
    EXPECT_EQ(payloads, std::vector<std::string>(std::size_t(notices), "KivStats"));
}

// Fault: a write that waits for another session's lock hangs the window, or
// comes back as a disk error, or half-writes; a read waits for a writer.
TEST(EngineServer, AWriteBlockedByAnotherSessionAnswersBusyInBoundedTimeAndChangesNothing)
{
    TLocation place(TLocationKind::Server);
    const std::string path = place / "KivStats";
    ASSERT_EQ(CreateDataset(path, kFormat), VBIS_OK);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    ASSERT_EQ(ds.Add(RecordNumber(1), TRecord(31).Text(0, 31, "kept").Data()), VBIS_OK);

    PGconn *other = PQconnectdb(place.Path().c_str());
    ASSERT_EQ(PQstatus(other), CONNECTION_OK);
    PQclear(PQexec(other, "BEGIN; SELECT * FROM kiv.changes FOR UPDATE"));
    TRecord record(31);
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), record.Data()), VBIS_OK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ds.Replace(RecordNumber(1), TRecord(31).Text(0, 31, "lost").Data()), kivserver::kCodeBusy);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(11));
    PQclear(PQexec(other, "COMMIT"));
    PQfinish(other);

    ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), record.Data()), VBIS_OK);
    EXPECT_EQ(record.TextAt(0, 31), "kept");
    EXPECT_EQ(ds.Replace(RecordNumber(1), TRecord(31).Text(0, 31, "now").Data()), VBIS_OK);
}

// Fault: a kept connection that the restart killed is used again and fails
// for ever, or a call hangs while the server is down; the process must not
// need a restart of its own.
TEST(EngineServer, ARestartedServerGivesClearCodesThenRecoversWithoutRestartingTheProcess)
{
    // Under /tmp itself: the server may run as another user, who must reach it.
    const std::string folder = "/tmp/kiv-pg-restart-" + std::to_string(::getpid());
    ASSERT_EQ(Cluster("start", folder), 0);
    const std::string uri = "postgresql:///kiv?host=" + folder + "/socket&user=kiv";
    ASSERT_EQ(RunSql(uri, kivserver::kBaseSchemaSql), "");
    const std::string path = uri + "#KivStats";
    ASSERT_EQ(CreateDataset(path, kFormat), VBIS_OK);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    TRecord record(31);
    ASSERT_EQ(ds.Add(RecordNumber(1), TRecord(31).Text(0, 31, "before").Data()), VBIS_OK);

    ASSERT_EQ(Cluster("halt", folder), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), record.Data()), kivserver::kCodeUnreachable);
    EXPECT_EQ(ds.Replace(RecordNumber(1), TRecord(31).Text(0, 31, "down").Data()), kivserver::kCodeUnreachable);
    EXPECT_EQ(OpenCode(path), kivserver::kCodeUnreachable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    ASSERT_EQ(Cluster("resume", folder), 0);
    // Within a second of a failed connect, calls answer at once without
    // trying again; then the server is reached.
    int16_t code = kivserver::kCodeUnreachable;
    for (int i = 0; i < 30 && code == kivserver::kCodeUnreachable; ++i) {
        code = ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), record.Data());
        if (code == kivserver::kCodeUnreachable)
            ::usleep(100000);
    }
    EXPECT_EQ(code, VBIS_OK);
    EXPECT_EQ(record.TextAt(0, 31), "before");
    // A restart while connected: the kept connection is dead, the next call
    // is served all the same.
    ASSERT_EQ(Cluster("halt", folder), 0);
    ASSERT_EQ(Cluster("resume", folder), 0);
    EXPECT_EQ(ds.Replace(RecordNumber(1), TRecord(31).Text(0, 31, "after").Data()), VBIS_OK);
    ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), record.Data()), VBIS_OK);
    EXPECT_EQ(record.TextAt(0, 31), "after");
    ds.Close();
    Cluster("stop", folder);
}
