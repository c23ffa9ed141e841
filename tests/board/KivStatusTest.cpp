// TKivStatus against the real engine: the defaults of a new catalogue, the
// lists and combos, adding, renaming and erasing, the fixed statuses, and
// several workstations creating the catalogue at once; failures the real
// engine cannot be made to give come from the counting stand-in.
#include "board/EngineCheck.h"
#include "board/KivFile.h"
#include "board/KivStatus.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/storage/TestFolder.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

std::vector<std::string> DefaultTexts()
{
    return {StatusRecord::Defaults.begin(), StatusRecord::Defaults.end()};
}

class KivStatusTest : public ::testing::Test {
protected:
    std::vector<TStoredText> Stored() const
    {
        return StoredTexts(Folder / StatusRecord::DatasetName, StatusRecord::StatusText.Width);
    }
    std::vector<std::string> StoredStatuses() const
    {
        std::vector<std::string> texts;
        for (const TStoredText &stored : Stored())
            texts.push_back(stored.Text);
        return texts;
    }
    /// The record number of the first entry of text, as the combo shows it.
    int32_t NumberOf(const std::string &text)
    {
        TFakeItemList combo;
        Status.FillStatusCombo(combo);
        EXPECT_TRUE(combo.Select(text)) << text;
        return combo.SelectedData().value_or(-1);
    }

    TTestFolder Folder;
    TFakeBoard Mine;
    TKivFile Kiv{Folder.Path(), Mine.Ctx, "admin"};
    TKivStatus Status{Kiv};
};

} // namespace

TEST_F(KivStatusTest, ANewBoardGetsTheTenDefaultsInTheirOrder)
{
    EXPECT_EQ(Status.DatasetPath(), Folder / "KivStats");
    Status.EnsureStatusDataset();
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 10u);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].Text, StatusRecord::Defaults[i]);
        EXPECT_EQ(stored[i].Key, RecordNumberText(int32_t(i + 1)));
    }

    // A combo shows them in that order, each with its record number.
    TFakeItemList combo;
    combo.AddItem("left from before", 99);
    Status.FillStatusCombo(combo);
    ASSERT_EQ(combo.Captions(), DefaultTexts());
    EXPECT_EQ(combo.Items[6], (TFakeItemList::TItem{"Offline", 7}));
    EXPECT_EQ(combo.Items[9], (TFakeItemList::TItem{"Off sick", 10}));
    EXPECT_FALSE(Status.IsamFile.IsOpen());
}

TEST_F(KivStatusTest, AnExistingCatalogueIsNeverToppedUp)
{
    Status.EnsureStatusDataset();
    for (int32_t number = 1; number <= 10; ++number)
        Status.DeleteStatus(number);
    ASSERT_TRUE(Stored().empty());
    Status.EnsureStatusDataset();
    EXPECT_TRUE(Stored().empty());

    // A catalogue another workstation made empty counts as existing too.
    TTestFolder other;
    TFakeBoard fakes;
    TKivFile kiv(other.Path(), fakes.Ctx, "admin");
    TIsamFile isam;
    ASSERT_TRUE(isam.CreateDataset(other / "KivStats", 10, "X$*31"));
    TKivStatus status(kiv);
    status.EnsureStatusDataset();
    EXPECT_TRUE(StoredTexts(other / "KivStats", 31).empty());
}

TEST_F(KivStatusTest, CombosOfferOfflineAndListsLeaveItOut)
{
    Status.EnsureStatusDataset();
    TFakeItemList combo;
    Status.FillStatusCombo(combo);
    EXPECT_EQ(combo.Items.size(), 10u);
    EXPECT_EQ(combo.Resumes, 0) << "a combo is filled without suspending its repainting";

    TFakeItemList list;
    list.AddItem("stale", 1);
    list.Selected = 0;
    Status.FillStatusList(list);
    std::vector<std::string> expected = DefaultTexts();
    expected.erase(expected.begin() + 6);
    EXPECT_EQ(list.Captions(), expected);
    EXPECT_EQ(list.Items[6], (TFakeItemList::TItem{"On holiday", 8}));
    EXPECT_FALSE(list.Selected);
    EXPECT_TRUE(list.ClearedWhileSuspended);
    EXPECT_TRUE(list.AllAddedWhileSuspended);
    EXPECT_EQ(list.Suspended, 0);
    EXPECT_EQ(list.Resumes, 1);

    // Only the exact text is left out.
    Status.AddStatus("offline");
    Status.FillStatusList(list);
    EXPECT_EQ(list.Captions().back(), "offline");
}

