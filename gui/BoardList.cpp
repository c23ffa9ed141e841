#include "gui/BoardList.h"

#include "gui/Collation.h"
#include "gui/KivImages.h"
#include "platform/KivError.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPalette>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<const char *, TBoardListView::ColumnCount> Headers{"User",       "Status",  "Updated",    "Ext",
                                                                        "Department", "PC Name", "Comments..."};
constexpr std::array<int, TBoardListView::ColumnCount> InitialWidths{59, 58, 41, 58, 58, 0, 58};

// Each cell keeps the bytes it was given beside the text it shows.
constexpr int BytesRole = Qt::UserRole;
constexpr int ImageRole = Qt::UserRole + 1;
/// The presence of a row's user, kept on the User cell: the time the status
/// ends and the time their copy of Kiv stopped.
constexpr int UntilRole = Qt::UserRole + 2;
constexpr int StoppedRole = Qt::UserRole + 3;

QString Shown(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QByteArray Kept(const std::string &bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Keeps the last column at the list's edge as the list is resized.
class TEdgeWatch final : public QObject {
public:
    explicit TEdgeWatch(TBoardListView &board) : FBoard(board) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            FBoard.FillToEdge();
        return false;
    }

private:
    TBoardListView &FBoard;
};

// Rows and tree nodes sort as the user's language orders words (accounts,
// Ärzte, Beta, Zeta), in every locale.
class TCollatedItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        return KivCollator().compare(text(column), other.text(column)) < 0;
    }
};

std::string Bytes(const QTreeWidgetItem &item, int column)
{
    const QByteArray bytes = item.data(column, BytesRole).toByteArray();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace

/// Draws the cells as usual and, when asked, a line along the right and the
/// bottom edge of each: the board's grid.
class TGridDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool Show = false;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!Show)
            return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
};

int TBoardListView::InitialWidth(Column column)
{
    return InitialWidths[static_cast<size_t>(column)];
}

const char *TBoardListView::Header(Column column)
{
    return Headers[static_cast<size_t>(column)];
}

TBoardListView::TBoardListView(QTreeWidget &widget, const TKivImageList &images)
    : FWidget(widget), FImages(images), FLastFitted(InitialWidths[colComments])
{
    FWidget.setColumnCount(ColumnCount);
    QStringList headers;
    for (const char *header : Headers)
        headers << QString::fromLatin1(header);
    FWidget.setHeaderLabels(headers);

    // Report style: a flat list of rows, one row selectable, nothing editable.
    FWidget.setRootIsDecorated(false);
    FWidget.setItemsExpandable(false);
    FWidget.setUniformRowHeights(true);
    FWidget.setAllColumnsShowFocus(true);
    FWidget.setSelectionMode(QAbstractItemView::SingleSelection);
    FWidget.setSelectionBehavior(QAbstractItemView::SelectRows);
    FWidget.setEditTriggers(QAbstractItemView::NoEditTriggers);
    FWidget.setSortingEnabled(false);
    FWidget.setIconSize(TKivImageList::ImageSize());
    FGrid = new TGridDelegate(&FWidget);
    FWidget.setItemDelegate(FGrid);

    QHeaderView *header = FWidget.header();
    header->setSectionsMovable(false);
    // A click on a column's header sorts the board by that column, a second
    // click the other way round; refills keep the order chosen.
    header->setSectionsClickable(true);
    QObject::connect(header, &QHeaderView::sectionClicked, &FWidget, [this](int column) {
        const bool again = FSorted && FSortColumn == column && FSortOrder == Qt::AscendingOrder;
        FSortColumn = column;
        FSortOrder = again ? Qt::DescendingOrder : Qt::AscendingOrder;
        FSorted = true;
        Sort();
    });
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    for (int c = 0; c < ColumnCount; ++c)
        header->resizeSection(c, InitialWidths[static_cast<size_t>(c)]);
    // The login column is the key of a row, never something to look at.
    FWidget.setColumnHidden(colLogin, true);

    // The selection stays as visible when the list loses the focus.
    QPalette palette = FWidget.palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    FWidget.setPalette(palette);
    SetFontColour(Qt::black);

    FEdgeWatch = std::make_unique<TEdgeWatch>(*this);
    FWidget.viewport()->installEventFilter(FEdgeWatch.get());
}

