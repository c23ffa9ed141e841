// The message store against the real engine: sending, the read dialogs at
// start, the in-box, messages other workstations changed meanwhile, and four
// workstations sending at once.
#include "board/KivMessage.h"
#include "board/KivFile.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/board/EitherBoard.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

struct TStoredMessage {
    std::string Key;
    MessageRecord::TBuffer Bytes;
    std::string Text(TField field) const { return GetText(Bytes.data(), field); }
};

/// Every record of the messages dataset in folder, in key order.
std::vector<TStoredMessage> StoredMessages(const std::string &folder)
{
    std::vector<TStoredMessage> messages;
    TIsamFile isam;
    if (!isam.OpenDataset(BoardDatasetPath(folder, MessageRecord::DatasetName), MessageRecord::OpenMode,
                          MessageRecord::Format))
        return messages;
    isam.GotoTop(MessageRecord::KeyIndex);
    TStoredMessage message{};
    while (isam.ReadNext(message.Bytes.data(), MessageRecord::KeyIndex)) {
        message.Key = isam.LastKey();
        messages.push_back(message);
    }
    isam.CloseDataset();
    return messages;
}

/// One workstation on the board folder, signed in as login.
struct TStation {
    TStation(const std::string &folder, const std::string &login) : Kiv(folder, Fakes.Ctx, login), Messages(Kiv)
    {
        Kiv.SignIn();
    }
    TFakeBoard Fakes;
    TKivFile Kiv;
    TKivMessage Messages;
};

using TTexts = std::vector<std::string>;

class KivMessageTest : public ::testing::TestWithParam<TBoardKind> {
protected:
    void SetUp() override { Kiv.SignIn(); }

    void SendToMe(const std::string &subject) { Boss.Messages.SendUserMessage("JSMITH", "BOSS", subject, "body"); }
    std::vector<TStoredMessage> Stored() const { return StoredMessages(Board.Location); }

    TEitherBoard Board{GetParam()};
    const TTestFolder &Folder = Board.Folder();
    TFakeBoard Mine;
    TKivFile Kiv{Board.Location, Mine.Ctx, "jsmith"};
    TKivMessage Messages{Kiv};
    TStation Boss{Board.Location, "boss"};
    TFakeInBox InBox;
    TFakeReadDialog Dialog;
};
KIV_ON_BOTH_BOARD_KINDS(KivMessageTest);

// A damaged data file: only a folder board has one.
class KivMessageFolderTest : public KivMessageTest {};
INSTANTIATE_TEST_SUITE_P(On, KivMessageFolderTest, ::testing::Values(TBoardKind::Folder), BoardKindName);

} // namespace

TEST_P(KivMessageTest, BeforeTheFirstMessageNothingIsFoundShownOrCreated)
{
    EXPECT_FALSE(Messages.NewMessageWaiting());
    Messages.ShowNewMessages(Dialog);
    Messages.FillInBox(InBox);
    EXPECT_TRUE(Dialog.Shown.empty());
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
    EXPECT_TRUE(Mine.Host.StatusTexts.empty());
    EXPECT_EQ(InBox.Panels, (std::array<std::string, 3>{"New messages = 0", "Old messages = 0", "Total messages = 0"}));
    EXPECT_FALSE(MakeBoardLocation(Board.Location)->DatasetDefined(MessageRecord::DatasetName));
}

TEST_P(KivMessageTest, AMessageHoldsBothUsersAsStoredWithItsTextsCutToTheirFields)
{
    Kiv.RefreshCurrentUser();
    Mine.Session.User.Name = std::string(40, 'N');
    Kiv.UpdateUser();
    const std::string subject(256, 's'); // a field may be filled to its whole width
    Boss.Messages.SendUserMessage("JSMITH", "BOSS", subject + "cut", std::string(255, 'b') + "\xC3\xA9");
    EXPECT_EQ(RaisedText([&] { Boss.Messages.SendUserMessage("GHOST", "BOSS", "s", "b"); }),
              "Unable to find GHOST in Users Databse!\r\rObject not found");

    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    const TStoredMessage &message = stored[0];
    EXPECT_EQ(GetInt16(message.Bytes.data(), MessageRecord::Reserved), 0);
    EXPECT_EQ(message.Text(MessageRecord::SentAt), MessageNowText(Mine.Clock));
    EXPECT_EQ(message.Text(MessageRecord::Subject), subject);
    EXPECT_EQ(message.Text(MessageRecord::State), "New");
    EXPECT_EQ(message.Text(MessageRecord::Body), std::string(255, 'b')); // never half a character
    EXPECT_EQ(message.Text(MessageRecord::ToName), std::string(31, 'N'));
    EXPECT_EQ(message.Text(MessageRecord::ToLogin), "JSMITH");
    EXPECT_EQ(message.Text(MessageRecord::FromName), "BOSS");
    EXPECT_EQ(message.Text(MessageRecord::FromLogin), "BOSS");
    EXPECT_FALSE(Boss.Messages.DatasetOpen() || Boss.Messages.UsersDatasetOpen());
    EXPECT_EQ(Messages.LookUpUserName("JSMITH"), std::string(40, 'N'));
    EXPECT_EQ(RaisedText([&] { Messages.LookUpUserName("GHOST"); }), "Unable to locate User\r\rObject not found");
}

