// The board listing against the real engine: which users are listed and in
// what order, the rows' cells and pictures, the short Updated times, and how a
// filling ends when the dataset, the engine or the list fails.
#include "board/KivFile.h"
#include "board/KivText.h"
#include "board/UserRecord.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

/// The local moment of a calendar date and time, as this workstation's clock reads it.
std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

class BoardListingTest : public ::testing::Test {
protected:
    void SetUp() override { Kiv = std::make_unique<TKivFile>(Folder.Path(), Mine.Ctx, "viewer"); }

    /// Signs login in from a workstation of its own and stores status,
    /// department and, when given, updated in its record.
    void AddUser(const std::string &login, const std::string &status, const std::string &department = "",
                 const std::string &updated = "")
    {
        TFakeBoard other;
        TKivFile(Folder.Path(), other.Ctx, login).SignIn();
        ASSERT_TRUE(ChangeStoredUser(Folder.Path(), login, [&](char *record) {
            PutText(record, UserRecord::Status, status);
            PutText(record, UserRecord::Department, department);
            if (!updated.empty())
                PutText(record, UserRecord::Updated, updated);
        }));
    }

    TTestFolder Folder;
    TFakeBoard Mine;
    TFakeBoardList List;
    std::unique_ptr<TKivFile> Kiv;
};

} // namespace

TEST_F(BoardListingTest, OfflineUsersAndOtherDepartmentsAreLeftOutByExactComparison)
{
    AddUser("ANNA", "Available", "Sales");
    AddUser("BERT", "Offline", "Sales");
    AddUser("CARL", "offline", "sales");
    AddUser("DORA", "Available", "Sales ");
    AddUser("EMIL", "Offline", "Support");

    Kiv->FillBoard(List);
    EXPECT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "CARL", "DORA"}));
    EXPECT_EQ(List.Rows[1].ImageIndex, 9);
    Kiv->FillBoardForDepartment(List, "Sales");
    EXPECT_EQ(List.Logins(), std::vector<std::string>{"ANNA"});

    Mine.Session.ShowOffline = true;
    Kiv->FillBoard(List);
    EXPECT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "BERT", "CARL", "DORA", "EMIL"}));
    EXPECT_EQ(List.Rows[1].ImageIndex, 11);
    Kiv->FillBoardForDepartment(List, "Sales");
    EXPECT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "BERT"}));
    EXPECT_FALSE(Kiv->DatasetOpen());
}

TEST_F(BoardListingTest, ARowHoldsTheRecordsCellsInColumnOrderAndTheFillingStartsAfresh)
{
    Mine.Clock.Moment = LocalMoment(2024, 12, 8, 10, 0, 0);
    AddUser("ANNA", "Working from home", "Support", DateTimeText(LocalMoment(2024, 12, 7, 17, 45, 0)));
    ASSERT_TRUE(ChangeStoredUser(Folder.Path(), "ANNA", [](char *record) {
        PutText(record, UserRecord::Name, "Anna Berg");
        PutText(record, UserRecord::Ext, "4711");
        PutText(record, UserRecord::Comments, "back on Monday");
    }));
    AddUser("BERT", "On holiday");
    AddUser("CARL", "On vacation");

    List.Rows.push_back(TBoardRow{"stale", {}, 0, {}, {}, {}});
    List.Selected = 0;
    Mine.Session.User.Name = "untouched";
    Kiv->FillBoard(List);

    ASSERT_EQ(List.Rows.size(), 3u);
    const TBoardRow &anna = List.Rows[0];
    EXPECT_EQ(anna.Caption, "Anna Berg");
    EXPECT_EQ(anna.SubItems, (std::array<std::string, 6>{"Working from home", "Yesterday 17:45", "4711", "Support",
                                                         "ANNA", "back on Monday"}));
    EXPECT_EQ(anna.ImageIndex, 9);
    EXPECT_EQ(List.Rows[1].ImageIndex, List.Rows[2].ImageIndex);
    EXPECT_EQ(List.Rows[1].ImageIndex, 6);

    // Repainting suspended, rows deleted, rows added, columns sized, resumed:
    // the selection went with the old rows.
    EXPECT_EQ(List.Trace, "[c+++w]");
    EXPECT_FALSE(List.SelectedRow().has_value());
    EXPECT_EQ(Mine.Session.User.Name, "untouched");
}

