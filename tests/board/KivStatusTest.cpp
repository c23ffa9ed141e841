// TKivStatus against the real engine, and several workstations creating the
// catalogue at once; failures the real engine cannot be made to give come
// from the counting stand-in.
#include "board/KivStatus.h"
#include "board/Catalogue.h"
#include "board/KivFile.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/board/EitherBoard.h"
#include "tests/storage/TestFolder.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {

std::vector<std::string> DefaultTexts()
{
    return {StatusRecord::Defaults.begin(), StatusRecord::Defaults.end()};
}

std::vector<std::string> StoredStatuses(const std::string &folder)
{
    std::vector<std::string> texts;
    for (const TStoredText &stored : StoredTexts(BoardDatasetPath(folder, "KivStats"), StatusRecord::Size))
        texts.push_back(stored.Text);
    return texts;
}

class KivStatusTest : public ::testing::TestWithParam<TBoardKind> {
protected:
    std::vector<std::string> Stored() const { return StoredStatuses(Board.Location); }

    TEitherBoard Board{GetParam()};
    TFakeBoard Mine;
    TKivFile Kiv{Board.Location, Mine.Ctx, "admin"};
    TKivStatus Status{Kiv};
};
KIV_ON_BOTH_BOARD_KINDS(KivStatusTest);

} // namespace

TEST_P(KivStatusTest, ANewBoardGetsTheTenDefaultsInOrderAndAnExistingOneKeepsItsEntries)
{
    Status.EnsureStatusDataset();
    TFakeItemList combo;
    combo.AddItem("left from before", 99);
    Status.FillStatusCombo(combo);
    ASSERT_EQ(combo.Captions(), DefaultTexts());
    EXPECT_EQ(combo.Trace, "+c++++++++++");
    EXPECT_EQ(combo.Items[9], (TFakeItemList::TItem{"Off sick", 10}));

    Status.AddStatus("Working from home");
    Status.EnsureStatusDataset();
    std::vector<std::string> expected = DefaultTexts();
    expected.push_back("Working from home");
    EXPECT_EQ(Stored(), expected);
    EXPECT_FALSE(Status.DatasetOpen());
}

TEST_P(KivStatusTest, CombosOfferOfflineAndListsLeaveItOutWithRepaintingSuspended)
{
    Status.EnsureStatusDataset();
    TFakeItemList list;
    list.AddItem("stale", 1);
    list.Selected = 0;
    Status.FillStatusList(list);
    std::vector<std::string> expected = DefaultTexts();
    expected.erase(expected.begin() + 6);
    EXPECT_EQ(list.Captions(), expected);
    EXPECT_EQ(list.Items[6], (TFakeItemList::TItem{"On holiday", 8}));
    EXPECT_FALSE(list.Selected);
    EXPECT_EQ(list.Trace, "+[c+++++++++]");

    // Repainting comes back when the list fails part-way, and the dataset is closed.
    TFakeItemList failing;
    failing.FailAtAdd = 3;
    EXPECT_THROW(Status.FillStatusList(failing), std::runtime_error);
    EXPECT_EQ(failing.Trace, "[c++]");
    EXPECT_FALSE(Status.DatasetOpen());
}

TEST_P(KivStatusTest, AddingRefusesOnlyTheExactStoredText)
{
    Status.EnsureStatusDataset();
    EXPECT_EQ(RaisedText([&] { Status.AddStatus("At lunch"); }), "Status \"At lunch\" already exists");
    EXPECT_EQ(Stored().size(), 10u);
    Status.AddStatus(" At lunch");
    EXPECT_EQ(Stored().back(), " At lunch");

    // A text too long for the field is cut at a character, and found again.
    const std::string typed = std::string(29, 'x') + "\xC3\xA9"; // 30 characters, 31 bytes
    Status.AddStatus(typed);
    EXPECT_EQ(Stored().back(), std::string(29, 'x'));
    EXPECT_EQ(RaisedText([&] { Status.AddStatus(typed); }), "Status \"" + std::string(29, 'x') + "\" already exists");
    EXPECT_EQ(Stored().size(), 12u);
}

