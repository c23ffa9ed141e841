#include "board/BoardPage.h"

#include "board/KivFile.h"
#include "board/WebText.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/KivError.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace {

using WebText::Html;

/// The small status pictures, by the status's image index, each a colour and
/// a silhouette of its own (as in the window), drawn in a 16 x 16 square.
constexpr std::array<std::string_view, 12> kPictureShapes{{
    // 0 at lunch: a plate
    "<circle cx='8' cy='8' r='6.5' fill='#e1690f'/><circle cx='8' cy='8' r='3.5' fill='#fff'/>",
    // 1 available: a tick on a disc
    "<circle cx='8' cy='8' r='7' fill='#28a03c'/><path d='M4 8l3 3 5-6' stroke='#fff' stroke-width='2' "
    "fill='none'/>",
    // 2 away from desk: a triangle
    "<path d='M8 1l7 14H1z' fill='#fad728'/>",
    // 3 do not disturb: a bar on a disc
    "<circle cx='8' cy='8' r='7' fill='#d21e1e'/><rect x='3' y='7' width='10' height='2' fill='#fff'/>",
    // 4 gone home: a house
    "<path d='M8 1l7 6v8H1V7z' fill='#8c5a2d'/>",
    // 5 in meeting: two heads
    "<circle cx='5' cy='8' r='4' fill='#7d3c98'/><circle cx='11' cy='8' r='4' fill='#7d3c98'/>",
    // 6 on holiday: a sun
    "<circle cx='8' cy='8' r='4' fill='#00aac8'/><path d='M8 0v3M8 13v3M0 8h3M13 8h3' stroke='#00aac8' "
    "stroke-width='2'/>",
    // 7 out of office: a door
    "<rect x='3' y='1' width='10' height='14' fill='#1e50c8'/><circle cx='10' cy='8' r='1' fill='#fff'/>",
    // 8: given to no status
    "<rect x='2' y='2' width='12' height='12' fill='#96c81e'/>",
    // 9 any other status: a diamond
    "<path d='M8 1l7 7-7 7-7-7z' fill='#3c3c3c'/>",
    // 10 off sick: a cross
    "<path d='M6 1h4v5h5v4h-5v5H6v-5H1V6h5z' fill='#dc32a0'/>",
    // 11 offline: a ring
    "<circle cx='8' cy='8' r='5.5' fill='none' stroke='#aaa' stroke-width='3'/>",
}};

std::string Base64(std::string_view bytes)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        const auto byte = [&](std::size_t i) {
            return i < left ? unsigned(static_cast<unsigned char>(bytes[at + i])) : 0u;
        };
        const unsigned group = byte(0) << 16 | byte(1) << 8 | byte(2);
        out += kDigits[group >> 18 & 63];
        out += kDigits[group >> 12 & 63];
        out += left > 1 ? kDigits[group >> 6 & 63] : '=';
        out += left > 2 ? kDigits[group & 63] : '=';
    }
    return out;
}

/// The picture of image index as a CSS image: a data URI, so that the page
/// needs no other file. Each picture is in the page once, in its style.
std::string PictureRule(std::size_t image)
{
    return ".p" + std::to_string(image) + "{background-image:url(\"data:image/svg+xml;base64,"
           + Base64("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16' viewBox='0 0 16 16'>"
                    + std::string(kPictureShapes[image]) + "</svg>")
           + "\")}\n";
}

const std::string &PictureRules()
{
    static const std::string rules = [] {
        std::string made;
        for (std::size_t i = 0; i < kPictureShapes.size(); ++i)
            made += PictureRule(i);
        return made;
    }();
    return rules;
}

int PictureOf(const TBoardRow &row)
{
    return std::clamp(row.ImageIndex, 0, int(kPictureShapes.size()) - 1);
}

/// The HTML scale's sizes 1 to 7 as CSS keywords; a size outside the scale
/// takes the nearest end of it.
std::string_view FontSizeKeyword(int size)
{
    static constexpr std::array<std::string_view, 7> kKeywords{"x-small", "small",    "medium",   "large",
                                                               "x-large", "xx-large", "xxx-large"};
    return kKeywords[std::size_t(std::clamp(size, 1, 7) - 1)];
}

/// A measure in pixels from the settings, kept within what a page can show.
int Pixels(int value, int most)
{
    return std::clamp(value, 0, most);
}

std::string Column(int width)
{
    // A width of 0 (or less) leaves the column as wide as its contents.
    if (width <= 0)
        return "<col>";
    return "<col style=\"width:" + std::to_string(Pixels(width, 10000)) + "px\">";
}

void AddCell(std::string &row, const std::string &text)
{
    row += "<td>";
    WebText::AppendHtml(row, text);
    row += "</td>";
}

/// The board list as the page's table: each row shown is made into its line
/// of the table as it comes, so no row is kept but as its line.
class TPageRows : public IBoardList {
public:
    explicit TPageRows(const TPageLook &look) : FLook(look) {}

    void BeginUpdate() override {}
    void EndUpdate() override {}
    void Clear() override { FLines.clear(); }
    void AddRow(const TBoardRow &row) override
    {
        if (!FLook.ShowOfflineUsers && row.SubItems[TBoardRow::Status] == "Offline")
            return;
        std::string line;
        line.reserve(160);
        line += "<tr><th scope=\"row\">";
        WebText::AppendHtml(line, row.Caption);
        line += "</th><td><i class=\"p p";
        line += std::to_string(PictureOf(row));
        line += "\"></i>";
        WebText::AppendHtml(line, row.SubItems[TBoardRow::Status]);
        line += "</td>";
        AddCell(line, row.SubItems[TBoardRow::Updated]);
        AddCell(line, row.SubItems[TBoardRow::Ext]);
        AddCell(line, row.SubItems[TBoardRow::Department]);
        AddCell(line, row.SubItems[TBoardRow::Comments]);
        line += "</tr>\n";
        FLines.push_back({FLook.SortByUser ? row.Caption : std::string(), std::move(line)});
    }
    void AutoSizeColumns() override {}
    std::optional<TBoardRow> SelectedRow() const override { return std::nullopt; }
    int RowCount() const override { return int(FLines.size()); }
    TBoardRow Row(int) const override { return TBoardRow(); }

