// The board location's behaviours, the same for a folder and for a board
// server, and what only a server does: push a change, and tell plainly and
// in time when it cannot be reached.
#include "board/BoardLocation.h"
#include "board/ServerBoard.h"
#include "board/ServerConnection.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/ServerTesting.h"
#include "tests/storage/TestFolder.h"

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

enum class TKind { Folder, Server };

class BoardLocationTest : public ::testing::TestWithParam<TKind> {
protected:
    BoardLocationTest()
    {
        if (GetParam() == TKind::Server)
            Database = std::make_unique<TTestDatabase>();
        Location = MakeBoardLocation(Text());
    }
    std::string Text() const { return Database ? Database->Uri : Folder.Path(); }

    TTestFolder Folder;
    std::unique_ptr<TTestDatabase> Database;
    std::shared_ptr<IBoardLocation> Location;
    TFixedClock Clock;
    TLogPause NoPause = [](std::chrono::milliseconds) {};
};

// Catches: wrong defaults on a new board, reserved bytes lost on the way
// (they are carried through unchanged), and a change that puts back the
// switch another workstation wrote.
TEST_P(BoardLocationTest, SwitchesStartAsTheDefaultsKeepEveryByteAndAChangeKeepsTheOtherSwitch)
{
    TKivCfgRecord record;
    record.LoggingType = 9;
    EXPECT_EQ(Location->ReadConfig(record), TKivCfgRead::FromFile);
    EXPECT_EQ(record.LoggingType, 0);
    EXPECT_EQ(record.AllowMessages, 1);

    TKivCfgRecord written;
    written.LoggingType = 2;
    written.AllowMessages = 0;
    for (std::size_t i = 0; i < written.Reserved.size(); ++i)
        written.Reserved[i] = static_cast<uint8_t>(255 - i * 7);
    Location->WriteConfig(written);
    TKivCfgRecord read;
    MakeBoardLocation(Text())->ReadConfig(read);
    EXPECT_EQ(std::memcmp(&read, &written, sizeof read), 0);

    TKivCfgRecord changed;
    Location->ChangeConfig([](TKivCfgRecord &now) { now.AllowMessages = 1; }, changed);
    MakeBoardLocation(Text())->ReadConfig(read);
    EXPECT_EQ(read.LoggingType, 2);
    EXPECT_EQ(read.AllowMessages, 1);
    EXPECT_EQ(read.Reserved, written.Reserved);
    EXPECT_EQ(std::memcmp(&changed, &read, sizeof read), 0);
}

// Catches: lines of one log showing in the other, lines out of order, a
// missing banner or header, a byte above 127 or a quote changed on the way,
// and a log never written printing its banner.
TEST_P(BoardLocationTest, EachLogReadsBackInItsOwnFormAndOrder)
{
    std::vector<std::string> lines;
    const auto collect = [&](const std::string &line) { lines.push_back(line); };
    Location->ReadLog(TActivityLog::Text, collect);
    EXPECT_TRUE(lines.empty());

    Location->AppendLog(TActivityLog::Text, {"Ann", "ANN", "In", "Out"}, Clock, NoPause);
    Location->AppendLog(TActivityLog::Csv, {"Ren\xe9 \"R\"", "RENE", "Out", "Lunch"}, Clock, NoPause);
    Location->AppendLog(TActivityLog::Text, {"Bob", "BOB", "Out", "In"}, Clock, NoPause);

    Location->ReadLog(TActivityLog::Text, collect);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], std::string(60, '*'));
    EXPECT_EQ(lines[1].substr(0, 30), "*** Kiv Log File by Brackwater");
    EXPECT_NE(lines[6].find(" Ann (ANN) status changed from \"In\" to \"Out\""), std::string::npos) << lines[6];
    EXPECT_NE(lines[7].find(" Bob (BOB) status changed from \"Out\" to \"In\""), std::string::npos) << lines[7];

    lines.clear();
    Location->ReadLog(TActivityLog::Csv, collect);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\"Date/Time\",\"Name\",\"LogInName\",\"From Status\",\"To Status\"");
    EXPECT_NE(lines[1].find(",\"Ren\xe9 \"\"R\"\"\",\"RENE\",\"Out\",\"Lunch\""), std::string::npos) << lines[1];
}