TEST_P(KivStatusTest, RenamingMayMakeTwoEqualEntriesAndAnUnknownTextIsNamed)
{
    Status.EnsureStatusDataset();
    Status.AddStatus("Lunch break");
    Status.UpdateStatus("Lunch break", "Available");
    const auto stored = StoredTexts(BoardDatasetPath(Board.Location, "KivStats"), StatusRecord::Size);
    EXPECT_EQ(stored[10], (TStoredText{"0000000011", "Available"}));
    EXPECT_EQ(stored[1].Text, "Available");
    EXPECT_EQ(RaisedText([&] { Status.UpdateStatus("Lunch break", "Tea"); }),
              "Unable to locate Status Lunch break\r\rObject not found");
    EXPECT_FALSE(Status.DatasetOpen());
}

TEST_P(KivStatusTest, AnEntryErasedElsewhereFailsTheReadAndTheErase)
{
    Status.EnsureStatusDataset();
    Status.AddStatus("Training");
    TFakeItemList list;
    Status.FillStatusList(list);
    ASSERT_TRUE(list.Select("Training"));
    std::string text;
    Status.ReadStatus(list, text);
    EXPECT_EQ(text, "Training");

    TFakeBoard other;
    TKivFile otherKiv(Board.Location, other.Ctx, "colleague");
    TKivStatus(otherKiv).DeleteStatus(*list.SelectedData());
    text = "before";
    EXPECT_EQ(RaisedText([&] { Status.ReadStatus(list, text); }), "Unable to read Status\r\rObject not found");
    EXPECT_EQ(text, "before");
    EXPECT_EQ(RaisedText([&] { Status.DeleteStatus(*list.SelectedData()); }),
              "Unable to erase status\r\rObject not found");
    EXPECT_EQ(Stored(), DefaultTexts());
}

TEST_P(KivStatusTest, BeforeTheCatalogueExistsOnlyTheFixedStatusesAndAReadWithoutSelectionWork)
{
    EXPECT_TRUE(Status.IsFixedStatus("On vacation"));
    EXPECT_TRUE(Status.IsFixedStatus("Off sick"));
    for (const char *other : {"at lunch", " At lunch", "On Vacation", ""})
        EXPECT_FALSE(Status.IsFixedStatus(other)) << '"' << other << '"';

    TFakeItemList list;
    list.AddItem("At lunch", 1);
    std::string text = "unchanged";
    Status.ReadStatus(list, text); // no selection: not even the open is tried
    EXPECT_EQ(text, "unchanged");
    list.Selected = 0;
    EXPECT_EQ(RaisedText([&] { Status.ReadStatus(list, text); }).rfind("Unable to open Status dataset - ", 0), 0u);
    EXPECT_EQ(RaisedText([&] { Status.AddStatus("Lunch"); }).rfind("Unable to open Status dataset - ", 0), 0u);
    EXPECT_FALSE(MakeBoardLocation(Board.Location)->DatasetExists("KivStats"));
}

// Failures the real engine does not give on a sound dataset.
class KivStatusFakeEngineTest : public KivStatusTest {
protected:
    void SetUp() override { ASSERT_NE(State = FreshFakeEngineState(StatusRecord::Format), nullptr); }
    TKivStatus Faked{Kiv, KIV_FAKE_ENGINE_DIR};
    TFakeEngineState *State = nullptr;
};
INSTANTIATE_TEST_SUITE_P(On, KivStatusFakeEngineTest, ::testing::Values(TBoardKind::Folder), BoardKindName);

TEST_P(KivStatusFakeEngineTest, AFailedBeginningGivesTheComboAndTheListTheirOwnMessages)
{
    State->BofAnswer = 3;
    TFakeItemList combo, list;
    EXPECT_EQ(RaisedText([&] { Faked.FillStatusCombo(combo); }),
              "Unable to performBOF on Status dataset - Multi-user access");
    EXPECT_EQ(RaisedText([&] { Faked.FillStatusList(list); }), "Unable to perform BOF on Status dataset");
    EXPECT_EQ(combo.Trace + list.Trace, "");
    EXPECT_FALSE(Faked.DatasetOpen());
}

TEST_P(KivStatusFakeEngineTest, ALookUpThatFailsForAnotherReasonAddsNothing)
{
    State->ReadAnswer = 3;
    EXPECT_EQ(RaisedText([&] { Faked.AddStatus("Lunch"); }), "Unable to add Status\r\rMulti-user access");
    EXPECT_EQ(State->Adds, 0);
}

