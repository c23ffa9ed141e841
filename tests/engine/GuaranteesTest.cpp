// What the engine's header promises a caller, tried with several processes
// on one dataset: every open sees what was committed before it, a process
// sees its own writes at once through any handle, a walk never returns a
// record twice nor misses one that stayed while others write, and a dataset
// deleted and created again is seen anew. Walks read ahead in batches and
// closed datasets keep their connections, so each of these is tried across
// batch ends and across a close and the next open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kit/EngineApi.h"
#include "kit/Records.h"
#include "kit/Worker.h"

using namespace vbistest;

namespace {

constexpr int kStable = 1500;

std::string StableOwner(int j)
{
    return j % 5 == 0 ? "run" : "s" + std::to_string(10000 + j * 7919 % kStable);
}

// Records under the even keys 2, 4, ... 2 * kStable, which stay for the whole
// test; the churning worker adds and erases odd keys between them. They are
// filed in one transaction of SQLite's own, as one add at a time would take
// a while; the engine reads them back as a check.
std::string MakeStableDataset(const TTempFolder &folder)
{
    const std::string path = folder / "Board";
    EXPECT_EQ(CreateDataset(path, kWorkerFormat), VBIS_OK);
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open_v2((path + ".isd").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_stmt *insert = nullptr;
    EXPECT_EQ(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_prepare_v2(db, "INSERT INTO vbis_record(k, rec, x1) VALUES(?, ?, ?)", -1, &insert, nullptr),
              SQLITE_OK);
    for (int j = 0; j < kStable; ++j) {
        const std::string key = RecordNumber(2 * (j + 1));
        const std::string owner = StableOwner(j);
        const TRecord record = TRecord(kWorkerRecordLength).Text(0, 21, owner);
        sqlite3_bind_blob(insert, 1, key.data(), int(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, record.Data(), int(record.Size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 3, owner.data(), int(owner.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    EXPECT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    TOpenDataset ds;
    TIsamInfoRec info{};
    EXPECT_EQ(ds.Open(path), VBIS_OK);
    EXPECT_EQ(ds.Info(info), VBIS_OK);
    EXPECT_EQ(info.recordCount, kStable);
    return path;
}

struct TWalked {
    std::vector<std::string> Keys;
    std::vector<std::string> Owners;
};

// One walk with a fresh handle along index (forward or back), or, with a
// run value, from the ReadEqual of that value on through its records; a
// short pause every few records lets the other process write in between.
TWalked Walk(const std::string &path, int16_t index, bool forward, const std::string &run = "")
{
    TWalked walked;
    TOpenDataset ds;
    EXPECT_EQ(ds.Open(path), VBIS_OK);
    TRecord record(kWorkerRecordLength);
    std::string key;
    int16_t code;
    if (run.empty()) {
        EXPECT_EQ(forward ? ds.Top(index) : ds.Bottom(index), VBIS_OK);
        code = ds.Get(index, forward ? VBIS_READ_NEXT : VBIS_READ_PREVIOUS, "", record.Data(), &key);
    } else {
        code = ds.Get(index, VBIS_READ_EQUAL, run, record.Data(), &key);
    }
    while (code == VBIS_OK) {
        if (!run.empty() && record.TextAt(0, 21) != run)
            break;
        walked.Keys.push_back(key);
        walked.Owners.push_back(record.TextAt(0, 21));
        if (walked.Keys.size() % 64 == 0)
            ::usleep(2000);
        code = ds.Get(index, forward ? VBIS_READ_NEXT : VBIS_READ_PREVIOUS, "", record.Data(), &key);
    }
    EXPECT_EQ(code, run.empty() ? VBIS_NOT_FOUND : VBIS_OK);
    return walked;
}

void ExpectWholeWalk(const TWalked &walked, bool forward, bool byOwner, const std::string &run)
{
    // The other process erases and adds again the records under odd keys,
    // with another owner now and then: on the owner index such a record is a
    // new one at another place, and may be met twice. The stable records are
    // met once, and nothing is met twice along the record key.
    std::set<std::string> seen;
    for (const std::string &key : walked.Keys) {
        const bool stable = (key.back() - '0') % 2 == 0;
        EXPECT_TRUE(seen.insert(key).second || (byOwner && !stable)) << "returned twice: " << key;
    }
    for (int j = 0; j < kStable; ++j)
        if (run.empty() || StableOwner(j) == run) {
            EXPECT_TRUE(seen.count(RecordNumber(2 * (j + 1)))) << "skipped " << RecordNumber(2 * (j + 1));
        }
    // In index order all along.
    for (std::size_t i = 1; i < walked.Keys.size(); ++i) {
        const auto before = byOwner ? std::make_pair(walked.Owners[i - 1], walked.Keys[i - 1])
                                    : std::make_pair(walked.Keys[i - 1], std::string());
        const auto now =
            byOwner ? std::make_pair(walked.Owners[i], walked.Keys[i]) : std::make_pair(walked.Keys[i], std::string());
        EXPECT_TRUE(forward ? before < now : now < before) << walked.Keys[i - 1] << " then " << walked.Keys[i];
    }
}

} // namespace

TEST(EngineGuarantees, AWalkNeverReturnsARecordTwiceNorMissesOneThatStayedWhileAnotherProcessWrites)
{
    TTempFolder folder;
    const std::string path = MakeStableDataset(folder);
    TWorker churn({"churn", path, std::to_string(kStable), "4000"});
    int walks = 0;
    for (; walks < 40; ++walks) {
        SCOPED_TRACE("walk " + std::to_string(walks));
        switch (walks % 5) {
        case 0:
            ExpectWholeWalk(Walk(path, 0, true), true, false, "");
            break;
        case 1:
            ExpectWholeWalk(Walk(path, 1, true), true, true, "");
            break;
        case 2:
            ExpectWholeWalk(Walk(path, 0, false), false, false, "");
            break;
        case 3:
            ExpectWholeWalk(Walk(path, 1, false), false, true, "");
            break;
        default:
            ExpectWholeWalk(Walk(path, 1, true, "run"), true, true, "run");
            break;
        }
        if (HasFailure())
            break;
    }
    const std::vector<std::string> said = churn.ReadAll();
    EXPECT_EQ(churn.Wait(), 0);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].substr(0, 2), "D ");
    EXPECT_GT(std::stoi(said[0].substr(2)), 20) << "the other process hardly wrote";
    EXPECT_EQ(IntegrityCheck(path + ".isd"), "ok");
}

TEST(EngineGuarantees, AProcessSeesItsOwnWritesAtItsNextReadThroughAnyHandle)
{
    TTempFolder folder;
    const std::string path = MakeStableDataset(folder);
    TOpenDataset walker;
    TOpenDataset writer;
    ASSERT_EQ(walker.Open(path), VBIS_OK);
    ASSERT_EQ(writer.Open(path), VBIS_OK);
    TRecord record(kWorkerRecordLength);
    std::string key;
    ASSERT_EQ(walker.Top(0), VBIS_OK);
    for (int i = 1; i <= 10; ++i) {
        ASSERT_EQ(walker.Get(0, VBIS_READ_NEXT, "", record.Data(), &key), VBIS_OK);
        ASSERT_EQ(key, RecordNumber(2 * i));
    }
    // Ahead of the walker, after it read the start of the index ahead.
    ASSERT_EQ(writer.Replace(RecordNumber(22), TRecord(kWorkerRecordLength).Text(0, 21, "changed").Data()), VBIS_OK);
    ASSERT_EQ(writer.Delete(RecordNumber(24)), VBIS_OK);
    ASSERT_EQ(writer.Add(RecordNumber(25), TRecord(kWorkerRecordLength).Text(0, 21, "added").Data()), VBIS_OK);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {RecordNumber(22), "changed"}, {RecordNumber(25), "added"}, {RecordNumber(26), StableOwner(12)}};
    for (const auto &[wantKey, wantOwner] : expected) {
        ASSERT_EQ(walker.Get(0, VBIS_READ_NEXT, "", record.Data(), &key), VBIS_OK);
        EXPECT_EQ(key, wantKey);
        EXPECT_EQ(record.TextAt(0, 21), wantOwner);
    }
    // Back again, and along the other index, after another write.
    ASSERT_EQ(writer.Replace(RecordNumber(25), TRecord(kWorkerRecordLength).Text(0, 21, "again").Data()), VBIS_OK);
    ASSERT_EQ(walker.Get(0, VBIS_READ_PREVIOUS, "", record.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(25));
    EXPECT_EQ(record.TextAt(0, 21), "again");
    ASSERT_EQ(walker.Get(1, VBIS_READ_EQUAL, "again", record.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(25));
    // And through a handle opened after the writes, on a kept connection.
    ASSERT_EQ(writer.Close(), VBIS_OK);
    TOpenDataset later;
    ASSERT_EQ(later.Open(path), VBIS_OK);
    EXPECT_EQ(later.Get(0, VBIS_READ_EQUAL, RecordNumber(24), record.Data()), VBIS_NOT_FOUND);
}

TEST(EngineGuarantees, EveryOpenSeesTheWritesAnotherProcessCommittedBeforeIt)
{
    TTempFolder folder;
    const std::string path = MakeStableDataset(folder);
    TRecord record(kWorkerRecordLength);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            // A read that leaves the connection, and its pages, kept.
            TOpenDataset ds;
            ASSERT_EQ(ds.Open(path), VBIS_OK);
            ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(2), record.Data()), VBIS_OK);
        }
        const std::string text = "round " + std::to_string(round);
        TWorker writer({"replace", path, RecordNumber(2), text});
        EXPECT_EQ(writer.ReadAll(), std::vector<std::string>{"R " + RecordNumber(2) + " " + text});
        EXPECT_EQ(writer.Wait(), 0);
        TOpenDataset ds;
        ASSERT_EQ(ds.Open(path), VBIS_OK);
        ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(2), record.Data()), VBIS_OK);
        EXPECT_EQ(record.TextAt(0, 21), text);
    }

    // A writer that leaves the data file's time and size as they were (not
    // the engine: it always moves the time on) is seen all the same.
    struct stat before {};
    ASSERT_EQ(::stat((path + ".isd").c_str(), &before), 0);
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2((path + ".isd").c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(
                  raw, "UPDATE vbis_record SET rec = CAST(zeroblob(23) AS BLOB) WHERE k = CAST('0000000004' AS BLOB)",
                  nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, (path + ".isd").c_str(), times, 0), 0);
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(4), record.Data()), VBIS_OK);
    EXPECT_EQ(record, TRecord(kWorkerRecordLength));
}

