// The message store against the real engine: sending, the new-message check,
// the read dialogs at start, the in-box, marking and deleting, messages that
// other workstations changed meanwhile, and four workstations sending at once.
#include "board/EngineCheck.h"
#include "board/KivFile.h"
#include "board/KivMessage.h"
#include "board/MessageRecord.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
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
    if (!isam.OpenDataset(folder + "/" + MessageRecord::DatasetName, MessageRecord::OpenMode))
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

/// Files a message behind the store's back, as another version of the
/// program might; answers its key.
std::string FileMessage(const std::string &folder, const std::string &toLogin, const std::string &subject,
                        int16_t reserved = 0)
{
    TIsamFile isam;
    if (!isam.OpenDataset(folder + "/" + MessageRecord::DatasetName, MessageRecord::OpenMode))
        return std::string();
    MessageRecord::TBuffer record{};
    PutInt16(record.data(), MessageRecord::Reserved, reserved);
    MessageRecord::PutText(record.data(), MessageRecord::Subject, subject);
    MessageRecord::PutText(record.data(), MessageRecord::State, MessageRecord::New);
    MessageRecord::PutText(record.data(), MessageRecord::ToLogin, toLogin);
    MessageRecord::PutText(record.data(), MessageRecord::FromName, "Filed");
    const std::string key = isam.AddRecord(record.data()) ? isam.LastKey() : std::string();
    isam.CloseDataset();
    return key;
}

/// A workstation of its own on a board folder: fakes, the users dataset
/// object and the message store.
struct TStation {
    TStation(const std::string &folder, const std::string &login) : Kiv(folder, Fakes.Ctx, login), Messages(Kiv) {}
    TFakeBoard Fakes;
    TKivFile Kiv;
    TKivMessage Messages;
};

class KivMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Kiv.SignIn();
        AddUser("boss", "The Boss");
        AddUser("clerk", "Front desk");
    }

    /// Signs login in and names them.
    void AddUser(const std::string &login, const std::string &name)
    {
        TFakeBoard other;
        TKivFile kiv(Folder.Path(), other.Ctx, login);
        kiv.SignIn();
        for (const TStoredUser &user : StoredUsers(Folder.Path()))
            if (user.User.LogInName == kiv.LoginUser.LogInName) {
                other.Session.User = user.User;
                other.Session.User.Name = name;
                kiv.UpdateUser();
            }
    }

    /// The boss's workstation, made when first wanted.
    TKivMessage &Boss()
    {
        if (!FBoss)
            FBoss = std::make_unique<TStation>(Folder.Path(), "boss");
        return FBoss->Messages;
    }

    void SendToMe(const std::string &subject, const std::string &body = "body")
    {
        Boss().SendUserMessage("JSMITH", "BOSS", subject, body);
    }

    std::vector<TStoredMessage> Stored() const { return StoredMessages(Folder.Path()); }

    TTestFolder Folder;
    TFakeBoard Mine;
    TKivFile Kiv{Folder.Path(), Mine.Ctx, "jsmith"};
    TKivMessage Messages{Kiv};
    TFakeInBox InBox;
    TFakeReadDialog Dialog;

private:
    std::unique_ptr<TStation> FBoss;
};

} // namespace

TEST_F(KivMessageTest, BeforeTheFirstMessageNothingIsFoundShownOrCreated)
{
    EXPECT_FALSE(Messages.NewMessageWaiting());
    Messages.ShowNewMessages(Dialog);
    Messages.FillInBox(InBox);
    EXPECT_TRUE(Dialog.Shown.empty());
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
    EXPECT_TRUE(Mine.Host.StatusTexts.empty());
    EXPECT_TRUE(InBox.Rows.empty());
    EXPECT_EQ(InBox.Panels, (std::array<std::string, 3>{"New messages = 0", "Old messages = 0", "Total messages = 0"}));
    EXPECT_FALSE(PathExists(Folder / "KivMesg.ism"));
    EXPECT_FALSE(PathExists(Folder / "KivMesg.isd"));
}

