// The board and the tree as the data classes fill and read them.
#include "gui/BoardList.h"
#include "gui/KivImages.h"
#include "platform/KivError.h"

#include <QHeaderView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

TBoardRow MakeRow(const std::string &name, const std::string &login, int image = 1)
{
    TBoardRow row;
    row.Caption = name;
    row.SubItems = {"Available", "Today 09:05", "2301", "Sales", login, "back at two"};
    row.ImageIndex = image;
    return row;
}

class BoardListTest : public testing::Test {
protected:
    TKivImageList Images{TKivImageSet::Small};
    QTreeWidget Widget;
    TBoardListView Board{Widget, Images};
};

} // namespace

TEST_F(BoardListTest, RowsReadBackByteForByte)
{
    // A name from a workstation writing Latin-1 is not valid UTF-8; the row
    // must still give back the very bytes, or its user could not be found.
    TBoardRow odd = MakeRow("Ren\xE9", "REN\xC9");
    odd.SubItems[TBoardRow::Comments] = std::string("a\0b", 3);
    Board.AddRow(MakeRow("Ann", "ANN", 0));
    Board.AddRow(odd);

    ASSERT_EQ(Board.RowCount(), 2);
    const TBoardRow back = Board.Row(1);
    EXPECT_EQ(back.Caption, odd.Caption);
    EXPECT_EQ(back.SubItems, odd.SubItems);
    EXPECT_EQ(back.ImageIndex, 1);
    EXPECT_EQ(Board.Row(0).ImageIndex, 0);
    EXPECT_FALSE(Widget.topLevelItem(0)->icon(0).isNull());
    EXPECT_EQ(Widget.topLevelItem(0)->text(TBoardListView::colDepartment), QStringLiteral("Sales"));

    EXPECT_THROW(Board.Row(-1), EKivError);
    try {
        Board.Row(2);
        ADD_FAILURE() << "no error past the end";
    } catch (const EKivError &e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (2)");
    }
}

TEST_F(BoardListTest, SelectionIsOneRowAndFollowsItsUserAcrossRefills)
{
    EXPECT_FALSE(Board.SelectedRow().has_value());
    Board.AddRow(MakeRow("Ann", "ANN"));
    Board.AddRow(MakeRow("Bob", "BOB"));
    Widget.topLevelItem(0)->setSelected(true);
    Widget.setCurrentItem(Widget.topLevelItem(1));
    ASSERT_TRUE(Board.SelectedRow().has_value());
    EXPECT_EQ(Board.SelectedRow()->SubItems[TBoardRow::Login], "BOB");
    EXPECT_EQ(Widget.selectedItems().size(), 1);

    // A refill keeps the selected user selected while listed, even when
    // the row moved; a user no longer listed leaves nothing selected, and a
    // later refill does not bring an old selection back.
    const auto refill = [this](const std::vector<std::string> &logins) {
        Board.BeginUpdate();
        Board.Clear();
        for (const std::string &login : logins)
            Board.AddRow(MakeRow(login, login));
        Board.EndUpdate();
        const std::optional<TBoardRow> row = Board.SelectedRow();
        return row ? row->SubItems[TBoardRow::Login] : std::string();
    };
    EXPECT_EQ(refill({"CAROL", "BOB", "ANN"}), "BOB");
    EXPECT_EQ(Widget.selectedItems().size(), 1);
    EXPECT_EQ(refill({"CAROL", "ANN"}), "");
    EXPECT_EQ(refill({"CAROL", "BOB"}), "");
}

TEST_F(BoardListTest, SortingByUserWaitsForTheOutermostUpdate)
{
    Board.AddRow(MakeRow("Carol", "CAROL"));
    Board.AddRow(MakeRow("Ann", "ANN"));
    // Unsorted, the rows stay in the order added.
    EXPECT_EQ(Board.Row(0).Caption, "Carol");

    Board.SetSorted(true);
    Board.BeginUpdate();
    Board.BeginUpdate();
    Board.AddRow(MakeRow("Bob", "BOB"));
    Board.EndUpdate();
    EXPECT_FALSE(Widget.updatesEnabled());
    EXPECT_EQ(Board.Row(2).Caption, "Bob");
    Board.EndUpdate();
    EXPECT_TRUE(Widget.updatesEnabled());
    EXPECT_EQ(Board.Row(0).Caption, "Ann");
    EXPECT_EQ(Board.Row(1).Caption, "Bob");
    EXPECT_EQ(Board.Row(2).Caption, "Carol");
    // An unmatched end leaves the count where it was.
    Board.EndUpdate();
    Board.BeginUpdate();
    EXPECT_FALSE(Widget.updatesEnabled());
    Board.EndUpdate();
}

TEST(DepartmentTree, ChildrenGoBelowTheRootInTextOrder)
{
    QTreeWidget widget;
    TDepartmentTreeView tree(widget);
    tree.AddRoot("Departments");
    for (const char *name : {"Sales", "Accounts", "Caf\xE9"})
        tree.AddChild(name);
    ASSERT_EQ(widget.topLevelItemCount(), 1);
    QTreeWidgetItem *root = widget.topLevelItem(0);
    ASSERT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->child(0)->text(0), QStringLiteral("Accounts"));
    EXPECT_EQ(root->child(2)->text(0), QStringLiteral("Sales"));

    // The filter needs the department's own bytes back.
    root->child(1)->setSelected(true);
    EXPECT_EQ(tree.SelectedText(), std::optional<std::string>("Caf\xE9"));

    // Without a root a child stands on its own and does not become one.
    tree.Clear();
    tree.AddChild("Orphan");
    tree.AddChild("Other");
    EXPECT_EQ(widget.topLevelItemCount(), 2);
}

TEST(Collation, BoardAndTreeSortAsTheLanguageDoes)
{
    const QLocale before;
    const std::vector<std::string> names{"Zeta", "Beta", "accounts", "\xC3\x84rzte"};
    const QStringList expected{"accounts", QString::fromUtf8("\xC3\x84rzte"), "Beta", "Zeta"};
    // The C locale (LANG unset, or C.UTF-8) names no language; it still gets
    // a reader's order, not the code units'.
    for (const QLocale &locale : {QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        TKivImageList images{TKivImageSet::Small};
        QTreeWidget boardWidget;
        TBoardListView board(boardWidget, images);
        board.SetSorted(true);
        QTreeWidget treeWidget;
        TDepartmentTreeView tree(treeWidget);
        tree.AddRoot("All Departments");
        for (const std::string &name : names) {
            board.AddRow(MakeRow(name, name));
            tree.AddChild(name);
        }
        QStringList rows;
        QStringList nodes;
        for (int i = 0; i < 4; ++i) {
            rows << QString::fromStdString(board.Row(i).Caption);
            nodes << treeWidget.topLevelItem(0)->child(i)->text(0);
        }
        EXPECT_EQ(rows.join(", ").toStdString(), expected.join(", ").toStdString());
        EXPECT_EQ(nodes.join(", ").toStdString(), expected.join(", ").toStdString());
    }
    QLocale::setDefault(before);
}
