// kivctl's board, status, comment and catalogue commands, run as the real
// program against temporary boards.
#include "board/Presence.h"
#include "board/UserRecord.h"
#include "tests/ctl/CtlTesting.h"

using BoardCommandsTest = TCtlTest;
// The listing, status and comment commands hold on a server board as well.
using BoardCommandsEitherTest = TCtlEitherTest;
KIV_ON_BOTH_BOARD_KINDS(BoardCommandsEitherTest);

TEST_F(BoardCommandsTest, TheFirstCommandMakesTheBoardWithItsUserAsAdministratorAndLaterOnesChangeNoStatus)
{
    const TCtlResult first = OnBoard({"board"});
    ASSERT_EQ(first.Code, 0) << first.Err;
    EXPECT_EQ(first.Out.substr(0, first.Out.find('\n')),
              "User  Status     Updated      Ext  Department  Comments  Until  Not running since");
    std::vector<TStoredUser> users = StoredUsers(Board);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].User.LogInName, Me);
    EXPECT_EQ(users[0].User.Administrator, 1);
    EXPECT_EQ(users[0].User.Status, "Available");
    EXPECT_FALSE(TTempHome::Exists(Home.SettingsFile())); // given its board, kivctl leaves the settings alone

    ASSERT_TRUE(ChangeStoredUser(Board, Me, [](char *record) { PutText(record, UserRecord::Status, "Gone home"); }));
    SetSettingsFolder(Board); // without --board, the settings name the board
    EXPECT_EQ(Run({"status"}).Out, "Gone home\n");
    EXPECT_EQ(StoredUsers(Board).size(), 1u);

    const TCtlResult missing = Run({"--board", Board + "/gone", "board"});
    EXPECT_EQ(missing.Code, 1);
    EXPECT_EQ(missing.Err, "kivctl: Unable to access the Kiv database location \"" + Board + "/gone\"\n");
}

TEST_P(BoardCommandsEitherTest, ListingHidesOfflineUsersFiltersOnTheExactDepartmentAndQuotesCsv)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    const auto in = [](const char *department, const char *status) {
        return [=](char *record) {
            PutText(record, UserRecord::Department, department);
            PutText(record, UserRecord::Status, status);
        };
    };
    AddUser("ANNA", in("Sales", "Available"));
    AddUser("BOB", in("sales", "Offline"));
    AddUser("CARL", in("Sales", "Offline"));
    AddUser("DORA", in("Sales ", "offline"));
    EXPECT_EQ(ListedLogins(), (std::vector<std::string>{"ANNA", "DORA", Me}));
    EXPECT_EQ(ListedLogins({"--offline"}), (std::vector<std::string>{"ANNA", "BOB", "CARL", "DORA", Me}));
    EXPECT_EQ(ListedLogins({"--department", "Sales"}), (std::vector<std::string>{"ANNA"}));
    EXPECT_EQ(ListedLogins({"--department=Sales", "--offline"}), (std::vector<std::string>{"ANNA", "CARL"}));

    ASSERT_TRUE(
        ChangeStoredUser(Board, "ANNA", [](char *record) { PutText(record, UserRecord::Name, "Smith, \"JJ\""); }));
    const std::string row = CsvRows({"board", "--department", "Sales"}).at(0);
    EXPECT_EQ(row.substr(0, row.find(",Available,")), "\"Smith, \"\"JJ\"\"\"");
    EXPECT_EQ(row.substr(row.find(",Sales,")), ",Sales,ANNA,,,");
}

TEST_P(BoardCommandsEitherTest, StatusAndCommentAreStoredAsTheWindowStoresThemAndStatusChangesAreLogged)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    AddUser("CLERK1");
    Configure(2, 1);
    ASSERT_EQ(OnBoard({"status", "  In meeting  "}).Code, 0);
    ASSERT_EQ(OnBoard({"status", "In meeting"}).Code, 0); // no change, no log line
    ASSERT_EQ(OnBoard({"comment", "back at 3"}).Code, 0);
    const TCtlResult other = OnBoard({"status", "Gone home", "--user", "clerk1"});
    ASSERT_EQ(other.Code, 0) << other.Err;

    const std::vector<std::string> rows = CsvRows({"board"});
    ASSERT_EQ(rows.size(), 2u);
    const std::vector<std::string> clerk = Split(rows[0]), me = Split(rows[1]);
    EXPECT_EQ(clerk[1] + "|" + clerk[5], "Gone home|CLERK1");
    EXPECT_EQ(me[1] + "|" + me[2].substr(0, 6) + "|" + me[6], "In meeting|Today |back at 3");
    EXPECT_EQ(OnBoard({"status", "--user", "CLERK1"}).Out, "Gone home\n");
    const std::vector<std::string> log = Log(TActivityLog::Csv);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].substr(log[1].find("\",\"") + 3), Me + "\",\"" + Me + "\",\"Available\",\"In meeting\"");
    EXPECT_EQ(log[2].substr(log[2].find("\",\"") + 3), "CLERK1\",\"CLERK1\",\"Available\",\"Gone home\"");

    ASSERT_EQ(OnBoard({"comment", ""}).Code, 0);
    EXPECT_EQ(Split(CsvRows({"board"})[1]).back(), "");
    EXPECT_EQ(OnBoard({"status", "x", "--user", "NOSUCH"}).Code, 1);
}