TEST_F(KivStatusTest, AListThatFailsWhileFillingIsRepaintedAgainAndTheDatasetClosed)
{
    Status.EnsureStatusDataset();
    TFakeItemList list;
    list.FailAtAdd = 3;
    EXPECT_THROW(Status.FillStatusList(list), std::runtime_error);
    EXPECT_EQ(list.Suspended, 0);
    EXPECT_EQ(list.Resumes, 1);
    EXPECT_FALSE(Status.IsamFile.IsOpen());
}

TEST_F(KivStatusTest, AddingChecksForTheExactStoredText)
{
    Status.EnsureStatusDataset();
    EXPECT_EQ(RaisedText([&] { Status.AddStatus("At lunch"); }), "Status \"At lunch\" already exists");
    EXPECT_EQ(Stored().size(), 10u);

    // Stored as typed: a leading blank makes another status.
    Status.AddStatus(" At lunch");
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 11u);
    EXPECT_EQ(stored[10], (TStoredText{"0000000011", " At lunch"}));
    EXPECT_FALSE(Status.IsamFile.IsOpen());
}

TEST_F(KivStatusTest, AnOverlongTextIsCutAtACharacterAndFoundAgainAsItsDuplicate)
{
    Status.EnsureStatusDataset();
    const std::string typed = std::string(29, 'x') + "\xC3\xA9"; // 30 characters, 31 bytes
    Status.AddStatus(typed);
    EXPECT_EQ(Stored().back().Text, std::string(29, 'x'));
    EXPECT_EQ(RaisedText([&] { Status.AddStatus(typed); }),
              "Status \"" + std::string(29, 'x') + "\" already exists");
    EXPECT_EQ(Stored().size(), 11u);

    Status.UpdateStatus(typed, "Working from home");
    EXPECT_EQ(Stored().back().Text, "Working from home");
}

TEST_F(KivStatusTest, RenamingOverwritesTheFoundRecordAndMayMakeTwoEqualEntries)
{
    Status.EnsureStatusDataset();
    Status.AddStatus("Lunch break");
    Status.UpdateStatus("Lunch break", "Available");
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 11u);
    EXPECT_EQ(stored[10], (TStoredText{"0000000011", "Available"}));
    EXPECT_EQ(stored[1], (TStoredText{"0000000002", "Available"}));

    EXPECT_EQ(RaisedText([&] { Status.UpdateStatus("Lunch break", "Tea"); }),
              "Unable to locate Status Lunch break\r\rObject not found");
    EXPECT_EQ(Stored(), stored);
    EXPECT_FALSE(Status.IsamFile.IsOpen());
}

TEST_F(KivStatusTest, AnEntryErasedElsewhereFailsTheReadAndTheErase)
{
    Status.EnsureStatusDataset();
    Status.AddStatus("Training");
    TFakeItemList list;
    Status.FillStatusList(list);
    ASSERT_TRUE(list.Select("Training"));

    std::string text = "before";
    Status.ReadStatus(list, text);
    EXPECT_EQ(text, "Training");

    // Another workstation erases it while this one's list still shows it.
    TFakeBoard other;
    TKivFile otherKiv(Folder.Path(), other.Ctx, "colleague");
    TKivStatus(otherKiv).DeleteStatus(*list.SelectedData());

    text = "before";
    EXPECT_EQ(RaisedText([&] { Status.ReadStatus(list, text); }), "Unable to read Status\r\rObject not found");
    EXPECT_EQ(text, "before");
    EXPECT_EQ(RaisedText([&] { Status.DeleteStatus(*list.SelectedData()); }),
              "Unable to erase status\r\rObject not found");
    EXPECT_EQ(StoredStatuses(), DefaultTexts());
    EXPECT_FALSE(Status.IsamFile.IsOpen());
}