TEST_F(BoardListingTest, UpdatedTimesOfTodayAndYesterdayAreShortByThisWorkstationsClock)
{
    Mine.Clock.Moment = LocalMoment(2024, 12, 8, 14, 30, 0);
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 8, 9, 5, 30))), "Today 09:05");
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 7, 23, 59, 59))), "Yesterday 23:59");
    const std::string twoDaysAgo = DateTimeText(LocalMoment(2024, 12, 6, 23, 59, 0));
    EXPECT_EQ(Kiv->UpdatedText(twoDaysAgo), twoDaysAgo);
    EXPECT_EQ(Kiv->UpdatedText(""), "");
    EXPECT_EQ(Kiv->UpdatedText(" \t\r\n "), "");
    // Blanks around a readable text do not hide its date.
    EXPECT_EQ(Kiv->UpdatedText("  " + DateTimeText(LocalMoment(2024, 12, 8, 9, 5, 0)) + "\r"), "Today 09:05");

    // Yesterday across the turn of a month and of a year.
    Mine.Clock.Moment = LocalMoment(2025, 1, 1, 0, 10, 0);
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 31, 23, 59, 0))), "Yesterday 23:59");
    const std::string sameDayLastYear = DateTimeText(LocalMoment(2024, 1, 1, 8, 0, 0));
    EXPECT_EQ(Kiv->UpdatedText(sameDayLastYear), sameDayLastYear);
}

TEST_F(BoardListingTest, AnUpdatedInAForeignFormatIsShownAsStoredAndHidesNobodyAfterIt)
{
    Mine.Clock.Moment = LocalMoment(2024, 12, 8, 14, 30, 0);
    const std::string today = DateTimeText(LocalMoment(2024, 12, 8, 9, 5, 30));
    AddUser("ANNA", "Available", "", today);
    AddUser("BERT", "Available", "", "08.12.2024 09:05:30"); // a German workstation
    AddUser("CARL", "Available", "", "13/45/24 99:99:99");
    AddUser("DORA", "Available", "", today);

    Kiv->FillBoard(List);
    ASSERT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "BERT", "CARL", "DORA"}));
    EXPECT_EQ(List.Rows[1].SubItems[TBoardRow::Updated], "08.12.2024 09:05:30");
    EXPECT_EQ(List.Rows[2].SubItems[TBoardRow::Updated], "13/45/24 99:99:99");
    EXPECT_EQ(List.Rows[3].SubItems[TBoardRow::Updated], "Today 09:05");
    EXPECT_EQ(List.Trace, "[c++++w]");
}

TEST_F(BoardListingTest, AFailedOpenLeavesTheBoardAndAFailingListIsStillResumed)
{
    List.Rows.push_back(TBoardRow{"kept", {}, 1, {}, {}, {}});
    List.Selected = 0;
    EXPECT_EQ(RaisedText([&] { Kiv->FillBoard(List); }), "Unable to open dataset - Object not found");
    EXPECT_EQ(List.Trace, "");
    EXPECT_EQ(List.SelectedRow()->Caption, "kept");

    AddUser("ANNA", "Available");
    AddUser("BERT", "Available");
    List.FailAtAdd = 2;
    EXPECT_THROW(Kiv->FillBoard(List), std::runtime_error);
    EXPECT_EQ(List.Trace, "[c+w]");
    EXPECT_FALSE(Kiv->DatasetOpen());
}

// A read the engine could not carry out (here: a busy dataset) is not the end
// of the walk: a board missing everybody after it must not pass as complete.
TEST_F(BoardListingTest, AReadTheEngineCannotCarryOutIsReportedAndTheBoardResumes)
{
    TKivFile kiv(Folder.Path(), Mine.Ctx, "viewer", KIV_FAKE_ENGINE_DIR);
    TFakeEngineState *state = FreshFakeEngineState(UserRecord::Format);
    ASSERT_NE(state, nullptr);
    state->ReadAnswer = 3;
    EXPECT_EQ(RaisedText([&] { kiv.FillBoard(List); }), "Unable to read dataset - Multi-user access");
    EXPECT_EQ(List.Trace, "[cw]");
    TFakeItemList names;
    EXPECT_EQ(RaisedText([&] { kiv.FillUserNames(names); }), "Unable to read dataset - Multi-user access");
    EXPECT_EQ(names.Trace, "[c]");
    EXPECT_FALSE(kiv.DatasetOpen());

    // The ordinary end of the walk is no failure.
    state->ReadAnswer = 1;
    EXPECT_EQ(RaisedText([&] { kiv.FillBoard(List); }), "");
}

TEST_F(BoardListingTest, UserNamesListEveryoneWithTheirRecordNumbers)
{
    AddUser("ANNA", "Offline");
    AddUser("BERT", "Available");
    AddUser("CARL", "Available");
    Kiv->DeleteUser(2);

    TFakeItemList names;
    names.Items.push_back({"stale", 99});
    Kiv->FillUserNames(names);
    EXPECT_EQ(names.Items, (std::vector<TFakeItemList::TItem>{{"ANNA", 1}, {"CARL", 3}}));
    EXPECT_EQ(names.Trace, "[c++]");
    EXPECT_FALSE(Kiv->DatasetOpen());
}
