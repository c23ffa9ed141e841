// TKivFile against the real engine: signing in on new and existing boards, the
// operations on single user records, their messages, and the missing engine.
#include "board/KivFile.h"
#include "board/EngineCheck.h"
#include "board/KivAlert.h"
#include "board/KivMessage.h"
#include "board/KivText.h"
#include "board/UserRecord.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/FakeEngine.h"
#include "tests/storage/TestFolder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

class KivFileTest : public ::testing::Test {
protected:
    /// A TKivFile of workstation board for login, on folder (the test's own by default).
    std::unique_ptr<TKivFile> Board(const std::string &login, TFakeBoard &board, const std::string &folder = "")
    {
        return std::make_unique<TKivFile>(folder.empty() ? Folder.Path() : folder, board.Ctx, login);
    }

    /// Signs login in on the test's folder from a workstation of its own.
    void SignInElsewhere(const std::string &login)
    {
        TFakeBoard other;
        Board(login, other)->SignIn();
    }

    std::vector<TStoredUser> Users() const { return StoredUsers(Folder.Path()); }

    /// Erases the record of the board's only user, the right taken first.
    void DeleteOnlyUser(TKivFile &kiv) const
    {
        ASSERT_TRUE(ChangeStoredUser(Folder.Path(), kiv.LoginUser.LogInName,
                                     [](char *record) { PutInt16(record, UserRecord::Administrator, 0); }));
        kiv.DeleteUser(1);
    }

    TTestFolder Folder;
    TFakeBoard Mine;
};

} // namespace

TEST_F(KivFileTest, TheFirstLoginOnAnEmptyFolderIsItsAdministrator)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    EXPECT_TRUE(Mine.Session.Administrator);
    EXPECT_TRUE(PathExists(Folder / "KivDB31.ism"));
    const auto users = Users();
    ASSERT_EQ(users.size(), 1u);
    const TUser &user = users[0].User;
    EXPECT_EQ(users[0].Key, "0000000001");
    EXPECT_EQ(user.Administrator, 1);
    EXPECT_EQ(user.Name, "JSMITH");
    EXPECT_EQ(user.LogInName, "JSMITH");
    EXPECT_EQ(user.Status, "Available");
    EXPECT_EQ(user.Updated, NowText(Mine.Clock));
    EXPECT_EQ(user.Ext, "");
    EXPECT_EQ(user.Department, "");
    EXPECT_EQ(user.Comments, "");
    EXPECT_FALSE(kiv->DatasetOpen());
    EXPECT_FALSE(Mine.Host.SkipSignOff);
}

TEST_F(KivFileTest, ASecondLoginIsAnOrdinaryUser)
{
    SignInElsewhere("first");
    auto kiv = Board("second", Mine);
    kiv->SignIn();
    EXPECT_FALSE(Mine.Session.Administrator);
    const auto users = Users();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[1].User.LogInName, "SECOND");
    EXPECT_EQ(users[1].User.Administrator, 0);
    EXPECT_EQ(users[1].Key, "0000000002");
}

TEST_F(KivFileTest, AKnownLoginIsNotAddedAgainAndKeepsItsDetails)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    Mine.Session.User = Users()[0].User;
    Mine.Session.User.Status = "At lunch";
    Mine.Session.User.Comments = "back at two";
    kiv->UpdateUser();
    const auto before = Users();

    TFakeBoard later;
    Board("JSMITH", later)->SignIn();
    const auto after = Users();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].Bytes, before[0].Bytes);
    EXPECT_EQ(after[0].User.Status, "At lunch");
    EXPECT_FALSE(later.Session.Administrator);
}

TEST_F(KivFileTest, OnlyTheLettersAToZOfALoginAreUpperCased)
{
    Board("jsmith", Mine)->SignIn();
    SignInElsewhere("j\xC3\xb6rg_o'neil-2");
    const auto users = Users();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].User.LogInName, "JSMITH");
    EXPECT_EQ(users[1].User.LogInName, "J\xC3\xb6RG_O'NEIL-2");
}

