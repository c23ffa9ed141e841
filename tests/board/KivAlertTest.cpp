// The alert list: the check against a refilled board, the alert file on disk,
// and the display names refreshed from the users dataset.
#include "board/KivAlert.h"
#include "board/KivFile.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TBoardRow Row(const std::string &status, const std::string &login)
{
    TBoardRow row;
    row.SubItems[TBoardRow::Status] = status;
    row.SubItems[TBoardRow::Login] = login;
    return row;
}

using TLines = std::vector<std::string>;

/// The line of one change, each stored text between U+2068 and U+2069.
std::string Change(const std::string &name, const std::string &from, const std::string &to)
{
    const auto isolated = [](const std::string &text) { return "\xE2\x81\xA8" + text + "\xE2\x81\xA9"; };
    return isolated(name) + " has changed status from \"" + isolated(from) + "\" to \"" + isolated(to) + "\"\r";
}

class KivAlertTest : public ::testing::Test {
protected:
    TTestFolder Folder;
    TKivAlert Alerts;
    TFakeBoardList Board;
};

} // namespace

TEST_F(KivAlertTest, ACheckReportsEachChangeOnceInEntryOrderAndTakesTheNewStatus)
{
    Alerts.AddToAlertList("CLERK1", "Front desk", "Available");
    Alerts.AddToAlertList("BOSS", "The Boss", "In meeting");
    Alerts.AddToAlertList("QUIET", "Quiet One", "Available");
    EXPECT_EQ(RaisedText([&] { Alerts.AddToAlertList(" \t\r\n", "Nobody", "x"); }), "LogInName must have a value");
    // The command adds nobody twice: it asks first, in any letter case.
    EXPECT_TRUE(Alerts.InAlertList("clerk1"));
    EXPECT_EQ(Alerts.IndexOfLogIn("Boss"), 3);

    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "");
    // The boss is listed first; the box keeps the entries' order. A change of
    // letter case alone is none, and a row of another login case is someone else.
    Board.Rows = {Row("Gone home", "BOSS"), Row("At lunch", "CLERK1"), Row("available", "QUIET"), Row("DND", "quiet")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText,
              Change("Front desk", "Available", "At lunch") + Change("The Boss", "In meeting", "Gone home"));
    EXPECT_EQ(Alerts.Strings(), (TLines{"CLERK1", "Front desk", "At lunch", "BOSS", "The Boss", "Gone home", "QUIET",
                                        "Quiet One", "Available"}));
    TFixedClock clock;
    EXPECT_EQ(Alerts.NotificationText(clock),
              "Status update from Kiv at " + NowText(clock) + "\r\r" + Alerts.ChangeText);

    // Off the board (filtered, or offline and hidden): reported once shown again.
    Board.Rows = {Row("DND", "OTHER")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "");
    Board.Rows = {Row("In meeting", "CLERK1")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, Change("Front desk", "At lunch", "In meeting"));
}

TEST_F(KivAlertTest, TheFileHoldsOneStringPerCrLfLineAndAHandEditedRestIsKept)
{
    const std::string path = Folder / "CLERK1.Kiv";
    EXPECT_FALSE(Alerts.LoadFromFile(path)); // the first start on this workstation
    Alerts.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), "");

    // Every kind of line break splits, and a zero byte ends the text.
    const char edited[] = "A1\rAnne\nAvailable\r\nB2\r\n\r\nDND\r\nC3\0junk";
    WriteWholeFile(path, std::string(edited, sizeof edited - 1));
    ASSERT_TRUE(Alerts.LoadFromFile(path));
    EXPECT_EQ(Alerts.Strings(), (TLines{"A1", "Anne", "Available", "B2", "", "DND", "C3"}));
    EXPECT_FALSE(Alerts.InAlertList("C3"));
    EXPECT_NE(RaisedText([&] { Alerts.SetDisplayName("C3", "Carl"); }), "");
    Board.Rows = {Row("Gone home", "C3")};
    Alerts.CheckAlertList(Board);
    EXPECT_EQ(Alerts.ChangeText, "");
    TFakeItemList list;
    list.AddItem("already there", 9);
    Alerts.FillListBox(list);
    EXPECT_EQ(list.Items, (std::vector<TFakeItemList::TItem>{{"already there", 9}, {"Anne", 0}, {"", 3}}));

    // A line break inside a string must not shift the entries after it.
    Alerts.SetDisplayName("B2", "Bert\r\nSmith");
    Alerts.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), "A1\r\nAnne\r\nAvailable\r\nB2\r\nBert  Smith\r\nDND\r\nC3\r\n");
    TKivAlert reread;
    ASSERT_TRUE(reread.LoadFromFile(path));
    EXPECT_EQ(reread.Strings().size(), 7u);
}

