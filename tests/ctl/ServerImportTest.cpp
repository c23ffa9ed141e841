// kivctl server import: a folder board made by the data classes, copied to a
// board server and read back through kivctl, and every refusal leaving the
// server as it was.
#include "board/BoardLocation.h"
#include "tests/board/ServerTesting.h"
#include "tests/ctl/CtlTesting.h"

#include <unistd.h>

namespace {

class ServerImportTest : public TCtlTest {
protected:
    /// The rows of the server's board: records of every dataset and log lines.
    static long ServerRows(TTestDatabase &database)
    {
        long rows = std::stol(database.Sql("SELECT count(*) FROM kiv.activity_log").Text(0, 0));
        const TServerRows names = database.Sql("SELECT name FROM kiv.datasets");
        for (int i = 0; i < names.Count(); ++i)
            rows += std::stol(database.Sql("SELECT count(*) FROM kiv.\"ds_" + names.Text(i, 0) + "\"").Text(0, 0));
        return rows;
    }
    TFixedClock Clock;
    TLogPause NoPause = [](std::chrono::milliseconds) {};
};

// Catches: a dataset, a record, a key, a switch or a log line left behind or
// changed on the way (names holding parentheses and quotes, as a log line is
// read back, and lines beyond one batch), counts that do not tell what was
// copied, and a second import that adds to the board instead of refusing.
TEST_F(ServerImportTest, AFolderBoardReadsTheSameOnTheServerAndASecondImportIsRefused)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0); // the first user: an administrator
    AddUser("ANNA");
    AddUser("BOB");
    ASSERT_EQ(OnBoard({"statuses", "add", "Visiting a client"}).Code, 0);
    ASSERT_EQ(OnBoard({"departments", "add", "Sales"}).Code, 0);
    ASSERT_EQ(OnBoard({"status", "Visiting a client"}).Code, 0);
    const std::string me = UpperCaseLogin(Me);
    ASSERT_EQ(OnBoard({"send", me, "Hello", "first"}).Code, 0);
    ASSERT_EQ(OnBoard({"send", me, "Again", "second"}).Code, 0);
    ASSERT_EQ(OnBoard({"send", "ANNA", "To Anna", "third"}).Code, 0);
    ASSERT_EQ(OnBoard({"delete", "0000000001"}).Code, 0); // keys with a gap
    Configure(2, 1);
    const std::shared_ptr<IBoardLocation> folder = MakeBoardLocation(Board);
    folder->AppendLog(TActivityLog::Text, {"Ann (Annie) \"Q\"", "ANNA", "In", "Out \"soon\""}, Clock, NoPause);
    folder->AppendLog(TActivityLog::Text, {"Bob", "BOB", "Out", "In"}, Clock, NoPause);
    folder->AppendLog(TActivityLog::Csv, {"Ann, \"A\"", "ANNA", "In", "Out"}, Clock, NoPause);
    // More lines than one statement sends: the order holds across them.
    for (int i = 0; i < 600; ++i)
        folder->AppendLog(TActivityLog::Csv, {"U" + std::to_string(i), "BOB", "In", "Out"}, Clock, NoPause);

    const std::vector<std::vector<std::string>> readings{
        {"board", "--csv", "--offline"}, {"statuses"}, {"departments"}, {"inbox", "--csv"}, {"log"}, {"log", "--csv"}};
    std::vector<std::string> before;
    for (const auto &reading : readings)
        before.push_back(OnBoard(reading).Out);
    ASSERT_NE(before[4].find("Ann (Annie) \"Q\" (ANNA) status changed from \"In\" to \"Out \"soon\"\""),
              std::string::npos)
        << before[4];

    TTestDatabase database;
    const TCtlResult imported = Run({"server", "import", Board, database.Uri});
    ASSERT_EQ(imported.Code, 0) << imported.Err;
    for (const char *told : {"KivDB31: 3 records", "KivStats: ", "KivDeps: 1 record", "KivMesg: 2 records",
                             "Kiv.cfg: copied", "KivLog.txt: 2 lines", "KivLog.csv: 601 lines"})
        EXPECT_NE(imported.Out.find(told), std::string::npos) << told << " in " << imported.Out;

    for (std::size_t i = 0; i < readings.size(); ++i) {
        std::vector<std::string> args = readings[i];
        args.insert(args.begin(), {"--board", database.Uri});
        const TCtlResult read = Run(args);
        EXPECT_EQ(read.Code, 0) << readings[i][0] << ": " << read.Err;
        EXPECT_EQ(read.Out, before[i]) << readings[i][0];
    }
    TKivCfgRecord switches;
    MakeBoardLocation(database.Uri)->ReadConfig(switches);
    EXPECT_EQ(switches.LoggingType, 2);

    const long rows = ServerRows(database);
    const TCtlResult again = Run({"server", "import", Board, database.Uri});
    EXPECT_EQ(again.Code, 1);
    EXPECT_NE(again.Err.find("is not empty"), std::string::npos) << again.Err;
    EXPECT_EQ(ServerRows(database), rows);
}