TEST_P(KivMessageTest, AMessageSentAtMidnightCarriesTheDateAlone)
{
    std::tm midnight{};
    midnight.tm_year = 124;
    midnight.tm_mon = 11;
    midnight.tm_mday = 9;
    midnight.tm_isdst = -1;
    Mine.Clock.Moment = std::mktime(&midnight);
    char date[64];
    std::strftime(date, sizeof date, "%x", &midnight);
    Messages.SendUserMessage("BOSS", "JSMITH", "night", "owl");
    EXPECT_EQ(Stored().at(0).Text(MessageRecord::SentAt), date);
    EXPECT_EQ(MessageTimeText(Mine.Clock.Moment + 1), DateTimeText(Mine.Clock.Moment + 1));
}

TEST_P(KivMessageTest, TheInBoxListsOnlyTheOwnMessagesNewestFirstWithTheirCounts)
{
    TStation clerk(Board.Location, "clerk");
    for (const char *subject : {"s1", "s2", "s3"})
        SendToMe(subject);
    Boss.Messages.SendUserMessage("CLERK", "BOSS", "for the clerk", "b");
    // Only the exact login is the user's, not one that differs in case alone.
    ASSERT_TRUE(ChangeStoredUser(Board.Location, "CLERK",
                                 [](char *record) { PutText(record, UserRecord::LogInName, "jsmith"); }));
    Boss.Messages.SendUserMessage("jsmith", "BOSS", "lower case", "b");
    SendToMe("s4");
    SendToMe("s5");
    Messages.MarkMessageOld("0000000002");
    Messages.MarkMessageOld("0000000006");
    // Another login in the signed-in user object (the user dialog loads
    // colleagues there) changes nothing: the workstation's login counts.
    Mine.Session.User.LogInName = "CLERK";
    Messages.FillInBox(InBox);
    EXPECT_EQ(InBox.Trace, "[c+++++]");
    EXPECT_EQ(InBox.Column(TInBoxRow::Subject), (TTexts{"s5", "s4", "s3", "s2", "s1"}));
    EXPECT_EQ(InBox.Column(TInBoxRow::Type), (TTexts{"New", "Old", "New", "Old", "New"}));
    EXPECT_EQ(InBox.Column(TInBoxRow::PrimaryKey),
              (TTexts{"0000000007", "0000000006", "0000000003", "0000000002", "0000000001"}));
    EXPECT_EQ(InBox.Rows[0].Caption, "BOSS");
    EXPECT_EQ(InBox.Panels, (std::array<std::string, 3>{"New messages = 3", "Old messages = 2", "Total messages = 5"}));
    Messages.ShowMessageBody("0000000003", InBox);
    EXPECT_EQ(InBox.MessageText, "body");
    EXPECT_EQ(RaisedText([&] { Messages.ShowMessageBody("0000000004", InBox); }),
              "Unable to locate Kiv Message\r\rObject not found");
}

TEST_P(KivMessageTest, NewMessagesAtStartAreShownInTurnWithTheDatasetClosedAndEndOld)
{
    for (const char *subject : {"first", "second", "gone"})
        SendToMe(subject);
    TStation second(Board.Location, "jsmith"); // the same user on another workstation
    std::vector<bool> openWhileShown;
    Dialog.Close = [&](const TReadMessage &message) {
        openWhileShown.push_back(Messages.DatasetOpen());
        Messages.MarkMessageOld(message.PrimaryKey);
        if (message.PrimaryKey == "0000000001")
            second.Messages.DeleteMessage("0000000003");
    };
    ASSERT_TRUE(Messages.NewMessageWaiting());
    Messages.ShowNewMessages(Dialog);

    ASSERT_EQ(Dialog.Shown.size(), 2u);
    EXPECT_EQ(Dialog.Shown[0].Caption, "Read Message...");
    EXPECT_EQ(Dialog.Shown[0].PrimaryKey, "0000000001");
    EXPECT_EQ(Dialog.Shown[0].FromName, "BOSS");
    EXPECT_EQ(Dialog.Shown[0].ToName, "JSMITH");
    EXPECT_EQ(Dialog.Shown[0].Received, MessageNowText(Mine.Clock));
    EXPECT_EQ(Dialog.Shown[1].Subject, "second");
    EXPECT_EQ(openWhileShown, (std::vector<bool>{false, false}));
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].Text(MessageRecord::State), "Old");
    EXPECT_EQ(stored[1].Text(MessageRecord::State), "Old");
    EXPECT_FALSE(Messages.NewMessageWaiting());
}