TEST_F(KivAlertTest, AFailedSaveLeavesThePreviousFileWholeAndSaysWhy)
{
    const std::string folder = Folder / "alerts";
    const std::string path = folder + "/CLERK1.Kiv";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    WriteWholeFile(path, "A1\r\nAnne\r\nAvailable\r\n");
    chmod(Folder.Path().c_str(), 0755);
    chmod(path.c_str(), 0666);
    chmod(folder.c_str(), 0555);
    Alerts.AddToAlertList("B2", "Bert", "DND");
    // As a user who may not write the folder (root may write anything).
    EXPECT_EQ(RunInChild(
                  [&] {
                      return RaisedText([&] { Alerts.SaveToFile(path); }).rfind("Unable to save the alert list\r\r", 0)
                                     == 0
                                 ? 0
                                 : 1;
                  },
                  true),
              0);
    EXPECT_EQ(ReadWholeFile(path), "A1\r\nAnne\r\nAvailable\r\n");
    EXPECT_NE(RaisedText([&] { Alerts.SaveToFile(""); }), ""); // no alert folder known
    EXPECT_NE(RaisedText([&] { Alerts.LoadFromFile(folder); }), "");
    EXPECT_EQ(Alerts.Count(), 1u);
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
    EXPECT_EQ(Alerts.Strings(), (TLines{"clerk1", "Front desk", "Available", "BOSS", "The Boss", "Available"}));
    kiv.DatabaseFolder = Folder / "gone";
    EXPECT_EQ(RaisedText([&] { kiv.RefreshAlertNames(Alerts); }).rfind("Unable to open dataset - ", 0), 0u);
    EXPECT_FALSE(kiv.DatasetOpen());
}

// The alert file's folder is the user's own, but the file is opened as every
// shared file is: a link is not read through, a FIFO is not waited on, and a
// save replaces what stands in the file's place without writing through it.
TEST_F(KivAlertTest, ALinkOrAFifoInPlaceOfTheAlertFileIsRefusedAndASaveReplacesIt)
{
    const std::string path = Folder / "CLERK1.Kiv", victim = Folder / "victim";
    WriteWholeFile(victim, "A1\r\nAnne\r\nAvailable\r\n");
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    Alerts.AddToAlertList("B2", "Bert", "DND");
    EXPECT_EQ(RaisedText([&] { Alerts.LoadFromFile(path); }),
              "Unable to read the alert list " + path + "\r\rThe file is a symbolic link");
    EXPECT_EQ(Alerts.Count(), 1u);
    Alerts.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(victim), "A1\r\nAnne\r\nAvailable\r\n");
    ASSERT_TRUE(Alerts.LoadFromFile(path));
    EXPECT_EQ(Alerts.Strings(), (TLines{"B2", "Bert", "DND"}));

    ASSERT_EQ(remove(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    alarm(10); // an open that waits ends the test program
    EXPECT_EQ(RaisedText([&] { Alerts.LoadFromFile(path); }),
              "Unable to read the alert list " + path + "\r\rNot a regular file");
    alarm(0);
}