// Every workstation must derive the same stored form, so it is pinned here.
TEST(LoginKey, ALongLoginIsItsStartATildeAndTheHashOfTheWholeLogin)
{
    std::string eleven; // eleven two-byte characters
    for (int i = 0; i < 11; ++i)
        eleven += "\xC3\x84";
    const std::pair<std::string, std::string> cases[] = {
        {"JSMITH", "JSMITH"},
        {"TWENTY_BYTES_EXACTLY", "TWENTY_BYTES_EXACTLY"},
        {"LONGUSER_ACCOUNTING_A", "LONGUSER_AC~B01841D0"},
        {"LONGUSER_ACCOUNTING_B", "LONGUSER_AC~B3184689"},
        {"longuser_accounting_a", "LONGUSER_AC~B01841D0"},
        {"A.VERY.LONG.LOGIN.NAME.OF.THIRTY", "A.VERY.LONG~229B472D"},
        // The start stops before the character that its eleventh byte splits.
        {eleven, "\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84~828E5B72"},
    };
    for (const auto &[login, key] : cases) {
        EXPECT_EQ(UserRecord::LoginKey(login), key) << login;
        EXPECT_EQ(UserRecord::LoginKey(key), key) << "a stored form is its own key";
    }
}

TEST_F(KivFileTest, ALongLoginFindsItsOwnRecordAtEveryStart)
{
    const std::string login = "a.very.long.login.name.of.thirty";
    for (int start = 0; start < 3; ++start) {
        TFakeBoard board;
        Board(login, board)->SignIn();
    }
    const auto users = Users();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].User.LogInName, "A.VERY.LONG~229B472D");
    // The stored form never runs into the next field.
    EXPECT_EQ(GetText(users[0].Bytes.data(), UserRecord::Updated), NowText(Mine.Clock));

    auto kiv = Board(login, Mine);
    kiv->RefreshCurrentUser();
    EXPECT_EQ(Mine.Session.User.LogInName, "A.VERY.LONG~229B472D");
    EXPECT_EQ(Mine.Host.StatusTexts.back(), "");
}

// Logins that share their first 20 bytes were one user: the second read the
// first's messages, set their status and had their administrator right.
TEST_F(KivFileTest, LoginsThatBeginAlikeAreUsersOfTheirOwn)
{
    const std::string first = "longuser_accounting_a", second = "longuser_accounting_b";
    auto a = Board(first, Mine);
    a->SignIn();
    TFakeBoard theirs;
    auto b = Board(second, theirs);
    b->SignIn();
    EXPECT_TRUE(Mine.Session.Administrator);
    EXPECT_FALSE(theirs.Session.Administrator);
    ASSERT_EQ(Users().size(), 2u);

    theirs.Session.User.Status = "Gone home";
    b->SetStatus();
    a->RefreshCurrentUser();
    EXPECT_EQ(Mine.Session.User.Status, "Available");
    EXPECT_EQ(Mine.Session.User.Administrator, 1);
    b->RefreshCurrentUser();
    EXPECT_EQ(theirs.Session.User.Status, "Gone home");
    EXPECT_EQ(theirs.Session.User.Administrator, 0);

    TKivMessage toSecond(*a);
    toSecond.SendUserMessage(second, first, "For b", "only");
    TFakeInBox mineBox, theirBox;
    TKivMessage(*a).FillInBox(mineBox);
    TKivMessage(*b).FillInBox(theirBox);
    EXPECT_TRUE(mineBox.Rows.empty());
    ASSERT_EQ(theirBox.Rows.size(), 1u);
    EXPECT_EQ(theirBox.Rows[0].SubItems[TInBoxRow::Subject], "For b");

    EXPECT_NE(AlertFilePath(first), AlertFilePath(second));
    EXPECT_EQ(AlertFilePath(first).substr(AlertFilePath(first).rfind('/') + 1), "LONGUSER_AC~B01841D0.Kiv");
}

TEST_F(KivFileTest, AFolderWithOrWithoutTrailingSeparatorReachesTheSameDataset)
{
    Board("first", Mine, Folder.Path())->SignIn();
    TFakeBoard other;
    auto kiv = Board("second", other, Folder.Path() + "/");
    EXPECT_EQ(kiv->DatasetPath(), Folder / "KivDB31");
    kiv->SignIn();
    EXPECT_FALSE(other.Session.Administrator);
    EXPECT_EQ(Users().size(), 2u);
}

