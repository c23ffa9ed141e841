// The alert list: its entries, the check against a refilled board, the alert
// file on disk, and the display names refreshed from the users dataset.
#include "board/KivAlert.h"
#include "board/KivFile.h"
#include "board/KivText.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

TBoardRow Row(const std::string &caption, const std::string &status, const std::string &login)
{
    TBoardRow row;
    row.Caption = caption;
    row.SubItems[TBoardRow::Status] = status;
    row.SubItems[TBoardRow::Login] = login;
    return row;
}

std::vector<std::string> Lines(std::initializer_list<const char *> lines)
{
    return {lines.begin(), lines.end()};
}

class KivAlertTest : public ::testing::Test {
protected:
    TTestFolder Folder;
    TKivAlert Alerts;
    TFakeBoardList Board;
};

} // namespace

TEST_F(KivAlertTest, EntriesAreFoundByLoginInAnyCaseAndABlankLoginIsRefused)
{
    Alerts.AddToAlertList("CLERK1", "Front desk", "Available");
    Alerts.AddToAlertList(" boss ", "The Boss", "In meeting");
    for (const char *blank : {"", "   ", "\t\r\n "})
        EXPECT_EQ(RaisedText([&] { Alerts.AddToAlertList(blank, "Nobody", "Available"); }),
                  "LogInName must have a value");
    EXPECT_EQ(Alerts.Count(), 2u);

    // The login is kept untrimmed, as the command hands it over.
    EXPECT_TRUE(Alerts.InAlertList("clerk1"));
    EXPECT_EQ(Alerts.IndexOfLogIn("Clerk1"), 0);
    EXPECT_EQ(Alerts.IndexOfLogIn(" BOSS "), 3);
    EXPECT_EQ(Alerts.IndexOfLogIn("BOSS"), -1);
    EXPECT_FALSE(Alerts.InAlertList("CLERK"));

    Alerts.SetDisplayName("CLERK1", "Reception");
    EXPECT_EQ(Alerts.GetDisplayName(0), "Reception");
    EXPECT_EQ(RaisedText([&] { Alerts.SetDisplayName("GHOST", "x"); }), "Unable to find the user GHOST");
    for (int position : {-3, 1, 6})
        EXPECT_NE(RaisedText([&] { Alerts.GetDisplayName(position); }), "");

    Alerts.ClearAlertList();
    EXPECT_EQ(Alerts.Count(), 0u);
    EXPECT_FALSE(Alerts.InAlertList("CLERK1"));
}

TEST_F(KivAlertTest, ACheckReportsEachChangeOnceInEntryOrderAndTakesTheNewStatus)
{
    Alerts.AddToAlertList("CLERK1", "Front desk", "Available");
    Alerts.AddToAlertList("BOSS", "The Boss", "In meeting");
    Alerts.AddToAlertList("QUIET", "Quiet One", "Available");
    // The board lists the boss first; the notification keeps the entries' order.
    Board.Rows = {Row("The Boss", "Gone home", "BOSS"), Row("Front desk", "At lunch", "CLERK1"),
                  Row("Quiet One", "available", "QUIET"), Row("Stranger", "DND", "STRANGER")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "Front desk has changed status from \"Available\" to \"At lunch\"\r"
                                 "The Boss has changed status from \"In meeting\" to \"Gone home\"\r");
    // A change of letter case alone is no change and is not taken over.
    EXPECT_EQ(Alerts.Strings(), Lines({"CLERK1", "Front desk", "At lunch", "BOSS", "The Boss", "Gone home",
                                       "QUIET", "Quiet One", "Available"}));

    TFixedClock clock;
    EXPECT_EQ(Alerts.NotificationText(clock), "Status update from Kiv at " + NowText(clock) + "\r\r" + Alerts.ChangeText);

    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "");
}

