// Damaged, foreign and unreachable dataset files: each answers its code and
// nothing crashes, hangs or is half-written.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kit/EngineApi.h"
#include "kit/Records.h"
#include "kit/Worker.h"

using namespace vbistest;

namespace {

constexpr const char *kGoodDefinition = "VBIS4032 ISAM dataset definition\nversion 1\nkey-length 10\nformat X$*21,%\n";

// Runs SQL on a data file behind the engine's back.
void Sql(const std::string &isd, const std::string &sql)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(isd.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

class EngineBadFiles : public ::testing::Test {
protected:
    // A dataset of the worker's layout with count records of long owners,
    // so that its data spans many pages.
    std::string MakeDataset(const std::string &name, int count)
    {
        const std::string path = FFolder / name;
        EXPECT_EQ(CreateDataset(path, kWorkerFormat), VBIS_OK);
        TOpenDataset ds;
        EXPECT_EQ(ds.Open(path), VBIS_OK);
        for (int i = 1; i <= count; ++i)
            EXPECT_EQ(ds.Add(RecordNumber(i), Owner("owner number " + std::to_string(i * 7919 % 1000)).Data()),
                      VBIS_OK);
        return path;
    }

    static TRecord Owner(const std::string &text) { return TRecord(kWorkerRecordLength).Text(0, 21, text).Int(21, 1); }

    static int16_t OpenCode(const std::string &path)
    {
        TOpenDataset ds;
        return ds.Open(path);
    }

    // Every operation on a damaged dataset answers one of the engine's codes.
    // The codes seen are collected.
    static void Exercise(const std::string &path, std::set<int16_t> &seen)
    {
        TOpenDataset ds;
        const int16_t open = ds.Open(path);
        seen.insert(open);
        if (open != VBIS_OK)
            return;
        TRecord record(kWorkerRecordLength);
        seen.insert(ds.Top(0));
        for (int i = 0; i < 400; ++i) {
            const int16_t code = ds.Get(0, VBIS_READ_NEXT, "", record.Data());
            seen.insert(code);
            if (code != VBIS_OK)
                break;
        }
        seen.insert(ds.Top(1));
        for (int i = 0; i < 400; ++i) {
            const int16_t code = ds.Get(1, VBIS_READ_NEXT, "", record.Data());
            seen.insert(code);
            if (code != VBIS_OK)
                break;
        }
        seen.insert(ds.Get(1, VBIS_READ_EQUAL, "owner number 5", record.Data()));
        seen.insert(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(77), record.Data()));
        std::string key;
        seen.insert(ds.Add(key, Owner("added").Data()));
        seen.insert(ds.Replace(RecordNumber(3), Owner("replaced").Data()));
        seen.insert(ds.Delete(RecordNumber(4)));
        TIsamInfoRec info{};
        seen.insert(ds.Info(info));
    }

    TTempFolder FFolder;
};

} // namespace

