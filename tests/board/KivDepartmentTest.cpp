// TKivDepartment against the real engine, on the board folder that this
// workstation's settings name.
#include "board/KivDepartment.h"
#include "config/KivCB.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/platform/TempHome.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>

namespace {

using TNames = std::vector<std::string>;

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

    TNames Stored(const std::string &folder = "") const
    {
        TNames names;
        for (const TStoredText &stored :
             StoredTexts((folder.empty() ? Folder.Path() : folder) + "/KivDeps", DepartmentRecord::Size))
            names.push_back(stored.Text);
        return names;
    }
    void Catalogue(const TNames &names)
    {
        Deps.EnsureDepartmentDataset();
        for (const std::string &name : names)
            Deps.AddDepartment(name);
    }

    TTempHome Home;
    TTestFolder Folder;
    TFakeBoard Mine;
    TKivDepartment Deps{Mine.Ctx, SettingsBoardFolder()};
};

} // namespace

TEST_F(KivDepartmentTest, ANewBoardListsNothingSilentlyAndItsTreeHasOnlyTheRoot)
{
    TFakeTree tree;
    tree.AddRoot("old root");
    tree.AddChild("old department");
    Deps.FillDepartmentTree(tree);
    EXPECT_EQ(tree.Roots, TNames{"Departments"});
    EXPECT_TRUE(tree.Children.empty());
    TFakeItemList list;
    list.AddItem("stale", 1);
    Deps.FillDepartmentList(list);
    EXPECT_EQ(list.Trace, "+[c]");
    EXPECT_TRUE(Mine.Prompter.Shown.empty());

    // Changes fail until the administration dialog has made the catalogue.
    EXPECT_EQ(RaisedText([&] { Deps.AddDepartment("Sales"); }),
              "Unable to Add the department Sales - Invalid dataset reference");
    EXPECT_FALSE(PathExists(Folder / "KivDeps.ism"));
    Catalogue({"Sales"});
    Deps.EnsureDepartmentDataset(); // showing the dialog again keeps what is there
    EXPECT_EQ(Stored(), TNames{"Sales"});
    EXPECT_TRUE(Mine.Prompter.Shown.empty());
    EXPECT_FALSE(Deps.DatasetOpen());
}

TEST_F(KivDepartmentTest, ADuplicateNameIsAWarningAndALeadingBlankMakesAnotherName)
{
    Catalogue({"Sales", "Sales"});
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Department \"Sales\" already exists");
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(Mine.Prompter.Shown[0].Buttons, TMsgButtons::Ok);
    Deps.AddDepartment(" Sales");
    EXPECT_EQ(Stored(), (TNames{"Sales", " Sales"}));
    EXPECT_EQ(Mine.Prompter.Shown.size(), 1u);
}

TEST_F(KivDepartmentTest, ComboAndTreeFollowTheOrderOfAddingAndRenamingMayMakeTwoEqualNames)
{
    Catalogue({"Sales", "Accounts", "Warehouse"});
    std::string selected;
    Deps.ReadSelectedDepartment(2, selected);
    Deps.UpdateDepartment(selected, "Sales");
    TFakeItemList combo;
    Deps.FillDepartmentCombo(combo);
    EXPECT_EQ(combo.Items, (std::vector<TFakeItemList::TItem>{{"Sales", 1}, {"Sales", 2}, {"Warehouse", 3}}));
    TFakeTree tree;
    Deps.FillDepartmentTree(tree);
    EXPECT_EQ(tree.Children, (TNames{"Sales", "Sales", "Warehouse"}));

    EXPECT_EQ(RaisedText([&] { Deps.UpdateDepartment("Accounts", "Finance"); }),
              "Unable to locate the department Accounts\r\rObject not found");
    EXPECT_FALSE(Deps.DatasetOpen());
}

TEST_F(KivDepartmentTest, ThePickersReadOfAnEntryErasedElsewhereIsAnErrorBoxAndChangesNothing)
{
    Catalogue({"Sales", "Accounts"});
    TFakeItemList list;
    Deps.FillDepartmentList(list);
    ASSERT_TRUE(list.Select("Accounts"));
    std::string picked;
    Deps.ReadDepartment(list, picked);
    EXPECT_EQ(picked, "Accounts");

    TFakeBoard other;
    TKivDepartment(other.Ctx, SettingsBoardFolder()).DeleteDepartment(*list.SelectedData());
    picked = "before";
    Deps.ReadDepartment(list, picked);
    EXPECT_EQ(picked, "before");
    ASSERT_EQ(Mine.Prompter.Shown.size(), 1u);
    EXPECT_EQ(Mine.Prompter.Shown[0].Text, "Object not found\r");
    EXPECT_EQ(Mine.Prompter.Shown[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(RaisedText([&] { Deps.DeleteDepartment(*list.SelectedData()); }),
              "Unable to erarse department\r\rObject not found");
    EXPECT_EQ(Stored(), TNames{"Sales"});
    EXPECT_FALSE(Deps.DatasetOpen());
}

TEST_F(KivDepartmentTest, TheFolderIsReadFromTheSettingsAtEveryOperation)
{
    Catalogue({"Sales"});
    TTestFolder other;
    SetBoardFolder(other.Path()); // without its trailing separator
    Catalogue({"Warehouse"});
    EXPECT_EQ(Stored(other.Path()), TNames{"Warehouse"});
    EXPECT_EQ(Stored(), TNames{"Sales"});

    // A blank setting names no folder: nothing is made at the root.
    SetBoardFolder("");
    EXPECT_EQ(Deps.DatasetPath(), "");
    Deps.EnsureDepartmentDataset();
    TFakeTree tree;
    Deps.FillDepartmentTree(tree);
    EXPECT_EQ(tree.Roots, TNames{"Departments"});
    EXPECT_FALSE(PathExists("/KivDeps.ism"));
}

TEST_F(KivDepartmentTest, AFailedReplaceJoinsTheOldNameAndTheErrorWithoutASeparator)
{
    TKivDepartment faked(Mine.Ctx, SettingsBoardFolder(), KIV_FAKE_ENGINE_DIR);
    TFakeEngineState *state = FreshFakeEngineState(DepartmentRecord::Format);
    ASSERT_NE(state, nullptr);
    state->ReadAnswer = 0;
    state->ReplaceAnswer = 14;
    EXPECT_EQ(RaisedText([&] { faked.UpdateDepartment("Sales", "Sales team"); }),
              "Unable to update the department SalesDisk read / write error");
    EXPECT_FALSE(faked.DatasetOpen());
}
