#include "gui/ItemLists.h"

#include "gui/Collation.h"

#include <QComboBox>
#include <QListWidget>

namespace {

constexpr int DataRole = Qt::UserRole;
constexpr int BytesRole = Qt::UserRole + 1;

QString Shown(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string BytesOf(const QVariant &value)
{
    const QByteArray bytes = value.toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// List items that sort as the user's language orders words.
class TCollatedListItem final : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem &other) const override
    {
        return KivCollator().compare(text(), other.text()) < 0;
    }
};

} // namespace

TListBoxItems::TListBoxItems(QListWidget &widget, bool sorted) : FWidget(widget)
{
    FWidget.setSortingEnabled(sorted);
    FWidget.setSelectionMode(QAbstractItemView::SingleSelection);
}

void TListBoxItems::BeginUpdate()
{
    if (FUpdateDepth++ == 0)
        FWidget.setUpdatesEnabled(false);
}

void TListBoxItems::EndUpdate()
{
    if (FUpdateDepth > 0 && --FUpdateDepth == 0)
        FWidget.setUpdatesEnabled(true);
}

void TListBoxItems::Clear()
{
    FWidget.clear();
}

void TListBoxItems::AddItem(const std::string &caption, int32_t data)
{
    auto *item = new TCollatedListItem(Shown(caption));
    item->setData(DataRole, data);
    item->setData(BytesRole, QByteArray(caption.data(), static_cast<qsizetype>(caption.size())));
    FWidget.addItem(item);
}

std::optional<int32_t> TListBoxItems::SelectedData() const
{
    const QList<QListWidgetItem *> selected = FWidget.selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first()->data(DataRole).toInt();
}

std::optional<std::string> TListBoxItems::SelectedText() const
{
    const QList<QListWidgetItem *> selected = FWidget.selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return BytesOf(selected.first()->data(BytesRole));
}

int TListBoxItems::Count() const
{
    return FWidget.count();
}

std::string TListBoxItems::Text(int index) const
{
    const QListWidgetItem *item = FWidget.item(index);
    return item != nullptr ? BytesOf(item->data(BytesRole)) : std::string();
}

TComboItems::TComboItems(QComboBox &widget, bool sorted) : FWidget(widget), FSorted(sorted)
{
    FWidget.setEditable(false);
}

void TComboItems::BeginUpdate()
{
    if (FUpdateDepth++ == 0)
        FWidget.setUpdatesEnabled(false);
}

void TComboItems::EndUpdate()
{
    if (FUpdateDepth > 0 && --FUpdateDepth == 0)
        FWidget.setUpdatesEnabled(true);
}

void TComboItems::Clear()
{
    FWidget.clear();
    FWidget.setCurrentIndex(-1);
}

void TComboItems::AddItem(const std::string &caption, int32_t data)
{
    const QString shown = Shown(caption);
    int at = FWidget.count();
    if (FSorted) {
        // The first place whose item sorts after the new one; equal captions
        // keep the order they were added in.
        at = 0;
        while (at < FWidget.count() && KivCollator().compare(FWidget.itemText(at), shown) <= 0)
            ++at;
    }
    const int selected = FWidget.currentIndex();
    FWidget.insertItem(at, shown, data);
    FWidget.setItemData(at, QByteArray(caption.data(), static_cast<qsizetype>(caption.size())), BytesRole);
    // An item added does not choose itself: the selection stays as it was.
    FWidget.setCurrentIndex(selected < 0 ? -1 : (selected >= at ? selected + 1 : selected));
}

std::optional<int32_t> TComboItems::SelectedData() const
{
    if (FWidget.currentIndex() < 0)
        return std::nullopt;
    return FWidget.currentData(DataRole).toInt();
}

std::string TComboItems::SelectedText() const
{
    return FWidget.currentIndex() < 0 ? std::string() : Text(FWidget.currentIndex());
}

bool TComboItems::SelectExact(const std::string &text)
{
    for (int i = 0; i < FWidget.count(); ++i) {
        if (Text(i) == text) {
            FWidget.setCurrentIndex(i);
            return true;
        }
    }
    FWidget.setCurrentIndex(-1);
    return false;
}

void TComboItems::Select(int index)
{
    FWidget.setCurrentIndex(index < FWidget.count() ? index : -1);
}

int TComboItems::Count() const
{
    return FWidget.count();
}

std::string TComboItems::Text(int index) const
{
    return BytesOf(FWidget.itemData(index, BytesRole));
}
