// The board as a front end composes it: the data classes over the owner's
// seams for one login, and the alert file read at the start and written at
// the end; one that could not be read is set aside, never overwritten.
#include "board/KivBoard.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

namespace {

class KivBoardTest : public ::testing::Test {
protected:
    KivBoardTest() { mkdir(Folder.c_str(), 0700); }

    std::unique_ptr<TKivBoard> Open(const std::string &login = "jsmith")
    {
        return std::make_unique<TKivBoard>(
            Folder, Fakes.Ctx, [this] { return Folder; }, TKivBoardOptions{login, {}});
    }

    TTempHome Home;
    const std::string Folder = Home.Root() + "/board";
    TFakeBoard Fakes;
};

} // namespace

TEST_F(KivBoardTest, ComposesTheDataClassesForItsLoginAndEndsTheSignedInUserWithIt)
{
    std::unique_ptr<TKivBoard> board = Open();
    // The users object reads Kiv.cfg as it is made; the signed-in user starts
    // as the login's new record would, upper-cased.
    EXPECT_TRUE(TTempHome::Exists(Folder + "/Kiv.cfg"));
    EXPECT_EQ(Fakes.Session.User.LogInName, "JSMITH");
    EXPECT_EQ(Fakes.Session.User.Status, "Available");
    EXPECT_EQ(board->Departments().DatasetPath(), Folder + "/KivDeps");
    EXPECT_EQ(board->Messages().DatasetPath(), Folder + "/KivMesg");

    board->KivFile().SignIn();
    EXPECT_TRUE(Fakes.Session.Administrator);
    ASSERT_EQ(StoredUsers(Folder).size(), 1u);
    board.reset();
    EXPECT_EQ(Fakes.Session.User.LogInName, "");
    EXPECT_FALSE(Fakes.Session.Administrator);
}

TEST_F(KivBoardTest, AnAlertFileThatCannotBeReadIsSetAsideAndTheNewListSavedInItsPlace)
{
    std::unique_ptr<TKivBoard> board = Open();
    const std::string file = board->AlertFile();
    ASSERT_EQ(file, Home.Home() + "/.local/share/Kiv/JSMITH.Kiv");

    // The first start on this workstation has no file; the end writes one.
    EXPECT_EQ(board->LoadAlertList(), "");
    board->Alerts().AddToAlertList("BOSS", "The Boss", "In meeting");
    EXPECT_TRUE(board->SaveAlertList());
    EXPECT_EQ(TTempHome::ReadAll(file), "BOSS\r\nThe Boss\r\nIn meeting\r\n");
    EXPECT_EQ(board->LoadAlertList(), "");
    EXPECT_EQ(board->Alerts().Count(), 1u);

    // Far too large to be an alert list: kept whole under a name that says
    // so (a number added once that name is taken), and replaced at the end.
    const std::string huge(5 * 1024 * 1024, 'x');
    for (const std::string &aside : {file + ".unreadable", file + ".unreadable-1"}) {
        TTempHome::WriteAll(file, huge);
        const std::string why = board->LoadAlertList();
        EXPECT_NE(why.find("too large"), std::string::npos) << why;
        EXPECT_NE(why.find("kept as " + aside + "."), std::string::npos) << why;
        EXPECT_EQ(board->Alerts().Count(), 0u);
        EXPECT_EQ(TTempHome::ReadAll(aside).size(), huge.size());
        board->Alerts().AddToAlertList("ANNA", "Anna", "Available");
        EXPECT_TRUE(board->SaveAlertList());
        EXPECT_EQ(TTempHome::ReadAll(file), "ANNA\r\nAnna\r\nAvailable\r\n");
    }

    // Where it cannot be set aside, the file is never replaced.
    for (int n = 2; n <= 100; ++n)
        TTempHome::WriteAll(file + ".unreadable-" + std::to_string(n), "");
    TTempHome::WriteAll(file, huge);
    const std::string why = board->LoadAlertList();
    EXPECT_NE(why.find("kept as it is"), std::string::npos) << why;
    board->Alerts().AddToAlertList("ANNA", "Anna", "Available");
    EXPECT_FALSE(board->SaveAlertList());
    EXPECT_EQ(TTempHome::ReadAll(file).size(), huge.size());
}
