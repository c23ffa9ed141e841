// TKivDepartment against the real engine, on the board folder that this
// workstation's settings name: a board without departments, adding, renaming
// and erasing, the picker's read, the tree, and the folder read afresh at
// every operation.
#include "board/EngineCheck.h"
#include "board/KivDepartment.h"
#include "config/KivCB.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/platform/TempHome.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>

namespace {

/// Points this workstation's settings at folder.
void SetBoardFolder(const std::string &folder)
{
    TKivSettings settings;
    TKivCB().ReadSettings(settings);
    settings.KivDBasePath = folder;
    TKivCB().WriteSettings(settings);
}

class KivDepartmentTest : public ::testing::Test {
protected:
    void SetUp() override { SetBoardFolder(Folder.Path() + "/"); }

    std::vector<std::string> StoredNames() const
    {
        std::vector<std::string> names;
        for (const TStoredText &stored : StoredTexts(Folder / "KivDeps", DepartmentRecord::DepartmentName.Width))
            names.push_back(stored.Text);
        return names;
    }
    /// A department catalogue holding names, in that order.
    void Catalogue(const std::vector<std::string> &names)
    {
        Deps.EnsureDepartmentDataset();
        for (const std::string &name : names)
            Deps.AddDepartment(name);
    }
    /// The list box of the administration dialog, filled, with name selected.
    TFakeItemList ListSelecting(const std::string &name)
    {
        TFakeItemList list;
        Deps.FillDepartmentList(list);
        EXPECT_TRUE(list.Select(name)) << name;
        return list;
    }

    TTempHome Home;
    TTestFolder Folder;
    TFakeBoard Mine;
    TKivDepartment Deps{Mine.Ctx};
};

} // namespace

TEST_F(KivDepartmentTest, ANewBoardListsNothingAndItsTreeHasOnlyTheRoot)
{
    TFakeTree tree;
    tree.AddRoot("old root");
    tree.AddChild("old department");
    Deps.FillDepartmentTree(tree);
    EXPECT_EQ(tree.Roots, std::vector<std::string>{"Departments"});
    EXPECT_TRUE(tree.Children.empty());

    TFakeItemList combo, list;
    combo.AddItem("stale", 1);
    list.AddItem("stale", 1);
    Deps.FillDepartmentCombo(combo);
    Deps.FillDepartmentList(list);
    EXPECT_TRUE(combo.Items.empty());
    EXPECT_TRUE(list.Items.empty());
    EXPECT_EQ(list.Resumes, 1);
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
    EXPECT_FALSE(PathExists(Folder / "KivDeps.ism"));

    // Showing the administration dialog makes the catalogue, empty.
    Deps.EnsureDepartmentDataset();
    EXPECT_TRUE(PathExists(Folder / "KivDeps.isd"));
    EXPECT_TRUE(StoredNames().empty());
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
    EXPECT_FALSE(Deps.IsamFile.IsOpen());
}

TEST_F(KivDepartmentTest, EnsuringAgainKeepsTheDepartments)
{
    Catalogue({"Sales", "Accounts"});
    Deps.EnsureDepartmentDataset();
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Sales", "Accounts"}));
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
}

TEST_F(KivDepartmentTest, ADuplicateNameIsAWarningAndAddsNothing)
{
    Catalogue({"Sales"});
    Deps.AddDepartment("Sales");
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Department \"Sales\" already exists");
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(Mine.Prompter.Shown[0].Buttons, TMsgButtons::Ok);
    EXPECT_EQ(StoredNames(), std::vector<std::string>{"Sales"});

    // Stored as typed: a leading blank makes another department.
    Deps.AddDepartment(" Sales");
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Sales", " Sales"}));
    EXPECT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_FALSE(Deps.IsamFile.IsOpen());
}

TEST_F(KivDepartmentTest, AnOverlongNameIsCutAtACharacterAndFoundAgainAsItsDuplicate)
{
    const std::string typed = std::string(19, 'd') + "\xC3\xA9"; // 20 characters, 21 bytes
    Catalogue({typed});
    EXPECT_EQ(StoredNames(), std::vector<std::string>{std::string(19, 'd')});
    Deps.AddDepartment(typed);
    EXPECT_EQ(StoredNames().size(), 1u);
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
}