// Catches: a marker that cannot be cleared, a second "on" or "off" that
// fails, and a watcher that does not see the marker set by another location
// object (another workstation).
TEST_P(BoardLocationTest, TheShutdownMarkerIsSetAndClearedAndTheWatcherSeesIt)
{
    const std::unique_ptr<IChangeWatcher> watcher = Location->MakeWatcher();
    EXPECT_FALSE(Location->ShuttingDown());
    for (int round = 0; round < 2; ++round) {
        MakeBoardLocation(Text())->SetShuttingDown(true);
        EXPECT_TRUE(Location->ShuttingDown());
        EXPECT_TRUE(watcher->Look(BoardChange::Shutdown).Has(BoardChange::Shutdown));
    }
    for (int round = 0; round < 2; ++round) {
        MakeBoardLocation(Text())->SetShuttingDown(false);
        EXPECT_FALSE(Location->ShuttingDown());
        EXPECT_FALSE(watcher->Look(BoardChange::Shutdown).Has(BoardChange::Shutdown));
    }
}

// Catches: a change answered twice or not at all, a settled state answered
// as a change, and Forget not making the next look answer again.
TEST_P(BoardLocationTest, TheWatcherAnswersASwitchChangeOnceAndAgainAfterForget)
{
    TKivCfgRecord record;
    // A folder's first read makes its Kiv.cfg, which writes then go over.
    Location->ReadConfig(record);
    const std::unique_ptr<IChangeWatcher> watcher = Location->MakeWatcher();
    watcher->Settle(BoardChange::Config);
    EXPECT_FALSE(watcher->Look(BoardChange::Config).Has(BoardChange::Config));
    record.AllowMessages = 0;
    // A file's age moves on by the clock; a counter at every write.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    MakeBoardLocation(Text())->WriteConfig(record);
    EXPECT_TRUE(watcher->Look(BoardChange::Config).Has(BoardChange::Config));
    EXPECT_FALSE(watcher->Look(BoardChange::Config).Has(BoardChange::Config));
    watcher->Forget(BoardChange::Config);
    EXPECT_TRUE(watcher->Look(BoardChange::Config).Has(BoardChange::Config));
}

INSTANTIATE_TEST_SUITE_P(Kinds, BoardLocationTest, ::testing::Values(TKind::Folder, TKind::Server),
                         [](const auto &info) { return info.param == TKind::Folder ? "Folder" : "Server"; });