TEST_F(KivFileTest, UpdateUserWritesTheRecordOfTheObjectsLogin)
{
    auto kiv = Board("admin", Mine);
    kiv->SignIn();
    SignInElsewhere("colleague");
    Mine.Clock.Moment += 3600;

    // The user administration dialog loads a colleague into the signed-in user object.
    Mine.Session.User = kiv->ReadUser(2);
    Mine.Session.User.Name = "Colleague Jones";
    Mine.Session.User.Ext = "4711";
    Mine.Session.User.Department = "Sales";
    Mine.Session.User.Administrator = 1; // the right is the user administration's to change
    kiv->UpdateUser();

    const auto users = Users();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].User.Name, "ADMIN");
    EXPECT_EQ(users[1].User.Name, "Colleague Jones");
    EXPECT_EQ(users[1].User.Ext, "4711");
    EXPECT_EQ(users[1].User.Department, "Sales");
    EXPECT_EQ(users[1].User.Administrator, 0);
    EXPECT_EQ(users[1].User.Updated, NowText(Mine.Clock));
    EXPECT_FALSE(kiv->DatasetOpen());
}

// A comment written back with the whole record read at sign-in undid a
// status stored meanwhile (by the user's other workstation, a moment before).
TEST_F(KivFileTest, ACommentIsStoredOverTheRecordAsItIsNowAndKeepsWhatChangedMeanwhile)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    kiv->RefreshCurrentUser();
    TFakeBoard elsewhere;
    auto other = Board("jsmith", elsewhere);
    elsewhere.Session.User.Status = "In meeting";
    other->SetStatus();
    ASSERT_TRUE(
        ChangeStoredUser(Folder.Path(), "JSMITH", [](char *record) { PutText(record, UserRecord::Ext, "4711"); }));
    Mine.Clock.Moment += 60;

    const std::string typed = std::string(49, 'c') + "\xC3\xA9"; // 51 bytes: the last character does not fit
    kiv->UpdateComment(typed);
    const TUser stored = Users().at(0).User;
    EXPECT_EQ(stored.Status, "In meeting");
    EXPECT_EQ(stored.Ext, "4711");
    EXPECT_EQ(stored.Comments, std::string(49, 'c'));
    EXPECT_EQ(stored.Updated, NowText(Mine.Clock));
    EXPECT_EQ(Mine.Session.User.Comments, std::string(49, 'c'));
    EXPECT_EQ(Mine.Session.User.Status, "Available"); // the object is otherwise left as it was

    DeleteOnlyUser(*kiv);
    EXPECT_EQ(RaisedText([&] { kiv->UpdateComment("x"); }), "Unable to perform lookup on user JSMITH Object not found");
    EXPECT_FALSE(kiv->DatasetOpen());
}

TEST_F(KivFileTest, OwnDetailsAreStoredOverTheRecordAsItIsNowAndKeepAStatusAndCommentSetMeanwhile)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    kiv->RefreshCurrentUser();
    TFakeBoard elsewhere;
    auto other = Board("jsmith", elsewhere);
    elsewhere.Session.User.Status = "In meeting";
    other->SetStatus();
    other->UpdateComment("back at 3");

    kiv->UpdateOwnDetails("Jo Smith", "4711", "Sales");
    const TUser stored = Users().at(0).User;
    EXPECT_EQ(stored.Status, "In meeting");
    EXPECT_EQ(stored.Comments, "back at 3");
    EXPECT_EQ(std::vector<std::string>({stored.Name, stored.Ext, stored.Department}),
              std::vector<std::string>({"Jo Smith", "4711", "Sales"}));
    EXPECT_EQ(Mine.Session.User.Name, "Jo Smith");
    EXPECT_EQ(Mine.Session.User.Department, "Sales");
    EXPECT_EQ(Mine.Session.User.Status, "Available"); // the object is otherwise left as it was
}

TEST_F(KivFileTest, UpdateUserKeepsTheReservedFieldsAndCutsOverlongTexts)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    {
        // Another version of the program may use the reserved fields.
        TIsamFile isam;
        ASSERT_TRUE(isam.OpenDataset(kiv->DatasetPath(), 3, UserRecord::Format));
        UserRecord::TBuffer bytes{};
        ASSERT_TRUE(isam.ReadEqual(bytes.data(), 0, "0000000001"));
        PutText(bytes.data(), UserRecord::Reserved10, "kept");
        PutInt16(bytes.data(), UserRecord::Reserved14, 77);
        ASSERT_TRUE(isam.ReplaceRecord(bytes.data(), isam.LastKey()));
        ASSERT_TRUE(isam.CloseDataset());
    }
    Mine.Session.User = kiv->ReadUser(1);
    Mine.Session.User.Department = std::string(30, 'D');
    Mine.Session.User.Comments = std::string(49, 'c') + "\xC3\xA9"; // 51 bytes, ends in a two-byte letter
    kiv->UpdateUser();

    const auto users = Users();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(GetText(users[0].Bytes.data(), UserRecord::Reserved10), "kept");
    EXPECT_EQ(GetInt16(users[0].Bytes.data(), UserRecord::Reserved14), 77);
    EXPECT_EQ(users[0].User.Department, std::string(20, 'D'));
    EXPECT_EQ(users[0].User.Comments, std::string(49, 'c'));
    EXPECT_EQ(users[0].User.LogInName, "JSMITH");
}

