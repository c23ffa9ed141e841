// kivctl's send, inbox, read and delete, with a colleague played in this
// process through the board's own classes.
#include "board/KivMessage.h"
#include "tests/ctl/CtlTesting.h"

using MessageCommandsTest = TCtlEitherTest;
KIV_ON_BOTH_BOARD_KINDS(MessageCommandsTest);

TEST_P(MessageCommandsTest, MessagesAreSentListedReadMarkedOldAndDeletedOnlyByTheirRecipient)
{
    ASSERT_EQ(OnBoard({"board"}).Code, 0);
    AddUser("CLERK1");
    TFakeBoard fakes;
    TKivFile clerkFile(Board, fakes.Ctx, "CLERK1");
    TKivMessage clerk(clerkFile);
    clerk.SendUserMessage(Me, "CLERK1", "Lunch today?", "At 12, the \"usual\" place.");

    ASSERT_EQ(OnBoard({"send", "clerk1", "Re: Lunch", "Yes"}).Code, 0);
    TFakeInBox clerksBox;
    clerk.FillInBox(clerksBox);
    ASSERT_EQ(clerksBox.Rows.size(), 1u);
    EXPECT_EQ(clerksBox.Rows[0].Caption + "|" + clerksBox.Rows[0].SubItems[TInBoxRow::Subject], Me + "|Re: Lunch");

    const TCtlResult listed = OnBoard({"inbox", "--csv"});
    EXPECT_EQ(listed.Out.substr(0, listed.Out.find("\r\n")), "From,Subject,Type,Key,Received");
    std::vector<std::string> row = Split(CsvRows({"inbox"}).at(0));
    EXPECT_EQ(row[0] + "|" + row[1] + "|" + row[2], "CLERK1|Lunch today?|New");
    const std::string key = row[3];

    const TCtlResult read = OnBoard({"read", key});
    ASSERT_EQ(read.Code, 0) << read.Err;
    EXPECT_NE(read.Out.find("Subject: Lunch today?\n"), std::string::npos) << read.Out;
    EXPECT_NE(read.Out.find("\n\nAt 12, the \"usual\" place.\n"), std::string::npos) << read.Out;
    EXPECT_EQ(Split(CsvRows({"inbox"}).at(0))[2], "Old");

    const std::string clerksKey = clerksBox.Rows[0].SubItems[TInBoxRow::PrimaryKey];
    EXPECT_EQ(OnBoard({"read", clerksKey}).Code, 1);
    EXPECT_EQ(OnBoard({"delete", clerksKey}).Code, 1);
    ASSERT_EQ(OnBoard({"delete", std::to_string(std::stoi(key))}).Code, 0); // leading zeros may be left out
    EXPECT_TRUE(CsvRows({"inbox"}).empty());
    EXPECT_EQ(OnBoard({"delete", key}).Code, 1);
    clerk.FillInBox(clerksBox);
    EXPECT_EQ(clerksBox.Rows.size(), 1u);

    const TCtlResult unknown = OnBoard({"send", "nosuch", "a", "b"});
    EXPECT_EQ(unknown.Code, 1);
    EXPECT_EQ(unknown.Err.rfind("kivctl: Unable to find NOSUCH in Users Databse!\n\n", 0), 0u) << unknown.Err;
    Configure(0, 0);
    const TCtlResult refused = OnBoard({"send", "CLERK1", "a", "b"});
    EXPECT_EQ(refused.Code, 1);
    EXPECT_EQ(refused.Err, "kivctl: Messages are not allowed on this board\n");
}
