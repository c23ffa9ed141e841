// The board and the department tree of the main window, as the data classes
// see them: IBoardList over the report-style list lvMain, ITree over tvMain.
#pragma once

#include "board/Seams.h"

#include <QColor>
#include <QObject>

#include <memory>

class QTreeWidget;
class QTreeWidgetItem;
class TGridDelegate;
class TKivImageList;

/// The board list view. It keeps the bytes it was given for every cell, so a
/// row reads back exactly as it was added even when a text is not valid UTF-8
/// (the login column is the key by which a row's user is found).
class TBoardListView final : public IBoardList {
public:
    /// Columns of the board, in order.
    enum Column { colUser, colStatus, colUpdated, colExt, colDepartment, colLogin, colComments, ColumnCount };

    /// Sets up the widget as the board: report style, one selectable row, the
    /// seven columns with their headers and initial widths, the login column
    /// at width 0 and hidden. The images are shown by index; both objects
    /// must outlive this one.
    TBoardListView(QTreeWidget &widget, const TKivImageList &images);
    ~TBoardListView() override;

    /// Suspends repainting (and sorting) until the matching EndUpdate; calls nest.
    void BeginUpdate() override;
    /// Ends one BeginUpdate; the outermost one repaints and sorts.
    void EndUpdate() override;
    /// Removes every row. A refill (the rows added up to the outermost
    /// EndUpdate) selects again the row of the user that was selected, by
    /// login, while that user is still listed.
    void Clear() override;
    /// Adds a row at the end (or in its sorted place when the board is sorted).
    void AddRow(const TBoardRow &row) override;
    /// Sizes every column but the login column to fit its header and contents,
    /// the last one at least to the edge of the list; the login column goes
    /// back to width 0 and stays hidden.
    void AutoSizeColumns() override;
    /// Widens the last column to the list's right edge, or narrows it back
    /// to its fitted width; runs by itself whenever the list changes size.
    void FillToEdge();
    /// The selected row, if any.
    std::optional<TBoardRow> SelectedRow() const override;
    /// Number of rows.
    int RowCount() const override;
    /// The row at a position of the list as shown; raises EKivError outside it.
    TBoardRow Row(int index) const override;

    /// Sorts the rows by the User column, or leaves them in the order added.
    /// A click on a column's header sorts by that column instead.
    void SetSorted(bool sorted);
    bool Sorted() const { return FSorted; }

    /// Text and background colours of the board, and its font size in points.
    void SetFontColour(const QColor &colour);
    void SetFontSize(int points);
    /// Grid lines between the board's rows and columns.
    void SetShowGrid(bool show);
    bool ShowGrid() const;

    /// Initial width of a column.
    static int InitialWidth(Column column);
    /// Header text of a column.
    static const char *Header(Column column);

private:
    TBoardRow RowOf(const QTreeWidgetItem &item) const;
    void Sort();
    void WidenToContents();

    QTreeWidget &FWidget;
    const TKivImageList &FImages;
    std::unique_ptr<QObject> FEdgeWatch;
    TGridDelegate *FGrid = nullptr;
    int FUpdateDepth = 0;
    /// The login of the row selected when the board was last cleared, until
    /// the refill that follows has put that row back (or has not).
    std::optional<std::string> FKeptLogin;
    bool FSorted = false;
    int FSortColumn = colUser;
    Qt::SortOrder FSortOrder = Qt::AscendingOrder;
    int FLastFitted;
};

/// The department tree: one root with the departments below it, kept sorted.
class TDepartmentTreeView final : public ITree {
public:
    /// Sets up the widget as the tree: read-only, sorted by text, indent 19.
    explicit TDepartmentTreeView(QTreeWidget &widget);

    /// Removes every node.
    void Clear() override;
    /// Adds a root node; later children go below it.
    void AddRoot(const std::string &text) override;
    /// Adds a node below the last root (a root of its own when there is none).
    void AddChild(const std::string &text) override;
    /// The text of the selected node, byte for byte as it was added.
    std::optional<std::string> SelectedText() const;

private:
    QTreeWidget &FWidget;
    QTreeWidgetItem *FRoot = nullptr;
};
