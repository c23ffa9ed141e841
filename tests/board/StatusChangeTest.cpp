// Storing a status against the real engine: the own status with its copy-back
// into the signed-in user, a colleague's status from the selected board row,
// which changes reach the activity log, and what a failure leaves behind.
#include "board/KivFile.h"
#include "board/KivText.h"
#include "board/UserRecord.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/board/EitherBoard.h"
#include "tests/storage/TestFolder.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

class StatusChangeTest : public ::testing::TestWithParam<TBoardKind> {
protected:
    void SetUp() override
    {
        Kiv = MakeKiv("admin", Mine);
        Kiv->SignIn();
        Kiv->RefreshCurrentUser();
    }

    std::unique_ptr<TKivFile> MakeKiv(const std::string &login, TFakeBoard &board)
    {
        auto kiv = std::make_unique<TKivFile>(Board.Location, board.Ctx, login);
        kiv->LogPause = [](std::chrono::milliseconds) {};
        return kiv;
    }

    /// Sets the own status as the status commands do.
    void SetOwnStatus(const std::string &status)
    {
        Mine.Session.User.Status = status;
        Kiv->SetStatus();
    }

    TUser Stored(const std::string &login) const
    {
        for (const TStoredUser &user : StoredUsers(Board.Location))
            if (user.User.LogInName == login)
                return user.User;
        return TUser();
    }

    std::vector<std::string> TextLog() const { return Board.Log(TActivityLog::Text); }
    std::vector<std::string> CsvLog() const { return Board.Log(TActivityLog::Csv); }

    TEitherBoard Board{GetParam()};
    const TTestFolder &Folder = Board.Folder();
    TFakeBoard Mine;
    std::unique_ptr<TKivFile> Kiv;
};
KIV_ON_BOTH_BOARD_KINDS(StatusChangeTest);

// What only a folder board can meet: a folder that is gone, a log file that
// cannot be opened.
class StatusChangeFolderTest : public StatusChangeTest {};
INSTANTIATE_TEST_SUITE_P(On, StatusChangeFolderTest, ::testing::Values(TBoardKind::Folder), BoardKindName);

} // namespace

TEST_P(StatusChangeTest, TheOwnStatusIsStoredAndTheSignedInUserTakesTheRecordsDetails)
{
    // The user administration dialog of another workstation changed the
    // record; the object here still holds what it read earlier.
    ASSERT_TRUE(ChangeStoredUser(Board.Location, "ADMIN", [](char *record) {
        PutText(record, UserRecord::Name, "Ada Admin");
        PutText(record, UserRecord::Ext, "4711");
        PutText(record, UserRecord::Reserved11, "kept");
    }));
    Mine.Session.User.Comments = "stale";
    Mine.Session.User.LogInName = "SOMEONE ELSE";
    Mine.Session.Administrator = false;
    Mine.Clock.Moment += 600;
    SetOwnStatus("At lunch");

    const TStoredUser stored = StoredUsers(Board.Location)[0];
    EXPECT_EQ(stored.User.Status, "At lunch");
    EXPECT_EQ(stored.User.Name, "Ada Admin");
    EXPECT_EQ(stored.User.Comments, "");
    EXPECT_EQ(stored.User.Updated, NowText(Mine.Clock));
    EXPECT_EQ(GetText(stored.Bytes.data(), UserRecord::Reserved11), "kept");

    const TUser &user = Mine.Session.User;
    EXPECT_EQ(user.Status, "At lunch");
    EXPECT_EQ(user.Name, "Ada Admin");
    EXPECT_EQ(user.Comments, "");
    EXPECT_EQ(user.LogInName, "ADMIN");
    EXPECT_TRUE(Mine.Session.Administrator);
    EXPECT_EQ(Mine.Host.TrayImage, 0);
    EXPECT_FALSE(Kiv->DatasetOpen());

    // The flag follows the record, also when it is taken away.
    ASSERT_TRUE(ChangeStoredUser(Board.Location, "ADMIN",
                                 [](char *record) { PutInt16(record, UserRecord::Administrator, 0); }));
    SetOwnStatus("Working from home");
    EXPECT_FALSE(Mine.Session.Administrator);
    EXPECT_EQ(Mine.Session.User.Administrator, 0);
    EXPECT_EQ(Mine.Host.TrayImage, 9);
}

