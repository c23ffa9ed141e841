// Several workstations on one dataset: processes writing at once, a writer
// killed in the middle of its writes, and handles that stay open without
// blocking anybody.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <sqlite3.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "kit/EngineApi.h"
#include "kit/Location.h"
#include "kit/Records.h"
#include "kit/Worker.h"

using namespace vbistest;

namespace {

// What the workers acknowledged: adds by key (owner text), and per worker
// the last replace counter of its own record.
struct TAcknowledged {
    std::map<std::string, std::string> Added;
    std::map<int, int> LastReplace;
    int Busy = 0;

    void Take(const std::string &line)
    {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "A") {
            std::string key;
            int id = 0, i = 0;
            in >> key >> id >> i;
            const std::string owner = "w" + std::to_string(id) + ":" + std::to_string(i);
            EXPECT_TRUE(Added.emplace(key, owner).second) << "key given out twice: " << key;
        } else if (kind == "R") {
            int id = 0, i = 0;
            in >> id >> i;
            LastReplace[id] = i;
        } else if (kind == "B") {
            ++Busy;
        } else {
            ADD_FAILURE() << "worker reported: " << line;
        }
    }
};

// Every acknowledged write is in the dataset. With exact, nothing else is.
void ExpectAllThere(const std::string &path, const TAcknowledged &acks, int ownRecords, bool exact)
{
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    TRecord record(kWorkerRecordLength);
    for (const auto &[key, owner] : acks.Added) {
        ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, key, record.Data()), VBIS_OK) << key;
        EXPECT_EQ(record.TextAt(0, 21), owner) << key;
    }
    for (const auto &[id, last] : acks.LastReplace) {
        ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(id), record.Data()), VBIS_OK);
        // A replace may have committed just before a kill, unacknowledged.
        EXPECT_GE(record.IntAt(21), last) << "worker " << id;
        if (exact) {
            EXPECT_EQ(record.IntAt(21), last) << "worker " << id;
        }
    }
    TIsamInfoRec info{};
    ASSERT_EQ(ds.Info(info), VBIS_OK);
    if (exact) {
        EXPECT_EQ(std::size_t(info.recordCount), acks.Added.size() + std::size_t(ownRecords));
    } else {
        EXPECT_GE(std::size_t(info.recordCount), acks.Added.size() + std::size_t(ownRecords));
    }
    // The secondary index holds every record too.
    ASSERT_EQ(ds.Top(1), VBIS_OK);
    int walked = 0;
    while (ds.Get(1, VBIS_READ_NEXT, "", record.Data()) == VBIS_OK)
        ++walked;
    EXPECT_EQ(walked, info.recordCount);
}

// A dataset with one record of its own per worker id, for the replaces.
template <class TPlace>
std::string MakeWorkerDataset(const TPlace &place, int workers)
{
    const std::string path = place / "Shared";
    EXPECT_EQ(CreateDataset(path, kWorkerFormat), VBIS_OK);
    TOpenDataset ds;
    EXPECT_EQ(ds.Open(path), VBIS_OK);
    for (int id = 1; id <= workers; ++id)
        EXPECT_EQ(ds.Add(RecordNumber(id), TRecord(kWorkerRecordLength).Text(0, 21, "own").Int(21, 0).Data()), VBIS_OK);
    return path;
}

// The cases that run on a folder and on a board server alike.
class EngineProcesses : public ::testing::TestWithParam<TLocationKind> {
protected:
    TLocation FPlace{GetParam()};
};
INSTANTIATE_TEST_SUITE_P(Location, EngineProcesses, ::testing::Values(TLocationKind::Folder, TLocationKind::Server),
                         [](const auto &info) { return LocationName(info.param); });

} // namespace

TEST_P(EngineProcesses, FourWritersAtOnceLoseNoAcknowledgedWrite)
{
    constexpr int kWorkers = 4;
    constexpr int kWrites = 300;
    const std::string path = MakeWorkerDataset(FPlace, kWorkers);

    std::vector<std::unique_ptr<TWorker>> workers;
    for (int id = 1; id <= kWorkers; ++id)
        workers.push_back(std::make_unique<TWorker>(
            std::vector<std::string>{"mix", path, std::to_string(id), "1", std::to_string(kWrites), "retry"}));
    TAcknowledged acks;
    for (auto &w : workers) {
        for (const std::string &line : w->ReadAll())
            acks.Take(line);
        EXPECT_EQ(w->Wait(), 0);
    }
    EXPECT_EQ(acks.Added.size(), std::size_t(kWorkers * kWrites / 2));
    for (int id = 1; id <= kWorkers; ++id)
        EXPECT_EQ(acks.LastReplace[id], kWrites);
    ExpectAllThere(path, acks, kWorkers, true);
    if (!FPlace.IsServer()) {
        EXPECT_EQ(IntegrityCheck(path + ".isd"), "ok");
    }
}

