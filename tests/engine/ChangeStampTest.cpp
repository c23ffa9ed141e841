// Change stamps: the board's timers see every committed write as a change of
// the data file's modification time, however close together the writes come.
#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "kit/EngineApi.h"
#include "kit/Records.h"
#include "kit/Worker.h"

using namespace vbistest;

namespace {

timespec Stamp(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtim;
}

bool Later(const timespec &a, const timespec &b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

bool Same(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string Show(const timespec &t)
{
    return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec);
}

// The stamps a worker printed, in order.
std::vector<timespec> StampsOf(TWorker &worker)
{
    std::vector<timespec> stamps;
    for (const std::string &line : worker.ReadAll()) {
        std::istringstream in(line);
        std::string kind;
        timespec t{};
        in >> kind >> t.tv_sec >> t.tv_nsec;
        EXPECT_EQ(kind, "S") << line;
        stamps.push_back(t);
    }
    return stamps;
}

void ExpectRising(const std::vector<timespec> &stamps)
{
    for (std::size_t i = 1; i < stamps.size(); ++i)
        ASSERT_TRUE(Later(stamps[i], stamps[i - 1]))
            << "write " << i << ": " << Show(stamps[i]) << " after " << Show(stamps[i - 1]);
}

class EngineStamps : public ::testing::Test {
protected:
    void SetUp() override
    {
        FPath = FFolder / "KivDB31";
        ASSERT_EQ(CreateDataset(FPath, kWorkerFormat), VBIS_OK);
        TOpenDataset ds;
        ASSERT_EQ(ds.Open(FPath), VBIS_OK);
        ASSERT_EQ(ds.Add(RecordNumber(1), TRecord(kWorkerRecordLength).Text(0, 21, "stamp").Data()), VBIS_OK);
    }

    TTempFolder FFolder;
    std::string FPath;
};

} // namespace

TEST_F(EngineStamps, EveryOneOfManyBackToBackWritesMovesTheStampOn)
{
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(FPath), VBIS_OK);
    // The same bytes every time: a rewrite that changes nothing still counts.
    const TRecord same = TRecord(kWorkerRecordLength).Text(0, 21, "stamp");
    std::vector<timespec> stamps{Stamp(FPath + ".isd")};
    for (int i = 0; i < 300; ++i) {
        switch (i % 3) {
        case 0:
            ASSERT_EQ(ds.Replace(RecordNumber(1), same.Data()), VBIS_OK);
            break;
        case 1:
            ASSERT_EQ(ds.Add(RecordNumber(2), same.Data()), VBIS_OK);
            break;
        default:
            ASSERT_EQ(ds.Delete(RecordNumber(2)), VBIS_OK);
            break;
        }
        stamps.push_back(Stamp(FPath + ".isd"));
    }
    ExpectRising(stamps);
}

TEST_F(EngineStamps, ReadsAndRefusedWritesLeaveTheStampAlone)
{
    TOpenDataset ds;
    ASSERT_EQ(ds.Open(FPath), VBIS_OK);
    ASSERT_EQ(ds.Replace(RecordNumber(1), TRecord(kWorkerRecordLength).Text(0, 21, "x").Data()), VBIS_OK);
    const timespec before = Stamp(FPath + ".isd");
    TRecord record(kWorkerRecordLength);
    ASSERT_EQ(ds.Top(0), VBIS_OK);
    ASSERT_EQ(ds.Get(0, VBIS_READ_NEXT, "", record.Data()), VBIS_OK);
    ASSERT_EQ(ds.Get(1, VBIS_READ_EQUAL, "x", record.Data()), VBIS_OK);
    ASSERT_EQ(ds.Add(RecordNumber(1), record.Data()), VBIS_UPDATE_MODE);
    ASSERT_EQ(ds.Replace(RecordNumber(9), record.Data()), VBIS_NOT_FOUND);
    ASSERT_EQ(ds.Delete(RecordNumber(9)), VBIS_NOT_FOUND);
    TIsamInfoRec info{};
    ASSERT_EQ(ds.Info(info), VBIS_OK);
    ASSERT_EQ(ds.Close(), VBIS_OK);
    TOpenDataset again;
    ASSERT_EQ(again.Open(FPath), VBIS_OK);
    // A board timer would refill for nothing if any of these touched the file.
    EXPECT_TRUE(Same(Stamp(FPath + ".isd"), before)) << Show(Stamp(FPath + ".isd")) << " vs " << Show(before);
}

TEST_F(EngineStamps, WritersInSeveralProcessesEachSeeTheStampRiseOnEveryWrite)
{
    TWorker a({"stamps", FPath, "200"});
    TWorker b({"stamps", FPath, "200"});
    TWorker c({"stamps", FPath, "200"});
    for (TWorker *w : {&a, &b, &c}) {
        const std::vector<timespec> stamps = StampsOf(*w);
        EXPECT_EQ(w->Wait(), 0);
        EXPECT_EQ(stamps.size(), 200u);
        ExpectRising(stamps);
    }
}

TEST_F(EngineStamps, AWriterWhoDoesNotOwnTheFileStillMovesTheStampOn)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to write as another user";
    // Only the owner may set a file's time freely; others may only set "now".
    ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod((FPath + ".isd").c_str(), 0666), 0);
    ASSERT_EQ(::chmod((FPath + ".isd-journal").c_str(), 0666), 0);
    TWorker nobody({"--user=65534", "stamps", FPath, "30"});
    const std::vector<timespec> stamps = StampsOf(nobody);
    EXPECT_EQ(nobody.Wait(), 0);
    if (stamps.empty())
        GTEST_SKIP() << "cannot switch to another user here";
    EXPECT_EQ(stamps.size(), 30u);
    ExpectRising(stamps);
}