TEST_P(StatusChangeTest, OnlyARealChangeIsLoggedAndOnlyToTheLogTheBoardAsksFor)
{
    for (uint8_t type : {0, 3}) {
        Kiv->LoggingType = type;
        SetOwnStatus("Gone home " + std::to_string(type));
    }
    EXPECT_TRUE(TextLog().empty());
    EXPECT_TRUE(CsvLog().empty());
    EXPECT_EQ(Stored("ADMIN").Status, "Gone home 3");

    Kiv->LoggingType = 1;
    SetOwnStatus("In meeting");
    Mine.Clock.Moment += 3600;
    SetOwnStatus("In meeting");
    EXPECT_EQ(Stored("ADMIN").Updated, NowText(Mine.Clock)); // stamped, but not logged
    SetOwnStatus("in meeting");
    // A status longer than its field is judged by what the record keeps.
    const std::string overlong = "Visiting the customer in Aberdeen";
    SetOwnStatus(overlong);
    SetOwnStatus(overlong);

    const auto lines = TextLog();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], std::string(60, '*'));
    EXPECT_EQ(lines[6], DateTimeText(Mine.Clock.Moment - 3600)
                            + " ADMIN (ADMIN) status changed from \"Gone home 3\" to \"In meeting\"");
    EXPECT_EQ(lines[7], NowText(Mine.Clock) + " ADMIN (ADMIN) status changed from \"In meeting\" to \"in meeting\"");
    EXPECT_EQ(lines[8], NowText(Mine.Clock) + " ADMIN (ADMIN) status changed from \"in meeting\" to \""
                            + overlong.substr(0, 30) + "\"");
    EXPECT_TRUE(CsvLog().empty());
}

TEST_P(StatusChangeTest, AnAdministratorSettingAColleaguesStatusLeavesTheirOwnAlone)
{
    TFakeBoard colleague;
    MakeKiv("bert", colleague)->SignIn();
    ASSERT_TRUE(ChangeStoredUser(Board.Location, "BERT", [](char *record) {
        PutText(record, UserRecord::Name, "Bert \"B\" Lund");
        PutText(record, UserRecord::Comments, "kept");
    }));
    SetOwnStatus("DND");
    const TUser ownRecord = Stored("ADMIN");
    const TUser ownObject = Mine.Session.User;
    const int ownTray = Mine.Host.TrayImage;

    Kiv->LoggingType = 2;
    TFakeBoardList list;
    Kiv->FillBoard(list);
    ASSERT_TRUE(list.Select("BERT"));
    Mine.Clock.Moment += 120;
    Kiv->SetStatusOfSelected(list, "Out of office");

    const TUser bert = Stored("BERT");
    EXPECT_EQ(bert.Status, "Out of office");
    EXPECT_EQ(bert.Updated, NowText(Mine.Clock));
    EXPECT_EQ(bert.Name, "Bert \"B\" Lund");
    EXPECT_EQ(bert.Comments, "kept");
    EXPECT_EQ(Stored("ADMIN").Updated, ownRecord.Updated);
    EXPECT_EQ(Mine.Session.User.Status, ownObject.Status);
    EXPECT_EQ(Mine.Host.TrayImage, ownTray);

    const auto lines = CsvLog();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(*CsvValues(lines[1]),
              (std::vector<std::string>{NowText(Mine.Clock), "Bert \"B\" Lund", "BERT", "Available", "Out of office"}));

    // The own row goes the same way: the record changes, the object does not.
    ASSERT_TRUE(list.Select("ADMIN"));
    Kiv->SetStatusOfSelected(list, "Off sick");
    EXPECT_EQ(Stored("ADMIN").Status, "Off sick");
    EXPECT_EQ(Mine.Session.User.Status, "DND");
    EXPECT_EQ(Mine.Host.TrayImage, ownTray);
    EXPECT_EQ(CsvLog().size(), 3u);
    EXPECT_FALSE(Kiv->DatasetOpen());
}