    /// The whole page around the rows, with writtenAt in the foot line.
    std::string Page(const std::string &writtenAt);

private:
    const TPageLook &FLook;
    /// Each row's User (when sorted by it) and line.
    std::vector<std::pair<std::string, std::string>> FLines;
};

std::string TPageRows::Page(const std::string &writtenAt)
{
    if (FLook.SortByUser)
        std::stable_sort(FLines.begin(), FLines.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    const TPageLook &look = FLook;
    const int border = Pixels(look.TableBorder, 100);
    const int padding = Pixels(look.CellPadding, 100);
    const int spacing = Pixels(look.CellSpacing, 100);
    const int every = std::max(1, look.GenerateHTMLEvery);

    std::size_t size = 4096;
    for (const auto &line : FLines)
        size += line.second.size();
    std::string page;
    page.reserve(size);
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    if (look.AutoUpdateInBrowser)
        page += "<meta http-equiv=\"refresh\" content=\"" + std::to_string(every) + "\">\n";
    page += "<title>" + Html(look.Info1) + "</title>\n<style>\nbody{font-family:sans-serif;font-size:";
    page += FontSizeKeyword(look.FontSize);
    page += "}\ntable{border-collapse:separate;border-spacing:" + std::to_string(spacing) + "px;border:"
            + std::to_string(border) + "px solid #777}\nth,td{text-align:left;vertical-align:top;padding:"
            + std::to_string(padding) + "px;border:" + std::to_string(border > 0 ? 1 : 0)
            + "px solid #aaa}\ncaption{text-align:left;font-weight:bold}\n"
              "i.p{display:inline-block;width:16px;height:16px;vertical-align:middle;margin-right:0.3em}\n";
    page += PictureRules();
    page += "</style>\n</head>\n<body>\n";
    page += "<h1>" + Html(look.Info1) + "</h1>\n<p>" + Html(look.Info2) + "</p>\n";
    page += "<table>\n<caption>Staff board: " + std::to_string(FLines.size())
            + (FLines.size() == 1 ? " person" : " people") + "</caption>\n<colgroup>";
    page += Column(look.NameWidth) + Column(look.StatusWidth) + Column(0) + Column(look.ExtWidth)
            + Column(look.DepartmentWidth) + Column(look.CommentsWidth);
    page += "</colgroup>\n<thead><tr><th scope=\"col\">User</th><th scope=\"col\">Status</th>"
            "<th scope=\"col\">Updated</th><th scope=\"col\">Ext</th><th scope=\"col\">Department</th>"
            "<th scope=\"col\">Comments</th></tr></thead>\n<tbody>\n";
    for (const auto &line : FLines)
        page += line.second;
    page += "</tbody>\n</table>\n<p id=\"foot\">" + Html(look.ThisPage) + " " + std::to_string(every)
            + (every == 1 ? " second" : " seconds") + ". Written " + Html(writtenAt) + ".</p>\n</body>\n</html>\n";
    return page;
}

} // namespace

std::string BoardPage(const std::vector<TBoardRow> &rows, const TPageLook &look, const std::string &writtenAt)
{
    TPageRows page(look);
    for (const TBoardRow &row : rows)
        page.AddRow(row);
    return page.Page(writtenAt);
}

std::string PageMinuteText(long long unixSeconds)
{
    const std::time_t moment = std::time_t(unixSeconds);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr)
        return std::string();
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%x %H:%M", &local);
    return std::string(text, length);
}

bool TPagePublisher::Publish(TKivFile &kiv, const TPageLook &look, const std::string &path)
{
    // One file age while nothing changes: the board, the minute shown, the
    // look and the place are all as at the last write.
    const TFileAge age = FreshFileAge(kiv.DatasetPath() + ".isd");
    const std::string minute = PageMinuteText(kiv.Context().Clock.Now());
    if (!age.IsMissing() && age == FStamp && minute == FMinute && look == FLook && path == FPath)
        return false;

    // Every user is read; the look decides about the "Offline" ones, whatever
    // the window shows.
    TPageRows rows(look);
    bool &showOffline = kiv.Context().Session.ShowOffline;
    const bool windowShowsOffline = showOffline;
    showOffline = true;
    try {
        kiv.FillBoard(rows);
    } catch (...) {
        showOffline = windowShowsOffline;
        FStamp = TFileAge::Missing();
        throw;
    }
    showOffline = windowShowsOffline;

    std::string page = rows.Page(minute);
    const bool news = page != FWritten || path != FPath;
    if (news) {
        // The page's own place is never followed: a link there is replaced
        // by the page, not written through.
        // A new file beside it, then a rename over it: a reader opens the old
        // page or the new one, never a part. It is not flushed to the disk:
        // after a power cut the next period writes it again.
        std::string error;
        if (!WriteFileAtomically(path, page, 0644, &error, TLinks::Refuse, TFlush::Lazily)) {
            FStamp = TFileAge::Missing();
            throw EKivError("Unable to write the board page - " + error);
        }
        FWritten = std::move(page);
    }
    FStamp = age;
    FMinute = minute;
    FLook = look;
    FPath = path;
    return news;
}