TEST_F(KivFileTest, UpdateUserOfAnUnknownLoginNamesIt)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    Mine.Session.User.LogInName = "NOBODY";
    EXPECT_EQ(RaisedText([&] { kiv->UpdateUser(); }), "Unable to perform lookup on user NOBODY Object not found");
    EXPECT_FALSE(kiv->DatasetOpen());
    EXPECT_EQ(Users().size(), 1u);
}

TEST_F(KivFileTest, RefreshCurrentUserFillsTheSignedInUserFromTheOwnRecord)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    Mine.Session.User = kiv->ReadUser(1);
    Mine.Session.User.Status = "In meeting";
    Mine.Session.User.Comments = "until 3";
    kiv->UpdateUser();

    // Whatever the object held last, the re-read is of the current login.
    Mine.Session.User = TUser();
    Mine.Session.User.LogInName = "SOMEONE";
    kiv->RefreshCurrentUser();
    EXPECT_EQ(Mine.Session.User.LogInName, "JSMITH");
    EXPECT_EQ(Mine.Session.User.Status, "In meeting");
    EXPECT_EQ(Mine.Session.User.Comments, "until 3");
    EXPECT_EQ(Mine.Session.User.Administrator, 1);
    EXPECT_EQ(Mine.Session.User.Updated, NowText(Mine.Clock));
    EXPECT_EQ(kiv->LastReadStatus, "In meeting");
    ASSERT_FALSE(Mine.Host.StatusTexts.empty());
    EXPECT_EQ(Mine.Host.StatusTexts.back(), "");
}

TEST_F(KivFileTest, RefreshCurrentUserOfADeletedRecordLeavesTheObjectAndSaysWhy)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    kiv->RefreshCurrentUser();
    const TUser before = Mine.Session.User;
    DeleteOnlyUser(*kiv);
    kiv->RefreshCurrentUser();
    EXPECT_EQ(Mine.Session.User.Status, before.Status);
    EXPECT_EQ(Mine.Session.User.LogInName, before.LogInName);
    EXPECT_EQ(Mine.Host.StatusTexts.back(), "Object not found ");
    EXPECT_FALSE(kiv->DatasetOpen());
}

TEST_F(KivFileTest, ReadAndDeleteUserByRecordNumber)
{
    auto kiv = Board("first", Mine);
    kiv->SignIn();
    SignInElsewhere("second");
    SignInElsewhere("third");
    EXPECT_EQ(kiv->ReadUser(2).LogInName, "SECOND");
    EXPECT_EQ(kiv->ReadUser(1).Administrator, 1);

    kiv->DeleteUser(3);
    EXPECT_EQ(RaisedText([&] { kiv->ReadUser(3); }), "Unable to perform look up on dataset - Object not found");
    EXPECT_EQ(RaisedText([&] { kiv->DeleteUser(3); }), "Unable to erase user - Object not found");
    EXPECT_FALSE(kiv->DatasetOpen());

    // The deleted last number comes back, and the login comes back as an ordinary user.
    SignInElsewhere("third");
    const auto users = Users();
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users[2].Key, "0000000003");
    EXPECT_EQ(users[2].User.Administrator, 0);
}

TEST_F(KivFileTest, IsOnlyAdministratorCountsAdministratorRecords)
{
    auto kiv = Board("first", Mine);
    kiv->SignIn();
    SignInElsewhere("second");
    EXPECT_TRUE(kiv->IsOnlyAdministrator());

    TUser second = kiv->ReadUser(2);
    second.Administrator = 1;
    kiv->UpdateUserRecord(second);
    EXPECT_FALSE(kiv->IsOnlyAdministrator());

    // With none at all the answer is still true.
    for (const char *login : {"FIRST", "SECOND"})
        ASSERT_TRUE(ChangeStoredUser(Folder.Path(), login,
                                     [](char *record) { PutInt16(record, UserRecord::Administrator, 0); }));
    EXPECT_TRUE(kiv->IsOnlyAdministrator());
    EXPECT_FALSE(kiv->DatasetOpen());
}

