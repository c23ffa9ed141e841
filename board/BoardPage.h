// The board as a web page, for a reception screen or an intranet: one
// self-contained HTML file (no script, no link, the status pictures inside
// it), written atomically wherever the workstation's page settings say.
#pragma once

#include "board/Seams.h"
#include "platform/FileAge.h"

#include <string>
#include <vector>

class TKivFile;

/// How the page looks, from the page group of a workstation's settings.
struct TPageLook {
    std::string Info1;    ///< the heading
    std::string Info2;    ///< the line below the heading
    std::string ThisPage; ///< the foot line's words before the period
    bool AutoUpdateInBrowser = false;
    int FontSize = 3;  ///< 1 to 7, the HTML scale
    int NameWidth = 0; ///< column widths in pixels; 0 or less: as wide as needed
    int StatusWidth = 0;
    int ExtWidth = 0;
    int DepartmentWidth = 0;
    int CommentsWidth = 0;
    int GenerateHTMLEvery = 30; ///< seconds between two writes
    int TableBorder = 1;        ///< pixels
    int CellPadding = 1;
    int CellSpacing = 1;
    bool ShowOfflineUsers = false;
    bool SortByUser = false;

    friend bool operator==(const TPageLook &, const TPageLook &) = default;
};

/// The whole page for rows (every user, "Offline" ones too: look decides),
/// with writtenAt as the time of writing in the foot line.
std::string BoardPage(const std::vector<TBoardRow> &rows, const TPageLook &look, const std::string &writtenAt);

/// The time of writing as the page shows it: the workstation's short date and
/// the time to the minute.
std::string PageMinuteText(long long unixSeconds);

/// Writes the page of one board to one place, and only when there is news:
/// the users dataset changed, the minute shown moved on, or the look or the
/// place changed. Between two such moments a call costs one file age.
class TPagePublisher {
public:
    /// Writes the page of kiv's board to path when there is news; answers
    /// whether the file was written. Raises EKivError when the board cannot
    /// be read or the page not written; the next call then tries again.
    bool Publish(TKivFile &kiv, const TPageLook &look, const std::string &path);

private:
    TFileAge FStamp = TFileAge::Missing();
    std::string FMinute;
    TPageLook FLook;
    std::string FPath;
    std::string FWritten;
};