// Keys are given out again once the newest message is erased: a key a row or
// dialog still shows may file a colleague's message by now.
TEST_P(KivMessageTest, AVanishedMessageIsReportedAndAColleaguesUnderItsKeyIsNotTouched)
{
    SendToMe("mine");
    SendToMe("mine too");
    TStation second(Board.Location, "jsmith");
    second.Messages.DeleteMessage("0000000002");
    Messages.MarkMessageOld("0000000002");
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Unable to find message to make old!");
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Error);

    Boss.Messages.SendUserMessage("BOSS", "BOSS", "the boss's own", "private");
    const auto before = Stored();
    ASSERT_EQ(before.at(1).Key, "0000000002");
    Messages.MarkMessageOld("0000000002");
    EXPECT_EQ(Mine.Prompter.Shown.size(), 2u);
    EXPECT_EQ(RaisedText([&] { Messages.DeleteMessage("0000000002"); }),
              "Unable to delete Kiv Messages\r\rObject not found");
    EXPECT_NE(RaisedText([&] { Messages.ShowMessageBody("0000000002", InBox); }), "");
    const auto after = Stored();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].Bytes, before[1].Bytes);
    EXPECT_EQ(InBox.MessageText, "");
}

TEST_P(KivMessageFolderTest, ADamagedDatasetIsReportedWithoutACrash)
{
    WriteWholeFile(Folder / "KivMesg.ism", "not a definition\n");
    WriteWholeFile(Folder / "KivMesg.isd", "not a database");
    EXPECT_FALSE(Messages.NewMessageWaiting());
    EXPECT_EQ(Mine.Host.StatusTexts, TTexts{"Attempting to check for new messages"});
    Messages.ShowNewMessages(Dialog);
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Unable to open Kiv Messages database!");
    Messages.FillInBox(InBox);
    EXPECT_EQ(InBox.Trace, "[c]");
    EXPECT_EQ(RaisedText([&] {
                  Messages.SendUserMessage("BOSS", "JSMITH", "s", "b");
              }).rfind("Unable to open Kiv message database - ", 0),
              0u);
    EXPECT_EQ(ReadWholeFile(Folder / "KivMesg.isd"), "not a database");
    EXPECT_FALSE(Messages.DatasetOpen() || Messages.UsersDatasetOpen());
}

// Four workstations each sending 250 messages to one colleague at the same
// time, on a board whose messages dataset none of them has seen yet.
TEST_P(KivMessageTest, FourWorkstationsSendingAtOnceLoseAndDuplicateNothing)
{
    constexpr int kSenders = 4;
    constexpr int kEach = 250;
    for (int n = 0; n < kSenders; ++n)
        TStation signedIn(Board.Location, "sender" + std::to_string(n));
    const std::vector<int> codes = RunTogether(kSenders, [&](int n) {
        TStation station(Board.Location, "sender" + std::to_string(n));
        for (int i = 0; i < kEach; ++i) {
            const std::string text = RaisedText([&] {
                station.Messages.SendUserMessage("JSMITH", station.Kiv.LoginUser.LogInName,
                                                 std::to_string(n) + "-" + std::to_string(i), "b");
            });
            if (!text.empty()) {
                std::fprintf(stderr, "sender%d, message %d: %s\n", n, i, text.c_str());
                return 1;
            }
        }
        return 0;
    });
    EXPECT_EQ(codes, std::vector<int>(kSenders, 0));

    const auto stored = Stored();
    EXPECT_EQ(stored.size(), std::size_t(kSenders * kEach));
    std::set<std::string> keys;
    std::map<std::string, int> subjects;
    for (const TStoredMessage &message : stored) {
        keys.insert(message.Key);
        ++subjects[message.Text(MessageRecord::Subject) + "/" + message.Text(MessageRecord::ToLogin) + "/"
                   + message.Text(MessageRecord::State)];
    }
    EXPECT_EQ(keys.size(), stored.size());
    for (int n = 0; n < kSenders; ++n)
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(subjects[std::to_string(n) + "-" + std::to_string(i) + "/JSMITH/New"], 1) << n << "-" << i;
    Messages.FillInBox(InBox);
    EXPECT_EQ(InBox.Panels[0], "New messages = 1000");
}