// A board without an administrator could never get one again.
TEST_F(KivFileTest, TheOnlyAdministratorCanNeitherLoseTheRightNorBeDeleted)
{
    auto kiv = Board("first", Mine);
    kiv->SignIn();
    SignInElsewhere("second");
    TUser first = kiv->ReadUser(1);
    first.Administrator = 0;
    first.Comments = "leaving";
    EXPECT_EQ(RaisedText([&] { kiv->UpdateUserRecord(first); }),
              "This user is the only Administrator within Kiv.\r\r"
              "Please make another user an Administrator before removing this user's Administrator right");
    EXPECT_EQ(RaisedText([&] { kiv->DeleteUser(1); }),
              "This user is the only Administrator within Kiv.\r\r"
              "Please make another user and Administrator before deleting this user");
    ASSERT_EQ(Users().size(), 2u);
    EXPECT_EQ(Users()[0].User.Administrator, 1);
    EXPECT_EQ(Users()[0].User.Comments, "");
    EXPECT_FALSE(kiv->DatasetOpen());

    // Once another user holds the right, either is allowed.
    TUser second = kiv->ReadUser(2);
    second.Administrator = 1;
    kiv->UpdateUserRecord(second);
    kiv->UpdateUserRecord(first);
    EXPECT_EQ(Users()[0].User.Administrator, 0);
    EXPECT_EQ(Users()[0].User.Comments, "leaving");
    first.Administrator = 1;
    kiv->UpdateUserRecord(first);
    kiv->DeleteUser(2);
    EXPECT_EQ(Users().size(), 1u);
}

TEST_F(KivFileTest, OperationsOnAFolderThatIsGoneSayWhichFolder)
{
    auto kiv = Board("jsmith", Mine);
    kiv->SignIn();
    const std::string gone = Folder / "gone";
    kiv->DatabaseFolder = gone;
    EXPECT_EQ(RaisedText([&] { kiv->SignIn(); }), "Unable to access the Kiv database location \"" + gone + "\"");
    EXPECT_TRUE(Mine.Host.SkipSignOff);
    EXPECT_EQ(RaisedText([&] { kiv->UpdateUser(); }),
              "Unable to update user - unable to access the Kiv database location \"" + gone + "/\"");
    EXPECT_EQ(RaisedText([&] { kiv->RefreshCurrentUser(); }),
              "Unable to access the Kiv database location \"" + gone + "/\"");
    EXPECT_EQ(RaisedText([&] { kiv->DeleteUser(1); }),
              "Unable to delete user - unable to access the Kiv database location \"" + gone + "/\"");
    EXPECT_EQ(RaisedText([&] { kiv->ReadUser(1); }).rfind("Unable to open dataset - ", 0), 0u);
    EXPECT_EQ(RaisedText([&] { kiv->IsOnlyAdministrator(); }).rfind("Unable to open dataset - ", 0), 0u);
    EXPECT_FALSE(PathExists(gone));
    EXPECT_FALSE(kiv->DatasetOpen());
}

TEST_F(KivFileTest, ADamagedDatasetFailsTheSignInWithoutACrash)
{
    WriteWholeFile(Folder / "KivDB31.ism", "this is no dataset definition\n");
    WriteWholeFile(Folder / "KivDB31.isd", "nor is this a data file");
    auto kiv = Board("jsmith", Mine);
    EXPECT_EQ(RaisedText([&] { kiv->SignIn(); }),
              "Unable to open KivDBase after create!\r\r"
              "Please check that you have network permissions and rights to the database folder");
    EXPECT_TRUE(Mine.Host.SkipSignOff);
    EXPECT_FALSE(kiv->DatasetOpen());
    EXPECT_EQ(ReadWholeFile(Folder / "KivDB31.ism"), "this is no dataset definition\n");
}

TEST_F(KivFileTest, ADatasetOfAnotherLayoutIsRefusedBeforeARecordReachesOurBuffer)
{
    // Records far longer than ours, as a colleague could make the users
    // dataset to overrun every workstation's record buffer.
    const std::string crafted = std::string(UserRecord::Format) + ",$*60000";
    {
        TIsamFile isam;
        ASSERT_TRUE(isam.CreateDataset(Folder / "KivDB31", 10, crafted));
        ASSERT_TRUE(isam.OpenDataset(Folder / "KivDB31", 3, crafted));
        std::vector<char> record(UserRecord::Size + 60000, 'x');
        PutText(record.data(), UserRecord::LogInName, "JSMITH");
        ASSERT_TRUE(isam.AddRecord(record.data()));
    }
    auto kiv = Board("jsmith", Mine);
    EXPECT_EQ(RaisedText([&] { kiv->SignIn(); }).rfind("Unable to open KivDBase after create!", 0), 0u);
    EXPECT_FALSE(kiv->DatasetOpen());
}

