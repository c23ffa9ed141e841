// The wrapper against the real engine: record numbers, LastKey, the codes the
// board's data classes rely on, and adds from several processes at once.
#include "storage/IsamFile.h"
#include "tests/storage/TestFolder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

// A small dataset: a 16-bit number, then an indexed 21-byte text.
constexpr const char *kFormat = "%,X$*21";
constexpr std::size_t kRecordSize = 23;

struct TRecord {
    char Bytes[kRecordSize] = {};

    static TRecord Of(int16_t number, const std::string &text)
    {
        TRecord record;
        std::memcpy(record.Bytes, &number, 2);
        std::strncpy(record.Bytes + 2, text.c_str(), 20);
        return record;
    }
    std::string Text() const { return std::string(Bytes + 2, strnlen(Bytes + 2, 21)); }
};

class IsamDatasetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Isam.EngineLoaded());
        ASSERT_TRUE(Isam.CreateDataset(Path, 10, kFormat)) << Isam.ErrorText();
        ASSERT_TRUE(Isam.OpenDataset(Path, 3, kFormat)) << Isam.ErrorText();
    }

    bool Add(const std::string &key, const std::string &text)
    {
        TRecord record = TRecord::Of(0, text);
        return Isam.AddRecord(record.Bytes, key);
    }

    // Every record on index 0, as key and text, in index order.
    std::vector<std::pair<std::string, std::string>> Walk()
    {
        std::vector<std::pair<std::string, std::string>> records;
        EXPECT_TRUE(Isam.GotoTop(0));
        TRecord record;
        while (Isam.ReadNext(record.Bytes, 0))
            records.emplace_back(Isam.LastKey(), record.Text());
        return records;
    }

    TTestFolder Folder;
    std::string Path = Folder / "Data";
    TIsamFile Isam;
};

} // namespace

TEST_F(IsamDatasetTest, TheFirstRecordOfAnEmptyDatasetIsNumberOne)
{
    ASSERT_TRUE(Add("", "first"));
    EXPECT_EQ(Isam.LastKey(), "0000000001");
    EXPECT_EQ(Isam.KeyLength(), 10);
}

TEST_F(IsamDatasetTest, AnAddWithoutKeyFollowsTheHighestKey)
{
    ASSERT_TRUE(Add("0000000003", "three"));
    ASSERT_TRUE(Add("0000000099", "ninety-nine"));
    ASSERT_TRUE(Add("", "next"));
    EXPECT_EQ(Isam.LastKey(), "0000000100");
    TRecord read;
    ASSERT_TRUE(Isam.ReadEqual(read.Bytes, 0, "0000000100"));
    EXPECT_EQ(read.Text(), "next");
}

TEST_F(IsamDatasetTest, TheNumberOfAnErasedLastRecordIsGivenOutAgain)
{
    ASSERT_TRUE(Add("", "one"));
    ASSERT_TRUE(Add("", "two"));
    ASSERT_TRUE(Isam.DeleteRecord("0000000002"));
    ASSERT_TRUE(Add("", "again"));
    EXPECT_EQ(Isam.LastKey(), "0000000002");
}

TEST_F(IsamDatasetTest, ReplaceWithTheLastKeyOfAReadOverwritesThatRecordOnly)
{
    ASSERT_TRUE(Add("", "alpha"));
    ASSERT_TRUE(Add("", "beta"));
    ASSERT_TRUE(Add("", "gamma"));
    TRecord read;
    ASSERT_TRUE(Isam.ReadEqual(read.Bytes, 2, "beta"));
    EXPECT_EQ(Isam.LastKey(), "0000000002");
    TRecord changed = TRecord::Of(5, "delta");
    ASSERT_TRUE(Isam.ReplaceRecord(changed.Bytes, Isam.LastKey()));
    const auto records = Walk();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].second, "alpha");
    EXPECT_EQ(records[1].second, "delta");
    EXPECT_EQ(records[2].second, "gamma");
}

TEST_F(IsamDatasetTest, AnAddUnderAnExistingKeyIsRefusedAndOverwritesNothing)
{
    ASSERT_TRUE(Add("0000000001", "kept"));
    EXPECT_FALSE(Add("0000000001", "intruder"));
    EXPECT_EQ(Isam.LastError(), 2);
    TRecord read;
    ASSERT_TRUE(Isam.ReadEqual(read.Bytes, 0, "0000000001"));
    EXPECT_EQ(read.Text(), "kept");
}

TEST_F(IsamDatasetTest, AnOpenExpectingAnotherFormatIsRefusedAndLeavesNothingOpen)
{
    ASSERT_TRUE(Add("", "kept"));
    ASSERT_TRUE(Isam.CloseDataset());
    for (const char *expected : {"%,X$*20", "%,X$*21,%", ""}) {
        EXPECT_FALSE(Isam.OpenDataset(Path, 3, expected)) << expected;
        EXPECT_EQ(Isam.LastError(), 8);
        EXPECT_FALSE(Isam.IsOpen());
        EXPECT_EQ(Isam.Handle(), 0);
    }
    ASSERT_TRUE(Isam.OpenDataset(Path, 3, kFormat));
    EXPECT_EQ(Walk().size(), 1u);
}

// Several workstations adding at once compute the same next numbers; every
// add must still land under a number of its own and nothing be overwritten.
TEST_F(IsamDatasetTest, AddsFromSeveralProcessesAtOnceAllLand)
{
    ASSERT_TRUE(Isam.CloseDataset());
    constexpr int kProcesses = 6;
    constexpr int kAddsEach = 15;
    const std::vector<int> codes = RunTogether(kProcesses, [&](int p) {
        TIsamFile mine;
        if (!mine.OpenDataset(Path, 3, kFormat))
            return 10;
        for (int i = 0; i < kAddsEach; ++i) {
            TRecord record = TRecord::Of(int16_t(p), "p" + std::to_string(p) + "-" + std::to_string(i));
            if (!mine.AddRecord(record.Bytes))
                return 20 + mine.LastError();
        }
        return mine.CloseDataset() ? 0 : 11;
    });
    EXPECT_EQ(codes, std::vector<int>(kProcesses, 0));
    ASSERT_TRUE(Isam.OpenDataset(Path, 3, kFormat));
    const auto records = Walk();
    std::set<std::string> texts;
    for (const auto &[key, text] : records)
        texts.insert(text);
    EXPECT_EQ(records.size(), std::size_t(kProcesses * kAddsEach));
    EXPECT_EQ(texts.size(), std::size_t(kProcesses * kAddsEach));
}

// Fault: a board server that cannot be reached shows as a disk error, so the
// user looks for a broken disk; or a folder's disk error is shown as a
// server's.
TEST(IsamServerText, AFailureOfTheBoardServerSaysSoAndAFoldersDoesNot)
{
    const struct {
        const char *Path;
        const char *Text;
    } cases[] = {
        {"postgresql:///kiv?host=/tmp/no-such-kiv-server#KivStats", "Board server unreachable"},
        {"/no/such/kiv/folder/KivStats", "Disk read / write error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Path);
        TIsamFile isam;
        ASSERT_TRUE(isam.EngineLoaded());
        EXPECT_FALSE(isam.OpenDataset(c.Path, 3, kFormat));
        EXPECT_EQ(isam.LastError(), 14);
        EXPECT_EQ(isam.ErrorText(), c.Text);
        // The wrapper's own refusal keeps its text.
        EXPECT_FALSE(isam.CloseDataset());
        EXPECT_EQ(isam.ErrorText(), "Invalid dataset reference");
    }
}
