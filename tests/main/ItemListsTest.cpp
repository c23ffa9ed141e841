// The list and combo boxes as the data classes fill them.
#include "gui/ItemLists.h"

#include <QComboBox>
#include <QListWidget>

#include <gtest/gtest.h>

TEST(ItemListsTest, SortedListsOrderAsTheLanguageDoesAndKeepEveryByte)
{
    QListWidget widget;
    TListBoxItems list(widget, true);
    const std::string invalid = "Caf\xe9";
    for (const std::string &caption : {std::string("Zeta"), std::string("accounts"), invalid, std::string("Beta")})
        list.AddItem(caption, static_cast<int32_t>(caption.size()));

    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Text(0), "accounts");
    EXPECT_EQ(list.Text(list.Count() - 1), "Zeta");
    EXPECT_FALSE(list.SelectedData());

    for (int i = 0; i < list.Count(); ++i)
        if (list.Text(i) == invalid)
            widget.item(i)->setSelected(true);
    EXPECT_EQ(list.SelectedText(), invalid);
    EXPECT_EQ(list.SelectedData(), 4);
}

TEST(ItemListsTest, ACombosSelectionIsOnlyWhatWasChosen)
{
    QComboBox widget;
    TComboItems combo(widget, true);
    combo.AddItem("Sales", 1);
    combo.AddItem("accounts", 2);
    EXPECT_FALSE(combo.SelectedData()) << "adding an item chooses nothing";
    EXPECT_EQ(combo.SelectedText(), "");

    EXPECT_FALSE(combo.SelectExact("sales")) << "letter case counts";
    EXPECT_FALSE(combo.SelectedData());
    EXPECT_TRUE(combo.SelectExact("Sales"));
    combo.AddItem("Admin", 3);
    EXPECT_EQ(combo.SelectedText(), "Sales") << "an item added before it keeps the choice";
    EXPECT_EQ(combo.SelectedData(), 1);

    combo.Clear();
    EXPECT_EQ(combo.Count(), 0);
    EXPECT_FALSE(combo.SelectedData());
}