TEST_F(BoardCommandsTest, ANonAdministratorIsRefusedAnotherUsersStatusAndTheCataloguesAndNothingChanges)
{
    AddUser("BOSS"); // the board's first user, and its administrator
    Configure(2, 1);
    ASSERT_EQ(OnBoard({"status"}).Code, 0);
    const std::vector<TStoredUser> before = StoredUsers(Board);

    const TCtlResult refused = OnBoard({"status", "Gone home", "--user", "BOSS"});
    EXPECT_EQ(refused.Code, 1);
    EXPECT_EQ(refused.Err, "kivctl: Only an administrator of the board can set the status of another user\n");
    EXPECT_EQ(OnBoard({"statuses", "add", "Working from home"}).Code, 1);
    EXPECT_EQ(OnBoard({"departments", "add", "Sales"}).Code, 1);
    const std::vector<TStoredUser> after = StoredUsers(Board);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].Bytes, before[i].Bytes) << after[i].User.LogInName;
    EXPECT_EQ(FolderNames(Board).count("KivLog.csv") + FolderNames(Board).count("KivStats.ism")
                  + FolderNames(Board).count("KivDeps.ism"),
              0u);
    EXPECT_EQ(OnBoard({"status", "--user", "boss"}).Out, "Available\n"); // reading is no administration
}

TEST_F(BoardCommandsTest, AnAdministratorAddsToTheCataloguesOfTheBoardGivenNotOfTheSettings)
{
    const std::string elsewhere = Home.Root() + "/elsewhere";
    mkdir(elsewhere.c_str(), 0700);
    SetSettingsFolder(elsewhere);
    ASSERT_EQ(OnBoard({"departments", "add", "Sales"}).Code, 0);
    const TCtlResult twice = OnBoard({"departments", "add", "Sales"});
    EXPECT_EQ(twice.Code, 1);
    EXPECT_EQ(twice.Err, "kivctl: Department \"Sales\" already exists\n");
    ASSERT_EQ(OnBoard({"departments", "add", " Support"}).Code, 0);
    EXPECT_EQ(OnBoard({"departments"}).Out, "Sales\n Support\n");
    EXPECT_TRUE(FolderNames(elsewhere).empty());

    ASSERT_EQ(OnBoard({"statuses", "add", "Working from home"}).Code, 0);
    EXPECT_EQ(OnBoard({"statuses"}).Out, "At lunch\nAvailable\nAway from desk\nDND\nGone home\nIn meeting\nOffline\n"
                                         "On holiday\nOut of office\nOff sick\nWorking from home\n");
    const TCtlResult duplicate = OnBoard({"statuses", "add", "At lunch"});
    EXPECT_EQ(duplicate.Code, 1);
    EXPECT_EQ(duplicate.Err, "kivctl: Status \"At lunch\" already exists\n");
}

// The time a status ends, set from the command line: listed beside the status
// (CSV and JSON too) while the status is the one it was given for, and as
// passed once the time has passed with no Kiv of the user's running.
TEST_F(BoardCommandsTest, StatusUntilIsListedWithItsStatusAndAsPassedWhenNoKivOfTheUserRuns)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    const std::time_t soon = now + 7200;
    localtime_r(&soon, &local);
    char at[8];
    std::strftime(at, sizeof at, "%H:%M", &local);
    ASSERT_EQ(OnBoard({"status", "In meeting", "--until", at}).Code, 0);
    const auto until = [&] {
        // The last two columns: Until, then Not running since.
        const std::string row = CsvRows({"board"}).at(0);
        const std::size_t last = row.rfind(',');
        const std::size_t before = row.rfind(',', last - 1);
        return row.substr(before + 1, last - before - 1);
    };
    // Two hours on may be tomorrow's date: the listing says the date then.
    std::tm today{};
    localtime_r(&now, &today);
    std::string shown = at;
    if (today.tm_mday != local.tm_mday) {
        char date[16];
        std::strftime(date, sizeof date, "%Y-%m-%d ", &local);
        shown = date + shown;
    }
    EXPECT_EQ(until(), shown);
    EXPECT_NE(OnBoard({"board", "--json"}).Out.find("\"until\":\"" + shown + "\""), std::string::npos);

    // Passed, with no Kiv of the user's running to end it.
    TPresenceWriter writer(Board, Me);
    writer.Claim(false, 60);
    const std::vector<TStoredUser> users = StoredUsers(Board);
    ASSERT_EQ(users.size(), 1u);
    const TUser &me = users[0].User;
    writer.SetBackAt(now - 60, {me.Status, me.Comments, me.Updated});
    EXPECT_NE(until().find(" (passed)"), std::string::npos) << until();

    ASSERT_EQ(OnBoard({"status", "DND"}).Code, 0);
    EXPECT_EQ(until(), "");
}