TEST_F(KivDepartmentTest, ListsComboAndTreeCarryTheNamesInTheOrderOfAdding)
{
    Catalogue({"Sales", "Accounts", "Warehouse"});
    TFakeItemList combo;
    Deps.FillDepartmentCombo(combo);
    EXPECT_EQ(combo.Items, (std::vector<TFakeItemList::TItem>{{"Sales", 1}, {"Accounts", 2}, {"Warehouse", 3}}));
    EXPECT_EQ(combo.Resumes, 0);

    TFakeItemList list;
    Deps.FillDepartmentList(list);
    EXPECT_EQ(list.Items, combo.Items);
    EXPECT_TRUE(list.ClearedWhileSuspended);
    EXPECT_TRUE(list.AllAddedWhileSuspended);
    EXPECT_EQ(list.Suspended, 0);

    TFakeTree tree;
    Deps.FillDepartmentTree(tree);
    EXPECT_EQ(tree.Roots, std::vector<std::string>{"Departments"});
    EXPECT_EQ(tree.Children, (std::vector<std::string>{"Sales", "Accounts", "Warehouse"}));
    EXPECT_FALSE(Deps.IsamFile.IsOpen());

    TFakeItemList failing;
    failing.FailAtAdd = 2;
    EXPECT_THROW(Deps.FillDepartmentList(failing), std::runtime_error);
    EXPECT_EQ(failing.Suspended, 0);
    EXPECT_FALSE(Deps.IsamFile.IsOpen());
}

TEST_F(KivDepartmentTest, RenamingOverwritesTheFoundRecordAndMayMakeTwoEqualEntries)
{
    Catalogue({"Sales", "Accounts"});
    std::string selected;
    Deps.ReadSelectedDepartment(2, selected);
    EXPECT_EQ(selected, "Accounts");
    Deps.UpdateDepartment(selected, "Sales");
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Sales", "Sales"}));

    EXPECT_EQ(RaisedText([&] { Deps.UpdateDepartment("Accounts", "Finance"); }),
              "Unable to locate the department Accounts\r\rObject not found");
    EXPECT_EQ(RaisedText([&] { Deps.ReadSelectedDepartment(7, selected); }),
              "Unable to locate department \r\rObject not found");
    EXPECT_EQ(selected, "Accounts");
    EXPECT_FALSE(Deps.IsamFile.IsOpen());
}

TEST_F(KivDepartmentTest, ErasingByRecordNumber)
{
    Catalogue({"Sales", "Accounts"});
    TFakeItemList list = ListSelecting("Sales");
    Deps.DeleteDepartment(*list.SelectedData());
    EXPECT_EQ(StoredNames(), std::vector<std::string>{"Accounts"});
    EXPECT_EQ(RaisedText([&] { Deps.DeleteDepartment(*list.SelectedData()); }),
              "Unable to erarse department\r\rObject not found");
    EXPECT_FALSE(Deps.IsamFile.IsOpen());
}

TEST_F(KivDepartmentTest, ThePickersReadOfAnEntryErasedElsewhereIsAnErrorBoxAndChangesNothing)
{
    Catalogue({"Sales", "Accounts"});
    TFakeItemList list = ListSelecting("Accounts");
    std::string picked = "before";
    Deps.ReadDepartment(list, picked);
    EXPECT_EQ(picked, "Accounts");

    TFakeBoard other;
    TKivDepartment(other.Ctx).DeleteDepartment(*list.SelectedData());
    picked = "before";
    EXPECT_EQ(RaisedText([&] { Deps.ReadDepartment(list, picked); }), "");
    EXPECT_EQ(picked, "before");
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Object not found\r");
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Mine.Prompter.Shown[0].Buttons, TMsgButtons::Ok);
    EXPECT_FALSE(Deps.IsamFile.IsOpen());

    // Without a selection nothing is read and nothing is shown.
    list.Selected.reset();
    Deps.ReadDepartment(list, picked);
    EXPECT_EQ(picked, "before");
    EXPECT_EQ(Mine.Prompter.Shown.size(), 1u);
}

