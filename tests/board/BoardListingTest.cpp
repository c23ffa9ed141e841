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

TEST_F(BoardListingTest, OfflineUsersAreHiddenUnlessTheSwitchShowsThem)
{
    AddUser("ANNA", "Available");
    AddUser("BERT", "Offline");
    AddUser("CARL", "offline");
    AddUser("DORA", "Offline ");

    Kiv->FillBoard(List);
    // Only the exact text hides a user; the others are custom statuses.
    EXPECT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "CARL", "DORA"}));
    EXPECT_EQ(List.Rows[1].ImageIndex, 9);
    EXPECT_EQ(List.Rows[2].ImageIndex, 9);

    Mine.Session.ShowOffline = true;
    Kiv->FillBoard(List);
    EXPECT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "BERT", "CARL", "DORA"}));
    EXPECT_EQ(List.Rows[1].ImageIndex, 11);
    EXPECT_FALSE(Kiv->IsamFile.IsOpen());
}

TEST_F(BoardListingTest, ADepartmentFilterComparesExactlyAndBeforeTheOfflineTest)
{
    AddUser("ANNA", "Available", "Sales");
    AddUser("BERT", "Available", "sales");
    AddUser("CARL", "Available", "Sales ");
    AddUser("DORA", "Offline", "Sales");
    AddUser("EMIL", "Offline", "Support");
    AddUser("FRAN", "DND", "Sales");

    Kiv->FillBoardForDepartment(List, "Sales");
    EXPECT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "FRAN"}));

    Mine.Session.ShowOffline = true;
    Kiv->FillBoardForDepartment(List, "Sales");
    EXPECT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "DORA", "FRAN"}));

    // A department nobody is in empties the board.
    Kiv->FillBoardForDepartment(List, "Accounts");
    EXPECT_TRUE(List.Rows.empty());
    EXPECT_EQ(List.Trace.substr(List.Trace.size() - 4), "[cw]");
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

    List.Rows.push_back(TBoardRow{"stale", {}, 0});
    List.Selected = 0;
    Mine.Session.User.Name = "untouched";
    Kiv->FillBoard(List);

    ASSERT_EQ(List.Rows.size(), 3u);
    const TBoardRow &anna = List.Rows[0];
    EXPECT_EQ(anna.Caption, "Anna Berg");
    EXPECT_EQ(anna.SubItems,
              (std::array<std::string, 6>{"Working from home", "Yesterday 17:45", "4711", "Support", "ANNA",
                                          "back on Monday"}));
    EXPECT_EQ(anna.ImageIndex, 9);
    EXPECT_EQ(List.Rows[1].ImageIndex, List.Rows[2].ImageIndex);
    EXPECT_EQ(List.Rows[1].ImageIndex, 6);

    // Repainting suspended, rows deleted, rows added, columns sized, resumed:
    // the selection went with the old rows.
    EXPECT_EQ(List.Trace, "[c+++w]");
    EXPECT_FALSE(List.SelectedRow().has_value());
    EXPECT_EQ(Mine.Session.User.Name, "untouched");
}

TEST_F(BoardListingTest, TheStatusPicturesComeFromTheExactStatusText)
{
    const std::vector<std::pair<std::string, int>> expected{
        {"At lunch", 0},   {"Available", 1},     {"Away from desk", 2}, {"DND", 3},     {"Gone home", 4},
        {"In meeting", 5}, {"On holiday", 6},    {"On vacation", 6},    {"Out of office", 7},
        {"Off sick", 10},  {"Offline", 11},      {"available", 9},      {"", 9},        {" DND", 9},
        {"Working from home", 9}};
    for (const auto &[status, image] : expected)
        EXPECT_EQ(TKivFile::StatusImageIndex(status), image) << status;
}

TEST_F(BoardListingTest, UpdatedTimesOfTodayAndYesterdayAreShortByThisWorkstationsClock)
{
    Mine.Clock.Moment = LocalMoment(2024, 12, 8, 14, 30, 0);
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 8, 9, 5, 30))), "Today 09:05");
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 7, 23, 59, 59))), "Yesterday 23:59");
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 8, 0, 0, 0))), "Today 00:00");
    const std::string twoDaysAgo = DateTimeText(LocalMoment(2024, 12, 6, 23, 59, 0));
    EXPECT_EQ(Kiv->UpdatedText(twoDaysAgo), twoDaysAgo);
    // A time later today than the clock (another workstation's clock runs ahead) is still today.
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 8, 18, 0, 0))), "Today 18:00");
    EXPECT_EQ(Kiv->UpdatedText(""), "");
    EXPECT_EQ(Kiv->UpdatedText(" \t\r\n "), "");
    // Blanks around a readable text do not hide its date.
    EXPECT_EQ(Kiv->UpdatedText("  " + DateTimeText(LocalMoment(2024, 12, 8, 9, 5, 0)) + "\r"), "Today 09:05");

    // Yesterday across the turn of a month and of a year.
    Mine.Clock.Moment = LocalMoment(2025, 1, 1, 0, 10, 0);
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 12, 31, 23, 59, 0))), "Yesterday 23:59");
    Mine.Clock.Moment = LocalMoment(2024, 3, 1, 8, 0, 0);
    EXPECT_EQ(Kiv->UpdatedText(DateTimeText(LocalMoment(2024, 2, 29, 12, 0, 0))), "Yesterday 12:00");
    const std::string sameDayLastYear = DateTimeText(LocalMoment(2023, 3, 1, 8, 0, 0));
    EXPECT_EQ(Kiv->UpdatedText(sameDayLastYear), sameDayLastYear);
}