// A workstation killed while it wrote the defaults of a new catalogue left
// it without the rest, for good: every later start saw KivStats.isd.
TEST(KivStatusProcessTest, DefaultsACreatorKilledBeforeWritingAreAddedBackInOrderAtTheEnd)
{
    TIsamFile engine; // the children inherit the loaded engine
    ASSERT_TRUE(engine.EngineLoaded());
    TTestFolder folder;
    const std::string path = folder / StatusRecord::DatasetName;
    const int killed = RunInChild([&] {
        TIsamFile isam;
        if (!isam.CreateDataset(path, Catalogue::KeyLength, StatusRecord::Format)
            || !isam.OpenDataset(path, Catalogue::OpenMode, StatusRecord::Format))
            return 1;
        for (const char *status : {"At lunch", "Available", "Away from desk"}) {
            std::array<char, StatusRecord::Size> record{};
            PutText(record.data(), StatusRecord::StatusText, status);
            if (!isam.AddRecord(record.data()))
                return 2;
        }
        raise(SIGKILL);
        return 3;
    });
    ASSERT_EQ(killed, -1);
    TFakeBoard board;
    TKivFile kiv(folder.Path(), board.Ctx, "admin");
    TKivStatus status(kiv);
    status.AddStatus("Working from home"); // an administrator got there first
    status.EnsureStatusDataset();
    std::vector<std::string> expected{"At lunch", "Available", "Away from desk", "Working from home"};
    expected.insert(expected.end(), StatusRecord::Defaults.begin() + 3, StatusRecord::Defaults.end());
    EXPECT_EQ(StoredStatuses(folder.Path()), expected);
    status.EnsureStatusDataset();
    EXPECT_EQ(StoredStatuses(folder.Path()), expected);
}

// Workstations that come a moment after the creator find the catalogue
// without its last defaults, and must not add them too.
TEST(KivStatusProcessTest, WorkstationsEnsuringWhileTheCreatorWritesAddNoDefaultTwice)
{
    TIsamFile engine;
    ASSERT_TRUE(engine.EngineLoaded());
    constexpr int kWorkstations = 4;
    for (int round = 0; round < 3; ++round) {
        TTestFolder folder;
        const std::vector<int> codes = RunTogether(kWorkstations, [&](int n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(n * 4 * (round + 1)));
            TFakeBoard board;
            TKivFile kiv(folder.Path(), board.Ctx, "user" + std::to_string(n));
            const std::string text = RaisedText([&] { TKivStatus(kiv).EnsureStatusDataset(); });
            if (!text.empty())
                std::fprintf(stderr, "user%d: %s\n", n, text.c_str());
            return text.empty() ? 0 : 1;
        });
        EXPECT_EQ(codes, std::vector<int>(kWorkstations, 0)) << "round " << round;
        EXPECT_EQ(StoredStatuses(folder.Path()), DefaultTexts()) << "round " << round;
    }
}

TEST(KivStatusProcessTest, WorkstationsEnsuringTheCatalogueAtOnceOnANewBoardWriteTheDefaultsOnce)
{
    TIsamFile engine; // the children inherit the loaded engine
    ASSERT_TRUE(engine.EngineLoaded());
    constexpr int kWorkstations = 4;
    for (int round = 0; round < 4; ++round) { // each on a new board, so the creates really meet
        TTestFolder folder;
        const std::vector<int> codes = RunTogether(kWorkstations, [&](int n) {
            TFakeBoard board;
            TKivFile kiv(folder.Path(), board.Ctx, "user" + std::to_string(n));
            TKivStatus status(kiv);
            TFakeItemList list;
            const std::string text = RaisedText([&] {
                status.EnsureStatusDataset();
                status.FillStatusList(list);
            });
            if (!text.empty())
                std::fprintf(stderr, "user%d: %s\n", n, text.c_str());
            return text.empty() ? 0 : 1;
        });
        EXPECT_EQ(codes, std::vector<int>(kWorkstations, 0)) << "round " << round;
        EXPECT_EQ(StoredStatuses(folder.Path()), DefaultTexts()) << "round " << round;
    }
}