TEST_F(KivFileTest, ADefinitionWhoseDataFileNeverComesFailsAfterABoundedWait)
{
    // What a workstation that died while creating the board leaves behind.
    WriteWholeFile(Folder / "KivDB31.ism", "");
    auto kiv = Board("jsmith", Mine);
    EXPECT_EQ(RaisedText([&] { kiv->SignIn(); }).rfind("Unable to open KivDBase after create!", 0), 0u);
    EXPECT_TRUE(Mine.Host.SkipSignOff);
    EXPECT_FALSE(PathExists(Folder / "KivDB31.isd"));
}

TEST_F(KivFileTest, AMissingEngineEndsTheProgramBeforeAnyFileIsTouched)
{
    TTestFolder noEngine;
    EXPECT_THROW(TKivFile(Folder.Path(), Mine.Ctx, "jsmith", noEngine.Path()), EKivEngineMissing);
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Unable to find VBISAM DLL, please make sure that VBIS4032.DLL is in path!");
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Mine.Prompter.Shown[0].Buttons, TMsgButtons::Ok);
    EXPECT_EQ(Mine.App.Terminations, 1);
    EXPECT_FALSE(PathExists(Folder / "Kiv.cfg"));
}

// A look-up the engine could not carry out (here: a busy dataset) must not be
// taken for a login the board lacks, or the login would get a second record.
TEST_F(KivFileTest, ALookUpThatFailsForAnotherReasonAddsNothing)
{
    TKivFile kiv(Folder.Path(), Mine.Ctx, "jsmith", KIV_FAKE_ENGINE_DIR);
    TFakeEngineState *state = FreshFakeEngineState(UserRecord::Format);
    ASSERT_NE(state, nullptr);
    state->ReadAnswer = 3;
    WriteWholeFile(Folder / "KivDB31.ism", "");
    EXPECT_EQ(RaisedText([&] { kiv.SignIn(); }), "Unable to perform lookup on user JSMITH Multi-user access");
    EXPECT_EQ(state->Adds, 0);
    EXPECT_FALSE(kiv.DatasetOpen());
}

// Two workstations starting on a new board: the one whose create loses signs
// in on the dataset the other made, as an ordinary user.
TEST_F(KivFileTest, TheLoserOfTheCreateSignsInAsAnOrdinaryUser)
{
    TKivFile kiv(Folder.Path(), Mine.Ctx, "jsmith", KIV_FAKE_ENGINE_DIR);
    TFakeEngineState *state = FreshFakeEngineState(UserRecord::Format);
    ASSERT_NE(state, nullptr);
    state->LoseCreateRace = true;
    state->Highest = 1;
    kiv.SignIn();
    EXPECT_FALSE(Mine.Session.Administrator);
    EXPECT_EQ(state->Adds, 1);
    EXPECT_EQ(state->AddedFirstField, 0);
    EXPECT_STREQ(state->AddedKey, "0000000002");
    EXPECT_FALSE(Mine.Host.SkipSignOff);
}

// A dataset another workstation is creating this moment has its definition
// file before its data file; the sign-in waits for the data file.
TEST_F(KivFileTest, ASignInWaitsForADatasetAnotherWorkstationIsCreating)
{
    TTestFolder staging;
    {
        TFakeBoard creator;
        TKivFile first(staging.Path(), creator.Ctx, "creator");
        first.SignIn();
    }
    ASSERT_EQ(rename((staging / "KivDB31.ism").c_str(), (Folder / "KivDB31.ism").c_str()), 0);
    const pid_t finisher = fork();
    ASSERT_GE(finisher, 0);
    if (finisher == 0) {
        usleep(200 * 1000);
        _exit(rename((staging / "KivDB31.isd").c_str(), (Folder / "KivDB31.isd").c_str()) == 0 ? 0 : 1);
    }
    auto kiv = Board("jsmith", Mine);
    const std::string text = RaisedText([&] { kiv->SignIn(); });
    int status = 0;
    waitpid(finisher, &status, 0);
    EXPECT_EQ(text, "");
    EXPECT_FALSE(Mine.Session.Administrator);
    const auto users = Users();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[1].User.LogInName, "JSMITH");
}