TEST_F(EngineBadFiles, DefinitionFilesThatAreNotOursOrDamagedAnswerTheirCodes)
{
    const std::string path = MakeDataset("KivDB31", 3);
    const std::string magic = "VBIS4032 ISAM dataset definition\n";
    const struct {
        std::string Content;
        int16_t Code;
    } cases[] = {
        {kGoodDefinition, VBIS_OK},
        {"", VBIS_NOT_ISAM},
        {std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         VBIS_NOT_ISAM},
        {"SQLite format 3", VBIS_NOT_ISAM},
        {"VBIS4032 ISAM dataset definition", VBIS_NOT_ISAM}, // magic without its line end
        {magic, VBIS_CORRUPTED},
        {magic + "version 1\n", VBIS_CORRUPTED},
        {magic + "version 2\nkey-length 10\nformat X$*21,%\n", VBIS_NOT_ISAM}, // a later engine's file
        {magic + "version 1\nkey-length 0\nformat X$*21,%\n", VBIS_CORRUPTED},
        {magic + "version 1\nkey-length 99999\nformat X$*21,%\n", VBIS_CORRUPTED},
        {magic + "version 1\nkey-length ten\nformat X$*21,%\n", VBIS_CORRUPTED},
        {magic + "version 1\nkey-length 10\nformat X$*21,%", VBIS_CORRUPTED},
        {magic + "version 1\nkey-length 10\nformat X$*21,%\nmore\n", VBIS_CORRUPTED},
        {magic + "version 1\nkey-length 10\nformat Q\n", VBIS_CORRUPTED},
        {magic + std::string(200000, 'z') + "\n", VBIS_CORRUPTED},
        // A good definition that does not describe the data file.
        {magic + "version 1\nkey-length 10\nformat X$*31\n", VBIS_CORRUPTED},
        {magic + "version 1\nkey-length 12\nformat X$*21,%\n", VBIS_CORRUPTED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Content.substr(0, 80));
        WriteFile(path + ".ism", c.Content);
        EXPECT_EQ(OpenCode(path), c.Code);
    }
}

TEST_F(EngineBadFiles, SomethingElseInPlaceOfTheDefinitionFileIsNotOurs)
{
    const std::string path = MakeDataset("KivDB31", 1);
    ASSERT_EQ(::unlink((path + ".ism").c_str()), 0);
    ASSERT_EQ(::mkdir((path + ".ism").c_str(), 0755), 0);
    EXPECT_EQ(OpenCode(path), VBIS_NOT_ISAM);
    ASSERT_EQ(::rmdir((path + ".ism").c_str()), 0);
    // A fifo must not make the open wait for a writer that never comes.
    ASSERT_EQ(::mkfifo((path + ".ism").c_str(), 0644), 0);
    EXPECT_EQ(OpenCode(path), VBIS_NOT_ISAM);
}

// Any member of the office can put a fifo at any name in the board folder.
// Opening one for reading waits for a writer that never comes, so each of
// the files the engine opens is tried as a fifo, by another process (which
// must end within its deadline) and by this one (which kept a connection).
TEST_F(EngineBadFiles, AFifoInPlaceOfAnyFileTheEngineOpensGivesACodeAndNeverWaits)
{
    for (const char *extension : {".ism", ".isd", ".isd-journal"}) {
        SCOPED_TRACE(extension);
        TTempFolder folder;
        const std::string path = folder / "KivDB31";
        ASSERT_EQ(CreateDataset(path, kWorkerFormat), VBIS_OK);
        {
            TOpenDataset ds;
            ASSERT_EQ(ds.Open(path), VBIS_OK);
            ASSERT_EQ(ds.Add(RecordNumber(1), Owner("before").Data()), VBIS_OK);
        }
        ::unlink((path + extension).c_str());
        ASSERT_EQ(::mkfifo((path + extension).c_str(), 0666), 0);

        TWorker reader({"--deadline=30", "open", path});
        const std::vector<std::string> read = reader.ReadAll();
        ASSERT_EQ(reader.Wait(), 0) << "the open waited on the fifo";
        ASSERT_EQ(read.size(), 1u);
        EXPECT_NE(read[0].substr(0, 4), "C 0 ") << read[0];
        TWorker writer({"--deadline=30", "add", path, RecordNumber(2), "after"});
        const std::vector<std::string> wrote = writer.ReadAll();
        ASSERT_EQ(writer.Wait(), 1) << "the write waited on the fifo, or wrote";
        ASSERT_EQ(wrote.size(), 1u);
        EXPECT_EQ(wrote[0].substr(0, 2), "E ");

        std::set<int16_t> seen;
        Exercise(path, seen);
        EXPECT_FALSE(seen.count(VBIS_OK) && seen.size() == 1) << "nothing noticed the fifo";
        struct stat st {};
        EXPECT_EQ(::lstat((path + extension).c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the fifo was replaced";
    }
}

TEST_F(EngineBadFiles, DataFilesThatAreMissingForeignOrDamagedAnswerCorrupted)
{
    const std::string path = MakeDataset("KivDB31", 5);
    const std::string isd = path + ".isd";
    const std::string good = ReadFile(isd);
    ASSERT_FALSE(good.empty());

    ASSERT_EQ(::unlink(isd.c_str()), 0);
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);
    struct stat st;
    EXPECT_NE(::stat(isd.c_str(), &st), 0) << "a missing data file must not come back empty";

    WriteFile(isd, "");
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);
    WriteFile(isd, std::string(8192, '\x5a'));
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);
    WriteFile(isd, good.substr(0, 100));
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);
    ASSERT_EQ(::unlink(isd.c_str()), 0);
    ASSERT_EQ(::mkdir(isd.c_str(), 0755), 0);
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);
    ASSERT_EQ(::rmdir(isd.c_str()), 0);

    // Another program's database, and one of ours that lost its version row.
    Sql(isd, "CREATE TABLE t(a, b); INSERT INTO t VALUES(1, 2);");
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);
    ASSERT_EQ(::unlink(isd.c_str()), 0);
    WriteFile(isd, good);
    ASSERT_EQ(OpenCode(path), VBIS_OK);
    Sql(isd, "DELETE FROM vbis_dataset");
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);

    // The data file of a dataset with another layout.
    ASSERT_EQ(CreateDataset(FFolder / "KivStats", "X$*31"), VBIS_OK);
    WriteFile(isd, ReadFile(FFolder / "KivStats.isd"));
    EXPECT_EQ(OpenCode(path), VBIS_CORRUPTED);
}