TEST_F(KivMessageTest, ASentMessageHoldsBothUsersAsStoredAndIsNew)
{
    Boss().SendUserMessage("JSMITH", "BOSS", "Lunch?", "At one\r\nby the door");
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    const TStoredMessage &message = stored[0];
    EXPECT_EQ(message.Key, "0000000001");
    EXPECT_EQ(GetInt16(message.Bytes.data(), MessageRecord::Reserved), 0);
    EXPECT_EQ(message.Text(MessageRecord::SentAt), MessageNowText(Mine.Clock));
    EXPECT_EQ(message.Text(MessageRecord::Subject), "Lunch?");
    EXPECT_EQ(message.Text(MessageRecord::State), "New");
    EXPECT_EQ(message.Text(MessageRecord::Body), "At one\r\nby the door");
    EXPECT_EQ(message.Text(MessageRecord::ToName), "JSMITH");
    EXPECT_EQ(message.Text(MessageRecord::ToLogin), "JSMITH");
    EXPECT_EQ(message.Text(MessageRecord::FromName), "The Boss");
    EXPECT_EQ(message.Text(MessageRecord::FromLogin), "BOSS");
    EXPECT_FALSE(Boss().IsamFile.IsOpen());
    EXPECT_FALSE(Boss().UsersFile.IsOpen());

    EXPECT_TRUE(Messages.NewMessageWaiting());
    EXPECT_EQ(Mine.Host.StatusTexts, std::vector<std::string>{""});
    EXPECT_EQ(Messages.LookUpUserName("BOSS"), "The Boss");
}

TEST_F(KivMessageTest, AnUnknownRecipientOrSenderIsNamedAndNothingIsAdded)
{
    SendToMe("first");
    EXPECT_EQ(RaisedText([&] { Boss().SendUserMessage("GHOST", "BOSS", "s", "b"); }),
              "Unable to find GHOST in Users Databse!\r\rObject not found");
    EXPECT_EQ(RaisedText([&] { Boss().SendUserMessage("JSMITH", "nobody", "s", "b"); }),
              "Unable to find nobody in Users Databse!\r\rObject not found");
    EXPECT_EQ(Stored().size(), 1u);
    EXPECT_FALSE(Boss().IsamFile.IsOpen());
    EXPECT_FALSE(Boss().UsersFile.IsOpen());

    EXPECT_EQ(RaisedText([&] { Messages.LookUpUserName("GHOST"); }), "Unable to locate User\r\rObject not found");
    Kiv.DatabaseFolder = Folder / "gone";
    EXPECT_EQ(RaisedText([&] { Messages.LookUpUserName("BOSS"); }).rfind("Unable to open Users dataset\r\r", 0), 0u);
    EXPECT_EQ(RaisedText([&] { Messages.SendUserMessage("BOSS", "JSMITH", "s", "b"); })
                  .rfind("Unable to create Kiv Messages database!\r\r", 0),
              0u);
    EXPECT_FALSE(Messages.UsersFile.IsOpen());
}

TEST_F(KivMessageTest, TextsAreCutToTheirFieldsAndMayFillThemWhole)
{
    AddUser("long", std::string(40, 'N'));
    const std::string subject(256, 's');
    const std::string body = std::string(255, 'b') + "\xC3\xA9"; // the last letter does not fit whole
    TStation longStation(Folder.Path(), "long");
    longStation.Messages.SendUserMessage("LONG", "LONG", subject + "cut", body);
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].Text(MessageRecord::ToName), std::string(31, 'N'));
    EXPECT_EQ(stored[0].Text(MessageRecord::FromName), std::string(31, 'N'));
    EXPECT_EQ(stored[0].Text(MessageRecord::Subject), subject);
    EXPECT_EQ(stored[0].Text(MessageRecord::Body), std::string(255, 'b'));
    // A name filling its field still leaves the next field as written.
    EXPECT_EQ(stored[0].Text(MessageRecord::ToLogin), "LONG");

    longStation.Messages.FillInBox(InBox);
    ASSERT_EQ(InBox.Rows.size(), 1u);
    EXPECT_EQ(InBox.Rows[0].Caption, std::string(31, 'N'));
    EXPECT_EQ(InBox.Rows[0].SubItems[TInBoxRow::Subject], subject);
}