TEST_F(KivStatusTest, ReadStatusWithoutASelectionTouchesNothing)
{
    // Not even the open, which would fail before the catalogue exists.
    TFakeItemList list;
    list.AddItem("At lunch", 1);
    std::string text = "unchanged";
    EXPECT_EQ(RaisedText([&] { Status.ReadStatus(list, text); }), "");
    EXPECT_EQ(text, "unchanged");
}

TEST_F(KivStatusTest, TheElevenFixedStatusesAreMatchedExactly)
{
    for (const char *fixed : StatusRecord::Defaults)
        EXPECT_TRUE(Status.IsFixedStatus(fixed)) << fixed;
    // Fixed without being in any catalogue, and before one exists.
    EXPECT_TRUE(Status.IsFixedStatus("On vacation"));
    EXPECT_FALSE(PathExists(Folder / "KivStats.isd"));
    for (const char *other : {"at lunch", " At lunch", "At lunch ", "DnD", "On Vacation", "", "Lunch break"})
        EXPECT_FALSE(Status.IsFixedStatus(other)) << '"' << other << '"';
}

TEST_F(KivStatusTest, BeforeTheCatalogueExistsEveryOperationFailsAtTheOpen)
{
    TFakeItemList list;
    std::string text;
    list.AddItem("At lunch", 1);
    list.Selected = 0;
    for (const auto &op : std::vector<std::function<void()>>{
             [&] { Status.AddStatus("Lunch"); }, [&] { Status.DeleteStatus(1); },
             [&] { Status.UpdateStatus("DND", "Busy"); }, [&] { Status.FillStatusCombo(list); },
             [&] { Status.FillStatusList(list); }, [&] { Status.ReadStatus(list, text); }}) {
        EXPECT_EQ(RaisedText(op).rfind("Unable to open Status dataset - ", 0), 0u);
        EXPECT_FALSE(Status.IsamFile.IsOpen());
    }
    EXPECT_EQ(list.Items.size(), 1u);
    EXPECT_FALSE(PathExists(Folder / "KivStats.isd"));
}

TEST_F(KivStatusTest, TheFolderIsTheUsersDatasetObjectsAsItIsNow)
{
    TTestFolder moved;
    Kiv.DatabaseFolder = moved.Path() + "/";
    Status.EnsureStatusDataset();
    EXPECT_EQ(StoredTexts(moved / "KivStats", 31).size(), 10u);
    EXPECT_FALSE(PathExists(Folder / "KivStats.isd"));
}

TEST_F(KivStatusTest, ADefinitionWhoseDataNeverComesFailsTheEnsureAfterABoundedWait)
{
    // What a workstation that died while creating the catalogue leaves
    // behind: the definition in place, the data file never put beside it.
    TTestFolder staging;
    TIsamFile isam;
    ASSERT_TRUE(isam.CreateDataset(staging / "KivStats", 10, "X$*31"));
    WriteWholeFile(Folder / "KivStats.ism", ReadWholeFile(staging / "KivStats.ism"));
    EXPECT_EQ(RaisedText([&] { Status.EnsureStatusDataset(); }), "Unable to open Status dataset - Corrupted dataset");
    EXPECT_FALSE(PathExists(Folder / "KivStats.isd"));
    EXPECT_FALSE(Status.IsamFile.IsOpen());
}

TEST_F(KivStatusTest, AMissingEngineEndsTheProgramBeforeAnyDatasetIsTouched)
{
    TTestFolder noEngine;
    EXPECT_THROW(TKivStatus(Kiv, noEngine.Path()), EKivEngineMissing);
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, EngineMissingText);
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Mine.App.Terminations, 1);
}

// Failures the real engine does not give on a sound dataset.
class KivStatusFakeEngineTest : public KivStatusTest {
protected:
    void SetUp() override
    {
        State = FreshFakeEngineState();
        ASSERT_NE(State, nullptr);
    }
    TKivStatus Faked{Kiv, KIV_FAKE_ENGINE_DIR};
    TFakeEngineState *State = nullptr;
};

