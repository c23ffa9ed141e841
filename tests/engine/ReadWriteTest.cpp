// Adding, replacing, erasing and reading records: the four read modes, index
// order, positions and the codes of reads and writes that find nothing; on a
// dataset of a folder and of a board server alike.
#include <gtest/gtest.h>

#include <vector>

#include "kit/EngineApi.h"
#include "kit/Location.h"
#include "kit/Records.h"

using namespace vbistest;

namespace {

// A name (indexed text), a number, an indexed number and a short indexed code.
constexpr const char *kFormat = "X$*11,%,X%,X$*5";
constexpr std::size_t kLength = 11 + 2 + 2 + 5;

TRecord Person(std::string_view name, int16_t n, int16_t rank, std::string_view code)
{
    TRecord r(kLength);
    r.Text(0, 11, name).Int(11, n).Int(13, rank).Text(15, 5, code);
    return r;
}

class EngineRecords : public ::testing::TestWithParam<TLocationKind> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateDataset(FPlace / "People", kFormat), VBIS_OK);
        ASSERT_EQ(FData.Open(FPlace / "People"), VBIS_OK);
    }

    // Walks an index from one end; the keys in the order read.
    std::vector<std::string> Walk(int16_t index, bool forward)
    {
        std::vector<std::string> keys;
        EXPECT_EQ(forward ? FData.Top(index) : FData.Bottom(index), VBIS_OK);
        TRecord r(kLength);
        std::string key;
        int16_t code;
        while ((code = FData.Get(index, forward ? VBIS_READ_NEXT : VBIS_READ_PREVIOUS, "", r.Data(), &key)) == VBIS_OK)
            keys.push_back(key);
        EXPECT_EQ(code, VBIS_NOT_FOUND);
        return keys;
    }

    TLocation FPlace{GetParam()};
    TOpenDataset FData;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Location, EngineRecords, ::testing::Values(TLocationKind::Folder, TLocationKind::Server),
                         [](const auto &info) { return LocationName(info.param); });

TEST_P(EngineRecords, AddReadReplaceEraseRoundTripsTheWholeBuffer)
{
    TRecord written = Person("Ann", 7, 3, "AB");
    // Bytes after a text's zero are stored as given, not cleaned.
    static_cast<unsigned char *>(written.Data())[9] = 0xEE;
    ASSERT_EQ(FData.Add(RecordNumber(1), written.Data()), VBIS_OK);

    TRecord read(kLength, 0x55);
    std::string key;
    ASSERT_EQ(FData.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data(), &key), VBIS_OK);
    EXPECT_EQ(read, written);
    EXPECT_EQ(key, RecordNumber(1));

    TRecord changed = Person("Ann", -2, 4, "ZZZZ");
    ASSERT_EQ(FData.Replace(RecordNumber(1), changed.Data()), VBIS_OK);
    ASSERT_EQ(FData.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_OK);
    EXPECT_EQ(read, changed);
    // The index follows the replaced value.
    EXPECT_EQ(FData.Get(4, VBIS_READ_EQUAL, "AB", read.Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Get(4, VBIS_READ_EQUAL, "ZZZZ", read.Data()), VBIS_OK);

    ASSERT_EQ(FData.Delete(RecordNumber(1)), VBIS_OK);
    EXPECT_EQ(FData.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, "Ann", read.Data()), VBIS_NOT_FOUND);
}

TEST_P(EngineRecords, WritesOnKeysThatExistOrDoNotAnswerTheirCodesAndChangeNothing)
{
    const TRecord first = Person("First", 1, 1, "F");
    ASSERT_EQ(FData.Add(RecordNumber(5), first.Data()), VBIS_OK);
    EXPECT_EQ(FData.Add(RecordNumber(5), Person("Second", 2, 2, "S").Data()), VBIS_UPDATE_MODE);
    EXPECT_EQ(FData.Replace(RecordNumber(6), Person("Ghost", 3, 3, "G").Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Replace("", Person("Ghost", 3, 3, "G").Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Delete(RecordNumber(6)), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Delete(""), VBIS_NOT_FOUND);
    // A key longer than the dataset's key length is no key of it.
    EXPECT_EQ(FData.Add("00000000001", first.Data()), VBIS_BAD_PARAMETER);

    TRecord read(kLength);
    ASSERT_EQ(FData.Get(0, VBIS_READ_EQUAL, RecordNumber(5), read.Data()), VBIS_OK);
    EXPECT_EQ(read, first);
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, "Ghost", read.Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, "Second", read.Data()), VBIS_NOT_FOUND);
    TIsamInfoRec info{};
    ASSERT_EQ(FData.Info(info), VBIS_OK);
    EXPECT_EQ(info.recordCount, 1);
}