// Catches: an import that writes a part before finding what stops it, a
// fault told in the engine's or libpq's words only, a schema made behind the
// administrator's back, and a link in a log's place being followed.
TEST_F(ServerImportTest, EachRefusalIsToldAndLeavesTheServerEmpty)
{
    AddUser("ANNA");
    const std::string empty = Home.Root() + "/empty";
    mkdir(empty.c_str(), 0700);
    const std::string linked = Home.Root() + "/linked";
    mkdir(linked.c_str(), 0700);
    {
        TFakeBoard fakes;
        TKivFile(linked, fakes.Ctx, "ANNA").SignIn();
    }
    const std::string secret = Home.Root() + "/secret";
    TTempHome::WriteAll(secret, "private\n");
    ASSERT_EQ(symlink(secret.c_str(), (linked + "/KivLog.csv").c_str()), 0);
    TTestDatabase used;
    MakeBoardLocation(used.Uri)->AppendLog(TActivityLog::Text, {"Ann", "ANNA", "In", "Out"}, Clock, NoPause);

    TTestDatabase bare(false);
    const struct {
        const char *Fault;
        std::string Folder;
        TTestDatabase *Server;
        const char *Told;
    } cases[] = {
        {"a missing folder", Home.Root() + "/missing", nullptr, "Unable to access the Kiv database location"},
        {"a folder without a board", empty, nullptr, "holds no Kiv board"},
        {"a log that is a link", linked, nullptr, "Unable to read the log"},
        {"a server without a schema", Board, &bare, "kivctl server init"},
        {"a server board with log lines", Board, &used, "the activity log already hold data"},
    };
    for (const auto &c : cases) {
        TTestDatabase fresh;
        TTestDatabase &server = c.Server ? *c.Server : fresh;
        const long rows = c.Server == &bare ? 0 : ServerRows(server);
        const TCtlResult result = Run({"server", "import", c.Folder, server.Uri});
        EXPECT_EQ(result.Code, 1) << c.Fault;
        EXPECT_NE(result.Err.find(c.Told), std::string::npos) << c.Fault << ": " << result.Err;
        if (c.Server == &bare)
            EXPECT_EQ(bare.Sql("SELECT to_regclass('kiv.meta') IS NULL").Text(0, 0), "t") << c.Fault;
        else
            EXPECT_EQ(ServerRows(server), rows) << c.Fault;
    }
}

} // namespace

namespace {

// Catches: a failure midway that leaves a half board silently, or one that a
// second import then adds to.
TEST_F(ServerImportTest, AnImportStoppedMidwaySaysWhatWasCopiedAndIsRefusedNextTime)
{
    AddUser("ANNA");
    ASSERT_EQ(OnBoard({"send", "ANNA", "Hello", "text"}).Code, 0);
    TTempHome::WriteAll(Board + "/KivMesg.ism", "not a definition");
    TTestDatabase database;
    const TCtlResult stopped = Run({"server", "import", Board, database.Uri});
    EXPECT_EQ(stopped.Code, 1);
    EXPECT_NE(stopped.Out.find("KivDB31: 2 records"), std::string::npos) << stopped.Out;
    EXPECT_NE(stopped.Err.find("The import stopped in KivMesg"), std::string::npos) << stopped.Err;
    EXPECT_NE(stopped.Err.find("stays on the server"), std::string::npos) << stopped.Err;
    const TCtlResult again = Run({"server", "import", Board, database.Uri});
    EXPECT_EQ(again.Code, 1);
    EXPECT_NE(again.Err.find("is not empty"), std::string::npos) << again.Err;
}

} // namespace