TEST_F(BoardListingTest, AnUpdatedInAForeignFormatIsShownAsStoredAndHidesNobodyAfterIt)
{
    Mine.Clock.Moment = LocalMoment(2024, 12, 8, 14, 30, 0);
    const std::string today = DateTimeText(LocalMoment(2024, 12, 8, 9, 5, 30));
    AddUser("ANNA", "Available", "", today);
    AddUser("BERT", "Available", "", "08.12.2024 09:05:30");   // a German workstation
    AddUser("CARL", "Available", "", "2024-12-08T09:05:30");
    AddUser("DORA", "Available", "", "13/45/24 99:99:99");
    AddUser("EMIL", "Available", "", today);

    Kiv->FillBoard(List);
    ASSERT_EQ(List.Logins(), (std::vector<std::string>{"ANNA", "BERT", "CARL", "DORA", "EMIL"}));
    EXPECT_EQ(List.Rows[0].SubItems[TBoardRow::Updated], "Today 09:05");
    EXPECT_EQ(List.Rows[1].SubItems[TBoardRow::Updated], "08.12.2024 09:05:30");
    EXPECT_EQ(List.Rows[2].SubItems[TBoardRow::Updated], "2024-12-08T09:05:30");
    EXPECT_EQ(List.Rows[3].SubItems[TBoardRow::Updated], "13/45/24 99:99:99");
    EXPECT_EQ(List.Rows[4].SubItems[TBoardRow::Updated], "Today 09:05");
    EXPECT_EQ(List.Trace, "[c+++++w]");
}

TEST_F(BoardListingTest, AFailedOpenLeavesTheBoardAsItWas)
{
    List.Rows.push_back(TBoardRow{"kept", {}, 1});
    List.Selected = 0;
    EXPECT_EQ(RaisedText([&] { Kiv->FillBoard(List); }), "Unable to open dataset - Object not found");
    EXPECT_EQ(RaisedText([&] { Kiv->FillBoardForDepartment(List, "Sales"); }),
              "Unable to open dataset - Object not found");
    EXPECT_EQ(List.Trace, "");
    ASSERT_TRUE(List.SelectedRow().has_value());
    EXPECT_EQ(List.SelectedRow()->Caption, "kept");

    TFakeItemList names;
    EXPECT_EQ(RaisedText([&] { Kiv->FillUserNames(names); }), "Unable to open dataset - Object not found");
    EXPECT_EQ(names.Trace, "");
    EXPECT_FALSE(Kiv->IsamFile.IsOpen());
}

TEST_F(BoardListingTest, AListThatFailsMidwayIsStillSizedAndResumedAndTheDatasetClosed)
{
    AddUser("ANNA", "Available");
    AddUser("BERT", "Available");
    AddUser("CARL", "Available");
    List.FailAtAdd = 2;
    EXPECT_THROW(Kiv->FillBoard(List), std::runtime_error);
    EXPECT_EQ(List.Trace, "[c+w]");
    EXPECT_EQ(List.Logins(), std::vector<std::string>{"ANNA"});
    EXPECT_FALSE(Kiv->IsamFile.IsOpen());

    TFakeItemList names;
    names.FailAtAdd = 3;
    EXPECT_THROW(Kiv->FillUserNames(names), std::runtime_error);
    EXPECT_EQ(names.Trace, "[c++]");
    EXPECT_FALSE(Kiv->IsamFile.IsOpen());
}

// A read the engine could not carry out (here: a busy dataset) is not the end
// of the walk: a board missing everybody after it must not pass as complete.
TEST_F(BoardListingTest, AReadTheEngineCannotCarryOutIsReportedAndTheBoardResumes)
{
    TKivFile kiv(Folder.Path(), Mine.Ctx, "viewer", KIV_FAKE_ENGINE_DIR);
    TFakeEngineState *state = FreshFakeEngineState();
    ASSERT_NE(state, nullptr);
    state->ReadAnswer = 3;
    EXPECT_EQ(RaisedText([&] { kiv.FillBoard(List); }), "Unable to read dataset - Multi-user access");
    EXPECT_EQ(List.Trace, "[cw]");
    TFakeItemList names;
    EXPECT_EQ(RaisedText([&] { kiv.FillUserNames(names); }), "Unable to read dataset - Multi-user access");
    EXPECT_EQ(names.Trace, "[c]");
    EXPECT_FALSE(kiv.IsamFile.IsOpen());

    // The ordinary end of the walk is no failure.
    state->ReadAnswer = 1;
    EXPECT_EQ(RaisedText([&] { kiv.FillBoard(List); }), "");
}

TEST_F(BoardListingTest, UserNamesListEveryoneWithTheirRecordNumbers)
{
    AddUser("ANNA", "Offline");
    AddUser("BERT", "Available");
    AddUser("CARL", "Gone home");
    AddUser("DORA", "Available");
    ASSERT_TRUE(ChangeStoredUser(Folder.Path(), "BERT", [](char *record) {
        PutText(record, UserRecord::Name, "Bert Lund");
    }));
    Kiv->DeleteUser(3);

    TFakeItemList names;
    names.Items.push_back({"stale", 99});
    Kiv->FillUserNames(names);
    EXPECT_EQ(names.Items, (std::vector<TFakeItemList::TItem>{{"ANNA", 1}, {"Bert Lund", 2}, {"DORA", 4}}));
    EXPECT_EQ(names.Trace, "[c+++]");
    EXPECT_FALSE(Kiv->IsamFile.IsOpen());
}