TEST_F(KivDepartmentTest, BeforeTheCatalogueExistsChangesFailWithTheirMessages)
{
    EXPECT_EQ(RaisedText([&] { Deps.AddDepartment("Sales"); }),
              "Unable to Add the department Sales - Invalid dataset reference");
    EXPECT_EQ(RaisedText([&] { Deps.UpdateDepartment("Sales", "Sales team"); }),
              "Unable to locate the department Sales\r\rInvalid dataset reference");
    EXPECT_EQ(RaisedText([&] { Deps.DeleteDepartment(1); }), "Unable to erarse department\r\rInvalid dataset reference");
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
    EXPECT_FALSE(PathExists(Folder / "KivDeps.ism"));
}

TEST_F(KivDepartmentTest, TheFolderIsReadFromTheSettingsAtEveryOperation)
{
    Catalogue({"Sales"});
    TTestFolder other;
    SetBoardFolder(other.Path()); // without its trailing separator
    EXPECT_EQ(Deps.DatasetPath(), other / "KivDeps");
    TFakeTree tree;
    Deps.FillDepartmentTree(tree);
    EXPECT_TRUE(tree.Children.empty());
    Deps.EnsureDepartmentDataset();
    Deps.AddDepartment("Warehouse");
    EXPECT_EQ(StoredTexts(other / "KivDeps", 21), (std::vector<TStoredText>{{"0000000001", "Warehouse"}}));
    EXPECT_EQ(StoredNames(), std::vector<std::string>{"Sales"});
}

TEST_F(KivDepartmentTest, ABlankFolderSettingTouchesNoFileAnywhere)
{
    SetBoardFolder(" ");
    EXPECT_EQ(Deps.DatasetPath(), "");
    Deps.EnsureDepartmentDataset();
    TFakeTree tree;
    Deps.FillDepartmentTree(tree);
    EXPECT_EQ(tree.Roots, std::vector<std::string>{"Departments"});
    EXPECT_EQ(RaisedText([&] { Deps.AddDepartment("Sales"); }),
              "Unable to Add the department Sales - Invalid dataset reference");
    EXPECT_FALSE(PathExists("/KivDeps.ism"));
    EXPECT_FALSE(PathExists("/ KivDeps.ism"));
}

TEST_F(KivDepartmentTest, TheFilterStartsOffAndIsLeftToItsCallers)
{
    EXPECT_FALSE(Deps.FilterOn);
    EXPECT_EQ(Deps.FilterDepartment, "");
    Deps.FilterOn = true;
    Deps.FilterDepartment = "Sales";
    Catalogue({"Accounts"});
    TFakeTree tree;
    Deps.FillDepartmentTree(tree);
    EXPECT_TRUE(Deps.FilterOn);
    EXPECT_EQ(Deps.FilterDepartment, "Sales");
}

TEST_F(KivDepartmentTest, AMissingEngineEndsTheProgramBeforeAnyDatasetIsTouched)
{
    TTestFolder noEngine;
    EXPECT_THROW(TKivDepartment(Mine.Ctx, noEngine.Path()), EKivEngineMissing);
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, EngineMissingText);
    EXPECT_EQ(Mine.App.Terminations, 1);
}

// Failures the real engine does not give on a sound dataset.
class KivDepartmentFakeEngineTest : public KivDepartmentTest {
protected:
    void SetUp() override
    {
        KivDepartmentTest::SetUp();
        State = FreshFakeEngineState();
        ASSERT_NE(State, nullptr);
    }
    TKivDepartment Faked{Mine.Ctx, KIV_FAKE_ENGINE_DIR};
    TFakeEngineState *State = nullptr;
};

TEST_F(KivDepartmentFakeEngineTest, AFailedReplaceJoinsTheOldNameAndTheErrorWithoutASeparator)
{
    State->ReadAnswer = 0;
    State->ReplaceAnswer = 14;
    EXPECT_EQ(RaisedText([&] { Faked.UpdateDepartment("Sales", "Sales team"); }),
              "Unable to update the department SalesDisk read / write error");
    EXPECT_FALSE(Faked.IsamFile.IsOpen());
}

TEST_F(KivDepartmentFakeEngineTest, ALookUpThatFailsForAnotherReasonAddsNothing)
{
    State->ReadAnswer = 3;
    EXPECT_EQ(RaisedText([&] { Faked.AddDepartment("Sales"); }),
              "Unable to Add the department Sales - Multi-user access");
    EXPECT_EQ(State->Adds, 0);
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
}