TEST_F(KivMessageTest, AMessageSentAtMidnightCarriesTheDateAlone)
{
    std::tm midnight{};
    midnight.tm_year = 124;
    midnight.tm_mon = 11;
    midnight.tm_mday = 9;
    midnight.tm_isdst = -1;
    const std::time_t moment = std::mktime(&midnight);
    char date[64];
    std::strftime(date, sizeof date, "%x", &midnight);
    EXPECT_EQ(MessageTimeText(moment), date);
    EXPECT_EQ(MessageTimeText(moment + 1), DateTimeText(moment + 1));

    Mine.Clock.Moment = moment;
    Messages.SendUserMessage("BOSS", "JSMITH", "night", "owl");
    EXPECT_EQ(Stored().at(0).Text(MessageRecord::SentAt), date);
}

TEST_F(KivMessageTest, TheInBoxListsOnlyTheOwnMessagesNewestFirstWithTheirCounts)
{
    for (const char *subject : {"s1", "s2", "s3"})
        SendToMe(subject);
    Boss().SendUserMessage("CLERK", "BOSS", "for the clerk", "b");
    SendToMe("s4");
    // Only the exact login is the user's.
    ASSERT_FALSE(FileMessage(Folder.Path(), "jsmith", "lower case").empty());
    SendToMe("s5");
    Messages.MarkMessageOld("0000000002");
    Messages.MarkMessageOld("0000000005");

    // The signed-in login is the workstation's, whoever the user dialog loaded.
    Mine.Session.User.LogInName = "BOSS";
    InBox.Rows.push_back(TInBoxRow{"stale", {}});
    Messages.FillInBox(InBox);
    EXPECT_EQ(InBox.Trace, "[c+++++]");
    EXPECT_EQ(InBox.Column(TInBoxRow::Subject), (std::vector<std::string>{"s5", "s4", "s3", "s2", "s1"}));
    EXPECT_EQ(InBox.Column(TInBoxRow::Type), (std::vector<std::string>{"New", "Old", "New", "Old", "New"}));
    EXPECT_EQ(InBox.Column(TInBoxRow::PrimaryKey),
              (std::vector<std::string>{"0000000007", "0000000005", "0000000003", "0000000002", "0000000001"}));
    EXPECT_EQ(InBox.Rows[0].Caption, "The Boss");
    EXPECT_EQ(InBox.Rows[0].SubItems[TInBoxRow::Received], MessageNowText(Mine.Clock));
    EXPECT_EQ(InBox.Panels, (std::array<std::string, 3>{"New messages = 3", "Old messages = 2", "Total messages = 5"}));
    EXPECT_FALSE(Messages.IsamFile.IsOpen());

    Messages.ShowMessageBody("0000000003", InBox);
    EXPECT_EQ(InBox.MessageText, "body");
    EXPECT_EQ(RaisedText([&] { Messages.ShowMessageBody("0000000004", InBox); }),
              "Unable to locate Kiv Message\r\rObject not found");
    EXPECT_EQ(RaisedText([&] { Messages.ShowMessageBody("0000000099", InBox); }),
              "Unable to locate Kiv Message\r\rObject not found");
    EXPECT_EQ(InBox.MessageText, "body");
}