TEST_F(KivStatusFakeEngineTest, AFailedBeginningGivesTheComboAndTheListTheirOwnMessages)
{
    State->BofAnswer = 3;
    TFakeItemList combo;
    combo.AddItem("kept", 1);
    EXPECT_EQ(RaisedText([&] { Faked.FillStatusCombo(combo); }),
              "Unable to performBOF on Status dataset - Multi-user access");
    TFakeItemList list;
    list.AddItem("kept", 1);
    EXPECT_EQ(RaisedText([&] { Faked.FillStatusList(list); }), "Unable to perform BOF on Status dataset");
    EXPECT_EQ(combo.Items.size(), 1u);
    EXPECT_EQ(list.Items.size(), 1u);
    EXPECT_EQ(list.Resumes, 0);
    EXPECT_FALSE(Faked.IsamFile.IsOpen());
}

TEST_F(KivStatusFakeEngineTest, ALookUpThatFailsForAnotherReasonAddsNothing)
{
    State->ReadAnswer = 3;
    EXPECT_EQ(RaisedText([&] { Faked.AddStatus("Lunch"); }), "Unable to add Status\r\rMulti-user access");
    EXPECT_EQ(State->Adds, 0);
    EXPECT_FALSE(Faked.IsamFile.IsOpen());
}

TEST_F(KivStatusFakeEngineTest, AFailedReplaceNamesTheErrorWithoutASeparator)
{
    State->ReadAnswer = 0;
    State->ReplaceAnswer = 14;
    EXPECT_EQ(RaisedText([&] { Faked.UpdateStatus("Lunch", "Tea"); }), "Unable to replace StatusDisk read / write error");
    EXPECT_FALSE(Faked.IsamFile.IsOpen());
}

TEST_F(KivStatusFakeEngineTest, TheLoserOfTheCreateGoesOnWithoutWritingTheDefaults)
{
    State->LoseCreateRace = true;
    EXPECT_EQ(RaisedText([&] { Faked.EnsureStatusDataset(); }), "");
    EXPECT_EQ(State->Adds, 0);
    EXPECT_FALSE(Faked.IsamFile.IsOpen());
}

TEST(KivStatusProcessTest, WorkstationsEnsuringTheCatalogueAtOnceOnANewBoardWriteTheDefaultsOnce)
{
    TIsamFile engine; // the children inherit the loaded engine
    ASSERT_TRUE(engine.EngineLoaded());
    constexpr int kWorkstations = 4;
    // A few rounds, each on a new board, so the creates really meet.
    for (int round = 0; round < 4; ++round) {
        TTestFolder folder;
        const std::vector<int> codes = RunTogether(kWorkstations, [&](int n) {
            TFakeBoard board;
            TKivFile kiv(folder.Path(), board.Ctx, "user" + std::to_string(n));
            TKivStatus status(kiv);
            try {
                status.EnsureStatusDataset();
                TFakeItemList list;
                status.FillStatusList(list);
            } catch (const EKivError &error) {
                std::fprintf(stderr, "user%d: %s\n", n, error.what());
                return 1;
            }
            return 0;
        });
        EXPECT_EQ(codes, std::vector<int>(kWorkstations, 0)) << "round " << round;
        std::vector<std::string> texts;
        for (const TStoredText &stored : StoredTexts(folder / "KivStats", 31))
            texts.push_back(stored.Text);
        EXPECT_EQ(texts, DefaultTexts()) << "round " << round;
    }
}

TEST(KivStatusProcessTest, ACatalogueThatCannotBeCreatedSaysSoAndLeavesNothing)
{
    TIsamFile engine;
    ASSERT_TRUE(engine.EngineLoaded());
    TTestFolder folder;
    const std::string board = NewReadOnlyBoard(folder.Path());
    ASSERT_FALSE(board.empty());
    const int code = RunInChild([&] {
        TFakeBoard fakes;
        TKivFile kiv(board, fakes.Ctx, "jsmith");
        TKivStatus status(kiv);
        const std::string text = RaisedText([&] { status.EnsureStatusDataset(); });
        return text == "Unable to create Status dataset - Disk read / write error" ? 0 : 1;
    }, true);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(PathExists(board + "/KivStats.ism"));
    EXPECT_FALSE(PathExists(board + "/KivStats.isd"));
}