TEST_F(KivAlertTest, AColleagueOffTheBoardIsReportedLaterFromTheLastStatusSeen)
{
    Alerts.AddToAlertList("CLERK1", "Front desk", "Available");
    // Filtered away, or offline and hidden: nothing to compare.
    Board.Rows = {Row("Other", "DND", "OTHER")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "");

    // The login column is compared exactly: a row of another case is someone else.
    Board.Rows = {Row("Front desk", "In meeting", "clerk1")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "");

    Board.Rows = {Row("Front desk", "In meeting", "CLERK1")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "Front desk has changed status from \"Available\" to \"In meeting\"\r");

    TKivAlert empty;
    empty.CheckAlertList(Board);
    EXPECT_EQ(empty.ChangeText, "");
}

TEST_F(KivAlertTest, TheListBoxGetsTheDisplayNamesWithTheirPositionsAppended)
{
    Alerts.AddToAlertList("CLERK1", "Front desk", "Available");
    Alerts.AddToAlertList("BOSS", "The Boss", "In meeting");
    TFakeItemList list;
    list.AddItem("already there", 42);
    Alerts.FillListBox(list);
    EXPECT_EQ(list.Items, (std::vector<TFakeItemList::TItem>{{"already there", 42}, {"Front desk", 0}, {"The Boss", 3}}));
}

TEST_F(KivAlertTest, TheFileHoldsOneStringPerLineEndedByCrLfAndReadsBackWhole)
{
    const std::string path = Folder / "CLERK9.Kiv";
    EXPECT_FALSE(Alerts.LoadFromFile(path));
    EXPECT_EQ(Alerts.Count(), 0u);

    Alerts.SaveToFile(path);
    ASSERT_TRUE(PathExists(path));
    EXPECT_EQ(ReadWholeFile(path), "");

    Alerts.AddToAlertList("CLERK1", "J\xC3\xB6rg", "Available");
    Alerts.AddToAlertList("BOSS", "", "In meeting");
    Alerts.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), "CLERK1\r\nJ\xC3\xB6rg\r\nAvailable\r\nBOSS\r\n\r\nIn meeting\r\n");
    TKivAlert reread;
    ASSERT_TRUE(reread.LoadFromFile(path));
    EXPECT_EQ(reread.Strings(), Alerts.Strings());

    // Every kind of line break splits; a zero byte ends the text.
    WriteWholeFile(path, std::string("A\rB\nC\r\n\r\nD\0E\r\nF", 16));
    ASSERT_TRUE(reread.LoadFromFile(path));
    EXPECT_EQ(reread.Strings(), Lines({"A", "B", "C", "", "D"}));
    WriteWholeFile(path, "X\n\rY");
    ASSERT_TRUE(reread.LoadFromFile(path));
    EXPECT_EQ(reread.Strings(), Lines({"X", "", "Y"}));
}

TEST_F(KivAlertTest, AHandEditedSeventhLineIsNeverVisitedButKeptAndSavedBack)
{
    const std::string path = Folder / "CLERK1.Kiv";
    WriteWholeFile(path, "A1\r\nAnne\r\nAvailable\r\nB2\r\nBert\r\nDND\r\nC3");
    ASSERT_TRUE(Alerts.LoadFromFile(path));
    EXPECT_EQ(Alerts.Count(), 2u);
    EXPECT_FALSE(Alerts.InAlertList("C3"));
    EXPECT_EQ(RaisedText([&] { Alerts.SetDisplayName("C3", "Carl"); }), "Unable to find the user C3");

    Board.Rows = {Row("Carl", "Gone home", "C3"), Row("Bert", "At lunch", "B2")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "Bert has changed status from \"DND\" to \"At lunch\"\r");
    TFakeItemList list;
    Alerts.FillListBox(list);
    EXPECT_EQ(list.Captions(), Lines({"Anne", "Bert"}));

    Alerts.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), "A1\r\nAnne\r\nAvailable\r\nB2\r\nBert\r\nAt lunch\r\nC3\r\n");
}