TEST(EngineGuarantees, ADatasetDeletedAndCreatedAgainByAnotherProcessIsSeenAtTheNextOpen)
{
    TTempFolder folder;
    const std::string path = MakeStableDataset(folder);
    TRecord record(kWorkerRecordLength);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            TOpenDataset ds;
            ASSERT_EQ(ds.Open(path), VBIS_OK);
            ASSERT_EQ(ds.Top(0), VBIS_OK);
            ASSERT_EQ(ds.Get(0, VBIS_READ_NEXT, "", record.Data()), VBIS_OK);
        }
        const std::string text = "anew " + std::to_string(round);
        TWorker recreate({"recreate", path, text});
        EXPECT_EQ(recreate.ReadAll(), std::vector<std::string>{"N 0"});
        EXPECT_EQ(recreate.Wait(), 0);
        TOpenDataset ds;
        ASSERT_EQ(ds.Open(path), VBIS_OK);
        TIsamInfoRec info{};
        ASSERT_EQ(ds.Info(info), VBIS_OK);
        EXPECT_EQ(info.recordCount, 1);
        ASSERT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(1), record.Data()), VBIS_OK);
        EXPECT_EQ(record.TextAt(0, 21), text);
    }
}

// The count an open reports may come from an earlier open of the same
// connection; every write in between, by this process or another, by this
// handle or another, must show in it.
TEST(EngineGuarantees, TheRecordCountAfterAnOpenFollowsEveryWriteSinceTheLastOne)
{
    TTempFolder folder;
    const std::string path = folder / "Counted";
    ASSERT_EQ(CreateDataset(path, kWorkerFormat), VBIS_OK);
    const TRecord record = TRecord(kWorkerRecordLength).Text(0, 21, "own");
    auto countAtOpen = [&] {
        TOpenDataset ds;
        TIsamInfoRec info{};
        EXPECT_EQ(ds.Open(path), VBIS_OK);
        EXPECT_EQ(ds.Info(info), VBIS_OK);
        return info.recordCount;
    };
    auto ownWrite = [&](auto write) {
        TOpenDataset ds;
        ASSERT_EQ(ds.Open(path), VBIS_OK);
        write(ds);
    };
    EXPECT_EQ(countAtOpen(), 0);
    EXPECT_EQ(countAtOpen(), 0); // unchanged since
    ownWrite([&](TOpenDataset &ds) { EXPECT_EQ(ds.Add(RecordNumber(1), record.Data()), VBIS_OK); });
    EXPECT_EQ(countAtOpen(), 1);
    TWorker other({"add", path, RecordNumber(2), "theirs"});
    EXPECT_EQ(other.ReadAll(), std::vector<std::string>{"A " + RecordNumber(2) + " theirs"});
    EXPECT_EQ(other.Wait(), 0);
    EXPECT_EQ(countAtOpen(), 2);
    ownWrite([&](TOpenDataset &ds) {
        EXPECT_EQ(ds.Add(RecordNumber(1), record.Data()), VBIS_UPDATE_MODE); // refused: no change
        EXPECT_EQ(ds.Delete(RecordNumber(9)), VBIS_NOT_FOUND);
        EXPECT_EQ(ds.Delete(RecordNumber(1)), VBIS_OK);
    });
    EXPECT_EQ(countAtOpen(), 1);
    {
        // A handle held open while another of this process writes, then asked.
        TOpenDataset held;
        ASSERT_EQ(held.Open(path), VBIS_OK);
        ownWrite([&](TOpenDataset &ds) { EXPECT_EQ(ds.Add(RecordNumber(3), record.Data()), VBIS_OK); });
        TIsamInfoRec info{};
        ASSERT_EQ(held.Info(info), VBIS_OK);
        EXPECT_EQ(info.recordCount, 2);
    }
    EXPECT_EQ(countAtOpen(), 2);
}