TEST_F(KivMessageTest, NewMessagesAtStartAreShownOneAfterAnotherWithTheDatasetClosed)
{
    SendToMe("first", "one");
    Boss().SendUserMessage("CLERK", "BOSS", "not mine", "b");
    SendToMe("second", "two");
    std::vector<bool> openWhileShown;
    Dialog.Close = [&](const TReadMessage &message) {
        openWhileShown.push_back(Messages.IsamFile.IsOpen());
        Messages.MarkMessageOld(message.PrimaryKey);
    };
    ASSERT_TRUE(Messages.NewMessageWaiting());
    Messages.ShowNewMessages(Dialog);

    ASSERT_EQ(Dialog.Shown.size(), 2u);
    const TReadMessage &first = Dialog.Shown[0];
    EXPECT_EQ(first.Caption, "Read Message...");
    EXPECT_EQ(first.PrimaryKey, "0000000001");
    EXPECT_EQ(first.FromName, "The Boss");
    EXPECT_EQ(first.ToName, "JSMITH");
    EXPECT_EQ(first.Received, MessageNowText(Mine.Clock));
    EXPECT_EQ(first.Subject, "first");
    EXPECT_EQ(first.Body, "one");
    EXPECT_EQ(Dialog.Shown[1].PrimaryKey, "0000000003");
    EXPECT_EQ(openWhileShown, (std::vector<bool>{false, false}));

    const auto stored = Stored();
    EXPECT_EQ(stored[0].Text(MessageRecord::State), "Old");
    EXPECT_EQ(stored[1].Text(MessageRecord::State), "New");
    EXPECT_EQ(stored[2].Text(MessageRecord::State), "Old");
    EXPECT_FALSE(Messages.NewMessageWaiting());
    EXPECT_FALSE(Messages.IsamFile.IsOpen());
}

TEST_F(KivMessageTest, AMessageDeletedOrReadElsewhereWhileADialogIsUpIsNotShown)
{
    for (const char *subject : {"a", "b", "c", "d"})
        SendToMe(subject);
    // The same user signed in on a second workstation.
    TStation second(Folder.Path(), "jsmith");
    Dialog.Close = [&](const TReadMessage &message) {
        if (message.PrimaryKey == "0000000001") {
            Messages.DeleteMessage(message.PrimaryKey); // the dialog's Delete: nothing is marked
            second.Messages.DeleteMessage("0000000002");
            second.Messages.MarkMessageOld("0000000003");
        } else {
            Messages.MarkMessageOld(message.PrimaryKey);
        }
    };
    Messages.ShowNewMessages(Dialog);
    ASSERT_EQ(Dialog.Shown.size(), 2u);
    EXPECT_EQ(Dialog.Shown[1].Subject, "d");
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].Key, "0000000003");
    EXPECT_EQ(stored[1].Text(MessageRecord::State), "Old");
}

TEST_F(KivMessageTest, MarkingOldRewritesOnlyTheStateAndAVanishedMessageWritesNothing)
{
    SendToMe("kept");
    const std::string filed = FileMessage(Folder.Path(), "JSMITH", "reserved", 7);
    const auto before = Stored();
    Messages.MarkMessageOld(filed);
    Messages.MarkMessageOld(filed); // a row still showing "New" clicked again
    auto after = Stored();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].Bytes, before[0].Bytes);
    EXPECT_EQ(after[1].Text(MessageRecord::State), "Old");
    MessageRecord::PutText(after[1].Bytes.data(), MessageRecord::State, "New");
    EXPECT_EQ(after[1].Bytes, before[1].Bytes);
    EXPECT_TRUE(Mine.Prompter.Shown.empty());

    // Another workstation of the user deleted the first meanwhile.
    TStation second(Folder.Path(), "jsmith");
    second.Messages.DeleteMessage("0000000001");
    const auto remaining = Stored();
    Messages.MarkMessageOld("0000000001");
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Unable to find message to make old!");
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Mine.Prompter.Shown[0].Buttons, TMsgButtons::Ok);
    EXPECT_EQ(Stored().at(0).Bytes, remaining.at(0).Bytes);
    EXPECT_EQ(RaisedText([&] { Messages.DeleteMessage("0000000001"); }),
              "Unable to delete Kiv Messages\r\rObject not found");
    EXPECT_FALSE(Messages.IsamFile.IsOpen());
}

