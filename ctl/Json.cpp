#include "ctl/Json.h"

#include "board/WebText.h"

#include <utility>

namespace {

using TMembers = std::vector<std::pair<const char *, const std::string *>>;

std::string Object(const TMembers &members)
{
    std::string out = "{";
    for (const auto &[name, value] : members) {
        if (out.size() > 1)
            out += ',';
        out += WebText::Json(name) + ':' + WebText::Json(*value);
    }
    return out + '}';
}

/// The document around items, one item to a line.
std::string Document(const char *listName, const std::vector<std::string> &items)
{
    std::string out = "{\"version\":1," + WebText::Json(listName) + ":[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i == 0 ? "\n" : ",\n") + items[i];
    return out + (items.empty() ? "]}\n" : "\n]}\n");
}

} // namespace

std::string BoardJson(const std::vector<TBoardRow> &rows)
{
    std::vector<std::string> items;
    items.reserve(rows.size());
    for (const TBoardRow &row : rows)
        items.push_back(Object({{"user", &row.Caption},
                                {"status", &row.SubItems[TBoardRow::Status]},
                                {"updated", &row.SubItems[TBoardRow::Updated]},
                                {"ext", &row.SubItems[TBoardRow::Ext]},
                                {"department", &row.SubItems[TBoardRow::Department]},
                                {"login", &row.SubItems[TBoardRow::Login]},
                                {"comments", &row.SubItems[TBoardRow::Comments]},
                                {"until", &row.Until},
                                {"notRunningSince", &row.NotRunningSince}}));
    return Document("users", items);
}

std::string StatusesJson(const std::vector<std::string> &statuses)
{
    std::vector<std::string> items;
    items.reserve(statuses.size());
    for (const std::string &status : statuses)
        items.push_back(WebText::Json(status));
    return Document("statuses", items);
}

std::string InBoxJson(const std::vector<TInBoxRow> &rows)
{
    std::vector<std::string> items;
    items.reserve(rows.size());
    for (const TInBoxRow &row : rows)
        items.push_back(Object({{"from", &row.Caption},
                                {"subject", &row.SubItems[TInBoxRow::Subject]},
                                {"type", &row.SubItems[TInBoxRow::Type]},
                                {"key", &row.SubItems[TInBoxRow::PrimaryKey]},
                                {"received", &row.SubItems[TInBoxRow::Received]}}));
    return Document("messages", items);
}