TEST_F(KivAlertTest, ALineBreakInsideAStringCannotShiftTheEntriesAfterIt)
{
    const std::string path = Folder / "CLERK1.Kiv";
    Alerts.AddToAlertList("A1", "Anne\r\nSmith", "Available");
    Alerts.AddToAlertList("B2", "Bert", std::string("DND\0x", 5));
    Alerts.SaveToFile(path);
    TKivAlert reread;
    ASSERT_TRUE(reread.LoadFromFile(path));
    EXPECT_EQ(reread.Strings(), Lines({"A1", "Anne  Smith", "Available", "B2", "Bert", "DND x"}));
}

TEST_F(KivAlertTest, AFailedSaveLeavesThePreviousFileWholeAndSaysWhy)
{
    const std::string folder = Folder / "alerts";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/CLERK1.Kiv";
    WriteWholeFile(path, "A1\r\nAnne\r\nAvailable\r\n");
    chmod(Folder.Path().c_str(), 0755);
    chmod(path.c_str(), 0666);
    chmod(folder.c_str(), 0555);
    Alerts.AddToAlertList("B2", "Bert", "DND");

    // A workstation user who may not write the folder (root may write anything).
    const int code = RunInChild([&] {
        const std::string text = RaisedText([&] { Alerts.SaveToFile(path); });
        return text.rfind("Unable to save the alert list\r\r", 0) == 0 ? 0 : 1;
    }, true);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadWholeFile(path), "A1\r\nAnne\r\nAvailable\r\n");

    EXPECT_NE(RaisedText([&] { Alerts.SaveToFile(Folder / "no/such/folder/X.Kiv"); }), "");
    EXPECT_NE(RaisedText([&] { Alerts.SaveToFile(""); }), "");
    // A file that is there but is no readable list says so and keeps the list.
    EXPECT_NE(RaisedText([&] { Alerts.LoadFromFile(folder); }), "");
    EXPECT_EQ(Alerts.Count(), 1u);
}

TEST_F(KivAlertTest, TheAlertFileLivesInTheAlertFolderUnderTheUpperCasedLogin)
{
    const char *saved = std::getenv("XDG_DATA_HOME");
    const std::string before = saved != nullptr ? saved : "";
    setenv("XDG_DATA_HOME", Folder.Path().c_str(), 1);
    const std::string path = AlertFilePath("clerk1.j\xC3\xB6rg");
    if (saved != nullptr)
        setenv("XDG_DATA_HOME", before.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(path, Folder / "Kiv/CLERK1.J\xC3\xB6RG.Kiv");
}

TEST_F(KivAlertTest, RefreshAlertNamesTakesTheNamesOfTheUsersDataset)
{
    TFakeBoard mine;
    TKivFile kiv(Folder.Path(), mine.Ctx, "admin");
    kiv.SignIn();
    for (const char *login : {"clerk1", "boss"}) {
        TFakeBoard other;
        TKivFile(Folder.Path(), other.Ctx, login).SignIn();
    }
    mine.Session.User = kiv.ReadUser(2);
    mine.Session.User.Name = "Front desk";
    kiv.UpdateUser();
    kiv.DeleteUser(3);

    Alerts.AddToAlertList("clerk1", "CLERK1", "Available");
    Alerts.AddToAlertList("BOSS", "The Boss", "Available");
    kiv.RefreshAlertNames(Alerts);
    // The deleted boss keeps the last name known.
    EXPECT_EQ(Alerts.Strings(), Lines({"clerk1", "Front desk", "Available", "BOSS", "The Boss", "Available"}));
    EXPECT_FALSE(kiv.IsamFile.IsOpen());

    kiv.DatabaseFolder = Folder / "gone";
    EXPECT_EQ(RaisedText([&] { kiv.RefreshAlertNames(Alerts); }).rfind("Unable to open dataset - ", 0), 0u);
    EXPECT_FALSE(kiv.IsamFile.IsOpen());
}
