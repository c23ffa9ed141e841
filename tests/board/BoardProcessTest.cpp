// Several workstations on one board folder, played by child processes: signing
// in together on a new board, and folders the user may read but not write.
#include "board/KivFile.h"
#include "board/UserRecord.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <set>

namespace {

// The names in folder, so a test can tell that nothing was left behind.
std::set<std::string> Names(const std::string &folder)
{
    std::set<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

// Signs login in on folder and answers 0, or 1 when the raised text is not
// one of expected (any text when expected is empty), 2 when nothing was raised
// but something was expected.
int SignInAs(const std::string &folder, const std::string &login, const std::set<std::string> &expected = {})
{
    TFakeBoard board;
    try {
        TKivFile kiv(folder, board.Ctx, login);
        kiv.SignIn();
    } catch (const EKivError &error) {
        if (expected.count(error.what()) != 0)
            return 0;
        std::fprintf(stderr, "%s: unexpected \"%s\"\n", login.c_str(), error.what());
        return 1;
    }
    return expected.empty() ? 0 : 2;
}

class BoardProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The children inherit the loaded engine, whatever user they become.
        ASSERT_TRUE(Engine.EngineLoaded());
        chmod(Folder.Path().c_str(), 0755);
    }

    TIsamFile Engine;
    TTestFolder Folder;
};

} // namespace

TEST_F(BoardProcessTest, EightLoginsSigningInAtOnceOnANewBoardGetEightRecordsAndOneAdministrator)
{
    constexpr int kWorkstations = 8;
    const std::vector<int> codes = RunTogether(kWorkstations, [&](int n) {
        TFakeBoard board;
        TKivFile kiv(Folder.Path(), board.Ctx, "user" + std::to_string(n));
        try {
            kiv.SignIn();
        } catch (const EKivError &error) {
            std::fprintf(stderr, "user%d: %s (%d)\n", n, error.what(), kiv.LastEngineCode());
            return 1;
        }
        return board.Session.Administrator ? 10 : 0;
    });
    ASSERT_EQ(codes.size(), std::size_t(kWorkstations));
    int administrators = 0;
    for (int code : codes) {
        EXPECT_TRUE(code == 0 || code == 10) << code;
        administrators += code == 10;
    }
    EXPECT_EQ(administrators, 1);

    const auto users = StoredUsers(Folder.Path());
    ASSERT_EQ(users.size(), std::size_t(kWorkstations));
    std::set<std::string> logins;
    int stored = 0;
    for (const auto &user : users) {
        logins.insert(user.User.LogInName);
        stored += user.User.Administrator;
    }
    EXPECT_EQ(logins.size(), std::size_t(kWorkstations));
    EXPECT_EQ(stored, 1);
}

// A workstation killed between creating the users dataset and adding its
// first user left a board that would never get an administrator.
TEST_F(BoardProcessTest, AfterACreatorKilledBeforeItsFirstUserTheNextLoginIsTheAdministrator)
{
    const int killed = RunInChild([&] {
        TIsamFile isam;
        if (!isam.CreateDataset(Folder / UserRecord::DatasetName, UserRecord::KeyLength, UserRecord::Format))
            return 1;
        raise(SIGKILL);
        return 2;
    });
    ASSERT_EQ(killed, -1);
    ASSERT_TRUE(PathExists(Folder / "KivDB31.ism"));
    EXPECT_EQ(RunInChild([&] {
                  TFakeBoard board;
                  TKivFile(Folder.Path(), board.Ctx, "first").SignIn();
                  return board.Session.Administrator ? 0 : 1;
              }),
              0);
    EXPECT_EQ(SignInAs(Folder.Path(), "second"), 0);
    const auto users = StoredUsers(Folder.Path());
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].User.LogInName + ":" + std::to_string(users[0].User.Administrator), "FIRST:1");
    EXPECT_EQ(users[1].User.LogInName + ":" + std::to_string(users[1].User.Administrator), "SECOND:0");
}

TEST_F(BoardProcessTest, ANewBoardInAReadOnlyFolderIsNotCreatedAndLeavesNothingBehind)
{
    const std::string board = NewReadOnlyBoard(Folder.Path());
    ASSERT_FALSE(board.empty());

    const int code = RunInChild(
        [&] {
            TFakeBoard fakes;
            TKivFile kiv(board, fakes.Ctx, "jsmith");
            const std::string text = RaisedText([&] { kiv.SignIn(); });
            return text.rfind("Unable to create KivDBase!\r\r", 0) == 0 && !fakes.Session.Administrator ? 0 : 1;
        },
        true);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Names(board), std::set<std::string>{"Kiv.cfg"});
}

TEST_F(BoardProcessTest, ANewLoginOnAReadOnlyBoardIsNotAddedAndTheBoardIsUnchanged)
{
    const std::string board = Folder / "board";
    ASSERT_EQ(mkdir(board.c_str(), 0755), 0);
    ASSERT_EQ(SignInAs(board, "owner"), 0);
    const auto before = StoredUsers(board);
    const auto names = Names(board);
    for (const std::string &name : names)
        chmod((board + "/" + name).c_str(), name == "Kiv.cfg" ? 0666 : 0444);
    chmod(board.c_str(), 0555);

    const int code = RunInChild(
        [&] { return SignInAs(board, "newcomer", {"Unable to Add user to Kiv Database\r\rDisk read / write error"}); },
        true);
    EXPECT_EQ(code, 0);
    const auto after = StoredUsers(board);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0].Bytes, before[0].Bytes);
    EXPECT_EQ(Names(board), names);
}

TEST_F(BoardProcessTest, AKnownLoginSignsInOnAReadOnlyBoard)
{
    // Signing in a known login writes nothing, so a board the user may only
    // read still lets them in.
    const std::string board = Folder / "board";
    ASSERT_EQ(mkdir(board.c_str(), 0755), 0);
    ASSERT_EQ(SignInAs(board, "owner"), 0);
    for (const std::string &name : Names(board))
        chmod((board + "/" + name).c_str(), name == "Kiv.cfg" ? 0666 : 0444);
    chmod(board.c_str(), 0555);
    EXPECT_EQ(RunInChild([&] { return SignInAs(board, "owner"); }, true), 0);
}