TEST_F(EngineBadFiles, ARecordOfTheWrongLengthAnswersCorruptedAndLeavesTheBufferAlone)
{
    const std::string path = MakeDataset("KivDB31", 3);
    Sql(path + ".isd", "UPDATE vbis_record SET rec = x'0102' WHERE k = CAST('0000000002' AS BLOB)");
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    TRecord record(kWorkerRecordLength, 0x77);
    const TRecord untouched = record;
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(2), record.Data()), VBIS_CORRUPTED);
    EXPECT_EQ(record, untouched);
    // The sound records around it are still read.
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(3), record.Data()), VBIS_OK);
    EXPECT_EQ(ds.Replace(RecordNumber(2), Owner("mended").Data()), VBIS_OK);
    EXPECT_EQ(ds.Get(0, VBIS_READ_EQUAL, RecordNumber(2), record.Data()), VBIS_OK);
    EXPECT_EQ(record.TextAt(0, 21), "mended");
}

// Rows of any size can be put in a damaged file; a walk reads ahead, and must
// stop at the first such row with the same answer as a read of it alone.
TEST_F(EngineBadFiles, AWalkReachingAnOversizedRowAnswersCorruptedOnEveryIndex)
{
    const std::string path = MakeDataset("KivDB31", 3);
    Sql(path + ".isd",
        "UPDATE vbis_record SET rec = zeroblob(4000000), x1 = zeroblob(4000000) WHERE k = CAST('0000000002' AS BLOB)");
    for (int16_t index : {0, 1}) {
        SCOPED_TRACE("index " + std::to_string(index));
        TOpenDataset ds;
        ASSERT_EQ(ds.Open(path), VBIS_OK);
        ASSERT_EQ(ds.Top(index), VBIS_OK);
        TRecord record(kWorkerRecordLength);
        int16_t code = VBIS_OK;
        int read = 0;
        while ((code = ds.Get(index, VBIS_READ_NEXT, "", record.Data())) == VBIS_OK)
            ++read;
        EXPECT_EQ(code, VBIS_CORRUPTED);
        EXPECT_LE(read, 2);
    }
}