// Catches: a server dataset's name joined as a folder's file would be (the
// engine would get a path inside the URI's query).
TEST(BoardDatasetPathTest, AFolderJoinsAFileAndAServerAppendsTheNameAfterAHash)
{
    const struct {
        const char *Location;
        const char *Path;
    } cases[] = {
        {"/srv/kiv", "/srv/kiv/KivDeps"},
        {"/srv/kiv/", "/srv/kiv/KivDeps"},
        {"postgresql:///kiv?host=/run/pg", "postgresql:///kiv?host=/run/pg#KivDeps"},
        {"postgres://db.example/kiv", "postgres://db.example/kiv#KivDeps"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BoardDatasetPath(c.Location, "KivDeps"), c.Path) << c.Location;
}

// Catches: no LISTEN, no NOTIFY in the writing transaction, or a socket the
// front end cannot wait on: the change of another process would then wait
// for the next timer tick.
TEST(ServerWatcherTest, AChangeByAnotherProcessWakesTheWatcherWithinASecond)
{
    TTestDatabase database;
    const std::unique_ptr<IChangeWatcher> watcher = MakeBoardLocation(database.Uri)->MakeWatcher();
    watcher->Settle(BoardChange::Config | BoardChange::Users);
    const int socket = watcher->PushSocket();
    ASSERT_GE(socket, 0);
    EXPECT_FALSE(watcher->TakePushed());

    const pid_t child = fork();
    if (child == 0) {
        TKivCfgRecord record;
        record.LoggingType = 1;
        MakeBoardLocation(database.Uri)->WriteConfig(record);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    pollfd readable{socket, POLLIN, 0};
    ASSERT_EQ(poll(&readable, 1, 1000), 1);
    EXPECT_TRUE(watcher->TakePushed());
    const TBoardChanges changes = watcher->Look(BoardChange::Config | BoardChange::Users);
    EXPECT_EQ(changes.Changed, BoardChange::Config);
}

// Catches: one timer's look swallowing the news meant for the other timer,
// which would then wait for its next tick.
TEST(ServerWatcherTest, NewsALookDoesNotAskAboutIsKeptForTheLookThatDoes)
{
    TTestDatabase database;
    const std::unique_ptr<IChangeWatcher> watcher = MakeBoardLocation(database.Uri)->MakeWatcher();
    watcher->Settle(BoardChange::Config | BoardChange::Users);
    MakeBoardLocation(database.Uri)->WriteConfig(TKivCfgRecord());
    pollfd readable{watcher->PushSocket(), POLLIN, 0};
    ASSERT_EQ(poll(&readable, 1, 1000), 1);
    EXPECT_EQ(watcher->Look(BoardChange::Users).Changed, 0u);
    EXPECT_TRUE(watcher->TakePushed());
    EXPECT_EQ(watcher->Look(BoardChange::Config).Changed, BoardChange::Config);
}

// Catches: a lost connection that is never made again (Kiv would have to be
// restarted), and a look after it that answers nothing changed, so the
// front end would keep saying the server is unreachable.
TEST(ServerWatcherTest, ALostConnectionIsToldThenMadeAgainAndEverythingAnsweredAfresh)
{
    TTestDatabase database;
    const std::unique_ptr<IChangeWatcher> watcher = MakeBoardLocation(database.Uri)->MakeWatcher();
    watcher->Settle(BoardChange::Users | BoardChange::Messages);
    database.DropSessions();
    const TBoardChanges lost = watcher->Look(BoardChange::Users | BoardChange::Messages);
    EXPECT_TRUE(lost.Unreachable);
    EXPECT_EQ(lost.Fault.rfind(kServerUnreachable, 0), 0u) << lost.Fault;
    const TBoardChanges back = watcher->Look(BoardChange::Users | BoardChange::Messages);
    EXPECT_FALSE(back.Unreachable) << back.Fault;
    EXPECT_EQ(back.Changed, BoardChange::Users | BoardChange::Messages);
    EXPECT_GE(watcher->PushSocket(), 0);
}

// A Unix socket that takes connections and never answers: a server that hangs.
class TSilentServer {
public:
    TSilentServer()
    {
        FSocket = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = FFolder.Path() + "/.s.PGSQL.5432";
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        if (bind(FSocket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(FSocket, 4) != 0)
            throw std::runtime_error("cannot listen on " + path);
    }
    ~TSilentServer() { close(FSocket); }
    std::string Uri() const { return "postgresql:///kiv?host=" + FFolder.Path(); }

private:
    TTestFolder FFolder;
    int FSocket = -1;
};

// Catches: a wait without bound on a server that does not answer (the
// window would freeze), a wait at every look while it stays so, and
// messages that do not say what failed.
TEST(ServerFaultTest, EachFaultIsToldInPlainWordsWithinTheTimeOut)
{
    TTestDatabase noBoard(false);
    TTestDatabase newer;
    newer.Sql("UPDATE kiv.meta SET value = '2' WHERE key = 'schema_version'");
    const TSilentServer silent;
    const struct {
        const char *Fault;
        std::string Uri;
        const char *Message;
    } cases[] = {
        {"no server at the socket", "postgresql:///kiv?host=/nonexistent/kiv-socket", kServerUnreachable},
        {"a server that never answers", silent.Uri(), kServerUnreachable},
        {"a database that does not exist", TTestDatabase::OtherDatabase("kiv_no_such_database"),
         "The board server refused the connection"},
        {"a database without the board", noBoard.Uri, "The database holds no Kiv board"},
        {"a board of a newer Kiv", newer.Uri, "The board on the server was made by a newer Kiv (schema version 2)"},
    };
    for (const auto &c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const std::unique_ptr<IChangeWatcher> watcher = MakeBoardLocation(c.Uri)->MakeWatcher();
        const TBoardChanges changes = watcher->Look(BoardChange::Users);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(changes.Unreachable) << c.Fault;
        EXPECT_EQ(changes.Fault.rfind(c.Message, 0), 0u) << c.Fault << ": " << changes.Fault;
        EXPECT_LT(took, ServerTimeout::Connect + std::chrono::seconds(2)) << c.Fault;
        // The next look does not wait for the same server again at once.
        const auto again = std::chrono::steady_clock::now();
        EXPECT_EQ(watcher->Look(BoardChange::Users).Fault, changes.Fault) << c.Fault;
        EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::seconds(1)) << c.Fault;
        TKivCfgRecord record;
        try {
            MakeBoardLocation(c.Uri)->ReadConfig(record);
            ADD_FAILURE() << c.Fault << ": the switches were read";
        } catch (const EKivError &error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.Message, 0), 0u) << c.Fault << ": " << error.what();
        }
    }
}

} // namespace