// The key of an erased newest message is given out again: a row or dialog
// still showing the old key must not reach the colleague's new message.
TEST_F(KivMessageTest, AStaleKeyNowFilingAColleaguesMessageIsNotTouched)
{
    SendToMe("mine");
    SendToMe("mine too");
    TStation second(Folder.Path(), "jsmith");
    second.Messages.DeleteMessage("0000000002");
    Boss().SendUserMessage("CLERK", "BOSS", "for the clerk", "private");
    ASSERT_EQ(Stored().at(1).Key, "0000000002");
    const auto before = Stored();

    EXPECT_EQ(RaisedText([&] { Messages.ShowMessageBody("0000000002", InBox); }),
              "Unable to locate Kiv Message\r\rObject not found");
    Messages.MarkMessageOld("0000000002");
    EXPECT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(RaisedText([&] { Messages.DeleteMessage("0000000002"); }),
              "Unable to delete Kiv Messages\r\rObject not found");
    const auto after = Stored();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].Bytes, before[1].Bytes);
    EXPECT_EQ(InBox.MessageText, "");
}

TEST_F(KivMessageTest, ADamagedDatasetIsReportedWithoutACrash)
{
    WriteWholeFile(Folder / "KivMesg.ism", "not a definition\n");
    WriteWholeFile(Folder / "KivMesg.isd", "not a database");
    EXPECT_FALSE(Messages.NewMessageWaiting());
    EXPECT_EQ(Mine.Host.StatusTexts, std::vector<std::string>{"Attempting to check for new messages"});
    Messages.ShowNewMessages(Dialog);
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Unable to open Kiv Messages database!");
    Messages.FillInBox(InBox);
    EXPECT_EQ(InBox.Trace, "[c]");
    EXPECT_EQ(InBox.Panels[2], "Total messages = 0");
    EXPECT_EQ(RaisedText([&] { Messages.SendUserMessage("BOSS", "JSMITH", "s", "b"); })
                  .rfind("Unable to open Kiv message database - ", 0),
              0u);
    EXPECT_NE(RaisedText([&] { Messages.DeleteMessage("0000000001"); }), "");
    EXPECT_TRUE(Dialog.Shown.empty());
    EXPECT_EQ(ReadWholeFile(Folder / "KivMesg.isd"), "not a database");
    EXPECT_FALSE(Messages.IsamFile.IsOpen());
    EXPECT_FALSE(Messages.UsersFile.IsOpen());
}

TEST_F(KivMessageTest, AMissingEngineEndsTheProgramWithOneBox)
{
    TTestFolder noEngine;
    TFakeBoard fakes;
    TKivFile kiv(Folder.Path(), fakes.Ctx, "jsmith");
    EXPECT_THROW(TKivMessage(kiv, noEngine.Path()), EKivEngineMissing);
    ASSERT_EQ(fakes.Prompter.Shown.size(), 1u);
    EXPECT_EQ(fakes.Prompter.Shown[0].Text, EngineMissingText);
    EXPECT_EQ(fakes.App.Terminations, 1);
}

// Four workstations, each sending 250 messages to one colleague at the same
// time, on a board whose messages dataset none of them has seen yet.
TEST_F(KivMessageTest, FourWorkstationsSendingAtOnceLoseAndDuplicateNothing)
{
    constexpr int kSenders = 4;
    constexpr int kEach = 250;
    for (int n = 0; n < kSenders; ++n)
        AddUser("sender" + std::to_string(n), "Sender " + std::to_string(n));
    const std::vector<int> codes = RunTogether(kSenders, [&](int n) {
        TStation station(Folder.Path(), "sender" + std::to_string(n));
        for (int i = 0; i < kEach; ++i) {
            const std::string subject = std::to_string(n) + "-" + std::to_string(i);
            try {
                station.Messages.SendUserMessage("JSMITH", station.Kiv.LoginUser.LogInName, subject, "b");
            } catch (const EKivError &error) {
                std::fprintf(stderr, "sender%d, message %d: %s\n", n, i, error.what());
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
        ++subjects[message.Text(MessageRecord::Subject)];
        EXPECT_EQ(message.Text(MessageRecord::ToLogin), "JSMITH");
        EXPECT_EQ(message.Text(MessageRecord::State), "New");
    }
    EXPECT_EQ(keys.size(), stored.size());
    for (int n = 0; n < kSenders; ++n)
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(subjects[std::to_string(n) + "-" + std::to_string(i)], 1) << n << "-" << i;

    Messages.FillInBox(InBox);
    EXPECT_EQ(InBox.Panels[0], "New messages = 1000");
}