TEST_P(StatusChangeFolderTest, FailuresBeforeTheReplaceLeaveTheRecordsAndTheLogAlone)
{
    TFakeBoard colleague;
    MakeKiv("bert", colleague)->SignIn();
    Kiv->LoggingType = 1;
    const std::vector<TStoredUser> before = StoredUsers(Board.Location);
    TFakeBoardList list;
    EXPECT_EQ(RaisedText([&] { Kiv->SetStatusOfSelected(list, "DND"); }),
              "Unable to update status - no user is selected on the board");
    Kiv->FillBoard(list);
    ASSERT_TRUE(list.Select("BERT"));

    const std::string gone = Folder / "gone";
    Kiv->DatabaseFolder = gone;
    Mine.Session.User.Status = "At lunch";
    EXPECT_EQ(RaisedText([&] { Kiv->SetStatus(); }),
              "Unable to update status - unable to access the Kiv database location \"" + gone + "/\"");
    EXPECT_EQ(RaisedText([&] { Kiv->SetStatusOfSelected(list, "DND"); }),
              "Unable to update user - unable to access the Kiv database location \"" + gone + "/\"");
    const std::vector<TStoredUser> after = StoredUsers(Board.Location);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].Bytes, before[0].Bytes);
    EXPECT_EQ(after[1].Bytes, before[1].Bytes);

    // Both records were erased by an administrator elsewhere.
    Kiv->DatabaseFolder = Board.Location;
    Kiv->DeleteUser(2);
    // The only administrator cannot be deleted while the record holds the right.
    ASSERT_TRUE(ChangeStoredUser(Board.Location, "ADMIN",
                                 [](char *record) { PutInt16(record, UserRecord::Administrator, 0); }));
    Kiv->DeleteUser(1);
    const int tray = Mine.Host.TrayImage;
    EXPECT_EQ(RaisedText([&] { Kiv->SetStatus(); }), "Unable to perform lookup on user ADMIN Object not found");
    EXPECT_EQ(RaisedText([&] { Kiv->SetStatusOfSelected(list, "DND"); }),
              "Unable to perform lookup on user BERT Object not found");
    EXPECT_EQ(Mine.Host.TrayImage, tray);
    EXPECT_EQ(Mine.Session.User.Name, "ADMIN");
    EXPECT_FALSE(PathExists(Folder / "KivLog.txt"));
    EXPECT_FALSE(Kiv->DatasetOpen());
}

TEST_P(StatusChangeFolderTest, ALogThatCannotBeOpenedRaisesAfterTheNineAttemptsWithTheRecordChanged)
{
    Kiv->LoggingType = 1;
    Kiv->LogPause = SleepPause; // the real waits: some 900 milliseconds in all
    ASSERT_EQ(mkdir((Folder / "KivLog.txt").c_str(), 0755), 0);
    const auto start = std::chrono::steady_clock::now();
    Mine.Session.User.Status = "Gone home";
    const std::string text = RaisedText([&] { Kiv->SetStatus(); });
    const auto waited = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(text, "Unable to add to Kiv logfile -  Cannot open file \"" + Board.Location
                        + "/KivLog.txt\". Is a directory - Error 21");
    EXPECT_GE(waited, std::chrono::milliseconds(850));
    EXPECT_EQ(Stored("ADMIN").Status, "Gone home");
    EXPECT_FALSE(Kiv->DatasetOpen());
}

TEST_P(StatusChangeTest, AnInferredStatusIsStoredOnlyOverTheStatusItExpects)
{
    Kiv->LoggingType = 1;
    SetOwnStatus("Available");
    const TOwnStatus seen = Kiv->ReadOwnStatus();
    ASSERT_EQ(seen.Status, "Available");

    // What changed between Kiv's look and its write: each must win over Kiv.
    struct TMeanwhile {
        const char *What;
        std::function<void(char *)> Change;
    };
    const TMeanwhile changes[] = {
        {"another status", [](char *r) { PutText(r, UserRecord::Status, "In meeting"); }},
        {"a comment", [](char *r) { PutText(r, UserRecord::Comments, "back soon"); }},
        {"the same status set again later", [](char *r) { PutText(r, UserRecord::Updated, "01/01/2099 09:00"); }},
    };
    for (const TMeanwhile &meanwhile : changes) {
        SCOPED_TRACE(meanwhile.What);
        SetOwnStatus("Available");
        const TOwnStatus before = Kiv->ReadOwnStatus();
        ASSERT_TRUE(ChangeStoredUser(Board.Location, "ADMIN", meanwhile.Change));
        const TUser changed = Stored("ADMIN");
        EXPECT_FALSE(Kiv->ReplaceOwnStatus(before, "Away from desk", before.Comments));
        const TUser after = Stored("ADMIN");
        EXPECT_EQ(after.Status, changed.Status);
        EXPECT_EQ(after.Comments, changed.Comments);
        EXPECT_EQ(after.Updated, changed.Updated);
    }

    // Unchanged: stored, stamped, logged, and the signed-in user follows.
    SetOwnStatus("Available");
    Mine.Clock.Moment += 60;
    const std::size_t logged = TextLog().size();
    const std::optional<TOwnStatus> away = Kiv->ReplaceOwnStatus(Kiv->ReadOwnStatus(), "Away from desk", "set by Kiv");
    ASSERT_TRUE(away);
    EXPECT_EQ(*away, (TOwnStatus{"Away from desk", "set by Kiv", NowText(Mine.Clock)}));
    EXPECT_EQ(Kiv->ReadOwnStatus(), *away);
    EXPECT_EQ(Mine.Session.User.Status, "Away from desk");
    ASSERT_EQ(TextLog().size(), logged + 1);
    EXPECT_NE(TextLog().back().find("from \"Available\" to \"Away from desk\""), std::string::npos);
    EXPECT_FALSE(Kiv->DatasetOpen());
}