TEST_P(EngineRecords, AnAddWithoutKeyFilesUnderTheHighestKeyPlusOneAndHandsItBack)
{
    std::string key;
    ASSERT_EQ(FData.Add(key, Person("One", 0, 0, "").Data()), VBIS_OK);
    EXPECT_EQ(key, "0000000001");
    ASSERT_EQ(FData.Add(RecordNumber(99), Person("Ninety-nine", 0, 0, "").Data()), VBIS_OK);
    key.clear();
    ASSERT_EQ(FData.Add(key, Person("Hundred", 0, 0, "").Data()), VBIS_OK);
    EXPECT_EQ(key, "0000000100");
    TRecord read(kLength);
    ASSERT_EQ(FData.Get(0, VBIS_READ_EQUAL, "0000000100", read.Data()), VBIS_OK);
    EXPECT_EQ(read.TextAt(0, 11), "Hundred");
    // Erasing the last record gives its number out again.
    ASSERT_EQ(FData.Delete("0000000100"), VBIS_OK);
    key.clear();
    ASSERT_EQ(FData.Add(key, Person("Again", 0, 0, "").Data()), VBIS_OK);
    EXPECT_EQ(key, "0000000100");
}

TEST_P(EngineRecords, AnAddWithoutKeyRefusesWhenTheHighestKeyIsNoNumberOrTheKeysRunOut)
{
    ASSERT_EQ(FData.Add("9999999999", Person("Last", 0, 0, "").Data()), VBIS_OK);
    std::string key;
    EXPECT_EQ(FData.Add(key, Person("Over", 0, 0, "").Data()), VBIS_ILLEGAL_KEY);
    EXPECT_EQ(key, "");
    ASSERT_EQ(FData.Add("ZZZ", Person("Letters", 0, 0, "").Data()), VBIS_OK);
    EXPECT_EQ(FData.Add(key, Person("Over", 0, 0, "").Data()), VBIS_ILLEGAL_KEY);
    TIsamInfoRec info{};
    ASSERT_EQ(FData.Info(info), VBIS_OK);
    EXPECT_EQ(info.recordCount, 2);
}

TEST_P(EngineRecords, WalksRunInKeyOrderBothWaysAndTiesOnAnIndexGoByRecordKey)
{
    ASSERT_EQ(FData.Add(RecordNumber(3), Person("Bob", 0, 5, "x").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(1), Person("Cy", 0, -4, "x").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(4), Person("Bob", 0, 5, "y").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(2), Person("Bob", 0, 300, "x").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(5), Person("Al", 0, 5, "").Data()), VBIS_OK);

    const std::vector<std::string> byKey = {RecordNumber(1), RecordNumber(2), RecordNumber(3), RecordNumber(4),
                                            RecordNumber(5)};
    EXPECT_EQ(Walk(0, true), byKey);
    EXPECT_EQ(Walk(0, false), std::vector<std::string>(byKey.rbegin(), byKey.rend()));
    // Names: Al, then the three Bobs by record key, then Cy.
    const std::vector<std::string> byName = {RecordNumber(5), RecordNumber(2), RecordNumber(3), RecordNumber(4),
                                             RecordNumber(1)};
    EXPECT_EQ(Walk(1, true), byName);
    EXPECT_EQ(Walk(1, false), std::vector<std::string>(byName.rbegin(), byName.rend()));
    // Integers in numeric order, negatives first, not in byte order.
    EXPECT_EQ(Walk(3, true), (std::vector<std::string>{RecordNumber(1), RecordNumber(3), RecordNumber(4),
                                                       RecordNumber(5), RecordNumber(2)}));
    // An empty text sorts first.
    EXPECT_EQ(Walk(4, true).front(), RecordNumber(5));
}