TBoardListView::~TBoardListView()
{
    FWidget.viewport()->removeEventFilter(FEdgeWatch.get());
}

void TBoardListView::BeginUpdate()
{
    if (FUpdateDepth++ == 0)
        FWidget.setUpdatesEnabled(false);
}

void TBoardListView::EndUpdate()
{
    if (FUpdateDepth == 0)
        return;
    if (--FUpdateDepth == 0) {
        FKeptLogin.reset();
        Sort();
        WidenToContents();
        FWidget.setUpdatesEnabled(true);
    }
}

void TBoardListView::Clear()
{
    if (const std::optional<TBoardRow> selected = SelectedRow())
        FKeptLogin = selected->SubItems[TBoardRow::Login];
    FWidget.clear();
}

void TBoardListView::AddRow(const TBoardRow &row)
{
    auto *item = new TCollatedItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    item->setText(colUser, Shown(row.Caption));
    item->setData(colUser, BytesRole, Kept(row.Caption));
    for (size_t i = 0; i < row.SubItems.size(); ++i) {
        const int column = static_cast<int>(i) + 1;
        item->setText(column, Shown(row.SubItems[i]));
        item->setData(column, BytesRole, Kept(row.SubItems[i]));
    }
    item->setData(colUser, ImageRole, row.ImageIndex);
    item->setIcon(colUser, FImages.Icon(row.ImageIndex));
    item->setData(colUser, UntilRole, Kept(row.Until));
    item->setData(colUser, StoppedRole, Kept(row.NotRunningSince));
    if (!row.Until.empty())
        item->setText(colStatus, Shown(row.SubItems[TBoardRow::Status]) + " until " + Shown(row.Until));
    if (!row.NotRunningSince.empty()) {
        // A user whose copy stopped without signing off is greyed, with the
        // time it was last seen running on hover.
        const QBrush grey(FWidget.palette().color(QPalette::Disabled, QPalette::Text));
        const QString since = "Kiv not running since " + Shown(row.NotRunningSince);
        for (int column = 0; column < ColumnCount; ++column) {
            item->setForeground(column, grey);
            item->setToolTip(column, since);
        }
    }
    FWidget.addTopLevelItem(item);
    if (FKeptLogin && *FKeptLogin == row.SubItems[TBoardRow::Login]) {
        FWidget.setCurrentItem(item);
        FKeptLogin.reset();
    }
    if (FUpdateDepth == 0)
        Sort();
}

void TBoardListView::AutoSizeColumns()
{
    for (int c = 0; c < ColumnCount; ++c) {
        // Fits the wider of the header and the widest cell.
        if (c != colLogin)
            FWidget.resizeColumnToContents(c);
    }
    FLastFitted = FWidget.columnWidth(colComments);
    FWidget.header()->resizeSection(colLogin, 0);
    FWidget.setColumnHidden(colLogin, true);
    FillToEdge();
}

void TBoardListView::WidenToContents()
{
    // The columns are fitted when the window opens, before the board is
    // filled: a refill widens every column its texts no longer fit, so no
    // name or comment is cut short (a column the user widened stays wide).
    bool widened = false;
    for (int c = 0; c < ColumnCount; ++c) {
        if (c == colLogin)
            continue;
        const int needed = std::max(FWidget.header()->sectionSizeHint(c),
                                    static_cast<const QAbstractItemView &>(FWidget).sizeHintForColumn(c));
        if (c == colComments && needed > FLastFitted) {
            FLastFitted = needed;
            widened = true;
        } else if (c != colComments && needed > FWidget.columnWidth(c)) {
            FWidget.setColumnWidth(c, needed);
            widened = true;
        }
    }
    if (widened)
        FillToEdge();
}

void TBoardListView::FillToEdge()
{
    // As a report list does, the last column reaches the list's right edge.
    int used = 0;
    for (int c = 0; c < colComments; ++c)
        if (!FWidget.isColumnHidden(c))
            used += FWidget.columnWidth(c);
    FWidget.setColumnWidth(colComments, std::max(FLastFitted, FWidget.viewport()->width() - used));
}

std::optional<TBoardRow> TBoardListView::SelectedRow() const
{
    const QList<QTreeWidgetItem *> selected = FWidget.selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return RowOf(*selected.first());
}

int TBoardListView::RowCount() const
{
    return FWidget.topLevelItemCount();
}