TEST_F(EngineBadFiles, TruncatedOrGarbledDataFilesGiveCodesNotCrashes)
{
    const std::string path = MakeDataset("KivDB31", 400);
    const std::string good = ReadFile(path + ".isd");
    for (std::size_t keep : {good.size() / 2, std::size_t(4096), std::size_t(4096 * 2 + 17)}) {
        SCOPED_TRACE(keep);
        WriteFile(path + ".isd", good.substr(0, keep));
        std::set<int16_t> seen;
        Exercise(path, seen);
        EXPECT_TRUE(seen.count(VBIS_CORRUPTED)) << "no operation noticed the damage";
    }
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        // A burst of random bytes somewhere past the header page.
        std::string damaged = good;
        const std::size_t at = 4096 + random() % (damaged.size() - 4096 - 64);
        for (std::size_t i = 0, n = 1 + random() % 64; i < n; ++i)
            damaged[at + i] = char(random());
        WriteFile(path + ".isd", damaged);
        std::set<int16_t> seen;
        Exercise(path, seen);
        for (int16_t code : seen)
            EXPECT_TRUE(code >= VBIS_OK && code <= VBIS_ALREADY_OPEN && code != VBIS_INVALID_HANDLE) << code;
    }
}

TEST_F(EngineBadFiles, AGarbageJournalDoesNotStopTheDataset)
{
    const std::string path = MakeDataset("KivDB31", 10);
    WriteFile(path + ".isd-journal", std::string(3000, '\x13'));
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(path), VBIS_OK);
    TIsamInfoRec info{};
    ASSERT_EQ(ds.Info(info), VBIS_OK);
    EXPECT_EQ(info.recordCount, 10);
    EXPECT_EQ(ds.Add(RecordNumber(11), Owner("after").Data()), VBIS_OK);
    EXPECT_EQ(IntegrityCheck(path + ".isd"), "ok");
}

TEST_F(EngineBadFiles, AFolderThatCannotBeReadOrWrittenAnswersDiskError)
{
    const std::string path = MakeDataset("KivDB31", 2);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0), 0);
        EXPECT_EQ(OpenCode(path), VBIS_IO_ERROR);
        EXPECT_EQ(CreateDataset(FFolder / "Other", kWorkerFormat), VBIS_IO_ERROR);
        ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0700), 0);
        ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0500), 0);
        EXPECT_EQ(CreateDataset(FFolder / "Other", kWorkerFormat), VBIS_IO_ERROR);
        ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0700), 0);
        return;
    }
    // As root every folder is open: another user is the workstation here.
    ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0700), 0);
    TWorker locked({"--user=65534", "open", path});
    const std::vector<std::string> said = locked.ReadAll();
    locked.Wait();
    if (said == std::vector<std::string>{"SKIP"})
        GTEST_SKIP() << "cannot switch to another user here";
    EXPECT_EQ(said, std::vector<std::string>{"C 14 0"});

    // Readable but not writable: reads work, writes answer the disk error.
    ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((path + ".isd").c_str(), 0644), 0);
    TWorker reader({"--user=65534", "open", path});
    EXPECT_EQ(reader.ReadAll(), std::vector<std::string>{"C 0 2"});
    reader.Wait();
    TWorker writer({"--user=65534", "add", path, RecordNumber(3), "refused"});
    EXPECT_EQ(writer.ReadAll(), std::vector<std::string>{"E 14"});
    writer.Wait();
    EXPECT_EQ(OpenCode(path), VBIS_OK);
}