TEST_P(EngineRecords, TextsCompareAsBytesUpToTheirFirstZero)
{
    ASSERT_EQ(FData.Add(RecordNumber(1), Person("b", 0, 0, "").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(2), Person("B", 0, 0, "").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(3), Person("\xC3\xA9t\xC3\xA9", 0, 0, "").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(4), Person("ba", 0, 0, "").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(5), Person("12345678901", 0, 0, "").Data()), VBIS_OK); // fills its width
    EXPECT_EQ(Walk(1, true), (std::vector<std::string>{RecordNumber(5), RecordNumber(2), RecordNumber(1),
                                                       RecordNumber(4), RecordNumber(3)}));
    TRecord read(kLength);
    std::string key;
    // Letter case matters, and the key is read up to its first zero byte.
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, "b", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(1));
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, std::string("ba\0zz", 5), read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(4));
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, "12345678901", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(5));
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, "1234567890", read.Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Get(3, VBIS_READ_EQUAL, "0", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(FData.Get(3, VBIS_READ_EQUAL, "zero", read.Data()), VBIS_BAD_PARAMETER);
}

TEST_P(EngineRecords, AnEqualReadFindsTheFirstTieAndNextAndPreviousGoOnFromIt)
{
    for (int i = 1; i <= 6; ++i)
        ASSERT_EQ(FData.Add(RecordNumber(i), Person(i % 2 ? "odd" : "even", int16_t(i), 0, "").Data()), VBIS_OK);
    TRecord read(kLength);
    std::string key;
    ASSERT_EQ(FData.Get(1, VBIS_READ_EQUAL, "odd", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(1));
    ASSERT_EQ(FData.Get(1, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(3));
    ASSERT_EQ(FData.Get(1, VBIS_READ_PREVIOUS, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(1));
    ASSERT_EQ(FData.Get(1, VBIS_READ_PREVIOUS, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(6)); // the last "even"
    EXPECT_EQ(read.IntAt(11), 6);

    // A read that finds nothing leaves the position where it was.
    EXPECT_EQ(FData.Get(1, VBIS_READ_EQUAL, "none", read.Data()), VBIS_NOT_FOUND);
    ASSERT_EQ(FData.Get(1, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(1));

    // Going on along another index starts from the current record's place there.
    ASSERT_EQ(FData.Get(0, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(2));
}

TEST_P(EngineRecords, TopAndBottomWorkOnAnEmptyDatasetAndReadsPastTheEndsTurnBack)
{
    EXPECT_EQ(FData.Top(0), VBIS_OK);
    EXPECT_EQ(FData.Bottom(1), VBIS_OK);
    TRecord read(kLength);
    EXPECT_EQ(FData.Get(0, VBIS_READ_NEXT, "", read.Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Bottom(0), VBIS_OK);
    EXPECT_EQ(FData.Get(0, VBIS_READ_PREVIOUS, "", read.Data()), VBIS_NOT_FOUND);

    ASSERT_EQ(FData.Add(RecordNumber(1), Person("A", 0, 0, "").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(2), Person("B", 0, 0, "").Data()), VBIS_OK);
    std::string key;
    ASSERT_EQ(FData.Top(0), VBIS_OK);
    EXPECT_EQ(FData.Get(0, VBIS_READ_PREVIOUS, "", read.Data()), VBIS_NOT_FOUND);
    ASSERT_EQ(FData.Get(0, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(1));
    ASSERT_EQ(FData.Get(0, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    ASSERT_EQ(FData.Get(0, VBIS_READ_NEXT, "", read.Data()), VBIS_NOT_FOUND);
    EXPECT_EQ(FData.Get(0, VBIS_READ_NEXT, "", read.Data()), VBIS_NOT_FOUND);
    // After running off the end, a previous read gives the last record.
    ASSERT_EQ(FData.Get(0, VBIS_READ_PREVIOUS, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(2));
}

TEST_P(EngineRecords, AKeyOnlyReadGivesTheLastKeyWithoutTouchingTheBuffer)
{
    ASSERT_EQ(FData.Add(RecordNumber(41), Person("Forty-one", 0, 0, "").Data()), VBIS_OK);
    ASSERT_EQ(FData.Add(RecordNumber(7), Person("Seven", 0, 0, "").Data()), VBIS_OK);
    ASSERT_EQ(FData.Bottom(0), VBIS_OK);
    // A 4-byte dummy inside guard bytes: none of it may change.
    unsigned char dummy[12];
    std::memset(dummy, 0xA5, sizeof dummy);
    std::string key;
    ASSERT_EQ(FData.Get(0, VBIS_READ_PREVIOUS_KEY, "", dummy + 4, &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(41));
    for (unsigned char b : dummy)
        EXPECT_EQ(b, 0xA5);
    // A null buffer is fine for a key-only read.
    int32_t handle = FData.Handle();
    int16_t index = 0, mode = VBIS_READ_PREVIOUS_KEY;
    TBStr none, text, found;
    EXPECT_EQ(Engine().Get(&handle, &index, &mode, none.Ref(), text.Ref(), found.Ref(), nullptr), VBIS_OK);
    EXPECT_EQ(found.Text(), RecordNumber(7));
}

TEST_P(EngineRecords, ARecordErasedUnderTheWalkDoesNotBreakIt)
{
    for (int i = 1; i <= 5; ++i)
        ASSERT_EQ(FData.Add(RecordNumber(i), Person("P" + std::to_string(i), 0, 0, "").Data()), VBIS_OK);
    TOpenDataset other;
    ASSERT_EQ(other.Open(FPlace / "People"), VBIS_OK);
    TRecord read(kLength);
    std::string key;
    ASSERT_EQ(FData.Top(1), VBIS_OK);
    ASSERT_EQ(FData.Get(1, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    ASSERT_EQ(FData.Get(1, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(2));
    // The current record and the one after it go, through another handle.
    ASSERT_EQ(other.Delete(RecordNumber(2)), VBIS_OK);
    ASSERT_EQ(other.Delete(RecordNumber(3)), VBIS_OK);
    ASSERT_EQ(FData.Get(1, VBIS_READ_NEXT, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(4));
    ASSERT_EQ(FData.Get(1, VBIS_READ_PREVIOUS, "", read.Data(), &key), VBIS_OK);
    EXPECT_EQ(key, RecordNumber(1));
    // A record added ahead of the position is met by the walk.
    ASSERT_EQ(other.Add(RecordNumber(9), Person("P9", 0, 0, "").Data()), VBIS_OK);
    std::vector<std::string> rest;
    while (FData.Get(1, VBIS_READ_NEXT, "", read.Data(), &key) == VBIS_OK)
        rest.push_back(key);
    EXPECT_EQ(rest, (std::vector<std::string>{RecordNumber(4), RecordNumber(5), RecordNumber(9)}));
}

TEST_P(EngineRecords, BadIndexNumbersReadModesAndArgumentsAnswerInvalidParameter)
{
    ASSERT_EQ(FData.Add(RecordNumber(1), Person("A", 0, 0, "").Data()), VBIS_OK);
    TRecord read(kLength);
    // Index 2 is a field without "X"; 5 is past the last field.
    for (int16_t index : {2, 5, -1, 32767}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(FData.Get(index, VBIS_READ_EQUAL, "A", read.Data()), VBIS_BAD_PARAMETER);
        EXPECT_EQ(FData.Get(index, VBIS_READ_NEXT, "", read.Data()), VBIS_BAD_PARAMETER);
        EXPECT_EQ(FData.Top(index), VBIS_BAD_PARAMETER);
        EXPECT_EQ(FData.Bottom(index), VBIS_BAD_PARAMETER);
    }
    for (int16_t mode : {0, 4096, 4112, 4115, 4117, 8192, 8195, 8197, -4113}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(FData.Get(0, mode, RecordNumber(1), read.Data()), VBIS_BAD_PARAMETER);
    }
    int32_t handle = FData.Handle();
    int16_t index = 0, mode = VBIS_READ_EQUAL, putMode = 3;
    TBStr key(RecordNumber(1)), text, found;
    EXPECT_EQ(Engine().Get(&handle, &index, &mode, key.Ref(), text.Ref(), found.Ref(), nullptr), VBIS_BAD_PARAMETER);
    EXPECT_EQ(Engine().Put(&handle, key.Ref(), read.Data(), &putMode), VBIS_BAD_PARAMETER);
    EXPECT_EQ(found.Get(), nullptr);
    // The record is still there, unchanged.
    ASSERT_EQ(FData.Get(0, VBIS_READ_EQUAL, RecordNumber(1), read.Data()), VBIS_OK);
    EXPECT_EQ(read.TextAt(0, 11), "A");
}