TBoardRow TBoardListView::Row(int index) const
{
    const QTreeWidgetItem *item = FWidget.topLevelItem(index);
    if (item == nullptr)
        throw EKivError("List index out of bounds (" + std::to_string(index) + ")");
    return RowOf(*item);
}

void TBoardListView::SetSorted(bool sorted)
{
    FSorted = sorted;
    FSortColumn = colUser;
    FSortOrder = Qt::AscendingOrder;
    FWidget.header()->setSortIndicatorShown(sorted);
    if (FUpdateDepth == 0)
        Sort();
}

void TBoardListView::SetFontColour(const QColor &colour)
{
    QPalette palette = FWidget.palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, colour);
        // The colour is chosen against a white board, whatever the desktop's theme.
        palette.setColor(group, QPalette::Base, Qt::white);
    }
    FWidget.setPalette(palette);
}

void TBoardListView::SetFontSize(int points)
{
    if (points <= 0)
        return;
    QFont font = FWidget.font();
    font.setPointSize(points);
    FWidget.setFont(font);
}

void TBoardListView::SetShowGrid(bool show)
{
    FGrid->Show = show;
    FWidget.viewport()->update();
}

bool TBoardListView::ShowGrid() const
{
    return FGrid->Show;
}

TBoardRow TBoardListView::RowOf(const QTreeWidgetItem &item) const
{
    TBoardRow row;
    row.Caption = Bytes(item, colUser);
    for (size_t i = 0; i < row.SubItems.size(); ++i)
        row.SubItems[i] = Bytes(item, static_cast<int>(i) + 1);
    row.ImageIndex = item.data(colUser, ImageRole).toInt();
    const QByteArray until = item.data(colUser, UntilRole).toByteArray();
    const QByteArray stopped = item.data(colUser, StoppedRole).toByteArray();
    row.Until.assign(until.constData(), std::size_t(until.size()));
    row.NotRunningSince.assign(stopped.constData(), std::size_t(stopped.size()));
    return row;
}

void TBoardListView::Sort()
{
    if (!FSorted)
        return;
    FWidget.header()->setSortIndicatorShown(true);
    FWidget.sortItems(FSortColumn, FSortOrder);
}

TDepartmentTreeView::TDepartmentTreeView(QTreeWidget &widget) : FWidget(widget)
{
    FWidget.setColumnCount(1);
    // Hidden, but what a screen reader calls the column.
    FWidget.setHeaderLabel(QStringLiteral("Departments"));
    FWidget.setHeaderHidden(true);
    FWidget.setAccessibleName(QStringLiteral("Departments"));
    // A long name is never cut short: the column is as wide as the longest
    // name and the tree scrolls sideways; the full name is also its hint.
    FWidget.header()->setStretchLastSection(false);
    FWidget.setTextElideMode(Qt::ElideNone);
    FWidget.setEditTriggers(QAbstractItemView::NoEditTriggers);
    FWidget.setSelectionMode(QAbstractItemView::SingleSelection);
    FWidget.setIndentation(19);
    FWidget.setSortingEnabled(true);
    FWidget.sortByColumn(0, Qt::AscendingOrder);
}

void TDepartmentTreeView::Clear()
{
    FWidget.clear();
    FRoot = nullptr;
}

namespace {

QTreeWidgetItem *TreeNode(const std::string &text)
{
    auto *node = new TCollatedItem(QStringList{Shown(text)});
    node->setData(0, BytesRole, Kept(text));
    node->setToolTip(0, Shown(text));
    return node;
}

} // namespace

void TDepartmentTreeView::AddRoot(const std::string &text)
{
    FRoot = TreeNode(text);
    FWidget.addTopLevelItem(FRoot);
    FRoot->setExpanded(true);
    FWidget.resizeColumnToContents(0);
}

void TDepartmentTreeView::AddChild(const std::string &text)
{
    if (FRoot == nullptr || FWidget.indexOfTopLevelItem(FRoot) < 0)
        FWidget.addTopLevelItem(TreeNode(text));
    else
        FRoot->addChild(TreeNode(text));
    if (FRoot != nullptr)
        FRoot->setExpanded(true);
    FWidget.resizeColumnToContents(0);
}

std::optional<std::string> TDepartmentTreeView::SelectedText() const
{
    const QList<QTreeWidgetItem *> selected = FWidget.selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return Bytes(*selected.first(), 0);
}