TEST_F(EngineBadFiles, AFullDiskAnswersDiskFullAndKeepsEveryRecordWrittenBefore)
{
    // The worker mounts a small file system over the folder, in a mount
    // namespace of its own, and fills it.
    TWorker filler({"--tmpfs=" + FFolder.Path() + ":160k", "fill", FFolder / "KivMesg"});
    const std::vector<std::string> said = filler.ReadAll();
    EXPECT_EQ(filler.Wait(), 0);
    if (said == std::vector<std::string>{"SKIP"})
        GTEST_SKIP() << "no small file system can be mounted here";
    ASSERT_GE(said.size(), 3u);
    std::size_t added = 0;
    while (added < said.size() && said[added].rfind("A ", 0) == 0)
        ++added;
    EXPECT_GT(added, 10u);
    ASSERT_EQ(said.size(), added + 3);
    EXPECT_EQ(said[added], "E " + std::to_string(VBIS_DISK_FULL));
    // Through the same handle, and through a new one.
    EXPECT_EQ(said[added + 1], "H 0 " + std::to_string(added));
    EXPECT_EQ(said[added + 2], "C 0 " + std::to_string(added));
}

// A colleague swaps the data file with a link to the user's own WAL database
// while the engine opens the dataset: no statement may ever run on the link.
TEST_F(EngineBadFiles, ADataFileSwappedWithALinkNeverLetsTheEngineWriteTheLinkedFile)
{
    const std::string path = MakeDataset("KivDB31", 3);
    const std::string isd = path + ".isd";
    TTempFolder home;
    const std::string mine = home / "private.db";
    Sql(mine, "PRAGMA journal_mode=WAL; CREATE TABLE t(a); INSERT INTO t VALUES(1);");
    const std::string before = ReadFile(mine);
    ASSERT_EQ(before.substr(18, 2), std::string("\x02\x02", 2)) << "the private database is not in WAL mode";
    const std::string swap = FFolder / "swap.tmp";
    ASSERT_EQ(::symlink(mine.c_str(), swap.c_str()), 0);

    const pid_t swapper = ::fork();
    ASSERT_GE(swapper, 0);
    if (swapper == 0)
        for (;;)
            ::renameat2(AT_FDCWD, isd.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
    int opens = 0, succeeded = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (opens < 100000 && std::chrono::steady_clock::now() < until
           && (opens % 500 != 0 || ReadFile(mine) == before)) {
        TOpenDataset ds;
        succeeded += ds.Open(path) == VBIS_OK;
        ++opens;
    }
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    EXPECT_GT(succeeded, 0) << "the real file was never opened";
    EXPECT_EQ(ListFolder(home.Path()), std::vector<std::string>{"private.db"});
    EXPECT_TRUE(ReadFile(mine) == before) << "the private database was written, after " << opens << " opens";
}

// Damage in place that leaves the header (and its change counter) whole: a
// connection kept from an earlier open must not answer from its cache.
TEST_F(EngineBadFiles, ADataFileDamagedInPlaceIsReportedByAKeptConnectionAsByAnyOther)
{
    const std::string path = MakeDataset("KivDB31", 200);
    const auto walk = [&] {
        TOpenDataset ds;
        int16_t code = ds.Open(path);
        int count = 0;
        TRecord record(kWorkerRecordLength);
        if (code == VBIS_OK && (code = ds.Top(0)) == VBIS_OK)
            while ((code = ds.Get(0, VBIS_READ_NEXT, "", record.Data())) == VBIS_OK)
                ++count;
        return "C " + std::to_string(code == VBIS_NOT_FOUND ? 0 : code) + " " + std::to_string(count);
    };
    ASSERT_EQ(walk(), "C 0 200");
    std::string bytes = ReadFile(path + ".isd");
    ASSERT_GT(bytes.size(), 8192u);
    for (std::size_t i = 4096; i < bytes.size(); ++i)
        bytes[i] = char(0x5a ^ (i & 0xff));
    const int fd = ::open((path + ".isd").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data() + 4096, bytes.size() - 4096, 4096), ssize_t(bytes.size() - 4096));
    ::close(fd);

    TWorker other({"--deadline=30", "open", path});
    const std::vector<std::string> seen = other.ReadAll();
    other.Wait();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0], "C 0 200");
    EXPECT_EQ(walk(), seen[0]);
}