TEST_P(EngineProcesses, AWriterKilledMidWriteLeavesAnIntactDatasetWithEveryAcknowledgedWrite)
{
    const std::string path = MakeWorkerDataset(FPlace, 2);
    std::mt19937 random(20240611);
    TAcknowledged acks;
    int hotJournals = 0;
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Every fourth round a second writer runs beside the one killed.
        const bool pair = round % 4 == 3;
        // Counters go on from round to round (they are 16-bit in the record).
        const std::string first = std::to_string(1 + round * 1000);
        TWorker victim({"mix", path, "1", first, "900", "retry"});
        std::unique_ptr<TWorker> other;
        if (pair)
            other = std::make_unique<TWorker>(std::vector<std::string>{"mix", path, "2", first, "40", "retry"});
        const int before = 1 + int(random() % 30);
        std::string line;
        for (int i = 0; i < before && victim.ReadLine(line); ++i)
            acks.Take(line);
        // Land the kill anywhere in the write under way, not just after an ack.
        ::usleep(useconds_t(random() % 4000));
        victim.Kill();
        for (const std::string &rest : victim.ReadAll())
            acks.Take(rest);
        EXPECT_EQ(victim.Wait(), 128 + SIGKILL);
        struct stat journal;
        if (::stat((path + ".isd-journal").c_str(), &journal) == 0 && journal.st_size > 0)
            ++hotJournals;
        if (other) {
            for (const std::string &rest : other->ReadAll())
                acks.Take(rest);
            EXPECT_EQ(other->Wait(), 0);
        }
        // On a server, the statement of a killed writer runs to its end (its
        // commit or rollback) before the server notices the writer is gone:
        // the dataset is looked at once only this process's session is left.
        for (int i = 0; FPlace.IsServer() && i < 500; ++i) {
            if (FPlace.Sql("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'kiv'"
                           " AND datname = current_database()")
                == "1")
                break;
            ::usleep(10000);
        }
        // The next opener finds the dead writer's journal and rolls it back.
        ExpectAllThere(path, acks, 2, false);
        if (!FPlace.IsServer()) {
            ASSERT_EQ(IntegrityCheck(path + ".isd"), "ok");
        }
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(acks.Added.size(), 24u);
    // Most kills should have landed inside a transaction.
    RecordProperty("HotJournals", hotJournals);
}

TEST(EngineFolderProcesses, AnotherProcessWritesWhileAHandleStaysOpenAfterARead)
{
    TTempFolder folder;
    const std::string path = MakeWorkerDataset(folder, 3);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    TRecord record(kWorkerRecordLength);
    std::string key;
    ASSERT_EQ(ds.Get(1, VBIS_READ_EQUAL, "own", record.Data(), &key), VBIS_OK);
    ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(2), record.Data(), &key), VBIS_OK);

    // A failing wait for a lock would show as "E 3" after the busy timeout.
    TWorker writer({"add", path, RecordNumber(10), "from the other side"});
    const std::vector<std::string> said = writer.ReadAll();
    EXPECT_EQ(writer.Wait(), 0);
    EXPECT_EQ(said, std::vector<std::string>{"A " + RecordNumber(10) + " from the other side"});
    TWorker reader({"open", path});
    EXPECT_EQ(reader.ReadAll(), std::vector<std::string>{"C 0 4"});
    EXPECT_EQ(reader.Wait(), 0);

    // The open handle goes on from its position and sees the new record.
    ASSERT_EQ(ds.Get(0, VBIS_READ_NEXT, "", record.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(3));
    ASSERT_EQ(ds.Get(0, VBIS_READ_NEXT, "", record.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(10));
    EXPECT_EQ(record.TextAt(0, 21), "from the other side");
    ASSERT_EQ(ds.Get(1, VBIS_READ_EQUAL, "from the other side", record.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(10));
    ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, "missing", record.Data()), VBIS_NOT_FOUND);
    ASSERT_EQ(ds.Add(RecordNumber(1), record.Data()), VBIS_UPDATE_MODE);

    // After reads, a failed read and a refused write, an exclusive lock
    // elsewhere is granted at once: the handle holds nothing.
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2((path + ".isd").c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(raw, "BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
}

TEST(EngineFolderProcesses, ALockHeldTooLongAnswersMultiUserAccessAndThenTheHandleWorksAgain)
{
    TTempFolder folder;
    const std::string path = MakeWorkerDataset(folder, 1);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    TRecord record(kWorkerRecordLength);
    record.Text(0, 21, "waiting");

    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2((path + ".isd").c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    // Another writer's transaction in progress does not stop a read.
    ASSERT_EQ(sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    TRecord read(kWorkerRecordLength);
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_OK);
    // A write waits a bounded time, then gives up without writing.
    EXPECT_EQ(ds.Replace(RecordNumber(1), record.Data()), VBIS_MULTI_USER);
    ASSERT_EQ(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);

    // An exclusive lock (a commit under way) stops reads too, for a bounded time.
    ASSERT_EQ(sqlite3_exec(raw, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_MULTI_USER);
    ASSERT_EQ(sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_OK);
    EXPECT_EQ(read.TextAt(0, 21), "own");
    EXPECT_EQ(ds.Replace(RecordNumber(1), record.Data()), VBIS_OK);
    ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_OK);
    EXPECT_EQ(read.TextAt(0, 21), "waiting");
}

// Workstations creating one dataset at the same moment: exactly one create
// succeeds, the others are refused, and every one of them can open the
// dataset straight away, never finding half of it.
TEST_P(EngineProcesses, WorkstationsCreatingOneDatasetAtOnceAllOpenIt)
{
    constexpr int kWorkers = 6;
    constexpr int kRounds = 15;
    for (int round = 0; round < kRounds; ++round) {
        TLocation place(GetParam());
        const std::string path = place / "Race";
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        std::vector<pid_t> children;
        for (int w = 0; w < kWorkers; ++w) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(go[1]);
                char c;
                (void)!::read(go[0], &c, 1); // all start together when the pipe closes
                const int16_t created = CreateDataset(path, kWorkerFormat);
                TOpenDataset ds;
                const int16_t opened = ds.Open(path);
                ::_exit(opened != VBIS_OK ? 100 + opened : created == VBIS_OK ? 0 : 1);
            }
            children.push_back(pid);
        }
        ::close(go[0]);
        ::close(go[1]);
        int creators = 0;
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status));
            const int code = WEXITSTATUS(status);
            ASSERT_LT(code, 100) << "an open answered " << code - 100 << " in round " << round;
            creators += code == 0;
        }
        EXPECT_EQ(creators, 1) << "round " << round;
    }
}
