// kivctl's commands for what a board holds besides its datasets, on a folder
// and on the tests' PostgreSQL cluster: log, shutdown, server init.
#include "board/BoardLocation.h"
#include "board/KivText.h"
#include "board/UserRecord.h"
#include "platform/Files.h"
#include "tests/board/ServerTesting.h"
#include "tests/ctl/CtlTesting.h"

#include <unistd.h>

namespace {

class ServerCommandsTest : public TCtlTest {
protected:
    /// The lines of text, each ended by a line feed.
    static std::vector<std::string> Lines(const std::string &text)
    {
        std::vector<std::string> lines;
        std::stringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    TFixedClock Clock;
    TLogPause NoPause = [](std::chrono::milliseconds) {};
};

// Catches: a fault told in the library's words or not at all, the wrong exit
// status, and a board of a newer Kiv changed by an older one.
TEST_F(ServerCommandsTest, ServerInitTellsEachFaultPlainlyAndLeavesANewerBoardAlone)
{
    TTestDatabase newer;
    newer.Sql("UPDATE kiv.meta SET value = '2' WHERE key = 'schema_version'");
    const struct {
        const char *Fault;
        std::string Uri;
        int Code;
        const char *Message;
    } cases[] = {
        {"a folder", Board, 2, "server: a board server is named by a URI that starts with postgresql://"},
        {"no server", "postgresql:///kiv?host=/nonexistent/kiv-socket", 1, "Board server unreachable - "},
        {"no such database", TTestDatabase::OtherDatabase("kiv_no_such_database"), 1,
         "The board server refused the connection - "},
        {"a newer board", newer.Uri, 1, "The board on the server was made by a newer Kiv (schema version 2)"},
    };
    for (const auto &c : cases) {
        const TCtlResult result = Run({"server", "init", c.Uri});
        EXPECT_EQ(result.Code, c.Code) << c.Fault << ": " << result.Err;
        EXPECT_NE(result.Err.find(c.Message), std::string::npos) << c.Fault << ": " << result.Err;
    }
    EXPECT_EQ(newer.Sql("SELECT value FROM kiv.meta WHERE key = 'schema_version'").Text(0, 0), "2");
}

// Catches: a second init that fails or wipes what the board holds, and an
// init that leaves a schema the board cannot be opened on.
TEST_F(ServerCommandsTest, ServerInitMakesABoardAndChangesNothingWhenRunAgain)
{
    TTestDatabase database(false);
    TCtlResult result = Run({"server", "init", database.Uri});
    ASSERT_EQ(result.Code, 0) << result.Err;
    EXPECT_NE(result.Out.find("its board schema was made"), std::string::npos) << result.Out;
    TKivCfgRecord record;
    record.LoggingType = 2;
    MakeBoardLocation(database.Uri)->WriteConfig(record);

    result = Run({"server", "init", database.Uri});
    ASSERT_EQ(result.Code, 0) << result.Err;
    EXPECT_NE(result.Out.find("already held a board"), std::string::npos) << result.Out;
    TKivCfgRecord read;
    MakeBoardLocation(database.Uri)->ReadConfig(read);
    EXPECT_EQ(read.LoggingType, 2);
}

// Catches: a log printed from the wrong place or in the wrong form, on either
// kind of board, and a link in a log's place being followed.
TEST_F(ServerCommandsTest, LogPrintsEachLogOfAFolderOrAServerAndRefusesALink)
{
    TTestDatabase database;
    for (const std::string &location : {Board, database.Uri}) {
        const std::shared_ptr<IBoardLocation> board = MakeBoardLocation(location);
        board->AppendLog(TActivityLog::Text, {"Ann", "ANN", "In", "Out"}, Clock, NoPause);
        board->AppendLog(TActivityLog::Csv, {"Bob", "BOB", "Out", "In"}, Clock, NoPause);

        TCtlResult result = Run({"--board", location, "log"});
        ASSERT_EQ(result.Code, 0) << location << ": " << result.Err;
        std::vector<std::string> lines = Lines(result.Out);
        ASSERT_EQ(lines.size(), 7u) << location << ": " << result.Out;
        EXPECT_EQ(lines[0], std::string(60, '*'));
        EXPECT_NE(lines[6].find(" Ann (ANN) status changed from \"In\" to \"Out\""), std::string::npos) << lines[6];

        result = Run({"--board", location, "log", "--csv"});
        ASSERT_EQ(result.Code, 0) << location << ": " << result.Err;
        lines = Lines(result.Out);
        ASSERT_EQ(lines.size(), 2u) << location << ": " << result.Out;
        EXPECT_EQ(lines[0], "\"Date/Time\",\"Name\",\"LogInName\",\"From Status\",\"To Status\"");
        EXPECT_NE(lines[1].find(",\"Bob\",\"BOB\",\"Out\",\"In\""), std::string::npos) << lines[1];
    }

    const std::string secret = Home.Root() + "/secret";
    TTempHome::WriteAll(secret, "private\n");
    unlink((Board + "/KivLog.txt").c_str());
    ASSERT_EQ(symlink(secret.c_str(), (Board + "/KivLog.txt").c_str()), 0);
    const TCtlResult linked = OnBoard({"log"});
    EXPECT_EQ(linked.Code, 1);
    EXPECT_EQ(linked.Out, "");
    EXPECT_NE(linked.Err.find("Unable to read the log"), std::string::npos) << linked.Err;
}

// Catches: an ordinary user able to shut the board down, and a marker that
// "off" does not clear.
TEST_F(ServerCommandsTest, ShutdownIsForAdministratorsAndSetsAndClearsTheMarker)
{
    const std::string marker = Board + "/KivDB31.smd";
    AddUser("FIRST");
    TCtlResult result = OnBoard({"shutdown", "on"});
    EXPECT_EQ(result.Code, 1);
    EXPECT_NE(result.Err.find("Only an administrator of the board can set the shutdown marker"), std::string::npos)
        << result.Err;
    EXPECT_FALSE(FileExists(marker));

    AddUser(Me, [](char *record) { PutInt16(record, UserRecord::Administrator, 1); });
    for (const char *state : {"on", "on", "off", "off"}) {
        result = OnBoard({"shutdown", state});
        EXPECT_EQ(result.Code, 0) << state << ": " << result.Err;
        EXPECT_EQ(FileExists(marker), std::string(state) == "on") << state;
    }
}

} // namespace
